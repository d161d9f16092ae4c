// Car set-up: weight shares from the wheel layout, the quadratic they come from, spring and
// damper rates, the steering centre and the forward sign.
#include "CarTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace cartest;

namespace
{
TEST(CarQuadratic, RootsTable)
{
    struct Case
    {
        float a, b, c;
        int32_t count;
        float r0, r1;
    } cases[] = {
        {1.0f, -3.0f, 2.0f, 2, 1.0f, 2.0f},   // (s - 1)(s - 2)
        {-1.0f, 3.0f, -2.0f, 2, 1.0f, 2.0f},  // the same negated: still the smaller first
        {1.0f, 0.0f, 1.0f, 0, 0.0f, 0.0f},    // no real roots
        {0.0f, 2.0f, -1.0f, 2, 0.5f, 0.5f},   // linear: -c / b
        {0.0f, 0.0f, 1.0f, 0, 0.0f, 0.0f},    // nothing to solve
        {1e-6f, 1.0f, -0.5f, 2, 0.5f, -1e6f}, // nearly linear: the series root, then -b/a - r0
    };
    for (const Case &k : cases)
    {
        float r[2] = {-7.0f, -7.0f};
        const int32_t n = bz_PhysCar_SolveQuadratic(k.a, k.b, k.c, r);
        EXPECT_EQ(n, k.count) << k.a << " " << k.b << " " << k.c;
        if (n == 2)
        {
            EXPECT_NEAR(r[0], k.r0, 1e-4f * std::max(1.0f, std::fabs(k.r0)));
            EXPECT_NEAR(r[1], k.r1, 1e-3f * std::max(1.0f, std::fabs(k.r1)));
        }
    }
}

TEST(CarWeightShares, RectangleCentredGivesAQuarterEach)
{
    const bzV3 mounts[4] = {V3(-1, 0.2f, 2), V3(1, 0.2f, 2), V3(-1, 0.2f, -2), V3(1, 0.2f, -2)};
    const bzV3 centre = V3(0, 0.57f, 0);
    float shares[4];
    bz_PhysCar_WeightShares(mounts, &centre, shares);
    for (float s : shares)
        EXPECT_FLOAT_EQ(s, 0.25f);
}

TEST(CarWeightShares, OffCentreFollowsTheBilinearFormula)
{
    // Rectangle x +-1, z +-2, centre (0.2, 0.5): s = 0.6 across, t = 0.625 along.
    const bzV3 mounts[4] = {V3(-1, 0, 2), V3(1, 0, 2), V3(-1, 0, -2), V3(1, 0, -2)};
    const bzV3 centre = V3(0.2f, 0, 0.5f);
    float shares[4];
    bz_PhysCar_WeightShares(mounts, &centre, shares);
    EXPECT_NEAR(shares[0], 0.4f * 0.625f, 1e-6f);
    EXPECT_NEAR(shares[1], 0.6f * 0.625f, 1e-6f);
    EXPECT_NEAR(shares[2], 0.4f * 0.375f, 1e-6f);
    EXPECT_NEAR(shares[3], 0.6f * 0.375f, 1e-6f);
}

TEST(CarWeightShares, GeneralQuadrilateralsSumToOneAndReproduceTheCentre)
{
    struct Case
    {
        bzV3 mounts[4];
        bzV3 centre;
    } cases[] = {
        // Narrow front track, wide rear.
        {{V3(-0.7f, 0, 1.8f), V3(0.7f, 0, 1.8f), V3(-1.1f, 0, -2.2f), V3(1.1f, 0, -2.2f)},
         V3(0.1f, 0, -0.3f)},
        // A skewed quadrilateral.
        {{V3(-0.8f, 0, 2.3f), V3(1.2f, 0, 1.9f), V3(-1.0f, 0, -2.0f), V3(0.9f, 0, -2.4f)},
         V3(-0.2f, 0, 0.4f)},
        // Reversed wheel order in the record.
        {{V3(1, 0, -2), V3(-1, 0, -2), V3(1, 0, 2), V3(-1, 0, 2)}, V3(0.3f, 0, -1.0f)},
    };
    for (const Case &k : cases)
    {
        float shares[4];
        bz_PhysCar_WeightShares(k.mounts, &k.centre, shares);
        float sum = 0, x = 0, z = 0;
        for (int32_t i = 0; i < 4; i++)
        {
            EXPECT_GE(shares[i], 0.0f);
            sum += shares[i];
            x += shares[i] * k.mounts[i].x;
            z += shares[i] * k.mounts[i].z;
        }
        EXPECT_NEAR(sum, 1.0f, 1e-5f);
        // Bilinear weights give back the point they were taken at.
        EXPECT_NEAR(x, k.centre.x, 1e-4f);
        EXPECT_NEAR(z, k.centre.z, 1e-4f);
    }
}

TEST(CarWeightShares, DegenerateLayoutsGiveEqualShares)
{
    const bzV3 line[4] = {V3(0, 0, 2), V3(0, 0, 2), V3(0, 0, -2), V3(0, 0, -2)};
    const bzV3 nan = V3(NAN, 0, 0);
    const bzV3 centre = V3(0, 0, 0);
    float shares[4];
    bz_PhysCar_WeightShares(line, &centre, shares);
    for (float s : shares)
        EXPECT_FLOAT_EQ(s, 0.25f);
    const bzV3 mounts[4] = {V3(-1, 0, 2), V3(1, 0, 2), V3(-1, 0, -2), V3(1, 0, -2)};
    bz_PhysCar_WeightShares(mounts, &nan, shares);
    for (float s : shares)
        EXPECT_FLOAT_EQ(s, 0.25f);
}

TEST(CarSetup, SpringAndDamperRatesGiveHalfCriticalDamping)
{
    TestCar t(10.0f);
    const float M = 1250.0f, g = 10.0f, give = 0.2f / 1.7f;
    for (int32_t i = 0; i < 4; i++)
    {
        EXPECT_NEAR(t.car.weightShare[i], 0.25f, 1e-6f);
        const float k = M * g * 0.25f / give;
        EXPECT_NEAR(t.car.springRate[i], k, k * 1e-5f);
        // Damping ratio of the wheel's share of the mass on its spring.
        const float zeta = t.car.damping[i] / (2.0f * std::sqrt(k * M * 0.25f));
        EXPECT_NEAR(zeta, 0.5f, 1e-5f);
        EXPECT_NEAR(t.car.suspPrev[i], 0.2f, 1e-6f);
    }
    // Turning centre: the middle of the rear axle.
    EXPECT_NEAR(t.car.steerCentre.x, 0.0f, 1e-6f);
    EXPECT_NEAR(t.car.steerCentre.z, -2.0f, 1e-6f);
    EXPECT_NEAR(t.body.inversePrincipalMoments.y, 1.0f / t.body.principalMoments.y, 1e-9f);
    EXPECT_TRUE(t.body.parameterMask & BZ_BODY_FLOOR_VELOCITY);
}

TEST(CarSetup, ForwardSignIsFilledOnlyWhenZero)
{
    TestCar t;
    t.car.forwardSign = 0.0f;
    bz_PhysCar_Setup(&t.car);
    EXPECT_EQ(t.car.forwardSign, 1.0f); // steered wheels ahead of the centre
    for (int32_t i = 0; i < 4; i++)
        t.car.wheelPos[i].z = -t.car.wheelPos[i].z;
    t.car.forwardSign = 0.0f;
    bz_PhysCar_Setup(&t.car);
    EXPECT_EQ(t.car.forwardSign, -1.0f);
    t.car.forwardSign = 1.0f;
    bz_PhysCar_Setup(&t.car);
    EXPECT_EQ(t.car.forwardSign, 1.0f);
}

TEST(CarSetup, ZeroGiveAndMassLeaveNoNaN)
{
    TestCar t;
    for (int32_t i = 0; i < 4; i++)
        t.car.suspGive[i] = 0.0f;
    t.body.principalMoments = V3(0, 0, 0);
    bz_PhysCar_Setup(&t.car);
    for (int32_t i = 0; i < 4; i++)
    {
        EXPECT_TRUE(std::isfinite(t.car.springRate[i]));
        EXPECT_TRUE(std::isfinite(t.car.damping[i]));
    }
    EXPECT_EQ(t.body.inversePrincipalMoments.x, 0.0f);
}
} // namespace
