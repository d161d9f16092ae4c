#include "core/Error.h"
#include "core/Memory.h"
#include "maths/Matrix.h"
#include "maths/Vector.h"
#include "models/ModelCleanup.h"
#include "models/ModelPrepare.h"
#include "scene/Lump.h"

#include <cstring>

bzModel *bzgMergeModel;

namespace
{
constexpr uint32_t kRebuildAll = 0xFFFFFBF;

template <typename T> bool Grow(T **array, int32_t count, int32_t more)
{
    auto *grown = static_cast<T *>(
        bz_MemAlloc(static_cast<uint32_t>((count + more) * sizeof(T)), BZ_MEM_CLEAR));
    if (!grown)
        return false;
    if (*array)
        std::memcpy(grown, *array, static_cast<size_t>(count) * sizeof(T));
    bz_MemFree(*array);
    *array = grown;
    return true;
}

// Appends the lump's model's geometry, placed by the matrix, to the merge target; a non-zero
// result ends the walk without memory.
intptr_t Append(bzLump *lump, const bzM34 *matrix, void *)
{
    const bzModel *model = bz_Lump_GetModel(lump);
    const bzModelVertexData *from = model ? model->vertexData : nullptr;
    if (!(lump->flags & BZ_LUMP_ACTIVE) || !from || model == bzgMergeModel)
        return 0;
    bzModelVertexData *to = bzgMergeModel->vertexData;
    const int32_t base = to->vertexCount;
    if (!Grow(&to->vertices, to->vertexCount, from->vertexCount) ||
        !Grow(&to->polygons, to->polygonCount, from->polygonCount))
        return 1;
    for (int32_t v = 0; v < from->vertexCount; ++v)
    {
        bzV3 p{from->vertices[v].x, from->vertices[v].y, from->vertices[v].z};
        bz_M34_TransformPoint(matrix, &p);
        bzModelDataVertex &out = to->vertices[base + v];
        out.x = p.x;
        out.y = p.y;
        out.z = p.z;
    }
    for (int32_t i = 0; i < from->polygonCount; ++i)
    {
        bzModelPolygon p = from->polygons[i];
        for (uint32_t &v : p.v)
            v += static_cast<uint32_t>(base);
        to->polygons[to->polygonCount + i] = p;
    }
    to->vertexCount += from->vertexCount;
    to->polygonCount += from->polygonCount;
    return 0;
}
} // namespace

bzLump *bz_MergeLumpModels(bzLump *root, const char *name)
{
    bzLump *lump = bz_Lump_Create(BZ_LUMP_TYPE_MODEL, root ? root->name : nullptr);
    bzModel *model = lump ? bz_CreateModel(0, 1) : nullptr;
    if (!model)
    {
        if (lump)
            bz_Lump_Destroy(lump);
        bzgLastError = BZ_ERROR_NO_MEMORY;
        return nullptr;
    }
    bzgMergeModel = model;
    bool fits = true;
    if (root)
        fits = bz_Lump_WalkWithMatrix(root, Append, bz_M34_Identity(), nullptr) == 0;
    if (name)
    {
        std::strncpy(model->name, name, sizeof model->name - 1);
        model->name[sizeof model->name - 1] = '\0';
    }
    const bzModelVertexData *data = model->vertexData;
    if (!fits || data->polygonCount == 0 || data->vertexCount == 0)
    {
        bz_Lump_Destroy(lump);
        bz_ReleaseModel(model);
        bzgMergeModel = nullptr;
        if (!fits)
            bzgLastError = BZ_ERROR_NO_MEMORY;
        return nullptr;
    }
    lump->object = model;
    bz_WeldModelVertices(model);
    bz_RemoveDegeneratePolygons(model);
    bz_RemoveUnreferencedVertices(model);
    bz_PrepareModelGeometry(model, kRebuildAll);
    return lump;
}
