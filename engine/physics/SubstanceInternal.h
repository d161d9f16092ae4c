// What the files of the substance module share: the slot table's record lookups and the pair
// table's clean-up of an unregistered slot.
#pragma once

#include "physics/Substance.h"

namespace bzSubst
{
// The slot's registered record, null for a slot 64 or above or a free one.
BZDSubstance *RecordOf(uint32_t slot);
// The values a read of the slot sees: its record, else DEFAULT's, else the DEFAULT row.
const BZDSubstance *ValuesOf(uint32_t slot);
// Frees the pair entries under (slot, j) and (j, slot) for every j.
void DropPairsOf(uint32_t slot);
// False for a negative or NaN friction.
bool FrictionUsable(const BZDSubstance *values);
} // namespace bzSubst
