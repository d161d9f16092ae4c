// Lens flares: the ten screen-space rings and discs that a flare light strings along the line
// from its position on screen through the centre of the viewport. The module builds the eight
// shared flare shapes and the flare texture once, gives each flare its ten elements from its
// starting word, projects and culls a flare against a view, draws it through the renderer's
// flare slots with an intensity, and keeps a history of the last four flares given an
// intensity and sums of the lights' colours.
//
// A flare record's first template word is its starting word and its second holds the dim
// intensity (intensity x 0.2, as float bits).
#pragma once

#include "maths/Types.h"

#include <cstdint>

struct bzFlare;
struct bzLump;
struct bz_IMGMAP;

// One flare vertex as the renderer's flare arrays read it.
struct bzFlareVertex
{
    float x, y, z, w;
    bzColour colour;
    float u, v;
};
static_assert(sizeof(bzFlareVertex) == 28);

struct bzFlareShape
{
    int32_t vertexCount;
    int32_t indexCount;
    uint16_t *indices;
    bzFlareVertex *vertices;
};
constexpr int32_t BZ_FLARE_SHAPES = 8;
constexpr int32_t BZ_FLARE_HISTORY = 4;

// The viewport a flare is projected into: its rectangle in pixels, its aspect factor and its
// view-projection transform (row vectors, p' = p M).
struct bzFlareView
{
    float x, y, width, height;
    float aspect;
    bzM44 viewProjection;
};

struct bzFlareHistoryEntry
{
    uint32_t inUse;
    bzV3 position;
    uint8_t flare[sizeof(uint32_t) * 7 + 12 * 10]; // a copy of the flare record
};

struct bzFlareLightStats
{
    float weightSum;
    int32_t count;
    float red, green, blue;
    int32_t added;
};

// Makes the texture and the shapes unless made; installs the flare set-up of new flare lights.
void bz_Flare_InitModule();
// Draws the ten elements of a flare from its starting word (the module is made first).
void bz_Flare_Init(bzFlare *flare);
// Projects the position and draws the flare when it lies near enough to the view; 1 when drawn.
int32_t bz_Flare_Project(const bzFlareView *view, const bzFlare *flare, const bzV3 *position,
                         float intensity);
void bz_Flare_Draw(const bzFlare *flare, float x, float y, float stepX, float stepY,
                   float intensity);
// Sets the flare light's intensity (clamped to [0, 1]) and records the flare in the history.
void bz_Flare_SetIntensity(bzLump *light, const bzV3 *position, float intensity);
float bz_Flare_GetDimIntensity(const bzFlare *flare);
const bzFlareHistoryEntry *bz_Flare_GetHistory(int32_t index);
void bz_Flare_ClearHistory();
void bz_Flare_AddLight(bzColour colour, float weight);
void bz_Flare_ResetLights();
void bz_Flare_GetLightStats(bzFlareLightStats *out);
const bzFlareShape *bz_Flare_GetShape(int32_t index);
bz_IMGMAP *bz_Flare_GetTexture();
// Frees the shapes and the texture.
void bz_Flare_ReleaseAll();
