// Friction rows of a tree solve and their force budget: each sliding contact whose friction can
// stop a good part of the slip gets a friction row (type 9) along the slip, with the slip speed
// as its right-hand side and a budget of the friction coefficient times the contact's normal
// impulse. After a solve pass all forces are scaled down together so that no friction row
// exceeds what is left of its budget. Also the hand-over of a row list to the step's call back
// in the terms of the bodies' owners, and back.
//
// A world friction row keeps its budget in rB.x and its contact's normal in nB, a two-body one
// its budget in link.budget.
#pragma once

#include "physics/ConstraintRow.h"

#include <cstdint>

// The most rows a friction pass makes or reads.
constexpr int32_t BZ_FRICTION_ROW_LIMIT = 60;

// Appends to out (holding count rows, rhs parallel to it) the friction rows of the contact rows
// rows[0..rowCount-1] (at most 60 read) and returns the new count (60 once out is full). Only
// the first frictionPassLimit calls of a physics step add rows. A world contact gets a row when
// its body's squared speed in the previous step was at most 1.0, it slips (speed s above
// 1.1920929e-7, the point moving by the body's sliding turn) and 0.5 s < k N mu; a contact with
// a bodyB goes to bz_Phys_AddBodyFrictionRow.
// Angular, switched-off, friction, fixed-target and linear-joint rows get none. rows may be out.
int32_t bz_Phys_AddFrictionRows(bzPhysRow *out, int32_t count, bzPhysRow *rows, int32_t rowCount,
                                float *rhs);

// The turn by which a body slides its points over a face with the given unit normal (body
// frame): its angular velocity, less its rocking about the face's own axes when that rocking is
// too slow to turn the body within a step (below the turning threshold of the rotation step,
// BZ_PHYS_TURN_ANGLE_SQ). A rocking that never turns the body moves none of its points; counted
// as slip, friction would stop it at the contact points and so move the body's centre instead.
// The spin about the normal always counts. World friction (its rows, their targets and the
// friction pass) takes a contact point's slip through it.
bzV3 bz_Phys_SlidingTurn(const BZDObject *body, const bzV3 &normal);

// The friction row of a contact between two bodies, appended to out when the normal impulse N is
// at least dt times the smaller mass, the slip is at least a tenth of the contact distance, the
// impulse that stops it is at most N and at most mu N; an older friction row between the same
// points within about 45 degrees of it (among rows[0..rowCount-1]) is switched off. Returns the
// new count.
int32_t bz_Phys_AddBodyFrictionRow(bzPhysRow *out, int32_t count, float *rhs,
                                   const bzPhysRow *contact, bzPhysRow *rows, int32_t rowCount);

// Checks the forces forces[nb + i] of rows[first..end-1] against the friction rows' remaining
// budgets (each budget is lowered by its force). When a force passes its budget, the smallest
// budget-to-force ratio (the first on a tie) scales every force, forces[0..nb + end - 1], the
// friction budgets get back what was scaled off, the chosen row's budget becomes 0 and 1 is
// returned; else 0, the forces untouched.
int32_t bz_Phys_ClipFrictionForces(int32_t first, bzPhysRow *const *rows, int32_t end, int32_t nb,
                                   float *forces);

// Before the step's call back: each row's nB is negated, its points are measured from the
// bodies' origins and its bodies replaced by their owners. After it: undone, each owner giving
// back the body its second pointer-sized word names.
void bz_Phys_UnrebaseRows(int32_t count, bzPhysRow *const *list);
void bz_Phys_RebaseRows(int32_t count, bzPhysRow *const *list);
