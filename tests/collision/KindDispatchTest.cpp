// Point and segment tests by shape kind (normals into the shape, physics error 1 for kinds
// without a test) and a sphere swept against an edge with its corners and resting fallback.
#include "PairTestShapes.h"
#include "collision/CollisionContact.h"
#include "collision/CollisionTolerance.h"
#include "collision/KindDispatch.h"
#include "collision/PointPrimitives.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace pairtest;

namespace
{
std::vector<std::pair<int32_t, std::string>> gErrors;

// Physics errors go to a list for the length of a test.
struct ErrorLog
{
    ErrorLog()
    {
        gErrors.clear();
        bz_PhysContacts_SetErrorReporter([](int32_t code, const char *text)
                                         { gErrors.emplace_back(code, text); });
    }
    ~ErrorLog() { bz_PhysContacts_SetErrorReporter(nullptr); }
};

TEST(SegmentEntersShapeByKind, CodesAndNormalsIntoTheShape)
{
    ErrorLog log;
    struct Case
    {
        const char *name;
        FormPtr form;
        bzV3 start, end;
        int32_t code; // -2: any positive code
        float t;
        bzV3 normal;
    };
    Case cases[] = {
        {"aligned box through its min-x face", AlignedCuboid(V(0, 0, 0), V(1, 1, 1)),
         V(-1, 0.5f, 0.5f), V(1, 0.5f, 0.5f), 5, 0.5f, V(1, 0, 0)},
        {"aligned box through its max-y face", AlignedCuboid(V(0, 0, 0), V(1, 1, 1)),
         V(0.5f, 2, 0.5f), V(0.5f, 0, 0.5f), 2, 0.5f, V(0, -1, 0)},
        {"crushable box through its min-z face", CrushableCuboid(V(0, 0, 0), V(1, 1, 1)),
         V(0.5f, 0.5f, -3), V(0.5f, 0.5f, 1), 7, 0.75f, V(0, 0, 1)},
        {"aligned box, start inside", AlignedCuboid(V(0, 0, 0), V(1, 1, 1)), V(0.5f, 0.5f, 0.5f),
         V(3, 3, 3), -1, 0, V(0, 0, 0)},
        {"aligned box missed", AlignedCuboid(V(0, 0, 0), V(1, 1, 1)), V(-1, 2, 0.5f), V(2, 2, 0.5f),
         0, 0, V(0, 0, 0)},
        {"polyhedron through its -x face",
         Hull(BZ_SHAPE_POLYHEDRON, BoxPoints(V(0, 0, 0), V(1, 1, 1))), V(-1, 0.5f, 0.5f),
         V(1, 0.5f, 0.5f), -2, 0.5f, V(1, 0, 0)},
        {"sphere from above", Sphere(V(0, 0, 0), 1), V(0, 3, 0), V(0, -3, 0), 1, 1.0f / 3.0f,
         V(0, -1, 0)},
        {"rounded box", Hull(BZ_SHAPE_ROUNDED_POLYHEDRON, BoxPoints(V(0, 0, 0), V(1, 1, 1)), 0.1f),
         V(-1, 0.5f, 0.5f), V(1, 0.5f, 0.5f), -2, 0.45f, V(0, 0, 0)},
        {"wire frame", Hull(BZ_SHAPE_WIRE_FRAME, BoxPoints(V(0, 0, 0), V(1, 1, 1))),
         V(-1, 0.5f, 0.5f), V(1, 0.5f, 0.5f), 0, 0, V(0, 0, 0)},
    };
    for (const Case &c : cases)
    {
        bzV3 hit = V(7, 7, 7), normal = V(7, 7, 7);
        float t = 7;
        const int32_t code =
            bz_SegmentEntersShape_ByKind(&c.start, &c.end, c.form->firstShape, &hit, &t, &normal);
        if (c.code == -2)
        {
            EXPECT_GT(code, 0) << c.name;
        }
        else
        {
            EXPECT_EQ(code, c.code) << c.name;
        }
        if (code > 0)
        {
            EXPECT_NEAR(t, c.t, 1e-5f) << c.name;
            const bool checkNormal = c.normal.x != 0 || c.normal.y != 0 || c.normal.z != 0;
            for (int k = 0; checkNormal && k < 3; k++)
            {
                EXPECT_NEAR(normal.v[k], c.normal.v[k], 1e-5f) << c.name << " axis " << k;
            }
        }
    }
    EXPECT_TRUE(gErrors.empty());
    // Without an out normal the code still comes.
    FormPtr box = AlignedCuboid(V(0, 0, 0), V(1, 1, 1));
    const bzV3 s = V(-1, 0.5f, 0.5f), e = V(1, 0.5f, 0.5f);
    bzV3 hit;
    float t;
    EXPECT_EQ(bz_SegmentEntersShape_ByKind(&s, &e, box->firstShape, &hit, &t, nullptr), 5);
}

TEST(SegmentEntersShapeByKind, KindsWithoutATestRaisePhysicsErrorOne)
{
    ErrorLog log;
    std::vector<FormPtr> forms;
    forms.push_back(TicTac(V(0, 0, 0), V(1, 0, 0), 0.5f));
    forms.push_back(Cuboid(V(0, 0, 0), V(1, 1, 1), Identity()));
    forms.push_back(AlignedHalfSpace(BZ_DIRECTION_Y_PLUS, 0));
    forms.push_back(HalfSpace(V(0, 1, 0), 0));
    const bzV3 s = V(-1, 0.5f, 0.5f), e = V(1, 0.5f, 0.5f);
    for (const FormPtr &f : forms)
    {
        gErrors.clear();
        bzV3 hit, normal, point;
        float t, fraction, mark;
        EXPECT_EQ(bz_SegmentEntersShape_ByKind(&s, &e, f->firstShape, &hit, &t, &normal), 0);
        EXPECT_EQ(
            bz_PointAgainstShape_ByKind(f->firstShape, &s, &e, &fraction, &point, &normal, &mark),
            0);
        ASSERT_EQ(gErrors.size(), 2u) << f->firstShape->kind;
        EXPECT_EQ(gErrors[0].first, 1);
        EXPECT_EQ(gErrors[0].second, "");
    }
    // A kind word from outside the table, and the rounded hull in the point dispatcher.
    bzShape odd = {};
    odd.kind = 42;
    gErrors.clear();
    bzV3 hit, normal, point;
    float t, fraction, mark;
    EXPECT_EQ(bz_SegmentEntersShape_ByKind(&s, &e, &odd, &hit, &t, &normal), 0);
    FormPtr rounded = Hull(BZ_SHAPE_ROUNDED_POLYHEDRON, BoxPoints(V(0, 0, 0), V(1, 1, 1)), 0.1f);
    EXPECT_EQ(
        bz_PointAgainstShape_ByKind(rounded->firstShape, &s, &e, &fraction, &point, &normal, &mark),
        0);
    EXPECT_EQ(gErrors.size(), 2u);
}

TEST(PointAgainstShapeByKind, EachKindsNearSurfaceTest)
{
    ErrorLog log;
    float fraction = 0, mark = 0;
    bzV3 point, normal;
    // Ending within the tolerance outside a box's top: a resting touch.
    FormPtr box = AlignedCuboid(V(0, 0, 0), V(1, 1, 1));
    const bzV3 above = V(0.5f, 1.5f, 0.5f), onTop = V(0.5f, 1.005f, 0.5f);
    EXPECT_EQ(bz_PointAgainstShape_ByKind(box->firstShape, &above, &onTop, &fraction, &point,
                                          &normal, &mark),
              BZ_NEAR_SURFACE);
    EXPECT_EQ(mark, 1.0f);
    // Entering a polyhedron through its top: the face's code and the normal into it.
    FormPtr cube = Hull(BZ_SHAPE_POLYHEDRON, BoxPoints(V(0, 0, 0), V(1, 1, 1)));
    const bzV3 through = V(0.5f, 0.5f, 0.5f);
    EXPECT_GT(bz_PointAgainstShape_ByKind(cube->firstShape, &above, &through, &fraction, &point,
                                          &normal, &mark),
              0);
    EXPECT_NEAR(normal.y, -1.0f, 1e-6f);
    EXPECT_NEAR(fraction, 0.5f, 1e-6f);
    // Into a sphere.
    FormPtr ball = Sphere(V(0, 0, 0), 1);
    const bzV3 from = V(0, 3, 0), to = V(0, 0, 0);
    EXPECT_EQ(bz_PointAgainstShape_ByKind(ball->firstShape, &from, &to, &fraction, &point, &normal,
                                          &mark),
              1);
    EXPECT_NEAR(fraction, 2.0f / 3.0f, 1e-6f);
    FormPtr wire = Hull(BZ_SHAPE_WIRE_FRAME, BoxPoints(V(0, 0, 0), V(1, 1, 1)));
    EXPECT_EQ(bz_PointAgainstShape_ByKind(wire->firstShape, &above, &through, &fraction, &point,
                                          &normal, &mark),
              0);
    EXPECT_TRUE(gErrors.empty());
}

TEST(SweptPointEdgeRadius, SideCornersAndRestingFallback)
{
    const float savedTolerance = bzCollisionTolerance;
    bzCollisionTolerance = 0.01f;
    FormPtr ballForm = Sphere(V(0, 0, 0), 0.5f);
    const bzSphereShape *ball = static_cast<const bzSphereShape *>(ballForm->firstShape);
    const bzV3 a = V(0, 0, 0), b = V(4, 0, 0);
    struct Case
    {
        const char *name;
        bzV3 s0, s1;
        int8_t markA, markB;
        float time;
        bzV3 point, normal;
    } cases[] = {
        // Down onto the edge's side: the centre reaches y = 0.5 at 0.75.
        {"onto the side", V(2, 2, 0), V(2, 0, 0), 0, 0, 0.75f, V(2, 0, 0), V(0, -1, 0)},
        // Past the end at x = 4.3: the corner (4,0,0), 0.3 from the path, is met at 0.8.
        {"past the end, the corner", V(4.3f, 2, 0), V(4.3f, 0, 0), 0, 0, 0.8f, V(4, 0, 0),
         V(0, 0, 0)},
        {"past the end, corner marked off", V(4.3f, 2, 0), V(4.3f, 0, 0), 0, -1, 100.0f, V(0, 0, 0),
         V(0, 0, 0)},
        // Along the edge, ending within the tolerance shell: the resting touch.
        {"along the edge, resting", V(1, 0.505f, 0), V(3, 0.505f, 0), 0, 0, 1.0f, V(3, 0, 0),
         V(0, -1, 0)},
        {"along the edge, clear", V(1, 0.6f, 0), V(3, 0.6f, 0), 0, 0, 100.0f, V(0, 0, 0),
         V(0, 0, 0)},
        {"passing far beside", V(2, 2, 3), V(2, -2, 3), 0, 0, 100.0f, V(0, 0, 0), V(0, 0, 0)},
        {"moving away", V(2, 1, 0), V(2, 3, 0), 0, 0, 100.0f, V(0, 0, 0), V(0, 0, 0)},
    };
    for (const Case &c : cases)
    {
        float time = -1;
        bzV3 point = V(9, 9, 9), normal = V(9, 9, 9);
        bz_SweptPointEdgeRadius(&a, &b, &c.s0, &c.s1, ball, &time, &point, &normal, c.markA,
                                c.markB);
        EXPECT_NEAR(time, c.time, 1e-5f) << c.name;
        if (time <= 1.0f)
            for (int k = 0; k < 3; k++)
            {
                EXPECT_NEAR(point.v[k], c.point.v[k], 1e-5f) << c.name;
                if (c.normal.x != 0 || c.normal.y != 0 || c.normal.z != 0)
                {
                    EXPECT_NEAR(normal.v[k], c.normal.v[k], 1e-5f) << c.name;
                }
            }
    }
    // An edge of no length: nothing.
    float time = -1;
    bzV3 point, normal;
    const bzV3 s0 = V(0, 2, 0), s1 = V(0, 0, 0);
    bz_SweptPointEdgeRadius(&a, &a, &s0, &s1, ball, &time, &point, &normal, 0, 0);
    EXPECT_EQ(time, 100.0f);
    bzCollisionTolerance = savedTolerance;
}
} // namespace
