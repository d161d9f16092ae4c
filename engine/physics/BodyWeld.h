// Welding in body trees: a child welded to its parent moves rigidly with its representative,
// the nearest unwelded ancestor, whose mass, centre of mass and principal moments include it.
// Also the preparation of a tree before its joint rows are built (representatives, the one
// coupled joint a representative may keep, the count of joint rows) and the velocities a
// welded child takes from its parent.
#pragma once

#include "physics/Body.h"

#include <cstdint>

// The marker a body's coupling pointer holds during the preparation of its tree.
BZDObject *const BZ_PHYS_COUPLING_MARKER = reinterpret_cast<BZDObject *>(~uintptr_t(0));

// Welds the body to its parent: BZ_PHYS_WELDED on the body, BZ_PHYS_WELDED_ROWS on the parent;
// the representative's centre of mass becomes the two bodies' mass-weighted centre, its mass the
// sum, and its principal moments gain both bodies' parallel-axis terms and the welded body's
// moments carried through the relative rotation (per axis, the absolute entries times the
// moments). The body keeps its transform relative to its parent (weldTransform). A body that is
// welded already, or has no parent, is left as it is; with a total mass that is not positive and
// finite the centre of mass stays where it was.
void bz_Phys_WeldToAncestor(BZDObject *body);

// Prepares the body's subtree (depth first) for its joint rows and returns their number: each
// body takes representative as its top and loses its coupling record. An unwelded body's joint to
// its parent counts its rows; a coupled joint (BZ_JOINT_COUPLED) is kept when the
// representative has no coupled joint yet (both then hold BZ_PHYS_COUPLING_MARKER) and becomes
// the ordinary BZ_JOINT_DEMOTED otherwise. The second joint adds its rows; the world joint adds
// its rows without the angular ones under BZ_PHYS_INF_MI and without the linear ones under
// BZ_PHYS_INF_MASS. Children take the body as representative, or the body's own representative
// when it is welded. Call with the root and a null (or the root as) representative.
int32_t bz_Body_CountTreeRows(BZDObject *body, BZDObject *representative);

// Sets the velocities of the welded descendants of the body from their parents, depth first (a
// child before its own children): the angular velocity is the child's saved one plus the
// parent's change since its saved one (carried through the world into the child's frame); the
// linear velocity is the parent's plus the turn about the joint anchor (parent's side, then
// child's); the body-frame copy follows. A welded body without a joint to its parent turns about
// its own centre of mass.
void bz_Body_PropagateWeldedVelocities(BZDObject *body);
// One welded child's velocities from its parent (the child must have one): the angular velocity
// is childBase plus the parent's angular velocity less parentBase, that change carried from the
// parent's start-of-step frame through the world into the child's; the linear velocity is the
// parent's plus the parent's turn about the joint anchor on its side plus the child's turn
// about the anchor on its side (about its own centre without a joint); the body-frame copy
// follows through the child's start-of-step rotation.
void bz_Body_SetWeldedVelocity(BZDObject *child, const bzV3 *parentBase, const bzV3 *childBase);
