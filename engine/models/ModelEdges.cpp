#include "core/Error.h"
#include "maths/Vector.h"
#include "models/Material.h"
#include "models/ModelCleanup.h"
#include "scene/Lump.h"
#include "scene/Path.h"

#include <algorithm>
#include <cfloat>
#include <map>
#include <utility>
#include <vector>

namespace
{
constexpr uint16_t kEdgeBits[3] = {0x20, 0x40, 0x80};
constexpr uint32_t kNoLines = 0x4000;

bzV3 Corner(const bzModelVertexData *data, uint32_t v)
{
    return {data->vertices[v].x, data->vertices[v].y, data->vertices[v].z};
}

// Edge k runs from corner k to corner k + 1; the corner off it is k + 2.
uint32_t Off(const bzModelPolygon &p, int32_t k)
{
    return p.v[(k + 2) % 3];
}

// A flat join or an inward fold passes; an outward ridge stays drawn.
bool Folds(const bzModelVertexData *data, const bzModelPolygon &q, int32_t qEdge,
           const bzModelPolygon &r, int32_t rEdge)
{
    const bzV3 qOff = Corner(data, Off(q, qEdge)), rOff = Corner(data, Off(r, rEdge));
    return bz_V3_Dot(&r.faceNormal, &qOff) >= r.d - FLT_EPSILON &&
           bz_V3_Dot(&q.faceNormal, &rOff) >= q.d - FLT_EPSILON &&
           bz_V3_Dot(&q.faceNormal, &r.faceNormal) >= -0.999f;
}
} // namespace

int32_t bz_MarkModelEdges(bzModel *model)
{
    if (!model)
        return bzgLastError = BZ_ERROR_NO_MODEL;
    bzModelVertexData *data = model->vertexData;
    if (!data)
        return BZ_ERROR_NO_VERTEX_DATA;
    for (int32_t i = 0; i < data->polygonCount; ++i)
        for (uint32_t v : data->polygons[i].v)
            if (v >= static_cast<uint32_t>(data->vertexCount))
                return bzgLastError = BZ_ERROR_INVALID_PARAMETER;
    // Every polygon edge by its two vertices, whichever way round.
    std::map<std::pair<uint32_t, uint32_t>, std::vector<std::pair<int32_t, int32_t>>> edges;
    for (int32_t i = 0; i < data->polygonCount; ++i)
    {
        bzModelPolygon &p = data->polygons[i];
        p.flags &= static_cast<uint16_t>(~(0x20 | 0x40 | 0x80));
        for (int32_t k = 0; k < 3; ++k)
        {
            const uint32_t a = p.v[k], b = p.v[(k + 1) % 3];
            edges[{std::min(a, b), std::max(a, b)}].push_back({i, k});
        }
    }
    // Visited by the vertex each edge starts from: edges from corner 0 (to corners 1 and 2)
    // first, then those from corner 1.
    std::vector<std::pair<uint32_t, std::pair<int32_t, int32_t>>> order;
    for (int32_t i = 0; i < data->polygonCount; ++i)
    {
        const bzModelPolygon &p = data->polygons[i];
        order.push_back({p.v[0] * 3u, {i, 0}});
        order.push_back({p.v[0] * 3u + 1, {i, 2}});
        order.push_back({p.v[1] * 3u + 2, {i, 1}});
    }
    std::stable_sort(order.begin(), order.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });
    for (const auto &[key, at] : order)
    {
        const auto [i, k] = at;
        bzModelPolygon &q = data->polygons[i];
        if ((q.flags & kEdgeBits[k]) || (q.material && (q.material->flags & kNoLines)))
            continue;
        const uint32_t a = q.v[k], b = q.v[(k + 1) % 3];
        bool hidden = false;
        for (const auto &[j, m] : edges[{std::min(a, b), std::max(a, b)}])
        {
            if (j == i)
                continue;
            bzModelPolygon &r = data->polygons[j];
            r.flags |= kEdgeBits[m];
            hidden = Folds(data, q, k, r, m) || hidden;
        }
        if (hidden)
            q.flags |= kEdgeBits[k];
    }
    bzModelPart *part = model->part;
    if (part && part->faces && data->faceToPolygon)
        for (int32_t f = 0; f < part->faceCount; ++f)
            if (data->faceToPolygon[f] < static_cast<uint32_t>(data->polygonCount))
                part->faces[f].flags = data->polygons[data->faceToPolygon[f]].flags;
    return 0;
}

void bz_AddModelLineLumps(bzLump *root)
{
    for (bzLump *at = root; at; at = bz_Lump_NextPreOrder(at, root))
    {
        const bzModel *model = at->type == BZ_LUMP_TYPE_MODEL ? bz_Lump_GetModel(at) : nullptr;
        const bzModelPart *part = model ? model->part : nullptr;
        if (!at->dynamicsElement && !at->poolSlot && part && part->faces && part->positions[0])
        {
            bzPath *path = nullptr;
            bzLump *line = bz_Lump_CreatePolyline("line", 0xFFFFFFFFu, &path);
            if (line && path)
            {
                path->flags |= 1u;
                const bzV3 *p = part->positions[0];
                for (int32_t f = 0; f < part->faceCount; ++f)
                {
                    const bzModelFace &face = part->faces[f];
                    if (face.v[0] >= static_cast<uint32_t>(part->vertexCount) ||
                        face.v[1] >= static_cast<uint32_t>(part->vertexCount) ||
                        face.v[2] >= static_cast<uint32_t>(part->vertexCount))
                        continue;
                    for (int32_t k = 0; k < 3; ++k)
                    {
                        if (face.flags & kEdgeBits[k])
                            continue;
                        const bzV3 &a = p[face.v[k]], &b = p[face.v[(k + 1) % 3]];
                        bz_Path_AppendPoint(path, a.x, a.y, a.z);
                        bz_Path_AppendPoint(path, b.x, b.y, b.z);
                    }
                }
                if (path->count > 0)
                    bz_Lump_Attach(at, line);
                else
                    bz_Lump_DestroyTree(line);
            }
        }
    }
}

float bzgSmoothAngle;

int32_t bz_AutoSmoothModelAngle(bzModel *model, float angle)
{
    if (!model || !model->vertexData)
        return bzgLastError = BZ_ERROR_INVALID_PARAMETER;
    bzgSmoothAngle = angle;
    bz_ReportError("NOT DONE YET", "AutoSmoothModel");
    return 0;
}

int32_t bz_AutoSmoothModel(bzModel *model)
{
    if (!model || !model->vertexData)
        return bzgLastError = BZ_ERROR_INVALID_PARAMETER;
    bz_ReportError("NOT DONE YET", "AutoSmoothModel");
    return 0;
}

int32_t bz_SetSmoothAngleAll(int32_t walk, bzLump *root, int32_t angle)
{
    bzgSmoothAngle = static_cast<float>(angle);
    if (walk && root)
        bz_Lump_Walk(
            root, [](bzLump *, void *) -> intptr_t { return 0; }, nullptr);
    return 0;
}
