// CRC-32 by tables, several bytes per step.
//
// The state c (the running value inverted) takes one byte b as c = (c >> 8) ^ T[(c ^ b) & 0xFF].
// Eight bytes at once: table k gives the effect of a byte followed by k zero bytes, so the
// eight lookups of the state-mixed word, XORed together, give the state after those eight
// bytes. One such chain waits on each lookup in turn; to keep the processor busy, a large
// buffer is cut into blocks of kLanes runs of kLaneBytes bytes, each run summed by its own
// chain (the first from the running state, the others from 0), and the runs are joined after:
// the state is linear in the bytes, so the state after run A then run B is the state after A
// pushed through kLaneBytes zero bytes (the shift tables), XORed with B's own state.
#include "core/Crc32.h"

#include <cstddef>
#include <cstring>

namespace
{
constexpr uint32_t kPolynomial = 0xEDB88320u;
constexpr size_t kLanes = 3;
constexpr size_t kLaneBytes = 512; // a multiple of 8
constexpr size_t kBlockBytes = kLanes * kLaneBytes;

struct SliceTables
{
    // entry[k][b]: the state change of byte b followed by k zero bytes.
    uint32_t entry[8][256];
    constexpr SliceTables() : entry()
    {
        for (uint32_t b = 0; b < 256; ++b)
        {
            uint32_t c = b;
            for (int bit = 0; bit < 8; ++bit)
                c = (c & 1) ? (c >> 1) ^ kPolynomial : c >> 1;
            entry[0][b] = c;
        }
        for (int k = 1; k < 8; ++k)
            for (uint32_t b = 0; b < 256; ++b)
                entry[k][b] = (entry[k - 1][b] >> 8) ^ entry[0][entry[k - 1][b] & 0xFF];
    }
};
constexpr SliceTables kSlice;

struct ShiftTables
{
    // entry[k][b]: the state holding b in its byte k, pushed through kLaneBytes zero bytes.
    uint32_t entry[4][256];
    constexpr ShiftTables() : entry()
    {
        // The 32 single-bit states first; every other state is the XOR of its bits' images.
        uint32_t bitImage[32] = {};
        for (int bit = 0; bit < 32; ++bit)
        {
            uint32_t c = 1u << bit;
            for (size_t n = 0; n < kLaneBytes; ++n)
                c = (c >> 8) ^ kSlice.entry[0][c & 0xFF];
            bitImage[bit] = c;
        }
        for (int k = 0; k < 4; ++k)
            for (uint32_t b = 0; b < 256; ++b)
            {
                uint32_t c = 0;
                for (int bit = 0; bit < 8; ++bit)
                    if (b & (1u << bit))
                        c ^= bitImage[8 * k + bit];
                entry[k][b] = c;
            }
    }
};
constexpr ShiftTables kShift;

inline uint32_t Load32(const unsigned char *p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// The state after the eight bytes at p.
inline uint32_t Step8(uint32_t c, const unsigned char *p)
{
    const uint32_t lo = c ^ Load32(p);
    const uint32_t hi = Load32(p + 4);
    return kSlice.entry[7][lo & 0xFF] ^ kSlice.entry[6][(lo >> 8) & 0xFF] ^
           kSlice.entry[5][(lo >> 16) & 0xFF] ^ kSlice.entry[4][lo >> 24] ^
           kSlice.entry[3][hi & 0xFF] ^ kSlice.entry[2][(hi >> 8) & 0xFF] ^
           kSlice.entry[1][(hi >> 16) & 0xFF] ^ kSlice.entry[0][hi >> 24];
}

// The state c pushed through kLaneBytes zero bytes.
inline uint32_t ShiftOverLane(uint32_t c)
{
    return kShift.entry[0][c & 0xFF] ^ kShift.entry[1][(c >> 8) & 0xFF] ^
           kShift.entry[2][(c >> 16) & 0xFF] ^ kShift.entry[3][c >> 24];
}
} // namespace

uint32_t bz_Crc32(uint32_t running, uint32_t length, const void *data)
{
    if (length == 0 || !data)
        return running;
    const unsigned char *p = static_cast<const unsigned char *>(data);
    size_t n = length;
    uint32_t c = ~running;
    while (n >= kBlockBytes)
    {
        uint32_t lane[kLanes] = {c};
        for (size_t offset = 0; offset < kLaneBytes; offset += 8)
            for (size_t k = 0; k < kLanes; ++k)
                lane[k] = Step8(lane[k], p + k * kLaneBytes + offset);
        c = lane[0];
        for (size_t k = 1; k < kLanes; ++k)
            c = ShiftOverLane(c) ^ lane[k];
        p += kBlockBytes;
        n -= kBlockBytes;
    }
    for (; n >= 8; n -= 8, p += 8)
        c = Step8(c, p);
    for (; n > 0; --n, ++p)
        c = (c >> 8) ^ kSlice.entry[0][(c ^ *p) & 0xFF];
    return ~c;
}

uint32_t bz_Crc32String(const char *text, uint32_t running)
{
    if (!text)
        return running;
    return bz_Crc32(running, static_cast<uint32_t>(std::strlen(text)), text);
}
