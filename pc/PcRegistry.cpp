#include "pc/PcRegistry.h"

#include "pc/PcDebug.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace
{
// File layout, little-endian throughout:
//   "TVRG", version u32, key count u32,
//   per key:   root u32, path length u32, path, value count u32,
//   per value: name length u32, name, type u32, data length u32, data,
//   CRC-32 of everything before it, u32.
// Every key is listed with its whole path, parents before children.
constexpr char kMagic[4] = {'T', 'V', 'R', 'G'};
constexpr uint32_t kVersion = 1;
constexpr uint32_t kRootCount = 2;
constexpr size_t kDefaultMaxFileSize = 64u << 20;
constexpr int kMaxAsideNames = 10;

struct Value
{
    std::string name;
    uint32_t type = 0;
    std::vector<uint8_t> data;
};

struct Key
{
    std::string name;
    std::vector<Key> children; // in name order
    std::vector<Value> values;
};

struct Store
{
    Key roots[kRootCount];
};

bool gLoaded;
bool gReadOnly;
Store gStore;
std::string gPath;
uint32_t gDamageReports;
int32_t gLastResult;
size_t gMaxFileSize = kDefaultMaxFileSize;
uint32_t gInterruptAfter;
bool gInterruptArmed;
bool gInterruptEndsProcess;

char Lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

int CompareNames(std::string_view a, std::string_view b)
{
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i)
    {
        char ca = Lower(a[i]);
        char cb = Lower(b[i]);
        if (ca != cb)
            return static_cast<unsigned char>(ca) < static_cast<unsigned char>(cb) ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

uint32_t Crc32(const uint8_t *data, size_t size)
{
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < size; ++i)
    {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

// Splits a path into its keys; false for a path too long or too deep, or a key name too long.
bool SplitPath(const char *path, std::vector<std::string_view> *parts)
{
    parts->clear();
    if (!path)
        return true;
    size_t length = strnlen(path, PD_REG_MAX_PATH + 1);
    if (length > PD_REG_MAX_PATH)
        return false;
    std::string_view rest(path, length);
    while (!rest.empty())
    {
        size_t cut = rest.find('\\');
        std::string_view part = rest.substr(0, cut);
        rest = cut == std::string_view::npos ? std::string_view() : rest.substr(cut + 1);
        if (part.empty())
            continue;
        if (part.size() > PD_REG_MAX_KEY_NAME || parts->size() >= PD_REG_MAX_DEPTH)
            return false;
        parts->push_back(part);
    }
    return true;
}

bool ValueName(const char *name, std::string_view *out)
{
    if (!name)
    {
        *out = std::string_view();
        return true;
    }
    size_t length = strnlen(name, PD_REG_MAX_VALUE_NAME + 1);
    if (length > PD_REG_MAX_VALUE_NAME)
        return false;
    *out = std::string_view(name, length);
    return true;
}

Key *RootKey(Store &store, uint32_t root)
{
    if (root < 1 || root > kRootCount)
        return nullptr;
    return &store.roots[root - 1];
}

std::vector<Key>::iterator FindChild(Key &key, std::string_view name)
{
    auto it = std::lower_bound(key.children.begin(), key.children.end(), name,
                               [](const Key &k, std::string_view n)
                               { return CompareNames(k.name, n) < 0; });
    if (it != key.children.end() && CompareNames(it->name, name) == 0)
        return it;
    return key.children.end();
}

Key *Child(Key &key, std::string_view name, bool create)
{
    auto it = std::lower_bound(key.children.begin(), key.children.end(), name,
                               [](const Key &k, std::string_view n)
                               { return CompareNames(k.name, n) < 0; });
    if (it != key.children.end() && CompareNames(it->name, name) == 0)
        return &*it;
    if (!create)
        return nullptr;
    Key fresh;
    fresh.name = std::string(name);
    return &*key.children.insert(it, std::move(fresh));
}

Value *FindValue(Key &key, std::string_view name)
{
    for (Value &v : key.values)
    {
        if (CompareNames(v.name, name) == 0)
            return &v;
    }
    return nullptr;
}

// The key at a path, made when asked; null with *result set otherwise.
Key *Walk(Store &store, uint32_t root, const char *path, bool create, int32_t *result)
{
    Key *key = RootKey(store, root);
    std::vector<std::string_view> parts;
    if (!key || !SplitPath(path, &parts))
    {
        *result = PD_REG_BAD_ARGUMENT;
        return nullptr;
    }
    for (std::string_view part : parts)
    {
        key = Child(*key, part, create);
        if (!key)
        {
            *result = PD_REG_NOT_FOUND;
            return nullptr;
        }
    }
    *result = PD_REG_OK;
    return key;
}

// ---- Reading and writing the file ----

void PutU32(std::vector<uint8_t> &out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void PutBytes(std::vector<uint8_t> &out, const void *data, size_t size)
{
    const auto *p = static_cast<const uint8_t *>(data);
    out.insert(out.end(), p, p + size);
}

void PutKey(std::vector<uint8_t> &out, uint32_t root, const std::string &path, const Key &key,
            uint32_t *count)
{
    PutU32(out, root);
    PutU32(out, static_cast<uint32_t>(path.size()));
    PutBytes(out, path.data(), path.size());
    PutU32(out, static_cast<uint32_t>(key.values.size()));
    for (const Value &v : key.values)
    {
        PutU32(out, static_cast<uint32_t>(v.name.size()));
        PutBytes(out, v.name.data(), v.name.size());
        PutU32(out, v.type);
        PutU32(out, static_cast<uint32_t>(v.data.size()));
        PutBytes(out, v.data.data(), v.data.size());
    }
    ++*count;
    for (const Key &child : key.children)
        PutKey(out, root, path.empty() ? child.name : path + "\\" + child.name, child, count);
}

std::vector<uint8_t> Serialise(const Store &store)
{
    std::vector<uint8_t> out;
    PutBytes(out, kMagic, sizeof kMagic);
    PutU32(out, kVersion);
    PutU32(out, 0);
    uint32_t count = 0;
    for (uint32_t r = 0; r < kRootCount; ++r)
        PutKey(out, r + 1, std::string(), store.roots[r], &count);
    for (int i = 0; i < 4; ++i)
        out[8 + i] = static_cast<uint8_t>(count >> (8 * i));
    PutU32(out, Crc32(out.data(), out.size()));
    return out;
}

struct Reader
{
    const uint8_t *p;
    size_t left;

    bool U32(uint32_t *v)
    {
        if (left < 4)
            return false;
        *v = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
             static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
        p += 4;
        left -= 4;
        return true;
    }

    bool Bytes(uint32_t size, std::string_view *out)
    {
        if (left < size)
            return false;
        *out = std::string_view(reinterpret_cast<const char *>(p), size);
        p += size;
        left -= size;
        return true;
    }
};

bool ParseStore(const std::vector<uint8_t> &bytes, Store *store)
{
    if (bytes.size() < 16 || std::memcmp(bytes.data(), kMagic, 4) != 0)
        return false;
    size_t body = bytes.size() - 4;
    Reader trailer{bytes.data() + body, 4};
    uint32_t crc = 0;
    if (!trailer.U32(&crc) || crc != Crc32(bytes.data(), body))
        return false;

    Reader in{bytes.data() + 4, body - 4};
    uint32_t version = 0;
    uint32_t keyCount = 0;
    if (!in.U32(&version) || version != kVersion || !in.U32(&keyCount))
        return false;
    // Every key takes at least 12 bytes.
    if (keyCount > in.left / 12)
        return false;
    for (uint32_t k = 0; k < keyCount; ++k)
    {
        uint32_t root = 0;
        uint32_t pathLength = 0;
        std::string_view path;
        if (!in.U32(&root) || !in.U32(&pathLength) || pathLength > PD_REG_MAX_PATH ||
            !in.Bytes(pathLength, &path) || path.find('\0') != std::string_view::npos)
            return false;
        std::string pathText(path);
        int32_t result = 0;
        Key *key = Walk(*store, root, pathText.c_str(), true, &result);
        if (!key || !key->values.empty())
            return false;
        uint32_t valueCount = 0;
        if (!in.U32(&valueCount) || valueCount > in.left / 12)
            return false;
        for (uint32_t v = 0; v < valueCount; ++v)
        {
            uint32_t nameLength = 0;
            uint32_t type = 0;
            uint32_t dataLength = 0;
            std::string_view name;
            std::string_view data;
            if (!in.U32(&nameLength) || nameLength > PD_REG_MAX_VALUE_NAME ||
                !in.Bytes(nameLength, &name) || name.find('\0') != std::string_view::npos ||
                !in.U32(&type) || !in.U32(&dataLength) || dataLength > PD_REG_MAX_DATA ||
                !in.Bytes(dataLength, &data))
                return false;
            if (type != PD_REG_STRING && type != PD_REG_BINARY && type != PD_REG_DWORD)
                return false;
            if ((type == PD_REG_DWORD && dataLength != 4) ||
                (type == PD_REG_STRING && data.find('\0') != std::string_view::npos))
                return false;
            if (FindValue(*key, name))
                return false;
            Value value;
            value.name = std::string(name);
            value.type = type;
            value.data.assign(data.begin(), data.end());
            key->values.push_back(std::move(value));
        }
    }
    return in.left == 0;
}

std::string FindStorePath()
{
    const char *file = std::getenv("TOLVANE_REGISTRY_FILE");
    if (file && *file)
        return file;
    std::string base;
    const char *config = std::getenv("XDG_CONFIG_HOME");
    if (config && config[0] == '/')
    {
        base = config;
    }
    else
    {
        const char *home = std::getenv("HOME");
        if (!home || !*home)
        {
            const passwd *user = getpwuid(getuid());
            home = user ? user->pw_dir : nullptr;
        }
        base = home && *home ? std::string(home) + "/.config" : std::string(".");
    }
    return base + "/tolvane/registry.dat";
}

bool ReadWholeFile(const std::string &path, std::vector<uint8_t> *bytes, int *error)
{
    // Without O_NONBLOCK a named pipe in the store's place would wait for a writer here.
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
    {
        *error = errno;
        return false;
    }
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
    {
        *error = EINVAL;
        close(fd);
        return false;
    }
    bytes->clear();
    uint8_t chunk[65536];
    for (;;)
    {
        ssize_t n = read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
        {
            *error = errno;
            close(fd);
            return false;
        }
        if (n == 0)
            break;
        if (bytes->size() + static_cast<size_t>(n) > gMaxFileSize)
        {
            // Far beyond any store this program writes: treated as damaged.
            bytes->clear();
            bytes->push_back(0);
            break;
        }
        bytes->insert(bytes->end(), chunk, chunk + n);
    }
    close(fd);
    return true;
}

bool PathExists(const std::string &path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

// Renames a damaged store aside under a name that is not taken; false when it cannot be.
bool SetAside(std::string *aside)
{
    for (int i = 0; i < kMaxAsideNames; ++i)
    {
        std::string name = gPath + ".damaged";
        if (i > 0)
            name += "." + std::to_string(i);
        if (PathExists(name))
            continue;
        if (rename(gPath.c_str(), name.c_str()) == 0)
        {
            *aside = name;
            return true;
        }
        return false;
    }
    return false;
}

void Load()
{
    gStore = Store();
    gReadOnly = false;
    gPath = FindStorePath();
    std::vector<uint8_t> bytes;
    int error = 0;
    bool read = ReadWholeFile(gPath, &bytes, &error);
    // No file (or no folder for it) is an empty store.
    if (!read && (error == ENOENT || error == ENOTDIR))
        return;
    Store loaded;
    if (read && ParseStore(bytes, &loaded))
    {
        gStore = std::move(loaded);
        return;
    }
    ++gDamageReports;
    std::string aside;
    if (read && SetAside(&aside))
    {
        PDDebugOutput(__FILE__, __LINE__,
                      "Settings store \"%s\" is damaged: kept as \"%s\"; settings start empty",
                      gPath.c_str(), aside.c_str());
        return;
    }
    // Never write over a store that could not be read or kept aside.
    gReadOnly = true;
    PDDebugOutput(__FILE__, __LINE__,
                  "Settings store \"%s\" cannot be read (%s): settings start empty and are not "
                  "saved",
                  gPath.c_str(), read ? "damaged" : std::strerror(error));
}

void EnsureLoaded()
{
    if (!gLoaded)
    {
        Load();
        gLoaded = true;
    }
}

bool MakeParentDirectories(const std::string &path)
{
    size_t slash = path.find('/', 1);
    while (slash != std::string::npos)
    {
        std::string dir = path.substr(0, slash);
        if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
        slash = path.find('/', slash + 1);
    }
    return true;
}

bool WriteAll(int fd, const uint8_t *data, size_t size)
{
    while (size > 0)
    {
        ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// Writes the store to a new file beside the old one and renames it over the old one.
bool Save(const Store &store)
{
    std::vector<uint8_t> bytes = Serialise(store);
    // A file the store would refuse to read back would lose everything in it at the next start.
    if (bytes.size() > gMaxFileSize)
        return false;
    if (!MakeParentDirectories(gPath))
        return false;
    std::string temp = gPath + ".XXXXXX";
    int fd = mkstemp(temp.data());
    if (fd < 0)
        return false;
    size_t size = bytes.size();
    bool interrupted = gInterruptArmed && gInterruptAfter < size;
    if (interrupted)
        size = gInterruptAfter;
    gInterruptArmed = false;
    bool ok = WriteAll(fd, bytes.data(), size);
    if (interrupted && gInterruptEndsProcess)
        _exit(86);
    ok = ok && !interrupted && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    if (ok)
        ok = rename(temp.c_str(), gPath.c_str()) == 0;
    if (!ok)
    {
        unlink(temp.c_str());
        return false;
    }
    // Make the rename itself durable.
    size_t slash = gPath.rfind('/');
    std::string dir = slash == std::string::npos ? std::string(".") : gPath.substr(0, slash + 1);
    int dirFd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0)
    {
        fsync(dirFd);
        close(dirFd);
    }
    return true;
}

int32_t Finish(int32_t result)
{
    gLastResult = result;
    return result;
}

// Applies a change to a copy of the store and keeps it only once the file holds it.
template <typename Change> int32_t Modify(Change change)
{
    EnsureLoaded();
    if (gReadOnly)
        return Finish(PD_REG_READ_ONLY);
    Store copy = gStore;
    int32_t result = change(copy);
    if (result != PD_REG_OK)
        return Finish(result);
    if (!Save(copy))
        return Finish(PD_REG_WRITE_FAILED);
    gStore = std::move(copy);
    return Finish(PD_REG_OK);
}
} // namespace

int32_t PDReg_KeyExists(uint32_t root, const char *path)
{
    EnsureLoaded();
    int32_t result = 0;
    Walk(gStore, root, path, false, &result);
    return Finish(result);
}

int32_t PDReg_QueryKeyInfo(uint32_t root, const char *path, PDRegKeyInfo *info)
{
    EnsureLoaded();
    int32_t result = 0;
    Key *key = Walk(gStore, root, path, false, &result);
    if (!key)
        return Finish(result);
    if (!info)
        return Finish(PD_REG_BAD_ARGUMENT);
    *info = PDRegKeyInfo{};
    info->subKeys = static_cast<uint32_t>(key->children.size());
    info->values = static_cast<uint32_t>(key->values.size());
    for (const Key &k : key->children)
        info->maxSubKeyLength =
            std::max(info->maxSubKeyLength, static_cast<uint32_t>(k.name.size()));
    for (const Value &v : key->values)
        info->maxValueNameLength =
            std::max(info->maxValueNameLength, static_cast<uint32_t>(v.name.size()));
    return Finish(PD_REG_OK);
}

int32_t PDReg_EnumSubKey(uint32_t root, const char *path, uint32_t index, char *name, uint32_t size)
{
    EnsureLoaded();
    int32_t result = 0;
    Key *key = Walk(gStore, root, path, false, &result);
    if (!key)
        return Finish(result);
    if (!name)
        return Finish(PD_REG_BAD_ARGUMENT);
    if (index >= key->children.size())
        return Finish(PD_REG_NOT_FOUND);
    const std::string &child = key->children[index].name;
    if (child.size() + 1 > size)
        return Finish(PD_REG_MORE_DATA);
    std::memcpy(name, child.c_str(), child.size() + 1);
    return Finish(PD_REG_OK);
}

int32_t PDReg_QueryValue(uint32_t root, const char *path, const char *name, uint32_t *type,
                         void *data, uint32_t *size)
{
    EnsureLoaded();
    std::string_view valueName;
    if (!ValueName(name, &valueName) || !size)
        return Finish(PD_REG_BAD_ARGUMENT);
    int32_t result = 0;
    Key *key = Walk(gStore, root, path, false, &result);
    if (!key)
        return Finish(result);
    Value *value = FindValue(*key, valueName);
    if (!value)
        return Finish(PD_REG_NOT_FOUND);
    auto length = static_cast<uint32_t>(value->data.size());
    if (type)
        *type = value->type;
    if (data)
    {
        if (length > *size)
        {
            *size = length;
            return Finish(PD_REG_MORE_DATA);
        }
        if (length)
            std::memcpy(data, value->data.data(), length);
    }
    *size = length;
    return Finish(PD_REG_OK);
}

int32_t PDReg_SetValue(uint32_t root, const char *path, const char *name, uint32_t type,
                       const void *data, uint32_t size)
{
    std::string_view valueName;
    bool typeOk = type == PD_REG_STRING || type == PD_REG_BINARY || type == PD_REG_DWORD;
    if (!ValueName(name, &valueName) || !typeOk || size > PD_REG_MAX_DATA || (size && !data) ||
        (type == PD_REG_DWORD && size != 4))
        return Finish(PD_REG_BAD_ARGUMENT);
    const auto *bytes = static_cast<const uint8_t *>(data);
    if (type == PD_REG_STRING && size && std::memchr(bytes, 0, size))
        return Finish(PD_REG_BAD_ARGUMENT);
    return Modify(
        [&](Store &store)
        {
            int32_t result = 0;
            Key *key = Walk(store, root, path, true, &result);
            if (!key)
                return result;
            Value *value = FindValue(*key, valueName);
            if (!value)
            {
                key->values.emplace_back();
                value = &key->values.back();
                value->name = std::string(valueName);
            }
            value->type = type;
            value->data.assign(bytes, bytes + size);
            return int32_t{PD_REG_OK};
        });
}

int32_t PDReg_DeleteValue(uint32_t root, const char *path, const char *name)
{
    std::string_view valueName;
    if (!ValueName(name, &valueName))
        return Finish(PD_REG_BAD_ARGUMENT);
    return Modify(
        [&](Store &store)
        {
            int32_t result = 0;
            Key *key = Walk(store, root, path, false, &result);
            if (!key)
                return result;
            for (auto it = key->values.begin(); it != key->values.end(); ++it)
            {
                if (CompareNames(it->name, valueName) == 0)
                {
                    key->values.erase(it);
                    return int32_t{PD_REG_OK};
                }
            }
            return int32_t{PD_REG_NOT_FOUND};
        });
}

int32_t PDReg_DeleteKey(uint32_t root, const char *path, const char *subKey)
{
    std::vector<std::string_view> parts;
    if (!SplitPath(subKey, &parts) || parts.empty())
        return Finish(PD_REG_BAD_ARGUMENT);
    return Modify(
        [&](Store &store)
        {
            int32_t result = 0;
            Key *parent = Walk(store, root, path, false, &result);
            if (!parent)
                return result;
            for (size_t i = 0; i + 1 < parts.size(); ++i)
            {
                parent = Child(*parent, parts[i], false);
                if (!parent)
                    return int32_t{PD_REG_NOT_FOUND};
            }
            auto it = FindChild(*parent, parts.back());
            if (it == parent->children.end())
                return int32_t{PD_REG_NOT_FOUND};
            if (!it->children.empty())
                return int32_t{PD_REG_HAS_SUBKEYS};
            parent->children.erase(it);
            return int32_t{PD_REG_OK};
        });
}

int32_t PDReg_LastResult()
{
    return gLastResult;
}

const char *PDReg_ResultText(int32_t result)
{
    switch (result)
    {
    case PD_REG_OK: return "The operation completed successfully.";
    case PD_REG_NOT_FOUND: return "The key or value does not exist.";
    case PD_REG_MORE_DATA: return "The buffer is too small for the data.";
    case PD_REG_BAD_ARGUMENT: return "A root, type, name or path is not valid.";
    case PD_REG_HAS_SUBKEYS: return "The key has subkeys.";
    case PD_REG_WRITE_FAILED: return "The settings store could not be written.";
    case PD_REG_READ_ONLY: return "The settings store is damaged and is not written.";
    default: return "Unknown settings store result.";
    }
}

const char *PDReg_StorePath()
{
    EnsureLoaded();
    return gPath.c_str();
}

void PDReg_Reload()
{
    gLoaded = false;
    gStore = Store();
}

uint32_t PDReg_DamageReports()
{
    return gDamageReports;
}

void PDReg_SetStoreSizeLimit(uint32_t bytes)
{
    gMaxFileSize = bytes ? bytes : kDefaultMaxFileSize;
}

void PDReg_InterruptNextWrite(uint32_t afterBytes, int32_t endProcess)
{
    gInterruptArmed = true;
    gInterruptAfter = afterBytes;
    gInterruptEndsProcess = endProcess != 0;
}
