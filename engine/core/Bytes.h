// Little-endian words in byte buffers: every file and wire format of the engine is read and
// written field by field through these, whatever the host's byte order.
#pragma once

#include <bit>
#include <cstdint>

inline uint16_t bz_GetU16LE(const uint8_t *p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

inline uint32_t bz_GetU32LE(const uint8_t *p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

inline float bz_GetF32LE(const uint8_t *p)
{
    return std::bit_cast<float>(bz_GetU32LE(p));
}

inline void bz_PutU16LE(uint8_t *p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

inline void bz_PutU32LE(uint8_t *p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

inline void bz_PutF32LE(uint8_t *p, float v)
{
    bz_PutU32LE(p, std::bit_cast<uint32_t>(v));
}
