// Image maps of the OpenGL back end: pixel and palette access on the image's own copy of its
// pixels, locking, and the making, refreshing and freeing of its OpenGL texture: the
// conversion to 8-bit red, green, blue and alpha, the mip-map chain built here, the size
// limit and S3TC compression (when the driver takes it and the image is not marked "never
// compress"); and the loading of pre-converted texture files.
#pragma once

#include <cstdint>

struct bz_IMGMAP;
struct bzFileHandle;

// The largest texture side a loaded texture keeps (2048 unless the game's settings change it).
extern int32_t bzgOGLMaxTextureSize;
// Bytes of texture data uploaded so far.
extern uint32_t bzgOGLTextureBytes;

// Slots of the renderer table (see device/RenderTable.h for their contracts).
int32_t OGL_PutImgMapPixel(bz_IMGMAP *image, int32_t x, int32_t y, int32_t a, int32_t r, int32_t g,
                           int32_t b);
int32_t OGL_GetImgMapPixel(bz_IMGMAP *image, int32_t x, int32_t y, uint8_t *a, uint8_t *r,
                           uint8_t *g, uint8_t *b);
int32_t OGL_PutImgMapPixelIndex(bz_IMGMAP *image, int32_t x, int32_t y, int32_t index);
// Keeps a 256-entry copy: the first count entries given, the rest white.
int32_t OGL_SetImgMapPalette(bz_IMGMAP *image, const uint32_t *palette, int32_t count);
int32_t OGL_LockImgMap(bz_IMGMAP *image, int32_t mode);
int32_t OGL_UnlockImgMap(bz_IMGMAP *image);
void OGL_MakeImgMapATexture(bz_IMGMAP *image);
int32_t OGL_UpdateImgMapTexture(bz_IMGMAP *image);
// Deletes the texture and frees the image's pixel and palette copies.
void OGL_FreeImgMapTexture(bz_IMGMAP *image);
bz_IMGMAP *OGL_LoadTex2(bz_IMGMAP *image, const uint8_t *header, bzFileHandle *file);

// Bytes a pixel of the image's own copy: 4 for 888 and 8888, 1 for alpha-only, else 2.
uint16_t OGL_BytesPerPixel(uint8_t format);

// Uploads the image's pixels into its (bound) texture with its mip levels. 0, 14 when the
// scratch block cannot be had, 68 for a format that cannot be converted.
int32_t OGL_UploadImgMapTexture(bz_IMGMAP *image);
// Converts the image's pixels into block: width x height pixels of red, green, blue, alpha
// (one byte a pixel for alpha-only images), and gives the texture's internal format.
// 0, or 68 with the report "Bad texture" for a format that cannot be converted.
int32_t OGL_ConvertImgMapPixels(const bz_IMGMAP *image, uint8_t *block, uint32_t *internalFormat);
// Halves a block of width x height pixels in place by 2x2 boxes with the filter of the
// image's format (see MakeMipMapKind). 0, or 68 with the report "MakeMipMap".
int32_t MakeMipMap(uint8_t *block, int32_t width, int32_t height, const bz_IMGMAP *image);

// The box filters of the mip chain.
enum bzOGLMipFilter
{
    BZ_OGL_MIP_AVERAGE,        // every channel the mean (opaque colour formats)
    BZ_OGL_MIP_ALPHA_WEIGHTED, // colour weighted by alpha, alpha the mean
    BZ_OGL_MIP_ONE_BIT_ALPHA,  // alpha 255 or 0, colour of the opaque pixels
    BZ_OGL_MIP_ALPHA_ONLY,     // one byte a pixel
};
void MakeMipMapKind(uint8_t *block, int32_t width, int32_t height, bzOGLMipFilter filter);

// Decodes S3TC data (kind 1, 3 or 5) of width x height pixels, whole 4x4 blocks, into
// red, green, blue, alpha pixels of a block max(width, 4) rounded up to a multiple of 4 wide.
void OGL_DecodeDXT(int32_t kind, const uint8_t *data, int32_t width, int32_t height, uint8_t *out);
