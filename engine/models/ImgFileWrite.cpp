// The ".img" writer: the image's pixels read back through the renderer's pixel slots and written
// raw in the layout the reader takes, so that a written file loads as the same picture.
#include "core/Bytes.h"
#include "core/Error.h"
#include "core/Memory.h"
#include "device/RenderTable.h"
#include "files/File.h"
#include "models/ImgFile.h"

#include <cstring>

namespace
{
uint8_t KindOf(const bz_IMGMAP *image)
{
    switch (image->format)
    {
    case BZ_IMAGE_888: return BZ_IMGKIND_COLOUR;
    case BZ_IMAGE_8888: return BZ_IMGKIND_COLOUR_ALPHA;
    case BZ_IMAGE_ALPHA: return BZ_IMGKIND_ALPHA;
    case BZ_IMAGE_CLUT4: return BZ_IMGKIND_CLUT4;
    case BZ_IMAGE_CLUT8: return BZ_IMGKIND_CLUT8;
    default:
        return (image->flags & (BZ_IMGMAP_HAS_ALPHA | BZ_IMGMAP_ONE_BIT_ALPHA))
                   ? BZ_IMGKIND_COLOUR_ALPHA
                   : BZ_IMGKIND_COLOUR;
    }
}

uint16_t FileFlagsOf(const bz_IMGMAP *image)
{
    uint16_t flags = 0;
    if (image->flags & BZ_IMGMAP_NO_COMPRESS)
        flags |= BZ_IMGFILE_NO_COMPRESS;
    if (image->flags & BZ_IMGMAP_ONE_BIT_ALPHA)
        flags |= BZ_IMGFILE_ONE_BIT_ALPHA;
    if (image->flags & BZ_IMGMAP_MARK)
        flags |= BZ_IMGFILE_MARK;
    if (image->extraData && image->extraSize)
        flags |= BZ_IMGFILE_EXTRA;
    if (image->textureFlags & BZ_IMGTEX_KEEP_8BIT)
        flags |= BZ_IMGFILE_KEEP_8BIT;
    if (image->textureFlags & BZ_IMGTEX_SINGLE_LEVEL)
        flags |= BZ_IMGFILE_SINGLE_LEVEL;
    return flags;
}

// Reads every pixel of the locked image into data in file order: 0, or the slot's code.
int32_t ReadPixels(bz_IMGMAP *image, uint8_t kind, uint8_t *data)
{
    const PDRenderFunctionTable &t = bzgRenderTable;
    const int32_t w = image->width;
    const uint32_t pixels = static_cast<uint32_t>(w) * static_cast<uint32_t>(image->height);
    for (uint32_t n = 0; n < pixels; ++n)
    {
        const int32_t x = static_cast<int32_t>(n % static_cast<uint32_t>(w));
        const int32_t y = static_cast<int32_t>(n / static_cast<uint32_t>(w));
        int32_t code;
        if (kind == BZ_IMGKIND_COLOUR || kind == BZ_IMGKIND_COLOUR_ALPHA)
        {
            uint8_t *p = data + n * 4;
            code = t.PDGetImgMapPixel(image, x, y, p, p + 1, p + 2, p + 3);
        }
        else
        {
            uint8_t index = 0;
            code = t.PDGetImgMapPixelIndex(image, x, y, &index);
            if (kind == BZ_IMGKIND_CLUT4)
            {
                // Two indices a byte, high nibble first, packed across row ends.
                uint8_t &pair = data[n / 2];
                pair = (n & 1) ? static_cast<uint8_t>(pair | (index & 0x0F))
                               : static_cast<uint8_t>((index & 0x0F) << 4);
            }
            else
                data[n] = index;
        }
        if (code)
            return code;
    }
    return 0;
}
} // namespace

int32_t bz_Image_Save(const char *fileName, bz_IMGMAP *image)
{
    if (!fileName || !image)
        return bzgLastError = BZ_ERROR_INVALID_PARAMETER;
    if (image->width <= 0 || image->height <= 0)
        return bzgLastError = BZ_ERROR_IMGMAP_VOID;
    const PDRenderFunctionTable &t = bzgRenderTable;
    if (!t.PDLockImgMap || !t.PDUnlockImgMap || !t.PDGetImgMapPixel || !t.PDGetImgMapPixelIndex)
        return bzgLastError = BZ_ERROR_UNSUPPORTED;
    const uint8_t kind = KindOf(image);
    const uint32_t pixels =
        static_cast<uint32_t>(image->width) * static_cast<uint32_t>(image->height);
    const uint32_t bytes = kind == BZ_IMGKIND_CLUT4                               ? (pixels + 1) / 2
                           : kind == BZ_IMGKIND_ALPHA || kind == BZ_IMGKIND_CLUT8 ? pixels
                                                                                  : pixels * 4;

    // The palette planes: all reds, all greens, all blues.
    const int32_t entries = kind == BZ_IMGKIND_CLUT4 ? 16 : kind == BZ_IMGKIND_CLUT8 ? 256 : 0;
    uint8_t planes[3 * 256] = {};
    if (entries)
    {
        uint32_t palette[256] = {};
        if (!t.PDGetImgMapPalette || t.PDGetImgMapPalette(image, palette, entries) != 0)
            return bzgLastError = BZ_ERROR_PALETTE_NOT_FOUND;
        for (int32_t i = 0; i < entries; ++i)
        {
            planes[i] = static_cast<uint8_t>(palette[i] >> 16);
            planes[entries + i] = static_cast<uint8_t>(palette[i] >> 8);
            planes[2 * entries + i] = static_cast<uint8_t>(palette[i]);
        }
    }

    // Every pixel is read before the file is made, so a picture that cannot be read leaves no
    // file behind.
    auto *data = static_cast<uint8_t *>(bz_MemAlloc(bytes, BZ_MEM_CLEAR));
    if (!data)
        return bzgLastError = BZ_ERROR_NO_MEMORY;
    if (t.PDLockImgMap(image, BZ_LOCK_READ) != 0)
    {
        bz_MemFree(data);
        return bzgLastError = BZ_ERROR_IMGMAP_NO_PIXELS;
    }
    const int32_t read = ReadPixels(image, kind, data);
    t.PDUnlockImgMap(image);
    if (read)
    {
        bz_MemFree(data);
        return bzgLastError = read;
    }

    uint8_t header[BZ_IMGFILE_HEADER_SIZE] = {};
    std::memcpy(header, "IMAGEMAP", 8);
    const uint16_t flags = FileFlagsOf(image);
    bz_PutU16LE(header + 8, BZ_IMGFILE_VERSION);
    bz_PutU16LE(header + 10, flags);
    header[12] = kind;
    bz_PutU32LE(header + 16, bytes);
    bz_PutU16LE(header + 20, static_cast<uint32_t>(image->width));
    bz_PutU16LE(header + 22, static_cast<uint32_t>(image->height));

    bzFileHandle *file = bz_FileOpen(fileName, "wb");
    if (!file)
    {
        bz_MemFree(data);
        return bzgLastError = BZ_ERROR_FILE_NOT_FOUND;
    }
    bool ok = bz_FileWrite(file, header, sizeof header) == sizeof header;
    const size_t paletteBytes = static_cast<size_t>(entries) * 3;
    if (ok && paletteBytes)
        ok = bz_FileWrite(file, planes, paletteBytes) == paletteBytes;
    if (ok)
        ok = bz_FileWrite(file, data, bytes) == bytes;
    if (ok && (flags & BZ_IMGFILE_EXTRA))
    {
        uint8_t size[4];
        bz_PutU32LE(size, image->extraSize);
        ok = bz_FileWrite(file, size, 4) == 4 &&
             bz_FileWrite(file, image->extraData, image->extraSize) == image->extraSize;
    }
    bz_MemFree(data);
    if (bz_FileClose(file) != 0)
        ok = false;
    return ok ? 0 : (bzgLastError = BZ_ERROR_FILE_NOT_FOUND);
}
