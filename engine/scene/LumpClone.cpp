// Deep copies of lump subtrees.
#include "scene/LumpClone.h"

#include "core/Error.h"
#include "core/Memory.h"
#include "scene/Light.h"
#include "scene/Lump.h"
#include "scene/ParticleSystem.h"
#include "scene/Path.h"
#include "scene/PooledEmitter.h"

#include <cstring>

namespace
{
// Bits that describe state the copy does not hold.
constexpr uint32_t kNotCopied = BZ_LUMP_OCTREE | BZ_LUMP_IN_PORTALS;

bool Copyable(const bzLump *source)
{
    switch (source->type)
    {
    case BZ_LUMP_TYPE_POOLED_EMITTER: return false;
    default: break;
    }
    for (const bzLump *child = source->firstChild; child; child = child->next)
        if (!Copyable(child))
            return false;
    return true;
}

// The copy of one lump with its object; null when memory runs out.
bzLump *CopyOne(const bzLump *source)
{
    bzLump *copy = nullptr;
    switch (source->type)
    {
    case BZ_LUMP_TYPE_STENCIL_SHADOW:
    {
        const bzLumpShadow *shadow = static_cast<const bzLumpShadow *>(source->object);
        if (shadow && shadow->model)
        {
            copy = bz_Lump_CreateStencilShadow(source->name, shadow->model);
            if (!copy)
                return nullptr;
            (static_cast<bzLumpShadow *>(copy->object))->extrusion = shadow->extrusion;
            break;
        }
        copy = bz_Lump_Create(source->type, source->name);
        break;
    }
    default: copy = bz_Lump_Create(source->type, source->name); break;
    }
    if (!copy)
        return nullptr;
    std::memcpy(copy->name, source->name, sizeof copy->name);

    bool ok = true;
    if (source->object && source->type != BZ_LUMP_TYPE_STENCIL_SHADOW)
    {
        switch (source->type)
        {
        case BZ_LUMP_TYPE_MODEL:
        case BZ_LUMP_TYPE_SKIDMARKS: bz_Lump_SetObject(copy, source->object); break;
        case BZ_LUMP_TYPE_PARTICLE_EMITTER:
        {
            bzParticleSystem *system =
                bz_ParticleSystem_Clone(static_cast<const bzParticleSystem *>(source->object));
            ok = system != nullptr;
            if (system)
                bz_Lump_SetObject(copy, system);
            break;
        }
        case BZ_LUMP_TYPE_QUADBLOCKARRAY:
        {
            bzQuadBlockArray *array =
                bz_QuadBlockArray_Clone(static_cast<const bzQuadBlockArray *>(source->object));
            ok = array != nullptr;
            if (array)
            {
                // The lump takes its own use; the clone's first one goes.
                bz_Lump_SetObject(copy, array);
                bz_QuadBlockArray_Release(array);
            }
            break;
        }
        case BZ_LUMP_TYPE_DIRLIGHT:
        case BZ_LUMP_TYPE_POINTLIGHT:
        case BZ_LUMP_TYPE_SPOTLIGHT:
        case BZ_LUMP_TYPE_FLARELIGHT:
        case BZ_LUMP_TYPE_LIGHT:
            copy->object = bz_Light_Clone(static_cast<const bzLight *>(source->object));
            ok = copy->object != nullptr;
            break;
        case BZ_LUMP_TYPE_SKINNED_MODEL:
            // A new instance of the same model, at its rest pose.
            copy->object = bz_Lump_CreateSkinInstance(
                bz_Lump_GetSkinModel(static_cast<const bzSkinInstance *>(source->object)));
            ok = copy->object != nullptr;
            break;
        case BZ_LUMP_TYPE_POLYLINE:
            // A new path starts with the one reference the copy holds.
            copy->object = bz_Path_Clone(static_cast<const bzPath *>(source->object));
            ok = copy->object != nullptr;
            break;
        case BZ_LUMP_TYPE_CAMERA:
        {
            bzCamera *camera = static_cast<bzCamera *>(bz_MemAlloc(sizeof(bzCamera), 0));
            if (camera)
                *camera = *static_cast<const bzCamera *>(source->object);
            copy->object = camera;
            ok = camera != nullptr;
            break;
        }
        default: break;
        }
    }
    if (!ok)
    {
        bz_Lump_Destroy(copy);
        return nullptr;
    }
    copy->matrix = source->matrix;
    // The material bits come back with the override below.
    copy->flags = source->flags & ~(kNotCopied | BZ_LUMP_HAS_MATERIAL | BZ_LUMP_UNCOUNTED);
    copy->userWord = source->userWord;
    if (source->material)
    {
        if (source->flags & BZ_LUMP_UNCOUNTED)
            bz_Lump_SetMaterialTreeUncounted(copy, source->material);
        else
            bz_Lump_SetMaterial(copy, source->material);
    }
    return copy;
}

bzLump *CloneTree(const bzLump *source)
{
    bzLump *copy = CopyOne(source);
    if (!copy)
        return nullptr;
    for (const bzLump *child = source->firstChild; child; child = child->next)
    {
        bzLump *childCopy = CloneTree(child);
        if (!childCopy)
        {
            bz_Lump_DestroyTree(copy);
            return nullptr;
        }
        bz_Lump_AppendChild(copy, childCopy);
    }
    return copy;
}
} // namespace

bzLump *bz_Lump_Clone(const bzLump *source)
{
    if (!source)
    {
        bzgLastError = BZ_ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    if (!Copyable(source))
    {
        bzgLastError = BZ_ERROR_UNSUPPORTED;
        return nullptr;
    }
    bzLump *copy = CloneTree(source);
    if (!copy)
        bzgLastError = BZ_ERROR_NO_MEMORY;
    return copy;
}
