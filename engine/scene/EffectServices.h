// What the effects of the scene graph (particle systems, their container payload, lens flares
// and quad-block arrays) ask of the image maps of the models and materials subsystem: finding
// or loading an image map by path, references, a new blank image map, a colour-ramp fill, and
// the alpha of a material's first layer (a flare light's intensity).
// The subsystem installs the table; with none installed no texture is ever found and effects
// draw untextured.
#pragma once

#include "maths/Types.h"

#include <cstdint>

struct bz_IMGMAP;
struct bzMaterial;

struct bzSceneImageServices
{
    // Finds or loads an image map by path; one reference for the caller, or null.
    bz_IMGMAP *(*getImgMap)(const char *path);
    void (*addImgMapRef)(bz_IMGMAP *image);
    void (*releaseImgMap)(bz_IMGMAP *image);
    // A blank image map record with one reference (size, format and flags set by the caller).
    bz_IMGMAP *(*allocImgMap)();
    // Fills the image map with a ramp of `count` colour stops; 0 on success.
    int32_t (*fillImgMapRamp)(bz_IMGMAP *image, const bzColour *stops, int32_t count);
    // Sets the alpha (0 to 1) of the material's first layer.
    void (*setMaterialAlpha)(bzMaterial *material, float alpha);
};

// Install a table (copied); null removes it.
void bz_Scene_SetImageServices(const bzSceneImageServices *services);

// The calls through the table; null, nothing or a non-zero failure without a table or entry.
bz_IMGMAP *bz_Scene_GetImgMap(const char *path);
void bz_Scene_AddImgMapRef(bz_IMGMAP *image);
void bz_Scene_ReleaseImgMap(bz_IMGMAP *image);
bz_IMGMAP *bz_Scene_AllocImgMap();
int32_t bz_Scene_FillImgMapRamp(bz_IMGMAP *image, const bzColour *stops, int32_t count);
void bz_Scene_SetMaterialAlpha(bzMaterial *material, float alpha);
