#include "models/ModelFile.h"

#include "core/Debug.h"
#include "core/Error.h"
#include "core/Memory.h"
#include "core/Strings.h"
#include "device/RenderTable.h"
#include "files/File.h"
#include "models/DisplayModels.h"
#include "models/LoadOptions.h"
#include "models/Material.h"
#include "models/MaterialFile.h"
#include "models/ModelAccess.h"
#include "models/ModelFileCursor.h"
#include "models/ModelFileOld.h"
#include "models/ModelPrepare.h"
#include "models/Skeleton.h"

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>

void (*bzgModel_materialHook)(bzMaterial *material);

namespace
{
constexpr int32_t kTempStack = 1;
constexpr uint32_t kPrepareAll = 0xFFBF;
// Bytes of the records of the file.
constexpr uint32_t kVertexRecord = 44;
constexpr uint32_t kDataBoneRecord = 82;
constexpr uint32_t kSkinInfluence = 18;
constexpr uint32_t kBoneRecord = 39;
constexpr uint32_t kPoseRecord = 32;

// What one payload version holds, from the table of versions.
struct Layout
{
    uint16_t version;
    bool threeLeadWords;   // polygonCount, dataVertexCount, hasPrepData
    bool modelFlags;       // header flag bits 1-4 go to the model
    bool swapBounds;       // inverted axes swapped with a message
    bool materialList;     // 0x502 on
    bool defaultRule;      // "DEFAULT" is no material
    bool nameAfterFolder;  // only the stored name's part behind its last backslash
    bool mtlExtension;     // the path is made as "%s%s.MTL"
    bool materialHook;     // each loaded material goes to the hook
    uint32_t maxMaterials; // 0: no limit of its own
    uint32_t faceRecord;   // 16, 30 or 32 bytes; 0 without faces
    int32_t meshBlock;     // 0 none, 1 current, 2 centres only, 3 centres and halved colours
    bool skeleton;         // with header flag bit 5
    bool optionForAppData; // the app_data also needs option bit 0
    bool dataRecordCount;  // 5a carries the data-vertex record count
    uint32_t dataVertexRecord;
    uint32_t polygonRecord;
    bool polygonMaterials;  // false: every polygon's material is null
    bool materialIndex1023; // 0x502: an index above 1023 ends the read
    bool copyList;          // 5d carries hasCopyList and the copy list
    bool boneBlock;         // 5e with data flag bit 2
    bool prepareWithoutPrep;
    bool hasPart; // 0x500 and 0x501 make no part
};

Layout LayoutOf(uint16_t v)
{
    Layout l{};
    l.version = v;
    l.threeLeadWords = v >= 0x506;
    l.modelFlags = v == 0x509;
    l.swapBounds = v >= 0x503;
    l.materialList = v >= 0x502;
    l.defaultRule = v >= 0x503;
    l.nameAfterFolder = v >= 0x506;
    l.mtlExtension = v == 0x502;
    l.materialHook = v == 0x509;
    l.maxMaterials = v <= 0x503 ? 4096 : 0;
    l.faceRecord = v >= 0x507 ? 16 : v >= 0x504 ? 32 : v >= 0x502 ? 30 : 0;
    l.meshBlock = v == 0x509 ? 1 : v >= 0x507 ? 2 : v >= 0x503 ? 3 : 0;
    l.skeleton = v == 0x509;
    l.optionForAppData = v == 0x509 || v <= 0x502;
    l.dataRecordCount = v <= 0x508;
    l.dataVertexRecord = v >= 0x503 ? 16 : 12;
    l.polygonRecord = v >= 0x508 ? 137 : v >= 0x505 ? 133 : 132;
    l.polygonMaterials = v >= 0x502;
    l.materialIndex1023 = v == 0x502;
    l.copyList = v >= 0x503;
    l.boneBlock = v == 0x509;
    l.prepareWithoutPrep = v >= 0x506;
    l.hasPart = v >= 0x502;
    return l;
}

struct Reader
{
    bzModelCursor cur;
    const char *path;
    Layout layout;
    uint32_t flagWord;
    bool withAppData;
    bool keepFaces;
    bzMaterial **materials = nullptr; // one reference each
    uint32_t materialCount = 0;
    bzModel *model = nullptr;
    uint32_t faceCount = 0;
    int32_t error = 0; // why the read gave no model, when it says
};

// Ends a read that found the file lying or memory short: nothing of the model is kept.
bzModel *Fail(Reader &r, int32_t code)
{
    if (r.model)
        bz_ReleaseModel(r.model);
    r.model = nullptr;
    r.error = code;
    bzgLastError = code;
    return nullptr;
}

void ReleaseMaterials(Reader &r)
{
    for (uint32_t i = 0; i < r.materialCount; ++i)
        if (r.materials[i])
            bz_ReleaseMaterial(r.materials[i]);
    bz_MemFree(r.materials);
    r.materials = nullptr;
    r.materialCount = 0;
}

void SwapInvertedBounds(bzModel *model, const char *path)
{
    static const char kAxes[3] = {'X', 'Y', 'Z'};
    float *lo[3] = {&model->boxMin.x, &model->boxMin.y, &model->boxMin.z};
    float *hi[3] = {&model->boxMax.x, &model->boxMax.y, &model->boxMax.z};
    for (int32_t k = 0; k < 3; ++k)
        if (*lo[k] > *hi[k])
        {
            const float t = *lo[k];
            *lo[k] = *hi[k];
            *hi[k] = t;
            std::printf("model has invalid %c bounding box, auto fixing! %s\n", kAxes[k], path);
        }
}

// 0, 29 for a list the payload does not hold, 14 without memory.
int32_t ReadMaterialList(Reader &r)
{
    const uint32_t count = r.cur.U16();
    if (r.cur.bad || !r.cur.NeedRecords(count, 32) ||
        (r.layout.maxMaterials && count > r.layout.maxMaterials))
        return BZ_ERROR_INVALID_PARAMETER;
    if (count == 0)
        return 0;
    r.materials = static_cast<bzMaterial **>(
        bz_MemAlloc(count * static_cast<uint32_t>(sizeof(bzMaterial *)), BZ_MEM_CLEAR));
    if (!r.materials)
        return BZ_ERROR_NO_MEMORY;
    r.materialCount = count;
    char folder[BZ_FILE_PATH_SIZE];
    std::snprintf(folder, sizeof folder, "%s", bz_GetPathDirectory(r.path));
    for (uint32_t i = 0; i < count; ++i)
    {
        char name[33] = {};
        std::memcpy(name, r.cur.Take(32), 32);
        if (r.layout.defaultRule && bz_StrCompareNoCase(name, "DEFAULT") == 0)
            continue;
        const char *stored = name;
        if (r.layout.nameAfterFolder)
            if (const char *slash = std::strrchr(name, '\\'))
                stored = slash + 1;
        char materialPath[BZ_FILE_PATH_SIZE + 40];
        std::snprintf(materialPath, sizeof materialPath,
                      r.layout.mtlExtension ? "%s%s.MTL" : "%s%s", folder, stored);
        bzMaterial *material = bz_LoadMaterial(materialPath);
        r.materials[i] = material;
        if (material && r.layout.materialHook && bzgModel_materialHook)
            bzgModel_materialHook(material);
    }
    return 0;
}

bool ReadFaces(Reader &r)
{
    bzModelPart *part = r.model->part;
    r.faceCount = r.cur.U32();
    if (r.cur.bad || !r.cur.NeedRecords(r.faceCount, r.layout.faceRecord))
        return false;
    if (!r.keepFaces)
    {
        r.cur.Skip(static_cast<uint64_t>(r.faceCount) * r.layout.faceRecord);
        return true;
    }
    if (r.faceCount == 0)
        return true;
    part->faces = static_cast<bzModelFace *>(
        bz_MemAlloc(r.faceCount * static_cast<uint32_t>(sizeof(bzModelFace)), BZ_MEM_CLEAR));
    if (!part->faces)
        return false;
    part->faceCount = static_cast<int32_t>(r.faceCount);
    part->memSize += r.faceCount * static_cast<uint32_t>(sizeof(bzModelFace));
    for (uint32_t i = 0; i < r.faceCount; ++i)
    {
        bzModelFace &f = part->faces[i];
        f.entry = r.cur.U16();
        if (r.layout.faceRecord == 30)
        {
            if (f.entry >= 4096)
                f.entry = 0;
            f.flags = 0;
        }
        else
            f.flags = r.cur.U16();
        for (uint32_t &v : f.v)
            v = r.cur.U32();
        r.cur.Skip(r.layout.faceRecord == 16 ? 0 : 16);
    }
    return !r.cur.bad;
}

// Reads an index array of count u32 values, each below 65,536 and with base below limit.
bool ReadIndices(Reader &r, uint32_t count, uint32_t base, uint32_t limit, uint16_t **out)
{
    *out = nullptr;
    if (!r.cur.NeedRecords(count, 4))
        return false;
    if (count == 0)
        return true;
    *out = static_cast<uint16_t *>(bz_MemAlloc(count * 2u, 0));
    if (!*out)
        return false;
    bzgModelIndexBytes += 2 * count;
    for (uint32_t i = 0; i < count; ++i)
    {
        const uint32_t index = r.cur.U32();
        if (index > 0xFFFF || static_cast<uint64_t>(base) + index >= limit)
        {
            r.cur.bad = true;
            return false;
        }
        (*out)[i] = static_cast<uint16_t>(index);
    }
    return true;
}

bool ReadMeshBlock(Reader &r)
{
    bzModelPart *part = r.model->part;
    const uint32_t vertexCount = r.cur.U32();
    if (r.cur.bad || !r.cur.NeedRecords(vertexCount, kVertexRecord) || vertexCount > 0x7FFFFFF)
        return false;
    // Faces name part vertices: each index must lie inside the mesh.
    for (int32_t i = 0; i < part->faceCount; ++i)
        for (uint32_t v : part->faces[i].v)
            if (v >= vertexCount)
                return false;
    bzVertexRecord *vertices = nullptr;
    if (vertexCount > 0)
    {
        vertices = static_cast<bzVertexRecord *>(
            bz_MemAlloc(vertexCount * static_cast<uint32_t>(sizeof(bzVertexRecord)), 0));
        if (!vertices)
            return false;
    }
    for (uint32_t i = 0; i < vertexCount; ++i)
    {
        bzVertexRecord &v = vertices[i];
        v.position = r.cur.V3();
        v.normal = r.cur.V3();
        v.u0 = r.cur.F32();
        v.v0 = r.cur.F32();
        v.u1 = r.cur.F32();
        v.v1 = r.cur.F32();
        v.colour = r.cur.U32();
        if (r.layout.meshBlock == 3)
            v.colour = ((v.colour >> 1) & 0x7F7F7F) | 0xFF000000u;
    }
    const uint32_t entryCount = r.cur.U16();
    bool ok = !r.cur.bad && entryCount <= r.materialCount;
    if (ok && entryCount > 0)
        ok = bz_AllocModelMaterialEntries(part, static_cast<int32_t>(entryCount), nullptr) !=
             nullptr;
    for (uint32_t i = 0; ok && i < entryCount; ++i)
    {
        bzMaterialEntry &e = part->entries[i];
        e.material = r.materials[i];
        if (e.material)
            bz_AddRefMaterial(e.material);
        if (r.layout.meshBlock == 1)
        {
            e.centre = r.cur.V3();
            e.radius = r.cur.F32();
            e.boxMin = r.cur.V3();
            e.boxMax = r.cur.V3();
        }
        else
            e.centre = r.cur.V3();
        e.baseVertex = r.cur.U32();
        e.verticesUsed = r.cur.U32();
        e.stripIndexCount = r.cur.U32();
        ok = ReadIndices(r, e.stripIndexCount, e.baseVertex, vertexCount, &e.stripIndices);
        if (!ok)
        {
            e.stripIndexCount = 0;
            break;
        }
        e.listBaseVertex = r.cur.U32();
        e.listVertexSpan = r.cur.U32();
        e.listIndexCount = r.cur.U32();
        ok = ReadIndices(r, e.listIndexCount, e.listBaseVertex, vertexCount, &e.listIndices);
        if (!ok)
            e.listIndexCount = 0;
    }
    for (int32_t i = 0; ok && i < part->faceCount; ++i)
        if (part->faces[i].entry >= entryCount)
            ok = false;
    ok = ok && !r.cur.bad;
    if (ok)
        ok = FillModelPartVertices(part, static_cast<int32_t>(vertexCount), vertices) == 0;
    bz_MemFree(vertices);
    if (ok && bzgRenderTable.PDRebuildModelIndices)
        bzgRenderTable.PDRebuildModelIndices(r.model);
    return ok;
}

bool ReadSkeletonBlock(Reader &r)
{
    bzModelPart *part = r.model->part;
    const uint32_t boneCount = r.cur.U16();
    const uint32_t slots = r.cur.U16();
    const uint32_t root = r.cur.U16();
    // Bone links are signed bytes: at most 127 bones.
    if (r.cur.bad || boneCount == 0 || boneCount > 127 || root >= boneCount || slots > 4)
        return false;
    auto *skeleton =
        static_cast<bzSkeleton *>(bz_MemAlloc(sizeof(bzSkeleton), BZ_MEM_CLEAR | 0x80, part));
    if (!skeleton)
        return false;
    part->skeleton = skeleton;
    skeleton->boneCount = static_cast<int16_t>(boneCount);
    skeleton->influenceSlots = static_cast<int16_t>(slots);
    skeleton->rootBone = static_cast<int16_t>(root);
    skeleton->bones = static_cast<bzSkeletonBone *>(bz_MemAlloc(
        boneCount * static_cast<uint32_t>(sizeof(bzSkeletonBone)), BZ_MEM_CLEAR | 0x80, skeleton));
    skeleton->boneBoxes = static_cast<bzBox *>(
        bz_MemAlloc(boneCount * static_cast<uint32_t>(sizeof(bzBox)), 0x80, skeleton));
    skeleton->boneOffsets = static_cast<bzV3 *>(
        bz_MemAlloc(boneCount * static_cast<uint32_t>(sizeof(bzV3)), 0x80, skeleton));
    if (!skeleton->bones || !skeleton->boneBoxes || !skeleton->boneOffsets)
        return false;
    for (uint32_t b = 0; b < boneCount; ++b)
    {
        // A NUL-terminated name; characters beyond the 32nd are dropped.
        const uint8_t *start = r.cur.p;
        const void *nul = r.cur.bad ? nullptr : std::memchr(start, 0, r.cur.Left());
        if (!nul)
            return false;
        const size_t length = static_cast<size_t>(static_cast<const uint8_t *>(nul) - start);
        std::memcpy(skeleton->bones[b].name, start,
                    length < BZ_BONE_NAME_LENGTH ? length : BZ_BONE_NAME_LENGTH);
        r.cur.Skip(length + 1);
    }
    if (!r.cur.NeedRecords(boneCount, kBoneRecord))
        return false;
    for (uint32_t b = 0; b < boneCount; ++b)
    {
        skeleton->boneBoxes[b].min = r.cur.V3();
        skeleton->boneBoxes[b].max = r.cur.V3();
        skeleton->boneOffsets[b] = r.cur.V3();
        skeleton->bones[b].parent = static_cast<int8_t>(r.cur.U8());
        skeleton->bones[b].firstChild = static_cast<int8_t>(r.cur.U8());
        skeleton->bones[b].nextSibling = static_cast<int8_t>(r.cur.U8());
        skeleton->bones[b].lumpSlot = -1;
    }
    if (bz_CheckSkeletonTree(skeleton->bones, static_cast<int32_t>(boneCount),
                             static_cast<int32_t>(root)) != 0)
        return false;
    skeleton->nameTable = static_cast<int16_t>(
        bz_GetBoneNameTable(skeleton->bones[0].name, static_cast<int32_t>(boneCount), 36, nullptr));
    const uint32_t vertices = static_cast<uint32_t>(part->vertexCount);
    if (!r.cur.NeedRecords(boneCount, kPoseRecord) || !r.cur.NeedRecords(vertices, 8))
        return false;
    skeleton->bindPose =
        static_cast<bzBonePose *>(bz_MemAlloc(boneCount * kPoseRecord, 0x80, skeleton));
    if (vertices > 0)
        skeleton->vertexInfluences =
            static_cast<bzSkinInfluences *>(bz_MemAlloc(vertices * 8u, 0x80, part));
    if (!skeleton->bindPose || (vertices > 0 && !skeleton->vertexInfluences))
        return false;
    for (uint32_t b = 0; b < boneCount; ++b)
    {
        bzBonePose &pose = skeleton->bindPose[b];
        for (float &q : pose.rotation.v)
            q = r.cur.F32();
        pose.position = r.cur.V3();
        pose.word = r.cur.U32();
    }
    for (uint32_t v = 0; v < vertices; ++v)
    {
        bzSkinInfluences &in = skeleton->vertexInfluences[v];
        in.count = static_cast<int16_t>(r.cur.U16());
        in.spare[0] = r.cur.U8();
        in.spare[1] = r.cur.U8();
        in.first = static_cast<int32_t>(r.cur.U32());
    }
    const uint32_t influences = r.cur.U32();
    if (r.cur.bad || !r.cur.NeedRecords(influences, 6))
        return false;
    for (uint32_t v = 0; v < vertices; ++v)
    {
        const bzSkinInfluences &in = skeleton->vertexInfluences[v];
        if (in.count < 0 || in.first < 0 ||
            static_cast<uint64_t>(in.first) + static_cast<uint64_t>(in.count) > influences)
            return false;
    }
    skeleton->influenceCount = influences;
    if (influences > 0)
    {
        skeleton->influenceBones = static_cast<int16_t *>(bz_MemAlloc(influences * 2u, 0x80, part));
        skeleton->influenceWeights = static_cast<float *>(bz_MemAlloc(influences * 4u, 0x80, part));
        if (!skeleton->influenceBones || !skeleton->influenceWeights)
            return false;
        for (uint32_t i = 0; i < influences; ++i)
        {
            skeleton->influenceBones[i] = static_cast<int16_t>(r.cur.U16());
            if (skeleton->influenceBones[i] < 0 ||
                static_cast<uint32_t>(skeleton->influenceBones[i]) >= boneCount)
                return false;
        }
        for (uint32_t i = 0; i < influences; ++i)
            skeleton->influenceWeights[i] = r.cur.F32();
    }
    if (r.cur.bad)
        return false;
    if (bzgRenderTable.PDUpdateModelVertices)
        bzgRenderTable.PDUpdateModelVertices(r.model);
    return true;
}

bool ReadBoneBlock(Reader &r, bzModelVertexData *data)
{
    const uint32_t boneCount = r.cur.U16();
    if (r.cur.bad || boneCount > 0x7FFF || !r.cur.NeedRecords(boneCount, kDataBoneRecord))
        return false;
    auto *boneData =
        static_cast<bzModelBoneData *>(bz_MemAlloc(sizeof(bzModelBoneData), BZ_MEM_CLEAR));
    if (!boneData)
        return false;
    data->boneData = boneData;
    boneData->boneCount = static_cast<int16_t>(boneCount);
    if (boneCount > 0)
    {
        auto *bones = static_cast<bzModelDataBone *>(
            bz_MemAlloc(boneCount * static_cast<uint32_t>(sizeof(bzModelDataBone)), BZ_MEM_CLEAR));
        if (!bones)
            return false;
        boneData->bones = bones;
        for (uint32_t b = 0; b < boneCount; ++b)
        {
            std::memcpy(bones[b].name, r.cur.Take(32), 32);
            bones[b].parent = static_cast<int8_t>(r.cur.U16() & 0xFF);
            for (bzV3 &row : bones[b].rows)
                row = r.cur.V3();
            bones[b].position = r.cur.V3();
            if (bones[b].parent < -1 || bones[b].parent >= static_cast<int32_t>(boneCount))
                return false;
        }
    }
    const uint32_t skinCount = r.cur.U32();
    // Each record holds at least its count.
    if (r.cur.bad || !r.cur.NeedRecords(skinCount, 2) || skinCount > 0xFFFFF)
        return false;
    boneData->weightCount = skinCount;
    if (skinCount == 0)
        return true;
    auto *skins = static_cast<bzModelSkinVertex *>(
        bz_MemAlloc(skinCount * static_cast<uint32_t>(sizeof(bzModelSkinVertex)), BZ_MEM_CLEAR));
    if (!skins)
        return false;
    boneData->weights = skins;
    for (uint32_t s = 0; s < skinCount; ++s)
    {
        const uint32_t n = r.cur.U16();
        // More than the record holds would leave the rest of the file read from the wrong place.
        if (n > static_cast<uint32_t>(BZ_SKIN_MAX_INFLUENCES))
            return false;
        skins[s].count = static_cast<int16_t>(n);
        for (uint32_t k = 0; k < n; ++k)
        {
            skins[s].bones[k] = r.cur.U16();
            skins[s].weights[k] = r.cur.F32();
            skins[s].offsets[k] = r.cur.V3();
            if (skins[s].bones[k] >= boneCount)
                return false;
        }
    }
    return !r.cur.bad;
}

bool ReadAppData(Reader &r, uint32_t polygonCount, uint32_t dataVertexCount)
{
    const Layout &l = r.layout;
    if (!r.cur.NeedRecords(polygonCount, l.polygonRecord) ||
        !r.cur.NeedRecords(dataVertexCount, l.dataVertexRecord) || polygonCount > 0x7FFFFF ||
        dataVertexCount > 0x7FFFFF)
        return false;
    if (bz_CreateModelVertexData(r.model, static_cast<int32_t>(dataVertexCount),
                                 static_cast<int32_t>(polygonCount)) != 0)
        return false;
    bzModelVertexData *data = r.model->vertexData;
    data->userWord = r.cur.U32();
    uint32_t records = dataVertexCount;
    if (l.dataRecordCount)
    {
        records = r.cur.U32();
        if (records > dataVertexCount)
            return false;
    }
    for (uint32_t i = 0; i < records; ++i)
    {
        bzModelDataVertex &v = data->vertices[i];
        v.x = r.cur.F32();
        v.y = r.cur.F32();
        v.z = r.cur.F32();
        if (l.dataVertexRecord == 16)
            v.runCount = static_cast<int16_t>(r.cur.U32() & 0xFFFF);
    }
    for (uint32_t i = 0; i < polygonCount; ++i)
    {
        bzModelPolygon &p = data->polygons[i];
        p.d = r.cur.F32();
        p.faceNormal = r.cur.V3();
        for (bzV3 &n : p.normals)
            n = r.cur.V3();
        const uint32_t material = r.cur.U32();
        if (l.materialIndex1023 && material > 1023)
            return false;
        if (l.polygonMaterials)
        {
            // A polygon without a material in the list names the slot past it.
            if (material > r.materialCount)
                return false;
            p.material = material < r.materialCount ? r.materials[material] : nullptr;
        }
        p.smoothing = static_cast<uint16_t>(r.cur.U32() & 0xFFFF);
        for (uint32_t &v : p.v)
        {
            v = r.cur.U32();
            if (v >= dataVertexCount)
                return false;
        }
        for (uint32_t &c : p.colours)
            c = r.cur.U32();
        for (auto &corner : p.uv)
            for (float &f : corner)
                f = r.cur.F32();
        if (l.polygonRecord >= 133)
            p.flags = static_cast<uint16_t>((r.cur.U8() & 7u) << 5);
        if (l.polygonRecord == 137)
            p.word = r.cur.U32();
    }
    if (r.cur.bad)
        return false;
    bzModelPart *part = r.model->part;
    if (part)
    {
        if (!r.cur.NeedRecords(r.faceCount, 4))
            return false;
        if (!r.keepFaces)
            r.cur.Skip(4ull * r.faceCount);
        else if (r.faceCount > 0)
        {
            data->faceToPolygon = static_cast<uint32_t *>(bz_MemAlloc(r.faceCount * 4u, 0));
            if (!data->faceToPolygon)
                return false;
            for (uint32_t i = 0; i < r.faceCount; ++i)
                if ((data->faceToPolygon[i] = r.cur.U32()) >= polygonCount)
                    return false;
        }
        if (l.copyList && r.cur.U32() != 0)
        {
            const auto listLength = static_cast<uint32_t>(part->vertexCount);
            if (!r.cur.NeedRecords(listLength, 4))
                return false;
            if (listLength > 0)
            {
                data->table3 = static_cast<uint32_t *>(bz_MemAlloc(listLength * 4u, 0));
                if (!data->table3)
                    return false;
                for (uint32_t i = 0; i < listLength; ++i)
                    if ((data->table3[i] = r.cur.U32()) >= listLength)
                        return false;
            }
            // Each data vertex's copies are the next run of the list.
            uint64_t start = 0;
            for (uint32_t i = 0; i < dataVertexCount; ++i)
            {
                const auto count = static_cast<uint16_t>(data->vertices[i].runCount);
                if (start + count > listLength)
                    return false;
                data->vertices[i].run = data->table3 ? data->table3 + start : nullptr;
                start += count;
            }
        }
    }
    if (r.cur.bad)
        return false;
    if (l.boneBlock && (data->userWord & BZ_VDATA_BONES))
    {
        if (!ReadBoneBlock(r, data))
            return false;
        r.model->flags |= BZ_MODEL_SKINNED;
    }
    return true;
}

} // namespace

void DropUnheldPolygonMaterials(bzModel *model)
{
    bzModelVertexData *data = model->vertexData;
    if (!data)
        return;
    for (int32_t i = 0; i < data->polygonCount; ++i)
    {
        bzModelPolygon &p = data->polygons[i];
        if (!p.material)
            continue;
        bool held = false;
        for (int32_t e = 0; model->part && e < model->part->entryCount && !held; ++e)
            held = model->part->entries[e].material == p.material;
        if (!held)
            p.material = nullptr;
    }
}

namespace
{
bzModel *ReadPayload(Reader &r)
{
    const Layout &l = r.layout;
    const uint32_t polygonCount = r.cur.U32();
    const uint32_t dataVertexCount = r.cur.U32();
    const uint32_t hasPrep = l.threeLeadWords ? r.cur.U32() : (l.hasPart ? 1u : 0u);
    if (r.cur.bad)
        return Fail(r, BZ_ERROR_INVALID_PARAMETER);
    if (l.threeLeadWords && !r.withAppData && hasPrep == 0)
        return nullptr; // nothing this load can use
    r.model = bz_CreateModel(0, 0);
    if (!r.model)
        return Fail(r, BZ_ERROR_NO_MEMORY);
    if (l.modelFlags)
        r.model->flags |= static_cast<uint8_t>(r.flagWord & BZ_MDLFLAG_MODEL_FLAGS);
    std::memset(r.model->name, 0, sizeof r.model->name);
    std::strncat(r.model->name, bz_GetPathFileName(r.path), sizeof r.model->name - 1);
    if (!l.threeLeadWords || hasPrep)
    {
        r.model->radius = r.cur.F32();
        r.model->boxMin = r.cur.V3();
        r.model->boxMax = r.cur.V3();
        r.model->centre = r.cur.V3();
        if (r.cur.bad)
            return Fail(r, BZ_ERROR_INVALID_PARAMETER);
        if (l.swapBounds)
            SwapInvertedBounds(r.model, r.path);
        r.model->centre = {(r.model->boxMin.x + r.model->boxMax.x) * 0.5f,
                           (r.model->boxMin.y + r.model->boxMax.y) * 0.5f,
                           (r.model->boxMin.z + r.model->boxMax.z) * 0.5f};
    }
    if (l.materialList)
        if (const int32_t result = ReadMaterialList(r))
            return Fail(r, result);
    if (l.hasPart && hasPrep)
    {
        if (!bz_CreateModelPart(r.model))
            return Fail(r, BZ_ERROR_NO_MEMORY);
        if (!ReadFaces(r))
            return Fail(r, BZ_ERROR_INVALID_PARAMETER);
        if (l.meshBlock && !ReadMeshBlock(r))
            return Fail(r, BZ_ERROR_INVALID_PARAMETER);
        if (l.skeleton && (r.flagWord & BZ_MDLFLAG_SKELETON) && !ReadSkeletonBlock(r))
            return Fail(r, BZ_ERROR_INVALID_PARAMETER);
    }
    if (!r.withAppData)
        bz_FreeModelVertexData(r.model);
    else if (!ReadAppData(r, polygonCount, dataVertexCount))
        return Fail(r, BZ_ERROR_INVALID_PARAMETER);
    if (l.prepareWithoutPrep && !hasPrep)
        if (const int32_t result = bz_PrepareModelGeometry(r.model, kPrepareAll))
            return Fail(r, result);
    DropUnheldPolygonMaterials(r.model);
    bzModel *model = r.model;
    r.model = nullptr;
    return model;
}

void HalvePolygonColours(bzModel *model)
{
    bzModelVertexData *data = model->vertexData;
    if (!data)
        return;
    for (int32_t i = 0; i < data->polygonCount; ++i)
        for (uint32_t &c : data->polygons[i].colours)
            c = ((c >> 1) & 0x7F7F7F) | 0xFF000000u;
}

bool KnownVersion(uint16_t v)
{
    return v == 0x402 || v == 0x403 || (v >= 0x500 && v <= 0x509);
}

// Reads a payload of a known version; null when it gave no model.
bzModel *DispatchPayload(const uint8_t *payload, uint32_t size, const char *path, uint16_t version,
                         uint32_t flagWord, int32_t before)
{
    if (version == 0x402 || version == 0x403)
    {
        // These readers are given the payload less its first 4 bytes.
        if (size < 4)
        {
            bzgLastError = BZ_ERROR_INVALID_PARAMETER;
            return nullptr;
        }
        return ReadModelV402(payload + 4, size - 4, path, version == 0x403);
    }
    Reader r{{payload, payload + size}, path, LayoutOf(version), flagWord, false, true};
    r.withAppData = (flagWord & BZ_MDLFLAG_APP_DATA) != 0;
    if (r.layout.optionForAppData && !(bzgModelLoadOptions & BZ_MODELOPT_READ_APP_DATA))
        r.withAppData = false;
    if (version == 0x509 && (bzgModelLoadOptions & BZ_MODELOPT_SKIP_FACES))
        r.keepFaces = false;
    bzModel *model = ReadPayload(r);
    ReleaseMaterials(r);
    // What the building steps leave in the last error is no failure of the read.
    bzgLastError = r.error ? r.error : before;
    return model;
}

// The stand-in cube; the error that led to it stays the last error.
bzModel *Box()
{
    const int32_t error = bzgLastError;
    bzModel *box = bz_CreateCubeModel("Box", nullptr, 1.0f);
    if (box)
        bzgLastError = error;
    return box;
}

// The header fields; false (error set) when the header is refused.
struct Header
{
    uint16_t magic = 0;
    uint16_t version = 0;
    uint32_t checksum = 0;
    uint32_t flagWord = 0;
    uint32_t payloadSize = 0;
    uint32_t length = 0; // bytes of the header
    bool toEnd = false;  // the payload runs to the end of the file
};

bool ParseHeader(const uint8_t *bytes, uint32_t available, Header &h)
{
    bzModelCursor cur{bytes, bytes + available};
    h.magic = cur.U16();
    h.version = cur.U16();
    if (h.version > 0x506)
        h.checksum = cur.U32();
    if (h.magic == BZ_MODEL_FILE_MAGIC)
    {
        h.flagWord = cur.U32();
        if (h.version <= 0x508 && h.flagWord != 0)
            h.flagWord = BZ_MDLFLAG_APP_DATA;
        h.payloadSize = cur.U32();
        h.toEnd = (h.flagWord & BZ_MDLFLAG_APP_DATA) != 0;
    }
    else if (h.magic == BZ_MODEL_FILE_SHORT_MAGIC)
    {
        const uint16_t models = cur.U16();
        cur.U16();
        if (!cur.bad && models != 1)
        {
            bzgLastError = BZ_ERROR_TOO_MANY_MODELS;
            return false;
        }
        h.toEnd = true;
    }
    if (cur.bad || (h.magic != BZ_MODEL_FILE_MAGIC && h.magic != BZ_MODEL_FILE_SHORT_MAGIC))
    {
        bzgLastError = BZ_ERROR_INVALID_PARAMETER;
        return false;
    }
    h.length = static_cast<uint32_t>(cur.p - bytes);
    return true;
}

// Header, payload bounds, dispatch and the work after the payload reader.
bzModel *ReadImage(const Header &h, const uint8_t *payload, uint32_t size, const char *path,
                   uint32_t nameHash, int32_t before)
{
    if (!KnownVersion(h.version))
    {
        bzgLastError = BZ_ERROR_OUTDATED_VERSION;
        return Box();
    }
    bzModel *model = DispatchPayload(payload, size, path, h.version, h.flagWord, before);
    if (!model)
        return Box();
    if (h.version < 0x509)
        CalcMaterialEntryBounds(model);
    model->nameHash = nameHash;
    model->fileWord2 = h.checksum;
    if (h.version < 0x507)
        HalvePolygonColours(model);
    return model;
}
} // namespace

// ---------------------------------------------------------------------------------------------

bzModel *bz_ReadModelImage(const uint8_t *bytes, uint32_t length, const char *path,
                           uint32_t nameHash)
{
    const int32_t before = bzgLastError;
    Header h;
    if (!bytes || !ParseHeader(bytes, length, h))
        return nullptr;
    uint32_t size = length - h.length;
    if (!h.toEnd)
    {
        if (h.payloadSize > size)
        {
            // A payload longer than the file: the file opened, but nothing of it is usable.
            bzgLastError = BZ_ERROR_INVALID_PARAMETER;
            return KnownVersion(h.version) ? Box()
                                           : (bzgLastError = BZ_ERROR_OUTDATED_VERSION, Box());
        }
        size = h.payloadSize;
    }
    if (size == 0)
    {
        bzgLastError = BZ_ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    return ReadImage(h, bytes + h.length, size, path, nameHash, before);
}

bzModel *bz_ReadModelFile(const char *path, uint32_t nameHash)
{
    BZ_ASSERT(path);
    const int32_t before = bzgLastError;
    char name[BZ_FILE_PATH_SIZE];
    if (!path || std::strlen(path) > 251)
    {
        bzgLastError = BZ_ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    std::snprintf(name, sizeof name, "%s.MDL", path);
    bzFileHandle *file = bz_FileOpen(name, "rb");
    if (!file)
        return nullptr;
    const int32_t fileLength = bz_FileLength(file);
    const uint32_t length = fileLength > 0 ? static_cast<uint32_t>(fileLength) : 0;
    uint8_t head[16] = {};
    const uint32_t headBytes = length < sizeof head ? length : static_cast<uint32_t>(sizeof head);
    Header h;
    if (headBytes == 0 || bz_FileRead(file, head, headBytes) != headBytes ||
        !ParseHeader(head, headBytes, h))
    {
        if (headBytes == 0)
            bzgLastError = BZ_ERROR_INVALID_PARAMETER;
        bz_FileClose(file);
        return nullptr;
    }
    uint32_t size = length - h.length;
    bool tooLong = false;
    if (!h.toEnd)
    {
        tooLong = h.payloadSize > size;
        size = tooLong ? 0 : h.payloadSize;
    }
    if (tooLong)
    {
        bz_FileClose(file);
        bzgLastError = BZ_ERROR_INVALID_PARAMETER;
        if (!KnownVersion(h.version))
            bzgLastError = BZ_ERROR_OUTDATED_VERSION;
        return Box();
    }
    if (size == 0)
    {
        bz_FileClose(file);
        bzgLastError = BZ_ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    auto *payload = static_cast<uint8_t *>(bz_TempStack_Alloc(kTempStack, size, 0));
    if (!payload)
    {
        bz_FileClose(file);
        bzgLastError = BZ_ERROR_NO_MEMORY;
        return nullptr;
    }
    // The header bytes read ahead of the payload belong to it.
    const uint32_t ahead = headBytes - h.length < size ? headBytes - h.length : size;
    std::memcpy(payload, head + h.length, ahead);
    const bool readOk =
        ahead == size || bz_FileRead(file, payload + ahead, size - ahead) == size - ahead;
    bz_FileClose(file);
    bzModel *model;
    if (!readOk)
    {
        bzgLastError = BZ_ERROR_INVALID_PARAMETER;
        model = Box();
    }
    else
        model = ReadImage(h, payload, size, path, nameHash, before);
    const int32_t error = bzgLastError;
    bz_TempStack_Free(kTempStack, payload);
    bzgLastError = error;
    return model;
}

void CalcMaterialEntryBounds(bzModel *model)
{
    if (!model || !model->part)
        return;
    bzModelPart *part = model->part;
    const bzV3 *positions = part->positions[0];
    const auto vertexCount = static_cast<uint32_t>(part->vertexCount);
    for (int32_t i = 0; i < part->entryCount; ++i)
    {
        bzMaterialEntry &e = part->entries[i];
        bzV3 lo = {FLT_MAX, FLT_MAX, FLT_MAX}, hi = {-FLT_MAX, -FLT_MAX, -FLT_MAX};
        auto visit = [&](auto &&f)
        {
            for (uint32_t k = 0; k < e.listIndexCount; ++k)
                f(e.listBaseVertex + e.listIndices[k]);
            for (uint32_t k = 0; k < e.stripIndexCount; ++k)
                f(e.baseVertex + e.stripIndices[k]);
        };
        bool any = false;
        visit(
            [&](uint32_t v)
            {
                if (!positions || v >= vertexCount)
                    return;
                any = true;
                const bzV3 &p = positions[v];
                lo = {std::fmin(lo.x, p.x), std::fmin(lo.y, p.y), std::fmin(lo.z, p.z)};
                hi = {std::fmax(hi.x, p.x), std::fmax(hi.y, p.y), std::fmax(hi.z, p.z)};
            });
        e.boxMin = lo;
        e.boxMax = hi;
        if (!any)
        {
            e.centre = {0, 0, 0};
            e.radius = 0;
            continue;
        }
        e.centre = {(lo.x + hi.x) * 0.5f, (lo.y + hi.y) * 0.5f, (lo.z + hi.z) * 0.5f};
        float largest = 0;
        visit(
            [&](uint32_t v)
            {
                if (!positions || v >= vertexCount)
                    return;
                const bzV3 &p = positions[v];
                const float dx = p.x - e.centre.x, dy = p.y - e.centre.y, dz = p.z - e.centre.z;
                largest = std::fmax(largest, dx * dx + dy * dy + dz * dz);
            });
        e.radius = std::sqrt(largest);
    }
}
