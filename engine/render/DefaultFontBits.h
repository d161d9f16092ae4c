// The glyph shapes of the built-in font "DefaultFont": a 1-bit bitmap of 256 x 64 pixels in
// which the characters 32 to 126 sit 8 pixels wide on a 9-pixel pitch, 28 to a row, in rows
// 15 pixels apart.
#pragma once

#include <cstdint>

constexpr int32_t BZ_DEFAULT_FONT_FIRST = 32;
constexpr int32_t BZ_DEFAULT_FONT_LAST = 126;
constexpr int32_t BZ_DEFAULT_FONT_PER_ROW = 28;
constexpr int32_t BZ_DEFAULT_FONT_PITCH = 9;
constexpr int32_t BZ_DEFAULT_FONT_GLYPH_WIDTH = 8;

// 1 when the pixel (x, y) of the bitmap is set; 0 outside it.
int32_t bz_DefaultFont_Pixel(int32_t x, int32_t y);
