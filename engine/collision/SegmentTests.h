// Leaf tests of the physics collision code on segments and points: a segment against an
// aligned box, a convex hull and a sphere; a sphere against an aligned box; a point against a
// segment and against a sphere's tolerance shell; two segments crossing within the collision
// tolerance; and the real roots of a quadratic that lie in [0, 1].
//
// A segment runs from its start S to its end E, the point S + t (E - S) for t in [0, 1]. All
// arithmetic is single precision; nothing here allocates or keeps state. Coordinates that are
// not finite give a miss.
#pragma once

#include "collision/Hull.h"
#include "collision/Shape.h"
#include "maths/Types.h"

#include <cstdint>

// Face codes of bz_Segment_AlignedBox: axis + 1 for the maximum face, axis + 5 for the minimum.
enum : int32_t
{
    BZ_SEGMENT_BOX_MAX_X = 1,
    BZ_SEGMENT_BOX_MAX_Y = 2,
    BZ_SEGMENT_BOX_MAX_Z = 3,
    BZ_SEGMENT_BOX_MIN_X = 5,
    BZ_SEGMENT_BOX_MIN_Y = 6,
    BZ_SEGMENT_BOX_MIN_Z = 7,
};

// The most face planes the hull tests take; a hull with more is refused (no hit).
constexpr int32_t BZ_SEGMENT_HULL_MAX_FACES = 512;

// -1 when S lies inside the box (faces included), with the hit point S; 0 no hit; else the
// face code of the entry face with t and the hit point written. Ties between axes keep the
// lower axis; an axis along which the segment does not move is never the entry axis.
int32_t bz_Segment_AlignedBox(const bzV3 *start, const bzV3 *end, const bzBox *box, bzV3 *hitOut,
                              float *tOut);

// The segment against the convex solid of the hull's face planes, each moved outward by the
// margin. t is set to 2.0 first. -1 with t = 0 when S lies inside every grown plane; 0 no hit;
// else the entry face index + 1 with t and the hit point. A hull of more than
// BZ_SEGMENT_HULL_MAX_FACES faces gives 0.
int32_t bz_Segment_Hull(const bzV3 *start, const bzV3 *end, const bzHull *hull, float margin,
                        bzV3 *hitOut, float *tOut);

// The segment against the sphere (its centre and squared radius): -1 when S lies strictly
// inside; 1 for an entry at t in [0, 1] with the hit point and, when normalOut is given, the
// unit normal from the hit point towards the centre; else 0. t is written whenever the line
// meets the sphere, also for an entry outside [0, 1].
int32_t bz_Segment_Sphere(const bzV3 *start, const bzV3 *end, const bzSphereShape *sphere,
                          float *tOut, bzV3 *hitOut, bzV3 *normalOut);

// Writes the point of the box nearest the centre; 1 when its squared distance from the centre
// is at most radiusSquared, else 0.
int32_t bz_Sphere_AlignedBox(const bzV3 *centre, const bzBox *box, float radiusSquared,
                             bzV3 *closestOut);

// 1 when the point lies within radius of the segment's line and its projection falls on the
// segment (parameter in [0, 1]); 0 otherwise and for a segment of no length.
int32_t bz_Point_NearSegment(const bzV3 *start, const bzV3 *end, const bzV3 *point, float radius);

// When radius^2 < |centre - point|^2 < (radius + bzCollisionTolerance)^2: writes the unit
// direction from the point towards the centre and sets the flag to 1.0. Otherwise writes
// nothing.
void bz_Point_InSphereShell(const bzV3 *point, const bzV3 *centre, float radius, bzV3 *normalOut,
                            float *flagOut);

// 1 when the two segments pass within bzCollisionTolerance of each other at parameters in
// [0, 1] on both; 0 for parallel or degenerate segments.
int32_t bz_SegmentsCross(const bzV3 *start1, const bzV3 *end1, const bzV3 *start2,
                         const bzV3 *end2);

// The real roots of a t^2 + b t + c = 0 that lie in [0, 1] (both ends included), ascending,
// written to roots (room for 2); returns their number. When b^2 is more than 1000 times
// |4ac| the roots come from the series of the nearly linear equation instead of the formula.
int32_t bz_Quadratic_RootsInUnit(float *roots, float a, float b, float c);
