// The container reader: the whole file in one temporary-stack block, parsed with a cursor that
// never reads at or past the end it is given.
#include "scene/Container.h"
#include "scene/ContainerInternal.h"

#include "core/Bytes.h"
#include "core/Memory.h"
#include "files/File.h"
#include "maths/Matrix.h"
#include "scene/Light.h"
#include "scene/ParticleEmit.h"
#include "scene/Lump.h"
#include "scene/Octree.h"
#include "scene/SceneServices.h"
#include "scene/Spline.h"

#include <cstdio>
#include <cstring>

namespace
{
constexpr int32_t kTempStack = 1;
constexpr uint32_t kNameBytes = 16;
constexpr uint32_t kModelNameBytes = 32;
constexpr uint32_t kMatrixBytes = 48;
// The smallest record: name, the closing flag byte, user word, matrix, tag, child count and the
// closing chunk code.
constexpr uint32_t kMinRecordBytes = kNameBytes + 1 + 4 + kMatrixBytes + 4 + 4 + 4;
constexpr uint32_t kChunkEnd = 0;
constexpr uint32_t kChunkOctree = 1;
constexpr uint32_t kChunkExtension = 0xFFFFFFFFu;
constexpr int32_t kPathBytes = 260;

using Cursor = bzContainerCursor;

bzContainerModelHook gModelHook = nullptr;

struct ReadState
{
    Cursor c;
    const char *folder;
    bzErrorCode failure; // the code the load ends with, once something went wrong
    bzContainerExtensionHook extensionHook;
    void *extensionUser;
};

struct TagEntry
{
    char tag[5];
    uint8_t type;
};

const TagEntry kTags[] = {
    {"NULL", BZ_LUMP_TYPE_NULL},
    {"MODL", BZ_LUMP_TYPE_MODEL},
    {"SPLN", BZ_LUMP_TYPE_SPLINE},
    {"SKIN", BZ_LUMP_TYPE_SKINNED_MODEL},
    {"LINE", BZ_LUMP_TYPE_POLYLINE},
    {"LOD_", BZ_LUMP_TYPE_LOD},
    {"LITd", BZ_LUMP_TYPE_DIRLIGHT},
    {"LITp", BZ_LUMP_TYPE_POINTLIGHT},
    {"LITs", BZ_LUMP_TYPE_SPOTLIGHT},
    {"LITf", BZ_LUMP_TYPE_FLARELIGHT},
    {"LITa", BZ_LUMP_TYPE_AMBIENTLIGHT},
    {"CAML", BZ_LUMP_TYPE_CAMERA},
    {"BNDS", BZ_LUMP_TYPE_BOUNDS},
    {"NOIZ", BZ_LUMP_TYPE_SOUND},
    {"EMIT", BZ_LUMP_TYPE_PARTICLE_EMITTER},
    {"SHAD", BZ_LUMP_TYPE_STENCIL_SHADOW},
};

// The type of a tag; -1 for an unlisted one.
int32_t TypeOfTag(const uint8_t *tag)
{
    for (const TagEntry &e : kTags)
        if (std::memcmp(e.tag, tag, 4) == 0)
            return e.type;
    return -1;
}

// The flag bit of a flag byte; 0 for an unlisted byte.
uint32_t FlagOfByte(uint8_t byte)
{
    switch (byte)
    {
    case 1: return BZ_LUMP_HIDDEN;
    case 2: return BZ_LUMP_CONTAINER_2;
    case 3: return BZ_LUMP_CONTAINER_3;
    case 4: return BZ_LUMP_CONTAINER_4;
    case 5: return BZ_LUMP_CONTAINER_5;
    case 6: return BZ_LUMP_LEVEL;
    case 7: return BZ_LUMP_MIRRORED;
    case 8:
    case 9:
    case 10:
    case 11: return BZ_LUMP_FACE_CAMERA;
    default: return 0;
    }
}

bzLump *Fail(ReadState *s, bzLump *lump, bzErrorCode code)
{
    if (!s->failure)
        s->failure = code;
    if (lump)
        bz_Lump_DestroyTree(lump);
    return nullptr;
}

// The model payload of a "MODL" record: loaded by the folder followed by the name.
void ReadModel(ReadState *s, bzLump *lump, const uint8_t *nameBytes)
{
    char name[kModelNameBytes + 1];
    std::memcpy(name, nameBytes, kModelNameBytes);
    name[kModelNameBytes] = 0;
    char path[kPathBytes];
    // A path that does not fit is never cut to some other file's name.
    const bool fits =
        std::snprintf(path, sizeof path, "%s%s", s->folder, name) < static_cast<int>(sizeof path);
    bzModel *model = fits && gModelHook ? gModelHook(lump, path, name) : nullptr;
    if (!model && fits)
        model = bz_Scene_LoadModel(path);
    if (!model)
    {
        bz_ReportError("bz_Lump_Load", "Can't load model '%s' for model lump '%s'", name,
                       lump->name);
        return;
    }
    // The lump takes the loader's reference over.
    lump->object = model;
}

bzLump *ReadRecord(ReadState *s, int32_t depth)
{
    if (depth > BZ_CONTAINER_MAX_DEPTH)
        return Fail(s, nullptr, BZ_ERROR_BAD_DATA_FORMAT);
    Cursor &c = s->c;
    const uint8_t *nameBytes;
    if (!c.Take(kNameBytes, &nameBytes))
        return Fail(s, nullptr, BZ_ERROR_BAD_DATA_FORMAT);
    char name[kNameBytes + 1];
    std::memcpy(name, nameBytes, kNameBytes);
    name[kNameBytes] = 0;

    uint32_t flags = 0;
    for (;;)
    {
        uint8_t byte;
        if (!c.U8(&byte))
            return Fail(s, nullptr, BZ_ERROR_BAD_DATA_FORMAT);
        if (!byte)
            break;
        const uint32_t bit = FlagOfByte(byte);
        if (!bit)
            bz_ReportError("Lump_ReadFromMemory", "Invalid lump flag");
        flags |= bit;
    }
    uint32_t userWord;
    if (!c.U32(&userWord))
        return Fail(s, nullptr, BZ_ERROR_BAD_DATA_FORMAT);
    const uint8_t *at;
    if (!c.Take(kMatrixBytes, &at))
        return Fail(s, nullptr, BZ_ERROR_BAD_DATA_FORMAT);
    bzM34 matrix;
    for (int32_t row = 0; row < 4; row++)
        for (int32_t i = 0; i < 3; i++)
            matrix.row[row].v[i] = bz_GetF32LE(at + (row * 3 + i) * 4);
    if ((flags & BZ_LUMP_MIRRORED) && !(bz_M33_DeterminantPlain(&matrix) < 0.0f))
        flags &= ~BZ_LUMP_MIRRORED;
    const uint8_t *tag;
    if (!c.Take(4, &tag))
        return Fail(s, nullptr, BZ_ERROR_BAD_DATA_FORMAT);
    int32_t type = TypeOfTag(tag);
    if (type < 0)
    {
        bz_ReportError("Lump_ReadFromMemory", "Invalid lump type");
        type = BZ_LUMP_TYPE_NULL;
    }
    bzLump *lump = bz_Lump_Create(static_cast<uint8_t>(type), name);
    if (!lump)
        return Fail(s, nullptr, BZ_ERROR_NO_MEMORY);
    lump->flags |= flags;
    lump->userWord = userWord;
    lump->matrix = matrix;

    switch (type)
    {
    case BZ_LUMP_TYPE_MODEL:
        if (!c.Take(kModelNameBytes, &at))
            return Fail(s, lump, BZ_ERROR_BAD_DATA_FORMAT);
        ReadModel(s, lump, at);
        break;
    case BZ_LUMP_TYPE_SKINNED_MODEL:
        if (!c.Take(kModelNameBytes, &at))
            return Fail(s, lump, BZ_ERROR_BAD_DATA_FORMAT);
        ReadModel(s, lump, at);
        if (lump->object)
        {
            // The instance takes a use of its own; the loader's one then goes.
            bzModel *model = static_cast<bzModel *>(lump->object);
            lump->object = bz_Lump_CreateSkinInstance(model);
            bz_Scene_ReleaseModel(model);
            if (!lump->object)
                return Fail(s, lump, BZ_ERROR_NO_MEMORY);
        }
        break;
    case BZ_LUMP_TYPE_SPLINE:
    {
        bzSpline *spline = bz_Spline_Read(&c.p, c.end);
        if (!spline)
            return Fail(s, lump,
                        bzgLastError == BZ_ERROR_NO_MEMORY ? BZ_ERROR_NO_MEMORY
                                                           : BZ_ERROR_BAD_DATA_FORMAT);
        bz_Lump_SetObject(lump, spline);
        break;
    }
    case BZ_LUMP_TYPE_PARTICLE_EMITTER:
    {
        bzParticleSystem *system = bz_ParticleSystem_ReadEmit(&c.p, c.end, s->folder);
        if (!system)
            return Fail(s, lump,
                        bzgLastError == BZ_ERROR_NO_MEMORY ? BZ_ERROR_NO_MEMORY
                                                           : BZ_ERROR_BAD_DATA_FORMAT);
        bz_Lump_SetObject(lump, system);
        break;
    }
    case BZ_LUMP_TYPE_DIRLIGHT:
    case BZ_LUMP_TYPE_POINTLIGHT:
    case BZ_LUMP_TYPE_SPOTLIGHT:
    case BZ_LUMP_TYPE_FLARELIGHT:
    case BZ_LUMP_TYPE_AMBIENTLIGHT:
    {
        if (c.Left() < static_cast<uint32_t>(BZ_LIGHT_PAYLOAD_SIZE))
            return Fail(s, lump, BZ_ERROR_BAD_DATA_FORMAT);
        bzLight *light = bz_Light_Read(static_cast<uint32_t>(type), &c.p);
        if (!light)
            return Fail(s, lump, BZ_ERROR_NO_MEMORY);
        lump->object = light;
        break;
    }
    default: break;
    }

    uint32_t childCount;
    if (!c.U32(&childCount) || childCount > c.Left() / kMinRecordBytes)
        return Fail(s, lump, BZ_ERROR_BAD_DATA_FORMAT);
    for (uint32_t i = 0; i < childCount; i++)
    {
        bzLump *child = ReadRecord(s, depth + 1);
        if (!child)
            return Fail(s, lump, BZ_ERROR_BAD_DATA_FORMAT);
        // A camera is never a child: the attach reports it, and the refused record goes.
        if (bz_Lump_AppendChild(lump, child) != BZ_ERROR_NONE)
            bz_Lump_DestroyTree(child);
    }

    for (;;)
    {
        uint32_t code;
        if (!c.U32(&code))
            return Fail(s, lump, BZ_ERROR_BAD_DATA_FORMAT);
        if (code == kChunkEnd)
            break;
        if (code == kChunkOctree)
        {
            const uint8_t *chunk = c.p;
            bzOctree *octree = bzOctree_Read(&c.p, c.end, -1, lump);
            if (!octree && bzgLastError == BZ_ERROR_NO_MEMORY)
                return Fail(s, lump, BZ_ERROR_NO_MEMORY);
            // A damaged chunk leaves the cursor where it was and fails the load; a whole one
            // that does not fit the lumps read (a path naming no lump, faces or a checksum
            // the models do not have) is passed over, the lump left without an octree.
            if (!octree && c.p == chunk)
                return Fail(s, lump, BZ_ERROR_BAD_DATA_FORMAT);
            if (!octree)
                continue;
            // A second octree chunk replaces the first.
            bz_Lump_FreeOctree(lump);
            lump->octree = reinterpret_cast<bzOctreeObject *>(octree);
            lump->flags |= BZ_LUMP_OCTREE;
        }
        else if (code == kChunkExtension)
        {
            uint32_t size;
            if (!c.U32(&size) || !c.Take(size, &at))
                return Fail(s, lump, BZ_ERROR_BAD_DATA_FORMAT);
            if (s->extensionHook)
                s->extensionHook(lump, at, size, s->extensionUser);
        }
        // Any other code is a lone word without data.
    }
    return lump;
}

} // namespace

void bz_Container_FolderOf(const char *path, char *out, size_t size)
{
    size_t n = 0;
    for (size_t i = 0; path[i]; i++)
        if (path[i] == '/' || path[i] == '\\' || path[i] == ':')
            n = i + 1;
    if (n >= size)
        n = 0;
    std::memcpy(out, path, n);
    out[n] = 0;
}

bzContainerModelHook bz_Lump_SetModelLoadHook(bzContainerModelHook hook)
{
    const bzContainerModelHook previous = gModelHook;
    gModelHook = hook;
    return previous;
}

bzLump *bz_Lump_ReadContainer(const uint8_t *data, uint32_t size, const char *folder)
{
    return bz_Lump_ReadContainerWithExtensions(data, size, folder, nullptr, nullptr);
}

bzLump *bz_Lump_ReadContainerWithExtensions(const uint8_t *data, uint32_t size, const char *folder,
                                            bzContainerExtensionHook hook, void *user)
{
    if (!data && size)
    {
        bzgLastError = BZ_ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    ReadState s = {{data, data + size}, folder ? folder : "", BZ_ERROR_NONE, hook, user};
    const uint8_t *head;
    if (!s.c.Take(4, &head) || bz_GetU16LE(head) != BZ_CONTAINER_MAGIC)
    {
        bzgLastError = BZ_ERROR_BAD_DATA_FORMAT;
        return nullptr;
    }
    const uint16_t version = bz_GetU16LE(head + 2);
    if (version < BZ_CONTAINER_VERSION)
        return bz_Lump_Load(&s.c.p, s.c.end, s.folder, version);
    bzLump *root = ReadRecord(&s, 0);
    if (!root)
        bzgLastError = s.failure ? s.failure : BZ_ERROR_BAD_DATA_FORMAT;
    return root;
}

bzLump *bz_Lump_LoadCNT(const char *path)
{
    return bz_Lump_LoadCNTWithExtensions(path, nullptr, nullptr);
}

bzLump *bz_Lump_LoadCNTWithExtensions(const char *path, bzContainerExtensionHook hook, void *user)
{
    if (!path)
    {
        bzgLastError = BZ_ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    char fileName[kPathBytes];
    if (std::snprintf(fileName, sizeof fileName, "%s.CNT", path) >=
        static_cast<int>(sizeof fileName))
    {
        bzgLastError = BZ_ERROR_PARAMETER_OUT_OF_RANGE;
        return nullptr;
    }
    uint32_t length = 0;
    uint8_t *buffer = bz_LoadFileToTempStack(fileName, kTempStack, &length);
    if (!buffer)
        return nullptr;
    char folder[kPathBytes];
    bz_Container_FolderOf(path, folder, sizeof folder);
    bzLump *root = bz_Lump_ReadContainerWithExtensions(buffer, length, folder, hook, user);
    // Giving the block back is a memory operation, which leaves last-error at 14: the
    // reader's own code is the one the caller sees.
    const bzErrorCode read = bzgLastError;
    bz_TempStack_Free(kTempStack, buffer);
    bzgLastError = read;
    return root;
}

bzLump *bz_Lump_LoadCNTInto(bzLump *parent, const char *path)
{
    bzLump *root = bz_Lump_LoadCNT(path);
    if (root && parent)
        bz_Lump_Attach(parent, root);
    return root;
}

bzLump *bz_Lump_LoadCNTUnder(bzLump *parent, const char *path)
{
    return bz_Lump_LoadCNTInto(parent, path);
}
