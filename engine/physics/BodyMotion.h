// The linear move of a free body over a frame: the part of a free body's frame update that
// carries it along its linear velocity.
#pragma once

#include <cstdint>

struct BZDObject;

// Adds dt x linear velocity to the translation of the body's start-of-step transform, ORs
// BZ_BODY_CHANGED_POSITION into its collision mask word and clears its asleep byte; returns 1.
// A zero velocity changes nothing and returns 0. A velocity that is not finite is reported as
// physics error 10 and zeroed; the body does not move and 0 is returned.
int32_t bz_Body_MoveLinear(BZDObject *body, float dt);
