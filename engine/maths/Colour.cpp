// Colour conversions and colour ramps.
#include "maths/Colour.h"

#include "maths/Vector.h"

namespace
{
constexpr float kByteToUnit = 0.003921569f;

inline float Clamp01(float v)
{
    // A NaN channel counts as 0.
    if (!(v > 0.0f))
        return 0.0f;
    return v > 1.0f ? 1.0f : v;
}

inline uint32_t UnitToByte(float v)
{
    return static_cast<uint32_t>(bz_FloatToInt(Clamp01(v) * 255.0f));
}

inline bzColour Pack(uint32_t a, uint32_t r, uint32_t g, uint32_t b)
{
    return (a & 0xFFu) << 24 | (r & 0xFFu) << 16 | (g & 0xFFu) << 8 | (b & 0xFFu);
}

inline uint32_t Channel(bzColour c, int shift)
{
    return c >> shift & 0xFFu;
}
} // namespace

void bz_Colour_ToFloats(bzColour c, float *out)
{
    out[0] = static_cast<float>(Channel(c, 16)) * kByteToUnit;
    out[1] = static_cast<float>(Channel(c, 8)) * kByteToUnit;
    out[2] = static_cast<float>(Channel(c, 0)) * kByteToUnit;
    out[3] = static_cast<float>(Channel(c, 24)) * kByteToUnit;
}

bzColour bz_Colour_FromFloats(const float *in)
{
    uint32_t v[4];
    for (int i = 0; i < 4; i++)
        v[i] = static_cast<uint32_t>(bz_FloatToInt(in[i] * 255.0f));
    return Pack(v[3], v[0], v[1], v[2]);
}

bzColour bz_Colour_ScalePercent(bzColour c, int32_t percent)
{
    uint32_t out[3];
    for (int i = 0; i < 3; i++)
    {
        int64_t v = static_cast<int64_t>(Channel(c, 16 - 8 * i)) * percent / 100;
        if (v < 0)
            v = 0;
        else if (v > 255)
            v = 255;
        out[i] = static_cast<uint32_t>(v);
    }
    return Pack(255, out[0], out[1], out[2]);
}

int32_t bz_Colour_Luminance(int32_t r, int32_t g, int32_t b)
{
    return bz_FloatToInt(static_cast<float>(0.299 * r + 0.587 * g + 0.114 * b));
}

bzColour bz_Colour_FromHSL(uint8_t hByte, uint8_t sByte, uint8_t lByte)
{
    const float h = hByte * kByteToUnit, s = sByte * kByteToUnit, l = lByte * kByteToUnit;
    const float m2 = l <= 0.5f ? l * (1.0f + s) : l + s - l * s;
    if (m2 <= 0.0f)
        return 0x00000000u;
    const float m1 = 2.0f * l - m2;
    const float x = 6.0f * h;
    const int32_t sector = bz_FloatToInt(x);
    const float f = x - static_cast<float>(sector);
    const float w = m2 * ((m2 - m1) / m2) * f;
    const float rising = m1 + w, falling = m2 - w;
    float r = 0.0f, g = 0.0f, b = 0.0f;
    switch (sector)
    {
    case 0: r = m2, g = rising, b = m1; break;
    case 1: r = falling, g = m2, b = m1; break;
    case 2: r = m1, g = m2, b = rising; break;
    case 3: r = m1, g = falling, b = m2; break;
    case 4: r = rising, g = m1, b = m2; break;
    case 5: r = m2, g = m1, b = falling; break;
    default: break; // h = 255 gives sector 6: black
    }
    return Pack(255, UnitToByte(r), UnitToByte(g), UnitToByte(b));
}

bzColour bz_Colour_FromHSLA(uint8_t h, uint8_t s, uint8_t l, uint8_t a)
{
    return (bz_Colour_FromHSL(h, s, l) & 0x00FFFFFFu) | static_cast<uint32_t>(a) << 24;
}

float bz_Colour_HueValue(float m1, float m2, float h)
{
    if (h > 360.0f)
        h -= 360.0f;
    else if (h < 0.0f)
        h += 360.0f;
    if (h < 60.0f)
        return m1 + (m2 - m1) * h * 0.016666668f;
    if (h < 180.0f)
        return m2;
    if (h < 240.0f)
        return m1 + (m2 - m1) * (240.0f - h) * 0.016666668f;
    return m1;
}

int32_t bz_Colour_HSLToFloats(float h, float s, float l, float *r, float *g, float *b)
{
    const float m2 = l <= 0.5f ? l * (1.0f + s) : l + s - l * s;
    const float m1 = 2.0f * l - m2;
    if (s == 0.0f)
    {
        *r = *g = *b = l;
        return 1;
    }
    *r = bz_Colour_HueValue(m1, m2, h + 120.0f);
    *g = bz_Colour_HueValue(m1, m2, h);
    *b = bz_Colour_HueValue(m1, m2, h - 120.0f);
    return 1;
}

bzColour bz_Colour_FromYUV(uint8_t y, uint8_t u, uint8_t v)
{
    const float yy = 1.164f * static_cast<float>(y - 16);
    const float uu = static_cast<float>(u - 128), vv = static_cast<float>(v - 128);
    const float rgb[3] = {yy + 1.596f * vv, yy - 0.813f * vv - 0.391f * uu, yy + 2.018f * uu};
    uint32_t c[3];
    for (int i = 0; i < 3; i++)
        c[i] = static_cast<uint32_t>(
            bz_FloatToInt(rgb[i] < 0.0f ? 0.0f : (rgb[i] > 255.0f ? 255.0f : rgb[i])));
    return Pack(255, c[0], c[1], c[2]);
}

bzColour bz_Colour_FromYUVA(uint8_t y, uint8_t u, uint8_t v, uint8_t a)
{
    return (bz_Colour_FromYUV(y, u, v) & 0x00FFFFFFu) | static_cast<uint32_t>(a) << 24;
}

bzColour bz_ColourRamp_Sample(const bzColourRamp *ramp, float p)
{
    const int32_t n = ramp->count;
    if (n < 1)
        return 0;
    // A NaN position counts as the start.
    if (!(p == p))
        p = 0.0f;
    int32_t i = bz_FloatToInt(static_cast<float>(n) * p * 0.01f);
    if (i > n - 1 || i == INT32_MIN)
        i = p > 0.0f ? n - 1 : 0;
    if (i < 0)
        i = 0;
    const int32_t j = i + 1 > n - 1 ? n - 1 : i + 1;
    const int32_t step = 100 / n;
    // More than 100 entries leave no percent between them: the entry itself. Beyond the last
    // entry (and before the first) the colour stays that entry's.
    float f = step > 0 ? (p - static_cast<float>(step * i)) / static_cast<float>(step) : 0.0f;
    if (!(f > 0.0f))
        f = 0.0f;
    else if (f > 1.0f)
        f = 1.0f;
    const bzColour ci = ramp->entries[i], cj = ramp->entries[j];
    uint32_t out[4];
    for (int k = 0; k < 4; k++)
    {
        const int shift = 24 - 8 * k;
        const float v = static_cast<float>(Channel(ci, shift)) * (1.0f - f) / 255.0f +
                        static_cast<float>(Channel(cj, shift)) * f / 255.0f;
        out[k] = UnitToByte(v);
    }
    return Pack(out[0], out[1], out[2], out[3]);
}
