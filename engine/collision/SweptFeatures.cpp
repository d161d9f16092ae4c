// Feature tests of the swept collision.
#include "collision/SweptFeatures.h"

#include "collision/PairMaths.h"
#include "collision/Shape.h"
#include "maths/Approx.h"

#include <cfloat>
#include <cmath>

using namespace bzPairMaths;

namespace
{
constexpr float kEps = FLT_EPSILON;

// The smaller real root of a t^2 + b t + c = 0.
bool SmallerRoot(float a, float b, float c, float *t)
{
    float first, second;
    if (!bz_SolveQuadratic(&first, &second, a, b, c))
        return false;
    *t = first < second ? first : second;
    return !std::isnan(*t);
}

void Accept(float t, float &T)
{
    if (t > 0.0f && t < T)
        T = t;
}

// The touch of point w (relative to the axis start) moving by d with the infinite cylinder of
// radius r round the axis a; accepted when its axis parameter lies strictly inside (0, 1).
void PointCylinder(const bzV3 &w, const bzV3 &d, const bzV3 &a, float r, float &T)
{
    const float aa = Dot(a, a), ad = Dot(a, d), wa = Dot(w, a);
    float t;
    if (!SmallerRoot(Dot(d, d) * aa - ad * ad, 2.0f * (Dot(w, d) * aa - ad * wa),
                     Dot(w, w) * aa - wa * wa - r * r * aa, &t))
        return;
    if (!(t > 0.0f && t < T))
        return;
    const float u = (ad * t + wa) / aa;
    if (u > 0.0f && u < 1.0f)
        T = t;
}

bool EdgeInRange(const bzHullEdge &e, int32_t vertexCount)
{
    return e.a < vertexCount && e.b < vertexCount;
}
} // namespace

void SweptPointPlane(const bzV3 &p, const bzV3 &d, const bzPlane &plane, float offset, float &T)
{
    const float D = -Dot(plane.n, d);
    if (!(D > kEps))
        return;
    Accept((Dot(plane.n, p) - plane.d - offset) / D, T);
}

void SweptVerticesPlane(const bzV3 *vertices, int32_t count, const bzV3 &d, const bzPlane &plane,
                        float &T)
{
    const float D = -Dot(plane.n, d);
    if (!(D > kEps))
        return;
    const float inv = 1.0f / D;
    for (int32_t i = 0; i < count; i++)
        Accept((Dot(plane.n, vertices[i]) - plane.d) * inv, T);
}

void SweptPointAlignedBox(const bzV3 &p, const bzV3 &d, const bzBox &box, float &T)
{
    float tIn = -1.0f, tOut = T;
    for (int32_t i = 0; i < 3; i++)
    {
        if (d.v[i] < -kEps)
        {
            tOut = std::fmin(tOut, (box.min.v[i] - p.v[i]) / d.v[i]);
            tIn = std::fmax(tIn, (box.max.v[i] - p.v[i]) / d.v[i]);
        }
        else if (d.v[i] > kEps)
        {
            tIn = std::fmax(tIn, (box.min.v[i] - p.v[i]) / d.v[i]);
            tOut = std::fmin(tOut, (box.max.v[i] - p.v[i]) / d.v[i]);
        }
        else if (!(p.v[i] >= box.min.v[i] && p.v[i] <= box.max.v[i]))
            return;
    }
    if (tIn < 0.0f)
        return;
    if (tIn < tOut)
        T = tIn;
}

void SweptEdgeEdge(const bzV3 &p1, const bzV3 &e1, const bzV3 &d, const bzV3 &p2, const bzV3 &e2,
                   float &T)
{
    const bzV3 c = Cross(e1, e2);
    const float D = Dot(c, d);
    if (!(std::fabs(D) >= kEps))
        return;
    const float t = Dot(c, Sub(p2, p1)) / D;
    if (!(t >= 0.0f && t <= T))
        return;
    const float a = Dot(e1, e1), b = Dot(e2, e2), m = Dot(e1, e2);
    const float det = a * b - m * m;
    if (!(std::fabs(det) >= kEps))
        return;
    const bzV3 r = Sub(Sub(p2, p1), Scale(d, t));
    const float p = Dot(r, e1), q = Dot(r, e2);
    const float s = (b * p - m * q) / det;
    const float u = (m * p - a * q) / det;
    if (s >= 0.0f && s <= 1.0f && u >= 0.0f && u <= 1.0f)
        T = t;
}

void SweptPointHull(const bzV3 &p, const bzV3 &d, const bzPlane *planes, int32_t count, float &T)
{
    const float entryT = T;
    float tIn = -1.0f, tOut = T;
    for (int32_t i = 0; i < count; i++)
    {
        const float nd = Dot(planes[i].n, d);
        const float h = Dot(planes[i].n, p) - planes[i].d;
        if (!(std::fabs(nd) >= kEps))
        {
            if (!(h <= 0.0f))
                return;
            continue;
        }
        const float t = -h / nd;
        if (!(t >= 0.0f && t <= entryT))
        {
            if (!(h <= 0.0f))
                return;
            continue;
        }
        if (nd <= 0.0f)
            tIn = std::fmax(tIn, t);
        else
            tOut = std::fmin(tOut, t);
    }
    if (tIn < 0.0f)
        return;
    if (tIn < tOut)
        T = tIn;
}

void SweptSphereSphere(const bzV3 &c1, float r1, const bzV3 &d, const bzV3 &c2, float r2, float &T)
{
    const bzV3 w = Sub(c1, c2);
    const float R = r1 + r2;
    float t;
    if (SmallerRoot(Dot(d, d), 2.0f * Dot(w, d), Dot(w, w) - R * R, &t))
        Accept(t, T);
}

int32_t SweptSphereCylinder(const bzV3 &c, float rs, const bzV3 &d, const bzV3 &p0, const bzV3 &p1,
                            float rc, float &T, float *axisOut, float *rootOut)
{
    const bzV3 A = Sub(p1, p0), w = Sub(c, p0);
    const float R = rs + rc;
    const float aa = Dot(A, A), ad = Dot(A, d), wa = Dot(w, A);
    float t;
    if (!SmallerRoot(Dot(d, d) * aa - ad * ad, 2.0f * (Dot(w, d) * aa - wa * ad),
                     Dot(w, w) * aa - wa * wa - R * R * aa, &t))
        return BZ_SWEPT_CYLINDER_NO_ROOT;
    if (rootOut)
        *rootOut = t;
    *axisOut = (ad * t + wa) / aa;
    if (!(t > 0.0f && t < T))
        return BZ_SWEPT_CYLINDER_NOT_IN_STEP;
    if (*axisOut > 0.0f && *axisOut < 1.0f)
    {
        T = t;
        return BZ_SWEPT_CYLINDER_SIDE;
    }
    return BZ_SWEPT_CYLINDER_BEYOND_END;
}

void SweptSphereTicTac(const bzV3 &c, float rs, const bzV3 &d, const bzV3 &p0, const bzV3 &p1,
                       float rc, float &T)
{
    float u = 0.0f, root = 0.0f;
    const int32_t result = SweptSphereCylinder(c, rs, d, p0, p1, rc, T, &u, &root);
    switch (result)
    {
    case BZ_SWEPT_CYLINDER_SIDE: return;
    case BZ_SWEPT_CYLINDER_BEYOND_END:
        // The first touch of the infinite cylinder lies beyond an end: only that end's sphere
        // can be met first (at u exactly 0 or 1 both the side and the end sphere touch).
        if (u <= 0.0f)
            SweptSphereSphere(c, rs, d, p0, rc, T);
        if (u >= 1.0f)
            SweptSphereSphere(c, rs, d, p1, rc, T);
        return;
    case BZ_SWEPT_CYLINDER_NOT_IN_STEP:
        // A first touch at or after the step's time cannot be beaten by the ends, which lie
        // inside the cylinder. A root at or before the start means the sphere already reaches
        // the axis line: it can still meet an end sphere later.
        if (!(root <= 0.0f))
            return;
        break;
    default: break;
    }
    SweptSphereSphere(c, rs, d, p0, rc, T);
    SweptSphereSphere(c, rs, d, p1, rc, T);
}

void SweptEdgeSphere(const bzV3 &p, const bzV3 &e, const bzV3 &d, const bzV3 &c, float r, float &T)
{
    const bzV3 w = Sub(p, c);
    const float dd = Dot(d, d), ee = Dot(e, e), ed = Dot(e, d), wd = Dot(w, d), we = Dot(w, e),
                ww = Dot(w, w);
    float t;
    if (SmallerRoot(dd * ee - ed * ed, 2.0f * (wd * ee - ed * we), ww * ee - we * we - r * r * ee,
                    &t) &&
        t > 0.0f && t < T)
    {
        const float s = -(ed * t + we) / ee;
        if (s > 0.0f && s < 1.0f)
            T = t;
    }
    if (SmallerRoot(dd, 2.0f * wd, ww - r * r, &t))
        Accept(t, T);
    const bzV3 w1 = Add(w, e);
    if (SmallerRoot(dd, 2.0f * Dot(w1, d), Dot(w1, w1) - r * r, &t))
        Accept(t, T);
}

void SweptHullSphere(const bzHull &hull, int32_t vertexCount, int32_t edgeCount, int32_t faceCount,
                     const bzV3 &d, const bzV3 &c, float r, float &T)
{
    for (int32_t i = 0; i < edgeCount; i++)
    {
        const bzHullEdge &edge = hull.edges[i];
        if (!EdgeInRange(edge, vertexCount))
            continue;
        const bzV3 &a = hull.vertices[edge.a];
        SweptEdgeSphere(a, Sub(hull.vertices[edge.b], a), d, c, r, T);
    }
    float tIn = -1.0f;
    int32_t face = 0;
    for (int32_t i = 0; i < faceCount; i++)
    {
        const bzPlane &plane = hull.planes[i];
        const float nd = Dot(plane.n, d);
        const float h = Dot(plane.n, c) - plane.d - r;
        const float t = h / nd;
        if (!(std::fabs(nd) >= kEps) || !(t >= 0.0f) || t > T)
        {
            if (!(h <= 0.0f))
                return;
            continue;
        }
        if (nd > 0.0f && t > tIn)
        {
            tIn = t;
            face = i;
        }
    }
    if (!(tIn > 0.0f && tIn < T))
        return;
    const bzV3 q = Sub(Sub(c, Scale(d, tIn)), Scale(hull.planes[face].n, r));
    for (int32_t j = 0; j < faceCount; j++)
        if (j != face && !(Dot(hull.planes[j].n, q) - hull.planes[j].d <= 0.0f))
            return;
    T = tIn;
}

void SweptBoxSphere(const bzV3 *corners, const bzBox &box, const bzM34 *toFrame, const bzV3 &d,
                    const bzV3 &c, float r, float &T)
{
    for (const bzHullEdge &edge : bzgCuboidEdges)
        SweptEdgeSphere(corners[edge.a], Sub(corners[edge.b], corners[edge.a]), d, c, r, T);
    const bzV3 lc = toFrame ? Point(toFrame, c) : c;
    const bzV3 ld = toFrame ? Direction(toFrame, d) : d;
    float tIn = -1.0f;
    int32_t axis = -1;
    for (int32_t i = 0; i < 3; i++)
    {
        float t;
        if (ld.v[i] < -kEps)
            t = (lc.v[i] + r - box.min.v[i]) / ld.v[i];
        else if (ld.v[i] > kEps)
            t = (lc.v[i] - r - box.max.v[i]) / ld.v[i];
        else
        {
            if (!(lc.v[i] >= box.min.v[i] && lc.v[i] <= box.max.v[i]))
                return;
            continue;
        }
        if (t > tIn)
        {
            tIn = t;
            axis = i;
        }
    }
    if (axis < 0 || !(tIn > 0.0f && tIn < T))
        return;
    for (int32_t k = 1; k <= 2; k++)
    {
        const int32_t j = (axis + k) % 3;
        const float q = lc.v[j] - tIn * ld.v[j];
        if (!(q >= box.min.v[j] && q <= box.max.v[j]))
            return;
    }
    T = tIn;
}

void SweptEdgeCapsuleSide(const bzV3 &p, const bzV3 &e, const bzV3 &d, const bzV3 &q, const bzV3 &a,
                          float r, float &T)
{
    const bzV3 w = Sub(p, q);
    const bzV3 n = Cross(e, a);
    const float nLength = std::sqrt(LengthSq(n));
    const float nd = Dot(n, d);
    if (nLength > kEps && std::fabs(nd) > kEps)
    {
        const float k = -Dot(w, n);
        const float t1 = (nLength * r + k) / nd;
        const float t2 = (k - nLength * r) / nd;
        const float t = std::fmin(t1, t2);
        if (t > 0.0f && t < T)
        {
            const bzV3 wt = AddScaled(w, d, t);
            const float ee = Dot(e, e), ea = Dot(e, a), aa = Dot(a, a);
            float s, v;
            if (bz_Solve2x2(&s, &v, ee, -ea, -Dot(wt, e), ea, -aa, -Dot(wt, a)) && s > 0.0f &&
                s < 1.0f && v > 0.0f && v < 1.0f)
            {
                T = t;
                return;
            }
        }
    }
    PointCylinder(w, d, a, r, T);
    PointCylinder(Add(w, e), d, a, r, T);
}

void SweptEdgesCapsuleSide(const bzHull &hull, int32_t vertexCount, const bzHullEdge *edges,
                           int32_t edgeCount, const bzV3 &d, const bzV3 &q, const bzV3 &a, float r,
                           float &T)
{
    for (int32_t i = 0; i < edgeCount; i++)
    {
        if (!EdgeInRange(edges[i], vertexCount))
            continue;
        const bzV3 &p = hull.vertices[edges[i].a];
        SweptEdgeCapsuleSide(p, Sub(hull.vertices[edges[i].b], p), d, q, a, r, T);
    }
}

int32_t SweptSegmentSegment(const bzV3 &pa, const bzV3 &ea, const bzV3 &pb, const bzV3 &eb,
                            const bzV3 &d, float R, float &T)
{
    const bzV3 n = Cross(ea, eb);
    const float nLength = std::sqrt(LengthSq(n));
    if (!(nLength >= kEps))
        return BZ_SWEPT_SEGMENTS_PARALLEL;
    const bzV3 unit = Scale(n, 1.0f / nLength);
    const float nd = Dot(unit, d);
    const float h = Dot(unit, Sub(pa, pb));
    float t;
    if (std::fabs(h) < R)
        // The lines already lie within reach: any touch of the two sides would be an overlap
        // now, so the time is 0 and the ends decide the rest.
        t = 0.0f;
    else if (std::fabs(nd) >= kEps)
    {
        t = std::fmin((R + h) / nd, (h - R) / nd);
        if (!(t >= 0.0f && t <= T))
            return BZ_SWEPT_SEGMENTS_NONE;
    }
    else
        return BZ_SWEPT_SEGMENTS_NONE;
    // The closest points of the two lines at time t: u on the row axis, v on the column axis.
    const bzV3 w = Sub(AddScaled(pb, d, t), pa);
    const float aa = Dot(ea, ea), ab = Dot(ea, eb), bb = Dot(eb, eb);
    float u, v;
    if (!bz_Solve2x2(&u, &v, aa, -ab, Dot(w, ea), ab, -bb, Dot(w, eb)))
        return BZ_SWEPT_SEGMENTS_PARALLEL;
    int32_t code = 0;
    if (u < 0.0f)
        code += 1;
    else if (u > 1.0f)
        code += 2;
    if (v < 0.0f)
        code += 3;
    else if (v > 1.0f)
        code += 6;
    if (code == 0 && t < T)
        T = t;
    return code + 1;
}
