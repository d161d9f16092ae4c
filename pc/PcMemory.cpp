#include "pc/PcMemory.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace bzPcMem
{
#if defined(__SANITIZE_ADDRESS__)
constexpr size_t kDefaultKeep = 0;
#else
constexpr size_t kDefaultKeep = size_t(4) << 20;
#endif

SmallLists gSmall = {{}, 0, kDefaultKeep};

void *AllocFresh(size_t size)
{
    if (size > SIZE_MAX - kTagBytes - kGrain)
        return nullptr;
    const size_t c = (size + kGrain - 1) / kGrain;
    const bool small = c - 1 < kClasses;
    Tag *t = static_cast<Tag *>(std::malloc(kTagBytes + (small ? c * kGrain : size)));
    if (!t)
        return nullptr;
    t->sizeClass = small ? static_cast<uint32_t>(c) : 0;
    t->state = kLive;
    t->next = nullptr;
    return reinterpret_cast<char *>(t) + kTagBytes;
}

void Release(Tag *tag)
{
    if (tag->state != kLive)
    {
        std::fprintf(stderr, "PDMemFree: block %p released twice or not from PDMemAlloc\n",
                     static_cast<void *>(reinterpret_cast<char *>(tag) + kTagBytes));
        std::abort();
    }
    tag->state = 0;
    std::free(tag);
}

namespace
{
// Gives back kept blocks, the largest classes first, until at most keep bytes are kept.
void Trim(size_t keep)
{
    for (uint32_t c = kClasses; c >= 1 && gSmall.keptBytes > keep; --c)
    {
        while (gSmall.head[c] && gSmall.keptBytes > keep)
        {
            Tag *t = gSmall.head[c];
            gSmall.head[c] = t->next;
            gSmall.keptBytes -= kTagBytes + c * kGrain;
            ShowKept(reinterpret_cast<char *>(t) + kTagBytes, c * kGrain);
            std::free(t);
        }
    }
}
} // namespace
} // namespace bzPcMem

void PDMemKeepSmallBytes(size_t bytes)
{
    bzPcMem::gSmall.keepBytes = bytes;
    bzPcMem::Trim(bytes);
}

size_t PDMemKeptBytes()
{
    return bzPcMem::gSmall.keptBytes;
}

void PDMemReleaseKeptBlocks()
{
    bzPcMem::Trim(0);
}

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
