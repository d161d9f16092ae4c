// The older container layout (versions below 0x300): a flat list of object records in pre-order
// whose depth words give the tree, then an optional octree section. Read here for old level
// files, and written at version 0x208 for tools that still take that layout.
//
// Where the old layout leaves things open, this reader and writer agree on:
// - versions 0x202 to 0x2FF are read; 0x201 model records carry a field of unknown size, so
//   0x201 and older are refused (58);
// - a level-of-detail record (kind 8) carries a u16 count of the level records that follow it,
//   one level deeper, each a model (kind 1 or 3, loaded from "LOD<i>\" of the container folder)
//   or a sub-container (kind 0, loaded from the same place and attached under the LOD lump); the
//   set ends after that many records, so the LOD lump's own children follow as usual;
// - a level record's model is the level's model whether plain (kind 1) or skinned (kind 3): the
//   level record holds models, not skin instances, so a skinned level is drawn unposed; the
//   writer writes a level whose model is skinned as kind 3, so such sets read back as written;
// - a record of a kind that makes no lump holds no payload; records below it attach to the
//   nearest lump above it.
#include "core/Bytes.h"
#include "core/Progress.h"
#include "files/File.h"
#include "files/Stream.h"
#include "scene/Container.h"
#include "scene/ContainerInternal.h"
#include "scene/Light.h"
#include "scene/Lump.h"
#include "scene/ModelGeometry.h"
#include "scene/ParticleEmit.h"
#include "scene/ParticleSystem.h"
#include "scene/Octree.h"
#include "scene/SceneServices.h"
#include "scene/Spline.h"

#include <cstdio>
#include <cstring>

namespace
{
constexpr uint16_t kOldestVersion = 0x202;
constexpr uint16_t kLegacyVersion = 0x208;
constexpr uint16_t kUserWordVersion = 0x207;
constexpr uint32_t kNameBytes = 32;
constexpr uint32_t kHeadBytes = kNameBytes * 2 + 2 + 2 + 48 + 2 + 2 + 4; // without the user word
constexpr int32_t kMaxLevels = BZ_CONTAINER_MAX_DEPTH + 1;
constexpr int32_t kMaxLumps = 4096;
constexpr int32_t kPathBytes = 260;
constexpr uint32_t kOctreeMarker1 = 0xBEEF;
constexpr uint32_t kOctreeMarker2 = 0xB0E;

enum : uint16_t
{
    kKindNull = 0,
    kKindModel = 1,
    kKindSpline = 2,
    kKindSkinned = 3,
    kKindLod = 8,
    kKindDirLight = 16,
    kKindPointLight = 17,
    kKindSpotLight = 18,
    kKindAmbientLight = 20,
    kKindEmitter = 91,
    kKindLast = 93,
};

// The u16 flag bits of a record and the lump flags they stand for.
struct FlagBit
{
    uint16_t bit;
    uint32_t flag;
};
constexpr FlagBit kFlagBits[] = {{0x01, BZ_LUMP_HIDDEN},      {0x02, BZ_LUMP_CONTAINER_2},
                                 {0x04, BZ_LUMP_CONTAINER_3}, {0x08, BZ_LUMP_CONTAINER_4},
                                 {0x10, BZ_LUMP_CONTAINER_5}, {0x20, BZ_LUMP_LEVEL}};

bzLumpLoadingDisplay gDisplay = nullptr;

using Cursor = bzContainerCursor;

struct Head
{
    char lumpName[kNameBytes + 1];
    char objectName[kNameBytes + 1];
    uint16_t kind;
    uint16_t options;
    bzM34 matrix;
    uint16_t flagBits;
    int16_t depth;
    uint32_t userWord;
};

bool ReadHead(Cursor *c, uint16_t version, Head *h)
{
    const uint8_t *at;
    if (!c->Take(kHeadBytes, &at))
        return false;
    std::memcpy(h->lumpName, at, kNameBytes);
    h->lumpName[kNameBytes - 1] = 0; // at most 31 characters are used
    h->lumpName[kNameBytes] = 0;
    std::memcpy(h->objectName, at + kNameBytes, kNameBytes);
    h->objectName[kNameBytes - 1] = 0;
    h->objectName[kNameBytes] = 0;
    at += 2 * kNameBytes;
    h->kind = bz_GetU16LE(at);
    h->options = bz_GetU16LE(at + 2);
    at += 4;
    for (int32_t row = 0; row < 4; row++)
        for (int32_t i = 0; i < 3; i++)
            h->matrix.row[row].v[i] = bz_GetF32LE(at + (row * 3 + i) * 4);
    at += 48;
    h->flagBits = bz_GetU16LE(at);
    h->depth = static_cast<int16_t>(bz_GetU16LE(at + 2));
    h->userWord = 0;
    if (version >= kUserWordVersion)
    {
        if (!c->Take(4, &at))
            return false;
        h->userWord = bz_GetU32LE(at);
    }
    return true;
}

struct Loader
{
    Cursor c;
    const char *folder;
    uint16_t version;
    bzLump *root = nullptr;
    bzLump *levels[kMaxLevels] = {}; // the most recent lump (or null) at each level
    int32_t top = -1;                // the deepest level in use
    bzErrorCode failure = BZ_ERROR_NONE;
};

bzLump *Fail(Loader *l, bzLump *pending, bzErrorCode code)
{
    if (pending)
        bz_Lump_DestroyTree(pending);
    if (l->root)
        bz_Lump_DestroyTree(l->root);
    l->root = nullptr;
    bzgLastError = code;
    return nullptr;
}

// The nearest lump at or above the level.
bzLump *NearestAbove(const Loader *l, int32_t level)
{
    for (int32_t k = level; k >= 0; k--)
        if (l->levels[k])
            return l->levels[k];
    return nullptr;
}

bzModel *LoadModel(const char *folder, int32_t lodLevel, const char *name)
{
    char path[kPathBytes];
    const int32_t n = lodLevel < 0
                          ? std::snprintf(path, sizeof path, "%s%s", folder, name)
                          : std::snprintf(path, sizeof path, "%sLOD%i\\%s", folder, lodLevel, name);
    if (n >= static_cast<int32_t>(sizeof path))
        return nullptr;
    return bz_Scene_LoadModel(path);
}

// One lump of a record; *noLump when the kind makes none. Null with l->failure on failure.
bzLump *MakeLump(Loader *l, const Head &h, bool *noLump)
{
    *noLump = false;
    Cursor &c = l->c;
    const uint8_t *at;
    switch (h.kind)
    {
    case kKindNull: return bz_Lump_Create(BZ_LUMP_TYPE_NULL, h.lumpName);
    case kKindModel:
    case kKindSkinned:
    {
        bzModel *model = LoadModel(l->folder, -1, h.objectName);
        if (!model)
        {
            bz_ReportError("bz_Lump_Load", "Can't load model '%s' for model lump '%s'",
                           h.objectName, h.lumpName);
            l->failure = BZ_ERROR_FILE_NOT_FOUND;
            return nullptr;
        }
        // A skinned model's instance takes a use of its own; the loader's one then goes.
        void *object = model;
        if (h.kind == kKindSkinned)
        {
            object = bz_Lump_CreateSkinInstance(model);
            bz_Scene_ReleaseModel(model);
        }
        bzLump *lump = object ? bz_Lump_Create(h.kind == kKindSkinned ? BZ_LUMP_TYPE_SKINNED_MODEL
                                                                      : BZ_LUMP_TYPE_MODEL,
                                               h.lumpName)
                              : nullptr;
        if (!lump)
        {
            if (h.kind == kKindSkinned)
                bz_Lump_FreeSkinInstance(static_cast<bzSkinInstance *>(object));
            else
                bz_Scene_ReleaseModel(model);
            l->failure = BZ_ERROR_NO_MEMORY;
            return nullptr;
        }
        lump->object = object; // the loader's reference goes to the lump
        if (h.options)
            lump->flags |= BZ_LUMP_FACE_CAMERA;
        return lump;
    }
    case kKindSpline:
    {
        bzSpline *spline = bz_Spline_Read(&c.p, c.end);
        if (!spline)
        {
            l->failure =
                bzgLastError == BZ_ERROR_NO_MEMORY ? BZ_ERROR_NO_MEMORY : BZ_ERROR_BAD_DATA_FORMAT;
            return nullptr;
        }
        bzLump *lump = bz_Lump_Create(BZ_LUMP_TYPE_SPLINE, h.lumpName);
        if (!lump)
        {
            bz_Spline_Destroy(spline);
            l->failure = BZ_ERROR_NO_MEMORY;
            return nullptr;
        }
        bz_Lump_SetObject(lump, spline);
        return lump;
    }
    case kKindDirLight:
    case kKindPointLight:
    case kKindSpotLight:
    case kKindAmbientLight:
    {
        if (!c.Take(4, &at) || c.Left() < static_cast<uint32_t>(BZ_LIGHT_PAYLOAD_SIZE))
        {
            l->failure = BZ_ERROR_BAD_DATA_FORMAT;
            return nullptr;
        }
        const auto type = static_cast<uint8_t>(h.kind - 10);
        bzLight *light = bz_Light_Read(type, &c.p);
        bzLump *lump = light ? bz_Lump_Create(type, h.lumpName) : nullptr;
        if (!lump)
        {
            bz_Light_Free(light);
            l->failure = BZ_ERROR_NO_MEMORY;
            return nullptr;
        }
        lump->object = light;
        return lump;
    }
    case kKindEmitter:
    {
        bzParticleSystem *system = bz_ParticleSystem_ReadEmit(&c.p, c.end, l->folder);
        bzLump *lump = system ? bz_Lump_Create(BZ_LUMP_TYPE_PARTICLE_EMITTER, h.lumpName) : nullptr;
        if (!lump)
        {
            l->failure = system || bzgLastError == BZ_ERROR_NO_MEMORY ? BZ_ERROR_NO_MEMORY
                                                                      : BZ_ERROR_BAD_DATA_FORMAT;
            if (system)
                bz_ParticleSystem_Free(system);
            return nullptr;
        }
        bz_Lump_SetObject(lump, system);
        return lump;
    }
    default:
        if (h.kind > kKindLast)
        {
            l->failure = BZ_ERROR_BAD_DATA_FORMAT;
            return nullptr;
        }
        *noLump = true;
        return nullptr;
    }
}

// The level records of a LOD set, one level below the LOD lump.
bool ReadLodSet(Loader *l, bzLump *lod, int32_t lodLevel, uint16_t count)
{
    auto *record = static_cast<bzLumpLod *>(lod->object);
    for (int32_t i = 0; i < count; i++)
    {
        Head h;
        if (!ReadHead(&l->c, l->version, &h) || h.depth + 1 != lodLevel + 1)
        {
            l->failure = BZ_ERROR_BAD_DATA_FORMAT;
            return false;
        }
        bz_Progress_Step();
        if (h.kind == kKindModel || h.kind == kKindSkinned)
        {
            bzModel *model = LoadModel(l->folder, i, h.objectName);
            if (!model)
            {
                bz_ReportError("bz_Lump_Load", "Can't load model '%s' for model lump '%s'",
                               h.objectName, lod->name);
                l->failure = BZ_ERROR_FILE_NOT_FOUND;
                return false;
            }
            record->models[i] = model; // the loader's reference goes to the level
        }
        else if (h.kind == kKindNull)
        {
            char path[kPathBytes];
            if (std::snprintf(path, sizeof path, "%sLOD%i\\%s", l->folder, i, h.objectName) <
                static_cast<int32_t>(sizeof path))
                if (bzLump *sub = bz_Lump_LoadCNT(path))
                    bz_Lump_AppendChild(lod, sub);
        }
        else
        {
            l->failure = BZ_ERROR_BAD_DATA_FORMAT;
            return false;
        }
    }
    return true;
}

uint32_t LumpFlagsOf(uint16_t bits)
{
    uint32_t flags = 0;
    for (const FlagBit &f : kFlagBits)
        if (bits & f.bit)
            flags |= f.flag;
    return flags;
}

bzLump *LoadRecords(Loader *l, uint32_t count)
{
    for (uint32_t i = 0; i < count; i++)
    {
        Head h;
        if (!ReadHead(&l->c, l->version, &h))
            return Fail(l, nullptr, BZ_ERROR_BAD_DATA_FORMAT);
        const int32_t level = h.depth + 1;
        // The first record is the root; every later one stands at most one level below the
        // record before it.
        if ((i == 0) != (level == 0) || level < 0 || level > l->top + 1 || level >= kMaxLevels)
            return Fail(l, nullptr, BZ_ERROR_BAD_DATA_FORMAT);
        bz_Progress_Step();

        bool noLump = false;
        bzLump *lump = nullptr;
        uint16_t lodCount = 0;
        if (h.kind == kKindLod)
        {
            const uint8_t *at;
            if (!l->c.Take(2, &at) || (lodCount = bz_GetU16LE(at)) > BZ_LUMP_LOD_LEVELS)
                return Fail(l, nullptr, BZ_ERROR_BAD_DATA_FORMAT);
            lump = bz_Lump_CreateLod(h.lumpName, nullptr, 0);
            if (!lump)
                return Fail(l, nullptr, BZ_ERROR_NO_MEMORY);
        }
        else
        {
            lump = MakeLump(l, h, &noLump);
            if (!lump && !noLump)
                return Fail(l, nullptr, l->failure ? l->failure : BZ_ERROR_NO_MEMORY);
            // The root always is a lump.
            if (!lump && level == 0 && !(lump = bz_Lump_Create(BZ_LUMP_TYPE_NULL, h.lumpName)))
                return Fail(l, nullptr, BZ_ERROR_NO_MEMORY);
        }
        if (lump)
        {
            lump->flags |= LumpFlagsOf(h.flagBits);
            lump->userWord = h.userWord;
            lump->matrix = h.matrix;
            if (level == 0)
                l->root = lump;
            else if (bz_Lump_AppendChild(NearestAbove(l, level - 1), lump) != BZ_ERROR_NONE)
                return Fail(l, lump, BZ_ERROR_BAD_DATA_FORMAT);
        }
        l->levels[level] = lump;
        l->top = level;
        if (h.kind == kKindLod)
        {
            if (!ReadLodSet(l, lump, level, lodCount))
                return Fail(l, nullptr, l->failure);
            i += lodCount;
        }
    }
    return l->root;
}
} // namespace

bzLumpLoadingDisplay bz_Lump_SetLoadingDisplay(bzLumpLoadingDisplay display)
{
    const bzLumpLoadingDisplay previous = gDisplay;
    gDisplay = display;
    return previous;
}

bzLump *bz_Lump_Load(const uint8_t **cursor, const uint8_t *end, const char *folder,
                     int32_t version)
{
    if (!cursor || !*cursor || !end || *cursor > end)
    {
        bzgLastError = BZ_ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    if (version < kOldestVersion || version >= BZ_CONTAINER_VERSION)
    {
        bzgLastError = BZ_ERROR_OUTDATED_VERSION;
        return nullptr;
    }
    Loader l;
    l.c = {*cursor, end};
    l.folder = folder ? folder : "";
    l.version = static_cast<uint16_t>(version);
    const uint8_t *at;
    if (!l.c.Take(6, &at))
    {
        bzgLastError = BZ_ERROR_BAD_DATA_FORMAT;
        return nullptr;
    }
    const uint32_t count = bz_GetU16LE(at + 4); // after the largest model extent
    if (count == 0)
    {
        bzgLastError = BZ_ERROR_NONE; // nothing to load
        *cursor = l.c.p;
        return nullptr;
    }
    if (count > l.c.Left() / kHeadBytes)
    {
        bzgLastError = BZ_ERROR_BAD_DATA_FORMAT;
        return nullptr;
    }
    if (gDisplay)
        gDisplay("Loading objects...");
    bz_Progress_Begin(static_cast<int32_t>(count));
    bzLump *root = LoadRecords(&l, count);
    bz_Progress_End();
    if (!root)
        return nullptr;

    if (version > kOldestVersion)
    {
        if (!l.c.Take(2, &at))
            return Fail(&l, nullptr, BZ_ERROR_BAD_DATA_FORMAT);
        if (bz_GetU16LE(at) != 0)
        {
            const uint8_t *chunk = l.c.p;
            bzOctree *octree = bzOctree_Read(&l.c.p, l.c.end, -1, root);
            if (!octree && bzgLastError == BZ_ERROR_NO_MEMORY)
                return Fail(&l, nullptr, BZ_ERROR_NO_MEMORY);
            // A damaged chunk fails the load; a whole one that does not fit the lumps read
            // leaves the root without an octree.
            if (!octree && l.c.p == chunk)
                return Fail(&l, nullptr, BZ_ERROR_BAD_DATA_FORMAT);
            if (octree)
            {
                root->octree = reinterpret_cast<bzOctreeObject *>(octree);
                root->flags |= BZ_LUMP_OCTREE;
            }
            if (!l.c.Take(8, &at)) // the two marker words
                return Fail(&l, nullptr, BZ_ERROR_BAD_DATA_FORMAT);
        }
    }
    *cursor = l.c.p;
    return root;
}

// ---------------------------------------------------------------------------------------------
// The writer

namespace
{
struct Saver
{
    bzFileHandle *file;
    bool shortWrite = false;
};

void PutBytes(Saver *s, const void *bytes, size_t n)
{
    if (bz_FileWrite(s->file, bytes, n) != n)
        s->shortWrite = true;
}

void PutU16(Saver *s, uint16_t value)
{
    uint8_t b[2];
    bz_PutU16LE(b, value);
    PutBytes(s, b, 2);
}

void PutU32(Saver *s, uint32_t value)
{
    uint8_t b[4];
    bz_PutU32LE(b, value);
    PutBytes(s, b, 4);
}

void PutName(Saver *s, const char *name)
{
    uint8_t bytes[kNameBytes] = {};
    if (name)
        std::memcpy(bytes, name, strnlen(name, kNameBytes - 1));
    PutBytes(s, bytes, sizeof bytes);
}

uint16_t KindOf(const bzLump *lump)
{
    switch (lump->type)
    {
    case BZ_LUMP_TYPE_MODEL: return kKindModel;
    case BZ_LUMP_TYPE_SKINNED_MODEL: return kKindSkinned;
    case BZ_LUMP_TYPE_SPLINE: return kKindSpline;
    case BZ_LUMP_TYPE_LOD: return kKindLod;
    case BZ_LUMP_TYPE_DIRLIGHT:
    case BZ_LUMP_TYPE_POINTLIGHT:
    case BZ_LUMP_TYPE_SPOTLIGHT:
    case BZ_LUMP_TYPE_AMBIENTLIGHT: return static_cast<uint16_t>(lump->type + 10);
    case BZ_LUMP_TYPE_PARTICLE_EMITTER: return kKindEmitter;
    default: return kKindNull;
    }
}

int32_t LodLevelCount(const bzLump *lump)
{
    const auto *lod = static_cast<const bzLumpLod *>(lump->object);
    int32_t n = 0;
    while (lod && n < BZ_LUMP_LOD_LEVELS && lod->models[n])
        n++;
    return n;
}

// The records the tree takes, or -1 when a lump cannot be written (last-error set).
int32_t CountRecords(const bzLump *lump, int32_t level)
{
    if (level >= kMaxLevels)
    {
        bzgLastError = BZ_ERROR_PARAMETER_OUT_OF_RANGE;
        return -1;
    }
    int32_t n = 1 + (lump->type == BZ_LUMP_TYPE_LOD ? LodLevelCount(lump) : 0);
    for (const bzLump *child = lump->firstChild; child; child = child->next)
    {
        if (child->flags & BZ_LUMP_TRANSIENT)
            continue;
        const int32_t below = CountRecords(child, level + 1);
        if (below < 0)
            return -1;
        n += below;
        if (n > kMaxLumps)
            break;
    }
    return n;
}

float LargestExtent(const bzLump *root)
{
    float largest = 0.0f;
    for (const bzLump *l = root; l; l = bz_Lump_NextPreOrder(l, root))
    {
        bzBox box;
        bzV3 centre;
        float radius;
        if (bz_Scene_GetModelBounds(bz_Lump_GetModel(l), &box, &centre, &radius))
            for (int32_t i = 0; i < 3; i++)
                if (box.max.v[i] - box.min.v[i] > largest)
                    largest = box.max.v[i] - box.min.v[i];
    }
    return largest;
}

void PutHead(Saver *s, const char *lumpName, const char *objectName, uint16_t kind,
             uint16_t options, const bzM34 &matrix, uint16_t flagBits, int32_t depth,
             uint32_t userWord)
{
    PutName(s, lumpName);
    PutName(s, objectName);
    PutU16(s, kind);
    PutU16(s, options);
    uint8_t m[48];
    for (int32_t row = 0; row < 4; row++)
        for (int32_t i = 0; i < 3; i++)
            bz_PutF32LE(m + (row * 3 + i) * 4, matrix.row[row].v[i]);
    PutBytes(s, m, sizeof m);
    PutU16(s, flagBits);
    PutU16(s, static_cast<uint16_t>(static_cast<int16_t>(depth)));
    PutU32(s, 0);
    PutU32(s, userWord);
}

void WriteRecord(Saver *s, bzLump *lump, int32_t depth)
{
    const uint16_t kind = KindOf(lump);
    uint16_t flagBits = 0;
    for (const FlagBit &f : kFlagBits)
        if (lump->flags & f.flag)
            flagBits |= f.bit;
    bzM34 matrix = lump->matrix;
    if (lump->flags & BZ_LUMP_WORLD)
        bz_Lump_GetRelativeMatrix(&matrix, lump, lump->parent);
    const bool modelKind = kind == kKindModel || kind == kKindSkinned;
    const uint16_t options = modelKind && (lump->flags & BZ_LUMP_FACE_CAMERA) ? 3 : 0;
    PutHead(s, lump->name, modelKind ? bz_Scene_GetModelName(bz_Lump_GetModel(lump)) : "", kind,
            options, matrix, flagBits, depth, lump->userWord);
    switch (kind)
    {
    case kKindSpline:
        if (bz_Spline_Write(s->file, static_cast<const bzSpline *>(lump->object)) <= 0)
            s->shortWrite = true;
        break;
    case kKindDirLight:
    case kKindPointLight:
    case kKindSpotLight:
    case kKindAmbientLight:
    {
        uint8_t payload[4 + BZ_LIGHT_PAYLOAD_SIZE] = {};
        uint8_t *at = payload + 4;
        if (lump->object)
            bz_Light_Write(static_cast<const bzLight *>(lump->object), &at);
        else
        {
            bz_PutF32LE(payload + 4 + 8, 22.5f);
            bz_PutF32LE(payload + 4 + 12, 45.0f);
        }
        PutBytes(s, payload, sizeof payload);
        break;
    }
    case kKindEmitter:
        if (bz_Container_WriteEmitter(lump, s->file) < 0)
            s->shortWrite = true;
        break;
    case kKindLod:
    {
        const int32_t levels = LodLevelCount(lump);
        PutU16(s, static_cast<uint16_t>(levels));
        const auto *lod = static_cast<const bzLumpLod *>(lump->object);
        static const bzM34 kIdentity = {{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {0, 0, 0}}};
        for (int32_t i = 0; i < levels; i++)
        {
            const uint16_t levelKind =
                (bz_Scene_GetModelFlags(lod->models[i]) & BZ_MODEL_FLAG_SKINNED) ? kKindSkinned
                                                                                 : kKindModel;
            PutHead(s, lump->name, bz_Scene_GetModelName(lod->models[i]), levelKind, 0, kIdentity,
                    0, depth + 1, 0);
        }
        break;
    }
    default: break;
    }
    for (bzLump *child = lump->firstChild; child; child = child->next)
        if (!(child->flags & BZ_LUMP_TRANSIENT))
            WriteRecord(s, child, depth + 1);
}
} // namespace

bzErrorCode bz_Lump_SaveLegacyCNT(bzLump *root, const char *path)
{
    if (!root || !path)
        return bzgLastError = BZ_ERROR_INVALID_PARAMETER;
    const int32_t count = CountRecords(root, 0);
    if (count < 0)
        return bzgLastError;
    if (count > kMaxLumps)
        return bzgLastError = BZ_ERROR_PARAMETER_OUT_OF_RANGE;
    const bool octree =
        (root->flags & BZ_LUMP_OCTREE) && root->octree && root->octree->kind == BZ_OCTREE_KIND_TREE;
    // An octree over lumps the file leaves out could not be read back with it.
    if (octree && !bzOctree_IsSavable(reinterpret_cast<const bzOctree *>(root->octree)))
        return bzgLastError = BZ_ERROR_PARAMETER_OUT_OF_RANGE;
    bzFileHandle *file = nullptr;
    if (const bzErrorCode open = bz_Container_Open(path, "wb", &file))
        return open;
    Saver s{file};
    PutU16(&s, BZ_CONTAINER_MAGIC);
    PutU16(&s, kLegacyVersion);
    uint8_t extent[4];
    bz_PutF32LE(extent, LargestExtent(root));
    PutBytes(&s, extent, 4);
    PutU16(&s, static_cast<uint16_t>(count));
    WriteRecord(&s, root, -1);
    PutU16(&s, octree ? 1 : 0);
    if (octree)
    {
        if (bzOctree_Write(reinterpret_cast<const bzOctree *>(root->octree), file) < 0)
            s.shortWrite = true;
        PutU32(&s, kOctreeMarker1);
        PutU32(&s, kOctreeMarker2);
    }
    const bool closed = bz_FileClose(file) == 0;
    if (s.shortWrite || !closed)
        return bzgLastError = BZ_ERROR_FILE_NOT_FOUND;
    return BZ_ERROR_NONE;
}
