#include "pc/PcTimer.h"

#include <ctime>
#include <sched.h>

namespace
{
uint64_t SystemFrequency()
{
    return 1000000000ull;
}

bool SystemRead(uint64_t *count)
{
    timespec ts;
    if (clock_gettime(CLOCK_MONOTONIC, &ts) != 0)
        return false;
    *count = static_cast<uint64_t>(ts.tv_sec) * 1000000000ull + static_cast<uint64_t>(ts.tv_nsec);
    return true;
}

bool SystemIdle(uint64_t)
{
    sched_yield();
    return true;
}

const PDCounterSource kSystemSource = {SystemFrequency, SystemRead, SystemIdle};
PDCounterSource gSource = kSystemSource;
} // namespace

void PDSetCounterSource(const PDCounterSource *source)
{
    gSource = source ? *source : kSystemSource;
}

uint64_t PDQueryFrequency()
{
    return gSource.frequency ? gSource.frequency() : 0;
}

bool PDQueryCounter(uint64_t *count)
{
    return count && gSource.read && gSource.read(count);
}

bool PDCounterIdle(uint64_t counts)
{
    return gSource.idle && gSource.idle(counts);
}
