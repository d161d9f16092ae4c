// The distance of two edge lines against a radius over the step: a fixed edge Q + s F and a
// moving one whose start goes P0 + t V and whose vector changes E0 + t W. With the common
// normal N(t) = E(t) x F = N0 + t N1, the lines lie within R of each other when
// q(t) = ((P(t) - Q) . N(t))^2 - R^2 |N(t)|^2 is not positive. The swept edge tests take the
// touching times from its roots in [0, 1]. Nothing here allocates.
#pragma once

#include "maths/Types.h"

#include <cstdint>

// The roots of q in [0, 1], ascending, in roots (room for 4), and q(1) in valueAtEnd. Returns
// their number; -1 - their number when q(0) < 0 (the lines start within R); -1 when both N0 and
// N1 have squared length below 1.1920929e-7 (the edges stay parallel; nothing written).
int32_t bz_EdgeEdgeDistanceQuartic(float radius, const bzV3 *q, const bzV3 *f, const bzV3 *p0,
                                   const bzV3 *v, const bzV3 *e0, const bzV3 *w, float *roots,
                                   float *valueAtEnd);
// The same with the radius grown by the collision tolerance over the step: R + bzCollisionTolerance
// t.
int32_t bz_EdgeEdgeDistanceQuarticGrown(float radius, const bzV3 *q, const bzV3 *f, const bzV3 *p0,
                                        const bzV3 *v, const bzV3 *e0, const bzV3 *w, float *roots,
                                        float *valueAtEnd);
