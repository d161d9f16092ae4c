// The real roots in [0, 1] of cubics and quartics in the step fraction t, ascending, without a
// closed formula: the roots of the derivative split [0, 1] into monotonic pieces, and each piece
// whose ends differ in sign holds one root, which a safeguarded Newton iteration refines.
//
// The swept tests of the collision code take the smallest such root as the time two moving
// features first touch. A polynomial is given by its coefficients from the highest power down
// and evaluated by Horner's scheme. A root that only touches 0 without a sign change is found
// only when it falls exactly on a breakpoint (0, 1 or a root of the derivative). Single
// precision throughout; nothing allocates.
#pragma once

#include <cstdint>

// a t^4 + b t^3 + c t^2 + d t + e: the number of roots written to out (room for 4), ascending.
int32_t bz_QuarticRootsInUnit(float a, float b, float c, float d, float e, float *out);
// a t^3 + b t^2 + c t + d: the number of roots written to out (room for 3), ascending.
int32_t bz_CubicRootsInUnit(float a, float b, float c, float d, float *out);

// The root inside the bracket [lo, hi], whose ends have the values flo and fhi of opposite
// signs. The result stays inside the bracket.
float bz_RefineQuarticRoot(float a, float b, float c, float d, float e, float lo, float hi,
                           float flo, float fhi);
float bz_RefineCubicRoot(float a, float b, float c, float d, float lo, float hi, float flo,
                         float fhi);
