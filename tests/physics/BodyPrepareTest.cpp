// Preparing bodies for the physics step.
#include "collision/PairTestShapes.h"
#include "maths/Matrix.h"
#include "physics/Body.h"
#include "physics/BodyMass.h"
#include "physics/BodyPrepare.h"
#include "physics/BodyTree.h"
#include "physics/PhysMemory.h"
#include "physics/PhysServices.h"
#include "physics/PhysSettings.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace
{
using pairtest::V;

// Records the step services the preparation calls, in order.
struct Calls
{
    static inline std::vector<std::string> log;
    static inline float time;
    Calls()
    {
        log.clear();
        time = 0.0f;
        bz_Phys_ResetServices();
        bzgPhysStepServices.resetChildren = [](BZDObject *) { log.push_back("children"); };
        bzgPhysStepServices.buildTreeRecord = [](BZDObject *, float t)
        {
            log.push_back("tree");
            time = t;
        };
        bzgPhysStepServices.computeBoxes = [](BZDObject *) { log.push_back("boxes"); };
    }
    ~Calls() { bz_Phys_ResetServices(); }
};

struct PreparedBody
{
    BZDObject body = {};
    bzM34 current;
    PreparedBody()
    {
        bz_M34_SetIdentity(&current);
        body.transform = &current;
        // A start-of-step rotation of 90 degrees about z, slightly skewed, at (4, 5, 6).
        bz_M34_SetIdentity(&body.startTransform);
        body.startTransform.row[0] = V(0, 1.01f, 0);
        body.startTransform.row[1] = V(-1, 0, 0);
        body.startTransform.row[3] = V(4, 5, 6);
        body.mass = 2.0f;
        body.inertiaScale = 1.0f;
        body.principalMoments = V(1, 2, 4);
        body.linearVelocity = V(1, 0, 0);
        body.angularVelocity = V(0, 0, 3);
        body.physicsFlags = BZ_PHYS_YIELD_MARK | BZ_PHYS_PREP_MARK | BZ_PHYS_SLOW_TURN |
                            BZ_PHYS_YIELDED | BZ_PHYS_HEAVY;
        body.solveGroup = 4;
        body.contactKind = 3;
        body.disturbed = 1;
        body.excluded = 1;
        body.contactSpeedScale = 0.5f;
        body.gatherStamp = 3;
        body.contactStamp = 2;
    }
};

TEST(BodyPrepareTest, AwakeRootIsSetUpForTheStep)
{
    Calls calls;
    bzgPhysCollisionMasks[2] = 0x100;
    PreparedBody p;
    EXPECT_EQ(bz_Phys_PrepareBody(&p.body), 0);
    EXPECT_EQ(p.body.physicsFlags, uint32_t(BZ_PHYS_YIELDED | BZ_PHYS_HEAVY));
    EXPECT_EQ(p.body.solveGroup, 0);
    EXPECT_EQ(p.body.contactKind, 0);
    EXPECT_EQ(p.body.disturbed, 0);
    EXPECT_EQ(p.body.excluded, 0);
    EXPECT_EQ(p.body.ring, &p.body);
    EXPECT_EQ(p.body.contactSpeedScale, 1.0f);
    EXPECT_EQ(p.body.gatherStamp, 0);
    EXPECT_EQ(p.body.contactStamp, 0);
    EXPECT_EQ(p.body.inverseMass, 0.5f);
    EXPECT_EQ(p.body.inversePrincipalMoments.z, 0.25f);
    // The velocity (1, 0, 0) in the frame whose x axis points along y: (0, -1, 0) in it.
    EXPECT_NEAR(p.body.localLinearVelocity.x, 0.0f, 1e-6);
    EXPECT_NEAR(p.body.localLinearVelocity.y, -1.0f, 1e-6);
    EXPECT_EQ(p.body.stepLinearVelocity.x, 1.0f);
    EXPECT_EQ(p.body.stepAngularVelocity.z, 3.0f);
    EXPECT_EQ(p.body.collisionMask, 0x100u);
    // The current transform: the start-of-step one, orthonormalised.
    EXPECT_NEAR(p.current.row[0].y, 1.0f, 1e-6);
    EXPECT_EQ(p.current.row[3].z, 6.0f);
    EXPECT_EQ(p.body.startTransform.row[0].y, 1.01f) << "the copy itself is kept";
    EXPECT_EQ(Calls::log, (std::vector<std::string>{"children", "tree", "boxes"}));
    EXPECT_EQ(Calls::time, 0.04f);
}

TEST(BodyPrepareTest, AwakeChildBuildsNoTreeRecordAndTakesItsParentsSleep)
{
    Calls calls;
    PreparedBody parent, child;
    child.body.parent = &parent.body;
    parent.body.firstChild = &child.body;
    EXPECT_EQ(bz_Phys_PrepareBody(&child.body), 0);
    EXPECT_EQ(Calls::log, (std::vector<std::string>{"children", "boxes"}));

    Calls again;
    parent.body.asleep = 1;
    child.current.row[3] = V(9, 9, 9);
    EXPECT_EQ(bz_Phys_PrepareBody(&child.body), 0);
    EXPECT_EQ(child.body.asleep, 1);
    EXPECT_EQ(child.body.wasAsleep, 0);
    // Asleep: the current transform takes the start copy back; a child computes no boxes.
    EXPECT_EQ(bz_Phys_MatricesEqual(&child.current, &child.body.startTransform), 1);
    EXPECT_EQ(child.body.savedAngularVelocity.z, 3.0f);
    EXPECT_EQ(Calls::log, (std::vector<std::string>{"children"}));
}

TEST(BodyPrepareTest, SleepingRootAndBodiesOfModeTwo)
{
    {
        Calls calls;
        PreparedBody p;
        p.body.asleep = 1;
        bz_Phys_PrepareBody(&p.body);
        EXPECT_EQ(p.body.wasAsleep, 1);
        EXPECT_EQ(bz_Phys_MatricesEqual(&p.current, &p.body.startTransform), 1);
        EXPECT_EQ(Calls::log, (std::vector<std::string>{"children", "boxes"}));
    }
    for (int moved = 0; moved < 2; ++moved)
    {
        Calls calls;
        PreparedBody parent, p;
        p.body.parent = &parent.body;
        parent.body.asleep = 1;
        p.body.mode = BZ_PHYS_MODE_PAIR_CALLBACK;
        p.current = p.body.startTransform;
        if (moved)
            p.current.row[3].x += 0.5f;
        bz_Phys_PrepareBody(&p.body);
        EXPECT_EQ(p.body.top, &parent.body);
        EXPECT_EQ(p.body.asleep, moved ? 0 : 1) << "it wakes when the game moved it";
        EXPECT_EQ(p.current.row[3].x, moved ? 4.5f : 4.0f) << "its transform is the game's";
        EXPECT_EQ(p.body.collisionMask, 0u);
        EXPECT_EQ(Calls::log, (std::vector<std::string>{"children", "boxes"}));
    }
}

TEST(BodyPrepareTest, ZeroOrBadMassIsReportedAndTheBodyCannotMove)
{
    KeepAlive keep;
    static int32_t code;
    static std::string text;
    bz_Phys_SetErrorHook(
        [](int32_t c, const char *t)
        {
            code = c;
            text = t ? t : "(none)";
        });
    for (float mass : {0.0f, -1.0f, std::numeric_limits<float>::quiet_NaN()})
    {
        Calls calls;
        code = 0;
        text.clear();
        PreparedBody p;
        p.body.mass = mass;
        EXPECT_EQ(bz_Phys_PrepareBody(&p.body), 13);
        EXPECT_EQ(code, 13);
        EXPECT_EQ(text, "");
        EXPECT_EQ(p.body.inverseMass, 0.0f);
    }
    bz_Phys_SetErrorHook(nullptr);
}

TEST(BodyPrepareTest, AListIsPreparedBodyByBodyAndAZeroMassIsTold)
{
    KeepAlive keep;
    Calls calls;
    bz_Phys_SetErrorHook([](int32_t, const char *) {});
    PreparedBody a, b, c;
    a.body.nextSibling = &b.body;
    b.body.nextSibling = &c.body;
    EXPECT_EQ(bz_Phys_PrepareList(&a.body), 0);
    for (PreparedBody *p : {&a, &b, &c})
    {
        EXPECT_EQ(p->body.ring, &p->body);
        EXPECT_EQ(p->body.contactSpeedScale, 1.0f);
        EXPECT_EQ(p->body.inverseMass, 0.5f);
    }
    // Three roots: each builds its tree record once, in list order.
    EXPECT_EQ(std::count(Calls::log.begin(), Calls::log.end(), "tree"), 3);
    // A body of mass 0 in the middle: told, and the bodies after it are still prepared.
    PreparedBody d, e, f;
    d.body.nextSibling = &e.body;
    e.body.nextSibling = &f.body;
    e.body.mass = 0.0f;
    EXPECT_EQ(bz_Phys_PrepareList(&d.body), 13);
    EXPECT_EQ(f.body.ring, &f.body);
    EXPECT_EQ(f.body.inverseMass, 0.5f);
    EXPECT_EQ(bz_Phys_PrepareList(nullptr), 0);
    bz_Phys_SetErrorHook(nullptr);
}
} // namespace
