// Display lumps: MODEL lumps that carry the shapes built in code (models/DisplayModels.h), for
// the debug display of forms and poly-lines and for fallbacks. Each builder makes the lump and
// its model, gives both the name, sets the material override (counted) and returns the lump
// unattached; null with the last error set when either cannot be made.
#pragma once

#include "device/MaterialRecord.h"
#include "scene/Lump.h"

#include <cstdint>

// box: minimum x, y, z then maximum x, y, z.
bzLump *bz_CreateCuboidLump(const char *name, const float *box, int32_t level,
                            bzMaterial *material);
bzLump *bz_CreateCubeLump(const char *name, float edge, bzMaterial *material);
bzLump *bz_CreateDiamondLump(const char *name, float width, float height, float depth,
                             bzMaterial *material);
bzLump *bz_CreateSphereLump(const char *name, int32_t level, float radius, bzMaterial *material);
// A capsule lump named "Tic Tac"; the name, when given, goes to the model only. No override.
bzLump *bz_CreateTicTacLump(const char *name, float radius, float firstEnd, float secondEnd,
                            int32_t segments);
bzLump *bz_CreateConeLump(const char *name, int32_t segments, float radius, float height,
                          bzMaterial *material, int32_t base, int32_t apexAtOrigin, int32_t planar);
bzLump *bz_CreateCylinderLump(const char *name, int32_t segments, float radius, float height,
                              bzMaterial *material, int32_t caps, int32_t insideOut);
bzLump *bz_CreatePlaneLump(const char *name, float width, float height, bzMaterial *material,
                           const float *uvs);
bzLump *bz_CreateHalfSpaceLump(const char *name, float width, float height, bzMaterial *material);
bzLump *bz_CreateGridLump(const char *name, int32_t level, float repeat, float width, float height,
                          bzMaterial *material);
bzLump *bz_CreateDiscLump(const char *name, int32_t segments, float radius, bzMaterial *material);
bzLump *bz_CreateAnnulusLump(const char *name, int32_t segments, float inner, float outer,
                             bzMaterial *material);
bzLump *bz_CreateTorusLump(const char *name, float ringRadius, float tubeRadius, int32_t rings,
                           int32_t segments, bzMaterial *material);
bzLump *bz_CreatePointerLump(const char *name, float size, bzMaterial *material);
bzLump *bz_CreateMarkerLump(const char *name, bzMaterial *material);
// An arrow along +z: a NULL lump of the name holding a capped cylinder shaft (three quarters of
// the length) and a cone head, both of the material "ArrowMat" of the colour.
bzLump *bz_CreateArrowLump(const char *name, bzColour colour, float length, float shaftRadius,
                           float headRadius);
// The sky box in a lump named "SB" (no override).
bzLump *bz_CreateSkyBoxLump(const char (*names)[32], bzMaterial **materials);
// The malformed box with a 256 x 256 red and blue checker texture (material
// "BrokenBoxMaterial") in a lump named "BrokenBox"; null when the texture cannot be made.
bzLump *bz_CreateBrokenBoxLump();
// Refills the lump's capsule with the new radius and ends, keeping its counts: 0, or 71 when
// the lump carries no model.
int32_t bz_RebuildTicTacLump(bzLump *lump, float radius, float firstEnd, float secondEnd);
