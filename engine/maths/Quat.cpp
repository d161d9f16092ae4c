// Quaternions and rigid poses.
#include "maths/Quat.h"

#include "core/Error.h"
#include "maths/Approx.h"

#include <cmath>

void bzRows::QuatFromRows(const bzV3 *m, bzQuat *out)
{
    const float trace = m[0].x + m[1].y + m[2].z;
    if (trace >= 0.0f)
    {
        const float r = std::sqrt(trace + 1.0f);
        const float s = 0.5f / r;
        out->w = 0.5f * r;
        out->x = (m[1].z - m[2].y) * s;
        out->y = (m[2].x - m[0].z) * s;
        out->z = (m[0].y - m[1].x) * s;
        return;
    }
    // The largest diagonal element; ties keep the lower index.
    int i = 0;
    if (m[1].y > m[0].x)
        i = 1;
    if (m[2].z > m[i].v[i])
        i = 2;
    static const int kNext[3] = {1, 2, 0};
    const int j = kNext[i], k = kNext[j];
    const float r = std::sqrt(m[i].v[i] - (m[j].v[j] + m[k].v[k]) + 1.0f);
    const float s = 0.5f / r;
    bzQuat q;
    q.v[i] = 0.5f * r;
    q.w = (m[j].v[k] - m[k].v[j]) * s;
    q.v[j] = (m[i].v[j] + m[j].v[i]) * s;
    q.v[k] = (m[i].v[k] + m[k].v[i]) * s;
    *out = q;
}

void bzRows::QuatToRows(const bzQuat *q, bzV3 *out)
{
    const float x = q->x, y = q->y, z = q->z, w = q->w;
    const float x2 = x + x, y2 = y + y, z2 = z + z;
    const float xx = x2 * x, yy = y2 * y, zz = z2 * z;
    const float xy = y2 * x, xz = z2 * x, yz = z2 * y;
    const float xw = x2 * w, yw = y2 * w, zw = z2 * w;
    bz_V3_Set(&out[0], 1.0f - (yy + zz), xy + zw, xz - yw);
    bz_V3_Set(&out[1], xy - zw, 1.0f - (xx + zz), yz + xw);
    bz_V3_Set(&out[2], xz + yw, yz - xw, 1.0f - (xx + yy));
}

void bz_Quat_FromAxisAngle(bzQuat *out, const bzV3 *axis, float deg)
{
    const float half = deg * 0.5f * BZ_DEG_TO_RAD;
    const float s = std::sin(half);
    const bzV3 a = *axis;
    out->x = a.x * s;
    out->y = a.y * s;
    out->z = a.z * s;
    out->w = std::cos(half);
}

void bz_Quat_ToAxisAngle(const bzQuat *q, bzV3 *axisOut, float *degOut)
{
    const bzV3 u = {q->x, q->y, q->z};
    float len = bz_V3_Length(&u);
    if (len < BZ_EPSILON)
    {
        bz_V3_Set(axisOut, 1.0f, 0.0f, 0.0f);
        *degOut = 0.0f;
        return;
    }
    float w = q->w;
    bz_V3_ScaleInto(&u, axisOut, 1.0f / len);
    if (len > 1.0f)
        len = 1.0f;
    if (w > 1.0f)
        w = 1.0f;
    else if (w < -1.0f)
        w = -1.0f;
    *degOut = 2.0f * bz_ATan2(len, w) * BZ_RAD_TO_DEG;
}

void bz_Quat_FromTwoVectors(const bzV3 *to, bzQuat *out, const bzV3 *from)
{
    bzV3 c;
    bz_V3_CrossInto(from, to, &c);
    const float len = bz_V3_Length(&c);
    const float d = bz_V3_Dot(from, to);
    float sinHalf, cosHalf;
    if (1.0f - d <= 1.0f + d)
    {
        cosHalf = std::sqrt((1.0f + d) * 0.5f);
        sinHalf = len / (2.0f * cosHalf);
    }
    else
    {
        sinHalf = std::sqrt((1.0f - d) * 0.5f);
        cosHalf = len / (2.0f * sinHalf);
    }
    if (len > BZ_SQ_EPSILON)
    {
        const float s = sinHalf / len;
        *out = bzQuat{c.x * s, c.y * s, c.z * s, cosHalf};
        return;
    }
    if (d >= 0.0f)
    {
        // Parallel: no turn.
        *out = bzQuat{0.0f, 0.0f, 0.0f, 1.0f};
        return;
    }
    // Opposite: a half turn about the y axis, made perpendicular to the vectors (x when they
    // lie along y, where y itself would leave them unchanged).
    bzV3 f = *from, axis;
    bz_V3_Normalise(&f);
    bz_V3_Reject(&f, &axis, bz_V3_UnitY());
    if (bz_V3_LengthSq(&axis) < 0.01f)
        bz_V3_Reject(&f, &axis, bz_V3_UnitX());
    bz_V3_Normalise(&axis);
    *out = bzQuat{axis.x, axis.y, axis.z, 0.0f};
}

void bz_Quat_ToM34(const bzQuat *q, int32_t clearFlag, bzM34 *out)
{
    bz_Quat_ToM33(q, out);
    if (clearFlag)
        bz_V3_Set(&out->row[3], 0.0f, 0.0f, 0.0f);
}

void bz_Quat_MulInto(bzQuat *q, const bzQuat *p)
{
    bz_ReportError("Quaternions", "bz_Quat_MulInto is obsolete");
    bz_MulQuatInto(q, q, p);
}

void bz_Quat_Multiply(const bzQuat *a, const bzQuat *b, bzQuat *out)
{
    bz_ReportError("Quaternions", "bz_Quat_Multiply is obsolete");
    bz_MulQuatInto(b, out, a);
}

void bz_Quat_Nlerp(const bzQuat *a, const bzQuat *b, bzQuat *out, float t)
{
    const float dot = a->x * b->x + a->y * b->y + a->z * b->z + a->w * b->w;
    const float wb = dot < 0.0f ? -t : t;
    const float wa = 1.0f - t;
    bzQuat r;
    for (int i = 0; i < 4; i++)
        r.v[i] = wa * a->v[i] + wb * b->v[i];
    bz_Quat_NormaliseInto(&r, out);
}

void bz_Quat_Slerp(const bzQuat *to, const bzQuat *from, bzQuat *out, float t, int16_t spins)
{
    const bzQuat f = *from;
    bzQuat q = *to;
    float d = f.x * q.x + f.y * q.y + f.z * q.z + f.w * q.w;
    if (d < 0.0f)
    {
        for (float &c : q.v)
            c = -c;
        d = -d;
    }
    float wf, wt;
    if (1.0f - d <= 1e-5f)
    {
        wf = 1.0f - d * t;
        wt = t;
    }
    else
    {
        const float theta = bz_ACos(d) * BZ_RAD_TO_DEG;
        const float phi = theta + 180.0f * static_cast<float>(spins);
        const float s = std::sin(theta * BZ_DEG_TO_RAD);
        wf = std::sin((theta - phi * t) * BZ_DEG_TO_RAD) / s;
        wt = std::sin(phi * t * BZ_DEG_TO_RAD) / s;
    }
    out->x = wf * f.x + wt * q.x;
    out->y = wf * f.y + wt * q.y;
    out->z = wf * f.z + wt * q.z;
    out->w = wf * f.w + wt * q.w;
}

void bz_Quat_SlerpFromIdentity(const bzQuat *q, bzQuat *out, float t, int16_t spins)
{
    bzQuat p = *q;
    if (p.w < 0.0f)
        for (float &c : p.v)
            c = -c;
    float wi, wq;
    if (1.0f - p.w <= BZ_EPSILON)
    {
        wi = 1.0f - t;
        wq = t;
    }
    else
    {
        const float theta = bz_ACos(p.w) * BZ_RAD_TO_DEG;
        const float phi = theta + 180.0f * static_cast<float>(spins);
        const float s = std::sin(theta * BZ_DEG_TO_RAD);
        wi = std::sin((theta - phi * t) * BZ_DEG_TO_RAD) / s;
        wq = std::sin(phi * t * BZ_DEG_TO_RAD) / s;
    }
    out->x = wq * p.x;
    out->y = wq * p.y;
    out->z = wq * p.z;
    out->w = wq * p.w + wi;
}

void bz_Quat_SlerpRelative(const bzQuat *to, const bzQuat *from, bzQuat *out, const bzQuat *other,
                           float t1, float t2)
{
    bzQuat a, conj, d, e;
    bz_Quat_Slerp(to, from, &a, t1, 0);
    bz_Quat_ConjugateInto(from, &conj);
    bz_Quat_Multiply(&conj, &a, &d);
    bz_Quat_Multiply(other, &d, &e);
    bz_Quat_Slerp(&e, &a, out, t2, 0);
}

void bz_Quat_Copy8(const float *src, float *dst)
{
    float block[8];
    for (int i = 0; i < 8; i++)
        block[i] = src[i];
    for (int i = 0; i < 8; i++)
        dst[i] = block[i];
}

void bz_QuatPos_FromM34(bzQuatPos *out, const bzM34 *m)
{
    const bzV3 t = m->row[3];
    bz_Quat_FromM33(m, &out->q);
    out->pos = t;
}

void bz_QuatPos_ToM34(const bzQuatPos *pose, bzM34 *out)
{
    const bzV3 t = pose->pos;
    bz_Quat_ToM33(&pose->q, out);
    out->row[3] = t;
}

void bz_QuatPos_Invert(bzQuatPos *out, const bzQuatPos *pose)
{
    const bzQuatPos p = *pose;
    bz_Quat_ConjugateInto(&p.q, &out->q);
    bz_Quat_RotateV3Into(&out->q, &out->pos, &p.pos);
    bz_V3_Negate(&out->pos);
}

void bz_QuatPos_Mul(const bzQuatPos *a, const bzQuatPos *b, bzQuatPos *out)
{
    const bzQuatPos pa = *a, pb = *b;
    bz_MulQuatInto(&pa.q, &out->q, &pb.q);
    bz_Quat_RotateV3Into(&pa.q, &out->pos, &pb.pos);
    bz_V3_Add(&out->pos, &pa.pos);
}
