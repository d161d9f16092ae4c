// Pair tests among aligned cuboids, spheres, tic-tacs (capsules) and cuboids, and the distance
// operations that the capsule and polyhedron tests share.
#include "collision/PairMaths.h"
#include "collision/PairTests.h"
#include "collision/ShapePair.h"
#include "maths/Geometry.h"
#include "maths/Matrix.h"
#include "maths/Vector.h"

using namespace bzPairMaths;

namespace
{
// Below these squared lengths two directions count as parallel.
constexpr float kParallelCapsules = 1.4210855e-14f;
constexpr float kParallelEdge = 1.1920929e-07f;

const bzBoundedShape *Bounded(const bzShape *s)
{
    return static_cast<const bzBoundedShape *>(s);
}
const bzSphereShape *Sphere(const bzShape *s)
{
    return static_cast<const bzSphereShape *>(s);
}
const bzTicTacShape *TicTac(const bzShape *s)
{
    return static_cast<const bzTicTacShape *>(s);
}
const bzCuboidShape *Cuboid(const bzShape *s)
{
    return static_cast<const bzCuboidShape *>(s);
}

bzBox LocalBox(const bzCuboidShape *c)
{
    return bzBox{c->localMin, c->localMax};
}

// The squared distance from the centre to the box below r2 (strictly).
int32_t BoxSphere(const bzBox *box, const bzV3 &centre, float r2)
{
    bzV3 clamped;
    bz_Box_ClampPoint(&centre, box, &clamped);
    return LengthSq(Sub(clamped, centre)) < r2;
}

// Squared distance of x from the carrying line of s + t dir (|dir| > 0).
float LineDistanceSq(const bzV3 &x, const bzV3 &s, const bzV3 &dir, float dirLengthSq)
{
    const bzV3 w = Sub(x, s);
    const float along = Dot(w, dir);
    return LengthSq(w) - along * along / dirLengthSq;
}

// Capsule a-b of radius r, both ends in the box's frame, against the box. edgeStart and
// edgeDir are the segment in the frame of the edge shape's corners.
int32_t CapsuleBox(const bzV3 &a, const bzV3 &b, float r, const bzBox *box, const bzV3 &edgeStart,
                   const bzV3 &edgeDir, const bzShape *edgeShape)
{
    const float r2 = r * r;
    if (BoxSphere(box, a, r2) || BoxSphere(box, b, r2))
        return 1;
    if (bz_Segment_BoxIntersect(&a, &b, box) != BZ_BOX_FACE_NONE)
        return 1;
    return SegmentNearEdges(&edgeStart, &edgeDir, edgeShape, r);
}
} // namespace

int32_t SpheresTouch(const bzV3 *a, const bzV3 *c, float r1, float r2)
{
    const float r = r1 + r2;
    return LengthSq(Sub(*a, *c)) <= r * r;
}

int32_t SphereSegmentTouch(const bzV3 *a, const bzV3 *dir, const bzV3 *p, float r1, float r2)
{
    const bzV3 w = Sub(*p, *a);
    const float lengthSq = LengthSq(*dir);
    const float t = lengthSq > 0.0f ? Dot(w, *dir) / lengthSq : 0.0f;
    const bzV3 perp = Sub(w, Scale(*dir, t));
    const float r = r1 + r2;
    if (r * r < LengthSq(perp))
        return 0;
    if (t < 0.0f)
        return SpheresTouch(p, a, r1, r2);
    if (t <= 1.0f)
        return 1;
    const bzV3 end = Add(*a, *dir);
    return SpheresTouch(p, &end, r1, r2);
}

int32_t CapsulesTouch(const bzV3 *a1, const bzV3 *d1, float r1, const bzV3 *a2, const bzV3 *d2,
                      float r2)
{
    const bzV3 w = Sub(*a2, *a1);
    bzV3 n = Cross(*d1, *d2);
    const bool parallel = LengthSq(n) <= kParallelCapsules;
    if (parallel)
    {
        // The part of w across the common direction (segment 2's when segment 1 is a point).
        const bzV3 *dir = LengthSq(*d1) > 0.0f ? d1 : d2;
        const float dirLengthSq = LengthSq(*dir);
        n = dirLengthSq > 0.0f ? Sub(w, Scale(*dir, Dot(w, *dir) / dirLengthSq)) : w;
    }
    const float r = r1 + r2;
    const float nLengthSq = LengthSq(n);
    if (nLengthSq > 0.0f)
    {
        const float wn = Dot(w, n);
        if (r * r < wn * wn / nLengthSq)
            return 0;
    }
    const bzV3 end1 = Add(*a1, *d1), end2 = Add(*a2, *d2);
    if (parallel)
        return SphereSegmentTouch(a1, d1, a2, r1, r2) ||
               SphereSegmentTouch(a1, d1, &end2, r1, r2) ||
               SphereSegmentTouch(a2, d2, a1, r1, r2) || SphereSegmentTouch(a2, d2, &end1, r1, r2);
    const float s = Dot(Cross(w, *d2), n) / nLengthSq;
    const float t = Dot(Cross(w, *d1), n) / nLengthSq;
    const bool sIn = s >= 0.0f && s <= 1.0f;
    const bool tIn = t >= 0.0f && t <= 1.0f;
    if (sIn && tIn)
        return 1;
    const bzV3 *near2 = t < 0.0f ? a2 : &end2;
    if (sIn)
        return SphereSegmentTouch(a1, d1, near2, r1, r2);
    const bzV3 *near1 = s < 0.0f ? a1 : &end1;
    if (tIn)
        return SphereSegmentTouch(a2, d2, near1, r1, r2);
    return SphereSegmentTouch(a2, d2, near1, r1, r2) || SphereSegmentTouch(a1, d1, near2, r1, r2);
}

int32_t SegmentNearEdges(const bzV3 *s, const bzV3 *dir, const bzShape *shape, float r)
{
    const bzHull *hull = bz_Shape_Hull(shape);
    const float dirLengthSq = LengthSq(*dir);
    if (!hull || !(dirLengthSq > 0.0f) || !HullWithinLimits(hull))
        return 0;
    float threshold = r * r;
    int32_t bestEdge = -1;
    float bestU = 0.0f;
    for (int32_t e = 0; e < hull->edgeCount; e++)
    {
        const bzHullEdge &edge = hull->edges[e];
        if (edge.a >= hull->vertexCount || edge.b >= hull->vertexCount)
            continue;
        const bzV3 p0 = hull->vertices[edge.a];
        const bzV3 along = Sub(hull->vertices[edge.b], p0);
        const bzV3 c = Cross(along, *dir);
        const bzV3 w = Sub(p0, *s);
        const float cLengthSq = LengthSq(c);
        if (cLengthSq >= kParallelEdge)
        {
            const float wc = Dot(w, c);
            const float q = wc * wc / cLengthSq;
            if (!(q < threshold))
                continue;
            const float u = Dot(Cross(*dir, w), c) / cLengthSq;
            if (u >= 0.0f && u <= 1.0f)
            {
                threshold = q;
                bestEdge = e;
                bestU = u;
                continue;
            }
            const float clamped = u < 0.0f ? 0.0f : 1.0f;
            const float d2 = LineDistanceSq(AddScaled(p0, along, clamped), *s, *dir, dirLengthSq);
            if (d2 < threshold)
            {
                threshold = d2;
                bestEdge = e;
                bestU = clamped;
            }
        }
        else
        {
            const float d2 = LineDistanceSq(p0, *s, *dir, dirLengthSq);
            if (d2 < threshold)
            {
                threshold = d2;
                bestEdge = e;
                bestU = 0.0f;
            }
        }
    }
    if (bestEdge < 0)
        return 0;
    const bzHullEdge &edge = hull->edges[bestEdge];
    const bzV3 p0 = hull->vertices[edge.a];
    const bzV3 q = AddScaled(p0, Sub(hull->vertices[edge.b], p0), bestU);
    const float at = Dot(Sub(q, *s), *dir) / dirLengthSq;
    return at >= 0.0f && at <= 1.0f;
}

int32_t SphereAlignedBoxOverlap(const bzBox *box, const bzV3 *centre, float radius)
{
    return BoxSphere(box, *centre, radius * radius);
}

int32_t IntersectAlignedCuboids()
{
    return bz_Box_OrientedOverlap(bzgPairLowerToHigher, &Bounded(bzgPairLower)->bounds,
                                  &Bounded(bzgPairHigher)->bounds);
}

int32_t IntersectCuboidAlignedCuboid()
{
    const bzCuboidShape *h = Cuboid(bzgPairHigher);
    bzM34 m;
    bz_MulM34Into(bzgPairHigherToLower, &m, &h->placement);
    const bzBox local = LocalBox(h);
    return bz_Box_OrientedOverlap(&m, &local, &Bounded(bzgPairLower)->bounds);
}

int32_t IntersectCuboids()
{
    const bzCuboidShape *h = Cuboid(bzgPairHigher);
    const bzCuboidShape *l = Cuboid(bzgPairLower);
    bzM34 lowerInHigherForm, higherInverse, m;
    bz_MulM34Into(bzgPairLowerToHigher, &lowerInHigherForm, &l->placement);
    bz_M34_Invert(&h->placement, &higherInverse);
    bz_MulM34Into(&higherInverse, &m, &lowerInHigherForm);
    const bzBox lowerBox = LocalBox(l), higherBox = LocalBox(h);
    return bz_Box_OrientedOverlap(&m, &lowerBox, &higherBox);
}

int32_t IntersectSphereAlignedCuboid()
{
    const bzSphereShape *h = Sphere(bzgPairHigher);
    return BoxSphere(&Bounded(bzgPairLower)->bounds, Point(bzgPairHigherToLower, h->centre),
                     h->radiusSquared);
}

int32_t IntersectCuboidSphere()
{
    const bzCuboidShape *h = Cuboid(bzgPairHigher);
    const bzSphereShape *l = Sphere(bzgPairLower);
    bzM34 inverse;
    bz_M34_Invert(&h->placement, &inverse);
    const bzV3 centre = Point(&inverse, Point(bzgPairLowerToHigher, l->centre));
    const bzBox local = LocalBox(h);
    return BoxSphere(&local, centre, l->radiusSquared);
}

int32_t IntersectSpheres()
{
    const bzSphereShape *h = Sphere(bzgPairHigher);
    const bzSphereShape *l = Sphere(bzgPairLower);
    const bzV3 centre = Point(bzgPairHigherToLower, h->centre);
    const float r = h->radius + l->radius;
    return LengthSq(Sub(centre, l->centre)) < r * r;
}

int32_t IntersectTicTacSphere()
{
    const bzTicTacShape *h = TicTac(bzgPairHigher);
    const bzSphereShape *l = Sphere(bzgPairLower);
    const bzV3 centre = Point(bzgPairLowerToHigher, l->centre);
    const bzV3 dir = Sub(h->segmentEnd, h->segmentStart);
    return SphereSegmentTouch(&h->segmentStart, &dir, &centre, h->radius, l->radius);
}

int32_t IntersectTicTacs()
{
    const bzTicTacShape *h = TicTac(bzgPairHigher);
    const bzTicTacShape *l = TicTac(bzgPairLower);
    const bzV3 a = Point(bzgPairHigherToLower, h->segmentStart);
    const bzV3 d = Direction(bzgPairHigherToLower, Sub(h->segmentEnd, h->segmentStart));
    const bzV3 lowerDir = Sub(l->segmentEnd, l->segmentStart);
    return CapsulesTouch(&a, &d, h->radius, &l->segmentStart, &lowerDir, l->radius);
}

int32_t IntersectTicTacAlignedCuboid()
{
    const bzTicTacShape *h = TicTac(bzgPairHigher);
    const bzV3 a = Point(bzgPairHigherToLower, h->segmentStart);
    const bzV3 b = Point(bzgPairHigherToLower, h->segmentEnd);
    return CapsuleBox(a, b, h->radius, &Bounded(bzgPairLower)->bounds, a, Sub(b, a), bzgPairLower);
}

int32_t IntersectCuboidTicTac()
{
    const bzCuboidShape *h = Cuboid(bzgPairHigher);
    const bzTicTacShape *l = TicTac(bzgPairLower);
    const bzV3 formA = Point(bzgPairLowerToHigher, l->segmentStart);
    const bzV3 formB = Point(bzgPairLowerToHigher, l->segmentEnd);
    bzM34 inverse;
    bz_M34_Invert(&h->placement, &inverse);
    const bzBox local = LocalBox(h);
    return CapsuleBox(Point(&inverse, formA), Point(&inverse, formB), l->radius, &local, formA,
                      Sub(formB, formA), bzgPairHigher);
}
