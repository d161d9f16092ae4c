// Reference drives of the default car on flat ground with g = 10, each step a 40 ms update of
// the vehicle followed by the small integration of the test support: settling after a drop,
// full throttle, a steady turn and full braking.
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
    float previous = 0.0f;
    int32_t slower = 0;
    for (int32_t s = 0; s < 250; s++)
    {
        t.car->throttle = 1.0f;
        t.Step();
        const float v = t.body.linearVelocity.z;
        if (v < previous - 0.2f)
            slower++; // a gear change may cost a little
        previous = v;
    }
    EXPECT_LT(slower, 5);
    EXPECT_GT(previous, 25.0f);
    EXPECT_LT(std::fabs(t.Heading()), 1.0f * 3.14159265f / 180.0f);
    // On to the top speed: it levels off.
    float at50 = 0.0f;
    for (int32_t s = 0; s < 1250; s++)
    {
        t.car->throttle = 1.0f;
        t.Step();
        if (s == 1125)
            at50 = t.Speed();
    }
    const float top = t.Speed();
    EXPECT_TRUE(std::isfinite(top));
    EXPECT_GT(top, 40.0f);
    EXPECT_LT(top, 120.0f);
    EXPECT_NEAR(top, at50, 0.02f * top);
}

// The launch runs on open differentials: only the tyres keep the rear wheels together.
TEST(VehicleReferenceDrive, FullThrottleKeepsWithinATenthOfAMetre)
{
    TestVehicle t;
    for (int32_t s = 0; s < 250; s++)
    {
        t.car->throttle = 1.0f;
        t.Step();
    }
    EXPECT_LT(std::fabs(t.lump.matrix.row[3].x), 0.1f);
}

TEST(VehicleReferenceDrive, SteadyTurnYawsAtSpeedTimesCurvatureAndLeftTurnsLeft)
{
    for (bool left : {true, false})
    {
        TestVehicle t;
        t.car->carFlags |= BZ_CAR_ANALOG_STEER;
        for (int32_t s = 0; s < 5; s++)
            t.Step();
        t.car->drive->gear = 0; // coasting: the speed is kept by the test
        const bzV3 start = t.lump.matrix.row[3];
        int32_t checked = 0;
        for (int32_t s = 0; s < 100; s++)
        {
            if (s % 10 == 0)
                t.body.linearVelocity =
                    V3(t.lump.matrix.row[2].x * 5.0f, 0.0f, t.lump.matrix.row[2].z * 5.0f);
            t.car->steerLeft = left ? 0.3f : 0.0f;
            t.car->steerRight = left ? 0.0f : 0.3f;
            t.Step();
            if (s >= 20)
            {
                const float want = t.Speed() * t.car->steerCurvature;
                EXPECT_NEAR(t.body.angularVelocity.y, want, 0.1f * std::fabs(want)) << s;
                checked++;
            }
        }
        EXPECT_EQ(checked, 80);
        // Car-space x points to the car's right: a left turn heads toward -x.
        const float sideways = t.lump.matrix.row[3].x - start.x;
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
    for (int32_t s = 0; s < 5; s++)
        t.Step();
    t.body.linearVelocity = V3(0.0f, 0.0f, 20.0f);
    for (int32_t i = 0; i < 4; i++)
        t.car->wheelSpin[i] = 20.0f / 0.3f;
    t.car->drive->gear = 3;
    const float z0 = t.lump.matrix.row[3].z;
    int32_t s = 0;
    for (; s < 200 && t.body.linearVelocity.z > 0.05f; s++)
    {
        t.car->brake = 1.0f;
        t.Step();
        EXPECT_GT(t.body.linearVelocity.z, -0.1f) << s;
    }
    const float distance = t.lump.matrix.row[3].z - z0;
    EXPECT_LT(s, 200);
    EXPECT_GE(distance, 17.0f);
    EXPECT_LE(distance, 34.0f);
    // Released at the stop, it stays stopped.
    t.car->brake = 0.0f;
    for (int32_t k = 0; k < 25; k++)
        t.Step();
    EXPECT_GT(t.body.linearVelocity.z, -0.1f);
    EXPECT_LT(std::fabs(t.body.linearVelocity.z), 0.5f);
}
} // namespace
