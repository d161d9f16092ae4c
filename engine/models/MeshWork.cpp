#include "models/MeshWork.h"

#include "core/Bytes.h"
#include "core/Error.h"
#include "core/Memory.h"
#include "files/File.h"
#include "models/Model.h"
#include "models/ModelFileCursor.h"

#include <algorithm>
#include <numeric>
#include <vector>

namespace
{
constexpr float kTolerance = 0.0001f;
constexpr uint32_t kVersion = 256;

int32_t Compare(const bzV3 &a, const bzV3 &b)
{
    for (int32_t k = 0; k < 3; ++k)
    {
        const float d = a.v[k] - b.v[k];
        if (d > kTolerance)
            return 1;
        if (d < -kTolerance)
            return -1;
    }
    return 0;
}

template <typename T> T *Alloc(size_t count)
{
    return static_cast<T *>(
        bz_MemAlloc(static_cast<uint32_t>(std::max<size_t>(count, 1) * sizeof(T)), BZ_MEM_CLEAR));
}

uint32_t ByteSize(const bzMeshWorkData *work)
{
    uint32_t listed = 0;
    for (int32_t p = 0; p < work->pointCount; ++p)
        listed += work->pointEdges[p].count;
    return 32 + 28 * static_cast<uint32_t>(work->faceCount) +
           12 * static_cast<uint32_t>(work->pointCount + 2 * work->edgeCount) + 4 * listed;
}

// Stores the lists as the record's own blocks; false without memory.
bool StoreLists(bzMeshWorkData *work, const std::vector<std::vector<uint32_t>> &lists)
{
    for (size_t p = 0; p < lists.size(); ++p)
    {
        bzMeshPointEdges &out = work->pointEdges[p];
        out.edges = Alloc<uint32_t>(lists[p].size());
        if (!out.edges)
            return false;
        std::copy(lists[p].begin(), lists[p].end(), out.edges);
        out.count = static_cast<uint32_t>(lists[p].size());
    }
    return true;
}

int32_t Fail(bzModel *model, int32_t code)
{
    FreeMeshWorkData(model->meshWork);
    model->meshWork = nullptr;
    bzgLastError = code;
    return code;
}

void AddOnce(std::vector<uint32_t> &list, uint32_t edge)
{
    if (std::find(list.begin(), list.end(), edge) == list.end())
        list.push_back(edge);
}
} // namespace

void FreeMeshWorkData(bzMeshWorkData *work)
{
    if (!work)
        return;
    bz_MemFree(work->edges);
    if (work->pointEdges)
        for (int32_t p = 0; p < work->pointCount; ++p)
            bz_MemFree(work->pointEdges[p].edges);
    bz_MemFree(work->pointEdges);
    bz_MemFree(work->faces);
    bz_MemFree(work->points);
    bz_MemFree(work);
}

int32_t bz_BuildMeshWorkData(bzModel *model)
{
    if (!model)
        return bzgLastError = BZ_ERROR_NO_MODEL;
    bzModelPart *part = model->part;
    if (!part)
        return bzgLastError = BZ_ERROR_NO_MODEL_PART;
    const bzV3 *positions = part->positions[0];
    const int32_t vertexCount = part->vertexCount;
    const int32_t faceCount = part->faces ? part->faceCount : 0;
    if ((!positions && vertexCount > 0) || vertexCount < 0 || faceCount < 0)
        return bzgLastError = BZ_ERROR_INVALID_PARAMETER;
    for (int32_t f = 0; f < faceCount; ++f)
        for (uint32_t v : part->faces[f].v)
            if (v >= static_cast<uint32_t>(vertexCount))
                return bzgLastError = BZ_ERROR_INVALID_PARAMETER;
    FreeMeshWorkData(model->meshWork);
    model->meshWork = Alloc<bzMeshWorkData>(1);
    bzMeshWorkData *work = model->meshWork;
    if (!work)
        return Fail(model, BZ_ERROR_NO_MEMORY);
    part->flags |= 0x8000;
    work->faceCount = faceCount;

    // Points: vertices in tolerance order, each run of equal ones one point.
    std::vector<uint32_t> order(static_cast<size_t>(vertexCount));
    std::iota(order.begin(), order.end(), 0u);
    std::stable_sort(order.begin(), order.end(),
                     [&](uint32_t a, uint32_t b)
                     { return Compare(positions[a], positions[b]) < 0; });
    std::vector<uint32_t> pointOf(static_cast<size_t>(vertexCount));
    std::vector<bzV3> points;
    for (uint32_t v : order)
    {
        if (points.empty() || Compare(positions[v], points.back()) != 0)
            points.push_back(positions[v]);
        pointOf[v] = static_cast<uint32_t>(points.size() - 1);
    }
    work->pointCount = static_cast<int32_t>(points.size());

    // Edges: an edge met against the direction of one used once is its second use.
    std::vector<bzMeshEdge> edges;
    std::vector<bzMeshFace> faces(static_cast<size_t>(faceCount));
    std::vector<std::vector<uint32_t>> lists(points.size());
    for (int32_t f = 0; f < faceCount; ++f)
    {
        bzMeshFace &face = faces[static_cast<size_t>(f)];
        for (int32_t c = 0; c < 3; ++c)
            face.points[c] = pointOf[part->faces[f].v[c]];
        for (int32_t c = 0; c < 3; ++c)
        {
            const uint32_t a = face.points[c], b = face.points[(c + 1) % 3];
            uint32_t found = UINT32_MAX;
            for (uint32_t e : lists[a])
                if (edges[e].a == b && edges[e].b == a && edges[e].useCount == 1)
                {
                    found = e;
                    break;
                }
            if (found == UINT32_MAX)
            {
                found = static_cast<uint32_t>(edges.size());
                edges.push_back({found, a, b, static_cast<uint32_t>(f), 0, 1});
            }
            else
            {
                edges[found].useCount = 2;
                edges[found].secondFace = static_cast<uint32_t>(f);
            }
            face.edges[c] = found;
            AddOnce(lists[a], found);
            AddOnce(lists[b], found);
        }
    }
    for (bzMeshFace &face : faces)
        for (int32_t c = 0; c < 3; ++c)
            if (edges[face.edges[c]].useCount == 2)
                face.flags |= static_cast<uint8_t>(1u << c);
    work->edgeCount = static_cast<int32_t>(edges.size());
    work->points = Alloc<bzV3>(points.size());
    work->edges = Alloc<bzMeshEdge>(edges.size());
    work->faces = Alloc<bzMeshFace>(faces.size());
    work->pointEdges = Alloc<bzMeshPointEdges>(points.size());
    if (!work->points || !work->edges || !work->faces || !work->pointEdges ||
        !StoreLists(work, lists))
        return Fail(model, BZ_ERROR_NO_MEMORY);
    std::copy(points.begin(), points.end(), work->points);
    std::copy(edges.begin(), edges.end(), work->edges);
    std::copy(faces.begin(), faces.end(), work->faces);
    work->byteSize = ByteSize(work);
    part->flags &= ~0xC000u;
    return 0;
}

bzMeshPointEdges *bz_FindMeshPoint(bzMeshWorkData *work, const bzV3 *position)
{
    if (work && position)
        for (int32_t p = work->pointCount - 1; p >= 0; --p)
            if (Compare(work->points[p], *position) == 0)
                return &work->pointEdges[p];
    bzgLastError = BZ_ERROR_NOT_FOUND;
    return nullptr;
}

int32_t bz_WriteMeshWorkData(const char *path, const bzMeshWorkData *work)
{
    if (!path || !work)
        return BZ_ERROR_INVALID_PARAMETER;
    std::vector<uint8_t> out;
    auto u32 = [&out](uint32_t v)
    {
        uint8_t b[4];
        bz_PutU32LE(b, v);
        out.insert(out.end(), b, b + 4);
    };
    for (uint32_t v :
         {kVersion, static_cast<uint32_t>(work->edgeCount), static_cast<uint32_t>(work->faceCount),
          static_cast<uint32_t>(work->pointCount), work->byteSize})
        u32(v);
    for (int32_t e = 0; e < work->edgeCount; ++e)
    {
        const bzMeshEdge &edge = work->edges[e];
        for (uint32_t v :
             {uint32_t{edge.useCount}, edge.a, edge.b, edge.firstFace, edge.secondFace})
            u32(v);
    }
    for (int32_t p = 0; p < work->pointCount; ++p)
    {
        u32(work->pointEdges[p].count);
        for (uint32_t i = 0; i < work->pointEdges[p].count; ++i)
            u32(work->pointEdges[p].edges[i]);
    }
    for (int32_t f = 0; f < work->faceCount; ++f)
    {
        const bzMeshFace &face = work->faces[f];
        out.push_back(face.flags);
        for (uint32_t v : face.points)
            u32(v);
        for (uint32_t v : face.edges)
            u32(v);
    }
    for (int32_t p = 0; p < work->pointCount; ++p)
        for (float v : work->points[p].v)
        {
            uint8_t b[4];
            bz_PutF32LE(b, v);
            out.insert(out.end(), b, b + 4);
        }
    bzFileHandle *file = bz_FileOpen(path, "wb");
    if (!file)
        return bzgLastError = BZ_ERROR_FILE_NOT_FOUND;
    const bool written = bz_FileWrite(file, out.data(), out.size()) == out.size();
    const bool closed = bz_FileClose(file) == 0;
    return written && closed ? 0 : (bzgLastError = BZ_ERROR_FILE_NOT_FOUND);
}

namespace
{
// Reads the record; false when the file does not hold what its counts say (code set).
bool Parse(bzModelCursor &in, bzMeshWorkData *work, int32_t *code)
{
    *code = BZ_ERROR_BAD_DATA_FORMAT;
    in.U32(); // version
    const uint32_t edges = in.U32(), faces = in.U32(), points = in.U32();
    work->byteSize = in.U32();
    // Each record needs at least its fixed bytes: 20 an edge, 4 a list, 25 a face, 12 a point.
    if (in.bad || edges > 0x7FFFFFFF || faces > 0x7FFFFFFF || points > 0x7FFFFFFF ||
        in.Left() < 20ull * edges + 4ull * points + 25ull * faces + 12ull * points)
        return false;
    work->edgeCount = static_cast<int32_t>(edges);
    work->faceCount = static_cast<int32_t>(faces);
    work->pointCount = static_cast<int32_t>(points);
    work->edges = Alloc<bzMeshEdge>(edges);
    work->faces = Alloc<bzMeshFace>(faces);
    work->points = Alloc<bzV3>(points);
    work->pointEdges = Alloc<bzMeshPointEdges>(points);
    if (!work->edges || !work->faces || !work->points || !work->pointEdges)
    {
        *code = BZ_ERROR_NO_MEMORY;
        return false;
    }
    for (uint32_t e = 0; e < edges; ++e)
    {
        bzMeshEdge &edge = work->edges[e];
        const uint32_t use = in.U32();
        edge.a = in.U32();
        edge.b = in.U32();
        edge.firstFace = in.U32();
        edge.secondFace = in.U32();
        if (use < 1 || use > 2 || edge.a >= points || edge.b >= points || edge.firstFace >= faces ||
            (use == 2 && edge.secondFace >= faces))
            return false;
        edge.useCount = static_cast<uint8_t>(use);
    }
    for (uint32_t p = 0; p < points; ++p)
    {
        const uint32_t n = in.U32();
        if (in.bad || !in.NeedRecords(n, 4) || n > edges)
            return false;
        bzMeshPointEdges &list = work->pointEdges[p];
        list.edges = Alloc<uint32_t>(n);
        if (!list.edges)
        {
            *code = BZ_ERROR_NO_MEMORY;
            return false;
        }
        list.count = n;
        for (uint32_t i = 0; i < n; ++i)
            if ((list.edges[i] = in.U32()) >= edges)
                return false;
    }
    for (uint32_t f = 0; f < faces; ++f)
    {
        bzMeshFace &face = work->faces[f];
        face.flags = in.U8();
        for (uint32_t &v : face.points)
            if ((v = in.U32()) >= points)
                return false;
        for (uint32_t &v : face.edges)
            if ((v = in.U32()) >= edges)
                return false;
    }
    for (uint32_t p = 0; p < points; ++p)
        work->points[p] = in.V3();
    return !in.bad;
}
} // namespace

bzMeshWorkData *bz_ReadMeshWorkData(const char *path)
{
    int32_t length = 0;
    void *file = path ? bz_LoadFileToMemory(path, &length) : nullptr;
    if (!file)
    {
        bzgLastError =
            path && bz_FileExists(path) ? BZ_ERROR_BAD_DATA_FORMAT : BZ_ERROR_FILE_NOT_FOUND;
        return nullptr;
    }
    auto *work = Alloc<bzMeshWorkData>(1);
    const auto *bytes = static_cast<const uint8_t *>(file);
    bzModelCursor in{bytes, bytes + (length > 0 ? length : 0)};
    int32_t code = BZ_ERROR_NO_MEMORY;
    const bool ok = work && Parse(in, work, &code);
    bz_MemFree(file);
    if (!ok)
    {
        FreeMeshWorkData(work);
        bzgLastError = code;
        return nullptr;
    }
    return work;
}
