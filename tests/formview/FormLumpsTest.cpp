// Lumps that show collision forms: one MODEL lump per shape kind whose model sits where the
// shape is (checked against the shape's own geometry, worked out by hand), the lump's matrix
// left at the identity; a compound form gives one child per shape in reverse order; shapes
// without a lump, unknown kinds and damaged shapes give none and nothing leaks.
#include "formview/FormLumps.h"

#include "ModelsTestSupport.h"
#include "collision/PairTestShapes.h"
#include "core/Error.h"
#include "models/SceneLink.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

using namespace pairtest;

namespace
{
using FormLumpsTest = ModelSceneTest;

float Dot(const bzV3 &a, const bzV3 &b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
bzV3 Sub(const bzV3 &a, const bzV3 &b)
{
    return V(a.x - b.x, a.y - b.y, a.z - b.z);
}
float Length(const bzV3 &a)
{
    return std::sqrt(Dot(a, a));
}

// The distance of p from the segment a-b and where along it (0 at a) it projects, unclamped.
void FromSegment(const bzV3 &p, const bzV3 &a, const bzV3 &b, float *distance, float *along)
{
    const bzV3 ab = Sub(b, a);
    const float length = Length(ab);
    const bzV3 d = length > 0 ? V(ab.x / length, ab.y / length, ab.z / length) : V(1, 0, 0);
    *along = Dot(Sub(p, a), d);
    const float t = std::fmin(std::fmax(*along, 0.0f), length);
    *distance = Length(Sub(p, V(a.x + d.x * t, a.y + d.y * t, a.z + d.z * t)));
}

bool IsIdentity(const bzM34 &m)
{
    const float id[4][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {0, 0, 0}};
    for (int r = 0; r < 4; r++)
        for (int c = 0; c < 3; c++)
            if (m.row[r].v[c] != id[r][c])
                return false;
    return true;
}

struct KindCase
{
    const char *name;
    std::function<FormPtr()> make;
    const char *modelName; // the model's name, null when not checked
    // Checks the model's vertices; the text says what is wrong.
    std::function<std::string(const std::vector<bzV3> &)> check;
};

// The per-axis minimum and maximum of the points.
bzBox BoxOf(const std::vector<bzV3> &points)
{
    bzBox box = {V(1e30f, 1e30f, 1e30f), V(-1e30f, -1e30f, -1e30f)};
    for (const bzV3 &p : points)
        for (int k = 0; k < 3; k++)
        {
            box.min.v[k] = std::fmin(box.min.v[k], p.v[k]);
            box.max.v[k] = std::fmax(box.max.v[k], p.v[k]);
        }
    return box;
}

std::string BoxIs(const std::vector<bzV3> &points, bzV3 lo, bzV3 hi, float tolerance)
{
    const bzBox box = BoxOf(points);
    for (int k = 0; k < 3; k++)
        if (std::fabs(box.min.v[k] - lo.v[k]) > tolerance ||
            std::fabs(box.max.v[k] - hi.v[k]) > tolerance)
            return "box axis " + std::to_string(k) + ": " + std::to_string(box.min.v[k]) + ".." +
                   std::to_string(box.max.v[k]);
    return "";
}

std::string OnPlane(const std::vector<bzV3> &points, bzV3 n, float d)
{
    // The 5 by 5 plane: every corner on the plane, their middle at n d, corners 2.5 from it on
    // both axes across the normal, so 2.5 x sqrt 2 from the middle.
    bzV3 middle = V(0, 0, 0);
    float farthest = 0;
    for (const bzV3 &p : points)
    {
        if (std::fabs(Dot(p, n) - d) > 1e-4f)
            return "a vertex off the plane";
        middle = V(middle.x + p.x, middle.y + p.y, middle.z + p.z);
    }
    const float count = static_cast<float>(points.size());
    middle = V(middle.x / count, middle.y / count, middle.z / count);
    if (Length(Sub(middle, V(n.x * d, n.y * d, n.z * d))) > 1e-4f)
        return "the middle is not at n d";
    for (const bzV3 &p : points)
        farthest = std::fmax(farthest, Length(Sub(p, middle)));
    if (std::fabs(farthest - 2.5f * std::sqrt(2.0f)) > 1e-4f)
        return "corners " + std::to_string(farthest) + " from the middle";
    return "";
}

std::string AlongSegment(const std::vector<bzV3> &points, bzV3 a, bzV3 b, float r)
{
    const float length = Length(Sub(b, a));
    float lo = 1e30f, hi = -1e30f;
    for (const bzV3 &p : points)
    {
        float distance, along;
        FromSegment(p, a, b, &distance, &along);
        if (distance > r * 1.0001f + 1e-5f)
            return "a vertex " + std::to_string(distance) + " from the segment";
        lo = std::fmin(lo, along);
        hi = std::fmax(hi, along);
    }
    // The end caps reach the radius past each end.
    if (std::fabs(lo + r) > 1e-4f || std::fabs(hi - (length + r)) > 1e-4f)
        return "runs from " + std::to_string(lo) + " to " + std::to_string(hi);
    return "";
}

TEST_F(FormLumpsTest, EachKindGivesOneModelLumpWhereTheShapeIs)
{
    // A quarter turn about z (x onto y) moved to (5, 0, 0).
    bzM34 turn = Translation(5, 0, 0);
    turn.row[0] = V(0, 1, 0);
    turn.row[1] = V(-1, 0, 0);
    const KindCase cases[] = {
        {"AlignedCuboid", [] { return AlignedCuboid(V(1, 2, 3), V(2, 4, 7)); }, "cuboid",
         [](const std::vector<bzV3> &p) { return BoxIs(p, V(1, 2, 3), V(2, 4, 7), 0); }},
        {"CrushableCuboid", [] { return CrushableCuboid(V(-1, -1, -1), V(0, 2, 1)); }, "cuboid",
         [](const std::vector<bzV3> &p) { return BoxIs(p, V(-1, -1, -1), V(0, 2, 1), 0); }},
        {"Sphere", [] { return Sphere(V(1, -2, 3), 0.5f); }, "sphere",
         [](const std::vector<bzV3> &p) -> std::string
         {
             for (const bzV3 &q : p)
                 if (std::fabs(Length(Sub(q, V(1, -2, 3))) - 0.5f) > 1e-5f)
                     return "a vertex off the sphere";
             // The subdivided octahedron is symmetric about its centre.
             const bzBox box = BoxOf(p);
             for (int k = 0; k < 3; k++)
                 if (std::fabs(0.5f * (box.min.v[k] + box.max.v[k]) - V(1, -2, 3).v[k]) > 1e-5f)
                     return "not centred on axis " + std::to_string(k);
             return "";
         }},
        {"TicTac along z", [] { return TicTac(V(1, 2, 3), V(1, 2, 7), 0.5f); }, "tic_tac",
         [](const std::vector<bzV3> &p) { return AlongSegment(p, V(1, 2, 3), V(1, 2, 7), 0.5f); }},
        {"TicTac slanted", [] { return TicTac(V(-1, 0, 2), V(2, 4, 2), 0.25f); }, "tic_tac",
         [](const std::vector<bzV3> &p)
         { return AlongSegment(p, V(-1, 0, 2), V(2, 4, 2), 0.25f); }},
        {"TicTac mostly along y", [] { return TicTac(V(0, 0, 0), V(0.1f, -3, 0.2f), 1.0f); },
         "tic_tac",
         [](const std::vector<bzV3> &p)
         { return AlongSegment(p, V(0, 0, 0), V(0.1f, -3, 0.2f), 1.0f); }},
        {"TicTac mostly along x", [] { return TicTac(V(1, 1, 1), V(4, 2, -1), 0.75f); }, "tic_tac",
         [](const std::vector<bzV3> &p)
         { return AlongSegment(p, V(1, 1, 1), V(4, 2, -1), 0.75f); }},
        {"TicTac of no length", [] { return TicTac(V(4, 4, 4), V(4, 4, 4), 0.5f); }, "tic_tac",
         [](const std::vector<bzV3> &p) -> std::string
         {
             // Unturned at the start: the capsule's own x axis, all within the radius.
             for (const bzV3 &q : p)
                 if (Length(Sub(q, V(4, 4, 4))) > 0.5f + 1e-5f)
                     return "a vertex outside the end sphere";
             return BoxIs(p, V(3.5f, 3.5f, 3.5f), V(4.5f, 4.5f, 4.5f), 1e-4f);
         }},
        {"Cuboid", [turn] { return Cuboid(V(-1, -0.5f, -0.25f), V(1, 0.5f, 0.25f), turn); },
         "cuboid",
         // Its x extent (2 long) now along y, its y extent along -x.
         [](const std::vector<bzV3> &p)
         { return BoxIs(p, V(4.5f, -1, -0.25f), V(5.5f, 1, 0.25f), 1e-6f); }},
        {"HalfSpace up", [] { return HalfSpace(V(0, 0, 1), 2); }, "half_space",
         [](const std::vector<bzV3> &p) { return OnPlane(p, V(0, 0, 1), 2); }},
        {"HalfSpace slanted", [] { return HalfSpace(V(0.6f, 0.8f, 0), -1); }, "half_space",
         [](const std::vector<bzV3> &p) { return OnPlane(p, V(0.6f, 0.8f, 0), -1); }},
        {"AlignedHalfSpace YMinus", [] { return AlignedHalfSpace(BZ_DIRECTION_Y_MINUS, 3); },
         "half_space", [](const std::vector<bzV3> &p) { return OnPlane(p, V(0, -1, 0), 3); }},
        {"AlignedHalfSpace XPlus", [] { return AlignedHalfSpace(BZ_DIRECTION_X_PLUS, -2); },
         "half_space", [](const std::vector<bzV3> &p) { return OnPlane(p, V(1, 0, 0), -2); }},
    };
    for (const KindCase &c : cases)
    {
        SCOPED_TRACE(c.name);
        FormPtr form = c.make();
        ASSERT_NE(form, nullptr);
        const uint32_t reports = bz_Error_ReportCount();
        bzLump *lump = bz_Lump_CreateFromForm(form->firstShape);
        ASSERT_NE(lump, nullptr);
        EXPECT_EQ(bz_Error_ReportCount(), reports);
        EXPECT_EQ(lump->type, BZ_LUMP_TYPE_MODEL);
        EXPECT_EQ(lump->parent, nullptr);
        EXPECT_TRUE(IsIdentity(lump->matrix));
        bzModel *model = bz_Lump_GetModel(lump);
        ASSERT_NE(model, nullptr);
        EXPECT_STREQ(model->name, c.modelName);
        const std::vector<bzV3> vertices = ModelVertices(lump);
        ASSERT_GE(vertices.size(), 4u);
        EXPECT_EQ(c.check(vertices), "");
        bz_Lump_DestroyTree(lump);
    }
}

// The outward normal of each model polygon, from its corners as wound.
std::vector<bzV3> PolygonNormals(bzLump *lump)
{
    std::vector<bzV3> out;
    const bzModelVertexData *data = bz_Lump_GetModel(lump)->vertexData;
    for (int32_t i = 0; i < data->polygonCount; i++)
    {
        const bzModelPolygon &p = data->polygons[i];
        const bzModelDataVertex *v = data->vertices;
        const bzV3 a = V(v[p.v[0]].x, v[p.v[0]].y, v[p.v[0]].z);
        const bzV3 b = V(v[p.v[1]].x, v[p.v[1]].y, v[p.v[1]].z);
        const bzV3 c = V(v[p.v[2]].x, v[p.v[2]].y, v[p.v[2]].z);
        const bzV3 e1 = Sub(b, a), e2 = Sub(c, a);
        const bzV3 n =
            V(e1.y * e2.z - e1.z * e2.y, e1.z * e2.x - e1.x * e2.z, e1.x * e2.y - e1.y * e2.x);
        const float length = Length(n);
        out.push_back(length > 0 ? V(n.x / length, n.y / length, n.z / length) : n);
    }
    return out;
}

TEST_F(FormLumpsTest, PolyhedraAreDrawnFaceByFaceFacingOut)
{
    // A box of 2 x 1 x 3 from the origin: 6 faces of two triangles, wound like the display box
    // (the corners turn counter-clockwise seen from outside).
    FormPtr box = Hull(BZ_SHAPE_POLYHEDRON, BoxPoints(V(0, 0, 0), V(2, 1, 3)));
    ASSERT_NE(box, nullptr);
    bzLump *lump = bz_Lump_CreateFromForm(box->firstShape);
    ASSERT_NE(lump, nullptr);
    EXPECT_STREQ(lump->name, "Polyhedron");
    EXPECT_STREQ(bz_Lump_GetModel(lump)->name, "Polyhedron");
    EXPECT_TRUE(IsIdentity(lump->matrix));
    EXPECT_EQ(bz_Lump_GetModel(lump)->vertexData->polygonCount, 12);
    EXPECT_EQ(BoxIs(ModelVertices(lump), V(0, 0, 0), V(2, 1, 3), 0), "");
    const bzV3 axes[6] = {V(1, 0, 0),  V(-1, 0, 0), V(0, 1, 0),
                          V(0, -1, 0), V(0, 0, 1),  V(0, 0, -1)};
    int perAxis[6] = {};
    for (const bzV3 &n : PolygonNormals(lump))
        for (int k = 0; k < 6; k++)
            if (Dot(n, axes[k]) > 0.9999f)
                perAxis[k]++;
    for (int k = 0; k < 6; k++)
        EXPECT_EQ(perAxis[k], 2) << "axis " << k;
    bz_Lump_DestroyTree(lump);

    // A tetrahedron: four faces of one triangle, each facing away from the opposite corner.
    const std::vector<bzV3> corners = {V(0, 0, 0), V(1, 0, 0), V(0, 1, 0), V(0, 0, 1)};
    FormPtr tetra = Hull(BZ_SHAPE_POLYHEDRON, corners);
    ASSERT_NE(tetra, nullptr);
    lump = bz_Lump_CreateFromForm(tetra->firstShape);
    ASSERT_NE(lump, nullptr);
    EXPECT_EQ(bz_Lump_GetModel(lump)->vertexData->polygonCount, 4);
    const bzV3 inside = V(0.25f, 0.25f, 0.25f);
    const bzModelVertexData *data = bz_Lump_GetModel(lump)->vertexData;
    const std::vector<bzV3> normals = PolygonNormals(lump);
    for (int32_t i = 0; i < data->polygonCount; i++)
    {
        const bzModelDataVertex &a = data->vertices[data->polygons[i].v[0]];
        EXPECT_GT(Dot(normals[i], Sub(V(a.x, a.y, a.z), inside)), 0.0f) << "polygon " << i;
    }
    bz_Lump_DestroyTree(lump);
}

TEST_F(FormLumpsTest, ARoundedPolyhedronIsPushedOutAndJoined)
{
    // A unit cube rounded by 0.25: 6 faces of 2 triangles, 12 edges of 2, 8 corners where three
    // faces meet, 1 each: 44 polygons. Every vertex lies 0.25 out from the cube's surface and
    // the model's box is the cube grown by the rounding.
    FormPtr form = Hull(BZ_SHAPE_ROUNDED_POLYHEDRON, BoxPoints(V(0, 0, 0), V(1, 1, 1)), 0.25f);
    ASSERT_NE(form, nullptr);
    ASSERT_EQ(form->firstShape->kind, BZ_SHAPE_ROUNDED_POLYHEDRON);
    bzLump *lump = bz_Lump_CreateFromForm(form->firstShape);
    ASSERT_NE(lump, nullptr);
    EXPECT_EQ(bz_Lump_GetModel(lump)->vertexData->polygonCount, 44);
    const std::vector<bzV3> vertices = ModelVertices(lump);
    EXPECT_EQ(BoxIs(vertices, V(-0.25f, -0.25f, -0.25f), V(1.25f, 1.25f, 1.25f), 1e-6f), "");
    for (const bzV3 &p : vertices)
    {
        // Distance to the cube: the clamped point's.
        const bzV3 q =
            V(std::fmin(std::fmax(p.x, 0.0f), 1.0f), std::fmin(std::fmax(p.y, 0.0f), 1.0f),
              std::fmin(std::fmax(p.z, 0.0f), 1.0f));
        EXPECT_NEAR(Length(Sub(p, q)), 0.25f, 1e-5f);
    }
    // Every polygon faces away from the cube's centre.
    const bzModelVertexData *data = bz_Lump_GetModel(lump)->vertexData;
    const std::vector<bzV3> normals = PolygonNormals(lump);
    for (int32_t i = 0; i < data->polygonCount; i++)
    {
        const bzModelPolygon &p = data->polygons[i];
        bzV3 middle = V(0, 0, 0);
        for (int k = 0; k < 3; k++)
        {
            const bzModelDataVertex &v = data->vertices[p.v[k]];
            middle = V(middle.x + v.x / 3, middle.y + v.y / 3, middle.z + v.z / 3);
        }
        EXPECT_GT(Dot(normals[i], Sub(middle, V(0.5f, 0.5f, 0.5f))), 0.0f) << "polygon " << i;
    }
    bz_Lump_DestroyTree(lump);
}

TEST_F(FormLumpsTest, ShapesWithoutALumpAndUnknownKindsGiveNone)
{
    FormPtr wire = Hull(BZ_SHAPE_WIRE_FRAME, BoxPoints(V(0, 0, 0), V(1, 1, 1)));
    ASSERT_NE(wire, nullptr);
    bzShape nullShape = {BZ_SHAPE_NULL, 0, nullptr};
    const uint32_t reports = bz_Error_ReportCount();
    EXPECT_EQ(bz_Lump_CreateFromForm(wire->firstShape), nullptr);
    EXPECT_EQ(bz_Lump_CreateFromForm(&nullShape), nullptr);
    EXPECT_EQ(bz_Error_ReportCount(), reports);
    // A kind past the table is reported once.
    bzShape unknown = {BZ_SHAPE_KIND_COUNT, 0, nullptr};
    EXPECT_EQ(bz_Lump_CreateFromForm(&unknown), nullptr);
    EXPECT_EQ(bz_Error_ReportCount(), reports + 1);
}

TEST_F(FormLumpsTest, ACompoundFormGivesOneChildPerShapeInReverseOrder)
{
    FormPtr form(bz_Form_Alloc(nullptr, BZ_SHAPE_SPHERE));
    ASSERT_NE(form, nullptr);
    bz_Shape_AsSphere(form->firstShape)->radius = 1;
    // Chain: sphere, wire frame (no lump), aligned cuboid.
    bzShape *wire = bz_Shape_Create(form.get(), BZ_SHAPE_WIRE_FRAME, 4, 0, 0);
    bzShape *box = bz_Shape_Create(form.get(), BZ_SHAPE_ALIGNED_CUBOID, 0, 0, 0);
    ASSERT_NE(wire, nullptr);
    ASSERT_NE(box, nullptr);
    const bzV3 tetra[4] = {V(0, 0, 0), V(1, 0, 0), V(0, 1, 0), V(0, 0, 1)};
    for (int i = 0; i < 4; i++)
        bz_Shape_Hull(wire)->vertices[i] = tetra[i];
    *bz_Shape_Bounds(box) = {V(3, 3, 3), V(4, 5, 6)};
    form->firstShape->next = wire;
    wire->next = box;
    bz_Form_CalcBounds(form.get(), 1);

    bzLump *root = bz_Lump_CreateFromFormShapes(form.get());
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->type, BZ_LUMP_TYPE_NULL);
    EXPECT_STREQ(root->name, "shape");
    ASSERT_NE(root->firstChild, nullptr);
    bzLump *first = root->firstChild;
    bzLump *second = first->next;
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->next, nullptr);
    EXPECT_STREQ(bz_Lump_GetModel(first)->name, "cuboid");
    EXPECT_EQ(BoxIs(ModelVertices(first), V(3, 3, 3), V(4, 5, 6), 0), "");
    EXPECT_STREQ(bz_Lump_GetModel(second)->name, "sphere");
    EXPECT_EQ(first->parent, root);
    EXPECT_EQ(second->parent, root);
    bz_Lump_DestroyTree(root);

    // A form without shapes gives the NULL lump alone.
    FormPtr empty(bz_Form_Alloc(nullptr, BZ_SHAPE_NULL));
    ASSERT_NE(empty, nullptr);
    root = bz_Lump_CreateFromFormShapes(empty.get());
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->firstChild, nullptr);
    bz_Lump_DestroyTree(root);
}

TEST_F(FormLumpsTest, DamagedShapesAreRefusedWithoutAModel)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    struct Bad
    {
        const char *name;
        std::function<FormPtr()> make;
    };
    const Bad cases[] = {
        {"sphere of NaN radius", [nan] { return Sphere(V(0, 0, 0), nan); }},
        {"sphere of negative radius", [] { return Sphere(V(0, 0, 0), -1); }},
        {"sphere at infinity", [inf] { return Sphere(V(inf, 0, 0), 1); }},
        {"tic-tac of NaN end", [nan] { return TicTac(V(0, 0, 0), V(nan, 0, 0), 1); }},
        {"half-space without a normal", [] { return HalfSpace(V(0, 0, 0), 1); }},
        {"half-space at NaN", [nan] { return HalfSpace(V(0, 0, 1), nan); }},
        {"aligned cuboid of infinite size",
         [inf] { return AlignedCuboid(V(0, 0, 0), V(inf, 1, 1)); }},
        {"rounded polyhedron of NaN rounding", [nan]
         { return Hull(BZ_SHAPE_ROUNDED_POLYHEDRON, BoxPoints(V(0, 0, 0), V(1, 1, 1)), nan); }},
    };
    for (const Bad &c : cases)
    {
        SCOPED_TRACE(c.name);
        FormPtr form = c.make();
        ASSERT_NE(form, nullptr);
        bzgLastError = 0;
        EXPECT_EQ(bz_Lump_CreateFromForm(form->firstShape), nullptr);
        EXPECT_EQ(bzgLastError, BZ_ERROR_INVALID_PARAMETER);
    }
    // A polyhedron whose hull has no faces, and hulls that are missing.
    FormPtr flat = Hull(BZ_SHAPE_POLYHEDRON, BoxPoints(V(0, 0, 0), V(1, 1, 1)));
    ASSERT_NE(flat, nullptr);
    bz_Shape_Hull(flat->firstShape)->faceCount = 0;
    EXPECT_EQ(bz_Lump_CreateFromForm(flat->firstShape), nullptr);
    EXPECT_EQ(CreatePolyhedronLump(nullptr, 0), nullptr);
    EXPECT_EQ(CreatePolyhedronLump(bz_Shape_Hull(flat->firstShape), -1), nullptr);
    EXPECT_EQ(bz_Lump_CreateFromForm(nullptr), nullptr);
    EXPECT_EQ(bz_Lump_CreateFromFormShapes(nullptr), nullptr);
}

} // namespace
