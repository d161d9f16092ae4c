// Vehicle dynamics: handling application, mass, the update of a sleeping car, the drive and
// controls (gear shifts, braking to reverse, hand brake, throttle fade), handling limits and
// divisors, and the heavy-vehicle wheel inertia.
#include "VehicleTestSupport.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>

using namespace cartest;

namespace
{
bzHandlingValue &Handling(bzDynVehicle *car, int32_t index)
{
    return car->handling->values[index];
}

bool Finite(const TestVehicle &t)
{
    const bzDynVehicle &c = *t.car;
    for (int32_t i = 0; i < 4; i++)
        if (!std::isfinite(c.wheelSpin[i]) || !std::isfinite(c.wheelLoad[i]) ||
            !std::isfinite(c.brakeForce[i]))
            return false;
    for (int32_t k = 0; k < 3; k++)
        if (!std::isfinite(t.body.linearVelocity.v[k]) ||
            !std::isfinite(t.body.angularVelocity.v[k]))
            return false;
    return std::isfinite(c.driveSpin) && std::isfinite(c.driveForce) &&
           std::isfinite(c.steerCurvature) && std::isfinite(c.drive->engineSpeed) &&
           std::isfinite(c.drive->rpm);
}

TEST(VehicleHandling, NamesAndDefaults)
{
    EXPECT_STREQ(bz_DynVehicle_HandlingName(BZ_H_WheelMass), "WheelMass");
    EXPECT_STREQ(bz_DynVehicle_HandlingName(BZ_H_NumGears), "NumGears");
    EXPECT_EQ(bz_DynVehicle_HandlingIndex("torquesplit"), BZ_H_TorqueSplit);
    EXPECT_EQ(bz_DynVehicle_HandlingIndex("ReversePowerMulitplier"), BZ_H_ReversePowerMulitplier);
    EXPECT_EQ(bz_DynVehicle_HandlingIndex("NoSuchValue"), -1);
    EXPECT_EQ(bz_DynVehicle_HandlingName(78), nullptr);
    bzDynVehicleHandling h;
    bz_DynVehicle_DefaultHandling(&h);
    EXPECT_EQ(h.changed, 1u);
    EXPECT_FLOAT_EQ(h.values[BZ_H_BrakeForce].f, 20000.0f);
    EXPECT_FLOAT_EQ(h.values[BZ_H_LSDThresholdM].f, -1.0f);
    EXPECT_FLOAT_EQ(h.values[BZ_H_QuadraticDriveFriction].f, 0.00083f);
}

TEST(VehicleHandling, TorqueSplitAndAppliedValues)
{
    TestVehicle t;
    ASSERT_NE(t.car, nullptr);
    bz_DynVehicle_ApplyHandling(t.car);
    EXPECT_EQ(t.car->handling->changed, 0u);
    EXPECT_NEAR(t.car->torqueShare[0], 0.175f, 1e-6f);
    EXPECT_NEAR(t.car->torqueShare[1], 0.175f, 1e-6f);
    EXPECT_NEAR(t.car->torqueShare[2], 0.325f, 1e-6f);
    EXPECT_NEAR(t.car->torqueShare[3], 0.325f, 1e-6f);
    EXPECT_NEAR(t.car->sumShareSq, 2 * 0.175f * 0.175f + 2 * 0.325f * 0.325f, 1e-6f);
    // Full lock 40 degrees over a 4 m wheelbase.
    EXPECT_NEAR(t.car->maxCurvature, std::tan(40.0f * 3.14159265f / 180.0f) / 4.0f, 1e-5f);
    EXPECT_NEAR(t.car->slipLimit[0], std::tan(6.0f * 3.14159265f / 180.0f), 1e-6f);
    EXPECT_NEAR(t.car->wheelInertia, 0.3f * 0.3f * 10.0f * 0.5f, 1e-6f);
    EXPECT_NEAR(t.body.centreOfMass.y, 0.57f, 1e-6f);
    EXPECT_NEAR(t.body.centreOfMass.z, 0.0f, 1e-6f);
    EXPECT_TRUE(bz_DynVehicle_SwitchIs(&Handling(t.car, BZ_H_GearBox), "A"));
    EXPECT_TRUE(bz_DynVehicle_SwitchIs(&Handling(t.car, BZ_H_OldWheelModel), "off"));
    EXPECT_TRUE(bz_DynVehicle_SwitchIs(&Handling(t.car, BZ_H_LimitRevs), "off"));
    EXPECT_EQ(t.car->drive->engineOn, 1u);
    EXPECT_EQ(t.car->drive->numGears, 5u);
    EXPECT_FLOAT_EQ(t.car->lsdThreshold[2], -1.0f);
    // The peak power of the default curve up to the red line (6500 rpm): 6000 rpm x 240 N m.
    EXPECT_NEAR(t.car->drive->peakPower, 6.0f * 104.71976f * 240.0f, 1.0f);
    // CMposZ 1 puts the centre of mass over the front axle.
    Handling(t.car, BZ_H_CMposZ).f = 1.0f;
    bz_DynVehicle_ApplyHandling(t.car);
    EXPECT_NEAR(t.body.centreOfMass.z, 2.0f, 1e-6f);
}

TEST(VehicleHandling, SuspDampingScalesTheHalfCriticalDamping)
{
    TestVehicle t;
    Handling(t.car, BZ_H_SuspDamping).f = 2.0f;
    bz_DynVehicle_ApplyHandling(t.car);
    for (int32_t i = 0; i < 4; i++)
    {
        const float m = t.body.mass * t.car->weightShare[i];
        const float zeta = t.car->damping[i] / (2.0f * std::sqrt(t.car->springRate[i] * m));
        EXPECT_NEAR(zeta, 0.5f * 2.0f, 1e-4f);
    }
}

TEST(VehicleHandling, LimitsOfGearsRevsAndDivisors)
{
    TestVehicle t;
    Handling(t.car, BZ_H_NumGears).f = 10.0f;
    Handling(t.car, BZ_H_MaxRevs).f = FLT_MAX;
    Handling(t.car, BZ_H_RedLine).f = 20000.0f;
    bz_DynVehicle_ApplyHandling(t.car);
    EXPECT_EQ(t.car->drive->numGears, 8u);
    EXPECT_FLOAT_EQ(t.car->drive->maxRevs, 9000.0f);
    EXPECT_FLOAT_EQ(t.car->drive->redLine, 9000.0f);
    Handling(t.car, BZ_H_NumGears).f = 0.0f;
    bz_DynVehicle_ApplyHandling(t.car);
    EXPECT_EQ(t.car->drive->numGears, 1u);
    // The curve index never leaves the table, however fast the engine is asked to turn.
    EXPECT_FLOAT_EQ(bz_DynVehicle_CurveTorque(t.car, 1e9f), 0.0f);
    EXPECT_FLOAT_EQ(bz_DynVehicle_CurveTorque(t.car, 8500.0f), 80.0f);
    EXPECT_FLOAT_EQ(bz_DynVehicle_CurveTorque(t.car, -5.0f), 1.0f);
}

TEST(VehicleHandling, ZeroDivisorsLeaveNoNaN)
{
    TestVehicle t;
    for (int32_t index : {BZ_H_SteerSpeedVel, BZ_H_SteerLimitSpeed, BZ_H_CastorSpeedVel,
                          BZ_H_BrakeAttack, BZ_H_HandBrakeAttack, BZ_H_WheelMass, BZ_H_FinalDrive})
        Handling(t.car, index).f = 0.0f;
    Handling(t.car, BZ_H_SteerLimit1).f = 1.0f;
    Handling(t.car, BZ_H_StabilityThreshold).f = 0.0f;
    t.car->driven = 1;
    for (int32_t s = 0; s < 50; s++)
    {
        t.car->throttle = s < 25 ? 1.0f : 0.0f;
        t.car->brake = s >= 25 ? 1.0f : 0.0f;
        t.car->steerLeft = (s / 10) % 2 ? 1.0f : 0.0f;
        t.car->handbrake = s > 40 ? 1.0f : 0.0f;
        t.Step();
        ASSERT_TRUE(Finite(t)) << s;
    }
    // At standstill the stability control has no speed to divide by.
    TestVehicle still;
    Handling(still.car, BZ_H_StabilityThreshold).f = 0.5f;
    bz_DynVehicle_ApplyHandling(still.car);
    bz_DynVehicle_StabilityControl(still.car);
    EXPECT_FLOAT_EQ(still.car->grip[0], 1.2f);
}

TEST(VehicleMass, SetMassClampsAndScales)
{
    TestVehicle t;
    bz_DynVehicle_ApplyHandling(t.car);
    bz_DynVehicle_SetMass(t.car, 0.5f);
    EXPECT_FLOAT_EQ(t.body.mass, 1.0f);
    bz_DynVehicle_SetMass(t.car, 1250.0f);
    const bzV3 moments = t.body.principalMoments;
    const float yaw = t.car->baseYawInertia;
    float before[BZ_HANDLING_COUNT];
    for (int32_t i = 0; i < BZ_HANDLING_COUNT; i++)
        before[i] = Handling(t.car, i).f;
    t.car->handling->changed = 0;
    bz_DynVehicle_SetMass(t.car, 2500.0f);
    EXPECT_FLOAT_EQ(t.body.mass, 2500.0f);
    EXPECT_FLOAT_EQ(t.body.principalMoments.x, 2.0f * moments.x);
    EXPECT_FLOAT_EQ(t.body.principalMoments.y, 2.0f * moments.y);
    EXPECT_FLOAT_EQ(t.car->baseYawInertia, 2.0f * yaw);
    for (int32_t i : {BZ_H_WheelMass, BZ_H_FrontDownForce, BZ_H_RearDownForce, BZ_H_DragCoefficient,
                      BZ_H_PowerMultiplier, BZ_H_DriveMI, BZ_H_EngineMI})
        EXPECT_FLOAT_EQ(Handling(t.car, i).f, 2.0f * before[i]) << bz_DynVehicle_HandlingName(i);
    EXPECT_FLOAT_EQ(Handling(t.car, BZ_H_BrakeForce).f, before[BZ_H_BrakeForce]);
    EXPECT_EQ(t.car->handling->changed, 1u);
    bz_DynVehicle_SetMass(t.car, NAN);
    EXPECT_FLOAT_EQ(t.body.mass, 1.0f);
}

TEST(VehicleUpdate, AnAsleepUndrivenCarIsUntouched)
{
    TestVehicle t;
    bz_DynVehicle_ApplyHandling(t.car);
    t.car->driven = 0;
    t.body.asleep = 1;
    t.body.linearVelocity = V3(0.0f, 0.0f, 3.0f);
    t.car->probeDist[0] = 0.7f;
    bz_DynVehicle_Update(t.car);
    EXPECT_EQ(t.body.asleep, 1);
    EXPECT_FLOAT_EQ(t.body.linearVelocity.z, 3.0f);
    EXPECT_FLOAT_EQ(t.car->probeDist[0], 0.7f);
    t.car->driven = 1;
    bz_DynVehicle_Update(t.car);
    EXPECT_EQ(t.body.asleep, 0);
    EXPECT_NEAR(t.car->probeDist[0], 0.2f, 1e-5f);
}

TEST(VehicleDrive, FullThrottleShiftsUpWithRevsBelowTheLimit)
{
    TestVehicle t;
    int32_t highest = 0;
    int32_t shifts = 0, last = t.car->drive->gear;
    for (int32_t s = 0; s < 600; s++)
    {
        t.car->throttle = 1.0f;
        t.Step();
        ASSERT_TRUE(Finite(t)) << s;
        EXPECT_LE(t.car->drive->rpm, 0.999f * t.car->drive->maxRevs + 0.01f) << s;
        highest = std::max(highest, t.car->drive->gear);
        if (t.car->drive->gear != last)
        {
            EXPECT_EQ(t.car->drive->gear, last + 1) << s;
            shifts++;
            last = t.car->drive->gear;
        }
    }
    EXPECT_GE(highest, 4);
    EXPECT_GE(shifts, 3);
    EXPECT_GT(t.body.linearVelocity.z, 20.0f);
}

TEST(VehicleDrive, BrakingAtStandstillEngagesReverse)
{
    TestVehicle t;
    for (int32_t s = 0; s < 10; s++)
        t.Step();
    for (int32_t s = 0; s < 100; s++)
    {
        t.car->brake = 1.0f;
        t.Step();
    }
    EXPECT_EQ(t.car->drive->gear, -1);
    EXPECT_EQ(t.car->driveMode, static_cast<uint32_t>(BZ_DRIVE_REVERSE));
    EXPECT_LT(t.body.linearVelocity.z, -0.5f);
}

TEST(VehicleDrive, HandBrakeNeverReadsZeroWhileHeld)
{
    TestVehicle t;
    for (int32_t s = 0; s < 10; s++)
        t.Step();
    for (int32_t s = 0; s < 20; s++)
    {
        t.car->handbrake = 1.0f;
        bz_DynVehicle_Controls(t.car);
        EXPECT_NE(t.car->handbrake, 0.0f) << s;
    }
    // At a standstill the force that stops the car is 0: the held value is the smallest mark.
    t.body.localLinearVelocity = t.body.linearVelocity = V3(0.0f, 0.0f, 0.0f);
    bz_DynVehicle_Controls(t.car);
    EXPECT_EQ(t.car->handbrake, 1e-25f);
    // Rolling, it is the force that stops the car within the frame, up to the strength.
    t.body.localLinearVelocity = t.body.linearVelocity = V3(0.0f, 0.0f, 0.01f);
    t.lump.matrix.row[0] = V3(1, 0, 0);
    t.lump.matrix.row[1] = V3(0, 1, 0);
    t.lump.matrix.row[2] = V3(0, 0, 1);
    t.car->handbrake = 1.0f;
    bz_DynVehicle_Controls(t.car);
    EXPECT_NEAR(t.car->handbrake, -0.01f * t.body.mass / 0.04f, 1e-2f);
    t.car->handbrake = 0.0f;
    bz_DynVehicle_Controls(t.car);
    EXPECT_EQ(t.car->handbrake, 0.0f);
    EXPECT_EQ(t.car->drive->handbrakeTime, 0.0f);
}

TEST(VehicleDrive, ReleasedThrottleFadesOverHalfASecond)
{
    for (bool analogue : {false, true})
    {
        TestVehicle t;
        bz_DynVehicle_ApplyHandling(t.car);
        if (analogue)
            t.car->carFlags |= BZ_CAR_ANALOG_THROTTLE;
        for (int32_t s = 0; s < 5; s++)
        {
            t.car->throttle = 1.0f;
            bz_DynVehicle_Controls(t.car);
        }
        EXPECT_FLOAT_EQ(t.car->drive->throttle, 1.0f);
        t.car->throttle = 0.0f;
        for (int32_t k = 1; k <= 14; k++)
        {
            bz_DynVehicle_Controls(t.car);
            const float want = analogue ? 0.0f : std::max(2.0f * (0.5f - 0.04f * k), 0.0f);
            EXPECT_NEAR(t.car->drive->throttle, want, 1e-5f) << analogue << " " << k;
        }
    }
}

TEST(VehicleDrive, NeutralRevsUpToFirstGear)
{
    TestVehicle t;
    bz_DynVehicle_ApplyHandling(t.car);
    t.car->drive->gear = 0;
    t.car->drive->rpm = 900.0f;
    t.car->drive->engineSpeed = 900.0f * 0.10471976f;
    int32_t frames = 0;
    while (t.car->drive->gear == 0 && frames < 100)
    {
        t.car->throttle = 1.0f;
        bz_DynVehicle_Controls(t.car);
        t.car->drive->rpm = t.car->drive->engineSpeed * 9.549296f;
        frames++;
    }
    EXPECT_EQ(t.car->drive->gear, 1);
    EXPECT_GT(t.car->drive->rpm, 2000.0f);
}

TEST(VehicleLoadDefaults, HeavyWheelInertiaIsReplacedByTheFirstHandling)
{
    struct Case
    {
        float mass, atLoad;
    } cases[] = {{1250.0f, 0.45f}, {6000.0f, 0.9f}, {30000.0f, 3.6f}};
    for (const Case &k : cases)
    {
        TestVehicle t;
        bz_DynVehicle_SetMass(t.car, k.mass);
        // As the loader leaves it for a body of that mass.
        t.car->wheelInertia =
            0.45f * (k.mass >= 6000.0f ? 2.0f : 1.0f) * (k.mass >= 30000.0f ? 4.0f : 1.0f);
        EXPECT_NEAR(t.car->wheelInertia, k.atLoad, 1e-5f);
        t.car->handling->values[BZ_H_WheelMass].f = 10.0f;
        bz_DynVehicle_Update(t.car);
        EXPECT_NEAR(t.car->wheelInertia, 0.45f, 1e-5f) << k.mass;
    }
}
} // namespace

namespace
{
// A standing car with both front wheels loaded on ground of the given normal, steered digitally
// with no key pressed.
void StandOn(TestVehicle &t, bzV3 normal)
{
    bz_DynVehicle_ApplyHandling(t.car);
    t.car->carFlags &= ~BZ_CAR_ANALOG_STEER;
    for (int32_t i = 0; i < 4; i++)
    {
        t.car->wheelLoad[i] = 3000.0f;
        t.car->contactNormal[i] = normal;
    }
    t.car->steerLeft = t.car->steerRight = 0.0f;
}

TEST(VehicleSteering, DownSlopeTargetIsApproachedFromBelowAndTakenFromAbove)
{
    TestVehicle t;
    Handling(t.car, BZ_H_SteerGyroscope).f = 0.0f;
    StandOn(t, V3(0.5f, std::sqrt(0.75f), 0.0f)); // g = 0.2 x 0.5 = 0.1: target 0.05
    t.car->steerCurvature = 0.0f;
    bz_DynVehicle_Steering(t.car);
    EXPECT_NEAR(t.car->steerCurvature, 0.01875f, 1e-6f);
    t.car->steerCurvature = 0.2f;
    bz_DynVehicle_Steering(t.car);
    EXPECT_NEAR(t.car->steerCurvature, 0.05f, 1e-6f);
    StandOn(t, V3(-0.5f, std::sqrt(0.75f), 0.0f)); // target -0.05
    t.car->steerCurvature = 0.0f;
    bz_DynVehicle_Steering(t.car);
    EXPECT_NEAR(t.car->steerCurvature, -0.009375f, 1e-6f);
    // Gentle slopes (|g| <= 0.05) leave the steering alone.
    StandOn(t, V3(0.2f, std::sqrt(0.96f), 0.0f));
    t.car->steerCurvature = 0.0f;
    bz_DynVehicle_Steering(t.car);
    EXPECT_EQ(t.car->steerCurvature, 0.0f);
}

TEST(VehicleSteering, GyroscopeHoldsTheFrontWheelsAgainstTheYaw)
{
    TestVehicle t;
    Handling(t.car, BZ_H_SteerDownSlope).f = 0.0f;
    StandOn(t, V3(0.0f, 1.0f, 0.0f));
    t.body.angularVelocity = V3(0.0f, 0.5f, 0.0f);
    t.car->steerCurvature = 0.0f;
    bz_DynVehicle_Steering(t.car);
    // dt x yaw x 1 / (cos^2 0 x 4 m from the front axle to the steering centre).
    EXPECT_NEAR(t.car->steerCurvature, -0.04f * 0.5f / 4.0f, 1e-6f);
    t.car->driveMode = BZ_DRIVE_REVERSE;
    t.car->steerCurvature = 0.0f;
    bz_DynVehicle_Steering(t.car);
    EXPECT_EQ(t.car->steerCurvature, 0.0f);
}

TEST(VehicleSteering, DigitalKeysMoveTowardFullLock)
{
    TestVehicle t;
    Handling(t.car, BZ_H_SteerGyroscope).f = 0.0f;
    Handling(t.car, BZ_H_SteerDownSlope).f = 0.0f;
    StandOn(t, V3(0.0f, 1.0f, 0.0f));
    t.car->steerLeft = 1.0f;
    bz_DynVehicle_Steering(t.car);
    EXPECT_NEAR(t.car->steerCurvature, -0.0125f, 1e-6f); // SteerSpeed1 at rest
    for (int32_t k = 0; k < 100; k++)
        bz_DynVehicle_Steering(t.car);
    EXPECT_FLOAT_EQ(t.car->steerCurvature, -t.car->maxCurvature);
    t.car->steerRight = 1.0f;
    bz_DynVehicle_Steering(t.car);
    EXPECT_EQ(t.car->steerCurvature, 0.0f); // both keys
}

TEST(VehicleFacilities, WheelPositionsAndPowerFraction)
{
    TestVehicle t;
    bz_DynVehicle_ApplyHandling(t.car);
    const bzV3 at[4] = {V3(-0.8f, 5, 1.5f), V3(0.8f, 5, 1.5f), V3(-0.9f, 5, -1.6f),
                        V3(0.9f, 5, -1.6f)};
    bz_DynVehicle_SetWheelPositions(t.car, at, 0.12f);
    EXPECT_FLOAT_EQ(t.car->wheelPos[2].x, -0.9f);
    EXPECT_FLOAT_EQ(t.car->wheelPos[2].y, t.car->rideHeight);
    EXPECT_FLOAT_EQ(t.car->wheelPos[2].z, -1.6f);
    EXPECT_FLOAT_EQ(t.car->wheelSize2, 0.12f);
    EXPECT_EQ(t.car->handling->changed, 1u);
    t.car->drive->engineTorque = 240.0f;
    t.car->drive->engineSpeed = 3000.0f * 0.10471976f;
    EXPECT_NEAR(bz_DynVehicle_PowerFraction(t.car),
                0.5f * 240.0f / 240.0f * 3000.0f / 6000.0f * 2.0f, 1e-4f);
    t.car->drive->engineSpeed = 1e6f;
    EXPECT_EQ(bz_DynVehicle_PowerFraction(t.car), 1.0f);
}
} // namespace

namespace
{
TEST(VehicleOldWheelModel, DrivesAndHoldsItsLine)
{
    TestVehicle t;
    bz_DynVehicle_SetSwitch(&Handling(t.car, BZ_H_OldWheelModel), "on");
    t.Step();
    EXPECT_TRUE(t.car->carFlags & BZ_CAR_OLD_WHEEL_MODEL);
    for (int32_t s = 0; s < 50; s++)
    {
        t.car->throttle = 1.0f;
        t.Step();
        ASSERT_TRUE(Finite(t)) << s;
    }
    EXPECT_GT(t.body.linearVelocity.z, 2.0f);
    // The wheels roll with the road (as it was at the start of the step).
    EXPECT_NEAR(t.car->wheelSpin[0], t.body.localLinearVelocity.z / 0.3f,
                0.05f * t.body.localLinearVelocity.z / 0.3f);
    // A sideways push is taken out by the tyres within half a second.
    t.body.linearVelocity.x += 1.0f;
    t.car->throttle = 0.0f;
    for (int32_t s = 0; s < 12; s++)
        t.Step();
    EXPECT_LT(std::fabs(t.body.localLinearVelocity.x), 0.05f);
}
} // namespace

namespace
{
// A standing car with no wheel loaded (no gyroscope or slope pull) and no castor at rest: with
// no key the steering only returns toward centre by 0.0125 per frame.
void Unloaded(TestVehicle &t)
{
    bz_DynVehicle_ApplyHandling(t.car);
    t.car->carFlags &= ~BZ_CAR_ANALOG_STEER;
    for (int32_t i = 0; i < 4; i++)
        t.car->wheelLoad[i] = 0.0f;
    t.car->steerLeft = t.car->steerRight = 0.0f;
}

TEST(VehicleSteering, SlideRecoveryTable)
{
    struct Case
    {
        const char *name;
        float recovery, skidSign, yaw, curvature, vx, want;
    } cases[] = {
        {"right skid, yawing right", 1.0f, -1.0f, 0.5f, 0.1f, 1.0f, 0.1f * 0.5f - 0.0125f},
        {"yaw past the recovery", 1.0f, -1.0f, 1.5f, 0.1f, 1.0f, 0.0f},
        {"mirror", 1.0f, 1.0f, -0.5f, -0.1f, -1.0f, -0.1f * 0.5f + 0.0125f},
        {"moving the other way", 1.0f, -1.0f, 0.5f, 0.1f, -1.0f, 0.1f - 0.0125f},
        {"no skid steering", 1.0f, 0.0f, 0.5f, 0.1f, 1.0f, 0.1f - 0.0125f},
        {"switched off", 0.0f, -1.0f, 0.5f, 0.1f, 1.0f, 0.1f - 0.0125f},
    };
    for (const Case &k : cases)
    {
        TestVehicle t;
        Handling(t.car, BZ_H_SlideSpinRecovery).f = k.recovery;
        Unloaded(t);
        t.car->skidSteerSign = k.skidSign;
        t.car->steerCurvature = k.curvature;
        t.body.angularVelocity = V3(0.0f, k.yaw, 0.0f);
        t.body.localLinearVelocity = t.body.linearVelocity = V3(k.vx, 0.0f, 0.0f);
        bz_DynVehicle_Steering(t.car);
        EXPECT_NEAR(t.car->steerCurvature, k.want, 1e-6f) << k.name;
    }
}

TEST(VehicleSteering, SteeringIntoASkidIsFasterAndRemembered)
{
    TestVehicle t;
    Handling(t.car, BZ_H_SteerIntoSkidModifier).f = 2.0f;
    Unloaded(t);
    t.car->skidRear = -1.0f; // the rear slides the left key's way
    t.body.angularVelocity = V3(0.0f, 0.1f, 0.0f);
    t.body.localLinearVelocity = t.body.linearVelocity = V3(1.0f, 0.0f, 0.0f);
    t.car->steerCurvature = 0.0f;
    t.car->steerLeft = 1.0f;
    bz_DynVehicle_Steering(t.car);
    // Rate 1 + |1 - 0.1 x 2| x 2 x 0.5 (the steering centre lies 2 m behind).
    EXPECT_NEAR(t.car->steerCurvature, -0.0125f * 1.8f, 1e-6f);
    EXPECT_EQ(t.car->skidSteerSign, 1.0f);
    // The other key clears it and snaps the steering back to centre first.
    t.car->steerLeft = 0.0f;
    t.car->steerRight = 1.0f;
    t.car->skidRear = 0.0f;
    bz_DynVehicle_Steering(t.car);
    EXPECT_EQ(t.car->skidSteerSign, 0.0f);
    EXPECT_NEAR(t.car->steerCurvature, 0.0125f, 1e-6f);
}
} // namespace

namespace
{
TEST(VehicleSteering, FeedBackTurnsTheWheelsWithTheSideForceAndStopsAtCentre)
{
    TestVehicle t;
    Handling(t.car, BZ_H_SteerFeedBack).f = 1.0f;
    Unloaded(t);
    t.car->skidFront = t.car->skidRear = 0.5f;
    const float half = 0.5f * std::tan(6.0f * 3.14159265f / 180.0f);
    for (int32_t i = 0; i < 2; i++)
    {
        t.car->slipAngle[i] = half;
        t.car->gripForce[i] = 3000.0f;
    }
    // Two steered tyres at half their peak slip: side force -3000 N in all.
    const float change = -3000.0f * 5.0f / (t.body.mass * 20.0f) * t.car->maxCurvature;
    t.car->steerCurvature = 0.0f;
    bz_DynVehicle_Steering(t.car);
    EXPECT_NEAR(t.car->steerCurvature, change, 1e-5f);
    t.car->steerCurvature = 0.05f; // would cross centre: stops there
    bz_DynVehicle_Steering(t.car);
    EXPECT_EQ(t.car->steerCurvature, 0.0f);
    t.car->driveMode = BZ_DRIVE_REVERSE; // not in reverse: the usual return instead
    t.car->steerCurvature = 0.05f;
    bz_DynVehicle_Steering(t.car);
    EXPECT_NEAR(t.car->steerCurvature, 0.05f - 0.0125f, 1e-6f);
}
} // namespace

namespace
{
// A settled car, driven, its rest count back at 0 with the rest matrix taken.
void Settle(TestVehicle &t)
{
    for (int32_t s = 0; s < 30; s++)
        t.Step();
    t.body.linearVelocity = t.body.angularVelocity = V3(0.0f, 0.0f, 0.0f);
    t.car->restFrames = 0;
    t.car->restMatrix.row[3].x = 1e8f;
    bz_DynVehicle_RestTest(t.car); // takes the matrix
}

TEST(VehicleRest, CountsPassingFramesAndSleepsOnlyWhenUndriven)
{
    TestVehicle t;
    t.car->driven = 1;
    Settle(t);
    ASSERT_EQ(t.car->restFrames, 0u);
    for (uint32_t k = 1; k <= 6; k++)
    {
        bz_DynVehicle_RestTest(t.car);
        EXPECT_EQ(t.car->restFrames, k);
    }
    EXPECT_EQ(t.body.asleep, 0); // driven: kept awake
    t.car->driven = 0;
    t.car->wheelSpin[1] = 0.6f; // a turning wheel keeps it awake
    bz_DynVehicle_RestTest(t.car);
    EXPECT_EQ(t.body.asleep, 0);
    t.car->wheelSpin[1] = 0.0f;
    bz_DynVehicle_RestTest(t.car);
    EXPECT_EQ(t.body.asleep, 1);
    // An input resets the count and forgets the matrix.
    t.body.asleep = 0;
    t.car->throttle = 1.0f;
    bz_DynVehicle_RestTest(t.car);
    EXPECT_EQ(t.car->restFrames, 0u);
    EXPECT_EQ(t.car->restMatrix.row[3].x, 1e8f);
}

TEST(VehicleRest, CarriedBodiesComeToRestWithTheCar)
{
    TestVehicle t;
    Settle(t);
    BZDObject along{}, across{};
    bzM34 alongMatrix = t.lump.matrix, acrossMatrix = t.lump.matrix;
    acrossMatrix.row[2] = V3(1.0f, 0.0f, 0.0f);
    along.transform = &alongMatrix;
    across.transform = &acrossMatrix;
    along.linearVelocity = across.linearVelocity = V3(0.05f, 0.0f, 0.05f);
    along.angularVelocity = across.angularVelocity = V3(0.0f, 0.3f, 0.0f);
    t.body.firstChild = &along;
    along.nextSibling = &across;
    bz_DynVehicle_RestTest(t.car);
    t.body.firstChild = nullptr;
    EXPECT_EQ(along.linearVelocity.x, 0.0f);
    EXPECT_EQ(along.angularVelocity.y, 0.0f);
    EXPECT_EQ(across.linearVelocity.x, 0.05f);
    EXPECT_EQ(across.angularVelocity.y, 0.3f);
}
} // namespace

namespace
{
// With more than 80 % of the torque to the rear, an engine braking beyond the drive line's drag
// is eased: the throttle moves toward the throttle at which the engine gives no torque, by five
// times the rear wheels' slip (at most all the way). Hand values at 3000 rpm in second gear:
// engine friction -(0.06 x 833 + 0.06 x 0.0023 x 314.16^2) = -63.600 N m, curve 264 N m,
// t0 = 63.600 / 327.600 = 0.19414; g = 0.036499534 / 0.3 = 0.121665, drive-line speed 38.22 rad/s,
// drive friction 2.2 x 9.1 + 2.2 x 0.00083 x 38.22^2 = 22.688 N m (x g = 2.76 < 63.6);
// drive force (torque / g - 22.688) / 0.3.
TEST(VehicleEngine, RearBiasedEngineBrakingIsEasedByTheRearSlip)
{
    struct Case
    {
        const char *name;
        float split, slip2, slip3, torque, force;
    } cases[] = {
        {"65 % to the rear: not eased", 65.0f, 0.05f, 0.05f, -63.600f, -1818.12f},
        {"exactly 80 %: not eased", 80.0f, 0.05f, 0.05f, -63.600f, -1818.12f},
        {"90 %, slip 0.1: half way", 90.0f, 0.05f, 0.05f, -31.800f, -946.87f},
        {"90 %, slip -0.1: half way", 90.0f, -0.05f, -0.05f, -31.800f, -946.87f},
        {"90 %, slip 0.6: all the way", 90.0f, 0.3f, 0.3f, 0.0f, -75.626f},
        {"90 %, no slip", 90.0f, 0.0f, 0.0f, -63.600f, -1818.12f},
    };
    for (const Case &k : cases)
    {
        TestVehicle t;
        Handling(t.car, BZ_H_TorqueSplit).f = k.split;
        bz_DynVehicle_ApplyHandling(t.car);
        bzDynVehicleDrive *d = t.car->drive;
        const float w = 3000.0f * 0.10471976f, g = 0.036499534f / 0.3f;
        d->gear = 2;
        d->engineSpeed = w;
        d->releaseTime = 1.0f; // long released: no fade left
        t.car->gearChanging = 0;
        t.car->driveSpin = g * w;
        t.car->slipSpeed[2] = k.slip2;
        t.car->slipSpeed[3] = k.slip3;
        bz_DynVehicle_EngineTorque(t.car, 0.0f, BZ_VEHICLE_DT);
        EXPECT_NEAR(d->engineTorque, k.torque, 2e-3f) << k.name;
        EXPECT_NEAR(t.car->driveForce, k.force, 0.05f) << k.name;
    }
    // Pulling, the engine is never eased.
    TestVehicle t;
    Handling(t.car, BZ_H_TorqueSplit).f = 90.0f;
    bz_DynVehicle_ApplyHandling(t.car);
    t.car->drive->gear = 2;
    t.car->drive->engineSpeed = 3000.0f * 0.10471976f;
    t.car->driveSpin = 0.036499534f / 0.3f * t.car->drive->engineSpeed;
    t.car->slipSpeed[2] = t.car->slipSpeed[3] = 0.3f;
    bz_DynVehicle_EngineTorque(t.car, 1.0f, BZ_VEHICLE_DT);
    EXPECT_NEAR(t.car->drive->engineTorque, 264.0f, 1e-3f);
}
} // namespace

namespace
{
// The clutch is held down where a gear points against the pedal's direction, and while a held
// clutch has time left the pedal of the present direction does nothing. The speeds keep clear
// of the brakes' stopping rule (3 m/s is far more than one frame's braking).
TEST(VehicleControls, ClutchHoldsInReverseAndForward)
{
    struct Case
    {
        const char *name;
        uint32_t mode;
        int32_t gear;
        float v, throttle, brake;
        uint32_t changing;
        float clutchTime;
        // What follows.
        uint32_t wantMode, wantChanging;
        int32_t wantGear;
        float wantEngineThrottle;
        bool braking;
    } cases[] = {
        {"reverse, accelerator rolling back, forward gear: clutch down, the accelerator brakes",
         BZ_DRIVE_REVERSE, 2, -3.0f, 1.0f, 0.0f, 0, 0.0f, BZ_DRIVE_REVERSE, 1, 2, 0.0f, true},
        {"reverse, accelerator rolling forward: back to forward, engine pulls next frame",
         BZ_DRIVE_REVERSE, 2, 0.5f, 1.0f, 0.0f, 0, 0.0f, BZ_DRIVE_FORWARD, 0, 2, 0.0f, true},
        {"forward, brake rolling on, reverse gear: clutch down, brakes", BZ_DRIVE_FORWARD, -1, 3.0f,
         0.0f, 1.0f, 0, 0.0f, BZ_DRIVE_FORWARD, 1, -1, 0.0f, true},
        {"forward, brake rolling on, forward gear: clutch up, brakes", BZ_DRIVE_FORWARD, 2, 3.0f,
         0.0f, 1.0f, 0, 0.0f, BZ_DRIVE_FORWARD, 0, 2, 0.0f, true},
        {"forward, clutch held with time left: the accelerator does nothing", BZ_DRIVE_FORWARD, 1,
         0.0f, 1.0f, 0.0f, 1, -0.5f, BZ_DRIVE_FORWARD, 1, 1, 0.0f, false},
        {"forward, clutch time runs out: engaged, the accelerator drives", BZ_DRIVE_FORWARD, 1,
         0.0f, 1.0f, 0.0f, 1, -0.02f, BZ_DRIVE_FORWARD, 0, 1, 1.0f, false},
        {"reverse, clutch held with time left: the brake pedal does nothing", BZ_DRIVE_REVERSE, 1,
         0.0f, 0.0f, 1.0f, 1, -0.5f, BZ_DRIVE_REVERSE, 1, 1, 0.0f, false},
        {"reverse, clutch free: the brake pedal selects reverse and drives", BZ_DRIVE_REVERSE, 1,
         0.0f, 0.0f, 1.0f, 0, 0.0f, BZ_DRIVE_REVERSE, 0, -1, 1.0f, false},
    };
    for (const Case &k : cases)
    {
        TestVehicle t;
        bz_DynVehicle_ApplyHandling(t.car);
        bzDynVehicleDrive *d = t.car->drive;
        t.car->driveMode = k.mode;
        d->gear = k.gear;
        d->rpm = 3000.0f;
        d->engineSpeed = 3000.0f * 0.10471976f;
        d->releaseTime = 1.0f;
        d->runTime = 5.0f;
        t.body.linearVelocity = t.body.localLinearVelocity = V3(0.0f, 0.0f, k.v);
        t.car->throttle = k.throttle;
        t.car->brake = k.brake;
        t.car->gearChanging = k.changing;
        d->clutchTime = k.clutchTime;
        for (int32_t i = 0; i < 4; i++)
            t.car->wheelLoad[i] = 1250.0f * 10.0f * 0.25f; // on the ground
        bz_DynVehicle_Controls(t.car);
        EXPECT_EQ(t.car->driveMode, k.wantMode) << k.name;
        EXPECT_EQ(t.car->gearChanging, k.wantChanging) << k.name;
        EXPECT_EQ(d->gear, k.wantGear) << k.name;
        EXPECT_FLOAT_EQ(d->throttle, k.wantEngineThrottle) << k.name;
        float braking = 0.0f;
        for (float f : t.car->brakeForce)
            braking += std::fabs(f);
        EXPECT_EQ(braking > 0.0f, k.braking) << k.name;
    }
}
} // namespace
