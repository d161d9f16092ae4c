#include "models/MaterialFile.h"

#include "core/Bytes.h"
#include "core/Debug.h"
#include "core/Error.h"
#include "core/Memory.h"
#include "core/Strings.h"
#include "files/DebugOutput.h"
#include "files/File.h"
#include "models/ImgMap.h"
#include "models/LoadOptions.h"
#include "models/Material.h"

#include <bit>
#include <cstdio>
#include <cstring>

uint32_t bzgMaterial_lastLoadedFlag;

namespace
{
constexpr uint16_t kNewSpecular = 0xBFFC;
constexpr int32_t kMaxLayerCount = 255;
constexpr int32_t kLayerRecordSize = 62;
constexpr int32_t kTailSize = 63; // the current file's fields after the layer records

const uint32_t kFlagMap[][2] = {
    {0x00000001, 0x00000001}, {0x00000002, 0x00000080}, {0x00000004, 0x00000002},
    {0x00000008, 0x00080000}, {0x00000010, 0x00000010}, {0x00000020, 0x00100000},
    {0x00000040, 0x00002000}, {0x00000200, 0x00000200}, {0x00000400, 0x00000008},
    {0x00000800, 0x00000004}, {0x00010000, 0x00000100}, {0x00040000, 0x00000040},
    {0x00080000, 0x00004000}, {0x00800000, 0x00008000}, {0x02000000, 0x00010000},
    {0x10000000, 0x00020000}, {0x20000000, 0x00040000},
};

// A bounded little-endian reader over the file's bytes; a read past the end yields zeros and
// marks the cursor short.
struct Cursor
{
    const uint8_t *data;
    uint32_t size;
    uint32_t at = 0;
    bool shortData = false;

    bool Has(uint32_t n) const { return size - at >= n; }
    void Bytes(void *out, uint32_t n)
    {
        if (!Has(n))
        {
            shortData = true;
            at = size;
            std::memset(out, 0, n);
            return;
        }
        std::memcpy(out, data + at, n);
        at += n;
    }
    void Skip(uint32_t n)
    {
        if (!Has(n))
        {
            shortData = true;
            at = size;
            return;
        }
        at += n;
    }
    uint8_t U8()
    {
        uint8_t v;
        Bytes(&v, 1);
        return v;
    }
    uint16_t U16()
    {
        uint8_t b[2];
        Bytes(b, 2);
        return bz_GetU16LE(b);
    }
    uint32_t U32()
    {
        uint8_t b[4];
        Bytes(b, 4);
        return bz_GetU32LE(b);
    }
    float F32() { return std::bit_cast<float>(U32()); }
    // A zero-padded name of n bytes; the copy always ends in a 0.
    void Name(char *out, uint32_t n)
    {
        Bytes(out, n);
        out[n] = 0;
    }
};

// The shapes of layer records across the versions.
enum class LayerShape
{
    Full62,      // 0x0405 and later
    WithFlags48, // 0x0403, 0x0404
    NoFlags47,   // 0x0400, 0x0401
    Basic44,     // 0x0302
};

uint32_t LayerRecordSize(LayerShape shape)
{
    switch (shape)
    {
    case LayerShape::Full62: return 62;
    case LayerShape::WithFlags48: return 48;
    case LayerShape::NoFlags47: return 47;
    default: return 44;
    }
}

// Texture names of the kept layers, read before the images are looked up.
struct LayerNames
{
    char name[BZ_MATERIAL_MAX_FILE_LAYERS][33];
};

void ReadLayer(Cursor &c, LayerShape shape, bzMaterialLayer *layer, char *name)
{
    c.Name(name, 32);
    layer->blendKind = static_cast<uint8_t>(c.U32());
    layer->alpha = c.F32();
    layer->texCoordKind = static_cast<uint8_t>(c.U32());
    if (shape == LayerShape::Basic44)
    {
        const bool wrap =
            layer->texCoordKind == 1 || layer->texCoordKind == 2 || layer->texCoordKind == 7;
        layer->addressU = layer->addressV = wrap ? 3 : 1;
        if (layer->texCoordKind == 6)
        {
            layer->texCoordKind = 0;
            layer->texCoordSet = 1;
        }
        return;
    }
    if (shape == LayerShape::Full62)
    {
        layer->effect[0] = c.F32();
        layer->scrollU = c.F32();
        layer->scrollV = c.F32();
    }
    layer->addressU = c.U8();
    layer->addressV = c.U8();
    layer->texCoordSet = c.U8();
    if (shape == LayerShape::Full62)
    {
        layer->effect[1] = c.U8();
        layer->effect[2] = c.U8();
        const uint8_t bits = c.U8();
        if (bits & 0x01)
            layer->flags |= BZ_LAYER_FILE_BIT0;
        if (bits & 0x02)
            layer->flags |= BZ_LAYER_FILE_BIT1;
        if (bits & 0x04)
            layer->flags |= BZ_LAYER_SCROLLING;
    }
    else if (shape == LayerShape::WithFlags48)
    {
        if (c.U8() & 0x01)
            layer->flags |= BZ_LAYER_FILE_BIT0;
    }
    else
        layer->flags &= static_cast<uint8_t>(~BZ_LAYER_FILE_BIT0);
}

// Reads the layer count and the layer records of one shape into a new layer array.
int32_t ReadLayers(Cursor &c, LayerShape shape, bzMaterial *m, LayerNames &names)
{
    const uint32_t count = c.U32();
    if (c.shortData || count == 0 || count > kMaxLayerCount)
        return BZ_ERROR_BAD_DATA_FORMAT;
    if (!c.Has(count * LayerRecordSize(shape)))
        return BZ_ERROR_BAD_DATA_FORMAT;
    m->layers =
        static_cast<bzMaterialLayer *>(bz_MemAlloc(count * sizeof(bzMaterialLayer), BZ_MEM_CLEAR));
    if (!m->layers)
        return BZ_ERROR_NO_MEMORY;
    m->layerCount = static_cast<uint8_t>(count);
    m->layers[0].flags = BZ_LAYER_FIRST;
    for (uint32_t i = 0; i < count; ++i)
    {
        if (i >= static_cast<uint32_t>(BZ_MATERIAL_MAX_FILE_LAYERS))
        {
            c.Skip(LayerRecordSize(shape));
            continue;
        }
        ReadLayer(c, shape, &m->layers[i], names.name[i]);
    }
    return 0;
}

// Three fixed layers for the oldest versions.
int32_t MakeThreeLayers(bzMaterial *m)
{
    m->layers =
        static_cast<bzMaterialLayer *>(bz_MemAlloc(3 * sizeof(bzMaterialLayer), BZ_MEM_CLEAR));
    if (!m->layers)
        return BZ_ERROR_NO_MEMORY;
    m->layerCount = 3;
    m->layers[0].flags = BZ_LAYER_FIRST;
    return 0;
}

void ReadEffectTerms(Cursor &c, bzMaterial *m, bool convert)
{
    const float a = c.F32(), b = c.F32(), d = c.F32();
    if (convert)
        SetMaterialEffectFromOld(m, a, b, d);
    else
    {
        m->effectTerms[0] = a;
        m->effectTerms[1] = b;
        m->effectTerms[2] = d;
    }
}

void ReadColour(Cursor &c, bzMaterial *m)
{
    m->red = c.F32();
    m->green = c.F32();
    m->blue = c.F32();
}

void ReadExtraTerms(Cursor &c, bzMaterial *m)
{
    for (float &term : m->extraTerms)
        term = c.F32();
}

// Three percent bytes of effect terms (converted), then three of colour.
void ReadPercentTerms(Cursor &c, bzMaterial *m)
{
    const float a = c.U8() * 0.01f, b = c.U8() * 0.01f, d = c.U8() * 0.01f;
    SetMaterialEffectFromOld(m, a, b, d);
    m->red = c.U8() * 0.01f;
    m->green = c.U8() * 0.01f;
    m->blue = c.U8() * 0.01f;
}

void NoAlphaSource(bzMaterialLayer *layer)
{
    if (layer->blendKind == 0xFF)
    {
        layer->blendKind = 0;
        layer->texCoordKind = 3;
    }
}

// The fields of one version; 0, or the code of what stopped them.
int32_t ReadVersion(Cursor &c, uint16_t version, bzMaterial *m, LayerNames &names)
{
    int32_t code = 0;
    switch (version)
    {
    case 0x0407:
    case 0x0406:
    case 0x0405:
        if ((code = ReadLayers(c, LayerShape::Full62, m, names)))
            return code;
        m->materialWord = c.U32();
        m->lighting = c.F32();
        m->materialByte = c.U8();
        m->specular = c.U16();
        m->flags = ConvertMaterialFileFlags(c.U32());
        ReadEffectTerms(c, m, version != 0x0407);
        ReadColour(c, m);
        ReadExtraTerms(c, m);
        m->furtherWord1 = c.U32();
        if (version != 0x0405)
            m->furtherWord2 = c.U32();
        return 0;
    case 0x0404:
    case 0x0403:
    case 0x0402:
        if ((code = ReadLayers(c, LayerShape::WithFlags48, m, names)))
            return code;
        if (version != 0x0402)
            m->materialWord = c.U32();
        m->lighting = c.F32();
        m->materialByte = c.U8();
        m->flags = ConvertMaterialFileFlags(c.U32());
        ReadEffectTerms(c, m, true);
        ReadColour(c, m);
        ReadExtraTerms(c, m);
        m->furtherWord1 = c.U32();
        return 0;
    case 0x0401:
    case 0x0400:
        if ((code = ReadLayers(c, LayerShape::NoFlags47, m, names)))
            return code;
        m->flags = ConvertMaterialFileFlags(c.U32());
        ReadEffectTerms(c, m, true);
        ReadColour(c, m);
        if (version == 0x0401)
        {
            ReadExtraTerms(c, m);
            m->lighting = 1.0f;
        }
        m->furtherWord1 = c.U32();
        return 0;
    case 0x0302:
        if ((code = ReadLayers(c, LayerShape::Basic44, m, names)))
            return code;
        m->flags = ConvertMaterialFileFlags(c.U32());
        ReadEffectTerms(c, m, true);
        ReadColour(c, m);
        m->furtherWord1 = c.U32();
        return 0;
    case 0x0301:
    case 0x0300:
        if ((code = MakeThreeLayers(m)))
            return code;
        for (int i = 0; i < 3; ++i)
            c.Name(names.name[i], 32);
        m->flags = ConvertMaterialFileFlags(c.U32());
        for (int i = 0; i < 3; ++i)
        {
            bzMaterialLayer &layer = m->layers[i];
            layer.blendKind = static_cast<uint8_t>(c.U32());
            layer.alpha = c.F32();
            layer.texCoordKind = static_cast<uint8_t>(c.U32());
            NoAlphaSource(&layer);
        }
        ReadPercentTerms(c, m);
        m->furtherWord1 = c.U32();
        if (version == 0x0300)
            for (int i = 0; i < 3; ++i)
            {
                static const uint8_t renumber[] = {0, 1, 1, 2, 2, 4};
                uint8_t &kind = m->layers[i].blendKind;
                if (kind < sizeof renumber)
                    kind = renumber[kind];
            }
        return 0;
    case 0x0203:
    {
        if ((code = MakeThreeLayers(m)))
            return code;
        c.Name(names.name[0], 16);
        c.Name(names.name[1], 16);
        m->flags = ConvertMaterialFileFlags(c.U32()) | 0x2;
        bzMaterialLayer &first = m->layers[0];
        bzMaterialLayer &second = m->layers[1];
        first.blendKind = static_cast<uint8_t>(c.U32());
        first.texCoordKind = static_cast<uint8_t>(c.U32());
        second.texCoordKind = static_cast<uint8_t>(c.U32());
        ReadPercentTerms(c, m);
        c.Skip(5);
        first.alpha = c.U8() * 0.01f;
        m->furtherWord1 = c.U32();
        second.blendKind = first.blendKind;
        second.alpha = first.alpha;
        NoAlphaSource(&first);
        NoAlphaSource(&second);
        return 0;
    }
    default: return BZ_ERROR_BAD_DATA_FORMAT;
    }
}

bool EndsWithNoCase(const char *text, const char *end)
{
    const size_t a = std::strlen(text), b = std::strlen(end);
    return a >= b && bz_StrCompareNoCase(text + a - b, end) == 0;
}

// Appends ".MTL" unless the name ends with it; false when it does not fit.
bool WithExtension(char *buffer, size_t size, const char *name)
{
    const int written = EndsWithNoCase(name, ".MTL") ? std::snprintf(buffer, size, "%s", name)
                                                     : std::snprintf(buffer, size, "%s.MTL", name);
    return written >= 0 && static_cast<size_t>(written) < size;
}

void Put8(uint8_t *&p, uint32_t v)
{
    *p++ = static_cast<uint8_t>(v);
}

void Put16(uint8_t *&p, uint32_t v)
{
    bz_PutU16LE(p, v);
    p += 2;
}

void Put32(uint8_t *&p, uint32_t v)
{
    bz_PutU32LE(p, v);
    p += 4;
}

void PutF32(uint8_t *&p, float v)
{
    Put32(p, std::bit_cast<uint32_t>(v));
}

uint8_t WholeByte(float v)
{
    return static_cast<uint8_t>(v >= 0.0f && v < 256.0f ? static_cast<int32_t>(v) : 0);
}
} // namespace

uint32_t ConvertMaterialFileFlags(uint32_t fileFlags)
{
    uint32_t flags = 0;
    for (const auto &pair : kFlagMap)
        if (fileFlags & pair[0])
            flags |= pair[1];
    if (fileFlags & 0x00100000)
        flags = (flags & ~0xFu) | 0x4;
    else if (fileFlags & 0x00008000)
        flags = (flags & ~0xFu) | 0x2;
    return flags;
}

uint32_t MaterialFlagsToFile(uint32_t materialFlags)
{
    uint32_t fileFlags = 0;
    for (const auto &pair : kFlagMap)
        if (materialFlags & pair[1])
            fileFlags |= pair[0];
    return fileFlags;
}

void SetMaterialEffectFromOld(bzMaterial *material, float a, float b, float c)
{
    const float old[3] = {a, b, c};
    for (int i = 0; i < 3; ++i)
        material->effectTerms[i] = old[i] >= 0.5f ? 2.0f * (old[i] - 0.5f) : 0.0f;
}

int32_t LoadThisMaterial(bzFileHandle *file, bzMaterial *material, const char *folder)
{
    BZ_ASSERT(file && material);
    const int32_t length = bz_FileLength(file);
    auto *data =
        static_cast<uint8_t *>(bz_MemAlloc(static_cast<uint32_t>(length > 0 ? length : 1), 0));
    if (!data)
    {
        bz_FileClose(file);
        return BZ_ERROR_NO_MEMORY;
    }
    const bool read = length > 0 && bz_FileRead(file, data, static_cast<size_t>(length)) ==
                                        static_cast<size_t>(length);
    bz_FileClose(file);
    Cursor c{data, read ? static_cast<uint32_t>(length) : 0};

    const uint16_t version = c.U16();
    if (c.shortData)
    {
        bz_MemFree(data);
        return BZ_ERROR_BAD_DATA_FORMAT;
    }
    if (version != BZ_MATERIAL_FILE_VERSION)
        bz_DebugPrint("LoadThisMaterial::Loading material, version %d.%d", version >> 8,
                      version & 0xFF);
    if (version > BZ_MATERIAL_FILE_VERSION)
    {
        bz_DebugPrint("LoadThisMaterial::A newer version loaded than this exe and deal with.");
        bz_MemFree(data);
        return BZ_ERROR_INVALID_PARAMETER;
    }
    material->specular = kNewSpecular;
    LayerNames names = {};
    int32_t code = ReadVersion(c, version, material, names);
    bz_MemFree(data);
    if (!code && c.shortData)
        code = BZ_ERROR_BAD_DATA_FORMAT;
    if (code)
        return code;

    for (int32_t i = 0; i < material->layerCount; ++i)
    {
        bzMaterialLayer &layer = material->layers[i];
        if (layer.addressU < 1 || layer.addressU > 4)
            layer.addressU = 1;
        if (layer.addressV < 1 || layer.addressV > 4)
            layer.addressV = 1;
    }
    if (!(material->flags & BZ_MATERIAL_LOW_BITS))
        material->flags |= BZ_MATERIAL_TINT_BAKED;
    bzgMaterial_lastLoadedFlag = material->flags & BZ_MATERIAL_LOADER_KEPT;

    const int32_t kept = material->layerCount < BZ_MATERIAL_MAX_FILE_LAYERS
                             ? material->layerCount
                             : BZ_MATERIAL_MAX_FILE_LAYERS;
    for (int32_t i = 0; i < kept; ++i)
    {
        if (!names.name[i][0])
            continue;
        char path[BZ_FILE_PATH_SIZE * 2];
        const size_t folderLength = folder ? std::strlen(folder) : 0;
        const bool slash = folderLength && folder[folderLength - 1] != '\\';
        std::snprintf(path, sizeof path, "%s%s%s", folder ? folder : "", slash ? "\\" : "",
                      names.name[i]);
        material->layers[i].image = bz_GetImgMap(path);
        if (!material->layers[i].image)
            bz_DebugPrint("LoadThisMaterial::Could not load texture. %s", path);
    }
    while (material->layerCount > 1 && !material->layers[material->layerCount - 1].image)
        --material->layerCount;
    bz_UpdateMaterial(material, BZ_MATUPDATE_ALL);

    if (version < BZ_MATERIAL_FILE_VERSION)
    {
        bz_DebugPrint("LoadThisMaterial::Old version loaded, conversion needed.");
        return BZ_ERROR_OUTDATED_VERSION;
    }
    return 0;
}

bzMaterial *bz_LoadMaterial(const char *name)
{
    if (!name)
        return nullptr;
    char plain[BZ_FILE_PATH_SIZE];
    if (std::snprintf(plain, sizeof plain, "%s", name) >= static_cast<int>(sizeof plain))
        return nullptr;
    if (EndsWithNoCase(plain, ".MTL"))
        plain[std::strlen(plain) - 4] = 0;
    char inFolder[BZ_MATERIAL_FOLDER_SIZE] = {};
    if (const char *path = MaterialFolderPath(plain))
        std::snprintf(inFolder, sizeof inFolder, "%s", path);

    if (!(bzgLoadFlags & BZ_LOADFLAG_FRESH_MATERIALS))
    {
        bzMaterial *found = inFolder[0] ? bz_FindMaterial(inFolder) : nullptr;
        if (!found)
            found = bz_FindMaterial(plain);
        if (found && !(found->flags & BZ_MATERIAL_NEVER_SHARED))
            return bz_AddRefMaterial(found);
    }

    char plainFile[BZ_FILE_PATH_SIZE + 4];
    char folderFile[BZ_MATERIAL_FOLDER_SIZE + 4];
    if (!WithExtension(plainFile, sizeof plainFile, plain))
        return nullptr;
    bzFileHandle *file = nullptr;
    const char *opened = nullptr;
    if (inFolder[0] && WithExtension(folderFile, sizeof folderFile, inFolder))
    {
        file = bz_FileOpen(folderFile, "rb");
        opened = folderFile;
    }
    const bool viaFolder = file != nullptr;
    if (!file)
    {
        file = bz_FileOpen(plainFile, "rb");
        opened = plainFile;
    }
    if (!file)
        return bzgMaterial_missingHook ? bzgMaterial_missingHook(plainFile) : nullptr;

    bzMaterial *material = bz_AllocMaterial(opened);
    if (!material)
    {
        bz_FileClose(file);
        return nullptr;
    }
    char folder[BZ_FILE_PATH_SIZE * 2];
    std::snprintf(folder, sizeof folder, "%s", bz_GetPathDrive(opened));
    const size_t driveLength = std::strlen(folder);
    std::snprintf(folder + driveLength, sizeof folder - driveLength, "%s",
                  bz_GetPathDirectory(opened));

    const int32_t result = LoadThisMaterial(file, material, folder);
    if (result == BZ_ERROR_OUTDATED_VERSION)
    {
        if (bzgModelLoadOptions & BZ_MODELOPT_NO_MATERIAL_CONVERSION)
            bz_DebugPrint("bz_LoadMaterial::Conversion blocked on material \"%s\".",
                          material->fullName ? material->fullName : "");
        else if (bz_SaveMaterial(material->fullName, material) != 0)
            bz_DebugPrint("bz_LoadMaterial::material \"%s\" could not be rewritten.",
                          material->fullName ? material->fullName : "");
        else
            bz_DebugPrint("bz_LoadMaterial::material \"%s\" converted.", material->fullName);
    }
    else if (result != 0)
    {
        bz_ReleaseMaterial(material);
        bzgLastError = result; // after the release: freeing memory rewrites the last error
        return nullptr;
    }
    if (viaFolder)
        material->flags |= BZ_MATERIAL_FROM_FOLDER;
    return material;
}

int32_t bz_SaveMaterial(const char *fileName, const bzMaterial *material)
{
    if (!material)
        return BZ_ERROR_NOT_A_MATERIAL;
    if (material == bzgMaterial_default)
        return BZ_ERROR_INVALID_MATERIAL;
    if (!fileName)
        return BZ_ERROR_FILE_NOT_FOUND;
    char base[BZ_FILE_PATH_SIZE];
    if (std::snprintf(base, sizeof base, "%s", fileName) >= static_cast<int>(sizeof base))
        return BZ_ERROR_FILE_NOT_FOUND;
    char *dot = std::strrchr(base, '.');
    if (dot && dot != base && !std::strchr(dot, '\\'))
        *dot = 0;
    char path[BZ_FILE_PATH_SIZE + 4];
    if (!WithExtension(path, sizeof path, base))
        return BZ_ERROR_FILE_NOT_FOUND;

    const uint32_t count = material->layerCount;
    const uint32_t size = 2 + 4 + count * kLayerRecordSize + kTailSize;
    auto *block = static_cast<uint8_t *>(bz_MemAlloc(size, BZ_MEM_CLEAR));
    if (!block)
        return BZ_ERROR_NO_MEMORY;
    uint8_t *p = block;
    Put16(p, BZ_MATERIAL_FILE_VERSION);
    Put32(p, count);
    for (uint32_t i = 0; i < count; ++i)
    {
        const bzMaterialLayer &layer = material->layers[i];
        if (layer.image && layer.image->name)
        {
            const char *texture = bz_GetPathFileName(layer.image->name);
            std::strncpy(reinterpret_cast<char *>(p), texture, 31);
        }
        p += 32;
        Put32(p, layer.blendKind);
        PutF32(p, layer.alpha);
        Put32(p, layer.texCoordKind);
        PutF32(p, layer.effect[0]);
        PutF32(p, layer.scrollU);
        PutF32(p, layer.scrollV);
        Put8(p, layer.addressU);
        Put8(p, layer.addressV);
        Put8(p, layer.texCoordSet);
        Put8(p, WholeByte(layer.effect[1]));
        Put8(p, WholeByte(layer.effect[2]));
        Put8(p, ((layer.flags & BZ_LAYER_FILE_BIT0) ? 0x01 : 0) |
                    ((layer.flags & BZ_LAYER_FILE_BIT1) ? 0x02 : 0) |
                    ((layer.flags & BZ_LAYER_SCROLLING) ? 0x04 : 0));
    }
    Put32(p, material->materialWord);
    PutF32(p, material->lighting);
    Put8(p, material->materialByte);
    Put16(p, material->specular);
    Put32(p, MaterialFlagsToFile(material->flags));
    for (float term : material->effectTerms)
        PutF32(p, term);
    PutF32(p, material->red);
    PutF32(p, material->green);
    PutF32(p, material->blue);
    for (float term : material->extraTerms)
        PutF32(p, term);
    Put32(p, material->furtherWord1);
    Put32(p, material->furtherWord2);
    BZ_ASSERT(p == block + size);

    bzFileHandle *file = bz_FileOpen(path, "wb");
    if (!file)
    {
        bz_MemFree(block);
        return BZ_ERROR_FILE_NOT_FOUND;
    }
    const size_t written = bz_FileWrite(file, block, size);
    const int closed = bz_FileClose(file);
    bz_MemFree(block);
    return written == size && closed == 0 ? 0 : BZ_ERROR_FILE_NOT_FOUND;
}
