// The overlap pass's handlers, which decide whether two shapes overlap at the start of the step
// and push interpenetrating polyhedra apart, and the two handler tables.
#include "collision/AxisExtents.h"
#include "collision/KindDispatch.h"
#include "collision/PairMaths.h"
#include "collision/PairTests.h"
#include "collision/SegmentTests.h"
#include "collision/ShapePair.h"
#include "physics/Body.h"
#include "physics/PairHandlers.h"
#include "physics/RowTargets.h"

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <limits>

#if defined(__SSE__)
#include <xmmintrin.h>
#endif

using namespace bzPairMaths;

namespace
{
constexpr float kFacingLimit = -0.2f;
constexpr float kKeepAlong = 0.1f;
constexpr uint32_t kN = BZ_SHAPE_KIND_COUNT;

// Sets the link partner of the body and of every body below it in its tree.
void LinkTree(BZDObject *top, BZDObject *partner)
{
    top->linkPartner = partner;
    BZDObject *b = top->firstChild;
    while (b)
    {
        b->linkPartner = partner;
        if (b->firstChild)
        {
            b = b->firstChild;
            continue;
        }
        while (b && b != top && !b->nextSibling)
            b = b->parent;
        if (!b || b == top)
            break;
        b = b->nextSibling;
    }
}

bool Link(BZDObject *a, BZDObject *b)
{
    if (a->linkPartner != b)
    {
        if (a->linkPartner)
            return false;
        LinkTree(a, b);
    }
    return true;
}

// The velocity of the body at a world point.
bzV3 VelocityAt(const BZDObject *body, const bzM34 &pose, const bzV3 &world)
{
    const bzV3 centre = Point(&pose, body->centreOfMass);
    const bzV3 spin = Direction(&pose, body->angularVelocity);
    return Add(body->linearVelocity, Cross(spin, Sub(world, centre)));
}

// While the handler runs, both shapes count as plain polyhedra; the kinds come back after.
struct AsPolyhedra
{
    bzShape *shapes[2];
    bzShapeKind kinds[2];
    AsPolyhedra()
    {
        bzPhysCollPair &s = bz_PhysColl_Pair();
        for (int32_t k = 0; k < 2; k++)
        {
            shapes[k] = const_cast<bzShape *>(s.shape[k]);
            kinds[k] = shapes[k]->kind;
            if (kinds[k] == BZ_SHAPE_ROUNDED_POLYHEDRON)
                shapes[k]->kind = BZ_SHAPE_POLYHEDRON;
        }
    }
    ~AsPolyhedra()
    {
        for (int32_t k = 0; k < 2; k++)
            shapes[k]->kind = kinds[k];
    }
};

struct Tables
{
    bzPhysPairHandler bzPhysPairContactTable[kN * kN]; // the contact pass
    bzPhysPairHandler bzPhysPairOverlapTable[kN * kN]; // the overlap pass
};

Tables MakeTables()
{
    Tables t{};
    for (uint32_t i = 0; i < kN * kN; i++)
    {
        t.bzPhysPairContactTable[i] = bz_PhysColl_PairUnsupported;
        t.bzPhysPairOverlapTable[i] = bz_PhysColl_OverlapUnsupported;
    }
    // The cells of the shapes that meet, by the kinds of the first and the second shape.
    const uint32_t poly[] = {1, 2, 3, 4, 11};
    auto c = [&](uint32_t r, uint32_t col, bzPhysPairHandler h)
    { t.bzPhysPairContactTable[r * kN + col] = h; };
    auto o = [&](uint32_t r, uint32_t col, bzPhysPairHandler h)
    { t.bzPhysPairOverlapTable[r * kN + col] = h; };
    for (uint32_t r : poly)
    {
        for (uint32_t col : poly)
            c(r, col, bz_PhysColl_PolyhedronPair);
        c(r, 5, bz_PhysColl_PolyhedronSphere);
        c(r, 6, bz_PhysColl_PolyhedronTicTac);
        c(r, 10, r == 1 || r == 11 ? bz_PhysColl_RoundedBox : bz_PhysColl_RoundedPolyhedron);
        c(5, r, bz_PhysColl_SpherePolyhedron);
        c(6, r, bz_PhysColl_TicTacPolyhedron);
        c(10, r, r == 1 ? bz_PhysColl_RoundedBox : bz_PhysColl_RoundedPolyhedron);
    }
    c(5, 5, bz_PhysColl_SphereSphere);
    c(5, 6, bz_PhysColl_SphereTicTac);
    c(5, 10, bz_PhysColl_RoundedSphere);
    c(6, 5, bz_PhysColl_TicTacSphere);
    c(6, 6, bz_PhysColl_TicTacTicTac);
    c(6, 10, bz_PhysColl_TicTacRounded);
    c(10, 5, bz_PhysColl_RoundedSphere);
    c(10, 6, bz_PhysColl_TicTacRounded);
    c(10, 10, bz_PhysColl_RoundedPolyhedron);

    // Overlap cells; the rest of the supported kinds do nothing.
    const uint32_t kinds[] = {1, 2, 3, 4, 5, 6, 10, 11};
    for (uint32_t r : kinds)
        for (uint32_t col : kinds)
            o(r, col, bz_PhysColl_OverlapNone);
    const uint32_t opp[][2] = {{1, 1}, {1, 2}, {1, 4},  {1, 11}, {2, 1},
                               {2, 2}, {2, 4}, {2, 11}, {4, 1},  {4, 11}};
    for (const auto &cell : opp)
    {
        o(cell[0], cell[1], bz_PhysColl_OverlapPolyhedronPair);
        if (cell[0] == 1)
            o(11, cell[1], bz_PhysColl_OverlapPolyhedronPair);
    }
    for (uint32_t r : {1u, 2u, 3u, 4u, 11u})
        o(r, 6, bz_PhysColl_OverlapShapes);
    for (uint32_t col : {2u, 3u, 4u})
        o(6, col, bz_PhysColl_OverlapShapes);
    o(5, 10, bz_PhysColl_OverlapShapes);
    o(6, 10, bz_PhysColl_OverlapShapes);
    o(10, 5, bz_PhysColl_OverlapShapes);
    o(10, 6, bz_PhysColl_OverlapShapes);
    o(1, 10, bz_PhysColl_OverlapPolyhedra);
    o(11, 10, bz_PhysColl_OverlapPolyhedra);
    o(10, 1, bz_PhysColl_OverlapPolyhedra);
    for (uint32_t r : {2u, 3u, 4u})
        o(r, 10, bz_PhysColl_RoundedPair);
    for (uint32_t col : {2u, 3u, 4u, 10u, 11u})
        o(10, col, bz_PhysColl_RoundedPair);

    for (uint32_t i = 0; i < kN; i++)
    {
        t.bzPhysPairContactTable[i] = t.bzPhysPairContactTable[i * kN] = bz_PhysColl_PairNull;
        t.bzPhysPairOverlapTable[i] = t.bzPhysPairOverlapTable[i * kN] = bz_PhysColl_PairNull;
    }
    return t;
}

Tables gTables = MakeTables();
} // namespace

bzPhysPairHandler bz_PhysColl_ContactHandler(uint32_t row, uint32_t column)
{
    return row < kN && column < kN ? gTables.bzPhysPairContactTable[row * kN + column]
                                   : bz_PhysColl_PairUnsupported;
}

bzPhysPairHandler bz_PhysColl_OverlapHandler(uint32_t row, uint32_t column)
{
    return row < kN && column < kN ? gTables.bzPhysPairOverlapTable[row * kN + column]
                                   : bz_PhysColl_OverlapUnsupported;
}

bzPhysPairHandler bz_PhysColl_SetContactHandler(uint32_t row, uint32_t column,
                                                bzPhysPairHandler handler)
{
    if (row >= kN || column >= kN)
        return nullptr;
    const bzPhysPairHandler old = gTables.bzPhysPairContactTable[row * kN + column];
    gTables.bzPhysPairContactTable[row * kN + column] = handler;
    return old;
}

bzPhysPairHandler bz_PhysColl_SetOverlapHandler(uint32_t row, uint32_t column,
                                                bzPhysPairHandler handler)
{
    if (row >= kN || column >= kN)
        return nullptr;
    const bzPhysPairHandler old = gTables.bzPhysPairOverlapTable[row * kN + column];
    gTables.bzPhysPairOverlapTable[row * kN + column] = handler;
    return old;
}

// The edges of body `owner`'s shape (start positions in the other body's frame) crossing into
// the other shape with one end inside: contacts at time 0 that push them apart.
void bz_PhysColl_OverlapCrossings(int32_t owner, const bzPhysShapePoint *points, int32_t count)
{
    bzPhysCollPair &s = bz_PhysColl_Pair();
    if (owner != 0 && owner != 1)
        return;
    const int32_t other = 1 - owner;
    // The owner already linked to a third body: the first crossing that could push them apart
    // ends the routine at the link, so the edges can only mark the overlap, and once it is
    // marked they have nothing left to give.
    const BZDObject *partner = s.body[owner]->linkPartner;
    const bool linkClosed = partner && partner != s.body[other];
    if (linkClosed && s.overlap)
        return;
    const bzShape *shape = s.shape[owner];
    int32_t edgeCount = 0;
    const bzHullEdge *edges = bz_PhysColl_Edges(shape, &edgeCount);
    // Against a box the segment test starts by asking whether the segment's start lies in the
    // box (or either end is not finite); that is asked once per point here, and only segments
    // that start outside it are tested.
    const bzBox *box = nullptr;
    if ((s.shape[other]->kind == BZ_SHAPE_ALIGNED_CUBOID ||
         s.shape[other]->kind == BZ_SHAPE_CRUSHABLE_CUBOID) &&
        count <= BZ_PHYS_PAIR_SHAPE_POINTS)
        box = bz_Shape_Bounds(s.shape[other]);
    // Per point: 0 not yet asked, else 1 | 2 finite | 4 inside the box.
    uint8_t where[BZ_PHYS_PAIR_SHAPE_POINTS];
    if (box)
        std::memset(where, 0, static_cast<size_t>(count));
    // The box's sides and the largest float, three axes side by side; the fourth lane never lies
    // outside and is always finite.
    typedef float Lanes __attribute__((vector_size(16)));
    const float far = std::numeric_limits<float>::infinity();
    Lanes lo = {-far, -far, -far, -far}, hi = {far, far, far, far};
    if (box)
    {
        lo = Lanes{box->min.x, box->min.y, box->min.z, -far};
        hi = Lanes{box->max.x, box->max.y, box->max.z, far};
    }
    const Lanes most = {FLT_MAX, FLT_MAX, FLT_MAX, FLT_MAX};
    auto whereIs = [&](int32_t i) -> uint32_t
    {
        if (!where[i])
        {
            const bzV3 &p = points[i].start;
            const Lanes l = {p.x, p.y, p.z, 0.0f};
            // |p| <= FLT_MAX fails for a NaN as for an infinity; a NaN is never beyond a side.
            const auto finiteLanes = (l <= most) & (l >= -most);
            const auto outsideLanes = (l < lo) | (l > hi);
#if defined(__SSE__)
            const bool finite = _mm_movemask_ps(std::bit_cast<__m128>(finiteLanes)) == 0xF;
            const bool inside = _mm_movemask_ps(std::bit_cast<__m128>(outsideLanes)) == 0;
#else
            const bool finite = finiteLanes[0] && finiteLanes[1] && finiteLanes[2];
            const bool inside = !(outsideLanes[0] || outsideLanes[1] || outsideLanes[2]);
#endif
            where[i] = static_cast<uint8_t>(1 | (finite ? 2 : 0) | (inside ? 4 : 0));
        }
        return where[i];
    };
    auto enters = [&](int32_t from, int32_t to, bzV3 *hit, float *t, bzV3 *n) -> int32_t
    {
        const bzV3 &p = points[from].start, &q = points[to].start;
        if (!box)
            return bz_SegmentEntersShape_ByKind(&p, &q, s.shape[other], hit, t, n);
        const uint32_t wf = whereIs(from);
        if (!(wf & whereIs(to) & 2))
            return 0;
        if (wf & 4)
            return -1;
        const int32_t code = bz_Segment_AlignedBox(&p, &q, box, hit, t);
        if (code > 0)
        {
            *n = V(0, 0, 0);
            n->v[(code - 1) & 3] = (code & 4) ? 1.0f : -1.0f;
        }
        return code;
    };
    for (int32_t i = 0; edges && i < edgeCount; i++)
    {
        const bzHullEdge &e = edges[i];
        if (e.a >= count || e.b >= count || (s.codes[owner][e.a] & s.codes[owner][e.b]))
            continue;
        // An edge with both ends outside the box has no end to push out: passing through it,
        // it only marks the overlap, and once that is marked it has nothing more to give.
        const bool bothOutside = box && !((whereIs(e.a) | whereIs(e.b)) & 4);
        if (bothOutside && s.overlap)
            continue;
        bzV3 hitF, hitB, nF = V(0, 0, 0), nB = V(0, 0, 0);
        float tF = 0.0f, tB = 0.0f;
        const int32_t forward = enters(e.a, e.b, &hitF, &tF, &nF);
        if (!forward)
            continue;
        s.overlap = 1;
        if (linkClosed)
            return;
        if (bothOutside)
            continue;
        const int32_t backward = enters(e.b, e.a, &hitB, &tB, &nB);
        // Exactly one end inside: one test starts inside, the other enters.
        if (!backward || (forward < 0) == (backward < 0))
            continue;
        const bool useForward = forward > 0;
        const float t = useForward ? tF : 1.0f - tB;
        const bzV3 hit = useForward ? hitF : hitB;
        const bzV3 outward = Scale(useForward ? nF : nB, -1.0f);
        if (!(Dot(outward, s.centreDirection[other]) <= kFacingLimit))
            continue;
        if (!Link(s.body[owner], s.body[other]) || !Link(s.body[other], s.body[owner]))
            return;
        const bzV3 ownA = bz_PhysColl_OwnPoint(shape, e.a);
        const bzV3 own = AddScaled(ownA, Sub(bz_PhysColl_OwnPoint(shape, e.b), ownA), t);
        const bzV3 world = Point(&s.start[owner], own);
        const bzV3 normal = Direction(&s.start[other], outward);
        const bzV3 relative = Sub(VelocityAt(s.body[other], s.start[other], world),
                                  VelocityAt(s.body[owner], s.start[owner], world));
        if (Dot(relative, normal) > 0.0f)
            bz_PhysColl_Add(owner, normal, 0.0f, own, hit, BZ_PHYS_CONTACT_SEGMENT);
    }
}

namespace
{
// A shape's own points, asked for once: a box's corners straight from its bounds (x fastest, as
// bz_PhysColl_OwnPoint gives them), a few hull vertices copied, or none when there are too many
// to keep here (then each is asked for where it is used).
constexpr int32_t kKeptOwnPoints = 16;
struct OwnPoints
{
    const bzShape *shape;
    int32_t count;
    bool kept;
    bzV3 at[kKeptOwnPoints];
    OwnPoints(const bzShape *s, int32_t n) : shape(s), count(n), kept(n <= kKeptOwnPoints)
    {
        if (!kept)
            return;
        if (s->kind == BZ_SHAPE_ALIGNED_CUBOID || s->kind == BZ_SHAPE_CRUSHABLE_CUBOID)
        {
            const bzBox &box = static_cast<const bzBoundedShape *>(s)->bounds;
            for (int32_t i = 0; i < n; i++)
            {
                const int32_t k = i & 7;
                at[i] = V((k & 1) ? box.max.x : box.min.x, (k & 2) ? box.max.y : box.min.y,
                          (k & 4) ? box.max.z : box.min.z);
            }
            return;
        }
        for (int32_t i = 0; i < n; i++)
            at[i] = bz_PhysColl_OwnPoint(s, i);
    }
    bzV3 operator[](int32_t i) const { return kept ? at[i] : bz_PhysColl_OwnPoint(shape, i); }
};

// The extent of a shape's own points along a direction of its own frame.
void OwnExtent(const OwnPoints &own, const bzV3 &n, float *lo, float *hi)
{
    *lo = FLT_MAX;
    *hi = -FLT_MAX;
    for (int32_t i = 0; i < own.count; i++)
    {
        const float d = Dot(own[i], n);
        *lo = d < *lo ? d : *lo;
        *hi = d > *hi ? d : *hi;
    }
}

// The extent of the other body's points (start positions, already in this shape's frame).
void PointsExtent(const bzPhysShapePoint *points, int32_t count, const bzV3 &n, float *lo,
                  float *hi)
{
    *lo = FLT_MAX;
    *hi = -FLT_MAX;
    for (int32_t i = 0; i < count; i++)
    {
        const float d = Dot(points[i].start, n);
        *lo = d < *lo ? d : *lo;
        *hi = d > *hi ? d : *hi;
    }
}

// A face direction of a polyhedral shape (its own frame): an aligned box's three axes, or the
// outward normals of a hull's faces. False past the last.
bool FaceAxis(const bzShape *shape, int32_t k, bzV3 *n)
{
    if (shape->kind == BZ_SHAPE_ALIGNED_CUBOID || shape->kind == BZ_SHAPE_CRUSHABLE_CUBOID)
    {
        if (k >= 3)
            return false;
        *n = V(0, 0, 0);
        n->v[k] = 1.0f;
        return true;
    }
    const bzHull *hull = bz_Shape_Hull(shape);
    if (!hull || !hull->planes || k >= hull->faceCount)
        return false;
    *n = hull->planes[k].n;
    return true;
}

// Two polyhedra found inside each other whose edge crossings gave no contact to push them apart
// with (the crossings give one only where the bodies close on each other, none where edges lie
// in each other's faces, and none at all once a body is linked to a third body): of the face
// directions of either shape, the one along which they lie least deep in each other is the way
// out. The body on the far side of that face is pushed out along it at its points that lie behind
// the face, the deepest first, each contact carrying how deep its point lies, wherever the bodies
// do not already part faster than the push would part them. Bodies that still close on each other
// there get the contact too: nothing else would stop them, and one box would go on into the other
// by its speed times the step, step after step.
void PushOutAlongLeastDepth(const bzPhysShapePoint *const points[2], const int32_t counts[2],
                            bool mayLink)
{
    bzPhysCollPair &s = bz_PhysColl_Pair();
    float best = FLT_MAX;
    int32_t face = -1;
    bzV3 out = V(0, 0, 0);
    float plane = 0.0f;
    const OwnPoints own[2] = {OwnPoints(s.shape[0], counts[0]), OwnPoints(s.shape[1], counts[1])};
    for (int32_t k = 0; k < 2; k++)
    {
        // Along a box's three axes both extents are taken in one pass over the points.
        const bool box = s.shape[k]->kind == BZ_SHAPE_ALIGNED_CUBOID ||
                         s.shape[k]->kind == BZ_SHAPE_CRUSHABLE_CUBOID;
        bzAxisExtents ownAxes, otherAxes;
        if (box)
        {
            ownAxes = bz_ExtentsAlongAxes(own[k].count, [&](int32_t i) { return own[k][i]; });
            otherAxes = bz_ExtentsAlongAxes(counts[1 - k],
                                            [&](int32_t i) { return points[1 - k][i].start; });
        }
        bzV3 n;
        for (int32_t f = 0; FaceAxis(s.shape[k], f, &n); f++)
        {
            float ownLo, ownHi, lo, hi;
            if (box)
            {
                ownLo = ownAxes.lo[f];
                ownHi = ownAxes.hi[f];
                lo = otherAxes.lo[f];
                hi = otherAxes.hi[f];
            }
            else
            {
                OwnExtent(own[k], n, &ownLo, &ownHi);
                PointsExtent(points[1 - k], counts[1 - k], n, &lo, &hi);
            }
            const float up = ownHi - lo, down = hi - ownLo;
            if (!(up > 0.0f) || !(down > 0.0f))
                return; // apart along this direction: nothing to push
            const float depth = up < down ? up : down;
            if (depth < best)
            {
                best = depth;
                face = k;
                out = up < down ? n : Scale(n, -1.0f);
                plane = up < down ? ownHi : -ownLo;
            }
        }
    }
    if (face < 0)
        return;
    const int32_t pushed = 1 - face;
    if (mayLink && (!Link(s.body[pushed], s.body[face]) || !Link(s.body[face], s.body[pushed])))
        return;
    const bzV3 normal = Direction(&s.start[face], out);
    // The deepest points first, as many as the pair's contacts hold. A few points' depths are
    // worked out once for all the rounds.
    const int32_t pushedCount = counts[pushed];
    const bool fewPoints = pushedCount <= kKeptOwnPoints;
    float depths[kKeptOwnPoints];
    for (int32_t i = 0; fewPoints && i < pushedCount; i++)
        depths[i] = plane - Dot(points[pushed][i].start, out);
    int32_t taken[BZ_CONTACTS_PER_BODY];
    int32_t n = 0;
    for (int32_t round = 0; round < BZ_CONTACTS_PER_BODY; round++)
    {
        int32_t pick = -1;
        float deepest = 0.0f;
        for (int32_t i = 0; i < pushedCount; i++)
        {
            const float depth = fewPoints ? depths[i] : plane - Dot(points[pushed][i].start, out);
            bool used = false;
            for (int32_t j = 0; j < n; j++)
                used = used || taken[j] == i;
            if (!used && depth > deepest)
            {
                deepest = depth;
                pick = i;
            }
        }
        if (pick < 0)
            break;
        taken[n++] = pick;
        const bzV3 ownPoint = own[pushed][pick];
        const bzV3 world = Point(&s.start[pushed], ownPoint);
        const bzV3 relative = Sub(VelocityAt(s.body[face], s.start[face], world),
                                  VelocityAt(s.body[pushed], s.start[pushed], world));
        const float closing = Dot(relative, normal);
        if (closing > -bz_Phys_PushOutSpeed(deepest))
            bz_PhysColl_Add(pushed, normal, 0.0f, ownPoint,
                            AddScaled(points[pushed][pick].start, out, deepest),
                            BZ_PHYS_CONTACT_SEGMENT);
    }
}
} // namespace

void bz_PhysColl_OverlapPolyhedronPair(const bzPhysShapePoint *p1, const bzPhysShapePoint *p2,
                                       int32_t n1, int32_t n2)
{
    bzPhysCollPair &s = bz_PhysColl_Pair();
    if (!bz_PhysColl_ClipPoints(p1, n1, p2, n2, s.codes[0], s.codes[1], 0.0f, 0.0f))
        return;
    // Whether these two shapes overlap, apart from what other shape pairs of the bodies found.
    const int32_t before = s.count;
    const int32_t overlapBefore = s.overlap;
    s.overlap = 0;
    bz_PhysColl_OverlapCrossings(0, p1, n1);
    bz_PhysColl_OverlapCrossings(1, p2, n2);
    // Shapes crossed edge over edge have no edge with one end inside: they overlap all the same.
    const bool found = s.overlap != 0 ||
                       bz_PhysColl_EdgesInside(
                           p1, p2, n1, n2, bz_PhysColl_LeastFaceDepth(p1, p2, n1, n2, 0.0f, 0.0f));
    s.overlap |= overlapBefore | int32_t(found);
    if (!found || s.count != before)
        return;
    // Inside each other with nothing from the crossings to push them apart: along the least
    // depth. A body the pass has linked to a third body keeps that link; the pair is then pushed
    // apart without linking it.
    const BZDObject *link0 = s.body[0]->linkPartner, *link1 = s.body[1]->linkPartner;
    const bool mayLink = (!link0 || link0 == s.body[1]) && (!link1 || link1 == s.body[0]);
    const bzPhysShapePoint *points[2] = {p1, p2};
    const int32_t counts[2] = {n1, n2};
    PushOutAlongLeastDepth(points, counts, mayLink);
}

void bz_PhysColl_RoundedPair(const bzPhysShapePoint *p1, const bzPhysShapePoint *p2, int32_t n1,
                             int32_t n2)
{
    bzPhysCollPair &s = bz_PhysColl_Pair();
    if (!bz_PhysColl_ClipPoints(p1, n1, p2, n2, s.codes[0], s.codes[1],
                                bz_PhysColl_Rounding(s.shape[0]), bz_PhysColl_Rounding(s.shape[1])))
        return;
    if (!ConvexPolyhedraEntry(s.shape[0], s.shape[1], &p1[0].start, 0.0f, 0.0f, &p2[0].start))
        return;
    AsPolyhedra plain;
    const int32_t before = s.count;
    s.overlap = 0;
    bz_PhysColl_OverlapPolyhedronPair(p1, p2, n1, n2);
    if (!s.overlap)
    {
        s.overlap = 1;
        bz_PhysColl_PolyhedronPair(p1, p2, n1, n2);
    }
    // Keep the contacts that push their body away from the other's centre.
    int32_t kept = before;
    for (int32_t i = before; i < s.count; i++)
    {
        const bzCollisionContact &c = s.out[i];
        const int32_t own = c.body == s.body[0] ? 0 : 1;
        if (Dot(c.normal, s.centreDirection[own]) >= kKeepAlong)
        {
            if (kept != i)
                s.out[kept] = s.out[i];
            kept++;
        }
    }
    s.count = kept;
}

void bz_PhysColl_OverlapShapes(const bzPhysShapePoint *, const bzPhysShapePoint *, int32_t, int32_t)
{
    bzPhysCollPair &s = bz_PhysColl_Pair();
    if (IntersectShapePair(s.shape[1], s.shape[0], &s.toFirst[0], &s.toSecond[0]))
        s.overlap = 1;
}

void bz_PhysColl_OverlapPolyhedra(const bzPhysShapePoint *p1, const bzPhysShapePoint *p2, int32_t,
                                  int32_t)
{
    bzPhysCollPair &s = bz_PhysColl_Pair();
    const bool firstIsBox = s.shape[0]->kind != BZ_SHAPE_ROUNDED_POLYHEDRON;
    const bzShape *box = firstIsBox ? s.shape[0] : s.shape[1];
    const bzShape *rounded = firstIsBox ? s.shape[1] : s.shape[0];
    const bzPhysShapePoint *boxPoints = firstIsBox ? p1 : p2;
    const bzPhysShapePoint *roundedPoints = firstIsBox ? p2 : p1;
    if (RoundedPolyhedronBoxEntry(box, rounded, &boxPoints[0].start, &roundedPoints[0].start))
        s.overlap = 1;
}
