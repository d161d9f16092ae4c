#include "models/ModelCleanup.h"

#include "core/Error.h"
#include "core/Memory.h"
#include "maths/Matrix.h"
#include "maths/Vector.h"
#include "models/ModelAccess.h"
#include "models/ModelPrepare.h"
#include "scene/Lump.h"

#include <algorithm>
#include <cmath>
#include <cfloat>
#include <cstring>
#include <vector>

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

int32_t CompareVerticesWithTolerance(const bzV3 *a, const bzV3 *b)
{
    return CompareWithTolerance(a->v, b->v);
}

int32_t bz_VerticesEqual(const bzV3 *a, const bzV3 *b)
{
    return CompareWithTolerance(a->v, b->v) == 0 ? 1 : 0;
}

namespace
{
constexpr float kSquaredEpsilon = 1.4210855e-14f;
constexpr uint32_t kRebuildAll = 0xFFFFFBF;

bool CornersInRange(const bzModelVertexData *data)
{
    for (int32_t i = 0; i < data->polygonCount; ++i)
        for (uint32_t v : data->polygons[i].v)
            if (v >= static_cast<uint32_t>(data->vertexCount))
                return false;
    return true;
}

// Vertex indices in tolerance order.
std::vector<uint32_t> SortedVertices(const bzModelVertexData *data)
{
    std::vector<uint32_t> order(static_cast<size_t>(data->vertexCount));
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = static_cast<uint32_t>(i);
    std::stable_sort(
        order.begin(), order.end(),
        [data](uint32_t a, uint32_t b)
        { return CompareWithTolerance(&data->vertices[a].x, &data->vertices[b].x) < 0; });
    return order;
}

// Turns the polygon's corners (index, texture block, colour and normal together) by one.
void TurnCorners(bzModelPolygon &p)
{
    const bzModelPolygon was = p;
    for (int32_t k = 0; k < 3; ++k)
    {
        const int32_t from = (k + 1) % 3;
        p.v[k] = was.v[from];
        std::memcpy(p.uv[k], was.uv[from], sizeof p.uv[k]);
        p.colours[k] = was.colours[from];
        p.normals[k] = was.normals[from];
    }
}

bool SameIndices(const bzModelPolygon &a, const bzModelPolygon &b)
{
    return a.v[0] == b.v[0] && a.v[1] == b.v[1] && a.v[2] == b.v[2];
}

void SetCounters(std::initializer_list<std::pair<int32_t *, int32_t>> counters)
{
    for (const auto &[counter, value] : counters)
        if (counter)
            *counter = value;
}
} // namespace

int32_t bz_CleanModelGeometry(bzModel *model, int32_t *removedVertices, int32_t *weldedVertices,
                              int32_t *degeneratePolygons, int32_t *duplicatePolygons)
{
    SetCounters({{removedVertices, 0},
                 {weldedVertices, 0},
                 {degeneratePolygons, 0},
                 {duplicatePolygons, 0}});
    if (const int32_t bad = Check(model))
        return bad;
    bzModelVertexData *data = model->vertexData;
    if (!CornersInRange(data))
        return bzgLastError = BZ_ERROR_INVALID_PARAMETER;
    // 1. Coincident vertices map to the first of their run.
    std::vector<uint32_t> map(static_cast<size_t>(data->vertexCount));
    int32_t welded = 0;
    uint32_t reference = UINT32_MAX;
    for (uint32_t v : SortedVertices(data))
    {
        if (reference != UINT32_MAX &&
            CompareWithTolerance(&data->vertices[v].x, &data->vertices[reference].x) == 0)
        {
            map[v] = reference;
            ++welded;
        }
        else
            map[v] = reference = v;
    }
    // 2. Polygons remapped, degenerate ones left out, each turned to its smallest index.
    std::vector<bzModelPolygon> kept;
    int32_t degenerate = 0;
    for (int32_t i = 0; i < data->polygonCount; ++i)
    {
        bzModelPolygon p = data->polygons[i];
        for (uint32_t &v : p.v)
            v = map[v];
        const float area = bz_PolygonArea2(&p, data->vertices);
        if (!(area * area > kSquaredEpsilon))
        {
            ++degenerate;
            continue;
        }
        while (p.v[0] > p.v[1] || p.v[0] > p.v[2])
            TurnCorners(p);
        kept.push_back(p);
    }
    // 3. Sorted by their indices; 4. nothing to do without welds, degenerate or equal ones.
    std::stable_sort(kept.begin(), kept.end(),
                     [](const bzModelPolygon &a, const bzModelPolygon &b)
                     { return std::lexicographical_compare(a.v, a.v + 3, b.v, b.v + 3); });
    bool equal = false;
    for (size_t i = 1; i < kept.size(); ++i)
        equal = equal || SameIndices(kept[i - 1], kept[i]);
    if (!welded && !degenerate && !equal)
        return 0;
    // 5. Duplicates dropped, vertices renumbered in order of use (corners last to first).
    std::vector<bzModelPolygon> polygons;
    for (const bzModelPolygon &p : kept)
        if (polygons.empty() || !SameIndices(polygons.back(), p))
            polygons.push_back(p);
    std::vector<uint32_t> renumber(static_cast<size_t>(data->vertexCount), UINT32_MAX);
    std::vector<bzModelDataVertex> vertices;
    for (bzModelPolygon &p : polygons)
        for (int32_t k = 2; k >= 0; --k)
        {
            uint32_t &slot = renumber[p.v[k]];
            if (slot == UINT32_MAX)
            {
                slot = static_cast<uint32_t>(vertices.size());
                vertices.push_back(data->vertices[p.v[k]]);
            }
            p.v[k] = slot;
        }
    // 6. The arrays replaced.
    auto *newPolygons = static_cast<bzModelPolygon *>(bz_MemAlloc(
        static_cast<uint32_t>(std::max<size_t>(polygons.size(), 1) * sizeof(bzModelPolygon)), 0));
    auto *newVertices = static_cast<bzModelDataVertex *>(bz_MemAlloc(
        static_cast<uint32_t>(std::max<size_t>(vertices.size(), 1) * sizeof(bzModelDataVertex)),
        0));
    if (!newPolygons || !newVertices)
    {
        bz_MemFree(newPolygons);
        bz_MemFree(newVertices);
        return bzgLastError = BZ_ERROR_NO_MEMORY;
    }
    std::copy(polygons.begin(), polygons.end(), newPolygons);
    std::copy(vertices.begin(), vertices.end(), newVertices);
    const int32_t removed = data->vertexCount - static_cast<int32_t>(vertices.size());
    bz_MemFree(data->polygons);
    bz_MemFree(data->vertices);
    data->polygons = newPolygons;
    data->vertices = newVertices;
    data->polygonCount = static_cast<int32_t>(polygons.size());
    data->vertexCount = static_cast<int32_t>(vertices.size());
    SetCounters({{removedVertices, removed},
                 {weldedVertices, welded},
                 {degeneratePolygons, degenerate},
                 {duplicatePolygons, static_cast<int32_t>(kept.size() - polygons.size())}});
    // 7. The part rebuilt.
    bz_PrepareModelGeometry(model, kRebuildAll);
    return 0;
}

int32_t bz_SamePolygon(const bzModelPolygon *a, const bzModelPolygon *b,
                       const bzModelDataVertex *vertices)
{
    if (a == b)
        return 1;
    if (!bz_VerticesEqual(&a->faceNormal, &b->faceNormal))
        return 0;
    for (int32_t start = 0; start < 3; ++start)
    {
        bool same = true;
        for (int32_t k = 0; k < 3 && same; ++k)
            same =
                CompareWithTolerance(&vertices[a->v[k]].x, &vertices[b->v[(start + k) % 3]].x) == 0;
        if (same)
            return 1;
    }
    return 0;
}

int32_t bz_AnalyseModelGeometry(bzModel *model, int32_t *unreferencedVertices,
                                int32_t *duplicateVertices, int32_t *degeneratePolygons,
                                int32_t *duplicatePolygons)
{
    SetCounters({{unreferencedVertices, 0},
                 {duplicateVertices, 0},
                 {degeneratePolygons, 0},
                 {duplicatePolygons, 0}});
    if (const int32_t bad = Check(model))
        return bad;
    const bzModelVertexData *data = model->vertexData;
    if (!CornersInRange(data))
        return bzgLastError = BZ_ERROR_INVALID_PARAMETER;
    std::vector<bool> named(static_cast<size_t>(data->vertexCount));
    for (int32_t i = 0; i < data->polygonCount; ++i)
        for (uint32_t v : data->polygons[i].v)
            named[v] = true;
    const std::vector<uint32_t> order = SortedVertices(data);
    int32_t duplicates = 0;
    for (size_t i = 1; i < order.size(); ++i)
        duplicates +=
            CompareWithTolerance(&data->vertices[order[i - 1]].x, &data->vertices[order[i]].x) == 0;
    int32_t degenerate = 0, same = 0;
    for (int32_t i = 0; i < data->polygonCount; ++i)
    {
        degenerate += bz_PolygonArea2(&data->polygons[i], data->vertices) < FLT_EPSILON;
        for (int32_t j = i + 1; j < data->polygonCount; ++j)
            same += bz_SamePolygon(&data->polygons[i], &data->polygons[j], data->vertices);
    }
    SetCounters({{unreferencedVertices,
                  static_cast<int32_t>(std::count(named.begin(), named.end(), false))},
                 {duplicateVertices, duplicates},
                 {degeneratePolygons, degenerate},
                 {duplicatePolygons, same}});
    return 0;
}

int32_t bz_TransformModel(bzModel *model, const bzM34 *matrix)
{
    if (!model)
        return bzgLastError = BZ_ERROR_NO_MODEL;
    if (!matrix)
        return bzgLastError = BZ_ERROR_INVALID_PARAMETER;
    if (bzModelVertexData *data = model->vertexData)
    {
        for (int32_t i = 0; i < data->vertexCount; ++i)
        {
            bzV3 p = Position(data->vertices[i]);
            bz_M34_TransformPoint(matrix, &p);
            data->vertices[i].x = p.x;
            data->vertices[i].y = p.y;
            data->vertices[i].z = p.z;
        }
        bz_PrepareModelGeometry(model, kRebuildAll);
        return 0;
    }
    bzModelPart *part = model->part;
    if (!part || !part->positions[0])
        return 0;
    bz_BeginModelAccess(BZ_ACCESS_EDIT, model);
    float box[6] = {FLT_MAX, FLT_MAX, FLT_MAX, -FLT_MAX, -FLT_MAX, -FLT_MAX};
    for (int32_t i = 0; i < part->vertexCount; ++i)
    {
        bzV3 &p = part->positions[0][i];
        bz_M34_TransformPoint(matrix, &p);
        for (int32_t k = 0; k < 3; ++k)
        {
            box[k] = std::min(box[k], p.v[k]);
            box[3 + k] = std::max(box[3 + k], p.v[k]);
        }
    }
    if (part->vertexCount > 0)
    {
        const bzV3 diagonal{box[3] - box[0], box[4] - box[1], box[5] - box[2]};
        bz_SetModelBounds(model, box, 0.5f * bz_V3_Length(&diagonal));
    }
    bz_EndModelAccess(model, 1);
    return 0;
}

int32_t bz_CentreModel(bzModel *model, bzV3 *out)
{
    if (!model)
        return bzgLastError = BZ_ERROR_NO_MODEL;
    const bzV3 centre = model->centre;
    if (out)
        *out = centre;
    bzM34 move = *bz_M34_Identity();
    move.row[3] = {-centre.x, -centre.y, -centre.z};
    return bz_TransformModel(model, &move);
}

void StripToIndexList(const bzMaterialEntry *entry, uint32_t *out)
{
    if (!entry || !out || !entry->stripIndices)
        return;
    for (uint32_t i = 0; i < entry->stripIndexCount; ++i)
    {
        const uint32_t c = entry->stripIndices[i];
        if (i < 2)
        {
            out[i] = c;
            continue;
        }
        const uint32_t a = entry->stripIndices[i - 2], b = entry->stripIndices[i - 1];
        out[i] = (a != b && b != c && a != c) ? c : (c | 0x80000000u);
    }
}

int32_t CompareVertexRecords(const bzVertexRecord *a, const bzVertexRecord *b)
{
    const float fa[10] = {a->position.x, a->position.y, a->position.z, a->normal.x, a->normal.y,
                          a->normal.z,   a->u0,         a->v0,         a->u1,       a->v1};
    const float fb[10] = {b->position.x, b->position.y, b->position.z, b->normal.x, b->normal.y,
                          b->normal.z,   b->u0,         b->v0,         b->u1,       b->v1};
    for (int32_t i = 0; i < 10; ++i)
    {
        const float d = fa[i] - fb[i];
        if (d > kTolerance)
            return 1;
        if (d < -kTolerance)
            return -1;
    }
    return 0;
}

void bz_TriangleTextureGradients(const bzVertexRecord *p0, const bzVertexRecord *p1,
                                 const bzVertexRecord *p2, bzV3 *s, bzV3 *t)
{
    if (!p0 || !p1 || !p2 || !s || !t)
        return;
    for (int32_t k = 0; k < 3; ++k)
    {
        const bzV3 e1{p1->position.v[k] - p0->position.v[k], p1->u0 - p0->u0, p1->v0 - p0->v0};
        const bzV3 e2{p2->position.v[k] - p0->position.v[k], p2->u0 - p0->u0, p2->v0 - p0->v0};
        bzV3 c;
        bz_V3_CrossInto(&e1, &e2, &c);
        if (std::fabs(c.x) > 0.0f)
        {
            s->v[k] = -c.y / c.x;
            t->v[k] = -c.z / c.x;
        }
    }
}

int32_t bz_TransformLumpModel(bzLump *lump, const bzM34 *matrix)
{
    if (!lump || !matrix)
        return bzgLastError = BZ_ERROR_INVALID_PARAMETER;
    return bz_TransformModel(bz_Lump_GetModel(lump), matrix);
}
