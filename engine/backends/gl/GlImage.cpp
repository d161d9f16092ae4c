#include "backends/gl/GlImage.h"

#include "backends/gl/GlExtensions.h"
#include "core/Error.h"
#include "core/Memory.h"
#include "device/ImageRecord.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <cstring>

int32_t bzgOGLMaxTextureSize = 2048;
uint32_t bzgOGLTextureBytes;

namespace
{
constexpr int32_t kPaletteEntries = 256;
constexpr uint32_t kWhite = 0x00FFFFFF;

bool HasPixel(const bz_IMGMAP *image, int32_t x, int32_t y)
{
    return x >= 0 && y >= 0 && x < image->width && y < image->height;
}

uint32_t RowBytes(const bz_IMGMAP *image)
{
    return static_cast<uint32_t>(image->width) * OGL_BytesPerPixel(image->format);
}

uint8_t *PixelAt(const bz_IMGMAP *image, int32_t x, int32_t y)
{
    return image->pixels + static_cast<size_t>(y) * RowBytes(image) +
           static_cast<size_t>(x) * OGL_BytesPerPixel(image->format);
}

// The byte of a palette index: 4-bit images pack two pixels a byte, high nibble first.
size_t IndexOffset(const bz_IMGMAP *image, int32_t x, int32_t y)
{
    if (image->format == BZ_IMAGE_CLUT4)
        return static_cast<size_t>(y) * ((image->width + 1) / 2) + x / 2;
    return static_cast<size_t>(y) * image->width + x;
}

uint8_t IndexAt(const bz_IMGMAP *image, int32_t x, int32_t y)
{
    const uint8_t byte = image->pixels[IndexOffset(image, x, y)];
    if (image->format != BZ_IMAGE_CLUT4)
        return byte;
    return (x & 1) ? byte & 0x0F : byte >> 4;
}

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

uint16_t OGL_BytesPerPixel(uint8_t format)
{
    switch (format)
    {
    case BZ_IMAGE_888:
    case BZ_IMAGE_8888: return 4;
    case BZ_IMAGE_ALPHA: return 1;
    default: return 2;
    }
}

int32_t OGL_PutImgMapPixel(bz_IMGMAP *image, int32_t x, int32_t y, int32_t a, int32_t r, int32_t g,
                           int32_t b)
{
    if (!image)
        return BZ_ERROR_IMGMAP_VOID;
    if (!image->pixels)
        return BZ_ERROR_IMGMAP_NO_PIXELS;
    if (!HasPixel(image, x, y))
        return BZ_ERROR_INVALID_PARAMETER;
    uint8_t *p = PixelAt(image, x, y);
    uint32_t word;
    switch (image->format)
    {
    case BZ_IMAGE_888:
    case BZ_IMAGE_8888:
        p[0] = static_cast<uint8_t>(b);
        p[1] = static_cast<uint8_t>(g);
        p[2] = static_cast<uint8_t>(r);
        if (image->format == BZ_IMAGE_8888)
            p[3] = static_cast<uint8_t>(a);
        return 0;
    case BZ_IMAGE_565: word = ((r & 0xF8) << 8) | ((g & 0xFC) << 3) | ((b & 0xFF) >> 3); break;
    case BZ_IMAGE_1555:
        word = ((a & 0x80) << 8) | ((r & 0xF8) << 7) | ((g & 0xF8) << 2) | ((b & 0xFF) >> 3);
        break;
    default: return 0;
    }
    p[0] = static_cast<uint8_t>(word);
    p[1] = static_cast<uint8_t>(word >> 8);
    return 0;
}

int32_t OGL_GetImgMapPixel(bz_IMGMAP *image, int32_t x, int32_t y, uint8_t *a, uint8_t *r,
                           uint8_t *g, uint8_t *b)
{
    if (!image)
        return BZ_ERROR_IMGMAP_VOID;
    if (image->format != BZ_IMAGE_888 && image->format != BZ_IMAGE_8888 &&
        image->format != BZ_IMAGE_565 && image->format != BZ_IMAGE_1555)
        return BZ_ERROR_UNSUPPORTED;
    if (!image->pixels)
        return BZ_ERROR_IMGMAP_NO_PIXELS;
    if (!HasPixel(image, x, y))
        return BZ_ERROR_INVALID_PARAMETER;
    const uint8_t *p = PixelAt(image, x, y);
    uint32_t alpha = 255, red, green, blue;
    if (image->format == BZ_IMAGE_888 || image->format == BZ_IMAGE_8888)
    {
        blue = p[0];
        green = p[1];
        red = p[2];
        if (image->format == BZ_IMAGE_8888)
            alpha = p[3];
    }
    else if (image->format == BZ_IMAGE_565)
    {
        const uint32_t w = Word(p);
        const uint32_t r5 = w >> 11, g6 = (w >> 5) & 0x3F, b5 = w & 0x1F;
        red = r5 * 8 + r5 / 4;
        green = g6 * 4 + g6 / 16;
        blue = b5 * 8 + b5 / 4;
    }
    else
    {
        const uint32_t w = Word(p);
        const uint32_t r5 = (w >> 10) & 0x1F, g5 = (w >> 5) & 0x1F, b5 = w & 0x1F;
        alpha = (w & 0x8000) ? 255 : 0;
        red = r5 * 8 + r5 / 8;
        green = g5 * 8 + g5 / 8;
        blue = b5 * 8 + b5 / 8;
    }
    if (a)
        *a = static_cast<uint8_t>(alpha);
    if (r)
        *r = static_cast<uint8_t>(red);
    if (g)
        *g = static_cast<uint8_t>(green);
    if (b)
        *b = static_cast<uint8_t>(blue);
    return 0;
}

int32_t OGL_PutImgMapPixelIndex(bz_IMGMAP *image, int32_t x, int32_t y, int32_t index)
{
    if (!image)
        return BZ_ERROR_IMGMAP_VOID;
    if (image->format != BZ_IMAGE_CLUT4 && image->format != BZ_IMAGE_CLUT8 &&
        image->format != BZ_IMAGE_ALPHA)
    {
        BZ_SET_ORIGIN();
        bz_ReportError("Not a palettised texture", "%s", image->name ? image->name : "");
        return 0;
    }
    if (!image->pixels)
        return BZ_ERROR_IMGMAP_NO_PIXELS;
    if (!HasPixel(image, x, y))
        return BZ_ERROR_INVALID_PARAMETER;
    uint8_t &byte = image->pixels[IndexOffset(image, x, y)];
    if (image->format != BZ_IMAGE_CLUT4)
        byte = static_cast<uint8_t>(index);
    else if (x & 1)
        byte = static_cast<uint8_t>((byte & 0xF0) | (index & 0x0F));
    else
        byte = static_cast<uint8_t>((byte & 0x0F) | ((index & 0x0F) << 4));
    return 0;
}

int32_t OGL_SetImgMapPalette(bz_IMGMAP *image, const uint32_t *palette, int32_t count)
{
    if (!image)
        return BZ_ERROR_IMGMAP_VOID;
    if (count < 0 || count > kPaletteEntries || (count > 0 && !palette))
        return BZ_ERROR_INVALID_PARAMETER;
    // Always the whole 256 entries, so that any index a pixel holds reads a colour; the copy
    // is made once and then reused.
    if (!image->paletteCopy)
    {
        image->paletteCopy =
            static_cast<uint32_t *>(bz_MemAlloc(kPaletteEntries * sizeof(uint32_t), 0));
        if (!image->paletteCopy)
            return BZ_ERROR_NO_MEMORY;
    }
    for (int32_t i = 0; i < kPaletteEntries; ++i)
        image->paletteCopy[i] = i < count ? palette[i] : kWhite;
    return 0;
}

int32_t OGL_LockImgMap(bz_IMGMAP *image, int32_t)
{
    if (!image)
        return BZ_ERROR_INVALID_PARAMETER;
    if (!image->pixels)
    {
        if (image->width <= 0 || image->height <= 0)
            return BZ_ERROR_INVALID_PARAMETER;
        const uint16_t bpp = OGL_BytesPerPixel(image->format);
        const uint64_t pitch = static_cast<uint64_t>(image->width) * bpp;
        const uint64_t bytes = pitch * static_cast<uint64_t>(image->height);
        if (pitch > 0xFFFF)
            return BZ_ERROR_UNSUPPORTED; // the row pitch is a 16-bit field
        if (bytes > BZ_MEM_MAX_BLOCK)
            return BZ_ERROR_NO_MEMORY;
        image->pixels =
            static_cast<uint8_t *>(bz_MemAlloc(static_cast<uint32_t>(bytes), BZ_MEM_CLEAR));
        if (!image->pixels)
            return BZ_ERROR_NO_MEMORY;
        image->bytesPerPixel = bpp;
        image->pitch = static_cast<uint16_t>(pitch);
    }
    image->flags |= BZ_IMGMAP_LOCKED;
    return 0;
}

int32_t OGL_UnlockImgMap(bz_IMGMAP *image)
{
    if (!image || !image->pixels)
        return BZ_ERROR_INVALID_PARAMETER;
    int32_t code = 0;
    if ((image->flags & BZ_IMGMAP_TEXTURE) && image->textureName)
    {
        glBindTexture(GL_TEXTURE_2D, image->textureName);
        code = OGL_UploadImgMapTexture(image);
    }
    image->flags &= static_cast<uint8_t>(~BZ_IMGMAP_LOCKED);
    return code;
}

void OGL_MakeImgMapATexture(bz_IMGMAP *image)
{
    if (!image || (image->flags & BZ_IMGMAP_TEXTURE))
        return;
    image->flags |= BZ_IMGMAP_TEXTURE;
    // A texture made again (after a change of pixels or format) keeps its name.
    if (!image->textureName)
    {
        GLuint name = 0;
        glGenTextures(1, &name);
        image->textureName = name;
    }
    glBindTexture(GL_TEXTURE_2D, image->textureName);
    if (OGL_UploadImgMapTexture(image) != 0)
    {
        // No texture: the image stays without one and keeps its pixels.
        GLuint name = image->textureName;
        glDeleteTextures(1, &name);
        image->textureName = 0;
        image->flags &= static_cast<uint8_t>(~BZ_IMGMAP_TEXTURE);
        return;
    }
    image->pitch = static_cast<uint16_t>(RowBytes(image) & 0xFFFF);
    bz_MemFree(image->pixels);
    image->pixels = nullptr;
}

int32_t OGL_UpdateImgMapTexture(bz_IMGMAP *image)
{
    if (!image)
        return BZ_ERROR_IMGMAP_VOID;
    image->bytesPerPixel = OGL_BytesPerPixel(image->format);
    if (image->flags & BZ_IMGMAP_TEXTURE)
    {
        image->flags &= static_cast<uint8_t>(~BZ_IMGMAP_TEXTURE);
        OGL_MakeImgMapATexture(image);
    }
    return 0;
}

void OGL_FreeImgMapTexture(bz_IMGMAP *image)
{
    if (!image)
        return;
    if (image->textureName)
    {
        GLuint name = image->textureName;
        glDeleteTextures(1, &name);
    }
    image->textureName = 0;
    bz_MemFree(image->pixels);
    image->pixels = nullptr;
    bz_MemFree(image->paletteCopy);
    image->paletteCopy = nullptr;
}

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
