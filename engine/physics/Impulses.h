// Putting the solver's impulses into the bodies' velocities, and the friction the solve itself
// does not model: Coulomb friction at every contact that carried a normal impulse (with random
// bumps on rough substance pairs) and the spin limit.
//
// Applied linear contact rows are copied into the world-contact list (a fixed array of 300 rows,
// word 0 holding the row's impulse), which the friction pass at the end of the step consumes.
//
// A body with a coupling record (physics/Coupling.h) takes the coupled variant: besides its own
// change it takes the coupling impulses that the matrix builder wrote into the row's coupling
// words (couplingA for bodyA, couplingB for bodyB, per unit row impulse), and so does its
// partner; the velocities then match the system matrix.
#pragma once

#include "physics/ConstraintRow.h"

#include <cstdint>

constexpr int32_t BZ_WORLD_CONTACT_LIMIT = 300;

// Applies impulse x along the row: bodyA by +x, bodyB (unless the row is one-sided) by -x; a
// body stamped in another iteration has its tree marked first.
void bz_Phys_ApplyRowImpulse(bzPhysRow *row, float x);
// Applies a joint-row bundle (the row and the link.sharedRows rows after it) with an impulse
// each; marks both trees when any impulse is nonzero. Returns the bundle size.
int32_t bz_Phys_ApplyBundleImpulses(bzPhysRow *const *rows, const float *x);
// The coupled variants. For each of count rows the body (bodyA of the rows for sign +1, bodyB
// for -1) takes sign * impulses[i] along its side's direction (none for an angular row) and
// angular response; sum receives the rows' coupling impulses (sign * impulse times the side's
// coupling words), which then move the body and its partner (bz_Phys_ApplyCoupledAngularImpulse
// with impulse 1); both world linear velocities follow through their start-of-step rotations.
void bz_Phys_ApplyCoupledImpulses(BZDObject *body, bzPhysRow *const *rows, const float *impulses,
                                  int32_t count, float sum[3], float sign);
// The coupling part alone: the coupling impulses impulse * coupling[0..2] move the body and its
// partner through their coupling records. Nothing for a body without a coupling record.
void bz_Phys_ApplyCoupledAngularImpulse(BZDObject *body, const float coupling[4], float impulse);

// After a tree solve: rows with impulse 0 (or switched off) are switched off; the others are
// applied, and the linear ones other than fixed-target rows are copied into the world-contact
// list while it has room. The first row of each pair of bodies records the pair's bounce
// (physics/Bounce.h); the pair's following rows record too when it did.
void bz_Phys_ApplyContactImpulses(bzPhysRow *const *rows, const float *x, int32_t count);
// Takes back impulses that bz_Phys_ApplyContactImpulses applied: each row whose impulse is not 0
// is applied with -x and its bounce sum loses x again. The world-contact list keeps its copies.
// A solve that follows may then share the rows' load anew.
void bz_Phys_TakeBackContactImpulses(bzPhysRow *const *rows, const float *x, int32_t count);

// After a tree solve: the world friction rows among rows that carried an impulse have spent the
// friction of their contacts for the step. Every copy in the world-contact list of a contact of
// the same body at the same point gets a normal impulse of 0, so the friction pass adds none
// there: a contact's friction is at most mu times its normal impulse in a step, not twice that.
void bz_Phys_SpendWorldContactFriction(bzPhysRow *const *rows, const float *x, int32_t count);

// The world-contact list.
int32_t bz_Phys_WorldContactCount();
bzPhysRow *bz_Phys_WorldContacts();
void bz_Phys_ClearWorldContacts();

// Friction of every row of the world-contact list, then the list is emptied.
void bz_Phys_FrictionPass();
// Friction at a world contact (no bodyB or a one-sided row): nothing below a slip of 0.001;
// bumps of a rough pair; an impulse against the slip of at most mu times the normal impulse. The
// point slips by the body's sliding turn (physics/FrictionRows.h).
void bz_Phys_WorldContactFriction(bzPhysRow *row);
// Friction between two bodies, +k on bodyA and -k on bodyB, k at most mu times the normal
// impulse; the sliding call backs of both bodies.
void bz_Phys_BodyContactFriction(bzPhysRow *row);
// A body turning more than 1.57 rad in a step is slowed to 0.785 rad a step.
void bz_Body_LimitSpin(BZDObject *body);
