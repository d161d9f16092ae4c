// The constraint rows of a body's joints, built when its tree's joint rows are built: up to
// three linear rows holding an anchor together and up to three angular rows holding axes
// together. A coupled joint (angular kind 4) makes no angular rows: its two bodies get coupling
// records instead (physics/Coupling.h), taken from the physics work area, and the joint is
// solved at once (physics/CoupledJoint.h).
#pragma once

#include "physics/ConstraintRow.h"
#include "physics/Joint.h"

#include <cstdint>

// All joint rows of the body, in the order joint to parent (with its representative as partner;
// not for a welded body), second joint, world joint; rows must have room for 18. A joint with a
// weakness record has its accumulated impulses cleared and sets *weaknessReset to 1. World-joint
// rows have no bodyB; BZ_PHYS_INF_MASS leaves out their linear rows and BZ_PHYS_INF_MI their
// angular rows. Returns the rows written.
int32_t bz_Phys_BodyJointRows(BZDObject *body, bzPhysRow *rows, int32_t *weaknessReset);

// The rows of a joint between the body and its partner: linear kind 1 one row along the first
// linear axis, 2 along the second then the first, 3 along the partner's x, y and z; then the
// angular kind likewise about the angular axes. Returns the rows written (0 for null rows).
int32_t bz_Phys_JointRowsFromRecord(bzPhysRow *rows, BZDObject *body, BZDObject *partner,
                                    BZDJoint *joint);

// A linear row between bodyA and bodyB through the joint's anchor along axis (bodyB's frame):
// rA the anchor less bodyA's centre, rB the same point in bodyB's frame (the joint's own anchor
// on the parent side when bodyB is bodyA's parent) less bodyB's centre, nB the axis, nA the axis
// carried into bodyA's frame. The second form also sets the row type.
void bz_Row_FromAnchor(bzPhysRow *row, BZDObject *bodyA, BZDObject *bodyB, const BZDJoint *joint,
                       const bzV3 *axis);
void bz_Row_FromAxisToParent(bzPhysRow *row, BZDObject *bodyA, BZDObject *bodyB,
                             const BZDJoint *joint, const bzV3 *axis);

// Takes two coupling records from the work area: the body's and its representative's, state 0,
// partners crossed. BZ_ERROR_NO_MEMORY (nothing changed) when the work area has no room.
int32_t bz_Phys_CreateCouplingRecords(BZDObject *body);
// The body's record takes the representative's start-of-step matrix relative to the body's, the
// representative's record its inverse; both states become 1.
void bz_Phys_InitCouplingMatrices(BZDObject *body);
