// Wheel probes and the ray suspension against synthetic face lists: exact distances, the reach
// of a wheel, steep ground, the push-out limit, the order of equal faces, bumps, the anti-roll
// sharing, the probe hook and bad input.
#include "CarTestSupport.h"
#include "physics/CarSurface.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace cartest;

namespace
{
bool AllFinite(const bzDynVehicle &c, const BZDObject &b)
{
    for (int32_t i = 0; i < 4; i++)
        if (!std::isfinite(c.wheelLoad[i]) || !std::isfinite(c.wheelSpin[i]) ||
            !std::isfinite(c.probeDist[i]) || !std::isfinite(c.gripForce[i]))
            return false;
    for (int32_t k = 0; k < 3; k++)
        if (!std::isfinite(b.linearVelocity.v[k]) || !std::isfinite(b.angularVelocity.v[k]))
            return false;
    return std::isfinite(c.driveSpin);
}

TEST(CarProbe, FlatGroundGivesExactDistances)
{
    TestCar t;
    std::vector<bzDynFaceHit> faces;
    AddGround(faces, -0.05f);
    t.SetFaces(faces);
    t.Position() = V3(3.0f, 0.0f, -7.0f);
    bz_PhysCar_PreStep(&t.car);
    for (int32_t i = 0; i < 4; i++)
    {
        EXPECT_NEAR(t.car.probeDist[i], 0.25f, 1e-6f) << i;
        EXPECT_NE(t.car.hitFace[i], nullptr) << i;
        EXPECT_EQ(t.car.wheelSurface[i], &bzgDefaultCarSurface);
    }
    t.Position() = V3(0.0f, 0.3f, 0.0f);
    bz_PhysCar_PreStep(&t.car);
    for (int32_t i = 0; i < 4; i++)
        EXPECT_NEAR(t.car.probeDist[i], 0.55f, 1e-6f);
    EXPECT_EQ(t.car.floorVelocity.x, 0.0f);
    EXPECT_EQ(t.car.floorVelocities, nullptr);
}

TEST(CarProbe, OfTwoEqualFacesTheEarlierIsKept)
{
    TestCar t;
    std::vector<bzDynFaceHit> faces;
    AddGround(faces, 0.0f, 10.0f);
    AddGround(faces, 0.0f, 10.0f);
    // A nearer face after them wins; a farther one does not.
    faces.push_back(MakeFace(V3(-2, -0.5f, -3), V3(-2, -0.5f, 3), V3(2, -0.5f, -3)));
    t.SetFaces(faces);
    bz_PhysCar_PreStep(&t.car);
    // Each wheel keeps the face of the first copy that holds it: wheel 0 (-1, 2) lies in the
    // second triangle (x + z > 0), wheel 3 (1, -2) in the first.
    EXPECT_EQ(t.car.hitFace[0], bz_DynFaceList_Entry(t.list, 1));
    EXPECT_EQ(t.car.hitFace[1], bz_DynFaceList_Entry(t.list, 1));
    EXPECT_EQ(t.car.hitFace[2], bz_DynFaceList_Entry(t.list, 0));
    EXPECT_EQ(t.car.hitFace[3], bz_DynFaceList_Entry(t.list, 0));
    faces.push_back(MakeFace(V3(-3, 0.1f, -3), V3(-3, 0.1f, 5), V3(5, 0.1f, -3)));
    t.SetFaces(faces);
    bz_PhysCar_PreStep(&t.car);
    EXPECT_EQ(t.car.hitFace[0], bz_DynFaceList_Entry(t.list, 5));
    EXPECT_NEAR(t.car.probeDist[0], 0.1f, 1e-6f);
}

TEST(CarProbe, NothingWithinReachGivesTheMissDistance)
{
    TestCar t;
    std::vector<bzDynFaceHit> faces;
    AddGround(faces, -2.5f);
    t.SetFaces(faces);
    bz_PhysCar_PreStep(&t.car);
    for (int32_t i = 0; i < 4; i++)
    {
        EXPECT_EQ(t.car.probeDist[i], 2.0f);
        EXPECT_EQ(t.car.hitFace[i], nullptr);
    }
    t.SetFaces({});
    bz_PhysCar_PreStep(&t.car);
    for (int32_t i = 0; i < 4; i++)
        EXPECT_EQ(t.car.probeDist[i], 2.0f);
}

TEST(CarProbe, BumpGridIsTakenOffTheDistance)
{
    TestCar t;
    std::vector<bzDynFaceHit> faces;
    AddGround(faces, 0.0f);
    t.SetFaces(faces);
    bz_PhysCar_SetDefaultSurface(0.0f, 1.0f, 0.1f, 1.0f, 0.0f);
    // Wheels at x = +-1.5, z = 2.5 / -1.5: every one half-way between grid lines.
    t.Position() = V3(0.5f, 0.0f, 0.5f);
    t.car.wheelPos[1].x = 1.0f;
    bz_PhysCar_PreStep(&t.car);
    for (int32_t i = 0; i < 4; i++)
        EXPECT_NEAR(t.car.probeDist[i], 0.2f - 0.1f, 1e-5f) << i;
    // On the grid lines: no bump.
    t.Position() = V3(0.0f, 0.0f, 0.0f);
    bz_PhysCar_PreStep(&t.car);
    for (int32_t i = 0; i < 4; i++)
        EXPECT_NEAR(t.car.probeDist[i], 0.2f, 1e-6f) << i;
    // A quarter along x and half along z: f = 0.5, g = 1.
    t.Position() = V3(0.25f, 0.0f, 0.5f);
    bz_PhysCar_PreStep(&t.car);
    EXPECT_NEAR(t.car.probeDist[0], 0.2f - 0.05f, 1e-5f);
    bz_PhysCar_SetDefaultSurface(0.0f, 1.0f, 0.0f, 1.0f, 0.0f);
}

TEST(CarProbe, ProbeOffsetIsAddedToHitsOnly)
{
    TestCar t;
    std::vector<bzDynFaceHit> faces;
    faces.push_back(MakeFace(V3(-1.5f, 0, 1.5f), V3(-1.5f, 0, 2.5f), V3(-0.5f, 0, 1.5f)));
    t.SetFaces(faces);
    for (int32_t i = 0; i < 4; i++)
        t.car.probeOffset[i] = 0.03f;
    bz_PhysCar_PreStep(&t.car);
    EXPECT_NEAR(t.car.probeDist[0], 0.23f, 1e-6f);
    EXPECT_EQ(t.car.probeDist[1], 2.0f);
}

int gHookCalls = 0;
const bzV3 gFloor[4] = {V3(0, 0, 2), V3(0, 0, 2), V3(0, 0, 2), V3(0, 0, 2)};
void FloorHook(bzDynVehicle *car, int32_t count, const bzV3 *, const bzV3 *direction,
               const bzDynFaceHit **faces)
{
    gHookCalls++;
    EXPECT_EQ(count, 4);
    EXPECT_NEAR(direction->y, -1.0f, 1e-6f);
    EXPECT_EQ(faces, car->hitFace);
    car->floorVelocities = gFloor;
}

TEST(CarProbe, HookSeesEveryProbeAndMayGiveFloorVelocities)
{
    TestCar t;
    std::vector<bzDynFaceHit> faces;
    AddGround(faces, 0.0f);
    t.SetFaces(faces);
    gHookCalls = 0;
    const bzPhysCarRayProbeHook old = bz_PhysCar_SetRayProbeHook(FloorHook);
    bz_PhysCar_PreStep(&t.car);
    bz_PhysCar_SetRayProbeHook(old);
    EXPECT_EQ(gHookCalls, 1);
    EXPECT_FLOAT_EQ(t.car.floorVelocity.z, 2.0f);
}

TEST(CarSuspension, ReachOfAWheelAndItsSpringLoad)
{
    // Ground at exactly suspLength + 0.2 is off the ground; 0.19 past touches with no load.
    struct Case
    {
        float extra;
        bool touching;
    } cases[] = {{0.2f, false}, {0.19f, true}, {0.0f, true}};
    for (const Case &k : cases)
    {
        TestCar t;
        const float reachY = -(t.car.suspLength[0] - 0.2f) - k.extra;
        std::vector<bzDynFaceHit> faces;
        AddGround(faces, reachY);
        t.SetFaces(faces);
        bz_PhysCar_PreStep(&t.car);
        bzCarSuspensionTerms terms;
        const int32_t any = bz_PhysCar_SuspensionForces(&t.car, &terms);
        EXPECT_EQ(any != 0, k.touching) << k.extra;
        for (int32_t i = 0; i < 4; i++)
            EXPECT_EQ(t.car.wheelLoad[i], 0.0f) << k.extra;
    }
}

TEST(CarSuspension, SpringLoadAtRestCarriesTheWeightShare)
{
    TestCar t(10.0f);
    std::vector<bzDynFaceHit> faces;
    AddGround(faces, 0.0f);
    t.SetFaces(faces);
    bz_PhysCar_PreStep(&t.car);
    bzCarSuspensionTerms terms;
    ASSERT_EQ(bz_PhysCar_SuspensionForces(&t.car, &terms), 1);
    for (int32_t i = 0; i < 4; i++)
    {
        // Compressed by suspGive: a quarter of the weight, no damping (no motion).
        EXPECT_NEAR(t.car.wheelLoad[i], 1250.0f * 10.0f * 0.25f, 0.5f) << i;
        EXPECT_NEAR(terms.normal[i].y, 1.0f, 1e-6f);
        EXPECT_NEAR(terms.bias[i], 0.0f, 1e-4f);
    }
}

TEST(CarSuspension, PushOutNeverExceedsTheLimit)
{
    for (float sink : {0.05f, 0.5f, 1.5f})
    {
        TestCar t;
        std::vector<bzDynFaceHit> faces;
        AddGround(faces, sink);
        t.SetFaces(faces);
        t.Position() = V3(0, 0, 0);
        for (int32_t i = 0; i < 4; i++)
            t.car.wheelPos[i].y = sink + 0.3f; // mounts above the ground, wheels deep in it
        bz_PhysCar_PreStep(&t.car);
        for (int32_t i = 0; i < 4; i++)
            t.car.probeDist[i] = -sink;
        bzCarSuspensionTerms terms;
        ASSERT_EQ(bz_PhysCar_SuspensionForces(&t.car, &terms), 1);
        for (int32_t i = 0; i < 4; i++)
        {
            const float want =
                std::min((sink + t.car.suspLength[i] - t.car.suspGive[i]) / 0.04f, 1.4000001f);
            EXPECT_NEAR(terms.bias[i], want, 1e-5f) << sink;
            EXPECT_LE(terms.bias[i], 1.4000001f);
        }
    }
}

TEST(CarSuspension, GroundSteeperThanSixtyDegreesCarriesNothing)
{
    for (float degrees : {59.0f, 61.0f})
    {
        TestCar t;
        std::vector<bzDynFaceHit> faces;
        AddGround(faces, 0.0f, 100.0f, degrees * 0.017453292f);
        t.SetFaces(faces);
        // The wheels over the slope's low point at x = 0: lift the car so they reach it.
        for (int32_t i = 0; i < 4; i++)
            t.car.wheelPos[i].x = 0.0f;
        bz_PhysCar_PreStep(&t.car);
        bz_PhysCar_Step(&t.car);
        if (degrees < 60.0f)
        {
            EXPECT_GT(t.car.wheelsOnGround, 0u);
        }
        else
        {
            EXPECT_EQ(t.car.wheelsOnGround, 0u);
            for (int32_t i = 0; i < 4; i++)
            {
                EXPECT_EQ(t.car.wheelLoad[i], 0.0f);
                EXPECT_EQ(t.car.probeDist[i], 2.0f);
            }
        }
    }
}

// Wheel 0 stands on a raised block: the spring loads differ across the diagonals.
void RaiseWheelZero(TestCar &t)
{
    std::vector<bzDynFaceHit> faces;
    faces.push_back(
        MakeFace(V3(-1.5f, 0.04f, 1.5f), V3(-1.5f, 0.04f, 2.5f), V3(-0.5f, 0.04f, 1.5f)));
    AddGround(faces, 0.0f);
    t.SetFaces(faces);
    bz_PhysCar_PreStep(&t.car);
}

TEST(CarSuspension, AntiRollZeroKeepsSpringLoadsAndOneCancelsTheWarp)
{
    TestCar soft(10.0f);
    soft.car.frontRoll = soft.car.rearRoll = 0.0f;
    RaiseWheelZero(soft);
    ASSERT_NEAR(soft.car.probeDist[0], 0.16f, 1e-6f);
    bzCarSuspensionTerms terms;
    bz_PhysCar_SuspensionForces(&soft.car, &terms);
    float raw[4];
    for (int32_t i = 0; i < 4; i++)
        raw[i] = soft.car.wheelLoad[i];
    // Spring loads by hand: k (suspLength - d), the damper sees the 4 cm step over 0.04 s.
    const float k = 1250.0f * 10.0f * 0.25f / (0.2f / 1.7f);
    const float c = soft.car.damping[0];
    EXPECT_NEAR(raw[0], k * (soft.car.suspLength[0] - 0.16f) - (-0.04f / 0.04f) * c, 1.0f);
    EXPECT_NEAR(raw[1], k * (soft.car.suspLength[1] - 0.2f), 1.0f);
    bz_PhysCar_Suspension(&soft.car);
    for (int32_t i = 0; i < 4; i++)
        EXPECT_NEAR(soft.car.wheelLoad[i], raw[i], 1e-3f * raw[i]) << i;

    TestCar stiff(10.0f);
    stiff.car.frontRoll = stiff.car.rearRoll = 1.0f;
    RaiseWheelZero(stiff);
    bz_PhysCar_SuspensionForces(&stiff.car, &terms);
    float axleTotal[2] = {stiff.car.wheelLoad[0] + stiff.car.wheelLoad[1],
                          stiff.car.wheelLoad[2] + stiff.car.wheelLoad[3]};
    bz_PhysCar_Suspension(&stiff.car);
    float p[4];
    for (int32_t i = 0; i < 4; i++)
        p[i] = stiff.car.wheelLoad[i] * 0.04f;
    const float residual = terms.warpBias - (terms.warp[0] * p[0] + terms.warp[1] * p[1] +
                                             terms.warp[2] * p[2] + terms.warp[3] * p[3]);
    EXPECT_NEAR(residual, 0.0f, 1e-3f);
    // The axle totals are kept; the diagonals are evened out.
    EXPECT_NEAR(stiff.car.wheelLoad[0] + stiff.car.wheelLoad[1], axleTotal[0], 1.0f);
    EXPECT_NEAR(stiff.car.wheelLoad[2] + stiff.car.wheelLoad[3], axleTotal[1], 1.0f);
    EXPECT_LT(stiff.car.wheelLoad[0] - stiff.car.wheelLoad[1], raw[0] - raw[1]);
}

TEST(CarSuspensionBadInput, LongSuspensionWithoutFacesNeverTouches)
{
    // A ride height of 1.5 m: suspLength 2.38, beyond the probe's miss distance.
    TestCar t(9.80665f, 1.5f);
    t.SetFaces({});
    for (int32_t k = 0; k < 3; k++)
        t.Step();
    EXPECT_EQ(t.car.wheelsOnGround, 0u);
    for (int32_t i = 0; i < 4; i++)
        EXPECT_EQ(t.car.wheelLoad[i], 0.0f);
    EXPECT_TRUE(AllFinite(t.car, t.body));
}

TEST(CarSuspensionBadInput, OffsetsFrictionAndGripAtTheirLimits)
{
    struct Case
    {
        const char *name;
        float offset, friction, grip;
    } cases[] = {
        {"offset beyond the miss distance", 3.0f, 1.0f, 1.2f},
        {"negative offset", -3.0f, 1.0f, 1.2f},
        {"friction 0", 0.0f, 0.0f, 1.2f},
        {"grip 0", 0.0f, 1.0f, 0.0f},
    };
    for (const Case &k : cases)
    {
        TestCar t;
        std::vector<bzDynFaceHit> faces;
        AddGround(faces, 0.0f);
        t.SetFaces(faces);
        bz_PhysCar_SetDefaultSurface(0.0f, k.friction, 0.0f, 1.0f, 0.0f);
        for (int32_t i = 0; i < 4; i++)
        {
            t.car.probeOffset[i] = k.offset;
            t.car.grip[i] = k.grip;
        }
        t.body.linearVelocity = V3(1.0f, 0.0f, 5.0f);
        t.car.driveForce = 2000.0f;
        t.car.steerCurvature = 0.1f;
        for (int32_t s = 0; s < 20; s++)
            t.Step();
        EXPECT_TRUE(AllFinite(t.car, t.body)) << k.name;
        if (k.offset > 2.0f)
        {
            EXPECT_EQ(t.car.wheelsOnGround, 0u) << k.name;
        }
        bz_PhysCar_SetDefaultSurface(0.0f, 1.0f, 0.0f, 1.0f, 0.0f);
    }
}
} // namespace

namespace
{
TEST(CarProbe, RaysOnASharedEdgeAndATiltedCarStillHit)
{
    TestCar t;
    std::vector<bzDynFaceHit> faces;
    AddGround(faces, 0.0f, 10.0f);
    t.SetFaces(faces);
    // Wheel 0 right over the diagonal the two triangles share.
    t.Position() = V3(1.0f, 0.0f, -2.0f);
    bz_PhysCar_PreStep(&t.car);
    EXPECT_NEAR(t.car.probeDist[0], 0.2f, 1e-6f);
    EXPECT_NE(t.car.hitFace[0], nullptr);
    // Rolled 30 degrees about z, the rays run slanted: the distance grows by 1 / cos 30.
    t.Position() = V3(0.0f, 1.0f, 0.0f);
    t.SetRoll(0.5235988f);
    for (int32_t i = 0; i < 4; i++)
        t.car.wheelPos[i] = V3(0.0f, 0.0f, t.car.wheelPos[i].z);
    bz_PhysCar_PreStep(&t.car);
    for (int32_t i = 0; i < 4; i++)
        EXPECT_NEAR(t.car.probeDist[i], 1.0f / std::cos(0.5235988f), 1e-5f) << i;
}
} // namespace

namespace
{
// A rectangle of two faces in the plane through `at` with normal direction n (n.y > 0),
// covering x in [x0, x1] and z in [z0, z1]; MakeFace's winding makes its normal point up.
void AddTilted(std::vector<bzDynFaceHit> &faces, bzV3 n, bzV3 at, float x0, float x1, float z0,
               float z1)
{
    auto p = [&](float x, float z)
    { return V3(x, at.y - (n.x * (x - at.x) + n.z * (z - at.z)) / n.y, z); };
    faces.push_back(MakeFace(p(x0, z0), p(x0, z1), p(x1, z0)));
    faces.push_back(MakeFace(p(x1, z1), p(x1, z0), p(x0, z1)));
}

// Bank steering. The car stands level (body frame = world frame) at 5 m/s forward on flat
// ground; a small tilted patch lies just ahead of one wheel, where its move over the step
// takes it. With tilt t = n_patch - (0, 1, 0) = (u, ., w) and c = n_patch.y (unit normals):
// a steered wheel at mount m steers to q / (1 - (centre.x - m.x) q), q = w / ((centre.z - m.z) u),
// centre = (0, h, -2) the rear axle's middle; the wheel's grip boost is sqrt(1 - c^2) x bankSteer
// x 10. Normal (0.5, 0.8, 0.2) (unnormalised): w / u = 0.4, q = 0.4 / (-4) = -0.1 for wheel 0,
// curvature -0.1 / 1.1; c^2 = 0.64 / 0.93, so the boost with bankSteer 0.5 is
// sqrt(0.29 / 0.93) x 5 = 2.7920806.
TEST(CarBankSteer, TiltedGroundAheadSteersAlongTheBankAndBoostsGrip)
{
    struct Case
    {
        const char *what;
        int32_t wheel;
        bzV3 normal; // unnormalised
        float bankSteer;
        float curvature; // expected; 0.05 = left as it was
        float boost;
    };
    const float boost = std::sqrt(0.29f / 0.93f) * 5.0f;
    const Case cases[] = {
        {"front left, bank across", 0, V3(0.5f, 0.8f, 0.2f), 0.5f, -0.1f / 1.1f, boost},
        {"front right, mirrored", 1, V3(-0.5f, 0.8f, 0.2f), 0.5f, 0.1f / 1.1f, boost},
        {"rear wheel: grip only", 2, V3(0.5f, 0.8f, 0.2f), 0.5f, 0.05f, boost},
        {"bankSteer 1", 0, V3(0.5f, 0.8f, 0.2f), 1.0f, -0.1f / 1.1f, 2.0f * boost},
        {"too slight (c >= 0.9)", 0, V3(0.2f, 0.95f, 0.05f), 0.5f, 0.05f, 0.0f},
        {"tilted along the car (|w| > |u|)", 0, V3(0.2f, 0.8f, 0.5f), 0.5f, 0.05f, 0.0f},
        {"bankSteer 0: off", 0, V3(0.5f, 0.8f, 0.2f), 0.0f, 0.05f, 0.0f},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.what);
        TestCar t;
        std::vector<bzDynFaceHit> faces;
        AddGround(faces, 0.0f);
        const float x = t.car.wheelPos[c.wheel].x, z = t.car.wheelPos[c.wheel].z;
        // Ahead of the mount only: the wheel's own probe still finds the flat ground.
        AddTilted(faces, c.normal, V3(x, 0.05f, z + 0.3f), x - 0.3f, x + 0.3f, z + 0.1f, z + 0.5f);
        t.SetFaces(faces);
        t.body.linearVelocity = t.body.localLinearVelocity = V3(0.0f, 0.0f, 5.0f);
        t.car.bankSteer = c.bankSteer;
        t.car.steerCurvature = 0.05f;
        bz_PhysCar_PreStep(&t.car);
        const bzDynFaceHit *ground = static_cast<bzDynFaceHit *>(t.list->entries);
        ASSERT_TRUE(t.car.hitFace[c.wheel] == &ground[0] || t.car.hitFace[c.wheel] == &ground[1]);
        bzCarSuspensionTerms terms;
        ASSERT_EQ(bz_PhysCar_SuspensionForces(&t.car, &terms), 1);
        EXPECT_NEAR(t.car.steerCurvature, c.curvature, 1e-5f);
        for (int32_t i = 0; i < 4; i++)
            EXPECT_NEAR(t.car.gripBoost[i], i == c.wheel ? c.boost : 0.0f, 1e-4f) << i;
        // The suspension itself still stands on the flat ground.
        EXPECT_NEAR(t.car.contactNormal[c.wheel].y, 1.0f, 1e-6f);
    }
}

// The boost is spent by the step's grip forces: the boosted wheel grips (1 + boost) times as
// hard as its twin for that step, and the boost is gone afterwards.
TEST(CarBankSteer, GripBoostIsSpentInTheSameStep)
{
    TestCar t(10.0f);
    std::vector<bzDynFaceHit> faces;
    AddGround(faces, 0.0f);
    t.SetFaces(faces);
    for (int32_t s = 0; s < 30; s++)
        t.Step(); // settle
    AddTilted(faces, V3(0.5f, 0.8f, 0.2f), V3(-1.0f, 0.05f, 2.3f), -1.3f, -0.7f, 2.1f, 2.5f);
    t.SetFaces(faces);
    t.body.linearVelocity = V3(0.0f, 0.0f, 5.0f);
    t.car.bankSteer = 0.5f;
    bz_PhysCar_PreStep(&t.car);
    bz_PhysCar_Step(&t.car);
    const float boost = std::sqrt(0.29f / 0.93f) * 5.0f;
    EXPECT_NEAR(t.car.gripForce[0] / t.car.gripForce[1], 1.0f + boost, 0.01f * (1.0f + boost));
    EXPECT_EQ(t.car.gripBoost[0], 0.0f);
}
} // namespace
