#include "models/Material.h"

#include "core/Debug.h"
#include "core/Error.h"
#include "core/Memory.h"
#include "core/NameHash.h"
#include "core/Strings.h"
#include "device/RenderTable.h"
#include "files/DebugOutput.h"
#include "files/File.h"
#include "models/ImgMap.h"

#include <cmath>
#include <cstdio>
#include <cstring>

bzMaterial *bzgMaterial_list;
int32_t bzgMaterial_count;
bzMaterial *bzgMaterial_default;
char bzgMaterial_folder[BZ_MATERIAL_FOLDER_SIZE];
bzMaterialMissingHook bzgMaterial_missingHook;
void (*bzgMaterial_destroyElement)(void *element);

namespace
{
char gFolderPath[BZ_MATERIAL_FOLDER_SIZE];
bzMaterialHook gMaterialHook; // kept for the application; the engine never calls it

// 0xFFFFBF00 minus trunc(cos(7.5 degrees) x -255), kept to 16 bits.
constexpr uint16_t kNewSpecular = 0xBFFC;
constexpr int32_t kMaxLayers = 255;

bool NoTextureSet(uint8_t kind)
{
    return kind == 1 || kind == 2 || kind == 4 || kind == 5 || kind == 11;
}

bool Additive(uint8_t kind)
{
    return kind == 1 || kind == 2 || kind == 4 || kind == 5;
}

bool NeverBlends(uint8_t kind)
{
    return kind == 7 || kind == 9 || kind == 10;
}

void InitLayer(bzMaterialLayer *layer, int32_t index)
{
    *layer = {};
    layer->alpha = 1.0f;
    layer->addressU = 1;
    layer->addressV = 1;
    layer->texCoordSet = static_cast<uint8_t>(index % 2);
}

// Releases what a layer holds: its image reference and its transform.
void ClearLayer(bzMaterialLayer *layer)
{
    bz_ReleaseImgMap(layer->image);
    layer->image = nullptr;
    bz_MemFree(layer->transform);
    layer->transform = nullptr;
}

// Stores name as the full name (a four-character extension dropped) with its hash and short
// name; shortAt, when not negative, is where the short name starts.
void StoreName(bzMaterial *material, const char *name, int32_t shortAt = -1)
{
    bz_MemFree(material->fullName);
    material->fullName = nullptr;
    material->shortName = nullptr;
    material->nameHash = 0;
    if (!name)
        return;
    size_t length = std::strlen(name);
    if (length >= 4 && name[length - 4] == '.')
        length -= 4;
    char *copy = static_cast<char *>(bz_MemAlloc(static_cast<uint32_t>(length + 1), 0));
    if (!copy)
        return;
    std::memcpy(copy, name, length);
    copy[length] = 0;
    material->fullName = copy;
    material->nameHash = bz_HashString(copy);
    if (shortAt >= 0 && static_cast<size_t>(shortAt) <= length)
        material->shortName = copy + shortAt;
    else
    {
        const char *slash = std::strrchr(copy, '\\');
        material->shortName = slash ? slash + 1 : copy;
    }
}

bzMaterial *NoMemory(const char *message)
{
    bz_DebugPrintMasked(0x20, "%s", message);
    bzgLastError = BZ_ERROR_NO_MEMORY;
    return nullptr;
}
} // namespace

const char *MaterialFolderPath(const char *name)
{
    if (!bzgMaterial_folder[0] || !name)
        return nullptr;
    const char *slash = std::strrchr(name, '\\');
    const int written = std::snprintf(gFolderPath, sizeof gFolderPath, "%s%s", bzgMaterial_folder,
                                      slash ? slash + 1 : name);
    if (written < 0 || written >= static_cast<int>(sizeof gFolderPath))
        return nullptr;
    return gFolderPath;
}

void bz_OpenMaterialLibrary()
{
    bzgMaterial_list = nullptr;
    bzgMaterial_count = 0;
    if (bzgRenderTable.PDMaterialCreated)
        bzgRenderTable.PDMaterialCreated();
    bzgMaterial_default = bz_CreateMaterialWithColour("Default", 0xFFA0A0A0u);
    if (bzgMaterial_default)
        bzgMaterial_default->flags |= BZ_MATERIAL_DEFAULT_MARKS;
    std::memset(bzgMaterial_folder, 0, sizeof bzgMaterial_folder);
}

bzMaterial *bz_GetDefaultMaterial()
{
    return bzgMaterial_default;
}

void bz_SetMaterialFolder(char *old, const char *folder)
{
    if (old)
        std::memcpy(old, bzgMaterial_folder, sizeof bzgMaterial_folder);
    if (!folder || !folder[0])
    {
        bzgMaterial_folder[0] = 0;
        return;
    }
    std::snprintf(bzgMaterial_folder, sizeof bzgMaterial_folder - 1, "%s", folder);
    bz_AppendBackslash(bzgMaterial_folder);
}

void bz_SetMaterialHook(bzMaterialHook hook)
{
    gMaterialHook = hook;
}

void bz_LinkMaterial(bzMaterial *material)
{
    if (!material)
        return;
    material->next = nullptr;
    if (!bzgMaterial_list)
    {
        material->prev = material;
        bzgMaterial_list = material;
        return;
    }
    bzMaterial *last = bzgMaterial_list->prev;
    last->next = material;
    material->prev = last;
    bzgMaterial_list->prev = material;
}

void bz_UnlinkMaterial(bzMaterial *material)
{
    if (!material || !material->prev)
        return;
    if (material == bzgMaterial_list)
    {
        bzgMaterial_list = material->next;
        if (bzgMaterial_list)
            bzgMaterial_list->prev = material->prev;
    }
    else
    {
        material->prev->next = material->next;
        if (material->next)
            material->next->prev = material->prev;
        else
            bzgMaterial_list->prev = material->prev;
    }
    material->prev = nullptr;
    material->next = nullptr;
}

bzMaterial *bz_FindMaterial(const char *name)
{
    if (!name)
        return nullptr;
    if (std::strchr(name, '\\'))
    {
        const uint32_t hash = bz_HashString(name);
        for (bzMaterial *m = bzgMaterial_list; m; m = m->next)
            if (m->nameHash == hash && m->fullName && bz_StrCompareNoCase(m->fullName, name) == 0)
                return m;
        return nullptr;
    }
    for (bzMaterial *m = bzgMaterial_list; m; m = m->next)
        if (m->shortName && bz_StrCompareNoCase(m->shortName, name) == 0)
            return m;
    return nullptr;
}

bzMaterial *MaterialHasName(bzMaterial *material, const char *name)
{
    if (!material || !name)
        return nullptr;
    if ((material->fullName && bz_StrCompareNoCase(material->fullName, name) == 0) ||
        (material->shortName && bz_StrCompareNoCase(material->shortName, name) == 0))
        return material;
    return nullptr;
}

void bz_SortMaterials(int32_t (*compare)(const bzMaterial *a, const bzMaterial *b),
                      bzMaterial **list)
{
    if (!compare || !list || !*list)
        return;
    uint32_t n = 0;
    for (bzMaterial *m = *list; m; m = m->next)
        ++n;
    auto **items = static_cast<bzMaterial **>(bz_MemAlloc(n * sizeof(bzMaterial *), 0));
    if (!items)
        return;
    uint32_t i = 0;
    for (bzMaterial *m = *list; m; m = m->next)
        items[i++] = m;
    for (i = 1; i < n; ++i)
    {
        bzMaterial *record = items[i];
        uint32_t j = i;
        while (j > 0 && compare(record, items[j - 1]) < 0)
        {
            items[j] = items[j - 1];
            --j;
        }
        items[j] = record;
    }
    for (i = 0; i < n; ++i)
    {
        items[i]->prev = i ? items[i - 1] : items[n - 1];
        items[i]->next = i + 1 < n ? items[i + 1] : nullptr;
    }
    *list = items[0];
    bz_MemFree(items);
}

void bz_MoveMaterialToListEnd(bzMaterial *material, bzMaterial **first)
{
    if (!material || !first)
        return;
    if (material != *first)
    {
        bz_UnlinkMaterial(material);
        bz_LinkMaterial(material);
    }
    if (!*first)
        *first = material;
}

void bz_MoveMaterialImagesToListEnd(bzMaterial *material, int32_t all, int32_t *count)
{
    bz_IMGMAP *firstMoved = nullptr;
    for (bzMaterial *m = material; m; m = all ? m->next : nullptr)
        for (int32_t i = 0; i < m->layerCount; ++i)
        {
            bz_IMGMAP *image = m->layers[i].image;
            if (!image)
                continue;
            if (image != firstMoved)
            {
                bz_UnlinkImgMap(image);
                bz_LinkImgMap(image);
            }
            if (!firstMoved)
                firstMoved = image;
        }
    if (count)
    {
        *count = 0;
        for (bz_IMGMAP *image = firstMoved; image; image = image->next)
            ++*count;
    }
}

void bz_ListMaterials()
{
    if (!bzgMaterial_list)
    {
        bz_DebugPrint("Materials:: Material library not open.");
        return;
    }
    bz_DebugPrint("Materials::");
    for (bzMaterial *m = bzgMaterial_list; m; m = m->next)
    {
        if (m->fullName)
            bz_DebugPrint("   %s", m->fullName);
        else
            bz_DebugPrint("   no name availble");
    }
    bz_DebugPrint("\n");
}

bzMaterial *bz_AllocMaterial(const char *name)
{
    auto *material = static_cast<bzMaterial *>(bz_MemAlloc(sizeof(bzMaterial), BZ_MEM_CLEAR));
    if (!material)
    {
        bzgLastError = BZ_ERROR_NO_MEMORY;
        return nullptr;
    }
    bz_LinkMaterial(material);
    ++bzgMaterial_count;
    material->refCount = 1;
    StoreName(material, name);
    return material;
}

bzMaterial *bz_CreateMaterial(const char *name, int32_t update)
{
    bzMaterial *material = bz_AllocMaterial(name);
    if (!material)
        return nullptr;
    material->layers = static_cast<bzMaterialLayer *>(bz_MemAlloc(sizeof(bzMaterialLayer), 0));
    if (!material->layers)
    {
        bz_ReleaseMaterial(material);
        bzgLastError = BZ_ERROR_NO_MEMORY;
        return nullptr;
    }
    material->specular = kNewSpecular;
    material->red = material->green = material->blue = 1.0f;
    material->layerCount = 1;
    InitLayer(&material->layers[0], 0);
    material->layers[0].flags = BZ_LAYER_FIRST;
    material->flags = BZ_MATERIAL_NEW_FLAGS;
    if (update)
        bz_UpdateMaterial(material, BZ_MATUPDATE_ALL);
    return material;
}

bzMaterial *bz_CreateMaterialWithColour(const char *name, bzColour colour)
{
    bzMaterial *material = bz_CreateMaterial(name, 0);
    if (!material)
        return NoMemory("bz_CreateMaterialWithColour::BZ_ERROR_NO_MEMORY");
    material->red = static_cast<float>(colour >> 16 & 0xFF) / 255.0f;
    material->green = static_cast<float>(colour >> 8 & 0xFF) / 255.0f;
    material->blue = static_cast<float>(colour & 0xFF) / 255.0f;
    material->layers[0].alpha = static_cast<float>(colour >> 24 & 0xFF) / 255.0f;
    bz_UpdateMaterial(material, BZ_MATUPDATE_ALL);
    return material;
}

bzMaterial *bz_CreateMaterialFromTextureHandle(bz_IMGMAP *image)
{
    bzMaterial *material = bz_CreateMaterial(nullptr, 0);
    if (!material)
        return NoMemory("bz_CreateMaterialFromTextureHandle::BZ_ERROR_NO_MEMORY");
    material->red = material->green = material->blue = 1.0f;
    material->layers[0].image = bz_AddRefImgMap(image);
    material->layers[0].blendKind = 0;
    bz_UpdateMaterial(material, BZ_MATUPDATE_ALL);
    return material;
}

bzMaterial *bz_CreateMaterialFromImageName(const char *name)
{
    bz_IMGMAP *image = bz_GetImgMap(name);
    if (!image)
        return nullptr;
    bzMaterial *material = bz_CreateMaterialFromTextureHandle(image);
    bz_ReleaseImgMap(image);
    return material;
}

int32_t bz_CopyMaterial(bzMaterial *destination, const bzMaterial *source, const char *name,
                        const char *shortName)
{
    BZ_ASSERT(destination && source && destination != source);
    if (int32_t code = bz_ResizeMaterialLayers(destination, source->layerCount))
        return code;
    bzMaterialLayer *layers = destination->layers;
    bzMaterial *prev = destination->prev;
    bzMaterial *next = destination->next;
    const int32_t refCount = destination->refCount;
    void *element = destination->boundElement;
    char *oldName = destination->fullName;

    *destination = *source;
    destination->layers = layers;
    destination->prev = prev;
    destination->next = next;
    destination->refCount = refCount;
    destination->boundElement = element;
    destination->fullName = oldName;

    int32_t result = 0;
    for (int32_t i = 0; i < source->layerCount; ++i)
    {
        ClearLayer(&layers[i]);
        layers[i] = source->layers[i];
        bz_AddRefImgMap(layers[i].image);
        if (source->layers[i].transform)
        {
            layers[i].transform = static_cast<bzM23 *>(bz_MemAlloc(sizeof(bzM23), 0));
            if (layers[i].transform)
                *layers[i].transform = *source->layers[i].transform;
            else
                result = BZ_ERROR_NO_MEMORY;
        }
    }

    const char *from = name ? name : source->fullName;
    const char *shortFrom = name ? shortName : source->shortName;
    const int32_t shortAt =
        from && shortFrom && shortFrom >= from && shortFrom <= from + std::strlen(from)
            ? static_cast<int32_t>(shortFrom - from)
            : -1;
    // The name may be the destination's own: copy it before the old one is freed.
    char *copy = from ? bz_StrDup(from) : nullptr;
    destination->fullName = oldName;
    StoreName(destination, copy, shortAt);
    bz_MemFree(copy);
    if (from && !destination->fullName)
        result = BZ_ERROR_NO_MEMORY;
    return result;
}

bzMaterial *bz_DuplicateMaterial(const bzMaterial *source)
{
    if (!source)
        return nullptr;
    bzMaterial *material = bz_CreateMaterial(source->fullName, 1);
    if (!material)
    {
        bzgLastError = BZ_ERROR_NO_MEMORY;
        return nullptr;
    }
    bz_CopyMaterial(material, source, nullptr, nullptr);
    return material;
}

void bz_RenameMaterial(bzMaterial *material, const char *name)
{
    if (!material)
        return;
    char *copy = name ? bz_StrDup(name) : nullptr;
    StoreName(material, copy);
    bz_MemFree(copy);
}

int32_t bz_SetMaterialColour(bzMaterial *material, bzColour colour)
{
    if (!material)
        return BZ_ERROR_NOT_A_MATERIAL;
    material->red = static_cast<float>(colour >> 16 & 0xFF) / 255.0f;
    material->green = static_cast<float>(colour >> 8 & 0xFF) / 255.0f;
    material->blue = static_cast<float>(colour & 0xFF) / 255.0f;
    bz_UpdateMaterial(material, BZ_MATUPDATE_COLOUR);
    return 0;
}

void bz_SetMaterialLayerTexture(bzMaterial *material, int32_t index, bz_IMGMAP *image)
{
    if (!material || index < 0 || index >= material->layerCount)
        return;
    bz_AddRefImgMap(image);
    bz_ReleaseImgMap(material->layers[index].image);
    material->layers[index].image = image;
    bz_UpdateMaterial(material, BZ_MATUPDATE_LAYERS);
}

int32_t bz_SetMaterialLayerImageRaw(bzMaterial *material, int32_t index, bz_IMGMAP *image,
                                    float alpha)
{
    if (!material || index < 0 || index >= material->layerCount ||
        index >= BZ_MATERIAL_MAX_FILE_LAYERS)
        return BZ_ERROR_INVALID_PARAMETER;
    material->layers[index].image = image;
    material->layers[index].alpha = alpha;
    bz_UpdateMaterial(material, BZ_MATUPDATE_LAYERS);
    return 0;
}

int32_t bz_ResizeMaterialLayers(bzMaterial *material, int32_t count)
{
    if (!material || count < 0 || count > kMaxLayers)
        return BZ_ERROR_INVALID_PARAMETER;
    const int32_t old = material->layerCount;
    if (count == old)
        return 0;
    for (int32_t i = count; i < old; ++i)
        ClearLayer(&material->layers[i]);
    if (count == 0)
    {
        bz_MemFree(material->layers);
        material->layers = nullptr;
        material->layerCount = 0;
        return 0;
    }
    auto *layers = static_cast<bzMaterialLayer *>(
        bz_MemRealloc(material->layers, static_cast<uint32_t>(count) * sizeof(bzMaterialLayer), 0));
    if (!layers)
    {
        if (count < old)
            material->layerCount = static_cast<uint8_t>(count); // the dropped layers are cleared
        return BZ_ERROR_NO_MEMORY;
    }
    for (int32_t i = old; i < count; ++i)
        InitLayer(&layers[i], i);
    material->layers = layers;
    material->layerCount = static_cast<uint8_t>(count);
    return 0;
}

bzMaterialLayer *bz_GetMaterialLayer(bzMaterial *material, int32_t index)
{
    if (!material || index < 0 || index >= kMaxLayers)
        return nullptr;
    if (index >= material->layerCount && bz_ResizeMaterialLayers(material, index + 1) != 0)
        return nullptr;
    return &material->layers[index];
}

int32_t bz_SetMaterialTransformPtr(int32_t index, bzMaterial *material, const bzM23 *transform)
{
    bzMaterialLayer *layer = bz_GetMaterialLayer(material, index);
    if (!layer)
        return material ? BZ_ERROR_NO_MEMORY : BZ_ERROR_NOT_A_MATERIAL;
    if (!layer->transform)
    {
        layer->transform = static_cast<bzM23 *>(bz_MemAlloc(sizeof(bzM23), BZ_MEM_CLEAR));
        if (!layer->transform)
        {
            bz_DebugPrint("bz_SetMaterialTransformPtr::BZ_ERROR_NO_MEMORY");
            return BZ_ERROR_NO_MEMORY;
        }
    }
    if (transform)
        *layer->transform = *transform;
    return 0;
}

void bz_FreeMaterialLayerTransform(int32_t index, bzMaterial *material)
{
    if (!material || index < 0 || index >= material->layerCount)
        return;
    bz_MemFree(material->layers[index].transform);
    material->layers[index].transform = nullptr;
}

uint32_t MaterialVertexFormat(const bzMaterial *material)
{
    uint32_t format = 0x4;
    uint32_t sets = 0;
    for (int32_t i = 0; i < material->layerCount; ++i)
    {
        const bzMaterialLayer &layer = material->layers[i];
        if (!layer.image || NoTextureSet(layer.texCoordKind))
            continue;
        const uint32_t wanted = layer.texCoordSet + 1u;
        if (wanted > sets)
            sets = wanted > 7 ? 7 : wanted;
        format |= 0x8000;
    }
    format |= sets << 12;
    if (material->flags & BZ_MATERIAL_VERTEX_COLOURS)
        format += 0x400;
    return format + 0x280;
}

int32_t bz_UpdateMaterial(bzMaterial *material, int32_t mask)
{
    if (!material)
        return BZ_ERROR_NOT_A_MATERIAL;
    material->vertexFormat = MaterialVertexFormat(material);
    material->flags &= ~BZ_MATERIAL_ADDITIVE_LAYER;
    material->derivedFlags &= ~(BZ_MATDERIVED_SET0 | BZ_MATDERIVED_SET1 | BZ_MATDERIVED_EXTRA);
    material->activeLayers = 0;
    const bzMaterialLayer *first = nullptr;
    for (int32_t i = 0; i < material->layerCount; ++i)
    {
        bzMaterialLayer &layer = material->layers[i];
        if (layer.flags & BZ_LAYER_OFF)
            continue;
        if (!first)
            first = &layer;
        ++material->activeLayers;
        material->lastActiveLayer = static_cast<uint8_t>(i);
        if (layer.alpha > 1.0f)
            layer.alpha = 1.0f;
        else if (layer.alpha < 0.0f || std::isnan(layer.alpha))
            layer.alpha = 0.0f;
        if (layer.image && !NoTextureSet(layer.texCoordKind))
        {
            if (layer.texCoordSet == 0)
                material->derivedFlags |= BZ_MATDERIVED_SET0;
            else if (layer.texCoordSet == 1)
                material->derivedFlags |= BZ_MATDERIVED_SET1;
        }
        if (Additive(layer.texCoordKind))
        {
            material->derivedFlags |= BZ_MATDERIVED_EXTRA;
            material->flags |= BZ_MATERIAL_ADDITIVE_LAYER;
        }
    }
    if (material->flags & BZ_MATERIAL_LIGHTING)
        material->derivedFlags |= BZ_MATDERIVED_EXTRA;

    material->flags &= ~BZ_MATERIAL_BLENDED;
    if (material->flags & BZ_MATERIAL_ALWAYS_BLENDED)
        material->flags |= BZ_MATERIAL_BLENDED;
    else
    {
        if (!first && material->layerCount > 0)
            first = &material->layers[0];
        if (first && !NeverBlends(first->texCoordKind) &&
            (first->alpha < 1.0f || first->blendKind != 0 ||
             (first->image && (first->image->flags & BZ_IMGMAP_HAS_ALPHA))))
            material->flags |= BZ_MATERIAL_BLENDED;
    }
    return bzgRenderTable.PDSetupMaterial ? bzgRenderTable.PDSetupMaterial(material, mask) : 0;
}

bzMaterial *bz_AddRefMaterial(bzMaterial *material)
{
    if (material)
        ++material->refCount;
    return material;
}

void bz_ReleaseMaterial(bzMaterial *material)
{
    if (!material)
        return;
    if (--material->refCount > 0)
        return;
    if (material->boundElement && bzgMaterial_destroyElement)
        bzgMaterial_destroyElement(material->boundElement);
    material->boundElement = nullptr;
    for (int32_t i = 0; i < material->layerCount; ++i)
        ClearLayer(&material->layers[i]);
    bz_UnlinkMaterial(material);
    --bzgMaterial_count;
    bz_MemFree(material->layers);
    bz_MemFree(material->fullName);
    material->fullName = nullptr;
    material->shortName = nullptr;
    if (material == bzgMaterial_default)
        bzgMaterial_default = nullptr;
    bz_MemFree(material);
}
