#include "scene/SceneServices.h"

#include "core/Error.h"

namespace
{
bzSceneModelServices gModels;
bzSceneDynamicsServices gDynamics;
// The replay session of the matrix-mode events, made on first use with the current table.
void *gMatrixModeSession;
} // namespace

void bz_Scene_SetModelServices(const bzSceneModelServices *services)
{
    gModels = services ? *services : bzSceneModelServices{};
}

void bz_Scene_SetDynamicsServices(const bzSceneDynamicsServices *services)
{
    gDynamics = services ? *services : bzSceneDynamicsServices{};
    gMatrixModeSession = nullptr;
}

int32_t bz_Scene_SaveTreeResources(const char *folder, bzLump *root)
{
    if (!gModels.saveTreeResources)
        return bzgLastError = BZ_ERROR_UNSUPPORTED;
    return gModels.saveTreeResources(folder ? folder : "", root);
}

void bz_Scene_AddModelRef(bzModel *model)
{
    if (model && gModels.addModelRef)
        gModels.addModelRef(model);
}

void bz_Scene_ReleaseModel(bzModel *model)
{
    if (model && gModels.releaseModel)
        gModels.releaseModel(model);
}

const char *bz_Scene_GetModelName(const bzModel *model)
{
    return model && gModels.getModelName ? gModels.getModelName(model) : nullptr;
}

bzMaterial *bz_Scene_CreateMaterialWithColour(const char *name, bzColour colour)
{
    return gModels.createMaterialWithColour ? gModels.createMaterialWithColour(name, colour)
                                            : nullptr;
}

void bz_Scene_ClearMaterialFlags(bzMaterial *material, uint32_t bits)
{
    if (material && gModels.clearMaterialFlags)
        gModels.clearMaterialFlags(material, bits);
}

void bz_Scene_UpdateMaterial(bzMaterial *material, uint32_t value)
{
    if (material && gModels.updateMaterial)
        gModels.updateMaterial(material, value);
}

void bz_Scene_AddMaterialRef(bzMaterial *material)
{
    if (material && gModels.addMaterialRef)
        gModels.addMaterialRef(material);
}

void bz_Scene_ReleaseMaterial(bzMaterial *material)
{
    if (material && gModels.releaseMaterial)
        gModels.releaseMaterial(material);
}

bzModel *bz_Scene_LoadModel(const char *path)
{
    return path && gModels.loadModel ? gModels.loadModel(path) : nullptr;
}

int32_t bz_Scene_TransformModel(bzModel *model, const bzM34 *matrix)
{
    return model && matrix && gModels.transformModel ? gModels.transformModel(model, matrix) : 0;
}

bzSkinInstance *bz_Scene_CreateSkinInstance(bzModel *model)
{
    if (!model || !gModels.createSkinInstance)
    {
        bzgLastError = model ? BZ_ERROR_UNSUPPORTED : BZ_ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    return gModels.createSkinInstance(model);
}

void bz_Scene_FreeSkinInstance(bzSkinInstance *instance)
{
    if (instance && gModels.freeSkinInstance)
        gModels.freeSkinInstance(instance);
}

void bz_Scene_PrepareShadow(bzModel *model)
{
    if (model && gModels.prepareShadow)
        gModels.prepareShadow(model);
}

bzM34 *bz_Scene_GetMatrixAttribute(void *element)
{
    return element && gDynamics.getMatrixAttribute ? gDynamics.getMatrixAttribute(element)
                                                   : nullptr;
}

int32_t bz_Scene_HasOverride(const void *object)
{
    return object && gDynamics.hasOverride ? gDynamics.hasOverride(object) : 0;
}

void bz_Scene_DestroyDynamics(bzLump *lump, void *element)
{
    if (element && gDynamics.destroyLinks)
        gDynamics.destroyLinks(element);
    if (gDynamics.detachMechanics)
        gDynamics.detachMechanics(lump);
    if (gDynamics.destroyElement)
        gDynamics.destroyElement(lump);
}

void bz_Scene_RecordMatrixMode(bzLump *lump, int32_t world)
{
    if (!gDynamics.recordEvent)
        return;
    if (!gMatrixModeSession && gDynamics.createSession)
        gMatrixModeSession =
            gDynamics.createSession("MAKE_MATRIX_GLOBAL", sizeof(bzLumpMatrixModeEvent));
    if (!gMatrixModeSession)
        return;
    const bzLumpMatrixModeEvent event = {lump, world};
    gDynamics.recordEvent(gMatrixModeSession, &event);
}
