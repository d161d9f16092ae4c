#include "display/DisplayLumps.h"

#include "core/Error.h"
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
