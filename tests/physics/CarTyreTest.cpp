// Tyre forces: the slip curves at their peaks, the friction ellipse and the post-peak drop, the
// slope factor, the low-speed hold on a side slope, a moving floor, the differential locks and
// the spin-down of wheels in the air.
#include "CarTestSupport.h"
#include "physics/CarSurface.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace cartest;

namespace
{
TEST(CarTyreCurves, PeaksReachTheirLimits)
{
    const float G = 3000.0f, grip = 2500.0f;
    const float kp = 0.2f, ap = std::tan(6.0f * 0.017453292f);
    EXPECT_NEAR(bz_PhysCar_LongitudinalCurve(kp, kp, G), G, G * 1e-5f);
    EXPECT_NEAR(bz_PhysCar_LongitudinalCurve(-kp, kp, G), -G, G * 1e-5f);
    EXPECT_EQ(bz_PhysCar_LongitudinalCurve(3.0f * kp, kp, G), G);
    EXPECT_NEAR(bz_PhysCar_LateralCurve(ap, ap, grip), grip, grip * 1e-5f);
    EXPECT_EQ(bz_PhysCar_LateralCurve(2.0f * ap, ap, grip), grip);
    // Rising below the peak: half the peak slip gives 1.0023994 (1 - (1 - 2.75/32)^32) of G.
    const float half = 1.0023994f * (1.0f - std::pow(1.0f - 2.75f / 32.0f, 32.0f));
    EXPECT_NEAR(bz_PhysCar_LongitudinalCurve(0.5f * kp, kp, G), half * G, G * 1e-5f);
    EXPECT_EQ(bz_PhysCar_LongitudinalCurve(0.0f, kp, G), 0.0f);
}

TEST(CarTyreCurves, FrictionEllipseAndPostPeakDrop)
{
    const float G = 3000.0f, grip = 2500.0f, kp = 0.2f;
    struct Case
    {
        float kappa, alpha, F, Flat;
        float wantF, wantFlat;
    } cases[] = {
        // Pure longitudinal at the peak: unchanged.
        {kp, 0.0f, G, 0.0f, G, 0.0f},
        // Past the peak: 0.2 per unit of slip beyond it ...
        {kp + 0.5f, 0.0f, G, 0.0f, G * (1.0f - 0.1f), 0.0f},
        // ... never more than 40 %.
        {kp + 10.0f, 0.0f, G, 0.0f, G * 0.6f, 0.0f},
        // Pure lateral: unchanged.
        {0.0f, 0.1f, 0.0f, -grip, 0.0f, -grip},
    };
    for (const Case &k : cases)
    {
        float F = k.F, Flat = k.Flat;
        bz_PhysCar_FrictionEllipse(&F, k.kappa, G, &Flat, k.alpha, grip, kp);
        EXPECT_NEAR(F, k.wantF, 1e-2f) << k.kappa;
        EXPECT_NEAR(Flat, k.wantFlat, 1e-2f) << k.kappa;
    }
    // Combined slip: the two shares follow the ellipse's direction.
    float F = G, Flat = -grip;
    const float kappa = 0.1f, alpha = 0.05f;
    bz_PhysCar_FrictionEllipse(&F, kappa, G, &Flat, alpha, grip, kp);
    const float kx = kappa / G, ay = alpha / grip, m = std::sqrt(kx * kx + ay * ay);
    EXPECT_NEAR(F, G * kx / m, 1e-2f);
    EXPECT_NEAR(Flat, -grip * ay / m, 1e-2f);
    // No grip on an axis: no force there and no NaN.
    F = 100.0f;
    Flat = -100.0f;
    bz_PhysCar_FrictionEllipse(&F, 0.1f, 0.0f, &Flat, 0.05f, 0.0f, kp);
    EXPECT_EQ(F, 0.0f);
    EXPECT_EQ(Flat, 0.0f);
}

TEST(CarTyreCurves, SlopeFactor)
{
    const bzV3 axle = V3(-1, 0, 0);
    const bzV3 flat = V3(0, 1, 0);
    // Sloping along the rolling direction only: n . a = 0, q = 1.
    const float s = std::sin(0.3f), c = std::cos(0.3f);
    const bzV3 along = V3(0, c, s);
    // Tilted 45 degrees across the car: q = 1/3.
    const float r = std::sqrt(0.5f);
    const bzV3 across = V3(r, r, 0);
    EXPECT_FLOAT_EQ(bz_PhysCar_SlopeFactor(&flat, &axle), 1.0f);
    EXPECT_FLOAT_EQ(bz_PhysCar_SlopeFactor(&along, &axle), 1.0f);
    EXPECT_NEAR(bz_PhysCar_SlopeFactor(&across, &axle), 0.8f / 9.0f + 0.2f, 1e-6f);
    const bzV3 wall = V3(1, 0, 0);
    EXPECT_NEAR(bz_PhysCar_SlopeFactor(&wall, &axle), 0.2f, 1e-6f);
}

TEST(CarTyres, LowSpeedHoldKeepsACarStillOnASideSlope)
{
    const float roll = 5.0f * 0.017453292f;
    TestCar t(10.0f);
    std::vector<bzDynFaceHit> faces;
    AddGround(faces, 0.0f, 100.0f, roll);
    t.SetFaces(faces);
    t.SetRoll(roll);
    for (int32_t s = 0; s < 50; s++)
        t.Step(); // settle
    const bzV3 start = t.WorldCentre();
    for (int32_t s = 0; s < 100; s++)
        t.Step();
    const bzV3 end = t.WorldCentre();
    EXPECT_GT(t.car.wheelsOnGround, 0u);
    const float moved = std::hypot(end.x - start.x, end.z - start.z);
    EXPECT_LT(moved, 0.01f);
    EXPECT_LT(std::fabs(t.body.linearVelocity.x), 0.05f);
    // Without grip the same car slides down the slope.
    TestCar ice(10.0f);
    ice.SetFaces(faces);
    ice.SetRoll(roll);
    bz_PhysCar_SetDefaultSurface(0.0f, 0.0f, 0.0f, 1.0f, 0.0f);
    for (int32_t s = 0; s < 150; s++)
        ice.Step();
    bz_PhysCar_SetDefaultSurface(0.0f, 1.0f, 0.0f, 1.0f, 0.0f);
    EXPECT_LT(ice.WorldCentre().x - start.x, -0.5f);
}

const bzV3 gMovingFloor[4] = {V3(0, 0, 2), V3(0, 0, 2), V3(0, 0, 2), V3(0, 0, 2)};
void MovingFloorHook(bzDynVehicle *car, int32_t, const bzV3 *, const bzV3 *, const bzDynFaceHit **)
{
    car->floorVelocities = gMovingFloor;
}

TEST(CarTyres, AMovingFloorIsFeltAsSlip)
{
    TestCar t(10.0f);
    std::vector<bzDynFaceHit> faces;
    AddGround(faces, 0.0f);
    t.SetFaces(faces);
    for (int32_t s = 0; s < 20; s++)
        t.Step();
    EXPECT_NEAR(t.body.linearVelocity.z, 0.0f, 0.01f);
    const bzPhysCarRayProbeHook old = bz_PhysCar_SetRayProbeHook(MovingFloorHook);
    t.Step();
    bz_PhysCar_SetRayProbeHook(old);
    // The floor moves forward under a car with still wheels: the tyres slip on it, the car is
    // dragged along and its wheels turn backward against the floor.
    EXPECT_GT(t.body.linearVelocity.z, 0.02f);
    for (int32_t i = 0; i < 4; i++)
        EXPECT_LT(t.car.wheelSpin[i], -1.0f) << i;
}

// Two wheels on an open differential are held together only by their tyres. Disturbed
// against each other, at low and at moderate speed, driven or coasting, their spins must come
// back together without swinging past each other, and the car must not start to yaw.
TEST(CarTyres, OpenDifferentialWheelsSettleWithoutSwinging)
{
    struct Case
    {
        float speed, driveForce;
    };
    for (const Case c : {Case{2.5f, 0.0f}, Case{2.5f, 3000.0f}, Case{6.0f, 3000.0f},
                         Case{12.0f, 0.0f}, Case{12.0f, 3000.0f}})
    {
        SCOPED_TRACE(testing::Message() << "speed " << c.speed << " drive " << c.driveForce);
        TestCar t(10.0f);
        std::vector<bzDynFaceHit> faces;
        AddGround(faces, 0.0f, 1000.0f);
        t.SetFaces(faces);
        for (int32_t s = 0; s < 20; s++)
            t.Step(); // settle on the springs
        t.body.linearVelocity = V3(0.0f, 0.0f, c.speed);
        t.body.angularVelocity = V3(0.0f, 0.0f, 0.0f);
        for (int32_t i = 0; i < 4; i++)
            t.car.wheelSpin[i] = c.speed / 0.3f;
        t.car.wheelSpin[2] += 0.5f;
        t.car.wheelSpin[3] -= 0.5f;
        t.car.driveSpin = c.speed / 0.3f; // the shares sum to 1
        float previous = 1.0f;
        for (int32_t s = 0; s < 10; s++)
        {
            t.car.driveForce = c.driveForce;
            t.Step();
            const float d = t.car.wheelSpin[2] - t.car.wheelSpin[3];
            EXPECT_GE(d, -1e-3f) << s;            // never swings past
            EXPECT_LE(d, previous + 1e-4f) << s;  // only ever closes
            EXPECT_EQ(t.car.diffLock[1], 0) << s; // and no lock did it
            EXPECT_LT(std::fabs(t.body.angularVelocity.y), 1e-3f) << s;
            previous = d;
        }
        EXPECT_LT(std::fabs(previous), 0.01f);
    }
}

// The old wheel model's friction circle, limit 5: inside it nothing changes; the sideways
// impulse gives way first (3, 5 -> 3, 4); a longitudinal impulse past the limit scales both
// onto the circle in proportion to the asks: (6, 2) asks 1.2 and 0.4 of the limit, k =
// 1 / sqrt(1.6), giving (4.7434165, 1.5811388); on a saturated axle (fraction -1.5) the
// sideways ask is 1.5: (5, -5) gives k = 1 / sqrt(3.25), (2.7735009, -4.1602515).
TEST(CarOldTyres, FrictionCircleClampTable)
{
    struct Case
    {
        float lon, lat, saturated, wantLon, wantLat;
    };
    const Case cases[] = {
        {3.0f, 4.0f, 0.0f, 3.0f, 4.0f},
        {3.0f, 5.0f, 0.0f, 3.0f, 4.0f},
        {-4.0f, -5.0f, 0.0f, -4.0f, -3.0f},
        {0.0f, 7.0f, 1.4f, 0.0f, 5.0f},
        {6.0f, 2.0f, 0.0f, 4.7434165f, 1.5811388f},
        {5.0f, -5.0f, -1.5f, 2.7735009f, -4.1602515f},
        {-8.0f, 0.0f, 0.0f, -5.0f, 0.0f},
    };
    for (const Case &c : cases)
    {
        float lon = c.lon, lat = c.lat;
        bz_PhysCar_OldTyreClamp(&lon, &lat, 5.0f, c.saturated);
        EXPECT_NEAR(lon, c.wantLon, 1e-5f) << c.lon << ", " << c.lat;
        EXPECT_NEAR(lat, c.wantLat, 1e-5f) << c.lon << ", " << c.lat;
        EXPECT_LE(lon * lon + lat * lat, 25.0f * (1.0f + 1e-6f));
    }
    // No limit, or an impulse that is not a number: nothing.
    float lon = 2.0f, lat = 1.0f;
    bz_PhysCar_OldTyreClamp(&lon, &lat, 0.0f, 0.0f);
    EXPECT_EQ(lon, 0.0f);
    EXPECT_EQ(lat, 0.0f);
    lon = std::nanf("");
    lat = 1.0f;
    bz_PhysCar_OldTyreClamp(&lon, &lat, 5.0f, 0.0f);
    EXPECT_EQ(lon, 0.0f);
    EXPECT_EQ(lat, 0.0f);
}

// In the old model a braking wheel on a surface block feeds its clamped impulse over dt to the
// engine reaction and its rolling resistance to the companion term; without a surface block
// nothing is fed back. Braking at 2 m/s with 2000 N a wheel, well within the tyres' limits,
// the clamp leaves the brake impulse as it is: -2000 x 4 / dt x dt = -8000 N.
TEST(CarOldTyres, ReactionsFromWheelsWithASurfaceBlock)
{
    static bzCarSurface block = {};
    block.friction = 1.0f;
    for (bool surface : {true, false})
    {
        TestCar t(10.0f);
        std::vector<bzDynFaceHit> faces;
        AddGround(faces, 0.0f);
        t.SetFaces(faces);
        t.car.carFlags |= BZ_CAR_OLD_WHEEL_MODEL;
        for (int32_t s = 0; s < 30; s++)
            t.Step(); // settle
        t.body.linearVelocity = V3(0.0f, 0.0f, 2.0f);
        for (int32_t i = 0; i < 4; i++)
            t.car.brakeForce[i] = -2000.0f;
        bz_PhysCar_PreStep(&t.car);
        for (int32_t i = 0; i < 4; i++)
            t.car.wheelSurface[i] = surface ? &block : nullptr;
        bz_PhysCar_Step(&t.car);
        float roll = 0.0f;
        for (int32_t i = 0; i < 4; i++)
            roll -= t.car.rollResist[i] * t.car.wheelLoad[i];
        if (surface)
        {
            EXPECT_NEAR(t.car.engineReaction, -8000.0f, 1.0f);
            EXPECT_NEAR(t.car.engineReaction2, roll, 0.01f * std::fabs(roll));
            EXPECT_LT(roll, -100.0f);
        }
        else
        {
            EXPECT_EQ(t.car.engineReaction, 0.0f);
            EXPECT_EQ(t.car.engineReaction2, 0.0f);
        }
        // 8000 N and the rolling resistance over 1250 kg and 0.04 s, less the step's drag.
        EXPECT_NEAR(t.body.linearVelocity.z, 2.0f + (roll - 8000.0f) / 1250.0f * 0.04f, 0.01f);
    }
}

TEST(CarDifferentials, LockTable)
{
    struct Case
    {
        const char *name;
        int8_t before;
        float spin0, spin1, yaw, threshold;
        int8_t after;
    } cases[] = {
        {"open below the threshold", 0, 10.0f, 15.0f, 0.0f, 10.0f, 0},
        {"locks past the threshold", 0, 10.0f, 25.0f, 0.0f, 10.0f, 1},
        {"locks the other way", 0, 25.0f, 10.0f, 0.0f, 10.0f, -1},
        {"stays locked while the difference beats the turn", 1, 10.0f, 12.0f, 0.1f, 10.0f, 1},
        {"opens when the turn explains it", 1, 10.0f, 10.5f, 0.3f, 10.0f, 0},
        {"a lock of the other sign opens", -1, 10.0f, 12.0f, 0.1f, 10.0f, 0},
        {"switched off", 0, 10.0f, 40.0f, 0.0f, -1.0f, 0},
    };
    for (const Case &k : cases)
    {
        TestCar t;
        t.car.lsdThreshold[0] = k.threshold;
        t.car.diffLock[0] = k.before;
        t.car.wheelSpin[0] = k.spin0;
        t.car.wheelSpin[1] = k.spin1;
        t.body.angularVelocity = V3(0, k.yaw, 0);
        bz_PhysCar_EngageDifferentials(&t.car, 0.002f, nullptr);
        EXPECT_EQ(t.car.diffLock[0], k.after) << k.name;
        if (k.after != 0)
        {
            EXPECT_FLOAT_EQ(t.car.wheelSpin[0], (k.spin0 + k.spin1) * 0.5f) << k.name;
            EXPECT_FLOAT_EQ(t.car.wheelSpin[1], (k.spin0 + k.spin1) * 0.5f) << k.name;
        }
        else
        {
            EXPECT_EQ(t.car.wheelSpin[0], k.spin0) << k.name;
            EXPECT_EQ(t.car.wheelSpin[1], k.spin1) << k.name;
        }
    }
}

TEST(CarDifferentials, CentreLockEvensTheAxlesAndKeepsTheDriveLine)
{
    TestCar t;
    t.car.lsdThreshold[2] = 5.0f;
    t.car.invEngineInertia = 1.0f / (2.2f - 0.45f / t.car.sumShareSq);
    const float spins[4] = {10.0f, 10.0f, 20.0f, 20.0f};
    for (int32_t i = 0; i < 4; i++)
        t.car.wheelSpin[i] = spins[i];
    bz_PhysCar_EngageDifferentials(&t.car, 0.002f, nullptr);
    EXPECT_EQ(t.car.diffLock[2], 1);
    EXPECT_NEAR(t.car.wheelSpin[0] + t.car.wheelSpin[1], t.car.wheelSpin[2] + t.car.wheelSpin[3],
                1e-3f);
}

TEST(CarAirborne, WheelsSpinDownWithoutReversing)
{
    TestCar t;
    t.SetFaces({});
    // Wheels turning with the drive line, one of them barely.
    const float start[4] = {30.0f, 30.0f, 0.5f, 30.0f};
    for (int32_t i = 0; i < 4; i++)
        t.car.wheelSpin[i] = start[i];
    t.car.driveSpin = 0.0f;
    for (int32_t i = 0; i < 4; i++)
        t.car.driveSpin += t.car.torqueShare[i] * start[i];
    t.car.driveInertia = 2.2f;
    float before[4];
    for (int32_t s = 0; s < 200; s++)
    {
        for (int32_t i = 0; i < 4; i++)
            before[i] = t.car.wheelSpin[i];
        t.Step();
        for (int32_t i = 0; i < 4; i++)
        {
            EXPECT_GE(t.car.wheelSpin[i], 0.0f) << s << " " << i;
            EXPECT_LE(t.car.wheelSpin[i], std::max(before[i], t.car.wheelSpin[0]) + 1e-4f)
                << s << " " << i;
        }
    }
    EXPECT_EQ(t.car.wheelsOnGround, 0u);
    EXPECT_EQ(t.car.gripForce[0], 0.0f);
    for (int32_t i = 0; i < 4; i++)
        EXPECT_LT(t.car.wheelSpin[i], 0.5f) << i;
}

TEST(CarAirborne, SpinDownOfOneStepIsFiveNewtonMetres)
{
    TestCar t;
    t.SetFaces({});
    // A lone wheel: its drive share zero so the drive line leaves it alone.
    for (int32_t i = 0; i < 4; i++)
        t.car.torqueShare[i] = 0.0f;
    t.car.sumShareSq = 0.0f;
    t.car.wheelSpin[0] = 10.0f;
    t.car.brakeForce[0] = 100.0f;
    bz_PhysCar_PreStep(&t.car);
    bz_PhysCar_Step(&t.car);
    // (|brake| R + 5) dt / I.
    EXPECT_NEAR(t.car.wheelSpin[0], 10.0f - (100.0f * 0.3f + 5.0f) * 0.04f / 0.45f, 1e-4f);
}

TEST(CarAirborne, HandBrakeStopsTheRearWheelsAtOnce)
{
    TestCar t;
    t.SetFaces({});
    for (int32_t i = 0; i < 4; i++)
        t.car.wheelSpin[i] = 20.0f;
    t.car.driveSpin = 20.0f * (2 * 0.175f + 2 * 0.325f);
    t.car.handbrake = 1000.0f;
    bz_PhysCar_PreStep(&t.car);
    bz_PhysCar_Step(&t.car);
    EXPECT_LT(t.car.engineReaction, 0.0f);
    EXPECT_LT(t.car.wheelSpin[2], t.car.wheelSpin[0]);
}
} // namespace
