// The collision tolerance.
#include "collision/CollisionTolerance.h"

float bzCollisionTolerance = BZ_COLLISION_TOLERANCE_DEFAULT;
