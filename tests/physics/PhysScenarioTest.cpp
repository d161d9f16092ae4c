// Reference scenarios of the physics step on flat ground, with the game's settings (dt 0.04,
// T 0.025, contact distance 0.001, rest factor 10, three friction passes, g 10). The ground is
// the simple plane provider of the test support, which stands in for the world collision:
// boxes touch it at their corners, spheres at their lowest point.
#include "maths/Matrix.h"
#include "maths/Vector.h"
#include "physics/Body.h"
#include "physics/Bounce.h"
#include "physics/PhysMemory.h"
#include "physics/PhysServices.h"
#include "physics/PhysSettings.h"
#include "physics/PhysStep.h"
#include "physics/Substance.h"

#include "PhysStepWorld.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace
{
using namespace physworld;

constexpr float kG = 10.0f;
constexpr float kDt = 0.04f;

class PhysScenarioTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_EQ(StartScenario(kG), 0); }
    void TearDown() override
    {
        bz_PhysMem_Release();
        bz_Phys_ResetServices();
        bz_Phys_ResetSettings();
    }
};

// The box settles within a second to within 2 mm of the ground and sleeps within about 2 s. The
// plane sweeps its corners as the world collision does, so it settles where the real-collision
// scenario does (PhysRealScenarioTest), 1.33 mm up.
TEST_F(PhysScenarioTest, ABoxPlacedAMillimetreAboveTheGroundSettlesAndSleeps)
{
    Ground ground;
    Body box;
    box.Box("box", 1.0f, V(1, 1, 1), V(0, 0.501f, 0));
    BZDObject *head = Link({&box});
    int settled = -1, asleep = -1;
    for (int step = 1; step <= 100; ++step)
    {
        Frame(&head, kG);
        const float gap = box.Position().y - 0.5f;
        if (settled < 0 && std::fabs(gap) < 0.002f && std::fabs(box.b.linearVelocity.y) < 0.05f)
            settled = step;
        if (asleep < 0 && box.b.asleep)
            asleep = step;
    }
    EXPECT_GE(settled, 0);
    EXPECT_LE(settled * kDt, 1.0f);
    EXPECT_NEAR(box.Position().y, 0.5f, 0.002f);
    EXPECT_GE(asleep, 0);
    EXPECT_LE(asleep * kDt, 2.2f);
}

// A box sliding at 5 m/s with mu 0.3 slows by mu g = 3 m/s^2 and stops after v^2 / (2 mu g) =
// 4.17 m (10 % allowed), as with the real collision (PhysRealScenarioTest), and it never turns
// back as it stops.
TEST_F(PhysScenarioTest, ABoxSlidingAtFiveMetresASecondStopsAfterItsFrictionDistance)
{
    Ground ground;
    Body box;
    box.Box("box", 1.0f, V(1, 1, 1), V(0, 0.5f, 0));
    box.b.linearVelocity = V(5.0f, 0, 0);
    BZDObject *head = Link({&box});
    float furthest = 0.0f, slowest = 0.0f;
    for (int step = 0; step < 150; ++step)
    {
        Frame(&head, kG);
        furthest = std::fmax(furthest, box.Position().x);
        slowest = std::fmin(slowest, box.b.linearVelocity.x);
    }
    const float expected = 5.0f * 5.0f / (2.0f * 0.3f * kG); // 4.17 m
    EXPECT_NEAR(furthest, expected, 0.1f * expected);
    EXPECT_NEAR(box.Position().x, expected, 0.1f * expected);
    // It never turns back.
    EXPECT_GT(slowest, -1e-4f);
    EXPECT_GT(box.Position().x, furthest - 1e-4f);
    EXPECT_NEAR(box.b.linearVelocity.x, 0.0f, 1e-3f);
}

// A plane through the origin tilted by the angle about z: the box slides down towards -x.
void Tilt(Ground &ground, Body &box, float degrees)
{
    const float a = degrees * 3.14159265f / 180.0f;
    ground.normal = V(std::sin(a), std::cos(a), 0.0f);
    bzM34 r;
    bz_M34_SetIdentity(&r);
    r.row[0] = V(std::cos(a), -std::sin(a), 0.0f);
    r.row[1] = ground.normal;
    r.row[3] = V(0.5f * ground.normal.x, 0.5f * ground.normal.y, 0.0f);
    box.b.startTransform = r;
    box.m = r;
}

// With mu 0.3 the box stays; on ice it keeps gaining speed along the slope every step, so it
// never passes the rest test and slides at g sin(theta).
TEST_F(PhysScenarioTest, OnATenDegreeSlopeABoxStaysWithFrictionAndSlidesAtGSinThetaOnIce)
{
    for (const bool ice : {false, true})
    {
        Ground ground;
        Body box;
        box.Box("box", 1.0f, V(1, 1, 1), V(0, 0, 0));
        if (ice)
            box.b.substance = static_cast<int32_t>(bz_Substance_FindByName("ICE"));
        Tilt(ground, box, 10.0f);
        BZDObject *head = Link({&box});
        ForgetBounces forget{&box.b};
        const bzV3 start = box.Position();
        for (int step = 0; step < 50; ++step)
            Frame(&head, kG);
        bzV3 moved;
        const bzV3 now = box.Position();
        bz_V3_SubInto(&now, &start, &moved);
        const float distance = bz_V3_Length(&moved);
        if (!ice)
            EXPECT_LT(distance, 0.01f);
        else
        {
            // s = a t^2 / 2 over 2 s.
            const float a = kG * std::sin(10.0f * 3.14159265f / 180.0f);
            EXPECT_NEAR(distance, 0.5f * a * 4.0f, 0.05f * 0.5f * a * 4.0f);
        }
    }
}

TEST_F(PhysScenarioTest, ADroppedGlassBallsBouncesNeverGainEnergy)
{
    Ground ground;
    Body ball;
    ball.Sphere("ball", 1.0f, 0.1f, V(0, 1.1f, 0));
    ball.b.substance = static_cast<int32_t>(bz_Substance_FindByName("GLASS"));
    ground.spheres.push_back(&ball);
    BZDObject *head = Link({&ball});
    ForgetBounces forget{&ball.b};
    auto energy = [&]()
    { return 0.5f * bz_V3_LengthSq(&ball.b.linearVelocity) + kG * (ball.Position().y - 0.1f); };
    const float start = energy();
    std::vector<float> apexes;
    int bounces = 0;
    float lastVy = 0.0f;
    for (int step = 0; step < 150; ++step)
    {
        Frame(&head, kG);
        // Allow the integrator's own error of one step's fall.
        EXPECT_LE(energy(), start + kG * kG * kDt * kDt) << "step " << step;
        const float vy = ball.b.linearVelocity.y;
        if (lastVy < 0.0f && vy > 0.0f)
            ++bounces;
        if (lastVy > 0.0f && vy <= 0.0f)
            apexes.push_back(ball.Position().y);
        lastVy = vy;
        EXPECT_GT(ball.Position().y, 0.0f);
    }
    for (size_t i = 1; i < apexes.size(); ++i)
        EXPECT_LE(apexes[i], apexes[i - 1] + 1e-3f) << "apex " << i;
    EXPECT_GE(bounces, 1);
}
} // namespace
