// Friction rows of world and two-body contacts, the pass limit and row cap, the force budget,
// and the hand-over of rows in the owners' terms.
#include "collision/PairTestShapes.h"
#include "maths/Matrix.h"
#include "physics/Body.h"
#include "physics/ConstraintRow.h"
#include "physics/FrictionRows.h"
#include "physics/PhysSettings.h"
#include "physics/Substance.h"
#include "FrictionTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace
{
using pairtest::V;

struct Scope : FrictionScope
{
    Scope() { NextStep(); }
    static void NextStep() { bz_Phys_SetStepNumber(bz_Phys_StepNumber() + 1); }
    // A world contact under a with normal impulse n; rB holds the contact point's velocity.
    bzPhysRow WorldContact(BZDObject *a, float n)
    {
        bzPhysRow r = {};
        r.weight = 1.0f;
        r.bodyA = a;
        r.type = BZ_ROW_CONTACT_PULLED;
        r.value = n;
        r.rA = V(0, -1, 0);
        r.nA = V(0, -1, 0);
        r.rB = a->localLinearVelocity;
        r.link.surface = &surface;
        return r;
    }
};

TEST(FrictionRowsTest, WorldContactsThatSlipGetARowAlongTheSlip)
{
    Scope scope;
    struct Case
    {
        const char *name;
        bzV3 velocity;
        float n;
        float previousSpeedSq;
        uint32_t type;
        float budget; // 0: no row
    };
    const Case cases[] = {
        {"sliding", V(0.5f, 0, 0), 1.0f, 0.0f, BZ_ROW_CONTACT_PULLED, 0.5f},
        // 0.5 s = 0.25 is not below k N mu = 0.2.
        {"too little friction", V(0.5f, 0, 0), 0.4f, 0.0f, BZ_ROW_CONTACT_PULLED, 0.0f},
        {"fast last step", V(0.5f, 0, 0), 1.0f, 1.01f, BZ_ROW_CONTACT_PULLED, 0.0f},
        {"at the speed limit", V(0.5f, 0, 0), 1.0f, 1.0f, BZ_ROW_CONTACT_PULLED, 0.5f},
        {"no slip", V(0, -0.3f, 0), 1.0f, 0.0f, BZ_ROW_CONTACT_PULLED, 0.0f},
        {"angular row", V(0.5f, 0, 0), 1.0f, 0.0f, 8 | BZ_ROW_ANGULAR, 0.0f},
        {"switched off", V(0.5f, 0, 0), 1.0f, 0.0f, 1 | BZ_ROW_OFF, 0.0f},
        {"friction row", V(0.5f, 0, 0), 1.0f, 0.0f, BZ_ROW_FRICTION, 0.0f},
        {"fixed target", V(0.5f, 0, 0), 1.0f, 0.0f, BZ_ROW_TARGET, 0.0f},
        {"joint row", V(0.5f, 0, 0), 1.0f, 0.0f, BZ_ROW_LINEAR_JOINT, 0.0f},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.name);
        Scope::NextStep();
        BZDObject a = scope.Body();
        a.localLinearVelocity = c.velocity;
        a.previousSpeedSquared[0] = c.previousSpeedSq;
        bzPhysRow contact = scope.WorldContact(&a, c.n);
        contact.type = c.type;
        bzPhysRow out[2];
        float rhs[2] = {-1, -1};
        const int32_t count = bz_Phys_AddFrictionRows(out, 0, &contact, 1, rhs);
        ASSERT_EQ(count, c.budget > 0.0f ? 1 : 0);
        if (!count)
            continue;
        EXPECT_EQ(out[0].type, uint32_t(BZ_ROW_FRICTION));
        EXPECT_EQ(out[0].bodyB, nullptr);
        EXPECT_EQ(out[0].link.surface, &scope.surface);
        EXPECT_FLOAT_EQ(out[0].rB.x, c.budget);
        EXPECT_FLOAT_EQ(rhs[0], 0.5f);
        EXPECT_FLOAT_EQ(out[0].nA.x, -1.0f); // against the slip
        EXPECT_FLOAT_EQ(out[0].weight, 1.0f);
    }
}

TEST(FrictionRowsTest, AContactPointThatBarelyMovesTakesTheStaticFriction)
{
    Scope scope;
    BZDObject a = scope.Body();
    a.localLinearVelocity = V(0.5f, 0, 0);
    bzPhysRow contact = scope.WorldContact(&a, 1.0f);
    contact.rB = V(0.0125f, 0, 0); // exactly half the tolerance along the slip
    bzPhysRow out[1];
    float rhs[1];
    ASSERT_EQ(bz_Phys_AddFrictionRows(out, 0, &contact, 1, rhs), 1);
    EXPECT_FLOAT_EQ(out[0].rB.x, 0.8f);
}

// The turn by which a body slides its points over a face: less its rocking about the face's
// axes when that rocking is too slow to turn it within a step (dt 0.04: |rocking| dt squared
// below 1e-7, so |rocking| below 0.0079 rad/s); the spin about the normal always stays.
TEST(FrictionRowsTest, ARockingTooSlowToTurnTheBodySlidesNoPoint)
{
    Scope scope;
    bzgPhysSettings.timeStep = 0.04f;
    struct Case
    {
        const char *name;
        bzV3 turn;
        bzV3 normal;
        bzV3 sliding;
    };
    const Case cases[] = {
        {"slow rocking", V(0, 0, 0.005f), V(0, 1, 0), V(0, 0, 0)},
        {"rocking that turns", V(0, 0, 0.01f), V(0, 1, 0), V(0, 0, 0.01f)},
        {"spin and slow rocking", V(0.005f, 0.3f, 0), V(0, 1, 0), V(0, 0.3f, 0)},
        // Each part alone below the threshold, together above it (dt^2 |w|^2 = 1.15e-7).
        {"two slow rockings", V(0.006f, 0, 0.006f), V(0, 1, 0), V(0.006f, 0, 0.006f)},
        {"spin about a tilted normal", V(0, 0, 2), V(0, 0, 1), V(0, 0, 2)},
        {"slow rocking on a wall", V(0, 0.005f, 0.5f), V(0, 0, 1), V(0, 0, 0.5f)},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.name);
        BZDObject a = scope.Body();
        a.angularVelocity = c.turn;
        const bzV3 w = bz_Phys_SlidingTurn(&a, c.normal);
        for (int i = 0; i < 3; ++i)
            EXPECT_NEAR(w.v[i], c.sliding.v[i], 1e-7f) << "component " << i;
    }

    // A contact under a body at rest that only rocks slowly does not slip, so it gets no row;
    // rocking fast enough to turn the body, the point slips by w x r = (0.01, 0, 0) and the row
    // keeps the contact's normal in nB.
    for (const float rocking : {0.005f, 0.01f})
    {
        SCOPED_TRACE(rocking);
        Scope::NextStep();
        BZDObject a = scope.Body();
        a.angularVelocity = V(0, 0, rocking);
        bzPhysRow contact = scope.WorldContact(&a, 1.0f);
        bzPhysRow out[1];
        float rhs[1] = {-1};
        const int32_t count = bz_Phys_AddFrictionRows(out, 0, &contact, 1, rhs);
        if (rocking < 0.0079f)
        {
            EXPECT_EQ(count, 0);
            continue;
        }
        ASSERT_EQ(count, 1);
        EXPECT_FLOAT_EQ(rhs[0], 0.01f);
        EXPECT_FLOAT_EQ(out[0].nA.x, -1.0f);
        EXPECT_EQ(out[0].nB.y, -1.0f); // WorldContact's normal, (0, -1, 0)
    }
}

TEST(FrictionRowsTest, PassLimitAndRowCap)
{
    Scope scope;
    BZDObject a = scope.Body();
    a.localLinearVelocity = V(0.5f, 0, 0);
    std::vector<bzPhysRow> contacts(70, scope.WorldContact(&a, 1.0f));
    std::vector<bzPhysRow> out(70);
    std::vector<float> rhs(70);
    // Within one step only the first three passes add rows.
    for (int pass = 0; pass < 3; ++pass)
        EXPECT_EQ(bz_Phys_AddFrictionRows(out.data(), 0, contacts.data(), 1, rhs.data()), 1);
    EXPECT_EQ(bz_Phys_AddFrictionRows(out.data(), 0, contacts.data(), 1, rhs.data()), 0);
    Scope::NextStep();
    EXPECT_EQ(bz_Phys_AddFrictionRows(out.data(), 0, contacts.data(), 1, rhs.data()), 1);
    // Never more than 60 rows.
    Scope::NextStep();
    EXPECT_EQ(bz_Phys_AddFrictionRows(out.data(), 0, contacts.data(), 70, rhs.data()), 60);
    Scope::NextStep();
    EXPECT_EQ(bz_Phys_AddFrictionRows(out.data(), 59, contacts.data(), 70, rhs.data()), 60);
    // A limit of 0 makes none.
    bzgPhysSettings.frictionPassLimit = 0;
    Scope::NextStep();
    EXPECT_EQ(bz_Phys_AddFrictionRows(out.data(), 0, contacts.data(), 70, rhs.data()), 0);
}

TEST(FrictionRowsTest, TwoBodyContactsAndTheOlderRowTheyReplace)
{
    Scope scope;
    BZDObject a = scope.Body(), b = scope.Body();
    a.localLinearVelocity = V(0.5f, 0, 0);
    bzPhysRow contact = scope.WorldContact(&a, 1.0f);
    contact.bodyB = &b;
    contact.rB = V(0, 1, 0);
    contact.nB = V(0, 1, 0);
    struct Case
    {
        const char *name;
        float n;
        float slip;
        bool row;
    };
    // k = 2: stopping the slip s takes s / 2, at most N and at most mu N = 0.5 N.
    const Case cases[] = {
        {"sliding", 1.0f, 0.5f, true},
        {"more than mu N", 0.4f, 0.5f, false},
        {"below dt m", 0.039f, 0.001f, false},
        {"slip below a tenth", 1.0f, 0.00009f, false},
        {"slip just above a tenth", 1.0f, 0.00011f, true},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.name);
        a.localLinearVelocity = V(c.slip, 0, 0);
        contact.value = c.n;
        bzPhysRow out[1];
        float rhs[1];
        const int32_t count = bz_Phys_AddBodyFrictionRow(out, 0, rhs, &contact, nullptr, 0);
        ASSERT_EQ(count, c.row ? 1 : 0);
        if (!count)
            continue;
        EXPECT_FLOAT_EQ(out[0].link.budget, 0.5f * c.n);
        EXPECT_FLOAT_EQ(rhs[0], c.slip);
        EXPECT_FLOAT_EQ(out[0].nA.x, -1.0f);
        EXPECT_FLOAT_EQ(out[0].nB.x, -1.0f); // the same direction in b's (equal) frame
        EXPECT_EQ(out[0].bodyB, &b);
    }

    // Older friction rows at the same points: one 40 degrees off is switched off, one 50 degrees
    // off (cosine 0.64) is kept; only the first match goes.
    a.localLinearVelocity = V(0.5f, 0, 0);
    contact.value = 1.0f;
    bzPhysRow rows[4];
    float rhs[4];
    const float deg = 3.14159265f / 180.0f;
    const float angles[3] = {50.0f, 40.0f, 10.0f};
    for (int i = 0; i < 3; ++i)
    {
        rows[i] = contact;
        rows[i].type = BZ_ROW_FRICTION;
        rows[i].nA = V(-std::cos(angles[i] * deg), 0, std::sin(angles[i] * deg));
    }
    EXPECT_EQ(bz_Phys_AddBodyFrictionRow(rows, 3, rhs, &contact, rows, 3), 4);
    EXPECT_EQ(rows[0].type, uint32_t(BZ_ROW_FRICTION));
    EXPECT_EQ(rows[1].type, uint32_t(BZ_ROW_FRICTION | BZ_ROW_OFF));
    EXPECT_EQ(rows[2].type, uint32_t(BZ_ROW_FRICTION));
}

TEST(FrictionRowsTest, ForcesAreScaledSoNoFrictionRowPassesItsBudget)
{
    Scope scope;
    BZDObject a = scope.Body(), b = scope.Body();
    bzPhysRow contact = scope.WorldContact(&a, 1.0f), f0 = {}, f1 = {};
    f0.bodyA = &a;
    f0.type = BZ_ROW_FRICTION;
    f0.rB.x = 1.0f; // world friction: budget in rB.x
    f1.bodyA = &a;
    f1.bodyB = &b;
    f1.type = BZ_ROW_FRICTION;
    f1.link.budget = 1.0f;
    bzPhysRow *rows[3] = {&contact, &f0, &f1};

    // Within budget: nothing scaled, budgets lowered.
    float forces[5] = {3.0f, 7.0f, 2.0f, 0.5f, 0.25f}; // two joint rows first
    EXPECT_EQ(bz_Phys_ClipFrictionForces(0, rows, 3, 2, forces), 0);
    EXPECT_FLOAT_EQ(forces[3], 0.5f);
    EXPECT_FLOAT_EQ(forces[0], 3.0f);
    EXPECT_FLOAT_EQ(f0.rB.x, 0.5f);
    EXPECT_FLOAT_EQ(f1.link.budget, 0.75f);

    // Both over: ratios 0.5 / 1.0 = 0.5 and 0.75 / 3.0 = 0.25; the smaller sets the scale.
    float over[5] = {3.0f, 7.0f, 2.0f, 1.0f, 3.0f};
    EXPECT_EQ(bz_Phys_ClipFrictionForces(0, rows, 3, 2, over), 1);
    const float expected[5] = {0.75f, 1.75f, 0.5f, 0.25f, 0.75f};
    for (int i = 0; i < 5; ++i)
        EXPECT_FLOAT_EQ(over[i], expected[i]) << i;
    // f0: 0.5 - 1.0 + 0.75 x 1.0; f1, the chosen row: 0.
    EXPECT_FLOAT_EQ(f0.rB.x, 0.25f);
    EXPECT_FLOAT_EQ(f1.link.budget, 0.0f);
}

TEST(FrictionRowsTest, RowsGoToTheOwnersAndComeBack)
{
    Scope scope;
    struct Owner
    {
        void *first;
        BZDObject *body;
    };
    BZDObject a = scope.Body(), b = scope.Body();
    Owner ownerA = {nullptr, &a}, ownerB = {nullptr, &b};
    a.owner = &ownerA;
    b.owner = &ownerB;
    a.centreOfMass = V(1, 2, 3);
    b.centreOfMass = V(-1, 0, 0);
    bzPhysRow world = scope.WorldContact(&a, 1.0f), pair = world;
    pair.bodyB = &b;
    pair.rB = V(0, 1, 0);
    pair.nB = V(0, 1, 0);
    const bzPhysRow worldBefore = world, pairBefore = pair;
    bzPhysRow *list[2] = {&world, &pair};
    bz_Phys_UnrebaseRows(2, list);
    EXPECT_EQ(pair.bodyA, reinterpret_cast<BZDObject *>(&ownerA));
    EXPECT_EQ(pair.bodyB, reinterpret_cast<BZDObject *>(&ownerB));
    EXPECT_FLOAT_EQ(pair.rA.y, 1.0f); // -1 + 2: from a's origin
    EXPECT_FLOAT_EQ(pair.rB.x, -1.0f);
    EXPECT_FLOAT_EQ(pair.nB.y, -1.0f);
    EXPECT_EQ(world.bodyB, nullptr);
    bz_Phys_RebaseRows(2, list);
    EXPECT_EQ(std::memcmp(&world, &worldBefore, sizeof world), 0);
    EXPECT_EQ(std::memcmp(&pair, &pairBefore, sizeof pair), 0);
}
} // namespace
