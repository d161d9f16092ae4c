// Values of an ordered pair of substances: explicit pair entries and the combination rules.
#include "core/Error.h"
#include "core/Memory.h"
#include "physics/SubstanceInternal.h"

#include <algorithm>
#include <cmath>

namespace
{
// Entry number (1 to 128) of each ordered key first x 64 + second; 0 = none.
uint8_t gPairIndex[BZ_SUBSTANCE_SLOTS * BZ_SUBSTANCE_SLOTS];
// Entry n lives at gEntries[n - 1].
BZDSubstancePair *gEntries[BZ_SUBSTANCE_PAIRS];

// The key's index cell, null when either slot is 64 or above.
uint8_t *IndexCell(uint32_t first, uint32_t second)
{
    if (first >= BZ_SUBSTANCE_SLOTS || second >= BZ_SUBSTANCE_SLOTS)
        return nullptr;
    return &gPairIndex[first * BZ_SUBSTANCE_SLOTS + second];
}

const BZDSubstancePair *EntryOf(uint32_t first, uint32_t second)
{
    const uint8_t *cell = IndexCell(first, second);
    return cell && *cell ? gEntries[*cell - 1] : nullptr;
}

void FreeEntry(uint8_t *cell)
{
    if (!*cell)
        return;
    bz_MemFree(gEntries[*cell - 1]);
    gEntries[*cell - 1] = nullptr;
    *cell = 0;
}
} // namespace

using namespace bzSubst;

void bzSubst::DropPairsOf(uint32_t slot)
{
    for (uint32_t j = 0; j < BZ_SUBSTANCE_SLOTS; ++j)
    {
        FreeEntry(IndexCell(slot, j));
        FreeEntry(IndexCell(j, slot));
    }
}

float bz_SubstancePair_CombineRestitution(const BZDSubstance *a, const BZDSubstance *b)
{
    float r = (a->restitution + b->restitution) * 0.5f;
    if (!(r > 0.0f))
        r = 0.0f;
    if (!a->restitutionUnbounded && !b->restitutionUnbounded && !(r < 1.0f))
        r = 1.0f;
    return r;
}

float bz_SubstancePair_CombineStaticFriction(const BZDSubstance *a, const BZDSubstance *b)
{
    return std::sqrt(a->staticFriction * b->staticFriction);
}

float bz_SubstancePair_CombineSlidingFriction(const BZDSubstance *a, const BZDSubstance *b)
{
    return std::sqrt(a->slidingFriction * b->slidingFriction);
}

void bz_SubstancePair_CombineBumps(const BZDSubstance *a, const BZDSubstance *b, float *height,
                                   float *spacing, float *weight)
{
    *height = std::max(a->bumpHeight, b->bumpHeight);
    if (a->bumpHeight != 0.0f && b->bumpHeight != 0.0f)
    {
        *spacing = (a->bumpSpacing + b->bumpSpacing) * 0.5f;
        *weight = (a->bumpWeight + b->bumpWeight) * 0.5f;
    }
    else if (a->bumpHeight == 0.0f)
    {
        *spacing = b->bumpSpacing;
        *weight = b->bumpWeight;
    }
    else
    {
        *spacing = a->bumpSpacing;
        *weight = a->bumpWeight;
    }
}

void bz_SubstancePair_SideWordsOfRecords(const BZDSubstance *a, const BZDSubstance *b,
                                         uint32_t *firstWord, uint32_t *secondWord)
{
    *firstWord = a->sideWord;
    *secondWord = b->sideWord;
}

float bz_SubstancePair_GetStaticFriction(uint32_t first, uint32_t second)
{
    if (const BZDSubstancePair *e = EntryOf(first, second))
        return e->staticFriction;
    return bz_SubstancePair_CombineStaticFriction(ValuesOf(first), ValuesOf(second));
}

float bz_SubstancePair_GetSlidingFriction(uint32_t first, uint32_t second)
{
    if (const BZDSubstancePair *e = EntryOf(first, second))
        return e->slidingFriction;
    return bz_SubstancePair_CombineSlidingFriction(ValuesOf(first), ValuesOf(second));
}

float bz_SubstancePair_GetRestitution(uint32_t first, uint32_t second)
{
    if (const BZDSubstancePair *e = EntryOf(first, second))
        return e->restitution;
    return bz_SubstancePair_CombineRestitution(ValuesOf(first), ValuesOf(second));
}

int32_t bz_SubstancePair_GetBumps(uint32_t first, uint32_t second, float *height, float *spacing,
                                  float *weight)
{
    if (const BZDSubstancePair *e = EntryOf(first, second))
    {
        *height = e->bumpHeight;
        *spacing = e->bumpSpacing;
        *weight = e->bumpWeight;
        return BZ_ERROR_NONE;
    }
    bz_SubstancePair_CombineBumps(ValuesOf(first), ValuesOf(second), height, spacing, weight);
    return BZ_ERROR_NONE;
}

int32_t bz_SubstancePair_GetSideWords(uint32_t first, uint32_t second, uint32_t *firstWord,
                                      uint32_t *secondWord)
{
    if (const BZDSubstancePair *e = EntryOf(first, second))
    {
        *firstWord = e->sideWord;
        *secondWord = e->sideWordSecond;
        return BZ_ERROR_NONE;
    }
    bz_SubstancePair_SideWordsOfRecords(ValuesOf(first), ValuesOf(second), firstWord, secondWord);
    return BZ_ERROR_NONE;
}

int32_t bz_SubstancePair_GetProperties(uint32_t first, uint32_t second, BZDSubstancePair *out)
{
    if (const BZDSubstancePair *e = EntryOf(first, second))
    {
        bz_Substance_CopyRecord(e, out);
        return BZ_ERROR_NONE;
    }
    const BZDSubstance *a = ValuesOf(first);
    const BZDSubstance *b = ValuesOf(second);
    out->density = (a->density + b->density) * 0.5f;
    out->staticFriction = bz_SubstancePair_CombineStaticFriction(a, b);
    out->slidingFriction = bz_SubstancePair_CombineSlidingFriction(a, b);
    out->restitution = bz_SubstancePair_CombineRestitution(a, b);
    bz_SubstancePair_CombineBumps(a, b, &out->bumpHeight, &out->bumpSpacing, &out->bumpWeight);
    bz_SubstancePair_SideWordsOfRecords(a, b, &out->sideWord, &out->sideWordSecond);
    return BZ_ERROR_NONE;
}

int32_t bz_SubstancePair_Set(uint32_t first, uint32_t second, const BZDSubstancePair *values)
{
    uint8_t *cell = IndexCell(first, second);
    if (!cell || !RecordOf(first) || !RecordOf(second))
        return bzgLastError = BZ_ERROR_INVALID_HANDLE;
    if (!FrictionUsable(values))
        return bzgLastError = BZ_ERROR_PARAMETER_OUT_OF_RANGE;
    if (*cell)
    {
        bz_Substance_CopyRecord(values, gEntries[*cell - 1]);
        return BZ_ERROR_NONE;
    }
    for (uint32_t n = 1; n <= BZ_SUBSTANCE_PAIRS; ++n)
    {
        if (gEntries[n - 1])
            continue;
        auto *entry =
            static_cast<BZDSubstancePair *>(bz_MemAlloc(sizeof(BZDSubstancePair), BZ_MEM_CLEAR));
        if (!entry)
            return bzgLastError = BZ_ERROR_NO_MEMORY;
        bz_Substance_CopyRecord(values, entry);
        gEntries[n - 1] = entry;
        *cell = static_cast<uint8_t>(n);
        return BZ_ERROR_NONE;
    }
    return BZ_ERROR_SUBSTANCE_PAIRS_FULL;
}

int32_t bz_SubstancePair_Remove(uint32_t first, uint32_t second)
{
    uint8_t *cell = IndexCell(first, second);
    if (!cell || !*cell)
        return BZ_ERROR_SUBSTANCE_NO_PAIR;
    FreeEntry(cell);
    return BZ_ERROR_NONE;
}

const BZDSubstancePair *bz_SubstancePair_Find(uint32_t first, uint32_t second)
{
    return EntryOf(first, second);
}

int32_t bz_SubstancePair_Exists(uint32_t first, uint32_t second)
{
    return EntryOf(first, second) ? 1 : 0;
}

uint32_t bz_SubstancePair_EntryNumber(uint32_t first, uint32_t second)
{
    const uint8_t *cell = IndexCell(first, second);
    return cell ? *cell : 0;
}
