// The one distance tolerance of the collision code: swept boxes grow by it, resting-contact
// shells are 2 x tolerance x radius thick, the plane tests of segments and spheres against
// faces reach this far past the plane, and joint regions extend by ten times it.
//
// The dynamics settings may change it (for example to 0.001); it starts at 0.01.
#pragma once

extern float bzCollisionTolerance;

// The tolerance's starting value.
constexpr float BZ_COLLISION_TOLERANCE_DEFAULT = 0.01f;
