// Image maps: the global list of pictures shared by name with reference counts, loaded on
// demand from the image folder (a pre-converted ".tdx" texture file first, then an ".img"
// image file), created empty for procedural fills, and halved when a scene holds too many
// pixels. Everything device-specific goes through the renderer function table.
#pragma once

#include "device/ImageRecord.h"

#include <cstdint>

constexpr int32_t BZ_IMGMAP_FOLDER_SIZE = 512;

// Creation options of bz_CreateImgMap.
enum : uint32_t
{
    BZ_IMGMAP_MAKE_TEXTURE = 0x01,
    BZ_IMGMAP_OPT_SINGLE_LEVEL = 0x02,
    BZ_IMGMAP_OPT_NO_COMPRESS = 0x04,
    BZ_IMGMAP_OPT_MARK = 0x08,
};

// Returns non-zero when it supplied the result (which may be null) for the name.
typedef int32_t (*bzImgMapPreLoadHook)(const char **name, bz_IMGMAP **result);
typedef bz_IMGMAP *(*bzImgMapMissingHook)(const char *name);
typedef void (*bzImgMapLoadedHook)(bz_IMGMAP *image, const char *name);

extern bz_IMGMAP *bzgImage_list;
extern int32_t bzgImage_count;
extern int32_t bzgImage_libraryOpen;
extern char bzgImage_folder[BZ_IMGMAP_FOLDER_SIZE]; // empty, or a path ending in a backslash
extern int32_t bzgImage_skipTdx;                    // set: bz_GetImgMap does not try ".tdx" files
extern bzImgMapPreLoadHook bzgImage_preLoadHook;
extern bzImgMapMissingHook bzgImage_missingHook;
extern bzImgMapLoadedHook bzgImage_loadedHook;

void bz_OpenImgMapLibrary();
int32_t bz_CloseImgMapLibrary();
// Debug lines naming every image map still in the list; frees nothing.
void bz_CheckImgMapsReleased();
// Copies the current folder into old (512 bytes) when given; a null or empty folder empties
// it, any other is stored with a backslash appended unless it ends in one.
void bz_SetImgMapFolder(char *old, const char *folder);

// A zeroed, counted, listed record with one reference; the caller fills size and format.
// Null with last error 14 when memory runs out.
bz_IMGMAP *bz_AllocImgMap(const char *name);
// A new image map with the back end's pixels (and its texture with BZ_IMGMAP_MAKE_TEXTURE), or
// null when the back end refuses it. Format code 14 forces the options 0x03.
bz_IMGMAP *bz_CreateImgMap(const char *name, uint8_t format, int16_t width, int16_t height,
                           uint32_t options);
// The named image map with one more reference: from the list (folder path first), else
// loaded, else from the missing hook; null when nothing supplied it.
bz_IMGMAP *bz_GetImgMap(const char *name);
// The first listed image map of that name (hash, then the name ignoring case); no reference.
bz_IMGMAP *bz_FindImgMap(const char *name);
bz_IMGMAP *bz_AddRefImgMap(bz_IMGMAP *image);
// Drops one reference; at 0 or below frees the texture, name, extra data and record.
void bz_ReleaseImgMap(bz_IMGMAP *image);
void bz_RenameImgMap(bz_IMGMAP *image, const char *name);
void bz_EnsureImgMapTexture(bz_IMGMAP *image);
// Halves the image (each side at most 256 after) by sampling; the image, or null when it is
// smaller than 2 by 2 (last error 29), cannot be locked or its texture cannot be remade.
bz_IMGMAP *bz_HalveImgMap(bz_IMGMAP *image);
uint32_t bz_GetImgMapMemory();
const char *bz_ImageFormatName(uint8_t format);
bzImgMapLoadedHook bz_SetImgMapLoadedHook(bzImgMapLoadedHook hook);
void bz_LinkImgMap(bz_IMGMAP *image);
void bz_UnlinkImgMap(bz_IMGMAP *image);
