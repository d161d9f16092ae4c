// The physics settings with their defaults and other names, the step-running switch and the
// bits of the physics flags word.
#include "physics/PhysSettings.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>

namespace
{
TEST(PhysSettingsTest, DefaultsAndReset)
{
    bz_Phys_ResetSettings();
    EXPECT_FLOAT_EQ(bzgPhysSettings.timeStep, 0.04f);
    EXPECT_FLOAT_EQ(bzgPhysSettings.contactSpeedTolerance, 0.25f);
    EXPECT_FLOAT_EQ(bzgPhysSettings.contactDistance, 0.01f);
    EXPECT_FLOAT_EQ(bzgPhysSettings.restFactor, 1.0f);
    EXPECT_FLOAT_EQ(bzgPhysSettings.forceScale, 1.0f);
    EXPECT_EQ(bzgPhysSettings.frictionPassLimit, 0);

    // The game's values, then back.
    bzgPhysSettings.contactSpeedTolerance = 0.025f;
    bzgPhysSettings.contactDistance = 0.001f;
    bzgPhysSettings.restFactor = 10.0f;
    bzgPhysSettings.frictionPassLimit = 3;
    bz_Phys_ResetSettings();
    EXPECT_FLOAT_EQ(bzgPhysSettings.contactSpeedTolerance, 0.25f);
    EXPECT_EQ(bzgPhysSettings.frictionPassLimit, 0);
}

TEST(PhysSettingsTest, TheTimeStepHasOneValueUnderEveryName)
{
    bz_Phys_ResetSettings();
    bzgPhysTimeStep = 0.02f;
    EXPECT_FLOAT_EQ(bzgPhysSettings.timeStep, 0.02f);
    EXPECT_FLOAT_EQ(bzPhysStepLength, 0.02f);
    bzPhysStepLength = 0.01f;
    EXPECT_FLOAT_EQ(bzgPhysTimeStep, 0.01f);
    bz_Phys_ResetSettings();
    EXPECT_FLOAT_EQ(bzPhysStepLength, 0.04f);
}

TEST(PhysSettingsTest, SteppingSwitch)
{
    bz_Phys_SetStepping(5);
    EXPECT_EQ(bz_Phys_IsStepping(), 1);
    EXPECT_EQ(bzgPhysStepRunning, 1);
    bz_Phys_SetStepping(0);
    EXPECT_EQ(bz_Phys_IsStepping(), 0);
    EXPECT_EQ(bzgPhysStepRunning, 0);
}

TEST(PhysSettingsTest, EveryFlagHasItsOwnBit)
{
    struct Flag
    {
        uint32_t value;
        uint32_t expected;
    };
    const Flag flags[] = {
        {BZ_PHYS_IDENTITY_CACHE, 0x1},
        {BZ_PHYS_SHARED_CACHE, 0x2},
        {BZ_PHYS_NO_COLLISION, 0x4},
        {BZ_PHYS_NO_BODY_CONTACT, 0x8},
        {BZ_PHYS_PAIR_EXCLUSIVE, 0x10},
        {BZ_PHYS_ASLEEP_ON_RELEASE, 0x40},
        {BZ_PHYS_IGNORE_WORLD, 0x80},
        {BZ_PHYS_YIELDED, 0x200},
        {BZ_PHYS_YIELD_MARK, 0x400},
        {BZ_PHYS_WELDED, 0x800},
        {BZ_PHYS_WELDED_ROWS, 0x1000},
        {BZ_PHYS_INF_MI, 0x2000},
        {BZ_PHYS_INF_MASS, 0x4000},
        {BZ_PHYS_PREP_MARK, 0x8000},
        {BZ_PHYS_CALLBACK_NO_WORLD, 0x10000},
        {BZ_PHYS_ALT_TREE_BOX, 0x20000},
        {BZ_PHYS_HEAVY, 0x40000},
        {BZ_PHYS_NO_WORLD_CONTACTS, 0x80000},
        {BZ_PHYS_FROZEN, 0x100000},
        {BZ_PHYS_NO_REST_TEST, 0x200000},
        {BZ_PHYS_EXTRA_SOLVE, 0x400000},
        {BZ_PHYS_VEHICLE, 0x1000000},
        {BZ_PHYS_NO_CORNER_TEST, 0x2000000},
        {BZ_PHYS_DOUBLE_OMEGA_LIMIT, 0x4000000},
        {BZ_PHYS_POOL_KEEP, 0x8000000},
        {BZ_PHYS_OFFSET_BOX, 0x10000000},
        {BZ_PHYS_SLOW_TURN, 0x20000000},
        {BZ_PHYS_GAME_CAR, 0x40000000},
        {BZ_PHYS_CLAMP_OMEGA, 0x80000000},
    };
    uint32_t all = 0;
    for (const Flag &f : flags)
    {
        EXPECT_EQ(f.value, f.expected);
        EXPECT_EQ(std::popcount(f.value), 1);
        EXPECT_EQ(all & f.value, 0u) << std::hex << f.value << " used twice";
        all |= f.value;
    }
    EXPECT_EQ(BZ_PHYS_PREP_CLEARED, 0x400u | 0x8000u | 0x20000000u);
    EXPECT_TRUE(bz_Phys_IsFixed(0x2000 | 0x4000 | 0x1));
    EXPECT_FALSE(bz_Phys_IsFixed(0x2000));
    EXPECT_FALSE(bz_Phys_IsFixed(0x4000));
}
} // namespace
