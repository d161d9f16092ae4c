// Quaternions (x, y, z, w with w last) and rigid poses.
//
// A rotation by angle a about the unit axis n is (n sin(a/2), cos(a/2)); v' = q v q*. The
// Hamilton product a b applies b first, then a: ToM33(a b) = ToM33(b) ToM33(a), the order of
// every (a, out, b) matrix product. Nothing normalises implicitly except bz_Quat_Nlerp and the
// normalisers; unit length is the caller's to keep.
#pragma once

#include "maths/Types.h"
#include "maths/Vector.h"

#include <cmath>
#include <cstdint>

// Cores of the rotation-row templates below.
namespace bzRows
{
void QuatFromRows(const bzV3 *m, bzQuat *out);
void QuatToRows(const bzQuat *q, bzV3 *out);
} // namespace bzRows

// (axis sin(deg/2), cos(deg/2)); the axis is used as given.
void bz_Quat_FromAxisAngle(bzQuat *out, const bzV3 *axis, float deg);
// Unit axis and angle in degrees; (1, 0, 0) and 0 when the vector part is shorter than
// FLT_EPSILON.
void bz_Quat_ToAxisAngle(const bzQuat *q, bzV3 *axisOut, float *degOut);
// Shortest-arc rotation turning the unit vector from onto the unit vector to.
void bz_Quat_FromTwoVectors(const bzV3 *to, bzQuat *out, const bzV3 *from);
// From the rotation rows of a bzM33 or a bzM34.
template <bzRotationRows M> inline void bz_Quat_FromM33(const M *m, bzQuat *out)
{
    bzRows::QuatFromRows(m->row, out);
}
template <bzRotationRows M> inline void bz_Quat_FromM33B(bzQuat *out, const M *m)
{
    bzRows::QuatFromRows(m->row, out);
}
// Writes only the nine rotation elements of a bzM33 or a bzM34.
template <bzRotationRows M> inline void bz_Quat_ToM33(const bzQuat *q, M *out)
{
    bzRows::QuatToRows(q, out->row);
}
// Rotation rows of a bzM34; a non-zero clearFlag also zeroes its translation.
void bz_Quat_ToM34(const bzQuat *q, int32_t clearFlag, bzM34 *out);

// out = a b
inline void bz_MulQuatInto(const bzQuat *a, bzQuat *out, const bzQuat *b)
{
    const bzQuat p = *a, q = *b;
    out->w = p.w * q.w - p.x * q.x - p.y * q.y - p.z * q.z;
    out->x = p.w * q.x + p.x * q.w + p.y * q.z - p.z * q.y;
    out->y = p.w * q.y + p.y * q.w + p.z * q.x - p.x * q.z;
    out->z = p.w * q.z + p.z * q.w + p.x * q.y - p.y * q.x;
}
// b := a b
inline void bz_Quat_PreMul(const bzQuat *a, bzQuat *b)
{
    bz_MulQuatInto(a, b, b);
}
// b := b a
inline void bz_Quat_PostMul(const bzQuat *a, bzQuat *b)
{
    bz_MulQuatInto(b, b, a);
}
// Obsolete: reports under the caption "Quaternions", then q := q p.
void bz_Quat_MulInto(bzQuat *q, const bzQuat *p);
// Obsolete: reports under the caption "Quaternions", then out = b a.
void bz_Quat_Multiply(const bzQuat *a, const bzQuat *b, bzQuat *out);

// out = q v q*: t = w v + q x v, out = (q.v) q + w t + q x t.
inline void bz_Quat_RotateV3Into(const bzQuat *q, bzV3 *out, const bzV3 *v)
{
    const bzV3 u = {q->x, q->y, q->z};
    const bzV3 p = *v;
    const float w = q->w;
    bzV3 t, c;
    bz_V3_CrossInto(&u, &p, &t);
    bz_V3_AddScaled(&t, &p, w);
    bz_V3_CrossInto(&u, &t, &c);
    const float d = bz_V3_Dot(&u, &p);
    for (int i = 0; i < 3; i++)
        out->v[i] = d * u.v[i] + w * t.v[i] + c.v[i];
}
inline void bz_Quat_RotateV3(const bzQuat *q, bzV3 *v)
{
    bz_Quat_RotateV3Into(q, v, v);
}
// Rotation by the conjugate.
inline void bz_Quat_InverseRotateV3Into(const bzQuat *q, bzV3 *out, const bzV3 *v)
{
    const bzQuat c = {q->x, q->y, q->z, -q->w};
    bz_Quat_RotateV3Into(&c, out, v);
}
inline void bz_Quat_ConjugateInto(const bzQuat *q, bzQuat *out)
{
    out->x = -q->x;
    out->y = -q->y;
    out->z = -q->z;
    out->w = q->w;
}
inline void bz_Quat_Conjugate(bzQuat *q)
{
    bz_Quat_ConjugateInto(q, q);
}
// All four components times 1/|q|; no zero guard.
inline void bz_Quat_NormaliseInto(const bzQuat *q, bzQuat *out)
{
    const float s = 1.0f / std::sqrt(q->x * q->x + q->y * q->y + q->z * q->z + q->w * q->w);
    for (int i = 0; i < 4; i++)
        out->v[i] = q->v[i] * s;
}
inline void bz_Quat_Normalise(bzQuat *q)
{
    bz_Quat_NormaliseInto(q, q);
}
// Normalised linear blend, the weight of b negated when a.b < 0.
void bz_Quat_Nlerp(const bzQuat *a, const bzQuat *b, bzQuat *out, float t);
// Spherical blend from `from` (t = 0) to `to` (t = 1) along the shorter arc, with spins extra
// half turns.
void bz_Quat_Slerp(const bzQuat *to, const bzQuat *from, bzQuat *out, float t, int16_t spins);
// Spherical blend from the identity towards q.
void bz_Quat_SlerpFromIdentity(const bzQuat *q, bzQuat *out, float t, int16_t spins);
// A = slerp(from, to, t1); E = A conj(from) other; out = slerp(A, E, t2).
void bz_Quat_SlerpRelative(const bzQuat *to, const bzQuat *from, bzQuat *out, const bzQuat *other,
                           float t1, float t2);
// Copies a block of eight floats.
void bz_Quat_Copy8(const float *src, float *dst);

// Rigid poses.
void bz_QuatPos_FromM34(bzQuatPos *out, const bzM34 *m);
void bz_QuatPos_ToM34(const bzQuatPos *pose, bzM34 *out);
// out = rotate(q, p) + position
inline void bz_QuatPos_TransformPoint(const bzQuatPos *pose, bzV3 *out, const bzV3 *p)
{
    bz_Quat_RotateV3Into(&pose->q, out, p);
    bz_V3_Add(out, &pose->pos);
}
inline void bz_QuatPos_TransformPointInPlace(const bzQuatPos *pose, bzV3 *p)
{
    bz_QuatPos_TransformPoint(pose, p, p);
}
// out = rotate(q*, p - position)
inline void bz_QuatPos_InverseTransformPoint(const bzQuatPos *pose, bzV3 *out, const bzV3 *p)
{
    bzV3 d;
    bz_V3_SubInto(p, &pose->pos, &d);
    bz_Quat_InverseRotateV3Into(&pose->q, out, &d);
}
// out.q = conj(pose.q); out.pos = -rotate(out.q, pose.pos)
void bz_QuatPos_Invert(bzQuatPos *out, const bzQuatPos *pose);
// b first, then a: out.q = a.q b.q; out.pos = rotate(a.q, b.pos) + a.pos.
void bz_QuatPos_Mul(const bzQuatPos *a, const bzQuatPos *b, bzQuatPos *out);
