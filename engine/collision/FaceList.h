// Face lists, rolling caches and collision caches: where the world faces near a body are kept.
// A face list either owns its entry array or borrows a window of a larger list, the rolling
// cache, that many bodies share: each gather appends behind the previous one, and when the
// cache's end is near it starts again from the front, so that the oldest borrowed windows
// become stale. Generation numbers tell a list whether its window was overwritten. A compact
// list holds addresses of entries that another list holds. A body's collision cache bundles the
// lump tree it searches, its gather list, an optional narrow list filtered from it, the filters
// and the placements at which both were made. Opening, closing and filling a window allocate
// nothing.
#pragma once

#include "core/Error.h"
#include "maths/Types.h"

#include <cstdint>

struct bzLump;
struct bzMaterial;

// One gathered face, in world coordinates.
struct bzDynFaceHit
{
    bzLump *lump;
    int32_t faceIndex;
    uint32_t flags; // the face flags AND 0xE0, plus BZ_DYNFACE_TWO_SIDED
    bzMaterial *material;
    bzPlane plane;
    bzV3 vertices[3];
};

// The face of a double-sided material: the ray test accepts it from behind.
constexpr uint32_t BZ_DYNFACE_TWO_SIDED = 0x8000;

struct bzDynFaceList
{
    int32_t capacity; // room of the array, or of the borrowed window
    int32_t count;    // in use; for a rolling cache, the entries handed out since its wrap
    int32_t growStep; // 0: fixed size
    int32_t compact;  // entries are addresses of bzDynFaceHit records held elsewhere
    bzDynFaceList *rollingCache; // the list whose array this one borrows, or null
    uint32_t generation;
    void *entries;
};

struct bzDynVertexHit
{
    bzLump *lump;
    int32_t vertexIndex;
    bzV3 position; // world
};

struct bzDynVertexList
{
    int32_t capacity;
    int32_t count;
    int32_t growStep;
    bzDynVertexHit *entries;
};

struct bzDynCollisionCache
{
    bzLump *root;
    bzDynFaceList *gatherList;
    bzDynFaceList *narrowList;
    uint32_t lumpMask, lumpValue;
    uint32_t materialMask, materialValue;
    uint32_t valid;
    float margins[6]; // added to the gather box: minimum x, y, z, then maximum x, y, z
    bzM34 narrowMatrix;
    bzBox narrowBox;
    bzM34 gatherMatrix;
    bzM34 gatherInverse;
    bzBox gatherBox;
    // The cache's place in its world's list of caches, which the physics keeps sorted by key.
    float sortKey; // the diagonal of the gather box of the last refresh
    bzDynCollisionCache *sortNext;
    bzDynCollisionCache *sortPrevious;
};

// Entry i of a list, whole or through its address.
bzDynFaceHit *bz_DynFaceList_Entry(const bzDynFaceList *list, int32_t i);

// Creation and release. Arrays are child blocks of their list records.
bzDynFaceList *bz_DynFaceList_Create(int32_t capacity);
bzDynFaceList *bz_DynFaceList_CreateChild(void *parent, int32_t capacity);
bzDynFaceList *bz_DynFaceList_CreateGrowing(void *parent, int32_t capacity, int32_t growStep);
bzDynFaceList *bz_DynFaceList_CreateCompact(int32_t capacity);
bzDynFaceList *bz_DynFaceList_CreateOnCache(void *parent, bzDynFaceList *rollingCache);
bzDynFaceList *bz_DynFaceList_CreateCompactTemp(int32_t stack, int32_t capacity);
bzDynFaceList *bz_DynFaceList_CreateTemp(int32_t stack, int32_t capacity);
void bz_DynFaceList_FreeTemp(int32_t stack, bzDynFaceList *list);
void bz_DynFaceList_Free(bzDynFaceList *list);
void bz_DynFaceList_FreeChild(void *parent, bzDynFaceList *list);
bzDynVertexList *bz_DynVertexList_Create(void *parent, int32_t capacity);
bzDynVertexList *bz_DynVertexList_CreateGrowing(void *parent, int32_t capacity, int32_t growStep);
void bz_DynVertexList_Free(bzDynVertexList *list);

bzDynCollisionCache *bz_DynCollisionCache_Create(void *parent, bzLump *root,
                                                 bzDynFaceList *gatherList, int32_t narrowCapacity,
                                                 int32_t narrowGrows, uint32_t lumpMask,
                                                 uint32_t lumpValue, uint32_t materialMask,
                                                 uint32_t materialValue);
bzDynCollisionCache *bz_DynCollisionCache_CreateOnCache(
    void *parent, bzLump *root, int32_t narrowCapacity, int32_t narrowGrows, uint32_t lumpMask,
    uint32_t lumpValue, uint32_t materialMask, uint32_t materialValue, bzDynFaceList *rollingCache);
bzDynCollisionCache *bz_DynCollisionCache_CreateWithList(void *parent, bzLump *root,
                                                         int32_t narrowCapacity,
                                                         int32_t narrowGrows, uint32_t lumpMask,
                                                         uint32_t lumpValue, uint32_t materialMask,
                                                         uint32_t materialValue,
                                                         int32_t gatherCapacity, int32_t fixedSize);
// Releases the cache with its gather list; its narrow list, a block of its own, too.
void bz_DynCollisionCache_Free(bzDynCollisionCache *cache);
void bz_DynCollisionCache_FreeChild(void *parent, bzDynCollisionCache *cache);

// Accessors; the setters clear the valid flag. All return 0.
bzDynFaceList *bz_DynCollisionCache_GetGatherList(const bzDynCollisionCache *cache);
bzDynFaceList *bz_DynCollisionCache_GetNarrowList(const bzDynCollisionCache *cache);
int32_t bz_DynCollisionCache_GetMargins(const bzDynCollisionCache *cache, float *out6);
int32_t bz_DynCollisionCache_GetLumpFilter(const bzDynCollisionCache *cache, uint32_t *mask,
                                           uint32_t *value);
int32_t bz_DynCollisionCache_GetMaterialFilter(const bzDynCollisionCache *cache, uint32_t *mask,
                                               uint32_t *value);
int32_t bz_DynCollisionCache_GetGatherPlacement(const bzDynCollisionCache *cache, bzM34 *matrix,
                                                bzBox *box);
int32_t bz_DynCollisionCache_GetNarrowPlacement(const bzDynCollisionCache *cache, bzM34 *matrix,
                                                bzBox *box);
int32_t bz_DynCollisionCache_SetRoot(bzDynCollisionCache *cache, bzLump *root);
int32_t bz_DynCollisionCache_SetMargins(bzDynCollisionCache *cache, const float *margins6);
int32_t bz_DynCollisionCache_SetLumpFilter(bzDynCollisionCache *cache, uint32_t mask,
                                           uint32_t value);
int32_t bz_DynCollisionCache_SetMaterialFilter(bzDynCollisionCache *cache, uint32_t mask,
                                               uint32_t value);
int32_t bz_DynCollisionCache_Invalidate(bzDynCollisionCache *cache);
// Clears the valid flag and gives the root (null without a cache).
int32_t bz_DynFaceCache_Invalidate(bzDynCollisionCache *cache, bzLump **root);

// Through a lump's dynamics object: the cache or null; 0, or 143 with a null list when the lump
// has no dynamics object or the object no cache.
bzDynCollisionCache *bz_DynForm_GetCollisionCache(const bzLump *lump);
bzErrorCode bz_DynCollision_GetGatherList(const bzLump *lump, bzDynFaceList **out);
bzErrorCode bz_DynCollision_GetNarrowList(const bzLump *lump, bzDynFaceList **out);
bzErrorCode bz_DynCollision_Invalidate(const bzLump *lump);

// Copies the first entries that fit; 137 (faces) or 138 (vertices) when some were left out.
bzErrorCode bz_DynFaceList_Copy(bzDynFaceList *destination, const bzDynFaceList *source);
bzErrorCode bz_DynVertexList_Copy(bzDynVertexList *destination, const bzDynVertexList *source);

// Validity and windows.
int32_t bz_DynFaceCache_IsValid(const bzDynFaceList *list);
int32_t bz_DynCollisionCache_IsValid(const bzDynCollisionCache *cache);
void bz_DynFaceList_InvalidateAll(bzDynFaceList *rollingCache);
void bz_DynFaceList_OpenWindow(bzDynFaceList *list);
void bz_DynFaceList_CloseWindow(bzDynFaceList *list);

// Room in a full list: 0 when made (grown, or the window moved to the cache's start), 1 full.
int32_t MakeRoomInFaceList(bzDynFaceList *list);
int32_t GrowVertexList(bzDynVertexList *list);
// 0; 136 for a borrowing list (unchanged); 14 when the array cannot be had.
bzErrorCode bz_DynFaceList_Resize(bzDynFaceList *list, int32_t capacity);
bzErrorCode bz_DynVertexList_Resize(bzDynVertexList *list, int32_t capacity);
