#include "render/DebugDraw.h"

#include "device/MaterialRecord.h"
#include "device/RenderTable.h"
#include "models/Material.h"
#include "render/RenderSlots.h"
#include "scene/Lump.h"
#include "scene/Path.h"

namespace
{
// Writes count points from p (and the path's first point after them when close is set) as
// vertices of the kind; answers the point after the last one written.
const bzPathPoint *WriteChunk(float *out, const bzPathPoint *p, int32_t count, bool coloured,
                              const bzPathPoint *closeWith)
{
    auto put = [&](const bzPathPoint *q)
    {
        out[0] = q->position.x;
        out[1] = q->position.y;
        out[2] = q->position.z;
        out += 3;
        if (coloured)
        {
            uint32_t colour = q->word;
            if (bzgRenderTable.PDSwapColourBytes)
                bzgRenderTable.PDSwapColourBytes(&colour);
            *reinterpret_cast<uint32_t *>(out) = colour;
            ++out;
        }
    };
    const bzPathPoint *last = p;
    for (int32_t i = 0; i < count && p; ++i)
    {
        put(p);
        last = p;
        p = p->next;
    }
    if (closeWith)
        put(closeWith);
    (void)last;
    return p;
}
} // namespace

void bz_DrawPolyLine(bzLump *lump, bzViewport *v)
{
    (void)v;
    const bzPath *path = lump ? static_cast<const bzPath *>(lump->object) : nullptr;
    if (!path || !path->first || path->count < 2)
        return;
    auto lock = reinterpret_cast<PDLockLineVerticesFn>(bzgRenderTable.PDLockLineVertices);
    if (!lock)
        return;
    if (bzgRenderTable.PDSetObjectLighting)
        reinterpret_cast<PDSetObjectLightingFn>(bzgRenderTable.PDSetObjectLighting)(
            &lump->worldMatrix);
    const bool coloured = (path->flags & BZ_PATH_COLOURS) != 0;
    const bool pairs = (path->flags & BZ_PATH_PAIRS) != 0;
    const bool closed = (path->flags & BZ_PATH_CLOSED) && !pairs;
    const uint32_t kind = coloured ? BZ_LINE_KIND_COLOURED : BZ_LINE_KIND_PLAIN;
    bzMaterial *material = lump->material ? lump->material : bz_GetDefaultMaterial();
    if (material)
    {
        if (coloured)
            material->flags |= BZ_MATERIAL_VERTEX_COLOURS;
        else
            material->flags &= ~BZ_MATERIAL_VERTEX_COLOURS;
    }
    const PDGenericSlot drawSlot =
        pairs ? bzgRenderTable.PDDrawLineList : bzgRenderTable.PDDrawLineStrip;
    const bzPathPoint *p = path->first;
    int32_t left = path->count;
    while (p && left > 0)
    {
        // A strip's next chunk starts again at this chunk's last point, so the segment
        // joining the two chunks is drawn.
        int32_t c = left < BZ_POLYLINE_CHUNK ? left : BZ_POLYLINE_CHUNK;
        if (!pairs && c < 2)
            break;
        const bool lastChunk = c == left;
        const bool addClose = closed && lastChunk;
        const int32_t vertices = c + (addClose ? 1 : 0);
        auto *out = static_cast<float *>(lock(kind, vertices));
        if (!out)
            break;
        const bzPathPoint *after =
            WriteChunk(out, p, c, coloured, addClose ? path->first : nullptr);
        if (bzgRenderTable.PDUnlockLineVertices)
            reinterpret_cast<PDUnlockLineVerticesFn>(bzgRenderTable.PDUnlockLineVertices)(kind);
        bzSlot::SetDepthTest(material);
        const bzLineDraw record{path, kind, pairs ? c / 2 : vertices - 1};
        if (bzgRenderTable.PDDrawMesh)
            reinterpret_cast<PDDrawMeshFn>(bzgRenderTable.PDDrawMesh)(
                material, &lump->worldMatrix, reinterpret_cast<PDDrawLinesFn>(drawSlot), &record);
        if (bzgRenderTable.PDFreeLineVertices)
            reinterpret_cast<PDFreeLineVerticesFn>(bzgRenderTable.PDFreeLineVertices)();
        if (lastChunk)
            break;
        if (pairs)
        {
            p = after;
            left -= c;
        }
        else
        {
            // Step back onto the chunk's last point.
            const bzPathPoint *q = p;
            for (int32_t i = 0; i < c - 1; ++i)
                q = q->next;
            p = q;
            left -= c - 1;
        }
    }
}
