// The end-of-step pass: the box-corner speed test, the rest counter and the rest test.
#include "collision/PairTestShapes.h"
#include "maths/Matrix.h"
#include "physics/Body.h"
#include "physics/BodyRest.h"
#include "physics/BodyTree.h"
#include "physics/PhysServices.h"
#include "physics/PhysSettings.h"

#include <gtest/gtest.h>

namespace
{
using pairtest::V;

TEST(BodyRestTest, CornerSpeedAgainstTheLimit)
{
    auto form = pairtest::AlignedCuboid(V(-1, -1, -1), V(1, 1, 1));
    struct Case
    {
        bzV3 centre, linear, angular;
        uint32_t flags;
        float limit;
        int32_t slow;
    };
    const Case cases[] = {
        // Spin 1 about z: the fastest corners move at sqrt 2.
        {V(0, 0, 0), V(0, 0, 0), V(0, 0, 1), 0, 2.0f, 1},
        {V(0, 0, 0), V(0, 0, 0), V(0, 0, 1), 0, 1.99f, 0},
        // Centre of mass at x = 1: the far corners are 2 away in x and 1 in y: speed^2 5.
        {V(1, 0, 0), V(0, 0, 0), V(0, 0, 1), 0, 5.0f, 1},
        {V(1, 0, 0), V(0, 0, 0), V(0, 0, 1), 0, 4.9f, 0},
        // Pure sliding at speed 3.
        {V(0, 0, 0), V(0, 0, 3), V(0, 0, 0), 0, 9.0f, 1},
        {V(0, 0, 0), V(0, 0, 3), V(0, 0, 0), 0, 8.9f, 0},
        // Sliding against spin: corner (1, -1, z) moves at (3, 0, 0) + (1, 1, 0) = (4, 1, 0).
        {V(0, 0, 0), V(3, 0, 0), V(0, 0, 1), 0, 17.0f, 1},
        {V(0, 0, 0), V(3, 0, 0), V(0, 0, 1), 0, 16.9f, 0},
        // Without the corner test every body is slow.
        {V(0, 0, 0), V(0, 0, 30), V(0, 0, 9), BZ_PHYS_NO_CORNER_TEST, 0.0f, 1},
    };
    for (const Case &c : cases)
    {
        BZDObject body = {};
        body.form = form.get();
        body.centreOfMass = c.centre;
        body.localLinearVelocity = c.linear;
        body.angularVelocity = c.angular;
        body.physicsFlags = c.flags;
        EXPECT_EQ(bz_Phys_BoxCornersSlow(&body, c.limit), c.slow) << c.limit;
    }
    // Without a form only the centre of mass counts.
    BZDObject loose = {};
    loose.localLinearVelocity = V(0, 2, 0);
    loose.angularVelocity = V(0, 0, 100);
    EXPECT_EQ(bz_Phys_BoxCornersSlow(&loose, 4.0f), 1);
    EXPECT_EQ(bz_Phys_BoxCornersSlow(&loose, 3.9f), 0);
}

TEST(BodyRestTest, RestCounterStartsAtFiveAndRestartsAtFour)
{
    BZDObject body = {};
    body.contactKind = BZ_PHYS_CONTACT_WORLD;
    EXPECT_EQ(bz_Phys_StartRestCount(&body), 1);
    EXPECT_EQ(body.restCounter, 5);
    EXPECT_EQ(body.savedContactKind, BZ_PHYS_CONTACT_WORLD);
    EXPECT_EQ(bz_Phys_StartRestCount(&body), 1); // at the start value: restarts
    EXPECT_EQ(body.restCounter, 4);
    EXPECT_EQ(bz_Phys_StartRestCount(&body), 0); // counted: may become quiet
    EXPECT_EQ(body.restCounter, 4);
    // New contact bits restart the count.
    body.contactKind = BZ_PHYS_CONTACT_WORLD | BZ_PHYS_CONTACT_BODY;
    EXPECT_EQ(bz_Phys_StartRestCount(&body), 1);
    EXPECT_EQ(body.restCounter, 4);
    EXPECT_EQ(body.savedContactKind, BZ_PHYS_CONTACT_WORLD | BZ_PHYS_CONTACT_BODY);

    // No world contact, or a body that may not count: no count starts.
    struct Case
    {
        uint8_t kind;
        uint32_t second;
    };
    const Case none[] = {
        {BZ_PHYS_CONTACT_BODY, 0}, {0, 0}, {BZ_PHYS_CONTACT_WORLD, BZ_PHYS_SECOND_NO_REST_COUNT}};
    for (const Case &c : none)
    {
        BZDObject b = {};
        b.contactKind = c.kind;
        b.secondFlags = c.second;
        EXPECT_EQ(bz_Phys_StartRestCount(&b), 0);
        EXPECT_EQ(b.restCounter, 0);
    }
}

TEST(BodyRestTest, MovingBodyCountsDown)
{
    BZDObject body = {};
    body.restCounter = 3;
    body.contactKind = body.savedContactKind = BZ_PHYS_CONTACT_WORLD;
    bz_Phys_DropRestCount(&body);
    EXPECT_EQ(body.restCounter, 2);
    body.contactKind = 0; // bits changed: the count is dropped
    bz_Phys_DropRestCount(&body);
    EXPECT_EQ(body.restCounter, 0);
    bz_Phys_DropRestCount(&body);
    EXPECT_EQ(body.restCounter, 0);
}

// A free body, awake, no parent or child, touching the world, whose fall of 0.4 m/s at the start
// of the step was stopped by its contacts: by the default settings (threshold 0.25, step 0.04 s)
// and gravity (9.80665, 0.392 m/s over a step) it is slow and held up.
struct Resting
{
    BZDObject body = {};
    bzM34 current;
    Resting()
    {
        bz_M34_SetIdentity(&current);
        current.row[3] = V(1, 2, 3);
        body.transform = &current;
        bz_M34_SetIdentity(&body.startTransform);
        body.ring = &body;
        body.contactKind = BZ_PHYS_CONTACT_WORLD;
        Step();
    }
    // What the preparation and the solve leave before each pass.
    void Step()
    {
        body.linearVelocity = V(0.1f, 0.05f, 0);
        body.localLinearVelocity = body.linearVelocity;
        body.stepLinearVelocity = V(0.1f, -0.4f, 0);
        body.angularVelocity = V(0, 0.01f, 0);
    }
};

struct ServicesScope
{
    ServicesScope() { bz_Phys_ResetServices(); }
    ~ServicesScope() { bz_Phys_ResetServices(); }
};

TEST(BodyEndStepTest, RestingFreeBodyCountsFiveThenFourThenGoesQuietAndStill)
{
    ServicesScope services;
    Resting r;
    EXPECT_EQ(bz_Phys_EndStepList(&r.body), 0);
    EXPECT_EQ(r.body.restCounter, 5);
    EXPECT_EQ(r.body.quiet, 0);
    r.Step();
    EXPECT_EQ(bz_Phys_EndStepList(&r.body), 0);
    EXPECT_EQ(r.body.restCounter, 4);
    r.Step();
    EXPECT_EQ(bz_Phys_EndStepList(&r.body), 1);
    EXPECT_EQ(r.body.quiet, 3) << "quiet, and so is its (empty) subtree";
    EXPECT_EQ(bz_V3_LengthSq(&r.body.linearVelocity), 0.0f);
    EXPECT_EQ(bz_V3_LengthSq(&r.body.angularVelocity), 0.0f);
    EXPECT_EQ(bz_V3_LengthSq(&r.body.savedAngularVelocity), 0.0f);
    // The start-of-step transform follows the current one, the world centre of mass with it.
    EXPECT_EQ(bz_Phys_MatricesEqual(&r.body.startTransform, &r.current), 1);
    EXPECT_EQ(r.body.worldCentreOfMass.y, 2.0f);
}

TEST(BodyEndStepTest, WhatKeepsABodyFromRest)
{
    ServicesScope services;
    struct Case
    {
        const char *what;
        void (*change)(Resting &);
    };
    const Case cases[] = {
        {"sliding", [](Resting &r) { r.body.linearVelocity = V(0.6f, 0, 0); }},
        {"spinning", [](Resting &r) { r.body.angularVelocity = V(0.1f, 0, 0); }},
        {"spinning last step", [](Resting &r) { r.body.previousSpeedSquared[1] = 0.005f; }},
        {"rising", [](Resting &r) { r.body.linearVelocity = V(0, 0.31f, 0); }},
        // Lifted by 0.05 + 0.29 = 0.34 m/s, under 0.9 x 0.392 = 0.353 m/s.
        {"not held up by a contact",
         [](Resting &r) { r.body.stepLinearVelocity = V(0.1f, -0.29f, 0); }},
        // Held up, but it gained 0.04 m/s across gravity over the step: a tenth of a step of
        // gravity is 0.0392 m/s, so it is still speeding up (as down a slope without friction).
        {"speeding up across gravity",
         [](Resting &r) { r.body.stepLinearVelocity = V(0.06f, -0.4f, 0); }},
        {"corners fast", [](Resting &r) { r.body.localLinearVelocity = V(0, 0, 0.6f); }},
        {"was asleep", [](Resting &r) { r.body.wasAsleep = 1; }},
        // Held up by a joint alone (a pendulum at the end of its swing): no rest count can
        // start, so it never goes quiet.
        {"held by a joint",
         [](Resting &r)
         {
             r.body.restCounter = 0;
             r.body.contactKind = BZ_PHYS_CONTACT_KIND_32;
         }},
        {"kept awake",
         [](Resting &) { bzgPhysWorld.keepAwake = [](const BZDObject *) { return 1; }; }},
        {"turning about the reference",
         [](Resting &r)
         {
             bzgPhysWorld.reference = [](const BZDObject *, bzV3 *out) { *out = V(0, 2, 0); };
             r.body.angularVelocity = V(0, 0.06f, 0);
         }},
        {"rest test off", [](Resting &r) { r.body.physicsFlags |= BZ_PHYS_NO_REST_TEST; }},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.what);
        Resting r;
        r.body.restCounter = 4;
        r.body.savedContactKind = r.body.contactKind;
        c.change(r);
        EXPECT_EQ(bz_Phys_EndStepList(&r.body), 0);
        EXPECT_EQ(r.body.quiet, 0);
        EXPECT_NE(bz_V3_LengthSq(&r.body.linearVelocity) + bz_V3_LengthSq(&r.body.angularVelocity),
                  0.0f);
        bz_Phys_ResetServices();
    }
    // Turning about the reference vector slower than the limit does not keep it awake, nor
    // does a rotation that stayed below the turning threshold.
    for (int slowFlag = 0; slowFlag < 2; ++slowFlag)
    {
        Resting r;
        bzgPhysWorld.reference = [](const BZDObject *, bzV3 *out) { *out = V(0, 2, 0); };
        r.body.restCounter = 4;
        r.body.savedContactKind = r.body.contactKind;
        r.body.angularVelocity = V(0, slowFlag ? 0.06f : 0.004f, 0);
        r.body.physicsFlags = slowFlag ? uint32_t(BZ_PHYS_SLOW_TURN) : 0u;
        EXPECT_EQ(bz_Phys_EndStepList(&r.body), 1) << slowFlag;
        bz_Phys_ResetServices();
    }
}

TEST(BodyEndStepTest, FlagsModesAndMarks)
{
    ServicesScope services;
    bzgPhysCollisionMasks[1] = 0x30;
    {
        // Frozen: asleep and still, whatever its speed; asleep bodies take no masks.
        Resting r;
        r.body.physicsFlags = BZ_PHYS_FROZEN | BZ_PHYS_YIELD_MARK;
        r.body.linearVelocity = V(5, 5, 5);
        bz_Phys_EndStepList(&r.body);
        EXPECT_EQ(r.body.asleep, 1);
        EXPECT_EQ(bz_V3_LengthSq(&r.body.linearVelocity), 0.0f);
        EXPECT_EQ(r.body.collisionMask, 0u);
        EXPECT_EQ(r.body.physicsFlags & BZ_PHYS_YIELDED, uint32_t(BZ_PHYS_YIELDED));
    }
    {
        // A mode ends; the asleep byte takes the release bit; awake bodies take the masks.
        Resting r;
        r.body.mode = BZ_PHYS_MODE_PAIR_CALLBACK;
        r.body.physicsFlags = BZ_PHYS_YIELDED;
        r.body.linearVelocity = V(5, 0, 0);
        bz_Phys_EndStepList(&r.body);
        EXPECT_EQ(r.body.mode, 0u);
        EXPECT_EQ(r.body.asleep, 0);
        EXPECT_EQ(r.body.collisionMask, 0x30u);
        EXPECT_EQ(r.body.physicsFlags & BZ_PHYS_YIELDED, 0u);
        EXPECT_EQ(r.body.previousSpeedSquared[0], 25.0f);
    }
    {
        Resting r;
        r.body.mode = 1;
        r.body.physicsFlags = BZ_PHYS_ASLEEP_ON_RELEASE;
        bz_Phys_EndStepList(&r.body);
        EXPECT_EQ(r.body.asleep, 1);
    }
    {
        // The count word ends when the step's change of velocity is close to -g dt (0.392 m/s).
        Resting r;
        r.body.countWord = 3;
        r.body.stepLinearVelocity = V(0, 0, 0);
        r.body.linearVelocity = V(0, -0.4f, 0);
        bz_Phys_EndStepList(&r.body);
        EXPECT_EQ(r.body.countWord, 3u);
        r.Step();
        r.body.stepLinearVelocity = V(0, 0, 0);
        r.body.linearVelocity = V(0, 0.3f, 0); // a change of -g dt within half of it
        bz_Phys_EndStepList(&r.body);
        EXPECT_EQ(r.body.countWord, 0u);
    }
}

TEST(BodyEndStepTest, AParentIsQuietWithItsSubtreeOnlyWhenEveryChildIs)
{
    ServicesScope services;
    for (int childMoves = 0; childMoves < 2; ++childMoves)
    {
        Resting parent, child;
        parent.body.firstChild = &child.body;
        child.body.parent = &parent.body;
        // Joined bodies of one ring that are quiet stay quiet while their count is settled.
        parent.body.ring = &child.body;
        child.body.ring = &parent.body;
        for (Resting *r : {&parent, &child})
        {
            r->body.quiet = 1;
            r->body.restCounter = 4;
            r->body.savedContactKind = r->body.contactKind;
        }
        if (childMoves)
            child.body.linearVelocity = V(3, 0, 0);
        EXPECT_EQ(bz_Phys_EndStepList(&parent.body), childMoves ? 0 : 1);
        EXPECT_EQ(child.body.quiet, childMoves ? 0 : 3);
        EXPECT_EQ(parent.body.quiet, childMoves ? 1 : 3);
        // Joined bodies keep their velocities when they go quiet.
        EXPECT_NE(bz_V3_LengthSq(&parent.body.linearVelocity), 0.0f);
    }
}
} // namespace
