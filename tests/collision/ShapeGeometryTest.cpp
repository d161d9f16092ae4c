// Shape geometry: point boxes, chains of shapes, face loops, polyhedron volume, oriented and
// minimum-volume boxes and the in-place transform of each kind.
#include "collision/Form.h"
#include "collision/ShapeGeometry.h"
#include "core/Error.h"
#include "maths/Matrix.h"
#include "maths/Vector.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace
{
struct FormHolder
{
    bzForm *form;
    FormHolder() : form(bz_Form_Alloc(nullptr, BZ_SHAPE_NULL)) {}
    ~FormHolder() { bz_Form_Free(form); }
};

std::vector<bzV3> BoxCorners(bzV3 lo, bzV3 hi)
{
    std::vector<bzV3> c;
    for (int i = 0; i < 8; i++)
        c.push_back({{{(i & 1) ? hi.x : lo.x, (i & 2) ? hi.y : lo.y, (i & 4) ? hi.z : lo.z}}});
    return c;
}

// A prepared polyhedral shape of the points, in the holder's form.
bzShape *Prepared(FormHolder &h, bzShapeKind kind, const std::vector<bzV3> &points)
{
    bzShape *s = bz_Shape_Create(h.form, kind, (uint32_t)points.size(), 0, 0);
    for (size_t i = 0; i < points.size(); i++)
        bz_Shape_Hull(s)->vertices[i] = points[i];
    FormAppendShape(h.form, s);
    EXPECT_EQ(bz_Shape_Prepare(s), 0);
    return s;
}

void Turn(std::vector<bzV3> &points, const bzM34 &m)
{
    for (bzV3 &p : points)
        bz_M34_TransformPoint(&m, &p);
}

TEST(ShapeGeometry, PointBoxesAndPlaneDistance)
{
    const bzV3 pts[3] = {{{{1, -2, 3}}}, {{{-1, 4, 0}}}, {{{0, 0, 5}}}};
    bzBox box;
    PointsBox(pts, 3, &box);
    EXPECT_EQ(box.min.x, -1.0f);
    EXPECT_EQ(box.min.y, -2.0f);
    EXPECT_EQ(box.max.z, 5.0f);
    EXPECT_FLOAT_EQ(BoxVolume(&box), 2.0f * 6.0f * 5.0f);
    PointsBoxGrown(pts, 3, 0.5f, &box);
    EXPECT_EQ(box.min.x, -1.5f);
    EXPECT_EQ(box.max.y, 4.5f);
    EXPECT_FLOAT_EQ(BoxVolume(&box), 3.0f * 7.0f * 6.0f);
    const bzPlane plane = {{{{0, 0, 1}}}, 2.0f};
    EXPECT_EQ(PlaneDistanceAbs(&pts[0], &plane), 1.0f);
    EXPECT_EQ(PlaneDistanceAbs(&pts[1], &plane), 2.0f);
}

TEST(ShapeGeometry, ChainEditing)
{
    FormHolder h;
    bzShape *a = bz_Shape_Create(h.form, BZ_SHAPE_SPHERE, 0, 0, 0);
    bzShape *b = bz_Shape_Create(h.form, BZ_SHAPE_SPHERE, 0, 0, 0);
    bzShape *c = bz_Shape_Create(h.form, BZ_SHAPE_SPHERE, 0, 0, 0);
    b->next = c; // a stale link is cleared on append
    EXPECT_EQ(FormAppendShape(h.form, a), 0);
    EXPECT_EQ(FormAppendShape(h.form, b), 0);
    EXPECT_EQ(b->next, nullptr);
    EXPECT_EQ(FormInsertShapeFirst(h.form, c), 0);
    EXPECT_EQ(h.form->firstShape, c);
    EXPECT_EQ(c->next, a);
    EXPECT_EQ(a->next, b);
    // Unlinking the first makes the second first; twice gives "not in list".
    EXPECT_EQ(FormUnlinkShape(h.form, c), 0);
    EXPECT_EQ(h.form->firstShape, a);
    EXPECT_EQ(c->next, nullptr);
    EXPECT_EQ(FormUnlinkShape(h.form, c), 135);
    EXPECT_EQ(bz_GetLastError(), 135);
    EXPECT_STREQ(bz_GetErrorText(135), "dynamics: Form not in list");
    // The last one.
    EXPECT_EQ(FormUnlinkShape(h.form, b), 0);
    EXPECT_EQ(a->next, nullptr);
    EXPECT_EQ(FormUnlinkShape(h.form, a), 0);
    EXPECT_EQ(h.form->firstShape, nullptr);
    EXPECT_EQ(FormUnlinkShape(h.form, a), 135);
}

TEST(ShapeGeometry, FaceLoopsOfACube)
{
    FormHolder h;
    bzShape *cube = Prepared(h, BZ_SHAPE_POLYHEDRON, BoxCorners({{{0, 0, 0}}}, {{{2, 2, 2}}}));
    const bzHull *hull = bz_Shape_Hull(cube);
    ASSERT_EQ(hull->faceCount, 6);
    for (int32_t f = 0; f < hull->faceCount; f++)
    {
        uint16_t loop[8];
        ASSERT_EQ(FaceVertexLoop(f, cube, loop, 8), 4) << f;
        EXPECT_EQ(FaceVertexCount(cube, f), 4);
        for (int32_t k = 0; k < 4; k++)
        {
            EXPECT_LT(PlaneDistanceAbs(&hull->vertices[loop[k]], &hull->planes[f]), 1e-6f);
            // Consecutive loop vertices are joined by an edge.
            const uint16_t a = loop[k], b = loop[(k + 1) % 4];
            bool joined = false;
            for (int32_t e = 0; e < hull->edgeCount; e++)
                joined = joined || (hull->edges[e].a == a && hull->edges[e].b == b) ||
                         (hull->edges[e].a == b && hull->edges[e].b == a);
            EXPECT_TRUE(joined) << "face " << f << " step " << k;
        }
        uint16_t small[3];
        EXPECT_EQ(FaceVertexLoop(f, cube, small, 3), -1);
    }
    uint16_t loop[8];
    EXPECT_EQ(FaceVertexLoop(6, cube, loop, 8), -1);
    EXPECT_EQ(FaceVertexLoop(-1, cube, loop, 8), -1);
}

TEST(ShapeGeometry, AFaceWhoseBoundaryDoesNotCloseFails)
{
    // Vertex 0 leads into the ring 2-3-4, which never comes back to it.
    bzShape *s = bz_Shape_Create(nullptr, BZ_SHAPE_POLYHEDRON, 5, 5, 1);
    ASSERT_NE(s, nullptr);
    bzHull *hull = bz_Shape_Hull(s);
    const float heights[5] = {0.0f, 0.5f, 0.1f, 0.2f, 0.3f};
    for (int i = 0; i < 5; i++)
        hull->vertices[i] = {{{(float)i, (float)(i * i), heights[i]}}};
    const bzHullEdge edges[5] = {{0, 1}, {1, 2}, {2, 3}, {3, 4}, {4, 2}};
    for (int i = 0; i < 5; i++)
        hull->edges[i] = edges[i];
    hull->planes[0] = {{{{0, 0, 1}}}, 0.0f};
    uint16_t loop[64];
    EXPECT_EQ(FaceVertexLoop(0, s, loop, 64), -1);
    EXPECT_EQ(FaceVertexCount(s, 0), -1);
    // An open path ends without a next vertex.
    hull->edges[4] = {0, 1};
    EXPECT_EQ(FaceVertexLoop(0, s, loop, 64), -1);
    bz_Shape_Free(s);
}

TEST(ShapeGeometry, PolyhedronVolumes)
{
    FormHolder h;
    bzM34 turn;
    const bzV3 axis = {{{1, 2, 3}}};
    bz_M34_FromAxisAngle(&turn, &axis, 37.0f);
    turn.row[3] = {{{4, -5, 6}}};
    std::vector<bzV3> turnedCube = BoxCorners({{{0, 0, 0}}}, {{{1, 1, 1}}});
    Turn(turnedCube, turn);
    struct Case
    {
        const char *what;
        std::vector<bzV3> points;
        float volume;
    };
    const Case cases[] = {
        {"unit cube", BoxCorners({{{0, 0, 0}}}, {{{1, 1, 1}}}), 1.0f},
        {"cube of side 2", BoxCorners({{{-1, -1, -1}}}, {{{1, 1, 1}}}), 8.0f},
        {"box", BoxCorners({{{1, 2, 3}}}, {{{3, 5, 7}}}), 24.0f},
        {"turned and moved unit cube", turnedCube, 1.0f},
        {"tetrahedron", {{{{0, 0, 0}}}, {{{1, 0, 0}}}, {{{0, 1, 0}}}, {{{0, 0, 1}}}}, 0.16666667f},
        {"octahedron",
         {{{{1, 0, 0}}},
          {{{-1, 0, 0}}},
          {{{0, 1, 0}}},
          {{{0, -1, 0}}},
          {{{0, 0, 1}}},
          {{{0, 0, -1}}}},
         1.3333334f},
        {"prism",
         {{{{0, 0, 0}}}, {{{2, 0, 0}}}, {{{0, 2, 0}}}, {{{0, 0, 3}}}, {{{2, 0, 3}}}, {{{0, 2, 3}}}},
         6.0f},
    };
    for (const Case &c : cases)
    {
        bzShape *s = Prepared(h, BZ_SHAPE_POLYHEDRON, c.points);
        EXPECT_NEAR(PolyhedronVolume(s), c.volume, 2e-6f * c.volume) << c.what;
    }
    // A flat set is a polygon of no volume.
    bzShape *flat = Prepared(h, BZ_SHAPE_POLYHEDRON,
                             {{{{0, 0, 0}}}, {{{3, 0, 0}}}, {{{3, 3, 0}}}, {{{0, 3, 0}}}});
    EXPECT_EQ(flat->kind, BZ_SHAPE_POLYGON);
    EXPECT_EQ(PolyhedronVolume(flat), 0.0f);
}

TEST(ShapeGeometry, PolyhedronVolumeRefusesMoreVerticesThanItsTable)
{
    bzShape *s = bz_Shape_Create(nullptr, BZ_SHAPE_POLYHEDRON, 192, 0, 0);
    ASSERT_NE(s, nullptr);
    bz_Shape_Hull(s)->vertexCount = 193; // a count written over by its user
    const uint32_t reports = bz_Error_ReportCount();
    EXPECT_EQ(PolyhedronVolume(s), 0.0f);
    EXPECT_EQ(bz_Error_ReportCount(), reports + 1);
    EXPECT_STREQ(bz_Error_LastReportCaption(), "Shape volume");
    bz_Shape_Free(s);
}

TEST(ShapeGeometry, OrientedBoxFollowsTheLongestEdge)
{
    FormHolder h;
    std::vector<bzV3> plank = BoxCorners({{{0, 0, 0}}}, {{{4, 1, 0.5f}}});
    bzM34 turn;
    bz_M34_RotationZ(&turn, 45.0f);
    Turn(plank, turn);
    bzShape *s = Prepared(h, BZ_SHAPE_POLYHEDRON, plank);
    const bzPolyhedronShape *p = bz_Shape_AsPolyhedron(s);
    EXPECT_NEAR(std::fabs(p->orientedFrame.row[0].x), 0.70710678f, 1e-6f);
    EXPECT_NEAR(std::fabs(p->orientedFrame.row[0].y), 0.70710678f, 1e-6f);
    EXPECT_NEAR(p->orientedBox.max.x - p->orientedBox.min.x, 4.0f, 1e-5f);
    EXPECT_NEAR(p->orientedBox.max.y - p->orientedBox.min.y, 1.0f, 1e-5f);
    EXPECT_NEAR(p->orientedBox.max.z - p->orientedBox.min.z, 0.5f, 1e-5f);
    EXPECT_NEAR(bz_V3_Length(&p->orientedFrame.row[2]), 1.0f, 1e-6f);
    EXPECT_EQ(p->orientedFrame.row[3].x, 0.0f);
}

TEST(ShapeGeometry, MinimumVolumeBoxOfAnAlignedBoxDoesNotTurn)
{
    const std::vector<bzV3> pts = BoxCorners({{{1, 2, 3}}}, {{{3, 5, 7}}});
    bzM34 rotation;
    bzBox box;
    EXPECT_EQ(FitMinimumVolumeBox(pts.data(), 8, &rotation, &box), 24.0f);
    EXPECT_EQ(bz_M34_IsIdentity(&rotation), 1);
    EXPECT_EQ(box.min.x, 1.0f);
    EXPECT_EQ(box.max.z, 7.0f);
    EXPECT_EQ(RotatedPointsBoxVolume(bz_M34_Identity(), pts.data(), 8, &box), 24.0f);
}

TEST(ShapeGeometry, MinimumVolumeBoxFindsATurnedBox)
{
    std::vector<bzV3> pts = BoxCorners({{{0, 0, 0}}}, {{{1, 2, 3}}});
    bzM34 turn;
    bz_M34_RotationZ(&turn, 30.0f);
    Turn(pts, turn);
    bzBox aligned;
    const float start = RotatedPointsBoxVolume(bz_M34_Identity(), pts.data(), 8, &aligned);
    bzM34 rotation;
    bzBox box;
    const float found = FitMinimumVolumeBox(pts.data(), 8, &rotation, &box);
    EXPECT_LT(found, start);
    EXPECT_NEAR(found, 6.0f, 0.06f);
    EXPECT_NEAR(BoxVolume(&box), found, 1e-5f);
}

TEST(ShapeGeometry, TransformMovesEachKind)
{
    FormHolder h;
    bzM34 m;
    bz_M34_RotationZ(&m, 90.0f);
    m.row[3] = {{{5, 0, 2}}};

    bzShape *sphere = bz_Shape_Create(h.form, BZ_SHAPE_SPHERE, 0, 0, 0);
    bz_Shape_AsSphere(sphere)->centre = {{{1, 0, 0}}};
    bz_Shape_AsSphere(sphere)->radius = 0.5f;
    EXPECT_EQ(bz_Shape_Transform(sphere, &m, 1), 0);
    const bzV3 &c = bz_Shape_AsSphere(sphere)->centre;
    EXPECT_NEAR(c.x, 5.0f, 1e-6f);
    EXPECT_NEAR(c.y, 1.0f, 1e-6f);
    EXPECT_NEAR(c.z, 2.0f, 1e-6f);
    EXPECT_NEAR(bz_Shape_Bounds(sphere)->min.y, 0.5f, 1e-6f);
    EXPECT_NEAR(bz_Shape_Bounds(sphere)->max.z, 2.5f, 1e-6f);

    bzShape *tt = bz_Shape_Create(h.form, BZ_SHAPE_TIC_TAC, 0, 0, 0);
    bz_Shape_AsTicTac(tt)->radius = 1.0f;
    bz_Shape_AsTicTac(tt)->segmentEnd = {{{0, 3, 0}}};
    bz_Shape_Transform(tt, &m, 1);
    EXPECT_NEAR(bz_Shape_AsTicTac(tt)->segmentEnd.x, 2.0f, 1e-6f);
    EXPECT_NEAR(bz_Shape_Bounds(tt)->min.x, 1.0f, 1e-6f);
    EXPECT_NEAR(bz_Shape_Bounds(tt)->max.x, 6.0f, 1e-6f);

    bzShape *box = bz_Shape_Create(h.form, BZ_SHAPE_ALIGNED_CUBOID, 0, 0, 0);
    *bz_Shape_Bounds(box) = {{{{0, 0, 0}}}, {{{1, 2, 3}}}};
    bz_Shape_Transform(box, &m, 1);
    EXPECT_NEAR(bz_Shape_Bounds(box)->min.x, 3.0f, 1e-6f);
    EXPECT_NEAR(bz_Shape_Bounds(box)->max.x, 5.0f, 1e-6f);
    EXPECT_NEAR(bz_Shape_Bounds(box)->max.y, 1.0f, 1e-6f);
    EXPECT_NEAR(bz_Shape_Hull(box)->vertices[7].z, 5.0f, 1e-6f);

    bzShape *cub = bz_Shape_Create(h.form, BZ_SHAPE_CUBOID, 0, 0, 0);
    bz_Shape_AsCuboid(cub)->localMin = {{{-1, -1, -1}}};
    bz_Shape_AsCuboid(cub)->localMax = {{{1, 1, 1}}};
    bz_M34_Translation(&bz_Shape_AsCuboid(cub)->placement, 3, 0, 0);
    bz_Shape_Prepare(cub);
    bz_Shape_Transform(cub, &m, 1);
    EXPECT_NEAR(bz_Shape_AsCuboid(cub)->placement.row[3].y, 3.0f, 1e-6f);
    EXPECT_NEAR(bz_Shape_Bounds(cub)->min.y, 2.0f, 1e-6f);
    EXPECT_NEAR(bz_Shape_Bounds(cub)->max.x, 6.0f, 1e-6f);
    EXPECT_NEAR(bz_Shape_Hull(cub)->vertices[0].y, 2.0f, 1e-6f);

    // An XMinus half-space x >= -2 moved by +1 along x becomes the plane -x <= 1.
    bzShape *half = bz_Shape_CreateAlignedHalfSpace(h.form, BZ_DIRECTION_X_MINUS, 2.0f);
    bzM34 shift;
    bz_M34_Translation(&shift, 1, 0, 0);
    EXPECT_EQ(bz_Shape_Transform(half, &shift, 1), 0);
    EXPECT_EQ(half->kind, BZ_SHAPE_HALF_SPACE);
    EXPECT_EQ(bz_Shape_AsHalfSpace(half)->plane.n.x, -1.0f);
    EXPECT_FLOAT_EQ(bz_Shape_AsHalfSpace(half)->plane.d, 1.0f);
    bz_Shape_Transform(half, &m, 1);
    EXPECT_NEAR(bz_Shape_AsHalfSpace(half)->plane.n.y, -1.0f, 1e-6f);
}

TEST(ShapeGeometry, TransformCarriesHullsAndTheirPlanes)
{
    for (int32_t ortho : {1, 0})
    {
        FormHolder h;
        bzShape *cube = Prepared(h, BZ_SHAPE_POLYHEDRON, BoxCorners({{{0, 0, 0}}}, {{{1, 1, 1}}}));
        bzShape *round =
            Prepared(h, BZ_SHAPE_ROUNDED_POLYHEDRON, BoxCorners({{{0, 0, 0}}}, {{{1, 1, 1}}}));
        bzM34 m;
        bz_M34_RotationX(&m, 30.0f);
        if (!ortho)
            bz_M34_ScaleRows(&m, 2.0f, 1.0f,
                             1.0f); // stretched along x: planes need the general rule
        m.row[3] = {{{-1, 2, 0.5f}}};
        bz_Form_TransformShapes(h.form, &m, ortho);
        for (bzShape *s : {cube, round})
        {
            const bzHull *hull = bz_Shape_Hull(s);
            for (int32_t f = 0; f < hull->faceCount; f++)
            {
                EXPECT_NEAR(bz_V3_Length(&hull->planes[f].n), 1.0f, 1e-6f);
                int on = 0;
                for (int32_t v = 0; v < hull->vertexCount; v++)
                {
                    const float d =
                        bz_V3_Dot(&hull->planes[f].n, &hull->vertices[v]) - hull->planes[f].d;
                    EXPECT_LE(d, 1e-5f) << "ortho " << ortho << " face " << f;
                    on += std::fabs(d) < 1e-5f;
                }
                EXPECT_EQ(on, 4) << "ortho " << ortho << " face " << f;
            }
        }
        EXPECT_NEAR(PolyhedronVolume(cube), ortho ? 1.0f : 2.0f, 1e-5f);
        // Bounds follow the vertices, grown by the rounding.
        const bzBox *b = bz_Shape_Bounds(cube), *r = bz_Shape_Bounds(round);
        EXPECT_NEAR(r->min.x, b->min.x - 0.1f, 1e-6f);
        EXPECT_NEAR(r->max.z, b->max.z + 0.1f, 1e-6f);
        EXPECT_NEAR(b->min.x, -1.0f, 1e-6f);
        EXPECT_NEAR(h.form->bounds.max.x, r->max.x, 1e-6f);
    }
}
} // namespace
