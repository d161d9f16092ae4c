#include "models/DisplayModels.h"
#include "models/DisplayModelsInternal.h"

#include "core/Debug.h"
#include "core/Error.h"
#include "core/Memory.h"
#include "device/ImageRecord.h"
#include "maths/Approx.h"
#include "maths/Geometry.h"
#include "maths/Vector.h"
#include "models/ModelCleanup.h"
#include "models/ModelPrepare.h"

#include <cmath>
#include <cstring>

using namespace bz_display_detail;

namespace
{
struct Lerp
{
    float p[3];
    float uv[4];
};

Lerp Mix(const Lerp &a, const Lerp &b, float t)
{
    Lerp out;
    for (int32_t k = 0; k < 3; ++k)
        out.p[k] = a.p[k] + (b.p[k] - a.p[k]) * t;
    for (int32_t k = 0; k < 4; ++k)
        out.uv[k] = a.uv[k] + (b.uv[k] - a.uv[k]) * t;
    return out;
}

// Vertex (r, c) of the subdivision of one polygon with s rows.
Lerp SubPoint(const Lerp corners[3], int32_t s, int32_t r, int32_t c)
{
    const Lerp left = Mix(corners[0], corners[1], static_cast<float>(r) / static_cast<float>(s));
    const Lerp right = Mix(corners[0], corners[2], static_cast<float>(r) / static_cast<float>(s));
    return r == 0 ? left : Mix(left, right, static_cast<float>(c) / static_cast<float>(r));
}
} // namespace

// ---------------------------------------------------------------------------------------------
// Shared operations

int32_t bz_SubdivideModelPolygons(bzModel *model, int32_t level)
{
    if (level == 0)
        return 0;
    if (!model)
        return BZ_ERROR_NO_MODEL;
    if (!model->vertexData)
        return BZ_ERROR_NO_VERTEX_DATA;
    bzModelVertexData *data = model->vertexData;
    if (level < 0 || level > 255)
        return BZ_ERROR_PARAMETER_OUT_OF_RANGE;
    const int64_t s = level + 1;
    const int64_t perPolygon = s * s;
    const int64_t polygons = perPolygon * data->polygonCount;
    const int64_t vertices = 3 * polygons; // every new polygon gets its own corners
    if (polygons > INT32_MAX / 4 ||
        vertices * static_cast<int64_t>(sizeof(bzModelDataVertex)) > BZ_MEM_MAX_BLOCK ||
        polygons * static_cast<int64_t>(sizeof(bzModelPolygon)) > BZ_MEM_MAX_BLOCK)
        return BZ_ERROR_PARAMETER_OUT_OF_RANGE;
    auto *newPolygons = static_cast<bzModelPolygon *>(
        bz_MemAlloc(static_cast<uint32_t>(polygons) * static_cast<uint32_t>(sizeof(bzModelPolygon)),
                    BZ_MEM_CLEAR));
    auto *newVertices = static_cast<bzModelDataVertex *>(bz_MemAlloc(
        static_cast<uint32_t>(vertices) * static_cast<uint32_t>(sizeof(bzModelDataVertex)),
        BZ_MEM_CLEAR));
    if ((polygons > 0 && !newPolygons) || (vertices > 0 && !newVertices))
    {
        bz_MemFree(newPolygons);
        bz_MemFree(newVertices);
        return bzgLastError = BZ_ERROR_NO_MEMORY;
    }
    uint32_t np = 0;
    for (int32_t i = 0; i < data->polygonCount; ++i)
    {
        const bzModelPolygon &source = data->polygons[i];
        Lerp corners[3];
        for (int32_t k = 0; k < 3; ++k)
        {
            const bzModelDataVertex &v = data->vertices[source.v[k]];
            corners[k] = {{v.x, v.y, v.z},
                          {source.uv[k][0], source.uv[k][1], source.uv[k][2], source.uv[k][3]}};
        }
        auto emit = [&](const Lerp &a, const Lerp &b, const Lerp &c)
        {
            bzModelPolygon &p = newPolygons[np];
            p = source;
            const Lerp *points[3] = {&a, &b, &c};
            for (int32_t k = 0; k < 3; ++k)
            {
                SetVertex(newVertices[3 * np + static_cast<uint32_t>(k)], points[k]->p[0],
                          points[k]->p[1], points[k]->p[2]);
                p.v[k] = 3 * np + static_cast<uint32_t>(k);
                std::memcpy(p.uv[k], points[k]->uv, sizeof p.uv[k]);
            }
            ++np;
        };
        const int32_t rows = static_cast<int32_t>(s);
        for (int32_t r = 0; r < rows; ++r)
            for (int32_t c = 0; c <= r; ++c)
            {
                emit(SubPoint(corners, rows, r, c), SubPoint(corners, rows, r + 1, c),
                     SubPoint(corners, rows, r + 1, c + 1));
                if (c < r)
                    emit(SubPoint(corners, rows, r, c), SubPoint(corners, rows, r + 1, c + 1),
                         SubPoint(corners, rows, r, c + 1));
            }
    }
    bz_MemFree(data->polygons);
    bz_MemFree(data->vertices);
    data->polygons = newPolygons;
    data->vertices = newVertices;
    data->polygonCount = static_cast<int32_t>(polygons);
    data->vertexCount = static_cast<int32_t>(vertices);
    return bz_WeldModelVertices(model);
}

void bz_ApplyMaterialColour(bzModel *model)
{
    if (!model || !model->vertexData)
        return;
    bzModelVertexData *data = model->vertexData;
    for (int32_t i = 0; i < data->polygonCount; ++i)
    {
        bzModelPolygon &p = data->polygons[i];
        if (!p.material)
            continue;
        auto channel = [](float f)
        { return static_cast<uint32_t>(static_cast<int32_t>(f * 255.0f)) & 0xFF; };
        const uint32_t colour = 0xFF000000u | channel(p.material->red) << 16 |
                                channel(p.material->green) << 8 | channel(p.material->blue);
        for (uint32_t &c : p.colours)
            c = colour;
    }
}

float bz_HalfTexel(const bzMaterial *material)
{
    if (material && material->layerCount > 0 && material->layers && material->layers[0].image &&
        material->layers[0].image->height > 0)
        return 0.5f / static_cast<float>(material->layers[0].image->height);
    return 1.0f / 512.0f;
}

// ---------------------------------------------------------------------------------------------
// Builders

bzModel *bz_CreateBoxModel(const char *name, const float *box, int32_t level, bzMaterial *material)
{
    BZ_ASSERT(box);
    bzModel *model = bz_CreateModel(12, 8);
    if (!model)
        return nullptr;
    bzModelVertexData *data = model->vertexData;
    const float x0 = box[0], y0 = box[1], z0 = box[2], x1 = box[3], y1 = box[4], z1 = box[5];
    const float corners[8][3] = {{x0, y0, z0}, {x1, y0, z0}, {x1, y1, z0}, {x0, y1, z0},
                                 {x0, y0, z1}, {x1, y0, z1}, {x1, y1, z1}, {x0, y1, z1}};
    for (int32_t i = 0; i < 8; ++i)
        SetVertex(data->vertices[i], corners[i][0], corners[i][1], corners[i][2]);
    static const uint32_t kFaces[12][3] = {{0, 2, 1}, {0, 3, 2}, {5, 7, 4}, {5, 6, 7},
                                           {4, 3, 0}, {4, 7, 3}, {1, 6, 5}, {1, 2, 6},
                                           {4, 1, 5}, {4, 0, 1}, {3, 6, 2}, {3, 7, 6}};
    static const float kEvenUV[3][2] = {{0, 0}, {1, 1}, {0, 1}};
    static const float kOddUV[3][2] = {{0, 0}, {1, 0}, {1, 1}};
    for (int32_t i = 0; i < 12; ++i)
    {
        bzModelPolygon &p = data->polygons[i];
        SetPolygon(p, kFaces[i][0], kFaces[i][1], kFaces[i][2]);
        p.material = material;
        p.smoothing = 0;
        const float(*uv)[2] = (i % 2 == 0) ? kEvenUV : kOddUV;
        for (int32_t k = 0; k < 3; ++k)
            SetCornerUV(p, k, uv[k][0], uv[k][1], 5.0f);
    }
    if (const int32_t result = bz_SubdivideModelPolygons(model, level))
    {
        bz_ReleaseModel(model);
        bzgLastError = result;
        return nullptr;
    }
    return Finish(model, name);
}

bzModel *bz_CreateCubeModel(const char *name, bzMaterial *material, float edge)
{
    const float h = 0.5f * edge;
    const float box[6] = {-h, -h, -h, h, h, h};
    return bz_CreateBoxModel(name, box, 0, material);
}

namespace
{
// The octahedron's vertices and polygons, without the common end.
bzModel *BuildDiamond(float width, float height, float depth, bzMaterial *material)
{
    bzModel *model = bz_CreateModel(8, 6);
    if (!model)
        return nullptr;
    bzModelVertexData *data = model->vertexData;
    const float w = 0.5f * width, h = 0.5f * height, d = 0.5f * depth;
    SetVertex(data->vertices[0], 0, h, 0);
    SetVertex(data->vertices[1], -w, 0, -d);
    SetVertex(data->vertices[2], w, 0, -d);
    SetVertex(data->vertices[3], -w, 0, d);
    SetVertex(data->vertices[4], w, 0, d);
    SetVertex(data->vertices[5], 0, -h, 0);
    static const uint32_t kFaces[8][3] = {{0, 2, 1}, {0, 4, 2}, {0, 3, 4}, {0, 1, 3},
                                          {5, 1, 2}, {5, 2, 4}, {5, 4, 3}, {5, 3, 1}};
    static const float kUV[3][2] = {{0.5f, 0}, {1, 1}, {0, 1}};
    for (int32_t i = 0; i < 8; ++i)
    {
        bzModelPolygon &p = data->polygons[i];
        SetPolygon(p, kFaces[i][0], kFaces[i][1], kFaces[i][2]);
        p.material = material;
        for (int32_t k = 0; k < 3; ++k)
            SetCornerUV(p, k, kUV[k][0], kUV[k][1], 5.0f);
    }
    return model;
}
} // namespace

bzModel *bz_CreateDiamondModel(const char *name, float width, float height, float depth,
                               bzMaterial *material)
{
    bzModel *model = BuildDiamond(width, height, depth, material);
    return model ? Finish(model, name) : nullptr;
}

bzModel *bz_CreateSphereModel(const char *name, bzMaterial *material, int32_t level, float radius)
{
    bzModel *model = BuildDiamond(10.0f, 10.0f, 10.0f, material);
    if (!model)
        return nullptr;
    if (const int32_t result = bz_SubdivideModelPolygons(model, level))
    {
        bz_ReleaseModel(model);
        bzgLastError = result;
        return nullptr;
    }
    bzModelVertexData *data = model->vertexData;
    for (int32_t i = 0; i < data->vertexCount; ++i)
    {
        bzV3 p = {data->vertices[i].x, data->vertices[i].y, data->vertices[i].z};
        bz_V3_Normalise(&p);
        SetVertex(data->vertices[i], p.x, p.y, p.z);
    }
    for (int32_t i = 0; i < data->polygonCount; ++i)
    {
        bzModelPolygon &p = data->polygons[i];
        p.smoothing = 1;
        for (int32_t k = 0; k < 3; ++k)
        {
            const bzModelDataVertex &v = data->vertices[p.v[k]];
            p.uv[k][0] = TurnFraction(v.x, v.z);
            p.uv[k][1] = TurnFraction(v.y, v.z);
        }
        static const int32_t kPairs[3][2] = {{0, 1}, {1, 2}, {0, 2}};
        for (const auto &pair : kPairs)
            for (int32_t t = 0; t < 2; ++t)
                FixSeam(p.uv[pair[0]][t], p.uv[pair[1]][t]);
    }
    for (int32_t i = 0; i < data->vertexCount; ++i)
        SetVertex(data->vertices[i], data->vertices[i].x * radius, data->vertices[i].y * radius,
                  data->vertices[i].z * radius);
    return Finish(model, name);
}

namespace
{
// Positions and texture coordinates of the capsule's two caps.
void FillTicTacVertices(bzModelVertexData *data, int32_t n, float radius, float a, float b,
                        float *uvs)
{
    const int32_t m = n / 2;
    const int32_t capSize = (n + 1) * (m + 1);
    for (int32_t i = 0; i <= n; ++i)
        for (int32_t j = 0; j <= m; ++j)
        {
            const float t = static_cast<float>(i) / static_cast<float>(n) * 2.0f * kPi;
            const float p = static_cast<float>(j) / static_cast<float>(n) * 2.0f * kPi;
            const float y = std::sin(p) * std::cos(t) * radius;
            const float z = std::sin(p) * std::sin(t) * radius;
            const int32_t index = i * (m + 1) + j;
            SetVertex(data->vertices[index], std::cos(p) * radius + b, y, z);
            SetVertex(data->vertices[index + capSize], a - std::cos(p) * radius, y, z);
            if (uvs)
            {
                const float across = static_cast<float>(j) / static_cast<float>(n) * 0.5f;
                const float around = static_cast<float>(i) / static_cast<float>(n);
                uvs[2 * index] = across;
                uvs[2 * index + 1] = around;
                uvs[2 * (index + capSize)] = 1.0f - across;
                uvs[2 * (index + capSize) + 1] = around;
            }
        }
}
} // namespace

bzModel *bz_CreateTicTacModel(float radius, float firstEnd, float secondEnd, int32_t segments,
                              bzModel *model)
{
    const float a = firstEnd < secondEnd ? firstEnd : secondEnd;
    const float b = firstEnd < secondEnd ? secondEnd : firstEnd;
    if (segments == -1)
    {
        if (!model || !model->vertexData)
        {
            bzgLastError = model ? BZ_ERROR_NO_VERTEX_DATA : BZ_ERROR_NO_MODEL;
            return nullptr;
        }
        // The segment count is the one whose vertex count the model has.
        int32_t n = 1;
        while (n < 4096 && 2 * (n + 1) * (n / 2 + 1) != model->vertexData->vertexCount)
            ++n;
        if (n == 4096)
        {
            bzgLastError = BZ_ERROR_INVALID_PARAMETER;
            return nullptr;
        }
        FillTicTacVertices(model->vertexData, n, radius, a, b, nullptr);
        if (const int32_t result = bz_PrepareModelGeometry(model, kPrepareAll))
        {
            bzgLastError = result;
            return nullptr;
        }
        return model;
    }
    if (segments <= 0 || segments > 1024)
    {
        bzgLastError = BZ_ERROR_PARAMETER_OUT_OF_RANGE;
        return nullptr;
    }
    const int32_t n = segments, m = n / 2, q = n / 4;
    const int32_t capSize = (n + 1) * (m + 1);
    bzModel *made = bz_CreateModel((n + 2) * n, 2 * capSize);
    if (!made)
        return nullptr;
    bzModelVertexData *data = made->vertexData;
    auto *uvs = static_cast<float *>(
        bz_MemAlloc(static_cast<uint32_t>(4 * capSize) * static_cast<uint32_t>(sizeof(float)), 0));
    if (!uvs)
    {
        bz_ReleaseModel(made);
        bzgLastError = BZ_ERROR_NO_MEMORY;
        return nullptr;
    }
    FillTicTacVertices(data, n, radius, a, b, uvs);
    auto cap1 = [m](int32_t i, int32_t j) { return static_cast<uint32_t>(i * (m + 1) + j); };
    auto cap2 = [m, capSize](int32_t i, int32_t j)
    { return static_cast<uint32_t>(i * (m + 1) + j + capSize); };
    int32_t np = 0;
    auto emit = [&](uint32_t x, uint32_t y, uint32_t z)
    {
        bzModelPolygon &p = data->polygons[np++];
        SetPolygon(p, x, y, z);
        for (int32_t k = 0; k < 3; ++k)
        {
            p.uv[k][0] = uvs[2 * p.v[k]];
            p.uv[k][1] = uvs[2 * p.v[k] + 1];
        }
    };
    for (int32_t i = 0; i < n; ++i)
    {
        emit(cap1(i + 1, 0), cap1(i, 1), cap1(i + 1, 1));
        for (int32_t k = 1; k < q; ++k)
        {
            emit(cap1(i + 1, k), cap1(i, k), cap1(i, k + 1));
            emit(cap1(i + 1, k), cap1(i, k + 1), cap1(i + 1, k + 1));
        }
        emit(cap2(i, q), cap2(i + 1, q), cap1(i, q));
        emit(cap2(i + 1, q), cap1(i + 1, q), cap1(i, q));
        emit(cap2(i + 1, 0), cap2(i + 1, 1), cap2(i, 1));
        for (int32_t k = 1; k < q; ++k)
        {
            emit(cap2(i + 1, k), cap2(i, k + 1), cap2(i, k));
            emit(cap2(i + 1, k), cap2(i + 1, k + 1), cap2(i, k + 1));
        }
    }
    bz_MemFree(uvs);
    return Finish(made, nullptr);
}

// ---------------------------------------------------------------------------------------------
// Triangulation

uint16_t *bz_TriangulatePolygon2D(int32_t winding, int32_t count, const uint16_t *indices,
                                  const float *points, int32_t earTests, int32_t *outCount)
{
    BZ_ASSERT(outCount);
    *outCount = 0;
    if (count < 3 || !indices || !points)
        return nullptr;
    const auto n = static_cast<uint32_t>(count);
    // The outline shrinks by one corner per ear: at most n - 2 triangles.
    auto *outline = static_cast<uint16_t *>(bz_MemAlloc(n * 2u, 0));
    auto *out = static_cast<uint16_t *>(bz_MemAlloc(3u * (n - 2u) * 2u, 0));
    if (!outline || !out)
    {
        bz_MemFree(outline);
        bz_MemFree(out);
        bzgLastError = BZ_ERROR_NO_MEMORY;
        return nullptr;
    }
    std::memcpy(outline, indices, n * 2u);
    auto point = [points](uint16_t i) { return bzV2{points[2 * i], points[2 * i + 1]}; };
    auto convex = [&](uint16_t ia, uint16_t ib, uint16_t ic)
    {
        const bzV2 a = point(ia), b = point(ib), c = point(ic);
        const float cross = (c.y - b.y) * (a.x - b.x) - (a.y - b.y) * (c.x - b.x);
        return winding == 0 ? cross < 0.0f : cross > 0.0f;
    };
    auto empty = [&](uint16_t ia, uint16_t ib, uint16_t ic)
    {
        const bzV2 a = point(ia), b = point(ib), c = point(ic);
        for (int32_t k = 0; k < earTests; ++k)
        {
            const auto pk = static_cast<uint16_t>(k);
            if (pk == ia || pk == ib || pk == ic)
                continue;
            const bzV2 p = point(pk);
            if (bz_PointInTriangle2D(&p, &a, &b, &c))
                return false;
        }
        return true;
    };
    uint32_t left = n;
    int32_t written = 0;
    while (left >= 3)
    {
        bool cut = false;
        for (uint32_t i = 0; i < left && left >= 3; ++i)
        {
            const uint16_t prev = outline[(i + left - 1) % left];
            const uint16_t cur = outline[i];
            const uint16_t next = outline[(i + 1) % left];
            if (!convex(prev, cur, next) || !empty(prev, cur, next))
                continue;
            out[written++] = prev;
            out[written++] = cur;
            out[written++] = next;
            std::memmove(outline + i, outline + i + 1, (left - i - 1) * 2u);
            --left;
            cut = true;
        }
        if (!cut)
            break;
    }
    bz_MemFree(outline);
    if (written == 0)
    {
        bz_MemFree(out);
        return nullptr;
    }
    *outCount = written;
    return out;
}
