#include "models/ModelCleanup.h"

#include "core/Error.h"
#include "core/Memory.h"
#include "maths/Vector.h"

#include <algorithm>
#include <cfloat>
#include <cstring>

namespace
{
constexpr float kTolerance = 0.0001f;

// 1, -1 or 0 with the position tolerance, x then y then z.
int32_t CompareWithTolerance(const float *a, const float *b)
{
    for (int32_t k = 0; k < 3; ++k)
    {
        const float d = a[k] - b[k];
        if (d > kTolerance)
            return 1;
        if (d < -kTolerance)
            return -1;
    }
    return 0;
}

struct Corner
{
    float p[3];
    uint32_t polygon;
    uint32_t corner;
};

int32_t Check(bzModel *model)
{
    if (!model)
        return BZ_ERROR_NO_MODEL;
    if (!model->vertexData)
        return BZ_ERROR_NO_VERTEX_DATA;
    return 0;
}

bzV3 Position(const bzModelDataVertex &v)
{
    return {v.x, v.y, v.z};
}
} // namespace

float bz_PolygonArea2(const bzModelPolygon *polygon, const bzModelDataVertex *vertices)
{
    const bzV3 p0 = Position(vertices[polygon->v[0]]);
    const bzV3 p1 = Position(vertices[polygon->v[1]]);
    const bzV3 p2 = Position(vertices[polygon->v[2]]);
    bzV3 a, b, c;
    bz_V3_SubInto(&p0, &p1, &a);
    bz_V3_SubInto(&p0, &p2, &b);
    bz_V3_CrossInto(&a, &b, &c);
    return bz_V3_Length(&c);
}

int32_t bz_WeldModelVertices(bzModel *model)
{
    if (const int32_t bad = Check(model))
        return bad;
    bzModelVertexData *data = model->vertexData;
    const uint32_t polygons = static_cast<uint32_t>(data->polygonCount);
    if (polygons == 0 || !data->polygons)
        return 0;
    for (uint32_t i = 0; i < polygons; ++i)
        for (uint32_t v : data->polygons[i].v)
            if (v >= static_cast<uint32_t>(data->vertexCount))
                return bzgLastError = BZ_ERROR_INVALID_PARAMETER;
    const uint32_t count = 3 * polygons;
    auto *corners = static_cast<Corner *>(bz_MemAlloc(count * sizeof(Corner), 0));
    if (!corners)
        return bzgLastError = BZ_ERROR_NO_MEMORY;
    for (uint32_t i = 0; i < polygons; ++i)
        for (uint32_t k = 0; k < 3; ++k)
        {
            const bzModelDataVertex &dv = data->vertices[data->polygons[i].v[k]];
            corners[3 * i + k] = {{dv.x, dv.y, dv.z}, i, k};
        }
    // A stable merge sort never leaves the array, whatever the tolerance does to the order.
    std::stable_sort(corners, corners + count,
                     [](const Corner &a, const Corner &b)
                     { return CompareWithTolerance(a.p, b.p) < 0; });
    uint32_t n = 0;
    for (uint32_t i = 0; i < count; ++i)
    {
        if (i > 0 && CompareWithTolerance(corners[i].p, corners[n].p) != 0)
            corners[++n] = corners[i];
        // Places up to n are rewritten, but n never passes i: record i is still its own.
        data->polygons[corners[i].polygon].v[corners[i].corner] = n;
    }
    auto *vertices = static_cast<bzModelDataVertex *>(
        bz_MemAlloc((n + 1) * static_cast<uint32_t>(sizeof(bzModelDataVertex)), BZ_MEM_CLEAR));
    if (!vertices)
    {
        bz_MemFree(corners);
        return bzgLastError = BZ_ERROR_NO_MEMORY;
    }
    for (uint32_t i = 0; i <= n; ++i)
    {
        vertices[i].x = corners[i].p[0];
        vertices[i].y = corners[i].p[1];
        vertices[i].z = corners[i].p[2];
    }
    bz_MemFree(corners);
    if (data->vertices)
        bz_MemFree(data->vertices);
    data->vertices = vertices;
    data->vertexCount = static_cast<int32_t>(n + 1);
    return 0;
}

int32_t bz_RemoveUnreferencedVertices(bzModel *model)
{
    if (const int32_t bad = Check(model))
        return bad;
    bzModelVertexData *data = model->vertexData;
    const uint32_t count = static_cast<uint32_t>(data->vertexCount);
    if (count == 0)
        return 0;
    auto *map = static_cast<uint32_t *>(bz_MemAlloc(count * 4u, BZ_MEM_CLEAR));
    if (!map)
        return bzgLastError = BZ_ERROR_NO_MEMORY;
    for (int32_t i = 0; i < data->polygonCount; ++i)
        for (uint32_t v : data->polygons[i].v)
            if (v < count)
                map[v] = 1;
    uint32_t kept = 0;
    for (uint32_t i = 0; i < count; ++i)
        map[i] = map[i] ? kept++ : UINT32_MAX;
    if (kept == count)
    {
        bz_MemFree(map);
        return 0;
    }
    bzModelDataVertex *vertices = nullptr;
    if (kept > 0)
    {
        vertices = static_cast<bzModelDataVertex *>(
            bz_MemAlloc(kept * static_cast<uint32_t>(sizeof(bzModelDataVertex)), 0));
        if (!vertices)
        {
            bz_MemFree(map);
            return bzgLastError = BZ_ERROR_NO_MEMORY;
        }
        for (uint32_t i = 0; i < count; ++i)
            if (map[i] != UINT32_MAX)
                vertices[map[i]] = data->vertices[i];
    }
    for (int32_t i = 0; i < data->polygonCount; ++i)
        for (uint32_t &v : data->polygons[i].v)
            if (v < count)
                v = map[v];
    bz_MemFree(map);
    bz_MemFree(data->vertices);
    data->vertices = vertices;
    data->vertexCount = static_cast<int32_t>(kept);
    return 0;
}

int32_t bz_RemoveDegeneratePolygons(bzModel *model)
{
    if (const int32_t bad = Check(model))
        return bad;
    bzModelVertexData *data = model->vertexData;
    int32_t kept = 0;
    for (int32_t i = 0; i < data->polygonCount; ++i)
        if (bz_PolygonArea2(&data->polygons[i], data->vertices) > FLT_EPSILON)
            ++kept;
    if (kept == 0 || kept == data->polygonCount)
        return 0;
    auto *polygons = static_cast<bzModelPolygon *>(bz_MemAlloc(
        static_cast<uint32_t>(kept) * static_cast<uint32_t>(sizeof(bzModelPolygon)), 0));
    if (!polygons)
        return bzgLastError = BZ_ERROR_NO_MEMORY;
    int32_t n = 0;
    for (int32_t i = 0; i < data->polygonCount; ++i)
        if (bz_PolygonArea2(&data->polygons[i], data->vertices) > FLT_EPSILON)
            polygons[n++] = data->polygons[i];
    bz_MemFree(data->polygons);
    data->polygons = polygons;
    data->polygonCount = kept;
    return 0;
}
