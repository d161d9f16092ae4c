#include "models/ModelLoad.h"

#include "core/NameHash.h"
#include "files/File.h"
#include "models/LoadOptions.h"
#include "models/ModelFile.h"

bzModel *(*bzgModel_mdxLoader)(const char *path, uint32_t nameHash);
bzModel *(*bzgModel_missingHook)(const char *path);

bzModel *bz_LoadModel(const char *path)
{
    if (!path)
        return nullptr;
    const uint32_t hash = bz_HashString(path);
    if (!(bzgLoadFlags & BZ_LOADFLAG_FRESH_MODELS))
    {
        bzModel *found = bz_FindModel(bz_GetPathFileName(path), hash);
        if (found && !(found->flags & BZ_MODEL_NEVER_SHARED))
        {
            ++found->refCount;
            return found;
        }
    }
    if (!(bzgModelLoadOptions & BZ_MODELOPT_NO_MDX) && bzgModel_mdxLoader)
        if (bzModel *model = bzgModel_mdxLoader(path, hash))
            return model;
    if (bzModel *model = bz_ReadModelFile(path, hash))
        return model;
    return bzgModel_missingHook ? bzgModel_missingHook(path) : nullptr;
}

void bz_SetLoadFlags(uint32_t flags)
{
    bzgLoadFlags = flags;
}
