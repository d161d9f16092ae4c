// The navigation mesh's profiling timers: per slot, the time of the running start and the total
// of the stretches timed so far.
#include "scene/NavMesh.h"

#include "core/Clock.h"

namespace
{
struct Slot
{
    float started;
    float total;
};

Slot gSlots[BZ_NAV_TIMER_SLOTS];

bool InRange(int32_t slot)
{
    return slot >= 0 && slot < BZ_NAV_TIMER_SLOTS;
}

// The clock in seconds, and whether the replay's fixed step stands in for it.
float Now(bool *fixed)
{
    float step;
    *fixed = bz_Clock_GetFixedFrameTime(&step) != 0;
    return *fixed ? step : static_cast<float>(bz_GetMilliseconds()) * 0.001f;
}
} // namespace

void bz_NavMesh_TimerStart(int32_t slot)
{
    bool fixed;
    if (InRange(slot))
        gSlots[slot].started = Now(&fixed);
}

void bz_NavMesh_TimerStop(int32_t slot)
{
    if (!InRange(slot))
        return;
    bool fixed;
    const float now = Now(&fixed);
    // With fixed frame times each stretch counts one step.
    gSlots[slot].total += fixed ? now : now - gSlots[slot].started;
}

float bz_NavMesh_TimerRead(int32_t slot)
{
    return InRange(slot) ? gSlots[slot].total : 0.0f;
}

void bz_NavMesh_TimerReset(int32_t slot)
{
    if (InRange(slot))
        gSlots[slot].total = 0.0f;
}
