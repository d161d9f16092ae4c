// Vectors and 3x4 transforms: the small float records every module computes with.
//
// A name ending in Into writes a separate output; otherwise the first operand is changed in
// place. Products with an output take (a, out, b) and compute out = b then a (b applied
// first). Rotation-only operations read the first three rows and accept a bzM33 or a bzM34.
// Nothing here allocates, keeps state (apart from the constant vectors) or reports errors.
#pragma once

#include "maths/Types.h"

#include <cmath>
#include <cstdint>

// ---------------------------------------------------------------------------------------------
// Scalars

// Truncated toward zero. A value outside the 32-bit range or a NaN gives INT32_MIN, as the
// processor's own conversion does.
inline int32_t bz_FloatToInt(float f)
{
    if (f >= -2147483648.0f && f < 2147483648.0f)
        return (int32_t)f;
    return INT32_MIN;
}
// Rounded toward minus infinity.
inline float bz_Floor(float f)
{
    return std::floor(f);
}
inline float bz_IntToFloat(int32_t i)
{
    return (float)i;
}
inline float bz_CosDeg(float deg)
{
    return std::cos(deg * BZ_DEG_TO_RAD);
}
inline float bz_SinDeg(float deg)
{
    return std::sin(deg * BZ_DEG_TO_RAD);
}
// (1 + x/32)^32: 1 + x/32 squared five times.
inline float bz_ExpApprox(float x)
{
    float r = 1.0f + x * 0.03125f;
    r *= r;
    r *= r;
    r *= r;
    r *= r;
    r *= r;
    return r;
}

// ---------------------------------------------------------------------------------------------
// bzV3

inline void bz_V3_Set(bzV3 *v, float x, float y, float z)
{
    v->x = x;
    v->y = y;
    v->z = z;
}
inline void bz_V3_Copy(const bzV3 *a, bzV3 *out)
{
    *out = *a;
}
// a := a + b
inline void bz_V3_Add(bzV3 *a, const bzV3 *b)
{
    a->x += b->x;
    a->y += b->y;
    a->z += b->z;
}
// a := a - b
inline void bz_V3_Sub(bzV3 *a, const bzV3 *b)
{
    a->x -= b->x;
    a->y -= b->y;
    a->z -= b->z;
}
// a := b - a
inline void bz_V3_SubFrom(bzV3 *a, const bzV3 *b)
{
    a->x = b->x - a->x;
    a->y = b->y - a->y;
    a->z = b->z - a->z;
}
// out = a + b
inline void bz_V3_AddInto(const bzV3 *a, const bzV3 *b, bzV3 *out)
{
    out->x = a->x + b->x;
    out->y = a->y + b->y;
    out->z = a->z + b->z;
}
// out = a - b
inline void bz_V3_SubInto(const bzV3 *a, const bzV3 *b, bzV3 *out)
{
    out->x = a->x - b->x;
    out->y = a->y - b->y;
    out->z = a->z - b->z;
}
// a := a + s b
inline void bz_V3_AddScaled(bzV3 *a, const bzV3 *b, float s)
{
    a->x += s * b->x;
    a->y += s * b->y;
    a->z += s * b->z;
}
// a := a - s b
inline void bz_V3_SubScaled(bzV3 *a, const bzV3 *b, float s)
{
    a->x -= s * b->x;
    a->y -= s * b->y;
    a->z -= s * b->z;
}
// out = a + s b
inline void bz_V3_AddScaledInto(const bzV3 *a, const bzV3 *b, float s, bzV3 *out)
{
    out->x = a->x + s * b->x;
    out->y = a->y + s * b->y;
    out->z = a->z + s * b->z;
}
// out = a - s b
inline void bz_V3_SubScaledInto(const bzV3 *a, const bzV3 *b, float s, bzV3 *out)
{
    out->x = a->x - s * b->x;
    out->y = a->y - s * b->y;
    out->z = a->z - s * b->z;
}
inline void bz_V3_Scale(bzV3 *a, float s)
{
    a->x *= s;
    a->y *= s;
    a->z *= s;
}
inline void bz_V3_ScaleInto(const bzV3 *a, bzV3 *out, float s)
{
    out->x = a->x * s;
    out->y = a->y * s;
    out->z = a->z * s;
}
// Times 1/s; s = 0 is the caller's to avoid.
inline void bz_V3_Divide(bzV3 *a, float s)
{
    bz_V3_Scale(a, 1.0f / s);
}
inline void bz_V3_DivideInto(const bzV3 *a, bzV3 *out, float s)
{
    bz_V3_ScaleInto(a, out, 1.0f / s);
}
inline void bz_V3_Negate(bzV3 *a)
{
    a->x = -a->x;
    a->y = -a->y;
    a->z = -a->z;
}
inline void bz_V3_NegateInto(const bzV3 *a, bzV3 *out)
{
    out->x = -a->x;
    out->y = -a->y;
    out->z = -a->z;
}
inline float bz_V3_Dot(const bzV3 *a, const bzV3 *b)
{
    return a->x * b->x + a->y * b->y + a->z * b->z;
}
// (b - a).(c - a)
inline float bz_V3_DotOfDifferences(const bzV3 *a, const bzV3 *b, const bzV3 *c)
{
    return (b->x - a->x) * (c->x - a->x) + (b->y - a->y) * (c->y - a->y) +
           (b->z - a->z) * (c->z - a->z);
}
// out = a x b
inline void bz_V3_CrossInto(const bzV3 *a, const bzV3 *b, bzV3 *out)
{
    const float x = a->y * b->z - a->z * b->y;
    const float y = a->z * b->x - a->x * b->z;
    const float z = a->x * b->y - a->y * b->x;
    out->x = x;
    out->y = y;
    out->z = z;
}
// a := a x b
inline void bz_V3_CrossInPlace(bzV3 *a, const bzV3 *b)
{
    bz_V3_CrossInto(a, b, a);
}
inline float bz_V3_LengthSq(const bzV3 *a)
{
    return a->x * a->x + a->y * a->y + a->z * a->z;
}
inline float bz_V3_Length(const bzV3 *a)
{
    return std::sqrt(bz_V3_LengthSq(a));
}
inline float bz_V3_DistanceSq(const bzV3 *a, const bzV3 *b)
{
    const float dx = a->x - b->x, dy = a->y - b->y, dz = a->z - b->z;
    return dx * dx + dy * dy + dz * dz;
}
inline float bz_V3_Distance(const bzV3 *a, const bzV3 *b)
{
    return std::sqrt(bz_V3_DistanceSq(a, b));
}
// a := a / |a|; a length below FLT_EPSILON (strictly) gives (0, 0, 1).
inline void bz_V3_Normalise(bzV3 *a)
{
    const float len = bz_V3_Length(a);
    if (len < BZ_EPSILON)
    {
        bz_V3_Set(a, 0.0f, 0.0f, 1.0f);
        return;
    }
    bz_V3_Scale(a, 1.0f / len);
}
// out = a / |a| with no zero-length guard.
inline void bz_V3_NormaliseInto(const bzV3 *a, bzV3 *out)
{
    bz_V3_ScaleInto(a, out, 1.0f / bz_V3_Length(a));
}
// 0.9398 largest + 0.3893 middle + 0.2987 smallest, the components sorted by signed value.
inline float bz_V3_LengthApprox(const bzV3 *a)
{
    float lo = a->x, mid = a->y, hi = a->z;
    if (lo > mid)
    {
        const float t = lo;
        lo = mid;
        mid = t;
    }
    if (mid > hi)
    {
        const float t = mid;
        mid = hi;
        hi = t;
    }
    if (lo > mid)
    {
        const float t = lo;
        lo = mid;
        mid = t;
    }
    return 0.9398f * hi + 0.3893f * mid + 0.2987f * lo;
}
inline void bz_V3_NormaliseApprox(bzV3 *a)
{
    bz_V3_Scale(a, 1.0f / bz_V3_LengthApprox(a));
}
inline void bz_V3_NormaliseApproxInto(const bzV3 *a, bzV3 *out)
{
    bz_V3_ScaleInto(a, out, 1.0f / bz_V3_LengthApprox(a));
}
// Approximate length of b - a.
inline float bz_V3_DistanceApprox(const bzV3 *a, const bzV3 *b)
{
    bzV3 d;
    bz_V3_SubInto(b, a, &d);
    return bz_V3_LengthApprox(&d);
}
// out = (1 - t) from + t to
inline void bz_V3_Lerp(const bzV3 *to, bzV3 *out, const bzV3 *from, float t)
{
    const float u = 1.0f - t;
    out->x = u * from->x + t * to->x;
    out->y = u * from->y + t * to->y;
    out->z = u * from->z + t * to->z;
}
// out = v - (axis.v) axis, for a unit axis.
inline void bz_V3_Reject(const bzV3 *axis, bzV3 *out, const bzV3 *v)
{
    const float d = bz_V3_Dot(axis, v);
    bz_V3_SubScaledInto(v, axis, d, out);
}
// x for 0, y for 1, z for any other index.
inline float bz_V3_Component(int32_t i, const bzV3 *v)
{
    return i == 0 ? v->x : (i == 1 ? v->y : v->z);
}
// The axis (0, 1 or 2) of the smallest absolute component; ties go to x, then y.
inline int32_t bz_V3_SmallestAxis(const bzV3 *v)
{
    const float a = std::fabs(v->x), b = std::fabs(v->y), c = std::fabs(v->z);
    if (a <= b && a <= c)
        return 0;
    if (b <= c && b <= a)
        return 1;
    return 2;
}
// A unit vector perpendicular to v: v crossed with its smallest axis, normalised (no guard).
inline void bz_V3_Perpendicular(const bzV3 *v, bzV3 *out)
{
    bzV3 e = {0.0f, 0.0f, 0.0f};
    e.v[bz_V3_SmallestAxis(v)] = 1.0f;
    bzV3 c;
    bz_V3_CrossInto(v, &e, &c);
    bz_V3_NormaliseInto(&c, out);
}
// 1 when all three components compare equal to 0 (-0 included, NaN not).
inline int32_t bz_V3_IsZero(const bzV3 *a)
{
    return a->x == 0.0f && a->y == 0.0f && a->z == 0.0f;
}
// 1 when a x b is not exactly (0, 0, 0).
inline int32_t bz_V3_NotParallel(const bzV3 *a, const bzV3 *b)
{
    bzV3 c;
    bz_V3_CrossInto(a, b, &c);
    return !bz_V3_IsZero(&c);
}
// 1 when a.b > cos(deg) (strictly), for unit vectors.
inline int32_t bz_V3_WithinAngle(const bzV3 *a, const bzV3 *b, float deg)
{
    return bz_V3_Dot(a, b) > bz_CosDeg(deg);
}
// Per axis where a and r do not have opposite signs: a := a - r, stopping at 0.
inline void bz_V3_ReduceTowardsZero(bzV3 *a, const bzV3 *r)
{
    for (int i = 0; i < 3; i++)
    {
        const float old = a->v[i];
        if (old * r->v[i] < 0.0f)
            continue;
        const float now = old - r->v[i];
        a->v[i] = old * now <= 0.0f ? 0.0f : now;
    }
}
// Squared distance of p from the infinite line through a with direction d.
inline float bz_V3_LineDistanceSq(const bzV3 *d, const bzV3 *a, const bzV3 *p)
{
    bzV3 w;
    bz_V3_SubInto(p, a, &w);
    const float wd = bz_V3_Dot(&w, d);
    return bz_V3_LengthSq(&w) - wd * wd / bz_V3_LengthSq(d);
}
// Cubic Hermite point between p0 and p1 with tangents m0 and m1.
inline void bz_V3_Hermite(float t, const bzV3 *p0, const bzV3 *p1, const bzV3 *m0, const bzV3 *m1,
                          bzV3 *out)
{
    const float t2 = t * t, t3 = t2 * t;
    const float h0 = 2.0f * t3 - 3.0f * t2 + 1.0f;
    const float h1 = 3.0f * t2 - 2.0f * t3;
    const float h2 = t3 - 2.0f * t2 + t;
    const float h3 = t3 - t2;
    for (int i = 0; i < 3; i++)
        out->v[i] = h0 * p0->v[i] + h1 * p1->v[i] + h2 * m0->v[i] + h3 * m1->v[i];
}
// Hermite between q1 and q2 with tangents 0.5 (q2 - q0) and 0.5 (q3 - q1).
inline void bz_V3_CatmullRom(const bzV3 *q0, const bzV3 *q1, const bzV3 *q2, const bzV3 *q3,
                             float t, bzV3 *out)
{
    bzV3 m0, m1;
    for (int i = 0; i < 3; i++)
    {
        m0.v[i] = 0.5f * (q2->v[i] - q0->v[i]);
        m1.v[i] = 0.5f * (q3->v[i] - q1->v[i]);
    }
    const bzV3 p1 = *q1, p2 = *q2;
    bz_V3_Hermite(t, &p1, &p2, &m0, &m1, out);
}
// 12-byte copy and byte comparison through the memory primitives.
void bz_V3_CopyBytes(const bzV3 *a, bzV3 *out);
int32_t bz_V3_SameBytes(const bzV3 *a, const bzV3 *b);

// Static vectors rewritten on every call with (0,0,0), (1,0,0), (0,1,0), (0,0,1).
bzV3 *bz_V3_Zero();
bzV3 *bz_V3_UnitX();
bzV3 *bz_V3_UnitY();
bzV3 *bz_V3_UnitZ();

// ---------------------------------------------------------------------------------------------
// Axis rotations of a bzV3 (degrees)

inline void bz_V3_RotateXInto(const bzV3 *v, bzV3 *out, float deg)
{
    const float r = deg * BZ_DEG_TO_RAD, c = std::cos(r), s = std::sin(r);
    const float y = c * v->y - s * v->z, z = s * v->y + c * v->z;
    out->x = v->x;
    out->y = y;
    out->z = z;
}
inline void bz_V3_RotateYInto(const bzV3 *v, bzV3 *out, float deg)
{
    const float r = deg * BZ_DEG_TO_RAD, c = std::cos(r), s = std::sin(r);
    const float x = c * v->x + s * v->z, z = -s * v->x + c * v->z;
    out->x = x;
    out->y = v->y;
    out->z = z;
}
inline void bz_V3_RotateZInto(const bzV3 *v, bzV3 *out, float deg)
{
    const float r = deg * BZ_DEG_TO_RAD, c = std::cos(r), s = std::sin(r);
    const float x = c * v->x - s * v->y, y = s * v->x + c * v->y;
    out->x = x;
    out->y = y;
    out->z = v->z;
}
inline void bz_V3_RotateX(bzV3 *v, float deg)
{
    bz_V3_RotateXInto(v, v, deg);
}
inline void bz_V3_RotateY(bzV3 *v, float deg)
{
    bz_V3_RotateYInto(v, v, deg);
}
inline void bz_V3_RotateZ(bzV3 *v, float deg)
{
    bz_V3_RotateZInto(v, v, deg);
}
// As bz_V3_RotateZ, touching only x and y, so it also turns a two-float vector.
inline void bz_V3_RotateZ2(bzV3 *v, float deg)
{
    bz_V3_RotateZInto(v, v, deg);
}
inline void bz_V3_RotateZ2(bzV2 *v, float deg)
{
    const float r = deg * BZ_DEG_TO_RAD, c = std::cos(r), s = std::sin(r);
    const float x = c * v->x - s * v->y, y = s * v->x + c * v->y;
    v->x = x;
    v->y = y;
}
// About x by ax, then y by ay, then z by az.
inline void bz_V3_RotateXYZInto(const bzV3 *v, bzV3 *out, float ax, float ay, float az)
{
    bz_V3_RotateXInto(v, out, ax);
    bz_V3_RotateYInto(out, out, ay);
    bz_V3_RotateZInto(out, out, az);
}
inline void bz_V3_RotateXYZ(bzV3 *v, float ax, float ay, float az)
{
    bz_V3_RotateXYZInto(v, v, ax, ay, az);
}
// Rotates v in place about an axis (normalised by the rotation builder).
void bz_V3_RotateAboutAxis(bzV3 *v, const bzV3 *axis, float deg);

// ---------------------------------------------------------------------------------------------
// Matrix products and point transforms

// out = b then a: out.row[i] = b.row[i] a (directions), out.row[3] = b.row[3] a + a.row[3].
inline void bz_MulM34Into(const bzM34 *a, bzM34 *out, const bzM34 *b)
{
    bzM34 r;
    for (int i = 0; i < 4; i++)
    {
        const float x = b->row[i].x, y = b->row[i].y, z = b->row[i].z;
        for (int j = 0; j < 3; j++)
            r.row[i].v[j] = x * a->row[0].v[j] + y * a->row[1].v[j] + z * a->row[2].v[j];
    }
    for (int j = 0; j < 3; j++)
        r.row[3].v[j] += a->row[3].v[j];
    *out = r;
}
// m := m then a
inline void bz_M34_PostMul(bzM34 *m, const bzM34 *a)
{
    bz_MulM34Into(a, m, m);
}
// m := a then m
inline void bz_M34_PreMul(bzM34 *m, const bzM34 *a)
{
    bz_MulM34Into(m, m, a);
}
inline void bz_M34_SetIdentity(bzM34 *m)
{
    *m = bzM34{{{{{1, 0, 0}}}, {{{0, 1, 0}}}, {{{0, 0, 1}}}, {{{0, 0, 0}}}}};
}
inline void bz_M44_SetIdentity(bzM44 *m)
{
    *m = bzM44{{{{{1, 0, 0, 0}}}, {{{0, 1, 0, 0}}}, {{{0, 0, 1, 0}}}, {{{0, 0, 0, 1}}}}};
}
inline void bz_M44_Clear(bzM44 *m)
{
    *m = bzM44{};
}
// out = p M including the translation row.
inline void bz_M34_TransformPointInto(const bzM34 *m, bzV3 *out, const bzV3 *p)
{
    const float x = p->x, y = p->y, z = p->z;
    for (int j = 0; j < 3; j++)
        out->v[j] = x * m->row[0].v[j] + y * m->row[1].v[j] + z * m->row[2].v[j] + m->row[3].v[j];
}
inline void bz_M34_TransformPoint(const bzM34 *m, bzV3 *p)
{
    bz_M34_TransformPointInto(m, p, p);
}
// out = v R, the first three rows only.
template <bzRotationRows M> inline void bz_RotateV3Into(const M *r, bzV3 *out, const bzV3 *v)
{
    const float x = v->x, y = v->y, z = v->z;
    for (int j = 0; j < 3; j++)
        out->v[j] = x * r->row[0].v[j] + y * r->row[1].v[j] + z * r->row[2].v[j];
}
template <bzRotationRows M> inline void bz_V3_RotateInPlace(bzV3 *v, const M *r)
{
    bz_RotateV3Into(r, v, v);
}
// out = (v.row0, v.row1, v.row2): the transpose, a world direction into local axes.
template <bzRotationRows M>
inline void bz_M34_InverseRotateV3Into(const M *r, bzV3 *out, const bzV3 *v)
{
    const bzV3 w = *v;
    out->x = bz_V3_Dot(&w, &r->row[0]);
    out->y = bz_V3_Dot(&w, &r->row[1]);
    out->z = bz_V3_Dot(&w, &r->row[2]);
}
template <bzRotationRows M> inline void bz_V3_InverseRotate(bzV3 *v, const M *r)
{
    bz_M34_InverseRotateV3Into(r, v, v);
}
// out = ((p - row3).row0, (p - row3).row1, (p - row3).row2), for an orthonormal M.
inline void bz_M34_InverseTransformPointInto(const bzM34 *m, bzV3 *out, const bzV3 *p)
{
    bzV3 w;
    bz_V3_SubInto(p, &m->row[3], &w);
    out->x = bz_V3_Dot(&w, &m->row[0]);
    out->y = bz_V3_Dot(&w, &m->row[1]);
    out->z = bz_V3_Dot(&w, &m->row[2]);
}
inline void bz_M34_InverseTransformPoint(const bzM34 *m, bzV3 *p)
{
    bz_M34_InverseTransformPointInto(m, p, p);
}
// p := p M^-1 with the general inverse (any invertible M; a singular M is reported).
void bz_M34_TransformPointByInverse(const bzM34 *m, bzV3 *p);
void bz_M34_InverseTransformPointGeneral(const bzM34 *m, const bzV3 *p, bzV3 *out);

// out = (p, 1) M, the first three components, no division by w.
inline void bz_M44_TransformPointInto(const bzM44 *m, bzV3 *out, const bzV3 *p)
{
    const float x = p->x, y = p->y, z = p->z;
    for (int j = 0; j < 3; j++)
        out->v[j] = x * m->row[0].v[j] + y * m->row[1].v[j] + z * m->row[2].v[j] + m->row[3].v[j];
}
inline void bz_M44_TransformPoint(const bzM44 *m, bzV3 *p)
{
    bz_M44_TransformPointInto(m, p, p);
}
// out = v M for a four-wide row vector.
inline void bz_M44_TransformV4Into(const bzM44 *m, bzV4 *out, const bzV4 *v)
{
    const bzV4 w = *v;
    for (int j = 0; j < 4; j++)
        out->v[j] = w.x * m->row[0].v[j] + w.y * m->row[1].v[j] + w.z * m->row[2].v[j] +
                    w.w * m->row[3].v[j];
}
// p' = p.x row0 + p.y row1 + row2
inline void bz_M23_TransformPointInto(const bzM23 *m, bzV2 *out, const bzV2 *p)
{
    const float x = p->x, y = p->y;
    out->x = x * m->row[0].x + y * m->row[1].x + m->row[2].x;
    out->y = x * m->row[0].y + y * m->row[1].y + m->row[2].y;
}
inline void bz_M23_TransformPoint(const bzM23 *m, bzV2 *p)
{
    bz_M23_TransformPointInto(m, p, p);
}
inline void bz_M23_RotateV2Into(const bzM23 *m, bzV2 *out, const bzV2 *p)
{
    const float x = p->x, y = p->y;
    out->x = x * m->row[0].x + y * m->row[1].x;
    out->y = x * m->row[0].y + y * m->row[1].y;
}
inline void bz_M23_RotateV2(const bzM23 *m, bzV2 *p)
{
    bz_M23_RotateV2Into(m, p, p);
}

// ---------------------------------------------------------------------------------------------
// bzV2

inline void bz_V2_Set(bzV2 *v, float x, float y)
{
    v->x = x;
    v->y = y;
}
inline void bz_V2_Negate(bzV2 *a)
{
    a->x = -a->x;
    a->y = -a->y;
}
inline void bz_V2_NegateInto(const bzV2 *a, bzV2 *out)
{
    out->x = -a->x;
    out->y = -a->y;
}
inline void bz_V2_Scale(bzV2 *a, float s)
{
    a->x *= s;
    a->y *= s;
}
inline void bz_V2_ScaleInto(const bzV2 *a, bzV2 *out, float s)
{
    out->x = a->x * s;
    out->y = a->y * s;
}
inline void bz_V2_Divide(bzV2 *a, float s)
{
    bz_V2_Scale(a, 1.0f / s);
}
inline void bz_V2_DivideInto(const bzV2 *a, bzV2 *out, float s)
{
    bz_V2_ScaleInto(a, out, 1.0f / s);
}
// (x x', y y')
inline void bz_V2_MulComponents(bzV2 *a, const bzV2 *b)
{
    a->x *= b->x;
    a->y *= b->y;
}
inline void bz_V2_MulComponentsInto(const bzV2 *a, const bzV2 *b, bzV2 *out)
{
    out->x = a->x * b->x;
    out->y = a->y * b->y;
}
inline float bz_V2_Dot(const bzV2 *a, const bzV2 *b)
{
    return a->x * b->x + a->y * b->y;
}
inline float bz_V2_LengthSq(const bzV2 *a)
{
    return a->x * a->x + a->y * a->y;
}
inline float bz_V2_Length(const bzV2 *a)
{
    return std::sqrt(bz_V2_LengthSq(a));
}
inline float bz_V2_Distance(const bzV2 *a, const bzV2 *b)
{
    const float dx = a->x - b->x, dy = a->y - b->y;
    return std::sqrt(dx * dx + dy * dy);
}
// No zero-length guard.
inline void bz_V2_Normalise(bzV2 *a)
{
    bz_V2_Scale(a, 1.0f / bz_V2_Length(a));
}
inline void bz_V2_NormaliseInto(const bzV2 *a, bzV2 *out)
{
    bz_V2_ScaleInto(a, out, 1.0f / bz_V2_Length(a));
}
// 0.9604 larger + 0.3978 smaller, on the signed components.
inline float bz_V2_LengthApprox(const bzV2 *a)
{
    const float hi = a->x > a->y ? a->x : a->y;
    const float lo = a->x > a->y ? a->y : a->x;
    return 0.9604f * hi + 0.3978f * lo;
}
inline void bz_V2_NormaliseApprox(bzV2 *a)
{
    bz_V2_Scale(a, 1.0f / bz_V2_LengthApprox(a));
}
inline void bz_V2_NormaliseApproxInto(const bzV2 *a, bzV2 *out)
{
    bz_V2_ScaleInto(a, out, 1.0f / bz_V2_LengthApprox(a));
}
inline int32_t bz_V2_IsZero(const bzV2 *a)
{
    return a->x == 0.0f && a->y == 0.0f;
}
// (b.y - a.y)(c.x - a.x) - (c.y - a.y)(b.x - a.x)
inline float bz_V2_CrossOfDifferences(const bzV2 *a, const bzV2 *b, const bzV2 *c)
{
    return (b->y - a->y) * (c->x - a->x) - (c->y - a->y) * (b->x - a->x);
}
// D = (pj.y - pk.y)(pi.x - pk.x) - (pi.y - pk.y)(pj.x - pk.x); 1 when D < 0 (strictly).
inline int32_t bz_V2_IsClockwise(const bzV2 *p, uint16_t i, uint16_t j, uint16_t k)
{
    const float d = (p[j].y - p[k].y) * (p[i].x - p[k].x) - (p[i].y - p[k].y) * (p[j].x - p[k].x);
    return d < 0.0f;
}
// 1 when D > 0 (strictly).
inline int32_t bz_V2_IsAntiClockwise(const bzV2 *p, uint16_t i, uint16_t j, uint16_t k)
{
    const float d = (p[j].y - p[k].y) * (p[i].x - p[k].x) - (p[i].y - p[k].y) * (p[j].x - p[k].x);
    return d > 0.0f;
}
// Constant vectors (1,0), (0,1), (0.5,0.5) and (0,0).
const bzV2 *bz_V2_UnitX();
const bzV2 *bz_V2_UnitY();
const bzV2 *bz_V2_Half();
const bzV2 *bz_V2_Zero();

// ---------------------------------------------------------------------------------------------
// bzV4

inline void bz_V4_Set(bzV4 *v, float x, float y, float z, float w)
{
    v->x = x;
    v->y = y;
    v->z = z;
    v->w = w;
}
inline void bz_V4_Copy(const bzV4 *a, bzV4 *out)
{
    *out = *a;
}
inline void bz_V4_Add(bzV4 *a, const bzV4 *b)
{
    for (int i = 0; i < 4; i++)
        a->v[i] += b->v[i];
}
inline void bz_V4_Sub(bzV4 *a, const bzV4 *b)
{
    for (int i = 0; i < 4; i++)
        a->v[i] -= b->v[i];
}
inline void bz_V4_AddInto(const bzV4 *a, const bzV4 *b, bzV4 *out)
{
    for (int i = 0; i < 4; i++)
        out->v[i] = a->v[i] + b->v[i];
}
inline void bz_V4_SubInto(const bzV4 *a, const bzV4 *b, bzV4 *out)
{
    for (int i = 0; i < 4; i++)
        out->v[i] = a->v[i] - b->v[i];
}
inline void bz_V4_Scale(bzV4 *a, float s)
{
    for (int i = 0; i < 4; i++)
        a->v[i] *= s;
}
inline void bz_V4_ScaleInto(const bzV4 *a, bzV4 *out, float s)
{
    for (int i = 0; i < 4; i++)
        out->v[i] = a->v[i] * s;
}
inline void bz_V4_DivideInto(const bzV4 *a, bzV4 *out, float s)
{
    bz_V4_ScaleInto(a, out, 1.0f / s);
}
inline void bz_V4_NegateInto(const bzV4 *a, bzV4 *out)
{
    for (int i = 0; i < 4; i++)
        out->v[i] = -a->v[i];
}
inline int32_t bz_V4_IsZero(const bzV4 *a)
{
    return a->x == 0.0f && a->y == 0.0f && a->z == 0.0f && a->w == 0.0f;
}

// ---------------------------------------------------------------------------------------------
// Triangles

// (p1 - p0) x (p2 - p0) normalised by bz_V3_Normalise; a degenerate triangle gives (0, 0, 1).
void bz_Triangle_Normal(const bzV3 *corners, bzV3 *out);
// 0.5 |(p1 - p0) x (p2 - p0)|
float bz_Triangle_Area(const bzV3 *p0, const bzV3 *p1, const bzV3 *p2);
// (p0 + p1 + p2) 0.3333
void bz_Triangle_Centroid(const bzV3 *p0, const bzV3 *p1, const bzV3 *p2, bzV3 *out);
void bz_Triangle2D_Centroid(const bzV2 *p0, const bzV2 *p1, const bzV2 *p2, bzV2 *out);
// Positive when a, b, c run anticlockwise.
float bz_Triangle2D_SignedArea(const bzV2 *a, const bzV2 *b, const bzV2 *c);
float bz_Triangle2D_Perimeter(const bzV2 *a, const bzV2 *b, const bzV2 *c);
// Solves p - a = u (b - a) + v (c - a). Returns 0 with u and v written, or 1 (nothing written)
// when the triangle is degenerate (|det| < FLT_EPSILON).
int32_t bz_Triangle2D_Barycentric(const bzV2 *a, const bzV2 *b, const bzV2 *c, const bzV2 *p,
                                  float *u, float *v);
// Blends two values per corner (values: a0, a1, b0, b1, c0, c1) at p; 0 on success, 1 when the
// triangle is degenerate (outputs untouched).
int32_t bz_Triangle2D_Interpolate(const bzV2 *a, const bzV2 *b, const bzV2 *c, const bzV2 *p,
                                  const float *values, float *out0, float *out1);
void bz_Triangle2D_Weights(float u, float v, float a0, float a1, float b0, float b1, float c0,
                           float c1, float *out0, float *out1);
// 0.5 sqrt(X^2 + Y^2), X = a.x b.x + b.x c.x + a.x c.x, Y likewise.
float bz_Triangle2D_DotSumLength(const bzV2 *a, const bzV2 *b, const bzV2 *c);
