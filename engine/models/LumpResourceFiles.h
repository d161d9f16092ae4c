// Writing the resources of a lump tree as files beside it: each distinct model as a model file,
// each distinct material as a material file, each distinct image map as an image file, every one
// named by a folder followed by the resource's own name. The container save with save flags
// writes the models and materials of the tree it saves through here, and the export of a tree
// writes its materials and image maps.
#pragma once

#include <cstdint>

struct bzLump;
struct bzModel;
struct bzMaterial;
struct bz_IMGMAP;

// Writes every model of the run (first to the end of the model list) as "<folder><name>.MDL"
// with its app_data and prep data. folder is a drive and directory (may be empty; a backslash
// is put between it and the name when it lacks one). Models without a name are left out. 0, or
// the first error of a model that could not be written (the others are still written).
int32_t bz_SaveModelRun(const char *folder, bzModel *first);
// The same for a run of materials, each as "<folder><short name>.MTL"; the default material and
// materials without a name are left out.
int32_t bz_SaveMaterialRun(const char *folder, bzMaterial *first);
// The same for a run of image maps, each as "<folder><name>.img" (the name's own folder left
// off); image maps without a name are left out.
int32_t bz_SaveImageRun(const char *folder, bz_IMGMAP *first);

// The distinct materials of the tree's models (their material entries, not the lumps'
// overrides) as a run at the end of the material list; its first, or null. The count when given.
bzMaterial *bz_Lump_CollectModelMaterials(bzLump *root, int32_t *count);
// The distinct image maps of a run of materials' layers as a run at the end of the image list.
bz_IMGMAP *bz_CollectMaterialImages(bzMaterial *first, int32_t *count);

// What the container save writes beside a container: the models and the materials that the
// saved lumps (all but transient lumps and their subtrees) use, into the folder. 0, or the first
// error.
int32_t bz_Lump_SaveResources(const char *folder, bzLump *root);
