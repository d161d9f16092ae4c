#include "models/BoneLumps.h"

#include "core/Error.h"
#include "core/Memory.h"
#include "maths/Quat.h"
#include "maths/Vector.h"
#include "models/Model.h"
#include "models/SkinInstance.h"
#include "scene/Lump.h"

#include <cstring>

namespace
{
constexpr bzQuat kGeneral{{0.0f, 0.0f, -0.7071065f, 0.7071065f}};
constexpr bzQuat kIds4And5{{0.7071065f, -0.7071065f, 0.0f, 0.0f}};

bzSkeletonReplayServices gReplay;
bzSkeletonBodyServices gBodies;
bool gHaveReplay;
void *gSession;

bzSkinInstance *InstanceOf(bzLump *lump)
{
    return lump && lump->type == BZ_LUMP_TYPE_SKINNED_MODEL
               ? static_cast<bzSkinInstance *>(lump->object)
               : nullptr;
}

bzSkeleton *SkeletonOf(const bzSkinInstance *instance)
{
    return instance && instance->model && instance->model->part ? instance->model->part->skeleton
                                                                : nullptr;
}

bzBoneLumpTable *TableOf(const bzSkeleton *skeleton)
{
    return skeleton ? static_cast<bzBoneLumpTable *>(skeleton->boneLumps) : nullptr;
}

void Record(bzLump *lump, const bzSkinInstance *instance, bool unlink)
{
    if (!gHaveReplay || !gSession || !gReplay.recording || !gReplay.recording())
        return;
    bzBoneLumpEvent event{};
    for (int32_t i = 0; i < BZ_BONE_LUMP_SLOTS; ++i)
        event.slots[i] = reinterpret_cast<uintptr_t>(instance->boneLumps[i]);
    if (unlink)
        event.slots[0] |= 1u;
    if (void *chunk = gReplay.takeChunk(gSession))
    {
        gReplay.writeEvent(chunk, &event, lump);
        gReplay.commitChunk(chunk);
    }
}

// The first lump of the id in the subtree below the skinned lump, depth first.
bzLump *FindById(bzLump *top, uint8_t id)
{
    for (bzLump *at = top->firstChild; at; at = bz_Lump_NextPreOrder(at, top))
        if (static_cast<uint8_t>(at->idWord) == id)
            return at;
    return nullptr;
}

void Unlink(bzSkinInstance *instance)
{
    std::memset(instance->boneLumps, 0, sizeof instance->boneLumps);
    instance->flags &= static_cast<uint8_t>(~BZ_SKIN_LUMPS_LINKED);
}

// Carries the lump's rigid body, when it has one, to the lump's new world matrix.
void MoveBody(const bzLump *at)
{
    if (!at->dynamicsObject || !gBodies.pose || !gBodies.centre || !gBodies.centreOffset)
        return;
    bzM34 *pose = gBodies.pose(at->dynamicsObject);
    bzV3 *centre = gBodies.centre(at->dynamicsObject);
    const bzV3 *offset = gBodies.centreOffset(at->dynamicsObject);
    if (!pose || !centre || !offset)
        return;
    *pose = at->matrix;
    bz_M34_TransformPointInto(&at->matrix, centre, offset);
}
} // namespace

void bz_Skeleton_SetBodyServices(const bzSkeletonBodyServices *services)
{
    gBodies = services ? *services : bzSkeletonBodyServices{};
}

void bz_Skeleton_SetReplayServices(const bzSkeletonReplayServices *services)
{
    gHaveReplay = services != nullptr;
    gReplay = services ? *services : bzSkeletonReplayServices{};
    gSession = nullptr;
}

int32_t bz_Skeleton_AddBoneLump(bzLump *lump, const char *boneName, uint8_t lumpId)
{
    bzSkinInstance *instance = InstanceOf(lump);
    bzSkeleton *skeleton = SkeletonOf(instance);
    if (!skeleton)
        return BZ_ERROR_INVALID_PARAMETER;
    if (gHaveReplay && !gSession && gReplay.createSession)
        gSession = gReplay.createSession("POOL_(UN)BIND_OBJECT", sizeof(bzBoneLumpEvent),
                                         bz_Skeleton_ApplyBoneLumpEvent);
    bzBoneLumpTable *table = TableOf(skeleton);
    if (!table)
    {
        table = static_cast<bzBoneLumpTable *>(bz_MemAlloc(sizeof(bzBoneLumpTable), BZ_MEM_CLEAR));
        if (!table)
            return bzgLastError = BZ_ERROR_NO_MEMORY;
        // It goes with the part that owns the skeleton.
        bz_MemChild_Add(instance->model->part, table);
        skeleton->boneLumps = table;
    }
    const int32_t bone = bz_Skeleton_FindBone(instance->model, nullptr, 0, boneName);
    if (bone < 0)
        return bzgLastError = BZ_ERROR_INVALID_PARAMETER;
    for (int32_t i = 0; i < table->count; ++i)
        if (table->bone[i] == bone)
            return 0;
    if (table->count >= BZ_BONE_LUMP_SLOTS)
        return bzgLastError = BZ_ERROR_INVALID_PARAMETER;
    const int32_t entry = table->count++;
    table->bone[entry] = static_cast<uint8_t>(bone);
    table->lumpId[entry] = lumpId;
    table->orientation[entry] = (lumpId == 4 || lumpId == 5) ? &kIds4And5 : &kGeneral;
    skeleton->bones[bone].lumpSlot = static_cast<int8_t>(entry);
    return 0;
}

void bz_Skeleton_LinkBoneLumps(bzLump *lump)
{
    bzSkinInstance *instance = InstanceOf(lump);
    const bzSkeleton *skeleton = SkeletonOf(instance);
    const bzBoneLumpTable *table = TableOf(skeleton);
    if (!table || (instance->flags & BZ_SKIN_LUMPS_LINKED))
        return;
    std::memset(instance->boneLumps, 0, sizeof instance->boneLumps);
    instance->flags |= BZ_SKIN_LUMPS_LINKED;
    for (int32_t b = 0; b < skeleton->boneCount; ++b)
    {
        const int32_t slot = skeleton->bones[b].lumpSlot;
        if (slot >= 0 && slot < table->count)
            instance->boneLumps[slot] = FindById(lump, table->lumpId[slot]);
    }
    Record(lump, instance, false);
}

void bz_Skeleton_RecordReplay(bzLump *lump)
{
    bzSkinInstance *instance = InstanceOf(lump);
    if (!instance)
        return;
    Record(lump, instance, true);
    instance->flags &= static_cast<uint8_t>(~BZ_SKIN_LUMPS_LINKED);
}

void bz_Skeleton_ApplyBoneLumpEvent(const void *event, bzLump *lump, int32_t direction)
{
    bzSkinInstance *instance = InstanceOf(lump);
    if (!instance || !event)
        return;
    bzBoneLumpEvent e;
    std::memcpy(&e, event, sizeof e);
    const bool unlinkEvent = (e.slots[0] & 1u) != 0;
    if (unlinkEvent != (direction < 0))
    {
        instance->flags |= BZ_SKIN_NEEDS_UPDATE;
        bz_Skeleton_Update(lump, instance->model);
        Unlink(instance);
        return;
    }
    e.slots[0] &= ~static_cast<uintptr_t>(1u);
    for (int32_t i = 0; i < BZ_BONE_LUMP_SLOTS; ++i)
        instance->boneLumps[i] = reinterpret_cast<bzLump *>(e.slots[i]);
    instance->flags |= BZ_SKIN_LUMPS_LINKED;
}

int32_t bz_Skeleton_BoneLumpRotation(bzLump *lump, int32_t bone, bzQuat *out)
{
    const bzSkinInstance *instance = InstanceOf(lump);
    const bzSkeleton *skeleton = SkeletonOf(instance);
    const bzBoneLumpTable *table = TableOf(skeleton);
    if (!table || !out || !(instance->flags & BZ_SKIN_LUMPS_LINKED) || bone < 0 ||
        bone >= skeleton->boneCount)
        return 0;
    const int32_t slot = skeleton->bones[bone].lumpSlot;
    bzLump *boneLump = slot >= 0 && slot < table->count ? instance->boneLumps[slot] : nullptr;
    if (!boneLump || !(boneLump->flags & BZ_LUMP_ACTIVE))
        return 0;
    bzM34 m;
    if (boneLump->parent == lump && !(boneLump->flags & BZ_LUMP_WORLD))
        m = boneLump->matrix;
    else
        bz_Lump_GetRelativeMatrix(&m, boneLump, lump);
    bzQuatPos pose;
    bz_QuatPos_FromM34(&pose, &m);
    bz_MulQuatInto(&pose.q, out, table->orientation[slot]);
    return 1;
}

void bz_Skeleton_UpdateAttachedLumps(bzLump *lump)
{
    bzSkinInstance *instance = InstanceOf(lump);
    const bzBoneLumpTable *table = TableOf(SkeletonOf(instance));
    if (!table)
        return;
    bzM34 world;
    bz_Lump_GetRelativeMatrix(&world, lump, nullptr);
    for (bzLump *at = lump->firstChild; at; at = bz_Lump_NextPreOrder(at, lump))
    {
        for (int32_t i = 0; i < table->count; ++i)
        {
            if (static_cast<uint8_t>(at->idWord) != table->lumpId[i])
                continue;
            bzM34 bone;
            if (bz_Skeleton_GetBoneMatrix(lump, instance->model, table->bone[i], &bone) != 0)
                break;
            bzQuatPos pose;
            bz_QuatPos_FromM34(&pose, &bone);
            bzQuat back;
            bz_Quat_ConjugateInto(table->orientation[i], &back);
            bz_Quat_PostMul(&back, &pose.q);
            bz_QuatPos_ToM34(&pose, &at->matrix);
            bz_M34_PostMul(&at->matrix, &world);
            at->flags |= BZ_LUMP_WORLD;
            MoveBody(at);
            break;
        }
    }
}
