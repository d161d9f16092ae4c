// Fixed-point packing of floats, vectors and rotations for the replay and the dynamics
// synchronisation.
//
// A range encoding maps v in [min, max] to a code in [0, N] with N = 2^bits - 2: v is clamped,
// then c = trunc((v - min) / (max - min) N + 0.5); it unpacks as min + (max - min) c (1/N).
// The packer and the unpacker agree bit for bit; the codes are stored little-endian. A NaN
// packs to an unspecified code, an empty range (max <= min) to 0. The unpackers do no range
// checks: a code above N (foreign data) maps beyond max.
#pragma once

#include "maths/Types.h"

#include <cstdint>

int32_t bz_Pack254(float v, float min, float max);
int32_t bz_Pack126(float v, float min, float max);
int32_t bz_Pack30(float v, float min, float max);
int32_t bz_Pack14(float v, float min, float max);
int32_t bz_Pack21(float v, float min, float max);
float bz_Unpack254(uint8_t code, float min, float max);
float bz_Unpack126(uint8_t code, float min, float max);
float bz_Unpack30(uint8_t code, float min, float max);
// Only the low 14 bits of the word are used.
float bz_Unpack14(uint32_t word, float min, float max);
float bz_Unpack16(uint16_t code, float min, float max);
float bz_Unpack21(uint32_t code, float min, float max);

// v clamped to [-range, range] as trunc(v / range 2^31 + 0.5) in single precision; +range
// gives 2^31 - 1 (2^31 would unpack as -range), -range gives -2^31.
int32_t bz_PackFloatS32(float v, float range);
// code / 2^31 range
float bz_UnpackFloatS32(int32_t code, float range);

// Three 21-bit codes over one range: x in bits 0-20, y in 21-41, z in 42-62, bit 63 clear.
void bz_PackV3_21(const bzV3 *v, uint64_t *out, float min, float max);
// Reads z as every bit from 42 up.
void bz_UnpackV3_21(const uint64_t *word, bzV3 *out, float min, float max);
// Three 16-bit codes x, y, z (N = 65534) over one range.
void bz_PackV3_16(const bzV3 *v, uint16_t *out, float min, float max);

// Cores of the rotation templates below.
namespace bzRows
{
void PackRotation16(const bzV3 *m, uint16_t *out);
void UnpackQuat16(const uint16_t *in, bzV3 *out);
void PackRotation8(const bzV3 *m, uint8_t *out);
void UnpackQuat8(const uint8_t *in, bzV3 *out);
} // namespace bzRows

// The quaternion (x, y, z, w) of the rotation rows as four 16-bit codes over [-1, 1].
template <bzRotationRows M> inline void bz_PackRotation16(const M *m, uint16_t *out)
{
    bzRows::PackRotation16(m->row, out);
}
// Four codes to a quaternion, normalised, then to the rotation rows (only those are written).
template <bzRotationRows M> inline void bz_UnpackQuat16(const uint16_t *in, M *out)
{
    bzRows::UnpackQuat16(in, out->row);
}
// The same with one byte a component.
template <bzRotationRows M> inline void bz_PackRotation8(const M *m, uint8_t *out)
{
    bzRows::PackRotation8(m->row, out);
}
template <bzRotationRows M> inline void bz_UnpackQuat8(const uint8_t *in, M *out)
{
    bzRows::UnpackQuat8(in, out->row);
}
