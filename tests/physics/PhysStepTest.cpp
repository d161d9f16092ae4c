// The physics step with scripted contact rows: preparation, sort and iteration order, the end
// of a tree's iterations, the stuck-tree fallback, pair call backs, joint weakness, the step
// call back's scaling, bodies added during a step and bad bodies; and the jointed reference
// scenarios that need no collision: free fall, a pendulum, a hinge and a breaking joint.
#include "core/Error.h"
#include "maths/Matrix.h"
#include "maths/Vector.h"
#include "physics/Body.h"
#include "physics/BodyLinks.h"
#include "physics/BodyPrepare.h"
#include "physics/ContactGather.h"
#include "physics/Joint.h"
#include "physics/JointWeakness.h"
#include "physics/PhysMemory.h"
#include "physics/PhysServices.h"
#include "physics/PhysSettings.h"
#include "physics/PhysStep.h"
#include "physics/TreeRecord.h"
#include "physics/TreeSolve.h"
#include "physics/Substance.h"

#include "PhysStepWorld.h"
#include "WorldCollisionFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace
{
using namespace physworld;

std::vector<int32_t> gErrors;

void RecordError(int32_t code, const char *)
{
    gErrors.push_back(code);
}

class PhysStepTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        GameSettings();
        bz_Phys_ResetServices();
        bz_Phys_SetCollisionProvider(nullptr);
        bz_Substance_RegisterBuiltIns();
        gErrors.clear();
        bz_Phys_SetErrorHook(RecordError);
        ASSERT_EQ(bz_PhysMem_Reserve(), 0);
    }
    void TearDown() override
    {
        bz_PhysMem_Release();
        bz_Phys_SetErrorHook(nullptr);
        bz_Phys_SetCollisionProvider(nullptr);
        bz_Phys_ResetServices();
        bz_Phys_ResetSettings();
    }
};

bool Finite(const bzV3 &v)
{
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

// ---------------------------------------------------------------------------------------------
// Free fall: the position follows semi-implicit Euler (v += g dt, then x += v dt) exactly as
// the same float arithmetic gives it.

TEST_F(PhysStepTest, FreeFallMatchesSemiImplicitEulerToFloatPrecision)
{
    Body box;
    box.Box("box", 2.0f, V(1, 1, 1), V(0.5f, 100.0f, -2.0f));
    box.b.linearVelocity = V(1.5f, 3.0f, 0.0f);
    BZDObject *head = Link({&box});
    float x = 0.5f, y = 100.0f, vx = 1.5f, vy = 3.0f;
    const float dt = 0.04f, g = 10.0f;
    for (int step = 0; step < 100; ++step)
    {
        Frame(&head, g);
        vy -= g * dt;
        x += dt * vx;
        y += dt * vy;
        ASSERT_FLOAT_EQ(box.Position().x, x) << "step " << step;
        ASSERT_FLOAT_EQ(box.Position().y, y) << "step " << step;
        ASSERT_FLOAT_EQ(box.b.linearVelocity.y, vy) << "step " << step;
    }
    // The start-of-step copy follows the moved body and the switch is down again.
    EXPECT_FLOAT_EQ(box.b.startTransform.row[3].y, y);
    EXPECT_EQ(bz_Phys_IsStepping(), 0);
    EXPECT_TRUE(gErrors.empty());
}

// ---------------------------------------------------------------------------------------------
// Preparation, sort and iteration order.

TEST_F(PhysStepTest, TheListIsSortedByXAndEachTreeIteratesInThatOrderUntilItFindsNoRows)
{
    Body a, b, c;
    a.Box("a", 1, V(1, 1, 1), V(30, 5, 0));
    b.Box("b", 1, V(1, 1, 1), V(10, 5, 0));
    c.Box("c", 1, V(1, 1, 1), V(20, 5, 0));
    c.b.linearVelocity = V(0, -1, 0);
    BZDObject *head = Link({&a, &b, &c});
    Script script;
    script.Name(a);
    script.Name(b);
    script.Name(c);
    // c rests on the world with one row in its first iteration.
    script.entries.push_back({&c.b, nullptr, {WorldRow(&c.b, V(0, -0.5f, 0), V(0, 1, 0))}});
    bz_Phys_Step(&head, nullptr);

    // Sorted by x, with both links rebuilt.
    ASSERT_EQ(head, &b.b);
    EXPECT_EQ(b.b.nextSibling, &c.b);
    EXPECT_EQ(c.b.nextSibling, &a.b);
    EXPECT_EQ(a.b.nextSibling, nullptr);
    EXPECT_EQ(b.b.rootList, nullptr);
    EXPECT_EQ(c.b.rootList, &b.b);
    EXPECT_EQ(a.b.rootList, &c.b);
    // Prepared: inverses taken, the ring holds the body alone.
    EXPECT_FLOAT_EQ(a.b.inverseMass, 1.0f);
    EXPECT_FLOAT_EQ(a.b.inversePrincipalMoments.x, 6.0f);
    EXPECT_EQ(a.b.ring, &a.b);
    // b: one iteration without rows; c: a solve, then a gathering again after each solve that
    // changed its speed by more than four contact speed tolerances (0.1 m/s; the first one did:
    // its row pushed c, which fell at 1 m/s), at most the step's budget of gatherings again, then
    // an iteration that finds nothing new; a: one iteration. Each tree's iterations follow on.
    ASSERT_GE(script.log.size(), 4u);
    EXPECT_LE(script.log.size(), 3u + BZ_PHYS_REGATHER_BUDGET);
    EXPECT_EQ(script.log.front(), "W:b");
    EXPECT_EQ(script.log.back(), "W:a");
    const size_t last = script.log.size() - 1;
    for (size_t i = 1; i < last; ++i)
    {
        EXPECT_EQ(script.log[i], "W:c") << i;
        EXPECT_EQ(script.iterations[i], uint16_t(1 + i)) << i;
    }
    EXPECT_EQ(script.iterations.front(), 1);
    EXPECT_EQ(script.iterations.back(), uint16_t(script.iterations[last - 1] + 2));
    // The row pushed c up.
    EXPECT_GT(c.b.linearVelocity.y, -1.0f);
}

// A body whose newly found row had no room in the row buffer is due to gather again; the
// impulses that reach it in the same iteration (its hold row gives back what it carried, and the
// solve pushes it again) must not count as that gathering. Ring a-b, the iteration after a
// finished solve of 60 rows, all of b: as b finds a new world row, b's 60 rows come back as hold
// rows and fill the buffer, b's new row is dropped, and b looks for it again in the next
// iteration (a, which found nothing, does not).
TEST_F(PhysStepTest, ABodyWhoseRowFoundNoRoomStillGathersAfterImpulsesReachIt)
{
    Body a, b;
    a.Box("a", 1, V(1, 1, 1), V(0, 0.5f, 0));
    b.Box("b", 1, V(1, 1, 1), V(5, 0.5f, 0));
    Script script;
    script.Name(a);
    script.Name(b);
    const bzPhysRow floorB = WorldRow(&b.b, V(0, -0.5f, 0), V(0, 1, 0));
    script.entries.push_back({&b.b, nullptr, {floorB}});
    bz_Phys_SetStepping(1);
    ASSERT_EQ(bz_Phys_PrepareBody(&a.b), 0);
    ASSERT_EQ(bz_Phys_PrepareBody(&b.b), 0);
    a.b.ring = &b.b;
    b.b.ring = &a.b;
    a.b.solveGroup = b.b.solveGroup = 1;
    a.b.linearVelocity = b.b.linearVelocity = V(0, -0.4f, 0);
    a.b.localLinearVelocity = b.b.localLinearVelocity = V(0, -0.4f, 0);

    std::vector<bzPhysRow> in(BZ_PHYS_CONTACT_ARRAY), out(BZ_PHYS_CONTACT_ARRAY);
    for (int32_t i = 0; i + 1 < BZ_PHYS_CONTACT_ARRAY; ++i)
    {
        in[i] =
            WorldRow(&b.b, V(i % 2 ? 0.5f : -0.5f, -0.5f, (i / 2) % 2 ? 0.5f : -0.5f), V(0, 1, 0));
        in[i].value = 0.1f;
    }
    in[BZ_PHYS_CONTACT_ARRAY - 1] = floorB;
    in[BZ_PHYS_CONTACT_ARRAY - 1].value = 0.4f;

    bz_Phys_SetIteration(2);
    bz_Phys_SolveTree(nullptr, &a.b, in.data(), out.data(), BZ_PHYS_CONTACT_ARRAY, nullptr);
    const std::vector<std::string> first = {"W:a", "W:b"};
    ASSERT_EQ(script.log, first);
    EXPECT_EQ(b.b.gatherStamp, 0) << "b is still due";
    EXPECT_NE(a.b.gatherStamp, 0) << "a found everything it had";

    bz_Phys_SetIteration(3);
    bz_Phys_SolveTree(nullptr, &a.b, out.data(), in.data(), 0, nullptr);
    const std::vector<std::string> second = {"W:a", "W:b", "W:b"};
    EXPECT_EQ(script.log, second);
    const std::vector<uint16_t> iterations = {2, 2, 3};
    EXPECT_EQ(script.iterations, iterations);
    EXPECT_TRUE(Finite(a.b.linearVelocity) && Finite(b.b.linearVelocity));
    bz_Phys_SetIteration(0);
    bz_Phys_SetStepping(0);
}

// A ring whose first bodies fill the rows in every gathering must still reach its last body
// within the tree's iterations. Ring a-b-c on the floor, each falling at 0.4 m/s: a and b find
// 28 floor rows each (56, all the room the gathering has) and are due again before every
// iteration, as bodies whose speed the solve keeps changing are; c finds one floor row. Gathered
// in ring order alone, c would never be reached and would fall on into the floor.
TEST_F(PhysStepTest, ABodyLateInARingWhoseFirstBodiesFillTheRowsEveryTimeStillGathers)
{
    Body a, b, c;
    a.Box("a", 1, V(1, 1, 1), V(0, 0.5f, 0));
    b.Box("b", 1, V(1, 1, 1), V(5, 0.5f, 0));
    c.Box("c", 1, V(1, 1, 1), V(10, 0.5f, 0));
    Script script;
    script.Name(a);
    script.Name(b);
    script.Name(c);
    for (Body *body : {&a, &b})
    {
        std::vector<bzPhysRow> floor;
        for (int32_t i = 0; i < 28; ++i)
            floor.push_back(WorldRow(
                &body->b, V(-0.45f + 0.15f * (i % 7), -0.5f, -0.45f + 0.3f * (i / 7)), V(0, 1, 0)));
        script.entries.push_back({&body->b, nullptr, floor});
    }
    script.entries.push_back({&c.b, nullptr, {WorldRow(&c.b, V(0, -0.5f, 0), V(0, 1, 0))}});
    bz_Phys_SetStepping(1);
    bz_Phys_SetStepNumber(bz_Phys_StepNumber() + 1);
    for (Body *body : {&a, &b, &c})
    {
        ASSERT_EQ(bz_Phys_PrepareBody(&body->b), 0);
        body->b.solveGroup = 1;
        body->b.linearVelocity = body->b.localLinearVelocity = V(0, -0.4f, 0);
    }
    a.b.ring = &b.b;
    b.b.ring = &c.b;
    c.b.ring = &a.b;

    std::vector<bzPhysRow> in(BZ_PHYS_CONTACT_ARRAY), out(BZ_PHYS_CONTACT_ARRAY);
    for (int32_t iteration = 1; iteration < BZ_PHYS_MAX_ITERATIONS; ++iteration)
    {
        bz_Phys_StampForGathering(&a.b);
        bz_Phys_StampForGathering(&b.b);
        bz_Phys_SetIteration(static_cast<uint16_t>(iteration));
        bz_Phys_SolveTree(nullptr, &a.b, in.data(), out.data(), 0, nullptr);
    }
    EXPECT_GE(std::count(script.log.begin(), script.log.end(), "W:c"), 1) << "c never gathered";
    // Its floor row took away most of its 0.4 m/s into the floor (without it, all of it stays).
    EXPECT_GT(c.b.linearVelocity.y, -0.5f * 0.4f);
    bz_Phys_SetIteration(0);
    bz_Phys_SetStepping(0);
}

// After a finished solve, the rows found in the next iteration come with the last solve's rows
// of the bodies they name, as hold rows; the last solve's rows of the other bodies of the ring
// do not come back. Ring a-b-c, three boxes far apart, each on one floor row that carried 0.2 in
// the last solve; the table scripts what the gathering finds.
TEST_F(PhysStepTest, NewRowsBringBackTheLastSolvesRowsOfTheBodiesTheyNameAlone)
{
    struct Case
    {
        const char *name;
        const char *finder;            // the body whose gathering finds the new row ("" for none)
        const char *partner;           // its second body ("" for a world row)
        int32_t result;                // the iteration's result: held rows plus the new row
        std::vector<std::string> held; // the bodies of the hold rows, in order
    };
    const std::vector<Case> cases = {
        {"a world row of b", "b", "", 2, {"b"}},
        {"a world row of c", "c", "", 2, {"c"}},
        {"a row between a and c", "a", "c", 3, {"a", "c"}},
        {"nothing new", "", "", 0, {}},
    };
    for (const Case &k : cases)
    {
        SCOPED_TRACE(k.name);
        Body a, b, c;
        a.Box("a", 1, V(1, 1, 1), V(0, 0.5f, 0));
        b.Box("b", 1, V(1, 1, 1), V(5, 0.5f, 0));
        c.Box("c", 1, V(1, 1, 1), V(10, 0.5f, 0));
        Body *const bodies[3] = {&a, &b, &c};
        auto named = [&](const std::string &n) -> BZDObject *
        { return n.empty() ? nullptr : &bodies[n[0] - 'a']->b; };
        Script script;
        for (Body *body : bodies)
            script.Name(*body);
        if (BZDObject *finder = named(k.finder))
        {
            BZDObject *partner = named(k.partner);
            const bzPhysRow row = partner ? PairRow(finder, partner, V(0.5f, 0, 0), V(-1, 0, 0),
                                                    V(-0.5f, 0, 0), V(-1, 0, 0))
                                          : WorldRow(finder, V(0.5f, -0.5f, 0.5f), V(0, 1, 0));
            script.entries.push_back({finder, nullptr, {row}});
        }
        bz_Phys_SetStepping(1);
        std::vector<bzPhysRow> in(BZ_PHYS_CONTACT_ARRAY), out(BZ_PHYS_CONTACT_ARRAY);
        for (int32_t i = 0; i < 3; ++i)
        {
            BZDObject *body = &bodies[i]->b;
            ASSERT_EQ(bz_Phys_PrepareBody(body), 0);
            body->ring = &bodies[(i + 1) % 3]->b;
            body->solveGroup = 1;
            body->linearVelocity = body->localLinearVelocity = V(0, -0.4f, 0);
            in[i] = WorldRow(body, V(-0.5f, -0.5f, -0.5f), V(0, 1, 0));
            in[i].value = 0.2f;
        }
        bz_Phys_SetIteration(2);
        const int32_t result = bz_Phys_SolveTree(nullptr, &a.b, in.data(), out.data(), 3, nullptr);
        EXPECT_EQ(result, k.result);
        std::vector<std::string> held;
        for (int32_t i = 0; i < (result > 0 ? result : 0); ++i)
        {
            if ((out[i].type & ~BZ_ROW_OFF) == BZ_ROW_TARGET)
                held.push_back(script.Name(out[i].bodyA));
        }
        EXPECT_EQ(held, k.held);
        bz_Phys_SetIteration(0);
        bz_Phys_SetStepping(0);
    }
}

// Bodies a and b, named to the script, prepared in a step as one ring of one solve group, both
// gathered in the last iteration. False when either cannot be prepared.
bool GatheredPair(Body &a, Body &b, Script &script)
{
    script.Name(a);
    script.Name(b);
    bz_Phys_SetStepping(1);
    if (bz_Phys_PrepareBody(&a.b) != 0 || bz_Phys_PrepareBody(&b.b) != 0)
        return false;
    a.b.ring = &b.b;
    b.b.ring = &a.b;
    a.b.solveGroup = b.b.solveGroup = 1;
    a.b.gatherStamp = b.b.gatherStamp = 1;
    return true;
}

// A body pushed by another gathers its contacts again: after its first push in the step; after
// any solve that changed its speed by more than four contact speed tolerances (4 T = 0.1 m/s);
// and, after a second push that changed it less, when it has rested on the world in this step
// and the solve held none of its world rows. All within the step's budget of gatherings again.
// Box b falls onto box a (a row between them, from the last iteration); neither gathers in this
// iteration. At 2 m/s the row takes a share of b's approach: a 1 kg box on a 1 kg box that no
// row holds changes its speed by far more than 4 T; at 0.02 m/s by less, however the approach
// is shared.
TEST_F(PhysStepTest, APushedBodyGathersAgainWithinTheStepsBudget)
{
    struct Case
    {
        const char *name;
        uint8_t kind;      // a's contact kinds in this step
        uint8_t gathered;  // a's gatherings again in this step
        bool worldRow;     // a's world row in the solve
        float fall;        // b's speed towards a
        bool gathersAgain; // a is due to gather after the solve
    };
    const Case cases[] = {
        {"first push", 0, 0, false, 0.02f, true},
        {"its speed changed", 0, 1, false, 2.0f, true},
        {"its speed changed, the budget spent", 0, BZ_PHYS_REGATHER_BUDGET, false, 2.0f, false},
        {"on the world, no world row in the solve", BZ_PHYS_CONTACT_WORLD, 1, false, 0.02f, true},
        {"its world row in the solve", BZ_PHYS_CONTACT_WORLD, 1, true, 0.02f, false},
        {"never on the world", 0, 1, false, 0.02f, false},
        {"pushed twice already", BZ_PHYS_CONTACT_WORLD, 2, false, 0.02f, false},
    };
    for (const Case &k : cases)
    {
        SCOPED_TRACE(k.name);
        Body a, b;
        a.Box("a", 1, V(1, 1, 1), V(0, 0.5f, 0));
        b.Box("b", 1, V(1, 1, 1), V(0, 1.5f, 0));
        Script script;
        ASSERT_TRUE(GatheredPair(a, b, script));
        a.b.contactKind = k.kind;
        a.b.regathered = k.gathered;
        b.b.linearVelocity = b.b.localLinearVelocity = V(0, -k.fall, 0);
        std::vector<bzPhysRow> in(BZ_PHYS_CONTACT_ARRAY), out(BZ_PHYS_CONTACT_ARRAY);
        in[0] = PairRow(&b.b, &a.b, V(0, -0.5f, 0), V(0, 1, 0), V(0, 0.5f, 0), V(0, 1, 0));
        int32_t n = 1;
        if (k.worldRow)
            in[n++] = WorldRow(&a.b, V(0, -0.5f, 0), V(0, 1, 0));
        bz_Phys_SetIteration(2);
        // A negative previous result: the rows come back as they are, without hold rows.
        const int32_t result = bz_Phys_SolveTree(nullptr, &a.b, in.data(), out.data(), -n, nullptr);
        EXPECT_EQ(result, n);
        EXPECT_TRUE(script.log.empty());
        EXPECT_GT(b.b.linearVelocity.y, -k.fall) << "the row pushed b";
        EXPECT_EQ(a.b.gatherStamp == 0, k.gathersAgain);
        EXPECT_EQ(b.b.gatherStamp, 0) << "b's first push";
        bz_Phys_SetIteration(0);
        bz_Phys_SetStepping(0);
    }
}

// A body whose speed a solve changed gathers again in the next iteration; whether that gathering
// asks the world again depends on what the body is and where the change took it. Body b (a 1 kg
// box) comes at a (1 kg, 1 m across, pushed once already in this step) along x at 2 m/s and the
// row between them pushes them apart. A ball turns without moving its surface, so a ball pushed
// along the floor it rests on (the floor row's speed unchanged) meets no world its gathering did
// not see: it tests its pairs alone. A box pushed the same way may tip a corner into the floor,
// and a ball with no world row in the solve knows nothing of the world: these ask it again.
TEST_F(PhysStepTest, ABallWhoseSpeedChangedAlongTheWorldItRestsOnGathersItsPairsAlone)
{
    struct Case
    {
        const char *name;
        bool ball;
        bool floor;     // a's floor row in the solve
        float vb;       // b's speed along x (a rests)
        bool asksWorld; // a's next gathering asks the world
    };
    const Case cases[] = {
        {"ball pushed along the floor", true, true, -2.0f, false},
        {"box pushed along the floor", false, true, -2.0f, true},
        {"ball with no world row in the solve", true, false, -2.0f, true},
    };
    for (const Case &k : cases)
    {
        SCOPED_TRACE(k.name);
        const worldfixture::FormPtr sphere = worldfixture::SphereForm(0.5f);
        ASSERT_TRUE(sphere);
        Body a, b;
        if (k.ball)
        {
            a.Sphere("a", 1, 0.5f, V(0, 0.5f, 0));
            a.form.firstShape = sphere->firstShape;
        }
        else
            a.Box("a", 1, V(1, 1, 1), V(0, 0.5f, 0));
        b.Box("b", 1, V(1, 1, 1), V(1, 0.5f, 0));
        Script script;
        ASSERT_TRUE(GatheredPair(a, b, script));
        a.b.regathered = 1; // pushed already: only its change of speed sends it back
        b.b.linearVelocity = b.b.localLinearVelocity = V(k.vb, 0, 0);
        std::vector<bzPhysRow> in(BZ_PHYS_CONTACT_ARRAY), out(BZ_PHYS_CONTACT_ARRAY);
        in[0] = PairRow(&b.b, &a.b, V(-0.5f, 0, 0), V(1, 0, 0), V(0.5f, 0, 0), V(1, 0, 0));
        int32_t n = 1;
        if (k.floor)
            in[n++] = WorldRow(&a.b, V(0, -0.5f, 0), V(0, 1, 0));
        bz_Phys_SetIteration(2);
        const int32_t result = bz_Phys_SolveTree(nullptr, &a.b, in.data(), out.data(), -n, nullptr);
        EXPECT_EQ(result, n);
        // The row pushed both apart along x, a by more than 4 T.
        EXPECT_GT(b.b.linearVelocity.x, k.vb);
        EXPECT_LT(a.b.linearVelocity.x, -4.0f * bzgPhysSettings.contactSpeedTolerance);
        EXPECT_EQ(a.b.gatherStamp, 0) << "a's speed changed by more than 4 T";
        EXPECT_EQ(b.b.gatherStamp, 0);

        bz_Phys_SetIteration(3);
        script.log.clear();
        std::vector<bzPhysRow> rows(BZ_PHYS_CONTACT_ARRAY);
        bz_Phys_GatherContacts(nullptr, &a.b, rows.data(), 0);
        EXPECT_EQ(a.b.gatherStamp, 3) << "a gathered";
        const auto asked = [&](const char *entry)
        { return std::find(script.log.begin(), script.log.end(), entry) != script.log.end(); };
        EXPECT_EQ(asked("W:a"), k.asksWorld);
        EXPECT_TRUE(asked("W:b")) << "b has no world row in the solve";
        bz_Phys_SetIteration(0);
        bz_Phys_SetStepping(0);
        a.form.firstShape = nullptr;
    }
}

// Two balls touch at one point. A ball that gathers its pairs alone after a solve that held its
// contact with another ball finds that contact again as it was: the pair is not tested again.
// Ball a rests on the floor (its row in the solve) and b, 1 kg like a, comes at it along x at
// 2 m/s; the row between them pushes a by far more than 4 T along the floor. A box in b's place
// touches a at a point that turning moves: that pair is tested again.
TEST_F(PhysStepTest, ABallGatheringItsPairsAloneSkipsTheBallItsSolveHeldItAgainst)
{
    struct Case
    {
        const char *name;
        bool ballB;
        bool pairTested; // a's next gathering tests the pair of a and b
    };
    const Case cases[] = {
        {"a ball against a ball", true, false},
        {"a ball against a box", false, true},
    };
    for (const Case &k : cases)
    {
        SCOPED_TRACE(k.name);
        const worldfixture::FormPtr sphereA = worldfixture::SphereForm(0.5f);
        const worldfixture::FormPtr sphereB = worldfixture::SphereForm(0.5f);
        ASSERT_TRUE(sphereA && sphereB);
        Body a, b;
        a.Sphere("a", 1, 0.5f, V(0, 0.5f, 0));
        a.form.firstShape = sphereA->firstShape;
        if (k.ballB)
        {
            b.Sphere("b", 1, 0.5f, V(0.99f, 0.5f, 0));
            b.form.firstShape = sphereB->firstShape;
        }
        else
            b.Box("b", 1, V(1, 1, 1), V(0.99f, 0.5f, 0));
        Link({&a, &b});
        Script script;
        ASSERT_TRUE(GatheredPair(a, b, script));
        a.b.regathered = 1;
        b.b.linearVelocity = b.b.localLinearVelocity = V(-2.0f, 0, 0);
        std::vector<bzPhysRow> in(BZ_PHYS_CONTACT_ARRAY), out(BZ_PHYS_CONTACT_ARRAY);
        in[0] = PairRow(&b.b, &a.b, V(-0.5f, 0, 0), V(1, 0, 0), V(0.49f, 0, 0), V(1, 0, 0));
        in[1] = WorldRow(&a.b, V(0, -0.5f, 0), V(0, 1, 0));
        bz_Phys_SetIteration(2);
        EXPECT_EQ(bz_Phys_SolveTree(nullptr, &a.b, in.data(), out.data(), -2, nullptr), 2);
        EXPECT_LT(a.b.linearVelocity.x, -4.0f * bzgPhysSettings.contactSpeedTolerance);
        EXPECT_GT(out[0].value, 0.0f) << "the pair's row held";

        bz_Phys_SetIteration(3);
        script.log.clear();
        std::vector<bzPhysRow> rows(BZ_PHYS_CONTACT_ARRAY);
        bz_Phys_GatherContacts(nullptr, &a.b, rows.data(), 0);
        const auto asked = [&](const char *entry)
        { return std::find(script.log.begin(), script.log.end(), entry) != script.log.end(); };
        EXPECT_FALSE(asked("W:a")) << "a gathers its pairs alone";
        EXPECT_TRUE(asked("W:b"));
        EXPECT_EQ(asked("P:a,b") || asked("P:b,a"), k.pairTested);
        bz_Phys_SetIteration(0);
        bz_Phys_SetStepping(0);
        a.form.firstShape = nullptr;
        b.form.firstShape = nullptr;
    }
}

// A ball that a solve stamps to gather its pairs alone gathers everything when it is stamped
// again before the gathering comes, and when the gathering comes an iteration late.
TEST_F(PhysStepTest, APairsOnlyGatheringGivesWayToAWholeOneAndHoldsForTheNextIterationAlone)
{
    struct Case
    {
        const char *name;
        bool stampedAgain;  // a whole stamp follows before the gathering
        uint16_t gathersAt; // the iteration of the gathering (the stamp falls in iteration 2)
        bool asksWorld;
    };
    const Case cases[] = {
        {"pairs alone", false, 3, false},
        {"stamped again", true, 3, true},
        {"gathered an iteration late", false, 4, true},
    };
    for (const Case &k : cases)
    {
        SCOPED_TRACE(k.name);
        Body a;
        a.Sphere("a", 1, 0.5f, V(0, 0.5f, 0));
        Script script;
        script.Name(a);
        bz_Phys_SetStepping(1);
        ASSERT_EQ(bz_Phys_PrepareBody(&a.b), 0);
        a.b.ring = &a.b;
        a.b.solveGroup = 1;
        a.b.gatherStamp = 1;
        bz_Phys_SetIteration(2);
        bz_Phys_StampPairsForGathering(&a.b);
        EXPECT_EQ(a.b.gatherStamp, 0);
        if (k.stampedAgain)
            bz_Phys_StampForGathering(&a.b);
        bz_Phys_SetIteration(k.gathersAt);
        std::vector<bzPhysRow> rows(BZ_PHYS_CONTACT_ARRAY);
        bz_Phys_GatherContacts(nullptr, &a.b, rows.data(), 0);
        EXPECT_EQ(a.b.gatherStamp, k.gathersAt);
        const bool asked =
            std::find(script.log.begin(), script.log.end(), "W:a") != script.log.end();
        EXPECT_EQ(asked, k.asksWorld);
        bz_Phys_SetIteration(0);
        bz_Phys_SetStepping(0);
    }
}

TEST_F(PhysStepTest, ASleepingTreeIsNotIteratedAndATreeTakenIntoAnotherRingIsNotSolvedAgain)
{
    Body sleeper, a, b;
    sleeper.Box("sleeper", 1, V(1, 1, 1), V(-10, 0, 0));
    sleeper.b.asleep = 1;
    a.Box("a", 1, V(1, 1, 1), V(0, 0, 0));
    b.Box("b", 1, V(1, 1, 1), V(0.9f, 0, 0));
    BZDObject *head = Link({&sleeper, &a, &b});
    Script script;
    script.Name(sleeper);
    script.Name(a);
    script.Name(b);
    // The row joins a's right face to b's left face: the boxes overlap by 0.1 m.
    script.entries.push_back(
        {&a.b,
         &b.b,
         {PairRow(&a.b, &b.b, V(0.5f, 0, 0), V(-1, 0, 0), V(-0.5f, 0, 0), V(-1, 0, 0))}});
    bz_Phys_Step(&head, nullptr);
    // a gathers first (world, then its pair with b); b joins a's ring, gathers in a's ring and
    // is not iterated as a root of its own. The pair's row pushed both, so both gather once more
    // in the next iteration.
    const std::vector<std::string> order = {"W:a", "P:a,b", "W:b", "W:a", "P:a,b", "W:b"};
    EXPECT_EQ(script.log, order);
    EXPECT_NE(a.b.solveGroup, 0);
    EXPECT_EQ(a.b.solveGroup, b.b.solveGroup);
    EXPECT_EQ(sleeper.b.asleep, 1);
}

// ---------------------------------------------------------------------------------------------
// The stuck-tree fallback: a tree still gathering rows after 50 iterations.

struct AlwaysScale
{
    static inline int calls = 0;
    static void Fn(bzPhysRow *, int32_t count)
    {
        ++calls;
        std::vector<int32_t> all;
        for (int32_t i = 0; i < count; ++i)
            all.push_back(i);
        SumIndexedScale(1e-6f, all.data(), count);
    }
};

TEST_F(PhysStepTest, ATreeStillGatheringAfterFiftyIterationsMarksTheLighterBodyYielded)
{
    struct Case
    {
        float massA, massB;
        bool aYields;
    };
    for (const Case &k : {Case{1.0f, 3.0f, true}, Case{3.0f, 1.0f, false}, Case{2.0f, 2.0f, false}})
    {
        Body a, b;
        a.Box("a", k.massA, V(1, 1, 1), V(0, 0, 0));
        b.Box("b", k.massB, V(1, 1, 1), V(0.9f, 0, 0));
        a.b.linearVelocity = V(1, 0, 0);
        BZDObject *head = Link({&a, &b});
        Script script;
        script.entries.push_back(
            {&a.b,
             &b.b,
             {PairRow(&a.b, &b.b, V(0.5f, 0, 0), V(-1, 0, 0), V(-0.4f, 0, 0), V(-1, 0, 0))}});
        AlwaysScale::calls = 0;
        bzPhysStepCallBack cb = {AlwaysScale::Fn};
        bz_Phys_Step(&head, &cb);
        EXPECT_EQ(AlwaysScale::calls, BZ_PHYS_MAX_ITERATIONS);
        const uint32_t yielded = BZ_PHYS_YIELDED | BZ_PHYS_YIELD_MARK;
        BZDObject *lighter = k.aYields ? &a.b : &b.b;
        BZDObject *other = k.aYields ? &b.b : &a.b;
        EXPECT_EQ(lighter->physicsFlags & yielded, yielded) << k.massA << " " << k.massB;
        EXPECT_EQ(other->physicsFlags & yielded, 0u) << k.massA << " " << k.massB;
        EXPECT_EQ(a.b.stuck, 0);
    }
}

TEST_F(PhysStepTest, ABodyStuckOnTheWorldAfterFiftyIterationsGetsTheStuckByte)
{
    Body a;
    a.Box("a", 1, V(1, 1, 1), V(0, 0, 0));
    a.b.linearVelocity = V(0, -1, 0);
    BZDObject *head = Link({&a});
    Script script;
    script.entries.push_back({&a.b, nullptr, {WorldRow(&a.b, V(0, -0.5f, 0), V(0, 1, 0))}});
    AlwaysScale::calls = 0;
    bzPhysStepCallBack cb = {AlwaysScale::Fn};
    bz_Phys_Step(&head, &cb);
    EXPECT_EQ(AlwaysScale::calls, BZ_PHYS_MAX_ITERATIONS);
    EXPECT_EQ(a.b.stuck, 1);
    EXPECT_EQ(a.b.physicsFlags & BZ_PHYS_YIELDED, 0u);
}

// ---------------------------------------------------------------------------------------------
// The step call back and SumIndexedScale.

struct ScaleOnce
{
    static inline std::vector<float> seen;
    static inline std::vector<void *> owners;
    static inline float limit = 0.0f;
    static inline int32_t answer = -1;
    static void Fn(bzPhysRow *rows, int32_t count)
    {
        ASSERT_GE(count, 1);
        seen.push_back(rows[0].value);
        owners.push_back(rows[0].bodyA);
        const int32_t index = 0;
        if (seen.size() == 1)
            answer = SumIndexedScale(limit, &index, 1);
    }
};

TEST_F(PhysStepTest, TheStepCallBackScalesTheSolveAndTheRestIsSolvedInAnotherIteration)
{
    Body a;
    a.Box("a", 2.0f, V(1, 1, 1), V(0, 0.5f, 0));
    a.b.linearVelocity = V(0, -0.4f, 0);
    BZDObject *head = Link({&a});
    Script script;
    script.entries.push_back({&a.b, nullptr, {WorldRow(&a.b, V(0, -0.5f, 0), V(0, 1, 0))}});
    ScaleOnce::seen.clear();
    ScaleOnce::owners.clear();
    ScaleOnce::limit = 0.05f;
    bzPhysStepCallBack cb = {ScaleOnce::Fn};
    // Outside a call back nothing is published.
    const int32_t zero = 0;
    EXPECT_EQ(SumIndexedScale(0.0f, &zero, 1), 0);
    bz_Phys_Step(&head, &cb);

    ASSERT_GE(ScaleOnce::seen.size(), 2u);
    EXPECT_EQ(ScaleOnce::answer, 1);
    // The rows reach the call back in their owners' terms.
    EXPECT_EQ(ScaleOnce::owners[0], &a.owner);
    const float first = ScaleOnce::seen[0];
    ASSERT_GT(first, ScaleOnce::limit);
    EXPECT_FLOAT_EQ(bzgPhysSettings.forceScale, ScaleOnce::limit / first);
    // The first solve was cut to the limit (the 2 kg body's speed changed by limit / 2); the
    // next iterations solved what was left of the approach: the body, which fell at 0.4 m/s,
    // neither approaches the world nor leaves it faster than the contact speed tolerance.
    EXPECT_GT(ScaleOnce::seen[1], 0.0f);
    EXPECT_GT(a.b.linearVelocity.y, -0.4f + (ScaleOnce::limit + ScaleOnce::seen[1]) / 2.0f - 1e-5f);
    EXPECT_NEAR(a.b.linearVelocity.y, 0.0f, bzgPhysSettings.contactSpeedTolerance);
}

// ---------------------------------------------------------------------------------------------
// Pair call backs.

struct PairAnswers
{
    static inline int32_t answer = 10;
    static inline int calls = 0;
    static int32_t Fn(void *, void *)
    {
        ++calls;
        return answer;
    }
};

TEST_F(PhysStepTest, APairCallBackAnsweringOtherValuesRepeatsThePairAtMostTwiceThenCountsAsDefault)
{
    struct Case
    {
        int32_t answer;
        int pairTests;
        bool joined;
    };
    // A pair whose row pushed both bodies is gathered once more in the step (10 and 7): the
    // repeats count again in that gathering.
    // The row joins a's right face to b's left face: the boxes overlap by 0.1 m.
    for (const Case &k : {Case{10, 2, true}, Case{11, 1, false}, Case{7, 6, true}})
    {
        Body a, b;
        a.Box("a", 1, V(1, 1, 1), V(0, 0, 0));
        b.Box("b", 1, V(1, 1, 1), V(0.9f, 0, 0));
        a.b.mode = BZ_PHYS_MODE_PAIR_CALLBACK;
        a.b.pairCallBack = reinterpret_cast<bzPhysCallBack>(PairAnswers::Fn);
        BZDObject *head = Link({&a, &b});
        Script script;
        script.Name(a);
        script.Name(b);
        script.entries.push_back(
            {&a.b,
             &b.b,
             {PairRow(&a.b, &b.b, V(0.5f, 0, 0), V(-1, 0, 0), V(-0.5f, 0, 0), V(-1, 0, 0))}});
        PairAnswers::answer = k.answer;
        PairAnswers::calls = 0;
        bz_Phys_Step(&head, nullptr);
        int pairTests = 0;
        for (const std::string &s : script.log)
            pairTests += s == "P:a,b";
        EXPECT_EQ(pairTests, k.pairTests) << "answer " << k.answer;
        EXPECT_EQ(PairAnswers::calls, k.pairTests) << "answer " << k.answer;
        EXPECT_EQ(a.b.solveGroup != 0 && a.b.solveGroup == b.b.solveGroup, k.joined)
            << "answer " << k.answer;
    }
}

// Each pair of a ring is tested once in an iteration in which both its bodies gather, whatever
// order the ring gathers them in. Three overlapping unit boxes side by side (x 0, 0.3 and 0.6 in
// every arrangement), each pair with a row that joins them into one ring: the first body in x
// order takes the others into its ring, and in the first iteration every body gathers. A body
// that gathers before a partner ordering before it in memory leaves the pair to that partner;
// it must still test the pair although it then finds the body gathered already.
TEST_F(PhysStepTest, EveryPairOfARingIsTestedOnceInAnIterationInWhichBothGather)
{
    const float places[6][3] = {{0.0f, 0.3f, 0.6f}, {0.0f, 0.6f, 0.3f}, {0.3f, 0.0f, 0.6f},
                                {0.3f, 0.6f, 0.0f}, {0.6f, 0.0f, 0.3f}, {0.6f, 0.3f, 0.0f}};
    for (const auto &at : places)
    {
        Body box[3]; // in one array: their addresses order them 0, 1, 2
        const char *names[3] = {"0", "1", "2"};
        for (int i = 0; i < 3; ++i)
            box[i].Box(names[i], 1, V(1, 1, 1), V(at[i], 5, 0));
        BZDObject *head = Link({&box[0], &box[1], &box[2]});
        Script script;
        for (Body &b : box)
            script.Name(b);
        for (int i = 0; i < 3; ++i)
        {
            for (int j = 0; j < 3; ++j)
            {
                if (i == j)
                    continue;
                const float side = at[i] < at[j] ? 1.0f : -1.0f;
                script.entries.push_back(
                    {&box[i].b,
                     &box[j].b,
                     {PairRow(&box[i].b, &box[j].b, V(0.5f * side, 0, 0), V(-side, 0, 0),
                              V(-0.5f * side, 0, 0), V(-side, 0, 0))}});
            }
        }
        bz_Phys_Step(&head, nullptr);
        const std::string arrangement =
            std::to_string(at[0]) + " " + std::to_string(at[1]) + " " + std::to_string(at[2]);
        ASSERT_TRUE(box[0].b.solveGroup != 0 && box[0].b.solveGroup == box[1].b.solveGroup &&
                    box[1].b.solveGroup == box[2].b.solveGroup)
            << arrangement;
        for (int i = 0; i < 3; ++i)
        {
            for (int j = i + 1; j < 3; ++j)
            {
                int tests = 0;
                for (size_t k = 0; k < script.log.size(); ++k)
                {
                    if (script.iterations[k] == 1 &&
                        (script.log[k] == "P:" + std::string(names[i]) + "," + names[j] ||
                         script.log[k] == "P:" + std::string(names[j]) + "," + names[i]))
                        ++tests;
                }
                EXPECT_EQ(tests, 1) << "pair " << i << "," << j << " at " << arrangement;
            }
        }
    }
}

TEST_F(PhysStepTest, ABodyWithoutCollisionIsNeverPaired)
{
    for (int which = 0; which < 2; ++which)
    {
        Body a, b;
        a.Box("a", 1, V(1, 1, 1), V(0, 0, 0));
        b.Box("b", 1, V(1, 1, 1), V(0.9f, 0, 0));
        (which ? b : a).b.physicsFlags |= BZ_PHYS_NO_COLLISION;
        BZDObject *head = Link({&a, &b});
        Script script;
        script.Name(a);
        script.Name(b);
        bz_Phys_Step(&head, nullptr);
        for (const std::string &s : script.log)
            EXPECT_EQ(s.rfind("P:", 0), std::string::npos) << s;
    }
}

// ---------------------------------------------------------------------------------------------
// Joint weakness: 9 leaves the solve alone, 11 scales it by t and rebuilds the tree.

struct Weakness
{
    static inline int32_t answer = 9;
    static inline int calls = 0;
    static inline std::vector<float> magnitudes;
    static inline std::vector<int32_t> limitFlags;
    static inline BZDObject *breakBody = nullptr;
    static int32_t Fn(void *, void *partner, int32_t limit, float magnitude)
    {
        ++calls;
        magnitudes.push_back(magnitude);
        limitFlags.push_back(limit);
        EXPECT_EQ(partner, nullptr);
        if (answer == BZ_PHYS_CB_BROKE && breakBody)
            breakBody->worldJoint = nullptr;
        return answer;
    }
    static void Reset(int32_t a, BZDObject *body)
    {
        answer = a;
        calls = 0;
        magnitudes.clear();
        limitFlags.clear();
        breakBody = body;
    }
};

// A unit mass hanging from a ball joint to the world at anchor, 1 m above its centre.
struct Hanging
{
    Body bob;
    BZDJoint joint = {};
    bzPhysJointWeakness weak = {};
    Hanging(float x, float y, const bzV3 &anchor, float mass = 1.0f)
    {
        bob.Box("bob", mass, V(0.1f, 0.1f, 0.1f), V(x, y, 0));
        joint.kind = 0x0003;
        bzV3 local;
        bz_M34_InverseTransformPointInto(&bob.b.startTransform, &local, &anchor);
        joint.childAnchor = local;
        joint.parentAnchor = anchor;
        bob.b.worldAnchor = anchor;
        bob.b.worldJoint = &joint;
    }
    void Breakable(float threshold)
    {
        weak.linear = reinterpret_cast<void (*)()>(Weakness::Fn);
        weak.linearThreshold = threshold;
        weak.angularThreshold = -1.0f;
        weak.owner = &bob.owner;
        joint.weakness = &weak;
    }
    float AnchorError() const
    {
        bzV3 at, d;
        bz_M34_TransformPointInto(&bob.m, &at, &joint.childAnchor);
        bz_V3_SubInto(&at, &bob.b.worldAnchor, &d);
        return bz_V3_Length(&d);
    }
};

TEST_F(PhysStepTest, AWeaknessCallBackAnsweringNineLeavesTheJointHoldingFully)
{
    Hanging h(0, 0, V(0, 1, 0));
    h.Breakable(5.0f); // below the static load of 10 N
    BZDObject *head = Link({&h.bob});
    Weakness::Reset(BZ_PHYS_CB_NOTHING, &h.bob.b);
    for (int i = 0; i < 10; ++i)
        Frame(&head, 10.0f);
    EXPECT_EQ(Weakness::calls, 10);
    EXPECT_FLOAT_EQ(Weakness::magnitudes[0], std::sqrt(5.0f));
    EXPECT_EQ(Weakness::limitFlags[0], 0);
    EXPECT_LT(h.AnchorError(), 1e-5f);
    EXPECT_NEAR(h.bob.b.linearVelocity.y, 0.0f, 1e-4f);
    EXPECT_NE(h.bob.b.worldJoint, nullptr);
}

TEST_F(PhysStepTest, AJointBelowTheStaticLoadBreaksOnceAndTheBodyThenFallsFreely)
{
    Hanging h(0, 0, V(0, 1, 0));
    h.Breakable(5.0f);
    BZDObject *head = Link({&h.bob});
    Weakness::Reset(BZ_PHYS_CB_BROKE, &h.bob.b);
    Frame(&head, 10.0f);
    ASSERT_EQ(Weakness::calls, 1);
    EXPECT_EQ(h.bob.b.worldJoint, nullptr);
    // The joint held until its impulse reached dt x threshold = 0.2 of the 0.4 it needed: the
    // solve was cut at t = 0.5, so the body keeps half its fall speed.
    float vy = -0.4f + 0.2f;
    EXPECT_NEAR(h.bob.b.linearVelocity.y, vy, 1e-5f);
    float y = vy * 0.04f;
    EXPECT_NEAR(h.bob.Position().y, y, 1e-6f);
    for (int i = 0; i < 20; ++i)
    {
        Frame(&head, 10.0f);
        vy -= 0.4f;
        y += 0.04f * vy;
    }
    EXPECT_EQ(Weakness::calls, 1);
    EXPECT_NEAR(h.bob.b.linearVelocity.y, vy, 1e-4f);
    EXPECT_NEAR(h.bob.Position().y, y, 1e-4f);
}

TEST_F(PhysStepTest, OfTwoRecordsPassingTheirThresholdsOnlyTheEarlierBreaksAndTiesGoToTheFirst)
{
    struct Case
    {
        float thresholdA, thresholdB;
        int expectedRecord; // 0 the first, 1 the second
    };
    for (const Case &k : {Case{3.0f, 6.0f, 0}, Case{6.0f, 3.0f, 1}, Case{4.0f, 4.0f, 0}})
    {
        Body a, b;
        a.Box("a", 1, V(1, 1, 1), V(0, 0, 0));
        b.Box("b", 1, V(1, 1, 1), V(5, 0, 0));
        BZDJoint ja = {}, jb = {};
        bzPhysJointWeakness wa = {}, wb = {};
        static int32_t chosen;
        chosen = -1;
        struct Cb
        {
            static int32_t A(void *, void *, int32_t, float)
            {
                chosen = 0;
                return BZ_PHYS_CB_BROKE;
            }
            static int32_t B(void *, void *, int32_t, float)
            {
                chosen = 1;
                return BZ_PHYS_CB_BROKE;
            }
        };
        wa.linear = reinterpret_cast<void (*)()>(Cb::A);
        wa.linearThreshold = k.thresholdA;
        wb.linear = reinterpret_cast<void (*)()>(Cb::B);
        wb.linearThreshold = k.thresholdB;
        ja.weakness = &wa;
        jb.weakness = &wb;
        a.b.worldJoint = &ja;
        b.b.worldJoint = &jb;
        // One run of one row each, carrying 0.4 this step.
        bzPhysRow rows[2] = {};
        rows[0].bodyA = &a.b;
        rows[0].type = BZ_ROW_LINEAR_JOINT_WEAK;
        rows[1].bodyA = &b.b;
        rows[1].type = BZ_ROW_LINEAR_JOINT_WEAK;
        bzPhysRow *pointers[2] = {&rows[0], &rows[1]};
        float values[2] = {0.4f, 0.4f};
        EXPECT_EQ(bz_Phys_CheckWeakness(values, 2, pointers, 0, 2, nullptr), 1);
        EXPECT_EQ(chosen, k.expectedRecord);
        // t = dt x threshold / 0.4 of the chosen record scales every value.
        const float t = 0.04f * (k.expectedRecord ? k.thresholdB : k.thresholdA) / 0.4f;
        EXPECT_NEAR(values[0], 0.4f * t, 1e-6f);
        EXPECT_NEAR(values[1], 0.4f * t, 1e-6f);
        // Each active accumulator keeps only the part of this step's impulse up to t.
        EXPECT_NEAR(wa.linearImpulse.x, 0.4f * t, 1e-6f);
        EXPECT_NEAR(wb.linearImpulse.x, 0.4f * t, 1e-6f);
    }
}

TEST_F(PhysStepTest, AnInvalidWeaknessAnswerIsReportedAndTheValuesAreStillScaled)
{
    Body a;
    a.Box("a", 1, V(1, 1, 1), V(0, 0, 0));
    BZDJoint j = {};
    bzPhysJointWeakness w = {};
    struct Cb
    {
        static int32_t Fn(void *, void *, int32_t, float) { return 42; }
    };
    w.linear = reinterpret_cast<void (*)()>(Cb::Fn);
    w.linearThreshold = 5.0f;
    j.weakness = &w;
    a.b.worldJoint = &j;
    bzPhysRow row = {};
    row.bodyA = &a.b;
    row.type = BZ_ROW_LINEAR_JOINT_WEAK;
    bzPhysRow *pointers[1] = {&row};
    float values[1] = {0.4f};
    const uint32_t reports = bz_Error_ReportCount();
    EXPECT_EQ(bz_Phys_CheckWeakness(values, 1, pointers, 0, 1, nullptr), 1);
    EXPECT_EQ(bz_Error_ReportCount(), reports + 1);
    EXPECT_STREQ(bz_Error_LastReportCaption(), "constraint weakness call back");
    EXPECT_NEAR(values[0], 0.2f, 1e-6f);
    // A negative threshold is inert.
    w.linearThreshold = -1.0f;
    w.linearImpulse = bzV3{};
    values[0] = 100.0f;
    EXPECT_EQ(bz_Phys_CheckWeakness(values, 1, pointers, 0, 1, nullptr), 0);
    EXPECT_FLOAT_EQ(values[0], 100.0f);
}

// ---------------------------------------------------------------------------------------------
// Jointed scenarios without collision.

TEST_F(PhysStepTest, AOneMetrePendulumKeepsItsAnchorAndSwingsWithThePeriodOfTheSmallAngleFormula)
{
    // 5 degrees out from under the anchor at (0, 1, 0).
    const float angle = 5.0f * 3.14159265f / 180.0f;
    Hanging h(std::sin(angle), 1.0f - std::cos(angle), V(0, 1, 0));
    BZDObject *head = Link({&h.bob});
    std::vector<float> crossings;
    float lastX = h.bob.Position().x;
    float worst = 0.0f;
    for (int step = 1; step <= 250; ++step)
    {
        Frame(&head, 10.0f);
        worst = std::fmax(worst, h.AnchorError());
        const float x = h.bob.Position().x;
        if ((lastX > 0.0f) != (x > 0.0f))
            crossings.push_back((step - 1 + lastX / (lastX - x)) * 0.04f);
        lastX = x;
    }
    EXPECT_LT(worst, 1e-5f);
    ASSERT_GE(crossings.size(), 6u);
    // Two crossings a period.
    const float period = 2.0f * (crossings.back() - crossings.front()) / (crossings.size() - 1);
    const float expected = 2.0f * 3.14159265f * std::sqrt(1.0f / 10.0f); // 1.987 s
    EXPECT_NEAR(period, expected, 0.03f * expected);
    EXPECT_NEAR(period, 1.99f, 0.03f * 1.99f);
    EXPECT_TRUE(Finite(h.bob.b.linearVelocity));
}

TEST_F(PhysStepTest, AHingeToTheWorldKeepsItsAxis)
{
    Hanging h(0, 0, V(0, 1, 0));
    h.joint.kind = 0x0203; // ball and a hinge about z
    h.joint.angularAxis[0] = V(1, 0, 0);
    h.joint.angularAxis[1] = V(0, 1, 0);
    h.joint.parentHingeAxis = V(0, 0, 1);
    h.joint.childHingeAxis = V(0, 0, 1);
    h.bob.b.angularVelocity = V(2.0f, -1.5f, 3.0f);
    h.bob.b.linearVelocity = V(1.0f, 0.0f, 0.5f);
    BZDObject *head = Link({&h.bob});
    for (int step = 0; step < 100; ++step)
    {
        Frame(&head, 10.0f);
        bzV3 axis;
        bz_M33_RotateV3Into(&h.bob.m, &axis, &h.joint.childHingeAxis);
        ASSERT_NEAR(axis.z, 1.0f, 1e-4f) << "step " << step;
        ASSERT_LT(h.AnchorError(), 1e-5f) << "step " << step;
    }
    // It swung about z and the spin about the other axes is gone.
    EXPECT_NEAR(h.bob.b.angularVelocity.x, 0.0f, 1e-3f);
    EXPECT_NEAR(h.bob.b.angularVelocity.y, 0.0f, 1e-3f);
}

// ---------------------------------------------------------------------------------------------
// Bad bodies and bodies added during a step.

TEST_F(PhysStepTest, AMassOfZeroIsReportedAndNeverDividedBy)
{
    Body bad, good;
    bad.Box("bad", 0.0f, V(1, 1, 1), V(0, 0, 0));
    bad.b.linearVelocity = V(0, -1, 0);
    good.Box("good", 1.0f, V(1, 1, 1), V(5, 0, 0));
    BZDObject *head = Link({&bad, &good});
    Frame(&head, 10.0f);
    ASSERT_FALSE(gErrors.empty());
    EXPECT_EQ(gErrors[0], BZ_PHYS_ERROR_ZERO_MASS);
    EXPECT_FLOAT_EQ(bad.b.inverseMass, 0.0f);
    EXPECT_TRUE(Finite(bad.b.linearVelocity));
    EXPECT_TRUE(Finite(bad.Position()));
    EXPECT_FLOAT_EQ(good.Position().y, -0.4f * 0.04f);
}

TEST_F(PhysStepTest, NaNPosesAndVelocitiesDoNotStopTheStep)
{
    Body bad, good;
    bad.Box("bad", 1.0f, V(1, 1, 1), V(0, 5, 0));
    bad.b.angularVelocity = V(NAN, 0, 0);
    bad.b.linearVelocity = V(0, NAN, 0);
    good.Box("good", 1.0f, V(1, 1, 1), V(5, 5, 0));
    BZDObject *head = Link({&bad, &good});
    Ground ground;
    Frame(&head, 10.0f);
    EXPECT_FLOAT_EQ(good.Position().y, 5.0f - 0.4f * 0.04f);
}

TEST_F(PhysStepTest, AnExhaustedWorkAreaIsReportedAndTheTreeMovesByItsJointPlacementAlone)
{
    const float angle = 0.3f;
    Hanging h(std::sin(angle), 1.0f - std::cos(angle), V(0, 1, 0));
    BZDObject *head = Link({&h.bob});
    // Everything but a few bytes of the work area is taken.
    const uint32_t room = bz_PhysMem_WorkAreaCapacity();
    ASSERT_NE(bz_PhysMem_Advance(room - 64), nullptr);
    // One frame's fall from rest.
    h.bob.b.linearVelocity = V(0.0f, -0.4f, 0.0f);
    const float x = h.bob.Position().x, y = h.bob.Position().y;
    // The step resets the top at its end, so the area is full again only for this step.
    bz_Phys_Step(&head, nullptr);
    ASSERT_FALSE(gErrors.empty());
    EXPECT_EQ(gErrors[0], BZ_PHYS_ERROR_WORK_AREA);
    // No rows were solved: the velocity keeps its fall, and the ball joint's placement puts
    // the body back on its anchor.
    EXPECT_FLOAT_EQ(h.bob.b.linearVelocity.y, -0.4f);
    EXPECT_NEAR(h.bob.Position().x, x, 1e-6f);
    EXPECT_NEAR(h.bob.Position().y, y, 1e-6f);
    EXPECT_LT(h.AnchorError(), 1e-5f);
    // With the area back, the joint holds again.
    gErrors.clear();
    for (int i = 0; i < 10; ++i)
        Frame(&head, 10.0f);
    EXPECT_TRUE(gErrors.empty());
    EXPECT_TRUE(Finite(h.bob.Position()));
}

TEST_F(PhysStepTest, InterpenetratingStartsAndVeryFastBodiesStayFinite)
{
    Ground ground;
    Body sunk, fast, spinning;
    sunk.Box("sunk", 1.0f, V(1, 1, 1), V(0, -0.3f, 0));
    fast.Box("fast", 1.0f, V(1, 1, 1), V(5, 0.4f, 0));
    fast.b.linearVelocity = V(3.0e4f, -2.0e4f, 1.0e4f);
    spinning.Box("spinning", 1.0f, V(1, 1, 1), V(-5, 0.5f, 0));
    spinning.b.angularVelocity = V(1.0e3f, 0.0f, 500.0f);
    BZDObject *head = Link({&sunk, &fast, &spinning});
    for (int i = 0; i < 25; ++i)
        Frame(&head, 10.0f);
    for (Body *b : {&sunk, &fast, &spinning})
    {
        EXPECT_TRUE(Finite(b->Position())) << b->name;
        EXPECT_TRUE(Finite(b->b.linearVelocity)) << b->name;
        EXPECT_TRUE(Finite(b->b.angularVelocity)) << b->name;
    }
    // The sunken box is pushed up, not down.
    EXPECT_GT(sunk.Position().y, -0.3f);
}

TEST_F(PhysStepTest, ASpinAtTheLimitSpeedGetsNoRowAndJustAboveItARowAimingAtFourFifths)
{
    // L = (pi / 2 / dt) / 2 with dt = 0.04.
    const float L = 3.14159265f / 2.0f / 0.04f / 2.0f;
    struct Case
    {
        float speed;
        uint32_t flags;
        bool row;
        float target;
    };
    for (const Case &k : {Case{L, 0, false, 0.0f}, Case{L * 1.01f, 0, true, L * 1.01f - 0.8f * L},
                          Case{L * 1.5f, BZ_PHYS_DOUBLE_OMEGA_LIMIT, false, 0.0f},
                          Case{L * 2.5f, BZ_PHYS_DOUBLE_OMEGA_LIMIT, true, L * 2.5f - 1.6f * L}})
    {
        Body a;
        a.Box("a", 1, V(1, 1, 1), V(0, 0, 0));
        a.b.physicsFlags = k.flags;
        a.b.savedAngularVelocity = V(0.0f, 0.0f, -k.speed);
        bzPhysRow rows[BZ_PHYS_CONTACT_ARRAY];
        const int32_t n = bz_Phys_AngularLimitRows(&a.b, rows, 0);
        ASSERT_EQ(n, k.row ? 1 : 0) << k.speed;
        if (!k.row)
            continue;
        EXPECT_EQ(rows[0].type, BZ_ROW_ANGULAR_JOINT);
        EXPECT_EQ(rows[0].bodyA, &a.b);
        EXPECT_EQ(rows[0].bodyB, nullptr);
        // Against the spin.
        EXPECT_FLOAT_EQ(rows[0].nA.z, 1.0f);
        EXPECT_NEAR(rows[0].rB.x, k.target, 1e-3f);
        EXPECT_EQ(a.b.contactKind & BZ_PHYS_CONTACT_ANGULAR_LIMIT, BZ_PHYS_CONTACT_ANGULAR_LIMIT);
    }
}

TEST_F(PhysStepTest, AFastSpinIsSlowedBeforeTheTreesAreSolved)
{
    Body a;
    a.Box("a", 1, V(1, 1, 1), V(0, 10, 0));
    a.b.angularVelocity = V(0.0f, 0.0f, 40.0f);
    BZDObject *head = Link({&a});
    bz_Phys_Step(&head, nullptr); // the saved spin is the step's own
    bz_Phys_Step(&head, nullptr);
    const float L = 3.14159265f / 2.0f / 0.04f / 2.0f;
    EXPECT_LT(bz_V3_Length(&a.b.angularVelocity), 40.0f);
    EXPECT_GT(bz_V3_Length(&a.b.angularVelocity), 0.5f * L);
    EXPECT_TRUE(Finite(a.b.angularVelocity));
}

struct ExtraSolve
{
    static inline int calls = 0;
    static inline int32_t rows = 0;
    static inline float firstImpulse = 0.0f;
    static int32_t Fn(BZDObject *, bzPhysRow *const *jointRows, int32_t jointCount,
                      const float *impulses, bzPhysRow *const *, int32_t contactCount)
    {
        ++calls;
        rows = jointCount;
        EXPECT_EQ(contactCount, 0);
        EXPECT_NE(jointRows[0], nullptr);
        firstImpulse = std::fabs(impulses[0]) + std::fabs(impulses[1]) + std::fabs(impulses[2]);
        return 0;
    }
};

TEST_F(PhysStepTest, TheExtraSolveRunsForTreesThatAskForItWithTheirSolvedJointRows)
{
    for (const bool ask : {false, true})
    {
        Hanging h(0, 0, V(0, 1, 0));
        if (ask)
            h.bob.b.physicsFlags |= BZ_PHYS_EXTRA_SOLVE;
        BZDObject *head = Link({&h.bob});
        ExtraSolve::calls = 0;
        bz_Phys_SetExtraSolve(ExtraSolve::Fn);
        Frame(&head, 10.0f);
        bz_Phys_SetExtraSolve(nullptr);
        EXPECT_EQ(ExtraSolve::calls, ask ? 1 : 0);
        if (ask)
        {
            // The ball joint's three rows, holding the 0.4 of one step's fall.
            EXPECT_EQ(ExtraSolve::rows, 3);
            EXPECT_NEAR(ExtraSolve::firstImpulse, 0.4f, 1e-4f);
        }
    }
}

TEST_F(PhysStepTest, ThePairFilterTakesGroupsFlagsBoxesAndJointedObjectsIntoAccount)
{
    Body a, b;
    a.Box("a", 1, V(1, 1, 1), V(0, 0, 0));
    b.Box("b", 1, V(1, 1, 1), V(1, 0, 0));
    auto boxes = [&](float gap)
    {
        a.b.bodyBox = {V(-0.5f, -0.5f, -0.5f), V(0.5f, 0.5f, 0.5f)};
        b.b.bodyBox = {V(0.5f + gap, -0.5f, -0.5f), V(1.5f + gap, 0.5f, 0.5f)};
    };
    boxes(0.0f); // touching counts as overlap
    EXPECT_EQ(bz_Phys_PairAllowed(&a.b, &b.b), 1);
    EXPECT_EQ(bz_Phys_PairAllowed(&a.b, &a.b), 0);
    boxes(0.01f);
    EXPECT_EQ(bz_Phys_PairAllowed(&a.b, &b.b), 0);
    boxes(0.0f);
    a.b.ignoreMask = b.b.groupMask;
    EXPECT_EQ(bz_Phys_PairAllowed(&a.b, &b.b), 0);
    EXPECT_EQ(bz_Phys_PairAllowed(&b.b, &a.b), 0);
    a.b.ignoreMask = 0;
    a.b.physicsFlags = BZ_PHYS_PAIR_EXCLUSIVE;
    EXPECT_EQ(bz_Phys_PairAllowed(&a.b, &b.b), 1);
    b.b.physicsFlags = BZ_PHYS_PAIR_EXCLUSIVE;
    EXPECT_EQ(bz_Phys_PairAllowed(&a.b, &b.b), 0);
    a.b.physicsFlags = b.b.physicsFlags = 0;
    // Inside one jointed object: a body never meets its own top, nor a body welded under the
    // same top.
    bz_Body_AttachChild(&b.b, &a.b);
    b.b.top = &a.b;
    EXPECT_EQ(bz_Phys_PairAllowed(&a.b, &b.b), 0);
    Body c;
    c.Box("c", 1, V(1, 1, 1), V(1, 0, 0));
    c.b.bodyBox = b.b.bodyBox;
    bz_Body_AttachChild(&c.b, &a.b);
    c.b.top = &a.b;
    EXPECT_EQ(bz_Phys_PairAllowed(&b.b, &c.b), 1);
    c.b.physicsFlags = BZ_PHYS_WELDED;
    EXPECT_EQ(bz_Phys_PairAllowed(&b.b, &c.b), 0);
}

TEST_F(PhysStepTest, AContactWithAHeavyBodyActsOnTheOtherBodyAlone)
{
    Body light, heavy;
    light.Box("light", 1, V(1, 1, 1), V(0, 0, 0));
    heavy.Box("heavy", 1, V(1, 1, 1), V(0.9f, 0, 0));
    heavy.b.physicsFlags = BZ_PHYS_HEAVY;
    light.b.linearVelocity = V(1, 0, 0);
    BZDObject *head = Link({&light, &heavy});
    Script script;
    script.entries.push_back(
        {&light.b,
         &heavy.b,
         {PairRow(&light.b, &heavy.b, V(0.5f, 0, 0), V(-1, 0, 0), V(-0.4f, 0, 0), V(-1, 0, 0))}});
    bz_Phys_Step(&head, nullptr);
    EXPECT_LT(light.b.linearVelocity.x, 1.0f);
    EXPECT_FLOAT_EQ(heavy.b.linearVelocity.x, 0.0f);
    // Not joined: each ring holds its body alone.
    EXPECT_EQ(light.b.ring, &light.b);
    EXPECT_EQ(heavy.b.ring, &heavy.b);
}

struct AddDuringStep
{
    static inline BZDObject *added = nullptr;
    static inline int calls = 0;
    static int32_t PostSolve(BZDObject *)
    {
        if (calls++ == 0)
            bz_Phys_AddBody(added);
        return 0;
    }
};

TEST_F(PhysStepTest, ABodyAddedDuringTheStepIsPreparedAndSortedIntoTheList)
{
    Body a, b, late;
    a.Box("a", 1, V(1, 1, 1), V(0, 0, 0));
    b.Box("b", 1, V(1, 1, 1), V(10, 0, 0));
    late.Box("late", 4, V(1, 1, 1), V(5, 0, 0));
    a.b.postSolveCallBack = reinterpret_cast<bzPhysCallBack>(AddDuringStep::PostSolve);
    BZDObject *head = Link({&a, &b});
    Script script;
    script.entries.push_back({&a.b, nullptr, {WorldRow(&a.b, V(0, -0.5f, 0), V(0, 1, 0))}});
    AddDuringStep::added = &late.b;
    AddDuringStep::calls = 0;
    // Outside a step nothing happens.
    bz_Phys_AddBody(&late.b);
    EXPECT_FLOAT_EQ(late.b.inverseMass, 0.0f);
    Frame(&head, 10.0f);
    EXPECT_FLOAT_EQ(late.b.inverseMass, 0.25f);
    ASSERT_EQ(head, &a.b);
    EXPECT_EQ(a.b.nextSibling, &late.b);
    EXPECT_EQ(late.b.nextSibling, &b.b);
    EXPECT_EQ(late.b.rootList, &a.b);
    EXPECT_EQ(b.b.rootList, &late.b);
}

TEST_F(PhysStepTest, TheSmallOperationsSetVelocitiesAndMarkSubtrees)
{
    Body root, child;
    root.Box("root", 1, V(1, 1, 1), V(0, 0, 0));
    child.Box("child", 1, V(1, 1, 1), V(0, -1, 0));
    bz_Body_AttachChild(&child.b, &root.b);
    root.b.angularVelocity = V(1, 2, 3);
    child.b.angularVelocity = V(1, 2, 3);
    const bzV3 v = V(1, -2, 0.5f);
    bz_Phys_SetTreeVelocity(&root.b, &v);
    for (BZDObject *b : {&root.b, &child.b})
    {
        EXPECT_FLOAT_EQ(b->linearVelocity.y, -2.0f);
        EXPECT_FLOAT_EQ(b->localLinearVelocity.y, -2.0f);
        EXPECT_FLOAT_EQ(b->angularVelocity.z, 0.0f);
    }
    bz_Phys_SetTreeVelocity(&root.b, nullptr);
    EXPECT_FLOAT_EQ(child.b.linearVelocity.x, 0.0f);
    bz_Phys_MarkSubtreeStuck(&root.b);
    EXPECT_EQ(child.b.stuck, 1);
    EXPECT_EQ(child.b.physicsFlags & (BZ_PHYS_YIELDED | BZ_PHYS_YIELD_MARK),
              BZ_PHYS_YIELDED | BZ_PHYS_YIELD_MARK);
    EXPECT_EQ(bz_Phys_IsBusyOrSolving(&root.b), 0);
    root.b.busy = 1;
    EXPECT_EQ(bz_Phys_IsBusyOrSolving(&root.b), 1);
}
} // namespace
