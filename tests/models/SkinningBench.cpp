// Skinning a character of 3,000 vertices and 27 bones, each vertex driven by up to four bones:
// the whole-model skinning, which takes each bone's transform once, against the one-vertex
// form called for every vertex, which takes it again for every influence. Built as
// bench_models; not run by the tests.
#include "maths/Matrix.h"
#include "maths/Quat.h"
#include "models/Animation.h"
#include "models/Model.h"
#include "models/SkinInstance.h"
#include "scene/Lump.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

namespace
{
constexpr int32_t kBones = 27;
constexpr int32_t kVertices = 3000;

// A chain-and-branch skeleton posed by one animation frame with every bone turned a little.
struct Character
{
    std::vector<bzSkeletonBone> bones;
    std::vector<bzBox> boxes;
    std::vector<bzBonePose> bind;
    std::vector<bzV3> offsets, positions;
    std::vector<int16_t> influenceBones;
    std::vector<float> weights;
    std::vector<bzSkinInfluences> influences;
    bzSkeleton skeleton{};
    bzModel *model;
    bzSkinInstance *instance;
    bzAnimation *pose;
    bzLump lump{};

    Character()
    {
        std::mt19937 rng(7u);
        std::uniform_real_distribution<float> unit(0.0f, 1.0f);
        bones.resize(kBones);
        for (int32_t b = 0; b < kBones; ++b)
        {
            // Bone b hangs on bone (b - 1) / 2: a binary tree.
            bones[b] = {static_cast<int8_t>(b ? (b - 1) / 2 : -1), -1, -1, -1, {}};
            boxes.push_back({{-0.1f, -0.1f, -0.1f}, {0.1f, 0.1f, 0.1f}});
            offsets.push_back(b ? bzV3{0.0f, 0.3f, 0.05f * static_cast<float>(b % 3)} : bzV3{});
        }
        for (int32_t b = kBones - 1; b > 0; --b)
        {
            const int32_t p = bones[b].parent;
            bones[b].nextSibling = bones[p].firstChild;
            bones[p].firstChild = static_cast<int8_t>(b);
        }
        bind.resize(kBones);
        for (int32_t b = 0; b < kBones; ++b)
        {
            bind[b].rotation = bzQuat{{0.0f, 0.0f, 0.0f, 1.0f}};
            if (b)
                bz_V3_AddInto(&bind[bones[b].parent].position, &offsets[b], &bind[b].position);
        }
        for (int32_t v = 0; v < kVertices; ++v)
        {
            positions.push_back({unit(rng), 3.0f * unit(rng), unit(rng)});
            const int32_t count = 1 + v % 4;
            influences.push_back(
                {static_cast<int16_t>(count), {}, static_cast<int32_t>(influenceBones.size())});
            for (int32_t k = 0; k < count; ++k)
            {
                influenceBones.push_back(static_cast<int16_t>((v + 7 * k) % kBones));
                weights.push_back(1.0f / static_cast<float>(count));
            }
        }
        skeleton.boneCount = kBones;
        skeleton.nameTable = -1;
        skeleton.bones = bones.data();
        skeleton.boneBoxes = boxes.data();
        skeleton.bindPose = bind.data();
        skeleton.boneOffsets = offsets.data();
        skeleton.vertexPositions = positions.data();
        skeleton.influenceBones = influenceBones.data();
        skeleton.influenceWeights = weights.data();
        skeleton.vertexInfluences = influences.data();
        skeleton.influenceCount = static_cast<uint32_t>(influenceBones.size());
        model = bz_CreateModel(0, 0);
        bz_CreateModelPart(model)->vertexCount = kVertices;
        model->part->skeleton = &skeleton;
        instance = bz_CreateSkinInstance(model);
        pose = bz_CreateAnimation(0, 1, kBones);
        for (int32_t b = 0; b < kBones; ++b)
        {
            const float h = 0.1f * static_cast<float>(b % 5);
            pose->rotations[b] = bzQuat{{std::sin(h), 0.0f, 0.0f, std::cos(h)}};
        }
        lump.type = BZ_LUMP_TYPE_SKINNED_MODEL;
        lump.object = instance;
        instance->anim = pose;
        instance->flags = BZ_SKIN_NEEDS_UPDATE;
        bz_Skeleton_Update(&lump, model);
    }
    ~Character()
    {
        bz_FreeSkinInstance(instance);
        bz_ReleaseAnimation(pose, 0);
        model->part->skeleton = nullptr;
        bz_ReleaseModel(model);
    }
};

void BM_SkinWholeModel(benchmark::State &state)
{
    Character c;
    std::vector<bzV3> out(kVertices);
    for (auto _ : state)
    {
        bz_Skeleton_SkinVertices(c.model, &c.lump, out.data(), nullptr);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * kVertices);
}
BENCHMARK(BM_SkinWholeModel);

void BM_SkinVertexByVertex(benchmark::State &state)
{
    Character c;
    std::vector<bzV3> out(kVertices);
    for (auto _ : state)
    {
        for (int32_t v = 0; v < kVertices; ++v)
            bz_Skeleton_SkinVertex(&c.lump, c.model, v, &out[v]);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * kVertices);
}
BENCHMARK(BM_SkinVertexByVertex);

// The pose rebuilt from the animation frame and converted, as the render walk does once a
// frame for every visible character.
void BM_PoseUpdate(benchmark::State &state)
{
    Character c;
    for (auto _ : state)
    {
        c.instance->flags |= BZ_SKIN_NEEDS_UPDATE;
        bz_Skeleton_Update(&c.lump, c.model);
        benchmark::DoNotOptimize(c.instance->poses);
    }
}
BENCHMARK(BM_PoseUpdate);
} // namespace
