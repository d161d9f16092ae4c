// Private to the memory manager: the block header, the child node and pool records, and the
// state its files share (Memory, Heap, ChildList, Pool, TempStack, MemBuffer, MemPrimitives).
// Nothing outside those files includes it; everyone else uses core/Memory.h.
#pragma once

#include "core/Memory.h"
#include "pc/PcMemory.h"

#include <algorithm>
#include <cstring>

namespace bzMem
{
// The header in front of every heap and temporary-stack block. The size word holds the size
// asked for in bits 5-31 and, in bits 0-4, the padding in 4-byte words between the raw
// allocation and the header. The parent lets a child leave its parent's list when it is freed
// on its own, so that no block is ever released twice.
struct ChildNode;
struct BlockHeader
{
    void *parent;
    // Size and padding in the low 32 bits, 0 above. The word is written in one store: the C
    // library's free reads these eight bytes of a released block as one word, and a word
    // stored in two halves just before cannot be forwarded to that load, which then waits.
    uint64_t sizePad;
    ChildNode *children;
};
constexpr uint32_t kHeaderSize = sizeof(BlockHeader);
static_assert(kHeaderSize % 8 == 0);
// Blocks are aligned at least this much: the header and the callers' records hold pointers.
constexpr uint32_t kMinBlockAlign = alignof(void *);
// The padding field reaches back at most 31 words, enough for blocks aligned to 128 bytes.
constexpr uint32_t kMaxBlockAlign = 128;
constexpr uint32_t kAlignFlagBits = BZ_MEM_ALIGN | (7u << BZ_MEM_ALIGN_SHIFT);

struct ChildNode
{
    ChildNode *next;
    void *child;
    void *parent;
    int32_t poolId; // 0 for a heap child
};

// --- settings and statistics (Memory.cpp) ----------------------------------------------------

// The running statistics of bzMemStats, each in a variable of its own: kept side by side in
// one record, the compiler joins the two byte counts of an allocation into one wide load and
// store, and that load then waits on the narrow store of the free just before.
extern uint32_t gBlockCount;
extern uint32_t gBytesInUse;
extern uint32_t gBytesAllocated;

extern uint32_t gHeapLimit;
extern uint32_t gDefaultAlign;
extern uint32_t gRawAlign;
extern uint32_t gTempStackSize;

// Raises the heap-limit report (which ends the program).
[[gnu::cold]] void HeapLimitExceeded();

// Runs after every change of the bytes in use.
inline void HeapLimitCheck()
{
    if (gHeapLimit && gBytesInUse > gHeapLimit) [[unlikely]]
        HeapLimitExceeded();
}

// Counts a new block of the given bytes (its size and header), then checks the heap limit.
inline void CountBlock(uint32_t bytes)
{
    gBlockCount += 1;
    gBytesInUse += bytes;
    gBytesAllocated += bytes;
    HeapLimitCheck();
}

// Counts a released block, then checks the heap limit.
inline void UncountBlock(uint32_t bytes)
{
    gBlockCount -= 1;
    gBytesInUse -= bytes;
    HeapLimitCheck();
}

// --- the primitive table (MemPrimitives.cpp) -------------------------------------------------

extern bzMemPrimitiveTable gPrim;

// Primitives 1 and 2. While the table holds the PC's own, they are called in place.
inline void *AllocRaw(uint32_t kind, size_t size)
{
    if (gPrim.allocRaw == PDMemAlloc) [[likely]]
        return PDMemAlloc(kind, size);
    return gPrim.allocRaw(kind, size);
}

inline void FreeRaw(void *raw)
{
    if (gPrim.freeRaw == PDMemFree) [[likely]]
        return PDMemFree(raw);
    gPrim.freeRaw(raw);
}

// --- block helpers ---------------------------------------------------------------------------

inline BlockHeader *HeaderOf(const void *block)
{
    return reinterpret_cast<BlockHeader *>(reinterpret_cast<uintptr_t>(block) - kHeaderSize);
}

// Writes the header of a new block without children.
inline void WriteHeader(BlockHeader *h, uint32_t size, uint32_t padWords)
{
    h->parent = nullptr;
    h->sizePad = (padWords & 31) | (uint64_t(size) << 5);
    h->children = nullptr;
}

inline uint32_t BlockSize(const BlockHeader *h)
{
    return static_cast<uint32_t>(h->sizePad >> 5);
}

inline uint32_t BlockPadWords(const BlockHeader *h)
{
    return static_cast<uint32_t>(h->sizePad & 31);
}

// The default alignment may be any multiple of 4; the usual powers of two skip the division.
inline uintptr_t RoundDown(uintptr_t v, uintptr_t a)
{
    if ((a & (a - 1)) == 0) [[likely]]
        return v & ~(a - 1);
    return v / a * a;
}

// The larger of 8 << n, when the flags ask for alignment n, and the default alignment.
inline uint32_t AlignmentForFlags(uint32_t flags)
{
    if (flags & BZ_MEM_ALIGN) [[unlikely]]
        return std::max(8u << ((flags >> BZ_MEM_ALIGN_SHIFT) & 7), gDefaultAlign);
    return gDefaultAlign;
}

// Effective alignment of a heap or stack block; 0 when the flags ask for more than the
// header's padding field can hold.
inline uint32_t BlockAlignment(uint32_t flags)
{
    if ((flags & BZ_MEM_ALIGN) && ((flags >> BZ_MEM_ALIGN_SHIFT) & 7) > 4) [[unlikely]]
        return 0;
    return std::max(AlignmentForFlags(flags), kMinBlockAlign);
}

// --- pools (Pool.cpp) ------------------------------------------------------------------------

// Adds one block of elements to the pool; null when it cannot be had.
uint8_t *PoolGrow(Pool *p);
// Makes the seven base pools of the common small sizes.
void CreateBasePools();
// Fills the size table with the sizes the engine asks for most.
void InitSizeTable();
// Destroys the pools the size table made, then the base pools, then the size table.
void DestroySharedPools();

// --- child lists (ChildList.cpp) -------------------------------------------------------------

extern int32_t gChildPool;

// Makes the pool of child-list nodes; false when it cannot be had.
bool CreateChildPool();
// Links the child (a pool element when poolId is not 0) into the parent's list: 0 or 99.
int32_t AddChild(void *parent, int32_t poolId, void *child);
// Takes a heap block out of the list of the parent that holds it.
void LeaveParent(BlockHeader *h, void *block);
void FreeAllChildren(BlockHeader *h);
// Takes a pool element out of the parent's list that holds it, if any.
void UnlinkElement(const void *element);
// Unlinks every element of a pool from the parents that hold it.
void UnlinkPoolElements(int32_t id);
// Releases the index of linked pool elements.
void ReleaseLinkIndex();
} // namespace bzMem
