// Raw memory primitives of the PC: the entries of the engine's memory-primitive table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#endif

// Raw blocks of the PC. Every block carries a 16-byte tag in front of it that names its size
// class. Released blocks of up to 256 bytes are kept on one list per 16-byte class and handed
// out again from there, so the memory manager's usual blocks cost a list pop and push instead of
// a trip through the runtime heap; larger blocks, and blocks beyond the bytes kept (4 MB, tags
// included, over all classes), go back to the runtime heap. The engine runs its memory manager on
// one thread, and so do these lists.
namespace bzPcMem
{
constexpr size_t kTagBytes = 16;
constexpr size_t kGrain = 16;
constexpr uint32_t kClasses = 16;       // classes 1..16 hold 16..256 bytes; 0 is a large block
constexpr uint32_t kLive = 0x4556494cu; // the block is in use
constexpr uint32_t kKept = 0x5450454bu; // the block waits on its class's list

struct Tag
{
    uint32_t sizeClass;
    uint32_t state;
    Tag *next;
};
static_assert(sizeof(Tag) <= kTagBytes);

struct SmallLists
{
    Tag *head[kClasses + 1];
    size_t keptBytes;
    size_t keepBytes;
};
extern SmallLists gSmall;

void *AllocFresh(size_t size);
void Release(Tag *tag);

// A kept block may not be touched: the address sanitizer is told so.
inline void HideKept([[maybe_unused]] void *block, [[maybe_unused]] size_t bytes)
{
#if defined(__SANITIZE_ADDRESS__)
    ASAN_POISON_MEMORY_REGION(block, bytes);
#endif
}

inline void ShowKept([[maybe_unused]] void *block, [[maybe_unused]] size_t bytes)
{
#if defined(__SANITIZE_ADDRESS__)
    ASAN_UNPOISON_MEMORY_REGION(block, bytes);
#endif
}
} // namespace bzPcMem

// Allocation of size bytes, aligned to 16; the kind is ignored on the PC. Inline, so that the
// memory manager takes a kept block in place while its table holds these two.
inline void *PDMemAlloc(uint32_t, size_t size)
{
    using namespace bzPcMem;
    const size_t c = (size + kGrain - 1) / kGrain;
    if (c - 1 < kClasses) [[likely]]
    {
        Tag *t = gSmall.head[c];
        if (t) [[likely]]
        {
            gSmall.head[c] = t->next;
            gSmall.keptBytes -= kTagBytes + c * kGrain;
            t->state = kLive;
            void *block = reinterpret_cast<char *>(t) + kTagBytes;
            ShowKept(block, c * kGrain);
            return block;
        }
    }
    return AllocFresh(size);
}

// Releases a block of PDMemAlloc; null is ignored.
inline void PDMemFree(void *block)
{
    using namespace bzPcMem;
    if (!block)
        return;
    Tag *t = reinterpret_cast<Tag *>(static_cast<char *>(block) - kTagBytes);
    const uint32_t c = t->sizeClass;
    const size_t bytes = kTagBytes + size_t(c) * kGrain;
    if (c - 1 < kClasses && t->state == kLive && gSmall.keptBytes + bytes <= gSmall.keepBytes)
        [[likely]]
    {
        t->state = kKept;
        t->next = gSmall.head[c];
        gSmall.head[c] = t;
        gSmall.keptBytes += bytes;
        HideKept(block, c * kGrain);
        return;
    }
    Release(t);
}

// Sets how many bytes of released blocks, tags included, may be kept over all classes (0 keeps
// none); blocks kept beyond the new figure go back to the runtime heap, the largest classes
// first. Builds with the address sanitizer keep none unless told to, so that the sanitizer sees
// the history of every block.
void PDMemKeepSmallBytes(size_t bytes);

// The bytes of the blocks kept now, tags included.
size_t PDMemKeptBytes();

// Gives every kept block back to the runtime heap.
void PDMemReleaseKeptBlocks();

void *PDMemCopyWords(void *dest, const void *src, size_t length);
void *PDMemCopy(void *dest, const void *src, size_t length);
void *PDMemFill(void *dest, int value, size_t length);
void *PDMemMove(void *dest, const void *src, size_t length);
int PDMemCompare(const void *a, const void *b, size_t length);
