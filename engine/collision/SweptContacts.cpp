// Swept contact tests of rounded features and edges.
#include "collision/SweptContacts.h"

#include "collision/CollisionTolerance.h"
#include "collision/EdgePrimitives.h"
#include "collision/EdgeQuartic.h"
#include "collision/PairMaths.h"
#include "collision/PointPrimitives.h"
#include "collision/SweptRoots.h"
#include "collision/UnitRoots.h"

#include <cmath>

using namespace bzPairMaths;

namespace
{
constexpr float kZeroSq = 1.1920929e-7f;
constexpr float kEdgeMargin = 0.001f;
constexpr float kMiss = 100.0f;
// How near (in length) the line of a moving edge may start to a fixed edge and count as touching
// it.
constexpr float kTouchingEdges = 1e-6f;

bzV3 Unit(const bzV3 &v)
{
    const float l2 = LengthSq(v);
    return l2 > 0.0f ? Scale(v, 1.0f / std::sqrt(l2)) : v;
}

bzV3 ToOtherPoint(const bzSweptFrames *frames, const bzV3 &p)
{
    return frames && frames->toOther ? Point(frames->toOther, p) : p;
}

bzV3 ToOtherDirection(const bzSweptFrames *frames, const bzV3 &v)
{
    return frames && frames->toOther ? Direction(frames->toOther, v) : v;
}

bool IsPair(const bzSweptFrames *frames)
{
    return frames && frames->startPose && frames->endPose;
}

// A body pair's normals for n found at time t in the first body's frame: n turned by the first
// body's pose and by its lump rotation, blended by t and made unit; the lump's turn alone goes to
// otherNormal.
void SetPairNormals(bzCollisionContact *c, const bzV3 &n, float t, const bzSweptFrames *frames)
{
    const bzV3 start = Direction(frames->startPose, n);
    const bzV3 end = Direction(frames->endPose, n);
    c->normal = Unit(AddScaled(Scale(start, 1.0f - t), end, t));
    c->otherNormal = end;
}

// Writes the contact found at time t. selfPoint lies on the first body's side (the world's in
// the world collision), otherPoint on the other body's; normal points from the other body's
// feature towards the first body's (in the world collision: from the world towards the body).
void Finish(bzCollisionContact *c, float t, const bzV3 &selfPoint, const bzV3 &otherPoint,
            const bzV3 &normal, const bzSweptFrames *frames)
{
    c->key = t;
    if (IsPair(frames))
    {
        c->point = selfPoint;
        SetPairNormals(c, normal, t, frames);
        c->otherPoint = ToOtherPoint(frames, otherPoint);
        return;
    }
    // World: the body's point and the world's direction into the body, in the body's frame.
    c->point = ToOtherPoint(frames, otherPoint);
    c->normal = ToOtherDirection(frames, Scale(normal, -1.0f));
    c->otherPoint = ToOtherPoint(frames, selfPoint);
}
} // namespace

void bz_SweptContact_FromCentre(bzCollisionContact *contact, const bzV3 *centre, float radius,
                                const bzSweptFrames *frames, int32_t onSurface)
{
    const bzV3 n = Unit(Sub(*centre, contact->point));
    const bzV3 moved = onSurface ? contact->point : AddScaled(contact->point, n, radius);
    if (IsPair(frames))
    {
        contact->point = moved;
        SetPairNormals(contact, n, contact->key > 1.0f ? 1.0f : contact->key, frames);
        contact->otherPoint = ToOtherPoint(frames, moved);
        return;
    }
    // World: the centre is the body's, the point the world's; n runs from the world into the body.
    contact->point = ToOtherPoint(frames, moved);
    contact->normal = ToOtherDirection(frames, n);
}

int32_t bz_SweptPointSphere_EndTouch(bzCollisionContact *contact, const bzV3 *p, const bzV3 *d,
                                     const bzV3 *m, float r, const bzSweptFrames *frames)
{
    const bzV3 end = Add(*p, *d);
    const float g = LengthSq(Sub(end, *m));
    if (!(r * r <= g && g <= (bzCollisionTolerance + r) * r))
        return 0;
    contact->key = BZ_SWEPT_END_TOUCH;
    contact->point = end;
    bz_SweptContact_FromCentre(contact, m, r, frames, 0);
    return 1;
}

int32_t bz_SweptPointSphere(bzCollisionContact *contact, const bzV3 *p, const bzV3 *d,
                            const bzV3 *m, float r, const bzSweptFrames *frames)
{
    const bzV3 w = Sub(*m, *p);
    const float d2 = LengthSq(w);
    const float k = Dot(w, *d);
    const float r2 = r * r;
    if (!(d2 == d2) || !(k == k))
        return 0;
    if (d2 < (bzCollisionTolerance + r) * r)
    {
        if (d2 < r2)
            return 0;
        contact->key = 0.0f;
        contact->point = *p;
        bz_SweptContact_FromCentre(contact, m, r, frames, 1);
        return 1;
    }
    const float dd = LengthSq(*d);
    if (k < 0.0f || (d2 - k > 0.0f && (d2 - k) * (d2 - k) > d2 * r2) || dd < kZeroSq)
        return bz_SweptPointSphere_EndTouch(contact, p, d, m, r, frames);
    const float s = k / dd;
    const float p2 = d2 - s * s * dd;
    if (p2 > r2 + bzCollisionTolerance * r)
        return 0;
    float h2 = r2 - p2;
    if (h2 < 0.0f)
        h2 = 0.0f;
    if (h2 > s * s * dd)
        return bz_SweptPointSphere_EndTouch(contact, p, d, m, r, frames);
    const float t = s - std::sqrt(h2 / dd);
    if (!(t >= 0.0f && t <= 1.0f))
        return bz_SweptPointSphere_EndTouch(contact, p, d, m, r, frames);
    contact->key = t;
    contact->point = AddScaled(*p, *d, t);
    bz_SweptContact_FromCentre(contact, m, r, frames, 0);
    return 1;
}

int32_t bz_SweptPointsTicTac(float r1, float r2, const bzV3 *points, const uint8_t *skip,
                             int32_t pointCount, const bzV3 *a, const bzV3 *v, const bzV3 *e,
                             const bzV3 *w, const bzSweptFrames *frames, bzSweptContactSink sink,
                             void *context, int32_t count)
{
    if (!points || !sink || pointCount <= 0)
        return count;
    const float radius = r1 + r2;
    const float tol = bzCollisionTolerance;
    const float ee = LengthSq(*e);
    const bzV3 endStart = Add(*a, *e);
    const bzV3 endMotion = Add(*v, *w);
    for (int32_t i = 0; i < pointCount; i++)
    {
        if (skip && skip[i])
            continue;
        const bzV3 &p = points[i];
        bzCollisionContact found{};
        // Against the end sphere that starts at s and moves by motion: the point moves the
        // other way relative to it.
        auto endSphere = [&](const bzV3 &s, const bzV3 &motion)
        {
            const bzV3 back = Scale(motion, -1.0f);
            if (!bz_SweptPointSphere(&found, &p, &back, &s, radius, frames))
                return;
            if (!IsPair(frames) && !(frames && frames->toOther))
            {
                // The test ran beside the sphere's start: put the point where the sphere is at
                // the time found.
                const float t = found.key < 1.0f ? found.key : 1.0f;
                found.point = AddScaled(found.point, motion, t);
            }
            count = sink(context, &found, count);
        };
        const bzV3 d = Sub(p, *a);
        if (ee < kZeroSq)
        {
            // An axis of no length is its start sphere.
            endSphere(*a, *v);
            continue;
        }
        float k[5];
        bz_PointAxisQuartic(d, *v, *e, *w, radius, tol, k);
        float roots[4];
        const int32_t n = bz_QuarticRootsInUnit(k[0], k[1], k[2], k[3], k[4], roots);
        const bool within = k[4] < 0.0f;
        if (within && n < 2)
        {
            if (Dot(d, *e) / ee <= 0.0f)
                endSphere(*a, *v);
            else
                endSphere(endStart, endMotion);
            continue;
        }
        float picked[4];
        const int32_t m = bz_EnteringRoots(roots, n, within, picked);
        for (int32_t j = 0; j < m; j++)
        {
            const float t = picked[j];
            const bzV3 at = AddScaled(*a, *v, t);
            const bzV3 et = AddScaled(*e, *w, t);
            const float etSq = LengthSq(et);
            if (etSq < kZeroSq)
                continue;
            const float u = Dot(et, Sub(p, at)) / etSq;
            if (u < 0.0f)
            {
                endSphere(*a, *v);
                continue;
            }
            if (u > 1.0f)
            {
                endSphere(endStart, endMotion);
                continue;
            }
            const bzV3 side = AddScaled(at, et, u);
            const bzV3 n0 = Unit(Sub(side, p)); // from the point towards the axis
            // The point met and the capsule's surface point towards it.
            Finish(&found, t, p, AddScaled(side, n0, -radius), Scale(n0, -1.0f), frames);
            count = sink(context, &found, count);
        }
    }
    return count;
}

namespace
{
// Where the point m stands against the segment a + e moving by u and w, taken at the quartic's
// roots in order: 1, with the time and the foot's parameter, at the first root where the point's
// foot lies between the segment's ends; otherwise which end it last lay beyond (0 for neither).
// A point already within the band whose quartic has fewer than two roots is judged where it
// starts.
int32_t FootBetweenEnds(const bzV3 &m, const bzV3 &a, const bzV3 &u, const bzV3 &e, const bzV3 &w,
                        float ee, const float *roots, int32_t n, bool within, float *time,
                        float *param)
{
    if (within && n < 2)
    {
        const float start = Dot(Sub(m, a), e) / ee;
        return start < 0.0f ? BZ_SWEPT_SEGMENT_BEFORE_START
                            : (start > 1.0f ? BZ_SWEPT_SEGMENT_PAST_END : 0);
    }
    int32_t beyond = 0;
    float picked[4];
    const int32_t count = bz_EnteringRoots(roots, n, within, picked);
    for (int32_t j = 0; j < count; j++)
    {
        const float t = picked[j];
        const bzV3 at = AddScaled(a, u, t);
        const bzV3 et = AddScaled(e, w, t);
        const float etSq = LengthSq(et);
        if (etSq < kZeroSq)
            continue;
        const float foot = Dot(et, Sub(m, at)) / etSq;
        if (foot < 0.0f)
            beyond = BZ_SWEPT_SEGMENT_BEFORE_START;
        else if (foot > 1.0f)
            beyond = BZ_SWEPT_SEGMENT_PAST_END;
        else
        {
            *time = t;
            *param = foot;
            return 1;
        }
    }
    return beyond;
}
} // namespace

int32_t bz_SweptSphereSegment(float r1, float r2, const bzV3 *m, const bzV3 *a, const bzV3 *u,
                              const bzV3 *e, const bzV3 *w, bzCollisionContact *contact,
                              const bzSweptFrames *frames)
{
    const float radius = r1 + r2;
    const float ee = LengthSq(*e);
    if (ee < kZeroSq)
        return 0;
    const bzV3 d = Sub(*m, *a);
    float k[5];
    bz_PointAxisQuartic(d, *u, *e, *w, radius, 0.0f, k);
    float roots[4];
    const int32_t n = bz_QuarticRootsInUnit(k[0], k[1], k[2], k[3], k[4], roots);
    const bool within = k[4] < 0.0f;
    auto build = [&](float t, float key)
    {
        const bzV3 at = AddScaled(*a, *u, t);
        const bzV3 et = AddScaled(*e, *w, t);
        const float param = Dot(et, Sub(*m, at)) / LengthSq(et);
        const bzV3 side = AddScaled(at, et, param);
        const bzV3 toSphere = Unit(Sub(*m, side));
        Finish(contact, t, AddScaled(*m, toSphere, -r1), AddScaled(side, toSphere, r2), toSphere,
               frames);
        contact->key = key;
    };
    float t = 0.0f, foot = 0.0f;
    const int32_t result = FootBetweenEnds(*m, *a, *u, *e, *w, ee, roots, n, within, &t, &foot);
    if (result == 1)
    {
        build(t, t);
        return 1;
    }
    if (within && n < 2)
        return result;
    // A touch within the tolerance band at the end of the step.
    const float q1 = k[0] + k[1] + k[2] + k[3] + k[4];
    const bzV3 a1 = Add(*a, *u), e1 = Add(*e, *w);
    const float e1Sq = LengthSq(e1);
    if (e1Sq >= kZeroSq && q1 >= 0.0f && q1 < 2.0f * bzCollisionTolerance * radius * e1Sq)
    {
        const float param = Dot(e1, Sub(*m, a1)) / e1Sq;
        if (param >= 0.0f && param < 1.0f)
        {
            build(1.0f, BZ_SWEPT_END_SEGMENT);
            return 1;
        }
    }
    return result;
}

int32_t bz_SweptPointSegmentGrown(float r1, float r2, const bzV3 *m, const bzV3 *a, const bzV3 *u,
                                  const bzV3 *e, const bzV3 *w, bzCollisionContact *contact,
                                  const bzSweptFrames *frames)
{
    const float radius = r1 + r2;
    const float ee = LengthSq(*e);
    // Against the end sphere that starts at s and moves by motion: the centre moves the other
    // way relative to it.
    auto endSphere = [&](const bzV3 &start, const bzV3 &motion) -> int32_t
    {
        const bzV3 back = Scale(motion, -1.0f);
        if (!bz_SweptPointSphere(contact, m, &back, &start, radius, frames))
            return 0;
        if (!IsPair(frames) && !(frames && frames->toOther))
        {
            const float t = contact->key < 1.0f ? contact->key : 1.0f;
            contact->point = AddScaled(contact->point, motion, t);
        }
        return 1;
    };
    if (ee < kZeroSq)
        return 0;
    const bzV3 d = Sub(*m, *a);
    float k[5];
    bz_PointAxisQuartic(d, *u, *e, *w, radius, bzCollisionTolerance, k);
    float roots[4];
    const int32_t n = bz_QuarticRootsInUnit(k[0], k[1], k[2], k[3], k[4], roots);
    const bool within = k[4] < 0.0f;
    float t = 0.0f, param = 0.0f;
    const int32_t beyond = FootBetweenEnds(*m, *a, *u, *e, *w, ee, roots, n, within, &t, &param);
    if (beyond == 1)
    {
        const bzV3 at = AddScaled(*a, *u, t);
        const bzV3 side = AddScaled(at, AddScaled(*e, *w, t), param);
        const bzV3 toSphere = Unit(Sub(*m, side));
        Finish(contact, t, AddScaled(*m, toSphere, -r1), AddScaled(side, toSphere, r2), toSphere,
               frames);
        return 1;
    }
    if (beyond == BZ_SWEPT_SEGMENT_BEFORE_START)
        return endSphere(*a, *u);
    if (beyond == BZ_SWEPT_SEGMENT_PAST_END)
        return endSphere(Add(*a, *e), Add(*u, *w));
    return 0;
}

namespace
{
// Closest points of the lines p + s e and q + r f: false for parallel lines.
bool ClosestParameters(const bzV3 &p, const bzV3 &e, const bzV3 &q, const bzV3 &f, float *s,
                       float *r)
{
    const bzV3 w0 = Sub(p, q);
    const float a = LengthSq(e), b = Dot(e, f), c = LengthSq(f);
    const float d = Dot(e, w0), g = Dot(f, w0);
    const float den = a * c - b * b;
    if (!(std::fabs(den) > kZeroSq))
        return false;
    *s = (b * g - c * d) / den;
    *r = (a * g - b * d) / den;
    return true;
}

// The fixed edge q + r f and the moving edge p0 + t v, vector e0 + t w, with their common normal
// n0 + t n1.
struct EdgePair
{
    const bzV3 *q, *f, *p0, *v, *e0, *w;
    bzV3 n0, n1;
};

EdgePair MakeEdgePair(const bzV3 *q, const bzV3 *f, const bzV3 *p0, const bzV3 *v, const bzV3 *e0,
                      const bzV3 *w)
{
    return {q, f, p0, v, e0, w, Cross(*e0, *f), Cross(*w, *f)};
}

// The first entering root of the edges' distance quartic at which the lines' closest points lie
// on both edges (within the margin past each end): its time and the parameters on the moving
// edge (s) and on the fixed one (r).
bool FirstRootOnBothEdges(const EdgePair &g, const float *roots, int32_t rootCount, bool within,
                          float *time, float *s, float *r)
{
    float picked[4];
    const int32_t m = bz_EnteringRoots(roots, rootCount, within, picked);
    for (int32_t j = 0; j < m; j++)
    {
        const float t = picked[j];
        const bzV3 nt = AddScaled(g.n0, g.n1, t);
        if (LengthSq(nt) < kZeroSq)
            continue;
        if (!ClosestParameters(AddScaled(*g.p0, *g.v, t), AddScaled(*g.e0, *g.w, t), *g.q, *g.f, s,
                               r))
            continue;
        if (*s < -kEdgeMargin || *s > 1.0f + kEdgeMargin || *r < -kEdgeMargin ||
            *r > 1.0f + kEdgeMargin)
            continue;
        *time = t;
        return true;
    }
    return false;
}

// The contact of the edges (radii r1 on the fixed one, r2 on the moving one) at time t and the
// parameters s and r, carrying key.
void EdgeContact(bzCollisionContact *contact, const EdgePair &g, float r1, float r2, float t,
                 float s, float r, float key, const bzSweptFrames *frames)
{
    const bzV3 pt = AddScaled(*g.p0, *g.v, t);
    const bzV3 et = AddScaled(*g.e0, *g.w, t);
    const bzV3 nt = AddScaled(g.n0, g.n1, t);
    const bzV3 moving = AddScaled(pt, et, s);
    const bzV3 fixed = AddScaled(*g.q, *g.f, r);
    bzV3 normal = Unit(nt);
    if (Dot(Sub(moving, *g.q), nt) > 0.0f)
        normal = Scale(normal, -1.0f); // from the moving edge towards the fixed one
    // The fixed edge's surface point and the moving edge's, each pushed out by its radius.
    Finish(contact, t, AddScaled(fixed, normal, -r1), AddScaled(moving, normal, r2), normal,
           frames);
    contact->key = key;
}
} // namespace

int32_t bz_SweptEdgeEdge(float r1, float r2, const bzV3 *q, const bzV3 *f, const bzV3 *p0,
                         const bzV3 *v, const bzV3 *e0, const bzV3 *w, bzCollisionContact *contact,
                         const bzSweptFrames *frames)
{
    const float radius = r1 + r2;
    const EdgePair g = MakeEdgePair(q, f, p0, v, e0, w);
    if (LengthSq(g.n0) < kZeroSq && LengthSq(g.n1) < kZeroSq)
        return BZ_SWEPT_EDGES_BEYOND_END;
    float roots[4];
    float q1 = 0.0f;
    const int32_t n = bz_EdgeEdgeDistanceQuartic(radius, q, f, p0, v, e0, w, roots, &q1);
    const bool within = n < 0;
    const int32_t rootCount = within ? -1 - n : n;
    float t = 0.0f, s = 0.0f, r = 0.0f;
    if ((!within || rootCount >= 2) &&
        FirstRootOnBothEdges(g, roots, rootCount, within, &t, &s, &r))
    {
        EdgeContact(contact, g, r1, r2, t, s, r, t, frames);
        return 1;
    }
    // The end of the step: within the tolerance band, meeting inside both edges.
    const bzV3 n1End = Add(g.n0, g.n1);
    const float nnEnd = LengthSq(n1End);
    if (q1 >= 0.0f && q1 <= 2.0f * nnEnd * radius * bzCollisionTolerance)
    {
        if (ClosestParameters(Add(*p0, *v), Add(*e0, *w), *q, *f, &s, &r) && s >= 0.0f &&
            s < 1.0f && r >= 0.0f && r < 1.0f && nnEnd >= kZeroSq)
        {
            EdgeContact(contact, g, r1, r2, 1.0f, s, r, BZ_SWEPT_END_TOUCH, frames);
            return 1;
        }
    }
    return within || rootCount > 0 ? BZ_SWEPT_EDGES_BEYOND_END : BZ_SWEPT_EDGES_APART;
}

int32_t bz_SweptEdgeEdgeGrown(float r1, float r2, const bzV3 *q, const bzV3 *f, const bzV3 *p0,
                              const bzV3 *v, const bzV3 *e0, const bzV3 *w,
                              bzCollisionContact *contact, const bzSweptFrames *frames)
{
    const EdgePair g = MakeEdgePair(q, f, p0, v, e0, w);
    if (LengthSq(g.n0) < kZeroSq && LengthSq(g.n1) < kZeroSq)
        return BZ_SWEPT_EDGES_APART;
    float roots[4];
    float q1 = 0.0f;
    const int32_t n = bz_EdgeEdgeDistanceQuarticGrown(r1 + r2, q, f, p0, v, e0, w, roots, &q1);
    const bool within = n < 0;
    const int32_t rootCount = within ? -1 - n : n;
    if (within && rootCount < 2)
        return BZ_SWEPT_EDGES_START_WITHIN;
    float t = 0.0f, s = 0.0f, r = 0.0f;
    if (!FirstRootOnBothEdges(g, roots, rootCount, within, &t, &s, &r))
        return BZ_SWEPT_EDGES_APART;
    EdgeContact(contact, g, r1, r2, t, s, r, t, frames);
    return 1;
}

namespace
{
// The point against edge test. The line-distance form first turns away lines further apart than
// the radius and twice the tolerance, takes a looser threshold for a path running along the edge
// and ends with the resting point test in place of the resting sphere test.
int32_t PointAgainstEdge(float r, const bzV3 *a, const bzV3 *u, const bzV3 *p, const bzV3 *d,
                         bzCollisionContact *contact, const bzSweptFrames *frames,
                         bool lineDistanceForm)
{
    const float uu = LengthSq(*u);
    if (uu < kZeroSq)
        return 0;
    const float tol = bzCollisionTolerance;
    if (lineDistanceForm)
    {
        const bzV3 across = Cross(*u, *d);
        const float cc = LengthSq(across);
        if (cc >= kZeroSq)
        {
            const float gap = Dot(Sub(*p, *a), across);
            if (gap * gap / cc > (2.0f * tol + r) * r)
                return 0;
        }
    }
    const bzM34 *toBody = IsPair(frames) ? nullptr : (frames ? frames->toOther : nullptr);
    auto fallback = [&](float s)
    {
        if (!IsPair(frames) && (s < 0.0f || s > 1.0f))
        {
            // The path enters beyond an end: that end as a sphere of the radius.
            const bzV3 corner = s > 1.0f ? Add(*a, *u) : *a;
            const bzV3 end = Add(*p, *d);
            float t = kMiss;
            bzV3 normal{};
            bz_SweptPointAgainstSphere(p, &end, &corner, r, &t, &normal);
            if (t >= 0.0f && t <= 1.0f)
            {
                const bzV3 at = AddScaled(*p, *d, t);
                // normal runs from the moving point towards the corner.
                Finish(contact, t, corner, AddScaled(at, normal, r), normal, frames);
                return 1;
            }
        }
        const bzV3 end = Add(*p, *d);
        const int32_t resting = lineDistanceForm
                                    ? bz_RestingPointOnEdge(&end, a, u, r, contact, toBody)
                                    : bz_RestingSphereOnEdge(&end, a, u, r, contact, toBody);
        if (!resting)
            return 0;
        // Its normal runs from the point towards the edge; a world contact's from the world.
        if (!IsPair(frames))
            contact->normal = Scale(contact->normal, -1.0f);
        return 1;
    };
    const bzV3 w0 = Sub(*p, *a);
    const bzV3 wPerp = AddScaled(w0, *u, -Dot(w0, *u) / uu);
    const bzV3 dPerp = AddScaled(*d, *u, -Dot(*d, *u) / uu);
    const float dd = LengthSq(dPerp);
    const float alongEdge = lineDistanceForm ? tol * tol * 0.1f : (0.1f * tol) * (0.1f * tol);
    if (dd < alongEdge)
        return fallback(0.5f);
    const float closest = -Dot(wPerp, dPerp) / dd;
    const float m = LengthSq(AddScaled(wPerp, dPerp, closest));
    const float r2 = r * r;
    if (m > r2)
    {
        if (m > r2 + 2.0f * tol * r)
            return 0;
        return fallback(0.5f);
    }
    const float t = closest - std::sqrt((r2 - m) / dd);
    const bzV3 at = AddScaled(*p, *d, t);
    const float s = Dot(Sub(at, *a), *u) / uu;
    if (!(t >= 0.0f && t <= 1.0f) || !(s >= 0.0f && s <= 1.0f))
        return fallback(s);
    const bzV3 onEdge = AddScaled(*a, *u, s);
    const bzV3 normal = Unit(Sub(at, onEdge)); // from the edge towards the moving point
    Finish(contact, t, onEdge, AddScaled(at, normal, -r), Scale(normal, -1.0f), frames);
    return 1;
}
} // namespace

int32_t bz_SweptPointEdge(float r, const bzV3 *a, const bzV3 *u, const bzV3 *p, const bzV3 *d,
                          bzCollisionContact *contact, const bzSweptFrames *frames)
{
    return PointAgainstEdge(r, a, u, p, d, contact, frames, false);
}

int32_t bz_SweptPointEdgeUnused(float r, const bzV3 *a, const bzV3 *u, const bzV3 *p, const bzV3 *d,
                                bzCollisionContact *contact, const bzSweptFrames *frames)
{
    return PointAgainstEdge(r, a, u, p, d, contact, frames, true);
}

int32_t bz_SweptEdgeCrossing(const bzV3 *q, const bzV3 *f, const bzV3 *p0, const bzV3 *v,
                             const bzV3 *e0, const bzV3 *w, bzCollisionContact *contact,
                             const bzSweptFrames *frames)
{
    const bzEdgeSide lines = bz_EdgeSide(*q, *f, *p0, *v, *e0, *w);
    const bzV3 &n0 = lines.n0, &n1 = lines.n1, &offset = lines.offset;
    const float a = lines.a, b = lines.b, c = lines.c;
    const float startSide = c;
    const bzM34 *toBody = IsPair(frames) ? nullptr : (frames ? frames->toOther : nullptr);
    auto fallback = [&]()
    {
        const bzV3 endVector = Add(*e0, *w);
        const bzV3 zero{};
        const bzV3 endNormal = Cross(endVector, *f);
        const float side = Dot(Add(offset, *v), endNormal);
        return bz_SweptEdgeAgainstEdge(p0, &endVector, v, q, f, &zero, side < 0.0f ? -1 : 1,
                                       contact, toBody);
    };
    // Edges that touch at the start have no side to come from: a crossing found there would
    // take its normal's sense from rounding. The end of the step, where the side is known,
    // decides instead.
    if (std::fabs(c) <= kTouchingEdges * std::sqrt(LengthSq(n0)))
        return fallback();
    float roots[2];
    const int32_t n = bz_EdgeCrossingTimes(a, b, c, roots);
    if (n == 0)
        return fallback();
    if (!(roots[0] < contact->key))
        return 0;
    for (int32_t j = 0; j < n; j++)
    {
        const float t = roots[j];
        const bzV3 nt = AddScaled(n0, n1, t);
        if (LengthSq(nt) < kZeroSq)
            continue;
        const bzV3 pt = AddScaled(*p0, *v, t);
        const bzV3 et = AddScaled(*e0, *w, t);
        // s puts P(t) + s E(t) in the plane through Q holding F and N(t).
        const bzV3 across = Cross(*f, nt);
        const float den = Dot(et, across);
        if (!(std::fabs(den) > kZeroSq))
            continue;
        const float s = -Dot(Sub(pt, *q), across) / den;
        if (!(s >= 0.0f && s <= 1.0f))
            continue;
        const bzV3 crossing = AddScaled(pt, et, s);
        int32_t axis = 0;
        for (int32_t k = 1; k < 3; k++)
            if (std::fabs(f->v[k]) > std::fabs(f->v[axis]))
                axis = k;
        if (!(std::fabs(f->v[axis]) > kZeroSq))
            continue;
        const float r = (crossing.v[axis] - q->v[axis]) / f->v[axis];
        if (!(r >= 0.0f && r <= 1.0f))
            continue;
        bzV3 normal = Unit(nt);
        if ((j == 0 && startSide < 0.0f) || (j == 1 && startSide >= 0.0f))
            normal = Scale(normal, -1.0f);
        // normal now points from the fixed edge towards the moving one.
        const bzV3 onFixed = AddScaled(*q, *f, r);
        Finish(contact, t, onFixed, crossing, Scale(normal, -1.0f), frames);
        return 1;
    }
    return fallback();
}
