#include "collision/FaceList.h"

#include "collision/DynamicsLink.h"
#include "core/Debug.h"
#include "core/Memory.h"
#include "scene/Lump.h"

#include <cstring>

namespace
{
constexpr int32_t kNarrowGrowStep = 10;
constexpr int32_t kGatherGrowStep = 10;
// A window opens at the cache's start when fewer entries than this are left.
constexpr int32_t kWindowReserve = 5;

uint32_t EntrySize(const bzDynFaceList *list)
{
    return list->compact ? sizeof(bzDynFaceHit *) : sizeof(bzDynFaceHit);
}

bzDynFaceHit *Whole(const bzDynFaceList *list)
{
    return static_cast<bzDynFaceHit *>(list->entries);
}

// A list record with an array of capacity entries as its child block; null when either cannot
// be had.
bzDynFaceList *MakeList(void *parent, int32_t capacity, int32_t growStep, int32_t compact)
{
    if (capacity < 0)
        return nullptr;
    auto *list = static_cast<bzDynFaceList *>(
        bz_MemAlloc(sizeof(bzDynFaceList), BZ_MEM_CLEAR | BZ_MEM_PARENT, parent));
    if (!list)
        return nullptr;
    list->compact = compact;
    list->growStep = growStep;
    if (capacity > 0)
    {
        list->entries = bz_MemAlloc(static_cast<uint32_t>(capacity) * EntrySize(list),
                                    BZ_MEM_CLEAR | BZ_MEM_PARENT, list);
        if (!list->entries)
        {
            bz_MemFree(list);
            return nullptr;
        }
    }
    list->capacity = capacity;
    return list;
}

bzDynFaceList *MakeTempList(int32_t stack, int32_t capacity, int32_t compact)
{
    if (capacity < 0)
        return nullptr;
    auto *list = static_cast<bzDynFaceList *>(
        bz_TempStack_Alloc(stack, sizeof(bzDynFaceList), BZ_MEM_CLEAR));
    if (!list)
        return nullptr;
    list->compact = compact;
    const uint32_t size = static_cast<uint32_t>(capacity) * EntrySize(list);
    list->entries = bz_TempStack_Alloc(stack, size > 0 ? size : 1, BZ_MEM_CLEAR);
    if (!list->entries)
    {
        bz_TempStack_Free(stack, list);
        return nullptr;
    }
    list->capacity = capacity;
    return list;
}

bzDynCollisionCache *MakeCache(void *parent, bzLump *root, int32_t narrowCapacity,
                               int32_t narrowGrows, uint32_t lumpMask, uint32_t lumpValue,
                               uint32_t materialMask, uint32_t materialValue)
{
    auto *cache = static_cast<bzDynCollisionCache *>(
        bz_MemAlloc(sizeof(bzDynCollisionCache), BZ_MEM_CLEAR | BZ_MEM_PARENT, parent));
    if (!cache)
        return nullptr;
    cache->root = root;
    cache->lumpMask = lumpMask;
    cache->lumpValue = lumpValue;
    cache->materialMask = materialMask;
    cache->materialValue = materialValue;
    if (narrowCapacity > 0)
    {
        // A block of its own, released with the cache by bz_DynCollisionCache_Free.
        cache->narrowList = MakeList(nullptr, narrowCapacity, narrowGrows ? kNarrowGrowStep : 0, 1);
        if (!cache->narrowList)
        {
            bz_MemFree(cache);
            return nullptr;
        }
    }
    return cache;
}

// Moves the list's entries into a new array of the capacity (whole entries when whole is set);
// false when it cannot be had.
bool Reallocate(bzDynFaceList *list, int32_t capacity, int32_t keep, uint32_t entrySize)
{
    void *array = bz_MemAlloc(static_cast<uint32_t>(capacity > 0 ? capacity : 1) * entrySize,
                              BZ_MEM_CLEAR | BZ_MEM_PARENT, list);
    if (!array)
        return false;
    if (keep > 0 && list->entries)
        std::memcpy(array, list->entries, static_cast<size_t>(keep) * entrySize);
    if (list->entries)
        bz_MemFree(list->entries);
    list->entries = array;
    list->capacity = capacity;
    return true;
}

int32_t WindowStart(const bzDynFaceList *list)
{
    const bzDynFaceList *cache = list->rollingCache;
    return static_cast<int32_t>(Whole(list) - Whole(cache));
}
} // namespace

bzDynFaceHit *bz_DynFaceList_Entry(const bzDynFaceList *list, int32_t i)
{
    if (list->compact)
        return static_cast<bzDynFaceHit **>(list->entries)[i];
    return Whole(list) + i;
}

bzDynFaceList *bz_DynFaceList_Create(int32_t capacity)
{
    return MakeList(nullptr, capacity, 0, 0);
}

bzDynFaceList *bz_DynFaceList_CreateChild(void *parent, int32_t capacity)
{
    return MakeList(parent, capacity, 0, 0);
}

bzDynFaceList *bz_DynFaceList_CreateGrowing(void *parent, int32_t capacity, int32_t growStep)
{
    return MakeList(parent, capacity, growStep > 0 ? growStep : 0, 0);
}

bzDynFaceList *bz_DynFaceList_CreateCompact(int32_t capacity)
{
    return MakeList(nullptr, capacity, 0, 1);
}

bzDynFaceList *bz_DynFaceList_CreateOnCache(void *parent, bzDynFaceList *rollingCache)
{
    if (!rollingCache || rollingCache->compact || rollingCache->rollingCache)
        return nullptr;
    bzDynFaceList *list = MakeList(parent, 0, 0, 0);
    if (!list)
        return nullptr;
    list->rollingCache = rollingCache;
    list->entries = rollingCache->entries;
    list->generation = rollingCache->generation;
    return list;
}

bzDynFaceList *bz_DynFaceList_CreateCompactTemp(int32_t stack, int32_t capacity)
{
    return MakeTempList(stack, capacity, 1);
}

bzDynFaceList *bz_DynFaceList_CreateTemp(int32_t stack, int32_t capacity)
{
    return MakeTempList(stack, capacity, 0);
}

void bz_DynFaceList_FreeTemp(int32_t stack, bzDynFaceList *list)
{
    if (!list)
        return;
    bz_TempStack_Free(stack, list->entries);
    bz_TempStack_Free(stack, list);
}

void bz_DynFaceList_Free(bzDynFaceList *list)
{
    if (list)
        bz_MemFree(list);
}

void bz_DynFaceList_FreeChild(void *parent, bzDynFaceList *list)
{
    // The block leaves its parent's list as it is freed.
    (void)parent;
    bz_DynFaceList_Free(list);
}

bzDynVertexList *bz_DynVertexList_Create(void *parent, int32_t capacity)
{
    return bz_DynVertexList_CreateGrowing(parent, capacity, 0);
}

bzDynVertexList *bz_DynVertexList_CreateGrowing(void *parent, int32_t capacity, int32_t growStep)
{
    if (capacity < 0)
        return nullptr;
    auto *list = static_cast<bzDynVertexList *>(
        bz_MemAlloc(sizeof(bzDynVertexList), BZ_MEM_CLEAR | BZ_MEM_PARENT, parent));
    if (!list)
        return nullptr;
    list->growStep = growStep > 0 ? growStep : 0;
    if (capacity > 0)
    {
        list->entries = static_cast<bzDynVertexHit *>(
            bz_MemAlloc(static_cast<uint32_t>(capacity) * sizeof(bzDynVertexHit),
                        BZ_MEM_CLEAR | BZ_MEM_PARENT, list));
        if (!list->entries)
        {
            bz_MemFree(list);
            return nullptr;
        }
    }
    list->capacity = capacity;
    return list;
}

void bz_DynVertexList_Free(bzDynVertexList *list)
{
    if (list)
        bz_MemFree(list);
}

bzDynCollisionCache *bz_DynCollisionCache_Create(void *parent, bzLump *root,
                                                 bzDynFaceList *gatherList, int32_t narrowCapacity,
                                                 int32_t narrowGrows, uint32_t lumpMask,
                                                 uint32_t lumpValue, uint32_t materialMask,
                                                 uint32_t materialValue)
{
    bzDynCollisionCache *cache = MakeCache(parent, root, narrowCapacity, narrowGrows, lumpMask,
                                           lumpValue, materialMask, materialValue);
    if (cache)
        cache->gatherList = gatherList;
    return cache;
}

bzDynCollisionCache *bz_DynCollisionCache_CreateOnCache(
    void *parent, bzLump *root, int32_t narrowCapacity, int32_t narrowGrows, uint32_t lumpMask,
    uint32_t lumpValue, uint32_t materialMask, uint32_t materialValue, bzDynFaceList *rollingCache)
{
    bzDynCollisionCache *cache = MakeCache(parent, root, narrowCapacity, narrowGrows, lumpMask,
                                           lumpValue, materialMask, materialValue);
    if (!cache)
        return nullptr;
    cache->gatherList = bz_DynFaceList_CreateOnCache(cache, rollingCache);
    if (!cache->gatherList)
    {
        bz_DynCollisionCache_Free(cache);
        return nullptr;
    }
    return cache;
}

bzDynCollisionCache *bz_DynCollisionCache_CreateWithList(void *parent, bzLump *root,
                                                         int32_t narrowCapacity,
                                                         int32_t narrowGrows, uint32_t lumpMask,
                                                         uint32_t lumpValue, uint32_t materialMask,
                                                         uint32_t materialValue,
                                                         int32_t gatherCapacity, int32_t fixedSize)
{
    bzDynCollisionCache *cache = MakeCache(parent, root, narrowCapacity, narrowGrows, lumpMask,
                                           lumpValue, materialMask, materialValue);
    if (!cache)
        return nullptr;
    cache->gatherList =
        MakeList(cache, gatherCapacity, fixedSize ? 0 : kGatherGrowStep, /*compact*/ 0);
    if (!cache->gatherList)
    {
        bz_DynCollisionCache_Free(cache);
        return nullptr;
    }
    return cache;
}

void bz_DynCollisionCache_Free(bzDynCollisionCache *cache)
{
    if (!cache)
        return;
    bz_DynFaceList_Free(cache->narrowList);
    bz_MemFree(cache);
}

void bz_DynCollisionCache_FreeChild(void *parent, bzDynCollisionCache *cache)
{
    (void)parent;
    bz_DynCollisionCache_Free(cache);
}

bzDynFaceList *bz_DynCollisionCache_GetGatherList(const bzDynCollisionCache *cache)
{
    return cache ? cache->gatherList : nullptr;
}

bzDynFaceList *bz_DynCollisionCache_GetNarrowList(const bzDynCollisionCache *cache)
{
    return cache ? cache->narrowList : nullptr;
}

int32_t bz_DynCollisionCache_GetMargins(const bzDynCollisionCache *cache, float *out6)
{
    if (cache && out6)
        std::memcpy(out6, cache->margins, sizeof cache->margins);
    return 0;
}

int32_t bz_DynCollisionCache_GetLumpFilter(const bzDynCollisionCache *cache, uint32_t *mask,
                                           uint32_t *value)
{
    if (cache && mask)
        *mask = cache->lumpMask;
    if (cache && value)
        *value = cache->lumpValue;
    return 0;
}

int32_t bz_DynCollisionCache_GetMaterialFilter(const bzDynCollisionCache *cache, uint32_t *mask,
                                               uint32_t *value)
{
    if (cache && mask)
        *mask = cache->materialMask;
    if (cache && value)
        *value = cache->materialValue;
    return 0;
}

int32_t bz_DynCollisionCache_GetGatherPlacement(const bzDynCollisionCache *cache, bzM34 *matrix,
                                                bzBox *box)
{
    if (cache && matrix)
        *matrix = cache->gatherMatrix;
    if (cache && box)
        *box = cache->gatherBox;
    return 0;
}

int32_t bz_DynCollisionCache_GetNarrowPlacement(const bzDynCollisionCache *cache, bzM34 *matrix,
                                                bzBox *box)
{
    if (cache && matrix)
        *matrix = cache->narrowMatrix;
    if (cache && box)
        *box = cache->narrowBox;
    return 0;
}

int32_t bz_DynCollisionCache_SetRoot(bzDynCollisionCache *cache, bzLump *root)
{
    if (cache)
    {
        cache->root = root;
        cache->valid = 0;
    }
    return 0;
}

int32_t bz_DynCollisionCache_SetMargins(bzDynCollisionCache *cache, const float *margins6)
{
    if (cache && margins6)
    {
        std::memcpy(cache->margins, margins6, sizeof cache->margins);
        cache->valid = 0;
    }
    return 0;
}

int32_t bz_DynCollisionCache_SetLumpFilter(bzDynCollisionCache *cache, uint32_t mask,
                                           uint32_t value)
{
    if (cache)
    {
        cache->lumpMask = mask;
        cache->lumpValue = value;
        cache->valid = 0;
    }
    return 0;
}

int32_t bz_DynCollisionCache_SetMaterialFilter(bzDynCollisionCache *cache, uint32_t mask,
                                               uint32_t value)
{
    if (cache)
    {
        cache->materialMask = mask;
        cache->materialValue = value;
        cache->valid = 0;
    }
    return 0;
}

int32_t bz_DynCollisionCache_Invalidate(bzDynCollisionCache *cache)
{
    if (cache)
        cache->valid = 0;
    return 0;
}

int32_t bz_DynFaceCache_Invalidate(bzDynCollisionCache *cache, bzLump **root)
{
    if (root)
        *root = cache ? cache->root : nullptr;
    if (cache)
        cache->valid = 0;
    return 0;
}

bzDynCollisionCache *bz_DynForm_GetCollisionCache(const bzLump *lump)
{
    return lump ? bz_Collision_GetObjectCache(lump->dynamicsObject) : nullptr;
}

namespace
{
bzErrorCode ListOfLump(const bzLump *lump, bool narrow, bzDynFaceList **out)
{
    bzDynCollisionCache *cache = bz_DynForm_GetCollisionCache(lump);
    if (out)
        *out = cache ? (narrow ? cache->narrowList : cache->gatherList) : nullptr;
    if (!cache)
        return bzgLastError = BZ_ERROR_OBJECT_HAS_NO_CACHE;
    return BZ_ERROR_NONE;
}
} // namespace

bzErrorCode bz_DynCollision_GetGatherList(const bzLump *lump, bzDynFaceList **out)
{
    return ListOfLump(lump, false, out);
}

bzErrorCode bz_DynCollision_GetNarrowList(const bzLump *lump, bzDynFaceList **out)
{
    return ListOfLump(lump, true, out);
}

bzErrorCode bz_DynCollision_Invalidate(const bzLump *lump)
{
    bzDynCollisionCache *cache = bz_DynForm_GetCollisionCache(lump);
    if (!cache)
        return bzgLastError = BZ_ERROR_OBJECT_HAS_NO_CACHE;
    cache->valid = 0;
    return BZ_ERROR_NONE;
}

bzErrorCode bz_DynFaceList_Copy(bzDynFaceList *destination, const bzDynFaceList *source)
{
    BZ_ASSERT(destination && source && destination->compact == source->compact);
    if (!destination || !source || destination->compact != source->compact)
        return bzgLastError = BZ_ERROR_INVALID_PARAMETER;
    const int32_t n = source->count < destination->capacity ? source->count : destination->capacity;
    if (n > 0)
        std::memmove(destination->entries, source->entries,
                     static_cast<size_t>(n) * EntrySize(source));
    destination->count = n;
    if (n < source->count)
        return bzgLastError = BZ_ERROR_COPY_FACES_TOO_BIG;
    return BZ_ERROR_NONE;
}

bzErrorCode bz_DynVertexList_Copy(bzDynVertexList *destination, const bzDynVertexList *source)
{
    if (!destination || !source)
        return bzgLastError = BZ_ERROR_INVALID_PARAMETER;
    const int32_t n = source->count < destination->capacity ? source->count : destination->capacity;
    if (n > 0)
        std::memmove(destination->entries, source->entries,
                     static_cast<size_t>(n) * sizeof(bzDynVertexHit));
    destination->count = n;
    if (n < source->count)
        return bzgLastError = BZ_ERROR_COPY_VERTICES_TOO_BIG;
    return BZ_ERROR_NONE;
}

int32_t bz_DynFaceCache_IsValid(const bzDynFaceList *list)
{
    if (!list)
        return 0;
    const bzDynFaceList *cache = list->rollingCache;
    if (!cache)
        return 1;
    if (list->generation == cache->generation)
        return 1;
    return cache->generation == list->generation + 1 && WindowStart(list) >= cache->count;
}

int32_t bz_DynCollisionCache_IsValid(const bzDynCollisionCache *cache)
{
    if (!cache || !cache->valid)
        return 0;
    return bz_DynFaceCache_IsValid(cache->gatherList);
}

void bz_DynFaceList_InvalidateAll(bzDynFaceList *rollingCache)
{
    if (rollingCache)
        rollingCache->generation += 2;
}

void bz_DynFaceList_OpenWindow(bzDynFaceList *list)
{
    if (!list)
        return;
    if (bzDynFaceList *cache = list->rollingCache)
    {
        if (cache->count > cache->capacity - kWindowReserve)
        {
            cache->count = 0;
            cache->generation++;
        }
        list->entries = Whole(cache) + cache->count;
        list->capacity = cache->capacity - cache->count;
        list->generation = cache->generation;
    }
    list->count = 0;
}

void bz_DynFaceList_CloseWindow(bzDynFaceList *list)
{
    if (!list || !list->rollingCache)
        return;
    list->rollingCache->count += list->count;
    list->capacity = list->count;
}

int32_t MakeRoomInFaceList(bzDynFaceList *list)
{
    if (list->growStep > 0 && !list->rollingCache)
        return Reallocate(list, list->capacity + list->growStep, list->count, EntrySize(list)) ? 0
                                                                                               : 1;
    bzDynFaceList *cache = list->rollingCache;
    if (cache && Whole(list) != Whole(cache))
    {
        std::memmove(cache->entries, list->entries,
                     static_cast<size_t>(list->count) * sizeof(bzDynFaceHit));
        list->entries = cache->entries;
        list->capacity = cache->capacity;
        cache->generation++;
        list->generation = cache->generation;
        cache->count = 0;
        return 0;
    }
    return 1;
}

int32_t GrowVertexList(bzDynVertexList *list)
{
    if (list->growStep <= 0)
        return 1;
    const int32_t capacity = list->capacity + list->growStep;
    auto *array = static_cast<bzDynVertexHit *>(
        bz_MemAlloc(static_cast<uint32_t>(capacity) * sizeof(bzDynVertexHit),
                    BZ_MEM_CLEAR | BZ_MEM_PARENT, list));
    if (!array)
        return 1;
    if (list->count > 0)
        std::memcpy(array, list->entries, static_cast<size_t>(list->count) * sizeof(*array));
    if (list->entries)
        bz_MemFree(list->entries);
    list->entries = array;
    list->capacity = capacity;
    return 0;
}

bzErrorCode bz_DynFaceList_Resize(bzDynFaceList *list, int32_t capacity)
{
    if (!list || capacity < 0)
        return bzgLastError = BZ_ERROR_INVALID_PARAMETER;
    if (list->rollingCache)
        return bzgLastError = BZ_ERROR_RESIZE_ROLLING_CACHE;
    if (capacity == list->capacity)
        return BZ_ERROR_NONE;
    const int32_t keep = list->count < capacity ? list->count : capacity;
    // The new array holds whole entries, also for a compact list.
    if (!Reallocate(list, capacity, keep,
                    list->compact ? sizeof(bzDynFaceHit *) : sizeof(bzDynFaceHit)))
        return bzgLastError = BZ_ERROR_NO_MEMORY;
    list->count = keep;
    list->generation += 2;
    return BZ_ERROR_NONE;
}

bzErrorCode bz_DynVertexList_Resize(bzDynVertexList *list, int32_t capacity)
{
    if (!list || capacity < 0)
        return bzgLastError = BZ_ERROR_INVALID_PARAMETER;
    if (capacity == list->capacity)
        return BZ_ERROR_NONE;
    const int32_t keep = list->count < capacity ? list->count : capacity;
    auto *array = static_cast<bzDynVertexHit *>(
        bz_MemAlloc(static_cast<uint32_t>(capacity > 0 ? capacity : 1) * sizeof(bzDynVertexHit),
                    BZ_MEM_CLEAR | BZ_MEM_PARENT, list));
    if (!array)
        return bzgLastError = BZ_ERROR_NO_MEMORY;
    if (keep > 0)
        std::memcpy(array, list->entries, static_cast<size_t>(keep) * sizeof(*array));
    if (list->entries)
        bz_MemFree(list->entries);
    list->entries = array;
    list->count = keep;
    list->capacity = capacity;
    return BZ_ERROR_NONE;
}
