// Momentum-keeping rotation: sub-step counts, torque-free motion, turning about the centre of
// mass and bad angular speeds.
#include "collision/PairTestShapes.h"
#include "maths/Matrix.h"
#include "physics/Body.h"
#include "physics/BodyMass.h"
#include "physics/BodyRotation.h"
#include "physics/PhysMemory.h"
#include "physics/PhysSettings.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace
{
using pairtest::V;

// A free body with the given moments, unit mass, its transform the identity.
struct FreeBody
{
    BZDObject body = {};
    bzM34 matrix;
    explicit FreeBody(bzV3 moments, bzV3 centre = V(0, 0, 0))
    {
        bz_M34_SetIdentity(&matrix);
        body.transform = &matrix;
        body.startTransform = matrix;
        body.inertiaScale = 1.0f;
        body.mass = 1.0f;
        body.principalMoments = moments;
        body.centreOfMass = centre;
        bz_Body_SetInverses(&body);
    }
    // World angular momentum: the body-frame momentum on the body's axes.
    void WorldMomentum(double out[3]) const
    {
        for (int j = 0; j < 3; ++j)
        {
            out[j] = 0.0;
            for (int i = 0; i < 3; ++i)
                out[j] += double(body.principalMoments.v[i]) * body.angularVelocity.v[i] *
                          matrix.row[i].v[j];
        }
    }
    double Energy() const
    {
        double e = 0.0;
        for (int i = 0; i < 3; ++i)
            e += 0.5 * body.principalMoments.v[i] * body.angularVelocity.v[i] *
                 body.angularVelocity.v[i];
        return e;
    }
};

TEST(BodyRotationTest, SubStepCounts)
{
    struct Case
    {
        float q;
        int32_t steps;
    };
    const Case cases[] = {
        {0.0f, 0},
        {0.9e-7f, 0},
        {1.0e-7f, 1},
        {0.008f, 1},
        {0.00801f, 2},  // just over: split in two
        {0.03f, 2},     // sqrt(0.03 x 33.333336) = 1
        {0.1f, 2},      // 1.83
        {0.2f, 3},      // 2.58
        {1.0f, 6},      // 5.77
        {4799.0f, 400}, // 399.96
        {5000.0f, 400}, // 408: capped
        {1.0e30f, 400},
        {std::numeric_limits<float>::infinity(), 400},
        {std::numeric_limits<float>::quiet_NaN(), 0},
    };
    for (const Case &c : cases)
        EXPECT_EQ(bz_Phys_RotationSubSteps(c.q), c.steps) << "q = " << c.q;
}

TEST(BodyRotationTest, IntegrateChoosesNoneOneOrSubSteps)
{
    const float dt = 0.04f;
    struct Case
    {
        float speed; // about z
        int32_t steps;
        bool slowFlag;
    };
    // q = (dt w)^2: w = 0.0075 gives 9e-8, w = 2 gives 0.0064, w = 2.3 gives 0.0085, w = 5
    // gives 0.04.
    const Case cases[] = {{0.0075f, 0, true}, {2.0f, 1, false}, {2.3f, 2, false}, {5.0f, 2, false}};
    for (const Case &c : cases)
    {
        FreeBody f(V(1, 1, 1));
        f.body.physicsFlags = c.slowFlag ? 0u : uint32_t(BZ_PHYS_SLOW_TURN);
        f.body.angularVelocity = V(0, 0, c.speed);
        EXPECT_EQ(bz_Phys_IntegrateRotation(&f.body, dt), c.steps);
        EXPECT_EQ((f.body.physicsFlags & BZ_PHYS_SLOW_TURN) != 0, c.slowFlag);
        EXPECT_EQ(f.body.savedAngularVelocity.z, c.speed);
        // A symmetric body spins at constant speed and turns by dt w about z.
        const double angle = c.steps ? double(dt) * c.speed : 0.0;
        EXPECT_NEAR(f.matrix.row[0].x, std::cos(angle), 1e-5);
        EXPECT_NEAR(f.matrix.row[0].y, std::sin(angle), 1e-5);
        EXPECT_NEAR(f.body.angularVelocity.z, c.speed, 1e-5);
    }
}

TEST(BodyRotationTest, TorqueFreeAsymmetricBodyKeepsMomentumAndFlips)
{
    // Spin mostly about the intermediate axis, which is unstable: the spin must turn over.
    struct Case
    {
        float dt;
        float spin;
        double momentumTolerance; // relative
        double energyTolerance;   // relative
    };
    // Single steps (q 0.0016, 0.0064, 0.0016) and split steps (q 0.0144, 0.0576: two turns
    // each; q 0.36: four turns) hold the momentum to 1e-5 over 1,000 steps. At 34 degrees a
    // step the mid-point estimate still keeps the momentum but no longer the energy.
    const Case cases[] = {{0.04f, 1.0f, 1e-5, 0.02}, {0.04f, 2.0f, 1e-5, 0.02},
                          {0.01f, 4.0f, 1e-5, 0.02}, {0.04f, 3.0f, 1e-5, 0.02},
                          {0.04f, 6.0f, 1e-5, 0.02}, {0.04f, 15.0f, 1e-5, 0.1}};
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.spin);
        FreeBody f(V(1, 2, 3));
        f.body.angularVelocity = V(0.01f, c.spin, 0.01f);
        double l0[3];
        f.WorldMomentum(l0);
        const double size0 = std::sqrt(l0[0] * l0[0] + l0[1] * l0[1] + l0[2] * l0[2]);
        const double e0 = f.Energy();
        bool flipped = false;
        double worst = 0.0;
        for (int step = 0; step < 1000; ++step)
        {
            bz_Phys_IntegrateRotation(&f.body, c.dt);
            // As the physics step does after every move of a body.
            bz_M33_Orthonormalise(&f.matrix);
            flipped = flipped || f.body.angularVelocity.y < 0.0f;
            double l[3];
            f.WorldMomentum(l);
            const double d =
                std::sqrt((l[0] - l0[0]) * (l[0] - l0[0]) + (l[1] - l0[1]) * (l[1] - l0[1]) +
                          (l[2] - l0[2]) * (l[2] - l0[2]));
            worst = std::max(worst, d / size0);
        }
        EXPECT_TRUE(flipped);
        EXPECT_LT(worst, c.momentumTolerance);
        EXPECT_LT(std::fabs(f.Energy() - e0) / e0, c.energyTolerance);
    }
}

TEST(BodyRotationTest, PlainStepKeepsWorldMomentum)
{
    FreeBody f(V(1, 2, 3));
    f.body.angularVelocity = V(0.5f, 1.0f, -0.7f);
    double l0[3];
    f.WorldMomentum(l0);
    for (int step = 0; step < 100; ++step)
    {
        bz_Phys_RotateStep(&f.body, 0.04f);
        bz_M33_Orthonormalise(&f.matrix);
    }
    double l[3];
    f.WorldMomentum(l);
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(l[i], l0[i], 1e-5);
    // It turned: the body's axes are no longer the world's.
    EXPECT_LT(f.matrix.row[0].x, 0.99f);
}

TEST(BodyRotationTest, BodyTurnsAboutItsCentreOfMass)
{
    // Centre of mass at (1, 2, 0) in the body frame: wherever it turns, that point stays put.
    FreeBody f(V(1, 1, 1), V(1, 2, 0));
    f.matrix.row[3] = V(5, 0, 0);
    f.body.angularVelocity = V(0.3f, 0.0f, 1.5f);
    for (int step = 0; step < 50; ++step)
    {
        bz_Phys_IntegrateRotation(&f.body, step % 2 ? 0.04f : 0.2f); // plain and sub-stepped
        bzV3 centre;
        bz_M34_TransformPointInto(&f.matrix, &centre, &f.body.centreOfMass);
        EXPECT_NEAR(centre.x, 6.0, 1e-4);
        EXPECT_NEAR(centre.y, 2.0, 1e-4);
        EXPECT_NEAR(centre.z, 0.0, 1e-4);
    }
}

TEST(BodyRotationTest, HugeAndNonFiniteAngularSpeeds)
{
    // A huge spin is cut at 400 sub-steps of at most 10 degrees and stays finite.
    FreeBody fast(V(1, 2, 3));
    fast.body.angularVelocity = V(1.0e6f, 2.0e6f, -1.0e6f);
    EXPECT_EQ(bz_Phys_IntegrateRotation(&fast.body, 0.04f), 400);
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 3; ++j)
            EXPECT_TRUE(std::isfinite(fast.matrix.row[i].v[j]));
    for (int i = 0; i < 3; ++i)
    {
        EXPECT_TRUE(std::isfinite(fast.body.angularVelocity.v[i]));
        EXPECT_NEAR(bz_V3_Length(&fast.matrix.row[i]), 1.0, 1e-3);
    }

    // Not a number or infinite: reported as error 10, the spin dropped, nothing turned.
    KeepAlive keep;
    static int32_t reported;
    bz_Phys_SetErrorHook([](int32_t code, const char *) { reported = code; });
    const float bad[] = {std::numeric_limits<float>::quiet_NaN(),
                         std::numeric_limits<float>::infinity()};
    for (float b : bad)
    {
        reported = 0;
        FreeBody f(V(1, 2, 3));
        f.body.angularVelocity = V(1.0f, b, 0.0f);
        EXPECT_EQ(bz_Phys_IntegrateRotation(&f.body, 0.04f), 0);
        EXPECT_EQ(reported, 10);
        EXPECT_EQ(bz_V3_LengthSq(&f.body.angularVelocity), 0.0f);
        EXPECT_EQ(f.matrix.row[0].x, 1.0f);
        EXPECT_EQ(f.matrix.row[1].y, 1.0f);
    }
    bz_Phys_SetErrorHook(nullptr);
}

TEST(BodyRotationTest, FixedBodyDoesNotKeepSpinning)
{
    // Without inverse moments the re-derived angular velocity is zero.
    FreeBody f(V(1, 2, 3));
    f.body.physicsFlags = BZ_PHYS_INF_MI;
    bz_Body_SetInverses(&f.body);
    f.body.angularVelocity = V(0, 0, 1);
    bz_Phys_IntegrateRotation(&f.body, 0.04f);
    EXPECT_EQ(bz_V3_LengthSq(&f.body.angularVelocity), 0.0f);
}
} // namespace
