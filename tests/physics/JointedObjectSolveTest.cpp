// The jointed-object solve: a body in the middle of a chain pulled hard by its joint is kept from
// swinging past the line of the pull, and the joint rows are solved again with it.
#include "collision/PairTestShapes.h"
#include "core/Memory.h"
#include "maths/Matrix.h"
#include "physics/Body.h"
#include "physics/ConstraintMatrix.h"
#include "physics/ConstraintSolver.h"
#include "physics/Impulses.h"
#include "physics/Joint.h"
#include "physics/JointRows.h"
#include "physics/JointedObjectSolve.h"
#include "physics/PhysMemory.h"
#include "physics/PhysSettings.h"
#include "physics/TreeStep.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace
{
using pairtest::V;

void ExpectV3(const bzV3 &got, const bzV3 &want, float tolerance = 1e-4f)
{
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(got.v[i], want.v[i], tolerance) << "component " << i;
}

// An immovable top P, a body A of mass 1 hanging 1 below P's origin by a ball joint at A's
// (0, 1, 0), and a child C hanging from A's (0, -1, 0): the bone of A from C's anchor to P's is
// (0, 2, 0). Frames are the world's.
struct Chain
{
    BZDObject top = {}, body = {}, child = {};
    BZDJoint upper = {}, lower = {};
    bzPhysRow rows[18];
    bzPhysRow *pointers[3 + BZ_EXTRA_SOLVE_ROWS] = {};
    std::vector<float> factor;
    bzPhysTreeStep record = {};
    float impulses[3 + BZ_EXTRA_SOLVE_ROWS] = {};
    float rhs[3 + BZ_EXTRA_SOLVE_ROWS] = {};
    bzPhysRow added[BZ_EXTRA_SOLVE_ROWS];
    bzV3 kept[BZ_EXTRA_SOLVE_BUNDLES] = {};
    Chain()
    {
        bzgPhysSettings.timeStep = 0.04f;
        bzgPhysSettings.contactDistance = 0.001f;
        for (BZDObject *b : {&top, &body, &child})
            bz_M34_SetIdentity(&b->startTransform);
        body.startTransform.row[3] = V(0, -1, 0);
        child.startTransform.row[3] = V(0, -3, 0);
        body.mass = 1.0f;
        body.inverseMass = 1.0f;
        body.inversePrincipalMoments = V(1, 1, 1);
        top.firstChild = &body;
        body.parent = &top;
        body.top = &top;
        body.parentJoint = &upper;
        body.firstChild = &child;
        child.parent = &body;
        child.top = &body;
        child.parentJoint = &lower;
        upper.kind = 0x0003;
        upper.childAnchor = V(0, 1, 0);
        lower.kind = 0x0003;
        lower.childAnchor = V(0, 1, 0);
        lower.parentAnchor = V(0, -1, 0);
        top.treeStep = &record;
    }
    // The rows of A's joint, their factor in the tree record, and the pull of the last solve.
    void Build(const bzV3 &pull)
    {
        EXPECT_EQ(bz_Phys_BodyJointRows(&body, rows, nullptr), 3);
        for (int i = 0; i < 3; ++i)
        {
            pointers[i] = &rows[i];
            impulses[i] = pull.v[i]; // the rows run along x, y and z
        }
        factor.assign(6, 0.0f);
        bz_Phys_BuildWholeMatrix(factor.data(), pointers, 3);
        EXPECT_EQ(bz_Phys_FactorPackedMatrix(factor.data(), 3), 0);
        record.rowCount = 3;
        record.factor = factor.data();
    }
    int32_t Solve(bzPhysRow *const *contacts = nullptr, int32_t contactCount = 0)
    {
        return bz_Phys_ExtraJointSolve(&top, pointers, 3, BZ_EXTRA_SOLVE_ROWS, impulses, rhs, added,
                                       contacts, contactCount, kept);
    }
};

struct WorkArea
{
    WorkArea()
    {
        bz_Phys_ResetSettings();
        EXPECT_EQ(bz_PhysMem_Reserve(), 0);
    }
    ~WorkArea()
    {
        bz_PhysMem_Release();
        bz_Phys_ClearWorldContacts();
        bz_Phys_SetIteration(0);
        bz_Phys_ResetSettings();
    }
};
} // namespace

TEST(JointedObjectSolveTest, ABodySwingingAcrossATautPullIsStoppedAndItsAnchorKept)
{
    // A spins at 2 rad/s about z under a pull of 1 along its bone: the new row stops the spin
    // relative to P; the joint rows keep the anchor's velocity, (-2, 0, 0), so A's centre takes
    // it over (worked by hand: joint impulse (-2, 0, 0) at the anchor, 4 about -z).
    WorkArea area;
    Chain c;
    c.body.angularVelocity = V(0, 0, 2);
    c.Build(V(0, 1, 0));
    ASSERT_EQ(c.Solve(), 1);
    EXPECT_EQ(c.added[0].bodyA, &c.body);
    EXPECT_EQ(c.added[0].bodyB, &c.top);
    EXPECT_EQ(c.added[0].type, uint32_t(BZ_ROW_ANGULAR_JOINT));
    ExpectV3(c.added[0].nA, V(0, 0, -1));
    EXPECT_NEAR(c.added[0].value, 2.0f, 1e-5f); // |w| less no turn needed to reach the line
    ExpectV3(c.added[0].rA, V(0, 1, 0));
    ExpectV3(c.body.angularVelocity, V(0, 0, 0));
    ExpectV3(c.body.localLinearVelocity, V(-2, 0, 0));
    ExpectV3(c.body.linearVelocity, V(-2, 0, 0));
    EXPECT_NEAR(c.impulses[0], -2.0f, 1e-4f);
    EXPECT_NEAR(c.impulses[3], 4.0f, 1e-4f);
    EXPECT_NEAR(c.rhs[0], 0.0f, 0.0f);
    // The kept pull is the bundle's.
    ExpectV3(c.kept[0], V(0, 1, 0));
}

TEST(JointedObjectSolveTest, RowsOnlyWhereTheBodyWouldSwingPastTheLine)
{
    const float theta = 0.1f;
    struct Case
    {
        const char *name;
        bzV3 pull;
        bzV3 w;
        bool child;
        int32_t rows;
    };
    const Case cases[] = {
        {"a pull just below the threshold (0.4)", V(0, 0.39f, 0), V(0, 0, 2), true, 0},
        {"just above it", V(0, 0.41f, 0), V(0, 0, 2), true, 1},
        {"a pull across the bone", V(1, 0, 0), V(0, 0, 2), true, 0},
        {"no turn", V(0, 1, 0), V(0, 0, 0), true, 0},
        {"no child below", V(0, 1, 0), V(0, 0, 2), false, 0},
        // The pull 0.1 rad off the bone towards +x; turning about -z carries the bone to it.
        {"turning towards the line, too slowly to pass it", V(std::sin(theta), std::cos(theta), 0),
         V(0, 0, -2), true, 0},
        {"turning towards the line fast enough to pass it", V(std::sin(theta), std::cos(theta), 0),
         V(0, 0, -3), true, 1},
        {"turning away from the line", V(std::sin(theta), std::cos(theta), 0), V(0, 0, 3), true, 0},
    };
    for (const Case &k : cases)
    {
        SCOPED_TRACE(k.name);
        WorkArea area;
        Chain c;
        c.body.angularVelocity = k.w;
        if (!k.child)
            c.body.firstChild = nullptr;
        c.Build(k.pull);
        const bzV3 w = c.body.angularVelocity, v = c.body.localLinearVelocity;
        ASSERT_EQ(c.Solve(), k.rows);
        if (k.rows == 0)
        {
            // Nothing was changed.
            ExpectV3(c.body.angularVelocity, w, 0.0f);
            ExpectV3(c.body.localLinearVelocity, v, 0.0f);
        }
        else if (k.w.z < -2.5f)
        {
            // Target: |w| less the turn rate that just reaches the line, sin(0.1) / 0.04.
            EXPECT_NEAR(c.added[0].value, 3.0f - std::sin(theta) / 0.04f, 1e-4f);
        }
    }
}

TEST(JointedObjectSolveTest, PullsAddUpOverCallsAndContactsThatBoreForceFollow)
{
    WorkArea area;
    Chain c;
    c.body.angularVelocity = V(0, 0, 2);
    c.Build(V(0, 0.25f, 0));
    // 0.25 is below 0.4; the kept pull makes 0.5 on the second call.
    EXPECT_EQ(c.Solve(), 0);
    ExpectV3(c.kept[0], V(0, 0.25f, 0));
    // A contact of A with the ground that bore force, and one that did not.
    bzPhysRow ground[2] = {};
    for (bzPhysRow &g : ground)
    {
        g.bodyA = &c.body;
        g.type = 2;
        g.rA = V(0.5f, -1, 0);
        g.nA = V(0, 1, 0);
    }
    ground[0].value = 0.3f;
    bzPhysRow *contacts[2] = {&ground[1], &ground[0]};
    EXPECT_EQ(c.Solve(contacts, 2), 2);
    EXPECT_EQ(c.added[1].rA.x, 0.5f);
    EXPECT_EQ(c.rhs[4], 0.0f);
    ExpectV3(c.kept[0], V(0, 0.5f, 0));
}

TEST(JointedObjectSolveTest, AMismatchedRecordOrMissingPiecesChangeNothing)
{
    WorkArea area;
    Chain c;
    c.body.angularVelocity = V(0, 0, 2);
    c.Build(V(0, 1, 0));
    c.record.rowCount = 2;
    EXPECT_EQ(c.Solve(), 0);
    c.record.rowCount = 3;
    c.top.treeStep = nullptr;
    EXPECT_EQ(c.Solve(), 0);
    c.top.treeStep = &c.record;
    EXPECT_EQ(bz_Phys_ExtraJointSolve(&c.top, c.pointers, 3, 0, c.impulses, c.rhs, c.added, nullptr,
                                      0, c.kept),
              0);
    ExpectV3(c.body.angularVelocity, V(0, 0, 2), 0.0f);
    // A NaN impulse adds no pull.
    c.impulses[1] = NAN;
    c.kept[0] = bzV3{};
    EXPECT_EQ(c.Solve(), 0);
    ExpectV3(c.kept[0], V(0, 0, 0), 0.0f);
}

TEST(JointedObjectSolveTest, TheRunStopsAtTheFirstCallThatAddsNothingAndGivesItsBlocksBack)
{
    WorkArea area;
    const uint32_t left = bz_TempStack_SpaceLeft(1, 0);
    Chain c;
    c.body.angularVelocity = V(0, 0, 2);
    c.Build(V(0, 1, 0));
    // Not asked for: nothing.
    EXPECT_EQ(bz_Phys_RunExtraJointSolves(&c.top, c.pointers, 3, c.impulses, nullptr, 0), 0);
    ExpectV3(c.body.angularVelocity, V(0, 0, 2), 0.0f);
    c.top.physicsFlags = BZ_PHYS_EXTRA_SOLVE;
    // The first call stops the swing; the second finds nothing more to do.
    EXPECT_EQ(bz_Phys_RunExtraJointSolves(&c.top, c.pointers, 3, c.impulses, nullptr, 0), 1);
    ExpectV3(c.body.angularVelocity, V(0, 0, 0));
    ExpectV3(c.body.linearVelocity, V(-2, 0, 0));
    EXPECT_EQ(bz_TempStack_SpaceLeft(1, 0), left);
}

TEST(JointedObjectSolveTest, TheSolveMeetsTheNewRowAndKeepsTheJointAtRandom)
{
    // Under a pull along the bone every turn gets a row about -w / |w| with target |w|: after
    // the solve the turn about that direction is gone and the joint rows' velocities are as
    // before, whatever the body's moments and turn.
    std::mt19937 random(7);
    std::uniform_real_distribution<float> component(-3.0f, 3.0f), moment(0.2f, 3.0f);
    for (int trial = 0; trial < 200; ++trial)
    {
        SCOPED_TRACE(trial);
        WorkArea area;
        Chain c;
        c.body.inversePrincipalMoments = V(moment(random), moment(random), moment(random));
        c.body.inverseMass = moment(random);
        c.body.angularVelocity = V(component(random), component(random), component(random));
        c.body.localLinearVelocity = V(component(random), component(random), component(random));
        const bzV3 w0 = c.body.angularVelocity;
        const float length = std::sqrt(w0.x * w0.x + w0.y * w0.y + w0.z * w0.z);
        if (length < 0.01f)
            continue;
        c.Build(V(0, 2, 0));
        float before[3];
        for (int i = 0; i < 3; ++i)
        {
            bzV3 v;
            bz_V3_CrossInto(&c.body.angularVelocity, &c.rows[i].rA, &v);
            bz_V3_AddInto(&v, &c.body.localLinearVelocity, &v);
            before[i] = v.x * c.rows[i].nA.x + v.y * c.rows[i].nA.y + v.z * c.rows[i].nA.z;
        }
        ASSERT_EQ(c.Solve(), 1);
        const bzV3 &w = c.body.angularVelocity;
        EXPECT_NEAR((w.x * w0.x + w.y * w0.y + w.z * w0.z) / length, 0.0f, 2e-4f * length);
        for (int i = 0; i < 3; ++i)
        {
            bzV3 v;
            bz_V3_CrossInto(&c.body.angularVelocity, &c.rows[i].rA, &v);
            bz_V3_AddInto(&v, &c.body.localLinearVelocity, &v);
            const float after = v.x * c.rows[i].nA.x + v.y * c.rows[i].nA.y + v.z * c.rows[i].nA.z;
            EXPECT_NEAR(after, before[i], 2e-4f * (1.0f + std::fabs(before[i]))) << "row " << i;
        }
    }
}
