// Small by-value vector helpers the pair tests and ray queries of this area share, so that
// their formulas read as written.
#pragma once

#include "maths/Types.h"

#include <cstdint>

namespace bzPairMaths
{
inline bzV3 V(float x, float y, float z)
{
    return bzV3{{{x, y, z}}};
}
inline bzV3 Add(const bzV3 &a, const bzV3 &b)
{
    return V(a.x + b.x, a.y + b.y, a.z + b.z);
}
inline bzV3 Sub(const bzV3 &a, const bzV3 &b)
{
    return V(a.x - b.x, a.y - b.y, a.z - b.z);
}
inline bzV3 Scale(const bzV3 &a, float s)
{
    return V(a.x * s, a.y * s, a.z * s);
}
// a + s b
inline bzV3 AddScaled(const bzV3 &a, const bzV3 &b, float s)
{
    return V(a.x + s * b.x, a.y + s * b.y, a.z + s * b.z);
}
inline float Dot(const bzV3 &a, const bzV3 &b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
inline bzV3 Cross(const bzV3 &a, const bzV3 &b)
{
    return V(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
}
inline float LengthSq(const bzV3 &a)
{
    return Dot(a, a);
}
// p M with the translation row.
inline bzV3 Point(const bzM34 *m, const bzV3 &p)
{
    bzV3 r;
    for (int32_t j = 0; j < 3; j++)
        r.v[j] =
            p.x * m->row[0].v[j] + p.y * m->row[1].v[j] + p.z * m->row[2].v[j] + m->row[3].v[j];
    return r;
}
// v by the rotation rows only.
inline bzV3 Direction(const bzM34 *m, const bzV3 &v)
{
    bzV3 r;
    for (int32_t j = 0; j < 3; j++)
        r.v[j] = v.x * m->row[0].v[j] + v.y * m->row[1].v[j] + v.z * m->row[2].v[j];
    return r;
}
} // namespace bzPairMaths
