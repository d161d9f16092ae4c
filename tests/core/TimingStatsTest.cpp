#include "ClockVirtualCounter.h"
#include "core/Clock.h"
#include "core/TimingStats.h"

#include <gtest/gtest.h>

#include "support/TestSupport.h"
namespace
{
TEST(TimingStats, StatisticsAverageOverTheRing)
{
    VirtualCounter counter;
    counter.StartTimer();
    // Record 5 is the timer's own: every timer start makes it afresh, so what this test puts
    // there does not outlive it.
    ASSERT_EQ(bz_TimingStats_Create(5, "TEST", 2), 0);
    const int32_t values[] = {10, 20, 30, 41, 100, 100, 100, 100};
    for (int i = 0; i < 8; ++i)
    {
        bz_TimingStats_Add(5, values[i]);
        bz_TimingStats_Update();
        if (i == 2)
        {
            EXPECT_FLOAT_EQ(bz_TimingStats_Average(5), 0.0f); // ring not yet full
        }
        if (i == 3)
        {
            EXPECT_FLOAT_EQ(bz_TimingStats_Average(5), 25.0f); // 101 / 4 in integers
        }
    }
    EXPECT_FLOAT_EQ(bz_TimingStats_Average(5), 100.0f);
    bz_TimingStats_Add(5, 5);
    bz_TimingStats_Add(5, 6); // several adds in one frame make one sample
    bz_TimingStats_Update();
    bz_TimingStats_Update();
    bz_TimingStats_Update();
    bz_TimingStats_Update();
    EXPECT_FLOAT_EQ(bz_TimingStats_Average(5), 2.0f); // (11 + 0 + 0 + 0) / 4

    EXPECT_EQ(bz_TimingStats_Create(0, "X", 2), 20);
    EXPECT_EQ(bz_TimingStats_Create(17, "X", 2), 20); // ids 1-16
    EXPECT_EQ(bz_TimingStats_Create(3, "X", -1), 20);
    EXPECT_EQ(bz_TimingStats_Create(3, "X", 9), 20); // 2^0 to 2^8 samples
    bz_TimingStats_Add(-1, 5);                       // ignored
    EXPECT_FLOAT_EQ(bz_TimingStats_Average(99), 0.0f);
}

// The renderer table and the text renderer, recording what the panel draws.
} // namespace
