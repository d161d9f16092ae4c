// Tests of gathered world faces (bzDynFaceHit entries of a face list, world coordinates)
// against forms and shapes, rays, lines, planes, triangles and models. A list test answers 1 at
// the first face that passes and 0 when none does.
//
// The shape tests take M1, from the world into the form's frame, and M2, from the form's frame
// into the world (bz_M34_RelativePair of the form's placement). Kinds without a test report
// "Unsupported shape" (face lists) or "Unsupported form" (one face) and count as no contact.
// The ray tests read bzgDynTwoSided (FormQuery.h): set, a face's back is hit too; otherwise only
// faces marked BZ_DYNFACE_TWO_SIDED are. Nothing here allocates.
#pragma once

#include "collision/FaceList.h"
#include "collision/Shape.h"
#include "maths/Types.h"
#include "models/Model.h"
#include "scene/Lump.h"

#include <cstdint>

// A form placed in the world (null: the world frame) against the faces of the list.
int32_t bz_DynFaceList_IntersectForm(const bzForm *form, const bzDynFaceList *list,
                                     const bzM34 *placement);
int32_t bz_DynFaceList_IntersectFormWithMargin(const bzForm *form, const bzDynFaceList *list,
                                               const bzM34 *placement, float margin);
// One face against one shape of a placed form.
int32_t bz_DynFace_IntersectsForm(const bzDynFaceHit *face, const bzShape *shape,
                                  const bzM34 *placement);
// One shape against the list, by kind.
int32_t FaceListToFormIntersectionNoMargin(const bzDynFaceList *list, const bzShape *shape,
                                           const bzM34 *m1, const bzM34 *m2);
int32_t FaceListToFormIntersection(const bzDynFaceList *list, const bzShape *shape, const bzM34 *m1,
                                   const bzM34 *m2, float margin);

// One face against one shape of each kind.
int32_t bz_DynFace_IntersectSphereShape(const bzDynFaceHit *face, const bzShape *shape,
                                        const bzM34 *m1, const bzM34 *m2);
int32_t bz_DynFace_IntersectSphereShapeWithMargin(const bzDynFaceHit *face, const bzShape *shape,
                                                  const bzM34 *m1, const bzM34 *m2, float margin);
int32_t bz_DynFace_IntersectTicTac(const bzDynFaceHit *face, const bzShape *shape, const bzM34 *m1,
                                   const bzM34 *m2);
int32_t bz_DynFace_IntersectTicTacWithMargin(const bzDynFaceHit *face, const bzShape *shape,
                                             const bzM34 *m1, const bzM34 *m2, float margin);
// Polyhedron, WireFrame or Polygon: edges crossing the face's plane tested against the face,
// then the face's edges against the shape. More than BZ_SHAPE_MAX_VERTICES vertices: none.
int32_t bz_DynFace_IntersectPolyhedron(const bzDynFaceHit *face, const bzShape *shape,
                                       const bzM34 *m1, const bzM34 *m2);
// The margin form of the polyhedron test is the rounded one (the margin is not used).
int32_t bz_DynFace_IntersectPolyhedronWithMargin(const bzDynFaceHit *face, const bzShape *shape,
                                                 const bzM34 *m1, const bzM34 *m2, float margin);
// The face's edges against the shape, the shape's edges against the face and its vertices as
// spheres of the rounding radius against the face (the margin is not used).
int32_t bz_DynFace_IntersectRoundedPolyhedron(const bzDynFaceHit *face, const bzShape *shape,
                                              const bzM34 *m1, const bzM34 *m2);
int32_t bz_DynFace_IntersectRoundedPolyhedronWithMargin(const bzDynFaceHit *face,
                                                        const bzShape *shape, const bzM34 *m1,
                                                        const bzM34 *m2, float margin);
// The sphere (world centre, radius) against the face; touching counts.
int32_t bz_DynFace_IntersectSphere(const bzDynFaceHit *face, const bzV3 *centre, float radius);

// The ray origin + t delta against the face for 0 <= t <= *t: 1 with *t, the point and the
// texture coordinates at the hit (each when asked) written. The 2-D inside test keeps
// 0.0001 of tolerance; a ray within 2.3841858e-07 of parallel misses.
int32_t bz_DynFace_RayHit(const bzDynFaceHit *face, const bzV3 *origin, const bzV3 *delta, float *t,
                          bzV3 *pointOut, bzV2 *uvOut);
int32_t bz_DynFace_RayHitNoPoint(const bzDynFaceHit *face, const bzV3 *origin, const bzV3 *delta,
                                 float *t);
// One face against a ray: a segment (flag 0) up to 1.0001, otherwise unbounded.
int32_t bz_DynFace_RayHitOne(const bzDynFaceHit *face, const bzRay *ray, float *tOut,
                             bzV3 *pointOut);
// The unbounded line (both directions, both sides).
int32_t bz_DynFace_LineHit(const bzDynFaceHit *face, const bzV3 *origin, const bzV3 *direction,
                           float *tOut, bzV3 *pointOut);
// The nearest face the ray hits: *t starts at the ray's limit and shrinks with each hit. With a
// non-zero two-sided switch the backs count too.
int32_t bz_DynForm_TestFaces(const bzDynFaceList *list, const bzRay *ray, float *t,
                             const int32_t *twoSided, const bzDynFaceHit **faceOut, bzV3 *pointOut,
                             bzV2 *uvOut);
int32_t bz_DynFaceList_RayHit(const bzDynFaceList *list, const bzRay *ray,
                              const bzDynFaceHit **faceOut, int32_t twoSided, float *t);
// The segment from start to end against the list, two-sided: 1 with the nearest hit point.
int32_t bz_DynFaceList_SegmentHit(const bzDynFaceList *list, const bzV3 *start, const bzV3 *end,
                                  bzV3 *pointOut);
int32_t bz_DynFaceList_IntersectLine(const bzDynFaceList *list, const bzV3 *origin,
                                     const bzV3 *direction);

// The face straddles or touches the plane.
int32_t bz_DynFace_IntersectPlane(const bzDynFaceHit *face, const bzPlane *plane);
int32_t bz_DynFaceList_IntersectPlane(const bzDynFaceList *list, const bzPlane *plane,
                                      const bzDynFaceHit **faceOut);
// A vertex of the face lies on or behind the plane.
int32_t bz_DynFace_BehindPlane(const bzDynFaceHit *face, const bzPlane *plane);

// The triangle (three world points) meets the face.
int32_t bz_DynFace_IntersectTriangle(const bzDynFaceHit *face, const bzV3 *triangle);
// A triangle of the model's mesh, placed by the matrix (null: as it is), meets a face.
int32_t bz_DynModel_IntersectFaceList(const bzModel *model, const bzDynFaceList *list,
                                      const bzM34 *matrix);
// The models of the lump tree, each lump placed by its matrix followed by the given one.
int32_t bz_DynLumpTree_IntersectFaceList(const bzLump *lump, const bzDynFaceList *list,
                                         const bzM34 *matrix);
