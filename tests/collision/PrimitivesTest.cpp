// The point, hull and edge primitives of the collision handlers: hand-worked tables with the
// tolerance bounds, the rounded-hull result codes and the resting contacts.
#include "PairTestShapes.h"
#include "collision/CollisionTolerance.h"
#include "collision/EdgePrimitives.h"
#include "collision/HullPrimitives.h"
#include "collision/PointPrimitives.h"
#include "maths/Matrix.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

using namespace pairtest;

namespace
{
// Sets the collision tolerance for one test.
struct ScopedTolerance
{
    float saved = bzCollisionTolerance;
    explicit ScopedTolerance(float t) { bzCollisionTolerance = t; }
    ~ScopedTolerance() { bzCollisionTolerance = saved; }
};

bzCollisionContact FreshRow()
{
    bzCollisionContact row;
    std::memset(&row, 0, sizeof row);
    row.key = 200.0f;
    return row;
}

void ExpectV3(const bzV3 &got, bzV3 want, const char *what, float eps = 1e-5f)
{
    for (int i = 0; i < 3; i++)
        EXPECT_NEAR(got.v[i], want.v[i], eps) << what << " component " << i;
}

TEST(RestingOnEdge, BoundsOfTheShell)
{
    // Tolerance 0.625 and radius 1 make the upper bound (2 x 0.625 + 1) x 1 = 2.25 = 1.5^2
    // exactly, so the boundary can be met on the dot.
    ScopedTolerance tol(0.625f);
    const bzV3 a = V(0, 0, 0), d = V(4, 0, 0);
    struct Case
    {
        const char *name;
        bzV3 p;
        int32_t point, sphere;
    } cases[] = {
        {"exactly at r", V(2, 1, 0), 1, 1},
        {"exactly at the upper bound", V(2, 1.5f, 0), 1, 0},
        {"between", V(2, 0, 1.2f), 1, 1},
        {"inside r", V(2, 0.9f, 0), 0, 0},
        {"beyond the shell", V(2, 1.6f, 0), 0, 0},
        {"at the edge's start", V(0, 1, 0), 1, 1},
        {"before the edge's start", V(-0.01f, 1, 0), 0, 0},
        {"past the edge's end", V(4.01f, 1, 0), 0, 0},
    };
    for (const Case &c : cases)
    {
        bzCollisionContact row = FreshRow();
        EXPECT_EQ(bz_RestingPointOnEdge(&c.p, &a, &d, 1.0f, &row, nullptr), c.point) << c.name;
        if (c.point)
        {
            EXPECT_EQ(row.key, 1.05f) << c.name;
            ExpectV3(row.point, V(c.p.x, 0, 0), c.name);
            const float len = std::sqrt(c.p.y * c.p.y + c.p.z * c.p.z);
            ExpectV3(row.normal, V(0, -c.p.y / len, -c.p.z / len), c.name);
        }
        row = FreshRow();
        EXPECT_EQ(bz_RestingSphereOnEdge(&c.p, &a, &d, 1.0f, &row, nullptr), c.sphere) << c.name;
    }
    const bzV3 p = V(0, 1, 0), none = V(0, 0, 0);
    bzCollisionContact row = FreshRow();
    EXPECT_EQ(bz_RestingPointOnEdge(&p, &a, &none, 1.0f, &row, nullptr), 0);
}

TEST(RestingOnEdge, WritesInTheBodyFrame)
{
    // The body sits at (10, 0, 0) turned a quarter about z: world to body is the inverse.
    bzM34 bodyToWorld = Identity();
    bodyToWorld.row[0] = V(0, 1, 0);
    bodyToWorld.row[1] = V(-1, 0, 0);
    bodyToWorld.row[3] = V(10, 0, 0);
    bzM34 worldToBody;
    bz_InverseM34Into(&bodyToWorld, &worldToBody);
    const bzV3 a = V(0, 0, 0), d = V(4, 0, 0), p = V(2, 1, 0);
    bzCollisionContact row = FreshRow();
    ASSERT_EQ(bz_RestingPointOnEdge(&p, &a, &d, 1.0f, &row, &worldToBody), 1);
    // World point (2, 0, 0) is (0, 8, 0) in the body; world normal (0, -1, 0) is (-1, 0, 0).
    ExpectV3(row.point, V(0, 8, 0), "point");
    ExpectV3(row.normal, V(-1, 0, 0), "normal");
}

// The unit cube as a prepared polyhedron; its hull carries planes, vertices and edges.
struct Cube
{
    FormPtr form = Hull(BZ_SHAPE_POLYHEDRON, BoxPoints(V(0, 0, 0), V(1, 1, 1)));
    const bzHull *hull() const { return bz_Shape_Hull(form->firstShape); }
};

TEST(SegmentAgainstRoundedHull, ResultCodes)
{
    Cube cube;
    const bzHull *hull = cube.hull();
    ASSERT_EQ(hull->faceCount, 6);
    float f;
    bzV3 point, normal;
    // A face: the sphere of radius 0.5 falls onto the top at 0.375.
    {
        const bzV3 a = V(0.5f, 3, 0.5f), d = V(0, -4, 0);
        const int32_t k = bz_SegmentAgainstRoundedHull(&a, &d, 0.3f, 0.2f, hull, 0.1f, nullptr, 0,
                                                       &f, &point, &normal);
        ASSERT_GT(k, 0);
        ExpectV3(hull->planes[k - 1].n, V(0, 1, 0), "entered plane");
        ExpectV3(normal, V(0, 1, 0), "normal");
        EXPECT_NEAR(f, 0.375f, 1e-6f);
        ExpectV3(point, V(0.5f, 1.1f, 0.5f), "point", 1e-4f);
    }
    // An edge: towards the edge x = y = 1 the entry point lies outside the other face, the
    // centre never reaches the unshifted face in the step, and the edge capsule is hit.
    {
        const bzV3 a = V(2, 2, 0.5f), d = V(-0.8f, -0.8f, 0);
        const int32_t k = bz_SegmentAgainstRoundedHull(&a, &d, 0.5f, 0, hull, 0.1f, nullptr, 1, &f,
                                                       &point, &normal);
        EXPECT_EQ(k, -2);
        const float r = std::sqrt(0.5f) * 0.5f; // 0.5 along the diagonal
        EXPECT_NEAR(f, (1.0f - r) / 0.8f, 1e-5f);
        ExpectV3(normal, V(std::sqrt(0.5f), std::sqrt(0.5f), 0), "edge normal", 1e-4f);
        // Without the edge flag the same path finds nothing.
        EXPECT_EQ(bz_SegmentAgainstRoundedHull(&a, &d, 0.5f, 0, hull, 0.1f, nullptr, 0, &f, &point,
                                               &normal),
                  0);
        // Side marks shared by the edge's two vertices keep it out.
        uint32_t marks[8];
        for (uint32_t &m : marks)
            m = 1;
        EXPECT_EQ(bz_SegmentAgainstRoundedHull(&a, &d, 0.5f, 0, hull, 0.1f, marks, 1, &f, &point,
                                               &normal),
                  0);
    }
    // The start inside the hull: -1 with the edge flag, 0 without.
    {
        const bzV3 a = V(0.5f, 0.5f, 0.5f), d = V(0.1f, 0, 0);
        EXPECT_EQ(bz_SegmentAgainstRoundedHull(&a, &d, 0.1f, 0, hull, 0.1f, nullptr, 1, &f, &point,
                                               &normal),
                  -1);
        EXPECT_EQ(bz_SegmentAgainstRoundedHull(&a, &d, 0.1f, 0, hull, 0.1f, nullptr, 0, &f, &point,
                                               &normal),
                  0);
    }
    // A miss, a path along a face outside it, not-a-number and more than 512 planes.
    {
        const bzV3 a = V(3, 3, 3), d = V(1, 0, 0);
        EXPECT_EQ(bz_SegmentAgainstRoundedHull(&a, &d, 0.1f, 0, hull, 0.1f, nullptr, 1, &f, &point,
                                               &normal),
                  0);
        EXPECT_EQ(f, 2.0f);
        const bzV3 b = V(NAN, 3, 0.5f), down = V(0, -4, 0);
        EXPECT_EQ(bz_SegmentAgainstRoundedHull(&b, &down, 0.1f, 0, hull, 0.1f, nullptr, 1, &f,
                                               &point, &normal),
                  0);
        bzHull big = *hull;
        big.faceCount = 513;
        const bzV3 c = V(0.5f, 3, 0.5f);
        EXPECT_EQ(bz_SegmentAgainstRoundedHull(&c, &down, 0.1f, 0, &big, 0.1f, nullptr, 1, &f,
                                               &point, &normal),
                  0);
    }
}

TEST(PointNearHullSurface, NormalsAndMargins)
{
    Cube cube;
    const bzHull *hull = cube.hull();
    bzV3 point, normal;
    struct Case
    {
        const char *name;
        bzV3 p;
        int32_t result;
        bzV3 normal;
    } cases[] = {
        {"within the margin above the top", V(0.5f, 1.05f, 0.5f), 512, V(0, -1, 0)},
        {"beyond the margin", V(0.5f, 1.2f, 0.5f), 0, {}},
        {"outside two faces", V(1.05f, 1.05f, 0.5f), 512, V(-std::sqrt(0.5f), -std::sqrt(0.5f), 0)},
        {"inside, nearest the -z face", V(0.5f, 0.4f, 0.1f), 512, V(0, 0, 1)},
        {"not a number", V(NAN, 0.5f, 0.5f), 0, {}},
    };
    for (const Case &c : cases)
    {
        EXPECT_EQ(bz_PointNearHullSurface(&c.p, hull, 0.1f, &point, &normal), c.result) << c.name;
        if (c.result)
        {
            ExpectV3(normal, c.normal, c.name);
            ExpectV3(point, c.p, c.name);
        }
    }
    bzHull big = *hull;
    big.faceCount = 513;
    const bzV3 p = V(0.5f, 1.05f, 0.5f);
    EXPECT_EQ(bz_PointNearHullSurface(&p, &big, 0.1f, &point, &normal), 0);
}

TEST(PointInHullNormal, EntryStartInsideAndRest)
{
    Cube cube;
    const bzHull *hull = cube.hull();
    float f = -7, mark = -7;
    bzV3 point, normal;
    const bzV3 a = V(0.5f, 3, 0.5f), d = V(0, -4, 0);
    const int32_t k = bz_PointInHullNormal(&a, &d, hull, &f, &point, &normal, &mark);
    ASSERT_GT(k, 0);
    EXPECT_FLOAT_EQ(f, 0.5f);
    ExpectV3(normal, V(0, -1, 0), "into the top");
    EXPECT_EQ(mark, -7.0f);

    const bzV3 inside = V(0.5f, 0.5f, 0.5f);
    EXPECT_EQ(bz_PointInHullNormal(&inside, &d, hull, &f, &point, &normal, &mark), -1);
    ExpectV3(normal, V(1, 0, 0), "inside");

    // Stops 0.005 above the top: a resting contact at the end.
    const bzV3 stop = V(0, -1.995f, 0);
    EXPECT_EQ(bz_PointInHullNormal(&a, &stop, hull, &f, &point, &normal, &mark), 512);
    EXPECT_EQ(mark, 1.0f);
    ExpectV3(normal, V(0, -1, 0), "resting");
    mark = -7;
    const bzV3 shortStop = V(0, -1.9f, 0);
    EXPECT_EQ(bz_PointInHullNormal(&a, &shortStop, hull, &f, &point, &normal, &mark), 0);
    EXPECT_EQ(mark, -7.0f);
}

TEST(PointNearSphereShell, HitInsideAndShell)
{
    bzSphereShape s{};
    s.centre = V(0, 0, 0);
    s.radius = 1;
    s.radiusSquared = 1;
    float f = -7, mark = -7;
    bzV3 point, normal;
    const bzV3 a = V(0, 3, 0), b = V(0, -1, 0);
    EXPECT_EQ(bz_PointNearSphereShell(&a, &b, &s, &f, &point, &normal, &mark), 1);
    EXPECT_FLOAT_EQ(f, 0.5f);
    ExpectV3(normal, V(0, -1, 0), "towards the centre");
    const bzV3 in = V(0, 0.5f, 0);
    EXPECT_EQ(bz_PointNearSphereShell(&in, &b, &s, &f, &point, &normal, &mark), -1);
    // Ends 0.015 above the surface, within 2 x tolerance x r (squared: 1.030225 <= 1.02 is not
    // met), and 0.009 above (1.018081 <= 1.02).
    const bzV3 nearEnd = V(0, 1.009f, 0), farEnd = V(0, 1.015f, 0);
    EXPECT_EQ(bz_PointNearSphereShell(&a, &nearEnd, &s, &f, &point, &normal, &mark), 2);
    EXPECT_EQ(mark, 1.0f);
    ExpectV3(normal, V(0, -1, 0), "shell normal");
    ExpectV3(point, V(0, 1, 0), "nearest surface point");
    mark = -7;
    EXPECT_EQ(bz_PointNearSphereShell(&a, &farEnd, &s, &f, &point, &normal, &mark), 0);
    EXPECT_EQ(mark, -7.0f);
}

TEST(PointOnBoxNormal, FacesAndTheToleranceShell)
{
    const bzBox box = {V(0, 0, 0), V(1, 1, 1)};
    float f, mark;
    bzV3 point, normal;
    struct Case
    {
        const char *name;
        bzV3 a, b;
        int32_t result;
        bzV3 normal;
    } cases[] = {
        {"through the min x face", V(-1, 0.5f, 0.5f), V(1, 0.5f, 0.5f), 5, V(1, 0, 0)},
        {"through the max y face", V(0.5f, 2, 0.5f), V(0.5f, 0, 0.5f), 2, V(0, -1, 0)},
        {"starts inside", V(0.5f, 0.5f, 0.5f), V(2, 2, 2), -1, {}},
        {"ends near the top", V(0.5f, 2, 0.5f), V(0.5f, 1.005f, 0.5f), 512, V(0, -1, 0)},
        {"ends near an edge", V(2, 2, 0.5f), V(1.003f, 1.003f, 0.5f), 512,
         V(-std::sqrt(0.5f), -std::sqrt(0.5f), 0)},
        {"ends beyond the tolerance", V(0.5f, 2, 0.5f), V(0.5f, 1.02f, 0.5f), 0, {}},
    };
    for (const Case &c : cases)
    {
        mark = -7;
        EXPECT_EQ(bz_PointOnBoxNormal(&c.a, &c.b, &box, &f, &point, &normal, &mark), c.result)
            << c.name;
        if (c.result > 0)
            ExpectV3(normal, c.normal, c.name);
        EXPECT_EQ(mark, c.result == 512 ? 1.0f : -7.0f) << c.name;
    }
}

TEST(SweptPointAgainstSphere, HitShortPathAndShell)
{
    const bzV3 k = V(0, 0, 0);
    float f;
    bzV3 normal = V(7, 7, 7);
    const bzV3 a = V(0, 3, 0), b = V(0, -1, 0);
    bz_SweptPointAgainstSphere(&a, &b, &k, 1.0f, &f, &normal);
    EXPECT_FLOAT_EQ(f, 0.5f);
    ExpectV3(normal, V(0, -1, 0), "hit");
    // A path shorter than sqrt(FLT_EPSILON) resting 0.005 above the surface.
    const bzV3 c = V(0, 1.005f, 0), e = V(0, 1.0052f, 0);
    bz_SweptPointAgainstSphere(&c, &e, &k, 1.0f, &f, &normal);
    EXPECT_EQ(f, 1.0f);
    ExpectV3(normal, V(0, -1, 0), "shell");
    // Passing 1.005 from the centre without entering, ending far away: no contact.
    const bzV3 g = V(-3, 1.005f, 0), h = V(3, 1.005f, 0);
    bz_SweptPointAgainstSphere(&g, &h, &k, 1.0f, &f, &normal);
    EXPECT_EQ(f, 100.0f);
    // Missing by more than the tolerance.
    const bzV3 m = V(-3, 1.02f, 0), n = V(3, 1.02f, 0);
    bz_SweptPointAgainstSphere(&m, &n, &k, 1.0f, &f, &normal);
    EXPECT_EQ(f, 100.0f);
}

TEST(SweptSphereAgainstPoint, HitAndMiss)
{
    const bzV3 q = V(0, 0, 0), a = V(0, 3, 0), d = V(0, -4, 0);
    float f;
    bzV3 point, normal;
    ASSERT_EQ(bz_SweptSphereAgainstPoint(&q, &a, &d, 1.0f, &f, &point, &normal), 1);
    EXPECT_FLOAT_EQ(f, 0.5f);
    ExpectV3(point, q, "point");
    ExpectV3(normal, V(0, -1, 0), "normal");
    const bzV3 beside = V(1.01f, 3, 0), none = V(0, 0, 0);
    EXPECT_EQ(bz_SweptSphereAgainstPoint(&q, &beside, &d, 1.0f, &f, &point, &normal), 0);
    EXPECT_EQ(bz_SweptSphereAgainstPoint(&q, &a, &none, 1.0f, &f, &point, &normal), 0);
    const bzV3 shortMove = V(0, -1.9f, 0);
    EXPECT_EQ(bz_SweptSphereAgainstPoint(&q, &a, &shortMove, 1.0f, &f, &point, &normal), 0);
}

TEST(SegmentClosestToSphere, ClosestPointAndShell)
{
    const bzV3 a = V(0, 0, 0), b = V(4, 0, 0), d = V(4, 0, 0);
    bzV3 y, n = V(7, 7, 7);
    float mark = -7;
    const bzV3 p = V(2, 1.005f, 0);
    bz_SegmentClosestToSphere(&p, &a, &b, &d, 16.0f, 1.0f, &y, &n, &mark);
    ExpectV3(y, V(2, 0, 0), "middle");
    EXPECT_EQ(mark, 1.0f);
    ExpectV3(n, V(0, -1, 0), "normal");
    mark = -7;
    const bzV3 before = V(-1, 0.5f, 0), after = V(9, 0, 0), far = V(2, 1.03f, 0);
    bz_SegmentClosestToSphere(&before, &a, &b, &d, 16.0f, 1.0f, &y, &n, &mark);
    ExpectV3(y, a, "before the start");
    bz_SegmentClosestToSphere(&after, &a, &b, &d, 16.0f, 1.0f, &y, &n, &mark);
    ExpectV3(y, b, "past the end");
    bz_SegmentClosestToSphere(&far, &a, &b, &d, 16.0f, 1.0f, &y, &n, &mark);
    EXPECT_EQ(mark, -7.0f);
}

TEST(SweptSphereAgainstCylinder, ContactsAndEnds)
{
    const bzV3 x0 = V(0, 0, 0), axis = V(2, 0, 0);
    // Falls straight onto the middle of the axis from above, radii 0.5 + 0.5.
    {
        bzCollisionContact row = FreshRow();
        const bzV3 p0 = V(0.5f, 3, 0.5f), p1 = V(0.5f, -0.5f, 1.0f);
        ASSERT_EQ(bz_SweptSphereAgainstCylinder(&p0, &p1, &x0, &axis, 0.5f, 0.5f, &row, nullptr),
                  1);
        // Across the axis the centre runs (3, 0.5) -> (-0.5, 1) in (y, z): distance 1 at t.
        double t = -1;
        for (double s = 0; s <= 1; s += 1e-6)
        {
            const double y = 3 - 3.5 * s, z = 0.5 + 0.5 * s;
            if (y * y + z * z <= 1.0)
            {
                t = s;
                break;
            }
        }
        EXPECT_NEAR(row.key, t, 1e-4);
        const float len = std::sqrt(row.normal.x * row.normal.x + row.normal.y * row.normal.y +
                                    row.normal.z * row.normal.z);
        EXPECT_NEAR(len, 1.0f, 1e-5f);
        EXPECT_NEAR(row.point.x, 0.5f, 1e-5f);
        EXPECT_NEAR(std::sqrt(row.point.y * row.point.y + row.point.z * row.point.z), 0.5f, 1e-4f);
        EXPECT_NEAR(row.otherPoint.y, 3 - 3.5f * row.key, 1e-4f);
    }
    // Ends resting within 2 x tolerance x r of the surface: a touch at t = 1.
    {
        bzCollisionContact row = FreshRow();
        const bzV3 p0 = V(1, 3, 0), p1 = V(1, 1.005f, 0);
        ASSERT_EQ(bz_SweptSphereAgainstCylinder(&p0, &p1, &x0, &axis, 0.5f, 0.5f, &row, nullptr),
                  1);
        EXPECT_EQ(row.key, 1.0f);
        ExpectV3(row.normal, V(0, 1, 0), "resting normal");
    }
    struct Case
    {
        const char *name;
        bzV3 p0, p1;
        int32_t result;
    } cases[] = {
        {"touches beyond the end", V(2.5f, 3, 0), V(2.5f, -1, 0), -2},
        {"touches before the start", V(-0.5f, 3, 0), V(-0.5f, -1, 0), -1},
        {"path along the axis, ahead of it", V(3, 0, 0), V(4, 0, 0), -2},
        {"path along the axis, behind it", V(-3, 0, 0), V(-4, 0, 0), -1},
        {"starts within reach by the second half", V(1.5f, 0.5f, 0), V(1.5f, 3, 1), -2},
        {"starts within reach by the first half", V(0.5f, 0.5f, 0), V(0.5f, 3, 1), -1},
        {"passes far away", V(1, 3, 5), V(1, -1, 5), 0},
        {"stops short", V(1, 3, 0), V(1, 1.1f, 0), 0},
    };
    for (const Case &c : cases)
    {
        bzCollisionContact row = FreshRow();
        EXPECT_EQ(
            bz_SweptSphereAgainstCylinder(&c.p0, &c.p1, &x0, &axis, 0.5f, 0.5f, &row, nullptr),
            c.result)
            << c.name;
    }
}

TEST(SweptEdgeAgainstEdge, RestingKeysAndLimits)
{
    const bzV3 a2 = V(-1, 0, 0), e2 = V(2, 0, 0), none = V(0, 0, 0);
    const bzV3 e1 = V(0, 0, 2);
    struct Case
    {
        const char *name;
        bzV3 a1, m1;
        float rowKey;
        int32_t result;
        float key;
    } cases[] = {
        {"within 0.001", V(0, 0.0005f, -1), none, 200, 1, 1.1f},
        {"within the tolerance", V(0, 0.005f, -1), none, 200, 1, 1.0f},
        {"moved within the tolerance", V(0, 1.005f, -1), V(0, -1, 0), 200, 1, 1.0f},
        {"beyond the tolerance", V(0, 0.02f, -1), none, 200, 0, 0},
        {"a swept contact already", V(0, 0.005f, -1), none, 0.5f, 0, 0},
        {"past the second edge's end", V(1.5f, 0.005f, -1), none, 200, 0, 0},
        {"past the first edge's end", V(0, 0.005f, 0.5f), none, 200, 0, 0},
    };
    for (const Case &c : cases)
    {
        bzCollisionContact row = FreshRow();
        row.key = c.rowKey;
        EXPECT_EQ(bz_SweptEdgeAgainstEdge(&c.a1, &e1, &c.m1, &a2, &e2, &none, 0, &row, nullptr),
                  c.result)
            << c.name;
        if (c.result)
        {
            EXPECT_FLOAT_EQ(row.key, c.key) << c.name;
            // From the second edge (below) towards the first.
            ExpectV3(row.normal, V(0, 1, 0), c.name);
            EXPECT_NEAR(row.otherPoint.x, 0.0f, 1e-6f) << c.name;
        }
    }
    bzCollisionContact row = FreshRow();
    const bzV3 parallel = V(2, 0, 0), a1 = V(-1, 0.005f, 0);
    EXPECT_EQ(bz_SweptEdgeAgainstEdge(&a1, &parallel, &none, &a2, &e2, &none, 0, &row, nullptr), 0);
    // The caller's side flag overrides the turn.
    const bzV3 above = V(0, 0.005f, -1);
    EXPECT_EQ(bz_SweptEdgeAgainstEdge(&above, &e1, &none, &a2, &e2, &none, -1, &row, nullptr), 1);
    // e1 x e2 = (0, 0, 2) x (2, 0, 0) = (0, 4, 0): side -1 gives its negative.
    ExpectV3(row.normal, V(0, -1, 0), "side flag");
}

TEST(SweptSphereAgainstLine, TouchTimesFootAndFrames)
{
    ScopedTolerance tolerance(0.01f);
    const bzV3 centre = V(0, 0, 0);
    const bzV3 d = V(2, 0, 0), down = V(0, -2, 0);
    struct Case
    {
        const char *name;
        bzV3 a, d, motion;
        int32_t result;
        float key;
        bzV3 point, normal;
    } cases[] = {
        // The line falls from y = 2 and reaches 0.51 (radius 0.5 and the tolerance) at 0.745.
        {"falls onto the sphere", V(-1, 2, 0), d, down, 1, 0.745f, V(0, 0.51f, 0), V(0, -1, 0)},
        {"its foot lies before the segment", V(1, 2, 0), d, down, 0, 0, V(0, 0, 0), V(0, 0, 0)},
        {"its foot lies past the segment", V(-3, 2, 0), d, down, 0, 0, V(0, 0, 0), V(0, 0, 0)},
        {"passes beside", V(-1, 2, 0.6f), d, down, 0, 0, V(0, 0, 0), V(0, 0, 0)},
        {"stops short", V(-1, 2, 0), d, V(0, -1.4f, 0), 0, 0, V(0, 0, 0), V(0, 0, 0)},
        {"ends within the tolerance", V(-1, 2, 0), d, V(0, -1.495f, 0), 1, 1.49f / 1.495f,
         V(0, 0.51f, 0), V(0, -1, 0)},
        // Starting within reach: the later root, where the line leaves the reach again.
        {"starts within reach", V(-1, 0.3f, 0), d, down, 1, 0.405f, V(0, -0.51f, 0), V(0, 0, 0)},
        {"moves along itself", V(-1, 0.3f, 0), d, V(3, 0, 0), 0, 0, V(0, 0, 0), V(0, 0, 0)},
        {"segment of no length", V(0, 2, 0), V(0, 0, 0), down, 0, 0, V(0, 0, 0), V(0, 0, 0)},
        {"not a number", V(NAN, 2, 0), d, down, 0, 0, V(0, 0, 0), V(0, 0, 0)},
    };
    for (const Case &c : cases)
    {
        bzCollisionContact row = FreshRow();
        ASSERT_EQ(bz_SweptSphereAgainstLine(&centre, 0.5f, &c.a, &c.d, &c.motion, &row, nullptr),
                  c.result)
            << c.name;
        if (c.result != 1)
        {
            EXPECT_EQ(row.key, 200.0f) << c.name;
            continue;
        }
        EXPECT_NEAR(row.key, c.key, 1e-5f) << c.name;
        ExpectV3(row.point, c.point, c.name);
        if (c.normal.y != 0.0f)
            ExpectV3(row.normal, c.normal, c.name);
        EXPECT_NEAR(row.normal.x * row.normal.x + row.normal.y * row.normal.y +
                        row.normal.z * row.normal.z,
                    1.0f, 1e-5f)
            << c.name;
    }
    // In a body frame moved by (-5, 0, 0) and turned a quarter about z.
    bzM34 worldToBody = Identity();
    worldToBody.row[0] = V(0, 1, 0);
    worldToBody.row[1] = V(-1, 0, 0);
    worldToBody.row[3] = V(-5, 0, 0);
    const bzV3 a = V(-1, 2, 0);
    bzCollisionContact row = FreshRow();
    ASSERT_EQ(bz_SweptSphereAgainstLine(&centre, 0.5f, &a, &d, &down, &row, &worldToBody), 1);
    ExpectV3(row.point, V(-5.51f, 0, 0), "body point");
    ExpectV3(row.normal, V(1, 0, 0), "body normal");
}

TEST(SweptSphereAgainstLine, FirstTouchAgainstSampledDistance)
{
    // Random segments swept past a sphere at the origin: the touch time is where the distance
    // from the centre to the moving line first comes down to the reach, found by sampling the
    // distance in double precision.
    ScopedTolerance tolerance(0.01f);
    std::mt19937 rng(31u);
    std::uniform_real_distribution<float> u(-2.0f, 2.0f);
    const bzV3 centre = V(0, 0, 0);
    const float r = 0.6f;
    const double reach = r + 0.01;
    int touches = 0;
    for (int round = 0; round < 1500; round++)
    {
        const bzV3 a = V(u(rng), u(rng), u(rng)), d = V(u(rng), u(rng), u(rng)),
                   m = V(u(rng), u(rng), u(rng));
        const auto lineDistance = [&](double t)
        {
            double w[3], dd = 0, wd = 0, ww = 0;
            for (int i = 0; i < 3; i++)
            {
                w[i] = -((double)a.v[i] + t * m.v[i]);
                dd += (double)d.v[i] * d.v[i];
                wd += w[i] * d.v[i];
                ww += w[i] * w[i];
            }
            return std::sqrt(std::fmax(ww - wd * wd / dd, 0.0));
        };
        if (lineDistance(0.0) < reach + 1e-3)
            continue; // the start within reach: the later-root rule, checked by hand above
        bzCollisionContact row = FreshRow();
        const int32_t got = bz_SweptSphereAgainstLine(&centre, r, &a, &d, &m, &row, nullptr);
        // The sampled first touch, and the foot's parameter there.
        double first = -1;
        for (int k = 0; k <= 4000; k++)
            if (lineDistance(k / 4000.0) <= reach)
            {
                first = k / 4000.0;
                break;
            }
        if (first < 0)
        {
            EXPECT_EQ(got, 0) << round;
            continue;
        }
        double foot = 0, dd = 0;
        for (int i = 0; i < 3; i++)
        {
            foot += -((double)a.v[i] + first * m.v[i]) * d.v[i];
            dd += (double)d.v[i] * d.v[i];
        }
        foot /= dd;
        if (foot < -1e-2 || foot > 1 + 1e-2)
        {
            EXPECT_EQ(got, 0) << round;
            continue;
        }
        if (foot < 1e-2 || foot > 1 - 1e-2)
            continue; // too near the segment's ends for the sampling to decide
        ASSERT_EQ(got, 1) << round;
        EXPECT_NEAR(row.key, first, 5e-4) << round;
        touches++;
    }
    EXPECT_GT(touches, 40);
}
} // namespace
