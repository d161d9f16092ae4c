// Rays and segments against one collision face: a bundle of parallel rays (the car's wheel
// rays), a moving point and a moving sphere (the world collision's sweeps).
//
// Fractions are in units of the given direction or displacement: the point P + t D is the hit,
// t = 0 at the start and 1 at the end; 100.0 (BZ_FRACTION_MISS) means no hit. Nothing here
// allocates.
#pragma once

#include "collision/CollisionFace.h"
#include "collision/CollisionTolerance.h"
#include "collision/FacePrimitives.h"
#include "collision/PairMaths.h"

#include <cmath>
#include <cstdint>

// A displacement whose dot product with a face's normal is below this in size runs along the
// face's plane and never hits it: 2^-22.
constexpr float BZ_SEGMENT_FACE_PARALLEL = 2.3841858e-7f;

// count rays start at starts[0 .. count - 1] and share the direction. Returns 1 when at least
// one ray hits the face, with every ray's fraction written (a hit or 100.0) and the normal
// facing the rays; else 0. A face hit from behind without being double-sided, a face flagged
// never-collide, a direction parallel to the plane (|D.n| < 2^-22), a count below 1, a
// coordinate that is not finite or a distance whose division would overflow end the call with
// 0 and the fractions unwritten.
int32_t bz_RaysIntersectFace(const bzV3 *direction, const bzCollisionFace *face, int32_t count,
                             const bzV3 *starts, bzV3 *normalOut, float *fractionsOut);

// The point start moves by displacement. Writes 100.0 to the fraction, then on a hit the
// fraction, the hit point and the normal facing the motion. The end may stop up to
// bzCollisionTolerance short of the plane and still hit (at fraction 1, the end point). The
// back side counts only for a double-sided face. The hit point is also written for a plane hit
// outside the triangle.
void bz_SegmentIntersectFace(const bzV3 *displacement, const bzCollisionFace *face,
                             const bzV3 *start, bzV3 *hitOut, bzV3 *normalOut, float *fractionOut);

// The same test for a start and displacement already known to be finite (every coordinate), so
// that a loop over faces checks them once; inline for such loops.
inline void bz_SegmentIntersectFaceFinite(const bzV3 *displacement, const bzCollisionFace *face,
                                          const bzV3 *start, bzV3 *hitOut, bzV3 *normalOut,
                                          float *fractionOut)
{
    using namespace bzPairMaths;
    *fractionOut = BZ_FRACTION_MISS;
    const bzV3 &n = face->normal;
    const float k = Dot(*displacement, n);
    if (!(std::fabs(k) >= BZ_SEGMENT_FACE_PARALLEL))
        return;
    const float dist = Dot(*start, n) - face->distance;
    const float tol = bzCollisionTolerance;
    if (k <= 0.0f)
    {
        if (!(dist >= 0.0f && dist <= tol - k))
            return;
    }
    else if (!(face->flags & BZ_FACE_DOUBLE_SIDED) || !(-dist >= 0.0f && -dist <= tol + k))
        return;
    if (bz_DivideWouldOverflow(dist, k))
        return;
    float t = -dist / k;
    if (t > 1.0f)
        t = 1.0f;
    const bzV3 hit = AddScaled(*start, *displacement, t);
    *hitOut = hit;
    if (!bz_Face_PointInside(face, &hit, BZ_FACE_INSIDE_HIGH))
        return;
    *fractionOut = t;
    *normalOut = k > 0.0f ? Scale(n, -1.0f) : n;
}

// A sphere of radius r whose centre moves from a to b: 1 with 100.0 when both centres lie in
// front of the face beyond r plus the tolerance, -1 with 100.0 when both lie behind it so,
// else 0 with the fraction of bz_SweptSphereAgainstFace (100.0 for a miss).
int32_t bz_SweptSphereIntersectFace(const bzCollisionFace *face, const bzV3 *a, const bzV3 *b,
                                    float r, float *fractionOut);
