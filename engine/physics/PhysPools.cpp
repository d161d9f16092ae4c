// The element pools and block chains of the physics memory module.
#include "core/Debug.h"
#include "core/Error.h"
#include "core/Memory.h"
#include "physics/PhysMemory.h"

namespace
{
constexpr uint32_t kPerBlock[2] = {24, 32};
constexpr uint32_t kSizes[2] = {BZ_PHYS_SMALL_ELEMENT_BYTES, BZ_PHYS_LARGE_ELEMENT_BYTES};
constexpr size_t kLinkWord = 13;

static_assert((kLinkWord + 1) * sizeof(void *) <= BZ_PHYS_BLOCK_BYTES,
              "the link word lies inside a block");

int32_t gPools[2];
} // namespace

int32_t bz_PhysMem_CreatePools()
{
    if (gPools[0])
        return BZ_ERROR_NONE;
    for (int i = 0; i < 2; ++i)
    {
        gPools[i] = bz_Pool_Create(kSizes[i], kPerBlock[i], 1, 0);
        if (!gPools[i])
        {
            bz_PhysMem_DestroyPools();
            return bzgLastError = BZ_ERROR_NO_MEMORY;
        }
    }
    return BZ_ERROR_NONE;
}

void bz_PhysMem_DestroyPools()
{
    for (int32_t &id : gPools)
    {
        if (id)
            bz_Pool_Destroy(id);
        id = 0;
    }
}

void *bz_PhysMem_TakeElement(int32_t pool)
{
    if (pool < 0 || pool > 1 || !gPools[pool])
        return nullptr;
    return bz_Pool_Alloc(gPools[pool], BZ_MEM_CLEAR);
}

void bz_PhysMem_GiveElement(int32_t pool, void *element)
{
    BZ_ASSERT(pool >= 0 && pool <= 1);
    if (element && pool >= 0 && pool <= 1 && gPools[pool])
        bz_Pool_FreeElement(gPools[pool], element);
}

void *bz_PhysMem_AllocBlock()
{
    return bz_MemAlloc(BZ_PHYS_BLOCK_BYTES, BZ_MEM_CLEAR);
}

void **bz_PhysMem_BlockLink(void *block)
{
    BZ_ASSERT(block);
    return static_cast<void **>(block) + kLinkWord;
}

void bz_PhysMem_FreeBlockChain(void *first)
{
    // Reverse the chain in place, then free from its old end.
    void *reversed = nullptr;
    while (first)
    {
        void *next = *bz_PhysMem_BlockLink(first);
        *bz_PhysMem_BlockLink(first) = reversed;
        reversed = first;
        first = next;
    }
    while (reversed)
    {
        void *next = *bz_PhysMem_BlockLink(reversed);
        bz_MemFree(reversed);
        reversed = next;
    }
}

void bz_PhysMem_RemoveChild(void *parent, void *child)
{
    BZ_ASSERT(parent && child);
    if (parent && child)
        bz_MemChild_Remove(parent, child);
}

void *bz_PhysMem_TakeChildElement(int32_t pool, void *parent)
{
    BZ_ASSERT(parent);
    if (pool < 0 || pool > 1 || !gPools[pool] || !parent)
        return nullptr;
    return bz_Pool_Alloc(gPools[pool], BZ_MEM_CLEAR | BZ_MEM_PARENT, parent);
}

void bz_PhysMem_RemoveChildElement(void *parent, int32_t pool, void *element)
{
    BZ_ASSERT(parent && element);
    if (parent && element && pool >= 0 && pool <= 1 && gPools[pool])
        bz_MemChild_Remove(parent, element);
}

void *bz_PhysMem_AllocChildBlock(void *parent)
{
    BZ_ASSERT(parent);
    if (!parent)
        return nullptr;
    return bz_MemAlloc(BZ_PHYS_BLOCK_BYTES, BZ_MEM_CLEAR | BZ_MEM_PARENT, parent);
}

void bz_PhysMem_RemoveChildBlock(void *parent, void *block)
{
    bz_PhysMem_RemoveChild(parent, block);
}

void bz_PhysMem_Open() {}

void bz_PhysMem_Close() {}
