#include "models/LumpResourceFiles.h"

#include "core/Error.h"
#include "files/File.h"
#include "models/ImgFile.h"
#include "models/ImgMap.h"
#include "models/LumpResources.h"
#include "models/Material.h"
#include "models/MaterialFile.h"
#include "models/Model.h"
#include "models/ModelFile.h"
#include "scene/Lump.h"

#include <cstdio>
#include <cstring>

namespace
{
constexpr size_t kPathBytes = BZ_FILE_PATH_SIZE;

// "<folder>[\]<name><extension>" into out; false when it does not fit.
bool JoinPath(char *out, const char *folder, const char *name, const char *extension)
{
    const size_t length = std::strlen(folder);
    const bool separated = length == 0 || folder[length - 1] == '\\' || folder[length - 1] == '/' ||
                           folder[length - 1] == ':';
    const int32_t n =
        std::snprintf(out, kPathBytes, "%s%s%s%s", folder, separated ? "" : "\\", name, extension);
    return n >= 0 && static_cast<size_t>(n) < kPathBytes;
}

void Keep(int32_t *first, int32_t code)
{
    if (code && !*first)
        *first = code;
}

// Transient lumps are not saved, so neither are the resources only they use.
int32_t SavedLumpsOnly(void *, bzLump *lump)
{
    return (lump->flags & BZ_LUMP_TRANSIENT) ? 2 : 0;
}
} // namespace

int32_t bz_SaveModelRun(const char *folder, bzModel *first)
{
    int32_t result = 0;
    for (bzModel *model = first; model; model = model->next)
    {
        if (!model->name[0])
            continue;
        char path[kPathBytes];
        // bz_SaveModel cuts an extension of the name and puts ".MDL" in its place.
        if (!JoinPath(path, folder ? folder : "", model->name, ""))
        {
            Keep(&result, bzgLastError = BZ_ERROR_PARAMETER_OUT_OF_RANGE);
            continue;
        }
        Keep(&result, bz_SaveModel(path, model, 1, 1));
    }
    return result;
}

int32_t bz_SaveMaterialRun(const char *folder, bzMaterial *first)
{
    int32_t result = 0;
    for (bzMaterial *material = first; material; material = material->next)
    {
        if (material == bzgMaterial_default || !material->shortName || !material->shortName[0])
            continue;
        char path[kPathBytes];
        if (!JoinPath(path, folder ? folder : "", material->shortName, ".MTL"))
        {
            Keep(&result, bzgLastError = BZ_ERROR_PARAMETER_OUT_OF_RANGE);
            continue;
        }
        Keep(&result, bz_SaveMaterial(path, material));
    }
    return result;
}

int32_t bz_SaveImageRun(const char *folder, bz_IMGMAP *first)
{
    int32_t result = 0;
    for (bz_IMGMAP *image = first; image; image = image->next)
    {
        if (!image->name || !image->name[0])
            continue;
        char name[kPathBytes];
        std::snprintf(name, sizeof name, "%s", bz_GetPathFileName(image->name));
        char path[kPathBytes];
        if (!name[0] || !JoinPath(path, folder ? folder : "", name, ".img"))
        {
            Keep(&result, bzgLastError = BZ_ERROR_PARAMETER_OUT_OF_RANGE);
            continue;
        }
        Keep(&result, bz_Image_Save(path, image));
    }
    return result;
}

bzMaterial *bz_Lump_CollectModelMaterials(bzLump *root, int32_t *count)
{
    bzMaterial *first = nullptr;
    for (bzModel *model = bz_Lump_CollectModelList(root, 1, nullptr, nullptr, nullptr); model;
         model = model->next)
        bz_MoveModelMaterialsToListEnd(model, &first);
    if (count)
    {
        *count = 0;
        for (bzMaterial *m = first; m; m = m->next)
            ++*count;
    }
    return first;
}

bz_IMGMAP *bz_CollectMaterialImages(bzMaterial *first, int32_t *count)
{
    bz_IMGMAP *images = nullptr;
    for (bzMaterial *material = first; material; material = material->next)
        for (int32_t l = 0; material->layers && l < material->layerCount; ++l)
        {
            bz_IMGMAP *image = material->layers[l].image;
            if (!image || image == images)
                continue;
            bz_UnlinkImgMap(image);
            bz_LinkImgMap(image);
            if (!images)
                images = image;
        }
    if (count)
    {
        *count = 0;
        for (bz_IMGMAP *i = images; i; i = i->next)
            ++*count;
    }
    return images;
}

int32_t bz_Lump_SaveResources(const char *folder, bzLump *root)
{
    if (!root)
        return bzgLastError = BZ_ERROR_INVALID_PARAMETER;
    int32_t result = 0;
    Keep(&result, bz_SaveModelRun(
                      folder, bz_Lump_CollectModelList(root, 1, nullptr, SavedLumpsOnly, nullptr)));
    Keep(&result, bz_SaveMaterialRun(
                      folder, bz_Lump_CollectMaterials(1, SavedLumpsOnly, root, nullptr, nullptr)));
    return result;
}
