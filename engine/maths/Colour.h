// Colour conversions and colour ramps.
//
// bzColour is 0xAARRGGBB; float colours are red, green, blue, alpha in [0, 1]. Every
// conversion to bytes truncates toward zero.
#pragma once

#include "maths/Types.h"

#include <cstdint>

// (R/255, G/255, B/255, A/255) into out[0..3].
void bz_Colour_ToFloats(bzColour c, float *out);
// Each of in[0..3] (red, green, blue, alpha) as trunc(v 255); the floats are expected in [0, 1]
// (a value outside gives an unspecified byte but never touches the other channels).
bzColour bz_Colour_FromFloats(const float *in);
// Red, green and blue times percent / 100 (integer, truncating), clamped to 0..255; alpha 255.
bzColour bz_Colour_ScalePercent(bzColour c, int32_t percent);
// trunc(0.299 r + 0.587 g + 0.114 b) for channels 0..255.
int32_t bz_Colour_Luminance(int32_t r, int32_t g, int32_t b);
// From hue, saturation and lightness bytes (each / 255), alpha 255; black with alpha 0 when the
// lightness and saturation give nothing.
bzColour bz_Colour_FromHSL(uint8_t h, uint8_t s, uint8_t l);
bzColour bz_Colour_FromHSLA(uint8_t h, uint8_t s, uint8_t l, uint8_t a);
// Float red, green and blue from a hue in degrees (0..360) and saturation and lightness in
// [0, 1]. Always returns 1.
int32_t bz_Colour_HSLToFloats(float h, float s, float l, float *r, float *g, float *b);
// One channel of bz_Colour_HSLToFloats for a hue in degrees.
float bz_Colour_HueValue(float m1, float m2, float h);
// From video-range YUV bytes, alpha 255.
bzColour bz_Colour_FromYUV(uint8_t y, uint8_t u, uint8_t v);
bzColour bz_Colour_FromYUVA(uint8_t y, uint8_t u, uint8_t v, uint8_t a);
// The ramp's colour at p percent (0..100), blended between neighbouring entries.
bzColour bz_ColourRamp_Sample(const bzColourRamp *ramp, float p);
