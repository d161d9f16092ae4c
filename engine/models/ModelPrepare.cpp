#include "models/ModelPrepare.h"

#include "core/Debug.h"
#include "core/Error.h"
#include "core/Memory.h"
#include "device/RenderTable.h"
#include "models/LoadOptions.h"
#include "models/Material.h"
#include "models/ModelProcessing.h"
#include "models/TriStrips.h"

#include <cfloat>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <type_traits>

namespace
{
void (*gBuildSkeleton)(bzModel *model);

// One drawing batch while the part is built: its material, the output faces it holds and
// its box. Its vertices are numbered when the batches are compacted.
struct Batch
{
    bzMaterial *material; // no reference held here
    uint32_t *faces;      // output face numbers, owned
    uint32_t count;
    uint32_t capacity;
    bzV3 boxMin, boxMax;
};

struct Work
{
    bzModel *model;
    bzVertexRecord *vertices; // 3 per face
    uint32_t *source;         // source vertex of each vertex
    int32_t *chain;           // next vertex of the same source vertex, -1 at the end
    int32_t *head;            // first vertex of each source vertex in the batch, -1 for none
    bzModelFace *faces;       // output faces, absolute vertex numbers
    uint32_t *faceToPolygon;
    Batch *batches;
    int32_t batchCount;
    int32_t vertexCount;
    int32_t faceCount;
};

void ClearBox(Batch &b)
{
    b.boxMin = {FLT_MAX, FLT_MAX, FLT_MAX};
    b.boxMax = {-FLT_MAX, -FLT_MAX, -FLT_MAX};
}

void Widen(Batch &b, const bzV3 &p)
{
    b.boxMin = {p.x < b.boxMin.x ? p.x : b.boxMin.x, p.y < b.boxMin.y ? p.y : b.boxMin.y,
                p.z < b.boxMin.z ? p.z : b.boxMin.z};
    b.boxMax = {p.x > b.boxMax.x ? p.x : b.boxMax.x, p.y > b.boxMax.y ? p.y : b.boxMax.y,
                p.z > b.boxMax.z ? p.z : b.boxMax.z};
}

bool AddFace(Batch &b, uint32_t face)
{
    if (b.count == b.capacity)
    {
        const uint32_t capacity = b.capacity ? 2 * b.capacity : 64;
        auto *grown = static_cast<uint32_t *>(bz_MemAlloc(capacity * 4, 0));
        if (!grown)
            return false;
        if (b.faces)
        {
            std::memcpy(grown, b.faces, b.count * 4);
            bz_MemFree(b.faces);
        }
        b.faces = grown;
        b.capacity = capacity;
    }
    b.faces[b.count++] = face;
    return true;
}

float Axis(const bzV3 &v, int32_t a)
{
    return a == 0 ? v.x : (a == 1 ? v.y : v.z);
}

bool Close(float a, float b)
{
    return std::fabs(a - b) <= BZ_MODEL_POSITION_TOLERANCE;
}

bool MatchesCorner(const bzVertexRecord &v, const bzModelPolygon &poly, int32_t k)
{
    const bzMaterial *m = poly.material ? poly.material : bz_GetDefaultMaterial();
    if (!m)
        return true;
    if ((m->derivedFlags & BZ_MATDERIVED_EXTRA) &&
        !(Close(v.normal.x, poly.normals[k].x) && Close(v.normal.y, poly.normals[k].y) &&
          Close(v.normal.z, poly.normals[k].z)))
        return false;
    if ((m->derivedFlags & BZ_MATDERIVED_SET0) &&
        !(Close(v.u0, poly.uv[k][0]) && Close(v.v0, poly.uv[k][1])))
        return false;
    if ((m->derivedFlags & BZ_MATDERIVED_SET1) &&
        !(Close(v.u1, poly.uv[k][2]) && Close(v.v1, poly.uv[k][3])))
        return false;
    if ((m->flags & BZ_MATERIAL_VERTEX_COLOURS) && v.colour != poly.colours[k])
        return false;
    return true;
}

// The share of the triangle's area on the positive side of the plane axis = at.
float PositiveShare(const bzV3 *p[3], int32_t axis, float at)
{
    float d[3];
    int32_t positive = 0;
    for (int32_t k = 0; k < 3; ++k)
    {
        d[k] = Axis(*p[k], axis) - at;
        positive += d[k] > 0.0f ? 1 : 0;
    }
    if (positive == 3)
        return 1.0f;
    if (positive == 0)
        return 0.0f;
    // The lone corner on its side and the corner triangle it cuts off: its area share is the
    // product of the edge fractions to the plane.
    int32_t lone = 0;
    for (int32_t k = 0; k < 3; ++k)
        if ((d[k] > 0.0f) == (positive == 1))
            lone = k;
    const float dl = d[lone], d1 = d[(lone + 1) % 3], d2 = d[(lone + 2) % 3];
    const float t1 = dl - d1 != 0.0f ? dl / (dl - d1) : 1.0f;
    const float t2 = dl - d2 != 0.0f ? dl / (dl - d2) : 1.0f;
    const float share = t1 * t2;
    return positive == 1 ? share : 1.0f - share;
}

void RebuildBox(Work &w, Batch &b)
{
    ClearBox(b);
    for (uint32_t i = 0; i < b.count; ++i)
        for (uint32_t v : w.faces[b.faces[i]].v)
            Widen(b, w.vertices[v].position);
}

// Splits batch index bi along the axis into a new batch; true when the split stands.
bool SplitGeometryBatch(Work &w, int32_t axis, int32_t bi)
{
    Batch &b = w.batches[bi];
    const float extent = Axis(b.boxMax, axis) - Axis(b.boxMin, axis);
    if (!(extent > w.model->maxBatchExtent) || w.batchCount >= BZ_BATCH_MAX_COUNT)
        return false;
    const float at = Axis(b.boxMin, axis) + extent * 0.5f;
    Batch n = {};
    n.material = b.material;
    Batch kept = {};
    kept.material = b.material;
    bool ok = true;
    for (uint32_t i = 0; i < b.count && ok; ++i)
    {
        const bzModelFace &f = w.faces[b.faces[i]];
        const bzV3 *p[3] = {&w.vertices[f.v[0]].position, &w.vertices[f.v[1]].position,
                            &w.vertices[f.v[2]].position};
        ok = AddFace(PositiveShare(p, axis, at) >= 0.5f ? n : kept, b.faces[i]);
    }
    const uint32_t least = 3u * static_cast<uint32_t>(w.model->minBatchFaces);
    if (!ok || 3 * n.count <= least || 3 * kept.count <= least)
    {
        for (Batch *x : {&n, &kept})
            if (x->faces)
                bz_MemFree(x->faces);
        return false;
    }
    bz_MemFree(b.faces);
    b.faces = kept.faces;
    b.count = kept.count;
    b.capacity = kept.capacity;
    RebuildBox(w, b);
    RebuildBox(w, n);
    w.batches[w.batchCount++] = n;
    return true;
}

void SplitBatches(Work &w)
{
    w.model->flags |= BZ_MODEL_BATCHES_SPLIT;
    for (int32_t bi = 0; bi < w.batchCount; ++bi)
        for (int32_t axis = 0; axis < 3; ++axis)
            while (SplitGeometryBatch(w, axis, bi))
            {
            }
}

// Renumbers the vertices batch by batch in order of first use (a vertex used by two batches
// after a split gets a copy in each) and rewrites the faces; false when memory runs out.
bool Compact(Work &w, int32_t *firstVertex, int32_t *vertexCounts)
{
    const int32_t room = 3 * w.faceCount + 1;
    auto *vertices = static_cast<bzVertexRecord *>(
        bz_MemAlloc(static_cast<uint32_t>(room) * sizeof(bzVertexRecord), 0));
    auto *source = static_cast<uint32_t *>(bz_MemAlloc(static_cast<uint32_t>(room) * 4, 0));
    auto *renumber = static_cast<int32_t *>(bz_MemAlloc(static_cast<uint32_t>(room) * 4, 0));
    if (!vertices || !source || !renumber)
    {
        for (void *p : {static_cast<void *>(vertices), static_cast<void *>(source),
                        static_cast<void *>(renumber)})
            if (p)
                bz_MemFree(p);
        return false;
    }
    int32_t count = 0;
    for (int32_t bi = 0; bi < w.batchCount; ++bi)
    {
        Batch &b = w.batches[bi];
        firstVertex[bi] = count;
        for (int32_t i = 0; i < w.vertexCount; ++i)
            renumber[i] = -1;
        for (uint32_t i = 0; i < b.count; ++i)
        {
            bzModelFace &f = w.faces[b.faces[i]];
            for (uint32_t &v : f.v)
            {
                if (renumber[v] < 0)
                {
                    renumber[v] = count;
                    vertices[count] = w.vertices[v];
                    source[count] = w.source[v];
                    ++count;
                }
                v = static_cast<uint32_t>(renumber[v]);
            }
            f.entry = static_cast<uint16_t>(bi);
        }
        vertexCounts[bi] = count - firstVertex[bi];
    }
    bz_MemFree(w.vertices);
    bz_MemFree(w.source);
    bz_MemFree(renumber);
    w.vertices = vertices;
    w.source = source;
    w.vertexCount = count;
    return true;
}

void FreeWork(Work &w)
{
    for (int32_t i = 0; w.batches && i < w.batchCount; ++i)
        if (w.batches[i].faces)
            bz_MemFree(w.batches[i].faces);
    for (void *p : {static_cast<void *>(w.vertices), static_cast<void *>(w.source),
                    static_cast<void *>(w.chain), static_cast<void *>(w.head),
                    static_cast<void *>(w.faces), static_cast<void *>(w.batches)})
        if (p)
            bz_MemFree(p);
}

// Makes the part's material entries from the batches; false when memory runs out.
bool MakeEntries(Work &w, bzModelPart *part, const int32_t *firstVertex,
                 const int32_t *vertexCounts)
{
    if (!bz_AllocModelMaterialEntries(part, w.batchCount, nullptr))
        return false;
    for (int32_t bi = 0; bi < w.batchCount; ++bi)
    {
        const Batch &b = w.batches[bi];
        bzMaterialEntry &e = part->entries[bi];
        e.material = b.material ? bz_AddRefMaterial(b.material) : nullptr;
        e.listBaseVertex = static_cast<uint32_t>(firstVertex[bi]);
        e.listVertexSpan = static_cast<uint32_t>(vertexCounts[bi]);
        e.listIndexCount = 3 * b.count;
        e.boxMin = b.boxMin;
        e.boxMax = b.boxMax;
        if (b.count == 0)
        {
            e.boxMin = e.boxMax = {0.0f, 0.0f, 0.0f};
            continue;
        }
        e.listIndices = static_cast<uint16_t *>(bz_MemAlloc(6 * b.count, 0));
        if (!e.listIndices)
            return false;
        part->memSize += 6 * b.count;
        bzgModelIndexBytes += 6 * b.count;
        e.centre = {(b.boxMin.x + b.boxMax.x) * 0.5f, (b.boxMin.y + b.boxMax.y) * 0.5f,
                    (b.boxMin.z + b.boxMax.z) * 0.5f};
        float largest = 0.0f;
        for (uint32_t i = 0; i < b.count; ++i)
            for (int32_t k = 0; k < 3; ++k)
            {
                const uint32_t v = w.faces[b.faces[i]].v[k];
                e.listIndices[3 * i + static_cast<uint32_t>(k)] =
                    static_cast<uint16_t>(v - e.listBaseVertex);
                const bzV3 &p = w.vertices[v].position;
                const float dx = p.x - e.centre.x, dy = p.y - e.centre.y, dz = p.z - e.centre.z;
                const float d2 = dx * dx + dy * dy + dz * dz;
                largest = d2 > largest ? d2 : largest;
            }
        e.radius = std::sqrt(largest);
    }
    return true;
}

// The output-vertex table: per source vertex a run of the part vertices made from it.
bool MakeOutputTable(Work &w, bzModelVertexData *data)
{
    for (int32_t s = 0; s < data->vertexCount; ++s)
    {
        data->vertices[s].run = nullptr;
        data->vertices[s].runCount = 0;
    }
    for (int32_t v = 0; v < w.vertexCount; ++v)
        ++data->vertices[w.source[v]].runCount;
    data->table3 = static_cast<uint32_t *>(
        bz_MemAlloc(static_cast<uint32_t>(w.vertexCount) * 4 + 4, BZ_MEM_CLEAR));
    if (!data->table3)
        return false;
    uint32_t at = 0;
    for (int32_t s = 0; s < data->vertexCount; ++s)
    {
        data->vertices[s].run = data->table3 + at;
        at += static_cast<uint32_t>(static_cast<uint16_t>(data->vertices[s].runCount));
        data->vertices[s].runCount = 0;
    }
    for (int32_t v = 0; v < w.vertexCount; ++v)
    {
        bzModelDataVertex &s = data->vertices[w.source[v]];
        s.run[s.runCount++] = static_cast<uint32_t>(v);
    }
    return true;
}
} // namespace

void bz_SetModelSkeletonBuilder(void (*build)(bzModel *model))
{
    gBuildSkeleton = build;
}

int32_t AllocModelPartArrays(bzModelPart *part, int32_t positions, int32_t bones, int32_t normals,
                             int32_t colours, int32_t uvSets)
{
    BZ_ASSERT(part);
    const size_t n = static_cast<size_t>(part->vertexCount > 0 ? part->vertexCount : 0);
    bool ok = true;
    auto set = [&](auto **arrays, int32_t slots, int32_t count, size_t perVertex)
    {
        for (int32_t k = 0; k < slots; ++k)
        {
            if (k >= count && arrays[k])
            {
                const uint32_t bytes = bz_MemSize(arrays[k]);
                part->memSize = part->memSize > bytes ? part->memSize - bytes : 0;
                bz_MemFree(arrays[k]);
                arrays[k] = nullptr;
            }
            else if (k < count && !arrays[k] && n > 0)
            {
                using T = std::remove_pointer_t<std::remove_reference_t<decltype(arrays[k])>>;
                arrays[k] = static_cast<T *>(
                    bz_MemAlloc(static_cast<uint32_t>(n * perVertex), BZ_MEM_CLEAR));
                if (!arrays[k])
                    ok = false;
                else
                    part->memSize += static_cast<uint32_t>(n * perVertex);
            }
        }
    };
    set(part->positions, 3, positions, sizeof(bzV3));
    set(part->boneIndices, 4, bones, 1);
    set(part->boneWeights, 4, bones, 1);
    set(part->normals, 3, normals, sizeof(bzV3));
    set(part->colours, 3, colours, sizeof(bzColour));
    set(part->uvs, 3, uvSets, 2 * sizeof(float));
    if (!ok)
    {
        bzgLastError = BZ_ERROR_NO_MEMORY;
        return BZ_ERROR_NO_MEMORY;
    }
    return 0;
}

int32_t FillModelPartVertices(bzModelPart *part, int32_t count, const bzVertexRecord *vertices)
{
    BZ_ASSERT(part && (count == 0 || vertices));
    part->vertexCount = count;
    part->vertexFormat = ComputeModelVertexFormat(part);
    SetModelEntryVertexFormat(part);
    const bzVertexFormatFields f = bz_VertexFormatFields(part->vertexFormat);
    if (const int32_t result =
            AllocModelPartArrays(part, f.positions < 3 ? f.positions : 3,
                                 f.influences < 4 ? f.influences : 4, f.normals < 3 ? f.normals : 3,
                                 f.colours < 3 ? f.colours : 3, f.uvSets < 3 ? f.uvSets : 3))
        return result;
    for (int32_t i = 0; i < count; ++i)
    {
        const bzVertexRecord &r = vertices[i];
        if (part->positions[0])
            part->positions[0][i] = r.position;
        if (part->normals[0])
            part->normals[0][i] = r.normal;
        if (part->uvs[0])
            part->uvs[0][2 * i] = r.u0, part->uvs[0][2 * i + 1] = r.v0;
        if (part->uvs[1])
            part->uvs[1][2 * i] = r.u1, part->uvs[1][2 * i + 1] = r.v1;
        if (part->colours[0])
            part->colours[0][i] = r.colour;
    }
    return 0;
}

int32_t BuildModelPart(bzModel *model)
{
    BZ_ASSERT(model && model->vertexData);
    bzModelVertexData *data = model ? model->vertexData : nullptr;
    if (!data)
        return BZ_ERROR_INVALID_PARAMETER;
    const int32_t polygons = data->polygons ? data->polygonCount : 0;
    if (data->table3)
        bz_MemFree(data->table3);
    data->table3 = nullptr;
    for (int32_t s = 0; data->vertices && s < data->vertexCount; ++s)
    {
        data->vertices[s].run = nullptr;
        data->vertices[s].runCount = 0;
    }
    if (!data->table2 || !data->faceToPolygon ||
        data->tableCount != static_cast<uint32_t>(polygons))
    {
        for (uint32_t **t : {&data->table2, &data->faceToPolygon})
        {
            if (*t)
                bz_MemFree(*t);
            *t = static_cast<uint32_t *>(
                bz_MemAlloc(static_cast<uint32_t>(polygons) * 4 + 4, BZ_MEM_CLEAR));
            if (!*t)
                return bzgLastError = BZ_ERROR_NO_MEMORY;
        }
        data->tableCount = static_cast<uint32_t>(polygons);
    }
    uint32_t *order = data->table2;
    for (int32_t i = 0; i < polygons; ++i)
        order[i] = static_cast<uint32_t>(i);
    // Faces of one material side by side, in their order within each material.
    for (int32_t i = 1; i < polygons; ++i)
    {
        const uint32_t f = order[i];
        const uintptr_t key = reinterpret_cast<uintptr_t>(data->polygons[f].material);
        int32_t j = i;
        for (; j > 0 && reinterpret_cast<uintptr_t>(data->polygons[order[j - 1]].material) > key;
             --j)
            order[j] = order[j - 1];
        order[j] = f;
    }

    Work w = {};
    w.model = model;
    const uint32_t room = 3u * static_cast<uint32_t>(polygons) + 1;
    const uint32_t sources = static_cast<uint32_t>(data->vertexCount > 0 ? data->vertexCount : 0);
    w.vertices = static_cast<bzVertexRecord *>(bz_MemAlloc(room * sizeof(bzVertexRecord), 0));
    w.source = static_cast<uint32_t *>(bz_MemAlloc(room * 4, 0));
    w.chain = static_cast<int32_t *>(bz_MemAlloc(room * 4, 0));
    w.head = static_cast<int32_t *>(bz_MemAlloc(sources * 4 + 4, 0));
    w.faces = static_cast<bzModelFace *>(bz_MemAlloc(room * sizeof(bzModelFace), BZ_MEM_CLEAR));
    w.batches = static_cast<Batch *>(
        bz_MemAlloc(BZ_BATCH_MAX_COUNT * static_cast<uint32_t>(sizeof(Batch)), BZ_MEM_CLEAR));
    if (!w.vertices || !w.source || !w.chain || !w.head || !w.faces || !w.batches)
    {
        FreeWork(w);
        return bzgLastError = BZ_ERROR_NO_MEMORY;
    }
    for (uint32_t s = 0; s < sources; ++s)
        w.head[s] = -1;
    w.batchCount = 1;
    ClearBox(w.batches[0]);
    int32_t result = 0;
    bool first = true;
    for (int32_t i = 0; i < polygons && result == 0; ++i)
    {
        const uint32_t pf = order[i];
        const bzModelPolygon &poly = data->polygons[pf];
        if ((poly.flags & BZ_POLYGON_LEFT_OUT) || poly.degenerate)
            continue;
        bool valid = true;
        for (uint32_t v : poly.v)
        {
            BZ_ASSERT(v < sources);
            valid = valid && v < sources;
        }
        if (!valid)
            continue;
        Batch *b = &w.batches[w.batchCount - 1];
        if (first)
            b->material = poly.material;
        first = false;
        if (b->count > 0 &&
            (poly.material != b->material || 3 * b->count + 3 > BZ_BATCH_MAX_INDICES))
        {
            if (w.batchCount == BZ_BATCH_MAX_COUNT)
            {
                result = BZ_ERROR_PARAMETER_OUT_OF_RANGE;
                break;
            }
            b = &w.batches[w.batchCount++];
            ClearBox(*b);
            b->material = poly.material;
            for (uint32_t s = 0; s < sources; ++s)
                w.head[s] = -1;
        }
        bzModelFace &out = w.faces[w.faceCount];
        for (int32_t k = 0; k < 3; ++k)
        {
            const uint32_t s = poly.v[k];
            int32_t found = -1;
            for (int32_t v = w.head[s]; v >= 0 && found < 0; v = w.chain[v])
                if (MatchesCorner(w.vertices[v], poly, k))
                    found = v;
            if (found < 0)
            {
                found = w.vertexCount++;
                bzVertexRecord &r = w.vertices[found];
                const bzModelDataVertex &sv = data->vertices[s];
                r.position = {sv.x, sv.y, sv.z};
                r.normal = poly.normals[k];
                r.colour = poly.colours[k];
                r.u0 = poly.uv[k][0];
                r.v0 = poly.uv[k][1];
                r.u1 = poly.uv[k][2];
                r.v1 = poly.uv[k][3];
                w.source[found] = s;
                if (w.head[s] < 0)
                {
                    w.chain[found] = -1;
                    w.head[s] = found;
                }
                else
                {
                    w.chain[found] = w.chain[w.head[s]];
                    w.chain[w.head[s]] = found;
                }
            }
            Widen(*b, w.vertices[found].position);
            out.v[k] = static_cast<uint32_t>(found);
        }
        out.flags = poly.flags;
        data->faceToPolygon[w.faceCount] = pf;
        if (!AddFace(*b, static_cast<uint32_t>(w.faceCount)))
            result = bzgLastError = BZ_ERROR_NO_MEMORY;
        ++w.faceCount;
    }
    if (result == 0 && (model->flags & BZ_MODEL_SPLIT_BATCHES))
        SplitBatches(w);
    int32_t *firstVertex = nullptr;
    if (result == 0)
    {
        firstVertex = static_cast<int32_t *>(
            bz_MemAlloc(static_cast<uint32_t>(2 * w.batchCount) * 4, BZ_MEM_CLEAR));
        if (!firstVertex || !Compact(w, firstVertex, firstVertex + w.batchCount))
            result = bzgLastError = BZ_ERROR_NO_MEMORY;
    }
    // A batch's material, or the default material for faces without one.
    for (int32_t bi = 0; bi < w.batchCount && !first; ++bi)
        if (!w.batches[bi].material)
            w.batches[bi].material = bz_GetDefaultMaterial();
    if (result == 0)
    {
        FreeModelPart(model);
        bzModelPart *part = bz_CreateModelPart(model);
        bool ok = part && MakeEntries(w, part, firstVertex, firstVertex + w.batchCount) &&
                  FillModelPartVertices(part, w.vertexCount, w.vertices) == 0;
        if (ok && w.faceCount > 0)
        {
            part->faces = static_cast<bzModelFace *>(bz_MemAlloc(
                static_cast<uint32_t>(w.faceCount) * static_cast<uint32_t>(sizeof(bzModelFace)),
                0));
            ok = part->faces != nullptr;
            if (ok)
            {
                std::memcpy(part->faces, w.faces,
                            static_cast<size_t>(w.faceCount) * sizeof(bzModelFace));
                part->faceCount = w.faceCount;
                part->memSize += static_cast<uint32_t>(w.faceCount) * sizeof(bzModelFace);
            }
        }
        ok = ok && MakeOutputTable(w, data);
        if (!ok)
            result = bzgLastError = BZ_ERROR_NO_MEMORY;
    }
    if (firstVertex)
        bz_MemFree(firstVertex);
    FreeWork(w);
    if (result != 0)
        return result;
    if (!(data->userWord & BZ_VDATA_STRIP_DATA) && !(bzgModelLoadOptions & BZ_MODELOPT_NO_STRIPS))
        if (const int32_t strips = BuildModelTriStrips(model))
            return strips;
    if (bzgRenderTable.PDRebuildModelIndices)
        bzgRenderTable.PDRebuildModelIndices(model);
    return 0;
}

int32_t bz_PrepareModelGeometry(bzModel *model, uint32_t flags)
{
    if (!model || !model->vertexData)
        return BZ_ERROR_INVALID_PARAMETER;
    int32_t result = 0;
    if ((flags & (BZ_PREPARE_PLANES_AND_NORMALS | BZ_PREPARE_PLANES)) &&
        (result = ComputeModelFacePlanes(model)) != 0)
        return result;
    if ((flags & (BZ_PREPARE_PLANES_AND_NORMALS | BZ_PREPARE_NORMALS)) &&
        (result = SmoothModelCornerNormals(model)) != 0)
        return result;
    if ((flags & BZ_PREPARE_BOUNDS) && (result = ComputeModelBounds(model)) != 0)
        return result;
    bool rebuild = flags & (BZ_PREPARE_REBUILD | BZ_PREPARE_PLANES_AND_NORMALS | BZ_PREPARE_PLANES |
                            BZ_PREPARE_NORMALS | BZ_PREPARE_REBUILD2 | BZ_PREPARE_REBUILD3);
    if ((flags & BZ_PREPARE_DEFAULT_FORMAT) && !rebuild)
    {
        if (!model->part)
            rebuild = true;
        else
        {
            model->part->flags |= BZ_PART_CHANGED;
            if (bz_SetModelVertexFormat(model, -1, -1, -1, -1, -1) == 1)
                rebuild = true;
            model->part->flags &= ~BZ_PART_ACCESSING;
            model->part->flags &= ~BZ_PART_CHANGED;
        }
    }
    if (!model->part || rebuild)
    {
        if ((result = BuildModelPart(model)) != 0)
            return result;
    }
    else if (flags & BZ_PREPARE_UPDATE_POSITIONS)
        UpdateModelPartPositions(model);
    if (bzgRenderTable.PDRebuildModelLists)
        bzgRenderTable.PDRebuildModelLists(model);
    if ((flags & BZ_PREPARE_SKELETON) && (model->vertexData->userWord & BZ_VDATA_BONES))
    {
        if (gBuildSkeleton)
            gBuildSkeleton(model);
        if (bzgRenderTable.PDUpdateModelVertices)
            bzgRenderTable.PDUpdateModelVertices(model);
    }
    return 0;
}

void PackModelVertex(const bzModelPart *part, int32_t v, uint8_t *destination)
{
    BZ_ASSERT(part && destination && v >= 0 && v < part->vertexCount);
    if (!part || !destination || v < 0 || v >= part->vertexCount)
        return;
    const uint32_t format = part->vertexFormat;
    const bzVertexFormatFields f = bz_VertexFormatFields(format);
    uint8_t *out = destination;
    auto putF = [&](float x)
    {
        std::memcpy(out, &x, 4);
        out += 4;
    };
    for (int32_t k = 0; k < f.positions && k < 3; ++k)
    {
        if (part->positions[k])
        {
            const bzV3 &p = part->positions[k][v];
            std::memcpy(out, &p.x, 4);
            std::memcpy(out + 4, &p.y, 4);
            std::memcpy(out + 8, &p.z, 4);
        }
        out += 12;
    }
    auto index = [&](int32_t k) -> uint8_t
    { return part->boneIndices[k] ? part->boneIndices[k][v] : 0; };
    auto weight = [&](int32_t k) -> uint8_t
    { return part->boneWeights[k] ? part->boneWeights[k][v] : 0; };
    switch (f.influences)
    {
    case 0: break;
    case 1:
        out[0] = index(0);
        out[1] = 255;
        out[2] = 255;
        out += 4;
        break;
    case 2:
        out[0] = weight(0);
        out[1] = weight(1);
        out[2] = index(0);
        out[3] = index(1);
        out += 4;
        break;
    case 3:
        for (int32_t k = 0; k < 3; ++k)
            out[k] = weight(k), out[4 + k] = index(k);
        out += 8;
        break;
    default:
        for (int32_t k = 0; k < 4; ++k)
            out[k] = weight(k), out[4 + k] = index(k);
        out += 8;
        break;
    }
    for (int32_t k = 0; k < f.normals && k < 3; ++k)
    {
        const bzV3 n = part->normals[k] ? part->normals[k][v] : bzV3{0.0f, 0.0f, 0.0f};
        if (format & 0x200)
        {
            out[0] = static_cast<uint8_t>(static_cast<int32_t>(n.z * 127.0f + 127.0f));
            out[1] = static_cast<uint8_t>(static_cast<int32_t>(n.y * 127.0f + 127.0f));
            out[2] = static_cast<uint8_t>(static_cast<int32_t>(n.x * 127.0f + 127.0f));
            out[3] = 0;
            out += 4;
        }
        else
            putF(n.x), putF(n.y), putF(n.z);
    }
    for (int32_t k = 0; k < f.colours && k < 3; ++k)
    {
        const uint32_t c = part->colours[k] ? part->colours[k][v] : 0;
        std::memcpy(out, &c, 4);
        out += 4;
    }
    for (int32_t k = 0; k < f.uvSets && k < 3; ++k)
    {
        const float u = part->uvs[k] ? part->uvs[k][2 * v] : 0.0f;
        const float w = part->uvs[k] ? part->uvs[k][2 * v + 1] : 0.0f;
        if (format & 0x8000)
        {
            const int16_t pu = static_cast<int16_t>(u * 2047.9375f);
            const int16_t pv = static_cast<int16_t>(w * 2047.9375f);
            std::memcpy(out, &pu, 2);
            std::memcpy(out + 2, &pv, 2);
            out += 4;
        }
        else
            putF(u), putF(w);
    }
}
