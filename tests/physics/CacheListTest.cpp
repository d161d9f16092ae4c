// The size-sorted list of a world's collision caches and its upkeep by the cache refresh.
#include "collision/FaceList.h"
#include "collision/PairTestShapes.h"
#include "maths/Matrix.h"
#include "physics/Body.h"
#include "physics/BodySleep.h"
#include "physics/CacheList.h"
#include "physics/PhysServices.h"
#include "physics/PhysSettings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace
{
using pairtest::V;

bzDynCollisionCache *gWorldHead = nullptr;
int32_t gRefreshingSeen = -1;

struct Scope
{
    Scope()
    {
        bz_Phys_ResetServices();
        bz_Phys_ResetSettings();
        bz_Phys_SetCacheList(nullptr);
        gWorldHead = nullptr;
        gRefreshingSeen = -1;
        bzgPhysWorld.cacheList = [](const BZDObject *) -> bzDynCollisionCache **
        {
            gRefreshingSeen = bz_Phys_RefreshingCache();
            return &gWorldHead;
        };
    }
    ~Scope()
    {
        bz_Phys_ResetServices();
        bz_Phys_SetCacheList(nullptr);
    }
};

// A cache whose gather box is a cube of the given diagonal.
bzDynCollisionCache Sized(float diagonal)
{
    bzDynCollisionCache c = {};
    const float side = diagonal / std::sqrt(3.0f);
    c.gatherBox = {V(0, 0, 0), V(side, side, side)};
    return c;
}

// The list from its head, checking the back links on the way.
std::vector<const bzDynCollisionCache *> Walk(bzDynCollisionCache *head)
{
    std::vector<const bzDynCollisionCache *> out;
    const bzDynCollisionCache *previous = nullptr;
    for (const bzDynCollisionCache *c = head; c; c = c->sortNext)
    {
        EXPECT_EQ(c->sortPrevious, previous);
        out.push_back(c);
        previous = c;
        if (out.size() > 1000)
            break;
    }
    return out;
}

BZDObject gOwner = {};
} // namespace

TEST(CacheListTest, TheKeyIsTheDiagonalOfTheGatherBox)
{
    Scope scope;
    bzDynCollisionCache c = {};
    c.gatherBox = {V(-1, 0, 0), V(0, 2, 2)}; // sides 1, 2, 2
    bz_Phys_SortCache(&c, &gOwner);
    EXPECT_FLOAT_EQ(c.sortKey, 3.0f);
    EXPECT_EQ(gWorldHead, &c);
}

TEST(CacheListTest, NewCachesGoInAscendingOrderEqualKeysInTheOrderTheyCame)
{
    Scope scope;
    bzDynCollisionCache a = Sized(3), b = Sized(1), c = Sized(2), d = Sized(2), e = Sized(0.5f);
    for (bzDynCollisionCache *x : {&a, &b, &c, &d, &e})
        bz_Phys_SortCache(x, &gOwner);
    const std::vector<const bzDynCollisionCache *> want = {&e, &b, &c, &d, &a};
    EXPECT_EQ(Walk(gWorldHead), want);
}

TEST(CacheListTest, AChangedKeyMovesTheCacheBothWays)
{
    Scope scope;
    bzDynCollisionCache a = Sized(1), b = Sized(2), c = Sized(3), d = Sized(4);
    for (bzDynCollisionCache *x : {&a, &b, &c, &d})
        bz_Phys_SortCache(x, &gOwner);
    struct Case
    {
        const char *name;
        bzDynCollisionCache *moved;
        float diagonal;
        std::vector<const bzDynCollisionCache *> want;
    };
    const Case cases[] = {
        {"head grows to the tail", &a, 5, {&b, &c, &d, &a}},
        {"tail shrinks to the head", &a, 0.5f, {&a, &b, &c, &d}},
        {"middle moves on one place", &b, 3.5f, {&a, &c, &b, &d}},
        {"equal to the next: stays", &c, 3.5f, {&a, &c, &b, &d}},
        {"equal to the previous: stays", &c, 0.5f, {&a, &c, &b, &d}},
        {"middle moves back to the head", &d, 0.1f, {&d, &a, &c, &b}},
    };
    for (const Case &k : cases)
    {
        SCOPED_TRACE(k.name);
        const float side = k.diagonal / std::sqrt(3.0f);
        k.moved->gatherBox = {V(0, 0, 0), V(side, side, side)};
        bz_Phys_SortCache(k.moved, &gOwner);
        EXPECT_EQ(Walk(gWorldHead), k.want);
    }
}

TEST(CacheListTest, UnlinkTakesOutHeadMiddleAndTailAndIgnoresOthers)
{
    Scope scope;
    bzDynCollisionCache a = Sized(1), b = Sized(2), c = Sized(3), d = Sized(4), loose = Sized(2);
    for (bzDynCollisionCache *x : {&a, &b, &c, &d})
        bz_Phys_SortCache(x, &gOwner);
    bz_Phys_UnlinkCache(&loose, &gOwner);
    EXPECT_EQ(Walk(gWorldHead).size(), 4u);
    bz_Phys_UnlinkCache(&b, &gOwner);
    EXPECT_EQ(Walk(gWorldHead), (std::vector<const bzDynCollisionCache *>{&a, &c, &d}));
    EXPECT_EQ(b.sortNext, nullptr);
    EXPECT_EQ(b.sortPrevious, nullptr);
    bz_Phys_UnlinkCache(&a, &gOwner);
    bz_Phys_UnlinkCache(&d, &gOwner);
    EXPECT_EQ(Walk(gWorldHead), (std::vector<const bzDynCollisionCache *>{&c}));
    bz_Phys_UnlinkCache(&c, &gOwner);
    EXPECT_EQ(gWorldHead, nullptr);
    // Taken out twice: nothing more happens.
    bz_Phys_UnlinkCache(&c, &gOwner);
    EXPECT_EQ(gWorldHead, nullptr);
}

TEST(CacheListTest, TheCurrentListComesBeforeTheWorldsAndWithoutEitherOnlyTheKeyIsKept)
{
    Scope scope;
    bzDynCollisionCache *current = nullptr;
    bz_Phys_SetCacheList(&current);
    EXPECT_EQ(bz_Phys_CacheList(), &current);
    bzDynCollisionCache a = Sized(1);
    bz_Phys_SortCache(&a, &gOwner);
    EXPECT_EQ(current, &a);
    EXPECT_EQ(gWorldHead, nullptr);
    bz_Phys_UnlinkCache(&a, &gOwner);
    EXPECT_EQ(current, nullptr);

    bz_Phys_SetCacheList(nullptr);
    bzgPhysWorld.cacheList = nullptr;
    bzDynCollisionCache b = Sized(2);
    bz_Phys_SortCache(&b, &gOwner);
    EXPECT_FLOAT_EQ(b.sortKey, 2.0f);
    EXPECT_EQ(b.sortNext, nullptr);
    EXPECT_EQ(b.sortPrevious, nullptr);
    // A box of NaN gives key 0, not a NaN that breaks the order.
    bzDynCollisionCache bad = {};
    bad.gatherBox = {V(0, 0, 0), V(NAN, 1, 1)};
    bz_Phys_SortCache(&bad, &gOwner);
    EXPECT_EQ(bad.sortKey, 0.0f);
}

TEST(CacheListTest, RandomOperationsKeepTheListSortedAgainstAModel)
{
    Scope scope;
    std::mt19937 random(20261211);
    std::uniform_real_distribution<float> size(0.0f, 10.0f);
    std::uniform_int_distribution<int> pick(0, 29), what(0, 3);
    std::vector<bzDynCollisionCache> caches(30);
    std::vector<bool> in(30, false);
    // The model: the linked caches in list order, moved as the list should move them.
    std::vector<int> model;
    for (int round = 0; round < 3000; ++round)
    {
        const int i = pick(random);
        if (what(random) == 0)
        {
            bz_Phys_UnlinkCache(&caches[i], &gOwner);
            model.erase(std::remove(model.begin(), model.end(), i), model.end());
            in[i] = false;
        }
        else
        {
            const float d = std::floor(size(random)); // whole numbers: many equal keys
            const float side = d / std::sqrt(3.0f);
            caches[i].gatherBox = {V(0, 0, 0), V(side, side, side)};
            bz_Phys_SortCache(&caches[i], &gOwner);
            const float key = caches[i].sortKey;
            auto at = std::find(model.begin(), model.end(), i);
            if (!in[i])
            {
                // Behind the last key not larger.
                auto place = model.begin();
                while (place != model.end() && caches[*place].sortKey <= key)
                    ++place;
                model.insert(place, i);
                in[i] = true;
            }
            else
            {
                // Stays unless a neighbour is out of order; then back past larger keys or on
                // past smaller ones.
                const size_t k = size_t(at - model.begin());
                if (k > 0 && caches[model[k - 1]].sortKey > key)
                {
                    model.erase(at);
                    size_t p = k;
                    while (p > 0 && caches[model[p - 1]].sortKey > key)
                        --p;
                    model.insert(model.begin() + long(p), i);
                }
                else if (k + 1 < model.size() && caches[model[k + 1]].sortKey < key)
                {
                    model.erase(at);
                    size_t p = k;
                    while (p < model.size() && caches[model[p]].sortKey < key)
                        ++p;
                    model.insert(model.begin() + long(p), i);
                }
            }
        }
        const std::vector<const bzDynCollisionCache *> got = Walk(gWorldHead);
        ASSERT_EQ(got.size(), model.size()) << "round " << round;
        for (size_t k = 0; k < got.size(); ++k)
        {
            ASSERT_EQ(got[k], &caches[model[k]]) << "round " << round << " place " << k;
            if (k)
            {
                ASSERT_LE(got[k - 1]->sortKey, got[k]->sortKey);
            }
        }
    }
}

TEST(CacheListTest, ARefreshedCacheTakesItsPlaceWhileTheSwitchIsSet)
{
    Scope scope;
    bzDynCollisionCache small = Sized(1), large = Sized(10);
    bz_Phys_SortCache(&small, &gOwner);
    bz_Phys_SortCache(&large, &gOwner);
    gRefreshingSeen = -1;
    // A body with a cache of no lump tree: the refresh gathers over its bounds (a cube of side 2
    // about it, not moving), diagonal 2 sqrt 3.
    bzDynCollisionCache own = {};
    BZDObject body = {};
    bz_M34_SetIdentity(&body.startTransform);
    bzM34 current = body.startTransform;
    body.transform = &current;
    body.localBounds = {V(-1, -1, -1), V(1, 1, 1)};
    body.collisionCache = &own;
    EXPECT_EQ(bz_Phys_RefreshBodyCache(&body), 0);
    EXPECT_NEAR(own.sortKey, 2.0f * std::sqrt(3.0f), 1e-5f);
    EXPECT_EQ(Walk(gWorldHead), (std::vector<const bzDynCollisionCache *>{&small, &own, &large}));
    EXPECT_EQ(gRefreshingSeen, 1);
    EXPECT_EQ(bz_Phys_RefreshingCache(), 0);
    EXPECT_EQ(body.busy, 0);
}
