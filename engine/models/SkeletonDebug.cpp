#include "models/SkeletonDebug.h"

#include "core/Error.h"
#include "maths/Quat.h"
#include "models/Model.h"
#include "models/SkinInstance.h"
#include "scene/Lump.h"

namespace
{
bzSkeletonShapeServices gShapes;
} // namespace

void bz_Skeleton_SetShapeServices(const bzSkeletonShapeServices *services)
{
    gShapes = services ? *services : bzSkeletonShapeServices{};
}

void bz_Skeleton_GetShapeServices(bzSkeletonShapeServices *out)
{
    if (out)
        *out = gShapes;
}

bzLump *bz_Skeleton_BuildDebugLump(bzLump *lump)
{
    if (!bz_Skeleton_IsPosable(lump))
    {
        bzgLastError = BZ_ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    const bzSkeleton *skeleton =
        static_cast<const bzSkinInstance *>(lump->object)->model->part->skeleton;
    bzLump *top = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "Skeleton");
    if (!top)
    {
        bzgLastError = BZ_ERROR_NO_MEMORY;
        return nullptr;
    }
    if (!gShapes.createShapeLump)
        return top;
    const bzSkeletonBone *bones = skeleton->bones;
    for (int32_t b = 0; b < skeleton->boneCount; ++b)
    {
        bzV3 points[BZ_SKELETON_MAX_BONES + 1];
        int32_t count = 0;
        // The links were checked when the instance was made: a child list holds each bone once.
        for (int32_t c = bones[b].firstChild; c != -1 && count < BZ_SKELETON_MAX_BONES;
             c = bones[c].nextSibling)
            points[count++] = skeleton->boneOffsets[c];
        if (bones[b].parent != -1)
            points[count++] = bzV3{};
        if (count < 2)
            continue;
        bzLump *shape = gShapes.createShapeLump(count == 2 ? BZ_SKELETON_SHAPE_TICTAC
                                                           : BZ_SKELETON_SHAPE_ROUNDED_POLYHEDRON,
                                                points, count, BZ_SKELETON_SHAPE_RADIUS);
        if (!shape)
            continue;
        const bzQuatPos bind{skeleton->bindPose[b].rotation, skeleton->bindPose[b].position};
        bz_QuatPos_ToM34(&bind, &shape->matrix);
        if (bz_Lump_Attach(top, shape) != BZ_ERROR_NONE)
            bz_Lump_DestroyTree(shape);
    }
    return top;
}
