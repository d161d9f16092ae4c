// What the image-map slots and the texture upload of the OpenGL back end share: where a
// pixel or a palette index lies in an image's own copy of its pixels.
#pragma once

#include "backends/gl/GlImage.h"
#include "device/ImageRecord.h"

#include <cstddef>
#include <cstdint>

namespace bzOGLImage
{
// The white, opaque entry that fills a palette past the entries it was given.
constexpr uint32_t kWhite = 0x00FFFFFF;

inline bool HasPixel(const bz_IMGMAP *image, int32_t x, int32_t y)
{
    return x >= 0 && y >= 0 && x < image->width && y < image->height;
}

inline uint32_t RowBytes(const bz_IMGMAP *image)
{
    return static_cast<uint32_t>(image->width) * OGL_BytesPerPixel(image->format);
}

inline uint8_t *PixelAt(const bz_IMGMAP *image, int32_t x, int32_t y)
{
    return image->pixels + static_cast<size_t>(y) * RowBytes(image) +
           static_cast<size_t>(x) * OGL_BytesPerPixel(image->format);
}

// The byte of a palette index (or an alpha-only pixel): 4-bit images pack two pixels a byte,
// high nibble first, in rows of whole bytes.
inline size_t IndexOffset(const bz_IMGMAP *image, int32_t x, int32_t y)
{
    if (image->format == BZ_IMAGE_CLUT4)
        return static_cast<size_t>(y) * ((image->width + 1) / 2) + x / 2;
    return static_cast<size_t>(y) * image->width + x;
}

inline uint8_t IndexAt(const bz_IMGMAP *image, int32_t x, int32_t y)
{
    const uint8_t byte = image->pixels[IndexOffset(image, x, y)];
    if (image->format != BZ_IMAGE_CLUT4)
        return byte;
    return (x & 1) ? byte & 0x0F : byte >> 4;
}
} // namespace bzOGLImage
