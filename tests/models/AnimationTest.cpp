#include "models/AnimPlay.h"
#include "models/AnimRootMotion.h"
#include "models/Animation.h"

#include "core/Bytes.h"
#include "files/DebugOutput.h"
#include "maths/Matrix.h"
#include "models/Model.h"
#include "models/ModelAccess.h"
#include "models/SkinInstance.h"
#include "scene/Lump.h"

#include "ModelsTestSupport.h"
#include "SkinTestSupport.h"

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace
{
using AnimationTest = ModelRecordsTest;

constexpr float kEps = 1e-5f;

// Little-endian bytes of an animation file, field by field.
struct Bytes
{
    std::string s;
    Bytes &U8(uint8_t v)
    {
        s.push_back(static_cast<char>(v));
        return *this;
    }
    template <size_t N, typename V> Bytes &Le(void (*put)(uint8_t *, V), V v)
    {
        uint8_t b[N];
        put(b, v);
        s.append(reinterpret_cast<char *>(b), N);
        return *this;
    }
    Bytes &U16(uint32_t v) { return Le<2>(bz_PutU16LE, v); }
    Bytes &U32(uint32_t v) { return Le<4>(bz_PutU32LE, v); }
    Bytes &F32(float v) { return Le<4>(bz_PutF32LE, v); }
    Bytes &Name(const char *name)
    {
        std::string field(32, '\0');
        field.replace(0, std::string(name).size(), name);
        s += field;
        return *this;
    }
};

// Header of version 0x101 with the encoding flags, one bone named "Root".
Bytes Header(uint16_t encoding, uint16_t fps, uint32_t frames)
{
    Bytes b;
    b.U16(0x101).U16(encoding).U16(fps).U32(frames).U32(1).Name("Root");
    return b;
}

std::string DebugText()
{
    bz_DebugOutput_CloseDefault();
    return ReadWholeFile("MOTHER.TXT");
}

void ExpectQuat(const bzQuat &q, float x, float y, float z, float w)
{
    EXPECT_NEAR(q.x, x, kEps);
    EXPECT_NEAR(q.y, y, kEps);
    EXPECT_NEAR(q.z, z, kEps);
    EXPECT_NEAR(q.w, w, kEps);
}

TEST_F(AnimationTest, RotationsAreStoredXZYW)
{
    // Version 0x100 has no flags field: the frame rate follows the version.
    Bytes old;
    old.U16(0x100).U16(30).U32(1).U32(1).Name("Root");
    old.F32(1.0f).F32(2.0f).F32(3.0f).F32(0.1f).F32(0.2f).F32(0.3f).F32(0.5f);
    Put("old.anm", old.s);
    bzAnimation *a = bz_LoadAnimation(0, "old.anm");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->fps, 30);
    EXPECT_EQ(a->frameCount, 1);
    EXPECT_EQ(a->boneCount, 1);
    EXPECT_EQ(a->rootPositions[0].y, 2.0f);
    // Taken as stored, not normalised.
    ExpectQuat(a->rotations[0], 0.1f, 0.3f, 0.2f, 0.5f);
    EXPECT_EQ(a->motionPositions, nullptr);
    EXPECT_EQ(a->motionRotations, nullptr);
    EXPECT_STREQ(bz_GetBoneNameFromTable(a->nameTable, 0), "Root");
    bz_ReleaseAnimation(a, 0);

    // Bytes: 127 is 0 and 254 is 1 before normalising; four u16: 65,535 is 1 and 0 is -1.
    struct Case
    {
        uint16_t encoding;
        std::vector<uint32_t> stored; // x, z, y, w
        bzQuat expected;
    };
    const float h = 0.5f;
    const Case cases[] = {
        {0x1, {127, 127, 127, 254}, {{0.0f, 0.0f, 0.0f, 1.0f}}},
        {0x1, {254, 127, 127, 127}, {{1.0f, 0.0f, 0.0f, 0.0f}}},
        {0x3, {127, 254, 127, 127}, {{0.0f, 0.0f, 1.0f, 0.0f}}}, // bit 0 wins
        {0x1, {255, 127, 127, 127}, {{1.0f, 0.0f, 0.0f, 0.0f}}},
        {0x2, {0, 0, 65535, 65535}, {{-h, h, -h, h}}},
    };
    for (const Case &c : cases)
    {
        Bytes b = Header(c.encoding, 25, 1);
        b.F32(0.0f).F32(0.0f).F32(0.0f);
        for (uint32_t v : c.stored)
            (c.encoding & 1) ? b.U8(static_cast<uint8_t>(v)) : b.U16(v);
        Put("packed.anm", b.s);
        bzAnimation *p = bz_LoadAnimation(0, "packed.anm");
        ASSERT_NE(p, nullptr) << c.encoding;
        ExpectQuat(p->rotations[0], c.expected.x, c.expected.y, c.expected.z, c.expected.w);
        bz_ReleaseAnimation(p, 0);
    }
}

TEST_F(AnimationTest, SavedAnimationsLoadBackAndCarryTheirRootMotion)
{
    char names[2][32] = {"Pelvis", "Spine"};
    bzAnimation *a = bz_CreateAnimation(0, 3, 2);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->fps, 25);
    a->fps = 12;
    a->nameTable = static_cast<int16_t>(bz_GetBoneNameTable(names[0], 2, 32, nullptr));
    for (int32_t i = 0; i < 6; ++i)
        a->rotations[i] = bzQuat{{0.1f * i, -0.2f, 0.3f, 0.9f}};
    for (int32_t f = 0; f < 3; ++f)
        a->rootPositions[f] = {1.0f * f, 2.0f, -3.0f};
    // Identity motion tracks change nothing.
    ASSERT_EQ(bz_SaveAnimation(a, "walk.anm"), 0);
    EXPECT_EQ(ReadWholeFile("walk.anm").size(), 14u + 64u + 3u * (12u + 32u));
    bzAnimation *b = bz_LoadAnimation(0, "walk.anm");
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->fps, 12);
    EXPECT_EQ(b->nameTable, a->nameTable);
    for (int32_t i = 0; i < 6; ++i)
        ExpectQuat(b->rotations[i], a->rotations[i].x, a->rotations[i].y, a->rotations[i].z,
                   a->rotations[i].w);
    for (int32_t f = 0; f < 3; ++f)
        EXPECT_EQ(b->rootPositions[f].x, a->rootPositions[f].x);
    bz_ReleaseAnimation(b, 0);

    // Frame 1 with a root motion of a quarter turn about y and a step of 5 along x is written
    // recombined: root (1, 2, -3) turned to (-3, 2, -1) and moved to (2, 2, -1).
    const float s = std::sqrt(0.5f);
    a->motionRotations[1] = bzQuat{{0.0f, s, 0.0f, s}};
    a->motionPositions[1] = {5.0f, 0.0f, 0.0f};
    a->rotations[2] = bzQuat{{0.0f, 0.0f, 0.0f, 1.0f}};
    ASSERT_EQ(bz_SaveAnimation(a, "walk.anm"), 0);
    b = bz_LoadAnimation(0, "walk.anm");
    ASSERT_NE(b, nullptr);
    EXPECT_NEAR(b->rootPositions[1].x, 2.0f, kEps);
    EXPECT_NEAR(b->rootPositions[1].y, 2.0f, kEps);
    EXPECT_NEAR(b->rootPositions[1].z, -1.0f, kEps);
    ExpectQuat(b->rotations[2], 0.0f, s, 0.0f, s);
    ExpectQuat(b->rotations[0], a->rotations[0].x, a->rotations[0].y, a->rotations[0].z,
               a->rotations[0].w);
    bz_ReleaseAnimation(b, 0);

    EXPECT_EQ(bz_SaveAnimation(a, "no_such_folder/walk.anm"), BZ_ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(bz_SaveAnimation(nullptr, "x.anm"), BZ_ERROR_INVALID_PARAMETER);
    bz_ReleaseAnimation(a, 0);
}

TEST_F(AnimationTest, BadFilesLoadNothing)
{
    Bytes good = Header(0, 25, 2);
    for (int32_t f = 0; f < 2; ++f)
        good.F32(0.0f).F32(0.0f).F32(0.0f).F32(0.0f).F32(0.0f).F32(0.0f).F32(1.0f);
    struct Case
    {
        const char *what;
        std::string bytes;
    };
    std::vector<Case> cases = {
        {"no frames", Header(0, 25, 0).s},
        {"frame rate 0", Header(0, 0, 2).s + good.s.substr(46)},
        {"51 bones", Bytes{}.U16(0x101).U16(0).U16(25).U32(1).U32(51).s},
        {"no bones", Bytes{}.U16(0x101).U16(0).U16(25).U32(1).U32(0).s},
        {"a frame count past the file", Header(0, 25, 0x7FFFFFFF).s + good.s.substr(46)},
        {"negative frame count", Header(0, 25, 0x80000000u).s},
    };
    for (size_t n = 0; n < good.s.size(); ++n)
        cases.push_back({"truncated", good.s.substr(0, n)});
    Put("good.anm", good.s);
    bzAnimation *fine = bz_LoadAnimation(0, "good.anm");
    ASSERT_NE(fine, nullptr);
    bz_ReleaseAnimation(fine, 0);
    for (const Case &c : cases)
    {
        Put("bad.anm", c.bytes);
        bzgLastError = 0;
        EXPECT_EQ(bz_LoadAnimation(0, "bad.anm"), nullptr) << c.what << " " << c.bytes.size();
        EXPECT_EQ(bzgLastError, BZ_ERROR_BAD_DATA_FORMAT) << c.what;
    }
    bz_DebugOutput_CloseDefault();
    std::remove("MOTHER.TXT");
    EXPECT_EQ(bz_LoadAnimation(0, "missing.anm"), nullptr);
    EXPECT_EQ(bzgLastError, BZ_ERROR_FILE_NOT_FOUND);
    EXPECT_NE(DebugText().find("Couldn't load missing.anm"), std::string::npos);
}

// A skinned lump of a two-bone model for the stepping tests.
struct Player
{
    bzSkeletonBone bones[2] = {{-1, 1, -1, -1, {}}, {0, -1, -1, -1, {}}};
    bzBonePose bind[2] = {{{{0, 0, 0, 1}}, {0, 0, 0}, 0}, {{{0, 0, 0, 1}}, {1, 0, 0}, 0}};
    bzV3 offsets[2] = {{0, 0, 0}, {1, 0, 0}};
    bzSkeleton skeleton{};
    bzModel *model;
    bzLump lump{};
    bzSkinInstance *instance;

    Player()
    {
        model = MakeSkinnedModel(skeleton, 2, -1, bones, bind, offsets);
        instance = bz_CreateSkinInstance(model);
        lump.type = BZ_LUMP_TYPE_SKINNED_MODEL;
        lump.object = instance;
        lump.matrix = *bz_M34_Identity();
    }
    ~Player()
    {
        bz_FreeSkinInstance(instance);
        model->part->skeleton = nullptr;
        bz_ReleaseModel(model);
    }
};

// Eleven frames at 10 per second: one pass lasts a second. Root motion travels 1 along x a
// frame.
bzAnimation *Walk()
{
    bzAnimation *a = bz_CreateAnimation(0, 11, 2);
    a->fps = 10;
    for (int32_t f = 0; f < 11; ++f)
        a->motionPositions[f] = {static_cast<float>(f), 0.0f, 0.0f};
    return a;
}

TEST_F(AnimationTest, SteppingSelectsFrameAndFractionAndWraps)
{
    Player p;
    ASSERT_NE(p.instance, nullptr);
    bzAnimation *walk = Walk();
    bz_Skeleton_StartAnim(&p.lump, walk, 0, 0);
    struct Case
    {
        float time;
        float wrapped;
        int16_t frame;
        float fraction;
    };
    const Case cases[] = {
        {0.0f, 0.0f, 0, 0.0f},          {0.55f, 0.55f, 5, 0.5f},
        {0.50005f, 0.50005f, 5, 0.0f},  // a fraction below 0.001 snaps
        {1.0f, 1.0f, 10, 0.0f},         // exactly at the end
        {1.00001f, 1.00001f, 10, 0.0f}, // 0.0001 / F past it does not wrap
        {1.001f, 0.001f, 0, 0.01f},     // further wraps
        {-0.25f, 0.75f, 7, 0.5f},       // a negative time starts at the end
        {3.25f, 0.25f, 2, 0.5f},
    };
    for (const Case &c : cases)
    {
        p.instance->flags = 0;
        EXPECT_NEAR(bz_Skeleton_StepAnim(&p.lump, walk, c.time, 0), c.wrapped, 1e-4f) << c.time;
        EXPECT_EQ(p.instance->anim, walk);
        EXPECT_EQ(p.instance->frame, c.frame) << c.time;
        EXPECT_NEAR(p.instance->frameFraction, c.fraction, 1e-3f) << c.time;
        EXPECT_EQ(p.instance->flags & 6, 6);
    }
    // Far beyond the pass the time still comes back inside it.
    const float far = bz_Skeleton_StepAnim(&p.lump, walk, 1e30f, 0);
    EXPECT_GE(far, 0.0f);
    EXPECT_LE(far, 1.0f);

    // An animation that is not current and does not wrap is left alone.
    bzAnimation *other = Walk();
    p.instance->frame = 3;
    EXPECT_EQ(bz_Skeleton_StepAnim(&p.lump, other, 0.5f, 0), 0.0f);
    EXPECT_EQ(p.instance->frame, 3);
    EXPECT_EQ(p.instance->anim, walk);

    // One frame, or a frame rate of 0: frame 0, fraction 0, time 0, and no endless wrapping.
    bzAnimation *pose = bz_CreateAnimation(0, 1, 2);
    bz_Skeleton_StartAnim(&p.lump, pose, 0, 0);
    for (float t : {0.0f, 5.0f, -5.0f})
    {
        EXPECT_EQ(bz_Skeleton_StepAnim(&p.lump, pose, t, 1), 0.0f);
        EXPECT_EQ(p.instance->frame, 0);
        EXPECT_EQ(p.instance->frameFraction, 0.0f);
    }
    other->fps = 0;
    bz_Skeleton_StartAnim(&p.lump, other, 0, 0);
    EXPECT_EQ(bz_Skeleton_StepAnim(&p.lump, other, 2.0f, 0), 0.0f);
    bz_ReleaseAnimation(pose, 0);
    bz_ReleaseAnimation(other, 0);
    bz_ReleaseAnimation(walk, 0);
}

TEST_F(AnimationTest, RootMotionMovesTheLumpAcrossPasses)
{
    Player p;
    bzAnimation *walk = Walk();
    bz_Skeleton_StartAnim(&p.lump, walk, 0, 0);
    bz_Skeleton_StepAnim(&p.lump, walk, 0.5f, 1);
    EXPECT_NEAR(p.lump.matrix.row[3].x, 5.0f, kEps);
    bz_Skeleton_StepAnim(&p.lump, walk, 0.55f, 1);
    EXPECT_NEAR(p.lump.matrix.row[3].x, 5.5f, kEps);
    // A second pass starts where the first ended.
    bz_Skeleton_StepAnim(&p.lump, walk, 1.5f, 1);
    EXPECT_NEAR(p.lump.matrix.row[3].x, 15.0f, 1e-4f);
    EXPECT_NEAR(p.instance->root.row[3].x, 10.0f, 1e-4f);

    // Backwards from the start: a quarter second back is 2.5 behind.
    p.lump.matrix = *bz_M34_Identity();
    bz_Skeleton_StartAnim(&p.lump, walk, 0, 1);
    bz_Skeleton_StepAnim(&p.lump, walk, -0.25f, 1);
    EXPECT_EQ(p.instance->frame, 7);
    EXPECT_NEAR(p.lump.matrix.row[3].x, -2.5f, 1e-4f);

    // Physics-driven instances keep their matrix.
    bz_Skeleton_SetPhysicsDriven(&p.lump);
    const bzM34 before = p.lump.matrix;
    bz_Skeleton_StepAnim(&p.lump, walk, 0.3f, 1);
    bz_Skeleton_StepAnim(&p.lump, walk, 1.3f, 1);
    EXPECT_EQ(p.lump.matrix.row[3].x, before.row[3].x);
    // And taking the root motion out only clears the animation.
    bz_Skeleton_RemoveRootMotion(&p.lump);
    EXPECT_EQ(p.instance->anim, nullptr);
    EXPECT_EQ(p.lump.matrix.row[3].x, before.row[3].x);
    bz_ReleaseAnimation(walk, 0);
}

TEST_F(AnimationTest, SteppingTowardABlendAndAPlace)
{
    Player p;
    bzAnimation *walk = Walk();
    bzAnimation *wave = bz_CreateAnimation(0, 4, 2);
    bz_Skeleton_StartAnim(&p.lump, walk, 0, 0);
    bzM34 target = *bz_M34_Identity();
    target.row[3] = {10.0f, 0.0f, -4.0f};
    EXPECT_NEAR(bz_Skeleton_StepAnimToward(&p.lump, walk, 0.3f, 0, wave, 2, 0.25f, &target), 0.3f,
                1e-5f);
    EXPECT_EQ(p.instance->frame, 3);
    EXPECT_EQ(p.instance->blendAnim, wave);
    EXPECT_EQ(p.instance->blendFrame, 2);
    EXPECT_EQ(p.instance->blendWeight, 0.25f);
    EXPECT_NEAR(p.lump.matrix.row[3].x, 2.5f, kEps);
    EXPECT_NEAR(p.lump.matrix.row[3].z, -1.0f, kEps);
    // The update uses the blend once.
    bz_Skeleton_Update(&p.lump, p.model);
    EXPECT_EQ(p.instance->blendAnim, nullptr);
    bz_ReleaseAnimation(wave, 0);
    bz_ReleaseAnimation(walk, 0);
}

TEST_F(AnimationTest, AdvancingKeepsTheLumpWhereItIs)
{
    Player p;
    bzAnimation *walk = Walk();
    const float s = std::sqrt(0.5f);
    walk->motionRotations[0] = bzQuat{{0.0f, s, 0.0f, s}};
    walk->motionPositions[0] = {1.0f, 0.0f, 2.0f};
    p.lump.matrix.row[3] = {3.0f, 4.0f, 5.0f};
    const bzM34 before = p.lump.matrix;
    bz_Skeleton_AdvanceAnim(&p.lump, walk, 0);
    EXPECT_EQ(p.instance->anim, walk);
    bzM34 m{};
    ASSERT_EQ(bz_AnimTrack_GetFrameMatrix(walk, &p.lump, 0, &m), 0);
    for (int32_t r = 0; r < 4; ++r)
        for (int32_t k = 0; k < 3; ++k)
            EXPECT_NEAR(m.row[r].v[k], before.row[r].v[k], 1e-5f) << r << k;
    bz_ReleaseAnimation(walk, 0);
}

TEST_F(AnimationTest, StartingLevelsTheRootAndRemovingTakesTheFirstFrameOut)
{
    Player p;
    bzAnimation *walk = Walk();
    // A lump tipped about z and placed at (1, 2, 3).
    const float s = std::sqrt(0.5f);
    p.lump.matrix.row[0] = {s, s, 0.0f};
    p.lump.matrix.row[1] = {-s, s, 0.0f};
    p.lump.matrix.row[3] = {1.0f, 2.0f, 3.0f};
    bz_Skeleton_StartAnim(&p.lump, walk, 1, 0);
    const bzM34 &root = p.instance->root;
    EXPECT_NEAR(root.row[1].y, 1.0f, kEps);
    EXPECT_NEAR(root.row[2].x * root.row[2].x + root.row[2].z * root.row[2].z, 1.0f, kEps);
    EXPECT_NEAR(root.row[0].y, 0.0f, kEps);
    EXPECT_EQ(root.row[3].z, 3.0f);

    // Removing the root motion takes frame 0's motion out of the lump's matrix.
    p.lump.matrix = *bz_M34_Identity();
    walk->motionPositions[0] = {0.0f, 0.0f, 4.0f};
    walk->motionRotations[0] = bzQuat{{0.0f, s, 0.0f, s}};
    bzM34 m{};
    ASSERT_EQ(bz_AnimTrack_GetFrameMatrix(walk, &p.lump, 0, &m), 0);
    p.lump.matrix = m;
    bz_Skeleton_RemoveRootMotion(&p.lump);
    EXPECT_EQ(p.instance->anim, nullptr);
    for (int32_t r = 0; r < 4; ++r)
        for (int32_t k = 0; k < 3; ++k)
            EXPECT_NEAR(p.lump.matrix.row[r].v[k], root.row[r].v[k], 1e-4f) << r << k;
    EXPECT_EQ(bz_AnimTrack_GetFrameMatrix(nullptr, &p.lump, 0, &m), BZ_ERROR_INVALID_PARAMETER);
    bz_ReleaseAnimation(walk, 0);
}
TEST_F(AnimationTest, RootMotionIsExtractedAlignedMovedAndScaled)
{
    Player p;
    const float h = std::sqrt(0.5f);
    const bzQuat quarterY{{0.0f, h, 0.0f, h}};
    // The root walks 2 along z a frame at height 1; in frame 2 the body faces +x.
    auto walk = [&quarterY]
    {
        bzAnimation *a = bz_CreateAnimation(0, 3, 2);
        for (int32_t f = 0; f < 3; ++f)
            a->rootPositions[f] = {0.0f, 1.0f, 2.0f * f};
        a->rotations[4] = quarterY;
        a->rotations[5] = quarterY;
        return a;
    };
    const int16_t root[] = {0};
    const float one[] = {1.0f};
    const bzV3 forward{0.0f, 0.0f, 1.0f};

    // Positions only: the track follows the root on the ground; nothing else changes.
    bzAnimation *a = walk();
    ASSERT_EQ(bz_Animation_ExtractRootMotion(a, p.model, 0, 1, root, one, nullptr, nullptr), 0);
    for (int32_t f = 0; f < 3; ++f)
    {
        EXPECT_EQ(a->motionPositions[f].y, 0.0f);
        EXPECT_EQ(a->motionPositions[f].z, 2.0f * f);
        EXPECT_EQ(a->rootPositions[f].z, 2.0f * f);
        ExpectQuat(a->motionRotations[f], 0.0f, 0.0f, 0.0f, 1.0f);
    }
    ASSERT_EQ(bz_Animation_ExtractRootMotion(a, p.model, 1, 1, root, one, nullptr, nullptr), 0);
    EXPECT_EQ(a->motionPositions[2].y, 1.0f);
    bz_ReleaseAnimation(a, 0);

    // With the forward axis: frame 2's turn goes into the track and out of the bones.
    a = walk();
    ASSERT_EQ(bz_Animation_ExtractRootMotion(a, p.model, 0, 1, root, one, &forward, nullptr), 0);
    ExpectQuat(a->motionRotations[0], 0.0f, 0.0f, 0.0f, 1.0f);
    ExpectQuat(a->motionRotations[2], 0.0f, h, 0.0f, h);
    ExpectQuat(a->rotations[4], 0.0f, 0.0f, 0.0f, 1.0f);
    for (int32_t f = 0; f < 3; ++f)
    {
        EXPECT_NEAR(a->rootPositions[f].x, 0.0f, kEps);
        EXPECT_NEAR(a->rootPositions[f].y, 1.0f, kEps);
        EXPECT_NEAR(a->rootPositions[f].z, 0.0f, kEps);
    }
    // Written out, the split animation is whole again.
    ASSERT_EQ(bz_SaveAnimation(a, "split.anm"), 0);
    bzAnimation *whole = bz_LoadAnimation(0, "split.anm");
    ASSERT_NE(whole, nullptr);
    for (int32_t f = 0; f < 3; ++f)
        EXPECT_NEAR(whole->rootPositions[f].z, 2.0f * f, kEps);
    ExpectQuat(whole->rotations[5], 0.0f, h, 0.0f, h);
    bz_ReleaseAnimation(whole, 0);

    // The travel (0, 0, 4) turned to +x, the start moved, everything doubled.
    bzV3 travel{};
    ASSERT_EQ(bz_AnimTrack_GetDisplacement(a, &travel), 0);
    EXPECT_EQ(travel.z, 4.0f);
    const bzV3 east{3.0f, 0.0f, 0.0f};
    bz_Animation_AlignTravel(a, &east);
    EXPECT_NEAR(a->motionPositions[1].x, 2.0f, kEps);
    EXPECT_NEAR(a->motionPositions[2].x, 4.0f, kEps);
    EXPECT_NEAR(a->motionPositions[2].z, 0.0f, kEps);
    ExpectQuat(a->motionRotations[0], 0.0f, h, 0.0f, h);
    const bzV3 start{5.0f, 9.0f, 5.0f};
    bz_AnimTrack_MoveStartTo(a, &start);
    EXPECT_NEAR(a->motionPositions[0].x, 5.0f, kEps);
    EXPECT_EQ(a->motionPositions[0].y, 0.0f);
    EXPECT_NEAR(a->motionPositions[2].x, 9.0f, kEps);
    EXPECT_NEAR(a->motionPositions[2].z, 5.0f, kEps);
    bz_Animation_Scale(a, 2.0f);
    EXPECT_NEAR(a->motionPositions[2].x, 18.0f, kEps);
    EXPECT_NEAR(a->rootPositions[1].y, 2.0f, kEps);

    // Bad bones or no skeleton: refused, nothing changed.
    const int16_t outside[] = {2};
    EXPECT_EQ(bz_Animation_ExtractRootMotion(a, p.model, 0, 1, outside, one, nullptr, nullptr),
              BZ_ERROR_INVALID_PARAMETER);
    EXPECT_NEAR(a->motionPositions[2].x, 18.0f, kEps);
    bzModel *plain = bz_CreateModel(0, 0);
    EXPECT_EQ(bz_Animation_ExtractRootMotion(a, plain, 0, 1, root, one, nullptr, nullptr),
              BZ_ERROR_INVALID_PARAMETER);
    bz_ReleaseModel(plain);
    bz_ReleaseAnimation(a, 0);

    // Standing still: no travel to align, no tracks no displacement.
    bzAnimation *still = bz_CreateAnimation(0, 2, 2);
    bz_Animation_AlignTravel(still, &east);
    ExpectQuat(still->motionRotations[1], 0.0f, 0.0f, 0.0f, 1.0f);
    bz_MemFree(still->motionPositions);
    still->motionPositions = nullptr;
    EXPECT_EQ(bz_AnimTrack_GetDisplacement(still, &travel), BZ_ERROR_INVALID_PARAMETER);
    bz_ReleaseAnimation(still, 0);
}
} // namespace
