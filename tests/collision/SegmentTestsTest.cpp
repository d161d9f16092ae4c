// Segment and point tests against hand-worked tables and double-precision oracles.
#include "collision/CollisionTolerance.h"
#include "collision/SegmentTests.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

namespace
{
bzV3 V(float x, float y, float z)
{
    return bzV3{{{x, y, z}}};
}

const bzBox kUnitBox = {V(0, 0, 0), V(1, 1, 1)};

struct BoxCase
{
    const char *name;
    bzV3 start, end;
    int32_t code;
    float t;
    bzV3 hit;
};

TEST(SegmentAlignedBox, HandWorkedCases)
{
    const BoxCase cases[] = {
        {"enters the min x face", V(-1, 0.5f, 0.5f), V(1, 0.5f, 0.5f), 5, 0.5f, V(0, 0.5f, 0.5f)},
        {"enters the max y face", V(0.5f, 3, 0.5f), V(0.5f, -1, 0.5f), 2, 0.5f, V(0.5f, 1, 0.5f)},
        {"enters the min z face", V(0.5f, 0.5f, -2), V(0.5f, 0.5f, 2), 7, 0.5f, V(0.5f, 0.5f, 0)},
        {"starts inside moving out", V(0.5f, 0.5f, 0.5f), V(9, 9, 9), -1, -1, V(0.5f, 0.5f, 0.5f)},
        {"starts on a face", V(1, 0.5f, 0.5f), V(2, 0.5f, 0.5f), -1, -1, V(1, 0.5f, 0.5f)},
        {"zero-length inside", V(0.2f, 0.2f, 0.2f), V(0.2f, 0.2f, 0.2f), -1, -1,
         V(0.2f, 0.2f, 0.2f)},
        {"enters exactly at its end", V(-1, 0.5f, 0.5f), V(0, 0.5f, 0.5f), 5, 1.0f,
         V(0, 0.5f, 0.5f)},
        {"entry parameter 1.0001", V(-1.0001f, 0.5f, 0.5f), V(-0.0001f, 0.5f, 0.5f), 0, 0, {}},
        {"passes beside", V(-1, 2, 0.5f), V(2, 2, 0.5f), 0, 0, {}},
        {"outside a slab without moving on it", V(-1, 2, 0.5f), V(2, 2, 0.6f), 0, 0, {}},
        {"moving away", V(-1, 0.5f, 0.5f), V(-2, 0.5f, 0.5f), 0, 0, {}},
        {"zero-length outside", V(-1, 0.5f, 0.5f), V(-1, 0.5f, 0.5f), 0, 0, {}},
        // x and y entries tie at t = 0.5: the lower axis wins.
        {"tie keeps x", V(-1, -1, 0.5f), V(1, 1, 0.5f), 5, 0.5f, V(0, 0, 0.5f)},
        {"grazes an edge", V(-1, 1, 0.5f), V(1, 1, 0.5f), 5, 0.5f, V(0, 1, 0.5f)},
        {"not a number", V(NAN, 0.5f, 0.5f), V(1, 0.5f, 0.5f), 0, 0, {}},
        {"infinite end", V(-1, 0.5f, 0.5f), V(INFINITY, 0.5f, 0.5f), 0, 0, {}},
    };
    for (const BoxCase &c : cases)
    {
        bzV3 hit = V(7, 7, 7);
        float t = 7.0f;
        EXPECT_EQ(bz_Segment_AlignedBox(&c.start, &c.end, &kUnitBox, &hit, &t), c.code) << c.name;
        if (c.code > 0)
        {
            EXPECT_FLOAT_EQ(t, c.t) << c.name;
        }
        if (c.code != 0)
            for (int i = 0; i < 3; i++)
            {
                EXPECT_FLOAT_EQ(hit.v[i], c.hit.v[i]) << c.name;
            }
        if (c.code == 0)
        {
            EXPECT_EQ(t, 7.0f) << c.name << ": t written on a miss";
        }
    }
}

// Entry parameter and face code of a segment outside the box by the slab method in double;
// code 0 for a miss. near is set when the answer sits within eps of a decision boundary.
int DoubleSlab(const bzV3 &s, const bzV3 &e, const bzBox &box, double *tOut, bool *near)
{
    const double eps = 1e-4;
    double tin = -1e30, tout = 1e30;
    int axisIn = -1;
    bool minIn = false;
    *near = false;
    for (int i = 0; i < 3; i++)
    {
        const double p = s.v[i], d = double(e.v[i]) - s.v[i];
        const double lo = box.min.v[i], hi = box.max.v[i];
        if (std::fabs(d) < 1e-9)
        {
            if (p < lo || p > hi)
                return 0;
            continue;
        }
        double t0 = (lo - p) / d, t1 = (hi - p) / d;
        bool minFirst = true;
        if (t0 > t1)
        {
            std::swap(t0, t1);
            minFirst = false;
        }
        if (std::fabs(t0 - tin) < eps)
            *near = true;
        if (t0 > tin)
        {
            tin = t0;
            axisIn = i;
            minIn = minFirst;
        }
        tout = std::min(tout, t1);
    }
    if (std::fabs(tin - tout) < eps || std::fabs(tin) < eps || std::fabs(tin - 1) < eps)
        *near = true;
    if (tin > tout || tin < 0 || tin > 1 || axisIn < 0)
        return 0;
    *tOut = tin;
    return axisIn + 1 + (minIn ? 4 : 0);
}

TEST(SegmentAlignedBox, RandomSegmentsAgainstDoubleSlabs)
{
    std::mt19937 rng(31);
    std::uniform_real_distribution<float> coord(-3.0f, 3.0f);
    const bzBox box = {V(-1, -0.5f, -0.25f), V(1, 0.5f, 1.5f)};
    int hits = 0, checked = 0;
    for (int n = 0; n < 20000; n++)
    {
        const bzV3 s = V(coord(rng), coord(rng), coord(rng));
        const bzV3 e = V(coord(rng), coord(rng), coord(rng));
        bool inside = true;
        for (int i = 0; i < 3; i++)
            inside = inside && s.v[i] >= box.min.v[i] && s.v[i] <= box.max.v[i];
        bzV3 hit;
        float t = 0;
        const int32_t code = bz_Segment_AlignedBox(&s, &e, &box, &hit, &t);
        if (inside)
        {
            EXPECT_EQ(code, -1);
            continue;
        }
        double tRef = 0;
        bool near = false;
        const int ref = DoubleSlab(s, e, box, &tRef, &near);
        if (near)
            continue;
        checked++;
        ASSERT_EQ(code, ref) << n;
        if (ref > 0)
        {
            hits++;
            EXPECT_NEAR(t, tRef, 1e-4) << n;
        }
    }
    EXPECT_GT(hits, 500);
    EXPECT_GT(checked, 15000);
}

// The segment against an aligned box worked one axis at a time: the slab test the engine's
// routine must agree with bit for bit.
int32_t ScalarSegmentBox(const bzV3 *start, const bzV3 *end, const bzBox *box, bzV3 *hitOut,
                         float *tOut)
{
    for (const bzV3 *p : {start, end})
        if (!std::isfinite(p->x) || !std::isfinite(p->y) || !std::isfinite(p->z))
            return 0;
    float candidate[3] = {0, 0, 0};
    bool has[3] = {false, false, false}, minFace[3] = {false, false, false};
    bool inside = true;
    for (int i = 0; i < 3; i++)
    {
        if (start->v[i] < box->min.v[i])
        {
            candidate[i] = box->min.v[i];
            has[i] = minFace[i] = true;
        }
        else if (start->v[i] > box->max.v[i])
        {
            candidate[i] = box->max.v[i];
            has[i] = true;
        }
        inside = inside && !has[i];
    }
    if (inside)
    {
        *hitOut = *start;
        return -1;
    }
    const bzV3 d = V(end->x - start->x, end->y - start->y, end->z - start->z);
    float t[3];
    for (int i = 0; i < 3; i++)
        t[i] = has[i] && d.v[i] != 0.0f ? (candidate[i] - start->v[i]) / d.v[i] : -1.0f;
    int axis = t[0] < t[1] ? 1 : 0;
    if (t[axis] < t[2])
        axis = 2;
    const float best = t[axis];
    if (best < 0.0f || best > 1.0f)
        return 0;
    bzV3 hit;
    for (int i = 0; i < 3; i++)
    {
        hit.v[i] = i == axis ? candidate[i] : start->v[i] + best * d.v[i];
        if (i != axis && (hit.v[i] < box->min.v[i] || hit.v[i] > box->max.v[i]))
            return 0;
    }
    *tOut = best;
    *hitOut = hit;
    return axis + 1 + (minFace[axis] ? 4 : 0);
}

// Random segments, many of them ending on a face, lying in a face's plane, standing still along
// an axis or not finite, against boxes that are sometimes flat: the engine's routine gives the
// slab test's code, time and hit bit for bit, and leaves its outputs alone when it finds nothing.
TEST(SegmentAlignedBox, GivesTheScalarSlabTestBitForBit)
{
    std::mt19937 rng(2718);
    std::uniform_real_distribution<float> coord(-2.0f, 2.0f), unit(0.0f, 1.0f);
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    int32_t codes[10] = {};
    for (int n = 0; n < 40000; n++)
    {
        bzBox box = {V(-1, -0.5f, -0.25f), V(1, 0.5f, 1.5f)};
        if (unit(rng) < 0.1f)
            box.max.v[n % 3] = box.min.v[n % 3]; // flat along one axis
        bzV3 s = V(coord(rng), coord(rng), coord(rng)), e = V(coord(rng), coord(rng), coord(rng));
        for (int i = 0; i < 3; i++)
        {
            const float pick = unit(rng);
            if (pick < 0.08f)
                e.v[i] = box.min.v[i]; // ends on a face's plane
            else if (pick < 0.16f)
                s.v[i] = box.max.v[i];
            else if (pick < 0.24f)
                e.v[i] = s.v[i]; // no movement along this axis
        }
        const float odd = unit(rng);
        if (odd < 0.01f)
            s.v[n % 3] = nan;
        else if (odd < 0.02f)
            e.v[n % 3] = odd < 0.015f ? inf : -inf;
        bzV3 hitA = V(7, 7, 7), hitB = V(7, 7, 7);
        float tA = 9.0f, tB = 9.0f;
        const int32_t got = bz_Segment_AlignedBox(&s, &e, &box, &hitA, &tA);
        const int32_t want = ScalarSegmentBox(&s, &e, &box, &hitB, &tB);
        ASSERT_EQ(got, want) << n;
        ASSERT_EQ(std::bit_cast<uint32_t>(tA), std::bit_cast<uint32_t>(tB)) << n;
        for (int i = 0; i < 3; i++)
            ASSERT_EQ(std::bit_cast<uint32_t>(hitA.v[i]), std::bit_cast<uint32_t>(hitB.v[i]))
                << n << " axis " << i;
        codes[want + 1]++;
    }
    // Misses, starts inside and hits on both faces of every axis all came up.
    EXPECT_GT(codes[0], 1000);
    EXPECT_GT(codes[1], 1000);
    for (int32_t code : {1, 2, 3, 5, 6, 7})
        EXPECT_GT(codes[code + 1], 100) << code;
}

// A box as six planes: +x, -x, +y, -y, +z, -z.
struct BoxHull
{
    bzPlane planes[6];
    bzHull hull{};
    explicit BoxHull(const bzBox &b)
    {
        for (int i = 0; i < 3; i++)
        {
            bzV3 n = V(0, 0, 0);
            n.v[i] = 1;
            planes[2 * i] = {n, b.max.v[i]};
            n.v[i] = -1;
            planes[2 * i + 1] = {n, -b.min.v[i]};
        }
        hull.faceCount = 6;
        hull.planes = planes;
    }
};

TEST(SegmentHull, HandWorkedCases)
{
    BoxHull box(kUnitBox);
    struct Case
    {
        const char *name;
        bzV3 start, end;
        float margin;
        int32_t code;
        float t;
    } cases[] = {
        {"enters -x", V(-1, 0.5f, 0.5f), V(1, 0.5f, 0.5f), 0, 2, 0.5f},
        {"enters +y", V(0.5f, 2, 0.5f), V(0.5f, 0, 0.5f), 0, 3, 0.5f},
        {"enters at its end", V(-1, 0.5f, 0.5f), V(0, 0.5f, 0.5f), 0, 2, 1.0f},
        {"stops 0.0001 short", V(-1.0001f, 0.5f, 0.5f), V(-0.0001f, 0.5f, 0.5f), 0, 0, 2.0f},
        {"inside", V(0.5f, 0.5f, 0.5f), V(3, 3, 3), 0, -1, 0.0f},
        {"within the margin outside a face", V(-0.05f, 0.5f, 0.5f), V(-2, 0.5f, 0.5f), 0.1f, -1,
         0.0f},
        {"enters the grown face", V(-1, 0.5f, 0.5f), V(1, 0.5f, 0.5f), 0.1f, 2, 0.45f},
        {"parallel outside a face", V(-1, 0.5f, 0.5f), V(-1, 0.7f, 0.5f), 0, 0, 2.0f},
        {"passes beside (leaves y before entering x)", V(-1, 0.5f, 0.5f), V(1, 3, 0.5f), 0, 0,
         2.0f},
        {"moving away", V(-1, 0.5f, 0.5f), V(-3, 0.5f, 0.5f), 0, 0, 2.0f},
        {"zero length outside", V(-1, 0.5f, 0.5f), V(-1, 0.5f, 0.5f), 0, 0, 2.0f},
        {"not a number", V(NAN, 0.5f, 0.5f), V(1, 0.5f, 0.5f), 0, 0, 2.0f},
    };
    for (const Case &c : cases)
    {
        bzV3 hit = V(7, 7, 7);
        float t = 7;
        EXPECT_EQ(bz_Segment_Hull(&c.start, &c.end, &box.hull, c.margin, &hit, &t), c.code)
            << c.name;
        EXPECT_NEAR(t, c.t, 1e-6f) << c.name;
        if (c.code > 0)
        {
            EXPECT_NEAR(hit.x, c.start.x + c.t * (c.end.x - c.start.x), 1e-6f) << c.name;
        }
    }
}

TEST(SegmentHull, RefusesMoreThan512Faces)
{
    // 513 copies of the unit box's planes: the same solid, but too many faces.
    BoxHull box(kUnitBox);
    std::vector<bzPlane> planes(513);
    for (size_t i = 0; i < planes.size(); i++)
        planes[i] = box.planes[i % 6];
    bzHull hull{};
    hull.planes = planes.data();
    const bzV3 s = V(-1, 0.5f, 0.5f), e = V(1, 0.5f, 0.5f);
    bzV3 hit;
    float t = 0;
    hull.faceCount = 512;
    // The last copy of the -x plane wins the tie: index 511.
    EXPECT_EQ(bz_Segment_Hull(&s, &e, &hull, 0, &hit, &t), 512);
    hull.faceCount = 513;
    EXPECT_EQ(bz_Segment_Hull(&s, &e, &hull, 0, &hit, &t), 0);
    EXPECT_EQ(t, 2.0f);
}

// The entry of a segment into a convex solid of planes (Cyrus-Beck in double); -1 for inside,
// 0 for a miss. near marks answers within eps of a decision.
int DoubleConvex(const bzV3 &s, const bzV3 &e, const bzPlane *planes, int count, double *tOut,
                 bool *near)
{
    const double eps = 1e-4;
    double tin = 0, tout = 1;
    int face = -1;
    bool inside = true;
    *near = false;
    for (int i = 0; i < count; i++)
    {
        const bzPlane &p = planes[i];
        const double h = double(p.n.x) * s.x + double(p.n.y) * s.y + double(p.n.z) * s.z - p.d;
        const double nd = double(p.n.x) * (double(e.x) - s.x) +
                          double(p.n.y) * (double(e.y) - s.y) + double(p.n.z) * (double(e.z) - s.z);
        if (std::fabs(h) < eps)
            *near = true;
        if (h > 0)
            inside = false;
        if (std::fabs(nd) < 1e-9)
        {
            if (h > 0)
                return 0;
            continue;
        }
        const double t = -h / nd;
        if (nd < 0)
        {
            if (std::fabs(t - tin) < eps)
                *near = true;
            if (t > tin)
            {
                tin = t;
                face = i;
            }
        }
        else
        {
            if (std::fabs(t - tout) < eps)
                *near = true;
            tout = std::min(tout, t);
        }
    }
    if (inside)
        return -1;
    if (std::fabs(tin - tout) < eps || std::fabs(tin - 1) < eps)
        *near = true;
    if (face < 0 || tin > tout)
        return 0;
    *tOut = tin;
    return face + 1;
}

TEST(SegmentHull, RandomSegmentsAgainstDoubleOracle)
{
    // An octahedron-like solid: eight slanted planes.
    bzPlane planes[8];
    int k = 0;
    for (int sx = -1; sx <= 1; sx += 2)
        for (int sy = -1; sy <= 1; sy += 2)
            for (int sz = -1; sz <= 1; sz += 2)
            {
                const float r = 1.0f / std::sqrt(3.0f);
                planes[k++] = {V(sx * r, sy * r, sz * r), 1.0f};
            }
    bzHull hull{};
    hull.faceCount = 8;
    hull.planes = planes;
    std::mt19937 rng(310);
    std::uniform_real_distribution<float> coord(-4.0f, 4.0f);
    int hits = 0;
    for (int n = 0; n < 20000; n++)
    {
        const bzV3 s = V(coord(rng), coord(rng), coord(rng));
        const bzV3 e = V(coord(rng), coord(rng), coord(rng));
        double tRef = 0;
        bool near = false;
        const int ref = DoubleConvex(s, e, planes, 8, &tRef, &near);
        if (near)
            continue;
        bzV3 hit;
        float t = 0;
        const int32_t code = bz_Segment_Hull(&s, &e, &hull, 0.0f, &hit, &t);
        ASSERT_EQ(code, ref) << n;
        if (ref > 0)
        {
            hits++;
            EXPECT_NEAR(t, tRef, 1e-4) << n;
        }
    }
    EXPECT_GT(hits, 500);
}

bzSphereShape MakeSphere(bzV3 c, float r)
{
    bzSphereShape s{};
    s.kind = BZ_SHAPE_SPHERE;
    s.centre = c;
    s.radius = r;
    s.radiusSquared = r * r;
    return s;
}

TEST(SegmentSphere, HandWorkedCases)
{
    const bzSphereShape sphere = MakeSphere(V(0, 0, 0), 1);
    struct Case
    {
        const char *name;
        bzV3 start, end;
        int32_t code;
        float t;
        bzV3 normal;
    } cases[] = {
        {"straight in", V(-3, 0, 0), V(1, 0, 0), 1, 0.5f, V(1, 0, 0)},
        {"grazes the top", V(-3, 1, 0), V(3, 1, 0), 1, 0.5f, V(0, -1, 0)},
        {"enters at its end", V(0, 0, 3), V(0, 0, 1), 1, 1.0f, V(0, 0, -1)},
        {"stops short", V(0, 0, 3), V(0, 0, 1.001f), 0, 0, {}},
        {"strictly inside", V(0.5f, 0, 0), V(5, 0, 0), -1, 0, {}},
        {"on the surface is not inside", V(1, 0, 0), V(3, 0, 0), 0, 0, {}},
        {"zero-length outside", V(3, 0, 0), V(3, 0, 0), 0, 0, {}},
        {"misses", V(-3, 1.01f, 0), V(3, 1.01f, 0), 0, 0, {}},
        {"not a number", V(NAN, 0, 0), V(3, 0, 0), 0, 0, {}},
    };
    for (const Case &c : cases)
    {
        float t = 7;
        bzV3 hit = V(7, 7, 7), normal = V(7, 7, 7);
        EXPECT_EQ(bz_Segment_Sphere(&c.start, &c.end, &sphere, &t, &hit, &normal), c.code)
            << c.name;
        if (c.code == 1)
        {
            EXPECT_NEAR(t, c.t, 1e-5f) << c.name;
            for (int i = 0; i < 3; i++)
            {
                EXPECT_NEAR(normal.v[i], c.normal.v[i], 1e-4f) << c.name;
            }
        }
    }
}

TEST(SegmentSphere, RandomSegmentsAgainstDoubleOracle)
{
    std::mt19937 rng(3101);
    std::uniform_real_distribution<float> coord(-3.0f, 3.0f);
    std::uniform_real_distribution<float> radius(0.2f, 1.5f);
    int hits = 0;
    for (int n = 0; n < 20000; n++)
    {
        const bzSphereShape sphere =
            MakeSphere(V(coord(rng) * 0.3f, coord(rng) * 0.3f, coord(rng) * 0.3f), radius(rng));
        const bzV3 s = V(coord(rng), coord(rng), coord(rng));
        const bzV3 e = V(coord(rng), coord(rng), coord(rng));
        double w[3], d[3];
        for (int i = 0; i < 3; i++)
        {
            w[i] = double(s.v[i]) - sphere.centre.v[i];
            d[i] = double(e.v[i]) - s.v[i];
        }
        const double a = d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
        const double b = 2 * (w[0] * d[0] + w[1] * d[1] + w[2] * d[2]);
        const double c = w[0] * w[0] + w[1] * w[1] + w[2] * w[2] - double(sphere.radiusSquared);
        if (std::fabs(c) < 1e-4)
            continue;
        int ref = 0;
        double tRef = 0;
        if (c < 0)
            ref = -1;
        else if (b * b - 4 * a * c >= 0)
        {
            tRef = (-b - std::sqrt(b * b - 4 * a * c)) / (2 * a);
            if (std::fabs(tRef) < 1e-4 || std::fabs(tRef - 1) < 1e-4 ||
                std::fabs(b * b - 4 * a * c) < 1e-3)
                continue;
            ref = tRef >= 0 && tRef <= 1 ? 1 : 0;
        }
        float t = 0;
        bzV3 hit, normal;
        ASSERT_EQ(bz_Segment_Sphere(&s, &e, &sphere, &t, &hit, &normal), ref) << n;
        if (ref == 1)
        {
            hits++;
            EXPECT_NEAR(t, tRef, 1e-4) << n;
        }
    }
    EXPECT_GT(hits, 1000);
}

TEST(SphereAlignedBox, ClampsAndCompares)
{
    struct Case
    {
        bzV3 centre;
        float r2;
        int32_t result;
        bzV3 closest;
    } cases[] = {
        {V(0.5f, 0.5f, 0.5f), 0.0f, 1, V(0.5f, 0.5f, 0.5f)},
        {V(2, 0.5f, 0.5f), 1.0f, 1, V(1, 0.5f, 0.5f)}, // exactly at the radius
        {V(2, 0.5f, 0.5f), 0.99f, 0, V(1, 0.5f, 0.5f)},
        {V(-1, -1, 0.5f), 2.0f, 1, V(0, 0, 0.5f)}, // corner region
        {V(1, 1, 1), 0.0f, 1, V(1, 1, 1)},         // on the max corner
        {V(3, 3, 3), 11.9f, 0, V(1, 1, 1)},
    };
    for (const auto &c : cases)
    {
        bzV3 q;
        EXPECT_EQ(bz_Sphere_AlignedBox(&c.centre, &kUnitBox, c.r2, &q), c.result);
        for (int i = 0; i < 3; i++)
        {
            EXPECT_FLOAT_EQ(q.v[i], c.closest.v[i]);
        }
    }
}

TEST(PointNearSegment, DistanceAndParameterLimits)
{
    const bzV3 a = V(0, 0, 0), b = V(4, 0, 0);
    struct Case
    {
        bzV3 p;
        float r;
        int32_t result;
    } cases[] = {
        {V(2, 1, 0), 1.0f, 1},                          // exactly at the radius
        {V(2, 1, 0), 0.99f, 0},  {V(0, 0.5f, 0), 1, 1}, // projection at 0
        {V(4, 0.5f, 0), 1, 1},                          // projection at 1
        {V(-0.01f, 0, 0), 1, 0},                        // beyond the start, although near
        {V(4.01f, 0, 0), 1, 0},
    };
    for (const auto &c : cases)
    {
        EXPECT_EQ(bz_Point_NearSegment(&a, &b, &c.p, c.r), c.result);
    }
    const bzV3 p = V(0, 0, 0);
    EXPECT_EQ(bz_Point_NearSegment(&a, &a, &p, 1.0f), 0) << "a segment of no length";
}

TEST(PointInSphereShell, WritesOnlyInsideTheShell)
{
    const bzV3 centre = V(0, 0, 0);
    struct Case
    {
        bzV3 p;
        bool writes;
    } cases[] = {
        {V(1, 0, 0), false},                                // exactly on the sphere
        {V(1.005f, 0, 0), true},                            // within the tolerance
        {V(0, 0, -1.009f), true}, {V(1.011f, 0, 0), false}, // past the shell
        {V(0.5f, 0, 0), false},                             // inside
    };
    for (const auto &c : cases)
    {
        bzV3 n = V(7, 7, 7);
        float flag = 7;
        bz_Point_InSphereShell(&c.p, &centre, 1.0f, &n, &flag);
        if (c.writes)
        {
            EXPECT_EQ(flag, 1.0f);
            const float len = std::sqrt(c.p.x * c.p.x + c.p.y * c.p.y + c.p.z * c.p.z);
            for (int i = 0; i < 3; i++)
            {
                EXPECT_NEAR(n.v[i], -c.p.v[i] / len, 1e-6f);
            }
        }
        else
        {
            EXPECT_EQ(flag, 7.0f);
            EXPECT_EQ(n.x, 7.0f);
        }
    }
}

TEST(SegmentsCross, WithinTheTolerance)
{
    struct Case
    {
        const char *name;
        bzV3 s1, e1, s2, e2;
        int32_t result;
    } cases[] = {
        {"cross in the middle", V(-1, 0, 0), V(1, 0, 0), V(0, -1, 0.005f), V(0, 1, 0.005f), 1},
        {"too far apart", V(-1, 0, 0), V(1, 0, 0), V(0, -1, 0.011f), V(0, 1, 0.011f), 0},
        {"at both ends", V(0, 0, 0), V(1, 0, 0), V(1, 0, 0), V(1, 1, 0), 1},
        {"past the second's end", V(-1, 0, 0), V(1, 0, 0), V(0, 0.1f, 0), V(0, 1, 0), 0},
        {"past the first's end", V(-1, 0, 0), V(-0.1f, 0, 0), V(0, -1, 0), V(0, 1, 0), 0},
        {"parallel", V(0, 0, 0), V(1, 0, 0), V(0, 0.001f, 0), V(1, 0.001f, 0), 0},
        {"degenerate", V(0, 0, 0), V(0, 0, 0), V(0, -1, 0), V(0, 1, 0), 0},
    };
    for (const Case &c : cases)
    {
        EXPECT_EQ(bz_SegmentsCross(&c.s1, &c.e1, &c.s2, &c.e2), c.result) << c.name;
    }
}

TEST(QuadraticRootsInUnit, HandWorkedCases)
{
    struct Case
    {
        const char *name;
        float a, b, c;
        int32_t count;
        float r0, r1;
    } cases[] = {
        {"t^2 - 1", 1, 0, -1, 1, 1.0f, 0},
        {"t^2 - t", 1, -1, 0, 2, 0.0f, 1.0f},
        {"(t - 0.25)(t - 0.75)", 1, -1, 0.1875f, 2, 0.25f, 0.75f},
        {"double root 0.5", 1, -1, 0.25f, 2, 0.5f, 0.5f},
        {"no real root", 1, 0, 1, 0, 0, 0},
        {"both roots beyond 1", 1, -5, 6, 0, 0, 0},
        {"one root below 0", 1, 0.5f, -0.5f, 1, 0.5f, 0},
        {"linear", 0, 2, -1, 1, 0.5f, 0},
        {"all zero", 0, 0, 0, 0, 0, 0},
        {"negative leading", -1, 1, -0.1875f, 2, 0.25f, 0.75f},
    };
    for (const Case &c : cases)
    {
        float roots[2] = {7, 7};
        const int32_t n = bz_Quadratic_RootsInUnit(roots, c.a, c.b, c.c);
        ASSERT_EQ(n, c.count) << c.name;
        if (n > 0)
        {
            EXPECT_NEAR(roots[0], c.r0, 1e-3f) << c.name;
        }
        if (n > 1)
        {
            EXPECT_NEAR(roots[1], c.r1, 1e-3f) << c.name;
        }
    }
}

TEST(QuadraticRootsInUnit, NearlyLinearAgainstDoubleReference)
{
    // b^2 just above 1000 |4ac| up to far above: the small root against the exact one.
    std::mt19937 rng(311);
    std::uniform_real_distribution<float> root(0.02f, 0.98f);
    std::uniform_real_distribution<float> ratio(1.0f, 50.0f);
    std::uniform_real_distribution<float> sign(-1.0f, 1.0f);
    for (int n = 0; n < 5000; n++)
    {
        // a t^2 + b t + c with a root at r: pick b, a from b^2 = k 4000 |a c|.
        const float r = root(rng);
        const float b = sign(rng) < 0 ? -1.0f : 1.0f;
        const float k = ratio(rng);
        const float sa = sign(rng) < 0 ? -1.0f : 1.0f;
        // c = -(a r^2 + b r); choose a = sa * b^2 / (4000.5 k |c|) iteratively from c ~ -b r.
        const float c0 = -b * r;
        const float a = sa * b * b / (4000.5f * k * std::fabs(c0));
        const float c = -(a * r * r + b * r);
        if (!(b * b > 1000.0f * std::fabs(4.0f * a * c)))
            continue;
        const double disc = double(b) * b - 4.0 * double(a) * c;
        // The root near -c/b, computed without cancellation.
        const double q = -0.5 * (b + (b > 0 ? 1 : -1) * std::sqrt(disc));
        const double small = c / q;
        float roots[2];
        const int32_t count = bz_Quadratic_RootsInUnit(roots, a, b, c);
        ASSERT_GE(count, 1) << n;
        EXPECT_NEAR(roots[0], small, 2e-7 + 4e-7 * std::fabs(small)) << n << " a " << a;
    }
}

TEST(QuadraticRootsInUnit, RandomRootsAgainstDoubleOracle)
{
    std::mt19937 rng(3102);
    std::uniform_real_distribution<float> root(-0.5f, 1.5f);
    std::uniform_real_distribution<float> scale(0.1f, 10.0f);
    for (int n = 0; n < 20000; n++)
    {
        const double r1 = root(rng), r2 = root(rng), s = scale(rng);
        const float a = float(s), b = float(-s * (r1 + r2)), c = float(s * r1 * r2);
        // Roots of the float coefficients, in double.
        const double disc = double(b) * b - 4.0 * double(a) * c;
        if (disc < 1e-3)
            continue;
        double lo = (-b - std::sqrt(disc)) / (2.0 * a), hi = (-b + std::sqrt(disc)) / (2.0 * a);
        bool near = false;
        for (double x : {lo, hi})
            near = near || std::fabs(x) < 1e-4 || std::fabs(x - 1) < 1e-4;
        if (near)
            continue;
        float want[2];
        int count = 0;
        for (double x : {lo, hi})
            if (x >= 0 && x <= 1)
                want[count++] = float(x);
        float roots[2];
        ASSERT_EQ(bz_Quadratic_RootsInUnit(roots, a, b, c), count) << n;
        for (int i = 0; i < count; i++)
        {
            EXPECT_NEAR(roots[i], want[i], 1e-4) << n;
        }
    }
}

TEST(SegmentTicTacSide, SideOnly)
{
    bzTicTacShape c{};
    c.kind = BZ_SHAPE_TIC_TAC;
    c.segmentStart = V(0, 0, 0);
    c.segmentEnd = V(4, 0, 0);
    c.radius = 1;
    struct Case
    {
        const char *name;
        bzV3 s, e;
        int32_t result;
        float t;
    } cases[] = {
        {"onto the side", V(2, 3, 0), V(2, -1, 0), 1, 0.5f},
        {"at the axis start", V(0, 3, 0), V(0, -1, 0), 1, 0.5f},
        {"at the axis end (not included)", V(4, 3, 0), V(4, -1, 0), 0, 0},
        {"beyond the end: caps are not part of it", V(4.5f, 3, 0), V(4.5f, -1, 0), 0, 0},
        {"stops short", V(2, 3, 0), V(2, 1.01f, 0), 0, 0},
        {"starts inside", V(2, 0.5f, 0), V(2, 3, 0), 0, 0},
        {"along the axis", V(-3, 0.5f, 0), V(-1, 0.5f, 0), 0, 0},
        {"not a number", V(NAN, 3, 0), V(2, -1, 0), 0, 0},
    };
    for (const Case &k : cases)
    {
        bzV3 hit;
        float t = -7;
        EXPECT_EQ(bz_Segment_TicTacSide(&k.s, &k.e, &c, &hit, &t), k.result) << k.name;
        if (k.result)
        {
            EXPECT_NEAR(t, k.t, 1e-6f) << k.name;
            EXPECT_NEAR(hit.y, 1.0f, 1e-5f) << k.name;
        }
    }
}

TEST(DiscFace, FootEdgeAndMisses)
{
    // The floor triangle (0,0,0), (4,0,0), (0,0,4), normal +y.
    bzCollisionFace f{};
    f.normal = V(0, 1, 0);
    f.corners[0] = V(0, 0, 0);
    f.corners[1] = V(4, 0, 0);
    f.corners[2] = V(0, 0, 4);
    const bzV3 wheelAxis = V(1, 0, 0); // a wheel standing up, rolling along z
    bzV3 point, normal;
    // Standing on the face, centre 0.9 above it with radius 1: the chord crosses the foot.
    const bzV3 c = V(1, 0.9f, 1);
    ASSERT_EQ(bz_Disc_Face(&f, &c, &wheelAxis, 1.0f, &point, &normal), 1);
    EXPECT_NEAR(point.x, 1, 1e-6f);
    EXPECT_NEAR(point.y, 0, 1e-6f);
    EXPECT_NEAR(point.z, 1, 1e-6f);
    EXPECT_EQ(normal.y, 1.0f);
    // Too high above the face, and lying flat (parallel planes).
    const bzV3 high = V(1, 1.1f, 1), up = V(0, 1, 0);
    EXPECT_EQ(bz_Disc_Face(&f, &high, &wheelAxis, 1.0f, &point, &normal), 0);
    EXPECT_EQ(bz_Disc_Face(&f, &c, &up, 1.0f, &point, &normal), 0);
    // Beside the long edge x + z = 4, its foot outside the face but the edge within reach:
    // the wheel at x = 1 meets the edge at (1, 0, 3); its centre above (1, 0.5, 3.5).
    const bzV3 side = V(1, 0.5f, 3.5f);
    ASSERT_EQ(bz_Disc_Face(&f, &side, &wheelAxis, 1.0f, &point, &normal), 1);
    EXPECT_NEAR(point.z, 3.0f, 1e-5f);
    EXPECT_NEAR(normal.x, std::sqrt(0.5f), 1e-5f);
    EXPECT_NEAR(normal.z, std::sqrt(0.5f), 1e-5f);
    // The same, further out: the edge is out of reach.
    const bzV3 far = V(1, 0.5f, 4.0f);
    EXPECT_EQ(bz_Disc_Face(&f, &far, &wheelAxis, 1.0f, &point, &normal), 0);
    // The disc's plane misses the face.
    const bzV3 off = V(5, 0.5f, 1);
    EXPECT_EQ(bz_Disc_Face(&f, &off, &wheelAxis, 1.0f, &point, &normal), 0);
}

TEST(SphereMovingHull, ApproachingFaceAndSeparation)
{
    // A unit cube whose top rises from y = 1 to y = 3 over the step; the sphere of radius 0.5
    // waits at y = 2.5.
    bzMovingPlane faces[6];
    const bzV3 normals[6] = {V(1, 0, 0),  V(-1, 0, 0), V(0, 1, 0),
                             V(0, -1, 0), V(0, 0, 1),  V(0, 0, -1)};
    const float d0[6] = {1, 0, 1, 0, 1, 0}, d1[6] = {1, 0, 3, 0, 1, 0};
    for (int i = 0; i < 6; i++)
        faces[i] = {{normals[i], d0[i]}, {normals[i], d1[i]}};
    const bzV3 c = V(0.5f, 2.5f, 0.5f);
    float t = -7;
    bzV3 n;
    ASSERT_EQ(bz_Sphere_MovingHull(&c, 0.5f, faces, 6, &t, &n), 1);
    EXPECT_NEAR(t, 0.5f, 1e-6f);
    EXPECT_EQ(n.y, 1.0f);
    // Beside the cube the contact point lies outside a side face.
    const bzV3 beside = V(2.5f, 2.5f, 0.5f);
    EXPECT_EQ(bz_Sphere_MovingHull(&beside, 0.5f, faces, 6, &t, &n), 0);
    // The top rising only to y = 1.5: it still separates them at the end.
    faces[2].end.d = 1.5f;
    EXPECT_EQ(bz_Sphere_MovingHull(&c, 0.5f, faces, 6, &t, &n), 0);
    // Rising to 1.995: within the tolerance at the end, a contact at 1.
    faces[2].end.d = 1.995f;
    ASSERT_EQ(bz_Sphere_MovingHull(&c, 0.5f, faces, 6, &t, &n), 1);
    EXPECT_EQ(t, 1.0f);
    // Inside from the start, and too many faces.
    const bzV3 inside = V(0.5f, 0.5f, 0.5f);
    EXPECT_EQ(bz_Sphere_MovingHull(&inside, 0.1f, faces, 6, &t, &n), 0);
    EXPECT_EQ(bz_Sphere_MovingHull(&c, 0.5f, faces, 513, &t, &n), 0);
}

// The push onto a hull, against the nearest point of the box worked by clamping.
TEST(PointHullPush, FaceEdgeCornerAndInside)
{
    BoxHull box(kUnitBox);
    const float n3 = 1.0f / std::sqrt(3.0f), n2 = 1.0f / std::sqrt(2.0f);
    struct Case
    {
        const char *name;
        bzV3 point;
        float margin;
        int32_t code;
        bzV3 push, normal;
    } cases[] = {
        {"beside the +x face", V(1.05f, 0.5f, 0.5f), 0.1f, 1, V(-0.05f, 0, 0), V(1, 0, 0)},
        {"beside the -z face", V(0.5f, 0.2f, -0.08f), 0.1f, 1, V(0, 0, 0.08f), V(0, 0, -1)},
        {"by the +x+y edge", V(1.05f, 1.05f, 0.5f), 0.1f, 1, V(-0.05f, -0.05f, 0), V(n2, n2, 0)},
        {"by the corner", V(1.05f, 1.05f, 1.05f), 0.1f, 1, V(-0.05f, -0.05f, -0.05f),
         V(n3, n3, n3)},
        // Within the margin of each face plane but 0.121 from the corner.
        {"corner farther than the margin", V(1.07f, 1.07f, 1.07f), 0.1f, 0, V(0, 0, 0), V(0, 0, 0)},
        {"outside a face by more than the margin", V(1.2f, 0.5f, 0.5f), 0.1f, 0, V(0, 0, 0),
         V(0, 0, 0)},
        {"just inside the +x face", V(0.95f, 0.5f, 0.5f), 0.1f, 1, V(0.05f, 0, 0), V(1, 0, 0)},
        {"on the face", V(1, 0.5f, 0.5f), 0.1f, 1, V(0, 0, 0), V(1, 0, 0)},
        {"deeper inside than the margin", V(0.5f, 0.5f, 0.5f), 0.1f, 0, V(0, 0, 0), V(0, 0, 0)},
        {"not a number", V(NAN, 0.5f, 0.5f), 0.1f, 0, V(0, 0, 0), V(0, 0, 0)},
        {"infinite margin", V(1.05f, 0.5f, 0.5f), INFINITY, 0, V(0, 0, 0), V(0, 0, 0)},
        {"negative margin", V(1.05f, 0.5f, 0.5f), -0.1f, 0, V(0, 0, 0), V(0, 0, 0)},
    };
    for (const Case &c : cases)
    {
        bzV3 push = V(7, 7, 7), normal = V(7, 7, 7);
        ASSERT_EQ(bz_Point_HullPush(&c.point, &box.hull, c.margin, &push, &normal), c.code)
            << c.name;
        if (c.code != 1)
            continue;
        for (int i = 0; i < 3; i++)
        {
            EXPECT_NEAR(push.v[i], c.push.v[i], 1e-5f) << c.name << " push " << i;
            EXPECT_NEAR(normal.v[i], c.normal.v[i], 1e-5f) << c.name << " normal " << i;
        }
    }
}

TEST(PointHullPush, NearestPointOfATurnedBoxAgainstClamping)
{
    // A box of extents 2, 1, 0.5 turned about an oblique axis: its planes in the world, the
    // oracle in the box's own frame in double precision.
    const double angle = 0.7;
    double axis[3] = {1, 2, 3};
    const double len = std::sqrt(14.0);
    for (double &a : axis)
        a /= len;
    double rot[3][3]; // rows: the box's axes in the world
    const double c = std::cos(angle), s = std::sin(angle), k = 1 - c;
    const double x = axis[0], y = axis[1], z = axis[2];
    const double m[3][3] = {{c + x * x * k, x * y * k - z * s, x * z * k + y * s},
                            {y * x * k + z * s, c + y * y * k, y * z * k - x * s},
                            {z * x * k - y * s, z * y * k + x * s, c + z * z * k}};
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++)
            rot[i][j] = m[i][j];
    const double half[3] = {1.0, 0.5, 0.25};
    bzPlane planes[6];
    for (int i = 0; i < 3; i++)
    {
        const bzV3 n = V((float)rot[i][0], (float)rot[i][1], (float)rot[i][2]);
        planes[2 * i] = {n, (float)half[i]};
        planes[2 * i + 1] = {V(-n.x, -n.y, -n.z), (float)half[i]};
    }
    bzHull hull{};
    hull.faceCount = 6;
    hull.planes = planes;
    std::mt19937 rng(33u);
    std::uniform_real_distribution<double> u(-1.4, 1.4);
    const double margin = 0.3;
    int pushes = 0, refusals = 0;
    for (int round = 0; round < 2000; round++)
    {
        const double p[3] = {u(rng), u(rng), u(rng)};
        double local[3], clamped[3], distSq = 0, depth = 1e9;
        bool inside = true;
        for (int i = 0; i < 3; i++)
        {
            local[i] = rot[i][0] * p[0] + rot[i][1] * p[1] + rot[i][2] * p[2];
            clamped[i] = std::fmin(std::fmax(local[i], -half[i]), half[i]);
            distSq += (clamped[i] - local[i]) * (clamped[i] - local[i]);
            inside = inside && std::fabs(local[i]) < half[i];
            depth = std::fmin(depth, half[i] - std::fabs(local[i]));
        }
        const double dist = inside ? depth : std::sqrt(distSq);
        // Leave out points too near the margin's edge for float rounding to decide.
        if (std::fabs(dist - margin) < 1e-3)
            continue;
        const bzV3 point = V((float)p[0], (float)p[1], (float)p[2]);
        bzV3 push, normal;
        const int32_t code = bz_Point_HullPush(&point, &hull, (float)margin, &push, &normal);
        if (dist > margin)
        {
            EXPECT_EQ(code, 0) << round;
            refusals++;
            continue;
        }
        ASSERT_EQ(code, 1) << round;
        pushes++;
        const double length =
            std::sqrt((double)push.x * push.x + (double)push.y * push.y + (double)push.z * push.z);
        EXPECT_NEAR(length, dist, 2e-4) << round;
        if (!inside)
        {
            // The pushed point is the clamped point, back in the world.
            for (int j = 0; j < 3; j++)
            {
                const double want =
                    rot[0][j] * clamped[0] + rot[1][j] * clamped[1] + rot[2][j] * clamped[2];
                EXPECT_NEAR(point.v[j] + push.v[j], want, 2e-4) << round << " axis " << j;
            }
        }
    }
    EXPECT_GT(pushes, 100);
    EXPECT_GT(refusals, 100);
}

TEST(PointHullPush, RepeatedPlanesManyPlanesAndTooManyFaces)
{
    // The +x plane twice: the two copies make no edge, and the push is as for the plain box.
    BoxHull box(kUnitBox);
    bzPlane doubled[7];
    for (int i = 0; i < 6; i++)
        doubled[i] = box.planes[i];
    doubled[6] = box.planes[0];
    bzHull hull{};
    hull.faceCount = 7;
    hull.planes = doubled;
    const bzV3 p = V(1.05f, 1.05f, 0.5f);
    bzV3 push, normal;
    ASSERT_EQ(bz_Point_HullPush(&p, &hull, 0.1f, &push, &normal), 1);
    EXPECT_NEAR(push.x, -0.05f, 1e-5f);
    EXPECT_NEAR(push.y, -0.05f, 1e-5f);
    // A thin prism of 40 sides: every plane lies within the margin, more than the search takes.
    std::vector<bzPlane> prism;
    for (int i = 0; i < 40; i++)
    {
        const float a = 6.2831853f * (float)i / 40.0f;
        prism.push_back({V(std::cos(a), std::sin(a), 0), 0.01f});
    }
    prism.push_back({V(0, 0, 1), 1});
    prism.push_back({V(0, 0, -1), 0});
    bzHull thin{};
    thin.faceCount = (int16_t)prism.size();
    thin.planes = prism.data();
    const bzV3 q = V(0.05f, 0, 0.5f);
    push = normal = V(7, 7, 7);
    EXPECT_EQ(bz_Point_HullPush(&q, &thin, 1.0f, &push, &normal), BZ_PUSH_NO_PROGRESS);
    EXPECT_EQ(normal.x, 1.0f);
    EXPECT_EQ(normal.y, 0.0f);
    // 513 copies of the box's planes are refused.
    std::vector<bzPlane> many(513);
    for (size_t i = 0; i < many.size(); i++)
        many[i] = box.planes[i % 6];
    bzHull big{};
    big.faceCount = 513;
    big.planes = many.data();
    const bzV3 r = V(1.05f, 0.5f, 0.5f);
    EXPECT_EQ(bz_Point_HullPush(&r, &big, 0.1f, &push, &normal), 0);
    big.faceCount = 512;
    EXPECT_EQ(bz_Point_HullPush(&r, &big, 0.1f, &push, &normal), BZ_PUSH_NO_PROGRESS);
}
} // namespace
