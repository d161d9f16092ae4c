// The navigation mesh builder on a floor of 60 x 60 cells (7,200 faces, one lump per row, the
// rows at varying heights): the whole build, whose neighbour search sweeps the edges in order of
// x, against the brute-force pairing of every edge with every other under the same neighbour
// test (the part of the build the sweep replaces). Built as bench_scene; not run by the tests.
#include "NavMeshTestSupport.h"

#include "scene/Lump.h"
#include "scene/NavMesh.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

namespace
{
constexpr int kCells = 60;

struct Bench : NavTestWorld
{
    std::vector<bzV3> corners; // three per face

    Bench()
    {
        for (int z = 0; z < kCells; z++)
        {
            std::vector<bzV3> row;
            const float h = (float)(z % 4) * 0.3f;
            for (int x = 0; x < kCells; x++)
            {
                const float x0 = (float)x, z0 = (float)z;
                for (bzV3 v : {bzV3{{{x0, h, z0}}}, bzV3{{{x0 + 1, h, z0}}},
                               bzV3{{{x0, h, z0 + 1}}}, bzV3{{{x0 + 1, h, z0}}},
                               bzV3{{{x0 + 1, h, z0 + 1}}}, bzV3{{{x0, h, z0 + 1}}}})
                    row.push_back(v);
            }
            corners.insert(corners.end(), row.begin(), row.end());
            bz_Lump_AppendChild(world, bz_Lump_CreateModel(models.NewMesh("row", row)));
        }
    }
};

// The neighbour test of two edges in the x-z plane: parallel, on one line, overlapping.
bool Neighbours(const bzV3 &a0, const bzV3 &a1, const bzV3 &b0, const bzV3 &b1)
{
    const float ax = a1.x - a0.x, az = a1.z - a0.z, bx = b1.x - b0.x, bz = b1.z - b0.z;
    const float la = std::sqrt(ax * ax + az * az), lb = std::sqrt(bx * bx + bz * bz);
    const float ux = ax / la, uz = az / la;
    if (std::fabs(ux * bx / lb + uz * bz / lb) < 0.9986295f)
        return false;
    const float d0 = ux * (b0.z - a0.z) - uz * (b0.x - a0.x);
    const float d1 = ux * (b1.z - a0.z) - uz * (b1.x - a0.x);
    if (std::fabs(d0) > 0.001f || std::fabs(d1) > 0.001f)
        return false;
    const float s0 = ux * (b0.x - a0.x) + uz * (b0.z - a0.z);
    const float s1 = ux * (b1.x - a0.x) + uz * (b1.z - a0.z);
    return std::fmin(la, std::fmax(s0, s1)) - std::fmax(0.0f, std::fmin(s0, s1)) > 0.001f;
}

void BM_NavMeshBuild(benchmark::State &state)
{
    Bench bench;
    for (auto _ : state)
    {
        bzNavMesh *mesh = bz_NavMesh_BuildMesh(&bench.setup, nullptr, nullptr);
        benchmark::DoNotOptimize(mesh);
        bz_NavMesh_Free(mesh);
    }
}
BENCHMARK(BM_NavMeshBuild)->Unit(benchmark::kMillisecond);

void BM_BruteForceEdgePairs(benchmark::State &state)
{
    Bench bench;
    const std::vector<bzV3> &c = bench.corners;
    const size_t edges = c.size();
    for (auto _ : state)
    {
        int pairs = 0;
        for (size_t p = 0; p < edges; p++)
            for (size_t q = p + 1; q < edges; q++)
            {
                const size_t fp = p / 3 * 3, fq = q / 3 * 3;
                if (fp != fq &&
                    Neighbours(c[p], c[fp + (p - fp + 1) % 3], c[q], c[fq + (q - fq + 1) % 3]))
                    pairs++;
            }
        benchmark::DoNotOptimize(pairs);
    }
}
BENCHMARK(BM_BruteForceEdgePairs)->Unit(benchmark::kMillisecond);
} // namespace
