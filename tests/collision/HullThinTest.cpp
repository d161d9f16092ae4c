// Thinning hulls by the volume of each vertex's cone, and hulls of chosen points, against
// brute-force oracles: the volume a vertex takes with it, the vertex whose removal costs least,
// and the covering property of the farthest-first choice.
#include "collision/Hull.h"
#include "core/Memory.h"
#include "maths/Vector.h"
#include "RawAllocFailure.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace
{
bzV3 P(float x, float y, float z)
{
    return bzV3{{{x, y, z}}};
}

// A hull over vectors with the room of n points.
struct OwnHull
{
    std::vector<bzV3> points;
    std::vector<bzHullEdge> edges;
    std::vector<bzPlane> planes;
    bzHull hull = {};
    explicit OwnHull(const std::vector<bzV3> &input, int32_t room = -1) : points(input)
    {
        const int32_t n = room >= 0 ? room : static_cast<int32_t>(input.size());
        points.resize(static_cast<size_t>(std::max(n, 1)));
        edges.resize(static_cast<size_t>(std::max(MaxEdgesForVertices(n), 1)));
        planes.resize(static_cast<size_t>(std::max(MaxFacesForVertices(n), 1)));
        hull.vertexCount = static_cast<int16_t>(input.size());
        hull.vertexRoom = static_cast<int16_t>(n);
        hull.edgeRoom = static_cast<int16_t>(edges.size());
        hull.faceRoom = static_cast<int16_t>(planes.size());
        hull.vertices = points.data();
        hull.edges = edges.data();
        hull.planes = planes.data();
    }
    std::vector<bzV3> Vertices() const
    {
        return std::vector<bzV3>(points.begin(), points.begin() + hull.vertexCount);
    }
};

// The volume of a solid hull from its planes alone: each face's polygon is the vertices on its
// plane, ordered by angle about their centre; volume = sum of d x area / 3.
double HullVolume(const bzHull &h)
{
    double volume = 0.0;
    for (int32_t f = 0; f < h.faceCount; ++f)
    {
        const bzPlane &pl = h.planes[f];
        std::vector<bzV3> on;
        for (int32_t v = 0; v < h.vertexCount; ++v)
            if (std::fabs(bz_V3_Dot(&pl.n, &h.vertices[v]) - pl.d) < 1e-4f)
                on.push_back(h.vertices[v]);
        if (on.size() < 3)
            continue;
        bzV3 c = P(0, 0, 0);
        for (const bzV3 &q : on)
            bz_V3_Add(&c, &q);
        bz_V3_Scale(&c, 1.0f / static_cast<float>(on.size()));
        bzV3 u, w;
        bz_V3_SubInto(&on[0], &c, &u);
        bz_V3_Normalise(&u);
        bz_V3_CrossInto(&pl.n, &u, &w);
        std::sort(on.begin(), on.end(),
                  [&](const bzV3 &a, const bzV3 &b)
                  {
                      bzV3 ra, rb;
                      bz_V3_SubInto(&a, &c, &ra);
                      bz_V3_SubInto(&b, &c, &rb);
                      return std::atan2(bz_V3_Dot(&ra, &w), bz_V3_Dot(&ra, &u)) <
                             std::atan2(bz_V3_Dot(&rb, &w), bz_V3_Dot(&rb, &u));
                  });
        double area = 0.0;
        for (size_t i = 1; i + 1 < on.size(); ++i)
        {
            bzV3 e1, e2, x;
            bz_V3_SubInto(&on[i], &on[0], &e1);
            bz_V3_SubInto(&on[i + 1], &on[0], &e2);
            bz_V3_CrossInto(&e1, &e2, &x);
            area += 0.5 * bz_V3_Length(&x);
        }
        volume += double(pl.d) * area / 3.0;
    }
    return volume;
}

// The volume of the hull of points in general position by brute force: every triangle of
// three points with all other points on one side of its plane is a face; tetrahedra from the
// mean point over the faces.
double BruteVolume(const std::vector<bzV3> &p)
{
    const size_t n = p.size();
    double cx = 0, cy = 0, cz = 0;
    for (const bzV3 &q : p)
        cx += q.x, cy += q.y, cz += q.z;
    cx /= double(n), cy /= double(n), cz /= double(n);
    double volume = 0.0;
    for (size_t i = 0; i < n; ++i)
        for (size_t j = i + 1; j < n; ++j)
            for (size_t k = j + 1; k < n; ++k)
            {
                const double ax = p[j].x - p[i].x, ay = p[j].y - p[i].y, az = p[j].z - p[i].z;
                const double bx = p[k].x - p[i].x, by = p[k].y - p[i].y, bz = p[k].z - p[i].z;
                const double nx = ay * bz - az * by, ny = az * bx - ax * bz, nz = ax * by - ay * bx;
                int above = 0, below = 0;
                for (size_t m = 0; m < n && !(above && below); ++m)
                {
                    if (m == i || m == j || m == k)
                        continue;
                    const double s =
                        nx * (p[m].x - p[i].x) + ny * (p[m].y - p[i].y) + nz * (p[m].z - p[i].z);
                    above += s > 0.0;
                    below += s < 0.0;
                }
                if (above && below)
                    continue;
                volume +=
                    std::fabs(nx * (p[i].x - cx) + ny * (p[i].y - cy) + nz * (p[i].z - cz)) / 6.0;
            }
    return volume;
}

// The offsets from vertex v to its neighbours along the hull's edges.
std::vector<bzV3> Cone(const bzHull &h, int32_t v)
{
    std::vector<bzV3> cone;
    for (int32_t e = 0; e < h.edgeCount; ++e)
    {
        int32_t other = -1;
        if (h.edges[e].a == v)
            other = h.edges[e].b;
        else if (h.edges[e].b == v)
            other = h.edges[e].a;
        if (other >= 0)
        {
            bzV3 d;
            bz_V3_SubInto(&h.vertices[other], &h.vertices[v], &d);
            cone.push_back(d);
        }
    }
    return cone;
}

std::vector<bzV3> Cloud(std::mt19937 &rng, int n, int shape)
{
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    std::normal_distribution<float> g(0.0f, 1.0f);
    std::vector<bzV3> points(static_cast<size_t>(n));
    for (bzV3 &p : points)
    {
        p = P(u(rng), u(rng), u(rng));
        if (shape == 1)
        {
            p = P(g(rng), g(rng), g(rng));
            bz_V3_Normalise(&p);
        }
        else if (shape == 2)
            p.x *= 5.0f;
    }
    return points;
}

TEST(HullThin, ConeVolumeOfFewPoints)
{
    std::vector<bzV3> two = {P(1, 0, 0), P(0, 1, 0)};
    EXPECT_EQ(ConeVolume(two.data(), 2), 0.0f);
    EXPECT_EQ(ConeVolume(nullptr, 0), 0.0f);
    // Three points: the tetrahedron with the apex, in any order and orientation.
    std::vector<bzV3> three = {P(1, 0, 0), P(0, 1, 0), P(0, 0, 1)};
    EXPECT_NEAR(ConeVolume(three.data(), 3), 1.0 / 6.0, 1e-7);
    std::vector<bzV3> turned = {P(0, 0, 2), P(0, 3, 0), P(1, 0, 0)};
    EXPECT_NEAR(ConeVolume(turned.data(), 3), 1.0, 1e-6);
    // The corner of a cube of side 2 seen from that corner: its three neighbours.
    std::vector<bzV3> corner = {P(2, 0, 0), P(0, 2, 0), P(0, 0, 2)};
    EXPECT_NEAR(ConeVolume(corner.data(), 3), 8.0 / 6.0, 1e-6);
}

TEST(HullThin, ConeVolumeIsTheVolumeAVertexTakesWithIt)
{
    std::mt19937 rng(77u);
    std::uniform_int_distribution<int> sizes(6, 22);
    for (int cloud = 0; cloud < 30; ++cloud)
    {
        OwnHull h(Cloud(rng, sizes(rng), cloud % 3));
        ASSERT_EQ(bz_Hull_Build(&h.hull, nullptr, nullptr), BZ_HULL_SOLID);
        const std::vector<bzV3> vertices = h.Vertices();
        const double whole = BruteVolume(vertices);
        ASSERT_NEAR(HullVolume(h.hull), whole, 1e-4 * whole);
        for (int32_t v = 0; v < h.hull.vertexCount; ++v)
        {
            std::vector<bzV3> cone = Cone(h.hull, v);
            const double coneVolume = ConeVolume(cone.data(), static_cast<int32_t>(cone.size()));
            std::vector<bzV3> without = vertices;
            without.erase(without.begin() + v);
            const double lost = whole - BruteVolume(without);
            EXPECT_NEAR(coneVolume, lost, 2e-4 * whole)
                << "cloud " << cloud << " vertex " << v << " of " << h.hull.vertexCount
                << ", cone of " << cone.size();
        }
        if (HasFailure())
            return;
    }
}

TEST(HullThin, RemovingTakesTheCheapestVertexAndVolumeNeverGrows)
{
    std::mt19937 rng(4242u);
    for (int cloud = 0; cloud < 12; ++cloud)
    {
        OwnHull h(Cloud(rng, 18, cloud % 3));
        ASSERT_EQ(bz_Hull_Build(&h.hull, nullptr, nullptr), BZ_HULL_SOLID);
        const std::vector<bzV3> original = h.Vertices();
        double volume = BruteVolume(original);
        while (h.hull.vertexCount > 4)
        {
            // Brute force: the most volume any single removal can keep.
            const std::vector<bzV3> vertices = h.Vertices();
            double best = 0.0;
            for (size_t v = 0; v < vertices.size(); ++v)
            {
                std::vector<bzV3> without = vertices;
                without.erase(without.begin() + static_cast<long>(v));
                best = std::max(best, BruteVolume(without));
            }
            const int16_t before = h.hull.vertexCount;
            ASSERT_EQ(RemoveLeastVolumeVertex(&h.hull), 1);
            ASSERT_EQ(h.hull.vertexCount, before - 1) << "a hull of points in general position";
            EXPECT_EQ(h.hull.vertexCount - h.hull.edgeCount + h.hull.faceCount, 2);
            const double now = BruteVolume(h.Vertices());
            EXPECT_LE(now, volume + 1e-5);
            EXPECT_NEAR(now, best, 2e-4 * volume) << "cloud " << cloud << " at " << before;
            volume = now;
            // Every vertex left is one of the hull's first vertices.
            for (int32_t i = 0; i < h.hull.vertexCount; ++i)
                EXPECT_TRUE(std::any_of(original.begin(), original.end(),
                                        [&](const bzV3 &q)
                                        { return bz_V3_DistanceSq(&q, &h.points[i]) == 0.0f; }));
            if (HasFailure())
                return;
        }
    }
}

TEST(HullThin, CubeThinnedToSixAndDownToNothing)
{
    std::vector<bzV3> cube;
    for (int i = 0; i < 8; ++i)
        cube.push_back(P(i & 1 ? 1.0f : -1.0f, i & 2 ? 1.0f : -1.0f, i & 4 ? 1.0f : -1.0f));
    OwnHull h(cube);
    ASSERT_EQ(bz_Hull_Build(&h.hull, nullptr, nullptr), BZ_HULL_SOLID);
    // Every corner costs the same (8/6): the lowest index goes first.
    const bzV3 first = h.points[0];
    ASSERT_EQ(RemoveLeastVolumeVertex(&h.hull), 1);
    EXPECT_EQ(h.hull.vertexCount, 7);
    EXPECT_NEAR(HullVolume(h.hull), 8.0 - 8.0 / 6.0, 1e-5);
    for (int32_t i = 0; i < h.hull.vertexCount; ++i)
        EXPECT_GT(bz_V3_DistanceSq(&h.points[i], &first), 0.0f);
    ASSERT_EQ(RemoveLeastVolumeVertex(&h.hull), 1);
    EXPECT_EQ(h.hull.vertexCount, 6);
    // On to a tetrahedron, then flat, a segment, a point and an empty hull.
    while (h.hull.vertexCount > 4)
        ASSERT_EQ(RemoveLeastVolumeVertex(&h.hull), 1);
    EXPECT_EQ(h.hull.faceCount, 4);
    ASSERT_EQ(RemoveLeastVolumeVertex(&h.hull), 1);
    EXPECT_EQ(h.hull.vertexCount, 3);
    EXPECT_EQ(h.hull.faceCount, 5) << "a flat triangle: two faces and three sides";
    ASSERT_EQ(RemoveLeastVolumeVertex(&h.hull), 1);
    EXPECT_EQ(h.hull.vertexCount, 2);
    ASSERT_EQ(RemoveLeastVolumeVertex(&h.hull), 1);
    EXPECT_EQ(h.hull.vertexCount, 1);
    EXPECT_EQ(RemoveLeastVolumeVertex(&h.hull), 0);
    EXPECT_EQ(h.hull.vertexCount, 0);
    EXPECT_EQ(h.hull.edgeCount, 0);
    EXPECT_EQ(h.hull.faceCount, 0);
    EXPECT_EQ(RemoveLeastVolumeVertex(&h.hull), 0);
}

TEST(HullThin, ThinningTakesNothingFromTheHeap)
{
    std::mt19937 rng(3u);
    OwnHull h(Cloud(rng, 192, 1));
    ASSERT_EQ(bz_Hull_Build(&h.hull, nullptr, nullptr), BZ_HULL_SOLID);
    bzMemStats before, after;
    bz_Mem_GetStats(&before);
    for (int i = 0; i < 20; ++i)
        ASSERT_EQ(RemoveLeastVolumeVertex(&h.hull), 1);
    bz_Mem_GetStats(&after);
    EXPECT_EQ(after.blockCount, before.blockCount);
    EXPECT_EQ(after.bytesAllocated, before.bytesAllocated);
    EXPECT_EQ(h.hull.vertexCount, 172);
}

std::vector<bzHullSourcePoint> Source(const std::vector<bzV3> &points)
{
    std::vector<bzHullSourcePoint> s;
    for (const bzV3 &p : points)
        s.push_back({p, {0xDEADBEEF, 7}});
    return s;
}

TEST(HullThin, ChoosePointsFarthestFirst)
{
    // Points on a line at 0..9: the ends, then the middle (4 before 5 on the tie), then 2 and 6
    // (2, 6 and 7 all lie 2 from the nearest chosen point: the lowest index goes first).
    std::vector<bzV3> line;
    for (int i = 0; i < 10; ++i)
        line.push_back(P(float(i), 0, 0));
    std::vector<bzHullSourcePoint> src = Source(line);
    bzHullPointSource source = {10, src.data()};
    std::vector<uint16_t> chosen(5);
    ASSERT_EQ(bz_Hull_ChoosePoints(&source, 5, chosen.data()), 0);
    EXPECT_EQ(chosen, (std::vector<uint16_t>{0, 9, 4, 2, 6}));

    // Covering: no point left out lies farther from the chosen ones than the chosen lie from
    // each other.
    std::mt19937 rng(99u);
    for (int cloud = 0; cloud < 20; ++cloud)
    {
        const int n = 20 + cloud * 7;
        std::vector<bzHullSourcePoint> s = Source(Cloud(rng, n, cloud % 3));
        bzHullPointSource cloudSource = {n, s.data()};
        const int wanted = 4 + cloud % 9;
        std::vector<uint16_t> idx(static_cast<size_t>(wanted), 0xFFFF);
        ASSERT_EQ(bz_Hull_ChoosePoints(&cloudSource, wanted, idx.data()), 0);
        std::vector<bool> taken(static_cast<size_t>(n), false);
        float closest = 1e30f;
        for (int i = 0; i < wanted; ++i)
        {
            ASSERT_LT(idx[i], n);
            ASSERT_FALSE(taken[idx[i]]) << "chosen twice";
            taken[idx[i]] = true;
            for (int j = 0; j < i; ++j)
                closest =
                    std::min(closest, bz_V3_DistanceSq(&s[idx[i]].position, &s[idx[j]].position));
        }
        for (int k = 0; k < n; ++k)
        {
            if (taken[k])
                continue;
            float nearest = 1e30f;
            for (int i = 0; i < wanted; ++i)
                nearest = std::min(nearest, bz_V3_DistanceSq(&s[k].position, &s[idx[i]].position));
            EXPECT_LE(nearest, closest * (1.0f + 1e-6f)) << "cloud " << cloud << " point " << k;
        }
    }
}

TEST(HullThin, ChoosePointsRefusals)
{
    std::mt19937 rng(5u);
    std::vector<bzHullSourcePoint> s = Source(Cloud(rng, 600, 0));
    std::vector<uint16_t> idx(600);
    bzHullPointSource few = {10, s.data()};
    EXPECT_EQ(bz_Hull_ChoosePoints(&few, 10, idx.data()), BZ_HULL_NOTHING_TO_CHOOSE);
    EXPECT_EQ(bz_Hull_ChoosePoints(&few, 12, idx.data()), BZ_HULL_NOTHING_TO_CHOOSE);
    EXPECT_EQ(bz_Hull_ChoosePoints(&few, 0, idx.data()), BZ_HULL_NOTHING_TO_CHOOSE);
    // Only 512 points are considered.
    bzHullPointSource many = {600, s.data()};
    EXPECT_EQ(bz_Hull_ChoosePoints(&many, 512, idx.data()), BZ_HULL_NOTHING_TO_CHOOSE);
    // The table of 512 points takes 523,264 bytes of temporary stack 1, or of the heap past
    // its end: with neither to be had, 5.
    const uint32_t left = bz_TempStack_SpaceLeft(1, 0);
    void *filler = left > 4096 ? bz_TempStack_Alloc(1, left - 4096, 0) : nullptr;
    RawAllocFailure failing;
    const int32_t starved = bz_Hull_ChoosePoints(&many, 20, idx.data());
    failing.Restore();
    if (filler)
        bz_TempStack_Free(1, filler);
    EXPECT_EQ(starved, BZ_HULL_NO_DISTANCE_TABLE);
    EXPECT_EQ(bz_Hull_ChoosePoints(&many, 20, idx.data()), 0);
    // Every index stays below the points considered.
    bzHullPointSource fits = {300, s.data()};
    ASSERT_EQ(bz_Hull_ChoosePoints(&fits, 30, idx.data()), 0);
    for (int i = 0; i < 30; ++i)
        EXPECT_LT(idx[i], 300);
}

TEST(HullThin, BuildFromSubset)
{
    std::mt19937 rng(8u);
    std::vector<bzV3> points = Cloud(rng, 60, 1);
    std::vector<bzHullSourcePoint> s = Source(points);
    std::vector<uint16_t> idx(60);
    {
        // More than wanted: the hull of the chosen points, which hold every chosen point.
        bzHullPointSource source = {60, s.data()};
        OwnHull h({}, 12);
        ASSERT_EQ(bz_Hull_BuildFromSubset(&h.hull, &source, idx.data(), 12), BZ_HULL_SOLID);
        EXPECT_LE(h.hull.vertexCount, 12);
        for (int i = 0; i < 12; ++i)
            for (int32_t f = 0; f < h.hull.faceCount; ++f)
                EXPECT_LE(bz_V3_Dot(&h.planes[f].n, &points[idx[i]]) - h.planes[f].d, 1e-5f);
        for (int32_t v = 0; v < h.hull.vertexCount; ++v)
            EXPECT_TRUE(std::any_of(
                idx.begin(), idx.begin() + 12,
                [&](uint16_t i) { return bz_V3_DistanceSq(&points[i], &h.points[v]) < 1e-10f; }));
    }
    {
        // No more than wanted: every point goes in.
        bzHullPointSource source = {10, s.data()};
        OwnHull h({}, 10);
        ASSERT_EQ(bz_Hull_BuildFromSubset(&h.hull, &source, idx.data(), 12), BZ_HULL_SOLID);
        EXPECT_EQ(h.hull.vertexCount, 10) << "points on a sphere are all vertices";
    }
    {
        // Points that do not fit the room fail with empty counts.
        bzHullPointSource source = {10, s.data()};
        OwnHull h({}, 8);
        h.hull.vertexCount = 3;
        EXPECT_EQ(bz_Hull_BuildFromSubset(&h.hull, &source, idx.data(), 12), BZ_HULL_FAILED);
        EXPECT_EQ(h.hull.vertexCount, 0);
    }
    {
        // A choice that cannot be made is passed on.
        bzHullPointSource source = {60, s.data()};
        OwnHull h({}, 60);
        EXPECT_EQ(bz_Hull_BuildFromSubset(&h.hull, &source, idx.data(), 0),
                  BZ_HULL_NOTHING_TO_CHOOSE);
    }
}
} // namespace
