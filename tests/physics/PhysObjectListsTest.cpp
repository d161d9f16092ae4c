// Flattened body lists, energy, normal speeds, below-level marking, the NaN and ring checks,
// the overlap audits and the collision-group dump.
#include "collision/CollisionTolerance.h"
#include "collision/FaceList.h"
#include "collision/PairTestShapes.h"
#include "core/Error.h"
#include "core/Memory.h"
#include "physics/Body.h"
#include "physics/Joint.h"
#include "physics/PhysMemory.h"
#include "physics/PhysObjectLists.h"
#include "physics/WorldCollision.h"
#include "physics/PhysSettings.h"
#include "RawAllocFailure.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <cstdio>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace
{
using pairtest::V;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

std::vector<std::string> gReports;

void RecordingHook(int32_t code, const char *text)
{
    gReports.push_back(std::to_string(code) + ") " + (text ? text : "(none)"));
}

// Records the physics error reports of a test.
class PhysChecksTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        gReports.clear();
        bz_Phys_SetErrorHook(RecordingHook);
    }
    void TearDown() override { bz_Phys_SetErrorHook(nullptr); }
};

// Links parent -> children in order.
void Adopt(BZDObject *parent, std::initializer_list<BZDObject *> children)
{
    BZDObject **slot = &parent->firstChild;
    for (BZDObject *c : children)
    {
        c->parent = parent;
        *slot = c;
        slot = &c->nextSibling;
    }
}

// The bodies of a flat list, by their index in the array.
std::vector<int> Order(const BZDObject *head, const BZDObject *base, size_t n)
{
    std::vector<int> out;
    for (const BZDObject *b = head; b && out.size() <= n + 1; b = b->flatNext)
        out.push_back(static_cast<int>(b - base));
    return out;
}

// A ring of roots through the ring links: 0 -> 1 -> ... -> n-1 -> 0.
void MakeRing(std::vector<BZDObject> &roots)
{
    for (size_t i = 0; i < roots.size(); ++i)
        roots[i].ring = &roots[(i + 1) % roots.size()];
}

TEST(PhysObjectListsTest, TreesAndGroupsFlattenDepthFirst)
{
    // 0 with children 1 (child 2) and 3; its sibling 4 with child 5. 6 is 0's parent.
    BZDObject b[7] = {};
    Adopt(&b[6], {&b[0], &b[4]});
    Adopt(&b[0], {&b[1], &b[3]});
    Adopt(&b[1], {&b[2]});
    Adopt(&b[4], {&b[5]});
    for (BZDObject &x : b)
        x.flatNext = &b[6]; // stale links are overwritten

    EXPECT_EQ(Order(bz_PhysObject_FlattenTree(&b[0]), b, 7), (std::vector<int>{0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(bz_PhysObject_FlattenTree(nullptr), nullptr);

    // Descendants only, appended at a slot; the last slot comes back holding null.
    BZDObject *head = &b[6];
    BZDObject **last = bz_PhysObject_AppendDescendants(&b[0], &head);
    EXPECT_EQ(Order(head, b, 7), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(last, &b[3].flatNext);
    EXPECT_EQ(*last, nullptr);
    // A leaf appends nothing and hands its slot back.
    BZDObject *leafHead = &b[6];
    EXPECT_EQ(bz_PhysObject_AppendDescendants(&b[2], &leafHead), &leafHead);
    EXPECT_EQ(leafHead, nullptr);
}

TEST(PhysObjectListsTest, GroupFlattenGoesOnceAroundTheRingFromTheGivenRoot)
{
    // Roots 0, 1, 2 in a ring; 1 has children 3 and 4; 3 has a sibling of 1 that is no root (5).
    BZDObject b[6] = {};
    b[0].ring = &b[1];
    b[1].ring = &b[2];
    b[2].ring = &b[0];
    Adopt(&b[1], {&b[3], &b[4]});
    b[1].nextSibling = &b[5]; // a root's siblings are not in its group
    EXPECT_EQ(Order(bz_PhysGroup_Flatten(&b[2]), b, 6), (std::vector<int>{2, 0, 1, 3, 4}));
    EXPECT_EQ(Order(bz_PhysGroup_Flatten(&b[1]), b, 6), (std::vector<int>{1, 3, 4, 2, 0}));
    // A root without ring link is a group of its own.
    BZDObject lone = {};
    EXPECT_EQ(bz_PhysGroup_Flatten(&lone), &lone);
    EXPECT_EQ(lone.flatNext, nullptr);
    EXPECT_EQ(bz_PhysGroup_Flatten(nullptr), nullptr);
}

TEST(PhysObjectListsTest, PendingVelocitiesBecomeCurrentOverTheChainAndBelow)
{
    BZDObject b[5] = {};
    // 0 is the parent of the chain 1, 2; 2 has child 3; 4 stands apart.
    Adopt(&b[0], {&b[1], &b[2]});
    Adopt(&b[2], {&b[3]});
    for (int i = 0; i < 5; ++i)
    {
        const float f = static_cast<float>(i + 1);
        b[i].linearVelocity = V(9, 9, 9);
        b[i].angularVelocity = V(8, 8, 8);
        b[i].pendingLinearVelocity = V(f, 2 * f, 3 * f);
        b[i].pendingAngularVelocity = V(-f, 0, f);
        b[i].pendingStepWord = 77;
    }
    bz_PhysObject_ApplyPendingVelocities(&b[1]);
    for (int i : {1, 2, 3})
    {
        const float f = static_cast<float>(i + 1);
        EXPECT_EQ(b[i].linearVelocity.y, 2 * f) << i;
        EXPECT_EQ(b[i].linearVelocity.z, 3 * f) << i;
        EXPECT_EQ(b[i].angularVelocity.x, -f) << i;
        EXPECT_EQ(b[i].pendingStepWord, 0u) << i;
    }
    for (int i : {0, 4})
    {
        EXPECT_EQ(b[i].linearVelocity.x, 9.0f) << i;
        EXPECT_EQ(b[i].pendingStepWord, 77u) << i;
    }
}

TEST(PhysObjectListsTest, EnergyIsTwiceKineticAndFixedBodiesHaveNoneOfTheirOwn)
{
    BZDObject a = {};
    a.mass = 2;
    a.linearVelocity = V(1, 2, 3);   // 2 * 14 = 28
    a.principalMoments = V(1, 2, 3); // 1 * 1 + 2 * 1 + 3 * 4 = 15
    a.angularVelocity = V(1, -1, 2);
    EXPECT_FLOAT_EQ(bz_PhysObject_KineticEnergy(&a), 43.0f);

    // A fixed parent with a moving child: the parent's mass counts, its energy does not.
    BZDObject parent = a, child = {};
    parent.physicsFlags = BZ_PHYS_FIXED;
    child.mass = 4;
    child.linearVelocity = V(0, 0, 1); // 4
    Adopt(&parent, {&child});
    float mass = 1.0f;
    EXPECT_FLOAT_EQ(bz_PhysObject_SumEnergy(&parent, &mass), 4.0f);
    EXPECT_FLOAT_EQ(mass, 7.0f);
    // Either fixing bit alone leaves a body its energy.
    parent.physicsFlags = BZ_PHYS_INF_MASS;
    mass = 0.0f;
    EXPECT_FLOAT_EQ(bz_PhysObject_SumEnergy(&parent, &mass), 47.0f);

    // A group of two roots: (43 + 4 + 4) / (2 + 4 + 4).
    BZDObject other = child;
    other.parent = nullptr;
    parent.ring = &other;
    other.ring = &parent;
    EXPECT_FLOAT_EQ(bz_PhysGroup_MeanEnergy(&parent), 51.0f / 10.0f);
    EXPECT_FLOAT_EQ(bz_PhysGroup_MeanEnergy(&other), 51.0f / 10.0f);

    // All fixed: 0 over the total mass.
    parent.physicsFlags = child.physicsFlags = other.physicsFlags = BZ_PHYS_FIXED;
    EXPECT_EQ(bz_PhysGroup_MeanEnergy(&parent), 0.0f);
    // No mass at all: 0, not a division by it.
    parent.mass = child.mass = other.mass = 0.0f;
    parent.physicsFlags = child.physicsFlags = other.physicsFlags = 0;
    const float mean = bz_PhysGroup_MeanEnergy(&parent);
    EXPECT_EQ(mean, 0.0f);
}

TEST(PhysObjectListsTest, NormalSpeedOfOneAndTwoBodiesAndTheStoredSpeeds)
{
    BZDObject a = {}, b = {};
    a.angularVelocity = V(0, 0, 1);
    a.velocityChange = V(0, 0.5f, 2);
    b.angularVelocity = V(1, 0, 0);
    b.velocityChange = V(0, 0, 3);
    bzPhysRow row = {};
    row.bodyA = &a;
    row.rA = V(1, 0, 0); // w x p = (0, 1, 0)
    row.nA = V(0, 1, 0); // -(1 + 0.5) = -1.5
    EXPECT_FLOAT_EQ(bz_PhysContact_NormalSpeed(&row), -1.5f);
    row.bodyB = &b;
    row.rB = V(0, 1, 0);  // w x p = (0, 0, 1)
    row.nB = V(0, 0, -1); // -(1 + 3) * -1 = 4
    EXPECT_FLOAT_EQ(bz_PhysContact_NormalSpeed(&row), 2.5f);

    // Twelve rows; row 3 is angular and keeps the speed stored before; only ten are stored.
    std::vector<bzPhysRow> rows(12, row);
    std::vector<const bzPhysRow *> pointers;
    for (size_t i = 0; i < rows.size(); ++i)
    {
        rows[i].bodyB = nullptr;
        rows[i].nA = V(0, static_cast<float>(i), 0); // speed -1.5 i
        pointers.push_back(&rows[i]);
    }
    rows[3].type = BZ_ROW_ANGULAR_JOINT;
    std::vector<bzPhysRow> before(12, row);
    std::vector<const bzPhysRow *> beforePointers;
    for (size_t i = 0; i < before.size(); ++i)
    {
        before[i].bodyB = nullptr;
        before[i].nA = V(0, -10.0f, 0); // 15
        beforePointers.push_back(&before[i]);
    }
    bz_PhysContacts_StoreNormalSpeeds(beforePointers.data(), 12);
    bz_PhysContacts_StoreNormalSpeeds(pointers.data(), 12);
    for (int i = 0; i < 10; ++i)
        EXPECT_FLOAT_EQ(bz_PhysContacts_StoredNormalSpeed(i), i == 3 ? 15.0f : -1.5f * i) << i;
    EXPECT_EQ(bz_PhysContacts_StoredNormalSpeed(10), 0.0f);
    EXPECT_EQ(bz_PhysContacts_StoredNormalSpeed(-1), 0.0f);
}

// A body whose collision cache holds the given faces in its gather list.
struct FaceCacheBody
{
    BZDObject body = {};
    bzDynCollisionCache cache = {};
    bzDynFaceList list = {};
    std::vector<bzDynFaceHit> faces;

    FaceCacheBody(const FaceCacheBody &) = delete;
    explicit FaceCacheBody(const std::vector<std::array<float, 3>> &heights)
    {
        for (const auto &h : heights)
        {
            bzDynFaceHit f = {};
            for (int k = 0; k < 3; ++k)
                f.vertices[k] = V(static_cast<float>(k), h[k], 0.0f);
            f.flags = 0x20;
            faces.push_back(f);
        }
        list.capacity = list.count = static_cast<int32_t>(faces.size());
        list.entries = faces.data();
        cache.gatherList = &list;
        body.collisionCache = &cache;
        body.physicsFlags = BZ_PHYS_MARK_BELOW_LEVEL;
        body.levelHeight = 1.0f;
        body.levelOffset = 0.5f;
    }
};

TEST(PhysObjectListsTest, FacesWhollyBelowTheLevelLessTheToleranceAreMarked)
{
    ASSERT_EQ(bzCollisionTolerance, 0.01f);
    const float threshold = 1.5f - 0.01f;
    FaceCacheBody b({{1.0f, 1.2f, -3.0f},     // below
                     {1.0f, threshold, 0.0f}, // one corner at the threshold: not below
                     {2.0f, 2.0f, 2.0f},      // above
                     {1.48f, 1.48f, 1.48f}}); // below
    b.faces[1].flags |= BZ_FACE_BELOW_LEVEL;  // a stale mark goes
    bz_PhysObject_MarkFacesBelowLevel(&b.body);
    EXPECT_FLOAT_EQ(bz_PhysWorld_Level(), 1.5f);
    EXPECT_EQ(bz_PhysWorld_EveryFaceBelow(), 0);
    const uint32_t expected[4] = {0x20 | BZ_FACE_BELOW_LEVEL, 0x20, 0x20,
                                  0x20 | BZ_FACE_BELOW_LEVEL};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(b.faces[i].flags, expected[i]) << i;

    // Every face below: the flag stays 1.
    FaceCacheBody low({{0, 0, 0}, {1.4f, 1.4f, 1.4f}});
    bz_PhysObject_MarkFacesBelowLevel(&low.body);
    EXPECT_EQ(bz_PhysWorld_EveryFaceBelow(), 1);
    // An empty cache leaves every (no) face below.
    FaceCacheBody none(std::vector<std::array<float, 3>>{});
    bz_PhysObject_MarkFacesBelowLevel(&none.body);
    EXPECT_EQ(bz_PhysWorld_EveryFaceBelow(), 1);
}

TEST(PhysObjectListsTest, WithoutTheFlagOrTheOffsetTheLevelIsZeroAndNothingIsMarked)
{
    struct Case
    {
        uint32_t flags;
        float offset;
    } cases[] = {{0, 0.5f}, {BZ_PHYS_MARK_BELOW_LEVEL, 0.0f}, {BZ_PHYS_MARK_BELOW_LEVEL, -0.0f}};
    for (const Case &c : cases)
    {
        // A marking before sets the level and clears the every-face flag.
        FaceCacheBody first({{9, 9, 9}});
        bz_PhysObject_MarkFacesBelowLevel(&first.body);
        ASSERT_EQ(bz_PhysWorld_EveryFaceBelow(), 0);
        ASSERT_NE(bz_PhysWorld_Level(), 0.0f);

        FaceCacheBody b({{0, 0, 0}});
        b.body.physicsFlags = c.flags;
        b.body.levelOffset = c.offset;
        bz_PhysObject_MarkFacesBelowLevel(&b.body);
        EXPECT_EQ(bz_PhysWorld_Level(), 0.0f);
        EXPECT_EQ(b.faces[0].flags, 0x20u) << "unmarked";
        EXPECT_EQ(bz_PhysWorld_EveryFaceBelow(), 0) << "left as it was";
    }
    // A body without a cache still sets the level.
    BZDObject bare = {};
    bare.physicsFlags = BZ_PHYS_MARK_BELOW_LEVEL;
    bare.levelHeight = 2.0f;
    bare.levelOffset = 1.0f;
    bz_PhysObject_MarkFacesBelowLevel(&bare);
    EXPECT_EQ(bz_PhysWorld_Level(), 3.0f);
    EXPECT_EQ(bz_PhysWorld_EveryFaceBelow(), 1);
}

TEST_F(PhysChecksTest, SumsThatAreNotFiniteAreReportedWhereverTheBadValueSits)
{
    for (int count = 0; count <= 9; ++count)
    {
        std::vector<float> values(count, 1.5f);
        gReports.clear();
        EXPECT_EQ(bz_Phys_CheckSumFinite(values.data(), count), 1);
        EXPECT_TRUE(gReports.empty());
        for (int bad = 0; bad < count; ++bad)
            for (float f : {kNaN, kInf, -kInf})
            {
                std::vector<float> v = values;
                v[bad] = f;
                gReports.clear();
                EXPECT_EQ(bz_Phys_CheckSumFinite(v.data(), count), 0) << count << " " << bad;
                EXPECT_EQ(gReports, (std::vector<std::string>{"10) Nan in physics"}));
            }
    }
    // Finite values whose sum overflows are not finite either.
    const float big[2] = {3e38f, 3e38f};
    EXPECT_EQ(bz_Phys_CheckSumFinite(big, 2), 0);
    EXPECT_EQ(bz_Phys_CheckSumFinite(nullptr, 3), 1);
}

TEST_F(PhysChecksTest, BodyVelocitiesThatAreNotFiniteAreReported)
{
    EXPECT_EQ(bz_PhysObject_CheckFinite(nullptr), 1);
    BZDObject b = {};
    b.linearVelocity = V(1, 2, 3);
    b.angularVelocity = V(1, 1, 1);
    EXPECT_EQ(bz_PhysObject_CheckFinite(&b), 1);
    EXPECT_TRUE(gReports.empty());
    b.velocityChange = V(0, kNaN, 0);
    EXPECT_EQ(bz_PhysObject_CheckFinite(&b), 0);
    // An infinite velocity against a zero spin gives a NaN product.
    b.velocityChange = V(0, 0, 0);
    b.linearVelocity = V(kInf, 0, 0);
    b.angularVelocity = V(0, 0, 1);
    EXPECT_EQ(bz_PhysObject_CheckFinite(&b), 0);
    EXPECT_EQ(gReports, (std::vector<std::string>(2, "10) Nan in physics")));
}

TEST_F(PhysChecksTest, RingsOfMoreThanAHundredRootsAreCorrupt)
{
    struct Case
    {
        size_t roots;
        int reports;
    } cases[] = {{1, 0}, {2, 0}, {100, 0}, {101, 1}, {102, 2}, {130, 30}};
    for (const Case &c : cases)
    {
        std::vector<BZDObject> ring(c.roots);
        MakeRing(ring);
        gReports.clear();
        const uint32_t reports = bz_Error_ReportCount();
        EXPECT_EQ(bz_PhysGroup_CheckRing(&ring[c.roots / 2]), c.reports) << c.roots;
        EXPECT_EQ(gReports, std::vector<std::string>(c.reports, "10) Corrupt group"));
        EXPECT_EQ(bz_Error_ReportCount(), reports + c.reports);
        if (c.reports)
        {
            EXPECT_STREQ(bz_Error_LastReportCaption(), "Physics Error");
            const std::string text = bz_Error_LastReportText();
            EXPECT_EQ(text.substr(0, text.find('\n')), "10) Corrupt group");
        }
    }
    BZDObject lone = {};
    EXPECT_EQ(bz_PhysGroup_CheckRing(&lone), 0);
}

TEST_F(PhysChecksTest, RingsThatNeverComeBackAreReportedOnceAndEveryWalkEnds)
{
    // 0 -> 1 -> 2 -> 3 -> 4 -> 2: the loop leaves the root out.
    BZDObject b[5] = {};
    for (int i = 0; i < 4; ++i)
        b[i].ring = &b[i + 1];
    b[4].ring = &b[2];
    EXPECT_EQ(bz_PhysGroup_CheckRing(&b[0]), 1);
    EXPECT_EQ(gReports, (std::vector<std::string>{"10) Corrupt group"}));
    // The other walks give each root once.
    EXPECT_EQ(Order(bz_PhysGroup_Flatten(&b[0]), b, 5), (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_EQ(bz_PhysGroup_MeanEnergy(&b[0]), 0.0f);
    // A loop of one other body, and a loop right after the root.
    b[4].ring = &b[4];
    EXPECT_EQ(Order(bz_PhysGroup_Flatten(&b[0]), b, 5), (std::vector<int>{0, 1, 2, 3, 4}));
    b[1].ring = &b[1];
    EXPECT_EQ(Order(bz_PhysGroup_Flatten(&b[0]), b, 5), (std::vector<int>{0, 1}));

    // A null link inside the ring.
    std::vector<BZDObject> broken(5);
    MakeRing(broken);
    broken[3].ring = nullptr;
    gReports.clear();
    EXPECT_EQ(bz_PhysGroup_CheckRing(&broken[0]), 1);
    EXPECT_EQ(Order(bz_PhysGroup_Flatten(&broken[0]), broken.data(), 5),
              (std::vector<int>{0, 1, 2, 3}));
    // A long tail into a loop: the length reports already tell.
    std::vector<BZDObject> tail(150);
    for (size_t i = 0; i + 1 < tail.size(); ++i)
        tail[i].ring = &tail[i + 1];
    tail.back().ring = &tail[140];
    gReports.clear();
    EXPECT_EQ(bz_PhysGroup_CheckRing(&tail[0]), 50);
}

// Bodies with unit-sphere forms placed by their start-of-step and current transforms.
struct SphereBodies
{
    static constexpr int kCount = 4;
    pairtest::FormPtr forms[kCount];
    BZDObject b[kCount] = {};
    bzM34 now[kCount];

    SphereBodies()
    {
        for (int i = 0; i < kCount; ++i)
        {
            forms[i] = pairtest::Sphere(V(0, 0, 0), 1.0f);
            b[i].form = forms[i].get();
            // Far apart at the start and now.
            b[i].startTransform = pairtest::Translation(10.0f * i, 0, 0);
            now[i] = b[i].startTransform;
            b[i].transform = &now[i];
        }
    }
    void Start(int i, float x) { b[i].startTransform = pairtest::Translation(x, 0, 0); }
    void Now(int i, float x) { now[i] = pairtest::Translation(x, 0, 0); }
};

TEST(PhysObjectListsTest, TreesOverlapThroughAnyOfTheirBodies)
{
    SphereBodies s;
    Adopt(&s.b[0], {&s.b[1]});
    Adopt(&s.b[2], {&s.b[3]});
    EXPECT_EQ(bz_PhysObject_TreesOverlap(&s.b[0], &s.b[2]), 0);
    // A child of A against B's child.
    s.Now(1, 28.5f);
    EXPECT_EQ(bz_PhysObject_TreesOverlap(&s.b[0], &s.b[2]), 1);
    EXPECT_EQ(bz_PhysObject_TreesOverlap(&s.b[2], &s.b[0]), 1);
    // The start-of-step placement does not count.
    s.Now(1, 10.0f);
    s.Start(1, 30.0f);
    EXPECT_EQ(bz_PhysObject_TreesOverlap(&s.b[0], &s.b[2]), 0);
    // A body without a current transform is placed by its start-of-step one.
    s.b[1].transform = nullptr;
    EXPECT_EQ(bz_PhysObject_TreesOverlap(&s.b[0], &s.b[2]), 1);
}

TEST(PhysObjectListsTest, OverlapAuditsFilterPairsAsTheyShould)
{
    // A chain of two roots, 0 and 2, with children 1 (of 0) and 3 (of 2).
    struct Case
    {
        const char *name;
        int a, b;                 // the overlapping pair, at the start and now
        uint32_t flagsA, flagsB;  // physics flags of a and b
        uint32_t groupA, ignoreB; // a's group mask and b's ignore mask
        uint32_t parentFlags;     // flags of a's parent (when a has one)
        int expected;
    } cases[] = {
        {"plain pair", 0, 2, 0, 0, 0, 0, 0, 1},
        {"child against other root", 1, 2, 0, 0, 0, 0, 0, 1},
        {"parent and child", 0, 1, 0, 0, 0, 0, 0, 0},
        {"masks exclude", 0, 2, 0, 0, 4, 4, 0, 0},
        {"masks apart", 0, 2, 0, 0, 4, 8, 0, 1},
        {"no collision on a", 0, 2, BZ_PHYS_NO_COLLISION, 0, 0, 0, 0, 0},
        {"no collision on b", 0, 2, 0, BZ_PHYS_NO_COLLISION, 0, 0, 0, 0},
        {"other bits do not filter", 0, 2, BZ_PHYS_NO_CHILD_AUDIT, BZ_PHYS_WELDED, 0, 0, 0, 1},
    };
    for (const Case &c : cases)
    {
        SphereBodies s;
        Adopt(&s.b[0], {&s.b[1]});
        Adopt(&s.b[2], {&s.b[3]});
        s.b[0].nextSibling = &s.b[2];
        s.b[0].parent = s.b[2].parent = nullptr;
        s.b[c.a].physicsFlags = c.flagsA;
        s.b[c.b].physicsFlags = c.flagsB;
        s.b[c.a].groupMask = c.groupA;
        s.b[c.b].ignoreMask = c.ignoreB;
        // Overlapping at the start-of-step placements only.
        s.Start(c.a, 100.0f);
        s.Start(c.b, 101.0f);
        EXPECT_EQ(bz_PhysGroup_OverlapsAtStart(&s.b[0]), c.expected) << c.name;
        EXPECT_EQ(bz_PhysGroup_NewOverlaps(&s.b[0]), 0) << c.name;
        // Now the other way round: overlapping now only, which is new.
        s.Start(c.a, 100.0f);
        s.Start(c.b, 200.0f);
        s.Now(c.a, 50.0f);
        s.Now(c.b, 51.0f);
        EXPECT_EQ(bz_PhysGroup_OverlapsAtStart(&s.b[0]), 0) << c.name;
        EXPECT_EQ(bz_PhysGroup_NewOverlaps(&s.b[0]), c.expected) << c.name;
        // Overlapping at both: not new.
        s.Start(c.b, 50.5f);
        s.Start(c.a, 50.0f);
        EXPECT_EQ(bz_PhysGroup_NewOverlaps(&s.b[0]), 0) << c.name;
        // The group audit filters nothing (b[0]'s ring is itself: its tree and sibling are
        // flattened only through the ring, so group both roots).
        s.b[0].ring = &s.b[2];
        s.b[2].ring = &s.b[0];
        EXPECT_EQ(bz_PhysGroup_AnyOverlap(&s.b[2]), 1) << c.name;
    }
}

TEST(PhysObjectListsTest, SiblingsOfAnUnauditedParentAreNotReported)
{
    SphereBodies s;
    Adopt(&s.b[0], {&s.b[1], &s.b[2], &s.b[3]});
    s.Start(1, 100.0f);
    s.Start(2, 101.0f);
    EXPECT_EQ(bz_PhysGroup_OverlapsAtStart(&s.b[0]), 1);
    s.b[0].physicsFlags = BZ_PHYS_NO_CHILD_AUDIT;
    EXPECT_EQ(bz_PhysGroup_OverlapsAtStart(&s.b[0]), 0);
    // A child of the unaudited parent against a body elsewhere still counts.
    SphereBodies t;
    s.b[0].nextSibling = &t.b[0];
    t.Start(0, 101.5f);
    EXPECT_EQ(bz_PhysGroup_OverlapsAtStart(&s.b[0]), 1);
    // And the group audit filters nothing.
    s.b[0].nextSibling = nullptr;
    EXPECT_EQ(bz_PhysGroup_AnyOverlap(&s.b[0]), 0) << "current placements apart";
    s.Now(2, 10.5f);
    EXPECT_EQ(bz_PhysGroup_AnyOverlap(&s.b[0]), 1);
}

// --- the dump -----------------------------------------------------------------------------

std::string gShapeText = "shape-text\n";

int32_t FakeShapeWriter(char *buffer, int32_t room, const bzForm *form, uint32_t flags)
{
    if (!(flags & 1))
        return 0;
    const std::string text = form ? gShapeText : "(no_shape)\n";
    const int32_t n =
        static_cast<int32_t>(text.size()) < room ? static_cast<int32_t>(text.size()) : room;
    std::memcpy(buffer, text.data(), n);
    return n;
}

std::string ReadDump(const ScopedTempDir &dir)
{
    std::ifstream in(dir.path() + "/../CollisionGroup.txt", std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

size_t Count(const std::string &text, const std::string &what)
{
    size_t n = 0;
    for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1))
        ++n;
    return n;
}

class PhysDumpTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        gShapeText = "shape-text\n";
        bz_PhysGroup_SetShapeTextWriter(FakeShapeWriter);
        stackLeft_ = bz_TempStack_SpaceLeft(1, 0);
    }
    void TearDown() override
    {
        bz_PhysGroup_SetShapeTextWriter(nullptr);
        EXPECT_EQ(bz_TempStack_SpaceLeft(1, 0), stackLeft_) << "the buffer is given back";
    }
    ScopedTempDir dir_;
    uint32_t stackLeft_ = 0;
};

TEST_F(PhysDumpTest, OneBodyGivesItsShapeAndBothPlacements)
{
    pairtest::FormPtr form = pairtest::Sphere(V(0, 0, 0), 1.0f);
    BZDObject b = {};
    b.form = form.get();
    b.startTransform = pairtest::Translation(1, 2, 3);
    bzM34 now = {{V(0, 1, 0), V(-1, 0, 0), V(0, 0, 1), V(4.5f, -2, 0.25f)}};
    b.transform = &now;
    EXPECT_EQ(bz_PhysGroup_DumpCollisionGroup(&b), 0);
    EXPECT_EQ(ReadDump(dir_), "[object]\n<shape>\nshape-text\n<start_pos>\n1,0,0\n0,1,0\n0,0,1\n"
                              "1,2,3\n<end_pos>\n0,1,0\n-1,0,0\n0,0,1\n4.5,-2,0.25\n");
}

TEST_F(PhysDumpTest, EveryRootsTreeInRingOrderAndNotTheRootsSiblings)
{
    BZDObject b[5] = {};
    for (int i = 0; i < 5; ++i)
        b[i].startTransform = pairtest::Translation(static_cast<float>(i), 0, 0);
    // Roots 0 and 3 in a ring; 0 has children 1 (child 2); 3's sibling 4 is no root.
    Adopt(&b[0], {&b[1]});
    Adopt(&b[1], {&b[2]});
    b[0].ring = &b[3];
    b[3].ring = &b[0];
    b[3].nextSibling = &b[4];
    ASSERT_EQ(bz_PhysGroup_DumpCollisionGroup(&b[3]), 0);
    const std::string text = ReadDump(dir_);
    std::vector<std::string> translations;
    for (size_t p = text.find("<end_pos>\n"); p != std::string::npos;
         p = text.find("<end_pos>\n", p + 1))
    {
        // The fourth line after the marker is the translation.
        size_t q = p + 10;
        for (int k = 0; k < 3; ++k)
            q = text.find('\n', q) + 1;
        translations.push_back(text.substr(q, text.find('\n', q) - q));
    }
    EXPECT_EQ(translations, (std::vector<std::string>{"3,0,0", "0,0,0", "1,0,0", "2,0,0"}));
    EXPECT_EQ(Count(text, "(no_shape)\n"), 4u) << "formless bodies go to the writer as null";
}

TEST_F(PhysDumpTest, AGroupPastTheBufferIsCutAfterItsLastWholeBody)
{
    // Each body's entry: 17 + shape text + 12 + 4 * 6 + 10 + 4 * 6 characters.
    gShapeText = std::string(999, 'x') + "\n";
    const size_t entry = 17 + gShapeText.size() + 12 + 24 + 10 + 24;
    std::vector<BZDObject> ring(200);
    pairtest::FormPtr form = pairtest::Sphere(V(0, 0, 0), 1.0f);
    for (BZDObject &b : ring)
    {
        b.form = form.get();
        b.startTransform = pairtest::Translation(1, 1, 1);
    }
    MakeRing(ring);
    ASSERT_GT(entry * ring.size(), 102400u);
    EXPECT_EQ(bz_PhysGroup_DumpCollisionGroup(&ring[0]), 0);
    const std::string text = ReadDump(dir_);
    const size_t whole = (102400 - 12) / entry;
    EXPECT_EQ(text.size(), whole * entry + 12);
    EXPECT_LE(text.size(), 102400u);
    EXPECT_EQ(Count(text, "[object]"), whole);
    EXPECT_EQ(text.substr(text.size() - 12 - 6), "1,1,1\n[truncated]\n");

    // A shape text that fills the writer's whole room is taken as cut too.
    gShapeText = std::string(200000, 'y');
    EXPECT_EQ(bz_PhysGroup_DumpCollisionGroup(&ring[0]), 0);
    EXPECT_EQ(ReadDump(dir_), "[truncated]\n");
}

TEST_F(PhysDumpTest, NoBufferOrNoFileIsAFailureAndNothingIsLeftTaken)
{
    BZDObject b = {};
    // No room on the stack for the buffer, nor in the heap behind it.
    const uint32_t left = bz_TempStack_SpaceLeft(1, 0);
    void *filler = left > 1000 ? bz_TempStack_Alloc(1, left - 1000, 0) : nullptr;
    ASSERT_NE(filler, nullptr);
    {
        RawAllocFailure failing;
        EXPECT_EQ(bz_PhysGroup_DumpCollisionGroup(&b), BZ_ERROR_NO_MEMORY);
    }
    bz_TempStack_Free(1, filler);
    struct stat st;
    EXPECT_NE(stat((dir_.path() + "/../CollisionGroup.txt").c_str(), &st), 0) << "no file";
    // The file's name taken by a directory.
    ASSERT_EQ(mkdir((dir_.path() + "/../CollisionGroup.txt").c_str(), 0755), 0);
    EXPECT_EQ(bz_PhysGroup_DumpCollisionGroup(&b), BZ_ERROR_FILE_NOT_FOUND);
    rmdir((dir_.path() + "/../CollisionGroup.txt").c_str());
}

TEST_F(PhysDumpTest, WithoutAWriterTheShapeTextIsLeftOut)
{
    bz_PhysGroup_SetShapeTextWriter(nullptr);
    BZDObject b = {};
    bz_M34_SetIdentity(&b.startTransform);
    EXPECT_EQ(bz_PhysGroup_DumpCollisionGroup(&b), 0);
    EXPECT_EQ(ReadDump(dir_), "[object]\n<shape>\n<start_pos>\n1,0,0\n0,1,0\n0,0,1\n0,0,0\n"
                              "<end_pos>\n1,0,0\n0,1,0\n0,0,1\n0,0,0\n");
}
} // namespace

namespace
{
TEST(PhysAuditsTest, LockedJointsMustKeepTheirAnchorsTogether)
{
    // 0 -> child 1 -> grandchild 2, each joined to its parent by the anchor (1, 0, 0) of the
    // parent and (0, 0, 0) of the child, one unit further along x.
    BZDObject b[3] = {};
    BZDJoint joints[3] = {};
    for (int i = 0; i < 3; ++i)
    {
        b[i].startTransform = pairtest::Translation(static_cast<float>(i), 0, 0);
        joints[i].kind = 0x0003;
        joints[i].parentAnchor = V(1, 0, 0);
        b[i].parentJoint = &joints[i];
    }
    Adopt(&b[0], {&b[1]});
    Adopt(&b[1], {&b[2]});
    EXPECT_EQ(bz_PhysObject_CheckJoints(&b[0]), 0) << "the root's joint has no parent to check";
    struct Case
    {
        uint16_t kind;
        float offset;
        int expected;
    } cases[] = {{0x0003, 0.009f, 0}, {0x0003, 0.011f, 1}, {0x0303, 0.011f, 1},
                 {0x0002, 0.5f, 0},   {0x0001, 0.5f, 0},   {0x0300, 0.5f, 0}};
    for (const Case &c : cases)
    {
        joints[2].kind = c.kind;
        b[2].startTransform = pairtest::Translation(2.0f, c.offset, 0);
        EXPECT_EQ(bz_PhysObject_CheckJoints(&b[0]), c.expected) << c.kind << " " << c.offset;
    }
}

// A body at the origin with its centre of mass at (1, 0, 0) and a contact point on it there.
struct MovingBody
{
    BZDObject body = {};
    bzM34 now;
    explicit MovingBody(float x)
    {
        bz_M34_SetIdentity(&body.startTransform);
        body.startTransform.row[3] = V(x, 0, 0);
        now = body.startTransform;
        body.transform = &now;
        body.centreOfMass = V(1, 0, 0);
    }
    // Moves the current placement by dt of the velocity v and the spin about z (radians a
    // second, turning x towards y).
    void Move(bzV3 v, float spin, float dt)
    {
        const float a = spin * dt, c = std::cos(a), s = std::sin(a);
        now.row[0] = V(c, s, 0);
        now.row[1] = V(-s, c, 0);
        // The centre of mass turns in place: the origin swings about it.
        const bzV3 &start = body.startTransform.row[3];
        now.row[3] = V(start.x + 1 - c + v.x * dt, -s + v.y * dt, v.z * dt);
    }
};

TEST(PhysAuditsTest, ContactPointVelocitiesMustAgreeWithTheMotion)
{
    const float dt = bzPhysStepLength;
    ASSERT_EQ(dt, 0.04f);
    struct Case
    {
        bzV3 moved;    // velocity that moved the placement
        float spin;    // about z, moved by it too
        bzV3 velocity; // what the body says
        bzV3 angular;  // what the body says, body frame
        int expected;
    } cases[] = {
        {V(1, 0, 0), 0, V(1, 0, 0), V(0, 0, 0), 0},
        {V(1, 0, 0), 0, V(1.4f, 0, 0), V(0, 0, 0), 0},
        {V(1, 0, 0), 0, V(1.6f, 0, 0), V(0, 0, 0), 1},
        {V(0, 0, 0), 2, V(0, 0, 0), V(0, 0, 2), 0},
        {V(0, 0, 0), 2, V(0, 0, 0), V(0, 0, -2), 1},
        {V(0, 3, 0), 2, V(0, 3, 0), V(0, 0, 2), 0},
    };
    for (const Case &c : cases)
    {
        MovingBody m(5.0f);
        m.Move(c.moved, c.spin, dt);
        m.body.linearVelocity = c.velocity;
        m.body.angularVelocity = c.angular;
        bzPhysRow row = {};
        row.bodyA = &m.body;
        row.rA = V(0, 1, 0); // one unit from the centre, along y
        const bzPhysRow *rows[1] = {&row};
        EXPECT_EQ(bz_PhysContacts_CheckVelocities(1, rows), c.expected)
            << c.velocity.x << " " << c.angular.z;
    }

    // Two bodies: each agrees with its own motion, or their relative velocity is compared.
    MovingBody a(0.0f), b(5.0f);
    a.Move(V(1, 0, 0), 0, dt);
    b.Move(V(1, 0, 0), 0, dt);
    a.body.linearVelocity = b.body.linearVelocity = V(1, 0, 0);
    bzPhysRow row = {};
    row.bodyA = &a.body;
    row.bodyB = &b.body;
    const bzPhysRow *rows[2] = {&row, &row};
    EXPECT_EQ(bz_PhysContacts_CheckVelocities(2, rows), 0);
    b.body.linearVelocity = V(1.3f, 0, 0); // within half of its own speed, not of the relative 0
    EXPECT_EQ(bz_PhysContacts_CheckVelocities(2, rows), 2);
    EXPECT_EQ(bz_PhysContacts_CheckVelocities(0, rows), 0);
}
} // namespace

namespace
{
bzPhysRow ContactRow(BZDObject *a, BZDObject *b, bzV3 rA, bzV3 nA)
{
    bzPhysRow r = {};
    r.bodyA = a;
    r.bodyB = b;
    r.type = BZ_ROW_CONTACT_PULLED;
    r.rA = rA;
    r.nA = nA;
    r.nB = nA;
    return r;
}
} // namespace

TEST(PhysAuditsTest, FactoringContactsTakesOnlyTheBodysRowsAndFindsDependentOnes)
{
    BZDObject a = {}, c = {};
    a.inverseMass = 0.5f;
    a.inversePrincipalMoments = bzV3{{{1.0f, 2.0f, 3.0f}}};
    c.inverseMass = 0.25f;
    c.inversePrincipalMoments = bzV3{{{1.0f, 1.0f, 1.0f}}};
    const bzV3 zero{{{0, 0, 0}}}, up{{{0, 1, 0}}}, side{{{1, 0, 0}}}, fore{{{0, 0, 1}}};

    // A lever arm (0,1,0) on (1,0,0): r x n = (0,0,-1), so the stored angular response is
    // (0,0,-3) and the diagonal 0.5 + 3 = 3.5; with a row through the centre along y the
    // matrix is diag(3.5, 0.5): nothing dependent. c's own row stays out of the table.
    bzPhysRow rows[4] = {ContactRow(&a, nullptr, up, side), ContactRow(&c, nullptr, zero, fore),
                         ContactRow(&a, nullptr, zero, up), ContactRow(&c, &a, zero, fore)};
    int32_t gathered = -1;
    EXPECT_EQ(bz_PhysObject_FactorContacts(&a, rows, 3, &gathered), 0);
    EXPECT_EQ(gathered, 2);
    EXPECT_FLOAT_EQ(rows[0].wA.z, -3.0f);
    EXPECT_FLOAT_EQ(rows[1].wA.z, 0.0f); // untouched
    // A row on which a is the second body counts as a's too.
    EXPECT_EQ(bz_PhysObject_FactorContacts(&a, rows, 4, &gathered), 0);
    EXPECT_EQ(gathered, 3);
    EXPECT_EQ(bz_PhysObject_FactorContacts(&c, rows, 4, &gathered), 0);
    EXPECT_EQ(gathered, 2);

    // The same row twice: the second depends on the first.
    bzPhysRow twice[2] = {ContactRow(&a, nullptr, up, side), ContactRow(&a, nullptr, up, side)};
    EXPECT_EQ(bz_PhysObject_FactorContacts(&a, twice, 2, &gathered), 1);
    EXPECT_EQ(gathered, 2);

    // Nothing to gather.
    EXPECT_EQ(bz_PhysObject_FactorContacts(nullptr, rows, 4, &gathered), 0);
    EXPECT_EQ(gathered, 0);
    EXPECT_EQ(bz_PhysObject_FactorContacts(&a, nullptr, 4, &gathered), 0);
    EXPECT_EQ(gathered, 0);
    EXPECT_EQ(bz_PhysObject_FactorContacts(&a, rows, 0, nullptr), 0);
}
