// Targets of contact, angular and joint rows, and the push that frees stuck contacts.
#include "collision/CollisionFace.h"
#include "collision/PairTestShapes.h"
#include "maths/Matrix.h"
#include "physics/Body.h"
#include "physics/ConstraintRow.h"
#include "physics/Joint.h"
#include "physics/PhysSettings.h"
#include "physics/RowTargets.h"

#include <gtest/gtest.h>

#include <cmath>

namespace
{
using pairtest::V;

constexpr float T = 0.025f; // the game's contact tolerance
constexpr float DT = 0.04f;

struct Scope
{
    Scope()
    {
        bz_Phys_ResetSettings();
        bzgPhysSettings.contactSpeedTolerance = T;
        bzgPhysSettings.timeStep = DT;
        bz_Phys_ClearPush();
    }
    ~Scope()
    {
        bz_Phys_ResetSettings();
        bz_Phys_ClearPush();
    }
};

BZDObject Body()
{
    BZDObject b = {};
    bz_M34_SetIdentity(&b.startTransform);
    return b;
}

// A contact whose direction nA is -y, the way it pushes a: a body moving up (+y) closes on it and
// one moving down moves away from it.
bzPhysRow Contact(BZDObject *a, BZDObject *b, float weight)
{
    bzPhysRow r = {};
    r.bodyA = a;
    r.bodyB = b;
    r.weight = weight;
    r.type = BZ_ROW_CONTACT_PULLED;
    r.rA = V(0, -1, 0);
    r.nA = V(0, -1, 0);
    r.rB = V(0, 1, 0);
    r.nB = V(0, 1, 0);
    return r;
}

TEST(RowTargetsTest, ContactTargetsAndTheirSettledFlag)
{
    Scope scope;
    struct Case
    {
        const char *name;
        float weight;
        bzV3 velocity; // of bodyA, its frame (world here)
        float target;
        int32_t settled;
    };
    const Case cases[] = {
        // At rest (target 0, speed below T): T / 3 and settled.
        {"resting", 1.0f, V(0, 0, 0), T * 0.33333334f, 1},
        // A light resting contact is not settled and gets the whole T.
        {"light resting", 0.5f, V(0, 0, 0), T, 0},
        // Closing at 0.6: at least T from the velocity alone, so the speed limit does not
        // apply: (0.6 - 0.1) * 0.5 + 0.1 + T.
        {"closing fast", 0.5f, V(0, 0.6f, 0), (0.6f - 0.1f) * 0.5f + 0.1f + T, 1},
        // Moving away at 0.01, more than the T / 3 (0.0083) a resting contact asks for: not
        // settled, and it asks for nothing more.
        {"slowly separating", 1.0f, V(0, -0.01f, 0), 0.0f, 0},
        // Moving away at 0.005: it asks only for what it lacks of T / 3.
        {"separating below T / 3", 1.0f, V(0, -0.005f, 0), T * 0.33333334f - 0.005f, 0},
        // Slowly closing below T: settled, and stopped with T / 3 to spare.
        {"slowly closing", 1.0f, V(0, 0.01f, 0), 0.01f + T * 0.33333334f, 1},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.name);
        BZDObject a = Body();
        a.localLinearVelocity = c.velocity;
        bzPhysRow row = Contact(&a, nullptr, c.weight);
        float target = -1.0f;
        EXPECT_EQ(bz_Phys_ContactRowTarget(&row, &target), c.settled);
        EXPECT_NEAR(target, c.target, 1e-6f);
        // Without bodyB the row keeps bodyA's contact point velocity.
        EXPECT_EQ(row.rB.y, c.velocity.y);
    }
}

// Two bodies falling together at 1 m/s, one resting on the other: their contact does not move
// (the speed that decides between a slow and a fast contact is the one between them, 0 here),
// so it is a resting contact: T / 3 and settled. Taken as the sum of their speeds (2 m/s) it
// would count as fast, and without motion of the point it would not be settled.
TEST(RowTargetsTest, TheSpeedOfAContactIsThatBetweenItsBodies)
{
    Scope scope;
    BZDObject a = Body(), b = Body();
    a.localLinearVelocity = V(0, -1, 0);
    b.localLinearVelocity = V(0, -1, 0);
    bzPhysRow row = Contact(&a, &b, 1.0f);
    row.nB = row.nA; // both the way the contact pushes a
    float target = -1.0f;
    EXPECT_EQ(bz_Phys_ContactRowTarget(&row, &target), 1);
    EXPECT_NEAR(target, T * 0.33333334f, 1e-6f);
}

// The target of a contact row of the given weight at the centres of two bodies: b's centre
// lies the gap above a's, a moves up towards b at the closing speed and along x at the sliding
// one, and the row pushes a down (nA = nB = -y). Against the world, the row has no bodyB.
float PairTarget(float gap, float closing, float sliding, float weight, bool world)
{
    BZDObject a = Body(), b = Body();
    b.startTransform.row[3] = V(0, gap, 0);
    a.localLinearVelocity = V(sliding, closing, 0);
    bzPhysRow row = Contact(&a, world ? nullptr : &b, weight);
    row.rA = V(0, 0, 0);
    row.rB = V(0, 0, 0);
    row.nB = row.nA;
    float target = -1.0f;
    bz_Phys_ContactRowTarget(&row, &target);
    return target;
}

// A resting contact between two bodies asks for a separating speed only to undo an overlap of
// its points (overlap / dt, at most T / 3). Apart by a gap within the collision tolerance
// (0.01) it asks for a negative target, -gap / dt: the bodies may close the gap within the step
// but not cross it, and a separating speed they were given is not kept. Points further apart
// than the tolerance keep the whole T / 3. a lies below b, the contact pushes a down (nA = -y).
TEST(RowTargetsTest, ARestingPairAsksForWhatUndoesItsOverlap)
{
    Scope scope;
    struct Case
    {
        const char *name;
        float gap;     // b's point above a's point
        float closing; // a's speed up towards b
        float sliding; // a's speed along x
        float target;
    };
    const Case cases[] = {
        {"apart by 4 mm", 0.004f, 0.0f, 0.0f, -0.004f / DT},
        {"apart by 4 mm, closing at 0.02", 0.004f, 0.02f, 0.0f, 0.02f - 0.004f / DT},
        {"separating at 0.005, apart by 1 mm", 0.001f, -0.005f, 0.0f, -0.005f - 0.001f / DT},
        {"touching", 0.0f, 0.0f, 0.0f, 0.0f},
        {"overlapping by 0.1 mm", -0.0001f, 0.0f, 0.0f, 0.0001f / DT},
        {"overlapping by 5 mm", -0.005f, 0.0f, 0.0f, T * 0.33333334f},
        {"apart by 2 cm", 0.02f, 0.0f, 0.0f, T * 0.33333334f},
        // A fast contact (speed 0.05 above T) whose points have not moved asks for 0, less the
        // gap's 0.1; the speed limit holds a push to 0.05 but leaves the gap's target alone.
        {"apart by 4 mm, sliding at 0.05", 0.004f, 0.0f, 0.05f, -0.004f / DT},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.name);
        EXPECT_NEAR(PairTarget(c.gap, c.closing, c.sliding, 1.0f, false), c.target, 1e-5f);
    }
}

// A resting contact with the world asks, like a resting pair, only for what undoes the depth of
// its point in the face it was found on: depth / dt, at most T / 3, and -gap / dt when the point
// lies above the face by a gap within the collision tolerance (0.01). The depth is taken along
// the face's normal at the start of the step. The box's bottom corner is rA = (0.5, -0.5, 0.5)
// below its centre, the row pushes it up (nA = +y), the face is the ground y = 0 (or a face
// turned 30 degrees about z under the same corner at the same height). A row whose
// normal is not the face's and a point beyond the tolerance keep T / 3; a friction row is not
// held to the gap at all and asks only for its sliding speed, here none. A gap's
// target is not turned into a push by the contact's speed limit (sliding at 0.05, a fast
// contact whose point has not moved: 0.01, less the gap's 0.1).
TEST(RowTargetsTest, ARestingWorldContactAsksForWhatUndoesItsDepthInTheFace)
{
    Scope scope;
    const float third = T * 0.33333334f;
    const float turned = 0.5f; // sine and cosine of 30 degrees
    struct Case
    {
        const char *name;
        float height;  // of the corner above the ground
        float falling; // the box's speed down
        float sliding; // its speed along x
        bzV3 faceNormal;
        uint32_t type;
        float target;
    };
    const Case cases[] = {
        {"above by 4 mm", 0.004f, 0.0f, 0.0f, V(0, 1, 0), BZ_ROW_CONTACT_PULLED, -0.1f},
        {"above by 4 mm, falling at 0.02", 0.004f, 0.02f, 0.0f, V(0, 1, 0), BZ_ROW_CONTACT_PULLED,
         0.02f - 0.1f},
        {"above by 1.33 mm, as a settled box", 0.00133f, 0.0f, 0.0f, V(0, 1, 0),
         BZ_ROW_CONTACT_PULLED, -0.00133f / DT},
        {"touching", 0.0f, 0.0f, 0.0f, V(0, 1, 0), BZ_ROW_CONTACT_PULLED, 0.0f},
        {"in by 0.1 mm", -0.0001f, 0.0f, 0.0f, V(0, 1, 0), BZ_ROW_CONTACT_PULLED, 0.0025f},
        {"in by 5 mm", -0.005f, 0.0f, 0.0f, V(0, 1, 0), BZ_ROW_CONTACT_PULLED, third},
        {"above by 2 cm", 0.02f, 0.0f, 0.0f, V(0, 1, 0), BZ_ROW_CONTACT_PULLED, third},
        {"face turned 30 degrees from the row", 0.004f, 0.0f, 0.0f, V(turned, 0.8660254f, 0),
         BZ_ROW_CONTACT_PULLED, third},
        {"a friction row", 0.004f, 0.0f, 0.0f, V(0, 1, 0), BZ_ROW_FRICTION, 0.0f},
        {"above by 4 mm, sliding at 0.05", 0.004f, 0.0f, 0.05f, V(0, 1, 0), BZ_ROW_CONTACT_PULLED,
         0.01f - 0.1f},
        // Sunk deeper than the tolerance: what lies beyond it comes out over two steps, at
        // most 0.5 m/s, on top of what stops the fall.
        {"in by 3 cm", -0.03f, 0.0f, 0.0f, V(0, 1, 0), BZ_ROW_CONTACT_PULLED,
         (0.03f - 0.01f) / (2 * DT)},
        {"in by 3 cm, falling at 0.3", -0.03f, 0.3f, 0.0f, V(0, 1, 0), BZ_ROW_CONTACT_PULLED,
         0.3f + (0.03f - 0.01f) / (2 * DT)},
        {"in by 10 cm", -0.1f, 0.0f, 0.0f, V(0, 1, 0), BZ_ROW_CONTACT_PULLED, 0.5f},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.name);
        BZDObject a = Body();
        a.startTransform.row[3] = V(2.0f, 0.5f + c.height, -1.0f);
        a.localLinearVelocity = V(c.sliding, -c.falling, 0);
        // The face's plane lies the given height below the corner along the face's normal.
        const bzV3 corner = V(2.5f, c.height, -0.5f);
        bzCollisionFace ground = {};
        ground.normal = c.faceNormal;
        ground.distance = corner.x * c.faceNormal.x + corner.y * c.faceNormal.y +
                          corner.z * c.faceNormal.z - c.height;
        bzPhysRow row = Contact(&a, nullptr, 1.0f);
        row.type = c.type;
        row.rA = V(0.5f, -0.5f, 0.5f);
        row.nA = V(0, 1, 0);
        row.link.surface = &ground;
        float target = -1.0f;
        bz_Phys_ContactRowTarget(&row, &target);
        EXPECT_NEAR(target, c.target, 1e-5f);
    }
}

// A swept contact between two bodies (weight below 1) that barely moves (its speed below T) is
// two bodies touching as the step sweeps them, as good as resting: it asks only for what undoes
// the overlap of its points (overlap / dt), here at most T, and apart by a gap within the
// collision tolerance it asks for -gap / dt. A fast swept contact and one against the world keep
// the whole T. a lies below b, the contact pushes a down (nA = -y), weight 0.5.
TEST(RowTargetsTest, ASlowSweptPairAsksOnlyForWhatUndoesItsOverlap)
{
    Scope scope;
    struct Case
    {
        const char *name;
        float gap;     // b's point above a's point
        float closing; // a's speed up towards b
        bool world;    // no bodyB
        float target;
    };
    const Case cases[] = {
        {"touching", 0.0f, 0.0f, false, 0.0f},
        {"apart by 4 mm", 0.004f, 0.0f, false, -0.004f / DT},
        {"apart by 4 mm, closing at 0.02", 0.004f, 0.02f, false, 0.02f - 0.004f / DT},
        {"overlapping by 0.1 mm", -0.0001f, 0.0f, false, 0.0001f / DT},
        {"overlapping by 5 mm", -0.005f, 0.0f, false, T},
        {"apart by 2 cm", 0.02f, 0.0f, false, T},
        // Closing at 0.6 is at least T from the velocity alone: (0.6 - 0.1) * 0.5 + 0.1 + T.
        {"closing fast", 0.0f, 0.6f, false, (0.6f - 0.1f) * 0.5f + 0.1f + T},
        {"against the world", 0.0f, 0.0f, true, T},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.name);
        EXPECT_NEAR(PairTarget(c.gap, c.closing, 0.0f, 0.5f, c.world), c.target, 1e-5f);
    }
}

// A contact found at the very start of the step (weight 0: the overlap pass's, two bodies
// already inside each other) asks at least for the speed apart that undoes the depth between
// its points over two steps, and never more than 0.5 m/s beyond what stops the bodies closing;
// bodies already parting that fast ask for nothing more. A contact met later in the step
// (weight 0.5) keeps the slow swept pair's rule: what undoes its overlap, at most T.
TEST(RowTargetsTest, BodiesFoundInsideEachOtherAskForTheSpeedThatTakesThemOut)
{
    Scope scope;
    struct Case
    {
        const char *name;
        float gap;     // b's point above a's point (negative: inside)
        float closing; // a's speed up towards b
        float weight;
        float target;
    };
    const Case cases[] = {
        {"2 cm deep at rest", -0.02f, 0.0f, 0.0f, 0.02f / (2 * DT)},
        {"2 cm deep, closing at 0.3", -0.02f, 0.3f, 0.0f, 0.3f + 0.02f / (2 * DT)},
        {"5 cm deep at rest", -0.05f, 0.0f, 0.0f, 0.5f},
        {"2 cm deep, met later in the step", -0.02f, 0.0f, 0.5f, T},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.name);
        EXPECT_NEAR(PairTarget(c.gap, c.closing, 0.0f, c.weight, false), c.target, 1e-5f);
    }
    // Parting at 0.4, faster than the 0.25 that undoes 2 cm over two steps: the depth adds
    // nothing to what the same contact asks for touching.
    EXPECT_NEAR(PairTarget(-0.02f, -0.4f, 0.0f, 0.0f, false),
                PairTarget(0.0f, -0.4f, 0.0f, 0.0f, false), 1e-6f);
}

// A friction row asks for its sliding speed along its direction, -(vA . nA) (+ vB . nB): what
// stops the slip and no more. Shaped as a contact it would ask for (s - 0.1) 0.1 + 0.1 + T / 3,
// and at rest for T / 3, a push that turns the slip back. A world friction row keeps its budget
// in rB.x and its contact's normal in nB, and its point moves by the body's sliding turn: a
// rocking about the face's axes too slow to turn the body within a step (|w| dt below
// sqrt(1e-7), so below 0.0079 rad/s at dt 0.04) slides no point; a spin about the normal does.
// The point is at (0.5, -0.5, 0.5), the ground's normal +y, the row against +x slip.
TEST(RowTargetsTest, FrictionRowsAskForTheirSlidingSpeedAndNoMore)
{
    Scope scope;
    struct Case
    {
        const char *name;
        bzV3 velocity; // of bodyA, its frame
        bzV3 turn;     // its angular velocity
        float target;
    };
    const Case cases[] = {
        {"sliding at 0.3", V(0.3f, 0, 0), V(0, 0, 0), 0.3f},
        {"sliding at 0.05", V(0.05f, 0, 0), V(0, 0, 0), 0.05f},
        {"at rest", V(0, 0, 0), V(0, 0, 0), 0.0f},
        {"sliding the other way", V(-0.3f, 0, 0), V(0, 0, 0), 0.0f},
        // w x r = (0.0025, 0.0025, 0) for w = (0, 0, 0.005): a rocking that does not turn.
        {"rocking too slowly to turn", V(0, 0, 0), V(0, 0, 0.005f), 0.0f},
        // w = (0, 0, 0.01) turns the body (0.0004 rad a step): w x r = (0.005, 0.005, 0).
        {"rocking", V(0, 0, 0), V(0, 0, 0.01f), 0.005f},
        // A spin about the normal always slides: w x r = (0.0025, 0, -0.0025).
        {"spinning slowly", V(0, 0, 0), V(0, 0.005f, 0), 0.0025f},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.name);
        BZDObject a = Body();
        a.localLinearVelocity = c.velocity;
        a.angularVelocity = c.turn;
        bzPhysRow row = {};
        row.weight = 1.0f;
        row.bodyA = &a;
        row.type = BZ_ROW_FRICTION;
        row.rA = V(0.5f, -0.5f, 0.5f);
        row.nA = V(-1, 0, 0);
        row.rB = V(0.06f, 0, 0); // the budget
        row.nB = V(0, 1, 0);     // the contact's normal
        float target = -1.0f;
        EXPECT_EQ(bz_Phys_ContactRowTarget(&row, &target), 1);
        EXPECT_NEAR(target, c.target, 1e-6f);
        EXPECT_EQ(row.rB.x, 0.06f) << "the budget stays";
    }
    // Between two bodies: the slip of a's point against b's, along the row.
    BZDObject a = Body(), b = Body();
    a.localLinearVelocity = V(0.2f, 0, 0);
    b.localLinearVelocity = V(0.05f, 0, 0);
    bzPhysRow row = {};
    row.weight = 1.0f;
    row.bodyA = &a;
    row.bodyB = &b;
    row.type = BZ_ROW_FRICTION;
    row.rA = V(0, -0.5f, 0);
    row.rB = V(0, 0.5f, 0);
    row.nA = V(-1, 0, 0);
    row.nB = V(-1, 0, 0);
    row.link.budget = 0.06f;
    float target = -1.0f;
    EXPECT_EQ(bz_Phys_ContactRowTarget(&row, &target), 1);
    EXPECT_NEAR(target, 0.15f, 1e-6f);
    EXPECT_EQ(row.link.budget, 0.06f);
}

TEST(RowTargetsTest, FastContactsTakeTheirTargetFromHowTheContactPointMoved)
{
    Scope scope;
    struct Case
    {
        const char *name;
        bzV3 velocity; // of bodyA
        bzV3 moved;    // its current transform against its start
        float target;
        int32_t settled;
    };
    const Case cases[] = {
        // Sliding at 1 m/s: the point moved along the ground, 0.01 from the step.
        {"sliding", V(1, 0, 0), V(0.04f, 0, 0), 0.01f + T * 0.33333334f, 0},
        // Moving away at 2 m/s: it asks for no more.
        {"moving away", V(0, -2, 0), V(0, -0.08f, 0), 0.0f, 0},
        // Lifted 0.08 in the step: 0.01 + 2, shaped with f = 0.1 for weight 1.
        {"lifted", V(1, 0, 0), V(0, 0.08f, 0), (2.01f - 0.1f) * 0.1f + 0.1f + T * 0.33333334f, 1},
        // The same at a contact speed of 0.05: held to that speed.
        {"held to its speed", V(0.05f, 0, 0), V(0, 0.08f, 0), 0.05f, 1},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.name);
        BZDObject a = Body();
        bzM34 current;
        bz_M34_SetIdentity(&current);
        current.row[3] = c.moved;
        a.transform = &current;
        a.localLinearVelocity = c.velocity;
        bzPhysRow row = Contact(&a, nullptr, 1.0f);
        float target = -1.0f;
        EXPECT_EQ(bz_Phys_ContactRowTarget(&row, &target), c.settled);
        EXPECT_NEAR(target, c.target, 1e-5f);
    }
}

TEST(RowTargetsTest, FixedTargetRows)
{
    Scope scope;
    BZDObject a = Body();
    bzPhysRow row = Contact(&a, nullptr, 1.0f);
    row.type = BZ_ROW_TARGET;
    row.value = 0.7f;
    float target = 0;
    EXPECT_EQ(bz_Phys_ContactRowTarget(&row, &target), 1);
    EXPECT_EQ(target, 0.7f);
    row.value = 0.0f;
    EXPECT_EQ(bz_Phys_ContactRowTarget(&row, &target), 0);
    EXPECT_EQ(target, 0.0f);
}

TEST(RowTargetsTest, AngularRowTargets)
{
    Scope scope;
    struct Case
    {
        float spin; // about the row's axis
        float weight;
        float passed; // word 5
        float target;
    };
    const Case cases[] = {
        {1.0f, 0.0f, 0.0f, 0.24975f},                // v = -0.999: a quarter of it back
        {-0.5f, 0.0f, 0.0f, 0.501f},                 // v = 0.501 above the limit 0.001
        {-0.5f, 1.0f, 0.0f, 0.051f},                 // weight 1 keeps a tenth: 0.051
        {0.0f, 0.0f, -0.04f, (0.001f + 1.001f) / 2}, // limit 1.001 above v = 0.001
        {1.0f, 0.0f, -0.04f, 1.001f},                // the limit raises the quarter
    };
    for (const Case &c : cases)
    {
        BZDObject a = Body();
        a.angularVelocity = V(0, 0, c.spin);
        bzPhysRow row = {};
        row.bodyA = &a;
        row.type = 8 | BZ_ROW_ANGULAR;
        row.nA = V(0, 0, 1);
        row.weight = c.weight;
        row.value = c.passed;
        float target = 0;
        EXPECT_EQ(bz_Phys_AngularRowTarget(&row, &target), 1);
        EXPECT_NEAR(target, c.target, 1e-5f) << c.spin << " " << c.weight << " " << c.passed;
    }
}

TEST(RowTargetsTest, StuckContactsGetAGrowingPushOnTheLightestRow)
{
    Scope scope;
    BZDObject a = Body(), b = Body();
    // Two light resting contacts between a and b: neither is settled.
    bzPhysRow r0 = Contact(&a, &b, 0.7f), r1 = Contact(&a, &b, 0.5f);
    bzPhysRow *rows[2] = {&r0, &r1};
    float rhs[4];
    // First step: arms T, changes no target.
    EXPECT_EQ(bz_Phys_ContactRowTargets(rhs, rows, 2, 0, 4), 1);
    EXPECT_FLOAT_EQ(bz_Phys_PushValue(), T);
    EXPECT_FLOAT_EQ(rhs[1], T);
    EXPECT_EQ(rhs[2], 0.0f);
    // Then 2T, 4T on the lightest row, up to 2.0.
    const float expected[] = {2 * T, 4 * T, 8 * T, 16 * T, 32 * T, 64 * T, 2.0f, 2.0f};
    for (float e : expected)
    {
        EXPECT_EQ(bz_Phys_ContactRowTargets(rhs, rows, 2, 0, 4), 1);
        EXPECT_FLOAT_EQ(rhs[1], e);
        EXPECT_FLOAT_EQ(rhs[0], T);
    }
    // Another pair becomes the lightest: the push starts over at T without a target.
    BZDObject c = Body();
    bzPhysRow r2 = Contact(&a, &c, 0.1f);
    bzPhysRow *three[3] = {&r0, &r1, &r2};
    EXPECT_EQ(bz_Phys_ContactRowTargets(rhs, three, 3, 0, 4), 1);
    EXPECT_FLOAT_EQ(bz_Phys_PushValue(), T);
    EXPECT_FLOAT_EQ(rhs[2], T);
    // A settled row ends the push.
    bzPhysRow rest = Contact(&a, nullptr, 1.0f);
    bzPhysRow *settled[2] = {&r1, &rest};
    EXPECT_EQ(bz_Phys_ContactRowTargets(rhs, settled, 2, 0, 4), 0);
    EXPECT_EQ(bz_Phys_PushValue(), 0.0f);
}

TEST(RowTargetsTest, HeavyWeightsLoseTenAndTiesPushTheEarlierRow)
{
    Scope scope;
    BZDObject a = Body(), b = Body();
    bzPhysRow r0 = Contact(&a, &b, 10.5f), r1 = Contact(&a, &b, 0.5f);
    bzPhysRow *rows[2] = {&r0, &r1};
    float rhs[2];
    bz_Phys_ContactRowTargets(rhs, rows, 2, 0, 2);
    EXPECT_FLOAT_EQ(r0.weight, 0.5f);
    EXPECT_FLOAT_EQ(r1.weight, 0.5f);
    bz_Phys_ContactRowTargets(rhs, rows, 2, 0, 2);
    EXPECT_FLOAT_EQ(rhs[0], 2 * T); // the tie goes to the earlier row
    EXPECT_FLOAT_EQ(rhs[1], T);
}

TEST(RowTargetsTest, JointBundlesShareOnePointVelocity)
{
    Scope scope;
    BZDObject a = Body();
    a.localLinearVelocity = V(1, 2, 3);
    a.angularVelocity = V(0, 0, 1);
    bzPhysRow rows[4] = {};
    const bzV3 axes[3] = {V(1, 0, 0), V(0, 1, 0), V(0, 0, 1)};
    for (int i = 0; i < 3; ++i)
    {
        rows[i].bodyA = &a;
        rows[i].type = BZ_ROW_LINEAR_JOINT;
        rows[i].nA = axes[i];
        rows[i].rA = i == 0 ? V(1, 0, 0) : V(50, 50, 50); // only the first row's point counts
        rows[i].link.sharedRows = 2 - i;
    }
    rows[3].bodyA = &a;
    rows[3].type = BZ_ROW_ANGULAR_JOINT | BZ_ROW_ANGULAR;
    rows[3].nA = V(0, 0, 1);
    bzPhysRow *pointers[4] = {&rows[0], &rows[1], &rows[2], &rows[3]};
    float rhs[4];
    bz_Phys_JointRowTargets(rhs, pointers, 4);
    // v = w x (1, 0, 0) + u = (0, 1, 0) + (1, 2, 3).
    EXPECT_FLOAT_EQ(rhs[0], -1.0f);
    EXPECT_FLOAT_EQ(rhs[1], -3.0f);
    EXPECT_FLOAT_EQ(rhs[2], -3.0f);
    EXPECT_FLOAT_EQ(rhs[3], -1.0f);
}

TEST(RowTargetsTest, AJointToAParentCancelsTheRelativeVelocity)
{
    Scope scope;
    BZDObject parent = Body(), child = Body();
    child.parent = &parent;
    // The parent turned a quarter about y: its x is the world's -z.
    bz_M34_RotationY(&parent.startTransform, 90.0f);
    parent.localLinearVelocity = V(1, 0, 0);
    child.localLinearVelocity = V(0, 0, 0);
    bzPhysRow row = {};
    row.bodyA = &child;
    row.bodyB = &parent;
    row.type = BZ_ROW_LINEAR_JOINT;
    row.nA = V(0, 0, 1);
    bzPhysRow *pointers[1] = {&row};
    float rhs[1];
    bz_Phys_JointRowTargets(rhs, pointers, 1);
    // The parent's (1, 0, 0) in the world along its own x; the child must gain it.
    bzV3 world;
    bz_M33_RotateV3Into(&parent.startTransform, &world, &parent.localLinearVelocity);
    EXPECT_NEAR(rhs[0], world.z, 1e-6f);
    EXPECT_NE(world.z, 0.0f);
}
} // namespace
