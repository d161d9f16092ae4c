// Rays and segments against one collision face: a bundle of parallel rays (the car's wheel
// rays), a moving point and a moving sphere (the world collision's sweeps).
//
// Fractions are in units of the given direction or displacement: the point P + t D is the hit,
// t = 0 at the start and 1 at the end; 100.0 (BZ_FRACTION_MISS) means no hit. Nothing here
// allocates.
#pragma once

#include "collision/CollisionFace.h"

#include <cstdint>

// count rays start at starts[0 .. count - 1] and share the direction. Returns 1 when at least
// one ray hits the face, with every ray's fraction written (a hit or 100.0) and the normal
// facing the rays; else 0. A face hit from behind without being double-sided, a face flagged
// never-collide, a direction parallel to the plane (|D.n| < 2^-22), a count below 1, a
// coordinate that is not finite or a distance whose division would overflow end the call with
// 0 and the fractions unwritten.
int32_t bz_RaysIntersectFace(const bzV3 *direction, const bzCollisionFace *face, int32_t count,
                             const bzV3 *starts, bzV3 *normalOut, float *fractionsOut);

// The point start moves by displacement. Writes 100.0 to the fraction, then on a hit the
// fraction, the hit point and the normal facing the motion. The end may stop up to
// bzCollisionTolerance short of the plane and still hit (at fraction 1, the end point). The
// back side counts only for a double-sided face. The hit point is also written for a plane hit
// outside the triangle.
void bz_SegmentIntersectFace(const bzV3 *displacement, const bzCollisionFace *face,
                             const bzV3 *start, bzV3 *hitOut, bzV3 *normalOut, float *fractionOut);

// A sphere of radius r whose centre moves from a to b: 1 with 100.0 when both centres lie in
// front of the face beyond r plus the tolerance, -1 with 100.0 when both lie behind it so,
// else 0 with the fraction of bz_SweptSphereAgainstFace (100.0 for a miss).
int32_t bz_SweptSphereIntersectFace(const bzCollisionFace *face, const bzV3 *a, const bzV3 *b,
                                    float r, float *fractionOut);
