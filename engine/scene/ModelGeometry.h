// What the scene graph reads of a model's geometry and materials for its measurements and ray
// queries, and what it asks of the collision layer for a form against a lump tree. The models
// and materials subsystem installs the geometry table, the collision layer the form table; with
// a table missing a model has no mesh and no box, and a form touches nothing.
//
// A face is the models subsystem's 16-byte face record; the mesh view hands the queries the
// arrays as they are, so the per-face loops read them without a call per face.
#pragma once

#include "device/ModelFace.h"
#include "maths/Types.h"

#include <cstdint>

struct bzModel;
struct bzMaterial;
struct bzLump;
struct bzForm;
struct bzOctree;

// The arrays of a model's mesh part. A material entry is entrySize bytes whose first word is
// the entry's material.
struct bzModelMesh
{
    const bzV3 *positions;
    uint32_t vertexCount;
    const bzModelFace *faces;
    uint32_t faceCount;
    const uint8_t *materialEntries;
    uint32_t materialEntryCount;
    uint32_t materialEntrySize;
};

// The words of a material the ray queries read.
struct bzMaterialRayInfo
{
    uint32_t flags;    // flag word; 0x4000: never hit by rays
    uint8_t sideFlags; // flag byte; 0x40: two-sided for rays
    uint32_t rayClass; // matched against a query's material mask and value
};

// Material flag bits read by the queries.
enum : uint32_t
{
    BZ_RAY_MATERIAL_NEVER_HIT = 0x4000,
    BZ_RAY_MATERIAL_TWO_SIDED = 0x40,
};

// Model flag: a model without a stored checksum that must not get one computed.
constexpr uint32_t BZ_MODEL_NO_CHECKSUM = 0x20;
// Model flag: a skinned model (one with skin weights for a skeleton).
constexpr uint32_t BZ_MODEL_FLAG_SKINNED = 0x08;

struct bzSceneGeometryServices
{
    // The mesh part; 0 when the model has none.
    int32_t (*getMesh)(const bzModel *model, bzModelMesh *out);
    // The model's box with its bounding-sphere centre and radius; 0 when it has none.
    int32_t (*getBounds)(const bzModel *model, bzBox *box, bzV3 *centre, float *radius);
    void (*getMaterialRayInfo)(const bzMaterial *material, bzMaterialRayInfo *out);
    // The texture coordinates of a face's three vertices; 0 when there are none.
    int32_t (*getFaceTexCoords)(const bzModel *model, uint32_t face, bzV2 *out3);
    // The stored checksum word (0 = none) and the model flags.
    uint32_t (*getChecksumWord)(const bzModel *model);
    uint32_t (*getModelFlags)(const bzModel *model);
    // The checksum of the model's geometry with its three switches.
    uint32_t (*computeChecksum)(const bzModel *model, int32_t switch1, int32_t switch2,
                                int32_t switch3);
    // Sets bits of a material's flag word.
    void (*setMaterialFlags)(bzMaterial *material, uint32_t bits);
    // The octree a model carries of its own faces, or null.
    bzOctree *(*getModelOctree)(const bzModel *model);
    // A new drawable model of the positions and faces, every face with the material (which it
    // takes a reference of), with one reference for the caller; null when it cannot be made.
    bzModel *(*createModel)(const char *name, const bzV3 *positions, uint32_t vertexCount,
                            const bzModelFace *faces, uint32_t faceCount, bzMaterial *material);
    // Skinned lumps: whether the lump's skin instance is posed; its world bounds in the current
    // pose (negative when they cannot be computed); the posed position of every vertex of its
    // model (null when none), which the caller gives back through releaseSkinnedPositions, or,
    // without that entry, frees as a block of temporary stack 1.
    int32_t (*isPosed)(const bzLump *lump);
    int32_t (*calcSkinnedBounds)(bzLump *lump, bzBox *out);
    bzV3 *(*computeSkinnedPositions)(bzLump *lump);
    void (*releaseSkinnedPositions)(bzLump *lump, bzV3 *positions);
};

struct bzSceneFormServices
{
    // Gathers into the face list (a header block and a buffer block for at most capacity
    // faces) the faces of the tree's model lumps that the form's bounds touch; gives the count.
    int32_t (*gatherFaces)(bzForm *form, bzLump *tree, void *header, void *buffer,
                           int32_t capacity);
    // Tests the form against the gathered faces: 1 on a hit, 0 otherwise.
    int32_t (*testForm)(void *header, bzForm *form);
};

// Install a table (copied); null removes it.
void bz_Scene_SetGeometryServices(const bzSceneGeometryServices *services);
void bz_Scene_SetFormServices(const bzSceneFormServices *services);

// The calls through the tables; each gives 0 (or an empty result) when the table or the entry
// is missing, or for a null model.
int32_t bz_Scene_GetModelMesh(const bzModel *model, bzModelMesh *out);
int32_t bz_Scene_GetModelBounds(const bzModel *model, bzBox *box, bzV3 *centre, float *radius);
// The material of a mesh's face, or null when its entry lies outside the entries.
bzMaterial *bz_Scene_GetFaceMaterial(const bzModelMesh *mesh, uint32_t face);
// All zero for a null material or a missing table.
void bz_Scene_GetMaterialRayInfo(const bzMaterial *material, bzMaterialRayInfo *out);
int32_t bz_Scene_GetFaceTexCoords(const bzModel *model, uint32_t face, bzV2 *out3);
uint32_t bz_Scene_GetChecksumWord(const bzModel *model);
uint32_t bz_Scene_GetModelFlags(const bzModel *model);
uint32_t bz_Scene_ComputeModelChecksum(const bzModel *model, int32_t switch1, int32_t switch2,
                                       int32_t switch3);
void bz_Scene_SetMaterialFlags(bzMaterial *material, uint32_t bits);
bzOctree *bz_Scene_GetModelOctree(const bzModel *model);
bzModel *bz_Scene_CreateModel(const char *name, const bzV3 *positions, uint32_t vertexCount,
                              const bzModelFace *faces, uint32_t faceCount, bzMaterial *material);
int32_t bz_Scene_IsPosed(const bzLump *lump);
// -1 without a table.
int32_t bz_Scene_CalcSkinnedBounds(bzLump *lump, bzBox *out);
bzV3 *bz_Scene_ComputeSkinnedPositions(bzLump *lump);
void bz_Scene_ReleaseSkinnedPositions(bzLump *lump, bzV3 *positions);
int32_t bz_Scene_GatherFormFaces(bzForm *form, bzLump *tree, void *header, void *buffer,
                                 int32_t capacity);
int32_t bz_Scene_TestFormFaces(void *header, bzForm *form);
