// Ray and segment queries against a lump tree: where a ray or a segment first meets the faces
// of the models in the tree. The bullet trace tests each flight step of a bullet as a segment
// with bz_Lump_RayIntersect; every entry point runs one recursive core that prunes by flags
// and masks, descends through octrees where a lump has one, tests each model's box and then
// its faces, and keeps the nearest hit so far.
//
// The face loop keeps the first hit at an equal distance (only a strictly nearer hit replaces
// the best) and skips t < 0; a ray within FLT_EPSILON of a face's plane never hits it. With
// no hit the outputs keep their starting values: t the limit (FLT_MAX for a ray, 1.00001 for a
// segment), the lump null, the face 0, the point (0, 0, 0). The last-hit state (face index and
// the two barycentric weights) describes the hit the last query returned. Nothing here
// allocates; no query may start inside another query's callback.
#pragma once

#include "maths/Types.h"
#include "scene/RayOptions.h"

#include <cstdint>

struct bzLump;
struct bzModel;
struct bzMaterial;

// A face filter: 0 rejects a face that would be accepted.
typedef int32_t (*bzLumpFaceFilter)(uint32_t userWord, uint32_t face, float t, const bzV3 *point,
                                    bzLump *lump, const bzV2 *texCoord);
bzLumpFaceFilter bz_Lump_SetFaceFilter(bzLumpFaceFilter filter);
bzLumpFaceFilter bz_Lump_GetFaceFilter();

// The hit record of bz_Lump_RayIntersectFirst, in world coordinates (the root's space).
struct bzLumpRayHit
{
    bzLump *lump;
    uint32_t face;
    bzMaterial *material;
    bzPlane plane;
    bzV3 vertices[3];
};

// The full query; every output may be null. 1 on a hit, else 0.
int32_t bz_Lump_RayIntersect(bzLump *root, const bzRay *ray, const bzRayOptions *options, float *t,
                             bzLump **lump, uint32_t *face, bzV3 *point, bzM34 *toRoot,
                             bzM34 *fromRoot, bzV2 *texCoord);
// The query with no other outputs: whether t ended below the limit.
int32_t bz_Lump_RayHitsAnything(bzLump **lump, float *t, const bzRay *ray, bzLump *root,
                                const bzRayOptions *options);
// The query with a hit record.
int32_t bz_Lump_RayIntersectFirst(float *t, bzLumpRayHit *hit, const bzRay *ray, bzLump *root,
                                  const bzRayOptions *options);
// The core, for one lump: the ray in the root's space, the accumulated matrix (null for none)
// taking this lump's model space into the root's. 1 when a nearer hit was found.
int32_t bz_Lump_RayIntersectTree(bzLump *lump, const bzRay *ray, const bzRayOptions *options,
                                 float *bestT, const bzM34 *accumulated, bzM34 *toRoot,
                                 bzM34 *fromRoot, bzLump **hitLump);
// One model in its own space (the lump, when given, is handed to the face filter), and its
// face loop. 1 when a nearer hit was found.
int32_t bz_Lump_RayModel(const bzModel *model, const bzRayOptions *options, float *bestT,
                         const bzRay *ray, bzLump *lump);
int32_t bz_Lump_RayModelFaces(const bzModel *model, const bzRayOptions *options, float *bestT,
                              const bzRay *ray, bzLump *lump);
// A skinned lump's model in its current pose: no hit when its posed bounds cannot be computed.
int32_t bz_Lump_RayModelFiltered(bzLump *lump, const bzRayOptions *options, float *bestT,
                                 const bzRay *ray);
// The last hit: face index and weights (hit = p0 + w1 (p1 - p0) + w2 (p2 - p0)).
void bz_Lump_GetLastHit(uint32_t *face, float *w1, float *w2);
void bz_Lump_SetLastHit(uint32_t face, float w1, float w2);
