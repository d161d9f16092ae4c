// Queries of whether two bodies' forms overlap at their current placements, and which way a
// body should move to get free: the mean normal of its world contacts or, failing those, the
// direction away from the first body of a list that it overlaps. Two further tests cover pairs
// of aligned-cuboid bodies.
//
// A body's placement here is its current transform (the matrix its transform pointer names, or
// its start transform without one); its world box is its form's box under that placement. The
// queries read the bodies and write nothing into the step's contact array. The last body that
// the push-out direction found is module state. Nothing allocates from the system heap.
#pragma once

#include "collision/Shape.h"
#include "maths/Types.h"

#include <cstdint>

struct BZDObject;

// 1 when an edge of shape a (of body A), carried into body B's frame, crosses shape b or starts
// inside it. AlignedCuboid, WireFrame and Sphere shapes take part as the 12 edges of their box,
// Polyhedron and Polygon with their own edges; another kind of a is reported ("Unsupported
// shape", caption "TestShapeEdgeIntersection") and gives 0, another kind of b gives 0.
int32_t TestShapeEdgeIntersection(const bzShape *a, const BZDObject *bodyA, const bzShape *b,
                                  const BZDObject *bodyB);
// 1 when the physics filter lets the two collide, their world boxes overlap and some shape pair
// crosses one way or the other.
int32_t bz_PhysObject_FormsOverlap(const BZDObject *a, const BZDObject *b);
// 0 for the same body or a parent and its child; else bz_PhysObject_FormsOverlap.
int32_t bz_PhysObject_OverlapsBody(const BZDObject *a, const BZDObject *b);
// 1 when A overlaps B or, recursively, one of B's children (sibling order).
int32_t bz_PhysObject_OverlapsBodyTree(const BZDObject *a, const BZDObject *b);
// The way out for the body: 0 with a unit world direction, the normal of its one world contact
// or the normalised sum of several, found by the world collision in push-out mode; else, away
// from the first body of the sibling chain starting at list that it overlaps (tree included),
// that body kept as the last overlapped body. -1 with out unchanged when nothing is found.
int32_t bz_PhysObject_PushOutDirection(BZDObject *body, BZDObject *list, bzV3 *out);
// The body the last push-out direction was found away from, or null.
BZDObject *bz_PhysObject_LastOverlapped();
// Runs bz_PhysObject_PushOutDirection against list for every body that follows the given one
// in its sibling chain (the body itself left out) and returns how many found a way out. 0 for
// a null body.
int32_t bz_PhysObject_CountOverlappingSiblings(BZDObject *body, BZDObject *list);
// 1 when the world boxes overlap, both first shapes are aligned cuboids and an edge of A's box
// crosses an edge of B's.
int32_t bz_PhysObject_CuboidEdgesCross(const BZDObject *a, const BZDObject *b);
// 1 when both first shapes are aligned cuboids and an edge of either box crosses the other box.
int32_t bz_PhysObject_CuboidsTouch(const BZDObject *a, const BZDObject *b);
// 1 when two bodies of the sibling chain starting at first pass bz_PhysObject_CuboidEdgesCross.
int32_t bz_PhysObject_AnyCuboidPairCrosses(const BZDObject *first);
