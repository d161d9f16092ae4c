#include "formview/FaceListDebug.h"

#include "core/Error.h"
#include "device/RenderTable.h"
#include "maths/Matrix.h"
#include "maths/Vector.h"
#include "render/FrameDriver.h"
#include "scene/Lump.h"

#include <cstring>

namespace
{
constexpr bzColour kWhite = 0xFFFFFFFF;
// One closed triangle as the line slot takes it: the records a, b, b, c, c, a are three
// segments to a back end that draws them in pairs and the strip a, b, c, a to one that draws
// every second record and then the last.
constexpr int32_t kOutlineRecords = 6;

// World to the camera's frame: the general inverse of the camera lump's matrix, the identity
// without a camera (as the scene drawing does).
bzM34 ViewOf(bzViewport *viewport)
{
    bzM34 view = *bz_M34_Identity();
    if (viewport->camera)
        bz_InverseM34Into(bz_Lump_GetMatrix(viewport->camera), &view);
    return view;
}

void Begin(bzViewport *viewport, bzColour colour)
{
    bz_DynDebug_SetProjection(viewport);
    if (bzgRenderTable.PDSetupLineDrawing)
        bzgRenderTable.PDSetupLineDrawing(colour);
}

// The outline of the triangle, its corners moved into the camera's frame.
void Outline(const bzM34 &view, const bzV3 &a, const bzV3 &b, const bzV3 &c)
{
    uint8_t records[kOutlineRecords * BZ_LINE_VERTEX_SIZE] = {};
    const bzV3 *order[kOutlineRecords] = {&a, &b, &b, &c, &c, &a};
    for (int32_t i = 0; i < kOutlineRecords; i++)
    {
        bzV3 p;
        bz_M34_TransformPointInto(&view, &p, order[i]);
        std::memcpy(records + i * BZ_LINE_VERTEX_SIZE, p.v, sizeof p.v);
    }
    if (bzgRenderTable.PDDrawPolyline)
        bzgRenderTable.PDDrawPolyline(records, kOutlineRecords);
}

// White lines and the whole display again.
void Restore()
{
    if (bzgRenderTable.PDSetupLineDrawing)
        bzgRenderTable.PDSetupLineDrawing(kWhite);
    bzViewport whole{};
    bz_Display_GetSize(&whole.width, &whole.height);
    if (bzgRenderTable.PDSetViewport)
        bzgRenderTable.PDSetViewport(&whole);
}
} // namespace

int32_t bz_DynDebug_SetProjection(bzViewport *viewport)
{
    if (!viewport)
        return bzgLastError = BZ_ERROR_INVALID_PARAMETER;
    if (bzgRenderTable.PDSetProjection)
        bzgRenderTable.PDSetProjection(viewport);
    if (bzgRenderTable.PDSetViewport)
        bzgRenderTable.PDSetViewport(viewport);
    return 0;
}

int32_t bz_DynDebug_DrawFaceList(bzColour colour, bzViewport *viewport, const bzDynFaceList *list)
{
    if (!viewport)
        return bzgLastError = BZ_ERROR_INVALID_PARAMETER;
    const bzM34 view = ViewOf(viewport);
    Begin(viewport, colour);
    const int32_t count = list && list->entries ? list->count : 0;
    for (int32_t i = 0; i < count; i++)
        if (const bzDynFaceHit *face = bz_DynFaceList_Entry(list, i))
            Outline(view, face->vertices[0], face->vertices[1], face->vertices[2]);
    Restore();
    return 0;
}

int32_t bz_DynDebug_DrawVertexList(bzViewport *viewport, const bzDynVertexList *list, float size)
{
    if (!viewport)
        return bzgLastError = BZ_ERROR_INVALID_PARAMETER;
    const bzM34 view = ViewOf(viewport);
    Begin(viewport, kWhite);
    const int32_t count = list && list->entries ? list->count : 0;
    for (int32_t i = 0; i < count; i++)
    {
        const bzV3 &p = list->entries[i].position;
        const bzV3 alongX = {{{p.x + size, p.y, p.z}}};
        const bzV3 alongY = {{{p.x, p.y + size, p.z}}};
        Outline(view, p, alongX, alongY);
    }
    Restore();
    return 0;
}
