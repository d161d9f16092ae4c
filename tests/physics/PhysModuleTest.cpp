// The physics memory module's further operations (element pools, block chains, child removal,
// descendant walks), the special body, and a body's substance through the controller.
#include "collision/PairTestShapes.h"
#include "core/Error.h"
#include "core/Memory.h"
#include "maths/Matrix.h"
#include "physics/Body.h"
#include "physics/BodySubstance.h"
#include "physics/BodyTree.h"
#include "physics/PhysMemory.h"
#include "physics/PhysServices.h"
#include "physics/PhysSettings.h"
#include "SubstanceTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <vector>

namespace
{
using pairtest::V;

bzMemStats Stats()
{
    bzMemStats s;
    bz_Mem_GetStats(&s);
    return s;
}

TEST(PhysModuleTest, ElementPoolsHandOutClearedElementsAndGrow)
{
    const bzMemStats before = Stats();
    EXPECT_EQ(bz_PhysMem_TakeElement(0), nullptr) << "no pools yet";
    ASSERT_EQ(bz_PhysMem_CreatePools(), 0);
    ASSERT_EQ(bz_PhysMem_CreatePools(), 0) << "a second creation does nothing";
    for (int pool = 0; pool < 2; ++pool)
    {
        const size_t size = pool ? 84 : 56;
        std::vector<void *> taken;
        std::set<void *> distinct;
        // Past the first block of 24 or 32.
        for (int i = 0; i < 70; ++i)
        {
            void *e = bz_PhysMem_TakeElement(pool);
            ASSERT_NE(e, nullptr);
            const auto *bytes = static_cast<const unsigned char *>(e);
            for (size_t k = 0; k < size; ++k)
                ASSERT_EQ(bytes[k], 0) << "element " << i << " byte " << k;
            std::memset(e, 0xAB, size);
            taken.push_back(e);
            distinct.insert(e);
        }
        EXPECT_EQ(distinct.size(), taken.size());
        for (void *e : taken)
            bz_PhysMem_GiveElement(pool, e);
        // A given-back element comes out cleared again.
        void *again = bz_PhysMem_TakeElement(pool);
        ASSERT_NE(again, nullptr);
        EXPECT_EQ(static_cast<unsigned char *>(again)[size - 1], 0);
        bz_PhysMem_GiveElement(pool, again);
    }
    EXPECT_EQ(bz_PhysMem_TakeElement(2), nullptr);
    EXPECT_EQ(bz_PhysMem_TakeElement(-1), nullptr);
    bz_PhysMem_GiveElement(0, nullptr);
    bz_PhysMem_DestroyPools();
    EXPECT_EQ(bz_PhysMem_TakeElement(1), nullptr);
    EXPECT_EQ(Stats().blockCount, before.blockCount);
}

std::vector<uint8_t *> gFreed;

TEST(PhysModuleTest, BlockChainIsFreedLastBlockFirst)
{
    const bzMemStats before = Stats();
    uint8_t *blocks[4];
    void *first = nullptr;
    for (int i = 3; i >= 0; --i)
    {
        blocks[i] = static_cast<uint8_t *>(bz_PhysMem_AllocBlock());
        ASSERT_NE(blocks[i], nullptr);
        for (size_t k = 0; k < BZ_PHYS_BLOCK_BYTES; ++k)
            ASSERT_EQ(blocks[i][k], 0);
        *bz_PhysMem_BlockLink(blocks[i]) = first;
        first = blocks[i];
    }
    // The link lies within the block, in its fourteenth word.
    EXPECT_EQ(reinterpret_cast<uint8_t *>(bz_PhysMem_BlockLink(blocks[0])),
              blocks[0] + 13 * sizeof(void *));
    EXPECT_EQ(Stats().blockCount, before.blockCount + 4);

    bzMemPrimitiveTable saved;
    bz_Mem_GetPrimitives(&saved);
    static void (*realFree)(void *);
    realFree = saved.freeRaw;
    bzMemPrimitiveTable watching = saved;
    watching.freeRaw = [](void *raw)
    {
        gFreed.push_back(static_cast<uint8_t *>(raw));
        realFree(raw);
    };
    gFreed.clear();
    bz_Mem_SetPrimitives(&watching);
    bz_PhysMem_FreeBlockChain(first);
    bz_Mem_SetPrimitives(&saved);
    EXPECT_EQ(Stats().blockCount, before.blockCount);
    ASSERT_EQ(gFreed.size(), 4u);
    // Each raw block sits just below the block handed out; the last of the chain goes first.
    for (int i = 0; i < 4; ++i)
    {
        uint8_t *const block = blocks[3 - i];
        EXPECT_LE(gFreed[i], block);
        EXPECT_GT(gFreed[i] + 256, block) << "free " << i;
    }
    bz_PhysMem_FreeBlockChain(nullptr);
}

TEST(PhysModuleTest, RemovedChildGoesAndItsParentStays)
{
    const bzMemStats before = Stats();
    auto *parent = static_cast<int *>(bz_MemAlloc(64, BZ_MEM_CLEAR));
    ASSERT_NE(parent, nullptr);
    void *child = bz_MemAlloc(16, BZ_MEM_CLEAR | BZ_MEM_PARENT, parent);
    void *other = bz_MemAlloc(16, BZ_MEM_CLEAR | BZ_MEM_PARENT, parent);
    ASSERT_NE(child, nullptr);
    ASSERT_NE(other, nullptr);
    bz_PhysMem_RemoveChild(parent, child);
    EXPECT_EQ(Stats().blockCount, before.blockCount + 2);
    parent[3] = 7;      // still ours
    bz_MemFree(parent); // takes the other child with it, not the removed one again
    EXPECT_EQ(Stats().blockCount, before.blockCount);
}

// root -> a, b (siblings); a -> g.
struct Family
{
    BZDObject root = {}, a = {}, b = {}, g = {};
    bzM34 m[4];
    Family()
    {
        BZDObject *all[4] = {&root, &a, &b, &g};
        for (int i = 0; i < 4; ++i)
        {
            bz_M34_SetIdentity(&m[i]);
            m[i].row[3] = V(float(i), 0, 0);
            all[i]->transform = &m[i];
            all[i]->startTransform = m[i];
        }
        root.firstChild = &a;
        a.nextSibling = &b;
        a.firstChild = &g;
        a.parent = b.parent = &root;
        g.parent = &a;
    }
};

TEST(PhysModuleTest, WalkDescendantsStopsAtTheFirstNonzeroAnswer)
{
    Family f;
    static std::vector<BZDObject *> seen;
    static BZDObject *stopAt;
    auto visit = [](BZDObject *b, void *user) -> int32_t
    {
        seen.push_back(b);
        return b == stopAt ? *static_cast<int32_t *>(user) : 0;
    };
    int32_t answer = 42;
    seen.clear();
    stopAt = nullptr;
    EXPECT_EQ(bz_Phys_WalkDescendants(&f.root, visit, &answer), 0);
    EXPECT_EQ(seen, (std::vector<BZDObject *>{&f.a, &f.g, &f.b}));
    seen.clear();
    stopAt = &f.g;
    EXPECT_EQ(bz_Phys_WalkDescendants(&f.root, visit, &answer), 42);
    EXPECT_EQ(seen, (std::vector<BZDObject *>{&f.a, &f.g}));
    seen.clear();
    EXPECT_EQ(bz_Phys_WalkDescendants(&f.g, visit, &answer), 0);
    EXPECT_TRUE(seen.empty());
}

TEST(PhysModuleTest, CarryDescendantsMovesTheTreeRigidly)
{
    Family f;
    // The root turns a quarter about z and moves by (0, 5, 0).
    bz_M34_RotationZ(&f.m[0], 90.0f);
    f.m[0].row[3] = V(0, 5, 0);
    bz_Phys_CarryDescendants(&f.root);
    // g stood at (3, 0, 0): 3 from the root's old origin; now it stands 3 along the root's
    // turned x axis from the root's new origin.
    bzV3 origin = V(0, 0, 0), g;
    bz_M34_TransformPointInto(&f.m[3], &g, &origin);
    bzV3 expected;
    const bzV3 local = V(3, 0, 0);
    bz_M34_TransformPointInto(&f.m[0], &expected, &local);
    EXPECT_NEAR(g.x, expected.x, 1e-5);
    EXPECT_NEAR(g.y, expected.y, 1e-5);
    for (int i = 0; i < 4; ++i)
    {
        BZDObject *b = i == 0 ? &f.root : i == 1 ? &f.a : i == 2 ? &f.b : &f.g;
        EXPECT_EQ(bz_Phys_MatricesEqual(&b->startTransform, &f.m[i]), 1) << i;
    }
    // Unmoved root: nothing moves.
    Family still;
    bz_Phys_CarryDescendants(&still.root);
    EXPECT_EQ(still.m[3].row[3].x, 3.0f);
}

TEST(PhysModuleTest, SpecialBodyIsFixed)
{
    bzgPhysSpecialBody.linearVelocity = V(1, 1, 1);
    bzgPhysSpecialBody.physicsFlags = 0;
    bz_Phys_ResetSpecialBody();
    EXPECT_TRUE(bz_Phys_IsFixed(bzgPhysSpecialBody.physicsFlags));
    EXPECT_EQ(bzgPhysSpecialBody.inverseMass, 0.0f);
    EXPECT_EQ(bz_V3_LengthSq(&bzgPhysSpecialBody.linearVelocity), 0.0f);
    EXPECT_EQ(bz_M34_IsIdentity(&bzgPhysSpecialBody.startTransform), 1);
}

// A controller of one element per lump: the lump is an int whose value is the element index.
struct FakeController
{
    struct Element
    {
        int32_t substance;
        int32_t pending;
        int32_t pendingValue;
    };
    static inline Element elements[2];
    static inline int marks;
    FakeController()
    {
        elements[0] = {0, 0, 0};
        elements[1] = {0, 0, 0};
        marks = 0;
        bz_Phys_ResetServices();
        bzgPhysDynamics.elementOfLump = [](void *lump) -> void *
        {
            const int i = *static_cast<int *>(lump);
            return i >= 0 && i < 2 ? &elements[i] : nullptr;
        };
        bzgPhysDynamics.setAttribute = [](void *e, int32_t attribute, const void *value)
        {
            // "substance" is attribute 9 of the mechanics element class.
            if (attribute != 9)
                return 29;
            static_cast<Element *>(e)->substance = *static_cast<const int32_t *>(value);
            return 0;
        };
        bzgPhysDynamics.isPending = [](void *e, int32_t)
        { return static_cast<Element *>(e)->pending; };
        bzgPhysDynamics.markChanged = [](void *e, int32_t)
        {
            auto *el = static_cast<Element *>(e);
            el->substance = el->pendingValue;
            el->pending = 0;
            ++marks;
        };
        bzgPhysDynamics.attributeAddress = [](void *e, int32_t attribute) -> void *
        { return attribute == 9 ? &static_cast<Element *>(e)->substance : nullptr; };
    }
    ~FakeController() { bz_Phys_ResetServices(); }
};

TEST(PhysModuleTest, BodySubstanceGoesThroughTheController)
{
    ResetSubstancesToStartUp();
    int lump0 = 0, lump1 = 1, orphan = 5;
    {
        // No controller at all.
        bz_Phys_ResetServices();
        EXPECT_EQ(bz_Dyn_SetBodySubstance(&lump0, 3), 150);
        EXPECT_EQ(bz_Dyn_GetBodySubstance(&lump0), 0u);
    }
    FakeController controller;
    EXPECT_EQ(bz_Dyn_SetBodySubstance(&lump1, 40), 0);
    EXPECT_EQ(FakeController::elements[1].substance, 40);
    EXPECT_EQ(bz_Dyn_GetBodySubstance(&lump1), 40u);
    EXPECT_EQ(FakeController::marks, 0);
    // A lump without an element.
    EXPECT_EQ(bz_Dyn_SetBodySubstance(&orphan, 3), 150);
    EXPECT_EQ(bz_Dyn_GetBodySubstance(&orphan), 0u);
    // Slots that name no registered substance are refused and read as DEFAULT.
    for (uint32_t bad : {41u, 63u, 64u, 1000u, 0xFFFFFFFFu})
    {
        EXPECT_EQ(bz_Dyn_SetBodySubstance(&lump1, bad), BZ_ERROR_PARAMETER_OUT_OF_RANGE) << bad;
        EXPECT_EQ(FakeController::elements[1].substance, 40);
        FakeController::elements[0].substance = int32_t(bad);
        EXPECT_EQ(bz_Dyn_GetBodySubstance(&lump0), 0u) << bad;
    }
    // A pending attribute is brought up to date before it is read.
    FakeController::elements[0] = {5, 1, 12};
    EXPECT_EQ(bz_Dyn_GetBodySubstance(&lump0), 12u);
    EXPECT_EQ(FakeController::marks, 1);
    EXPECT_EQ(bz_Dyn_GetBodySubstance(&lump0), 12u);
    EXPECT_EQ(FakeController::marks, 1);
}
} // namespace
