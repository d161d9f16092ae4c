// Forms and shapes: creation and its limits, preparation, bounds and work size, volumes,
// copies, forms from models and the overlap of a placed box with a form.
#include "FakeFormBuilders.h"
#include "collision/Form.h"
#include "collision/ShapeGeometry.h"
#include "core/Error.h"
#include "core/Memory.h"
#include "maths/Matrix.h"
#include "maths/Vector.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace
{
// Checks that exactly one report with this caption and text was made since it was created.
class ReportWatch
{
public:
    ReportWatch() : count_(bz_Error_ReportCount()) {}
    void Expect(const char *caption, const char *text) const
    {
        EXPECT_EQ(bz_Error_ReportCount(), count_ + 1);
        EXPECT_STREQ(bz_Error_LastReportCaption(), caption);
        const std::string got = bz_Error_LastReportText();
        EXPECT_EQ(got.substr(0, got.find('\n')), text);
    }
    void ExpectNone() const { EXPECT_EQ(bz_Error_ReportCount(), count_); }

private:
    uint32_t count_;
};

// A form owns everything made under it; freeing it at the end lets the leak check see misses.
struct FormHolder
{
    bzForm *form;
    explicit FormHolder(bzForm *f) : form(f) {}
    ~FormHolder() { bz_Form_Free(form); }
};

bzShape *AddPolyhedron(bzForm *form, bzShapeKind kind, const std::vector<bzV3> &points)
{
    bzShape *s = bz_Shape_Create(form, kind, (uint32_t)points.size(), 0, 0);
    if (!s)
        return nullptr;
    bzHull *hull = bz_Shape_Hull(s);
    for (size_t i = 0; i < points.size(); i++)
        hull->vertices[i] = points[i];
    FormAppendShape(form, s);
    return s;
}

std::vector<bzV3> Cube(float lo, float hi)
{
    std::vector<bzV3> c;
    for (int i = 0; i < 8; i++)
        c.push_back({{{(i & 1) ? hi : lo, (i & 2) ? hi : lo, (i & 4) ? hi : lo}}});
    return c;
}

bzShape *AddSphere(bzForm *form, bzV3 centre, float radius)
{
    bzShape *s = bz_Shape_Create(form, BZ_SHAPE_SPHERE, 0, 0, 0);
    bz_Shape_AsSphere(s)->centre = centre;
    bz_Shape_AsSphere(s)->radius = radius;
    FormAppendShape(form, s);
    return s;
}

bzShape *AddAlignedCuboid(bzForm *form, bzBox box)
{
    bzShape *s = bz_Shape_Create(form, BZ_SHAPE_ALIGNED_CUBOID, 0, 0, 0);
    *bz_Shape_Bounds(s) = box;
    FormAppendShape(form, s);
    return s;
}

void ExpectBox(const bzBox &box, bzBox expected, float tolerance)
{
    for (int i = 0; i < 3; i++)
    {
        EXPECT_NEAR(box.min.v[i], expected.min.v[i], tolerance) << "min " << i;
        EXPECT_NEAR(box.max.v[i], expected.max.v[i], tolerance) << "max " << i;
    }
}

TEST(Form, KindAndDirectionNamesAreTheTextFilesWords)
{
    const char *kinds[] = {"Null",
                           "AlignedCuboid",
                           "Polyhedron",
                           "WireFrame",
                           "Polygon",
                           "Sphere",
                           "TicTac",
                           "Cuboid",
                           "AlignedHalfSpace",
                           "HalfSpace",
                           "RoundedPolyhedron",
                           "CrushableCuboid"};
    for (uint32_t k = 0; k < 12; k++)
        EXPECT_STREQ(bz_ShapeKind_Name(k), kinds[k]);
    EXPECT_EQ(bz_ShapeKind_Name(12), nullptr);
    EXPECT_EQ(bz_ShapeKind_FromName("TicTac"), 6u);
    EXPECT_EQ(bz_ShapeKind_FromName("roundedpolyhedron"), 10u);
    EXPECT_EQ(bz_ShapeKind_FromName("Capsule"), 0u);
    const char *directions[] = {"XPlus", "XMinus", "YPlus", "YMinus", "ZPlus", "ZMinus"};
    for (uint32_t d = 0; d < 6; d++)
    {
        EXPECT_STREQ(bz_ShapeDirection_Name(d), directions[d]);
        EXPECT_EQ(bz_ShapeDirection_FromName(directions[d]), (int32_t)d);
    }
    EXPECT_EQ(bz_ShapeDirection_Name(6), nullptr);
    EXPECT_EQ(bz_ShapeDirection_Name(0xFFFFFFFFu), nullptr);
    EXPECT_EQ(bz_ShapeDirection_FromName("Up"), -1);
}

TEST(Form, FormWithoutShapesHasZeroBoundsAndVolume)
{
    FormHolder h(bz_Form_Alloc(nullptr, BZ_SHAPE_NULL));
    ASSERT_NE(h.form, nullptr);
    h.form->flags = 3;
    h.form->workSize = 77;
    h.form->bounds = {{{{1, 2, 3}}}, {{{4, 5, 6}}}};
    EXPECT_EQ(bz_Form_CalcBounds(h.form, 1), 0);
    ExpectBox(h.form->bounds, {{{{0, 0, 0}}}, {{{0, 0, 0}}}}, 0.0f);
    EXPECT_EQ(h.form->flags, 0u);
    EXPECT_EQ(h.form->workSize, 77);
    EXPECT_EQ(bz_Form_Volume(h.form), 0.0f);
    EXPECT_EQ(bz_Form_Volume(nullptr), 0.0f);
}

TEST(Form, WorkSizeIsTheLargestShapesNeed)
{
    FormHolder h(bz_Form_Alloc(nullptr, BZ_SHAPE_NULL));
    AddSphere(h.form, {{{0, 0, 0}}}, 1.0f);
    bz_Form_CalcBounds(h.form, 1);
    EXPECT_EQ(h.form->workSize, 28);
    bzShape *tt = bz_Shape_Create(h.form, BZ_SHAPE_TIC_TAC, 0, 0, 0);
    bz_Shape_AsTicTac(tt)->radius = 0.5f;
    FormAppendShape(h.form, tt);
    bz_Form_CalcBounds(h.form, 1);
    EXPECT_EQ(h.form->workSize, 56);
    AddAlignedCuboid(h.form, {{{-1, -1, -1}}, {{{1, 1, 1}}}});
    bz_Form_CalcBounds(h.form, 1);
    EXPECT_EQ(h.form->workSize, 416);

    // A cube as a polyhedron: 8 vertices and 6 faces need 416 too.
    FormHolder p(bz_Form_Alloc(nullptr, BZ_SHAPE_NULL));
    AddPolyhedron(p.form, BZ_SHAPE_POLYHEDRON, Cube(0, 1));
    bz_Form_CalcBounds(p.form, 1);
    EXPECT_EQ(p.form->workSize, 416);
}

TEST(Form, DefaultRoomFollowsTheVertexCount)
{
    struct Case
    {
        uint32_t v;
        int16_t edges, faces;
    };
    const Case cases[] = {{4, 6, 6}, {6, 12, 8}, {8, 18, 12}, {5, 9, 7}, {192, 570, 380}};
    for (const Case &c : cases)
    {
        bzShape *s = bz_Shape_Create(nullptr, BZ_SHAPE_POLYHEDRON, c.v, 0, 0);
        ASSERT_NE(s, nullptr) << c.v;
        const bzHull *hull = bz_Shape_Hull(s);
        EXPECT_EQ(hull->vertexCount, (int16_t)c.v);
        EXPECT_EQ(hull->edgeCount, c.edges) << c.v;
        EXPECT_EQ(hull->faceCount, c.faces) << c.v;
        EXPECT_EQ(hull->edgeRoom, c.edges);
        EXPECT_EQ(hull->faceRoom, c.faces);
        bz_Shape_Free(s);
    }
    // Only the low 16 bits of each parameter word count.
    const uint32_t params[3] = {0x70004u, 0x10000u, 0xFFFF0000u};
    bzShape *s = bz_Form_Create(nullptr, BZ_SHAPE_WIRE_FRAME, params);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(bz_Shape_Hull(s)->vertexCount, 4);
    EXPECT_EQ(bz_Shape_Hull(s)->edgeCount, 6);
    bz_Shape_Free(s);
    // A rounded polyhedron starts with its rounding radius and a work entry per edge.
    bzShape *r = bz_Shape_Create(nullptr, BZ_SHAPE_ROUNDED_POLYHEDRON, 8, 0, 0);
    ASSERT_NE(r, nullptr);
    EXPECT_FLOAT_EQ(bz_Shape_AsPolyhedron(r)->roundingRadius, 0.1f);
    EXPECT_NE(bz_Shape_AsPolyhedron(r)->hullWork, nullptr);
    bz_Shape_Free(r);
}

TEST(Form, CountsPastTheLimitsAreRefusedAtCreation)
{
    struct Case
    {
        const char *what;
        bzShapeKind kind;
        uint32_t v, e, f;
        const char *text;
    };
    const Case cases[] = {
        {"193 vertices", BZ_SHAPE_POLYHEDRON, 193, 0, 0, "Shape of 193 vertices: at most 192"},
        {"65535 vertices", BZ_SHAPE_ROUNDED_POLYHEDRON, 65535, 0, 0,
         "Shape of 65535 vertices: at most 192"},
        {"381 faces", BZ_SHAPE_POLYGON, 8, 0, 381, "Shape of 381 faces: at most 380"},
        {"571 edges", BZ_SHAPE_POLYHEDRON, 8, 571, 0, "Shape of 571 edges: at most 570"},
        {"wire frame of 257 edges", BZ_SHAPE_WIRE_FRAME, 8, 257, 0,
         "Shape of 257 edges: at most 256"},
        {"wire frame of 100 vertices and default edges", BZ_SHAPE_WIRE_FRAME, 100, 0, 0,
         "Shape of 294 edges: at most 256"},
    };
    for (const Case &c : cases)
    {
        ReportWatch watch;
        EXPECT_EQ(bz_Shape_Create(nullptr, c.kind, c.v, c.e, c.f), nullptr) << c.what;
        watch.Expect("bz_Form_Create", c.text);
    }
}

TEST(Form, UnknownKindsAreReportedAndGiveNeutralResults)
{
    for (bzShapeKind kind : {0u, 12u, 0xFFFFFFFFu})
    {
        ReportWatch watch;
        EXPECT_EQ(bz_Shape_Create(nullptr, kind, 4, 0, 0), nullptr);
        watch.Expect("bz_Form_Create", "Unknown shape");
    }
    {
        ReportWatch watch;
        EXPECT_EQ(ShapeSizeOfKind(99), 0u);
        watch.Expect("bz_Form_Create", "Unknown shape");
    }
    // A shape whose kind word was overwritten.
    FormHolder h(bz_Form_Alloc(nullptr, BZ_SHAPE_SPHERE));
    bzShape *s = h.form->firstShape;
    s->kind = 42;
    {
        ReportWatch watch;
        EXPECT_EQ(bz_Shape_Prepare(s), 0);
        watch.Expect("bz_Form_Create", "Unknown shape");
    }
    {
        ReportWatch watch;
        EXPECT_EQ(bz_Shape_Volume(s), 0.0f);
        watch.Expect("Shape volume", "Unknown shape");
    }
    {
        ReportWatch watch;
        EXPECT_EQ(bz_Shape_Clone(nullptr, s), nullptr);
        watch.Expect("Clone form", "Can't clone this form type yet");
    }
    const bzBox box = {{{{-1, -1, -1}}}, {{{1, 1, 1}}}};
    {
        ReportWatch watch;
        EXPECT_EQ(bz_Form_BoxOverlaps(&box, nullptr, h.form, nullptr), 0);
        watch.Expect("Intersections", "shape not done yet");
    }
    s->kind = BZ_SHAPE_SPHERE;
}

TEST(Form, AlignedHalfSpaceDirectionOutsideTheSixIsRefused)
{
    {
        ReportWatch watch;
        EXPECT_EQ(bz_Shape_CreateAlignedHalfSpace(nullptr, 6, 1.0f), nullptr);
        watch.Expect("bz_Form_Create", "Unknown half-space direction 6");
    }
    FormHolder h(bz_Form_Alloc(nullptr, BZ_SHAPE_NULL));
    bzShape *s = bz_Shape_CreateAlignedHalfSpace(h.form, BZ_DIRECTION_Y_MINUS, 2.5f);
    ASSERT_NE(s, nullptr);
    FormAppendShape(h.form, s);
    bzPlane plane;
    ASSERT_EQ(bz_AlignedHalfSpace_Plane(bz_Shape_AsHalfSpace(s), &plane), 1);
    EXPECT_EQ(plane.n.y, -1.0f);
    EXPECT_EQ(plane.n.x, 0.0f);
    EXPECT_EQ(plane.d, 2.5f);
    EXPECT_EQ(bz_Shape_Prepare(s), 0);
    // A direction written over later: refused by preparation, transform and the plane reader.
    bz_Shape_AsHalfSpace(s)->direction = 1000;
    {
        ReportWatch watch;
        EXPECT_EQ(bz_Shape_Prepare(s), BZ_ERROR_PARAMETER_OUT_OF_RANGE);
        watch.Expect("bz_Form_Create", "Unknown half-space direction 1000");
    }
    EXPECT_EQ(bz_AlignedHalfSpace_Plane(bz_Shape_AsHalfSpace(s), &plane), 0);
    EXPECT_EQ(bz_Shape_Transform(s, bz_M34_Identity(), 1), BZ_ERROR_PARAMETER_OUT_OF_RANGE);
    EXPECT_EQ(s->kind, BZ_SHAPE_ALIGNED_HALF_SPACE);
}

TEST(Form, FlatPolyhedronBecomesAPolygonButARoundedOneStays)
{
    const std::vector<bzV3> flat = {
        {{{0, 0, 1}}}, {{{2, 0, 1}}}, {{{2, 3, 1}}}, {{{0, 3, 1}}}, {{{1, 1, 1}}}};
    FormHolder h(bz_Form_Alloc(nullptr, BZ_SHAPE_NULL));
    bzShape *poly = AddPolyhedron(h.form, BZ_SHAPE_POLYHEDRON, flat);
    bzShape *round = AddPolyhedron(h.form, BZ_SHAPE_ROUNDED_POLYHEDRON, flat);
    EXPECT_EQ(bz_Shape_Prepare(poly), 0);
    EXPECT_EQ(poly->kind, BZ_SHAPE_POLYGON);
    EXPECT_EQ(bz_Shape_Hull(poly)->vertexCount, 4);
    EXPECT_EQ(bz_Shape_Volume(poly), 0.0f);
    ExpectBox(*bz_Shape_Bounds(poly), {{{{0, 0, 1}}}, {{{2, 3, 1}}}}, 0.0f);

    EXPECT_EQ(bz_Shape_Prepare(round), 0);
    EXPECT_EQ(round->kind, BZ_SHAPE_ROUNDED_POLYHEDRON);
    ExpectBox(*bz_Shape_Bounds(round), {{{{-0.1f, -0.1f, 0.9f}}}, {{{2.1f, 3.1f, 1.1f}}}}, 1e-6f);
    // Its oriented box lies along the long side, then the short one, grown by the rounding.
    const bzBox &ob = bz_Shape_AsPolyhedron(round)->orientedBox;
    EXPECT_NEAR(ob.max.x - ob.min.x, 3.2f, 1e-6f);
    EXPECT_NEAR(ob.max.y - ob.min.y, 2.2f, 1e-6f);
    EXPECT_NEAR(ob.max.z - ob.min.z, 0.2f, 1e-6f);
    EXPECT_NEAR(std::fabs(bz_Shape_AsPolyhedron(round)->orientedFrame.row[0].y), 1.0f, 1e-6f);

    // A solid set of points turns a Polygon back into a Polyhedron.
    FormHolder s(bz_Form_Alloc(nullptr, BZ_SHAPE_NULL));
    bzShape *p2 = AddPolyhedron(s.form, BZ_SHAPE_POLYGON, Cube(0, 1));
    EXPECT_EQ(bz_Shape_Prepare(p2), 0);
    EXPECT_EQ(p2->kind, BZ_SHAPE_POLYHEDRON);
}

TEST(Form, FailedHullsGiveInvalidConvexHullAndKeepTheBounds)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    std::vector<bzV3> withNaN = Cube(0, 1);
    withNaN[3].x = nan;
    // Points on a sphere: a hull of 444 edges, more than the pair tests take.
    std::vector<bzV3> many(150);
    std::mt19937 rng(7u);
    std::normal_distribution<float> g(0.0f, 1.0f);
    for (bzV3 &p : many)
    {
        p = {{{g(rng), g(rng), g(rng)}}};
        bz_V3_Normalise(&p);
    }
    struct Case
    {
        const char *what;
        std::vector<bzV3> points;
        const char *report; // null: no report
    };
    const Case cases[] = {
        {"NaN point", withNaN, nullptr},
        {"collinear points", {{{{0, 0, 0}}}, {{{1, 1, 1}}}, {{{2, 2, 2}}}, {{{3, 3, 3}}}}, nullptr},
        {"too many edges", many,
         "Hull of 150 vertices, 444 edges and 296 faces: at most 192, 256, 380"},
    };
    for (const Case &c : cases)
    {
        FormHolder h(bz_Form_Alloc(nullptr, BZ_SHAPE_NULL));
        bzShape *s = AddPolyhedron(h.form, BZ_SHAPE_POLYHEDRON, c.points);
        const bzBox marker = {{{{7, 7, 7}}}, {{{8, 8, 8}}}};
        *bz_Shape_Bounds(s) = marker;
        ReportWatch watch;
        EXPECT_EQ(bz_Shape_Prepare(s), BZ_ERROR_INVALID_CONVEX_HULL) << c.what;
        EXPECT_EQ(bz_GetLastError(), BZ_ERROR_INVALID_CONVEX_HULL);
        if (c.report)
            watch.Expect("bz_Form_Create", c.report);
        else
            watch.ExpectNone();
        EXPECT_EQ(bz_Shape_Hull(s)->edgeCount, 0) << c.what;
        EXPECT_EQ(bz_Shape_Hull(s)->faceCount, 0) << c.what;
        ExpectBox(*bz_Shape_Bounds(s), marker, 0.0f);
        // The form carries on; its volume and overlap see an empty hull.
        EXPECT_EQ(bz_Form_CalcBounds(h.form, 1), 0);
        EXPECT_EQ(bz_Shape_Volume(s), 0.0f);
    }
}

TEST(Form, BoundsAndFlagsOverTheChain)
{
    FormHolder h(bz_Form_Alloc(nullptr, BZ_SHAPE_NULL));
    bzShape *half = bz_Shape_Create(h.form, BZ_SHAPE_HALF_SPACE, 0, 0, 0);
    bz_Shape_AsHalfSpace(half)->plane = {{{{0, 0, 1}}}, 0.0f};
    FormAppendShape(h.form, half);
    AddSphere(h.form, {{{1, 2, 3}}}, 0.5f);
    bz_Form_CalcBounds(h.form, 1);
    EXPECT_EQ(h.form->flags, BZ_FORM_UNBOUNDED);
    ExpectBox(h.form->bounds, {{{{0.5f, 1.5f, 2.5f}}}, {{{1.5f, 2.5f, 3.5f}}}}, 0.0f);

    bzShape *crush = bz_Shape_Create(h.form, BZ_SHAPE_CRUSHABLE_CUBOID, 0, 0, 0);
    *bz_Shape_Bounds(crush) = {{{{-4, 0, 0}}}, {{{0, 1, 1}}}};
    FormAppendShape(h.form, crush);
    bz_Form_CalcBounds(h.form, 1);
    EXPECT_EQ(h.form->flags, BZ_FORM_UNBOUNDED | BZ_FORM_CRUSHABLE);
    ExpectBox(h.form->bounds, {{{{-4, 0, 0}}}, {{{1.5f, 2.5f, 3.5f}}}}, 0.0f);

    // Half-spaces only: the reset bounds stay.
    FormHolder only(bz_Form_Alloc(nullptr, BZ_SHAPE_NULL));
    FormAppendShape(only.form, bz_Shape_CreateAlignedHalfSpace(only.form, 0, 1.0f));
    bz_Form_CalcBounds(only.form, 1);
    EXPECT_EQ(only.form->bounds.min.x, 3.4028235e38f);
    EXPECT_EQ(only.form->bounds.max.x, -3.4028235e38f);
}

TEST(Form, RecalcBoundsKeepsThePreparationAndPrepareShapesRedoesIt)
{
    FormHolder h(bz_Form_Alloc(nullptr, BZ_SHAPE_NULL));
    bzShape *ball = AddSphere(h.form, {{{0, 0, 0}}}, 1.0f);
    ASSERT_EQ(bz_Form_PrepareShapes(h.form), 0);
    ExpectBox(h.form->bounds, {{{{-1, -1, -1}}}, {{{1, 1, 1}}}}, 0.0f);
    // The sphere grows: recalculating without preparing keeps its old bounds...
    bz_Shape_AsSphere(ball)->radius = 2.0f;
    ASSERT_EQ(bz_Form_RecalcBounds(h.form), 0);
    ExpectBox(h.form->bounds, {{{{-1, -1, -1}}}, {{{1, 1, 1}}}}, 0.0f);
    EXPECT_EQ(bz_Shape_AsSphere(ball)->radiusSquared, 1.0f);
    // ...and preparing takes the new radius.
    ASSERT_EQ(bz_Form_PrepareShapes(h.form), 0);
    ExpectBox(h.form->bounds, {{{{-2, -2, -2}}}, {{{2, 2, 2}}}}, 0.0f);
    EXPECT_EQ(bz_Shape_AsSphere(ball)->radiusSquared, 4.0f);
}

TEST(Form, PreparedShapesDeriveCornersAndBounds)
{
    FormHolder h(bz_Form_Alloc(nullptr, BZ_SHAPE_NULL));
    bzShape *box = AddAlignedCuboid(h.form, {{{{-1, -2, -3}}}, {{{1, 2, 3}}}});
    bzShape *tt = bz_Shape_Create(h.form, BZ_SHAPE_TIC_TAC, 0, 0, 0);
    bz_Shape_AsTicTac(tt)->radius = 0.5f;
    bz_Shape_AsTicTac(tt)->segmentStart = {{{0, 0, 0}}};
    bz_Shape_AsTicTac(tt)->segmentEnd = {{{0, 4, -1}}};
    FormAppendShape(h.form, tt);
    bzShape *cub = bz_Shape_Create(h.form, BZ_SHAPE_CUBOID, 0, 0, 0);
    bzCuboidShape *c = bz_Shape_AsCuboid(cub);
    c->localMin = {{{-1, -2, -3}}};
    c->localMax = {{{1, 2, 3}}};
    bz_M34_RotationZ(&c->placement, 90.0f);
    c->placement.row[3] = {{{5, 0, 0}}};
    FormAppendShape(h.form, cub);
    bz_Form_CalcBounds(h.form, 1);

    const bzHull *bh = bz_Shape_Hull(box);
    EXPECT_EQ(bh->edges, bzgCuboidEdges);
    EXPECT_EQ(bh->edgeCount, 12);
    const bzV3 corner5 = {{{1, -2, 3}}};
    EXPECT_EQ(bh->vertices[5].x, corner5.x);
    EXPECT_EQ(bh->vertices[5].y, corner5.y);
    EXPECT_EQ(bh->vertices[5].z, corner5.z);
    ExpectBox(*bz_Shape_Bounds(tt), {{{{-0.5f, -0.5f, -1.5f}}}, {{{0.5f, 4.5f, 0.5f}}}}, 0.0f);
    ExpectBox(*bz_Shape_Bounds(cub), {{{{3, -1, -3}}}, {{{7, 1, 3}}}}, 1e-6f);
    // Corner 1 is (max x, min y, min z) of the local box, carried by the placement.
    EXPECT_NEAR(c->hull.vertices[1].x, 7.0f, 1e-6f);
    EXPECT_NEAR(c->hull.vertices[1].y, 1.0f, 1e-6f);
    EXPECT_NEAR(c->hull.vertices[1].z, -3.0f, 1e-6f);
    ExpectBox(h.form->bounds, {{{{-1, -2, -3}}}, {{{7, 4.5f, 3}}}}, 1e-6f);
}

TEST(Form, VolumesByKind)
{
    FormHolder h(bz_Form_Alloc(nullptr, BZ_SHAPE_NULL));
    bzShape *sphere = AddSphere(h.form, {{{0, 0, 0}}}, 2.0f);
    bzShape *box = AddAlignedCuboid(h.form, {{{{0, 0, 0}}}, {{{2, 3, 4}}}});
    bzShape *tt = bz_Shape_Create(h.form, BZ_SHAPE_TIC_TAC, 0, 0, 0);
    bz_Shape_AsTicTac(tt)->radius = 1.0f;
    bz_Shape_AsTicTac(tt)->segmentEnd = {{{0, 2, 0}}};
    FormAppendShape(h.form, tt);
    bzShape *cub = bz_Shape_Create(h.form, BZ_SHAPE_CUBOID, 0, 0, 0);
    bz_Shape_AsCuboid(cub)->localMax = {{{1, 2, 3}}};
    bz_M34_SetIdentity(&bz_Shape_AsCuboid(cub)->placement);
    FormAppendShape(h.form, cub);
    bzShape *cube = AddPolyhedron(h.form, BZ_SHAPE_POLYHEDRON, Cube(0, 1));
    bz_Form_CalcBounds(h.form, 1);

    EXPECT_FLOAT_EQ(bz_Shape_Volume(sphere), 33.510323f);
    EXPECT_FLOAT_EQ(bz_Shape_Volume(box), 24.0f);
    EXPECT_FLOAT_EQ(bz_Shape_Volume(cub), 6.0f);
    EXPECT_NEAR(bz_Shape_Volume(cube), 1.0f, 1e-6f);
    // A capsule: the sphere of its radius and one cylinder over its length.
    EXPECT_FLOAT_EQ(bz_Shape_Volume(tt), 10.471976f);
    EXPECT_FLOAT_EQ(bz_TicTac_Volume(1.0f, 2.0f), 10.471976f);
    EXPECT_FLOAT_EQ(bz_TicTac_Volume(0.5f, 0.0f), 0.52359879f);
    EXPECT_NEAR(bz_TicTac_Volume(2.0f, 1.0f), 46.076692f, 1e-5f);

    for (bzShapeKind kind : {BZ_SHAPE_WIRE_FRAME, BZ_SHAPE_HALF_SPACE})
    {
        bzShape *s = bz_Shape_Create(nullptr, kind, 4, 0, 0);
        ReportWatch watch;
        EXPECT_EQ(bz_Shape_Volume(s), 0.0f);
        watch.Expect("Shape volume", "Unknown shape");
        bz_Shape_Free(s);
    }
}

TEST(Form, FormVolumeIsCappedByTheVolumeOfItsBounds)
{
    FormHolder h(bz_Form_Alloc(nullptr, BZ_SHAPE_NULL));
    AddSphere(h.form, {{{0, 0, 0}}}, 1.0f);
    AddSphere(h.form, {{{0, 0, 0}}}, 1.0f);
    bz_Form_CalcBounds(h.form, 1);
    EXPECT_FLOAT_EQ(bz_Form_Volume(h.form), 8.0f);
    FormHolder apart(bz_Form_Alloc(nullptr, BZ_SHAPE_NULL));
    AddSphere(apart.form, {{{0, 0, 0}}}, 1.0f);
    AddSphere(apart.form, {{{5, 0, 0}}}, 1.0f);
    bz_Form_CalcBounds(apart.form, 1);
    EXPECT_FLOAT_EQ(bz_Form_Volume(apart.form), 8.3775806f);
}

TEST(Form, CloneSharesNoMemoryWithItsSource)
{
    FormHolder h(bz_Form_Alloc(nullptr, BZ_SHAPE_NULL));
    AddPolyhedron(h.form, BZ_SHAPE_POLYHEDRON, Cube(0, 1));
    AddSphere(h.form, {{{1, 2, 3}}}, 0.5f);
    AddAlignedCuboid(h.form, {{{{0, 0, 0}}}, {{{1, 1, 1}}}});
    bzShape *round = AddPolyhedron(h.form, BZ_SHAPE_ROUNDED_POLYHEDRON, Cube(2, 3));
    bz_Shape_AsPolyhedron(round)->roundingRadius = 0.25f;
    bzShape *tt = bz_Shape_Create(h.form, BZ_SHAPE_TIC_TAC, 0, 0, 0);
    bz_Shape_AsTicTac(tt)->radius = 0.3f;
    FormAppendShape(h.form, tt);
    h.form->substance = 9;
    h.form->firstShape->userWord = 0xABCD;
    bz_Form_CalcBounds(h.form, 1);

    bzForm *copy = bz_Form_Clone(nullptr, h.form);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->substance, 9);
    EXPECT_EQ(copy->workSize, h.form->workSize);
    EXPECT_EQ(copy->flags, h.form->flags);
    ExpectBox(copy->bounds, h.form->bounds, 0.0f);
    const bzShape *a = h.form->firstShape;
    const bzShape *b = copy->firstShape;
    for (; a && b; a = a->next, b = b->next)
    {
        EXPECT_NE(a, b);
        EXPECT_EQ(a->kind, b->kind);
        EXPECT_EQ(a->userWord, b->userWord);
        ExpectBox(*bz_Shape_Bounds(b), *bz_Shape_Bounds(a), 0.0f);
        const bzHull *ha = bz_Shape_Hull(a), *hb = bz_Shape_Hull(b);
        if (!ha)
            continue;
        EXPECT_NE(ha->vertices, hb->vertices);
        EXPECT_EQ(ha->vertexCount, hb->vertexCount);
        EXPECT_EQ(ha->edgeCount, hb->edgeCount);
        EXPECT_EQ(ha->faceCount, hb->faceCount);
        EXPECT_EQ(std::memcmp(ha->vertices, hb->vertices, sizeof(bzV3) * (size_t)ha->vertexCount),
                  0);
        if (a->kind == BZ_SHAPE_ALIGNED_CUBOID)
            EXPECT_EQ(hb->edges, bzgCuboidEdges); // the one shared, never-released table
        else
        {
            EXPECT_NE(ha->edges, hb->edges);
            EXPECT_NE(ha->planes, hb->planes);
            EXPECT_EQ(std::memcmp(ha->planes, hb->planes, sizeof(bzPlane) * (size_t)ha->faceCount),
                      0);
        }
    }
    EXPECT_EQ(a, nullptr);
    EXPECT_EQ(b, nullptr);
    // The copies stand alone: the source can change and go while the copy is still used.
    bz_Shape_Hull(h.form->firstShape)->vertices[0].x = 99.0f;
    bz_Shape_AsSphere(h.form->firstShape->next)->radius = 7.0f;
    bz_Form_Free(h.form);
    h.form = nullptr;
    EXPECT_EQ(bz_Shape_Hull(copy->firstShape)->vertices[0].x, 0.0f);
    EXPECT_EQ(bz_Shape_AsSphere(copy->firstShape->next)->radius, 0.5f);
    bzShape *rc = copy->firstShape->next->next->next;
    EXPECT_EQ(bz_Shape_AsPolyhedron(rc)->roundingRadius, 0.25f);
    // A copy can be prepared again: the same hull comes back.
    EXPECT_EQ(bz_Form_CalcBounds(copy, 1), 0);
    EXPECT_NEAR(bz_Form_Volume(copy), 3.0f + 0.52359879f + 0.11309734f, 1e-5f);
    bz_Form_Free(copy);
}

TEST(Form, CloneOfAShapeThatCannotBeCopiedFails)
{
    FormHolder h(bz_Form_Alloc(nullptr, BZ_SHAPE_NULL));
    AddSphere(h.form, {{{0, 0, 0}}}, 1.0f);
    FormAppendShape(h.form, bz_Shape_Create(h.form, BZ_SHAPE_CUBOID, 0, 0, 0));
    ReportWatch watch;
    EXPECT_EQ(bz_Form_Clone(nullptr, h.form), nullptr);
    watch.Expect("Clone form", "Can't clone this form type yet");
    EXPECT_EQ(bz_Form_Clone(nullptr, nullptr), nullptr);
    // A single copied shape links into no chain.
    bzShape *s = bz_Shape_Clone(nullptr, h.form->firstShape);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->next, nullptr);
    bz_Shape_Free(s);
}

TEST(Form, ChildBlocksGoWithTheirOwner)
{
    void *owner = bz_MemAlloc(64, BZ_MEM_CLEAR);
    ASSERT_NE(owner, nullptr);
    bzForm *form = bz_Form_Alloc(owner, BZ_SHAPE_ROUNDED_POLYHEDRON, 8, 0, 0);
    ASSERT_NE(form, nullptr);
    ASSERT_NE(form->firstShape, nullptr);
    EXPECT_EQ(form->firstShape->kind, BZ_SHAPE_ROUNDED_POLYHEDRON);
    bzForm *copy = bz_Form_Clone(owner, form);
    ASSERT_NE(copy, nullptr);
    // Releasing the owner releases both forms, their shapes and arrays (the leak check knows).
    bz_MemFree(owner);
}

TEST(Form, FormsOfAKindComeFromTheInstalledBuilders)
{
    const bzModel *model = reinterpret_cast<const bzModel *>(&FakeFormBuilders::lastPercentage);
    SavedFormBuilders started;
    bz_Form_SetModelBuilders(nullptr);
    {
        ReportWatch watch;
        EXPECT_EQ(bz_Form_CreateOfKind(nullptr, model, 0), nullptr); // nothing installed
        watch.ExpectNone();
    }
    FakeFormBuilders fake;
    struct Case
    {
        int32_t kind;
        const char *builder;
        float percentage;
    };
    const Case cases[] = {{0, "alignedCuboid", 0.0f}, {1, "polyhedra", 1.0f},
                          {2, "polyhedra", 25.0f},    {3, "polyhedra", 50.0f},
                          {4, "polyhedra", 75.0f},    {5, "polyhedra", 100.0f},
                          {6, "sphere", 0.0f},        {7, "ticTac", 0.0f}};
    for (const Case &c : cases)
    {
        bzForm *form = bz_Form_CreateOfKind(nullptr, model, c.kind);
        ASSERT_NE(form, nullptr) << c.kind;
        EXPECT_EQ(FakeFormBuilders::lastBuilder, c.builder);
        EXPECT_EQ(FakeFormBuilders::lastPercentage, c.percentage);
        EXPECT_EQ(FakeFormBuilders::lastModel, model);
        bz_Form_Free(form);
    }
    for (int32_t kind : {8, -1, 100})
    {
        FakeFormBuilders::lastBuilder.clear();
        ReportWatch watch;
        EXPECT_EQ(bz_Form_CreateOfKind(nullptr, model, kind), nullptr);
        watch.ExpectNone();
        EXPECT_TRUE(FakeFormBuilders::lastBuilder.empty());
    }
}

TEST(Form, HostileCountsAndPointsNeverBreakTheRooms)
{
    // Random kinds, parameter words and point contents: a shape is either refused or keeps its
    // counts within its rooms and, once prepared, within what the pair tests take.
    std::mt19937 rng(4242u);
    std::uniform_int_distribution<uint32_t> word(0, 0xFFFFFFFFu), small(0, 250), kinds(0, 13);
    std::uniform_real_distribution<float> u(-3.0f, 3.0f), pick(0.0f, 1.0f);
    const float hostileValues[] = {std::numeric_limits<float>::quiet_NaN(),
                                   std::numeric_limits<float>::infinity(), 3.0e38f, -0.0f, 1e-30f};
    int hulls = 0, failed = 0;
    for (int round = 0; round < 2000; round++)
    {
        const bzShapeKind hullKinds[3] = {BZ_SHAPE_POLYHEDRON, BZ_SHAPE_POLYGON,
                                          BZ_SHAPE_ROUNDED_POLYHEDRON};
        const bzShapeKind kind = pick(rng) < 0.5f ? hullKinds[rng() % 3] : kinds(rng);
        uint32_t params[3];
        for (uint32_t &p : params)
            p = pick(rng) < 0.2f ? word(rng) : (pick(rng) < 0.6f ? 0u : small(rng));
        bzShape *s = bz_Form_Create(nullptr, kind, params);
        if (!s)
            continue;
        bzHull *hull = bz_Shape_Hull(s);
        if (hull && kind != BZ_SHAPE_WIRE_FRAME)
        {
            ASSERT_LE(hull->vertexCount, hull->vertexRoom);
            ASSERT_LE(hull->vertexRoom, 192);
            ASSERT_LE(hull->faceRoom, 380);
            for (int32_t i = 0; i < hull->vertexCount; i++)
                for (float &c : hull->vertices[i].v)
                    c = u(rng);
            if (hull->vertexCount > 0 && pick(rng) < 0.2f) // one hostile coordinate
                hull->vertices[rng() % (uint32_t)hull->vertexCount].v[rng() % 3] =
                    hostileValues[rng() % 5];
            const int32_t result = bz_Shape_Prepare(s);
            ASSERT_TRUE(result == 0 || result == BZ_ERROR_INVALID_CONVEX_HULL) << result;
            hulls += result == 0 && hull->faceCount > 0;
            failed += result != 0;
            ASSERT_LE(hull->vertexCount, hull->vertexRoom);
            ASSERT_LE(hull->edgeCount, hull->edgeRoom);
            ASSERT_LE(hull->faceCount, hull->faceRoom);
            if (result == 0 && s->kind != BZ_SHAPE_ALIGNED_CUBOID && s->kind != BZ_SHAPE_CUBOID &&
                s->kind != BZ_SHAPE_CRUSHABLE_CUBOID)
            {
                ASSERT_LE(hull->edgeCount, 256);
                ASSERT_LE(hull->faceCount, 380);
                uint16_t loop[192];
                for (int32_t f = 0; f < hull->faceCount; f++)
                    ASSERT_LE(FaceVertexLoop(f, s, loop, 192), hull->vertexCount);
                (void)bz_Shape_Volume(s);
            }
        }
        bz_Shape_Free(s);
    }
    // The rounds reach both outcomes.
    EXPECT_GT(hulls, 100);
    EXPECT_GT(failed, 50);
}

TEST(Form, PlacedBoxOverlapsTheGivenShapes)
{
    FormHolder cube(bz_Form_Alloc(nullptr, BZ_SHAPE_NULL));
    AddPolyhedron(cube.form, BZ_SHAPE_POLYHEDRON, Cube(0, 1));
    bz_Form_CalcBounds(cube.form, 1);
    FormHolder ball(bz_Form_Alloc(nullptr, BZ_SHAPE_NULL));
    AddSphere(ball.form, {{{0, 0, 0}}}, 1.0f);
    bz_Form_CalcBounds(ball.form, 1);
    FormHolder slab(bz_Form_Alloc(nullptr, BZ_SHAPE_NULL));
    AddAlignedCuboid(slab.form, {{{{0, 0, 0}}}, {{{4, 1, 4}}}});
    bz_Form_CalcBounds(slab.form, 1);

    const bzBox box = {{{{-0.5f, -0.5f, -0.5f}}}, {{{0.5f, 0.5f, 0.5f}}}};
    struct Case
    {
        const char *what;
        const bzForm *form;
        float turnZ;
        bzV3 at;
        int32_t expected;
    };
    const Case cases[] = {
        {"cube, box at a corner", cube.form, 0.0f, {{{0, 0, 0}}}, 1},
        {"cube, box beside it", cube.form, 0.0f, {{{2, 0.5f, 0.5f}}}, 0},
        {"cube, turned box reaching in", cube.form, 45.0f, {{{1.6f, 0.5f, 0.5f}}}, 1},
        {"cube, turned box short of it", cube.form, 45.0f, {{{1.75f, 0.5f, 0.5f}}}, 0},
        {"cube, box over an edge's diagonal gap", cube.form, 45.0f, {{{1.6f, 1.6f, 0.5f}}}, 0},
        {"ball, box face near", ball.form, 0.0f, {{{1.2f, 0, 0}}}, 1},
        {"ball, box corner near", ball.form, 0.0f, {{{1.2f, 1.2f, 0}}}, 1},
        {"ball, box corner far", ball.form, 0.0f, {{{1.6f, 1.6f, 0}}}, 0},
        {"slab, box above", slab.form, 30.0f, {{{2, 1.8f, 2}}}, 0},
        {"slab, box dipping in", slab.form, 30.0f, {{{2, 1.6f, 2}}}, 1},
    };
    for (const Case &c : cases)
    {
        bzM34 placement;
        bz_M34_RotationZ(&placement, c.turnZ);
        placement.row[3] = c.at;
        EXPECT_EQ(bz_Form_BoxOverlaps(&box, &placement, c.form, nullptr), c.expected) << c.what;
        // The same answer with both moved by one placement of the form.
        bzM34 form, boxAt;
        bz_M34_RotationX(&form, 30.0f);
        form.row[3] = {{{10, -3, 2}}};
        bz_MulM34Into(&form, &boxAt, &placement);
        EXPECT_EQ(bz_Form_BoxOverlaps(&box, &boxAt, c.form, &form), c.expected) << c.what;
        EXPECT_EQ(bz_Shape_BoxOverlaps(&box, &boxAt, c.form->firstShape, &form), c.expected)
            << c.what;
    }
}
} // namespace
