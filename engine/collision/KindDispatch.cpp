// Point and segment tests by shape kind, and a sphere swept against an edge.
#include "collision/KindDispatch.h"

#include "collision/CollisionContact.h"
#include "collision/CollisionTolerance.h"
#include "collision/HullPrimitives.h"
#include "collision/PairMaths.h"
#include "collision/PointPrimitives.h"
#include "collision/SegmentTests.h"
#include "collision/ShapeRay.h"

#include <cmath>

using namespace bzPairMaths;

namespace
{
constexpr float kZeroSq = 1.1920929e-7f;
constexpr float kMiss = 100.0f;

int32_t Unsupported()
{
    bz_PhysContacts_ReportError(BZ_PHYS_ERROR_UNSUPPORTED_KIND, "");
    return 0;
}

// The part of v across the edge direction s (squared length ss).
bzV3 Across(const bzV3 &v, const bzV3 &s, float ss)
{
    return AddScaled(v, s, -Dot(v, s) / ss);
}
} // namespace

int32_t bz_PointAgainstShape_ByKind(const bzShape *shape, const bzV3 *start, const bzV3 *end,
                                    float *fractionOut, bzV3 *pointOut, bzV3 *normalOut,
                                    float *markOut)
{
    switch (shape->kind)
    {
    case BZ_SHAPE_ALIGNED_CUBOID:
    case BZ_SHAPE_CRUSHABLE_CUBOID:
        return bz_PointOnBoxNormal(start, end, bz_Shape_Bounds(shape), fractionOut, pointOut,
                                   normalOut, markOut);
    case BZ_SHAPE_POLYHEDRON:
    case BZ_SHAPE_POLYGON:
    {
        const bzV3 delta = Sub(*end, *start);
        return bz_PointInHullNormal(start, &delta, bz_Shape_Hull(shape), fractionOut, pointOut,
                                    normalOut, markOut);
    }
    case BZ_SHAPE_WIRE_FRAME: return 0;
    case BZ_SHAPE_SPHERE:
        return bz_PointNearSphereShell(start, end, static_cast<const bzSphereShape *>(shape),
                                       fractionOut, pointOut, normalOut, markOut);
    default: return Unsupported();
    }
}

int32_t bz_SegmentEntersShape_ByKind(const bzV3 *start, const bzV3 *end, const bzShape *shape,
                                     bzV3 *hitOut, float *tOut, bzV3 *normalOut)
{
    switch (shape->kind)
    {
    case BZ_SHAPE_ALIGNED_CUBOID:
    case BZ_SHAPE_CRUSHABLE_CUBOID:
    {
        const int32_t code =
            bz_Segment_AlignedBox(start, end, bz_Shape_Bounds(shape), hitOut, tOut);
        if (code > 0 && normalOut)
        {
            *normalOut = V(0, 0, 0);
            normalOut->v[(code - 1) & 3] = (code & 4) ? 1.0f : -1.0f;
        }
        return code;
    }
    case BZ_SHAPE_POLYHEDRON:
    case BZ_SHAPE_POLYGON:
    {
        const bzHull *hull = bz_Shape_Hull(shape);
        const int32_t code = bz_Segment_Hull(start, end, hull, 0.0f, hitOut, tOut);
        const int32_t face = (code & 0x1FF) - 1;
        if (code > 0 && normalOut && face < hull->faceCount)
            *normalOut = Scale(hull->planes[face].n, -1.0f);
        return code;
    }
    case BZ_SHAPE_WIRE_FRAME: return 0;
    case BZ_SHAPE_SPHERE:
        return bz_Segment_Sphere(start, end, static_cast<const bzSphereShape *>(shape), tOut,
                                 hitOut, normalOut);
    case BZ_SHAPE_ROUNDED_POLYHEDRON:
    {
        const bzRay ray = {*start, Sub(*end, *start), 0};
        return bz_Shape_RayIntersect(&ray, shape, tOut, hitOut, normalOut);
    }
    default: return Unsupported();
    }
}

void bz_SweptPointEdgeRadius(const bzV3 *a, const bzV3 *b, const bzV3 *s0, const bzV3 *s1,
                             const bzSphereShape *sphere, float *timeOut, bzV3 *pointOut,
                             bzV3 *normalOut, int8_t markA, int8_t markB)
{
    *timeOut = kMiss;
    const bzV3 s = Sub(*b, *a), d = Sub(*s1, *s0), w = Sub(*a, *s0);
    const float ss = LengthSq(s);
    if (!(ss >= kZeroSq))
        return;
    const float r = sphere->radius, r2 = sphere->radiusSquared;
    const bzV3 dAcross = Across(d, s, ss), wAcross = Across(w, s, ss);
    const float dd = LengthSq(dAcross);
    if (dd >= kZeroSq)
    {
        const float u = Dot(wAcross, dAcross) / dd;
        const float m = LengthSq(wAcross) - u * u * dd;
        if (m > r2 + 2.0f * bzCollisionTolerance * r)
            return;
        if (m <= r2)
        {
            const float t = u - std::sqrt((r2 - m) / dd);
            const bzV3 centre = AddScaled(*s0, d, t);
            const float along = Dot(Sub(centre, *a), s) / ss;
            if (along < 0.0f || along > 1.0f)
            {
                const bool atStart = along < 0.0f;
                if ((atStart ? markA : markB) >= 0)
                {
                    float fraction = kMiss;
                    if (bz_SweptSphereAgainstPoint(atStart ? a : b, s0, &d, r2, &fraction, pointOut,
                                                   normalOut) &&
                        fraction < 2.0f)
                    {
                        *timeOut = fraction;
                        return;
                    }
                }
            }
            else if (t >= 0.0f && t <= 1.0f)
            {
                const bzV3 onEdge = AddScaled(*a, s, along);
                const bzV3 toEdge = Sub(onEdge, centre);
                const float length = std::sqrt(LengthSq(toEdge));
                *pointOut = onEdge;
                *normalOut = length > 0.0f ? Scale(toEdge, 1.0f / length) : toEdge;
                *timeOut = t;
                return;
            }
        }
    }
    // A resting touch of the centre at the end of the step.
    bzV3 closest;
    float mark = kMiss;
    bz_SegmentClosestToSphere(s1, a, b, &s, ss, r, &closest, normalOut, &mark);
    if (mark == 1.0f)
    {
        *pointOut = closest;
        *timeOut = mark;
    }
}
