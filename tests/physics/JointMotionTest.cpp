// Jointed trees moved over a step: free bodies, ball and hinge joints, fixed world joints, and
// the errors of unknown joint kinds.
#include "collision/PairTestShapes.h"
#include "core/Error.h"
#include "maths/Matrix.h"
#include "physics/Body.h"
#include "physics/Joint.h"
#include "physics/JointMotion.h"
#include "physics/PhysSettings.h"
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

struct Moving
{
    BZDObject body = {};
    bzM34 m;
    Moving()
    {
        bz_M34_SetIdentity(&body.startTransform);
        m = body.startTransform;
        body.transform = &m;
        body.principalMoments = V(1, 1, 1);
        body.inversePrincipalMoments = V(1, 1, 1);
        body.inertiaScale = 1.0f;
    }
};

TEST(JointMotionTest, AFreeBodyMovesExactlyDtTimesVelocityHoweverOftenItIsMoved)
{
    Moving f;
    f.body.startTransform.row[3] = V(1, 2, 3);
    f.body.linearVelocity = V(0.5f, -2.0f, 4.0f);
    for (int iterations = 1; iterations <= 3; ++iterations)
    {
        for (int i = 0; i < iterations; ++i)
            bz_Phys_MoveJointedBody(&f.body, 0.04f, nullptr, 1);
        ExpectV3(f.m.row[3], V(1 + 0.02f, 2 - 0.08f, 3 + 0.16f));
    }
}

// A parent spinning and moving with a child hanging from it by a joint.
struct Chain
{
    Moving parent, child;
    BZDJoint joint = {};
    explicit Chain(uint16_t kind)
    {
        parent.body.firstChild = &child.body;
        child.body.parent = &parent.body;
        child.body.parentJoint = &joint;
        child.body.startTransform.row[3] = V(0, -2, 0);
        joint.kind = kind;
        joint.parentAnchor = V(0, -1, 0);
        joint.childAnchor = V(0, 1, 0);
        joint.parentHingeAxis = V(0, 0, 1);
        joint.childHingeAxis = V(0, 0, 1);
        parent.body.linearVelocity = V(1, 0.5f, 0);
        parent.body.angularVelocity = V(0.3f, 0.2f, 1.0f);
        child.body.linearVelocity = V(-2, 3, 1);
        child.body.angularVelocity = V(2, -1, 0.5f);
    }
    bzV3 Gap() const
    {
        bzV3 p, c, d;
        bz_M34_TransformPointInto(&parent.m, &p, &joint.parentAnchor);
        bz_M34_TransformPointInto(&child.m, &c, &joint.childAnchor);
        bz_V3_SubInto(&p, &c, &d);
        return d;
    }
};

TEST(JointMotionTest, ABallJointKeepsItsAnchorsTogether)
{
    Chain c(0x0003);
    for (int step = 0; step < 5; ++step)
    {
        bz_Phys_MoveJointedTree(&c.parent.body, 0.04f);
        ExpectV3(c.Gap(), V(0, 0, 0));
        c.parent.body.startTransform = c.parent.m;
        c.child.body.startTransform = c.child.m;
    }
}

TEST(JointMotionTest, AHingeKeepsItsAxes)
{
    Chain c(0x0203);
    for (int step = 0; step < 5; ++step)
    {
        bz_Phys_MoveJointedTree(&c.parent.body, 0.04f);
        bzV3 pa, ca;
        bz_M33_RotateV3Into(&c.parent.m, &pa, &c.joint.parentHingeAxis);
        bz_M33_RotateV3Into(&c.child.m, &ca, &c.joint.childHingeAxis);
        ExpectV3(ca, pa, 1e-4f);
        ExpectV3(c.Gap(), V(0, 0, 0));
        c.parent.body.startTransform = c.parent.m;
        c.child.body.startTransform = c.child.m;
    }
}

TEST(JointMotionTest, WithoutAngularKindsAFixedJointTurnsFreely)
{
    Chain c(0x0303);
    bz_M34_SetIdentity(&c.child.body.weldTransform);
    bz_Phys_MoveJointedBody(&c.parent.body, 0.04f, nullptr, 1);
    // Fixed: the child takes the parent's rotation.
    ExpectV3(c.child.m.row[0], c.parent.m.row[0]);
    // Free (a fresh pair: the fixed move gave the child its parent's spin): the child turns by
    // its own spin, not the parent's.
    Chain free(0x0303);
    bz_Phys_MoveJointedBody(&free.parent.body, 0.04f, nullptr, 0);
    EXPECT_GT(std::fabs(free.child.m.row[0].y - free.parent.m.row[0].y), 1e-3f);
    ExpectV3(free.Gap(), V(0, 0, 0));
}

TEST(JointMotionTest, AFixedWorldJointKeepsTheOrientation)
{
    Moving f;
    BZDJoint world = {};
    world.kind = 0x0303;
    world.childAnchor = V(0, 1, 0);
    f.body.worldJoint = &world;
    f.body.worldAnchor = V(0, 1, 0);
    bz_M34_RotationX(&f.body.startTransform, 30.0f);
    f.body.angularVelocity = V(3, 2, 1);
    f.body.savedAngularVelocity = V(3, 2, 1);
    f.body.linearVelocity = V(5, 5, 5);
    BZDObject *last = nullptr;
    bz_Phys_MoveJointedBody(&f.body, 0.04f, &last, 1);
    for (int r = 0; r < 3; ++r)
        ExpectV3(f.m.row[r], f.body.startTransform.row[r]);
    ExpectV3(f.body.savedAngularVelocity, V(0, 0, 0));
    bzV3 anchor;
    bz_M34_TransformPointInto(&f.m, &anchor, &world.childAnchor);
    ExpectV3(anchor, V(0, 1, 0));
    EXPECT_EQ(last, &f.body);
}

TEST(JointMotionTest, UnknownKindsAreReportedAndTheStepGoesOn)
{
    KeepAlive keep;
    struct Case
    {
        uint16_t kind;
        const char *text;
    };
    const Case cases[] = {{0x0903, "Error = 5"}, {0x0007, "8) Linear joint unknown"}};
    for (const Case &k : cases)
    {
        Chain c(k.kind);
        const uint32_t reports = bz_Error_ReportCount();
        bz_Phys_MoveJointedBody(&c.parent.body, 0.04f, nullptr, 1);
        EXPECT_EQ(bz_Error_ReportCount(), reports + 1);
        const std::string text = bz_Error_LastReportText();
        EXPECT_EQ(text.substr(0, std::string(k.text).size()), k.text);
        for (int i = 0; i < 3; ++i)
            EXPECT_TRUE(std::isfinite(c.child.m.row[3].v[i]));
    }
    // The linear part still applies after an unknown angular kind: the ball holds.
    Chain c(0x0903);
    bz_Phys_MoveJointedBody(&c.parent.body, 0.04f, nullptr, 1);
    ExpectV3(c.Gap(), V(0, 0, 0));
}
} // namespace

namespace
{
// A parent with a child welded to it: the parent at the origin, the child 2 along x, the joint's
// anchor between them.
struct Welded
{
    Moving parent, child;
    BZDJoint joint = {};
    Welded()
    {
        parent.body.firstChild = &child.body;
        child.body.parent = &parent.body;
        child.body.parentJoint = &joint;
        child.body.physicsFlags = BZ_PHYS_WELDED;
        joint.kind = 0x0303;
        joint.parentAnchor = V(1, 0, 0);
        joint.childAnchor = V(-1, 0, 0);
        child.body.startTransform.row[3] = V(2, 0, 0);
        child.m = child.body.startTransform;
        bz_M34_SetIdentity(&child.body.weldTransform);
        child.body.weldTransform.row[3] = V(2, 0, 0);
    }
};
} // namespace

TEST(JointMotionTest, AWeldedChildTakesItsParentsTurnAsItsOwn)
{
    // The parent turns at 1 rad/s about z (from rest at the start of the step), the child was
    // at rest: the child turns with it, and its centre, 2 from the parent's, moves at 2 along y.
    Welded w;
    w.parent.body.angularVelocity = V(0, 0, 1);
    w.parent.body.linearVelocity = V(0.5f, 0, 0);
    for (int moves = 1; moves <= 3; ++moves)
    {
        SCOPED_TRACE(moves);
        bz_Phys_MoveJointedBody(&w.parent.body, 0.04f, nullptr, 1);
        ExpectV3(w.child.body.angularVelocity, V(0, 0, 1));
        ExpectV3(w.child.body.savedAngularVelocity, V(0, 0, 1));
        ExpectV3(w.child.body.linearVelocity, V(0.5f, 2, 0));
        ExpectV3(w.child.body.localLinearVelocity, V(0.5f, 2, 0));
        // The child sits at its weld offset from the parent.
        bzV3 expected;
        bz_M34_TransformPointInto(&w.parent.m, &expected, &w.child.body.weldTransform.row[3]);
        ExpectV3(w.child.m.row[3], expected);
    }
}

TEST(JointMotionTest, AWeldedChildsTurnIsCarriedThroughTheFrames)
{
    // The parent's frame is turned 90 degrees about x (its y is the world's z); its angular
    // velocity changed from (0, 0, 0) to (0, 1, 0) in its frame: (0, 0, 1) in the world. The
    // child's frame is the world's, its own start-of-step angular velocity (1, 0, 0).
    Welded w;
    w.parent.body.startTransform.row[1] = V(0, 0, 1);
    w.parent.body.startTransform.row[2] = V(0, -1, 0);
    w.parent.body.angularVelocity = V(0, 1, 0);
    w.child.body.stepAngularVelocity = V(1, 0, 0);
    w.child.body.angularVelocity = V(7, 7, 7); // whatever it was is replaced
    bz_Phys_MoveJointedBody(&w.parent.body, 0.04f, nullptr, 1);
    ExpectV3(w.child.body.angularVelocity, V(1, 0, 1));
    // The anchor on the parent, (1, 0, 0) in its frame, moves at (0, 0, 1) x (1, 0, 0) =
    // (0, 1, 0); the child's centre 1 beyond it at (1, 0, 1) x (1, 0, 0) = (0, 1, 0) more.
    ExpectV3(w.child.body.linearVelocity, V(0, 2, 0));
    // A parent whose angular velocity did not change leaves the child's own.
    Welded still;
    still.parent.body.angularVelocity = V(0, 0, 3);
    still.parent.body.stepAngularVelocity = V(0, 0, 3);
    still.child.body.stepAngularVelocity = V(0, 2, 0);
    bz_Phys_MoveJointedBody(&still.parent.body, 0.04f, nullptr, 1);
    ExpectV3(still.child.body.angularVelocity, V(0, 2, 0));
}

TEST(JointMotionTest, AWorldHeldChildCarriesItsParentAlong)
{
    // The child hangs from its parent's anchor (1, 0, 0) and is held on the world anchor (5, 0, 0)
    // by a ball world joint. Through a welded child or a 0x402 joint the parent follows it so
    // that the anchors meet again; through another joint it stays.
    struct Case
    {
        const char *name;
        uint16_t kind;
        uint32_t flags;
        float parentX;
    };
    const Case cases[] = {
        {"0x402 joint", 0x0402, 0, 4.0f},
        {"welded", 0x0303, BZ_PHYS_WELDED, 4.0f},
        {"ball joint", 0x0003, 0, 0.0f},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.name);
        Moving parent, child;
        BZDJoint joint = {}, world = {};
        parent.body.firstChild = &child.body;
        child.body.parent = &parent.body;
        child.body.parentJoint = &joint;
        child.body.physicsFlags = c.flags;
        joint.kind = c.kind;
        joint.parentAnchor = V(1, 0, 0);
        joint.parentHingeAxis = V(0, 0, 1);
        joint.childHingeAxis = V(0, 0, 1);
        child.body.startTransform.row[3] = V(1, 0, 0);
        bz_M34_SetIdentity(&child.body.weldTransform);
        child.body.weldTransform.row[3] = V(1, 0, 0);
        world.kind = 0x0003;
        child.body.worldJoint = &world;
        child.body.worldAnchor = V(5, 0, 0);
        bz_Phys_MoveJointedBody(&parent.body, 0.04f, nullptr, 1);
        ExpectV3(child.m.row[3], V(5, 0, 0));
        ExpectV3(parent.m.row[3], V(c.parentX, 0, 0));
    }
    // Up a chain of two carried links: the grandparent follows too.
    Moving top, middle, low;
    BZDJoint upper = {}, lower = {}, world = {};
    for (BZDJoint *j : {&upper, &lower})
    {
        j->kind = 0x0402;
        j->parentAnchor = V(1, 0, 0);
        j->parentHingeAxis = V(0, 0, 1);
        j->childHingeAxis = V(0, 0, 1);
    }
    top.body.firstChild = &middle.body;
    middle.body.parent = &top.body;
    middle.body.parentJoint = &upper;
    middle.body.firstChild = &low.body;
    low.body.parent = &middle.body;
    low.body.parentJoint = &lower;
    middle.body.startTransform.row[3] = V(1, 0, 0);
    low.body.startTransform.row[3] = V(2, 0, 0);
    world.kind = 0x0003;
    low.body.worldJoint = &world;
    low.body.worldAnchor = V(7, 0, 0);
    bz_Phys_MoveJointedBody(&top.body, 0.04f, nullptr, 1);
    ExpectV3(low.m.row[3], V(7, 0, 0));
    ExpectV3(middle.m.row[3], V(6, 0, 0));
    ExpectV3(top.m.row[3], V(5, 0, 0));
}

TEST(JointMotionTest, StartMatricesAreAlignedOnTheJointsDownTheTree)
{
    Moving root, child, grand, loose;
    BZDJoint a = {}, b = {};
    a.parentAnchor = V(0, -1, 0);
    a.childAnchor = V(0, 1, 0);
    b.parentAnchor = V(1, 0, 0);
    b.childAnchor = V(0, 0, 0);
    root.body.firstChild = &child.body;
    child.body.parent = &root.body;
    child.body.parentJoint = &a;
    child.body.nextSibling = &loose.body;
    loose.body.parent = &root.body; // no joint: left where it is
    loose.body.startTransform.row[3] = V(9, 9, 9);
    child.body.firstChild = &grand.body;
    grand.body.parent = &child.body;
    grand.body.parentJoint = &b;
    root.body.startTransform.row[3] = V(3, 0, 0);
    child.body.startTransform.row[3] = V(0, 0, 0);
    // The child turned 90 degrees about z: its anchor (0, 1, 0) points along -x.
    child.body.startTransform.row[0] = V(0, 1, 0);
    child.body.startTransform.row[1] = V(-1, 0, 0);
    bz_Phys_AlignStartMatrices(&root.body);
    // The root's anchor is at (3, -1, 0): the child's (0, 1, 0) must land there.
    ExpectV3(child.body.startTransform.row[3], V(4, -1, 0));
    // The child's anchor (1, 0, 0) is at (4, 0, 0) in the world: the grandchild's origin there.
    ExpectV3(grand.body.startTransform.row[3], V(4, 0, 0));
    ExpectV3(loose.body.startTransform.row[3], V(9, 9, 9));
    ExpectV3(root.body.startTransform.row[3], V(3, 0, 0));
}
