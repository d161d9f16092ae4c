// The container writer, version 0x300: each record in the order the reader takes it, field by
// field through the stream writers.
#include "core/Bytes.h"
#include "files/File.h"
#include "files/Stream.h"
#include "scene/Container.h"
#include "scene/ContainerInternal.h"
#include "scene/Light.h"
#include "scene/Lump.h"
#include "scene/Octree.h"
#include "scene/ParticleEmit.h"
#include "scene/ParticleSystem.h"
#include "scene/SceneServices.h"
#include "scene/Spline.h"

#include <cstdio>
#include <cstring>

namespace
{
constexpr int32_t kPathBytes = 260;

struct Writer
{
    bzFileHandle *file;
    bool shortWrite;
};

void Put(Writer *w, int32_t result, int32_t expected)
{
    if (result != expected)
        w->shortWrite = true;
}

void PutBytes(Writer *w, const void *bytes, size_t n)
{
    if (bz_FileWrite(w->file, bytes, n) != n)
        w->shortWrite = true;
}

const char *TagOf(uint8_t type)
{
    static const char *const kTags[] = {"NULL", "MODL", "SPLN", "SKIN", "NULL", "LOD_",
                                        "LITd", "LITp", "LITs", "LITf", "LITa", "CAML",
                                        "NULL", "NOIZ", "EMIT", "SHAD"};
    return type < sizeof kTags / sizeof kTags[0] ? kTags[type] : "NULL";
}

// Whether the record carries an octree chunk.
bool HasOctree(const bzLump *lump)
{
    return (lump->flags & BZ_LUMP_OCTREE) && lump->octree &&
           lump->octree->kind == BZ_OCTREE_KIND_TREE;
}

// Checks what the writer cannot write before anything is written: 0, or 20 for nesting deeper
// than the reader takes or an octree over lumps the container leaves out (transient ones),
// which could not be read back with it.
bzErrorCode Check(const bzLump *lump, int32_t depth)
{
    if (depth > BZ_CONTAINER_MAX_DEPTH)
        return BZ_ERROR_PARAMETER_OUT_OF_RANGE;
    if (HasOctree(lump) && !bzOctree_IsSavable(reinterpret_cast<const bzOctree *>(lump->octree)))
        return BZ_ERROR_PARAMETER_OUT_OF_RANGE;
    for (const bzLump *child = lump->firstChild; child; child = child->next)
    {
        if (child->flags & BZ_LUMP_TRANSIENT)
            continue;
        const bzErrorCode code = Check(child, depth + 1);
        if (code)
            return code;
    }
    return BZ_ERROR_NONE;
}

void WriteModelName(Writer *w, const bzLump *lump)
{
    uint8_t bytes[32] = {};
    const char *name = bz_Scene_GetModelName(bz_Lump_GetModel(lump));
    if (name)
        std::memcpy(bytes, name, strnlen(name, sizeof bytes)); // zero-padded, not terminated
    PutBytes(w, bytes, sizeof bytes);
}

void WriteRecord(Writer *w, bzLump *lump)
{
    uint8_t name[16] = {};
    std::memcpy(name, lump->name, strnlen(lump->name, sizeof name)); // zero-padded
    PutBytes(w, name, sizeof name);

    static const struct
    {
        uint32_t bit;
        uint8_t byte;
    } kFlagBytes[] = {{BZ_LUMP_HIDDEN, 1},      {BZ_LUMP_CONTAINER_2, 2}, {BZ_LUMP_CONTAINER_3, 3},
                      {BZ_LUMP_CONTAINER_4, 4}, {BZ_LUMP_CONTAINER_5, 5}, {BZ_LUMP_LEVEL, 6},
                      {BZ_LUMP_MIRRORED, 7},    {BZ_LUMP_FACE_CAMERA, 11}};
    for (const auto &f : kFlagBytes)
        if (lump->flags & f.bit)
            Put(w, bz_Stream_WriteByte(w->file, f.byte), 1);
    Put(w, bz_Stream_WriteByte(w->file, 0), 1);
    Put(w, bz_Stream_WriteUInt(w->file, lump->userWord), 4);

    bzM34 matrix = lump->matrix;
    if (lump->flags & BZ_LUMP_WORLD)
        bz_Lump_GetRelativeMatrix(&matrix, lump, lump->parent);
    uint8_t matrixBytes[48];
    for (int32_t row = 0; row < 4; row++)
        for (int32_t i = 0; i < 3; i++)
            bz_PutF32LE(matrixBytes + (row * 3 + i) * 4, matrix.row[row].v[i]);
    PutBytes(w, matrixBytes, sizeof matrixBytes);

    PutBytes(w, TagOf(lump->type), 4);
    switch (lump->type)
    {
    case BZ_LUMP_TYPE_MODEL:
    case BZ_LUMP_TYPE_SKINNED_MODEL: WriteModelName(w, lump); break;
    case BZ_LUMP_TYPE_SPLINE:
        if (bz_Spline_Write(w->file, static_cast<const bzSpline *>(lump->object)) <= 0)
            w->shortWrite = true;
        break;
    case BZ_LUMP_TYPE_PARTICLE_EMITTER:
        if (bz_Container_WriteEmitter(lump, w->file) < 0)
            w->shortWrite = true;
        break;
    case BZ_LUMP_TYPE_DIRLIGHT:
    case BZ_LUMP_TYPE_POINTLIGHT:
    case BZ_LUMP_TYPE_SPOTLIGHT:
    case BZ_LUMP_TYPE_FLARELIGHT:
    case BZ_LUMP_TYPE_AMBIENTLIGHT:
    {
        // A light lump without a record keeps the defaults a new record would hold.
        uint8_t payload[BZ_LIGHT_PAYLOAD_SIZE] = {};
        uint8_t *at = payload;
        if (lump->object)
            bz_Light_Write(static_cast<const bzLight *>(lump->object), &at);
        else
        {
            bz_PutF32LE(payload + 8, 22.5f);
            bz_PutF32LE(payload + 12, 45.0f);
        }
        PutBytes(w, payload, sizeof payload);
        break;
    }
    default: break;
    }

    uint32_t saved = 0;
    for (const bzLump *child = lump->firstChild; child; child = child->next)
        if (!(child->flags & BZ_LUMP_TRANSIENT))
            saved++;
    Put(w, bz_Stream_WriteUInt(w->file, saved), 4);
    for (bzLump *child = lump->firstChild; child; child = child->next)
        if (!(child->flags & BZ_LUMP_TRANSIENT))
            WriteRecord(w, child);

    if (HasOctree(lump))
    {
        Put(w, bz_Stream_WriteUInt(w->file, 1), 4);
        // A chunk written short (or naming a lump it cannot reach) fails the save.
        if (bzOctree_Write(reinterpret_cast<const bzOctree *>(lump->octree), w->file) < 0)
            w->shortWrite = true;
    }
    Put(w, bz_Stream_WriteUInt(w->file, 0), 4);
}
} // namespace

bzErrorCode bz_Lump_WriteContainer(bzFileHandle *file, bzLump *root)
{
    if (!file || !root)
        return bzgLastError = BZ_ERROR_INVALID_PARAMETER;
    const bzErrorCode code = Check(root, 0);
    if (code)
        return bzgLastError = code;
    Writer w = {file, false};
    Put(&w, bz_Stream_WriteUShort(file, BZ_CONTAINER_MAGIC), 2);
    Put(&w, bz_Stream_WriteUShort(file, BZ_CONTAINER_VERSION), 2);
    WriteRecord(&w, root);
    if (w.shortWrite)
        return bzgLastError = BZ_ERROR_FILE_NOT_FOUND;
    return BZ_ERROR_NONE;
}

void bzFieldWriter::Bytes(const void *p, size_t n)
{
    if (ok && n && bz_FileWrite(file, p, n) != n)
        ok = false;
}

int32_t bz_Container_WriteEmitter(const bzLump *lump, bzFileHandle *file)
{
    // An emitter lump without a system writes the defaults a new system holds.
    const bzParticleSystem *system = static_cast<const bzParticleSystem *>(lump->object);
    bzParticleSystem defaults = {};
    if (!system)
    {
        bz_ParticleSystem_SetDefaults(&defaults);
        system = &defaults;
    }
    return bz_ParticleSystem_WriteEmit(system, file);
}

bzErrorCode bz_Lump_SaveCNT(const char *path, bzLump *root, uint32_t saveFlags)
{
    if (!path || !root)
        return bzgLastError = BZ_ERROR_INVALID_PARAMETER;
    const bzErrorCode check = Check(root, 0);
    if (check)
        return bzgLastError = check;
    bzFileHandle *file = nullptr;
    if (const bzErrorCode open = bz_Container_Open(path, "wb", &file))
        return open;
    bzErrorCode code = bz_Lump_WriteContainer(file, root);
    if (bz_FileClose(file) != 0 && !code)
        code = bzgLastError = BZ_ERROR_FILE_NOT_FOUND;
    if (code || !saveFlags)
        return code;
    // The models and materials go beside the container, where its reader looks for them.
    char folder[kPathBytes];
    bz_Container_FolderOf(path, folder, sizeof folder);
    return bz_Scene_SaveTreeResources(folder, root);
}

bzErrorCode bz_Container_Open(const char *path, const char *mode, bzFileHandle **out)
{
    char fileName[kPathBytes];
    if (std::snprintf(fileName, sizeof fileName, "%s.CNT", path) >=
        static_cast<int>(sizeof fileName))
        return bzgLastError = BZ_ERROR_PARAMETER_OUT_OF_RANGE;
    *out = bz_FileOpen(fileName, mode);
    if (!*out)
        return bzgLastError = BZ_ERROR_FILE_NOT_FOUND;
    return BZ_ERROR_NONE;
}
