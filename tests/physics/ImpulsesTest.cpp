// Row impulses into body velocities, the world-contact list, contact friction and the spin
// limit.
#include "collision/PairTestShapes.h"
#include "maths/Matrix.h"
#include "physics/Body.h"
#include "physics/ConstraintRow.h"
#include "physics/Impulses.h"
#include "physics/PhysSettings.h"
#include "physics/Substance.h"
#include "FrictionTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace
{
using pairtest::V;

void ExpectV3(const bzV3 &got, const bzV3 &want, float tolerance = 1e-5f)
{
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(got.v[i], want.v[i], tolerance) << "component " << i;
}

struct Scope : FrictionScope
{
    Scope() { bz_Phys_ClearWorldContacts(); }
    ~Scope()
    {
        bz_Phys_ClearWorldContacts();
        bz_Phys_SetIteration(0);
    }
    // A contact under the body; word 0 the normal impulse.
    bzPhysRow Ground(BZDObject *a, float normalImpulse)
    {
        bzPhysRow r = {};
        r.weight = normalImpulse;
        r.bodyA = a;
        r.type = 2; // a point pushed out of a face
        r.rA = V(0, -1, 0);
        r.nA = V(0, 1, 0);
        r.link.surface = &surface;
        return r;
    }
};

TEST(ImpulsesTest, RowImpulsesMoveBothBodiesOppositely)
{
    Scope scope;
    BZDObject a = scope.Body(2.0f), b = scope.Body(4.0f);
    bz_M34_RotationY(&a.startTransform, 90.0f);
    bz_Phys_SetIteration(5);
    bzPhysRow row = {};
    row.bodyA = &a;
    row.bodyB = &b;
    row.type = 5;
    row.nA = V(1, 0, 0);
    row.nB = V(0, 1, 0);
    row.wA = V(0, 0, 1);
    row.wB = V(1, 0, 0);
    bz_Phys_ApplyRowImpulse(&row, 2.0f);
    ExpectV3(a.localLinearVelocity, V(1, 0, 0));
    bzV3 world;
    bz_M33_RotateV3Into(&a.startTransform, &world, &a.localLinearVelocity);
    ExpectV3(a.linearVelocity, world);
    ExpectV3(a.angularVelocity, V(0, 0, 2));
    ExpectV3(b.localLinearVelocity, V(0, -0.5f, 0));
    ExpectV3(b.angularVelocity, V(-2, 0, 0));
    EXPECT_EQ(a.gatherStamp, 5);
    EXPECT_EQ(b.gatherStamp, 5);

    // One-sided: bodyB untouched. Angular: no linear change.
    row.type = BZ_ROW_ONE_SIDED;
    const BZDObject bBefore = b;
    bz_Phys_ApplyRowImpulse(&row, 2.0f);
    ExpectV3(b.angularVelocity, bBefore.angularVelocity);
    row.type = BZ_ROW_ANGULAR_JOINT | BZ_ROW_ANGULAR;
    const bzV3 before = a.localLinearVelocity;
    bz_Phys_ApplyRowImpulse(&row, 1.0f);
    ExpectV3(a.localLinearVelocity, before);
    ExpectV3(a.angularVelocity, V(0, 0, 5));
}

TEST(ImpulsesTest, BundlesApplyEachRowsOwnImpulse)
{
    Scope scope;
    BZDObject a = scope.Body();
    bzPhysRow rows[3] = {};
    const bzV3 axes[3] = {V(1, 0, 0), V(0, 1, 0), V(0, 0, 1)};
    for (int i = 0; i < 3; ++i)
    {
        rows[i].bodyA = &a;
        rows[i].type = BZ_ROW_LINEAR_JOINT;
        rows[i].nA = axes[i];
        rows[i].link.sharedRows = 2 - i;
    }
    bzPhysRow *pointers[3] = {&rows[0], &rows[1], &rows[2]};
    const float x[3] = {1, 2, 3};
    EXPECT_EQ(bz_Phys_ApplyBundleImpulses(pointers, x), 3);
    ExpectV3(a.localLinearVelocity, V(1, 2, 3));
    ExpectV3(a.linearVelocity, V(1, 2, 3));
}

TEST(ImpulsesTest, ContactImpulsesFillTheWorldContactList)
{
    Scope scope;
    BZDObject a = scope.Body();
    std::vector<bzPhysRow> rows(302, scope.Ground(&a, 0.0f));
    rows[1].type = BZ_ROW_TARGET;
    rows[2].type = 8 | BZ_ROW_ANGULAR;
    // A friction row of the solve: its direction is no contact normal to take friction against.
    rows[4].type = BZ_ROW_FRICTION;
    rows[4].nA = V(1, 0, 0);
    std::vector<bzPhysRow *> pointers;
    std::vector<float> x;
    for (size_t i = 0; i < rows.size(); ++i)
    {
        pointers.push_back(&rows[i]);
        x.push_back(i == 3 ? 0.0f : 0.5f);
    }
    bz_Phys_ApplyContactImpulses(pointers.data(), x.data(), 5);
    EXPECT_EQ(rows[3].type & BZ_ROW_OFF, uint32_t(BZ_ROW_OFF)); // impulse 0: switched off
    // Row 0 only: the fixed-target row, the angular row, the unused row and the friction row do
    // not go in; the friction row's impulse still moves the body (0.5 along x, 0 from row 0).
    ASSERT_EQ(bz_Phys_WorldContactCount(), 1);
    EXPECT_FLOAT_EQ(bz_Phys_WorldContacts()[0].weight, 0.5f);
    EXPECT_GT(a.localLinearVelocity.x, 0.0f);
    bz_Phys_ClearWorldContacts();
    bz_Phys_ApplyContactImpulses(pointers.data() + 5, x.data() + 5, 297);
    EXPECT_EQ(bz_Phys_WorldContactCount(), 297);
    bz_Phys_ApplyContactImpulses(pointers.data() + 5, x.data() + 5, 10);
    EXPECT_EQ(bz_Phys_WorldContactCount(), BZ_WORLD_CONTACT_LIMIT);
}

// Taking back what bz_Phys_ApplyContactImpulses applied leaves both bodies as they were and
// the world-contact list as it is. a (mass 2) and b (mass 4) meet along a's x; the row turns a
// by wA per unit impulse and b by wB. A row whose impulse is 0 is left alone.
TEST(ImpulsesTest, ContactImpulsesCanBeTakenBack)
{
    Scope scope;
    BZDObject a = scope.Body(2.0f), b = scope.Body(4.0f);
    a.localLinearVelocity = V(0.5f, -0.25f, 0);
    a.linearVelocity = a.localLinearVelocity;
    bzPhysRow pair = {};
    pair.bodyA = &a;
    pair.bodyB = &b;
    pair.type = 5;
    pair.nA = V(1, 0, 0);
    pair.nB = V(-1, 0, 0);
    pair.wA = V(0, 0, 1);
    pair.wB = V(0, 1, 0);
    bzPhysRow ground = scope.Ground(&a, 0.0f);
    ground.wA = V(1, 0, 0);
    bzPhysRow *rows[2] = {&pair, &ground};
    const float x[2] = {2.0f, 0.6f};
    bz_Phys_ApplyContactImpulses(rows, x, 2);
    // a: 2 / 2 along x and 0.6 / 2 along y; turned by 2 about z and 0.6 about x.
    ExpectV3(a.localLinearVelocity, V(1.5f, 0.05f, 0));
    ExpectV3(a.angularVelocity, V(0.6f, 0, 2));
    // b: -2 / 4 along -x, turned by -2 about y.
    ExpectV3(b.localLinearVelocity, V(0.5f, 0, 0));
    ExpectV3(b.angularVelocity, V(0, -2, 0));
    ASSERT_EQ(bz_Phys_WorldContactCount(), 2);

    bz_Phys_TakeBackContactImpulses(rows, x, 2);
    ExpectV3(a.localLinearVelocity, V(0.5f, -0.25f, 0));
    ExpectV3(a.linearVelocity, V(0.5f, -0.25f, 0));
    ExpectV3(a.angularVelocity, V(0, 0, 0));
    ExpectV3(b.localLinearVelocity, V(0, 0, 0));
    ExpectV3(b.angularVelocity, V(0, 0, 0));
    EXPECT_EQ(bz_Phys_WorldContactCount(), 2);

    const float none[2] = {0.0f, 0.0f};
    bz_Phys_TakeBackContactImpulses(rows, none, 2);
    ExpectV3(a.localLinearVelocity, V(0.5f, -0.25f, 0));
}

// A friction row of the solve that carried an impulse spends its contact's friction for the
// step: every copy of a contact of the same body at the same point in the world-contact list
// gets a normal impulse of 0, so the friction pass stops no slip there. Contacts at other
// points, of other bodies, and those of a friction row that carried nothing keep theirs.
TEST(ImpulsesTest, AFrictionRowSpendsItsContactsFrictionForTheStep)
{
    Scope scope;
    BZDObject a = scope.Body(), b = scope.Body();
    bzPhysRow contacts[4] = {scope.Ground(&a, 1.0f), scope.Ground(&a, 1.0f), scope.Ground(&a, 1.0f),
                             scope.Ground(&b, 1.0f)};
    contacts[1].rA = V(0.5f, -1, 0);
    contacts[2].rA = V(0, -1, 0.5f);
    bzPhysRow *pointers[4] = {&contacts[0], &contacts[1], &contacts[2], &contacts[3]};
    const float normal[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    bz_Phys_ApplyContactImpulses(pointers, normal, 4);
    bz_Phys_ApplyContactImpulses(pointers, normal, 1); // a second copy of the first
    ASSERT_EQ(bz_Phys_WorldContactCount(), 5);

    bzPhysRow friction[2] = {};
    for (bzPhysRow &f : friction)
    {
        f.bodyA = &a;
        f.type = BZ_ROW_FRICTION;
        f.nA = V(-1, 0, 0);
    }
    friction[0].rA = V(0, -1, 0);
    friction[1].rA = V(0, -1, 0.5f);
    bzPhysRow *rows[2] = {&friction[0], &friction[1]};
    const float x[2] = {0.3f, 0.0f};
    bz_Phys_SpendWorldContactFriction(rows, x, 2);
    const bzPhysRow *list = bz_Phys_WorldContacts();
    const float left[5] = {0.0f, 1.0f, 1.0f, 1.0f, 0.0f};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(list[i].weight, left[i]) << "copy " << i;

    // The spent contact (a's first) stops no slip, a's other contacts do (mu N = 0.5 each).
    a.localLinearVelocity = V(0.4f, 0, 0);
    a.linearVelocity = a.localLinearVelocity;
    bzPhysRow spent = list[0];
    bz_Phys_WorldContactFriction(&spent);
    EXPECT_FLOAT_EQ(a.localLinearVelocity.x, 0.4f);
    bzPhysRow kept = list[1];
    bz_Phys_WorldContactFriction(&kept);
    EXPECT_NEAR(a.localLinearVelocity.x, 0.0f, 1e-6f);
}

// World friction takes a contact point's slip through the body's sliding turn: a body at rest
// rocking too slowly to turn within a step (dt 0.04: below 0.0079 rad/s) does not slip at its
// contact (w x r = (0.005, 0, 0) under a rocking of 0.005 about z), so friction leaves it; at
// 0.02 rad/s it turns, its point slips at 0.02 and friction (no inverse moments: linear only,
// within mu N = 0.5) takes 0.02 of speed from the body.
TEST(ImpulsesTest, WorldFrictionLeavesARockingTooSlowToTurnTheBody)
{
    Scope scope;
    bzgPhysSettings.timeStep = 0.04f;
    for (const float rocking : {0.005f, 0.02f})
    {
        SCOPED_TRACE(rocking);
        BZDObject a = scope.Body();
        a.angularVelocity = V(0, 0, rocking);
        bzPhysRow row = scope.Ground(&a, 1.0f);
        bz_Phys_WorldContactFriction(&row);
        EXPECT_NEAR(a.localLinearVelocity.x, rocking < 0.0079f ? 0.0f : -rocking, 1e-6f);
        EXPECT_FLOAT_EQ(a.angularVelocity.z, rocking);
    }
}

float *gSeenImpulse = nullptr;

TEST(ImpulsesTest, WorldFrictionStopsSlipsFromAThousandthUpWithinMuTimesTheNormalImpulse)
{
    Scope scope;
    struct Case
    {
        const char *name;
        float slip;
        float normal;
        float after; // slip speed left
    };
    const Case cases[] = {
        {"below a thousandth", 0.0009f, 10.0f, 0.0009f},
        {"a thousandth", 0.001f, 10.0f, 0.0f},
        {"enough friction", 0.5f, 10.0f, 0.0f},
        {"not enough", 0.5f, 0.4f, 0.5f - 0.5f * 0.4f}, // mu N = 0.2 over mass 1
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.name);
        BZDObject a = scope.Body(); // no inverse moments: the contact does not turn it
        a.localLinearVelocity = V(c.slip, 0, 0);
        a.linearVelocity = a.localLinearVelocity;
        bzPhysRow row = scope.Ground(&a, c.normal);
        float impulse = -1.0f;
        gSeenImpulse = &impulse;
        a.slidingCallBack = [](void *, void *, void *, float k, float, float, const bzV3 *,
                               const bzV3 *, const bzV3 *) { *gSeenImpulse = k; };
        bz_Phys_WorldContactFriction(&row);
        EXPECT_NEAR(a.localLinearVelocity.x, c.after, 1e-6f);
        EXPECT_NEAR(a.linearVelocity.x, c.after, 1e-6f);
        if (c.after != c.slip)
            EXPECT_LE(impulse, 0.5f * c.normal + 1e-6f);
        else
            EXPECT_EQ(impulse, -1.0f);
    }
}

TEST(ImpulsesTest, ASleepingBodyHoldsWithStaticFriction)
{
    Scope scope;
    BZDObject a = scope.Body();
    a.wasAsleep = 1;
    a.localLinearVelocity = V(1, 0, 0);
    bzPhysRow row = scope.Ground(&a, 1.0f);
    bz_Phys_WorldContactFriction(&row);
    EXPECT_NEAR(a.localLinearVelocity.x, 1.0f - 0.8f, 1e-6f);
}

TEST(ImpulsesTest, SpinLimit)
{
    Scope scope;
    struct Case
    {
        float perStep; // radians turned in a step
        float after;
    };
    const Case cases[] = {{2.0f, 0.785f}, {1.5f, 1.5f}, {100.0f, 0.785f}};
    for (const Case &c : cases)
    {
        BZDObject a = scope.Body();
        a.angularVelocity = V(0, c.perStep / 0.04f, 0);
        bz_Body_LimitSpin(&a);
        EXPECT_NEAR(a.angularVelocity.y * 0.04f, c.after, 1e-4f) << c.perStep;
    }
}

int gSlidingCalls = 0;

TEST(ImpulsesTest, FrictionBetweenTwoBodiesActsOnBothAndTellsBoth)
{
    Scope scope;
    BZDObject a = scope.Body(), b = scope.Body();
    gSlidingCalls = 0;
    auto seen = [](void *, void *, void *, float k, float s, float, const bzV3 *, const bzV3 *,
                   const bzV3 *)
    {
        ++gSlidingCalls;
        EXPECT_NEAR(k, 0.3f, 1e-6f); // s / K = 0.5, capped at mu N = 0.3
        EXPECT_NEAR(s, 1.0f, 1e-6f);
    };
    a.slidingCallBack = seen;
    b.slidingCallBack = seen; // the same call back is called once
    bzPhysRow row = scope.Ground(&a, 0.0f);
    row.bodyB = &b;
    row.rB = V(0, 1, 0);
    row.nA = V(0, 0, 0); // the normal impulse itself moves nothing here
    row.nB = V(0, 0, 0);
    bzPhysRow *pointers[1] = {&row};
    const float normal[1] = {0.6f};
    bz_Phys_ApplyContactImpulses(pointers, normal, 1);
    ASSERT_EQ(bz_Phys_WorldContactCount(), 1);
    bz_Phys_WorldContacts()[0].nA = V(0, 1, 0);
    bz_Phys_WorldContacts()[0].nB = V(0, -1, 0);
    a.localLinearVelocity = V(1, 0, 0);
    bz_Phys_FrictionPass();
    EXPECT_EQ(bz_Phys_WorldContactCount(), 0);
    EXPECT_EQ(gSlidingCalls, 1);
    ExpectV3(a.linearVelocity, V(0.7f, 0, 0));
    ExpectV3(b.linearVelocity, V(0.3f, 0, 0));
}
} // namespace
