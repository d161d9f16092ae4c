// Point and segment tests of the collision handlers chosen by the kind of the shape met, and a
// sphere's centre swept against an edge carrying the sphere's radius.
//
// Kinds without a test here (TicTac, Cuboid, the half-spaces, and any kind outside 1 to 11)
// raise physics error 1 (bz_PhysContacts_ReportError, no text) and give 0; a WireFrame has no
// faces to meet and gives 0 silently. Nothing here allocates.
#pragma once

#include "collision/Shape.h"
#include "maths/Types.h"

#include <cstdint>

// The physics error of a kind the dispatchers cannot test.
constexpr int32_t BZ_PHYS_ERROR_UNSUPPORTED_KIND = 1;

// The point moving from start to end near the shape: the kind's near-surface test
// (bz_PointOnBoxNormal, bz_PointInHullNormal or bz_PointNearSphereShell) with its outputs.
int32_t bz_PointAgainstShape_ByKind(const bzShape *shape, const bzV3 *start, const bzV3 *end,
                                    float *fractionOut, bzV3 *pointOut, bzV3 *normalOut,
                                    float *markOut);

// The segment from start to end entering the shape: -1 a start inside, 0 none, else the kind's
// positive code with the hit point and t; a positive code also writes the normal into the shape
// through the entered face when normalOut is given.
int32_t bz_SegmentEntersShape_ByKind(const bzV3 *start, const bzV3 *end, const bzShape *shape,
                                     bzV3 *hitOut, float *tOut, bzV3 *normalOut);

// A sphere whose centre moves from s0 to s1 against the edge a-b. Writes 100.0 to the time; a
// touch in [0, 1] on the edge writes the time, the edge point and the unit normal from the
// centre towards it. A path passing beyond an end goes to the corner there (unless its mark is
// negative) with bz_SweptSphereAgainstPoint; a path along the edge, or one that misses,
// to bz_SegmentClosestToSphere of the end point (a resting touch writes time 1.0).
void bz_SweptPointEdgeRadius(const bzV3 *a, const bzV3 *b, const bzV3 *s0, const bzV3 *s1,
                             const bzSphereShape *sphere, float *timeOut, bzV3 *pointOut,
                             bzV3 *normalOut, int8_t markA, int8_t markB);
