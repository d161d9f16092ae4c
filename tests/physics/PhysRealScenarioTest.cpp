// Reference scenarios of the physics step with the real world and pair collision installed:
// the ground is made of faces held in each body's collision cache and the bodies are boxes and
// balls with real forms. The game's settings: dt 0.04, T 0.025, contact distance 0.001, rest
// factor 10, three friction passes, g 10. Run alone with --gtest_filter=PhysRealScenario*: the
// whole file takes well under a second.
#include "collision/CollisionContact.h"
#include "collision/FaceList.h"
#include "collision/Form.h"
#include "collision/Shape.h"
#include "maths/Matrix.h"
#include "maths/Vector.h"
#include "physics/Body.h"
#include "physics/Bounce.h"
#include "physics/PhysInstall.h"
#include "physics/PhysMemory.h"
#include "physics/PhysServices.h"
#include "physics/PhysSettings.h"
#include "physics/PhysStep.h"
#include "physics/Substance.h"
#include "physics/WorldCollision.h"

#include "PhysRealWorld.h"
#include "PhysStepWorld.h"
#include "SubstanceTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

namespace
{
using physworld::V;
using namespace realworld;

constexpr float kG = 10.0f;
constexpr float kDt = 0.04f;

// Where body i of a pile starts: the step benchmark's pile, four columns, each body a little off
// the one below, the lowest layer 0.25 m above the floor.
bzV3 PileAt(int i)
{
    return V(0.55f * float(i % 4) + 0.05f * float((i / 4) % 2), 0.5f + 0.6f * float(i / 4),
             0.1f * float((i / 2) % 3));
}

// How deep any body of a pile ever got into the floor and into another body, over 100 steps of
// bodies dropped from their pile places: boxes of edge 0.5 m or balls of radius 0.25 m, 1 kg.
// A box's lowest point is its centre less the half edge times the sum of its axes' heights. Two
// bodies apart have their centres at least 0.5 m apart (each box holds the ball of radius 0.25
// about its centre), so 0.5 m less their distance is at least how far one is in the other.
// The floor ends 10 m from the origin: a body that rolls beyond its edge falls, as it should,
// and from there on is not counted as in the floor.
struct PileDepths
{
    float floor = 0.0f, between = 0.0f;
    int floorStep = 0, betweenStep = 0;
    float endFloor = 0.0f, endBetween = 0.0f; // the same after the last step alone
};
PileDepths DropPile(int count, bool balls)
{
    Ground ground;
    // One array: where two bodies meet, the one at the lower address tests first, so the bodies
    // lie in the order of their places whatever the process allocated before.
    const std::unique_ptr<Solid[]> solids(new Solid[count]);
    std::vector<Solid *> all;
    for (int i = 0; i < count; ++i)
    {
        if (balls)
            solids[i].Ball(ground, 1.0f, 0.25f, PileAt(i));
        else
            solids[i].Box(ground, 1.0f, 0.5f, PileAt(i));
        all.push_back(&solids[i]);
    }
    std::vector<physworld::Body *> bodies;
    for (Solid *s : all)
        bodies.push_back(&s->body);
    BZDObject *head = physworld::Link(bodies);
    PileDepths worst;
    for (int step = 1; step <= 100; ++step)
    {
        physworld::Frame(&head, kG);
        worst.endFloor = worst.endBetween = -1.0f;
        for (int i = 0; i < count; ++i)
        {
            const bzM34 &m = solids[i].body.m;
            const float reach = balls ? 0.25f
                                      : 0.25f * (std::fabs(m.row[0].y) + std::fabs(m.row[1].y) +
                                                 std::fabs(m.row[2].y));
            const bool overFloor = std::fabs(m.row[3].x) < 10.0f && std::fabs(m.row[3].z) < 10.0f;
            const float depth = overFloor ? reach - m.row[3].y : 0.0f;
            worst.endFloor = std::fmax(worst.endFloor, depth);
            if (depth > worst.floor)
            {
                worst.floor = depth;
                worst.floorStep = step;
            }
            for (int j = i + 1; j < count; ++j)
            {
                bzV3 d;
                const bzV3 pi = solids[i].Position(), pj = solids[j].Position();
                bz_V3_SubInto(&pi, &pj, &d);
                if (0.5f - bz_V3_Length(&d) > worst.between)
                {
                    worst.between = 0.5f - bz_V3_Length(&d);
                    worst.betweenStep = step;
                }
                worst.endBetween = std::fmax(worst.endBetween, 0.5f - bz_V3_Length(&d));
            }
        }
    }
    for (Solid *s : all)
        bz_Phys_ForgetBounceRecords(s->b(), s->b());
    return worst;
}

class PhysRealScenarioTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const auto install = []
        {
            bz_Phys_InstallServices();
            bz_PhysWorld_SetLevel(0.0f, 0);
        };
        ASSERT_EQ(physworld::StartScenario(kG, install), 0);
    }
    void TearDown() override
    {
        bz_PhysMem_Release();
        bz_Phys_RemoveServices();
        bz_Phys_ResetSettings();
    }
    static BZDObject *Link(const std::vector<Solid *> &solids)
    {
        std::vector<physworld::Body *> bodies;
        for (Solid *s : solids)
            bodies.push_back(&s->body);
        return physworld::Link(bodies);
    }
};

TEST_F(PhysRealScenarioTest, ABoxAMillimetreAboveTheGroundSettlesWithinASecond)
{
    Ground ground;
    Solid box;
    box.Box(ground, 1.0f, 1.0f, V(0, 0.501f, 0));
    physworld::ForgetBounces forget{box.b()};
    BZDObject *head = Link({&box});
    int settled = -1;
    for (int step = 1; step <= 75; ++step)
    {
        physworld::Frame(&head, kG);
        const float gap = box.Position().y - 0.5f;
        if (settled < 0 && std::fabs(gap) < 0.002f && std::fabs(box.b()->linearVelocity.y) < 0.05f)
            settled = step;
        if (settled >= 0)
        {
            EXPECT_LT(std::fabs(gap), 0.002f) << "step " << step;
            EXPECT_GT(gap, -0.0005f) << "step " << step << ": never sinks into the ground";
        }
    }
    ASSERT_GE(settled, 0);
    EXPECT_LE(settled * kDt, 1.0f);
    EXPECT_GT(box.body.m.row[1].y, 0.9999f);
}

// The box settles 1.33 mm above the ground (the contact distance 1 mm plus a step of the
// resting rows' separating speed T/3, 0.33 mm). Each frame gravity takes 0.4 m/s of upward speed
// and the ground gives it back, more than 0.9 of |g| dt, so the box counts as held up; its rest
// count starts at 5, restarts at 4 and the next resting step makes it quiet: asleep within a
// few steps of settling, well inside 2 s. A ball dropped onto it wakes it.
TEST_F(PhysRealScenarioTest, ASettledBoxSleepsWithinTwoSecondsAndWakesWhenHit)
{
    Ground ground;
    Solid box;
    box.Box(ground, 1.0f, 1.0f, V(0, 0.501f, 0));
    physworld::ForgetBounces forget{box.b()};
    BZDObject *head = Link({&box});
    int asleep = -1;
    for (int step = 1; step <= 75 && asleep < 0; ++step)
    {
        physworld::Frame(&head, kG);
        if (box.b()->asleep)
            asleep = step;
    }
    ASSERT_GE(asleep, 0);
    EXPECT_LE(asleep * kDt, 2.2f);
    // Asleep it stays where it settled, its velocities zeroed, through frames of gravity.
    const float settled = box.Position().y;
    EXPECT_NEAR(settled, 0.5f, 0.002f);
    for (int step = 0; step < 25; ++step)
        physworld::Frame(&head, kG);
    EXPECT_TRUE(box.b()->asleep);
    EXPECT_EQ(box.Position().y, settled);
    EXPECT_EQ(bz_V3_LengthSq(&box.b()->linearVelocity), 0.0f);

    Solid falling;
    falling.Ball(ground, 1.0f, 0.25f, V(0.1f, 2.0f, 0));
    physworld::ForgetBounces forgetFalling{falling.b()};
    head = Link({&box, &falling});
    bool woke = false;
    int step = 0;
    for (; step < 40 && !woke; ++step)
    {
        physworld::Frame(&head, kG);
        woke = !box.b()->asleep;
    }
    EXPECT_TRUE(woke);
    // It wakes in the step the ball reaches it: the ball's bottom falls from 1.75 to 1.0 m, a
    // drop of 0.008 n (n + 1) passing 0.75 m at n = 10.
    EXPECT_EQ(step, 10);
}

// A 1 kg ball (radius 0.25) dropped from 2 m onto a box that has settled on the ground. The box
// settles in the first steps and the ball reaches it in step 10 (its bottom falls 0.75 m, a drop
// of 0.008 n (n + 1)). From the second second on, the box stays where it settled, 1.33 mm up
// (the contact distance plus a step of T / 3), whatever the ball does: its ground contacts ask
// only for what undoes a depth in the ground, and no separating speed for a gap. The ball rests
// on the box's top: never sunk into it, and at most the contact distance plus a step of its
// swept contact's separating speed T (1 + 1 mm) above it. It stays over the box (x 0.1).
TEST_F(PhysRealScenarioTest, ABallLandingOnARestingBoxIsHeldByIt)
{
    Ground ground;
    Solid box, falling;
    box.Box(ground, 1.0f, 1.0f, V(0, 0.501f, 0));
    falling.Ball(ground, 1.0f, 0.25f, V(0.1f, 2.0f, 0));
    physworld::ForgetBounces forget{box.b()}, forgetFalling{falling.b()};
    BZDObject *head = Link({&box, &falling});
    for (int step = 1; step <= 75; ++step)
    {
        physworld::Frame(&head, kG);
        if (step < 25)
            continue;
        const float boxLift = box.Position().y - 0.5f;
        const float ballGap = falling.Position().y - 0.25f - (box.Position().y + 0.5f);
        EXPECT_GT(boxLift, 0.0f) << "step " << step;
        EXPECT_LT(boxLift, 0.002f) << "step " << step;
        EXPECT_GT(ballGap, -0.0005f) << "step " << step << ": never sinks into the box";
        EXPECT_LT(ballGap, 0.0025f) << "step " << step;
        EXPECT_NEAR(falling.Position().x, 0.1f, 0.005f) << "step " << step;
    }
    EXPECT_GT(box.body.m.row[1].y, 0.9999f);
}

TEST_F(PhysRealScenarioTest, TwoBoxesMeetingHeadOnInZeroGravityKeepTheirMomentum)
{
    Ground ground;
    Solid a, b;
    a.Box(ground, 1.0f, 1.0f, V(-1.0f, 5.0f, 0));
    b.Box(ground, 2.0f, 1.0f, V(1.0f, 5.0f, 0));
    a.b()->linearVelocity = V(3.0f, 0, 0);
    b.b()->linearVelocity = V(-1.0f, 0, 0);
    physworld::ForgetBounces fa{a.b()}, fb{b.b()};
    BZDObject *head = Link({&a, &b});
    auto momentum = [&]()
    {
        bzV3 p;
        bz_V3_ScaleInto(&a.b()->linearVelocity, &p, 1.0f);
        bzV3 q;
        bz_V3_ScaleInto(&b.b()->linearVelocity, &q, 2.0f);
        return V(p.x + q.x, p.y + q.y, p.z + q.z);
    };
    const bzV3 start = momentum(); // (1, 0, 0)
    ASSERT_FLOAT_EQ(start.x, 1.0f);
    for (int step = 0; step < 50; ++step)
    {
        physworld::Frame(&head, 0.0f);
        const bzV3 p = momentum();
        EXPECT_NEAR(p.x, 1.0f, 1e-5f) << "step " << step;
        EXPECT_NEAR(p.y, 0.0f, 1e-5f) << "step " << step;
        EXPECT_NEAR(p.z, 0.0f, 1e-5f) << "step " << step;
    }
    // They met: the lighter box no longer moves at 3 m/s and they never pass through.
    EXPECT_LT(a.b()->linearVelocity.x, 2.0f);
    EXPECT_LT(a.Position().x, b.Position().x - 0.99f);
}

// Three unit boxes stacked on the ground, centres at 0.5, 1.5 and 2.5: over 10 s (250 steps) no
// box moves more than 5 mm from its place and none tips. Their resting contacts ask only for
// what undoes an overlap, so the boxes neither drift apart nor sink into each other.
TEST_F(PhysRealScenarioTest, AStackOfThreeBoxesStandsForTenSeconds)
{
    Ground ground;
    Solid boxes[3];
    std::vector<Solid *> all;
    for (int i = 0; i < 3; ++i)
    {
        boxes[i].Box(ground, 1.0f, 1.0f, V(0, 0.5f + float(i), 0));
        all.push_back(&boxes[i]);
    }
    physworld::ForgetBounces f0{boxes[0].b()}, f1{boxes[1].b()}, f2{boxes[2].b()};
    BZDObject *head = Link(all);
    float drift = 0.0f;
    for (int step = 0; step < 250; ++step)
    {
        physworld::Frame(&head, kG);
        for (int i = 0; i < 3; ++i)
        {
            const bzV3 p = boxes[i].Position();
            const float d = std::sqrt(
                p.x * p.x + (p.y - 0.5f - float(i)) * (p.y - 0.5f - float(i)) + p.z * p.z);
            drift = std::fmax(drift, d);
        }
    }
    EXPECT_LE(drift, 0.005f);
    for (int i = 0; i < 3; ++i)
        EXPECT_GT(boxes[i].body.m.row[1].y, 0.999f) << "box " << i << " stays upright";
}

// A box sliding at 5 m/s on the DEFAULT ground (mu 0.3) slows by mu g = 3 m/s^2 and stops
// after v^2 / (2 mu g) = 4.17 m. Below 1 m/s its contacts also get friction rows in the solve;
// solved with the rows that hold its contacts, their turn about the bottom edge never drives the
// front corners into the ground. Watched as it stops, the box never moves back, not even by
// 0.1 mm, and stays within 2 mm of resting height: its contacts share the load anew (those ahead
// take more), so the friction's turn neither lifts the box about its front edge nor tips it, and
// no contact pushes it back as it settles.
TEST_F(PhysRealScenarioTest,
       ABoxSlidingAtFiveMetresASecondStopsAfterItsFrictionDistanceAndNeverTurnsBack)
{
    Ground ground;
    Solid box;
    box.Box(ground, 1.0f, 1.0f, V(0, 0.5f, 0));
    box.b()->linearVelocity = V(5.0f, 0, 0);
    physworld::ForgetBounces forget{box.b()};
    BZDObject *head = Link({&box});
    float furthest = 0.0f, slowest = 0.0f;
    for (int step = 0; step < 100; ++step)
    {
        physworld::Frame(&head, kG);
        furthest = std::fmax(furthest, box.Position().x);
        slowest = std::fmin(slowest, box.b()->linearVelocity.x);
        // On the ground all the way: never into it, and never lifted as it rocks to a stop.
        EXPECT_GT(box.Position().y, 0.4995f) << "step " << step;
        EXPECT_LT(box.Position().y, 0.506f) << "step " << step;
        EXPECT_NEAR(box.Position().y, 0.5f, 0.002f) << "step " << step;
    }
    const float expected = 5.0f * 5.0f / (2.0f * 0.3f * kG); // 4.17 m
    EXPECT_NEAR(furthest, expected, 0.1f * expected);
    EXPECT_NEAR(box.Position().x, expected, 0.1f * expected);
    EXPECT_LT(bz_V3_Length(&box.b()->linearVelocity), 0.01f) << "as good as stopped";
    EXPECT_GT(slowest, -1e-4f);
    EXPECT_GT(box.Position().x, furthest - 1e-4f);
}

// A box lying on a ground turned by 10 degrees, 1 mm above it (its up the slope's normal), left
// for 50 steps (2 s): how far it moved and where its up axis points at the end. `substance`
// names the box's substance; null leaves it DEFAULT.
struct SlopeRun
{
    bzV3 moved;
    bzV3 up;
};
SlopeRun RunOnSlope(const char *substance)
{
    Ground ground(10.0f);
    Solid box;
    box.Box(ground, 1.0f, 1.0f, V(0, 0, 0));
    const bzV3 up = ground.Up();
    bzM34 r;
    bz_M34_SetIdentity(&r);
    r.row[0] = V(up.y, -up.x, 0.0f);
    r.row[1] = up;
    r.row[3] = V(0.501f * up.x, 0.501f * up.y, 0.0f);
    box.b()->startTransform = r;
    box.body.m = r;
    if (substance)
        box.b()->substance = static_cast<int32_t>(bz_Substance_FindByName(substance));
    physworld::ForgetBounces forget{box.b()};
    BZDObject *head = physworld::Link({&box.body});
    const bzV3 start = box.Position();
    for (int step = 0; step < 50; ++step)
        physworld::Frame(&head, kG);
    SlopeRun run;
    const bzV3 now = box.Position();
    bz_V3_SubInto(&now, &start, &run.moved);
    run.up = box.body.m.row[1];
    return run;
}

// DEFAULT on DEFAULT: mu 0.3 is above tan(10 degrees) = 0.176, so friction holds the box where
// it lands.
TEST_F(PhysRealScenarioTest, OnATenDegreeSlopeABoxStaysWithFriction)
{
    const SlopeRun run = RunOnSlope(nullptr);
    EXPECT_LT(bz_V3_Length(&run.moved), 0.01f);
    EXPECT_GT(run.up.y, std::cos(10.0f * kPi / 180.0f) - 1e-3f) << "not tipped";
}

// On ICE (friction 0) the box slides down at g sin(theta) = 1.74 m/s^2, 3.47 m over 2 s. It is
// held up against gravity and slow at first, but it gains 0.07 m/s along the slope every step,
// more than a tenth of a step of gravity (0.04 m/s), so its rest count never runs out.
TEST_F(PhysRealScenarioTest, OnATenDegreeIceSlopeABoxSlidesAtGSinTheta)
{
    const SlopeRun run = RunOnSlope("ICE");
    // s = a t^2 / 2 over 2 s, down the slope.
    const float a = kG * std::sin(10.0f * kPi / 180.0f);
    EXPECT_NEAR(bz_V3_Length(&run.moved), 0.5f * a * 4.0f, 0.05f * 0.5f * a * 4.0f);
    EXPECT_GT(run.moved.x, 0.0f);
}

// The ground's faces name their material, a record whose second word is the surface's
// substance slot, and the world contact rows carry the face to the friction: a box sliding at
// 5 m/s with its DEFAULT substance (friction 0.3) slows by mu g per second, mu the two
// substances' combined friction sqrt(0.3 x mu_surface). On a DEFAULT face (mu 0.3) it is at
// 5 - 3 = 2 m/s after 1 s; on ICE (friction 0, so mu 0) it keeps its 5 m/s; on a face of a
// substance of friction 0.675 (mu 0.45) it is at 5 - 4.5 = 0.5 m/s.
TEST_F(PhysRealScenarioTest, TheFrictionOfAWorldContactIsThatOfTheFacesSurface)
{
    const BZDSubstance rough = MakeSubstance(0.675f, 0.675f, 0.0f);
    const uint32_t roughSlot = bz_Substance_Register(&rough);
    ASSERT_NE(roughSlot, BZ_SUBSTANCE_NONE);
    struct Case
    {
        const char *surface;
        uint32_t slot;
        float speedAfterOneSecond;
    };
    const Case cases[] = {{"DEFAULT", 0u, 2.0f},
                          {"ICE", bz_Substance_FindByName("ICE"), 5.0f},
                          {"ROUGH", roughSlot, 0.5f}};
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.surface);
        // The surface's material record: its second word is the substance slot.
        struct
        {
            uint32_t word0;
            uint32_t slot;
        } material = {0, c.slot};
        Ground ground;
        for (bzDynFaceHit &f : ground.faces)
            f.material = reinterpret_cast<bzMaterial *>(&material);
        Solid box;
        box.Box(ground, 1.0f, 1.0f, V(0, 0.5f, 0));
        box.b()->linearVelocity = V(5.0f, 0, 0);
        physworld::ForgetBounces forget{box.b()};
        BZDObject *head = Link({&box});
        for (int step = 0; step < 25; ++step)
            physworld::Frame(&head, kG);
        EXPECT_NEAR(box.b()->linearVelocity.x, c.speedAfterOneSecond, 0.15f);
        // On the ground all the way (it rocks by a few millimetres as it stops).
        EXPECT_NEAR(box.Position().y, 0.5f, 0.005f);
    }
    bz_Substance_Unregister(roughSlot);
}

// A glass ball dropped 1 m onto the DEFAULT ground: the pair's restitution is (0.89 + 0) / 2 =
// 0.445. Falling from rest it crosses the ground in its 11th step at 4.4 m/s (a drop of
// 0.008 n (n + 1) after n steps passes 1 m at n = 11). The ground's impulses over the impact
// steps are re-applied times e once they pass the record's threshold, 1.5 m |dv| = 0.6 N s
// (dv the frame's velocity change, 0.4 m/s): the ball leaves at most at e x 4.4 m/s, so it rises
// to at most e^2 = 0.198 of its drop, and never less than half of that (the threshold takes
// 0.6 of about 4.4 N s). Each later bounce again rises at most e^2 times the one before, small
// ones end under the threshold, and the ball comes to rest on the ground.
TEST_F(PhysRealScenarioTest, ADroppedGlassBallBouncesByItsRestitutionAndComesToRest)
{
    Ground ground;
    Solid ball;
    ball.Ball(ground, 1.0f, 0.1f, V(0, 1.1f, 0));
    ball.b()->substance = static_cast<int32_t>(bz_Substance_FindByName("GLASS"));
    physworld::ForgetBounces forget{ball.b()};
    BZDObject *head = Link({&ball});
    auto height = [&]() { return ball.Position().y - 0.1f; };
    auto energy = [&]()
    { return 0.5f * bz_V3_LengthSq(&ball.b()->linearVelocity) + kG * height(); };
    const float start = energy();
    const float e = 0.445f;
    std::vector<float> apexes;
    float lastVy = 0.0f, top = 0.0f;
    int firstContact = -1;
    for (int step = 1; step <= 150; ++step)
    {
        physworld::Frame(&head, kG);
        // Allow the integrator's own error of one step's fall.
        EXPECT_LE(energy(), start + kG * kG * kDt * kDt) << "step " << step;
        EXPECT_GT(ball.Position().y, 0.09f) << "step " << step << ": never through the ground";
        const float vy = ball.b()->linearVelocity.y;
        if (firstContact < 0 && vy > lastVy)
            firstContact = step;
        top = std::fmax(top, height());
        if (lastVy > 0.0f && vy <= 0.0f)
        {
            apexes.push_back(top);
        }
        if (vy < 0.0f)
            top = 0.0f;
        lastVy = vy;
    }
    EXPECT_EQ(firstContact, 11);
    ASSERT_GE(apexes.size(), 2u) << "it bounces, and bounces again";
    EXPECT_LE(apexes[0], e * e * 1.0f);
    EXPECT_GE(apexes[0], 0.5f * e * e * 1.0f);
    for (size_t i = 1; i < apexes.size(); ++i)
        EXPECT_LE(apexes[i], e * e * apexes[i - 1] + 0.002f) << "apex " << i;
    EXPECT_NEAR(height(), 0.0f, 0.002f);
    EXPECT_NEAR(ball.b()->linearVelocity.y, 0.0f, 0.01f);
}
// Eight balls dropped in two layers from the step benchmark's pile: over 100 steps none sinks
// more than 3 mm into the floor (a ball resting a little in the floor is pushed back out, not let
// through) and none passes into another by more than 3 mm.
TEST_F(PhysRealScenarioTest, APileOfBallsDroppedOntoTheFloorStaysOnIt)
{
    const PileDepths worst = DropPile(8, true);
    EXPECT_LE(worst.floor, 0.003f) << "deepest in the floor at step " << worst.floorStep;
    EXPECT_LE(worst.between, 0.003f) << "deepest into another at step " << worst.betweenStep;
}

// The step benchmark's whole pile: forty balls dropped in ten layers, the highest from 5.9 m,
// so the last land at about 8 m/s on balls still moving. Over 100 steps:
// - none sinks deeper into the floor than the collision tolerance (1 cm): a ball deeper than
//   that was once lost through the floor; a ball a little in the floor is pushed back out;
// - none gets more than 6 cm into another (4.2 cm at step 14 here), where balls once passed
//   through each other (two centres 1.5 cm apart) or through the floor (two of the forty), and
//   went 12.5 cm into each other while a pair of a ring gathering in the wrong order for the
//   each-pair-once rule went untested;
// - at the end every ball on the floor lies on it within 3 mm and no two overlap by more than
//   3 mm. No ball leaves the floor (one was thrown out of the pile while pairs went untested).
// Within a step a fast ball can still go some way into the floor or into another before its
// contact holds it, the reason for the wider bounds while the pile falls.
TEST_F(PhysRealScenarioTest, TheBenchmarksPileOfFortyBallsStaysOnTheFloor)
{
    const PileDepths worst = DropPile(40, true);
    EXPECT_LE(worst.floor, 0.01f) << "deepest in the floor at step " << worst.floorStep;
    EXPECT_LE(worst.between, 0.06f) << "deepest into another at step " << worst.betweenStep;
    EXPECT_LE(worst.endFloor, 0.003f);
    EXPECT_LE(worst.endBetween, 0.003f);
}

// The same with eight boxes (each holds the ball of radius 0.25 about its centre, so 0.5 m
// between centres is the bound between boxes). The lower boxes rest on the floor while the
// upper ones land and rock on them; a lower box pushed again by a box above keeps its floor
// contacts in the solve that pushes it, so no corner sinks more than 3 mm.
TEST_F(PhysRealScenarioTest, APileOfBoxesDroppedOntoTheFloorStaysOnIt)
{
    const PileDepths worst = DropPile(8, false);
    EXPECT_LE(worst.floor, 0.003f) << "deepest in the floor at step " << worst.floorStep;
    EXPECT_LE(worst.between, 0.003f) << "deepest into another at step " << worst.betweenStep;
}

// A box of edge 0.5 m resting on the floor is hit by a box of the same size dropped from h
// above it (its underside h over the resting box's top), off its centre by d and moving
// sideways at 1 m/s: it lands at sqrt(2 g h), 6.3 m/s from 2 m, 7.7 m/s from 3 m, on the resting
// box's top or edge. The floor holds the resting box up through the whole landing: a push that
// reaches it finds its floor contacts in the same solve, and after a solve that changed its
// speed it looks for them again, so no corner of it (its lowest point: the centre less the half
// edge times the sum of its axes' heights) sinks more than 3 mm into the floor, and it ends on
// the floor within 2 mm. The falling box never sinks into the floor either. Before, the resting
// box's corner went 1.3 cm into the floor (d 0.2, h 2) and it stayed 2.4 mm low, and the falling
// box, pushed off it, went 1.9 cm into the floor (d 0.3, h 3).
TEST_F(PhysRealScenarioTest, ABoxLandingOnARestingBoxNeverDrivesItIntoTheFloor)
{
    struct Case
    {
        float d, h;
    };
    const Case cases[] = {{0.0f, 1.0f}, {0.1f, 2.0f}, {0.2f, 2.0f}, {0.3f, 3.0f}};
    auto depth = [](const Solid &s)
    {
        const bzM34 &m = s.body.m;
        return 0.25f * (std::fabs(m.row[0].y) + std::fabs(m.row[1].y) + std::fabs(m.row[2].y)) -
               m.row[3].y;
    };
    for (const Case &k : cases)
    {
        SCOPED_TRACE(testing::Message() << "off " << k.d << " from " << k.h);
        Ground ground;
        Solid resting, falling;
        resting.Box(ground, 1.0f, 0.5f, V(0, 0.25f, 0));
        falling.Box(ground, 1.0f, 0.5f, V(k.d, 0.5f + k.h + 0.25f, 0.05f));
        falling.b()->linearVelocity = V(-1.0f, 0, 0);
        physworld::ForgetBounces f1{resting.b()}, f2{falling.b()};
        BZDObject *head = Link({&resting, &falling});
        float deepest = 0.0f, fallingDeepest = 0.0f;
        for (int step = 1; step <= 75; ++step)
        {
            physworld::Frame(&head, kG);
            deepest = std::fmax(deepest, depth(resting));
            fallingDeepest = std::fmax(fallingDeepest, depth(falling));
        }
        EXPECT_LE(deepest, 0.003f);
        EXPECT_LE(fallingDeepest, 0.003f);
        EXPECT_NEAR(resting.Position().y, 0.25f, 0.002f);
    }
}

// How deep two cubes of the given half edge lie in each other, from their poses: the least
// overlap over the separating directions (each cube's three axes and the nine crossings of an
// axis of one with an axis of the other); 0 or less when they are apart.
float CubesDepth(const bzM34 &a, const bzM34 &b, float half)
{
    bzV3 axes[15];
    int n = 0;
    for (int i = 0; i < 3; ++i)
    {
        axes[n++] = a.row[i];
        axes[n++] = b.row[i];
        for (int j = 0; j < 3; ++j)
            bz_V3_CrossInto(&a.row[i], &b.row[j], &axes[6 + 3 * i + j]);
    }
    n = 15;
    bzV3 d;
    bz_V3_SubInto(&b.row[3], &a.row[3], &d);
    float least = 1e9f;
    for (int k = 0; k < n; ++k)
    {
        const float length = bz_V3_Length(&axes[k]);
        if (length < 1e-4f)
            continue;
        float reach = 0.0f;
        for (int i = 0; i < 3; ++i)
            reach += half * (std::fabs(bz_V3_Dot(&a.row[i], &axes[k])) +
                             std::fabs(bz_V3_Dot(&b.row[i], &axes[k])));
        least = std::fmin(least, (reach - std::fabs(bz_V3_Dot(&d, &axes[k]))) / length);
    }
    return least;
}

// Steps two 1 kg cubes of edge 0.5 m that were placed inside each other in zero gravity and
// checks every step: once they lie less than 1 cm in each other they stay so, their momentum
// stays 0 (nothing outside acts on them), and check(b's velocity less a's, step) holds. Returns
// the first step they were apart, -1 when they never were.
template <class PartingCheck>
int StepApart(BZDObject *&head, Solid &a, Solid &b, int steps, PartingCheck check)
{
    int apartFrom = -1;
    for (int step = 1; step <= steps; ++step)
    {
        physworld::Frame(&head, 0.0f);
        const float depth = CubesDepth(a.body.m, b.body.m, 0.25f);
        if (apartFrom < 0 && depth < 0.01f)
            apartFrom = step;
        if (apartFrom > 0)
        {
            EXPECT_LT(depth, 0.01f) << "step " << step;
        }
        const bzV3 &va = a.b()->linearVelocity, &vb = b.b()->linearVelocity;
        EXPECT_NEAR(va.x + vb.x, 0.0f, 1e-4f) << "step " << step;
        EXPECT_NEAR(va.y + vb.y, 0.0f, 1e-4f) << "step " << step;
        EXPECT_NEAR(va.z + vb.z, 0.0f, 1e-4f) << "step " << step;
        bzV3 parting;
        bz_V3_SubInto(&vb, &va, &parting);
        check(parting, step);
    }
    return apartFrom;
}

// Two 1 kg boxes of edge 0.5 m placed at rest 5 cm inside each other in zero gravity come
// apart: within 10 steps (0.4 s) they lie less than 1 cm in each other and stay so. Nothing
// outside acts on them, so their momentum stays 0 and their centre of mass stays where it was;
// and they part no faster than the 1.25 m/s that would undo the whole overlap in one step.
TEST_F(PhysRealScenarioTest, TwoBoxesAtRestInsideEachOtherInZeroGravityComeApart)
{
    Ground ground;
    Solid a, b;
    a.Box(ground, 1.0f, 0.5f, V(0.0f, 5.0f, 0.0f));
    b.Box(ground, 1.0f, 0.5f, V(0.45f, 5.1f, 0.05f));
    physworld::ForgetBounces fa{a.b()}, fb{b.b()};
    BZDObject *head = Link({&a, &b});
    ASSERT_NEAR(CubesDepth(a.body.m, b.body.m, 0.25f), 0.05f, 1e-5f);
    const float x0 = 0.5f * (a.Position().x + b.Position().x);
    const int apartFrom = StepApart(head, a, b, 50,
                                    [](const bzV3 &parting, int step)
                                    { EXPECT_LE(parting.x, 0.05f / kDt) << "step " << step; });
    EXPECT_GT(apartFrom, 0);
    EXPECT_LE(apartFrom, 10);
    EXPECT_NEAR(0.5f * (a.Position().x + b.Position().x), x0, 1e-3f);
    // Apart along x, the way they overlapped least.
    EXPECT_GT(b.Position().x - a.Position().x, 0.49f);
}

// A 1 kg box of edge 0.5 m placed at rest 5 cm down inside another that rests on the floor
// comes out on top of it: within 10 steps they lie less than 1 cm in each other. The push that
// lifts it goes through the solve with the lower box's floor contacts, so the lower box never
// goes more than 1 cm into the floor, and the upper box never rises more than 2 cm above its
// resting height (0.75 m) and after 2 s rests there within 1 cm.
TEST_F(PhysRealScenarioTest, ABoxPlacedInsideAnotherOnTheFloorComesOutOnTopOfIt)
{
    Ground ground;
    Solid a, b;
    a.Box(ground, 1.0f, 0.5f, V(0.0f, 0.25f, 0.0f));
    b.Box(ground, 1.0f, 0.5f, V(0.05f, 0.70f, 0.03f));
    physworld::ForgetBounces fa{a.b()}, fb{b.b()};
    BZDObject *head = Link({&a, &b});
    ASSERT_NEAR(CubesDepth(a.body.m, b.body.m, 0.25f), 0.05f, 1e-5f);
    int apartFrom = -1;
    float lowest = 1.0f, highest = 0.0f;
    for (int step = 1; step <= 50; ++step)
    {
        physworld::Frame(&head, kG);
        if (apartFrom < 0 && CubesDepth(a.body.m, b.body.m, 0.25f) < 0.01f)
            apartFrom = step;
        const bzM34 &m = a.body.m;
        const float bottom = m.row[3].y - 0.25f * (std::fabs(m.row[0].y) + std::fabs(m.row[1].y) +
                                                   std::fabs(m.row[2].y));
        lowest = std::fmin(lowest, bottom);
        highest = std::fmax(highest, b.Position().y);
    }
    EXPECT_GT(apartFrom, 0);
    EXPECT_LE(apartFrom, 10);
    EXPECT_LT(CubesDepth(a.body.m, b.body.m, 0.25f), 0.01f);
    EXPECT_GE(lowest, -0.01f);
    EXPECT_LE(highest, 0.77f);
    EXPECT_NEAR(b.Position().y, 0.75f, 0.01f);
    EXPECT_LT(bz_V3_Length(&b.b()->linearVelocity), 0.05f);
}

// A box already a little inside a second box, which is itself inside a third, keeps moving into
// the second unless their contact stops it. Zero gravity; 1 kg boxes of edge 0.5 m: a at rest,
// b at rest 5 cm inside a's side, c 5 mm down inside b's top and moving down at v. The pair
// b-a is pushed apart along x; c meets b at v and must stop against it instead of passing in:
// over 25 steps (1 s) c never lies more than 2 cm in b (without a contact it would go v dt,
// 4 to 12 cm, deeper in each step), and as nothing outside acts on the three, their momentum
// stays (0, -v, 0) kg m/s throughout.
TEST_F(PhysRealScenarioTest, ABoxMovingIntoABoxThatLiesInAThirdIsStopped)
{
    for (const float v : {1.0f, 2.0f, 3.0f})
    {
        SCOPED_TRACE(testing::Message() << "at " << v << " m/s");
        Ground ground;
        // One array: the pairs meet in the order of the boxes' places.
        const std::unique_ptr<Solid[]> boxes(new Solid[3]);
        Solid &a = boxes[0], &b = boxes[1], &c = boxes[2];
        a.Box(ground, 1.0f, 0.5f, V(0.0f, 5.0f, 0.0f));
        b.Box(ground, 1.0f, 0.5f, V(0.45f, 5.1f, 0.05f));
        c.Box(ground, 1.0f, 0.5f, V(0.47f, 5.595f, 0.02f));
        c.b()->linearVelocity = V(0.0f, -v, 0.0f);
        physworld::ForgetBounces fa{a.b()}, fb{b.b()}, fc{c.b()};
        BZDObject *head = Link({&a, &b, &c});
        ASSERT_NEAR(CubesDepth(a.body.m, b.body.m, 0.25f), 0.05f, 1e-5f);
        ASSERT_NEAR(CubesDepth(b.body.m, c.body.m, 0.25f), 0.005f, 1e-5f);
        float deepest = 0.0f;
        for (int step = 1; step <= 25; ++step)
        {
            physworld::Frame(&head, 0.0f);
            deepest = std::fmax(deepest, CubesDepth(b.body.m, c.body.m, 0.25f));
            bzV3 p = V(0, 0, 0);
            for (Solid *s : {&a, &b, &c})
                bz_V3_Add(&p, &s->b()->linearVelocity);
            EXPECT_NEAR(p.x, 0.0f, 1e-3f) << "step " << step;
            EXPECT_NEAR(p.y, -v, 1e-3f) << "step " << step;
            EXPECT_NEAR(p.z, 0.0f, 1e-3f) << "step " << step;
        }
        EXPECT_LE(deepest, 0.02f);
    }
}

// A column of 1 kg boxes of edge 0.5 m dropped onto the floor, each the gap above the one below
// and every other one off to the side: the boxes land on each other off their centres, and the
// lower ones turn under the ones landing on them, pushed down on one side and held up by the
// floor on the other. The floor holds the column up through all of it: no box ever goes more
// than 1 cm, the distance within which a contact counts as a touch, into the floor. Before, a
// solve that turned the lowest box about its centre drove a corner that no row held (it had
// started the step below the floor and was rising when the contacts were found) 2.1 to 2.6 cm
// in.
TEST_F(PhysRealScenarioTest, AColumnOfBoxesLandingOnEachOtherNeverDrivesOneIntoTheFloor)
{
    struct Case
    {
        int count;
        float aside, gap;
    };
    const Case cases[] = {{5, 0.0f, 0.8f}, {8, 0.05f, 0.6f}, {9, 0.05f, 0.6f}, {10, 0.05f, 0.8f}};
    for (const Case &k : cases)
    {
        SCOPED_TRACE(testing::Message()
                     << k.count << " boxes, " << k.aside << " aside, gap " << k.gap);
        Ground ground;
        // One array: the pairs meet in the order of the boxes' places.
        const std::unique_ptr<Solid[]> boxes(new Solid[k.count]);
        std::vector<Solid *> all;
        for (int i = 0; i < k.count; ++i)
        {
            boxes[i].Box(
                ground, 1.0f, 0.5f,
                V(k.aside * float(i % 2), 0.5f + k.gap * float(i), 0.1f * float((i / 2) % 3)));
            all.push_back(&boxes[i]);
        }
        BZDObject *head = Link(all);
        float deepest = 0.0f;
        int deepestStep = 0;
        for (int step = 1; step <= 100; ++step)
        {
            physworld::Frame(&head, kG);
            for (Solid *s : all)
            {
                const bzM34 &m = s->body.m;
                const float depth = 0.25f * (std::fabs(m.row[0].y) + std::fabs(m.row[1].y) +
                                             std::fabs(m.row[2].y)) -
                                    m.row[3].y;
                if (depth > deepest)
                {
                    deepest = depth;
                    deepestStep = step;
                }
            }
        }
        for (Solid *s : all)
            bz_Phys_ForgetBounceRecords(s->b(), s->b());
        EXPECT_LE(deepest, 0.01f) << "at step " << deepestStep;
    }
}

// Two 1 kg boxes of edge 0.5 m crossed edge over edge in zero gravity: the lower one turned 45
// degrees about z, so that its top is an edge along z, the upper one turned 45 degrees about x,
// so that its bottom is an edge along x, that edge d below the other. They lie d deep in each
// other across the two edges (along y, square to both) with no corner of either inside the
// other: 0.25 m along its edge from the crossing, where the lower edge ends, the upper box's
// underside lies 0.25 m higher, above the corner there for d below 0.25 m, and the same holds
// the other way round. They come apart within 10 steps (0.4 s) and stay apart, no faster than
// the d / dt that would undo the whole overlap in one step; nothing outside acts on them, so
// their momentum stays 0. Before, no contact and no push came between two such boxes: they
// stayed inside each other for good.
TEST_F(PhysRealScenarioTest, BoxesCrossedEdgeOverEdgeInsideEachOtherComeApart)
{
    const float s = std::sqrt(0.5f);
    for (const float d : {0.03f, 0.08f})
    {
        SCOPED_TRACE(testing::Message() << d << " m deep");
        Ground ground;
        Solid a, b;
        a.Box(ground, 1.0f, 0.5f, V(0.0f, 5.0f, 0.0f));
        b.Box(ground, 1.0f, 0.5f, V(0.0f, 5.0f + 0.5f / s - d, 0.0f));
        // Rows are the body axes in the world: a turned about z, b about x.
        a.b()->startTransform.row[0] = V(s, s, 0.0f);
        a.b()->startTransform.row[1] = V(-s, s, 0.0f);
        b.b()->startTransform.row[1] = V(0.0f, s, s);
        b.b()->startTransform.row[2] = V(0.0f, -s, s);
        a.body.m = a.b()->startTransform;
        b.body.m = b.b()->startTransform;
        physworld::ForgetBounces fa{a.b()}, fb{b.b()};
        BZDObject *head = Link({&a, &b});
        ASSERT_NEAR(CubesDepth(a.body.m, b.body.m, 0.25f), d, 1e-4f);
        const int apartFrom =
            StepApart(head, a, b, 30,
                      [d](const bzV3 &parting, int step)
                      { EXPECT_LE(bz_V3_Length(&parting), d / kDt) << "step " << step; });
        EXPECT_GT(apartFrom, 0);
        EXPECT_LE(apartFrom, 10);
    }
}

// A body found inside another keeps that mark only while it is found inside again: two boxes
// of edge 1 placed 0.7 m apart in zero gravity overlap by 0.3 m and move apart at 1 m/s. A step
// that starts with them overlapping leaves them marked inside; from the first step that starts
// with them apart (by more than 1 cm) on neither is marked, so their later tests run the contact
// pass alone. A lone body left with the mark loses it after one step.
TEST_F(PhysRealScenarioTest, TheMarkOfABodyInsideAnotherLastsWhileItIsInside)
{
    Ground ground;
    Solid a, b;
    a.Box(ground, 1.0f, 1.0f, V(0.0f, 5.0f, 0));
    b.Box(ground, 1.0f, 1.0f, V(0.7f, 5.0f, 0));
    a.b()->linearVelocity = V(-0.5f, 0, 0);
    b.b()->linearVelocity = V(0.5f, 0, 0);
    physworld::ForgetBounces fa{a.b()}, fb{b.b()};
    BZDObject *head = Link({&a, &b});
    auto marked = [](Solid &s) { return (s.b()->collisionState & BZ_BODY_INTERPENETRATING) != 0; };
    int inside = 0, apart = 0;
    for (int step = 1; step <= 20; ++step)
    {
        const float distance = b.Position().x - a.Position().x;
        physworld::Frame(&head, 0.0f);
        if (distance < 0.99f)
        {
            ++inside;
            EXPECT_TRUE(marked(a) || marked(b)) << "inside at step " << step;
        }
        else if (distance > 1.01f)
        {
            ++apart;
            EXPECT_FALSE(marked(a)) << "apart at step " << step;
            EXPECT_FALSE(marked(b)) << "apart at step " << step;
        }
    }
    EXPECT_GE(inside, 5);
    EXPECT_GE(apart, 5);

    Solid lone;
    lone.Box(ground, 1.0f, 1.0f, V(5.0f, 5.0f, 0));
    physworld::ForgetBounces fl{lone.b()};
    BZDObject *single = Link({&lone});
    lone.b()->collisionState |= BZ_BODY_INTERPENETRATING | BZ_BODY_OVERLAPPING;
    physworld::Frame(&single, 0.0f);
    EXPECT_EQ(lone.b()->collisionState & (BZ_BODY_INTERPENETRATING | BZ_BODY_OVERLAPPING), 0u);
}

} // namespace
