#include "display/ModelExport.h"

#include "core/Error.h"
#include "files/File.h"
#include "models/ModelFile.h"

#include <cstdio>
#include <cstring>

char bzgModel_exportFolder[BZ_EXPORT_FOLDER_SIZE];

namespace
{
int32_t gFirstError;

void SetFolder(const char *folder)
{
    std::snprintf(bzgModel_exportFolder, sizeof bzgModel_exportFolder, "%s", folder ? folder : "");
}
} // namespace

intptr_t SaveLumpModel(bzLump *lump, void *packed)
{
    if (!lump || (lump->type != BZ_LUMP_TYPE_MODEL && lump->type != BZ_LUMP_TYPE_SKINNED_MODEL))
        return 0;
    bzModel *model = bz_Lump_GetModel(lump);
    const char *name = bz_Lump_GetObjectName(lump);
    if (!model || !name || !name[0])
        return 0;
    const auto word = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(packed));
    // Polygons without a material take the lump's counted override while they are written.
    bzMaterial *override =
        lump->material && !(lump->flags & BZ_LUMP_UNCOUNTED) ? lump->material : nullptr;
    bzModelVertexData *data = model->vertexData;
    if (override && data)
        for (int32_t i = 0; i < data->polygonCount; ++i)
            if (!data->polygons[i].material)
            {
                data->polygons[i].material = override;
                data->polygons[i].flags |= 0x0100; // given for the write
            }
    char path[BZ_FILE_PATH_SIZE + BZ_EXPORT_FOLDER_SIZE];
    std::snprintf(path, sizeof path, "%s", bzgModel_exportFolder);
    bz_AppendBackslash(path);
    const size_t used = std::strlen(path);
    std::snprintf(path + used, sizeof path - used, "%s", name);
    const int32_t result = bz_SaveModel(path, model, static_cast<int32_t>(word & 0xFFFF),
                                        static_cast<int32_t>(word >> 16));
    if (result != 0 && gFirstError == 0)
        gFirstError = result;
    if (override && data)
        for (int32_t i = 0; i < data->polygonCount; ++i)
            if (data->polygons[i].flags & 0x0100)
            {
                data->polygons[i].material = nullptr;
                data->polygons[i].flags &= static_cast<uint16_t>(~0x0100);
            }
    return 0;
}

int32_t bz_SaveLumpModels(const char *folder, bzLump *lump, int32_t withAppData,
                          int32_t withPrepData)
{
    if (!lump)
        return 0;
    gFirstError = 0;
    void *packed = reinterpret_cast<void *>(
        static_cast<uintptr_t>((static_cast<uint32_t>(withAppData) & 0xFFFF) |
                               (static_cast<uint32_t>(withPrepData) << 16)));
    if (lump->type == BZ_LUMP_TYPE_LOD)
    {
        // Room for "LOD<i>\" behind the folder.
        char base[BZ_EXPORT_FOLDER_SIZE - 16];
        std::snprintf(base, sizeof base, "%s", bz_GetPathDrive(folder ? folder : ""));
        const size_t used = std::strlen(base);
        std::snprintf(base + used, sizeof base - used, "%s",
                      bz_GetPathDirectory(folder ? folder : ""));
        int32_t i = 0;
        for (bzLump *child = lump->firstChild; child; child = child->next, ++i)
        {
            std::snprintf(bzgModel_exportFolder, sizeof bzgModel_exportFolder, "%.239sLOD%i\\",
                          base, i % 10000);
            bz_MakeDirectory(bzgModel_exportFolder);
            bz_Lump_Walk(child, SaveLumpModel, packed);
        }
    }
    else
    {
        SetFolder(folder);
        bz_Lump_Walk(lump, SaveLumpModel, packed);
    }
    return gFirstError;
}
