// The packed Cholesky factorisation and solve, and the active-set force solve: checked against a
// double-precision enumeration of active sets on random mixed complementarity problems, and on
// hand-worked cases (single rows, redundant and singular rows, a box resting on a plane, the
// iteration limit and the limits of the solve).
#include "core/Memory.h"
#include "maths/Vector.h"
#include "physics/Body.h"
#include "physics/ConstraintMatrix.h"
#include "physics/ConstraintRow.h"
#include "physics/ConstraintSolver.h"
#include "physics/PhysMemory.h"
#include "physics/TreeStep.h"
#include "RawAllocFailure.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

namespace
{
int Tri(int r)
{
    return r * (r + 1) / 2;
}

// A dense symmetric matrix in double, with its packed float form.
struct Problem
{
    int n = 0;
    int nb = 0;
    std::vector<double> A; // n x n
    std::vector<double> b;
    std::vector<int> blockSizes;

    double At(int r, int c) const { return A[r * n + c]; }
    std::vector<float> Packed() const
    {
        std::vector<float> p(Tri(n));
        for (int r = 0; r < n; ++r)
            for (int c = 0; c <= r; ++c)
                p[Tri(r) + c] = static_cast<float>(At(r, c));
        return p;
    }
};

// Solves the dense system M z = rhs (size m, M and rhs overwritten) by Gaussian elimination
// with partial pivoting; false when M is singular.
bool SolveDenseInPlace(double *M, double *rhs, int m, double *z)
{
    for (int c = 0; c < m; ++c)
    {
        int p = c;
        for (int r = c + 1; r < m; ++r)
            if (std::fabs(M[r * m + c]) > std::fabs(M[p * m + c]))
                p = r;
        if (std::fabs(M[p * m + c]) < 1e-12)
            return false;
        for (int k = 0; k < m; ++k)
            std::swap(M[c * m + k], M[p * m + k]);
        std::swap(rhs[c], rhs[p]);
        for (int r = c + 1; r < m; ++r)
        {
            const double f = M[r * m + c] / M[c * m + c];
            for (int k = c; k < m; ++k)
                M[r * m + k] -= f * M[c * m + k];
            rhs[r] -= f * rhs[c];
        }
    }
    for (int r = m - 1; r >= 0; --r)
    {
        double s = rhs[r];
        for (int k = r + 1; k < m; ++k)
            s -= M[r * m + k] * z[k];
        z[r] = s / M[r * m + r];
    }
    return true;
}

bool SolveDense(std::vector<double> M, std::vector<double> rhs, int m, std::vector<double> &z)
{
    z.assign(m, 0.0);
    return SolveDenseInPlace(M.data(), rhs.data(), m, z.data());
}

// The reference: every subset of pushing rows is tried as the active set (joint rows always
// active); the one whose forces are non-negative and whose inactive rows are not violated is the
// solution, unique for a positive definite matrix. At most 16 rows.
bool OracleSolve(const Problem &p, std::vector<double> &x)
{
    constexpr int kMax = 16;
    if (p.n > kMax)
        return false;
    const int pushing = p.n - p.nb;
    int active[kMax];
    double M[kMax * kMax], rhs[kMax], z[kMax], f[kMax];
    for (uint32_t subset = 0; subset < (1u << pushing); ++subset)
    {
        int m = 0;
        for (int r = 0; r < p.nb; ++r)
            active[m++] = r;
        for (int k = 0; k < pushing; ++k)
            if (subset & (1u << k))
                active[m++] = p.nb + k;
        for (int i = 0; i < m; ++i)
        {
            rhs[i] = p.b[active[i]];
            for (int j = 0; j < m; ++j)
                M[i * m + j] = p.At(active[i], active[j]);
        }
        if (!SolveDenseInPlace(M, rhs, m, z))
            continue;
        bool ok = true;
        for (int r = 0; r < p.n; ++r)
            f[r] = 0.0;
        for (int i = 0; i < m; ++i)
        {
            f[active[i]] = z[i];
            if (active[i] >= p.nb && z[i] < -1e-9)
                ok = false;
        }
        for (int r = p.nb; r < p.n && ok; ++r)
        {
            if (subset & (1u << (r - p.nb)))
                continue;
            double a = -p.b[r];
            for (int c = 0; c < p.n; ++c)
                a += p.At(r, c) * f[c];
            ok = a >= -1e-9;
        }
        if (ok)
        {
            x.assign(f, f + p.n);
            return true;
        }
    }
    return false;
}

// A random well-conditioned problem: A = G G^T / k + 0.05 I, where the joint rows of different
// blocks use separate columns of G, so the joint part of A is block diagonal as the blocks need.
Problem RandomProblem(std::mt19937 &rng, int nb, int pushing)
{
    std::normal_distribution<double> normal(0.0, 1.0);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    Problem p;
    p.n = nb + pushing;
    p.nb = nb;
    // One or two blocks of joint rows.
    if (nb > 0)
    {
        const int first = nb > 1 && (rng() & 1) ? 1 + static_cast<int>(rng() % (nb - 1)) : nb;
        p.blockSizes.push_back(first);
        if (first < nb)
            p.blockSizes.push_back(nb - first);
    }
    const int shared = 6;
    int columns = shared;
    std::vector<int> blockColumn;
    for (int size : p.blockSizes)
    {
        blockColumn.push_back(columns);
        columns += size + 2;
    }
    std::vector<double> G(p.n * columns, 0.0);
    int row = 0;
    for (size_t k = 0; k < p.blockSizes.size(); ++k)
        for (int r = 0; r < p.blockSizes[k]; ++r, ++row)
            for (int c = 0; c < p.blockSizes[k] + 2; ++c)
                G[row * columns + blockColumn[k] + c] = normal(rng);
    for (; row < p.n; ++row)
        for (int c = 0; c < columns; ++c)
            G[row * columns + c] = normal(rng) * (c < shared ? 1.0 : 0.4);
    p.A.assign(p.n * p.n, 0.0);
    for (int r = 0; r < p.n; ++r)
        for (int c = 0; c < p.n; ++c)
        {
            double s = 0.0;
            for (int k = 0; k < columns; ++k)
                s += G[r * columns + k] * G[c * columns + k];
            p.A[r * p.n + c] = s / columns + (r == c ? 0.05 : 0.0);
        }
    p.b.resize(p.n);
    for (double &v : p.b)
        v = uniform(rng);
    return p;
}

// The factored blocks of a problem's joint rows, kept alive with their storage.
struct Blocks
{
    std::vector<std::vector<float>> factors;
    std::vector<bzPhysTreeStep> records;
    std::vector<bzPhysTreeStep *> pointers;

    explicit Blocks(const Problem &p)
    {
        int start = 0;
        for (int size : p.blockSizes)
        {
            std::vector<float> f(Tri(size));
            for (int r = 0; r < size; ++r)
                for (int c = 0; c <= r; ++c)
                    f[Tri(r) + c] = static_cast<float>(p.At(start + r, start + c));
            bz_Phys_FactorPackedMatrix(f.data(), size);
            factors.push_back(std::move(f));
            start += size;
        }
        records.resize(factors.size());
        for (size_t k = 0; k < factors.size(); ++k)
        {
            records[k] = bzPhysTreeStep{static_cast<int32_t>(p.blockSizes[k]), factors[k].data(), 0,
                                        nullptr};
            pointers.push_back(&records[k]);
        }
    }
};

struct Outcome
{
    int32_t result;
    std::vector<float> x;
    std::vector<float> b; // as the solve leaves it
    std::vector<uint8_t> inactive;
};

Outcome RunSolve(const Problem &p)
{
    Blocks blocks(p);
    std::vector<float> A = p.Packed();
    Outcome o;
    o.b.assign(p.b.begin(), p.b.end());
    o.x.assign(p.n, 12345.0f);
    o.inactive.assign(p.n, 0xee);
    int32_t inactiveCount = -1;
    o.result = bz_Phys_SolveConstraintForces(
        A.data(), o.b.data(), o.x.data(), p.n, o.inactive.data(), &inactiveCount, p.nb,
        blocks.pointers.data(), static_cast<int32_t>(blocks.pointers.size()));
    EXPECT_GE(inactiveCount, 0);
    EXPECT_LE(inactiveCount, p.n - p.nb);
    o.inactive.resize(inactiveCount < 0 ? 0 : inactiveCount);
    return o;
}

// The residual (A x)_r - b_r in double with the problem's own b.
double Residual(const Problem &p, const std::vector<float> &x, int r)
{
    double a = -p.b[r];
    for (int c = 0; c < p.n; ++c)
        a += p.At(r, c) * x[c];
    return a;
}

void ExpectFinite(const std::vector<float> &v)
{
    for (float f : v)
        ASSERT_TRUE(std::isfinite(f));
}

// Checks a solve's forces against the reference forces: joint rows met, pushing rows pushing and
// never pulled through, complementary, and each force within 0.5 % of the largest reference
// force. Gives the worst difference over that scale.
double ExpectLikeReference(const Problem &p, const std::vector<float> &x,
                           const std::vector<double> &ref, int trial)
{
    double scale = 1.0;
    for (double v : ref)
        scale = std::max(scale, std::fabs(v));
    double worst = 0.0;
    for (int r = 0; r < p.n; ++r)
    {
        const double a = Residual(p, x, r);
        if (r < p.nb)
        {
            EXPECT_NEAR(a, 0.0, 1e-3) << "trial " << trial << " joint row " << r;
        }
        else
        {
            EXPECT_GE(x[r], -1e-4) << "trial " << trial << " row " << r;
            EXPECT_GE(a, -1.001e-3) << "trial " << trial << " row " << r;
            // Complementarity: a row with force has no slack.
            if (x[r] > 1e-3)
            {
                EXPECT_NEAR(a, 0.0, 1e-3) << "trial " << trial << " row " << r;
            }
        }
        worst = std::max(worst, std::fabs(x[r] - ref[r]) / scale);
        EXPECT_NEAR(x[r], ref[r], 0.005 * scale) << "trial " << trial << " row " << r;
    }
    return worst;
}

class ConstraintSolverTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_EQ(bz_PhysMem_Reserve(), 0); }
    void TearDown() override { bz_PhysMem_Release(); }
};

// --- packed factorisation ------------------------------------------------------------------

TEST_F(ConstraintSolverTest, PackedCholeskyReproducesRandomPositiveDefiniteMatrices)
{
    std::mt19937 rng(7);
    for (int trial = 0; trial < 60; ++trial)
    {
        const int n = 1 + trial % 40;
        Problem p = RandomProblem(rng, 0, n);
        std::vector<float> L = p.Packed();
        ASSERT_EQ(bz_Phys_FactorPackedMatrix(L.data(), n), 0);
        double scale = 0.0;
        for (double v : p.A)
            scale = std::max(scale, std::fabs(v));
        for (int r = 0; r < n; ++r)
        {
            EXPECT_GT(L[Tri(r) + r], 0.0f);
            for (int c = 0; c <= r; ++c)
            {
                double s = 0.0;
                for (int k = 0; k <= c; ++k)
                    s += static_cast<double>(L[Tri(r) + k]) * L[Tri(c) + k];
                EXPECT_NEAR(s, p.At(r, c), 2e-5 * scale)
                    << "n " << n << " (" << r << ", " << c << ")";
            }
        }
        // The packed solve inverts it.
        std::vector<float> b(p.b.begin(), p.b.end()), x(n);
        bz_Phys_SolvePackedFactor(n, L.data(), b.data(), x.data());
        std::vector<double> z;
        ASSERT_TRUE(SolveDense(p.A, p.b, n, z));
        for (int r = 0; r < n; ++r)
            EXPECT_NEAR(x[r], z[r], 1e-3 * (1.0 + std::fabs(z[r]))) << "n " << n;
    }
}

TEST_F(ConstraintSolverTest, PackedCholeskyHandWorked)
{
    // [[4, 2], [2, 5]] = L L^T with L = [[2, 0], [1, 2]]; with b = (8, 9): x = (1.375, 1.25).
    float A[3] = {4.0f, 2.0f, 5.0f};
    float b[2] = {8.0f, 9.0f}, x[2];
    EXPECT_EQ(bz_Phys_FactorAndSolvePacked(A, 2, b, x), 0);
    EXPECT_FLOAT_EQ(A[0], 2.0f);
    EXPECT_FLOAT_EQ(A[1], 1.0f);
    EXPECT_FLOAT_EQ(A[2], 2.0f);
    EXPECT_FLOAT_EQ(x[0], 1.375f);
    EXPECT_FLOAT_EQ(x[1], 1.25f);
    // A zero entry leaves its factor entry 0 and the leading zeros are skipped.
    float D[6] = {4.0f, 0.0f, 9.0f, 0.0f, 3.0f, 2.0f};
    EXPECT_EQ(bz_Phys_FactorAndSolvePacked(D, 3, nullptr, nullptr), 0);
    const float expected[6] = {2.0f, 0.0f, 3.0f, 0.0f, 1.0f, 1.0f};
    for (int k = 0; k < 6; ++k)
        EXPECT_FLOAT_EQ(D[k], expected[k]) << k;
}

TEST_F(ConstraintSolverTest, DependentAndIndefiniteRowsAreRetiredWithFiniteResults)
{
    struct Case
    {
        const char *name;
        int n;
        std::vector<float> A;
        int retired;
        std::vector<float> b;
        std::vector<float> x; // expected solution
    };
    const Case cases[] = {
        // Row 1 repeats row 0: it is retired and takes no force.
        {"duplicate", 2, {1, 1, 1}, 1, {2, 2}, {2, 0}},
        // A zero pivot in the middle: the last row does not divide by it.
        {"zero middle", 3, {1, 0, 0, 0, 0, 1}, 1, {1, 5, 3}, {1, 0, 3}},
        // A negative diagonal (not positive definite): retired, no root of a negative.
        {"negative", 2, {4, 0, -1}, 1, {8, 1}, {2, 0}},
        // The third row is the sum of the first two.
        {"sum", 3, {1, 0, 1, 1, 1, 2}, 1, {1, 1, 2}, {1, 1, 0}},
        // Nothing at all.
        {"zero", 2, {0, 0, 0}, 2, {1, 1}, {0, 0}},
    };
    for (const Case &c : cases)
    {
        std::vector<float> L = c.A, x(c.n, 99.0f);
        EXPECT_EQ(bz_Phys_FactorAndSolvePacked(L.data(), c.n, c.b.data(), x.data()), c.retired)
            << c.name;
        ExpectFinite(L);
        for (int r = 0; r < c.n; ++r)
            EXPECT_NEAR(x[r], c.x[r], 1e-5) << c.name << " row " << r;
    }
}

// --- the force solve against the reference --------------------------------------------------

TEST_F(ConstraintSolverTest, AgreesWithActiveSetEnumerationOnRandomMixedProblems)
{
    std::mt19937 rng(2024);
    const auto start = std::chrono::steady_clock::now();
    int solved = 0;
    double worst = 0.0;
    for (int trial = 0; trial < 500; ++trial)
    {
        if (std::chrono::steady_clock::now() - start > std::chrono::seconds(2))
            break;
        const int nb = static_cast<int>(rng() % 7);
        const int pushing = 1 + static_cast<int>(rng() % 10);
        const Problem p = RandomProblem(rng, nb, pushing);
        std::vector<double> ref;
        ASSERT_TRUE(OracleSolve(p, ref)) << "trial " << trial;
        const Outcome o = RunSolve(p);
        ASSERT_EQ(o.result, 0) << "trial " << trial;
        ExpectFinite(o.x);
        worst = std::max(worst, ExpectLikeReference(p, o.x, ref, trial));
        // The inactive list holds exactly the pushing rows without force.
        std::vector<int> listed(p.n, 0);
        for (uint8_t r : o.inactive)
        {
            ASSERT_GE(r, p.nb);
            ASSERT_LT(r, p.n);
            listed[r]++;
            EXPECT_EQ(o.x[r], 0.0f);
        }
        for (int r = p.nb; r < p.n; ++r)
            EXPECT_LE(listed[r], 1);
        solved++;
    }
    EXPECT_GE(solved, 100);
    RecordProperty("worst_relative_difference", std::to_string(worst));
}

// Contact-like problems without joint rows: each row pushes one or two of a few bodies (J M^-1
// J^T with a small softness on the diagonal), so rows of bodies that share none have exact zeros
// in the matrix and the factor, which the solve skips. The forces must still be those of the
// enumerated active sets.
TEST_F(ConstraintSolverTest, RowsOfSeparateBodiesAgreeWithActiveSetEnumeration)
{
    std::mt19937 rng(77);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    int solved = 0, zeros = 0, offDiagonal = 0;
    for (int trial = 0; trial < 300; ++trial)
    {
        const int bodies = 3 + static_cast<int>(rng() % 4);
        Problem p;
        p.n = 6 + static_cast<int>(rng() % 9);
        p.nb = 0;
        // Row r pushes body first[r] and, unless second[r] is -1, body second[r] the other way.
        std::vector<int> first(p.n), second(p.n);
        std::vector<double> J(p.n * bodies * 6, 0.0);
        for (int r = 0; r < p.n; ++r)
        {
            first[r] = static_cast<int>(rng() % bodies);
            second[r] = rng() % 3 == 0 ? -1 : static_cast<int>(rng() % bodies);
            if (second[r] == first[r])
                second[r] = -1;
            for (int k = 0; k < 6; ++k)
            {
                J[(r * bodies + first[r]) * 6 + k] = uniform(rng);
                if (second[r] >= 0)
                    J[(r * bodies + second[r]) * 6 + k] = uniform(rng);
            }
        }
        p.A.assign(p.n * p.n, 0.0);
        for (int r = 0; r < p.n; ++r)
            for (int c = 0; c < p.n; ++c)
            {
                double sum = r == c ? 0.02 : 0.0;
                for (int k = 0; k < bodies * 6; ++k)
                    sum += J[r * bodies * 6 + k] * J[c * bodies * 6 + k];
                p.A[r * p.n + c] = sum;
                if (r != c)
                {
                    offDiagonal++;
                    zeros += sum == 0.0;
                }
            }
        p.b.resize(p.n);
        for (double &v : p.b)
            v = uniform(rng);
        std::vector<double> ref;
        ASSERT_TRUE(OracleSolve(p, ref)) << "trial " << trial;
        const Outcome o = RunSolve(p);
        ASSERT_EQ(o.result, 0) << "trial " << trial;
        ExpectFinite(o.x);
        ExpectLikeReference(p, o.x, ref, trial);
        solved++;
    }
    EXPECT_EQ(solved, 300);
    // The problems must have the zeros the solve skips.
    EXPECT_GT(zeros, offDiagonal / 5);
}

// The residuals of the pushing rows summed eight lanes at a time must give the very forces of
// four lanes at a time: the same products added in the same order in every lane. Sizes run over
// every remainder of the groups of 16, 8 and 4 rows, with and without joint rows, and each
// solve must match bit for bit: forces, retirements left in b, result and rows left inactive.
TEST_F(ConstraintSolverTest, WideLanesGiveTheSameSolvesBitForBit)
{
    if (!bz_Phys_SolverUseWideLanes(true))
        GTEST_SKIP() << "no wide lanes on this processor";
    std::mt19937 rng(4242);
    const auto start = std::chrono::steady_clock::now();
    int compared = 0, withInactive = 0;
    for (int trial = 0; trial < 400; ++trial)
    {
        if (std::chrono::steady_clock::now() - start > std::chrono::seconds(2))
            break;
        const int nb = trial % 3 == 0 ? static_cast<int>(rng() % 7) : 0;
        const int pushing = 1 + trial % BZ_SOLVER_MAX_PUSHING;
        const Problem p = RandomProblem(rng, nb, pushing);
        bz_Phys_SolverUseWideLanes(false);
        const Outcome narrow = RunSolve(p);
        bz_Phys_SolverUseWideLanes(true);
        const Outcome wide = RunSolve(p);
        SCOPED_TRACE(testing::Message() << "trial " << trial << ", " << nb << " joint rows, "
                                        << pushing << " pushing rows");
        EXPECT_EQ(wide.result, narrow.result);
        ASSERT_EQ(wide.x.size(), narrow.x.size());
        EXPECT_EQ(std::memcmp(wide.x.data(), narrow.x.data(), wide.x.size() * sizeof(float)), 0);
        EXPECT_EQ(std::memcmp(wide.b.data(), narrow.b.data(), wide.b.size() * sizeof(float)), 0);
        EXPECT_EQ(wide.inactive, narrow.inactive);
        withInactive += !narrow.inactive.empty();
        compared++;
    }
    bz_Phys_SolverUseWideLanes(true);
    EXPECT_GE(compared, 64);
    // The residuals only steer the solve while rows are left out: most solves must leave some.
    EXPECT_GT(withInactive, compared / 2);
}

// The entering-row choice against the plain rule written out here: walking the inactive list in
// order, a residual below -0.001 that is lower than the best so far (starting at 0) is taken.
// Random lists in random order, with residuals at and next to -0.001, zeros of both signs,
// NaNs, infinities and repeated values (so that the first of equal lowest residuals must win).
TEST(ConstraintSolverPick, FirstLowestResidualFollowsThePlainRule)
{
    const float limit = -0.001f;
    const float special[] = {limit,
                             std::nextafter(limit, -1.0f),
                             std::nextafter(limit, 0.0f),
                             0.0f,
                             -0.0f,
                             std::numeric_limits<float>::quiet_NaN(),
                             -std::numeric_limits<float>::infinity(),
                             std::numeric_limits<float>::infinity(),
                             -2.5f};
    std::mt19937 rng(515);
    std::uniform_real_distribution<float> u(-1.0f, 0.5f);
    int chosen = 0, tied = 0, none = 0;
    for (int trial = 0; trial < 20000; ++trial)
    {
        const int pushing = 1 + static_cast<int>(rng() % BZ_SOLVER_MAX_PUSHING);
        const int nb = static_cast<int>(rng() % 5);
        uint64_t active = (uint64_t{rng()} << 32) | rng();
        if (trial % 7 == 0)
            active = 0;
        std::vector<uint8_t> inactive;
        for (int k = 0; k < pushing; ++k)
            if (!(active >> k & 1))
                inactive.push_back(static_cast<uint8_t>(nb + k));
        std::shuffle(inactive.begin(), inactive.end(), rng);
        float residual[BZ_SOLVER_MAX_PUSHING];
        for (int k = 0; k < pushing; ++k)
        {
            const uint32_t pick = rng() % 16;
            residual[k] = pick < 9 ? special[pick] : u(rng);
            if (pick == 9 && k > 0)
                residual[k] = residual[rng() % k]; // a repeat
        }
        for (int k = pushing; k < BZ_SOLVER_MAX_PUSHING; ++k)
            residual[k] = std::numeric_limits<float>::quiet_NaN(); // never read as a residual
        int plain = -1;
        float best = 0.0f;
        int ties = 0;
        for (size_t e = 0; e < inactive.size(); ++e)
        {
            const float a = residual[inactive[e] - nb];
            if (a < limit && a < best)
            {
                best = a;
                plain = static_cast<int>(e);
                ties = 0;
            }
            else if (plain >= 0 && a == best)
                ties++;
        }
        const int32_t got = bz_Phys_SolverFirstLowestResidual(
            residual, pushing, active, inactive.data(), static_cast<int32_t>(inactive.size()), nb);
        ASSERT_EQ(got, plain) << "trial " << trial << ", " << pushing << " pushing rows";
        chosen += plain >= 0;
        tied += ties > 0;
        none += plain < 0;
    }
    // Every kind of outcome is met many times.
    EXPECT_GT(chosen, 10000);
    EXPECT_GT(tied, 500);
    EXPECT_GT(none, 500);
}

TEST_F(ConstraintSolverTest, IncrementallyUpdatedFactorMatchesAFreshFactorisation)
{
    // After a solve the frame's solver block holds the factor rows of the final active set,
    // built up row by row and refactored after every removal. Each must equal the matching row
    // of a fresh Cholesky factor of the active rows' matrix (joint rows first, then the active
    // pushing rows in position order; a position's row is found by its diagonal).
    std::mt19937 rng(31);
    int checked = 0;
    for (int trial = 0; trial < 300; ++trial)
    {
        const int nb = static_cast<int>(rng() % 4);
        const Problem p = RandomProblem(rng, nb, 2 + static_cast<int>(rng() % 9));
        const Outcome o = RunSolve(p);
        ASSERT_EQ(o.result, 0);
        const int k = p.n - nb - static_cast<int>(o.inactive.size());
        const float *dense = static_cast<const float *>(bz_PhysMem_SolverBlock1());
        std::vector<int> order;
        for (int r = 0; r < nb; ++r)
            order.push_back(r);
        std::vector<bool> inactive(p.n, false);
        for (uint8_t r : o.inactive)
            inactive[r] = true;
        for (int i = 0; i < k; ++i)
        {
            const float *row = dense + i * 152;
            double diag = 0.0;
            for (int c = 0; c <= nb + i; ++c)
                diag += static_cast<double>(row[c]) * row[c];
            int best = -1;
            for (int r = nb; r < p.n; ++r)
                if (!inactive[r] &&
                    (best < 0 || std::fabs(p.At(r, r) - diag) < std::fabs(p.At(best, best) - diag)))
                    best = r;
            order.push_back(best);
            inactive[best] = true; // taken
        }
        // The fresh factor, in double.
        const int m = static_cast<int>(order.size());
        std::vector<double> L(m * m, 0.0);
        for (int i = 0; i < m; ++i)
            for (int j = 0; j <= i; ++j)
            {
                double s = p.At(order[i], order[j]);
                for (int c = 0; c < j; ++c)
                    s -= L[i * m + c] * L[j * m + c];
                L[i * m + j] = i == j ? std::sqrt(s) : s / L[j * m + j];
            }
        for (int i = nb; i < m; ++i)
            for (int c = 0; c <= i; ++c)
                EXPECT_NEAR(dense[(i - nb) * 152 + c], L[i * m + c],
                            2e-4 * (1.0 + std::fabs(L[i * m + c])))
                    << "trial " << trial << " position " << i << " column " << c;
        checked += k > 1;
    }
    EXPECT_GT(checked, 100);
}

TEST_F(ConstraintSolverTest, DegenerateProblemsStayFiniteAndWithinTolerances)
{
    // Rank-deficient matrices (more rows than directions), duplicated rows and zero rows, with
    // right-hand sides that a non-negative combination can meet.
    std::mt19937 rng(99);
    std::normal_distribution<double> normal(0.0, 1.0);
    const auto start = std::chrono::steady_clock::now();
    int trials = 0;
    while (trials < 400 && std::chrono::steady_clock::now() - start < std::chrono::seconds(2))
    {
        trials++;
        const int pushing = 2 + static_cast<int>(rng() % 12);
        const int dims = 1 + static_cast<int>(rng() % 4);
        Problem p;
        p.n = pushing;
        std::vector<double> G(pushing * dims);
        for (double &g : G)
            g = normal(rng);
        if (rng() % 3 == 0)
            for (int d = 0; d < dims; ++d)
                G[(pushing - 1) * dims + d] = G[d]; // a duplicate of row 0
        if (rng() % 4 == 0)
            for (int d = 0; d < dims; ++d)
                G[(rng() % pushing) * dims + d] = 0.0; // a zero row
        // A velocity target v: b = G v, met exactly by forces that make G^T f = v... or any
        // feasible push; the check below is only what the solve promises.
        std::vector<double> v(dims);
        for (double &c : v)
            c = normal(rng);
        p.A.assign(pushing * pushing, 0.0);
        p.b.assign(pushing, 0.0);
        for (int r = 0; r < pushing; ++r)
        {
            for (int c = 0; c < pushing; ++c)
                for (int d = 0; d < dims; ++d)
                    p.A[r * pushing + c] += G[r * dims + d] * G[c * dims + d];
            for (int d = 0; d < dims; ++d)
                p.b[r] += G[r * dims + d] * v[d];
        }
        const Outcome o = RunSolve(p);
        ExpectFinite(o.x);
        ExpectFinite(o.b);
        EXPECT_TRUE(o.result == 0 || o.result == -1) << "trial " << trials;
        if (o.result != 0)
            continue;
        for (int r = 0; r < p.n; ++r)
        {
            EXPECT_GE(o.x[r], -1e-4) << "trial " << trials;
            // Rows retired by the solve are exempt from the residual check.
            if (o.b[r] != static_cast<float>(p.b[r]))
                continue;
            EXPECT_GE(Residual(p, o.x, r), -2e-3) << "trial " << trials << " row " << r;
        }
    }
    EXPECT_GT(trials, 50);
}

// --- hand-worked cases ----------------------------------------------------------------------

TEST_F(ConstraintSolverTest, OneRow)
{
    // x = b / A when A > 1e-6, else 0. A joint row keeps a negative force; a pushing row that
    // would pull gets none and is left inactive.
    struct Case
    {
        float a, b;
        int32_t nb;
        float x;
        int32_t inactive;
    };
    const Case cases[] = {
        {2.0f, 4.0f, 0, 2.0f, 0},  {2.0f, 4.0f, 1, 2.0f, 0},   {2.0f, -4.0f, 1, -2.0f, 0},
        {2.0f, -4.0f, 0, 0.0f, 1}, {1e-7f, 1.0f, 0, 0.0f, 0},  {0.0f, 5.0f, 1, 0.0f, 0},
        {-3.0f, 1.0f, 0, 0.0f, 0}, {2e-6f, 1e-6f, 0, 0.5f, 0},
    };
    for (const Case &c : cases)
    {
        float A = c.a, b = c.b, x = 99.0f;
        uint8_t inactive[1] = {0xee};
        int32_t count = -1;
        bzPhysTreeStep record{1, &A, 0, nullptr};
        bzPhysTreeStep *blocks[1] = {&record};
        EXPECT_EQ(
            bz_Phys_SolveConstraintForces(&A, &b, &x, 1, inactive, &count, c.nb, blocks, c.nb), 0);
        EXPECT_FLOAT_EQ(x, c.x) << c.a << " " << c.b << " " << c.nb;
        EXPECT_EQ(count, c.inactive) << c.a << " " << c.b << " " << c.nb;
        if (c.inactive)
        {
            EXPECT_EQ(inactive[0], 0);
        }
    }
}

// Runs a pushing-only solve of a packed matrix (no joint rows).
Outcome SolvePacked(std::vector<float> A, std::vector<float> b, int nb = 0,
                    std::vector<int> blockSizes = {})
{
    Problem p;
    p.n = static_cast<int>(b.size());
    p.nb = nb;
    p.blockSizes = blockSizes;
    p.A.assign(p.n * p.n, 0.0);
    for (int r = 0; r < p.n; ++r)
        for (int c = 0; c <= r; ++c)
            p.A[r * p.n + c] = p.A[c * p.n + r] = A[Tri(r) + c];
    p.b.assign(b.begin(), b.end());
    return RunSolve(p);
}

TEST_F(ConstraintSolverTest, HandWorkedSolves)
{
    struct Case
    {
        const char *name;
        std::vector<float> A; // packed
        std::vector<float> b;
        int nb;
        int32_t result;
        std::vector<float> x;
        std::vector<float> bAfter;
    };
    const Case cases[] = {
        // Two independent contacts, one pulling: it gets no force and stays inactive.
        {"one pulls", {2, 0, 4}, {2, -4}, 0, 0, {1, 0}, {2, -4}},
        // Coupled contacts: [[2,1],[1,2]] f = (3,3) gives (1,1).
        {"coupled", {2, 1, 2}, {3, 3}, 0, 0, {1, 1}, {3, 3}},
        // The first row's b is exactly 0: the last row starts; both end as they should.
        {"zero first b", {1, 0, 1, 0, 0, 1}, {0, 1, 2}, 0, 0, {0, 1, 2}, {0, 1, 2}},
        // Rows asking for less than 0.001 (here 0.0005, and 0.001 itself) never enter; the
        // rows between and after them still do.
        {"below the entering threshold",
         {1, 0, 1, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0, 1},
         {1, 0.0005f, 0.5f, 0.001f, 0.25f},
         0,
         0,
         {1, 0, 0.5f, 0, 0.25f},
         {1, 0.0005f, 0.5f, 0.001f, 0.25f}},
        // Duplicate rows wanting different speeds: the faster one carries the push.
        {"duplicate", {1, 1, 1}, {1, 2}, 0, 0, {0, 2}, {1, 2}},
        // A friction pair along +t and -t: only the side that pushes the right way carries.
        {"opposed pair", {2, -2, 2}, {3, -3}, 0, 0, {1.5f, 0}, {3, -3}},
        // A joint row that pulls keeps its negative force.
        {"joint pulls", {2, 0, 1}, {-4, 1}, 1, 0, {-2, 1}, {-4, 1}},
        // A pushing row repeating joint row 0: retired, result 0 + 1.
        {"leans on joint", {1, 1, 1}, {1, 2}, 1, 1, {1, 0}, {1, -100000.0f}},
        // Leaning on the second of two joint rows: result 2.
        {"leans on joint 1", {1, 0, 1, 0, 1, 1}, {1, 1, 3}, 2, 2, {1, 1, 0}, {1, 1, -100000.0f}},
        // Nothing but zeros: every row retired, forces 0.
        {"singular",
         {0, 0, 0, 0, 0, 0},
         {1, 1, 1},
         0,
         0,
         {0, 0, 0},
         {-100000.0f, -100000.0f, -100000.0f}},
    };
    for (const Case &c : cases)
    {
        std::vector<int> blocks;
        for (int k = 0; k < c.nb; ++k)
            blocks.push_back(1);
        const Outcome o = SolvePacked(c.A, c.b, c.nb, blocks);
        EXPECT_EQ(o.result, c.result) << c.name;
        for (size_t r = 0; r < c.x.size(); ++r)
        {
            EXPECT_NEAR(o.x[r], c.x[r], 1e-5) << c.name << " row " << r;
            EXPECT_FLOAT_EQ(o.b[r], c.bAfter[r]) << c.name << " row " << r;
        }
    }
}

TEST_F(ConstraintSolverTest, ReturningToAKnownActiveSetTakesAnotherWay)
{
    // Rank-deficient problems on which the first choice of entering or dependent row leads back
    // to an active set already tried; the remembered sets steer the solve to a solution.
    struct Case
    {
        int n;
        std::vector<float> A; // packed
        std::vector<float> b;
    };
    const Case cases[] = {
        {5,
         {0.162954365, 0.365535675, 0.936031753, -0.499664905, -1.28407194, 2.13609561, 0.120347122,
          0.315953163, -1.69772136, 4.37441637, 1.09692424, 2.8073656, -4.30465269, 2.47850076,
          8.96919353},
         {-0.139000746, -0.165790651, 0.91094785, -2.37448303, -1.33527362}},
        {8,
         {1.629245,     -0.697618348, 0.995831669, 1.99582448,  -1.68859823,  5.69950555,
          -1.05326388,  1.00709206,   -3.45608526, 2.97410732,  0.56135241,   0.164380351,
          -0.541945123, 0.651113115,  0.719473232, -2.64883044, 1.55971445,   -4.91443836,
          2.47214134,   -0.362939594, 5.30789098,  0.714256326, -0.242238355, 2.33619965,
          -3.2651416,   -0.645249219, -1.15745064, 5.30570381,  1.629245,     -0.697618348,
          1.99582448,   -1.05326388,  0.56135241,  -2.64883044, 0.714256326,  1.629245},
         {-1.98518842, 0.0524945212, -3.25604148, 3.54761684, -0.165316051, 2.9466573, -5.84901358,
          -1.98518842}},
        {5,
         {1.38912439, -2.02326064, 5.62736598, 0.163411272, -1.03159836, 0.456412942, -1.13552294,
          0.991818465, -0.431758553, 2.29943534, 0.376792567, -3.90998952, 1.04440695, 0.501216811,
          5.59869371},
         {0.97790264, -2.40636218, 0.510538634, -0.808108701, 0.821154996}},
        {6,
         {2.85920564,    0.457145882,  0.374110902, -1.08654973, -1.45198155, 5.87849863,
          0.487501203,   0.342695292,  -1.22014503, 0.528533431, 0,           0.594779711,
          -2.71906529,   0.0631177271, 2.17068553,  2.85920564,  0.197581567, -0.133089053,
          -0.0946501409, 0.252913025,  3.67211285},
         {-0.36170197, 0.554354435, -2.28470033, 0.898850908, 0.296157351, -1.59226368}},
    };
    for (const Case &c : cases)
    {
        const Outcome o = SolvePacked(c.A, c.b);
        EXPECT_EQ(o.result, 0) << "n " << c.n;
        ExpectFinite(o.x);
        for (int r = 0; r < c.n; ++r)
        {
            EXPECT_GE(o.x[r], -1e-4f) << "n " << c.n << " row " << r;
            if (o.b[r] != c.b[r])
                continue; // retired
            double a = -c.b[r];
            for (int k = 0; k < c.n; ++k)
                a += static_cast<double>(c.A[r >= k ? Tri(r) + k : Tri(k) + r]) * o.x[k];
            EXPECT_GE(a, -2e-3) << "n " << c.n << " row " << r;
        }
    }
}

TEST_F(ConstraintSolverTest, BoxOnPlaneCarriesItsWeightWithoutTurning)
{
    // A 2 kg cube of side 1 resting on four corner contacts with normal +y, each asked for a
    // speed change of 1 m/s: four rows in three directions, one of them redundant.
    BZDObject box = {};
    box.inverseMass = 0.5f;
    const float inertia = 2.0f * (1.0f + 1.0f) / 12.0f;
    box.inversePrincipalMoments = bzV3{{{1.0f / inertia, 1.0f / inertia, 1.0f / inertia}}};
    bzPhysRow rows[4] = {};
    bzPhysRow *pointers[4];
    const float corners[4][2] = {{-0.5f, -0.5f}, {0.5f, -0.5f}, {0.5f, 0.5f}, {-0.5f, 0.5f}};
    for (int k = 0; k < 4; ++k)
    {
        rows[k].bodyA = &box;
        rows[k].type = BZ_ROW_CONTACT_PULLED;
        rows[k].rA = bzV3{{{corners[k][0], -0.5f, corners[k][1]}}};
        rows[k].nA = bzV3{{{0.0f, 1.0f, 0.0f}}};
        pointers[k] = &rows[k];
    }
    float A[10];
    bz_Phys_BuildWholeMatrix(A, pointers, 4);
    float b[4] = {1, 1, 1, 1}, x[4];
    uint8_t inactive[4];
    int32_t count = 0;
    const int32_t result =
        bz_Phys_SolveConstraintForces(A, b, x, 4, inactive, &count, 0, nullptr, 0);
    EXPECT_EQ(result, 0);
    // Impulse = mass * speed change = 2, balanced about both horizontal axes.
    float total = 0.0f, momentX = 0.0f, momentZ = 0.0f;
    for (int k = 0; k < 4; ++k)
    {
        EXPECT_TRUE(std::isfinite(x[k]));
        EXPECT_GE(x[k], -1e-4f);
        total += x[k];
        momentX += x[k] * corners[k][1];
        momentZ += x[k] * corners[k][0];
    }
    EXPECT_NEAR(total, 2.0f, 1e-4f);
    EXPECT_NEAR(momentX, 0.0f, 1e-4f);
    EXPECT_NEAR(momentZ, 0.0f, 1e-4f);
}

TEST_F(ConstraintSolverTest, FiftyIterationsWithoutASolutionGiveMinusOne)
{
    // 55 independent unit rows all asking to push: one enters per iteration, so after 50 the
    // last written solution has rows 0..49 at 1 and the rest at 0.
    const int n = 55;
    std::vector<float> A(Tri(n), 0.0f), b(n, 1.0f);
    for (int r = 0; r < n; ++r)
        A[Tri(r) + r] = 1.0f;
    const Outcome o = SolvePacked(A, b);
    EXPECT_EQ(o.result, -1);
    for (int r = 0; r < n; ++r)
        EXPECT_FLOAT_EQ(o.x[r], r < 50 ? 1.0f : 0.0f) << r;
    // The same rows with 45 of them: solved.
    const Outcome fewer =
        SolvePacked(std::vector<float>(A.begin(), A.begin() + Tri(45)), std::vector<float>(45, 1));
    EXPECT_EQ(fewer.result, 0);
    for (int r = 0; r < 45; ++r)
        EXPECT_FLOAT_EQ(fewer.x[r], 1.0f);
}

TEST_F(ConstraintSolverTest, AllJointRowsNeedNoSolverBlock)
{
    bz_PhysMem_Release();
    // Two blocks of joint rows: [[4, 2], [2, 5]] and [3]; b = (8, 9, 6).
    float f1[3] = {4, 2, 5}, f2[1] = {3};
    bz_Phys_FactorPackedMatrix(f1, 2);
    bz_Phys_FactorPackedMatrix(f2, 1);
    bzPhysTreeStep r1{2, f1, 0, nullptr}, r2{1, f2, 0, nullptr};
    bzPhysTreeStep *blocks[2] = {&r1, &r2};
    const float A[6] = {4, 2, 5, 0, 0, 3};
    float b[3] = {8, 9, 6}, x[3];
    uint8_t inactive[3];
    int32_t count = -1;
    EXPECT_EQ(bz_Phys_SolveConstraintForces(A, b, x, 3, inactive, &count, 3, blocks, 2), 0);
    EXPECT_EQ(count, 0);
    EXPECT_FLOAT_EQ(x[0], 1.375f);
    EXPECT_FLOAT_EQ(x[1], 1.25f);
    EXPECT_FLOAT_EQ(x[2], 2.0f);
}

// --- limits and bad input -------------------------------------------------------------------

TEST_F(ConstraintSolverTest, LargestSetsWithinTheLimitsSolve)
{
    std::mt19937 rng(5);
    // 128 joint rows in 50 blocks (the block limit) and 24 pushing rows: 152 rows.
    Problem p = RandomProblem(rng, 0, 24);
    Problem big;
    big.nb = 128;
    big.n = 152;
    big.A.assign(152 * 152, 0.0);
    big.b.assign(152, 0.0);
    for (int k = 0; k < 50; ++k)
        big.blockSizes.push_back(k < 28 ? 3 : 2); // 28 * 3 + 22 * 2 = 128
    for (int r = 0; r < 128; ++r)
    {
        big.A[r * 152 + r] = 2.0;
        big.b[r] = std::sin(r * 0.7);
    }
    // Pairs of joint rows within a block are coupled a little.
    for (int r = 0, start = 0; r < 50; start += big.blockSizes[r], ++r)
        big.A[start * 152 + start + 1] = big.A[(start + 1) * 152 + start] = 0.5;
    for (int r = 0; r < 24; ++r)
    {
        for (int c = 0; c < 24; ++c)
            big.A[(128 + r) * 152 + 128 + c] = p.At(r, c);
        big.b[128 + r] = p.b[r];
        // Each pushing row touches a few joint rows.
        for (int j = (r * 5) % 128, k = 0; k < 3; ++k)
            big.A[(128 + r) * 152 + j + k] = big.A[(j + k) * 152 + 128 + r] = 0.05 * (k + 1);
    }
    const Outcome o = RunSolve(big);
    EXPECT_EQ(o.result, 0);
    ExpectFinite(o.x);
    for (int r = 0; r < 152; ++r)
    {
        const double a = Residual(big, o.x, r);
        if (r < 128)
        {
            EXPECT_NEAR(a, 0.0, 1e-3) << r;
        }
        else
        {
            EXPECT_GE(o.x[r], -1e-4) << r;
            EXPECT_GE(a, -1.001e-3) << r;
        }
    }
}

TEST_F(ConstraintSolverTest, SixtyFourPushingRowsUseTheWholeMask)
{
    // 64 unit rows (bit 63 of the mask in use), each asking to push: the iteration limit ends it.
    const int n = 64;
    std::vector<float> A(Tri(n), 0.0f), b(n, 1.0f);
    for (int r = 0; r < n; ++r)
        A[Tri(r) + r] = 1.0f;
    // Row 63 starts (row 0's b is 0) so bit 63 is set from the first iteration.
    b[0] = 0.0f;
    const Outcome o = SolvePacked(A, b);
    EXPECT_EQ(o.result, -1);
    ExpectFinite(o.x);
    EXPECT_FLOAT_EQ(o.x[63], 1.0f);
    EXPECT_FLOAT_EQ(o.x[0], 0.0f);
}

TEST_F(ConstraintSolverTest, CallsOutsideTheLimitsAreRefused)
{
    struct Case
    {
        const char *name;
        int n, nb, blocks, blockRows;
    };
    const Case cases[] = {
        {"65 pushing rows", 65, 0, 0, 0},
        {"51 blocks", 53, 51, 51, 1},
        {"blocks short of the joint rows", 6, 3, 1, 2},
        {"more than 256 rows", 257, 200, 50, 4},
    };
    for (const Case &c : cases)
    {
        std::vector<float> A(Tri(c.n), 0.0f), b(c.n, 1.0f), x(c.n, 99.0f);
        for (int r = 0; r < c.n; ++r)
            A[Tri(r) + r] = 1.0f;
        std::vector<float> one(Tri(c.blockRows > 0 ? c.blockRows : 1), 1.0f);
        std::vector<bzPhysTreeStep> records(c.blocks,
                                            bzPhysTreeStep{c.blockRows, one.data(), 0, nullptr});
        std::vector<bzPhysTreeStep *> pointers;
        for (auto &r : records)
            pointers.push_back(&r);
        std::vector<uint8_t> inactive(c.n);
        int32_t count = -1;
        EXPECT_EQ(bz_Phys_SolveConstraintForces(A.data(), b.data(), x.data(), c.n, inactive.data(),
                                                &count, c.nb, pointers.data(), c.blocks),
                  -1)
            << c.name;
        for (float v : x)
            EXPECT_EQ(v, 0.0f) << c.name;
    }
}

TEST_F(ConstraintSolverTest, WithoutTheSolverBlockPushingRowsAreRefused)
{
    bz_PhysMem_Release();
    const float A[3] = {1, 0, 1};
    float b[2] = {1, 1}, x[2] = {5, 5};
    uint8_t inactive[2];
    int32_t count = -1;
    EXPECT_EQ(bz_Phys_SolveConstraintForces(A, b, x, 2, inactive, &count, 0, nullptr, 0), -1);
    EXPECT_EQ(x[0], 0.0f);
    EXPECT_EQ(x[1], 0.0f);
    EXPECT_EQ(count, 2);
}

TEST_F(ConstraintSolverTest, SolvesTakeNoMemory)
{
    std::mt19937 rng(3);
    std::vector<Problem> problems;
    std::vector<std::vector<float>> packed;
    for (int k = 0; k < 20; ++k)
    {
        problems.push_back(RandomProblem(rng, 0, 1 + k % 10));
        packed.push_back(problems.back().Packed());
    }
    std::vector<float> b(16), x(16);
    std::vector<uint8_t> inactive(16);
    bzMemStats before, after;
    bz_Mem_GetStats(&before);
    RawAllocFailure failing;
    int32_t results = 0;
    for (size_t k = 0; k < problems.size(); ++k)
    {
        const Problem &p = problems[k];
        for (int r = 0; r < p.n; ++r)
            b[r] = static_cast<float>(p.b[r]);
        int32_t count = 0;
        results |= bz_Phys_SolveConstraintForces(packed[k].data(), b.data(), x.data(), p.n,
                                                 inactive.data(), &count, 0, nullptr, 0);
    }
    failing.Restore();
    bz_Mem_GetStats(&after);
    EXPECT_EQ(results, 0);
    EXPECT_EQ(after.blockCount, before.blockCount);
    EXPECT_EQ(after.bytesInUse, before.bytesInUse);
}
} // namespace

// Small systems captured from a pile of boxes: a box's four floor corners lie in one plane, so
// the last of them to come in is a combination of the active rows, with other contacts of the
// pile around them. The solve must still end with every row complementary.
TEST_F(ConstraintSolverTest, DependentCornerRowsOfAPileAreSolvedWithoutCycling)
{
    struct Captured
    {
        int32_t n;
        std::vector<float> A; // packed
        std::vector<float> b;
    };
    const std::vector<float> a8 = {
        3.98382592f,   0.989839733f, 3.99582648f,  0.994052649f, -1.99997365f,  4.0042119f,
        -1.99993336f,  1.00601268f,  1.01018631f,  4.01613235f,  0.550278008f,  -1.84014153f,
        -0.166304246f, -2.55672359f, 6.03867149f,  -3.9595623f,  -0.951195419f, -1.03213131f,
        1.97623563f,   -1.07027507f, 5.9705677f,   -1.26255298f, -3.65872049f,  1.66461933f,
        -0.731547773f, 3.78383493f,  1.09081399f,  5.95471478f,  -3.95814443f,  -0.951096416f,
        -1.03221178f,  1.97483659f,  -1.07089078f, 5.96979332f,  1.09019804f,   5.96902084f};
    const std::vector<float> b8 = {0.442518204f,    0.43594557f,    0.411776394f,   0.394103169f,
                                   -0.00811649486f, -0.0723014027f, -0.0425354354f, -0.0723005831f};
    const std::vector<float> a17 = {
        3.99927855f,   0.999422252f,  3.99956679f,  0.999857068f,  -1.99999893f,   4.00043154f,
        -1.99999905f,  1.00014508f,   1.0005753f,   4.00071955f,   -1.04699779f,   -3.94988847f,
        1.95133829f,   -0.951552391f, 5.94724369f,  1.65303195f,   -1.24957049f,   -0.750012338f,
        -3.65261507f,  1.07168746f,   5.93143082f,  -1.04695129f,  -3.94997191f,   1.951419f,
        -0.951601684f, 5.94728661f,   1.07174647f,  5.94732952f,   -0.130406961f,  0.584053218f,
        -2.58347988f,  -1.86901999f,  -1.12092566f, 3.82880354f,   -1.12085772f,   6.08901501f,
        0.0f,          0.0f,          0.0f,         0.0f,          0.749378145f,   0.742047966f,
        0.749370694f,  0.531068504f,  3.46252036f,  0.0f,          0.0f,           0.0f,
        0.0f,          0.0f,          0.0f,         0.0f,          0.0f,           -1.75911021f,
        3.93271589f,   0.0f,          0.0f,         0.0f,          0.0f,           0.0f,
        0.0f,          0.0f,          0.0f,         -1.69242311f,  0.958622873f,   3.98409867f,
        0.0f,          0.0f,          0.0f,         0.0f,          0.0f,           0.0f,
        0.0f,          0.0f,          0.307500303f, 0.97523576f,   -1.99956012f,   4.01660156f,
        0.0f,          0.0f,          0.0f,         0.0f,          0.0f,           0.0f,
        0.0f,          0.0f,          0.37418741f,  -1.99885714f,  1.02591503f,    1.04180574f,
        4.06657743f,   0.0f,          0.0f,         0.0f,          0.0f,           0.0f,
        0.0f,          0.0f,          0.0f,         1.72767508f,   -0.997490227f,  -3.98213959f,
        1.99871123f,   -0.985938489f, 6.08490086f,  0.0f,          0.0f,           0.0f,
        0.0f,          0.0f,          0.0f,         0.0f,          0.0f,           0.510270655f,
        0.73684001f,   -2.24659657f,  0.214355335f, -2.76908088f,  4.00938034f,    6.06803322f,
        0.0f,          0.0f,          0.0f,         0.0f,          0.0f,           0.0f,
        0.0f,          0.0f,          1.72787917f,  -0.997288823f, -3.98229265f,   1.99886119f,
        -0.986142337f, 6.08495045f,   4.00940323f,  6.08500099f,   0.0f,           0.0f,
        0.0f,          0.0f,          0.0f,         0.0f,          0.0f,           0.0f,
        0.52872026f,   -1.96275032f,  0.543815374f, -2.53026819f,  -0.0237029791f, -1.05124283f,
        1.05747139f,   -1.05130315f,  6.10111809f};
    const std::vector<float> b17 = {
        0.400682926f,  0.400232524f,  0.398881078f,  0.398430705f,  0.0577562079f, 0.0225138664f,
        0.0323667303f, 0.0f,          0.0547684506f, 0.435551494f,  0.387334138f,  0.390179187f,
        0.268887222f,  0.0908387825f, 0.111658476f,  0.0636559948f, 0.00147232169f};
    const Captured cases[] = {{8, a8, b8}, {17, a17, b17}};
    for (const Captured &c : cases)
    {
        SCOPED_TRACE(c.n);
        std::vector<float> b = c.b, x(c.n, 12345.0f);
        std::vector<uint8_t> inactive(c.n, 0xee);
        int32_t count = -1;
        const int32_t result = bz_Phys_SolveConstraintForces(
            c.A.data(), b.data(), x.data(), c.n, inactive.data(), &count, 0, nullptr, 0);
        EXPECT_EQ(result, 0);
        for (int32_t r = 0; r < c.n; ++r)
        {
            // Residual with the captured b, in double.
            double a = -c.b[r];
            for (int32_t k = 0; k < c.n; ++k)
                a += double(r >= k ? c.A[r * (r + 1) / 2 + k] : c.A[k * (k + 1) / 2 + r]) * x[k];
            EXPECT_GE(x[r], -1e-4f) << "row " << r;
            EXPECT_GE(a, -1e-3) << "row " << r;
            if (x[r] > 1e-4f)
            {
                EXPECT_NEAR(a, 0.0, 1e-3) << "row " << r;
            }
        }
    }
}
