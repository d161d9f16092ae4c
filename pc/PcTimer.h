// The PC's high-resolution counter.
#pragma once

#include <cstdint>

// Counts per second of the counter; 0 when there is none.
uint64_t PDQueryFrequency();
// Reads the counter; false when there is none.
bool PDQueryCounter(uint64_t *count);
