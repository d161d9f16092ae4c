// Primitive tests of the collision handlers on points and spheres: a sphere's centre against a
// segment's tolerance shell, a sphere sweeping over a point, a point sweeping into a sphere,
// and the near-surface tests of a moving point against a sphere and an aligned box.
//
// Fractions measure the step (0 its start, 1 its end); 100.0 marks a miss. A mark of 1.0 says a
// resting contact was found at the end of the step. Normals point from the moving point into
// the solid it meets. Nothing here allocates.
#pragma once

#include "collision/Shape.h"
#include "maths/Types.h"

#include <cstdint>

// The code that a near-surface test gives when it finds a resting contact rather than a hit.
constexpr int32_t BZ_NEAR_SURFACE = 512;

// The point Y of the segment a-b (delta d, squared length lengthSq) nearest p is written. When
// r^2 < |Y - p|^2 < r^2 + 2 bzCollisionTolerance r, the mark is set to 1.0 and the unit normal
// from p towards Y is written; otherwise neither.
void bz_SegmentClosestToSphere(const bzV3 *p, const bzV3 *a, const bzV3 *b, const bzV3 *d,
                               float lengthSq, float r, bzV3 *closestOut, bzV3 *normalOut,
                               float *markOut);

// A sphere of squared radius r2 whose centre moves from a by d against the fixed point q:
// 1 with the fraction in [0, 1], the contact point q and the unit normal from the centre
// towards q; else 0 (also for no motion).
int32_t bz_SweptSphereAgainstPoint(const bzV3 *q, const bzV3 *a, const bzV3 *d, float r2,
                                   float *fractionOut, bzV3 *pointOut, bzV3 *normalOut);

// A point moving from a to b against the sphere (k, r). Writes 100.0 to the fraction, then a
// hit in [0, 1] with the unit normal towards the centre. A path shorter than sqrt(FLT_EPSILON)
// or passing within the tolerance shell without entering is left to bz_Point_InSphereShell at
// the end point b (fraction 1.0 when it holds).
void bz_SweptPointAgainstSphere(const bzV3 *a, const bzV3 *b, const bzV3 *k, float r,
                                float *fractionOut, bzV3 *normalOut);

// A point moving from start to end against the sphere: the code of bz_Segment_Sphere when it is
// not 0 (1 a hit with the fraction, hit point and normal; -1 a start inside). Otherwise, when
// the end point lies at a squared distance g from the centre with r^2 <= g <= r^2 +
// 2 bzCollisionTolerance r: 2, with the normal from the end point towards
// the centre, the surface point nearest the end point and the mark 1.0. Else 0.
int32_t bz_PointNearSphereShell(const bzV3 *start, const bzV3 *end, const bzSphereShape *sphere,
                                float *fractionOut, bzV3 *pointOut, bzV3 *normalOut,
                                float *markOut);

// A point moving from start to end against an aligned box. With an entry face (code k of
// bz_Segment_AlignedBox): k, the fraction and hit point, and the normal into the box on axis
// (k - 1) & 3. -1 when the start lies inside the box. Otherwise, when the end point lies within
// bzCollisionTolerance of the box: BZ_NEAR_SURFACE with the mark 1.0, the box point nearest the
// end point and the normal summed from the axes on which that point lies on a face (into the
// box), made unit. Else 0.
int32_t bz_PointOnBoxNormal(const bzV3 *start, const bzV3 *end, const bzBox *box,
                            float *fractionOut, bzV3 *pointOut, bzV3 *normalOut, float *markOut);
