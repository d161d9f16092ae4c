// Walks over body trees: velocity scaling and restoring, stamps, orthonormalising, sleeping,
// free motion, and the step's small geometric helpers.
#include "collision/PairTestShapes.h"
#include "maths/Matrix.h"
#include "physics/Body.h"
#include "physics/BodyMass.h"
#include "physics/BodyTree.h"
#include "physics/PhysServices.h"
#include "physics/PhysSettings.h"

#include <gtest/gtest.h>

#include <cmath>

namespace
{
using pairtest::V;

// root -> a -> (sibling) b; a -> g. Every body has its own identity transform.
struct Tree
{
    BZDObject root = {}, a = {}, b = {}, g = {};
    bzM34 m[4];
    Tree()
    {
        BZDObject *all[4] = {&root, &a, &b, &g};
        for (int i = 0; i < 4; ++i)
        {
            bz_M34_SetIdentity(&m[i]);
            all[i]->transform = &m[i];
            bz_M34_SetIdentity(&all[i]->startTransform);
            all[i]->linearVelocity = V(1, 2, 3);
            all[i]->localLinearVelocity = V(4, 5, 6);
            all[i]->angularVelocity = V(-1, 0.5f, 2);
        }
        root.firstChild = &a;
        a.parent = &root;
        a.nextSibling = &b;
        b.parent = &root;
        a.firstChild = &g;
        g.parent = &a;
    }
    BZDObject *Each(int i) { return i == 0 ? &root : i == 1 ? &a : i == 2 ? &b : &g; }
};

struct IterationScope
{
    explicit IterationScope(uint16_t value) { bz_Phys_SetIteration(value); }
    ~IterationScope() { bz_Phys_SetIteration(0); }
};

TEST(BodyTreeTest, ScaleTreeVelocitiesReachesEveryDescendantAndStampsIt)
{
    IterationScope iteration(7);
    Tree t;
    t.g.contactStamp = 9;
    bz_Phys_ScaleTreeVelocities(&t.a, 0.5f);
    for (BZDObject *b : {&t.a, &t.g})
    {
        EXPECT_EQ(b->linearVelocity.z, 1.5f);
        EXPECT_EQ(b->localLinearVelocity.x, 2.0f);
        EXPECT_EQ(b->angularVelocity.z, 1.0f);
        EXPECT_EQ(b->gatherStamp, 7);
        EXPECT_EQ(b->contactStamp, 0);
    }
    // The sibling is not below a; the root is stamped as a's parent, not scaled.
    EXPECT_EQ(t.b.linearVelocity.z, 3.0f);
    EXPECT_EQ(t.b.gatherStamp, 0);
    EXPECT_EQ(t.root.linearVelocity.z, 3.0f);
    EXPECT_EQ(t.root.gatherStamp, 7);
}

TEST(BodyTreeTest, StampChainStopsAtTheFirstBodyAlreadyStamped)
{
    IterationScope iteration(12);
    Tree t;
    t.root.gatherStamp = 12;
    t.root.contactStamp = 3;
    t.a.contactStamp = 5;
    bz_Phys_StampChain(&t.g);
    EXPECT_EQ(t.g.gatherStamp, 12);
    EXPECT_EQ(t.a.gatherStamp, 12);
    EXPECT_EQ(t.a.contactStamp, 0);
    EXPECT_EQ(t.root.contactStamp, 3) << "already stamped: left alone";
}

TEST(BodyTreeTest, RestoreRingAngularVelocityOverRingsAndSubtrees)
{
    Tree t1, t2;
    t1.root.ring = &t2.root;
    t2.root.ring = &t1.root;
    for (Tree *t : {&t1, &t2})
        for (int i = 0; i < 4; ++i)
            t->Each(i)->savedAngularVelocity = V(float(i), 0, 0);
    bz_Phys_RestoreRingAngularVelocity(&t1.root);
    for (Tree *t : {&t1, &t2})
        for (int i = 0; i < 4; ++i)
        {
            EXPECT_EQ(t->Each(i)->angularVelocity.x, float(i));
            EXPECT_EQ(t->Each(i)->angularVelocity.z, 0.0f);
        }
    // A ring of one body.
    Tree single;
    single.root.ring = &single.root;
    single.root.savedAngularVelocity = V(0, 0, 9);
    bz_Phys_RestoreRingAngularVelocity(&single.root);
    EXPECT_EQ(single.root.angularVelocity.z, 9.0f);
}

TEST(BodyTreeTest, OrthonormaliseTreeSparesBodiesOfModeTwoAndKeepsTranslations)
{
    Tree t;
    for (int i = 0; i < 4; ++i)
    {
        bzM34 &m = t.m[i];
        m.row[0] = V(1.01f, 0.02f, 0);
        m.row[1] = V(0, 0.98f, 0.01f);
        m.row[3] = V(float(i), 2, 3);
    }
    t.g.mode = BZ_PHYS_MODE_PAIR_CALLBACK;
    bz_Phys_OrthonormaliseList(&t.root);
    for (int i = 0; i < 3; ++i)
    {
        const bzM34 &m = t.m[i];
        for (int r = 0; r < 3; ++r)
        {
            EXPECT_NEAR(bz_V3_Length(&m.row[r]), 1.0f, 1e-6);
            for (int s = r + 1; s < 3; ++s)
                EXPECT_NEAR(bz_V3_Dot(&m.row[r], &m.row[s]), 0.0f, 1e-6);
        }
        EXPECT_EQ(m.row[3].x, float(i));
    }
    EXPECT_EQ(t.m[3].row[0].x, 1.01f);
}

TEST(BodyTreeTest, SleepTreePutsTheListAndItsSubtreesToSleep)
{
    static int sleeps;
    static int sleepEvent;
    sleeps = 0;
    bz_Phys_ResetServices();
    bzgPhysSleepEvent = &sleepEvent;
    bzgPhysDynamics.callLinkHandlers = [](BZDObject *, void *event)
    { sleeps += event == &sleepEvent; };
    Tree t;
    for (int i = 0; i < 4; ++i)
        t.Each(i)->quiet = 3;
    bz_Phys_SleepTree(&t.a);
    bz_Phys_ResetServices();
    EXPECT_EQ(sleeps, 3);
    for (BZDObject *b : {&t.a, &t.b, &t.g})
    {
        EXPECT_EQ(b->asleep, 1);
        EXPECT_EQ(bz_V3_LengthSq(&b->linearVelocity), 0.0f);
        EXPECT_EQ(bz_V3_LengthSq(&b->angularVelocity), 0.0f);
        EXPECT_EQ(b->quiet, 0);
    }
    EXPECT_EQ(t.root.asleep, 0);
}

TEST(BodyTreeTest, MatricesEqualComparesAllTwelveFloats)
{
    bzM34 a, b;
    bz_M34_FromEulerXYZ(&a, 10, 20, 30);
    a.row[3] = V(1, 2, 3);
    b = a;
    EXPECT_EQ(bz_Phys_MatricesEqual(&a, &b), 1);
    for (int r = 0; r < 4; ++r)
        for (int k = 0; k < 3; ++k)
        {
            bzM34 c = a;
            c.row[r].v[k] = std::nextafter(c.row[r].v[k], 100.0f);
            EXPECT_EQ(bz_Phys_MatricesEqual(&a, &c), 0) << r << k;
        }
}

TEST(BodyTreeTest, TimeToDistanceLeavesSphereCircleAndInterval)
{
    struct Case
    {
        int32_t dims;
        bzV3 p, d;
        float r2;
        float t;
    };
    const Case cases[] = {
        {1, V(0.5f, 9, 9), V(0.25f, 9, 9), 1.0f, 3.0f},   // from 0.25 to 1 in steps of 0.25
        {1, V(-0.5f, 0, 0), V(-0.25f, 0, 0), 1.0f, 3.0f}, // the same towards -1
        {1, V(0.5f, 0, 0), V(1e-8f, 0, 0), 1.0f, 1.0f},   // no motion to measure
        {3, V(0, 0, 0), V(1, 0, 0), 4.0f, 3.0f},          // from (-1, 0, 0) to (2, 0, 0)
        {3, V(0, 0, 0), V(0, 0, 0), 4.0f, 1.0f},          // no motion to measure
        {2, V(0, 0, 100), V(1, 0, 5), 4.0f, 3.0f},        // z is not looked at
        {3, V(0, 0, 100), V(1, 0, 5), 4.0f, 0.0f},        // starts outside
        {1, V(3, 0, 0), V(0.5f, 0, 0), 1.0f, 0.0f},       // starts outside
        {0, V(0, 0, 0), V(1, 0, 0), 4.0f, 0.0f},          {4, V(0, 0, 0), V(1, 0, 0), 4.0f, 0.0f},
    };
    for (const Case &c : cases)
        EXPECT_NEAR(bz_Phys_TimeToDistance(c.dims, &c.p, &c.d, c.r2), c.t, 1e-6)
            << "dims " << c.dims << " p " << c.p.x << " d " << c.d.x;
}

TEST(BodyTreeTest, FreeMotionTurnsAboutTheCentreAndMovesTheTree)
{
    Tree t;
    t.root.centreOfMass = V(1, 0, 0);
    t.root.savedAngularVelocity = V(0, 0, 1);
    const float quarter = 1.5707964f;
    bz_Phys_RotateAboutCentre(&t.root, quarter);
    // The centre stays; the body's x axis turns a quarter.
    bzV3 centre;
    bz_M34_TransformPointInto(&t.m[0], &centre, &t.root.centreOfMass);
    EXPECT_NEAR(centre.x, 1.0f, 1e-6);
    EXPECT_NEAR(centre.y, 0.0f, 1e-6);
    EXPECT_NEAR(std::fabs(t.m[0].row[0].y), 1.0f, 1e-6);

    // Asleep, or a turn below 0.0001 radians: nothing.
    Tree still;
    still.root.savedAngularVelocity = V(0, 0, 1);
    still.root.asleep = 1;
    bz_Phys_RotateAboutCentre(&still.root, 1.0f);
    still.root.asleep = 0;
    bz_Phys_RotateAboutCentre(&still.root, 0.00009f);
    EXPECT_EQ(bz_Phys_MatricesEqual(&still.m[0], bz_M34_Identity()), 1);

    // a with its sibling b and their subtrees move along their velocities; the root stays.
    bz_Phys_MoveListFree(&still.a, 0.5f);
    for (int i = 1; i < 4; ++i)
        EXPECT_EQ(still.m[i].row[3].y, 1.0f) << i;
    EXPECT_EQ(still.m[0].row[3].y, 0.0f);
}
} // namespace
