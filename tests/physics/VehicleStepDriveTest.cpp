// Reference drives of the default car through the physics step itself: the world and pair
// collision installed, flat ground of two faces held in the body's collision cache, g = 10 and
// the game's step settings. Each 40 ms frame is the dynamics layer's: gravity, the vehicle's
// update, then bz_Phys_Step moves the body with everything else.
//
// Hand-worked values of the default car (1250 kg, ride height 0.2 m, wheels at x = +-1,
// z = +-2, grip 1.2, brake force 20000 N per 1000 kg over 1 s, drag coefficient 0.5):
// - static compression: a quarter of the weight on each spring compresses it by its give,
//   0.2 / 1.7 = 0.1176 m, which puts the car's origin on the ground (y = 0);
// - grip: each tyre holds M 2.5 x 1.2 x sqrt(load / (M 2.5)) = 3750 N at a quarter of the weight
//   (g 10), 15000 N in all, 12 m/s^2;
// - braking from 20 m/s: the brake ramps to 25000 N (20 m/s^2) over 1 s and meets the 12 m/s^2
//   of the tyres at 0.6 s, having taken 3.6 m/s over 12 - 0.72 = 11.3 m; the remaining
//   16.4 m/s need 16.4^2 / 24 = 11.2 m: about 22.5 m from the brakes and tyres alone, a little
//   less with the engine braking in gear, the drag and the rolling resistance; the window is
//   [17, 34] m (17 m would need 1.2 g from the start, 34 m about half of it);
// - top speed: the peak power (6000 rpm x 240 N m = 150.8 kW) against the drag alone
//   (0.81 x 0.5 x v^2 = 0.405 v^2 N) bounds it by (150796 / 0.405)^(1/3) = 71.9 m/s;
// - steering 0.3 of the analogue range (response q = 1: s |s|) asks 0.09 x tan 40 / 4 =
//   0.018879 of curvature; at 5 m/s the car yaws at v x curvature = 0.0944 rad/s.
#include "PhysStepWorld.h"
#include "VehicleDriveRuns.h"
#include "VehicleTestSupport.h"
#include "collision/Form.h"
#include "physics/Bounce.h"
#include "physics/PhysInstall.h"
#include "physics/PhysMemory.h"
#include "physics/PhysStep.h"
#include "physics/WorldCollision.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using cartest::V3;

namespace
{
constexpr float kG = 10.0f;
constexpr float kDt = 0.04f;
constexpr float kPi = 3.14159265f;

struct StepVehicle
{
    std::vector<bzDynFaceHit> faces;
    bzDynFaceList list{};
    bzDynCollisionCache cache{};
    bzLump lump{};
    BZDObject body{};
    bzDynVehicle *car = nullptr;
    BZDObject *head = nullptr;
    int32_t reserved = -1;

    explicit StepVehicle(float height = 0.0f)
    {
        const auto install = []
        {
            bz_Phys_InstallServices();
            bz_PhysWorld_SetLevel(0.0f, 0);
        };
        reserved = physworld::StartScenario(kG, install);
        cartest::AddGround(faces, 0.0f, 4000.0f);
        list.capacity = list.count = static_cast<int32_t>(faces.size());
        list.entries = faces.data();
        cache.gatherList = &list;
        cache.valid = 1;
        bz_M34_SetIdentity(&cache.gatherMatrix);
        bz_M34_SetIdentity(&cache.gatherInverse);
        cache.gatherBox = {V3(-1e4f, -1e4f, -1e4f), V3(1e4f, 1e4f, 1e4f)};
        bz_M34_SetIdentity(&lump.matrix);
        lump.matrix.row[3].y = height;
        lump.dynamicsObject = &body;
        body.owner = &lump; // the lump's second word is its body
        body.transform = &lump.matrix;
        body.startTransform = lump.matrix;
        body.collisionCache = &cache;
        body.inertiaScale = 1.0f;
        body.groupMask = 1;
        car = bz_DynVehicle_Load(&lump, nullptr, nullptr);
        head = &body;
    }
    ~StepVehicle()
    {
        if (car)
            bz_DynVehicle_Destroy(car);
        bz_Phys_ForgetBounceRecords(&body, &body);
        bz_Body_ReturnAllContacts(&body);
        bz_Form_Free(body.form);
        bz_PhysMem_Release();
        bz_Phys_RemoveServices();
        bz_Phys_ResetSettings();
    }
    StepVehicle(const StepVehicle &) = delete;
    StepVehicle &operator=(const StepVehicle &) = delete;

    // One frame as the dynamics layer runs it: the body's weight and frame update, the vehicle,
    // the physics step.
    void Frame()
    {
        bz_Phys_CreateContactPools();
        physworld::Weigh(head, kG);
        bz_Body_SaveFrameStartState(head, kDt, 1);
        bz_Body_ApplyForceList(head, kDt, 1);
        bz_DynVehicle_Update(car);
        bz_Phys_Step(&head, nullptr);
    }
    bzV3 Position() const { return lump.matrix.row[3]; }
    float Speed() const
    {
        return std::sqrt(body.linearVelocity.x * body.linearVelocity.x +
                         body.linearVelocity.z * body.linearVelocity.z);
    }
    // Heading of the car's z axis in the world x-z plane, radians from +z toward +x.
    float Heading() const { return std::atan2(lump.matrix.row[2].x, lump.matrix.row[2].z); }
    // The world yaw rate (about world y) from the body-frame angular velocity.
    float YawRate() const
    {
        const bzV3 &w = body.angularVelocity;
        return w.x * lump.matrix.row[0].y + w.y * lump.matrix.row[1].y + w.z * lump.matrix.row[2].y;
    }
};

TEST(VehicleStepDrive, DroppedFiveCentimetresSettlesToTheStaticCompressionAndSleeps)
{
    StepVehicle t(0.05f);
    ASSERT_EQ(t.reserved, 0);
    ASSERT_NE(t.car, nullptr);
    t.car->driven = 0; // as the game leaves a loaded car
    int32_t asleep = -1;
    for (int32_t s = 0; s < 100 && asleep < 0; s++)
    {
        t.Frame();
        ASSERT_TRUE(std::isfinite(t.Position().y)) << s;
        if (t.body.asleep)
            asleep = s;
    }
    ASSERT_GE(asleep, 0) << "never slept";
    EXPECT_LE(asleep * kDt, 3.0f);
    const float give = 0.2f / 1.7f;
    for (int32_t i = 0; i < 4; i++)
        EXPECT_NEAR(t.car->suspLength[i] - t.car->probeDist[i], give, 0.05f * give) << i;
    EXPECT_NEAR(t.Position().y, 0.0f, 0.05f * give);
    EXPECT_GT(t.lump.matrix.row[1].y, 0.9999f) << "level";
    // Asleep and undriven, the step and the update leave it where it lies.
    const bzV3 at = t.Position();
    for (int32_t s = 0; s < 25; s++)
        t.Frame();
    EXPECT_EQ(t.body.asleep, 1);
    EXPECT_EQ(t.Position().y, at.y);
    EXPECT_EQ(t.Position().z, at.z);
    // Driven again with the accelerator down, the update wakes it and the step moves it on:
    // at most 12 m/s^2 over 1 s gives at most 6 m, and it must get going.
    t.car->driven = 1;
    for (int32_t s = 0; s < 25; s++)
    {
        t.car->throttle = 1.0f;
        t.Frame();
        ASSERT_EQ(t.body.asleep, 0) << s;
    }
    EXPECT_GT(t.Position().z - at.z, 1.0f);
    EXPECT_LT(t.Position().z - at.z, 6.0f);
    EXPECT_NEAR(t.Position().y, at.y, 0.05f);
}

// A car left driven settles just the same but stays awake.
TEST(VehicleStepDrive, ADrivenCarSettlesAndStaysAwake)
{
    StepVehicle t(0.05f);
    ASSERT_NE(t.car, nullptr);
    for (int32_t s = 0; s < 100; s++)
    {
        t.Frame();
        ASSERT_EQ(t.body.asleep, 0) << s;
    }
    const float give = 0.2f / 1.7f;
    for (int32_t i = 0; i < 4; i++)
        EXPECT_NEAR(t.car->suspLength[i] - t.car->probeDist[i], give, 0.05f * give) << i;
    EXPECT_NEAR(t.Position().y, 0.0f, 0.05f * give);
    EXPECT_LT(std::fabs(t.body.linearVelocity.y), 0.01f);
    EXPECT_LT(std::fabs(t.Position().z), 0.01f) << "no creeping";
}

// Full throttle from rest for 10 s, through the step and through the test support's own
// integration of the same car: both must keep straight, and their speeds agree within 5 %
// (the step turns the body keeping its angular momentum and moves it about its centre of mass;
// the support's integration is a plain Euler step of the same velocities).
TEST(VehicleStepDrive, FullThrottleRunsStraightToAFiniteTopSpeed)
{
    StepVehicle t;
    ASSERT_NE(t.car, nullptr);
    const auto step = [&] { t.Frame(); };
    const cartest::LaunchRun launch = cartest::FullThrottleLaunch(t, step, 250);
    ASSERT_EQ(launch.nonFinite, -1);
    EXPECT_LT(launch.lateral, 0.1f);
    EXPECT_LT(launch.heading, 1.0f * kPi / 180.0f);
    EXPECT_LT(launch.slower, 5);
    EXPECT_GT(t.car->drive->gear, 2);
    {
        cartest::TestVehicle own;
        cartest::FullThrottleLaunch(
            own, [&] { own.Step(); }, 250);
        EXPECT_NEAR(t.Speed(), own.Speed(), 0.05f * own.Speed());
    }
    // On to the top speed: it levels off below the drag-only bound.
    const cartest::TopSpeedRun run = cartest::OnToTopSpeed(t, step);
    EXPECT_TRUE(std::isfinite(run.top));
    EXPECT_LT(run.top, 71.9f);
    EXPECT_GT(run.top, 40.0f);
    EXPECT_NEAR(run.top, run.fiveSecondsBefore, 0.02f * run.top);
    EXPECT_LT(std::fabs(t.Position().x), 0.1f);
}

// Coasting at 5 m/s (the test puts the speed back along the car's heading every 10 frames)
// with a constant analogue steering: the yaw rate is v x curvature within 10 % once the turn is
// set up, and the left input turns toward car-space -x, the right toward +x.
TEST(VehicleStepDrive, SteadyTurnYawsAtSpeedTimesCurvature)
{
    for (const bool left : {true, false})
    {
        SCOPED_TRACE(left ? "left" : "right");
        StepVehicle t;
        ASSERT_NE(t.car, nullptr);
        int32_t checked = 0;
        const float sideways = cartest::SteadyTurn(
            t, left, [&] { t.Frame(); },
            [&](int32_t s)
            {
                ASSERT_NEAR(t.car->steerCurvature, left ? -0.018879f : 0.018879f, 1e-5f) << s;
                if (s < 20)
                    return;
                const float want = t.Speed() * t.car->steerCurvature;
                EXPECT_NEAR(t.YawRate(), want, 0.1f * std::fabs(want)) << s;
                checked++;
            });
        EXPECT_EQ(checked, 80);
        // About 100 frames x 0.0944 rad/s x 0.04 s = 0.38 rad of heading.
        if (left)
        {
            EXPECT_LT(sideways, -1.0f);
            EXPECT_LT(t.Heading(), -0.2f);
        }
        else
        {
            EXPECT_GT(sideways, 1.0f);
            EXPECT_GT(t.Heading(), 0.2f);
        }
    }
}

TEST(VehicleStepDrive, FullBrakingFromTwentyMetresASecondStopsWithoutReversing)
{
    StepVehicle t;
    ASSERT_NE(t.car, nullptr);
    const cartest::BrakingRun run = cartest::FullBrakingFromTwenty(t, [&] { t.Frame(); });
    EXPECT_GT(run.slowest, -0.1f) << run.slowestStep;
    EXPECT_LT(run.steps, 200);
    EXPECT_GE(run.distance, 17.0f);
    EXPECT_LE(run.distance, 34.0f);
    EXPECT_LT(std::fabs(run.lateral), 0.1f);
    // Released at the stop, it stays stopped.
    EXPECT_GT(run.forwardReleased, -0.1f);
    EXPECT_LT(std::fabs(run.forwardReleased), 0.5f);
}
} // namespace
