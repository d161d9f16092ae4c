// The coupled joint solve cancels the three coupled velocity errors of its two bodies.
#include "collision/PairTestShapes.h"
#include "maths/Matrix.h"
#include "physics/Body.h"
#include "physics/BodyWeld.h"
#include "physics/CoupledJoint.h"
#include "physics/Coupling.h"
#include "physics/Joint.h"
#include "physics/JointRows.h"
#include "physics/PhysMemory.h"

#include <gtest/gtest.h>

#include <cmath>

namespace
{
using pairtest::V;

float Dot(const bzV3 &a, const bzV3 &b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

bzV3 Cross(const bzV3 &a, const bzV3 &b)
{
    bzV3 out;
    bz_V3_CrossInto(&a, &b, &out);
    return out;
}

// A child M coupled to its parent P; both turned, both moving.
struct Coupled
{
    BZDObject parent = {}, child = {};
    BZDJoint joint = {};
    Coupled(float childInverseMass, float parentInverseMass)
    {
        bz_M34_FromEulerXYZ(&parent.startTransform, 10, 20, 30);
        bz_M34_FromEulerXYZ(&child.startTransform, -40, 15, 5);
        child.startTransform.row[3] = V(0, 2, 0);
        child.parent = &parent;
        child.top = &parent;
        parent.firstChild = &child;
        child.inverseMass = childInverseMass;
        parent.inverseMass = parentInverseMass;
        child.inversePrincipalMoments = V(childInverseMass, 2 * childInverseMass, 1.5f);
        parent.inversePrincipalMoments = V(parentInverseMass, 0.5f, parentInverseMass);
        child.centreOfMass = V(0.1f, 0, 0);
        joint.kind = BZ_JOINT_COUPLED;
        joint.childAnchor = V(0, -1, 0);
        joint.parentAnchor = V(0, 1, 0);
        joint.coupledDirection[0] = V(0, 1, 0);
        joint.coupledDirection[1] = V(0.6f, 0.8f, 0);
        joint.angularAxis[0] = V(1, 0, 0);
        joint.angularAxis[1] = V(0, 0, 1);
        child.parentJoint = &joint;
        child.angularVelocity = V(0.5f, -1.0f, 2.0f);
        child.localLinearVelocity = V(1, 2, -1);
        parent.angularVelocity = V(-0.3f, 0.2f, 0.1f);
        parent.localLinearVelocity = V(0, -1, 0.5f);
    }
    // The three errors as the joint defines them.
    void Errors(float e[3]) const
    {
        const auto *cp = static_cast<const bzPhysCoupling *>(parent.coupling);
        bzV3 aM, aP, u[2];
        bz_V3_SubInto(&joint.childAnchor, &child.centreOfMass, &aM);
        bz_V3_SubInto(&joint.parentAnchor, &parent.centreOfMass, &aP);
        for (int i = 0; i < 2; ++i)
            bz_M33_RotateV3Into(&cp->relative, &u[i], &joint.angularAxis[i]);
        bzV3 vp = Cross(parent.angularVelocity, aP), vm = Cross(child.angularVelocity, aM);
        bz_V3_AddInto(&vp, &parent.localLinearVelocity, &vp);
        bz_V3_AddInto(&vm, &child.localLinearVelocity, &vm);
        e[0] = Dot(vp, joint.coupledDirection[1]) - Dot(vm, joint.coupledDirection[0]);
        e[1] = Dot(u[0], parent.angularVelocity) - Dot(joint.angularAxis[0], child.angularVelocity);
        e[2] = Dot(u[1], parent.angularVelocity) - Dot(joint.angularAxis[1], child.angularVelocity);
    }
};

struct WorkArea
{
    WorkArea() { EXPECT_EQ(bz_PhysMem_Reserve(), 0); }
    ~WorkArea() { bz_PhysMem_Release(); }
};

TEST(CoupledJointTest, TheJointRowsSolveANewCoupledJointAtOnce)
{
    WorkArea area;
    Coupled c(1.0f, 0.5f);
    float before[3];
    bzPhysRow rows[18];
    ASSERT_EQ(bz_Phys_BodyJointRows(&c.child, rows, nullptr), 2);
    c.Errors(before);
    // The bodies start with errors (see the next test); building the rows solved them away.
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(before[i], 0.0f, 1e-4f) << i;
    // The world velocity follows the body-frame one.
    bzV3 world;
    bz_M33_RotateV3Into(&c.child.startTransform, &world, &c.child.localLinearVelocity);
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(c.child.linearVelocity.v[i], world.v[i], 1e-5f);
}

TEST(CoupledJointTest, SolvingCancelsTheErrorsAndAgainChangesNothing)
{
    WorkArea area;
    Coupled c(1.0f, 0.5f);
    ASSERT_EQ(bz_Phys_CreateCouplingRecords(&c.child), 0);
    bz_Phys_InitCouplingMatrices(&c.child);
    float e[3];
    c.Errors(e);
    EXPECT_GT(std::fabs(e[0]) + std::fabs(e[1]) + std::fabs(e[2]), 0.5f);
    // Either body of the pair may be named.
    bz_Phys_SolveCoupledJoint(&c.parent, 1);
    c.Errors(e);
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(e[i], 0.0f, 1e-4f) << i;
    const bzV3 w = c.child.angularVelocity;
    bz_Phys_SolveCoupledJointsInTree(&c.parent); // the stored inverse: nothing left to do
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(c.child.angularVelocity.v[i], w.v[i], 1e-4f);
    // The preparation marker is not a record: nothing is solved.
    c.child.angularVelocity = V(9, 9, 9);
    c.parent.coupling = BZ_PHYS_COUPLING_MARKER;
    bz_Phys_SolveCoupledJointsInTree(&c.parent);
    EXPECT_EQ(c.child.angularVelocity.x, 9.0f);
}

TEST(CoupledJointTest, ImmovableBodiesGiveNoImpulseAndNoNaN)
{
    WorkArea area;
    Coupled c(0.0f, 0.0f);
    c.child.inversePrincipalMoments = V(0, 0, 0);
    c.parent.inversePrincipalMoments = V(0, 0, 0);
    ASSERT_EQ(bz_Phys_CreateCouplingRecords(&c.child), 0);
    bz_Phys_InitCouplingMatrices(&c.child);
    const bzV3 w = c.child.angularVelocity, v = c.child.localLinearVelocity;
    bz_Phys_SolveCoupledJoint(&c.child, 1);
    for (int i = 0; i < 3; ++i)
    {
        EXPECT_EQ(c.child.angularVelocity.v[i], w.v[i]);
        EXPECT_EQ(c.child.localLinearVelocity.v[i], v.v[i]);
        EXPECT_TRUE(std::isfinite(c.parent.angularVelocity.v[i]));
    }
}
} // namespace
