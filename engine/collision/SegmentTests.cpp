// Segment and point tests of the collision code.
#include "collision/SegmentTests.h"

#include "collision/CollisionTolerance.h"
#include "collision/FloatLanes.h"
#include "collision/PairMaths.h"
#include "maths/Approx.h"

#include <cfloat>
#include <cmath>

using namespace bzPairMaths;

namespace
{
bool Finite(const bzV3 *v)
{
    return std::isfinite(v->x) && std::isfinite(v->y) && std::isfinite(v->z);
}
} // namespace

int32_t bz_Segment_AlignedBox(const bzV3 *start, const bzV3 *end, const bzBox *box, bzV3 *hitOut,
                              float *tOut)
{
    // The three axes side by side; the fourth lane starts and ends at 0 in a box from 0 to 0, so
    // it is finite, neither below nor above the box, never outside it and never the axis of the
    // hit.
    typedef bzLanes Lanes;
    typedef bzLaneMask Mask;
    const Lanes s = bz_Lanes(*start);
    const Lanes e = bz_Lanes(*end);
    if (!bz_AllLanesHeld(bz_FiniteLanes(s) & bz_FiniteLanes(e)))
        return 0;
    const Lanes lo = bz_Lanes(box->min);
    const Lanes hi = bz_Lanes(box->max);
    // Per axis: below the box's min face, else above its max face; that face is the candidate.
    const Mask below = s < lo;
    const Mask above = (s > hi) & ~below;
    const Mask has = below | above;
    if (!bz_AnyLaneHeld(has))
    {
        *hitOut = *start;
        return -1;
    }
    const Lanes d = e - s;
    const Lanes candidate = below ? lo : hi;
    const Lanes none = {-1.0f, -1.0f, -1.0f, -1.0f};
    // Lanes without a candidate or without movement divide for nothing and take -1.
    const Lanes t = (has & (d != 0.0f)) ? (candidate - s) / d : none;
    int32_t axis = t[0] < t[1] ? 1 : 0;
    if (t[axis] < t[2])
        axis = 2;
    const float best = t[axis];
    if (best < 0.0f || best > 1.0f)
        return 0;
    const Lanes bests = {best, best, best, best};
    const Lanes at = s + bests * d;
    Mask outside = (at < lo) | (at > hi);
    outside[axis] = 0;
    if (bz_AnyLaneHeld(outside))
        return 0;
    bzV3 hit = V(at[0], at[1], at[2]);
    hit.v[axis] = candidate[axis];
    *tOut = best;
    *hitOut = hit;
    return axis + 1 + (below[axis] ? 4 : 0);
}

int32_t bz_Segment_Hull(const bzV3 *start, const bzV3 *end, const bzHull *hull, float margin,
                        bzV3 *hitOut, float *tOut)
{
    *tOut = 2.0f;
    const int32_t faces = hull->faceCount;
    if (faces > BZ_SEGMENT_HULL_MAX_FACES || !Finite(start) || !Finite(end) ||
        !std::isfinite(margin))
        return 0;
    const bzV3 d = Sub(*end, *start);
    bool outside = false;
    float best = 0.0f;
    int32_t entry = -1;
    // First pass: the entry face, the latest entering parameter within the segment.
    for (int32_t i = 0; i < faces; i++)
    {
        const bzPlane &plane = hull->planes[i];
        const float rate = -Dot(d, plane.n);
        const float room = margin + plane.d - Dot(plane.n, *start);
        if (room < 0.0f)
            outside = true;
        if (rate == 0.0f)
        {
            if (room < 0.0f)
                return 0;
            continue;
        }
        const float ti = -room / rate;
        if (rate > 0.0f && ti >= best)
        {
            if (ti > 1.0f)
                return 0;
            best = ti;
            entry = i;
        }
    }
    if (!outside)
    {
        *tOut = 0.0f;
        return -1;
    }
    if (entry < 0)
        return 0;
    // Second pass: no face may be left before the entry.
    for (int32_t i = 0; i < faces; i++)
    {
        const bzPlane &plane = hull->planes[i];
        const float rate = -Dot(d, plane.n);
        if (rate >= 0.0f)
            continue;
        const float room = margin + plane.d - Dot(plane.n, *start);
        if (-room / rate < best)
            return 0;
    }
    *hitOut = AddScaled(*start, d, best);
    *tOut = best;
    return entry + 1;
}

int32_t bz_Segment_Sphere(const bzV3 *start, const bzV3 *end, const bzSphereShape *sphere,
                          float *tOut, bzV3 *hitOut, bzV3 *normalOut)
{
    if (!Finite(start) || !Finite(end))
        return 0;
    const float r2 = sphere->radiusSquared;
    const bzV3 w = Sub(sphere->centre, *start);
    const float w2 = LengthSq(w);
    if (w2 < r2)
        return -1;
    const bzV3 d = Sub(*end, *start);
    const float l2 = LengthSq(d);
    if (l2 < FLT_EPSILON)
        return 0;
    const float p = Dot(d, w) / l2;
    const float h2 = w2 - p * p * l2;
    if (!(h2 <= r2))
        return 0;
    const float t = p - std::sqrt((r2 - h2) / l2);
    *tOut = t;
    if (t < 0.0f || t > 1.0f)
        return 0;
    const bzV3 hit = AddScaled(*start, d, t);
    *hitOut = hit;
    if (normalOut)
    {
        const bzV3 in = Sub(sphere->centre, hit);
        const float length = std::sqrt(LengthSq(in));
        *normalOut = length > 0.0f ? Scale(in, 1.0f / length) : Scale(d, 1.0f / std::sqrt(l2));
    }
    return 1;
}

int32_t bz_Sphere_AlignedBox(const bzV3 *centre, const bzBox *box, float radiusSquared,
                             bzV3 *closestOut)
{
    bzV3 q;
    for (int32_t i = 0; i < 3; i++)
    {
        const float c = centre->v[i];
        if (c < box->min.v[i])
            q.v[i] = box->min.v[i];
        else if (c >= box->max.v[i])
            q.v[i] = box->max.v[i];
        else
            q.v[i] = c;
    }
    *closestOut = q;
    return LengthSq(Sub(*centre, q)) <= radiusSquared ? 1 : 0;
}

int32_t bz_Point_NearSegment(const bzV3 *start, const bzV3 *end, const bzV3 *point, float radius)
{
    const bzV3 w = Sub(*point, *start);
    const bzV3 d = Sub(*end, *start);
    const float l2 = LengthSq(d);
    if (!(l2 > 0.0f))
        return 0;
    const float wd = Dot(w, d);
    const float k = wd / l2;
    return LengthSq(w) - wd * wd / l2 <= radius * radius && k >= 0.0f && k <= 1.0f ? 1 : 0;
}

void bz_Point_InSphereShell(const bzV3 *point, const bzV3 *centre, float radius, bzV3 *normalOut,
                            float *flagOut)
{
    const bzV3 in = Sub(*centre, *point);
    const float g = LengthSq(in);
    const float outer = radius + bzCollisionTolerance;
    if (!(radius * radius < g && g < outer * outer))
        return;
    *normalOut = Scale(in, 1.0f / std::sqrt(g));
    *flagOut = 1.0f;
}

int32_t bz_SegmentsCross(const bzV3 *start1, const bzV3 *end1, const bzV3 *start2, const bzV3 *end2)
{
    constexpr float kSmall = 1.0e-07f;
    const bzV3 e1 = Sub(*end1, *start1);
    const bzV3 e2 = Sub(*end2, *start2);
    const bzV3 n = Cross(e1, e2);
    const float nLength = std::sqrt(LengthSq(n));
    if (!(nLength > kSmall))
        return 0;
    const bzV3 between = Sub(*start2, *start1);
    if (!(std::fabs(Dot(between, n)) / nLength < bzCollisionTolerance))
        return 0;
    const bzV3 m = Cross(e1, Scale(n, 1.0f / nLength));
    const float e2m = Dot(e2, m);
    if (!(std::fabs(e2m) > kSmall))
        return 0;
    const float u = -Dot(between, m) / e2m;
    if (u < 0.0f || u > 1.0f)
        return 0;
    const bzV3 x = AddScaled(*start2, e2, u);
    const float s = Dot(Sub(x, *start1), e1) / LengthSq(e1);
    return s >= 0.0f && s <= 1.0f ? 1 : 0;
}

int32_t bz_Quadratic_RootsInUnit(float *roots, float a, float b, float c)
{
    int32_t count = 0;
    const auto keep = [&](float t)
    {
        if (t >= 0.0f && t <= 1.0f)
            roots[count++] = t;
    };
    if (a == 0.0f)
    {
        // A straight line: one root at most.
        if (b != 0.0f)
            keep(-c / b);
        return count;
    }
    // No sign change over [0, 1] (the vertex standing in for f(1) when it lies between) means no
    // root there.
    float other = a + b + c;
    const float vertex = -b / (2.0f * a);
    if (vertex >= 0.0f && vertex <= 1.0f && c * other > 0.0f)
        other = (a * vertex + b) * vertex + c;
    if (c * other > 0.0f)
        return 0;
    const float disc = b * b - 4.0f * a * c;
    if (!(disc >= 0.0f))
        return 0;
    if (b * b <= 1000.0f * std::fabs(4.0f * a * c))
    {
        const float r = std::fabs(std::sqrt(disc) / (2.0f * a));
        keep(vertex - r);
        keep(vertex + r);
        return count;
    }
    // Nearly linear: the small root by its series about -c/b, the other from the sum of the
    // roots, -b/a.
    const float lin = -c / b;
    const float t1 = lin - a * c * c / (b * b * b);
    keep(t1);
    keep(-b / a - t1);
    return count;
}

int32_t bz_Segment_TicTacSide(const bzV3 *start, const bzV3 *end, const bzTicTacShape *capsule,
                              bzV3 *hitOut, float *tOut)
{
    if (!Finite(start) || !Finite(end))
        return 0;
    const bzV3 d = Sub(*end, *start);
    const bzV3 a = Sub(capsule->segmentEnd, capsule->segmentStart);
    const bzV3 w = Sub(*start, capsule->segmentStart);
    const float aa = LengthSq(a), ad = Dot(a, d), wa = Dot(w, a);
    if (!(aa > 0.0f))
        return 0;
    const float r = capsule->radius;
    const float qc = LengthSq(w) * aa - wa * wa - r * r * aa;
    if (qc < 0.0f)
        return 0;
    float first, second;
    if (!bz_SolveQuadratic(&first, &second, LengthSq(d) * aa - ad * ad,
                           2.0f * (Dot(w, d) * aa - wa * ad), qc))
        return 0;
    const float t = first < second ? first : second;
    if (!(t >= 0.0f && t <= 1.0f))
        return 0;
    const bzV3 hit = AddScaled(*start, d, t);
    const float v = Dot(Sub(hit, capsule->segmentStart), a) / aa;
    if (!(v >= 0.0f && v < 1.0f))
        return 0;
    *hitOut = hit;
    *tOut = t;
    return 1;
}

int32_t bz_Disc_Face(const bzCollisionFace *face, const bzV3 *centre, const bzV3 *axis, float r,
                     bzV3 *pointOut, bzV3 *normalOut)
{
    constexpr float kParallelSq = 1.4210855e-14f;
    const bzV3 &n = face->normal;
    const float h = Dot(n, *centre) - face->distance;
    if (!(std::fabs(h) <= r))
        return 0;
    // Across: the direction in the disc's plane in which the face plane is nearest.
    const bzV3 across = AddScaled(n, *axis, -Dot(*axis, n));
    const float acrossSq = LengthSq(across);
    if (!(acrossSq >= kParallelSq))
        return 0;
    if (!(h * h <= r * r * acrossSq))
        return 0;
    const bzV3 foot = AddScaled(*centre, across, -h / acrossSq);
    const bzV3 along = Cross(*axis, n);
    // The face edges that cross the disc's plane.
    bzV3 cross[2];
    int32_t crossedEdge[2];
    int32_t crossings = 0;
    for (int32_t k = 0; k < 3 && crossings < 2; k++)
    {
        const bzV3 &p = face->corners[k];
        const bzV3 &q = face->corners[(k + 1) % 3];
        const float sp = Dot(*axis, Sub(p, *centre));
        const float sq = Dot(*axis, Sub(q, *centre));
        if ((sp < 0.0f) == (sq < 0.0f) || sp == sq)
            continue;
        cross[crossings] = AddScaled(p, Sub(q, p), sp / (sp - sq));
        crossedEdge[crossings] = k;
        crossings++;
    }
    if (crossings < 2)
        return 0;
    const float s0 = Dot(Sub(cross[0], foot), along);
    const float s1 = Dot(Sub(cross[1], foot), along);
    if ((s0 < 0.0f) != (s1 < 0.0f))
    {
        *pointOut = foot;
        *normalOut = n;
        return 1;
    }
    const int32_t nearer =
        LengthSq(Sub(cross[0], *centre)) <= LengthSq(Sub(cross[1], *centre)) ? 0 : 1;
    if (!(LengthSq(Sub(cross[nearer], *centre)) <= r * r))
        return 0;
    const int32_t k = crossedEdge[nearer];
    const bzV3 edge = Sub(face->corners[(k + 1) % 3], face->corners[k]);
    bzV3 out = Cross(edge, n);
    if (Dot(out, Sub(face->corners[(k + 2) % 3], face->corners[k])) > 0.0f)
        out = Scale(out, -1.0f);
    const float length = std::sqrt(LengthSq(out));
    if (!(length > 0.0f))
        return 0;
    *pointOut = cross[nearer];
    *normalOut = Scale(out, 1.0f / length);
    return 1;
}

int32_t bz_Sphere_MovingHull(const bzV3 *centre, float r, const bzMovingPlane *faces,
                             int32_t faceCount, float *tOut, bzV3 *normalOut)
{
    if (faceCount <= 0 || faceCount > BZ_SEGMENT_HULL_MAX_FACES || !Finite(centre))
        return 0;
    const float tol = bzCollisionTolerance;
    float latest = -1.0f;
    int32_t contact = -1;
    for (int32_t i = 0; i < faceCount; i++)
    {
        const bzMovingPlane &f = faces[i];
        const float h0 = Dot(f.start.n, *centre) - f.start.d;
        if (!(h0 >= r))
            continue;
        const float rate = Dot(Sub(f.end.n, f.start.n), *centre) - (f.end.d - f.start.d);
        const float t = rate < 0.0f ? (f.start.d - Dot(f.start.n, *centre) + r) / rate : 2.0f;
        if (t > 1.0f && Dot(f.end.n, *centre) - f.end.d > tol + r)
            return 0;
        const float clamped = t > 1.0f ? 1.0f : t;
        if (clamped > latest)
        {
            latest = clamped;
            contact = i;
        }
    }
    if (contact < 0 || latest < 0.0f)
        return 0;
    const auto planeAt = [&](const bzMovingPlane &f, bzV3 *n, float *d)
    {
        *n = AddScaled(f.start.n, Sub(f.end.n, f.start.n), latest);
        *d = f.start.d + latest * (f.end.d - f.start.d);
    };
    bzV3 n;
    float d;
    planeAt(faces[contact], &n, &d);
    const float length = std::sqrt(LengthSq(n));
    if (!(length > 0.0f))
        return 0;
    const bzV3 unit = Scale(n, 1.0f / length);
    const bzV3 touch = AddScaled(*centre, unit, -r);
    for (int32_t j = 0; j < faceCount; j++)
    {
        if (j == contact)
            continue;
        bzV3 nj;
        float dj;
        planeAt(faces[j], &nj, &dj);
        if (!(Dot(nj, touch) - dj <= 0.0f))
            return 0;
    }
    *tOut = latest;
    *normalOut = unit;
    return 1;
}
