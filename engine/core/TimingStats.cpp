#include "core/TimingStats.h"

#include "core/Error.h"

#include <cstdio>

namespace
{
struct TimingStats
{
    bool inUse;
    char name[32];
    uint32_t index;
    uint32_t mask;
    int32_t accumulator;
    int32_t ring[1 << BZ_TIMING_STATS_MAX_SHIFT];
    float average;
};
TimingStats gStats[BZ_TIMING_STATS];

} // namespace

int32_t bz_TimingStats_Create(int32_t id, const char *name, int32_t k)
{
    if (id < 1 || id > BZ_TIMING_STATS || k < 0 || k > BZ_TIMING_STATS_MAX_SHIFT)
        return BZ_ERROR_PARAMETER_OUT_OF_RANGE;
    TimingStats &s = gStats[id - 1];
    s = TimingStats{};
    s.inUse = true;
    std::snprintf(s.name, sizeof s.name, "%s", name ? name : "");
    s.mask = (1u << k) - 1;
    return 0;
}

void bz_TimingStats_Add(int32_t id, int32_t value)
{
    if (id < 1 || id > BZ_TIMING_STATS || !gStats[id - 1].inUse)
        return;
    int32_t &acc = gStats[id - 1].accumulator;
    acc = static_cast<int32_t>(static_cast<uint32_t>(acc) + static_cast<uint32_t>(value));
}

float bz_TimingStats_Average(int32_t id)
{
    if (id < 1 || id > BZ_TIMING_STATS || !gStats[id - 1].inUse)
        return 0.0f;
    return gStats[id - 1].average;
}

void bz_TimingStats_Update()
{
    for (TimingStats &s : gStats)
    {
        if (!s.inUse)
            continue;
        s.index &= s.mask;
        s.ring[s.index] = s.accumulator;
        s.accumulator = 0;
        if (s.index == s.mask)
        {
            int64_t sum = 0;
            for (uint32_t i = 0; i <= s.mask; ++i)
                sum += s.ring[i];
            s.average = static_cast<float>(sum / (static_cast<int64_t>(s.mask) + 1));
        }
        ++s.index;
    }
}

const char *bz_TimingStats_Name(int32_t id)
{
    if (id < 1 || id > BZ_TIMING_STATS || !gStats[id - 1].inUse)
        return nullptr;
    return gStats[id - 1].name;
}
