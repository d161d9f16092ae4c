// The substance slots: registration, lookup, the built-in slot list and extra data blocks.
#include "physics/Substance.h"

#include "core/Error.h"
#include "core/Memory.h"
#include "core/Strings.h"
#include "physics/SubstanceInternal.h"

#include <cmath>
#include <cstddef>
#include <cstring>

namespace
{
BZDSubstance *gSlots[BZ_SUBSTANCE_SLOTS];
// The slot of each built-in row while the built-ins are registered.
uint8_t gBuiltInSlots[BZ_SUBSTANCE_BUILT_INS];
bool gBuiltInsRegistered;
// Set while a slot's extra data block is the child block AllocExtraData made.
bool gExtraOwned[BZ_SUBSTANCE_SLOTS];

constexpr size_t kValueBytes = offsetof(BZDSubstance, labelId) + sizeof(uint16_t);

bool UsableFriction(float f)
{
    return !std::isnan(f) && f >= 0.0f;
}
} // namespace

namespace bzSubst
{
BZDSubstance *RecordOf(uint32_t slot)
{
    return slot < BZ_SUBSTANCE_SLOTS ? gSlots[slot] : nullptr;
}

const BZDSubstance *ValuesOf(uint32_t slot)
{
    if (BZDSubstance *r = RecordOf(slot))
        return r;
    if (gSlots[BZ_SUBSTANCE_DEFAULT])
        return gSlots[BZ_SUBSTANCE_DEFAULT];
    return &bz_Substance_BuiltInRows()[0];
}

bool FrictionUsable(const BZDSubstance *values)
{
    return values && UsableFriction(values->staticFriction) &&
           UsableFriction(values->slidingFriction);
}
} // namespace bzSubst

using namespace bzSubst;

void bz_Substance_CopyRecord(const BZDSubstance *from, BZDSubstance *to)
{
    std::memcpy(to, from, kValueBytes);
}

int32_t bz_Substance_RegisterBuiltIns()
{
    if (gBuiltInsRegistered)
        return BZ_ERROR_NONE;
    const BZDSubstance *rows = bz_Substance_BuiltInRows();
    for (uint32_t i = 0; i < BZ_SUBSTANCE_BUILT_INS; ++i)
    {
        uint32_t slot = bz_Substance_Register(&rows[i]);
        gBuiltInSlots[i] = static_cast<uint8_t>(slot);
    }
    gBuiltInsRegistered = true;
    return BZ_ERROR_NONE;
}

uint32_t bz_Substance_Register(const BZDSubstance *values)
{
    if (!FrictionUsable(values))
    {
        bzgLastError = BZ_ERROR_PARAMETER_OUT_OF_RANGE;
        return BZ_SUBSTANCE_NONE;
    }
    for (uint32_t slot = 0; slot < BZ_SUBSTANCE_SLOTS; ++slot)
    {
        if (gSlots[slot])
            continue;
        auto *record = static_cast<BZDSubstance *>(bz_MemAlloc(sizeof(BZDSubstance), BZ_MEM_CLEAR));
        if (!record)
            break;
        bz_Substance_CopyRecord(values, record);
        gSlots[slot] = record;
        return slot;
    }
    bzgLastError = BZ_ERROR_NO_MEMORY;
    return BZ_SUBSTANCE_NONE;
}

int32_t bz_Substance_Unregister(uint32_t slot)
{
    BZDSubstance *record = RecordOf(slot);
    if (!record)
        return bzgLastError = BZ_ERROR_INVALID_HANDLE;
    if (bz_Substance_IsBuiltIn(slot))
        return bzgLastError = BZ_ERROR_INVALID_PARAMETER;
    bz_MemFree(record);
    gSlots[slot] = nullptr;
    gExtraOwned[slot] = false;
    DropPairsOf(slot);
    return BZ_ERROR_NONE;
}

int32_t bz_Substance_UnregisterAll()
{
    if (!gBuiltInsRegistered)
        return BZ_ERROR_NONE;
    gBuiltInsRegistered = false;
    for (uint8_t slot : gBuiltInSlots)
    {
        if (BZDSubstance *record = RecordOf(slot))
        {
            bz_MemFree(record);
            gSlots[slot] = nullptr;
            gExtraOwned[slot] = false;
            DropPairsOf(slot);
        }
    }
    std::memset(gBuiltInSlots, 0, sizeof gBuiltInSlots);
    return BZ_ERROR_NONE;
}

uint32_t bz_Substance_FindByName(const char *name)
{
    if (!name)
        return BZ_SUBSTANCE_DEFAULT;
    const BZDSubstance *rows = bz_Substance_BuiltInRows();
    for (uint32_t i = 0; i < BZ_SUBSTANCE_BUILT_INS; ++i)
    {
        if (bz_StrCompareNoCase(rows[i].name, name) == 0)
            return gBuiltInsRegistered ? gBuiltInSlots[i] : i;
    }
    return BZ_SUBSTANCE_DEFAULT;
}

int32_t bz_Substance_GetProperties(uint32_t slot, BZDSubstance *out)
{
    bz_Substance_CopyRecord(ValuesOf(slot), out);
    if (!RecordOf(slot))
        return bzgLastError = BZ_ERROR_INVALID_HANDLE;
    return BZ_ERROR_NONE;
}

int32_t bz_Substance_SetProperties(uint32_t slot, const BZDSubstance *values)
{
    BZDSubstance *record = RecordOf(slot);
    if (!record)
        return bzgLastError = BZ_ERROR_INVALID_HANDLE;
    if (!FrictionUsable(values))
        return bzgLastError = BZ_ERROR_PARAMETER_OUT_OF_RANGE;
    bz_Substance_CopyRecord(values, record);
    return BZ_ERROR_NONE;
}

uint16_t bz_Substance_GetLabelId(uint32_t slot)
{
    return ValuesOf(slot)->labelId;
}

int32_t bz_Substance_IsBuiltIn(uint32_t slot)
{
    if (!gBuiltInsRegistered || !RecordOf(slot))
        return 0;
    for (uint8_t s : gBuiltInSlots)
    {
        if (s == slot)
            return 1;
    }
    return 0;
}

int32_t bz_Substance_IsRegistered(uint32_t slot)
{
    return RecordOf(slot) ? 1 : 0;
}

uint32_t bz_Substance_Next(uint32_t slot)
{
    for (uint32_t s = slot + 1; slot < BZ_SUBSTANCE_SLOTS && s < BZ_SUBSTANCE_SLOTS; ++s)
    {
        if (gSlots[s])
            return s;
    }
    return 0;
}

void *bz_Substance_AllocExtraData(uint32_t slot, uint32_t size)
{
    BZDSubstance *record = RecordOf(slot);
    if (!record || size == 0)
    {
        bzgLastError = BZ_ERROR_INVALID_HANDLE;
        return nullptr;
    }
    bz_Substance_FreeExtraData(slot);
    record->extraData = bz_MemAlloc(size, BZ_MEM_PARENT, record);
    gExtraOwned[slot] = record->extraData != nullptr;
    return record->extraData;
}

void *bz_Substance_GetExtraData(uint32_t slot)
{
    BZDSubstance *record = RecordOf(slot);
    return record ? record->extraData : nullptr;
}

int32_t bz_Substance_SetExtraData(uint32_t slot, void *block)
{
    BZDSubstance *record = RecordOf(slot);
    if (!record)
        return bzgLastError = BZ_ERROR_INVALID_HANDLE;
    bz_Substance_FreeExtraData(slot);
    record->extraData = block;
    return BZ_ERROR_NONE;
}

int32_t bz_Substance_FreeExtraData(uint32_t slot)
{
    BZDSubstance *record = RecordOf(slot);
    if (!record)
        return bzgLastError = BZ_ERROR_INVALID_HANDLE;
    void *block = record->extraData;
    record->extraData = nullptr;
    // Taking the child off the record's list releases it.
    if (block && gExtraOwned[slot])
        bz_MemChild_Remove(record, block);
    gExtraOwned[slot] = false;
    return BZ_ERROR_NONE;
}

uint32_t bz_Substance_SlotOf(const void *record)
{
    uint32_t slot;
    std::memcpy(&slot, static_cast<const uint8_t *>(record) + 4, sizeof slot);
    return slot;
}

int32_t bz_Substance_SetSlotOf(uint32_t slot, void *record)
{
    std::memcpy(static_cast<uint8_t *>(record) + 4, &slot, sizeof slot);
    return BZ_ERROR_NONE;
}
