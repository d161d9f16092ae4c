// Insertion into a body's run of contact rows: key order, merging, the joint filter and the
// key error.
#include "FakeContactBody.h"
#include "collision/CollisionContact.h"
#include "collision/CollisionTolerance.h"
#include "core/Error.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

using namespace fakebody;

namespace
{
bzV3 V(float x, float y, float z)
{
    return bzV3{{{x, y, z}}};
}

struct ErrorLog
{
    static inline std::vector<std::pair<int32_t, std::string>> reports;
    static void Record(int32_t code, const char *text) { reports.emplace_back(code, text); }
};

class ContactArray : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ErrorLog::reports.clear();
        bz_PhysContacts_SetErrorReporter(ErrorLog::Record);
        bz_PhysContacts_SetFeature(nullptr, 0);
        std::memset(rows, 0xCD, sizeof rows);
    }
    void TearDown() override
    {
        bz_PhysContacts_SetErrorReporter(nullptr);
        bz_PhysContacts_SetFeature(nullptr, 0);
    }
    // A contact at (i, 0, 0), normal +y: far from every other such contact.
    int32_t Put(float key, float x, int32_t count, bzV3 normal = V(0, 1, 0))
    {
        const bzV3 p = V(x, 0, 0);
        return bz_PhysContacts_Insert(rows, key, &p, &normal, count, AsBody(&body), 1, nullptr,
                                      nullptr);
    }
    std::vector<float> Keys(int32_t count) const
    {
        std::vector<float> keys;
        for (int32_t i = 0; i < count; i++)
            keys.push_back(rows[i].key);
        return keys;
    }

    ScopedFakeBodies fakes;
    FakeBody body = PlainBody();
    bzCollisionContact rows[5];
};

TEST_F(ContactArray, KeepsTheSmallestKeysInOrder)
{
    int32_t n = 0;
    n = Put(0.1f, 0, n);
    n = Put(0.2f, 1, n);
    n = Put(0.3f, 2, n);
    n = Put(0.4f, 3, n);
    ASSERT_EQ(n, 4);
    n = Put(0.25f, 4, n);
    EXPECT_EQ(n, 4);
    EXPECT_EQ(Keys(n), (std::vector<float>{0.1f, 0.2f, 0.25f, 0.3f}));
    EXPECT_EQ(rows[2].point.x, 4.0f);
    EXPECT_EQ(rows[3].point.x, 2.0f);
    // Not below every stored key: dropped without a report.
    n = Put(0.5f, 5, n);
    EXPECT_EQ(n, 4);
    EXPECT_EQ(Keys(n), (std::vector<float>{0.1f, 0.2f, 0.25f, 0.3f}));
    EXPECT_TRUE(ErrorLog::reports.empty());
    // The front of a full run.
    n = Put(0.05f, 6, n);
    EXPECT_EQ(Keys(n), (std::vector<float>{0.05f, 0.1f, 0.2f, 0.25f}));
}

TEST_F(ContactArray, FillsInAnyOrderAndMarksTheRowPastTheRun)
{
    int32_t n = 0;
    n = Put(0.3f, 0, n);
    n = Put(0.1f, 1, n);
    ASSERT_EQ(n, 2);
    EXPECT_EQ(Keys(n), (std::vector<float>{0.1f, 0.3f}));
    EXPECT_EQ(rows[2].key, 200.0f) << "the free mark moves just past the run";
    n = Put(0.2f, 2, n);
    EXPECT_EQ(Keys(n), (std::vector<float>{0.1f, 0.2f, 0.3f}));
    EXPECT_EQ(rows[3].key, 200.0f);
    EXPECT_NE(rows[4].key, 200.0f) << "nothing is written past a run of four";
}

TEST_F(ContactArray, MergesWithANearbyRow)
{
    int32_t n = 0;
    n = Put(0.1f, 0, n);
    n = Put(0.2f, 1, n);
    n = Put(0.5f, 2, n);
    ASSERT_EQ(n, 3);
    // 0.01 from the row at x = 2 (d2 = 0.0001), the same normal, a smaller key: it replaces
    // that row and moves to its place in key order.
    n = Put(0.15f, 2.01f, n);
    EXPECT_EQ(n, 3);
    EXPECT_EQ(Keys(n), (std::vector<float>{0.1f, 0.15f, 0.2f}));
    EXPECT_FLOAT_EQ(rows[1].point.x, 2.01f);
    // With a larger key it is dropped.
    n = Put(0.3f, 0.01f, n);
    EXPECT_EQ(Keys(n), (std::vector<float>{0.1f, 0.15f, 0.2f}));
    // The opposite normal matches further away (d2 = 0.0036 < 0.0045).
    n = Put(0.05f, 1.06f, n, V(0, -1, 0));
    EXPECT_EQ(n, 3);
    EXPECT_EQ(Keys(n), (std::vector<float>{0.05f, 0.1f, 0.15f}));
    EXPECT_EQ(rows[0].normal.y, -1.0f);
    // The same normal at d2 = 0.001 is a new contact.
    n = Put(0.12f, 0.0316f + 0.0f, n);
    EXPECT_EQ(n, 4);
    // A normal 60 degrees off at d2 = 0.0001 is a new contact too, but the run is full and
    // its key is not below the others.
    n = Put(0.9f, 0.01f, n, V(0, 0.5f, 0.8660254f));
    EXPECT_EQ(n, 4);
}

TEST_F(ContactArray, WritesTheRowFields)
{
    body.view.centreOfMass = V(1, 2, 3);
    bzShape shape{};
    bz_PhysContacts_SetFeature(&shape, 2);
    bzCollisionFace face{};
    const bzV3 p = V(5, 5, 5), n = V(0, 0, 1), second = V(7, 8, 9);
    rows[0].otherPoint = V(-1, -1, -1);
    ASSERT_EQ(bz_PhysContacts_Insert(rows, 0.5f, &p, &n, 0, AsBody(&body), 3, &face, &second), 1);
    EXPECT_EQ(rows[0].key, 0.5f);
    EXPECT_EQ(rows[0].body, AsBody(&body));
    EXPECT_EQ(rows[0].otherBody, nullptr);
    EXPECT_EQ(rows[0].face, &face);
    EXPECT_EQ(rows[0].type, 3u);
    EXPECT_EQ(rows[0].shape, &shape);
    EXPECT_EQ(rows[0].corner, 2);
    EXPECT_EQ(rows[0].point.x, 4.0f);
    EXPECT_EQ(rows[0].point.y, 3.0f);
    EXPECT_EQ(rows[0].point.z, 2.0f);
    EXPECT_EQ(rows[0].normal.z, 1.0f);
    EXPECT_EQ(rows[0].otherPoint.z, 9.0f);
    // Without a second point the words keep what they held.
    rows[1].otherPoint = V(-1, -1, -1);
    const bzV3 far = V(-5, 5, 5);
    bz_PhysContacts_Insert(rows, 0.7f, &far, &n, 1, AsBody(&body), 0, nullptr, nullptr);
    EXPECT_EQ(rows[1].otherPoint.x, -1.0f);
}

TEST_F(ContactArray, KeyThatCannotBeOrderedRaisesErrorTen)
{
    int32_t n = 0;
    n = Put(0.1f, 0, n);
    n = Put(0.2f, 1, n);
    ASSERT_EQ(n, 2);
    n = Put(NAN, 2, n);
    ASSERT_EQ(ErrorLog::reports.size(), 1u);
    EXPECT_EQ(ErrorLog::reports[0].first, 10);
    EXPECT_EQ(ErrorLog::reports[0].second, "Nan in physics(2)-  probably");
    // The engine carries on: the count leaves out the row that holds only the free mark.
    EXPECT_EQ(n, 2);
    EXPECT_EQ(Keys(n), (std::vector<float>{0.1f, 0.2f}));
    // A key not below 200.0 is refused the same way.
    n = Put(250.0f, 3, n);
    EXPECT_EQ(ErrorLog::reports.size(), 2u);
    EXPECT_EQ(n, 2);
    // A full run drops such a key without a report.
    n = Put(0.3f, 4, n);
    n = Put(0.4f, 5, n);
    n = Put(NAN, 6, n);
    EXPECT_EQ(n, 4);
    EXPECT_EQ(ErrorLog::reports.size(), 2u);
}

TEST_F(ContactArray, KeyErrorGoesToTheEngineReportWithoutAReporter)
{
    bz_PhysContacts_SetErrorReporter(nullptr);
    const int32_t keep = bzgNoFatalExit;
    bzgNoFatalExit = 1;
    const uint32_t before = bz_Error_ReportCount();
    const int32_t n = Put(NAN, 0, 0);
    bzgNoFatalExit = keep;
    EXPECT_EQ(n, 0);
    EXPECT_EQ(bz_Error_ReportCount(), before + 1);
    EXPECT_STREQ(bz_Error_LastReportCaption(), "Physics Error");
    EXPECT_EQ(std::string(bz_Error_LastReportText()).rfind("10) Nan in physics(2)-  probably", 0),
              0u)
        << bz_Error_LastReportText();
}

TEST_F(ContactArray, JointFilter)
{
    // Form box -1..1, anchor at (0.9, 0, 0): the reach is the larger of the per-axis smaller
    // distances, 0.1 on x and 1 on y and z, so 1; the limit is 0.1 + 1 = 1.1.
    const bzV3 anchor = V(0.9f, 0, 0);
    const bzV3 inside = V(1.5f, 1.05f, -1.05f), outside = V(2.05f, 0, 0);
    const bzV3 sideways = V(1, 0, 0), along = V(0, 0, 1);
    struct Case
    {
        const char *name;
        int32_t kind, partnerKind;
        uint32_t flags;
        int32_t noFilter;
        bzV3 point, normal;
        bool kept;
    } cases[] = {
        {"no joint", -1, -1, 0, 0, inside, sideways, true},
        {"kind 3 within the region", 3, -1, 0, 0, inside, sideways, false},
        {"kind 3 beyond the region", 3, -1, 0, 0, outside, sideways, true},
        {"kind 3 with the filter off", 3, -1, 0, 1, inside, sideways, true},
        {"kind 2, normal across the axis", 2, -1, 0, 0, inside, sideways, false},
        {"kind 2, normal along the axis", 2, -1, 0, 0, inside, along, true},
        {"kind 1 never filters", 1, -1, 0, 0, inside, sideways, true},
        {"jointed: every contact the joint applies to", 3, -1, BZ_BODY_JOINTED, 0, outside,
         sideways, false},
        {"jointed without a record of its own takes the partner's", -1, 3, BZ_BODY_JOINTED, 0,
         outside, sideways, false},
        {"the partner's record only when jointed", -1, 3, 0, 0, inside, sideways, true},
    };
    for (const Case &c : cases)
    {
        body = PlainBody();
        body.view.joint = {c.kind, anchor, V(0, 0, 1)};
        body.view.partnerJoint = {c.partnerKind, anchor, V(0, 0, 1)};
        body.view.collisionFlags = c.flags;
        body.view.noJointFilter = c.noFilter;
        const int32_t n = bz_PhysContacts_Insert(rows, 0.5f, &c.point, &c.normal, 0, AsBody(&body),
                                                 1, nullptr, nullptr);
        EXPECT_EQ(n, c.kept ? 1 : 0) << c.name;
    }
    // The kind-2 test turns the normal into the world by the body's matrix: a body turned a
    // quarter about y carries the x normal onto the z axis.
    body = PlainBody();
    body.view.joint = {2, anchor, V(0, 0, 1)};
    body.view.matrix.row[0] = V(0, 0, -1);
    body.view.matrix.row[2] = V(1, 0, 0);
    EXPECT_EQ(bz_PhysContacts_Insert(rows, 0.5f, &inside, &sideways, 0, AsBody(&body), 1, nullptr,
                                     nullptr),
              1);
    // The region grows with the tolerance.
    body = PlainBody();
    body.view.joint = {3, anchor, V(0, 0, 1)};
    const bzV3 edge = V(2.05f, 0, 0);
    const float keep = bzCollisionTolerance;
    bzCollisionTolerance = 0.02f;
    EXPECT_EQ(
        bz_PhysContacts_Insert(rows, 0.5f, &edge, &sideways, 0, AsBody(&body), 1, nullptr, nullptr),
        0);
    bzCollisionTolerance = keep;
}
} // namespace
