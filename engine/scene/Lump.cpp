// Creation and destruction of lumps, the objects of each type, materials and the statistics.
#include "scene/Lump.h"

#include "core/Memory.h"
#include "maths/Vector.h"
#include "scene/Light.h"
#include "scene/ParticleSystem.h"
#include "scene/Octree.h"
#include "scene/Path.h"
#include "scene/SceneServices.h"

#include <cstring>

namespace
{
uint32_t gTotalBytes;
int32_t gTotalCount;
int32_t gTypeCounters[BZ_LUMP_TYPE_COUNT];
bzLumpObjectHooks gObjectHooks[BZ_LUMP_TYPE_COUNT];
bzLumpTreeHooks gTreeHooks;

const char *const kTypeNames[BZ_LUMP_TYPE_COUNT] = {
    "BZ_LUMP_TYPE_NULL",           "BZ_LUMP_TYPE_MODEL",         "BZ_LUMP_TYPE_SPLINE",
    "BZ_LUMP_TYPE_SKINNED_MODEL",  "BZ_LUMP_TYPE_POLYLINE",      "BZ_LUMP_TYPE_LOD",
    "BZ_LUMP_TYPE_DIRLIGHT",       "BZ_LUMP_TYPE_POINTLIGHT",    "BZ_LUMP_TYPE_SPOTLIGHT",
    "BZ_LUMP_TYPE_FLARELIGHT",     "BZ_LUMP_TYPE_AMBIENTLIGHT",  "BZ_LUMP_TYPE_CAMERA",
    "BZ_LUMP_TYPE_BOUNDS",         "BZ_LUMP_TYPE_SOUND",         "BZ_LUMP_TYPE_PARTICLE_EMITTER",
    "BZ_LUMP_TYPE_STENCIL_SHADOW", "BZ_LUMP_TYPE_CLIPPED_MODEL", "BZ_LUMP_TYPE_LIGHT",
    "BZ_LUMP_TYPE_PORTALS_ROOT",   "BZ_LUMP_TYPE_SKIDMARKS",     "BZ_LUMP_TYPE_QUADBLOCKARRAY",
    "BZ_LUMP_TYPE_UNKNOWN",        "BZ_LUMP_TYPE_UNKNOWN",
};

bool IsLightType(uint8_t type)
{
    return type >= BZ_LUMP_TYPE_DIRLIGHT && type <= BZ_LUMP_TYPE_AMBIENTLIGHT;
}

void CopyName(bzLump *lump, const char *name)
{
    std::memset(lump->name, 0, sizeof lump->name);
    if (name)
        std::strncpy(lump->name, name, 16);
}

// The hooks of a type code; none for a code without a counter (a type byte set by hand).
const bzLumpObjectHooks &HooksOf(uint8_t type)
{
    static const bzLumpObjectHooks none = {};
    return type < BZ_LUMP_TYPE_COUNT ? gObjectHooks[type] : none;
}

void CountDown(uint8_t type)
{
    if (type < BZ_LUMP_TYPE_COUNT)
        gTypeCounters[type]--;
}

void ChangeType(bzLump *lump, uint8_t type)
{
    CountDown(lump->type);
    lump->type = type;
    gTypeCounters[type]++;
}

// Takes the reference of the type table's last column for a new object.
void TakeObject(bzLump *lump, void *object)
{
    if (!object)
        return;
    switch (lump->type)
    {
    case BZ_LUMP_TYPE_MODEL:
    case BZ_LUMP_TYPE_SPHERE_MODEL: bz_Scene_AddModelRef(static_cast<bzModel *>(object)); break;
    case BZ_LUMP_TYPE_POLYLINE: bz_Path_AddRef(static_cast<bzPath *>(object)); break;
    default:
        if (HooksOf(lump->type).take)
            HooksOf(lump->type).take(lump, object);
        break;
    }
}

void FreeLod(bzLumpLod *lod)
{
    for (bzModel *model : lod->models)
        bz_Scene_ReleaseModel(model);
    bz_MemFree(lod);
}

// Releases the lump's object by the type table's rule and clears the field.
void ReleaseObject(bzLump *lump)
{
    void *object = lump->object;
    lump->object = nullptr;
    if (!object)
        return;
    switch (lump->type)
    {
    case BZ_LUMP_TYPE_MODEL:
    case BZ_LUMP_TYPE_SPHERE_MODEL: bz_Scene_ReleaseModel(static_cast<bzModel *>(object)); break;
    case BZ_LUMP_TYPE_POLYLINE: bz_Path_Release(static_cast<bzPath *>(object)); break;
    case BZ_LUMP_TYPE_LOD: FreeLod(static_cast<bzLumpLod *>(object)); break;
    case BZ_LUMP_TYPE_DIRLIGHT:
    case BZ_LUMP_TYPE_POINTLIGHT:
    case BZ_LUMP_TYPE_SPOTLIGHT:
    case BZ_LUMP_TYPE_FLARELIGHT:
    case BZ_LUMP_TYPE_AMBIENTLIGHT:
        lump->flags &= ~BZ_LUMP_ACTIVE;
        bz_Light_Free(static_cast<bzLight *>(object));
        break;
    case BZ_LUMP_TYPE_CAMERA:
    case BZ_LUMP_TYPE_BOUNDS: bz_MemFree(object); break;
    case BZ_LUMP_TYPE_CLIPPED_MODEL:
        bz_Scene_ReleaseModel((static_cast<bzLumpClipped *>(object))->model);
        bz_MemFree(object);
        break;
    case BZ_LUMP_TYPE_STENCIL_SHADOW:
        bz_Scene_ReleaseModel((static_cast<bzLumpShadow *>(object))->model);
        bz_MemFree(object);
        break;
    case BZ_LUMP_TYPE_SKINNED_MODEL:
        bz_Lump_FreeSkinInstance(static_cast<bzSkinInstance *>(object));
        break;
    case BZ_LUMP_TYPE_SOUND:
    case BZ_LUMP_TYPE_LIGHT:
    case BZ_LUMP_TYPE_PORTALS_ROOT:
    case BZ_LUMP_TYPE_NULL: break;
    default:
        if (HooksOf(lump->type).release)
            HooksOf(lump->type).release(lump, object);
        break;
    }
}

void ReleaseMaterial(bzLump *lump)
{
    if (lump->material && !(lump->flags & BZ_LUMP_UNCOUNTED))
        bz_Scene_ReleaseMaterial(lump->material);
    lump->material = nullptr;
    lump->flags &= ~(BZ_LUMP_UNCOUNTED | BZ_LUMP_HAS_MATERIAL);
}

void StoreMaterial(bzLump *lump, bzMaterial *material, bool counted)
{
    // The new reference first: the old override may be the same material.
    if (counted)
        bz_Scene_AddMaterialRef(material);
    ReleaseMaterial(lump);
    lump->material = material;
    if (!material)
        return;
    lump->flags |= BZ_LUMP_HAS_MATERIAL;
    if (!counted)
        lump->flags |= BZ_LUMP_UNCOUNTED;
}

bzErrorCode Refuse()
{
    bzgLastError = BZ_ERROR_INVALID_PARAMETER;
    return BZ_ERROR_INVALID_PARAMETER;
}
} // namespace

void bz_Lump_SetObjectHooks(uint8_t type, const bzLumpObjectHooks *hooks)
{
    if (type < BZ_LUMP_TYPE_COUNT)
        gObjectHooks[type] = hooks ? *hooks : bzLumpObjectHooks{};
}

void bz_Lump_SetTreeHooks(const bzLumpTreeHooks *hooks)
{
    gTreeHooks = hooks ? *hooks : bzLumpTreeHooks{};
}

bzLump *bz_Lump_Create(uint8_t type, const char *name)
{
    if (type >= BZ_LUMP_TYPE_COUNT)
    {
        Refuse();
        return nullptr;
    }
    bzLump *lump = static_cast<bzLump *>(bz_MemAlloc(sizeof(bzLump), BZ_MEM_CLEAR));
    if (!lump)
    {
        bzgLastError = BZ_ERROR_NO_MEMORY;
        return nullptr;
    }
    lump->type = type;
    lump->flags = BZ_LUMP_ACTIVE;
    CopyName(lump, name);
    bz_M34_SetIdentity(&lump->matrix);
    gTotalBytes += sizeof(bzLump);
    gTotalCount++;
    gTypeCounters[type]++;
    return lump;
}

bzLump *bz_Lump_CreateModel(bzModel *model)
{
    bzLump *lump = bz_Lump_Create(BZ_LUMP_TYPE_MODEL, nullptr);
    if (!lump)
        return nullptr;
    lump->object = model;
    TakeObject(lump, model);
    return lump;
}

bzSkinInstance *bz_Lump_CreateSkinInstance(bzModel *model)
{
    return bz_Scene_CreateSkinInstance(model);
}

void bz_Lump_FreeSkinInstance(bzSkinInstance *instance)
{
    bz_Scene_FreeSkinInstance(instance);
}

bzModel *bz_Lump_GetSkinModel(const bzSkinInstance *instance)
{
    return instance ? *reinterpret_cast<bzModel *const *>(instance) : nullptr;
}

bzLump *bz_Lump_CreateSkinnedModel(bzModel *model)
{
    bzSkinInstance *instance = bz_Lump_CreateSkinInstance(model);
    if (!instance)
        return nullptr;
    bzLump *lump = bz_Lump_Create(BZ_LUMP_TYPE_SKINNED_MODEL, nullptr);
    if (!lump)
    {
        bz_Lump_FreeSkinInstance(instance);
        return nullptr;
    }
    lump->object = instance;
    return lump;
}

bzLump *bz_Lump_CreateEmitter(const char *name, bzParticleSystem **outSystem)
{
    if (outSystem)
        *outSystem = nullptr;
    bzLump *lump = bz_Lump_Create(BZ_LUMP_TYPE_PARTICLE_EMITTER, name);
    if (!lump)
        return nullptr;
    bzParticleSystem *system = bz_ParticleSystem_CreateForLump(lump);
    if (!system)
    {
        bz_Lump_Destroy(lump);
        bzgLastError = BZ_ERROR_NO_MEMORY;
        return nullptr;
    }
    if (outSystem)
        *outSystem = system;
    return lump;
}

bzLump *bz_Lump_CreateCamera(const bzM34 *matrix, float fieldOfView)
{
    bzLump *lump = bz_Lump_Create(BZ_LUMP_TYPE_CAMERA, "camera");
    if (!lump)
        return nullptr;
    bzCamera *camera = static_cast<bzCamera *>(bz_MemAlloc(sizeof(bzCamera), BZ_MEM_CLEAR));
    if (!camera)
    {
        bz_Lump_Destroy(lump);
        bzgLastError = BZ_ERROR_NO_MEMORY;
        return nullptr;
    }
    camera->fieldOfView = fieldOfView;
    camera->perspective = 1;
    lump->object = camera;
    if (matrix)
        lump->matrix = *matrix;
    return lump;
}

bzLump *bz_Lump_CreatePolyline(const char *name, bzColour colour, bzPath **outPath)
{
    bzLump *lump = bz_Lump_Create(BZ_LUMP_TYPE_POLYLINE, name);
    if (!lump)
        return nullptr;
    bzPath *path = bz_Path_Create();
    if (!path)
    {
        bz_Lump_Destroy(lump);
        bzgLastError = BZ_ERROR_NO_MEMORY;
        return nullptr;
    }
    lump->object = path;
    // The lump holds the new material's only reference.
    bzMaterial *material = bz_Scene_CreateMaterialWithColour(name, colour);
    if (material)
    {
        bz_Scene_ClearMaterialFlags(material, 4 | 8);
        bz_Scene_UpdateMaterial(material, 128);
        lump->material = material;
        lump->flags |= BZ_LUMP_HAS_MATERIAL;
    }
    if (outPath)
        *outPath = path;
    return lump;
}

bzLump *bz_Lump_CreateLight(uint8_t type, const bzM34 *matrix, const bzLightParameters *params)
{
    static const char *const kNames[] = {"DirLight", "PointLight", "SpotLight", "FlareLight",
                                         "PointLight"};
    if (!IsLightType(type))
    {
        Refuse();
        return nullptr;
    }
    bzLump *lump = bz_Lump_Create(type, kNames[type - BZ_LUMP_TYPE_DIRLIGHT]);
    if (!lump)
        return nullptr;
    const bzLightParameters none = {};
    if (!params)
        params = &none;
    bzLight *light =
        bz_Light_Create(type, params->parameter1, params->parameter2, params->flareTemplate);
    if (!light)
    {
        bz_Lump_Destroy(lump);
        bzgLastError = BZ_ERROR_NO_MEMORY;
        return nullptr;
    }
    lump->object = light;
    if (matrix)
        lump->matrix = *matrix;
    return lump;
}

bzLump *bz_Lump_CreateLod(const char *name, bzModel *const *models, int32_t count)
{
    bzLump *lump = bz_Lump_Create(BZ_LUMP_TYPE_LOD, name);
    if (!lump)
        return nullptr;
    bzLumpLod *lod = static_cast<bzLumpLod *>(bz_MemAlloc(sizeof(bzLumpLod), BZ_MEM_CLEAR));
    if (!lod)
    {
        bz_Lump_Destroy(lump);
        bzgLastError = BZ_ERROR_NO_MEMORY;
        return nullptr;
    }
    if (count > BZ_LUMP_LOD_LEVELS)
        count = BZ_LUMP_LOD_LEVELS;
    for (int32_t k = 0; models && k < count; k++)
        lod->models[k] = models[k];
    lump->object = lod;
    return lump;
}

bzErrorCode bz_Lump_AddLodLevel(bzLump *lump, int32_t level, bzModel *model)
{
    if (!lump || (lump->type != BZ_LUMP_TYPE_MODEL && lump->type != BZ_LUMP_TYPE_LOD))
        return Refuse();
    if (level < 0 || level >= BZ_LUMP_LOD_LEVELS)
    {
        bzgLastError = BZ_ERROR_PARAMETER_OUT_OF_RANGE;
        return BZ_ERROR_PARAMETER_OUT_OF_RANGE;
    }
    if (lump->type == BZ_LUMP_TYPE_MODEL)
    {
        bzLumpLod *lod = static_cast<bzLumpLod *>(bz_MemAlloc(sizeof(bzLumpLod), BZ_MEM_CLEAR));
        if (!lod)
        {
            bzgLastError = BZ_ERROR_NO_MEMORY;
            return BZ_ERROR_NO_MEMORY;
        }
        // The model lump's reference moves over to level 0.
        lod->models[0] = static_cast<bzModel *>(lump->object);
        lump->object = lod;
        ChangeType(lump, BZ_LUMP_TYPE_LOD);
    }
    bzLumpLod *lod = static_cast<bzLumpLod *>(lump->object);
    if (!lod)
        return Refuse();
    if (lod->models[level] == model)
        return BZ_ERROR_NONE;
    bz_Scene_AddModelRef(model);
    bz_Scene_ReleaseModel(lod->models[level]);
    lod->models[level] = model;
    return BZ_ERROR_NONE;
}

bzLump *bz_Lump_CreateStencilShadow(const char *name, bzModel *model)
{
    bzLump *lump = bz_Lump_Create(BZ_LUMP_TYPE_STENCIL_SHADOW, name);
    if (!lump)
        return nullptr;
    bzLumpShadow *shadow =
        static_cast<bzLumpShadow *>(bz_MemAlloc(sizeof(bzLumpShadow), BZ_MEM_CLEAR));
    if (!shadow)
    {
        bz_Lump_Destroy(lump);
        bzgLastError = BZ_ERROR_NO_MEMORY;
        return nullptr;
    }
    shadow->model = model;
    shadow->extrusion = 20.0f;
    bz_Scene_AddModelRef(model);
    bz_Scene_PrepareShadow(model);
    lump->object = shadow;
    return lump;
}

bzErrorCode bz_Lump_SplitCopy(const bzLump *source, bzLump *first, bzLump *second,
                              const bzPlane *plane)
{
    if (!source || !first || !second || !plane || first == second || first == source ||
        second == source)
        return Refuse();
    bzLumpClipped *records[2] = {
        static_cast<bzLumpClipped *>(bz_MemAlloc(sizeof(bzLumpClipped), BZ_MEM_CLEAR)),
        static_cast<bzLumpClipped *>(bz_MemAlloc(sizeof(bzLumpClipped), BZ_MEM_CLEAR))};
    if (!records[0] || !records[1])
    {
        for (bzLumpClipped *r : records)
            if (r)
                bz_MemFree(r);
        bzgLastError = BZ_ERROR_NO_MEMORY;
        return BZ_ERROR_NO_MEMORY;
    }
    bzModel *model = bz_Lump_GetModel(source);
    bzLump *const lumps[2] = {first, second};
    for (int k = 0; k < 2; k++)
    {
        bzLump *l = lumps[k];
        ReleaseObject(l);
        ChangeType(l, BZ_LUMP_TYPE_CLIPPED_MODEL);
        records[k]->plane = *plane;
        records[k]->model = model;
        records[k]->side = static_cast<uint32_t>(k);
        bz_Scene_AddModelRef(model);
        l->object = records[k];
        l->matrix = source->matrix;
        std::memcpy(l->name, source->name, sizeof l->name);
    }
    return BZ_ERROR_NONE;
}

bzLump *bz_Lump_CreateClippedModel(bzLump *lump, const bzPlane *plane)
{
    if (!lump || !plane || lump->type != BZ_LUMP_TYPE_MODEL)
    {
        Refuse();
        return nullptr;
    }
    bzLumpClipped *kept =
        static_cast<bzLumpClipped *>(bz_MemAlloc(sizeof(bzLumpClipped), BZ_MEM_CLEAR));
    if (!kept)
    {
        bzgLastError = BZ_ERROR_NO_MEMORY;
        return nullptr;
    }
    bzLump *left = bz_Lump_Create(BZ_LUMP_TYPE_CLIPPED_MODEL, "LeftSide");
    bzLumpClipped *other =
        left ? static_cast<bzLumpClipped *>(bz_MemAlloc(sizeof(bzLumpClipped), BZ_MEM_CLEAR))
             : nullptr;
    if (!other)
    {
        bz_MemFree(kept);
        bz_Lump_Destroy(left);
        bzgLastError = BZ_ERROR_NO_MEMORY;
        return nullptr;
    }
    bzModel *model = static_cast<bzModel *>(lump->object);
    kept->plane = *plane;
    kept->model = model; // the model lump's reference
    kept->side = 1;
    lump->object = kept;
    ChangeType(lump, BZ_LUMP_TYPE_CLIPPED_MODEL);
    other->plane = *plane;
    other->model = model;
    other->side = 0;
    bz_Scene_AddModelRef(model);
    left->object = other;
    left->matrix = lump->matrix;
    left->worldMatrix = lump->worldMatrix;
    return left;
}

bzLump *bz_Lump_LoadModelLump(const char *fileName)
{
    if (!fileName)
    {
        Refuse();
        return nullptr;
    }
    bzModel *model = bz_Scene_LoadModel(fileName);
    if (!model)
    {
        bzgLastError = BZ_ERROR_FILE_NOT_FOUND;
        return nullptr;
    }
    const char *base = fileName;
    for (const char *c = fileName; *c; c++)
        if (*c == '/' || *c == '\\' || *c == ':')
            base = c + 1;
    bzLump *lump = bz_Lump_Create(BZ_LUMP_TYPE_MODEL, base);
    if (!lump)
    {
        bz_Scene_ReleaseModel(model);
        return nullptr;
    }
    // The lump holds the only reference: the loader's own is the lump's.
    lump->object = model;
    return lump;
}

bzErrorCode bz_Lump_SetObject(bzLump *lump, void *object)
{
    if (!lump)
        return Refuse();
    if (lump->object == object)
        return BZ_ERROR_NONE;
    switch (lump->type)
    {
    case BZ_LUMP_TYPE_MODEL:
    case BZ_LUMP_TYPE_POLYLINE:
    case BZ_LUMP_TYPE_STENCIL_SHADOW:
    case BZ_LUMP_TYPE_SKIDMARKS:
    case BZ_LUMP_TYPE_QUADBLOCKARRAY:
    case BZ_LUMP_TYPE_POOLED_EMITTER:
    case BZ_LUMP_TYPE_SPHERE_MODEL: ReleaseObject(lump); break;
    case BZ_LUMP_TYPE_PARTICLE_EMITTER:
        // Only the old particle system's back-link is cleared; the system lives on.
        if (lump->object && gObjectHooks[lump->type].unlink)
            gObjectHooks[lump->type].unlink(lump, lump->object);
        break;
    default: break;
    }
    lump->object = object;
    TakeObject(lump, object);
    return BZ_ERROR_NONE;
}

bzErrorCode bz_Lump_SetMaterial(bzLump *lump, bzMaterial *material)
{
    if (!lump)
        return Refuse();
    StoreMaterial(lump, material, true);
    return BZ_ERROR_NONE;
}

bzErrorCode bz_Lump_SetMaterialTree(bzLump *lump, bzMaterial *material)
{
    if (!lump)
        return Refuse();
    for (bzLump *l = lump; l; l = bz_Lump_NextPreOrder(l, lump))
        StoreMaterial(l, material, true);
    return BZ_ERROR_NONE;
}

bzErrorCode bz_Lump_SetMaterialTreeUncounted(bzLump *lump, bzMaterial *material)
{
    if (!lump)
        return Refuse();
    for (bzLump *l = lump; l; l = bz_Lump_NextPreOrder(l, lump))
        StoreMaterial(l, material, false);
    return BZ_ERROR_NONE;
}

bzErrorCode bz_Lump_SetMaterialUncounted(bzLump *lump, bzMaterial *material)
{
    if (!lump)
        return Refuse();
    StoreMaterial(lump, material, false);
    return BZ_ERROR_NONE;
}

bzMaterial *bz_Lump_GetUncountedMaterial(const bzLump *lump)
{
    return lump && (lump->flags & BZ_LUMP_UNCOUNTED) ? lump->material : nullptr;
}

bzMaterial *bz_Lump_TakeMaterial(const bzLump *lump)
{
    if (!lump || (lump->flags & BZ_LUMP_UNCOUNTED) || !lump->material)
        return nullptr;
    bz_Scene_AddMaterialRef(lump->material);
    return lump->material;
}

void bz_Lump_FreeOctree(bzLump *lump)
{
    if (!lump)
        return;
    // The octree's own release unless another one is installed.
    if (lump->octree)
        (gTreeHooks.freeOctree ? gTreeHooks.freeOctree : bzOctree_FreeLumpField)(lump->octree);
    lump->octree = nullptr;
    lump->flags &= ~BZ_LUMP_OCTREE;
}

bzErrorCode bz_Lump_Destroy(bzLump *lump)
{
    if (!lump)
        return Refuse();
    CountDown(lump->type);
    if (lump->parent)
        bz_Lump_Detach(lump);
    // Children left behind become roots of their own rather than keep a freed parent.
    while (lump->firstChild)
        bz_Lump_Detach(lump->firstChild);
    if (lump->dynamicsElement || lump->dynamicsObject)
        bz_Scene_DestroyDynamics(lump, lump->dynamicsElement);
    lump->dynamicsElement = nullptr;
    bz_Lump_FreeOctree(lump);
    if (lump->roomLink && gTreeHooks.portalsReady && gTreeHooks.portalsReady())
    {
        if ((lump->flags & BZ_LUMP_IN_PORTALS) && gTreeHooks.portalDestroy)
            gTreeHooks.portalDestroy(lump);
        if (gTreeHooks.freeRoomChain)
            gTreeHooks.freeRoomChain(lump->roomLink);
        lump->roomLink = nullptr;
    }
    ReleaseObject(lump);
    ReleaseMaterial(lump);
    bz_MemFree(lump);
    gTotalBytes -= sizeof(bzLump);
    gTotalCount--;
    return BZ_ERROR_NONE;
}

bzErrorCode bz_Lump_DestroyTree(bzLump *lump)
{
    if (!lump)
        return BZ_ERROR_NONE;
    // Post-order without recursion: go down first children, destroy leaves, climb back.
    bzLump *l = lump;
    for (;;)
    {
        while (l->firstChild)
            l = l->firstChild;
        bzLump *parent = l->parent;
        const bool last = l == lump;
        bz_Lump_Destroy(l);
        if (last)
            break;
        l = parent;
    }
    return BZ_ERROR_NONE;
}

bzModel *bz_Lump_GetModel(const bzLump *lump)
{
    if (!lump || !lump->object)
        return nullptr;
    switch (lump->type)
    {
    case BZ_LUMP_TYPE_MODEL: return static_cast<bzModel *>(lump->object);
    case BZ_LUMP_TYPE_SKINNED_MODEL: return *static_cast<bzModel *const *>(lump->object);
    case BZ_LUMP_TYPE_LOD: return (static_cast<const bzLumpLod *>(lump->object))->models[0];
    case BZ_LUMP_TYPE_CLIPPED_MODEL:
        return (static_cast<const bzLumpClipped *>(lump->object))->model;
    case BZ_LUMP_TYPE_STENCIL_SHADOW:
        return (static_cast<const bzLumpShadow *>(lump->object))->model;
    case BZ_LUMP_TYPE_PARTICLE_EMITTER:
        return gObjectHooks[lump->type].getModel ? gObjectHooks[lump->type].getModel(lump->object)
                                                 : nullptr;
    default: return nullptr;
    }
}

bzModel *bz_Lump_GetLodModel(const bzLump *lump, int32_t level)
{
    if (!lump || !lump->object)
        return nullptr;
    switch (lump->type)
    {
    case BZ_LUMP_TYPE_MODEL:
    case BZ_LUMP_TYPE_SKINNED_MODEL: return level == 0 ? bz_Lump_GetModel(lump) : nullptr;
    case BZ_LUMP_TYPE_LOD:
    {
        const bzLumpLod *lod = static_cast<const bzLumpLod *>(lump->object);
        if (level < 0)
            level = lod->currentLevel;
        return level >= 0 && level < BZ_LUMP_LOD_LEVELS ? lod->models[level] : nullptr;
    }
    default: return nullptr;
    }
}

int32_t bz_Lump_SetLodLevel(int32_t level, bzLump *lump)
{
    if (!lump || lump->type != BZ_LUMP_TYPE_LOD || !lump->object || level < 0 ||
        level >= BZ_LUMP_LOD_LEVELS)
        return level;
    bzLumpLod *lod = static_cast<bzLumpLod *>(lump->object);
    for (int32_t k = level; k >= 0; k--)
        if (lod->models[k])
        {
            lod->currentLevel = k;
            return k;
        }
    return -1;
}

int32_t bz_Lump_HasModel(const bzLump *lump)
{
    return lump && (lump->type == BZ_LUMP_TYPE_MODEL || lump->type == BZ_LUMP_TYPE_SKINNED_MODEL ||
                    lump->type == BZ_LUMP_TYPE_LOD);
}

int32_t bz_Lump_IsLight(const bzLump *lump)
{
    return lump && lump->type >= BZ_LUMP_TYPE_DIRLIGHT && lump->type <= BZ_LUMP_TYPE_FLARELIGHT;
}

int32_t bz_Lump_IsTransient(const bzLump *lump)
{
    return lump && (lump->flags & BZ_LUMP_TRANSIENT) ? 1 : 0;
}

const char *bz_Lump_GetTypeName(int32_t type)
{
    return type >= 0 && type < BZ_LUMP_TYPE_COUNT ? kTypeNames[type] : "BZ_LUMP_TYPE_UNKNOWN";
}

const char *bz_Lump_GetName(const bzLump *lump)
{
    return lump ? lump->name : nullptr;
}

const char *bz_Lump_GetObjectName(const bzLump *lump)
{
    if (!lump)
        return nullptr;
    switch (lump->type)
    {
    case BZ_LUMP_TYPE_MODEL:
    case BZ_LUMP_TYPE_SKINNED_MODEL:
    case BZ_LUMP_TYPE_STENCIL_SHADOW: return bz_Scene_GetModelName(bz_Lump_GetModel(lump));
    case BZ_LUMP_TYPE_PARTICLE_EMITTER:
        return lump->object && gObjectHooks[lump->type].getName
                   ? gObjectHooks[lump->type].getName(lump->object)
                   : nullptr;
    case BZ_LUMP_TYPE_LOD:
    case BZ_LUMP_TYPE_DIRLIGHT:
    case BZ_LUMP_TYPE_POINTLIGHT:
    case BZ_LUMP_TYPE_SPOTLIGHT:
    case BZ_LUMP_TYPE_AMBIENTLIGHT:
    case BZ_LUMP_TYPE_CAMERA: return nullptr;
    default: return lump->name;
    }
}

uint32_t bz_Lump_GetTotalBytes()
{
    return gTotalBytes;
}

int32_t bz_Lump_GetTotalCount()
{
    return gTotalCount;
}

int32_t bz_Lump_GetTypeCounter(int32_t type)
{
    return type >= 0 && type < BZ_LUMP_TYPE_COUNT ? gTypeCounters[type] : 0;
}

void bz_Lump_ClearTypeCounters()
{
    for (int32_t &counter : gTypeCounters)
        counter = 0;
}
