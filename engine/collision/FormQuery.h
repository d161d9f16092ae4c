// Form queries against the lump tree: which world faces reach into a body's region. A walk of
// the lump tree and its octrees keeps, in a face list, every model face that survives clipping
// by a query box (in the frame of a query matrix), in world coordinates; a body's collision
// cache is refreshed only when the body leaves the region gathered last time, otherwise its
// narrow list is re-filtered from what was gathered. The same walk wakes dormant pooled objects
// the box touches, or reports them (report mode). A second walk collects model vertices.
//
// One query runs at a time: its state is the module's globals below, which the face tests read
// too. Walks allocate nothing (faces go into a window of a rolling cache, or a list that grows
// by its step).
#pragma once

#include "collision/FaceList.h"
#include "core/Error.h"
#include "maths/Types.h"

#include <cstdint>

struct bzLump;
struct bzOctreeEntry;
struct bzOctreeObject;

// The toucher of a walk: 0 ignores pooled objects, BZ_DYN_TOUCHER_REPORT reports them, any
// other lump activates them.
inline bzLump *const BZ_DYN_TOUCHER_REPORT = reinterpret_cast<bzLump *>(~uintptr_t{0});

typedef int32_t (*bzDynPoolCallback)(bzLump *lump, void *data);

extern const bzBox *bzgDynQueryBox;
extern bzBox bzgDynQueryAllBox;
extern bzV3 bzgDynQueryCentre;
extern float bzgDynQueryRadius;
extern const bzM34 *bzgDynQueryMatrix;
extern bzM34 bzgDynQueryInverse;
extern uint32_t bzgDynTwoSided;
extern bzDynPoolCallback bzgDynPoolCallback;
extern void *bzgDynPoolCallbackData;

// Sets the query: the box (null: everything) in the frame of the matrix (null: the world).
void bz_DynForm_SetQueryBounds(const bzBox *box, const bzM34 *matrix);

// Refreshes the faces of a body's collision cache for the body at worldMatrix with its local
// bounds, its placement at the previous step and the motion it may make before the next refresh
// (both optional). 0; a gather that could not keep every face leaves the cache invalid, so the
// next refresh gathers again.
int32_t bz_DynForm_Contacts(bzDynCollisionCache *cache, const bzM34 *worldMatrix,
                            const bzBox *bounds, const bzM34 *previousMatrix, const bzV3 *motion,
                            bzLump *toucher);

// Gathers into the list the faces of the tree reaching into the box: 0, 140 (list full), 141
// (report mode found a pooled object) or 71 (a model lump without its model).
bzErrorCode bz_DynForm_IntersectLumpTree(const bzBox *box, const bzM34 *matrix, bzLump *toucher,
                                         bzLump *root, bzDynFaceList *list, uint32_t lumpMask,
                                         uint32_t lumpValue, uint32_t materialMask,
                                         uint32_t materialValue);
// One lump and its subtree, the lump at matrix (null: identity); the query must be set.
bzErrorCode bz_DynForm_CollideLumpTree(bzLump *lump, bzDynFaceList *list, const bzM34 *matrix,
                                       uint32_t lumpMask, uint32_t lumpValue, uint32_t materialMask,
                                       uint32_t materialValue, bzLump *toucher);
// The entries of source touching the box copied into destination (addresses when destination
// is compact): 0, or 1 when destination is full and cannot grow.
int32_t bz_DynForm_FaceListHit(const bzBox *box, const bzM34 *matrix, bzDynFaceList *destination,
                               const bzDynFaceList *source);
// 1 when a face of the list reaches into the box placed by the matrix (null: the world), tested
// as the gather tests faces; sets the query.
int32_t bz_DynFaceList_IntersectBox(const bzDynFaceList *list, const bzBox *box,
                                    const bzM34 *matrix);
int32_t bz_DynFaceList_IntersectAlignedBox(const bzDynFaceList *list, const bzBox *box);
// Re-filters a cache's narrow list from its gather list.
int32_t bz_DynCollisionCache_RefilterNarrow(const bzBox *box, const bzM34 *matrix,
                                            bzDynCollisionCache *cache);
// The per-face callbacks of the octree queries.
intptr_t bz_DynModelFaceHit(bzOctreeEntry *entry, uint32_t face, void *context);
intptr_t OctreeFaceHit(bzOctreeEntry *entry, uint32_t face, void *context);
// The model vertices inside the box: 1 when at least one was collected.
int32_t bz_DynForm_CollectVertices(const bzBox *box, const bzM34 *matrix, bzLump *root,
                                   bzDynVertexList *list, uint32_t lumpMask, uint32_t lumpValue);

// One pass of polygon clipping against coordinate[axis] = value, keeping the side at or above
// (Min) or at or below (Max) the value. points holds room for 11; returns the new count.
int32_t ClipPolygonToMin(bzV3 *points, int32_t count, int32_t axis, float value);
int32_t ClipPolygonToMax(bzV3 *points, int32_t count, int32_t axis, float value);
