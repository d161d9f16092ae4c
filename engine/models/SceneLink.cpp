#include "models/SceneLink.h"

#include "core/Error.h"
#include "core/Memory.h"
#include "maths/Geometry.h"
#include "maths/Vector.h"
#include "models/ImgFill.h"
#include "models/ImgMap.h"
#include "models/LumpResourceFiles.h"
#include "models/Material.h"
#include "models/Model.h"
#include "models/ModelAccess.h"
#include "models/ModelLoad.h"
#include "models/ModelPrepare.h"
#include "models/ModelProcessing.h"
#include "models/PosedPositions.h"
#include "models/SkinInstance.h"
#include "scene/EffectServices.h"
#include "scene/Lump.h"
#include "scene/ModelGeometry.h"
#include "scene/SceneServices.h"

#include <cfloat>
#include <cstring>

static_assert(BZ_MODEL_FLAG_SKINNED == BZ_MODEL_SKINNED, "the scene reads the models' flag");

namespace
{
// Geometry prepared for a model made from bare positions and faces: everything but the
// skeleton's re-read.
constexpr uint32_t kPrepareAll = 0xFFBF;

int32_t GetMesh(const bzModel *model, bzModelMesh *out)
{
    const bzModelPart *part = model->part;
    if (!part)
        return 0;
    out->positions = part->positions[0];
    out->vertexCount = part->positions[0] ? static_cast<uint32_t>(part->vertexCount) : 0;
    out->faces = part->faces;
    out->faceCount = part->faces ? static_cast<uint32_t>(part->faceCount) : 0;
    out->materialEntries = reinterpret_cast<const uint8_t *>(part->entries);
    out->materialEntryCount = part->entries ? static_cast<uint32_t>(part->entryCount) : 0;
    out->materialEntrySize = sizeof(bzMaterialEntry);
    return 1;
}

int32_t GetBounds(const bzModel *model, bzBox *box, bzV3 *centre, float *radius)
{
    if (!model->part)
        return 0;
    box->min = model->boxMin;
    box->max = model->boxMax;
    *centre = model->centre;
    *radius = model->radius;
    return 1;
}

void GetMaterialRayInfo(const bzMaterial *material, bzMaterialRayInfo *out)
{
    out->flags = material->flags;
    out->sideFlags = static_cast<uint8_t>(material->flags & 0xFF);
    out->rayClass = material->materialWord;
}

int32_t GetFaceTexCoords(const bzModel *model, uint32_t face, bzV2 *out3)
{
    const bzModelPart *part = model->part;
    if (!part || !part->faces || !part->uvs[0] || face >= static_cast<uint32_t>(part->faceCount))
        return 0;
    const bzModelFace &f = part->faces[face];
    for (int32_t i = 0; i < 3; ++i)
    {
        if (f.v[i] >= static_cast<uint32_t>(part->vertexCount))
            return 0;
        out3[i] = {part->uvs[0][2 * f.v[i]], part->uvs[0][2 * f.v[i] + 1]};
    }
    return 1;
}

uint32_t GetChecksumWord(const bzModel *model)
{
    return model->fileWord2;
}

uint32_t GetModelFlags(const bzModel *model)
{
    return model->flags;
}

uint32_t ComputeChecksum(const bzModel *model, int32_t withVertices, int32_t withFaces,
                         int32_t rotate)
{
    // The checksum only reads the part; its access bits are restored before it returns.
    return bz_ModelChecksum(const_cast<bzModel *>(model), withVertices, withFaces, rotate);
}

void SetMaterialFlags(bzMaterial *material, uint32_t bits)
{
    material->flags |= bits;
}

bzOctree *GetModelOctree(const bzModel *model)
{
    return static_cast<bzOctree *>(model->octree);
}

bzModel *CreateModel(const char *name, const bzV3 *positions, uint32_t vertexCount,
                     const bzModelFace *faces, uint32_t faceCount, bzMaterial *material)
{
    if (vertexCount > 0x7FFFFFFF || faceCount > 0x7FFFFFFF)
        return nullptr;
    bzModel *model =
        bz_CreateModel(static_cast<int32_t>(faceCount), static_cast<int32_t>(vertexCount));
    if (!model)
        return nullptr;
    if (name)
    {
        const size_t length = strnlen(name, BZ_MODEL_NAME_SIZE - 1);
        std::memcpy(model->name, name, length);
        model->name[length] = '\0';
    }
    bzModelVertexData *data = model->vertexData;
    for (uint32_t i = 0; data && i < vertexCount; ++i)
    {
        data->vertices[i].x = positions[i].x;
        data->vertices[i].y = positions[i].y;
        data->vertices[i].z = positions[i].z;
    }
    for (uint32_t f = 0; data && f < faceCount; ++f)
    {
        bzModelPolygon &p = data->polygons[f];
        for (int32_t k = 0; k < 3; ++k)
        {
            if (faces[f].v[k] >= vertexCount)
            {
                bz_ReleaseModel(model);
                return nullptr;
            }
            p.v[k] = faces[f].v[k];
            p.colours[k] = 0xFFFFFFFF;
        }
        p.material = material;
        p.flags = faces[f].flags;
        p.smoothing = 1;
    }
    if (bz_PrepareModelGeometry(model, kPrepareAll) != 0)
    {
        bz_ReleaseModel(model);
        return nullptr;
    }
    return model;
}

void AddModelRef(bzModel *model)
{
    bz_AddModelReference(model);
}

void ReleaseModel(bzModel *model)
{
    bz_ReleaseModel(model);
}

const char *GetModelName(const bzModel *model)
{
    return model->name;
}

bzMaterial *CreateMaterialWithColour(const char *name, bzColour colour)
{
    return bz_CreateMaterialWithColour(name, colour);
}

void ClearMaterialFlags(bzMaterial *material, uint32_t bits)
{
    material->flags &= ~bits;
}

void UpdateMaterial(bzMaterial *material, uint32_t value)
{
    bz_UpdateMaterial(material, static_cast<int32_t>(value));
}

void AddMaterialRef(bzMaterial *material)
{
    bz_AddRefMaterial(material);
}

void ReleaseMaterial(bzMaterial *material)
{
    bz_ReleaseMaterial(material);
}

// A ramp of at most this many stops is handed to the fill.
constexpr int32_t kMaxRampStops = 32;

int32_t FillImgMapRamp(bz_IMGMAP *image, const bzColour *stops, int32_t count)
{
    if (!image || !stops || count <= 0 || count > kMaxRampStops)
        return BZ_ERROR_INVALID_PARAMETER;
    // The fill reads a ramp record: its count, then the stops.
    struct
    {
        int32_t count;
        bzColour entries[kMaxRampStops];
    } ramp{};
    ramp.count = count;
    for (int32_t i = 0; i < count; ++i)
        ramp.entries[i] = stops[i];
    return bz_FillImgMapRamp(image, reinterpret_cast<const bzColourRamp *>(&ramp));
}

void SetMaterialAlpha(bzMaterial *material, float alpha)
{
    if (bzMaterialLayer *layer = bz_GetMaterialLayer(material, 0))
    {
        // Called every frame for a flare light: the value only, nothing rebuilt. Not a number
        // counts as no light.
        layer->alpha = alpha > 0.0f ? (alpha < 1.0f ? alpha : 1.0f) : 0.0f;
    }
}

void PrepareShadow(bzModel *model)
{
    if (model->part && !(model->part->flags & BZ_PART_SHADOW_WELDED))
        bz_BuildModelShadowEdges(model);
}
// Posed skinned lumps: the box of the bone boxes in their current pose, in the lump's model
// space; -1 when the lump cannot be posed.
int32_t CalcSkinnedBounds(bzLump *lump, bzBox *out)
{
    bzModel *model = bz_Lump_GetModel(lump);
    if (!bz_Skeleton_IsPosable(lump) || !model->part->skeleton->boneBoxes)
        return -1;
    bz_Skeleton_Update(lump, model);
    const bzSkeleton *skeleton = model->part->skeleton;
    out->min = {FLT_MAX, FLT_MAX, FLT_MAX};
    out->max = {-FLT_MAX, -FLT_MAX, -FLT_MAX};
    for (int32_t b = 0; b < skeleton->boneCount; ++b)
    {
        bzM34 pose;
        bz_Skeleton_GetBoneMatrix(lump, model, b, &pose);
        for (int32_t c = 0; c < 8; ++c)
        {
            bzV3 corner;
            bz_Box_Corner(&skeleton->boneBoxes[b], c, &corner);
            bz_M34_TransformPoint(&pose, &corner);
            bz_Box_AddPoint(out, &corner);
        }
    }
    return 0;
}

// The deformed positions of the lump's model, kept with its instance for the frame: several
// queries in one frame pose the lump once.
bzV3 *ComputeSkinnedPositions(bzLump *lump)
{
    return const_cast<bzV3 *>(bz_Skeleton_GetPosedPositions(lump));
}

// The kept positions stay with the instance.
void ReleaseSkinnedPositions(bzLump *, bzV3 *) {}

void SkinFaceCorner(const void *lump, const bzModel *model, uint32_t vertex, bzV3 *out)
{
    bzLump *skinned = static_cast<bzLump *>(const_cast<void *>(lump));
    if (bz_Skeleton_SkinVertex(skinned, model, static_cast<int32_t>(vertex), out) != 0)
        *out = model->part->positions[0] ? model->part->positions[0][vertex] : bzV3{};
}

void FreeSkinInstance(bzSkinInstance *instance)
{
    bz_FreeSkinInstance(instance);
}
} // namespace

void bz_Models_InstallSceneServices()
{
    bzSceneGeometryServices geometry{};
    geometry.getMesh = GetMesh;
    geometry.getBounds = GetBounds;
    geometry.getMaterialRayInfo = GetMaterialRayInfo;
    geometry.getFaceTexCoords = GetFaceTexCoords;
    geometry.getChecksumWord = GetChecksumWord;
    geometry.getModelFlags = GetModelFlags;
    geometry.computeChecksum = ComputeChecksum;
    geometry.setMaterialFlags = SetMaterialFlags;
    geometry.getModelOctree = GetModelOctree;
    geometry.createModel = CreateModel;
    geometry.isPosed = bz_Skeleton_IsPosable;
    geometry.calcSkinnedBounds = CalcSkinnedBounds;
    geometry.computeSkinnedPositions = ComputeSkinnedPositions;
    geometry.releaseSkinnedPositions = ReleaseSkinnedPositions;
    bz_Scene_SetGeometryServices(&geometry);
    bz_SetModelSkinVertex(SkinFaceCorner);

    bzSceneModelServices models{};
    models.addModelRef = AddModelRef;
    models.releaseModel = ReleaseModel;
    models.getModelName = GetModelName;
    models.createMaterialWithColour = CreateMaterialWithColour;
    models.clearMaterialFlags = ClearMaterialFlags;
    models.updateMaterial = UpdateMaterial;
    models.addMaterialRef = AddMaterialRef;
    models.releaseMaterial = ReleaseMaterial;
    models.loadModel = bz_LoadModel;
    models.prepareShadow = PrepareShadow;
    models.createSkinInstance = bz_CreateLumpSkinInstance;
    models.freeSkinInstance = FreeSkinInstance;
    models.saveTreeResources = bz_Lump_SaveResources;
    bz_Scene_SetModelServices(&models);

    bzSceneImageServices images{};
    images.getImgMap = bz_GetImgMap;
    images.addImgMapRef = [](bz_IMGMAP *image) { bz_AddRefImgMap(image); };
    images.releaseImgMap = bz_ReleaseImgMap;
    images.allocImgMap = [] { return bz_AllocImgMap(nullptr); };
    images.fillImgMapRamp = FillImgMapRamp;
    images.setMaterialAlpha = SetMaterialAlpha;
    bz_Scene_SetImageServices(&images);
}

void bz_Models_RemoveSceneServices()
{
    bz_Scene_SetGeometryServices(nullptr);
    bz_SetModelSkinVertex(nullptr);
    bz_Scene_SetModelServices(nullptr);
    bz_Scene_SetImageServices(nullptr);
}
