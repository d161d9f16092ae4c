// Materials: the global list of surface descriptions shared by name with reference counts,
// the grey "Default" material, creation, copies, layer changes and the update that derives
// the blend, texture-set and vertex-format state before the back end sets the material up.
// Loading and saving material files is models/MaterialFile.h.
#pragma once

#include "device/MaterialRecord.h"
#include "maths/Types.h"

#include <cstdint>

constexpr int32_t BZ_MATERIAL_FOLDER_SIZE = 512;

// Update masks: all but bit 0x10 after creation and loading, the colour, the layers.
constexpr int32_t BZ_MATUPDATE_ALL = -17;
constexpr int32_t BZ_MATUPDATE_COLOUR = 1;
constexpr int32_t BZ_MATUPDATE_LAYERS = 4;

typedef bzMaterial *(*bzMaterialMissingHook)(const char *fileName);
typedef void (*bzMaterialHook)(bzMaterial *material);

extern bzMaterial *bzgMaterial_list;
extern int32_t bzgMaterial_count;
extern bzMaterial *bzgMaterial_default;
extern char bzgMaterial_folder[BZ_MATERIAL_FOLDER_SIZE];
extern bzMaterialMissingHook bzgMaterial_missingHook;
// Destroys a material's bound dynamics element; installed by the dynamics controller.
extern void (*bzgMaterial_destroyElement)(void *element);

// Opens the library and makes "Default" (colour 0xFFA0A0A0).
void bz_OpenMaterialLibrary();
bzMaterial *bz_GetDefaultMaterial();
void bz_SetMaterialFolder(char *old, const char *folder);
// The material folder followed by the part of name behind its last backslash, in a static
// buffer valid until the next call; null when the folder is empty or the path does not fit.
const char *MaterialFolderPath(const char *name);
void bz_SetMaterialHook(bzMaterialHook hook);
void bz_LinkMaterial(bzMaterial *material);
void bz_UnlinkMaterial(bzMaterial *material);
// A name with a backslash is matched by hash and full name, a plain one by short name, both
// ignoring case; the first match, no reference taken.
bzMaterial *bz_FindMaterial(const char *name);
bzMaterial *MaterialHasName(bzMaterial *material, const char *name);
// Stable insertion sort of the list.
void bz_SortMaterials(int32_t (*compare)(const bzMaterial *a, const bzMaterial *b),
                      bzMaterial **list);
void bz_MoveMaterialToListEnd(bzMaterial *material, bzMaterial **first);
void bz_MoveMaterialImagesToListEnd(bzMaterial *material, int32_t all, int32_t *count);
void bz_ListMaterials();

// Creation. Names lose a four-character extension (".MTL").
bzMaterial *bz_AllocMaterial(const char *name);
bzMaterial *bz_CreateMaterial(const char *name, int32_t update);
bzMaterial *bz_CreateMaterialWithColour(const char *name, bzColour colour);
bzMaterial *bz_CreateMaterialFromTextureHandle(bz_IMGMAP *image);
bzMaterial *bz_CreateMaterialFromImageName(const char *name);
// Copies the source into the destination, keeping the destination's list links, count and
// bound element; 0, or 14 when the layers or the name cannot be made.
int32_t bz_CopyMaterial(bzMaterial *destination, const bzMaterial *source, const char *name,
                        const char *shortName);
bzMaterial *bz_DuplicateMaterial(const bzMaterial *source);
// Stores a new full name (and its hash and short name) as creation does.
void bz_RenameMaterial(bzMaterial *material, const char *name);

// Changes.
int32_t bz_SetMaterialColour(bzMaterial *material, bzColour colour);
void bz_SetMaterialLayerTexture(bzMaterial *material, int32_t index, bz_IMGMAP *image);
// Stores image and alpha without counting; 0, or 29 for an index outside the layers.
int32_t bz_SetMaterialLayerImageRaw(bzMaterial *material, int32_t index, bz_IMGMAP *image,
                                    float alpha);
// 0, or 14 when the layer array cannot be resized (the material keeps its layers).
int32_t bz_ResizeMaterialLayers(bzMaterial *material, int32_t count);
bzMaterialLayer *bz_GetMaterialLayer(bzMaterial *material, int32_t index);
int32_t bz_SetMaterialTransformPtr(int32_t index, bzMaterial *material, const bzM23 *transform);
void bz_FreeMaterialLayerTransform(int32_t index, bzMaterial *material);
uint32_t MaterialVertexFormat(const bzMaterial *material);
int32_t bz_UpdateMaterial(bzMaterial *material, int32_t mask);
bzMaterial *bz_AddRefMaterial(bzMaterial *material);
void bz_ReleaseMaterial(bzMaterial *material);
