// Substances: the built-in rows, registration and its limits, lookups of bad slots, pair
// entries and the combination rules.
#include "SubstanceTestSupport.h"
#include "core/Error.h"
#include "core/Memory.h"
#include "physics/Substance.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace
{
constexpr uint32_t GLASS = 12, STONE = 16, RUBBER = 7, ROAD_TARMAC = 32, SAND = 34, ROCK = 35,
                   ICE = 40;
const float kNaN = std::numeric_limits<float>::quiet_NaN();

class SubstanceTest : public ::testing::Test
{
protected:
    void SetUp() override { ResetSubstancesToStartUp(); }
    void TearDown() override { RemoveAllSubstances(); }

    // Registers until the table is full; the slots taken.
    std::vector<uint32_t> FillTable()
    {
        std::vector<uint32_t> taken;
        BZDSubstance s = MakeSubstance(0.5f, 0.4f, 0.1f);
        while (taken.size() < 64)
        {
            uint32_t slot = bz_Substance_Register(&s);
            if (slot == BZ_SUBSTANCE_NONE)
                break;
            taken.push_back(slot);
        }
        return taken;
    }
};

TEST_F(SubstanceTest, FindByNameIgnoresCaseAndFallsBackToDefault)
{
    struct Case
    {
        const char *name;
        uint32_t slot;
    };
    const Case cases[] = {{"ice", 40},    {"Ice", 40},      {"ICE", 40},  {"GRASS", 0},
                          {"DEFAULT", 0}, {"stone", 16},    {"gold", 26}, {"", 0},
                          {"ICE ", 0},    {"soft_wood", 1}, {nullptr, 0}};
    for (const Case &c : cases)
        EXPECT_EQ(bz_Substance_FindByName(c.name), c.slot) << (c.name ? c.name : "(null)");
}

TEST_F(SubstanceTest, BuiltInsLandInRowOrder)
{
    BZDSubstance s;
    ASSERT_EQ(bz_Substance_GetProperties(GLASS, &s), 0);
    EXPECT_FLOAT_EQ(s.density, 2500.0f);
    EXPECT_FLOAT_EQ(s.restitution, 0.89f);
    EXPECT_FLOAT_EQ(s.auxFraction, 1.0f);
    EXPECT_EQ(s.labelId, 17);
    EXPECT_EQ(bz_Substance_GetExtraData(GLASS), nullptr);
    EXPECT_EQ(bz_Substance_GetLabelId(26), 11); // GOLD
    EXPECT_EQ(bz_Substance_GetLabelId(20), 40); // STAIRS
    EXPECT_EQ(bz_Substance_GetLabelId(ICE), 25);
    ASSERT_EQ(bz_Substance_GetProperties(ROCK, &s), 0);
    EXPECT_FLOAT_EQ(s.staticFriction, 0.89f);
    EXPECT_FLOAT_EQ(s.slidingFriction, 0.67f);
    EXPECT_FLOAT_EQ(s.bumpHeight, 0.2f);
    EXPECT_FLOAT_EQ(s.hardness, 0.9f);
    for (uint32_t slot = 0; slot < 41; ++slot)
        EXPECT_EQ(bz_Substance_IsBuiltIn(slot), 1) << slot;
    EXPECT_STREQ(bz_Substance_BuiltInRows()[40].name, "ICE");
    // Registering the built-ins again adds nothing.
    EXPECT_EQ(bz_Substance_RegisterBuiltIns(), 0);
    EXPECT_EQ(bz_Substance_Next(40), 0u);
}

TEST_F(SubstanceTest, RegistrationTakesTheLowestFreeSlot)
{
    BZDSubstance s = MakeSubstance(0.4f, 0.3f, 0.2f);
    EXPECT_EQ(bz_Substance_Register(&s), 41u);
    EXPECT_EQ(bz_Substance_Register(&s), 42u);
    EXPECT_EQ(bz_Substance_IsBuiltIn(41), 0);
    EXPECT_EQ(bz_Substance_Unregister(41), 0);
    EXPECT_EQ(bz_Substance_IsRegistered(41), 0);
    EXPECT_EQ(bz_Substance_Register(&s), 41u);
    BZDSubstance got;
    ASSERT_EQ(bz_Substance_GetProperties(41, &got), 0);
    EXPECT_FLOAT_EQ(got.staticFriction, 0.4f);
    EXPECT_EQ(got.labelId, 32768);

    // The walk visits every registered slot in order and ends with 0.
    std::vector<uint32_t> walked = {0};
    for (uint32_t slot = bz_Substance_Next(0); slot != 0; slot = bz_Substance_Next(slot))
        walked.push_back(slot);
    ASSERT_EQ(walked.size(), 43u);
    EXPECT_EQ(walked.back(), 42u);
    EXPECT_EQ(bz_Substance_Next(0xFFFFFFFFu), 0u);
    EXPECT_EQ(bz_Substance_Next(63), 0u);
    EXPECT_EQ(bz_Substance_Next(1000), 0u);
}

TEST_F(SubstanceTest, AFullTableFailsDistinctlyAndLeavesDefaultAlone)
{
    std::vector<uint32_t> taken = FillTable();
    ASSERT_EQ(taken.size(), 23u); // slots 41 to 63
    EXPECT_EQ(taken.front(), 41u);
    EXPECT_EQ(taken.back(), 63u);

    BZDSubstance s = MakeSubstance(0.9f, 0.9f, 0.9f);
    bzgLastError = BZ_ERROR_NONE;
    const uint32_t slot = bz_Substance_Register(&s); // the 65th
    EXPECT_EQ(slot, 0xFFu);
    EXPECT_NE(slot, 0u);
    EXPECT_EQ(bzgLastError, BZ_ERROR_NO_MEMORY);
    // An owner that drops "its" substance frees nothing.
    EXPECT_EQ(bz_Substance_Unregister(slot), BZ_ERROR_INVALID_HANDLE);
    BZDSubstance def;
    ASSERT_EQ(bz_Substance_GetProperties(0, &def), 0);
    EXPECT_FLOAT_EQ(def.staticFriction, 0.3f);
    EXPECT_FLOAT_EQ(def.density, 1000.0f);
    EXPECT_EQ(def.labelId, 1);
}

TEST_F(SubstanceTest, BuiltInsAreUnregisteredOnlyAllTogether)
{
    struct Case
    {
        uint32_t slot;
        int32_t result;
    };
    const Case cases[] = {
        {0, BZ_ERROR_INVALID_PARAMETER},  {5, BZ_ERROR_INVALID_PARAMETER},
        {40, BZ_ERROR_INVALID_PARAMETER}, {41, BZ_ERROR_INVALID_HANDLE},
        {64, BZ_ERROR_INVALID_HANDLE},    {0xFFFFFFFFu, BZ_ERROR_INVALID_HANDLE},
    };
    for (const Case &c : cases)
        EXPECT_EQ(bz_Substance_Unregister(c.slot), c.result) << c.slot;
    for (uint32_t slot = 0; slot < 41; ++slot)
        EXPECT_EQ(bz_Substance_IsRegistered(slot), 1) << slot;

    // UnregisterAll takes the built-ins and leaves a later substance with its owner.
    BZDSubstance s = MakeSubstance(0.4f, 0.3f, 0.2f);
    ASSERT_EQ(bz_Substance_Register(&s), 41u);
    EXPECT_EQ(bz_Substance_UnregisterAll(), 0);
    EXPECT_EQ(bz_Substance_IsRegistered(0), 0);
    EXPECT_EQ(bz_Substance_IsRegistered(40), 0);
    EXPECT_EQ(bz_Substance_IsRegistered(41), 1);
    EXPECT_EQ(bz_Substance_IsBuiltIn(41), 0);
    EXPECT_EQ(bz_Substance_Unregister(41), 0);
    // With no DEFAULT registered a read still sees DEFAULT's values.
    BZDSubstance got;
    EXPECT_EQ(bz_Substance_GetProperties(0, &got), BZ_ERROR_INVALID_HANDLE);
    EXPECT_FLOAT_EQ(got.staticFriction, 0.3f);
    EXPECT_FLOAT_EQ(bz_SubstancePair_GetStaticFriction(0, 12), 0.3f);
}

TEST_F(SubstanceTest, BadSlotsReadAsDefaultAndRefuseWrites)
{
    BZDSubstance glass;
    ASSERT_EQ(bz_Substance_GetProperties(GLASS, &glass), 0);
    const uint32_t badSlots[] = {41, 63, 64, 200, 0xFFFFFFFFu};
    for (uint32_t slot : badSlots)
    {
        SCOPED_TRACE(slot);
        BZDSubstance got;
        std::memset(&got, 0x55, sizeof got);
        EXPECT_EQ(bz_Substance_GetProperties(slot, &got), BZ_ERROR_INVALID_HANDLE);
        EXPECT_FLOAT_EQ(got.density, 1000.0f);
        EXPECT_FLOAT_EQ(got.staticFriction, 0.3f);
        EXPECT_EQ(got.labelId, 1);
        EXPECT_EQ(bz_Substance_GetLabelId(slot), 1);
        EXPECT_EQ(bz_Substance_IsBuiltIn(slot), 0);
        EXPECT_EQ(bz_Substance_IsRegistered(slot), 0);
        EXPECT_EQ(bz_Substance_SetProperties(slot, &glass), BZ_ERROR_INVALID_HANDLE);
        EXPECT_EQ(bz_Substance_AllocExtraData(slot, 20), nullptr);
        EXPECT_EQ(bz_Substance_GetExtraData(slot), nullptr);
        EXPECT_EQ(bz_Substance_SetExtraData(slot, &got), BZ_ERROR_INVALID_HANDLE);
        EXPECT_EQ(bz_Substance_FreeExtraData(slot), BZ_ERROR_INVALID_HANDLE);
        // A pair with a bad slot combines with DEFAULT.
        EXPECT_FLOAT_EQ(bz_SubstancePair_GetStaticFriction(slot, GLASS), std::sqrt(0.3f * 0.33f));
        EXPECT_FLOAT_EQ(bz_SubstancePair_GetRestitution(GLASS, slot), 0.445f);
        EXPECT_EQ(bz_SubstancePair_Set(slot, GLASS, &glass), BZ_ERROR_INVALID_HANDLE);
        EXPECT_EQ(bz_SubstancePair_Set(GLASS, slot, &glass), BZ_ERROR_INVALID_HANDLE);
        EXPECT_EQ(bz_SubstancePair_Remove(slot, GLASS), 172);
        EXPECT_EQ(bz_SubstancePair_Exists(slot, GLASS), 0);
    }
}

TEST_F(SubstanceTest, NegativeOrNaNFrictionIsRefused)
{
    struct Case
    {
        float staticFriction;
        float slidingFriction;
    };
    const Case cases[] = {{-0.1f, 0.2f}, {0.2f, -0.1f}, {kNaN, 0.2f}, {0.2f, kNaN}, {-0.0f, -1.0f}};
    BZDSubstance good = MakeSubstance(0.5f, 0.4f, 0.3f);
    ASSERT_EQ(bz_Substance_Register(&good), 41u);
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.staticFriction);
        BZDSubstance bad = MakeSubstance(c.staticFriction, c.slidingFriction, 0.0f);
        bzgLastError = BZ_ERROR_NONE;
        EXPECT_EQ(bz_Substance_Register(&bad), 0xFFu);
        EXPECT_EQ(bzgLastError, BZ_ERROR_PARAMETER_OUT_OF_RANGE);
        EXPECT_EQ(bz_Substance_SetProperties(41, &bad), BZ_ERROR_PARAMETER_OUT_OF_RANGE);
        EXPECT_EQ(bz_SubstancePair_Set(41, GLASS, &bad), BZ_ERROR_PARAMETER_OUT_OF_RANGE);
        EXPECT_EQ(bz_SubstancePair_Exists(41, GLASS), 0);
        // Nothing was taken or changed: the frictions combine to real numbers.
        EXPECT_EQ(bz_Substance_IsRegistered(42), 0);
        EXPECT_FLOAT_EQ(bz_SubstancePair_GetStaticFriction(41, 41), 0.5f);
        EXPECT_FLOAT_EQ(bz_SubstancePair_GetSlidingFriction(41, 41), 0.4f);
    }
    // Zero friction is a real surface (ICE).
    BZDSubstance zero = MakeSubstance(0.0f, 0.0f, 0.0f);
    EXPECT_EQ(bz_Substance_Register(&zero), 42u);
    EXPECT_EQ(bz_Substance_Register(nullptr), 0xFFu);
}

TEST_F(SubstanceTest, CombinationRules)
{
    // Restitution.
    EXPECT_FLOAT_EQ(bz_SubstancePair_GetRestitution(GLASS, GLASS), 0.89f);
    BZDSubstance a = MakeSubstance(0.5f, 0.5f, 1.4f), b = MakeSubstance(0.5f, 0.5f, 1.0f);
    EXPECT_FLOAT_EQ(bz_SubstancePair_CombineRestitution(&a, &b), 1.0f);
    b.restitutionUnbounded = 1;
    EXPECT_FLOAT_EQ(bz_SubstancePair_CombineRestitution(&a, &b), 1.2f);
    EXPECT_FLOAT_EQ(bz_SubstancePair_CombineRestitution(&b, &a), 1.2f);
    BZDSubstance n1 = MakeSubstance(0.5f, 0.5f, -0.4f), n2 = MakeSubstance(0.5f, 0.5f, -0.2f);
    EXPECT_FLOAT_EQ(bz_SubstancePair_CombineRestitution(&n1, &n2), 0.0f);
    const uint32_t slotA = bz_Substance_Register(&a), slotB = bz_Substance_Register(&b);
    EXPECT_FLOAT_EQ(bz_SubstancePair_GetRestitution(slotA, slotB), 1.2f);

    // Frictions and restitution of a ROAD_TARMAC body on a RUBBER surface.
    EXPECT_FLOAT_EQ(bz_SubstancePair_GetStaticFriction(ROAD_TARMAC, RUBBER),
                    std::sqrt(0.77f * 0.63f));
    EXPECT_FLOAT_EQ(bz_SubstancePair_GetSlidingFriction(ROAD_TARMAC, RUBBER),
                    std::sqrt(0.71f * 0.58f));
    EXPECT_FLOAT_EQ(bz_SubstancePair_GetRestitution(ROAD_TARMAC, RUBBER), 0.54f);

    // Bumps.
    struct Bumps
    {
        uint32_t first, second;
        float height, spacing, weight;
    };
    const Bumps bumps[] = {
        {ROCK, SAND, 0.2f, 1.0f, 75.0f},  {SAND, ROCK, 0.2f, 1.0f, 75.0f},
        {STONE, 0, 0.02f, 0.05f, 100.0f}, {0, STONE, 0.02f, 0.05f, 100.0f},
        {0, 0, 0.0f, 0.0f, 0.0f},         {ROAD_TARMAC, RUBBER, 0.0f, 0.0f, 0.0f},
    };
    for (const Bumps &c : bumps)
    {
        SCOPED_TRACE(testing::Message() << c.first << "/" << c.second);
        float h = -1, s = -1, w = -1;
        EXPECT_EQ(bz_SubstancePair_GetBumps(c.first, c.second, &h, &s, &w), 0);
        EXPECT_FLOAT_EQ(h, c.height);
        EXPECT_FLOAT_EQ(s, c.spacing);
        EXPECT_FLOAT_EQ(w, c.weight);
    }

    // The combined record keeps what the caller put in the fields it does not combine.
    BZDSubstancePair out = {};
    out.hardness = 0.33f;
    out.labelId = 99;
    EXPECT_EQ(bz_SubstancePair_GetProperties(ROCK, SAND, &out), 0);
    EXPECT_FLOAT_EQ(out.density, 3750.0f);
    EXPECT_FLOAT_EQ(out.staticFriction, std::sqrt(0.89f * 0.25f));
    EXPECT_FLOAT_EQ(out.restitution, 0.25f);
    EXPECT_FLOAT_EQ(out.bumpWeight, 75.0f);
    EXPECT_FLOAT_EQ(out.hardness, 0.33f);
    EXPECT_EQ(out.labelId, 99);

    // Side words: the first's, then the second's.
    BZDSubstance sa = MakeSubstance(0.5f, 0.5f, 0.0f), sb = sa;
    sa.sideWord = 7;
    sb.sideWord = 9;
    const uint32_t s1 = bz_Substance_Register(&sa), s2 = bz_Substance_Register(&sb);
    uint32_t w1 = 0, w2 = 0;
    EXPECT_EQ(bz_SubstancePair_GetSideWords(s2, s1, &w1, &w2), 0);
    EXPECT_EQ(w1, 9u);
    EXPECT_EQ(w2, 7u);
}

TEST_F(SubstanceTest, PairEntries)
{
    BZDSubstancePair v = MakeSubstance(0.1f, 0.05f, 0.7f);
    v.bumpHeight = 0.3f;
    EXPECT_EQ(bz_SubstancePair_Set(GLASS, STONE, &v), 0);
    EXPECT_EQ(bz_SubstancePair_EntryNumber(GLASS, STONE), 1u);
    // The key is ordered.
    EXPECT_EQ(bz_SubstancePair_Exists(STONE, GLASS), 0);
    EXPECT_FLOAT_EQ(bz_SubstancePair_GetRestitution(GLASS, STONE), 0.7f);
    EXPECT_FLOAT_EQ(bz_SubstancePair_GetRestitution(STONE, GLASS), 0.89f);
    EXPECT_FLOAT_EQ(bz_SubstancePair_GetStaticFriction(GLASS, STONE), 0.1f);
    EXPECT_EQ(bz_SubstancePair_Set(STONE, GLASS, &v), 0);
    EXPECT_EQ(bz_SubstancePair_EntryNumber(STONE, GLASS), 2u);

    // Setting a key again keeps its entry number and replaces the values.
    v.restitution = 0.2f;
    EXPECT_EQ(bz_SubstancePair_Set(GLASS, STONE, &v), 0);
    EXPECT_EQ(bz_SubstancePair_EntryNumber(GLASS, STONE), 1u);
    ASSERT_NE(bz_SubstancePair_Find(GLASS, STONE), nullptr);
    EXPECT_FLOAT_EQ(bz_SubstancePair_Find(GLASS, STONE)->restitution, 0.2f);
    float h, s, w;
    bz_SubstancePair_GetBumps(GLASS, STONE, &h, &s, &w);
    EXPECT_FLOAT_EQ(h, 0.3f);

    EXPECT_EQ(bz_SubstancePair_Remove(GLASS, STONE), 0);
    EXPECT_EQ(bz_SubstancePair_Remove(GLASS, STONE), 172);
    EXPECT_EQ(bz_SubstancePair_Find(GLASS, STONE), nullptr);
    EXPECT_FLOAT_EQ(bz_SubstancePair_GetRestitution(GLASS, STONE), 0.89f);
    // The freed entry number is the next one taken.
    EXPECT_EQ(bz_SubstancePair_Set(ICE, ROCK, &v), 0);
    EXPECT_EQ(bz_SubstancePair_EntryNumber(ICE, ROCK), 1u);
}

TEST_F(SubstanceTest, AFullPairTableRefusesAndChangesNothing)
{
    BZDSubstancePair v = MakeSubstance(0.1f, 0.1f, 0.1f);
    for (uint32_t i = 0; i < 128; ++i)
        ASSERT_EQ(bz_SubstancePair_Set(i / 40, i % 40, &v), 0) << i;
    EXPECT_EQ(bz_SubstancePair_Set(ICE, ICE, &v), 171);
    EXPECT_EQ(bz_SubstancePair_Exists(ICE, ICE), 0);
    // An existing key can still be overwritten.
    v.restitution = 0.6f;
    EXPECT_EQ(bz_SubstancePair_Set(0, 0, &v), 0);
    EXPECT_FLOAT_EQ(bz_SubstancePair_GetRestitution(0, 0), 0.6f);
    EXPECT_EQ(bz_SubstancePair_EntryNumber(3, 7), 128u);
}

TEST_F(SubstanceTest, UnregisteringRemovesThePairsOfBothKeyOrders)
{
    BZDSubstance s = MakeSubstance(0.4f, 0.3f, 0.2f);
    const uint32_t mine = bz_Substance_Register(&s);
    ASSERT_EQ(mine, 41u);
    BZDSubstancePair v = MakeSubstance(0.1f, 0.1f, 0.1f);
    ASSERT_EQ(bz_SubstancePair_Set(mine, GLASS, &v), 0);
    ASSERT_EQ(bz_SubstancePair_Set(STONE, mine, &v), 0);
    ASSERT_EQ(bz_SubstancePair_Set(GLASS, STONE, &v), 0);
    ASSERT_EQ(bz_SubstancePair_Set(mine, mine, &v), 0);
    EXPECT_EQ(bz_Substance_Unregister(mine), 0);
    EXPECT_EQ(bz_SubstancePair_Exists(mine, GLASS), 0);
    EXPECT_EQ(bz_SubstancePair_Exists(STONE, mine), 0);
    EXPECT_EQ(bz_SubstancePair_Exists(mine, mine), 0);
    EXPECT_EQ(bz_SubstancePair_Exists(GLASS, STONE), 1);
    // A new substance in the same slot starts without pairs.
    ASSERT_EQ(bz_Substance_Register(&s), mine);
    EXPECT_FLOAT_EQ(bz_SubstancePair_GetRestitution(mine, GLASS), (0.2f + 0.89f) * 0.5f);
}

TEST_F(SubstanceTest, ExtraDataBlocks)
{
    BZDSubstance s = MakeSubstance(0.4f, 0.3f, 0.2f);
    const uint32_t mine = bz_Substance_Register(&s);
    auto *block = static_cast<float *>(bz_Substance_AllocExtraData(mine, 20));
    ASSERT_NE(block, nullptr);
    block[4] = 2.5f;
    EXPECT_EQ(bz_Substance_GetExtraData(mine), block);
    // A copy of the values does not carry the block.
    BZDSubstance got;
    got.extraData = nullptr;
    bz_Substance_GetProperties(mine, &got);
    EXPECT_EQ(got.extraData, nullptr);
    EXPECT_EQ(bz_Substance_FreeExtraData(mine), 0);
    EXPECT_EQ(bz_Substance_GetExtraData(mine), nullptr);
    // A block the caller keeps is only forgotten.
    float own[5] = {};
    EXPECT_EQ(bz_Substance_SetExtraData(mine, own), 0);
    EXPECT_EQ(bz_Substance_GetExtraData(mine), own);
    EXPECT_EQ(bz_Substance_FreeExtraData(mine), 0);
    EXPECT_EQ(bz_Substance_GetExtraData(mine), nullptr);
    // A block made for the substance goes with it (the leak check sees a miss).
    ASSERT_NE(bz_Substance_AllocExtraData(mine, 20), nullptr);
    ASSERT_NE(bz_Substance_AllocExtraData(mine, 40), nullptr); // replaces the first
    EXPECT_EQ(bz_Substance_Unregister(mine), 0);
    EXPECT_EQ(bz_Substance_AllocExtraData(GLASS, 0), nullptr);
}

TEST(SubstanceRecordTest, SlotLivesInTheSecondWord)
{
    uint8_t record[12] = {};
    EXPECT_EQ(bz_Substance_SetSlotOf(0x2A, record), 0);
    const uint8_t expected[12] = {0, 0, 0, 0, 0x2A, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(std::memcmp(record, expected, sizeof record), 0);
    record[5] = 1;
    EXPECT_EQ(bz_Substance_SlotOf(record), 0x12Au);
}
} // namespace
