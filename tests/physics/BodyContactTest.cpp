// The force and contact queues of bodies: entry kinds, lifetimes, waking, the subtree and
// sibling walks, returning and copying entries, pool exhaustion and bad entries.
#include "collision/PairTestShapes.h"
#include "core/Memory.h"
#include "physics/Body.h"
#include "physics/BodyContact.h"
#include "physics/BodyMass.h"
#include "physics/PhysSettings.h"
#include "TestSupport.h"
#include "RawAllocFailure.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

namespace
{
using pairtest::V;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// The address of a value that lives to the end of the full expression.
const bzV3 *Ptr(const bzV3 &v)
{
    return &v;
}

// A body of mass 2 and unit moments at the origin, awake.
struct FreeTestBody
{
    BZDObject body = {};
    FreeTestBody()
    {
        bz_M34_SetIdentity(&body.startTransform);
        body.inertiaScale = 1.0f;
        const bzV3 moments = V(1, 1, 1);
        bz_Body_SetMassProperties(&body, 2.0f, 1.0f, nullptr, &moments, 0);
    }
};

class BodyContactTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_EQ(bz_Phys_CreateContactPools(), 0); }
    void TearDown() override
    {
        EXPECT_EQ(bz_Phys_ContactRecordsInUse(), 0u) << "a test left entries behind";
        EXPECT_EQ(bz_Phys_ContactLinksInUse(), 0u);
        bz_Phys_FreeContactPools();
    }
};

int ListLength(const BZDObject &b)
{
    int n = 0;
    for (const bzPhysContactLink *l = b.contactList; l; l = l->next)
        ++n;
    return n;
}

// Every node's back pointer names the field that points at it.
void ExpectLinksConsistent(BZDObject &b)
{
    bzPhysContactLink **field = &b.contactList;
    for (bzPhysContactLink *l = b.contactList; l; l = l->next)
    {
        EXPECT_EQ(l->back, field);
        EXPECT_EQ(l->body, &b);
        field = &l->next;
    }
}

TEST_F(BodyContactTest, ContactOfOneTenthActsInThreeFramesOfFourHundredths)
{
    FreeTestBody t;
    const bzV3 accel = V(1, 0, 0);
    ASSERT_NE(bz_Body_AddAccelerationContact(&t.body, &accel, 0.1f, 0), nullptr);
    const float expected[5] = {0.04f, 0.08f, 0.12f, 0.12f, 0.12f};
    for (int frame = 0; frame < 5; ++frame)
    {
        bz_Body_SaveFrameStartState(&t.body, 0.04f, 0);
        EXPECT_NEAR(t.body.linearVelocity.x, expected[frame], 1e-6) << "frame " << frame;
        // The frame-start field holds the frame's change.
        EXPECT_NEAR(t.body.frameStartLinearVelocity.x, frame < 3 ? 0.04f : 0.0f, 1e-6);
        EXPECT_EQ(ListLength(t.body), frame < 2 ? 1 : 0) << "frame " << frame;
    }
    bzV3 change, accelOut;
    bz_Body_GetFrameVelocityChange(&t.body, &change, nullptr);
    bz_Body_GetFrameAcceleration(&t.body, 0.04f, &accelOut, nullptr);
    EXPECT_EQ(change.x, 0.0f);
    EXPECT_EQ(accelOut.x, 0.0f);
}

TEST_F(BodyContactTest, PermanentContactActsUntilReturned)
{
    FreeTestBody t;
    const bzV3 omega = V(0, 0, 0.5f);
    bzPhysContactLink *link = bz_Body_AddAngularAccelerationContact(&t.body, &omega, 0.0f, 0);
    ASSERT_NE(link, nullptr);
    for (int frame = 0; frame < 10; ++frame)
        bz_Body_SaveFrameStartState(&t.body, 0.5f, 0);
    EXPECT_NEAR(t.body.angularVelocity.z, 2.5f, 1e-6);
    EXPECT_EQ(link->lifetime, 0.0f);
    EXPECT_EQ(bz_Body_ReturnContact(link, &t.body), 0);
    EXPECT_EQ(t.body.contactList, nullptr);
}

TEST_F(BodyContactTest, KindsActOnTheBodyAsTabled)
{
    // Mass 2, unit moments, dt 0.5; vector (2, -4, 6) and for kinds 2, 3 the point (1, 0, 0).
    struct Case
    {
        uint32_t kind;
        bzV3 v;        // expected linear velocity from (1, 1, 1)
        bzV3 w;        // expected angular velocity from (1, 1, 1)
        uint32_t mask; // changed bits
    };
    const uint32_t lin = BZ_BODY_CHANGED_LINEAR, ang = BZ_BODY_CHANGED_ANGULAR;
    // Impulse J at (1, 0, 0): w += r x J = (0, -J.z, J.y).
    const Case cases[] = {
        {0, V(1.5f, 0, 2.5f), V(1, 1, 1), lin},         // dt / m x vector
        {1, V(2, -1, 4), V(1, 1, 1), lin},              // 1 / m x vector
        {2, V(1.5f, 0, 2.5f), V(1, -2, -1), lin | ang}, // impulse dt x vector at the point
        {3, V(2, -1, 4), V(1, -5, -3), lin | ang},      // impulse vector at the point
        {4, V(2, -1, 4), V(1, 1, 1), lin},              // dt x vector
        {5, V(0, 1, 0), V(1, 1, 1), lin},               // towards 0, never past
        {6, V(2, -4, 6), V(1, 1, 1), lin},              // set
        {7, V(1, 1, 1), V(2, -1, 4), ang},              // dt x vector
        {8, V(1, 1, 1), V(0, 1, 0), ang},               // towards 0, never past
        {9, V(1, 1, 1), V(2, -4, 6), ang},              // set
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.kind);
        FreeTestBody t;
        t.body.linearVelocity = V(1, 1, 1);
        t.body.angularVelocity = V(1, 1, 1);
        bzPhysContact *e =
            bz_Body_QueueForce(&t.body, c.kind, Ptr(V(2, -4, 6)), Ptr(V(1, 0, 0)), 0);
        ASSERT_NE(e, nullptr);
        bz_Body_ApplyForceList(&t.body, 0.5f, 0);
        EXPECT_EQ(t.body.forceList, nullptr);
        for (int i = 0; i < 3; ++i)
        {
            EXPECT_NEAR(t.body.linearVelocity.v[i], c.v.v[i], 1e-6) << "axis " << i;
            EXPECT_NEAR(t.body.angularVelocity.v[i], c.w.v[i], 1e-6) << "axis " << i;
        }
        EXPECT_EQ(t.body.collisionMask, c.mask);
    }
}

TEST_F(BodyContactTest, DampingNeverReversesAComponent)
{
    FreeTestBody t;
    t.body.linearVelocity = V(0.01f, -1.0f, 2.0f);
    t.body.angularVelocity = V(-0.03f, 3.0f, -2.0f);
    ASSERT_NE(bz_Body_AddDampingContact(&t.body, Ptr(V(1, 1, 1)), 0.0f, 0), nullptr);
    ASSERT_NE(bz_Body_AddAngularDampingContact(&t.body, Ptr(V(-1, 1, 0)), 0.0f, 0), nullptr);
    bz_Body_SaveFrameStartState(&t.body, 0.04f, 0);
    // x smaller than the reduction stops at 0; y of the other sign is untouched; z shrinks.
    EXPECT_EQ(t.body.linearVelocity.x, 0.0f);
    EXPECT_EQ(t.body.linearVelocity.y, -1.0f);
    EXPECT_NEAR(t.body.linearVelocity.z, 1.96f, 1e-6);
    EXPECT_EQ(t.body.angularVelocity.x, 0.0f);
    EXPECT_NEAR(t.body.angularVelocity.y, 2.96f, 1e-6);
    EXPECT_EQ(t.body.angularVelocity.z, -2.0f);
    for (int frame = 0; frame < 100; ++frame)
        bz_Body_SaveFrameStartState(&t.body, 0.04f, 0);
    EXPECT_EQ(t.body.linearVelocity.z, 0.0f);
    EXPECT_EQ(t.body.angularVelocity.y, 0.0f);
    bz_Body_ReturnAllContacts(&t.body);
}

TEST_F(BodyContactTest, DampingLeavesASleepingBodyAsleepOtherKindsWakeIt)
{
    for (uint32_t kind = 0; kind < BZ_CONTACT_KIND_COUNT; ++kind)
    {
        SCOPED_TRACE(kind);
        FreeTestBody t;
        t.body.asleep = 1;
        ASSERT_NE(bz_Body_AddContact(&t.body, kind, 0.0f, 0), nullptr);
        EXPECT_EQ(t.body.asleep, kind == 5 || kind == 8 ? 1 : 0);
        // A sleeping body's contacts are not applied.
        t.body.asleep = 1;
        t.body.contactList->record->vector = V(1, 1, 1);
        bz_Body_SaveFrameStartState(&t.body, 0.5f, 0);
        EXPECT_EQ(t.body.linearVelocity.x, 0.0f);
        EXPECT_EQ(t.body.angularVelocity.x, 0.0f);
        bz_Body_ReturnAllContacts(&t.body);
    }
}

TEST_F(BodyContactTest, PermanentAccelerationWakesOnlyBodiesThatAskForIt)
{
    struct Case
    {
        uint32_t mechanics;
        float lifetime;
        bool wakes;
    };
    const Case cases[] = {
        {0x800, 0.0f, true}, {0x2000, 0.0f, true}, {0, 0.0f, false}, {0x2800, 1.0f, false}};
    for (const Case &c : cases)
    {
        FreeTestBody t;
        t.body.mechanicsFlags = c.mechanics;
        bzPhysContactLink *link =
            bz_Body_AddAccelerationContact(&t.body, Ptr(V(0, 1, 0)), c.lifetime, 0);
        ASSERT_NE(link, nullptr);
        t.body.asleep = 1;
        bz_Body_SetContactVector(link, Ptr(V(0, 2, 0)));
        EXPECT_EQ(link->record->vector.y, 2.0f);
        EXPECT_EQ(t.body.asleep, c.wakes ? 0 : 1) << c.mechanics << " " << c.lifetime;
        bz_Body_SetContactVector(link, Ptr(V(kNaN, 0, 0)));
        EXPECT_EQ(link->record->vector.y, 2.0f) << "a bad vector changes nothing";
        bz_Body_ReturnAllContacts(&t.body);
    }
}

TEST_F(BodyContactTest, SubtreeAndSiblingWalks)
{
    // root -> child a -> sibling b; a -> grandchild g.
    FreeTestBody root, a, b, g;
    root.body.firstChild = &a.body;
    a.body.parent = &root.body;
    a.body.nextSibling = &b.body;
    b.body.parent = &root.body;
    a.body.firstChild = &g.body;
    g.body.parent = &a.body;
    ASSERT_NE(bz_Body_QueueForce(&root.body, BZ_CONTACT_SET_VELOCITY, Ptr(V(1, 0, 0)), nullptr, 1),
              nullptr);
    ASSERT_NE(bz_Body_QueueForce(&a.body, BZ_CONTACT_SET_VELOCITY, Ptr(V(0, 2, 0)), nullptr, 0),
              nullptr);
    bz_Body_ApplyForceList(&root.body, 0.04f, 0);
    EXPECT_EQ(root.body.linearVelocity.x, 1.0f);
    EXPECT_EQ(b.body.linearVelocity.x, 1.0f);
    EXPECT_EQ(g.body.linearVelocity.x, 1.0f);
    // a's own entry (no subtree flag) comes after the root's and does not reach g.
    EXPECT_EQ(a.body.linearVelocity.y, 2.0f);
    EXPECT_EQ(g.body.linearVelocity.y, 0.0f);
    EXPECT_EQ(a.body.forceList, nullptr);

    // An entry applied with the siblings flag reaches the siblings, not their children.
    bzPhysContact entry = {};
    entry.kind = BZ_CONTACT_SET_ANGULAR;
    entry.vector = V(0, 0, 3);
    bz_Body_ApplyEntry(&a.body, &entry, 0.04f, 1);
    EXPECT_EQ(a.body.angularVelocity.z, 3.0f);
    EXPECT_EQ(b.body.angularVelocity.z, 3.0f);
    EXPECT_EQ(g.body.angularVelocity.z, 0.0f);
    EXPECT_EQ(root.body.angularVelocity.z, 0.0f);
}

TEST_F(BodyContactTest, ReturningCopyingAndClearing)
{
    FreeTestBody t, copy;
    std::vector<bzPhysContactLink *> links;
    for (int i = 0; i < 5; ++i)
        links.push_back(bz_Body_AddForceContact(&t.body, Ptr(V(float(i), 0, 0)), 0.5f * i, i & 1));
    for (bzPhysContactLink *l : links)
        ASSERT_NE(l, nullptr);
    t.body.specialContacts[0] = links[1];
    t.body.specialContacts[2] = links[3];
    // A middle node unlinks itself.
    bz_Body_ReturnContact(links[2], &t.body);
    EXPECT_EQ(ListLength(t.body), 4);
    ExpectLinksConsistent(t.body);

    bz_Body_CopyContacts(&copy.body, &t.body);
    EXPECT_EQ(ListLength(copy.body), 2); // nodes 0 and 4; the special ones stay behind
    ExpectLinksConsistent(copy.body);
    for (const bzPhysContactLink *l = copy.body.contactList; l; l = l->next)
    {
        const int i = int(l->record->vector.x);
        EXPECT_TRUE(i == 0 || i == 4);
        EXPECT_EQ(l->lifetime, 0.5f * i);
        EXPECT_EQ(l->record->subtree, uint32_t(i & 1));
        EXPECT_EQ(l->record->kind, BZ_CONTACT_FORCE);
    }

    bz_Body_ReturnLooseContacts(&t.body);
    EXPECT_EQ(ListLength(t.body), 2);
    EXPECT_EQ(t.body.specialContacts[0], links[1]);
    // Returning a special node by itself clears its slot.
    bz_Body_ReturnContact(links[3], &t.body);
    EXPECT_EQ(t.body.specialContacts[2], nullptr);
    EXPECT_EQ(bz_Body_ReturnAllContacts(&t.body), 0);
    EXPECT_EQ(t.body.contactList, nullptr);
    EXPECT_EQ(t.body.specialContacts[0], nullptr);

    // Clearing returns every contact and queues two zero-setting entries.
    copy.body.linearVelocity = V(3, 3, 3);
    copy.body.angularVelocity = V(1, 2, 3);
    EXPECT_EQ(bz_Body_ClearContacts(&copy.body, 1), 0);
    EXPECT_EQ(copy.body.contactList, nullptr);
    ASSERT_NE(copy.body.forceList, nullptr);
    EXPECT_EQ(copy.body.forceList->subtree, 1u);
    bz_Body_ApplyForceList(&copy.body, 0.04f, 0);
    EXPECT_EQ(copy.body.linearVelocity.x, 0.0f);
    EXPECT_EQ(copy.body.angularVelocity.z, 0.0f);

    // Force entries returned unapplied.
    bzPhysContact *f = bz_Body_QueueForce(&t.body, BZ_CONTACT_IMPULSE, Ptr(V(9, 9, 9)), nullptr, 0);
    ASSERT_NE(bz_Body_AddForceCopy(&t.body, f), nullptr);
    EXPECT_EQ(t.body.forceList->vector.x, 9.0f);
    bz_Body_FreeForceList(&t.body);
    EXPECT_EQ(t.body.forceList, nullptr);
    EXPECT_EQ(t.body.linearVelocity.x, 0.0f);
}

TEST_F(BodyContactTest, AliasesOfTheDynamicsLayer)
{
    FreeTestBody t;
    t.body.asleep = 1;
    bzPhysContactLink *at =
        bz_Body_AddContactAtPoint(&t.body, Ptr(V(0, -10, 0)), Ptr(V(1, 2, 3)), 0, 0);
    ASSERT_NE(at, nullptr);
    EXPECT_EQ(at->record->kind, BZ_CONTACT_ACCELERATION);
    EXPECT_EQ(at->record->point.z, 3.0f);
    t.body.asleep = 1;
    bzPhysContactLink *wake =
        bz_Body_AddContactWake(&t.body, Ptr(V(1, 0, 0)), Ptr(V(0, 0, 0)), 0, 0);
    ASSERT_NE(wake, nullptr);
    EXPECT_EQ(t.body.asleep, 0);
    bz_Body_SaveFrameStartState(&t.body, 0.5f, 0);
    EXPECT_NEAR(t.body.linearVelocity.x, 0.5f, 1e-6);
    EXPECT_NEAR(t.body.linearVelocity.y, -5.0f, 1e-6);
    bz_Body_ReturnAllContacts(&t.body);
}

TEST_F(BodyContactTest, BadEntriesAreRefusedAndTheBodyIsUnchanged)
{
    FreeTestBody t;
    const bzV3 bad = V(1, kNaN, 0);
    EXPECT_EQ(bz_Body_AddContact(&t.body, 10, 0.0f, 0), nullptr);
    EXPECT_EQ(bz_Body_AddContact(&t.body, 0, -1.0f, 0), nullptr);
    EXPECT_EQ(bz_Body_AddContact(&t.body, 0, kNaN, 0), nullptr);
    EXPECT_EQ(bz_Body_AddContact(&t.body, 0, std::numeric_limits<float>::infinity(), 0), nullptr);
    EXPECT_EQ(bz_Body_AddForceContact(&t.body, &bad, 0.0f, 0), nullptr);
    EXPECT_EQ(bz_Body_AddForceAtPointContact(&t.body, Ptr(V(1, 0, 0)), &bad, 0.0f, 0), nullptr);
    EXPECT_EQ(bz_Body_AddForce(&t.body, 12, 0), nullptr);
    EXPECT_EQ(bz_Body_QueueForce(&t.body, 0, &bad, nullptr, 0), nullptr);
    EXPECT_EQ(t.body.contactList, nullptr);
    EXPECT_EQ(t.body.forceList, nullptr);

    // A record the caller filled with a NaN is skipped when applied.
    bzPhysContactLink *link = bz_Body_AddContact(&t.body, BZ_CONTACT_ACCELERATION, 0.0f, 0);
    ASSERT_NE(link, nullptr);
    link->record->vector = bad;
    bz_Body_SaveFrameStartState(&t.body, 0.04f, 0);
    EXPECT_EQ(t.body.linearVelocity.x, 0.0f);
    EXPECT_EQ(t.body.linearVelocity.y, 0.0f);
    bz_Body_ReturnAllContacts(&t.body);
}

TEST_F(BodyContactTest, ExhaustedPoolsGiveNullAndLeaveTheBodyUnchanged)
{
    FreeTestBody t;
    // Records have room to spare and the nodes' block is full: the next contact gets its
    // record but no node.
    for (int i = 0; i < 64; ++i)
    {
        ASSERT_NE(bz_Body_QueueForce(&t.body, 0, Ptr(V(1, 0, 0)), nullptr, 0), nullptr);
        ASSERT_NE(bz_Body_AddForceContact(&t.body, Ptr(V(1, 0, 0)), 0.0f, 0), nullptr);
    }
    bz_Body_FreeForceList(&t.body);
    ASSERT_EQ(bz_Phys_ContactLinksInUse(), 64u);

    RawAllocFailure failing;
    bzPhysContactLink *const head = t.body.contactList;
    t.body.asleep = 1;
    bzPhysContactLink *link = bz_Body_AddForceContact(&t.body, Ptr(V(1, 0, 0)), 0.0f, 0);
    const int32_t status = bzgMemStatus;
    // Force entries take the free records until none is left.
    int queued = 0;
    while (queued < 1000 && bz_Body_QueueForce(&t.body, 0, Ptr(V(1, 0, 0)), nullptr, 0))
        ++queued;
    bzPhysContact *const forceHead = t.body.forceList;
    bzPhysContact *const extra = bz_Body_AddForce(&t.body, 0, 0);
    failing.Restore();

    EXPECT_EQ(link, nullptr);
    EXPECT_EQ(status, 97);
    EXPECT_EQ(t.body.contactList, head);
    EXPECT_EQ(t.body.asleep, 1);
    EXPECT_EQ(ListLength(t.body), 64);
    EXPECT_EQ(queued, 64) << "the record of the failed contact went back to its pool";
    EXPECT_EQ(extra, nullptr);
    EXPECT_EQ(t.body.forceList, forceHead);
    bz_Body_FreeForceList(&t.body);
    bz_Body_ReturnAllContacts(&t.body);

    // Without pools nothing can be added.
    bz_Phys_FreeContactPools();
    EXPECT_EQ(bz_Body_AddForceContact(&t.body, Ptr(V(1, 0, 0)), 0.0f, 0), nullptr);
    EXPECT_EQ(bz_Body_AddForce(&t.body, 0, 0), nullptr);
    EXPECT_EQ(t.body.contactList, nullptr);
    ASSERT_EQ(bz_Phys_CreateContactPools(), 0);
}
} // namespace
