#include "pc/PcSystem.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace
{
char gStartDirectory[512];
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
