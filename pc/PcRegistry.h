// The PC's registry: keys under two roots, each key holding subkeys and named, typed values,
// kept in one file. Key and value names are compared without regard to ASCII letter case.
//
// The file is "registry.dat" in the "tolvane" folder of the user's configuration directory
// ($XDG_CONFIG_HOME, else $HOME/.config); the environment variable TOLVANE_REGISTRY_FILE
// names another file. Every change rewrites the whole file through a new file that is renamed
// over the old one, so a write either happens whole or not at all. A damaged file is reported
// once, renamed aside (".damaged", ".damaged.1" ...) and the store starts empty.
#pragma once

#include <cstdint>

// Roots.
enum : uint32_t
{
    PD_REG_ROOT_CLASSES = 1,
    PD_REG_ROOT_LOCAL_MACHINE = 2,
};

// Value types.
enum : uint32_t
{
    PD_REG_STRING = 1, // text without a terminator
    PD_REG_BINARY = 3,
    PD_REG_DWORD = 4, // 4 bytes, little-endian
};

// Results.
enum : int32_t
{
    PD_REG_OK = 0,
    PD_REG_NOT_FOUND = 1,    // no such key, value or subkey index
    PD_REG_MORE_DATA = 2,    // the caller's buffer is too small; nothing was copied
    PD_REG_BAD_ARGUMENT = 3, // unknown root or type, a name too long, a path too deep
    PD_REG_HAS_SUBKEYS = 4,  // a key with subkeys cannot be deleted
    PD_REG_WRITE_FAILED = 5, // the store file could not be written; nothing changed
    PD_REG_READ_ONLY = 6,    // a damaged store that could not be set aside is never overwritten
};

constexpr uint32_t PD_REG_MAX_KEY_NAME = 255;     // one key of a path
constexpr uint32_t PD_REG_MAX_PATH = 2048;        // a whole path
constexpr uint32_t PD_REG_MAX_DEPTH = 64;         // keys in a path
constexpr uint32_t PD_REG_MAX_VALUE_NAME = 16383; // a value's name
constexpr uint32_t PD_REG_MAX_DATA = 1u << 20;    // a value's data

struct PDRegKeyInfo
{
    uint32_t subKeys;
    uint32_t maxSubKeyLength; // longest subkey name, without terminator
    uint32_t values;
    uint32_t maxValueNameLength;
};

// Paths are keys separated by "\"; empty parts are ignored, so "" is the root itself. A null
// value name is the key's default value (the name "").

// PD_REG_OK when the key exists.
int32_t PDReg_KeyExists(uint32_t root, const char *path);
int32_t PDReg_QueryKeyInfo(uint32_t root, const char *path, PDRegKeyInfo *info);
// The name of the index-th subkey (in name order) with its terminator, into name[size].
int32_t PDReg_EnumSubKey(uint32_t root, const char *path, uint32_t index, char *name,
                         uint32_t size);
// Reads a value. *size holds the buffer's size on entry and the data's size on return; with
// a null data pointer only the size and type are returned. A buffer too small gives
// PD_REG_MORE_DATA and is left as it was.
int32_t PDReg_QueryValue(uint32_t root, const char *path, const char *name, uint32_t *type,
                         void *data, uint32_t *size);
// Writes a value, making the key and any missing key above it.
int32_t PDReg_SetValue(uint32_t root, const char *path, const char *name, uint32_t type,
                       const void *data, uint32_t size);
int32_t PDReg_DeleteValue(uint32_t root, const char *path, const char *name);
// Deletes the subkey (a path below the key) with its values; refused while it has subkeys.
int32_t PDReg_DeleteKey(uint32_t root, const char *path, const char *subKey);

// The result of the last operation, and the text of a result.
int32_t PDReg_LastResult();
const char *PDReg_ResultText(int32_t result);

// The store file in use (found again after PDReg_Reload).
const char *PDReg_StorePath();
// Forgets the store held in memory: the next operation finds the file again and reads it.
void PDReg_Reload();
// How many damaged store files were reported.
uint32_t PDReg_DamageReports();
// The largest store file, in bytes, that is read or written (0: the usual 64 MiB); a change that
// would make the file larger fails with PD_REG_WRITE_FAILED. Tests lower it.
void PDReg_SetStoreSizeLimit(uint32_t bytes);
// For tests of interrupted writes: the next store write stops after the given number of bytes
// of the new file, either failing (endProcess 0) or ending the process on the spot.
void PDReg_InterruptNextWrite(uint32_t afterBytes, int32_t endProcess);
