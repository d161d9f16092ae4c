#include "display/SceneModelBridge.h"

#include "models/Material.h"
#include "models/Model.h"
#include "models/ModelLoad.h"

void bz_Display_GetSceneModelServices(bzSceneModelServices *out)
{
    if (!out)
        return;
    *out = {};
    out->addModelRef = [](bzModel *model) { bz_AddModelReference(model); };
    out->releaseModel = [](bzModel *model) { bz_ReleaseModel(model); };
    out->getModelName = [](const bzModel *model) -> const char * { return model->name; };
    out->createMaterialWithColour = [](const char *name, bzColour colour)
    { return bz_CreateMaterialWithColour(name, colour); };
    out->clearMaterialFlags = [](bzMaterial *material, uint32_t bits) { material->flags &= ~bits; };
    out->updateMaterial = [](bzMaterial *material, uint32_t value)
    { bz_UpdateMaterial(material, static_cast<int32_t>(value)); };
    out->addMaterialRef = [](bzMaterial *material) { bz_AddRefMaterial(material); };
    out->releaseMaterial = [](bzMaterial *material) { bz_ReleaseMaterial(material); };
    out->loadModel = bz_LoadModel;
}
