#include "settings/Registry.h"

#include "core/Bytes.h"
#include "core/Error.h"
#include "core/Memory.h"
#include "pc/PcRegistry.h"

#include <cstring>

namespace
{
bzRegKey *gOpenKeys;

int32_t ReadDword(const char *path, bzRegRoot root, const char *name, uint32_t *out)
{
    uint8_t bytes[4];
    uint32_t type = 0;
    uint32_t size = sizeof bytes;
    if (PDReg_QueryValue(root, path, name, &type, bytes, &size) != PD_REG_OK || size != 4)
        return 0;
    if (type != PD_REG_DWORD && type != PD_REG_BINARY)
        return 0;
    if (out)
        *out = bz_GetU32LE(bytes);
    return 1;
}

int32_t WriteDword(const char *path, bzRegRoot root, const char *name, uint32_t value)
{
    uint8_t bytes[4];
    bz_PutU32LE(bytes, value);
    return PDReg_SetValue(root, path, name, PD_REG_DWORD, bytes, 4) == PD_REG_OK;
}

char *CopyText(const char *text, uint32_t length)
{
    auto *copy = static_cast<char *>(bz_MemAlloc(length + 1, 0));
    if (!copy)
        return nullptr;
    if (length)
        std::memcpy(copy, text, length);
    copy[length] = 0;
    return copy;
}

// A new record for an existing key; takes ownership of the path copy (freed on failure).
bzRegKey *OpenRecord(int32_t readOnly, bzRegRoot root, char *path)
{
    PDRegKeyInfo info;
    if (PDReg_QueryKeyInfo(root, path, &info) != PD_REG_OK)
    {
        bz_MemFree(path);
        return nullptr;
    }
    auto *record = static_cast<bzRegKey *>(bz_MemAlloc(sizeof(bzRegKey), BZ_MEM_CLEAR));
    if (!record)
    {
        bz_MemFree(path);
        return nullptr;
    }
    record->root = root;
    record->readOnly = readOnly ? 1 : 0;
    record->path = path;
    record->subKeyCount = info.subKeys;
    record->maxSubKeyLength = info.maxSubKeyLength;
    record->valueCount = info.values;
    record->maxValueNameLength = info.maxValueNameLength;
    record->next = gOpenKeys;
    gOpenKeys = record;
    return record;
}

bool IsOpen(const bzRegKey *record)
{
    for (bzRegKey *k = gOpenKeys; k; k = k->next)
    {
        if (k == record)
            return true;
    }
    return false;
}
} // namespace

int32_t bz_Registry_ReadString(const char *path, bzRegRoot root, const char *name, char *buffer,
                               uint32_t size)
{
    if (!buffer || size == 0)
        return 0;
    uint32_t type = 0;
    uint32_t length = 0;
    if (PDReg_QueryValue(root, path, name, &type, nullptr, &length) != PD_REG_OK ||
        type != PD_REG_STRING || length >= size)
        return 0;
    uint32_t room = size - 1;
    if (PDReg_QueryValue(root, path, name, &type, buffer, &room) != PD_REG_OK)
        return 0;
    buffer[room] = 0;
    return 1;
}

int32_t bz_Registry_ReadDword(const char *path, bzRegRoot root, const char *name, uint32_t *value)
{
    if (!value)
        return 0;
    return ReadDword(path, root, name, value);
}

int32_t bz_Registry_ReadValue(const char *path, bzRegRoot root, const char *name, uint32_t *value)
{
    return bz_Registry_ReadDword(path, root, name, value);
}

int32_t bz_Registry_ValueExists(const char *path, bzRegRoot root, const char *name)
{
    return ReadDword(path, root, name, nullptr);
}

int32_t bz_Registry_WriteString(const char *path, bzRegRoot root, const char *name,
                                const char *text)
{
    if (!text)
        return 0;
    size_t length = std::strlen(text);
    if (length > PD_REG_MAX_DATA)
        return 0;
    return PDReg_SetValue(root, path, name, PD_REG_STRING, text, static_cast<uint32_t>(length)) ==
           PD_REG_OK;
}

int32_t bz_Registry_WriteBinary(const char *path, bzRegRoot root, const char *name,
                                const void *data, uint32_t length)
{
    return PDReg_SetValue(root, path, name, PD_REG_BINARY, data, length) == PD_REG_OK;
}

int32_t bz_Registry_WriteDword(const char *path, bzRegRoot root, const char *name, uint32_t value)
{
    return WriteDword(path, root, name, value);
}

int32_t bz_Registry_WriteValue(const char *path, bzRegRoot root, const char *name, uint32_t value)
{
    return WriteDword(path, root, name, value);
}

int32_t bz_Registry_DeleteValue(const char *path, bzRegRoot root, const char *name)
{
    return PDReg_DeleteValue(root, path, name) == PD_REG_OK;
}

int32_t bz_Registry_DeleteKey(const char *path, bzRegRoot root, const char *subKey)
{
    return PDReg_DeleteKey(root, path, subKey) == PD_REG_OK;
}

bzRegKey *bz_Registry_OpenKey(int32_t readOnly, bzRegRoot root, const char *path)
{
    if (!path)
        path = "";
    size_t length = strnlen(path, PD_REG_MAX_PATH + 1);
    if (length > PD_REG_MAX_PATH || PDReg_KeyExists(root, path) != PD_REG_OK)
        return nullptr;
    char *copy = CopyText(path, static_cast<uint32_t>(length));
    if (!copy)
        return nullptr;
    return OpenRecord(readOnly, root, copy);
}

bzRegKey *bz_Registry_OpenSubKey(bzRegKey *record, uint32_t index)
{
    if (!record || !IsOpen(record) || index >= record->subKeyCount)
        return nullptr;
    // Room for the path, "\" and the longest subkey name; subkeys made since the record was
    // opened may be longer, so the store is asked again.
    PDRegKeyInfo info;
    if (PDReg_QueryKeyInfo(record->root, record->path, &info) != PD_REG_OK)
        return nullptr;
    uint32_t longest = info.maxSubKeyLength > record->maxSubKeyLength ? info.maxSubKeyLength
                                                                      : record->maxSubKeyLength;
    auto pathLength = static_cast<uint32_t>(std::strlen(record->path));
    uint32_t size = pathLength + 1 + longest + 1;
    auto *name = static_cast<char *>(bz_MemAlloc(size, 0));
    if (!name)
    {
        bz_ReportError("Error", "Out of memory");
        return nullptr;
    }
    uint32_t at = 0;
    if (pathLength)
    {
        std::memcpy(name, record->path, pathLength);
        name[pathLength] = '\\';
        at = pathLength + 1;
    }
    if (PDReg_EnumSubKey(record->root, record->path, index, name + at, size - at) != PD_REG_OK ||
        at + std::strlen(name + at) > PD_REG_MAX_PATH)
    {
        bz_MemFree(name);
        return nullptr;
    }
    return OpenRecord(record->readOnly, record->root, name);
}

void bz_Registry_CloseKey(bzRegKey *record)
{
    if (!record)
        return;
    for (bzRegKey **link = &gOpenKeys; *link; link = &(*link)->next)
    {
        if (*link == record)
        {
            *link = record->next;
            bz_MemFree(record->path);
            bz_MemFree(record);
            return;
        }
    }
}

const char *bz_Registry_FormatLastError()
{
    return PDReg_ResultText(PDReg_LastResult());
}
