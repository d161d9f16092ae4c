// Convex hulls: the degenerate results, exact small cases, hostile input and the hull property
// over random clouds.
#include "collision/Hull.h"
#include "core/Memory.h"
#include "maths/Vector.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <set>
#include <utility>
#include <vector>

namespace
{
// A hull over vectors with the room bz_Form_Create gives n points.
struct TestHull
{
    std::vector<bzV3> points;
    std::vector<bzHullEdge> edges;
    std::vector<bzPlane> planes;
    std::vector<uint32_t> work;
    bzHull hull = {};

    explicit TestHull(const std::vector<bzV3> &input, int32_t edgeRoom = -1, int32_t faceRoom = -1)
        : points(input)
    {
        const int32_t n = (int32_t)input.size();
        const int32_t e = edgeRoom >= 0 ? edgeRoom : std::max(MaxEdgesForVertices(n), 1);
        const int32_t f = faceRoom >= 0 ? faceRoom : MaxFacesForVertices(n);
        edges.resize((size_t)std::max(e, 1));
        planes.resize((size_t)std::max(f, 1));
        work.resize((size_t)std::max(e, 1));
        hull.vertexCount = hull.vertexRoom = (int16_t)n;
        hull.edgeRoom = (int16_t)e;
        hull.faceRoom = (int16_t)f;
        hull.vertices = points.data();
        hull.edges = edges.data();
        hull.planes = planes.data();
    }
    int32_t Build(bool withWork = false, bzHullFaceEdgeLists *lists = nullptr)
    {
        return bz_Hull_Build(&hull, withWork ? work.data() : nullptr, lists);
    }
};

std::vector<bzV3> CubeCorners(float lo, float hi)
{
    std::vector<bzV3> c;
    for (int i = 0; i < 8; i++)
        c.push_back({{{(i & 1) ? hi : lo, (i & 2) ? hi : lo, (i & 4) ? hi : lo}}});
    return c;
}

bool SamePoint(const bzV3 &a, const bzV3 &b)
{
    return a.x == b.x && a.y == b.y && a.z == b.z;
}

TEST(Hull, CapacityRules)
{
    EXPECT_EQ(MaxFacesForVertices(4), 6);
    EXPECT_EQ(MaxFacesForVertices(8), 12);
    EXPECT_EQ(MaxFacesForVertices(5), 7);
    EXPECT_EQ(MaxFacesForVertices(6), 8);
    EXPECT_EQ(MaxEdgesForVertices(100), 294);
    EXPECT_EQ(MaxEdgesForVertices(4), 6);
    EXPECT_EQ(MaxEdgesForVertices(8), 18);
    EXPECT_EQ(MaxEdgesForVertices(10924), 32766);
    EXPECT_EQ(MaxEdgesForVertices(10925), 32767);
    EXPECT_EQ(MaxEdgesForVertices(20000), 32767);
    EXPECT_EQ(MaxEdgesForVertices(2), 0);
}

TEST(Hull, CubeWithItsCentreKeepsTheEightCornersAndSixFaces)
{
    std::vector<bzV3> input = CubeCorners(-1.0f, 1.0f);
    input.push_back({{{0.0f, 0.0f, 0.0f}}});
    TestHull t(input);
    ASSERT_EQ(t.Build(), BZ_HULL_SOLID);
    EXPECT_EQ(t.hull.vertexCount, 8);
    EXPECT_EQ(t.hull.edgeCount, 12);
    EXPECT_EQ(t.hull.faceCount, 6);
    const std::vector<bzV3> corners = CubeCorners(-1.0f, 1.0f);
    for (int32_t i = 0; i < t.hull.vertexCount; i++)
    {
        bool found = false;
        for (const bzV3 &c : corners)
            found = found || SamePoint(c, t.points[(size_t)i]);
        EXPECT_TRUE(found) << "vertex " << i << " is not a corner";
    }
    // Every plane is one of the six outward face planes x = +-1, y = +-1, z = +-1.
    std::set<std::pair<int, int>> seen;
    for (int32_t f = 0; f < t.hull.faceCount; f++)
    {
        const bzPlane &p = t.planes[(size_t)f];
        int axis = -1;
        for (int a = 0; a < 3; a++)
            if (std::fabs(std::fabs(p.n.v[a]) - 1.0f) < 1e-6f)
                axis = a;
        ASSERT_GE(axis, 0) << "face " << f << " is not axis-aligned";
        EXPECT_NEAR(p.d, 1.0f, 1e-6f);
        seen.insert({axis, p.n.v[axis] > 0 ? 1 : -1});
    }
    EXPECT_EQ(seen.size(), 6u);
}

TEST(Hull, FaceEdgeListsOfACubeHoldFourEdgesEach)
{
    TestHull t(CubeCorners(0.0f, 2.0f));
    bzHullFaceEdgeLists *lists = bz_Hull_AllocFaceEdgeLists(8);
    ASSERT_NE(lists, nullptr);
    EXPECT_EQ(lists->faceRoom, 12);
    EXPECT_EQ(lists->slotRoom, 9);
    ASSERT_EQ(t.Build(true, lists), BZ_HULL_SOLID);
    ASSERT_EQ(t.hull.faceCount, 6);
    for (int32_t f = 0; f < 6; f++)
    {
        EXPECT_EQ(lists->faces[f].count, 4) << "face " << f;
        for (int32_t k = 0; k < lists->faces[f].count; k++)
        {
            const uint32_t e = lists->faces[f].edges[k];
            ASSERT_LT(e, (uint32_t)t.hull.edgeCount);
            const uint32_t pair = t.work[e];
            EXPECT_TRUE(bz_HullWork_First(pair) == f || bz_HullWork_Second(pair) == f);
        }
    }
    // The geometry gives back the same pairs.
    std::vector<uint32_t> found((size_t)t.hull.edgeCount);
    ASSERT_EQ(bz_Hull_FindEdgeFaces(&t.hull, found.data(), lists), 0);
    for (int32_t e = 0; e < t.hull.edgeCount; e++)
    {
        const std::set<uint16_t> a = {bz_HullWork_First(t.work[(size_t)e]),
                                      bz_HullWork_Second(t.work[(size_t)e])};
        const std::set<uint16_t> b = {bz_HullWork_First(found[(size_t)e]),
                                      bz_HullWork_Second(found[(size_t)e])};
        EXPECT_EQ(a, b) << "edge " << e;
    }
    bz_MemFree(lists);
}

TEST(Hull, FlatAndDegenerateSets)
{
    // Four points of a square: a polygon with its two faces and four sides.
    {
        TestHull t({{{{0, 0, 0}}}, {{{1, 0, 0}}}, {{{1, 1, 0}}}, {{{0, 1, 0}}}});
        ASSERT_EQ(t.Build(), BZ_HULL_FLAT);
        EXPECT_EQ(t.hull.vertexCount, 4);
        EXPECT_EQ(t.hull.edgeCount, 4);
        EXPECT_EQ(t.hull.faceCount, 6);
        EXPECT_NEAR(std::fabs(t.planes[0].n.z), 1.0f, 1e-6f);
        EXPECT_EQ(t.planes[1].n.z, -t.planes[0].n.z);
        for (int32_t f = 0; f < 6; f++)
            for (int32_t i = 0; i < 4; i++)
                EXPECT_LE(bz_V3_Dot(&t.planes[(size_t)f].n, &t.points[(size_t)i]) -
                              t.planes[(size_t)f].d,
                          1e-5f);
    }
    // A flat set of many points with interior ones: the polygon of its outline.
    {
        std::vector<bzV3> input;
        for (int i = 0; i < 5; i++)
            for (int j = 0; j < 5; j++)
                input.push_back({{{(float)i, (float)j, 2.0f}}});
        TestHull t(input);
        ASSERT_EQ(t.Build(), BZ_HULL_FLAT);
        EXPECT_GE(t.hull.vertexCount, 4);
        EXPECT_EQ(t.hull.edgeCount, t.hull.vertexCount);
        EXPECT_EQ(t.hull.faceCount, t.hull.vertexCount + 2);
        for (int32_t f = 0; f < t.hull.faceCount; f++)
            for (const bzV3 &q : input)
                EXPECT_LE(bz_V3_Dot(&t.planes[(size_t)f].n, &q) - t.planes[(size_t)f].d, 1e-5f);
        int corners = 0;
        for (int32_t i = 0; i < t.hull.vertexCount; i++)
        {
            const bzV3 &v = t.points[(size_t)i];
            EXPECT_TRUE(v.x == 0 || v.x == 4 || v.y == 0 || v.y == 4) << "inner vertex " << i;
            corners += (v.x == 0 || v.x == 4) && (v.y == 0 || v.y == 4);
        }
        EXPECT_EQ(corners, 4);
    }
    // Three points on a line: the two outer ones.
    {
        TestHull t({{{{1, 1, 1}}}, {{{3, 3, 3}}}, {{{2, 2, 2}}}});
        ASSERT_EQ(t.Build(), BZ_HULL_SEGMENT);
        EXPECT_EQ(t.hull.vertexCount, 2);
        EXPECT_EQ(t.hull.edgeCount, 1);
        EXPECT_EQ(t.hull.faceCount, 0);
        const std::set<float> xs = {t.points[0].x, t.points[1].x};
        EXPECT_EQ(xs, (std::set<float>{1.0f, 3.0f}));
        // Along a slanted line away from the origin, the first point inside the run.
        TestHull s({{{{10.5f, 1, 0}}}, {{{12, 4, 0}}}, {{{9, -2, 0}}}, {{{11, 2, 0}}}});
        ASSERT_EQ(s.Build(), BZ_HULL_SEGMENT);
        const std::set<float> ends = {s.points[0].x, s.points[1].x};
        EXPECT_EQ(ends, (std::set<float>{9.0f, 12.0f}));
    }
    // Two identical points, and a cluster within the coincidence distance.
    {
        TestHull t({{{{5, 5, 5}}}, {{{5, 5, 5}}}});
        ASSERT_EQ(t.Build(), BZ_HULL_POINT);
        EXPECT_EQ(t.hull.vertexCount, 1);
        EXPECT_EQ(t.hull.edgeCount, 0);
        EXPECT_EQ(t.hull.faceCount, 0);
        TestHull c({{{{0, 0, 0}}},
                    {{{0.0005f, 0, 0}}},
                    {{{0, 0.0005f, 0}}},
                    {{{0, 0, 0.0005f}}},
                    {{{0.0002f, 0.0002f, 0}}}});
        EXPECT_EQ(c.Build(), BZ_HULL_POINT);
    }
}

TEST(Hull, APointWithinTheToleranceOfOneFaceIsMovedOntoIt)
{
    TestHull t({{{{0, 0, 0}}}, {{{1, 0, 0}}}, {{{0, 1, 0}}}, {{{0, 0, 1}}}, {{{1, 1, -4e-6f}}}});
    ASSERT_EQ(t.Build(), BZ_HULL_SOLID);
    bool found = false;
    for (int32_t i = 0; i < t.hull.vertexCount; i++)
        if (t.points[(size_t)i].x == 1.0f && t.points[(size_t)i].y == 1.0f)
        {
            found = true;
            EXPECT_EQ(t.points[(size_t)i].z, 0.0f);
        }
    EXPECT_TRUE(found);
    // The base became one face of four corners: 5 vertices, 8 edges, 5 faces.
    EXPECT_EQ(t.hull.vertexCount, 5);
    EXPECT_EQ(t.hull.edgeCount, 8);
    EXPECT_EQ(t.hull.faceCount, 5);
}

TEST(Hull, BadInputFailsWithEmptyCounts)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    struct Case
    {
        const char *what;
        std::vector<bzV3> points;
        int32_t edgeRoom, faceRoom;
    };
    std::vector<bzV3> cube = CubeCorners(0, 1);
    std::vector<bzV3> cubeNaN = cube;
    cubeNaN[5].y = nan;
    std::vector<bzV3> cubeInf = cube;
    cubeInf[7].z = -inf;
    const Case cases[] = {
        {"NaN point", cubeNaN, -1, -1},
        {"infinite point", cubeInf, -1, -1},
        {"NaN in a flat set", {{{{0, 0, 0}}}, {{{nan, 0, 0}}}, {{{0, 1, 0}}}}, -1, -1},
        {"edge room too small", cube, 11, -1},
        {"face room too small", cube, -1, 5},
        {"no room for the segment's edge", {{{{0, 0, 0}}}, {{{1, 0, 0}}}}, 0, -1},
        {"polygon without room for its side faces",
         {{{{0, 0, 0}}}, {{{1, 0, 0}}}, {{{0, 1, 0}}}},
         -1,
         4},
    };
    for (const Case &c : cases)
    {
        TestHull t(c.points, c.edgeRoom, c.faceRoom);
        EXPECT_EQ(t.Build(), BZ_HULL_FAILED) << c.what;
        EXPECT_EQ(t.hull.vertexCount, 0) << c.what;
        EXPECT_EQ(t.hull.edgeCount, 0) << c.what;
        EXPECT_EQ(t.hull.faceCount, 0) << c.what;
    }
    // Counts past the rooms, and no points at all.
    TestHull over(cube);
    over.hull.vertexRoom = 7;
    EXPECT_EQ(over.Build(), BZ_HULL_FAILED);
    TestHull none(cube);
    none.hull.vertexCount = 0;
    EXPECT_EQ(none.Build(), BZ_HULL_FAILED);
}

TEST(Hull, MoreThanTheMostPointsIsRefused)
{
    std::vector<bzV3> input(10925);
    std::mt19937 rng(28u);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    for (bzV3 &p : input)
        p = {{{u(rng), u(rng), u(rng)}}};
    TestHull t(input);
    EXPECT_EQ(t.Build(), BZ_HULL_FAILED);
    EXPECT_EQ(t.hull.vertexCount, 0);
    EXPECT_EQ(bz_Hull_Alloc(10925), nullptr);
    EXPECT_EQ(bz_Hull_Alloc(0), nullptr);
}

TEST(Hull, FaceEdgeListsWithoutRoomFail)
{
    TestHull t(CubeCorners(0.0f, 1.0f));
    bzHullFaceEdgeLists *lists = bz_Hull_AllocFaceEdgeLists(8);
    ASSERT_NE(lists, nullptr);
    lists->slotRoom = 3; // a cube face has four edges
    EXPECT_EQ(t.Build(false, lists), BZ_HULL_FAILED);
    EXPECT_EQ(t.hull.edgeCount, 0);
    bz_MemFree(lists);
}

TEST(Hull, AllocatedHullBuildsInItsOwnBlock)
{
    bzHull *hull = bz_Hull_Alloc(9);
    ASSERT_NE(hull, nullptr);
    EXPECT_EQ(hull->vertexCount, 0);
    EXPECT_EQ(hull->vertexRoom, 9);
    EXPECT_EQ(hull->edgeRoom, 21);
    EXPECT_EQ(hull->faceRoom, 14);
    const std::vector<bzV3> corners = CubeCorners(-2.0f, 2.0f);
    for (size_t i = 0; i < corners.size(); i++)
        hull->vertices[i] = corners[i];
    hull->vertices[8] = {{{0.5f, 0.5f, 0.5f}}};
    hull->vertexCount = 9;
    EXPECT_EQ(bz_Hull_Build(hull, nullptr, nullptr), BZ_HULL_SOLID);
    EXPECT_EQ(hull->vertexCount, 8);
    EXPECT_EQ(hull->faceCount, 6);
    bz_MemFree(hull);
}

// What every solid hull must satisfy against its input.
void CheckSolidHull(const TestHull &t, const std::vector<bzV3> &input, const char *what)
{
    const bzHull &h = t.hull;
    ASSERT_GE(h.vertexCount, 4) << what;
    EXPECT_EQ(h.vertexCount - h.edgeCount + h.faceCount, 2) << what;
    bzV3 centroid = {{{0, 0, 0}}};
    for (int32_t i = 0; i < h.vertexCount; i++)
        bz_V3_Add(&centroid, &t.points[(size_t)i]);
    bz_V3_Scale(&centroid, 1.0f / (float)h.vertexCount);
    for (int32_t f = 0; f < h.faceCount; f++)
    {
        const bzPlane &p = t.planes[(size_t)f];
        ASSERT_NEAR(bz_V3_Length(&p.n), 1.0f, 1e-5f) << what << " face " << f;
        ASSERT_LT(bz_V3_Dot(&p.n, &centroid) - p.d, 0.0f) << what << " face " << f << " inward";
        for (size_t i = 0; i < input.size(); i++)
            ASSERT_LE(bz_V3_Dot(&p.n, &input[i]) - p.d, 1e-5f)
                << what << " point " << i << " outside face " << f;
    }
    // Each edge lies on exactly two different faces, which both hold its ends, and the edges of
    // every face close into one loop: each of its vertices ends exactly two of its edges.
    std::vector<std::vector<int>> ends((size_t)h.faceCount,
                                       std::vector<int>((size_t)h.vertexCount));
    std::vector<int> edgesOfFace((size_t)h.faceCount, 0);
    for (int32_t e = 0; e < h.edgeCount; e++)
    {
        const uint16_t f0 = bz_HullWork_First(t.work[(size_t)e]);
        const uint16_t f1 = bz_HullWork_Second(t.work[(size_t)e]);
        ASSERT_NE(f0, f1) << what << " edge " << e;
        ASSERT_LT(f0, h.faceCount);
        ASSERT_LT(f1, h.faceCount);
        const bzHullEdge &edge = t.edges[(size_t)e];
        ASSERT_NE(edge.a, edge.b) << what << " edge " << e;
        for (uint16_t f : {f0, f1})
        {
            const bzPlane &p = t.planes[f];
            EXPECT_LT(std::fabs(bz_V3_Dot(&p.n, &t.points[edge.a]) - p.d), 1e-4f) << what;
            EXPECT_LT(std::fabs(bz_V3_Dot(&p.n, &t.points[edge.b]) - p.d), 1e-4f) << what;
            edgesOfFace[f]++;
            ends[f][edge.a]++;
            ends[f][edge.b]++;
        }
    }
    for (int32_t f = 0; f < h.faceCount; f++)
    {
        EXPECT_GE(edgesOfFace[(size_t)f], 3) << what << " face " << f;
        for (int32_t v = 0; v < h.vertexCount; v++)
            ASSERT_TRUE(ends[(size_t)f][(size_t)v] == 0 || ends[(size_t)f][(size_t)v] == 2)
                << what << " face " << f << " vertex " << v;
    }
    // The vertices are input points, or moved onto a face from within its tolerance.
    for (int32_t i = 0; i < h.vertexCount; i++)
    {
        float nearest = std::numeric_limits<float>::max();
        for (const bzV3 &q : input)
            nearest = std::min(nearest, bz_V3_Distance(&q, &t.points[(size_t)i]));
        ASSERT_LE(nearest, 1e-5f) << what << " vertex " << i;
    }
}

TEST(Hull, RandomCloudsGiveClosedConvexHulls)
{
    std::mt19937 rng(1234u);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    std::normal_distribution<float> g(0.0f, 1.0f);
    std::uniform_int_distribution<int> sizes(4, 200);
    // A fixed number of clouds, the first three of the most points.
    for (int clouds = 0; clouds < 300; clouds++)
    {
        const int n = clouds < 3 ? 200 : sizes(rng);
        std::vector<bzV3> input((size_t)n);
        const int shape = clouds % 3;
        for (bzV3 &p : input)
        {
            p = {{{u(rng), u(rng), u(rng)}}};
            if (shape == 1) // on a sphere: every point is a vertex
            {
                p = {{{g(rng), g(rng), g(rng)}}};
                bz_V3_Normalise(&p);
                bz_V3_Scale(&p, 3.0f);
            }
            else if (shape == 2) // a long thin box
                p.x *= 20.0f;
        }
        TestHull t(input);
        const std::string what = "cloud " + std::to_string(clouds) + " of " + std::to_string(n);
        ASSERT_EQ(t.Build(true), BZ_HULL_SOLID) << what;
        CheckSolidHull(t, input, what.c_str());
        if (::testing::Test::HasFatalFailure())
            return;
    }
}

TEST(Hull, CloudsOnTheFacesOfABoxAndRepeatedPointsStayConsistent)
{
    std::mt19937 rng(99u);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    std::uniform_int_distribution<int> face(0, 5), repeat(0, 3);
    for (int cloud = 0; cloud < 40; cloud++)
    {
        // Points on the six faces of a box, some given more than once, with the corners.
        std::vector<bzV3> input = CubeCorners(-1.0f, 1.0f);
        const int n = 20 + cloud * 4;
        while ((int)input.size() < n)
        {
            bzV3 p = {{{u(rng), u(rng), u(rng)}}};
            const int f = face(rng);
            p.v[f / 2] = (f & 1) ? -1.0f : 1.0f;
            for (int r = repeat(rng); r >= 0 && (int)input.size() < n; r--)
                input.push_back(p);
        }
        std::shuffle(input.begin(), input.end(), rng);
        TestHull t(input);
        const std::string what = "box cloud " + std::to_string(cloud);
        ASSERT_EQ(t.Build(true), BZ_HULL_SOLID) << what;
        const bzHull &h = t.hull;
        EXPECT_EQ(h.faceCount, 6) << what;
        EXPECT_EQ(h.vertexCount, 8) << what;
        EXPECT_EQ(h.vertexCount - h.edgeCount + h.faceCount, 2) << what;
        for (int32_t f = 0; f < h.faceCount; f++)
        {
            for (const bzV3 &q : input)
                ASSERT_LE(bz_V3_Dot(&t.planes[(size_t)f].n, &q) - t.planes[(size_t)f].d, 1e-5f)
                    << what;
            // Every face is one of the box's six.
            int axis = -1;
            for (int a = 0; a < 3; a++)
                if (std::fabs(std::fabs(t.planes[(size_t)f].n.v[a]) - 1.0f) < 1e-5f)
                    axis = a;
            EXPECT_GE(axis, 0) << what << " face " << f;
        }
        for (int32_t e = 0; e < h.edgeCount; e++)
            ASSERT_NE(bz_HullWork_First(t.work[(size_t)e]), bz_HullWork_Second(t.work[(size_t)e]))
                << what;
    }
}

TEST(Hull, GridPointsWithManyCoplanarFacesStayConsistent)
{
    // A 4 x 4 x 4 grid: the hull is the cube, with points on every face, edge and inside.
    std::vector<bzV3> input;
    for (int i = 0; i < 4; i++)
        for (int j = 0; j < 4; j++)
            for (int k = 0; k < 4; k++)
                input.push_back({{{(float)i, (float)j, (float)k}}});
    TestHull t(input);
    ASSERT_EQ(t.Build(true), BZ_HULL_SOLID);
    const bzHull &h = t.hull;
    EXPECT_EQ(h.vertexCount - h.edgeCount + h.faceCount, 2);
    for (int32_t f = 0; f < h.faceCount; f++)
        for (const bzV3 &q : input)
            ASSERT_LE(bz_V3_Dot(&t.planes[(size_t)f].n, &q) - t.planes[(size_t)f].d, 1e-5f);
    for (int32_t e = 0; e < h.edgeCount; e++)
        EXPECT_NE(bz_HullWork_First(t.work[(size_t)e]), bz_HullWork_Second(t.work[(size_t)e]));
}
} // namespace
