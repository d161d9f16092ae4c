#include "pc/PcMemory.h"

#include <cstdlib>
#include <cstring>

void *PDMemCopyWords(void *dest, const void *src, size_t length)
{
    auto *d = static_cast<uint8_t *>(dest);
    auto *s = static_cast<const uint8_t *>(src);
    size_t words = length / 4;
    for (size_t i = 0; i < words; ++i)
    {
        uint32_t w;
        std::memcpy(&w, s + i * 4, 4);
        std::memcpy(d + i * 4, &w, 4);
    }
    for (size_t i = words * 4; i < length; ++i)
        d[i] = s[i];
    return dest;
}

void *PDMemCopy(void *dest, const void *src, size_t length)
{
    return std::memcpy(dest, src, length);
}

void *PDMemFill(void *dest, int value, size_t length)
{
    auto *d = static_cast<uint8_t *>(dest);
    uint32_t b = static_cast<uint8_t>(value);
    uint32_t word = b | (b << 8) | (b << 16) | (b << 24);
    size_t words = length / 4;
    for (size_t i = 0; i < words; ++i)
        std::memcpy(d + i * 4, &word, 4);
    for (size_t i = words * 4; i < length; ++i)
        d[i] = static_cast<uint8_t>(b);
    return dest;
}

void *PDMemMove(void *dest, const void *src, size_t length)
{
    return std::memmove(dest, src, length);
}

int PDMemCompare(const void *a, const void *b, size_t length)
{
    auto *pa = static_cast<const uint8_t *>(a);
    auto *pb = static_cast<const uint8_t *>(b);
    for (size_t i = 0; i < length; ++i)
    {
        if (pa[i] != pb[i])
            return pa[i] < pb[i] ? -1 : 1;
    }
    return 0;
}
