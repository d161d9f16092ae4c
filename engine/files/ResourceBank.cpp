#include "files/ResourceBank.h"

#include "core/Array.h"
#include "core/Bytes.h"
#include "files/DebugOutput.h"
#include "core/Error.h"
#include "files/File.h"
#include "core/Memory.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

// The bank block keeps the file layout byte for byte. Words that held a pointer on the
// original 32-bit machine cannot here: the header's edit-record word stays 0 and the edit record
// lives in the handle, and the data word of a resource whose data is held in a block of its own
// (or that is a reached child bank) holds a 1-based slot number of the handle's pointer table.
struct bzBankHandle
{
    uint8_t *block;
    uint32_t blockSize;
    bzFileHandle *file;
    int32_t editable;
    // Edit record.
    uint32_t directorySize;
    uint32_t nextFree;
    bzBank parent;
    uint32_t parentType;
    uint32_t parentId;
    // Pointer table: a free entry holds (next free slot << 1) | 1.
    bzArray<uintptr_t> slots;
    uint32_t freeSlot; // 1-based, 0 when none
};

namespace
{
int32_t gFetch = 1;
int32_t gHandlePool;
uint32_t gHandleCount;

constexpr uint32_t kMaxDirectory = 0xFFFF; // table offsets are 16-bit
constexpr uint32_t kMaxEntries = 65535;
// Child banks reached below this many levels are refused: the dump, the save and the free walk
// nested banks recursively, and a damaged file could nest them as deep as its size allows.
constexpr int32_t kMaxChildDepth = 32;

// ---- Words of the block ----

uint16_t TypeCount(const bzBank bank)
{
    return bz_GetU16LE(bank->block + 2);
}

uint8_t *TypeEntry(const bzBank bank, uint32_t index)
{
    return bank->block + BZ_BANK_HEADER_SIZE + 8 * index;
}

uint16_t ResourceCount(const bzBank bank, uint32_t typeIndex)
{
    return bz_GetU16LE(TypeEntry(bank, typeIndex) + 4);
}

uint8_t *ResourceEntry(const bzBank bank, uint32_t typeIndex, uint32_t index)
{
    return bank->block + bz_GetU16LE(TypeEntry(bank, typeIndex) + 6) + 16 * index;
}

uint32_t DirectorySize(const bzBank bank)
{
    uint32_t size = BZ_BANK_HEADER_SIZE + 8u * TypeCount(bank);
    for (uint32_t k = 0; k < TypeCount(bank); k++)
        size += 16u * ResourceCount(bank, k);
    return size;
}

void SetHeaderSize(bzBank bank)
{
    uint32_t word = bz_GetU32LE(bank->block + 4);
    bz_PutU32LE(bank->block + 4,
                (word & ~BZ_BANK_SIZE_MASK) | (bank->blockSize & BZ_BANK_SIZE_MASK));
}

void Decode(const uint8_t *entry, bzBankResourceEntry *out)
{
    out->id = bz_GetU32LE(entry);
    out->sizeFlags = bz_GetU32LE(entry + 4);
    out->fileOffset = bz_GetU32LE(entry + 8);
    out->data = bz_GetU32LE(entry + 12);
}

void DecodeType(const uint8_t *entry, bzBankTypeEntry *out)
{
    out->code = bz_GetU32LE(entry);
    out->count = bz_GetU16LE(entry + 4);
    out->offset = bz_GetU16LE(entry + 6);
}

// Binary search over entries sorted by their first word: between the first and the last index,
// the middle entry decides which half; the entry is given only when its key equals the key.
int32_t Search(const uint8_t *table, uint32_t count, uint32_t stride, uint32_t key)
{
    if (count == 0)
        return -1;
    uint32_t low = 0, high = count - 1;
    while (high - low > 1)
    {
        uint32_t middle = (low + high) / 2;
        if (key > bz_GetU32LE(table + stride * middle))
            low = middle;
        else
            high = middle;
    }
    if (bz_GetU32LE(table + stride * low) == key)
        return static_cast<int32_t>(low);
    if (bz_GetU32LE(table + stride * high) == key)
        return static_cast<int32_t>(high);
    return -1;
}

int32_t FindType(const bzBank bank, uint32_t code)
{
    return Search(bank->block + BZ_BANK_HEADER_SIZE, TypeCount(bank), 8, code);
}

// The resource entry of a type by id (byIndex false) or by index; null when absent.
uint8_t *FindEntry(const bzBank bank, uint32_t type, uint32_t key, bool byIndex,
                   int32_t *typeIndexOut = nullptr)
{
    if (!bank)
        return nullptr;
    int32_t typeIndex = FindType(bank, type);
    if (typeIndex < 0)
        return nullptr;
    uint32_t count = ResourceCount(bank, static_cast<uint32_t>(typeIndex));
    int32_t index;
    if (byIndex)
        index = key < count ? static_cast<int32_t>(key) : -1;
    else
        index = Search(ResourceEntry(bank, static_cast<uint32_t>(typeIndex), 0), count, 16, key);
    if (index < 0)
        return nullptr;
    if (typeIndexOut)
        *typeIndexOut = typeIndex;
    return ResourceEntry(bank, static_cast<uint32_t>(typeIndex), static_cast<uint32_t>(index));
}

// ---- Pointer table ----

uint32_t TakeSlot(bzBank bank, void *pointer)
{
    if (bank->freeSlot)
    {
        uint32_t slot = bank->freeSlot;
        bank->freeSlot = static_cast<uint32_t>(bank->slots[slot - 1] >> 1);
        bank->slots[slot - 1] = reinterpret_cast<uintptr_t>(pointer);
        return slot;
    }
    if (!bank->slots.Push(reinterpret_cast<uintptr_t>(pointer)))
        return 0;
    return bank->slots.count;
}

void *SlotPointer(const bzBank bank, uint32_t slot)
{
    if (slot == 0 || slot > bank->slots.count || (bank->slots[slot - 1] & 1))
        return nullptr;
    return reinterpret_cast<void *>(bank->slots[slot - 1]);
}

void GiveSlot(bzBank bank, uint32_t slot)
{
    if (!SlotPointer(bank, slot))
        return;
    bank->slots[slot - 1] = (static_cast<uintptr_t>(bank->freeSlot) << 1) | 1;
    bank->freeSlot = slot;
}

// ---- Handles ----

bzBank NewHandle()
{
    if (!gHandlePool)
        gHandlePool = bz_Pool_Create(sizeof(bzBankHandle), 64, 1, 0);
    if (!gHandlePool)
        return nullptr;
    bzBank bank = static_cast<bzBank>(bz_Pool_Alloc(gHandlePool, BZ_MEM_CLEAR));
    if (bank)
        gHandleCount++;
    return bank;
}

void FreeHandle(bzBank bank)
{
    bz_Pool_FreeElement(gHandlePool, bank);
    if (--gHandleCount == 0)
    {
        bz_Pool_Destroy(gHandlePool);
        gHandlePool = 0;
    }
}

int32_t NoMemory()
{
    bzgLastError = BZ_ERROR_NO_MEMORY;
    return BZ_ERROR_NO_MEMORY;
}

// Frees what a resource entry holds in a block of its own (data or a child bank) and clears
// the entry's data word and flags for it.
void DropHeld(bzBank bank, uint8_t *entry)
{
    uint32_t sizeFlags = bz_GetU32LE(entry + 4);
    uint32_t slot = bz_GetU32LE(entry + 12);
    if (sizeFlags & BZ_BANK_RES_HANDLE)
        bz_Bank_Free(static_cast<bzBank>(SlotPointer(bank, slot)));
    else if (sizeFlags & BZ_BANK_RES_SEPARATE)
    {
        if (void *data = SlotPointer(bank, slot))
            bz_MemFree(data);
    }
    else
        return;
    GiveSlot(bank, slot);
    bz_PutU32LE(entry + 4, sizeFlags & ~(BZ_BANK_RES_HANDLE | BZ_BANK_RES_SEPARATE));
    bz_PutU32LE(entry + 12, 0);
}

// Checks a bank image: the header, the type and resource tables in their places and in order,
// and (with data) every resource's data inside the image. Gives the directory size, or 0.
uint32_t CheckImage(const uint8_t *image, uint32_t size, bool withData)
{
    if (size < BZ_BANK_HEADER_SIZE)
        return 0;
    uint32_t types = bz_GetU16LE(image + 2);
    uint32_t expected = BZ_BANK_HEADER_SIZE + 8 * types;
    if (expected > size)
        return 0;
    for (uint32_t k = 0; k < types; k++)
    {
        const uint8_t *type = image + BZ_BANK_HEADER_SIZE + 8 * k;
        if (k > 0 && bz_GetU32LE(type) <= bz_GetU32LE(type - 8))
            return 0;
        if (bz_GetU16LE(type + 6) != expected)
            return 0;
        expected += 16u * bz_GetU16LE(type + 4);
        if (expected > size || expected > kMaxDirectory + 16u * kMaxEntries)
            return 0;
    }
    for (uint32_t k = 0; k < types; k++)
    {
        const uint8_t *type = image + BZ_BANK_HEADER_SIZE + 8 * k;
        const uint8_t *table = image + bz_GetU16LE(type + 6);
        for (uint32_t r = 0; r < bz_GetU16LE(type + 4); r++)
        {
            const uint8_t *entry = table + 16 * r;
            if (r > 0 && bz_GetU32LE(entry) <= bz_GetU32LE(entry - 16))
                return 0;
            uint32_t length = bz_GetU32LE(entry + 4) & BZ_BANK_SIZE_MASK;
            uint32_t offset = bz_GetU32LE(entry + 8);
            if (withData && length > 0 &&
                (offset < expected || offset > size || length > size - offset))
                return 0;
        }
    }
    return expected;
}

// Makes a handle over an image block (taken over by the handle); every resource is marked as
// lying in the bank (inBank) or as not loaded.
int32_t Adopt(bzBank *out, uint8_t *block, uint32_t size, uint32_t directorySize, bool inBank,
              bzFileHandle *file, int32_t readOnly)
{
    bzBank bank = NewHandle();
    if (!bank)
    {
        bz_MemFree(block);
        return NoMemory();
    }
    bank->block = block;
    bank->blockSize = size;
    bank->file = file;
    bank->editable = !readOnly;
    bank->directorySize = directorySize;
    bank->nextFree = size;
    uint32_t header = bz_GetU32LE(block + 4) & ~(BZ_BANK_MODIFIED | BZ_BANK_IS_READ_ONLY);
    bz_PutU32LE(block + 4, readOnly ? header | BZ_BANK_IS_READ_ONLY : header);
    bz_PutU32LE(block + 8, 0);
    SetHeaderSize(bank);
    for (uint32_t k = 0; k < TypeCount(bank); k++)
        for (uint32_t r = 0; r < ResourceCount(bank, k); r++)
        {
            uint8_t *entry = ResourceEntry(bank, k, r);
            uint32_t sizeFlags = bz_GetU32LE(entry + 4) & (BZ_BANK_SIZE_MASK | BZ_BANK_RES_CHILD);
            bz_PutU32LE(entry + 4, inBank ? sizeFlags | BZ_BANK_RES_IN_BANK : sizeFlags);
            bz_PutU32LE(entry + 12, inBank ? bz_GetU32LE(entry + 8) : 0);
        }
    *out = bank;
    return BZ_BANK_OK;
}

// Inserts count zero bytes into the block at offset.
bool Grow(bzBank bank, uint32_t offset, uint32_t count)
{
    if (bank->blockSize + count > BZ_BANK_SIZE_MASK)
        return false;
    uint8_t *block = static_cast<uint8_t *>(bz_MemRealloc(bank->block, bank->blockSize + count, 0));
    if (!block)
    {
        bzgLastError = BZ_ERROR_NO_MEMORY;
        return false;
    }
    memmove(block + offset + count, block + offset, bank->blockSize - offset);
    memset(block + offset, 0, count);
    bank->block = block;
    bank->blockSize += count;
    SetHeaderSize(bank);
    return true;
}

void Shrink(bzBank bank, uint32_t offset, uint32_t count)
{
    memmove(bank->block + offset, bank->block + offset + count, bank->blockSize - offset - count);
    bank->blockSize -= count;
    void *smaller = bz_MemRealloc(bank->block, bank->blockSize, 0);
    if (smaller)
        bank->block = static_cast<uint8_t *>(smaller);
    SetHeaderSize(bank);
}

// Moves the table offsets of the types from firstType on, and the data lying in the bank.
void ShiftOffsets(bzBank bank, uint32_t firstType, int32_t delta)
{
    for (uint32_t k = 0; k < TypeCount(bank); k++)
    {
        uint8_t *type = TypeEntry(bank, k);
        if (k >= firstType)
            bz_PutU16LE(type + 6, static_cast<uint16_t>(bz_GetU16LE(type + 6) + delta));
        for (uint32_t r = 0; r < ResourceCount(bank, k); r++)
        {
            uint8_t *entry = ResourceEntry(bank, k, r);
            if (bz_GetU32LE(entry + 4) & BZ_BANK_RES_IN_BANK)
            {
                bz_PutU32LE(entry + 8, bz_GetU32LE(entry + 8) + static_cast<uint32_t>(delta));
                bz_PutU32LE(entry + 12, bz_GetU32LE(entry + 8));
            }
        }
    }
    bank->directorySize = DirectorySize(bank);
}

// A changed child bank changes its parents too: their saves hold its image.
void MarkChanged(bzBank bank)
{
    for (; bank; bank = bank->parent)
        bz_PutU32LE(bank->block + 4, bz_GetU32LE(bank->block + 4) | BZ_BANK_MODIFIED);
}

bool ReadAt(bzFileHandle *file, uint32_t offset, void *buffer, uint32_t size)
{
    if (size == 0)
        return true;
    // The stream's own length: a bank's file may have grown since it was opened.
    if (!file ||
        static_cast<int64_t>(offset) + size > static_cast<int64_t>(bz_FileStreamLength(file)))
        return false;
    if (bz_FileSeek(file, static_cast<int32_t>(offset), 0) != 0)
        return false;
    return bz_FileRead(file, buffer, size) == size;
}

// The whole image of a bank in a new block: the directory, then each resource's data in table
// order (child banks as their own images). Gives 0 or a code.
int32_t BuildImage(bzBank bank, uint8_t **out, uint32_t *outSize)
{
    uint32_t directory = DirectorySize(bank);
    uint32_t resources = (directory - BZ_BANK_HEADER_SIZE - 8u * TypeCount(bank)) / 16;
    // Child images first, so the sizes are known.
    uint8_t **children = nullptr;
    uint32_t *childSizes = nullptr;
    if (resources)
    {
        children = static_cast<uint8_t **>(
            bz_MemAlloc(resources * static_cast<uint32_t>(sizeof(uint8_t *)), BZ_MEM_CLEAR));
        childSizes = static_cast<uint32_t *>(bz_MemAlloc(resources * 4u, BZ_MEM_CLEAR));
        if (!children || !childSizes)
        {
            bz_MemFree(children);
            bz_MemFree(childSizes);
            return NoMemory();
        }
    }
    int32_t result = BZ_BANK_OK;
    uint64_t total = directory;
    uint32_t n = 0;
    for (uint32_t k = 0; k < TypeCount(bank) && result == BZ_BANK_OK; k++)
        for (uint32_t r = 0; r < ResourceCount(bank, k) && result == BZ_BANK_OK; r++, n++)
        {
            const uint8_t *entry = ResourceEntry(bank, k, r);
            uint32_t sizeFlags = bz_GetU32LE(entry + 4);
            if (sizeFlags & BZ_BANK_RES_HANDLE)
            {
                bzBank child = static_cast<bzBank>(SlotPointer(bank, bz_GetU32LE(entry + 12)));
                result =
                    child ? BuildImage(child, &children[n], &childSizes[n]) : BZ_BANK_NOT_LOADED;
                total += childSizes[n];
            }
            else
                total += sizeFlags & BZ_BANK_SIZE_MASK;
        }
    uint8_t *image = nullptr;
    if (result == BZ_BANK_OK && total > BZ_BANK_SIZE_MASK)
        result = BZ_ERROR_PARAMETER_OUT_OF_RANGE;
    if (result == BZ_BANK_OK)
    {
        image = static_cast<uint8_t *>(bz_MemAlloc(static_cast<uint32_t>(total), BZ_MEM_CLEAR));
        if (!image)
            result = NoMemory();
    }
    if (result == BZ_BANK_OK)
    {
        memcpy(image, bank->block, directory);
        bz_PutU32LE(image + 4, static_cast<uint32_t>(total));
        bz_PutU32LE(image + 8, 0);
        uint32_t at = directory;
        n = 0;
        for (uint32_t k = 0; k < TypeCount(bank) && result == BZ_BANK_OK; k++)
            for (uint32_t r = 0; r < ResourceCount(bank, k) && result == BZ_BANK_OK; r++, n++)
            {
                const uint8_t *entry = ResourceEntry(bank, k, r);
                uint8_t *copy = image + (entry - bank->block);
                uint32_t sizeFlags = bz_GetU32LE(entry + 4);
                uint32_t length = sizeFlags & BZ_BANK_SIZE_MASK;
                if (sizeFlags & BZ_BANK_RES_HANDLE)
                {
                    length = childSizes[n];
                    memcpy(image + at, children[n], length);
                }
                else if (sizeFlags & BZ_BANK_RES_SEPARATE)
                {
                    if (const void *data = SlotPointer(bank, bz_GetU32LE(entry + 12)))
                        memcpy(image + at, data, length);
                }
                else if (sizeFlags & BZ_BANK_RES_IN_BANK)
                    memcpy(image + at, bank->block + bz_GetU32LE(entry + 8), length);
                else if (length && !ReadAt(bank->file, bz_GetU32LE(entry + 8), image + at, length))
                    result = BZ_ERROR_BAD_DATA_FORMAT;
                bz_PutU32LE(copy + 4,
                            length | BZ_BANK_RES_IN_BANK | (sizeFlags & BZ_BANK_RES_CHILD));
                bz_PutU32LE(copy + 8, at);
                bz_PutU32LE(copy + 12, at);
                at += length;
            }
    }
    for (uint32_t k = 0; k < resources; k++)
        bz_MemFree(children[k]);
    bz_MemFree(children);
    bz_MemFree(childSizes);
    if (result != BZ_BANK_OK)
    {
        bz_MemFree(image);
        return result;
    }
    *out = image;
    *outSize = static_cast<uint32_t>(total);
    return BZ_BANK_OK;
}

// Wraps child-bank bytes in a handle of their own, recording where it was reached from.
bzBank WrapChild(bzBank parent, uint32_t type, uint32_t id, uint8_t *bytes, uint32_t size)
{
    int32_t depth = 0;
    for (bzBank above = parent; above; above = above->parent)
        depth++;
    uint32_t directory = depth < kMaxChildDepth ? CheckImage(bytes, size, true) : 0;
    bzBank child = nullptr;
    if (!directory || Adopt(&child, bytes, size, directory, true, nullptr, !parent->editable))
    {
        if (!directory)
            bz_MemFree(bytes);
        return nullptr;
    }
    child->parent = parent;
    child->parentType = type;
    child->parentId = id;
    return child;
}

void *Fetch(bzBank bank, uint32_t type, uint8_t *entry)
{
    uint32_t sizeFlags = bz_GetU32LE(entry + 4);
    uint32_t length = sizeFlags & BZ_BANK_SIZE_MASK;
    if (sizeFlags & (BZ_BANK_RES_HANDLE | BZ_BANK_RES_SEPARATE))
        return SlotPointer(bank, bz_GetU32LE(entry + 12));
    uint8_t *bytes = nullptr;
    if (sizeFlags & BZ_BANK_RES_IN_BANK)
    {
        if (!(sizeFlags & BZ_BANK_RES_CHILD))
            return bank->block + bz_GetU32LE(entry + 8);
        if (!gFetch)
            return nullptr;
        // A child inside the bank gets a block of its own, so the parent can change around it.
        bytes = static_cast<uint8_t *>(bz_MemAlloc(length ? length : 1, 0));
        if (!bytes)
            return nullptr;
        memcpy(bytes, bank->block + bz_GetU32LE(entry + 8), length);
    }
    else
    {
        if (!gFetch || !bank->file || length == 0)
            return nullptr;
        bytes = static_cast<uint8_t *>(bz_MemAlloc(length, 0));
        if (!bytes)
            return nullptr;
        if (!ReadAt(bank->file, bz_GetU32LE(entry + 8), bytes, length))
        {
            bz_MemFree(bytes);
            return nullptr;
        }
    }
    void *held = bytes;
    uint32_t flag = BZ_BANK_RES_SEPARATE;
    if (sizeFlags & BZ_BANK_RES_CHILD)
    {
        // The entry is found again after wrapping: nothing moves the parent's block meanwhile.
        held = WrapChild(bank, type, bz_GetU32LE(entry), bytes, length);
        if (!held)
            return nullptr;
        flag = BZ_BANK_RES_HANDLE;
    }
    uint32_t slot = TakeSlot(bank, held);
    if (!slot)
    {
        if (flag == BZ_BANK_RES_HANDLE)
            bz_Bank_Free(static_cast<bzBank>(held));
        else
            bz_MemFree(held);
        return nullptr;
    }
    bz_PutU32LE(entry + 4, (sizeFlags & ~BZ_BANK_RES_IN_BANK) | flag);
    bz_PutU32LE(entry + 12, slot);
    return held;
}

int32_t Forget(bzBank bank, uint8_t *entry, bool release)
{
    if (!entry)
        return BZ_BANK_NOT_FOUND;
    uint32_t sizeFlags = bz_GetU32LE(entry + 4);
    if (sizeFlags & BZ_BANK_RES_IN_BANK)
        return BZ_BANK_IN_BANK;
    if (!(sizeFlags & (BZ_BANK_RES_SEPARATE | BZ_BANK_RES_HANDLE)))
        return BZ_BANK_NOT_LOADED;
    if (release)
        DropHeld(bank, entry);
    else
    {
        GiveSlot(bank, bz_GetU32LE(entry + 12));
        bz_PutU32LE(entry + 4, sizeFlags & ~(BZ_BANK_RES_SEPARATE | BZ_BANK_RES_HANDLE));
        bz_PutU32LE(entry + 12, 0);
    }
    return BZ_BANK_OK;
}

int32_t SetData(bzBank bank, uint8_t *entry, const void *data, uint32_t size)
{
    if (!bank->editable)
        return BZ_BANK_READ_ONLY;
    if (!entry)
        return BZ_BANK_NOT_FOUND;
    if (bz_GetU32LE(entry + 4) & BZ_BANK_RES_CHILD)
        return BZ_BANK_READ_ONLY;
    if (size > BZ_BANK_SIZE_MASK || (size && !data))
        return BZ_ERROR_PARAMETER_OUT_OF_RANGE;
    void *copy = bz_MemAlloc(size ? size : 1, 0);
    if (!copy)
        return NoMemory();
    if (size)
        memcpy(copy, data, size);
    // Taking the slot first leaves the entry unchanged when memory runs out.
    uint32_t slot = TakeSlot(bank, copy);
    if (!slot)
    {
        bz_MemFree(copy);
        return NoMemory();
    }
    DropHeld(bank, entry);
    bz_PutU32LE(entry + 4, size | BZ_BANK_RES_SEPARATE);
    bz_PutU32LE(entry + 8, 0);
    bz_PutU32LE(entry + 12, slot);
    MarkChanged(bank);
    return BZ_BANK_OK;
}

// ---- Dump ----

struct DumpOutput
{
    bzFileHandle *stream; // null: the standard output
};

void DumpLine(DumpOutput &out, const char *format, ...) __attribute__((format(printf, 2, 3)));
void DumpLine(DumpOutput &out, const char *format, ...)
{
    char line[1024];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof line, format, args);
    va_end(args);
    bz_DebugFilePrintf(out.stream, "%s", line);
}

void DumpBank(DumpOutput &out, bzBank bank, const char *name, uint32_t type, uint32_t id)
{
    DumpLine(out, "**** RESOURCE DUMP ****");
    DumpLine(out, "%s", "");
    DumpLine(out, "%s", name ? name : "");
    DumpLine(out, "Total bank size = %d bytes",
             static_cast<int>(bz_GetU32LE(bank->block + 4) & BZ_BANK_SIZE_MASK));
    DumpLine(out, "%d type(s)", static_cast<int>(TypeCount(bank)));
    for (uint32_t k = 0; k < TypeCount(bank); k++)
    {
        uint32_t code = bz_GetU32LE(TypeEntry(bank, k));
        if (type != BZ_BANK_ALL && code != type)
            continue;
        DumpLine(out, "%s", "");
        DumpLine(out, "    type '%c%c%c%c'", static_cast<char>(code >> 24),
                 static_cast<char>(code >> 16), static_cast<char>(code >> 8),
                 static_cast<char>(code));
        DumpLine(out, "    %d resource(s)", static_cast<int>(ResourceCount(bank, k)));
        for (uint32_t r = 0; r < ResourceCount(bank, k); r++)
        {
            uint8_t *entry = ResourceEntry(bank, k, r);
            uint32_t resourceId = bz_GetU32LE(entry);
            if (id != BZ_BANK_ALL && resourceId != id)
                continue;
            uint32_t sizeFlags = bz_GetU32LE(entry + 4);
            uint32_t length = sizeFlags & BZ_BANK_SIZE_MASK;
            DumpLine(out, "%s", "");
            DumpLine(out, "        Resource ID %d is %d byte(s) long", static_cast<int>(resourceId),
                     static_cast<int>(length));
            void *data = Fetch(bank, code, entry);
            if (sizeFlags & BZ_BANK_RES_CHILD)
            {
                if (!data)
                    continue;
                DumpLine(out, ">>>>> Recursing into child bank...");
                DumpBank(out, static_cast<bzBank>(data), "Child Bank", BZ_BANK_ALL, BZ_BANK_ALL);
                DumpLine(out, "<<<< Exiting child bank...");
                continue;
            }
            if (!data)
                continue;
            char text[256];
            uint32_t n = 0;
            const uint8_t *bytes = static_cast<const uint8_t *>(data);
            for (; n < length && n < 255 && bytes[n]; n++)
                text[n] = bytes[n] < 32 ? '_' : static_cast<char>(bytes[n]);
            text[n] = 0;
            DumpLine(out, "            %s", text);
        }
    }
}
} // namespace

// ---- Creating, loading and saving ----

int32_t bz_Bank_Create(bzBank *out, bzFileHandle *file, int32_t editable)
{
    if (!out)
        return BZ_ERROR_INVALID_PARAMETER;
    uint8_t *block = static_cast<uint8_t *>(bz_MemAlloc(BZ_BANK_HEADER_SIZE, BZ_MEM_CLEAR));
    if (!block)
        return NoMemory();
    bz_PutU16LE(block, BZ_BANK_VERSION);
    bz_PutU32LE(block + 4, BZ_BANK_HEADER_SIZE);
    int32_t result = Adopt(out, block, BZ_BANK_HEADER_SIZE, BZ_BANK_HEADER_SIZE, true,
                           editable ? file : nullptr, !editable);
    if (result == BZ_BANK_OK)
        (*out)->nextFree = 0;
    return result;
}

void bz_Bank_FixName(char *out, int32_t size, const char *name)
{
    if (!out || size <= 0)
        return;
    if (!name)
        name = "";
    snprintf(out, static_cast<size_t>(size), strchr(name, '.') ? "%s" : "%s.BZR", name);
}

int32_t bz_Bank_Load(bzBank *out, bzFileHandle *file, int32_t whole, int32_t readOnly)
{
    if (!out || !file)
        return BZ_ERROR_FILE_NOT_FOUND;
    uint8_t *block = nullptr;
    uint32_t size = 0, directory = 0;
    if (whole)
    {
        if (bz_FileSeek(file, 0, 2) != 0)
            return BZ_ERROR_BAD_DATA_FORMAT;
        int32_t length = bz_FileTell(file);
        if (length < static_cast<int32_t>(BZ_BANK_HEADER_SIZE) ||
            static_cast<uint32_t>(length) > BZ_MEM_MAX_BLOCK)
            return BZ_ERROR_BAD_DATA_FORMAT;
        size = static_cast<uint32_t>(length);
        block = static_cast<uint8_t *>(bz_MemAlloc(size, 0));
        if (!block)
            return NoMemory();
        if (!ReadAt(file, 0, block, size) || !(directory = CheckImage(block, size, true)))
        {
            bz_MemFree(block);
            return BZ_ERROR_BAD_DATA_FORMAT;
        }
    }
    else
    {
        uint8_t header[BZ_BANK_HEADER_SIZE];
        if (!ReadAt(file, 0, header, BZ_BANK_HEADER_SIZE))
            return BZ_ERROR_BAD_DATA_FORMAT;
        uint32_t tableEnd = BZ_BANK_HEADER_SIZE + 8u * bz_GetU16LE(header + 2);
        uint8_t *types = static_cast<uint8_t *>(bz_MemAlloc(tableEnd, 0));
        if (!types)
            return NoMemory();
        if (!ReadAt(file, 0, types, tableEnd))
        {
            bz_MemFree(types);
            return BZ_ERROR_BAD_DATA_FORMAT;
        }
        uint64_t directorySize = tableEnd;
        for (uint32_t k = 0; k < bz_GetU16LE(header + 2); k++)
            directorySize += 16u * bz_GetU16LE(types + BZ_BANK_HEADER_SIZE + 8 * k + 4);
        bz_MemFree(types);
        // A directory larger than the file is damage, not a reason to ask for the memory.
        int32_t fileLength = bz_FileStreamLength(file);
        if (fileLength < 0 || directorySize > static_cast<uint64_t>(fileLength))
            return BZ_ERROR_BAD_DATA_FORMAT;
        size = static_cast<uint32_t>(directorySize);
        block = static_cast<uint8_t *>(bz_MemAlloc(size, 0));
        if (!block)
            return NoMemory();
        directory = 0;
        if (ReadAt(file, 0, block, size))
            directory = CheckImage(block, size, false);
        // Every resource's data must lie inside the file.
        for (uint32_t k = 0; directory && k < bz_GetU16LE(block + 2); k++)
        {
            const uint8_t *type = block + BZ_BANK_HEADER_SIZE + 8 * k;
            for (uint32_t r = 0; r < bz_GetU16LE(type + 4); r++)
            {
                const uint8_t *entry = block + bz_GetU16LE(type + 6) + 16 * r;
                uint64_t end = static_cast<uint64_t>(bz_GetU32LE(entry + 8)) +
                               (bz_GetU32LE(entry + 4) & BZ_BANK_SIZE_MASK);
                if (end > static_cast<uint64_t>(bz_FileStreamLength(file)))
                    directory = 0;
            }
        }
        if (!directory)
        {
            bz_MemFree(block);
            return BZ_ERROR_BAD_DATA_FORMAT;
        }
    }
    int32_t result = Adopt(out, block, size, directory, whole != 0, file, readOnly);
    if (result == BZ_BANK_OK && !readOnly)
        (*out)->nextFree = size;
    return result;
}

int32_t bz_Bank_OpenForUpdate(bzBank *out, const char *name, int32_t whole)
{
    char path[BZ_FILE_PATH_SIZE];
    bz_Bank_FixName(path, sizeof path, name);
    bzFileHandle *file = bz_FileOpen(path, "rb+");
    if (!file)
        return BZ_ERROR_FILE_NOT_FOUND;
    int32_t result = bz_Bank_Load(out, file, whole, 0);
    if (result != BZ_BANK_OK)
        bz_FileClose(file);
    return result;
}

int32_t bz_Bank_Save(bzBank bank)
{
    if (!bank)
        return BZ_ERROR_INVALID_PARAMETER;
    if (!bank->editable)
        return BZ_BANK_READ_ONLY;
    if (!bank->file)
        return BZ_ERROR_FILE_NOT_FOUND;
    uint8_t *image = nullptr;
    uint32_t size = 0;
    int32_t result = BuildImage(bank, &image, &size);
    if (result != BZ_BANK_OK)
        return result;
    bool written =
        bz_FileSeek(bank->file, 0, 0) == 0 && bz_FileWrite(bank->file, image, size) == size;
    bz_FileFlush(bank->file);
    if (written)
    {
        // The data now stands in the file where the image put it.
        uint32_t n = 0;
        for (uint32_t k = 0; k < TypeCount(bank); k++)
            for (uint32_t r = 0; r < ResourceCount(bank, k); r++, n++)
            {
                uint8_t *entry = ResourceEntry(bank, k, r);
                const uint8_t *saved = image + (entry - bank->block);
                uint32_t sizeFlags = bz_GetU32LE(entry + 4);
                if (!(sizeFlags & BZ_BANK_RES_IN_BANK))
                    bz_PutU32LE(entry + 8, bz_GetU32LE(saved + 8));
                if (sizeFlags & BZ_BANK_RES_HANDLE)
                    bz_PutU32LE(entry + 4, (sizeFlags & ~BZ_BANK_SIZE_MASK) |
                                               (bz_GetU32LE(saved + 4) & BZ_BANK_SIZE_MASK));
            }
        bz_PutU32LE(bank->block + 4, bz_GetU32LE(bank->block + 4) & ~BZ_BANK_MODIFIED);
    }
    bz_MemFree(image);
    return written ? static_cast<int32_t>(BZ_BANK_OK)
                   : static_cast<int32_t>(BZ_ERROR_FILE_NOT_FOUND);
}

int32_t bz_Bank_CreateFile(const char *name)
{
    char path[BZ_FILE_PATH_SIZE];
    bz_Bank_FixName(path, sizeof path, name);
    bzFileHandle *file = bz_FileOpen(path, "wb");
    if (!file)
        return BZ_ERROR_FILE_NOT_FOUND;
    bzBank bank = nullptr;
    int32_t result = bz_Bank_Create(&bank, file, 1);
    if (result == BZ_BANK_OK)
    {
        result = bz_Bank_Save(bank);
        bank->file = nullptr;
        bz_Bank_Free(bank);
    }
    bz_FileClose(file);
    return result;
}

// ---- Queries ----

int32_t bz_Bank_TypeCount(bzBank bank)
{
    return bank ? TypeCount(bank) : 0;
}

uint32_t bz_Bank_TypeCode(bzBank bank, int32_t index)
{
    if (!bank || index < 0 || index >= TypeCount(bank))
        return 0;
    return bz_GetU32LE(TypeEntry(bank, static_cast<uint32_t>(index)));
}

int32_t bz_Bank_Walk(bzBank bank, bzBankWalkFn fn, void *argument)
{
    if (!bank || !fn)
        return 0;
    for (uint32_t k = 0; k < TypeCount(bank); k++)
        for (uint32_t r = 0; r < ResourceCount(bank, k); r++)
        {
            bzBankTypeEntry type;
            bzBankResourceEntry resource;
            DecodeType(TypeEntry(bank, k), &type);
            Decode(ResourceEntry(bank, k, r), &resource);
            if (int32_t result = fn(bank, &type, &resource, argument))
                return result;
        }
    return 0;
}

int32_t bz_Bank_Count(bzBank bank, uint32_t type)
{
    int32_t index = bank ? FindType(bank, type) : -1;
    return index < 0 ? 0 : ResourceCount(bank, static_cast<uint32_t>(index));
}

uint32_t bz_Bank_NextFreeId(bzBank bank, uint32_t type)
{
    int32_t index = bank ? FindType(bank, type) : -1;
    uint32_t candidate = 1;
    if (index < 0)
        return candidate;
    for (uint32_t r = 0; r < ResourceCount(bank, static_cast<uint32_t>(index)); r++)
    {
        uint32_t id = bz_GetU32LE(ResourceEntry(bank, static_cast<uint32_t>(index), r));
        if (id == candidate)
            candidate++;
        else if (id > candidate)
            break;
    }
    return candidate;
}

namespace
{
int32_t Entry(bzBank bank, uint32_t type, uint32_t key, bool byIndex, bzBankTypeEntry *typeOut,
              bzBankResourceEntry *out)
{
    int32_t typeIndex = -1;
    uint8_t *entry = FindEntry(bank, type, key, byIndex, &typeIndex);
    if (!entry)
        return BZ_BANK_NOT_FOUND;
    if (typeOut)
        DecodeType(TypeEntry(bank, static_cast<uint32_t>(typeIndex)), typeOut);
    if (out)
        Decode(entry, out);
    return BZ_BANK_OK;
}

int32_t Info(bzBank bank, uint32_t type, uint32_t key, bool byIndex, uint32_t *id, uint32_t *size,
             uint8_t *flags)
{
    uint8_t *entry = FindEntry(bank, type, key, byIndex);
    if (!entry)
        return BZ_BANK_NOT_FOUND;
    uint32_t sizeFlags = bz_GetU32LE(entry + 4);
    if (id)
        *id = bz_GetU32LE(entry);
    if (size)
        *size = sizeFlags & BZ_BANK_SIZE_MASK;
    if (flags)
        *flags = static_cast<uint8_t>(sizeFlags >> 24);
    return BZ_BANK_OK;
}
} // namespace

int32_t bz_Bank_EntryByIndex(bzBank bank, uint32_t type, int32_t index, bzBankTypeEntry *typeOut,
                             bzBankResourceEntry *out)
{
    return index < 0 ? BZ_BANK_NOT_FOUND
                     : Entry(bank, type, static_cast<uint32_t>(index), true, typeOut, out);
}

int32_t bz_Bank_EntryById(bzBank bank, uint32_t type, uint32_t id, bzBankTypeEntry *typeOut,
                          bzBankResourceEntry *out)
{
    return Entry(bank, type, id, false, typeOut, out);
}

int32_t bz_Bank_InfoByIndex(bzBank bank, uint32_t type, int32_t index, uint32_t *id, uint32_t *size,
                            uint8_t *flags)
{
    return index < 0 ? BZ_BANK_NOT_FOUND
                     : Info(bank, type, static_cast<uint32_t>(index), true, id, size, flags);
}

int32_t bz_Bank_InfoById(bzBank bank, uint32_t type, uint32_t id, uint32_t *size, uint8_t *flags)
{
    return Info(bank, type, id, false, nullptr, size, flags);
}

// ---- Data ----

void *bz_Bank_FetchByIndex(bzBank bank, uint32_t type, int32_t index)
{
    uint8_t *entry =
        index < 0 ? nullptr : FindEntry(bank, type, static_cast<uint32_t>(index), true);
    return entry ? Fetch(bank, type, entry) : nullptr;
}

void *bz_Bank_FetchById(bzBank bank, uint32_t type, uint32_t id)
{
    uint8_t *entry = FindEntry(bank, type, id, false);
    return entry ? Fetch(bank, type, entry) : nullptr;
}

int32_t bz_Bank_GetFetch()
{
    return gFetch;
}

void bz_Bank_SetFetch(int32_t on)
{
    gFetch = on != 0;
}

int32_t bz_Bank_ForgetByIndex(bzBank bank, uint32_t type, int32_t index)
{
    return Forget(bank,
                  index < 0 ? nullptr : FindEntry(bank, type, static_cast<uint32_t>(index), true),
                  false);
}

int32_t bz_Bank_ForgetById(bzBank bank, uint32_t type, uint32_t id)
{
    return Forget(bank, FindEntry(bank, type, id, false), false);
}

int32_t bz_Bank_ReleaseByIndex(bzBank bank, uint32_t type, int32_t index)
{
    return Forget(bank,
                  index < 0 ? nullptr : FindEntry(bank, type, static_cast<uint32_t>(index), true),
                  true);
}

int32_t bz_Bank_ReleaseById(bzBank bank, uint32_t type, uint32_t id)
{
    return Forget(bank, FindEntry(bank, type, id, false), true);
}

int32_t bz_Bank_MarkModified(bzBank bank)
{
    if (!bank)
        return BZ_ERROR_INVALID_PARAMETER;
    if (!bank->editable)
        return BZ_BANK_READ_ONLY;
    MarkChanged(bank);
    return BZ_BANK_OK;
}

int32_t bz_Bank_Flush(bzBank bank)
{
    if (!bank)
        return BZ_ERROR_INVALID_PARAMETER;
    if (bank->editable && bank->file && (bz_GetU32LE(bank->block + 4) & BZ_BANK_MODIFIED))
        return bz_Bank_Save(bank);
    return BZ_BANK_OK;
}

int32_t bz_Bank_Close(bzBank bank)
{
    if (!bank)
        return BZ_ERROR_INVALID_PARAMETER;
    int32_t result = bz_Bank_Flush(bank);
    bz_Bank_Free(bank);
    return result;
}

void bz_Bank_Free(bzBank bank)
{
    if (!bank)
        return;
    for (uint32_t k = 0; k < TypeCount(bank); k++)
        for (uint32_t r = 0; r < ResourceCount(bank, k); r++)
            DropHeld(bank, ResourceEntry(bank, k, r));
    if (bank->file)
        bz_FileClose(bank->file);
    bank->slots.Free();
    bz_MemFree(bank->block);
    FreeHandle(bank);
}

// ---- Editing ----

int32_t bz_Bank_SetDataByIndex(bzBank bank, uint32_t type, int32_t index, const void *data,
                               uint32_t size)
{
    if (!bank)
        return BZ_ERROR_INVALID_PARAMETER;
    return SetData(bank,
                   index < 0 ? nullptr : FindEntry(bank, type, static_cast<uint32_t>(index), true),
                   data, size);
}

int32_t bz_Bank_SetDataById(bzBank bank, uint32_t type, uint32_t id, const void *data,
                            uint32_t size)
{
    if (!bank)
        return BZ_ERROR_INVALID_PARAMETER;
    return SetData(bank, FindEntry(bank, type, id, false), data, size);
}

int32_t bz_Bank_InsertType(bzBank bank, uint32_t type)
{
    if (!bank)
        return BZ_ERROR_INVALID_PARAMETER;
    if (!bank->editable)
        return BZ_BANK_READ_ONLY;
    if (FindType(bank, type) >= 0)
        return BZ_BANK_OK;
    uint32_t types = TypeCount(bank);
    if (types >= kMaxEntries || DirectorySize(bank) + 8 > kMaxDirectory)
        return BZ_BANK_FULL;
    uint32_t index = 0;
    while (index < types && bz_GetU32LE(TypeEntry(bank, index)) < type)
        index++;
    uint32_t table = index < types ? bz_GetU16LE(TypeEntry(bank, index) + 6) : DirectorySize(bank);
    if (!Grow(bank, BZ_BANK_HEADER_SIZE + 8 * index, 8))
        return bzgLastError == BZ_ERROR_NO_MEMORY ? static_cast<int32_t>(BZ_ERROR_NO_MEMORY)
                                                  : static_cast<int32_t>(BZ_BANK_FULL);
    bz_PutU16LE(bank->block + 2, static_cast<uint16_t>(types + 1));
    uint8_t *entry = TypeEntry(bank, index);
    bz_PutU32LE(entry, type);
    bz_PutU16LE(entry + 4, 0);
    bz_PutU16LE(entry + 6, static_cast<uint16_t>(table));
    ShiftOffsets(bank, 0, 8); // every table, the new one included, lies 8 bytes further on
    MarkChanged(bank);
    return BZ_BANK_OK;
}

int32_t bz_Bank_InsertResource(bzBank bank, uint32_t type, uint32_t id)
{
    if (!bank)
        return BZ_ERROR_INVALID_PARAMETER;
    if (!bank->editable)
        return BZ_BANK_READ_ONLY;
    int32_t result = bz_Bank_InsertType(bank, type);
    if (result != BZ_BANK_OK)
        return result;
    uint32_t typeIndex = static_cast<uint32_t>(FindType(bank, type));
    uint32_t count = ResourceCount(bank, typeIndex);
    if (Search(ResourceEntry(bank, typeIndex, 0), count, 16, id) >= 0)
        return BZ_BANK_OK;
    if (count >= kMaxEntries || DirectorySize(bank) + 16 > kMaxDirectory)
        return BZ_BANK_FULL;
    uint32_t index = 0;
    while (index < count && bz_GetU32LE(ResourceEntry(bank, typeIndex, index)) < id)
        index++;
    uint32_t at = bz_GetU16LE(TypeEntry(bank, typeIndex) + 6) + 16 * index;
    if (!Grow(bank, at, 16))
        return bzgLastError == BZ_ERROR_NO_MEMORY ? static_cast<int32_t>(BZ_ERROR_NO_MEMORY)
                                                  : static_cast<int32_t>(BZ_BANK_FULL);
    bz_PutU16LE(TypeEntry(bank, typeIndex) + 4, static_cast<uint16_t>(count + 1));
    bz_PutU32LE(bank->block + at, id);
    ShiftOffsets(bank, typeIndex + 1, 16);
    MarkChanged(bank);
    return BZ_BANK_OK;
}

int32_t bz_Bank_RemoveResource(bzBank bank, uint32_t type, uint32_t id)
{
    if (!bank)
        return BZ_ERROR_INVALID_PARAMETER;
    if (!bank->editable)
        return BZ_BANK_READ_ONLY;
    int32_t typeIndex = -1;
    uint8_t *entry = FindEntry(bank, type, id, false, &typeIndex);
    if (!entry)
        return BZ_BANK_NOT_FOUND;
    DropHeld(bank, entry);
    uint32_t at = static_cast<uint32_t>(entry - bank->block);
    uint32_t count = ResourceCount(bank, static_cast<uint32_t>(typeIndex));
    Shrink(bank, at, 16);
    bz_PutU16LE(TypeEntry(bank, static_cast<uint32_t>(typeIndex)) + 4,
                static_cast<uint16_t>(count - 1));
    ShiftOffsets(bank, static_cast<uint32_t>(typeIndex) + 1, -16);
    if (count == 1)
    {
        // The type is empty: its entry goes the same way.
        Shrink(bank, BZ_BANK_HEADER_SIZE + 8 * static_cast<uint32_t>(typeIndex), 8);
        bz_PutU16LE(bank->block + 2, static_cast<uint16_t>(TypeCount(bank) - 1));
        ShiftOffsets(bank, 0, -8);
    }
    MarkChanged(bank);
    return BZ_BANK_OK;
}

int32_t bz_Bank_AddChild(bzBank bank, uint32_t type, uint32_t id, bzBank child)
{
    if (!bank || !child || child == bank)
        return BZ_ERROR_INVALID_PARAMETER;
    int32_t result = bz_Bank_InsertResource(bank, type, id);
    if (result != BZ_BANK_OK)
        return result;
    uint8_t *entry = FindEntry(bank, type, id, false);
    uint32_t slot = TakeSlot(bank, child);
    if (!slot)
        return NoMemory();
    DropHeld(bank, entry);
    bz_PutU32LE(entry + 4, BZ_BANK_RES_CHILD | BZ_BANK_RES_HANDLE);
    bz_PutU32LE(entry + 8, 0);
    bz_PutU32LE(entry + 12, slot);
    child->parent = bank;
    child->parentType = type;
    child->parentId = id;
    MarkChanged(bank);
    return BZ_BANK_OK;
}

bzBank bz_Bank_ReachChild(bzBank bank, uint32_t type, uint32_t id)
{
    uint8_t *entry = FindEntry(bank, type, id, false);
    if (!entry || !(bz_GetU32LE(entry + 4) & BZ_BANK_RES_CHILD))
        return nullptr;
    bzBank child = static_cast<bzBank>(Fetch(bank, type, entry));
    if (child)
    {
        child->parent = bank;
        child->parentType = type;
        child->parentId = id;
    }
    return child;
}

bzBank bz_Bank_GetParent(bzBank bank, uint32_t *type, uint32_t *id)
{
    if (!bank)
        return nullptr;
    if (type)
        *type = bank->parentType;
    if (id)
        *id = bank->parentId;
    return bank->parent;
}

int32_t bz_Bank_Dump(bzBank bank, const char *output, const char *bankName, uint32_t type,
                     uint32_t id)
{
    if (!bank)
        return BZ_ERROR_INVALID_PARAMETER;
    DumpOutput out = {nullptr};
    int32_t owned = 0;
    if (!bz_DebugOutput_Open(output, &owned, &out.stream))
        return BZ_ERROR_FILE_NOT_FOUND;
    DumpBank(out, bank, bankName, type, id);
    bz_DebugOutput_Close(out.stream, owned);
    return BZ_BANK_OK;
}

const uint8_t *bz_Bank_Block(bzBank bank)
{
    return bank ? bank->block : nullptr;
}
