#include "files/Wad.h"

#include "core/Bytes.h"
#include "core/Error.h"
#include "files/File.h"
#include "core/Array.h"
#include "core/Memory.h"
#include "core/Strings.h"
#include "pc/PcSystem.h"

#include <bit>
#include <cstdio>
#include <cstring>

namespace
{
constexpr uint32_t kSwitchDiskFirst = 0x2;
constexpr uint32_t kSwitchArchivesOnly = 0x4;
constexpr uint32_t kSwitchLog = 0x8;
constexpr uint32_t kEntrySize = 16;
constexpr size_t kMaxPath = 127;
constexpr size_t kMaxComponent = 63;

bzFileIOHandlers gSaved;
bool gInstalled;
char gLogName[BZ_WAD_NAME_SIZE];
uint32_t gSwitches;
bzWADMount *gMounts;
bzWADFile *gCurrent;
int32_t gBypass;
uint8_t gKey[BZ_WAD_MAX_KEY];
uint32_t gKeyLength;

void CopyName(char *out, size_t size, const char *name)
{
    size_t n = name ? std::strlen(name) : 0;
    if (n > size - 1)
        n = size - 1;
    if (n)
        std::memcpy(out, name, n);
    out[n] = 0;
}

bool IsMemoryResident(const bzWADFile *archive)
{
    return (archive->flags & BZ_WAD_FLAG_MEMORY) != 0;
}

bzFileHandle *SavedOpen(const char *name, const char *mode)
{
    return gInstalled ? gSaved.open(name, mode) : bz_FileOpen(name, mode);
}

// Opens that must reach the disk itself pass the archive handlers by.
struct Bypass
{
    Bypass() { ++gBypass; }
    ~Bypass()
    {
        if (gBypass > 0)
            --gBypass;
    }
};

// --- reading the directory tree ------------------------------------------------------------

// Why an archive is refused.
enum class Fault
{
    kNone,
    kNotWad,
    kWrongVersion,
    kHeaderShort,
    kFlagsBit31,
    kNoRoot,
    kCountsTooLarge,
    kNameOffset,
    kNameUnterminated,
    kTreeTooLarge,
    kTooManyFiles,
    kDataOutside,
    kNestedTooDeep,
    kTooManyDirectories,
    kEntryCountsTooLarge,
    kTooManyEntries,
    kOutOfMemory,
    kBlocksCutShort,
};

// The words a damage report gives for a fault.
const char *FaultText(Fault fault)
{
    switch (fault)
    {
    case Fault::kNone: return "no fault";
    case Fault::kNotWad: return "not a wad file";
    case Fault::kWrongVersion: return "wrong version";
    case Fault::kHeaderShort: return "header cut short";
    case Fault::kFlagsBit31: return "flags bit 31 set";
    case Fault::kNoRoot: return "no root directory";
    case Fault::kCountsTooLarge: return "counts larger than the file";
    case Fault::kNameOffset: return "name offset outside the name block";
    case Fault::kNameUnterminated: return "name without terminator";
    case Fault::kTreeTooLarge: return "tree larger than the entry block";
    case Fault::kTooManyFiles: return "more files than counted";
    case Fault::kDataOutside: return "file data outside the archive";
    case Fault::kNestedTooDeep: return "directories nested too deep";
    case Fault::kTooManyDirectories: return "more directories than counted";
    case Fault::kEntryCountsTooLarge: return "counts larger than the entry block";
    case Fault::kTooManyEntries: return "too many entries";
    case Fault::kOutOfMemory: return "out of memory";
    case Fault::kBlocksCutShort: return "blocks cut short";
    }
    return "unknown fault";
}

// The header and blocks of an archive, checked against each other and the archive's size.
struct Layout
{
    uint16_t version;
    uint32_t flags;
    uint32_t headerSize;
    uint32_t nameBlockSize;
    uint32_t fileCount;
    uint32_t directoryCount;
};

// Reads the layout from the first bytes of an archive of archiveSize bytes. Returns
// Fault::kNone, or the reason the archive is refused.
Fault ReadLayout(const uint8_t *header, uint32_t available, uint32_t archiveSize, Layout &out)
{
    if (available < 4 || bz_GetU16LE(header) != BZ_WAD_MAGIC)
        return Fault::kNotWad;
    out.version = bz_GetU16LE(header + 2);
    if (out.version != BZ_WAD_VERSION_0100 && out.version != BZ_WAD_VERSION_0101)
        return Fault::kWrongVersion;
    out.headerSize = out.version == BZ_WAD_VERSION_0100 ? 16 : 20;
    if (available < out.headerSize)
        return Fault::kHeaderShort;
    const uint8_t *p = header + 4;
    out.flags = 0;
    if (out.version == BZ_WAD_VERSION_0101)
    {
        out.flags = bz_GetU32LE(p);
        p += 4;
    }
    out.nameBlockSize = bz_GetU32LE(p);
    out.fileCount = bz_GetU32LE(p + 4);
    out.directoryCount = bz_GetU32LE(p + 8);
    if (out.flags & BZ_WAD_FLAG_MEMORY)
        return Fault::kFlagsBit31;
    const uint64_t entries = static_cast<uint64_t>(out.fileCount) + out.directoryCount;
    if (out.directoryCount == 0)
        return Fault::kNoRoot;
    if (static_cast<uint64_t>(out.headerSize) + out.nameBlockSize + entries * kEntrySize >
        archiveSize)
        return Fault::kCountsTooLarge;
    return Fault::kNone;
}

// Walks the entry block in tree order, checking every count, name and data range, and
// builds the nodes when they are given. kinds, when given, receives 1 for each directory
// entry and 2 for each file entry.
struct TreeReader
{
    const uint8_t *entries;
    uint32_t entryCount;
    const char *names;
    uint32_t nameBlockSize;
    uint32_t archiveSize;
    uint32_t directoryLimit;
    uint32_t fileLimit;
    bzWADDirNode *directories; // null: check only
    bzWADFileNode *files;
    uint8_t *kinds;
    uint32_t cursor = 0;
    uint32_t directoriesUsed = 0;
    uint32_t filesUsed = 0;
    Fault fault = Fault::kNone;

    const char *NameAt(uint32_t offset)
    {
        if (offset >= nameBlockSize)
        {
            fault = Fault::kNameOffset;
            return nullptr;
        }
        if (!std::memchr(names + offset, 0, nameBlockSize - offset))
        {
            fault = Fault::kNameUnterminated;
            return nullptr;
        }
        return names + offset;
    }

    const uint8_t *Take(uint8_t kind)
    {
        if (cursor >= entryCount)
        {
            fault = Fault::kTreeTooLarge;
            return nullptr;
        }
        if (kinds)
            kinds[cursor] = kind;
        return entries + static_cast<size_t>(cursor++) * kEntrySize;
    }

    bzWADFileNode *File(bool &ok)
    {
        ok = false;
        if (filesUsed >= fileLimit)
        {
            fault = Fault::kTooManyFiles;
            return nullptr;
        }
        const uint8_t *entry = Take(2);
        if (!entry)
            return nullptr;
        const char *name = NameAt(bz_GetU32LE(entry));
        if (!name)
            return nullptr;
        const uint32_t length = bz_GetU32LE(entry + 4);
        const uint32_t offset = bz_GetU32LE(entry + 8);
        if (length > static_cast<uint32_t>(INT32_MAX) ||
            static_cast<uint64_t>(offset) + length > archiveSize)
        {
            fault = Fault::kDataOutside;
            return nullptr;
        }
        ok = true;
        bzWADFileNode *node = files ? &files[filesUsed] : nullptr;
        ++filesUsed;
        if (node)
        {
            node->next = nullptr;
            node->name = name;
            node->dataOffset = offset;
            node->length = length;
        }
        return node;
    }

    bzWADDirNode *Directory(int32_t depth, bool &ok)
    {
        ok = false;
        if (depth >= BZ_WAD_MAX_DEPTH)
        {
            fault = Fault::kNestedTooDeep;
            return nullptr;
        }
        if (directoriesUsed >= directoryLimit)
        {
            fault = Fault::kTooManyDirectories;
            return nullptr;
        }
        const uint8_t *entry = Take(1);
        if (!entry)
            return nullptr;
        const char *name = NameAt(bz_GetU32LE(entry));
        if (!name)
            return nullptr;
        const uint32_t fileCount = bz_GetU32LE(entry + 4);
        const uint32_t subCount = bz_GetU32LE(entry + 8);
        if (static_cast<uint64_t>(fileCount) + subCount > entryCount - cursor)
        {
            fault = Fault::kEntryCountsTooLarge;
            return nullptr;
        }
        bzWADDirNode *node = directories ? &directories[directoriesUsed] : nullptr;
        ++directoriesUsed;
        if (node)
            *node = bzWADDirNode{name, nullptr, nullptr, nullptr};
        for (uint32_t i = 0; i < subCount; ++i)
        {
            bzWADDirNode *sub = Directory(depth + 1, ok);
            if (!ok)
                return nullptr;
            if (node)
            {
                sub->next = node->firstSub;
                node->firstSub = sub;
            }
        }
        for (uint32_t i = 0; i < fileCount; ++i)
        {
            bzWADFileNode *file = File(ok);
            if (!ok)
                return nullptr;
            if (node)
            {
                file->next = node->firstFile;
                node->firstFile = file;
            }
        }
        ok = true;
        return node;
    }
};

} // namespace

// The paths of an archive's tree in one hash table: every directory and file that a lookup can
// reach, by the path that reaches it with the root's name first and "\" between the names,
// and every file of the root also by its bare name. Where a directory lists a name twice, the
// entry that comes first in the list is the one reached, as a walk of the list finds it first,
// and nothing below a directory that is not reached is indexed. Names holding a separator,
// names longer than a path component and paths longer than a lookup's path are never matched
// by a lookup, so they are left out.
struct bzWADNameIndex
{
    struct Slot
    {
        uint32_t hash;
        uint32_t length; // of the path
        uint32_t key;    // offset of the path in keys
        uint32_t node;   // 0 empty; 1 + directory index; 1 + directory limit + file index
    };
    const bzWADDirNode *directories; // the tree's directory nodes (the root first)
    const bzWADFileNode *files;      // the tree's file nodes
    uint32_t directoryLimit;
    uint32_t mask;
    Slot *slots;
    char *keys;
};

namespace
{
enum NameKind : uint32_t
{
    kDirectoryName = 0,
    kFileName = 1,
};

// A hash of a path of a kind, taken eight bytes at a time (each eight read as a little-endian
// word); PreparePath computes the same while it copies a path.
constexpr uint64_t kHashMultiplier = 0xff51afd7ed558ccdull;

uint64_t HashStart(NameKind kind)
{
    return (static_cast<uint64_t>(kind) + 1) * 0x9e3779b97f4a7c15ull;
}

uint64_t HashWord(uint64_t h, uint64_t word)
{
    h = (h ^ word) * kHashMultiplier;
    return h ^ (h >> 29);
}

uint32_t HashEnd(uint64_t h, size_t length)
{
    h = (h ^ length) * 0xc4ceb9fe1a85ec53ull;
    return static_cast<uint32_t>(h ^ (h >> 32));
}

uint32_t HashPath(const char *path, size_t length, NameKind kind)
{
    uint64_t h = HashStart(kind);
    const auto *p = reinterpret_cast<const uint8_t *>(path);
    size_t k = 0;
    for (; k + 8 <= length; k += 8)
    {
        uint64_t word = 0;
        for (int b = 0; b < 8; ++b)
            word |= static_cast<uint64_t>(p[k + b]) << (8 * b);
        h = HashWord(h, word);
    }
    if (k < length)
    {
        uint64_t word = 0;
        for (int b = 0; k + b < length; ++b)
            word |= static_cast<uint64_t>(p[k + b]) << (8 * b);
        h = HashWord(h, word);
    }
    return HashEnd(h, length);
}

// A node's name equals the length bytes of a path component (which hold no 0 byte).
bool NameIs(const char *name, const char *component, size_t length)
{
    return std::strncmp(name, component, length) == 0 && name[length] == 0;
}

bool IsFileSlot(const bzWADNameIndex *index, uint32_t node)
{
    return node > index->directoryLimit;
}

// The slot of a path of a kind, or the empty slot where it would go. keys is where the paths
// of the filled slots stand.
bzWADNameIndex::Slot *FindSlot(const bzWADNameIndex *index, const char *keys, NameKind kind,
                               const char *path, size_t length, uint32_t hash)
{
    for (uint32_t i = hash & index->mask;; i = (i + 1) & index->mask)
    {
        bzWADNameIndex::Slot *slot = &index->slots[i];
        if (!slot->node)
            return slot;
        if (slot->hash == hash && slot->length == length &&
            IsFileSlot(index, slot->node) == (kind == kFileName) &&
            std::memcmp(keys + slot->key, path, length) == 0)
            return slot;
    }
}

const bzWADFileNode *FindFilePath(const bzWADNameIndex *index, const char *path, size_t length)
{
    const uint32_t node =
        FindSlot(index, index->keys, kFileName, path, length, HashPath(path, length, kFileName))
            ->node;
    return node ? &index->files[node - 1 - index->directoryLimit] : nullptr;
}

const bzWADDirNode *FindDirectoryPath(const bzWADNameIndex *index, const char *path, size_t length)
{
    const uint32_t node = FindSlot(index, index->keys, kDirectoryName, path, length,
                                   HashPath(path, length, kDirectoryName))
                              ->node;
    return node ? &index->directories[node - 1] : nullptr;
}

// Collects the paths while the tree is walked; the slots are filled as they come, the paths
// kept in a growing block.
struct IndexBuilder
{
    bzWADNameIndex *index;
    bzArray<char> keys;
    bool good = true;

    // Adds path + "\" + name (or the name alone when prefixLength is 0 and bare); false when it
    // was there already or cannot be reached.
    bool Add(const char *prefix, size_t prefixLength, bool bare, const char *name, NameKind kind,
             uint32_t node, char *out)
    {
        const size_t nameLength = std::strlen(name);
        if (nameLength > kMaxComponent || std::strpbrk(name, "\\/"))
            return false;
        const size_t length = bare ? nameLength : prefixLength + 1 + nameLength;
        if (length > kMaxPath)
            return false;
        if (!bare)
        {
            std::memmove(out, prefix, prefixLength);
            out[prefixLength] = '\\';
        }
        std::memcpy(out + (bare ? 0 : prefixLength + 1), name, nameLength);
        const uint32_t hash = HashPath(out, length, kind);
        bzWADNameIndex::Slot *slot = FindSlot(index, keys.data, kind, out, length, hash);
        if (slot->node)
            return false; // a name listed earlier in the directory
        const uint32_t at = keys.count;
        // (One byte spare, so that even an empty first path has a block to stand in.)
        if (!keys.Reserve(at + static_cast<uint32_t>(length) + 1))
        {
            good = false;
            return false;
        }
        std::memcpy(keys.data + at, out, length);
        keys.count += static_cast<uint32_t>(length);
        *slot = {hash, static_cast<uint32_t>(length), at, node};
        return true;
    }

    // The files and sub-directories of a reached directory whose path is path[0, length).
    void Directory(const bzWADDirNode *directory, const char *path, size_t length)
    {
        for (const bzWADFileNode *file = directory->firstFile; file && good; file = file->next)
        {
            char key[kMaxPath + 1];
            Add(path, length, false, file->name, kFileName, FileNode(file), key);
        }
        for (const bzWADDirNode *sub = directory->firstSub; sub && good; sub = sub->next)
        {
            char key[kMaxPath + 1];
            if (Add(path, length, false, sub->name, kDirectoryName, DirectoryNode(sub), key))
                Directory(sub, key, length + 1 + std::strlen(sub->name));
        }
    }

    uint32_t FileNode(const bzWADFileNode *file) const
    {
        return 1 + index->directoryLimit + static_cast<uint32_t>(file - index->files);
    }
    uint32_t DirectoryNode(const bzWADDirNode *directory) const
    {
        return 1 + static_cast<uint32_t>(directory - index->directories);
    }
};

void FreeIndex(bzWADNameIndex *index)
{
    if (!index)
        return;
    bz_MemFree(index->keys);
    bz_MemFree(index->slots);
    bz_MemFree(index);
}

// The index of a built tree of at most directoryLimit directories and fileLimit files; null
// when memory runs out.
bzWADNameIndex *BuildIndex(const bzWADDirNode *root, const bzWADFileNode *files,
                           uint32_t directoryLimit, uint32_t fileLimit)
{
    // Every directory and file once, and the root's files twice.
    uint64_t paths = static_cast<uint64_t>(directoryLimit) + fileLimit;
    for (const bzWADFileNode *file = root->firstFile; file; file = file->next)
        ++paths;
    uint64_t capacity = 16;
    while (capacity < paths + paths / 2)
        capacity *= 2;
    if (capacity * sizeof(bzWADNameIndex::Slot) > BZ_MEM_MAX_BLOCK)
        return nullptr;
    auto *index = static_cast<bzWADNameIndex *>(bz_MemAlloc(sizeof(bzWADNameIndex), BZ_MEM_CLEAR));
    if (!index)
        return nullptr;
    index->slots = static_cast<bzWADNameIndex::Slot *>(
        bz_MemAlloc(static_cast<uint32_t>(capacity * sizeof(bzWADNameIndex::Slot)), BZ_MEM_CLEAR));
    if (!index->slots)
    {
        bz_MemFree(index);
        return nullptr;
    }
    index->directories = root;
    index->files = files;
    index->directoryLimit = directoryLimit;
    index->mask = static_cast<uint32_t>(capacity - 1);
    IndexBuilder builder{index, {}};
    // The root's files by their bare names; then, when the root's name can be a path's first
    // component, everything by its path from the root.
    for (const bzWADFileNode *file = root->firstFile; file && builder.good; file = file->next)
    {
        char key[kMaxPath + 1];
        builder.Add(nullptr, 0, true, file->name, kFileName, builder.FileNode(file), key);
    }
    const size_t rootLength = std::strlen(root->name);
    if (builder.good && rootLength <= kMaxComponent && !std::strpbrk(root->name, "\\/"))
        builder.Directory(root, root->name, rootLength);
    index->keys = builder.keys.data;
    if (!builder.good)
    {
        FreeIndex(index);
        return nullptr;
    }
    return index;
}

// A path made ready for lookups in every archive: "/" turned into "\" (both separators divide
// alike, and the index holds its paths with "\"), its length and the hash of it as a file's
// path.
struct PreparedPath
{
    char text[kMaxPath + 1];
    size_t length;
    uint32_t hash;
};

// Prepares path, upper-cased on the way when upper is set; false when it is too long for a
// lookup.
// Eight bytes of a path at once: "/" becomes "\\", and a to z become upper case when asked
// (bytes of 0x80 and above are left alone).
uint64_t PrepareWord(uint64_t x, bool upper)
{
    constexpr uint64_t kOnes = 0x0101010101010101ull;
    constexpr uint64_t kHigh = 0x8080808080808080ull;
    constexpr uint64_t kLow7 = 0x7f7f7f7f7f7f7f7full;
    const uint64_t slashes = x ^ (kOnes * '/');
    const uint64_t isSlash = ~(((slashes & kLow7) + kLow7) | slashes) & kHigh;
    x ^= (isSlash >> 7) * ('/' ^ '\\');
    if (upper)
    {
        const uint64_t low = x & kLow7;
        const uint64_t atLeastA = low + kOnes * (0x80 - 'a');
        const uint64_t pastZ = low + kOnes * (0x80 - 'z' - 1);
        const uint64_t isLower = atLeastA & ~pastZ & ~x & kHigh;
        x ^= isLower >> 2; // 0x20 of each lower-case letter
    }
    return x;
}

bool PreparePath(const char *path, bool upper, PreparedPath &out)
{
    const size_t n = strnlen(path, kMaxPath + 1);
    if (n > kMaxPath)
        return false;
    uint64_t h = HashStart(kFileName);
    size_t k = 0;
    for (; k + 8 <= n; k += 8)
    {
        uint64_t word;
        std::memcpy(&word, path + k, 8);
        word = PrepareWord(word, upper);
        std::memcpy(out.text + k, &word, 8);
        if constexpr (std::endian::native == std::endian::big)
            word = __builtin_bswap64(word); // hashed as the little-endian word of the bytes
        h = HashWord(h, word);
    }
    if (k < n)
    {
        uint64_t word = 0;
        for (int b = 0; k + b < n; ++b)
        {
            char c = path[k + b];
            if (c == '/')
                c = '\\';
            else if (upper && c >= 'a' && c <= 'z')
                c = static_cast<char>(c - 'a' + 'A');
            out.text[k + b] = c;
            word |= static_cast<uint64_t>(static_cast<uint8_t>(c)) << (8 * b);
        }
        h = HashWord(h, word);
    }
    out.text[n] = 0;
    out.length = n;
    out.hash = HashEnd(h, n);
    return true;
}

const bzWADFileNode *FindPrepared(const PreparedPath &path, bzWADFile **outArchive);

// Builds the tree of an archive whose name block is in place; false (and *fault) when the
// entries are damaged or memory runs out.
bool BuildTree(bzWADFile *archive, const Layout &layout, const uint8_t *entries, Fault *fault)
{
    const size_t bytes = static_cast<size_t>(layout.directoryCount) * sizeof(bzWADDirNode) +
                         static_cast<size_t>(layout.fileCount) * sizeof(bzWADFileNode);
    if (bytes > BZ_MEM_MAX_BLOCK)
    {
        *fault = Fault::kTooManyEntries;
        return false;
    }
    auto *block =
        static_cast<uint8_t *>(bz_MemAlloc(static_cast<uint32_t>(bytes), BZ_MEM_ALIGN_FLAGS(1)));
    if (!block)
    {
        *fault = Fault::kOutOfMemory;
        return false;
    }
    TreeReader reader{
        entries,
        layout.fileCount + layout.directoryCount,
        archive->nameBlock,
        layout.nameBlockSize,
        archive->archiveSize,
        layout.directoryCount,
        layout.fileCount,
        reinterpret_cast<bzWADDirNode *>(block),
        reinterpret_cast<bzWADFileNode *>(block + static_cast<size_t>(layout.directoryCount) *
                                                      sizeof(bzWADDirNode)),
        nullptr};
    bool ok = false;
    bzWADDirNode *root = reader.Directory(0, ok);
    if (!ok)
    {
        bz_MemFree(block);
        *fault = reader.fault;
        return false;
    }
    archive->root = root;
    archive->treeSize = static_cast<uint32_t>(bytes);
    // Without memory for the index the lookups walk the lists instead.
    archive->index = BuildIndex(root, reader.files, layout.directoryCount, layout.fileCount);
    return true;
}

void FreeArchive(bzWADFile *archive)
{
    if (!archive)
        return;
    FreeIndex(archive->index);
    if (archive->root)
        bz_MemFree(archive->root);
    if (archive->memoryImage)
        bz_MemFree(archive->memoryImage);
    else if (archive->nameBlock)
        bz_MemFree(archive->nameBlock);
    bz_MemFree(archive);
}

void ReportDamaged(const char *name, Fault fault)
{
    bzgLastError = BZ_ERROR_BAD_DATA_FORMAT;
    BZ_SET_ORIGIN();
    bz_ReportError("Wad file failure.", "The wad file '%s' is damaged (%s).", name,
                   FaultText(fault));
}

// Reads the name and entry blocks of an archive file whose layout was read, and builds its
// tree; null (and *fault) when memory runs out or the blocks are cut short or damaged.
bzWADFile *LoadArchive(bzFileHandle *file, const char *fileName, const Layout &layout,
                       uint32_t archiveSize, Fault *fault)
{
    auto *archive = static_cast<bzWADFile *>(bz_MemAlloc(sizeof(bzWADFile), BZ_MEM_CLEAR));
    const uint32_t entryBytes = (layout.fileCount + layout.directoryCount) * kEntrySize;
    uint8_t *entries = nullptr;
    if (archive)
    {
        CopyName(archive->name, sizeof archive->name, fileName);
        archive->version = layout.version;
        archive->flags = layout.flags;
        archive->archiveSize = archiveSize;
        archive->nameBlockSize = layout.nameBlockSize;
        archive->nameBlock = static_cast<char *>(bz_MemAlloc(layout.nameBlockSize + 1, 0));
        entries = static_cast<uint8_t *>(bz_MemAlloc(entryBytes, BZ_MEM_ALIGN_FLAGS(1)));
    }
    bool good = archive && archive->nameBlock && entries;
    if (!good)
        *fault = Fault::kOutOfMemory;
    else
    {
        bz_FileSeek(file, static_cast<int32_t>(layout.headerSize), 0);
        good =
            bz_FileRead(file, archive->nameBlock, layout.nameBlockSize) == layout.nameBlockSize &&
            bz_FileRead(file, entries, entryBytes) == entryBytes;
        if (!good)
            *fault = Fault::kBlocksCutShort;
    }
    if (good)
        good = BuildTree(archive, layout, entries, fault);
    if (entries)
        bz_MemFree(entries);
    if (good)
        return archive;
    FreeArchive(archive);
    return nullptr;
}

// Archive handles of archive lose their archive: they read nothing from then on.
void DetachHandles(const bzWADFile *archive)
{
    for (int32_t i = 0; i < BZ_FILE_MAX_OPEN; ++i)
    {
        bzFileHandle *file = bz_FileHandle_Get(i);
        if (file->inUse && file->archive && (!archive || file->archive == archive))
            file->archive = nullptr;
    }
}

void CloseArchiveFile(bzWADFile *archive)
{
    if (archive && !IsMemoryResident(archive) && archive->openFile)
    {
        if (gInstalled)
            gSaved.close(archive->openFile);
        else
            bz_FileClose(archive->openFile);
        archive->openFile = nullptr;
    }
}

void InsertArchive(bzWADMount *mount, bzWADFile *archive)
{
    bzWADFile **link = &mount->first;
    while (*link && std::strcmp((*link)->name, archive->name) >= 0)
        link = &(*link)->next;
    archive->next = *link;
    *link = archive;
}

int32_t CountArchives(const bzWADMount *mount)
{
    int32_t n = 0;
    for (const bzWADFile *a = mount->first; a; a = a->next)
        ++n;
    return n;
}

void LogOpen(const char *name)
{
    if (!(gSwitches & kSwitchLog) || !name)
        return;
    bzFileHandle *log = SavedOpen(gLogName, "at");
    if (!log)
        return;
    bz_FileWriteItems(name, std::strlen(name) + 1, 1, log);
    bz_FileFlush(log);
    bz_FileClose(log);
}

// --- the handlers --------------------------------------------------------------------------

bzFileHandle *WAD_OpenArchiveFile(const char *name, const char *mode)
{
    if (gBypass > 0 || !name || !mode || (mode[0] != 'r' && mode[0] != 'R'))
        return nullptr;
    PreparedPath path;
    if (!PreparePath(name, true, path))
        return nullptr;
    bzWADFile *archive = nullptr;
    const bzWADFileNode *node = FindPrepared(path, &archive);
    if (!node)
        return nullptr;
    bzFileHandle *file = bz_FileHandle_Alloc();
    if (!file)
        return nullptr;
    file->stream = nullptr;
    file->length = static_cast<int32_t>(node->length);
    file->inUse = 1;
    file->position = 0;
    file->archiveEntry = node;
    file->enciphered = static_cast<int32_t>(archive->flags & BZ_WAD_FLAG_ENCIPHERED);
    file->archive = archive;
    return file;
}

bzFileHandle *WAD_fopen(const char *name, const char *mode)
{
    bzFileHandle *file = nullptr;
    if (gBypass > 0)
        return gSaved.open(name, mode);
    if (gSwitches & kSwitchDiskFirst)
    {
        file = gSaved.open(name, mode);
        if (!file)
            file = WAD_OpenArchiveFile(name, mode);
    }
    else
    {
        file = WAD_OpenArchiveFile(name, mode);
        if (!file && !(gSwitches & kSwitchArchivesOnly))
            file = gSaved.open(name, mode);
    }
    if (file)
        LogOpen(name);
    return file;
}

// Reads are clipped to the file and come from the handle's own archive.
size_t WAD_fread(void *buffer, size_t size, size_t count, bzFileHandle *file)
{
    if (!file)
        return 0;
    if (!file->archiveEntry)
        return gSaved.read(buffer, size, count, file);
    const uint64_t wanted = static_cast<uint64_t>(size) * count;
    if (size == 0 || count == 0 || wanted / size != count)
        return 0;
    bzWADFile *archive = file->archive;
    const int32_t position = file->position;
    file->position =
        static_cast<int32_t>(static_cast<uint32_t>(position) + static_cast<uint32_t>(wanted));
    if (!archive || !buffer)
        return 0;
    const bzWADFileNode *node = file->archiveEntry;
    uint64_t n = 0;
    if (position >= 0 && static_cast<uint32_t>(position) < node->length)
    {
        n = node->length - static_cast<uint32_t>(position);
        if (n > wanted)
            n = wanted;
    }
    if (n == 0)
        return 0;
    const uint32_t at = node->dataOffset + static_cast<uint32_t>(position);
    if (IsMemoryResident(archive))
    {
        std::memcpy(buffer, archive->memoryImage + at, static_cast<size_t>(n));
        return static_cast<size_t>(n / size);
    }
    if (gCurrent != archive && !bz_WAD_MakeCurrent(archive))
        return 0;
    bzFileHandle *source = archive->openFile;
    if (source->position != static_cast<int32_t>(at))
        gSaved.seek(source, static_cast<int32_t>(at), 0);
    if (gSaved.read(buffer, static_cast<size_t>(n), 1, source) != 1)
    {
        // The archive file changed under us; the next read seeks afresh.
        source->position = -1;
        return 0;
    }
    return static_cast<size_t>(n / size);
}

int WAD_fseek(bzFileHandle *file, int32_t offset, int origin)
{
    if (!file || !file->archiveEntry)
        return gSaved.seek(file, offset, origin);
    switch (origin)
    {
    case 0: file->position = offset; break;
    case 1:
        file->position = static_cast<int32_t>(static_cast<uint32_t>(file->position) +
                                              static_cast<uint32_t>(offset));
        break;
    case 2:
        file->position = static_cast<int32_t>(static_cast<uint32_t>(file->length) -
                                              static_cast<uint32_t>(offset));
        break;
    default: return -1;
    }
    return 0;
}

int32_t WAD_ftell(bzFileHandle *file)
{
    if (!file || !file->archiveEntry)
        return gSaved.tell(file);
    return file->position;
}

void WAD_rewind(bzFileHandle *file)
{
    if (!file || !file->archiveEntry)
    {
        gSaved.rewind(file);
        return;
    }
    file->position = 0;
}

int WAD_feof(bzFileHandle *file)
{
    if (!file || !file->archiveEntry)
        return gSaved.eof(file);
    return file->position >= file->length ? 1 : 0;
}

int WAD_fclose(bzFileHandle *file)
{
    if (!file)
        return EOF;
    if (!file->inUse)
        return 0;
    file->inUse = 0;
    if (file->stream)
        return gSaved.close(file);
    file->archive = nullptr;
    return 0;
}

// --- path lookup ---------------------------------------------------------------------------

// The file name[0, length) of a directory, which a lookup reached by the path
// path[0, pathLength) (a bare name for the root's files), through the index when there is one.
const bzWADFileNode *FindInFiles(const bzWADFile *archive, const bzWADDirNode *directory,
                                 const char *path, size_t pathLength, const char *name,
                                 size_t length)
{
    if (length > kMaxComponent)
        return nullptr;
    if (const bzWADNameIndex *index = archive->index)
        return FindFilePath(index, path, pathLength);
    for (const bzWADFileNode *f = directory->firstFile; f; f = f->next)
        if (NameIs(f->name, name, length))
            return f;
    return nullptr;
}

const bzWADDirNode *FindSubDirectory(const bzWADFile *archive, const bzWADDirNode *directory,
                                     const char *path, size_t pathLength, const char *name,
                                     size_t length)
{
    if (length > kMaxComponent)
        return nullptr;
    if (const bzWADNameIndex *index = archive->index)
        return FindDirectoryPath(index, path, pathLength);
    for (const bzWADDirNode *sub = directory->firstSub; sub; sub = sub->next)
        if (NameIs(sub->name, name, length))
            return sub;
    return nullptr;
}

bool IsSeparator(char c)
{
    return c == '\\' || c == '/';
}

void LowerCase(char *text)
{
    for (char *p = text; *p; ++p)
        if (*p >= 'A' && *p <= 'Z')
            *p = static_cast<char>(*p - 'A' + 'a');
}

// The disk ignores letter case, so a name matches when it does as it is or when pattern and
// name are both in lower case (the pattern's escapes are lower-case letters already).
bool MatchesArchiveName(const char *pattern, const char *name)
{
    if (bz_WildcardMatch(pattern, name))
        return true;
    char lowerPattern[BZ_FILE_PATH_SIZE];
    char lowerName[BZ_FILE_PATH_SIZE];
    CopyName(lowerPattern, sizeof lowerPattern, pattern);
    CopyName(lowerName, sizeof lowerName, name);
    LowerCase(lowerPattern);
    LowerCase(lowerName);
    return bz_WildcardMatch(lowerPattern, lowerName) != 0;
}

const char *FindSeparator(const char *p)
{
    for (; *p; ++p)
        if (IsSeparator(*p))
            return p;
    return nullptr;
}
} // namespace

// --- lookup --------------------------------------------------------------------------------

namespace
{
const bzWADFileNode *Walk(const bzWADFile *archive, const char *path);

const bzWADFileNode *LookupPrepared(const bzWADFile *archive, const PreparedPath &path)
{
    if (!archive->root)
        return nullptr;
    // A path that names a file as it is indexed needs no walk.
    if (const bzWADNameIndex *index = archive->index)
        if (const uint32_t node =
                FindSlot(index, index->keys, kFileName, path.text, path.length, path.hash)->node)
            return &index->files[node - 1 - index->directoryLimit];
    return Walk(archive, path.text);
}

// The lookup by the tree's names, component by component, of a path of at most kMaxPath
// characters.
const bzWADFileNode *Walk(const bzWADFile *archive, const char *path)
{
    char buffer[kMaxPath + 1];
    std::strcpy(buffer, path);
    // Each ".." step shortens the path, so this loop ends.
    for (;;)
    {
        const bzWADDirNode *root = archive->root;
        const char *first = FindSeparator(buffer);
        if (!first)
        {
            const size_t length = std::strlen(buffer);
            return FindInFiles(archive, root, buffer, length, buffer, length);
        }
        const size_t firstLength = static_cast<size_t>(first - buffer);
        const char *rest = first + 1;
        if (firstLength > kMaxComponent || !NameIs(root->name, buffer, firstLength))
        {
            const size_t length = std::strlen(rest);
            return FindSeparator(rest) ? nullptr
                                       : FindInFiles(archive, root, rest, length, rest, length);
        }

        // From here on the path up to the end of each component is the path of the directory
        // or file it reaches.
        const bzWADDirNode *directory = root;
        const char *previous = buffer; // start of the component before the current one
        const char *component = rest;
        bool restart = false;
        while (const char *end = FindSeparator(component))
        {
            const size_t length = static_cast<size_t>(end - component);
            const bzWADDirNode *sub = FindSubDirectory(
                archive, directory, buffer, static_cast<size_t>(end - buffer), component, length);
            if (sub)
            {
                directory = sub;
                previous = component;
                component = end + 1;
                continue;
            }
            // Only ".." itself is the parent: "..FOO" or "..." is a name, and not here.
            if (length == 2 && component[0] == '.' && component[1] == '.')
            {
                // Drop the previous component and the ".." and look the result up afresh.
                char shorter[kMaxPath + 1];
                const size_t head = static_cast<size_t>(previous - buffer);
                std::memcpy(shorter, buffer, head);
                std::strcpy(shorter + head, end + 1);
                std::strcpy(buffer, shorter);
                restart = true;
                break;
            }
            return nullptr;
        }
        if (!restart)
            return FindInFiles(archive, directory, buffer, std::strlen(buffer), component,
                               std::strlen(component));
    }
}

} // namespace

const bzWADFileNode *bz_WAD_Lookup(const bzWADFile *archive, const char *path)
{
    PreparedPath prepared;
    if (!archive || !path || !PreparePath(path, false, prepared))
        return nullptr;
    return LookupPrepared(archive, prepared);
}

int32_t bz_WAD_MakeCurrent(bzWADFile *archive)
{
    if (gCurrent == archive && archive)
        return 1;
    if (gCurrent)
        CloseArchiveFile(gCurrent);
    gCurrent = nullptr;
    if (!archive)
        return 0;
    if (IsMemoryResident(archive))
    {
        gCurrent = archive;
        return 1;
    }
    Bypass bypass;
    archive->openFile = bz_FileOpen(archive->name, "rb");
    if (!archive->openFile)
        return 0;
    gCurrent = archive;
    return 1;
}

namespace
{
const bzWADFileNode *FindPrepared(const PreparedPath &path, bzWADFile **outArchive)
{
    for (bzWADMount *mount = gMounts; mount; mount = mount->next)
    {
        for (bzWADFile *archive = mount->first; archive; archive = archive->next)
        {
            const bzWADFileNode *node = LookupPrepared(archive, path);
            if (!node)
                continue;
            if (!bz_WAD_MakeCurrent(archive))
                return nullptr;
            if (outArchive)
                *outArchive = archive;
            return node;
        }
    }
    return nullptr;
}
} // namespace

const bzWADFileNode *bz_WAD_FindFile(const char *path, bzWADFile **outArchive)
{
    PreparedPath prepared;
    if (!path || !PreparePath(path, false, prepared))
        return nullptr;
    return FindPrepared(prepared, outArchive);
}

// --- reading and mounting archives ---------------------------------------------------------

bzWADFile *bz_WAD_ReadArchive(const char *fileName)
{
    // The archive is reopened by this name whenever it becomes current: it must fit whole.
    if (!fileName || std::strlen(fileName) >= sizeof(bzWADFile::name))
    {
        bzgLastError = BZ_ERROR_PARAMETER_OUT_OF_RANGE;
        return nullptr;
    }
    bzFileHandle *file = bz_FileOpen(fileName, "rb");
    if (!file)
        return nullptr;
    uint8_t header[20] = {};
    const uint32_t archiveSize = static_cast<uint32_t>(file->length < 0 ? 0 : file->length);
    const uint32_t available = archiveSize < sizeof header ? archiveSize : sizeof header;
    bz_FileSeek(file, 0, 0);
    if (available && bz_FileRead(file, header, available) != available)
    {
        bz_FileClose(file);
        return nullptr;
    }
    Layout layout{};
    Fault fault = ReadLayout(header, available, archiveSize, layout);
    bzWADFile *archive = nullptr;
    if (fault == Fault::kNone)
        archive = LoadArchive(file, fileName, layout, archiveSize, &fault);
    bz_FileClose(file);
    if (archive)
        return archive;
    switch (fault)
    {
    case Fault::kNotWad:
        BZ_SET_ORIGIN();
        bz_ReportError("Wad file failure.",
                       "The opened file is not a wad file.\nFatal, can not function.");
        break;
    case Fault::kWrongVersion:
        BZ_SET_ORIGIN();
        bz_ReportError("Wad file failure.",
                       "Opened wad file is wrong version\nFatal, can not function.");
        break;
    case Fault::kOutOfMemory: bzgLastError = BZ_ERROR_NO_MEMORY; break;
    default: ReportDamaged(fileName, fault); break;
    }
    return nullptr;
}

int32_t bz_WAD_Open(const char *name)
{
    if (!name)
        return 0;
    if (bz_GetPathExt(name)[0])
    {
        BZ_SET_ORIGIN();
        bz_ReportError("unexpected extension", "filename = '%s'", name);
    }
    auto *mount = static_cast<bzWADMount *>(bz_MemAlloc(sizeof(bzWADMount), BZ_MEM_CLEAR));
    if (!mount)
        return 0;
    CopyName(mount->name, sizeof mount->name, name);
    if (!std::strpbrk(name, "*?/;[:"))
    {
        char fileName[BZ_FILE_PATH_SIZE];
        if (std::snprintf(fileName, sizeof fileName, "%s.WAD", name) <
            static_cast<int>(sizeof fileName))
        {
            Bypass bypass;
            if (bzWADFile *archive = bz_WAD_ReadArchive(fileName))
                InsertArchive(mount, archive);
        }
    }
    else
    {
        char pattern[BZ_FILE_PATH_SIZE];
        if (std::snprintf(pattern, sizeof pattern, "%s.wad", name) >=
                static_cast<int>(sizeof pattern) ||
            !PDFindFirstFile(".", "*.wad"))
        {
            bz_MemFree(mount);
            return 0;
        }
        while (const char *found = PDFindNextFile(1, 0))
        {
            if (std::strlen(found) >= sizeof(bzWADFile::name) ||
                !MatchesArchiveName(pattern, found))
                continue;
            char fileName[sizeof(bzWADFile::name)];
            CopyName(fileName, sizeof fileName, found);
            Bypass bypass;
            if (bzWADFile *archive = bz_WAD_ReadArchive(fileName))
                InsertArchive(mount, archive);
        }
        PDFindClose(".");
    }
    const int32_t count = CountArchives(mount);
    if (count == 0)
    {
        bz_MemFree(mount);
        return 0;
    }
    mount->next = gMounts;
    gMounts = mount;
    return count;
}

int32_t bz_WAD_MountMemory(void *image, const char *name)
{
    if (!image)
        return 0;
    auto *bytes = static_cast<uint8_t *>(image);
    const uint32_t size = bz_MemSize(image);
    Layout layout{};
    Fault fault = ReadLayout(bytes, size, size, layout);
    if (fault != Fault::kNone)
    {
        bzgLastError = BZ_ERROR_BAD_DATA_FORMAT;
        return 0;
    }
    auto *archive = static_cast<bzWADFile *>(bz_MemAlloc(sizeof(bzWADFile), BZ_MEM_CLEAR));
    if (!archive)
        return 0;
    CopyName(archive->name, sizeof archive->name, name);
    archive->version = layout.version;
    archive->flags = layout.flags;
    archive->archiveSize = size;
    archive->nameBlock = reinterpret_cast<char *>(bytes + layout.headerSize);
    archive->nameBlockSize = layout.nameBlockSize;
    if (!BuildTree(archive, layout, bytes + layout.headerSize + layout.nameBlockSize, &fault))
    {
        bz_MemFree(archive);
        bzgLastError = fault == Fault::kOutOfMemory ? BZ_ERROR_NO_MEMORY : BZ_ERROR_BAD_DATA_FORMAT;
        return 0;
    }
    auto *mount = static_cast<bzWADMount *>(bz_MemAlloc(sizeof(bzWADMount), BZ_MEM_CLEAR));
    if (!mount)
    {
        FreeIndex(archive->index);
        bz_MemFree(archive->root);
        bz_MemFree(archive);
        return 0;
    }
    archive->flags |= BZ_WAD_FLAG_MEMORY;
    archive->memoryImage = bytes;
    CopyName(mount->name, sizeof mount->name, name);
    mount->first = archive;
    mount->next = gMounts;
    gMounts = mount;
    return 1;
}

int32_t bz_WAD_MountFromFile(const char *name)
{
    void *image;
    {
        Bypass bypass;
        image = bz_LoadFileToMemory(name, nullptr);
    }
    if (!image)
        return 0;
    if (!bz_WAD_MountMemory(image, name))
    {
        bz_MemFree(image);
        return 0;
    }
    return 1;
}

void bz_WAD_Init(const char *name, int32_t diskFirst, int32_t archivesOnly, int32_t logOn,
                 const char *logFileName)
{
    // A second start shuts the first down, so the saved table never holds our own handlers.
    if (gInstalled || gMounts)
        bz_WAD_Close();
    gSwitches = 0;
    gLogName[0] = 0;
    gMounts = nullptr;
    gCurrent = nullptr;
    gBypass = 0;
    gKeyLength = 0;
    if (diskFirst)
        gSwitches |= kSwitchDiskFirst;
    if (archivesOnly)
    {
        gSwitches |= kSwitchArchivesOnly;
        gSwitches &= ~kSwitchDiskFirst;
    }
    if (logFileName && logOn)
    {
        gSwitches |= kSwitchLog;
        CopyName(gLogName, sizeof gLogName, logFileName);
        if (bzFileHandle *log = bz_FileOpen(gLogName, "wt"))
            bz_FileClose(log);
        else
            gSwitches &= ~kSwitchLog;
    }
    bz_WAD_Open(name);
    bz_FileIO_GetHandlers(&gSaved);
    bzFileIOHandlers ours = {};
    ours.open = WAD_fopen;
    ours.close = WAD_fclose;
    ours.read = WAD_fread;
    ours.seek = WAD_fseek;
    ours.tell = WAD_ftell;
    ours.rewind = WAD_rewind;
    ours.eof = WAD_feof;
    bz_FileIO_SetHandlers(&ours);
    gInstalled = true;
}

void bz_WAD_CloseCurrent()
{
    if (gCurrent)
        CloseArchiveFile(gCurrent);
    gCurrent = nullptr;
}

void bz_WAD_Close()
{
    bz_WAD_CloseCurrent();
    if (gInstalled)
    {
        bz_FileIO_SetHandlers(&gSaved);
        gInstalled = false;
    }
    DetachHandles(nullptr);
    while (bzWADMount *mount = gMounts)
    {
        gMounts = mount->next;
        while (bzWADFile *archive = mount->first)
        {
            mount->first = archive->next;
            FreeArchive(archive);
        }
        bz_MemFree(mount);
    }
}

int32_t bz_WAD_Unmount(const char *archiveName)
{
    if (!archiveName)
        return 0;
    for (bzWADMount **mountLink = &gMounts; *mountLink; mountLink = &(*mountLink)->next)
    {
        bzWADMount *mount = *mountLink;
        for (bzWADFile **link = &mount->first; *link; link = &(*link)->next)
        {
            bzWADFile *archive = *link;
            if (std::strcmp(archive->name, archiveName) != 0)
                continue;
            if (gCurrent == archive)
                bz_WAD_CloseCurrent();
            DetachHandles(archive);
            *link = archive->next;
            FreeArchive(archive);
            if (!mount->first)
            {
                *mountLink = mount->next;
                bz_MemFree(mount);
            }
            return 1;
        }
    }
    return 0;
}

int32_t bz_WAD_SetKey(const void *block, uint32_t length)
{
    if (length > BZ_WAD_MAX_KEY || (!block && length))
        return 0;
    if (length)
        std::memcpy(gKey, block, length);
    gKeyLength = length;
    return 1;
}

void bz_WAD_GetKey(const uint8_t **outBlock, uint32_t *outLength)
{
    if (outBlock)
        *outBlock = gKey;
    if (outLength)
        *outLength = gKeyLength;
}

// --- archive images ------------------------------------------------------------------------

bzErrorCode bz_WAD_LoadImage(bzWADImage *record, const char *name)
{
    if (!record || !name)
        return BZ_ERROR_FILE_NOT_FOUND;
    *record = bzWADImage{};
    CopyName(record->name, sizeof record->name, name);
    int32_t length = 0;
    void *data;
    {
        Bypass bypass;
        bzgLastError = BZ_ERROR_FILE_NOT_FOUND;
        data = bz_LoadFileToMemory(name, &length);
    }
    if (!data)
        return bzgLastError;
    auto *bytes = static_cast<uint8_t *>(data);
    const uint32_t size = static_cast<uint32_t>(length);
    Layout layout{};
    const Fault fault = ReadLayout(bytes, size, size, layout);
    if (fault != Fault::kNone)
    {
        const bool known = fault != Fault::kNotWad && fault != Fault::kWrongVersion;
        bz_MemFree(data);
        return bzgLastError = known ? BZ_ERROR_BAD_DATA_FORMAT : BZ_ERROR_FILE_NOT_FOUND;
    }
    const uint32_t entryCount = layout.fileCount + layout.directoryCount;
    auto *kinds = static_cast<uint8_t *>(bz_MemAlloc(entryCount, BZ_MEM_CLEAR));
    if (!kinds)
    {
        bz_MemFree(data);
        return bzgLastError = BZ_ERROR_NO_MEMORY;
    }
    TreeReader reader{bytes + layout.headerSize + layout.nameBlockSize,
                      entryCount,
                      reinterpret_cast<const char *>(bytes + layout.headerSize),
                      layout.nameBlockSize,
                      size,
                      layout.directoryCount,
                      layout.fileCount,
                      nullptr,
                      nullptr,
                      kinds};
    bool ok = false;
    reader.Directory(0, ok);
    if (!ok)
    {
        bz_MemFree(kinds);
        bz_MemFree(data);
        return bzgLastError = BZ_ERROR_BAD_DATA_FORMAT;
    }
    record->data = bytes;
    record->size = size;
    record->magic = BZ_WAD_MAGIC;
    record->version = layout.version;
    record->flags = layout.flags;
    record->nameBlockSize = layout.nameBlockSize;
    record->fileCount = layout.fileCount;
    record->directoryCount = layout.directoryCount;
    record->headerSize = layout.headerSize;
    record->nameBlockPos = layout.headerSize;
    record->entryBlockPos = layout.headerSize + layout.nameBlockSize;
    record->kinds = kinds;
    return BZ_ERROR_NONE;
}

int32_t bz_WAD_SaveImage(const bzWADImage *record)
{
    if (!record || !record->data)
        return 0;
    bzFileHandle *file;
    {
        Bypass bypass;
        file = bz_FileOpen(record->name, "wb");
    }
    if (!file)
        return 0;
    const uint32_t entryCount = record->fileCount + record->directoryCount;
    const uint32_t entryBytes = entryCount * kEntrySize;
    auto *entries = static_cast<uint8_t *>(bz_MemAlloc(entryBytes, 0));
    if (!entries)
    {
        bz_FileClose(file);
        return 0;
    }
    std::memcpy(entries, record->data + record->entryBlockPos, entryBytes);
    // The header grows from 16 to 20 bytes: every file's data moves on by 4.
    const uint32_t shift = 20 - record->headerSize;
    for (uint32_t i = 0; i < entryCount; ++i)
        if (record->kinds[i] == 2)
            bz_PutU32LE(entries + i * kEntrySize + 8,
                        bz_GetU32LE(entries + i * kEntrySize + 8) + shift);
    uint8_t header[20];
    bz_PutU16LE(header, BZ_WAD_MAGIC);
    bz_PutU16LE(header + 2, BZ_WAD_VERSION_0101);
    bz_PutU32LE(header + 4, record->flags);
    bz_PutU32LE(header + 8, record->nameBlockSize);
    bz_PutU32LE(header + 12, record->fileCount);
    bz_PutU32LE(header + 16, record->directoryCount);
    const uint32_t dataStart = record->entryBlockPos + entryBytes;
    bool ok = bz_FileWrite(file, header, sizeof header) == sizeof header &&
              bz_FileWrite(file, record->data + record->nameBlockPos, record->nameBlockSize) ==
                  record->nameBlockSize &&
              bz_FileWrite(file, entries, entryBytes) == entryBytes &&
              bz_FileWrite(file, record->data + dataStart, record->size - dataStart) ==
                  record->size - dataStart;
    bz_MemFree(entries);
    if (bz_FileClose(file) != 0)
        ok = false;
    return ok ? 1 : 0;
}

void bz_WAD_ImageFirst(bzWADImage *record)
{
    if (record)
        record->cursor = 0;
}

int32_t bz_WAD_ImageNext(bzWADImage *record, bzWADImageEntry *out)
{
    if (!record || !record->data || !out)
        return 0;
    const uint32_t entryCount = record->fileCount + record->directoryCount;
    while (record->cursor < entryCount && record->kinds[record->cursor] == 0)
        ++record->cursor;
    if (record->cursor >= entryCount)
        return 0;
    const uint32_t index = record->cursor++;
    const uint8_t *entry = record->data + record->entryBlockPos + index * kEntrySize;
    out->name =
        reinterpret_cast<const char *>(record->data + record->nameBlockPos + bz_GetU32LE(entry));
    out->isDirectory = record->kinds[index] == 1;
    out->data = out->isDirectory ? nullptr : record->data + bz_GetU32LE(entry + 8);
    out->length = out->isDirectory ? 0 : bz_GetU32LE(entry + 4);
    return 1;
}

void bz_WAD_FreeImage(bzWADImage *record)
{
    if (!record)
        return;
    if (record->data)
        bz_MemFree(record->data);
    if (record->kinds)
        bz_MemFree(record->kinds);
    record->data = nullptr;
    record->kinds = nullptr;
}
