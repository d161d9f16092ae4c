// Child lists of the memory manager: a block's list of the heap blocks and pool elements that
// are freed with it, the pool of list nodes, and the index from a linked pool element to its
// node, so that freeing an element on its own can take it out of its parent's list.
#include "core/Memory.h"

#include "core/Error.h"
#include "core/MemoryInternal.h"

namespace bzMem
{
int32_t gChildPool;
}

using namespace bzMem;

namespace
{
// Pool children by element address, so that freeing an element can unlink it.
struct LinkEntry
{
    void *child;
    ChildNode *node;
};

LinkEntry *gLinks;
uint32_t gLinkCap;
uint32_t gLinkCount;

// --- the index of linked pool elements -------------------------------------------------------

inline uint32_t LinkSlot(const void *p)
{
    uint64_t h =
        (static_cast<uint64_t>(reinterpret_cast<uintptr_t>(p)) >> 3) * 0x9E3779B97F4A7C15ull;
    return static_cast<uint32_t>(h >> 32) & (gLinkCap - 1);
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

ChildNode *TakeNode()
{
    Pool *cp = PoolOf(gChildPool);
    if (!cp)
        return nullptr;
    if (cp->used == cp->capacity && !PoolGrow(cp))
        return nullptr;
    return static_cast<ChildNode *>(PoolTakeRaw(cp));
}

// The node that holds a pool element in a parent's list, or null.
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

void ReturnNode(ChildNode *node)
{
    Pool *cp = PoolOf(gChildPool);
    if (cp)
        PoolGiveRaw(cp, node);
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
} // namespace

namespace bzMem
{
void ReleaseLinkIndex()
{
    if (gLinks)
        gPrim.freeRaw(gLinks);
    gLinks = nullptr;
    gLinkCap = gLinkCount = 0;
}

// --- list nodes ------------------------------------------------------------------------------

bool CreateChildPool()
{
    gChildPool = bz_Pool_Create(sizeof(ChildNode), 512, 5, 0);
    return gChildPool != 0;
}

void LeaveParent(BlockHeader *h, void *block)
{
    if (ChildNode *node = FindNode(h->parent, block))
        UnlinkNode(node);
    h->parent = nullptr;
}

void UnlinkElement(const void *element)
{
    if (ChildNode *node = LinkFind(element))
        UnlinkNode(node);
}

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
} // namespace bzMem

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
