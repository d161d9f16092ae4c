#include "models/ImgMap.h"

#include "core/Error.h"
#include "core/Memory.h"
#include "core/NameHash.h"
#include "core/Strings.h"
#include "device/RenderTable.h"
#include "files/DebugOutput.h"
#include "files/File.h"
#include "models/ImgFile.h"

#include <cstdio>
#include <cstring>

bz_IMGMAP *bzgImage_list;
int32_t bzgImage_count;
int32_t bzgImage_libraryOpen;
char bzgImage_folder[BZ_IMGMAP_FOLDER_SIZE];
int32_t bzgImage_skipTdx;
bzImgMapPreLoadHook bzgImage_preLoadHook;
bzImgMapMissingHook bzgImage_missingHook;
bzImgMapLoadedHook bzgImage_loadedHook;

namespace
{
char gFolderPath[BZ_IMGMAP_FOLDER_SIZE];

constexpr int32_t kFormatTexture = 14; // forces a single-level texture made at once
constexpr int32_t kMaxHalvedSide = 256;

void SetImgMapName(bz_IMGMAP *image, const char *name)
{
    image->name = nullptr;
    image->nameHash = 0xFFFFFFFFu;
    if (!name)
        return;
    const char *dot = std::strrchr(name, '.');
    const size_t length = dot ? static_cast<size_t>(dot - name) : std::strlen(name);
    char *copy = static_cast<char *>(bz_MemAlloc(static_cast<uint32_t>(length + 1), 0));
    if (!copy)
        return;
    std::memcpy(copy, name, length);
    copy[length] = 0;
    image->name = copy;
    image->nameHash = bz_HashString(copy);
}

// The image folder followed by the part of name behind its last backslash; null when the
// folder is empty or the path does not fit.
const char *ImgMapFolderPath(const char *name)
{
    if (!bzgImage_folder[0])
        return nullptr;
    const char *slash = std::strrchr(name, '\\');
    const char *file = slash ? slash + 1 : name;
    const int written =
        std::snprintf(gFolderPath, sizeof gFolderPath, "%s%s", bzgImage_folder, file);
    if (written < 0 || written >= static_cast<int>(sizeof gFolderPath))
        return nullptr;
    return gFolderPath;
}

uint32_t PixelBytes(const bz_IMGMAP *image)
{
    const uint32_t pixels = static_cast<uint32_t>(image->width > 0 ? image->width : 0) *
                            static_cast<uint32_t>(image->height > 0 ? image->height : 0);
    switch (image->format)
    {
    case BZ_IMAGE_888: return pixels * 3;
    case BZ_IMAGE_8888:
    case BZ_IMAGE_BUMPMAP:
    case BZ_IMAGE_NORMALMAP:
    case BZ_IMAGE_CUBEMAP: return pixels * 4;
    case BZ_IMAGE_565:
    case BZ_IMAGE_4444:
    case BZ_IMAGE_1555: return pixels * 2;
    case BZ_IMAGE_CLUT4: return pixels / 2;
    case BZ_IMAGE_332:
    case BZ_IMAGE_CLUT8:
    case BZ_IMAGE_ALPHA: return pixels;
    default: return 0;
    }
}
} // namespace

void bz_OpenImgMapLibrary()
{
    bzgImage_libraryOpen = 1;
    std::memset(bzgImage_folder, 0, sizeof bzgImage_folder);
    if (bzgRenderTable.PDInitImageResources)
        bzgRenderTable.PDInitImageResources();
}

int32_t bz_CloseImgMapLibrary()
{
    if (bzgRenderTable.PDReleaseImageResources)
        bzgRenderTable.PDReleaseImageResources();
    bzgImage_libraryOpen = 0;
    bzgImage_count = 0;
    return 0;
}

void bz_CheckImgMapsReleased()
{
    if (!bzgImage_libraryOpen)
    {
        bz_DebugPrint("ImageMaps::Image map library not open.");
        return;
    }
    if (!bzgImage_list)
        return;
    bz_DebugPrint("ImageMaps::Not all image maps were deleted. bzgImage_count == %d",
                  bzgImage_count);
    for (bz_IMGMAP *image = bzgImage_list; image; image = image->next)
    {
        if (image->name)
            bz_DebugPrint("Image map not deleted, name[%s].", image->name);
        else
            bz_DebugPrint("Image map not deleted, there was no name availble.");
    }
    bz_DebugPrint("\n");
}

void bz_SetImgMapFolder(char *old, const char *folder)
{
    if (old)
        std::memcpy(old, bzgImage_folder, sizeof bzgImage_folder);
    if (!folder || !folder[0])
    {
        bzgImage_folder[0] = 0;
        return;
    }
    std::snprintf(bzgImage_folder, sizeof bzgImage_folder - 1, "%s", folder);
    bz_AppendBackslash(bzgImage_folder);
}

void bz_LinkImgMap(bz_IMGMAP *image)
{
    if (!image)
        return;
    image->next = nullptr;
    if (!bzgImage_list)
    {
        image->prev = image;
        bzgImage_list = image;
        return;
    }
    bz_IMGMAP *last = bzgImage_list->prev;
    last->next = image;
    image->prev = last;
    bzgImage_list->prev = image;
}

void bz_UnlinkImgMap(bz_IMGMAP *image)
{
    if (!image || !image->prev)
        return;
    if (image == bzgImage_list)
    {
        bzgImage_list = image->next;
        if (bzgImage_list)
            bzgImage_list->prev = image->prev;
    }
    else
    {
        image->prev->next = image->next;
        if (image->next)
            image->next->prev = image->prev;
        else
            bzgImage_list->prev = image->prev;
    }
    image->prev = nullptr;
    image->next = nullptr;
}

bz_IMGMAP *bz_AllocImgMap(const char *name)
{
    auto *image = static_cast<bz_IMGMAP *>(bz_MemAlloc(sizeof(bz_IMGMAP), BZ_MEM_CLEAR));
    if (!image)
    {
        bzgLastError = BZ_ERROR_NO_MEMORY;
        return nullptr;
    }
    ++bzgImage_count;
    SetImgMapName(image, name);
    bz_LinkImgMap(image);
    image->refCount = 1;
    return image;
}

bz_IMGMAP *bz_CreateImgMap(const char *name, uint8_t format, int16_t width, int16_t height,
                           uint32_t options)
{
    if (format == kFormatTexture)
        options = BZ_IMGMAP_MAKE_TEXTURE | BZ_IMGMAP_OPT_SINGLE_LEVEL;
    bz_IMGMAP *image = bz_AllocImgMap(name);
    if (!image)
        return nullptr;
    if (options & BZ_IMGMAP_OPT_SINGLE_LEVEL)
        image->textureFlags |= BZ_IMGTEX_SINGLE_LEVEL;
    if (options & BZ_IMGMAP_OPT_NO_COMPRESS)
        image->flags |= BZ_IMGMAP_NO_COMPRESS;
    if (options & BZ_IMGMAP_OPT_MARK)
        image->flags |= BZ_IMGMAP_MARK;
    image->width = width;
    image->height = height;
    image->format = format;
    if (format == BZ_IMAGE_1555)
        image->flags |= BZ_IMGMAP_ONE_BIT_ALPHA;
    if (format == BZ_IMAGE_4444 || format == BZ_IMAGE_8888 || format == BZ_IMAGE_ALPHA)
        image->flags |= BZ_IMGMAP_HAS_ALPHA;
    if (options & BZ_IMGMAP_MAKE_TEXTURE)
        image->flags |= BZ_IMGMAP_TEXTURE;
    if (bzgRenderTable.PDUpdateImgMapTexture && bzgRenderTable.PDUpdateImgMapTexture(image) != 0)
    {
        bz_ReleaseImgMap(image);
        return nullptr;
    }
    return image;
}

bz_IMGMAP *bz_FindImgMap(const char *name)
{
    if (!name)
        return nullptr;
    const uint32_t hash = bz_HashString(name);
    for (bz_IMGMAP *image = bzgImage_list; image; image = image->next)
        if (image->nameHash == hash && image->name && bz_StrCompareNoCase(image->name, name) == 0)
            return image;
    return nullptr;
}

bz_IMGMAP *bz_GetImgMap(const char *name)
{
    if (!name)
        return nullptr;
    if (bzgImage_preLoadHook)
    {
        bz_IMGMAP *result = nullptr;
        if (bzgImage_preLoadHook(&name, &result))
            return result;
        if (!name)
            return nullptr;
    }
    char folderPath[BZ_IMGMAP_FOLDER_SIZE];
    const char *inFolder = ImgMapFolderPath(name);
    if (inFolder)
    {
        std::memcpy(folderPath, inFolder, std::strlen(inFolder) + 1);
        inFolder = folderPath;
    }

    bz_IMGMAP *found = inFolder ? bz_FindImgMap(inFolder) : nullptr;
    if (!found)
        found = bz_FindImgMap(name);
    if (found)
        return bz_AddRefImgMap(found);

    bz_IMGMAP *result = nullptr;
    if (!bzgImage_skipTdx)
    {
        if (inFolder)
            result = LoadTdxTexture(inFolder);
        if (!result)
            result = LoadTdxTexture(name);
    }
    if (!result)
    {
        if (inFolder)
            result = bz_Image_Load(inFolder);
        if (!result)
            result = bz_Image_Load(name);
        if (result && !(result->flags & BZ_IMGMAP_TEXTURE) && bzgRenderTable.PDMakeImgMapATexture)
            bzgRenderTable.PDMakeImgMapATexture(result);
    }
    if (!result && bzgImage_missingHook)
        result = bzgImage_missingHook(name);
    if (bzgImage_loadedHook)
        bzgImage_loadedHook(result, name);
    return result;
}

bz_IMGMAP *bz_AddRefImgMap(bz_IMGMAP *image)
{
    if (image)
        ++image->refCount;
    return image;
}

void bz_ReleaseImgMap(bz_IMGMAP *image)
{
    if (!image)
        return;
    if (--image->refCount > 0)
        return;
    if (bzgRenderTable.PDFreeImgMapTexture)
        bzgRenderTable.PDFreeImgMapTexture(image);
    bz_MemFree(image->name);
    image->name = nullptr;
    bz_MemFree(image->extraData);
    image->extraData = nullptr;
    image->extraSize = 0;
    bz_UnlinkImgMap(image);
    --bzgImage_count;
    bz_MemFree(image);
}

void bz_RenameImgMap(bz_IMGMAP *image, const char *name)
{
    if (!image)
        return;
    bz_MemFree(image->name);
    SetImgMapName(image, name);
}

void bz_EnsureImgMapTexture(bz_IMGMAP *image)
{
    if (image && !(image->flags & BZ_IMGMAP_TEXTURE) && bzgRenderTable.PDMakeImgMapATexture)
        bzgRenderTable.PDMakeImgMapATexture(image);
}

bz_IMGMAP *bz_HalveImgMap(bz_IMGMAP *image)
{
    if (!image || image->width < 2 || image->height < 2)
    {
        bzgLastError = BZ_ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    const PDRenderFunctionTable &t = bzgRenderTable;
    if (!t.PDLockImgMap || !t.PDGetImgMapPixel || !t.PDUnlockImgMap || !t.PDPutImgMapPixel)
    {
        bzgLastError = BZ_ERROR_UNSUPPORTED;
        return nullptr;
    }
    int32_t newWidth = image->width / 2;
    int32_t newHeight = image->height / 2;
    if (newWidth > kMaxHalvedSide)
        newWidth = kMaxHalvedSide;
    if (newHeight > kMaxHalvedSide)
        newHeight = kMaxHalvedSide;
    const int32_t sx = image->width / newWidth;
    const int32_t sy = image->height / newHeight;
    auto *buffer = static_cast<uint8_t *>(
        bz_MemAlloc(static_cast<uint32_t>(newWidth * newHeight * 4), BZ_MEM_CLEAR));
    if (!buffer)
    {
        bzgLastError = BZ_ERROR_NO_MEMORY;
        return nullptr;
    }
    if (int32_t code = t.PDLockImgMap(image, BZ_LOCK_READ))
    {
        bz_MemFree(buffer);
        bzgLastError = code;
        return nullptr;
    }
    for (int32_t y = 0; y < newHeight; ++y)
        for (int32_t x = 0; x < newWidth; ++x)
        {
            uint8_t *p = buffer + (y * newWidth + x) * 4;
            t.PDGetImgMapPixel(image, x * sx, y * sy, &p[0], &p[1], &p[2], &p[3]);
        }
    t.PDUnlockImgMap(image);

    const uint8_t hadTexture = image->flags & BZ_IMGMAP_TEXTURE;
    if (t.PDFreeImgMapTexture)
        t.PDFreeImgMapTexture(image);
    image->flags |= hadTexture;
    image->width = static_cast<int16_t>(newWidth);
    image->height = static_cast<int16_t>(newHeight);
    if (t.PDUpdateImgMapTexture)
        if (int32_t code = t.PDUpdateImgMapTexture(image))
        {
            image->flags &= static_cast<uint8_t>(~BZ_IMGMAP_TEXTURE);
            bz_MemFree(buffer);
            bzgLastError = code;
            return nullptr;
        }
    if (int32_t code = t.PDLockImgMap(image, BZ_LOCK_WRITE))
    {
        bz_MemFree(buffer);
        bzgLastError = code;
        return nullptr;
    }
    for (int32_t y = 0; y < newHeight; ++y)
        for (int32_t x = 0; x < newWidth; ++x)
        {
            const uint8_t *p = buffer + (y * newWidth + x) * 4;
            t.PDPutImgMapPixel(image, x, y, p[0], p[1], p[2], p[3]);
        }
    t.PDUnlockImgMap(image);
    bz_MemFree(buffer);
    return image;
}

uint32_t bz_GetImgMapMemory()
{
    uint32_t total = 0;
    for (const bz_IMGMAP *image = bzgImage_list; image; image = image->next)
        total += PixelBytes(image);
    return total;
}

const char *bz_ImageFormatName(uint8_t format)
{
    static const char *const names[] = {
        "BZ_IMAGE_888",     "BZ_IMAGE_565",   "BZ_IMAGE_4444",    "BZ_IMAGE_8888",
        "BZ_IMAGE_1555",    "BZ_IMAGE_332",   "BZ_IMAGE_BUMPMAP", "BZ_IMAGE_NORMALMAP",
        "BZ_IMAGE_CUBEMAP", "BZ_IMAGE_CLUT4", "BZ_IMAGE_CLUT8",   "BZ_IMAGE_ALPHA",
    };
    if (format < 1 || format > 12)
        return "BZ_IMAGE_INVALID";
    return names[format - 1];
}

bzImgMapLoadedHook bz_SetImgMapLoadedHook(bzImgMapLoadedHook hook)
{
    bzImgMapLoadedHook previous = bzgImage_loadedHook;
    bzgImage_loadedHook = hook;
    return previous;
}
