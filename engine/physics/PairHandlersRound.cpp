// Pair handlers of round shapes: spheres, tic-tacs and rounded polyhedra against each other and
// against polyhedral shapes.
//
// The round feature moves through the frame of the shape it meets: a sphere's centre or a
// tic-tac's end centres as prepared points, a vertex or edge of the other shape as its own
// geometry. A ball (a centre with a radius) meets a convex shape through its faces grown by the
// radius and its edges as cylinders; a tic-tac's axis meets edges and vertices with the quartic
// distance tests. The radius of a rounded polyhedron joins the ball's.
#include "collision/CollisionTolerance.h"
#include "collision/EdgePrimitives.h"
#include "collision/KindDispatch.h"
#include "collision/PairTests.h"
#include "collision/PairMaths.h"
#include "collision/SegmentTests.h"
#include "physics/Body.h"
#include "physics/PairHandlers.h"

#include <cmath>
#include <initializer_list>
#include <utility>

using namespace bzPairMaths;

namespace
{
constexpr float kNoLimit = 2.0f;
constexpr float kFaceSlack = 1e-4f;

// Exchanges the roles of the two bodies in the pair state.
void SwapBodies()
{
    bzPhysCollPair &s = bz_PhysColl_Pair();
    std::swap(s.body[0], s.body[1]);
    std::swap(s.shape[0], s.shape[1]);
    std::swap(s.start[0], s.start[1]);
    std::swap(s.end[0], s.end[1]);
    std::swap(s.toFirst, s.toSecond);
    std::swap(s.codes[0], s.codes[1]);
    std::swap(s.centreDirection[0], s.centreDirection[1]);
}

float Radius(const bzShape *shape)
{
    if (shape->kind == BZ_SHAPE_SPHERE)
        return static_cast<const bzSphereShape *>(shape)->radius;
    if (shape->kind == BZ_SHAPE_TIC_TAC)
        return static_cast<const bzTicTacShape *>(shape)->radius;
    return bz_PhysColl_Rounding(shape);
}

bool IsBox(const bzShape *shape)
{
    return shape->kind == BZ_SHAPE_ALIGNED_CUBOID || shape->kind == BZ_SHAPE_CRUSHABLE_CUBOID;
}

int32_t VertexCount(const bzShape *shape)
{
    if (IsBox(shape))
        return 8;
    const bzHull *hull = bz_Shape_Hull(shape);
    return hull ? hull->vertexCount : 0;
}

// The face planes of a shape that has faces: its hull's, or the six of a box.
struct Faces
{
    bzPlane box[6];
    bzHull hull;
};

bool FacesOf(const bzShape *shape, Faces *out)
{
    out->hull = bzHull{};
    if (IsBox(shape))
    {
        const bzBox *b = bz_Shape_Bounds(shape);
        for (int32_t axis = 0; axis < 3; axis++)
        {
            bzPlane &hi = out->box[axis], &lo = out->box[axis + 3];
            hi.n = V(0.0f, 0.0f, 0.0f);
            lo.n = V(0.0f, 0.0f, 0.0f);
            hi.n.v[axis] = 1.0f;
            hi.d = b->max.v[axis];
            lo.n.v[axis] = -1.0f;
            lo.d = -b->min.v[axis];
        }
        out->hull.faceCount = 6;
        out->hull.planes = out->box;
        return true;
    }
    if (shape->kind == BZ_SHAPE_POLYHEDRON || shape->kind == BZ_SHAPE_POLYGON ||
        shape->kind == BZ_SHAPE_ROUNDED_POLYHEDRON)
    {
        const bzHull *hull = bz_Shape_Hull(shape);
        if (!hull->planes || hull->faceCount < 1)
            return false;
        out->hull = *hull;
        return true;
    }
    return false;
}

bool FootInside(const bzHull &hull, const bzV3 &foot, int32_t skip)
{
    for (int32_t j = 0; j < hull.faceCount; j++)
        if (j != skip && Dot(hull.planes[j].n, foot) - hull.planes[j].d > kFaceSlack)
            return false;
    return true;
}

int32_t Deepest(const bzHull &hull, const bzV3 &p, float *distance)
{
    int32_t best = -1;
    float d = -3.4e38f;
    for (int32_t j = 0; j < hull.faceCount; j++)
    {
        const float e = Dot(hull.planes[j].n, p) - hull.planes[j].d;
        if (e > d)
        {
            d = e;
            best = j;
        }
    }
    *distance = d;
    return best;
}

// A ball's touch on a face: its time, the face's outward normal and the touched point on the
// face grown by the shape's rounding, in the face body's frame.
struct FaceTouch
{
    float time;
    bzV3 normal;
    bzV3 hit;
};

// A ball of radius ballRadius + rounding whose centre moves from c0 to c1 through the frame of
// body `fixed` against the faces of its shape (grown by its rounding). -1 when the centre starts
// inside the shape, 1 with the touch written, else 0.
int32_t BallOnFaces(int32_t fixed, const bzV3 &c0, const bzV3 &c1, float ballRadius, float rounding,
                    FaceTouch *out)
{
    const bzPhysCollPair &s = bz_PhysColl_Pair();
    Faces faces;
    if (!FacesOf(s.shape[fixed], &faces))
        return 0;
    const bzHull &hull = faces.hull;
    const float r = ballRadius + rounding;
    const float tol = bzCollisionTolerance;
    bzV3 hit;
    float t = 2.0f;
    const int32_t code = bz_Segment_Hull(&c0, &c1, &hull, r, &hit, &t);
    bzV3 foot;
    if (code > 0 && t < 1.0f)
    {
        const bzPlane &plane = hull.planes[code - 1];
        foot = AddScaled(hit, plane.n, -r);
        if (!FootInside(hull, foot, code - 1))
            return 0;
        out->time = t;
        out->normal = plane.n;
    }
    else if (code < 0)
    {
        float depth;
        const int32_t k = Deepest(hull, c0, &depth);
        if (k < 0)
            return 0;
        if (depth < 0.0f)
            return -1;
        const bzPlane &plane = hull.planes[k];
        foot = AddScaled(c0, plane.n, -depth);
        if (depth < r - tol || !FootInside(hull, foot, k))
            return 0;
        out->time = 0.0f;
        out->normal = plane.n;
    }
    else if (code == 0)
    {
        float depth;
        const int32_t k = Deepest(hull, c1, &depth);
        if (k < 0 || depth < r - tol || depth > r + tol)
            return 0;
        const bzPlane &plane = hull.planes[k];
        foot = AddScaled(c1, plane.n, -depth);
        if (!FootInside(hull, foot, k))
            return 0;
        out->time = BZ_PAIR_TIME_END_TOUCH;
        out->normal = plane.n;
    }
    else
        return 0;
    out->hit = AddScaled(foot, out->normal, rounding);
    return 1;
}

// A ball moving through the frame of body `fixed` against one edge a-b of its shape.
void BallOnEdge(int32_t fixed, const bzV3 &a, const bzV3 &b, const bzV3 &c0, const bzV3 &c1,
                float ballRadius, float rounding, const bzV3 &movingOwn, uint32_t tag)
{
    bzSphereShape ball{};
    ball.kind = BZ_SHAPE_SPHERE;
    ball.radius = ballRadius + rounding;
    ball.radiusSquared = ball.radius * ball.radius;
    float time = 100.0f;
    bzV3 point, normal;
    bz_SweptPointEdgeRadius(&a, &b, &c0, &c1, &ball, &time, &point, &normal, 0, 0);
    if (!(time <= 1.0f))
        return;
    bzPairTouch touch;
    touch.time = time < 1.0f ? time : BZ_PAIR_TIME_END_TOUCH;
    touch.fixedParam = 0.0f;
    touch.movingParam = 0.0f;
    touch.normal = Scale(normal, -1.0f);
    bz_PhysColl_AddTouch(fixed, touch, point, rounding, movingOwn, ballRadius, tag);
}

// The ball against every edge of the fixed shape whose ends' outcodes share no bit.
void BallOnEdges(int32_t fixed, const bzV3 &c0, const bzV3 &c1, float ballRadius, float rounding,
                 const bzV3 &movingOwn, uint32_t tag)
{
    const bzPhysCollPair &s = bz_PhysColl_Pair();
    const bzShape *shape = s.shape[fixed];
    int32_t count = 0;
    const bzHullEdge *edges = bz_PhysColl_Edges(shape, &count);
    const int32_t vertices = VertexCount(shape);
    for (int32_t i = 0; edges && i < count; i++)
    {
        const bzHullEdge &e = edges[i];
        if (e.a >= vertices || e.b >= vertices || (s.codes[fixed][e.a] & s.codes[fixed][e.b]))
            continue;
        BallOnEdge(fixed, bz_PhysColl_OwnPoint(shape, e.a), bz_PhysColl_OwnPoint(shape, e.b), c0,
                   c1, ballRadius, rounding, movingOwn, tag);
    }
}

// The sphere of body 0 against the convex shape of body 1 (rounded by its rounding radius).
void SphereConvex(const bzPhysShapePoint *p1, const bzPhysShapePoint *p2, int32_t n2)
{
    bzPhysCollPair &s = bz_PhysColl_Pair();
    const float rs = Radius(s.shape[0]);
    const float rounding = bz_PhysColl_Rounding(s.shape[1]);
    if (!bz_PhysColl_ClipPoints(p1, 1, p2, n2, s.codes[0], s.codes[1], rs, rounding))
        return;
    const bzV3 own = bz_PhysColl_OwnPoint(s.shape[0], 0);
    if (rounding > 0.0f)
    {
        bz_PhysColl_RoundedPointsOnFaces(0, p1, 1, rs, rounding);
        bz_PhysColl_SphereRoundedEdges(1, p1[0].start, p1[0].end, rs, own);
        return;
    }
    FaceTouch face;
    if (BallOnFaces(1, p1[0].start, p1[0].end, rs, 0.0f, &face) > 0)
    {
        // A touch found only at the end of the step is held along the face's normal at the
        // start: the rows push the bodies as they are now, and the face body's turn over the
        // trial step (which the solve may undo) must not tilt the push. The contact takes its
        // normal through the end frame at this time, so it is given as the start normal there.
        if (face.time > 1.0f)
        {
            const bzV3 w = Direction(&s.start[1], face.normal);
            const bzM34 &e = s.end[1];
            face.normal = V(Dot(w, e.row[0]), Dot(w, e.row[1]), Dot(w, e.row[2]));
        }
        bz_PhysColl_AddSphereFaceContact(1, face.normal, face.time, face.hit, own, rs);
    }
    BallOnEdges(1, p1[0].start, p1[0].end, rs, 0.0f, own, BZ_PHYS_CONTACT_SPHERE_POLYHEDRON);
}

// The moving axis of body 0's tic-tac in body 1's frame.
struct MovingAxis
{
    bzV3 a, v, e, w;
};

MovingAxis AxisOf(const bzPhysShapePoint *ends)
{
    MovingAxis m;
    m.a = ends[0].start;
    m.v = Sub(ends[0].end, ends[0].start);
    m.e = Sub(ends[1].start, ends[0].start);
    m.w = Sub(Sub(ends[1].end, ends[0].end), m.e);
    return m;
}

bzV3 Along(const bzShape *shape, int32_t a, int32_t b, float s)
{
    const bzV3 pa = bz_PhysColl_OwnPoint(shape, a);
    return AddScaled(pa, Sub(bz_PhysColl_OwnPoint(shape, b), pa), s);
}

// A touch of sphere-against-cylinder's row: the sphere (moving) met the axis x0 + u axis.
void AddCylinderRow(int32_t fixed, const bzCollisionContact &row, const bzV3 &c0, const bzV3 &c1,
                    const bzV3 &x0, const bzV3 &axis, float axisRadius, const bzV3 &movingOwn,
                    float ballRadius)
{
    const float t = row.key < 1.0f ? row.key : 1.0f;
    const bzV3 centre = AddScaled(c0, Sub(c1, c0), t);
    const float aa = LengthSq(axis);
    float u = aa > 0.0f ? Dot(Sub(centre, x0), axis) / aa : 0.0f;
    u = u < 0.0f ? 0.0f : (u > 1.0f ? 1.0f : u);
    bzPairTouch touch;
    touch.time = row.key < 1.0f ? row.key : BZ_PAIR_TIME_END_TOUCH;
    touch.fixedParam = u;
    touch.movingParam = 0.0f;
    // The direction from the axis to the centre at the touch (the test's own normal is a blend
    // of the directions at the start and the end of the step).
    const bzV3 onAxis = AddScaled(x0, axis, u);
    const bzV3 across = Sub(centre, onAxis);
    const float l2 = LengthSq(across);
    touch.normal = l2 > 0.0f ? Scale(across, 1.0f / std::sqrt(l2)) : row.normal;
    bz_PhysColl_AddTouch(fixed, touch, onAxis, axisRadius, movingOwn, ballRadius,
                         BZ_PHYS_CONTACT_SEGMENT);
}

// One bit for each vertex a shape may have.
struct VertexMask
{
    uint32_t words[(BZ_PHYS_PAIR_SHAPE_POINTS + 31) / 32];

    void Fill(bool set)
    {
        for (uint32_t &word : words)
            word = set ? ~0u : 0u;
    }
    bool Has(int32_t vertex) const { return ((words[vertex >> 5] >> (vertex & 31)) & 1u) != 0; }
    void Set(int32_t vertex) { words[vertex >> 5] |= 1u << (vertex & 31); }
};

// A tic-tac's axis is the one edge of its side.
constexpr bzHullEdge kAxisEdge[1] = {{0, 1}};

const bzHullEdge *EdgesOf(const bzShape *shape, int32_t *count, int32_t *vertices)
{
    if (shape->kind == BZ_SHAPE_TIC_TAC)
    {
        *count = 1;
        *vertices = 2;
        return kAxisEdge;
    }
    const int32_t n = VertexCount(shape);
    *vertices = n < BZ_PHYS_PAIR_SHAPE_POINTS ? n : BZ_PHYS_PAIR_SHAPE_POINTS;
    return bz_PhysColl_Edges(shape, count);
}

// The edges of body `collected`'s shape held in its frame (radius rC) against the edges of the
// other body's shape moving through that frame (movingPoints, radius rM). Only edges whose end
// outcodes share no bit and are not both 0xFF take part.
//
// Each moving edge meets each collected edge with both radii. When their lines come within
// reach only beyond an end, the ends decide: the moving edge's end balls against the collected
// edge, the collected edge's end balls against the moving edge, and two ends that are each
// other's nearest ball to ball; the earliest touch among them makes the one contact of the two
// edges. A moving vertex's ball is tried with the first moving edge it belongs to (against every
// collected edge), a collected vertex's once for each moving edge; the masks hold a bit for
// every vertex a shape may have. With collectedVerticesDone the collected vertices are left out
// of the end tests (the caller has tried them against the moving edges).
void RoundedEdges(int32_t collected, const bzPhysShapePoint *movingPoints, float rC, float rM,
                  bool collectedVerticesDone)
{
    bzPhysCollPair &s = bz_PhysColl_Pair();
    if ((collected != 0 && collected != 1) || !movingPoints || !(rC >= 0.0f) || !(rM >= 0.0f) ||
        !std::isfinite(rC + rM))
        return;
    const int32_t moving = 1 - collected;
    const bzShape *cs = s.shape[collected], *ms = s.shape[moving];
    int32_t cCount = 0, mCount = 0, cVertices = 0, mVertices = 0;
    const bzHullEdge *cEdges = EdgesOf(cs, &cCount, &cVertices);
    const bzHullEdge *mEdges = EdgesOf(ms, &mCount, &mVertices);
    if (!cEdges || !mEdges)
        return;
    const uint8_t *cCodes = s.codes[collected], *mCodes = s.codes[moving];
    auto usable = [](const bzHullEdge &e, int32_t vertices, const uint8_t *codes)
    {
        if (e.a >= vertices || e.b >= vertices)
            return false;
        return !(codes[e.a] & codes[e.b]) && (codes[e.a] | codes[e.b]) != 0xFF;
    };
    const float r = rC + rM;
    VertexMask movingDone, collectedDone;
    movingDone.Fill(false);
    float limit = kNoLimit;
    for (int32_t m = 0; m < mCount; m++)
    {
        const bzHullEdge &me = mEdges[m];
        if (!usable(me, mVertices, mCodes))
            continue;
        const int32_t mEnd[2] = {me.a, me.b};
        const bzPhysShapePoint &ma = movingPoints[me.a], &mb = movingPoints[me.b];
        const bzV3 p0 = ma.start, v = Sub(ma.end, ma.start);
        const bzV3 e0 = Sub(mb.start, ma.start);
        const bzV3 w = Sub(Sub(mb.end, ma.end), e0);
        collectedDone.Fill(collectedVerticesDone);
        for (int32_t c = 0; c < cCount; c++)
        {
            const bzHullEdge &ce = cEdges[c];
            if (!usable(ce, cVertices, cCodes))
                continue;
            const int32_t cEnd[2] = {ce.a, ce.b};
            const bzV3 q = bz_PhysColl_OwnPoint(cs, ce.a);
            const bzV3 f = Sub(bz_PhysColl_OwnPoint(cs, ce.b), q);
            bzPairTouch touch;
            const int32_t result = bz_PairEdgesWithRadii(r, q, f, p0, v, e0, w, limit, &touch);
            if (result > 0)
            {
                bz_PhysColl_AddTouch(collected, touch, AddScaled(q, f, touch.fixedParam), rC,
                                     Along(ms, me.a, me.b, touch.movingParam), rM,
                                     BZ_PHYS_CONTACT_SEGMENT);
                limit = kNoLimit;
            }
            else if (result < 0)
            {
                // The ends decide: every end ball still to try against the other edge, the
                // earliest touch making the contact. Each test that finds none names the nearest
                // end of the other edge (-1 the first, -2 the second), 0 when the end was not
                // tried or passes clear.
                int32_t movingNearest[2] = {0, 0}, collectedNearest[2] = {0, 0};
                float earliest = kNoLimit;
                int32_t best = -1; // 0, 1 a moving end; 2, 3 a collected end
                bzCollisionContact rows[2];
                bzPairTouch touches[2];
                for (int32_t j = 0; j < 2; j++)
                {
                    const int32_t vertex = mEnd[j];
                    if (mCodes[vertex] || movingDone.Has(vertex))
                        continue;
                    const bzPhysShapePoint &end = movingPoints[vertex];
                    rows[j] = bzCollisionContact{};
                    rows[j].key = kNoLimit;
                    const int32_t got = bz_SweptSphereAgainstCylinder(&end.start, &end.end, &q, &f,
                                                                      rM, rC, &rows[j], nullptr);
                    // A touch only at the end of the step comes after every touch within it.
                    const float time = rows[j].key < 1.0f ? rows[j].key : BZ_PAIR_TIME_END_TOUCH;
                    if (got > 0 && time < earliest)
                    {
                        earliest = time;
                        best = j;
                    }
                    else if (got < 0)
                        movingNearest[j] = got;
                }
                for (int32_t k = 0; k < 2; k++)
                {
                    const int32_t vertex = cEnd[k];
                    if (cCodes[vertex] || collectedDone.Has(vertex))
                        continue;
                    const int32_t got = bz_PairSphereMovingSegment(
                        r, bz_PhysColl_OwnPoint(cs, vertex), p0, v, e0, w, &touches[k]);
                    if (got > 0 && touches[k].time < earliest)
                    {
                        earliest = touches[k].time;
                        best = 2 + k;
                    }
                    else if (got < 0)
                        collectedNearest[k] = got;
                }
                // Two ends nearest to each other meet as balls.
                bzPairTouch balls[2];
                for (int32_t k = 0; k < 2; k++)
                {
                    const int32_t jj = -1 - collectedNearest[k];
                    if (jj < 0 || jj > 1 || movingNearest[jj] != -1 - k)
                        continue;
                    const bzPhysShapePoint &end = movingPoints[mEnd[jj]];
                    if (bz_PairPointMovingSphere(r, bz_PhysColl_OwnPoint(cs, cEnd[k]), end.start,
                                                 Sub(end.end, end.start), &balls[k]) &&
                        balls[k].time < earliest)
                    {
                        earliest = balls[k].time;
                        best = 4 + k;
                    }
                }
                if (best >= 4)
                {
                    const int32_t k = best - 4, jj = -1 - collectedNearest[k];
                    bz_PhysColl_AddRadiusContact(
                        collected, Scale(balls[k].normal, -1.0f), bz_PhysColl_OwnPoint(cs, cEnd[k]),
                        bz_PhysColl_OwnPoint(ms, mEnd[jj]), balls[k].time, rC, rM);
                }
                else if (best >= 2)
                {
                    const bzPairTouch &t = touches[best - 2];
                    bz_PhysColl_AddTouch(collected, t, bz_PhysColl_OwnPoint(cs, cEnd[best - 2]), rC,
                                         Along(ms, me.a, me.b, t.movingParam), rM,
                                         BZ_PHYS_CONTACT_SEGMENT);
                }
                else if (best >= 0)
                {
                    const bzPhysShapePoint &end = movingPoints[mEnd[best]];
                    AddCylinderRow(collected, rows[best], end.start, end.end, q, f, rC,
                                   bz_PhysColl_OwnPoint(ms, mEnd[best]), rM);
                }
            }
            collectedDone.Set(ce.a);
            collectedDone.Set(ce.b);
        }
        movingDone.Set(me.a);
        movingDone.Set(me.b);
    }
}

// The tic-tac of body 0 against the convex shape of body 1: its end balls against the shape's
// faces, then its axis against the shape's edges and vertices. A rounded shape meets the axis
// by the rounded edge tests; a plain one has its vertices tried against the moving axis first
// (the axis grown by the tolerance over the step), then its edges against the axis and the end
// balls.
void TicTacConvex(const bzPhysShapePoint *p1, const bzPhysShapePoint *p2, int32_t n2)
{
    bzPhysCollPair &s = bz_PhysColl_Pair();
    const bzShape *tictac = s.shape[0];
    const bzShape *convex = s.shape[1];
    const float rt = Radius(tictac);
    const float rounding = bz_PhysColl_Rounding(convex);
    if (!bz_PhysColl_ClipPoints(p1, 2, p2, n2, s.codes[0], s.codes[1], rt, rounding))
        return;
    if (convex->kind == BZ_SHAPE_ROUNDED_POLYHEDRON)
    {
        bz_PhysColl_RoundedPointsOnFaces(0, p1, 2, rt, rounding);
        bz_PhysColl_RoundedTicTac(p1, rt, rounding);
        return;
    }
    for (int32_t k = 0; k < 2; k++)
    {
        FaceTouch face;
        const int32_t got =
            s.codes[0][k] ? 0 : BallOnFaces(1, p1[k].start, p1[k].end, rt, 0.0f, &face);
        if (got < 0)
            bz_PhysColl_MarkInside(0);
        else if (got > 0)
            bz_PhysColl_AddSphereFaceContact(1, face.normal, face.time, face.hit,
                                             bz_PhysColl_OwnPoint(tictac, k), rt);
    }
    const MovingAxis axis = AxisOf(p1);
    const int32_t vertices = VertexCount(convex);
    for (int32_t i = 0; i < vertices && i < BZ_PHYS_PAIR_SHAPE_POINTS; i++)
    {
        if (s.codes[1][i])
            continue;
        const bzV3 own = bz_PhysColl_OwnPoint(convex, i);
        bzPairTouch touch;
        if (bz_PairPointMovingAxis(rt, own, axis.a, axis.v, axis.e, axis.w, &touch))
            bz_PhysColl_AddTouch(1, touch, own, 0.0f, Along(tictac, 0, 1, touch.movingParam), rt,
                                 BZ_PHYS_CONTACT_VERTEX_FACE);
    }
    RoundedEdges(1, p1, 0.0f, rt, true);
}

} // namespace

void bz_PhysColl_RoundedRounded(int32_t collected, const bzPhysShapePoint *movingPoints, float r1,
                                float r2)
{
    RoundedEdges(collected, movingPoints, r1, r2, false);
}

// Each point of body `own`'s shape as a ball of its radius against the other shape's faces.
void bz_PhysColl_RoundedPointsOnFaces(int32_t own, const bzPhysShapePoint *points, int32_t count,
                                      float ownRadius, float otherRadius)
{
    bzPhysCollPair &s = bz_PhysColl_Pair();
    if ((own != 0 && own != 1) || !(ownRadius >= 0.0f) || !(otherRadius >= 0.0f))
        return;
    const int32_t other = 1 - own;
    count = count < BZ_PHYS_PAIR_SHAPE_POINTS ? count : BZ_PHYS_PAIR_SHAPE_POINTS;
    for (int32_t i = 0; i < count; i++)
    {
        if (s.codes[own][i])
            continue;
        FaceTouch face;
        const int32_t got =
            BallOnFaces(other, points[i].start, points[i].end, ownRadius, otherRadius, &face);
        if (got > 0)
        {
            bzPairTouch touch;
            touch.time = face.time;
            touch.fixedParam = 0.0f;
            touch.movingParam = 0.0f;
            touch.normal = face.normal;
            bz_PhysColl_AddTouch(other, touch, face.hit, 0.0f,
                                 bz_PhysColl_OwnPoint(s.shape[own], i), ownRadius,
                                 BZ_PHYS_CONTACT_VERTEX_FACE);
        }
        else if (got < 0)
        {
            s.codes[own][i] = 0xFF;
            if (!s.resting)
                bz_PhysColl_MarkInside(own);
        }
    }
}

void bz_PhysColl_RoundedPointsOnBox(int32_t own, const bzPhysShapePoint *points, int32_t count,
                                    float radius)
{
    const bzPhysCollPair &s = bz_PhysColl_Pair();
    if ((own != 0 && own != 1) || !IsBox(s.shape[1 - own]))
        return;
    bz_PhysColl_RoundedPointsOnFaces(own, points, count, radius, 0.0f);
}

void bz_PhysColl_SphereRoundedEdges(int32_t rounded, const bzV3 &c0, const bzV3 &c1, float radius,
                                    const bzV3 &own)
{
    const bzPhysCollPair &s = bz_PhysColl_Pair();
    if ((rounded != 0 && rounded != 1) || !(radius >= 0.0f))
        return;
    const bzShape *shape = s.shape[rounded];
    const float rounding = bz_PhysColl_Rounding(shape);
    int32_t count = 0;
    const bzHullEdge *edges = bz_PhysColl_Edges(shape, &count);
    const int32_t vertices = VertexCount(shape);
    // The end balls already tried: every edge of a corner may name it.
    uint32_t tried[(BZ_PHYS_PAIR_SHAPE_POINTS + 31) / 32] = {};
    for (int32_t i = 0; edges && i < count; i++)
    {
        const bzHullEdge &e = edges[i];
        if (e.a >= vertices || e.b >= vertices || e.a >= BZ_PHYS_PAIR_SHAPE_POINTS ||
            e.b >= BZ_PHYS_PAIR_SHAPE_POINTS || (s.codes[rounded][e.a] & s.codes[rounded][e.b]))
            continue;
        const bzV3 a = bz_PhysColl_OwnPoint(shape, e.a), b = bz_PhysColl_OwnPoint(shape, e.b);
        const bzV3 axis = Sub(b, a);
        bzCollisionContact row{};
        row.key = 2.0f;
        const int32_t result =
            bz_SweptSphereAgainstCylinder(&c0, &c1, &a, &axis, radius, rounding, &row, nullptr);
        if (result > 0)
        {
            AddCylinderRow(rounded, row, c0, c1, a, axis, rounding, own, radius);
            continue;
        }
        if (result == 0)
            continue;
        // Beyond an end: the ball at that end's vertex, once.
        const int32_t vertex = result == BZ_CYLINDER_PAST_END ? e.b : e.a;
        const uint32_t bit = 1u << (vertex & 31);
        if (tried[vertex >> 5] & bit)
            continue;
        tried[vertex >> 5] |= bit;
        const bzV3 &end = result == BZ_CYLINDER_PAST_END ? b : a;
        bzPairTouch touch;
        if (bz_PairPointMovingSphere(radius + rounding, end, c0, Sub(c1, c0), &touch))
            bz_PhysColl_AddRadiusContact(rounded, Scale(touch.normal, -1.0f), end, own, touch.time,
                                         rounding, radius);
    }
}

void bz_PhysColl_RoundedTicTac(const bzPhysShapePoint *ends, float radius, float rounding)
{
    // The tic-tac's axis is the one moving edge, the other shape's edges stay in its frame.
    RoundedEdges(1, ends, rounding, radius, false);
}

void bz_PhysColl_SphereSphere(const bzPhysShapePoint *p1, const bzPhysShapePoint *p2, int32_t,
                              int32_t)
{
    bzPhysCollPair &s = bz_PhysColl_Pair();
    const float r1 = Radius(s.shape[0]), r2 = Radius(s.shape[1]);
    if (!bz_PhysColl_ClipPoints(p1, 1, p2, 1, s.codes[0], s.codes[1], r1, r2))
        return;
    bz_PhysColl_SphereSphereTouch(p2[0], bz_PhysColl_OwnPoint(s.shape[0], 0),
                                  bz_PhysColl_OwnPoint(s.shape[1], 0), r1, r2);
}

void bz_PhysColl_SphereSphereTouch(const bzPhysShapePoint &p2, const bzV3 &c1, const bzV3 &c2,
                                   float r1, float r2)
{
    bzPairTouch touch;
    if (bz_PairPointMovingSphere(r1 + r2, c1, p2.start, Sub(p2.end, p2.start), &touch))
    {
        bz_PhysColl_AddRadiusContact(0, Scale(touch.normal, -1.0f), c1, c2, touch.time, r1, r2);
        return;
    }
    // Balls that start the step inside each other find no entry in the sweep. While they do not
    // end it apart, they touch at the start along the line of their centres, so the contact
    // holds them instead of letting one pass on through the other.
    const float reach = r1 + r2;
    const bzV3 apart = Sub(p2.start, c1);
    const float g0 = LengthSq(apart);
    const float g1 = LengthSq(Sub(p2.end, c1));
    const float touching = reach + bzCollisionTolerance;
    if (g0 < reach * reach && g0 > 0.0f && g1 <= touching * touching)
        bz_PhysColl_AddRadiusContact(0, Scale(apart, -1.0f / std::sqrt(g0)), c1, c2, 0.0f, r1, r2);
}

void bz_PhysColl_TicTacSphere(const bzPhysShapePoint *p1, const bzPhysShapePoint *p2, int32_t,
                              int32_t)
{
    bzPhysCollPair &s = bz_PhysColl_Pair();
    const auto *tictac = static_cast<const bzTicTacShape *>(s.shape[0]);
    const float rt = tictac->radius, rs = Radius(s.shape[1]);
    if (!bz_PhysColl_ClipPoints(p1, 2, p2, 1, s.codes[0], s.codes[1], rt, rs))
        return;
    const bzV3 x0 = tictac->segmentStart;
    const bzV3 axis = Sub(tictac->segmentEnd, x0);
    const bzV3 own = bz_PhysColl_OwnPoint(s.shape[1], 0);
    bzCollisionContact row{};
    row.key = 2.0f;
    const int32_t result =
        bz_SweptSphereAgainstCylinder(&p2[0].start, &p2[0].end, &x0, &axis, rs, rt, &row, nullptr);
    if (result > 0)
    {
        AddCylinderRow(0, row, p2[0].start, p2[0].end, x0, axis, rt, own, rs);
        return;
    }
    if (result == 0)
        return;
    const bzV3 end = result == BZ_CYLINDER_PAST_END ? tictac->segmentEnd : x0;
    bzPairTouch touch;
    if (bz_PairPointMovingSphere(rt + rs, end, p2[0].start, Sub(p2[0].end, p2[0].start), &touch))
        bz_PhysColl_AddRadiusContact(0, Scale(touch.normal, -1.0f), end, own, touch.time, rt, rs);
}

void bz_PhysColl_SphereTicTac(const bzPhysShapePoint *p1, const bzPhysShapePoint *p2, int32_t n1,
                              int32_t n2)
{
    SwapBodies();
    bz_PhysColl_TicTacSphere(p2, p1, n2, n1);
    SwapBodies();
}

void bz_PhysColl_SpherePolyhedron(const bzPhysShapePoint *p1, const bzPhysShapePoint *p2, int32_t,
                                  int32_t n2)
{
    SphereConvex(p1, p2, n2);
}

void bz_PhysColl_PolyhedronSphere(const bzPhysShapePoint *p1, const bzPhysShapePoint *p2,
                                  int32_t n1, int32_t)
{
    SwapBodies();
    SphereConvex(p2, p1, n1);
    SwapBodies();
}

void bz_PhysColl_TicTacPolyhedron(const bzPhysShapePoint *p1, const bzPhysShapePoint *p2, int32_t,
                                  int32_t n2)
{
    TicTacConvex(p1, p2, n2);
}

void bz_PhysColl_PolyhedronTicTac(const bzPhysShapePoint *p1, const bzPhysShapePoint *p2,
                                  int32_t n1, int32_t)
{
    SwapBodies();
    TicTacConvex(p2, p1, n1);
    SwapBodies();
}

void bz_PhysColl_TicTacTicTac(const bzPhysShapePoint *p1, const bzPhysShapePoint *p2, int32_t,
                              int32_t)
{
    bzPhysCollPair &s = bz_PhysColl_Pair();
    const auto *a = static_cast<const bzTicTacShape *>(s.shape[0]);
    const auto *b = static_cast<const bzTicTacShape *>(s.shape[1]);
    const float ra = a->radius, rb = b->radius, r = ra + rb;
    if (!bz_PhysColl_ClipPoints(p1, 2, p2, 2, s.codes[0], s.codes[1], ra, rb))
        return;
    // The tic-tac record holds its radius and its two end points and no end flag: both ends of
    // either tic-tac always take part in the end tests below, whatever the bodies' parents.
    // In A's frame: A's axis fixed, B's moving.
    const bzV3 q = a->segmentStart, f = Sub(a->segmentEnd, q);
    const MovingAxis axis = AxisOf(p2);
    bzPairTouch touch;
    const int32_t result =
        bz_PairEdgesWithRadii(r, q, f, axis.a, axis.v, axis.e, axis.w, kNoLimit, &touch);
    if (result > 0)
        bz_PhysColl_AddTouch(0, touch, AddScaled(q, f, touch.fixedParam), ra,
                             Along(b, 0, 1, touch.movingParam), rb, BZ_PHYS_CONTACT_SEGMENT);
    // Axes that never come within reach of each other keep their ends apart too. Otherwise the
    // ends may touch first: B's ends against A's cylinder, then A's ends against B's axis.
    if (result == 0)
        return;
    int32_t nearestOfB[2] = {0, 0}, nearestOfA[2] = {0, 0};
    for (int32_t j = 0; j < 2; j++)
    {
        if (s.codes[1][j])
            continue;
        bzCollisionContact row{};
        row.key = 2.0f;
        const int32_t got =
            bz_SweptSphereAgainstCylinder(&p2[j].start, &p2[j].end, &q, &f, rb, ra, &row, nullptr);
        if (got > 0)
            AddCylinderRow(0, row, p2[j].start, p2[j].end, q, f, ra, bz_PhysColl_OwnPoint(b, j),
                           rb);
        else
            nearestOfB[j] = got;
    }
    for (int32_t k = 0; k < 2; k++)
    {
        if (s.codes[0][k])
            continue;
        const bzV3 centre = bz_PhysColl_OwnPoint(a, k);
        const int32_t got =
            bz_PairSphereMovingSegment(r, centre, axis.a, axis.v, axis.e, axis.w, &touch);
        if (got > 0)
            bz_PhysColl_AddTouch(0, touch, centre, ra, Along(b, 0, 1, touch.movingParam), rb,
                                 BZ_PHYS_CONTACT_SEGMENT);
        else
            nearestOfA[k] = got;
    }
    for (int32_t k = 0; k < 2; k++)
    {
        const int32_t j = -1 - nearestOfA[k];
        if (j < 0 || j > 1 || nearestOfB[j] == -1 - (1 - k))
            continue;
        const bzV3 centre = bz_PhysColl_OwnPoint(a, k);
        if (bz_PairPointMovingSphere(r, centre, p2[j].start, Sub(p2[j].end, p2[j].start), &touch))
            bz_PhysColl_AddRadiusContact(0, Scale(touch.normal, -1.0f), centre,
                                         bz_PhysColl_OwnPoint(b, j), touch.time, ra, rb);
    }
}

void bz_PhysColl_RoundedPolyhedron(const bzPhysShapePoint *p1, const bzPhysShapePoint *p2,
                                   int32_t n1, int32_t n2)
{
    bzPhysCollPair &s = bz_PhysColl_Pair();
    const float r1 = bz_PhysColl_Rounding(s.shape[0]), r2 = bz_PhysColl_Rounding(s.shape[1]);
    if (!bz_PhysColl_ClipPoints(p1, n1, p2, n2, s.codes[0], s.codes[1], r1, r2))
        return;
    bz_PhysColl_RestingFaces(p1, p2, n1, n2, r1, r2);
    bz_PhysColl_RoundedPointsOnFaces(0, p1, n1, r1, r2);
    bz_PhysColl_RoundedRounded(0, p2, r1, r2);
    bz_PhysColl_RoundedPointsOnFaces(1, p2, n2, r2, r1);
}

void bz_PhysColl_RoundedBox(const bzPhysShapePoint *p1, const bzPhysShapePoint *p2, int32_t n1,
                            int32_t n2)
{
    bzPhysCollPair &s = bz_PhysColl_Pair();
    const float r1 = bz_PhysColl_Rounding(s.shape[0]), r2 = bz_PhysColl_Rounding(s.shape[1]);
    if (!bz_PhysColl_ClipPoints(p1, n1, p2, n2, s.codes[0], s.codes[1], r1, r2))
        return;
    bz_PhysColl_RestingFaces(p1, p2, n1, n2, r1, r2);
    // The rounded shape's vertices against the box, the box's corners against the rounded
    // shape's grown faces, then the edges.
    const int32_t rounded = IsBox(s.shape[0]) ? 1 : 0;
    const bzPhysShapePoint *roundedPoints = rounded ? p2 : p1, *boxPoints = rounded ? p1 : p2;
    const float r = rounded ? r2 : r1;
    bz_PhysColl_RoundedPointsOnBox(rounded, roundedPoints, rounded ? n2 : n1, r);
    bz_PhysColl_RoundedPointsOnFaces(1 - rounded, boxPoints, rounded ? n1 : n2, 0.0f, r);
    bz_PhysColl_RoundedRounded(0, p2, r1, r2);
}

void bz_PhysColl_RoundedSphere(const bzPhysShapePoint *p1, const bzPhysShapePoint *p2, int32_t n1,
                               int32_t n2)
{
    bzPhysCollPair &s = bz_PhysColl_Pair();
    if (s.shape[0]->kind == BZ_SHAPE_SPHERE)
    {
        SphereConvex(p1, p2, n2);
        return;
    }
    SwapBodies();
    SphereConvex(p2, p1, n1);
    SwapBodies();
}

void bz_PhysColl_TicTacRounded(const bzPhysShapePoint *p1, const bzPhysShapePoint *p2, int32_t n1,
                               int32_t n2)
{
    bzPhysCollPair &s = bz_PhysColl_Pair();
    if (s.shape[0]->kind == BZ_SHAPE_TIC_TAC)
    {
        TicTacConvex(p1, p2, n2);
        return;
    }
    SwapBodies();
    TicTacConvex(p2, p1, n1);
    SwapBodies();
}

int32_t bz_PhysColl_TicTacTouchesEdges(const bzV3 *endA, const bzV3 *endB, float radius,
                                       const bzShape *other, const bzHullEdge *edges,
                                       int32_t edgeCount, const bzV3 *vertices, int32_t vertexCount)
{
    const float r2 = radius * radius;
    if (other->kind == BZ_SHAPE_ALIGNED_CUBOID || other->kind == BZ_SHAPE_POLYHEDRON)
        for (const bzV3 *end : {endA, endB})
        {
            bzV3 closest;
            if (other->kind == BZ_SHAPE_ALIGNED_CUBOID
                    ? bz_Sphere_AlignedBox(end, bz_Shape_Bounds(other), r2, &closest) != 0
                    : SphereRoundedPolyhedronPoint(end, radius, other, nullptr) != 0)
                return 1;
        }
    const bzV3 axis = Sub(*endB, *endA);
    for (int32_t i = 0; edges && vertices && i < edgeCount; i++)
    {
        const bzHullEdge &e = edges[i];
        if (e.a >= vertexCount || e.b >= vertexCount)
            continue;
        const bzV3 a = vertices[e.a];
        const bzV3 edge = Sub(vertices[e.b], a);
        const bzV3 c = Cross(axis, edge);
        const float cc = LengthSq(c);
        const float ee = LengthSq(edge);
        if (cc < 1e-6f || !(ee > 0.0f))
            continue;
        const float across = Dot(Sub(a, *endA), c);
        if (across * across > r2 * cc)
            continue;
        // |(endA + u axis - a) x edge|^2 <= r^2 |edge|^2: a quadratic in u.
        const bzV3 w0 = Cross(Sub(*endA, a), edge), w1 = Cross(axis, edge);
        const float qa = LengthSq(w1), qb = 2.0f * Dot(w0, w1), qc = LengthSq(w0) - r2 * ee;
        const float disc = qb * qb - 4.0f * qa * qc;
        if (disc < 0.0f || !(qa > 0.0f))
            continue;
        const float root = std::sqrt(disc);
        float u0 = (-qb - root) / (2.0f * qa), u1 = (-qb + root) / (2.0f * qa);
        u0 = u0 < 0.0f ? 0.0f : u0;
        u1 = u1 > 1.0f ? 1.0f : u1;
        if (u0 > u1)
            continue;
        for (const float u : {u0, u1})
        {
            const float s = Dot(Sub(AddScaled(*endA, axis, u), a), edge) / ee;
            if (s >= 0.0f && s <= 1.0f)
                return 1;
        }
    }
    return 0;
}
