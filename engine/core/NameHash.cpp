#include "core/NameHash.h"

namespace
{
uint32_t Mix(uint32_t h, uint32_t word)
{
    h ^= word;
    return (h << 1) | (h >> 31);
}
} // namespace

uint32_t bz_HashString(const char *text)
{
    if (!text)
        return 0;
    const auto *p = reinterpret_cast<const uint8_t *>(text);
    uint32_t h = 0;
    while (p[0] != 0)
    {
        uint32_t word = p[0] & 0xDFu;
        const uint32_t b1 = p[1] & 0xDFu;
        word |= b1 << 8;
        if (b1 == 0)
            return Mix(h, word);
        const uint32_t b2 = p[2] & 0xDFu;
        word |= b2 << 16;
        if (b2 == 0)
            return Mix(h, word);
        const uint8_t b3 = p[3];
        word |= static_cast<uint32_t>(b3 & 0xDFu) << 24;
        h = Mix(h, word);
        if (b3 == 0)
            return h;
        p += 4;
    }
    return h;
}
