#include "scene/SkidMarks.h"

#include "core/Error.h"
#include "scene/Lump.h"
#include "scene/LumpClone.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{
bzV3 V(float x, float y, float z)
{
    return bzV3{{{x, y, z}}};
}

// One wheel on a vehicle lump; the skid measure is |(0,1,0) x axis|^2 = k^2 for axis (k,0,0).
struct Rig
{
    bzLump *lump = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "car");
    bzSkidWheel wheel = {V(1, 0, 2), 1.0f, 0.0f, 0.0f, 0, V(3, 0, 0)};
    bzSkidVehicle vehicle = {lump, &wheel, 1, V(0, 1, 0), 0.4f};
    bzSkidMarkSet *set = bz_SkidMarks_CreateSet(1, 16, nullptr);
    Rig() { set->skidThreshold = 1.0f; }
    ~Rig()
    {
        bz_SkidMarks_FreeSet(set);
        bz_Lump_Destroy(lump);
        bz_SkidMarks_Enable(1);
    }
    bzSkidTrail &Trail() { return set->trails[0]; }
    void Frame(float x, float skid)
    {
        lump->matrix.row[3] = V(x, 0, 0);
        wheel.sidewaysSkid = skid;
        SkidMarks_UpdateTrails(set, &vehicle);
    }
};

TEST(SkidMarks, WheelInTheAirNeverMarks)
{
    for (int moving = 0; moving < 2; moving++)
    {
        Rig r;
        r.Frame(0, 2.0f);
        ASSERT_EQ(bz_SkidTrail_Count(&r.Trail()), 1);
        if (moving)
            r.wheel.groundMoves = 1;
        else
            r.wheel.load = 0.0f;
        r.Frame(5, 2.0f);
        EXPECT_EQ(bz_SkidTrail_Count(&r.Trail()), 1);
        EXPECT_EQ(r.Trail().intensity, 0.0f);
        EXPECT_EQ(r.Trail().flags & (BZ_SKID_ACTIVE | BZ_SKID_SKIDDING), 0);
        EXPECT_EQ(r.set->flags & 1u, 0u);
    }
}

TEST(SkidMarks, SwitchedOffChangesNothing)
{
    Rig r;
    bz_SkidMarks_Enable(0);
    r.Frame(0, 5.0f);
    EXPECT_EQ(bz_SkidTrail_Count(&r.Trail()), 0);
    EXPECT_EQ(r.Trail().flags, 0);
}

// A begun strip goes on below the threshold until it holds 10 points, then stops until the
// wheel skids again, which starts a new strip.
TEST(SkidMarks, StripOfTenPoints)
{
    Rig r;
    r.Frame(0, 2.0f);
    EXPECT_EQ(r.Trail().points[0].marker, BZ_SKID_START);
    EXPECT_TRUE(r.Trail().flags & BZ_SKID_SKIDDING);
    for (int i = 1; i < 10; i++)
        r.Frame((float)i, 0.1f);
    EXPECT_EQ(bz_SkidTrail_Count(&r.Trail()), 10);
    EXPECT_EQ(r.Trail().runLength, 10);
    EXPECT_EQ(r.Trail().points[9].marker, BZ_SKID_CONTINUE);
    EXPECT_EQ(r.set->flags & 1u, 1u);
    r.Frame(10, 0.1f);
    EXPECT_EQ(bz_SkidTrail_Count(&r.Trail()), 10);
    EXPECT_FALSE(r.Trail().flags & BZ_SKID_ACTIVE);
    EXPECT_EQ(r.set->flags & 1u, 0u);
    r.Frame(11, 0.6f); // not active: the full threshold applies
    EXPECT_EQ(bz_SkidTrail_Count(&r.Trail()), 10);
    r.Frame(12, 1.5f);
    EXPECT_EQ(bz_SkidTrail_Count(&r.Trail()), 11);
    EXPECT_EQ(r.Trail().points[10].marker, BZ_SKID_START);
    EXPECT_EQ(r.Trail().runLength, 1);
}

// While a strip is open the threshold is halved.
TEST(SkidMarks, OpenStripHalvesTheThreshold)
{
    Rig r;
    r.Frame(0, 2.0f);
    r.Trail().flags &= (uint8_t)~BZ_SKID_SKIDDING;
    r.Trail().runLength = 12; // past the continuation
    r.Frame(1, 0.6f);
    EXPECT_TRUE(r.Trail().flags & BZ_SKID_SKIDDING);
    EXPECT_EQ(bz_SkidTrail_Count(&r.Trail()), 2);
}

TEST(SkidMarks, EdgesAndIntensity)
{
    const struct
    {
        float k, intensity;
    } cases[] = {{0.5f, 0.0005f}, {3.0f, 0.0045f}, {40.0f, 0.8f}, {100.0f, 1.0f}};
    for (const auto &c : cases)
    {
        Rig r;
        r.wheel.axis = V(c.k, 0, 0);
        r.wheel.groundOffset = 0.25f;
        r.lump->matrix.row[3] = V(10, 0, 0);
        r.wheel.sidewaysSkid = 2.0f;
        SkidMarks_UpdateTrails(r.set, &r.vehicle);
        ASSERT_EQ(bz_SkidTrail_Count(&r.Trail()), 1) << c.k;
        EXPECT_FLOAT_EQ(r.Trail().intensity, c.intensity) << c.k;
        const bzSkidPoint &p = r.Trail().points[0];
        // Contact (11, 0, 2) lowered by 0.25 and raised by 0.01; the side vector is 0.2 along -z.
        EXPECT_FLOAT_EQ(p.edgeA.x, 11.0f);
        EXPECT_FLOAT_EQ(p.edgeA.y, -0.24f);
        EXPECT_FLOAT_EQ(p.edgeA.z, 1.8f);
        EXPECT_FLOAT_EQ(p.edgeB.z, 2.2f);
    }
}

TEST(SkidMarks, ParallelAxisEndsTheStrip)
{
    Rig r;
    r.Frame(0, 2.0f);
    r.wheel.axis = V(0, 2, 0);
    r.Frame(1, 2.0f);
    EXPECT_FALSE(r.Trail().flags & BZ_SKID_ACTIVE);
    EXPECT_EQ(bz_SkidTrail_Count(&r.Trail()), 1);
}

// A strip's first point is moved while the wheel stays within the spacing (s = 9: 9 x 0.05).
TEST(SkidMarks, StartPointMovesWithinTheSpacing)
{
    Rig r;
    r.Frame(0, 2.0f);
    r.Frame(0.6f, 2.0f); // 0.36 < 0.45: moved
    EXPECT_EQ(bz_SkidTrail_Count(&r.Trail()), 1);
    EXPECT_FLOAT_EQ(r.Trail().points[0].edgeA.x, 1.6f);
    r.Frame(1.4f, 2.0f); // 0.64 from the moved point: added
    EXPECT_EQ(bz_SkidTrail_Count(&r.Trail()), 2);
}

TEST(SkidMarks, RingKeepsCapacityLessOne)
{
    bzSkidMarkSet *set = bz_SkidMarks_CreateSet(1, 4, nullptr);
    ASSERT_NE(set, nullptr);
    bzSkidTrail &t = set->trails[0];
    for (int i = 0; i < 5; i++)
    {
        const bzV3 a = V((float)i, 0, 0);
        bz_SkidTrail_AddPoint(&t, &a, &a, 1.0f);
    }
    EXPECT_EQ(bz_SkidTrail_Count(&t), 3);
    EXPECT_EQ(t.tail, 2);
    EXPECT_EQ(t.head, 1);
    EXPECT_EQ(t.points[2].marker, BZ_SKID_START);
    EXPECT_EQ(t.points[0].edgeA.x, 4.0f);
    bz_SkidMarks_FreeSet(set);
    EXPECT_EQ(bz_SkidMarks_CreateSet(0, 4, nullptr), nullptr);
    EXPECT_EQ(bzgLastError, 29);
    EXPECT_EQ(bz_SkidMarks_CreateSet(1, 1, nullptr), nullptr);
}

// A lump copy shares the set; each lump holds one use and the last one frees it.
TEST(SkidMarks, SharedByLumpCopies)
{
    bzSkidMarkSet *set = bz_SkidMarks_CreateSet(2, 8, nullptr);
    bzLump *lump = bz_Lump_Create(BZ_LUMP_TYPE_SKIDMARKS, "skids");
    bz_Lump_SetObject(lump, set);
    EXPECT_EQ(set->lump, lump);
    bzLump *copy = bz_Lump_Clone(lump);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->object, set);
    EXPECT_EQ(set->refCount, 2);
    bz_Lump_Destroy(lump);
    EXPECT_EQ(set->refCount, 1);
    bz_Lump_Destroy(copy);
}
} // namespace
