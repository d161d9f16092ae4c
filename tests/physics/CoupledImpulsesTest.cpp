// Row impulses on bodies held by a coupled joint move them as the system matrix says: every
// row's velocity changes by the matrix entry times the impulse, and the coupled joint's error
// stays where it was.
#include "collision/PairTestShapes.h"
#include "maths/Matrix.h"
#include "physics/Body.h"
#include "physics/ConstraintMatrix.h"
#include "physics/CoupledJoint.h"
#include "physics/Coupling.h"
#include "physics/Impulses.h"
#include "physics/Joint.h"
#include "physics/JointRows.h"
#include "physics/PhysMemory.h"
#include "physics/PhysSettings.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

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

struct WorkArea
{
    WorkArea() { EXPECT_EQ(bz_PhysMem_Reserve(), 0); }
    ~WorkArea()
    {
        bz_PhysMem_Release();
        bz_Phys_ClearWorldContacts();
        bz_Phys_SetIteration(0);
    }
};

// A child M coupled to its parent P, and a free body Q; all turned and moving.
struct Scene
{
    BZDObject parent = {}, child = {}, free = {};
    BZDJoint joint = {};
    Scene()
    {
        bz_M34_FromEulerXYZ(&parent.startTransform, 10, 20, 30);
        bz_M34_FromEulerXYZ(&child.startTransform, -40, 15, 5);
        bz_M34_FromEulerXYZ(&free.startTransform, 5, -60, 25);
        child.startTransform.row[3] = V(0, 2, 0);
        free.startTransform.row[3] = V(1, 3, 0);
        child.parent = &parent;
        child.top = &parent;
        parent.firstChild = &child;
        child.inverseMass = 1.0f;
        parent.inverseMass = 0.5f;
        free.inverseMass = 0.8f;
        child.inversePrincipalMoments = V(1.0f, 2.0f, 1.5f);
        parent.inversePrincipalMoments = V(0.5f, 0.5f, 0.25f);
        free.inversePrincipalMoments = V(0.7f, 1.1f, 0.9f);
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
        free.angularVelocity = V(0.2f, 0.4f, -0.1f);
        free.localLinearVelocity = V(-1, 0, 0.3f);
        EXPECT_EQ(bz_Phys_CreateCouplingRecords(&child), 0);
        bz_Phys_InitCouplingMatrices(&child);
        bz_Phys_SolveCoupledJoint(&child, 1);
        bz_M33_RotateV3Into(&free.startTransform, &free.linearVelocity, &free.localLinearVelocity);
    }
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

float SideVelocity(const BZDObject *b, const bzPhysRow &row, const bzV3 &r, const bzV3 &n)
{
    if (row.type & BZ_ROW_ANGULAR)
        return Dot(b->angularVelocity, n);
    bzV3 v = Cross(b->angularVelocity, r);
    bz_V3_AddInto(&v, &b->localLinearVelocity, &v);
    return Dot(v, n);
}

// A row's relative velocity, bodyA's side less bodyB's.
float RowVelocity(const bzPhysRow &row)
{
    float v = SideVelocity(row.bodyA, row, row.rA, row.nA);
    if (row.bodyB && (row.type & ~BZ_ROW_OFF) != BZ_ROW_ONE_SIDED)
        v -= SideVelocity(row.bodyB, row, row.rB, row.nB);
    return v;
}

bzPhysRow Linear(BZDObject *a, BZDObject *b, const bzV3 &rA, const bzV3 &nA, const bzV3 &rB,
                 const bzV3 &nB)
{
    bzPhysRow r = {};
    r.bodyA = a;
    r.bodyB = b;
    r.type = 2;
    r.rA = rA;
    r.nA = nA;
    r.rB = rB;
    r.nB = nB;
    return r;
}

bzV3 Unit(float x, float y, float z)
{
    const float l = std::sqrt(x * x + y * y + z * z);
    return V(x / l, y / l, z / l);
}

std::vector<bzPhysRow> Rows(Scene &s)
{
    std::vector<bzPhysRow> rows;
    // 0, 1: a bundle between the coupled pair (bodyA M, bodyB P).
    rows.push_back(
        Linear(&s.child, &s.parent, V(0, -1, 0), Unit(1, 0.2f, 0), V(0, 1, 0), Unit(0.3f, 1, 0)));
    rows.back().type = BZ_ROW_LINEAR_JOINT;
    rows.back().link.sharedRows = 1;
    rows.push_back(
        Linear(&s.child, &s.parent, V(0, -1, 0), Unit(0, 0.1f, 1), V(0, 1, 0), Unit(0, 0.4f, 1)));
    rows.back().type = BZ_ROW_LINEAR_JOINT;
    // 2: a contact between the free body (bodyA) and M (bodyB).
    rows.push_back(Linear(&s.free, &s.child, V(0.2f, -0.5f, 0.1f), Unit(0.1f, -1, 0.2f),
                          V(0.3f, 0.4f, -0.2f), Unit(-0.2f, 1, 0.1f)));
    // 3: an angular row between P (bodyA) and the free body.
    bzPhysRow angular = {};
    angular.bodyA = &s.parent;
    angular.bodyB = &s.free;
    angular.type = BZ_ROW_ANGULAR_JOINT | BZ_ROW_ANGULAR;
    angular.nA = Unit(1, 1, 0);
    angular.nB = Unit(0, 1, 1);
    rows.push_back(angular);
    // 4: a world contact of P.
    rows.push_back(
        Linear(&s.parent, nullptr, V(0.5f, -1, 0), Unit(0, 1, 0.3f), V(0, 0, 0), V(0, 0, 0)));
    return rows;
}
} // namespace

TEST(CoupledImpulsesTest, EachRowImpulseMovesEveryRowByItsMatrixEntry)
{
    for (int i = 0; i < 5; ++i)
    {
        SCOPED_TRACE(i);
        WorkArea area;
        Scene s;
        std::vector<bzPhysRow> rows = Rows(s);
        const int n = int(rows.size());
        std::vector<bzPhysRow *> pointers;
        for (bzPhysRow &r : rows)
            pointers.push_back(&r);
        std::vector<float> m(static_cast<size_t>(n * (n + 1) / 2));
        bz_Phys_BuildWholeMatrix(m.data(), pointers.data(), n);
        std::vector<float> before(static_cast<size_t>(n));
        for (int j = 0; j < n; ++j)
            before[size_t(j)] = RowVelocity(rows[size_t(j)]);
        float e0[3];
        s.Errors(e0);
        const float x = 0.7f;
        bz_Phys_ApplyRowImpulse(&rows[size_t(i)], x);
        for (int j = 0; j < n; ++j)
        {
            const int hi = i > j ? i : j, lo = i > j ? j : i;
            const float entry = m[size_t(hi * (hi + 1) / 2 + lo)];
            EXPECT_NEAR(RowVelocity(rows[size_t(j)]) - before[size_t(j)], entry * x, 2e-4f)
                << "row " << j;
        }
        float e1[3];
        s.Errors(e1);
        for (int k = 0; k < 3; ++k)
            EXPECT_NEAR(e1[k], e0[k], 2e-4f) << "coupling error " << k;
        // The world velocities follow the body-frame ones.
        for (const BZDObject *b : {&s.parent, &s.child, &s.free})
        {
            bzV3 world;
            bz_M33_RotateV3Into(&b->startTransform, &world, &b->localLinearVelocity);
            for (int k = 0; k < 3; ++k)
                EXPECT_NEAR(b->linearVelocity.v[k], world.v[k], 1e-5f);
        }
    }
}

TEST(CoupledImpulsesTest, ABundleOnTheCoupledPairMovesAsItsTwoRowsTogether)
{
    WorkArea area;
    Scene s;
    std::vector<bzPhysRow> rows = Rows(s);
    const int n = int(rows.size());
    std::vector<bzPhysRow *> pointers;
    for (bzPhysRow &r : rows)
        pointers.push_back(&r);
    std::vector<float> m(static_cast<size_t>(n * (n + 1) / 2));
    bz_Phys_BuildWholeMatrix(m.data(), pointers.data(), n);
    std::vector<float> before(static_cast<size_t>(n));
    for (int j = 0; j < n; ++j)
        before[size_t(j)] = RowVelocity(rows[size_t(j)]);
    float e0[3];
    s.Errors(e0);
    const float x[2] = {0.4f, -1.3f};
    EXPECT_EQ(bz_Phys_ApplyBundleImpulses(pointers.data(), x), 2);
    for (int j = 0; j < n; ++j)
    {
        float want = 0.0f;
        for (int i = 0; i < 2; ++i)
        {
            const int hi = i > j ? i : j, lo = i > j ? j : i;
            want += m[size_t(hi * (hi + 1) / 2 + lo)] * x[i];
        }
        EXPECT_NEAR(RowVelocity(rows[size_t(j)]) - before[size_t(j)], want, 2e-4f) << "row " << j;
    }
    float e1[3];
    s.Errors(e1);
    for (int k = 0; k < 3; ++k)
        EXPECT_NEAR(e1[k], e0[k], 2e-4f) << "coupling error " << k;
}

TEST(CoupledImpulsesTest, TheVariantsSumTheCouplingAndSkipUncoupledBodies)
{
    WorkArea area;
    Scene s;
    std::vector<bzPhysRow> rows = Rows(s);
    std::vector<bzPhysRow *> pointers;
    for (bzPhysRow &r : rows)
        pointers.push_back(&r);
    std::vector<float> m(15);
    bz_Phys_BuildWholeMatrix(m.data(), pointers.data(), 5);
    // The sum out: sign x impulse x the side's coupling words, over the rows.
    const float x[2] = {2.0f, 0.5f};
    float sum[3];
    bz_Phys_ApplyCoupledImpulses(&s.parent, pointers.data(), x, 2, sum, -1.0f);
    for (int k = 0; k < 3; ++k)
        EXPECT_NEAR(sum[k], -(2.0f * rows[0].couplingB[k] + 0.5f * rows[1].couplingB[k]), 1e-6f);
    // A body without a coupling record takes no coupling part.
    const bzV3 w = s.free.angularVelocity, v = s.free.localLinearVelocity;
    const float words[4] = {1, 1, 1, 1};
    bz_Phys_ApplyCoupledAngularImpulse(&s.free, words, 3.0f);
    for (int k = 0; k < 3; ++k)
    {
        EXPECT_EQ(s.free.angularVelocity.v[k], w.v[k]);
        EXPECT_EQ(s.free.localLinearVelocity.v[k], v.v[k]);
    }
    // A NaN impulse changes nothing.
    const bzV3 before = s.child.angularVelocity;
    bz_Phys_ApplyCoupledAngularImpulse(&s.child, words, NAN);
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ(s.child.angularVelocity.v[k], before.v[k]);
}
