// The object pair collision's frame: body order, the start index and its four slots, contact
// insertion in time order, the normal agreement cut, fixed bodies, outcode clipping, the joint
// filter, the preparation's errors and the sizing of its work block. Handlers are stood in for
// where the frame alone is under test.
#include "PairTestBodies.h"

#include "collision/CollisionTolerance.h"
#include "core/Error.h"
#include "core/Memory.h"
#include "maths/Geometry.h"
#include "maths/Matrix.h"
#include "maths/Vector.h"
#include "physics/Joint.h"
#include "physics/PairHandlers.h"
#include "physics/PhysMemory.h"
#include "physics/PhysSettings.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace
{
using pairbody::PairBody;
using pairtest::AlignedCuboid;
using pairtest::V;

std::vector<std::pair<int32_t, std::string>> gErrors;
void RecordError(int32_t code, const char *text)
{
    gErrors.emplace_back(code, text ? text : "");
}

// What a stand-in handler saw and what it adds.
struct Script
{
    const BZDObject *first = nullptr;
    const BZDObject *second = nullptr;
    int calls = 0;
    std::vector<float> times;
    std::vector<bzV3> normals; // world, pushing the first body
};
Script gScript;

void ScriptHandler(const bzPhysShapePoint *, const bzPhysShapePoint *, int32_t, int32_t)
{
    bzPhysCollPair &s = bz_PhysColl_Pair();
    gScript.first = s.body[0];
    gScript.second = s.body[1];
    gScript.calls++;
    for (size_t i = 0; i < gScript.times.size(); i++)
    {
        const bzV3 n = i < gScript.normals.size() ? gScript.normals[i] : V(1, 0, 0);
        bz_PhysColl_Add(0, n, gScript.times[i], V(0, 0, 0), V(0, 0, 0),
                        BZ_PHYS_CONTACT_VERTEX_FACE);
    }
}

class PairCollisionTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        gErrors.clear();
        gScript = Script{};
        bz_Phys_SetErrorHook(RecordError);
        stackLeft_ = bz_TempStack_SpaceLeft(1, 0);
        saved_ = bz_PhysColl_SetContactHandler(1, 1, ScriptHandler);
        for (auto &c : contacts_)
            c.key = -7.0f;
    }
    void TearDown() override
    {
        bz_PhysColl_SetContactHandler(1, 1, saved_);
        bz_Phys_SetErrorHook(nullptr);
        EXPECT_EQ(bz_TempStack_SpaceLeft(1, 0), stackLeft_);
    }
    static pairtest::FormPtr Box() { return AlignedCuboid(V(-1, -1, -1), V(1, 1, 1)); }

    bzCollisionContact contacts_[BZ_PHYS_STEP_CONTACTS];
    uint32_t stackLeft_ = 0;
    bzPhysPairHandler saved_ = nullptr;
};

TEST_F(PairCollisionTest, TheLighterBodyComesFirstAndEqualOnesKeepTheirOrder)
{
    struct Case
    {
        float massA, massB;
        bool aFirst;
    };
    const Case cases[] = {{1.0f, 2.0f, true}, {2.0f, 1.0f, false}, {3.0f, 3.0f, true}};
    for (const Case &c : cases)
    {
        PairBody a(Box(), c.massA), b(Box(), c.massB);
        gScript = Script{};
        bz_PhysObject_CollidePair(0, a.get(), b.get(), contacts_);
        ASSERT_EQ(gScript.calls, 1);
        EXPECT_EQ(gScript.first, c.aFirst ? a.get() : b.get()) << c.massA << " " << c.massB;
    }
    // An inverse mass that is not a number never swaps.
    PairBody a(Box()), b(Box());
    a.body.inverseMass = NAN;
    b.body.inverseMass = 5.0f;
    bz_PhysObject_CollidePair(0, a.get(), b.get(), contacts_);
    EXPECT_EQ(gScript.first, a.get());
}

TEST_F(PairCollisionTest, StartIndexFiftySixFillsTheLastFourSlotsAndFiftySevenNone)
{
    PairBody a(Box()), b(Box());
    gScript.times = {0.4f, 0.1f, 0.3f, 0.2f};
    EXPECT_EQ(bz_PhysObject_CollidePair(56, a.get(), b.get(), contacts_), 4);
    const float want[] = {0.1f, 0.2f, 0.3f, 0.4f};
    for (int i = 0; i < 4; i++)
        EXPECT_FLOAT_EQ(contacts_[56 + i].key, want[i]);
    EXPECT_FLOAT_EQ(contacts_[55].key, -7.0f);

    for (auto &c : contacts_)
        c.key = -7.0f;
    gScript.calls = 0;
    EXPECT_EQ(bz_PhysObject_CollidePair(57, a.get(), b.get(), contacts_), 0);
    EXPECT_EQ(gScript.calls, 0);
    for (const auto &c : contacts_)
        EXPECT_FLOAT_EQ(c.key, -7.0f);
    EXPECT_EQ(bz_PhysObject_CollidePair(-1, a.get(), b.get(), contacts_), 0);
}

TEST_F(PairCollisionTest, NormalsThatDisagreeEndTheListEvenWhenLaterOnesAgreeAgain)
{
    PairBody a(Box()), b(Box());
    const float c96 = 0.96f, s96 = std::sqrt(1.0f - c96 * c96);
    const float c90 = 0.90f, s90 = std::sqrt(1.0f - c90 * c90);
    gScript.times = {0.1f, 0.2f, 0.3f, 0.4f};
    gScript.normals = {V(1, 0, 0), V(c96, s96, 0), V(c90, 0, s90), V(1, 0, 0)};
    EXPECT_EQ(bz_PhysObject_CollidePair(0, a.get(), b.get(), contacts_), 2);
    gScript.normals = {V(1, 0, 0), V(c96, s96, 0), V(c96, -s96, 0), V(1, 0, 0)};
    EXPECT_EQ(bz_PhysObject_CollidePair(0, a.get(), b.get(), contacts_), 4);
}

TEST_F(PairCollisionTest, AContactOfTheOtherBodyIsComparedWithTheFirstsOtherNormalNegated)
{
    PairBody a(Box()), b(Box());
    // Turned bodies: the normals differ in each body's frame.
    a.Place(pairbody::RotationZ(0.5f, V(0, 0, 0)), pairbody::RotationZ(0.5f, V(0, 0, 0)));
    b.Place(pairbody::RotationZ(-1.1f, V(3, 0, 0)), pairbody::RotationZ(-1.1f, V(3, 0, 0)));
    bz_PhysColl_SetContactHandler(
        1, 1,
        [](const bzPhysShapePoint *, const bzPhysShapePoint *, int32_t, int32_t)
        {
            // The first pushes body 0 along -x; the second pushes body 1 along +x: they agree.
            bz_PhysColl_Add(0, V(-1, 0, 0), 0.1f, V(0, 0, 0), V(0, 0, 0), 5);
            bz_PhysColl_Add(1, V(1, 0, 0), 0.2f, V(0, 0, 0), V(0, 0, 0), 5);
            // The third pushes body 1 back along -x: it does not.
            bz_PhysColl_Add(1, V(-1, 0, 0), 0.3f, V(0, 0, 0), V(0, 0, 0), 5);
        });
    EXPECT_EQ(bz_PhysObject_CollidePair(0, a.get(), b.get(), contacts_), 2);
    EXPECT_EQ(contacts_[1].body, b.get());
}

TEST_F(PairCollisionTest, TwoBodiesFixedInTranslationAndRotationGiveNothing)
{
    gScript.times = {0.5f};
    struct Case
    {
        uint32_t flagsA, flagsB;
        uint16_t jointA;
        int want;
    };
    const Case cases[] = {
        {BZ_PHYS_FIXED, BZ_PHYS_FIXED, 0, 0},
        {BZ_PHYS_FIXED, BZ_PHYS_INF_MASS, 0, 1},
        {BZ_PHYS_FIXED, 0, 0, 1},
        // Lock bits of the constraint record's two bytes count as the flags.
        {0, BZ_PHYS_FIXED, 0x0303, 0},
        {0, BZ_PHYS_FIXED, 0x0103, 1},
    };
    for (const Case &c : cases)
    {
        PairBody a(Box()), b(Box());
        BZDJoint joint{};
        joint.kind = c.jointA;
        a.body.physicsFlags = c.flagsA;
        b.body.physicsFlags = c.flagsB;
        if (c.jointA)
            a.body.worldJoint = &joint;
        EXPECT_EQ(bz_PhysObject_CollidePair(0, a.get(), b.get(), contacts_), c.want)
            << std::hex << c.flagsA << " " << c.flagsB << " " << c.jointA;
    }
}

TEST_F(PairCollisionTest, AddContactKeepsFourInTimeOrder)
{
    PairBody a(Box()), b(Box());
    a.body.centreOfMass = V(0.5f, 0, 0);
    b.body.centreOfMass = V(0, 0.25f, 0);
    b.body.startTransform = pairbody::RotationZ(1.5707964f, V(3, 0, 0));
    bzCollisionContact list[4];
    const bzV3 n = V(1, 0, 0);
    auto add = [&](float t, int32_t count, float tag)
    {
        const bzV3 p1 = V(tag, 0, 0), p2 = V(0, tag, 0);
        return bz_PhysColl_AddContact(list, &n, t, &p1, &p2, count, a.get(), b.get(), 5);
    };
    int32_t n0 = add(0.5f, 0, 1.0f);
    n0 = add(0.2f, n0, 2.0f);
    n0 = add(0.7f, n0, 3.0f);
    n0 = add(0.2f, n0, 4.0f); // equal time: after the stored one
    ASSERT_EQ(n0, 4);
    const float order[] = {2.0f, 4.0f, 1.0f, 3.0f};
    for (int i = 0; i < 4; i++)
        EXPECT_FLOAT_EQ(list[i].point.x + 0.5f, order[i]) << i;
    // A later fifth is dropped, an earlier one pushes the latest out.
    EXPECT_EQ(add(0.9f, 4, 5.0f), 4);
    EXPECT_FLOAT_EQ(list[3].key, 0.7f);
    EXPECT_EQ(add(0.1f, 4, 6.0f), 4);
    EXPECT_FLOAT_EQ(list[0].key, 0.1f);
    EXPECT_FLOAT_EQ(list[3].key, 0.5f);
    // Points less the centres of mass; the normal in each body's start frame.
    EXPECT_FLOAT_EQ(list[0].point.x, 6.0f - 0.5f);
    EXPECT_FLOAT_EQ(list[0].otherPoint.y, 6.0f - 0.25f);
    EXPECT_NEAR(list[0].normal.x, 1.0f, 1e-6f);
    EXPECT_NEAR(list[0].otherNormal.x, 0.0f, 1e-6f);
    EXPECT_NEAR(list[0].otherNormal.y, -1.0f, 1e-6f);
    EXPECT_EQ(list[0].type, 5u);
    EXPECT_EQ(list[0].body, a.get());
    EXPECT_EQ(list[0].otherBody, b.get());
}

TEST_F(PairCollisionTest, ATimeThatCannotBeOrderedRaisesErrorTenAndAddsNothing)
{
    KeepAlive keep;
    PairBody a(Box()), b(Box());
    bzCollisionContact list[4];
    const bzV3 n = V(1, 0, 0), p = V(0, 0, 0);
    for (float bad : {NAN, 2.0f, 5.0f})
    {
        gErrors.clear();
        int32_t count = bz_PhysColl_AddContact(list, &n, 0.3f, &p, &p, 0, a.get(), b.get(), 5);
        count = bz_PhysColl_AddContact(list, &n, bad, &p, &p, count, a.get(), b.get(), 5);
        EXPECT_EQ(count, 1) << bad;
        ASSERT_EQ(gErrors.size(), 1u) << bad;
        EXPECT_EQ(gErrors[0].first, 10);
        EXPECT_EQ(gErrors[0].second, "Nan in physics(2)-  probably");
    }
    // With a full list a late time is dropped without an error.
    gErrors.clear();
    int32_t count = 0;
    for (int i = 0; i < 4; i++)
        count = bz_PhysColl_AddContact(list, &n, 0.1f * i, &p, &p, count, a.get(), b.get(), 5);
    EXPECT_EQ(bz_PhysColl_AddContact(list, &n, NAN, &p, &p, count, a.get(), b.get(), 5), 4);
    EXPECT_TRUE(gErrors.empty());
}

// The pair's shapes for the clip tests: a box of edge 2 about the origin, then the box from
// (0, 0, 0) to (2, 2, 2); the clip codes the first body's points against the second's box and the
// second's against the first's.
struct ClipBoxes
{
    pairtest::FormPtr first = AlignedCuboid(V(-1, -1, -1), V(1, 1, 1));
    pairtest::FormPtr second = AlignedCuboid(V(0, 0, 0), V(2, 2, 2));
    ClipBoxes()
    {
        bzPhysCollPair &s = bz_PhysColl_Pair();
        s.shape[0] = first->firstShape;
        s.shape[1] = second->firstShape;
    }
};

TEST_F(PairCollisionTest, ClipPointsCodesBothPositionsAgainstTheGrownBoxOfTheOtherShape)
{
    const ClipBoxes boxes;
    const float g = 1.5f * bzCollisionTolerance;
    // Points of the first body against B's box grown by g + 0.5.
    const bzPhysShapePoint first[] = {
        {V(-0.6f, 1, 1), V(-0.4f, 1, 1)},             // below min x only at the start: inside
        {V(-0.5f - g - 0.01f, 1, 1), V(-0.6f, 1, 1)}, // both below min x
        {V(3, 3, -1), V(3, 3.5f, -1)},                // above x and y, below z
    };
    const bzPhysShapePoint second[] = {{V(0, 0, 0), V(0, 0, 0)}};
    uint8_t c1[3], c2[1];
    EXPECT_EQ(bz_PhysColl_ClipPoints(first, 3, second, 1, c1, c2, 0.5f, 0.0f), 1);
    EXPECT_EQ(c1[0], 0);
    EXPECT_EQ(c1[1], 0x01);
    EXPECT_EQ(c1[2], 0x08 | 0x10 | 0x04);
    EXPECT_EQ(c2[0], 0);
    // All beyond one face: no contact possible.
    const bzPhysShapePoint far[] = {{V(3, 0, 0), V(3, 1, 1)}, {V(4, 2, 2), V(5, 1, 1)}};
    EXPECT_EQ(bz_PhysColl_ClipPoints(far, 2, second, 1, c1, c2, 0.0f, 0.0f), 0);
    // The second set checked against the first shape's box.
    const bzPhysShapePoint near[] = {{V(1, 1, 1), V(1, 1, 1)}};
    const bzPhysShapePoint farSecond[] = {{V(0, -3, 0), V(0, -2, 0)}};
    EXPECT_EQ(bz_PhysColl_ClipPoints(near, 1, farSecond, 1, c1, c2, 0.0f, 0.0f), 0);
    EXPECT_EQ(c2[0], 0x02);
    EXPECT_EQ(bz_PhysColl_ClipPoints(near, 1, farSecond, 1, c1, c2, 0.0f, 1.0f), 1);
}

TEST_F(PairCollisionTest, TheJointFilterKeepsContactsThatPushAwayFromTheJoint)
{
    PairBody a(Box()), b(Box());
    BZDJoint joint{};
    joint.childAnchor = V(0, 1, 0);
    a.body.parentJoint = &joint;
    a.body.centreOfMass = V(0, 0, 0); // d = (0, -1, 0)
    bzCollisionContact list[4] = {};
    list[0].body = a.get();
    list[0].normal = V(0, 1, 0); // d . n = -1: kept
    list[1].body = a.get();
    list[1].normal = V(0, -1, 0); // +1: dropped
    list[2].body = b.get();
    list[2].otherBody = a.get();
    list[2].otherNormal = V(0, -1, 0); // +1: kept
    list[3].body = b.get();
    list[3].otherBody = a.get();
    list[3].otherNormal = V(0, 1, 0); // dropped
    for (int i = 0; i < 4; i++)
        list[i].key = 0.1f * (i + 1);
    EXPECT_EQ(bz_PhysObject_FilterJointContacts(a.get(), list, 4), 2);
    EXPECT_FLOAT_EQ(list[0].key, 0.1f);
    EXPECT_FLOAT_EQ(list[1].key, 0.3f);
    // Without a joint record nothing is dropped.
    EXPECT_EQ(bz_PhysObject_FilterJointContacts(b.get(), list, 2), 2);
}

TEST_F(PairCollisionTest, LinkedJointedBodiesHaveTheirContactsFiltered)
{
    PairBody a(Box()), b(Box()), parent(Box());
    BZDJoint joint{};
    joint.childAnchor = V(0, 1, 0);
    a.body.parentJoint = &joint;
    a.body.parent = parent.get();
    a.body.linkPartner = b.get();
    parent.body.linkPartner = b.get();
    a.body.inverseMass = 2.0f; // a stays first
    gScript.times = {0.1f, 0.2f};
    gScript.normals = {V(0, -1, 0), V(0, -0.99f, 0.141f)};
    EXPECT_EQ(bz_PhysObject_CollidePair(0, a.get(), b.get(), contacts_), 0);
    parent.body.linkPartner = nullptr;
    EXPECT_EQ(bz_PhysObject_CollidePair(0, a.get(), b.get(), contacts_), 2);
}

TEST_F(PairCollisionTest, UnsupportedAndNullShapesAreReportedUnderPhysics)
{
    KeepAlive keep;
    struct Case
    {
        pairtest::FormPtr form;
        const char *text;
    };
    Case cases[3] = {
        {pairtest::Cuboid(V(-1, -1, -1), V(1, 1, 1), pairtest::Identity()), "Unsupported form"},
        {pairtest::AlignedHalfSpace(BZ_DIRECTION_Y_PLUS, 0.0f), "Unsupported form"},
        {pairtest::HalfSpace(V(0, 1, 0), 0.0f), "Unsupported form"},
    };
    for (Case &c : cases)
    {
        PairBody a(std::move(c.form)), b(Box());
        const uint32_t before = bz_Error_ReportCount();
        EXPECT_EQ(bz_PhysObject_CollidePair(0, a.get(), b.get(), contacts_), 0);
        EXPECT_GT(bz_Error_ReportCount(), before);
        EXPECT_STREQ(bz_Error_LastReportCaption(), "Physics");
        EXPECT_NE(std::string(bz_Error_LastReportText()).find(c.text), std::string::npos);
    }
    // A null shape kind.
    PairBody a(Box()), b(Box());
    a.form->firstShape->kind = BZ_SHAPE_NULL;
    EXPECT_EQ(bz_PhysObject_CollidePair(0, a.get(), b.get(), contacts_), 0);
    EXPECT_NE(std::string(bz_Error_LastReportText()).find("Null form"), std::string::npos);
    a.form->firstShape->kind = BZ_SHAPE_ALIGNED_CUBOID;
}

TEST_F(PairCollisionTest, BodiesWithoutShapesGiveNothing)
{
    PairBody a(Box()), b(Box());
    bzShape *keep = b.form->firstShape;
    b.form->firstShape = nullptr;
    EXPECT_EQ(bz_PhysObject_CollidePair(0, a.get(), b.get(), contacts_), 0);
    b.form->firstShape = keep;
    b.body.form = nullptr;
    EXPECT_EQ(bz_PhysObject_CollidePair(0, a.get(), b.get(), contacts_), 0);
    EXPECT_EQ(gScript.calls, 0);
}

// Forms beyond 128 points and 17 shapes are prepared in a block sized from them; a block the
// temporary stack cannot give refuses the pair with a physics error.
TEST_F(PairCollisionTest, TheWorkBlockIsSizedFromTheFormsOrThePairIsRefused)
{
    // Twenty box shapes (160 points) on the first body.
    PairBody a(Box()), b(Box());
    bzShape *tail = a.form->firstShape;
    for (int i = 0; i < 19; i++)
    {
        bzShape *s = bz_Shape_Create(a.form.get(), BZ_SHAPE_ALIGNED_CUBOID, 0, 0, 0);
        ASSERT_NE(s, nullptr);
        *bz_Shape_Bounds(s) = {V(-1, -1, -1), V(1, 1, 1)};
        tail->next = s;
        tail = s;
    }
    bz_Form_CalcBounds(a.form.get(), 1);
    gScript.times = {0.5f};
    EXPECT_EQ(bz_PhysObject_CollidePair(0, a.get(), b.get(), contacts_), 4);
    EXPECT_EQ(gScript.calls, 20);

    KeepAlive keep;
    const uint32_t left = bz_TempStack_SpaceLeft(1, 0);
    void *filler = bz_TempStack_Alloc(1, left - 256, 0);
    ASSERT_NE(filler, nullptr);
    gScript.calls = 0;
    gErrors.clear();
    EXPECT_EQ(bz_PhysObject_CollidePair(0, a.get(), b.get(), contacts_), 0);
    EXPECT_EQ(gScript.calls, 0);
    ASSERT_EQ(gErrors.size(), 1u);
    EXPECT_EQ(gErrors[0].first, BZ_PHYS_PAIR_ERROR_TOO_LARGE);
    bz_TempStack_Free(1, filler);
}

// Passes the pair on to the real handler of the cell: with it in the table, the pair collision
// cannot tell which handler runs and takes its whole path.
bzPhysPairHandler gPassedContact = nullptr;
bzPhysPairHandler gPassedOverlap = nullptr;
void PassContactOn(const bzPhysShapePoint *p1, const bzPhysShapePoint *p2, int32_t n1, int32_t n2)
{
    gPassedContact(p1, p2, n1, n2);
}
void PassOverlapOn(const bzPhysShapePoint *p1, const bzPhysShapePoint *p2, int32_t n1, int32_t n2)
{
    gPassedOverlap(p1, p2, n1, n2);
}

bool SameBits(const void *a, const void *b, size_t n)
{
    return std::memcmp(a, b, n) == 0;
}

// A pair whose first body's points lie beyond one side of the second's box (or the second's
// beyond one side of the first's) is shown apart before any handler runs; what comes out must
// be what the whole path, through the same handlers, gives: the contacts bit for bit and the
// bodies' collision state.
TEST_F(PairCollisionTest, PairsShownApartEarlyGiveWhatTheWholeTestGives)
{
    bz_PhysColl_SetContactHandler(1, 1, saved_);
    struct Kind
    {
        uint32_t kind;
        pairtest::FormPtr (*make)();
        float nearest, farthest; // of the second body's centre from the first's
    };
    const Kind kinds[] = {
        {BZ_SHAPE_ALIGNED_CUBOID,
         [] { return AlignedCuboid(V(-0.5f, -0.3f, -0.4f), V(0.5f, 0.3f, 0.4f)); }, 0.6f, 1.4f},
        {BZ_SHAPE_SPHERE, [] { return pairtest::Sphere(V(0, 0, 0), 0.45f); }, 0.8f, 1.1f},
    };
    std::mt19937 rng(1234);
    std::uniform_real_distribution<float> drift(-0.15f, 0.15f);
    for (const Kind &k : kinds)
    {
        int touching = 0, apart = 0;
        for (int trial = 0; trial < 400; ++trial)
        {
            PairBody a(k.make(), 1.0f), b(k.make(), 2.0f);
            // The second body at a random distance from the first, in a random direction.
            const bzM34 startA = pairtest::RandomPlacement(rng, 0.5f);
            bzM34 startB = pairtest::RandomPlacement(rng, 0.0f);
            const bzV3 direction = pairtest::RandomPlacement(rng, 0.0f).row[0];
            const float distance =
                std::uniform_real_distribution<float>(k.nearest, k.farthest)(rng);
            startB.row[3] = V(startA.row[3].x + distance * direction.x,
                              startA.row[3].y + distance * direction.y,
                              startA.row[3].z + distance * direction.z);
            bzM34 endA = startA, endB = startB;
            endA.row[3] = V(startA.row[3].x + drift(rng), startA.row[3].y + drift(rng),
                            startA.row[3].z + drift(rng));
            endB.row[3] = V(startB.row[3].x + drift(rng), startB.row[3].y + drift(rng),
                            startB.row[3].z + drift(rng));
            a.Place(startA, endA);
            b.Place(startB, endB);
            const uint32_t state = trial % 3 == 0 ? BZ_BODY_INTERPENETRATING : 0u;
            a.body.collisionState = state;
            b.body.collisionState = 0;

            bzCollisionContact early[BZ_PHYS_STEP_CONTACTS] = {};
            const int32_t n1 = bz_PhysObject_CollidePair(0, a.get(), b.get(), early);
            const uint32_t stateA = a.body.collisionState, stateB = b.body.collisionState;

            a.body.collisionState = state;
            b.body.collisionState = 0;
            gPassedContact = bz_PhysColl_SetContactHandler(k.kind, k.kind, PassContactOn);
            gPassedOverlap = bz_PhysColl_SetOverlapHandler(k.kind, k.kind, PassOverlapOn);
            bzCollisionContact whole[BZ_PHYS_STEP_CONTACTS] = {};
            const int32_t n2 = bz_PhysObject_CollidePair(0, a.get(), b.get(), whole);
            bz_PhysColl_SetContactHandler(k.kind, k.kind, gPassedContact);
            bz_PhysColl_SetOverlapHandler(k.kind, k.kind, gPassedOverlap);

            ASSERT_EQ(n1, n2) << "kind " << k.kind << " trial " << trial;
            EXPECT_EQ(stateA, a.body.collisionState) << trial;
            EXPECT_EQ(stateB, b.body.collisionState) << trial;
            for (int32_t i = 0; i < n1; ++i)
            {
                const bzCollisionContact &x = early[i], &y = whole[i];
                EXPECT_TRUE(SameBits(&x.key, &y.key, sizeof x.key)) << trial << " " << i;
                EXPECT_EQ(x.body, y.body);
                EXPECT_EQ(x.otherBody, y.otherBody);
                EXPECT_EQ(x.type, y.type);
                EXPECT_EQ(x.shape, y.shape);
                EXPECT_TRUE(SameBits(&x.point, &y.point, sizeof x.point)) << trial << " " << i;
                EXPECT_TRUE(SameBits(&x.normal, &y.normal, sizeof x.normal)) << trial << " " << i;
                EXPECT_TRUE(SameBits(&x.otherPoint, &y.otherPoint, sizeof x.otherPoint));
                EXPECT_TRUE(SameBits(&x.otherNormal, &y.otherNormal, sizeof x.otherNormal));
            }
            (n1 > 0 ? touching : apart)++;
        }
        // The random placements give both outcomes plenty of times.
        EXPECT_GT(touching, 30) << "kind " << k.kind;
        EXPECT_GT(apart, 30) << "kind " << k.kind;
    }
}

// The offset of the first byte where a and b differ, -1 when they are the same.
long FirstDifference(const void *a, const void *b, size_t n)
{
    const auto *x = static_cast<const unsigned char *>(a),
               *y = static_cast<const unsigned char *>(b);
    for (size_t i = 0; i < n; i++)
        if (x[i] != y[i])
            return long(i);
    return -1;
}

// Two lone spheres take a shorter path than the whole one; with the pass-on stand-ins in the
// table the whole path runs instead. Off-centre spheres of unequal radii, turning and moving, at
// random distances (from inside each other to well apart), with and without the overlap pass,
// fixed bodies and random start indices: the result, every contact slot, the bodies' collision
// state and the pair state left behind are the same bit for bit.
TEST_F(PairCollisionTest, LoneSpheresGiveWhatTheWholePathGivesBitForBit)
{
    struct Case
    {
        float nearest, farthest; // of the centres at the start, in sums of the radii
        bool overlapPass;
        uint32_t fixedFlags; // of the second body
    };
    const Case cases[] = {
        {0.3f, 1.0f, false, 0u},
        {0.8f, 1.6f, false, 0u},
        {0.8f, 1.6f, true, 0u},
        {0.3f, 1.2f, false, BZ_PHYS_INF_MASS | BZ_PHYS_INF_MI},
    };
    std::mt19937 rng(2027);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f), side(-1.0f, 1.0f);
    int firstApart = 0, secondApart = 0, touching = 0, inside = 0, trials = 0;
    for (const Case &c : cases)
    {
        for (int trial = 0; trial < 500; ++trial, ++trials)
        {
            const float rA = 0.2f + 0.4f * unit(rng), rB = 0.2f + 0.4f * unit(rng);
            const bzV3 cA = V(0.2f * side(rng), 0.2f * side(rng), 0.2f * side(rng));
            const bzV3 cB = V(0.2f * side(rng), 0.2f * side(rng), 0.2f * side(rng));
            const float masses[] = {1.0f, 2.0f, 2.0f, 0.0f};
            PairBody a(pairtest::Sphere(cA, rA), masses[trial % 4]),
                b(pairtest::Sphere(cB, rB), masses[(trial / 4) % 3]);
            b.body.physicsFlags = c.fixedFlags;
            // The centres at a random distance in a random direction; each body turns by up to
            // 0.3 radians about its own z and then y axes and moves up to a quarter of the sum
            // of the radii.
            bzM34 pose[2][2];
            for (auto &p : pose)
            {
                p[0] = pairtest::RandomPlacement(rng, 0.0f);
                const bzM34 turns[2] = {pairbody::RotationZ(0.3f * side(rng), V(0, 0, 0)),
                                        pairbody::RotationY(0.3f * side(rng), V(0, 0, 0))};
                p[1] = p[0];
                for (const bzM34 &t : turns)
                {
                    const bzM34 m = p[1];
                    for (int r = 0; r < 3; r++)
                        for (int k = 0; k < 3; k++)
                            p[1].row[r].v[k] = t.row[r].x * m.row[0].v[k] +
                                               t.row[r].y * m.row[1].v[k] +
                                               t.row[r].z * m.row[2].v[k];
                }
            }
            const bzV3 dir = pairtest::RandomPlacement(rng, 0.0f).row[0];
            const float reach = rA + rB;
            const float d = reach * (c.nearest + (c.farthest - c.nearest) * unit(rng));
            pose[0][0].row[3] = V(side(rng), side(rng), side(rng));
            pose[1][0].row[3] = V(pose[0][0].row[3].x + d * dir.x, pose[0][0].row[3].y + d * dir.y,
                                  pose[0][0].row[3].z + d * dir.z);
            for (auto &p : pose)
                p[1].row[3] = V(p[0].row[3].x + 0.25f * reach * side(rng),
                                p[0].row[3].y + 0.25f * reach * side(rng),
                                p[0].row[3].z + 0.25f * reach * side(rng));
            a.Place(pose[0][0], pose[0][1]);
            b.Place(pose[1][0], pose[1][1]);
            const int32_t start = trial % 5 == 0 ? BZ_PHYS_PAIR_LAST_START : trial % 13;
            const uint32_t state = c.overlapPass ? BZ_BODY_INTERPENETRATING : 0u;

            struct Run
            {
                int32_t n;
                uint32_t states[2];
                bzCollisionContact contacts[BZ_PHYS_STEP_CONTACTS];
                bzPhysCollPair pair;
            } run[2];
            for (int whole = 0; whole < 2; whole++)
            {
                Run &r = run[whole];
                std::memset(&r, 0x5A, sizeof r);
                std::memset(&bz_PhysColl_Pair(), 0x5A, sizeof(bzPhysCollPair));
                a.body.collisionState = state;
                b.body.collisionState = 0;
                if (whole)
                {
                    gPassedContact = bz_PhysColl_SetContactHandler(5, 5, PassContactOn);
                    gPassedOverlap = bz_PhysColl_SetOverlapHandler(5, 5, PassOverlapOn);
                }
                // One contact array for both, as the pair state keeps where it wrote.
                std::memset(contacts_, 0x5A, sizeof contacts_);
                r.n = bz_PhysObject_CollidePair(start, a.get(), b.get(), contacts_);
                std::memcpy(r.contacts, contacts_, sizeof contacts_);
                if (whole)
                {
                    bz_PhysColl_SetContactHandler(5, 5, gPassedContact);
                    bz_PhysColl_SetOverlapHandler(5, 5, gPassedOverlap);
                }
                r.states[0] = a.body.collisionState;
                r.states[1] = b.body.collisionState;
                r.pair = bz_PhysColl_Pair();
            }
            ASSERT_EQ(run[0].n, run[1].n) << "trial " << trials;
            const bool apart[2] = {run[0].pair.codes[0][0] != 0, run[0].pair.codes[1][0] != 0};
            // A pair shown apart by its centres' outcodes leaves the later work undone, which the
            // whole path does regardless.
            if (apart[0] || apart[1])
                for (Run &r : run)
                {
                    bzPhysCollPair &p = r.pair;
                    p.overlap = p.resting = 0;
                    p.centreDirection[0] = p.centreDirection[1] = V(0, 0, 0);
                    p.toFirst[0] = p.toFirst[1] = pairtest::Identity();
                    p.codes[1][0] = 0;
                }
            ASSERT_EQ(FirstDifference(&run[0], &run[1], sizeof(Run)), -1)
                << "trial " << trials << " (the pair state from byte " << offsetof(Run, pair)
                << ")";

            const double gap = pairtest::Length(pairtest::Place(pose[1][0], pairtest::ToD(cB)) -
                                                pairtest::Place(pose[0][0], pairtest::ToD(cA)));
            if (apart[0])
                firstApart++;
            else if (apart[1])
                secondApart++;
            else if (run[0].n > 0)
                (gap < reach ? inside : touching)++;
        }
    }
    // Every way through comes up many times.
    EXPECT_GT(firstApart, 200);
    EXPECT_GT(secondApart, 50);
    EXPECT_GT(touching, 60);
    EXPECT_GT(inside, 300);
}

// What a stand-in handler saw of the prepared points, the frames and the outcodes.
struct Seen
{
    int calls = 0;
    std::vector<bzPhysShapePoint> points[2];
    bzM34 toFirst[2], toSecond[2];
    std::vector<uint8_t> codes[2];
    int32_t clip = -1;
};
Seen gSeen;

void SeeHandler(const bzPhysShapePoint *p1, const bzPhysShapePoint *p2, int32_t n1, int32_t n2)
{
    bzPhysCollPair &s = bz_PhysColl_Pair();
    gSeen.calls++;
    gSeen.points[0].assign(p1, p1 + n1);
    gSeen.points[1].assign(p2, p2 + n2);
    for (int k = 0; k < 2; k++)
    {
        gSeen.toFirst[k] = s.toFirst[k];
        gSeen.toSecond[k] = s.toSecond[k];
    }
    gSeen.codes[0].assign(size_t(n1), 0xAA);
    gSeen.codes[1].assign(size_t(n2), 0xAA);
    gSeen.clip = bz_PhysColl_ClipPoints(p1, n1, p2, n2, gSeen.codes[0].data(),
                                        gSeen.codes[1].data(), 0.0f, 0.0f);
}

// The outcode of a point's path against the box grown by g, one coordinate at a time: bit a when
// both ends lie below the low side of axis a, bit a + 3 when both lie above the high side.
uint8_t OutcodeByHand(const bzPhysShapePoint &p, const bzBox &box, float g)
{
    uint8_t code = 0;
    for (int a = 0; a < 3; a++)
    {
        const float lo = box.min.v[a] - g, hi = box.max.v[a] + g;
        if (p.start.v[a] < lo && p.end.v[a] < lo)
            code |= uint8_t(1u << a);
        if (p.start.v[a] > hi && p.end.v[a] > hi)
            code |= uint8_t(1u << (a + 3));
    }
    return code;
}

// With a stand-in handler in the table the pair takes its whole path. The relative frames are
// the maths library's product of the inverse of one body's frame and the other's (and near the
// same product in double precision); the prepared points of two boxes are their corners, x
// fastest, under those frames as the library transforms a point, bit for bit; and the handlers'
// clip gives the outcodes worked out by hand. Random turns and moves, the boxes mostly close.
TEST_F(PairCollisionTest, PreparedBoxCornersAreTheCornersUnderTheLibrarysFrames)
{
    bz_PhysColl_SetContactHandler(1, 1, SeeHandler);
    std::mt19937 rng(4711);
    std::uniform_real_distribution<float> drift(-0.2f, 0.2f);
    const bzBox boxes[2] = {{V(-0.5f, -0.3f, -0.4f), V(0.5f, 0.3f, 0.4f)},
                            {V(-0.7f, -0.2f, -0.35f), V(0.6f, 0.25f, 0.45f)}};
    const float g = 1.5f * bzCollisionTolerance;
    int ran = 0, coded = 0;
    for (int trial = 0; trial < 300; ++trial)
    {
        // The lighter body comes first: b (mass 1) is the first body, a (mass 2) the second.
        PairBody a(AlignedCuboid(boxes[1].min, boxes[1].max), 2.0f),
            b(AlignedCuboid(boxes[0].min, boxes[0].max), 1.0f);
        bzM34 pose[2][2]; // [body][start, end]: body 0 the first
        for (int k = 0; k < 2; k++)
        {
            pose[k][0] = pairtest::RandomPlacement(rng, 0.6f);
            pose[k][1] = pairtest::RandomPlacement(rng, 0.0f);
            pose[k][1].row[3] =
                V(pose[k][0].row[3].x + drift(rng), pose[k][0].row[3].y + drift(rng),
                  pose[k][0].row[3].z + drift(rng));
        }
        b.Place(pose[0][0], pose[0][1]);
        a.Place(pose[1][0], pose[1][1]);
        gSeen = Seen{};
        bz_PhysObject_CollidePair(0, a.get(), b.get(), contacts_);
        if (gSeen.calls == 0)
            continue;
        ++ran;
        ASSERT_EQ(gSeen.points[0].size(), 8u);
        ASSERT_EQ(gSeen.points[1].size(), 8u);
        for (int own = 0; own < 2; own++)
        {
            const int other = 1 - own;
            for (int k = 0; k < 2; k++)
            {
                // The library's frame of `own` in `other`'s, and in double precision.
                bzM34 inverse, frame;
                bz_InverseOrthoM34Into(&pose[other][k], &inverse);
                bz_MulM34Into(&inverse, &frame, &pose[own][k]);
                const bzM34 &seenFrame = own == 0 ? gSeen.toSecond[k] : gSeen.toFirst[k];
                EXPECT_TRUE(SameBits(&frame, &seenFrame, sizeof frame))
                    << "trial " << trial << " body " << own << " time " << k;
                for (int i = 0; i < 4; i++)
                    for (int j = 0; j < 3; j++)
                    {
                        double want = 0.0;
                        for (int c = 0; c < 3; c++)
                        {
                            const double at = double(pose[own][k].row[i].v[c]) -
                                              (i == 3 ? double(pose[other][k].row[3].v[c]) : 0.0);
                            want += at * double(pose[other][k].row[j].v[c]);
                        }
                        EXPECT_NEAR(seenFrame.row[i].v[j], want, 1e-5) << trial;
                    }
                for (int i = 0; i < 8; i++)
                {
                    bzV3 corner, want;
                    bz_Box_Corner(&boxes[own], i, &corner);
                    bz_M34_TransformPointInto(&frame, &want, &corner);
                    const bzPhysShapePoint &p = gSeen.points[own][size_t(i)];
                    const bzV3 &got = k == 0 ? p.start : p.end;
                    EXPECT_TRUE(SameBits(&want, &got, sizeof want))
                        << "trial " << trial << " body " << own << " corner " << i;
                }
            }
        }
        // The first body's codes always; the second's when the first's do not show the pair
        // apart already.
        uint8_t all[2] = {0x3F, 0x3F};
        for (int own = 0; own < 2 && (own == 0 || all[0] == 0); own++)
            for (int i = 0; i < 8; i++)
            {
                const uint8_t want = OutcodeByHand(gSeen.points[own][size_t(i)], boxes[1 - own], g);
                EXPECT_EQ(gSeen.codes[own][size_t(i)], want) << trial << " " << own << " " << i;
                all[own] &= want;
                coded += want != 0;
            }
        EXPECT_EQ(gSeen.clip, (all[0] || all[1]) ? 0 : 1) << trial;
    }
    // Most placements let the handlers run, and many points lie beyond a side.
    EXPECT_GT(ran, 150);
    EXPECT_GT(coded, 300);
}

// Outcodes against the grown box at its sides, beyond them by a hair, at infinities and for
// NaNs (never beyond a side), each against the by-hand codes.
TEST_F(PairCollisionTest, ClipPointsCodesSidesInfinitiesAndNaNsAsByHand)
{
    const ClipBoxes boxes;
    bzPhysCollPair &s = bz_PhysColl_Pair();
    const float g = 1.5f * bzCollisionTolerance;
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float lo = 0.0f - g, hi = 2.0f + g;
    const float values[] = {lo,
                            std::nextafter(lo, -inf),
                            std::nextafter(lo, inf),
                            hi,
                            std::nextafter(hi, inf),
                            std::nextafter(hi, -inf),
                            1.0f,
                            -inf,
                            inf,
                            nan,
                            -5.0f,
                            7.0f};
    const int n = int(sizeof values / sizeof values[0]);
    std::mt19937 rng(99);
    std::uniform_int_distribution<int> pick(0, n - 1);
    std::vector<bzPhysShapePoint> points(BZ_PHYS_PAIR_SHAPE_POINTS);
    const bzPhysShapePoint inside[] = {{V(0, 0, 0), V(0, 0, 0)}};
    const bzBox &box = *bz_Shape_Bounds(s.shape[1]);
    int beyond = 0;
    for (int trial = 0; trial < 200; ++trial)
    {
        for (auto &p : points)
            for (int a = 0; a < 3; a++)
            {
                p.start.v[a] = values[pick(rng)];
                p.end.v[a] = values[pick(rng)];
            }
        const int32_t count = 1 + trial % BZ_PHYS_PAIR_SHAPE_POINTS;
        std::vector<uint8_t> c1(size_t(count), 0xAA);
        uint8_t c2[1] = {0xAA};
        const int32_t result =
            bz_PhysColl_ClipPoints(points.data(), count, inside, 1, c1.data(), c2, 0.0f, 0.0f);
        uint8_t all = 0x3F;
        for (int32_t i = 0; i < count; i++)
        {
            const uint8_t want = OutcodeByHand(points[size_t(i)], box, g);
            EXPECT_EQ(c1[size_t(i)], want) << trial << " " << i;
            all &= want;
            beyond += want != 0;
        }
        EXPECT_EQ(result, all ? 0 : 1) << trial;
    }
    EXPECT_GT(beyond, 500);
}

TEST_F(PairCollisionTest, GetCornerNumbersBoxCornersXFastestAndVerticesByIndex)
{
    auto box = AlignedCuboid(V(-1, -2, -3), V(1, 2, 3));
    bzV3 out = V(9, 9, 9);
    bz_Shape_GetCorner(box->firstShape, 0, &out);
    EXPECT_EQ(out.x, -1.0f);
    EXPECT_EQ(out.y, -2.0f);
    EXPECT_EQ(out.z, -3.0f);
    bz_Shape_GetCorner(box->firstShape, 5, &out);
    EXPECT_EQ(out.x, 1.0f);
    EXPECT_EQ(out.y, -2.0f);
    EXPECT_EQ(out.z, 3.0f);
    auto hull = pairtest::Hull(BZ_SHAPE_POLYHEDRON, pairtest::BoxPoints(V(0, 0, 0), V(1, 1, 1)));
    const bzHull *h = bz_Shape_Hull(hull->firstShape);
    bz_Shape_GetCorner(hull->firstShape, 3, &out);
    EXPECT_EQ(out.x, h->vertices[3].x);
    EXPECT_EQ(out.z, h->vertices[3].z);
    auto sphere = pairtest::Sphere(V(0, 0, 0), 1.0f);
    out = V(9, 9, 9);
    bz_Shape_GetCorner(sphere->firstShape, 0, &out);
    EXPECT_EQ(out.x, 9.0f);
}
} // namespace
