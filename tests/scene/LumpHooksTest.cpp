#include "scene/Lump.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace
{
// A stand-in for an object whose owner is not built yet: a use count and a back-link.
struct Owned
{
    int32_t uses;
    bzLump *lump;
    int32_t released;
};

struct HookLog
{
    static inline std::vector<std::string> calls;
};

class ObjectHooks : public ::testing::Test
{
protected:
    void SetUp() override
    {
        HookLog::calls.clear();
        const bzLumpObjectHooks hooks = {
            [](bzLump *lump, void *object)
            {
                ((Owned *)object)->uses++;
                ((Owned *)object)->lump = lump;
            },
            [](bzLump *, void *object)
            {
                ((Owned *)object)->uses--;
                ((Owned *)object)->released++;
            },
            [](bzLump *, void *object) { ((Owned *)object)->lump = nullptr; },
            nullptr,
            [](const void *) -> const char * { return "sparks"; },
        };
        for (uint8_t type : {BZ_LUMP_TYPE_SKIDMARKS, BZ_LUMP_TYPE_PARTICLE_EMITTER})
            bz_Lump_SetObjectHooks(type, &hooks);
        const bzLumpTreeHooks tree = {
            [](bzOctreeObject *) { HookLog::calls.push_back("octree"); },
            []() -> int32_t { return 1; },
            [](bzLump *) { HookLog::calls.push_back("portal"); },
            [](bzRoomLink *) { HookLog::calls.push_back("rooms"); },
        };
        bz_Lump_SetTreeHooks(&tree);
    }
    void TearDown() override
    {
        bz_Lump_SetObjectHooks(BZ_LUMP_TYPE_SKIDMARKS, nullptr);
        bz_Lump_SetObjectHooks(BZ_LUMP_TYPE_PARTICLE_EMITTER, nullptr);
        bz_Lump_SetTreeHooks(nullptr);
    }
};

TEST_F(ObjectHooks, OwnersTakeAndReleaseTheirObjects)
{
    Owned first = {1, nullptr, 0}, second = {1, nullptr, 0};
    bzLump *trail = bz_Lump_Create(BZ_LUMP_TYPE_SKIDMARKS, "trail");
    EXPECT_EQ(bz_Lump_SetObject(trail, &first), 0);
    EXPECT_EQ(first.uses, 2);
    EXPECT_EQ(first.lump, trail);
    EXPECT_EQ(bz_Lump_SetObject(trail, &second), 0);
    EXPECT_EQ(first.released, 1);
    EXPECT_EQ(second.lump, trail);
    bz_Lump_Destroy(trail);
    EXPECT_EQ(second.released, 1);
    EXPECT_EQ(second.uses, 1);

    // A replaced particle system keeps living; only its back-link goes.
    Owned sparks = {1, nullptr, 0}, smoke = {1, nullptr, 0};
    bzLump *emitter = bz_Lump_Create(BZ_LUMP_TYPE_PARTICLE_EMITTER, "emitter");
    bz_Lump_SetObject(emitter, &sparks);
    EXPECT_EQ(sparks.lump, emitter);
    EXPECT_STREQ(bz_Lump_GetObjectName(emitter), "sparks");
    bz_Lump_SetObject(emitter, &smoke);
    EXPECT_EQ(sparks.lump, nullptr);
    EXPECT_EQ(sparks.released, 0);
    bz_Lump_Destroy(emitter);
    EXPECT_EQ(smoke.released, 1);
}

TEST_F(ObjectHooks, DestroyFreesOctreeAndLeavesThePortalSystem)
{
    bzLump *lump = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "room lump");
    lump->octree = (bzOctreeObject *)lump; // only passed back to the hook
    lump->flags |= BZ_LUMP_OCTREE | BZ_LUMP_IN_PORTALS;
    lump->roomLink = (bzRoomLink *)lump;
    bz_Lump_Destroy(lump);
    EXPECT_EQ(HookLog::calls, (std::vector<std::string>{"octree", "portal", "rooms"}));
}

// Random attaches, appends, detaches and destroys keep the tree sound: every parent lists its
// children, no lump is its own ancestor, and every refused attach changed nothing.
TEST(LumpTreeProperty, RandomLinkingKeepsTheTreeSound)
{
    std::mt19937 random(1234);
    std::vector<bzLump *> lumps;
    for (int k = 0; k < 40; k++)
        lumps.push_back(bz_Lump_Create(BZ_LUMP_TYPE_NULL, ("n" + std::to_string(k)).c_str()));
    const int32_t live = bz_Lump_GetTotalCount();
    auto isAncestor = [](const bzLump *a, const bzLump *of)
    {
        for (const bzLump *l = of->parent; l; l = l->parent)
            if (l == a)
                return true;
        return false;
    };
    int refused = 0;
    for (int step = 0; step < 4000; step++)
    {
        bzLump *x = lumps[random() % lumps.size()];
        bzLump *y = lumps[random() % lumps.size()];
        const int op = (int)(random() % 10);
        if (op < 7)
        {
            const bool cycle = x == y || isAncestor(y, x);
            bzLump *oldParent = y->parent;
            const bzErrorCode result = op < 4 ? bz_Lump_Attach(x, y) : bz_Lump_AppendChild(x, y);
            EXPECT_EQ(result, cycle ? 29 : 0);
            if (cycle)
            {
                refused++;
                EXPECT_EQ(y->parent, oldParent);
            }
            else
                EXPECT_EQ(y->parent, x);
        }
        else if (op < 9)
            EXPECT_EQ(bz_Lump_Detach(x), 0);
        else
        {
            // Replace a destroyed lump by a fresh one.
            const size_t k = random() % lumps.size();
            bz_Lump_Destroy(lumps[k]);
            lumps[k] = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "fresh");
        }
        if (step % 100 == 0)
        {
            for (bzLump *l : lumps)
            {
                int depth = 0;
                for (const bzLump *p = l->parent; p && depth <= 41; p = p->parent)
                    depth++;
                ASSERT_LE(depth, 40);
                if (l->parent)
                {
                    const bzLump *c = l->parent->firstChild;
                    while (c && c != l)
                        c = c->next;
                    ASSERT_EQ(c, l);
                }
                for (const bzLump *c = l->firstChild; c; c = c->next)
                    ASSERT_EQ(c->parent, l);
            }
        }
    }
    EXPECT_GT(refused, 0);
    int32_t inTrees = 0;
    for (bzLump *l : lumps)
        if (!l->parent)
            inTrees += bz_Lump_CountTree(l);
    EXPECT_EQ(inTrees, 40);
    EXPECT_EQ(bz_Lump_GetTotalCount(), live);
    std::vector<bzLump *> roots;
    for (bzLump *l : lumps)
        if (!l->parent)
            roots.push_back(l);
    for (bzLump *root : roots)
        bz_Lump_DestroyTree(root);
    EXPECT_EQ(bz_Lump_GetTotalCount(), live - 40);
}
} // namespace
