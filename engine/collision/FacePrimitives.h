// Primitive tests of a sphere swept against one collision face, and the division guard that
// the face tests share.
//
// A fraction measures the step: 0 at its start, 1 at its end; 100.0 marks a miss.
#pragma once

#include "collision/CollisionFace.h"

#include <cstdint>

// The miss mark of the face and sphere sweeps.
constexpr float BZ_FRACTION_MISS = 100.0f;

// 1 when a / b would overflow: |b| < 1 and |b| x 3.4028235e38 < |a|. Values that are not
// numbers count as overflowing.
int32_t bz_DivideWouldOverflow(float a, float b);

// The sphere of radius r moves from centre start to centre end; d0 and d1 are their signed
// distances from the face's plane. Writes the fraction at which the sphere first touches the
// face (100.0 for none) and, when normalOut is given and the face is hit, the face normal on
// the side the sphere came from. A face flagged never-collide is never hit, its back side only
// when double-sided; a sphere already within r of the plane at the start gets no hit. Returns
// 1 on a hit, else 0.
int32_t bz_SweptSphereAgainstFace(const bzCollisionFace *face, float r, const bzV3 *start,
                                  const bzV3 *end, float d0, float d1, float *fractionOut,
                                  bzV3 *normalOut);
