// The element pools of the navigation mesh: obstacle entries of face groups, edge links of move
// states' faces and the entries of move states' obstacle lists.
#include "scene/NavMesh.h"

#include "core/Memory.h"

namespace
{
// Element size (the records below; with 4-byte pointers 32, 52 and 8 bytes), elements per
// block and the blocks made at once.
constexpr uint32_t kElementBytes[BZ_NAV_POOL_COUNT] = {sizeof(bzNavObstacle), sizeof(bzNavEdgeLink),
                                                       sizeof(bzNavObstacleEntry)};
constexpr uint32_t kPerBlock[BZ_NAV_POOL_COUNT] = {16, 16, 32};
constexpr uint32_t kBlocks[BZ_NAV_POOL_COUNT] = {16, 4, 8};

int32_t gPools[BZ_NAV_POOL_COUNT];

bool Exists(int32_t pool)
{
    return gPools[pool] != 0;
}
} // namespace

bzErrorCode bz_NavMesh_InitPools()
{
    for (int32_t i = 0; i < BZ_NAV_POOL_COUNT; i++)
    {
        if (Exists(i))
            continue;
        gPools[i] = bz_Pool_Create(kElementBytes[i], kPerBlock[i], kBlocks[i], 0);
        if (!gPools[i])
            return bzgLastError = BZ_ERROR_NO_MEMORY;
    }
    return BZ_ERROR_NONE;
}

int32_t bz_NavMesh_PoolId(int32_t pool)
{
    return pool >= 0 && pool < BZ_NAV_POOL_COUNT && Exists(pool) ? gPools[pool] : 0;
}

void *bz_NavMesh_PoolTake(int32_t pool)
{
    if (pool < 0 || pool >= BZ_NAV_POOL_COUNT)
        return nullptr;
    if (!Exists(pool) && bz_NavMesh_InitPools() != BZ_ERROR_NONE)
        return nullptr;
    void *element = bz_Pool_Alloc(gPools[pool], BZ_MEM_CLEAR);
    if (!element)
        bzgLastError = BZ_ERROR_NO_MEMORY;
    return element;
}

void bz_NavMesh_PoolGive(int32_t pool, void *element)
{
    if (element && pool >= 0 && pool < BZ_NAV_POOL_COUNT && Exists(pool))
        bz_Pool_FreeElement(gPools[pool], element);
}

uint32_t bz_NavMesh_PoolsInUse()
{
    uint32_t used = 0;
    for (int32_t i = 0; i < BZ_NAV_POOL_COUNT; i++)
        if (Exists(i))
            used += bz_Pool_GetUsed(gPools[i]);
    return used;
}

int32_t bz_NavMesh_RenewPools()
{
    if (bz_NavMesh_PoolsInUse() != 0)
        return 0;
    for (int32_t &id : gPools)
    {
        if (id)
            bz_Pool_Destroy(id);
        id = 0;
    }
    return bz_NavMesh_InitPools() == BZ_ERROR_NONE ? 1 : 0;
}
