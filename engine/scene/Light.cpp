#include "scene/Light.h"

#include "core/Error.h"
#include "core/Memory.h"
#include "files/Stream.h"
#include "maths/Approx.h"
#include "maths/Vector.h"
#include "scene/Lump.h"

#include <cstring>

namespace
{
void (*gFlareInit)(bzFlare *flare);

uint32_t FloatBits(float f)
{
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    return bits;
}

float BitsFloat(uint32_t bits)
{
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}
} // namespace

void bz_Light_SetFlareInit(void (*init)(bzFlare *flare))
{
    gFlareInit = init;
}

bzLight *bz_Light_Create(uint32_t type, uint32_t parameter1, uint32_t parameter2,
                         const uint32_t *flareTemplate)
{
    bzLight *light = static_cast<bzLight *>(bz_MemAlloc(sizeof(bzLight), BZ_MEM_CLEAR));
    if (!light)
    {
        bzgLastError = BZ_ERROR_NO_MEMORY;
        return nullptr;
    }
    light->type = type;
    light->parameter1 = parameter1;
    light->parameter2 = parameter2;
    light->innerAngle = 22.5f;
    light->outerAngle = 45.0f;
    light->linearAttenuation = 0.4f;
    if (flareTemplate)
    {
        bzFlare *flare = static_cast<bzFlare *>(bz_MemAlloc(sizeof(bzFlare), BZ_MEM_CLEAR));
        if (!flare)
        {
            bz_MemFree(light);
            bzgLastError = BZ_ERROR_NO_MEMORY;
            return nullptr;
        }
        std::memcpy(flare->words, flareTemplate, sizeof flare->words);
        flare->cleared = 0;
        if (gFlareInit)
            gFlareInit(flare);
        light->flare = flare;
    }
    return light;
}

bzLight *bz_Light_Clone(const bzLight *light)
{
    if (!light)
        return nullptr;
    bzLight *copy = bz_Light_Create(light->type, light->parameter1, light->parameter2,
                                    light->flare ? light->flare->words : nullptr);
    if (!copy)
        return nullptr;
    bzFlare *flare = copy->flare;
    *copy = *light;
    copy->flare = flare;
    return copy;
}

bzLight *bz_Light_Read(uint32_t type, const uint8_t **cursor)
{
    if (!cursor || !*cursor)
        return nullptr;
    bzLight *light = bz_Light_Create(type, 0, 0, nullptr);
    if (!light)
        return nullptr;
    light->parameter1 = bz_Stream_ReadUInt(cursor);
    light->parameter2 = bz_Stream_ReadUInt(cursor);
    light->innerAngle = BitsFloat(bz_Stream_ReadUInt(cursor));
    light->outerAngle = BitsFloat(bz_Stream_ReadUInt(cursor));
    return light;
}

int32_t bz_Light_Write(const bzLight *light, uint8_t **cursor)
{
    if (!light || !cursor || !*cursor)
        return 0;
    bz_Mem_WriteU32(cursor, light->parameter1);
    bz_Mem_WriteU32(cursor, light->parameter2);
    bz_Mem_WriteU32(cursor, FloatBits(light->innerAngle));
    bz_Mem_WriteU32(cursor, FloatBits(light->outerAngle));
    return BZ_LIGHT_PAYLOAD_SIZE;
}

void bz_Light_FreeFlareOf(bzLight *light)
{
    if (!light || !light->flare)
        return;
    bz_MemFree(light->flare);
    light->flare = nullptr;
}

void bz_Light_FreeFlare(bzLump *lump)
{
    if (lump && lump->type >= BZ_LUMP_TYPE_DIRLIGHT && lump->type <= BZ_LUMP_TYPE_AMBIENTLIGHT)
        bz_Light_FreeFlareOf(static_cast<bzLight *>(lump->object));
}

void bz_Light_Free(bzLight *light)
{
    if (!light)
        return;
    bz_Light_FreeFlareOf(light);
    bz_MemFree(light);
}

int32_t bz_Light_PointInCone(const bzV3 *point, const bzM34 *matrix, float range, float angle)
{
    if (!point || !matrix)
        return 0;
    bzV3 d;
    bz_V3_SubInto(point, &matrix->row[3], &d);
    const float lengthSq = bz_V3_LengthSq(&d);
    if (!(bz_V3_Length(&d) <= range))
        return 0;
    // The apex itself has no direction; it belongs to the cone.
    if (lengthSq <= BZ_SQ_EPSILON)
        return 1;
    if (bz_V3_Dot(&d, &matrix->row[2]) < 0.0f)
        return 0;
    bzV3 l;
    bz_M34_InverseRotateV3Into(matrix, &l, &d);
    bz_V3_Normalise(&l);
    float c = l.z;
    if (c > 1.0f)
        c = 1.0f;
    return bz_ACos(c) * BZ_RAD_TO_DEG <= angle ? 1 : 0;
}
