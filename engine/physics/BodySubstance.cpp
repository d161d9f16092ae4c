// A body's substance through the dynamics controller.
#include "physics/BodySubstance.h"

#include "core/Error.h"
#include "physics/PhysServices.h"
#include "physics/Substance.h"

namespace
{
void *ElementOf(void *lump)
{
    return bzgPhysDynamics.elementOfLump && lump ? bzgPhysDynamics.elementOfLump(lump) : nullptr;
}
} // namespace

int32_t bz_Dyn_SetBodySubstance(void *lump, uint32_t slot)
{
    if (!bz_Substance_IsRegistered(slot))
        return bzgLastError = BZ_ERROR_PARAMETER_OUT_OF_RANGE;
    void *element = ElementOf(lump);
    if (!element || !bzgPhysDynamics.setAttribute)
        return BZ_DYN_NO_CONTROLLER;
    const int32_t value = static_cast<int32_t>(slot);
    return bzgPhysDynamics.setAttribute(element, BZ_MECH_ATTRIBUTE_SUBSTANCE, &value);
}

uint32_t bz_Dyn_GetBodySubstance(void *lump)
{
    void *element = ElementOf(lump);
    if (!element)
        return BZ_SUBSTANCE_DEFAULT;
    if (bzgPhysDynamics.isPending && bzgPhysDynamics.markChanged &&
        bzgPhysDynamics.isPending(element, BZ_MECH_ATTRIBUTE_SUBSTANCE))
        bzgPhysDynamics.markChanged(element, BZ_MECH_ATTRIBUTE_SUBSTANCE);
    const void *address =
        bzgPhysDynamics.attributeAddress
            ? bzgPhysDynamics.attributeAddress(element, BZ_MECH_ATTRIBUTE_SUBSTANCE)
            : nullptr;
    if (!address)
        return BZ_SUBSTANCE_DEFAULT;
    const int32_t slot = *static_cast<const int32_t *>(address);
    return slot >= 0 && bz_Substance_IsRegistered(static_cast<uint32_t>(slot))
               ? static_cast<uint32_t>(slot)
               : BZ_SUBSTANCE_DEFAULT;
}
