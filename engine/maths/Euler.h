// Euler angles with a selectable axis order, for any of the 24 conventions (three axes in any
// order, with or without a repeated first axis, about fixed or moving axes), in degrees.
//
// Order code bits: 0-1 the first axis (0 x, 1 y, 2 z; 3 is invalid), 2 odd parity (the axes run
// i, k, j and the angles change sign), 3 repeated axis (the third rotation is about the first
// axis again), 4 rotating frame (the first and third angles exchange places). Valid codes are
// 0 to 31 with a first axis below 3; an invalid code builds the identity and reads zero angles.
#pragma once

#include "maths/Types.h"

#include <cstdint>

struct bzEulerAngles
{
    float a0, a1, a2; // degrees
    uint32_t order;
};

// Bits of the order code.
enum : uint32_t
{
    BZ_EULER_AXIS_X = 0,
    BZ_EULER_AXIS_Y = 1,
    BZ_EULER_AXIS_Z = 2,
    BZ_EULER_PARITY_ODD = 4,
    BZ_EULER_REPEAT = 8,
    BZ_EULER_ROTATING = 16,
};

// Cores of the rotation-row templates below.
namespace bzRows
{
void MatrixFromEuler(bzV3 *out, const bzEulerAngles *angles);
void MatrixToEuler(const bzV3 *m, bzEulerAngles *angles);
} // namespace bzRows

// Writes the nine rotation elements of a bzM33 or a bzM34; returns out.
template <bzRotationRows M> inline M *bz_MatrixFromEulerAngles(M *out, const bzEulerAngles *angles)
{
    bzRows::MatrixFromEuler(out->row, angles);
    return out;
}
// Fills a0, a1 and a2 for the order code the caller has set, from the rotation rows of M.
template <bzRotationRows M> inline void bz_MatrixToEulerAngles(const M *m, bzEulerAngles *angles)
{
    bzRows::MatrixToEuler(m->row, angles);
}
