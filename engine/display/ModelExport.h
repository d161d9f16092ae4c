// Exporting the models of a lump subtree as model files into a folder, each child of a
// level-of-detail lump into a folder of its own ("LOD0", "LOD1", ...).
#pragma once

#include "scene/Lump.h"

#include <cstdint>

constexpr int32_t BZ_EXPORT_FOLDER_SIZE = 256;

// The folder SaveLumpModel writes into.
extern char bzgModel_exportFolder[BZ_EXPORT_FOLDER_SIZE];

// Writes the model of every MODEL and SKINNED_MODEL lump of the subtree as "<folder>\<model
// name>.MDL"; a LOD lump's children go to "<folder>LOD<i>\" of the folder part of the path.
// 0, or the first error of a model that could not be written (the walk goes on).
int32_t bz_SaveLumpModels(const char *folder, bzLump *lump, int32_t withAppData,
                          int32_t withPrepData);
// The walk callback: the low 16 bits of the packed word are with-app_data, the high 16 bits
// with-prep-data. Always 0, so that the walk goes on.
intptr_t SaveLumpModel(bzLump *lump, void *packed);
