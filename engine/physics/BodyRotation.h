// Turning a body over a time step while keeping its angular momentum.
//
// The angular velocity is held in the body frame; the angular momentum L = I w (principal
// moments times the inertia scale) is kept in world space: after the body turns by R, the new
// body-frame momentum is R L and w = I^-1 R L. The body turns about its centre of mass. Every
// step turns by the mid-point estimate (which keeps the energy of a torque-free body where the
// plain step does not); a step whose squared angle exceeds BZ_PHYS_SUBSTEP_ANGLE_SQ is split
// into sub-steps, at most BZ_PHYS_MAX_SUBSTEPS of them. The turn, the momentum and w are
// worked in double and rounded to float once per turn, with the moments' exact reciprocals, so
// a torque-free body keeps its world momentum to 1e-5 over thousands of turns.
#pragma once

#include <cstdint>

struct BZDObject;

constexpr float BZ_PHYS_TURN_ANGLE_SQ = 1e-07f;    // below it a step does not turn the body
constexpr float BZ_PHYS_SUBSTEP_ANGLE_SQ = 0.008f; // above it a step is split
constexpr int32_t BZ_PHYS_MAX_SUBSTEPS = 400;

// The sub-steps a step of squared angle q = dt^2 |w|^2 takes: 0 below the turning threshold
// (or for a q that is not a number), 1 up to the splitting threshold, else
// truncate(sqrt(q x 33.333336)) + 1 but at least 2, at most BZ_PHYS_MAX_SUBSTEPS.
int32_t bz_Phys_RotationSubSteps(float q);

// Turns the body's current transform over dt: the saved angular velocity takes the current one;
// below the turning threshold BZ_PHYS_SLOW_TURN is set and nothing turns; otherwise the flag is
// cleared and the sub-steps run (one mid-point step up to the splitting threshold). An angular
// velocity that is not finite is reported as physics error 10 and zeroed, and the body does not
// turn. Returns the sub-steps taken.
int32_t bz_Phys_IntegrateRotation(BZDObject *body, float dt);
// One plain step: a turn by dt |w| about w through the centre of mass, w re-derived from the
// kept momentum. Nothing below 0.0001 radians.
void bz_Phys_RotateStep(BZDObject *body, float dt);
// One mid-point step: the momentum turned by half the step (at most 5 degrees) gives the
// mid-point velocity, the body turns by dt times that (at most 10 degrees), and w is re-derived.
void bz_Phys_RotateSubStep(BZDObject *body, float dt);

// A mid-point turn from the same angular velocity, moments, centre of mass and sub-step as the
// last one of the same body gives the same turn, so the last turns of a few bodies are kept and
// taken again. Switches the keeping on or off (for tests), forgets every kept turn and returns
// whether it was on. On from the start.
bool bz_Phys_KeepTurns(bool on);

// The turns of the free-body frame update, on the start-of-step transform:
// One turn by dt |w| about w through the centre of mass (nothing below 0.0001 radians), ORing
// the changed-position bit; with conserve, w is re-derived from the kept momentum and the
// changed-angular bit is ORed too.
void bz_Body_TurnSingle(BZDObject *body, float dt, int32_t conserve);
// The mid-point turn: the momentum turned by half the step about w gives w'; the body turns by
// dt |w'| about w'; w is re-derived from the momentum. ORs both changed bits.
void bz_Body_TurnMidpoint(BZDObject *body, float dt);
