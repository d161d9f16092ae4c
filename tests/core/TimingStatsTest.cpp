#include "ClockVirtualCounter.h"
#include "core/Clock.h"
#include "core/TimingStats.h"

#include <gtest/gtest.h>

namespace
{
TEST(TimingStats, StatisticsAverageOverTheRing)
{
    VirtualCounter counter;
    counter.StartTimer();
    ASSERT_EQ(bz_TimingStats_Create(2, "TEST", 2), 0);
    const int32_t values[] = {10, 20, 30, 41, 100, 100, 100, 100};
    for (int i = 0; i < 8; ++i)
    {
        bz_TimingStats_Add(2, values[i]);
        bz_TimingStats_Update();
        if (i == 2)
        {
            EXPECT_FLOAT_EQ(bz_TimingStats_Average(2), 0.0f); // ring not yet full
        }
        if (i == 3)
        {
            EXPECT_FLOAT_EQ(bz_TimingStats_Average(2), 25.0f); // 101 / 4 in integers
        }
    }
    EXPECT_FLOAT_EQ(bz_TimingStats_Average(2), 100.0f);
    bz_TimingStats_Add(2, 5);
    bz_TimingStats_Add(2, 6); // several adds in one frame make one sample
    bz_TimingStats_Update();
    bz_TimingStats_Update();
    bz_TimingStats_Update();
    bz_TimingStats_Update();
    EXPECT_FLOAT_EQ(bz_TimingStats_Average(2), 2.0f); // (11 + 0 + 0 + 0) / 4

    EXPECT_EQ(bz_TimingStats_Create(0, "X", 2), 20);
    EXPECT_EQ(bz_TimingStats_Create(BZ_TIMING_STATS + 1, "X", 2), 20);
    EXPECT_EQ(bz_TimingStats_Create(3, "X", -1), 20);
    EXPECT_EQ(bz_TimingStats_Create(3, "X", BZ_TIMING_STATS_MAX_SHIFT + 1), 20);
    bz_TimingStats_Add(-1, 5); // ignored
    EXPECT_FLOAT_EQ(bz_TimingStats_Average(99), 0.0f);
}

// The renderer table and the text renderer, recording what the panel draws.
} // namespace
