// Image files: the engine's own ".img" picture file and the pre-converted ".tdx" texture file.
//
// ".img", little-endian: "IMAGEMAP", u16 version 0x0100, u16 flags, u8 pixel kind, u8 and u16
// not read, u32 run-length data size, u16 width, u16 height (1..32767 each); then the palette
// of kinds 3 and 4 (all reds, all greens, all blues; 16 or 256 entries), the pixel data, raw
// or run-length coded, row by row from row 0, and with flag 0x0010 an extra block (u32 size,
// then the bytes). Pixels are written through the renderer's pixel slots, so the file does not
// depend on the device's texture layout.
//
// ".tdx": a 16-byte header (u16 version 0x0200, u16 width, u16 height, two back-end bytes,
// flags A, flags B, six back-end bytes) whose payload only the back end reads.
#pragma once

#include "device/ImageRecord.h"

#include <cstdint>

// Header flags of ".img" files.
enum : uint16_t
{
    BZ_IMGFILE_NO_COMPRESS = 0x0001,
    BZ_IMGFILE_RUN_LENGTH = 0x0002,
    BZ_IMGFILE_ONE_BIT_ALPHA = 0x0004,
    BZ_IMGFILE_MARK = 0x0008,
    BZ_IMGFILE_EXTRA = 0x0010,
    BZ_IMGFILE_KEEP_8BIT = 0x0020,
    BZ_IMGFILE_SINGLE_LEVEL = 0x0040,
};

// Pixel kinds of ".img" files.
enum : uint8_t
{
    BZ_IMGKIND_COLOUR = 0,
    BZ_IMGKIND_COLOUR_ALPHA = 1,
    BZ_IMGKIND_ALPHA = 2,
    BZ_IMGKIND_CLUT4 = 3,
    BZ_IMGKIND_CLUT8 = 4,
};

constexpr uint16_t BZ_IMGFILE_VERSION = 0x0100;
constexpr uint16_t BZ_TDX_VERSION = 0x0200;
constexpr int32_t BZ_IMGFILE_HEADER_SIZE = 24;
constexpr int32_t BZ_TDX_HEADER_SIZE = 16;

// Loads an ".img" file: a name holding ".img" anywhere (case-sensitive) is opened as it
// stands, any other as "%s.img". A listed image of that name is returned with one more
// reference. Null when the file is missing (no code), has a wrong magic or version (58), or
// holds a bad kind, size or short data, or the back end refuses the image (23), or the
// renderer table has no pixel slots (68); the file is closed on every path and a refused image
// is freed.
bz_IMGMAP *bz_Image_Load(const char *name);
// The same loader under the name the game's and the tools' callers use.
bz_IMGMAP *bz_LoadImgFile(const char *name);

// Writes the image as an ".img" file of the file name as given: its pixels read back through the
// renderer's pixel slots (a palette image's indices and palette), written raw with the kind of
// its format (a format of its own as colour, with alpha when it has alpha) and the header flags
// of its image and texture flags, then its extra block when it has one; loading the file gives
// the same picture. 0; 29 for a null argument, 23 for an image without size, 68 without pixel
// slots, 73 for a palette image without palette, 12 when it cannot be locked or the slot's code
// when a pixel cannot be read (no file made then), 14 without memory, 19 when the file cannot be
// made or written.
int32_t bz_Image_Save(const char *fileName, bz_IMGMAP *image);

// Opens "%s.tdx": null when missing; a version other than 0x0200 gives a 32 by 32 red and
// green checkerboard placeholder; otherwise a new image handed with the header and the open
// file to the back end's PDLoadTex2, whose result is returned (a refused image is freed).
// A short header, a bad size or an extra block past the file give null with last error 23.
bz_IMGMAP *LoadTdxTexture(const char *name);
// The image format for the device pixel format the back end recorded (Direct3D codes).
void ImgMapFormatFromDevice(bz_IMGMAP *image, const uint8_t *header);

// Run-length decoders into a locked image: units of a control byte (n = control & 0x7F; bit 7
// set: n literal values follow, else one value written n times) until the last pixel is
// written. A value is four bytes (alpha, red, green, blue), one byte (an alpha or a palette
// index), or for 4-bit palette images one byte of two indices, high nibble first, that count
// as two pixels. 0, or 23 when the data ends first.
int32_t DecodeImgRunsRGBA(const uint8_t *data, uint32_t size, bz_IMGMAP *image);
int32_t DecodeImgRuns8(const uint8_t *data, uint32_t size, bz_IMGMAP *image);
int32_t DecodeImgRuns4(const uint8_t *data, uint32_t size, bz_IMGMAP *image);
