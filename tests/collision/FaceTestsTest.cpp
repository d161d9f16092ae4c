// Gathered faces against rays, spheres, planes, triangles, forms of every kind and models: the
// tolerance tables of the ray test, touching cases, the kinds without a test and the margins.
#include "CollisionModelsTest.h"
#include "PairTestShapes.h"
#include "collision/FaceTests.h"
#include "collision/FormQuery.h"

#include "core/Error.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

using namespace pairtest;

namespace
{
bzDynFaceHit Face(bzV3 a, bzV3 b, bzV3 c, uint32_t flags = 0)
{
    bzDynFaceHit f{};
    f.faceIndex = -1;
    f.flags = flags;
    f.vertices[0] = a;
    f.vertices[1] = b;
    f.vertices[2] = c;
    bzV3 e1 = {{{b.x - a.x, b.y - a.y, b.z - a.z}}}, e2 = {{{c.x - a.x, c.y - a.y, c.z - a.z}}};
    bzV3 n = {{{e1.y * e2.z - e1.z * e2.y, e1.z * e2.x - e1.x * e2.z, e1.x * e2.y - e1.y * e2.x}}};
    const float len = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
    n = {{{n.x / len, n.y / len, n.z / len}}};
    f.plane = {n, n.x * a.x + n.y * a.y + n.z * a.z};
    return f;
}

// The floor triangle z = 0 with corners (0,0), (4,0) and (0,4), normal up.
bzDynFaceHit Floor(uint32_t flags = 0)
{
    return Face(V(0, 0, 0), V(4, 0, 0), V(0, 4, 0), flags);
}

struct List
{
    bzDynFaceList *list;
    explicit List(const std::vector<bzDynFaceHit> &faces)
        : list(bz_DynFaceList_Create((int32_t)faces.size() + 1))
    {
        for (const bzDynFaceHit &f : faces)
            static_cast<bzDynFaceHit *>(list->entries)[list->count++] = f;
    }
    ~List() { bz_DynFaceList_Free(list); }
};

// The report made since it was taken, if any.
struct Reports
{
    uint32_t before = bz_Error_ReportCount();
    bool One(const char *caption, const char *text) const
    {
        if (bz_Error_ReportCount() != before + 1)
            return false;
        const std::string got = bz_Error_LastReportText();
        return std::string(bz_Error_LastReportCaption()) == caption &&
               got.substr(0, got.find('\n')) == text;
    }
};

TEST(DynFaceRay, ToleranceTable)
{
    struct Case
    {
        const char *name;
        bzV3 origin, delta;
        uint32_t flags;
        uint32_t twoSided;
        int32_t hit;
        float t;
    } cases[] = {
        {"ends on the face", V(1, 1, 1), V(0, 0, -1), 0, 0, 1, 1.0f},
        {"parameter 1.00005", V(1, 1, 1.00005f), V(0, 0, -1), 0, 0, 1, 1.00005f},
        {"parameter 1.0002", V(1, 1, 1.0002f), V(0, 0, -1), 0, 0, 0, 0},
        {"half way", V(1, 1, 2), V(0, 0, -4), 0, 0, 1, 0.5f},
        {"from behind", V(1, 1, -1), V(0, 0, 2), 0, 0, 0, 0},
        {"from behind, double-sided material", V(1, 1, -1), V(0, 0, 2), BZ_DYNFACE_TWO_SIDED, 0, 1,
         0.5f},
        {"from behind, two-sided switch", V(1, 1, -1), V(0, 0, 2), 0, 1, 1, 0.5f},
        {"parallel in the plane", V(0.5f, 0.5f, 0), V(1, 0, 0), 0, 1, 0, 0},
        {"nearly parallel", V(0.5f, 0.5f, 1e-8f), V(1, 0, -1e-7f), 0, 1, 0, 0},
        {"away from the face", V(1, 1, 1), V(0, 0, 1), 0, 1, 0, 0},
        {"on the long edge", V(2, 2, 1), V(0, 0, -1), 0, 0, 1, 1.0f},
        {"just past the long edge", V(2.001f, 2.001f, 1), V(0, 0, -1), 0, 0, 0, 0},
        {"on a corner", V(4, 0, 1), V(0, 0, -1), 0, 0, 1, 1.0f},
        {"beside the face", V(-0.01f, 1, 1), V(0, 0, -1), 0, 0, 0, 0},
    };
    for (const Case &c : cases)
    {
        const bzDynFaceHit f = Floor(c.flags);
        bzgDynTwoSided = c.twoSided;
        const bzRay ray = {c.origin, c.delta, 0};
        float t = -1;
        bzV3 point = V(9, 9, 9);
        EXPECT_EQ(bz_DynFace_RayHitOne(&f, &ray, &t, &point), c.hit) << c.name;
        bzgDynTwoSided = 0;
        if (c.hit)
        {
            EXPECT_NEAR(t, c.t, 1e-6f) << c.name;
            EXPECT_NEAR(point.z, 0.0f, 1e-5f) << c.name;
        }
    }
    // The in/out parameter bounds the hit: a limit below it misses and leaves it.
    const bzDynFaceHit f = Floor();
    const bzV3 o = V(1, 1, 2), d = V(0, 0, -4);
    float t = 0.4f;
    EXPECT_EQ(bz_DynFace_RayHitNoPoint(&f, &o, &d, &t), 0);
    EXPECT_EQ(t, 0.4f);
    // A face of no lump gives zero texture coordinates.
    t = 1.0f;
    bzV2 uv = {{{7, 7}}};
    ASSERT_EQ(bz_DynFace_RayHit(&f, &o, &d, &t, nullptr, &uv), 1);
    EXPECT_EQ(uv.x, 0.0f);
    // An unbounded ray reaches any distance; a line both ways and both sides.
    const bzRay far = {V(1, 1, 1000), V(0, 0, -1), 1};
    EXPECT_EQ(bz_DynFace_RayHitOne(&f, &far, &t, nullptr), 1);
    EXPECT_NEAR(t, 1000.0f, 1e-3f);
    const bzV3 below = V(1, 1, -3), up = V(0, 0, -1);
    EXPECT_EQ(bz_DynFace_LineHit(&f, &below, &up, &t, nullptr), 1);
    EXPECT_NEAR(t, -3.0f, 1e-6f);
}

TEST(DynFaceRay, ListsKeepTheNearestHit)
{
    const bzDynFaceHit low = Face(V(-5, -5, -1), V(5, -5, -1), V(-5, 5, -1));
    const bzDynFaceHit high = Face(V(-5, -5, 2), V(5, -5, 2), V(-5, 5, 2));
    List faces({low, high});
    const bzRay down = {V(0, 0, 5), V(0, 0, -10), 0};
    float t = 0;
    const bzDynFaceHit *hit = nullptr;
    bzV3 point;
    ASSERT_EQ(bz_DynForm_TestFaces(faces.list, &down, &t, nullptr, &hit, &point, nullptr), 1);
    EXPECT_NEAR(t, 0.3f, 1e-6f);
    EXPECT_EQ(hit, bz_DynFaceList_Entry(faces.list, 1));
    EXPECT_NEAR(point.z, 2.0f, 1e-5f);
    // From below only the backs face the ray: the switch decides, and is restored.
    const bzRay upward = {V(0, 0, -5), V(0, 0, 10), 0};
    EXPECT_EQ(bz_DynFaceList_RayHit(faces.list, &upward, &hit, 0, &t), 0);
    EXPECT_EQ(bz_DynFaceList_RayHit(faces.list, &upward, &hit, 1, &t), 1);
    EXPECT_EQ(hit, bz_DynFaceList_Entry(faces.list, 0));
    EXPECT_EQ(bzgDynTwoSided, 0u);
    const bzV3 s = V(0, 0, -5), e = V(0, 0, 0);
    ASSERT_EQ(bz_DynFaceList_SegmentHit(faces.list, &s, &e, &point), 1);
    EXPECT_NEAR(point.z, -1.0f, 1e-5f);
    const bzV3 aside = V(20, 0, 0), dir = V(0, 0, 1);
    EXPECT_EQ(bz_DynFaceList_IntersectLine(faces.list, &s, &dir), 1);
    EXPECT_EQ(bz_DynFaceList_IntersectLine(faces.list, &aside, &dir), 0);
    List empty({});
    EXPECT_EQ(bz_DynForm_TestFaces(empty.list, &down, &t, nullptr, &hit, nullptr, nullptr), 0);
}

TEST(DynFacePlanes, StraddleTouchAndBehind)
{
    const bzDynFaceHit f = Face(V(0, 0, 0), V(4, 0, 1), V(0, 4, 2));
    struct Case
    {
        const char *name;
        bzPlane plane;
        int32_t intersects, behind;
    } cases[] = {
        {"straddles", {V(0, 0, 1), 1.0f}, 1, 1},
        {"touches at its top corner", {V(0, 0, 1), 2.0f}, 1, 1},
        {"all below", {V(0, 0, 1), 3.0f}, 0, 1},
        {"all above", {V(0, 0, 1), -0.5f}, 0, 0},
        {"touches at its low corner", {V(0, 0, 1), 0.0f}, 1, 1},
    };
    List faces({f});
    for (const Case &c : cases)
    {
        EXPECT_EQ(bz_DynFace_IntersectPlane(&f, &c.plane), c.intersects) << c.name;
        EXPECT_EQ(bz_DynFace_BehindPlane(&f, &c.plane), c.behind) << c.name;
        const bzDynFaceHit *hit = nullptr;
        EXPECT_EQ(bz_DynFaceList_IntersectPlane(faces.list, &c.plane, &hit), c.intersects)
            << c.name;
    }
}

TEST(DynFaceSphere, InsideEdgesAndCorners)
{
    const bzDynFaceHit f = Floor();
    struct Case
    {
        const char *name;
        bzV3 centre;
        float radius;
        int32_t hit;
    } cases[] = {
        {"above the inside, touching", V(1, 1, 0.5f), 0.5f, 1},
        {"above the inside, clear", V(1, 1, 0.5001f), 0.5f, 0},
        {"below the inside, touching", V(1, 1, -0.5f), 0.5f, 1},
        {"beside an edge, reaching it", V(1, -0.35f, 0.3f), 0.5f, 1},
        {"beside an edge, short of it", V(1, -0.45f, 0.3f), 0.5f, 0},
        {"by a corner, reaching it", V(-0.3f, -0.3f, 0), 0.5f, 1},
        {"by a corner, short of it", V(-0.4f, -0.4f, 0), 0.5f, 0},
        {"past a corner along an edge's line", V(5, 0, 0.3f), 0.5f, 0},
        {"in the plane, inside", V(1, 1, 0), 0.1f, 1},
    };
    for (const Case &c : cases)
        EXPECT_EQ(bz_DynFace_IntersectSphere(&f, &c.centre, c.radius), c.hit) << c.name;
}

TEST(DynFaceTriangle, CrossingTouchingAndBeside)
{
    const bzDynFaceHit f = Floor();
    struct Case
    {
        const char *name;
        bzV3 tri[3];
        int32_t hit;
    } cases[] = {
        {"crosses the inside", {V(1, 1, -1), V(1, 1, 1), V(2, 1, 1)}, 1},
        {"above", {V(1, 1, 1), V(2, 1, 1), V(1, 2, 1)}, 0},
        {"crosses the plane beside the face", {V(5, 5, -1), V(5, 5, 1), V(6, 5, 1)}, 0},
        {"touches with a corner", {V(1, 1, 0), V(1, 1, 1), V(2, 1, 1)}, 1},
        {"crosses over an edge", {V(-1, 1, -1), V(-1, 1, 1), V(1, 1, 0)}, 1},
        {"crosses just beside an edge", {V(-1, 1, -1), V(-1, 1, 1), V(-0.5f, 1, 0)}, 0},
    };
    for (const Case &c : cases)
        EXPECT_EQ(bz_DynFace_IntersectTriangle(&f, c.tri), c.hit) << c.name;
}

// A form of each kind against a floor of two triangles, 10 by 10, at z = 0.
TEST(DynFaceForms, EveryKindAgainstAFloor)
{
    List floor(
        {Face(V(-5, -5, 0), V(5, -5, 0), V(5, 5, 0)), Face(V(-5, -5, 0), V(5, 5, 0), V(-5, 5, 0))});
    struct Case
    {
        const char *name;
        FormPtr form;
        int32_t touches, withMargin;
    };
    Case cases[] = {
        {"sphere resting", Sphere(V(1, 1, 0.5f), 0.5f), 1, 1},
        {"sphere 0.005 above", Sphere(V(1, 1, 0.505f), 0.5f), 0, 1},
        {"sphere well above", Sphere(V(1, 1, 2), 0.5f), 0, 0},
        {"capsule lying on it", TicTac(V(-1, 0, 0.3f), V(1, 0, 0.3f), 0.3f), 1, 1},
        {"capsule standing through it", TicTac(V(0, 0, -1), V(0, 0, 1), 0.1f), 1, 1},
        {"capsule above", TicTac(V(-1, 0, 0.5f), V(1, 0, 0.5f), 0.3f), 0, 0},
        {"capsule beside the floor", TicTac(V(6, 0, -1), V(6, 0, 1), 0.5f), 0, 0},
        {"box through it", Hull(BZ_SHAPE_POLYHEDRON, BoxPoints(V(0, 0, -1), V(1, 1, 1))), 1, 1},
        {"box above", Hull(BZ_SHAPE_POLYHEDRON, BoxPoints(V(0, 0, 0.5f), V(1, 1, 1))), 0, 0},
        {"box wider than the floor, through it",
         Hull(BZ_SHAPE_POLYHEDRON, BoxPoints(V(-20, -20, -1), V(20, 20, 1))), 1, 1},
        {"rounded box resting on its rounding",
         Hull(BZ_SHAPE_ROUNDED_POLYHEDRON, BoxPoints(V(0, 0, 0.1f), V(1, 1, 1)), 0.1f), 1, 1},
        {"rounded box above its rounding",
         Hull(BZ_SHAPE_ROUNDED_POLYHEDRON, BoxPoints(V(0, 0, 0.2f), V(1, 1, 1)), 0.1f), 0, 0},
        {"aligned box through it", AlignedCuboid(V(0, 0, -1), V(1, 1, 1)), 1, 1},
        {"aligned box 0.005 above", AlignedCuboid(V(0, 0, 0.005f), V(1, 1, 1)), 0, 1},
        {"turned box through it", Cuboid(V(-1, -1, -1), V(1, 1, 1), Translation(0, 0, 0.5f)), 1, 1},
        // The margin form takes a cuboid without the margin.
        {"turned box 0.005 above", Cuboid(V(-1, -1, -1), V(1, 1, 1), Translation(0, 0, 1.005f)), 0,
         0},
    };
    for (const Case &c : cases)
    {
        EXPECT_EQ(bz_DynFaceList_IntersectForm(c.form.get(), floor.list, nullptr), c.touches)
            << c.name;
        EXPECT_EQ(bz_DynFaceList_IntersectFormWithMargin(c.form.get(), floor.list, nullptr, 0.01f),
                  c.withMargin)
            << c.name;
    }
    // A placement moves the form: the sphere well above, brought down onto the floor.
    FormPtr high = Sphere(V(1, 1, 2), 0.5f);
    const bzM34 down = Translation(0, 0, -1.5f);
    EXPECT_EQ(bz_DynFaceList_IntersectForm(high.get(), floor.list, &down), 1);
    const bzDynFaceHit *face = bz_DynFaceList_Entry(floor.list, 0);
    EXPECT_EQ(bz_DynFace_IntersectsForm(face, high->firstShape, &down), 1);
    EXPECT_EQ(bz_DynFace_IntersectsForm(face, high->firstShape, nullptr), 0);
}

TEST(DynFaceForms, KindsWithoutATestAreReported)
{
    List floor({Floor()});
    FormPtr half = HalfSpace(V(0, 0, 1), 0.0f);
    FormPtr aligned = AlignedHalfSpace(BZ_DIRECTION_Z_PLUS, 0.0f);
    const int32_t keep = bzgNoFatalExit;
    bzgNoFatalExit = 1;
    for (const FormPtr *f : {&half, &aligned})
    {
        Reports r;
        EXPECT_EQ(bz_DynFaceList_IntersectForm(f->get(), floor.list, nullptr), 0);
        EXPECT_TRUE(r.One("FaceListToFormIntersection", "Unsupported shape"));
        Reports m;
        EXPECT_EQ(bz_DynFaceList_IntersectFormWithMargin(f->get(), floor.list, nullptr, 0.01f), 0);
        EXPECT_TRUE(m.One("FaceListToFormIntersection", "Unsupported shape"));
    }
    FormPtr box = AlignedCuboid(V(0, 0, -1), V(1, 1, 1));
    Reports one;
    EXPECT_EQ(
        bz_DynFace_IntersectsForm(bz_DynFaceList_Entry(floor.list, 0), box->firstShape, nullptr),
        0);
    EXPECT_TRUE(one.One("bz_DynFace_IntersectsForm", "Unsupported form"));
    bzgNoFatalExit = keep;
}

TEST(DynFaceForms, MarginFormsOfPolyhedraAreTheRoundedTest)
{
    // A box whose corner dips 0.001 under the floor: both the plain and the margin test touch;
    // a plain box hanging 0.001 above touches neither (the margin form has no rounding).
    List floor(
        {Face(V(-5, -5, 0), V(5, -5, 0), V(5, 5, 0)), Face(V(-5, -5, 0), V(5, 5, 0), V(-5, 5, 0))});
    FormPtr dips = Hull(BZ_SHAPE_POLYHEDRON, BoxPoints(V(0, 0, -0.001f), V(1, 1, 1)));
    FormPtr hangs = Hull(BZ_SHAPE_POLYHEDRON, BoxPoints(V(0, 0, 0.001f), V(1, 1, 1)));
    EXPECT_EQ(bz_DynFaceList_IntersectFormWithMargin(dips.get(), floor.list, nullptr, 0.01f), 1);
    EXPECT_EQ(bz_DynFaceList_IntersectFormWithMargin(hangs.get(), floor.list, nullptr, 0.01f), 0);
    const bzM34 m1 = Identity(), m2 = Identity();
    const bzDynFaceHit *f = bz_DynFaceList_Entry(floor.list, 0);
    for (const FormPtr *form : {&dips, &hangs})
        EXPECT_EQ(bz_DynFace_IntersectPolyhedronWithMargin(f, (*form)->firstShape, &m1, &m2, 0.5f),
                  bz_DynFace_IntersectRoundedPolyhedron(f, (*form)->firstShape, &m1, &m2));
}

TEST(DynFaceBoxes, BoxesReachIntoFaces)
{
    List floor({Floor()});
    const bzBox through = {V(1, 1, -0.5f), V(2, 2, 0.5f)};
    const bzBox above = {V(1, 1, 0.5f), V(2, 2, 1.5f)};
    EXPECT_EQ(bz_DynFaceList_IntersectAlignedBox(floor.list, &through), 1);
    EXPECT_EQ(bz_DynFaceList_IntersectAlignedBox(floor.list, &above), 0);
    const bzM34 lower = Translation(0, 0, -1);
    EXPECT_EQ(bz_DynFaceList_IntersectBox(floor.list, &above, &lower), 1);
}
using DynFaceModels = CollisionModelsTest;

TEST_F(DynFaceModels, ModelTrianglesAndLumpTreesMeetTheFaces)
{
    // One upright triangle through z = 0 at x from 1 to 2.
    bzModel *model = bz_CreateModel(0, 0);
    ASSERT_NE(model, nullptr);
    models.push_back(model);
    bzModelPart *part = MakePart(model, 3);
    part->positions[0][0] = V(1, 1, -1);
    part->positions[0][1] = V(2, 1, -1);
    part->positions[0][2] = V(1, 1, 1);
    SetFaces(part, {{0, 1, 2}});
    List floor({Floor()});
    EXPECT_EQ(bz_DynModel_IntersectFaceList(model, floor.list, nullptr), 1);
    const bzM34 away = Translation(10, 0, 0), up = Translation(0, 0, 5);
    EXPECT_EQ(bz_DynModel_IntersectFaceList(model, floor.list, &away), 0);
    EXPECT_EQ(bz_DynModel_IntersectFaceList(model, floor.list, &up), 0);
    // In a tree: a child lump holding the model under a parent raised by 5, then the whole tree
    // brought down again by the given matrix.
    root = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "root");
    root->matrix = up;
    bzLump *child = bz_Lump_CreateModel(model);
    bz_Lump_AppendChild(root, child);
    EXPECT_EQ(bz_DynLumpTree_IntersectFaceList(root, floor.list, nullptr), 0);
    const bzM34 down = Translation(0, 0, -5);
    EXPECT_EQ(bz_DynLumpTree_IntersectFaceList(root, floor.list, &down), 1);
}
} // namespace
