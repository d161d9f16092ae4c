#include "render/SkidRibbon.h"

#include "core/Memory.h"
#include "device/RenderTable.h"
#include "device/ViewportRecord.h"
#include "render/RenderSlots.h"
#include "scene/SkidMarks.h"

#include <cstdint>

namespace
{
constexpr uint32_t kSecond[6] = {0, 0xFFFF00, 0x00FF00, 0, 0xFF0000, 0xFFFF00};
constexpr int32_t kTempStack = 1;
} // namespace

int32_t bz_SkidRibbon_MaxVertices(const bzSkidTrail *trail)
{
    return trail && trail->capacity > 0 ? trail->capacity * 6 : 0;
}

int32_t bz_SkidRibbon_Fill(const bzSkidTrail *trail, bzRibbonVertex *out)
{
    if (!trail || !trail->points || !out || trail->capacity <= 0)
        return 0;
    const int32_t n = trail->capacity;
    if (trail->tail == 0 && trail->head == 0)
        return 0;
    // Indices outside the ring are a damaged trail: nothing is drawn.
    if (trail->tail < 0 || trail->tail >= n || trail->head < 0 || trail->head >= n)
        return 0;
    const bzSkidPoint *prev = &trail->points[0];
    uint32_t prevColour = trail->points[trail->tail].colour;
    int32_t written = 0;
    for (int32_t i = trail->tail, steps = 0; i != trail->head && steps < n;
         i = (i + 1) % n, ++steps)
    {
        const bzSkidPoint *p = &trail->points[i];
        if (p->marker == BZ_SKID_CONTINUE)
        {
            const bzV3 *pos[6] = {&p->edgeA, &prev->edgeB, &prev->edgeA,
                                  &p->edgeA, &p->edgeB,    &prev->edgeB};
            const uint32_t colour[6] = {p->colour, prevColour, prevColour,
                                        p->colour, p->colour,  prevColour};
            for (int32_t k = 0; k < 6; ++k)
                out[written++] = {*pos[k], colour[k], kSecond[k]};
            prevColour = p->colour;
        }
        prev = p;
    }
    return written;
}

void bz_DrawSkidMarks(const bzSkidMarkSet *set, bzViewport *v)
{
    if (!set || !set->trails || set->trailCount <= 0 || !v)
        return;
    if (bzgRenderTable.PDSetWorldMatrix)
        bzgRenderTable.PDSetWorldMatrix(&v->viewMatrix, v);
    for (int32_t t = set->trailCount - 1; t >= 0; --t)
    {
        const bzSkidTrail *trail = &set->trails[t];
        const int32_t room = bz_SkidRibbon_MaxVertices(trail);
        if (room <= 0 || static_cast<uint64_t>(room) * sizeof(bzRibbonVertex) > UINT32_MAX)
            continue;
        auto *vertices = static_cast<bzRibbonVertex *>(bz_TempStack_Alloc(
            kTempStack, static_cast<uint32_t>(room) * sizeof(bzRibbonVertex), 0));
        if (!vertices)
            continue;
        const int32_t count = bz_SkidRibbon_Fill(trail, vertices);
        if (count > 0)
            bzSlot::DrawSkidRibbon(vertices, count, set->image, set->flags);
        bz_TempStack_Free(kTempStack, vertices);
    }
}
