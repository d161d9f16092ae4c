// The front end's calls of renderer slots, each skipped when the slot is NULL. Where the table
// entry still has the generic shape, the signature is fixed here from the render walk, the draw
// queue and the frame driver, and a back end fills the slot with a function of exactly it.
#pragma once

#include "device/RenderTable.h"

#include <cstdint>

struct bzMaterialEntry;
struct bzRibbonVertex;

namespace bzSlot
{
template <typename Fn> inline Fn As(PDGenericSlot slot)
{
    return reinterpret_cast<Fn>(slot);
}

// Slot 2: one QUADBLOCKARRAY lump of the draw queue.
inline void DrawQuadBlockArray(bzViewport *v, bzLump *lump)
{
    if (bzgRenderTable.PDDrawQuadBlockArray)
        As<void (*)(bzViewport *, bzLump *)>(bzgRenderTable.PDDrawQuadBlockArray)(v, lump);
}
// Slot 3, before the scene begins.
inline void SetFrameShaderConstants()
{
    if (bzgRenderTable.PDSetFrameShaderConstants)
        bzgRenderTable.PDSetFrameShaderConstants();
}
// Slot 24: an item of lump type 21, after its world matrix.
inline void EndItemDraw(bzViewport *v, bzLump *lump)
{
    if (bzgRenderTable.PDEndItemDraw)
        As<void (*)(bzViewport *, bzLump *)>(bzgRenderTable.PDEndItemDraw)(v, lump);
}
// Slot 35: draws the frame's queued 2-D records.
inline void Flush2D()
{
    if (bzgRenderTable.PDFlush2D)
        bzgRenderTable.PDFlush2D();
}
// Slots 40 and 41: fog off or on for the viewport.
inline void DisableFog(bzViewport *v)
{
    if (bzgRenderTable.PDDisableFog)
        As<void (*)(bzViewport *)>(bzgRenderTable.PDDisableFog)(v);
}
inline void SetFog(bzViewport *v)
{
    if (bzgRenderTable.PDSetFog)
        As<void (*)(bzViewport *)>(bzgRenderTable.PDSetFog)(v);
}
// Slot 63: the depth comparison of a material.
inline void SetDepthTest(bzMaterial *material)
{
    if (bzgRenderTable.PDSetDepthTest)
        bzgRenderTable.PDSetDepthTest(material);
}
// Slots 66 and 67: the four screen-effect parameters read and stored.
inline void GetEffectParams(float *a, float *b, float *c, float *d)
{
    if (bzgRenderTable.PDGetEffectParams)
        As<void (*)(float *, float *, float *, float *)>(bzgRenderTable.PDGetEffectParams)(a, b, c,
                                                                                           d);
}
inline void SetEffectParams(float a, float b, float c, float d)
{
    if (bzgRenderTable.PDSetEffectParams)
        As<void (*)(float, float, float, float)>(bzgRenderTable.PDSetEffectParams)(a, b, c, d);
}
// Slot 74: before the viewport's lights.
inline void DisableLights(bzViewport *v)
{
    if (bzgRenderTable.PDDisableLights)
        As<void (*)(bzViewport *)>(bzgRenderTable.PDDisableLights)(v);
}
// Slot 79: one material entry of a model with its material and view matrix; clip is 1 when the
// lump crosses the guard band.
inline void DrawMaterialGroup(bzMaterialEntry *entry, bzMaterial *material, const bzM34 *matrix,
                              bzLump *lump, int32_t clip)
{
    if (bzgRenderTable.PDDrawMaterialGroup)
        bzgRenderTable.PDDrawMaterialGroup(entry, material, matrix, lump, clip);
}
// Slot 86: the frame's scene begins.
inline void BeginScene()
{
    if (bzgRenderTable.PDBeginScene)
        bzgRenderTable.PDBeginScene();
}
// Slot 87: a whole model at once (the foreground tree).
inline void DrawModelInstance(bzModel *model, const bzM34 *matrix, bzViewport *v, bzLump *lump)
{
    if (bzgRenderTable.PDDrawModelInstance)
        bzgRenderTable.PDDrawModelInstance(model, matrix, v, lump);
}
// Slot 91: the glow pass's render target.
inline void SetupGlowTarget()
{
    if (bzgRenderTable.PDSetupGlowTarget)
        bzgRenderTable.PDSetupGlowTarget();
}
// Slot 102: one skid-mark ribbon, count vertices (three a triangle, world positions) drawn as
// a triangle list with the set's image (or none) and flag word, under the world matrix set
// before it.
inline void DrawSkidRibbon(const bzRibbonVertex *vertices, int32_t count, bz_IMGMAP *image,
                           uint32_t flags)
{
    if (bzgRenderTable.PDDrawSkidRibbon)
        As<void (*)(const bzRibbonVertex *, int32_t, bz_IMGMAP *, uint32_t)>(
            bzgRenderTable.PDDrawSkidRibbon)(vertices, count, image, flags);
}
// Slots 103 and 104: stencil shadows.
inline void DrawShadowOverlay(int32_t x, int32_t y, int32_t w, int32_t h)
{
    if (bzgRenderTable.PDDrawShadowOverlay)
        bzgRenderTable.PDDrawShadowOverlay(x, y, w, h);
}
inline void DrawShadowVolume(bzLump *lump, void *light)
{
    if (bzgRenderTable.PDDrawShadowVolume)
        bzgRenderTable.PDDrawShadowVolume(lump, light);
}
} // namespace bzSlot
