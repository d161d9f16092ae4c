// The linear move of a free body.
#include "maths/Vector.h"
#include "physics/Body.h"
#include "physics/BodyMass.h"
#include "physics/BodyContact.h"
#include "physics/BodyMotion.h"
#include "maths/Matrix.h"
#include "physics/PhysServices.h"
#include "physics/PhysMemory.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <limits>

namespace
{
TEST(BodyMotionTest, ConstantVelocityMovesExactlyDtTimesVelocityEachStep)
{
    // Values exact in binary: every step adds exactly (0.125, -0.25, 0.03125).
    BZDObject body = {};
    body.startTransform.row[3] = bzV3{{{1.0f, 2.0f, 3.0f}}};
    body.linearVelocity = bzV3{{{2.0f, -4.0f, 0.5f}}};
    body.asleep = 1;
    for (int step = 1; step <= 100; ++step)
    {
        EXPECT_EQ(bz_Body_MoveLinear(&body, 0.0625f), 1);
        ASSERT_EQ(body.startTransform.row[3].x, 1.0f + 0.125f * step);
        ASSERT_EQ(body.startTransform.row[3].y, 2.0f - 0.25f * step);
        ASSERT_EQ(body.startTransform.row[3].z, 3.0f + 0.03125f * step);
    }
    EXPECT_EQ(body.asleep, 0);
    EXPECT_EQ(body.collisionMask, BZ_BODY_CHANGED_POSITION);
    // The rotation rows are not touched.
    EXPECT_EQ(body.startTransform.row[0].x, 0.0f);
}

TEST(BodyMotionTest, StillOrBadVelocityDoesNotMove)
{
    BZDObject body = {};
    body.startTransform.row[3] = bzV3{{{1.0f, 2.0f, 3.0f}}};
    body.asleep = 1;
    EXPECT_EQ(bz_Body_MoveLinear(&body, 0.04f), 0);
    EXPECT_EQ(body.asleep, 1);
    EXPECT_EQ(body.collisionMask, 0u);

    KeepAlive keep;
    static int32_t reported;
    bz_Phys_SetErrorHook([](int32_t code, const char *) { reported = code; });
    for (float bad :
         {std::numeric_limits<float>::quiet_NaN(), -std::numeric_limits<float>::infinity()})
    {
        reported = 0;
        body.linearVelocity = bzV3{{{0.0f, bad, 1.0f}}};
        EXPECT_EQ(bz_Body_MoveLinear(&body, 0.04f), 0);
        EXPECT_EQ(reported, 10);
        EXPECT_EQ(bz_V3_LengthSq(&body.linearVelocity), 0.0f);
        EXPECT_EQ(body.startTransform.row[3].y, 2.0f);
    }
    bz_Phys_SetErrorHook(nullptr);
}

// Counts the wake and sleep links the physics runs.
struct LinkCounter
{
    static inline int wakes, sleeps;
    static inline int wakeEvent, sleepEvent;
    LinkCounter()
    {
        wakes = sleeps = 0;
        bz_Phys_ResetServices();
        bzgPhysWakeEvent = &wakeEvent;
        bzgPhysSleepEvent = &sleepEvent;
        bzgPhysDynamics.callLinkHandlers = [](BZDObject *, void *event)
        {
            if (event == &wakeEvent)
                ++wakes;
            else if (event == &sleepEvent)
                ++sleeps;
        };
    }
    ~LinkCounter() { bz_Phys_ResetServices(); }
};

// A body of unit mass and moments, its start-of-step transform the identity.
BZDObject UnitBody()
{
    BZDObject b = {};
    bz_M34_SetIdentity(&b.startTransform);
    b.inertiaScale = 1.0f;
    const bzV3 moments = {{{1.0f, 1.0f, 1.0f}}};
    bz_Body_SetMassProperties(&b, 1.0f, 1.0f, nullptr, &moments, 0);
    return b;
}

TEST(BodyMotionTest, SetMotionWakesAndSleepsThroughTheLinks)
{
    LinkCounter links;
    // Awake and still: reported asleep, its sleep links run.
    BZDObject still = UnitBody();
    EXPECT_EQ(bz_Body_SetMotion(&still, 1, 0.04f, 1, 1), 0);
    EXPECT_EQ(still.asleep, 1);
    EXPECT_EQ(LinkCounter::sleeps, 1);
    EXPECT_EQ(LinkCounter::wakes, 0);
    // Asleep and still: nothing runs.
    EXPECT_EQ(bz_Body_SetMotion(&still, 1, 0.04f, 1, 1), 0);
    EXPECT_EQ(LinkCounter::sleeps, 1);
    // Asleep and moving: it wakes and its wake links run.
    still.linearVelocity = bzV3{{{1.0f, 0.0f, 0.0f}}};
    bz_Body_SetMotion(&still, 1, 0.04f, 1, 1);
    EXPECT_EQ(still.asleep, 0);
    EXPECT_EQ(LinkCounter::wakes, 1);
    EXPECT_NEAR(still.startTransform.row[3].x, 0.04f, 1e-7);
    // Moving but not asked to move linearly: it goes to sleep where it is.
    bz_Body_SetMotion(&still, 0, 0.04f, 1, 1);
    EXPECT_EQ(still.asleep, 1);
    EXPECT_EQ(LinkCounter::sleeps, 2);
    EXPECT_NEAR(still.startTransform.row[3].x, 0.04f, 1e-7);
}

TEST(BodyMotionTest, SetMotionTurnsInOnePieceOrInTenDegreePieces)
{
    struct Case
    {
        float degrees; // turn in the step about z
        int32_t substeps;
        int32_t pieces;
    };
    const Case cases[] = {
        {4.0f, 1, 1}, {4.0f, 0, 1},  {25.0f, 1, 3}, {25.0f, 0, 1},
        {5.5f, 1, 1}, {39.0f, 1, 4}, {0.0f, 1, 0},  {0.01f, 1, 0}}; // below the turning threshold
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.degrees);
        BZDObject b = UnitBody();
        b.collisionMask = 0;
        const float dt = 0.04f;
        b.angularVelocity = bzV3{{{0.0f, 0.0f, c.degrees * 0.017453292f / dt}}};
        EXPECT_EQ(bz_Body_SetMotion(&b, 0, dt, 1, c.substeps), c.pieces);
        EXPECT_EQ(b.savedAngularVelocity.z, c.degrees * 0.017453292f / dt);
        const double turned = c.pieces ? c.degrees * 0.017453292 : 0.0;
        EXPECT_NEAR(b.startTransform.row[0].x, std::cos(turned), 1e-6);
        EXPECT_NEAR(b.startTransform.row[0].y, std::sin(turned), 1e-6);
        EXPECT_EQ(b.asleep, c.pieces ? 0 : 1);
        EXPECT_EQ((b.collisionMask & BZ_BODY_CHANGED_POSITION) != 0, c.pieces != 0);
    }
    // A huge spin is cut at 400 pieces; a bad one is reported and stopped.
    BZDObject fast = UnitBody();
    fast.angularVelocity = bzV3{{{1.0e6f, 0.0f, 0.0f}}};
    EXPECT_EQ(bz_Body_SetMotion(&fast, 0, 0.04f, 1, 1), 400);
    KeepAlive keep;
    BZDObject bad = UnitBody();
    bad.angularVelocity = bzV3{{{std::numeric_limits<float>::quiet_NaN(), 0.0f, 0.0f}}};
    EXPECT_EQ(bz_Body_SetMotion(&bad, 0, 0.04f, 1, 1), 0);
    EXPECT_EQ(bz_V3_LengthSq(&bad.angularVelocity), 0.0f);
}

TEST(BodyMotionTest, FrameUpdateRunsOnlyForFreeBodies)
{
    ASSERT_EQ(bz_Phys_CreateContactPools(), 0);
    struct Case
    {
        uint32_t mechanics;
        bool moved;   // contacts and forces applied
        bool shifted; // the position moved
    };
    const Case cases[] = {{0, false, false},
                          {BZ_MECH_MOVE_LINEAR, true, true},
                          {BZ_MECH_MOVE_ANGULAR, true, false},
                          {0x10000, true, false},
                          {BZ_MECH_MOVE_LINEAR | BZ_MECH_NEVER_SLEEP, true, false}};
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.mechanics);
        BZDObject b = UnitBody();
        b.mechanicsFlags = c.mechanics;
        const bzV3 accel = {{{0.0f, -10.0f, 0.0f}}}, push = {{{2.0f, 0.0f, 0.0f}}};
        ASSERT_NE(bz_Body_AddAccelerationContact(&b, &accel, 0.0f, 0), nullptr);
        ASSERT_NE(bz_Body_QueueForce(&b, BZ_CONTACT_IMPULSE, &push, nullptr, 0), nullptr);
        bz_Body_FrameUpdate(&b, 0.5f);
        EXPECT_EQ(b.linearVelocity.y, c.moved ? -5.0f : 0.0f);
        EXPECT_EQ(b.linearVelocity.x, c.moved ? 2.0f : 0.0f);
        EXPECT_EQ(b.forceList == nullptr, c.moved);
        // The frame-start field holds the contacts' change, not the force list's.
        EXPECT_EQ(b.frameStartLinearVelocity.y, c.moved ? -5.0f : 0.0f);
        EXPECT_EQ(b.frameStartLinearVelocity.x, 0.0f);
        EXPECT_EQ(b.startTransform.row[3].y, c.shifted ? -2.5f : 0.0f);
        bz_Body_FreeForceList(&b);
        bz_Body_ReturnAllContacts(&b);
    }
    bz_Phys_FreeContactPools();
}

TEST(BodyMotionTest, AngularVelocityToReachATarget)
{
    bzM34 current, target;
    bz_M34_FromEulerXYZ(&current, 10.0f, -20.0f, 30.0f);
    bzV3 w;
    bz_Body_AngularVelocityToReach(&current, &current, 0.5f, &w);
    EXPECT_EQ(bz_V3_LengthSq(&w), 0.0f);

    // Turning by |w| t about -w, in the current transform's parent frame, reaches the target
    // (the engine's angular velocities turn opposite to its axis-angle matrices).
    const float turns[][4] = {{0, 0, 1, 30}, {1, 1, 0, -75}, {0.3f, -1, 2, 170}, {1, 0, 0, 5}};
    for (const auto &t : turns)
    {
        const bzV3 axis = {{{t[0], t[1], t[2]}}};
        target = current;
        bz_M34_PostRotateAxis(&target, &axis, t[3]);
        bz_Body_AngularVelocityToReach(&current, &target, 0.5f, &w);
        EXPECT_NEAR(bz_V3_Length(&w) * 0.5f * 57.29578f, std::fabs(t[3]), 1e-3);
        bzM34 reached = current;
        bzV3 back;
        bz_V3_NegateInto(&w, &back);
        bz_M34_PostRotateAxis(&reached, &back, bz_V3_Length(&w) * 0.5f * 57.29578f);
        for (int r = 0; r < 3; ++r)
            for (int k = 0; k < 3; ++k)
                EXPECT_NEAR(reached.row[r].v[k], target.row[r].v[k], 1e-4) << r << k;
    }
    // No time to do it in.
    bz_Body_AngularVelocityToReach(&current, &target, 0.0f, &w);
    EXPECT_EQ(bz_V3_LengthSq(&w), 0.0f);
}
} // namespace
