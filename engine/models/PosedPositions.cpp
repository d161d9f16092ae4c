#include "models/PosedPositions.h"

#include "core/Error.h"
#include "core/Memory.h"
#include "models/Model.h"
#include "models/SkinInstance.h"
#include "scene/Lump.h"

namespace
{
uint32_t gFrameStamp = 1;
} // namespace

void bz_Skeleton_NewFrame()
{
    // 0 marks a buffer never made, so the stamp skips it.
    if (++gFrameStamp == 0)
        gFrameStamp = 1;
}

uint32_t bz_Skeleton_GetFrameStamp()
{
    return gFrameStamp;
}

const bzV3 *bz_Skeleton_GetPosedPositions(bzLump *lump)
{
    if (!bz_Skeleton_IsPosable(lump))
        return nullptr;
    auto *instance = static_cast<bzSkinInstance *>(lump->object);
    bzModel *model = instance->model;
    const bzSkeleton *skeleton = model->part->skeleton;
    const int32_t count = model->part->vertexCount;
    if (count <= 0 || (!skeleton->vertexPositions && !skeleton->skinnedPositionsDefault))
        return nullptr;
    bz_Skeleton_Update(lump, model);
    if (!instance->posedPositions)
    {
        auto *buffer = static_cast<bzV3 *>(
            bz_MemAlloc(static_cast<uint32_t>(count) * static_cast<uint32_t>(sizeof(bzV3)), 0));
        if (!buffer)
        {
            bzgLastError = BZ_ERROR_NO_MEMORY;
            return nullptr;
        }
        // Freed with the instance.
        if (bz_MemChild_Add(instance, buffer) != 0)
        {
            bz_MemFree(buffer);
            bzgLastError = BZ_ERROR_NO_MEMORY;
            return nullptr;
        }
        instance->posedPositions = buffer;
        instance->posedFrame = 0;
    }
    if (instance->posedFrame != gFrameStamp || instance->posedVersion != instance->poseVersion)
    {
        bz_Skeleton_SkinVertices(model, lump, instance->posedPositions, nullptr);
        instance->posedFrame = gFrameStamp;
        instance->posedVersion = instance->poseVersion;
    }
    return instance->posedPositions;
}
