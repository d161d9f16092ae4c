// Viewports and cameras.
//
// A viewport binds a camera lump, a scene root and a rectangle of the display (or of a
// render-target image) into one record (device/ViewportRecord.h). The engine keeps every
// viewport in one list ordered by id; each frame the frame driver renders the enabled ones.
// This module owns the list, the record's setters and getters, the camera terms the render
// walk's visibility test reads (field-of-view tangent, side planes, guard band, depth terms),
// the projection, and the conversions between screen pixels, world points and rays.
//
// Every setter and getter accepts a null viewport and then does nothing; getters answer 0.0
// (field of view), 1.0 (distances) or null.
#pragma once

#include "device/ViewportRecord.h"

#include <cstdint>

struct bzLump;
struct bz_IMGMAP;
struct bzRayOptions;
struct bzMaterial;

// Clip distances of a new viewport, and the smallest near distance.
constexpr float BZ_VIEWPORT_DEFAULT_NEAR = 1.0f;
constexpr float BZ_VIEWPORT_DEFAULT_FAR = 200.0f;
constexpr float BZ_VIEWPORT_MIN_NEAR = 0.001f;
constexpr bzColour BZ_VIEWPORT_DEFAULT_AMBIENT = 0xFF101010;
// The field of view is kept within these (degrees, the half-angle across).
constexpr float BZ_VIEWPORT_MIN_FOV = 0.001f;
constexpr float BZ_VIEWPORT_MAX_FOV = 89.999f;
// Field of view a viewport without camera projects with.
constexpr float BZ_VIEWPORT_NO_CAMERA_FOV = 45.0f;

// The pixel aspect of the display (display aspect / display width-to-height ratio), part of
// every viewport's aspect; 1.0 until the display set-up sets it.
extern float bzgPixelAspect;

// ---------------------------------------------------------------------------------------
// Creation and the list

// A new enabled viewport, inserted into the list; null with last error 14 when memory runs
// out (the list is untouched). Tells the renderer (slot 44).
bzViewport *bz_Viewport_Create(int32_t id, bzLump *camera, bzLump *sceneRoot, int32_t x, int32_t y,
                               int32_t width, int32_t height);
// A cleared record, not linked; Free releases one without unlinking; Destroy unlinks first.
bzViewport *bz_Viewport_Alloc();
void bz_Viewport_Free(bzViewport *v);
void bz_Viewport_Destroy(bzViewport *v);
// Inserts before the first viewport whose id is at least v's (so among equal ids the newest
// comes first).
void bz_Viewport_Insert(bzViewport *v);
// Removes v from the list and clears its next field.
void bz_Viewport_Unlink(bzViewport *v);
void bz_Viewport_SetId(bzViewport *v, int32_t id);
// Forgets the list without freeing its records.
void bz_Viewport_ClearList();
// The list's first viewport, or null.
bzViewport *bz_Viewport_GetFirst();
// The index-th viewport in list order from 0; null for a negative index or past the end.
bzViewport *bz_Viewport_GetByIndex(int32_t index);
// Copies the whole record, next field included.
void bz_Viewport_Copy(bzViewport *destination, const bzViewport *source);

void bz_Viewport_Enable(bzViewport *v);
void bz_Viewport_Disable(bzViewport *v);
void bz_Viewport_EnableAll();
void bz_Viewport_DisableAll();
int32_t bz_Viewport_IsEnabled(const bzViewport *v);
int32_t bz_Viewport_IsSupported();

// ---------------------------------------------------------------------------------------
// Setters and getters

void bz_Viewport_SetAmbientColour(bzViewport *v, bzColour colour);
void bz_Viewport_SetFlags(bzViewport *v, uint32_t flags);
void bz_Viewport_SetSubRect(bzViewport *v, int32_t x, int32_t y, int32_t width, int32_t height);
void bz_Viewport_SetMidDistance(bzViewport *v, float distance);
void bz_Viewport_SetUserWord1(bzViewport *v, uint32_t word);
void bz_Viewport_SetUserWord2(bzViewport *v, uint32_t word);
void bz_Viewport_SetTag(bzViewport *v, uint32_t word);
void bz_Viewport_SetRenderTarget(bzViewport *v, bz_IMGMAP *image);
void bz_Viewport_SetBeforeRenderCallback(bzViewport *v, int32_t (*fn)(bzViewport *, int32_t));
void bz_Viewport_SetPreRenderCallback(bzViewport *v, void (*fn)(bzViewport *));
bzLump *bz_Viewport_GetCamera(const bzViewport *v);
// The camera lump's matrix, copied into out when given; null without a camera.
const bzM34 *bz_Viewport_GetCameraMatrix(const bzViewport *v, bzM34 *out);
// Either out-parameter may be null.
void bz_Viewport_GetClipPlanes(const bzViewport *v, float *outFar, float *outNear);

// Stores the foreground tree (drawn in camera space after the lights); a tree's materials get
// flag bits 0xC00 and are updated.
void bz_Viewport_SetForeground(bzViewport *v, bzLump *lump);
void bz_Viewport_HideForeground(bzViewport *v);
void bz_Viewport_ShowForeground(bzViewport *v);

// Stores the rectangle, resets the sub-rectangle to (0, 0, width, height), recomputes the
// aspect.
void bz_Viewport_SetRect(bzViewport *v, int32_t x, int32_t y, int32_t width, int32_t height);
// aspect = width / height x the pixel aspect; a height of 0 or less (or a result that is not a
// positive number) gives 1.0.
void bz_Viewport_UpdateAspect(bzViewport *v);
void bz_Viewport_UpdateAllAspects();

// ---------------------------------------------------------------------------------------
// Camera and clip planes

// The camera's field of view; 0.0 for a null viewport or one without camera.
float bz_Viewport_GetFieldOfView(const bzViewport *v);
// Stores degrees into the camera, kept within BZ_VIEWPORT_MIN_FOV..BZ_VIEWPORT_MAX_FOV (a
// value that is not a number stores the minimum).
void bz_Viewport_SetFieldOfView(bzViewport *v, float degrees);
void bz_Viewport_SetPerspective(bzViewport *v, uint32_t flag);
// Nothing when near is not below far (or either is not a number); near below 0.001 becomes
// 0.001; the depth terms follow; a mid distance below near becomes near + (far - near) / 2.
void bz_Viewport_SetClipPlanes(bzViewport *v, float nearClip, float farClip);
// The view's width and height at a depth (0 = the near distance); either out may be null.
void bz_Viewport_GetViewSizeAtDepth(const bzViewport *v, float *outWidth, float *outHeight,
                                    float depth);
// Distance from the camera's position to the point; 1.0 without viewport or camera.
float bz_Viewport_DistanceToCamera(const bzViewport *v, const bzV3 *point);
// (distance - near) / far; 1.0 without viewport or camera.
float bz_Viewport_GetDepthFraction(const bzViewport *v, const bzV3 *point);

// The derived camera terms (tangent, cotangent, side planes) and the projection (row-major,
// p' = p M). The M34 form also refreshes the guard-band planes and writes the rows without
// their fourth column.
void bz_Viewport_SetupProjection(bzViewport *v, bzM44 *out);
void bz_Viewport_SetupProjectionM34(bzViewport *v, bzM34 *out);

// ---------------------------------------------------------------------------------------
// Screen and world

// A pixel (sx, sy) at depth d in front of the near plane to a world point.
void bz_Viewport_ScreenToWorld(bzV3 *out, const bzV3 *screen, const bzViewport *v);
// A world point (first moved by extra when given) to {pixel x, pixel y, depth z / w, w}.
void bz_Viewport_WorldToScreen(const bzViewport *v, float *out4, const bzV3 *point,
                               const bzM34 *extra);
// The ray through pixel (px, py) in world space: an unbounded ray (flag 1). 0 without
// viewport or camera.
int32_t bz_Viewport_GetPixelRay(const bzViewport *v, float px, float py, bzRay *out);
// The ray through a pixel intersected with a lump tree (the scene root when root is null) by
// the lump ray query, whose outputs pass through; a hit distance is in world units. 1 on a
// hit.
int32_t bz_Viewport_CastRay(const bzViewport *v, float px, float py, bzLump *root,
                            const bzRayOptions *options, float *outDistance, bzLump **outLump,
                            uint32_t *outFace, bzV3 *outPoint);
int32_t bz_Viewport_CastRaySimple(const bzViewport *v, float px, float py, float *outDistance,
                                  bzLump **outLump);

// What a pick hit: the lump, the face index, the face's material and its world corners.
struct bzViewportPick
{
    bzLump *lump;
    uint32_t face;
    bzMaterial *material;
    bzV3 corners[3];
    bzPlane plane; // the face's plane in world space
};
// 1 with the record filled on a hit, else 0.
int32_t bz_Viewport_PickRay(const bzViewport *v, float px, float py, bzLump *root,
                            const bzRayOptions *options, bzViewportPick *out);
