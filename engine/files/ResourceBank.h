// Resource banks: one block of memory, and the identical ".BZR" image on disk, holding typed
// binary resources filed under a four-character type code and a 32-bit id; a resource may itself
// be a bank. Layout (little-endian, offsets from the start of the bank):
//   header, 12 bytes: u16 version (257), u16 type count T, u32 size (low 24 bits) and flags
//     (bit 24 modified, bit 25 read-only), u32 reserved;
//   type table, T x 8 bytes sorted by code: u32 code, u16 resource count R, u16 table offset;
//   resource tables, R x 16 bytes each sorted by id: u32 id, u32 size (low 24 bits) and flags,
//     u32 file offset, u32 data;
//   the data of the resources stored inside the bank.
// Every operation gives 0 or one of the bank codes below.
#pragma once

#include <cstdint>

struct bzFileHandle;
struct bzBankHandle;
typedef bzBankHandle *bzBank;

enum : int32_t
{
    BZ_BANK_OK = 0,
    BZ_BANK_NOT_FOUND = 198,  // type or resource absent, or index out of range
    BZ_BANK_IN_BANK = 199,    // the data lies inside the bank and cannot be released
    BZ_BANK_NOT_LOADED = 200, // the data is not loaded
    BZ_BANK_READ_ONLY = 201,  // a read-only bank, or a child bank where plain data is needed
    BZ_BANK_FULL = 203,       // 65,535 entries, or a directory that would pass 64 KB
};

constexpr uint16_t BZ_BANK_VERSION = 257;
constexpr uint32_t BZ_BANK_HEADER_SIZE = 12;
constexpr uint32_t BZ_BANK_ALL = 0xFFFFFFFEu; // (-2) every type or every resource in a dump

// Header flag bits (of the size word) and resource flag bits (of the size word).
enum : uint32_t
{
    BZ_BANK_MODIFIED = 1u << 24,
    BZ_BANK_IS_READ_ONLY = 1u << 25,
    BZ_BANK_RES_IN_BANK = 1u << 24,
    BZ_BANK_RES_CHILD = 1u << 25,
    BZ_BANK_RES_SEPARATE = 1u << 26,
    BZ_BANK_RES_HANDLE = 1u << 27,
    BZ_BANK_SIZE_MASK = 0x00FFFFFFu,
};

// Copies of the directory entries, as stored.
struct bzBankTypeEntry
{
    uint32_t code;
    uint16_t count;
    uint16_t offset;
};

struct bzBankResourceEntry
{
    uint32_t id;
    uint32_t sizeFlags;
    uint32_t fileOffset;
    uint32_t data;
};

// The four characters of a type code, the first in the top byte.
constexpr uint32_t BZ_BANK_CODE(char a, char b, char c, char d)
{
    return (uint32_t)(uint8_t)a << 24 | (uint32_t)(uint8_t)b << 16 | (uint32_t)(uint8_t)c << 8 |
           (uint32_t)(uint8_t)d;
}

// An empty bank: version 257, no types, size 12. An editable bank keeps the open file it saves
// into (null for none); a read-only one has no edit record.
int32_t bz_Bank_Create(bzBank *out, bzFileHandle *file, int32_t editable);
// name with ".BZR" appended when it holds no "."; into out (size bytes).
void bz_Bank_FixName(char *out, int32_t size, const char *name);
// Loads a bank from an open file, whole or directory only (the data then stays on disk and is
// fetched on demand). The bank keeps the file and closes it when it is closed.
int32_t bz_Bank_Load(bzBank *out, bzFileHandle *file, int32_t whole, int32_t readOnly);
int32_t bz_Bank_OpenForUpdate(bzBank *out, const char *name, int32_t whole);
// Writes the bank into its file: the directory, then every resource's data in table order.
int32_t bz_Bank_Save(bzBank bank);
// Creates an empty bank file of that name.
int32_t bz_Bank_CreateFile(const char *name);

int32_t bz_Bank_TypeCount(bzBank bank);
uint32_t bz_Bank_TypeCode(bzBank bank, int32_t index);
typedef int32_t (*bzBankWalkFn)(bzBank bank, const bzBankTypeEntry *type,
                                const bzBankResourceEntry *resource, void *argument);
int32_t bz_Bank_Walk(bzBank bank, bzBankWalkFn fn, void *argument);
int32_t bz_Bank_Count(bzBank bank, uint32_t type);
uint32_t bz_Bank_NextFreeId(bzBank bank, uint32_t type);
int32_t bz_Bank_EntryByIndex(bzBank bank, uint32_t type, int32_t index, bzBankTypeEntry *typeOut,
                             bzBankResourceEntry *out);
int32_t bz_Bank_EntryById(bzBank bank, uint32_t type, uint32_t id, bzBankTypeEntry *typeOut,
                          bzBankResourceEntry *out);
int32_t bz_Bank_InfoByIndex(bzBank bank, uint32_t type, int32_t index, uint32_t *id, uint32_t *size,
                            uint8_t *flags);
int32_t bz_Bank_InfoById(bzBank bank, uint32_t type, uint32_t id, uint32_t *size, uint8_t *flags);

// The data of a resource (null when there is none); a child bank is given as its handle.
void *bz_Bank_FetchByIndex(bzBank bank, uint32_t type, int32_t index);
void *bz_Bank_FetchById(bzBank bank, uint32_t type, uint32_t id);
int32_t bz_Bank_GetFetch();
void bz_Bank_SetFetch(int32_t on);
int32_t bz_Bank_ForgetByIndex(bzBank bank, uint32_t type, int32_t index);
int32_t bz_Bank_ForgetById(bzBank bank, uint32_t type, uint32_t id);
int32_t bz_Bank_ReleaseByIndex(bzBank bank, uint32_t type, int32_t index);
int32_t bz_Bank_ReleaseById(bzBank bank, uint32_t type, uint32_t id);

int32_t bz_Bank_MarkModified(bzBank bank);
int32_t bz_Bank_Flush(bzBank bank);
int32_t bz_Bank_Close(bzBank bank);
void bz_Bank_Free(bzBank bank);

// Editing.
int32_t bz_Bank_SetDataByIndex(bzBank bank, uint32_t type, int32_t index, const void *data,
                               uint32_t size);
int32_t bz_Bank_SetDataById(bzBank bank, uint32_t type, uint32_t id, const void *data,
                            uint32_t size);
int32_t bz_Bank_InsertType(bzBank bank, uint32_t type);
// Inserts an empty resource (the type too when it is absent); an id already there is kept.
int32_t bz_Bank_InsertResource(bzBank bank, uint32_t type, uint32_t id);
int32_t bz_Bank_RemoveResource(bzBank bank, uint32_t type, uint32_t id);
// Stores child as a resource; the child then belongs to the bank.
int32_t bz_Bank_AddChild(bzBank bank, uint32_t type, uint32_t id, bzBank child);
bzBank bz_Bank_ReachChild(bzBank bank, uint32_t type, uint32_t id);
// The parent, type and id a child bank was reached through (null parent for a top bank).
bzBank bz_Bank_GetParent(bzBank bank, uint32_t *type, uint32_t *id);

// Writes a text dump of a bank (all types and ids with BZ_BANK_ALL) to the named debug output
// (null for the debug stream, "STDOUT" for the standard output, a "%" marker for a numbered
// file); 0, or 19 when the output cannot be opened.
int32_t bz_Bank_Dump(bzBank bank, const char *output, const char *bankName, uint32_t type,
                     uint32_t id);

// The bank block itself (its size is in the header).
const uint8_t *bz_Bank_Block(bzBank bank);
