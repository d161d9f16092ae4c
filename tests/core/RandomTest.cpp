#include "core/Random.h"
#include "pc/PcTime.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <set>

namespace
{
// The state whose next step gives the wanted 15-bit output (low 16 bits of the new state 0).
uint32_t StateBeforeOutput(int32_t output)
{
    uint32_t inverse = 214013u; // Newton's iteration for the inverse modulo 2^32
    for (int i = 0; i < 5; ++i)
        inverse *= 2u - 214013u * inverse;
    uint32_t next = static_cast<uint32_t>(output) << 16;
    return (next - 2531011u) * inverse;
}

TEST(RandomTest, KnownSequence)
{
    EXPECT_EQ(bz_RandomSeed(1), 1u);
    const int32_t expected[] = {41, 18467, 6334, 26500, 19169, 15724};
    for (int32_t value : expected)
        EXPECT_EQ(bz_RandomDraw(), value);
    EXPECT_EQ(bz_RandomSeed(0), 1u); // 0 counts as 1
    EXPECT_EQ(bz_RandomGetSeed(), 1u);
    EXPECT_EQ(bz_RandomRaw(), 41);
    // The helper finds the state before an output.
    bz_RandomSetState(StateBeforeOutput(32767));
    EXPECT_EQ(bz_RandomRaw(), 32767);
}

// The generator takes the calendar clock on its first use in a run only, so these two run in a
// program of their own (below).
void FirstUseTakesTheCalendarClock()
{
    PDSetCalendarSource(
        [](int64_t *seconds)
        {
            *seconds = 0x100000000ll + 12345; // truncated to 32 bits
            return true;
        });
    EXPECT_EQ(bz_RandomGetSeed(), 12345u);
    EXPECT_EQ(bz_RandomSeedIfNeeded(), 12345u);
    PDSetCalendarSource(nullptr);
}

void CalendarFailureStartsFromOne()
{
    PDSetCalendarSource([](int64_t *) { return false; });
    EXPECT_EQ(bz_RandomDraw(), 41);
    EXPECT_EQ(bz_RandomGetSeed(), 1u);
    PDSetCalendarSource(nullptr);
}

TEST(RandomDeathTest, FirstUseTakesTheCalendarClock)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(RunAndExit(FirstUseTakesTheCalendarClock), ::testing::ExitedWithCode(0), "");
}

TEST(RandomDeathTest, CalendarFailureStartsFromOne)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(RunAndExit(CalendarFailureStartsFromOne), ::testing::ExitedWithCode(0), "");
}

TEST(RandomTest, RestartReturnsToTheStateBeforeTheLastSeeding)
{
    bz_RandomSeed(5);
    bz_RandomDraw();
    bz_RandomDraw();
    int32_t following[3];
    bz_RandomSetState(123456789u);
    bz_RandomRestart(); // back to after the two draws
    for (int32_t &f : following)
        f = bz_RandomDraw();

    bz_RandomSeed(5);
    bz_RandomDraw();
    bz_RandomDraw();
    bz_RandomSeed(999);
    bz_RandomDraw();
    bz_RandomRestart();
    for (int32_t f : following)
        EXPECT_EQ(bz_RandomDraw(), f);
}

TEST(RandomTest, IntegerRanges)
{
    bz_RandomSeed(3);
    std::set<int32_t> seenUp, seenDown;
    bool wideNegative = false, widePositive = false;
    for (int i = 0; i < 5000; ++i)
    {
        int32_t up = bz_RandomInt(1, 5), down = bz_RandomInt(5, 1);
        ASSERT_TRUE(up >= 1 && up <= 5);
        ASSERT_TRUE(down >= 1 && down <= 5);
        seenUp.insert(up);
        seenDown.insert(down);
        int32_t wide = bz_RandomInt(INT32_MIN, INT32_MAX); // no overflow on the way
        wideNegative |= wide < 0;
        widePositive |= wide > 0;
        int32_t negative = bz_RandomInt(-3, -1);
        ASSERT_TRUE(negative >= -3 && negative <= -1);
        int32_t nonZero = bz_RandomIntNonZero(-1, 1);
        ASSERT_TRUE(nonZero == -1 || nonZero == 1);
    }
    EXPECT_EQ(seenUp.size(), 5u);
    EXPECT_EQ(seenDown.size(), 5u);
    EXPECT_TRUE(wideNegative && widePositive);

    // The largest draw still lands inside the range.
    bz_RandomSetState(StateBeforeOutput(32767));
    EXPECT_EQ(bz_RandomInt(1, 5), 5);
    bz_RandomSetState(StateBeforeOutput(0));
    EXPECT_EQ(bz_RandomInt(INT32_MIN, INT32_MAX), INT32_MIN);
    bz_RandomSetState(StateBeforeOutput(32767));
    EXPECT_EQ(bz_RandomInt(INT32_MIN, INT32_MAX), 2147352576); // -2^31 + 2^32 x 32767 / 32768

    // Equal ends take no step.
    bz_RandomSeed(1);
    EXPECT_EQ(bz_RandomInt(3, 3), 3);
    EXPECT_EQ(bz_RandomDraw(), 41);
    // Nothing but 0 to find: 0 at once instead of looping for ever.
    EXPECT_EQ(bz_RandomIntNonZero(0, 0), 0);
    EXPECT_EQ(bz_RandomIntNonZero(7, 7), 7);
}

TEST(RandomTest, FloatRanges)
{
    bz_RandomSeed(1); // seeded, so that the states set below are not replaced
    bz_RandomSetState(StateBeforeOutput(32767));
    float top = bz_RandomFloat(2.0f, 1.0f);
    EXPECT_LT(top, 2.0f);
    EXPECT_GT(top, 1.999f);
    bz_RandomSetState(StateBeforeOutput(0));
    EXPECT_EQ(bz_RandomFloat(2.0f, 1.0f), 1.0f);
    bz_RandomSeed(11);
    for (int i = 0; i < 40000; ++i)
    {
        float f = bz_RandomFloat(2.0f, 1.0f);
        ASSERT_TRUE(f >= 1.0f && f < 2.0f) << f;
        float u = bz_RandomUnit();
        ASSERT_TRUE(u >= 0.0f && u <= 1.0f);
        ASSERT_GT(bz_RandomUnitNonZero(), 0.0f);
        ASSERT_NE(bz_RandomFloatNonZero(-1.0f, 1.0f), 0.0f);
        ASSERT_NE(bz_RandomDrawNonZero(), 0);
    }
    bz_RandomSetState(StateBeforeOutput(32767));
    float unitTop = bz_RandomUnit();
    EXPECT_EQ(unitTop, 32767 * 3.051851e-5f);
    EXPECT_NEAR(unitTop, 1.0f, 1e-6); // the top of the unit range is 1
    EXPECT_EQ(bz_RandomFloat(4.5f, 4.5f), 4.5f);
    EXPECT_EQ(bz_RandomFloatNonZero(0.0f, 0.0f), 0.0f);
    // A range too small to give anything but 0 ends instead of looping.
    EXPECT_GE(bz_RandomFloatNonZero(0.0f, 1e-45f), 0.0f);
    // A draw of 0 is drawn again.
    bz_RandomSetState(StateBeforeOutput(0));
    EXPECT_NE(bz_RandomDrawNonZero(), 0);
    bz_RandomSetState(StateBeforeOutput(0));
    EXPECT_GT(bz_RandomUnitNonZero(), 0.0f);
}

TEST(RandomTest, Chance)
{
    bz_RandomSeed(17);
    for (int i = 0; i < 40000; ++i)
    {
        ASSERT_EQ(bz_RandomChance(0), 0);
        ASSERT_EQ(bz_RandomChance(-5), 0);
        ASSERT_EQ(bz_RandomChance(INT32_MAX), 1);
    }
    for (int32_t draw : {0, 1, 16383, 32766, 32767})
    {
        uint32_t state = StateBeforeOutput(draw);
        bz_RandomSetState(state);
        EXPECT_EQ(bz_RandomChance(100), draw != 32767 ? 1 : 0) << draw;
        bz_RandomSetState(state);
        EXPECT_EQ(bz_RandomChance(50), draw * 100 < 50 * 32767 ? 1 : 0) << draw;
    }
}

TEST(RandomTest, Exponential)
{
    bz_RandomSeed(23);
    double sum = 0.0;
    const int n = 20000;
    for (int i = 0; i < n; ++i)
    {
        float e = bz_RandomExponential(2.0f);
        ASSERT_GE(e, 0.0f);
        sum += e;
    }
    EXPECT_NEAR(sum / n, 2.0, 0.1);
}

TEST(RandomTest, FloatIdentity)
{
    EXPECT_EQ(bz_FloatIdentity(-3.25f), -3.25f);
}
} // namespace
