#include "core/Memory.h"

#include "core/Clock.h"
#include "core/Debug.h"
#include "core/Error.h"
#include "pc/PcDebug.h"
#include "pc/PcMemory.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

int32_t bzgMemStatus;
uint32_t bzgMemDebugFlags;
bzLoadingCallback bzgLoadingCallback;

namespace
{
// The header in front of every heap and temporary-stack block. The size word holds the size
// asked for in bits 5-31 and, in bits 0-4, the padding in 4-byte words between the raw
// allocation and the header. The parent lets a child leave its parent's list when it is freed
// on its own, so that no block is ever released twice.
struct ChildNode;
struct BlockHeader
{
    void *parent;
    uint32_t sizePad;
    uint32_t reserved;
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

struct SizeEntry
{
    uint32_t size;
    int32_t poolId;
    int32_t madeHere;
};

struct OverflowEntry
{
    void *block;
    int32_t depth;
};

struct OverflowNode
{
    OverflowNode *next;
    OverflowEntry entries[15];
};

struct TempStack
{
    uint8_t *base;
    uint8_t *top;
    uint8_t *end;
    uint32_t size;
    int32_t overflowAllowed;
    OverflowNode *overflow;
    int32_t depth;
    uint8_t *marks[BZ_MEM_MAX_MARKS];
};

struct MemBuffer
{
    uint8_t *base;
    uint32_t growth;
    uint32_t reserve;
    uint32_t size;
};

// Pool children by element address, so that freeing an element can unlink it.
struct LinkEntry
{
    void *child;
    ChildNode *node;
};

bzMemPrimitiveTable gPrim = {PDMemAlloc, PDMemFree, PDMemCopyWords, PDMemCopy,
                             PDMemFill,  PDMemMove, PDMemCompare};

bzMemStats gStats;
uint32_t gHeapLimit;
uint32_t gDefaultAlign = 4;
uint32_t gRawAlign;
uint32_t gTempStackSize = 262144;
bool gInitialised;

Pool *gPools[BZ_MEM_MAX_POOLS];
int32_t gSharedIds[7];
int32_t gChildPool;
SizeEntry *gSizeTable;
uint32_t gSizeCount;
uint32_t gSizeRoom;

TempStack *gStacks[BZ_MEM_MAX_TEMP_STACKS];
MemBuffer gBuffers[BZ_MEM_MAX_BUFFERS];
void *gScratch;

LinkEntry *gLinks;
uint32_t gLinkCap;
uint32_t gLinkCount;

bool gLoadingBusy;
float gLastLoadingTick;

const char *gDiagFile = "Memory.cpp";
int32_t gDiagLine;

inline BlockHeader *HeaderOf(const void *block)
{
    return reinterpret_cast<BlockHeader *>(reinterpret_cast<uintptr_t>(block) - kHeaderSize);
}

inline uintptr_t RoundDown(uintptr_t v, uintptr_t a)
{
    return v / a * a;
}

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

void MemDiagnostic(const char *text)
{
    char line[1024];
    std::snprintf(line, sizeof line, "%s Ln%d: %s", gDiagFile, static_cast<int>(gDiagLine), text);
    bz_Debug_Text(line);
    PDDebugOutput(gDiagFile, gDiagLine, "%s", line);
    PDDebugBreakMessage(line);
    bz_ReportError("Memory Manager Diagnostics", "%s", text);
}

void HeapLimitCheck()
{
    if (gHeapLimit && gStats.bytesInUse > gHeapLimit)
    {
        BZ_SET_ORIGIN();
        bz_ReportError("BANG!!!", "The application has just exploded (Heap limit exceeded)");
    }
}

// Effective alignment of a heap or stack block; 0 when the flags ask for more than the
// header's padding field can hold.
uint32_t BlockAlignment(uint32_t flags)
{
    if ((flags & BZ_MEM_ALIGN) && ((flags >> BZ_MEM_ALIGN_SHIFT) & 7) > 4)
        return 0;
    return std::max(bz_Mem_AlignmentForFlags(flags), kMinBlockAlign);
}

Pool *PoolOf(int32_t id)
{
    if (id < 1 || id > BZ_MEM_MAX_POOLS)
        return nullptr;
    return gPools[id - 1];
}

TempStack *StackOf(int32_t id)
{
    if (id < 1 || id > BZ_MEM_MAX_TEMP_STACKS)
        return nullptr;
    return gStacks[id - 1];
}

// --- the index of linked pool elements -------------------------------------------------------

inline uint32_t LinkSlot(const void *p)
{
    uint64_t h =
        (static_cast<uint64_t>(reinterpret_cast<uintptr_t>(p)) >> 3) * 0x9E3779B97F4A7C15ull;
    return static_cast<uint32_t>(h >> 32) & (gLinkCap - 1);
}

ChildNode *LinkFind(const void *child)
{
    if (!gLinkCap)
        return nullptr;
    for (uint32_t i = LinkSlot(child);; i = (i + 1) & (gLinkCap - 1))
    {
        if (!gLinks[i].child)
            return nullptr;
        if (gLinks[i].child == child)
            return gLinks[i].node;
    }
}

bool LinkInsert(void *child, ChildNode *node)
{
    if ((gLinkCount + 1) * 2 > gLinkCap)
    {
        uint32_t cap = gLinkCap ? gLinkCap * 2 : 64;
        auto *table = static_cast<LinkEntry *>(gPrim.allocRaw(0, cap * sizeof(LinkEntry)));
        if (!table)
            return false;
        std::memset(table, 0, cap * sizeof(LinkEntry));
        LinkEntry *old = gLinks;
        uint32_t oldCap = gLinkCap;
        gLinks = table;
        gLinkCap = cap;
        for (uint32_t i = 0; i < oldCap; ++i)
        {
            if (!old[i].child)
                continue;
            uint32_t j = LinkSlot(old[i].child);
            while (gLinks[j].child)
                j = (j + 1) & (gLinkCap - 1);
            gLinks[j] = old[i];
        }
        if (old)
            gPrim.freeRaw(old);
    }
    uint32_t i = LinkSlot(child);
    while (gLinks[i].child && gLinks[i].child != child)
        i = (i + 1) & (gLinkCap - 1);
    if (!gLinks[i].child)
        ++gLinkCount;
    gLinks[i].child = child;
    gLinks[i].node = node;
    return true;
}

void LinkRemove(const void *child)
{
    if (!gLinkCap)
        return;
    uint32_t mask = gLinkCap - 1;
    uint32_t i = LinkSlot(child);
    while (gLinks[i].child != child)
    {
        if (!gLinks[i].child)
            return;
        i = (i + 1) & mask;
    }
    --gLinkCount;
    // Backward-shift deletion keeps every probe run unbroken.
    uint32_t hole = i;
    for (uint32_t j = (i + 1) & mask; gLinks[j].child; j = (j + 1) & mask)
    {
        uint32_t home = LinkSlot(gLinks[j].child);
        bool movable = hole <= j ? (home <= hole || home > j) : (home <= hole && home > j);
        if (movable)
        {
            gLinks[hole] = gLinks[j];
            hole = j;
        }
    }
    gLinks[hole] = {nullptr, nullptr};
}

// --- pools -------------------------------------------------------------------------------

void *PoolTakeRaw(Pool *p)
{
    uint8_t *el = p->freeHead;
    p->freeHead = static_cast<uint8_t *>(LoadLink(el));
    ++p->used;
    return el;
}

void PoolGiveRaw(Pool *p, void *el)
{
    StoreLink(el, p->freeHead);
    p->freeHead = static_cast<uint8_t *>(el);
    if (p->used)
        --p->used;
}

inline size_t BlockBytes(const Pool *p)
{
    return static_cast<size_t>(p->perBlock) * p->stride + sizeof(void *);
}

inline uint8_t *BlockLink(const Pool *p, uint8_t *block)
{
    return static_cast<uint8_t *>(LoadLink(block + static_cast<size_t>(p->perBlock) * p->stride));
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

void ReturnNode(ChildNode *node)
{
    Pool *cp = PoolOf(gChildPool);
    if (cp)
        PoolGiveRaw(cp, node);
}

ChildNode *TakeNode()
{
    Pool *cp = PoolOf(gChildPool);
    if (!cp)
        return nullptr;
    if (cp->used == cp->capacity && !PoolGrow(cp))
        return nullptr;
    return static_cast<ChildNode *>(PoolTakeRaw(cp));
}

// Takes the node out of its parent's list without releasing the child.
void UnlinkNode(ChildNode *node)
{
    BlockHeader *ph = HeaderOf(node->parent);
    for (ChildNode **link = &ph->children; *link; link = &(*link)->next)
    {
        if (*link == node)
        {
            *link = node->next;
            break;
        }
    }
    if (node->poolId)
    {
        LinkRemove(node->child);
        if (Pool *p = PoolOf(node->poolId))
            --p->linked;
    }
    else
    {
        HeaderOf(node->child)->parent = nullptr;
    }
    ReturnNode(node);
}

ChildNode *FindNode(void *parent, const void *child)
{
    for (ChildNode *n = HeaderOf(parent)->children; n; n = n->next)
    {
        if (n->child == child)
            return n;
    }
    return nullptr;
}

// Unlinks every element of a pool from the parents that hold it.
void UnlinkPoolElements(int32_t id)
{
    Pool *p = PoolOf(id);
    if (!p || !p->linked)
        return;
    for (uint32_t i = 0; i < gLinkCap && p->linked;)
    {
        if (gLinks[i].child && gLinks[i].node->poolId == id)
            UnlinkNode(gLinks[i].node); // the table shifted: look at slot i again
        else
            ++i;
    }
}

// Releases a child of a list that is being dissolved: the node is already out of the list.
void ReleaseChild(ChildNode *node)
{
    if (node->poolId)
    {
        LinkRemove(node->child);
        if (Pool *p = PoolOf(node->poolId))
        {
            --p->linked;
            PoolGiveRaw(p, node->child);
        }
    }
    else
    {
        HeaderOf(node->child)->parent = nullptr;
        bz_MemFree(node->child);
    }
}

void FreeAllChildren(BlockHeader *h)
{
    while (ChildNode *node = h->children)
    {
        h->children = node->next;
        ReleaseChild(node);
        ReturnNode(node);
    }
}

int32_t AddChild(void *parent, int32_t poolId, void *child)
{
    if (!parent || !child)
        return BZ_MEM_OK;
    // A child has one parent: moving it drops the old link first.
    if (poolId)
    {
        if (ChildNode *old = LinkFind(child))
            UnlinkNode(old);
    }
    else if (void *oldParent = HeaderOf(child)->parent)
    {
        if (ChildNode *old = FindNode(oldParent, child))
            UnlinkNode(old);
    }
    ChildNode *node = TakeNode();
    if (!node)
        return BZ_MEM_NO_CHILD_NODE;
    node->child = child;
    node->parent = parent;
    node->poolId = poolId;
    if (poolId)
    {
        if (!LinkInsert(child, node))
        {
            ReturnNode(node);
            return BZ_MEM_NO_CHILD_NODE;
        }
        if (Pool *p = PoolOf(poolId))
            ++p->linked;
    }
    else
    {
        HeaderOf(child)->parent = parent;
    }
    BlockHeader *ph = HeaderOf(parent);
    node->next = ph->children;
    ph->children = node;
    return BZ_MEM_OK;
}

void DestroyPoolRecord(int32_t id)
{
    Pool *p = gPools[id - 1];
    gPools[id - 1] = nullptr;
    bz_MemFree(p);
}

void ReportFatal(const char *text, int line)
{
    bzgErrorFile = __FILE__;
    bzgErrorLine = line;
    bz_ReportError("Memory Manager Error", "%s", text);
}

void CreateBasePools()
{
    static const uint32_t sizes[7] = {24, 48, 64, 8, 12, 16, 24};
    static const uint32_t blocks[7] = {1, 4, 1, 1, 1, 1, 1};
    for (int i = 0; i < 7; ++i)
        gSharedIds[i] = bz_Pool_Create(sizes[i], 0, blocks[i], 0);
    gChildPool = bz_Pool_Create(sizeof(ChildNode), 512, 5, 0);
    if (!gChildPool)
        ReportFatal("Cannot allocate child memory pool", __LINE__);
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

void FreeOverflow(TempStack *s, int32_t depth, bool all)
{
    for (OverflowNode *n = s->overflow; n; n = n->next)
    {
        for (OverflowEntry &e : n->entries)
        {
            if (e.block && (all || e.depth == depth))
            {
                bz_MemFree(e.block);
                e.block = nullptr;
            }
        }
    }
}
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

// --- settings and statistics ---------------------------------------------------------------

int32_t bz_Mem_GetStatus()
{
    return bzgMemStatus;
}

void bz_Mem_GetStats(bzMemStats *out)
{
    if (out)
        *out = gStats;
}

uint32_t bz_Mem_HeaderSize()
{
    return kHeaderSize;
}

uint32_t bz_Mem_GetDefaultAlignment()
{
    return gDefaultAlign;
}

int32_t bz_Mem_SetDefaultAlignment(uint32_t alignment)
{
    bzgLastError = BZ_ERROR_NO_MEMORY;
    if (alignment == 0)
        alignment = 4;
    if (alignment % 4 || alignment > kMaxBlockAlign)
        return bzgMemStatus = BZ_MEM_BAD_ALIGNMENT;
    gDefaultAlign = alignment;
    return bzgMemStatus = BZ_MEM_OK;
}

uint32_t bz_Mem_AlignmentForFlags(uint32_t flags)
{
    uint32_t a = 0;
    if (flags & BZ_MEM_ALIGN)
        a = 8u << ((flags >> BZ_MEM_ALIGN_SHIFT) & 7);
    return std::max(a, gDefaultAlign);
}

uint32_t bz_Mem_RoundUp(uint32_t value, uint32_t alignment)
{
    if (alignment == 0)
        return value;
    return (value + alignment - 1) / alignment * alignment;
}

uint32_t bz_Mem_RoundToDefaultAlignment(uint32_t size)
{
    return bz_Mem_RoundUp(size, gDefaultAlign);
}

void bz_Mem_SetRawAlignment(uint32_t alignment)
{
    gRawAlign = alignment;
}

uint32_t bz_Mem_MinAlignment()
{
    return 4;
}

uint32_t bz_Mem_GetHeapLimit()
{
    return gHeapLimit;
}

void bz_Mem_SetHeapLimit(uint32_t limit)
{
    gHeapLimit = limit;
}

void bz_Mem_SetPrimitives(const bzMemPrimitiveTable *table)
{
    if (!table)
        return;
    if (table->allocRaw)
        gPrim.allocRaw = table->allocRaw;
    if (table->freeRaw)
        gPrim.freeRaw = table->freeRaw;
    if (table->copyWords)
        gPrim.copyWords = table->copyWords;
    if (table->copy)
        gPrim.copy = table->copy;
    if (table->fill)
        gPrim.fill = table->fill;
    if (table->move)
        gPrim.move = table->move;
    if (table->compare)
        gPrim.compare = table->compare;
}

void bz_Mem_GetPrimitives(bzMemPrimitiveTable *out)
{
    if (out)
        *out = gPrim;
}

// --- heap blocks ---------------------------------------------------------------------------

void *bz_MemAlloc(uint32_t size, uint32_t flags, ...)
{
    va_list ap;
    va_start(ap, flags);
    void *block = bz_MemAllocV(flags, size, ap);
    va_end(ap);
    return block;
}

void *bz_MemAllocV(uint32_t flags, uint32_t size, va_list args)
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
        bz_LoadingTick();
        return nullptr;
    }
    bool exact = a <= gRawAlign && kHeaderSize % a == 0;
    size_t rawSize = exact ? size_t(size) + kHeaderSize : size_t(size) + a + kHeaderSize - 1;

    void *raw = gPrim.allocRaw((flags & BZ_MEM_RETRY) ? 1 : 0, rawSize);
    if (!raw && (flags & BZ_MEM_RETRY))
        raw = gPrim.allocRaw(0, rawSize);
    if (!raw)
    {
        bzgMemStatus = BZ_MEM_RAW_FAILED;
        bz_LoadingTick();
        return nullptr;
    }
    if (flags & BZ_MEM_CLEAR)
        MemFill(raw, 0, rawSize);

    va_list ap;
    va_copy(ap, args);
    if (flags & BZ_MEM_LABEL)
        (void)va_arg(ap, const char *);
    if (flags & BZ_MEM_EXTRA)
        (void)va_arg(ap, unsigned int);

    uintptr_t r = reinterpret_cast<uintptr_t>(raw);
    uintptr_t b = exact ? r + kHeaderSize : RoundDown(r + a + kHeaderSize - 1, a);
    void *block = reinterpret_cast<void *>(b);
    gStats.blockCount += 1;
    gStats.bytesInUse += size + kHeaderSize;
    gStats.bytesAllocated += size + kHeaderSize;
    HeapLimitCheck();

    BlockHeader *h = HeaderOf(block);
    uint32_t pad = static_cast<uint32_t>((b - r - kHeaderSize) / 4);
    h->parent = nullptr;
    h->sizePad = (pad & 31) | (size << 5);
    h->reserved = 0;
    h->children = nullptr;

    if (flags & BZ_MEM_PARENT)
    {
        void *parent = va_arg(ap, void *);
        if (parent)
            bzgMemStatus = AddChild(parent, 0, block);
    }
    if (flags & BZ_MEM_SOURCE)
    {
        const void *src = va_arg(ap, const void *);
        if (src)
            MemCopy(size, block, src);
    }
    va_end(ap);
    bz_LoadingTick();
    return block;
}

void bz_MemFree(void *block)
{
    bzgLastError = BZ_ERROR_NO_MEMORY;
    bzgMemStatus = BZ_MEM_OK;
    if (!block)
        return;
    BlockHeader *h = HeaderOf(block);
    if (h->parent)
    {
        if (ChildNode *node = FindNode(h->parent, block))
            UnlinkNode(node);
        h->parent = nullptr;
    }
    FreeAllChildren(h);
    uint32_t size = h->sizePad >> 5;
    uint32_t pad = h->sizePad & 31;
    gStats.blockCount -= 1;
    gStats.bytesInUse -= size + kHeaderSize;
    HeapLimitCheck();
    gPrim.freeRaw(reinterpret_cast<uint8_t *>(block) - kHeaderSize - 4 * pad);
    bzgMemStatus = BZ_MEM_OK;
}

void *bz_MemRealloc(void *old, uint32_t newSize, uint32_t flags, ...)
{
    va_list ap;
    va_start(ap, flags);
    void *block = bz_MemAllocV(flags, newSize, ap);
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
    return HeaderOf(block)->sizePad >> 5;
}

// --- child lists ---------------------------------------------------------------------------

int32_t bz_MemChild_Add(void *parent, void *child)
{
    bzgLastError = BZ_ERROR_NO_MEMORY;
    return bzgMemStatus = AddChild(parent, 0, child);
}

int32_t bz_MemChild_AddPool(void *parent, int32_t poolId, void *child)
{
    bzgLastError = BZ_ERROR_NO_MEMORY;
    if (!PoolOf(poolId))
        return bzgMemStatus = BZ_MEM_BAD_ID;
    return bzgMemStatus = AddChild(parent, poolId, child);
}

void bz_MemChild_Remove(void *parent, void *child)
{
    bzgLastError = BZ_ERROR_NO_MEMORY;
    if (!parent || !child)
        return;
    BlockHeader *ph = HeaderOf(parent);
    for (ChildNode **link = &ph->children; *link; link = &(*link)->next)
    {
        ChildNode *node = *link;
        if (node->child == child)
        {
            *link = node->next;
            ReleaseChild(node);
            ReturnNode(node);
            return;
        }
    }
}

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
        align = BlockAlignment(flags);
        if (!align)
        {
            bzgMemStatus = BZ_MEM_BAD_ALIGNMENT;
            return 0;
        }
        align = std::max(8u << ((flags >> BZ_MEM_ALIGN_SHIFT) & 7), gDefaultAlign);
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

void *bz_Pool_Alloc(int32_t poolId, uint32_t flags, ...)
{
    va_list ap;
    va_start(ap, flags);
    void *el = bz_Pool_AllocV(poolId, flags, ap);
    va_end(ap);
    return el;
}

void *bz_Pool_AllocV(int32_t poolId, uint32_t flags, va_list args)
{
    bzgLastError = BZ_ERROR_NO_MEMORY;
    Pool *p = PoolOf(poolId);
    if (!p)
    {
        bzgMemStatus = BZ_MEM_BAD_ID;
        return nullptr;
    }
    if (p->used == p->capacity && !PoolGrow(p))
    {
        bzgMemStatus = BZ_MEM_POOL_GROW;
        return nullptr;
    }
    bzgMemStatus = BZ_MEM_OK;
    void *el = PoolTakeRaw(p);
    if (flags & BZ_MEM_CLEAR)
        MemFill(el, 0, p->stride);
    va_list ap;
    va_copy(ap, args);
    if (flags & BZ_MEM_LABEL)
        (void)va_arg(ap, const char *);
    if (flags & BZ_MEM_EXTRA)
        (void)va_arg(ap, unsigned int);
    if (flags & BZ_MEM_PARENT)
    {
        void *parent = va_arg(ap, void *);
        if (parent)
            bzgMemStatus = AddChild(parent, poolId, el);
    }
    if (flags & BZ_MEM_SOURCE)
    {
        const void *src = va_arg(ap, const void *);
        if (src)
            MemCopy(p->elementSize, el, src);
    }
    va_end(ap);
    return el;
}

void bz_Pool_FreeElement(int32_t poolId, void *element)
{
    bzgLastError = BZ_ERROR_NO_MEMORY;
    if (!element)
        return;
    Pool *p = PoolOf(poolId);
    if (!p)
    {
        bzgMemStatus = BZ_MEM_BAD_ID;
        return;
    }
    bzgMemStatus = BZ_MEM_OK;
    if (p->linked)
    {
        if (ChildNode *node = LinkFind(element))
            UnlinkNode(node);
    }
    PoolGiveRaw(p, element);
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

// --- start and end -------------------------------------------------------------------------

void bz_Mem_Init(const bzMemSettings *settings)
{
    if (gInitialised)
        bz_MemPools_DestroyAll();
    gStats = {};
    bzgMemStatus = BZ_MEM_OK;
    bzgLastError = BZ_ERROR_NO_MEMORY;
    gDefaultAlign = 4;
    gHeapLimit = 0;
    gTempStackSize = 262144;
    if (settings)
    {
        if (uint32_t a = settings->defaultAlignment)
        {
            if (a < 4 || (a & (a - 1)) || a > kMaxBlockAlign)
            {
                bzgMemStatus = BZ_MEM_BAD_ALIGNMENT;
                return;
            }
            gDefaultAlign = a;
        }
        if (settings->heapLimit)
            gHeapLimit = settings->heapLimit;
        if (settings->tempStackSize)
            gTempStackSize = settings->tempStackSize;
    }
    gInitialised = true;
    if (bz_TempStack_Create(gTempStackSize, 1) != 1)
        ReportFatal("Cannot allocate temporary memory stack", __LINE__);
    CreateBasePools();
    bz_MemBuffer_ClearAll();
    InitSizeTable();
    bzgMemStatus = BZ_MEM_OK;
}

void bz_MemPools_DestroyAll()
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
    gScratch = nullptr;
    if (StackOf(1) && bz_TempStack_Destroy(1) != BZ_MEM_OK)
        ReportFatal("Cannot destroy temporary memory stack", __LINE__);
    if (gChildPool && bz_Pool_Destroy(gChildPool) != BZ_MEM_OK)
        ReportFatal("Cannot destroy child memory pool", __LINE__);
    if (gLinks)
        gPrim.freeRaw(gLinks);
    gLinks = nullptr;
    gLinkCap = gLinkCount = 0;
    gInitialised = false;
}

void *InlineScratchTake()
{
    gScratch = bz_TempStack_Alloc(1, BZ_MEM_SCRATCH_SIZE, 0);
    return gScratch;
}

void InlineScratchGive()
{
    bz_TempStack_Free(1, gScratch);
    gScratch = nullptr;
}

// --- temporary stacks ----------------------------------------------------------------------

int32_t bz_TempStack_Create(uint32_t size, int32_t overflowAllowed)
{
    bzgLastError = BZ_ERROR_NO_MEMORY;
    for (int32_t i = 0; i < BZ_MEM_MAX_TEMP_STACKS; ++i)
    {
        if (gStacks[i])
            continue;
        auto *s = static_cast<TempStack *>(bz_MemAlloc(sizeof(TempStack), BZ_MEM_CLEAR));
        uint8_t *buffer = s ? static_cast<uint8_t *>(bz_MemAlloc(size, BZ_MEM_LABEL, "")) : nullptr;
        if (!buffer)
        {
            bz_MemFree(s);
            bzgMemStatus = BZ_MEM_NO_STACK;
            return 0;
        }
        s->base = s->top = buffer;
        s->end = buffer + size;
        s->size = size;
        s->overflowAllowed = overflowAllowed;
        gStacks[i] = s;
        bzgMemStatus = BZ_MEM_OK;
        return i + 1;
    }
    bzgMemStatus = BZ_MEM_NO_STACK;
    return 0;
}

void *bz_TempStack_Alloc(int32_t id, uint32_t size, uint32_t flags, ...)
{
    bzgLastError = BZ_ERROR_NO_MEMORY;
    TempStack *s = StackOf(id);
    if (!s)
    {
        bzgMemStatus = BZ_MEM_BAD_ID;
        return nullptr;
    }
    if (size == 0)
        return nullptr;
    uint32_t a = BlockAlignment(flags);
    if (!a)
    {
        bzgMemStatus = BZ_MEM_BAD_ALIGNMENT;
        return nullptr;
    }
    if (size > BZ_MEM_MAX_BLOCK)
    {
        bzgMemStatus = BZ_MEM_RAW_FAILED;
        return nullptr;
    }
    uintptr_t top = reinterpret_cast<uintptr_t>(s->top);
    uintptr_t block = RoundDown(top + a + kHeaderSize - 1, a);
    uintptr_t blockEnd = block + size;
    va_list ap;
    va_start(ap, flags);
    if (blockEnd > reinterpret_cast<uintptr_t>(s->end))
    {
        if (!s->overflowAllowed)
        {
            va_end(ap);
            bzgMemStatus = BZ_MEM_STACK_FULL;
            return nullptr;
        }
        // Only the source argument applies to a stack block.
        const void *src = (flags & BZ_MEM_SOURCE) ? va_arg(ap, const void *) : nullptr;
        va_end(ap);
        void *heap = bz_MemAlloc(
            size, flags & ~(BZ_MEM_LABEL | BZ_MEM_EXTRA | BZ_MEM_PARENT | BZ_MEM_SOURCE));
        if (!heap)
            return nullptr;
        int32_t status = bzgMemStatus;
        OverflowEntry *slot = nullptr;
        for (OverflowNode *n = s->overflow; n && !slot; n = n->next)
        {
            for (OverflowEntry &e : n->entries)
            {
                if (!e.block)
                {
                    slot = &e;
                    break;
                }
            }
        }
        if (!slot)
        {
            auto *node = static_cast<OverflowNode *>(
                bz_MemAlloc(sizeof(OverflowNode), BZ_MEM_CLEAR | BZ_MEM_LABEL, ""));
            if (!node)
            {
                bz_MemFree(heap);
                bzgMemStatus = BZ_MEM_NO_OVERFLOW_ENTRY;
                return nullptr;
            }
            node->next = s->overflow;
            s->overflow = node;
            slot = &node->entries[0];
        }
        slot->block = heap;
        slot->depth = s->depth;
        if (src)
            MemCopy(size, heap, src);
        bzgMemStatus = status;
        return heap;
    }
    uint8_t *oldTop = s->top;
    s->top = reinterpret_cast<uint8_t *>((blockEnd + 3) & ~uintptr_t(3));
    if (s->top > s->end)
        s->top = s->end;
    void *result = reinterpret_cast<void *>(block);
    if (flags & BZ_MEM_CLEAR)
        MemFill(oldTop, 0, blockEnd - reinterpret_cast<uintptr_t>(oldTop));
    BlockHeader *h = HeaderOf(result);
    h->parent = nullptr;
    h->sizePad = (static_cast<uint32_t>((block - top - kHeaderSize) / 4) & 31) | (size << 5);
    h->reserved = 0;
    h->children = nullptr;
    if (flags & BZ_MEM_SOURCE)
    {
        const void *src = va_arg(ap, const void *);
        if (src)
            MemCopy(size, result, src);
    }
    va_end(ap);
    bzgMemStatus = BZ_MEM_OK;
    return result;
}

int32_t bz_TempStack_Free(int32_t id, void *block)
{
    bzgLastError = BZ_ERROR_NO_MEMORY;
    TempStack *s = StackOf(id);
    if (!s)
        return bzgMemStatus = BZ_MEM_BAD_ID;
    if (!block)
        return bzgMemStatus = BZ_MEM_OK;
    auto *b = static_cast<uint8_t *>(block);
    if (b >= s->base + kHeaderSize && b <= s->end)
    {
        BlockHeader *h = HeaderOf(block);
        uint8_t *start = b - kHeaderSize - 4 * (h->sizePad & 31);
        if (start < s->base)
            return bzgMemStatus = BZ_MEM_NOT_IN_STACK;
        if (start > s->top)
            return bzgMemStatus = BZ_MEM_ABOVE_TOP;
        s->top = start;
        return bzgMemStatus = BZ_MEM_OK;
    }
    if (s->overflowAllowed)
    {
        for (OverflowNode *n = s->overflow; n; n = n->next)
        {
            for (OverflowEntry &e : n->entries)
            {
                if (e.block == block)
                {
                    e.block = nullptr;
                    bz_MemFree(block);
                    return bzgMemStatus = BZ_MEM_OK;
                }
            }
        }
    }
    return bzgMemStatus = BZ_MEM_NOT_IN_STACK;
}

int32_t bz_TempStack_PushMark(int32_t id)
{
    bzgLastError = BZ_ERROR_NO_MEMORY;
    TempStack *s = StackOf(id);
    if (!s)
        return bzgMemStatus = BZ_MEM_BAD_ID;
    if (s->depth >= BZ_MEM_MAX_MARKS)
        return bzgMemStatus = BZ_MEM_TOO_MANY_MARKS;
    s->marks[s->depth++] = s->top;
    return bzgMemStatus = BZ_MEM_OK;
}

int32_t bz_TempStack_PopMark(int32_t id)
{
    bzgLastError = BZ_ERROR_NO_MEMORY;
    TempStack *s = StackOf(id);
    if (!s)
        return bzgMemStatus = BZ_MEM_BAD_ID;
    if (s->depth == 0)
        return bzgMemStatus = BZ_MEM_NO_MARK;
    if (s->overflowAllowed)
        FreeOverflow(s, s->depth, false);
    --s->depth;
    s->top = s->marks[s->depth];
    return bzgMemStatus = BZ_MEM_OK;
}

uint32_t bz_TempStack_SpaceLeft(int32_t id, uint32_t flags)
{
    TempStack *s = StackOf(id);
    uint32_t a = BlockAlignment(flags);
    if (!s || !a)
        return 0;
    uintptr_t block = RoundDown(reinterpret_cast<uintptr_t>(s->top) + a + kHeaderSize - 1, a);
    uintptr_t end = reinterpret_cast<uintptr_t>(s->end);
    return block < end ? static_cast<uint32_t>(end - block) : 0;
}

uint32_t bz_TempStack_GetSize(int32_t id)
{
    TempStack *s = StackOf(id);
    return s ? s->size : 0;
}

uint32_t bz_TempStack_DefaultSize()
{
    return gTempStackSize;
}

int32_t bz_TempStack_GetId()
{
    return StackOf(1) ? 1 : 0;
}

int32_t bz_TempStack_Destroy(int32_t id)
{
    bzgLastError = BZ_ERROR_NO_MEMORY;
    TempStack *s = StackOf(id);
    if (!s)
        return bzgMemStatus = BZ_MEM_BAD_ID;
    FreeOverflow(s, 0, true);
    while (OverflowNode *n = s->overflow)
    {
        s->overflow = n->next;
        bz_MemFree(n);
    }
    bz_MemFree(s->base);
    bz_MemFree(s);
    gStacks[id - 1] = nullptr;
    return bzgMemStatus = BZ_MEM_OK;
}

// --- growable buffers ----------------------------------------------------------------------

int32_t bz_MemBuffer_Create(uint32_t initialSize, uint32_t growthStep, uint32_t reserve)
{
    for (int32_t i = 0; i < BZ_MEM_MAX_BUFFERS; ++i)
    {
        MemBuffer &mb = gBuffers[i];
        if (mb.base)
            continue;
        mb.base = static_cast<uint8_t *>(bz_MemAlloc(initialSize, 0));
        if (!mb.base)
            return 0;
        mb.growth = growthStep;
        mb.reserve = reserve;
        mb.size = initialSize;
        return i + 1;
    }
    return 0;
}

void bz_MemBuffer_Ensure(int32_t id, uint8_t **cursor)
{
    if (id < 1 || id > BZ_MEM_MAX_BUFFERS || !cursor)
        return;
    MemBuffer &mb = gBuffers[id - 1];
    if (!mb.base || mb.growth == 0)
        return;
    int64_t offset = *cursor ? *cursor - mb.base : 0;
    while (offset > int64_t(mb.size) - int64_t(mb.reserve))
    {
        uint64_t size = uint64_t(mb.size) + mb.growth;
        if (size > BZ_MEM_MAX_BLOCK)
            break;
        auto *base = static_cast<uint8_t *>(bz_MemRealloc(mb.base, uint32_t(size), 0));
        if (!base)
            break; // the buffer stays as it was
        mb.base = base;
        mb.size = uint32_t(size);
    }
    *cursor = mb.base + offset;
}

uint8_t *bz_MemBuffer_Base(int32_t id)
{
    if (id < 1 || id > BZ_MEM_MAX_BUFFERS)
        return nullptr;
    return gBuffers[id - 1].base;
}

uint32_t bz_MemBuffer_Offset(const uint8_t *pointer, int32_t id)
{
    uint8_t *base = bz_MemBuffer_Base(id);
    return base && pointer ? static_cast<uint32_t>(pointer - base) : 0;
}

void bz_MemBuffer_Free(int32_t id)
{
    if (id < 1 || id > BZ_MEM_MAX_BUFFERS)
        return;
    bz_MemFree(gBuffers[id - 1].base);
    gBuffers[id - 1] = {};
}

void bz_MemBuffer_ClearAll()
{
    for (int32_t id = 1; id <= BZ_MEM_MAX_BUFFERS; ++id)
        bz_MemBuffer_Free(id);
}

// --- checked copies ------------------------------------------------------------------------

void *MemCopy(size_t length, void *dest, const void *src)
{
    if (length == 0)
    {
        if (bzgMemDebugFlags & 0x10)
            MemDiagnostic("MemCopy called with zero length");
        return nullptr;
    }
    return gPrim.copy(dest, src, length);
}

void *MemMove(size_t length, void *dest, const void *src)
{
    if (length == 0)
    {
        if (bzgMemDebugFlags & 0x10)
            MemDiagnostic("MemMove called with zero length");
        return nullptr;
    }
    return gPrim.move(dest, src, length);
}

void *MemFill(void *dest, int value, size_t length)
{
    if (length == 0)
    {
        if (bzgMemDebugFlags & 0x10)
            MemDiagnostic("MemFill called with zero length");
        return nullptr;
    }
    return gPrim.fill(dest, value, length);
}

int bz_MemCompare(const void *a, const void *b, size_t length)
{
    return gPrim.compare(a, b, length);
}

void *bz_MemMoveRaw(void *dest, const void *src, size_t length)
{
    return gPrim.move(dest, src, length);
}

void bz_MemWriteAdvance(uint8_t **cursor, const void *src, size_t length)
{
    MemCopy(length, *cursor, src);
    *cursor += length;
}

void bz_MemReadAdvance(const uint8_t **cursor, void *dest, size_t length)
{
    MemCopy(length, dest, *cursor);
    *cursor += length;
}
