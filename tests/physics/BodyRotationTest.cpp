// Momentum-keeping rotation: sub-step counts, torque-free motion, turning about the centre of
// mass, bad angular speeds and the keeping of turns.
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
#include <cstring>
#include <functional>
#include <limits>
#include <random>

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

// What a turn leaves of a body: its matrix, angular velocities, flags and the sub-steps.
struct TurnOutcome
{
    bzM34 matrix;
    bzV3 w, saved;
    uint32_t flags;
    int32_t steps;
    bool operator==(const TurnOutcome &o) const { return std::memcmp(this, &o, sizeof o) == 0; }
};

// The body's inputs to a turn, as set on a FreeBody.
struct TurnSetUp
{
    bzV3 moments, inverse, centre, w;
    float scale, dt;
    bzM34 matrix;
    bool midpoint; // bz_Body_TurnMidpoint (no caps) on the start transform, else integrated
};

TurnOutcome TurnOnce(const TurnSetUp &u)
{
    FreeBody f(u.moments, u.centre);
    f.body.inertiaScale = u.scale;
    f.body.inversePrincipalMoments = u.inverse;
    f.body.angularVelocity = u.w;
    f.matrix = u.matrix;
    f.body.startTransform = u.matrix;
    TurnOutcome o;
    std::memset(&o, 0, sizeof o);
    if (u.midpoint)
        bz_Body_TurnMidpoint(&f.body, u.dt);
    else
        o.steps = bz_Phys_IntegrateRotation(&f.body, u.dt);
    o.matrix = u.midpoint ? f.body.startTransform : f.matrix;
    o.w = f.body.angularVelocity;
    o.saved = f.body.savedAngularVelocity;
    o.flags = f.body.physicsFlags;
    return o;
}

// A turn worked out afresh, with no turn kept before or after it.
TurnOutcome FreshTurn(const TurnSetUp &u)
{
    const bool was = bz_Phys_KeepTurns(false);
    const TurnOutcome o = TurnOnce(u);
    bz_Phys_KeepTurns(was);
    return o;
}

// Turns are kept and taken again from the same inputs. A body turned once from one pose and then
// from another with the same angular velocity, moments, centre of mass and step ends where a
// fresh turn takes it, bit for bit; and with any one of those inputs changed after the first
// turn it still ends where a fresh turn of the changed inputs takes it, which differs from the
// unchanged one. Balls (whose turns keep w) and uneven bodies, slow and split turns.
TEST(BodyRotationTest, KeptTurnsAreTakenOnlyFromTheSameInputs)
{
    const std::pair<const char *, std::function<void(TurnSetUp &)>> changes[] = {
        {"none", [](TurnSetUp &) {}},
        {"w.x", [](TurnSetUp &u) { u.w.x *= 1.001f; }},
        {"w.y", [](TurnSetUp &u) { u.w.y *= 1.001f; }},
        {"w.z", [](TurnSetUp &u) { u.w.z *= 1.001f; }},
        {"moment x", [](TurnSetUp &u) { u.moments.x *= 1.01f; }},
        {"moment y", [](TurnSetUp &u) { u.moments.y *= 1.01f; }},
        {"moment z", [](TurnSetUp &u) { u.moments.z *= 1.01f; }},
        {"inverse x", [](TurnSetUp &u) { u.inverse.x *= 1.01f; }},
        {"inverse y", [](TurnSetUp &u) { u.inverse.y *= 1.01f; }},
        {"inverse z", [](TurnSetUp &u) { u.inverse.z *= 1.01f; }},
        {"centre x", [](TurnSetUp &u) { u.centre.x += 0.01f; }},
        {"centre y", [](TurnSetUp &u) { u.centre.y += 0.01f; }},
        {"centre z", [](TurnSetUp &u) { u.centre.z += 0.01f; }},
        {"scale", [](TurnSetUp &u) { u.scale *= 1.01f; }},
        {"step", [](TurnSetUp &u) { u.dt *= 1.01f; }},
        {"caps", [](TurnSetUp &u) { u.midpoint = !u.midpoint; }},
    };
    std::mt19937 rng(77);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f), side(-1.0f, 1.0f);
    const bool was = bz_Phys_KeepTurns(true);
    int split = 0;
    for (int trial = 0; trial < 120; ++trial)
    {
        TurnSetUp u;
        const bool ball = trial % 2 == 0;
        u.moments =
            ball ? V(0.4f, 0.4f, 0.4f) : V(0.2f + unit(rng), 0.2f + unit(rng), 0.2f + unit(rng));
        u.scale = trial % 5 == 0 ? 1.5f : 1.0f;
        // Every sixth body's stored inverse moments are eight times the moments' reciprocals,
        // which the turn takes as they stand: its mid-point speed is eight times w, and a single
        // step's turn meets the caps.
        const float over = trial % 6 == 5 ? 8.0f : 1.0f;
        u.inverse = V(over / (u.moments.x * u.scale), over / (u.moments.y * u.scale),
                      over / (u.moments.z * u.scale));
        u.centre = ball ? V(0, 0, 0) : V(0.3f * side(rng), 0.3f * side(rng), 0.3f * side(rng));
        const float speed = trial % 3 == 0 && over == 1.0f ? 30.0f : 3.0f;
        u.w = V(speed * side(rng), speed * side(rng), speed * side(rng));
        u.dt = trial % 4 == 0 ? 0.04f : 1.0f / 60.0f;
        u.midpoint = trial % 7 == 0;
        u.matrix = pairtest::RandomPlacement(rng, 2.0f);
        TurnSetUp other = u;
        other.matrix = pairtest::RandomPlacement(rng, 2.0f);
        const TurnOutcome unchanged = FreshTurn(u);
        split += unchanged.steps > 1;
        for (const auto &[name, change] : changes)
        {
            TurnSetUp changed = u;
            change(changed);
            const TurnOutcome expected = FreshTurn(changed);
            if (changed.midpoint == u.midpoint && std::strcmp(name, "none") != 0)
            {
                ASSERT_FALSE(expected == unchanged) << name << " trial " << trial;
            }
            bz_Phys_KeepTurns(true);
            TurnOnce(other);
            changed.matrix = u.matrix;
            EXPECT_TRUE(TurnOnce(changed) == expected) << name << " trial " << trial;
        }
    }
    bz_Phys_KeepTurns(was);
    // Both single and split turns came up.
    EXPECT_GT(split, 20);
    EXPECT_LT(split, 100);
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
