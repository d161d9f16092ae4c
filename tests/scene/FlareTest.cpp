#include "scene/Flare.h"

#include "core/Random.h"
#include "device/ImageRecord.h"
#include "device/RenderTable.h"
#include "scene/EffectServices.h"
#include "scene/Light.h"
#include "scene/Lump.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace
{
struct Recorded
{
    int32_t shape, count, stride, indexCount;
    std::vector<uint8_t> bytes; // the vertex array as handed over
};
std::vector<Recorded> gArrays;
std::vector<bz_IMGMAP *> gDrawCalls;

class FlareTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        saved = bzgRenderTable;
        gArrays.clear();
        gDrawCalls.clear();
        bzgRenderTable.PDDrawFlares = [](bz_IMGMAP *t) { gDrawCalls.push_back(t); };
        bzgRenderTable.PDSetFlareArrays = [](int32_t shape, const bzFlareVertex *v, int32_t n,
                                             int32_t stride, const uint16_t *, int32_t ni)
        {
            const uint8_t *p = reinterpret_cast<const uint8_t *>(v);
            gArrays.push_back({shape, n, stride, ni, std::vector<uint8_t>(p, p + n * stride)});
        };
        bz_Flare_InitModule();
        bz_Flare_ClearHistory();
    }
    void TearDown() override
    {
        bz_Flare_ReleaseAll();
        bz_Light_SetFlareInit(nullptr);
        bzgRenderTable = saved;
    }
    PDRenderFunctionTable saved;
};

float F(const std::vector<uint8_t> &b, size_t at)
{
    float f;
    std::memcpy(&f, b.data() + at, 4);
    return f;
}
uint32_t U(const std::vector<uint8_t> &b, size_t at)
{
    uint32_t u;
    std::memcpy(&u, b.data() + at, 4);
    return u;
}

TEST_F(FlareTest, ShapesAreBuiltAsRingsAndDiscs)
{
    const struct
    {
        int shape, vertices, indices;
    } sizes[] = {{0, 34, 96}, {1, 42, 120}, {2, 50, 144}, {3, 50, 144},
                 {4, 14, 36}, {5, 26, 72},  {6, 38, 108}, {7, 62, 180}};
    for (const auto &c : sizes)
    {
        const bzFlareShape *s = bz_Flare_GetShape(c.shape);
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(s->vertexCount, c.vertices) << c.shape;
        EXPECT_EQ(s->indexCount, c.indices) << c.shape;
    }
    const bzFlareShape *disc = bz_Flare_GetShape(3);
    EXPECT_EQ(disc->vertices[0].x, 0.0f);
    EXPECT_EQ(disc->vertices[0].u, 0.5f);
    EXPECT_EQ(disc->vertices[0].v, 0.5f);
    EXPECT_NEAR(disc->vertices[1].x, 0.0f, 1e-4f);
    EXPECT_NEAR(disc->vertices[1].y, 48.0f, 1e-4f);
    EXPECT_FLOAT_EQ(disc->vertices[1].u, 1.0f / 49.0f);
    EXPECT_EQ(disc->vertices[1].w, 1.0f);
    // k = 13: 360 - 12 x 7.5 = 270 degrees.
    EXPECT_NEAR(disc->vertices[13].x, -48.0f, 1e-4f);
    EXPECT_NEAR(disc->vertices[13].y, 0.0f, 1e-4f);
    EXPECT_EQ(disc->indices[0], 0);
    EXPECT_EQ(disc->indices[1], 2);
    EXPECT_EQ(disc->indices[2], 1);
    const bzFlareShape *ring = bz_Flare_GetShape(0);
    EXPECT_NEAR(ring->vertices[0].y, 18.0f, 1e-4f);
    EXPECT_NEAR(ring->vertices[1].y, 16.0f, 1e-4f);
    EXPECT_EQ(ring->vertices[1].v, 1.0f);
    EXPECT_EQ(ring->vertices[2].u, 1.0f);
    EXPECT_EQ(ring->vertices[4].u, 0.0f);
    const uint16_t first[6] = {0, 1, 2, 2, 1, 3};
    for (int i = 0; i < 6; i++)
        EXPECT_EQ(ring->indices[i], first[i]);
}

// Elements from the starting word: a word of 0 gives what a word of 1 gives; the oracle draws
// the same numbers.
TEST_F(FlareTest, StartingWordZeroEqualsOne)
{
    bzFlare a = {}, b = {};
    a.words[0] = 0;
    b.words[0] = 1;
    a.cleared = 0x55;
    bz_Flare_Init(&a);
    bz_Flare_Init(&b);
    EXPECT_EQ(a.cleared, 0u);
    EXPECT_EQ(std::memcmp(a.elements, b.elements, sizeof a.elements), 0);
    bzFlare c = {};
    c.words[0] = 31337;
    bz_Flare_Init(&c);
    bz_RandomSeed(31337);
    for (const bzFlareElement &e : c.elements)
    {
        bz_RandomRaw();
        bz_RandomRaw();
        const uint32_t k = (uint32_t)bz_RandomRaw() & 3;
        EXPECT_EQ(e.colour, 0xFF000000u + k * 0x202020u);
        EXPECT_EQ(e.shape, bz_RandomRaw() * 8 / 32768);
        const float d = 0.5f + 1.5f * bz_RandomUnit();
        EXPECT_FLOAT_EQ(e.distance, d);
        EXPECT_GE(e.distance, 0.5f);
        EXPECT_LE(e.distance, 2.0f);
    }
}

bzFlareView View()
{
    bzFlareView v = {};
    v.x = 100;
    v.y = 50;
    v.width = 640;
    v.height = 480;
    v.aspect = 1.0f;
    for (int i = 0; i < 4; i++)
        v.viewProjection.row[i].v[i] = 1.0f;
    return v;
}

// The projected x of a screen column of the view above.
float ColumnToProjected(float sx)
{
    return (sx - 100.0f) / 320.0f - 1.0f;
}

TEST_F(FlareTest, CullingMarginIsTwoHundredPixels)
{
    bzFlare f = {};
    f.words[0] = 5;
    bz_Flare_Init(&f);
    const bzFlareView v = View();
    const struct
    {
        float screenX;
        int drawn;
    } cases[] = {{100 - 150, 1}, {100 - 250, 0}, {740 + 150, 1}, {740 + 250, 0}, {400, 1}};
    for (const auto &c : cases)
    {
        const bzV3 p = {{{ColumnToProjected(c.screenX), 0.0f, 0.0f}}};
        gDrawCalls.clear();
        EXPECT_EQ(bz_Flare_Project(&v, &f, &p, 1.0f), c.drawn) << c.screenX;
        EXPECT_EQ(gDrawCalls.size(), (size_t)c.drawn);
    }
    // Behind the eye (w not above 0) nothing is drawn.
    bzFlareView behind = v;
    behind.viewProjection.row[3].v[3] = -1.0f;
    const bzV3 centre = {{{0, 0, 0}}};
    EXPECT_EQ(bz_Flare_Project(&behind, &f, &centre, 1.0f), 0);
}

// The recorded arrays: stride 28, the colour at byte 16 with the element's alpha, the first
// element at the light's screen position and the next one step x distance further on.
TEST_F(FlareTest, RecordedArraysAndIntensityClamp)
{
    bzFlare f = {};
    for (bzFlareElement &e : f.elements)
        e = {0xFF404040u, 3, 1.0f};
    f.elements[1] = {0xFF202020u, 0, 2.0f};
    const bzFlareView v = View();
    const bzV3 p = {{{ColumnToProjected(260.0f), 0.0f, 0.0f}}};
    const struct
    {
        float intensity;
        uint32_t discAlpha, ringAlpha;
    } cases[] = {{1.5f, 255, 76},
                 {-0.5f, 0, 0},
                 {0.5f, 127, 38},
                 {std::numeric_limits<float>::quiet_NaN(), 0, 0}};
    for (const auto &c : cases)
    {
        gArrays.clear();
        ASSERT_EQ(bz_Flare_Project(&v, &f, &p, c.intensity), 1);
        ASSERT_EQ(gArrays.size(), 10u);
        const Recorded &disc = gArrays[0];
        EXPECT_EQ(disc.stride, 28);
        EXPECT_EQ(disc.shape, 3);
        EXPECT_EQ(disc.count, 50);
        EXPECT_EQ(U(disc.bytes, 16) >> 24, c.discAlpha) << c.intensity;
        EXPECT_EQ(U(disc.bytes, 16) & 0xFFFFFF, 0x404040u);
        EXPECT_EQ(U(gArrays[1].bytes, 28 * 5 + 16) >> 24, c.ringAlpha) << c.intensity;
        // Centre vertex of the first element: the light's screen position.
        EXPECT_NEAR(F(disc.bytes, 0), 260.0f, 1e-3f);
        EXPECT_NEAR(F(disc.bytes, 4), 290.0f, 1e-3f);
        EXPECT_EQ(F(disc.bytes, 20), 0.5f);
        // Step = (centre - position) x 0.2 = (420 - 260) x 0.2 = 32 along x.
        const Recorded &ring = gArrays[1];
        EXPECT_NEAR(F(ring.bytes, 0), 260.0f + 32.0f, 1e-3f);
        EXPECT_NEAR(F(ring.bytes, 4), 290.0f + 18.0f, 1e-3f);
        EXPECT_NEAR(F(gArrays[2].bytes, 0), 260.0f + 32.0f * 3, 1e-3f);
    }
    // The shapes themselves never move.
    EXPECT_EQ(bz_Flare_GetShape(3)->vertices[0].x, 0.0f);
}

struct AlphaLog
{
    static inline std::vector<float> alphas;
};

TEST_F(FlareTest, IntensityHistoryKeepsTheLastFour)
{
    const bzSceneImageServices services = {
        nullptr, nullptr, nullptr,
        nullptr, nullptr, [](bzMaterial *, float a) { AlphaLog::alphas.push_back(a); }};
    bz_Scene_SetImageServices(&services);
    AlphaLog::alphas.clear();
    const uint32_t tmpl[6] = {7, 0, 0, 0, 0, 0};
    const bzLightParameters params = {0xFFFFFFFF, 0, tmpl};
    std::vector<bzLump *> lights;
    for (int i = 0; i < 5; i++)
    {
        bzLump *l = bz_Lump_CreateLight(BZ_LUMP_TYPE_FLARELIGHT, nullptr, &params);
        ASSERT_NE(l, nullptr);
        static_cast<bzLight *>(l->object)->flare->words[2] = (uint32_t)i;
        lights.push_back(l);
    }
    // The light's flare was given its elements when made.
    bzFlare expected = {};
    expected.words[0] = 7;
    bz_Flare_Init(&expected);
    const bzFlare *first = static_cast<bzLight *>(lights[0]->object)->flare;
    EXPECT_EQ(std::memcmp(first->elements, expected.elements, sizeof expected.elements), 0);

    bzMaterial *material = reinterpret_cast<bzMaterial *>(&AlphaLog::alphas);
    lights[4]->material = material; // counted: its alpha follows the intensity
    for (int i = 0; i < 5; i++)
    {
        const bzV3 at = {{{(float)i, 0, 0}}};
        bz_Flare_SetIntensity(lights[i], &at, i == 4 ? 3.0f : 0.5f);
    }
    lights[4]->material = nullptr;
    for (int k = 0; k < 4; k++)
    {
        const bzFlareHistoryEntry *h = bz_Flare_GetHistory(k);
        EXPECT_EQ(h->inUse, 1u);
        EXPECT_EQ(h->position.x, (float)(k + 1));
        bzFlare copy;
        std::memcpy(&copy, h->flare, sizeof copy);
        EXPECT_EQ(copy.words[2], (uint32_t)(k + 1));
    }
    EXPECT_FLOAT_EQ(bz_Flare_GetDimIntensity(static_cast<bzLight *>(lights[4]->object)->flare),
                    0.2f);
    EXPECT_FLOAT_EQ(bz_Flare_GetDimIntensity(static_cast<bzLight *>(lights[0]->object)->flare),
                    0.1f);
    EXPECT_EQ(AlphaLog::alphas, std::vector<float>{1.0f});
    for (bzLump *l : lights)
        bz_Lump_Destroy(l);
    bz_Scene_SetImageServices(nullptr);
}

TEST_F(FlareTest, LightSums)
{
    bz_Flare_ResetLights();
    bz_Flare_AddLight(0xFF102030u, 0.5f);
    bz_Flare_AddLight(0xFF010203u, 1.0f);
    bzFlareLightStats s;
    bz_Flare_GetLightStats(&s);
    EXPECT_EQ(s.count, 2);
    EXPECT_FLOAT_EQ(s.weightSum, 1.5f);
    EXPECT_FLOAT_EQ(s.red, 0x11);
    EXPECT_FLOAT_EQ(s.green, 0x22);
    EXPECT_FLOAT_EQ(s.blue, 0x33);
    EXPECT_EQ(s.added, 1);
    bz_Flare_ResetLights();
    bz_Flare_GetLightStats(&s);
    EXPECT_EQ(s.count, 0);
    EXPECT_EQ(s.added, 0);
}

// The texture: 64 x 64, format 2, flags 0x41, handed to the renderer and filled with the
// four-stop ramp; without a texture from the renderer, none.
TEST_F(FlareTest, Texture)
{
    static bz_IMGMAP image;
    static std::vector<bzColour> ramp;
    static int released;
    for (int fail = 0; fail < 2; fail++)
    {
        bz_Flare_ReleaseAll();
        image = {};
        ramp.clear();
        released = 0;
        const bzSceneImageServices services = {
            nullptr,
            nullptr,
            [](bz_IMGMAP *) { released++; },
            []() -> bz_IMGMAP * { return &image; },
            [](bz_IMGMAP *, const bzColour *stops, int32_t n) -> int32_t
            {
                ramp.assign(stops, stops + n);
                return 0;
            },
            nullptr};
        bz_Scene_SetImageServices(&services);
        static int failing;
        failing = fail;
        bzgRenderTable.PDUpdateImgMapTexture = [](bz_IMGMAP *) -> int32_t { return failing; };
        bz_Flare_InitModule();
        if (!fail)
        {
            EXPECT_EQ(bz_Flare_GetTexture(), &image);
            EXPECT_EQ(image.width, 64);
            EXPECT_EQ(image.height, 64);
            EXPECT_EQ(image.format, 2);
            EXPECT_EQ(image.flags, 0x41);
            EXPECT_EQ(ramp,
                      (std::vector<bzColour>{0xFF000000u, 0xFFC0C0C0u, 0xFFC0C0C0u, 0xFF000000u}));
        }
        else
        {
            EXPECT_EQ(bz_Flare_GetTexture(), nullptr);
            EXPECT_EQ(released, 1);
            EXPECT_TRUE(ramp.empty());
        }
        bz_Flare_ReleaseAll();
        bz_Scene_SetImageServices(nullptr);
    }
}
} // namespace
