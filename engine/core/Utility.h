// Small numeric and text utilities.
#pragma once

#include <cstdint>

struct bzRect
{
    int32_t x;
    int32_t y;
    int32_t width;
    int32_t height;
};

// True when x <= px < x + width and y <= py < y + height.
int32_t bz_PointInRect(const bzRect *rect, int32_t px, int32_t py);
// Index 0-15 of the set bit of a one-bit mask (the lowest set bit of others); 0xFFFF for 0.
uint32_t bz_BitIndex(uint32_t mask);
// The nearest power of two (ties at 1.5 times go down), 2 at least, 0x80000000 at most.
uint32_t bz_NearestPowerOfTwo(uint32_t v);
// The smallest power of two at or above v, 2 at least, 0x80000000 at most.
uint32_t bz_NextPowerOfTwo(uint32_t v);
// True when (v - 1) AND v is not positive: powers of two, 0 and the negative numbers.
int32_t bz_IsPowerOfTwo(int32_t v);
// 32 characters "0"/"1", highest bit first, in a static buffer.
const char *bz_BinaryString(uint32_t v);
// The value with a comma between groups of three digits (1234567 gives 1,234,567); out needs
// 15 bytes. Returns out.
char *bz_FormatThousands(char *out, int32_t value);
// The value truncated toward zero and held inside the int32 range; NaN gives 0.
int32_t bz_SaturateToInt(double value);
int32_t bz_ToLower(int32_t c);
int32_t bz_ToUpper(int32_t c);
// The runtime's text-to-number conversions; a null text gives 0; out-of-range integers are held
// at the int32 limits.
double bz_StrToDouble(const char *text);
float bz_StrToFloat(const char *text);
int32_t bz_StrToInt(const char *text);
