// Lens flares of the OpenGL back end: OGL_DrawFlares sets the screen-pixel state that the
// following OGL_SetFlareArrays calls draw each flare shape's indexed triangles with.
#pragma once

#include <cstdint>

struct bz_IMGMAP;
struct bzFlareVertex;

// Slot 72: identity projection, a model-view that maps screen pixels (y down) to the clip
// range, depth test always, no depth writes, no face culling, lighting off, blending of one
// minus the source
// alpha onto the screen; the flare image bound (clamped) or texturing off without one.
void OGL_DrawFlares(bz_IMGMAP *image);
// Slot 71: one shape's vertices (position at 0, colour bytes at 16, u and v at 20) as 16-bit
// indexed triangles.
void OGL_SetFlareArrays(int32_t shape, const bzFlareVertex *vertices, int32_t vertexCount,
                        int32_t stride, const uint16_t *indices, int32_t indexCount);
