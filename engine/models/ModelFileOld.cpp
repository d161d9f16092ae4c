#include "models/ModelFileOld.h"

#include "core/Error.h"
#include "core/Memory.h"
#include "core/Progress.h"
#include "files/File.h"
#include "models/Material.h"
#include "models/MaterialFile.h"
#include "models/ModelCleanup.h"
#include "models/ModelFileCursor.h"
#include "models/ModelPrepare.h"

#include <cfloat>
#include <cstdio>
#include <cstring>

namespace
{
constexpr uint32_t kPrepareAll = 0xFFBF;
constexpr uint32_t kMaxMaterials = 1024;
constexpr uint32_t kNameRecord = 17;
} // namespace

bzModel *BuildModelFromFaceList(const bzLegacyFaceList *list)
{
    for (int32_t i = 0; i < list->faceCount; ++i)
        for (uint32_t v : list->faces[i].v)
            if (v >= static_cast<uint32_t>(list->vertexCount))
            {
                bzgLastError = BZ_ERROR_INVALID_PARAMETER;
                return nullptr;
            }
    bzModel *model = bz_CreateModel(list->faceCount, list->vertexCount);
    if (!model)
        return nullptr;
    std::memcpy(model->name, list->name, sizeof model->name);
    model->name[sizeof model->name - 1] = 0;
    bzModelVertexData *data = model->vertexData;
    if (!data)
        return model;
    data->userWord = list->dataFlags;
    for (int32_t i = 0; i < list->vertexCount; ++i)
    {
        data->vertices[i].x = list->vertices[i].x;
        data->vertices[i].y = list->vertices[i].y;
        data->vertices[i].z = list->vertices[i].z;
    }
    for (int32_t i = 0; i < list->faceCount; ++i)
    {
        const bzLegacyFace &f = list->faces[i];
        bzModelPolygon &p = data->polygons[i];
        for (int32_t k = 0; k < 3; ++k)
        {
            p.v[k] = f.v[k];
            p.uv[k][0] = list->vertices[f.v[k]].u0;
            p.uv[k][1] = list->vertices[f.v[k]].v0;
            p.colours[k] = 0xFFFFFFFFu;
        }
        p.material = f.material;
        p.smoothing = f.flags;
        p.flags = 0;
    }
    int32_t result = bz_WeldModelVertices(model);
    if (result == 0)
        result = bz_RemoveDegeneratePolygons(model);
    if (result == 0)
        result = bz_RemoveUnreferencedVertices(model);
    if (result != 0)
    {
        bz_ReleaseModel(model);
        bzgLastError = result;
        return nullptr;
    }
    return model;
}

bzModel *ReadModelV402(const uint8_t *payload, uint32_t size, const char *path, bool withSecondSet)
{
    bzModelCursor cur{payload, payload + size};
    const uint32_t vertexCount = cur.U16();
    const uint32_t faceCount = cur.U16();
    const uint32_t materialCount = cur.U16();
    if (!cur.bad && materialCount > kMaxMaterials)
    {
        bz_SetErrorOrigin("bz_Model_IO", 0, __LINE__);
        bz_ReportError("SKRITCH", "TOO MANY MATERIALS");
        bzgLastError = BZ_ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    bzLegacyFaceList list{};
    list.dataFlags = cur.U32();
    cur.U32();
    const uint32_t vertexRecord = withSecondSet ? 44 : 36;
    if (cur.bad || !cur.NeedRecords(vertexCount, vertexRecord) ||
        !cur.Need(static_cast<uint64_t>(vertexCount) * vertexRecord +
                  static_cast<uint64_t>(faceCount) * 16 +
                  static_cast<uint64_t>(materialCount) * kNameRecord))
    {
        bzgLastError = BZ_ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    list.vertexCount = static_cast<int32_t>(vertexCount);
    list.faceCount = static_cast<int32_t>(faceCount);
    std::snprintf(list.name, sizeof list.name, "%s", bz_GetPathFileName(path));
    list.vertices = static_cast<bzLegacyVertex *>(
        bz_MemAlloc((vertexCount ? vertexCount : 1) * static_cast<uint32_t>(sizeof(bzLegacyVertex)),
                    BZ_MEM_CLEAR));
    list.faces = static_cast<bzLegacyFace *>(bz_MemAlloc(
        (faceCount ? faceCount : 1) * static_cast<uint32_t>(sizeof(bzLegacyFace)), BZ_MEM_CLEAR));
    auto **slots = static_cast<bzMaterial **>(
        bz_MemAlloc(kMaxMaterials * static_cast<uint32_t>(sizeof(bzMaterial *)), BZ_MEM_CLEAR));
    auto release = [&]()
    {
        for (uint32_t i = 0; slots && i < materialCount; ++i)
            if (slots[i])
                bz_ReleaseMaterial(slots[i]);
        bz_MemFree(slots);
        bz_MemFree(list.faces);
        bz_MemFree(list.vertices);
    };
    if (!list.vertices || !list.faces || !slots)
    {
        release();
        bzgLastError = BZ_ERROR_NO_MEMORY;
        return nullptr;
    }
    for (uint32_t i = 0; i < vertexCount; ++i)
    {
        bzLegacyVertex &v = list.vertices[i];
        v.x = cur.F32();
        v.y = cur.F32();
        v.z = cur.F32();
        cur.Skip(12);
        v.u0 = cur.F32();
        v.v0 = cur.F32();
        if (withSecondSet)
        {
            v.u1 = cur.F32();
            v.v1 = cur.F32();
        }
        cur.Skip(4);
    }
    bool ok = true;
    for (uint32_t i = 0; i < faceCount; ++i)
    {
        bzLegacyFace &f = list.faces[i];
        for (uint32_t &v : f.v)
            v = cur.U16();
        cur.Skip(8);
        f.flags = cur.U16();
        if (f.flags >= materialCount && materialCount > 0)
            ok = false;
    }
    char folder[BZ_FILE_PATH_SIZE];
    std::snprintf(folder, sizeof folder, "%s", bz_GetPathDirectory(path));
    const size_t folderLength = std::strlen(folder);
    const char *separator = folderLength > 0 && folder[folderLength - 1] != '\\' ? "\\" : "";
    bz_Progress_Begin(static_cast<int32_t>(materialCount));
    for (uint32_t i = 0; ok && i < materialCount; ++i)
    {
        char name[kNameRecord + 1] = {};
        std::memcpy(name, cur.Take(kNameRecord), kNameRecord);
        char materialPath[BZ_FILE_PATH_SIZE + 24];
        std::snprintf(materialPath, sizeof materialPath, "%s%s%s", folder, separator, name);
        slots[i] = bz_LoadMaterial(materialPath);
        bz_Progress_Step();
    }
    bz_Progress_End();
    if (!ok || cur.bad)
    {
        release();
        bzgLastError = BZ_ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    for (uint32_t i = 0; i < faceCount; ++i)
        list.faces[i].material = materialCount > 0 ? slots[list.faces[i].flags] : nullptr;
    bzModel *model = BuildModelFromFaceList(&list);
    if (model)
        if (const int32_t result = bz_PrepareModelGeometry(model, kPrepareAll))
        {
            bz_ReleaseModel(model);
            bzgLastError = result;
            model = nullptr;
        }
    if (model)
        DropUnheldPolygonMaterials(model);
    const int32_t error = bzgLastError;
    release();
    bzgLastError = model ? bzgLastError : error;
    return model;
}
