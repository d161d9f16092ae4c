#include "display/LumpExport.h"

#include "core/Error.h"
#include "display/ModelExport.h"
#include "files/File.h"
#include "models/LumpResourceFiles.h"
#include "models/Model.h"
#include "scene/Container.h"
#include "scene/Lump.h"

#include <cstdio>
#include <cstring>

namespace
{
void Keep(int32_t *first, int32_t code)
{
    if (code && !*first)
        *first = code;
}

// The materials of the run and, when asked, their image maps into the folder.
int32_t WriteMaterials(const char *folder, bzMaterial *materials, uint32_t flags)
{
    int32_t result = 0;
    if (flags & BZ_EXPORT_MATERIALS)
        Keep(&result, bz_SaveMaterialRun(folder, materials));
    if (flags & BZ_EXPORT_IMAGES)
        Keep(&result, bz_SaveImageRun(folder, bz_CollectMaterialImages(materials, nullptr)));
    return result;
}
} // namespace

int32_t bz_Lump_Export(bzLump *root, const char *path, uint32_t flags)
{
    if (!root || !path)
        return bzgLastError = BZ_ERROR_INVALID_PARAMETER;
    char folder[BZ_FILE_PATH_SIZE];
    std::snprintf(folder, sizeof folder, "%s", bz_GetPathDrive(path));
    const size_t used = std::strlen(folder);
    std::snprintf(folder + used, sizeof folder - used, "%s", bz_GetPathDirectory(path));

    int32_t result = 0;
    if (flags & BZ_EXPORT_CONTAINER)
        Keep(&result, bz_Lump_SaveCNT(path, root, 0));
    if (flags & BZ_EXPORT_MODELS)
        Keep(&result, bz_SaveLumpModels(folder, root, 1, 1));
    if (!(flags & (BZ_EXPORT_MATERIALS | BZ_EXPORT_IMAGES)))
        return result;

    if (root->type != BZ_LUMP_TYPE_LOD)
    {
        Keep(&result, WriteMaterials(folder, bz_Lump_CollectModelMaterials(root, nullptr), flags));
        return result;
    }
    for (int32_t level = 0; level < BZ_LUMP_LOD_LEVELS; ++level)
    {
        bzModel *model = bz_Lump_GetLodModel(root, level);
        if (!model)
            continue;
        char levelFolder[BZ_FILE_PATH_SIZE];
        if (std::snprintf(levelFolder, sizeof levelFolder, "%sLOD%i\\", folder, level) >=
            static_cast<int32_t>(sizeof levelFolder))
        {
            Keep(&result, bzgLastError = BZ_ERROR_PARAMETER_OUT_OF_RANGE);
            continue;
        }
        bz_MakeDirectory(levelFolder);
        bzMaterial *materials = nullptr;
        bz_MoveModelMaterialsToListEnd(model, &materials);
        Keep(&result, WriteMaterials(levelFolder, materials, flags));
    }
    return result;
}
