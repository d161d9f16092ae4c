// The per-body operations of a step take nothing from the engine's memory manager or the system
// heap.
#include "core/Memory.h"
#include "maths/Vector.h"
#include "physics/Body.h"
#include "physics/BodyMass.h"
#include "physics/BodyContact.h"
#include "physics/BodyMotion.h"
#include "physics/BodyPrepare.h"
#include "physics/BodyRest.h"
#include "physics/BodyTree.h"
#include "physics/BodyRotation.h"
#include "physics/PairCollision.h"

#include "PairTestBodies.h"

#include "CountingNew.h"

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
        ball(pairtest::Sphere(V(0, 0, 0), 0.5f));
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
    }
    const long newAfter = gNewCalls.load();
    bz_Mem_GetStats(&after);
    EXPECT_GT(total, 0);
    EXPECT_EQ(newAfter, newBefore);
    EXPECT_EQ(after.blockCount, before.blockCount);
    EXPECT_EQ(after.bytesInUse, before.bytesInUse);
}
} // namespace
