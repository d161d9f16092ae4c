// Whether two placed forms or shapes intersect, and whether a point lies inside a shape or a
// form.
//
// The pairwise work is done by one boolean test per pair of kinds, chosen from the 12 x 12
// table bzShapePairTable indexed [higher kind][lower kind]. The dispatcher orders each pair by
// kind, publishes it in the four pair globals below and calls the table entry, which takes no
// arguments and returns 1 (the shapes intersect or touch) or 0. A null entry is an unsupported
// pair and counts as no intersection; row 11 (CrushableCuboid) and row 0 are empty.
//
// Single-threaded: the pair globals make every dispatch non-reentrant, and a pair test must not
// start another dispatch. Nothing here allocates.
#pragma once

#include "collision/Shape.h"

#include <cstdint>

// A pair test: reads the pair globals, returns 1 or 0.
typedef int32_t (*bzShapePairTest)();

// The pair under test, valid only while a pair test runs. The matrices carry points of the
// higher shape's (form's) frame into the lower's, and back; they are inverses of each other.
extern const bzShape *bzgPairHigher;
extern const bzShape *bzgPairLower;
extern const bzM34 *bzgPairHigherToLower;
extern const bzM34 *bzgPairLowerToHigher;

// 144 entries, row-major: entry 12 * higher + lower. Only the lower triangle is used.
extern const bzShapePairTest bzShapePairTable[BZ_SHAPE_KIND_COUNT * BZ_SHAPE_KIND_COUNT];

// 1 when some shape of form A, placed by placement A, intersects some shape of form B, placed
// by placement B (null placements are the world frame). The forms' bounding boxes are compared
// first unless either form holds a half-space. Null forms, empty forms and placements that are
// not finite give 0.
int32_t bz_Form_IntersectForm(const bzForm *formA, const bzM34 *placementA, const bzForm *formB,
                              const bzM34 *placementB);
// The pair test of two placed shapes, without a box pre-test; 0 for an unsupported pair.
int32_t bz_Shape_IntersectShape(const bzShape *shapeA, const bzM34 *placementA,
                                const bzShape *shapeB, const bzM34 *placementB);
// The same with both relative transforms given: firstToSecond carries the first shape's frame
// into the second's. When the second's kind is not above the first's, the first is the higher.
int32_t IntersectShapePair(const bzShape *first, const bzShape *second, const bzM34 *firstToSecond,
                           const bzM34 *secondToFirst);

// 1 when the point (in the shape's form frame) lies inside the shape. Box faces count as
// inside, a half-space's plane as outside; WireFrame, Polygon and kinds outside 1 to 10 never
// contain a point.
int32_t bz_Shape_ContainsPoint(const bzShape *shape, const bzV3 *point);
// 1 as soon as a shape of the chain contains the point; 0 for an empty or null form.
int32_t bz_Form_ContainsPoint(const bzForm *form, const bzV3 *point);

// The plane of either half-space kind with a unit normal (a HalfSpace's plane is scaled to a
// unit normal); 0 when the direction is not 0 to 5 or the normal has no length.
int32_t HalfSpaceUnitPlane(const bzShape *shape, bzPlane *out);
