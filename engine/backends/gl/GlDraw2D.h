// The 2-D layer of the OpenGL back end: screen rectangles, lines, images and text vertex
// lists are queued in call order during the frame (each with the 2-D target viewport of the
// moment and one reference on its image) and drawn once, in that order, by OGL_Flush2D over
// the finished 3-D scene.
#pragma once

#include <cstdint>

struct bz_IMGMAP;
struct bzTextRun;

// Blend kinds of 2-D records, sprites and quad blocks.
enum : int32_t
{
    BZ_OGL_BLEND_ALPHA = 0, // also every value not listed
    BZ_OGL_BLEND_ADD = 1,
    BZ_OGL_BLEND_MULTIPLY = 2,
    BZ_OGL_BLEND_SUBTRACT = 3,
};

// The most vertices the text vertex pool holds in one frame.
constexpr int32_t BZ_OGL_2D_POOL_VERTICES = 6000;

// The 2-D scale factors of the two axes (1.0 each unless the game changes them).
extern float bzgOGL2DScaleX;
extern float bzgOGL2DScaleY;

// Slots of the renderer table (see device/RenderTable.h). The queuing slots give 0, or 14
// when no record can be had.
int32_t OGL_Draw2DLine(float x0, float y0, float x1, float y1, uint32_t colour, int32_t blend);
// colours: top-left, top-right, bottom-right, bottom-left (0xAARRGGBB).
int32_t OGL_Draw2DRectColours(float x, float y, float w, float h, const uint32_t *colours,
                              int32_t blend, bz_IMGMAP *image, uint32_t flags);
int32_t OGL_Draw2DRect(float x, float y, float w, float h, uint32_t colour, int32_t blend,
                       bz_IMGMAP *image, uint32_t flags);
int32_t OGL_Draw2DImage(float x, float y, float w, float h, int32_t blend, const float *uv,
                        uint32_t flags, bz_IMGMAP *image, float angle, float scale);
int32_t OGL_Draw2DImageRotated(float x, float y, float w, float h, int32_t blend, const float *uv,
                               uint32_t flags, bz_IMGMAP *image, float angle, float scale);
// Queues a text run when its room fits in the pool; a run that would take the pool past
// BZ_OGL_2D_POOL_VERTICES is refused whole (not laid out, nothing queued).
void OGL_Add2DVertexList(bzTextRun *run);
void OGL_Flush2D();

// Vertices of the pool in use and records queued (for the memory and frame statistics).
int32_t OGL_2DPoolCount();
int32_t OGL_2DQueuedCount();

// Sets OpenGL's blend function and equation for a blend kind.
void OGL_SetBlendKind(int32_t blend);

// The state of drawings laid over the scene without writing depth: no culling, alpha test or
// lighting; depth tested, not written; blended by the given kind.
void OGL_BeginDepthTestedOverlay(int32_t blend);

// Binds the image on the first stage with no coordinate generation or texture matrix; the
// caller sets the filters. Without an image (or one not yet in OpenGL) texturing is switched
// off and the answer is false.
bool OGL_BindOverlayImage(const bz_IMGMAP *image);

// How the bound overlay image meets the vertex colour on the first stage: the colour's red,
// green and blue times the texel's (rgbFromTexture) or the colour's alone, its alpha times the
// texel's (alphaFromTexture) or the colour's alone. Without combine stages: plain modulation.
void OGL_CombineOverlayImage(bool rgbFromTexture, bool alphaFromTexture);

// One quad over the clip range (-1, -1) to (1, 1) in the current colour and state.
void OGL_DrawClipRect();

// Slot 70: a flat rectangle over the whole screen in colour 0xRRGGBB, drawn at once: blend kind
// 0 by alpha, 1 added, 3 darkened by the inverse colour, 4 multiplied, any other unblended.
void OGL_DrawScreenRectGL(int32_t unused, uint32_t colour, int32_t blend);
