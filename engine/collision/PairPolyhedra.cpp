// Pair tests of convex polyhedral shapes: polyhedra, wire frames and polygons against each
// other and against boxes, spheres and tic-tacs, and the rounded polyhedron row. Outcodes
// against face planes keep one bit per face, so their rejections are exact for every face
// count the shapes may have.
#include "collision/PairMaths.h"
#include "collision/PairTests.h"
#include "collision/ShapePair.h"
#include "collision/ShapeRay.h"
#include "maths/Geometry.h"

#include <cmath>

using namespace bzPairMaths;

namespace
{
constexpr int32_t kFaceWords = (BZ_SHAPE_MAX_FACES + 31) / 32;

// One bit per face plane that a vertex lies beyond.
struct FaceOutcode
{
    uint32_t w[kFaceWords];
};

bool Share(const FaceOutcode &a, const FaceOutcode &b, int32_t words)
{
    for (int32_t i = 0; i < words; i++)
        if (a.w[i] & b.w[i])
            return true;
    return false;
}

const bzHull *HullOf(const bzShape *shape)
{
    const bzHull *hull = bz_Shape_Hull(shape);
    return hull && HullWithinLimits(hull) ? hull : nullptr;
}

// The face planes a shape is bounded by: none for wire frames and boxes.
int32_t FacesOf(const bzShape *shape, const bzPlane **planes)
{
    switch (shape->kind)
    {
    case BZ_SHAPE_POLYHEDRON:
    case BZ_SHAPE_POLYGON:
    case BZ_SHAPE_ROUNDED_POLYHEDRON:
    {
        const bzHull &hull = static_cast<const bzPolyShape *>(shape)->hull;
        *planes = hull.planes;
        return hull.planes ? hull.faceCount : 0;
    }
    default: *planes = nullptr; return 0;
    }
}

float RoundingOf(const bzShape *shape)
{
    const float r = static_cast<const bzPolyhedronShape *>(shape)->roundingRadius;
    return r > 0.0f ? r : 0.0f;
}

bool EdgeValid(const bzHull *hull, int32_t e)
{
    return hull->edges[e].a < hull->vertexCount && hull->edges[e].b < hull->vertexCount;
}

// Two bits per axis: beyond max (strictly), below min (strictly).
uint32_t BoxOutcode(const bzV3 &p, const bzV3 &lo, const bzV3 &hi)
{
    uint32_t code = 0;
    for (int32_t i = 0; i < 3; i++)
    {
        if (p.v[i] > hi.v[i])
            code |= 1u << (2 * i);
        if (p.v[i] < lo.v[i])
            code |= 2u << (2 * i);
    }
    return code;
}

// Whether the solid (all hull vertices) lies farther than r from p along w.
bool FarAlong(const bzV3 &w, const bzV3 &p, const bzHull *hull, float r)
{
    float lo = Dot(w, hull->vertices[0]);
    for (int32_t k = 1; k < hull->vertexCount; k++)
    {
        const float d = Dot(w, hull->vertices[k]);
        if (d < lo)
            lo = d;
    }
    const float wp = Dot(w, p);
    return wp < lo && (lo - wp) * (lo - wp) > LengthSq(w) * r * r;
}

// Vertices (entry i * stride) against face planes grown by r: 1 when a vertex lies inside the
// unmargined solid, 0 when one plane has every vertex beyond it, -1 to go on.
int32_t VerticesAgainstFaces(const bzV3 *v, int32_t count, int32_t stride, const bzPlane *planes,
                             int32_t faceCount, float r, FaceOutcode *codes)
{
    const int32_t words = (faceCount + 31) / 32;
    FaceOutcode all;
    for (int32_t i = 0; i < kFaceWords; i++)
        all.w[i] = ~0u;
    for (int32_t i = 0; i < count; i++)
    {
        const bzV3 &p = v[i * stride];
        FaceOutcode &code = codes[i];
        bool beyond = false;
        for (int32_t w = 0; w < kFaceWords; w++)
            code.w[w] = 0;
        for (int32_t f = 0; f < faceCount; f++)
        {
            const float dist = Dot(planes[f].n, p) - planes[f].d;
            if (dist > 0.0f)
                beyond = true;
            if (dist > r)
                code.w[f / 32] |= 1u << (f % 32);
        }
        if (!beyond)
            return 1;
        for (int32_t w = 0; w < words; w++)
            all.w[w] &= code.w[w];
    }
    for (int32_t w = 0; w < words; w++)
        if (all.w[w])
            return 0;
    return -1;
}

void Project(const bzV3 *v, int32_t count, int32_t stride, const bzV3 &axis, float *lo, float *hi)
{
    *lo = *hi = Dot(axis, v[0]);
    for (int32_t i = 1; i < count; i++)
    {
        const float d = Dot(axis, v[i * stride]);
        if (d < *lo)
            *lo = d;
        if (d > *hi)
            *hi = d;
    }
}

// The phases shared by the two separating tests once the candidate edges are known. lowerOwn
// is L's vertices in its own frame (stride 1), the other arrays as the tests take them.
struct SeparationInput
{
    const bzHull *lower;
    const bzHull *higher;
    const bzV3 *lowerOwn;
    const bzV3 *lowerInHigher;
    const bzV3 *higherInLower;
    int32_t stride;
    float r;
    const uint8_t *lowerEdges;
    int32_t lowerEdgeCount;
    const uint8_t *higherEdges;
    int32_t higherEdgeCount;
};

bool EdgeAxesSeparate(const SeparationInput &in)
{
    for (int32_t i = 0; i < in.lowerEdgeCount; i++)
    {
        const bzHullEdge &e = in.lower->edges[in.lowerEdges[i]];
        const bzV3 de = Sub(in.lowerOwn[e.b], in.lowerOwn[e.a]);
        for (int32_t j = 0; j < in.higherEdgeCount; j++)
        {
            const bzHullEdge &f = in.higher->edges[in.higherEdges[j]];
            const bzV3 df =
                Sub(in.higherInLower[f.b * in.stride], in.higherInLower[f.a * in.stride]);
            const bzV3 axis = Cross(de, df);
            float loL, hiL, loH, hiH;
            Project(in.lowerOwn, in.lower->vertexCount, 1, axis, &loL, &hiL);
            Project(in.higherInLower, in.higher->vertexCount, in.stride, axis, &loH, &hiH);
            const float gap = in.r * std::sqrt(LengthSq(axis));
            if ((hiL < loH && hiL + gap < loH) || (hiH < loL && hiH + gap < loL))
                return true;
        }
    }
    return false;
}

bool EdgesMeetAsCapsules(const SeparationInput &in)
{
    for (int32_t i = 0; i < in.lowerEdgeCount; i++)
    {
        const bzHullEdge &e = in.lower->edges[in.lowerEdges[i]];
        const bzV3 de = Sub(in.lowerOwn[e.b], in.lowerOwn[e.a]);
        for (int32_t j = 0; j < in.higherEdgeCount; j++)
        {
            const bzHullEdge &f = in.higher->edges[in.higherEdges[j]];
            if (bz_Ray_CapsuleIntersect(&in.lowerOwn[e.a], &de, &in.higherInLower[f.a * in.stride],
                                        &in.higherInLower[f.b * in.stride], in.r, nullptr, nullptr,
                                        nullptr) != 0)
                return true;
        }
    }
    return false;
}

// Capsule a-b of radius r against the convex shape k, both in k's frame.
int32_t CapsuleConvex(const bzV3 &a, const bzV3 &b, float r, const bzShape *k)
{
    if (!HullOf(k))
        return 0;
    if (SphereRoundedPolyhedronTouch(&a, 0.0f, r, k, nullptr) ||
        SphereRoundedPolyhedronTouch(&b, 0.0f, r, k, nullptr))
        return 1;
    const bzV3 dir = Sub(b, a);
    const bzPlane *planes;
    const int32_t faces = FacesOf(k, &planes);
    if (faces > 0 && RayConvexPolyhedron(&a, &dir, planes, faces, 0.0f, nullptr, nullptr) != 0)
        return 1;
    return SegmentNearEdges(&a, &dir, k, r);
}

int32_t PierceEitherWay()
{
    if (!HullOf(bzgPairLower) || !HullOf(bzgPairHigher))
        return 0;
    return PolyhedronEdgesPierce(bzgPairLower, bzgPairLowerToHigher, bzgPairHigher) ||
           PolyhedronEdgesPierce(bzgPairHigher, bzgPairHigherToLower, bzgPairLower);
}
} // namespace

int32_t HullWithinLimits(const bzHull *hull)
{
    return hull->vertexCount >= 0 && hull->vertexCount <= BZ_SHAPE_MAX_VERTICES &&
           hull->edgeCount >= 0 && hull->edgeCount <= BZ_SHAPE_MAX_EDGES && hull->faceCount >= 0 &&
           hull->faceCount <= BZ_SHAPE_MAX_FACES && (hull->vertexCount == 0 || hull->vertices) &&
           (hull->edgeCount == 0 || hull->edges);
}

void TransformShapeVertices(const bzShape *shape, const bzM34 *m, bzV3 *out)
{
    const bzHull *hull = HullOf(shape);
    if (!hull)
        return;
    for (int32_t i = 0; i < hull->vertexCount; i++)
        out[i] = Point(m, hull->vertices[i]);
}

void BoxCornersPlaced(const bzBox *box, const bzM34 *m, bzV3 *out)
{
    const bzV3 origin = Point(m, box->min);
    const bzV3 ex = Scale(m->row[0], box->max.x - box->min.x);
    const bzV3 ey = Scale(m->row[1], box->max.y - box->min.y);
    const bzV3 ez = Scale(m->row[2], box->max.z - box->min.z);
    for (int32_t i = 0; i < 8; i++)
    {
        bzV3 c = origin;
        if (i & 1)
            c = Add(c, ex);
        if (i & 2)
            c = Add(c, ey);
        if (i & 4)
            c = Add(c, ez);
        out[i] = c;
    }
}

int32_t PolyhedronEdgesPierce(const bzShape *edgeShape, const bzM34 *m, const bzShape *target)
{
    const bzHull *hull = HullOf(edgeShape);
    const bzBox *bounds = bz_Shape_Bounds(target);
    if (!hull || !bounds)
        return 0;
    bzV3 carried[BZ_SHAPE_MAX_VERTICES];
    uint8_t codes[BZ_SHAPE_MAX_VERTICES];
    for (int32_t i = 0; i < hull->vertexCount; i++)
    {
        carried[i] = Point(m, hull->vertices[i]);
        codes[i] = static_cast<uint8_t>(BoxOutcode(carried[i], bounds->min, bounds->max));
    }
    for (int32_t e = 0; e < hull->edgeCount; e++)
    {
        if (!EdgeValid(hull, e))
            continue;
        const bzHullEdge &edge = hull->edges[e];
        if (codes[edge.a] & codes[edge.b])
            continue;
        if (bz_Shape_SegmentIntersect(&carried[edge.a], &carried[edge.b], target) != 0)
            return 1;
    }
    return 0;
}

int32_t SphereRoundedPolyhedronTouch(const bzV3 *p, float r1, float r2, const bzShape *shape,
                                     bzV3 *nearestOut)
{
    const bzHull *hull = HullOf(shape);
    if (!hull)
        return 0;
    float r = r1 + r2;
    if (!(r > 0.0f))
        r = 0.0f;
    const bzPlane *planes;
    const int32_t faces = FacesOf(shape, &planes);
    int32_t nearestFace = -1;
    float nearestDepth = 0.0f;
    for (int32_t i = 0; i < faces; i++)
    {
        const float depth = planes[i].d - Dot(planes[i].n, *p);
        if (!(depth >= -r))
            return 0;
        if (nearestFace < 0 || depth < nearestDepth)
        {
            nearestFace = i;
            nearestDepth = depth;
        }
    }
    if (hull->vertexCount == 0)
        return 0;
    const bzV3 lo = V(p->x - r, p->y - r, p->z - r);
    const bzV3 hi = V(p->x + r, p->y + r, p->z + r);
    uint8_t codes[BZ_SHAPE_MAX_VERTICES];
    uint32_t all = ~0u;
    for (int32_t j = 0; j < hull->vertexCount; j++)
    {
        codes[j] = static_cast<uint8_t>(BoxOutcode(hull->vertices[j], lo, hi));
        if (codes[j] == 0 && FarAlong(Sub(hull->vertices[j], *p), *p, hull, r))
            return 0;
        all &= codes[j];
    }
    if (all)
        return 0;
    for (int32_t e = 0; e < hull->edgeCount; e++)
    {
        if (!EdgeValid(hull, e))
            continue;
        const bzHullEdge &edge = hull->edges[e];
        if (codes[edge.a] & codes[edge.b])
            continue;
        const bzV3 &a = hull->vertices[edge.a];
        const bzV3 ab = Sub(hull->vertices[edge.b], a);
        const float lengthSq = LengthSq(ab);
        if (!(lengthSq > 0.0f))
            continue;
        const bzV3 ap = Sub(a, *p);
        const bzV3 w = AddScaled(ap, ab, -Dot(ap, ab) / lengthSq);
        if (FarAlong(w, *p, hull, r))
            return 0;
    }
    if (nearestOut)
    {
        bzV3 q = *p;
        if (nearestFace >= 0)
        {
            const bzPlane &f = planes[nearestFace];
            q = AddScaled(*p, f.n, nearestDepth);
            float bestExcess = 0.0f;
            bzV3 bestN = V(0.0f, 0.0f, 0.0f);
            float bestD = 0.0f;
            for (int32_t k = 0; k < faces; k++)
            {
                if (!(planes[k].d - Dot(planes[k].n, *p) < 0.0f))
                    continue;
                const float c = Dot(planes[k].n, f.n);
                const bzV3 n = AddScaled(planes[k].n, f.n, -c);
                const float d = planes[k].d - c * f.d;
                const float excess = Dot(n, q) - d;
                if (excess > bestExcess)
                {
                    bestExcess = excess;
                    bestN = n;
                    bestD = d;
                }
            }
            if (bestExcess > 0.0f)
                q = AddScaled(q, bestN, bestD - Dot(bestN, q));
        }
        *nearestOut = q;
    }
    return 1;
}

int32_t SphereRoundedPolyhedronPoint(const bzV3 *p, float radius, const bzShape *shape,
                                     bzV3 *nearestOut)
{
    return SphereRoundedPolyhedronTouch(p, 0.0f, radius, shape, nearestOut);
}

int32_t ConvexPolyhedraTest(float r1, float r2, const bzV3 *lowerInHigher,
                            const bzV3 *higherInLower, int32_t stride)
{
    const bzHull *lower = HullOf(bzgPairLower);
    const bzHull *higher = HullOf(bzgPairHigher);
    if (!lower || !higher || lower->vertexCount == 0 || higher->vertexCount == 0 || stride < 1)
        return 0;
    float r = r1 + r2;
    if (!(r > 0.0f))
        r = 0.0f;
    const bzPlane *lowerPlanes, *higherPlanes;
    const int32_t lowerFaces = FacesOf(bzgPairLower, &lowerPlanes);
    const int32_t higherFaces = FacesOf(bzgPairHigher, &higherPlanes);

    FaceOutcode lowerCodes[BZ_SHAPE_MAX_VERTICES], higherCodes[BZ_SHAPE_MAX_VERTICES];
    int32_t phase = VerticesAgainstFaces(lowerInHigher, lower->vertexCount, stride, higherPlanes,
                                         higherFaces, r, lowerCodes);
    if (phase >= 0)
        return phase;
    phase = VerticesAgainstFaces(higherInLower, higher->vertexCount, stride, lowerPlanes,
                                 lowerFaces, r, higherCodes);
    if (phase >= 0)
        return phase;

    uint8_t lowerEdges[BZ_SHAPE_MAX_EDGES], higherEdges[BZ_SHAPE_MAX_EDGES];
    int32_t lowerCount = 0, higherCount = 0;
    const int32_t higherWords = (higherFaces + 31) / 32, lowerWords = (lowerFaces + 31) / 32;
    for (int32_t e = 0; e < lower->edgeCount; e++)
        if (EdgeValid(lower, e) &&
            !Share(lowerCodes[lower->edges[e].a], lowerCodes[lower->edges[e].b], higherWords))
            lowerEdges[lowerCount++] = static_cast<uint8_t>(e);
    for (int32_t e = 0; e < higher->edgeCount; e++)
        if (EdgeValid(higher, e) &&
            !Share(higherCodes[higher->edges[e].a], higherCodes[higher->edges[e].b], lowerWords))
            higherEdges[higherCount++] = static_cast<uint8_t>(e);

    bzV3 lowerOwn[BZ_SHAPE_MAX_VERTICES];
    for (int32_t i = 0; i < lower->vertexCount; i++)
        lowerOwn[i] = lower->vertices[i];
    const SeparationInput in = {lower, higher,     lowerOwn,   lowerInHigher, higherInLower, stride,
                                r,     lowerEdges, lowerCount, higherEdges,   higherCount};
    if (EdgeAxesSeparate(in))
        return 0;
    for (int32_t i = 0; i < lowerCount; i++)
    {
        const bzHullEdge &e = lower->edges[lowerEdges[i]];
        const bzV3 &a = lowerInHigher[e.a * stride];
        const bzV3 d = Sub(lowerInHigher[e.b * stride], a);
        if (SegmentRoundedPolyhedron(&a, &d, higherPlanes, higherFaces, higher, r, nullptr, nullptr,
                                     nullptr) != 0)
            return 1;
    }
    for (int32_t i = 0; i < higherCount; i++)
    {
        const bzHullEdge &e = higher->edges[higherEdges[i]];
        const bzV3 &a = higherInLower[e.a * stride];
        const bzV3 d = Sub(higherInLower[e.b * stride], a);
        if (SegmentRoundedPolyhedron(&a, &d, lowerPlanes, lowerFaces, lower, r, nullptr, nullptr,
                                     nullptr) != 0)
            return 1;
    }
    return EdgesMeetAsCapsules(in) ? 1 : 0;
}

int32_t ConvexPolyhedraPlaced(float r1, float r2)
{
    const bzHull *lower = HullOf(bzgPairLower);
    const bzHull *higher = HullOf(bzgPairHigher);
    if (!lower || !higher)
        return 0;
    bzV3 lowerInHigher[BZ_SHAPE_MAX_VERTICES], higherInLower[BZ_SHAPE_MAX_VERTICES];
    TransformShapeVertices(bzgPairLower, bzgPairLowerToHigher, lowerInHigher);
    TransformShapeVertices(bzgPairHigher, bzgPairHigherToLower, higherInLower);
    return ConvexPolyhedraTest(r1, r2, lowerInHigher, higherInLower, 1);
}

int32_t ConvexPolyhedraEntry(const bzShape *lower, const bzShape *higher, const bzV3 *lowerInHigher,
                             float r1, float r2, const bzV3 *higherInLower)
{
    bzgPairLower = lower;
    bzgPairHigher = higher;
    return ConvexPolyhedraTest(r1, r2, lowerInHigher, higherInLower, 2);
}

int32_t RoundedPolyhedronBoxTest(const bzV3 *lowerInHigher, const bzV3 *higherInLower,
                                 int32_t strideShift)
{
    const bzHull *higher = HullOf(bzgPairHigher);
    const bzBox *box = bz_Shape_Bounds(bzgPairLower);
    if (!higher || !box || higher->vertexCount == 0 || strideShift < 0 || strideShift > 4)
        return 0;
    const int32_t stride = 1 << strideShift;
    const float r = RoundingOf(bzgPairHigher);
    const bzPlane *higherPlanes;
    const int32_t higherFaces = FacesOf(bzgPairHigher, &higherPlanes);

    // Phase 1: the box corners against H's faces grown by r.
    FaceOutcode cornerCodes[8];
    const int32_t phase =
        VerticesAgainstFaces(lowerInHigher, 8, stride, higherPlanes, higherFaces, r, cornerCodes);
    if (phase >= 0)
        return phase;
    // Phase 2: H's vertices against the box grown by r.
    const bzV3 grownLo = V(box->min.x - r, box->min.y - r, box->min.z - r);
    const bzV3 grownHi = V(box->max.x + r, box->max.y + r, box->max.z + r);
    uint8_t vertexCodes[BZ_SHAPE_MAX_VERTICES];
    uint32_t all = ~0u;
    for (int32_t i = 0; i < higher->vertexCount; i++)
    {
        const bzV3 &v = higherInLower[i * stride];
        vertexCodes[i] = static_cast<uint8_t>(BoxOutcode(v, grownLo, grownHi));
        if (vertexCodes[i] == 0 && bz_Box_PointInside(&v, box))
            return 1;
        all &= vertexCodes[i];
    }
    if (all)
        return 0;

    bzV3 corners[8];
    for (int32_t i = 0; i < 8; i++)
        bz_Box_Corner(box, i, &corners[i]);
    bzHull boxHull = {};
    boxHull.vertexCount = boxHull.vertexRoom = 8;
    boxHull.edgeCount = boxHull.edgeRoom = BZ_CUBOID_EDGE_COUNT;
    boxHull.vertices = corners;
    boxHull.edges = const_cast<bzHullEdge *>(bzgCuboidEdges);

    uint8_t lowerEdges[BZ_CUBOID_EDGE_COUNT], higherEdges[BZ_SHAPE_MAX_EDGES];
    int32_t lowerCount = 0, higherCount = 0;
    const int32_t words = (higherFaces + 31) / 32;
    for (int32_t e = 0; e < BZ_CUBOID_EDGE_COUNT; e++)
        if (!Share(cornerCodes[bzgCuboidEdges[e].a], cornerCodes[bzgCuboidEdges[e].b], words))
            lowerEdges[lowerCount++] = static_cast<uint8_t>(e);
    for (int32_t e = 0; e < higher->edgeCount; e++)
        if (EdgeValid(higher, e) &&
            !(vertexCodes[higher->edges[e].a] & vertexCodes[higher->edges[e].b]))
            higherEdges[higherCount++] = static_cast<uint8_t>(e);

    const SeparationInput in = {&boxHull,      higher,      corners,    lowerInHigher,
                                higherInLower, stride,      r,          lowerEdges,
                                lowerCount,    higherEdges, higherCount};
    if (EdgeAxesSeparate(in))
        return 0;
    for (int32_t i = 0; i < lowerCount; i++)
    {
        const bzHullEdge &e = bzgCuboidEdges[lowerEdges[i]];
        const bzV3 &a = lowerInHigher[e.a * stride];
        const bzV3 d = Sub(lowerInHigher[e.b * stride], a);
        if (SegmentRoundedPolyhedron(&a, &d, higherPlanes, higherFaces, higher, r, nullptr, nullptr,
                                     nullptr) != 0)
            return 1;
    }
    for (int32_t i = 0; i < higherCount; i++)
    {
        const bzHullEdge &e = higher->edges[higherEdges[i]];
        const bzV3 &a = higherInLower[e.a * stride];
        const bzV3 d = Sub(higherInLower[e.b * stride], a);
        if (SegmentRoundedBox(&a, &d, box, r) != 0)
            return 1;
    }
    return EdgesMeetAsCapsules(in) ? 1 : 0;
}

int32_t RoundedPolyhedronBoxEntry(const bzShape *lower, const bzShape *higher,
                                  const bzV3 *lowerInHigher, const bzV3 *higherInLower)
{
    bzgPairLower = lower;
    bzgPairHigher = higher;
    return RoundedPolyhedronBoxTest(lowerInHigher, higherInLower, 1);
}

int32_t IntersectPolyhedronAlignedCuboid()
{
    return PierceEitherWay();
}

int32_t IntersectPolyhedra()
{
    return PierceEitherWay();
}

int32_t IntersectCuboidPolyhedron()
{
    return PierceEitherWay();
}

int32_t IntersectSpherePolyhedron()
{
    const auto *h = static_cast<const bzSphereShape *>(bzgPairHigher);
    const bzV3 centre = Point(bzgPairHigherToLower, h->centre);
    return SphereRoundedPolyhedronTouch(&centre, 0.0f, h->radius, bzgPairLower, nullptr);
}

int32_t IntersectTicTacPolyhedron()
{
    const auto *h = static_cast<const bzTicTacShape *>(bzgPairHigher);
    return CapsuleConvex(Point(bzgPairHigherToLower, h->segmentStart),
                         Point(bzgPairHigherToLower, h->segmentEnd), h->radius, bzgPairLower);
}

int32_t IntersectRoundedPolyhedronTicTac()
{
    const auto *l = static_cast<const bzTicTacShape *>(bzgPairLower);
    return CapsuleConvex(Point(bzgPairLowerToHigher, l->segmentStart),
                         Point(bzgPairLowerToHigher, l->segmentEnd),
                         RoundingOf(bzgPairHigher) + l->radius, bzgPairHigher);
}

int32_t IntersectRoundedPolyhedronSphere()
{
    const auto *l = static_cast<const bzSphereShape *>(bzgPairLower);
    const bzV3 centre = Point(bzgPairLowerToHigher, l->centre);
    return SphereRoundedPolyhedronTouch(&centre, 0.0f, RoundingOf(bzgPairHigher) + l->radius,
                                        bzgPairHigher, nullptr);
}

int32_t IntersectRoundedPolyhedronAlignedCuboid()
{
    const bzHull *higher = HullOf(bzgPairHigher);
    if (!higher)
        return 0;
    bzV3 corners[8], vertices[BZ_SHAPE_MAX_VERTICES];
    BoxCornersPlaced(&static_cast<const bzBoundedShape *>(bzgPairLower)->bounds,
                     bzgPairLowerToHigher, corners);
    TransformShapeVertices(bzgPairHigher, bzgPairHigherToLower, vertices);
    return RoundedPolyhedronBoxTest(corners, vertices, 0);
}

int32_t IntersectRoundedPolyhedronPolyhedron()
{
    return ConvexPolyhedraPlaced(0.0f, RoundingOf(bzgPairHigher));
}

int32_t IntersectRoundedPolyhedra()
{
    return ConvexPolyhedraPlaced(RoundingOf(bzgPairLower), RoundingOf(bzgPairHigher));
}
