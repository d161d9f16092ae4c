// One viewport's render: the back end set up for the viewport, the scene walk, the lights, the
// foreground tree, the batch pass, the skid marks, the draw queues, then the poly-line and
// spline lumps.
#include "core/Memory.h"
#include "device/RenderTable.h"
#include "maths/Matrix.h"
#include "render/DebugDraw.h"
#include "render/DrawQueue.h"
#include "render/RenderSlots.h"
#include "render/SceneRender.h"
#include "render/SkidRibbon.h"
#include "render/Viewport.h"
#include "scene/Lump.h"
#include "scene/Spline.h"

namespace
{
// Raised while a viewport whose camera asks for it renders; the back end reads it.
uint32_t gCameraBackEndFlag = 0;

void SetLights(bzViewport *v)
{
    bzSlot::DisableLights(v);
    static const int32_t kOrder[] = {BZ_RLIST_DIRLIGHT, BZ_RLIST_AMBIENTLIGHT, BZ_RLIST_POINTLIGHT,
                                     BZ_RLIST_SPOTLIGHT};
    int32_t index = 0;
    for (int32_t list : kOrder)
        for (bzLump *l = bz_Scene_GetRenderList(list); l; l = l->renderLink)
            bz_SetLight(index++, l, &l->worldMatrix);
}
} // namespace

uint32_t bz_Viewport_GetCameraBackEndFlag()
{
    return gCameraBackEndFlag;
}

void bz_Viewport_Render(bzViewport *v)
{
    if (!v)
        return;
    if (bzgRenderTable.PDSetAmbientLight)
        bzgRenderTable.PDSetAmbientLight(v->ambient);
    if (bzgRenderTable.PDSetProjection)
        bzgRenderTable.PDSetProjection(v);
    // The walk's sphere test reads the side planes and the guard band: both are made current
    // here whatever the back end refreshed.
    bz_Viewport_SetupProjectionM34(v, nullptr);
    if (bzgRenderTable.PDSetViewport)
        bzgRenderTable.PDSetViewport(v);
    if (bzgRenderTable.PDClearViewport)
        bzgRenderTable.PDClearViewport(v);
    if (v->preRender)
        v->preRender(v);
    const bzCamera *camera = v->camera && v->camera->type == BZ_LUMP_TYPE_CAMERA
                                 ? static_cast<const bzCamera *>(v->camera->object)
                                 : nullptr;
    if (v->camera)
    {
        bz_InverseOrthoM34Into(bz_Lump_GetMatrix(v->camera), &v->viewMatrix);
        gCameraBackEndFlag = camera && camera->backEndWord ? 1 : 0;
    }
    else
    {
        bz_M34_Copy(bz_M34_Identity(), &v->viewMatrix);
        gCameraBackEndFlag = 0;
    }
    bz_DrawQueue_Open();
    bz_Scene_OpenBatches();
    bz_Scene_Render(v);
    SetLights(v);
    if (v->foreground)
        bz_Viewport_DrawForeground(v);
    bz_Scene_DrawBatches(v);
    for (bzLump *l = bz_Scene_GetRenderList(BZ_RLIST_SKIDMARKS); l; l = l->renderLink)
        bz_DrawSkidMarks(static_cast<const bzSkidMarkSet *>(l->object), v);
    bz_DrawQueue_Flush(v);
    for (bzLump *l = bz_Scene_GetRenderList(BZ_RLIST_POLYLINE); l; l = l->renderLink)
    {
        if (bzgRenderTable.PDSetWorldMatrix)
            bzgRenderTable.PDSetWorldMatrix(&l->worldMatrix, v);
        bz_DrawPolyLine(l, v);
    }
    for (bzLump *l = bz_Scene_GetRenderList(BZ_RLIST_SPLINE); l; l = l->renderLink)
    {
        if (bzgRenderTable.PDSetWorldMatrix)
            bzgRenderTable.PDSetWorldMatrix(&l->worldMatrix, v);
        if (l->object)
            bz_Spline_Render(static_cast<const bzSpline *>(l->object));
    }
    gCameraBackEndFlag = 0;
}

void bz_Viewport_DrawForeground(bzViewport *v)
{
    bzLump *root = v ? v->foreground : nullptr;
    if (!root)
        return;
    // The tree is placed in camera space: its rotation by the camera's, no view translation.
    if (v->camera)
        bz_MulM33TransposedInto(bz_Lump_GetMatrix(v->camera), &root->worldMatrix, &root->matrix);
    else
        root->worldMatrix = root->matrix;
    root->worldMatrix.row[3] = root->matrix.row[3];
    bzLump *lump = root;
    while (lump && (lump->flags & BZ_LUMP_ACTIVE))
    {
        if (lump != root)
            bz_MulM34Into(&lump->parent->worldMatrix, &lump->worldMatrix, &lump->matrix);
        if (lump->type == BZ_LUMP_TYPE_MODEL)
            bzSlot::DrawModelInstance(bz_Lump_GetModel(lump), &lump->worldMatrix, v, lump);
        if (lump->firstChild)
        {
            lump = lump->firstChild;
            continue;
        }
        while (lump && lump != root && !lump->next)
            lump = lump->parent;
        lump = lump && lump != root ? lump->next : nullptr;
    }
}
