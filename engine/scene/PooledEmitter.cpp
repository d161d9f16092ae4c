#include "scene/PooledEmitter.h"

#include "core/Memory.h"
#include "core/Random.h"
#include "device/RenderTable.h"
#include "scene/EffectServices.h"
#include "scene/Lump.h"
#include "scene/ParticleSystem.h"

#include <cstring>

namespace
{
bzParticleEmitter gPool[BZ_POOLED_EMITTERS];
bzLump *gLumps[BZ_POOLED_EMITTERS];
bool gReady;

void TakeEmitter(bzLump *, void *object)
{
    static_cast<bzParticleEmitter *>(object)->refCount++;
}

void ReleaseEmitter(bzLump *, void *object)
{
    bzParticleEmitter *e = static_cast<bzParticleEmitter *>(object);
    if (e->refCount)
        e->refCount--;
    if (!e->refCount)
        e->inUse = 0;
}

void TakeArray(bzLump *, void *object)
{
    bz_QuadBlockArray_AddRef(static_cast<bzQuadBlockArray *>(object));
}

void ReleaseArray(bzLump *, void *object)
{
    bz_QuadBlockArray_Release(static_cast<bzQuadBlockArray *>(object));
}

void InstallHooks()
{
    const bzLumpObjectHooks emitter = {TakeEmitter, ReleaseEmitter, nullptr, nullptr, nullptr};
    bz_Lump_SetObjectHooks(BZ_LUMP_TYPE_POOLED_EMITTER, &emitter);
    const bzLumpObjectHooks array = {TakeArray, ReleaseArray, nullptr, nullptr, nullptr};
    bz_Lump_SetObjectHooks(BZ_LUMP_TYPE_QUADBLOCKARRAY, &array);
}

void Defaults(bzParticleEmitter *e)
{
    bzLump *lump = e->lump;
    std::memset(static_cast<void *>(e), 0, sizeof *e);
    e->lump = lump;
    e->randomValue = bz_RandomDraw();
    e->refCount = 1;
    e->inUse = 1;
    e->visibilityRadius = 10.0f;
    e->parameter2 = 0.001f;
    e->duration = 2.0f;
}
} // namespace

bzErrorCode bz_ParticleEmitter_InitPool()
{
    InstallHooks();
    if (gReady)
        return BZ_ERROR_NONE;
    for (int32_t i = 0; i < BZ_POOLED_EMITTERS; i++)
    {
        bzParticleEmitter *e = &gPool[i];
        e->inUse = 0;
        bzLump *lump = bz_Lump_Create(BZ_LUMP_TYPE_POOLED_EMITTER, "PPEMIT");
        if (!lump)
        {
            for (int32_t k = 0; k < i; k++)
            {
                bz_Lump_DestroyTree(gLumps[k]);
                gLumps[k] = nullptr;
                gPool[k].lump = nullptr;
            }
            bzgLastError = BZ_ERROR_NO_MEMORY;
            return BZ_ERROR_NO_MEMORY;
        }
        e->lump = lump;
        gLumps[i] = lump;
        bz_Lump_SetObject(lump, e);
    }
    gReady = true;
    if (bzgRenderTable.PDInitEmitterData)
        bzgRenderTable.PDInitEmitterData();
    return BZ_ERROR_NONE;
}

bzParticleEmitter *bz_ParticleEmitter_GetSlot(int32_t index)
{
    return index >= 0 && index < BZ_POOLED_EMITTERS ? &gPool[index] : nullptr;
}

bzParticleEmitter *bz_ParticleEmitter_Take()
{
    for (bzParticleEmitter &e : gPool)
        if (!e.inUse)
        {
            e.inUse = 1;
            return &e;
        }
    return nullptr;
}

bzParticleEmitter *bz_ParticleEmitter_Create()
{
    bzParticleEmitter *e = bz_ParticleEmitter_Take();
    if (e)
        Defaults(e);
    return e;
}

bzParticleEmitter *bz_ParticleEmitter_Clone(const bzParticleEmitter *source)
{
    if (!source)
        return nullptr;
    bzParticleEmitter *e = bz_ParticleEmitter_Create();
    if (!e || e == source)
        return e;
    bzLump *lump = e->lump;
    const uint8_t refCount = e->refCount;
    *e = *source;
    e->lump = lump;
    e->refCount = refCount;
    e->inUse = 1;
    return e;
}

void bz_ParticleEmitter_AddRef(bzParticleEmitter *e)
{
    if (e && e->refCount < 255)
        e->refCount++;
}

void bz_ParticleEmitter_Release(bzParticleEmitter *e)
{
    if (!e)
        return;
    if (e->refCount)
        e->refCount--;
    if (!e->refCount)
        e->inUse = 0;
}

void bz_ParticleEmitter_ClearInUse(bzParticleEmitter *e)
{
    if (e)
        e->inUse = 0;
}

void bz_ParticleEmitter_UpdateAll()
{
    bz_ParticleEmitter_UpdateAllBy(bz_ParticleSystem_FrameTime());
}

void bz_ParticleEmitter_UpdateAllBy(float dt)
{
    for (bzParticleEmitter &e : gPool)
    {
        if (!e.inUse || e.kind == BZ_POOLED_KIND_STILL || !e.lump ||
            !(e.lump->flags & BZ_LUMP_ACTIVE))
            continue;
        e.time += dt;
        // A time that is not a number has run out as well.
        if (!(e.time <= e.duration) || e.time < 0.0f)
        {
            e.inUse = 0;
            bz_Lump_Detach(e.lump);
        }
        else if (e.kind == BZ_POOLED_KIND_TIMED)
        {
            e.timeCopy = e.time;
            e.fraction = e.duration != 0.0f ? e.time / e.duration : 0.0f;
            e.frameNumber = e.time * 60.0f;
        }
    }
}

void bz_ParticleEmitter_DetachAll()
{
    for (bzParticleEmitter &e : gPool)
        if (e.inUse)
        {
            if (e.lump)
                bz_Lump_Detach(e.lump);
            e.inUse = 0;
        }
}

void bz_ParticleEmitter_FreeAll()
{
    if (bzgRenderTable.PDReleaseEmitterData)
        bzgRenderTable.PDReleaseEmitterData();
    for (int32_t i = 0; i < BZ_POOLED_EMITTERS; i++)
    {
        gPool[i].inUse = 0;
        if (gLumps[i])
            bz_Lump_DestroyTree(gLumps[i]);
        gLumps[i] = nullptr;
        gPool[i].lump = nullptr;
    }
    gReady = false;
}

bzQuadBlockArray *bz_QuadBlockArray_Create(uint32_t count, uint32_t user1, uint32_t user2,
                                           bz_IMGMAP *image)
{
    InstallHooks();
    if (count > BZ_MEM_MAX_BLOCK / BZ_QUAD_BYTES)
    {
        bzgLastError = BZ_ERROR_PARAMETER_OUT_OF_RANGE;
        return nullptr;
    }
    bzQuadBlockArray *a =
        static_cast<bzQuadBlockArray *>(bz_MemAlloc(sizeof(bzQuadBlockArray), BZ_MEM_CLEAR));
    if (!a)
    {
        bzgLastError = BZ_ERROR_NO_MEMORY;
        return nullptr;
    }
    if (count)
    {
        a->quads = static_cast<bzQuad *>(bz_MemAlloc(count * BZ_QUAD_BYTES, BZ_MEM_CLEAR));
        if (!a->quads)
        {
            bz_MemFree(a);
            bzgLastError = BZ_ERROR_NO_MEMORY;
            return nullptr;
        }
    }
    a->count = count;
    a->user1 = user1;
    a->user2 = user2;
    a->image = image;
    bz_Scene_AddImgMapRef(image);
    a->refCount = 1;
    a->radius = 1.0f;
    a->columns = 1.0f;
    a->rows = 1.0f;
    return a;
}

void bz_QuadBlockArray_AddRef(bzQuadBlockArray *a)
{
    if (a)
        a->refCount++;
}

void bz_QuadBlockArray_Release(bzQuadBlockArray *a)
{
    if (!a || --a->refCount > 0)
        return;
    if (bzgRenderTable.PDReleaseHardwareData)
        bzgRenderTable.PDReleaseHardwareData(a);
    bz_Scene_ReleaseImgMap(a->image);
    if (a->quads)
        bz_MemFree(a->quads);
    bz_MemFree(a);
}

bzQuadBlockArray *bz_QuadBlockArray_Clone(const bzQuadBlockArray *a)
{
    if (!a)
        return nullptr;
    bzQuadBlockArray *copy = bz_QuadBlockArray_Create(a->count, a->user1, a->user2, a->image);
    if (!copy)
        return nullptr;
    if (a->count)
        std::memcpy(copy->quads, a->quads, static_cast<size_t>(a->count) * BZ_QUAD_BYTES);
    copy->radius = a->radius;
    copy->columns = a->columns;
    copy->rows = a->rows;
    copy->lift = a->lift;
    copy->blend = a->blend;
    return copy;
}

void bz_CubicFromControlPoints(bzCubicControl *r)
{
    if (!r)
        return;
    for (int axis = 0; axis < 2; axis++)
    {
        const int k = axis ? 2 : 0;
        const float p0 = r->points[0].v[k], p1 = r->points[1].v[k];
        const float p2 = r->points[2].v[k], p3 = r->points[3].v[k];
        const float t0 = 3.0f * (p2 - p0);
        const float t1 = 3.0f * (p1 - p3);
        float *c = axis ? r->z : r->x;
        c[0] = 2.0f * p0 - 2.0f * p1 + t0 + t1;
        c[1] = 3.0f * p1 - 3.0f * p0 - 2.0f * t0 - t1;
        c[2] = t0;
        c[3] = p0;
    }
}
