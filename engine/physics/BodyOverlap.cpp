// Body overlap queries and the push-out direction.
#include "physics/BodyOverlap.h"

#include "collision/CollisionTolerance.h"
#include "collision/PairMaths.h"
#include "collision/SegmentTests.h"
#include "core/Error.h"
#include "maths/Geometry.h"
#include "maths/Matrix.h"
#include "maths/Vector.h"
#include "physics/Body.h"
#include "physics/BroadPhase.h"
#include "physics/WorldCollision.h"

#include <cmath>

using namespace bzPairMaths;

namespace
{
BZDObject *gLastOverlapped;

const bzM34 &Placement(const BZDObject *b)
{
    return b->transform ? *b->transform : b->startTransform;
}

// The form's box under the body's placement.
bzBox WorldBox(const BZDObject *b)
{
    const bzM34 &m = Placement(b);
    bzV3 c;
    bz_Box_Corner(&b->form->bounds, 0, &c);
    bzV3 p = Point(&m, c);
    bzBox box = {p, p};
    for (int32_t i = 1; i < 8; i++)
    {
        bz_Box_Corner(&b->form->bounds, i, &c);
        p = Point(&m, c);
        bz_Box_AddPoint(&box, &p);
    }
    return box;
}

bool BoxesOverlap(const BZDObject *a, const BZDObject *b)
{
    if (!a->form || !b->form)
        return false;
    const bzBox ba = WorldBox(a), bb = WorldBox(b);
    return bz_Box_Overlap(&ba, &bb) != 0;
}

// Carries points of A's frame into B's: A's placement, then B's inverse.
bzM34 AIntoB(const BZDObject *a, const BZDObject *b)
{
    bzM34 inv, out;
    bz_InverseOrthoM34Into(&Placement(b), &inv);
    bz_MulM34Into(&inv, &out, &Placement(a));
    return out;
}

bool IsBoxKind(const bzShape *s)
{
    return s->kind == BZ_SHAPE_ALIGNED_CUBOID || s->kind == BZ_SHAPE_WIRE_FRAME ||
           s->kind == BZ_SHAPE_SPHERE;
}

bool IsAlignedCuboid(const BZDObject *b)
{
    return b->form && b->form->firstShape && b->form->firstShape->kind == BZ_SHAPE_ALIGNED_CUBOID;
}

// 1 when the segment crosses or starts inside shape b.
bool SegmentMeets(const bzV3 &s, const bzV3 &e, const bzShape *b)
{
    bzV3 hit;
    float t;
    if (IsBoxKind(b))
        return bz_Segment_AlignedBox(&s, &e, bz_Shape_Bounds(b), &hit, &t) != 0;
    if (b->kind == BZ_SHAPE_POLYHEDRON || b->kind == BZ_SHAPE_POLYGON)
        return bz_Segment_Hull(&s, &e, bz_Shape_Hull(b), bzCollisionTolerance, &hit, &t) != 0;
    return false;
}

void BoxCorners(const bzBox *box, const bzM34 &m, bzV3 *out)
{
    for (int32_t i = 0; i < 8; i++)
    {
        bzV3 c;
        bz_Box_Corner(box, i, &c);
        out[i] = Point(&m, c);
    }
}

bool IsParentPair(const BZDObject *a, const BZDObject *b)
{
    return a->parent == b || b->parent == a;
}

bzV3 ReferencePoint(const BZDObject *b)
{
    return Point(&Placement(b), b->centreOfMass);
}
} // namespace

int32_t TestShapeEdgeIntersection(const bzShape *a, const BZDObject *bodyA, const bzShape *b,
                                  const BZDObject *bodyB)
{
    const bzM34 m = AIntoB(bodyA, bodyB);
    if (IsBoxKind(a))
    {
        bzV3 corners[8];
        BoxCorners(bz_Shape_Bounds(a), m, corners);
        for (const bzHullEdge &e : bzgCuboidEdges)
            if (SegmentMeets(corners[e.a], corners[e.b], b))
                return 1;
        return 0;
    }
    if (a->kind == BZ_SHAPE_POLYHEDRON || a->kind == BZ_SHAPE_POLYGON)
    {
        const bzHull *h = bz_Shape_Hull(a);
        for (int32_t i = 0; h->edges && i < h->edgeCount; i++)
        {
            const bzHullEdge &e = h->edges[i];
            if (e.a >= h->vertexCount || e.b >= h->vertexCount)
                continue;
            if (SegmentMeets(Point(&m, h->vertices[e.a]), Point(&m, h->vertices[e.b]), b))
                return 1;
        }
        return 0;
    }
    bzgErrorFile = "bz_PhysWorldColl";
    bzgErrorLine = 0;
    bz_ReportError("TestShapeEdgeIntersection", "Unsupported shape");
    return 0;
}

int32_t bz_PhysObject_FormsOverlap(const BZDObject *a, const BZDObject *b)
{
    if (!bz_Phys_BodiesMayCollide(a, b) || !BoxesOverlap(a, b))
        return 0;
    for (const bzShape *sa = a->form->firstShape; sa; sa = sa->next)
        for (const bzShape *sb = b->form->firstShape; sb; sb = sb->next)
            if (TestShapeEdgeIntersection(sa, a, sb, b) || TestShapeEdgeIntersection(sb, b, sa, a))
                return 1;
    return 0;
}

int32_t bz_PhysObject_OverlapsBody(const BZDObject *a, const BZDObject *b)
{
    if (a == b || IsParentPair(a, b))
        return 0;
    return bz_PhysObject_FormsOverlap(a, b);
}

int32_t bz_PhysObject_OverlapsBodyTree(const BZDObject *a, const BZDObject *b)
{
    if (a != b && !IsParentPair(a, b) && bz_PhysObject_FormsOverlap(a, b))
        return 1;
    for (const BZDObject *child = b->firstChild; child; child = child->nextSibling)
        if (bz_PhysObject_OverlapsBodyTree(a, child))
            return 1;
    return 0;
}

int32_t bz_PhysObject_PushOutDirection(BZDObject *body, BZDObject *list, bzV3 *out)
{
    gLastOverlapped = nullptr;
    if (!body || !body->form)
        return -1;
    body->bodyBox = WorldBox(body);

    bzCollisionContact rows[BZ_CONTACTS_PER_BODY + 1];
    bz_PhysWorld_SetPushOutMode(1);
    const int32_t k = bz_PhysWorld_CollideObject(0, body, rows);
    bz_PhysWorld_SetPushOutMode(0);
    if (k > 0)
    {
        bzV3 sum = rows[0].normal;
        for (int32_t i = 1; i < k; i++)
            sum = Add(sum, rows[i].normal);
        const float l2 = LengthSq(sum);
        if (l2 > 0.0f)
        {
            sum = Scale(sum, 1.0f / std::sqrt(l2));
            *out = Direction(&body->startTransform, sum);
            return 0;
        }
    }
    for (BZDObject *other = list; other; other = other->nextSibling)
    {
        if (!other->form || !bz_PhysObject_OverlapsBodyTree(body, other))
            continue;
        gLastOverlapped = other;
        bzV3 d = Sub(ReferencePoint(body), ReferencePoint(other));
        const float l2 = LengthSq(d);
        *out = l2 > 0.0f ? Scale(d, 1.0f / std::sqrt(l2)) : V(0.0f, 1.0f, 0.0f);
        return 0;
    }
    return -1;
}

BZDObject *bz_PhysObject_LastOverlapped()
{
    return gLastOverlapped;
}

int32_t bz_PhysObject_CountOverlappingSiblings(BZDObject *body, BZDObject *list)
{
    if (!body)
        return 0;
    int32_t count = 0;
    for (BZDObject *sibling = body->nextSibling; sibling; sibling = sibling->nextSibling)
    {
        bzV3 out;
        if (bz_PhysObject_PushOutDirection(sibling, list, &out) == 0)
            count++;
    }
    return count;
}

int32_t bz_PhysObject_CuboidEdgesCross(const BZDObject *a, const BZDObject *b)
{
    if (!IsAlignedCuboid(a) || !IsAlignedCuboid(b) || !BoxesOverlap(a, b))
        return 0;
    bzV3 ca[8], cb[8];
    BoxCorners(bz_Shape_Bounds(a->form->firstShape), AIntoB(a, b), ca);
    bzM34 identity;
    bz_M34_SetIdentity(&identity);
    BoxCorners(bz_Shape_Bounds(b->form->firstShape), identity, cb);
    for (const bzHullEdge &eb : bzgCuboidEdges)
        for (const bzHullEdge &ea : bzgCuboidEdges)
            if (bz_SegmentsCross(&cb[eb.a], &cb[eb.b], &ca[ea.a], &ca[ea.b]))
                return 1;
    return 0;
}

int32_t bz_PhysObject_CuboidsTouch(const BZDObject *a, const BZDObject *b)
{
    if (!IsAlignedCuboid(a) || !IsAlignedCuboid(b))
        return 0;
    const bzBox *boxA = bz_Shape_Bounds(a->form->firstShape);
    const bzBox *boxB = bz_Shape_Bounds(b->form->firstShape);
    bzV3 ca[8], cb[8];
    BoxCorners(boxA, AIntoB(a, b), ca);
    BoxCorners(boxB, AIntoB(b, a), cb);
    bzV3 hit;
    float t;
    for (const bzHullEdge &e : bzgCuboidEdges)
        if (bz_Segment_AlignedBox(&ca[e.a], &ca[e.b], boxB, &hit, &t))
            return 1;
    for (const bzHullEdge &e : bzgCuboidEdges)
        if (bz_Segment_AlignedBox(&cb[e.a], &cb[e.b], boxA, &hit, &t))
            return 1;
    return 0;
}

int32_t bz_PhysObject_AnyCuboidPairCrosses(const BZDObject *first)
{
    for (const BZDObject *a = first; a; a = a->nextSibling)
        for (const BZDObject *b = a->nextSibling; b; b = b->nextSibling)
            if (bz_PhysObject_CuboidEdgesCross(a, b))
                return 1;
    return 0;
}
