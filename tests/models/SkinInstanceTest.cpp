#include "models/SkinInstance.h"

#include "maths/Matrix.h"
#include "maths/Quat.h"
#include "models/Animation.h"
#include "models/ModelAccess.h"
#include "models/PosedPositions.h"
#include "core/Memory.h"
#include "scene/Lump.h"

#include "ModelsTestSupport.h"

#include <cfloat>
#include <cmath>
#include <cstring>
#include <vector>

namespace
{
using SkinInstanceTest = ModelRecordsTest;

constexpr float kEps = 1e-5f;

bzQuat AboutZ(float degrees)
{
    const float h = degrees * 3.14159265f / 360.0f;
    return bzQuat{{0.0f, 0.0f, std::sin(h), std::cos(h)}};
}

void ExpectNear(const bzV3 &v, float x, float y, float z)
{
    EXPECT_NEAR(v.x, x, kEps);
    EXPECT_NEAR(v.y, y, kEps);
    EXPECT_NEAR(v.z, z, kEps);
}

// A chain of bones along +x, one unit apart, bone 0 the root at the origin; each bone's box
// reaches half a unit around it, and vertex i sits at (i + 0.5, 0, 0) driven by the
// influences given per vertex as (bone, weight) pairs.
struct Rig
{
    std::vector<bzSkeletonBone> bones;
    std::vector<bzBox> boxes;
    std::vector<bzBonePose> bind;
    std::vector<bzV3> offsets;
    std::vector<bzV3> positions;
    std::vector<int16_t> influenceBones;
    std::vector<float> weights;
    std::vector<bzSkinInfluences> influences;
    bzSkeleton skeleton{};
    bzModel *model = nullptr;
    bzSkinInstance *instance = nullptr;
    bzLump lump{};

    Rig(int32_t boneCount, const std::vector<std::vector<std::pair<int16_t, float>>> &perVertex,
        const char *names = nullptr)
    {
        for (int32_t b = 0; b < boneCount; ++b)
        {
            bzSkeletonBone bone{};
            bone.parent = static_cast<int8_t>(b - 1);
            bone.firstChild = static_cast<int8_t>(b + 1 < boneCount ? b + 1 : -1);
            bone.nextSibling = -1;
            bone.lumpSlot = -1;
            bones.push_back(bone);
            const float x = static_cast<float>(b);
            boxes.push_back(bzBox{{-0.5f, -0.5f, -0.5f}, {0.5f, 0.5f, 0.5f}});
            bind.push_back(bzBonePose{{{0.0f, 0.0f, 0.0f, 1.0f}}, {x, 0.0f, 0.0f}, 0});
            offsets.push_back(b ? bzV3{1.0f, 0.0f, 0.0f} : bzV3{});
        }
        for (size_t v = 0; v < perVertex.size(); ++v)
        {
            positions.push_back({static_cast<float>(v) + 0.5f, 0.0f, 0.0f});
            bzSkinInfluences in{};
            in.count = static_cast<int16_t>(perVertex[v].size());
            in.first = static_cast<int32_t>(influenceBones.size());
            influences.push_back(in);
            for (const auto &[bone, weight] : perVertex[v])
            {
                influenceBones.push_back(bone);
                weights.push_back(weight);
            }
        }
        skeleton.boneCount = static_cast<int16_t>(boneCount);
        skeleton.nameTable = static_cast<int16_t>(
            names ? bz_GetBoneNameTable(names, boneCount, BZ_BONE_NAME_LENGTH, nullptr) : -1);
        Wire();
        model = bz_CreateModel(0, 0);
        bz_CreateModelPart(model)->vertexCount = static_cast<int32_t>(perVertex.size());
        model->part->skeleton = &skeleton;
        model->radius = static_cast<float>(boneCount);
    }

    void Wire()
    {
        skeleton.bones = bones.data();
        skeleton.boneBoxes = boxes.data();
        skeleton.bindPose = bind.data();
        skeleton.boneOffsets = offsets.data();
        skeleton.vertexPositions = positions.empty() ? nullptr : positions.data();
        skeleton.influenceBones = influenceBones.empty() ? nullptr : influenceBones.data();
        skeleton.influenceWeights = weights.empty() ? nullptr : weights.data();
        skeleton.vertexInfluences = influences.empty() ? nullptr : influences.data();
        skeleton.influenceCount = static_cast<uint32_t>(influenceBones.size());
    }

    bool Start()
    {
        instance = bz_CreateSkinInstance(model);
        lump.type = BZ_LUMP_TYPE_SKINNED_MODEL;
        lump.object = instance;
        lump.matrix = *bz_M34_Identity();
        return instance != nullptr;
    }

    // Plays one frame of the animation at the fraction on the next update.
    void Play(bzAnimation *animation, int16_t frame, float fraction, uint8_t flags = 0)
    {
        instance->anim = animation;
        instance->frame = frame;
        instance->frameFraction = fraction;
        instance->flags = static_cast<uint8_t>(BZ_SKIN_NEEDS_UPDATE | flags);
        bz_Skeleton_Update(&lump, model);
    }

    bzV3 BonePosition(int32_t bone)
    {
        bzM34 m{};
        EXPECT_EQ(bz_Skeleton_GetBoneMatrix(&lump, model, bone, &m), 0);
        return m.row[3];
    }

    ~Rig()
    {
        if (instance)
            bz_FreeSkinInstance(instance);
        model->part->skeleton = nullptr;
        bz_ReleaseModel(model);
    }
};

TEST_F(SkinInstanceTest, AChainPosedFromModelSpaceRotations)
{
    Rig rig(3, {{{2, 1.0f}}, {{2, 1.0f}}, {{2, 1.0f}}});
    ASSERT_TRUE(rig.Start());
    EXPECT_EQ(rig.model->refCount, 2);
    bzAnimation *walk = bz_CreateAnimation(0, 1, 3);
    ASSERT_NE(walk, nullptr);
    // Model-space rotations: the root stays, the two others turn a quarter about z.
    walk->rotations[1] = AboutZ(90.0f);
    walk->rotations[2] = AboutZ(90.0f);
    walk->rootPositions[0] = {0.0f, 0.0f, 3.0f};
    rig.Play(walk, 0, 0.0f);
    EXPECT_EQ(rig.instance->flags & BZ_SKIN_NEEDS_UPDATE, 0);

    // Bone 1 hangs on the unturned root one unit along x; bone 2 one unit along bone 1's x,
    // which now points along y.
    ExpectNear(rig.BonePosition(0), 0.0f, 0.0f, 3.0f);
    ExpectNear(rig.BonePosition(1), 1.0f, 0.0f, 3.0f);
    bzM34 m{};
    ASSERT_EQ(bz_Skeleton_GetBoneMatrix(&rig.lump, rig.model, 2, &m), 0);
    ExpectNear(m.row[0], 0.0f, 1.0f, 0.0f);
    ExpectNear(m.row[1], -1.0f, 0.0f, 0.0f);
    ExpectNear(m.row[2], 0.0f, 0.0f, 1.0f);
    ExpectNear(m.row[3], 1.0f, 1.0f, 3.0f);

    // The skinning transform of bone 2 undoes its bind place (2, 0, 0) first.
    ASSERT_EQ(bz_Skeleton_GetSkinMatrix(&rig.lump, rig.model, 2, &m), 0);
    ExpectNear(m.row[3], 1.0f, -1.0f, 3.0f);
    // A vertex half a unit out along bone 2 in the bind pose stays half a unit along it.
    bzV3 out{};
    ASSERT_EQ(bz_Skeleton_SkinVertex(&rig.lump, rig.model, 2, &out), 0);
    ExpectNear(out, 1.0f, 1.5f, 3.0f);

    EXPECT_EQ(bz_Skeleton_GetBoneMatrix(&rig.lump, rig.model, 3, &m), BZ_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(bz_Skeleton_SkinVertex(&rig.lump, rig.model, 3, &out), BZ_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(bz_Skeleton_SkinVertex(&rig.lump, rig.model, -1, &out), BZ_ERROR_INVALID_PARAMETER);
    bz_ReleaseAnimation(walk, 0);
}

TEST_F(SkinInstanceTest, TheBindPoseSkinsToTheSamePositions)
{
    Rig rig(3, {{{0, 1.0f}}, {{1, 1.0f}}, {{1, 0.5f}, {2, 0.5f}}});
    ASSERT_TRUE(rig.Start());
    bzM34 m{};
    for (int32_t b = 0; b < 3; ++b)
    {
        ASSERT_EQ(bz_Skeleton_GetSkinMatrix(&rig.lump, rig.model, b, &m), 0);
        EXPECT_EQ(std::memcmp(&m, bz_M34_Identity(), sizeof m), 0) << "bone " << b;
    }
    // An animation that holds the bind pose gives identity transforms too.
    bzAnimation *still = bz_CreateAnimation(0, 1, 3);
    rig.Play(still, 0, 0.0f);
    std::vector<bzV3> out(3);
    bz_Skeleton_SkinVertices(rig.model, &rig.lump, out.data(), rig.positions.data());
    for (int32_t v = 0; v < 3; ++v)
        ExpectNear(out[v], rig.positions[v].x, 0.0f, 0.0f);
    std::vector<bzBonePose> copy(3);
    bz_Skeleton_CopyBindPose(rig.model, copy.data());
    EXPECT_EQ(std::memcmp(copy.data(), rig.bind.data(), 3 * sizeof(bzBonePose)), 0);
    bz_ReleaseAnimation(still, 0);
}

TEST_F(SkinInstanceTest, WeightsAreUsedAsStored)
{
    // Vertex 0 is driven by half of bone 0 and a quarter of bone 1, summing to 0.75; vertex 1
    // by halves of bones 1 and 2.
    Rig rig(3, {{{0, 0.5f}, {1, 0.25f}}, {{1, 0.5f}, {2, 0.5f}}});
    ASSERT_TRUE(rig.Start());
    bzV3 out{};
    ASSERT_EQ(bz_Skeleton_SkinVertex(&rig.lump, rig.model, 0, &out), 0);
    ExpectNear(out, 0.375f, 0.0f, 0.0f);

    // Bone 2 turned a quarter about z moves its half of vertex 1 (1.5, 0, 0) to (2, -0.5, 0).
    bzAnimation *bend = bz_CreateAnimation(0, 1, 3);
    bend->rotations[2] = AboutZ(90.0f);
    rig.Play(bend, 0, 0.0f);
    ASSERT_EQ(bz_Skeleton_SkinVertex(&rig.lump, rig.model, 1, &out), 0);
    ExpectNear(out, 0.5f * 1.5f + 0.5f * 2.0f, 0.5f * -0.5f, 0.0f);
    std::vector<bzV3> all(2);
    bz_Skeleton_SkinVertices(rig.model, &rig.lump, all.data(), rig.positions.data());
    ExpectNear(all[1], out.x, out.y, out.z);
    bz_ReleaseAnimation(bend, 0);
}

TEST_F(SkinInstanceTest, FramesInterpolateWrapAndBlend)
{
    Rig rig(2, {});
    ASSERT_TRUE(rig.Start());
    bzAnimation *turn = bz_CreateAnimation(0, 2, 2);
    turn->rotations[2 + 1] = AboutZ(90.0f); // frame 1, bone 1
    turn->rootPositions[1] = {0.0f, 4.0f, 0.0f};
    bzM34 m{};
    // Half way, by either blend, bone 1 is turned 45 degrees and the root has risen 2.
    for (uint8_t flags : {uint8_t{0}, uint8_t{BZ_SKIN_NLERP}})
    {
        rig.Play(turn, 0, 0.5f, flags);
        ASSERT_EQ(bz_Skeleton_GetBoneMatrix(&rig.lump, rig.model, 1, &m), 0);
        const float h = std::sqrt(0.5f);
        ExpectNear(m.row[0], h, h, 0.0f);
        ExpectNear(m.row[3], 1.0f, 2.0f, 0.0f);
    }
    // Frame 3 of two frames is frame 1.
    rig.Play(turn, 3, 0.0f);
    ASSERT_EQ(bz_Skeleton_GetBoneMatrix(&rig.lump, rig.model, 1, &m), 0);
    ExpectNear(m.row[0], 0.0f, 1.0f, 0.0f);
    ExpectNear(rig.BonePosition(0), 0.0f, 4.0f, 0.0f);
    // The last frame with a fraction has no next frame and holds.
    rig.Play(turn, 1, 0.5f, BZ_SKIN_NLERP);
    ExpectNear(rig.BonePosition(0), 0.0f, 4.0f, 0.0f);

    // Frame 0 with frame 1 blended on top at full weight gives frame 1; the blend is used once.
    rig.instance->blendAnim = turn;
    rig.instance->blendFrame = 1;
    rig.instance->blendWeight = 1.0f;
    rig.Play(turn, 0, 0.0f);
    EXPECT_EQ(rig.instance->blendAnim, nullptr);
    ASSERT_EQ(bz_Skeleton_GetBoneMatrix(&rig.lump, rig.model, 1, &m), 0);
    ExpectNear(m.row[0], 0.0f, 1.0f, 0.0f);
    ExpectNear(m.row[3], 1.0f, 4.0f, 0.0f);
    rig.Play(turn, 0, 0.0f);
    ExpectNear(rig.BonePosition(0), 0.0f, 0.0f, 0.0f);

    // A record without frames poses nothing: the transforms stay as they are.
    bzM34 before{};
    ASSERT_EQ(bz_Skeleton_GetSkinMatrix(&rig.lump, rig.model, 1, &before), 0);
    bzAnimation empty{};
    rig.Play(&empty, 0, 0.0f);
    ASSERT_EQ(bz_Skeleton_GetSkinMatrix(&rig.lump, rig.model, 1, &m), 0);
    EXPECT_EQ(std::memcmp(&m, &before, sizeof m), 0);
    EXPECT_EQ(rig.instance->flags & BZ_SKIN_NEEDS_UPDATE, 0);

    // The override rotation turns masked bones after the animation's rotation.
    rig.instance->overrideMask = 0x2;
    rig.instance->overrideRotation = AboutZ(-90.0f);
    rig.Play(turn, 1, 0.0f);
    ASSERT_EQ(bz_Skeleton_GetBoneMatrix(&rig.lump, rig.model, 1, &m), 0);
    ExpectNear(m.row[0], 1.0f, 0.0f, 0.0f);
    bz_ReleaseAnimation(turn, 0);
}

TEST_F(SkinInstanceTest, PosesWrittenInModelSpaceAreConverted)
{
    Rig rig(2, {{{1, 1.0f}}});
    ASSERT_TRUE(rig.Start());
    // A pose written directly: both bones moved up 1.
    rig.instance->poses[0] = bzBonePose{{{0.0f, 0.0f, 0.0f, 1.0f}}, {0.0f, 1.0f, 0.0f}, 0};
    rig.instance->poses[1] = bzBonePose{{{0.0f, 0.0f, 0.0f, 1.0f}}, {1.0f, 1.0f, 0.0f}, 0};
    rig.instance->frame = -1;
    rig.instance->flags = BZ_SKIN_NEEDS_UPDATE;
    // Before the update the readers take the array as model-space poses.
    ExpectNear(rig.BonePosition(1), 1.0f, 1.0f, 0.0f);
    bzV3 out{};
    ASSERT_EQ(bz_Skeleton_SkinVertex(&rig.lump, rig.model, 0, &out), 0);
    ExpectNear(out, 0.5f, 1.0f, 0.0f);
    bz_Skeleton_Update(&rig.lump, rig.model);
    ExpectNear(rig.instance->poses[1].position, 0.0f, 1.0f, 0.0f);
    ExpectNear(rig.BonePosition(1), 1.0f, 1.0f, 0.0f);
    ASSERT_EQ(bz_Skeleton_SkinVertex(&rig.lump, rig.model, 0, &out), 0);
    ExpectNear(out, 0.5f, 1.0f, 0.0f);
}

TEST_F(SkinInstanceTest, BonesAreFoundByTheShortestNameContainingTheText)
{
    char names[5][BZ_BONE_NAME_LENGTH] = {"Spine1", "Spine", "L_Hand", "R_Hand", "Head"};
    Rig rig(5, {}, names[0]);
    struct Case
    {
        const char *text;
        int32_t bone;
    };
    for (const Case &c : {Case{"spine", 1}, Case{"SPINE1", 0}, Case{"hand", 2}, Case{"r_h", 3},
                          Case{"", 4}, Case{"tail", -1}})
        EXPECT_EQ(bz_Skeleton_FindBone(rig.model, nullptr, 0, c.text), c.bone) << c.text;
    EXPECT_EQ(bz_Skeleton_FindBoneEither(rig.model, nullptr, 0, "tail", "head"), 4);
    EXPECT_EQ(bz_Skeleton_FindBoneEither(rig.model, nullptr, 0, "neck", "tail"), -1);

    // Without a skeleton the named parts are searched.
    bzModel *plain = bz_CreateModel(0, 0);
    const char *parts[] = {"WheelFrontLeft", "Wheel", "Door"};
    EXPECT_EQ(bz_Skeleton_FindBone(plain, parts, 3, "wheel"), 1);
    EXPECT_EQ(bz_Skeleton_FindBone(plain, parts, 3, "boot"), -1);
    EXPECT_EQ(bz_Skeleton_FindBone(plain, nullptr, 0, "wheel"), -1);
    bz_ReleaseModel(plain);
}

TEST_F(SkinInstanceTest, RaysPickTheNearestBoneBox)
{
    Rig rig(3, {});
    ASSERT_TRUE(rig.Start());
    // Sphere of radius 6 about the root: a ray passing 10 above misses at once.
    bzRay miss{{-5.0f, 10.0f, 0.0f}, {20.0f, 0.0f, 0.0f}, 0};
    EXPECT_EQ(bz_Skeleton_RayPickBone(&miss, &rig.lump, rig.model), -1);
    // Along the chain from +x the box of bone 2 is met first; from -x that of bone 0.
    bzRay fromRight{{5.0f, 0.1f, 0.0f}, {-10.0f, 0.0f, 0.0f}, 0};
    EXPECT_EQ(bz_Skeleton_RayPickBone(&fromRight, &rig.lump, rig.model), 2);
    bzRay fromLeft{{-5.0f, 0.1f, 0.0f}, {10.0f, 0.0f, 0.0f}, 0};
    EXPECT_EQ(bz_Skeleton_RayPickBone(&fromLeft, &rig.lump, rig.model), 0);
    // Inside the sphere but past every box.
    bzRay above{{-5.0f, 2.0f, 0.0f}, {10.0f, 0.0f, 0.0f}, 0};
    EXPECT_EQ(bz_Skeleton_RayPickBone(&above, &rig.lump, rig.model), -1);

    // Bone 1 and 2 turned up about z: a ray down through (1, 1.5) hits only bone 2's box.
    bzAnimation *up = bz_CreateAnimation(0, 1, 3);
    up->rotations[1] = AboutZ(90.0f);
    up->rotations[2] = AboutZ(90.0f);
    rig.instance->anim = up;
    rig.instance->frame = 0;
    rig.instance->flags = BZ_SKIN_NEEDS_UPDATE;
    bzRay across{{-5.0f, 1.2f, 0.0f}, {10.0f, 0.0f, 0.0f}, 0};
    EXPECT_EQ(bz_Skeleton_RayPickBone(&across, &rig.lump, rig.model), 2);
    EXPECT_EQ(rig.instance->flags & BZ_SKIN_NEEDS_UPDATE, 0);
    bz_ReleaseAnimation(up, 0);
}

TEST_F(SkinInstanceTest, BoundsOfBonesAndOfTheVerticesTheyDrive)
{
    Rig rig(3, {});
    const int16_t two[] = {0, 2};
    bzBox box{};
    ASSERT_EQ(bz_Skeleton_CalcBounds(rig.model, 2, two, 0.0f, &box), 0);
    ExpectNear(box.min, -0.5f, -0.5f, -0.5f);
    ExpectNear(box.max, 2.5f, 0.5f, 0.5f);

    // By weight: vertex v at (v, 0, 0) with slot 0 naming bone v % 3 at weight 255 - 100 v.
    bzModelPart *part = rig.model->part;
    part->vertexCount = 3;
    rig.skeleton.influenceSlots = 1;
    bzV3 points[3] = {{0.0f, 0.0f, 0.0f}, {1.0f, 0.0f, 0.0f}, {2.0f, 0.0f, 0.0f}};
    uint8_t bones[3] = {0, 1, 2};
    uint8_t weights[3] = {255, 155, 55};
    part->positions[0] = points;
    part->boneIndices[0] = bones;
    part->boneWeights[0] = weights;
    const int16_t last[] = {1, 2};
    ASSERT_EQ(bz_Skeleton_CalcBounds(rig.model, 2, last, 0.5f, &box), 0);
    ExpectNear(box.min, 1.0f, 0.0f, 0.0f);
    ExpectNear(box.max, 1.0f, 0.0f, 0.0f);
    // A part marked changed gets its buffers rebuilt when the read ends.
    part->flags |= BZ_PART_CHANGED;
    ASSERT_EQ(bz_Skeleton_CalcBounds(rig.model, 2, last, 0.2f, &box), 0);
    ExpectNear(box.max, 2.0f, 0.0f, 0.0f);
    EXPECT_EQ(part->flags & (BZ_PART_CHANGED | BZ_PART_ACCESSING), 0u);
    part->positions[0] = nullptr;
    part->boneIndices[0] = nullptr;
    part->boneWeights[0] = nullptr;

    // More than 40 bones, a bone out of range or no skeleton: an empty box and 29.
    std::vector<int16_t> many(41, 0);
    const int16_t outside[] = {3};
    EXPECT_EQ(bz_Skeleton_CalcBounds(rig.model, 41, many.data(), 0.0f, &box),
              BZ_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(box.min.x, FLT_MAX);
    EXPECT_EQ(box.max.x, -FLT_MAX);
    EXPECT_EQ(bz_Skeleton_CalcBounds(rig.model, 1, outside, 0.0f, &box),
              BZ_ERROR_INVALID_PARAMETER);
    bzModel *plain = bz_CreateModel(0, 0);
    EXPECT_EQ(bz_Skeleton_CalcBounds(plain, 1, two, 0.0f, &box), BZ_ERROR_INVALID_PARAMETER);
    bz_ReleaseModel(plain);
}

TEST_F(SkinInstanceTest, BonesOfAFaceByWeightSideAndNearestCorner)
{
    Rig rig(4, {{{0, 0.6f}, {1, 0.4f}}, {{1, 0.7f}, {2, 0.3f}}, {{1, 0.5f}, {2, 0.5f}}});
    rig.positions = {{0.0f, 0.0f, 0.0f}, {1.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 1.0f}};
    rig.Wire();
    SetFaces(rig.model->part, {{0, 1, 2}});
    ASSERT_TRUE(rig.Start());
    int16_t bones[4] = {};
    int32_t count = -1;
    // Sums 0.6, 1.6 and 0.8; bone 3 drives nothing and is left out.
    ASSERT_EQ(bz_Skeleton_BonesOfFace(&rig.lump, rig.model, 0, nullptr, &count, bones), 0);
    ASSERT_EQ(count, 3);
    EXPECT_EQ(bones[0], 1);
    EXPECT_EQ(bones[1], 2);
    EXPECT_EQ(bones[2], 0);
    // The face's normal points along +y: bone 2's box raised above the face halves its sum.
    rig.boxes[2] = bzBox{{-0.5f, 0.5f, -0.5f}, {0.5f, 1.5f, 0.5f}};
    ASSERT_EQ(bz_Skeleton_BonesOfFace(&rig.lump, rig.model, 0, nullptr, &count, bones), 0);
    ASSERT_EQ(count, 3);
    EXPECT_EQ(bones[0], 1);
    EXPECT_EQ(bones[1], 0);
    EXPECT_EQ(bones[2], 2);
    // With a point: the influences of the nearest corner, in their order.
    const bzV3 nearSecond{0.9f, 0.1f, 0.0f};
    ASSERT_EQ(bz_Skeleton_BonesOfFace(&rig.lump, rig.model, 0, &nearSecond, &count, bones), 0);
    ASSERT_EQ(count, 2);
    EXPECT_EQ(bones[0], 1);
    EXPECT_EQ(bones[1], 2);
    EXPECT_EQ(bz_Skeleton_BonesOfFace(&rig.lump, rig.model, 1, nullptr, &count, bones),
              BZ_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(count, 0);
}

// The blend tests' two animations of one frame and two bones: the rest pose, and one with bone 1
// turned 90 degrees about z and the root 2 up. Both are released with the holder.
struct RestAndTurned
{
    bzAnimation *rest = bz_CreateAnimation(0, 1, 2);
    bzAnimation *turned = bz_CreateAnimation(0, 1, 2);

    RestAndTurned()
    {
        turned->rotations[1] = AboutZ(90.0f);
        turned->rootPositions[0] = {0.0f, 2.0f, 0.0f};
    }
    RestAndTurned(const RestAndTurned &) = delete;
    RestAndTurned &operator=(const RestAndTurned &) = delete;
    ~RestAndTurned()
    {
        bz_ReleaseAnimation(rest, 0);
        bz_ReleaseAnimation(turned, 0);
    }
};

TEST_F(SkinInstanceTest, BlendsOfTwoAnimationsPositionsAndCapturedPoses)
{
    Rig rig(2, {{{1, 1.0f}}});
    ASSERT_TRUE(rig.Start());
    const RestAndTurned anims;
    bzAnimation *rest = anims.rest, *turned = anims.turned;
    ASSERT_EQ(bz_Skeleton_PoseFromBlend(&rig.lump, rest, 0, turned, 0, 0.5f), 0);
    EXPECT_EQ(rig.instance->frame, -1);
    EXPECT_EQ(rig.instance->flags & BZ_SKIN_NEEDS_UPDATE, BZ_SKIN_NEEDS_UPDATE);
    bzM34 m{};
    const float h = std::sqrt(0.5f);
    for (int32_t pass = 0; pass < 2; ++pass) // as written, then converted by the update
    {
        ASSERT_EQ(bz_Skeleton_GetBoneMatrix(&rig.lump, rig.model, 1, &m), 0);
        ExpectNear(m.row[0], h, h, 0.0f);
        ExpectNear(m.row[3], 1.0f, 1.0f, 0.0f);
        bz_Skeleton_Update(&rig.lump, rig.model);
    }
    EXPECT_EQ(bz_Skeleton_PoseFromBlend(&rig.lump, rest, 0, nullptr, 0, 0.5f),
              BZ_ERROR_INVALID_PARAMETER);

    // Bone positions of a frame, or of the bind pose.
    bzV3 at{};
    ASSERT_EQ(bz_Skeleton_GetAnimBonePosition(rig.model, nullptr, 0, 1, &at), 0);
    ExpectNear(at, 1.0f, 0.0f, 0.0f);
    ASSERT_EQ(bz_Skeleton_GetAnimBonePosition(rig.model, turned, 0, 1, &at), 0);
    ExpectNear(at, 1.0f, 2.0f, 0.0f);
    EXPECT_EQ(bz_Skeleton_GetAnimBonePosition(rig.model, turned, 0, 2, &at),
              BZ_ERROR_INVALID_PARAMETER);

    // A captured pose plays back as the same pose; the lump's placement goes to the tracks.
    rig.lump.matrix.row[3] = {5.0f, 0.0f, 0.0f};
    bzAnimation *copy = bz_CreateAnimation(0, 2, 2);
    ASSERT_EQ(bz_Animation_CapturePose(&rig.lump, copy, 1), 0);
    EXPECT_EQ(copy->motionPositions[1].x, 5.0f);
    ASSERT_EQ(bz_Skeleton_GetAnimBonePosition(rig.model, copy, 1, 1, &at), 0);
    ExpectNear(at, 1.0f, 1.0f, 0.0f);
    EXPECT_NEAR(copy->rotations[3].z, std::sin(3.14159265f / 8.0f), kEps);
    EXPECT_EQ(bz_Animation_CapturePose(&rig.lump, copy, 2), BZ_ERROR_INVALID_PARAMETER);
    bz_ReleaseAnimation(copy, 0);
}

TEST_F(SkinInstanceTest, BlendsThatMoveTheLumpKeepTheReferenceBoneStill)
{
    Rig rig(2, {{{1, 1.0f}}});
    ASSERT_TRUE(rig.Start());
    const RestAndTurned anims;
    bzAnimation *rest = anims.rest, *turned = anims.turned;
    turned->motionPositions[0] = {4.0f, 0.0f, 0.0f};
    const float h = std::sqrt(0.5f);
    struct Case
    {
        const char *what;
        float motionTurn; // degrees about z of the turned animation's root motion
        bzV3 translation; // the lump's after the blend
        float rowX, rowY; // its first rotation row
    };
    // Bone 1 starts at (1, 0, 0) of a lump at (10, 0, 0): (11, 0, 0). Halfway, it sits at
    // (1, 1, 0) of the model, and the blended motion puts the lump at (2, 0, 0).
    const Case cases[] = {
        // Unturned motion: the bone would be at (3, 1, 0); moved back by (8, -1, 0).
        {"straight", 0.0f, {10.0f, -1.0f, 0.0f}, 1.0f, 0.0f},
        // Motion turned halfway, 45 degrees: the bone at (2, 1.4142, 0); moved by (9, -1.4142).
        {"turning", 90.0f, {11.0f, -1.41421356f, 0.0f}, h, h},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.what);
        turned->motionRotations[0] = AboutZ(c.motionTurn);
        rig.Play(rest, 0, 0.0f);
        rig.lump.matrix = *bz_M34_Identity();
        rig.lump.matrix.row[3] = {10.0f, 0.0f, 0.0f};
        ASSERT_EQ(bz_Skeleton_PoseFromBlendMoving(&rig.lump, rest, 0, turned, 0, 0.5f, 1,
                                                  BZ_BLEND_MOVE_LUMP),
                  0);
        ExpectNear(rig.lump.matrix.row[3], c.translation.x, c.translation.y, c.translation.z);
        ExpectNear(rig.lump.matrix.row[0], c.rowX, c.rowY, 0.0f);
        // The bone in the lump's parent space is where it was.
        bzV3 bone = rig.BonePosition(1);
        bz_M34_TransformPoint(&rig.lump.matrix, &bone);
        ExpectNear(bone, 11.0f, 0.0f, 0.0f);
        EXPECT_EQ(rig.instance->flags & BZ_SKIN_NEEDS_UPDATE, BZ_SKIN_NEEDS_UPDATE);
    }

    // Spherical blending a quarter of the way turns bone 1 by exactly 22.5 degrees (normalised
    // linear blending would give 21.6), and converting at once leaves nothing to update.
    rig.lump.matrix = *bz_M34_Identity();
    ASSERT_EQ(bz_Skeleton_PoseFromBlendMoving(&rig.lump, rest, 0, turned, 0, 0.25f, -1,
                                              BZ_BLEND_SLERP | BZ_BLEND_CONVERT),
              0);
    EXPECT_EQ(rig.instance->flags & BZ_SKIN_NEEDS_UPDATE, 0);
    ExpectNear(rig.lump.matrix.row[3], 0.0f, 0.0f, 0.0f); // not asked to move
    bzM34 m{};
    ASSERT_EQ(bz_Skeleton_GetBoneMatrix(&rig.lump, rig.model, 1, &m), 0);
    ExpectNear(m.row[0], 0.92387953f, 0.38268343f, 0.0f);
    ASSERT_EQ(bz_Skeleton_PoseFromBlendMoving(&rig.lump, rest, 0, turned, 0, 0.25f, -1, 0), 0);
    ASSERT_EQ(bz_Skeleton_GetBoneMatrix(&rig.lump, rig.model, 1, &m), 0);
    EXPECT_NEAR(m.row[0].y, 0.3680947f, 1e-5f); // sin 21.598 degrees

    // Moving needs a reference bone of the skeleton.
    for (int32_t bad : {-1, 2})
        EXPECT_EQ(bz_Skeleton_PoseFromBlendMoving(&rig.lump, rest, 0, turned, 0, 0.5f, bad,
                                                  BZ_BLEND_MOVE_LUMP),
                  BZ_ERROR_INVALID_PARAMETER);
}

TEST_F(SkinInstanceTest, ScalingAndTheWeightedReferenceFrame)
{
    Rig rig(3, {{{0, 1.0f}}, {{2, 1.0f}}});
    const int16_t two[] = {1, 2};
    const float halves[] = {0.5f, 0.5f};
    const bzV3 forward{0.0f, 0.0f, 1.0f}, up{0.0f, 1.0f, 0.0f};
    bzM34 m{};
    // Bind pose: P = (1.5, 0, 0); A1 = forward, A2 = up; rows (1, 0, 0), up, forward.
    ASSERT_EQ(bz_Skeleton_BlendPoses(rig.model, nullptr, 2, two, halves, &forward, &up, &m), 0);
    ExpectNear(m.row[0], 1.0f, 0.0f, 0.0f);
    ExpectNear(m.row[1], 0.0f, 1.0f, 0.0f);
    ExpectNear(m.row[2], 0.0f, 0.0f, 1.0f);
    ExpectNear(m.row[3], 1.5f, 0.0f, 0.0f);
    // The current pose with bone 2 turned a quarter about z: A2 = (-0.5, 0.5, 0), unnormalised.
    ASSERT_TRUE(rig.Start());
    bzAnimation *turn = bz_CreateAnimation(0, 1, 3);
    turn->rotations[2] = AboutZ(90.0f);
    rig.Play(turn, 0, 0.0f);
    ASSERT_EQ(bz_Skeleton_BlendPoses(rig.model, &rig.lump, 2, two, halves, &forward, &up, &m), 0);
    ExpectNear(m.row[1], -0.5f, 0.5f, 0.0f);
    ExpectNear(m.row[3], 1.5f, 0.0f, 0.0f);
    const int16_t outside[] = {3};
    EXPECT_EQ(bz_Skeleton_BlendPoses(rig.model, nullptr, 1, outside, halves, &forward, &up, &m),
              BZ_ERROR_INVALID_PARAMETER);

    bz_Skeleton_Scale(rig.model, 2.0f);
    EXPECT_EQ(rig.bind[2].position.x, 4.0f);
    EXPECT_EQ(rig.offsets[1].x, 2.0f);
    EXPECT_EQ(rig.positions[1].x, 3.0f);
    bz_ReleaseAnimation(turn, 0);
}

TEST_F(SkinInstanceTest, DeformedPositionsLiveInTheirPartUntilReleased)
{
    Rig rig(3, {{{0, 1.0f}}, {{2, 1.0f}}});
    ASSERT_TRUE(rig.Start());
    bzAnimation *lift = bz_CreateAnimation(0, 1, 3);
    lift->rootPositions[0] = {0.0f, 0.0f, 1.0f};
    rig.Play(lift, 0, 0.0f);
    bzModelPart *part = rig.model->part;
    ASSERT_EQ(part->positions[0], rig.skeleton.skinnedPositionsDefault);
    ASSERT_EQ(bz_Skeleton_ComputeSkinnedPositions(&rig.lump), 0);
    bzV3 *buffer = part->positions[0];
    ASSERT_NE(buffer, nullptr);
    ExpectNear(buffer[0], 0.5f, 0.0f, 1.0f);
    ExpectNear(buffer[1], 1.5f, 0.0f, 1.0f);
    // Again while installed: the same buffer is written.
    ASSERT_EQ(bz_Skeleton_ComputeSkinnedPositions(&rig.lump), 0);
    EXPECT_EQ(part->positions[0], buffer);
    bz_Skeleton_ReleaseSkinnedPositions(&rig.lump);
    EXPECT_EQ(part->positions[0], rig.skeleton.skinnedPositionsDefault);
    bz_Skeleton_ReleaseSkinnedPositions(&rig.lump); // nothing remembered: nothing happens
    bzLump plain{};
    EXPECT_EQ(bz_Skeleton_ComputeSkinnedPositions(&plain), BZ_ERROR_INVALID_PARAMETER);
    // Without bind positions nothing is installed.
    rig.skeleton.vertexPositions = nullptr;
    EXPECT_EQ(bz_Skeleton_ComputeSkinnedPositions(&rig.lump), BZ_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(part->positions[0], nullptr);
    bz_ReleaseAnimation(lift, 0);
}

TEST_F(SkinInstanceTest, PosedPositionsAreKeptForTheFrameWhileThePoseStands)
{
    Rig rig(3, {{{0, 1.0f}}, {{2, 1.0f}}, {{1, 0.5f}, {2, 0.5f}}});
    ASSERT_TRUE(rig.Start());
    bzAnimation *lift = bz_CreateAnimation(0, 2, 3);
    lift->rootPositions[0] = {0.0f, 0.0f, 1.0f};
    lift->rootPositions[1] = {0.0f, 0.0f, 4.0f};
    rig.Play(lift, 0, 0.0f);
    const bzV3 *posed = bz_Skeleton_GetPosedPositions(&rig.lump);
    ASSERT_NE(posed, nullptr);
    // Lifted one unit: (0.5, 0, 1), (1.5, 0, 1), (2.5, 0, 1).
    ExpectNear(posed[0], 0.5f, 0.0f, 1.0f);
    ExpectNear(posed[1], 1.5f, 0.0f, 1.0f);
    ExpectNear(posed[2], 2.5f, 0.0f, 1.0f);

    // A second query of the frame takes no memory and gives the same positions: moving a bind
    // position behind the cache's back shows they were not made again.
    bzMemStats before{};
    bz_Mem_GetStats(&before);
    rig.positions[0].x = 10.0f;
    EXPECT_EQ(bz_Skeleton_GetPosedPositions(&rig.lump), posed);
    ExpectNear(posed[0], 0.5f, 0.0f, 1.0f);
    bzMemStats after{};
    bz_Mem_GetStats(&after);
    EXPECT_EQ(after.blockCount, before.blockCount);

    // A new frame makes them again, in the same block.
    bz_Skeleton_NewFrame();
    EXPECT_EQ(bz_Skeleton_GetPosedPositions(&rig.lump), posed);
    ExpectNear(posed[0], 10.0f, 0.0f, 1.0f);
    rig.positions[0].x = 0.5f;

    // A changed pose within the frame makes them again: frame 1 lifts to z = 4.
    rig.instance->frame = 1;
    rig.instance->flags |= BZ_SKIN_NEEDS_UPDATE;
    EXPECT_EQ(bz_Skeleton_GetPosedPositions(&rig.lump), posed);
    ExpectNear(posed[0], 0.5f, 0.0f, 4.0f);
    ExpectNear(posed[2], 2.5f, 0.0f, 4.0f);
    // The same as skinning afresh.
    bzV3 fresh[3];
    bz_Skeleton_SkinVertices(rig.model, &rig.lump, fresh, nullptr);
    for (int32_t v = 0; v < 3; ++v)
        ExpectNear(posed[v], fresh[v].x, fresh[v].y, fresh[v].z);

    // Nothing for a lump that cannot be posed or without bind positions.
    bzLump plain{};
    EXPECT_EQ(bz_Skeleton_GetPosedPositions(&plain), nullptr);
    rig.skeleton.vertexPositions = nullptr;
    EXPECT_EQ(bz_Skeleton_GetPosedPositions(&rig.lump), nullptr);
    bz_ReleaseAnimation(lift, 0);
}

TEST_F(SkinInstanceTest, BadSkeletonsGetNoInstance)
{
    struct Case
    {
        const char *what;
        void (*spoil)(Rig &);
    };
    const Case cases[] = {
        {"root with a parent", [](Rig &r) { r.bones[0].parent = 2; }},
        {"parent cycle",
         [](Rig &r)
         {
             r.bones[1].parent = 2;
             r.bones[2].firstChild = 1;
         }},
        {"link out of range", [](Rig &r) { r.bones[2].firstChild = 9; }},
        {"bone-lump slot 8", [](Rig &r) { r.bones[1].lumpSlot = 8; }},
        {"influence bone past the count", [](Rig &r) { r.influenceBones[1] = 3; }},
        {"negative influence bone", [](Rig &r) { r.influenceBones[0] = -1; }},
        {"influences past the arrays", [](Rig &r) { r.influences[1].count = 3; }},
        {"five influence slots", [](Rig &r) { r.skeleton.influenceSlots = 5; }},
        {"no bind pose", [](Rig &r) { r.bind.clear(); }},
    };
    for (const Case &c : cases)
    {
        Rig rig(3, {{{0, 1.0f}}, {{1, 0.5f}, {2, 0.5f}}});
        c.spoil(rig);
        rig.Wire();
        if (rig.bind.empty())
            rig.skeleton.bindPose = nullptr;
        bzgLastError = 0;
        EXPECT_FALSE(rig.Start()) << c.what;
        EXPECT_EQ(bzgLastError, BZ_ERROR_INVALID_PARAMETER) << c.what;
        EXPECT_EQ(rig.model->refCount, 1) << c.what;
    }
    Rig fine(3, {{{0, 1.0f}}});
    EXPECT_TRUE(fine.Start());
    Rig tooMany(BZ_SKELETON_MAX_BONES + 1, {});
    EXPECT_FALSE(tooMany.Start());
    bzModel *plain = bz_CreateModel(0, 0);
    EXPECT_EQ(bz_CreateSkinInstance(plain), nullptr);
    EXPECT_EQ(bz_CreateSkinInstance(nullptr), nullptr);
    bz_ReleaseModel(plain);

    EXPECT_EQ(bz_CreateAnimation(0, 0, 3), nullptr);
    EXPECT_EQ(bz_CreateAnimation(0, 1, 51), nullptr);
    EXPECT_EQ(bzgLastError, BZ_ERROR_INVALID_PARAMETER);
}

TEST_F(SkinInstanceTest, RootMatrixAndPhysicsMode)
{
    Rig rig(2, {});
    ASSERT_TRUE(rig.Start());
    bzM34 placed = *bz_M34_Identity();
    placed.row[3] = {5.0f, 0.0f, 0.0f};
    bz_Skeleton_SetRootMatrix(&rig.lump, &placed);
    EXPECT_EQ(rig.lump.matrix.row[3].x, 5.0f);
    EXPECT_EQ(rig.instance->root.row[3].x, 5.0f);
    // While an animation is current the lump's own matrix stays.
    bzAnimation *idle = bz_CreateAnimation(0, 1, 2);
    rig.instance->anim = idle;
    placed.row[3] = {7.0f, 0.0f, 0.0f};
    bz_Skeleton_SetRootMatrix(&rig.lump, &placed);
    EXPECT_EQ(rig.lump.matrix.row[3].x, 5.0f);
    EXPECT_EQ(rig.instance->root.row[3].x, 7.0f);
    bz_Skeleton_SetPhysicsDriven(&rig.lump);
    EXPECT_EQ(rig.instance->flags & BZ_SKIN_PHYSICS, BZ_SKIN_PHYSICS);
    // A lump of another type is left alone.
    bzLump other{};
    other.type = BZ_LUMP_TYPE_MODEL;
    bz_Skeleton_SetPhysicsDriven(&other);
    bz_Skeleton_SetRootMatrix(&other, &placed);
    EXPECT_EQ(other.matrix.row[3].x, 0.0f);
    bz_ReleaseAnimation(idle, 0);
}
} // namespace
