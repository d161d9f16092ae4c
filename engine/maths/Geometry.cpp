// Boxes, planes, rays and intersection tests.
#include "maths/Geometry.h"

#include "maths/Approx.h"
#include "maths/Matrix.h"
#include "maths/Vector.h"

#include <cmath>

namespace
{
// The projection step of the convex-region query gives up after this many moves (regions that
// are empty or nearly flat would otherwise keep it going).
constexpr int32_t kConvexMaxSteps = 1000;

inline float Height(const bzV4 *plane, const bzV3 *p)
{
    return plane->x * p->x + plane->y * p->y + plane->z * p->z - plane->w;
}

// n' = R^-1 n for the rotation rows of a general M.
void InverseTransposedNormal(const bzM34 *m, const bzV3 *n, bzV3 *out)
{
    bzM33 inv;
    bz_InverseM33IntoSigned(m, &inv);
    bz_M34_InverseRotateV3Into(&inv, out, n);
}

void SetOptional(bzV3 *out, const bzV3 *value)
{
    if (out)
        *out = *value;
}

// The foot of p on the line through a along dir (a zero dir gives a).
void LineFoot(const bzV3 *a, const bzV3 *dir, const bzV3 *p, bzV3 *out)
{
    const float lenSq = bz_V3_LengthSq(dir);
    bzV3 w;
    bz_V3_SubInto(p, a, &w);
    const float t = lenSq > 0.0f ? bz_V3_Dot(&w, dir) / lenSq : 0.0f;
    bz_V3_AddScaledInto(a, dir, t, out);
}

// Interval of the box placed by m projected on axis.
void ProjectPlaced(const bzM34 *m, const bzBox *box, const bzV3 *axis, float *lo, float *hi)
{
    bzV3 centre, local;
    for (int i = 0; i < 3; i++)
        local.v[i] = 0.5f * (box->min.v[i] + box->max.v[i]);
    bz_M34_TransformPointInto(m, &centre, &local);
    float radius = 0.0f;
    for (int i = 0; i < 3; i++)
        radius += 0.5f * (box->max.v[i] - box->min.v[i]) * std::fabs(bz_V3_Dot(&m->row[i], axis));
    const float c = bz_V3_Dot(&centre, axis);
    *lo = c - radius;
    *hi = c + radius;
}

// Interval of the axis-aligned box projected on axis.
void ProjectAligned(const bzBox *box, const bzV3 *axis, float *lo, float *hi)
{
    float c = 0.0f, radius = 0.0f;
    for (int i = 0; i < 3; i++)
    {
        c += 0.5f * (box->min.v[i] + box->max.v[i]) * axis->v[i];
        radius += 0.5f * (box->max.v[i] - box->min.v[i]) * std::fabs(axis->v[i]);
    }
    *lo = c - radius;
    *hi = c + radius;
}

bool Separates(const bzM34 *m, const bzBox *placed, const bzBox *box, const bzV3 *axis)
{
    float lb, hb, la, ha;
    ProjectPlaced(m, placed, axis, &lb, &hb);
    ProjectAligned(box, axis, &la, &ha);
    return lb > ha || la > hb;
}
} // namespace

// ---------------------------------------------------------------------------------------------
// Planes

void bz_Plane_FromPoints(const bzV3 *a, const bzV3 *b, const bzV3 *c, bzPlane *out)
{
    bzV3 ab, cb, n;
    bz_V3_SubInto(a, b, &ab);
    bz_V3_SubInto(c, b, &cb);
    bz_V3_CrossInto(&ab, &cb, &n);
    const float lenSq = bz_V3_LengthSq(&n);
    if (lenSq <= BZ_SQ_EPSILON)
        bz_V3_Set(&n, 1.0f, 0.0f, 0.0f);
    else
        bz_V3_Scale(&n, 1.0f / std::sqrt(lenSq));
    const float d = bz_V3_Dot(&n, b);
    out->n = n;
    out->d = d;
}

float bz_Plane_SignedDistance(const bzPlane *plane, const bzV3 *p)
{
    return bz_V3_Dot(&plane->n, p) - plane->d;
}

float bz_Plane_SignedDistance(const bzPlane *plane, float x, float y, float z)
{
    return plane->n.x * x + plane->n.y * y + plane->n.z * z - plane->d;
}

float bz_Plane_AbsDistance(const bzPlane *plane, const bzV3 *p)
{
    return std::fabs(bz_Plane_SignedDistance(plane, p));
}

float bz_Plane_ProjectPoint(const bzPlane *plane, const bzV3 *p, bzV3 *out)
{
    const float h = bz_Plane_SignedDistance(plane, p);
    if (out)
        bz_V3_SubScaledInto(p, &plane->n, h, out);
    return h;
}

int32_t bz_Plane_NearPoint(const bzPlane *plane, const bzV3 *p, float tolerance)
{
    return bz_Plane_AbsDistance(plane, p) <= tolerance;
}

void bz_Plane_ProjectOnEquation(const bzV4 *e, const bzV3 *p, bzV3 *out)
{
    const bzV3 n = {e->x, e->y, e->z};
    const float k = (bz_V3_Dot(&n, p) + e->w) / bz_V3_LengthSq(&n);
    bz_V3_SubScaledInto(p, &n, k, out);
}

float bz_Plane_EquationDistance(const bzV4 *e, const bzV3 *p)
{
    bzV3 q;
    bz_Plane_ProjectOnEquation(e, p, &q);
    return std::sqrt(bz_V3_Dot(&q, p));
}

void bz_Plane_ToLocal(const bzPlane *plane, const bzM34 *m, bzPlane *out)
{
    const bzPlane p = *plane;
    bz_M34_InverseRotateV3Into(m, &out->n, &p.n);
    out->d = p.d - bz_V3_Dot(&m->row[3], &p.n);
}

void bz_Plane_ToLocalInPlace(bzPlane *plane, const bzM34 *m)
{
    bz_Plane_ToLocal(plane, m, plane);
}

void bz_Plane_TransformOrthoInto(const bzPlane *plane, const bzM34 *m, bzPlane *out)
{
    const bzPlane p = *plane;
    bz_RotateV3Into(m, &out->n, &p.n);
    out->d = p.d + bz_V3_Dot(&out->n, &m->row[3]);
}

void bz_Plane_TransformOrtho(bzPlane *plane, const bzM34 *m)
{
    bz_Plane_TransformOrthoInto(plane, m, plane);
}

void bz_Plane_TransformByM34(const bzM34 *m, const bzPlane *plane, bzPlane *out)
{
    const bzPlane p = *plane;
    bzV3 n;
    InverseTransposedNormal(m, &p.n, &n);
    const float d = p.d + bz_V3_Dot(&n, &m->row[3]);
    const float inv = 1.0f / bz_V3_Length(&n);
    bz_V3_ScaleInto(&n, &out->n, inv);
    out->d = d * inv;
}

void bz_Plane_TransformByM34Normalised(bzPlane *plane, const bzM34 *m)
{
    bz_Plane_TransformByM34(m, plane, plane);
}

void bz_Plane_RotateByM34Into(const bzM34 *m, const bzPlane *plane, bzPlane *out)
{
    const bzPlane p = *plane;
    bzV3 n;
    InverseTransposedNormal(m, &p.n, &n);
    const float inv = 1.0f / bz_V3_Length(&n);
    bz_V3_ScaleInto(&n, &out->n, inv);
    out->d = p.d * inv;
}

void bz_Plane_RotateByM34(const bzM34 *m, bzPlane *plane)
{
    bz_Plane_RotateByM34Into(m, plane, plane);
}

int32_t bz_LinePlaneIntersect(const bzPlane *plane, const bzV3 *p, const bzV3 *dir, bzV3 *out)
{
    const float nd = bz_V3_Dot(&plane->n, dir);
    if (nd == 0.0f)
        return 0;
    const float t = -bz_Plane_SignedDistance(plane, p) / nd;
    if (out)
        bz_V3_AddScaledInto(p, dir, t, out);
    return 1;
}

int32_t bz_Plane_SegmentIntersect(const bzPlane *plane, const bzV3 *a, const bzV3 *b, bzV3 *out)
{
    const float ha = bz_Plane_SignedDistance(plane, a);
    const float hb = bz_Plane_SignedDistance(plane, b);
    if (ha * hb > 0.0f)
        return 0;
    if (!out)
        return 1;
    const float den = hb - ha;
    if (den == 0.0f || ha == 0.0f)
        *out = *a;
    else if (hb == 0.0f)
        *out = *b;
    else
        for (int i = 0; i < 3; i++)
            out->v[i] = (hb * a->v[i] - ha * b->v[i]) / den;
    return 1;
}

int32_t bz_Plane_PlaneIntersect(const bzPlane *a, const bzPlane *b, bzV3 *pointOut, bzV3 *dirOut)
{
    bzV3 dir;
    bz_V3_CrossInto(&a->n, &b->n, &dir);
    const float lenSq = bz_V3_LengthSq(&dir);
    if (lenSq <= BZ_SQ_EPSILON)
        return 0;
    bz_V3_Scale(&dir, 1.0f / std::sqrt(lenSq));
    bzV3 p0, w;
    bz_V3_ScaleInto(&a->n, &p0, a->d);
    bz_V3_SubScaledInto(&b->n, &a->n, bz_V3_Dot(&a->n, &b->n), &w);
    const float den = bz_V3_Dot(&w, &b->n);
    if (std::fabs(den) < BZ_SQ_EPSILON)
        return 0;
    const float k = -(bz_V3_Dot(&b->n, &p0) - b->d) / den;
    if (pointOut)
        bz_V3_AddScaledInto(&p0, &w, k, pointOut);
    if (dirOut)
        *dirOut = dir;
    return 1;
}

int32_t bz_Plane_NotBackToBack(const bzPlane *a, const bzPlane *b)
{
    return !(bz_V3_Dot(&a->n, &b->n) == -1.0f && -a->d > b->d);
}

float bz_Triangle_PlaneFraction(const bzV3 *corners, const bzPlane *plane)
{
    const float d = plane->d;
    float h[3];
    int front = 0;
    for (int i = 0; i < 3; i++)
    {
        h[i] = bz_V3_Dot(&plane->n, &corners[i]);
        front += h[i] >= d;
    }
    if (front == 0)
        return 0.0f;
    if (front == 3)
        return 1.0f;
    // The corner alone on its side of the plane.
    int lone = 0;
    for (int i = 0; i < 3; i++)
        if ((h[i] >= d) == (front == 1))
            lone = i;
    const float x = h[lone], y = h[(lone + 1) % 3], z = h[(lone + 2) % 3];
    const float f = ((d - x) / (y - x)) * ((d - x) / (z - x));
    return x >= d ? f : 1.0f - f;
}

int32_t bz_Triangle_PlaneCut(const bzV3 *corners, const bzPlane *plane, float *fractionOut)
{
    const float f = bz_Triangle_PlaneFraction(corners, plane);
    if (fractionOut)
        *fractionOut = f;
    for (int i = 0; i < 3; i++)
        if (bz_V3_Dot(&plane->n, &corners[i]) >= plane->d)
            return 1;
    return 0;
}

int32_t bz_Triangle_ProjectOnAxis(const bzV3 *n, float d, const bzV3 *p0, const bzV3 *p1,
                                  const bzV3 *p2, float *fractionOut)
{
    const bzV3 corners[3] = {*p0, p1 ? *p1 : p0[1], p1 ? *p2 : p0[2]};
    const bzPlane plane = {*n, d};
    return bz_Triangle_PlaneCut(corners, &plane, fractionOut);
}

int32_t bz_ConvexPlanes_ClosestPoint(const bzV3 *p, int32_t count, const bzV4 *planes, float reach,
                                     bzV3 *out, float *distanceOut)
{
    int32_t positive = 0, best = -1, other = -1;
    float hBest = 0.0f;
    for (int32_t i = 0; i < count; i++)
    {
        const float h = Height(&planes[i], p);
        if (h > 0.0f)
        {
            positive++;
            if (best < 0 || h > hBest)
            {
                if (best >= 0)
                    other = best;
                best = i;
                hBest = h;
            }
            else if (other < 0)
                other = i;
        }
    }
    if (best >= 0 && hBest > reach)
        return 0;
    if (positive == 0)
    {
        SetOptional(out, p);
        if (distanceOut)
            *distanceOut = 0.0f;
        return 1;
    }
    const bzV3 nBest = {planes[best].x, planes[best].y, planes[best].z};
    bzV3 q;
    bz_V3_SubScaledInto(p, &nBest, hBest, &q);
    if (positive == 1)
    {
        SetOptional(out, &q);
        if (distanceOut)
            *distanceOut = hBest;
        return 1;
    }
    if (positive == 2)
    {
        // Still outside the second plane: slide along the first plane onto the line where the
        // two meet.
        const bzV3 nOther = {planes[other].x, planes[other].y, planes[other].z};
        const float c = bz_V3_Dot(&nOther, &nBest);
        const float hOther = Height(&planes[other], &q);
        const float den = 1.0f - c * c;
        if (hOther > 0.0f && den > BZ_SQ_EPSILON)
        {
            bzV3 w;
            bz_V3_SubScaledInto(&nOther, &nBest, c, &w);
            bz_V3_AddScaled(&q, &w, -hOther / den);
        }
    }
    else
    {
        for (int32_t step = 0; step < kConvexMaxSteps; step++)
        {
            int32_t worst = -1;
            float hWorst = 1e-6f;
            for (int32_t i = 0; i < count; i++)
            {
                const float h = Height(&planes[i], &q);
                if (h > hWorst)
                {
                    hWorst = h;
                    worst = i;
                }
            }
            if (worst < 0)
                break;
            const bzV3 n = {planes[worst].x, planes[worst].y, planes[worst].z};
            bz_V3_SubScaled(&q, &n, hWorst);
        }
    }
    const float distSq = bz_V3_DistanceSq(&q, p);
    SetOptional(out, &q);
    if (distSq > reach * reach)
        return 0;
    if (distanceOut)
        *distanceOut = std::sqrt(distSq);
    return 1;
}

// ---------------------------------------------------------------------------------------------
// Boxes

void bz_Box_Copy(const bzBox *box, bzBox *out)
{
    *out = *box;
}

void bz_Box_Scale(bzBox *box, float s)
{
    bz_V3_Scale(&box->min, s);
    bz_V3_Scale(&box->max, s);
}

void bz_Box_Order(const bzBox *in, bzBox *out)
{
    const bzBox b = *in;
    for (int i = 0; i < 3; i++)
    {
        const bool swap = b.min.v[i] > b.max.v[i];
        out->min.v[i] = swap ? b.max.v[i] : b.min.v[i];
        out->max.v[i] = swap ? b.min.v[i] : b.max.v[i];
    }
}

void bz_Box_OrderInPlace(bzBox *box)
{
    bz_Box_Order(box, box);
}

float bz_Box_Radius(const bzBox *box)
{
    return 0.5f * bz_V3_Distance(&box->max, &box->min);
}

void bz_Box_FromPoints(const bzV3 *points, int32_t count, bzBox *out)
{
    if (!points)
    {
        *out = bzBox{};
        return;
    }
    out->min = points[0];
    out->max = points[0];
    for (int32_t k = 1; k < count; k++)
        for (int i = 0; i < 3; i++)
        {
            const float v = points[k].v[i];
            if (v < out->min.v[i])
                out->min.v[i] = v;
            else if (v > out->max.v[i])
                out->max.v[i] = v;
        }
}

void bz_Box_AddPoint(bzBox *box, const bzV3 *p)
{
    for (int i = 0; i < 3; i++)
    {
        if (p->v[i] > box->max.v[i])
            box->max.v[i] = p->v[i];
        if (p->v[i] < box->min.v[i])
            box->min.v[i] = p->v[i];
    }
}

void bz_Box_Corner(const bzBox *box, int32_t i, bzV3 *out)
{
    out->x = (i & 1) ? box->max.x : box->min.x;
    out->y = (i & 2) ? box->max.y : box->min.y;
    out->z = (i & 4) ? box->max.z : box->min.z;
}

void bz_Box_UnionInto(const bzBox *a, const bzBox *b, bzBox *out)
{
    for (int i = 0; i < 3; i++)
    {
        const float lo = std::fmin(a->min.v[i], b->min.v[i]);
        const float hi = std::fmax(a->max.v[i], b->max.v[i]);
        out->min.v[i] = lo;
        out->max.v[i] = hi;
    }
}

int32_t bz_Box_PointInside(const bzV3 *p, const bzBox *box)
{
    for (int i = 0; i < 3; i++)
        if (!(p->v[i] >= box->min.v[i] && p->v[i] <= box->max.v[i]))
            return 0;
    return 1;
}

int32_t bz_Box_ClampPoint(const bzV3 *p, const bzBox *box, bzV3 *out)
{
    int32_t inside = 1;
    bzV3 r = *p;
    for (int i = 0; i < 3; i++)
    {
        if (r.v[i] < box->min.v[i])
        {
            r.v[i] = box->min.v[i];
            inside = 0;
        }
        else if (r.v[i] > box->max.v[i])
        {
            r.v[i] = box->max.v[i];
            inside = 0;
        }
    }
    SetOptional(out, &r);
    return inside;
}

float bz_Box_PointDistanceSq(const bzBox *box, const bzV3 *p)
{
    float sum = 0.0f;
    for (int i = 0; i < 3; i++)
    {
        float d = 0.0f;
        if (p->v[i] > box->max.v[i])
            d = p->v[i] - box->max.v[i];
        else if (p->v[i] < box->min.v[i])
            d = box->min.v[i] - p->v[i];
        sum += d * d;
    }
    return sum;
}

float bz_Box_InsideDepth(const bzV3 *p, const bzBox *box)
{
    float depth = p->x - box->min.x;
    for (int i = 0; i < 3; i++)
    {
        depth = std::fmin(depth, p->v[i] - box->min.v[i]);
        depth = std::fmin(depth, box->max.v[i] - p->v[i]);
    }
    return depth;
}

int32_t bz_Box_SphereOverlap(const bzV3 *centre, const bzBox *box, bzV3 *out, float r2)
{
    bzV3 clamped;
    bz_Box_ClampPoint(centre, box, &clamped);
    SetOptional(out, &clamped);
    return bz_V3_DistanceSq(&clamped, centre) <= r2;
}

int32_t bz_Box_SphereOverlapRadius(const bzV3 *centre, const bzBox *box, bzV3 *out, float r)
{
    return bz_Box_SphereOverlap(centre, box, out, r * r);
}

int32_t bz_Box_NotInFrontOfPlane(const bzBox *box, const bzPlane *plane)
{
    bzV3 corner;
    for (int i = 0; i < 3; i++)
        corner.v[i] = plane->n.v[i] >= 0.0f ? box->min.v[i] : box->max.v[i];
    return bz_Plane_SignedDistance(plane, &corner) <= 0.0f;
}

int32_t bz_Box_BehindPlane(const bzPlane *plane, const bzBox *box)
{
    return bz_Box_NotInFrontOfPlane(box, plane);
}

int32_t bz_Box_StraddlesPlane(const bzBox *box, const bzPlane *plane)
{
    bzV3 lo, hi;
    for (int i = 0; i < 3; i++)
    {
        const bool positive = plane->n.v[i] >= 0.0f;
        lo.v[i] = positive ? box->min.v[i] : box->max.v[i];
        hi.v[i] = positive ? box->max.v[i] : box->min.v[i];
    }
    return bz_Plane_SignedDistance(plane, &lo) <= 0.0f &&
           bz_Plane_SignedDistance(plane, &hi) >= 0.0f;
}

void bz_Box_TransformInto(const bzBox *box, const bzM34 *m, bzBox *out)
{
    // From the placed min corner, each row scaled by the box's extent along it goes to the max
    // in the coordinates where it is >= 0 and to the min in the others, row after row. The three
    // coordinates go side by side in four lanes; each lane makes the sums a coordinate would.
    typedef float Lanes __attribute__((vector_size(16)));
    const bzBox b = *box;
    Lanes rows[4];
    for (int i = 0; i < 4; i++)
        rows[i] = Lanes{m->row[i].x, m->row[i].y, m->row[i].z, 0.0f};
    const Lanes corner = ((b.min.x * rows[0] + b.min.y * rows[1]) + b.min.z * rows[2]) + rows[3];
    Lanes lo = corner, hi = corner;
    for (int i = 0; i < 3; i++)
    {
        const Lanes v = (b.max.v[i] - b.min.v[i]) * rows[i];
        const auto up = v >= 0.0f;
        hi = up ? hi + v : hi;
        lo = up ? lo : lo + v;
    }
    *out = bzBox{{{{lo[0], lo[1], lo[2]}}}, {{{hi[0], hi[1], hi[2]}}}};
}

void bz_Box_Transform(bzBox *box, const bzM34 *m)
{
    bz_Box_TransformInto(box, m, box);
}

int32_t bz_Box_OrientedOverlap(const bzM34 *m, const bzBox *placed, const bzBox *box)
{
    bzBox enclosing;
    bz_Box_TransformInto(placed, m, &enclosing);
    if (!bz_Box_Overlap(&enclosing, box))
        return 0;
    for (int i = 0; i < 3; i++)
        if (Separates(m, placed, box, &m->row[i]))
            return 0;
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++)
        {
            bzV3 world = {0.0f, 0.0f, 0.0f}, axis;
            world.v[j] = 1.0f;
            bz_V3_CrossInto(&m->row[i], &world, &axis);
            if (Separates(m, placed, box, &axis))
                return 0;
        }
    return 1;
}

int32_t bz_Box_OverlapPlaced(const bzBox *a, const bzM34 *ma, const bzBox *b, const bzM34 *mb)
{
    if (ma && mb)
    {
        bzM34 rel;
        bz_RelativeM34Into(mb, &rel, ma);
        return bz_Box_OrientedOverlap(&rel, a, b);
    }
    if (ma)
        return bz_Box_OrientedOverlap(ma, a, b);
    if (mb)
        return bz_Box_OrientedOverlap(mb, b, a);
    return bz_Box_Overlap(a, b);
}

// ---------------------------------------------------------------------------------------------
// Rays and segments

void bz_Ray_Copy(const bzRay *ray, bzRay *out)
{
    *out = *ray;
}

void bz_Ray_ToLocal(const bzM34 *m, const bzRay *ray, bzRay *out)
{
    const bzRay r = *ray;
    bz_M34_InverseTransformPointInto(m, &out->origin, &r.origin);
    bz_M34_InverseRotateV3Into(m, &out->delta, &r.delta);
    out->flag = r.flag;
}

void bz_Ray_Transform(const bzM34 *m, const bzRay *ray, bzRay *out)
{
    const bzRay r = *ray;
    bz_M34_TransformPointInto(m, &out->origin, &r.origin);
    bz_RotateV3Into(m, &out->delta, &r.delta);
    out->flag = r.flag;
}

void bz_Ray_TransformInPlace(const bzM34 *m, bzRay *ray)
{
    bz_Ray_Transform(m, ray, ray);
}

bzBoxFace bz_Ray_BoxIntersect(const bzRay *ray, const bzBox *box, float *tOut, bzV3 *pointOut,
                              bzV3 *normalOut)
{
    const bzV3 &o = ray->origin, &d = ray->delta;
    // Per axis: -1 below the box (the minimum face faces the ray), 1 above, 0 between.
    int side[3];
    float plane[3];
    bool inside = true;
    for (int i = 0; i < 3; i++)
    {
        side[i] = 0;
        plane[i] = 0.0f;
        if (o.v[i] < box->min.v[i])
        {
            side[i] = -1;
            plane[i] = box->min.v[i];
            inside = false;
        }
        else if (o.v[i] > box->max.v[i])
        {
            side[i] = 1;
            plane[i] = box->max.v[i];
            inside = false;
        }
    }
    if (inside)
    {
        if (tOut)
            *tOut = 0.0f;
        SetOptional(pointOut, &o);
        return BZ_BOX_FACE_INSIDE;
    }
    float t[3];
    for (int i = 0; i < 3; i++)
        t[i] = side[i] != 0 && d.v[i] != 0.0f ? (plane[i] - o.v[i]) / d.v[i] : -1.0f;
    int axis = 0;
    for (int i = 1; i < 3; i++)
        if (t[i] > t[axis])
            axis = i;
    const float tHit = t[axis];
    if (!(tHit >= 0.0f) || (ray->flag == 0 && tHit > 1.0f))
        return BZ_BOX_FACE_NONE;
    bzV3 hit;
    for (int i = 0; i < 3; i++)
    {
        if (i == axis)
        {
            hit.v[i] = plane[i];
            continue;
        }
        hit.v[i] = o.v[i] + tHit * d.v[i];
        if (hit.v[i] < box->min.v[i] || hit.v[i] > box->max.v[i])
            return BZ_BOX_FACE_NONE;
    }
    if (tOut)
        *tOut = tHit;
    SetOptional(pointOut, &hit);
    if (normalOut)
    {
        bz_V3_Set(normalOut, 0.0f, 0.0f, 0.0f);
        normalOut->v[axis] = static_cast<float>(side[axis]);
    }
    return side[axis] > 0 ? BZ_BOX_FACE_MAX_X + axis : BZ_BOX_FACE_MIN_X + axis;
}

bzBoxFace bz_Segment_BoxIntersect(const bzV3 *a, const bzV3 *b, const bzBox *box)
{
    bzRay ray;
    ray.origin = *a;
    bz_V3_SubInto(b, a, &ray.delta);
    ray.flag = 0;
    return bz_Ray_BoxIntersect(&ray, box, nullptr, nullptr, nullptr);
}

bzBoxFace bz_Segment_BoxIntersectPlaced(const bzV3 *a, const bzV3 *b, const bzBox *box,
                                        const bzM34 *m)
{
    if (!m)
        return bz_Segment_BoxIntersect(a, b, box);
    bzV3 la, lb;
    bz_M34_InverseTransformPointInto(m, &la, a);
    bz_M34_InverseTransformPointInto(m, &lb, b);
    return bz_Segment_BoxIntersect(&la, &lb, box);
}

int32_t bz_Line_BoxIntersect(const bzV3 *origin, const bzV3 *delta, const bzBox *box,
                             bzV3 *pointOut)
{
    bzRay ray = {*origin, *delta, 1};
    if (bz_Ray_BoxIntersect(&ray, box, nullptr, pointOut, nullptr) != BZ_BOX_FACE_NONE)
        return 1;
    bz_V3_Negate(&ray.delta);
    return bz_Ray_BoxIntersect(&ray, box, nullptr, pointOut, nullptr);
}

int32_t bz_Ray_SphereIntersect(const bzRay *ray, const bzV3 *centre, float radius, float *tOut,
                               bzV3 *pointOut, bzV3 *normalOut)
{
    bzV3 w;
    bz_V3_SubInto(&ray->origin, centre, &w);
    const bzV3 &d = ray->delta;
    float r1, r2;
    if (!bz_SolveQuadratic(&r1, &r2, bz_V3_LengthSq(&d), 2.0f * bz_V3_Dot(&w, &d),
                           bz_V3_LengthSq(&w) - radius * radius))
        return 0;
    float t = std::fmin(r1, r2);
    const float larger = std::fmax(r1, r2);
    if (t < 0.0f)
    {
        if (larger < 0.0f)
            return 0;
        t = 0.0f;
    }
    if (ray->flag == 0 && t > 1.0f)
        return 0;
    if (tOut)
        *tOut = t;
    if (pointOut || normalOut)
    {
        bzV3 point;
        bz_V3_AddScaledInto(&ray->origin, &d, t, &point);
        SetOptional(pointOut, &point);
        if (normalOut)
        {
            bzV3 n;
            bz_V3_SubInto(&point, centre, &n);
            bz_V3_NormaliseInto(&n, normalOut);
        }
    }
    return 1;
}

int32_t bz_Ray_CapsuleIntersect(const bzV3 *start, const bzV3 *delta, const bzV3 *p, const bzV3 *q,
                                float radius, bzV3 *pointOut, bzV3 *normalOut, float *tOut)
{
    const float eps = 1e-7f;
    const float r2 = radius * radius;
    const bzV3 a = *start, d = *delta, P = *p, Q = *q;
    bzV3 e, w, n;
    bz_V3_SubInto(&Q, &P, &e);
    bz_V3_SubInto(&P, &a, &w);
    bz_V3_CrossInto(&e, &d, &n);
    const float eLenSq = bz_V3_LengthSq(&e);
    const bzV3 zero = {0.0f, 0.0f, 0.0f};
    float u = 0.0f;
    if (eLenSq > 0.0f)
    {
        const float nLenSq = bz_V3_LengthSq(&n);
        if (nLenSq >= eps)
        {
            const float nw = bz_V3_Dot(&n, &w);
            const float dist2 = nw * nw / nLenSq;
            if (dist2 > r2)
                return 0;
            bzV3 m;
            bz_V3_CrossInto(&n, &e, &m);
            const float md = bz_V3_Dot(&m, &d);
            const float s = bz_V3_Dot(&m, &w) / md;
            const float h = std::sqrt((r2 - dist2) * bz_V3_LengthSq(&m)) / md;
            if (s - h > 1.0f || s + h < 0.0f)
                return 0;
            const float t = std::fmax(s - h, 0.0f);
            bzV3 hit;
            bz_V3_AddScaledInto(&a, &d, t, &hit);
            u = (bz_V3_Dot(&e, &hit) - bz_V3_Dot(&e, &P)) / eLenSq;
            if (u >= 0.0f && u < 1.0f)
            {
                if (s - h < 0.0f)
                {
                    SetOptional(pointOut, &zero);
                    SetOptional(normalOut, &zero);
                    return -1;
                }
                SetOptional(pointOut, &hit);
                if (normalOut)
                {
                    bzV3 axisPoint;
                    bz_V3_AddScaledInto(&P, &e, u, &axisPoint);
                    bz_V3_SubInto(&hit, &axisPoint, normalOut);
                    bz_V3_Scale(normalOut, 1.0f / radius);
                }
                if (tOut)
                    *tOut = t;
                return 1;
            }
        }
        else
        {
            bzV3 perp;
            bz_V3_SubScaledInto(&w, &e, bz_V3_Dot(&w, &e) / eLenSq, &perp);
            if (bz_V3_LengthSq(&perp) > r2)
                return 0;
            u = (bz_V3_Dot(&e, &a) - bz_V3_Dot(&e, &P)) / eLenSq;
            if (u >= 0.0f && u < 1.0f)
            {
                SetOptional(pointOut, &zero);
                SetOptional(normalOut, &zero);
                return -1;
            }
        }
    }
    // The end cap nearer the hit: a sphere at Q when u > 0, else at P.
    const bzV3 c = u > 0.0f ? Q : P;
    bzV3 wc;
    bz_V3_SubInto(&c, &a, &wc);
    const float wcLenSq = bz_V3_LengthSq(&wc);
    if (wcLenSq < r2)
        return -1;
    const float dLenSq = bz_V3_LengthSq(&d);
    if (dLenSq < eps)
        return 0;
    const float proj = bz_V3_Dot(&wc, &d) / dLenSq;
    const float m2 = wcLenSq - proj * proj * dLenSq;
    if (m2 > r2)
        return 0;
    const float t = proj - std::sqrt((r2 - m2) / dLenSq);
    if (tOut)
        *tOut = t;
    if (!(t >= 0.0f && t <= 1.0f))
        return 0;
    bzV3 hit;
    bz_V3_AddScaledInto(&a, &d, t, &hit);
    SetOptional(pointOut, &hit);
    if (normalOut)
    {
        bzV3 nrm;
        bz_V3_SubInto(&hit, &c, &nrm);
        bz_V3_NormaliseInto(&nrm, normalOut);
    }
    return 1;
}

int32_t bz_Segment_CapsuleIntersect(const bzV3 *a, const bzV3 *b, const bzV3 *p, const bzV3 *q,
                                    float radius, bzV3 *pointOut, bzV3 *normalOut, float *tOut)
{
    bzV3 d;
    bz_V3_SubInto(b, a, &d);
    return bz_Ray_CapsuleIntersect(a, &d, p, q, radius, pointOut, normalOut, tOut);
}

// ---------------------------------------------------------------------------------------------
// Distances and closest points

float bz_PointSegmentDistance(const bzV3 *p, const bzV3 *a, const bzV3 *b, bzV3 *pointOut,
                              float *tOut)
{
    bzV3 ab, ap;
    bz_V3_SubInto(b, a, &ab);
    bz_V3_SubInto(p, a, &ap);
    const float lenSq = bz_V3_LengthSq(&ab);
    // A segment of no length is its start point.
    float t = lenSq > 0.0f ? bz_V3_Dot(&ap, &ab) / lenSq : 0.0f;
    if (!(t > 0.0f))
        t = 0.0f;
    else if (t > 1.0f)
        t = 1.0f;
    bzV3 point;
    bz_V3_AddScaledInto(a, &ab, t, &point);
    const float distSq = bz_V3_DistanceSq(p, &point);
    SetOptional(pointOut, &point);
    if (tOut)
        *tOut = t;
    return distSq;
}

float bz_Segment_ClosestPoint(const bzV3 *a, const bzV3 *b, const bzV3 *p, bzV3 *pointOut)
{
    return std::sqrt(bz_PointSegmentDistance(p, a, b, pointOut, nullptr));
}

int32_t bz_Segment_SphereTouch(const bzV3 *a, const bzV3 *b, const bzV3 *centre, float r)
{
    return r * r > bz_PointSegmentDistance(centre, a, b, nullptr, nullptr);
}

int32_t bz_Line_SphereTouch(const bzV3 *a, const bzV3 *dir, const bzV3 *centre, float r)
{
    return r * r > bz_V3_LineDistanceSq(dir, a, centre);
}

float bz_Line_LineClosest(const bzV3 *p1, const bzV3 *d1, const bzV3 *p2, const bzV3 *d2,
                          bzV3 *point1, bzV3 *point2, float *sOut, float *tOut)
{
    bzV3 c, w;
    bz_V3_CrossInto(d1, d2, &c);
    bz_V3_SubInto(p2, p1, &w);
    const float cLenSq = bz_V3_LengthSq(&c);
    if (cLenSq > BZ_SQ_EPSILON)
    {
        bzV3 w2, w1;
        bz_V3_CrossInto(&w, d2, &w2);
        bz_V3_CrossInto(&w, d1, &w1);
        const float s = bz_V3_Dot(&w2, &c) / cLenSq;
        const float t = bz_V3_Dot(&w1, &c) / cLenSq;
        bzV3 q1, q2;
        bz_V3_AddScaledInto(p1, d1, s, &q1);
        bz_V3_AddScaledInto(p2, d2, t, &q2);
        SetOptional(point1, &q1);
        SetOptional(point2, &q2);
        if (sOut)
            *sOut = s;
        if (tOut)
            *tOut = t;
        return bz_V3_Dot(&w, &c) / std::sqrt(cLenSq);
    }
    // Parallel: the foot of p1 on the second line.
    bzV3 foot;
    LineFoot(p2, bz_V3_LengthSq(d2) > 0.0f ? d2 : d1, p1, &foot);
    const bzV3 q1 = *p1;
    SetOptional(point1, &q1);
    SetOptional(point2, &foot);
    return bz_V3_Distance(&foot, &q1);
}

float bz_Segment_SegmentClosest(const bzV3 *a1, const bzV3 *b1, const bzV3 *a2, const bzV3 *b2,
                                bzV3 *point1, bzV3 *point2)
{
    bzV3 d1, d2, c;
    bz_V3_SubInto(b1, a1, &d1);
    bz_V3_SubInto(b2, a2, &d2);
    bz_V3_CrossInto(&d1, &d2, &c);
    const float cLenSq = bz_V3_LengthSq(&c);
    bzV3 q1, q2;
    float dist;
    if (cLenSq <= BZ_SQ_EPSILON)
    {
        // Parallel: a1 and its distance from the second carrier line.
        q1 = *a1;
        LineFoot(a2, bz_V3_LengthSq(&d2) > 0.0f ? &d2 : &d1, &q1, &q2);
        dist = bz_V3_Distance(&q1, &q2);
    }
    else
    {
        float s, t;
        bz_Line_LineClosest(a1, &d1, a2, &d2, &q1, &q2, &s, &t);
        const bool sIn = s >= 0.0f && s <= 1.0f, tIn = t >= 0.0f && t <= 1.0f;
        if (sIn && tIn)
        {
            bzV3 w;
            bz_V3_SubInto(a2, a1, &w);
            dist = std::fabs(bz_V3_Dot(&w, &c)) / std::sqrt(cLenSq);
        }
        else
        {
            // A parameter outside its segment: that segment's end on that side, and the other
            // segment's closest point to it. With both outside, the nearer of the two pairs.
            float best = 0.0f;
            bool have = false;
            if (!sIn)
            {
                const bzV3 end = s < 0.0f ? *a1 : *b1;
                bzV3 other;
                best = bz_Segment_ClosestPoint(a2, b2, &end, &other);
                q1 = end;
                q2 = other;
                have = true;
            }
            if (!tIn)
            {
                const bzV3 end = t < 0.0f ? *a2 : *b2;
                bzV3 other;
                const float dd = bz_Segment_ClosestPoint(a1, b1, &end, &other);
                if (!have || dd < best)
                {
                    best = dd;
                    q1 = other;
                    q2 = end;
                }
            }
            dist = best;
        }
    }
    SetOptional(point1, &q1);
    SetOptional(point2, &q2);
    return dist;
}

float bz_Triangle_ClosestPoint(const bzV3 *p, const bzV3 *a, const bzV3 *b, const bzV3 *c,
                               bzV3 *out)
{
    bzV3 e1, e2, w;
    bz_V3_SubInto(b, a, &e1);
    bz_V3_SubInto(c, a, &e2);
    bz_V3_SubInto(p, a, &w);
    const float e11 = bz_V3_Dot(&e1, &e1), e12 = bz_V3_Dot(&e1, &e2), e22 = bz_V3_Dot(&e2, &e2);
    const float w1 = bz_V3_Dot(&w, &e1), w2 = bz_V3_Dot(&w, &e2);
    const float det = e11 * e22 - e12 * e12;
    bzV3 point;
    if (!(std::fabs(det) > BZ_SQ_EPSILON * (e11 * e22)))
    {
        // A flat triangle: the nearest point of its three edges.
        bzV3 q;
        float best = bz_PointSegmentDistance(p, a, b, &point, nullptr);
        float d = bz_PointSegmentDistance(p, b, c, &q, nullptr);
        if (d < best)
        {
            best = d;
            point = q;
        }
        d = bz_PointSegmentDistance(p, c, a, &q, nullptr);
        if (d < best)
            point = q;
    }
    else
    {
        // In-plane parameters of p along e1 and e2.
        const float u = (e22 * w1 - e12 * w2) / det;
        const float v = (e11 * w2 - e12 * w1) / det;
        if (u + v <= 1.0f)
        {
            if (u < 0.0f)
                bz_V3_AddScaledInto(a, &e2, std::fmin(std::fmax(v, 0.0f), 1.0f), &point);
            else if (v < 0.0f)
                bz_V3_AddScaledInto(a, &e1, std::fmin(u, 1.0f), &point);
            else
            {
                bz_V3_AddScaledInto(a, &e1, u, &point);
                bz_V3_AddScaled(&point, &e2, v);
            }
        }
        else if (u < 0.0f)
            point = *c;
        else if (v < 0.0f)
            point = *b;
        else
        {
            const float sum = u + v;
            bz_V3_AddScaledInto(a, &e1, u / sum, &point);
            bz_V3_AddScaled(&point, &e2, v / sum);
        }
    }
    const float dist = bz_V3_Distance(&point, p);
    SetOptional(out, &point);
    return dist;
}

int32_t bz_PointInTriangle2D(const bzV2 *p, const bzV2 *a, const bzV2 *b, const bzV2 *c)
{
    const bzV2 *v[3] = {a, b, c};
    int32_t inside = 0;
    for (int i = 0; i < 3; i++)
    {
        const bzV2 *s = v[i], *e = v[(i + 1) % 3];
        if ((s->y <= p->y && p->y < e->y) || (e->y <= p->y && p->y < s->y))
        {
            const float x = s->x + (p->y - s->y) * (e->x - s->x) / (e->y - s->y);
            if (x > p->x)
                inside = !inside;
        }
    }
    return inside;
}

int32_t bz_Segment2D_Cross(const bzV2 *a1, const bzV2 *b1, const bzV2 *a2, const bzV2 *b2)
{
    const float e1x = b1->x - a1->x, e1y = b1->y - a1->y;
    const float e2x = b2->x - a2->x, e2y = b2->y - a2->y;
    const float den = e2x * e1y - e2y * e1x;
    if (!(std::fabs(den) >= 0.001f))
        return 0;
    const float wx = a2->x - a1->x, wy = a2->y - a1->y;
    const float s = (e2x * wy - wx * e2y) / den;
    const float t = (e1x * wy - wx * e1y) / den;
    return s >= 0.001f && s <= 0.999f && t >= 0.001f && t <= 0.999f;
}

int32_t bz_Spheres_Overlap(const bzV3 *c1, const bzV3 *c2, float r1, float r2)
{
    const float r = r1 + r2;
    return r * r > bz_V3_DistanceSq(c1, c2);
}

int32_t bz_Cone_PointInside(const bzV3 *p, const bzV3 *origin, const bzV3 *dir, float *heightOut,
                            float r0, float r1, float length)
{
    bzV3 w;
    bz_V3_SubInto(p, origin, &w);
    const float h = bz_V3_Dot(&w, dir);
    if (heightOut)
        *heightOut = h;
    if (h < 0.0f || h > length)
        return 0;
    bzV3 off;
    bz_V3_SubScaledInto(&w, dir, h, &off);
    return bz_V3_Length(&off) < r0 + (r1 - r0) * h / length;
}
