// The image-map slots of the OpenGL back end: pixel, palette and lock access on the image's
// own copy of its pixels, and the making, remaking and freeing of its texture.
#include "backends/gl/GlImage.h"

#include "backends/gl/GlImageInternal.h"
#include "core/Error.h"
#include "core/Memory.h"
#include "device/ImageRecord.h"

#include <GL/gl.h>

using namespace bzOGLImage;

namespace
{
constexpr int32_t kPaletteEntries = 256;

uint16_t Word(const uint8_t *p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
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
