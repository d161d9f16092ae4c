// Pair tests of the two half-space kinds against every kind, and the plane conversions they
// share. A half-space is the solid n.p <= d; a point on its plane touches it.
#include "collision/PairMaths.h"
#include "collision/PairTests.h"
#include "collision/ShapePair.h"
#include "maths/Geometry.h"

#include <cmath>

using namespace bzPairMaths;

namespace
{
const bzHalfSpaceShape *HalfSpace(const bzShape *s)
{
    return static_cast<const bzHalfSpaceShape *>(s);
}

// The plane of H (either half-space kind) brought into L.
int32_t HigherPlaneInLower(bzPlane *out)
{
    bzPlane own;
    return HalfSpaceUnitPlane(bzgPairHigher, &own) && PlaneInto(&own, bzgPairHigherToLower, out);
}

int32_t SphereTouches(const bzPlane &plane, const bzShape *shape)
{
    const auto *s = static_cast<const bzSphereShape *>(shape);
    return bz_Plane_SignedDistance(&plane, &s->centre) <= s->radius;
}

int32_t TicTacTouches(const bzPlane &plane, const bzShape *shape)
{
    const auto *t = static_cast<const bzTicTacShape *>(shape);
    return bz_Plane_SignedDistance(&plane, &t->segmentStart) <= t->radius ||
           bz_Plane_SignedDistance(&plane, &t->segmentEnd) <= t->radius;
}

// Two half-spaces are disjoint only when their normals are exactly opposite and a gap lies
// between their planes; other is the second plane brought into the frame of own.
int32_t OppositePlanesMeet(const bzPlane &own, const bzPlane &other)
{
    return bz_Plane_NotBackToBack(&own, &other);
}
} // namespace

int32_t PlaneInto(const bzPlane *plane, const bzM34 *m, bzPlane *out)
{
    const bzV3 n = Direction(m, plane->n);
    const float length = std::sqrt(LengthSq(n));
    if (!(length > 0.0f) || !std::isfinite(length))
        return 0;
    const bzV3 p = AddScaled(m->row[3], n, plane->d);
    out->n = Scale(n, 1.0f / length);
    out->d = Dot(out->n, p);
    return 1;
}

int32_t AlignedHalfSpacePlaneInto(const bzShape *alignedHalfSpace, const bzM34 *m, bzPlane *out)
{
    bzPlane own;
    if (!bz_AlignedHalfSpace_Plane(HalfSpace(alignedHalfSpace), &own))
        return 0;
    return PlaneInto(&own, m, out);
}

int32_t PolyhedronTouchesHalfSpace(const bzShape *shape, const bzPlane *plane)
{
    const bzHull *hull = bz_Shape_Hull(shape);
    if (!hull || hull->vertexCount > BZ_SHAPE_MAX_VERTICES)
        return 0;
    for (int32_t i = 0; i < hull->vertexCount; i++)
        if (bz_Plane_SignedDistance(plane, &hull->vertices[i]) <= 0.0f)
            return 1;
    return 0;
}

int32_t IntersectAlignedHalfSpaceAlignedCuboid()
{
    const bzHalfSpaceShape *h = HalfSpace(bzgPairHigher);
    if (h->direction >= BZ_DIRECTION_COUNT)
        return 0;
    const int32_t k = static_cast<int32_t>(h->direction / 2);
    const bool minus = (h->direction & 1) != 0;
    const bzBox &box = static_cast<const bzBoundedShape *>(bzgPairLower)->bounds;
    const bzM34 *m = bzgPairLowerToHigher;
    // Coordinate k of the box corner that goes deepest into the half-space.
    float depth = Point(m, box.min).v[k];
    for (int32_t i = 0; i < 3; i++)
    {
        const float c = m->row[i].v[k];
        const float step = (box.max.v[i] - box.min.v[i]) * c;
        if (minus ? c > 0.0f : c < 0.0f)
            depth += step;
    }
    return minus ? -depth < h->distance : depth < h->distance;
}

int32_t IntersectAlignedHalfSpacePolyhedron()
{
    bzPlane plane;
    return HigherPlaneInLower(&plane) && PolyhedronTouchesHalfSpace(bzgPairLower, &plane);
}

int32_t IntersectAlignedHalfSpaceCuboid()
{
    return IntersectAlignedHalfSpacePolyhedron();
}

int32_t IntersectAlignedHalfSpaceSphere()
{
    bzPlane plane;
    return HigherPlaneInLower(&plane) && SphereTouches(plane, bzgPairLower);
}

int32_t IntersectAlignedHalfSpaceTicTac()
{
    bzPlane plane;
    return HigherPlaneInLower(&plane) && TicTacTouches(plane, bzgPairLower);
}

int32_t IntersectAlignedHalfSpaces()
{
    const bzHalfSpaceShape *l = HalfSpace(bzgPairLower);
    bzPlane plane;
    if (l->direction >= BZ_DIRECTION_COUNT || !HigherPlaneInLower(&plane))
        return 0;
    const int32_t k = static_cast<int32_t>(l->direction / 2);
    const bool minus = (l->direction & 1) != 0;
    const bool onAxis = plane.n.v[(k + 1) % 3] == 0.0f && plane.n.v[(k + 2) % 3] == 0.0f;
    const bool opposite = minus ? plane.n.v[k] > 0.0f : plane.n.v[k] <= 0.0f;
    if (onAxis && opposite && -l->distance > plane.d)
        return 0;
    return 1;
}

int32_t IntersectHalfSpaceAlignedCuboid()
{
    bzPlane plane;
    return HigherPlaneInLower(&plane) &&
           bz_Box_BehindPlane(&plane, &static_cast<const bzBoundedShape *>(bzgPairLower)->bounds);
}

int32_t IntersectHalfSpacePolyhedron()
{
    return IntersectAlignedHalfSpacePolyhedron();
}

int32_t IntersectHalfSpaceCuboid()
{
    return IntersectAlignedHalfSpacePolyhedron();
}

int32_t IntersectHalfSpaceSphere()
{
    return IntersectAlignedHalfSpaceSphere();
}

int32_t IntersectHalfSpaceTicTac()
{
    return IntersectAlignedHalfSpaceTicTac();
}

// The lower half-space's plane is brought into the higher one's frame.
int32_t IntersectHalfSpaceAlignedHalfSpace()
{
    bzPlane own, lowerOwn, lowerInHigher;
    if (!HalfSpaceUnitPlane(bzgPairHigher, &own) || !HalfSpaceUnitPlane(bzgPairLower, &lowerOwn) ||
        !PlaneInto(&lowerOwn, bzgPairLowerToHigher, &lowerInHigher))
        return 0;
    return OppositePlanesMeet(own, lowerInHigher);
}

int32_t IntersectHalfSpaces()
{
    return IntersectHalfSpaceAlignedHalfSpace();
}

int32_t ShapeTouchesHalfSpace(const bzShape *shape, const bzPlane *plane)
{
    if (!shape || !plane)
        return 0;
    switch (shape->kind)
    {
    case BZ_SHAPE_ALIGNED_CUBOID:
        return bz_Box_BehindPlane(plane, &static_cast<const bzBoundedShape *>(shape)->bounds);
    case BZ_SHAPE_POLYHEDRON:
    case BZ_SHAPE_WIRE_FRAME:
    case BZ_SHAPE_POLYGON:
    case BZ_SHAPE_CUBOID: return PolyhedronTouchesHalfSpace(shape, plane);
    case BZ_SHAPE_SPHERE: return SphereTouches(*plane, shape);
    case BZ_SHAPE_TIC_TAC: return TicTacTouches(*plane, shape);
    case BZ_SHAPE_ALIGNED_HALF_SPACE:
    case BZ_SHAPE_HALF_SPACE:
    {
        bzPlane own;
        return HalfSpaceUnitPlane(shape, &own) && OppositePlanesMeet(own, *plane);
    }
    default: return 0;
    }
}

int32_t ShapeStraddlesPlane(const bzShape *shape, const bzPlane *plane)
{
    if (!shape || !plane)
        return 0;
    switch (shape->kind)
    {
    case BZ_SHAPE_ALIGNED_CUBOID:
        return bz_Box_StraddlesPlane(&static_cast<const bzBoundedShape *>(shape)->bounds, plane);
    case BZ_SHAPE_POLYHEDRON:
    case BZ_SHAPE_WIRE_FRAME:
    case BZ_SHAPE_POLYGON:
    case BZ_SHAPE_CUBOID:
    {
        const bzHull *hull = bz_Shape_Hull(shape);
        if (hull->vertexCount <= 0 || hull->vertexCount > BZ_SHAPE_MAX_VERTICES)
            return 0;
        float lo = Dot(plane->n, hull->vertices[0]), hi = lo;
        for (int32_t i = 1; i < hull->vertexCount; i++)
        {
            const float v = Dot(plane->n, hull->vertices[i]);
            lo = v < lo ? v : lo;
            hi = v > hi ? v : hi;
        }
        return lo <= plane->d && hi >= plane->d;
    }
    case BZ_SHAPE_SPHERE:
    {
        const auto *s = static_cast<const bzSphereShape *>(shape);
        return std::fabs(bz_Plane_SignedDistance(plane, &s->centre)) <= s->radius;
    }
    case BZ_SHAPE_TIC_TAC:
    {
        const auto *t = static_cast<const bzTicTacShape *>(shape);
        const float e1 = bz_Plane_SignedDistance(plane, &t->segmentStart);
        const float e2 = bz_Plane_SignedDistance(plane, &t->segmentEnd);
        return (e1 < e2 ? e1 : e2) - t->radius <= 0.0f && (e1 > e2 ? e1 : e2) + t->radius >= 0.0f;
    }
    case BZ_SHAPE_ALIGNED_HALF_SPACE:
    case BZ_SHAPE_HALF_SPACE:
    {
        bzPlane own;
        if (!HalfSpaceUnitPlane(shape, &own))
            return 0;
        const bzV3 c = Cross(own.n, plane->n);
        return c.x != 0.0f || c.y != 0.0f || c.z != 0.0f;
    }
    default: return 0;
    }
}

int32_t bz_Form_TouchesHalfSpace(const bzForm *form, const bzPlane *plane)
{
    if (!form)
        return 0;
    for (const bzShape *s = form->firstShape; s; s = s->next)
        if (ShapeTouchesHalfSpace(s, plane))
            return 1;
    return 0;
}

int32_t bz_Form_StraddlesPlane(const bzForm *form, const bzPlane *plane)
{
    if (!form)
        return 0;
    for (const bzShape *s = form->firstShape; s; s = s->next)
        if (ShapeStraddlesPlane(s, plane))
            return 1;
    return 0;
}
