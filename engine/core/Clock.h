// The engine clock: milliseconds of the PC counter and engine time since the mark.
#pragma once

#include <cstdint>

void PDInitTimer();
void bz_InitClock();
uint32_t PDGetMilliseconds();
uint32_t bz_GetMilliseconds();
// Seconds since the time mark.
float bz_GetElapsedSeconds();
