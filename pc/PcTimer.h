// The PC's high-resolution counter. The system counter is the monotonic clock; a test can put a
// counter source of its own in its place (a virtual counter that moves only when told).
#pragma once

#include <cstdint>

struct PDCounterSource
{
    // Counts per second; 0 when there is no counter.
    uint64_t (*frequency)();
    // Reads the counter; false when it cannot be read.
    bool (*read)(uint64_t *count);
    // Called over and over while a caller waits for about `counts` more counts to pass. The
    // system counter just lets the processor breathe; a virtual counter moves itself on. False
    // when this counter cannot advance during a wait: the caller must stop waiting.
    bool (*idle)(uint64_t counts);
};

// Installs a counter source (copied); null puts the system counter back. The clock reads the
// frequency and its start count when it is started, so start it again after a change.
void PDSetCounterSource(const PDCounterSource *source);

// Counts per second of the counter; 0 when there is none.
uint64_t PDQueryFrequency();
// Reads the counter; false when there is none.
bool PDQueryCounter(uint64_t *count);
// One turn of a wait for about `counts` counts; false when the counter cannot advance.
bool PDCounterIdle(uint64_t counts);
