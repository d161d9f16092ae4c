#include "pc/PcDebug.h"

#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

void PDDebugWrite(const char *text)
{
    std::fputs(text, stderr);
}

void PDDebugOutput(const char *file, int32_t line, const char *format, ...)
{
    char head[1024];
    std::snprintf(head, sizeof head, "%s [%d] ", file ? file : "", line);
    PDDebugWrite(head);
    char text[1024];
    va_list ap;
    va_start(ap, format);
    std::vsnprintf(text, sizeof text, format, ap);
    va_end(ap);
    PDDebugWrite(text);
    PDDebugWrite("\r\n");
}

bool PDDebuggerAttached()
{
    FILE *f = std::fopen("/proc/self/status", "r");
    if (!f)
        return false;
    char line[256];
    bool traced = false;
    while (std::fgets(line, sizeof line, f))
    {
        if (std::strncmp(line, "TracerPid:", 10) == 0)
        {
            traced = std::atoi(line + 10) != 0;
            break;
        }
    }
    std::fclose(f);
    return traced;
}

void PDDebugBreakMessage(const char *text)
{
    PDDebugWrite(text);
    if (PDDebuggerAttached())
        std::raise(SIGTRAP);
}

void PDWriteStandardOutput(const char *text)
{
    std::fputs(text, stdout);
}
