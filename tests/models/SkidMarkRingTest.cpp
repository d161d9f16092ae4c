#include "models/SkidMarkRing.h"

#include "core/Error.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{
// A set of trails of capacity 4, range 0.25 (half a unit), trail colour opaque red.
struct Ring
{
    bzSkidMarkSet *set;
    explicit Ring(int32_t trails = 1, int32_t capacity = 4)
        : set(bz_SkidMarks_CreateSet(trails, capacity, nullptr))
    {
        set->range = 0.25f;
        for (int32_t i = 0; i < trails; ++i)
            set->trails[i].colour = 0xFFFF0000u;
    }
    ~Ring() { FreeSkidMarkSet(set); }
    bzSkidTrail &Trail(int32_t i = 0) { return set->trails[i]; }
    int32_t Add(int32_t trail, float x, uint32_t word = 0x11223344u)
    {
        const bzV3 p{x, 0.0f, 0.0f}, d{0.0f, 0.0f, 1.0f};
        return AddSkidMarkPoint(set, trail, &p, &d, word);
    }
};

TEST(SkidMarkRing, ACapacityOfFourHoldsTheNewestThree)
{
    Ring r;
    for (int32_t i = 0; i < 5; ++i)
        EXPECT_EQ(r.Add(0, static_cast<float>(i)), 1);
    bzSkidTrail &t = r.Trail();
    EXPECT_EQ(t.tail, 2);
    EXPECT_EQ(t.head, 1);
    EXPECT_EQ(bz_SkidTrail_Count(&t), 3);
    // The oldest kept point starts the strip; the newer ones continue it.
    EXPECT_EQ(t.points[2].marker, BZ_SKID_START);
    EXPECT_EQ(t.points[3].marker, BZ_SKID_CONTINUE);
    EXPECT_EQ(t.points[0].marker, BZ_SKID_CONTINUE);
    EXPECT_EQ(t.points[0].edgeA.x, 4.0f);
    EXPECT_EQ(t.openPoint, &t.points[0]);
    EXPECT_EQ(t.runLength, 5);
}

TEST(SkidMarkRing, APointWithinTheRangeMovesTheOpenContinuation)
{
    Ring r(1, 8);
    bzSkidTrail &t = r.Trail();
    EXPECT_EQ(r.Add(0, 0.0f), 1);
    // Near a strip start a point is added, not moved.
    EXPECT_EQ(r.Add(0, 0.1f), 1);
    EXPECT_EQ(t.head, 2);
    // Within half a unit of the last position (0.1) the open continuation moves.
    EXPECT_EQ(r.Add(0, 0.5f, 0xABCDEF01u), 0);
    EXPECT_EQ(t.head, 2);
    EXPECT_EQ(t.points[1].edgeA.x, 0.5f);
    EXPECT_EQ(t.points[1].marker, BZ_SKID_CONTINUE);
    EXPECT_EQ(t.points[1].colour, 0xABCDEF01u);
    EXPECT_EQ(t.lastPosition.x, 0.1f);
    // Further away a new point is written.
    EXPECT_EQ(r.Add(0, 2.0f), 1);
    EXPECT_EQ(t.head, 3);
}

TEST(SkidMarkRing, NewStripsFadeInOverTenPoints)
{
    struct Case
    {
        uint32_t colour;
        int32_t k;
        uint32_t expected;
    };
    for (const Case &c : {Case{0xFFFF0000u, 0, 0x00FF0000u}, Case{0xFFFF0000u, 9, 0xFFFF0000u},
                          Case{0xFF00FF00u, 3, 0x5500FF00u}, Case{0x90123456u, 10, 0x90123456u},
                          Case{0x00123456u, 5, 0x00123456u}})
        EXPECT_EQ(SkidMarkFadeColour(c.colour, c.k), c.expected) << c.k;
}

TEST(SkidMarkRing, EndingResettingAndAllTrails)
{
    Ring r(3, 4);
    // An index past the count is the last trail; a negative one every trail.
    r.Add(7, 0.0f);
    EXPECT_EQ(r.Trail(2).head, 1);
    EXPECT_EQ(r.Trail(0).head, 0);
    r.Add(-1, 1.0f);
    EXPECT_EQ(r.Trail(0).head, 1);
    EXPECT_EQ(r.Trail(1).head, 1);
    EXPECT_EQ(r.Trail(2).head, 2);

    // Ending steps the head back (wrapping from 0) and closes the strip; a closed trail's next
    // point starts a new strip.
    r.Trail(1).head = 0;
    EndSkidMarkTrails(r.set);
    EXPECT_EQ(r.Trail(0).head, 0);
    EXPECT_EQ(r.Trail(1).head, 3);
    EXPECT_EQ(r.Trail(2).head, 1);
    for (int32_t i = 0; i < 3; ++i)
        EXPECT_EQ(r.Trail(i).flags & BZ_SKID_ACTIVE, 0);
    EndSkidMarkTrails(r.set); // nothing active: nothing moves
    EXPECT_EQ(r.Trail(2).head, 1);
    r.Add(2, 5.0f);
    EXPECT_EQ(r.Trail(2).points[1].marker, BZ_SKID_START);

    ResetSkidMarkTrails(r.set);
    for (int32_t i = 0; i < 3; ++i)
    {
        EXPECT_EQ(r.Trail(i).head, 0);
        EXPECT_EQ(r.Trail(i).tail, 0);
        EXPECT_EQ(r.Trail(i).flags & BZ_SKID_ACTIVE, 0);
    }
}

TEST(SkidMarkRing, BadSetsAndRingsChangeNothing)
{
    const bzV3 p{0.0f, 0.0f, 0.0f};
    EXPECT_EQ(AddSkidMarkPoint(nullptr, 0, &p, &p, 0), 1);
    EndSkidMarkTrails(nullptr);
    ResetSkidMarkTrails(nullptr);
    FreeSkidMarkSet(nullptr);
    // A ring of capacity 1 cannot be made, and a damaged one is left alone.
    EXPECT_EQ(bz_SkidMarks_CreateSet(1, 1, nullptr), nullptr);
    EXPECT_EQ(bzgLastError, BZ_ERROR_INVALID_PARAMETER);
    Ring r;
    r.Trail().capacity = 1;
    EXPECT_EQ(r.Add(0, 3.0f), 1);
    EXPECT_EQ(r.Trail().head, 0);
    EXPECT_EQ(r.Trail().openPoint, nullptr);
    r.Trail().capacity = 4;
}
} // namespace
