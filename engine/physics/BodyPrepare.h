// The preparation of a body for a physics step: its step fields cleared, its inverses taken,
// its velocity copies stored and its current transform set up from the start-of-step copy.
#pragma once

#include <cstdint>

struct BZDObject;

// Prepares one body at the start of the step (or when it is added during one):
// 1. A mass that is zero (or negative, or not finite) reports physics error 13 with an empty
//    text; the body's inverses then make it immovable.
// 2. Clears BZ_PHYS_PREP_CLEARED, the solve group, the contact-kind bits and the disturbed and
//    excluded marks; the ring holds the body alone; contact speed scale 1; both stamps 0.
// 3. Inverse moments and mass (bz_Body_SetInverses).
// 4. The was-asleep byte, the body-frame linear velocity and the step copies of both
//    velocities.
// 5. A child takes its parent's asleep byte.
// 6. Awake, or mode 2: a body not of mode 2 takes the global collision masks, its current
//    transform becomes the start-of-step one with the rotation orthonormalised, its children
//    are reset and, for a root, its tree record built with the time step; a body of mode 2
//    takes its parent as top and wakes when its current transform is not its start-of-step
//    one, and its children are reset. Then the boxes.
// 7. Asleep (mode not 2): the current transform takes the start-of-step one back, the saved
//    angular velocity the angular velocity; children reset, boxes of a root.
// Tree records, children and boxes go through bzgPhysStepServices (physics/PhysServices.h).
// Returns 0, or BZ_PHYS_ERROR_ZERO_MASS after the report of step 1.
int32_t bz_Phys_PrepareBody(BZDObject *body);

// Prepares each body of the sibling list from first in order; 0, or BZ_PHYS_ERROR_ZERO_MASS when
// a body's mass was refused (every body is still prepared).
int32_t bz_Phys_PrepareList(BZDObject *first);
