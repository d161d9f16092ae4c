// Reference drives of the default car on flat ground with g = 10, each step a 40 ms update of
// the vehicle followed by the small integration of the test support: settling after a drop,
// full throttle, a steady turn and full braking.
#include "VehicleDriveRuns.h"
#include "VehicleTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace cartest;

namespace
{
TEST(VehicleReferenceDrive, DroppedFiveCentimetresSettlesAndSleeps)
{
    TestVehicle t;
    t.car->driven = 0; // as the game leaves a loaded car
    t.lump.matrix.row[3].y = 0.05f;
    for (int32_t s = 0; s < 100 && !t.body.asleep; s++)
        t.Step();
    EXPECT_EQ(t.body.asleep, 1);
    // Static compression: a quarter of the weight on each spring.
    for (int32_t i = 0; i < 4; i++)
    {
        const float compression = t.car->suspLength[i] - t.car->probeDist[i];
        EXPECT_NEAR(compression, t.car->suspGive[i], 0.05f * t.car->suspGive[i]) << i;
    }
    EXPECT_EQ(t.car->wheelSpin[0], 0.0f);
    // Asleep and undriven, further updates leave it alone.
    const bzV3 at = t.lump.matrix.row[3];
    for (int32_t s = 0; s < 10; s++)
        t.Step();
    EXPECT_EQ(t.lump.matrix.row[3].y, at.y);
}

TEST(VehicleReferenceDrive, FullThrottleRunsStraightToAFiniteTopSpeed)
{
    TestVehicle t;
    const auto step = [&] { t.Step(); };
    const LaunchRun launch = FullThrottleLaunch(t, step, 250);
    EXPECT_EQ(launch.nonFinite, -1);
    EXPECT_LT(launch.slower, 5);
    EXPECT_GT(launch.forward, 25.0f);
    EXPECT_LT(std::fabs(t.Heading()), 1.0f * 3.14159265f / 180.0f);
    // On to the top speed: it levels off.
    const TopSpeedRun run = OnToTopSpeed(t, step);
    EXPECT_TRUE(std::isfinite(run.top));
    EXPECT_GT(run.top, 40.0f);
    EXPECT_LT(run.top, 120.0f);
    EXPECT_NEAR(run.top, run.fiveSecondsBefore, 0.02f * run.top);
}

// The launch runs on open differentials: only the tyres keep the rear wheels together.
TEST(VehicleReferenceDrive, FullThrottleKeepsWithinATenthOfAMetre)
{
    TestVehicle t;
    FullThrottleLaunch(
        t, [&] { t.Step(); }, 250);
    EXPECT_LT(std::fabs(t.lump.matrix.row[3].x), 0.1f);
}

TEST(VehicleReferenceDrive, SteadyTurnYawsAtSpeedTimesCurvatureAndLeftTurnsLeft)
{
    for (bool left : {true, false})
    {
        TestVehicle t;
        int32_t checked = 0;
        const float sideways = SteadyTurn(
            t, left, [&] { t.Step(); },
            [&](int32_t s)
            {
                if (s < 20)
                    return;
                const float want = t.Speed() * t.car->steerCurvature;
                EXPECT_NEAR(t.body.angularVelocity.y, want, 0.1f * std::fabs(want)) << s;
                checked++;
            });
        EXPECT_EQ(checked, 80);
        // Car-space x points to the car's right: a left turn heads toward -x.
        if (left)
        {
            EXPECT_LT(t.car->steerCurvature, 0.0f);
            EXPECT_LT(sideways, -1.0f);
            EXPECT_LT(t.Heading(), -0.2f);
        }
        else
        {
            EXPECT_GT(t.car->steerCurvature, 0.0f);
            EXPECT_GT(sideways, 1.0f);
            EXPECT_GT(t.Heading(), 0.2f);
        }
    }
}

TEST(VehicleReferenceDrive, FullBrakingFromTwentyMetresASecond)
{
    TestVehicle t;
    const BrakingRun run = FullBrakingFromTwenty(t, [&] { t.Step(); });
    EXPECT_GT(run.slowest, -0.1f) << run.slowestStep;
    EXPECT_LT(run.steps, 200);
    EXPECT_GE(run.distance, 17.0f);
    EXPECT_LE(run.distance, 34.0f);
    // Released at the stop, it stays stopped.
    EXPECT_GT(run.forwardReleased, -0.1f);
    EXPECT_LT(std::fabs(run.forwardReleased), 0.5f);
}
} // namespace
