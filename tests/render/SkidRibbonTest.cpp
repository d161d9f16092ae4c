// Skid-mark ribbons built from a trail's ring of point pairs: an empty ring, a strip of drawn
// pairs after its start, the colours carried from pair to pair, a wrapped ring, and a damaged
// trail.
#include "render/SkidRibbon.h"

#include "scene/SkidMarks.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{
bzSkidPoint Pair(float x, int32_t marker, uint32_t colour)
{
    return {{{{x, 0.0f, 0.0f}}}, marker, {{{x, 1.0f, 0.0f}}}, colour};
}

struct Ring
{
    std::vector<bzSkidPoint> points;
    bzSkidTrail trail{};
    Ring(std::vector<bzSkidPoint> p, int32_t tail, int32_t head) : points(std::move(p))
    {
        trail.points = points.data();
        trail.capacity = static_cast<int32_t>(points.size());
        trail.tail = tail;
        trail.head = head;
    }
    std::vector<bzRibbonVertex> Fill()
    {
        std::vector<bzRibbonVertex> out(static_cast<size_t>(bz_SkidRibbon_MaxVertices(&trail)));
        out.resize(static_cast<size_t>(bz_SkidRibbon_Fill(&trail, out.data())));
        return out;
    }
};

TEST(SkidRibbon, AnEmptyRingDrawsNothing)
{
    Ring ring({Pair(0, BZ_SKID_CONTINUE, 1), Pair(1, BZ_SKID_CONTINUE, 2)}, 0, 0);
    EXPECT_TRUE(ring.Fill().empty());
    // A ring whose pairs are all starts (none marked as drawn) draws no triangles.
    Ring starts({Pair(0, BZ_SKID_START, 1), Pair(1, BZ_SKID_START, 2), Pair(2, 0, 3)}, 0, 2);
    EXPECT_TRUE(starts.Fill().empty());
}

TEST(SkidRibbon, ContinuedPairsJoinThePairBefore)
{
    // A strip: a start at slot 0, two continuations; head 3 of a ring of 5.
    Ring ring({Pair(0, BZ_SKID_START, 0xA0), Pair(1, BZ_SKID_CONTINUE, 0xA1),
               Pair(2, BZ_SKID_CONTINUE, 0xA2), Pair(9, 0, 0), Pair(9, 0, 0)},
              0, 3);
    const std::vector<bzRibbonVertex> v = ring.Fill();
    ASSERT_EQ(v.size(), 12u);
    // First quad: pair 1 to pair 0; this left, previous right, previous left, this left, this
    // right, previous right.
    const float xs[12] = {1, 0, 0, 1, 1, 0, 2, 1, 1, 2, 2, 1};
    const float ys[12] = {0, 1, 0, 0, 1, 1, 0, 1, 0, 0, 1, 1};
    const uint32_t colours[12] = {0xA1, 0xA0, 0xA0, 0xA1, 0xA1, 0xA0,
                                  0xA2, 0xA1, 0xA1, 0xA2, 0xA2, 0xA1};
    const uint32_t second[6] = {0, 0xFFFF00, 0x00FF00, 0, 0xFF0000, 0xFFFF00};
    for (int i = 0; i < 12; ++i)
    {
        EXPECT_EQ(v[i].position.x, xs[i]) << i;
        EXPECT_EQ(v[i].position.y, ys[i]) << i;
        EXPECT_EQ(v[i].colour, colours[i]) << i;
        EXPECT_EQ(v[i].second, second[i % 6]) << i;
    }
}

TEST(SkidRibbon, AWrappedRingAndTheColourOfTheLastDrawnPair)
{
    // Oldest at slot 3, end at slot 1: slots 3, 0 are walked. Slot 3 is a start (not drawn),
    // slot 0 continues it and joins slot 3; the previous colour at the start is slot 3's.
    Ring ring({Pair(5, BZ_SKID_CONTINUE, 0xB0), Pair(9, 0, 0), Pair(9, 0, 0),
               Pair(4, BZ_SKID_START, 0xB3)},
              3, 1);
    const std::vector<bzRibbonVertex> v = ring.Fill();
    ASSERT_EQ(v.size(), 6u);
    EXPECT_EQ(v[0].position.x, 5.0f);
    EXPECT_EQ(v[1].position.x, 4.0f);
    EXPECT_EQ(v[1].colour, 0xB3u);
    EXPECT_EQ(v[0].colour, 0xB0u);
}

TEST(SkidRibbon, DamagedTrailsDrawNothing)
{
    Ring ring({Pair(0, BZ_SKID_CONTINUE, 1), Pair(1, BZ_SKID_CONTINUE, 2)}, 5, 1);
    EXPECT_TRUE(ring.Fill().empty());
    Ring negative({Pair(0, BZ_SKID_CONTINUE, 1), Pair(1, BZ_SKID_CONTINUE, 2)}, 0, -1);
    EXPECT_TRUE(negative.Fill().empty());
    EXPECT_EQ(bz_SkidRibbon_Fill(nullptr, nullptr), 0);
    EXPECT_EQ(bz_SkidRibbon_MaxVertices(nullptr), 0);
}
TEST(SkidRibbon, FromATrailOfTheRingCode)
{
    bzSkidMarkSet *set = bz_SkidMarks_CreateSet(1, 8, nullptr);
    ASSERT_NE(set, nullptr);
    bzSkidTrail *trail = &set->trails[0];
    // Four points far apart: a strip start and three continuations, three quads.
    for (int i = 0; i < 4; ++i)
    {
        const bzV3 a{{{static_cast<float>(i) * 10.0f, 0.0f, 0.0f}}};
        const bzV3 b{{{static_cast<float>(i) * 10.0f, 1.0f, 0.0f}}};
        ASSERT_NE(bz_SkidTrail_AddPoint(trail, &a, &b, 1.0f), nullptr);
    }
    std::vector<bzRibbonVertex> v(static_cast<size_t>(bz_SkidRibbon_MaxVertices(trail)));
    v.resize(static_cast<size_t>(bz_SkidRibbon_Fill(trail, v.data())));
    ASSERT_EQ(v.size(), 18u);
    // The last quad joins the fourth point to the third.
    EXPECT_EQ(v[12].position.x, 30.0f);
    EXPECT_EQ(v[13].position.x, 20.0f);
    EXPECT_EQ(v[13].position.y, 1.0f);
    bz_SkidMarks_FreeSet(set);
}
} // namespace
