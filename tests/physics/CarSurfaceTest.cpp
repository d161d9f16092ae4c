// Car surface blocks: lookups with their default, editing the surface of an owner record, and
// the bump height of a surface.
#include "SubstanceTestSupport.h"
#include "core/Error.h"
#include "physics/CarSurface.h"
#include "physics/Substance.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

namespace
{
// A surface owner record: a first word, then the substance slot.
struct Owner
{
    uint32_t first;
    uint32_t slot;
};

void ExpectSurface(const bzCarSurface *s, float slip, float friction, float bmagnitude,
                   float bwavelength, float rollingresistance)
{
    ASSERT_NE(s, nullptr);
    EXPECT_FLOAT_EQ(s->slip, slip);
    EXPECT_FLOAT_EQ(s->friction, friction);
    EXPECT_FLOAT_EQ(s->bmagnitude, bmagnitude);
    EXPECT_FLOAT_EQ(s->bwavelength, bwavelength);
    EXPECT_FLOAT_EQ(s->rollingresistance, rollingresistance);
}

class CarSurfaceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ResetSubstancesToStartUp();
        bz_PhysCar_SetDefaultSurface(0.0f, 1.0f, 0.0f, 1.0f, 0.0f);
    }
    void TearDown() override
    {
        RemoveAllSubstances();
        bz_PhysCar_SetDefaultSurface(0.0f, 1.0f, 0.0f, 1.0f, 0.0f);
    }
};

TEST_F(CarSurfaceTest, SurfacesWithoutABlockGiveTheDefaults)
{
    const Owner noSubstance = {0, 0};
    const Owner stone = {0, 16};
    const Owner freed = {0, 50};
    const Owner wild = {0, 0xFFFFFFFFu};
    const bzCarSurface *cases[] = {
        bz_PhysCar_GetOwnerSurface(nullptr), bz_PhysCar_GetOwnerSurface(&noSubstance),
        bz_PhysCar_GetOwnerSurface(&stone),  bz_PhysCar_GetOwnerSurface(&freed),
        bz_PhysCar_GetOwnerSurface(&wild),   bz_PhysCar_GetSurface(64),
    };
    for (const bzCarSurface *s : cases)
    {
        EXPECT_EQ(s, &bzgDefaultCarSurface);
        ExpectSurface(s, 0.0f, 1.0f, 0.0f, 1.0f, 0.0f);
    }
    bz_PhysCar_SetDefaultSurface(0.1f, 0.9f, 0.05f, 2.0f, 0.3f);
    ExpectSurface(bz_PhysCar_GetSurface(16), 0.1f, 0.9f, 0.05f, 2.0f, 0.3f);
}

TEST_F(CarSurfaceTest, SlotZeroAlwaysMapsToTheDefaultBlock)
{
    EXPECT_EQ(bz_PhysCar_SetSubstanceSurface(0, 5.0f, 5.0f, 5.0f, 5.0f, 5.0f), 0);
    EXPECT_EQ(bz_PhysCar_GetSurface(0), &bzgDefaultCarSurface);
    ExpectSurface(bz_PhysCar_GetSurface(0), 0.0f, 1.0f, 0.0f, 1.0f, 0.0f);
}

TEST_F(CarSurfaceTest, ASubstanceBlockIsMadeOnceAndKeptByTheSubstance)
{
    EXPECT_EQ(bz_PhysCar_SetSubstanceSurface(16, 0.2f, 0.8f, 0.1f, 1.0f, 0.05f), 0);
    const bzCarSurface *block = bz_PhysCar_GetSurface(16);
    EXPECT_NE(block, &bzgDefaultCarSurface);
    EXPECT_EQ(bz_Substance_GetExtraData(16), block);
    ExpectSurface(block, 0.2f, 0.8f, 0.1f, 1.0f, 0.05f);
    EXPECT_EQ(bz_PhysCar_SetSubstanceSurface(16, 0.3f, 0.7f, 0.0f, 2.0f, 0.0f), 0);
    EXPECT_EQ(bz_PhysCar_GetSurface(16), block);
    ExpectSurface(block, 0.3f, 0.7f, 0.0f, 2.0f, 0.0f);
    // Unregistered or out-of-range slots are refused.
    EXPECT_EQ(bz_PhysCar_SetSubstanceSurface(50, 0, 1, 0, 1, 0), BZ_ERROR_INVALID_HANDLE);
    EXPECT_EQ(bz_PhysCar_SetSubstanceSurface(64, 0, 1, 0, 1, 0), BZ_ERROR_INVALID_HANDLE);
}

TEST_F(CarSurfaceTest, EditingAnOwnerWithoutASubstanceGivesItItsOwn)
{
    Owner owner = {7, 0};
    EXPECT_EQ(bz_PhysCar_SetSurface(&owner, 0.0f, 1.0f, 0.1f, 1.0f, 0.0f), 0);
    EXPECT_EQ(owner.first, 7u);
    EXPECT_EQ(owner.slot, 41u);
    ExpectSurface(bz_PhysCar_GetOwnerSurface(&owner), 0.0f, 1.0f, 0.1f, 1.0f, 0.0f);
    // The new substance has DEFAULT's values.
    BZDSubstance s;
    ASSERT_EQ(bz_Substance_GetProperties(41, &s), 0);
    EXPECT_FLOAT_EQ(s.staticFriction, 0.3f);
    EXPECT_FLOAT_EQ(s.density, 1000.0f);
    // Every other surface keeps the defaults.
    ExpectSurface(bz_PhysCar_GetSurface(0), 0.0f, 1.0f, 0.0f, 1.0f, 0.0f);

    // A second edit registers nothing more and reuses the block.
    const bzCarSurface *block = bz_PhysCar_GetOwnerSurface(&owner);
    EXPECT_EQ(bz_PhysCar_SetSurface(&owner, 0.5f, 1.0f, 0.1f, 1.0f, 0.0f), 0);
    EXPECT_EQ(owner.slot, 41u);
    EXPECT_EQ(bz_PhysCar_GetOwnerSurface(&owner), block);
    EXPECT_FLOAT_EQ(block->slip, 0.5f);
    EXPECT_EQ(bz_Substance_IsRegistered(42), 0);

    // An owner naming a freed slot gets a substance of its own as well.
    Owner stale = {0, 50};
    EXPECT_EQ(bz_PhysCar_SetSurface(&stale, 0.0f, 2.0f, 0.0f, 1.0f, 0.0f), 0);
    EXPECT_EQ(stale.slot, 42u);
    EXPECT_EQ(bz_PhysCar_SetSurface(nullptr, 0, 1, 0, 1, 0), BZ_ERROR_INVALID_PARAMETER);
}

TEST_F(CarSurfaceTest, AFullTableLeavesTheOwnerAndDefaultAlone)
{
    BZDSubstance s = MakeSubstance(0.5f, 0.5f, 0.0f);
    while (bz_Substance_Register(&s) != BZ_SUBSTANCE_NONE)
    {
    }
    Owner owner = {0, 0};
    EXPECT_EQ(bz_PhysCar_SetSurface(&owner, 0.4f, 0.5f, 0.2f, 3.0f, 0.1f), BZ_ERROR_NO_MEMORY);
    EXPECT_EQ(owner.slot, 0u);
    EXPECT_EQ(bz_Substance_GetExtraData(0), nullptr);
    ExpectSurface(bz_PhysCar_GetOwnerSurface(&owner), 0.0f, 1.0f, 0.0f, 1.0f, 0.0f);
}

TEST(CarSurfaceBumpTest, TriangleWave)
{
    const float inf = std::numeric_limits<float>::infinity();
    struct Case
    {
        float u, wave;
    };
    const Case cases[] = {
        {0.0f, 0.0f},
        {1.0f, 0.0f},
        {-3.0f, 0.0f},
        {0.5f, 1.0f},
        {-0.5f, 1.0f},
        {0.25f, 0.5f},
        {-0.25f, 0.5f},
        {2.75f, 0.5f},
        {-2.75f, 0.5f},
        {0.125f, 0.25f},
        {-0.875f, 0.25f},
        {1e9f, 0.0f},
        {std::numeric_limits<float>::quiet_NaN(), 0.0f},
        {inf, 0.0f},
        {-inf, 0.0f},
    };
    for (const Case &c : cases)
        EXPECT_FLOAT_EQ(bz_PhysCar_BumpWave(c.u), c.wave) << c.u;
    // Negative coordinates mirror positive ones everywhere.
    for (float u = 0.0f; u < 4.0f; u += 0.0625f)
        EXPECT_FLOAT_EQ(bz_PhysCar_BumpWave(-u), bz_PhysCar_BumpWave(u)) << u;
}

TEST(CarSurfaceBumpTest, BumpsRaiseTheGroundInAGridOfPyramids)
{
    const bzCarSurface bumpy = {0.0f, 1.0f, 0.1f, 1.0f, 0.0f};
    struct Case
    {
        float x, z, rise;
    };
    const Case cases[] = {
        {0.5f, 0.5f, 0.1f}, {-0.5f, -0.5f, 0.1f}, {10.5f, -3.5f, 0.1f},  {1.0f, 0.3f, 0.0f},
        {0.3f, 2.0f, 0.0f}, {0.25f, 0.5f, 0.05f}, {-0.25f, 0.5f, 0.05f}, {0.25f, 0.25f, 0.025f},
    };
    for (const Case &c : cases)
        EXPECT_NEAR(bz_PhysCar_BumpRise(&bumpy, c.x, c.z), c.rise, 1e-6f) << c.x << "," << c.z;
    const bzV3 p = {{{0.5f, 7.0f, 0.5f}}};
    EXPECT_FLOAT_EQ(bz_PhysCar_BumpedDistance(&bumpy, &p, 1.0f), 0.9f);

    const bzCarSurface wide = {0.0f, 1.0f, 0.1f, 2.0f, 0.0f};
    EXPECT_FLOAT_EQ(bz_PhysCar_BumpRise(&wide, 1.0f, 1.0f), 0.1f);
    EXPECT_FLOAT_EQ(bz_PhysCar_BumpRise(&wide, 2.0f, 1.0f), 0.0f);

    // Flat surfaces and wavelengths without a meaning leave the distance alone.
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const bzCarSurface flats[] = {
        {0.0f, 1.0f, 0.0f, 1.0f, 0.0f},
        {0.0f, 1.0f, 0.1f, 0.0f, 0.0f},
        {0.0f, 1.0f, 0.1f, nan, 0.0f},
        {0.0f, 1.0f, 0.1f, std::numeric_limits<float>::infinity(), 0.0f},
    };
    for (const bzCarSurface &s : flats)
        EXPECT_EQ(bz_PhysCar_BumpedDistance(&s, &p, 1.0f), 1.0f);
}
} // namespace
