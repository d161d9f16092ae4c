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

#include <cmath>

namespace
{
// The diamond marker, made on first use and kept for the rest of the run.
bzLump *gDiamond = nullptr;
// The arrow marker, likewise.
bzLump *gArrow = nullptr;

// A marker lump of a model made with its own material, which is drawn blended.
bzLump *MakeMarker(bzModel *model, bzMaterial *material)
{
    bzLump *lump = model ? bz_Lump_CreateModel(model) : nullptr;
    if (model)
        bz_ReleaseModel(model); // the lump holds the model, the model its material
    if (lump && material->layers && material->layerCount > 0)
    {
        material->layers[0].blendKind = 1;
        bz_UpdateMaterial(material, -1);
    }
    bz_ReleaseMaterial(material);
    return lump;
}

bzLump *Arrow()
{
    if (gArrow)
        return gArrow;
    bzMaterial *material = bz_CreateMaterialWithColour("PolyLineArrow", 0xFFFFFF00);
    if (!material)
        return nullptr;
    // A cone of height 2 along y, its base at 0 and its apex at 2.
    gArrow =
        MakeMarker(bz_CreateConeModel("PolyLineNode", 10, 0.5f, 2.0f, material, 1, 0, 0), material);
    return gArrow;
}

bzLump *Diamond()
{
    if (gDiamond)
        return gDiamond;
    bzMaterial *material = bz_CreateMaterialWithColour("PolyLineDiamondMat", 0xFFFF00FF);
    if (!material)
        return nullptr;
    gDiamond =
        MakeMarker(bz_CreateDiamondModel("PolyLineDiamond", 1.0f, 1.0f, 1.0f, material), material);
    return gDiamond;
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
// Draws the marker with the matrix m (marker space to world), seen from the viewport's camera.
void DrawMarker(bzLump *marker, const bzM34 *m, bzViewport *v)
{
    bzModel *model = bz_Lump_GetModel(marker);
    if (!model || !model->part || model->part->entryCount < 1)
        return;
    bz_MulM34Into(&v->viewMatrix, &marker->worldMatrix, m);
    if (bzgRenderTable.PDSetWorldMatrix)
        bzgRenderTable.PDSetWorldMatrix(&marker->worldMatrix, v);
    bzMaterialEntry *entry = &model->part->entries[0];
    bzSlot::DrawMaterialGroup(entry, entry->material, &marker->worldMatrix, marker, 1);
}

// The arrow of the segment a -> b: the cone's axis along the segment, scaled by the marker
// size, its middle at centre.
void ArrowMatrix(bzM34 *m, const bzV3 &a, const bzV3 &b, const bzV3 &centre, float size)
{
    bzV3 d;
    bz_V3_SubInto(&b, &a, &d);
    bz_V3_Normalise(&d);
    // Any unit vector across the axis, then the third by the cross product.
    bzV3 side = std::fabs(d.x) < 0.9f ? bzV3{{{1.0f, 0.0f, 0.0f}}} : bzV3{{{0.0f, 0.0f, 1.0f}}};
    bzV3 x, z;
    bz_V3_CrossInto(&side, &d, &z);
    bz_V3_Normalise(&z);
    bz_V3_CrossInto(&d, &z, &x);
    bz_V3_ScaleInto(&x, &m->row[0], size);
    bz_V3_ScaleInto(&d, &m->row[1], size);
    bz_V3_ScaleInto(&z, &m->row[2], size);
    // Moved back by half the cone's height, so that the cone is centred.
    bz_V3_SubScaledInto(&centre, &d, size, &m->row[3]);
}

// An arrow on every segment; with highlighting and no diamonds the first segment's arrow sits
// green on the first point, the last one's red on the last point, and the others (yellow) are
// drawn only when every segment asks for an arrow.
void DrawArrows(const bzPath *path, bzViewport *v)
{
    bzLump *marker = Arrow();
    bzModel *model = marker ? bz_Lump_GetModel(marker) : nullptr;
    if (!model || !model->part || model->part->entryCount < 1)
        return;
    bzMaterial *material = model->part->entries[0].material;
    const bool ends = (path->flags & BZ_PATH_HIGHLIGHT) && !(path->flags & BZ_PATH_DIAMONDS);
    for (const bzPathPoint *p = path->first; p && p->next; p = p->next)
    {
        const bzPathPoint *q = p->next;
        bzV3 mid;
        bz_V3_AddInto(&p->position, &q->position, &mid);
        bz_V3_Scale(&mid, 0.5f);
        bzM34 m;
        if (material)
            SetColour(material, 255.0f, 255.0f, 0.0f);
        if (!ends)
        {
            ArrowMatrix(&m, p->position, q->position, mid, path->scale);
            DrawMarker(marker, &m, v);
            continue;
        }
        const bool first = p == path->first, last = !q->next;
        if (first)
        {
            ArrowMatrix(&m, p->position, q->position, p->position, path->scale);
            if (material)
                SetColour(material, 0.0f, 255.0f, 0.0f);
            DrawMarker(marker, &m, v);
        }
        if (last)
        {
            ArrowMatrix(&m, p->position, q->position, q->position, path->scale);
            if (material)
                SetColour(material, 255.0f, 0.0f, 0.0f);
            DrawMarker(marker, &m, v);
        }
        if (!first && !last && (path->flags & BZ_PATH_ARROWS))
        {
            ArrowMatrix(&m, p->position, q->position, mid, path->scale);
            DrawMarker(marker, &m, v);
        }
    }
}
} // namespace

void bz_DebugDraw_Release()
{
    if (gDiamond)
        bz_Lump_DestroyTree(gDiamond);
    if (gArrow)
        bz_Lump_DestroyTree(gArrow);
    gDiamond = gArrow = nullptr;
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
    if ((path->flags & (BZ_PATH_ARROWS | BZ_PATH_HIGHLIGHT)) && v)
        DrawArrows(path, v);
}
