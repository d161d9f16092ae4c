// The physics' body view of the contact insertion: what it reads from a body and its joints,
// and the insertion's joint filter and error path working on real bodies.
#include "collision/CollisionContact.h"
#include "collision/Shape.h"
#include "core/Error.h"
#include "physics/Body.h"
#include "physics/ContactBodyView.h"
#include "physics/Joint.h"
#include "physics/PhysMemory.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace
{
bzV3 V(float x, float y, float z)
{
    return bzV3{{{x, y, z}}};
}

void ExpectV3(const bzV3 &got, const bzV3 &want)
{
    EXPECT_NEAR(got.x, want.x, 1e-6f);
    EXPECT_NEAR(got.y, want.y, 1e-6f);
    EXPECT_NEAR(got.z, want.z, 1e-6f);
}

bzM34 Identity()
{
    bzM34 m{};
    for (int i = 0; i < 3; i++)
        m.row[i].v[i] = 1.0f;
    return m;
}

// A quarter turn about y (row vectors): x goes to -z, z goes to x.
bzM34 QuarterTurnY(const bzV3 &at)
{
    bzM34 m{};
    m.row[0] = V(0, 0, -1);
    m.row[1] = V(0, 1, 0);
    m.row[2] = V(1, 0, 0);
    m.row[3] = at;
    return m;
}

// Installs the view for a test and takes it away again.
struct ScopedView
{
    ScopedView() { bz_Phys_InstallContactBodyView(); }
    ~ScopedView()
    {
        bz_PhysContacts_SetBodyView(nullptr);
        bz_PhysContacts_SetErrorReporter(nullptr);
    }
};

TEST(ContactBodyViewTest, ReadsTheBodysFlagsCentrePlacementAndFormBox)
{
    bzForm form{};
    form.bounds = {V(-1, -2, -3), V(4, 5, 6)};
    bzM34 current = QuarterTurnY(V(7, 8, 9));
    BZDObject body{};
    body.form = &form;
    body.collisionState = BZ_BODY_INTERPENETRATING | BZ_BODY_JOINTED;
    body.secondFlags = 0x3;
    body.centreOfMass = V(0.5f, 0.25f, -0.5f);
    body.startTransform = Identity();
    body.transform = &current;

    bzContactBodyView view;
    bz_Phys_FillContactBodyView(&body, &view);
    EXPECT_EQ(view.collisionFlags, BZ_BODY_INTERPENETRATING | BZ_BODY_JOINTED);
    EXPECT_EQ(view.noJointFilter, 1);
    ExpectV3(view.centreOfMass, V(0.5f, 0.25f, -0.5f));
    for (int r = 0; r < 4; r++)
        ExpectV3(view.matrix.row[r], current.row[r]);
    ExpectV3(view.formBounds.min, V(-1, -2, -3));
    ExpectV3(view.formBounds.max, V(4, 5, 6));
    EXPECT_EQ(view.joint.kind, -1);
    EXPECT_EQ(view.partnerJoint.kind, -1);

    // Bit 1 alone is not the joint filter switch; without a transform the start one serves;
    // without a form the box is empty.
    body.secondFlags = 0x2;
    body.transform = nullptr;
    body.startTransform = QuarterTurnY(V(1, 2, 3));
    body.form = nullptr;
    bz_Phys_FillContactBodyView(&body, &view);
    EXPECT_EQ(view.noJointFilter, 0);
    ExpectV3(view.matrix.row[0], V(0, 0, -1));
    ExpectV3(view.matrix.row[3], V(1, 2, 3));
    ExpectV3(view.formBounds.min, V(0, 0, 0));
    ExpectV3(view.formBounds.max, V(0, 0, 0));

    // A null body gives the neutral view and a null output is ignored.
    bz_Phys_FillContactBodyView(nullptr, &view);
    EXPECT_EQ(view.collisionFlags, 0u);
    EXPECT_EQ(view.joint.kind, -1);
    bz_Phys_FillContactBodyView(&body, nullptr);
}

TEST(ContactBodyViewTest, JointKindsMapOntoTheFiltersKinds)
{
    struct Case
    {
        uint16_t kind;
        int32_t expected;
    };
    const Case cases[] = {
        {0x0003, 3},  // ball joint: anchored, turns freely
        {0x0203, 2},  // hinge: anchored, one free axis
        {0x0103, -1}, // two free axes
        {0x0303, -1}, // welded rotation
        {0x0002, -1}, // a slider
        {0x0402, -1}, // coupled
        {0x0000, -1},
    };
    bzM34 current = QuarterTurnY(V(0, 0, 0));
    for (const Case &c : cases)
    {
        BZDJoint joint{};
        joint.kind = c.kind;
        joint.childAnchor = V(0.1f, 0.2f, 0.3f);
        joint.parentAnchor = V(9, 9, 9);
        joint.childHingeAxis = V(2, 0, 0); // not unit: the view's axis is
        BZDObject body{};
        body.transform = &current;
        body.parentJoint = &joint;
        bzContactBodyView view;
        bz_Phys_FillContactBodyView(&body, &view);
        SCOPED_TRACE(c.kind);
        EXPECT_EQ(view.joint.kind, c.expected);
        EXPECT_EQ(view.partnerJoint.kind, -1);
        if (c.expected < 0)
            continue;
        ExpectV3(view.joint.anchor, V(0.1f, 0.2f, 0.3f));
        if (c.expected == 2) // the child's x turned a quarter about y is world -z
            ExpectV3(view.joint.axis, V(0, 0, -1));
    }
}

TEST(ContactBodyViewTest, ABodyWithoutAJointSeesItsFirstJointedChildsJoint)
{
    bzM34 current = Identity();
    BZDJoint hinge{};
    hinge.kind = 0x0203;
    hinge.childAnchor = V(5, 5, 5);
    hinge.parentAnchor = V(0, 1, 0);
    hinge.parentHingeAxis = V(0, 0, 3);
    BZDObject parent{};
    parent.transform = &current;
    BZDObject loose{};   // welded on without a joint record
    BZDObject jointed{}; // held by the hinge
    jointed.parentJoint = &hinge;
    BZDJoint ball{};
    ball.kind = 0x0003;
    BZDObject later{};
    later.parentJoint = &ball;
    parent.firstChild = &loose;
    loose.nextSibling = &jointed;
    jointed.nextSibling = &later;

    bzContactBodyView view;
    bz_Phys_FillContactBodyView(&parent, &view);
    EXPECT_EQ(view.joint.kind, -1);
    EXPECT_EQ(view.partnerJoint.kind, 2);
    ExpectV3(view.partnerJoint.anchor, V(0, 1, 0));
    ExpectV3(view.partnerJoint.axis, V(0, 0, 1));
}

// The insertion drops contacts in a ball joint's region and keeps the others, with the point
// taken relative to the body's centre of mass.
TEST(ContactBodyViewTest, TheInsertionFiltersThroughARealBodysJoint)
{
    ScopedView installed;
    bzForm form{};
    form.bounds = {V(-1, -1, -1), V(1, 1, 1)};
    bzM34 current = Identity();
    BZDJoint ball{};
    ball.kind = 0x0003;
    ball.childAnchor = V(0, 1, 0);
    BZDObject body{};
    body.form = &form;
    body.transform = &current;
    body.parentJoint = &ball;
    body.centreOfMass = V(0, 0.5f, 0);

    // Reach: on each axis the nearer face of the box from the anchor (0, 0, 0), largest 1;
    // limit = 1 + 10 x tolerance.
    bzCollisionContact rows[4] = {};
    const bzV3 up = V(0, 1, 0);
    const bzV3 nearAnchor = V(0.5f, 1.5f, 0.5f);
    EXPECT_EQ(bz_PhysContacts_Insert(rows, 0.5f, &nearAnchor, &up, 0, &body, 1, nullptr, nullptr),
              0);
    const bzV3 far = V(0.5f, -1.2f, 0.5f); // 2.2 below the anchor
    ASSERT_EQ(bz_PhysContacts_Insert(rows, 0.5f, &far, &up, 0, &body, 1, nullptr, nullptr), 1);
    ExpectV3(rows[0].point, V(0.5f, -1.7f, 0.5f));

    // The second flags' bit 0 switches the filter off.
    body.secondFlags = 0x1;
    EXPECT_EQ(bz_PhysContacts_Insert(rows, 0.25f, &nearAnchor, &up, 1, &body, 1, nullptr, nullptr),
              2);
}

// A jointed body without a joint of its own takes its child's hinge: a contact whose normal is
// across the hinge axis is dropped, one along it is kept.
TEST(ContactBodyViewTest, AJointedBodyFiltersByItsPartnersHingeAxis)
{
    ScopedView installed;
    bzM34 current = QuarterTurnY(V(0, 0, 0));
    BZDJoint hinge{};
    hinge.kind = 0x0203;
    hinge.parentHingeAxis = V(1, 0, 0); // world -z under the quarter turn
    BZDObject child{};
    child.parentJoint = &hinge;
    BZDObject body{};
    body.transform = &current;
    body.firstChild = &child;
    body.collisionState = BZ_BODY_JOINTED;

    bzCollisionContact rows[4] = {};
    const bzV3 point = V(3, 3, 3);
    const bzV3 across = V(0, 1, 0);
    const bzV3 along = V(1, 0, 0);
    EXPECT_EQ(bz_PhysContacts_Insert(rows, 0.5f, &point, &across, 0, &body, 1, nullptr, nullptr),
              0);
    EXPECT_EQ(bz_PhysContacts_Insert(rows, 0.5f, &point, &along, 0, &body, 1, nullptr, nullptr), 1);
}

// The insertion's physics errors reach the physics error hook, then the engine report.
TEST(ContactBodyViewTest, AKeyErrorGoesThroughThePhysicsErrorHook)
{
    ScopedView installed;
    KeepAlive alive;
    static std::vector<std::pair<int32_t, std::string>> seen;
    seen.clear();
    bz_Phys_SetErrorHook([](int32_t code, const char *text)
                         { seen.emplace_back(code, text ? text : "(none)"); });
    BZDObject body{};
    bzCollisionContact rows[4] = {};
    const bzV3 p = V(0, 0, 0), n = V(0, 1, 0);
    const uint32_t before = bz_Error_ReportCount();
    EXPECT_EQ(bz_PhysContacts_Insert(rows, std::numeric_limits<float>::quiet_NaN(), &p, &n, 0,
                                     &body, 1, nullptr, nullptr),
              0);
    bz_PhysContacts_ReportError(1, "");
    bz_Phys_SetErrorHook(nullptr);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].first, 10);
    EXPECT_EQ(seen[0].second, "Nan in physics(2)-  probably");
    EXPECT_EQ(seen[1].first, 1);
    EXPECT_EQ(seen[1].second, "(none)"); // an empty text is no text
    EXPECT_EQ(bz_Error_ReportCount(), before + 2);
    EXPECT_STREQ(bz_Error_LastReportCaption(), "Physics Error");
    const std::string text = bz_Error_LastReportText();
    EXPECT_EQ(text.substr(0, text.find('\n')), "Error = 1");
}
} // namespace
