#include "models/ModelFile.h"

#include "core/Bytes.h"
#include "core/NameHash.h"
#include "core/Error.h"
#include "core/Memory.h"
#include "core/Strings.h"
#include "files/File.h"
#include "models/ImgMap.h"
#include "models/LoadOptions.h"
#include "models/ModelLoad.h"
#include "models/ModelPrepare.h"
#include "models/Skeleton.h"
#include "models/TriStrips.h"

#include <cstdio>
#include <cstring>

namespace
{
constexpr uint32_t kMax16 = 0xFFFF;

// The file image grows in memory and goes to the file in one write.
struct Out
{
    uint8_t *bytes = nullptr;
    uint32_t size = 0;
    uint32_t capacity = 0;
    bool failed = false;

    uint8_t *Room(uint32_t n)
    {
        if (failed)
            return nullptr;
        if (size + n > capacity)
        {
            uint32_t grown = capacity ? capacity : 4096;
            while (grown < size + n)
                grown *= 2;
            if (grown > BZ_MEM_MAX_BLOCK)
            {
                failed = true;
                return nullptr;
            }
            auto *bigger = static_cast<uint8_t *>(bz_MemAlloc(grown, 0));
            if (!bigger)
            {
                failed = true;
                return nullptr;
            }
            if (bytes)
            {
                std::memcpy(bigger, bytes, size);
                bz_MemFree(bytes);
            }
            bytes = bigger;
            capacity = grown;
        }
        uint8_t *at = bytes + size;
        size += n;
        return at;
    }
    void U8(uint32_t v)
    {
        if (uint8_t *at = Room(1))
            *at = static_cast<uint8_t>(v);
    }
    void U16(uint32_t v)
    {
        if (uint8_t *at = Room(2))
            bz_PutU16LE(at, v);
    }
    void U32(uint32_t v)
    {
        if (uint8_t *at = Room(4))
            bz_PutU32LE(at, v);
    }
    void F32(float v)
    {
        if (uint8_t *at = Room(4))
            bz_PutF32LE(at, v);
    }
    void V3(const bzV3 &v)
    {
        F32(v.x);
        F32(v.y);
        F32(v.z);
    }
    // A field of n bytes: the text cut to n, NUL-padded.
    void Name(const char *text, uint32_t n)
    {
        if (uint8_t *at = Room(n))
        {
            std::memset(at, 0, n);
            const size_t length = text ? std::strlen(text) : 0;
            std::memcpy(at, text, length < n ? length : n);
        }
    }
    ~Out() { bz_MemFree(bytes); }
};

// What a model must hold for the file's 16-bit fields; 0 or 20.
int32_t CheckFits(const bzModel *model, bool app, bool prep)
{
    if (prep && model->part && model->part->entryCount > static_cast<int32_t>(kMax16))
        return BZ_ERROR_PARAMETER_OUT_OF_RANGE;
    if (prep && model->part && model->part->skeleton &&
        (model->part->skeleton->boneCount <= 0 || model->part->skeleton->boneCount > 127))
        return BZ_ERROR_PARAMETER_OUT_OF_RANGE;
    if (!app)
        return 0;
    const bzModelVertexData *data = model->vertexData;
    if (data->polygonCount > static_cast<int32_t>(kMax16) ||
        data->vertexCount > static_cast<int32_t>(kMax16))
        return BZ_ERROR_PARAMETER_OUT_OF_RANGE;
    for (int32_t i = 0; i < data->polygonCount; ++i)
        for (uint32_t v : data->polygons[i].v)
            if (v > kMax16 || v >= static_cast<uint32_t>(data->vertexCount))
                return BZ_ERROR_PARAMETER_OUT_OF_RANGE;
    if ((data->userWord & BZ_VDATA_BONES) && data->boneData)
    {
        const bzModelBoneData *bones = data->boneData;
        if (bones->boneCount < 0 || (bones->boneCount > 0 && !bones->bones) ||
            (bones->weightCount > 0 && !bones->weights))
            return BZ_ERROR_PARAMETER_OUT_OF_RANGE;
        const auto *skins = static_cast<const bzModelSkinVertex *>(bones->weights);
        for (uint32_t s = 0; s < bones->weightCount; ++s)
            if (skins[s].count < 0 || skins[s].count > BZ_SKIN_MAX_INFLUENCES)
                return BZ_ERROR_PARAMETER_OUT_OF_RANGE;
    }
    return 0;
}

void WriteMeshBlock(Out &out, const bzModelPart *part)
{
    const auto n = static_cast<uint32_t>(part->vertexCount);
    out.U32(n);
    for (uint32_t i = 0; i < n; ++i)
    {
        out.V3(part->positions[0] ? part->positions[0][i] : bzV3{});
        out.V3(part->normals[0] ? part->normals[0][i] : bzV3{});
        for (int32_t set = 0; set < 2; ++set)
        {
            out.F32(part->uvs[set] ? part->uvs[set][2 * i] : 0.0f);
            out.F32(part->uvs[set] ? part->uvs[set][2 * i + 1] : 0.0f);
        }
        out.U32(part->colours[0] ? part->colours[0][i] : 0u);
    }
    out.U16(static_cast<uint32_t>(part->entryCount));
    for (int32_t i = 0; i < part->entryCount; ++i)
    {
        const bzMaterialEntry &e = part->entries[i];
        out.V3(e.centre);
        out.F32(e.radius);
        out.V3(e.boxMin);
        out.V3(e.boxMax);
        out.U32(e.baseVertex);
        out.U32(e.verticesUsed);
        const uint32_t strips = e.stripIndices ? e.stripIndexCount : 0;
        out.U32(strips);
        for (uint32_t k = 0; k < strips; ++k)
            out.U32(e.stripIndices[k]);
        out.U32(e.listBaseVertex);
        out.U32(e.listVertexSpan);
        const uint32_t list = e.listIndices ? e.listIndexCount : 0;
        out.U32(list);
        for (uint32_t k = 0; k < list; ++k)
            out.U32(e.listIndices[k]);
    }
}

void WriteSkeletonBlock(Out &out, const bzModelPart *part)
{
    const bzSkeleton *s = part->skeleton;
    const auto bones = static_cast<uint32_t>(s->boneCount);
    out.U16(bones);
    out.U16(static_cast<uint16_t>(s->influenceSlots));
    out.U16(static_cast<uint16_t>(s->rootBone));
    for (uint32_t b = 0; b < bones; ++b)
    {
        char name[BZ_BONE_NAME_LENGTH + 1] = {};
        std::memcpy(name, s->bones[b].name, BZ_BONE_NAME_LENGTH);
        const auto length = static_cast<uint32_t>(std::strlen(name));
        if (uint8_t *at = out.Room(length + 1))
            std::memcpy(at, name, length + 1);
    }
    for (uint32_t b = 0; b < bones; ++b)
    {
        out.V3(s->boneBoxes ? s->boneBoxes[b].min : bzV3{});
        out.V3(s->boneBoxes ? s->boneBoxes[b].max : bzV3{});
        out.V3(s->boneOffsets ? s->boneOffsets[b] : bzV3{});
        out.U8(static_cast<uint8_t>(s->bones[b].parent));
        out.U8(static_cast<uint8_t>(s->bones[b].firstChild));
        out.U8(static_cast<uint8_t>(s->bones[b].nextSibling));
    }
    for (uint32_t b = 0; b < bones; ++b)
    {
        const bzBonePose pose = s->bindPose ? s->bindPose[b] : bzBonePose{};
        for (float q : pose.rotation.v)
            out.F32(q);
        out.V3(pose.position);
        out.U32(pose.word);
    }
    for (int32_t v = 0; v < part->vertexCount; ++v)
    {
        const bzSkinInfluences in =
            s->vertexInfluences ? s->vertexInfluences[v] : bzSkinInfluences{};
        out.U16(static_cast<uint16_t>(in.count));
        out.U8(in.spare[0]);
        out.U8(in.spare[1]);
        out.U32(static_cast<uint32_t>(in.first));
    }
    const uint32_t w = s->influenceBones && s->influenceWeights ? s->influenceCount : 0;
    out.U32(w);
    for (uint32_t i = 0; i < w; ++i)
        out.U16(static_cast<uint16_t>(s->influenceBones[i]));
    for (uint32_t i = 0; i < w; ++i)
        out.F32(s->influenceWeights[i]);
}

void WriteBoneBlock(Out &out, const bzModelBoneData *bones)
{
    const auto count = static_cast<uint32_t>(bones->boneCount);
    out.U16(count);
    const auto *records = static_cast<const bzModelDataBone *>(bones->bones);
    for (uint32_t b = 0; b < count; ++b)
    {
        if (uint8_t *at = out.Room(32))
            std::memcpy(at, records[b].name, 32);
        out.U16(static_cast<uint8_t>(records[b].parent));
        for (const bzV3 &row : records[b].rows)
            out.V3(row);
        out.V3(records[b].position);
    }
    out.U32(bones->weightCount);
    const auto *skins = static_cast<const bzModelSkinVertex *>(bones->weights);
    for (uint32_t s = 0; s < bones->weightCount; ++s)
    {
        out.U16(static_cast<uint16_t>(skins[s].count));
        for (int32_t k = 0; k < skins[s].count; ++k)
        {
            out.U16(skins[s].bones[k]);
            out.F32(skins[s].weights[k]);
            out.V3(skins[s].offsets[k]);
        }
    }
}

// The number a polygon's material is written as: the last entry that holds it, else the
// number of "no material".
uint32_t MaterialNumber(const bzModelPart *part, const bzMaterial *material, uint32_t none)
{
    if (!material || !part)
        return none;
    for (int32_t i = part->entryCount - 1; i >= 0; --i)
        if (part->entries[i].material == material)
            return static_cast<uint32_t>(i);
    return none;
}
} // namespace

int32_t WriteModelFile(bzFileHandle *file, bzModel *model, int32_t withAppData,
                       int32_t withPrepData)
{
    if (!model)
        return bzgLastError = BZ_ERROR_NO_MODEL;
    if (!file)
        return bzgLastError = BZ_ERROR_FILE_NOT_FOUND;
    const bool prep = withPrepData != 0;
    const bool app = withAppData != 0 && model->vertexData != nullptr;
    bzModelPart *part = model->part;
    if (prep && !part)
        return bzgLastError = BZ_ERROR_NO_MODEL_PART;
    if (const int32_t fits = CheckFits(model, app, prep))
        return bzgLastError = fits;
    if (prep)
    {
        bool stripped = false;
        for (int32_t i = 0; i < part->entryCount; ++i)
            stripped = stripped || part->entries[i].stripIndexCount > 0;
        if (!stripped && part->entryCount > 0)
            if (const int32_t result = BuildModelTriStrips(model))
                return bzgLastError = result;
    }
    const bool skeleton =
        prep && (model->flags & BZ_MODEL_SKINNED) && part->skeleton && part->skeleton->bones;
    uint32_t flagWord = model->flags & BZ_MDLFLAG_MODEL_FLAGS;
    if (app)
        flagWord |= BZ_MDLFLAG_APP_DATA;
    if (skeleton)
        flagWord |= BZ_MDLFLAG_SKELETON;
    const uint32_t checksum = bz_ModelChecksum(model, 1, 1, 1);
    model->fileWord2 = checksum;

    Out out;
    out.U16(BZ_MODEL_FILE_MAGIC);
    out.U16(BZ_MODEL_FILE_VERSION);
    out.U32(checksum);
    out.U32(flagWord);
    out.U32(0); // the payload size, filled in below
    const uint32_t payloadStart = out.size;
    const bzModelVertexData *data = model->vertexData;
    out.U32(app ? static_cast<uint32_t>(data->polygonCount) : 0u);
    out.U32(app ? static_cast<uint32_t>(data->vertexCount) : 0u);
    out.U32(prep ? 1u : 0u);
    if (prep)
    {
        out.F32(model->radius);
        out.V3(model->boxMin);
        out.V3(model->boxMax);
        out.V3(model->centre);
    }
    const int32_t entries = part ? part->entryCount : 0;
    // "No material" is the last entry without one, or the number past the list when every
    // entry has a material, so that it never reads back as one.
    uint32_t none = static_cast<uint32_t>(entries);
    out.U16(static_cast<uint32_t>(entries));
    for (int32_t i = 0; i < entries; ++i)
    {
        const bzMaterial *material = part->entries[i].material;
        out.Name(material && material->shortName ? material->shortName : "Default", 32);
        if (!material)
            none = static_cast<uint32_t>(i);
    }
    if (prep)
    {
        out.U32(part->faces ? static_cast<uint32_t>(part->faceCount) : 0u);
        for (int32_t i = 0; part->faces && i < part->faceCount; ++i)
        {
            const bzModelFace &f = part->faces[i];
            out.U16(f.entry);
            out.U16(f.flags);
            for (uint32_t v : f.v)
                out.U32(v);
        }
        WriteMeshBlock(out, part);
        if (skeleton)
            WriteSkeletonBlock(out, part);
    }
    if (app)
    {
        out.U32(data->userWord);
        for (int32_t i = 0; i < data->vertexCount; ++i)
        {
            const bzModelDataVertex &v = data->vertices[i];
            out.F32(v.x);
            out.F32(v.y);
            out.F32(v.z);
            out.U32(static_cast<uint16_t>(v.runCount));
        }
        for (int32_t i = 0; i < data->polygonCount; ++i)
        {
            const bzModelPolygon &p = data->polygons[i];
            out.F32(p.d);
            out.V3(p.faceNormal);
            for (const bzV3 &n : p.normals)
                out.V3(n);
            out.U32(MaterialNumber(part, p.material, none));
            out.U32(p.smoothing);
            for (uint32_t v : p.v)
                out.U32(v);
            for (uint32_t c : p.colours)
                out.U32(c);
            for (const auto &corner : p.uv)
                for (float f : corner)
                    out.F32(f);
            out.U8((p.flags >> 5) & 7u);
            out.U32(p.word);
        }
        if (prep)
        {
            const auto faces = static_cast<uint32_t>(part->faces ? part->faceCount : 0);
            for (uint32_t i = 0; i < faces; ++i)
                out.U32(data->faceToPolygon ? data->faceToPolygon[i] : 0u);
            if (data->table3 && part->vertexCount > 0)
            {
                out.U32(static_cast<uint32_t>(part->vertexCount));
                for (int32_t i = 0; i < part->vertexCount; ++i)
                    out.U32(data->table3[i]);
            }
            else
                out.U32(0);
        }
        if ((data->userWord & BZ_VDATA_STRIP_DATA) || (bzgModelLoadOptions & BZ_MODELOPT_NO_STRIPS))
            UndoModelTriStrips(model);
        if ((data->userWord & BZ_VDATA_BONES) && data->boneData)
            WriteBoneBlock(out, data->boneData);
    }
    if (out.failed)
        return bzgLastError = BZ_ERROR_NO_MEMORY;
    bz_PutU32LE(out.bytes + payloadStart - 4, out.size - payloadStart);
    if (bz_FileWrite(file, out.bytes, out.size) != out.size)
        return bzgLastError = BZ_ERROR_FILE_NOT_FOUND;
    return 0;
}

int32_t bz_SaveModelToFile(const char *fileName, bzModel *model, int32_t withAppData,
                           int32_t withPrepData)
{
    bzFileHandle *file = bz_FileOpen(fileName, "wb");
    if (!file)
        return bzgLastError = BZ_ERROR_FILE_NOT_FOUND;
    int32_t result = WriteModelFile(file, model, withAppData, withPrepData);
    if (bz_FileClose(file) != 0 && result == 0)
        result = bzgLastError = BZ_ERROR_FILE_NOT_FOUND;
    return result;
}

int32_t bz_SaveModel(char *path, bzModel *model, int32_t withAppData, int32_t withPrepData)
{
    if (!path)
        return bzgLastError = BZ_ERROR_INVALID_PARAMETER;
    if (char *dot = std::strrchr(path, '.'))
        if (dot != path && !std::strchr(dot, '\\'))
            *dot = 0;
    char name[BZ_FILE_PATH_SIZE];
    if (std::snprintf(name, sizeof name, "%s.MDL", path) >= static_cast<int>(sizeof name))
        return bzgLastError = BZ_ERROR_FILE_NOT_FOUND;
    return bz_SaveModelToFile(name, model, withAppData, withPrepData);
}

int32_t bz_TestModelFile(char *path)
{
    if (!path)
        return 0;
    const uint32_t flags = bzgLoadFlags;
    const int32_t skipTdx = bzgImage_skipTdx;
    bzgLoadFlags |= BZ_LOADFLAG_FRESH_MODELS;
    bzgImage_skipTdx = 1;
    bzModel *model = bz_LoadModel(path);
    bzgLoadFlags = flags;
    bzgImage_skipTdx = skipTdx;
    if (!model)
        return 0;
    // A file that could not be read came back as the stand-in cube: never write that over it.
    if (model->nameHash != bz_HashString(path))
    {
        bz_ReleaseModel(model);
        return 0;
    }
    const int32_t result = bz_SaveModel(path, model, 0, 1);
    bz_ReleaseModel(model);
    return result == 0 ? 1 : 0;
}
