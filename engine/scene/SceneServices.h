// What the scene graph calls of its neighbours: the models and materials subsystem (use counts,
// names, polyline materials, loading and baking of models) and the dynamics controller with the
// action replay (matrix attributes of bound lumps, the take-down of a lump's dynamics, events).
// Each owner installs its table; with none installed the scene graph runs on its own: models
// and materials are held without counts, bound lumps read their own matrix and nothing is
// recorded.
#pragma once

#include "maths/Types.h"

#include <cstdint>

struct bzModel;
struct bzMaterial;
struct bzLump;
struct bzSkinInstance;

struct bzSceneModelServices
{
    // One more use of a model, and one dropped (at zero the model is freed by its owner).
    void (*addModelRef)(bzModel *model);
    void (*releaseModel)(bzModel *model);
    // The model's name, or null.
    const char *(*getModelName)(const bzModel *model);
    // A new material of the packed colour with one reference.
    bzMaterial *(*createMaterialWithColour)(const char *name, bzColour colour);
    // Clears bits of the material's flag word, and applies changed flags with a value.
    void (*clearMaterialFlags)(bzMaterial *material, uint32_t bits);
    void (*updateMaterial)(bzMaterial *material, uint32_t value);
    void (*addMaterialRef)(bzMaterial *material);
    void (*releaseMaterial)(bzMaterial *material);
    // Loads a model by file path with one reference for the caller; null when it cannot.
    bzModel *(*loadModel)(const char *path);
    // Transforms every vertex position of the model by the matrix and rebuilds it.
    int32_t (*transformModel)(bzModel *model, const bzM34 *matrix);
    // Welds the model's positions for shadow use unless its part is already welded.
    void (*prepareShadow)(bzModel *model);
    // A new skin instance of the model (one more use of it) at its skeleton's rest pose, for a
    // skinned-model lump; null when it cannot be made. The instance's first word is its model.
    bzSkinInstance *(*createSkinInstance)(bzModel *model);
    // Frees a skin instance and drops its use of the model.
    void (*freeSkinInstance)(bzSkinInstance *instance);
    // Writes the models and materials that the tree's saved lumps (all but the transient ones and
    // their subtrees) use into the folder (drive and directory, may be empty): 0, or the first
    // error of one that could not be written.
    int32_t (*saveTreeResources)(const char *folder, bzLump *root);
};

// An event a lump records in the action replay: a switch of its matrix mode.
struct bzLumpMatrixModeEvent
{
    bzLump *lump;
    int32_t world; // 1 world-relative, 0 parent-relative
};

struct bzSceneDynamicsServices
{
    // The address of the controller's matrix attribute of an element, or null when the element
    // is not of the controller's current class; a pending change is announced first.
    bzM34 *(*getMatrixAttribute)(void *element);
    // Non-zero while a dynamics object's override word is set.
    int32_t (*hasOverride)(const void *object);
    // The take-down of a destroyed lump's dynamics, in this order: every link of its element,
    // its mechanics, its element.
    void (*destroyLinks)(void *element);
    void (*detachMechanics)(bzLump *lump);
    void (*destroyElement)(bzLump *lump);
    // Creates a replay session of the name and returns its handle (null when it cannot), and
    // records one event in a session (non-zero when not recording).
    void *(*createSession)(const char *name, uint32_t elementSize);
    int32_t (*recordEvent)(void *session, const void *data);
};

// Install a table (copied); null removes it.
void bz_Scene_SetModelServices(const bzSceneModelServices *services);
void bz_Scene_SetDynamicsServices(const bzSceneDynamicsServices *services);

// The calls the scene graph makes through the tables; each does nothing (or gives null) when
// the table or the entry is missing, or for a null argument.
void bz_Scene_AddModelRef(bzModel *model);
void bz_Scene_ReleaseModel(bzModel *model);
const char *bz_Scene_GetModelName(const bzModel *model);
bzMaterial *bz_Scene_CreateMaterialWithColour(const char *name, bzColour colour);
void bz_Scene_ClearMaterialFlags(bzMaterial *material, uint32_t bits);
void bz_Scene_UpdateMaterial(bzMaterial *material, uint32_t value);
void bz_Scene_AddMaterialRef(bzMaterial *material);
void bz_Scene_ReleaseMaterial(bzMaterial *material);
bzModel *bz_Scene_LoadModel(const char *path);
int32_t bz_Scene_TransformModel(bzModel *model, const bzM34 *matrix);
void bz_Scene_PrepareShadow(bzModel *model);
bzSkinInstance *bz_Scene_CreateSkinInstance(bzModel *model);
void bz_Scene_FreeSkinInstance(bzSkinInstance *instance);
// 68 when no table or entry is installed.
int32_t bz_Scene_SaveTreeResources(const char *folder, bzLump *root);

bzM34 *bz_Scene_GetMatrixAttribute(void *element);
int32_t bz_Scene_HasOverride(const void *object);
void bz_Scene_DestroyDynamics(bzLump *lump, void *element);
// Records a matrix-mode switch in the "MAKE_MATRIX_GLOBAL" session (created on first use).
void bz_Scene_RecordMatrixMode(bzLump *lump, int32_t world);
