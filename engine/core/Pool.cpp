// Fixed-size element pools of the memory manager: blocks of elements chained together, a free
// list that hands out the last freed element first, trimming of wholly free blocks, the seven
// base pools of the common small sizes and the size table that finds a pool for a size.
#include "core/Memory.h"

#include "core/Error.h"
#include "core/MemoryInternal.h"

namespace bzMem
{
Pool *gPools[BZ_MEM_MAX_POOLS];
}

using namespace bzMem;

namespace
{
struct SizeEntry
{
    uint32_t size;
    int32_t poolId;
    int32_t madeHere;
};

int32_t gSharedIds[7];
SizeEntry *gSizeTable;
uint32_t gSizeCount;
uint32_t gSizeRoom;

inline size_t BlockBytes(const Pool *p)
{
    return static_cast<size_t>(p->perBlock) * p->stride + sizeof(void *);
}

inline uint8_t *BlockLink(const Pool *p, uint8_t *block)
{
    return static_cast<uint8_t *>(LoadLink(block + static_cast<size_t>(p->perBlock) * p->stride));
}

void DestroyPoolRecord(int32_t id)
{
    Pool *p = gPools[id - 1];
    gPools[id - 1] = nullptr;
    bz_MemFree(p);
}

void AddSizeEntry(uint32_t size, int32_t poolId, int32_t madeHere)
{
    if (gSizeCount == gSizeRoom)
    {
        uint32_t room = gSizeRoom + 8;
        auto *table =
            static_cast<SizeEntry *>(bz_MemRealloc(gSizeTable, room * sizeof(SizeEntry), 0));
        if (!table)
            return;
        gSizeTable = table;
        gSizeRoom = room;
    }
    gSizeTable[gSizeCount++] = {size, poolId, madeHere};
    std::sort(gSizeTable, gSizeTable + gSizeCount,
              [](const SizeEntry &a, const SizeEntry &b) { return a.size < b.size; });
}

int32_t BasePoolForSize(uint32_t size)
{
    switch (size)
    {
    case 24: return gSharedIds[0];
    case 48: return gSharedIds[1];
    case 64: return gSharedIds[2];
    case 8: return gSharedIds[3];
    case 12: return gSharedIds[4];
    case 16: return gSharedIds[5];
    default: return 0;
    }
}
} // namespace

namespace bzMem
{
void *TakeElementSlow(Pool *p, uint32_t flags)
{
    if (p->used == p->capacity && !PoolGrow(p))
    {
        bzgMemStatus = BZ_MEM_POOL_GROW;
        return nullptr;
    }
    bzgMemStatus = BZ_MEM_OK;
    void *el = PoolTakeRaw(p);
    if (flags & BZ_MEM_CLEAR)
        MemFill(el, 0, p->stride);
    return el;
}

void GiveLinkedElement(Pool *p, void *element)
{
    UnlinkElement(element);
    PoolGiveRaw(p, element);
}

void *PoolAllocArgs(int32_t poolId, uint32_t flags, ...)
{
    va_list ap;
    va_start(ap, flags);
    void *el = bz_Pool_AllocV(poolId, flags, ap);
    va_end(ap);
    return el;
}

uint8_t *PoolGrow(Pool *p)
{
    size_t bytes = BlockBytes(p);
    if (bytes > BZ_MEM_MAX_BLOCK)
        return nullptr;
    // A pool made with an alignment flag needs its blocks aligned alike, or its elements
    // would not be.
    auto *block = static_cast<uint8_t *>(
        bz_MemAlloc(static_cast<uint32_t>(bytes), 0x210 | (p->flags & kAlignFlagBits), ""));
    if (!block)
        return nullptr;
    p->capacity += p->perBlock;
    for (uint32_t i = 0; i + 1 < p->perBlock; ++i)
        StoreLink(block + static_cast<size_t>(i) * p->stride,
                  block + static_cast<size_t>(i + 1) * p->stride);
    StoreLink(block + static_cast<size_t>(p->perBlock - 1) * p->stride, p->freeHead);
    StoreLink(block + static_cast<size_t>(p->perBlock) * p->stride, p->chain);
    p->chain = block;
    p->freeHead = block;
    return block;
}

void CreateBasePools()
{
    static const uint32_t sizes[7] = {24, 48, 64, 8, 12, 16, 24};
    static const uint32_t blocks[7] = {1, 4, 1, 1, 1, 1, 1};
    for (int i = 0; i < 7; ++i)
        gSharedIds[i] = bz_Pool_Create(sizes[i], 0, blocks[i], 0);
}

void InitSizeTable()
{
    gSizeRoom = 16;
    gSizeCount = 0;
    gSizeTable = static_cast<SizeEntry *>(bz_MemAlloc(gSizeRoom * sizeof(SizeEntry), 0));
    if (!gSizeTable)
    {
        gSizeRoom = 0;
        return;
    }
    static const uint32_t sizes[6] = {4, 8, 12, 16, 24, 48};
    static const uint32_t perBlock[6] = {24, 48, 48, 48, 24, 48};
    for (int i = 0; i < 6; ++i)
        bz_Pool_ForSize(sizes[i], perBlock[i]);
}

void DestroySharedPools()
{
    for (uint32_t i = gSizeCount; i-- > 0;)
    {
        if (i < gSizeCount && gSizeTable[i].madeHere)
            bz_Pool_Destroy(gSizeTable[i].poolId);
    }
    for (int32_t &id : gSharedIds)
    {
        if (id)
            bz_Pool_Destroy(id);
        id = 0;
    }
    bz_MemFree(gSizeTable);
    gSizeTable = nullptr;
    gSizeCount = gSizeRoom = 0;
}
} // namespace bzMem

// --- pools ---------------------------------------------------------------------------------

int32_t bz_Pool_Create(uint32_t s, uint32_t b, uint32_t k, uint32_t flags)
{
    bzgLastError = BZ_ERROR_NO_MEMORY;
    int32_t slot = -1;
    for (int32_t i = 0; i < BZ_MEM_MAX_POOLS; ++i)
    {
        if (!gPools[i])
        {
            slot = i;
            break;
        }
    }
    if (slot < 0)
    {
        bzgMemStatus = BZ_MEM_NO_POOL_ENTRY;
        return 0;
    }
    if (s == 0)
        s = 1;
    // No block can hold such an element (and rounding it could run past 32 bits).
    if (s > BZ_MEM_MAX_BLOCK)
    {
        bzgMemStatus = BZ_MEM_POOL_FIRST_BLOCK;
        return 0;
    }
    uint32_t align;
    if (flags & BZ_MEM_ALIGN)
    {
        if (!BlockAlignment(flags))
        {
            bzgMemStatus = BZ_MEM_BAD_ALIGNMENT;
            return 0;
        }
        align = AlignmentForFlags(flags);
    }
    else
    {
        align = gDefaultAlign;
        while (align > 1 && s % align)
            align /= 2;
    }
    auto *p = static_cast<Pool *>(bz_MemAlloc(sizeof(Pool), BZ_MEM_CLEAR));
    if (!p)
    {
        bzgMemStatus = BZ_MEM_RAW_FAILED;
        return 0;
    }
    uint32_t r = bz_Mem_RoundUp(s, align);
    p->alignment = align;
    p->elementSize = r;
    p->stride = bz_Mem_RoundUp(std::max<uint32_t>(r, sizeof(void *)), align);
    p->perBlock = b ? b : (r < 3000 ? 3000 / r : 1);
    p->flags = flags;
    gPools[slot] = p;
    int32_t id = slot + 1;

    if (!PoolGrow(p))
    {
        DestroyPoolRecord(id);
        bzgMemStatus = BZ_MEM_POOL_FIRST_BLOCK;
        return 0;
    }
    for (uint32_t made = 1; made < k; ++made)
    {
        if (!PoolGrow(p))
        {
            bz_Pool_Destroy(id);
            bzgMemStatus = BZ_MEM_POOL_GROW;
            return 0;
        }
    }
    bzgMemStatus = BZ_MEM_OK;
    return id;
}

void *bz_Pool_AllocV(int32_t poolId, uint32_t flags, va_list args)
{
    void *el = TakeElement(poolId, flags);
    if (!el || !(flags & kArgumentFlags))
        return el;
    if (flags & BZ_MEM_LABEL)
        (void)va_arg(args, const char *);
    if (flags & BZ_MEM_EXTRA)
        (void)va_arg(args, unsigned int);
    if (flags & BZ_MEM_PARENT)
    {
        void *parent = va_arg(args, void *);
        if (parent)
            bzgMemStatus = AddChild(parent, poolId, el);
    }
    if (flags & BZ_MEM_SOURCE)
    {
        const void *src = va_arg(args, const void *);
        if (src)
            MemCopy(PoolOf(poolId)->elementSize, el, src);
    }
    return el;
}

void bz_Pool_FreeAllElements(int32_t poolId)
{
    bzgLastError = BZ_ERROR_NO_MEMORY;
    Pool *p = PoolOf(poolId);
    if (!p)
    {
        bzgMemStatus = BZ_MEM_BAD_ID;
        return;
    }
    UnlinkPoolElements(poolId);
    p->freeHead = nullptr;
    for (uint8_t *block = p->chain; block; block = BlockLink(p, block))
    {
        for (uint32_t i = p->perBlock; i-- > 0;)
        {
            uint8_t *el = block + static_cast<size_t>(i) * p->stride;
            StoreLink(el, p->freeHead);
            p->freeHead = el;
        }
    }
    p->used = 0;
    bzgMemStatus = BZ_MEM_OK;
}

int32_t bz_Pool_Destroy(int32_t poolId)
{
    bzgLastError = BZ_ERROR_NO_MEMORY;
    Pool *p = PoolOf(poolId);
    if (!p)
        return bzgMemStatus = BZ_MEM_BAD_ID;
    UnlinkPoolElements(poolId);
    for (uint8_t *block = p->chain; block;)
    {
        uint8_t *next = BlockLink(p, block);
        bz_MemFree(block);
        if (bzgMemStatus != BZ_MEM_OK)
            return bzgMemStatus;
        block = next;
    }
    DestroyPoolRecord(poolId);
    // A size-table entry must never name a destroyed pool.
    for (uint32_t i = 0; i < gSizeCount;)
    {
        if (gSizeTable[i].poolId == poolId)
        {
            std::memmove(&gSizeTable[i], &gSizeTable[i + 1],
                         (gSizeCount - i - 1) * sizeof(SizeEntry));
            --gSizeCount;
        }
        else
        {
            ++i;
        }
    }
    for (int32_t &id : gSharedIds)
    {
        if (id == poolId)
            id = 0;
    }
    if (gChildPool == poolId)
        gChildPool = 0;
    return bzgMemStatus = BZ_MEM_OK;
}

uint32_t bz_Pool_Trim(int32_t poolId)
{
    bzgLastError = BZ_ERROR_NO_MEMORY;
    if (poolId == 0)
    {
        uint32_t total = 0;
        for (int32_t id = 1; id <= BZ_MEM_MAX_POOLS; ++id)
        {
            if (gPools[id - 1])
                total += bz_Pool_Trim(id);
        }
        return total;
    }
    Pool *p = PoolOf(poolId);
    if (!p)
    {
        bzgMemStatus = BZ_MEM_BAD_ID;
        return 0;
    }
    bzgMemStatus = BZ_MEM_OK;
    uint32_t freeCount = p->capacity - p->used;
    if (freeCount < p->perBlock)
        return 0;

    constexpr uint32_t kMaxBlocks = 1000;
    uint32_t blockCount = 0;
    for (uint8_t *block = p->chain; block && blockCount < kMaxBlocks; block = BlockLink(p, block))
        ++blockCount;
    auto **blocks = static_cast<uint8_t **>(bz_MemAlloc(blockCount * sizeof(uint8_t *), 0));
    auto **frees = static_cast<uint8_t **>(bz_MemAlloc(freeCount * sizeof(uint8_t *), 0));
    if (!blocks || !frees)
    {
        bz_MemFree(blocks);
        bz_MemFree(frees);
        return 0;
    }
    uint8_t *rest = p->chain; // blocks past the listed ones keep their order
    for (uint32_t i = 0; i < blockCount; ++i)
    {
        blocks[i] = rest;
        rest = BlockLink(p, rest);
    }
    uint32_t n = 0;
    for (uint8_t *el = p->freeHead; el && n < freeCount; el = static_cast<uint8_t *>(LoadLink(el)))
        frees[n++] = el;
    std::sort(blocks, blocks + blockCount);
    std::sort(frees, frees + n);

    size_t span = static_cast<size_t>(p->perBlock) * p->stride;
    uint32_t released = 0;
    uint32_t kept = 0;
    uint32_t f = 0;
    uint32_t keptFrees = 0;
    for (uint32_t i = 0; i < blockCount; ++i)
    {
        uint8_t *block = blocks[i];
        // Free elements below this block lie in unlisted blocks: keep them.
        while (f < n && frees[f] < block)
            frees[keptFrees++] = frees[f++];
        uint32_t first = f;
        while (f < n && frees[f] < block + span)
            ++f;
        if (f - first == p->perBlock)
        {
            released += static_cast<uint32_t>(BlockBytes(p));
            p->capacity -= p->perBlock;
            bz_MemFree(block);
        }
        else
        {
            for (uint32_t j = first; j < f; ++j)
                frees[keptFrees++] = frees[j];
            blocks[kept++] = block;
        }
    }
    while (f < n)
        frees[keptFrees++] = frees[f++];

    // Rebuild the chain (listed blocks in address order, then the rest) and the free list.
    uint8_t *chain = rest;
    for (uint32_t i = kept; i-- > 0;)
    {
        StoreLink(blocks[i] + span, chain);
        chain = blocks[i];
    }
    p->chain = chain;
    p->freeHead = nullptr;
    for (uint32_t i = keptFrees; i-- > 0;)
    {
        StoreLink(frees[i], p->freeHead);
        p->freeHead = frees[i];
    }
    bz_MemFree(blocks);
    bz_MemFree(frees);
    bzgMemStatus = BZ_MEM_OK;
    return released;
}

uint32_t bz_Pool_GetUsed(int32_t poolId)
{
    Pool *p = PoolOf(poolId);
    return p ? p->used : 0;
}

uint32_t bz_Pool_GetCapacity(int32_t poolId)
{
    Pool *p = PoolOf(poolId);
    return p ? p->capacity : 0;
}

uint32_t bz_Pool_GetPerBlock(int32_t poolId)
{
    Pool *p = PoolOf(poolId);
    return p ? p->perBlock : 0;
}

uint32_t bz_Pool_GetElementSize(int32_t poolId)
{
    Pool *p = PoolOf(poolId);
    return p ? p->elementSize : 0;
}

uint32_t bz_Pool_GetAlignment(int32_t poolId)
{
    Pool *p = PoolOf(poolId);
    return p ? p->alignment : 0;
}

int32_t bz_Pool_SharedId(int32_t index)
{
    return index >= 0 && index < 7 ? gSharedIds[index] : 0;
}

int32_t bz_Pool_FindForSize(uint32_t elementSize)
{
    // Past the largest block the size is not rounded (it would wrap); no pool can be made.
    uint32_t s = elementSize > BZ_MEM_MAX_BLOCK ? elementSize : bz_Mem_RoundUp(elementSize, 4);
    for (uint32_t i = 0; i < gSizeCount; ++i)
    {
        if (gSizeTable[i].size == s)
            return gSizeTable[i].poolId;
        if (gSizeTable[i].size > s)
            break;
    }
    return bz_Pool_ForSize(s, 8);
}

int32_t bz_Pool_ForSize(uint32_t s, uint32_t b)
{
    if (s > 256)
        b = std::max<uint32_t>(2048 / s, 1);
    int32_t id = BasePoolForSize(s);
    int32_t madeHere = 0;
    if (!id)
    {
        id = bz_Pool_Create(s, b, 1, 0);
        madeHere = 1;
        if (!id)
            return 0;
    }
    AddSizeEntry(s, id, madeHere);
    return id;
}
