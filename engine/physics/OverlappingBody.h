// Whether a body can be put where it stands, or where it is to go, without going into another
// body of its world: the overlap search that the dynamics synchronisation uses to place a body
// without interpenetration. Bodies are tested pairwise by their boxes first and then by the pair
// collision of their forms (bzgPhysStepServices.collidePair; without it nothing overlaps).
#pragma once

#include "physics/Body.h"

#include <cstdint>

// 1 when a body of the list from list (next-sibling order) other than the body overlaps the body
// at its current transform, each candidate taken at its start-of-step transform. A candidate is
// passed by when the group and ignore masks or BZ_PHYS_NO_COLLISION keep the pair apart
// (bz_Phys_BodiesMayCollide) or when the body boxes (the body's computed afresh, the candidate's
// as last computed) do not overlap; touching boxes overlap. With no overlap the body's current
// transform is copied into its start-of-step copy and the answer is 0.
int32_t bz_Phys_FindOverlappingBody(BZDObject *body, BZDObject *list);

// The same for a trial transform held in the body's start-of-step copy: the body sweeps from its
// current transform to the trial, and each candidate's box is its form's box placed by its
// start-of-step transform (a candidate without a form is passed by). A hit copies the current
// transform into the start-of-step copy and answers 1; no hit answers 0 and leaves the trial.
int32_t bz_Phys_FindOverlappingBodyAt(BZDObject *body, BZDObject *list);
