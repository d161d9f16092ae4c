// Segment and ray queries on shapes and forms.
#include "collision/ShapeRay.h"

#include "collision/PairMaths.h"
#include "collision/PairTests.h"
#include "collision/ShapePair.h"
#include "maths/Geometry.h"
#include "maths/Matrix.h"

#include <cmath>

using namespace bzPairMaths;

namespace
{
constexpr float kFloatMax = 3.4028235e38f;
// Below this squared length a segment has no direction to meet a sphere with.
constexpr float kShortSegment = 1e-6f;

void Put(float *out, float value)
{
    if (out)
        *out = value;
}
void Put(bzV3 *out, const bzV3 &value)
{
    if (out)
        *out = value;
}

int32_t RayHalfSpace(const bzRay *ray, const bzPlane &plane, float *tOut, bzV3 *pointOut,
                     bzV3 *normalOut)
{
    const float start = Dot(plane.n, ray->origin) - plane.d;
    if (start < 0.0f)
    {
        Put(pointOut, ray->origin);
        Put(normalOut, V(0.0f, 0.0f, 0.0f));
        return -1;
    }
    const float end = start + Dot(plane.n, ray->delta);
    if (end >= 0.0f)
        return 0;
    const float t = start / (start - end);
    Put(tOut, t);
    Put(pointOut, AddScaled(ray->origin, ray->delta, t));
    Put(normalOut, plane.n);
    return 1;
}

int32_t RaySphere(const bzRay *ray, const bzSphereShape *s, float *tOut, bzV3 *pointOut,
                  bzV3 *normalOut)
{
    const bzV3 v = Sub(s->centre, ray->origin);
    const float r2 = s->radiusSquared;
    const float vLengthSq = LengthSq(v);
    if (vLengthSq < r2)
        return -1;
    const float length = LengthSq(ray->delta);
    if (length < kShortSegment)
        return 0;
    const float proj = Dot(v, ray->delta) / length;
    const float perp2 = vLengthSq - proj * proj * length;
    if (perp2 > r2)
        return 0;
    const float t = proj - std::sqrt((r2 - perp2) / length);
    Put(tOut, t);
    if (t < 0.0f || t > 1.0f)
        return 0;
    const bzV3 point = AddScaled(ray->origin, ray->delta, t);
    Put(pointOut, point);
    if (normalOut)
    {
        const bzV3 out = Sub(point, s->centre);
        const float outLength = std::sqrt(LengthSq(out));
        *normalOut = outLength > 0.0f ? Scale(out, 1.0f / outLength) : V(0.0f, 0.0f, 1.0f);
    }
    return 1;
}

int32_t RayCuboid(const bzRay *ray, const bzCuboidShape *c, float *tOut, bzV3 *pointOut,
                  bzV3 *normalOut)
{
    bzM34 inverse;
    bz_M34_Invert(&c->placement, &inverse);
    bzRay local;
    local.origin = Point(&inverse, ray->origin);
    local.delta = Direction(&inverse, ray->delta);
    local.flag = 0;
    const bzBox box = {c->localMin, c->localMax};
    bzV3 localPoint;
    const int32_t code = bz_Ray_BoxIntersect(&local, &box, tOut, &localPoint, nullptr);
    if (code == BZ_BOX_FACE_NONE)
        return 0;
    if (normalOut)
    {
        if (code <= BZ_BOX_FACE_MAX_Z)
            *normalOut = c->placement.row[code - BZ_BOX_FACE_MAX_X];
        else if (code <= BZ_BOX_FACE_MIN_Z)
            *normalOut = Scale(c->placement.row[code - BZ_BOX_FACE_MIN_X], -1.0f);
        else
            *normalOut = Scale(c->placement.row[2], -1.0f);
    }
    Put(pointOut, Point(&c->placement, localPoint));
    return code;
}

// The hit code of a box test: the start inside a box is the common -1.
int32_t BoxCode(int32_t code)
{
    return code == BZ_BOX_FACE_INSIDE ? -1 : code;
}

// Whether q lies on or inside every face plane but the one numbered skip.
bool WithinOtherFaces(const bzV3 &q, const bzPlane *planes, int32_t count, int32_t skip)
{
    for (int32_t k = 0; k < count; k++)
        if (k != skip && Dot(planes[k].n, q) > planes[k].d)
            return false;
    return true;
}

// The rounded-edge step: the segment against the capsules of radius r round the hull's edges.
int32_t RoundedEdges(const bzV3 *origin, const bzV3 *delta, const bzHull *hull, float r,
                     float *tOut, bzV3 *pointOut, bzV3 *normalOut)
{
    float best = 2.0f;
    bool hit = false;
    bzV3 bestPoint = *origin, bestNormal = V(0.0f, 0.0f, 0.0f);
    for (int32_t e = 0; e < hull->edgeCount; e++)
    {
        const bzHullEdge &edge = hull->edges[e];
        if (edge.a >= hull->vertexCount || edge.b >= hull->vertexCount)
            continue;
        float t = 2.0f;
        bzV3 point, normal;
        const int32_t code =
            bz_Ray_CapsuleIntersect(origin, delta, &hull->vertices[edge.a], &hull->vertices[edge.b],
                                    r, &point, &normal, &t);
        if (code < 0)
        {
            Put(tOut, 0.0f);
            Put(pointOut, *origin);
            Put(normalOut, V(0.0f, 0.0f, 0.0f));
            return -1;
        }
        if (code > 0 && t < best)
        {
            best = t;
            bestPoint = point;
            bestNormal = normal;
            hit = true;
        }
    }
    if (!hit)
        return 0;
    Put(tOut, best);
    Put(pointOut, bestPoint);
    Put(normalOut, bestNormal);
    return 1;
}
} // namespace

int32_t RayConvexPolyhedron(const bzV3 *origin, const bzV3 *delta, const bzPlane *planes,
                            int32_t faceCount, float margin, float *tOut, bzV3 *pointOut)
{
    if (faceCount > BZ_SHAPE_MAX_FACES)
        return 0;
    bool inside = true;
    float best = 0.0f;
    int32_t bestFace = -1;
    for (int32_t i = 0; i < faceCount; i++)
    {
        const float den = -Dot(planes[i].n, *delta);
        const float num = planes[i].d + margin - Dot(planes[i].n, *origin);
        if (num < 0.0f)
            inside = false;
        if (den == 0.0f)
        {
            if (num < 0.0f)
                return 0;
            continue;
        }
        const float t = -num / den;
        if (den > 0.0f && t >= best)
        {
            if (t > 1.0f)
                return 0;
            best = t;
            bestFace = i;
        }
    }
    if (inside)
    {
        Put(tOut, 0.0f);
        return -1;
    }
    if (bestFace < 0)
        return 0;
    for (int32_t i = 0; i < faceCount; i++)
    {
        const float den = -Dot(planes[i].n, *delta);
        if (den < 0.0f)
        {
            const float num = planes[i].d + margin - Dot(planes[i].n, *origin);
            if (-num / den < best)
                return 0;
        }
    }
    Put(pointOut, AddScaled(*origin, *delta, best));
    Put(tOut, best);
    return bestFace + 1;
}

int32_t SegmentRoundedPolyhedron(const bzV3 *origin, const bzV3 *delta, const bzPlane *planes,
                                 int32_t faceCount, const bzHull *hull, float r, float *tOut,
                                 bzV3 *pointOut, bzV3 *normalOut)
{
    if (faceCount > BZ_SHAPE_MAX_FACES || !HullWithinLimits(hull))
        return 0;
    if (!(r > 0.0f))
        r = 0.0f;
    bool inside = true, shell = true;
    float best = 0.0f, worstOut = 0.0f;
    int32_t enter = -1, worst = -1;
    for (int32_t i = 0; i < faceCount; i++)
    {
        const float den = -Dot(planes[i].n, *delta);
        const float out = Dot(planes[i].n, *origin) - planes[i].d;
        if (out > 0.0f)
        {
            inside = false;
            if (worst < 0 || out > worstOut)
            {
                worst = i;
                worstOut = out;
            }
            if (out > r)
                shell = false;
        }
        const float num = planes[i].d + r - Dot(planes[i].n, *origin);
        if (den == 0.0f)
        {
            if (num < 0.0f)
                return 0;
            continue;
        }
        const float t = (-1.0f / den) * num;
        if (den > 0.0f && t >= best)
        {
            if (t > 1.0f)
                return 0;
            best = t;
            enter = i;
        }
    }
    if (inside)
    {
        Put(tOut, 0.0f);
        Put(pointOut, *origin);
        Put(normalOut, V(0.0f, 0.0f, 0.0f));
        return -1;
    }
    if (enter < 0)
    {
        if (!shell)
            return 0;
        const bzV3 q = AddScaled(*origin, planes[worst].n, -worstOut);
        if (WithinOtherFaces(q, planes, faceCount, worst))
        {
            Put(tOut, 0.0f);
            Put(pointOut, *origin);
            Put(normalOut, V(0.0f, 0.0f, 0.0f));
            return -1;
        }
        return RoundedEdges(origin, delta, hull, r, tOut, pointOut, normalOut);
    }
    for (int32_t i = 0; i < faceCount; i++)
    {
        const float den = -Dot(planes[i].n, *delta);
        if (den < 0.0f)
        {
            const float num = planes[i].d + r - Dot(planes[i].n, *origin);
            if ((-1.0f / den) * num < best)
                return 0;
        }
    }
    const bzV3 point = AddScaled(*origin, *delta, best);
    const bzV3 q = AddScaled(point, planes[enter].n, -r);
    if (WithinOtherFaces(q, planes, faceCount, enter))
    {
        Put(tOut, best);
        Put(pointOut, point);
        Put(normalOut, planes[enter].n);
        return enter + 1;
    }
    return RoundedEdges(origin, delta, hull, r, tOut, pointOut, normalOut);
}

int32_t SegmentRoundedBox(const bzV3 *origin, const bzV3 *delta, const bzBox *box, float r)
{
    bzPlane planes[6];
    for (int32_t j = 0; j < 6; j++)
    {
        const int32_t axis = j / 2;
        const bool maximum = (j & 1) == 0;
        planes[j].n = V(0.0f, 0.0f, 0.0f);
        planes[j].n.v[axis] = maximum ? 1.0f : -1.0f;
        planes[j].d = maximum ? box->max.v[axis] : -box->min.v[axis];
    }
    bzV3 corners[8];
    for (int32_t i = 0; i < 8; i++)
        bz_Box_Corner(box, i, &corners[i]);
    bzHull hull = {};
    hull.vertexCount = hull.vertexRoom = 8;
    hull.edgeCount = hull.edgeRoom = BZ_CUBOID_EDGE_COUNT;
    hull.vertices = corners;
    hull.edges = const_cast<bzHullEdge *>(bzgCuboidEdges);
    return SegmentRoundedPolyhedron(origin, delta, planes, 6, &hull, r, nullptr, nullptr, nullptr);
}

int32_t bz_Shape_RayIntersect(const bzRay *ray, const bzShape *shape, float *tOut, bzV3 *pointOut,
                              bzV3 *normalOut)
{
    if (!ray || !shape)
        return 0;
    int32_t code = 0;
    switch (shape->kind)
    {
    case BZ_SHAPE_ALIGNED_CUBOID:
        code = BoxCode(bz_Ray_BoxIntersect(ray, &static_cast<const bzBoundedShape *>(shape)->bounds,
                                           tOut, pointOut, normalOut));
        break;
    case BZ_SHAPE_POLYHEDRON:
    case BZ_SHAPE_POLYGON:
    {
        const bzHull &hull = static_cast<const bzPolyShape *>(shape)->hull;
        code = RayConvexPolyhedron(&ray->origin, &ray->delta, hull.planes, hull.faceCount, 0.0f,
                                   tOut, pointOut);
        if (code > 0 && normalOut)
            *normalOut = hull.planes[code - 1].n;
        break;
    }
    case BZ_SHAPE_SPHERE:
        code = RaySphere(ray, static_cast<const bzSphereShape *>(shape), tOut, pointOut, normalOut);
        break;
    case BZ_SHAPE_TIC_TAC:
    {
        const auto *t = static_cast<const bzTicTacShape *>(shape);
        code = bz_Ray_CapsuleIntersect(&ray->origin, &ray->delta, &t->segmentStart, &t->segmentEnd,
                                       t->radius, pointOut, normalOut, tOut);
        break;
    }
    case BZ_SHAPE_CUBOID:
        code = BoxCode(
            RayCuboid(ray, static_cast<const bzCuboidShape *>(shape), tOut, pointOut, normalOut));
        break;
    case BZ_SHAPE_ALIGNED_HALF_SPACE:
    case BZ_SHAPE_HALF_SPACE:
    {
        bzPlane plane;
        if (HalfSpaceUnitPlane(shape, &plane))
            code = RayHalfSpace(ray, plane, tOut, pointOut, normalOut);
        break;
    }
    case BZ_SHAPE_ROUNDED_POLYHEDRON:
    {
        const auto *r = static_cast<const bzPolyhedronShape *>(shape);
        code =
            SegmentRoundedPolyhedron(&ray->origin, &ray->delta, r->hull.planes, r->hull.faceCount,
                                     &r->hull, r->roundingRadius, tOut, pointOut, normalOut);
        break;
    }
    default: break; // WireFrame, CrushableCuboid and unknown kinds are never hit
    }
    if (code < 0)
        Put(tOut, 0.0f);
    return code;
}

int32_t bz_Form_RayIntersect(const bzForm *form, const bzRay *ray, float *tOut, bzV3 *pointOut,
                             bzV3 *normalOut, const bzShape **shapeOut)
{
    if (!form || !ray)
        return 0;
    float best = kFloatMax;
    int32_t result = 0;
    for (const bzShape *s = form->firstShape; s; s = s->next)
    {
        float t = kFloatMax;
        bzV3 point = ray->origin, normal = V(0.0f, 0.0f, 0.0f);
        const int32_t code = bz_Shape_RayIntersect(ray, s, &t, &point, &normal);
        if (code != 0 && t < best)
        {
            best = t;
            result = 1;
            Put(tOut, t);
            Put(pointOut, point);
            Put(normalOut, normal);
            if (shapeOut)
                *shapeOut = s;
        }
    }
    return result;
}

int32_t bz_Shape_SegmentIntersect(const bzV3 *start, const bzV3 *end, const bzShape *shape)
{
    if (!start || !end)
        return 0;
    const bzRay ray = {*start, Sub(*end, *start), 0};
    return bz_Shape_RayIntersect(&ray, shape, nullptr, nullptr, nullptr);
}

int32_t bz_Form_SegmentHit(const bzV3 *start, const bzV3 *end, const bzForm *form)
{
    if (!start || !end || !form)
        return 0;
    const bzRay ray = {*start, Sub(*end, *start), 0};
    float best = kFloatMax;
    int32_t result = 0;
    for (const bzShape *s = form->firstShape; s; s = s->next)
    {
        float t = kFloatMax;
        if (bz_Shape_RayIntersect(&ray, s, &t, nullptr, nullptr) != 0 && t < best)
        {
            best = t;
            result = 1;
        }
    }
    return result;
}

int32_t FormSegmentHit(const bzV3 *start, const bzV3 *end, const bzForm *form)
{
    return bz_Form_SegmentHit(start, end, form);
}

int32_t ShapeLineHit(const bzShape *shape, const bzV3 *point, const bzV3 *direction)
{
    if (!shape || !point || !direction)
        return 0;
    if (shape->kind == BZ_SHAPE_ALIGNED_HALF_SPACE || shape->kind == BZ_SHAPE_HALF_SPACE)
    {
        bzPlane plane;
        return HalfSpaceUnitPlane(shape, &plane) &&
               bz_LinePlaneIntersect(&plane, point, direction, nullptr);
    }
    const bzBox *box = bz_Shape_Bounds(shape);
    if (!box)
        return 0;
    // The dominant axis; on equal magnitudes x gives way to y and y to z.
    int32_t k = 0;
    for (int32_t i = 1; i < 3; i++)
        if (std::fabs(direction->v[i]) >= std::fabs(direction->v[k]))
            k = i;
    const float along = direction->v[k];
    if (along == 0.0f)
        return 0;
    bzRay ray;
    ray.origin = AddScaled(*point, *direction, (box->min.v[k] - point->v[k]) / along);
    ray.delta = Scale(*direction, (box->max.v[k] - box->min.v[k]) / along);
    ray.flag = 0;
    return bz_Shape_RayIntersect(&ray, shape, nullptr, nullptr, nullptr) != 0;
}

int32_t bz_Form_LineHit(const bzForm *form, const bzV3 *point, const bzV3 *direction)
{
    if (!form)
        return 0;
    for (const bzShape *s = form->firstShape; s; s = s->next)
        if (ShapeLineHit(s, point, direction))
            return 1;
    return 0;
}
