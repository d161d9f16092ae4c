#include "scene/ParticleEmit.h"

#include "core/Bytes.h"
#include "core/Memory.h"
#include "device/ImageRecord.h"
#include "files/File.h"
#include "files/Stream.h"
#include "maths/Vector.h"
#include "scene/EffectServices.h"
#include "scene/ModelGeometry.h"
#include "scene/ParticleSystem.h"
#include "scene/SceneServices.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace
{
constexpr uint16_t kFirstVersion = 0x100;
constexpr uint16_t kVersion = 0x106;
constexpr uint32_t kModelNameBytes = 32;
constexpr int32_t kPathBytes = 260;

// A bounded reader that remembers the first failure.
struct Reader
{
    const uint8_t *p;
    const uint8_t *end;
    bool bad;

    uint32_t Left() const { return static_cast<uint32_t>(end - p); }
    const uint8_t *Take(uint32_t n)
    {
        if (bad || Left() < n)
        {
            bad = true;
            return nullptr;
        }
        const uint8_t *at = p;
        p += n;
        return at;
    }
    uint32_t U32()
    {
        const uint8_t *at = Take(4);
        return at ? bz_GetU32LE(at) : 0;
    }
    float F32()
    {
        const uint8_t *at = Take(4);
        if (!at)
            return 0.0f;
        const float f = bz_GetF32LE(at);
        if (!std::isfinite(f))
            bad = true;
        return f;
    }
    void V3(bzV3 *out)
    {
        for (float &f : out->v)
            f = F32();
    }
};

// Writes through the stream writers and counts the bytes.
struct Writer
{
    bzFileHandle *file;
    int32_t bytes;
    bool shortWrite;

    void U32(uint32_t v)
    {
        if (bz_Stream_WriteUInt(file, v) != 4)
            shortWrite = true;
        bytes += 4;
    }
    void F32(float f)
    {
        uint32_t bits;
        std::memcpy(&bits, &f, 4);
        U32(bits);
    }
    void Bytes(const void *data, uint32_t n)
    {
        if (n && bz_FileWrite(file, data, n) != n)
            shortWrite = true;
        bytes += static_cast<int32_t>(n);
    }
};

bool JoinPath(char *out, const char *directory, const char *name)
{
    return std::snprintf(out, kPathBytes, "%s%s", directory ? directory : "", name) < kPathBytes;
}

void ReadTexture(Reader *r, bzParticleSystem *s, const char *directory)
{
    const uint32_t n = r->U32();
    if (r->bad)
        return;
    // A length the data left cannot hold is a lie, not a name.
    if (n > r->Left())
    {
        r->bad = true;
        return;
    }
    const uint8_t *bytes = r->Take(n);
    if (!n)
        return;
    char name[kPathBytes];
    const uint32_t kept = n < kPathBytes - 1 ? n : kPathBytes - 1;
    std::memcpy(name, bytes, kept);
    name[kept] = 0;
    char path[kPathBytes];
    if (!name[0] || n >= kPathBytes || !JoinPath(path, directory, name))
        return;
    bz_IMGMAP *texture = bz_Scene_GetImgMap(path);
    if (texture)
    {
        bz_Scene_ReleaseImgMap(s->texture);
        s->texture = texture;
    }
}

void ReadModel(Reader *r, bzParticleSystem *s, const char *directory)
{
    const uint8_t *bytes = r->Take(kModelNameBytes);
    if (!bytes)
        return;
    char name[kModelNameBytes + 1];
    std::memcpy(name, bytes, kModelNameBytes);
    name[kModelNameBytes] = 0;
    char path[kPathBytes];
    if (!JoinPath(path, directory, name))
        return;
    bzModel *model = bz_Scene_LoadModel(path);
    if (!model)
        return;
    bz_Scene_ReleaseModel(s->model);
    s->model = model;
    bzModelMesh mesh = {};
    bzMaterial *material = nullptr;
    if (bz_Scene_GetModelMesh(model, &mesh) && mesh.faceCount)
        material = bz_Scene_GetFaceMaterial(&mesh, 0);
    if (material)
        bz_Scene_AddMaterialRef(material);
    else
        material = bz_Scene_CreateMaterialWithColour("Emitter material", s->startColour);
    bz_Scene_ReleaseMaterial(s->layers[0].material);
    s->layers[0].material = material;
    s->drawKind = BZ_PARTICLE_DRAW_MODELS;
}

// The direction, speed and variance of two launch vectors.
void FromLaunchVectors(bzParticleSystem *s, const bzV3 &a, const bzV3 &b)
{
    bzV3 mid;
    bz_V3_AddInto(&a, &b, &mid);
    bz_V3_Scale(&mid, 0.5f);
    s->speed = bz_V3_Length(&mid);
    s->direction = mid;
    if (s->speed > 0.0f)
        bz_V3_Scale(&s->direction, 1.0f / s->speed);
    s->speedVariance = bz_V3_Distance(&a, &b);
}

bool ReadFields(Reader *r, uint16_t version, bzParticleSystem *s, const char *directory)
{
    s->shapeKind = r->U32();
    if (version == kVersion)
        s->drawKind = r->U32();
    s->boundingRadius = r->F32();
    s->attractorMinDistance = r->F32();
    s->attractorRange = r->F32();
    s->attractorStrength = r->F32();
    ReadTexture(r, s, directory);
    s->emitterLife = r->F32();
    r->V3(&s->acceleration);
    s->startSize = r->F32();
    s->endSize = version == kFirstVersion ? s->startSize : r->F32();
    s->maxSpeed = r->F32();
    if (version >= 0x104)
    {
        r->V3(&s->direction);
        s->speed = r->F32();
        s->speedVariance = r->F32();
    }
    else if (version == 0x103)
    {
        r->V3(&s->direction);
        s->speedVariance = r->F32();
        s->speed = bz_V3_Length(&s->direction);
        if (s->speed > 0.0f)
            bz_V3_Scale(&s->direction, 1.0f / s->speed);
    }
    else
    {
        bzV3 a, b;
        r->V3(&a);
        r->V3(&b);
        FromLaunchVectors(s, a, b);
    }
    s->coneMin = r->F32();
    s->coneMax = r->F32();
    // The shape words are stored twice; the second pair is the one kept.
    for (int pass = 0; pass < 2; pass++)
    {
        s->shape1.pointCount = r->U32();
        const uint32_t word2 = r->U32();
        s->shape2.points = nullptr;
        std::memcpy(&s->shape2.height, &word2, 4);
    }
    s->emissionRate = r->F32();
    s->drag = r->F32();
    s->startColour = r->U32();
    s->endColour = r->U32();
    s->layers[0].mode = r->U32();
    s->layers[1].mode = r->U32();
    s->layers[0].ageLimit = r->F32();
    s->particleLife = r->F32();
    const uint32_t flags = r->U32();
    // The system's own on-list bit stays: the list and the bit must agree.
    s->flags = (flags & ~BZ_PS_LISTED) | (s->flags & BZ_PS_LISTED);
    if (version >= 0x102)
    {
        for (float &f : s->renderFactors)
            f = r->F32();
        s->scaleWord = r->F32();
    }
    else
    {
        s->renderFactors[0] = 1.0f;
        s->renderFactors[1] = 1.0f;
        s->scaleWord = 1.0f;
    }
    if (version >= 0x105)
    {
        const uint32_t modelFlag = r->U32();
        if (!r->bad && (modelFlag & 1))
            ReadModel(r, s, directory);
    }
    if (r->bad)
        return false;
    if (s->shapeKind > BZ_PARTICLE_SHAPE_POINT2)
        return false;
    if (s->shapeKind == BZ_PARTICLE_SHAPE_CLOUD || s->shapeKind == BZ_PARTICLE_SHAPE_POLYLINE)
    {
        // The payload cannot hold the points: the point shape stands in.
        s->shapeKind = BZ_PARTICLE_SHAPE_POINT;
        s->shape1.pointCount = 0;
        s->shape2.points = nullptr;
    }
    return true;
}
} // namespace

bzParticleSystem *bz_ParticleSystem_ReadEmit(const uint8_t **cursor, const uint8_t *end,
                                             const char *directory)
{
    if (!cursor || !*cursor || !end || *cursor > end || end - *cursor < 2)
    {
        bzgLastError = BZ_ERROR_BAD_DATA_FORMAT;
        return nullptr;
    }
    Reader r = {*cursor, end, false};
    const uint16_t version = bz_GetU16LE(r.Take(2));
    bzParticleSystem *s = bz_ParticleSystem_New();
    if (!s)
        return nullptr;
    if (version >= kFirstVersion && version <= kVersion && !ReadFields(&r, version, s, directory))
    {
        bz_ParticleSystem_Free(s);
        bzgLastError = BZ_ERROR_BAD_DATA_FORMAT;
        return nullptr;
    }
    *cursor = r.p;
    return s;
}

int32_t bz_ParticleSystem_WriteEmit(const bzParticleSystem *s, bzFileHandle *file)
{
    if (!s || !file)
        return -1;
    Writer w = {file, 0, false};
    if (bz_Stream_WriteUShort(file, kVersion) != 2)
        w.shortWrite = true;
    w.bytes += 2;
    const bool pointsOnly =
        s->shapeKind == BZ_PARTICLE_SHAPE_CLOUD || s->shapeKind == BZ_PARTICLE_SHAPE_POLYLINE;
    w.U32(pointsOnly ? BZ_PARTICLE_SHAPE_POINT : s->shapeKind);
    w.U32(s->drawKind);
    w.F32(s->boundingRadius);
    w.F32(s->attractorMinDistance);
    w.F32(s->attractorRange);
    w.F32(s->attractorStrength);
    char name[kPathBytes] = {};
    if (s->texture && s->texture->name)
    {
        const char *base = bz_GetPathFileName(s->texture->name);
        std::snprintf(name, sizeof name, "%s", base ? base : "");
    }
    const uint32_t n = static_cast<uint32_t>(std::strlen(name));
    w.U32(n);
    w.Bytes(name, n);
    w.F32(s->emitterLife);
    for (float f : s->acceleration.v)
        w.F32(f);
    w.F32(s->startSize);
    w.F32(s->endSize);
    w.F32(s->maxSpeed);
    for (float f : s->direction.v)
        w.F32(f);
    w.F32(s->speed);
    w.F32(s->speedVariance);
    w.F32(s->coneMin);
    w.F32(s->coneMax);
    uint32_t word1 = s->shape1.pointCount;
    uint32_t word2 = 0;
    std::memcpy(&word2, &s->shape2.height, 4);
    if (pointsOnly)
        word1 = word2 = 0;
    for (int pass = 0; pass < 2; pass++)
    {
        w.U32(word1);
        w.U32(word2);
    }
    w.F32(s->emissionRate);
    w.F32(s->drag);
    w.U32(s->startColour);
    w.U32(s->endColour);
    w.U32(s->layers[0].mode);
    w.U32(s->layers[1].mode);
    w.F32(s->layers[0].ageLimit);
    w.F32(s->particleLife);
    w.U32(s->flags);
    for (float f : s->renderFactors)
        w.F32(f);
    w.F32(s->scaleWord);
    const bool model = s->drawKind == BZ_PARTICLE_DRAW_MODELS;
    w.U32(model ? 1 : 0);
    if (model)
    {
        uint8_t field[kModelNameBytes] = {};
        const char *modelName = bz_Scene_GetModelName(s->model);
        if (modelName)
            std::memcpy(field, modelName, strnlen(modelName, sizeof field));
        w.Bytes(field, sizeof field);
    }
    return w.shortWrite ? -1 : w.bytes;
}
