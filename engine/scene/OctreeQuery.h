// The queries over an octree: the nearest hit of a ray or segment against its faces and
// objects (the lump ray queries and through them the bullet trace), every face and object that
// overlaps a box, a point test for one lump, and two cell walks. Each query visits a face or an
// object at most once (visited bits per face, a stamp per object) and allocates nothing.
//
// The octree face test lets a hit at exactly the best distance replace it and misses t <= 0; a
// face whose plane the ray runs along (|normal . delta| below FLT_EPSILON) is never hit.
#pragma once

#include "maths/Types.h"
#include "scene/Octree.h"
#include "scene/RayOptions.h"

#include <cstdint>

// Box query callbacks: 0 goes on, anything else stops the query with that value.
typedef intptr_t (*bzOctreeFaceCallback)(bzOctreeEntry *entry, uint32_t face, void *user);
typedef intptr_t (*bzOctreeObjectCallback)(bzOctreeObject *object, void *user);

// The nearest hit below the caller's t (FLT_MAX for a ray, 1.00001 for a segment when t is
// null) against the faces and/or objects; 1 with t, the lump, the face and (u, v) written
// to the outputs given, else 0 with nothing written.
int32_t bzOctree_RayQuery(const bzRayOptions *filter, bzOctree *octree, const bzRay *ray,
                          int32_t testFaces, int32_t testObjects, float *t, bzLump **hitLump,
                          uint32_t *hitFace, float *hitUV);
// Every face and object overlapping the query box (in its own frame, placed in the octree by
// the matrices given); the first non-zero callback result, else 0.
intptr_t bzOctree_Query(bzOctreeFaceCallback faceCallback, bzOctree *octree, const bzBox *box,
                        const bzM34 *octreeToBox, const bzM34 *boxToOctree, const bzBox *octreeBox,
                        bzOctreeObjectCallback objectCallback, void *user, uint32_t mask,
                        uint32_t value);
// 1 when the lump's placed box in its octree holds the point.
int32_t bzOctree_IsLumpAtPoint(const bzV3 *point, bzLump *lump);
// Clears the face marks of the entries the last query touched and advances the stamp.
void bzOctree_BeginQuery(bzOctree *octree);
void bzOctree_ResetFaceMarks(bzOctree *octree);
int32_t bzOctree_IsQueryActive();
// Walks the nodes whose cells are not wholly in front of one of the planes; returns 0.
int32_t bzOctree_WalkPlanes(bzOctree *octree, int32_t count, const bzPlane *planes);
// Walks the nodes whose cells come within the radius of the point; returns 0.
int32_t bzOctree_WalkSphere(bzOctree *octree, const bzV3 *centre, float radius);
// The number of nodes the last walk entered (for the tests of the walks).
int32_t bzOctree_GetWalkedNodes();

// The triangle against a box: 1 when they overlap.
int32_t bzOctree_TriangleOverlapsBox(const bzV3 *v0, const bzV3 *v1, const bzV3 *v2,
                                     const bzBox *box);
// One face against a ray, the octree's rule: 1 with t and (u, v) when the face is hit at or
// before t.
int32_t RayHitsFacePolygon(uint32_t face, const bzRayOptions *filter, const bzModel *model,
                           const bzRay *ray, float *t, float *uv);
