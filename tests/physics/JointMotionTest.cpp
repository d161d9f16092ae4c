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
