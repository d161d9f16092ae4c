// Reading and editing a model's render-ready mesh without touching its arrays: vertices as
// bzVertexRecord, faces, face planes (deformed for skinned lumps), counts, bounds, the access
// markers that make the back end rebuild its buffers, and the vertex-format word that says
// which per-vertex arrays a part keeps. Also the engine-wide bone-name tables by which
// skeletons and animations are matched bone by bone.
#pragma once

#include "maths/Types.h"
#include "models/Model.h"

#include <cstdint>

// The exchange form of one vertex.
struct bzVertexRecord
{
    bzV3 position;
    bzV3 normal;
    uint32_t colour;
    float u0, v0;
    float u1, v1;
};
static_assert(sizeof(bzVertexRecord) == 44);

// Fields of the vertex-format word.
constexpr uint32_t BZ_VERTEX_FORMAT_DEFAULT = 0x2484;
enum : uint32_t
{
    BZ_VFMT_POSITIONS_SHIFT = 2,
    BZ_VFMT_INFLUENCES_SHIFT = 4,
    BZ_VFMT_NORMALS_SHIFT = 7,
    BZ_VFMT_COLOURS_SHIFT = 10,
    BZ_VFMT_UVSETS_SHIFT = 12,
};
struct bzVertexFormatFields
{
    int32_t positions, influences, normals, colours, uvSets;
};
bzVertexFormatFields bz_VertexFormatFields(uint32_t format);
uint32_t bz_MakeVertexFormat(const bzVertexFormatFields &fields);
// Bytes per vertex of the back-end layout of a format word.
uint32_t VertexFormatSize(uint32_t format);
// The word the part's materials require (0x2484 when none does, or for a debug model).
uint32_t ComputeModelVertexFormat(const bzModelPart *part);
// The part's stride from its word; every entry gets both and its back-end words cleared.
void SetModelEntryVertexFormat(bzModelPart *part);

// Skinning of a face corner for bz_CalcModelFaceNormal; installed by the skeletons. Writes the
// deformed position of the vertex for the lump.
typedef void (*bzModelSkinVertexFn)(const void *skinLump, const bzModel *model, uint32_t vertex,
                                    bzV3 *out);
void bz_SetModelSkinVertex(bzModelSkinVertexFn fn);
// The skeleton's influence-slot count, installed with the skeletons.
void bz_SetModelInfluenceSlotsQuery(int16_t (*query)(const bzSkeleton *skeleton));

// Single items. Vertex and face indices must lie inside the part's counts.
void bz_GetModelVertex(const bzModel *model, int32_t index, bzVertexRecord *out);
void bz_SetModelVertex(bzModel *model, int32_t index, const bzVertexRecord *record);
// Vertices first .. end - 1 into out from its start; end -1 means the vertex count minus first.
void bz_GetModelVertices(const bzModel *model, int32_t first, bzVertexRecord *out, int32_t end);
void bz_GetModelVertexPosition(const bzModel *model, int32_t index, bzV3 *out);
void bz_GetModelVertexNormal(const bzModel *model, int32_t index, bzV3 *out);
void bz_SetModelVertexNormal(bzModel *model, int32_t index, const bzV3 *normal);
void bz_SetModelVertexUVs(bzModel *model, int32_t index, float u0, float v0, float u1, float v1);
uint32_t bz_GetModelVertexColour(const bzModel *model, int32_t index);
void bz_SetModelVertexColour(bzModel *model, int32_t index, uint32_t colour);
int32_t bz_GetModelVertexInfluence(const bzModel *model, int32_t slot, int32_t index,
                                   float *weight);
void bz_GetModelFace(const bzModel *model, int32_t index, bzModelFace *out);
bzModelFace *bz_GetModelFaces(const bzModel *model, bzModelFace **out);
uint16_t bz_GetModelFaceFlags(const bzModel *model, int32_t index);
void bz_SetModelFaceFlags(bzModel *model, int32_t index, uint16_t flags);
void bz_GetModelFaceVertices(const bzModel *model, int32_t index, bzV3 *a, bzV3 *b, bzV3 *c);
void bz_GetModelFaceNormals(const bzModel *model, int32_t index, bzV3 *a, bzV3 *b, bzV3 *c);
bzMaterial *bz_GetModelFaceMaterial(const bzModel *model, int32_t index);
void bz_CalcModelFaceNormal(const bzModel *model, int32_t index, bzPlane *out,
                            const void *skinLump);
int32_t bz_GetModelFaceCount(const bzModel *model);
int32_t bz_GetModelVertexCount(const bzModel *model);
int16_t bz_GetModelInfluenceSlots(const bzModel *model);
bzV3 *bz_GetModelBox(bzModel *model, bzV3 **out);
void bz_GetModelBounds(const bzModel *model, float *box, float *radius);
void bz_GetModelCentre(const bzModel *model, bzV3 *out);
void bz_SetModelBounds(bzModel *model, const float *box, float radius);

// Access modes of bz_BeginModelAccess.
enum : int32_t
{
    BZ_ACCESS_EDIT = 0,
    BZ_ACCESS_READ = 1,
    BZ_ACCESS_CHANGED = 2,
};
// 0, or 76 for a model without part.
int32_t bz_BeginModelAccess(int32_t mode, bzModel *model);
// Option bit 0 rebuilds the back end's buffers when the part changed.
int32_t bz_EndModelAccess(bzModel *model, uint32_t options);
// Each field -1 keeps it (all -1: what the materials require); 1 when the arrays changed.
int32_t bz_SetModelVertexFormat(bzModel *model, int32_t positions, int32_t influences,
                                int32_t normals, int32_t colours, int32_t uvSets);

// Bone-name tables.
constexpr int32_t BZ_BONE_NAME_SLOTS = 50;
constexpr int32_t BZ_BONE_TABLE_SLOTS = 20;
constexpr uint8_t BZ_BONE_NO_NAME = 255;
constexpr uint8_t BZ_BONE_NO_PARENT = 255;
// Name i starts i * stride bytes after names; parents, when given, holds count parent bytes
// (255 = none). The table slot, or -1 for an empty name or with every slot taken.
int32_t bz_GetBoneNameTable(const char *names, int32_t count, int32_t stride,
                            const uint8_t *parents);
const char *bz_GetBoneName(int32_t id);
const char *bz_GetBoneNameFromTable(int32_t table, int32_t bone);
// For each bone of table to, the matching bone of table from; made once, then kept.
const uint8_t *bz_GetBoneRemap(int32_t from, int32_t to);
// Forgets every name and table (engine shut-down and tests).
void bz_ResetBoneNameTables();
