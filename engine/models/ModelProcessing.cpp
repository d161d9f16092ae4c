#include "models/ModelProcessing.h"

#include "core/Debug.h"
#include "core/Error.h"
#include "core/Memory.h"
#include "device/RenderTable.h"

#include <cmath>
#include <cstring>
#include <initializer_list>

namespace
{
constexpr float kTol = BZ_MODEL_POSITION_TOLERANCE;

bzV3 Sub(const bzV3 &a, const bzV3 &b)
{
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}

bzV3 Cross(const bzV3 &a, const bzV3 &b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

float Dot(const bzV3 &a, const bzV3 &b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

bzV3 Position(const bzModelVertexData *data, uint32_t index)
{
    BZ_ASSERT(index < static_cast<uint32_t>(data->vertexCount));
    if (index >= static_cast<uint32_t>(data->vertexCount))
        return {0.0f, 0.0f, 0.0f};
    const bzModelDataVertex &v = data->vertices[index];
    return {v.x, v.y, v.z};
}

// The unit vector, or false for a zero length.
bool Normalise(bzV3 *v)
{
    const float length = std::sqrt(Dot(*v, *v));
    if (!(length > 0.0f))
        return false;
    *v = {v->x / length, v->y / length, v->z / length};
    return true;
}

// One face corner while normals are smoothed.
struct Corner
{
    bzV3 position;
    uint32_t mask;
    bzV3 *normal; // the corner normal in its polygon
    bzV3 faceNormal;
};

// Orders corners by position with the smoothing tolerance (x, then y, then z), then by mask.
int32_t CompareCorners(const Corner &a, const Corner &b)
{
    const float d[3] = {a.position.x - b.position.x, a.position.y - b.position.y,
                        a.position.z - b.position.z};
    for (float v : d)
    {
        if (v > kTol)
            return 1;
        if (-v > kTol)
            return -1;
    }
    return a.mask < b.mask ? -1 : (a.mask > b.mask ? 1 : 0);
}

// Quicksort with the middle element as pivot; partitions of 8 or fewer are sorted by moving
// their largest element to their end. Every index stays inside the array whatever the
// comparison answers (the tolerance makes it intransitive).
void SortCorners(uint32_t *order, int32_t n, const Corner *corners)
{
    auto cmp = [&](uint32_t a, uint32_t b) { return CompareCorners(corners[a], corners[b]); };
    while (n > 8)
    {
        const uint32_t pivot = order[n / 2];
        int32_t i = 0, j = n - 1;
        while (i <= j)
        {
            while (i < n && cmp(order[i], pivot) < 0)
                ++i;
            while (j >= 0 && cmp(order[j], pivot) > 0)
                --j;
            if (i <= j)
            {
                const uint32_t t = order[i];
                order[i] = order[j];
                order[j] = t;
                ++i;
                --j;
            }
        }
        // The smaller side recursively, the larger one in this loop.
        if (j + 1 < n - i)
        {
            SortCorners(order, j + 1, corners);
            order += i;
            n -= i;
        }
        else
        {
            SortCorners(order + i, n - i, corners);
            n = j + 1;
        }
    }
    for (int32_t m = n; m > 1; --m)
    {
        int32_t best = 0;
        for (int32_t k = 1; k < m; ++k)
            if (cmp(order[k], order[best]) > 0)
                best = k;
        const uint32_t t = order[best];
        order[best] = order[m - 1];
        order[m - 1] = t;
    }
}

bool Near(const bzV3 &a, const bzV3 &b)
{
    return std::fabs(a.x - b.x) <= kTol && std::fabs(a.y - b.y) <= kTol &&
           std::fabs(a.z - b.z) <= kTol;
}

// Sorts vertex indices with CompareWeldPositions (heap order, any comparison answer is safe).
void SortWeld(uint32_t *order, int32_t n, const bzModelPart *part)
{
    auto less = [&](uint32_t a, uint32_t b) { return CompareWeldPositions(part, a, b) < 0; };
    auto sift = [&](int32_t root, int32_t end)
    {
        for (;;)
        {
            int32_t child = 2 * root + 1;
            if (child >= end)
                return;
            if (child + 1 < end && less(order[child], order[child + 1]))
                ++child;
            if (!less(order[root], order[child]))
                return;
            const uint32_t t = order[root];
            order[root] = order[child];
            order[child] = t;
            root = child;
        }
    };
    for (int32_t i = n / 2 - 1; i >= 0; --i)
        sift(i, n);
    for (int32_t end = n - 1; end > 0; --end)
    {
        const uint32_t t = order[0];
        order[0] = order[end];
        order[end] = t;
        sift(0, end);
    }
}
} // namespace

int32_t ComputeModelFacePlanes(bzModel *model)
{
    bzModelVertexData *data = model ? model->vertexData : nullptr;
    if (!data || !data->polygons)
        return 0;
    for (int32_t f = 0; f < data->polygonCount; ++f)
    {
        bzModelPolygon &poly = data->polygons[f];
        const uint32_t *c = poly.v;
        if (c[0] == c[1] || c[0] == c[2])
        {
            if (c[1] == c[2])
                poly.faceNormal = poly.normals[0];
            else if (c[0] == c[2])
                poly.faceNormal = poly.normals[1];
            else
                poly.faceNormal = poly.normals[2];
        }
        else if (c[1] == c[2])
            poly.faceNormal = poly.normals[0];
        else
        {
            const bzV3 p0 = Position(data, c[0]);
            bzV3 n = Cross(Sub(p0, Position(data, c[1])), Sub(p0, Position(data, c[2])));
            const float length = std::sqrt(Dot(n, n));
            if (length > 1.1920929e-07f)
            {
                poly.faceNormal = {n.x / length, n.y / length, n.z / length};
                poly.degenerate = 0;
            }
            else
            {
                poly.faceNormal = {0.0f, 0.0f, 1.0f};
                poly.degenerate = 1;
            }
        }
        poly.d = Dot(poly.faceNormal, Position(data, c[0]));
    }
    return 0;
}

int32_t SmoothModelCornerNormals(bzModel *model)
{
    bzModelVertexData *data = model ? model->vertexData : nullptr;
    if (!data || !data->polygons || data->polygonCount <= 0)
        return 0;
    if (model->flags & BZ_MODEL_RADIAL_NORMALS)
    {
        for (int32_t f = 0; f < data->polygonCount; ++f)
        {
            bzModelPolygon &poly = data->polygons[f];
            for (int32_t k = 0; k < 3; ++k)
            {
                bzV3 n = Position(data, poly.v[k]);
                // A vertex at the origin has no direction; it takes the face normal.
                if (!Normalise(&n))
                    n = poly.faceNormal;
                poly.normals[k] = n;
            }
        }
        return 0;
    }
    const int32_t n = 3 * data->polygonCount;
    auto *corners = static_cast<Corner *>(
        bz_MemAlloc(static_cast<uint32_t>(n) * static_cast<uint32_t>(sizeof(Corner)), 0));
    auto *order = static_cast<uint32_t *>(bz_MemAlloc(static_cast<uint32_t>(n) * 4u, 0));
    if (!corners || !order)
    {
        // Without work memory every corner keeps its face normal.
        for (int32_t f = 0; f < data->polygonCount; ++f)
            for (bzV3 &c : data->polygons[f].normals)
                c = data->polygons[f].faceNormal;
        if (corners)
            bz_MemFree(corners);
        if (order)
            bz_MemFree(order);
        bzgLastError = BZ_ERROR_NO_MEMORY;
        return 0;
    }
    const bool oneGroup = data->userWord & BZ_VDATA_ONE_SMOOTHING_GROUP;
    for (int32_t f = 0; f < data->polygonCount; ++f)
    {
        bzModelPolygon &poly = data->polygons[f];
        for (int32_t k = 0; k < 3; ++k)
        {
            poly.normals[k] = poly.faceNormal;
            Corner &c = corners[3 * f + k];
            c.position = Position(data, poly.v[k]);
            c.mask = oneGroup ? 1u : poly.smoothing;
            c.normal = &poly.normals[k];
            c.faceNormal = poly.faceNormal;
            order[3 * f + k] = static_cast<uint32_t>(3 * f + k);
        }
    }
    SortCorners(order, n, corners);
    for (int32_t start = 0; start < n;)
    {
        int32_t end = start + 1;
        while (end < n && Near(corners[order[end]].position, corners[order[start]].position))
            ++end;
        for (int32_t i = start; i < end; ++i)
        {
            Corner &ci = corners[order[i]];
            for (int32_t j = start; j < end; ++j)
            {
                if (j == i)
                    continue;
                const Corner &cj = corners[order[j]];
                if (!(ci.mask & cj.mask))
                    continue;
                ci.mask |= cj.mask;
                ci.normal->x += cj.faceNormal.x;
                ci.normal->y += cj.faceNormal.y;
                ci.normal->z += cj.faceNormal.z;
            }
        }
        start = end;
    }
    for (int32_t i = 0; i < n; ++i)
        if (!Normalise(corners[i].normal))
            *corners[i].normal = corners[i].faceNormal;
    bz_MemFree(order);
    bz_MemFree(corners);
    return 0;
}

int32_t ComputeModelBounds(bzModel *model)
{
    BZ_ASSERT(model);
    if (!model)
        return 0;
    const bzModelVertexData *data = model->vertexData;
    if (!data || !data->vertices || data->vertexCount <= 0)
    {
        model->boxMin = model->boxMax = model->centre = {0.0f, 0.0f, 0.0f};
        model->radius = 0.0f;
        return 0;
    }
    const bzV3 first = Position(data, 0);
    bzV3 lo = {first.x - 0.001f, first.y - 0.001f, first.z - 0.001f};
    bzV3 hi = {first.x + 0.001f, first.y + 0.001f, first.z + 0.001f};
    for (int32_t i = 0; i < data->vertexCount; ++i)
    {
        const bzV3 p = Position(data, static_cast<uint32_t>(i));
        const float pv[3] = {p.x, p.y, p.z};
        float *lv[3] = {&lo.x, &lo.y, &lo.z};
        float *hv[3] = {&hi.x, &hi.y, &hi.z};
        for (int32_t a = 0; a < 3; ++a)
        {
            if (pv[a] > *hv[a])
                *hv[a] = pv[a];
            else if (pv[a] < *lv[a])
                *lv[a] = pv[a];
        }
    }
    model->boxMin = lo;
    model->boxMax = hi;
    model->centre = {(lo.x + hi.x) * 0.5f, (lo.y + hi.y) * 0.5f, (lo.z + hi.z) * 0.5f};
    float largest = 0.0f;
    for (int32_t i = 0; i < data->vertexCount; ++i)
    {
        const bzV3 d = Sub(Position(data, static_cast<uint32_t>(i)), model->centre);
        const float d2 = Dot(d, d);
        largest = d2 > largest ? d2 : largest;
    }
    model->radius = std::sqrt(largest);
    return 0;
}

int32_t CompareWeldPositions(const bzModelPart *part, uint32_t a, uint32_t b)
{
    const bzV3 &pa = part->positions[0][a];
    const bzV3 &pb = part->positions[0][b];
    const float d[3] = {pa.x - pb.x, pa.y - pb.y, pa.z - pb.z};
    for (float v : d)
        if (std::fabs(v) >= kTol)
            return v > 0.0f ? 1 : -1;
    return 0;
}

int32_t bz_BuildModelShadowEdges(bzModel *model)
{
    bzModelPart *part = model ? model->part : nullptr;
    if (!part)
        return BZ_ERROR_NO_MODEL_PART;
    part->flags |= BZ_PART_SHADOW_WELDED;
    const int32_t vertices = part->positions[0] ? part->vertexCount : 0;
    const int32_t faceCount = part->faces ? part->faceCount : 0;
    auto *order =
        static_cast<uint32_t *>(bz_MemAlloc(static_cast<uint32_t>(vertices) * 4u + 4u, 0));
    auto *weld = static_cast<uint32_t *>(bz_MemAlloc(static_cast<uint32_t>(vertices) * 4u + 4u, 0));
    auto *faces = static_cast<bzShadowFace *>(bz_MemAlloc(
        static_cast<uint32_t>(faceCount) * static_cast<uint32_t>(sizeof(bzShadowFace)) + 4u,
        BZ_MEM_CLEAR));
    int32_t result = 0;
    if (!order || !weld || !faces)
        result = bzgLastError = BZ_ERROR_NO_MEMORY;
    else
    {
        for (int32_t i = 0; i < vertices; ++i)
            order[i] = static_cast<uint32_t>(i);
        SortWeld(order, vertices, part);
        for (int32_t start = 0; start < vertices;)
        {
            int32_t end = start;
            // A run: the following vertices within the tolerance of its first.
            while (end < vertices && CompareWeldPositions(part, order[end], order[start]) == 0)
                weld[order[end++]] = order[start];
            start = end;
        }
        // Corners naming a vertex outside the part weld to themselves and match nothing.
        auto welded = [&](uint32_t v)
        {
            BZ_ASSERT(v < static_cast<uint32_t>(vertices));
            return v < static_cast<uint32_t>(vertices) ? weld[v] : 0xFFFFFFFFu;
        };
        for (int32_t f = 0; f < faceCount; ++f)
            for (int32_t k = 0; k < 3; ++k)
            {
                faces[f].corners[k] = part->faces[f].v[k];
                faces[f].welded[k] = welded(part->faces[f].v[k]);
            }
        int32_t seamTriangles = 0;
        for (int32_t i = 0; i < faceCount; ++i)
        {
            bzShadowFace &fi = faces[i];
            for (int32_t j = i + 1; j < faceCount; ++j)
            {
                if (fi.neighbours[0] && fi.neighbours[1] && fi.neighbours[2])
                    break;
                bzShadowFace &fj = faces[j];
                for (int32_t e = 0; e < 3; ++e)
                {
                    if (fi.neighbours[e])
                        continue;
                    const int32_t s = e, t = (e + 1) % 3; // start and end corner
                    if (fi.welded[s] == 0xFFFFFFFFu || fi.welded[t] == 0xFFFFFFFFu)
                        continue;
                    for (int32_t g = 0; g < 3; ++g)
                    {
                        const int32_t gs = g, gt = (g + 1) % 3;
                        if (fj.welded[gs] != fi.welded[t] || fj.welded[gt] != fi.welded[s])
                            continue;
                        fj.neighbours[g] = &fi;
                        fi.neighbours[e] = &fj;
                        const uint32_t a = fi.corners[t], b = fi.corners[s];
                        const uint32_t c = fj.corners[gt], d = fj.corners[gs];
                        if (a != d && b != c)
                        {
                            const uint32_t quad[6] = {a, b, c, a, c, d};
                            std::memcpy(fi.seams[e], quad, sizeof quad);
                            fi.seamFlags[e] = 1;
                        }
                        break;
                    }
                }
            }
        }
        for (int32_t f = 0; f < faceCount; ++f)
            for (uint32_t flag : faces[f].seamFlags)
                seamTriangles += flag ? 2 : 0;
        if (bzgRenderTable.PDSetShadowVolumeData)
            bzgRenderTable.PDSetShadowVolumeData(model, faces, seamTriangles);
    }
    for (void *block :
         {static_cast<void *>(order), static_cast<void *>(weld), static_cast<void *>(faces)})
        if (block)
            bz_MemFree(block);
    return result;
}

void UpdateModelPartPositions(bzModel *model)
{
    bzModelPart *part = model ? model->part : nullptr;
    const bzModelVertexData *data = model ? model->vertexData : nullptr;
    if (!part || !data || !part->positions[0] || !data->vertices)
        return;
    part->flags |= BZ_PART_CHANGED;
    for (int32_t i = 0; i < data->vertexCount; ++i)
    {
        const bzModelDataVertex &v = data->vertices[i];
        for (int32_t k = 0; v.run && k < v.runCount; ++k)
        {
            const uint32_t out = v.run[k];
            BZ_ASSERT(out < static_cast<uint32_t>(part->vertexCount));
            if (out < static_cast<uint32_t>(part->vertexCount))
                part->positions[0][out] = {v.x, v.y, v.z};
        }
    }
    part->flags &= ~BZ_PART_ACCESSING;
    if ((part->flags & BZ_PART_CHANGED) && bzgRenderTable.PDBuildModelBuffers &&
        bzgRenderTable.PDBuildModelBuffers(model) == 0)
        part->flags &= ~BZ_PART_CHANGED;
}

int32_t RecalcModelPartNormals(bzModel *model)
{
    bzModelPart *part = model ? model->part : nullptr;
    if (!part || !part->normals[0] || !part->positions[0])
        return 0;
    const uint32_t count = static_cast<uint32_t>(part->vertexCount);
    bzV3 *normals = part->normals[0];
    const bzV3 *positions = part->positions[0];
    for (uint32_t i = 0; i < count; ++i)
        normals[i] = {0.0f, 0.0f, 0.0f};
    for (int32_t f = 0; part->faces && f < part->faceCount; ++f)
    {
        const uint32_t *v = part->faces[f].v;
        BZ_ASSERT(v[0] < count && v[1] < count && v[2] < count);
        if (v[0] >= count || v[1] >= count || v[2] >= count)
            continue;
        const bzV3 n =
            Cross(Sub(positions[v[0]], positions[v[1]]), Sub(positions[v[0]], positions[v[2]]));
        for (int32_t k = 0; k < 3; ++k)
            normals[v[k]] = {normals[v[k]].x + n.x, normals[v[k]].y + n.y, normals[v[k]].z + n.z};
    }
    // A vertex no face uses keeps a zero normal.
    for (uint32_t i = 0; i < count; ++i)
        Normalise(&normals[i]);
    return 3 * part->vertexCount;
}
