// Fixed-point packing of floats, vectors and rotations.
#include "maths/Pack.h"

#include "maths/Quat.h"
#include "maths/Vector.h"

#include <cmath>

namespace
{
inline float Clamp(float v, float min, float max)
{
    if (v > max)
        return max;
    if (v < min)
        return min;
    return v;
}

// (v - min) N / (max - min) + 0.5, truncated; scaledFirst forms (v - min) N before dividing.
inline int32_t PackRange(float v, float min, float max, float n, bool scaledFirst)
{
    if (!(max > min))
        return 0;
    v = Clamp(v, min, max);
    const float x = scaledFirst ? (v - min) * n / (max - min) : (v - min) / (max - min) * n;
    return bz_FloatToInt(x + 0.5f);
}

inline float UnpackRange(uint32_t code, float min, float max, float reciprocal)
{
    return min + (max - min) * static_cast<float>(code) * reciprocal;
}

void NormalisedToRows(bzQuat *q, bzV3 *out)
{
    const float lenSq = q->x * q->x + q->y * q->y + q->z * q->z + q->w * q->w;
    if (!(lenSq > 0.0f) || !std::isfinite(lenSq))
        *q = bzQuat{0.0f, 0.0f, 0.0f, 1.0f};
    else
        bz_Quat_Normalise(q);
    bzRows::QuatToRows(q, out);
}
} // namespace

int32_t bz_Pack254(float v, float min, float max)
{
    return PackRange(v, min, max, 254.0f, true);
}

int32_t bz_Pack126(float v, float min, float max)
{
    return PackRange(v, min, max, 126.0f, true);
}

int32_t bz_Pack30(float v, float min, float max)
{
    return PackRange(v, min, max, 30.0f, true);
}

int32_t bz_Pack14(float v, float min, float max)
{
    return PackRange(v, min, max, 16382.0f, false);
}

int32_t bz_Pack21(float v, float min, float max)
{
    return PackRange(v, min, max, 2097150.0f, true);
}

float bz_Unpack254(uint8_t code, float min, float max)
{
    return UnpackRange(code, min, max, 0.003937008f);
}

float bz_Unpack126(uint8_t code, float min, float max)
{
    return UnpackRange(code, min, max, 0.007936508f);
}

float bz_Unpack30(uint8_t code, float min, float max)
{
    return UnpackRange(code, min, max, 0.033333335f);
}

float bz_Unpack14(uint32_t word, float min, float max)
{
    return UnpackRange(word & 0x3fffu, min, max, 6.1042607e-5f);
}

float bz_Unpack16(uint16_t code, float min, float max)
{
    return UnpackRange(code, min, max, 1.5259255e-5f);
}

float bz_Unpack21(uint32_t code, float min, float max)
{
    return UnpackRange(code, min, max, 4.7683761e-7f);
}

int32_t bz_PackFloatS32(float v, float range)
{
    v = Clamp(v, -range, range);
    // In single precision like every packer: from 2^23 up the added half rounds to even or is
    // lost.
    const float x = v / range * 2147483648.0f + 0.5f;
    // +range scales to 2^31, one past the largest code; it would wrap to -range.
    if (x >= 2147483648.0f)
        return 2147483647;
    if (!(x >= -2147483648.0f))
        return x == x ? INT32_MIN : 0;
    return static_cast<int32_t>(x);
}

float bz_UnpackFloatS32(int32_t code, float range)
{
    return static_cast<float>(code) * 4.656613e-10f * range;
}

void bz_PackV3_21(const bzV3 *v, uint64_t *out, float min, float max)
{
    const uint64_t mask = 0x1FFFFFu;
    const uint64_t x = static_cast<uint32_t>(bz_Pack21(v->x, min, max)) & mask;
    const uint64_t y = static_cast<uint32_t>(bz_Pack21(v->y, min, max)) & mask;
    const uint64_t z = static_cast<uint32_t>(bz_Pack21(v->z, min, max)) & mask;
    *out = x | y << 21 | z << 42;
}

void bz_UnpackV3_21(const uint64_t *word, bzV3 *out, float min, float max)
{
    const uint64_t w = *word;
    out->x = bz_Unpack21(static_cast<uint32_t>(w & 0x1FFFFFu), min, max);
    out->y = bz_Unpack21(static_cast<uint32_t>(w >> 21 & 0x1FFFFFu), min, max);
    out->z = bz_Unpack21(static_cast<uint32_t>(w >> 42), min, max);
}

void bz_PackV3_16(const bzV3 *v, uint16_t *out, float min, float max)
{
    for (int i = 0; i < 3; i++)
        out[i] = static_cast<uint16_t>(PackRange(v->v[i], min, max, 65534.0f, false));
}

void bzRows::PackRotation16(const bzV3 *m, uint16_t *out)
{
    bzQuat q;
    bzRows::QuatFromRows(m, &q);
    for (int i = 0; i < 4; i++)
    {
        const float c = Clamp(q.v[i], -1.0f, 1.0f);
        out[i] = static_cast<uint16_t>(bz_FloatToInt((c + 1.0f) * 0.5f * 65534.0f + 0.5f));
    }
}

void bzRows::UnpackQuat16(const uint16_t *in, bzV3 *out)
{
    bzQuat q;
    for (int i = 0; i < 4; i++)
        q.v[i] = static_cast<float>(in[i]) * 1.5259255e-5f * 2.0f - 1.0f;
    NormalisedToRows(&q, out);
}

void bzRows::PackRotation8(const bzV3 *m, uint8_t *out)
{
    bzQuat q;
    bzRows::QuatFromRows(m, &q);
    for (int i = 0; i < 4; i++)
    {
        const float c = Clamp(q.v[i], -1.0f, 1.0f);
        out[i] = static_cast<uint8_t>(bz_FloatToInt((c + 1.0f) * 127.0f + 0.5f));
    }
}

void bzRows::UnpackQuat8(const uint8_t *in, bzV3 *out)
{
    bzQuat q;
    for (int i = 0; i < 4; i++)
        q.v[i] = static_cast<float>(in[i]) * 0.007874016f - 1.0f;
    NormalisedToRows(&q, out);
}
