// Row targets: before a tree solve builds its matrix, each row gets the change of relative
// velocity along it that the solve must produce, written into the right-hand side at the row's
// index. Joint rows cancel the relative velocity at the joint; contact and limit rows ask for a
// separation that recovers penetration gently and never more than the contact's own speed
// allows; and a contact set that asks for nothing gets a growing push on its lightest row, so
// that bodies resting in a stuck configuration work themselves free.
//
// The time step dt and the contact tolerance T come from the physics settings.
#pragma once

#include "physics/ConstraintRow.h"

#include <cstdint>

// The speed apart that two bodies found `depth` inside each other are pushed at: the overlap
// undone over a few steps, at most a fixed speed; 0 for no overlap.
float bz_Phys_PushOutSpeed(float depth);

// The push: its value (0 when none is armed), cleared by the step at its start.
void bz_Phys_ClearPush();
float bz_Phys_PushValue();

// Targets of the contact and limit rows of a tree solve: entries first..end-1 of rhs are set to
// 0; each row's weight above 10 loses 10; angular rows take bz_Phys_AngularRowTarget, the others
// bz_Phys_ContactRowTarget, into rhs at their index. When no row is settled (and there are rows)
// the lightest row (the earlier on a tie) is pushed: on the pair pushed before, the push doubles
// (at most 2.0) and becomes its target; otherwise a push of T is armed for that pair and no
// target changes. Returns 1 when every row answered 0, else 0.
int32_t bz_Phys_ContactRowTargets(float *rhs, bzPhysRow *const *rows, int32_t count, int32_t first,
                                  int32_t end);

// The target of a linear contact row; returns 1 when the row is settled (it already asks for a
// separation of at least T, or rests), else 0. A row without bodyB keeps the velocity of bodyA's
// contact point in its rB.
int32_t bz_Phys_ContactRowTarget(bzPhysRow *row, float *target);

// The target of an angular contact or limit row; returns 1.
int32_t bz_Phys_AngularRowTarget(const bzPhysRow *row, float *target);

// Targets of the joint rows: an angular row cancels the relative spin about its axis; a linear
// row and the rows that share its anchor (link.sharedRows) cancel the relative velocity of the
// anchor along each row's direction.
void bz_Phys_JointRowTargets(float *rhs, bzPhysRow *const *rows, int32_t count);
