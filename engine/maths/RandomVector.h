// Random directions and rotations drawn from the engine's random numbers.
#pragma once

#include "maths/Types.h"

// A unit vector spread evenly over the sphere.
void bz_RandomUnitVector(bzV3 *out);
// The direction turned by a random angle between a / 2 and b / 2 degrees toward a random side;
// same length as the direction. The output is left untouched for a (nearly) zero direction.
void bz_RandomVectorInCone(const bzV3 *direction, bzV3 *out, float a, float b);
// A random unit axis and an angle drawn in [0, 360] (the engine's generator), about the origin.
void bz_M34_RandomRotation(bzM34 *m);
