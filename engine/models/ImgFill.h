// Procedural image fills: one colour, checkerboards, grids, vertical and radial colour ramps
// and noise, written pixel by pixel through the renderer's pixel slots between a lock for
// writing and an unlock, so they work on every format the back end can write. The makers
// create a square image map and fill it; their material variants wrap it in a material.
//
// Every fill returns 0, 23 for a null image, 68 for a palette image (or a back end without
// pixel slots), 29 for a cell count below 1, or the lock's own code; nothing is written then.
#pragma once

#include "device/ImageRecord.h"
#include "maths/Types.h"

#include <cstdint>

struct bzMaterial;

int32_t bz_FillImgMap(bz_IMGMAP *image, bzColour colour);
// cellsX by cellsY cells of width / cellsX by height / cellsY pixels; colour2 at the top left.
int32_t bz_FillImgMapChecker(bz_IMGMAP *image, bzColour colour1, bzColour colour2, int32_t cellsX,
                             int32_t cellsY);
// As the checker, alpha always 255.
int32_t bz_FillImgMapCheckerOpaque(bz_IMGMAP *image, bzColour colour1, bzColour colour2,
                                   int32_t cellsX, int32_t cellsY);
// colour1 with lines of colour2 on rows 0, h, 2h ... and columns 0, w, 2w ...
int32_t bz_FillImgMapGrid(bz_IMGMAP *image, bzColour colour1, bzColour colour2, int32_t cellsX,
                          int32_t cellsY);
// Row y takes the ramp at y / height x 100 percent.
int32_t bz_FillImgMapRamp(bz_IMGMAP *image, const bzColourRamp *ramp);
// Inside the border, pixels within r = width / 2 - border of the centre take the ramp at
// 100 - 100 d / r percent; others are left as they were.
int32_t bz_FillImgMapRadial(bz_IMGMAP *image, const bzColourRamp *ramp, int32_t border);
// Each pixel blends from colour1 to colour2 by one random weight.
int32_t bz_FillImgMapNoise(bz_IMGMAP *image, bzColour colour1, bzColour colour2);

// Makers: a size by size image (texture made at once, never compressed), filled; null when it
// cannot be made.
bz_IMGMAP *bz_MakeRampImgMap(const char *name, uint8_t format, int16_t size,
                             const bzColourRamp *ramp);
bz_IMGMAP *bz_MakeRadialImgMap(const char *name, uint8_t format, int16_t size,
                               const bzColourRamp *ramp, int32_t border);
bz_IMGMAP *bz_MakeCheckerOpaqueImgMap(const char *name, uint8_t format, int16_t size,
                                      bzColour colour1, bzColour colour2, int32_t cellsX,
                                      int32_t cellsY);
bz_IMGMAP *bz_MakeColourImgMap(const char *name, uint8_t format, int16_t size, bzColour colour);
bz_IMGMAP *bz_MakeGridImgMap(const char *name, uint8_t format, int16_t size, bzColour colour1,
                             bzColour colour2, int32_t cellsX, int32_t cellsY);
bz_IMGMAP *bz_MakeCheckerImgMap(const char *name, uint8_t format, int16_t size, bzColour colour1,
                                bzColour colour2, int32_t cellsX, int32_t cellsY);
bz_IMGMAP *bz_MakeNoiseImgMap(const char *name, uint8_t format, int16_t size, bzColour colour1,
                              bzColour colour2);

// Material variants: the made image in layer 0 of a new material named like the image. The
// material holds the image's only reference.
bzMaterial *bz_MakeRampMaterial(const char *name, uint8_t format, int16_t size,
                                const bzColourRamp *ramp);
bzMaterial *bz_MakeRadialMaterial(const char *name, uint8_t format, int16_t size,
                                  const bzColourRamp *ramp, int32_t border);
bzMaterial *bz_MakeCheckerOpaqueMaterial(const char *name, uint8_t format, int16_t size,
                                         bzColour colour1, bzColour colour2, int32_t cellsX,
                                         int32_t cellsY);
bzMaterial *bz_MakeColourMaterial(const char *name, uint8_t format, int16_t size, bzColour colour);
bzMaterial *bz_MakeGridMaterial(const char *name, uint8_t format, int16_t size, bzColour colour1,
                                bzColour colour2, int32_t cellsX, int32_t cellsY);
bzMaterial *bz_MakeCheckerMaterial(const char *name, uint8_t format, int16_t size, bzColour colour1,
                                   bzColour colour2, int32_t cellsX, int32_t cellsY);
bzMaterial *bz_MakeNoiseMaterial(const char *name, uint8_t format, int16_t size, bzColour colour1,
                                 bzColour colour2);
