// Joint rows of two-body and world joints, their types, and the coupling records of a coupled
// joint.
#include "collision/PairTestShapes.h"
#include "core/Error.h"
#include "maths/Matrix.h"
#include "physics/Body.h"
#include "physics/Coupling.h"
#include "physics/Joint.h"
#include "physics/JointRows.h"
#include "physics/PhysMemory.h"
#include "physics/PhysSettings.h"

#include <gtest/gtest.h>

namespace
{
using pairtest::V;

void ExpectV3(const bzV3 &got, const bzV3 &want)
{
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(got.v[i], want.v[i], 1e-5f) << "component " << i;
}

// A child hanging from its parent by a joint at the world point (0, 1, 0); the parent turned a
// quarter about y.
struct Pair
{
    BZDObject parent = {}, child = {};
    BZDJoint joint = {};
    Pair(uint16_t kind)
    {
        bz_M34_RotationY(&parent.startTransform, 90.0f);
        bz_M34_SetIdentity(&child.startTransform);
        child.startTransform.row[3] = V(0, 2, 0);
        child.parent = &parent;
        child.top = &parent;
        parent.firstChild = &child;
        child.centreOfMass = V(0, 0.5f, 0);
        joint.kind = kind;
        joint.childAnchor = V(0, -1, 0);
        joint.parentAnchor = V(0, 1, 0);
        joint.linearAxis[0] = V(1, 0, 0);
        joint.linearAxis[1] = V(0, 0, 1);
        joint.angularAxis[0] = V(0, 1, 0);
        joint.angularAxis[1] = V(1, 0, 0);
        child.parentJoint = &joint;
    }
};

TEST(JointRowsTest, ABallAndFixedJointGivesSixRows)
{
    Pair p(0x0303);
    bzPhysRow rows[18];
    int32_t reset = 0;
    ASSERT_EQ(bz_Phys_BodyJointRows(&p.child, rows, &reset), 6);
    EXPECT_EQ(reset, 0);
    const int32_t shared[6] = {2, 0, 0, 2, 0, 0};
    for (int i = 0; i < 6; ++i)
    {
        SCOPED_TRACE(i);
        EXPECT_EQ(rows[i].link.sharedRows, shared[i]);
        EXPECT_EQ(rows[i].bodyA, &p.child);
        EXPECT_EQ(rows[i].bodyB, &p.parent);
        EXPECT_EQ(rows[i].type, uint32_t(i < 3 ? BZ_ROW_LINEAR_JOINT : BZ_ROW_ANGULAR_JOINT));
        // nB is the parent's own unit axis; nA the same direction in the child's frame.
        bzV3 unit = {};
        unit.v[i % 3] = 1.0f;
        ExpectV3(rows[i].nB, unit);
        bzV3 world, inChild;
        bz_M33_RotateV3Into(&p.parent.startTransform, &world, &unit);
        bz_M34_InverseRotateV3Into(&p.child.startTransform, &inChild, &world);
        ExpectV3(rows[i].nA, inChild);
    }
    // Linear rows through the anchors, relative to each centre of mass; angular rows at 0.
    ExpectV3(rows[0].rA, V(0, -1.5f, 0));
    ExpectV3(rows[0].rB, V(0, 1, 0));
    ExpectV3(rows[3].rA, V(0, 0, 0));
}

TEST(JointRowsTest, KindsOneAndTwoTakeTheJointsAxes)
{
    Pair p(0x0102); // a line: two linear rows; one angular row
    bzPhysRow rows[18];
    ASSERT_EQ(bz_Phys_JointRowsFromRecord(rows, &p.child, &p.parent, &p.joint), 3);
    ExpectV3(rows[0].nB, V(0, 0, 1)); // the second axis first
    EXPECT_EQ(rows[0].link.sharedRows, 1);
    ExpectV3(rows[1].nB, V(1, 0, 0));
    EXPECT_EQ(rows[1].link.sharedRows, 0);
    ExpectV3(rows[2].nB, V(0, 1, 0));
    EXPECT_EQ(rows[2].type, uint32_t(BZ_ROW_ANGULAR_JOINT));
    EXPECT_EQ(bz_Phys_JointRowsFromRecord(nullptr, &p.child, &p.parent, &p.joint), 0);
}

TEST(JointRowsTest, WeakJointsGiveWeakRowsAndClearTheirImpulses)
{
    struct Case
    {
        bool linear, angular;
        uint32_t linearType, angularType;
    };
    const Case cases[] = {
        {false, false, 32, 96}, {true, false, 33, 96}, {false, true, 32, 97}, {true, true, 33, 97}};
    auto callBack = []() {};
    for (const Case &c : cases)
    {
        Pair p(0x0101);
        bzPhysJointWeakness weak = {};
        weak.linear = c.linear ? +callBack : nullptr;
        weak.angular = c.angular ? +callBack : nullptr;
        weak.linearImpulse = V(1, 2, 3);
        weak.angularImpulse = V(4, 5, 6);
        p.joint.weakness = &weak;
        bzPhysRow rows[18];
        int32_t reset = 0;
        ASSERT_EQ(bz_Phys_BodyJointRows(&p.child, rows, &reset), 2);
        EXPECT_EQ(rows[0].type, c.linearType);
        EXPECT_EQ(rows[1].type, c.angularType);
        EXPECT_EQ(reset, 1);
        ExpectV3(weak.linearImpulse, V(0, 0, 0));
        ExpectV3(weak.angularImpulse, V(0, 0, 0));
    }
}

TEST(JointRowsTest, WorldJointsLeaveOutWhatTheBodyCannotDo)
{
    struct Case
    {
        uint32_t flags;
        int32_t rows;
        int32_t firstAngular; // index of the first angular row
    };
    const Case cases[] = {{0, 6, 3},
                          {BZ_PHYS_INF_MASS, 3, 0},
                          {BZ_PHYS_INF_MI, 3, 3},
                          {BZ_PHYS_INF_MASS | BZ_PHYS_INF_MI, 0, 0}};
    for (const Case &c : cases)
    {
        BZDObject body = {};
        bz_M34_RotationZ(&body.startTransform, 90.0f);
        body.centreOfMass = V(0, 0, 0.5f);
        body.physicsFlags = c.flags;
        BZDJoint world = {};
        world.kind = 0x0303;
        world.childAnchor = V(1, 0, 0);
        body.worldJoint = &world;
        bzPhysRow rows[18];
        ASSERT_EQ(bz_Phys_BodyJointRows(&body, rows, nullptr), c.rows) << c.flags;
        for (int i = 0; i < c.rows; ++i)
        {
            EXPECT_EQ(rows[i].bodyB, nullptr);
            const bool angular = i >= c.firstAngular && !(c.flags & BZ_PHYS_INF_MI);
            EXPECT_EQ(rows[i].type, uint32_t(angular ? BZ_ROW_ANGULAR_JOINT : BZ_ROW_LINEAR_JOINT));
        }
        if (c.rows == 6)
        {
            ExpectV3(rows[0].rA, V(1, 0, -0.5f));
            ExpectV3(rows[0].nA, V(1, 0, 0)); // the body's own axes
            EXPECT_EQ(rows[0].link.sharedRows, 2);
        }
    }
}

TEST(JointRowsTest, AWorldAxisIsTakenIntoTheBodyUnlessGivenThere)
{
    BZDObject body = {};
    bz_M34_RotationZ(&body.startTransform, 90.0f);
    BZDJoint world = {};
    world.kind = 0x0001;
    world.linearAxis[0] = V(1, 0, 0);
    body.worldJoint = &world;
    bzPhysRow rows[18];
    ASSERT_EQ(bz_Phys_BodyJointRows(&body, rows, nullptr), 1);
    bzV3 expected;
    bz_M34_InverseRotateV3Into(&body.startTransform, &expected, &world.linearAxis[0]);
    ExpectV3(rows[0].nA, expected);
    world.flags = BZ_JOINT_AXIS_IN_BODY;
    ASSERT_EQ(bz_Phys_BodyJointRows(&body, rows, nullptr), 1);
    ExpectV3(rows[0].nA, V(1, 0, 0));
}

TEST(JointRowsTest, ACoupledJointMakesNoAngularRowsAndCouplesItsBodies)
{
    ASSERT_EQ(bz_PhysMem_Reserve(), 0);
    Pair p(0x0402);
    bzPhysRow rows[18];
    ASSERT_EQ(bz_Phys_BodyJointRows(&p.child, rows, nullptr), 2);
    EXPECT_EQ(rows[0].type, uint32_t(BZ_ROW_LINEAR_JOINT));
    auto *own = static_cast<bzPhysCoupling *>(p.child.coupling);
    auto *other = static_cast<bzPhysCoupling *>(p.parent.coupling);
    ASSERT_NE(own, nullptr);
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(own->state, 1);
    EXPECT_EQ(other->state, 1);
    EXPECT_EQ(own->partner, &p.parent);
    EXPECT_EQ(other->partner, &p.child);
    // The parent's frame relative to the child's, and back.
    bzV3 point = V(0.3f, 0.2f, -0.7f), viaChild, direct, back;
    bz_M34_TransformPointInto(&own->relative, &viaChild, &point);
    bzM34 inverseChild;
    bz_InverseM34Into(&p.child.startTransform, &inverseChild);
    bz_M34_TransformPointInto(&p.parent.startTransform, &direct, &point);
    bz_M34_TransformPoint(&inverseChild, &direct);
    ExpectV3(viaChild, direct);
    bz_M34_TransformPointInto(&other->relative, &back, &viaChild);
    ExpectV3(back, point);
    bz_PhysMem_Release();
    // Without a work area the records cannot be had: none are made.
    BZDObject lone = {}, rep = {};
    lone.top = &rep;
    EXPECT_EQ(bz_Phys_CreateCouplingRecords(&lone), BZ_ERROR_NO_MEMORY);
    EXPECT_EQ(lone.coupling, nullptr);
}
} // namespace
