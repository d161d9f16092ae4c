// The weakness protocol of breakable joints: the impulses a joint's rows carry in a step are
// summed in its weakness record; when a record passes its threshold the joint's call back
// decides whether it breaks, and the solve is cut back to the moment it broke.
#pragma once

#include "physics/Body.h"
#include "physics/ConstraintRow.h"

#include <cstdint>

// The weakness call back of a joint: (owner of the row's body, owner of the partner or null,
// 1 for a limit (angular) record else 0, square root of the threshold). Answers
// BZ_PHYS_CB_NOTHING (already breaking or disabled) or BZ_PHYS_CB_BROKE (disabled, its break
// handler scheduled).
typedef int32_t (*bzPhysJointWeaknessCallBack)(void *owner, void *partnerOwner, int32_t limit,
                                               float magnitude);

// Checks the rows[first .. first + count - 1] of one joint group (runs of a row and the rows
// that share its anchor), with values[i] the solved impulse of rows[i]. Runs of type 33 add to
// the joint's linear record, runs of type 97 to its angular (limit) record; a record with a
// negative threshold or no call back is inert. The record whose accumulated impulse passes
// time step x threshold at the smallest fraction t of this step's impulse (the first on ties)
// has its call back asked. Nothing passed: 0. Answer 9: 0, nothing else changes. Otherwise
// values[0 .. valueCount - 1] are scaled by t; answer 11 marks the top of the row's body for a
// rebuild (tree state -1), waking it when world is given, and returns 1; any other answer is
// reported ("Invalid return value", "constraint weakness call back") and returns 1.
int32_t bz_Phys_CheckWeakness(float *values, int32_t valueCount, bzPhysRow *const *rows,
                              int32_t first, int32_t count, BZDObject *world);

// Calls the weakness call backs of the joint of a limit row that must give: the angular
// record's with flag 1, then the linear record's with flag 0, each when its threshold is above
// 0. The joint is the one bz_Row_JointRecord names.
void bz_Phys_BreakRowJoint(const bzPhysRow *row);
