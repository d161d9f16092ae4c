// Model geometry preparation: turning a model's source form (data vertices and polygons) into
// its render-ready part with per-vertex arrays, faces and one material entry per drawing
// batch of 16-bit indices, splitting batches that are too large, and packing one vertex into
// the back end's interleaved layout.
#pragma once

#include "models/Model.h"
#include "models/ModelAccess.h"

#include <cstdint>

// Flags of bz_PrepareModelGeometry.
enum : uint32_t
{
    BZ_PREPARE_REBUILD = 0x0001,
    BZ_PREPARE_UPDATE_POSITIONS = 0x0002,
    BZ_PREPARE_PLANES_AND_NORMALS = 0x0004,
    BZ_PREPARE_PLANES = 0x0008,
    BZ_PREPARE_NORMALS = 0x0010,
    BZ_PREPARE_BOUNDS = 0x0020,
    BZ_PREPARE_REBUILD2 = 0x0080,
    BZ_PREPARE_REBUILD3 = 0x0100,
    BZ_PREPARE_DEFAULT_FORMAT = 0x0400,
    BZ_PREPARE_SKELETON = 0x0800,
};
// Model-loading option bit 2: no triangle strips.
constexpr uint32_t BZ_MODELOPT_NO_STRIPS = 0x04;

constexpr uint32_t BZ_BATCH_MAX_INDICES = 16383;
constexpr int32_t BZ_BATCH_MAX_COUNT = 4096;

// Builds a skinned model's skeleton data; installed by the skeletons.
void bz_SetModelSkeletonBuilder(void (*build)(bzModel *model));

// 0; 29 without vertex data; 20 when the batches would exceed the work array (the old part
// stays); or the code of the first failing step.
int32_t bz_PrepareModelGeometry(bzModel *model, uint32_t flags);
int32_t BuildModelPart(bzModel *model);
// 0, or 14 when the arrays cannot be had.
int32_t AllocModelPartArrays(bzModelPart *part, int32_t positions, int32_t bones, int32_t normals,
                             int32_t colours, int32_t uvSets);
int32_t FillModelPartVertices(bzModelPart *part, int32_t count, const bzVertexRecord *vertices);
// Writes vertex v in the part's vertex-format layout; the bytes written are the stride.
void PackModelVertex(const bzModelPart *part, int32_t v, uint8_t *destination);
