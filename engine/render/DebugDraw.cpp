#include "render/DebugDraw.h"

#include "device/MaterialRecord.h"
#include "device/RenderTable.h"
#include "device/ViewportRecord.h"
#include "maths/Vector.h"
#include "models/DisplayModels.h"
#include "models/Model.h"
#include "models/Material.h"
#include "render/RenderSlots.h"
#include "scene/Lump.h"
#include "scene/Path.h"

namespace
{
// The diamond marker, made on first use and kept for the rest of the run.
bzLump *gDiamond = nullptr;

bzLump *Diamond()
{
    if (gDiamond)
        return gDiamond;
    bzMaterial *material = bz_CreateMaterialWithColour("PolyLineDiamondMat", 0xFFFF00FF);
    if (!material)
        return nullptr;
    bzModel *model = bz_CreateDiamondModel("PolyLineDiamond", 1.0f, 1.0f, 1.0f, material);
    bzLump *lump = model ? bz_Lump_CreateModel(model) : nullptr;
    if (model)
        bz_ReleaseModel(model); // the lump holds the model, the model its material
    if (lump && material->layers && material->layerCount > 0)
    {
        material->layers[0].blendKind = 1; // drawn blended
        bz_UpdateMaterial(material, -1);
    }
    bz_ReleaseMaterial(material);
    gDiamond = lump;
    return lump;
}

void SetColour(bzMaterial *m, float r, float g, float b)
{
    m->red = r;
    m->green = g;
    m->blue = b;
}

// A diamond at every point, in world space; with highlighting the first is green, the last
// red and the others magenta.
void DrawDiamonds(const bzPath *path, bzViewport *v)
{
    bzLump *marker = Diamond();
    bzModel *model = marker ? bz_Lump_GetModel(marker) : nullptr;
    if (!model || !model->part || model->part->entryCount < 1)
        return;
    bzMaterialEntry *entry = &model->part->entries[0];
    bzMaterial *material = entry->material;
    const float size = path->scale;
    for (const bzPathPoint *p = path->first; p; p = p->next)
    {
        bzM34 m{};
        m.row[0].x = size;
        m.row[1].y = size;
        m.row[2].z = size;
        m.row[3] = p->position;
        bz_MulM34Into(&v->viewMatrix, &marker->worldMatrix, &m);
        if (bzgRenderTable.PDSetWorldMatrix)
            bzgRenderTable.PDSetWorldMatrix(&marker->worldMatrix, v);
        if (material && (path->flags & BZ_PATH_HIGHLIGHT))
        {
            if (p == path->first)
                SetColour(material, 0.0f, 255.0f, 0.0f);
            else if (!p->next)
                SetColour(material, 255.0f, 0.0f, 0.0f);
            else
                SetColour(material, 255.0f, 0.0f, 255.0f);
        }
        bzSlot::DrawMaterialGroup(entry, material, &marker->worldMatrix, marker, 1);
    }
}

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

void bz_DebugDraw_Release()
{
    if (gDiamond)
        bz_Lump_DestroyTree(gDiamond);
    gDiamond = nullptr;
}

void bz_DrawPolyLine(bzLump *lump, bzViewport *v)
{
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
    if ((path->flags & BZ_PATH_DIAMONDS) && v)
        DrawDiamonds(path, v);
}
