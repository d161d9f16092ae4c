// Roots of cubics and quartics on [0, 1] against polynomials built from known roots, exact
// zeros at the breakpoints and the bracket of the refiners.
#include "collision/UnitRoots.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <random>
#include <vector>

namespace
{
// Coefficients, highest power first, of s (t - r0)(t - r1)... in double.
std::vector<double> FromRoots(const std::vector<double> &roots, double s)
{
    std::vector<double> p = {s};
    for (double r : roots)
    {
        std::vector<double> q(p.size() + 1, 0.0);
        for (size_t i = 0; i < p.size(); i++)
        {
            q[i] += p[i];
            q[i + 1] -= r * p[i];
        }
        p = q;
    }
    return p;
}

double Eval(const std::vector<float> &p, double t)
{
    double v = 0;
    for (float c : p)
        v = v * t + c;
    return v;
}

// The roots in [0, 1] of the float polynomial by sign changes on a fine grid, then bisection
// in double. Only usable when the roots are simple and well apart; the caller checks that.
std::vector<double> DoubleOracle(const std::vector<float> &p)
{
    std::vector<double> roots;
    const int steps = 400;
    double prev = Eval(p, 0.0);
    for (int i = 1; i <= steps; i++)
    {
        const double t1 = double(i) / steps;
        const double v = Eval(p, t1);
        if ((prev < 0) != (v < 0))
        {
            double lo = double(i - 1) / steps, hi = t1;
            for (int k = 0; k < 50; k++)
            {
                const double mid = 0.5 * (lo + hi);
                if ((Eval(p, lo) < 0) == (Eval(p, mid) < 0))
                    lo = mid;
                else
                    hi = mid;
            }
            roots.push_back(0.5 * (lo + hi));
        }
        prev = v;
    }
    return roots;
}

int32_t Solve(const std::vector<float> &p, float *out)
{
    if (p.size() == 5)
        return bz_QuarticRootsInUnit(p[0], p[1], p[2], p[3], p[4], out);
    return bz_CubicRootsInUnit(p[0], p[1], p[2], p[3], out);
}

TEST(UnitRoots, RandomPolynomialsFromKnownRoots)
{
    std::mt19937 rng(3130);
    std::uniform_real_distribution<double> rootDist(-0.6, 1.6);
    std::uniform_real_distribution<double> scaleDist(0.2, 20.0);
    const auto startTime = std::chrono::steady_clock::now();
    int compared = 0, rootsSeen = 0;
    for (int n = 0; n < 8000; n++)
    {
        const int degree = n % 2 ? 4 : 3;
        std::vector<double> roots;
        for (int i = 0; i < degree; i++)
            roots.push_back(rootDist(rng));
        std::sort(roots.begin(), roots.end());
        // Well-separated simple roots away from the ends, so the oracle's count is sure.
        bool apart = true;
        for (int i = 0; i < degree; i++)
        {
            apart = apart && std::fabs(roots[i]) > 0.01 && std::fabs(roots[i] - 1) > 0.01;
            if (i > 0)
                apart = apart && roots[i] - roots[i - 1] > 0.05;
        }
        if (!apart)
            continue;
        const double s = (n % 3 ? 1.0 : -1.0) * scaleDist(rng);
        const std::vector<double> coeffs = FromRoots(roots, s);
        std::vector<float> p(coeffs.begin(), coeffs.end());
        const std::vector<double> want = DoubleOracle(p);
        // Single precision cannot place a root closer than its rounding of the values allows:
        // about the coefficients' size times 2^-23 over the slope. Such cases are left out.
        double size = 0;
        for (float c : p)
            size += std::fabs(c);
        bool conditioned = true;
        for (double r : want)
        {
            const double slope = (Eval(p, r + 1e-6) - Eval(p, r - 1e-6)) / 2e-6;
            conditioned = conditioned && size * 3e-7 / std::fabs(slope) < 2e-5;
        }
        if (!conditioned)
            continue;
        float out[4] = {-7, -7, -7, -7};
        const int32_t count = Solve(p, out);
        ASSERT_EQ(count, int32_t(want.size())) << "case " << n;
        for (int i = 0; i < count; i++)
        {
            EXPECT_NEAR(out[i], want[i], 1e-4) << "case " << n << " root " << i;
            EXPECT_GE(out[i], 0.0f);
            EXPECT_LE(out[i], 1.0f);
            if (i > 0)
            {
                EXPECT_LE(out[i - 1], out[i]);
            }
        }
        compared++;
        rootsSeen += count;
    }
    EXPECT_GT(compared, 1000);
    EXPECT_GT(rootsSeen, 1000);
    EXPECT_LT(std::chrono::steady_clock::now() - startTime, std::chrono::seconds(3));
}

TEST(UnitRoots, ExactZerosAtTheBreakpoints)
{
    struct Case
    {
        const char *name;
        std::vector<float> p;
        std::vector<float> roots;
    } cases[] = {
        // t (t - 0.5)(t - 2)(t + 1): zero at 0, reported once.
        {"quartic zero at 0", {1, -1.5f, -1.5f, 1, 0}, {0.0f, 0.5f}},
        // (t - 1)(t + 1)(t - 3)(t + 3) = t^4 - 10 t^2 + 9: zero at 1.
        {"quartic zero at 1", {1, 0, -10, 0, 9}, {1.0f}},
        // (t - 0.5)^4: the root is also a root of the derivative, reported once.
        {"quartic quadruple root", {1, -2, 1.5f, -0.5f, 0.0625f}, {0.5f}},
        // (t - 0.5)^3: a triple root, also a root of the derivative.
        {"cubic triple root", {1, -1.5f, 0.75f, -0.125f}, {0.5f}},
        // t^2 (t - 0.5): zero at 0 and a double root there.
        {"cubic zero at 0", {1, -0.5f, 0, 0}, {0.0f, 0.5f}},
        // (t - 1)(t - 2)(t - 3): zero at 1 only.
        {"cubic zero at 1", {1, -6, 11, -6}, {1.0f}},
        {"no root", {1, 0, 0, 0, 1}, {}},
    };
    for (const Case &c : cases)
    {
        float out[4] = {-7, -7, -7, -7};
        const int32_t count = Solve(c.p, out);
        ASSERT_EQ(count, int32_t(c.roots.size())) << c.name;
        for (size_t i = 0; i < c.roots.size(); i++)
        {
            EXPECT_NEAR(out[i], c.roots[i], 1e-5f) << c.name;
        }
    }
}

TEST(UnitRoots, RefinersStayInsideTheBracket)
{
    std::mt19937 rng(3131);
    std::uniform_real_distribution<float> coef(-10.0f, 10.0f);
    std::uniform_real_distribution<float> pos(0.0f, 1.0f);
    int brackets = 0;
    for (int n = 0; n < 20000; n++)
    {
        const float a = coef(rng), b = coef(rng), c = coef(rng), d = coef(rng), e = coef(rng);
        float lo = pos(rng), hi = pos(rng);
        if (lo > hi)
            std::swap(lo, hi);
        const auto q = [&](float t) { return (((a * t + b) * t + c) * t + d) * t + e; };
        const auto k = [&](float t) { return ((a * t + b) * t + c) * t + d; };
        if (q(lo) * q(hi) < 0)
        {
            const float x = bz_RefineQuarticRoot(a, b, c, d, e, lo, hi, q(lo), q(hi));
            EXPECT_GE(x, lo);
            EXPECT_LE(x, hi);
            brackets++;
        }
        if (k(lo) * k(hi) < 0)
        {
            const float x = bz_RefineCubicRoot(a, b, c, d, lo, hi, k(lo), k(hi));
            EXPECT_GE(x, lo);
            EXPECT_LE(x, hi);
            // A simple root inside: the value there is small against the coefficients.
            EXPECT_LT(std::fabs(k(x)),
                      1e-3f * (std::fabs(a) + std::fabs(b) + std::fabs(c) + std::fabs(d)) +
                          1e-2f * std::fabs(k(lo) - k(hi)))
                << n;
            brackets++;
        }
    }
    EXPECT_GT(brackets, 1000);
}

TEST(UnitRoots, NotANumberEndsWithoutHanging)
{
    float out[4];
    const int32_t count = bz_QuarticRootsInUnit(NAN, 1, 1, 1, -1, out);
    EXPECT_LE(count, 4);
    const float x = bz_RefineCubicRoot(NAN, 0, 1, -0.5f, 0, 1, -0.5f, 0.5f);
    (void)x;
    const int32_t cubic = bz_CubicRootsInUnit(1, INFINITY, 0, -1, out);
    EXPECT_LE(cubic, 3);
}
} // namespace
