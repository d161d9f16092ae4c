// The linear move of a free body over a frame: the part of a free body's frame update that
// carries it along its linear velocity.
#pragma once

#include "maths/Types.h"

#include <cstdint>

struct BZDObject;

// Adds dt x linear velocity to the translation of the body's start-of-step transform, ORs
// BZ_BODY_CHANGED_POSITION into its collision mask word and clears its asleep byte; returns 1.
// A zero velocity changes nothing and returns 0. A velocity that is not finite is reported as
// physics error 10 and zeroed; the body does not move and 0 is returned.
int32_t bz_Body_MoveLinear(BZDObject *body, float dt);

// Integrates a free body over dt (the free-body frame update):
// 1. The asleep byte is remembered, then set.
// 2. moveLinear: bz_Body_MoveLinear (a moving body wakes).
// 3. moveAngular: the saved angular velocity takes the current one; when the step's squared
//    angle dt^2 |w|^2 is not below 1e-7 the start-of-step transform turns about the centre of
//    mass (bz_Body_TurnMidpoint in n = floor(degrees / 10) + 1 equal pieces, at most 400, with
//    substeps and a turn of more than 5 degrees, else one bz_Body_TurnSingle keeping the
//    momentum), and the body wakes.
// 4. A body that was asleep and now is not runs its wake links; one that was awake and did
//    not move runs its sleep links (physics/PhysServices.h).
// Returns the pieces the turn took (0 when it did not turn).
int32_t bz_Body_SetMotion(BZDObject *body, int32_t moveLinear, float dt, int32_t moveAngular,
                          int32_t substeps);
// Squared angle of a step above which bz_Body_SetMotion splits the turn (5 degrees).
constexpr float BZ_BODY_SPLIT_TURN_ANGLE_SQ = 0.0076154354f;

// The angular velocity that turns the current transform into the target in the given time:
// the axis of the relative rotation (inverse(current) then target, taken as a quaternion)
// scaled to turn through its angle in that time, with the sign of the engine's angular
// velocities, which is opposite to that of its axis-angle matrices: turning the current
// transform's rotation by |w| time degrees about -w in its parent's frame
// (bz_M34_PostRotateAxis) gives the target's. Zero for equal rotations (a relative turn whose
// half-angle sine is at most 1.1920929e-07) and for a time that is not positive.
void bz_Body_AngularVelocityToReach(const bzM34 *current, const bzM34 *target, float time,
                                    bzV3 *out);
