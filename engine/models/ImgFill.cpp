#include "models/ImgFill.h"

#include "core/Error.h"
#include "core/Random.h"
#include "device/RenderTable.h"
#include "maths/Colour.h"
#include "models/ImgMap.h"
#include "models/Material.h"

#include <cmath>

namespace
{
// Steps 1-3 of every fill: the code that refuses the image, or 0 with the image locked.
int32_t BeginFill(bz_IMGMAP *image)
{
    if (!image)
        return BZ_ERROR_IMGMAP_VOID;
    if (image->format == BZ_IMAGE_CLUT4 || image->format == BZ_IMAGE_CLUT8)
        return BZ_ERROR_UNSUPPORTED;
    const PDRenderFunctionTable &t = bzgRenderTable;
    if (!t.PDLockImgMap || !t.PDUnlockImgMap || !t.PDPutImgMapPixel)
        return BZ_ERROR_UNSUPPORTED;
    return t.PDLockImgMap(image, BZ_LOCK_WRITE);
}

int32_t EndFill(bz_IMGMAP *image)
{
    bzgRenderTable.PDUnlockImgMap(image);
    return 0;
}

void Put(bz_IMGMAP *image, int32_t x, int32_t y, bzColour c)
{
    bzgRenderTable.PDPutImgMapPixel(image, x, y, c >> 24 & 0xFF, c >> 16 & 0xFF, c >> 8 & 0xFF,
                                    c & 0xFF);
}

// A countdown over cells of a floating-point size: Step() before each row or column gives
// true when a new cell starts there (the first one included).
struct CellCounter
{
    float size;
    float left;
    bool Step()
    {
        if (left < 1.0f)
        {
            left = size;
            return true;
        }
        return false;
    }
    void Advance() { left -= 1.0f; }
};

int32_t Checker(bz_IMGMAP *image, bzColour colour1, bzColour colour2, int32_t cellsX,
                int32_t cellsY)
{
    if (image && (cellsX < 1 || cellsY < 1))
        return BZ_ERROR_INVALID_PARAMETER;
    if (int32_t code = BeginFill(image))
        return code;
    CellCounter rows{static_cast<float>(image->height) / static_cast<float>(cellsY), 0.0f};
    rows.left = rows.size;
    bool rowParity = false;
    for (int32_t y = 0; y < image->height; ++y)
    {
        if (rows.Step())
            rowParity = !rowParity;
        CellCounter columns{static_cast<float>(image->width) / static_cast<float>(cellsX), 0.0f};
        columns.left = columns.size;
        bool parity = rowParity;
        for (int32_t x = 0; x < image->width; ++x)
        {
            if (columns.Step())
                parity = !parity;
            Put(image, x, y, parity ? colour1 : colour2);
            columns.Advance();
        }
        rows.Advance();
    }
    return EndFill(image);
}

bz_IMGMAP *Create(const char *name, uint8_t format, int16_t size)
{
    return bz_CreateImgMap(name, format, size, size,
                           BZ_IMGMAP_MAKE_TEXTURE | BZ_IMGMAP_OPT_NO_COMPRESS);
}

// Wraps a made image into a new material named like it; the material keeps the only reference.
bzMaterial *Wrap(bz_IMGMAP *image)
{
    if (!image)
        return nullptr;
    bzMaterial *material = bz_CreateMaterialFromTextureHandle(image);
    if (material)
        bz_RenameMaterial(material, image->name);
    bz_ReleaseImgMap(image);
    return material;
}
} // namespace

int32_t bz_FillImgMap(bz_IMGMAP *image, bzColour colour)
{
    if (int32_t code = BeginFill(image))
        return code;
    for (int32_t y = 0; y < image->height; ++y)
        for (int32_t x = 0; x < image->width; ++x)
            Put(image, x, y, colour);
    return EndFill(image);
}

int32_t bz_FillImgMapChecker(bz_IMGMAP *image, bzColour colour1, bzColour colour2, int32_t cellsX,
                             int32_t cellsY)
{
    return Checker(image, colour1, colour2, cellsX, cellsY);
}

int32_t bz_FillImgMapCheckerOpaque(bz_IMGMAP *image, bzColour colour1, bzColour colour2,
                                   int32_t cellsX, int32_t cellsY)
{
    return Checker(image, colour1 | 0xFF000000u, colour2 | 0xFF000000u, cellsX, cellsY);
}

int32_t bz_FillImgMapGrid(bz_IMGMAP *image, bzColour colour1, bzColour colour2, int32_t cellsX,
                          int32_t cellsY)
{
    if (image && (cellsX < 1 || cellsY < 1))
        return BZ_ERROR_INVALID_PARAMETER;
    if (int32_t code = BeginFill(image))
        return code;
    CellCounter rows{static_cast<float>(image->height) / static_cast<float>(cellsY), 0.0f};
    for (int32_t y = 0; y < image->height; ++y)
    {
        const bool lineRow = rows.Step();
        CellCounter columns{static_cast<float>(image->width) / static_cast<float>(cellsX), 0.0f};
        for (int32_t x = 0; x < image->width; ++x)
        {
            const bool lineColumn = columns.Step();
            Put(image, x, y, lineRow || lineColumn ? colour2 : colour1);
            columns.Advance();
        }
        rows.Advance();
    }
    return EndFill(image);
}

int32_t bz_FillImgMapRamp(bz_IMGMAP *image, const bzColourRamp *ramp)
{
    if (image && !ramp)
        return BZ_ERROR_INVALID_PARAMETER;
    if (int32_t code = BeginFill(image))
        return code;
    for (int32_t y = 0; y < image->height; ++y)
    {
        const bzColour c = bz_ColourRamp_Sample(
            ramp, static_cast<float>(y) / static_cast<float>(image->height) * 100.0f);
        for (int32_t x = 0; x < image->width; ++x)
            Put(image, x, y, c);
    }
    return EndFill(image);
}

int32_t bz_FillImgMapRadial(bz_IMGMAP *image, const bzColourRamp *ramp, int32_t border)
{
    if (image && !ramp)
        return BZ_ERROR_INVALID_PARAMETER;
    if (int32_t code = BeginFill(image))
        return code;
    const float centre = static_cast<float>(image->width) / 2.0f - 0.5f;
    const float radius = static_cast<float>(image->width) / 2.0f - static_cast<float>(border);
    if (radius > 0.0f)
        for (int32_t y = border; y <= image->height - border - 1; ++y)
            for (int32_t x = border; x <= image->width - border - 1; ++x)
            {
                const float dx = static_cast<float>(x) - centre;
                const float dy = static_cast<float>(y) - centre;
                const float d = std::sqrt(dx * dx + dy * dy);
                if (d <= radius)
                    Put(image, x, y, bz_ColourRamp_Sample(ramp, 100.0f - 100.0f * d / radius));
            }
    return EndFill(image);
}

int32_t bz_FillImgMapNoise(bz_IMGMAP *image, bzColour colour1, bzColour colour2)
{
    if (int32_t code = BeginFill(image))
        return code;
    float a[4], b[4];
    bz_Colour_ToFloats(colour1, a);
    bz_Colour_ToFloats(colour2, b);
    for (int32_t y = 0; y < image->height; ++y)
        for (int32_t x = 0; x < image->width; ++x)
        {
            const float t = bz_RandomFloat(0.0f, 1.0f);
            int32_t c[4];
            for (int i = 0; i < 4; ++i)
                c[i] = static_cast<int32_t>((a[i] + t * (b[i] - a[i])) * 255.0f);
            bzgRenderTable.PDPutImgMapPixel(image, x, y, c[3], c[0], c[1], c[2]);
        }
    return EndFill(image);
}

bz_IMGMAP *bz_MakeRampImgMap(const char *name, uint8_t format, int16_t size,
                             const bzColourRamp *ramp)
{
    bz_IMGMAP *image = Create(name, format, size);
    if (image)
        bz_FillImgMapRamp(image, ramp);
    return image;
}

bz_IMGMAP *bz_MakeRadialImgMap(const char *name, uint8_t format, int16_t size,
                               const bzColourRamp *ramp, int32_t border)
{
    bz_IMGMAP *image = Create(name, format, size);
    if (image)
        bz_FillImgMapRadial(image, ramp, border);
    return image;
}

bz_IMGMAP *bz_MakeCheckerOpaqueImgMap(const char *name, uint8_t format, int16_t size,
                                      bzColour colour1, bzColour colour2, int32_t cellsX,
                                      int32_t cellsY)
{
    bz_IMGMAP *image = Create(name, format, size);
    if (image)
        bz_FillImgMapCheckerOpaque(image, colour1, colour2, cellsX, cellsY);
    return image;
}

bz_IMGMAP *bz_MakeColourImgMap(const char *name, uint8_t format, int16_t size, bzColour colour)
{
    bz_IMGMAP *image = Create(name, format, size);
    if (image)
        bz_FillImgMap(image, colour);
    return image;
}

bz_IMGMAP *bz_MakeGridImgMap(const char *name, uint8_t format, int16_t size, bzColour colour1,
                             bzColour colour2, int32_t cellsX, int32_t cellsY)
{
    bz_IMGMAP *image = Create(name, format, size);
    if (image)
        bz_FillImgMapGrid(image, colour1, colour2, cellsX, cellsY);
    return image;
}

bz_IMGMAP *bz_MakeCheckerImgMap(const char *name, uint8_t format, int16_t size, bzColour colour1,
                                bzColour colour2, int32_t cellsX, int32_t cellsY)
{
    bz_IMGMAP *image = Create(name, format, size);
    if (image)
        bz_FillImgMapChecker(image, colour1, colour2, cellsX, cellsY);
    return image;
}

bz_IMGMAP *bz_MakeNoiseImgMap(const char *name, uint8_t format, int16_t size, bzColour colour1,
                              bzColour colour2)
{
    bz_IMGMAP *image = Create(name, format, size);
    if (image)
        bz_FillImgMapNoise(image, colour1, colour2);
    return image;
}

bzMaterial *bz_MakeRampMaterial(const char *name, uint8_t format, int16_t size,
                                const bzColourRamp *ramp)
{
    return Wrap(bz_MakeRampImgMap(name, format, size, ramp));
}

bzMaterial *bz_MakeRadialMaterial(const char *name, uint8_t format, int16_t size,
                                  const bzColourRamp *ramp, int32_t border)
{
    return Wrap(bz_MakeRadialImgMap(name, format, size, ramp, border));
}

bzMaterial *bz_MakeCheckerOpaqueMaterial(const char *name, uint8_t format, int16_t size,
                                         bzColour colour1, bzColour colour2, int32_t cellsX,
                                         int32_t cellsY)
{
    return Wrap(bz_MakeCheckerOpaqueImgMap(name, format, size, colour1, colour2, cellsX, cellsY));
}

bzMaterial *bz_MakeColourMaterial(const char *name, uint8_t format, int16_t size, bzColour colour)
{
    return Wrap(bz_MakeColourImgMap(name, format, size, colour));
}

bzMaterial *bz_MakeGridMaterial(const char *name, uint8_t format, int16_t size, bzColour colour1,
                                bzColour colour2, int32_t cellsX, int32_t cellsY)
{
    return Wrap(bz_MakeGridImgMap(name, format, size, colour1, colour2, cellsX, cellsY));
}

bzMaterial *bz_MakeCheckerMaterial(const char *name, uint8_t format, int16_t size, bzColour colour1,
                                   bzColour colour2, int32_t cellsX, int32_t cellsY)
{
    return Wrap(bz_MakeCheckerImgMap(name, format, size, colour1, colour2, cellsX, cellsY));
}

bzMaterial *bz_MakeNoiseMaterial(const char *name, uint8_t format, int16_t size, bzColour colour1,
                                 bzColour colour2)
{
    return Wrap(bz_MakeNoiseImgMap(name, format, size, colour1, colour2));
}
