// The image map record: the engine's one record for a picture (a material layer's texture, a
// font's glyph sheet, a HUD picture). The asset layer owns it and fills its size, format,
// flags and name; the renderer back ends keep their pixels, palette and texture handles in the
// fields marked "back end" and reach it only through the renderer function table.
#pragma once

#include <cstdint>

// Pixel-format codes (BZ_IMAGE).
enum : uint8_t
{
    BZ_IMAGE_888 = 1,
    BZ_IMAGE_565 = 2,
    BZ_IMAGE_4444 = 3,
    BZ_IMAGE_8888 = 4,
    BZ_IMAGE_1555 = 5,
    BZ_IMAGE_332 = 6,
    BZ_IMAGE_BUMPMAP = 7,
    BZ_IMAGE_NORMALMAP = 8,
    BZ_IMAGE_CUBEMAP = 9,
    BZ_IMAGE_CLUT4 = 10,
    BZ_IMAGE_CLUT8 = 11,
    BZ_IMAGE_ALPHA = 12,
    BZ_IMAGE_INVALID = 13, // also what a compressed device texture reports
};

// Image flags.
enum : uint8_t
{
    BZ_IMGMAP_TEXTURE = 0x01,       // the back end holds a texture for this image
    BZ_IMGMAP_LOCKED = 0x02,        // pixel access is open
    BZ_IMGMAP_ONE_BIT_ALPHA = 0x04, // colour-keyed alpha
    BZ_IMGMAP_HAS_ALPHA = 0x08,     // materials drawing it are blended
    BZ_IMGMAP_COMPRESSED = 0x10,    // the back end chose a compressed device format
    BZ_IMGMAP_NO_COMPRESS = 0x40,
    BZ_IMGMAP_MARK = 0x80, // carried from creation and files, never tested
};

// Texture flags.
enum : uint8_t
{
    BZ_IMGTEX_PLACEHOLDER = 0x01,  // made in place of a texture file of another version
    BZ_IMGTEX_KEEP_8BIT = 0x02,    // keep eight bits per channel in the texture
    BZ_IMGTEX_PRECONVERTED = 0x04, // made from a pre-converted texture file
    BZ_IMGTEX_SINGLE_LEVEL = 0x08, // no mip-maps
};

// Pixel-access modes of the lock slot.
enum : int32_t
{
    BZ_LOCK_READ = 1,
    BZ_LOCK_WRITE = 2,
};

struct bz_IMGMAP
{
    int16_t width;
    int16_t height;
    uint8_t format;       // BZ_IMAGE code
    uint8_t mipLevels;    // set by the back end with the texture
    uint8_t flags;        // BZ_IMGMAP_*
    uint8_t textureFlags; // BZ_IMGTEX_*
    uint32_t nameHash;    // bz_HashString of name; 0xFFFFFFFF without a name
    char *name;           // owned; the given name without its extension, or null
    int32_t refCount;
    uint16_t pitch;         // back end: bytes per row
    uint16_t bytesPerPixel; // back end
    uint8_t *pixels;        // back end: the pixels while locked or before the texture is made
    uint8_t *extraData;     // owned: the extra block of an image file, or null
    uint32_t extraSize;
    uint32_t deviceFormat; // back end: the device's pixel-format code
    void *texture;         // back end: texture handle
    void *surface;         // back end: surface handle
    uint32_t *palette;     // back end: 0x00RRGGBB entries of a palette image
    uint32_t textureName;  // back end: texture name of a GL-style back end
    uint32_t *paletteCopy; // back end: its own palette copy
    bz_IMGMAP *prev;       // the first record's prev is the last record
    bz_IMGMAP *next;
};
