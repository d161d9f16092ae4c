// Resting faces of two polyhedral shapes: shapes that touch face to face at the start of the
// step, or sink into each other by no more than the collision tolerance, get contacts on the
// face they rest on, with its normal.
//
// The swept tests only see features that come to meet during the step: a corner that starts on
// the other shape's face counts as inside and the corners of two boxes stacked square meet
// each other only at their edges. Here the face of either shape with the least overlap along
// its normal is the contact face. The other shape's points near its plane, its edges cut at
// the face's border and the face's own corners under the other shape make the contact patch,
// of which at most four points are kept (the deepest and those spanning the largest area).
#include "collision/CollisionTolerance.h"
#include "collision/PairMaths.h"
#include "physics/PairHandlers.h"

#include <cmath>
#include <limits>

using namespace bzPairMaths;

namespace
{
// Candidate points kept of one contact patch.
constexpr int32_t kPatchRoom = 32;
// A point of the face plane lies inside the face when no other plane has it further out.
constexpr float kOnFace = 1e-4f;
// Two candidates closer than this are one.
constexpr float kSamePointSq = 1e-6f;
// How much less overlap a face of the second shape needs to win over the first's.
constexpr float kSecondShapeTie = 1e-5f;
// A face with the other shape this far beyond the touch puts the least overlap beyond it too,
// even after a tie gone the first shape's way.
constexpr float kSureApart = 2.0f * kSecondShapeTie;

struct Planes
{
    const bzPlane *planes;
    int32_t count;
    bzPlane box[6];
};

// The outward face planes of a polyhedral shape in its own frame (none for a wire frame).
void PlanesOf(const bzShape *shape, Planes *out)
{
    out->planes = nullptr;
    out->count = 0;
    switch (shape->kind)
    {
    case BZ_SHAPE_ALIGNED_CUBOID:
    case BZ_SHAPE_CRUSHABLE_CUBOID:
    {
        const bzBox *b = bz_Shape_Bounds(shape);
        for (int32_t a = 0; a < 3; a++)
        {
            out->box[a].n = V(0.0f, 0.0f, 0.0f);
            out->box[a].n.v[a] = 1.0f;
            out->box[a].d = b->max.v[a];
            out->box[a + 3].n = V(0.0f, 0.0f, 0.0f);
            out->box[a + 3].n.v[a] = -1.0f;
            out->box[a + 3].d = -b->min.v[a];
        }
        out->planes = out->box;
        out->count = 6;
        return;
    }
    case BZ_SHAPE_POLYHEDRON:
    case BZ_SHAPE_POLYGON:
    case BZ_SHAPE_ROUNDED_POLYHEDRON:
    {
        const bzHull *hull = bz_Shape_Hull(shape);
        if (hull->planes && hull->faceCount > 0)
        {
            out->planes = hull->planes;
            out->count = hull->faceCount;
        }
        return;
    }
    default: return;
    }
}

// Least height of the points above the plane.
float Lowest(const bzPlane &plane, const bzPhysShapePoint *points, int32_t count)
{
    float low = 3.4028235e38f;
    for (int32_t i = 0; i < count; i++)
    {
        const float h = Dot(plane.n, points[i].start) - plane.d;
        if (h < low)
            low = h;
    }
    return low;
}

// The least and greatest coordinates of the points' start positions.
struct Extent
{
    bzV3 low, high;
};

// The extent of the points; false when a coordinate is not finite. The three axes side by side.
bool ExtentOf(const bzPhysShapePoint *points, int32_t count, Extent *out)
{
    typedef float Lanes __attribute__((vector_size(16)));
    typedef int32_t LaneMask __attribute__((vector_size(16)));
    const float far = std::numeric_limits<float>::infinity();
    const float most = std::numeric_limits<float>::max();
    const Lanes top = {most, most, most, most};
    Lanes low = {far, far, far, far}, high = {-far, -far, -far, -far};
    LaneMask finite = {-1, -1, -1, -1};
    for (int32_t i = 0; i < count; i++)
    {
        const bzV3 &p = points[i].start;
        const Lanes v = {p.x, p.y, p.z, 0.0f};
        // |v| <= the largest float, false for a NaN as for an infinity.
        finite &= (v <= top) & (v >= -top);
        low = v < low ? v : low;
        high = v > high ? v : high;
    }
    if (!(finite[0] & finite[1] & finite[2]))
        return false;
    out->low = V(low[0], low[1], low[2]);
    out->high = V(high[0], high[1], high[2]);
    return true;
}

// Lowest against face f of a box's planes (PlanesOf) from the points' extent. With finite points
// the dot product with an axis normal is that coordinate, or its negation, plus zeros, and taking
// d away keeps the order of the heights, so the least height is that of the least (greatest)
// coordinate.
float LowestOnBox(const Planes &p, int32_t f, const Extent &extent)
{
    const int32_t a = f % 3;
    const float h = f < 3 ? extent.low.v[a] - p.planes[f].d : -extent.high.v[a] - p.planes[f].d;
    return h < 3.4028235e38f ? h : 3.4028235e38f;
}

// Whether a point on the face plane `face` lies on the face: within every other plane.
bool OnFace(const Planes &p, int32_t face, const bzV3 &point)
{
    for (int32_t g = 0; g < p.count; g++)
        if (g != face && Dot(p.planes[g].n, point) - p.planes[g].d > kOnFace)
            return false;
    return true;
}

struct Candidate
{
    bzV3 onFace;  // on the resting face, the face's body frame
    bzV3 onOther; // on the other shape, its own frame
    float height; // of the other shape's point above the face (negative: sunk in)
};

struct Patch
{
    Candidate c[kPatchRoom];
    int32_t count;

    void Add(const bzV3 &onFace, const bzV3 &onOther, float height)
    {
        for (int32_t i = 0; i < count; i++)
            if (LengthSq(Sub(c[i].onFace, onFace)) < kSamePointSq)
                return;
        if (count < kPatchRoom)
            c[count++] = {onFace, onOther, height};
    }
};

float TriangleArea2(const bzV3 &a, const bzV3 &b, const bzV3 &c)
{
    return LengthSq(Cross(Sub(b, a), Sub(c, a)));
}

// Orders the patch so that its first four points span it: the deepest, the one farthest from
// it, the one farthest from their line, and the one that adds the most area to that triangle.
int32_t Spread(Patch *patch)
{
    Candidate *c = patch->c;
    const int32_t n = patch->count;
    auto pick = [&](int32_t slot, auto score)
    {
        int32_t best = slot;
        float bestScore = -1.0f;
        for (int32_t i = slot; i < n; i++)
        {
            const float s = score(c[i]);
            if (s > bestScore)
            {
                bestScore = s;
                best = i;
            }
        }
        const Candidate t = c[slot];
        c[slot] = c[best];
        c[best] = t;
    };
    if (n > 1)
        pick(0, [](const Candidate &k) { return -k.height; });
    if (n > 2)
        pick(1, [&](const Candidate &k) { return LengthSq(Sub(k.onFace, c[0].onFace)); });
    if (n > 3)
        pick(2,
             [&](const Candidate &k) { return TriangleArea2(c[0].onFace, c[1].onFace, k.onFace); });
    if (n > 4)
        pick(3,
             [&](const Candidate &k)
             {
                 // Area the point adds beside each side of the triangle.
                 const float a = TriangleArea2(c[0].onFace, c[1].onFace, k.onFace);
                 const float b = TriangleArea2(c[1].onFace, c[2].onFace, k.onFace);
                 const float d = TriangleArea2(c[2].onFace, c[0].onFace, k.onFace);
                 return a > b ? (a > d ? a : d) : (b > d ? b : d);
             });
    return n < BZ_CONTACTS_PER_BODY ? n : BZ_CONTACTS_PER_BODY;
}
} // namespace

namespace
{
// The face of either shape with the least overlap along its normal (the other shape's points,
// prepared in this shape's frame, lie least far below it; the first shape's faces win ties):
// its shape, index and height (the other shape's lowest point above it, less the radii;
// negative: sunk in by that much). False when some face has the other shape beyond the touch
// by more than the tie allowance: the shapes lie apart.
bool LeastOverlapFace(const Planes *planes, const bzPhysShapePoint *const *points,
                      const int32_t *counts, float r1, float r2, int32_t *restOut, int32_t *faceOut,
                      float *heightOut)
{
    const float touch = bzCollisionTolerance;
    int32_t rest = -1, face = -1;
    float best = -3.4028235e38f;
    for (int32_t k = 0; k < 2; k++)
    {
        Extent extent;
        const bool onBox =
            planes[k].planes == planes[k].box && ExtentOf(points[1 - k], counts[1 - k], &extent);
        for (int32_t f = 0; f < planes[k].count; f++)
        {
            const float low = onBox ? LowestOnBox(planes[k], f, extent)
                                    : Lowest(planes[k].planes[f], points[1 - k], counts[1 - k]);
            const float h = low - r1 - r2;
            // Far enough above one face, the least overlap lies above the touch too, whichever
            // face it is: the shapes do not rest on each other.
            if (h > touch + kSureApart)
                return false;
            if (h > best + (k ? kSecondShapeTie : 0.0f))
            {
                best = h;
                rest = k;
                face = f;
            }
        }
    }
    *restOut = rest;
    *faceOut = face;
    *heightOut = best;
    return rest >= 0;
}

// The least face depth as bz_PhysColl_LeastFaceDepth gives it, with the face.
float FaceDepth(const Planes *planes, const bzPhysShapePoint *const *points, const int32_t *counts,
                float r1, float r2, int32_t *rest, int32_t *face)
{
    float best = 0.0f;
    if (!LeastOverlapFace(planes, points, counts, r1, r2, rest, face, &best))
        return -bzCollisionTolerance;
    return -best;
}
} // namespace

float bz_PhysColl_LeastFaceDepth(const bzPhysShapePoint *p1, const bzPhysShapePoint *p2, int32_t n1,
                                 int32_t n2, float r1, float r2)
{
    bzPhysCollPair &s = bz_PhysColl_Pair();
    const bzPhysShapePoint *points[2] = {p1, p2};
    const int32_t counts[2] = {n1, n2};
    Planes planes[2];
    PlanesOf(s.shape[0], &planes[0]);
    PlanesOf(s.shape[1], &planes[1]);
    int32_t rest = -1, face = -1;
    return FaceDepth(planes, points, counts, r1, r2, &rest, &face);
}

int32_t bz_PhysColl_RestingFaces(const bzPhysShapePoint *p1, const bzPhysShapePoint *p2, int32_t n1,
                                 int32_t n2, float r1, float r2, float *faceDepth)
{
    bzPhysCollPair &s = bz_PhysColl_Pair();
    const bzPhysShapePoint *points[2] = {p1, p2};
    const int32_t counts[2] = {n1, n2};
    const float radii[2] = {r1, r2};
    const float touch = bzCollisionTolerance;
    Planes planes[2];
    PlanesOf(s.shape[0], &planes[0]);
    PlanesOf(s.shape[1], &planes[1]);

    int32_t rest = -1, face = -1;
    const float depth = FaceDepth(planes, points, counts, r1, r2, &rest, &face);
    if (faceDepth)
        *faceDepth = depth;
    const float best = -depth;
    if (rest < 0 || best > touch || best < -touch)
        return 0;

    const int32_t other = 1 - rest;
    const Planes &rp = planes[rest];
    const bzPlane plane = rp.planes[face];
    const bzShape *restShape = s.shape[rest], *otherShape = s.shape[other];
    const float restRadius = radii[rest], otherRadius = radii[other];
    // The face's body frame into the other body's at the start of the step, and its normal
    // there.
    const bzM34 *toOther = rest == 0 ? &s.toSecond[0] : &s.toFirst[0];
    const bzV3 nOther = Direction(toOther, plane.n);
    const bzPhysShapePoint *otherPoints = points[other];
    const int32_t otherCount = counts[other];

    Patch patch;
    patch.count = 0;
    auto height = [&](const bzV3 &p) { return Dot(plane.n, p) - plane.d - r1 - r2; };
    auto add = [&](const bzV3 &p, const bzV3 &own)
    {
        const float h = height(p);
        const bzV3 foot = AddScaled(p, plane.n, -(Dot(plane.n, p) - plane.d));
        patch.Add(AddScaled(foot, plane.n, restRadius), AddScaled(own, nOther, -otherRadius), h);
    };
    auto near = [&](float h) { return h <= touch && h >= -touch; };
    // A few points' heights are worked out once for the points and the edges.
    const bool fewPoints = otherCount <= kPatchRoom;
    float heights[kPatchRoom];
    for (int32_t i = 0; fewPoints && i < otherCount; i++)
        heights[i] = height(otherPoints[i].start);
    auto heightOf = [&](int32_t i)
    { return fewPoints ? heights[i] : height(otherPoints[i].start); };

    // The other shape's points near the plane and over the face.
    for (int32_t i = 0; i < otherCount; i++)
    {
        const bzV3 &p = otherPoints[i].start;
        if (!near(heightOf(i)))
            continue;
        if (OnFace(rp, face, AddScaled(p, plane.n, -(Dot(plane.n, p) - plane.d))))
            add(p, bz_PhysColl_OwnPoint(otherShape, i));
    }
    // Its edges near the plane, cut where they leave the face.
    int32_t edgeCount = 0;
    const bzHullEdge *edges = bz_PhysColl_Edges(otherShape, &edgeCount);
    for (int32_t e = 0; edges && e < edgeCount; e++)
    {
        const bzHullEdge &edge = edges[e];
        if (edge.a >= otherCount || edge.b >= otherCount)
            continue;
        const bzV3 &a = otherPoints[edge.a].start, &b = otherPoints[edge.b].start;
        if (!near(heightOf(edge.a)) || !near(heightOf(edge.b)))
            continue;
        const bzV3 fa = AddScaled(a, plane.n, -(Dot(plane.n, a) - plane.d));
        const bzV3 fb = AddScaled(b, plane.n, -(Dot(plane.n, b) - plane.d));
        float t0 = 0.0f, t1 = 1.0f;
        for (int32_t g = 0; g < rp.count && t0 <= t1; g++)
        {
            if (g == face)
                continue;
            const float da = Dot(rp.planes[g].n, fa) - rp.planes[g].d;
            const float db = Dot(rp.planes[g].n, fb) - rp.planes[g].d;
            if (da > kOnFace && db > kOnFace)
                t0 = 2.0f;
            else if (da > kOnFace)
                t0 = std::fmax(t0, da / (da - db));
            else if (db > kOnFace)
                t1 = std::fmin(t1, da / (da - db));
        }
        if (t0 > t1)
            continue;
        const bzV3 ownA = bz_PhysColl_OwnPoint(otherShape, edge.a);
        const bzV3 ownB = bz_PhysColl_OwnPoint(otherShape, edge.b);
        if (t0 > 0.0f)
            add(AddScaled(a, Sub(b, a), t0), AddScaled(ownA, Sub(ownB, ownA), t0));
        if (t1 < 1.0f)
            add(AddScaled(a, Sub(b, a), t1), AddScaled(ownA, Sub(ownB, ownA), t1));
    }
    // The face's own corners that lie under the other shape.
    const Planes &op = planes[other];
    // A box's corners straight from its bounds, x fastest, as bz_PhysColl_OwnPoint picks them.
    const bzBox *restBox = rp.planes == rp.box ? bz_Shape_Bounds(restShape) : nullptr;
    for (int32_t i = 0; op.count > 0 && i < counts[rest]; i++)
    {
        const int32_t k = i & 7;
        const bzV3 corner = restBox ? V((k & 1) ? restBox->max.x : restBox->min.x,
                                        (k & 2) ? restBox->max.y : restBox->min.y,
                                        (k & 4) ? restBox->max.z : restBox->min.z)
                                    : bz_PhysColl_OwnPoint(restShape, i);
        if (std::fabs(Dot(plane.n, corner) - plane.d) > kOnFace)
            continue;
        const bzV3 &there = points[rest][i].start; // in the other body's frame
        bool under = true;
        for (int32_t g = 0; g < op.count && under; g++)
            if (Dot(op.planes[g].n, there) - op.planes[g].d > touch + r1 + r2)
                under = false;
        if (!under)
            continue;
        const bzV3 onFace = AddScaled(corner, plane.n, restRadius);
        const bzV3 onOther = AddScaled(there, nOther, restRadius);
        patch.Add(onFace, onOther, best);
    }
    if (patch.count == 0)
        return 0;
    s.resting = 1;

    const int32_t keep = Spread(&patch);
    const bzV3 world = bz_PhysColl_NormalToWorld(rest, plane.n, 0.0f);
    for (int32_t i = 0; i < keep; i++)
        bz_PhysColl_Add(other, world, BZ_PHYS_PAIR_TIME_RESTING, patch.c[i].onOther,
                        patch.c[i].onFace, BZ_PHYS_CONTACT_VERTEX_FACE);
    return keep;
}
