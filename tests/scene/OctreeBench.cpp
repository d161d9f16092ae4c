// Bullet-length segments through a generated level of about 50,000 faces: the lump ray query
// through the level's octree against a plain loop over every face of every model. Built as
// bench_scene; not run by the tests. The counter "blocks" is the change in the engine heap's
// block count over the timed queries (0: nothing allocated per query).
#include "TestLevel.h"

#include "core/Memory.h"
#include "maths/Matrix.h"
#include "scene/Bounds.h"
#include "scene/LumpRay.h"
#include "scene/Octree.h"

#include <benchmark/benchmark.h>

#include <cfloat>
#include <memory>

namespace
{
// 250 lumps of 200 faces over a level of 1 km; segments of 15 m (a bullet's flight over one
// frame at 900 m/s).
constexpr int kLumps = 250;
constexpr int kFacesPerLump = 200;
constexpr float kLevelSize = 1000.0f;
constexpr float kSegment = 15.0f;
constexpr int kSegments = 4096;

struct Bench
{
    FakeModels models;
    TestLevel level;
    std::vector<bzRay> segments;
    std::vector<bzM34> inverses; // world to model space of each lump
    Bench()
    {
        level = MakeTestLevel(models, 21u, kLumps, kFacesPerLump, kLevelSize, 12.0f, 2.0f);
        bz_Lump_BuildOctree(level.root);
        std::mt19937 rng(4u);
        std::uniform_real_distribution<float> unit(0.0f, 1.0f);
        for (int k = 0; k < kSegments; k++)
        {
            bzRay ray;
            // Half the shots start near a lump, half anywhere in the level.
            if (k % 2)
                ray.origin = level.lumps[(size_t)k % level.lumps.size()]->matrix.row[3];
            else
                ray.origin = {
                    {{(unit(rng) - 0.5f) * kLevelSize, (unit(rng) - 0.5f) * kLevelSize * 0.25f,
                      (unit(rng) - 0.5f) * kLevelSize}}};
            bzV3 dir = {{{unit(rng) - 0.5f, unit(rng) - 0.5f, unit(rng) - 0.5f}}};
            bz_V3_Normalise(&dir);
            bz_V3_SubScaled(&ray.origin, &dir, kSegment * 0.5f);
            bz_V3_ScaleInto(&dir, &ray.delta, kSegment);
            ray.flag = 0;
            segments.push_back(ray);
        }
        for (bzLump *l : level.lumps)
        {
            bzM34 inv;
            bz_InverseM34Into(&l->matrix, &inv);
            inverses.push_back(inv);
        }
    }
};

Bench &TheBench()
{
    static Bench *bench = new Bench;
    return *bench;
}

uint32_t HeapBlocks()
{
    bzMemStats stats;
    bz_Mem_GetStats(&stats);
    return stats.blockCount;
}

void BM_OctreeSegments(benchmark::State &state)
{
    Bench &b = TheBench();
    size_t k = 0;
    int hits = 0;
    const uint32_t before = HeapBlocks();
    for (auto _ : state)
    {
        float t;
        bzLump *lump;
        hits += bz_Lump_RayIntersect(b.level.root, &b.segments[k++ % b.segments.size()], nullptr,
                                     &t, &lump, nullptr, nullptr, nullptr, nullptr, nullptr);
        benchmark::DoNotOptimize(t);
    }
    state.counters["hits"] = hits;
    state.counters["blocks"] = (double)HeapBlocks() - (double)before;
}

void BM_EveryFaceSegments(benchmark::State &state)
{
    Bench &b = TheBench();
    size_t k = 0;
    int hits = 0;
    const uint32_t before = HeapBlocks();
    for (auto _ : state)
    {
        const bzRay &ray = b.segments[k++ % b.segments.size()];
        float best = BZ_SEGMENT_LIMIT;
        bool hit = false;
        for (size_t i = 0; i < b.level.lumps.size(); i++)
        {
            bzRay local;
            bz_Ray_Transform(&b.inverses[i], &ray, &local);
            hit |= bz_Lump_RayModelFaces(bz_Lump_GetModel(b.level.lumps[i]), nullptr, &best, &local,
                                         b.level.lumps[i]) != 0;
        }
        hits += hit;
        benchmark::DoNotOptimize(best);
    }
    state.counters["hits"] = hits;
    state.counters["blocks"] = (double)HeapBlocks() - (double)before;
}

BENCHMARK(BM_OctreeSegments);
BENCHMARK(BM_EveryFaceSegments);
} // namespace
