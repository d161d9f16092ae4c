#include "render/SceneRender.h"

#include "core/Debug.h"
#include "core/Error.h"
#include "core/Memory.h"
#include "device/MaterialRecord.h"
#include "device/RenderTable.h"
#include "device/ViewportRecord.h"
#include "maths/Vector.h"
#include "models/Material.h"
#include "models/Model.h"
#include "render/DrawQueue.h"
#include "render/RenderSlots.h"
#include "scene/Lump.h"
#include "scene/ParticleSystem.h"
#include "scene/PooledEmitter.h"
#include "scene/Portals.h"

#include <cmath>
#include <cstring>

uint32_t bzgFrameCounter = 0;
uint32_t bzgLumpProcessed[23];

namespace
{
constexpr int32_t kTempStack = 1;
// Distinct materials one viewport batches at the most; the table is open-addressed.
constexpr uint32_t kMaterialSlots = 1024;
constexpr uint32_t kClipBits = 0xC008;
constexpr uint32_t kMaterialSkip = 0x8000; // material flag: never drawn by the walk
constexpr uint32_t kMaterialTransparentMask = 0x8000100;
constexpr uint32_t kMaterialTransparent = 0x8000000;
constexpr uint32_t kMaterialSecondQueue = 0x200;
constexpr uint32_t kMaterialNoChain1 = 0x100000;
constexpr uint32_t kMaterialChain2Tail = 0x8000000;
constexpr uint32_t kSkinDivert = 0x7800000;

struct BatchEntry
{
    BatchEntry *next;
    bzLump *lump;
    bzMaterialEntry *entry;
    uint32_t clip;
};

// The per-frame batch state of one material, found through an open-addressed table.
struct MaterialBatch
{
    bzMaterial *material;
    BatchEntry *list[2];
    MaterialBatch *next[2];
};

bzLump *gLists[BZ_RLIST_COUNT];
uint32_t gTransforms = 0;    // view matrices composed by the last walk
uint32_t gMaxTransforms = 0; // the most of any walk
bzScenePostWalkHook gPostWalk = nullptr;
int32_t gRoomPass = 0; // PORTALS_ROOT lumps wait for the room pass in this walk

int32_t gCapacity = BZ_BATCH_DEFAULT_CAPACITY;
int32_t gCount = 0;
int32_t gOpenCapacity = 0; // the capacity of the block now open
void *gBlock = nullptr;
BatchEntry *gEntries = nullptr;
int32_t gUsed = 0;
// The material table lives in static storage, empty between viewports: only the slots a
// viewport used are cleared after it, so opening the batches costs nothing per slot.
MaterialBatch gTable[kMaterialSlots];
uint16_t gUsedSlots[kMaterialSlots];
constexpr uint32_t gTableSize = kMaterialSlots;
uint32_t gTableUsed = 0;
MaterialBatch *gChain1 = nullptr;
MaterialBatch *gChain2 = nullptr;
MaterialBatch *gChain2Tail = nullptr;

void Push(int32_t list, bzLump *lump)
{
    lump->renderLink = gLists[list];
    gLists[list] = lump;
}

// The material's batch record, or null when the table holds as many materials as it may.
MaterialBatch *BatchOf(bzMaterial *material)
{
    const uintptr_t key = reinterpret_cast<uintptr_t>(material);
    uint32_t i = static_cast<uint32_t>((key >> 4) * 2654435761u) & (gTableSize - 1);
    while (gTable[i].material && gTable[i].material != material)
        i = (i + 1) & (gTableSize - 1);
    if (!gTable[i].material)
    {
        if (gTableUsed + 1 >= gTableSize)
            return nullptr;
        gUsedSlots[gTableUsed++] = static_cast<uint16_t>(i);
        gTable[i].material = material;
    }
    return &gTable[i];
}

void StoreClip(bzLump *lump, uint32_t clip)
{
    lump->flags = (lump->flags & ~kClipBits) | clip;
}

// The sphere test of a lump's view-space position with a radius; the clip flags are stored.
uint32_t PositionClip(bzLump *lump, const bzViewport *v, float radius)
{
    lump->flags &= ~kClipBits;
    const uint32_t clip = bz_Viewport_SphereClipFlags(&lump->worldMatrix.row[3], v, radius);
    lump->flags |= clip;
    return clip;
}

// The model sphere test: the bounding centre in view space and the bounding radius.
bool ModelVisible(bzLump *lump, const bzModel *model, const bzViewport *v)
{
    if (!model || model->radius == 0.0f)
    {
        StoreClip(lump, BZ_CLIP_OUTSIDE);
        return false;
    }
    bzV3 c;
    bz_M34_TransformPointInto(&lump->worldMatrix, &c, &model->centre);
    const uint32_t clip = bz_Viewport_SphereClipFlags(&c, v, model->radius);
    StoreClip(lump, clip);
    return clip != BZ_CLIP_OUTSIDE;
}

bzModel *LodModel(bzLump *lump)
{
    auto *lod = static_cast<bzLumpLod *>(lump->object);
    if (!lod)
        return nullptr;
    if (lod->enable)
    {
        const bzV3 &p = lump->worldMatrix.row[3];
        const float d = bz_V3_Dot(&p, &p);
        int32_t level = BZ_LUMP_LOD_LEVELS - 1;
        for (int32_t i = 0; i < BZ_LUMP_LOD_LEVELS; ++i)
            if (lod->switchDistance[i] * lod->switchDistance[i] < d)
            {
                level = i;
                break;
            }
        while (level > 0 && !lod->models[level])
            --level;
        lod->currentLevel = level;
    }
    const int32_t level = lod->currentLevel;
    return level >= 0 && level < BZ_LUMP_LOD_LEVELS ? lod->models[level] : nullptr;
}

bzModel *ModelOf(bzLump *lump)
{
    switch (lump->type)
    {
    case BZ_LUMP_TYPE_LOD: return LodModel(lump);
    case BZ_LUMP_TYPE_CLIPPED_MODEL:
        return lump->object ? static_cast<bzLumpClipped *>(lump->object)->model : nullptr;
    default: return bz_Lump_GetModel(lump);
    }
}

// The lump's render callback with a record on the stack; 1 (drawn) without one. The model and
// material the callback leaves are handed back.
int32_t CallRender(bzLump *lump, bzViewport *v, bzModel **model, bzMaterial **material)
{
    if (!lump->render)
        return 1;
    bzLumpRenderInfo info{};
    info.viewMatrix = &lump->worldMatrix;
    info.cameraMatrix = v->camera ? bz_Lump_GetMatrix(v->camera) : nullptr;
    info.viewportMatrix = &v->viewMatrix;
    info.lump = lump;
    info.viewport = v;
    info.model = model ? *model : nullptr;
    const int32_t result = lump->render(&info);
    if (model)
        *model = info.model;
    if (material)
        *material = info.material;
    return result;
}

// A first-queue entry at the lump's view depth, with no group and no material.
void QueueAtDepth(bzLump *lump, bzViewport *v)
{
    if (bzDrawQueueEntry *q = bz_DrawQueue_Add(v, lump->worldMatrix.row[3].z))
    {
        q->viewMatrix = &lump->worldMatrix;
        q->lump = lump;
    }
}

void ClearTable()
{
    for (uint32_t k = 0; k < gTableUsed; ++k)
        gTable[gUsedSlots[k]] = MaterialBatch{};
    gTableUsed = 0;
}

void Batch(bzLump *lump, bzMaterialEntry *entry, bzMaterial *material, uint32_t clip)
{
    if (gCount++ >= gOpenCapacity || !gEntries)
        return;
    MaterialBatch *m = BatchOf(material);
    if (!m)
        return;
    BatchEntry *b = &gEntries[gUsed++];
    b->lump = lump;
    b->entry = entry;
    b->clip = clip;
    const int chain =
        (lump->flags & BZ_LUMP_BATCH_CHAIN1) && !(material->flags & kMaterialNoChain1) ? 0 : 1;
    if (!m->list[chain])
    {
        if (chain == 0)
        {
            m->next[0] = gChain1;
            gChain1 = m;
        }
        else if ((material->flags & kMaterialChain2Tail) && gChain2)
        {
            m->next[1] = nullptr;
            gChain2Tail->next[1] = m;
            gChain2Tail = m;
        }
        else
        {
            m->next[1] = gChain2;
            gChain2 = m;
            if (!gChain2Tail)
                gChain2Tail = m;
        }
    }
    b->next = m->list[chain];
    m->list[chain] = b;
}

void DrawChain(bzViewport *v, int chain)
{
    for (MaterialBatch *m = chain == 0 ? gChain1 : gChain2; m; m = m->next[chain])
    {
        bzSlot::SetDepthTest(m->material);
        for (BatchEntry *b = m->list[chain]; b; b = b->next)
        {
            if (bzgRenderTable.PDSetWorldMatrix)
                bzgRenderTable.PDSetWorldMatrix(&b->lump->worldMatrix, v);
            bzSlot::DrawMaterialGroup(b->entry, m->material, &b->lump->worldMatrix, b->lump,
                                      static_cast<int32_t>(b->clip));
        }
        m->list[chain] = nullptr;
    }
}
} // namespace

uint32_t bz_Viewport_SphereClipFlags(const bzV3 *centre, const bzViewport *v, float radius)
{
    const float x = centre->x, y = centre->y, z = centre->z, r = radius;
    // A radius of 0, and a centre or radius that is not a number, is outside.
    if (!(r > 0.0f) || !(x == x) || !(y == y) || !(z == z))
        return BZ_CLIP_OUTSIDE;
    if (v->nearClip - r > z || z > v->farClip + r)
        return BZ_CLIP_OUTSIDE;
    const float sx = v->sideX.x, sz = v->sideX.z, ty = v->sideY.y, tz = v->sideY.z;
    if (sz * x - sx * z > r || sz * x + sx * z < -r)
        return BZ_CLIP_OUTSIDE;
    if (tz * y - ty * z > r || tz * y + ty * z < -r)
        return BZ_CLIP_OUTSIDE;
    if (std::fabs(z - v->nearClip) < r)
        return BZ_CLIP_NEAR;
    const float gx = v->guardX.x, gz = v->guardX.z, hy = v->guardY.y, hz = v->guardY.z;
    if (gz * x - gx * z > -r || gz * x + gx * z < r || hz * y - hy * z > -r || hz * y + hy * z < r)
        return BZ_CLIP_GUARD;
    return BZ_CLIP_INSIDE;
}

int32_t bz_Scene_OpenBatches()
{
    bz_Scene_ClearRenderLists();
    gChain1 = gChain2 = gChain2Tail = nullptr;
    gCount = 0;
    gUsed = 0;
    gOpenCapacity = gCapacity;
    ClearTable();
    const uint32_t bytes = static_cast<uint32_t>(gOpenCapacity) * sizeof(BatchEntry);
    gBlock = bz_TempStack_Alloc(kTempStack, bytes, 0);
    if (!gBlock)
    {
        // No room: the frame's opaque groups are counted but not drawn.
        gEntries = nullptr;
        gOpenCapacity = 0;
        return BZ_ERROR_NO_MEMORY;
    }
    gEntries = static_cast<BatchEntry *>(gBlock);
    return BZ_ERROR_NONE;
}

void bz_Scene_ResetBatches()
{
    gCount = 0;
    gCapacity = BZ_BATCH_DEFAULT_CAPACITY;
}

int32_t bz_Scene_BatchCapacity()
{
    return gCapacity;
}

int32_t bz_Scene_BatchCount()
{
    return gCount;
}

bzLump *bz_Scene_GetRenderList(int32_t n)
{
    return n >= 0 && n < BZ_RLIST_COUNT ? gLists[n] : nullptr;
}

void bz_Scene_ClearRenderLists()
{
    for (int32_t i = 0; i <= 10; ++i)
        gLists[i] = nullptr;
    gLists[13] = nullptr;
}

void bz_Scene_SetPostWalkHook(bzScenePostWalkHook hook)
{
    gPostWalk = hook;
}

bzLump *bz_Scene_QueueModel(bzLump *lump, bzModel *model, bzViewport *v)
{
    if (!model)
        return lump->firstChild;
    if (lump->flags & BZ_LUMP_FACE_CAMERA)
    {
        // The rotation keeps its orientation to the camera.
        bzM34 r = lump->worldMatrix;
        const bzM34 *cam = bz_Lump_GetMatrix(v->camera);
        for (int32_t i = 0; i < 3; ++i)
            for (int32_t j = 0; j < 3; ++j)
                lump->worldMatrix.row[i].v[j] = r.row[i].v[0] * cam->row[0].v[j] +
                                                r.row[i].v[1] * cam->row[1].v[j] +
                                                r.row[i].v[2] * cam->row[2].v[j];
    }
    bzMaterial *chosen = nullptr;
    if (!CallRender(lump, v, &model, &chosen))
        return nullptr;
    if (!model || !model->part)
        return lump->firstChild;
    bzMaterial *override = chosen                                 ? chosen
                           : (lump->flags & BZ_LUMP_HAS_MATERIAL) ? lump->material
                                                                  : nullptr;
    const bool crossing = (lump->flags & BZ_CLIP_GUARD) != 0;
    const bzModelPart *part = model->part;
    for (int32_t i = 0; i < part->entryCount; ++i)
    {
        bzMaterialEntry *entry = &part->entries[i];
        if (entry->entryFlags & 1)
            continue;
        bzMaterial *m = override ? override : entry->material;
        if (!m && lump->material && !(lump->flags & BZ_LUMP_UNCOUNTED))
            m = lump->material;
        if (!m)
            m = bz_GetDefaultMaterial();
        if (!m || (m->flags & kMaterialSkip))
            continue;
        uint32_t clip = 0;
        if (crossing)
        {
            if (model->flags & BZ_MODEL_BATCHES_SPLIT)
            {
                bzV3 c;
                bz_M34_TransformPointInto(&lump->worldMatrix, &c, &entry->centre);
                if (bz_Viewport_SphereClipFlags(&c, v, entry->radius) == BZ_CLIP_OUTSIDE)
                    continue;
            }
            clip = 1;
        }
        if ((m->flags & kMaterialTransparentMask) == kMaterialTransparent)
        {
            bzV3 c;
            bz_M34_TransformPointInto(&lump->worldMatrix, &c, &entry->centre);
            bzDrawQueueEntry *q = (m->flags & kMaterialSecondQueue) ? bz_DrawQueue_Add2(v, c.z)
                                                                    : bz_DrawQueue_Add(v, c.z);
            ++gCount;
            if (!q)
                continue;
            q->viewMatrix = &lump->worldMatrix;
            q->entry = entry;
            q->material = m;
            q->lump = lump;
            q->flags = clip;
            continue;
        }
        Batch(lump, entry, m, clip);
    }
    return lump->firstChild;
}

bzLump *bz_Scene_RenderLump(bzLump *lump, bzViewport *v)
{
    if ((lump->flags & (uint32_t{BZ_LUMP_ACTIVE} | BZ_LUMP_SKIP_SELF)) != BZ_LUMP_ACTIVE)
        return lump->firstChild;
    if (lump->type < 23)
        ++bzgLumpProcessed[lump->type];
    switch (lump->type)
    {
    case BZ_LUMP_TYPE_NULL:
        lump->lastDrawnFrame = bzgFrameCounter;
        if (lump->renderBits[0] & 0x7)
            Push(BZ_RLIST_NULL, lump);
        break;
    case BZ_LUMP_TYPE_MODEL:
    case BZ_LUMP_TYPE_LOD:
    case BZ_LUMP_TYPE_CLIPPED_MODEL:
    {
        bzModel *model = ModelOf(lump);
        if (!ModelVisible(lump, model, v))
            break;
        lump->lastDrawnFrame = bzgFrameCounter;
        return bz_Scene_QueueModel(lump, model, v);
    }
    case BZ_LUMP_TYPE_SKINNED_MODEL:
    {
        // Centred on the lump's own view-space position.
        bzModel *model = bz_Lump_GetModel(lump);
        if (!model || PositionClip(lump, v, model->radius) == BZ_CLIP_OUTSIDE)
            break;
        lump->lastDrawnFrame = bzgFrameCounter;
        if (!(lump->flags & kSkinDivert))
            bz_Scene_QueueModel(lump, model, v);
        else if (lump->flags & BZ_LUMP_CONTAINER_2)
            Push(BZ_RLIST_SHADOW, lump);
        else if (lump->flags & (uint32_t{BZ_LUMP_CONTAINER_4} | BZ_LUMP_CONTAINER_5))
            Push(BZ_RLIST_SKIN_C4, lump);
        else
            Push(BZ_RLIST_SKIN_C3, lump);
        break;
    }
    case BZ_LUMP_TYPE_SPLINE: Push(BZ_RLIST_SPLINE, lump); break;
    case BZ_LUMP_TYPE_POLYLINE: Push(BZ_RLIST_POLYLINE, lump); break;
    case BZ_LUMP_TYPE_DIRLIGHT: Push(BZ_RLIST_DIRLIGHT, lump); break;
    case BZ_LUMP_TYPE_POINTLIGHT: Push(BZ_RLIST_POINTLIGHT, lump); break;
    case BZ_LUMP_TYPE_SPOTLIGHT:
    case BZ_LUMP_TYPE_FLARELIGHT: Push(BZ_RLIST_SPOTLIGHT, lump); break;
    case BZ_LUMP_TYPE_AMBIENTLIGHT: Push(BZ_RLIST_AMBIENTLIGHT, lump); break;
    case BZ_LUMP_TYPE_BOUNDS:
    {
        const auto *bounds = static_cast<const bzLumpBounds *>(lump->object);
        if (!bounds || PositionClip(lump, v, bounds->radius) == BZ_CLIP_OUTSIDE)
            return nullptr;
        lump->lastDrawnFrame = bzgFrameCounter;
        break;
    }
    case BZ_LUMP_TYPE_SOUND: CallRender(lump, v, nullptr, nullptr); break;
    case BZ_LUMP_TYPE_STENCIL_SHADOW:
        if (CallRender(lump, v, nullptr, nullptr))
            Push(BZ_RLIST_SHADOW, lump);
        break;
    case BZ_LUMP_TYPE_PORTALS_ROOT:
        lump->lastDrawnFrame = bzgFrameCounter;
        if (gRoomPass)
        {
            // Its rooms are drawn by the room pass after the walk.
            Push(BZ_RLIST_PORTALS, lump);
            return nullptr;
        }
        break;
    case BZ_LUMP_TYPE_SKIDMARKS: Push(BZ_RLIST_SKIDMARKS, lump); break;
    case BZ_LUMP_TYPE_PARTICLE_EMITTER:
    {
        // A system stepped this frame waits in the first queue at its view depth.
        const auto *system = static_cast<const bzParticleSystem *>(lump->object);
        if (!system || !(system->flags & BZ_PS_STEPPED) ||
            PositionClip(lump, v, system->boundingRadius) == BZ_CLIP_OUTSIDE ||
            !CallRender(lump, v, nullptr, nullptr))
            break;
        QueueAtDepth(lump, v);
        break;
    }
    case BZ_LUMP_TYPE_POOLED_EMITTER:
    {
        // A pooled emitter waits in the first queue at its view depth.
        const auto *emitter = static_cast<const bzParticleEmitter *>(lump->object);
        if (!emitter || PositionClip(lump, v, emitter->visibilityRadius) == BZ_CLIP_OUTSIDE)
            break;
        QueueAtDepth(lump, v);
        break;
    }
    case BZ_LUMP_TYPE_QUADBLOCKARRAY:
    {
        // A quad-block array waits in the first queue at its view depth.
        const auto *array = static_cast<const bzQuadBlockArray *>(lump->object);
        if (!array || PositionClip(lump, v, array->radius) == BZ_CLIP_OUTSIDE ||
            !CallRender(lump, v, nullptr, nullptr))
            break;
        QueueAtDepth(lump, v);
        break;
    }
    case BZ_LUMP_TYPE_SPHERE_MODEL:
        if (ModelVisible(lump, static_cast<bzModel *>(lump->object), v))
        {
            lump->lastDrawnFrame = bzgFrameCounter;
            Push(BZ_RLIST_SPHERE_MODEL, lump);
        }
        break;
    default: break;
    }
    return lump->firstChild;
}

void bz_Scene_Render(bzViewport *v)
{
    for (bzLump *&l : gLists)
        l = nullptr;
    bzLump *root = v->sceneRoot;
    if (!root || !v->camera)
        return;
    gRoomPass = (v->camera->flags & BZ_LUMP_IN_PORTALS) && bz_Portals_RoomOfLump(v->camera) >= 0
                    ? bz_Portals_IsOn()
                    : 0;
    root->worldMatrix = v->viewMatrix;
    bzLump *lump = root->firstChild;
    gTransforms = 0;
    while (lump)
    {
        ++gTransforms;
        if (lump->flags & BZ_LUMP_WORLD)
            bz_MulM34Into(&v->viewMatrix, &lump->worldMatrix, bz_Lump_GetMatrix(lump));
        else
            bz_MulM34Into(&lump->parent->worldMatrix, &lump->worldMatrix, &lump->matrix);
        bzLump *enter = bz_Scene_RenderLump(lump, v);
        if (enter && (lump->flags & BZ_LUMP_ACTIVE))
        {
            lump = enter;
            continue;
        }
        // Next sibling, else the nearest ancestor's next sibling; the walk ends at the root.
        while (lump && lump != root && !lump->next)
            lump = lump->parent;
        lump = lump && lump != root ? lump->next : nullptr;
    }
    if (gTransforms > gMaxTransforms)
        gMaxTransforms = gTransforms;
    if (gLists[BZ_RLIST_PORTALS])
        bz_Portals_RenderRooms(v, bz_Scene_RenderLump);
    gRoomPass = 0;
    if (gPostWalk)
        gPostWalk(v, gLists);
}

int32_t bz_Scene_PrintMatrixStats(int32_t line)
{
    bz_ShowDebugMessage(line, "MaxMatrixTransforms                  == %d",
                        static_cast<int32_t>(gMaxTransforms));
    bz_ShowDebugMessage(line + 1, "MatrixTransformsLastFrame            == %d",
                        static_cast<int32_t>(gTransforms));
    return line + 2;
}

uint32_t bz_Scene_MatrixTransformsLastWalk()
{
    return gTransforms;
}

uint32_t bz_Scene_MatrixTransformsMax()
{
    return gMaxTransforms;
}

void bz_Scene_DrawBatches(bzViewport *v)
{
    if (v->flags & BZ_VIEWPORT_FOG)
        bzSlot::SetFog(v);
    else
        bzSlot::DisableFog(v);
    DrawChain(v, 0);
    if (gLists[BZ_RLIST_SHADOW])
    {
        for (bzLump *l = gLists[BZ_RLIST_SHADOW]; l; l = l->renderLink)
        {
            if (bzgRenderTable.PDSetWorldMatrix)
                bzgRenderTable.PDSetWorldMatrix(&l->worldMatrix, v);
            bzSlot::DrawShadowVolume(l, nullptr);
        }
        bzSlot::DrawShadowOverlay(v->x, v->y, v->width, v->height);
    }
    DrawChain(v, 1);
    if (gCount > gCapacity)
        gCapacity = gCount + 128;
    if (gBlock)
        bz_TempStack_Free(kTempStack, gBlock);
    gBlock = nullptr;
    gEntries = nullptr;
    ClearTable();
    gChain1 = gChain2 = gChain2Tail = nullptr;
}
