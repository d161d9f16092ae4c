#include "scene/ModelGeometry.h"

#include "core/Memory.h"

#include <cstring>

namespace
{
bzSceneGeometryServices gGeometry;
bzSceneFormServices gForms;
} // namespace

void bz_Scene_SetGeometryServices(const bzSceneGeometryServices *services)
{
    gGeometry = services ? *services : bzSceneGeometryServices{};
}

void bz_Scene_SetFormServices(const bzSceneFormServices *services)
{
    gForms = services ? *services : bzSceneFormServices{};
}

int32_t bz_Scene_GetModelMesh(const bzModel *model, bzModelMesh *out)
{
    *out = bzModelMesh{};
    if (!model || !gGeometry.getMesh || !gGeometry.getMesh(model, out))
    {
        *out = bzModelMesh{};
        return 0;
    }
    return 1;
}

int32_t bz_Scene_GetModelBounds(const bzModel *model, bzBox *box, bzV3 *centre, float *radius)
{
    bzBox b{};
    bzV3 c{};
    float r = 0;
    const int32_t ok =
        model && gGeometry.getBounds ? (gGeometry.getBounds(model, &b, &c, &r) ? 1 : 0) : 0;
    if (box)
        *box = b;
    if (centre)
        *centre = c;
    if (radius)
        *radius = r;
    return ok;
}

bzMaterial *bz_Scene_GetFaceMaterial(const bzModelMesh *mesh, uint32_t face)
{
    if (face >= mesh->faceCount || !mesh->materialEntries ||
        mesh->materialEntrySize < sizeof(void *))
        return nullptr;
    const uint32_t entry = mesh->faces[face].entry;
    if (entry >= mesh->materialEntryCount)
        return nullptr;
    bzMaterial *material;
    std::memcpy(&material,
                mesh->materialEntries + static_cast<size_t>(entry) * mesh->materialEntrySize,
                sizeof material);
    return material;
}

void bz_Scene_GetMaterialRayInfo(const bzMaterial *material, bzMaterialRayInfo *out)
{
    *out = bzMaterialRayInfo{};
    if (material && gGeometry.getMaterialRayInfo)
        gGeometry.getMaterialRayInfo(material, out);
}

int32_t bz_Scene_GetFaceTexCoords(const bzModel *model, uint32_t face, bzV2 *out3)
{
    for (int i = 0; i < 3; i++)
        out3[i] = bzV2{};
    return model && gGeometry.getFaceTexCoords ? gGeometry.getFaceTexCoords(model, face, out3) : 0;
}

uint32_t bz_Scene_GetChecksumWord(const bzModel *model)
{
    return model && gGeometry.getChecksumWord ? gGeometry.getChecksumWord(model) : 0;
}

uint32_t bz_Scene_GetModelFlags(const bzModel *model)
{
    return model && gGeometry.getModelFlags ? gGeometry.getModelFlags(model) : 0;
}

uint32_t bz_Scene_ComputeModelChecksum(const bzModel *model, int32_t switch1, int32_t switch2,
                                       int32_t switch3)
{
    return model && gGeometry.computeChecksum
               ? gGeometry.computeChecksum(model, switch1, switch2, switch3)
               : 0;
}

void bz_Scene_SetMaterialFlags(bzMaterial *material, uint32_t bits)
{
    if (material && gGeometry.setMaterialFlags)
        gGeometry.setMaterialFlags(material, bits);
}

bzOctree *bz_Scene_GetModelOctree(const bzModel *model)
{
    return model && gGeometry.getModelOctree ? gGeometry.getModelOctree(model) : nullptr;
}

bzModel *bz_Scene_CreateModel(const char *name, const bzV3 *positions, uint32_t vertexCount,
                              const bzModelFace *faces, uint32_t faceCount, bzMaterial *material)
{
    return gGeometry.createModel
               ? gGeometry.createModel(name, positions, vertexCount, faces, faceCount, material)
               : nullptr;
}

int32_t bz_Scene_IsPosed(const bzLump *lump)
{
    return lump && gGeometry.isPosed ? gGeometry.isPosed(lump) : 0;
}

int32_t bz_Scene_CalcSkinnedBounds(bzLump *lump, bzBox *out)
{
    return lump && out && gGeometry.calcSkinnedBounds ? gGeometry.calcSkinnedBounds(lump, out) : -1;
}

bzV3 *bz_Scene_ComputeSkinnedPositions(bzLump *lump)
{
    return lump && gGeometry.computeSkinnedPositions ? gGeometry.computeSkinnedPositions(lump)
                                                     : nullptr;
}

void bz_Scene_ReleaseSkinnedPositions(bzLump *lump, bzV3 *positions)
{
    if (!positions)
        return;
    if (gGeometry.releaseSkinnedPositions)
        gGeometry.releaseSkinnedPositions(lump, positions);
    else
        bz_TempStack_Free(1, positions);
}

int32_t bz_Scene_GatherFormFaces(bzForm *form, bzLump *tree, void *header, void *buffer,
                                 int32_t capacity)
{
    return form && tree && gForms.gatherFaces
               ? gForms.gatherFaces(form, tree, header, buffer, capacity)
               : 0;
}

int32_t bz_Scene_TestFormFaces(void *header, bzForm *form)
{
    return form && gForms.testForm ? gForms.testForm(header, form) : 0;
}
