// Welding bodies onto their representatives, the preparation of a tree's joint rows and the
// velocities of welded children.
#include "collision/PairTestShapes.h"
#include "maths/Matrix.h"
#include "maths/Vector.h"
#include "physics/Body.h"
#include "physics/BodyWeld.h"
#include "physics/Joint.h"
#include "physics/PhysSettings.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace
{
using pairtest::V;

void ExpectV3(const bzV3 &got, const bzV3 &want, float tolerance = 1e-5f)
{
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(got.v[i], want.v[i], tolerance) << "component " << i;
}

BZDObject Body(float mass, const bzV3 &moments)
{
    BZDObject b = {};
    b.mass = mass;
    b.principalMoments = moments;
    bz_M34_SetIdentity(&b.startTransform);
    return b;
}

void Link(BZDObject *child, BZDObject *parent)
{
    child->parent = parent;
    child->nextSibling = parent->firstChild;
    parent->firstChild = child;
}

TEST(BodyWeldTest, WeldMovesTheCentreAndAddsTheMomentsOfBothBodies)
{
    struct Case
    {
        const char *name;
        float turnZ;    // degrees the welded body is turned about z
        bzV3 addedSpin; // its moments (0.5, 0.6, 0.7) as the representative's axes see them
    };
    const Case cases[] = {{"aligned", 0.0f, V(0.5f, 0.6f, 0.7f)},
                          {"turned a quarter", 90.0f, V(0.6f, 0.5f, 0.7f)}};
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.name);
        BZDObject rep = Body(1.0f, V(1, 1, 1));
        BZDObject b = Body(1.0f, V(0.5f, 0.6f, 0.7f));
        bz_M34_RotationZ(&b.startTransform, c.turnZ);
        b.startTransform.row[3] = V(2, 0, 0);
        Link(&b, &rep);
        bz_Phys_WeldToAncestor(&b);

        ExpectV3(rep.centreOfMass, V(1, 0, 0));
        EXPECT_FLOAT_EQ(rep.mass, 2.0f);
        // Parallel axes: 0 on x, 1 from each body on y and z.
        ExpectV3(rep.principalMoments,
                 V(1 + c.addedSpin.x, 1 + 2 + c.addedSpin.y, 1 + 2 + c.addedSpin.z));
        EXPECT_NE(b.physicsFlags & BZ_PHYS_WELDED, 0u);
        EXPECT_NE(rep.physicsFlags & BZ_PHYS_WELDED_ROWS, 0u);
        // The welded body's place relative to its parent.
        ExpectV3(b.weldTransform.row[3], V(2, 0, 0));
        ExpectV3(b.weldTransform.row[0], b.startTransform.row[0]);
    }
}

TEST(BodyWeldTest, AWeldClimbsToTheNearestUnweldedAncestor)
{
    BZDObject root = Body(2.0f, V(1, 1, 1));
    BZDObject mid = Body(1.0f, V(1, 1, 1));
    BZDObject tip = Body(1.0f, V(1, 1, 1));
    mid.startTransform.row[3] = V(0, 3, 0);
    tip.startTransform.row[3] = V(0, 3, 4);
    Link(&mid, &root);
    Link(&tip, &mid);
    bz_Phys_WeldToAncestor(&mid);
    bz_Phys_WeldToAncestor(&tip);
    // Every mass went into the root: centre (0, 3 + 3, 4) / 4.
    EXPECT_FLOAT_EQ(root.mass, 4.0f);
    ExpectV3(root.centreOfMass, V(0, 1.5f, 1.0f));
    EXPECT_FLOAT_EQ(mid.mass, 1.0f);
    ExpectV3(mid.centreOfMass, V(0, 0, 0));
    // The tip is kept relative to its own parent, not the representative.
    ExpectV3(tip.weldTransform.row[3], V(0, 0, 4));
    EXPECT_NE(mid.physicsFlags & BZ_PHYS_WELDED_ROWS, 0u);
}

// A representative at the origin with a child of the same mass at (2, 0, 0), welded once.
struct WeldedPair
{
    BZDObject rep, b;
    explicit WeldedPair(float mass) : rep(Body(mass, V(1, 1, 1))), b(Body(mass, V(1, 1, 1)))
    {
        b.startTransform.row[3] = V(2, 0, 0);
        Link(&b, &rep);
        bz_Phys_WeldToAncestor(&b);
    }
};

TEST(BodyWeldTest, WeldingTwiceOrWithoutAParentChangesNothing)
{
    WeldedPair pair(1.0f);
    BZDObject &rep = pair.rep, &b = pair.b;
    const BZDObject repOnce = rep, bOnce = b;
    bz_Phys_WeldToAncestor(&b);
    EXPECT_EQ(std::memcmp(&rep, &repOnce, sizeof rep), 0);
    EXPECT_EQ(std::memcmp(&b, &bOnce, sizeof b), 0);

    BZDObject lone = Body(1.0f, V(1, 1, 1));
    const BZDObject loneBefore = lone;
    bz_Phys_WeldToAncestor(&lone);
    EXPECT_EQ(std::memcmp(&lone, &loneBefore, sizeof lone), 0);
}

TEST(BodyWeldTest, MasslessBodiesKeepAFiniteCentre)
{
    WeldedPair pair(0.0f);
    const BZDObject &rep = pair.rep;
    ExpectV3(rep.centreOfMass, V(0, 0, 0));
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(std::isfinite(rep.principalMoments.v[i]));
}

TEST(BodyWeldTest, TreeRowsCountJointsAndKeepOneCoupledJointPerRepresentative)
{
    BZDObject root = Body(1, V(1, 1, 1)), k1 = Body(1, V(1, 1, 1)), k2 = Body(1, V(1, 1, 1));
    BZDObject welded = Body(1, V(1, 1, 1)), under = Body(1, V(1, 1, 1));
    BZDJoint j1 = {}, j2 = {}, jw = {}, ju = {}, world = {};
    j1.kind = BZ_JOINT_COUPLED;
    j2.kind = BZ_JOINT_COUPLED;
    jw.kind = 0x0303;
    ju.kind = 0x0103;
    world.kind = 0x0303;
    k1.parentJoint = &j1;
    k2.parentJoint = &j2;
    welded.parentJoint = &jw;
    welded.physicsFlags = BZ_PHYS_WELDED;
    under.parentJoint = &ju;
    root.worldJoint = &world;
    // Depth-first order: k1, k2, welded (links put the last linked first).
    Link(&welded, &root);
    Link(&k2, &root);
    Link(&k1, &root);
    Link(&under, &welded);
    k2.coupling = &root; // left over from an earlier step: cleared

    // world 6 + k1 2 (coupled: angular rows none) + k2 5 (demoted) + welded 0 + under 4.
    EXPECT_EQ(bz_Body_CountTreeRows(&root, nullptr), 6 + 2 + 5 + 0 + 4);
    EXPECT_EQ(j1.kind, BZ_JOINT_COUPLED);
    EXPECT_EQ(j2.kind, 0x0203);
    EXPECT_EQ(k1.coupling, BZ_PHYS_COUPLING_MARKER);
    EXPECT_EQ(root.coupling, BZ_PHYS_COUPLING_MARKER);
    EXPECT_EQ(k2.coupling, nullptr);
    EXPECT_EQ(k1.top, &root);
    EXPECT_EQ(welded.top, &root);
    // Below a welded body the representative is the welded body's own.
    EXPECT_EQ(under.top, &root);
    EXPECT_EQ(root.top, nullptr);
}

TEST(BodyWeldTest, WorldJointRowsLeaveOutWhatTheBodyCannotDo)
{
    struct Case
    {
        uint32_t flags;
        int32_t rows;
    };
    const Case cases[] = {
        {0, 6}, {BZ_PHYS_INF_MI, 3}, {BZ_PHYS_INF_MASS, 3}, {BZ_PHYS_INF_MI | BZ_PHYS_INF_MASS, 0}};
    for (const Case &c : cases)
    {
        BZDObject body = Body(1, V(1, 1, 1));
        BZDJoint world = {};
        world.kind = 0x0303;
        body.worldJoint = &world;
        body.physicsFlags = c.flags;
        EXPECT_EQ(bz_Body_CountTreeRows(&body, nullptr), c.rows) << std::hex << c.flags;
        EXPECT_EQ(world.kind, 0x0303);
    }
}

// Velocity of a world point p of a body moving with centre velocity v and world spin w about c.
bzV3 PointVelocity(const bzV3 &v, const bzV3 &w, const bzV3 &c, const bzV3 &p)
{
    bzV3 arm, turn, out;
    bz_V3_SubInto(&p, &c, &arm);
    bz_V3_CrossInto(&w, &arm, &turn);
    bz_V3_AddInto(&v, &turn, &out);
    return out;
}

TEST(BodyWeldTest, WeldedChildrenMoveRigidlyWithTheirParent)
{
    // parent -> child (welded) -> grandchild (welded), and a jointed child that is not welded.
    BZDObject parent = Body(1, V(1, 1, 1)), child = Body(1, V(1, 1, 1));
    BZDObject grand = Body(1, V(1, 1, 1)), free = Body(1, V(1, 1, 1));
    bz_M34_FromEulerXYZ(&parent.startTransform, 20, -35, 50);
    parent.startTransform.row[3] = V(1, 2, 3);
    parent.centreOfMass = V(0.1f, 0.2f, -0.1f);
    bz_M34_FromEulerXYZ(&child.startTransform, -70, 10, 15);
    child.startTransform.row[3] = V(2, 1, 3);
    child.centreOfMass = V(0, 0.3f, 0);
    bz_M34_FromEulerXYZ(&grand.startTransform, 5, 80, -40);
    grand.startTransform.row[3] = V(3, 0, 2);
    BZDJoint jc = {}, jg = {};
    jc.parentAnchor = V(0.5f, 0, 0);
    bz_M34_TransformPointInto(&parent.startTransform, &jc.childAnchor, &jc.parentAnchor);
    bz_M34_InverseTransformPoint(&child.startTransform, &jc.childAnchor);
    jg.childAnchor = V(0, 0, -0.4f);
    bz_M34_TransformPointInto(&grand.startTransform, &jg.parentAnchor, &jg.childAnchor);
    bz_M34_InverseTransformPoint(&child.startTransform, &jg.parentAnchor);
    child.parentJoint = &jc;
    grand.parentJoint = &jg;
    child.physicsFlags = grand.physicsFlags = BZ_PHYS_WELDED;
    Link(&free, &parent);
    Link(&child, &parent);
    Link(&grand, &child);

    // Before: all turn together at world spin s; then the parent's spin changes to s'.
    const bzV3 s = V(0.3f, -0.2f, 0.5f), s2 = V(-1.0f, 0.4f, 2.0f);
    BZDObject *all[3] = {&parent, &child, &grand};
    for (BZDObject *b : all)
        bz_M34_InverseRotateV3Into(&b->startTransform, &b->savedAngularVelocity, &s);
    bz_M34_InverseRotateV3Into(&parent.startTransform, &parent.angularVelocity, &s2);
    parent.linearVelocity = V(0.5f, -1.0f, 2.0f);
    free.angularVelocity = V(7, 8, 9);
    free.linearVelocity = V(4, 5, 6);

    bz_Body_PropagateWeldedVelocities(&parent);

    bzV3 pc;
    bz_M34_TransformPointInto(&parent.startTransform, &pc, &parent.centreOfMass);
    for (BZDObject *b : {&child, &grand})
    {
        bzV3 w;
        bz_M33_RotateV3Into(&b->startTransform, &w, &b->angularVelocity);
        ExpectV3(w, s2);
        bzV3 c;
        bz_M34_TransformPointInto(&b->startTransform, &c, &b->centreOfMass);
        ExpectV3(b->linearVelocity, PointVelocity(parent.linearVelocity, s2, pc, c));
        bzV3 local;
        bz_M34_InverseRotateV3Into(&b->startTransform, &local, &b->linearVelocity);
        ExpectV3(b->localLinearVelocity, local);
    }
    ExpectV3(free.angularVelocity, V(7, 8, 9));
    ExpectV3(free.linearVelocity, V(4, 5, 6));
}
} // namespace
