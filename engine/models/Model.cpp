#include "models/Model.h"

#include "core/Debug.h"
#include "core/Error.h"
#include "core/Memory.h"
#include "core/Strings.h"
#include "device/RenderTable.h"
#include "models/ImgMap.h"
#include "models/LoadOptions.h"
#include "models/Material.h"
#include "models/MeshWork.h"
#include "models/ModelAccess.h"
#include "models/ModelPrepare.h"

#include <cstdio>
#include <cstring>

bzModel *bzgModelList;
int32_t bzgModelCount;
int32_t bzgMaterialEntryCount;
uint32_t bzgModelIndexBytes;

namespace
{
bzModelServices gServices;

template <typename T> T *AllocZeroed(size_t count)
{
    return static_cast<T *>(bz_MemAlloc(static_cast<uint32_t>(count * sizeof(T)), BZ_MEM_CLEAR));
}

template <typename T> void FreeAndClear(T *&block)
{
    if (block)
        bz_MemFree(block);
    block = nullptr;
}

// Copies count elements into a new block; null for none or when memory runs out.
template <typename T> T *CopyArray(const T *source, size_t count)
{
    if (!source || count == 0)
        return nullptr;
    T *copy = static_cast<T *>(bz_MemAlloc(static_cast<uint32_t>(count * sizeof(T)), 0));
    if (copy)
        std::memcpy(copy, source, count * sizeof(T));
    return copy;
}

void FreeVertexDataRecord(bzModelVertexData *data)
{
    FreeAndClear(data->polygons);
    FreeAndClear(data->vertices);
    FreeAndClear(data->faceToPolygon);
    FreeAndClear(data->table2);
    FreeAndClear(data->table3);
    if (bzModelBoneData *bones = data->boneData)
    {
        FreeAndClear(bones->bones);
        FreeAndClear(bones->weights);
        FreeAndClear(data->boneData);
    }
    bz_MemFree(data);
}

// Sets part bit 15 for a read, and clears bits 14 and 15 afterwards.
void BeginRead(bzModel *model)
{
    if (model->part)
        model->part->flags |= BZ_PART_ACCESSING;
}
void EndRead(bzModel *model)
{
    if (model->part)
        model->part->flags &= ~(BZ_PART_ACCESSING | BZ_PART_CHANGED);
}

uint32_t Bits(float f)
{
    uint32_t u;
    std::memcpy(&u, &f, sizeof u);
    return u;
}

uint32_t Rotl1(uint32_t h)
{
    return h << 1 | h >> 31;
}

// Moves the material to the list end unless it is null or the one already recorded.
void MoveMaterial(bzMaterial *material, bzMaterial **first)
{
    if (!material || material == *first)
        return;
    bz_UnlinkMaterial(material);
    bz_LinkMaterial(material);
    if (!*first)
        *first = material;
}
} // namespace

void bz_SetModelServices(const bzModelServices *services)
{
    gServices = services ? *services : bzModelServices{};
}

uint32_t bz_GetModelLoadOptions()
{
    return bzgModelLoadOptions;
}

void bz_SetModelLoadOptions(uint32_t options)
{
    bzgModelLoadOptions = options;
}

// ---------------------------------------------------------------------------------------------
// Records and list

bzModel *bz_CreateModel(int32_t polygonCount, int32_t vertexCount)
{
    auto *model = AllocZeroed<bzModel>(1);
    if (!model)
    {
        bzgLastError = BZ_ERROR_NO_MEMORY;
        return nullptr;
    }
    if (bzgModelLoadOptions & BZ_MODELOPT_DEBUG_MODELS)
        model->flags |= BZ_MODEL_DEBUG;
    if (polygonCount != 0 || vertexCount != 0)
    {
        if (bz_CreateModelVertexData(model, vertexCount, polygonCount) != 0)
        {
            bz_MemFree(model);
            bzgLastError = BZ_ERROR_NO_MEMORY;
            return nullptr;
        }
    }
    model->meshWork = nullptr;
    model->octree = nullptr;
    model->index = -1;
    model->maxBatchExtent = BZ_MODEL_DEFAULT_BATCH_EXTENT;
    model->minBatchFaces = 0;
    bz_LinkModel(model);
    ++bzgModelCount;
    model->refCount = 1;
    return model;
}

bzModel *bz_LinkModel(bzModel *model)
{
    if (!model)
        return nullptr;
    model->next = nullptr;
    if (!bzgModelList)
    {
        bzgModelList = model;
        model->prev = model;
        return model;
    }
    bzModel *last = bzgModelList->prev;
    last->next = model;
    model->prev = last;
    bzgModelList->prev = model;
    return model;
}

void bz_UnlinkModel(bzModel *model)
{
    if (!model || !model->prev)
        return;
    if (!model->prev->next)
        bzgModelList = model->next; // the head
    else
        model->prev->next = model->next;
    if (model->next)
        model->next->prev = model->prev;
    else if (bzgModelList)
        bzgModelList->prev = model->prev;
    model->prev = nullptr;
    model->next = nullptr;
}

bzModel *bz_FindModel(const char *fileName, uint32_t nameHash)
{
    if (!fileName)
        return nullptr;
    for (bzModel *model = bzgModelList; model; model = model->next)
    {
        if (nameHash != 0 && model->nameHash != nameHash)
            continue;
        if (bz_StrCompareNoCase(model->name, fileName) == 0)
            return model;
    }
    return nullptr;
}

void bz_AddModelReference(bzModel *model)
{
    BZ_ASSERT(model);
    if (model)
        ++model->refCount;
}

void bz_ReleaseModel(bzModel *model)
{
    if (!model)
        return;
    if (--model->refCount > 0)
        return;
    bz_FreeModelOctree(model);
    bz_UnlinkModel(model);
    --bzgModelCount;
    bz_FreeModel(model);
}

void bz_FreeSkinInstance(void *instance)
{
    if (!instance)
        return;
    bz_ReleaseModel(*static_cast<bzModel **>(instance));
    bz_MemFree(instance);
}

int32_t bz_FreeModel(bzModel *model)
{
    if (!model)
        return 0;
    bz_FreeModelVertexData(model);
    if (model->meshWork)
    {
        if (gServices.freeMeshWork)
            gServices.freeMeshWork(model->meshWork);
        else
            FreeMeshWorkData(model->meshWork);
        model->meshWork = nullptr;
    }
    FreeModelPart(model);
    bz_MemFree(model);
    return 0;
}

void FreeModelPart(bzModel *model)
{
    if (!model)
        return;
    if (bzgRenderTable.PDFreeModelBuffers)
        bzgRenderTable.PDFreeModelBuffers(model);
    bzModelPart *part = model->part;
    if (!part)
        return;
    for (bzV3 *&a : part->positions)
        FreeAndClear(a);
    for (int32_t k = 0; k < 4; ++k)
    {
        FreeAndClear(part->boneWeights[k]);
        FreeAndClear(part->boneIndices[k]);
    }
    for (bzV3 *&a : part->normals)
        FreeAndClear(a);
    for (bzColour *&a : part->colours)
        FreeAndClear(a);
    for (float *&a : part->uvs)
        FreeAndClear(a);
    if (part->entries)
    {
        for (int32_t i = 0; i < part->entryCount; ++i)
        {
            bzMaterialEntry &entry = part->entries[i];
            FreeAndClear(entry.stripIndices);
            FreeAndClear(entry.listIndices);
            if (entry.material)
                bz_ReleaseMaterial(entry.material);
            entry.material = nullptr;
        }
        FreeAndClear(part->entries);
        bzgMaterialEntryCount -= part->entryCount;
        part->entryCount = 0;
    }
    FreeAndClear(part->faces);
    // The skeleton and the layer colour arrays are children of the part and go with it.
    bz_MemFree(part);
    model->part = nullptr;
}

void bz_FreeModelOctree(bzModel *model)
{
    if (!model || !model->octree)
        return;
    void *root = model->octree;
    model->octree = nullptr;
    if (gServices.freeOctreeChildren)
        gServices.freeOctreeChildren(root);
    bz_MemFree(root);
}

void bz_ResetModelList()
{
    bzgModelList = nullptr;
    bzgModelCount = 0;
}

bzModel *bz_CheckModelList()
{
    bzModel *model = bzgModelList;
    for (int32_t steps = 0; model && steps < bzgModelCount + 5; ++steps)
        model = model->next;
    return model;
}

uint32_t bz_GetModelMemory()
{
    uint32_t total = 0;
    for (const bzModel *model = bzgModelList; model; model = model->next)
        if (model->part)
            total += model->part->memSize;
    return total;
}

bzModel *bz_DuplicateModel(const bzModel *source)
{
    BZ_ASSERT(source);
    if (!source)
        return nullptr;
    bzModel *model = bz_CreateModel(0, 0);
    if (!model)
        return nullptr;
    bzModel *const prev = model->prev;
    bzModel *const next = model->next;
    std::memcpy(static_cast<void *>(model), source, sizeof *model);
    model->prev = prev;
    model->next = next;
    model->refCount = 1;
    model->part = nullptr;
    model->vertexData = nullptr;
    model->meshWork = nullptr;
    model->octree = nullptr;

    bool failed = false;
    if (const bzModelVertexData *from = source->vertexData)
    {
        if (bz_CreateModelVertexData(model, 0, 0) != 0)
            failed = true;
        else
        {
            bzModelVertexData *to = model->vertexData;
            to->userWord = from->userWord;
            to->vertexCount = from->vertexCount;
            to->polygonCount = from->polygonCount;
            to->vertices = CopyArray(from->vertices, static_cast<size_t>(from->vertexCount));
            to->polygons = CopyArray(from->polygons, static_cast<size_t>(from->polygonCount));
            failed = (from->vertices && from->vertexCount > 0 && !to->vertices) ||
                     (from->polygons && from->polygonCount > 0 && !to->polygons);
            // The runs into the output-vertex table belong to the source's table.
            if (to->vertices)
                for (int32_t i = 0; i < to->vertexCount; ++i)
                {
                    to->vertices[i].run = nullptr;
                    to->vertices[i].runCount = 0;
                }
            if (!failed && from->boneData)
            {
                const bzModelBoneData *fb = from->boneData;
                to->boneData = CopyArray(fb, 1);
                if (!to->boneData)
                    failed = true;
                else
                {
                    to->boneData->bones = nullptr;
                    to->boneData->weights = nullptr;
                    if (fb->bones)
                        to->boneData->bones = CopyArray(static_cast<const uint8_t *>(fb->bones),
                                                        bz_MemSize(fb->bones));
                    if (fb->weights)
                        to->boneData->weights = CopyArray(static_cast<const uint8_t *>(fb->weights),
                                                          bz_MemSize(fb->weights));
                    failed = (fb->bones && !to->boneData->bones) ||
                             (fb->weights && !to->boneData->weights);
                }
            }
        }
    }
    // A copy with source geometry builds its own part from it (every step but the one of
    // bit 6); one without copies the source's part.
    if (!failed && model->vertexData)
        failed = bz_PrepareModelGeometry(model, 0xFFFFFBF) != 0;
    else if (!failed && source->part)
        failed = CopyModelPart(model, source) != 0;
    if (failed)
    {
        bz_UnlinkModel(model);
        --bzgModelCount;
        bz_FreeModel(model);
        bzgLastError = BZ_ERROR_NO_MEMORY;
        return nullptr;
    }
    return model;
}

void bz_DumpModel(const bzModel *model)
{
    if (!model)
        return;
    const bzModelVertexData *data = model->vertexData;
    if (!data)
    {
        std::printf("No app_data data for model: %s\n", model->name);
        return;
    }
    std::printf("MODEL:0x%08x \"%s\"\n", static_cast<uint32_t>(reinterpret_cast<uintptr_t>(model)),
                model->name);
    std::printf("Total vertices:  %i\n", data->vertexCount);
    std::printf("Total faces:     %i\n", data->polygonCount);
    std::printf("bounds Rad:      %3.3f\n", static_cast<double>(model->radius));
    std::printf("bounds min:      X:%3.3f Y:%3.3f Z:%3.3f\n", static_cast<double>(model->boxMin.x),
                static_cast<double>(model->boxMin.y), static_cast<double>(model->boxMin.z));
    std::printf("bounds max:      X:%3.3f Y:%3.3f Z:%3.3f\n", static_cast<double>(model->boxMax.x),
                static_cast<double>(model->boxMax.y), static_cast<double>(model->boxMax.z));
    char text[16];
    auto address = [&](const void *p) -> const char *
    {
        if (!p)
            return "NULL";
        std::snprintf(text, sizeof text, "0x%08x",
                      static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)));
        return text;
    };
    std::printf("faces Ptr:       %s\n", address(data->polygons));
    std::printf("vertices Ptr:    %s\n", address(data->vertices));
}

// ---------------------------------------------------------------------------------------------
// Vertex data and part

int32_t bz_CreateModelVertexData(bzModel *model, int32_t vertexCount, int32_t polygonCount)
{
    BZ_ASSERT(model);
    if (!model)
        return BZ_ERROR_INVALID_PARAMETER;
    auto *data = AllocZeroed<bzModelVertexData>(1);
    if (!data)
    {
        bzgLastError = BZ_ERROR_NO_MEMORY;
        return BZ_ERROR_NO_MEMORY;
    }
    data->model = model;
    if (vertexCount > 0)
        data->vertices = AllocZeroed<bzModelDataVertex>(static_cast<size_t>(vertexCount));
    if (polygonCount > 0)
        data->polygons = AllocZeroed<bzModelPolygon>(static_cast<size_t>(polygonCount));
    if ((vertexCount > 0 && !data->vertices) || (polygonCount > 0 && !data->polygons))
    {
        FreeVertexDataRecord(data);
        bzgLastError = BZ_ERROR_NO_MEMORY;
        return BZ_ERROR_NO_MEMORY;
    }
    data->vertexCount = vertexCount > 0 ? vertexCount : 0;
    data->polygonCount = polygonCount > 0 ? polygonCount : 0;
    data->userWord = 0;
    if (model->vertexData)
        bz_FreeModelVertexData(model);
    model->vertexData = data;
    return 0;
}

namespace
{
template <typename T> int32_t Grow(T *&array, int32_t &count, int32_t extra)
{
    if (extra <= 0)
        return count;
    T *grown = AllocZeroed<T>(static_cast<size_t>(count) + static_cast<size_t>(extra));
    if (!grown)
    {
        bzgLastError = BZ_ERROR_NO_MEMORY;
        return 0;
    }
    if (array && count > 0)
        std::memcpy(static_cast<void *>(grown), array, static_cast<size_t>(count) * sizeof(T));
    if (array)
        bz_MemFree(array);
    array = grown;
    const int32_t first = count;
    count += extra;
    return first;
}
} // namespace

int32_t bz_GrowModelPolygons(bzModel *model, int32_t extra)
{
    BZ_ASSERT(model && model->vertexData);
    if (!model || !model->vertexData)
        return 0;
    return Grow(model->vertexData->polygons, model->vertexData->polygonCount, extra);
}

int32_t bz_GrowModelVertices(bzModel *model, int32_t extra)
{
    BZ_ASSERT(model && model->vertexData);
    if (!model || !model->vertexData)
        return 0;
    return Grow(model->vertexData->vertices, model->vertexData->vertexCount, extra);
}

void bz_FreeModelVertexData(bzModel *model)
{
    if (!model || !model->vertexData)
        return;
    FreeVertexDataRecord(model->vertexData);
    model->vertexData = nullptr;
}

bzModelPart *bz_CreateModelPart(bzModel *model)
{
    BZ_ASSERT(model);
    if (!model)
        return nullptr;
    if (model->part)
        FreeModelPart(model);
    auto *part = AllocZeroed<bzModelPart>(1);
    if (!part)
    {
        bzgLastError = BZ_ERROR_NO_MEMORY;
        return nullptr;
    }
    part->memSize = sizeof(bzModelPart);
    part->model = model;
    model->part = part;
    return part;
}

int32_t CopyModelPart(bzModel *destination, const bzModel *source)
{
    BZ_ASSERT(destination && source);
    if (!destination || !source || !source->part)
        return BZ_ERROR_INVALID_PARAMETER;
    const bzModelPart *from = source->part;
    bzModelPart *to = bz_CreateModelPart(destination);
    if (!to)
        return BZ_ERROR_NO_MEMORY;
    to->flags = from->flags;
    to->vertexCount = from->vertexCount;
    to->faceCount = from->faceCount;
    const size_t v = static_cast<size_t>(from->vertexCount);
    bool failed = false;
    auto copy = [&](auto *&dst, const auto *src, size_t count)
    {
        if (!src || count == 0)
            return;
        dst = CopyArray(src, count);
        if (!dst)
            failed = true;
        else
            to->memSize += static_cast<uint32_t>(count * sizeof *src);
    };
    for (int32_t k = 0; k < 3; ++k)
    {
        copy(to->positions[k], from->positions[k], v);
        copy(to->normals[k], from->normals[k], v);
        copy(to->colours[k], from->colours[k], v);
        copy(to->uvs[k], from->uvs[k], 2 * v);
    }
    for (int32_t k = 0; k < 4; ++k)
    {
        copy(to->boneIndices[k], from->boneIndices[k], v);
        copy(to->boneWeights[k], from->boneWeights[k], v);
    }
    // The faces go with the part, so that a copy draws and is shot like its source.
    copy(to->faces, from->faces, static_cast<size_t>(from->faceCount));
    if (!failed && from->entryCount > 0 && from->entries)
    {
        if (!bz_AllocModelMaterialEntries(to, from->entryCount, from->entries))
            failed = true;
        else
            for (int32_t i = 0; i < to->entryCount; ++i)
            {
                bzMaterialEntry &entry = to->entries[i];
                const bzMaterialEntry &src = from->entries[i];
                // Each copied entry holds its own reference, released when this part is freed.
                if (entry.material)
                    bz_AddRefMaterial(entry.material);
                entry.stripIndices = nullptr;
                entry.listIndices = nullptr;
                entry.stripBuffer = nullptr;
                entry.listBuffer = nullptr;
                entry.nextEntry = nullptr;
                copy(entry.listIndices, src.listIndices, src.listIndexCount);
                copy(entry.stripIndices, src.stripIndices, src.stripIndexCount);
                entry.centre = src.centre;
            }
    }
    if (failed)
    {
        FreeModelPart(destination);
        bzgLastError = BZ_ERROR_NO_MEMORY;
        return BZ_ERROR_NO_MEMORY;
    }
    to->vertexFormat = ComputeModelVertexFormat(to);
    SetModelEntryVertexFormat(to);
    if (bzgRenderTable.PDRebuildModelIndices)
        bzgRenderTable.PDRebuildModelIndices(destination);
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Material entries

bzMaterialEntry *bz_AllocModelMaterialEntries(bzModelPart *part, int32_t count,
                                              const bzMaterialEntry *source)
{
    BZ_ASSERT(part && count >= 0);
    if (!part || count <= 0)
        return nullptr;
    bzMaterialEntry *entries = source ? CopyArray(source, static_cast<size_t>(count))
                                      : AllocZeroed<bzMaterialEntry>(static_cast<size_t>(count));
    if (!entries)
    {
        bzgLastError = BZ_ERROR_NO_MEMORY;
        return nullptr;
    }
    for (int32_t i = 0; i < count; ++i)
        entries[i].part = part;
    part->memSize += static_cast<uint32_t>(count * sizeof(bzMaterialEntry));
    part->entryCount = count;
    part->entries = entries;
    bzgMaterialEntryCount += count;
    return entries;
}

void InitGeometryBatch(bzMaterialEntry *entry, bzMaterial *material, uint32_t firstVertex,
                       uint32_t endVertex, uint32_t indexCount, const uint32_t *indices,
                       const bzVertexRecord *vertices)
{
    BZ_ASSERT(entry);
    if (!entry)
        return;
    // Setting an entry up again replaces what it held.
    if (material)
        bz_AddRefMaterial(material);
    if (entry->material)
        bz_ReleaseMaterial(entry->material);
    entry->material = material;
    if (entry->listIndices)
        bz_MemFree(entry->listIndices);
    entry->listBaseVertex = firstVertex;
    entry->listVertexSpan = endVertex - firstVertex;
    entry->listIndexCount = indexCount;
    entry->listIndices = nullptr;
    if (indexCount > 0)
    {
        entry->listIndices = static_cast<uint16_t *>(
            bz_MemAlloc(indexCount * static_cast<uint32_t>(sizeof(uint16_t)), 0));
        if (!entry->listIndices)
        {
            entry->listIndexCount = 0;
            bzgLastError = BZ_ERROR_NO_MEMORY;
        }
        else
        {
            for (uint32_t i = 0; i < indexCount; ++i)
                entry->listIndices[i] = static_cast<uint16_t>(indices[i]);
            bzgModelIndexBytes += 2 * indexCount;
        }
    }
    entry->centre = {(entry->boxMin.x + entry->boxMax.x) * 0.5f,
                     (entry->boxMin.y + entry->boxMax.y) * 0.5f,
                     (entry->boxMin.z + entry->boxMax.z) * 0.5f};
    entry->stripIndexCount = 0;
    entry->verticesUsed = 0;
    entry->baseVertex = 0;
    if (entry->stripIndices)
        bz_MemFree(entry->stripIndices);
    entry->stripIndices = nullptr;
    float largest = 0.0f;
    for (uint32_t i = 0; i < entry->listIndexCount; ++i)
    {
        // The stored, 16-bit index names the vertex.
        const bzV3 &p = vertices[firstVertex + entry->listIndices[i]].position;
        const float dx = p.x - entry->centre.x, dy = p.y - entry->centre.y,
                    dz = p.z - entry->centre.z;
        const float d2 = dx * dx + dy * dy + dz * dz;
        if (d2 > largest)
            largest = d2;
    }
    entry->radius = __builtin_sqrtf(largest);
}

bzMaterialEntry *bz_ChainModelMaterialEntries(bzModel *model, int32_t all, int32_t *counter)
{
    if (!model)
        return nullptr;
    if (counter)
        *counter = 0;
    bzMaterialEntry *chain = nullptr;
    for (bzModel *m = model; m; m = all ? m->next : nullptr)
    {
        bzModelPart *part = m->part;
        if (!part || !part->entries)
            continue;
        for (int32_t i = part->entryCount - 1; i >= 0; --i)
        {
            part->entries[i].nextEntry = chain;
            chain = &part->entries[i];
            if (counter)
                ++*counter;
        }
    }
    return chain;
}

int32_t bz_ModelUsesMaterial(const bzModel *model, const bzMaterial *material)
{
    if (!model)
        return 0;
    if (const bzModelPart *part = model->part)
        for (int32_t i = 0; part->entries && i < part->entryCount; ++i)
            if (part->entries[i].material == material)
                return 1;
    if (const bzModelVertexData *data = model->vertexData)
        for (int32_t i = 0; data->polygons && i < data->polygonCount; ++i)
            if (data->polygons[i].material == material)
                return 1;
    return 0;
}

int32_t bz_ReplaceModelMaterial(bzModel *model, bzMaterial *newMaterial, bzMaterial *oldMaterial)
{
    if (!model)
        return 0;
    int32_t result = 0;
    if (bzModelPart *part = model->part)
        for (int32_t i = 0; part->entries && i < part->entryCount; ++i)
        {
            bzMaterialEntry &entry = part->entries[i];
            if (entry.material != oldMaterial)
                continue;
            if (oldMaterial)
                bz_ReleaseMaterial(oldMaterial);
            if (newMaterial)
                bz_AddRefMaterial(newMaterial);
            entry.material = newMaterial;
            result = 1;
        }
    if (bzModelVertexData *data = model->vertexData)
        for (int32_t i = 0; data->polygons && i < data->polygonCount; ++i)
            if (data->polygons[i].material == oldMaterial)
            {
                data->polygons[i].material = newMaterial;
                result = 1;
            }
    return result;
}

void bz_ReleaseModelMaterials(bzModel *model)
{
    if (!model || !model->part || !model->part->entries)
        return;
    bzModelPart *part = model->part;
    for (int32_t i = part->entryCount - 1; i >= 0; --i)
    {
        if (part->entries[i].material)
            bz_ReleaseMaterial(part->entries[i].material);
        part->entries[i].material = nullptr;
    }
}

void bz_MoveModelMaterialsToListEnd(bzModel *model, bzMaterial **first)
{
    if (!model || !model->part || !model->part->entries || !first)
        return;
    for (int32_t i = 0; i < model->part->entryCount; ++i)
        MoveMaterial(model->part->entries[i].material, first);
}

bzMaterial *bz_MoveAllModelMaterialsToListEnd(bzModel *model, int32_t all, int32_t *counter)
{
    if (!model)
        return nullptr;
    bzMaterial *first = nullptr;
    for (bzModel *m = model; m; m = all ? m->next : nullptr)
        if (m->part)
            bz_MoveModelMaterialsToListEnd(m, &first);
    if (counter)
    {
        *counter = 0;
        for (bzMaterial *m = first; m; m = m->next)
            ++*counter;
    }
    return first;
}

bz_IMGMAP *bz_MoveModelImagesToListEnd(bzModel *model, int32_t all, int32_t *counter)
{
    bzMaterial *firstMaterial = bz_MoveAllModelMaterialsToListEnd(model, all, nullptr);
    if (!firstMaterial)
        return nullptr;
    bz_IMGMAP *first = nullptr;
    for (bzMaterial *material = firstMaterial; material; material = material->next)
        for (int32_t l = 0; l < material->layerCount; ++l)
        {
            bz_IMGMAP *image = material->layers[l].image;
            if (!image || image == first)
                continue;
            bz_UnlinkImgMap(image);
            bz_LinkImgMap(image);
            if (!first)
                first = image;
        }
    if (counter)
    {
        *counter = 0;
        for (bz_IMGMAP *image = first; image; image = image->next)
            ++*counter;
    }
    return first;
}

int32_t bz_ForEachModelMaterial(bzModel *model, int32_t (*callback)(bzMaterial *, void *),
                                void *user)
{
    bzMaterial *first = nullptr;
    bz_MoveModelMaterialsToListEnd(model, &first);
    for (bzMaterial *material = first; material && callback; material = material->next)
        if (const int32_t result = callback(material, user))
            return result;
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Geometry summaries

uint32_t bz_ModelChecksum(bzModel *model, int32_t withVertices, int32_t withFaces, int32_t rotate)
{
    if (!model)
        return 0;
    BeginRead(model);
    uint32_t h = 0;
    const bzModelPart *part = model->part;
    if (part && withVertices && part->positions[0])
        for (int32_t i = 0; i < part->vertexCount; ++i)
        {
            const bzV3 &p = part->positions[0][i];
            h ^= Bits(p.x) ^ Bits(p.y) ^ Bits(p.z);
            if (rotate)
                h = Rotl1(h);
        }
    if (part && withFaces)
    {
        h ^= static_cast<uint32_t>(part->faceCount);
        for (int32_t i = 0; part->faces && i < part->faceCount; ++i)
        {
            const bzModelFace &f = part->faces[i];
            h ^= (((f.v[2] << 8) ^ f.v[1]) << 8) ^ f.v[0];
            if (rotate)
                h = Rotl1(h);
        }
    }
    EndRead(model);
    return h;
}

int32_t bz_RecalcModelEntryCentres(bzModel *model)
{
    if (!model)
    {
        bzgLastError = BZ_ERROR_NO_MODEL;
        return BZ_ERROR_NO_MODEL;
    }
    bzModelPart *part = model->part;
    if (!part || !part->positions[0])
        return BZ_ERROR_NO_MODEL_PART;
    const bzV3 *positions = part->positions[0];
    for (int32_t i = 0; part->entries && i < part->entryCount; ++i)
    {
        bzMaterialEntry &entry = part->entries[i];
        entry.centre = {0.0f, 0.0f, 0.0f};
        bool any = false;
        bzV3 lo{}, hi{};
        auto take = [&](uint32_t vertex)
        {
            BZ_ASSERT(vertex < static_cast<uint32_t>(part->vertexCount));
            if (vertex >= static_cast<uint32_t>(part->vertexCount))
                return;
            const bzV3 &p = positions[vertex];
            if (!any)
            {
                lo = hi = p;
                any = true;
                return;
            }
            lo = {p.x < lo.x ? p.x : lo.x, p.y < lo.y ? p.y : lo.y, p.z < lo.z ? p.z : lo.z};
            hi = {p.x > hi.x ? p.x : hi.x, p.y > hi.y ? p.y : hi.y, p.z > hi.z ? p.z : hi.z};
        };
        for (uint32_t k = 0; entry.stripIndices && k < entry.stripIndexCount; ++k)
            take(entry.baseVertex + entry.stripIndices[k]);
        for (uint32_t k = 0; entry.listIndices && k < entry.listIndexCount; ++k)
            take(entry.listBaseVertex + entry.listIndices[k]);
        if (any)
            entry.centre = {(lo.x + hi.x) * 0.5f, (lo.y + hi.y) * 0.5f, (lo.z + hi.z) * 0.5f};
    }
    return 0;
}

int32_t bz_ModelCentroid(bzModel *model, bzV3 *out)
{
    if (!model)
        return bzgLastError;
    BZ_ASSERT(out);
    BeginRead(model);
    bzV3 sum{0.0f, 0.0f, 0.0f};
    const int32_t count = model->part ? model->part->vertexCount : 0;
    for (int32_t i = 0; i < count; ++i)
    {
        bzVertexRecord record{};
        bz_GetModelVertex(model, i, &record);
        sum.x += record.position.x;
        sum.y += record.position.y;
        sum.z += record.position.z;
    }
    // An empty part has no average; its centroid is the origin.
    const float scale = count > 0 ? 1.0f / static_cast<float>(count) : 0.0f;
    *out = {sum.x * scale, sum.y * scale, sum.z * scale};
    EndRead(model);
    return 0;
}
