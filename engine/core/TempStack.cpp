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

TempStack *gStacks[BZ_MEM_MAX_TEMP_STACKS];
void *gScratch;

TempStack *StackOf(int32_t id)
{
    if (id < 1 || id > BZ_MEM_MAX_TEMP_STACKS)
        return nullptr;
    return gStacks[id - 1];
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
    if (id == 1)
        gScratch = nullptr; // it lay in the buffer just released
    return bzgMemStatus = BZ_MEM_OK;
}
