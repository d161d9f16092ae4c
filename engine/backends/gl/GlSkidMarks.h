// Skid-mark ribbons of the OpenGL back end: a ribbon's coloured triangle list, its vertices in
// world positions under the world matrix set before it, added onto the scene through the
// skid-mark set's image.
#pragma once

#include <cstdint>

struct bzRibbonVertex;
struct bz_IMGMAP;

// Slot 102: draws count vertices (whole triangles only) as a triangle list, each with its colour
// (0xAARRGGBB) and the texture corner of its second word (u 1 where its red byte is 0xFF, v 1
// where its green byte is). State: the image bound, clamped in u and v, nearest filtering, or
// texturing off without one; the colour modulated by the texture, its alpha by the texture's
// only for an image with alpha (flag bits 2-3); culling, lighting and alpha test off; blend
// kind 1 (added by alpha); depth test on without depth writes. The flag word is not read.
void OGL_DrawSkidRibbon(const bzRibbonVertex *vertices, int32_t count, bz_IMGMAP *image,
                        uint32_t flags);
