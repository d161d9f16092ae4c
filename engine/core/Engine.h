// Engine start-up.
#pragma once

#include "core/Memory.h"

#include <cstdint>

// The engine's start-up record. The memory manager reads the 2nd, 5th and 6th words.
struct bzInitRecord
{
    bzMemSettings memory;
};

// Starts the engine core: memory manager and clock; clears the keep-alive switch.
int32_t bz_InitEngine(const bzInitRecord *record);
