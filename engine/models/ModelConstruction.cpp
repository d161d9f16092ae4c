#include "models/ModelConstruction.h"

#include "core/Error.h"
#include "core/Memory.h"
#include "maths/Vector.h"
#include "models/ModelPrepare.h"

#include <cmath>
#include <cstring>
#include <type_traits>
#include <utility>

namespace
{
constexpr uint32_t kPrepareAll = 0xFFBF;
constexpr uint32_t kNone = UINT32_MAX;

int32_t Check(const bzModel *model)
{
    if (!model)
        return bzgLastError = BZ_ERROR_NO_MODEL;
    if (!model->vertexData)
        return bzgLastError = BZ_ERROR_NO_VERTEX_DATA;
    return 0;
}

// Vertex and polygon arrays grown to the given counts, their contents kept; false without
// memory (nothing changed).
bool Reserve(bzModelVertexData *d, int32_t vertices, int32_t polygons)
{
    auto grow = [](auto *&array, int32_t have, int32_t want) -> bool
    {
        using T = std::remove_reference_t<decltype(*array)>;
        if (want <= have)
            return true;
        auto *bigger = static_cast<T *>(bz_MemAlloc(
            static_cast<uint32_t>(want) * static_cast<uint32_t>(sizeof(T)), BZ_MEM_CLEAR));
        if (!bigger)
            return false;
        if (array && have > 0)
            std::memcpy(static_cast<void *>(bigger), array, static_cast<size_t>(have) * sizeof(T));
        bz_MemFree(array);
        array = bigger;
        return true;
    };
    return grow(d->vertices, d->vertexCount, vertices) &&
           grow(d->polygons, d->polygonCount, polygons);
}

bzV3 Moved(const bzModelDataVertex &v, const bzM34 *matrix)
{
    const bzV3 p = {v.x, v.y, v.z};
    bzV3 out;
    bz_M34_TransformPointInto(matrix, &out, &p);
    return out;
}

// The first of the vertices within 0.0001 of the point, else the point appended.
uint32_t FindOrAppend(bzModelVertexData *d, const bzV3 &p)
{
    for (int32_t i = 0; i < d->vertexCount; ++i)
        if (std::fabs(d->vertices[i].x - p.x) <= 0.0001f &&
            std::fabs(d->vertices[i].y - p.y) <= 0.0001f &&
            std::fabs(d->vertices[i].z - p.z) <= 0.0001f)
            return static_cast<uint32_t>(i);
    bzModelDataVertex &v = d->vertices[d->vertexCount];
    std::memset(&v, 0, sizeof v);
    v.x = p.x;
    v.y = p.y;
    v.z = p.z;
    return static_cast<uint32_t>(d->vertexCount++);
}

void Wall(bzModelPolygon &p, uint32_t a, uint32_t b, uint32_t c)
{
    std::memset(&p, 0, sizeof p);
    p.v[0] = a;
    p.v[1] = b;
    p.v[2] = c;
    p.smoothing = 1;
    for (uint32_t &colour : p.colours)
        colour = 0xFFFFFFFFu;
}

int32_t Finish(bzModel *model, int32_t prepare)
{
    return prepare ? bz_PrepareModelGeometry(model, kPrepareAll) : 0;
}

uint32_t *NewMap(int32_t count)
{
    auto *map =
        static_cast<uint32_t *>(bz_MemAlloc(static_cast<uint32_t>(count > 0 ? count : 1) * 4u, 0));
    if (map)
        std::memset(map, 0xFF, static_cast<size_t>(count > 0 ? count : 1) * 4u);
    return map;
}
} // namespace

int32_t bz_ResetPolygonFlags(bzModel *model)
{
    if (const int32_t bad = Check(model))
        return bad;
    for (int32_t i = 0; i < model->vertexData->polygonCount; ++i)
        model->vertexData->polygons[i].smoothing = 0;
    return bz_PrepareModelGeometry(model, kPrepareAll);
}

int32_t bz_ExtrudeModelEdges(bzModel *model, const uint32_t *edges, int32_t count,
                             const bzM34 *matrix, int32_t prepare)
{
    if (const int32_t bad = Check(model))
        return bad;
    bzModelVertexData *d = model->vertexData;
    if (count <= 0 || !edges || !matrix)
        return Finish(model, prepare);
    const int32_t oldCount = d->vertexCount;
    for (int32_t e = 0; e < 2 * count; ++e)
        if (edges[e] >= static_cast<uint32_t>(oldCount))
            return bzgLastError = BZ_ERROR_INVALID_PARAMETER;
    uint32_t *copy = NewMap(oldCount);
    if (!copy || !Reserve(d, oldCount + 2 * count, d->polygonCount + 2 * count))
    {
        bz_MemFree(copy);
        return bzgLastError = BZ_ERROR_NO_MEMORY;
    }
    for (int32_t e = 0; e < 2 * count; ++e)
        if (copy[edges[e]] == kNone)
        {
            const bzV3 p = Moved(d->vertices[edges[e]], matrix);
            bzModelDataVertex &v = d->vertices[d->vertexCount];
            std::memset(&v, 0, sizeof v);
            v.x = p.x;
            v.y = p.y;
            v.z = p.z;
            copy[edges[e]] = static_cast<uint32_t>(d->vertexCount++);
        }
    for (int32_t e = 0; e < count; ++e)
    {
        const uint32_t a = edges[2 * e], b = edges[2 * e + 1];
        Wall(d->polygons[d->polygonCount++], a, b, copy[b]);
        Wall(d->polygons[d->polygonCount++], a, copy[b], copy[a]);
    }
    bz_MemFree(copy);
    return Finish(model, prepare);
}

int32_t bz_CopyFlaggedPolygons(bzModel *model, const bzM34 *matrix, int32_t prepare, int32_t flip)
{
    if (!model || !model->vertexData || !matrix)
        return 0;
    bzModelVertexData *d = model->vertexData;
    int32_t selected = 0;
    for (int32_t i = 0; i < d->polygonCount; ++i)
        if (d->polygons[i].flags & BZ_POLYGON_COPY)
            ++selected;
    if (selected == 0)
        return 0;
    const int32_t oldVertices = d->vertexCount, oldPolygons = d->polygonCount;
    uint32_t *moved = NewMap(oldVertices);
    if (!moved || !Reserve(d, oldVertices + 3 * selected, oldPolygons + selected))
    {
        bz_MemFree(moved);
        return bzgLastError = BZ_ERROR_NO_MEMORY;
    }
    for (int32_t i = oldPolygons - 1; i >= 0; --i)
    {
        if (!(d->polygons[i].flags & BZ_POLYGON_COPY))
            continue;
        bzModelPolygon copy = d->polygons[i];
        for (uint32_t &v : copy.v)
        {
            if (moved[v] == kNone)
                moved[v] = FindOrAppend(d, Moved(d->vertices[v], matrix));
            v = moved[v];
        }
        if (flip)
            std::swap(copy.v[0], copy.v[1]);
        d->polygons[d->polygonCount++] = copy;
    }
    bz_MemFree(moved);
    // The vertex array shrinks to what was used.
    auto *fitted = static_cast<bzModelDataVertex *>(bz_MemAlloc(
        static_cast<uint32_t>(d->vertexCount) * static_cast<uint32_t>(sizeof(bzModelDataVertex)),
        0));
    if (fitted)
    {
        std::memcpy(fitted, d->vertices, static_cast<size_t>(d->vertexCount) * sizeof *fitted);
        bz_MemFree(d->vertices);
        d->vertices = fitted;
    }
    return Finish(model, prepare);
}

int32_t bz_ExtrudeFlaggedPolygons(bzModel *model, const bzM34 *matrix, int32_t prepare)
{
    if (const int32_t bad = Check(model))
        return bad;
    bzModelVertexData *d = model->vertexData;
    const int32_t polygons = d->polygonCount, vertices = d->vertexCount;
    auto selected = [d](int32_t i) { return (d->polygons[i].flags & BZ_POLYGON_SEARCHED) != 0; };
    // The polygon across each edge: one that uses the edge's two vertices, in either order.
    auto neighbour = [&](int32_t i, int32_t edge) -> int32_t
    {
        const uint32_t a = d->polygons[i].v[edge], b = d->polygons[i].v[(edge + 1) % 3];
        for (int32_t j = 0; j < polygons; ++j)
        {
            if (j == i)
                continue;
            const uint32_t *v = d->polygons[j].v;
            for (int32_t k = 0; k < 3; ++k)
            {
                const uint32_t p = v[k], q = v[(k + 1) % 3];
                if ((p == a && q == b) || (p == b && q == a))
                    return j;
            }
        }
        return -1;
    };
    int32_t borders = 0, count = 0;
    for (int32_t i = 0; i < polygons; ++i)
    {
        d->polygons[i].flags &= static_cast<uint16_t>(~BZ_POLYGON_BORDER_EDGES);
        if (!selected(i))
            continue;
        ++count;
        for (int32_t edge = 0; edge < 3; ++edge)
        {
            const int32_t other = neighbour(i, edge);
            if (other < 0 || !selected(other))
            {
                d->polygons[i].flags |= static_cast<uint16_t>(0x4 << edge);
                ++borders;
            }
        }
    }
    if (count == 0 || !matrix)
        return Finish(model, prepare);
    uint32_t *moved = NewMap(vertices);
    if (!moved || !Reserve(d, vertices + 3 * count, polygons + 2 * borders))
    {
        bz_MemFree(moved);
        return bzgLastError = BZ_ERROR_NO_MEMORY;
    }
    for (int32_t i = 0; i < polygons; ++i)
    {
        if (!selected(i))
            continue;
        const bzModelPolygon old = d->polygons[i];
        for (uint32_t &v : d->polygons[i].v)
        {
            if (moved[v] == kNone)
                moved[v] = FindOrAppend(d, Moved(d->vertices[v], matrix));
            v = moved[v];
        }
        for (int32_t edge = 0; edge < 3; ++edge)
        {
            if (!(old.flags & (0x4 << edge)))
                continue;
            const uint32_t a = old.v[edge], b = old.v[(edge + 1) % 3];
            Wall(d->polygons[d->polygonCount], a, b, moved[b]);
            d->polygons[d->polygonCount++].smoothing = 0;
            Wall(d->polygons[d->polygonCount], a, moved[b], moved[a]);
            d->polygons[d->polygonCount++].smoothing = 0;
        }
    }
    bz_MemFree(moved);
    return Finish(model, prepare);
}
