// The textures of the OpenGL back end: an image's pixels converted to 8-bit red, green, blue
// and alpha, the mip chain built by box filters, the size limit, and the upload.
#include "backends/gl/GlImage.h"

#include "backends/gl/GlExtensions.h"
#include "backends/gl/GlImageInternal.h"
#include "core/Error.h"
#include "core/Memory.h"
#include "device/ImageRecord.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <cstring>

int32_t bzgOGLMaxTextureSize = 2048;
uint32_t bzgOGLTextureBytes;

using namespace bzOGLImage;

namespace
{
uint16_t Word(const uint8_t *p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint8_t Nibble(uint32_t v)
{
    return static_cast<uint8_t>((v & 0xF) * 17);
}

void Put(uint8_t *out, uint32_t r, uint32_t g, uint32_t b, uint32_t a)
{
    out[0] = static_cast<uint8_t>(r);
    out[1] = static_cast<uint8_t>(g);
    out[2] = static_cast<uint8_t>(b);
    out[3] = static_cast<uint8_t>(a);
}

// The driver takes S3TC textures and the image does not forbid compression.
bool Compressed(const bz_IMGMAP *image)
{
    return (bzgOGLCaps & BZ_OGL_CAP_COMPRESSION) && !(image->flags & BZ_IMGMAP_NO_COMPRESS);
}

bool CompressedFormat(uint32_t internal)
{
    return internal == GL_COMPRESSED_RGB_S3TC_DXT1_EXT ||
           internal == GL_COMPRESSED_RGBA_S3TC_DXT1_EXT ||
           internal == GL_COMPRESSED_RGBA_S3TC_DXT3_EXT;
}

bzOGLMipFilter FilterOf(uint8_t format)
{
    switch (format)
    {
    case BZ_IMAGE_888:
    case BZ_IMAGE_565: return BZ_OGL_MIP_AVERAGE;
    case BZ_IMAGE_4444:
    case BZ_IMAGE_8888: return BZ_OGL_MIP_ALPHA_WEIGHTED;
    case BZ_IMAGE_ALPHA: return BZ_OGL_MIP_ALPHA_ONLY;
    default: return BZ_OGL_MIP_ONE_BIT_ALPHA;
    }
}

bool Filterable(uint8_t format)
{
    return (format >= BZ_IMAGE_888 && format <= BZ_IMAGE_1555) ||
           (format >= BZ_IMAGE_CLUT4 && format <= BZ_IMAGE_ALPHA);
}

int32_t Halve(int32_t side)
{
    return side > 1 ? side / 2 : 1;
}

void ReportGLError()
{
    if (glGetError() != GL_NO_ERROR)
        bz_ReportError("OGL error", "%s", "");
}

// The texture side's halvings down to 1.
int32_t Halvings(int32_t width, int32_t height)
{
    int32_t side = width > height ? width : height;
    int32_t levels = 0;
    while (side > 1)
    {
        side /= 2;
        ++levels;
    }
    return levels;
}
} // namespace

int32_t OGL_ConvertImgMapPixels(const bz_IMGMAP *image, uint8_t *block, uint32_t *internalFormat)
{
    const int32_t width = image->width;
    const int32_t height = image->height;
    const bool compressed = Compressed(image);
    const uint32_t *palette = image->paletteCopy;
    const bool key = (image->flags & BZ_IMGMAP_ONE_BIT_ALPHA) != 0;
    uint32_t internal = 0;
    switch (image->format)
    {
    case BZ_IMAGE_888:
    case BZ_IMAGE_8888: internal = GL_RGBA8; break;
    case BZ_IMAGE_565: internal = compressed ? GL_COMPRESSED_RGB_S3TC_DXT1_EXT : GL_RGB5; break;
    case BZ_IMAGE_4444: internal = compressed ? GL_COMPRESSED_RGBA_S3TC_DXT3_EXT : GL_RGBA4; break;
    case BZ_IMAGE_1555:
        internal = compressed ? GL_COMPRESSED_RGBA_S3TC_DXT1_EXT : GL_RGB5_A1;
        break;
    case BZ_IMAGE_CLUT4:
    case BZ_IMAGE_CLUT8:
        internal = compressed                                    ? GL_COMPRESSED_RGBA_S3TC_DXT1_EXT
                   : (image->textureFlags & BZ_IMGTEX_KEEP_8BIT) ? GL_RGBA
                                                                 : GL_RGB5_A1;
        break;
    case BZ_IMAGE_ALPHA: internal = GL_ALPHA; break;
    default:
        BZ_SET_ORIGIN();
        bz_ReportError("Bad texture", "%s", image->name ? image->name : "");
        return BZ_ERROR_UNSUPPORTED;
    }
    if (internalFormat)
        *internalFormat = internal;
    const size_t pixels = static_cast<size_t>(width) * height;
    if (!image->pixels)
    {
        std::memset(block, 0, image->format == BZ_IMAGE_ALPHA ? pixels : pixels * 4);
        return 0;
    }
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x)
        {
            uint8_t *out = block + (static_cast<size_t>(y) * width + x) * 4;
            const uint8_t *p;
            uint32_t w;
            switch (image->format)
            {
            case BZ_IMAGE_888:
                p = PixelAt(image, x, y);
                Put(out, p[2], p[1], p[0], 255);
                break;
            case BZ_IMAGE_8888:
                p = PixelAt(image, x, y);
                Put(out, p[2], p[1], p[0], p[3]);
                break;
            case BZ_IMAGE_565:
                w = Word(PixelAt(image, x, y));
                Put(out, (w >> 11) * 8, ((w >> 5) & 0x3F) * 4, (w & 0x1F) * 8, 255);
                break;
            case BZ_IMAGE_4444:
                w = Word(PixelAt(image, x, y));
                Put(out, Nibble(w >> 8), Nibble(w >> 4), Nibble(w), Nibble(w >> 12));
                break;
            case BZ_IMAGE_1555:
                w = Word(PixelAt(image, x, y));
                Put(out, ((w >> 10) & 0x1F) * 8, ((w >> 5) & 0x1F) * 8, (w & 0x1F) * 8,
                    (w & 0x8000) ? 255 : 0);
                break;
            case BZ_IMAGE_CLUT4:
            case BZ_IMAGE_CLUT8:
            {
                const uint8_t index = IndexAt(image, x, y);
                const uint32_t entry = palette ? palette[index] : kWhite;
                Put(out, (entry >> 16) & 0xFF, (entry >> 8) & 0xFF, entry & 0xFF,
                    (key && index == 0) ? 0 : 255);
                break;
            }
            default: // alpha-only: one byte a pixel
                block[static_cast<size_t>(y) * width + x] = image->pixels[IndexOffset(image, x, y)];
                break;
            }
        }
    return 0;
}

void MakeMipMapKind(uint8_t *block, int32_t width, int32_t height, bzOGLMipFilter filter)
{
    const int32_t newWidth = Halve(width);
    const int32_t newHeight = Halve(height);
    const int32_t size = filter == BZ_OGL_MIP_ALPHA_ONLY ? 1 : 4;
    for (int32_t y = 0; y < newHeight; ++y)
        for (int32_t x = 0; x < newWidth; ++x)
        {
            // The 2x2 box; a side of one pixel counts its pixel twice.
            const int32_t x0 = x * 2, x1 = x * 2 + 1 < width ? x * 2 + 1 : x * 2;
            const int32_t y0 = y * 2, y1 = y * 2 + 1 < height ? y * 2 + 1 : y * 2;
            const uint8_t *box[4] = {
                block + (static_cast<size_t>(y0) * width + x0) * size,
                block + (static_cast<size_t>(y0) * width + x1) * size,
                block + (static_cast<size_t>(y1) * width + x0) * size,
                block + (static_cast<size_t>(y1) * width + x1) * size,
            };
            uint8_t *out = block + (static_cast<size_t>(y) * newWidth + x) * size;
            if (filter == BZ_OGL_MIP_ALPHA_ONLY)
            {
                *out = static_cast<uint8_t>((box[0][0] + box[1][0] + box[2][0] + box[3][0]) / 4);
                continue;
            }
            uint32_t sum[4] = {0, 0, 0, 0};
            uint32_t weighted[3] = {0, 0, 0};
            for (const uint8_t *p : box)
                for (int c = 0; c < 4; ++c)
                {
                    sum[c] += p[c];
                    if (c < 3)
                        weighted[c] += p[c] * p[3];
                }
            const uint32_t alphaSum = sum[3];
            uint8_t result[4];
            switch (filter)
            {
            case BZ_OGL_MIP_AVERAGE:
                for (int c = 0; c < 4; ++c)
                    result[c] = static_cast<uint8_t>(sum[c] / 4);
                break;
            case BZ_OGL_MIP_ALPHA_WEIGHTED:
                for (int c = 0; c < 3; ++c)
                    result[c] = static_cast<uint8_t>(weighted[c] / (alphaSum ? alphaSum : 1));
                result[3] = static_cast<uint8_t>(alphaSum / 4);
                break;
            default:
                for (int c = 0; c < 3; ++c)
                    result[c] = static_cast<uint8_t>(
                        alphaSum ? (weighted[c] + alphaSum / 2) / alphaSum : (sum[c] + 2) / 4);
                result[3] = alphaSum ? 255 : 0;
                break;
            }
            std::memcpy(out, result, 4);
        }
}

int32_t MakeMipMap(uint8_t *block, int32_t width, int32_t height, const bz_IMGMAP *image)
{
    if (!Filterable(image->format))
    {
        BZ_SET_ORIGIN();
        bz_ReportError("MakeMipMap", "%s", image->name ? image->name : "");
        return BZ_ERROR_UNSUPPORTED;
    }
    MakeMipMapKind(block, width, height, FilterOf(image->format));
    return 0;
}

int32_t OGL_UploadImgMapTexture(bz_IMGMAP *image)
{
    int32_t width = image->width;
    int32_t height = image->height;
    if (width <= 0 || height <= 0)
        return BZ_ERROR_INVALID_PARAMETER;
    if (!Filterable(image->format))
    {
        BZ_SET_ORIGIN();
        bz_ReportError("Bad texture", "%s", image->name ? image->name : "");
        return BZ_ERROR_UNSUPPORTED;
    }
    int32_t levels = Halvings(width, height);
    // Sizes come from the file: worked out wide, and a block larger than the memory manager
    // hands out makes no texture.
    const uint64_t bytes = static_cast<uint64_t>(width) * static_cast<uint64_t>(height) * 4;
    if (bytes > BZ_MEM_MAX_BLOCK)
        return BZ_ERROR_NO_MEMORY;
    auto *block = static_cast<uint8_t *>(bz_MemAlloc(static_cast<uint32_t>(bytes), 0));
    if (!block)
        return BZ_ERROR_NO_MEMORY;
    uint32_t internal = 0;
    if (int32_t code = OGL_ConvertImgMapPixels(image, block, &internal))
    {
        bz_MemFree(block);
        return code;
    }
    const GLenum source = internal == GL_ALPHA ? GL_ALPHA : GL_RGBA;

    // The size limit; an image marked large and full-quality may reach twice the limit.
    const int32_t limit = bzgOGLMaxTextureSize;
    const bool large = (image->textureFlags & BZ_IMGTEX_KEEP_8BIT) != 0;
    while (levels > 0 && (int64_t{1} << levels) > limit)
    {
        if (large &&
            ((int64_t{1} << levels) <= int64_t{2} * limit || (int64_t{1} << levels) <= 256))
            break;
        MakeMipMap(block, width, height, image);
        width = Halve(width);
        height = Halve(height);
        --levels;
    }
    // What the driver cannot take at this size is halved until it can.
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    for (;;)
    {
        glTexImage2D(GL_PROXY_TEXTURE_2D, 0, static_cast<GLint>(internal), width, height, 0, source,
                     GL_UNSIGNED_BYTE, nullptr);
        GLint accepted = 0;
        glGetTexLevelParameteriv(GL_PROXY_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &accepted);
        if (accepted != 0 || (width == 1 && height == 1))
            break;
        MakeMipMap(block, width, height, image);
        width = Halve(width);
        height = Halve(height);
        if (levels > 0)
            --levels;
    }
    if (image->textureFlags & BZ_IMGTEX_SINGLE_LEVEL)
        levels = 0;
    image->mipLevels = static_cast<uint8_t>(levels + 1);
    if (CompressedFormat(internal))
        image->flags |= BZ_IMGMAP_COMPRESSED;
    else
        image->flags &= static_cast<uint8_t>(~BZ_IMGMAP_COMPRESSED);
    if (!(image->flags & BZ_IMGMAP_LOCKED))
        bzgOGLTextureBytes += static_cast<uint32_t>(
            static_cast<uint64_t>(OGL_BytesPerPixel(image->format)) * width * height * 4 / 3);

    glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(internal), width, height, 0, source,
                 GL_UNSIGNED_BYTE, block);
    ReportGLError();
    for (int32_t level = 1; level <= levels; ++level)
    {
        MakeMipMap(block, width, height, image);
        width = Halve(width);
        height = Halve(height);
        glTexImage2D(GL_TEXTURE_2D, level, static_cast<GLint>(internal), width, height, 0, source,
                     GL_UNSIGNED_BYTE, block);
        ReportGLError();
    }
    bz_MemFree(block);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, levels);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER,
                    image->mipLevels > 1 ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST);
    ReportGLError();
    return 0;
}
