#include "pc/PcFile.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace
{
bool Exists(const std::string &path)
{
    struct stat st;
    return lstat(path.empty() ? "." : path.c_str(), &st) == 0;
}

// The entry of directory whose name equals component without regard to case; when several
// do, the one that sorts first, so the choice does not depend on the directory's order.
bool FindCaseBlind(const std::string &directory, const std::string &component, std::string &found)
{
    DIR *dir = opendir(directory.empty() ? "." : directory.c_str());
    if (!dir)
        return false;
    bool any = false;
    while (dirent *entry = readdir(dir))
    {
        if (strcasecmp(entry->d_name, component.c_str()) != 0)
            continue;
        if (!any || std::strcmp(entry->d_name, found.c_str()) < 0)
            found = entry->d_name;
        any = true;
    }
    closedir(dir);
    return any;
}

std::string MapPath(const char *name)
{
    std::string text(name);
    for (char &c : text)
        if (c == '\\')
            c = '/';
    const bool absolute = !text.empty() && text[0] == '/';
    const bool trailing = text.size() > 1 && text.back() == '/';

    // Lexical clean-up first: the PC drops "." and resolves ".." by name.
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= text.size())
    {
        size_t end = text.find('/', start);
        if (end == std::string::npos)
            end = text.size();
        std::string part = text.substr(start, end - start);
        start = end + 1;
        if (part.empty() || part == ".")
            continue;
        if (part == "..")
        {
            if (!parts.empty() && parts.back() != "..")
                parts.pop_back();
            else if (!absolute)
                parts.push_back(part);
            continue;
        }
        parts.push_back(part);
    }

    std::string path = absolute ? "/" : "";
    bool searching = true; // false once a component is missing: nothing below it exists
    for (size_t i = 0; i < parts.size(); ++i)
    {
        const std::string &part = parts[i];
        std::string directory = path;
        std::string candidate = path + part;
        if (searching && part != ".." && !Exists(candidate))
        {
            std::string found;
            if (FindCaseBlind(directory, part, found))
                candidate = path + found;
            else
                searching = false;
        }
        path = candidate;
        if (i + 1 < parts.size())
            path += '/';
    }
    if (path.empty())
        path = absolute ? "/" : ".";
    if (trailing && path.back() != '/')
        path += '/';
    return path;
}

char gTempName[32];
} // namespace

int32_t PDMapPath(const char *name, char *out, uint32_t size)
{
    if (!out || size == 0)
        return 0;
    out[0] = 0;
    if (!name)
        return 0;
    std::string path = MapPath(name);
    if (path.size() + 1 > size)
        return 0;
    std::memcpy(out, path.c_str(), path.size() + 1);
    return 1;
}

std::FILE *PDFileOpen(const char *name, const char *mode)
{
    if (!name || !mode || !name[0])
        return nullptr;
    std::FILE *stream = std::fopen(MapPath(name).c_str(), mode);
    // The C library opens a directory for reading; the PC does not, and neither do we.
    struct stat st;
    if (stream && fstat(fileno(stream), &st) == 0 && S_ISDIR(st.st_mode))
    {
        std::fclose(stream);
        errno = EISDIR;
        return nullptr;
    }
    return stream;
}

std::FILE *PDFileReopen(const char *name, const char *mode, std::FILE *stream)
{
    if (!mode || !stream)
        return nullptr;
    std::FILE *result = std::freopen(name ? MapPath(name).c_str() : nullptr, mode, stream);
    // A failed reopen has already closed the old file; the C library still holds the stream
    // record, which a close releases.
    if (!result)
        std::fclose(stream);
    return result;
}

std::FILE *PDFileTemp()
{
    return std::tmpfile();
}

char *PDFileTempName(char *buffer)
{
    char pattern[] = "/tmp/bzXXXXXX";
    int fd = mkstemp(pattern);
    if (fd < 0)
        return nullptr;
    close(fd);
    unlink(pattern);
    char *out = buffer ? buffer : gTempName;
    std::memcpy(out, pattern, sizeof pattern);
    return out;
}

int PDFileRemove(const char *name)
{
    if (!name)
        return -1;
    return std::remove(MapPath(name).c_str());
}

int PDFileRename(const char *oldName, const char *newName)
{
    if (!oldName || !newName)
        return -1;
    return std::rename(MapPath(oldName).c_str(), MapPath(newName).c_str());
}

int32_t PDFileStreamLength(std::FILE *stream)
{
    if (!stream)
        return -1;
    std::fflush(stream);
    struct stat st;
    if (fstat(fileno(stream), &st) != 0)
        return -1;
    if (st.st_size > INT32_MAX)
        return INT32_MAX;
    return static_cast<int32_t>(st.st_size);
}
