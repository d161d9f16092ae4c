// Hull primitives of the collision handlers.
#include "collision/HullPrimitives.h"

#include "collision/CollisionTolerance.h"
#include "collision/PairMaths.h"
#include "collision/PointPrimitives.h"
#include "collision/SegmentTests.h"
#include "maths/Geometry.h"

#include <cmath>

using namespace bzPairMaths;

namespace
{
constexpr float kFloatMax = 3.4028235e38f;
// A contact point is set this much of the radius short of the surface it was found on.
constexpr float kShort = 0.99999f;

bool Usable(const bzHull *hull)
{
    return hull && hull->faceCount >= 0 && hull->faceCount <= BZ_SEGMENT_HULL_MAX_FACES &&
           (hull->faceCount == 0 || hull->planes);
}

bool Finite(const bzV3 &v)
{
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

bzV3 Unit(const bzV3 &v)
{
    const float length = std::sqrt(LengthSq(v));
    return length > 0.0f ? Scale(v, 1.0f / length) : v;
}

bool InsideAll(const bzHull *hull, const bzV3 &p, float grow, int32_t except)
{
    for (int32_t i = 0; i < hull->faceCount; i++)
        if (i != except && !(Dot(hull->planes[i].n, p) - hull->planes[i].d - grow <= 0.0f))
            return false;
    return true;
}
} // namespace

int32_t bz_PointNearHullSurface(const bzV3 *point, const bzHull *hull, float margin, bzV3 *pointOut,
                                bzV3 *normalOut)
{
    if (!Usable(hull) || hull->faceCount == 0 || !Finite(*point))
        return 0;
    bzV3 sum = V(0.0f, 0.0f, 0.0f);
    int32_t outside = 0;
    int32_t nearest = 0;
    float nearestDepth = -kFloatMax;
    for (int32_t i = 0; i < hull->faceCount; i++)
    {
        const float h = Dot(hull->planes[i].n, *point) - hull->planes[i].d;
        if (h > margin)
            return 0;
        if (h > 0.0f)
        {
            sum = Add(sum, hull->planes[i].n);
            outside++;
        }
        if (h > nearestDepth)
        {
            nearestDepth = h;
            nearest = i;
        }
    }
    *pointOut = *point;
    if (outside == 0)
        *normalOut = Scale(hull->planes[nearest].n, -1.0f);
    else if (outside == 1)
        *normalOut = Scale(sum, -1.0f);
    else
        *normalOut = Scale(Unit(sum), -1.0f);
    return BZ_NEAR_SURFACE;
}

int32_t bz_PointInHullNormal(const bzV3 *start, const bzV3 *delta, const bzHull *hull,
                             float *fractionOut, bzV3 *pointOut, bzV3 *normalOut, float *markOut)
{
    if (!Usable(hull))
        return 0;
    const bzV3 end = Add(*start, *delta);
    const int32_t k = bz_Segment_Hull(start, &end, hull, 0.0f, pointOut, fractionOut);
    if (k > 0)
    {
        *normalOut = Scale(hull->planes[(k & 0x1FF) - 1].n, -1.0f);
        return k;
    }
    if (k < 0)
    {
        *normalOut = V(1.0f, 0.0f, 0.0f);
        return k;
    }
    if (!bz_PointNearHullSurface(&end, hull, bzCollisionTolerance, pointOut, normalOut))
        return 0;
    *markOut = 1.0f;
    return BZ_NEAR_SURFACE;
}

int32_t bz_SegmentAgainstRoundedHull(const bzV3 *a, const bzV3 *d, float r1, float r2,
                                     const bzHull *hull, float rounding,
                                     const uint32_t *vertexSides, int32_t edgeFlag,
                                     float *fractionOut, bzV3 *pointOut, bzV3 *normalOut)
{
    *fractionOut = 2.0f;
    if (!Usable(hull) || !Finite(*a) || !Finite(*d))
        return 0;
    const float r = r1 + r2;
    const float tol = bzCollisionTolerance;
    bool startOutside = false;
    float entering = 0.0f, leaving = kFloatMax;
    int32_t plane = -1;
    for (int32_t k = 0; k < hull->faceCount; k++)
    {
        const bzPlane &p = hull->planes[k];
        const float e = Dot(p.n, *a) - r;
        if (e > p.d)
            startOutside = true;
        const float s = Dot(*d, p.n);
        if (s == 0.0f)
        {
            // Moving along the plane: a start outside it never gets in.
            if (e > p.d)
                return 0;
            continue;
        }
        const float f = (p.d - e) / s;
        if (s < 0.0f && f >= entering)
        {
            entering = f;
            plane = k;
            if (f > 1.0f && std::fabs(p.d - (s + e)) > tol)
                return 0;
        }
        else if (s > 0.0f && f < leaving)
            leaving = f;
    }
    if (leaving < entering)
        return 0;
    bool tryEdges = !startOutside;
    if (startOutside)
    {
        if (plane < 0)
            return 0;
        const bzPlane &p = hull->planes[plane];
        bzV3 point;
        if (entering <= 1.0f)
            point = AddScaled(AddScaled(*a, *d, entering), p.n, -kShort * r);
        else
        {
            const bzV3 b = Add(*a, *d);
            point = AddScaled(b, p.n, p.d - Dot(p.n, b));
        }
        if (InsideAll(hull, point, 0.0f, plane))
        {
            *pointOut = AddScaled(point, p.n, rounding);
            *fractionOut = entering;
            *normalOut = p.n;
            return plane + 1;
        }
        if (!edgeFlag)
            return 0;
        const float s = Dot(*d, p.n);
        const float own = (p.d - Dot(p.n, *a)) / s;
        if (own < 1.0f && own < leaving)
        {
            *fractionOut = own;
            *pointOut = AddScaled(*a, *d, entering);
            *normalOut = p.n;
            return plane + 1;
        }
        tryEdges = true;
    }
    if (!tryEdges || !edgeFlag)
        return 0;
    if (hull->vertices && hull->edges)
        for (int32_t i = 0; i < hull->edgeCount; i++)
        {
            const bzHullEdge &edge = hull->edges[i];
            if (edge.a >= hull->vertexCount || edge.b >= hull->vertexCount)
                continue;
            if (vertexSides && (vertexSides[edge.a] & vertexSides[edge.b]))
                continue;
            bzV3 point, normal;
            float t;
            if (bz_Ray_CapsuleIntersect(a, d, &hull->vertices[edge.a], &hull->vertices[edge.b], r,
                                        &point, &normal, &t) == 1)
            {
                *pointOut = AddScaled(point, normal, -rounding);
                *normalOut = normal;
                *fractionOut = t;
                return BZ_ROUNDED_HULL_EDGE;
            }
        }
    return InsideAll(hull, *a, 0.0f, -1) ? BZ_ROUNDED_HULL_INSIDE : 0;
}
