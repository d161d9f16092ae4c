// Car surface blocks of the substances, the default block and the bump height of a surface.
#include "physics/CarSurface.h"

#include "core/Error.h"
#include "physics/Substance.h"

#include <cmath>

bzCarSurface bzgDefaultCarSurface = {0.0f, 1.0f, 0.0f, 1.0f, 0.0f};

const bzCarSurface *bz_PhysCar_GetSurface(uint32_t slot)
{
    if (slot == BZ_SUBSTANCE_DEFAULT)
        return &bzgDefaultCarSurface;
    auto *block = static_cast<const bzCarSurface *>(bz_Substance_GetExtraData(slot));
    return block ? block : &bzgDefaultCarSurface;
}

const bzCarSurface *bz_PhysCar_GetOwnerSurface(const void *owner)
{
    return owner ? bz_PhysCar_GetSurface(bz_Substance_SlotOf(owner)) : &bzgDefaultCarSurface;
}

void bz_PhysCar_SetDefaultSurface(float slip, float friction, float bmagnitude, float bwavelength,
                                  float rollingresistance)
{
    bzgDefaultCarSurface = {slip, friction, bmagnitude, bwavelength, rollingresistance};
}

int32_t bz_PhysCar_SetSubstanceSurface(uint32_t slot, float slip, float friction, float bmagnitude,
                                       float bwavelength, float rollingresistance)
{
    if (!bz_Substance_IsRegistered(slot))
        return bzgLastError = BZ_ERROR_INVALID_HANDLE;
    auto *block = static_cast<bzCarSurface *>(bz_Substance_GetExtraData(slot));
    if (!block)
        block = static_cast<bzCarSurface *>(bz_Substance_AllocExtraData(slot, sizeof *block));
    if (!block)
        return bzgLastError = BZ_ERROR_NO_MEMORY;
    *block = {slip, friction, bmagnitude, bwavelength, rollingresistance};
    return BZ_ERROR_NONE;
}

int32_t bz_PhysCar_SetSurface(void *owner, float slip, float friction, float bmagnitude,
                              float bwavelength, float rollingresistance)
{
    if (!owner)
        return bzgLastError = BZ_ERROR_INVALID_PARAMETER;
    uint32_t slot = bz_Substance_SlotOf(owner);
    if (slot == BZ_SUBSTANCE_DEFAULT || !bz_Substance_IsRegistered(slot))
    {
        BZDSubstance values;
        bz_Substance_GetProperties(BZ_SUBSTANCE_DEFAULT, &values);
        slot = bz_Substance_Register(&values);
        if (slot == BZ_SUBSTANCE_NONE)
            return bzgLastError;
        bz_Substance_SetSlotOf(slot, owner);
    }
    return bz_PhysCar_SetSubstanceSurface(slot, slip, friction, bmagnitude, bwavelength,
                                          rollingresistance);
}

float bz_PhysCar_BumpWave(float u)
{
    if (!std::isfinite(u))
        return 0.0f;
    float f = u - std::trunc(u);
    if (f < 0.0f)
        f += 1.0f;
    f = 2.0f * f;
    if (f > 1.0f)
        f = 2.0f - f;
    return f;
}

float bz_PhysCar_BumpRise(const bzCarSurface *surface, float x, float z)
{
    if (surface->bmagnitude == 0.0f || !std::isfinite(surface->bwavelength) ||
        surface->bwavelength == 0.0f)
        return 0.0f;
    float k = 1.0f / surface->bwavelength;
    return bz_PhysCar_BumpWave(k * x) * bz_PhysCar_BumpWave(k * z) * surface->bmagnitude;
}

float bz_PhysCar_BumpedDistance(const bzCarSurface *surface, const bzV3 *p, float d)
{
    return d - bz_PhysCar_BumpRise(surface, p->x, p->z);
}
