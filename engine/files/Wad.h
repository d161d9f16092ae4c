// WAD archives: files holding a directory tree of names, a table of entries and the file
// data. Mounted archives stand in the file-I/O hook table in front of the disk handlers, so
// an open for reading finds a path inside them and hands back an ordinary bzFileHandle.
//
// Archive file layout (little-endian): u16 magic 0x1234, u16 version (0x0100 or 0x0101);
// version 0x0101 then has a u32 flags word (bit 0: the files are enciphered); then u32
// name-block size N, u32 file-entry count F, u32 directory-entry count D, the name block of
// zero-terminated names, and 16 x (F + D) bytes of entries, the root directory first and each
// directory followed by its sub-directories (each whole) and then its files. A directory entry
// is {name offset, file count, sub-directory count, 0}, a file entry {name offset, length,
// absolute data offset, 0}. Names are stored in upper case.
#pragma once

#include "files/File.h"

#include <cstdint>

constexpr uint16_t BZ_WAD_MAGIC = 0x1234;
constexpr uint16_t BZ_WAD_VERSION_0100 = 0x0100;
constexpr uint16_t BZ_WAD_VERSION_0101 = 0x0101;
constexpr uint32_t BZ_WAD_FLAG_ENCIPHERED = 0x1;
constexpr uint32_t BZ_WAD_FLAG_MEMORY = 0x80000000u;
constexpr int32_t BZ_WAD_NAME_SIZE = 64;
constexpr uint32_t BZ_WAD_MAX_KEY = 256;
// Deeper directory trees are refused as damaged.
constexpr int32_t BZ_WAD_MAX_DEPTH = 64;

struct bzWADFileNode
{
    const bzWADFileNode *next;
    const char *name; // inside the archive's name block
    uint32_t dataOffset;
    uint32_t length;
};

struct bzWADNameIndex;

struct bzWADDirNode
{
    const char *name;
    bzWADDirNode *firstSub;
    bzWADDirNode *next; // next sibling
    bzWADFileNode *firstFile;
};

// One mounted archive.
struct bzWADFile
{
    char name[BZ_FILE_PATH_SIZE]; // the archive's file name as opened, reopened by it
    uint16_t version;
    uint32_t flags;     // version-0x0101 flags; BZ_WAD_FLAG_MEMORY marks a memory image
    bzWADDirNode *root; // the directory tree; its block also holds the file nodes
    uint32_t treeSize;
    // Every directory's sub-directories and files by name, built with the tree (owned); null
    // when there was no memory for it, and lookups then walk the tree's lists.
    bzWADNameIndex *index;
    char *nameBlock; // inside the memory image for a memory-resident archive
    uint32_t nameBlockSize;
    bzFileHandle *openFile; // the archive file while it is current
    uint8_t *memoryImage;   // the whole archive of a memory-resident archive
    uint32_t archiveSize;   // bytes of the archive file or image
    bzWADFile *next;        // next archive of its mount
};

// One call of bz_WAD_Open or one memory mount.
struct bzWADMount
{
    char name[BZ_WAD_NAME_SIZE];
    bzWADFile *first;
    bzWADMount *next;
};

// Mounts name (an archive without its ".WAD", or a wildcard pattern of archive names in the
// current directory) and installs the archive handlers. diskFirst: the disk is asked before
// the archives; archivesOnly: never the disk; with logOn and a log file name every open is
// logged there.
void bz_WAD_Init(const char *name, int32_t diskFirst, int32_t archivesOnly, int32_t logOn,
                 const char *logFileName);
// The number of archives mounted (0: none).
int32_t bz_WAD_Open(const char *name);
void bz_WAD_Close();
int32_t bz_WAD_Unmount(const char *archiveName);
// Mounts an archive held whole in a memory-manager block, which then belongs to the archive.
// 1, or 0 (the block stays the caller's) when it is no sound archive.
int32_t bz_WAD_MountMemory(void *image, const char *name);
int32_t bz_WAD_MountFromFile(const char *name);
void bz_WAD_CloseCurrent();

// The key block of enciphered archives, at most 256 bytes. SetKey returns 1, or 0 (the key
// unchanged) for a longer or missing block.
int32_t bz_WAD_SetKey(const void *block, uint32_t length);
void bz_WAD_GetKey(const uint8_t **outBlock, uint32_t *outLength);

// Reads one archive file (the caller raises the bypass); null when it is missing or refused
// (last-error 20 for a name of BZ_FILE_PATH_SIZE characters or more).
bzWADFile *bz_WAD_ReadArchive(const char *fileName);
// The file node of an upper-case path in the mounted archives, newest mount first; its
// archive becomes current. outArchive may be null.
const bzWADFileNode *bz_WAD_FindFile(const char *path, bzWADFile **outArchive);
const bzWADFileNode *bz_WAD_Lookup(const bzWADFile *archive, const char *path);
int32_t bz_WAD_MakeCurrent(bzWADFile *archive);

// A loaded copy of a whole archive file, for tools.
struct bzWADImage
{
    char name[BZ_FILE_PATH_SIZE];
    uint8_t *data; // the file
    uint32_t size;
    uint16_t magic;
    uint16_t version;
    uint32_t flags;
    uint32_t nameBlockSize;
    uint32_t fileCount;
    uint32_t directoryCount;
    uint32_t headerSize; // 16 or 20
    uint32_t nameBlockPos;
    uint32_t entryBlockPos;
    uint8_t *kinds;  // per entry: 1 directory, 2 file, 0 outside the tree
    uint32_t cursor; // of the entry walk
};

struct bzWADImageEntry
{
    const char *name;
    int32_t isDirectory;
    const uint8_t *data; // files: the data inside the image
    uint32_t length;
};

// 0, 19 (no archive of a known version), 59 (damaged) or the load's error.
bzErrorCode bz_WAD_LoadImage(bzWADImage *record, const char *name);
// Writes the image to record->name with the version-0x0101 header; 1, or 0 when the file
// cannot be written.
int32_t bz_WAD_SaveImage(const bzWADImage *record);
void bz_WAD_ImageFirst(bzWADImage *record);
// The next entry in the order of the block; 0 at the end.
int32_t bz_WAD_ImageNext(bzWADImage *record, bzWADImageEntry *out);
void bz_WAD_FreeImage(bzWADImage *record);
