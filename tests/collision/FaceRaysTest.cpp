// Rays, segments and spheres against one collision face: sides, flags, margins, the parallel
// and division guards and the tolerance at a segment's end.
#include "collision/CollisionTolerance.h"
#include "collision/FacePrimitives.h"
#include "collision/FaceRays.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace
{
bzV3 V(float x, float y, float z)
{
    return bzV3{{{x, y, z}}};
}

// The triangle (0,0,0), (1,0,0), (0,0,1) in the plane y = 0, normal +y.
bzCollisionFace Floor(uint32_t flags = 0)
{
    bzCollisionFace f{};
    f.flags = flags;
    f.normal = V(0, 1, 0);
    f.distance = 0;
    f.corners[0] = V(0, 0, 0);
    f.corners[1] = V(1, 0, 0);
    f.corners[2] = V(0, 0, 1);
    return f;
}

TEST(FaceInside, MarginsAndDegenerateFaces)
{
    const bzCollisionFace f = Floor();
    struct Case
    {
        const char *name;
        bzV3 p;
        int32_t inside;
    } cases[] = {
        {"middle", V(0.25f, 0, 0.25f), 1},
        {"corner", V(0, 0, 0), 1},
        {"on the long edge", V(0.5f, 0, 0.5f), 1},
        {"just outside the long edge, within 1.0001", V(0.50004f, 0, 0.50004f), 1},
        {"outside the long edge", V(0.5002f, 0, 0.5002f), 0},
        {"just below x = 0, within -0.0001", V(-0.00009f, 0, 0.5f), 1},
        {"below x = 0", V(-0.0002f, 0, 0.5f), 0},
        {"below z = 0", V(0.5f, 0, -0.0002f), 0},
        {"far away", V(5, 0, 5), 0},
    };
    for (const Case &c : cases)
    {
        EXPECT_EQ(bz_Face_PointInside(&f, &c.p, BZ_FACE_INSIDE_HIGH), c.inside) << c.name;
    }
    bzCollisionFace flat = Floor();
    flat.corners[2] = V(2, 0, 0); // all three corners on one line
    const bzV3 p = V(0.5f, 0, 0);
    EXPECT_EQ(bz_Face_PointInside(&flat, &p, BZ_FACE_INSIDE_HIGH), 0);
}

TEST(FaceInside, DropsTheDominantAxis)
{
    // The same triangle stood up in the x = 2 plane (normal +x) and in z = -1 (normal -z).
    bzCollisionFace wall{};
    wall.normal = V(1, 0, 0);
    wall.distance = 2;
    wall.corners[0] = V(2, 0, 0);
    wall.corners[1] = V(2, 1, 0);
    wall.corners[2] = V(2, 0, 1);
    const bzV3 in = V(2, 0.25f, 0.25f), out = V(2, 0.75f, 0.75f);
    EXPECT_EQ(bz_Face_PointInside(&wall, &in, BZ_FACE_INSIDE_HIGH), 1);
    EXPECT_EQ(bz_Face_PointInside(&wall, &out, BZ_FACE_INSIDE_HIGH), 0);
    bzCollisionFace back{};
    back.normal = V(0, 0, -1);
    back.distance = 1;
    back.corners[0] = V(0, 0, -1);
    back.corners[1] = V(1, 0, -1);
    back.corners[2] = V(0, 1, -1);
    const bzV3 in2 = V(0.25f, 0.25f, -1), out2 = V(0.75f, 0.75f, -1);
    EXPECT_EQ(bz_Face_PointInside(&back, &in2, BZ_FACE_INSIDE_HIGH), 1);
    EXPECT_EQ(bz_Face_PointInside(&back, &out2, BZ_FACE_INSIDE_HIGH), 0);
}

TEST(RaysIntersectFace, SidesFlagsAndGuards)
{
    const bzV3 down = V(0, -2, 0), up = V(0, 2, 0);
    const bzV3 starts[4] = {V(0.25f, 1, 0.25f), V(0.9f, 1, 0.9f), V(0.1f, 2, 0.1f),
                            V(0.2f, 3, 0.2f)};
    float fractions[4] = {-7, -7, -7, -7};
    bzV3 normal = V(7, 7, 7);
    bzCollisionFace f = Floor();
    ASSERT_EQ(bz_RaysIntersectFace(&down, &f, 4, starts, &normal, fractions), 1);
    EXPECT_FLOAT_EQ(fractions[0], 0.5f);
    EXPECT_EQ(fractions[1], 100.0f) << "outside the triangle";
    EXPECT_FLOAT_EQ(fractions[2], 1.0f) << "ends exactly on the plane";
    EXPECT_EQ(fractions[3], 100.0f) << "stops short of the plane";
    EXPECT_EQ(normal.y, 1.0f);

    // From behind: single-sided gives 0 with nothing written; double-sided hits with the
    // normal turned to face the rays.
    const bzV3 below[1] = {V(0.25f, -1, 0.25f)};
    float one = -7;
    normal = V(7, 7, 7);
    EXPECT_EQ(bz_RaysIntersectFace(&up, &f, 1, below, &normal, &one), 0);
    EXPECT_EQ(one, -7.0f);
    EXPECT_EQ(normal.x, 7.0f);
    f = Floor(BZ_FACE_DOUBLE_SIDED);
    ASSERT_EQ(bz_RaysIntersectFace(&up, &f, 1, below, &normal, &one), 1);
    EXPECT_FLOAT_EQ(one, 0.5f);
    EXPECT_EQ(normal.y, -1.0f);

    // A start on the plane hits at 0.
    const bzV3 onPlane[1] = {V(0.25f, 0, 0.25f)};
    f = Floor();
    ASSERT_EQ(bz_RaysIntersectFace(&down, &f, 1, onPlane, &normal, &one), 1);
    EXPECT_EQ(one, 0.0f);

    // Never-collide faces are skipped by the ray test.
    f = Floor(BZ_FACE_NEVER_COLLIDE | BZ_FACE_DOUBLE_SIDED);
    one = -7;
    EXPECT_EQ(bz_RaysIntersectFace(&down, &f, 1, starts, &normal, &one), 0);
    EXPECT_EQ(one, -7.0f);

    // Parallel: |D.n| below 2^-22 misses, at 2^-21 it is a direction.
    f = Floor();
    const bzV3 flat = V(1, -std::ldexp(1.0f, -23), 0);
    EXPECT_EQ(bz_RaysIntersectFace(&flat, &f, 1, starts, &normal, &one), 0);
    EXPECT_EQ(one, -7.0f);
    const bzV3 steep = V(0, -std::ldexp(1.0f, -21), 0);
    const bzV3 close[1] = {V(0.25f, std::ldexp(1.0f, -22), 0.25f)};
    ASSERT_EQ(bz_RaysIntersectFace(&steep, &f, 1, close, &normal, &one), 1);
    EXPECT_FLOAT_EQ(one, 0.5f);

    // The division guard: a start so far away that dist / k overflows ends the call with 0.
    const bzV3 slow = V(0, -0.5f, 0);
    const bzV3 farAway[2] = {V(0.25f, 0.5f, 0.25f), V(0.25f, 3e38f, 0.25f)};
    float two[2] = {-7, -7};
    EXPECT_EQ(bz_RaysIntersectFace(&slow, &f, 2, farAway, &normal, two), 0);
    EXPECT_EQ(two[0], -7.0f);
    const bzV3 badStart[1] = {V(NAN, 1, 0.25f)};
    EXPECT_EQ(bz_RaysIntersectFace(&down, &f, 1, badStart, &normal, &one), 0);
    EXPECT_EQ(bz_RaysIntersectFace(&down, &f, 0, starts, &normal, &one), 0);
}

TEST(RaysIntersectFace, MoreThanFourRays)
{
    const bzCollisionFace f = Floor();
    const bzV3 down = V(0, -1, 0);
    bzV3 starts[9];
    float fractions[9];
    for (int i = 0; i < 9; i++)
        starts[i] = V(0.05f + 0.1f * i, 0.1f * (i + 1), 0.05f);
    bzV3 normal;
    ASSERT_EQ(bz_RaysIntersectFace(&down, &f, 9, starts, &normal, fractions), 1);
    for (int i = 0; i < 9; i++)
    {
        EXPECT_NEAR(fractions[i], 0.1f * (i + 1), 1e-6f) << i;
    }
}

TEST(SegmentIntersectFace, ToleranceAtTheEndSidesAndGuards)
{
    const float tol = bzCollisionTolerance;
    ASSERT_EQ(tol, 0.01f);
    bzCollisionFace f = Floor();
    struct Case
    {
        const char *name;
        uint32_t flags;
        bzV3 start, d;
        float fraction;
        float normalY;
    } cases[] = {
        {"straight down", 0, V(0.25f, 1, 0.25f), V(0, -2, 0), 0.5f, 1},
        {"ends on the plane", 0, V(0.25f, 1, 0.25f), V(0, -1, 0), 1.0f, 1},
        {"ends within the tolerance", 0, V(0.25f, 1, 0.25f), V(0, -0.995f, 0), 1.0f, 1},
        {"ends past the tolerance", 0, V(0.25f, 1, 0.25f), V(0, -0.985f, 0), 100.0f, 0},
        {"starts on the plane", 0, V(0.25f, 0, 0.25f), V(0, -1, 0), 0.0f, 1},
        {"starts behind", 0, V(0.25f, -0.1f, 0.25f), V(0, -1, 0), 100.0f, 0},
        {"from behind, single-sided", 0, V(0.25f, -1, 0.25f), V(0, 2, 0), 100.0f, 0},
        {"from behind, double-sided", BZ_FACE_DOUBLE_SIDED, V(0.25f, -1, 0.25f), V(0, 2, 0), 0.5f,
         -1},
        {"outside the triangle", 0, V(0.75f, 1, 0.75f), V(0, -2, 0), 100.0f, 0},
        {"parallel", 0, V(0.25f, 1e-8f, 0.25f), V(1, 0, 0), 100.0f, 0},
        {"never-collide is not looked at", BZ_FACE_NEVER_COLLIDE, V(0.25f, 1, 0.25f), V(0, -2, 0),
         0.5f, 1},
        {"not a number", 0, V(NAN, 1, 0.25f), V(0, -2, 0), 100.0f, 0},
        {"infinite motion", 0, V(0.25f, 1, 0.25f), V(0, -INFINITY, 0), 100.0f, 0},
    };
    for (const Case &c : cases)
    {
        f.flags = c.flags;
        bzV3 hit = V(7, 7, 7), normal = V(7, 7, 7);
        float fraction = -7;
        bz_SegmentIntersectFace(&c.d, &f, &c.start, &hit, &normal, &fraction);
        EXPECT_NEAR(fraction, c.fraction, 1e-6f) << c.name;
        if (c.fraction <= 1.0f)
        {
            EXPECT_EQ(normal.y, c.normalY) << c.name;
            EXPECT_NEAR(hit.y, c.start.y + c.fraction * c.d.y, 1e-6f) << c.name;
        }
    }
    // Ending within the tolerance: the hit point is the end point itself.
    f.flags = 0;
    const bzV3 s = V(0.25f, 1, 0.25f), d = V(0, -0.995f, 0);
    bzV3 hit, normal;
    float fraction;
    bz_SegmentIntersectFace(&d, &f, &s, &hit, &normal, &fraction);
    EXPECT_NEAR(hit.y, 0.005f, 1e-6f);
}

TEST(SweptSphereIntersectFace, SidesAndSweep)
{
    bzCollisionFace f = Floor();
    struct Case
    {
        const char *name;
        uint32_t flags;
        bzV3 a, b;
        float r;
        int32_t result;
        float fraction;
    } cases[] = {
        {"wholly in front", 0, V(0.25f, 2, 0.25f), V(0.25f, 1.02f, 0.25f), 1, 1, 100.0f},
        {"wholly behind", 0, V(0.25f, -2, 0.25f), V(0.25f, -1.02f, 0.25f), 1, -1, 100.0f},
        {"drops onto it", 0, V(0.25f, 3, 0.25f), V(0.25f, -1, 0.25f), 1, 0, 0.5f},
        {"starts within r", 0, V(0.25f, 0.5f, 0.25f), V(0.25f, -1, 0.25f), 1, 0, 100.0f},
        {"stops within the tolerance", 0, V(0.25f, 3, 0.25f), V(0.25f, 1.005f, 0.25f), 1, 0, 1.0f},
        {"beside the triangle", 0, V(2, 3, 2), V(2, -1, 2), 1, 0, 100.0f},
        {"from behind, single-sided", 0, V(0.25f, -3, 0.25f), V(0.25f, 1, 0.25f), 1, 0, 100.0f},
        {"from behind, double-sided", BZ_FACE_DOUBLE_SIDED, V(0.25f, -3, 0.25f), V(0.25f, 1, 0.25f),
         1, 0, 0.5f},
        {"never-collide", BZ_FACE_NEVER_COLLIDE, V(0.25f, 3, 0.25f), V(0.25f, -1, 0.25f), 1, 0,
         100.0f},
    };
    for (const Case &c : cases)
    {
        f.flags = c.flags;
        float fraction = -7;
        EXPECT_EQ(bz_SweptSphereIntersectFace(&f, &c.a, &c.b, c.r, &fraction), c.result) << c.name;
        EXPECT_NEAR(fraction, c.fraction, 1e-6f) << c.name;
    }
}

TEST(SweptSphereAgainstFace, NormalSideAndBarycentricMargin)
{
    bzCollisionFace f = Floor(BZ_FACE_DOUBLE_SIDED);
    const bzV3 a = V(0.25f, -3, 0.25f), b = V(0.25f, 1, 0.25f);
    float fraction;
    bzV3 normal = V(7, 7, 7);
    ASSERT_EQ(bz_SweptSphereAgainstFace(&f, 1, &a, &b, -3, 1, &fraction, &normal), 1);
    EXPECT_FLOAT_EQ(fraction, 0.5f);
    EXPECT_EQ(normal.y, -1.0f);
    // Touching at the long edge's far side within 1.001: the numerator may pass its
    // denominator by 0.1 percent in this test, against 0.01 percent in the ray test.
    f = Floor();
    const bzV3 c = V(0.25f, 3, 0.25f), d = V(0.25f, -1, 0.25f);
    ASSERT_EQ(bz_SweptSphereAgainstFace(&f, 1, &c, &d, 3, -1, &fraction, nullptr), 1);
    const bzV3 e = V(-0.00005f, 3, 0.5f), g = V(-0.00005f, -1, 0.5f);
    EXPECT_EQ(bz_SweptSphereAgainstFace(&f, 1, &e, &g, 3, -1, &fraction, nullptr), 1);
    EXPECT_FLOAT_EQ(fraction, 0.5f);
    const bzV3 h = V(-0.0002f, 3, 0.5f), k = V(-0.0002f, -1, 0.5f);
    EXPECT_EQ(bz_SweptSphereAgainstFace(&f, 1, &h, &k, 3, -1, &fraction, nullptr), 0);
    EXPECT_EQ(fraction, 100.0f);
}

TEST(DivideWouldOverflow, Table)
{
    struct Case
    {
        float a, b;
        int32_t result;
    } cases[] = {
        {1, 0.5f, 0},  {3e38f, 0.5f, 1},     {1, 0, 1},      {0, 0, 0},   {5, 2, 0},
        {3e38f, 2, 0}, {-1e-30f, 1e-30f, 0}, {1, 1e-39f, 1}, {NAN, 1, 1}, {1, NAN, 1},
    };
    for (const auto &c : cases)
    {
        EXPECT_EQ(bz_DivideWouldOverflow(c.a, c.b), c.result) << c.a << " / " << c.b;
    }
}
} // namespace
