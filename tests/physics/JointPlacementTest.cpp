// Placing jointed children and world-jointed bodies on their anchors, the angle between axes,
// and the solve groups of touching trees.
#include "collision/PairTestShapes.h"
#include "core/Error.h"
#include "maths/Matrix.h"
#include "physics/Body.h"
#include "physics/ConstraintRow.h"
#include "physics/Joint.h"
#include "physics/JointPlacement.h"
#include "physics/PhysSettings.h"
#include "physics/TreeStep.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace
{
using pairtest::V;

void ExpectV3(const bzV3 &got, const bzV3 &want, float tolerance = 1e-5f)
{
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(got.v[i], want.v[i], tolerance) << "component " << i;
}

TEST(JointPlacementTest, AngleBetweenAxes)
{
    const float pi = 3.14159265f;
    struct Case
    {
        bzV3 a, b;
        float angle;
    };
    const float c150 = std::cos(150.0f * pi / 180.0f), s150 = std::sin(150.0f * pi / 180.0f);
    const Case cases[] = {
        {V(1, 0, 0), V(1, 0, 0), 0.0f},
        {V(1, 0, 0), V(0, 1, 0), -pi / 2},
        {V(0, 1, 0), V(1, 0, 0), pi / 2},
        {V(1, 0, 0), V(c150, s150, 0), pi + pi / 6}, // past a right angle: pi minus the asin
    };
    const bzV3 n = V(0, 0, 1);
    for (const Case &c : cases)
        EXPECT_NEAR(bz_Phys_AngleBetween(&c.a, &c.b, &n), c.angle, 1e-3f);
}

// A parent at the origin turned a quarter about z, a child displaced from its joint.
struct Hang
{
    BZDObject parent = {}, child = {};
    bzM34 pm, cm;
    BZDJoint joint = {};
    explicit Hang(uint16_t kind)
    {
        bz_M34_RotationZ(&pm, 90.0f);
        bz_M34_SetIdentity(&cm);
        cm.row[3] = V(0.3f, -2.2f, 0.4f);
        parent.transform = &pm;
        child.transform = &cm;
        parent.startTransform = pm;
        child.startTransform = cm;
        parent.firstChild = &child;
        child.parent = &parent;
        joint.kind = kind;
        joint.parentAnchor = V(-1, 0, 0); // the world point (0, -1, 0)
        joint.childAnchor = V(0, 1, 0);
        joint.linearAxis[0] = V(1, 0, 0); // the world's y once the parent's turn is applied
        joint.linearAxis[1] = V(0, 0, 1);
        child.parentJoint = &joint;
    }
    bzV3 Gap() const
    {
        bzV3 p, c, d;
        bz_M34_TransformPointInto(&pm, &p, &joint.parentAnchor);
        bz_M34_TransformPointInto(&cm, &c, &joint.childAnchor);
        bz_V3_SubInto(&p, &c, &d);
        return d;
    }
};

TEST(JointPlacementTest, ChildrenArePlacedByTheirLinearKind)
{
    KeepAlive keep;
    struct Case
    {
        uint16_t kind;
        bzV3 gap; // left after placing; the gap before is (-0.3, 0.2, -0.4)
    };
    const Case cases[] = {
        {0x0003, V(0, 0, 0)},         // ball: anchors coincide
        {0x0001, V(-0.3f, 0, -0.4f)}, // the world y taken out
        {0x0002, V(-0.3f, 0, 0)},     // z, then y
        {0x0000, V(-0.3f, 0.2f, -0.4f)},
    };
    for (const Case &c : cases)
    {
        Hang h(c.kind);
        ExpectV3(h.Gap(), V(-0.3f, 0.2f, -0.4f));
        bz_Phys_PlaceJointedChildren(&h.parent);
        ExpectV3(h.Gap(), c.gap);
    }
    Hang bad(0x0007);
    const uint32_t reports = bz_Error_ReportCount();
    bz_Phys_PlaceJointedChildren(&bad.parent);
    EXPECT_EQ(bz_Error_ReportCount(), reports + 1);
    EXPECT_EQ(std::string(bz_Error_LastReportText()).substr(0, 23), "8) Linear joint unknown");
    ExpectV3(bad.Gap(), V(-0.3f, 0.2f, -0.4f));
}

TEST(JointPlacementTest, AWeldedChildMovesRigidlyWithItsParent)
{
    Hang h(0x0303);
    h.child.physicsFlags = BZ_PHYS_WELDED;
    bz_M34_SetIdentity(&h.child.weldTransform);
    h.child.weldTransform.row[3] = V(0, -2, 0);
    bz_Phys_PlaceJointedChildren(&h.parent);
    // (0, -2, 0) in the parent's frame is (2, 0, 0) in the world.
    ExpectV3(h.cm.row[3], V(2, 0, 0));
    ExpectV3(h.cm.row[0], h.pm.row[0]);
}

TEST(JointPlacementTest, AWorldJointHoldsItsBodyOnTheWorldAnchor)
{
    KeepAlive keep;
    struct Case
    {
        uint16_t kind;
        bzV3 at; // the body's origin afterwards
    };
    // Anchor on the body (0, 1, 0); world anchor (0, 5, 0); the body at (1, 3, 0) moving (1, 0, 0).
    const Case cases[] = {
        {3, V(0, 4, 0)},     // the anchor put back
        {0, V(1.04f, 3, 0)}, // free: moved by dt v
        {2, V(1.04f, 3, 0)},
        {1, V(1.04f, 4, 0)}, // moved, then the offset along y taken out
    };
    for (const Case &c : cases)
    {
        BZDObject body = {};
        bzM34 m;
        bz_M34_SetIdentity(&m);
        m.row[3] = V(1, 3, 0);
        body.transform = &m;
        body.linearVelocity = V(1, 0, 0);
        body.worldAnchor = V(0, 5, 0);
        BZDJoint world = {};
        world.kind = c.kind;
        world.childAnchor = V(0, 1, 0);
        world.linearAxis[0] = V(0, 1, 0);
        body.worldJoint = &world;
        bz_Phys_PositionWorldJointedObject(&body, 0.04f);
        ExpectV3(m.row[3], c.at);
    }
    BZDObject body = {};
    bz_M34_SetIdentity(&body.startTransform);
    BZDJoint world = {};
    world.kind = 9;
    body.worldJoint = &world;
    const uint32_t reports = bz_Error_ReportCount();
    bz_Phys_PositionWorldJointedObject(&body, 0.04f);
    EXPECT_EQ(bz_Error_ReportCount(), reports + 1);
    EXPECT_EQ(std::string(bz_Error_LastReportText()).substr(0, 32),
              "8) in PositionWorldJointedObject");
}

TEST(JointPlacementTest, SolveGroupsOfTouchingTrees)
{
    bz_Phys_ResetSolveGroups();
    bz_Phys_SetWeldedRows(0);
    BZDObject a = {}, b = {}, c = {}, d = {}, achild = {};
    BZDJoint joint = {};
    a.firstChild = &achild;
    achild.parent = &a;
    achild.parentJoint = &joint;
    // Two bodies of one tree: nothing.
    bz_Phys_MergeSolveGroups(&achild, &a);
    EXPECT_EQ(a.solveGroup, 0);
    // Two fresh trees: one new group, a ring of two, the jointed child in the group too.
    bz_Phys_MergeSolveGroups(&achild, &b);
    EXPECT_EQ(a.solveGroup, 1);
    EXPECT_EQ(achild.solveGroup, 1);
    EXPECT_EQ(b.solveGroup, 1);
    EXPECT_EQ(a.ring, &b);
    EXPECT_EQ(b.ring, &a);
    // A fresh tree joins the ring after the grouped root.
    bz_Phys_MergeSolveGroups(&c, &a);
    EXPECT_EQ(c.solveGroup, 1);
    EXPECT_EQ(a.ring, &c);
    EXPECT_EQ(c.ring, &b);
    // Another group merged into the first: its ring spliced in under group 1.
    BZDObject e = {};
    d.physicsFlags = BZ_PHYS_WELDED_ROWS;
    bz_Phys_MergeSolveGroups(&e, &d);
    EXPECT_EQ(d.solveGroup, 2);
    EXPECT_EQ(bz_Phys_WeldedRows(), 1);
    bz_Phys_MergeSolveGroups(&a, &d);
    EXPECT_EQ(d.solveGroup, 1);
    EXPECT_EQ(e.solveGroup, 1);
    int count = 0;
    BZDObject *x = &a;
    do
    {
        ++count;
        EXPECT_EQ(x->solveGroup, 1);
        x = x->ring;
    } while (x != &a && count < 10);
    EXPECT_EQ(count, 5);
    bz_Phys_SetWeldedRows(0);
}

TEST(JointPlacementTest, TreeModeJointForPartnerAndStaleRecords)
{
    BZDObject root = {}, child = {}, partner = {};
    BZDJoint toParent = {}, second = {}, world = {};
    root.firstChild = &child;
    child.parent = &root;
    child.parentJoint = &toParent;
    child.secondJoint = &second;
    child.secondPartner = &partner;
    child.worldJoint = &world;
    bz_Phys_SetTreeMode(&root, 2);
    EXPECT_EQ(child.mode, 2u);
    EXPECT_EQ(bz_Phys_JointForPartner(&child, nullptr), &world);
    EXPECT_EQ(bz_Phys_JointForPartner(&child, &partner), &second);
    EXPECT_EQ(bz_Phys_JointForPartner(&child, &root), &toParent);
    bzPhysTreeStep record = {};
    root.treeStep = &record;
    bz_Phys_ClearRebuildFlag();
    bz_Phys_MarkTreeStale(&root);
    EXPECT_EQ(record.state, -1);
    EXPECT_EQ(bz_Phys_RebuildFlag(), 1);
    bz_Phys_ClearRebuildFlag();
}
} // namespace
