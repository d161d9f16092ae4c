// The pair tests and dispatch of the swept collision.
#include "collision/SweptCollision.h"

#include "collision/PairMaths.h"
#include "collision/PairTests.h"
#include "collision/ShapePair.h"
#include "collision/SweptFeatures.h"
#include "maths/Matrix.h"

#include <cmath>

using namespace bzPairMaths;

namespace
{
// The parts of a shape the pair tests read, gathered once per test.
struct Parts
{
    const bzHull *hull = nullptr;
    const bzV3 *vertices = nullptr;
    int32_t vertexCount = 0;
    const bzHullEdge *edges = nullptr;
    int32_t edgeCount = 0;
    int32_t faceCount = 0; // face planes to test: none for wire frames and boxes
    bzBox box{};           // an AlignedCuboid's box, a Cuboid's box in its own frame
    bzM34 toFrame{};       // Cuboid: the form's frame into the cuboid's
    float rounding = 0.0f;
    bool valid = false;
};

Parts PartsOf(const bzShape *shape)
{
    Parts p;
    const bzHull *hull = bz_Shape_Hull(shape);
    if (!hull || !HullWithinLimits(hull) || !hull->vertices)
        return p;
    p.hull = hull;
    p.vertices = hull->vertices;
    switch (shape->kind)
    {
    case BZ_SHAPE_ALIGNED_CUBOID:
    case BZ_SHAPE_CUBOID:
        if (hull->vertexCount < 8)
            return p;
        p.vertexCount = 8;
        p.edges = bzgCuboidEdges;
        p.edgeCount = BZ_CUBOID_EDGE_COUNT;
        if (shape->kind == BZ_SHAPE_ALIGNED_CUBOID)
            p.box = *bz_Shape_Bounds(shape);
        else
        {
            const bzCuboidShape *cuboid = static_cast<const bzCuboidShape *>(shape);
            p.box = {cuboid->localMin, cuboid->localMax};
            // The placement is a rotation and a move: its inverse is its transpose.
            bz_InverseOrthoM34Into(&cuboid->placement, &p.toFrame);
        }
        break;
    case BZ_SHAPE_POLYHEDRON:
    case BZ_SHAPE_POLYGON:
    case BZ_SHAPE_ROUNDED_POLYHEDRON:
        p.faceCount = hull->planes ? hull->faceCount : 0;
        [[fallthrough]];
    case BZ_SHAPE_WIRE_FRAME:
        p.vertexCount = hull->vertexCount;
        p.edges = hull->edges;
        p.edgeCount = hull->edges ? hull->edgeCount : 0;
        if (shape->kind == BZ_SHAPE_ROUNDED_POLYHEDRON)
            p.rounding = static_cast<const bzPolyhedronShape *>(shape)->roundingRadius;
        break;
    default: return p;
    }
    p.valid = true;
    return p;
}

bool EdgeOk(const Parts &p, int32_t i)
{
    return p.edges[i].a < p.vertexCount && p.edges[i].b < p.vertexCount;
}
bzV3 EdgeStart(const Parts &p, int32_t i)
{
    return p.vertices[p.edges[i].a];
}
bzV3 EdgeVector(const Parts &p, int32_t i)
{
    return Sub(p.vertices[p.edges[i].b], p.vertices[p.edges[i].a]);
}

const bzSphereShape *AsSphere(const bzShape *s)
{
    return static_cast<const bzSphereShape *>(s);
}
const bzTicTacShape *AsTicTac(const bzShape *s)
{
    return static_cast<const bzTicTacShape *>(s);
}

// Each vertex of the moving parts (by d) against a box, optionally through a frame.
void VerticesIntoBox(const Parts &moving, const bzV3 &d, const bzBox &box, const bzM34 *frame,
                     float &T)
{
    const bzV3 ld = frame ? Direction(frame, d) : d;
    for (int32_t i = 0; i < moving.vertexCount; i++)
        SweptPointAlignedBox(frame ? Point(frame, moving.vertices[i]) : moving.vertices[i], ld, box,
                             T);
}
void VerticesIntoHull(const Parts &moving, const bzV3 &d, const Parts &solid, float &T)
{
    for (int32_t i = 0; i < moving.vertexCount; i++)
        SweptPointHull(moving.vertices[i], d, solid.hull->planes, solid.faceCount, T);
}
// Every edge of the moving parts (outer) against every edge of the fixed (inner).
void EdgesAgainstEdges(const Parts &moving, const bzV3 &d, const Parts &fixed, float &T)
{
    for (int32_t i = 0; i < moving.edgeCount; i++)
    {
        if (!EdgeOk(moving, i))
            continue;
        const bzV3 p1 = EdgeStart(moving, i), e1 = EdgeVector(moving, i);
        for (int32_t j = 0; j < fixed.edgeCount; j++)
            if (EdgeOk(fixed, j))
                SweptEdgeEdge(p1, e1, d, EdgeStart(fixed, j), EdgeVector(fixed, j), T);
    }
}
// Every edge of the moving parts (outer) against every edge of the fixed grown into a capsule
// of radius r (inner).
void EdgesAgainstRoundedEdges(const Parts &moving, const bzV3 &d, const Parts &fixed, float r,
                              float &T)
{
    for (int32_t i = 0; i < moving.edgeCount; i++)
    {
        if (!EdgeOk(moving, i))
            continue;
        const bzV3 p = EdgeStart(moving, i), e = EdgeVector(moving, i);
        for (int32_t j = 0; j < fixed.edgeCount; j++)
            if (EdgeOk(fixed, j))
                SweptEdgeCapsuleSide(p, e, d, EdgeStart(fixed, j), EdgeVector(fixed, j), r, T);
    }
}
// The hull of the moving parts against a sphere at each vertex of the other parts.
void HullAgainstVertexSpheres(const Parts &hull, const bzV3 &d, const Parts &points, float r,
                              float &T)
{
    for (int32_t i = 0; i < points.vertexCount; i++)
        SweptHullSphere(*hull.hull, hull.vertexCount, hull.edgeCount, hull.faceCount, d,
                        points.vertices[i], r, T);
}
void HullSphere(const Parts &hull, const bzV3 &d, const bzV3 &c, float r, float &T)
{
    SweptHullSphere(*hull.hull, hull.vertexCount, hull.edgeCount, hull.faceCount, d, c, r, T);
}
void BoxSphere(const Parts &box, bool framed, const bzV3 &d, const bzV3 &c, float r, float &T)
{
    SweptBoxSphere(box.vertices, box.box, framed ? &box.toFrame : nullptr, d, c, r, T);
}

// ---------------------------------------------------------------------------------------------
// Pair tests: A the row shape, B the column shape, m the motion of B relative to A.

void BoxBox(const bzShape *a, const bzShape *b, const bzV3 &m, float &T)
{
    const Parts A = PartsOf(a), B = PartsOf(b);
    if (!A.valid || !B.valid)
        return;
    const bzV3 back = Scale(m, -1.0f);
    VerticesIntoBox(B, m, A.box, nullptr, T);
    VerticesIntoBox(A, back, B.box, nullptr, T);
    EdgesAgainstEdges(B, m, A, T);
}

void HullBox(const bzShape *a, const bzShape *b, const bzV3 &m, float &T)
{
    const Parts A = PartsOf(a), B = PartsOf(b);
    if (!A.valid || !B.valid)
        return;
    if (A.faceCount > 0)
        VerticesIntoHull(B, m, A, T);
    VerticesIntoBox(A, Scale(m, -1.0f), B.box, nullptr, T);
    EdgesAgainstEdges(B, m, A, T);
}

void HullHull(const bzShape *a, const bzShape *b, const bzV3 &m, float &T)
{
    const Parts A = PartsOf(a), B = PartsOf(b);
    if (!A.valid || !B.valid)
        return;
    if (A.faceCount > 0)
        VerticesIntoHull(B, m, A, T);
    if (B.faceCount > 0)
        VerticesIntoHull(A, Scale(m, -1.0f), B, T);
    EdgesAgainstEdges(B, m, A, T);
}

void CuboidBox(const bzShape *a, const bzShape *b, const bzV3 &m, float &T)
{
    const Parts A = PartsOf(a), B = PartsOf(b);
    if (!A.valid || !B.valid)
        return;
    VerticesIntoBox(B, m, A.box, &A.toFrame, T);
    VerticesIntoBox(A, Scale(m, -1.0f), B.box, nullptr, T);
    EdgesAgainstEdges(B, m, A, T);
}

void CuboidHull(const bzShape *a, const bzShape *b, const bzV3 &m, float &T)
{
    const Parts A = PartsOf(a), B = PartsOf(b);
    if (!A.valid || !B.valid)
        return;
    VerticesIntoBox(B, m, A.box, &A.toFrame, T);
    if (B.faceCount > 0)
        VerticesIntoHull(A, Scale(m, -1.0f), B, T);
    EdgesAgainstEdges(B, m, A, T);
}

void CuboidCuboid(const bzShape *a, const bzShape *b, const bzV3 &m, float &T)
{
    const Parts A = PartsOf(a), B = PartsOf(b);
    if (!A.valid || !B.valid)
        return;
    VerticesIntoBox(B, m, A.box, &A.toFrame, T);
    VerticesIntoBox(A, Scale(m, -1.0f), B.box, &B.toFrame, T);
    EdgesAgainstEdges(B, m, A, T);
}

void SphereSphere(const bzShape *a, const bzShape *b, const bzV3 &m, float &T)
{
    SweptSphereSphere(AsSphere(b)->centre, AsSphere(b)->radius, m, AsSphere(a)->centre,
                      AsSphere(a)->radius, T);
}

void SphereBox(const bzShape *a, const bzShape *b, const bzV3 &m, float &T)
{
    const Parts B = PartsOf(b);
    if (B.valid)
        BoxSphere(B, false, m, AsSphere(a)->centre, AsSphere(a)->radius, T);
}

void SphereHull(const bzShape *a, const bzShape *b, const bzV3 &m, float &T)
{
    const Parts B = PartsOf(b);
    if (B.valid)
        HullSphere(B, m, AsSphere(a)->centre, AsSphere(a)->radius, T);
}

void CuboidSphere(const bzShape *a, const bzShape *b, const bzV3 &m, float &T)
{
    const Parts A = PartsOf(a);
    if (A.valid)
        BoxSphere(A, true, Scale(m, -1.0f), AsSphere(b)->centre, AsSphere(b)->radius, T);
}

void CapsuleSphere(const bzShape *a, const bzShape *b, const bzV3 &m, float &T)
{
    const bzTicTacShape *A = AsTicTac(a);
    SweptSphereTicTac(AsSphere(b)->centre, AsSphere(b)->radius, m, A->segmentStart, A->segmentEnd,
                      A->radius, T);
}

void CapsuleBox(const bzShape *a, const bzShape *b, const bzV3 &m, float &T)
{
    const bzTicTacShape *A = AsTicTac(a);
    const Parts B = PartsOf(b);
    if (!B.valid)
        return;
    const bzV3 axis = Sub(A->segmentEnd, A->segmentStart);
    SweptEdgesCapsuleSide(*B.hull, B.vertexCount, B.edges, B.edgeCount, m, A->segmentStart, axis,
                          A->radius, T);
    BoxSphere(B, false, m, A->segmentStart, A->radius, T);
    BoxSphere(B, false, m, A->segmentEnd, A->radius, T);
}

void CapsuleHull(const bzShape *a, const bzShape *b, const bzV3 &m, float &T)
{
    const bzTicTacShape *A = AsTicTac(a);
    const Parts B = PartsOf(b);
    if (!B.valid)
        return;
    const bzV3 axis = Sub(A->segmentEnd, A->segmentStart);
    SweptEdgesCapsuleSide(*B.hull, B.vertexCount, B.edges, B.edgeCount, m, A->segmentStart, axis,
                          A->radius, T);
    HullSphere(B, m, A->segmentStart, A->radius, T);
    HullSphere(B, m, A->segmentEnd, A->radius, T);
}

void CuboidCapsule(const bzShape *a, const bzShape *b, const bzV3 &m, float &T)
{
    const Parts A = PartsOf(a);
    const bzTicTacShape *B = AsTicTac(b);
    if (!A.valid)
        return;
    const bzV3 back = Scale(m, -1.0f);
    const bzV3 axis = Sub(B->segmentEnd, B->segmentStart);
    SweptEdgesCapsuleSide(*A.hull, A.vertexCount, A.edges, A.edgeCount, back, B->segmentStart, axis,
                          B->radius, T);
    BoxSphere(A, true, back, B->segmentStart, B->radius, T);
    BoxSphere(A, true, back, B->segmentEnd, B->radius, T);
}

void CapsuleCapsule(const bzShape *a, const bzShape *b, const bzV3 &m, float &T)
{
    const bzTicTacShape *A = AsTicTac(a), *B = AsTicTac(b);
    const bzV3 ea = Sub(A->segmentEnd, A->segmentStart);
    const bzV3 eb = Sub(B->segmentEnd, B->segmentStart);
    const int32_t result =
        SweptSegmentSegment(A->segmentStart, ea, B->segmentStart, eb, m, A->radius + B->radius, T);
    if (result == BZ_SWEPT_SEGMENTS_NONE || result == BZ_SWEPT_SEGMENTS_SIDES)
        return;
    // Beyond the sides the first touch involves an end sphere; every end is tried, which
    // covers the end the region names.
    const bzV3 back = Scale(m, -1.0f);
    SweptSphereTicTac(B->segmentStart, B->radius, m, A->segmentStart, A->segmentEnd, A->radius, T);
    SweptSphereTicTac(B->segmentEnd, B->radius, m, A->segmentStart, A->segmentEnd, A->radius, T);
    SweptSphereTicTac(A->segmentStart, A->radius, back, B->segmentStart, B->segmentEnd, B->radius,
                      T);
    SweptSphereTicTac(A->segmentEnd, A->radius, back, B->segmentStart, B->segmentEnd, B->radius, T);
}

bool PlaneOf(const bzShape *shape, bzPlane *plane)
{
    return HalfSpaceUnitPlane(shape, plane) != 0;
}

void PlaneVertices(const bzShape *a, const bzShape *b, const bzV3 &m, float &T)
{
    bzPlane plane;
    const Parts B = PartsOf(b);
    if (B.valid && PlaneOf(a, &plane))
        SweptVerticesPlane(B.vertices, B.vertexCount, m, plane, T);
}

void PlaneSphere(const bzShape *a, const bzShape *b, const bzV3 &m, float &T)
{
    bzPlane plane;
    if (PlaneOf(a, &plane))
        SweptPointPlane(AsSphere(b)->centre, m, plane, AsSphere(b)->radius, T);
}

void PlaneCapsule(const bzShape *a, const bzShape *b, const bzV3 &m, float &T)
{
    bzPlane plane;
    if (!PlaneOf(a, &plane))
        return;
    SweptPointPlane(AsTicTac(b)->segmentStart, m, plane, AsTicTac(b)->radius, T);
    SweptPointPlane(AsTicTac(b)->segmentEnd, m, plane, AsTicTac(b)->radius, T);
}

void RoundedPlane(const bzShape *a, const bzShape *b, const bzV3 &m, float &T)
{
    bzPlane plane;
    const Parts A = PartsOf(a);
    if (!A.valid || !PlaneOf(b, &plane))
        return;
    plane.d += A.rounding;
    SweptVerticesPlane(A.vertices, A.vertexCount, Scale(m, -1.0f), plane, T);
}

void RoundedSphere(const bzShape *a, const bzShape *b, const bzV3 &m, float &T)
{
    const Parts A = PartsOf(a);
    if (A.valid)
        HullSphere(A, Scale(m, -1.0f), AsSphere(b)->centre, A.rounding + AsSphere(b)->radius, T);
}

void RoundedCapsule(const bzShape *a, const bzShape *b, const bzV3 &m, float &T)
{
    const Parts A = PartsOf(a);
    const bzTicTacShape *B = AsTicTac(b);
    if (!A.valid)
        return;
    const float R = A.rounding + B->radius;
    const bzV3 back = Scale(m, -1.0f);
    const bzV3 axis = Sub(B->segmentEnd, B->segmentStart);
    SweptEdgesCapsuleSide(*A.hull, A.vertexCount, A.edges, A.edgeCount, back, B->segmentStart, axis,
                          R, T);
    HullSphere(A, back, B->segmentStart, R, T);
    HullSphere(A, back, B->segmentEnd, R, T);
}

void RoundedHull(const bzShape *a, const bzShape *b, const bzV3 &m, float &T)
{
    const Parts A = PartsOf(a), B = PartsOf(b);
    if (!A.valid || !B.valid)
        return;
    const float r = A.rounding;
    if (A.faceCount > 0)
        HullAgainstVertexSpheres(A, Scale(m, -1.0f), B, r, T);
    if (B.faceCount > 0)
        HullAgainstVertexSpheres(B, m, A, r, T);
    EdgesAgainstRoundedEdges(B, m, A, r, T);
}

void RoundedBox(const bzShape *a, const bzShape *b, const bzV3 &m, float &T)
{
    const Parts A = PartsOf(a), B = PartsOf(b);
    if (!A.valid || !B.valid)
        return;
    const float r = A.rounding;
    if (A.faceCount > 0)
        HullAgainstVertexSpheres(A, Scale(m, -1.0f), B, r, T);
    for (int32_t i = 0; i < A.vertexCount; i++)
        BoxSphere(B, false, m, A.vertices[i], r, T);
    EdgesAgainstRoundedEdges(B, m, A, r, T);
}

void RoundedCuboid(const bzShape *a, const bzShape *b, const bzV3 &m, float &T)
{
    const Parts A = PartsOf(a), B = PartsOf(b);
    if (!A.valid || !B.valid)
        return;
    const float r = A.rounding;
    for (int32_t i = 0; i < A.vertexCount; i++)
        BoxSphere(B, true, m, A.vertices[i], r, T);
    if (A.faceCount > 0)
        HullAgainstVertexSpheres(A, Scale(m, -1.0f), B, r, T);
    EdgesAgainstRoundedEdges(A, Scale(m, -1.0f), B, r, T);
}

void RoundedRounded(const bzShape *a, const bzShape *b, const bzV3 &m, float &T)
{
    const Parts A = PartsOf(a), B = PartsOf(b);
    if (!A.valid || !B.valid)
        return;
    const float R = A.rounding + B.rounding;
    if (A.faceCount > 0)
        HullAgainstVertexSpheres(A, Scale(m, -1.0f), B, R, T);
    if (B.faceCount > 0)
        HullAgainstVertexSpheres(B, m, A, R, T);
    for (int32_t i = 0; i < B.edgeCount; i++)
    {
        if (!EdgeOk(B, i))
            continue;
        const bzV3 pb = EdgeStart(B, i), eb = EdgeVector(B, i);
        for (int32_t j = 0; j < A.edgeCount; j++)
            if (EdgeOk(A, j))
                SweptSegmentSegment(EdgeStart(A, j), EdgeVector(A, j), pb, eb, m, R, T);
    }
}

} // namespace

#define ENTRY(row, column) ((row)*BZ_SHAPE_KIND_COUNT + (column))

const bzSweptPairTest bzSweptPairTable[BZ_SHAPE_KIND_COUNT * BZ_SHAPE_KIND_COUNT] = {
    // row 0 Null: nothing
    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
    nullptr, nullptr,
    // row 1 AlignedCuboid
    nullptr, BoxBox, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
    nullptr, nullptr,
    // row 2 Polyhedron
    nullptr, HullBox, HullHull, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
    nullptr, nullptr,
    // row 3 WireFrame
    nullptr, HullBox, HullHull, HullHull, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
    nullptr, nullptr,
    // row 4 Polygon
    nullptr, HullBox, HullHull, HullHull, HullHull, nullptr, nullptr, nullptr, nullptr, nullptr,
    nullptr, nullptr,
    // row 5 Sphere
    nullptr, SphereBox, SphereHull, SphereHull, SphereHull, SphereSphere, nullptr, nullptr, nullptr,
    nullptr, nullptr, nullptr,
    // row 6 TicTac
    nullptr, CapsuleBox, CapsuleHull, CapsuleHull, CapsuleHull, CapsuleSphere, CapsuleCapsule,
    nullptr, nullptr, nullptr, nullptr, nullptr,
    // row 7 Cuboid
    nullptr, CuboidBox, CuboidHull, CuboidHull, CuboidHull, CuboidSphere, CuboidCapsule,
    CuboidCuboid, nullptr, nullptr, nullptr, nullptr,
    // row 8 AlignedHalfSpace
    nullptr, PlaneVertices, PlaneVertices, PlaneVertices, PlaneVertices, PlaneSphere, PlaneCapsule,
    PlaneVertices, nullptr, nullptr, nullptr, nullptr,
    // row 9 HalfSpace
    nullptr, PlaneVertices, PlaneVertices, PlaneVertices, PlaneVertices, PlaneSphere, PlaneCapsule,
    PlaneVertices, nullptr, nullptr, nullptr, nullptr,
    // row 10 RoundedPolyhedron
    nullptr, RoundedBox, RoundedHull, RoundedHull, RoundedHull, RoundedSphere, RoundedCapsule,
    RoundedCuboid, RoundedPlane, RoundedPlane, RoundedRounded, nullptr,
    // row 11 CrushableCuboid: nothing
    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
    nullptr, nullptr};

int32_t bz_Form_SweptCollision(const bzForm *formA, const bzForm *formB, const bzV3 *motion,
                               float *timeOut)
{
    *timeOut = BZ_SWEPT_NO_HIT;
    if (!formA || !formB || !std::isfinite(motion->x) || !std::isfinite(motion->y) ||
        !std::isfinite(motion->z))
        return 0;
    const bzV3 back = Scale(*motion, -1.0f);
    float T = BZ_SWEPT_NO_HIT;
    for (const bzShape *a = formA->firstShape; a; a = a->next)
        for (const bzShape *b = formB->firstShape; b; b = b->next)
        {
            if (a->kind >= BZ_SHAPE_KIND_COUNT || b->kind >= BZ_SHAPE_KIND_COUNT)
                continue;
            if (a->kind > b->kind)
            {
                if (const bzSweptPairTest test = bzSweptPairTable[ENTRY(a->kind, b->kind)])
                    test(a, b, *motion, T);
            }
            else if (const bzSweptPairTest test = bzSweptPairTable[ENTRY(b->kind, a->kind)])
                test(b, a, back, T);
        }
    *timeOut = T;
    return T < 1.0f ? 1 : 0;
}
