#include "pc/PcSystem.h"

#include "pc/PcFile.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
char gStartDirectory[512];
constexpr uint32_t kHostPathSize = 4096;

// Copies length characters of text into out (size bytes), cut to fit; out may be null.
void CopyPart(char *out, uint32_t size, const char *text, size_t length)
{
    if (!out)
        return;
    if (length > size - 1)
        length = size - 1;
    std::memcpy(out, text, length);
    out[length] = 0;
}
char gProgramDirectory[512];
PDMessageBoxFunction gMessageBoxFunction;
} // namespace

void PDInitSystem()
{
    gStartDirectory[0] = 0;
    gProgramDirectory[0] = 0;
    PDGetCurrentDirectory(gStartDirectory, sizeof gStartDirectory);
    PDFindProgramDirectory();
}

int32_t PDFindProgramDirectory()
{
    char path[512];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n < 0)
        n = 0;
    path[n] = 0;
    char *slash = std::strrchr(path, '/');
    if (slash)
        *slash = 0;
    else
        path[0] = 0;
    std::snprintf(gProgramDirectory, sizeof gProgramDirectory, "%s", path);
    return static_cast<int32_t>(std::strlen(gProgramDirectory));
}

const char *PDGetProgramDirectory()
{
    return gProgramDirectory;
}

const char *PDGetStartDirectory()
{
    return gStartDirectory;
}

void PDRestoreProgramDirectory()
{
    if (gProgramDirectory[0])
        PDSetCurrentDirectory(gProgramDirectory);
}

void PDRestoreStartDirectory()
{
    if (gStartDirectory[0])
        PDSetCurrentDirectory(gStartDirectory);
}

int32_t PDGetCurrentDirectory(char *buffer, uint32_t size)
{
    if (!buffer || size == 0)
        return 0;
    if (!getcwd(buffer, size))
    {
        buffer[0] = 0;
        return 0;
    }
    return 1;
}

int32_t PDSetCurrentDirectory(const char *path)
{
    return path && chdir(path) == 0 ? 1 : 0;
}

void PDSetMessageBoxFunction(PDMessageBoxFunction fn)
{
    gMessageBoxFunction = fn;
}

void PDMessageBox(const char *caption, const char *text)
{
    if (gMessageBoxFunction)
    {
        gMessageBoxFunction(caption, text);
        return;
    }
    std::fprintf(stderr, "%s\n%s\n", caption ? caption : "", text ? text : "");
    std::fflush(stderr);
}

void PDExitProcess(int32_t code)
{
    std::fflush(nullptr);
    std::exit(code);
}

uint64_t PDGetFileTime(const char *name)
{
    char path[kHostPathSize];
    if (!PDMapPath(name, path, sizeof path))
        return 0;
    int fd = open(path, O_RDONLY);
    if (fd < 0)
        return 0;
    struct stat st;
    int result = fstat(fd, &st);
    close(fd);
    if (result != 0)
        return 0;
    return static_cast<uint64_t>(st.st_mtim.tv_sec) * 1000000000ull +
           static_cast<uint64_t>(st.st_mtim.tv_nsec);
}

int32_t PDCompareFileTimes(uint64_t a, uint64_t b)
{
    return a < b ? -1 : (a > b ? 1 : 0);
}

int32_t PDSetFileReadOnly(const char *name, int32_t readOnly)
{
    char path[kHostPathSize];
    struct stat st;
    if (!PDMapPath(name, path, sizeof path) || stat(path, &st) != 0)
        return -1;
    mode_t mode = st.st_mode & 07777;
    mode = readOnly ? (mode & ~static_cast<mode_t>(0222)) : (mode | S_IWUSR);
    return chmod(path, mode) == 0 ? 0 : -1;
}

int32_t PDMakeDirectory(const char *name)
{
    char path[kHostPathSize];
    if (!PDMapPath(name, path, sizeof path) || !name[0])
        return -1;
    return mkdir(path, 0777) == 0 ? 0 : -1;
}

int32_t PDChangeDirectory(const char *path)
{
    char host[kHostPathSize];
    if (!PDMapPath(path, host, sizeof host) || !path[0])
        return -1;
    return chdir(host) == 0 ? 0 : -1;
}

void PDSplitPath(const char *path, char *drive, char *directory, char *name, char *extension)
{
    if (!path)
        path = "";
    const char *rest = path;
    if (path[0] && path[1] == ':')
    {
        CopyPart(drive, PD_MAX_DRIVE, path, 2);
        rest = path + 2;
    }
    else
    {
        CopyPart(drive, PD_MAX_DRIVE, "", 0);
    }
    const char *base = rest;
    for (const char *p = rest; *p; ++p)
        if (*p == '\\' || *p == '/')
            base = p + 1;
    CopyPart(directory, PD_MAX_PATH_PART, rest, static_cast<size_t>(base - rest));
    const char *dot = std::strrchr(base, '.');
    if (!dot)
        dot = base + std::strlen(base);
    CopyPart(name, PD_MAX_PATH_PART, base, static_cast<size_t>(dot - base));
    CopyPart(extension, PD_MAX_PATH_PART, dot, std::strlen(dot));
}
