// Crossed joint limits become rows; the weakness pass caps the solution or breaks the tree.
#include "collision/PairTestShapes.h"
#include "core/Error.h"
#include "maths/Matrix.h"
#include "maths/Vector.h"
#include "physics/Body.h"
#include "physics/Joint.h"
#include "physics/JointLimits.h"
#include "physics/PhysMemory.h"
#include "physics/PhysSettings.h"
#include "physics/TreeStep.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace
{
using pairtest::V;

struct Scope
{
    KeepAlive keep;
    Scope()
    {
        bz_Phys_ResetSettings();
        bz_Phys_ResetLimits();
    }
    ~Scope()
    {
        bz_Phys_ResetSettings();
        bz_Phys_ResetLimits();
    }
};

// A body whose start and current transforms are separate.
struct Moving
{
    BZDObject body = {};
    bzM34 current;
    Moving()
    {
        bz_M34_SetIdentity(&body.startTransform);
        bz_M34_SetIdentity(&current);
        body.transform = &current;
    }
};

// A cone about the world's y of half angle whose cosine is 0.9, on the body's y axis.
bzPhysLimit Cone()
{
    bzPhysLimit l = {};
    l.kind = BZ_LIMIT_CONE;
    l.value1 = 0.9f;
    l.vectors[0] = V(0, 1, 0);
    l.vectors[1] = V(0, 1, 0);
    return l;
}

float CosAbout(float degrees)
{
    return std::cos(degrees * 3.14159265f / 180.0f);
}

TEST(JointLimitsTest, ConeCrossedDuringTheStep)
{
    Scope scope;
    struct Case
    {
        const char *name;
        float startDeg, nowDeg; // the body's tilt about z
        uint32_t mode;
        uint32_t flags;
        uint16_t jointKind;
        bool row;
    };
    const float edge = std::acos(0.9f) * 180.0f / 3.14159265f; // about 25.84 degrees
    const Case cases[] = {
        {"crossed", 20.0f, 30.0f, 0, 0, 0x0203, true},
        {"inside all along", 10.0f, 20.0f, 0, 0, 0x0203, false},
        {"left long before", edge + 2.0f, 40.0f, 0, 0, 0x0203, false},
        {"just outside at the start, mode 0", edge + 0.01f, 40.0f, 0, 0, 0x0203, true},
        {"just outside at the start, mode 1", edge + 0.01f, 40.0f, 1, 0, 0x0203, false},
        {"fixed angular kind", 20.0f, 30.0f, 0, 0, 0x0303, false},
        {"inf_mi", 20.0f, 30.0f, 0, BZ_PHYS_INF_MI, 0x0203, false},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.name);
        Moving m;
        bz_M34_RotationZ(&m.body.startTransform, c.startDeg);
        bz_M34_RotationZ(&m.current, c.nowDeg);
        m.body.mode = c.mode;
        m.body.physicsFlags = c.flags;
        bzPhysLimit limit = Cone();
        BZDJoint world = {};
        world.kind = c.jointKind;
        world.limits = &limit;
        m.body.worldJoint = &world;
        bzPhysRow rows[2];
        const int32_t count = bz_Phys_DetectBodyLimits(&m.body, rows, 0, 2);
        ASSERT_EQ(count, c.row ? 1 : 0);
        if (!count)
            continue;
        const float c0 = CosAbout(c.startDeg), c1 = CosAbout(c.nowDeg);
        EXPECT_NEAR(rows[0].weight, std::fmax(0.0f, (c0 - 0.9f) / (c0 - c1)), 1e-4f);
        EXPECT_NEAR(rows[0].value, c1 - 0.9f, 1e-5f);
        EXPECT_EQ(rows[0].type, uint32_t(BZ_ROW_ANGULAR_JOINT));
        EXPECT_EQ(rows[0].bodyB, nullptr);
        // Turning about the direction takes the axis back: about -z in the body's frame.
        EXPECT_NEAR(rows[0].nA.z, -1.0f, 1e-5f);
    }
}

TEST(JointLimitsTest, TwoBodyConeUsesThePartnersAxisAndTheAnchors)
{
    Scope scope;
    Moving child, parent;
    bz_M34_RotationZ(&child.body.startTransform, 20.0f);
    bz_M34_RotationZ(&child.current, 30.0f);
    child.body.parent = &parent.body;
    bzPhysLimit limit = Cone();
    int hits = 0;
    limit.onLimit = [](void *owner, void *, bzPhysLimit *, int32_t side)
    {
        ++*static_cast<int *>(owner);
        EXPECT_EQ(side, 0);
    };
    child.body.owner = &hits;
    BZDJoint joint = {};
    joint.kind = 0x0203;
    joint.childAnchor = V(0, 1, 0);
    joint.parentAnchor = V(0, -1, 0);
    joint.limits = &limit;
    child.body.parentJoint = &joint;
    bzPhysRow rows[1];
    ASSERT_EQ(bz_Phys_DetectBodyLimits(&child.body, rows, 0, 1), 1);
    EXPECT_EQ(rows[0].bodyB, &parent.body);
    EXPECT_EQ(rows[0].rA.y, 1.0f);
    EXPECT_EQ(rows[0].rB.y, -1.0f);
    EXPECT_EQ(hits, 1);
    // The parent turned with the child: nothing crossed.
    bz_M34_RotationZ(&parent.body.startTransform, 20.0f);
    bz_M34_RotationZ(&parent.current, 30.0f);
    EXPECT_EQ(bz_Phys_DetectBodyLimits(&child.body, rows, 0, 1), 0);
    // A welded child's joint limits are not checked.
    bz_M34_SetIdentity(&parent.body.startTransform);
    bz_M34_SetIdentity(&parent.current);
    child.body.physicsFlags = BZ_PHYS_WELDED;
    EXPECT_EQ(bz_Phys_DetectBodyLimits(&child.body, rows, 0, 1), 0);
}

TEST(JointLimitsTest, WorldSlideRangeBoxAndTether)
{
    Scope scope;
    bzgPhysSettings.contactDistance = 0.001f;
    Moving m;
    BZDJoint world = {};
    m.body.worldJoint = &world;
    bzPhysRow rows[4];

    // Slide range along x from 0: upper end 1, lower end -1; the anchor moves from 0.8 to 1.2.
    bzPhysLimit slide = {};
    slide.kind = BZ_LIMIT_SLIDE_RANGE;
    slide.value1 = 1.0f;
    slide.value2 = -1.0f;
    slide.vectors[1] = V(1, 0, 0);
    world.limits = &slide;
    m.body.startTransform.row[3] = V(0.8f, 0, 0);
    m.current.row[3] = V(1.2f, 0, 0);
    ASSERT_EQ(bz_Phys_DetectBodyLimits(&m.body, rows, 0, 4), 1);
    EXPECT_NEAR(rows[0].weight, 0.5f, 1e-5f);
    EXPECT_FLOAT_EQ(rows[0].nA.x, -1.0f);
    EXPECT_EQ(rows[0].type, uint32_t(BZ_ROW_LINEAR_JOINT));
    // The other way through the lower end.
    m.body.startTransform.row[3] = V(-0.9f, 0, 0);
    m.current.row[3] = V(-1.3f, 0, 0);
    ASSERT_EQ(bz_Phys_DetectBodyLimits(&m.body, rows, 0, 4), 1);
    EXPECT_NEAR(rows[0].weight, 0.25f, 1e-5f);
    EXPECT_FLOAT_EQ(rows[0].nA.x, 1.0f);
    m.body.physicsFlags = BZ_PHYS_INF_MASS;
    EXPECT_EQ(bz_Phys_DetectBodyLimits(&m.body, rows, 0, 4), 0);
    m.body.physicsFlags = 0;

    // From the world anchor at x = 0.5 along the first vector: the upper end at 1.5.
    bzPhysLimit fromAnchor = slide;
    fromAnchor.kind = BZ_LIMIT_SLIDE_FROM_ANCHOR;
    fromAnchor.vectors[0] = V(1, 0, 0);
    fromAnchor.vectors[1] = V(0, 0, 0);
    world.limits = &fromAnchor;
    m.body.worldAnchor = V(0.5f, 0, 0);
    m.body.startTransform.row[3] = V(1.3f, 0, 0);
    m.current.row[3] = V(1.7f, 0, 0);
    ASSERT_EQ(bz_Phys_DetectBodyLimits(&m.body, rows, 0, 4), 1);
    EXPECT_NEAR(rows[0].weight, 0.5f, 1e-5f);
    EXPECT_FLOAT_EQ(rows[0].nA.x, -1.0f);
    m.current.row[3] = V(1.4f, 0, 0);
    EXPECT_EQ(bz_Phys_DetectBodyLimits(&m.body, rows, 0, 4), 0);

    // A world box from (-1, -1, -1) to (1, 1, 1), left through +x and -y at once.
    bzPhysLimit box = {};
    box.kind = BZ_LIMIT_WORLD_BOX;
    box.vectors[0] = V(-1, -1, -1);
    box.vectors[1] = V(1, 1, 1);
    world.limits = &box;
    m.body.startTransform.row[3] = V(0.5f, -0.5f, 0);
    m.current.row[3] = V(1.5f, -1.5f, 0);
    ASSERT_EQ(bz_Phys_DetectBodyLimits(&m.body, rows, 0, 4), 2);
    EXPECT_FLOAT_EQ(rows[0].nA.x, -1.0f);
    EXPECT_FLOAT_EQ(rows[1].nA.y, 1.0f);
    EXPECT_NEAR(rows[0].weight, 0.5f, 1e-5f); // (now - upper) / (now - start)
    // Capacity is kept: room for one row gives one.
    EXPECT_EQ(bz_Phys_DetectBodyLimits(&m.body, rows, 0, 1), 1);

    // A tether of length 2 to the world origin; the point moves from 1.5 to 2.5 away.
    bzPhysLimit tether = {};
    tether.kind = BZ_LIMIT_TETHER;
    tether.value1 = 2.0f;
    tether.value2 = 4.0f;
    world.limits = &tether;
    m.body.startTransform.row[3] = V(1.5f, 0, 0);
    m.current.row[3] = V(2.5f, 0, 0);
    ASSERT_EQ(bz_Phys_DetectBodyLimits(&m.body, rows, 0, 4), 1);
    EXPECT_NEAR(rows[0].weight, 0.5f, 1e-5f);
    EXPECT_FLOAT_EQ(rows[0].nA.x, -1.0f); // back towards the world point
    m.current.row[3] = V(1.9f, 0, 0);
    EXPECT_EQ(bz_Phys_DetectBodyLimits(&m.body, rows, 0, 4), 0);
}

TEST(JointLimitsTest, SlideRangeAndTetherBetweenTwoBodies)
{
    Scope scope;
    bzgPhysSettings.contactDistance = 0.001f;
    Moving child, parent;
    child.body.parent = &parent.body;
    BZDJoint joint = {};
    joint.kind = 0x0001;
    child.body.parentJoint = &joint;
    bzPhysRow rows[2];

    // The child's anchor slides along the parent's x from 0.8 to 1.2; the range ends at 1.
    bzPhysLimit slide = {};
    slide.kind = BZ_LIMIT_SLIDE_RANGE;
    slide.value1 = 1.0f;
    slide.value2 = -1.0f;
    slide.vectors[1] = V(1, 0, 0);
    joint.limits = &slide;
    child.body.startTransform.row[3] = V(0.8f, 0, 0);
    child.current.row[3] = V(1.2f, 0, 0);
    ASSERT_EQ(bz_Phys_DetectBodyLimits(&child.body, rows, 0, 2), 1);
    EXPECT_EQ(rows[0].bodyB, &parent.body);
    EXPECT_NEAR(rows[0].weight, (1.0f - 0.8f + 0.001f) / (1.2f - 0.8f + 0.001f), 1e-5f);
    EXPECT_FLOAT_EQ(rows[0].nA.x, -1.0f);
    EXPECT_FLOAT_EQ(rows[0].nB.x, -1.0f);
    // The parent moved with the child: nothing passed.
    parent.body.startTransform.row[3] = V(0.8f, 0, 0);
    parent.current.row[3] = V(1.2f, 0, 0);
    EXPECT_EQ(bz_Phys_DetectBodyLimits(&child.body, rows, 0, 2), 0);
    parent.body.startTransform.row[3] = V(0, 0, 0);
    parent.current.row[3] = V(0, 0, 0);

    // A tether of 2 to the parent's point (1, 0, 0): the child's origin from 2.5 to 3.5.
    bzPhysLimit tether = {};
    tether.kind = BZ_LIMIT_TETHER;
    tether.value1 = 2.0f;
    tether.value2 = 4.0f;
    tether.vectors[1] = V(1, 0, 0);
    joint.limits = &tether;
    child.body.startTransform.row[3] = V(2.5f, 0, 0);
    child.current.row[3] = V(3.5f, 0, 0);
    ASSERT_EQ(bz_Phys_DetectBodyLimits(&child.body, rows, 0, 2), 1);
    EXPECT_NEAR(rows[0].weight, 0.5f, 1e-5f);
    EXPECT_FLOAT_EQ(rows[0].nA.x, -1.0f);
    EXPECT_FLOAT_EQ(rows[0].rB.x, 1.0f);
}

TEST(JointLimitsTest, UnknownKindsReportOnceAndAddNothing)
{
    Scope scope;
    Moving m, parent;
    m.body.parent = &parent.body;
    bzPhysLimit odd = {};
    odd.kind = 7;
    BZDJoint world = {}, joint = {};
    world.limits = &odd;
    joint.limits = &odd;
    m.body.worldJoint = &world;
    m.body.parentJoint = &joint;
    bzPhysRow rows[2];
    const uint32_t reports = bz_Error_ReportCount();
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(bz_Phys_DetectBodyLimits(&m.body, rows, 0, 2), 0);
    // Once for the joint limits and once for the world limits.
    EXPECT_EQ(bz_Error_ReportCount(), reports + 2);
    EXPECT_EQ(std::string(bz_Error_LastReportText()).substr(0, 3), "8) ");
}

TEST(JointLimitsTest, RingAndSubtreesAreWalkedAndFlaggedBodiesPassed)
{
    Scope scope;
    Moving a, b, child;
    a.body.ring = &b.body;
    b.body.ring = &a.body;
    b.body.firstChild = &child.body;
    child.body.parent = &b.body;
    bzPhysLimit box = {};
    box.kind = BZ_LIMIT_WORLD_BOX;
    box.vectors[0] = V(-1, -1, -1);
    box.vectors[1] = V(1, 1, 1);
    BZDJoint wa = {}, wb = {}, wc = {};
    wa.limits = wb.limits = wc.limits = &box;
    a.body.worldJoint = &wa;
    b.body.worldJoint = &wb;
    child.body.worldJoint = &wc;
    for (Moving *m : {&a, &b, &child})
    {
        m->body.startTransform.row[3] = V(0.5f, 0, 0);
        m->current.row[3] = V(1.5f, 0, 0);
    }
    bzPhysRow rows[4];
    EXPECT_EQ(bz_Phys_DetectLimits(&a.body, rows, 0, 4), 3);
    EXPECT_EQ(rows[2].bodyA, &child.body);
    child.body.physicsFlags = BZ_PHYS_NO_LIMITS;
    EXPECT_EQ(bz_Phys_DetectLimits(&a.body, rows, 0, 4), 2);
    EXPECT_EQ(bz_Phys_DetectLimits(&a.body, rows, 1, 2), 2);
}

// The weakness pass: a recording call back with scripted answers.
struct Script
{
    std::vector<int32_t> answers;
    std::vector<float> forces;
};
Script gScript;

int32_t Scripted(void *, void *, bzPhysLimit *, float, float force)
{
    gScript.forces.push_back(force);
    const int32_t a = gScript.answers.empty() ? BZ_PHYS_CB_NOTHING : gScript.answers.front();
    if (!gScript.answers.empty())
        gScript.answers.erase(gScript.answers.begin());
    return a;
}

struct WeakRow
{
    BZDObject body = {};
    BZDJoint world = {};
    bzPhysLimit limits[2] = {};
    bzPhysRow row = {};
    bzPhysTreeStep record = {};
    WeakRow()
    {
        for (bzPhysLimit &l : limits)
        {
            l.kind = BZ_LIMIT_CONE;
            l.weakness = Scripted;
            l.threshold = 1.0f;
        }
        world.limits = &limits[0];
        body.worldJoint = &world;
        body.treeStep = &record;
        row.bodyA = &body;
        row.type = BZ_ROW_ANGULAR_JOINT_WEAK;
    }
};

TEST(JointLimitsTest, WeaknessCapsTheSolutionOrBreaksTheTree)
{
    Scope scope;
    WeakRow w;
    bzPhysRow *rows[1] = {&w.row};
    struct Case
    {
        const char *name;
        float force;
        std::vector<int32_t> answers;
        int32_t capped;
        float scale; // of every force
        int32_t calls;
        int32_t state;
    };
    const Case cases[] = {
        {"equal to the threshold", 1.0f, {}, 0, 1.0f, 0, 0},
        {"left alone", 2.0f, {BZ_PHYS_CB_NOTHING}, 0, 1.0f, 1, 0},
        {"capped at twice", 2.0f, {BZ_PHYS_CB_DEFAULT}, 1, 0.5f, 1, 0},
        {"broken", 4.0f, {BZ_PHYS_CB_BROKE}, 1, 0.25f, 1, -1},
        {"invalid answer", 2.0f, {42}, 0, 1.0f, 1, 0},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.name);
        gScript = {c.answers, {}};
        w.record.state = 0;
        const uint32_t reports = bz_Error_ReportCount();
        float forces[3] = {3.0f, 5.0f, c.force}; // two joint rows, then the limit row
        EXPECT_EQ(bz_Phys_LimitWeakness(forces, rows, 1, 2), c.capped);
        EXPECT_FLOAT_EQ(forces[0], 3.0f * c.scale);
        EXPECT_FLOAT_EQ(forces[1], 5.0f * c.scale);
        EXPECT_FLOAT_EQ(forces[2], c.force * c.scale);
        EXPECT_EQ(int32_t(gScript.forces.size()), c.calls);
        EXPECT_EQ(w.record.state, c.state);
        EXPECT_EQ(bz_Phys_LimitWeaknessSeen(), 1);
        if (c.answers.size() == 1 && c.answers[0] == 42)
        {
            EXPECT_EQ(bz_Error_ReportCount(), reports + 1);
            EXPECT_STREQ(bz_Error_LastReportCaption(), "Limit weakness call back");
        }
    }
    // A capped row carries exactly its threshold.
    gScript = {{BZ_PHYS_CB_DEFAULT}, {}};
    float forces[3] = {1.0f, 1.0f, 2.0f};
    bz_Phys_LimitWeakness(forces, rows, 1, 2);
    EXPECT_FLOAT_EQ(forces[2], w.limits[0].threshold);
}

TEST(JointLimitsTest, ChainedWeaknessSeesTheForceAsCappedByTheFirst)
{
    Scope scope;
    WeakRow w;
    w.limits[0].next = &w.limits[1];
    w.limits[1].threshold = 0.5f;
    bzPhysRow *rows[1] = {&w.row};
    gScript = {{BZ_PHYS_CB_DEFAULT, BZ_PHYS_CB_DEFAULT}, {}};
    float forces[1] = {4.0f};
    EXPECT_EQ(bz_Phys_LimitWeakness(forces, rows, 1, 0), 1);
    ASSERT_EQ(gScript.forces.size(), 2u);
    EXPECT_FLOAT_EQ(gScript.forces[0], 4.0f);
    EXPECT_FLOAT_EQ(gScript.forces[1], 1.0f); // capped to the first threshold
    EXPECT_FLOAT_EQ(forces[0], 0.5f);
    // Rows without weakness types are not examined.
    w.row.type = BZ_ROW_ANGULAR_JOINT;
    gScript = {{}, {}};
    forces[0] = 4.0f;
    EXPECT_EQ(bz_Phys_LimitWeakness(forces, rows, 1, 0), 0);
    EXPECT_TRUE(gScript.forces.empty());
    EXPECT_EQ(bz_Phys_LimitWeaknessSeen(), 0);
}
} // namespace

namespace
{
// A frame turned by degrees about its own y (twist): its x axis goes to (cos, 0, -sin).
bzM34 TwistedY(float degrees)
{
    const float a = degrees * 3.14159265f / 180.0f;
    bzM34 m;
    bz_M34_SetIdentity(&m);
    m.row[0] = V(std::cos(a), 0, -std::sin(a));
    m.row[2] = V(std::sin(a), 0, std::cos(a));
    return m;
}

// A frame swung by degrees about z: its y axis goes to (-sin, cos, 0).
bzM34 SwungZ(float degrees)
{
    const float a = degrees * 3.14159265f / 180.0f;
    bzM34 m;
    bz_M34_SetIdentity(&m);
    m.row[0] = V(std::cos(a), std::sin(a), 0);
    m.row[1] = V(-std::sin(a), std::cos(a), 0);
    return m;
}

// First the twist, then the swing (rows carried through the swing).
bzM34 Then(const bzM34 &first, const bzM34 &second)
{
    bzM34 out;
    bz_M34_SetIdentity(&out);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            out.row[r].v[c] = first.row[r].x * second.row[0].v[c] +
                              first.row[r].y * second.row[1].v[c] +
                              first.row[r].z * second.row[2].v[c];
    return out;
}

bzPhysLimit TwistAboutY(float cosine)
{
    bzPhysLimit l = {};
    l.kind = BZ_LIMIT_TWIST;
    l.value1 = cosine;
    l.vectors[0] = V(0, 1, 0);
    l.vectors[1] = V(0, 1, 0);
    return l;
}
} // namespace

TEST(JointLimitsTest, TwistBeyondMeasuresTheTurnAboutTheAxisOnly)
{
    Scope scope;
    const float limit = CosAbout(30.0f);
    const bzV3 y = V(0, 1, 0);
    bzM34 identity;
    bz_M34_SetIdentity(&identity);
    struct Case
    {
        const char *name;
        float twist, swing; // degrees: about the body's y, then about z
        int32_t beyond;
    };
    const Case cases[] = {
        {"untwisted", 0, 0, 0},
        {"20 degrees", 20, 0, 0},
        {"-20 degrees", -20, 0, 0},
        {"40 degrees", 40, 0, 1},
        {"-40 degrees", -40, 0, 1},
        {"a swing of 60 alone", 0, 60, 0},
        {"a swing of 120 alone", 0, 120, 0},
        {"20 then a swing of 70", 20, 70, 0},
        {"40 then a swing of 70", 40, 70, 1},
        {"-40 then a swing of 110", -40, 110, 1},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.name);
        const bzM34 a = Then(TwistedY(c.twist), SwungZ(c.swing));
        EXPECT_EQ(bz_Phys_TwistBeyond(&a, &identity, &y, &y, limit), c.beyond);
        // The limit is symmetric in the two frames.
        EXPECT_EQ(bz_Phys_TwistBeyond(&identity, &a, &y, &y, limit), c.beyond);
    }
    // About the x axes: a body swung by 90 degrees about z carries its x onto the world's y, a
    // swing with no twist.
    const bzV3 x = V(1, 0, 0);
    const bzM34 turned = SwungZ(90.0f);
    EXPECT_EQ(bz_Phys_TwistBeyond(&turned, &identity, &x, &x, limit), 0);
    // Lengths of the axes do not matter.
    const bzV3 longY = V(0, 5, 0);
    const bzM34 t40 = TwistedY(40.0f);
    EXPECT_EQ(bz_Phys_TwistBeyond(&t40, &identity, &longY, &y, limit), 1);
}

TEST(JointLimitsTest, TwistOfNearlyOppositeAxesIsDefined)
{
    Scope scope;
    const bzV3 y = V(0, 1, 0);
    bzM34 identity;
    bz_M34_SetIdentity(&identity);
    for (float swing : {170.0f, 175.0f, 179.0f, 180.0f})
    {
        SCOPED_TRACE(swing);
        const bzM34 a = SwungZ(swing);
        const int32_t r = bz_Phys_TwistBeyond(&a, &identity, &y, &y, CosAbout(30.0f));
        EXPECT_TRUE(r == 0 || r == 1);
        // A limit of every angle is never passed, a limit of none always.
        EXPECT_EQ(bz_Phys_TwistBeyond(&a, &identity, &y, &y, -1.5f), 0);
        EXPECT_EQ(bz_Phys_TwistBeyond(&a, &identity, &y, &y, 1.5f), 1);
    }
}

TEST(JointLimitsTest, TwistRowBetweenTwoBodies)
{
    Scope scope;
    struct Case
    {
        const char *name;
        float startTwist, nowTwist, swing;
        bool row;
        float directionY; // of nA (the body's frame keeps its y under a twist about y)
    };
    const Case cases[] = {
        {"crossed turning one way", 20, 40, 0, true, -1.0f},
        {"crossed turning the other way", -20, -40, 0, true, 1.0f},
        {"inside all along", 10, 25, 0, false, 0},
        {"beyond at the start", 35, 45, 0, false, 0},
        {"axes 140 degrees apart", 20, 40, 140, false, 0},
        {"crossed with axes 120 degrees apart", 20, 40, 120, true, 0},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.name);
        Moving child, parent;
        child.body.startTransform = Then(TwistedY(c.startTwist), SwungZ(c.swing));
        child.current = Then(TwistedY(c.nowTwist), SwungZ(c.swing));
        child.body.parent = &parent.body;
        bzPhysLimit limit = TwistAboutY(CosAbout(30.0f));
        BZDJoint joint = {};
        joint.kind = 0x0203;
        joint.childAnchor = V(0, 1, 0);
        joint.parentAnchor = V(0, -1, 0);
        joint.limits = &limit;
        child.body.parentJoint = &joint;
        bzPhysRow rows[1];
        const int32_t count = bz_Phys_DetectBodyLimits(&child.body, rows, 0, 1);
        ASSERT_EQ(count, c.row ? 1 : 0);
        if (!count)
            continue;
        const float c0 = CosAbout(std::fabs(c.startTwist)), c1 = CosAbout(std::fabs(c.nowTwist));
        const float limitCos = CosAbout(30.0f);
        EXPECT_NEAR(rows[0].weight, (c0 - limitCos) / (c0 - c1), 1e-3f);
        EXPECT_NEAR(rows[0].value, c1 - limitCos, 1e-4f);
        EXPECT_EQ(rows[0].type, uint32_t(BZ_ROW_ANGULAR_JOINT) | BZ_ROW_ANGULAR);
        EXPECT_EQ(rows[0].bodyA, &child.body);
        EXPECT_EQ(rows[0].bodyB, &parent.body);
        EXPECT_EQ(rows[0].rA.y, 1.0f);
        EXPECT_EQ(rows[0].rB.y, -1.0f);
        // The direction is the partner's axis (its y, the world's y) against the twist.
        const float sign = c.nowTwist > 0 ? -1.0f : 1.0f;
        EXPECT_NEAR(rows[0].nB.x, 0.0f, 1e-5f);
        EXPECT_NEAR(rows[0].nB.y, sign, 1e-5f);
        EXPECT_NEAR(rows[0].nB.z, 0.0f, 1e-5f);
        if (c.directionY != 0.0f)
        {
            EXPECT_NEAR(rows[0].nA.y, c.directionY, 1e-5f);
        }
        const float length = std::sqrt(rows[0].nA.x * rows[0].nA.x + rows[0].nA.y * rows[0].nA.y +
                                       rows[0].nA.z * rows[0].nA.z);
        EXPECT_NEAR(length, 1.0f, 1e-5f);
    }
}

TEST(JointLimitsTest, TwistRowTurnsTheBodyBack)
{
    // An impulse along the row turns the body about nA: that must reduce the twist.
    Scope scope;
    for (float twist : {40.0f, -40.0f})
    {
        SCOPED_TRACE(twist);
        Moving child, parent;
        child.body.startTransform = TwistedY(twist > 0 ? 20.0f : -20.0f);
        child.current = TwistedY(twist);
        child.body.parent = &parent.body;
        bzPhysLimit limit = TwistAboutY(CosAbout(30.0f));
        BZDJoint joint = {};
        joint.kind = 0x0203;
        joint.limits = &limit;
        child.body.parentJoint = &joint;
        bzPhysRow rows[1];
        ASSERT_EQ(bz_Phys_DetectBodyLimits(&child.body, rows, 0, 1), 1);
        // Turn the current frame a little about nA (body frame = world here up to the twist).
        bzV3 axisWorld;
        bz_M33_RotateV3Into(&child.body.startTransform, &axisWorld, &rows[0].nA);
        // Right-handed by 5 degrees (Rodrigues on each row).
        const float a = 5.0f * 3.14159265f / 180.0f;
        bzM34 after = child.current;
        for (int r = 0; r < 3; ++r)
        {
            const bzV3 v = child.current.row[r];
            bzV3 kv;
            bz_V3_CrossInto(&axisWorld, &v, &kv);
            const float kd = axisWorld.x * v.x + axisWorld.y * v.y + axisWorld.z * v.z;
            for (int i = 0; i < 3; ++i)
                after.row[r].v[i] = v.v[i] * std::cos(a) + kv.v[i] * std::sin(a) +
                                    axisWorld.v[i] * kd * (1.0f - std::cos(a));
        }
        const bzV3 y = V(0, 1, 0);
        bzM34 identity;
        bz_M34_SetIdentity(&identity);
        // 40 degrees is beyond 35 but 35 turned back by 5 is not beyond 36.
        EXPECT_EQ(bz_Phys_TwistBeyond(&child.current, &identity, &y, &y, CosAbout(36.0f)), 1);
        EXPECT_EQ(bz_Phys_TwistBeyond(&after, &identity, &y, &y, CosAbout(36.0f)), 0);
    }
}

TEST(JointLimitsTest, TwistOnAWorldJointAddsNoRow)
{
    Scope scope;
    Moving m;
    m.body.startTransform = TwistedY(20.0f);
    m.current = TwistedY(40.0f);
    bzPhysLimit limit = TwistAboutY(CosAbout(30.0f));
    BZDJoint world = {};
    world.limits = &limit;
    m.body.worldJoint = &world;
    bzPhysRow rows[1];
    EXPECT_EQ(bz_Phys_DetectBodyLimits(&m.body, rows, 0, 1), 0);
}
