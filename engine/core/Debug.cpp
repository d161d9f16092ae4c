#include "core/Debug.h"

#include "core/Error.h"
#include "core/Memory.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace
{
char *gLines[BZ_DEBUG_MESSAGE_LINES];
int32_t gAnyLine;
bzDebugTextSink gTextSink;
} // namespace

bzDebugTextSink bz_Debug_SetTextSink(bzDebugTextSink sink)
{
    bzDebugTextSink previous = gTextSink;
    gTextSink = sink;
    return previous;
}

void bz_Debug_Text(const char *line)
{
    if (gTextSink && line)
        gTextSink(line);
}

void bz_ShowDebugMessage(int32_t index, const char *format, ...)
{
    char text[4096];
    va_list ap;
    va_start(ap, format);
    std::vsnprintf(text, sizeof text, format, ap);
    va_end(ap);
    if (index < 0 || index >= BZ_DEBUG_MESSAGE_LINES)
        return;
    if (!gLines[index])
    {
        gLines[index] = static_cast<char *>(bz_MemAlloc(256, BZ_MEM_CLEAR));
        if (!gLines[index])
            return;
    }
    size_t length = std::min<size_t>(std::strlen(text), 255);
    std::memcpy(gLines[index], text, length);
    gLines[index][length] = 0;
    gAnyLine = 1;
}

void bz_ClearDebugMessage(int32_t index)
{
    if (index < 0 || index >= BZ_DEBUG_MESSAGE_LINES)
        return;
    bz_MemFree(gLines[index]);
    gLines[index] = nullptr;
    gAnyLine = 0;
    for (char *line : gLines)
    {
        if (line)
            gAnyLine = 1;
    }
}

void bz_ClearDebugMessages()
{
    for (char *&line : gLines)
    {
        bz_MemFree(line);
        line = nullptr;
    }
    gAnyLine = 0;
}

const char *bz_GetDebugMessage(int32_t index)
{
    if (index < 0 || index >= BZ_DEBUG_MESSAGE_LINES)
        return nullptr;
    return gLines[index];
}

int32_t bz_DebugMessagesShown()
{
    return gAnyLine;
}

void bz_AssertFailed(const char *expression, const char *file, int32_t line)
{
    char text[1024];
    std::snprintf(text, sizeof text, "\"%s\"\n\nLine %i in\n\n%s", expression ? expression : "",
                  static_cast<int>(line), file ? file : "");
    if (bzgNoFatalExit)
        return;
    BZ_SET_ORIGIN();
    bz_ReportError("FAILED ASSERTION", "%s", text);
}
