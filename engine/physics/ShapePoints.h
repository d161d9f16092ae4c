// The points the collision preparation places for a shape, by kind; shared by the object pair and
// the world collision.
#pragma once

#include "collision/Shape.h"

#include <cstdint>

// 8 for the box kinds, 1 for a sphere, 2 for a tic-tac and 0 for the other kinds, with *hull set
// to null. For the hull kinds *hull is the shape's hull and the result its vertex count (0 without
// a hull or with no vertices).
int32_t bz_PhysShapePoints(const bzShape *shape, const bzHull **hull);
