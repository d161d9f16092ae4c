#include "scene/Light.h"

#include "scene/Lump.h"

#include <gtest/gtest.h>

#include <cstring>

namespace
{
TEST(Light, CreateSetsTheDefaults)
{
    bzLight *light = bz_Light_Create(8, 0xFF102030, 0x41200000, nullptr);
    ASSERT_NE(light, nullptr);
    EXPECT_EQ(light->type, 8u);
    EXPECT_EQ(light->parameter1, 0xFF102030u);
    EXPECT_EQ(light->colour, 0xFF102030u);
    EXPECT_EQ(light->range, 10.0f);
    EXPECT_EQ(light->innerAngle, 22.5f);
    EXPECT_EQ(light->outerAngle, 45.0f);
    EXPECT_EQ(light->flare, nullptr);
    EXPECT_EQ(light->spare, 0u);
    EXPECT_EQ(light->constantAttenuation, 0.0f);
    EXPECT_EQ(light->linearAttenuation, 0.4f);
    EXPECT_EQ(light->quadraticAttenuation, 0.0f);
    bz_Light_Free(light);
}

TEST(Light, PayloadBytes)
{
    bzLight *light = bz_Light_Create(7, 0x11223344, 0x55667788, nullptr);
    uint8_t buffer[20];
    std::memset(buffer, 0xEE, sizeof buffer);
    uint8_t *cursor = buffer;
    EXPECT_EQ(bz_Light_Write(light, &cursor), 16);
    EXPECT_EQ(cursor, buffer + 16);
    const uint8_t expected[20] = {0x44, 0x33, 0x22, 0x11, 0x88, 0x77, 0x66, 0x55, 0x00, 0x00,
                                  0xB4, 0x41, 0x00, 0x00, 0x34, 0x42, 0xEE, 0xEE, 0xEE, 0xEE};
    EXPECT_EQ(std::memcmp(buffer, expected, sizeof expected), 0);
    bz_Light_Free(light);
}

TEST(Light, StoredAnglesOverwriteTheDefaults)
{
    // Parameters 0xAABBCCDD and 7, angles 10.0 and 30.0.
    const uint8_t payload[16] = {0xDD, 0xCC, 0xBB, 0xAA, 0x07, 0x00, 0x00, 0x00,
                                 0x00, 0x00, 0x20, 0x41, 0x00, 0x00, 0xF0, 0x41};
    const uint8_t *cursor = payload;
    bzLight *light = bz_Light_Read(6, &cursor);
    ASSERT_NE(light, nullptr);
    EXPECT_EQ(cursor, payload + 16);
    EXPECT_EQ(light->type, 6u);
    EXPECT_EQ(light->parameter1, 0xAABBCCDDu);
    EXPECT_EQ(light->parameter2, 7u);
    EXPECT_EQ(light->innerAngle, 10.0f);
    EXPECT_EQ(light->outerAngle, 30.0f);
    EXPECT_EQ(light->linearAttenuation, 0.4f);
    // Written back, the payload is the same bytes.
    uint8_t out[16];
    uint8_t *w = out;
    bz_Light_Write(light, &w);
    EXPECT_EQ(std::memcmp(out, payload, 16), 0);
    bz_Light_Free(light);
    EXPECT_EQ(bz_Light_Read(6, nullptr), nullptr);
}

TEST(Light, CloneHasItsOwnFlare)
{
    static int inits;
    inits = 0;
    bz_Light_SetFlareInit(
        [](bzFlare *flare)
        {
            inits++;
            flare->elements[0].shape = 3;
        });
    const uint32_t flareTemplate[6] = {1, 2, 3, 4, 5, 6};
    bzLight *light = bz_Light_Create(9, 0xFFFFFFFF, 5, flareTemplate);
    ASSERT_NE(light, nullptr);
    ASSERT_NE(light->flare, nullptr);
    EXPECT_EQ(inits, 1);
    EXPECT_EQ(light->flare->words[5], 6u);
    EXPECT_EQ(light->flare->cleared, 0u);
    light->innerAngle = 12.0f;
    light->spare = 99;
    light->direction = {{{0, -1, 0}}};

    bzLight *copy = bz_Light_Clone(light);
    ASSERT_NE(copy, nullptr);
    ASSERT_NE(copy->flare, nullptr);
    EXPECT_NE(copy->flare, light->flare);
    EXPECT_EQ(inits, 2);
    EXPECT_EQ(std::memcmp(copy->flare->words, flareTemplate, sizeof flareTemplate), 0);
    EXPECT_EQ(copy->type, 9u);
    EXPECT_EQ(copy->innerAngle, 12.0f);
    EXPECT_EQ(copy->spare, 99u);
    EXPECT_EQ(copy->direction.y, -1.0f);
    bz_Light_Free(light);
    EXPECT_EQ(copy->flare->elements[0].shape, 3);
    bz_Light_FreeFlareOf(copy);
    EXPECT_EQ(copy->flare, nullptr);
    bz_Light_Free(copy);
    bz_Light_SetFlareInit(nullptr);
    EXPECT_EQ(bz_Light_Clone(nullptr), nullptr);
}

TEST(Light, LightLumpDestroyFreesItsFlare)
{
    const uint32_t flareTemplate[6] = {7, 0, 0, 0, 0, 0};
    const bzLightParameters params = {0xFF808080, 0, flareTemplate};
    bzLump *lump = bz_Lump_CreateLight(BZ_LUMP_TYPE_FLARELIGHT, nullptr, &params);
    ASSERT_NE(lump, nullptr);
    bzLight *light = (bzLight *)lump->object;
    ASSERT_NE(light->flare, nullptr);
    EXPECT_EQ(light->flare->words[0], 7u);
    EXPECT_STREQ(bz_Lump_GetObjectName(lump), "FlareLight");
    bz_Light_FreeFlare(lump);
    EXPECT_EQ(light->flare, nullptr);
    bz_Lump_Destroy(lump); // ASan sees the record and the flare freed once each
}

TEST(Light, PointInCone)
{
    // Apex (1, 2, 3), axis along world x.
    const bzM34 m = {{{{{0, 1, 0}}}, {{{0, 0, 1}}}, {{{1, 0, 0}}}, {{{1, 2, 3}}}}};
    struct Case
    {
        bzV3 point;
        float range, angle;
        int32_t inside;
    };
    const Case cases[] = {
        {{{{11, 2, 3}}}, 10, 30, 1},    // on the axis at exactly the range
        {{{{11.5f, 2, 3}}}, 10, 30, 0}, // beyond the range
        {{{{0, 2, 3}}}, 10, 30, 0},     // directly behind the apex
        {{{{-5, 2, 3}}}, 10, 90, 0},    // behind, whatever the angle
        {{{{9, 6, 3}}}, 10, 30, 1},     // 26.6 degrees off the axis
        {{{{6, 7, 3}}}, 10, 30, 0},     // 45 degrees off the axis
        {{{{6, 7, 3}}}, 10, 50, 1},     {{{{6, 2, 8}}}, 10, 44, 0},
        {{{{1, 2, 3}}}, 10, 30, 1}, // the apex itself
    };
    for (const Case &c : cases)
        EXPECT_EQ(bz_Light_PointInCone(&c.point, &m, c.range, c.angle), c.inside)
            << c.point.x << "," << c.point.y << "," << c.point.z;
    EXPECT_EQ(bz_Light_PointInCone(nullptr, &m, 1, 1), 0);
}
} // namespace
