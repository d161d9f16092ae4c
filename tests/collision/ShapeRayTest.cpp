// Segment and ray queries on every shape kind and on forms: hit codes, t, points and normals
// against analytic answers, starts inside, misses and out-of-limit shapes.
#include "PairTestShapes.h"
#include "collision/ShapeGeometry.h"
#include "collision/ShapeRay.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

using namespace pairtest;

namespace
{
bzRay Segment(bzV3 origin, bzV3 delta)
{
    return bzRay{origin, delta, 0};
}

void ExpectV3(const bzV3 &got, bzV3 expected, const std::string &what)
{
    for (int i = 0; i < 3; i++)
        EXPECT_NEAR(got.v[i], expected.v[i], 1e-4f) << what << " component " << i;
}

struct RayCase
{
    const char *name;
    FormPtr form;
    bzRay ray;
    int32_t code; // expected code; -2 for any face code above 0
    float t;
    bzV3 point, normal;
};

TEST(ShapeRay, HitsOnEveryKindAgainstAnalyticAnswers)
{
    bzM34 turned = Identity(); // a quarter turn about z, then moved by (10, 0, 0)
    turned.row[0] = V(0, 1, 0);
    turned.row[1] = V(-1, 0, 0);
    turned.row[3] = V(10, 0, 0);
    const float h = 0.5f / std::sqrt(2.0f);
    RayCase cases[] = {
        {"aligned cuboid min x", AlignedCuboid(V(0, 0, 0), V(1, 1, 1)),
         Segment(V(-1, 0.5f, 0.5f), V(2, 0, 0)), 4, 0.5f, V(0, 0.5f, 0.5f), V(-1, 0, 0)},
        {"aligned cuboid max y", AlignedCuboid(V(0, 0, 0), V(1, 1, 1)),
         Segment(V(0.5f, 3, 0.5f), V(0, -4, 0)), 2, 0.5f, V(0.5f, 1, 0.5f), V(0, 1, 0)},
        {"polyhedron box", Hull(BZ_SHAPE_POLYHEDRON, BoxPoints(V(0, 0, 0), V(1, 1, 1))),
         Segment(V(-1, 0.5f, 0.5f), V(2, 0, 0)), -2, 0.5f, V(0, 0.5f, 0.5f), V(-1, 0, 0)},
        {"sphere", Sphere(V(0, 0, 0), 1.0f), Segment(V(-3, 0.6f, 0), V(4, 0, 0)), 1, 0.55f,
         V(-0.8f, 0.6f, 0), V(-0.8f, 0.6f, 0)},
        {"tic-tac side", TicTac(V(0, 0, 0), V(0, 4, 0), 1.0f), Segment(V(-3, 2, 0), V(4, 0, 0)), 1,
         0.5f, V(-1, 2, 0), V(-1, 0, 0)},
        {"tic-tac end", TicTac(V(0, 0, 0), V(0, 4, 0), 1.0f), Segment(V(0, 8, 0), V(0, -4, 0)), 1,
         0.75f, V(0, 5, 0), V(0, 1, 0)},
        {"cuboid min x face", Cuboid(V(0, 0, 0), V(2, 1, 1), turned),
         Segment(V(9.5f, -1, 0.5f), V(0, 2, 0)), 4, 0.5f, V(9.5f, 0, 0.5f), V(0, -1, 0)},
        {"cuboid max y face", Cuboid(V(0, 0, 0), V(2, 1, 1), turned),
         Segment(V(8, 1, 0.5f), V(2, 0, 0)), 2, 0.5f, V(9, 1, 0.5f), V(-1, 0, 0)},
        {"aligned half-space YMinus", AlignedHalfSpace(BZ_DIRECTION_Y_MINUS, -1.0f),
         Segment(V(0, -1, 0), V(0, 4, 0)), 1, 0.5f, V(0, 1, 0), V(0, -1, 0)},
        {"half-space", HalfSpace(V(0, 1, 0), 0.0f), Segment(V(1, 2, 0), V(0, -4, 0)), 1, 0.5f,
         V(1, 0, 0), V(0, 1, 0)},
        {"rounded polyhedron face",
         Hull(BZ_SHAPE_ROUNDED_POLYHEDRON, BoxPoints(V(0, 0, 0), V(1, 1, 1)), 0.5f),
         Segment(V(-2, 0.5f, 0.5f), V(4, 0, 0)), -2, 0.375f, V(-0.5f, 0.5f, 0.5f), V(-1, 0, 0)},
        {"rounded polyhedron edge",
         Hull(BZ_SHAPE_ROUNDED_POLYHEDRON, BoxPoints(V(0, 0, 0), V(1, 1, 1)), 0.5f),
         Segment(V(-2, -2, 0.5f), V(4, 4, 0)), 1, (2.0f - h) / 4.0f, V(-h, -h, 0.5f),
         V(-0.70710678f, -0.70710678f, 0)},
    };
    for (RayCase &c : cases)
    {
        ASSERT_TRUE(c.form) << c.name;
        float t = -5.0f;
        bzV3 point = V(99, 99, 99), normal = V(99, 99, 99);
        const int32_t code = bz_Shape_RayIntersect(&c.ray, c.form->firstShape, &t, &point, &normal);
        if (c.code == -2)
            EXPECT_GT(code, 0) << c.name;
        else
            EXPECT_EQ(code, c.code) << c.name;
        EXPECT_NEAR(t, c.t, 1e-5f) << c.name;
        ExpectV3(point, c.point, std::string(c.name) + " point");
        ExpectV3(normal, c.normal, std::string(c.name) + " normal");
        // The same without outputs, and as a form query.
        EXPECT_EQ(bz_Shape_RayIntersect(&c.ray, c.form->firstShape, nullptr, nullptr, nullptr),
                  code)
            << c.name;
        const bzShape *hit = nullptr;
        float formT = -1.0f;
        EXPECT_EQ(bz_Form_RayIntersect(c.form.get(), &c.ray, &formT, nullptr, nullptr, &hit), 1)
            << c.name;
        EXPECT_EQ(hit, c.form->firstShape) << c.name;
        EXPECT_FLOAT_EQ(formT, t) << c.name;
        const bzV3 end = V(c.ray.origin.x + c.ray.delta.x, c.ray.origin.y + c.ray.delta.y,
                           c.ray.origin.z + c.ray.delta.z);
        EXPECT_EQ(bz_Shape_SegmentIntersect(&c.ray.origin, &end, c.form->firstShape), code)
            << c.name;
        EXPECT_EQ(bz_Form_SegmentHit(&c.ray.origin, &end, c.form.get()), 1) << c.name;
    }
}

// Starting inside gives -1 with t = 0 on every kind; too short, parallel or passing segments
// give 0; an unbounded ray beyond t = 1 reaches only the AlignedCuboid.
TEST(ShapeRay, InsideShortParallelAndUnbounded)
{
    struct KindCase
    {
        const char *name;
        FormPtr form;
        bzV3 inside;       // a start inside the shape
        bzRay beyondReach; // would hit at t = 2
    };
    KindCase cases[] = {
        {"aligned cuboid", AlignedCuboid(V(0, 0, 0), V(1, 1, 1)), V(0.5f, 0.5f, 0.5f),
         Segment(V(-2, 0.5f, 0.5f), V(1, 0, 0))},
        {"polyhedron", Hull(BZ_SHAPE_POLYHEDRON, BoxPoints(V(0, 0, 0), V(1, 1, 1))),
         V(0.5f, 0.5f, 0.5f), Segment(V(-2, 0.5f, 0.5f), V(1, 0, 0))},
        {"sphere", Sphere(V(0, 0, 0), 1.0f), V(0.2f, 0.2f, 0.2f), Segment(V(-3, 0, 0), V(1, 0, 0))},
        {"tic-tac", TicTac(V(0, 0, 0), V(0, 4, 0), 1.0f), V(0.5f, 3, 0),
         Segment(V(-3, 2, 0), V(1, 0, 0))},
        {"cuboid", Cuboid(V(0, 0, 0), V(1, 1, 1), Translation(5, 0, 0)), V(5.5f, 0.5f, 0.5f),
         Segment(V(3, 0.5f, 0.5f), V(1, 0, 0))},
        {"aligned half-space", AlignedHalfSpace(BZ_DIRECTION_X_MINUS, 0.0f), V(1, 0, 0),
         Segment(V(-2, 0, 0), V(1, 0, 0))},
        {"half-space", HalfSpace(V(1, 0, 0), 0.0f), V(-1, 0, 0), Segment(V(2, 0, 0), V(-1, 0, 0))},
        {"rounded polyhedron",
         Hull(BZ_SHAPE_ROUNDED_POLYHEDRON, BoxPoints(V(0, 0, 0), V(1, 1, 1)), 0.5f),
         V(0.5f, 0.5f, 0.5f), Segment(V(-2.5f, 0.5f, 0.5f), V(1, 0, 0))},
        {"rounded polyhedron shell",
         Hull(BZ_SHAPE_ROUNDED_POLYHEDRON, BoxPoints(V(0, 0, 0), V(1, 1, 1)), 0.5f),
         V(1.3f, 0.5f, 0.5f), Segment(V(-2.5f, 0.5f, 0.5f), V(1, 0, 0))},
    };
    for (KindCase &c : cases)
    {
        ASSERT_TRUE(c.form) << c.name;
        const bzShape *shape = c.form->firstShape;
        const bzRay fromInside = Segment(c.inside, V(0.01f, 0.02f, 0.03f));
        float t = 7.0f;
        EXPECT_EQ(bz_Shape_RayIntersect(&fromInside, shape, &t, nullptr, nullptr), -1) << c.name;
        EXPECT_EQ(t, 0.0f) << c.name;
        // A form ranks the start inside first.
        const bzShape *hit = nullptr;
        EXPECT_EQ(bz_Form_RayIntersect(c.form.get(), &fromInside, &t, nullptr, nullptr, &hit), 1);
        EXPECT_EQ(t, 0.0f) << c.name;

        EXPECT_EQ(bz_Shape_RayIntersect(&c.beyondReach, shape, nullptr, nullptr, nullptr), 0)
            << c.name;
        bzRay unbounded = c.beyondReach;
        unbounded.flag = 1;
        const int32_t code = bz_Shape_RayIntersect(&unbounded, shape, &t, nullptr, nullptr);
        if (shape->kind == BZ_SHAPE_ALIGNED_CUBOID)
        {
            EXPECT_EQ(code, 4);
            EXPECT_FLOAT_EQ(t, 2.0f);
        }
        else
            EXPECT_EQ(code, 0) << c.name;
    }

    // Parallel outside a face plane, or along a half-space's plane above it.
    FormPtr cube = Hull(BZ_SHAPE_POLYHEDRON, BoxPoints(V(0, 0, 0), V(1, 1, 1)));
    const bzRay grazing = Segment(V(-1, 1.5f, 0.5f), V(3, 0, 0));
    EXPECT_EQ(bz_Shape_RayIntersect(&grazing, cube->firstShape, nullptr, nullptr, nullptr), 0);
    FormPtr ground = HalfSpace(V(0, 1, 0), 0.0f);
    EXPECT_EQ(bz_Shape_RayIntersect(&grazing, ground->firstShape, nullptr, nullptr, nullptr), 0);
    // On the plane is not inside: only a segment whose end goes strictly below hits.
    const bzRay onPlane = Segment(V(0, 0, 0), V(1, 0, 0));
    EXPECT_EQ(bz_Shape_RayIntersect(&onPlane, ground->firstShape, nullptr, nullptr, nullptr), 0);
    const bzRay down = Segment(V(0, 0, 0), V(0, -1, 0));
    float t = -1.0f;
    EXPECT_EQ(bz_Shape_RayIntersect(&down, ground->firstShape, &t, nullptr, nullptr), 1);
    EXPECT_EQ(t, 0.0f);
    // Leaving through one face before entering another: a miss past a cube's edge.
    const bzRay past = Segment(V(-1, 0.5f, 0.5f), V(1.8f, 1.8f, 0));
    EXPECT_EQ(bz_Shape_RayIntersect(&past, cube->firstShape, nullptr, nullptr, nullptr), 0);
    // A segment of no length never meets a sphere from outside.
    FormPtr ball = Sphere(V(0, 0, 0), 1.0f);
    const bzRay still = Segment(V(2, 0, 0), V(0, 0, 0));
    EXPECT_EQ(bz_Shape_RayIntersect(&still, ball->firstShape, nullptr, nullptr, nullptr), 0);
}

TEST(ShapeRay, NeverHitKindsAndBadShapes)
{
    const bzRay through = Segment(V(-2, 0.5f, 0.5f), V(4, 0, 0));
    FormPtr wire = Hull(BZ_SHAPE_WIRE_FRAME, BoxPoints(V(0, 0, 0), V(1, 1, 1)));
    FormPtr crush = CrushableCuboid(V(0, 0, 0), V(1, 1, 1));
    EXPECT_EQ(bz_Shape_RayIntersect(&through, wire->firstShape, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(bz_Shape_RayIntersect(&through, crush->firstShape, nullptr, nullptr, nullptr), 0);
    FormPtr bad = AlignedHalfSpace(BZ_DIRECTION_X_PLUS, 0.0f);
    bz_Shape_AsHalfSpace(bad->firstShape)->direction = 6;
    EXPECT_EQ(bz_Shape_RayIntersect(&through, bad->firstShape, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(bz_Shape_RayIntersect(nullptr, wire->firstShape, nullptr, nullptr, nullptr), 0);

    // Counts past the working limits are refused at entry rather than read past their arrays.
    FormPtr cube = Hull(BZ_SHAPE_POLYHEDRON, BoxPoints(V(0, 0, 0), V(1, 1, 1)));
    bzHull *hull = bz_Shape_Hull(cube->firstShape);
    const int16_t faces = hull->faceCount;
    hull->faceCount = BZ_SHAPE_MAX_FACES + 1;
    EXPECT_EQ(bz_Shape_RayIntersect(&through, cube->firstShape, nullptr, nullptr, nullptr), 0);
    hull->faceCount = faces;
    EXPECT_GT(bz_Shape_RayIntersect(&through, cube->firstShape, nullptr, nullptr, nullptr), 0);

    // A degenerate face (no normal, distance 0) bounds nothing: the cube keeps its answers.
    const bzPlane saved = hull->planes[0];
    hull->planes[0] = {V(0, 0, 0), 0.0f};
    const bzV3 centre = V(0.5f, 0.5f, 0.5f), outside = V(3, 0.5f, 0.5f);
    EXPECT_EQ(bz_Shape_ContainsPoint(cube->firstShape, &centre), 1);
    EXPECT_EQ(bz_Shape_ContainsPoint(cube->firstShape, &outside), 0);
    float t = -1.0f;
    EXPECT_GT(bz_Shape_RayIntersect(&through, cube->firstShape, &t, nullptr, nullptr), 0);
    EXPECT_NEAR(t, 0.5f, 1e-6f);
    hull->planes[0] = saved;
}

// A shape the ray starts inside ranks at t = 0 in a form, ahead of every hit from outside,
// whichever kind reports it.
TEST(ShapeRay, FormRanksAStartInsideFirst)
{
    FormPtr form(bz_Form_Alloc(nullptr, BZ_SHAPE_NULL));
    bzShape *ball = bz_Shape_Create(form.get(), BZ_SHAPE_SPHERE, 0, 0, 0);
    bz_Shape_AsSphere(ball)->centre = V(3, 0, 0);
    bz_Shape_AsSphere(ball)->radius = 1.0f;
    bzShape *ground = bz_Shape_Create(form.get(), BZ_SHAPE_HALF_SPACE, 0, 0, 0);
    bz_Shape_AsHalfSpace(ground)->plane = {V(0, 1, 0), 1.0f};
    FormAppendShape(form.get(), ball);
    FormAppendShape(form.get(), ground);
    bz_Form_CalcBounds(form.get(), 1);
    const bzRay ray = Segment(V(0, 0, 0), V(10, 0, 0));
    float t = -1.0f;
    const bzShape *hit = nullptr;
    EXPECT_EQ(bz_Form_RayIntersect(form.get(), &ray, &t, nullptr, nullptr, &hit), 1);
    EXPECT_EQ(hit, ground);
    EXPECT_EQ(t, 0.0f);
    bz_Shape_AsHalfSpace(ground)->plane.d = -1.0f; // now the ray starts above the ground
    EXPECT_EQ(bz_Form_RayIntersect(form.get(), &ray, &t, nullptr, nullptr, &hit), 1);
    EXPECT_EQ(hit, ball);
    EXPECT_NEAR(t, 0.2f, 1e-6f);
}

TEST(ShapeRay, FormTakesTheNearestShapeAndTheEarlierOnATie)
{
    FormPtr form(bz_Form_Alloc(nullptr, BZ_SHAPE_NULL));
    bzShape *far = bz_Shape_Create(form.get(), BZ_SHAPE_SPHERE, 0, 0, 0);
    bz_Shape_AsSphere(far)->centre = V(5, 0, 0);
    bz_Shape_AsSphere(far)->radius = 1.0f;
    bzShape *near = bz_Shape_Create(form.get(), BZ_SHAPE_ALIGNED_CUBOID, 0, 0, 0);
    *bz_Shape_Bounds(near) = {V(1, -1, -1), V(2, 1, 1)};
    bzShape *twin = bz_Shape_Create(form.get(), BZ_SHAPE_ALIGNED_CUBOID, 0, 0, 0);
    *bz_Shape_Bounds(twin) = {V(1, -2, -2), V(3, 2, 2)};
    FormAppendShape(form.get(), far);
    FormAppendShape(form.get(), near);
    FormAppendShape(form.get(), twin);
    bz_Form_CalcBounds(form.get(), 1);
    const bzRay ray = Segment(V(0, 0, 0), V(10, 0, 0));
    float t = 0.0f;
    bzV3 point, normal;
    const bzShape *hit = nullptr;
    EXPECT_EQ(bz_Form_RayIntersect(form.get(), &ray, &t, &point, &normal, &hit), 1);
    EXPECT_EQ(hit, near);
    EXPECT_FLOAT_EQ(t, 0.1f);
    ExpectV3(point, V(1, 0, 0), "point");
    ExpectV3(normal, V(-1, 0, 0), "normal");
    const bzRay miss = Segment(V(0, 5, 0), V(10, 0, 0));
    EXPECT_EQ(bz_Form_RayIntersect(form.get(), &miss, nullptr, nullptr, nullptr, nullptr), 0);
    const bzV3 a = V(0, 5, 0), b = V(10, 5, 0);
    EXPECT_EQ(bz_Form_SegmentHit(&a, &b, form.get()), 0);
    EXPECT_EQ(FormSegmentHit(&ray.origin, &ray.delta, form.get()), 1);
}

TEST(ShapeRay, LinesThroughShapes)
{
    const bzV3 origin = V(-10, 0.5f, 0.5f), alongX = V(1, 0, 0), alongY = V(0, 1, 0);
    FormPtr box = AlignedCuboid(V(0, 0, 0), V(1, 1, 1));
    FormPtr ball = Sphere(V(20, 0.5f, 0.5f), 1.0f);
    FormPtr wall = AlignedHalfSpace(BZ_DIRECTION_Y_PLUS, 0.0f);
    FormPtr plane = HalfSpace(V(0, 1, 0), 0.0f);
    EXPECT_EQ(ShapeLineHit(box->firstShape, &origin, &alongX), 1);
    EXPECT_EQ(ShapeLineHit(ball->firstShape, &origin, &alongX), 1); // the line runs both ways
    const bzV3 off = V(-10, 3, 0.5f);
    EXPECT_EQ(ShapeLineHit(box->firstShape, &off, &alongX), 0);
    EXPECT_EQ(ShapeLineHit(wall->firstShape, &origin, &alongX), 0);
    EXPECT_EQ(ShapeLineHit(wall->firstShape, &origin, &alongY), 1);
    EXPECT_EQ(ShapeLineHit(plane->firstShape, &origin, &alongX), 0);
    EXPECT_EQ(ShapeLineHit(plane->firstShape, &origin, &alongY), 1);
    const bzV3 zero = V(0, 0, 0);
    EXPECT_EQ(ShapeLineHit(box->firstShape, &origin, &zero), 0);
    EXPECT_EQ(bz_Form_LineHit(box.get(), &origin, &alongX), 1);
    EXPECT_EQ(bz_Form_LineHit(box.get(), &off, &alongX), 0);
}
} // namespace
