// Float approximations, shaping curves and small solvers.
#include "maths/Approx.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace
{
const float kPi = 3.1415927f, kHalfPi = 1.5707964f;

TEST(Approx, ArcTangentStaysWithinTheSeriesError)
{
    // The worst case is branch 3 at |x| = 1.74, where the series is taken at |y| = 0.58: its
    // first omitted term, halved, is about 3e-6.
    double worst = 0.0;
    for (int i = -300000; i <= 300000; i++)
    {
        const float x = (float)i * 0.0001f;
        worst = std::fmax(worst, std::fabs(bz_ATan(x) - std::atan((double)x)));
    }
    for (float x : {50.0f, 1e3f, 1e6f, 1e20f, -7.5f, -1e9f})
        worst = std::fmax(worst, std::fabs(bz_ATan(x) - std::atan((double)x)));
    EXPECT_LT(worst, 3e-6);
    EXPECT_EQ(bz_ATan(0.0f), 0.0f);
    EXPECT_NEAR(bz_ATan(std::numeric_limits<float>::infinity()), kHalfPi, 1e-7f);
    EXPECT_TRUE(std::isnan(bz_ATan(std::numeric_limits<float>::quiet_NaN())));
}

TEST(Approx, ArcTangentIsContinuousAcrossItsBranchPoints)
{
    struct Edge
    {
        float x;
        float ulps; // largest jump across the edge, in units of the last place of the value
    };
    // 1.74 is where branch 3 ends with the series error above (about 26 units); the others
    // join within a couple of units.
    const Edge edges[] = {{0.4142135f, 2}, {1.0f, 2}, {1.74f, 30}, {2.414f, 2}};
    for (const Edge &e : edges)
        for (float sign : {-1.0f, 1.0f})
        {
            const float x = sign * e.x;
            const float below = bz_ATan(std::nextafter(x, -10.0f));
            const float above = bz_ATan(std::nextafter(x, 10.0f));
            const float at = bz_ATan(x);
            const float ulp = std::nextafter(std::fabs(at), 10.0f) - std::fabs(at);
            EXPECT_GE(above, below) << x;
            EXPECT_LE(above - below, e.ulps * ulp) << x;
        }
    // x = 1 takes branch 3 and gives pi/4.
    EXPECT_NEAR(bz_ATan(1.0f), 0.7853982f, 1e-7f);
}

TEST(Approx, ArcTangentOfTwoArguments)
{
    struct Case
    {
        float y, x, want, tol;
    };
    const Case cases[] = {
        {0, 0, kHalfPi, 0},     // x negligible, y >= 0
        {-0.0f, 0, kHalfPi, 0}, // -0 counts as y >= 0
        {1, 0, kHalfPi, 0},
        {-1, 0, -kHalfPi, 0},
        {1e20f, 1e5f, kHalfPi, 0}, // |y| 1.42e-14 >= |x|
        {0, -1, kPi, 0},           // r = 0, x < 0
        {-0.0001f, -1, -kPi + 0.0001f, 1e-6f},
        {0.0001f, -1, kPi - 0.0001f, 1e-6f},
        {1, 1, 0.7853982f, 1e-7f},
        {-1, -1, -3 * 0.7853982f, 2e-7f},
        {1, -1, 3 * 0.7853982f, 2e-7f},
        {-2, 1, -1.1071487f, 3e-6f},
    };
    for (const Case &c : cases)
        EXPECT_NEAR(bz_ATan2(c.y, c.x), c.want, c.tol) << c.y << ", " << c.x;
}

TEST(Approx, ArcSineAndCosine)
{
    double worst = 0.0;
    for (int i = -10000; i <= 10000; i++)
    {
        const float x = (float)i * 0.0001f;
        worst = std::fmax(worst, std::fabs(bz_ASin(x) - std::asin((double)x)));
        worst = std::fmax(worst, std::fabs(bz_ACos(x) - std::acos((double)x)));
    }
    EXPECT_LT(worst, 6e-7);
    EXPECT_EQ(bz_ACos(1.0f), 0.0f);
    EXPECT_NEAR(bz_ACos(-1.0f), kPi, 1e-7f);
    // 0.5 takes the half-angle branch.
    EXPECT_NEAR(bz_ASin(0.5f), 1.5707964f - 2.0f * bz_ASinSeries(0.5f), 1.5e-7f);
    EXPECT_NEAR(bz_ASin(0.5f), 0.5235988f, 4e-7f);
    // Beyond [-1, 1] nothing is clamped: a non-finite result, not a crash.
    EXPECT_TRUE(std::isnan(bz_ASin(1.5f)));
    EXPECT_TRUE(std::isnan(bz_ACos(-1.5f)));
    EXPECT_NEAR(bz_ATanSeries(0.25f), std::atan(0.25), 2e-8);
}

TEST(Approx, QuadraticRoots)
{
    float a = -9, b = -9;
    EXPECT_EQ(bz_SolveQuadratic(&a, &b, 1, -3, 2), 1);
    EXPECT_EQ(a, 2.0f);
    EXPECT_EQ(b, 1.0f);
    // a = 0: the linear root in both outputs.
    EXPECT_EQ(bz_SolveQuadratic(&a, &b, 0, 2, -4), 1);
    EXPECT_EQ(a, 2.0f);
    EXPECT_EQ(b, 2.0f);
    EXPECT_EQ(bz_SolveQuadratic(&a, &b, 1e-8f, 2, -4), 1);
    EXPECT_EQ(a, 2.0f);
    // Nothing to solve, or no real root: 0 and the outputs untouched.
    a = b = -9;
    EXPECT_EQ(bz_SolveQuadratic(&a, &b, 0, 0, 5), 0);
    EXPECT_EQ(bz_SolveQuadratic(&a, &b, 1, 0, 1), 0);
    EXPECT_EQ(a, -9.0f);
    EXPECT_EQ(b, -9.0f);
    // A double root; and a negative leading term puts the larger root second.
    EXPECT_EQ(bz_SolveQuadratic(&a, &b, 1, -4, 4), 1);
    EXPECT_EQ(a, 2.0f);
    EXPECT_EQ(b, 2.0f);
    EXPECT_EQ(bz_SolveQuadratic(&a, &b, -1, 3, -2), 1);
    EXPECT_EQ(a, 1.0f);
    EXPECT_EQ(b, 2.0f);
}

TEST(Approx, TwoByTwoSystems)
{
    float x = -9, y = -9;
    EXPECT_EQ(bz_Solve2x2(&x, &y, 2, 1, 5, 1, -1, 1), 1);
    EXPECT_NEAR(x, 2.0f, 1e-6f);
    EXPECT_NEAR(y, 1.0f, 1e-6f);
    float only = -9;
    EXPECT_EQ(bz_Solve2x2(nullptr, &only, 2, 1, 5, 1, -1, 1), 1);
    EXPECT_NEAR(only, 1.0f, 1e-6f);
    x = y = -9;
    EXPECT_EQ(bz_Solve2x2(&x, &y, 1, 2, 3, 2, 4, 6), 0);
    EXPECT_EQ(x, -9.0f);
    EXPECT_EQ(y, -9.0f);
}

TEST(Approx, ShapingCurves)
{
    EXPECT_EQ(bz_SmoothStep(1, 3, 1), 0.0f);
    EXPECT_EQ(bz_SmoothStep(1, 3, 3), 1.0f);
    EXPECT_EQ(bz_SmoothStep(1, 3, 0), 0.0f);
    EXPECT_EQ(bz_SmoothStep(1, 3, 2), 0.5f);
    EXPECT_EQ(bz_SmoothStep(2, 2, 2), 1.0f); // no division by an empty interval
    EXPECT_NEAR(bz_Bias(0.3f, 0.5f), 0.3f, 1e-6f);
    EXPECT_NEAR(bz_Bias(0.5f, 0.37f), 0.37f, 1e-6f);
    EXPECT_NEAR(bz_Gain(0.5f, 0.2f), 0.2f, 1e-6f);
    EXPECT_NEAR(bz_Gain(0.8f, 0.5f), 0.5f, 1e-6f);
    EXPECT_NEAR(bz_Gain(0.8f, 0.25f), 0.5f * bz_Bias(0.2f, 0.5f), 1e-6f);
    EXPECT_NEAR(bz_Gamma(2.0f, 0.25f), 0.5f, 1e-6f);
    EXPECT_NEAR(bz_SineEase(0.0f), 0.0f, 1e-6f);
    EXPECT_NEAR(bz_SineEase(0.5f), 0.5f, 1e-6f);
    EXPECT_NEAR(bz_SineEase(std::nextafter(0.5f, 0.0f)), 0.5f, 1e-5f);
    EXPECT_NEAR(bz_SineEase(1.0f), 1.0f, 1e-6f);
    EXPECT_LT(bz_SineEase(0.25f), 0.25f);
    EXPECT_GT(bz_SineEase(0.75f), 0.75f);
    EXPECT_EQ(bz_FloatMod(-1, 3), 2.0f);
    EXPECT_EQ(bz_FloatMod(7, 3), 1.0f);
    EXPECT_NEAR(bz_FloatMod(-370, 360), 350.0f, 1e-4f);
}

TEST(Approx, FastPowerOfTwo)
{
    EXPECT_EQ(bz_Exp2Approx(0.0f), 1.0f);
    EXPECT_NEAR(bz_Exp2Approx(1.0f), 1.9922f, 1e-4f);
    for (int i = 0; i <= 100; i++)
    {
        const float x = (float)i * 0.01f;
        EXPECT_NEAR(bz_Exp2Approx(x), std::exp2(x), 0.01f) << x;
    }
    // Far outside [0, 1] the polynomial turns negative; the result is clamped to 0.
    EXPECT_EQ(bz_Exp2Approx(-20.0f), 0.0f);
}

TEST(Approx, CatmullRomSplines)
{
    const float k[6] = {0, 1, 4, 9, 16, 25}; // t^2 at the knots: reproduced exactly by the cubic
    EXPECT_EQ(bz_CatmullRom4(k, 0.0f), 1.0f);
    EXPECT_EQ(bz_CatmullRom4(k, 1.0f), 4.0f);
    EXPECT_NEAR(bz_CatmullRom4(k, 0.5f), 2.25f, 1e-6f);
    EXPECT_EQ(bz_CatmullRomSpline(k, 6, 0.0f), 1.0f);
    // t = 1 gives the last interior knot k[count - 2].
    EXPECT_EQ(bz_CatmullRomSpline(k, 6, 1.0f), 16.0f);
    EXPECT_EQ(bz_CatmullRomSpline(k, 6, 7.0f), 16.0f);
    EXPECT_EQ(bz_CatmullRomSpline(k, 6, -3.0f), 1.0f);
    EXPECT_NEAR(bz_CatmullRomSpline(k, 6, 0.5f), 6.25f, 1e-5f);
    EXPECT_EQ(bz_CatmullRomSpline(k, 3, 0.5f), 0.0f);
    // A NaN parameter reads the first segment, never outside the knots.
    EXPECT_EQ(bz_CatmullRomSpline(k, 6, std::numeric_limits<float>::quiet_NaN()), 1.0f);
    bz_SetSinglePrecision();
}
} // namespace
