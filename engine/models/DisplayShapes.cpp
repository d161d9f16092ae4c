// The flat, round and ground shapes of the debug display, and the small vertex helpers.
#include "core/Debug.h"
#include "core/Error.h"
#include "core/Memory.h"
#include "files/File.h"
#include "models/DisplayModels.h"
#include "models/DisplayModelsInternal.h"
#include "models/ImgMap.h"
#include "models/Material.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <utility>

using namespace bz_display_detail;

namespace
{
constexpr float kEpsilon = 1.1920929e-7f;
constexpr int32_t kMaxSegments = 4096;

float Rad(float degrees)
{
    return degrees * (kPi / 180.0f);
}

bool BadCount(int32_t segments)
{
    if (segments > 0 && segments <= kMaxSegments)
        return false;
    bzgLastError = BZ_ERROR_PARAMETER_OUT_OF_RANGE;
    return true;
}

// Gives every corner of every polygon the texture coordinates of its vertex from uv (four
// floats a vertex: set 0 then set 1).
void CornersFromVertices(bzModelVertexData *data, const float *uv)
{
    for (int32_t i = 0; i < data->polygonCount; ++i)
        for (int32_t k = 0; k < 3; ++k)
            std::memcpy(data->polygons[i].uv[k], uv + 4 * data->polygons[i].v[k],
                        sizeof data->polygons[i].uv[k]);
}

float *TexCoords(int32_t vertices)
{
    auto *uv = static_cast<float *>(bz_MemAlloc(
        static_cast<uint32_t>(vertices) * 4u * static_cast<uint32_t>(sizeof(float)), BZ_MEM_CLEAR));
    if (!uv)
        bzgLastError = BZ_ERROR_NO_MEMORY;
    return uv;
}

// Rim texture coordinates of a cap: x / r and z / r of the vertex (0 and 1 on the axis).
void RimRatios(const bzModelDataVertex &v, float *xr, float *zr)
{
    const float r = std::sqrt(v.x * v.x + v.z * v.z);
    *xr = r < kEpsilon ? 0.0f : v.x / r;
    *zr = r < kEpsilon ? 1.0f : v.z / r;
}
} // namespace

// ---------------------------------------------------------------------------------------------
// Flat shapes

bzModel *bz_CreatePlaneModel(const char *name, float width, float height, bzMaterial *material,
                             const float *uvs)
{
    BZ_ASSERT(uvs);
    bzModel *model = bz_CreateModel(2, 4);
    if (!model)
        return nullptr;
    bzModelVertexData *d = model->vertexData;
    const float w = 0.5f * width, h = 0.5f * height;
    SetVertex(d->vertices[0], -w, h, 0);
    SetVertex(d->vertices[1], w, h, 0);
    SetVertex(d->vertices[2], w, -h, 0);
    SetVertex(d->vertices[3], -w, -h, 0);
    SetPolygon(d->polygons[0], 0, 1, 2);
    SetPolygon(d->polygons[1], 0, 2, 3);
    static const float kSet1[2][3][2] = {{{0, 0}, {5, 0}, {5, 5}}, {{0, 0}, {5, 5}, {0, 5}}};
    for (int32_t i = 0; i < 2; ++i)
    {
        bzModelPolygon &p = d->polygons[i];
        p.material = material;
        for (int32_t k = 0; k < 3; ++k)
        {
            p.uv[k][0] = uvs[2 * p.v[k]];
            p.uv[k][1] = uvs[2 * p.v[k] + 1];
            p.uv[k][2] = kSet1[i][k][0];
            p.uv[k][3] = kSet1[i][k][1];
            p.colours[k] = 0xFFFFFFFFu;
        }
    }
    return Finish(model, name);
}

bzModel *bz_CreateHalfSpaceModel(const char *name, float width, float height, bzMaterial *material)
{
    static const float kUVs[8] = {0, 0, 1, 0, 1, 1, 0, 1};
    return bz_CreatePlaneModel(name, width, height, material, kUVs);
}

bzModel *bz_CreateGridModel(const char *name, int32_t level, float repeat, float width,
                            float height, bzMaterial *material)
{
    const float e = bz_HalfTexel(material);
    const float lo = e, hi = repeat - e;
    const float uvs[8] = {lo, lo, hi, lo, hi, hi, lo, hi};
    bzModel *model = bz_CreateModel(2, 4);
    if (!model)
        return nullptr;
    bzModelVertexData *d = model->vertexData;
    const float w = 0.5f * width, h = 0.5f * height;
    SetVertex(d->vertices[0], -w, h, 0);
    SetVertex(d->vertices[1], w, h, 0);
    SetVertex(d->vertices[2], w, -h, 0);
    SetVertex(d->vertices[3], -w, -h, 0);
    SetPolygon(d->polygons[0], 0, 1, 2);
    SetPolygon(d->polygons[1], 0, 2, 3);
    for (int32_t i = 0; i < 2; ++i)
    {
        bzModelPolygon &p = d->polygons[i];
        p.material = material;
        p.smoothing = 1;
        for (int32_t k = 0; k < 3; ++k)
        {
            SetCornerUV(p, k, uvs[2 * p.v[k]], uvs[2 * p.v[k] + 1], 2.0f);
            p.colours[k] = 0xFFFFFFFFu;
        }
    }
    if (const int32_t result = bz_SubdivideModelPolygons(model, level))
    {
        bz_ReleaseModel(model);
        bzgLastError = result;
        return nullptr;
    }
    return Finish(model, name);
}

// ---------------------------------------------------------------------------------------------
// Round shapes

bzModel *bz_CreateDiscModel(const char *name, int32_t segments, float radius, bzMaterial *material)
{
    if (BadCount(segments))
        return nullptr;
    bzModel *model = bz_CreateModel(segments, segments + 2);
    if (!model)
        return nullptr;
    bzModelVertexData *d = model->vertexData;
    const float step = 360.0f / static_cast<float>(segments);
    for (int32_t k = 0; k <= segments; ++k)
    {
        const float a = Rad(360.0f - static_cast<float>(k) * step);
        SetVertex(d->vertices[k + 1], std::sin(a) * radius, 0, std::cos(a) * radius);
    }
    static const float kUV[3][2] = {
        {0.5f, 0.984375f}, {0.015625f, 0.015625f}, {0.984375f, 0.015625f}};
    for (int32_t k = 0; k < segments; ++k)
    {
        bzModelPolygon &p = d->polygons[k];
        SetPolygon(p, 0, static_cast<uint32_t>(k + 2), static_cast<uint32_t>(k + 1));
        p.material = material;
        p.smoothing = 1;
        for (int32_t c = 0; c < 3; ++c)
        {
            p.uv[c][0] = kUV[c][0];
            p.uv[c][1] = kUV[c][1];
        }
    }
    return Finish(model, name);
}

bzModel *bz_CreateAnnulusModel(const char *name, int32_t segments, float inner, float outer,
                               bzMaterial *material)
{
    if (BadCount(segments))
        return nullptr;
    const int32_t vertices = 2 * segments + 2;
    bzModel *model = bz_CreateModel(2 * segments, vertices);
    float *uv = model ? TexCoords(vertices) : nullptr;
    if (!uv)
    {
        bz_ReleaseModel(model);
        return nullptr;
    }
    bzModelVertexData *d = model->vertexData;
    const float e = bz_HalfTexel(material);
    const float step = 360.0f / static_cast<float>(segments);
    for (int32_t k = 0; k <= segments; ++k)
    {
        const float a = Rad(360.0f - static_cast<float>(k) * step);
        SetVertex(d->vertices[2 * k], std::sin(a) * inner, 0, std::cos(a) * inner);
        SetVertex(d->vertices[2 * k + 1], std::sin(a) * outer, 0, std::cos(a) * outer);
        const float u = static_cast<float>(k % 2);
        const float in[4] = {u, e, u, e}, out[4] = {u, 1.0f - e, u, 1.0f - e};
        std::memcpy(uv + 8 * k, in, sizeof in);
        std::memcpy(uv + 8 * k + 4, out, sizeof out);
    }
    for (int32_t k = 0; k < segments; ++k)
    {
        const auto b = static_cast<uint32_t>(2 * k);
        SetPolygon(d->polygons[2 * k], b, b + 1, b + 2);
        SetPolygon(d->polygons[2 * k + 1], b + 2, b + 1, b + 3);
        for (int32_t t = 0; t < 2; ++t)
        {
            d->polygons[2 * k + t].material = material;
            d->polygons[2 * k + t].smoothing = 1;
        }
    }
    CornersFromVertices(d, uv);
    bz_MemFree(uv);
    return Finish(model, name);
}

bzModel *bz_CreateConeModel(const char *name, int32_t segments, float radius, float height,
                            bzMaterial *material, int32_t base, int32_t apexAtOrigin,
                            int32_t planar)
{
    if (BadCount(segments))
        return nullptr;
    const int32_t vertices = base ? 2 * segments + 3 : segments + 2;
    bzModel *model = bz_CreateModel(base ? 2 * segments : segments, vertices);
    if (!model)
        return nullptr;
    bzModelVertexData *d = model->vertexData;
    const float ringY = apexAtOrigin ? -height : 0.0f;
    SetVertex(d->vertices[0], 0, apexAtOrigin ? 0.0f : height, 0);
    const float step = 360.0f / static_cast<float>(segments);
    const int32_t ring = base ? 2 * segments + 1 : segments + 1;
    for (int32_t k = 0; k < ring; ++k)
    {
        const float a = Rad(360.0f - static_cast<float>(k) * step);
        SetVertex(d->vertices[k + 1], std::sin(a) * radius, ringY, std::cos(a) * radius);
    }
    const float e = bz_HalfTexel(material);
    for (int32_t k = 0; k < segments; ++k)
    {
        bzModelPolygon &p = d->polygons[k];
        SetPolygon(p, 0, static_cast<uint32_t>(k + 2), static_cast<uint32_t>(k + 1));
        p.material = material;
        p.smoothing = 1;
        if (planar)
        {
            p.uv[0][0] = p.uv[0][1] = 0.5f;
            for (int32_t c = 1; c < 3; ++c)
            {
                const float b = Rad(360.0f - static_cast<float>(p.v[c] - 1) * step);
                p.uv[c][0] = (std::cos(b) + 1.0f) * 0.5f;
                p.uv[c][1] = (std::sin(b) + 1.0f) * 0.5f;
            }
        }
        else
        {
            p.uv[0][0] = 0.5f;
            p.uv[0][1] = e;
            for (int32_t c = 1; c < 3; ++c)
            {
                const bzModelDataVertex &v = d->vertices[p.v[c]];
                p.uv[c][0] = TurnFraction(v.x, v.z);
                p.uv[c][1] = 1.0f - e;
            }
            FixSeam(p.uv[1][0], p.uv[2][0]);
        }
    }
    if (base)
    {
        const auto centre = static_cast<uint32_t>(vertices - 1);
        SetVertex(d->vertices[centre], 0, ringY, 0);
        for (int32_t k = 0; k < segments; ++k)
        {
            bzModelPolygon &p = d->polygons[segments + k];
            SetPolygon(p, centre, static_cast<uint32_t>(k + 1), static_cast<uint32_t>(k + 2));
            p.material = material;
            p.smoothing = 2;
            p.uv[0][0] = p.uv[0][1] = 0.5f;
            for (int32_t c = 1; c < 3; ++c)
            {
                const bzModelDataVertex &v = d->vertices[p.v[c]];
                const float r = std::sqrt(v.x * v.x + v.z * v.z);
                p.uv[c][0] = r < kEpsilon ? 0.5f : v.x / r * 0.5f + 0.5f;
                p.uv[c][1] = r < kEpsilon ? 1.0f : v.z / r * 0.5f + 0.5f;
            }
        }
    }
    return Finish(model, name);
}

bzModel *bz_CreateCylinderModel(const char *name, int32_t segments, float radius, float height,
                                bzMaterial *material, int32_t caps, int32_t insideOut)
{
    if (BadCount(segments))
        return nullptr;
    const int32_t vertices = caps ? 2 * segments + 4 : 2 * segments + 2;
    bzModel *model = bz_CreateModel(caps ? 4 * segments : 2 * segments, vertices);
    float *uv = model ? TexCoords(vertices) : nullptr;
    if (!uv)
    {
        bz_ReleaseModel(model);
        return nullptr;
    }
    bzModelVertexData *d = model->vertexData;
    const float e = bz_HalfTexel(material), h = 0.5f * height;
    const float step = 360.0f / static_cast<float>(segments);
    for (int32_t k = 0; k <= segments; ++k)
    {
        const float degrees = static_cast<float>(k) * step;
        const float a = Rad(degrees);
        SetVertex(d->vertices[2 * k], std::sin(a) * radius, h, std::cos(a) * radius);
        SetVertex(d->vertices[2 * k + 1], std::sin(a) * radius, -h, std::cos(a) * radius);
        const float u0 = (360.0f - degrees) / 180.0f, u1 = (360.0f - degrees) / 720.0f;
        const float top[4] = {u0, e, u1, e}, bottom[4] = {u0, 1.0f - e, u1, 1.0f - e};
        std::memcpy(uv + 8 * k, top, sizeof top);
        std::memcpy(uv + 8 * k + 4, bottom, sizeof bottom);
    }
    for (int32_t k = 0; k < segments; ++k)
    {
        const auto b = static_cast<uint32_t>(2 * k);
        SetPolygon(d->polygons[2 * k], b, b + 1, b + 2);
        SetPolygon(d->polygons[2 * k + 1], b + 2, b + 1, b + 3);
        d->polygons[2 * k].smoothing = d->polygons[2 * k + 1].smoothing = 1;
    }
    CornersFromVertices(d, uv);
    bz_MemFree(uv);
    if (caps)
    {
        const auto topCentre = static_cast<uint32_t>(2 * segments + 2);
        const auto bottomCentre = topCentre + 1;
        SetVertex(d->vertices[topCentre], 0, h, 0);
        SetVertex(d->vertices[bottomCentre], 0, -h, 0);
        for (int32_t k = 0; k < segments; ++k)
        {
            const auto b = static_cast<uint32_t>(2 * k);
            bzModelPolygon &top = d->polygons[2 * segments + 2 * k];
            bzModelPolygon &bottom = d->polygons[2 * segments + 2 * k + 1];
            SetPolygon(top, topCentre, b, b + 2);
            SetPolygon(bottom, bottomCentre, b + 3, b + 1);
            top.smoothing = 2;
            bottom.smoothing = 4;
            for (bzModelPolygon *p : {&top, &bottom})
            {
                std::memset(p->uv, 0, sizeof p->uv);
                p->uv[0][0] = p->uv[0][1] = 0.5f;
                for (int32_t c = 1; c < 3; ++c)
                {
                    float xr, zr;
                    RimRatios(d->vertices[p->v[c]], &xr, &zr);
                    p->uv[c][0] = xr * 0.5f + 0.5f;
                    p->uv[c][1] = p == &top ? 1.0f - (zr * 0.5f + 0.5f) : zr * 0.5f + 0.5f;
                }
            }
        }
    }
    for (int32_t i = 0; i < d->polygonCount; ++i)
    {
        bzModelPolygon &p = d->polygons[i];
        p.material = material;
        if (insideOut)
        {
            std::swap(p.v[0], p.v[1]);
            for (int32_t t = 0; t < 4; ++t)
                std::swap(p.uv[0][t], p.uv[1][t]);
        }
    }
    return Finish(model, name);
}

bzModel *bz_CreateTorusModel(const char *name, float ringRadius, float tubeRadius, int32_t rings,
                             int32_t segments, bzMaterial *material)
{
    if (BadCount(rings) || BadCount(segments) || static_cast<int64_t>(rings) * segments > 0x100000)
    {
        bzgLastError = BZ_ERROR_PARAMETER_OUT_OF_RANGE;
        return nullptr;
    }
    const int32_t vertices = rings * segments;
    bzModel *model = bz_CreateModel(2 * vertices, vertices);
    float *uv = model ? TexCoords(vertices) : nullptr;
    if (!uv)
    {
        bz_ReleaseModel(model);
        return nullptr;
    }
    bzModelVertexData *d = model->vertexData;
    auto at = [rings, segments](int32_t i, int32_t j)
    { return static_cast<uint32_t>((i % rings) * segments + j % segments); };
    for (int32_t i = 0; i < rings; ++i)
        for (int32_t j = 0; j < segments; ++j)
        {
            const float a = Rad(static_cast<float>(i) * 360.0f / static_cast<float>(rings));
            const float b = Rad(static_cast<float>(j) * 360.0f / static_cast<float>(segments));
            const float across = ringRadius + tubeRadius * std::cos(b);
            SetVertex(d->vertices[at(i, j)], across * std::sin(a), across * std::cos(a),
                      tubeRadius * std::sin(b));
            const float u =
                j < segments / 2 ? 0.5f - std::cos(b) * 0.5f : 0.5f + std::cos(b) * 0.5f;
            const float v = 0.25f * static_cast<float>(i % 5);
            float *w = uv + 4 * at(i, j);
            w[0] = u;
            w[1] = v;
            w[2] = 2.0f * u;
            w[3] = 2.0f * v;
            bzModelPolygon &p = d->polygons[2 * at(i, j)];
            bzModelPolygon &q = d->polygons[2 * at(i, j) + 1];
            SetPolygon(p, at(i, j), at(i, j + 1), at(i + 1, j + 1));
            SetPolygon(q, at(i, j), at(i + 1, j + 1), at(i + 1, j));
            p.material = q.material = material;
            p.smoothing = q.smoothing = 1;
        }
    CornersFromVertices(d, uv);
    bz_MemFree(uv);
    return Finish(model, name);
}

// ---------------------------------------------------------------------------------------------
// Markers and the broken box

namespace
{
bzModel *FromTables(const float (*positions)[3], int32_t vertices, const uint32_t (*faces)[3],
                    int32_t polygons, bzMaterial *material, uint16_t smoothing)
{
    bzModel *model = bz_CreateModel(polygons, vertices);
    if (!model)
        return nullptr;
    bzModelVertexData *d = model->vertexData;
    for (int32_t i = 0; i < vertices; ++i)
        SetVertex(d->vertices[i], positions[i][0], positions[i][1], positions[i][2]);
    for (int32_t i = 0; i < polygons; ++i)
    {
        SetPolygon(d->polygons[i], faces[i][0], faces[i][1], faces[i][2]);
        d->polygons[i].material = material;
        d->polygons[i].smoothing = smoothing;
    }
    return model;
}
} // namespace

bzModel *bz_CreatePointerModel(const char *name, float size, bzMaterial *material)
{
    const float s = size;
    const float positions[7][3] = {{0, 0, 0},
                                   {-0.2f * s, 0, -0.2f * s},
                                   {0, 0, 0.8f * s},
                                   {0.2f * s, 0, -0.2f * s},
                                   {-0.15f * s, 0, 0.7f * s},
                                   {0.15f * s, 0, 0.7f * s},
                                   {0, 0, s}};
    static const uint32_t kFaces[4][3] = {{0, 1, 2}, {0, 2, 3}, {2, 4, 6}, {2, 6, 5}};
    bzModel *model = FromTables(positions, 7, kFaces, 4, material, 1);
    return model ? Finish(model, name) : nullptr;
}

bzModel *bz_CreateMarkerModel(const char *name, bzMaterial *material)
{
    static const float kPositions[5][3] = {
        {0, 0.25f, 0}, {0, 0, 0.7f}, {-0.3f, 0, 0}, {0, 0, -0.3f}, {0.3f, 0, 0}};
    static const uint32_t kFaces[6][3] = {{0, 2, 1}, {3, 2, 0}, {4, 3, 0},
                                          {4, 0, 1}, {1, 2, 4}, {4, 2, 3}};
    bzModel *model = FromTables(kPositions, 5, kFaces, 6, material, 0);
    return model ? Finish(model, name) : nullptr;
}

bzModel *bz_CreateBrokenBoxModel(bzMaterial *material)
{
    static const float kPositions[13][3] = {
        {-.5f, -.5f, -.5f},  {.5f, -.5f, -.5f},     {.5f, .5f, -.5f},     {-.5f, .5f, -.5f},
        {-.5f, -.5f, .5f},   {.5f, -.5f, .5f},      {.5f, .5f, .5f},      {-.5f, .5f, .5f},
        {-.5f, .5f, .5f},    {-1.5f, -1.5f, -1.5f}, {1.5f, -1.5f, -1.5f}, {1.5f, 1.5f, -1.5f},
        {-1.5f, 1.5f, -1.5f}};
    static const uint32_t kFaces[18][3] = {{0, 2, 1}, {0, 3, 2}, {5, 7, 4}, {5, 6, 8}, {4, 3, 0},
                                           {4, 7, 3}, {1, 6, 5}, {1, 2, 6}, {4, 1, 5}, {4, 0, 1},
                                           {3, 6, 2}, {3, 7, 6}, {1, 4, 5}, {4, 0, 1}, {2, 6, 3},
                                           {7, 3, 6}, {0, 1, 0}, {7, 7, 4}};
    bzModel *model = FromTables(kPositions, 13, kFaces, 18, material, 0);
    if (!model)
        return nullptr;
    static const float kUV[2][3][2] = {{{0, 1}, {1, 0}, {1, 1}}, {{0, 1}, {0, 0}, {1, 0}}};
    for (int32_t i = 0; i < 18; ++i)
        for (int32_t k = 0; k < 3; ++k)
        {
            const float u = kUV[i % 2][k][0], v = kUV[i % 2][k][1];
            bzModelPolygon &p = model->vertexData->polygons[i];
            p.uv[k][0] = u;
            p.uv[k][1] = v;
            p.uv[k][2] = 3.0f * u - 1.0f;
            p.uv[k][3] = 2.0f - 3.0f * v;
        }
    return Finish(model, "Broken Box");
}

// ---------------------------------------------------------------------------------------------
// Sky box

namespace
{
bzModel *BuildSkyBox(const char (*names)[32], bz_IMGMAP *image, bzMaterial **out)
{
    bzMaterial *sides[6] = {};
    for (int32_t i = 0; i < 6; ++i)
    {
        char name[16];
        std::snprintf(name, sizeof name, "skybox%i", i);
        sides[i] = bz_CreateMaterial(name, 0);
        if (!sides[i])
            break;
        bzMaterial *m = sides[i];
        m->red = m->green = m->blue = 1.0f;
        m->flags = 0x44C04;
        bz_IMGMAP *side = image ? bz_AddRefImgMap(image) : names ? bz_GetImgMap(names[i]) : nullptr;
        if (m->layerCount > 0)
            bz_SetMaterialLayerTexture(m, 0, side);
        bz_ReleaseImgMap(side);
        bz_UpdateMaterial(m, static_cast<int32_t>(0xFFFFFFEF));
    }
    bzModel *model = sides[5] ? bz_CreateModel(12, 8) : nullptr;
    if (model)
    {
        bzModelVertexData *d = model->vertexData;
        const float corners[8][3] = {{-50, -50, -50}, {50, -50, -50}, {50, 50, -50}, {-50, 50, -50},
                                     {-50, -50, 50},  {50, -50, 50},  {50, 50, 50},  {-50, 50, 50}};
        static const uint32_t kFaces[12][3] = {{0, 1, 2}, {0, 2, 3}, {5, 4, 7}, {5, 7, 6},
                                               {4, 0, 3}, {4, 3, 7}, {1, 5, 6}, {1, 6, 2},
                                               {4, 5, 1}, {4, 1, 0}, {3, 2, 6}, {3, 6, 7}};
        for (int32_t i = 0; i < 8; ++i)
            SetVertex(d->vertices[i], corners[i][0], corners[i][1], corners[i][2]);
        for (int32_t i = 0; i < 12; ++i)
        {
            bzModelPolygon &p = d->polygons[i];
            SetPolygon(p, kFaces[i][0], kFaces[i][1], kFaces[i][2]);
            p.material = sides[i / 2];
            const float e = bz_HalfTexel(p.material);
            const float first[3][2] = {{1 - e, e}, {e, 1 - e}, {e, e}};
            const float second[3][2] = {{1 - e, e}, {1 - e, 1 - e}, {e, 1 - e}};
            for (int32_t k = 0; k < 3; ++k)
            {
                const float(*uv)[2] = i % 2 == 0 ? first : second;
                p.uv[k][0] = uv[k][0];
                p.uv[k][1] = uv[k][1];
                p.colours[k] = 0xFF7F7F7Fu;
            }
        }
        CopyName(model, "skybox");
        if (const int32_t result = bz_PrepareModelGeometry(model, kPrepareAll))
        {
            bz_ReleaseModel(model);
            model = nullptr;
            bzgLastError = result;
        }
    }
    // The part's entries hold the materials; the builder's references go to the caller or away.
    for (int32_t i = 0; i < 6; ++i)
    {
        if (out)
            out[i] = model ? sides[i] : nullptr;
        if (!out || !model)
            bz_ReleaseMaterial(sides[i]);
    }
    return model;
}
} // namespace

bzModel *bz_CreateSkyBoxModel(const char (*names)[32], bzMaterial **materials)
{
    return BuildSkyBox(names, nullptr, materials);
}

bzModel *bz_CreateSkyBoxModelFromImage(bz_IMGMAP *image, bzMaterial **materials)
{
    return BuildSkyBox(nullptr, image, materials);
}

// ---------------------------------------------------------------------------------------------
// Ground

bzModel *bz_CreateGroundModel(const char *heightFile, const char *image, float size, float scale,
                              const char *detailImage)
{
    int32_t length = 0;
    auto *heights = static_cast<uint8_t *>(bz_LoadFileToMemory(heightFile, &length));
    if (!heights)
    {
        bzgLastError = BZ_ERROR_FILE_NOT_FOUND;
        return nullptr;
    }
    int32_t n = static_cast<int32_t>(std::sqrt(static_cast<double>(length)));
    while (n * n > length)
        --n;
    while ((n + 1) * (n + 1) <= length)
        ++n;
    // An empty file or one that is not a square of heights gives no grid.
    if (length <= 0 || n * n != length || n < 2 || n > 2048)
    {
        bz_MemFree(heights);
        bzgLastError = BZ_ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    bzMaterial *material = nullptr;
    if (bz_IMGMAP *texture = image ? bz_GetImgMap(image) : nullptr)
    {
        material = bz_CreateMaterialFromTextureHandle(texture);
        bz_ReleaseImgMap(texture);
        if (material)
        {
            bz_RenameMaterial(material, "GroundMatt");
            if (bz_IMGMAP *detail = detailImage ? bz_GetImgMap(detailImage) : nullptr)
            {
                if (bz_ResizeMaterialLayers(material, 2) == 0)
                {
                    bz_SetMaterialLayerTexture(material, 1, detail);
                    material->layers[1].addressV = 0;
                    material->flags = (material->flags & ~0x8u) | 0x4u;
                }
                bz_ReleaseImgMap(detail);
            }
            bz_UpdateMaterial(material, BZ_MATUPDATE_ALL);
        }
    }
    const int32_t cells = (n - 1) * (n - 1);
    bzModel *model = bz_CreateModel(2 * cells, n * n);
    float *uv = model ? TexCoords(n * n) : nullptr;
    if (!uv)
    {
        bz_ReleaseModel(model);
        bz_ReleaseMaterial(material);
        bz_MemFree(heights);
        return nullptr;
    }
    bzModelVertexData *d = model->vertexData;
    const float spacing = size / static_cast<float>(n);
    const float half = 0.5f * spacing * static_cast<float>(n - 1);
    for (int32_t r = 0; r < n; ++r)
        for (int32_t c = 0; c < n; ++c)
        {
            const int32_t v = r * n + c;
            const float x = static_cast<float>(c) * spacing - half;
            const float z = static_cast<float>(r) * spacing - half;
            SetVertex(d->vertices[v], x, static_cast<float>(heights[v]) * scale / 255.0f, z);
            const float u0 = (x + 0.5f * size) / size, v0 = (z + 0.5f * size) / size;
            float *w = uv + 4 * v;
            w[0] = u0;
            w[1] = v0;
            w[2] = 2.3f * u0;
            w[3] = 2.3f * v0;
        }
    bz_MemFree(heights);
    int32_t np = 0;
    for (int32_t r = 0; r < n - 1; ++r)
        for (int32_t c = 0; c < n - 1; ++c)
        {
            const auto v = static_cast<uint32_t>(r * n + c), m = static_cast<uint32_t>(n);
            SetPolygon(d->polygons[np++], v, v + m + 1, v + 1);
            SetPolygon(d->polygons[np++], v, v + m, v + m + 1);
        }
    for (int32_t i = 0; i < d->polygonCount; ++i)
    {
        d->polygons[i].material = material;
        d->polygons[i].smoothing = 1;
    }
    CornersFromVertices(d, uv);
    bz_MemFree(uv);
    bzModel *result = Finish(model, nullptr);
    // The part's entries hold the material now; the builder's reference goes.
    bz_ReleaseMaterial(material);
    return result;
}

// ---------------------------------------------------------------------------------------------
// Helpers

int32_t bz_FindFlaggedPolygon(const bzModel *model, int32_t first, int32_t end)
{
    if (!model || !model->vertexData)
        return -1;
    const bzModelVertexData *d = model->vertexData;
    if (first < 0)
        first = 0;
    if (end > d->polygonCount)
        end = d->polygonCount;
    for (int32_t i = first; i < end; ++i)
        if (d->polygons[i].flags & BZ_POLYGON_SEARCHED)
            return i;
    return -1;
}

int32_t bz_AddUniqueVertex(bzModelDataVertex *vertices, int32_t *count, const bzV3 *point)
{
    BZ_ASSERT(vertices && count && point);
    for (int32_t i = 0; i < *count; ++i)
        if (std::fabs(vertices[i].x - point->x) <= 0.0001f &&
            std::fabs(vertices[i].y - point->y) <= 0.0001f &&
            std::fabs(vertices[i].z - point->z) <= 0.0001f)
            return i;
    bzModelDataVertex &v = vertices[*count];
    std::memset(&v, 0, sizeof v);
    SetVertex(v, point->x, point->y, point->z);
    return (*count)++;
}

void bz_LerpV3(const float *a, float *out, const float *b, float t)
{
    for (int32_t k = 0; k < 3; ++k)
        out[k] = a[k] + (b[k] - a[k]) * t;
}

void bz_LerpV4(const float *a, float *out, const float *b, float t)
{
    for (int32_t k = 0; k < 4; ++k)
        out[k] = a[k] + (b[k] - a[k]) * t;
}
