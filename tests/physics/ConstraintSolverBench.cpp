// Cost of the constraint force solve for 10, 40 and 152 rows (a quarter to five sixths of them
// joint rows in factored blocks, the rest pushing rows), against a dense projected Gauss-Seidel
// peer in double run on the same problems until it meets the same tolerances. The active-set
// solve is timed with its joint blocks already factored (as a step reuses them) and with the
// blocks factored afresh each time. Built as bench_physics; not run by the tests.
//
// Growth: the solve adds one row per iteration and each added row costs one factor row
// (O(active^2)), so the whole solve grows with the square of the rows for a fixed share of
// active rows; the joint blocks add their factorisation, O(block^3) each, when not reused.
// Measured (Release, shared 8-core machine, CPU time): 10 rows 0.79 us, 40 rows 13.7 us, 152
// rows (128 of them joint rows) 76 us; the Gauss-Seidel peer 1.9, 48 and 337 us, so 2.4, 3.5
// and 4.4 times slower. From 40 to 152 rows the time grows about 5.5 times: the active pushing
// rows stay near a dozen and the cost is their factor rows across the joint columns.
#include "physics/ConstraintSolver.h"
#include "physics/PhysMemory.h"
#include "physics/TreeStep.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

namespace
{
int Tri(int r)
{
    return r * (r + 1) / 2;
}

struct Problem
{
    int n, nb;
    std::vector<int> blocks;
    std::vector<double> A; // dense
    std::vector<double> b;
    std::vector<float> packed;
};

// A positive definite problem whose joint rows form blocks of separate columns.
Problem MakeProblem(int n)
{
    Problem p;
    p.n = n;
    const int blockSize = n >= 40 ? (n >= 152 ? 16 : 8) : 4;
    const int blockCount = n >= 152 ? 8 : (n >= 40 ? 2 : 1);
    p.nb = blockSize * blockCount;
    p.blocks.assign(blockCount, blockSize);
    std::mt19937 rng(42);
    std::normal_distribution<double> normal(0.0, 1.0);
    const int shared = 12;
    const int columns = shared + blockCount * (blockSize + 2);
    std::vector<double> G(n * columns, 0.0);
    for (int r = 0; r < p.nb; ++r)
    {
        const int block = r / blockSize;
        for (int c = 0; c < blockSize + 2; ++c)
            G[r * columns + shared + block * (blockSize + 2) + c] = normal(rng);
    }
    for (int r = p.nb; r < n; ++r)
        for (int c = 0; c < columns; ++c)
            G[r * columns + c] = normal(rng) * (c < shared ? 1.0 : 0.3);
    p.A.assign(n * n, 0.0);
    for (int r = 0; r < n; ++r)
        for (int c = 0; c < n; ++c)
        {
            double s = 0.0;
            for (int k = 0; k < columns; ++k)
                s += G[r * columns + k] * G[c * columns + k];
            p.A[r * n + c] = s / columns + (r == c ? 0.05 : 0.0);
        }
    p.b.resize(n);
    for (double &v : p.b)
        v = normal(rng);
    p.packed.resize(Tri(n));
    for (int r = 0; r < n; ++r)
        for (int c = 0; c <= r; ++c)
            p.packed[Tri(r) + c] = static_cast<float>(p.A[r * n + c]);
    return p;
}

// The packed joint blocks of a problem, unfactored.
std::vector<std::vector<float>> BlockMatrices(const Problem &p)
{
    std::vector<std::vector<float>> out;
    int start = 0;
    for (int size : p.blocks)
    {
        std::vector<float> m(Tri(size));
        for (int r = 0; r < size; ++r)
            for (int c = 0; c <= r; ++c)
                m[Tri(r) + c] = static_cast<float>(p.A[(start + r) * p.n + start + c]);
        out.push_back(std::move(m));
        start += size;
    }
    return out;
}

void ActiveSet(benchmark::State &state, bool factorBlocks)
{
    const Problem p = MakeProblem(static_cast<int>(state.range(0)));
    if (bz_PhysMem_Reserve() != 0)
    {
        state.SkipWithError("no physics memory");
        return;
    }
    const std::vector<std::vector<float>> pristine = BlockMatrices(p);
    std::vector<std::vector<float>> factors = pristine;
    std::vector<bzPhysTreeStep> records(factors.size());
    std::vector<bzPhysTreeStep *> pointers;
    for (size_t k = 0; k < factors.size(); ++k)
    {
        bz_Phys_FactorPackedMatrix(factors[k].data(), p.blocks[k]);
        records[k] = bzPhysTreeStep{p.blocks[k], factors[k].data(), 0, nullptr};
        pointers.push_back(&records[k]);
    }
    std::vector<float> b(p.n), x(p.n);
    std::vector<uint8_t> inactive(p.n);
    int32_t count = 0, result = 0;
    for (auto _ : state)
    {
        if (factorBlocks)
            for (size_t k = 0; k < factors.size(); ++k)
            {
                factors[k] = pristine[k];
                bz_Phys_FactorPackedMatrix(factors[k].data(), p.blocks[k]);
            }
        for (int r = 0; r < p.n; ++r)
            b[r] = static_cast<float>(p.b[r]);
        result = bz_Phys_SolveConstraintForces(p.packed.data(), b.data(), x.data(), p.n,
                                               inactive.data(), &count, p.nb, pointers.data(),
                                               static_cast<int32_t>(pointers.size()));
        benchmark::DoNotOptimize(x.data());
    }
    bz_PhysMem_Release();
    state.counters["active_pushing"] = p.n - p.nb - count;
    state.counters["result"] = result;
}

// Projected Gauss-Seidel in double until every joint row is met to 1e-4 and every pushing row
// has f >= 0 with a residual of at least -1e-3 and no slack under force above 1e-3.
void GaussSeidelPeer(benchmark::State &state)
{
    const Problem p = MakeProblem(static_cast<int>(state.range(0)));
    std::vector<double> f(p.n);
    int sweeps = 0;
    for (auto _ : state)
    {
        std::fill(f.begin(), f.end(), 0.0);
        for (sweeps = 0; sweeps < 50000; ++sweeps)
        {
            for (int r = 0; r < p.n; ++r)
            {
                double a = -p.b[r];
                for (int c = 0; c < p.n; ++c)
                    a += p.A[r * p.n + c] * f[c];
                f[r] -= a / p.A[r * p.n + r];
                if (r >= p.nb && f[r] < 0.0)
                    f[r] = 0.0;
            }
            double worst = 0.0;
            for (int r = 0; r < p.n; ++r)
            {
                double a = -p.b[r];
                for (int c = 0; c < p.n; ++c)
                    a += p.A[r * p.n + c] * f[c];
                if (r < p.nb)
                    worst = std::max(worst, std::fabs(a) * 10.0);
                else
                    worst = std::max(worst, f[r] > 1e-3 ? std::fabs(a) : -a);
            }
            if (worst < 1e-3)
                break;
        }
        benchmark::DoNotOptimize(f.data());
    }
    state.counters["sweeps"] = sweeps;
}

void BM_ActiveSetSolve(benchmark::State &state)
{
    ActiveSet(state, false);
}
void BM_ActiveSetSolveWithBlockFactor(benchmark::State &state)
{
    ActiveSet(state, true);
}
void BM_DenseGaussSeidelPeer(benchmark::State &state)
{
    GaussSeidelPeer(state);
}
} // namespace

BENCHMARK(BM_ActiveSetSolve)->Arg(10)->Arg(40)->Arg(152);
BENCHMARK(BM_ActiveSetSolveWithBlockFactor)->Arg(10)->Arg(40)->Arg(152);
BENCHMARK(BM_DenseGaussSeidelPeer)->Arg(10)->Arg(40)->Arg(152);
