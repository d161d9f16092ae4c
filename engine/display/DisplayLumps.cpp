#include "display/DisplayLumps.h"

#include "core/Error.h"
#include "maths/Matrix.h"
#include "models/ImgFill.h"
#include "models/ImgMap.h"
#include "models/Material.h"
#include "models/DisplayModels.h"
#include "models/Model.h"
#include "scene/SceneServices.h"

#include <cstring>

namespace
{
// Hangs the model in a new MODEL lump, which takes over the builder's reference.
bzLump *Hang(const char *name, bzModel *model, bzMaterial *material, bool withOverride)
{
    if (!model)
        return nullptr;
    bzLump *lump = bz_Lump_Create(BZ_LUMP_TYPE_MODEL, name);
    if (!lump)
    {
        bz_ReleaseModel(model);
        return nullptr;
    }
    bz_Lump_SetObject(lump, model);
    // The lump took its own use through the scene's services; the builder's goes. Without
    // services both are nothing and the lump keeps the builder's reference.
    bz_Scene_ReleaseModel(model);
    if (withOverride)
        bz_Lump_SetMaterial(lump, material);
    return lump;
}
} // namespace

bzLump *bz_CreateCuboidLump(const char *name, const float *box, int32_t level, bzMaterial *material)
{
    return Hang(name, bz_CreateBoxModel(name, box, level, material), material, true);
}

bzLump *bz_CreateCubeLump(const char *name, float edge, bzMaterial *material)
{
    return Hang(name, bz_CreateCubeModel(name, material, edge), material, true);
}

bzLump *bz_CreateDiamondLump(const char *name, float width, float height, float depth,
                             bzMaterial *material)
{
    return Hang(name, bz_CreateDiamondModel(name, width, height, depth, material), material, true);
}

bzLump *bz_CreateSphereLump(const char *name, int32_t level, float radius, bzMaterial *material)
{
    return Hang(name, bz_CreateSphereModel(name, material, level, radius), material, true);
}

bzLump *bz_CreateTicTacLump(const char *name, float radius, float firstEnd, float secondEnd,
                            int32_t segments)
{
    bzModel *model = bz_CreateTicTacModel(radius, firstEnd, secondEnd, segments, nullptr);
    if (model && name)
    {
        std::memset(model->name, 0, sizeof model->name);
        std::strncat(model->name, name, sizeof model->name - 1);
    }
    return Hang("Tic Tac", model, nullptr, false);
}

int32_t bz_RebuildTicTacLump(bzLump *lump, float radius, float firstEnd, float secondEnd)
{
    bzModel *model = bz_Lump_GetModel(lump);
    if (!model)
        return bzgLastError = BZ_ERROR_NO_MODEL;
    return bz_CreateTicTacModel(radius, firstEnd, secondEnd, -1, model) ? 0 : bzgLastError;
}

bzLump *bz_CreateConeLump(const char *name, int32_t segments, float radius, float height,
                          bzMaterial *material, int32_t base, int32_t apexAtOrigin, int32_t planar)
{
    return Hang(
        name,
        bz_CreateConeModel(name, segments, radius, height, material, base, apexAtOrigin, planar),
        material, true);
}

bzLump *bz_CreateCylinderLump(const char *name, int32_t segments, float radius, float height,
                              bzMaterial *material, int32_t caps, int32_t insideOut)
{
    return Hang(name,
                bz_CreateCylinderModel(name, segments, radius, height, material, caps, insideOut),
                material, true);
}

bzLump *bz_CreatePlaneLump(const char *name, float width, float height, bzMaterial *material,
                           const float *uvs)
{
    return Hang(name, bz_CreatePlaneModel(name, width, height, material, uvs), material, true);
}

bzLump *bz_CreateHalfSpaceLump(const char *name, float width, float height, bzMaterial *material)
{
    return Hang(name, bz_CreateHalfSpaceModel(name, width, height, material), material, true);
}

bzLump *bz_CreateGridLump(const char *name, int32_t level, float repeat, float width, float height,
                          bzMaterial *material)
{
    return Hang(name, bz_CreateGridModel(name, level, repeat, width, height, material), material,
                true);
}

bzLump *bz_CreateDiscLump(const char *name, int32_t segments, float radius, bzMaterial *material)
{
    return Hang(name, bz_CreateDiscModel(name, segments, radius, material), material, true);
}

bzLump *bz_CreateAnnulusLump(const char *name, int32_t segments, float inner, float outer,
                             bzMaterial *material)
{
    return Hang(name, bz_CreateAnnulusModel(name, segments, inner, outer, material), material,
                true);
}

bzLump *bz_CreateTorusLump(const char *name, float ringRadius, float tubeRadius, int32_t rings,
                           int32_t segments, bzMaterial *material)
{
    return Hang(name, bz_CreateTorusModel(name, ringRadius, tubeRadius, rings, segments, material),
                material, true);
}

bzLump *bz_CreatePointerLump(const char *name, float size, bzMaterial *material)
{
    return Hang(name, bz_CreatePointerModel(name, size, material), material, true);
}

bzLump *bz_CreateMarkerLump(const char *name, bzMaterial *material)
{
    return Hang(name, bz_CreateMarkerModel(name, material), material, true);
}

bzLump *bz_CreateArrowLump(const char *name, bzColour colour, float length, float shaftRadius,
                           float headRadius)
{
    bzMaterial *material = bz_CreateMaterialWithColour("ArrowMat", colour);
    bzLump *root = material ? bz_Lump_Create(BZ_LUMP_TYPE_NULL, name) : nullptr;
    bzLump *shaft =
        root ? bz_CreateCylinderLump(name, 7, shaftRadius, 0.75f * length, material, 1, 0)
             : nullptr;
    bzLump *head =
        shaft ? bz_CreateConeLump(name, 7, headRadius, 0.25f * length, material, 1, 0, 0) : nullptr;
    // The lumps hold the material now.
    bz_ReleaseMaterial(material);
    if (!head)
    {
        bz_Lump_DestroyTree(shaft);
        bz_Lump_DestroyTree(root);
        return nullptr;
    }
    // Both lie along z: the shaft's middle at three eighths, the head's base at three quarters.
    bz_M34_RotationX(&shaft->matrix, 90.0f);
    shaft->matrix.row[3] = {0, 0, 0.375f * length};
    bz_M34_RotationX(&head->matrix, 90.0f);
    head->matrix.row[3] = {0, 0, 0.75f * length};
    bz_Lump_Attach(root, shaft);
    bz_Lump_Attach(root, head);
    return root;
}

bzLump *bz_CreateSkyBoxLump(const char (*names)[32], bzMaterial **materials)
{
    return Hang("SB", bz_CreateSkyBoxModel(names, materials), nullptr, false);
}

bzLump *bz_CreateBrokenBoxLump()
{
    bz_IMGMAP *image = bz_CreateImgMap(nullptr, BZ_IMAGE_565, 256, 256,
                                       BZ_IMGMAP_MAKE_TEXTURE | BZ_IMGMAP_OPT_NO_COMPRESS);
    if (!image)
        return nullptr;
    bz_FillImgMapChecker(image, 0xFFFF0000, 0xFF0000FF, 4, 4);
    bzMaterial *material = bz_CreateMaterialFromTextureHandle(image);
    bz_ReleaseImgMap(image);
    if (!material)
        return nullptr;
    bz_RenameMaterial(material, "BrokenBoxMaterial");
    bzLump *lump = Hang("BrokenBox", bz_CreateBrokenBoxModel(material), material, true);
    bz_ReleaseMaterial(material);
    return lump;
}
