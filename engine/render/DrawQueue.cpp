#include "render/DrawQueue.h"

#include "core/Error.h"
#include "core/Memory.h"
#include "device/MaterialRecord.h"
#include "device/RenderTable.h"
#include "device/ViewportRecord.h"
#include "maths/Vector.h"
#include "models/Material.h"
#include "render/ParticleModelDraw.h"
#include "render/RenderSlots.h"
#include "scene/Lump.h"
#include "scene/ParticleSystem.h"

#include <cmath>
#include <cstring>

namespace
{
constexpr uint32_t kAngleFade = 0x2000;      // material flag: faded by the angle of view
constexpr uint32_t kFadeUpdates = 0x800;     // material flag: cleared and updated by the fade
constexpr int32_t kUpdateAllButScroll = -17; // 0xFFFFFFEF
constexpr uint32_t kListedAndStepped = BZ_PS_LISTED | BZ_PS_STEPPED;

int32_t gPool = 0;
bzDrawQueueEntry **gQueues[2] = {nullptr, nullptr};
int32_t gCounts[2] = {0, 0};

bzDrawQueueEntry *AddTo(int32_t q, const bzViewport *v, float depth)
{
    if (!gPool || !gQueues[q])
    {
        bzgLastError = BZ_ERROR_NO_MEMORY;
        return nullptr;
    }
    auto *e = static_cast<bzDrawQueueEntry *>(bz_Pool_Alloc(gPool, BZ_MEM_CLEAR));
    if (!e)
    {
        bzgLastError = BZ_ERROR_NO_MEMORY;
        return nullptr;
    }
    const int32_t b = bz_DrawQueue_Bucket(v, depth);
    e->next = gQueues[q][b];
    gQueues[q][b] = e;
    ++gCounts[q];
    return e;
}

// The angle fade of a model entry: false when it is not drawn; else the material's layer
// alpha becomes the fade and the entry faces the camera scaled by it.
bool ApplyAngleFade(bzDrawQueueEntry *e)
{
    const float fade = bz_DrawQueue_AngleFade(e->material, e->viewMatrix);
    if (!(fade > 0.0f))
        return false;
    bzMaterial *m = e->material;
    if (m->layers && m->layerCount > 0)
        m->layers[0].alpha = fade;
    if (m->flags & kFadeUpdates)
    {
        m->flags &= ~kFadeUpdates;
        bz_UpdateMaterial(m, kUpdateAllButScroll);
    }
    for (int32_t r = 0; r < 3; ++r)
        for (int32_t c = 0; c < 3; ++c)
            e->viewMatrix->row[r].v[c] = r == c ? fade : 0.0f;
    return true;
}

void DrawEntry(bzViewport *v, bzDrawQueueEntry *e)
{
    bzLump *lump = e->lump;
    switch (lump ? lump->type : 0xFF)
    {
    case BZ_LUMP_TYPE_MODEL:
        if (e->material && (e->material->flags & kAngleFade) && !ApplyAngleFade(e))
            return;
        if (bzgRenderTable.PDSetWorldMatrix)
            bzgRenderTable.PDSetWorldMatrix(e->viewMatrix, v);
        bzSlot::SetDepthTest(e->material);
        bzSlot::DrawMaterialGroup(e->entry, e->material, e->viewMatrix, lump,
                                  static_cast<int32_t>(e->flags & 1));
        break;
    case BZ_LUMP_TYPE_PARTICLE_EMITTER:
    {
        // Model instances need the viewport and are drawn here; sprites go through the system.
        const auto *s = static_cast<const bzParticleSystem *>(lump->object);
        if (s && s->drawKind == BZ_PARTICLE_DRAW_MODELS)
        {
            if ((s->flags & kListedAndStepped) == kListedAndStepped)
                bz_ParticleEmitter_Render(lump, v);
        }
        else
            bz_ParticleSystem_Draw(lump); // by its draw kind, when listed and stepped
        break;
    }
    case BZ_LUMP_TYPE_QUADBLOCKARRAY: bzSlot::DrawQuadBlockArray(v, lump); break;
    case BZ_LUMP_TYPE_POOLED_EMITTER:
        if (bzgRenderTable.PDSetWorldMatrix)
            bzgRenderTable.PDSetWorldMatrix(e->viewMatrix, v);
        bzSlot::EndItemDraw(v, lump);
        break;
    default: break;
    }
}

void Drain(bzViewport *v, int32_t q)
{
    bzDrawQueueEntry **buckets = gQueues[q];
    for (int32_t b = 0; b < BZ_DRAWQUEUE_BUCKETS; ++b)
    {
        bzDrawQueueEntry *e = buckets[b];
        buckets[b] = nullptr;
        while (e)
        {
            bzDrawQueueEntry *next = e->next;
            DrawEntry(v, e);
            bz_Pool_FreeElement(gPool, e);
            e = next;
        }
    }
}

void ReleaseAll()
{
    for (int32_t q = 0; q < 2; ++q)
    {
        if (gQueues[q] && gCounts[q])
            for (int32_t b = 0; b < BZ_DRAWQUEUE_BUCKETS; ++b)
                for (bzDrawQueueEntry *e = gQueues[q][b]; e;)
                {
                    bzDrawQueueEntry *next = e->next;
                    bz_Pool_FreeElement(gPool, e);
                    e = next;
                }
        if (gQueues[q])
            std::memset(gQueues[q], 0, sizeof(bzDrawQueueEntry *) * BZ_DRAWQUEUE_BUCKETS);
        gCounts[q] = 0;
    }
}
} // namespace

int32_t bz_DrawQueue_Init()
{
    if (gPool)
        return BZ_ERROR_NONE;
    gPool = bz_Pool_Create(sizeof(bzDrawQueueEntry), 32, 1, 0);
    for (auto &q : gQueues)
        q = static_cast<bzDrawQueueEntry **>(
            bz_MemAlloc(sizeof(bzDrawQueueEntry *) * BZ_DRAWQUEUE_BUCKETS, BZ_MEM_CLEAR));
    if (!gPool || !gQueues[0] || !gQueues[1])
    {
        bz_DrawQueue_Free();
        bzgLastError = BZ_ERROR_NO_MEMORY;
        return BZ_ERROR_NO_MEMORY;
    }
    gCounts[0] = gCounts[1] = 0;
    return BZ_ERROR_NONE;
}

void bz_DrawQueue_Free()
{
    if (gPool)
        bz_Pool_Destroy(gPool);
    gPool = 0;
    for (auto &q : gQueues)
    {
        bz_MemFree(q);
        q = nullptr;
    }
    gCounts[0] = gCounts[1] = 0;
}

void bz_DrawQueue_Open()
{
    // Made on the first open when the engine start did not make them.
    if (!gPool)
        bz_DrawQueue_Init();
    ReleaseAll();
}

int32_t bz_DrawQueue_Bucket(const bzViewport *v, float depth)
{
    float t = (depth - v->nearClip) / (v->farClip - v->nearClip);
    // Depths outside the planes (and a depth that is not a number) are held to them before
    // the curve, which divides by t + 0.5.
    if (!(t > 0.0f))
        t = 0.0f;
    else if (t > 1.0f)
        t = 1.0f;
    const float s = 4095.0f * (1.0f - (1.5f - 0.75f / (t + 0.5f)));
    int32_t b = static_cast<int32_t>(s);
    if (b < 0)
        b = 0;
    if (b > BZ_DRAWQUEUE_BUCKETS - 1)
        b = BZ_DRAWQUEUE_BUCKETS - 1;
    return b;
}

bzDrawQueueEntry *bz_DrawQueue_Add(const bzViewport *v, float depth)
{
    return AddTo(0, v, depth);
}

bzDrawQueueEntry *bz_DrawQueue_Add2(const bzViewport *v, float depth)
{
    return AddTo(1, v, depth);
}

int32_t bz_DrawQueue_Count(int32_t queue)
{
    return queue == 0 || queue == 1 ? gCounts[queue] : 0;
}

void bz_DrawQueue_Flush(bzViewport *v)
{
    for (int32_t q = 0; q < 2; ++q)
        if (gCounts[q] && gQueues[q])
            Drain(v, q);
    gCounts[0] = gCounts[1] = 0;
}

float bz_DrawQueue_AngleFade(const bzMaterial *material, const bzM34 *view)
{
    const uint32_t term = material->specular;
    const float threshold = static_cast<float>(term & 0xFF) / 255.0f;
    const float minimum = static_cast<float>((term >> 8) & 0x7F) / 127.0f;
    bzV3 p = view->row[3];
    bzV3 z = view->row[2];
    if (term & 0x8000)
        p.y = z.y = 0.0f;
    const float lp = bz_V3_Length(&p), lz = bz_V3_Length(&z);
    if (lp == 0.0f || lz == 0.0f)
        return 0.0f;
    float c = -bz_V3_Dot(&p, &z) / (lp * lz);
    if (!(c > 0.0f))
        return 0.0f;
    if (c > 1.0f)
        c = 1.0f;
    c -= threshold;
    if (c < 0.0f)
        c = 0.0f;
    // A threshold of 1 leaves no range to fade over: the minimum holds.
    const float range = 1.0f - threshold;
    return range > 0.0f ? minimum + c * (1.0f - minimum) / range : minimum;
}
