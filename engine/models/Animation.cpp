#include "models/Animation.h"

#include "core/Error.h"
#include "core/Memory.h"

namespace
{
constexpr int32_t kMaxFrames = 65535;
constexpr int32_t kMaxBones = 50;
} // namespace

bzAnimation *bz_CreateAnimation(int32_t poolId, int32_t frameCount, int32_t boneCount)
{
    if (frameCount < 1 || frameCount > kMaxFrames || boneCount < 1 || boneCount > kMaxBones)
    {
        bzgLastError = BZ_ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    auto *animation =
        static_cast<bzAnimation *>(poolId > 0 ? bz_Pool_Alloc(poolId, BZ_MEM_CLEAR)
                                              : bz_MemAlloc(sizeof(bzAnimation), BZ_MEM_CLEAR));
    if (!animation)
    {
        bzgLastError = BZ_ERROR_NO_MEMORY;
        return nullptr;
    }
    const auto frames = static_cast<uint32_t>(frameCount);
    const uint32_t rotations = frames * static_cast<uint32_t>(boneCount);
    animation->fps = 25;
    animation->nameTable = -1;
    animation->frameCount = frameCount;
    animation->boneCount = boneCount;
    animation->rootPositions =
        static_cast<bzV3 *>(bz_MemAlloc(frames * sizeof(bzV3), BZ_MEM_CLEAR));
    animation->rotations = static_cast<bzQuat *>(bz_MemAlloc(rotations * sizeof(bzQuat), 0));
    animation->motionPositions =
        static_cast<bzV3 *>(bz_MemAlloc(frames * sizeof(bzV3), BZ_MEM_CLEAR));
    animation->motionRotations = static_cast<bzQuat *>(bz_MemAlloc(frames * sizeof(bzQuat), 0));
    if (!animation->rootPositions || !animation->rotations || !animation->motionPositions ||
        !animation->motionRotations)
    {
        bz_ReleaseAnimation(animation, poolId);
        bzgLastError = BZ_ERROR_NO_MEMORY;
        return nullptr;
    }
    for (uint32_t i = 0; i < rotations; ++i)
        animation->rotations[i] = bzQuat{{0.0f, 0.0f, 0.0f, 1.0f}};
    for (uint32_t f = 0; f < frames; ++f)
        animation->motionRotations[f] = bzQuat{{0.0f, 0.0f, 0.0f, 1.0f}};
    return animation;
}

void bz_ReleaseAnimation(bzAnimation *animation, int32_t poolId)
{
    if (!animation)
        return;
    bz_MemFree(animation->rootPositions);
    bz_MemFree(animation->rotations);
    bz_MemFree(animation->motionPositions);
    bz_MemFree(animation->motionRotations);
    if (poolId > 0)
        bz_Pool_FreeElement(poolId, animation);
    else
        bz_MemFree(animation);
}
