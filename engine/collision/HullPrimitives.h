// Primitive tests of the collision handlers on convex hulls: a point near a hull's surface, a
// moving point's entry into a hull with its contact normal, and a segment against a rounded
// hull (a hull grown by its rounding radius, swept by a sphere).
//
// A hull here is its face planes (unit outward normals, inside where n.p - d <= 0) and, for the
// rounded test, its vertices and edges. Normals given point into the hull. Hulls of more than
// BZ_SEGMENT_HULL_MAX_FACES (512) planes are refused (no contact). Nothing here allocates.
#pragma once

#include "collision/Hull.h"
#include "maths/Types.h"

#include <cstdint>

// 0 when the point lies outside some plane by more than the margin. Else BZ_NEAR_SURFACE (512)
// with the point copied and a unit normal: minus the sum of the normals of the planes the point
// lies outside of, or, when it lies inside every plane, minus the normal of the nearest plane.
int32_t bz_PointNearHullSurface(const bzV3 *point, const bzHull *hull, float margin, bzV3 *pointOut,
                                bzV3 *normalOut);

// The point moves from start by delta into the hull. With an entry (the code k > 0 of
// bz_Segment_Hull, margin 0): k, the fraction, the hit point and minus the normal of plane
// ((k & 0x1FF) - 1). A start inside: -1 with the normal (1, 0, 0). Otherwise the near-surface
// test of the end point with the margin bzCollisionTolerance: BZ_NEAR_SURFACE with the mark 1.0,
// the point and the normal, or 0.
int32_t bz_PointInHullNormal(const bzV3 *start, const bzV3 *delta, const bzHull *hull,
                             float *fractionOut, bzV3 *pointOut, bzV3 *normalOut, float *markOut);

// Results of bz_SegmentAgainstRoundedHull besides plane k + 1.
enum : int32_t
{
    BZ_ROUNDED_HULL_EDGE = -2,   // a hit on a hull edge grown into a capsule
    BZ_ROUNDED_HULL_INSIDE = -1, // the start lies inside every plane of the hull
};

// A sphere of radius r1 + r2 whose centre moves from a by d against a hull with the rounding
// radius. The fraction is set to 2.0 first. Results: k + 1 for a hit on plane k (0-based) with
// the fraction, contact point and that plane's normal; with the edge flag set, the edges whose
// two vertices share no bit of their side marks (null marks: every edge) are tried as capsules
// of radius r1 + r2: BZ_ROUNDED_HULL_EDGE for a hit, with the fraction, point and normal;
// BZ_ROUNDED_HULL_INSIDE when a lies inside every plane of the hull; else 0.
int32_t bz_SegmentAgainstRoundedHull(const bzV3 *a, const bzV3 *d, float r1, float r2,
                                     const bzHull *hull, float rounding,
                                     const uint32_t *vertexSides, int32_t edgeFlag,
                                     float *fractionOut, bzV3 *pointOut, bzV3 *normalOut);
