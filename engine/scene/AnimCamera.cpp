// The camera set-up: an animation whose tracks "Camera" and "CameraTarget" drive a camera lump
// and a target lump of their own, played into a viewport.
#include "scene/Anim.h"

#include "core/Memory.h"
#include "core/Strings.h"
#include "scene/Lump.h"

#include <cstring>

namespace
{
bzAnimCamera *gActive;

constexpr float kFieldOfView = 90.0f;

bool NameIs(const char (&name)[BZ_ANIM_NAME_SIZE], const char *wanted)
{
    char text[BZ_ANIM_NAME_SIZE + 1];
    std::memcpy(text, name, BZ_ANIM_NAME_SIZE);
    text[BZ_ANIM_NAME_SIZE] = 0;
    return bz_StrCompareNoCase(text, wanted) == 0;
}

void FreeRecord(bzAnimCamera *record)
{
    bz_AnimChannel_Free(record->fieldOfView);
    bz_MemFree(record);
}

// Makes the lumps of the tracks "Camera" and "CameraTarget" that found none in the tree.
bool MakeLumps(bzAnimCamera *record)
{
    const bzKeyAnim *anim = record->anim;
    bzLump **targets = record->instance->targets;
    for (uint32_t i = 0; i < anim->nameCount; i++)
    {
        if (targets[i])
            continue;
        if (NameIs(anim->names[i], "Camera"))
        {
            if (!record->camera)
                record->camera = bz_Lump_CreateCamera(nullptr, kFieldOfView);
            if (!record->camera)
                return false;
            targets[i] = record->camera;
        }
        else if (NameIs(anim->names[i], "CameraTarget"))
        {
            if (!record->target)
                record->target = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "CameraTarget");
            if (!record->target)
                return false;
            targets[i] = record->target;
        }
    }
    return true;
}
} // namespace

void bz_AnimCamera_KeepFovChannel(bzAnimChannel *channel, void *record)
{
    bzAnimCamera *camera = static_cast<bzAnimCamera *>(record);
    if (channel && camera && channel->kind == BZ_ANIM_KIND_FLOAT)
    {
        bz_AnimChannel_Free(camera->fieldOfView);
        camera->fieldOfView = channel;
        return;
    }
    bz_AnimChannel_Free(channel);
}

bzAnimCamera *bz_AnimCamera_Load(const char *fileName, bzLump *root)
{
    bzAnimCamera *record =
        static_cast<bzAnimCamera *>(bz_MemAlloc(sizeof(bzAnimCamera), BZ_MEM_CLEAR));
    if (!record)
    {
        bzgLastError = BZ_ERROR_NO_MEMORY;
        return nullptr;
    }
    record->anim = bz_Anim_Load(fileName, bz_AnimCamera_KeepFovChannel, record);
    if (!record->anim)
    {
        FreeRecord(record);
        return nullptr;
    }
    record->instance = bz_AnimInstance_Create(record->anim, root);
    if (!record->instance || !MakeLumps(record))
    {
        bz_AnimCamera_Destroy(record);
        bzgLastError = BZ_ERROR_NO_MEMORY;
        return nullptr;
    }
    return record;
}

void bz_AnimCamera_Start(bzAnimCamera *record, bzViewport *viewport)
{
    if (!record)
        return;
    record->viewport = viewport;
    record->previousCamera = bz_Anim_GetViewportCamera(viewport);
    if (record->camera)
        bz_Anim_SetViewportCamera(viewport, record->camera);
    gActive = record;
    bz_AnimInstance_SetSpeed(record->instance, 1.0f);
    record->active = 1;
}

void bz_AnimCamera_Stop(bzAnimCamera *record)
{
    if (!record)
        return;
    if (record->instance)
    {
        record->instance->speed = 0.0f;
        record->instance->time = 0.0f;
    }
    if (record->active)
        bz_Anim_SetViewportCamera(record->viewport, record->previousCamera);
    if (gActive == record)
        gActive = nullptr;
    record->active = 0;
    record->word4 = 0;
}

void bz_AnimCamera_Pause(bzAnimCamera *record)
{
    if (!record)
        return;
    bz_AnimInstance_Pause(record->instance);
    record->paused = 1;
}

void bz_AnimCamera_Resume(bzAnimCamera *record)
{
    if (!record)
        return;
    bz_AnimInstance_Resume(record->instance);
    record->paused = 0;
}

void bz_AnimCamera_Destroy(bzAnimCamera *record)
{
    if (!record)
        return;
    // A running record gives the viewport its own camera back before its lump goes.
    if (record->active || gActive == record)
        bz_AnimCamera_Stop(record);
    bz_AnimInstance_Destroy(record->instance);
    bz_Anim_Destroy(record->anim);
    bz_Lump_DestroyTree(record->camera);
    bz_Lump_DestroyTree(record->target);
    FreeRecord(record);
}

bzAnimCamera *bz_AnimCamera_GetActive()
{
    return gActive;
}
