// The octree path of the ray queries against a plain loop over every face of a generated
// level: random segments through several rotated and translated lumps must give the same
// nearest distance and lump (ties and hits on a hair of an edge aside).
#include "TestLevel.h"

#include "core/Memory.h"
#include "scene/Bounds.h"
#include "scene/LumpRay.h"
#include "scene/Octree.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <chrono>

namespace
{
bzRay RandomSegment(std::mt19937 &rng, float size, float length)
{
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    bzRay ray;
    ray.origin = {{{(unit(rng) - 0.5f) * size * 1.1f, (unit(rng) - 0.5f) * size * 0.3f,
                    (unit(rng) - 0.5f) * size * 1.1f}}};
    bzV3 dir = {{{unit(rng) - 0.5f, unit(rng) - 0.5f, unit(rng) - 0.5f}}};
    bz_V3_Normalise(&dir);
    bz_V3_ScaleInto(&dir, &ray.delta, length * (0.2f + unit(rng)));
    ray.flag = 0;
    return ray;
}

TEST(OctreeOracle, NearestHitAgreesWithEveryFaceLoop)
{
    FakeModels models;
    TestLevel level = MakeTestLevel(models, 7u, 30, 150, 200.0f, 6.0f, 3.0f);
    ASSERT_EQ(level.faces.size(), 30u * 150u);
    ASSERT_NE(bz_Lump_BuildOctree(level.root), nullptr);

    std::mt19937 rng(99u);
    int compared = 0, hits = 0, skipped = 0;
    const auto start = std::chrono::steady_clock::now();
    bzMemStats before;
    bz_Mem_GetStats(&before);
    for (int k = 0; k < 600; k++)
    {
        // Long segments that cross much of the level, and short ones near the lumps.
        bzRay ray = RandomSegment(rng, level.size, k % 2 ? 150.0f : 20.0f);
        if (k % 2 == 0)
        {
            std::uniform_real_distribution<float> jitter(-2.0f, 2.0f);
            ray.origin = level.lumps[k % level.lumps.size()]->matrix.row[3];
            ray.origin.x += jitter(rng);
            ray.origin.y += jitter(rng);
            ray.origin.z += jitter(rng);
            ray.origin.x -= ray.delta.x * 0.5f;
            ray.origin.y -= ray.delta.y * 0.5f;
            ray.origin.z -= ray.delta.z * 0.5f;
        }
        const PlainHit plain = PlainNearestHit(level, ray);
        if (plain.nearBoundary)
        {
            skipped++;
            continue;
        }
        float t;
        bzLump *lump;
        const int32_t hit = bz_Lump_RayIntersect(level.root, &ray, nullptr, &t, &lump, nullptr,
                                                 nullptr, nullptr, nullptr, nullptr);
        compared++;
        ASSERT_EQ(hit, plain.t >= 0 ? 1 : 0) << "segment " << k;
        if (!hit)
        {
            EXPECT_EQ(t, 1.00001f);
            continue;
        }
        hits++;
        EXPECT_NEAR(t, plain.t, 1e-4 * (1 + plain.t)) << "segment " << k;
        EXPECT_EQ(lump, plain.lump) << "segment " << k;
    }
    // The queries took nothing from the engine's heap.
    bzMemStats after;
    bz_Mem_GetStats(&after);
    EXPECT_EQ(after.blockCount, before.blockCount);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GE(compared, 540) << skipped << " skipped";
    EXPECT_GE(hits, 100);
    EXPECT_LT(seconds, 10.0);
    bz_Lump_DestroyTree(level.root);
}
} // namespace
