#include "memdevice/MemDevice.h"

#include "core/Bytes.h"
#include "core/Debug.h"
#include "core/Error.h"
#include "core/Memory.h"
#include "device/ImageRecord.h"
#include "device/RenderTable.h"

#include <bit>
#include <cstring>
#include <type_traits>

namespace
{
constexpr int32_t kSlots = 106;

bzMemDeviceCall gRing[BZ_MEMDEVICE_KEPT_CALLS];
uint32_t gTotal;
uint32_t gCounts[kSlots];
int32_t gForced[kSlots];
uint32_t gPixelBytes;

template <class T> uint64_t ArgWord(T value)
{
    if constexpr (std::is_pointer_v<T>)
        return reinterpret_cast<uintptr_t>(value);
    else if constexpr (std::is_same_v<T, float>)
        return std::bit_cast<uint32_t>(value);
    else
        return static_cast<uint64_t>(static_cast<int64_t>(value));
}

// Records the call and gives the result forced on the slot (0 when none).
template <class... Args> int32_t Record(int32_t slot, Args... args)
{
    static_assert(sizeof...(Args) <= 8);
    bzMemDeviceCall &call = gRing[gTotal % BZ_MEMDEVICE_KEPT_CALLS];
    call = {};
    call.slot = slot;
    call.argCount = static_cast<int32_t>(sizeof...(Args));
    int32_t i = 0;
    ((call.args[i++] = ArgWord(args)), ...);
    ++gTotal;
    ++gCounts[slot];
    return gForced[slot];
}

uint16_t BytesPerPixel(uint8_t format)
{
    switch (format)
    {
    case BZ_IMAGE_888: return 3;
    case BZ_IMAGE_565:
    case BZ_IMAGE_4444:
    case BZ_IMAGE_1555: return 2;
    case BZ_IMAGE_332:
    case BZ_IMAGE_ALPHA:
    case BZ_IMAGE_CLUT4:
    case BZ_IMAGE_CLUT8: return 1;
    default: return 4;
    }
}

bool IsPalette(uint8_t format)
{
    return format == BZ_IMAGE_CLUT4 || format == BZ_IMAGE_CLUT8;
}

void FreePixels(bz_IMGMAP *image)
{
    if (image->pixels)
        gPixelBytes -= static_cast<uint32_t>(image->pitch) * static_cast<uint32_t>(image->height);
    bz_MemFree(image->pixels);
    image->pixels = nullptr;
    image->pitch = 0;
    image->bytesPerPixel = 0;
}

// The pixel at (x, y) of a locked image, or the code that refuses the access.
int32_t PixelAt(bz_IMGMAP *image, int32_t x, int32_t y, uint8_t **out)
{
    if (!image)
        return BZ_ERROR_IMGMAP_VOID;
    if (!(image->flags & BZ_IMGMAP_LOCKED) || !image->pixels)
        return BZ_ERROR_IMGMAP_NO_PIXELS;
    if (x < 0 || y < 0 || x >= image->width || y >= image->height)
        return BZ_ERROR_INVALID_PARAMETER;
    *out = image->pixels + static_cast<size_t>(y) * image->pitch +
           static_cast<size_t>(x) * image->bytesPerPixel;
    return 0;
}

uint8_t Expand(uint32_t value, int bits)
{
    const uint32_t max = (1u << bits) - 1;
    return static_cast<uint8_t>(value * 255 / max);
}

int32_t SetPalette(bz_IMGMAP *image, const uint32_t *palette, int32_t count)
{
    if (int32_t forced = Record(4, image, palette, count))
        return forced;
    if (!image)
        return BZ_ERROR_IMGMAP_VOID;
    if (!image->palette)
        return BZ_ERROR_PALETTE_NOT_FOUND;
    if (!palette || count < 0 || count > 256)
        return BZ_ERROR_INVALID_PARAMETER;
    std::memcpy(image->palette, palette, static_cast<size_t>(count) * sizeof(uint32_t));
    return 0;
}

int32_t PutPixelIndex(bz_IMGMAP *image, int32_t x, int32_t y, int32_t index)
{
    if (int32_t forced = Record(5, image, x, y, index))
        return forced;
    uint8_t *p;
    if (int32_t code = PixelAt(image, x, y, &p))
        return code;
    switch (image->format)
    {
    case BZ_IMAGE_CLUT4: *p = static_cast<uint8_t>(index & 0x0F); return 0;
    case BZ_IMAGE_CLUT8:
    case BZ_IMAGE_ALPHA: *p = static_cast<uint8_t>(index); return 0;
    default: return BZ_ERROR_UNSUPPORTED;
    }
}

int32_t PutPixel(bz_IMGMAP *image, int32_t x, int32_t y, int32_t a, int32_t r, int32_t g, int32_t b)
{
    if (int32_t forced = Record(6, image, x, y, a, r, g, b))
        return forced;
    uint8_t *p;
    if (int32_t code = PixelAt(image, x, y, &p))
        return code;
    const uint32_t A = a & 0xFF, R = r & 0xFF, G = g & 0xFF, B = b & 0xFF;
    uint32_t word;
    switch (image->format)
    {
    case BZ_IMAGE_888:
        p[0] = static_cast<uint8_t>(R);
        p[1] = static_cast<uint8_t>(G);
        p[2] = static_cast<uint8_t>(B);
        return 0;
    case BZ_IMAGE_8888:
        p[0] = static_cast<uint8_t>(A);
        p[1] = static_cast<uint8_t>(R);
        p[2] = static_cast<uint8_t>(G);
        p[3] = static_cast<uint8_t>(B);
        return 0;
    case BZ_IMAGE_565: word = (R >> 3) << 11 | (G >> 2) << 5 | B >> 3; break;
    case BZ_IMAGE_4444: word = (A >> 4) << 12 | (R >> 4) << 8 | (G >> 4) << 4 | B >> 4; break;
    case BZ_IMAGE_1555: word = (A >> 7) << 15 | (R >> 3) << 10 | (G >> 3) << 5 | B >> 3; break;
    case BZ_IMAGE_332: *p = static_cast<uint8_t>((R >> 5) << 5 | (G >> 5) << 2 | B >> 6); return 0;
    case BZ_IMAGE_ALPHA: *p = static_cast<uint8_t>(A); return 0;
    default: return BZ_ERROR_UNSUPPORTED;
    }
    p[0] = static_cast<uint8_t>(word);
    p[1] = static_cast<uint8_t>(word >> 8);
    return 0;
}

int32_t GetPalette(bz_IMGMAP *image, uint32_t *out, int32_t count)
{
    if (int32_t forced = Record(7, image, out, count))
        return forced;
    if (!image)
        return BZ_ERROR_IMGMAP_VOID;
    if (!image->palette)
        return BZ_ERROR_PALETTE_NOT_FOUND;
    if (!out || count < 0 || count > 256)
        return BZ_ERROR_INVALID_PARAMETER;
    std::memcpy(out, image->palette, static_cast<size_t>(count) * sizeof(uint32_t));
    return 0;
}

int32_t GetPixelIndex(bz_IMGMAP *image, int32_t x, int32_t y, uint8_t *index)
{
    if (int32_t forced = Record(8, image, x, y, index))
        return forced;
    uint8_t *p;
    if (int32_t code = PixelAt(image, x, y, &p))
        return code;
    if (!IsPalette(image->format) && image->format != BZ_IMAGE_ALPHA)
        return BZ_ERROR_UNSUPPORTED;
    if (index)
        *index = *p;
    return 0;
}

int32_t GetPixel(bz_IMGMAP *image, int32_t x, int32_t y, uint8_t *a, uint8_t *r, uint8_t *g,
                 uint8_t *b)
{
    if (int32_t forced = Record(9, image, x, y, a, r, g, b))
        return forced;
    uint8_t *p;
    if (int32_t code = PixelAt(image, x, y, &p))
        return code;
    uint32_t A = 255, R, G, B;
    const uint32_t word = p[0] | (image->bytesPerPixel > 1 ? p[1] << 8 : 0);
    switch (image->format)
    {
    case BZ_IMAGE_888: R = p[0], G = p[1], B = p[2]; break;
    case BZ_IMAGE_8888: A = p[0], R = p[1], G = p[2], B = p[3]; break;
    case BZ_IMAGE_565:
        R = Expand(word >> 11, 5), G = Expand(word >> 5 & 0x3F, 6), B = Expand(word & 0x1F, 5);
        break;
    case BZ_IMAGE_4444:
        A = Expand(word >> 12, 4), R = Expand(word >> 8 & 0xF, 4), G = Expand(word >> 4 & 0xF, 4),
        B = Expand(word & 0xF, 4);
        break;
    case BZ_IMAGE_1555:
        A = word >> 15 ? 255 : 0, R = Expand(word >> 10 & 0x1F, 5), G = Expand(word >> 5 & 0x1F, 5),
        B = Expand(word & 0x1F, 5);
        break;
    case BZ_IMAGE_332:
        R = Expand(*p >> 5, 3), G = Expand(*p >> 2 & 7, 3), B = Expand(*p & 3, 2);
        break;
    case BZ_IMAGE_ALPHA: A = *p, R = G = B = 255; break;
    case BZ_IMAGE_CLUT4:
    case BZ_IMAGE_CLUT8:
    {
        const uint32_t entry = image->palette ? image->palette[*p] : 0;
        R = entry >> 16 & 0xFF, G = entry >> 8 & 0xFF, B = entry & 0xFF;
        break;
    }
    default: return BZ_ERROR_UNSUPPORTED;
    }
    if (a)
        *a = static_cast<uint8_t>(A);
    if (r)
        *r = static_cast<uint8_t>(R);
    if (g)
        *g = static_cast<uint8_t>(G);
    if (b)
        *b = static_cast<uint8_t>(B);
    return 0;
}

int32_t Unlock(bz_IMGMAP *image)
{
    if (int32_t forced = Record(10, image))
        return forced;
    if (!image)
        return BZ_ERROR_IMGMAP_VOID;
    if (!(image->flags & BZ_IMGMAP_LOCKED))
        return BZ_ERROR_IMGMAP_NO_PIXELS;
    image->flags &= static_cast<uint8_t>(~BZ_IMGMAP_LOCKED);
    return 0;
}

int32_t Lock(bz_IMGMAP *image, int32_t mode)
{
    if (int32_t forced = Record(11, image, mode))
        return forced;
    if (!image)
        return BZ_ERROR_IMGMAP_VOID;
    if (image->flags & BZ_IMGMAP_LOCKED)
        return BZ_ERROR_IMGMAP_LOCKED;
    if (!image->pixels)
        return BZ_ERROR_IMGMAP_NO_PIXELS;
    image->flags |= BZ_IMGMAP_LOCKED;
    return 0;
}

uint32_t TextureMemory()
{
    Record(12);
    return gPixelBytes;
}

void MakeTexture(bz_IMGMAP *image)
{
    if (Record(14, image) || !image)
        return;
    image->flags |= BZ_IMGMAP_TEXTURE;
    image->mipLevels = 1;
}

// The pre-converted texture file's header: bytes 6-7 the level count, 12-15 the device format.
bz_IMGMAP *LoadTex2(bz_IMGMAP *image, const uint8_t *header, bzFileHandle *file)
{
    if (Record(15, image, header, file) || !image || !header)
        return nullptr;
    const uint32_t levels = bz_GetU16LE(header + 6);
    image->mipLevels = static_cast<uint8_t>(levels ? (levels > 255 ? 255 : levels) : 1);
    image->deviceFormat = bz_GetU32LE(header + 12);
    image->flags |= BZ_IMGMAP_TEXTURE;
    return image;
}

void FreeTexture(bz_IMGMAP *image)
{
    if (Record(17, image) || !image)
        return;
    FreePixels(image);
    bz_MemFree(image->palette);
    image->palette = nullptr;
    image->flags &= static_cast<uint8_t>(~(BZ_IMGMAP_TEXTURE | BZ_IMGMAP_LOCKED));
}

int32_t UpdateTexture(bz_IMGMAP *image)
{
    if (int32_t forced = Record(18, image))
        return forced;
    if (!image)
        return BZ_ERROR_IMGMAP_VOID;
    if (image->width <= 0 || image->height <= 0 || (image->flags & BZ_IMGMAP_LOCKED))
        return BZ_ERROR_INVALID_PARAMETER;
    const uint16_t bpp = BytesPerPixel(image->format);
    const uint32_t pitch = static_cast<uint32_t>(image->width) * bpp;
    if (pitch > 0xFFFF)
        return BZ_ERROR_UNSUPPORTED; // the row pitch is a 16-bit field
    if (static_cast<uint64_t>(pitch) * static_cast<uint64_t>(image->height) > BZ_MEM_MAX_BLOCK)
        return BZ_ERROR_NO_MEMORY;
    if (!image->pixels || image->bytesPerPixel != bpp || image->pitch != pitch)
    {
        FreePixels(image);
        const uint32_t bytes = pitch * static_cast<uint32_t>(image->height);
        image->pixels = static_cast<uint8_t *>(bz_MemAlloc(bytes, BZ_MEM_CLEAR));
        if (!image->pixels)
            return BZ_ERROR_NO_MEMORY;
        gPixelBytes += bytes;
        image->pitch = static_cast<uint16_t>(pitch);
        image->bytesPerPixel = bpp;
    }
    if (!IsPalette(image->format))
    {
        bz_MemFree(image->palette);
        image->palette = nullptr;
    }
    else if (!image->palette)
    {
        image->palette = static_cast<uint32_t *>(bz_MemAlloc(256 * sizeof(uint32_t), BZ_MEM_CLEAR));
        if (!image->palette)
            return BZ_ERROR_NO_MEMORY;
    }
    if (image->flags & BZ_IMGMAP_TEXTURE)
        image->mipLevels = 1;
    return 0;
}

void ReleaseImageResources()
{
    Record(20);
}

void InitImageResources()
{
    Record(21);
}

int32_t Draw2DLine(float x0, float y0, float x1, float y1, uint32_t colour, int32_t blend)
{
    return Record(30, x0, y0, x1, y1, colour, blend);
}

int32_t Draw2DRect(float x, float y, float w, float h, uint32_t colour, int32_t blend,
                   bz_IMGMAP *image, uint32_t flags)
{
    return Record(32, x, y, w, h, colour, blend, image, flags);
}

void Note2DViewport(bzViewport *viewport)
{
    Record(43, viewport);
}

void MaterialCreated()
{
    Record(64);
}

int32_t SetupMaterial(bzMaterial *material, int32_t mask)
{
    return Record(65, material, mask);
}

void RebuildModelLists(bzModel *model)
{
    Record(97, model);
}

void UpdateModelVertices(bzModel *model)
{
    Record(98, model);
}

int32_t BuildModelBuffers(bzModel *model)
{
    return Record(99, model);
}

void FreeModelBuffers(bzModel *model)
{
    Record(100, model);
}

int32_t RebuildModelIndices(bzModel *model)
{
    return Record(101, model);
}
} // namespace

void bz_MemDevice_Install(PDRenderFunctionTable *table)
{
    BZ_ASSERT(table);
    table->PDSetImgMapPalette = SetPalette;
    table->PDPutImgMapPixelIndex = PutPixelIndex;
    table->PDPutImgMapPixel = PutPixel;
    table->PDGetImgMapPalette = GetPalette;
    table->PDGetImgMapPixelIndex = GetPixelIndex;
    table->PDGetImgMapPixel = GetPixel;
    table->PDUnlockImgMap = Unlock;
    table->PDLockImgMap = Lock;
    table->PDGetTextureMemory = TextureMemory;
    table->PDMakeImgMapATexture = MakeTexture;
    table->PDLoadTex2 = LoadTex2;
    table->PDFreeImgMapTexture = FreeTexture;
    table->PDUpdateImgMapTexture = UpdateTexture;
    table->PDReleaseImageResources = ReleaseImageResources;
    table->PDInitImageResources = InitImageResources;
    table->PDDraw2DLine = Draw2DLine;
    table->PDDraw2DRect = Draw2DRect;
    table->PDNote2DViewport = Note2DViewport;
    table->PDMaterialCreated = MaterialCreated;
    table->PDSetupMaterial = SetupMaterial;
    table->PDRebuildModelLists = RebuildModelLists;
    table->PDUpdateModelVertices = UpdateModelVertices;
    table->PDBuildModelBuffers = BuildModelBuffers;
    table->PDFreeModelBuffers = FreeModelBuffers;
    table->PDRebuildModelIndices = RebuildModelIndices;
}

void bz_MemDevice_Reset()
{
    gTotal = 0;
    std::memset(gCounts, 0, sizeof gCounts);
    std::memset(gForced, 0, sizeof gForced);
}

uint32_t bz_MemDevice_CallCount(int32_t slot)
{
    return slot >= 0 && slot < kSlots ? gCounts[slot] : 0;
}

uint32_t bz_MemDevice_TotalCalls()
{
    return gTotal;
}

uint32_t bz_MemDevice_KeptCalls()
{
    return gTotal < BZ_MEMDEVICE_KEPT_CALLS ? gTotal : BZ_MEMDEVICE_KEPT_CALLS;
}

const bzMemDeviceCall *bz_MemDevice_GetCall(uint32_t index)
{
    const uint32_t kept = bz_MemDevice_KeptCalls();
    if (index >= kept)
        return nullptr;
    return &gRing[(gTotal - kept + index) % BZ_MEMDEVICE_KEPT_CALLS];
}

const bzMemDeviceCall *bz_MemDevice_LastCall(int32_t slot)
{
    for (uint32_t i = bz_MemDevice_KeptCalls(); i > 0; --i)
    {
        const bzMemDeviceCall *call = bz_MemDevice_GetCall(i - 1);
        if (call->slot == slot)
            return call;
    }
    return nullptr;
}

float bz_MemDevice_ArgFloat(uint64_t arg)
{
    return std::bit_cast<float>(static_cast<uint32_t>(arg));
}

void bz_MemDevice_SetSlotResult(int32_t slot, int32_t code)
{
    if (slot >= 0 && slot < kSlots)
        gForced[slot] = code;
}

uint32_t bz_MemDevice_PixelBytes()
{
    return gPixelBytes;
}
