// Models: the shared, reference-counted mesh records (the model with its render-ready part,
// its editable vertex data and their material entries), the engine-wide model list, sharing
// and releasing, the material slots of a part and how they refer to materials, the geometry
// checksum and the debug dump. Reading and editing a part's vertices, faces, bounds and vertex
// format, and the bone-name tables, are models/ModelAccess.h.
#pragma once

#include "device/MaterialRecord.h"
#include "device/ModelFace.h"
#include "maths/Types.h"

#include <cstdint>

struct bz_IMGMAP;
struct bzModel;
struct bzModelPart;
struct bzSkeleton;
struct bzMeshWorkData;

// Model flags.
enum : uint8_t
{
    BZ_MODEL_DEBUG = 0x01,
    BZ_MODEL_SPLIT_BATCHES = 0x02,
    BZ_MODEL_BATCHES_SPLIT = 0x04,
    BZ_MODEL_SKINNED = 0x08,
    BZ_MODEL_RADIAL_NORMALS = 0x10,
    BZ_MODEL_FROM_MDX = 0x20,
    BZ_MODEL_NEVER_SHARED = 0x40,
};

// Part flags.
enum : uint32_t
{
    BZ_PART_SHADOW_WELDED = 0x0001,
    BZ_PART_BUFFERS_BUILT = 0x0004,
    BZ_PART_CHANGED = 0x4000,   // rebuild the back end's buffers when the access ends
    BZ_PART_ACCESSING = 0x8000, // vertex data being read or edited
};

// Model-loading option bits of this module (the others are in models/LoadOptions.h).
enum : uint32_t
{
    BZ_MODELOPT_DEBUG_MODELS = 0x08,
    BZ_MODELOPT_NO_MDX = 0x10,
    BZ_MODELOPT_MDX_NO_FACES = 0x20,
};

// Polygon flags.
enum : uint16_t
{
    BZ_POLYGON_LEFT_OUT = 0x0001,
    BZ_POLYGON_SEARCHED = 0x0002,
    BZ_POLYGON_EDGE0_HIDDEN = 0x0020,
    BZ_POLYGON_EDGE1_HIDDEN = 0x0040,
    BZ_POLYGON_EDGE2_HIDDEN = 0x0080,
};

// Vertex-data flags.
enum : uint32_t
{
    BZ_VDATA_ONE_SMOOTHING_GROUP = 0x1,
    BZ_VDATA_STRIP_DATA = 0x2,
    BZ_VDATA_BONES = 0x4,
};

constexpr int32_t BZ_MODEL_NAME_SIZE = 32;
constexpr float BZ_MODEL_DEFAULT_BATCH_EXTENT = 30.0f;

struct bzMaterialEntry
{
    bzMaterial *material; // one reference held, or null
    uint32_t stripIndexCount;
    uint32_t verticesUsed;
    uint32_t baseVertex;
    uint16_t *stripIndices; // owned
    void *stripBuffer;      // the back end's
    uint32_t listIndexCount;
    uint32_t listVertexSpan;
    uint32_t listBaseVertex;
    uint16_t *listIndices; // owned
    void *listBuffer;      // the back end's
    bzV3 centre;
    float radius;
    bzV3 boxMin;
    bzV3 boxMax;
    uint32_t entryFlags; // bit 0 hidden
    bzModelPart *part;
    bzMaterialEntry *nextEntry; // the draw chain
    uint32_t
        displayLists[8]; // a GL-style back end's lists, one a pass (a material has up to 8 layers)
    uint32_t backEnd[8]; // the back end's per-entry state
    uint32_t vertexFormat;
    uint32_t vertexStride;
};

struct bzModelPart
{
    uint32_t flags; // BZ_PART_*
    int32_t faceCount;
    bzModelFace *faces;
    bzSkeleton *skeleton;
    uint32_t memSize;
    int32_t vertexCount;
    int32_t entryCount;
    bzMaterialEntry *entries;
    bzModel *model;
    void *deviceBuffers[2];
    uint32_t *layerColours[9];
    uint32_t vertexFormat;
    uint32_t vertexStride;
    bzV3 *positions[3];
    bzV3 *normals[3];
    bzColour *colours[3];
    float *uvs[3]; // two floats a vertex
    uint8_t *boneIndices[4];
    uint8_t *boneWeights[4];
};

struct bzModelDataVertex
{
    float x, y, z;
    uint32_t *run; // start of this vertex's run in table3
    int16_t runCount;
    uint16_t word;
};

struct bzModelPolygon
{
    uint32_t v[3];
    float uv[3][4]; // per corner: u, v of set 0, then u, v of set 1
    uint32_t colours[3];
    bzMaterial *material; // no reference held
    uint16_t smoothing;   // smoothing-group mask
    uint16_t flags;       // BZ_POLYGON_*
    bzV3 normals[3];
    bzV3 faceNormal;
    float d; // n.p = d
    uint32_t degenerate;
    uint32_t word;
};

struct bzModelBoneData
{
    int16_t boneCount;
    void *bones;
    uint32_t weightCount;
    void *weights;
};

struct bzModelVertexData
{
    int32_t vertexCount;
    int32_t polygonCount;
    bzModelDataVertex *vertices;
    bzModelPolygon *polygons;
    uint32_t userWord; // BZ_VDATA_*
    uint32_t *faceToPolygon;
    uint32_t *table2;
    uint32_t tableCount;
    uint32_t *table3;
    bzModelBoneData *boneData;
    bzModel *model;
};

struct bzModel
{
    uint32_t tag;
    bzModelPart *part;
    bzModelVertexData *vertexData;
    char name[BZ_MODEL_NAME_SIZE];
    bzMeshWorkData *meshWork;
    void *octree;
    uint32_t boundsShifted;
    uint32_t nameHash;
    int32_t refCount;
    float radius;
    bzV3 boxMin;
    bzV3 boxMax;
    bzV3 centre;
    int32_t index;
    int32_t minBatchFaces;
    float maxBatchExtent;
    uint32_t fileWord;
    uint8_t flags; // BZ_MODEL_*
    uint32_t fileWord2;
    bzModel *prev; // the head's prev is the last model
    bzModel *next;
};

// What the model records call of parts that live elsewhere: the mesh work data's and the face
// octree's freeing. A missing entry frees the mesh work data with FreeMeshWorkData and the
// octree node as one memory-manager block.
struct bzModelServices
{
    void (*freeMeshWork)(bzMeshWorkData *work);
    // Releases the eight child slots of an octree node (the node itself is freed here).
    void (*freeOctreeChildren)(void *node);
};
void bz_SetModelServices(const bzModelServices *services); // copied; null removes

extern bzModel *bzgModelList;
extern int32_t bzgModelCount;
extern int32_t bzgMaterialEntryCount;
// Bytes of 16-bit index arrays made for material entries.
extern uint32_t bzgModelIndexBytes;

// Records and list.
bzModel *bz_CreateModel(int32_t polygonCount, int32_t vertexCount);
bzModel *bz_LinkModel(bzModel *model);
void bz_UnlinkModel(bzModel *model);
// First listed model whose name equals fileName ignoring case and, for a non-zero hash, whose
// nameHash equals it; no reference taken.
bzModel *bz_FindModel(const char *fileName, uint32_t nameHash);
void bz_AddModelReference(bzModel *model);
void bz_ReleaseModel(bzModel *model);
// Frees the model and all it owns; the caller has unlinked it and lowered the count.
int32_t bz_FreeModel(bzModel *model);
void FreeModelPart(bzModel *model);
void bz_FreeModelOctree(bzModel *model);
void bz_ResetModelList();
// Null when walking the list ends within the count + 5 steps, else where it stopped.
bzModel *bz_CheckModelList();
uint32_t bz_GetModelMemory();
bzModel *bz_DuplicateModel(const bzModel *source);
// A skin instance's first word is its model.
void bz_FreeSkinInstance(void *instance);
void bz_DumpModel(const bzModel *model);
uint32_t bz_GetModelLoadOptions();
void bz_SetModelLoadOptions(uint32_t options);

// Vertex data and part.
int32_t bz_CreateModelVertexData(bzModel *model, int32_t vertexCount, int32_t polygonCount);
int32_t bz_GrowModelPolygons(bzModel *model, int32_t extra);
int32_t bz_GrowModelVertices(bzModel *model, int32_t extra);
void bz_FreeModelVertexData(bzModel *model);
bzModelPart *bz_CreateModelPart(bzModel *model);
// Copies the source model's part into the destination's (freeing the destination's first); each
// copied entry holds its own reference on its material.
int32_t CopyModelPart(bzModel *destination, const bzModel *source);

// Material entries.
bzMaterialEntry *bz_AllocModelMaterialEntries(bzModelPart *part, int32_t count,
                                              const bzMaterialEntry *source);
struct bzVertexRecord;
void InitGeometryBatch(bzMaterialEntry *entry, bzMaterial *material, uint32_t firstVertex,
                       uint32_t endVertex, uint32_t indexCount, const uint32_t *indices,
                       const bzVertexRecord *vertices);
bzMaterialEntry *bz_ChainModelMaterialEntries(bzModel *model, int32_t all, int32_t *counter);
int32_t bz_ModelUsesMaterial(const bzModel *model, const bzMaterial *material);
int32_t bz_ReplaceModelMaterial(bzModel *model, bzMaterial *newMaterial, bzMaterial *oldMaterial);
void bz_ReleaseModelMaterials(bzModel *model);
void bz_MoveModelMaterialsToListEnd(bzModel *model, bzMaterial **first);
bzMaterial *bz_MoveAllModelMaterialsToListEnd(bzModel *model, int32_t all, int32_t *counter);
bz_IMGMAP *bz_MoveModelImagesToListEnd(bzModel *model, int32_t all, int32_t *counter);
int32_t bz_ForEachModelMaterial(bzModel *model, int32_t (*callback)(bzMaterial *, void *),
                                void *user);

// Geometry summaries.
uint32_t bz_ModelChecksum(bzModel *model, int32_t withVertices, int32_t withFaces, int32_t rotate);
// Sets each material entry's centre to the midpoint of its box; 71 for a null model.
int32_t bz_RecalcModelEntryCentres(bzModel *model);
int32_t bz_ModelCentroid(bzModel *model, bzV3 *out);
