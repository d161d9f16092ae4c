// Face lists: rolling-cache windows and their generations, making room, resizing and copying,
// and the collision cache's filters, validity and lump-level access.
#include "collision/DynamicsLink.h"
#include "collision/FaceList.h"

#include "core/Error.h"
#include "scene/Lump.h"

#include <gtest/gtest.h>

namespace
{
// Hands out n entries of the cache through a borrowing list.
void HandOut(bzDynFaceList *list, int32_t n)
{
    bz_DynFaceList_OpenWindow(list);
    list->count = n;
    bz_DynFaceList_CloseWindow(list);
}

TEST(FaceListTest, AWindowOpensAtTheStartWhenFewerThanFiveEntriesAreLeft)
{
    struct Case
    {
        int32_t handedOut;
        int32_t start;       // where the next window starts
        uint32_t generation; // the cache's generation after opening it
    };
    const Case cases[] = {{95, 95, 0}, {96, 0, 1}, {100, 0, 1}, {0, 0, 0}};
    for (const Case &c : cases)
    {
        bzDynFaceList *cache = bz_DynFaceList_Create(100);
        bzDynFaceList *list = bz_DynFaceList_CreateOnCache(nullptr, cache);
        ASSERT_NE(list, nullptr);
        cache->count = c.handedOut;
        bz_DynFaceList_OpenWindow(list);
        EXPECT_EQ(static_cast<bzDynFaceHit *>(list->entries) -
                      static_cast<bzDynFaceHit *>(cache->entries),
                  c.start)
            << c.handedOut;
        EXPECT_EQ(list->capacity, 100 - c.start);
        EXPECT_EQ(cache->generation, c.generation);
        EXPECT_EQ(list->generation, c.generation);
        EXPECT_EQ(list->count, 0);
        list->count = 3;
        bz_DynFaceList_CloseWindow(list);
        EXPECT_EQ(cache->count, c.start + 3);
        EXPECT_EQ(list->capacity, 3);
        bz_DynFaceList_Free(list);
        bz_DynFaceList_Free(cache);
    }
}

TEST(FaceListTest, ABorrowedWindowStaysValidUntilTheRefillReachesIt)
{
    bzDynFaceList *cache = bz_DynFaceList_Create(100);
    bzDynFaceList *other = bz_DynFaceList_CreateOnCache(nullptr, cache);
    bzDynFaceList *list = bz_DynFaceList_CreateOnCache(nullptr, cache);
    cache->generation = 7;
    HandOut(other, 50);
    HandOut(list, 10); // the window 50..59 at generation 7
    EXPECT_TRUE(bz_DynFaceCache_IsValid(list));

    HandOut(other, 40); // all 100 handed out
    HandOut(other, 20); // wraps: generation 8, 20 handed out since
    EXPECT_EQ(cache->generation, 8u);
    EXPECT_TRUE(bz_DynFaceCache_IsValid(list));
    HandOut(other, 30); // the mark stands at 50: the window's start
    EXPECT_TRUE(bz_DynFaceCache_IsValid(list));
    HandOut(other, 1); // past its start
    EXPECT_FALSE(bz_DynFaceCache_IsValid(list));

    // A window of the current generation is valid; two generations later nothing is.
    HandOut(list, 4);
    EXPECT_TRUE(bz_DynFaceCache_IsValid(list));
    bz_DynFaceList_InvalidateAll(cache);
    EXPECT_FALSE(bz_DynFaceCache_IsValid(list));
    EXPECT_FALSE(bz_DynFaceCache_IsValid(other));

    // A list with an array of its own is always valid.
    EXPECT_TRUE(bz_DynFaceCache_IsValid(cache));
    bz_DynFaceList_Free(list);
    bz_DynFaceList_Free(other);
    bz_DynFaceList_Free(cache);
}

TEST(FaceListTest, FullListsGrowMoveTheirWindowOrStayFull)
{
    // A growing list keeps its entries.
    bzDynFaceList *growing = bz_DynFaceList_CreateGrowing(nullptr, 2, 3);
    for (int32_t i = 0; i < 2; i++)
        static_cast<bzDynFaceHit *>(growing->entries)[i].faceIndex = 10 + i;
    growing->count = 2;
    EXPECT_EQ(MakeRoomInFaceList(growing), 0);
    EXPECT_EQ(growing->capacity, 5);
    EXPECT_EQ(bz_DynFaceList_Entry(growing, 1)->faceIndex, 11);
    bz_DynFaceList_Free(growing);

    // A fixed list cannot.
    bzDynFaceList *fixed = bz_DynFaceList_Create(2);
    fixed->count = 2;
    EXPECT_EQ(MakeRoomInFaceList(fixed), 1);
    bz_DynFaceList_Free(fixed);

    // A borrowing window away from the start moves there, taking its entries along.
    bzDynFaceList *cache = bz_DynFaceList_Create(20);
    bzDynFaceList *other = bz_DynFaceList_CreateOnCache(nullptr, cache);
    bzDynFaceList *list = bz_DynFaceList_CreateOnCache(nullptr, cache);
    HandOut(other, 12);
    bz_DynFaceList_OpenWindow(list);
    for (int32_t i = 0; i < list->capacity; i++)
        static_cast<bzDynFaceHit *>(list->entries)[i].faceIndex = 100 + i;
    list->count = list->capacity; // 8 entries, full
    const uint32_t generation = cache->generation;
    EXPECT_EQ(MakeRoomInFaceList(list), 0);
    EXPECT_EQ(list->entries, cache->entries);
    EXPECT_EQ(list->capacity, 20);
    EXPECT_EQ(cache->generation, generation + 1);
    EXPECT_EQ(list->generation, generation + 1);
    EXPECT_EQ(bz_DynFaceList_Entry(list, 7)->faceIndex, 107);
    bz_DynFaceList_CloseWindow(list);
    EXPECT_EQ(cache->count, 8);
    EXPECT_FALSE(bz_DynFaceCache_IsValid(other));

    // Full again at the start: no more room.
    bz_DynFaceList_OpenWindow(list);
    cache->count = 0;
    bz_DynFaceList_OpenWindow(list);
    list->count = list->capacity;
    EXPECT_EQ(MakeRoomInFaceList(list), 1);

    EXPECT_EQ(bz_DynFaceList_Resize(list, 50), BZ_ERROR_RESIZE_ROLLING_CACHE);
    EXPECT_EQ(list->capacity, 20);
    bz_DynFaceList_Free(list);
    bz_DynFaceList_Free(other);
    bz_DynFaceList_Free(cache);
}

TEST(FaceListTest, ResizeAndCopyKeepTheFirstEntries)
{
    bzDynFaceList *list = bz_DynFaceList_Create(12);
    for (int32_t i = 0; i < 12; i++)
        static_cast<bzDynFaceHit *>(list->entries)[i].faceIndex = i;
    list->count = 12;
    EXPECT_EQ(bz_DynFaceList_Resize(list, 8), BZ_ERROR_NONE);
    EXPECT_EQ(list->count, 8);
    EXPECT_EQ(list->capacity, 8);
    EXPECT_EQ(list->generation, 2u);
    for (int32_t i = 0; i < 8; i++)
        EXPECT_EQ(bz_DynFaceList_Entry(list, i)->faceIndex, i);

    bzDynFaceList *small = bz_DynFaceList_Create(5);
    EXPECT_EQ(bz_DynFaceList_Copy(small, list), BZ_ERROR_COPY_FACES_TOO_BIG);
    EXPECT_EQ(small->count, 5);
    EXPECT_EQ(bz_DynFaceList_Entry(small, 4)->faceIndex, 4);
    list->count = 3;
    EXPECT_EQ(bz_DynFaceList_Copy(small, list), BZ_ERROR_NONE);
    EXPECT_EQ(small->count, 3);

    // A compact list resized keeps its addresses.
    bzDynFaceList *compact = bz_DynFaceList_CreateCompact(4);
    for (int32_t i = 0; i < 4; i++)
        static_cast<bzDynFaceHit **>(compact->entries)[i] = bz_DynFaceList_Entry(list, i);
    compact->count = 4;
    EXPECT_EQ(bz_DynFaceList_Resize(compact, 2), BZ_ERROR_NONE);
    EXPECT_EQ(bz_DynFaceList_Entry(compact, 1), bz_DynFaceList_Entry(list, 1));

    bzDynVertexList *vertices = bz_DynVertexList_Create(nullptr, 4);
    bzDynVertexList *fewer = bz_DynVertexList_Create(nullptr, 2);
    vertices->count = 4;
    vertices->entries[3].vertexIndex = 33;
    EXPECT_EQ(bz_DynVertexList_Copy(fewer, vertices), BZ_ERROR_COPY_VERTICES_TOO_BIG);
    EXPECT_EQ(bz_DynVertexList_Resize(vertices, 6), BZ_ERROR_NONE);
    EXPECT_EQ(vertices->entries[3].vertexIndex, 33);
    EXPECT_EQ(GrowVertexList(vertices), 1); // no grow step

    for (bzDynFaceList *l : {list, small, compact})
        bz_DynFaceList_Free(l);
    bz_DynVertexList_Free(vertices);
    bz_DynVertexList_Free(fewer);
}

bzDynCollisionCache *gObjectCache = nullptr;

TEST(FaceListTest, CollisionCacheSettersClearValidityAndLumpsReachTheirCache)
{
    bzDynFaceList *rolling = bz_DynFaceList_Create(64);
    bzDynCollisionCache *cache =
        bz_DynCollisionCache_CreateOnCache(nullptr, nullptr, 8, 1, 1, 2, 3, 4, rolling);
    ASSERT_NE(cache, nullptr);
    ASSERT_NE(cache->narrowList, nullptr);
    EXPECT_TRUE(cache->narrowList->compact);
    EXPECT_EQ(cache->narrowList->growStep, 10);
    uint32_t mask = 0, value = 0;
    bz_DynCollisionCache_GetMaterialFilter(cache, &mask, &value);
    EXPECT_EQ(mask, 3u);
    EXPECT_EQ(value, 4u);

    const float margins[6] = {-1, -1, -1, 1, 1, 1};
    using Setter = void (*)(bzDynCollisionCache *);
    const Setter setters[] = {
        [](bzDynCollisionCache *c) { bz_DynCollisionCache_SetRoot(c, nullptr); },
        [](bzDynCollisionCache *c)
        {
            const float m[6] = {-1, -1, -1, 1, 1, 1};
            bz_DynCollisionCache_SetMargins(c, m);
        },
        [](bzDynCollisionCache *c) { bz_DynCollisionCache_SetLumpFilter(c, 1, 1); },
        [](bzDynCollisionCache *c) { bz_DynCollisionCache_SetMaterialFilter(c, 1, 1); },
        [](bzDynCollisionCache *c) { bz_DynCollisionCache_Invalidate(c); },
    };
    for (Setter set : setters)
    {
        cache->valid = 1;
        EXPECT_TRUE(bz_DynCollisionCache_IsValid(cache));
        set(cache);
        EXPECT_FALSE(bz_DynCollisionCache_IsValid(cache));
    }
    float got[6] = {};
    bz_DynCollisionCache_GetMargins(cache, got);
    EXPECT_EQ(got[0], margins[0]);
    EXPECT_EQ(got[5], margins[5]);

    // A stale gather list makes the cache invalid too.
    cache->valid = 1;
    bz_DynFaceList_InvalidateAll(rolling);
    EXPECT_FALSE(bz_DynCollisionCache_IsValid(cache));

    // Through a lump: 143 without a dynamics object or without the controller's table.
    bzLump *lump = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "body");
    bzDynFaceList *out = rolling;
    EXPECT_EQ(bz_DynCollision_GetGatherList(lump, &out), BZ_ERROR_OBJECT_HAS_NO_CACHE);
    EXPECT_EQ(out, nullptr);
    int32_t object = 0;
    lump->dynamicsObject = &object;
    EXPECT_EQ(bz_DynCollision_Invalidate(lump), BZ_ERROR_OBJECT_HAS_NO_CACHE);
    gObjectCache = cache;
    bzCollisionDynamicsServices services{};
    services.getCollisionCache = [](void *) { return gObjectCache; };
    bz_Collision_SetDynamicsServices(&services);
    EXPECT_EQ(bz_DynCollision_GetNarrowList(lump, &out), BZ_ERROR_NONE);
    EXPECT_EQ(out, cache->narrowList);
    cache->valid = 1;
    EXPECT_EQ(bz_DynCollision_Invalidate(lump), BZ_ERROR_NONE);
    EXPECT_EQ(cache->valid, 0u);
    bz_Collision_SetDynamicsServices(nullptr);
    lump->dynamicsObject = nullptr;
    bz_Lump_Destroy(lump);

    bz_DynCollisionCache_Free(cache);
    bz_DynFaceList_Free(rolling);
}
} // namespace
