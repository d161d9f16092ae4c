#include "models/ImgFile.h"

#include "core/Bytes.h"
#include "core/Error.h"
#include "core/Memory.h"
#include "device/RenderTable.h"
#include "files/File.h"
#include "models/ImgFill.h"
#include "models/ImgMap.h"

#include <cstdio>
#include <cstring>

namespace
{
constexpr int32_t kMaxSide = 32767;

// Direct3D pixel-format codes a back end records in the device format.
enum : uint32_t
{
    kD3dR8G8B8 = 20,
    kD3dA8R8G8B8 = 21,
    kD3dX8R8G8B8 = 22,
    kD3dR5G6B5 = 23,
    kD3dX1R5G5B5 = 24,
    kD3dA1R5G5B5 = 25,
    kD3dA8 = 28,
    kD3dP8 = 41,
};

constexpr uint32_t FourCC(char a, char b, char c, char d)
{
    return static_cast<uint32_t>(static_cast<uint8_t>(a)) |
           static_cast<uint32_t>(static_cast<uint8_t>(b)) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(c)) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(d)) << 24;
}

// Writes decoded values to the image's pixels in file order.
struct PixelSink
{
    bz_IMGMAP *image;
    uint32_t total;
    uint32_t next;

    bool Done() const { return next >= total; }
    void Colour(const uint8_t *argb)
    {
        if (Done())
            return;
        const int32_t w = image->width;
        bzgRenderTable.PDPutImgMapPixel(image, static_cast<int32_t>(next % w),
                                        static_cast<int32_t>(next / w), argb[0], argb[1], argb[2],
                                        argb[3]);
        ++next;
    }
    void Index(uint8_t index)
    {
        if (Done())
            return;
        const int32_t w = image->width;
        bzgRenderTable.PDPutImgMapPixelIndex(image, static_cast<int32_t>(next % w),
                                             static_cast<int32_t>(next / w), index);
        ++next;
    }
    // A byte of two 4-bit indices, high nibble first.
    void Pair(uint8_t pair)
    {
        Index(static_cast<uint8_t>(pair >> 4));
        Index(static_cast<uint8_t>(pair & 0x0F));
    }
};

// One decoder for every value size: Value(sink, pointer) writes one value.
template <uint32_t ValueSize, class Write>
int32_t DecodeRuns(const uint8_t *data, uint32_t size, bz_IMGMAP *image, Write write)
{
    if (!image || (!data && size))
        return BZ_ERROR_IMGMAP_VOID;
    PixelSink sink{image,
                   static_cast<uint32_t>(image->width) * static_cast<uint32_t>(image->height), 0};
    uint32_t at = 0;
    while (!sink.Done())
    {
        if (at >= size)
            return BZ_ERROR_IMGMAP_VOID;
        const uint8_t control = data[at++];
        const uint32_t n = control & 0x7Fu;
        if (control & 0x80)
        {
            if (size - at < n * ValueSize)
                return BZ_ERROR_IMGMAP_VOID;
            for (uint32_t i = 0; i < n; ++i)
                write(sink, data + at + i * ValueSize);
            at += n * ValueSize;
        }
        else
        {
            if (size - at < ValueSize)
                return BZ_ERROR_IMGMAP_VOID;
            for (uint32_t i = 0; i < n && !sink.Done(); ++i)
                write(sink, data + at);
            at += ValueSize;
        }
    }
    return 0;
}

void WriteColour(PixelSink &sink, const uint8_t *p)
{
    sink.Colour(p);
}

void WriteIndex(PixelSink &sink, const uint8_t *p)
{
    sink.Index(*p);
}

void WritePair(PixelSink &sink, const uint8_t *p)
{
    sink.Pair(*p);
}

// Raw pixel data of the kind: exactly the bytes the image needs.
void DecodeRaw(uint8_t kind, const uint8_t *data, bz_IMGMAP *image)
{
    PixelSink sink{image,
                   static_cast<uint32_t>(image->width) * static_cast<uint32_t>(image->height), 0};
    for (uint32_t at = 0; !sink.Done(); ++at)
    {
        switch (kind)
        {
        case BZ_IMGKIND_COLOUR:
        case BZ_IMGKIND_COLOUR_ALPHA: sink.Colour(data + at * 4); break;
        case BZ_IMGKIND_CLUT4: sink.Pair(data[at]); break;
        default: sink.Index(data[at]); break;
        }
    }
}

uint64_t RawBytes(uint8_t kind, uint64_t pixels)
{
    switch (kind)
    {
    case BZ_IMGKIND_CLUT4: return (pixels + 1) / 2;
    case BZ_IMGKIND_ALPHA:
    case BZ_IMGKIND_CLUT8: return pixels;
    default: return pixels * 4;
    }
}

bool TableCanWrite()
{
    const PDRenderFunctionTable &t = bzgRenderTable;
    return t.PDLockImgMap && t.PDUnlockImgMap && t.PDPutImgMapPixel && t.PDPutImgMapPixelIndex;
}

// Reads the extra block (u32 size, then the bytes) into the image; 0 or 23 when it runs past
// the file, 14 without memory.
int32_t ReadExtraBlock(bzFileHandle *file, bz_IMGMAP *image)
{
    uint8_t word[4];
    if (bz_FileRead(file, word, 4) != 4)
        return BZ_ERROR_IMGMAP_VOID;
    const uint32_t size = bz_GetU32LE(word);
    const int32_t left = bz_FileLength(file) - bz_FileTell(file);
    if (left < 0 || size > static_cast<uint32_t>(left))
        return BZ_ERROR_IMGMAP_VOID;
    if (size == 0)
        return 0;
    auto *block = static_cast<uint8_t *>(bz_MemAlloc(size, 0));
    if (!block)
        return BZ_ERROR_NO_MEMORY;
    if (bz_FileRead(file, block, size) != size)
    {
        bz_MemFree(block);
        return BZ_ERROR_IMGMAP_VOID;
    }
    bz_MemFree(image->extraData);
    image->extraData = block;
    image->extraSize = size;
    return 0;
}

// Ends a failed load: the image is released, the file closed, the code left as last error.
bz_IMGMAP *Fail(bzFileHandle *file, bz_IMGMAP *image, int32_t code)
{
    if (image)
    {
        if ((image->flags & BZ_IMGMAP_LOCKED) && bzgRenderTable.PDUnlockImgMap)
            bzgRenderTable.PDUnlockImgMap(image);
        bz_ReleaseImgMap(image);
    }
    if (file)
        bz_FileClose(file);
    if (code)
        bzgLastError = code;
    return nullptr;
}

// The ".img" reader on an open file.
bz_IMGMAP *ReadImg(bzFileHandle *file, const char *name)
{
    uint8_t header[BZ_IMGFILE_HEADER_SIZE];
    const int32_t length = bz_FileLength(file);
    if (length < 10 || bz_FileRead(file, header, 10) != 10 ||
        std::memcmp(header, "IMAGEMAP", 8) != 0 || bz_GetU16LE(header + 8) != BZ_IMGFILE_VERSION)
        return Fail(file, nullptr, BZ_ERROR_OUTDATED_VERSION);
    if (bz_FileRead(file, header + 10, BZ_IMGFILE_HEADER_SIZE - 10) != BZ_IMGFILE_HEADER_SIZE - 10)
        return Fail(file, nullptr, BZ_ERROR_IMGMAP_VOID);
    const uint16_t flags = bz_GetU16LE(header + 10);
    const uint8_t kind = header[12];
    const uint32_t dataSize = bz_GetU32LE(header + 16);
    const uint32_t width = bz_GetU16LE(header + 20);
    const uint32_t height = bz_GetU16LE(header + 22);
    const uint64_t pixels = static_cast<uint64_t>(width) * height;
    if (kind > BZ_IMGKIND_CLUT8 || width == 0 || height == 0 || width > kMaxSide ||
        height > kMaxSide || dataSize > pixels * 4)
        return Fail(file, nullptr, BZ_ERROR_IMGMAP_VOID);
    if (!TableCanWrite())
        return Fail(file, nullptr, BZ_ERROR_UNSUPPORTED);
    // The palette and the pixel data must fit in the file before anything is made for them.
    const bool runLength = (flags & BZ_IMGFILE_RUN_LENGTH) != 0;
    const uint64_t bytes = runLength ? dataSize : RawBytes(kind, pixels);
    const uint64_t paletteBytes = kind == BZ_IMGKIND_CLUT4   ? 48
                                  : kind == BZ_IMGKIND_CLUT8 ? 768
                                                             : 0;
    if (paletteBytes + bytes > static_cast<uint64_t>(length - BZ_IMGFILE_HEADER_SIZE))
        return Fail(file, nullptr, BZ_ERROR_IMGMAP_VOID);

    static const uint8_t formats[] = {BZ_IMAGE_888, BZ_IMAGE_8888, BZ_IMAGE_ALPHA, BZ_IMAGE_CLUT4,
                                      BZ_IMAGE_CLUT8};
    bz_IMGMAP *image = bz_AllocImgMap(name);
    if (!image)
        return Fail(file, nullptr, BZ_ERROR_NO_MEMORY);
    image->width = static_cast<int16_t>(width);
    image->height = static_cast<int16_t>(height);
    image->format = formats[kind];
    const bool alphaKind = kind == BZ_IMGKIND_COLOUR_ALPHA || kind == BZ_IMGKIND_ALPHA;
    if (alphaKind)
        image->flags |= BZ_IMGMAP_HAS_ALPHA;
    if (bzgRenderTable.PDUpdateImgMapTexture && bzgRenderTable.PDUpdateImgMapTexture(image) != 0)
        return Fail(file, image, BZ_ERROR_IMGMAP_VOID);

    if (flags & BZ_IMGFILE_ONE_BIT_ALPHA)
        image->flags |= BZ_IMGMAP_ONE_BIT_ALPHA;
    else
    {
        image->flags &= static_cast<uint8_t>(~BZ_IMGMAP_ONE_BIT_ALPHA);
        if (alphaKind)
            image->flags |= BZ_IMGMAP_HAS_ALPHA;
        else
            image->flags &= static_cast<uint8_t>(~BZ_IMGMAP_HAS_ALPHA);
    }
    if (flags & BZ_IMGFILE_NO_COMPRESS)
        image->flags |= BZ_IMGMAP_NO_COMPRESS;
    if (flags & BZ_IMGFILE_MARK)
        image->flags |= BZ_IMGMAP_MARK;
    if (flags & BZ_IMGFILE_KEEP_8BIT)
        image->textureFlags |= BZ_IMGTEX_KEEP_8BIT;
    if (flags & BZ_IMGFILE_SINGLE_LEVEL)
        image->textureFlags |= BZ_IMGTEX_SINGLE_LEVEL;

    if (kind == BZ_IMGKIND_CLUT4 || kind == BZ_IMGKIND_CLUT8)
    {
        const int32_t entries = kind == BZ_IMGKIND_CLUT4 ? 16 : 256;
        uint8_t planes[3 * 256];
        if (bz_FileRead(file, planes, static_cast<size_t>(entries) * 3) !=
            static_cast<size_t>(entries) * 3)
            return Fail(file, image, BZ_ERROR_IMGMAP_VOID);
        uint32_t palette[256];
        for (int32_t i = 0; i < entries; ++i)
            palette[i] = static_cast<uint32_t>(planes[i]) << 16 |
                         static_cast<uint32_t>(planes[entries + i]) << 8 | planes[2 * entries + i];
        if (bzgRenderTable.PDSetImgMapPalette)
            bzgRenderTable.PDSetImgMapPalette(image, palette, entries);
    }

    if (bzgRenderTable.PDLockImgMap(image, BZ_LOCK_WRITE) != 0)
    {
        bz_FileClose(file);
        return image;
    }
    auto *data = static_cast<uint8_t *>(bz_MemAlloc(static_cast<uint32_t>(bytes ? bytes : 1), 0));
    if (!data)
        return Fail(file, image, BZ_ERROR_NO_MEMORY);
    int32_t code = 0;
    if (bytes && bz_FileRead(file, data, static_cast<size_t>(bytes)) != bytes)
        code = BZ_ERROR_IMGMAP_VOID;
    else if (!runLength)
        DecodeRaw(kind, data, image);
    else if (kind == BZ_IMGKIND_COLOUR || kind == BZ_IMGKIND_COLOUR_ALPHA)
        code = DecodeImgRunsRGBA(data, static_cast<uint32_t>(bytes), image);
    else if (kind == BZ_IMGKIND_CLUT4)
        code = DecodeImgRuns4(data, static_cast<uint32_t>(bytes), image);
    else
        code = DecodeImgRuns8(data, static_cast<uint32_t>(bytes), image);
    bz_MemFree(data);
    if (code)
        return Fail(file, image, code);
    bzgRenderTable.PDUnlockImgMap(image);

    if (flags & BZ_IMGFILE_EXTRA)
        if (int32_t extra = ReadExtraBlock(file, image))
            return Fail(file, image, extra);
    bz_FileClose(file);
    return image;
}

// The visible stand-in for a texture file of another version.
bz_IMGMAP *MakeTdxPlaceholder(const char *name)
{
    bz_IMGMAP *image = bz_AllocImgMap(name);
    if (!image)
        return nullptr;
    image->width = 32;
    image->height = 32;
    image->format = BZ_IMAGE_565;
    image->flags = BZ_IMGMAP_TEXTURE | BZ_IMGMAP_NO_COMPRESS;
    if (bzgRenderTable.PDUpdateImgMapTexture && bzgRenderTable.PDUpdateImgMapTexture(image) != 0)
    {
        bz_ReleaseImgMap(image);
        return nullptr;
    }
    bz_FillImgMapChecker(image, 0xFF00FF00u, 0xFFFF0000u, 4, 4);
    image->textureFlags |= BZ_IMGTEX_PLACEHOLDER;
    return image;
}
} // namespace

bz_IMGMAP *bz_Image_Load(const char *name)
{
    if (!name)
        return nullptr;
    if (bz_IMGMAP *found = bz_FindImgMap(name))
        return bz_AddRefImgMap(found);
    char path[BZ_FILE_PATH_SIZE];
    const int written = std::strstr(name, ".img")
                            ? std::snprintf(path, sizeof path, "%s", name)
                            : std::snprintf(path, sizeof path, "%s.img", name);
    if (written < 0 || written >= static_cast<int>(sizeof path))
        return nullptr;
    bzFileHandle *file = bz_FileOpen(path, "rb");
    if (!file)
        return nullptr;
    return ReadImg(file, name);
}

bz_IMGMAP *bz_LoadImgFile(const char *name)
{
    return bz_Image_Load(name);
}

bz_IMGMAP *LoadTdxTexture(const char *name)
{
    if (!name)
        return nullptr;
    char path[BZ_FILE_PATH_SIZE];
    const int written = std::snprintf(path, sizeof path, "%s.tdx", name);
    if (written < 0 || written >= static_cast<int>(sizeof path))
        return nullptr;
    bzFileHandle *file = bz_FileOpen(path, "rb");
    if (!file)
        return nullptr;
    uint8_t header[BZ_TDX_HEADER_SIZE];
    if (bz_FileRead(file, header, sizeof header) != sizeof header)
        return Fail(file, nullptr, BZ_ERROR_IMGMAP_VOID);
    if (bz_GetU16LE(header) != BZ_TDX_VERSION)
    {
        bz_FileClose(file);
        return MakeTdxPlaceholder(name);
    }
    const uint32_t width = bz_GetU16LE(header + 2);
    const uint32_t height = bz_GetU16LE(header + 4);
    if (width == 0 || height == 0 || width > kMaxSide || height > kMaxSide)
        return Fail(file, nullptr, BZ_ERROR_IMGMAP_VOID);
    bz_IMGMAP *image = bz_AllocImgMap(name);
    if (!image)
        return Fail(file, nullptr, BZ_ERROR_NO_MEMORY);
    image->width = static_cast<int16_t>(width);
    image->height = static_cast<int16_t>(height);
    const uint8_t flagsA = header[8];
    const uint8_t flagsB = header[9];
    if (flagsB & 0x02)
        if (int32_t code = ReadExtraBlock(file, image))
            return Fail(file, image, code);
    image->textureFlags |= BZ_IMGTEX_PRECONVERTED;
    image->flags |= BZ_IMGMAP_TEXTURE;
    image->flags |= flagsA & (BZ_IMGMAP_ONE_BIT_ALPHA | BZ_IMGMAP_HAS_ALPHA |
                              BZ_IMGMAP_NO_COMPRESS | BZ_IMGMAP_MARK);
    if (flagsB & 0x01)
        image->textureFlags |= BZ_IMGTEX_KEEP_8BIT;
    bz_IMGMAP *result =
        bzgRenderTable.PDLoadTex2 ? bzgRenderTable.PDLoadTex2(image, header, file) : nullptr;
    bz_FileClose(file);
    if (!result)
    {
        bz_ReleaseImgMap(image);
        return nullptr;
    }
    ImgMapFormatFromDevice(result, header);
    return result;
}

void ImgMapFormatFromDevice(bz_IMGMAP *image, const uint8_t *header)
{
    if (!image)
        return;
    const uint8_t flagsA = header ? header[8] : 0;
    switch (image->deviceFormat)
    {
    case kD3dR8G8B8:
    case kD3dX8R8G8B8: image->format = BZ_IMAGE_888; return;
    case kD3dA8R8G8B8: image->format = BZ_IMAGE_8888; return;
    case kD3dR5G6B5:
    case kD3dX1R5G5B5: image->format = BZ_IMAGE_565; return;
    case kD3dA1R5G5B5: image->format = BZ_IMAGE_1555; return;
    case kD3dA8: image->format = BZ_IMAGE_ALPHA; return;
    case kD3dP8:
        image->format = (flagsA & 0x10)   ? BZ_IMAGE_ALPHA
                        : (flagsA & 0x01) ? BZ_IMAGE_CLUT4
                                          : BZ_IMAGE_CLUT8;
        return;
    case FourCC('D', 'X', 'T', '1'):
    case FourCC('D', 'X', 'T', '2'):
    case FourCC('D', 'X', 'T', '3'):
    case FourCC('D', 'X', 'T', '4'):
    case FourCC('D', 'X', 'T', '5'): image->flags |= BZ_IMGMAP_COMPRESSED; [[fallthrough]];
    default: image->format = BZ_IMAGE_INVALID; return;
    }
}

int32_t DecodeImgRunsRGBA(const uint8_t *data, uint32_t size, bz_IMGMAP *image)
{
    return DecodeRuns<4>(data, size, image, WriteColour);
}

int32_t DecodeImgRuns8(const uint8_t *data, uint32_t size, bz_IMGMAP *image)
{
    return DecodeRuns<1>(data, size, image, WriteIndex);
}

int32_t DecodeImgRuns4(const uint8_t *data, uint32_t size, bz_IMGMAP *image)
{
    return DecodeRuns<1>(data, size, image, WritePair);
}
