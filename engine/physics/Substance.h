// Substances: the physical materials of bodies and collision surfaces, held in 64 numbered
// slots, and the values of a pair of substances in contact.
//
// The whole engine names a substance by its slot number. The dynamics start-up registers the 41
// built-in substances (row i lands in slot i, slot 0 is DEFAULT); the dynamics text reader, the
// car physics and the game register more. A slot number that is 64 or above, or names a free
// slot, reads as DEFAULT, and writes through it are refused with BZ_ERROR_INVALID_HANDLE.
// Friction values below 0 or NaN are refused wherever values come in.
//
// Pair values: an ordered pair (first, second) may hold explicit values; without them a pair
// query combines the two substances (mean density, geometric-mean frictions, mean restitution
// limited to [0, 1] unless either is unbounded, the larger bump height). Pair queries run at
// every contact and allocate nothing.
#pragma once

#include <cstdint>

// One substance. The values of a substance are every field but the last; copies never carry
// the name or the extra data block.
struct BZDSubstance
{
    float density;                 // kg per cubic metre
    float staticFriction;          // while a contact does not slide
    float slidingFriction;         // while a contact slides
    float restitution;             // 0 = no bounce
    uint32_t restitutionUnbounded; // set on either of a pair: combined restitution not limited to 1
    float bumpHeight;              // metres; 0 = smooth
    float bumpSpacing;             // metres between bumps
    float bumpWeight;
    float hardness;          // 0 to 1, read by the bullet tracing
    float auxFraction;       // 0 to 1
    uint32_t sideWord;       // belongs to one side of a contact
    uint32_t sideWordSecond; // 0 in a substance; the second's sideWord in a pair
    uint16_t labelId;        // the label the dynamics text names the substance by
    union
    {
        const char *name; // a built-in row's name
        void *extraData;  // a registered copy's extra data block (null until made)
    };
};

// The explicit values of an ordered pair: a substance's fields, values only.
typedef BZDSubstance BZDSubstancePair;

constexpr uint32_t BZ_SUBSTANCE_SLOTS = 64;
constexpr uint32_t BZ_SUBSTANCE_BUILT_INS = 41;
constexpr uint32_t BZ_SUBSTANCE_PAIRS = 128;
constexpr uint32_t BZ_SUBSTANCE_DEFAULT = 0;
// What bz_Substance_Register gives when it registers nothing: no slot.
constexpr uint32_t BZ_SUBSTANCE_NONE = 0xFF;

// Results of the pair table.
enum : int32_t
{
    BZ_ERROR_SUBSTANCE_PAIRS_FULL = 171, // all 128 pair entries are in use
    BZ_ERROR_SUBSTANCE_NO_PAIR = 172,    // the key has no pair entry
};

// The 41 constant built-in rows, in row order.
const BZDSubstance *bz_Substance_BuiltInRows();

// Registers the built-in rows in row order and records their slots; 0. Does nothing when they
// are registered already.
int32_t bz_Substance_RegisterBuiltIns();
// Copies the values into a zero-filled record in the lowest free slot and returns the slot.
// BZ_SUBSTANCE_NONE when nothing is registered: bzgLastError is BZ_ERROR_NO_MEMORY when all 64
// slots are taken or memory ran out, BZ_ERROR_PARAMETER_OUT_OF_RANGE for a negative or NaN
// friction.
uint32_t bz_Substance_Register(const BZDSubstance *values);
// Frees the slot's record with its extra data block and the pair entries of both key orders
// that name it; 0. A built-in slot is refused (BZ_ERROR_INVALID_PARAMETER): built-ins go only
// with bz_Substance_UnregisterAll.
int32_t bz_Substance_Unregister(uint32_t slot);
// Unregisters the built-in slots; later substances stay with their owners. 0.
int32_t bz_Substance_UnregisterAll();
// The slot of the built-in row named so (case ignored), DEFAULT (0) when none is.
uint32_t bz_Substance_FindByName(const char *name);
// Copies the slot's values into out; 0. An unusable slot copies DEFAULT's values and returns
// BZ_ERROR_INVALID_HANDLE.
int32_t bz_Substance_GetProperties(uint32_t slot, BZDSubstance *out);
// Copies the values into the slot's record; 0.
int32_t bz_Substance_SetProperties(uint32_t slot, const BZDSubstance *values);
uint16_t bz_Substance_GetLabelId(uint32_t slot);
// 1 when the slot holds a registered built-in, else 0.
int32_t bz_Substance_IsBuiltIn(uint32_t slot);
// 1 when the slot number names a registered substance, else 0.
int32_t bz_Substance_IsRegistered(uint32_t slot);
// The next registered slot above the given one, 0 when none: a walk starts at 0 and ends when
// 0 comes back.
uint32_t bz_Substance_Next(uint32_t slot);
// Copies the values of one record into another.
void bz_Substance_CopyRecord(const BZDSubstance *from, BZDSubstance *to);

// The slot's extra data block, a child block of its record freed with it. Alloc replaces (and
// frees) a block the slot already has; null for an unusable slot or without memory.
void *bz_Substance_AllocExtraData(uint32_t slot, uint32_t size);
void *bz_Substance_GetExtraData(uint32_t slot);
// Stores a block the caller keeps owning; 0.
int32_t bz_Substance_SetExtraData(uint32_t slot, void *block);
// Frees the slot's block (when it is a child of the record) and clears it; 0.
int32_t bz_Substance_FreeExtraData(uint32_t slot);

// The substance slot a record keeps in its second 32-bit word, and storing it there.
uint32_t bz_Substance_SlotOf(const void *record);
int32_t bz_Substance_SetSlotOf(uint32_t slot, void *record);

// Pair queries: the entry's value when the key (first, second) has one, else the combination.
float bz_SubstancePair_GetStaticFriction(uint32_t first, uint32_t second);
float bz_SubstancePair_GetSlidingFriction(uint32_t first, uint32_t second);
float bz_SubstancePair_GetRestitution(uint32_t first, uint32_t second);
int32_t bz_SubstancePair_GetBumps(uint32_t first, uint32_t second, float *height, float *spacing,
                                  float *weight);
int32_t bz_SubstancePair_GetSideWords(uint32_t first, uint32_t second, uint32_t *firstWord,
                                      uint32_t *secondWord);
// With an entry its values; without, the combined density, frictions, restitution, bumps and
// side words, the other fields of out as the caller left them. 0.
int32_t bz_SubstancePair_GetProperties(uint32_t first, uint32_t second, BZDSubstancePair *out);

// The combination rules on two records.
float bz_SubstancePair_CombineRestitution(const BZDSubstance *a, const BZDSubstance *b);
float bz_SubstancePair_CombineStaticFriction(const BZDSubstance *a, const BZDSubstance *b);
float bz_SubstancePair_CombineSlidingFriction(const BZDSubstance *a, const BZDSubstance *b);
void bz_SubstancePair_CombineBumps(const BZDSubstance *a, const BZDSubstance *b, float *height,
                                   float *spacing, float *weight);
void bz_SubstancePair_SideWordsOfRecords(const BZDSubstance *a, const BZDSubstance *b,
                                         uint32_t *firstWord, uint32_t *secondWord);

// Gives the key an entry with the values (an existing one is overwritten in place); 0, or
// BZ_ERROR_SUBSTANCE_PAIRS_FULL with nothing changed.
int32_t bz_SubstancePair_Set(uint32_t first, uint32_t second, const BZDSubstancePair *values);
// Frees the key's entry; 0, or BZ_ERROR_SUBSTANCE_NO_PAIR.
int32_t bz_SubstancePair_Remove(uint32_t first, uint32_t second);
// The key's entry, or null.
const BZDSubstancePair *bz_SubstancePair_Find(uint32_t first, uint32_t second);
int32_t bz_SubstancePair_Exists(uint32_t first, uint32_t second);
// The entry number (1 to 128) of the key, 0 without one.
uint32_t bz_SubstancePair_EntryNumber(uint32_t first, uint32_t second);
