#include "core/Utility.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

namespace
{
char gBinary[33];
} // namespace

int32_t bz_PointInRect(const bzRect *rect, int32_t px, int32_t py)
{
    if (!rect)
        return 0;
    int64_t right = static_cast<int64_t>(rect->x) + rect->width;
    int64_t bottom = static_cast<int64_t>(rect->y) + rect->height;
    return px >= rect->x && px < right && py >= rect->y && py < bottom ? 1 : 0;
}

uint32_t bz_BitIndex(uint32_t mask)
{
    mask &= 0xFFFF;
    for (uint32_t i = 0; i < 16; ++i)
        if (mask & (1u << i))
            return i;
    return 0xFFFF;
}

uint32_t bz_NearestPowerOfTwo(uint32_t v)
{
    for (uint32_t k = 1; k < 32; ++k)
        if (v <= 3u << (k - 1))
            return 1u << k;
    return 0x80000000u;
}

uint32_t bz_NextPowerOfTwo(uint32_t v)
{
    for (uint32_t k = 1; k < 32; ++k)
        if (v <= 1u << k)
            return 1u << k;
    return 0x80000000u;
}

int32_t bz_IsPowerOfTwo(int32_t v)
{
    uint32_t u = static_cast<uint32_t>(v);
    return static_cast<int32_t>((u - 1) & u) <= 0 ? 1 : 0;
}

const char *bz_BinaryString(uint32_t v)
{
    for (int i = 0; i < 32; ++i)
        gBinary[i] = (v & (0x80000000u >> i)) ? '1' : '0';
    gBinary[32] = '\0';
    return gBinary;
}

char *bz_FormatThousands(char *out, int32_t value)
{
    char digits[16];
    int length = std::snprintf(digits, sizeof digits, "%i", value);
    int o = 0;
    for (int i = 0; i < length; ++i)
    {
        out[o++] = digits[i];
        int remaining = length - 1 - i;
        if (length >= 4 && remaining > 0 && remaining % 3 == 0 && digits[i] >= '0' &&
            digits[i] <= '9')
            out[o++] = ',';
    }
    out[o] = '\0';
    return out;
}

int32_t bz_ToLower(int32_t c)
{
    return (c >= 0 && c <= UCHAR_MAX) || c == EOF ? std::tolower(c) : c;
}

int32_t bz_ToUpper(int32_t c)
{
    return (c >= 0 && c <= UCHAR_MAX) || c == EOF ? std::toupper(c) : c;
}

double bz_StrToDouble(const char *text)
{
    return text ? std::strtod(text, nullptr) : 0.0;
}

float bz_StrToFloat(const char *text)
{
    return text ? std::strtof(text, nullptr) : 0.0f;
}

int32_t bz_StrToInt(const char *text)
{
    if (!text)
        return 0;
    long long value = std::strtoll(text, nullptr, 10);
    if (value > INT32_MAX)
        return INT32_MAX;
    if (value < INT32_MIN)
        return INT32_MIN;
    return static_cast<int32_t>(value);
}

int32_t bz_SaturateToInt(double value)
{
    if (!(value == value))
        return 0;
    if (value >= 2147483647.0)
        return INT32_MAX;
    if (value <= -2147483648.0)
        return INT32_MIN;
    return static_cast<int32_t>(value);
}
