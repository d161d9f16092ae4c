// Exporting a lump tree with what it uses: the tree as a container, its models as model files,
// and the materials and image maps of its models as material and image files, all into the
// folder of the path given.
#pragma once

#include <cstdint>

struct bzLump;

// What bz_Lump_Export writes.
enum : uint32_t
{
    BZ_EXPORT_CONTAINER = 0x1, // the tree as path + ".CNT"
    BZ_EXPORT_MODELS = 0x2,    // its models (bz_SaveLumpModels, LOD children in "LOD<i>\")
    BZ_EXPORT_MATERIALS = 0x4, // the materials of its models, "<folder><name>.MTL"
    BZ_EXPORT_IMAGES = 0x8,    // the image maps of those materials, "<folder><name>.img"
};

// Exports the tree into the drive and directory of the path (given without extension). For a
// LOD root the materials and image maps are gathered for each level model i and written into
// "<folder>LOD<i>\" (made when missing). Everything asked for is attempted; 0, or the first
// error (29 for a null argument, else that of the container, a model, a material or an image).
int32_t bz_Lump_Export(bzLump *root, const char *path, uint32_t flags);
