// Segments and rays cast at one shape or at every shape of a form: whether and where they hit,
// with the segment parameter t, the hit point and the surface normal.
//
// The ray is in the frame of the shape's form. Every kind but the AlignedCuboid takes it as the
// segment t in [0, 1] and ignores its unbounded flag.
//
// Hit codes: above 0 a hit entering the shape from outside (a box face code 1 to 6 for the box
// kinds, face index + 1 for the polyhedra, 1 for the others); -1 when the start already lies
// inside the shape, with t = 0; 0 no hit. Outputs are optional (null = not wanted). Nothing
// here allocates or touches the pair globals.
#pragma once

#include "collision/Shape.h"

#include <cstdint>

// The hit code of the ray against the shape; writes t, the point and the normal on a hit.
int32_t bz_Shape_RayIntersect(const bzRay *ray, const bzShape *shape, float *tOut, bzV3 *pointOut,
                              bzV3 *normalOut);
// The nearest hit over the form's shapes (equal t keeps the earlier shape): 1 with the outputs
// written, else 0. A shape the ray starts inside ranks at t = 0.
int32_t bz_Form_RayIntersect(const bzForm *form, const bzRay *ray, float *tOut, bzV3 *pointOut,
                             bzV3 *normalOut, const bzShape **shapeOut);
// The hit code of the bounded segment from start to end.
int32_t bz_Shape_SegmentIntersect(const bzV3 *start, const bzV3 *end, const bzShape *shape);
// 1 when the segment hits some shape of the form.
int32_t bz_Form_SegmentHit(const bzV3 *start, const bzV3 *end, const bzForm *form);
int32_t FormSegmentHit(const bzV3 *start, const bzV3 *end, const bzForm *form);
// 1 when the infinite line through point along direction meets the shape: a half-space unless
// the line runs parallel to its plane; any other kind by the segment that cuts the line to the
// shape's bounds along the direction's dominant axis.
int32_t ShapeLineHit(const bzShape *shape, const bzV3 *point, const bzV3 *direction);
// 1 when ShapeLineHit is 1 for some shape of the form.
int32_t bz_Form_LineHit(const bzForm *form, const bzV3 *point, const bzV3 *direction);

// The segment origin + t delta, t in [0, 1], against the convex solid of the face planes grown
// by margin: the entering face index + 1, -1 when the origin is inside the unmargined solid,
// 0 no hit. t and point are written on a hit.
int32_t RayConvexPolyhedron(const bzV3 *origin, const bzV3 *delta, const bzPlane *planes,
                            int32_t faceCount, float margin, float *tOut, bzV3 *pointOut);
// The segment against a convex solid (planes, hull vertices and edges) grown by r, its edges
// becoming capsules: face index + 1 for a face hit, 1 for a rounded edge, -1 when the start
// lies inside the solid or in the grown shell over its nearest face, 0 no hit.
int32_t SegmentRoundedPolyhedron(const bzV3 *origin, const bzV3 *delta, const bzPlane *planes,
                                 int32_t faceCount, const bzHull *hull, float r, float *tOut,
                                 bzV3 *pointOut, bzV3 *normalOut);
// The same against a box grown by r (face j: axis j / 2, maximum face for even j).
int32_t SegmentRoundedBox(const bzV3 *origin, const bzV3 *delta, const bzBox *box, float r);
