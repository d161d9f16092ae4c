// The lump: the node of the scene graph. Every model, light, camera, path, emitter, shadow and
// grouping node of a level is a lump in one tree. This module owns the record, the type codes,
// creating, linking, unlinking and destroying lumps with the object of each type, the matrix
// rules (parent-relative or world-relative), walks, counts, name and path look-ups and flags.
//
// One record for every reader. The subsystems that read lumps were written apart; the record
// below holds every field any of them reads, and the flag map gives each bit one meaning:
// - bit 0 (0x1) is "active", also read as "created" and "shown";
// - bit 1 (0x2) is "mirrored", which the back ends read as reversed winding;
// - bit 4 (0x10), set from container flag bytes 8-11, keeps the orientation to the camera;
// - bit 10 (0x400) is "the material override is held without a reference": the override is
//   always a material, never a bare colour of four floats, and a face never falls back to it;
// - bit 11 (0x800) is "hidden": not hit by the ray queries, set from container flag byte 1;
// - bit 21 (0x200000) is "registered in the portal system", not "camera inside a room";
// - bit 27 (0x8000000) is container flag byte 6, set on loaded level lumps;
// - bit 29 (0x20000000) marks the lumps the portal render pass has queued, and only while it
//   runs: the room link is never tagged, so whatever reads it meanwhile sees a real pointer;
// - bit 30 (0x40000000) is "world-relative matrix"; a rag-doll's lumps carry it because their
//   matrices are world transforms, so the rag-doll test reads this bit and has none of its own;
// - bit 31 (0x80000000) is "material override set", kept in step with the override field.
// The static render bits that level lumps OR in (0xB8000005) go to a word of their own, not to
// the flags. Three 16-bit words are kept apart: the debug-draw word (the wire-frame command's
// 0x20 among its bits), the game's flag half-word, and the pool binding {slot, bind flags},
// also read as one word. The id word's low byte is the bone id the skinning matches.
// The LOD record is the larger one {enable word, current level, five switch distances, five
// models}; level selection is by bz_Lump_SetLodLevel alone. bz_Lump_Attach takes (parent,
// child); bz_Lump_GetMatrix gives the lump's own matrix, or the controller's matrix attribute of
// a bound lump.
//
// Names hold at most 16 characters (longer ones are cut); the record keeps a terminator after
// them, and containers store the 16 characters alone.
#pragma once

#include "core/Error.h"
#include "maths/Types.h"

#include <cstdint>

struct bzModel;
struct bzMaterial;
struct bzOctreeObject;
struct bzRoomLink;
struct bzPath;
struct bzLight;
struct bzFileHandle;
struct bzLump;
struct bzParticleSystem;

// Type codes, one byte.
enum : uint8_t
{
    BZ_LUMP_TYPE_NULL = 0,
    BZ_LUMP_TYPE_MODEL = 1,
    BZ_LUMP_TYPE_SPLINE = 2,
    BZ_LUMP_TYPE_SKINNED_MODEL = 3,
    BZ_LUMP_TYPE_POLYLINE = 4,
    BZ_LUMP_TYPE_LOD = 5,
    BZ_LUMP_TYPE_DIRLIGHT = 6,
    BZ_LUMP_TYPE_POINTLIGHT = 7,
    BZ_LUMP_TYPE_SPOTLIGHT = 8,
    BZ_LUMP_TYPE_FLARELIGHT = 9,
    BZ_LUMP_TYPE_AMBIENTLIGHT = 10,
    BZ_LUMP_TYPE_CAMERA = 11,
    BZ_LUMP_TYPE_BOUNDS = 12,
    BZ_LUMP_TYPE_SOUND = 13,
    BZ_LUMP_TYPE_PARTICLE_EMITTER = 14,
    BZ_LUMP_TYPE_STENCIL_SHADOW = 15,
    BZ_LUMP_TYPE_CLIPPED_MODEL = 16,
    BZ_LUMP_TYPE_LIGHT = 17,
    BZ_LUMP_TYPE_PORTALS_ROOT = 18,
    BZ_LUMP_TYPE_SKIDMARKS = 19,
    BZ_LUMP_TYPE_QUADBLOCKARRAY = 20,
    BZ_LUMP_TYPE_POOLED_EMITTER = 21, // a slot of the pooled emitters (no name of its own)
    BZ_LUMP_TYPE_SPHERE_MODEL = 22,   // a model with its own view-sphere test (no name of its own)
};
// Number of type codes with a counter (0 to 22).
constexpr int32_t BZ_LUMP_TYPE_COUNT = 23;

// Flag bits.
enum : uint32_t
{
    BZ_LUMP_ACTIVE = 0x1,           // created active; shown, simulated and hit by ray queries
    BZ_LUMP_MIRRORED = 0x2,         // the matrix's 3x3 part has a negative determinant
    BZ_LUMP_TRANSIENT = 0x4,        // not saved in containers, skipped by model collection
    BZ_LUMP_VIEW_CLIP_A = 0x8,      // view-test results, rewritten by the render walk
    BZ_LUMP_FACE_CAMERA = 0x10,     // container flag bytes 8-11: keep the orientation to the camera
    BZ_LUMP_UNCOUNTED = 0x400,      // the material override holds no reference
    BZ_LUMP_HIDDEN = 0x800,         // container flag byte 1; not hit by ray queries
    BZ_LUMP_VIEW_CLIP_B = 0x4000,   // view-test results, also read by trigger gates
    BZ_LUMP_VIEW_CLIP_C = 0x8000,   //
    BZ_LUMP_IN_PORTALS = 0x200000,  // registered in the portal system
    BZ_LUMP_OCTREE = 0x400000,      // the octree field holds an octree object
    BZ_LUMP_CONTAINER_2 = 0x800000, // container flag bytes 2-6; skinned models are queued by them
    BZ_LUMP_CONTAINER_3 = 0x1000000,    //
    BZ_LUMP_CONTAINER_4 = 0x2000000,    //
    BZ_LUMP_CONTAINER_5 = 0x4000000,    //
    BZ_LUMP_LEVEL = 0x8000000,          // container flag byte 6; set on loaded level lumps
    BZ_LUMP_PORTAL_QUEUED = 0x20000000, // queued by the portal render pass (only during it)
    BZ_LUMP_WORLD = 0x40000000,         // world-relative matrix; ends every chain of matrices
    BZ_LUMP_HAS_MATERIAL = 0x80000000u, // the material override is set
};
constexpr uint32_t BZ_LUMP_VIEW_BITS = 0xC008;

// The render callback of a lump, called by the render walk before the lump is drawn (models,
// particle emitters, stencil shadows, quad-block arrays) or in its place (SOUND lumps). The
// record (bzLumpRenderInfo) belongs to the renderer (render/SceneRender.h); a model lump's
// callback may replace or clear the model it carries, or set a material for every group. An
// answer of 0 means the lump is not drawn this frame.
struct bzLumpRenderInfo;
typedef int32_t (*bzLumpRenderFunction)(bzLumpRenderInfo *info);
// The game's per-lump update.
typedef void (*bzLumpUpdateFunction)(bzLump *lump);

struct bzLump
{
    void *dynamicsElement;  // the dynamics controller's element bound to the lump, or null
    void *dynamicsObject;   // the lump's rigid body (BZDObject) when it is a body
    uint32_t flags;         // BZ_LUMP_* bits
    uint8_t type;           // BZ_LUMP_TYPE_*
    uint8_t renderBits[2];  // written by the render walk; the back ends' debug-view bytes
    uint8_t dynamicsFlags;  // flag byte of the dynamics core
    uint16_t dynamicsIndex; // controller index of the dynamics core
    uint16_t debugDraw;     // model debug drawing (wire frame 0x20, centres, boxes, normals)
    uint16_t gameFlags;     // the game's flag half-word (broken, snapped, accessories, ...)
    union
    {
        struct
        {
            uint16_t poolSlot;  // dynamic-object pool slot, non-zero when bound; 0 at creation
            uint16_t poolFlags; // the pool's bind flags
        };
        uint32_t poolWord; // both, read as one word
    };
    uint32_t renderFlags;        // static render flags (level lumps OR in 0xB8000005)
    bzLump *renderLink;          // next lump of a render queue or of a collected list
    bzLump *nearLink;            // next result of a near-object query
    bzLump *firstChild;          // head of the child list
    bzLump *parent;              // null for a root
    bzLump *next;                // next sibling
    bzM34 matrix;                // relative to the parent, or to the world with BZ_LUMP_WORLD
    bzM34 worldMatrix;           // world transform cached by the render walk
    bzOctreeObject *octree;      // the lump's octree object with BZ_LUMP_OCTREE
    bzLumpRenderFunction render; // render callback, or null
    bzLumpUpdateFunction update; // the game's update callback
    void *object;                // the type's object
    bzMaterial *material;        // material override, counted unless BZ_LUMP_UNCOUNTED
    uint32_t queryFlags;         // matched by the ray queries' lump mask and value
    uint32_t userWord;           // the word a container stores for the lump
    uint32_t idWord;             // the game's id word (kind in its low byte, also the bone id)
    void *appData;               // application data (a script actor, a vehicle)
    char name[17];               // at most 16 characters and a terminator
    uint32_t lastDrawnFrame;     // frame stamp of the render walk
    bzRoomLink *roomLink;        // the lump's room record in the portal system, or null
};

// The object of a CAMERA lump.
struct bzCamera
{
    float fieldOfView; // degrees
    float orthoWidth;
    float orthoHeight;
    uint32_t backEndWord; // left 0 by the creator
    uint32_t perspective; // 1 perspective, 0 orthographic
};

// The object of a LOD lump.
constexpr int32_t BZ_LUMP_LOD_LEVELS = 5;
struct bzLumpLod
{
    uint32_t enable;
    int32_t currentLevel;
    float switchDistance[BZ_LUMP_LOD_LEVELS];
    bzModel *models[BZ_LUMP_LOD_LEVELS];
};

// The object of a SKINNED_MODEL lump is a skin instance, made and freed by the models through
// the scene's model services. Its first word is its model, of which it holds one use.
struct bzSkinInstance;

// The object of a CLIPPED_MODEL lump.
struct bzLumpClipped
{
    bzPlane plane;
    bzModel *model;
    uint32_t side; // non-zero: the plane as stored, else negated
};

// The object of a STENCIL_SHADOW lump.
struct bzLumpShadow
{
    bzModel *model;  // the caster, one use held
    float extrusion; // 20.0 when created
};

// The object of a BOUNDS lump.
struct bzLumpBounds
{
    bzV3 centre;
    float radius;
};

// The parameters of a new light.
struct bzLightParameters
{
    uint32_t parameter1;
    uint32_t parameter2;
    const uint32_t *flareTemplate; // six words, or null for no flare
};

// What owners of other types' objects do when a lump takes or releases one; installed by the
// owners of splines, particle systems, stencil shadows, skid marks, quad-block arrays and the
// pooled emitters. Types without an installed release let go of the object without freeing it.
struct bzLumpObjectHooks
{
    void (*take)(bzLump *lump, void *object);    // the reference a new object gets
    void (*release)(bzLump *lump, void *object); // the release at destroy and replacement
    void (*unlink)(bzLump *lump, void *object);  // a replaced emitter's back-link cleared
    bzModel *(*getModel)(const void *object);    // the object's model, for bz_Lump_GetModel
    const char *(*getName)(const void *object);  // the object's name, or null
};
void bz_Lump_SetObjectHooks(uint8_t type, const bzLumpObjectHooks *hooks);

// What the octree and the portal system do for a destroyed lump.
struct bzLumpTreeHooks
{
    void (*freeOctree)(bzOctreeObject *octree);
    int32_t (*portalsReady)();
    void (*portalDestroy)(bzLump *lump);
    void (*freeRoomChain)(bzRoomLink *link);
};
void bz_Lump_SetTreeHooks(const bzLumpTreeHooks *hooks);

// ---------------------------------------------------------------------------------------
// Creation. Null with last-error 14 when memory runs out, 29 for a type code above 22.

bzLump *bz_Lump_Create(uint8_t type, const char *name);
bzLump *bz_Lump_CreateModel(bzModel *model);
// A skin instance of the model (one more use) posed at its skeleton's rest pose; null with 29
// for no model, 14 when memory runs out, 68 with no models to make one. bz_Lump_FreeSkinInstance
// drops the use and frees it.
bzSkinInstance *bz_Lump_CreateSkinInstance(bzModel *model);
void bz_Lump_FreeSkinInstance(bzSkinInstance *instance);
// The model of a skin instance, or null.
bzModel *bz_Lump_GetSkinModel(const bzSkinInstance *instance);
// A SKINNED_MODEL lump holding a new skin instance of the model; null as above.
bzLump *bz_Lump_CreateSkinnedModel(bzModel *model);
bzLump *bz_Lump_CreateCamera(const bzM34 *matrix, float fieldOfView);
bzLump *bz_Lump_CreatePolyline(const char *name, bzColour colour, bzPath **outPath);
bzLump *bz_Lump_CreateLight(uint8_t type, const bzM34 *matrix, const bzLightParameters *params);
// A PARTICLE_EMITTER lump with a new particle system (listed, with the lump's defaults),
// handed back through outSystem when one is given.
bzLump *bz_Lump_CreateEmitter(const char *name, bzParticleSystem **outSystem);
// The lump takes over the caller's references of the first count models (at most five).
bzLump *bz_Lump_CreateLod(const char *name, bzModel *const *models, int32_t count);
// A MODEL lump becomes a LOD lump with its model at level 0; then the model goes to the level
// (0 to 4) with one more use. 0, 29 (not a MODEL or LOD lump) or 20 (level out of range).
bzErrorCode bz_Lump_AddLodLevel(bzLump *lump, int32_t level, bzModel *model);
// A shadow of the model (one more use), welded for shadow use when it is not yet.
bzLump *bz_Lump_CreateStencilShadow(const char *name, bzModel *model);
// The MODEL lump becomes the kept side (1) of the plane; a new lump "LeftSide" holds side 0.
bzLump *bz_Lump_CreateClippedModel(bzLump *lump, const bzPlane *plane);
// A model loaded by file name in a MODEL lump named after the file name.
bzLump *bz_Lump_LoadModelLump(const char *fileName);

bzErrorCode bz_Lump_SetObject(bzLump *lump, void *object);
bzErrorCode bz_Lump_SetMaterial(bzLump *lump, bzMaterial *material);
bzErrorCode bz_Lump_SetMaterialTree(bzLump *lump, bzMaterial *material);
bzErrorCode bz_Lump_SetMaterialTreeUncounted(bzLump *lump, bzMaterial *material);
// The one lump's override held without a reference (a counted one released), flag 0x400 set.
bzErrorCode bz_Lump_SetMaterialUncounted(bzLump *lump, bzMaterial *material);
bzMaterial *bz_Lump_GetUncountedMaterial(const bzLump *lump);
bzMaterial *bz_Lump_TakeMaterial(const bzLump *lump);

// ---------------------------------------------------------------------------------------
// Linking. Attach makes the child the first child, AppendChild the last; both detach it from
// its old parent first. 29 for a null lump, a lump attached to itself or below one of its own
// descendants, and (after the error report) for a camera child; nothing changes then.

bzErrorCode bz_Lump_Attach(bzLump *parent, bzLump *child);
bzErrorCode bz_Lump_AppendChild(bzLump *parent, bzLump *child);
// 0 when done or without a parent; 50 when the parent's list does not hold the lump.
bzErrorCode bz_Lump_Detach(bzLump *lump);

// ---------------------------------------------------------------------------------------
// Destruction. Destroy frees one lump; its children are detached and left as roots of their
// own. DestroyTree frees a whole subtree, children first.

bzErrorCode bz_Lump_Destroy(bzLump *lump);
bzErrorCode bz_Lump_DestroyTree(bzLump *lump);
void bz_Lump_FreeOctree(bzLump *lump);

// ---------------------------------------------------------------------------------------
// Queries

bzModel *bz_Lump_GetModel(const bzLump *lump);
bzModel *bz_Lump_GetLodModel(const bzLump *lump, int32_t level);
int32_t bz_Lump_SetLodLevel(int32_t level, bzLump *lump);
int32_t bz_Lump_HasModel(const bzLump *lump);
int32_t bz_Lump_IsLight(const bzLump *lump);
int32_t bz_Lump_IsTransient(const bzLump *lump);
int32_t bz_Lump_IsLeafOrSingle(const bzLump *lump);
// "BZ_LUMP_TYPE_" and the type's name; "BZ_LUMP_TYPE_UNKNOWN" for other codes.
const char *bz_Lump_GetTypeName(int32_t type);
const char *bz_Lump_GetObjectName(const bzLump *lump);
const char *bz_Lump_GetName(const bzLump *lump);
int32_t bz_Lump_CountChildren(const bzLump *lump);
bzLump *bz_Lump_GetChild(const bzLump *lump, int32_t n);
int32_t bz_Lump_CountDescendants(const bzLump *lump);
int32_t bz_Lump_CountTree(const bzLump *lump);
int32_t bz_Lump_CountModels(const bzLump *lump);
typedef int32_t (*bzLumpFilter)(const bzLump *lump);
int32_t bz_Lump_CountMatching(const bzLump *lump, bzLumpFilter filter);

// Statistics: bytes and number of live lumps, and the live count per type code.
uint32_t bz_Lump_GetTotalBytes();
int32_t bz_Lump_GetTotalCount();
int32_t bz_Lump_GetTypeCounter(int32_t type);
void bz_Lump_ClearTypeCounters();

// ---------------------------------------------------------------------------------------
// Walks

typedef intptr_t (*bzLumpWalkFunction)(bzLump *lump, void *user);
typedef intptr_t (*bzLumpMatrixWalkFunction)(bzLump *lump, const bzM34 *matrix, void *user);
// Pre-order, the root first; the first non-zero result ends the walk and is returned.
intptr_t bz_Lump_Walk(bzLump *root, bzLumpWalkFunction fn, void *user);
bzLump *bz_Lump_NextPreOrder(const bzLump *lump, const bzLump *root);
bzLump *bz_Lump_NextSkipChildren(const bzLump *lump, const bzLump *root);
// Walk callbacks: the lump when its name (its model's name) equals the text at user, the lump
// when it is the lump at user.
intptr_t bz_Lump_MatchName(bzLump *lump, void *name);
intptr_t bz_Lump_MatchModelName(bzLump *lump, void *name);
intptr_t bz_Lump_CompareEqual(bzLump *lump, void *other);
bzLump *bz_Lump_FindByName(bzLump *root, const char *name);
bzLump *bz_Lump_FindByModelName(bzLump *root, const char *name);
// The lump at the end of a path of child indices read from the cursor (never at or past end);
// null (last-error 59 for a cut or malformed path) when the path leaves the tree.
bzLump *bz_Lump_FindByPath(bzLump *root, const uint8_t **cursor, const uint8_t *end);
// Writes the path from the ancestor down to the lump: 0, 29 when the ancestor is not above
// the lump, 14 when the temporary buffer cannot be had.
bzErrorCode bz_Lump_WritePathIndices(bzFileHandle *file, const bzLump *lump,
                                     const bzLump *ancestor);

bzErrorCode bz_Lump_SetFlags(bzLump *lump, uint32_t bits, int32_t recurse);
bzErrorCode bz_Lump_ClearFlags(bzLump *lump, uint32_t bits, int32_t recurse);
// flags := (flags & ~mask) | (value & mask).
bzErrorCode bz_Lump_SetFlagsMasked(bzLump *lump, uint32_t value, uint32_t mask, int32_t recurse);
bzErrorCode bz_Lump_Activate(bzLump *lump);
bzErrorCode bz_Lump_Deactivate(bzLump *lump);

// ---------------------------------------------------------------------------------------
// Matrices

bzM34 *bz_Lump_GetMatrix(bzLump *lump);
// The transform from the coordinates of `from` into those of `to`; null stands for the world.
void bz_Lump_GetRelativeMatrix(bzM34 *out, bzLump *from, bzLump *to);
void bz_Lump_PointToWorld(bzLump *lump, const bzV3 *point, bzV3 *out);
void bz_Lump_DirectionToWorld(bzLump *lump, const bzV3 *direction, bzV3 *out);
bzErrorCode bz_Lump_MakeMatrixRelative(bzLump *lump);
bzErrorCode bz_Lump_MakeMatrixWorld(bzLump *lump);
bzErrorCode bz_Lump_SetMirror(bzLump *lump, uint32_t axes);
// Pre-order walk handing each lump its transform into the space of the walk's root.
intptr_t bz_Lump_WalkWithMatrix(bzLump *root, bzLumpMatrixWalkFunction fn, const bzM34 *matrix,
                                void *user);
intptr_t bz_Lump_WalkFromRoot(bzLump *root, bzLumpMatrixWalkFunction fn, void *user);
void bz_Lump_OffsetTree(bzLump *lump, const bzV3 *offset);
// Moves the children's translations so that the centre of their box lies at the lump's origin
// (with recurse, at every level below as well); gives the centre moved by (0 without children).
void bz_Lump_CentreChildren(bzLump *lump, int32_t recurse, bzV3 *outCentre);
// Bakes each lump's transform into the root's space into its model and resets its matrix.
void bz_Lump_ResetMatrices(bzLump *root);
intptr_t bz_Lump_ResetMatrix(bzLump *lump, const bzM34 *matrix, void *user);
// Makes the two lumps CLIPPED_MODEL lumps of the source's model (one more use each) on the two
// sides of the plane (first 0, second 1), with the source's matrix and name.
bzErrorCode bz_Lump_SplitCopy(const bzLump *source, bzLump *first, bzLump *second,
                              const bzPlane *plane);

// ---------------------------------------------------------------------------------------
// Collected lists, linked through the render-link fields, the most recently found first.

// Collects the lumps of the subtree that the filter accepts.
bzLump *bz_Lump_CollectFiltered(bzLump *root, bzLumpFilter filter, int32_t *outCount);
// The walk callback of it; user is a bzLumpCollection.
struct bzLumpCollection
{
    bzLumpFilter filter;
    bzLump *head;
    int32_t count;
};
intptr_t bz_Lump_PushMatching(bzLump *lump, void *user);
// The matrix-walk callback: also copies the matrix handed over into the world-matrix field.
intptr_t bz_Lump_CollectMatching(bzLump *lump, const bzM34 *matrix, void *user);
bzLump *bz_Lump_CollectMatchingWithMatrices(bzLump *root, bzLumpFilter filter, int32_t *outCount);
// Sorts a collected list in place: each node from the second on moves before the first earlier
// node for which compare(node, earlier) is 0 or less. Returns the new head.
typedef int32_t (*bzLumpCompare)(const bzLump *a, const bzLump *b);
bzLump *bz_Lump_SortList(bzLump *head, bzLumpCompare compare);
