// Heap blocks of the memory manager: allocation with the block header and the optional
// arguments, release with the block's children, reallocation, and the loading tick that every
// heap allocation gives the loading-progress callback.
#include "core/Memory.h"

#include "core/Clock.h"
#include "core/Error.h"
#include "core/MemoryInternal.h"

bzLoadingCallback bzgLoadingCallback;

using namespace bzMem;

namespace
{
bool gLoadingBusy;
float gLastLoadingTick;
} // namespace

// --- loading tick --------------------------------------------------------------------------

void bz_SetLoadingCallback(bzLoadingCallback fn)
{
    bzgLoadingCallback = fn;
}

void bz_LoadingTick()
{
    if (!bzgLoadingCallback || gLoadingBusy)
        return;
    if (bz_GetElapsedSeconds() - gLastLoadingTick > 0.2f)
    {
        gLoadingBusy = true;
        bzgLoadingCallback(bz_GetElapsedSeconds());
        gLastLoadingTick = bz_GetElapsedSeconds();
        gLoadingBusy = false;
    }
}

// --- heap blocks ---------------------------------------------------------------------------

namespace
{
// Gives the loading callback its turn, when one is set.
inline void LoadingTick()
{
    if (bzgLoadingCallback) [[unlikely]]
        bz_LoadingTick();
}

// The failed raw allocation of a block: status 80, the loading tick and no block.
[[gnu::noinline]] void *RawFailed()
{
    bzgMemStatus = BZ_MEM_RAW_FAILED;
    LoadingTick();
    return nullptr;
}

// Takes a block with its header and counts it. With args, the optional arguments the flags
// name are read from it and applied; without, the flags name none.
[[gnu::always_inline]] inline void *NewBlock(uint32_t flags, uint32_t size, va_list *args)
{
    bzgLastError = BZ_ERROR_NO_MEMORY;
    if (size == 0)
        return nullptr;
    bzgMemStatus = BZ_MEM_OK;
    uint32_t a = BlockAlignment(flags);
    if (!a)
    {
        bzgMemStatus = BZ_MEM_BAD_ALIGNMENT;
        return nullptr;
    }
    if (size > BZ_MEM_MAX_BLOCK)
    {
        bzgMemStatus = BZ_MEM_RAW_FAILED;
        LoadingTick();
        return nullptr;
    }
    // Rounding needs a - 1 spare bytes unless the raw allocator already aligns that much.
    size_t rawSize = static_cast<size_t>(size) + a + kHeaderSize - 1;
    bool exact = false;
    if (a <= gRawAlign && kHeaderSize % a == 0) [[unlikely]]
    {
        exact = true;
        rawSize = static_cast<size_t>(size) + kHeaderSize;
    }

    void *raw = AllocRaw((flags & BZ_MEM_RETRY) ? 1 : 0, rawSize);
    if (!raw && (flags & BZ_MEM_RETRY))
        raw = AllocRaw(0, rawSize);
    if (!raw)
    {
        bzgMemStatus = BZ_MEM_RAW_FAILED;
        LoadingTick();
        return nullptr;
    }
    if (flags & BZ_MEM_CLEAR)
        MemFill(raw, 0, rawSize);

    if (flags & BZ_MEM_LABEL)
        (void)va_arg(*args, const char *);
    if (flags & BZ_MEM_EXTRA)
        (void)va_arg(*args, unsigned int);

    uintptr_t r = reinterpret_cast<uintptr_t>(raw);
    uintptr_t b = exact ? r + kHeaderSize : RoundDown(r + a + kHeaderSize - 1, a);
    void *block = reinterpret_cast<void *>(b);
    CountBlock(size + kHeaderSize);

    BlockHeader *h = HeaderOf(block);
    uint32_t pad = static_cast<uint32_t>((b - r - kHeaderSize) / 4);
    WriteHeader(h, size, pad);

    if (flags & BZ_MEM_PARENT)
    {
        void *parent = va_arg(*args, void *);
        if (parent)
            bzgMemStatus = AddChild(parent, 0, block);
    }
    if (flags & BZ_MEM_SOURCE)
    {
        const void *src = va_arg(*args, const void *);
        if (src)
            MemCopy(size, block, src);
    }
    LoadingTick();
    return block;
}
} // namespace

namespace bzMem
{
void *AllocPlain(uint32_t size, uint32_t flags)
{
    return NewBlock(flags, size, nullptr);
}

void *AllocNoFlags(uint32_t size)
{
    // NewBlock without flags, with everything that is not the usual block out of line.
    bzgLastError = BZ_ERROR_NO_MEMORY;
    const uint32_t a = BlockAlignment(0);
    if (size - 1 >= BZ_MEM_MAX_BLOCK || a <= gRawAlign) [[unlikely]]
        return AllocPlain(size, 0);
    bzgMemStatus = BZ_MEM_OK;
    void *raw = AllocRaw(0, static_cast<size_t>(size) + a + kHeaderSize - 1);
    if (!raw) [[unlikely]]
        return RawFailed();
    const uintptr_t r = reinterpret_cast<uintptr_t>(raw);
    const uintptr_t b = RoundDown(r + a + kHeaderSize - 1, a);
    CountBlock(size + kHeaderSize);
    WriteHeader(HeaderOf(reinterpret_cast<void *>(b)), size,
                static_cast<uint32_t>((b - r - kHeaderSize) / 4));
    LoadingTick();
    return reinterpret_cast<void *>(b);
}

void *AllocArgs(uint32_t size, uint32_t flags, ...)
{
    va_list ap;
    va_start(ap, flags);
    void *block = NewBlock(flags, size, &ap);
    va_end(ap);
    return block;
}
} // namespace bzMem

void *bz_MemAllocV(uint32_t flags, uint32_t size, va_list args)
{
    va_list ap;
    va_copy(ap, args);
    void *block = NewBlock(flags, size, &ap);
    va_end(ap);
    return block;
}

namespace
{
// Counts a block out, checks the heap limit and releases the raw block. The usual block sits
// right after its header: testing for that, rather than computing the start from the padding,
// lets the release go ahead before the header word is read back.
[[gnu::always_inline]] inline void Release(void *block, const BlockHeader *h)
{
    const uint64_t sizePad = h->sizePad;
    gBlockCount -= 1;
    gBytesInUse -= static_cast<uint32_t>(sizePad >> 5) + kHeaderSize;
    if (gHeapLimit && gBytesInUse > gHeapLimit) [[unlikely]]
    {
        HeapLimitExceeded();
        bzgMemStatus = BZ_MEM_OK;
    }
    uint8_t *raw = static_cast<uint8_t *>(block) - kHeaderSize;
    if (sizePad & 31) [[unlikely]]
        return FreeRaw(raw - 4 * (sizePad & 31));
    FreeRaw(raw);
}

// Frees a block that has a parent or children: it leaves its parent's list and its children
// are freed before it.
[[gnu::noinline]] void FreeInFamily(void *block, BlockHeader *h)
{
    if (h->parent)
        LeaveParent(h, block);
    if (h->children)
        FreeAllChildren(h);
    bzgMemStatus = BZ_MEM_OK;
    Release(block, h);
}
} // namespace

void bz_MemFree(void *block)
{
    bzgLastError = BZ_ERROR_NO_MEMORY;
    bzgMemStatus = BZ_MEM_OK;
    if (!block)
        return;
    BlockHeader *h = HeaderOf(block);
    if (h->parent || h->children) [[unlikely]]
        return FreeInFamily(block, h);
    Release(block, h);
}

void *bz_MemRealloc(void *old, uint32_t newSize, uint32_t flags, ...)
{
    va_list ap;
    va_start(ap, flags);
    void *block = NewBlock(flags, newSize, &ap);
    va_end(ap);
    if (!old)
        return block;
    if (!block)
        return nullptr; // the old block and its data stay with the caller
    int32_t status = bzgMemStatus;
    MemCopy(std::min(newSize, bz_MemSize(old)), block, old);
    bz_MemFree(old);
    bzgMemStatus = status;
    return block;
}

uint32_t bz_MemSize(const void *block)
{
    if (!block)
        return 0;
    return BlockSize(HeaderOf(block));
}
