// The per-body operations of a step, and a vehicle's update with its car step, take nothing from
// the engine's memory manager or the system heap.
#include "core/Memory.h"
#include "maths/Vector.h"
#include "physics/Body.h"
#include "physics/BodyMass.h"
#include "physics/BodyContact.h"
#include "physics/BodyLinks.h"
#include "physics/BodyMotion.h"
#include "physics/BodyPrepare.h"
#include "physics/BodyRest.h"
#include "physics/BodyTree.h"
#include "physics/BodyRotation.h"
#include "physics/Joint.h"
#include "physics/PairCollision.h"
#include "physics/PhysMemory.h"
#include "physics/PhysStep.h"
#include "physics/Substance.h"

#include "PairTestBodies.h"
#include "PhysStepWorld.h"

#include "CountingNew.h"
#include "VehicleTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace
{
TEST(BodyNoAlloc, PerBodyStepOperationsTakeNoMemory)
{
    // The counter sees an allocation of this program.
    const long probe = gNewCalls.load();
    int *volatile box = new int(1);
    delete box;
    ASSERT_EQ(gNewCalls.load(), probe + 1);

    BZDObject bodies[4] = {};
    bzM34 matrices[4];
    for (int i = 0; i < 4; ++i)
    {
        bz_M34_SetIdentity(&matrices[i]);
        bodies[i].transform = &matrices[i];
        bz_M34_SetIdentity(&bodies[i].startTransform);
        bodies[i].inertiaScale = 1.0f;
    }
    bzMemStats before, after;
    bz_Mem_GetStats(&before);
    const long newBefore = gNewCalls.load();
    const bzV3 moments = {{{1.0f, 2.0f, 3.0f}}};
    for (int i = 0; i < 4; ++i)
    {
        BZDObject &b = bodies[i];
        EXPECT_EQ(bz_Body_SetMassProperties(&b, 1.0f + i, 0.0f, nullptr, &moments, 0), 0);
        const bzV3 j = {{{1.0f, 0.5f, 0.0f}}}, p = {{{0.0f, 1.0f, 1.0f}}};
        for (int step = 0; step < 50; ++step)
        {
            EXPECT_EQ(bz_Body_ApplyImpulse(&j, &b, &p, 1.0f / (1 + step)), 0);
            bz_Phys_IntegrateRotation(&b, 0.04f);
            bz_Body_MoveLinear(&b, 0.04f);
        }
        b.angularVelocity = bzV3{{{1.0e5f, 0.0f, 0.0f}}}; // 400 sub-steps
        EXPECT_EQ(bz_Phys_IntegrateRotation(&b, 0.04f), 400);
    }
    const long newAfter = gNewCalls.load();
    bz_Mem_GetStats(&after);
    EXPECT_EQ(newAfter, newBefore);
    EXPECT_EQ(after.blockCount, before.blockCount);
    EXPECT_EQ(after.bytesInUse, before.bytesInUse);
}

TEST(BodyNoAlloc, QueuesFrameUpdatesAndStepPassesTakeNoMemory)
{
    ASSERT_EQ(bz_Phys_CreateContactPools(), 0);
    BZDObject root = {}, child = {};
    bzM34 matrices[2];
    BZDObject *bodies[2] = {&root, &child};
    for (int i = 0; i < 2; ++i)
    {
        bz_M34_SetIdentity(&matrices[i]);
        bodies[i]->transform = &matrices[i];
        bz_M34_SetIdentity(&bodies[i]->startTransform);
        bodies[i]->inertiaScale = 1.0f;
        const bzV3 moments = {{{1.0f, 2.0f, 3.0f}}};
        bz_Body_SetMassProperties(bodies[i], 2.0f, 0.0f, nullptr, &moments, 0);
        bodies[i]->mechanicsFlags = 0x7;
    }
    root.firstChild = &child;
    child.parent = &root;

    bzMemStats before, after;
    bz_Mem_GetStats(&before);
    const long newBefore = gNewCalls.load();
    const bzV3 push = {{{1.0f, 0.0f, 0.0f}}}, spin = {{{0.0f, 0.0f, 2.0f}}},
               at = {{{0.0f, 1.0f, 0.0f}}};
    for (int frame = 0; frame < 100; ++frame)
    {
        // At most a few dozen entries at once: the pools' first blocks hold them.
        for (int i = 0; i < 10; ++i)
        {
            bz_Body_AddForceContact(&root, &push, 0.08f, 1);
            bz_Body_AddForceAtPointContact(&child, &push, &at, 0.04f, 0);
            bz_Body_QueueForce(&root, BZ_CONTACT_ANGULAR_ACCEL, &spin, nullptr, 1);
        }
        bz_Body_FrameUpdate(&root, 0.04f);
        bz_Body_SetMotion(&child, 1, 0.04f, 1, 1);
        for (BZDObject *b : bodies)
            bz_Phys_PrepareBody(b);
        bz_Phys_ScaleTreeVelocities(&root, 0.99f);
        bz_Phys_OrthonormaliseTree(&root);
        bz_Phys_EndStepList(&root);
    }
    bz_Body_ReturnAllContacts(&root);
    bz_Body_ReturnAllContacts(&child);
    const long newAfter = gNewCalls.load();
    bz_Mem_GetStats(&after);
    EXPECT_EQ(newAfter, newBefore);
    EXPECT_EQ(after.blockCount, before.blockCount);
    EXPECT_EQ(after.bytesInUse, before.bytesInUse);
    EXPECT_EQ(bz_Phys_ContactRecordsInUse(), 0u);
    bz_Phys_FreeContactPools();
}

// Whole steps of a world with boxes on the ground, a pendulum and a two-body chain hanging from
// it take nothing from the heap or the memory manager, once the world is set up.
TEST(BodyNoAlloc, WholePhysicsStepsTakeNoMemory)
{
    using namespace physworld;
    GameSettings();
    bz_Phys_ResetServices();
    bz_Substance_RegisterBuiltIns();
    ASSERT_EQ(bz_PhysMem_Reserve(), 0);
    Ground ground;
    Body boxes[4], bob, link;
    for (int i = 0; i < 4; ++i)
        boxes[i].Box("box", 1.0f + i, V(1, 1, 1), V(2.0f * i, 0.4f + 0.3f * i, 0));
    boxes[3].b.angularVelocity = V(0.5f, 1.0f, 0.0f);
    bob.Box("bob", 1.0f, V(0.2f, 0.2f, 0.2f), V(0.3f, 5.0f, 3.0f));
    BZDJoint worldJoint = {};
    worldJoint.kind = 0x0003;
    worldJoint.childAnchor = V(-0.3f, 1.0f, 0.0f);
    bob.b.worldAnchor = V(0.0f, 6.0f, 3.0f);
    bob.b.worldJoint = &worldJoint;
    link.Box("link", 1.0f, V(0.2f, 0.2f, 0.2f), V(0.3f, 4.0f, 3.0f));
    BZDJoint ball = {};
    ball.kind = 0x0003;
    ball.childAnchor = V(0.0f, 0.5f, 0.0f);
    ball.parentAnchor = V(0.0f, -0.5f, 0.0f);
    link.b.parentJoint = &ball;
    bz_Body_AttachChild(&link.b, &bob.b);
    BZDObject *head = Link({&boxes[0], &boxes[1], &boxes[2], &boxes[3], &bob});
    // The contact pools and the bodies' weight contacts belong to the world's set-up.
    ASSERT_EQ(bz_Phys_CreateContactPools(), 0);
    Weigh(head, 10.0f);

    bzMemStats before, after;
    bz_Mem_GetStats(&before);
    const long newBefore = gNewCalls.load();
    for (int frame = 0; frame < 100; ++frame)
        Frame(&head, 10.0f);
    const long newAfter = gNewCalls.load();
    bz_Mem_GetStats(&after);
    EXPECT_EQ(newAfter, newBefore);
    EXPECT_EQ(after.blockCount, before.blockCount);
    EXPECT_EQ(after.bytesInUse, before.bytesInUse);
    // The ground holds the boxes and the chain still hangs from its anchor.
    EXPECT_GT(boxes[0].Position().y, 0.399f);
    bzV3 at;
    bz_M34_TransformPointInto(&bob.m, &at, &worldJoint.childAnchor);
    EXPECT_NEAR(at.y, 6.0f, 1e-4f);
    bz_PhysMem_Release();
    bz_Phys_ResetSettings();
}

TEST(BodyNoAlloc, PairCollisionTakesNoMemory)
{
    using pairbody::PairBody;
    using pairtest::V;
    auto rounded = []
    {
        return pairtest::Hull(BZ_SHAPE_ROUNDED_POLYHEDRON,
                              pairtest::BoxPoints(V(-1, -1, -1), V(1, 1, 1)), 0.2f);
    };
    PairBody boxA(pairtest::AlignedCuboid(V(-1, -1, -1), V(1, 1, 1)), 2.0f),
        polyB(pairtest::Hull(BZ_SHAPE_POLYHEDRON, pairtest::BoxPoints(V(-1, -1, -1), V(1, 1, 1)))),
        roundA(rounded(), 2.0f), roundB(rounded()),
        capsule(pairtest::TicTac(V(0, -1, 0), V(0, 1, 0), 0.5f)),
        ball(pairtest::Sphere(V(0, 0, 0), 0.5f)),
        resting(pairtest::AlignedCuboid(V(-0.5f, -0.5f, -0.5f), V(0.5f, 0.5f, 0.5f)));
    // The contact pass of a rounded shape against a sphere (at a corner), a tic-tac and a box.
    PairBody roundC(rounded(), 2.0f), cornerBall(pairtest::Sphere(V(0, 0, 0), 0.3f)),
        sideCapsule(pairtest::TicTac(V(0, 0, -2), V(0, 0, 2), 0.25f)),
        boxC(pairtest::AlignedCuboid(V(-0.5f, -0.5f, -0.5f), V(0.5f, 0.5f, 0.5f)));
    cornerBall.Move(V(3, 3, 3), V(1.1f, 1.1f, 1.1f));
    sideCapsule.Move(V(3.5f, 3.5f, 0), V(1.2f, 1.2f, 0));
    boxC.Move(V(4, 0.2f, 0), V(1.5f, 0.2f, 0));
    // A box resting on boxA's top face, half over its edge.
    resting.Move(V(1.0f, 1.5f, 0), V(1.0f, 1.5f, 0));
    polyB.Place(pairbody::RotationZ(0.7f, V(3, 0.2f, 0)), pairbody::RotationZ(0.7f, V(1.5f, 0, 0)));
    roundB.Move(V(3, 0.3f, 0), V(1.8f, 0.3f, 0));
    capsule.Move(V(0, 3, 0), V(0, 1.0f, 0));
    ball.Move(V(0, 0, 3), V(0, 0, 1.0f));
    bzCollisionContact rows[BZ_PHYS_STEP_CONTACTS];
    // The overlap pass too.
    roundA.body.collisionState = BZ_BODY_INTERPENETRATING;
    bzMemStats before, after;
    bz_Mem_GetStats(&before);
    const long newBefore = gNewCalls.load();
    int total = 0;
    for (int i = 0; i < 10; i++)
    {
        total += bz_PhysObject_CollidePair(0, boxA.get(), polyB.get(), rows);
        total += bz_PhysObject_CollidePair(4, roundA.get(), roundB.get(), rows);
        total += bz_PhysObject_CollidePair(8, boxA.get(), capsule.get(), rows);
        total += bz_PhysObject_CollidePair(12, roundA.get(), ball.get(), rows);
        total += bz_PhysObject_CollidePair(16, capsule.get(), ball.get(), rows);
        total += bz_PhysObject_CollidePair(20, boxA.get(), resting.get(), rows);
        total += bz_PhysObject_CollidePair(24, roundC.get(), cornerBall.get(), rows);
        total += bz_PhysObject_CollidePair(28, roundC.get(), sideCapsule.get(), rows);
        total += bz_PhysObject_CollidePair(32, roundC.get(), boxC.get(), rows);
    }
    const long newAfter = gNewCalls.load();
    bz_Mem_GetStats(&after);
    EXPECT_GT(total, 0);
    EXPECT_EQ(newAfter, newBefore);
    EXPECT_EQ(after.blockCount, before.blockCount);
    EXPECT_EQ(after.bytesInUse, before.bytesInUse);
}
} // namespace

TEST(VehicleNoAlloc, UpdatesAndCarStepsTakeNoMemory)
{
    cartest::TestVehicle t;
    ASSERT_NE(t.car, nullptr);
    t.Step(); // the first update applies the handling values
    bzMemStats before, after;
    bz_Mem_GetStats(&before);
    const long newBefore = gNewCalls.load();
    for (int step = 0; step < 100; ++step)
    {
        t.car->throttle = step < 60 ? 1.0f : 0.0f;
        t.car->brake = step >= 60 ? 1.0f : 0.0f;
        t.car->steerLeft = step % 20 < 10 ? 1.0f : 0.0f;
        t.car->handbrake = step > 90 ? 1.0f : 0.0f;
        t.Step();
    }
    const long newAfter = gNewCalls.load();
    bz_Mem_GetStats(&after);
    EXPECT_EQ(newAfter, newBefore);
    EXPECT_EQ(after.blockCount, before.blockCount);
    EXPECT_EQ(after.bytesInUse, before.bytesInUse);
}
