// The body operations nothing in the engine calls yet: the frame's velocity change read in
// place, an impulse given in the body frame, and the free move that holds the spin axis fixed in
// the world.
#include "core/Error.h"
#include "maths/Matrix.h"
#include "maths/Vector.h"
#include "physics/Body.h"
#include "physics/BodyContact.h"
#include "physics/BodyMass.h"
#include "physics/BodyTree.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace
{
bzV3 V(float x, float y, float z)
{
    return bzV3{{{x, y, z}}};
}

void ExpectNear(const bzV3 &got, const bzV3 &want, float tolerance, const char *what)
{
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(got.v[i], want.v[i], tolerance) << what << " [" << i << "]";
}

void ExpectMatrixNear(const bzM34 &got, const bzM34 &want, float tolerance, const char *what)
{
    for (int r = 0; r < 4; ++r)
        ExpectNear(got.row[r], want.row[r], tolerance, what);
}

TEST(BodyAccessorsTest, FrameVelocityChangeIsReadAndWrittenInPlace)
{
    BZDObject b = {};
    b.frameStartLinearVelocity = V(1, 2, 3);
    b.frameStartAngularVelocity = V(-1, 0, 4);
    bzV3 *linear = bz_Body_FrameLinearVelocityChange(&b);
    bzV3 *angular = bz_Body_FrameAngularVelocityChange(&b);
    ASSERT_NE(linear, nullptr);
    ASSERT_NE(angular, nullptr);
    EXPECT_EQ(linear->z, 3.0f);
    EXPECT_EQ(angular->x, -1.0f);
    linear->y = 7.0f;
    angular->z = -5.0f;
    bzV3 copyLinear, copyAngular;
    bz_Body_GetFrameVelocityChange(&b, &copyLinear, &copyAngular);
    EXPECT_EQ(copyLinear.y, 7.0f);
    EXPECT_EQ(copyAngular.z, -5.0f);
}

// A body turned a quarter about world z: its x axis lies along world y, its y axis along -x.
BZDObject TurnedBody()
{
    BZDObject b = {};
    b.startTransform = {{V(0, 1, 0), V(-1, 0, 0), V(0, 0, 1), V(5, 6, 7)}};
    b.mass = 2.0f;
    b.inverseMass = 0.5f;
    b.inversePrincipalMoments = V(1.0f, 0.5f, 0.25f);
    b.centreOfMass = V(0, 0.5f, 0);
    return b;
}

TEST(BodyAccessorsTest, ABodyFrameImpulseTurnsIntoTheWorldForTheLinearPart)
{
    BZDObject b = TurnedBody();
    const bzV3 impulse = V(1, 0, 0), point = V(0, 1, 0);
    ASSERT_EQ(bz_Body_ApplyBodyImpulse(&impulse, &b, &point, 2.0f), 0);
    // (2, 0, 0) in the body is (0, 2, 0) in the world: v = 0.5 (0, 2, 0).
    ExpectNear(b.linearVelocity, V(0, 1, 0), 1e-6f, "v");
    // r = (0, 0.5, 0); r x (2, 0, 0) = (0, 0, -1); times the inverse moments.
    ExpectNear(b.angularVelocity, V(0, 0, -0.25f), 1e-6f, "w");
    EXPECT_EQ(b.collisionMask & (BZ_BODY_CHANGED_LINEAR | BZ_BODY_CHANGED_ANGULAR),
              BZ_BODY_CHANGED_LINEAR | BZ_BODY_CHANGED_ANGULAR);

    // The world-frame routine with the same impulse and point in the world agrees.
    BZDObject world = TurnedBody();
    const bzV3 worldImpulse = V(0, 1, 0);
    bzV3 worldPoint;
    bz_M34_TransformPointInto(&world.startTransform, &worldPoint, &point);
    ASSERT_EQ(bz_Body_ApplyImpulse(&worldImpulse, &world, &worldPoint, 2.0f), 0);
    ExpectNear(world.linearVelocity, b.linearVelocity, 1e-6f, "v, world routine");
    ExpectNear(world.angularVelocity, b.angularVelocity, 1e-6f, "w, world routine");
}

TEST(BodyAccessorsTest, ABodyFrameImpulseThatIsNotFiniteChangesNothing)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const bzV3 good = V(1, 0, 0), bad = V(0, nan, 0), far = V(inf, 0, 0);
    struct Case
    {
        const bzV3 *impulse, *point;
        float scale;
    } cases[] = {{&bad, &good, 1.0f}, {&good, &far, 1.0f}, {&good, &good, nan}};
    for (const Case &c : cases)
    {
        BZDObject b = TurnedBody();
        EXPECT_EQ(bz_Body_ApplyBodyImpulse(c.impulse, &b, c.point, c.scale),
                  BZ_ERROR_PARAMETER_OUT_OF_RANGE);
        EXPECT_EQ(b.linearVelocity.y, 0.0f);
        EXPECT_EQ(b.angularVelocity.z, 0.0f);
        EXPECT_EQ(b.collisionMask, 0u);
    }
}

// A root turned a quarter about world x, with a child; both spin about world z.
struct SpinTree
{
    BZDObject root = {}, child = {};
    bzM34 m[2];
    SpinTree(bool worldSpin)
    {
        const bzV3 x = V(1, 0, 0);
        bz_M34_FromAxisAngle(&m[0], &x, 90.0f);
        m[0].row[3] = V(1, 2, 3);
        bz_M34_SetIdentity(&m[1]);
        m[1].row[3] = V(-2, 0, 1);
        root.transform = &m[0];
        child.transform = &m[1];
        root.firstChild = &child;
        child.parent = &root;
        root.centreOfMass = V(0.5f, 0, 0);
        child.centreOfMass = V(0, 0, 0.25f);
        root.linearVelocity = V(1, 0, 0);
        child.linearVelocity = V(0, -2, 0);
        const float rate = 1.5707964f; // a quarter turn a second
        root.savedAngularVelocity = child.savedAngularVelocity = V(0, 0, rate);
        if (!worldSpin)
        {
            // The same world axis in each body's own frame.
            for (int i = 0; i < 2; ++i)
            {
                BZDObject &b = i ? child : root;
                bz_M34_InverseRotateV3Into(&m[i], &b.savedAngularVelocity, &b.savedAngularVelocity);
            }
        }
    }
};

TEST(BodyAccessorsTest, TheWorldSpinMoveTurnsAboutTheWorldAxisThroughTheCentre)
{
    SpinTree world(true), body(false);
    bzV3 centreBefore;
    bz_M34_TransformPointInto(&world.m[0], &centreBefore, &world.root.centreOfMass);
    bz_Phys_MoveTreeFreeWorldSpin(&world.root, 1.0f);
    // The body-frame move about the same axis, as an independent check of the whole result.
    bz_Phys_MoveTreeFree(&body.root, 1.0f);
    ExpectMatrixNear(world.m[0], body.m[0], 1e-5f, "root");
    ExpectMatrixNear(world.m[1], body.m[1], 1e-5f, "child");
    // The centre moves only by the velocity; the body's x axis keeps its z and turns in x-y.
    bzV3 centreAfter;
    bz_M34_TransformPointInto(&world.m[0], &centreAfter, &world.root.centreOfMass);
    ExpectNear(centreAfter, V(centreBefore.x + 1, centreBefore.y, centreBefore.z), 1e-5f, "centre");
    EXPECT_NEAR(world.m[0].row[0].z, 0.0f, 1e-6f);
    EXPECT_NEAR(std::fabs(world.m[0].row[0].y), 1.0f, 1e-6f);
    // The body's z axis (world -y before, about x) turns to lie along world x.
    EXPECT_NEAR(std::fabs(world.m[0].row[2].x), 1.0f, 1e-6f);
    // The spin itself is untouched.
    EXPECT_EQ(world.root.savedAngularVelocity.z, 1.5707964f);
}

TEST(BodyAccessorsTest, TheWorldSpinMoveOnlyTranslatesSleepersAndTinyTurns)
{
    for (int c = 0; c < 2; ++c)
    {
        SpinTree t(true);
        const bzM34 before = t.m[0];
        if (c == 0)
            t.root.asleep = 1;
        bz_Phys_MoveTreeFreeWorldSpin(&t.root, c == 0 ? 1.0f : 0.00005f);
        const float dt = c == 0 ? 1.0f : 0.00005f;
        for (int r = 0; r < 3; ++r)
            ExpectNear(t.m[0].row[r], before.row[r], 0.0f, "rotation kept");
        ExpectNear(t.m[0].row[3], V(before.row[3].x + dt, 2, 3), 1e-6f, "translation");
    }
    // A body without a current transform moves its start-of-step one.
    BZDObject lone = {};
    bz_M34_SetIdentity(&lone.startTransform);
    lone.linearVelocity = V(0, 0, 4);
    bz_Phys_MoveTreeFreeWorldSpin(&lone, 0.25f);
    EXPECT_EQ(lone.startTransform.row[3].z, 1.0f);
}
} // namespace
