// Keeping jointed bodies on their joints, and the solve groups of the step: placing children on
// their parents' anchors, holding a world-jointed body on its world anchor, the angle between two
// axes about a third, and merging the rings of bodies that the step solves together.
#pragma once

#include "maths/Types.h"
#include "physics/Body.h"

#include <cstdint>

// The angle in radians from unit a to unit b about unit n: asin((b x a) . n) clamped to
// [-1, 1], and pi minus it when a . b < 0.
float bz_Phys_AngleBetween(const bzV3 *a, const bzV3 *b, const bzV3 *n);

// The joint acting between a body and a partner: the world joint for none, the second joint
// for the second partner, else the joint to the parent.
BZDJoint *bz_Phys_JointForPartner(const BZDObject *body, const BZDObject *partner);

// Holds a world-jointed body on its world anchor by the world joint's linear kind: 0 and 2 the
// body moves by dt x its velocity; 1 it moves so and then loses the anchor's offset along the
// joint's axis; 3 the anchor is put back on the world anchor. Another kind reports physics error
// 8 "in PositionWorldJointedObject" and moves the body as kind 0.
void bz_Phys_PositionWorldJointedObject(BZDObject *body, float dt);

// Re-places every descendant from its parent's transform: a welded child rigidly by its weld
// transform; a jointed child by its joint's linear kind (3 anchors made to coincide, 1 the offset
// along the first axis removed, 2 along the second and then the first, 0 nothing); another kind
// reports physics error 8 "Linear joint unknown" and leaves the child.
void bz_Phys_PlaceJointedChildren(BZDObject *body);

// Solve groups. The counter starts at 1 after a reset (the step resets it); 0 is no group.
void bz_Phys_ResetSolveGroups();
// Takes the counter's value as a new group number and advances the counter.
uint8_t bz_Phys_NewSolveGroup();
// Sets the solve group of the body and of every descendant joined to its parent by a joint.
void bz_Phys_SetTreeGroup(BZDObject *body, uint8_t group);
// Sets the mode word of the body and of all its descendants.
void bz_Phys_SetTreeMode(BZDObject *body, uint32_t mode);
// Merges the solve groups of two touching bodies' jointed trees: fresh trees share a new group
// in a ring of two, a fresh tree joins the other's ring, two groups become one ring under a's
// group. A root of b's with welded children raises the step's welded-rows switch.
void bz_Phys_MergeSolveGroups(BZDObject *a, BZDObject *b);

// Marks the body's tree step record stale (state -1) and raises the rebuild flag.
void bz_Phys_MarkTreeStale(BZDObject *body);
int32_t bz_Phys_RebuildFlag();
void bz_Phys_ClearRebuildFlag();
