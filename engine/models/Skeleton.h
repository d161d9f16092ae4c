// The skeleton record of a skinned model's part: the bone hierarchy with its bind pose, the
// per-bone boxes and offsets and the per-vertex bone influences. The model file reader fills
// it; posing and skinning work on it.
#pragma once

#include "maths/Types.h"

#include <cstdint>

constexpr int32_t BZ_BONE_NAME_LENGTH = 32;

// A bone: its links (-1 for none) and its name (32 characters, no terminator when full).
struct bzSkeletonBone
{
    int8_t parent;
    int8_t firstChild;
    int8_t nextSibling;
    int8_t lumpSlot; // 0..7 in the bone-lump table, or -1
    char name[BZ_BONE_NAME_LENGTH];
};
static_assert(sizeof(bzSkeletonBone) == 36);

// A bone pose: rotation, position and one word nothing reads.
struct bzBonePose
{
    bzQuat rotation;
    bzV3 position;
    uint32_t word;
};
static_assert(sizeof(bzBonePose) == 32);

// A vertex's influences: entries first .. first + count - 1 of the two flat arrays.
struct bzSkinInfluences
{
    int16_t count;
    uint8_t spare[2];
    int32_t first;
};
static_assert(sizeof(bzSkinInfluences) == 8);

struct bzSkeleton
{
    int16_t influenceSlots;
    int16_t boneCount;
    int16_t rootBone;
    int16_t nameTable;
    bzSkeletonBone *bones;
    bzBox *boneBoxes;
    bzBonePose *bindPose;
    int16_t *influenceBones;
    bzV3 *vertexPositions;
    float *influenceWeights;
    bzSkinInfluences *vertexInfluences; // one per part vertex
    void *boneLumps;
    bzV3 *boneOffsets;
    bzV3 *normalsCopy;
    bzV3 *skinnedPositionsDefault;
    uint32_t influenceCount; // entries of influenceBones and influenceWeights
};

// 0 when the links form one tree: each in range, the root without parent, no cycle, and every
// bone in the child list of its parent exactly when it names that parent; else 29.
int32_t bz_CheckSkeletonTree(const bzSkeletonBone *bones, int32_t count, int32_t root);
