// The skeleton's shape maker: two points give a capsule lump around their segment, more give a
// rounded hull lump whose model lies the radius out from the hull of the points, both checked
// against distances worked out here; points that make no shape give null with 29 and no
// report, and the installer puts the maker in place of the one found.
#include "formview/SkeletonShapes.h"

#include "ModelsTestSupport.h"
#include "core/Error.h"
#include "models/Model.h"
#include "models/SceneLink.h"
#include "models/SkeletonDebug.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace
{
using SkeletonShapesTest = ModelSceneTest;

bzV3 V(float x, float y, float z)
{
    return bzV3{{{x, y, z}}};
}
bzV3 Sub(const bzV3 &a, const bzV3 &b)
{
    return V(a.x - b.x, a.y - b.y, a.z - b.z);
}
bzV3 Add(const bzV3 &a, const bzV3 &b)
{
    return V(a.x + b.x, a.y + b.y, a.z + b.z);
}
bzV3 Scale(const bzV3 &a, float s)
{
    return V(a.x * s, a.y * s, a.z * s);
}
float Dot(const bzV3 &a, const bzV3 &b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
bzV3 Cross(const bzV3 &a, const bzV3 &b)
{
    return V(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
}
float Length(const bzV3 &a)
{
    return std::sqrt(Dot(a, a));
}

// The corners of the model's polygons.
std::vector<bzV3> PolygonVertices(bzLump *lump)
{
    std::vector<bzV3> out;
    const bzModel *model = bz_Lump_GetModel(lump);
    if (!model || !model->vertexData)
        return out;
    const bzModelVertexData *data = model->vertexData;
    for (int32_t i = 0; i < data->polygonCount; i++)
        for (int k = 0; k < 3; k++)
        {
            const bzModelDataVertex &v = data->vertices[data->polygons[i].v[k]];
            out.push_back(V(v.x, v.y, v.z));
        }
    return out;
}

// The closest point of the segment a-b to p.
bzV3 ClosestOnSegment(const bzV3 &p, const bzV3 &a, const bzV3 &b)
{
    const bzV3 ab = Sub(b, a);
    const float t = std::fmin(std::fmax(Dot(Sub(p, a), ab) / Dot(ab, ab), 0.0f), 1.0f);
    return Add(a, Scale(ab, t));
}

// The distance of p from the solid triangle a b c: the plane's foot when it falls inside the
// triangle, else the nearest of the three sides.
float TriangleDistance(const bzV3 &p, const bzV3 &a, const bzV3 &b, const bzV3 &c)
{
    const bzV3 n = Cross(Sub(b, a), Sub(c, a));
    const bzV3 foot = Sub(p, Scale(n, Dot(Sub(p, a), n) / Dot(n, n)));
    const bool inside = Dot(Cross(Sub(b, a), Sub(foot, a)), n) >= 0 &&
                        Dot(Cross(Sub(c, b), Sub(foot, b)), n) >= 0 &&
                        Dot(Cross(Sub(a, c), Sub(foot, c)), n) >= 0;
    if (inside)
        return Length(Sub(p, foot));
    return std::fmin(Length(Sub(p, ClosestOnSegment(p, a, b))),
                     std::fmin(Length(Sub(p, ClosestOnSegment(p, b, c))),
                               Length(Sub(p, ClosestOnSegment(p, c, a)))));
}

TEST_F(SkeletonShapesTest, TwoPointsGiveACapsuleAroundTheirSegment)
{
    // Along z from (1, 2, 3) to (1, 2, 5): every vertex 0.1 from the segment, the caps reaching
    // 0.1 past each end, so z runs 2.9 to 5.1 and x, y no farther than 0.1 from 1 and 2; the
    // ring across the axis reaches x = 0.9 and 1.1.
    const bzV3 points[2] = {V(1, 2, 3), V(1, 2, 5)};
    bzLump *lump = bz_FormView_CreateSkeletonShapeLump(BZ_SKELETON_SHAPE_TICTAC, points, 2, 0.1f);
    ASSERT_NE(lump, nullptr);
    EXPECT_EQ(lump->type, BZ_LUMP_TYPE_MODEL);
    EXPECT_STREQ(bz_Lump_GetModel(lump)->name, "tic_tac");
    // The capsule model keeps spare vertex rows that no polygon uses: those are within the
    // radius, the polygons' on it.
    for (const bzV3 &p : ModelVertices(lump))
        EXPECT_LE(Length(Sub(p, ClosestOnSegment(p, points[0], points[1]))), 0.1f + 1e-5f);
    const std::vector<bzV3> vertices = PolygonVertices(lump);
    ASSERT_FALSE(vertices.empty());
    bzV3 lo = V(1e30f, 1e30f, 1e30f), hi = V(-1e30f, -1e30f, -1e30f);
    for (const bzV3 &p : vertices)
    {
        EXPECT_NEAR(Length(Sub(p, ClosestOnSegment(p, points[0], points[1]))), 0.1f, 1e-5f);
        for (int k = 0; k < 3; k++)
        {
            lo.v[k] = std::fmin(lo.v[k], p.v[k]);
            hi.v[k] = std::fmax(hi.v[k], p.v[k]);
        }
    }
    EXPECT_NEAR(lo.z, 2.9f, 1e-5f);
    EXPECT_NEAR(hi.z, 5.1f, 1e-5f);
    EXPECT_NEAR(lo.x, 0.9f, 1e-5f);
    EXPECT_NEAR(hi.x, 1.1f, 1e-5f);
    EXPECT_GE(lo.y, 1.9f - 1e-5f);
    EXPECT_LE(hi.y, 2.1f + 1e-5f);
    bz_Lump_DestroyTree(lump);
}

struct HullCase
{
    const char *name;
    std::vector<bzV3> points;
    // The triangles of the points' hull, by index.
    std::vector<std::array<int, 3>> faces;
};

TEST_F(SkeletonShapesTest, MorePointsGiveTheirHullRoundedByTheRadius)
{
    // A bone's points: three children's offsets and its own origin, the corners of a
    // tetrahedron; and the same with a fifth point inside, which the hull leaves out.
    const HullCase cases[] = {
        {"tetrahedron",
         {V(1, 0, 0), V(0, 1, 0), V(0, 0, 1), V(0, 0, 0)},
         {{0, 1, 2}, {0, 1, 3}, {0, 2, 3}, {1, 2, 3}}},
        {"tetrahedron round a point",
         {V(0.1f, 0.1f, 0.1f), V(1, 0, 0), V(0, 1, 0), V(0, 0, 1), V(0, 0, 0)},
         {{1, 2, 3}, {1, 2, 4}, {1, 3, 4}, {2, 3, 4}}},
    };
    for (const HullCase &c : cases)
    {
        SCOPED_TRACE(c.name);
        bzLump *lump = bz_FormView_CreateSkeletonShapeLump(
            BZ_SKELETON_SHAPE_ROUNDED_POLYHEDRON, c.points.data(),
            static_cast<int32_t>(c.points.size()), 0.1f);
        ASSERT_NE(lump, nullptr);
        EXPECT_EQ(lump->type, BZ_LUMP_TYPE_MODEL);
        EXPECT_STREQ(lump->name, "Polyhedron");
        const std::vector<bzV3> vertices = PolygonVertices(lump);
        ASSERT_FALSE(vertices.empty());
        // Every vertex is 0.1 from the hull: the nearest of its triangles (the vertex is outside,
        // so the nearest point of the hull is on its surface).
        for (const bzV3 &p : vertices)
        {
            float distance = 1e30f;
            for (const auto &f : c.faces)
                distance = std::fmin(
                    distance, TriangleDistance(p, c.points[f[0]], c.points[f[1]], c.points[f[2]]));
            EXPECT_NEAR(distance, 0.1f, 1e-4f);
        }
        // Each face is covered: some vertex lies 0.1 out along the face's normal from within
        // the face (its distance to the face's plane is the full 0.1).
        for (const auto &f : c.faces)
        {
            const bzV3 a = c.points[f[0]];
            bzV3 n = Cross(Sub(c.points[f[1]], a), Sub(c.points[f[2]], a));
            n = Scale(n, 1.0f / Length(n));
            bool found = false;
            for (const bzV3 &p : vertices)
                if (std::fabs(std::fabs(Dot(Sub(p, a), n)) - 0.1f) < 1e-4f &&
                    std::fabs(TriangleDistance(p, a, c.points[f[1]], c.points[f[2]]) - 0.1f) <
                        1e-4f)
                    found = true;
            EXPECT_TRUE(found) << "no vertex over face " << f[0] << f[1] << f[2];
        }
        bz_Lump_DestroyTree(lump);
    }
}

TEST_F(SkeletonShapesTest, PointsThatMakeNoShapeGiveNull)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const bzV3 same[4] = {V(1, 2, 3), V(1, 2, 3), V(1, 2, 3), V(1, 2, 3)};
    const bzV3 line[4] = {V(0, 0, 0), V(1, 1, 1), V(2, 2, 2), V(-1, -1, -1)};
    const bzV3 good[4] = {V(1, 0, 0), V(0, 1, 0), V(0, 0, 1), V(0, 0, 0)};
    const bzV3 flat[4] = {V(0, 1, 0), V(1, 0, 0), V(-1, 0, 0), V(0, -1, 0)};
    const bzV3 withNan[4] = {V(1, 0, 0), V(0, nan, 0), V(0, 0, 1), V(0, 0, 0)};
    const bzV3 withInf[2] = {V(0, 0, 0), V(inf, 0, 0)};
    struct Case
    {
        const char *name;
        int32_t kind;
        const bzV3 *points;
        int32_t count;
        float radius;
    };
    const int32_t tictac = BZ_SKELETON_SHAPE_TICTAC;
    const int32_t rounded = BZ_SKELETON_SHAPE_ROUNDED_POLYHEDRON;
    const Case cases[] = {
        {"tic-tac of one point twice", tictac, same, 2, 0.1f},
        {"hull of one point four times", rounded, same, 4, 0.1f},
        {"hull of points on a line", rounded, line, 4, 0.1f},
        {"hull of three points on a line", rounded, line, 3, 0.1f},
        {"hull of two points", rounded, good, 2, 0.1f},
        {"hull of three points", rounded, flat, 3, 0.1f},
        {"hull of four points in a plane", rounded, flat, 4, 0.1f},
        {"tic-tac of three points", tictac, good, 3, 0.1f},
        {"tic-tac of one point", tictac, good, 1, 0.1f},
        {"no points", rounded, nullptr, 4, 0.1f},
        {"a NaN point", rounded, withNan, 4, 0.1f},
        {"an infinite end", tictac, withInf, 2, 0.1f},
        {"a negative radius", rounded, good, 4, -0.1f},
        {"a NaN radius", tictac, good, 2, nan},
        {"a sphere's kind", 5, good, 4, 0.1f},
        {"a negative count", rounded, good, -4, 0.1f},
        {"more points than a shape holds", rounded, good, 100000, 0.1f},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.name);
        bzgLastError = 0;
        EXPECT_EQ(bz_FormView_CreateSkeletonShapeLump(c.kind, c.points, c.count, c.radius),
                  nullptr);
        EXPECT_EQ(bzgLastError, BZ_ERROR_INVALID_PARAMETER);
    }
}

TEST_F(SkeletonShapesTest, TheInstallerPutsTheMakerInPlace)
{
    bzSkeletonShapeServices found{};
    bz_Skeleton_GetShapeServices(&found);
    bz_Skeleton_SetShapeServices(nullptr);
    bz_FormView_InstallSkeletonShapes();
    bzSkeletonShapeServices now{};
    bz_Skeleton_GetShapeServices(&now);
    EXPECT_EQ(now.createShapeLump, &bz_FormView_CreateSkeletonShapeLump);
    bz_Skeleton_SetShapeServices(&found);
}
} // namespace
