// The times the swept tests look at, on hand-worked polynomials: the point-axis quartic's
// coefficients, the entering roots picked from a quartic's roots, and the crossing times of an
// edge's side.
#include "PairTestShapes.h"
#include "collision/SweptRoots.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{
using pairtest::V;

// The point (1, 2, 0) against the axis from the origin along (2, 0, 0), moving by (0, 1, 0), of
// radius 1 growing by g over the step: d - t V = (1, 2 - t, 0), |E|^2 = 4 and (d - t V) . E = 2,
// so q(t) = 4 (1 + (2 - t)^2 - (1 + g t)^2) - 4.
TEST(SweptRoots, PointAxisQuarticOfAnAxisComingCloser)
{
    const bzV3 d = V(1, 2, 0), v = V(0, 1, 0), e = V(2, 0, 0), w = V(0, 0, 0);
    struct Case
    {
        float growth;
        float k[5];
    };
    // R = 1. g = 0: q = 4 (2 - t)^2 - 4 = 4 t^2 - 16 t + 12 (roots 1 and 3).
    // g = 0.5: q = 4 ((2 - t)^2 + 1 - (1 + 0.5 t)^2) - 4 = 3 t^2 - 20 t + 12.
    const Case cases[] = {{0.0f, {0, 0, 4, -16, 12}}, {0.5f, {0, 0, 3, -20, 12}}};
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.growth);
        float k[5];
        bz_PointAxisQuartic(d, v, e, w, 1.0f, c.growth, k);
        for (int i = 0; i < 5; i++)
            EXPECT_NEAR(k[i], c.k[i], 1e-5f) << i;
    }
    // The axis turning as well, E(t) = (2, 0, 2t), against q(t) evaluated directly in double.
    const bzV3 turn = V(0, 0, 2);
    float k[5];
    bz_PointAxisQuartic(d, v, e, turn, 1.0f, 0.25f, k);
    for (double t = 0.0; t <= 1.0; t += 0.125)
    {
        const double dx = 1.0, dy = 2.0 - t, dz = 0.0;
        const double ex = 2.0, ey = 0.0, ez = 2.0 * t;
        const double r = 1.0 + 0.25 * t;
        const double de = dx * ex + dy * ey + dz * ez;
        const double want =
            (dx * dx + dy * dy + dz * dz - r * r) * (ex * ex + ey * ey + ez * ez) - de * de;
        const double got = (((k[0] * t + k[1]) * t + k[2]) * t + k[3]) * t + k[4];
        EXPECT_NEAR(got, want, 1e-4) << t;
    }
}

TEST(SweptRoots, EnteringRootsAreTheEvenOnesOrTheSecondWhenStartingWithin)
{
    const float roots[4] = {0.1f, 0.3f, 0.6f, 0.9f};
    float picked[4] = {};
    ASSERT_EQ(bz_EnteringRoots(roots, 4, false, picked), 2);
    EXPECT_EQ(picked[0], 0.1f);
    EXPECT_EQ(picked[1], 0.6f);
    ASSERT_EQ(bz_EnteringRoots(roots, 3, false, picked), 2);
    EXPECT_EQ(picked[1], 0.6f);
    ASSERT_EQ(bz_EnteringRoots(roots, 4, true, picked), 1);
    EXPECT_EQ(picked[0], 0.3f);
    EXPECT_EQ(bz_EnteringRoots(roots, 1, true, picked), 0);
    EXPECT_EQ(bz_EnteringRoots(roots, 0, false, picked), 0);
}

TEST(SweptRoots, EdgeCrossingTimesInTheStep)
{
    struct Case
    {
        const char *name;
        float a, b, c;
        std::vector<float> times;
    };
    const Case cases[] = {
        {"linear, half way", 0, -2, 1, {0.5f}},
        {"two crossings", 1, -1, 0.1875f, {0.25f, 0.75f}}, // (t - 0.25)(t - 0.75)
        {"two crossings, turned sign", -1, 1, -0.1875f, {0.25f, 0.75f}},
        {"a double root once", 1, -1, 0.25f, {0.5f}},  // (t - 0.5)^2
        {"at the end of the step", 1, -5, 4, {1.0f}},  // (t - 1)(t - 4)
        {"nearly linear", 0.001f, -2, 1, {0.500125f}}, // (2 - sqrt(3.996)) / 0.002
        {"keeps its sign", 0, 1, 1, {}},
        {"no real roots", 1, 0, 0.5f, {}},
        {"both roots past the step", 1, -5, 6, {}}, // (t - 2)(t - 3)
        {"constant", 0, 0, 0, {}},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.name);
        float times[2] = {-1.0f, -1.0f};
        const int32_t n = bz_EdgeCrossingTimes(c.a, c.b, c.c, times);
        ASSERT_EQ(n, static_cast<int32_t>(c.times.size()));
        for (int32_t i = 0; i < n; i++)
            EXPECT_NEAR(times[i], c.times[static_cast<size_t>(i)], 1e-5f) << i;
    }
}
} // namespace
