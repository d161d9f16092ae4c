#include "scene/Flare.h"

#include "core/Memory.h"
#include "core/Random.h"
#include "device/ImageRecord.h"
#include "device/RenderTable.h"
#include "maths/Vector.h"
#include "scene/EffectServices.h"
#include "scene/Light.h"
#include "scene/Lump.h"

#include <cstring>

namespace
{
static_assert(sizeof(bzFlare) == sizeof(bzFlareHistoryEntry::flare));

struct ShapeDef
{
    bool ring;
    int32_t segments;
    float inner, outer;
};
constexpr ShapeDef kShapes[BZ_FLARE_SHAPES] = {
    {true, 16, 16, 18}, {true, 20, 32, 40}, {true, 24, 48, 60}, {false, 48, 0, 48},
    {false, 12, 0, 12}, {false, 24, 0, 24}, {false, 36, 0, 36}, {false, 60, 0, 60},
};

bzFlareShape gShapes[BZ_FLARE_SHAPES];
bool gShapesMade;
bz_IMGMAP *gTexture;
bzFlareHistoryEntry gHistory[BZ_FLARE_HISTORY];
bzFlareLightStats gLights;
// The vertices of the shape being drawn, placed on screen: room for the largest shape.
bzFlareVertex gPlaced[62];

bool Allocate(bzFlareShape *s, int32_t vertices, int32_t indices)
{
    s->vertices = static_cast<bzFlareVertex *>(
        bz_MemAlloc(static_cast<uint32_t>(vertices * sizeof(bzFlareVertex)), BZ_MEM_CLEAR));
    s->indices = static_cast<uint16_t *>(
        bz_MemAlloc(static_cast<uint32_t>(indices * sizeof(uint16_t)), BZ_MEM_CLEAR));
    if (!s->vertices || !s->indices)
        return false;
    s->vertexCount = vertices;
    s->indexCount = indices;
    return true;
}

void Vertex(bzFlareVertex *v, float angle, float radius, float u, float vv)
{
    v->x = bz_SinDeg(angle) * radius;
    v->y = bz_CosDeg(angle) * radius;
    v->z = 0.0f;
    v->w = 1.0f;
    v->u = u;
    v->v = vv;
}

bool BuildDisc(bzFlareShape *s, int32_t n, float r)
{
    if (!Allocate(s, n + 2, 3 * n))
        return false;
    s->vertices[0] = {0, 0, 0, 1, 0, 0.5f, 0.5f};
    for (int32_t k = 1; k <= n + 1; k++)
        Vertex(&s->vertices[k], 360.0f - static_cast<float>(k - 1) * 360.0f / static_cast<float>(n),
               r, static_cast<float>(k) / static_cast<float>(n + 1), 0.0f);
    for (int32_t i = 0; i < n; i++)
    {
        s->indices[3 * i] = 0;
        s->indices[3 * i + 1] = static_cast<uint16_t>(i + 2);
        s->indices[3 * i + 2] = static_cast<uint16_t>(i + 1);
    }
    return true;
}

bool BuildRing(bzFlareShape *s, int32_t n, float r1, float r2)
{
    if (!Allocate(s, 2 * n + 2, 6 * n))
        return false;
    for (int32_t j = 0; j <= n; j++)
    {
        const float a = 360.0f - static_cast<float>(j) * 360.0f / static_cast<float>(n);
        const float u = static_cast<float>(j % 2);
        Vertex(&s->vertices[2 * j], a, r2, u, 0.0f);
        Vertex(&s->vertices[2 * j + 1], a, r1, u, 1.0f);
    }
    for (int32_t j = 0; j < n; j++)
    {
        const uint16_t base = static_cast<uint16_t>(2 * j);
        const uint16_t tri[6] = {base,
                                 static_cast<uint16_t>(base + 1),
                                 static_cast<uint16_t>(base + 2),
                                 static_cast<uint16_t>(base + 2),
                                 static_cast<uint16_t>(base + 1),
                                 static_cast<uint16_t>(base + 3)};
        std::memcpy(&s->indices[6 * j], tri, sizeof tri);
    }
    return true;
}

void FreeShapes()
{
    for (bzFlareShape &s : gShapes)
    {
        if (s.vertices)
            bz_MemFree(s.vertices);
        if (s.indices)
            bz_MemFree(s.indices);
        s = {};
    }
    gShapesMade = false;
}

void BuildShapes()
{
    for (int32_t i = 0; i < BZ_FLARE_SHAPES; i++)
    {
        const ShapeDef &k = kShapes[i];
        const bool ok = k.ring ? BuildRing(&gShapes[i], k.segments, k.inner, k.outer)
                               : BuildDisc(&gShapes[i], k.segments, k.outer);
        if (!ok)
        {
            FreeShapes();
            return;
        }
    }
    gShapesMade = true;
}

void BuildTexture()
{
    bz_IMGMAP *image = bz_Scene_AllocImgMap();
    if (!image)
        return;
    image->width = 64;
    image->height = 64;
    image->format = BZ_IMAGE_565;
    image->flags |= 0x41;
    if (bzgRenderTable.PDUpdateImgMapTexture && bzgRenderTable.PDUpdateImgMapTexture(image) != 0)
    {
        bz_Scene_ReleaseImgMap(image);
        return;
    }
    static const bzColour kRamp[4] = {0xFF000000u, 0xFFC0C0C0u, 0xFFC0C0C0u, 0xFF000000u};
    bz_Scene_FillImgMapRamp(image, kRamp, 4);
    gTexture = image;
}

float Clamp01(float f)
{
    // Not a number counts as no light.
    if (!(f > 0.0f))
        return 0.0f;
    return f > 1.0f ? 1.0f : f;
}
} // namespace

void bz_Flare_InitModule()
{
    bz_Light_SetFlareInit(bz_Flare_Init);
    if (gShapesMade)
        return;
    std::memset(gHistory, 0, sizeof gHistory);
    if (!gTexture)
        BuildTexture();
    BuildShapes();
}

void bz_Flare_Init(bzFlare *flare)
{
    if (!flare)
        return;
    if (!gShapesMade)
        bz_Flare_InitModule();
    bz_RandomSeed(flare->words[0]);
    flare->cleared = 0;
    for (bzFlareElement &e : flare->elements)
    {
        bz_RandomRaw();
        bz_RandomRaw();
        const uint32_t k = static_cast<uint32_t>(bz_RandomRaw()) & 3u;
        e.colour = 0xFF000000u + k * 0x202020u;
        e.shape = bz_RandomRaw() * 8 / 32768;
        e.distance = 0.5f + 1.5f * bz_RandomUnit();
    }
}

int32_t bz_Flare_Project(const bzFlareView *view, const bzFlare *flare, const bzV3 *position,
                         float intensity)
{
    if (!view || !flare || !position)
        return 0;
    intensity = Clamp01(intensity);
    const bzM44 &m = view->viewProjection;
    float p[4];
    for (int j = 0; j < 4; j++)
        p[j] = position->x * m.row[0].v[j] + position->y * m.row[1].v[j] +
               position->z * m.row[2].v[j] + m.row[3].v[j];
    // Behind the eye there is nothing to see.
    if (!(p[3] > 0.0f))
        return 0;
    const float px = p[0] / p[3];
    const float py = p[1] / p[3];
    const float sx = (px + 1.0f) * view->width * 0.5f + view->x;
    const float sy = (1.0f - py * view->aspect) * view->height * 0.5f + view->y;
    if (!(sx > view->x - 200.0f && sx < view->x + view->width + 200.0f && sy > view->y - 200.0f &&
          sy < view->y + view->height + 200.0f))
        return 0;
    const float stepX = (view->x + view->width * 0.5f - sx) * 0.2f;
    const float stepY = (view->y + view->height * 0.5f - sy) * 0.2f;
    bz_Flare_Draw(flare, sx, sy, stepX, stepY, intensity);
    return 1;
}

void bz_Flare_Draw(const bzFlare *flare, float x, float y, float stepX, float stepY,
                   float intensity)
{
    if (!flare || !gShapesMade)
        return;
    intensity = Clamp01(intensity);
    if (bzgRenderTable.PDDrawFlares)
        bzgRenderTable.PDDrawFlares(gTexture);
    for (const bzFlareElement &e : flare->elements)
    {
        if (e.shape < 0 || e.shape >= BZ_FLARE_SHAPES)
            continue;
        bzFlareShape &s = gShapes[e.shape];
        const float f = e.shape <= 2 ? 0.3f : 1.0f;
        const uint32_t alpha = static_cast<uint32_t>(intensity * 255.0f * f);
        const bzColour colour = (e.colour & 0x00FFFFFFu) | (alpha << 24);
        // The placed copy goes to the renderer; the shape itself never moves, so no rounding
        // builds up in it from frame to frame.
        for (int32_t i = 0; i < s.vertexCount; i++)
        {
            s.vertices[i].colour = colour;
            gPlaced[i] = s.vertices[i];
            gPlaced[i].x += x;
            gPlaced[i].y += y;
        }
        if (bzgRenderTable.PDSetFlareArrays)
            bzgRenderTable.PDSetFlareArrays(e.shape, gPlaced, s.vertexCount,
                                            static_cast<int32_t>(sizeof(bzFlareVertex)), s.indices,
                                            s.indexCount);
        x += stepX * e.distance;
        y += stepY * e.distance;
    }
}

void bz_Flare_SetIntensity(bzLump *light, const bzV3 *position, float intensity)
{
    if (!light || light->type != BZ_LUMP_TYPE_FLARELIGHT || !light->object)
        return;
    bzFlare *flare = static_cast<bzLight *>(light->object)->flare;
    if (!flare)
        return;
    intensity = Clamp01(intensity);
    if (light->material && !(light->flags & BZ_LUMP_UNCOUNTED))
        bz_Scene_SetMaterialAlpha(light->material, intensity);
    const float dim = intensity * 0.2f;
    std::memcpy(&flare->words[1], &dim, sizeof dim);
    int32_t slot = 0;
    while (slot < BZ_FLARE_HISTORY && gHistory[slot].inUse)
        slot++;
    if (slot == BZ_FLARE_HISTORY)
    {
        std::memmove(&gHistory[0], &gHistory[1], sizeof(gHistory[0]) * (BZ_FLARE_HISTORY - 1));
        slot = BZ_FLARE_HISTORY - 1;
    }
    gHistory[slot].inUse = 1;
    gHistory[slot].position = position ? *position : bzV3{};
    std::memcpy(gHistory[slot].flare, flare, sizeof(bzFlare));
}

float bz_Flare_GetDimIntensity(const bzFlare *flare)
{
    float f = 0.0f;
    if (flare)
        std::memcpy(&f, &flare->words[1], sizeof f);
    return f;
}

const bzFlareHistoryEntry *bz_Flare_GetHistory(int32_t index)
{
    return index >= 0 && index < BZ_FLARE_HISTORY ? &gHistory[index] : nullptr;
}

void bz_Flare_ClearHistory()
{
    std::memset(gHistory, 0, sizeof gHistory);
}

void bz_Flare_AddLight(bzColour colour, float weight)
{
    gLights.weightSum += weight;
    gLights.count++;
    gLights.red += static_cast<float>((colour >> 16) & 0xFF);
    gLights.green += static_cast<float>((colour >> 8) & 0xFF);
    gLights.blue += static_cast<float>(colour & 0xFF);
    gLights.added = 1;
}

void bz_Flare_ResetLights()
{
    gLights = {};
}

void bz_Flare_GetLightStats(bzFlareLightStats *out)
{
    if (out)
        *out = gLights;
}

const bzFlareShape *bz_Flare_GetShape(int32_t index)
{
    return gShapesMade && index >= 0 && index < BZ_FLARE_SHAPES ? &gShapes[index] : nullptr;
}

bz_IMGMAP *bz_Flare_GetTexture()
{
    return gTexture;
}

void bz_Flare_ReleaseAll()
{
    FreeShapes();
    bz_Scene_ReleaseImgMap(gTexture);
    gTexture = nullptr;
}
