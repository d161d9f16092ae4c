#include "pc/PcTimer.h"

#include <ctime>

uint64_t PDQueryFrequency()
{
    return 1000000000ull;
}

bool PDQueryCounter(uint64_t *count)
{
    timespec ts;
    if (clock_gettime(CLOCK_MONOTONIC, &ts) != 0)
        return false;
    *count = static_cast<uint64_t>(ts.tv_sec) * 1000000000ull + static_cast<uint64_t>(ts.tv_nsec);
    return true;
}
