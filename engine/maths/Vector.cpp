// Vectors and 3x4 transforms: the out-of-line operations and the constant vectors.
#include "maths/Vector.h"

#include "core/Memory.h"
#include "maths/Matrix.h"

namespace
{
bzV3 gZero, gUnitX, gUnitY, gUnitZ;
const bzV2 kV2UnitX = {1.0f, 0.0f};
const bzV2 kV2UnitY = {0.0f, 1.0f};
const bzV2 kV2Half = {0.5f, 0.5f};
const bzV2 kV2Zero = {0.0f, 0.0f};
} // namespace

bzV3 *bz_V3_Zero()
{
    bz_V3_Set(&gZero, 0.0f, 0.0f, 0.0f);
    return &gZero;
}

bzV3 *bz_V3_UnitX()
{
    bz_V3_Set(&gUnitX, 1.0f, 0.0f, 0.0f);
    return &gUnitX;
}

bzV3 *bz_V3_UnitY()
{
    bz_V3_Set(&gUnitY, 0.0f, 1.0f, 0.0f);
    return &gUnitY;
}

bzV3 *bz_V3_UnitZ()
{
    bz_V3_Set(&gUnitZ, 0.0f, 0.0f, 1.0f);
    return &gUnitZ;
}

const bzV2 *bz_V2_UnitX()
{
    return &kV2UnitX;
}

const bzV2 *bz_V2_UnitY()
{
    return &kV2UnitY;
}

const bzV2 *bz_V2_Half()
{
    return &kV2Half;
}

const bzV2 *bz_V2_Zero()
{
    return &kV2Zero;
}

void bz_V3_CopyBytes(const bzV3 *a, bzV3 *out)
{
    MemCopy(sizeof(bzV3), out, a);
}

int32_t bz_V3_SameBytes(const bzV3 *a, const bzV3 *b)
{
    return bz_MemCompare(a, b, sizeof(bzV3)) == 0;
}

void bz_V3_RotateAboutAxis(bzV3 *v, const bzV3 *axis, float deg)
{
    bzM33 r;
    bz_M33_FromAxisAngle(&r, axis, deg);
    bz_V3_RotateInPlace(v, &r);
}

void bz_M34_TransformPointByInverse(const bzM34 *m, bzV3 *p)
{
    bzM34 inv;
    bz_InverseM34Into(m, &inv);
    bz_M34_TransformPoint(&inv, p);
}

void bz_M34_InverseTransformPointGeneral(const bzM34 *m, const bzV3 *p, bzV3 *out)
{
    bzM34 inv;
    bz_InverseM34Into(m, &inv);
    bz_M34_TransformPointInto(&inv, out, p);
}

void bz_Triangle_Normal(const bzV3 *corners, bzV3 *out)
{
    bzV3 e1, e2;
    bz_V3_SubInto(&corners[1], &corners[0], &e1);
    bz_V3_SubInto(&corners[2], &corners[0], &e2);
    bz_V3_CrossInto(&e1, &e2, out);
    bz_V3_Normalise(out);
}

float bz_Triangle_Area(const bzV3 *p0, const bzV3 *p1, const bzV3 *p2)
{
    bzV3 e1, e2, c;
    bz_V3_SubInto(p1, p0, &e1);
    bz_V3_SubInto(p2, p0, &e2);
    bz_V3_CrossInto(&e1, &e2, &c);
    return 0.5f * bz_V3_Length(&c);
}

void bz_Triangle_Centroid(const bzV3 *p0, const bzV3 *p1, const bzV3 *p2, bzV3 *out)
{
    for (int i = 0; i < 3; i++)
        out->v[i] = (p0->v[i] + p1->v[i] + p2->v[i]) * 0.3333f;
}

void bz_Triangle2D_Centroid(const bzV2 *p0, const bzV2 *p1, const bzV2 *p2, bzV2 *out)
{
    const float x = (p0->x + p1->x + p2->x) * 0.3333f;
    const float y = (p0->y + p1->y + p2->y) * 0.3333f;
    out->x = x;
    out->y = y;
}

float bz_Triangle2D_SignedArea(const bzV2 *a, const bzV2 *b, const bzV2 *c)
{
    return 0.5f * (c->x * (a->y - b->y) + a->x * (b->y - c->y) + b->x * (c->y - a->y));
}

float bz_Triangle2D_Perimeter(const bzV2 *a, const bzV2 *b, const bzV2 *c)
{
    return bz_V2_Distance(b, c) + bz_V2_Distance(c, a) + bz_V2_Distance(a, b);
}

int32_t bz_Triangle2D_Barycentric(const bzV2 *a, const bzV2 *b, const bzV2 *c, const bzV2 *p,
                                  float *u, float *v)
{
    const float e1x = b->x - a->x, e1y = b->y - a->y;
    const float e2x = c->x - a->x, e2y = c->y - a->y;
    const float wx = p->x - a->x, wy = p->y - a->y;
    const float det = e1x * e2y - e2x * e1y;
    if (std::fabs(det) < BZ_EPSILON)
        return 1;
    const float inv = 1.0f / det;
    *u = (wx * e2y - e2x * wy) * inv;
    *v = (e1x * wy - wx * e1y) * inv;
    return 0;
}

int32_t bz_Triangle2D_Interpolate(const bzV2 *a, const bzV2 *b, const bzV2 *c, const bzV2 *p,
                                  const float *values, float *out0, float *out1)
{
    float u, v;
    if (bz_Triangle2D_Barycentric(a, b, c, p, &u, &v))
        return 1;
    bz_Triangle2D_Weights(u, v, values[0], values[1], values[2], values[3], values[4], values[5],
                          out0, out1);
    return 0;
}

void bz_Triangle2D_Weights(float u, float v, float a0, float a1, float b0, float b1, float c0,
                           float c1, float *out0, float *out1)
{
    const float w = 1.0f - u - v;
    *out0 = w * a0 + u * b0 + v * c0;
    *out1 = w * a1 + u * b1 + v * c1;
}

float bz_Triangle2D_DotSumLength(const bzV2 *a, const bzV2 *b, const bzV2 *c)
{
    const float x = a->x * b->x + b->x * c->x + a->x * c->x;
    const float y = a->y * b->y + b->y * c->y + a->y * c->y;
    return 0.5f * std::sqrt(x * x + y * y);
}
