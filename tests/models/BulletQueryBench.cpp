// Bullet queries against a crowd: 20 skinned characters of 3,000 vertices and 27 bones stand in
// a row, every frame each is stepped to a new pose and 8 rays are cast along the row, each of
// which poses every character whose bounds it meets. With the posed positions kept for the
// frame a character is skinned once a frame; the peer makes them stale before every query, so
// that every query skins every character it meets again. Built as bench_models; not run by the
// tests.
#include "maths/Quat.h"
#include "maths/Vector.h"
#include "models/Animation.h"
#include "models/Model.h"
#include "models/PosedPositions.h"
#include "models/SceneLink.h"
#include "models/SkinInstance.h"
#include "scene/Lump.h"
#include "scene/LumpRay.h"
#include "scene/ModelGeometry.h"
#include "scene/RayOptions.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

namespace
{
constexpr int32_t kBones = 27;
constexpr int32_t kRings = 100;
constexpr int32_t kSegments = 30; // 3,000 vertices
constexpr int32_t kCharacters = 20;
constexpr int32_t kQueries = 8;
constexpr float kHeight = 2.0f;
constexpr float kRadius = 0.3f;
constexpr float kBoneLength = kHeight / static_cast<float>(kBones);

// A tube of rings along y driven by a chain of bones up its middle: each vertex by the bone at
// its height and the next, in proportion.
struct Body
{
    bzSkeletonBone bones[kBones];
    bzBox boxes[kBones];
    bzBonePose bind[kBones];
    bzV3 offsets[kBones];
    std::vector<bzV3> positions;
    std::vector<int16_t> influenceBones;
    std::vector<float> weights;
    std::vector<bzSkinInfluences> influences;
    bzSkeleton skeleton{};
    bzModel *model = nullptr;
    bzAnimation *poses = nullptr;

    Body()
    {
        std::vector<bzV3> corners;
        for (int32_t r = 0; r < kRings; ++r)
            for (int32_t s = 0; s < kSegments; ++s)
            {
                const float a = 6.2831853f * static_cast<float>(s) / kSegments;
                corners.push_back({kRadius * std::cos(a),
                                   kHeight * static_cast<float>(r) / static_cast<float>(kRings - 1),
                                   kRadius * std::sin(a)});
            }
        std::vector<bzModelFace> faces;
        for (int32_t r = 0; r + 1 < kRings; ++r)
            for (int32_t s = 0; s < kSegments; ++s)
            {
                const uint32_t a = static_cast<uint32_t>(r * kSegments + s);
                const uint32_t b = static_cast<uint32_t>(r * kSegments + (s + 1) % kSegments);
                bzModelFace f{};
                f.v[0] = a, f.v[1] = b, f.v[2] = b + kSegments;
                faces.push_back(f);
                f.v[1] = b + kSegments, f.v[2] = a + kSegments;
                faces.push_back(f);
            }
        model = bz_Scene_CreateModel("body", corners.data(), static_cast<uint32_t>(corners.size()),
                                     faces.data(), static_cast<uint32_t>(faces.size()), nullptr);
        for (int32_t b = 0; b < kBones; ++b)
        {
            bones[b] = {static_cast<int8_t>(b - 1),
                        static_cast<int8_t>(b + 1 < kBones ? b + 1 : -1),
                        -1,
                        -1,
                        {}};
            boxes[b] = {{-kRadius, 0.0f, -kRadius}, {kRadius, kBoneLength, kRadius}};
            bind[b] = {
                {{0.0f, 0.0f, 0.0f, 1.0f}}, {0.0f, kBoneLength * static_cast<float>(b), 0.0f}, 0};
            offsets[b] = b ? bzV3{0.0f, kBoneLength, 0.0f} : bzV3{};
        }
        // The prepared part's own positions, whatever order the preparation left them in.
        const bzModelPart *part = model->part;
        positions.assign(part->positions[0], part->positions[0] + part->vertexCount);
        for (const bzV3 &p : positions)
        {
            const float along = p.y / kBoneLength;
            const int32_t low = std::min(kBones - 1, static_cast<int32_t>(along));
            const int32_t high = std::min(kBones - 1, low + 1);
            const float s = std::min(1.0f, along - static_cast<float>(low));
            influences.push_back({2, {}, static_cast<int32_t>(influenceBones.size())});
            influenceBones.push_back(static_cast<int16_t>(low));
            weights.push_back(1.0f - s);
            influenceBones.push_back(static_cast<int16_t>(high));
            weights.push_back(s);
        }
        skeleton.boneCount = kBones;
        skeleton.nameTable = -1;
        skeleton.bones = bones;
        skeleton.boneBoxes = boxes;
        skeleton.bindPose = bind;
        skeleton.boneOffsets = offsets;
        skeleton.vertexPositions = positions.data();
        skeleton.influenceBones = influenceBones.data();
        skeleton.influenceWeights = weights.data();
        skeleton.vertexInfluences = influences.data();
        skeleton.influenceCount = static_cast<uint32_t>(influenceBones.size());
        model->part->skeleton = &skeleton;
        // 16 poses, each bending every bone a little about z.
        poses = bz_CreateAnimation(0, 16, kBones);
        for (int32_t f = 0; f < 16; ++f)
            for (int32_t b = 0; b < kBones; ++b)
            {
                const float h = 0.01f * static_cast<float>((f + b) % 7) * static_cast<float>(b);
                poses->rotations[f * kBones + b] = bzQuat{{0.0f, 0.0f, std::sin(h), std::cos(h)}};
            }
    }
    ~Body()
    {
        bz_ReleaseAnimation(poses, 0);
        if (model)
            model->part->skeleton = nullptr;
        bz_ReleaseModel(model);
    }
};

struct Crowd
{
    std::unique_ptr<Body> body;
    bzLump *root = nullptr;
    bzLump *lumps[kCharacters] = {};
    int32_t frame = 0;

    Crowd()
    {
        bz_Models_InstallSceneServices();
        body = std::make_unique<Body>();
        root = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "crowd");
        for (int32_t c = 0; c < kCharacters; ++c)
        {
            lumps[c] = bz_Lump_CreateSkinnedModel(body->model);
            lumps[c]->matrix.row[3] = {1.0f * static_cast<float>(c), 0.0f, 0.0f};
            bz_Lump_Attach(root, lumps[c]);
        }
    }
    ~Crowd()
    {
        bz_Lump_DestroyTree(root);
        body.reset();
        bz_Models_RemoveSceneServices();
    }
    // Every character steps to its next pose, as the game's animation does once a frame.
    void Step()
    {
        ++frame;
        for (int32_t c = 0; c < kCharacters; ++c)
        {
            auto *instance = static_cast<bzSkinInstance *>(lumps[c]->object);
            instance->anim = body->poses;
            instance->frame = static_cast<int16_t>((frame + c) % 16);
            instance->frameFraction = 0.0f;
            instance->flags |= BZ_SKIN_NEEDS_UPDATE;
        }
    }
    // Query q: a ray from beyond the first character along the row at its own height and depth.
    int32_t Query(int32_t q)
    {
        const float y = 0.15f + 0.1f * static_cast<float>(q);
        const float z = 0.05f * static_cast<float>(q % 3) - 0.05f;
        bzRay ray{{-2.0f, y, z}, {static_cast<float>(kCharacters) + 4.0f, 0.0f, 0.0f}, 0};
        float t = -1.0f;
        bzLumpRayHit hit{};
        bzRayOptions options{};
        options.flags = BZ_RAY_SIDES_OVERRIDE | BZ_RAY_TWO_SIDED;
        return bz_Lump_RayIntersectFirst(&t, &hit, &ray, root, &options);
    }
};

void Frames(benchmark::State &state, bool keep)
{
    Crowd crowd;
    if (!crowd.body->model)
    {
        state.SkipWithError("no model");
        return;
    }
    int32_t hits = 0;
    for (auto _ : state)
    {
        bz_Skeleton_NewFrame();
        crowd.Step();
        for (int32_t q = 0; q < kQueries; ++q)
        {
            if (!keep)
                bz_Skeleton_NewFrame();
            hits += crowd.Query(q);
        }
    }
    benchmark::DoNotOptimize(hits);
    if (hits != static_cast<int32_t>(state.iterations()) * kQueries)
        state.SkipWithError("a bullet missed the crowd");
    state.SetItemsProcessed(state.iterations() * kQueries);
}

void BM_BulletQueriesKeepingPosedPositions(benchmark::State &state)
{
    Frames(state, true);
}
BENCHMARK(BM_BulletQueriesKeepingPosedPositions)->Unit(benchmark::kMicrosecond);

void BM_BulletQueriesSkinningEveryQuery(benchmark::State &state)
{
    Frames(state, false);
}
BENCHMARK(BM_BulletQueriesSkinningEveryQuery)->Unit(benchmark::kMicrosecond);
} // namespace
