#include "core/Progress.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{
struct Recorder
{
    static inline std::vector<float> fractions;
    static inline std::vector<std::pair<int32_t, int32_t>> begins;
    static inline int ends;
    static void Update(float f) { fractions.push_back(f); }
    static void Begin(int32_t depth, int32_t count) { begins.push_back({depth, count}); }
    static void End() { ++ends; }
    static int32_t Query() { return 77; }
    Recorder()
    {
        fractions.clear();
        begins.clear();
        ends = 0;
        bz_Progress_SetUpdateCallback(Update);
        bz_Progress_SetBeginCallback(Begin);
        bz_Progress_SetEndCallback(End);
    }
    ~Recorder()
    {
        bz_Progress_SetUpdateCallback(nullptr);
        bz_Progress_SetBeginCallback(nullptr);
        bz_Progress_SetEndCallback(nullptr);
        while (bz_Progress_GetDepth() > 0)
            bz_Progress_End();
    }
};

TEST(ProgressTest, NestedLevelsMakeOneFraction)
{
    Recorder rec;
    bz_Progress_Begin(2);
    bz_Progress_Begin(4);
    bz_Progress_Step();
    ASSERT_EQ(rec.fractions.size(), 1u);
    EXPECT_FLOAT_EQ(rec.fractions.back(), 0.125f);
    bz_Progress_End();
    bz_Progress_Step(); // the outer level does not take over the inner progress
    EXPECT_FLOAT_EQ(rec.fractions.back(), 0.5f);
    bz_Progress_Begin(3);
    bz_Progress_StepBy(10); // held at the level's end
    EXPECT_FLOAT_EQ(rec.fractions.back(), 1.0f);
    bz_Progress_StepBy(-10); // and at its start
    EXPECT_FLOAT_EQ(rec.fractions.back(), 0.5f);
    bz_Progress_End();
    EXPECT_EQ(rec.ends, 0);
    bz_Progress_End();
    EXPECT_EQ(rec.ends, 1);
    // Only the outermost level tells the begin callback.
    EXPECT_EQ(rec.begins, (std::vector<std::pair<int32_t, int32_t>>{{0, 2}}));
}

TEST(ProgressTest, CountOfZeroIsOne)
{
    Recorder rec;
    bz_Progress_Begin(0);
    bz_Progress_Step();
    EXPECT_FLOAT_EQ(rec.fractions.back(), 1.0f);
    bz_Progress_End();
    bz_Progress_Begin(-5);
    EXPECT_EQ(rec.begins.back(), (std::pair<int32_t, int32_t>{0, 1}));
    bz_Progress_End();
}

TEST(ProgressTest, DepthBeyondTheTableUsesTheLastLevel)
{
    Recorder rec;
    for (int i = 0; i < BZ_PROGRESS_LEVELS; ++i)
        bz_Progress_Begin(2);
    bz_Progress_Step();
    const float innermost = rec.fractions.back(); // 2^-16
    EXPECT_FLOAT_EQ(innermost, 1.0f / 65536.0f);
    for (int i = 0; i < 10; ++i)
        bz_Progress_Begin(2); // deeper than the table: counted, not recorded
    EXPECT_EQ(bz_Progress_GetDepth(), BZ_PROGRESS_LEVELS + 10);
    bz_Progress_Step(); // steps the last recorded level
    EXPECT_FLOAT_EQ(rec.fractions.back(), 2.0f / 65536.0f);
    for (int i = 0; i < 10; ++i)
        bz_Progress_End();
    bz_Progress_End(); // back to level 15, which has not moved yet
    bz_Progress_Step();
    EXPECT_FLOAT_EQ(rec.fractions.back(), 1.0f / 32768.0f);
    while (bz_Progress_GetDepth() > 0)
        bz_Progress_End();
    EXPECT_EQ(rec.ends, 1);
}

TEST(ProgressTest, UnbalancedCallsDoNothing)
{
    Recorder rec;
    bz_Progress_Step(); // no level open
    bz_Progress_End();
    EXPECT_TRUE(rec.fractions.empty());
    EXPECT_EQ(rec.ends, 0);
    EXPECT_EQ(bz_Progress_GetDepth(), 0);
}

TEST(ProgressTest, CallbackSettersReturnThePreviousOne)
{
    EXPECT_EQ(bz_Progress_Query(), 0);
    EXPECT_EQ(bz_Progress_SetQueryCallback(Recorder::Query), nullptr);
    EXPECT_EQ(bz_Progress_Query(), 77);
    EXPECT_EQ(bz_Progress_SetQueryCallback(nullptr), Recorder::Query);
    EXPECT_EQ(bz_Progress_SetUpdateCallback(Recorder::Update), nullptr);
    EXPECT_EQ(bz_Progress_SetUpdateCallback(nullptr), Recorder::Update);
    EXPECT_EQ(bz_Progress_SetBeginCallback(Recorder::Begin), nullptr);
    EXPECT_EQ(bz_Progress_SetBeginCallback(nullptr), Recorder::Begin);
    EXPECT_EQ(bz_Progress_SetEndCallback(Recorder::End), nullptr);
    EXPECT_EQ(bz_Progress_SetEndCallback(nullptr), Recorder::End);
}
} // namespace
