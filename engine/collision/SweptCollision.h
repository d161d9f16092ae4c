// Swept collision of two forms: if form B translates by a motion vector relative to form A
// during one step (no rotation), at which fraction t of the step do the two first touch?
// t = 0 is the start of the step, t = 1 its end.
//
// Both forms are in the same frame. Each pair of shapes (one of A, one of B) is tested by the
// entry of the 12 x 12 table bzSweptPairTable for its kinds, with the shape of higher kind as
// the row (for equal kinds, the shape of form B) and the motion of the column shape relative
// to the row shape. Null, CrushableCuboid and pairs of half-spaces never collide here, nor do
// kinds outside 0 to 11. Shapes that already touch at the start are not found: the caller tests
// static overlap first. Nothing here allocates or keeps state.
#pragma once

#include "collision/Shape.h"

#include <cstdint>

// The time meaning no touch.
constexpr float BZ_SWEPT_NO_HIT = 2.0f;

// A pair test: (row shape, column shape, motion of the column shape relative to the row shape,
// time found so far); lowers the time only with an accepted earlier touch.
typedef void (*bzSweptPairTest)(const bzShape *row, const bzShape *column, const bzV3 &motion,
                                float &time);

// 144 entries, entry 12 * row kind + column kind; only row kind >= column kind is used.
extern const bzSweptPairTest bzSweptPairTable[BZ_SHAPE_KIND_COUNT * BZ_SHAPE_KIND_COUNT];

// Sets the time to 2.0, tests every pair of shapes and returns 1 when the time found is below
// 1.0, else 0 (also for an empty or null form and for a motion that is not finite).
int32_t bz_Form_SweptCollision(const bzForm *formA, const bzForm *formB, const bzV3 *motion,
                               float *timeOut);
