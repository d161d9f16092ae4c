// Boxes, planes, rays and intersection tests.
//
// Every test is a pure function of its arguments; outputs are written through pointers, and
// a null pointer means the output is not wanted. Tests return 1 or 0 unless stated. Row vectors
// and bzM34 rows x, y, z, translation, as everywhere in the maths library.
#pragma once

#include "maths/Types.h"

#include <cstdint>

#if defined(__SSE__)
#include <xmmintrin.h>
#endif

// Result of the ray-against-box tests.
typedef int32_t bzBoxFace;
enum : bzBoxFace
{
    BZ_BOX_FACE_NONE = 0,
    BZ_BOX_FACE_MAX_X = 1,
    BZ_BOX_FACE_MAX_Y = 2,
    BZ_BOX_FACE_MAX_Z = 3,
    BZ_BOX_FACE_MIN_X = 4,
    BZ_BOX_FACE_MIN_Y = 5,
    BZ_BOX_FACE_MIN_Z = 6,
    BZ_BOX_FACE_INSIDE = 7,
};

// ---------------------------------------------------------------------------------------------
// Planes

// n = (a - b) x (c - b) normalised ((1, 0, 0) when |n|^2 <= 1.4210855e-14); d = n.b.
void bz_Plane_FromPoints(const bzV3 *a, const bzV3 *b, const bzV3 *c, bzPlane *out);
// n.p - d
float bz_Plane_SignedDistance(const bzPlane *plane, const bzV3 *p);
float bz_Plane_SignedDistance(const bzPlane *plane, float x, float y, float z);
// |n.p - d|
float bz_Plane_AbsDistance(const bzPlane *plane, const bzV3 *p);
// Returns h = n.p - d and writes p - h n to out when given.
float bz_Plane_ProjectPoint(const bzPlane *plane, const bzV3 *p, bzV3 *out);
// 1 when |n.p - d| <= tolerance.
int32_t bz_Plane_NearPoint(const bzPlane *plane, const bzV3 *p, float tolerance);
// For the equation e.x x + e.y y + e.z z + e.w = 0: out = p - ((e.p + e.w) / |e|^2) e.
void bz_Plane_ProjectOnEquation(const bzV4 *e, const bzV3 *p, bzV3 *out);
// sqrt(q.p) with q the projection of p on the equation.
float bz_Plane_EquationDistance(const bzV4 *e, const bzV3 *p);
// Into the local frame of an orthonormal M: n' = (n.row0, n.row1, n.row2), d' = d - row3.n.
void bz_Plane_ToLocal(const bzPlane *plane, const bzM34 *m, bzPlane *out);
void bz_Plane_ToLocalInPlace(bzPlane *plane, const bzM34 *m);
// Out of the local frame of an orthonormal M: n' = n R, d' = d + n'.row3; not renormalised.
void bz_Plane_TransformOrtho(bzPlane *plane, const bzM34 *m);
void bz_Plane_TransformOrthoInto(const bzPlane *plane, const bzM34 *m, bzPlane *out);
// For a general M: n' = n (R^-1)^T, d' = d + n'.row3, both divided by |n'|.
void bz_Plane_TransformByM34(const bzM34 *m, const bzPlane *plane, bzPlane *out);
void bz_Plane_TransformByM34Normalised(bzPlane *plane, const bzM34 *m);
// The same without the translation: n' = n (R^-1)^T, n' and d divided by |n'|.
void bz_Plane_RotateByM34(const bzM34 *m, bzPlane *plane);
void bz_Plane_RotateByM34Into(const bzM34 *m, const bzPlane *plane, bzPlane *out);
// 0 when n.dir is exactly 0; else writes p + t dir on the plane and returns 1.
int32_t bz_LinePlaneIntersect(const bzPlane *plane, const bzV3 *p, const bzV3 *dir, bzV3 *out);
// 0 when a and b are both strictly on one side; else 1 with the crossing point written.
int32_t bz_Plane_SegmentIntersect(const bzPlane *plane, const bzV3 *a, const bzV3 *b, bzV3 *out);
// The line where two planes meet: a point on it and its unit direction; 0 for parallel planes.
int32_t bz_Plane_PlaneIntersect(const bzPlane *a, const bzPlane *b, bzV3 *pointOut, bzV3 *dirOut);
// 1 unless n_a.n_b is exactly -1 and -d_a > d_b.
int32_t bz_Plane_NotBackToBack(const bzPlane *a, const bzPlane *b);
// Fraction 0..1 of the triangle (three consecutive corners) in front of the plane.
float bz_Triangle_PlaneFraction(const bzV3 *corners, const bzPlane *plane);
// 0 when every corner is behind the plane, else 1; the fraction in front to the optional output.
int32_t bz_Triangle_PlaneCut(const bzV3 *corners, const bzPlane *plane, float *fractionOut);
// bz_Triangle_PlaneCut with the plane as a normal and a distance; a null p1 means the corners
// are the three consecutive records from p0.
int32_t bz_Triangle_ProjectOnAxis(const bzV3 *n, float d, const bzV3 *p0, const bzV3 *p1,
                                  const bzV3 *p2, float *fractionOut);
// Nearest point of the convex region where n_i.q <= d_i for every plane (n_i, d_i) given.
// 1 with the point and its distance when it lies within reach, else 0. Both outputs optional.
int32_t bz_ConvexPlanes_ClosestPoint(const bzV3 *p, int32_t count, const bzV4 *planes, float reach,
                                     bzV3 *out, float *distanceOut);

// ---------------------------------------------------------------------------------------------
// Boxes

void bz_Box_Copy(const bzBox *box, bzBox *out);
// All six values times s.
void bz_Box_Scale(bzBox *box, float s);
// Per axis, min and max swapped where min > max.
void bz_Box_Order(const bzBox *in, bzBox *out);
void bz_Box_OrderInPlace(bzBox *box);
// 0.5 |max - min|
float bz_Box_Radius(const bzBox *box);
// The box of count points (count <= 1: the box of the first point).
void bz_Box_FromPoints(const bzV3 *points, int32_t count, bzBox *out);
// Grows the box to include p.
void bz_Box_AddPoint(bzBox *box, const bzV3 *p);
// Corner i (0 to 7) of the box: the maximum on x when bit 0 of i is set, on y for bit 1, on z
// for bit 2, the minimum otherwise.
void bz_Box_Corner(const bzBox *box, int32_t i, bzV3 *out);
void bz_Box_UnionInto(const bzBox *a, const bzBox *b, bzBox *out);
// 1 when min <= p <= max on every axis (faces included).
int32_t bz_Box_PointInside(const bzV3 *p, const bzBox *box);
// out = p clamped into the box; 1 when p was inside already.
int32_t bz_Box_ClampPoint(const bzV3 *p, const bzBox *box, bzV3 *out);
// Squared distance of p outside the box (0 inside).
float bz_Box_PointDistanceSq(const bzBox *box, const bzV3 *p);
// Smallest of p - min and max - p over the three axes.
float bz_Box_InsideDepth(const bzV3 *p, const bzBox *box);
// 1 unless separated on some axis (strictly): touching boxes overlap.
inline int32_t bz_Box_Overlap(const bzBox *a, const bzBox *b)
{
    // Every axis asked, without branches: the broad phase asks this of many pairs.
#if defined(__SSE__)
    // One box's min x, y, z against the other's max x, y, z, three lanes at a time (the fourth
    // lane is left out).
    auto beyond = [](const bzBox *p, const bzBox *q)
    {
        const __m128 low = _mm_loadu_ps(&p->min.x);  // min x, y, z, max x
        const __m128 high = _mm_loadu_ps(&q->min.z); // min z, max x, y, z
        return _mm_cmpgt_ps(low, _mm_shuffle_ps(high, high, _MM_SHUFFLE(3, 3, 2, 1)));
    };
    return (_mm_movemask_ps(_mm_or_ps(beyond(a, b), beyond(b, a))) & 7) ? 0 : 1;
#else
    const bool apart = (a->min.x > b->max.x) | (b->min.x > a->max.x) | (a->min.y > b->max.y) |
                       (b->min.y > a->max.y) | (a->min.z > b->max.z) | (b->min.z > a->max.z);
    return apart ? 0 : 1;
#endif
}
// Writes the centre clamped into the box and returns 1 when the squared distance from it is
// <= r2 (a squared radius).
int32_t bz_Box_SphereOverlap(const bzV3 *centre, const bzBox *box, bzV3 *out, float r2);
// The same with a radius.
int32_t bz_Box_SphereOverlapRadius(const bzV3 *centre, const bzBox *box, bzV3 *out, float r);
// 1 when part of the box is on or behind the plane (the lowest corner has n.p - d <= 0).
int32_t bz_Box_NotInFrontOfPlane(const bzBox *box, const bzPlane *plane);
// bz_Box_NotInFrontOfPlane with the plane first.
int32_t bz_Box_BehindPlane(const bzPlane *plane, const bzBox *box);
// 1 when the lowest corner is <= 0 and the highest >= 0 against the plane.
int32_t bz_Box_StraddlesPlane(const bzBox *box, const bzPlane *plane);
// Axis-aligned box enclosing the box placed by M.
void bz_Box_TransformInto(const bzBox *box, const bzM34 *m, bzBox *out);
void bz_Box_Transform(bzBox *box, const bzM34 *m);
// 1 when the box placed by M overlaps the axis-aligned box (separating axes).
int32_t bz_Box_OrientedOverlap(const bzM34 *m, const bzBox *placed, const bzBox *box);
// Two boxes each placed by an optional matrix.
int32_t bz_Box_OverlapPlaced(const bzBox *a, const bzM34 *ma, const bzBox *b, const bzM34 *mb);

// ---------------------------------------------------------------------------------------------
// Rays and segments

void bz_Ray_Copy(const bzRay *ray, bzRay *out);
// Into the local frame of an orthonormal M.
void bz_Ray_ToLocal(const bzM34 *m, const bzRay *ray, bzRay *out);
// Origin o M including row3, delta rotated by the rows, flag copied.
void bz_Ray_Transform(const bzM34 *m, const bzRay *ray, bzRay *out);
void bz_Ray_TransformInPlace(const bzM34 *m, bzRay *ray);
// The face hit (a bzBoxFace code), with t, the point and the outward normal when wanted.
bzBoxFace bz_Ray_BoxIntersect(const bzRay *ray, const bzBox *box, float *tOut, bzV3 *pointOut,
                              bzV3 *normalOut);
// The face code of the segment from a to b.
bzBoxFace bz_Segment_BoxIntersect(const bzV3 *a, const bzV3 *b, const bzBox *box);
// The same for a box placed by M (null M: axis-aligned).
bzBoxFace bz_Segment_BoxIntersectPlaced(const bzV3 *a, const bzV3 *b, const bzBox *box,
                                        const bzM34 *m);
// 1 when the ray along delta hits; else the face code of the ray along -delta.
int32_t bz_Line_BoxIntersect(const bzV3 *origin, const bzV3 *delta, const bzBox *box,
                             bzV3 *pointOut);
// 1 on a hit, with t, the point and the unit normal when wanted.
int32_t bz_Ray_SphereIntersect(const bzRay *ray, const bzV3 *centre, float radius, float *tOut,
                               bzV3 *pointOut, bzV3 *normalOut);
// A point moving from start by delta against the capsule P-Q of a radius: 1 hit, 0 miss, -1
// when the start lies inside already.
int32_t bz_Ray_CapsuleIntersect(const bzV3 *start, const bzV3 *delta, const bzV3 *p, const bzV3 *q,
                                float radius, bzV3 *pointOut, bzV3 *normalOut, float *tOut);
int32_t bz_Segment_CapsuleIntersect(const bzV3 *a, const bzV3 *b, const bzV3 *p, const bzV3 *q,
                                    float radius, bzV3 *pointOut, bzV3 *normalOut, float *tOut);

// ---------------------------------------------------------------------------------------------
// Distances and closest points

// Squared distance from p to the segment a-b, with the closest point and its parameter.
float bz_PointSegmentDistance(const bzV3 *p, const bzV3 *a, const bzV3 *b, bzV3 *pointOut,
                              float *tOut);
// Distance from p to the segment a-b, with the closest point.
float bz_Segment_ClosestPoint(const bzV3 *a, const bzV3 *b, const bzV3 *p, bzV3 *pointOut);
// 1 when the sphere reaches the segment (strictly).
int32_t bz_Segment_SphereTouch(const bzV3 *a, const bzV3 *b, const bzV3 *centre, float r);
// 1 when the sphere reaches the infinite line through a along dir (strictly).
int32_t bz_Line_SphereTouch(const bzV3 *a, const bzV3 *dir, const bzV3 *centre, float r);
// Closest points of two infinite lines; returns their signed distance.
float bz_Line_LineClosest(const bzV3 *p1, const bzV3 *d1, const bzV3 *p2, const bzV3 *d2,
                          bzV3 *point1, bzV3 *point2, float *sOut, float *tOut);
// Closest points of two segments; returns their distance.
float bz_Segment_SegmentClosest(const bzV3 *a1, const bzV3 *b1, const bzV3 *a2, const bzV3 *b2,
                                bzV3 *point1, bzV3 *point2);
// Point of the triangle taken as closest to p; returns the distance.
float bz_Triangle_ClosestPoint(const bzV3 *p, const bzV3 *a, const bzV3 *b, const bzV3 *c,
                               bzV3 *out);
// Crossing-number test: 1 when p lies inside the triangle.
int32_t bz_PointInTriangle2D(const bzV2 *p, const bzV2 *a, const bzV2 *b, const bzV2 *c);
// 1 when the two segments cross with both parameters in [0.001, 0.999].
int32_t bz_Segment2D_Cross(const bzV2 *a1, const bzV2 *b1, const bzV2 *a2, const bzV2 *b2);
// 1 when (r1 + r2)^2 > |c2 - c1|^2: touching spheres do not overlap.
int32_t bz_Spheres_Overlap(const bzV3 *c1, const bzV3 *c2, float r1, float r2);
// 1 when p lies in the truncated cone from radius r0 at origin to r1 at origin + length dir.
int32_t bz_Cone_PointInside(const bzV3 *p, const bzV3 *origin, const bzV3 *dir, float *heightOut,
                            float r0, float r1, float length);
