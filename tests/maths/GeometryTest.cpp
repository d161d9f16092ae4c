// Boxes, planes, rays and intersection tests.
#include "MathsTestUtil.h"
#include "maths/Geometry.h"
#include "maths/Vector.h"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

namespace
{
const bzBox kUnitBox = {{0, 0, 0}, {1, 1, 1}};

TEST(Geometry, RayBoxFaceCodes)
{
    struct Case
    {
        const char *what;
        bzRay ray;
        bzBoxFace face;
        float t;
        bzV3 point, normal;
    };
    const Case cases[] = {
        {"origin inside",
         {{0.5f, 0.5f, 0.5f}, {1, 0, 0}, 0},
         7,
         0.0f,
         {0.5f, 0.5f, 0.5f},
         {9, 9, 9}},
        {"from below x", {{-1, 0.5f, 0.5f}, {2, 0, 0}, 0}, 4, 0.5f, {0, 0.5f, 0.5f}, {-1, 0, 0}},
        {"from above y", {{0.5f, 3, 0.5f}, {0, -4, 0}, 0}, 2, 0.5f, {0.5f, 1, 0.5f}, {0, 1, 0}},
        {"from above z", {{0.2f, 0.3f, 2}, {0, 0, -1}, 1}, 3, 1.0f, {0.2f, 0.3f, 1}, {0, 0, 1}},
        {"end exactly on the face",
         {{-1, 0.5f, 0.5f}, {1, 0, 0}, 0},
         4,
         1.0f,
         {0, 0.5f, 0.5f},
         {-1, 0, 0}},
        {"end just short of the face", {{-1, 0.5f, 0.5f}, {0.999f, 0, 0}, 0}, 0, 0, {}, {}},
        {"the same as a ray",
         {{-1, 0.5f, 0.5f}, {0.999f, 0, 0}, 1},
         4,
         1.001001f,
         {0, 0.5f, 0.5f},
         {-1, 0, 0}},
        {"pointing away", {{-1, 0.5f, 0.5f}, {-1, 0, 0}, 1}, 0, 0, {}, {}},
        {"passing beside", {{-1, 2, 0.5f}, {3, 0, 0}, 0}, 0, 0, {}, {}},
        {"grazing an edge", {{-1, 1, 0.5f}, {2, 0, 0}, 0}, 4, 0.5f, {0, 1, 0.5f}, {-1, 0, 0}},
        // Along the plane of the y faces: the y axis (delta 0) is never the entry face.
        {"along a face plane",
         {{-1, 1, 0.5f}, {4, 0, 0.1f}, 0},
         4,
         0.25f,
         {0, 1, 0.525f},
         {-1, 0, 0}},
        {"two classed axes, the later entry wins",
         {{-1, -3, 0.5f}, {4, 8, 0}, 0},
         5,
         0.375f,
         {0.5f, 0, 0.5f},
         {0, -1, 0}},
    };
    for (const Case &c : cases)
    {
        float t = -5;
        bzV3 point = {9, 9, 9}, normal = {9, 9, 9};
        const bzBoxFace face = bz_Ray_BoxIntersect(&c.ray, &kUnitBox, &t, &point, &normal);
        EXPECT_EQ(face, c.face) << c.what;
        if (face == 0 || face != c.face)
            continue;
        EXPECT_NEAR(t, c.t, 1e-6f) << c.what;
        EXPECT_TRUE(V3Near(point, c.point, 1e-6f)) << c.what;
        EXPECT_TRUE(V3Near(normal, c.normal, 0.0f)) << c.what;
    }
    const bzV3 a = {-1, 0.5f, 0.5f}, b = {0, 0.5f, 0.5f}, b2 = {-0.001f, 0.5f, 0.5f};
    EXPECT_EQ(bz_Segment_BoxIntersect(&a, &b, &kUnitBox), 4);
    EXPECT_EQ(bz_Segment_BoxIntersect(&a, &b2, &kUnitBox), 0);
}

TEST(Geometry, RayBoxWithNaNIsNotAHit)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const bzRay ray = {{-1, 0.5f, 0.5f}, {nan, 0, 0}, 1};
    EXPECT_EQ(bz_Ray_BoxIntersect(&ray, &kUnitBox, nullptr, nullptr, nullptr), 0);
}

TEST(Geometry, PlacedSegmentAndLineTests)
{
    bzM34 m;
    bz_M34_RotationZ(&m, 90);
    bz_M34_SetTranslation(&m, 10, 0, 0);
    // The unit box placed by m spans x 9..10, y 0..1.
    const bzV3 a = {9.5f, -1, 0.5f}, b = {9.5f, 0.5f, 0.5f}, c = {5, -1, 0.5f}, d = {5, 0.5f, 0.5f};
    EXPECT_NE(bz_Segment_BoxIntersectPlaced(&a, &b, &kUnitBox, &m), 0);
    EXPECT_EQ(bz_Segment_BoxIntersectPlaced(&c, &d, &kUnitBox, &m), 0);
    EXPECT_EQ(bz_Segment_BoxIntersectPlaced(&c, &d, &kUnitBox, nullptr), 0);

    // The line test looks both ways along the line.
    const bzV3 origin = {3, 0.5f, 0.5f}, toward = {-1, 0, 0}, away = {1, 0, 0};
    bzV3 point;
    EXPECT_EQ(bz_Line_BoxIntersect(&origin, &toward, &kUnitBox, &point), 1);
    EXPECT_TRUE(V3Near(point, bzV3{1, 0.5f, 0.5f}, 1e-6f));
    EXPECT_EQ(bz_Line_BoxIntersect(&origin, &away, &kUnitBox, &point), 1);
    const bzV3 off = {3, 5, 0.5f};
    EXPECT_EQ(bz_Line_BoxIntersect(&off, &away, &kUnitBox, &point), 0);
}

TEST(Geometry, TouchingBoxesOverlapButTouchingSpheresDoNot)
{
    const bzBox b = {{1, 0, 0}, {2, 1, 1}}, far = {{1.0001f, 0, 0}, {2, 1, 1}};
    EXPECT_EQ(bz_Box_Overlap(&kUnitBox, &b), 1);
    EXPECT_EQ(bz_Box_Overlap(&b, &kUnitBox), 1);
    EXPECT_EQ(bz_Box_Overlap(&kUnitBox, &far), 0);

    const bzV3 c1 = {0, 0, 0}, c2 = {3, 0, 0};
    EXPECT_EQ(bz_Spheres_Overlap(&c1, &c2, 1, 2), 0);
    EXPECT_EQ(bz_Spheres_Overlap(&c1, &c2, 1.001f, 2), 1);

    // A sphere touching the box (squared distance equal to r^2) overlaps.
    const bzV3 centre = {3, 0.5f, 0.5f};
    bzV3 clamped;
    EXPECT_EQ(bz_Box_SphereOverlap(&centre, &kUnitBox, &clamped, 4.0f), 1);
    EXPECT_TRUE(V3Near(clamped, bzV3{1, 0.5f, 0.5f}, 0.0f));
    EXPECT_EQ(bz_Box_SphereOverlap(&centre, &kUnitBox, &clamped, 3.99f), 0);
    EXPECT_EQ(bz_Box_SphereOverlapRadius(&centre, &kUnitBox, nullptr, 2.0f), 1);
}

TEST(Geometry, BoxPointQueries)
{
    const bzV3 corner = {1, 1, 1}, outside = {2, -1, 0.5f}, inside = {0.25f, 0.5f, 0.9f};
    EXPECT_EQ(bz_Box_PointInside(&corner, &kUnitBox), 1);
    EXPECT_EQ(bz_Box_PointInside(&outside, &kUnitBox), 0);
    bzV3 out;
    EXPECT_EQ(bz_Box_ClampPoint(&outside, &kUnitBox, &out), 0);
    EXPECT_TRUE(V3Near(out, bzV3{1, 0, 0.5f}, 0.0f));
    EXPECT_EQ(bz_Box_ClampPoint(&inside, &kUnitBox, &out), 1);
    // The output is optional, as every output of these tests.
    EXPECT_EQ(bz_Box_ClampPoint(&outside, &kUnitBox, nullptr), 0);
    EXPECT_EQ(bz_Box_PointDistanceSq(&kUnitBox, &outside), 2.0f);
    EXPECT_EQ(bz_Box_PointDistanceSq(&kUnitBox, &inside), 0.0f);
    EXPECT_NEAR(bz_Box_InsideDepth(&inside, &kUnitBox), 0.1f, 1e-6f);
    EXPECT_NEAR(bz_Box_Radius(&kUnitBox), 0.5f * std::sqrt(3.0f), 1e-6f);

    const bzV3 pts[3] = {{1, 5, -2}, {-1, 2, 3}, {0, 7, 0}};
    bzBox box;
    bz_Box_FromPoints(pts, 3, &box);
    EXPECT_TRUE(V3Near(box.min, bzV3{-1, 2, -2}, 0.0f));
    EXPECT_TRUE(V3Near(box.max, bzV3{1, 7, 3}, 0.0f));
    bz_Box_FromPoints(pts, 0, &box);
    EXPECT_TRUE(V3Near(box.min, pts[0], 0.0f));
    EXPECT_TRUE(V3Near(box.max, pts[0], 0.0f));
    const bzV3 far = {9, -9, 0};
    bz_Box_AddPoint(&box, &far);
    EXPECT_TRUE(V3Near(box.min, bzV3{1, -9, -2}, 0.0f));
    EXPECT_TRUE(V3Near(box.max, bzV3{9, 5, 0}, 0.0f));

    bzBox swapped = {{1, 0, 5}, {0, 1, 2}};
    bz_Box_OrderInPlace(&swapped);
    EXPECT_TRUE(V3Near(swapped.min, bzV3{0, 0, 2}, 0.0f));
    EXPECT_TRUE(V3Near(swapped.max, bzV3{1, 1, 5}, 0.0f));
    bzBox u;
    bz_Box_UnionInto(&kUnitBox, &swapped, &u);
    EXPECT_TRUE(V3Near(u.min, bzV3{0, 0, 0}, 0.0f));
    EXPECT_TRUE(V3Near(u.max, bzV3{1, 1, 5}, 0.0f));
}

TEST(Geometry, BoxCornersFollowTheBitsOfTheirNumber)
{
    const bzBox box = {{-1, -2, -3}, {4, 5, 6}};
    const bzV3 expected[8] = {{-1, -2, -3}, {4, -2, -3}, {-1, 5, -3}, {4, 5, -3},
                              {-1, -2, 6},  {4, -2, 6},  {-1, 5, 6},  {4, 5, 6}};
    for (int32_t i = 0; i < 8; i++)
    {
        bzV3 corner;
        bz_Box_Corner(&box, i, &corner);
        EXPECT_TRUE(V3Near(corner, expected[i], 0.0f)) << i;
    }
}

TEST(Geometry, BoxAgainstPlanes)
{
    struct Case
    {
        bzPlane plane;
        int32_t notInFront, straddles;
    };
    const Case cases[] = {
        {{{1, 0, 0}, 2}, 1, 0},          // whole box behind
        {{{1, 0, 0}, -1}, 0, 0},         // whole box in front
        {{{1, 0, 0}, 0}, 1, 1},          // a face on the plane
        {{{-1, 0, 0}, -1}, 1, 1},        // the far face on the plane
        {{{0.6f, 0.8f, 0}, 0.5f}, 1, 1}, // cutting through
    };
    for (const Case &c : cases)
    {
        EXPECT_EQ(bz_Box_NotInFrontOfPlane(&kUnitBox, &c.plane), c.notInFront) << c.plane.d;
        EXPECT_EQ(bz_Box_BehindPlane(&c.plane, &kUnitBox), c.notInFront) << c.plane.d;
        EXPECT_EQ(bz_Box_StraddlesPlane(&kUnitBox, &c.plane), c.straddles) << c.plane.d;
    }
}

TEST(Geometry, TransformedBoxEnclosesEveryCorner)
{
    MathsRandom rnd;
    for (int n = 0; n < 100; n++)
    {
        bzM34 m = rnd.Rotation(true);
        bz_M34_ScaleRows(&m, rnd.Uniform(0.5f, 2), rnd.Uniform(0.5f, 2), rnd.Uniform(0.5f, 2));
        const bzV3 lo = rnd.V3(-2, 0), hi = rnd.V3(0.1f, 2);
        const bzBox box = {lo, hi};
        bzBox out;
        bz_Box_TransformInto(&box, &m, &out);
        bzBox expect = {{1e30f, 1e30f, 1e30f}, {-1e30f, -1e30f, -1e30f}};
        for (int k = 0; k < 8; k++)
        {
            const bzV3 c = {k & 1 ? hi.x : lo.x, k & 2 ? hi.y : lo.y, k & 4 ? hi.z : lo.z};
            bzV3 w;
            bz_M34_TransformPointInto(&m, &w, &c);
            bz_Box_AddPoint(&expect, &w);
        }
        EXPECT_TRUE(V3Near(out.min, expect.min, 1e-4f));
        EXPECT_TRUE(V3Near(out.max, expect.max, 1e-4f));
        bzBox inPlace = box;
        bz_Box_Transform(&inPlace, &m);
        EXPECT_TRUE(V3Near(inPlace.min, out.min, 0.0f));
    }
}

// Box overlap against the rule written out axis by axis, on random pairs of boxes that often
// share sides (touching), with flat and inside-out boxes, signed zeros, infinities and NaNs.
TEST(Geometry, BoxOverlapIsTheAxisByAxisRule)
{
    MathsRandom rnd(5);
    const float inf = std::numeric_limits<float>::infinity();
    const float unusual[] = {0.0f, -0.0f, inf, -inf, std::numeric_limits<float>::quiet_NaN()};
    auto rule = [](const bzBox &a, const bzBox &b)
    {
        for (int k = 0; k < 3; k++)
            if (a.min.v[k] > b.max.v[k] || b.min.v[k] > a.max.v[k])
                return 0;
        return 1;
    };
    int overlapping = 0, apart = 0;
    int apartOnAxis[3] = {0, 0, 0};
    for (int n = 0; n < 20000; n++)
    {
        bzBox box[2];
        for (bzBox &b : box)
        {
            b.min = rnd.V3(-1.0f, 0.5f);
            b.max = rnd.V3(-0.5f, 1.0f);
        }
        for (int k = 0; k < 3; k++)
        {
            const float u = rnd.Uniform(0.0f, 1.0f);
            if (u < 0.1f)
                box[1].min.v[k] = box[0].max.v[k]; // touching
            else if (u < 0.15f)
                box[1].max.v[k] = box[1].min.v[k]; // flat
            else if (u < 0.25f)
                (rnd.Uniform(0.0f, 1.0f) < 0.5f ? box[0].min : box[1].max).v[k] =
                    unusual[int(rnd.Uniform(0.0f, 4.999f))];
        }
        const int expect = rule(box[0], box[1]);
        ASSERT_EQ(bz_Box_Overlap(&box[0], &box[1]), expect) << "case " << n;
        ASSERT_EQ(bz_Box_Overlap(&box[1], &box[0]), expect) << "case " << n;
        (expect ? overlapping : apart)++;
        // Apart on this axis alone.
        for (int k = 0; k < 3; k++)
        {
            bzBox a = box[0], b = box[1];
            for (int j = 0; j < 3; j++)
                if (j != k)
                    a.min.v[j] = b.min.v[j] = -inf, a.max.v[j] = b.max.v[j] = inf;
            apartOnAxis[k] += !rule(a, b);
        }
    }
    EXPECT_GT(overlapping, 3000);
    EXPECT_GT(apart, 3000);
    for (int k = 0; k < 3; k++)
        EXPECT_GT(apartOnAxis[k], 1000) << "axis " << k;
}

// The placed box by the rule written out one number at a time: the min corner through the
// matrix (x, y, z products, then the translation), then for each row in turn, each coordinate
// of extent x row added to the max when it is >= 0 and to the min when it is not.
bzBox PlacedBoxByHand(const bzBox &b, const bzM34 &m)
{
    bzBox r;
    for (int j = 0; j < 3; j++)
    {
        const float c = b.min.x * m.row[0].v[j] + b.min.y * m.row[1].v[j] +
                        b.min.z * m.row[2].v[j] + m.row[3].v[j];
        r.min.v[j] = r.max.v[j] = c;
    }
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++)
        {
            const float v = (b.max.v[i] - b.min.v[i]) * m.row[i].v[j];
            if (v >= 0.0f)
                r.max.v[j] = r.max.v[j] + v;
            else
                r.min.v[j] = r.min.v[j] + v;
        }
    return r;
}

// The placed box equals the rule worked by hand bit for bit: random boxes and frames with zeros
// of both signs, flat and inside-out boxes, huge values, infinities and NaNs among them, so
// that both sides of every >= 0 come up, NaN and signed zeros included, and sides that end as
// -0 (where adding a +0 would show); also in place.
TEST(Geometry, TransformedBoxIsTheRuleBitForBit)
{
    MathsRandom rnd(99);
    const float inf = std::numeric_limits<float>::infinity();
    const float unusual[] = {
        0.0f, -0.0f, 1e30f, -1e30f, inf, -inf, std::numeric_limits<float>::quiet_NaN(), 1e-40f};
    auto pick = [&](float lo, float hi)
    {
        const float u = rnd.Uniform(0.0f, 1.0f);
        if (u < 0.15f)
            return unusual[int(rnd.Uniform(0.0f, 7.999f))];
        return rnd.Uniform(lo, hi);
    };
    auto bits = [](const bzBox &b)
    {
        std::array<uint32_t, 6> out;
        for (int k = 0; k < 3; k++)
        {
            out[k] = std::bit_cast<uint32_t>(b.min.v[k]);
            out[k + 3] = std::bit_cast<uint32_t>(b.max.v[k]);
        }
        return out;
    };
    int toMax = 0, toMin = 0, notANumber = 0, negativeZero = 0, negativeZeroSide = 0;
    for (int n = 0; n < 20000; n++)
    {
        bzM34 m = rnd.Rotation(true);
        for (int i = 0; i < 4; i++)
            for (int j = 0; j < 3; j++)
                if (rnd.Uniform(0.0f, 1.0f) < 0.1f)
                    m.row[i].v[j] = pick(-2.0f, 2.0f);
        bzBox box = {rnd.V3(-2, 0), rnd.V3(0.1f, 2)};
        for (int k = 0; k < 3; k++)
        {
            if (rnd.Uniform(0.0f, 1.0f) < 0.1f)
                box.min.v[k] = pick(-2.0f, 2.0f);
            if (rnd.Uniform(0.0f, 1.0f) < 0.1f)
                box.max.v[k] = n % 5 == 0 ? box.min.v[k] : pick(-2.0f, 2.0f);
        }
        if (n % 7 == 3)
        {
            // A corner at the origin of a frame without translation, of zeros of both signs,
            // and flat sides: sums of signed zeros throughout.
            m.row[3] = {-0.0f, -0.0f, -0.0f};
            for (int k = 0; k < 3; k++)
            {
                box.min.v[k] = rnd.Uniform(0.0f, 1.0f) < 0.5f ? 0.0f : -0.0f;
                if (rnd.Uniform(0.0f, 1.0f) < 0.5f)
                    box.max.v[k] = box.min.v[k];
            }
        }
        const bzBox expect = PlacedBoxByHand(box, m);
        bzBox out;
        bz_Box_TransformInto(&box, &m, &out);
        ASSERT_EQ(bits(out), bits(expect)) << "case " << n;
        bzBox inPlace = box;
        bz_Box_Transform(&inPlace, &m);
        ASSERT_EQ(bits(inPlace), bits(expect)) << "case " << n;
        for (int k = 0; k < 3; k++)
            negativeZeroSide += (expect.min.v[k] == 0.0f && std::signbit(expect.min.v[k])) +
                                (expect.max.v[k] == 0.0f && std::signbit(expect.max.v[k]));
        for (int i = 0; i < 3; i++)
            for (int j = 0; j < 3; j++)
            {
                const float v = (box.max.v[i] - box.min.v[i]) * m.row[i].v[j];
                (v >= 0.0f ? toMax : toMin)++;
                notANumber += std::isnan(v);
                negativeZero += v == 0.0f && std::signbit(v);
            }
    }
    EXPECT_GT(toMax, 50000);
    EXPECT_GT(toMin, 50000);
    EXPECT_GT(notANumber, 1000);
    EXPECT_GT(negativeZero, 1000);
    EXPECT_GT(negativeZeroSide, 300);
}

// Separating axes by brute force: all fifteen axes, every corner projected.
bool OracleOverlap(const bzM34 &m, const bzBox &placed, const bzBox &box, float *margin)
{
    bzV3 cornersB[8], cornersA[8];
    for (int k = 0; k < 8; k++)
    {
        const bzV3 c = {k & 1 ? placed.max.x : placed.min.x, k & 2 ? placed.max.y : placed.min.y,
                        k & 4 ? placed.max.z : placed.min.z};
        bz_M34_TransformPointInto(&m, &cornersB[k], &c);
        cornersA[k] = {k & 1 ? box.max.x : box.min.x, k & 2 ? box.max.y : box.min.y,
                       k & 4 ? box.max.z : box.min.z};
    }
    bzV3 axes[15];
    int count = 0;
    for (int i = 0; i < 3; i++)
    {
        axes[count] = {0, 0, 0};
        axes[count++].v[i] = 1;
        axes[count++] = m.row[i];
    }
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++)
        {
            bzV3 e = {0, 0, 0};
            e.v[j] = 1;
            bz_V3_CrossInto(&m.row[i], &e, &axes[count++]);
        }
    *margin = 1e30f;
    bool overlap = true;
    for (const bzV3 &axis : axes)
    {
        const float len = bz_V3_Length(&axis);
        if (len < 1e-3f)
            continue;
        float loA = 1e30f, hiA = -1e30f, loB = 1e30f, hiB = -1e30f;
        for (int k = 0; k < 8; k++)
        {
            const float a = bz_V3_Dot(&cornersA[k], &axis) / len;
            const float b = bz_V3_Dot(&cornersB[k], &axis) / len;
            loA = std::fmin(loA, a), hiA = std::fmax(hiA, a);
            loB = std::fmin(loB, b), hiB = std::fmax(hiB, b);
        }
        const float gap = std::fmax(loB - hiA, loA - hiB);
        *margin = std::fmin(*margin, std::fabs(gap));
        if (gap > 0.0f)
            overlap = false;
    }
    return overlap;
}

TEST(Geometry, OrientedBoxesAgreeWithTheBruteForceOracle)
{
    MathsRandom rnd(777);
    int overlaps = 0, tested = 0;
    for (int n = 0; n < 3000; n++)
    {
        const bzM34 m = rnd.Rotation(false);
        bzM34 placedBy = m;
        placedBy.row[3] = rnd.V3(-2.5f, 2.5f);
        const bzBox placed = {rnd.V3(-1, 0), rnd.V3(0.1f, 1)};
        const bzBox box = {rnd.V3(-1, 0), rnd.V3(0.1f, 1)};
        float margin;
        const bool expect = OracleOverlap(placedBy, placed, box, &margin);
        if (margin < 1e-3f)
            continue; // too close to touching for float comparisons to settle
        tested++;
        overlaps += expect;
        EXPECT_EQ(bz_Box_OrientedOverlap(&placedBy, &placed, &box), expect ? 1 : 0) << n;
    }
    // Both outcomes must have been exercised, the separating cross axes among them.
    EXPECT_GT(tested, 2500);
    EXPECT_GT(overlaps, 200);
    EXPECT_LT(overlaps, tested - 200);
}

TEST(Geometry, OverlapPlacedUsesTheRelativeTransform)
{
    MathsRandom rnd(99);
    for (int n = 0; n < 200; n++)
    {
        const bzM34 ma = [&]
        {
            bzM34 m = rnd.Rotation(false);
            m.row[3] = rnd.V3(-2, 2);
            return m;
        }();
        const bzM34 mb = [&]
        {
            bzM34 m = rnd.Rotation(false);
            m.row[3] = rnd.V3(-2, 2);
            return m;
        }();
        const bzBox a = {rnd.V3(-1, 0), rnd.V3(0.1f, 1)}, b = {rnd.V3(-1, 0), rnd.V3(0.1f, 1)};
        // The same question asked in b's frame.
        bzM34 rel;
        bz_RelativeM34Into(&mb, &rel, &ma);
        float margin;
        const bool expect = OracleOverlap(rel, a, b, &margin);
        if (margin < 1e-3f)
            continue;
        EXPECT_EQ(bz_Box_OverlapPlaced(&a, &ma, &b, &mb), expect ? 1 : 0);
        EXPECT_EQ(bz_Box_OverlapPlaced(&a, &rel, &b, nullptr), expect ? 1 : 0);
        EXPECT_EQ(bz_Box_OverlapPlaced(&b, nullptr, &a, &rel), expect ? 1 : 0);
    }
    const bzBox b2 = {{1, 1, 1}, {2, 2, 2}};
    EXPECT_EQ(bz_Box_OverlapPlaced(&kUnitBox, nullptr, &b2, nullptr), 1);
}

TEST(Geometry, PlaneFromPoints)
{
    const bzV3 a = {0, 0, 0}, b = {1, 0, 0}, c = {0, 1, 0};
    bzPlane p;
    bz_Plane_FromPoints(&a, &b, &c, &p);
    // (a - b) x (c - b) = (-1, 0, 0) x (-1, 1, 0) = (0, 0, -1).
    EXPECT_TRUE(V3Near(p.n, bzV3{0, 0, -1}, 0.0f));
    EXPECT_EQ(p.d, 0.0f);
    const bzV3 e = {0, 0, 5};
    EXPECT_EQ(bz_Plane_SignedDistance(&p, &e), -5.0f);
    EXPECT_EQ(bz_Plane_SignedDistance(&p, 0, 0, -2), 2.0f);

    // Collinear points: normal (1, 0, 0) and d = b.x.
    const bzV3 q0 = {1, 1, 1}, q1 = {2, 2, 2}, q2 = {4, 4, 4};
    bz_Plane_FromPoints(&q0, &q1, &q2, &p);
    EXPECT_TRUE(V3Near(p.n, bzV3{1, 0, 0}, 0.0f));
    EXPECT_EQ(p.d, 2.0f);
}

TEST(Geometry, PlaneProjectionsAndCrossings)
{
    const bzPlane p = {{0, 1, 0}, 2};
    const bzV3 pt = {3, 5, 1};
    bzV3 out;
    EXPECT_EQ(bz_Plane_ProjectPoint(&p, &pt, &out), 3.0f);
    EXPECT_TRUE(V3Near(out, bzV3{3, 2, 1}, 0.0f));
    EXPECT_EQ(bz_Plane_AbsDistance(&p, &out), 0.0f);
    EXPECT_EQ(bz_Plane_NearPoint(&p, &pt, 3.0f), 1);
    EXPECT_EQ(bz_Plane_NearPoint(&p, &pt, 2.9f), 0);

    const bzV3 down = {0, -2, 0}, flat = {1, 0, 0};
    EXPECT_EQ(bz_LinePlaneIntersect(&p, &pt, &down, &out), 1);
    EXPECT_TRUE(V3Near(out, bzV3{3, 2, 1}, 0.0f));
    EXPECT_EQ(bz_LinePlaneIntersect(&p, &pt, &flat, &out), 0);

    // One end exactly on the plane: 1 and that end.
    const bzV3 on = {7, 2, -3}, above = {1, 4, 1}, below = {1, 0, 1};
    EXPECT_EQ(bz_Plane_SegmentIntersect(&p, &on, &above, &out), 1);
    EXPECT_TRUE(V3Near(out, on, 0.0f));
    EXPECT_EQ(bz_Plane_SegmentIntersect(&p, &above, &on, &out), 1);
    EXPECT_TRUE(V3Near(out, on, 0.0f));
    EXPECT_EQ(bz_Plane_SegmentIntersect(&p, &above, &below, &out), 1);
    EXPECT_TRUE(V3Near(out, bzV3{1, 2, 1}, 0.0f));
    EXPECT_EQ(bz_Plane_SegmentIntersect(&p, &above, &pt, &out), 0);

    const bzV4 eq = {0, 2, 0, -4}; // 2y - 4 = 0, the plane y = 2
    bz_Plane_ProjectOnEquation(&eq, &pt, &out);
    EXPECT_TRUE(V3Near(out, bzV3{3, 2, 1}, 1e-6f));
    EXPECT_NEAR(bz_Plane_EquationDistance(&eq, &pt), std::sqrt(9.0f + 10.0f + 1.0f), 1e-5f);
}

TEST(Geometry, PlanePairs)
{
    const bzPlane a = {{1, 0, 0}, 1}, b = {{0, 1, 0}, 2};
    bzV3 point, dir;
    EXPECT_EQ(bz_Plane_PlaneIntersect(&a, &b, &point, &dir), 1);
    EXPECT_NEAR(point.x, 1.0f, 1e-6f);
    EXPECT_NEAR(point.y, 2.0f, 1e-6f);
    EXPECT_TRUE(V3Near(dir, bzV3{0, 0, 1}, 1e-6f));
    const bzPlane c = {{1, 0, 0}, 5};
    EXPECT_EQ(bz_Plane_PlaneIntersect(&a, &c, &point, &dir), 0);

    // Opposite normals with -d_a > d_b: back to back (0); otherwise 1.
    const bzPlane back = {{-1, 0, 0}, -3}, notBack = {{-1, 0, 0}, -0.5f};
    const bzPlane almost = {{-0.99999f, 0.0044721f, 0}, -3};
    EXPECT_EQ(bz_Plane_NotBackToBack(&a, &back), 0);
    EXPECT_EQ(bz_Plane_NotBackToBack(&a, &notBack), 1);
    EXPECT_EQ(bz_Plane_NotBackToBack(&a, &almost), 1);
    EXPECT_EQ(bz_Plane_NotBackToBack(&a, &b), 1);
}

TEST(Geometry, PlanesFollowTheirFrames)
{
    MathsRandom rnd(5);
    for (int n = 0; n < 50; n++)
    {
        const bzM34 m = rnd.Rotation(true);
        const bzV3 p0 = rnd.V3(-3, 3), p1 = rnd.V3(-3, 3), p2 = rnd.V3(-3, 3);
        bzPlane local;
        bz_Plane_FromPoints(&p0, &p1, &p2, &local);
        bzV3 w0, w1, w2;
        bz_M34_TransformPointInto(&m, &w0, &p0);
        bz_M34_TransformPointInto(&m, &w1, &p1);
        bz_M34_TransformPointInto(&m, &w2, &p2);

        bzPlane world = local;
        bz_Plane_TransformOrtho(&world, &m);
        EXPECT_NEAR(bz_Plane_SignedDistance(&world, &w2), 0.0f, 1e-3f);
        bzPlane back;
        bz_Plane_ToLocal(&world, &m, &back);
        EXPECT_TRUE(V3Near(back.n, local.n, 1e-5f));
        EXPECT_NEAR(back.d, local.d, 1e-4f);

        // A scaled frame: the general transform keeps the points on the plane and n unit.
        bzM34 s = m;
        bz_M34_ScaleRows(&s, 2.0f, 0.5f, 1.5f);
        bz_M34_TransformPointInto(&s, &w0, &p0);
        bz_M34_TransformPointInto(&s, &w1, &p1);
        bzPlane general;
        bz_Plane_TransformByM34(&s, &local, &general);
        EXPECT_NEAR(bz_V3_Length(&general.n), 1.0f, 1e-5f);
        EXPECT_NEAR(bz_Plane_SignedDistance(&general, &w0), 0.0f, 2e-3f);
        EXPECT_NEAR(bz_Plane_SignedDistance(&general, &w1), 0.0f, 2e-3f);
        bzPlane inPlace = local;
        bz_Plane_TransformByM34Normalised(&inPlace, &s);
        EXPECT_TRUE(V3Near(inPlace.n, general.n, 0.0f));
    }
}

TEST(Geometry, TriangleAgainstAPlane)
{
    const bzPlane p = {{1, 0, 0}, 0};
    struct Case
    {
        bzV3 c[3];
        float fraction;
        int32_t cut;
    };
    const Case cases[] = {
        {{{1, 0, 0}, {-1, 0, 0}, {-1, 2, 0}}, 0.25f, 1}, // one corner in front, cut at midpoints
        {{{-1, 0, 0}, {1, 0, 0}, {1, 2, 0}}, 0.75f, 1},  // one corner behind
        {{{-1, 0, 0}, {-2, 0, 0}, {-1, 2, 0}}, 0.0f, 0}, // all behind
        {{{0, 0, 0}, {0, 1, 0}, {0, 0, 1}}, 1.0f, 1},    // all on the plane
        {{{3, 0, 0}, {1, 1, 0}, {2, 0, 1}}, 1.0f, 1},    // all in front
    };
    for (const Case &c : cases)
    {
        EXPECT_NEAR(bz_Triangle_PlaneFraction(c.c, &p), c.fraction, 1e-6f);
        float f = -1;
        EXPECT_EQ(bz_Triangle_PlaneCut(c.c, &p, &f), c.cut);
        EXPECT_NEAR(f, c.fraction, 1e-6f);
        float g = -1;
        EXPECT_EQ(bz_Triangle_ProjectOnAxis(&p.n, p.d, &c.c[0], nullptr, nullptr, &g), c.cut);
        EXPECT_EQ(g, f);
    }
}

TEST(Geometry, ConvexRegionClosestPoint)
{
    // The unit cube as six half-spaces n.q <= d.
    const bzV4 cube[6] = {{1, 0, 0, 1},  {-1, 0, 0, 0}, {0, 1, 0, 1},
                          {0, -1, 0, 0}, {0, 0, 1, 1},  {0, 0, -1, 0}};
    struct Case
    {
        bzV3 p, want;
        float dist;
    };
    const Case cases[] = {
        {{0.5f, 0.5f, 0.5f}, {0.5f, 0.5f, 0.5f}, 0.0f}, // inside
        {{3, 0.5f, 0.5f}, {1, 0.5f, 0.5f}, 2.0f},       // beyond one face
        {{2, 3, 0.5f}, {1, 1, 0.5f}, std::sqrt(5.0f)},  // beyond an edge
        {{2, 2, -1}, {1, 1, 0}, std::sqrt(3.0f)},       // beyond a corner
    };
    for (const Case &c : cases)
    {
        bzV3 out;
        float dist = -1;
        EXPECT_EQ(bz_ConvexPlanes_ClosestPoint(&c.p, 6, cube, 10.0f, &out, &dist), 1);
        EXPECT_TRUE(V3Near(out, c.want, 1e-5f));
        EXPECT_NEAR(dist, c.dist, 1e-5f);
        EXPECT_EQ(bz_ConvexPlanes_ClosestPoint(&c.p, 6, cube, 10.0f, nullptr, nullptr), 1);
    }
    const bzV3 far = {50, 0.5f, 0.5f}, corner = {3, 3, 3};
    bzV3 out;
    EXPECT_EQ(bz_ConvexPlanes_ClosestPoint(&far, 6, cube, 10.0f, &out, nullptr), 0);
    EXPECT_EQ(bz_ConvexPlanes_ClosestPoint(&corner, 6, cube, 3.0f, &out, nullptr), 0);

    // An empty region (x <= 0 and x >= 1) ends instead of running for ever.
    const bzV4 empty[3] = {{1, 0, 0, 0}, {-1, 0, 0, -1}, {0, 1, 0, 0}};
    const bzV3 p = {0.5f, 1, 0};
    EXPECT_EQ(bz_ConvexPlanes_ClosestPoint(&p, 3, empty, 100.0f, &out, nullptr), 1);
}

TEST(Geometry, RayAgainstSphere)
{
    const bzV3 centre = {0, 0, 0};
    struct Case
    {
        bzRay ray;
        int32_t hit;
        float t;
    };
    const Case cases[] = {
        {{{-3, 0, 0}, {4, 0, 0}, 0}, 1, 0.5f},   // enters at x = -1
        {{{-3, 0, 0}, {1, 0, 0}, 0}, 0, 0},      // segment too short
        {{{-3, 0, 0}, {1, 0, 0}, 1}, 1, 2.0f},   // the same as a ray
        {{{0.5f, 0, 0}, {1, 0, 0}, 0}, 1, 0.0f}, // origin inside
        {{{3, 0, 0}, {1, 0, 0}, 1}, 0, 0},       // sphere behind
        {{{-3, 1.5f, 0}, {6, 0, 0}, 0}, 0, 0},   // passing beside
        {{{-3, 0, 0}, {0, 0, 0}, 0}, 0, 0},      // no motion
    };
    for (const Case &c : cases)
    {
        float t = -7;
        bzV3 point, normal;
        EXPECT_EQ(bz_Ray_SphereIntersect(&c.ray, &centre, 1.0f, &t, &point, &normal), c.hit);
        if (!c.hit)
            continue;
        EXPECT_NEAR(t, c.t, 1e-6f);
        if (c.t > 0)
        {
            EXPECT_TRUE(V3Near(normal, bzV3{-1, 0, 0}, 1e-6f));
        }
    }
}

TEST(Geometry, MovingPointAgainstCapsule)
{
    const bzV3 P = {0, 0, 0}, Q = {0, 1, 0};
    struct Case
    {
        const char *what;
        bzV3 start, delta;
        int32_t result;
        float t;
        bzV3 point, normal;
    };
    const Case cases[] = {
        {"side wall", {-2, 0.5f, 0}, {4, 0, 0}, 1, 0.375f, {-0.5f, 0.5f, 0}, {-1, 0, 0}},
        {"too short", {-2, 0.5f, 0}, {1, 0, 0}, 0, 0, {}, {}},
        {"passing beside", {-2, 0.5f, 3}, {4, 0, 0}, 0, 0, {}, {}},
        {"end cap along the axis", {0, 3, 0}, {0, -4, 0}, 1, 0.375f, {0, 1.5f, 0}, {0, 1, 0}},
        {"lower cap", {0, -2, 0}, {0, 4, 0}, 1, 0.375f, {0, -0.5f, 0}, {0, -1, 0}},
        {"start inside the wall", {0.2f, 0.5f, 0}, {4, 0, 0.1f}, -1, 0, {0, 0, 0}, {0, 0, 0}},
        {"start inside, moving along the axis",
         {0.1f, 0.5f, 0},
         {0, 0.2f, 0},
         -1,
         0,
         {0, 0, 0},
         {0, 0, 0}},
    };
    for (const Case &c : cases)
    {
        bzV3 point = {9, 9, 9}, normal = {9, 9, 9};
        float t = -9;
        EXPECT_EQ(bz_Ray_CapsuleIntersect(&c.start, &c.delta, &P, &Q, 0.5f, &point, &normal, &t),
                  c.result)
            << c.what;
        if (c.result == 0)
            continue;
        EXPECT_TRUE(V3Near(point, c.point, 1e-5f)) << c.what;
        EXPECT_TRUE(V3Near(normal, c.normal, 1e-5f)) << c.what;
        if (c.result == 1)
        {
            EXPECT_NEAR(t, c.t, 1e-5f) << c.what;
        }
    }
    // Starting inside an end cap: -1 with the outputs left alone.
    const bzV3 start = {0, 1.3f, 0}, delta = {0, 1, 0};
    bzV3 point = {9, 9, 9};
    EXPECT_EQ(bz_Ray_CapsuleIntersect(&start, &delta, &P, &Q, 0.5f, &point, nullptr, nullptr), -1);
    EXPECT_TRUE(V3Near(point, bzV3{9, 9, 9}, 0.0f));
    // The segment form and a capsule of no length (a sphere).
    const bzV3 a = {-2, 0.5f, 0}, b = {2, 0.5f, 0};
    float t;
    EXPECT_EQ(bz_Segment_CapsuleIntersect(&a, &b, &P, &Q, 0.5f, nullptr, nullptr, &t), 1);
    EXPECT_NEAR(t, 0.375f, 1e-5f);
    const bzV3 c = {-2, 0, 0}, d = {2, 0, 0};
    EXPECT_EQ(bz_Segment_CapsuleIntersect(&c, &d, &P, &P, 0.5f, &point, nullptr, &t), 1);
    EXPECT_TRUE(V3Near(point, bzV3{-0.5f, 0, 0}, 1e-5f));
}

TEST(Geometry, PointAndSegmentDistances)
{
    const bzV3 a = {0, 0, 0}, b = {2, 0, 0};
    struct Case
    {
        bzV3 p;
        float distSq, t;
    };
    const Case cases[] = {{{1, 1, 0}, 1, 0.5f}, {{-1, 0, 0}, 1, 0}, {{4, 0, 2}, 8, 1}};
    for (const Case &c : cases)
    {
        bzV3 point;
        float t;
        EXPECT_NEAR(bz_PointSegmentDistance(&c.p, &a, &b, &point, &t), c.distSq, 1e-6f);
        EXPECT_EQ(t, c.t);
        EXPECT_NEAR(bz_Segment_ClosestPoint(&a, &b, &c.p, nullptr), std::sqrt(c.distSq), 1e-6f);
    }
    // A segment of no length is its start point.
    const bzV3 p = {3, 4, 0};
    float t = -1;
    EXPECT_EQ(bz_PointSegmentDistance(&p, &a, &a, nullptr, &t), 25.0f);
    EXPECT_EQ(t, 0.0f);

    const bzV3 centre = {1, 1, 0}, dir = {1, 0, 0}, far = {9, 1, 0};
    EXPECT_EQ(bz_Segment_SphereTouch(&a, &b, &centre, 1.0f), 0); // touching is not enough
    EXPECT_EQ(bz_Segment_SphereTouch(&a, &b, &centre, 1.01f), 1);
    EXPECT_EQ(bz_Segment_SphereTouch(&a, &b, &far, 1.01f), 0);
    EXPECT_EQ(bz_Line_SphereTouch(&a, &dir, &far, 1.01f), 1);
}

TEST(Geometry, ClosestPointsOfLinesAndSegments)
{
    const bzV3 p1 = {0, 0, 0}, d1 = {1, 0, 0}, p2 = {0, 5, 3}, d2 = {0, 1, 0};
    bzV3 q1, q2;
    float s, t;
    EXPECT_NEAR(bz_Line_LineClosest(&p1, &d1, &p2, &d2, &q1, &q2, &s, &t), 3.0f, 1e-6f);
    EXPECT_TRUE(V3Near(q1, bzV3{0, 0, 0}, 1e-6f));
    EXPECT_TRUE(V3Near(q2, bzV3{0, 0, 3}, 1e-6f));
    EXPECT_NEAR(t, -5.0f, 1e-6f);
    // The sign follows (p2 - p1).(d1 x d2).
    EXPECT_NEAR(bz_Line_LineClosest(&p1, &d2, &p2, &d1, nullptr, nullptr, nullptr, nullptr), -3.0f,
                1e-6f);
    // Parallel lines: p1 and its foot on the second line, even for a direction not of unit length.
    const bzV3 d3 = {4, 0, 0}, p3 = {7, 2, 0};
    EXPECT_NEAR(bz_Line_LineClosest(&p1, &d3, &p3, &d3, &q1, &q2, nullptr, nullptr), 2.0f, 1e-6f);
    EXPECT_TRUE(V3Near(q2, bzV3{0, 2, 0}, 1e-6f));

    struct Case
    {
        bzV3 a1, b1, a2, b2;
        float dist;
        bzV3 q1, q2;
    };
    const Case cases[] = {
        // Crossing at a distance of 1.
        {{-1, 0, 0}, {1, 0, 0}, {0, -1, 1}, {0, 1, 1}, 1, {0, 0, 0}, {0, 0, 1}},
        // The second segment stops short: its end and the nearest point of the first.
        {{-1, 0, 0}, {1, 0, 0}, {0, 2, 1}, {0, 4, 1}, std::sqrt(5.0f), {0, 0, 0}, {0, 2, 1}},
        // Both outside: end to end.
        {{-3, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, 3, 0}, std::sqrt(2.0f), {-1, 0, 0}, {0, 1, 0}},
        // Parallel: a1 and its distance from the second line.
        {{0, 0, 0}, {1, 0, 0}, {5, 2, 0}, {8, 2, 0}, 2, {0, 0, 0}, {0, 2, 0}},
    };
    for (const Case &c : cases)
    {
        EXPECT_NEAR(bz_Segment_SegmentClosest(&c.a1, &c.b1, &c.a2, &c.b2, &q1, &q2), c.dist, 1e-5f);
        EXPECT_TRUE(V3Near(q1, c.q1, 1e-5f));
        EXPECT_TRUE(V3Near(q2, c.q2, 1e-5f));
    }
}

TEST(Geometry, TriangleClosestPoint)
{
    const bzV3 a = {0, 0, 0}, b = {2, 0, 0}, c = {0, 2, 0};
    struct Case
    {
        bzV3 p, want;
    };
    const Case cases[] = {
        {{0.5f, 0.5f, 3}, {0.5f, 0.5f, 0}}, // above the inside
        {{-1, 1, 0}, {0, 1, 0}},            // beside edge a-c
        {{1, -1, 1}, {1, 0, 0}},            // beside edge a-b
        {{2, 2, 0}, {1, 1, 0}},             // beyond edge b-c
        {{-1, 5, 0}, {0, 2, 0}},            // beyond c
        {{5, -1, 0}, {2, 0, 0}},            // beyond b
    };
    for (const Case &k : cases)
    {
        bzV3 out;
        const float dist = bz_Triangle_ClosestPoint(&k.p, &a, &b, &c, &out);
        EXPECT_TRUE(V3Near(out, k.want, 1e-5f)) << k.p.x << " " << k.p.y;
        EXPECT_NEAR(dist, bz_V3_Distance(&out, &k.p), 1e-5f);
    }
    // A flat triangle falls back to its edges rather than dividing by zero.
    const bzV3 d = {4, 0, 0}, p = {1, 3, 0};
    bzV3 out;
    EXPECT_NEAR(bz_Triangle_ClosestPoint(&p, &a, &b, &d, &out), 3.0f, 1e-5f);
    EXPECT_TRUE(V3Near(out, bzV3{1, 0, 0}, 1e-5f));
}

TEST(Geometry, TwoDimensionalTests)
{
    const bzV2 a = {0, 0}, b = {4, 0}, c = {0, 4};
    struct Case
    {
        bzV2 p;
        int32_t inside;
    };
    const Case cases[] = {
        {{1, 1}, 1}, {{3, 3}, 0}, {{-1, 1}, 0}, {{1, -0.5f}, 0}, {{0.1f, 3.8f}, 1}};
    for (const Case &k : cases)
        EXPECT_EQ(bz_PointInTriangle2D(&k.p, &a, &b, &c), k.inside) << k.p.x << " " << k.p.y;

    const bzV2 p = {0, 2}, q = {4, 2}, r = {2, -1}, s = {2, 5}, t = {2, 2};
    EXPECT_EQ(bz_Segment2D_Cross(&p, &q, &r, &s), 1);
    EXPECT_EQ(bz_Segment2D_Cross(&p, &q, &a, &b), 0); // parallel
    EXPECT_EQ(bz_Segment2D_Cross(&p, &q, &t, &s), 0); // meeting at an end point
    EXPECT_EQ(bz_Segment2D_Cross(&p, &t, &r, &s), 0); // ending on the other one
}

TEST(Geometry, ConeContainsItsAxisButNotItsRim)
{
    const bzV3 origin = {0, 0, 0}, dir = {0, 0, 1};
    struct Case
    {
        bzV3 p;
        int32_t inside;
        float h;
    };
    const Case cases[] = {{{0, 0, 1}, 1, 1},         {{0.9f, 0, 1}, 1, 1},    {{1.6f, 0, 1}, 0, 1},
                          {{0, 0, -0.1f}, 0, -0.1f}, {{0, 0, 2.1f}, 0, 2.1f}, {{1.5f, 0, 1}, 0, 1}};
    for (const Case &c : cases)
    {
        float h = -5;
        // Radius 1 at the origin, 2 at length 2: 1.5 at height 1.
        EXPECT_EQ(bz_Cone_PointInside(&c.p, &origin, &dir, &h, 1.0f, 2.0f, 2.0f), c.inside);
        EXPECT_NEAR(h, c.h, 1e-6f);
    }
}

TEST(Geometry, RaysMoveBetweenFrames)
{
    MathsRandom rnd(3);
    const bzM34 m = rnd.Rotation(true);
    const bzRay ray = {{1, 2, 3}, {0.5f, -1, 2}, 1};
    bzRay world, local;
    bz_Ray_Transform(&m, &ray, &world);
    bz_Ray_ToLocal(&m, &world, &local);
    EXPECT_TRUE(V3Near(local.origin, ray.origin, 1e-5f));
    EXPECT_TRUE(V3Near(local.delta, ray.delta, 1e-5f));
    EXPECT_EQ(local.flag, 1);
    bzRay copy;
    bz_Ray_Copy(&world, &copy);
    bz_Ray_TransformInPlace(&m, &copy);
    bz_Ray_Transform(&m, &world, &world);
    EXPECT_TRUE(V3Near(copy.origin, world.origin, 0.0f));
}
} // namespace
