// The engine's memory manager: heap blocks with a header, fixed-size element pools, child
// lists that tie blocks to a parent, temporary stacks, growable buffers and the checked copy,
// move and fill operations. Everything reaches the machine through the primitive table.
// This is the manager's one public header; its parts live one per file: Memory.cpp (start,
// settings, statistics), Heap.cpp, ChildList.cpp, Pool.cpp, TempStack.cpp, MemBuffer.cpp and
// MemPrimitives.cpp (the primitive table and the checked copies).
#pragma once

#include "core/Error.h"

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstring>

// Allocation flags, shared by heap, pool and temporary-stack allocation.
enum : uint32_t
{
    BZ_MEM_CLEAR = 0x1,
    BZ_MEM_LABEL = 0x10,  // a label string follows (read, not kept)
    BZ_MEM_SOURCE = 0x20, // a source pointer follows; the block is copied from it
    BZ_MEM_EXTRA = 0x40,  // one more word follows the label (read, not kept)
    BZ_MEM_PARENT = 0x80, // a parent block follows; the new block is freed with it
    BZ_MEM_RETRY = 0x100, // retry a failed raw allocation once with kind 0
    BZ_MEM_ALIGN = 0x10000,
    BZ_MEM_ALIGN_SHIFT = 12, // bits 12-14: align to 8 << n bytes
};
#define BZ_MEM_ALIGN_FLAGS(n) (BZ_MEM_ALIGN | ((uint32_t)(n) << BZ_MEM_ALIGN_SHIFT))

// Detail codes of the memory status word.
enum : int32_t
{
    BZ_MEM_OK = 0,
    BZ_MEM_RAW_FAILED = 80,
    BZ_MEM_NO_STACK = 83,
    BZ_MEM_STACK_FULL = 86,
    BZ_MEM_NO_OVERFLOW_ENTRY = 87,
    BZ_MEM_ABOVE_TOP = 89,
    BZ_MEM_NOT_IN_STACK = 90,
    BZ_MEM_TOO_MANY_MARKS = 91,
    BZ_MEM_NO_MARK = 92,
    BZ_MEM_POOL_FIRST_BLOCK = 93,
    BZ_MEM_NO_POOL_ENTRY = 94,
    BZ_MEM_BAD_ID = 95, // an id that names no pool, stack or buffer
    BZ_MEM_POOL_GROW = 97,
    BZ_MEM_BAD_ALIGNMENT = 98,
    BZ_MEM_NO_CHILD_NODE = 99,
};

// Largest block the header's size field holds.
constexpr uint32_t BZ_MEM_MAX_BLOCK = (1u << 27) - 1;
constexpr int32_t BZ_MEM_MAX_POOLS = 128;
constexpr int32_t BZ_MEM_MAX_TEMP_STACKS = 10;
constexpr int32_t BZ_MEM_MAX_MARKS = 64;
constexpr int32_t BZ_MEM_MAX_BUFFERS = 8;
constexpr uint32_t BZ_MEM_SCRATCH_SIZE = 92800;

struct bzMemPrimitiveTable
{
    void *(*allocRaw)(uint32_t kind, size_t size);
    void (*freeRaw)(void *block);
    void *(*copyWords)(void *dest, const void *src, size_t length);
    void *(*copy)(void *dest, const void *src, size_t length);
    void *(*fill)(void *dest, int value, size_t length);
    void *(*move)(void *dest, const void *src, size_t length);
    int (*compare)(const void *a, const void *b, size_t length);
};

// The start-up words the memory manager reads (a zero keeps the default).
struct bzMemSettings
{
    uint32_t word1;
    uint32_t defaultAlignment; // 2nd word
    uint32_t word3;
    uint32_t word4;
    uint32_t heapLimit;     // 5th word, bytes (0 = none)
    uint32_t tempStackSize; // 6th word
};

struct bzMemStats
{
    uint32_t blockCount;
    uint32_t unused;
    uint32_t bytesInUse;
    uint32_t bytesAllocated;
};

extern int32_t bzgMemStatus;
extern uint32_t bzgMemDebugFlags;

typedef void (*bzLoadingCallback)(float elapsedSeconds);
extern bzLoadingCallback bzgLoadingCallback;
void bz_SetLoadingCallback(bzLoadingCallback fn);
// Gives the loading callback its turn when more than 0.2 s passed since its last one.
void bz_LoadingTick();

void bz_Mem_Init(const bzMemSettings *settings);

// Heap blocks.
// bz_MemAlloc(size, flags, optional arguments...) is defined inline at the end of this header.
void *bz_MemAllocV(uint32_t flags, uint32_t size, va_list args);
void bz_MemFree(void *block);
void *bz_MemRealloc(void *old, uint32_t newSize, uint32_t flags, ...);
uint32_t bz_MemSize(const void *block);
int32_t bz_Mem_GetStatus();
void bz_Mem_GetStats(bzMemStats *out);
uint32_t bz_Mem_HeaderSize();
uint32_t bz_Mem_GetDefaultAlignment();
int32_t bz_Mem_SetDefaultAlignment(uint32_t alignment);
uint32_t bz_Mem_AlignmentForFlags(uint32_t flags);
uint32_t bz_Mem_RoundToDefaultAlignment(uint32_t size);
uint32_t bz_Mem_RoundUp(uint32_t value, uint32_t alignment);
void bz_Mem_SetRawAlignment(uint32_t alignment);
uint32_t bz_Mem_MinAlignment();
uint32_t bz_Mem_GetHeapLimit();
void bz_Mem_SetHeapLimit(uint32_t limit);
void bz_Mem_SetPrimitives(const bzMemPrimitiveTable *table);
void bz_Mem_GetPrimitives(bzMemPrimitiveTable *out);

// Child lists.
int32_t bz_MemChild_Add(void *parent, void *child);
int32_t bz_MemChild_AddPool(void *parent, int32_t poolId, void *child);
void bz_MemChild_Remove(void *parent, void *child);

// Element pools, ids 1-128.
int32_t bz_Pool_Create(uint32_t elementSize, uint32_t perBlock, uint32_t initialBlocks,
                       uint32_t flags);
// bz_Pool_Alloc(pool id, flags, optional arguments...) and bz_Pool_FreeElement(pool id,
// element) are defined inline at the end of this header.
void *bz_Pool_AllocV(int32_t poolId, uint32_t flags, va_list args);
// Returns every element of the pool to its free list.
void bz_Pool_FreeAllElements(int32_t poolId);
int32_t bz_Pool_Destroy(int32_t poolId);
uint32_t bz_Pool_Trim(int32_t poolId);
uint32_t bz_Pool_GetUsed(int32_t poolId);
uint32_t bz_Pool_GetCapacity(int32_t poolId);
uint32_t bz_Pool_GetPerBlock(int32_t poolId);
uint32_t bz_Pool_GetElementSize(int32_t poolId);
uint32_t bz_Pool_GetAlignment(int32_t poolId);
int32_t bz_Pool_SharedId(int32_t index);
int32_t bz_Pool_FindForSize(uint32_t elementSize);
int32_t bz_Pool_ForSize(uint32_t elementSize, uint32_t perBlock);
void bz_MemPools_DestroyAll();

void *InlineScratchTake();
void InlineScratchGive();

// Temporary stacks, ids 1-10.
int32_t bz_TempStack_Create(uint32_t size, int32_t overflowAllowed);
void *bz_TempStack_Alloc(int32_t id, uint32_t size, uint32_t flags, ...);
int32_t bz_TempStack_Free(int32_t id, void *block);
int32_t bz_TempStack_PushMark(int32_t id);
int32_t bz_TempStack_PopMark(int32_t id);
uint32_t bz_TempStack_SpaceLeft(int32_t id, uint32_t flags);
uint32_t bz_TempStack_GetSize(int32_t id);
uint32_t bz_TempStack_DefaultSize();
int32_t bz_TempStack_GetId();
int32_t bz_TempStack_Destroy(int32_t id);

// Growable buffers, ids 1-8.
int32_t bz_MemBuffer_Create(uint32_t initialSize, uint32_t growthStep, uint32_t reserve);
void bz_MemBuffer_Ensure(int32_t id, uint8_t **cursor);
uint8_t *bz_MemBuffer_Base(int32_t id);
uint32_t bz_MemBuffer_Offset(const uint8_t *pointer, int32_t id);
void bz_MemBuffer_Free(int32_t id);
void bz_MemBuffer_ClearAll();

// Checked copies: a zero length does nothing and returns 0.
void *MemCopy(size_t length, void *dest, const void *src);
void *MemMove(size_t length, void *dest, const void *src);
void *MemFill(void *dest, int value, size_t length);
int bz_MemCompare(const void *a, const void *b, size_t length);
void *bz_MemMoveRaw(void *dest, const void *src, size_t length);
void bz_MemWriteAdvance(uint8_t **cursor, const void *src, size_t length);
void bz_MemReadAdvance(const uint8_t **cursor, void *dest, size_t length);

// --- inline fast paths -----------------------------------------------------------------------
// Taking a pool element without optional arguments and giving one back are a pop and a push on
// the pool's free list, with the status words set as every memory operation sets them. They are
// defined here so that each caller runs them in place; growing, clearing, the optional
// arguments and elements held in a parent's list go out of line. The records below belong to
// the memory manager: nothing else reads or writes them.

namespace bzMem
{
struct Pool
{
    uint32_t perBlock;
    uint32_t elementSize; // rounded to the pool alignment
    uint32_t stride;      // at least pointer-sized: a free element holds the free-list link
    uint32_t capacity;
    uint32_t used;
    uint8_t *chain;
    uint8_t *freeHead;
    uint32_t flags;
    uint32_t alignment;
    uint32_t linked; // elements of this pool that sit in a parent's child list
};

extern Pool *gPools[BZ_MEM_MAX_POOLS];

// The flags that put optional arguments in the list.
constexpr uint32_t kArgumentFlags = BZ_MEM_LABEL | BZ_MEM_SOURCE | BZ_MEM_EXTRA | BZ_MEM_PARENT;

inline void *LoadLink(const void *at)
{
    void *p;
    std::memcpy(&p, at, sizeof p);
    return p;
}

inline void StoreLink(void *at, const void *p)
{
    std::memcpy(at, &p, sizeof p);
}

inline Pool *PoolOf(int32_t id)
{
    if (id < 1 || id > BZ_MEM_MAX_POOLS)
        return nullptr;
    return gPools[id - 1];
}

inline void *PoolTakeRaw(Pool *p)
{
    uint8_t *el = p->freeHead;
    p->freeHead = static_cast<uint8_t *>(LoadLink(el));
    ++p->used;
    return el;
}

inline void PoolGiveRaw(Pool *p, void *el)
{
    StoreLink(el, p->freeHead);
    p->freeHead = static_cast<uint8_t *>(el);
    if (p->used)
        --p->used;
}

// Takes an element when the pool has none free or it is to be cleared: grows the pool first
// when every element is in use.
void *TakeElementSlow(Pool *p, uint32_t flags);
// Returns an element of a pool some of whose elements sit in a parent's list: the element
// leaves the list that holds it, if any, before it goes on the free list.
void GiveLinkedElement(Pool *p, void *element);
// bz_Pool_Alloc with optional arguments, read in the order of bz_Pool_AllocV.
void *PoolAllocArgs(int32_t poolId, uint32_t flags, ...);

// A heap block for flags that name no optional argument, and for no flags at all.
void *AllocPlain(uint32_t size, uint32_t flags);
void *AllocNoFlags(uint32_t size);
// bz_MemAlloc with optional arguments, read in the order of bz_MemAllocV.
void *AllocArgs(uint32_t size, uint32_t flags, ...);

// Takes an element: the status words and a pop from the free list. The optional arguments are
// the caller's to read.
inline void *TakeElement(int32_t poolId, uint32_t flags)
{
    bzgLastError = BZ_ERROR_NO_MEMORY;
    Pool *p = PoolOf(poolId);
    if (!p) [[unlikely]]
    {
        bzgMemStatus = BZ_MEM_BAD_ID;
        return nullptr;
    }
    if (p->used == p->capacity || (flags & BZ_MEM_CLEAR)) [[unlikely]]
        return TakeElementSlow(p, flags);
    bzgMemStatus = BZ_MEM_OK;
    return PoolTakeRaw(p);
}
} // namespace bzMem

// A heap block of size bytes, or null; the variadic front of bz_MemAllocV. The common call,
// without optional arguments, goes straight to the allocation.
template <class... Args> inline void *bz_MemAlloc(uint32_t size, uint32_t flags, Args... args)
{
    if constexpr (sizeof...(Args) == 0)
    {
        if (flags == 0)
            return bzMem::AllocNoFlags(size);
        if (!(flags & bzMem::kArgumentFlags))
            return bzMem::AllocPlain(size, flags);
    }
    return bzMem::AllocArgs(size, flags, args...);
}

// An element of the pool, or null; the variadic front of bz_Pool_AllocV. The optional
// arguments follow the flags as for bz_MemAlloc.
template <class... Args> inline void *bz_Pool_Alloc(int32_t poolId, uint32_t flags, Args... args)
{
    if (!(flags & bzMem::kArgumentFlags))
        return bzMem::TakeElement(poolId, flags);
    return bzMem::PoolAllocArgs(poolId, flags, args...);
}

// Puts the element back on its pool's free list; null is ignored.
inline void bz_Pool_FreeElement(int32_t poolId, void *element)
{
    bzgLastError = BZ_ERROR_NO_MEMORY;
    if (!element)
        return;
    bzMem::Pool *p = bzMem::PoolOf(poolId);
    if (!p) [[unlikely]]
    {
        bzgMemStatus = BZ_MEM_BAD_ID;
        return;
    }
    bzgMemStatus = BZ_MEM_OK;
    if (p->linked) [[unlikely]]
        bzMem::GiveLinkedElement(p, element);
    else
        bzMem::PoolGiveRaw(p, element);
}
