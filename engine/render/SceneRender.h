// The scene render walk: once a frame for each viewport it visits the viewport's scene root
// subtree, composes every lump's view matrix (lump to camera, kept in the lump's worldMatrix
// field), tests bounding spheres against the viewport's frustum and sorts what it finds into
// per-type render lists, opaque material batches (drawn per material by the batch pass) and
// the depth-bucket draw queues (render/DrawQueue.h). Nothing is drawn during the walk. The walk
// is iterative and takes nothing from the system heap; batches live in a block of the
// temporary memory stack for the length of one viewport's render.
#pragma once

#include <cstdint>

struct bzViewport;
struct bzLump;
struct bzModel;
struct bzMaterial;
struct bzM34;
struct bzV3;

// The record a lump's render callback (scene/Lump.h) is handed, built on the stack. The
// callback may set a material, which then draws every group of the model, and on a model lump
// replace or clear the model (cleared: nothing of the lump is drawn, its children are walked).
struct bzLumpRenderInfo
{
    bzM34 *viewMatrix;           // the lump's view matrix (lump to camera)
    const bzM34 *cameraMatrix;   // the camera lump's matrix
    const bzM34 *viewportMatrix; // the viewport's view matrix
    bzLump *lump;
    bzViewport *viewport;
    bzMaterial *material; // null on entry
    bzModel *model;       // the model to draw; null for lumps that are not models
};

// Clip flags of the sphere test, kept in the lump's flag bits 3, 14 and 15.
enum : uint32_t
{
    BZ_CLIP_OUTSIDE = 0,
    BZ_CLIP_INSIDE = 0x4000, // wholly inside the guard band
    BZ_CLIP_GUARD = 0x8000,  // crossing a guard-band plane
    BZ_CLIP_NEAR = 0x8008,   // crossing the near plane
};

// Lump flag bits the walk reads besides those of scene/Lump.h.
enum : uint32_t
{
    BZ_LUMP_BATCH_CHAIN1 = 0x8000000, // its opaque groups join batch chain 1
    BZ_LUMP_SKIP_SELF = 0x10000000,   // the lump is passed over, its children walked
};

// The render lists, each a chain through the lumps' render links, latest found first.
enum : int32_t
{
    BZ_RLIST_DIRLIGHT = 0,
    BZ_RLIST_POINTLIGHT = 1,
    BZ_RLIST_SPOTLIGHT = 2,
    BZ_RLIST_AMBIENTLIGHT = 3,
    BZ_RLIST_NULL = 5,
    BZ_RLIST_SKIN_C3 = 7,
    BZ_RLIST_SHADOW = 8,
    BZ_RLIST_SKIN_C4 = 9,
    BZ_RLIST_SPLINE = 10,
    BZ_RLIST_POLYLINE = 11,
    BZ_RLIST_PORTALS = 12,
    BZ_RLIST_SPHERE_MODEL = 13,
    BZ_RLIST_SKIDMARKS = 14,
    BZ_RLIST_COUNT = 18,
};

// The batch buffer's first capacity (material entries per viewport).
constexpr int32_t BZ_BATCH_DEFAULT_CAPACITY = 4096;

// The engine's frame counter (lumps found visible take it as their frame stamp) and the
// per-type processed counters of the walk.
extern uint32_t bzgFrameCounter;
extern uint32_t bzgLumpProcessed[23];

// The sphere test of a view-space centre and radius against the viewport's frustum.
uint32_t bz_Viewport_SphereClipFlags(const bzV3 *centre, const bzViewport *v, float radius);

// The walk of the viewport's scene (nothing without scene root or camera).
void bz_Scene_Render(bzViewport *v);
// One lump's step with the viewport in hand: the lump to enter next, or null.
bzLump *bz_Scene_RenderLump(bzLump *lump, bzViewport *v);
// Gathers a model lump's material entries into batches and queues; its first child, or null
// when its render callback answered 0.
bzLump *bz_Scene_QueueModel(bzLump *lump, bzModel *model, bzViewport *v);
// The room pass: when the camera is registered with the portal world in a room (index 0 or
// more) and the console's portal switch is on, PORTALS_ROOT lumps are collected (list 12)
// instead of walked, and their rooms are drawn after the walk (scene/Portals.h); otherwise
// they are walked as any other lump.

// The batch buffer of one viewport: Open takes capacity x entry bytes from the temporary
// stack and empties both chains; DrawBatches is the batch pass and gives the block back;
// Reset sets the count to 0 and the capacity to its first value.
int32_t bz_Scene_OpenBatches();
void bz_Scene_DrawBatches(bzViewport *v);
void bz_Scene_ResetBatches();
int32_t bz_Scene_BatchCapacity();
int32_t bz_Scene_BatchCount();

// Two on-screen debug lines at line and line + 1: the most view matrices one walk composed
// and the number the last walk composed. Answers line + 2.
int32_t bz_Scene_PrintMatrixStats(int32_t line);
// The number of view matrices the last walk composed, and the most of any walk.
uint32_t bz_Scene_MatrixTransformsLastWalk();
uint32_t bz_Scene_MatrixTransformsMax();

// The head of render list n (0-17) of the last walk, or null.
bzLump *bz_Scene_GetRenderList(int32_t n);
// Empties lists 0-10 and 13.
void bz_Scene_ClearRenderLists();
typedef void (*bzScenePostWalkHook)(bzViewport *v, bzLump *const *lists);
void bz_Scene_SetPostWalkHook(bzScenePostWalkHook hook);

// Renders one viewport: projection, clear, walk, lights, foreground, batch pass, skid marks,
// draw queues, poly-lines and splines (render/ViewportRender.cpp).
void bz_Viewport_Render(bzViewport *v);
void bz_Viewport_DrawForeground(bzViewport *v);
// 1 while a viewport whose camera's back-end word is non-zero renders, else 0; the back end
// reads it.
uint32_t bz_Viewport_GetCameraBackEndFlag();
