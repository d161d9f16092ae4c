// Temporary stacks of the memory manager: scratch blocks taken by moving a top and released by
// moving it back, marks that release everything taken since, blocks that do not fit taken from
// the heap when the stack allows it, and the inline scratch block of the default stack.
#include "core/Memory.h"

#include "core/Error.h"
#include "core/MemoryInternal.h"

using namespace bzMem;

namespace
{
struct OverflowEntry
{
    void *block;
    int32_t depth; // the mark depth when the block was taken
};

constexpr uint32_t kEntriesPerNode = 15;

struct OverflowNode
{
    OverflowNode *next; // the node before, with older entries
    OverflowEntry entries[kEntriesPerNode];
};

// The overflow list is a stack of entries in the order the blocks were taken, newest node
// first; only the newest node may be partly used. An entry's depth is never above the
// current mark depth (a pop frees the entries of its depth), and a new entry takes the current
// depth, so the depths never fall from older to newer entries: the blocks of the current depth
// are always the newest ones, and a pop of a mark takes only them off the top. A released
// block's entry is taken out and the newer ones close up, so the list never has gaps.
struct TempStack
{
    uint8_t *base;
    uint8_t *top;
    uint8_t *end;
    uint32_t size;
    int32_t overflowAllowed;
    OverflowNode *overflow;
    uint32_t overflowUsed; // entries in use in the newest node
    OverflowNode *spare;   // one emptied node, kept so that a burst does not make and free one
    int32_t depth;
    uint8_t *marks[BZ_MEM_MAX_MARKS];
};

TempStack *gStacks[BZ_MEM_MAX_TEMP_STACKS];
void *gScratch;

TempStack *StackOf(int32_t id)
{
    if (id < 1 || id > BZ_MEM_MAX_TEMP_STACKS)
        return nullptr;
    return gStacks[id - 1];
}

// The newest overflow entry, or null when the list is empty.
OverflowEntry *NewestEntry(TempStack *s)
{
    return s->overflow ? &s->overflow->entries[s->overflowUsed - 1] : nullptr;
}

// Adds an entry for the block at the current depth; false when no node could be had.
bool PushEntry(TempStack *s, void *block)
{
    if (!s->overflow || s->overflowUsed == kEntriesPerNode)
    {
        OverflowNode *node = s->spare;
        s->spare = nullptr;
        if (!node)
        {
            node = static_cast<OverflowNode *>(
                bz_MemAlloc(sizeof(OverflowNode), BZ_MEM_CLEAR | BZ_MEM_LABEL, ""));
            if (!node)
                return false;
        }
        node->next = s->overflow;
        s->overflow = node;
        s->overflowUsed = 0;
    }
    s->overflow->entries[s->overflowUsed++] = {block, s->depth};
    return true;
}

// Drops the newest entry (its block is already released); an emptied node goes.
void DropNewestEntry(TempStack *s)
{
    if (--s->overflowUsed > 0)
        return;
    OverflowNode *node = s->overflow;
    s->overflow = node->next;
    s->overflowUsed = s->overflow ? kEntriesPerNode : 0;
    if (s->spare)
        bz_MemFree(node);
    else
        s->spare = node;
}

// Frees the overflow blocks taken at the current depth: the newest entries.
void FreeOverflowAtDepth(TempStack *s)
{
    while (OverflowEntry *e = NewestEntry(s))
    {
        if (e->depth != s->depth)
            break;
        bz_MemFree(e->block);
        DropNewestEntry(s);
    }
}

// Frees the block and takes its entry out of the overflow list; false when no entry holds the
// block. The search starts at the newest entry, where blocks released in the reverse order of
// taking are found at once; the entries newer than the one taken out each move one place down.
bool FreeOverflowBlock(TempStack *s, void *block)
{
    OverflowNode *node = s->overflow;
    uint32_t i = s->overflowUsed; // the entry looked at is node->entries[i - 1]
    while (node && node->entries[i - 1].block != block)
    {
        if (--i == 0)
        {
            node = node->next;
            i = kEntriesPerNode;
        }
    }
    if (!node)
        return false;
    OverflowNode *n = s->overflow;
    uint32_t j = s->overflowUsed - 1;
    OverflowEntry carry = n->entries[j];
    while (n != node || j != i - 1)
    {
        if (j == 0)
        {
            n = n->next;
            j = kEntriesPerNode;
        }
        std::swap(carry, n->entries[--j]);
    }
    DropNewestEntry(s);
    bz_MemFree(block);
    return true;
}

// A block that does not fit in the stack: from the heap when the stack allows it, entered in
// the overflow list at the current mark depth so that popping that mark frees it. The status
// is the heap allocation's.
void *AllocPastEnd(TempStack *s, uint32_t size, uint32_t flags, const void *src)
{
    if (!s->overflowAllowed)
    {
        bzgMemStatus = BZ_MEM_STACK_FULL;
        return nullptr;
    }
    void *heap =
        bz_MemAlloc(size, flags & ~(BZ_MEM_LABEL | BZ_MEM_EXTRA | BZ_MEM_PARENT | BZ_MEM_SOURCE));
    if (!heap)
        return nullptr;
    int32_t status = bzgMemStatus;
    if (!PushEntry(s, heap))
    {
        bz_MemFree(heap);
        bzgMemStatus = BZ_MEM_NO_OVERFLOW_ENTRY;
        return nullptr;
    }
    if (src)
        MemCopy(size, heap, src);
    bzgMemStatus = status;
    return heap;
}
} // namespace

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
    // Set on success too, as on every memory call: the last error then always reads "Out of
    // memory for operation" after one, so a caller handed a null block can report it as it
    // stands, whichever call failed. The detail goes to bzgMemStatus.
    bzgLastError = BZ_ERROR_NO_MEMORY;
    // A stack block takes only the source pointer, as its first optional argument.
    const void *src = nullptr;
    if (flags & BZ_MEM_SOURCE)
    {
        va_list ap;
        va_start(ap, flags);
        src = va_arg(ap, const void *);
        va_end(ap);
    }
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
    if (blockEnd > reinterpret_cast<uintptr_t>(s->end))
        return AllocPastEnd(s, size, flags, src);

    uint8_t *oldTop = s->top;
    s->top = reinterpret_cast<uint8_t *>((blockEnd + 3) & ~static_cast<uintptr_t>(3));
    if (s->top > s->end)
        s->top = s->end;
    void *result = reinterpret_cast<void *>(block);
    if (flags & BZ_MEM_CLEAR)
        MemFill(oldTop, 0, blockEnd - reinterpret_cast<uintptr_t>(oldTop));
    BlockHeader *h = HeaderOf(result);
    WriteHeader(h, size, static_cast<uint32_t>((block - top - kHeaderSize) / 4));
    if (src)
        MemCopy(size, result, src);
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
        uint8_t *start = b - kHeaderSize - 4 * BlockPadWords(h);
        if (start < s->base)
            return bzgMemStatus = BZ_MEM_NOT_IN_STACK;
        if (start > s->top)
            return bzgMemStatus = BZ_MEM_ABOVE_TOP;
        s->top = start;
        return bzgMemStatus = BZ_MEM_OK;
    }
    if (s->overflowAllowed && FreeOverflowBlock(s, block))
        return bzgMemStatus = BZ_MEM_OK;
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
        FreeOverflowAtDepth(s);
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
    while (OverflowEntry *e = NewestEntry(s))
    {
        bz_MemFree(e->block);
        DropNewestEntry(s);
    }
    bz_MemFree(s->spare);
    bz_MemFree(s->base);
    bz_MemFree(s);
    gStacks[id - 1] = nullptr;
    if (id == 1)
        gScratch = nullptr; // it lay in the buffer just released
    return bzgMemStatus = BZ_MEM_OK;
}
