// Settings kept in the registry: values read, written and deleted under a root and a key
// path, and open-key records for walking subkeys.
#pragma once

#include <cstdint>

typedef uint32_t bzRegRoot;

enum : bzRegRoot
{
    BZ_REGISTRY_CLASSES_ROOT = 1,
    BZ_REGISTRY_LOCAL_MACHINE = 2,
};

// An open key. Open records form a list, newest first.
struct bzRegKey
{
    bzRegRoot root;
    int32_t readOnly;
    char *path; // the key's path, a copy owned by the record
    uint32_t subKeyCount;
    uint32_t maxSubKeyLength;
    uint32_t valueCount;
    uint32_t maxValueNameLength;
    bzRegKey *next;
};

// All return 1 on success and 0 on failure. A null name is the key's default value.

// Reads a string value with its terminator; a value that does not fit in size bytes fails
// and leaves the buffer as it was.
int32_t bz_Registry_ReadString(const char *path, bzRegRoot root, const char *name, char *buffer,
                               uint32_t size);
// Reads a 4-byte value; on failure *value is left as it was.
int32_t bz_Registry_ReadDword(const char *path, bzRegRoot root, const char *name, uint32_t *value);
int32_t bz_Registry_ReadValue(const char *path, bzRegRoot root, const char *name, uint32_t *value);
// 1 when a 4-byte value can be read.
int32_t bz_Registry_ValueExists(const char *path, bzRegRoot root, const char *name);
// The writers make the key when it does not exist.
int32_t bz_Registry_WriteString(const char *path, bzRegRoot root, const char *name,
                                const char *text);
int32_t bz_Registry_WriteBinary(const char *path, bzRegRoot root, const char *name,
                                const void *data, uint32_t length);
int32_t bz_Registry_WriteDword(const char *path, bzRegRoot root, const char *name, uint32_t value);
int32_t bz_Registry_WriteValue(const char *path, bzRegRoot root, const char *name, uint32_t value);
int32_t bz_Registry_DeleteValue(const char *path, bzRegRoot root, const char *name);
// Deletes a subkey of the key; a subkey that has subkeys of its own is not deleted.
int32_t bz_Registry_DeleteKey(const char *path, bzRegRoot root, const char *subKey);

// Opens an existing key into a new record holding its counts; null when it does not exist.
bzRegKey *bz_Registry_OpenKey(int32_t readOnly, bzRegRoot root, const char *path);
// Opens the index-th subkey (in name order) of an open key; null when there is none.
bzRegKey *bz_Registry_OpenSubKey(bzRegKey *record, uint32_t index);
// Unlinks and frees an open record.
void bz_Registry_CloseKey(bzRegKey *record);
// The text of the last registry failure.
const char *bz_Registry_FormatLastError();
