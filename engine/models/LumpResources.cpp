#include "models/LumpResources.h"

#include "core/Ascii.h"
#include "models/ImgMap.h"
#include "models/Material.h"
#include "models/Model.h"
#include "scene/Lump.h"
#include "scene/ParticleSystem.h"

namespace
{
// Moves an element to the end of its list unless it is null or the one already recorded.
template <typename T, void (*Unlink)(T *), auto Link> void MoveToEnd(T *element, T **first)
{
    if (!element || element == *first)
        return;
    Unlink(element);
    Link(element);
    if (!*first)
        *first = element;
}

void MoveModel(bzModel *model, bzModel **first)
{
    MoveToEnd<bzModel, bz_UnlinkModel, bz_LinkModel>(model, first);
}

void MoveImage(bz_IMGMAP *image, bz_IMGMAP **first)
{
    MoveToEnd<bz_IMGMAP, bz_UnlinkImgMap, bz_LinkImgMap>(image, first);
}

template <typename T> int32_t RunLength(const T *first)
{
    int32_t n = 0;
    for (const T *e = first; e; e = e->next)
        ++n;
    return n;
}

const bzParticleSystem *EmitterOf(const bzLump *lump)
{
    return lump->type == BZ_LUMP_TYPE_PARTICLE_EMITTER
               ? static_cast<const bzParticleSystem *>(lump->object)
               : nullptr;
}

// Adds an image map not yet in the array that does not already hold its texture; 1 when added.
int32_t AddImage(bz_IMGMAP *image, bz_IMGMAP **images, int32_t imageLimit, int32_t *imageCount)
{
    if (!image || (image->flags & BZ_IMGMAP_TEXTURE) || *imageCount >= imageLimit)
        return 0;
    for (int32_t i = 0; i < *imageCount; ++i)
        if (images[i] == image)
            return 0;
    images[(*imageCount)++] = image;
    return 1;
}

bzMaterial *CountedOverride(const bzLump *lump)
{
    return (lump->flags & BZ_LUMP_UNCOUNTED) ? nullptr : lump->material;
}

// The subtree in pre-order under the filter's rule; without recursion the root alone.
template <typename Visit>
void WalkFiltered(bzLump *root, int32_t recurse, bzLumpResourceFilter filter, void *user,
                  Visit visit)
{
    if (!root)
        return;
    bzLump *lump = root;
    while (lump)
    {
        const int32_t verdict = filter ? filter(user, lump) : 0;
        if (verdict == 0)
            visit(lump);
        if (!recurse)
            return;
        lump = (verdict == 0 || verdict == 1) ? bz_Lump_NextPreOrder(lump, root)
                                              : bz_Lump_NextSkipChildren(lump, root);
    }
}

void MoveMaterialImages(bzMaterial *material, bz_IMGMAP **first)
{
    for (int32_t l = 0; material->layers && l < material->layerCount; ++l)
        MoveImage(material->layers[l].image, first);
}

template <typename T> bool Contains(T *const *array, int32_t count, const T *element)
{
    for (int32_t i = 0; i < count; ++i)
        if (array[i] == element)
            return true;
    return false;
}

// A model's materials and their image maps added to the arrays; the number of image maps
// added. An image map that already holds its texture is left out.
int32_t AddModelTextures(const bzModel *model, bz_IMGMAP **images, int32_t imageLimit,
                         int32_t *imageCount, bzMaterial **materials, int32_t materialLimit,
                         int32_t *materialCount)
{
    const bzModelPart *part = model ? model->part : nullptr;
    if (!part || !part->entries)
        return 0;
    int32_t added = 0;
    for (int32_t e = 0; e < part->entryCount; ++e)
    {
        bzMaterial *material = part->entries[e].material;
        if (!material || Contains(materials, *materialCount, material))
            continue;
        if (*materialCount >= materialLimit)
            break;
        materials[(*materialCount)++] = material;
        for (int32_t l = 0; material->layers && l < material->layerCount; ++l)
        {
            added += AddImage(material->layers[l].image, images, imageLimit, imageCount);
        }
    }
    return added;
}

intptr_t MatchMaterialName(bzMaterial *material, void *name)
{
    return reinterpret_cast<intptr_t>(MaterialHasName(material, static_cast<const char *>(name)));
}
} // namespace

void bz_Lump_RelinkModels(bzLump *lump, bzModel **first)
{
    if (!lump || !first)
        return;
    if (lump->type == BZ_LUMP_TYPE_LOD)
    {
        if (const auto *lod = static_cast<const bzLumpLod *>(lump->object))
            for (bzModel *model : lod->models)
                MoveModel(model, first);
        return;
    }
    MoveModel(bz_Lump_GetModel(lump), first);
}

void bz_Lump_RelinkMaterials(bzLump *lump, bzMaterial **first)
{
    if (!lump || !first)
        return;
    bz_MoveMaterialToListEnd(CountedOverride(lump), first);
    if (const bzParticleSystem *system = EmitterOf(lump))
        for (const bzParticleLayer &layer : system->layers)
            bz_MoveMaterialToListEnd(layer.material, first);
}

void bz_Lump_RelinkTextures(bzLump *lump, bz_IMGMAP **first)
{
    if (!lump || !first)
        return;
    if (const bzParticleSystem *system = EmitterOf(lump))
        MoveImage(system->texture, first);
}

bzModel *bz_Lump_CollectModelList(bzLump *root, int32_t recurse, int32_t *count,
                                  bzLumpResourceFilter filter, void *user)
{
    bzModel *first = nullptr;
    WalkFiltered(root, recurse, filter, user,
                 [&](bzLump *lump) { bz_Lump_RelinkModels(lump, &first); });
    if (count)
        *count = RunLength(first);
    return first;
}

bzMaterial *bz_Lump_CollectMaterials(int32_t recurse, bzLumpResourceFilter filter, bzLump *root,
                                     int32_t *count, void *user)
{
    bzModel *models = bz_Lump_CollectModelList(root, recurse, nullptr, filter, user);
    bzMaterial *first = nullptr;
    for (bzModel *model = models; model; model = model->next)
        bz_MoveModelMaterialsToListEnd(model, &first);
    WalkFiltered(root, recurse, filter, user,
                 [&](bzLump *lump) { bz_Lump_RelinkMaterials(lump, &first); });
    if (count)
        *count = RunLength(first);
    return first;
}

bz_IMGMAP *bz_Lump_CollectImages(int32_t recurse, bzLumpResourceFilter filter, bzLump *root,
                                 int32_t *count, void *user)
{
    bzMaterial *materials = bz_Lump_CollectMaterials(recurse, filter, root, nullptr, user);
    bz_IMGMAP *first = nullptr;
    for (bzMaterial *material = materials; material; material = material->next)
        MoveMaterialImages(material, &first);
    WalkFiltered(root, recurse, filter, user,
                 [&](bzLump *lump) { bz_Lump_RelinkTextures(lump, &first); });
    if (count)
        *count = RunLength(first);
    return first;
}

intptr_t bz_Lump_ForEachMaterial(bzLump *root, bzMaterialVisitor fn, void *user)
{
    if (!fn)
        return 0;
    bzMaterial *material = bz_Lump_CollectMaterials(1, nullptr, root, nullptr, nullptr);
    while (material)
    {
        bzMaterial *next = material->next;
        bz_AddRefMaterial(material);
        const intptr_t result = fn(material, user);
        bz_ReleaseMaterial(material);
        if (result != 0)
            return result;
        material = next;
    }
    return 0;
}

intptr_t bz_Lump_ForEachImage(bzLump *root, bzImageVisitor fn, void *user)
{
    if (!fn)
        return 0;
    for (bz_IMGMAP *image = bz_Lump_CollectImages(1, nullptr, root, nullptr, nullptr); image;)
    {
        bz_IMGMAP *next = image->next;
        if (const intptr_t result = fn(image, user))
            return result;
        image = next;
    }
    return 0;
}

int32_t bz_Lump_ConvertLargeImages(bzLump *root)
{
    constexpr int64_t kLargestPixels = 65536;
    int32_t halved = 0;
    for (bz_IMGMAP *image = bz_Lump_CollectImages(1, nullptr, root, nullptr, nullptr); image;
         image = image->next)
        if (static_cast<int64_t>(image->width) * image->height > kLargestPixels &&
            bz_HalveImgMap(image))
            ++halved;
    return halved;
}

bzMaterialEntry *bz_Lump_ChainMaterialEntries(bzLump *root, int32_t *count)
{
    bzModel *first = bz_Lump_CollectModelList(root, 1, nullptr, nullptr, nullptr);
    if (!first)
    {
        if (count)
            *count = 0;
        return nullptr;
    }
    return bz_ChainModelMaterialEntries(first, 1, count);
}

void bz_Lump_RelinkTree(bzLump *root)
{
    bz_Lump_CollectModelList(root, 1, nullptr, nullptr, nullptr);
}

void bz_Lump_RelinkAll(bzLump *root)
{
    bz_Lump_CollectMaterials(1, nullptr, root, nullptr, nullptr);
}

int32_t bz_Lump_ForEachMaterialSimple(bzLump *lump, bzLumpMaterialFunction fn)
{
    if (!fn)
        return 1;
    for (bzLump *l = lump; l; l = bz_Lump_NextPreOrder(l, lump))
    {
        if (bzMaterial *material = CountedOverride(l))
            if (fn(material, l) == 0)
                return 0;
        if (l->type != BZ_LUMP_TYPE_MODEL)
            continue;
        const bzModel *model = bz_Lump_GetModel(l);
        const bzModelPart *part = model ? model->part : nullptr;
        if (!part || !part->entries)
            continue;
        for (int32_t e = part->entryCount - 1; e >= 0; --e)
            if (fn(part->entries[e].material, l) == 0)
                return 0;
    }
    return 1;
}

void bz_Lump_ReplaceMaterials(bzMaterial *const *oldTable, int32_t count,
                              bzMaterial *const *newTable, bzLump *root)
{
    if (!oldTable || !newTable)
        return;
    for (bzLump *l = root; l; l = bz_Lump_NextPreOrder(l, root))
    {
        if (!CountedOverride(l))
            continue;
        for (int32_t i = 0; i < count; ++i)
            if (l->material == oldTable[i])
            {
                l->material = newTable[i];
                break;
            }
    }
}

void bz_Lump_ForEachModel(bzLump *root, bzMaterial *oldMaterial, bzMaterial *newMaterial)
{
    for (bzLump *l = root; l; l = bz_Lump_NextPreOrder(l, root))
        if (l->type == BZ_LUMP_TYPE_MODEL)
            if (bzModel *model = bz_Lump_GetModel(l))
                bz_ReplaceModelMaterial(model, newMaterial, oldMaterial);
}

int32_t bz_Lump_CollectTextures(bzLump *lump, int32_t recurse, bz_IMGMAP **images,
                                int32_t imageLimit, int32_t *imageCount, bzMaterial **materials,
                                int32_t materialLimit, int32_t *materialCount)
{
    if (!lump || !images || !imageCount || !materials || !materialCount)
        return 0;
    int32_t added = 0;
    for (bzLump *l = lump; l; l = recurse ? bz_Lump_NextPreOrder(l, lump) : nullptr)
    {
        if (l->type == BZ_LUMP_TYPE_MODEL)
            added += AddModelTextures(bz_Lump_GetModel(l), images, imageLimit, imageCount,
                                      materials, materialLimit, materialCount);
        else if (const bzParticleSystem *system = EmitterOf(l))
            added += AddImage(system->texture, images, imageLimit, imageCount);
    }
    return added;
}

int32_t bz_Lump_CollectModelTextures(bzModel *const *models, int32_t modelCount,
                                     bzMaterial **materials, int32_t materialLimit,
                                     int32_t *materialCount, bz_IMGMAP **images, int32_t imageLimit,
                                     int32_t *imageCount)
{
    if (!models || !images || !imageCount || !materials || !materialCount)
        return 0;
    int32_t added = 0;
    for (int32_t i = 0; i < modelCount && *imageCount < imageLimit; ++i)
        added += AddModelTextures(models[i], images, imageLimit, imageCount, materials,
                                  materialLimit, materialCount);
    return added;
}

int32_t bz_Lump_CollectTexturesAny(bzLump *lump, bzModel *const *models, int32_t modelCount,
                                   bz_IMGMAP **images, int32_t imageLimit, int32_t *imageCount,
                                   bzMaterial **materials, int32_t materialLimit,
                                   int32_t *materialCount)
{
    if (lump)
        return bz_Lump_CollectTextures(lump, 1, images, imageLimit, imageCount, materials,
                                       materialLimit, materialCount);
    return bz_Lump_CollectModelTextures(models, modelCount, materials, materialLimit, materialCount,
                                        images, imageLimit, imageCount);
}

bzMaterial *bz_FindLumpMaterial(bzLump *lump, const char *name)
{
    if (!lump || !name)
        return nullptr;
    return reinterpret_cast<bzMaterial *>(
        bz_Lump_ForEachMaterial(lump, MatchMaterialName, const_cast<char *>(name)));
}
