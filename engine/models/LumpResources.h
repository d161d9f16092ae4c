// The resources a lump tree uses: its models, materials and image maps. Every model, material
// and image map stands in a global list; the gathering operations find the distinct ones of a
// subtree by moving each one met to the end of its list and remembering the first one moved,
// so that afterwards the run from that one to the list's end is the subtree's resources, each
// once. The global orders change as a side effect; nothing is allocated. Also: direct visits
// and replacements of materials, the textures the renderer uploads for a tree, and the search
// for a material of a tree by name.
#pragma once

#include <cstdint>

struct bzLump;
struct bzModel;
struct bzMaterial;
struct bzMaterialEntry;
struct bz_IMGMAP;

// The gathering filter, called with (user, lump): 0 takes the lump and descends, 1 skips the
// lump but visits its children, any other value skips the lump and its subtree.
typedef int32_t (*bzLumpResourceFilter)(void *user, bzLump *lump);

// One lump's resources moved to the ends of their lists: its model (every level model of a LOD
// lump); its counted material override and a particle emitter's two layer materials; a
// particle emitter's image map. Nothing is recorded in *first when it already holds the element
// met.
void bz_Lump_RelinkModels(bzLump *lump, bzModel **first);
void bz_Lump_RelinkMaterials(bzLump *lump, bzMaterial **first);
void bz_Lump_RelinkTextures(bzLump *lump, bz_IMGMAP **first);

// The first model, material or image map of the subtree's run (null when none), with the run's
// length in *count when count is given. Without recursion only the root is taken. The
// materials are those of the collected models' entries, the lumps' counted overrides and the
// particle emitters' materials; the image maps are those of the collected materials' layers and
// the particle emitters' image maps.
bzModel *bz_Lump_CollectModelList(bzLump *root, int32_t recurse, int32_t *count,
                                  bzLumpResourceFilter filter, void *user);
bzMaterial *bz_Lump_CollectMaterials(int32_t recurse, bzLumpResourceFilter filter, bzLump *root,
                                     int32_t *count, void *user);
bz_IMGMAP *bz_Lump_CollectImages(int32_t recurse, bzLumpResourceFilter filter, bzLump *root,
                                 int32_t *count, void *user);

// Each distinct material of the subtree, held by one more reference during the call; the first
// non-zero result ends the visit and is returned, else 0. The same for the image maps, without
// references.
typedef intptr_t (*bzMaterialVisitor)(bzMaterial *material, void *user);
typedef intptr_t (*bzImageVisitor)(bz_IMGMAP *image, void *user);
intptr_t bz_Lump_ForEachMaterial(bzLump *root, bzMaterialVisitor fn, void *user);
intptr_t bz_Lump_ForEachImage(bzLump *root, bzImageVisitor fn, void *user);

// Every distinct image map of the subtree larger than 65,536 pixels (width x height) is halved
// (bz_HalveImgMap: each side halved and held to 256 at most, so it ends within that size). The
// number halved; one that cannot be halved is left as it was, with the last-error it gave.
int32_t bz_Lump_ConvertLargeImages(bzLump *root);

// The material entries of the subtree's models chained into one draw chain; its head, or null.
bzMaterialEntry *bz_Lump_ChainMaterialEntries(bzLump *root, int32_t *count);
// The subtree's models moved to the end of the model list, and with RelinkAll their materials
// to the end of the material list.
void bz_Lump_RelinkTree(bzLump *root);
void bz_Lump_RelinkAll(bzLump *root);

// Pre-order, each lump's counted override first and then, for a MODEL lump, the material of
// each entry of its model (last entry first): fn(material, lump). 0 as soon as fn gives 0,
// else 1.
typedef int32_t (*bzLumpMaterialFunction)(bzMaterial *material, bzLump *lump);
int32_t bz_Lump_ForEachMaterialSimple(bzLump *lump, bzLumpMaterialFunction fn);

// Every counted override of the subtree equal to oldTable[i] becomes newTable[i]; no counts
// change.
void bz_Lump_ReplaceMaterials(bzMaterial *const *oldTable, int32_t count,
                              bzMaterial *const *newTable, bzLump *root);
// In every MODEL lump's model, every entry drawing with oldMaterial draws with newMaterial.
void bz_Lump_ForEachModel(bzLump *root, bzMaterial *oldMaterial, bzMaterial *newMaterial);

// Textures for the renderer: for a MODEL lump, each material of its model's entries not yet in
// materials[] is added (up to materialLimit) and each image map of its layers not yet in
// images[] and not already holding its texture is added (up to imageLimit); for a particle
// emitter its image map the same way; with recursion the children too. The
// counts are read and advanced; the result is the number of image maps added.
int32_t bz_Lump_CollectTextures(bzLump *lump, int32_t recurse, bz_IMGMAP **images,
                                int32_t imageLimit, int32_t *imageCount, bzMaterial **materials,
                                int32_t materialLimit, int32_t *materialCount);
// The same over a plain array of models; stops when the image count reaches the limit.
int32_t bz_Lump_CollectModelTextures(bzModel *const *models, int32_t modelCount,
                                     bzMaterial **materials, int32_t materialLimit,
                                     int32_t *materialCount, bz_IMGMAP **images, int32_t imageLimit,
                                     int32_t *imageCount);
// The first with a lump, the second without.
int32_t bz_Lump_CollectTexturesAny(bzLump *lump, bzModel *const *models, int32_t modelCount,
                                   bz_IMGMAP **images, int32_t imageLimit, int32_t *imageCount,
                                   bzMaterial **materials, int32_t materialLimit,
                                   int32_t *materialCount);

// The first material of the subtree whose full or short name equals the name, ignoring case;
// null when none.
bzMaterial *bz_FindLumpMaterial(bzLump *lump, const char *name);
