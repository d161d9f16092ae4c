// One frame's render walk of a generated scene of 2,000 lumps, 500 of them models (two thirds
// opaque, one third transparent), with every renderer slot empty: the engine's iterative walk
// with its material batches and depth buckets, against a plain recursive walk that collects
// the visible material entries and sorts them (opaque by material, transparent by depth).
// Built as bench_render; not run by the tests. The counter "rawAllocs" counts the raw
// allocations the memory manager asked of the system over the timed frames (0: nothing taken
// from the system heap per frame).
#include "core/Memory.h"
#include "maths/Matrix.h"
#include "maths/Vector.h"
#include "models/Material.h"
#include "models/Model.h"
#include "render/DrawQueue.h"
#include "render/SceneRender.h"
#include "render/Viewport.h"
#include "scene/Lump.h"
#include "../support/CubeModel.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <vector>

namespace
{
constexpr int kLumps = 2000;
constexpr int kModels = 500;
constexpr int kShapes = 16; // distinct cube models, each of its own material

bzMemPrimitiveTable gSaved;
long gRawAllocs = 0;
void *CountingAllocRaw(uint32_t kind, size_t size)
{
    ++gRawAllocs;
    return gSaved.allocRaw(kind, size);
}

struct Bench
{
    bzLump *root = nullptr;
    bzLump *camera = nullptr;
    bzViewport *view = nullptr;
    std::vector<bzModel *> shapes;

    Bench()
    {
        bz_DrawQueue_Init();
        bz_Scene_ResetBatches();
        for (int s = 0; s < kShapes; ++s)
        {
            char name[16];
            std::snprintf(name, sizeof name, "m%d", s);
            bzMaterial *m = bz_CreateMaterial(name, 1);
            if (s % 3 == 2)
                m->flags = (m->flags | 0x8000000u) & ~0x100u; // transparent
            shapes.push_back(MakeCubeModel(name, m, -1.0f, 1.0f));
        }
        root = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "root");
        camera = bz_Lump_CreateCamera(nullptr, 45.0f);
        std::mt19937 rng(7u);
        std::uniform_real_distribution<float> u(0.0f, 1.0f);
        // 1,500 grouping lumps in a random tree, then 500 models hung under random ones.
        std::vector<bzLump *> groups{root};
        for (int i = 0; i < kLumps - kModels; ++i)
        {
            bzLump *g = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "g");
            bz_M34_SetTranslation(&g->matrix, (u(rng) - 0.5f) * 4.0f, (u(rng) - 0.5f) * 2.0f,
                                  u(rng) * 4.0f);
            bz_Lump_AppendChild(groups[static_cast<size_t>(u(rng) * groups.size())], g);
            groups.push_back(g);
        }
        for (int i = 0; i < kModels; ++i)
        {
            bzLump *l = bz_Lump_CreateModel(shapes[static_cast<size_t>(i % kShapes)]);
            bz_M34_SetTranslation(&l->matrix, (u(rng) - 0.5f) * 60.0f, (u(rng) - 0.5f) * 30.0f,
                                  5.0f + u(rng) * 150.0f);
            bz_Lump_AppendChild(groups[static_cast<size_t>(u(rng) * groups.size())], l);
        }
        view = bz_Viewport_Create(0, camera, root, 0, 0, 640, 480);
    }
};

Bench &TheBench()
{
    static Bench *bench = new Bench;
    return *bench;
}

void BM_EngineWalk(benchmark::State &state)
{
    Bench &b = TheBench();
    bz_Viewport_Render(b.view); // the first frame fills the pools
    bz_Mem_GetPrimitives(&gSaved);
    bzMemPrimitiveTable counting = gSaved;
    counting.allocRaw = CountingAllocRaw;
    bz_Mem_SetPrimitives(&counting);
    gRawAllocs = 0;
    long frames = 0;
    for (auto _ : state)
    {
        bz_Viewport_Render(b.view);
        ++frames;
    }
    bz_Mem_SetPrimitives(&gSaved);
    state.counters["rawAllocs"] = static_cast<double>(gRawAllocs);
    state.counters["batched"] = bz_Scene_BatchCount();
    (void)frames;
}
BENCHMARK(BM_EngineWalk)->Unit(benchmark::kMicrosecond);

struct Found
{
    bzMaterial *material;
    float depth;
    bzLump *lump;
};

void Recurse(bzLump *lump, const bzM34 *parentView, const bzViewport *v, std::vector<Found> &out)
{
    bzM34 view;
    bz_MulM34Into(parentView, &view, &lump->matrix);
    if (!(lump->flags & BZ_LUMP_ACTIVE))
        return;
    if (lump->type == BZ_LUMP_TYPE_MODEL)
    {
        bzModel *model = bz_Lump_GetModel(lump);
        bzV3 c;
        bz_M34_TransformPointInto(&view, &c, &model->centre);
        if (bz_Viewport_SphereClipFlags(&c, v, model->radius) != BZ_CLIP_OUTSIDE)
            for (int32_t i = 0; i < model->part->entryCount; ++i)
                out.push_back({model->part->entries[i].material, c.z, lump});
    }
    for (bzLump *child = lump->firstChild; child; child = child->next)
        Recurse(child, &view, v, out);
}

void BM_RecursiveCollectAndSort(benchmark::State &state)
{
    Bench &b = TheBench();
    bz_Viewport_SetupProjectionM34(b.view, nullptr);
    std::vector<Found> found;
    found.reserve(kLumps);
    for (auto _ : state)
    {
        found.clear();
        bzM34 view;
        bz_InverseOrthoM34Into(bz_Lump_GetMatrix(b.camera), &view);
        for (bzLump *child = b.root->firstChild; child; child = child->next)
            Recurse(child, &view, b.view, found);
        auto split =
            std::stable_partition(found.begin(), found.end(),
                                  [](const Found &f) { return !(f.material->flags & 0x8000000u); });
        std::stable_sort(found.begin(), split,
                         [](const Found &a, const Found &c) { return a.material < c.material; });
        std::stable_sort(split, found.end(),
                         [](const Found &a, const Found &c) { return a.depth > c.depth; });
        benchmark::DoNotOptimize(found.data());
    }
    state.counters["found"] = static_cast<double>(found.size());
}
BENCHMARK(BM_RecursiveCollectAndSort)->Unit(benchmark::kMicrosecond);
} // namespace
