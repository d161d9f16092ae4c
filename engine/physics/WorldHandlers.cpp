// The world collision handlers of sharp shapes: vertex and edge sweeps of the polyhedral kinds,
// face corners pushed out of a shape, and the handlers of the kinds the world does not collide.
#include "physics/WorldHandlers.h"

#include "collision/CollisionFace.h"
#include "collision/CollisionTolerance.h"
#include "collision/KindDispatch.h"
#include "collision/HullPrimitives.h"
#include "collision/PairMaths.h"
#include "collision/Shape.h"
#include "collision/ShapePair.h"
#include "collision/SweptContacts.h"
#include "core/Error.h"
#include "physics/Body.h"
#include "physics/WorldCollision.h"

#include <cmath>

using namespace bzPairMaths;

namespace
{
constexpr float kNoHit = 2.0f;
constexpr float kPushOutKey = 10.0f;
constexpr float kPushOutDeepKey = 11.1f;
constexpr float kPushOutMaxKey = 11.2f;
constexpr uint32_t kEdgeMasks[3] = {BZ_FACE_SKIP_EDGE_0, BZ_FACE_SKIP_EDGE_1, BZ_FACE_SKIP_EDGE_2};

// One shape edge's motion over the step.
struct MovingEdge
{
    bzV3 start, velocity, vector, rate;
};

MovingEdge EdgeOf(const bzShapeWork &work, int32_t i, int32_t j)
{
    MovingEdge e;
    e.start = work.newPositions[i];
    e.vector = Sub(work.newPositions[j], work.newPositions[i]);
    e.velocity = Sub(work.previousPositions[i], work.newPositions[i]);
    e.rate = Sub(Sub(work.previousPositions[j], work.previousPositions[i]), e.vector);
    return e;
}

// The middle of the shape's vertices under the body's pose: a point inside a convex shape.
bzV3 VertexMiddle(const bzShapeWork &work)
{
    bzV3 sum{};
    for (int32_t i = 0; i < work.vertexCount; i++)
        sum = AddScaled(sum, work.newPositions[i], 1.0f);
    return work.vertexCount > 0 ? AddScaled(bzV3{}, sum, 1.0f / float(work.vertexCount)) : sum;
}

// A corner that starts the step behind a face and does not end it back in front: the sweep
// finds no crossing, yet the corner rests in the face. Within the collision tolerance any such
// corner counts; deeper, one that sinks further over the step while the middle of the shape is
// still in front of the face (a body pushed into the floor, not one that lies beyond it). The
// face it lies least deep behind is touched at the start of the step (fraction 0), so the
// contact pushes the corner out instead of letting it sink further.
const bzCollisionFace *FaceBehind(const bzWorldCollisionState &st, const bzV3 &start,
                                  const bzV3 &delta, float *fractionOut)
{
    const bzCollisionFace *best = nullptr;
    float nearest = 0.0f;
    bool middleKnown = false;
    bzV3 middle{};
    for (int32_t f = 0; f < st.faceCount; f++)
    {
        const bzCollisionFace &face = st.faces[f];
        if (face.flags & (BZ_FACE_CANDIDATE | BZ_FACE_NEVER_COLLIDE))
            continue;
        const float dist = Dot(start, face.normal) - face.distance;
        const float along = Dot(delta, face.normal);
        if (!(dist < 0.0f) || (best && dist < nearest) || !(dist + along < 0.0f))
            continue;
        if (dist < -bzCollisionTolerance)
        {
            if (!middleKnown)
            {
                middle = VertexMiddle(*st.work);
                middleKnown = true;
            }
            if (!(along < 0.0f) || !(Dot(middle, face.normal) - face.distance > 0.0f))
                continue;
        }
        const bzV3 onPlane = AddScaled(start, face.normal, -dist);
        if (!bz_Face_PointInside(&face, &onPlane, BZ_FACE_INSIDE_HIGH))
            continue;
        nearest = dist;
        best = &face;
    }
    if (best)
        *fractionOut = 0.0f;
    return best;
}
} // namespace

bool bz_PhysWorld_OutsideSweptBox(const bzWorldCollisionState &st, const bzV3 &a, const bzV3 &b)
{
    const bzBox &box = st.work->sweptBox;
    const bzM34 &lump = st.previousPlacement;
    for (int32_t k = 0; k < 3; k++)
    {
        const float x = Dot(Sub(a, lump.row[3]), lump.row[k]);
        const float y = Dot(Sub(b, lump.row[3]), lump.row[k]);
        if ((x < box.min.v[k] && y < box.min.v[k]) || (x > box.max.v[k] && y > box.max.v[k]))
            return true;
    }
    return false;
}

void bz_PhysWorld_NullForm()
{
    BZ_SET_ORIGIN();
    bz_ReportError("Physics", "Null form");
}

void bz_PhysWorld_UnsupportedCollision()
{
    BZ_SET_ORIGIN();
    bz_ReportError("Physics Collision", "Unsupported form");
}

void bz_PhysWorld_UnsupportedIntersection()
{
    BZ_SET_ORIGIN();
    bz_ReportError("Physics Intersection", "Unsupported form");
}

void bz_PhysWorld_CollidePolyhedron()
{
    bz_PhysWorld_SweepVertices();
    bz_PhysWorld_SweepEdges();
}

int32_t bz_PhysWorld_SweepVertices()
{
    bzWorldCollisionState &st = bz_PhysWorld_State();
    const bzShapeWork &work = *st.work;
    for (int32_t i = 0; i < work.vertexCount; i++)
    {
        if (work.marks[i])
            continue;
        const bzV3 delta = Sub(work.previousPositions[i], work.newPositions[i]);
        float fraction = kNoHit;
        bzV3 hit, normal;
        const bzCollisionFace *face =
            bz_PhysWorld_NearestFaceHit(&work.newPositions[i], &delta, &fraction, &hit, &normal);
        if (!face)
            face = FaceBehind(st, work.newPositions[i], delta, &fraction);
        if (!face)
            continue;
        st.face = face;
        const bzV3 point = Point(&st.worldToBody, work.newPositions[i]);
        const bzV3 n = Direction(&st.worldToBody, face->normal);
        bz_PhysWorld_AddContact(fraction, &point, &n, BZ_CONTACT_POINT_ON_FACE, face, nullptr);
    }
    return st.count;
}

void bz_PhysWorld_ForEachOpenFaceEdge(void (*edge)(const bzV3 *a, const bzV3 *b))
{
    bzWorldCollisionState &st = bz_PhysWorld_State();
    for (int32_t f = 0; f < st.faceCount; f++)
    {
        const bzCollisionFace &face = st.faces[f];
        if (face.flags & BZ_FACE_CANDIDATE)
            continue;
        st.face = &face;
        for (int32_t k = 0; k < 3; k++)
        {
            if (face.flags & kEdgeMasks[k])
                continue;
            st.corner = k;
            edge(&face.corners[k], &face.corners[(k + 1) % 3]);
        }
    }
}

void bz_PhysWorld_SweepEdges()
{
    bz_PhysWorld_ForEachOpenFaceEdge(bz_PhysWorld_EdgeAgainstFaceEdges);
}

void bz_PhysWorld_EdgeAgainstFaceEdges(const bzV3 *a, const bzV3 *b)
{
    bzWorldCollisionState &st = bz_PhysWorld_State();
    const bzShapeWork &work = *st.work;
    if (bz_PhysWorld_OutsideSweptBox(st, *a, *b))
        return;
    if (!st.body->worldIntersecting)
    {
        bz_PhysWorld_PushOutPoint(a, 0.0f);
        bz_PhysWorld_PushOutPoint(b, 0.0f);
    }
    const bzV3 f = Sub(*b, *a);
    const bzSweptFrames frames{nullptr, nullptr, nullptr};
    bzCollisionContact best{}, second{};
    best.key = second.key = kNoHit;
    bzV3 bestRate{};
    for (int32_t e = 0; e < work.edgeCount; e++)
    {
        const bzHullEdge &edge = work.edges[e];
        if (edge.a >= work.vertexCount || edge.b >= work.vertexCount)
            continue;
        const MovingEdge m = EdgeOf(work, edge.a, edge.b);
        bzCollisionContact found{};
        found.key = second.key;
        if (bz_SweptEdgeCrossing(a, &f, &m.start, &m.velocity, &m.vector, &m.rate, &found,
                                 &frames) != 1 ||
            !(found.key < second.key))
            continue;
        if (found.key < best.key)
        {
            second = best;
            best = found;
            bestRate = m.rate;
        }
        else
            second = found;
    }
    if (!(best.key < kNoHit))
        return;
    if (Dot(best.normal, st.face->normal) < 0.0f)
    {
        // Against the face: no contact when the face edge's start runs into the shape as the
        // edge turns.
        const bzV3 start = Point(&st.worldToBody, *a);
        const bzV3 end = Add(start, Direction(&st.worldToBody, bestRate));
        bzV3 hit;
        float t = 0.0f;
        if (bz_SegmentEntersShape_ByKind(&start, &end, st.shape, &hit, &t, nullptr) > 0)
            return;
    }
    bz_PhysWorld_ContactToBody(&best);
    bz_PhysWorld_ContactToBody(&second);
    bz_PhysWorld_AddContact(best.key, &best.point, &best.normal, BZ_CONTACT_EDGE_FACE_EDGE, st.face,
                            &best.otherPoint);
    if (second.key < kNoHit)
        bz_PhysWorld_AddContact(second.key, &second.point, &second.normal,
                                BZ_CONTACT_EDGE_FACE_EDGE, st.face, &second.otherPoint);
}

void bz_PhysWorld_PushOutPoint(const bzV3 *corner, float radius)
{
    bzWorldCollisionState &st = bz_PhysWorld_State();
    const bzV3 atNew = Point(&st.worldToBody, *corner);
    const bzV3 atPrevious = st.pushOut ? atNew : Point(&st.inverseLump, *corner);
    float fraction = 0.0f, mark = 0.0f, base = 0.0f;
    bzV3 point{}, normal{};
    int32_t code = 0;
    if (radius == 0.0f)
    {
        // The kind's normal points into the shape: from the world into the body already.
        code = bz_PointAgainstShape_ByKind(st.shape, &atNew, &atPrevious, &fraction, &point,
                                           &normal, &mark);
    }
    else
    {
        const bzHull *hull = bz_Shape_Hull(st.shape);
        if (!hull)
            return;
        const bzV3 delta = Sub(atPrevious, atNew);
        code = bz_SegmentAgainstRoundedHull(&atNew, &delta, radius, 0.0f, hull, radius, nullptr, 1,
                                            &fraction, &point, &normal);
        // The plane's outward normal turned to run from the world into the body.
        normal = Scale(normal, -1.0f);
        base = fraction;
    }
    if (code <= 0)
        return;
    if (!(st.body->secondFlags & 0x2) && !bz_Shape_ContainsPoint(st.shape, &atPrevious))
        return;
    float key = code > 512 ? kPushOutDeepKey : base + kPushOutKey;
    if (key > kPushOutMaxKey)
        key = kPushOutMaxKey;
    bz_PhysWorld_AddContact(key, &atNew, &normal, BZ_CONTACT_POINT_PUSHED_OUT, st.face, nullptr);
}
