// Pair handlers of two polyhedral shapes: vertices swept onto faces and edges swept across
// edges; and the handlers of the null and unsupported cells.
#include "collision/CollisionTolerance.h"
#include "collision/KindDispatch.h"
#include "collision/PairMaths.h"
#include "collision/PointPrimitives.h"
#include "core/Error.h"
#include "physics/Body.h"
#include "physics/PairHandlers.h"

using namespace bzPairMaths;

namespace
{
constexpr float kNoLimit = 2.0f;

void Report(const char *text)
{
    bzgErrorFile = "bz_PhysObjectColl";
    bzgErrorLine = 0;
    bz_ReportError("Physics", "%s", text);
}

bool Valid(const bzHullEdge &e, int32_t count)
{
    return e.a < count && e.b < count;
}
} // namespace

void bz_PhysColl_PairNull(const bzPhysShapePoint *, const bzPhysShapePoint *, int32_t, int32_t)
{
    Report("Null form");
}

void bz_PhysColl_PairUnsupported(const bzPhysShapePoint *, const bzPhysShapePoint *, int32_t,
                                 int32_t)
{
    Report("Unsupported form");
}

void bz_PhysColl_OverlapUnsupported(const bzPhysShapePoint *, const bzPhysShapePoint *, int32_t,
                                    int32_t)
{
    Report("Unsupported form");
}

void bz_PhysColl_OverlapNone(const bzPhysShapePoint *, const bzPhysShapePoint *, int32_t, int32_t)
{
}

void bz_PhysColl_VerticesOnFaces(int32_t own, const bzPhysShapePoint *points, int32_t count)
{
    bzPhysCollPair &s = bz_PhysColl_Pair();
    const int32_t other = 1 - own;
    for (int32_t i = 0; i < count; i++)
    {
        if (s.codes[own][i])
            continue;
        float t = 2.0f, mark = 0.0f;
        bzV3 hit = V(0.0f, 0.0f, 0.0f), n = V(0.0f, 0.0f, 0.0f);
        const int32_t result = bz_PointAgainstShape_ByKind(s.shape[other], &points[i].start,
                                                           &points[i].end, &t, &hit, &n, &mark);
        if (result == 0)
            continue;
        if (result < 0)
        {
            s.codes[own][i] = 0xFF;
            if (!s.resting)
                bz_PhysColl_MarkInside(own);
            continue;
        }
        if (result & BZ_NEAR_SURFACE)
            t = BZ_PAIR_TIME_END_TOUCH;
        const bzV3 world = Scale(bz_PhysColl_NormalToWorld(other, n, t), -1.0f);
        bz_PhysColl_Add(own, world, t, bz_PhysColl_OwnPoint(s.shape[own], i), hit,
                        BZ_PHYS_CONTACT_VERTEX_FACE);
    }
}

void bz_PhysColl_EdgesOnEdges(int32_t collected, const bzPhysShapePoint *p1,
                              const bzPhysShapePoint *p2)
{
    bzPhysCollPair &s = bz_PhysColl_Pair();
    const int32_t moving = 1 - collected;
    const bzShape *fixedShape = s.shape[collected];
    const bzShape *movingShape = s.shape[moving];
    const bzPhysShapePoint *movingPoints = moving == 0 ? p1 : p2;
    const bzPhysShapePoint *fixedPoints = collected == 0 ? p1 : p2;
    const uint8_t *fixedCodes = s.codes[collected];
    const uint8_t *movingCodes = s.codes[moving];
    int32_t fixedCount = 0, movingCount = 0;
    const bzHullEdge *fixedEdges = bz_PhysColl_Edges(fixedShape, &fixedCount);
    const bzHullEdge *movingEdges = bz_PhysColl_Edges(movingShape, &movingCount);
    if (!fixedEdges || !movingEdges)
        return;
    int32_t fixedVertices = 0, movingVertices = 0;
    if (fixedShape->kind == BZ_SHAPE_ALIGNED_CUBOID ||
        fixedShape->kind == BZ_SHAPE_CRUSHABLE_CUBOID)
        fixedVertices = 8;
    else
        fixedVertices = bz_Shape_Hull(fixedShape)->vertexCount;
    if (movingShape->kind == BZ_SHAPE_ALIGNED_CUBOID ||
        movingShape->kind == BZ_SHAPE_CRUSHABLE_CUBOID)
        movingVertices = 8;
    else
        movingVertices = bz_Shape_Hull(movingShape)->vertexCount;

    // A box's corners are asked for once here, not for every pair of edges.
    constexpr int32_t kCorners = 8;
    bzV3 corners[kCorners];
    const bool fewCorners = fixedVertices <= kCorners;
    if (fewCorners && (fixedShape->kind == BZ_SHAPE_ALIGNED_CUBOID ||
                       fixedShape->kind == BZ_SHAPE_CRUSHABLE_CUBOID))
    {
        // A box's corners straight from its bounds, x fastest, as bz_PhysColl_OwnPoint picks them.
        const bzBox &box = static_cast<const bzBoundedShape *>(fixedShape)->bounds;
        for (int32_t k = 0; k < kCorners; k++)
            corners[k] = V((k & 1) ? box.max.x : box.min.x, (k & 2) ? box.max.y : box.min.y,
                           (k & 4) ? box.max.z : box.min.z);
    }
    else if (fewCorners)
        for (int32_t k = 0; k < fixedVertices; k++)
            corners[k] = bz_PhysColl_OwnPoint(fixedShape, k);
    auto corner = [&](int32_t k)
    { return fewCorners ? corners[k] : bz_PhysColl_OwnPoint(fixedShape, k); };
    // Whether a fixed edge takes part does not depend on the moving edge: with few enough
    // edges, those that do are listed once, with their start and direction.
    constexpr int32_t kListed = 16;
    struct FixedEdge
    {
        int32_t index;
        bzV3 q, fv;
    };
    FixedEdge listed[kListed];
    int32_t listedCount = 0;
    const bool listFixed = fixedCount <= kListed;
    auto takesPart = [&](const bzHullEdge &fe)
    {
        if (!Valid(fe, fixedVertices))
            return false;
        const uint8_t fa = fixedCodes[fe.a], fb = fixedCodes[fe.b];
        return !((fa & fb) || (fa | fb) == 0xFF);
    };
    if (listFixed)
        for (int32_t f = 0; f < fixedCount; f++)
            if (takesPart(fixedEdges[f]))
            {
                const bzV3 q = corner(fixedEdges[f].a);
                listed[listedCount++] = {f, q, Sub(corner(fixedEdges[f].b), q)};
            }
    float limit = kNoLimit;
    for (int32_t m = 0; m < movingCount; m++)
    {
        const bzHullEdge &me = movingEdges[m];
        if (!Valid(me, movingVertices))
            continue;
        const uint8_t ca = movingCodes[me.a], cb = movingCodes[me.b];
        if ((ca & cb) || (ca | cb) == 0xFF)
            continue;
        const bzPhysShapePoint &a = movingPoints[me.a], &b = movingPoints[me.b];
        const bzV3 p0 = a.start, v = Sub(a.end, a.start);
        const bzV3 e0 = Sub(b.start, a.start);
        const bzV3 w = Sub(Sub(b.end, a.end), e0);
        auto against = [&](const bzHullEdge &fe, const bzV3 &q, const bzV3 &fv)
        {
            bzPairTouch touch;
            if (!bz_PairEdgeCrossing(q, fv, p0, v, e0, w, limit, &touch))
                return;
            // Edges that already pierce the other shape at the start belong to the overlap.
            bzV3 hit;
            float at;
            if (bz_SegmentEntersShape_ByKind(&a.start, &b.start, fixedShape, &hit, &at, nullptr))
                return;
            if (bz_SegmentEntersShape_ByKind(&fixedPoints[fe.a].start, &fixedPoints[fe.b].start,
                                             movingShape, &hit, &at, nullptr))
                return;
            const bzV3 ownA = bz_PhysColl_OwnPoint(movingShape, me.a);
            const bzV3 ownB = bz_PhysColl_OwnPoint(movingShape, me.b);
            const bzV3 movingOwn = AddScaled(ownA, Sub(ownB, ownA), touch.movingParam);
            bz_PhysColl_AddTouch(collected, touch, AddScaled(q, fv, touch.fixedParam), 0.0f,
                                 movingOwn, 0.0f, BZ_PHYS_CONTACT_SEGMENT);
            limit = kNoLimit;
        };
        if (listFixed)
        {
            for (int32_t k = 0; k < listedCount; k++)
                against(fixedEdges[listed[k].index], listed[k].q, listed[k].fv);
            continue;
        }
        for (int32_t f = 0; f < fixedCount; f++)
        {
            const bzHullEdge &fe = fixedEdges[f];
            if (!takesPart(fe))
                continue;
            const bzV3 q = corner(fe.a);
            against(fe, q, Sub(corner(fe.b), q));
        }
    }
}

bool bz_PhysColl_EdgesInside(const bzPhysShapePoint *p1, const bzPhysShapePoint *p2, int32_t n1,
                             int32_t n2, float faceDepth)
{
    if (!(faceDepth > bzCollisionTolerance))
        return false;
    bzPhysCollPair &s = bz_PhysColl_Pair();
    const bzPhysShapePoint *points[2] = {p1, p2};
    const int32_t counts[2] = {n1, n2};
    for (int32_t k = 0; k < 2; k++)
    {
        int32_t edgeCount = 0;
        const bzHullEdge *edges = bz_PhysColl_Edges(s.shape[k], &edgeCount);
        for (int32_t e = 0; edges && e < edgeCount; e++)
        {
            const bzHullEdge &edge = edges[e];
            if (!Valid(edge, counts[k]))
                continue;
            // Ends beyond one side of the other shape, or both accounted for: no passage.
            const uint8_t ca = s.codes[k][edge.a], cb = s.codes[k][edge.b];
            if ((ca & cb) || (ca | cb) == 0xFF)
                continue;
            bzV3 hit;
            float at;
            if (bz_SegmentEntersShape_ByKind(&points[k][edge.a].start, &points[k][edge.b].start,
                                             s.shape[1 - k], &hit, &at, nullptr) != 0)
                return true;
        }
    }
    return false;
}

void bz_PhysColl_PolyhedronPair(const bzPhysShapePoint *p1, const bzPhysShapePoint *p2, int32_t n1,
                                int32_t n2)
{
    bzPhysCollPair &s = bz_PhysColl_Pair();
    if (!bz_PhysColl_ClipPoints(p1, n1, p2, n2, s.codes[0], s.codes[1], 0.0f, 0.0f))
        return;
    float faceDepth = 0.0f;
    bz_PhysColl_RestingFaces(p1, p2, n1, n2, 0.0f, 0.0f, &faceDepth);
    if (s.shape[1]->kind != BZ_SHAPE_WIRE_FRAME)
        bz_PhysColl_VerticesOnFaces(0, p1, n1);
    if (s.shape[0]->kind != BZ_SHAPE_WIRE_FRAME)
        bz_PhysColl_VerticesOnFaces(1, p2, n2);
    const int32_t collected = (s.count == 0 || s.out[0].body == s.body[0]) ? 0 : 1;
    bz_PhysColl_EdgesOnEdges(collected, p1, p2);
    // No corner of either inside the other, yet deeper in each other than a touch: the overlap
    // pass takes them apart, as it does shapes with a corner inside.
    if (!s.resting && bz_PhysColl_EdgesInside(p1, p2, n1, n2, faceDepth))
        bz_PhysColl_MarkInside(0);
}
