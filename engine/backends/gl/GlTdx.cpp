// Pre-converted texture files: the levels of a ".tdx" file uploaded as they are, expanded to
// 8-bit red, green, blue and alpha, or decoded from S3TC when the driver takes no compressed
// textures.
#include "backends/gl/GlImage.h"

#include "backends/gl/GlExtensions.h"
#include "core/Bytes.h"
#include "core/Error.h"
#include "core/Memory.h"
#include "device/ImageRecord.h"
#include "files/File.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <cstring>

namespace
{
constexpr uint32_t kFourCCDXT1 = 0x31545844; // "DXT1"
constexpr uint32_t kFourCCDXT3 = 0x33545844;
constexpr uint32_t kFourCCDXT5 = 0x35545844;
constexpr uint16_t kHeaderSmallBlock = 0x1; // a 64-byte block follows the header
constexpr uint16_t kHeaderPalette = 0x2;    // a 1,024-byte block follows
constexpr int32_t kMaxLevels = 16;          // a 32,767-pixel side halves 15 times

// How the data of one format code is read and uploaded.
struct TdxFormat
{
    uint32_t code;
    int32_t bits;      // a pixel of the file
    int32_t dxt;       // 1, 3 or 5 for S3TC data, else 0
    GLenum internal;   // uncompressed upload
    GLenum compressed; // the S3TC upload, when the driver takes it
    bzOGLMipFilter filter;
};

constexpr TdxFormat kFormats[] = {
    {20, 32, 0, GL_RGB, 0, BZ_OGL_MIP_AVERAGE},
    {22, 32, 0, GL_RGB, 0, BZ_OGL_MIP_AVERAGE},
    {21, 32, 0, GL_RGBA, 0, BZ_OGL_MIP_ALPHA_WEIGHTED},
    {23, 16, 0, GL_RGB5, 0, BZ_OGL_MIP_AVERAGE},
    {25, 16, 0, GL_RGB5_A1, 0, BZ_OGL_MIP_ONE_BIT_ALPHA},
    {26, 16, 0, GL_RGBA4, 0, BZ_OGL_MIP_ALPHA_WEIGHTED},
    {28, 8, 0, GL_ALPHA, 0, BZ_OGL_MIP_ALPHA_ONLY},
    {kFourCCDXT1, 4, 1, GL_RGB5_A1, GL_COMPRESSED_RGB_S3TC_DXT1_EXT, BZ_OGL_MIP_ONE_BIT_ALPHA},
    {kFourCCDXT3, 8, 3, GL_RGBA4, GL_COMPRESSED_RGBA_S3TC_DXT3_EXT, BZ_OGL_MIP_ALPHA_WEIGHTED},
    {kFourCCDXT5, 8, 5, GL_RGBA4, GL_COMPRESSED_RGBA_S3TC_DXT5_EXT, BZ_OGL_MIP_ALPHA_WEIGHTED},
};

const TdxFormat *FindFormat(uint32_t code)
{
    for (const TdxFormat &f : kFormats)
        if (f.code == code)
            return &f;
    return nullptr;
}

int32_t Halve(int32_t side)
{
    return side > 1 ? side / 2 : 1;
}

uint32_t Blocks(int32_t side)
{
    return (static_cast<uint32_t>(side > 4 ? side : 4) + 3) / 4;
}

// Bytes of one level in the file: S3TC data in whole 4x4 blocks.
uint64_t LevelBytes(const TdxFormat &f, int32_t width, int32_t height)
{
    if (f.dxt)
        return uint64_t{Blocks(width)} * Blocks(height) * (f.dxt == 1 ? 8 : 16);
    return static_cast<uint64_t>(width) * static_cast<uint64_t>(height) * f.bits / 8;
}

uint8_t Widen5(uint32_t v)
{
    return static_cast<uint8_t>((v << 3) | (v >> 2));
}

uint8_t Widen6(uint32_t v)
{
    return static_cast<uint8_t>((v << 2) | (v >> 4));
}

// 16-bit and 32-bit file pixels to red, green, blue, alpha in out (which may be data for the
// 32-bit codes). The 32-bit codes keep blue first when the driver takes that order.
void Expand(const TdxFormat &f, const uint8_t *data, uint8_t *out, uint32_t pixels, bool bgra)
{
    for (uint32_t i = 0; i < pixels; ++i)
    {
        uint8_t *o = out + i * 4;
        if (f.bits == 32)
        {
            const uint8_t b = data[i * 4], g = data[i * 4 + 1], r = data[i * 4 + 2],
                          a = data[i * 4 + 3];
            o[0] = bgra ? b : r;
            o[1] = g;
            o[2] = bgra ? r : b;
            o[3] = a;
            continue;
        }
        const uint32_t w = data[i * 2] | (data[i * 2 + 1] << 8);
        if (f.code == 23)
        {
            o[0] = Widen5(w >> 11);
            o[1] = Widen6((w >> 5) & 0x3F);
            o[2] = Widen5(w & 0x1F);
            o[3] = 255;
        }
        else if (f.code == 25)
        {
            o[0] = Widen5((w >> 10) & 0x1F);
            o[1] = Widen5((w >> 5) & 0x1F);
            o[2] = Widen5(w & 0x1F);
            o[3] = (w & 0x8000) ? 255 : 0;
        }
        else
        {
            o[0] = static_cast<uint8_t>(((w >> 8) & 0xF) * 17);
            o[1] = static_cast<uint8_t>(((w >> 4) & 0xF) * 17);
            o[2] = static_cast<uint8_t>((w & 0xF) * 17);
            o[3] = static_cast<uint8_t>(((w >> 12) & 0xF) * 17);
        }
    }
}

// The four colours of an S3TC colour block; with threeColour, entry 3 is transparent black.
void ColourTable(const uint8_t *block, bool allowThree, uint8_t table[4][4])
{
    const uint32_t c0 = block[0] | (block[1] << 8);
    const uint32_t c1 = block[2] | (block[3] << 8);
    const uint32_t ends[2] = {c0, c1};
    for (int i = 0; i < 2; ++i)
    {
        table[i][0] = Widen5(ends[i] >> 11);
        table[i][1] = Widen6((ends[i] >> 5) & 0x3F);
        table[i][2] = Widen5(ends[i] & 0x1F);
        table[i][3] = 255;
    }
    const bool three = allowThree && c0 <= c1;
    for (int c = 0; c < 3; ++c)
    {
        if (three)
        {
            table[2][c] = static_cast<uint8_t>((table[0][c] + table[1][c]) / 2);
            table[3][c] = 0;
        }
        else
        {
            table[2][c] = static_cast<uint8_t>((2 * table[0][c] + table[1][c]) / 3);
            table[3][c] = static_cast<uint8_t>((table[0][c] + 2 * table[1][c]) / 3);
        }
    }
    table[2][3] = 255;
    table[3][3] = three ? 0 : 255;
}

// Releases a half-made texture and leaves the code.
bz_IMGMAP *Refuse(bz_IMGMAP *image, uint8_t *data, uint8_t *pixels, int32_t code)
{
    bz_MemFree(data);
    bz_MemFree(pixels);
    if (image->textureName)
    {
        GLuint name = image->textureName;
        glDeleteTextures(1, &name);
        image->textureName = 0;
    }
    bzgLastError = code;
    return nullptr;
}
} // namespace

void OGL_DecodeDXT(int32_t kind, const uint8_t *data, int32_t width, int32_t height, uint8_t *out)
{
    const uint32_t blocksWide = Blocks(width);
    const uint32_t blocksHigh = Blocks(height);
    const uint32_t outWidth = blocksWide * 4;
    const uint32_t blockBytes = kind == 1 ? 8 : 16;
    for (uint32_t by = 0; by < blocksHigh; ++by)
        for (uint32_t bx = 0; bx < blocksWide; ++bx)
        {
            const uint8_t *block = data + (by * blocksWide + bx) * blockBytes;
            const uint8_t *colour = kind == 1 ? block : block + 8;
            uint8_t table[4][4];
            ColourTable(colour, kind == 1, table);
            uint8_t alphas[8] = {};
            uint64_t alphaBits = 0;
            if (kind == 5)
            {
                alphas[0] = block[0];
                alphas[1] = block[1];
                for (int i = 0; i < 6; ++i)
                    alphaBits |= uint64_t{block[2 + i]} << (8 * i);
                if (alphas[0] > alphas[1])
                    for (int i = 1; i < 7; ++i)
                        alphas[i + 1] =
                            static_cast<uint8_t>(((7 - i) * alphas[0] + i * alphas[1]) / 7);
                else
                {
                    for (int i = 1; i < 5; ++i)
                        alphas[i + 1] =
                            static_cast<uint8_t>(((5 - i) * alphas[0] + i * alphas[1]) / 5);
                    alphas[6] = 0;
                    alphas[7] = 255;
                }
            }
            const uint32_t indices = colour[4] | (colour[5] << 8) | (colour[6] << 16) |
                                     (static_cast<uint32_t>(colour[7]) << 24);
            for (uint32_t i = 0; i < 16; ++i)
            {
                uint8_t *o = out + ((by * 4 + i / 4) * outWidth + bx * 4 + i % 4) * 4;
                std::memcpy(o, table[(indices >> (2 * i)) & 3], 4);
                if (kind == 3)
                    o[3] = static_cast<uint8_t>(((block[i / 2] >> ((i & 1) * 4)) & 0xF) * 17);
                else if (kind == 5)
                    o[3] = alphas[(alphaBits >> (3 * i)) & 7];
            }
        }
}

bz_IMGMAP *OGL_LoadTex2(bz_IMGMAP *image, const uint8_t *header, bzFileHandle *file)
{
    if (!image || !header || !file)
        return nullptr;
    image->flags &= static_cast<uint8_t>(~BZ_IMGMAP_COMPRESSED);
    const uint32_t levels = bz_GetU16LE(header + 6);
    const uint16_t blocks = bz_GetU16LE(header + 10);
    const uint32_t code = bz_GetU32LE(header + 12);
    const TdxFormat *format = FindFormat(code);
    if (!format)
    {
        // A format this back end does not take: nothing made.
        bzgLastError = BZ_ERROR_IMGMAP_FORMAT;
        return nullptr;
    }
    int32_t width = image->width;
    int32_t height = image->height;
    if (width <= 0 || height <= 0 || levels == 0 || levels > kMaxLevels)
    {
        bzgLastError = BZ_ERROR_IMGMAP_VOID;
        return nullptr;
    }
    image->deviceFormat = code;
    image->mipLevels = static_cast<uint8_t>(levels);

    // The level buffer takes the largest level as the file holds it; the pixel buffer its
    // pixels widened to 8-bit red, green, blue and alpha in whole 4x4 blocks.
    const uint64_t dataBytes = LevelBytes(*format, width, height);
    const uint64_t pixelBytes = uint64_t{Blocks(width)} * 4 * Blocks(height) * 4 * 4;
    if (dataBytes > BZ_MEM_MAX_BLOCK || pixelBytes > BZ_MEM_MAX_BLOCK)
    {
        bzgLastError = BZ_ERROR_NO_MEMORY;
        return nullptr;
    }
    auto *data = static_cast<uint8_t *>(bz_MemAlloc(static_cast<uint32_t>(dataBytes), 0));
    auto *pixels = static_cast<uint8_t *>(bz_MemAlloc(static_cast<uint32_t>(pixelBytes), 0));
    if (!data || !pixels)
        return Refuse(image, data, pixels, BZ_ERROR_NO_MEMORY);

    GLuint name = 0;
    glGenTextures(1, &name);
    image->textureName = name;
    glBindTexture(GL_TEXTURE_2D, name);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);

    uint8_t skipped[1024];
    if ((blocks & kHeaderSmallBlock) && bz_FileRead(file, skipped, 64) != 64)
        return Refuse(image, data, pixels, BZ_ERROR_IMGMAP_VOID);
    if ((blocks & kHeaderPalette) && bz_FileRead(file, skipped, 1024) != 1024)
        return Refuse(image, data, pixels, BZ_ERROR_IMGMAP_VOID);

    const bool compressed = format->dxt && (bzgOGLCaps & BZ_OGL_CAP_COMPRESSION);
    const bool bgra = (bzgOGLCaps & BZ_OGL_CAP_BGRA) != 0;
    const int32_t limit = bzgOGLMaxTextureSize;
    const bool large = (image->textureFlags & BZ_IMGTEX_KEEP_8BIT) != 0;
    int32_t uploaded = 0;
    for (uint32_t level = 0; level < levels; ++level, width = Halve(width), height = Halve(height))
    {
        const uint64_t bytes = LevelBytes(*format, width, height);
        const int64_t left = int64_t{bz_FileLength(file)} - bz_FileTell(file);
        if (left < 0 || bytes > static_cast<uint64_t>(left) ||
            bz_FileRead(file, data, bytes) != bytes)
            return Refuse(image, data, pixels, BZ_ERROR_IMGMAP_VOID);

        const bool within = width <= limit && height <= limit;
        const bool allowed = large && ((width <= 2 * limit && height <= 2 * limit) ||
                                       (width <= 256 && height <= 256));
        if (!within && !allowed && levels > 1)
            continue; // a level above the limit is skipped and takes no level number
        if (compressed)
        {
            OGL_CompressedTexImage2D(GL_TEXTURE_2D, uploaded, format->compressed, width, height, 0,
                                     static_cast<int32_t>(bytes), data);
            image->flags |= BZ_IMGMAP_COMPRESSED;
            ++uploaded;
            continue;
        }
        // Red, green, blue and alpha (or alpha alone) in pixels, width x height of them.
        const uint32_t count = static_cast<uint32_t>(width) * static_cast<uint32_t>(height);
        GLenum source = GL_RGBA;
        if (format->dxt)
        {
            OGL_DecodeDXT(format->dxt, data, width, height, pixels);
            const uint32_t padded = Blocks(width) * 4;
            for (int32_t row = 1; row < height; ++row)
                std::memmove(pixels + static_cast<size_t>(row) * width * 4,
                             pixels + static_cast<size_t>(row) * padded * 4,
                             static_cast<size_t>(width) * 4);
        }
        else if (format->bits == 8)
        {
            std::memcpy(pixels, data, count);
            source = GL_ALPHA;
        }
        else
        {
            Expand(*format, data, pixels, count, bgra);
            if (format->bits == 32 && bgra)
                source = GL_BGRA;
        }
        int32_t w = width;
        int32_t h = height;
        // A single level above the limit is made to fit.
        while (!within && !allowed && (w > limit || h > limit) && (w > 1 || h > 1))
        {
            MakeMipMapKind(pixels, w, h, format->filter);
            w = Halve(w);
            h = Halve(h);
        }
        glTexImage2D(GL_TEXTURE_2D, uploaded, static_cast<GLint>(format->internal), w, h, 0, source,
                     GL_UNSIGNED_BYTE, pixels);
        ++uploaded;
    }
    bz_MemFree(data);
    bz_MemFree(pixels);
    if (uploaded == 0)
        return Refuse(image, nullptr, nullptr, BZ_ERROR_IMGMAP_VOID);
    image->mipLevels = static_cast<uint8_t>(uploaded);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, uploaded - 1);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER,
                    image->mipLevels > 1 ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST);
    return image;
}
