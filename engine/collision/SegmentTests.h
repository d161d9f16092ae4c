// Leaf tests of the physics collision code on segments and points: a segment against an
// aligned box, a convex hull and a sphere; a sphere against an aligned box; a point against a
// segment and against a sphere's tolerance shell; two segments crossing within the collision
// tolerance; and the real roots of a quadratic that lie in [0, 1]. Beside them, tests of the
// same family that nothing calls yet: a segment against a capsule's side, a disc against a
// collision face and a sphere against a hull whose planes move over the step.
//
// A segment runs from its start S to its end E, the point S + t (E - S) for t in [0, 1]. All
// arithmetic is single precision; nothing here allocates or keeps state. Coordinates that are
// not finite give a miss.
#pragma once

#include "collision/CollisionFace.h"
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

// The tests of the same family that nothing in the engine calls yet.

// The segment's line against the side of the capsule (its infinite cylinder; the end caps are
// not part of this test): 1 with the entry parameter t in [0, 1] and the hit point when the
// hit's axis parameter lies in [0, 1); else 0 (also when the start already lies within the
// cylinder).
int32_t bz_Segment_TicTacSide(const bzV3 *start, const bzV3 *end, const bzTicTacShape *capsule,
                              bzV3 *hitOut, float *tOut);

// The disc (centre, unit axis, radius) against the face: 1 with a contact point and unit
// normal, else 0. The face plane must lie within r of the centre and the planes must not be
// parallel. The face edges that cross the disc's plane give the chord of the face in that
// plane: when it runs past both sides of the centre's foot on the planes' common line, the
// contact is that foot with the face normal; else when its end nearer the centre lies within
// r, the contact is that end with the normal across the crossed edge, out of the face.
int32_t bz_Disc_Face(const bzCollisionFace *face, const bzV3 *centre, const bzV3 *axis, float r,
                     bzV3 *pointOut, bzV3 *normalOut);

// A face of a hull whose plane moves linearly over the step: its plane at the start and at the
// end (unit normals, n.p = d on the plane).
struct bzMovingPlane
{
    bzPlane start;
    bzPlane end;
};

// The sphere (centre, r) against the hull of the moving planes. Faces the centre starts
// outside of by at least r give the time their interpolated plane comes within r; one that
// does not come within r during the step and still leaves the centre more than
// bzCollisionTolerance + r outside at the end separates them (0). The latest such time
// (clamped to 1) names the contact face; the contact point centre - r n(t) must lie inside
// every other face at t. 1 with the time and the face's unit normal at t; else 0 (also when
// no face has the centre outside by r at the start, or for more than 512 faces).
int32_t bz_Sphere_MovingHull(const bzV3 *centre, float r, const bzMovingPlane *faces,
                             int32_t faceCount, float *tOut, bzV3 *normalOut);

// Result of bz_Point_HullPush when no move onto the hull could be found.
constexpr int32_t BZ_PUSH_NO_PROGRESS = 0x200;
// The most planes that bz_Point_HullPush searches through for the nearest point of the hull.
constexpr int32_t BZ_PUSH_MAX_NEAR_PLANES = 32;

// The point against the convex solid of the hull's face planes, with a margin. 0 when it lies
// outside some plane by more than the margin. From outside, the push is the shortest move onto
// the hull: through the planes it violates one, two or three at a time (a face, the line of
// an edge, a corner), among the planes within the margin of it; from inside (within
// bzCollisionTolerance x 0.01 of every plane or under it), the move out through its nearest
// plane. A push longer than the margin gives 0. Otherwise 1 with the push and the unit sum of
// the outward normals of the planes the pushed point lies on. Two planes whose edge direction
// is shorter than the slack bzCollisionTolerance x 0.01 make no edge and three whose corner is
// not defined no corner. BZ_PUSH_NO_PROGRESS with the normal (1, 0, 0) when more than
// BZ_PUSH_MAX_NEAR_PLANES planes lie within the margin or no move lands on the hull. A hull of
// more than BZ_SEGMENT_HULL_MAX_FACES planes, or a point or margin not finite, gives 0.
int32_t bz_Point_HullPush(const bzV3 *point, const bzHull *hull, float margin, bzV3 *pushOut,
                          bzV3 *normalOut);
