#include "models/ModelAccess.h"

#include "core/Debug.h"
#include "core/Error.h"
#include "core/Memory.h"
#include "device/RenderTable.h"
#include "maths/Geometry.h"
#include "models/ModelPrepare.h"

#include <cstring>

namespace
{
bzModelSkinVertexFn gSkinVertex;
int16_t (*gInfluenceSlots)(const bzSkeleton *skeleton);

// The part, with the index checked against the vertex count (an index outside gives null).
bzModelPart *VertexPart(const bzModel *model, int32_t index)
{
    BZ_ASSERT(model && model->part);
    if (!model || !model->part)
        return nullptr;
    BZ_ASSERT(index >= 0 && index < model->part->vertexCount);
    if (index < 0 || index >= model->part->vertexCount)
        return nullptr;
    return model->part;
}

// The face, checked against the face count; its vertex indices are checked by FaceVertex.
const bzModelFace *Face(const bzModel *model, int32_t index)
{
    BZ_ASSERT(model && model->part);
    if (!model || !model->part || !model->part->faces)
        return nullptr;
    BZ_ASSERT(index >= 0 && index < model->part->faceCount);
    if (index < 0 || index >= model->part->faceCount)
        return nullptr;
    return &model->part->faces[index];
}

bool FaceVertexValid(const bzModelPart *part, uint32_t vertex)
{
    BZ_ASSERT(vertex < static_cast<uint32_t>(part->vertexCount));
    return vertex < static_cast<uint32_t>(part->vertexCount);
}

int32_t Field(uint32_t format, uint32_t shift, uint32_t mask)
{
    return static_cast<int32_t>((format >> shift) & mask);
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Vertex format

bzVertexFormatFields bz_VertexFormatFields(uint32_t format)
{
    return {Field(format, BZ_VFMT_POSITIONS_SHIFT, 3), Field(format, BZ_VFMT_INFLUENCES_SHIFT, 7),
            Field(format, BZ_VFMT_NORMALS_SHIFT, 3), Field(format, BZ_VFMT_COLOURS_SHIFT, 3),
            Field(format, BZ_VFMT_UVSETS_SHIFT, 7)};
}

uint32_t bz_MakeVertexFormat(const bzVertexFormatFields &f)
{
    return static_cast<uint32_t>(f.positions) * 4 + static_cast<uint32_t>(f.influences) * 16 +
           static_cast<uint32_t>(f.normals) * 128 + static_cast<uint32_t>(f.colours) * 1024 +
           static_cast<uint32_t>(f.uvSets) * 4096;
}

uint32_t VertexFormatSize(uint32_t format)
{
    const uint32_t normals = (format >> 7) & 3;
    uint32_t size = 16 * (format & 3) + 12 * ((format >> 2) & 3);
    size += 4 * ((format & 0x200) ? normals : normals * 3);
    size += 2 * (((format >> 16) & 7) + 2 * ((format >> 10) & 3));
    size += ((format >> 12) & 7) * ((format & 0x8000) ? 4 : 8);
    const uint32_t influences = (format >> 4) & 7;
    if (influences == 1 || influences == 2)
        size += 4;
    else if (influences == 3 || influences == 4)
        size += 8;
    return size;
}

uint32_t ComputeModelVertexFormat(const bzModelPart *part)
{
    BZ_ASSERT(part);
    uint32_t word = 0;
    for (int32_t i = 0; part && part->entries && i < part->entryCount; ++i)
    {
        const bzMaterial *material = part->entries[i].material;
        if (!material)
            continue;
        const uint32_t m = material->vertexFormat;
        static const struct
        {
            uint32_t shift, mask;
        } fields[] = {{0, 3}, {2, 3}, {4, 7}, {7, 3}, {10, 3}, {12, 7}};
        for (const auto &f : fields)
        {
            const uint32_t have = (word >> f.shift) & f.mask;
            const uint32_t want = (m >> f.shift) & f.mask;
            if (want > have)
                word = (word & ~(f.mask << f.shift)) | want << f.shift;
        }
        word |= m & (0x200u | 0x8000u);
    }
    if (word == 0 || (part && part->model && (part->model->flags & BZ_MODEL_DEBUG)))
        word = BZ_VERTEX_FORMAT_DEFAULT;
    return word;
}

void SetModelEntryVertexFormat(bzModelPart *part)
{
    BZ_ASSERT(part);
    if (!part)
        return;
    part->vertexStride = VertexFormatSize(part->vertexFormat);
    for (int32_t i = 0; part->entries && i < part->entryCount; ++i)
    {
        bzMaterialEntry &entry = part->entries[i];
        entry.vertexFormat = part->vertexFormat;
        entry.vertexStride = part->vertexStride;
        std::memset(entry.backEnd, 0, sizeof entry.backEnd);
    }
}

void bz_SetModelSkinVertex(bzModelSkinVertexFn fn)
{
    gSkinVertex = fn;
}

void bz_SetModelInfluenceSlotsQuery(int16_t (*query)(const bzSkeleton *skeleton))
{
    gInfluenceSlots = query;
}

// ---------------------------------------------------------------------------------------------
// Vertices

void bz_GetModelVertex(const bzModel *model, int32_t index, bzVertexRecord *out)
{
    const bzModelPart *part = VertexPart(model, index);
    BZ_ASSERT(out);
    if (!part || !out)
        return;
    if (part->positions[0])
        out->position = part->positions[0][index];
    if (part->normals[0])
        out->normal = part->normals[0][index];
    if (part->colours[0])
        out->colour = part->colours[0][index];
    if (part->uvs[0])
    {
        out->u0 = part->uvs[0][2 * index];
        out->v0 = part->uvs[0][2 * index + 1];
    }
    if (part->uvs[1])
    {
        out->u1 = part->uvs[1][2 * index];
        out->v1 = part->uvs[1][2 * index + 1];
    }
}

void bz_SetModelVertex(bzModel *model, int32_t index, const bzVertexRecord *record)
{
    bzModelPart *part = VertexPart(model, index);
    BZ_ASSERT(record);
    if (!part || !record)
        return;
    if (part->positions[0])
        part->positions[0][index] = record->position;
    if (part->normals[0])
        part->normals[0][index] = record->normal;
    if (part->colours[0])
        part->colours[0][index] = record->colour;
    if (part->uvs[0])
    {
        part->uvs[0][2 * index] = record->u0;
        part->uvs[0][2 * index + 1] = record->v0;
    }
    if (part->uvs[1])
    {
        part->uvs[1][2 * index] = record->u1;
        part->uvs[1][2 * index + 1] = record->v1;
    }
}

void bz_GetModelVertices(const bzModel *model, int32_t first, bzVertexRecord *out, int32_t end)
{
    BZ_ASSERT(model && model->part);
    if (!model || !model->part)
        return;
    if (end == -1)
        end = model->part->vertexCount - first;
    for (int32_t i = first; i < end; ++i)
        bz_GetModelVertex(model, i, &out[i - first]);
}

void bz_GetModelVertexPosition(const bzModel *model, int32_t index, bzV3 *out)
{
    if (const bzModelPart *part = VertexPart(model, index); part && part->positions[0])
        *out = part->positions[0][index];
}

void bz_GetModelVertexNormal(const bzModel *model, int32_t index, bzV3 *out)
{
    if (const bzModelPart *part = VertexPart(model, index); part && part->normals[0])
        *out = part->normals[0][index];
}

void bz_SetModelVertexNormal(bzModel *model, int32_t index, const bzV3 *normal)
{
    if (bzModelPart *part = VertexPart(model, index); part && part->normals[0])
        part->normals[0][index] = *normal;
}

void bz_SetModelVertexUVs(bzModel *model, int32_t index, float u0, float v0, float u1, float v1)
{
    bzModelPart *part = VertexPart(model, index);
    if (!part)
        return;
    if (part->uvs[0])
    {
        part->uvs[0][2 * index] = u0;
        part->uvs[0][2 * index + 1] = v0;
    }
    if (part->uvs[1])
    {
        part->uvs[1][2 * index] = u1;
        part->uvs[1][2 * index + 1] = v1;
    }
}

uint32_t bz_GetModelVertexColour(const bzModel *model, int32_t index)
{
    const bzModelPart *part = VertexPart(model, index);
    if (!part || !part->colours[0])
        return 0xFFFFFFFFu;
    return part->colours[0][index];
}

void bz_SetModelVertexColour(bzModel *model, int32_t index, uint32_t colour)
{
    if (bzModelPart *part = VertexPart(model, index); part && part->colours[0])
        part->colours[0][index] = colour;
}

int32_t bz_GetModelVertexInfluence(const bzModel *model, int32_t slot, int32_t index, float *weight)
{
    const bzModelPart *part = VertexPart(model, index);
    BZ_ASSERT(slot >= 0 && slot < 4);
    if (!part || slot < 0 || slot >= 4)
        return 0;
    if (weight)
        *weight = part->boneWeights[slot]
                      ? static_cast<float>(part->boneWeights[slot][index]) / 255.0f
                      : 0.0f;
    return part->boneIndices[slot] ? part->boneIndices[slot][index] : 0;
}

// ---------------------------------------------------------------------------------------------
// Faces

void bz_GetModelFace(const bzModel *model, int32_t index, bzModelFace *out)
{
    if (const bzModelFace *face = Face(model, index))
        *out = *face;
}

bzModelFace *bz_GetModelFaces(const bzModel *model, bzModelFace **out)
{
    bzModelFace *faces = model && model->part ? model->part->faces : nullptr;
    if (out)
        *out = faces;
    return faces;
}

uint16_t bz_GetModelFaceFlags(const bzModel *model, int32_t index)
{
    const bzModelFace *face = Face(model, index);
    return face ? face->flags : 0;
}

void bz_SetModelFaceFlags(bzModel *model, int32_t index, uint16_t flags)
{
    if (const bzModelFace *face = Face(model, index))
        const_cast<bzModelFace *>(face)->flags = flags;
}

void bz_GetModelFaceVertices(const bzModel *model, int32_t index, bzV3 *a, bzV3 *b, bzV3 *c)
{
    const bzModelFace *face = Face(model, index);
    if (!face || !model->part->positions[0])
        return;
    bzV3 *out[3] = {a, b, c};
    for (int32_t k = 0; k < 3; ++k)
        if (FaceVertexValid(model->part, face->v[k]))
            *out[k] = model->part->positions[0][face->v[k]];
}

void bz_GetModelFaceNormals(const bzModel *model, int32_t index, bzV3 *a, bzV3 *b, bzV3 *c)
{
    const bzModelFace *face = Face(model, index);
    if (!face || !model->part->normals[0])
        return;
    bzV3 *out[3] = {a, b, c};
    for (int32_t k = 0; k < 3; ++k)
        if (FaceVertexValid(model->part, face->v[k]))
            *out[k] = model->part->normals[0][face->v[k]];
}

bzMaterial *bz_GetModelFaceMaterial(const bzModel *model, int32_t index)
{
    const bzModelFace *face = Face(model, index);
    if (!face)
        return nullptr;
    const bzModelVertexData *data = model->vertexData;
    if (data && data->polygons && data->faceToPolygon)
    {
        const uint32_t polygon = data->faceToPolygon[index];
        BZ_ASSERT(polygon < static_cast<uint32_t>(data->polygonCount));
        return polygon < static_cast<uint32_t>(data->polygonCount)
                   ? data->polygons[polygon].material
                   : nullptr;
    }
    const bzModelPart *part = model->part;
    BZ_ASSERT(face->entry < part->entryCount);
    if (!part->entries || face->entry >= part->entryCount)
        return nullptr;
    return part->entries[face->entry].material;
}

void bz_CalcModelFaceNormal(const bzModel *model, int32_t index, bzPlane *out, const void *skinLump)
{
    const bzModelFace *face = Face(model, index);
    BZ_ASSERT(out);
    if (!face || !out)
        return;
    const bzModelPart *part = model->part;
    bzV3 corner[3] = {};
    for (int32_t k = 0; k < 3; ++k)
    {
        if (!FaceVertexValid(part, face->v[k]))
            return;
        if (skinLump && part->skeleton && gSkinVertex)
            gSkinVertex(skinLump, model, face->v[k], &corner[k]);
        else if (part->positions[0])
            corner[k] = part->positions[0][face->v[k]];
    }
    bz_Plane_FromPoints(&corner[0], &corner[1], &corner[2], out);
}

int32_t bz_GetModelFaceCount(const bzModel *model)
{
    return model && model->part ? model->part->faceCount : 0;
}

int32_t bz_GetModelVertexCount(const bzModel *model)
{
    return model && model->part ? model->part->vertexCount : 0;
}

int16_t bz_GetModelInfluenceSlots(const bzModel *model)
{
    BZ_ASSERT(model && model->part && model->part->skeleton);
    if (!model || !model->part || !model->part->skeleton || !gInfluenceSlots)
        return 0;
    return gInfluenceSlots(model->part->skeleton);
}

// ---------------------------------------------------------------------------------------------
// Bounds

bzV3 *bz_GetModelBox(bzModel *model, bzV3 **out)
{
    bzV3 *box = model ? &model->boxMin : nullptr;
    if (out)
        *out = box;
    return box;
}

void bz_GetModelBounds(const bzModel *model, float *box, float *radius)
{
    BZ_ASSERT(model);
    if (!model)
        return;
    if (box)
    {
        const float values[6] = {model->boxMin.x, model->boxMin.y, model->boxMin.z,
                                 model->boxMax.x, model->boxMax.y, model->boxMax.z};
        std::memcpy(box, values, sizeof values);
    }
    if (radius)
        *radius = model->radius;
}

void bz_GetModelCentre(const bzModel *model, bzV3 *out)
{
    BZ_ASSERT(model && out);
    if (model && out)
        *out = model->centre;
}

void bz_SetModelBounds(bzModel *model, const float *box, float radius)
{
    BZ_ASSERT(model);
    if (!model)
        return;
    if (box)
    {
        model->boxMin = {box[0], box[1], box[2]};
        model->boxMax = {box[3], box[4], box[5]};
        const bzV3 centre = {(box[0] + box[3]) * 0.5f, (box[1] + box[4]) * 0.5f,
                             (box[2] + box[5]) * 0.5f};
        const bzV3 shift = {centre.x - model->centre.x, centre.y - model->centre.y,
                            centre.z - model->centre.z};
        model->centre = centre;
        if (bzModelPart *part = model->part)
            for (int32_t i = 0; part->entries && i < part->entryCount; ++i)
            {
                bzV3 &c = part->entries[i].centre;
                c = {c.x + shift.x, c.y + shift.y, c.z + shift.z};
            }
    }
    if (radius != 0.0f)
        model->radius = radius;
}

// ---------------------------------------------------------------------------------------------
// Access and format

int32_t bz_BeginModelAccess(int32_t mode, bzModel *model)
{
    if (!model || !model->part)
        return BZ_ERROR_NO_MODEL_PART;
    switch (mode)
    {
    case BZ_ACCESS_EDIT: model->part->flags |= BZ_PART_CHANGED | BZ_PART_ACCESSING; break;
    case BZ_ACCESS_READ: model->part->flags |= BZ_PART_ACCESSING; break;
    case BZ_ACCESS_CHANGED: model->part->flags |= BZ_PART_CHANGED; break;
    default: break;
    }
    return 0;
}

int32_t bz_EndModelAccess(bzModel *model, uint32_t options)
{
    if (!model || !model->part)
        return BZ_ERROR_NO_MODEL_PART;
    bzModelPart *part = model->part;
    part->flags &= ~BZ_PART_ACCESSING;
    if (!(part->flags & BZ_PART_CHANGED))
        return 0;
    if ((options & 1) && bzgRenderTable.PDBuildModelBuffers)
        if (const int32_t result = bzgRenderTable.PDBuildModelBuffers(model))
            return result;
    part->flags &= ~BZ_PART_CHANGED;
    return 0;
}

int32_t bz_SetModelVertexFormat(bzModel *model, int32_t positions, int32_t influences,
                                int32_t normals, int32_t colours, int32_t uvSets)
{
    if (!model || !model->part)
        return 0;
    bzModelPart *part = model->part;
    bzVertexFormatFields want = {positions, influences, normals, colours, uvSets};
    if (positions < 0 && influences < 0 && normals < 0 && colours < 0 && uvSets < 0)
    {
        want = {0, 0, 0, 0, 0};
        for (int32_t i = 0; part->entries && i < part->entryCount; ++i)
        {
            const bzMaterial *material = part->entries[i].material;
            if (!material)
                continue;
            const bzVertexFormatFields m = bz_VertexFormatFields(material->vertexFormat);
            want.positions = m.positions > want.positions ? m.positions : want.positions;
            want.influences = m.influences > want.influences ? m.influences : want.influences;
            want.normals = m.normals > want.normals ? m.normals : want.normals;
            want.colours = m.colours > want.colours ? m.colours : want.colours;
            want.uvSets = m.uvSets > want.uvSets ? m.uvSets : want.uvSets;
        }
    }
    const bzVertexFormatFields now = bz_VertexFormatFields(part->vertexFormat);
    // Each field is bounded by the arrays a part can keep.
    auto pick = [](int32_t value, int32_t current, int32_t most)
    {
        if (value < 0)
            return current;
        return value > most ? most : value;
    };
    want = {pick(want.positions, now.positions, 3), pick(want.influences, now.influences, 4),
            pick(want.normals, now.normals, 3), pick(want.colours, now.colours, 3),
            pick(want.uvSets, now.uvSets, 3)};
    if (want.positions == now.positions && want.influences == now.influences &&
        want.normals == now.normals && want.colours == now.colours && want.uvSets == now.uvSets)
        return 0;
    // The arrays follow the fields (a shortage of memory is noted in the last error).
    AllocModelPartArrays(part, want.positions, want.influences, want.normals, want.colours,
                         want.uvSets);
    part->vertexFormat = bz_MakeVertexFormat(want);
    SetModelEntryVertexFormat(part);
    return 1;
}
