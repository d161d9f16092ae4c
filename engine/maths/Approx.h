// Float approximations, shaping curves and small solvers.
//
// The engine's own inverse trigonometric functions (power series with fixed branch points)
// decide every angle derived from vectors and matrices; they return radians, unlike the
// degree-based operations elsewhere in the maths library. Arguments and results are floats;
// intermediate results carry more precision.
#pragma once

#include <cstdint>

// Taylor series of arc sine up to x^15, meant for |x| <= 0.5.
float bz_ASinSeries(float x);
// Alternating Taylor series of arc tangent up to x^15, meant for |x| below about 0.59.
float bz_ATanSeries(float x);
// Arc sine in [-pi/2, pi/2] for x in [-1, 1]; inputs beyond are not clamped.
float bz_ASin(float x);
// Arc cosine in [0, pi] for x in [-1, 1]; inputs beyond are not clamped.
float bz_ACos(float x);
// Arc tangent in (-pi/2, pi/2).
float bz_ATan(float x);
// Angle of the point (x, y) in [-pi, pi]; +-pi/2 when x is negligible against y (0, 0 included).
float bz_ATan2(float y, float x);
// 2^x for x in [0, 1], never negative.
float bz_Exp2Approx(float x);

// Real roots of a t^2 + b t + c = 0. Returns 1 with first = (-b + sqrt D) / 2a and
// second = (-b - sqrt D) / 2a (for |a| < FLT_EPSILON both receive -c/b), 0 with nothing
// written when there is no real root or a and b are both negligible.
int32_t bz_SolveQuadratic(float *first, float *second, float a, float b, float c);
// a x + b y = c, d x + e y = f. Returns 1 with the solution written to the outputs given (either
// may be null), 0 with nothing written when |a e - b d| < FLT_EPSILON.
int32_t bz_Solve2x2(float *x, float *y, float a, float b, float c, float d, float e, float f);

// 0 below edge0, 1 from edge1 on, t^2 (3 - 2t) between.
float bz_SmoothStep(float edge0, float edge1, float x);
// t^(-log2 b): passes through b at t = 0.5.
float bz_Bias(float b, float t);
float bz_Gain(float g, float t);
// t^(1/gamma)
float bz_Gamma(float gamma, float t);
// S-shaped curve from 0 at 0 to 1 at 1 made of two sine arcs.
float bz_SineEase(float x);
// a - trunc(a/b) b, plus b when negative: in [0, b) for b > 0.
float bz_FloatMod(float a, float b);
// Uniform Catmull-Rom value of the knots k[0..3] at t in [0, 1] (from k[1] to k[2]).
float bz_CatmullRom4(const float *k, float t);
// Uniform Catmull-Rom spline through count knots at t in [0, 1]; 0 when count < 4.
float bz_CatmullRomSpline(const float *k, int32_t count, float t);
// Kept for callers that select single precision; floats are single precision here already.
void bz_SetSinglePrecision();
