#include "files/DebugOutput.h"

#include "core/Debug.h"
#include "core/Error.h"
#include "core/Strings.h"
#include "files/File.h"
#include "files/UniqueName.h"
#include "pc/PcDebug.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace
{
bzFileHandle *gStream;
int32_t gDisabled;
uint32_t gMask;
char gOriginFile[33];
int32_t gOriginLine;
int32_t gTraceFirst = 1;

// Longest name a numbered stream may have: the number takes two characters more than its
// marker, and the terminator one.
constexpr size_t kStreamNameSize = 1024;

void WriteText(const char *text, bzFileHandle *stream)
{
    if (stream)
        bz_FilePutString(text, stream);
    else
        PDWriteStandardOutput(text);
}

void WriteFormatted(bzFileHandle *stream, const char *format, va_list args, bool newLine)
{
    char text[1024];
    std::vsnprintf(text, sizeof text, format, args);
    WriteText(text, stream);
    if (newLine)
        WriteText("\n", stream);
}

void PrintV(const char *format, va_list args)
{
    if (gDisabled)
        return;
    char text[1024];
    std::vsnprintf(text, sizeof text, format, args);
    bz_DebugOutput_OpenDefault();
    if (!gStream)
        return;
    bz_FilePrintf(gStream, "%s\n", text);
    bz_FileFlush(gStream);
}
} // namespace

void bz_Trace(const char *format, ...)
{
    bzFileHandle *file = bz_FileOpen("Trace.txt", gTraceFirst ? "wt" : "a+t");
    gTraceFirst = 0;
    if (!file)
        return;
    va_list ap;
    va_start(ap, format);
    bz_FileVPrintf(file, format, ap);
    va_end(ap);
    bz_FileClose(file);
}

void bz_DebugOutput_Enable()
{
    gDisabled = 0;
}

void bz_DebugOutput_Disable()
{
    gDisabled = 1;
}

bzFileHandle *bz_DebugOutput_GetStream()
{
    return gStream;
}

uint32_t bz_DebugMask_Get()
{
    return gMask;
}

void bz_DebugMask_Set(uint32_t bits)
{
    gMask |= bits;
}

void bz_DebugMask_Clear(uint32_t bits)
{
    gMask &= ~bits;
}

int32_t bz_DebugMask_Test(uint32_t bits)
{
    return (gMask & bits) != 0;
}

void bz_DebugOutput_OpenDefault()
{
    if (!gStream)
        gStream = bz_FileOpen("MOTHER.TXT", "wt");
}

void bz_DebugOutput_CloseDefault()
{
    if (!gStream)
        return;
    bz_FileClose(gStream);
    gStream = nullptr;
}

void bz_DebugPrint(const char *format, ...)
{
    va_list ap;
    va_start(ap, format);
    PrintV(format, ap);
    va_end(ap);
}

void bz_DebugPrintMasked(uint32_t mask, const char *format, ...)
{
    if (!(mask & gMask))
        return;
    va_list ap;
    va_start(ap, format);
    PrintV(format, ap);
    va_end(ap);
}

int32_t bz_DebugOutput_Open(const char *name, int32_t *owned, bzFileHandle **stream)
{
    if (!name)
    {
        bz_DebugOutput_OpenDefault();
        *stream = gStream;
        *owned = 0;
        return 1;
    }
    if (bz_StrCompareNoCase(name, "STDOUT") == 0)
    {
        *stream = nullptr;
        return 1;
    }
    // A name the buffer cannot hold with its number opens nothing (never a shortened name).
    char unique[kStreamNameSize];
    if (std::strlen(name) + 3 > sizeof unique)
        return 0;
    std::snprintf(unique, sizeof unique, "%s", name);
    if (!bz_MakeUniqueFileName(unique))
        return 0;
    *stream = bz_FileOpen(unique, "wt");
    if (!*stream)
        return 0; // nothing to write to: the caller's prints must not land elsewhere
    *owned = 1;
    return 1;
}

void bz_DebugOutput_Close(bzFileHandle *stream, int32_t owned)
{
    if (owned && stream)
        bz_FileClose(stream);
    else if (!owned)
        bz_DebugOutput_Flush();
}

void bz_DebugOutput_Flush()
{
    if (gStream)
        bz_FileFlush(gStream);
}

void bz_DebugOutput_Puts(const char *text, bzFileHandle *stream)
{
    WriteText(text, stream);
}

void bz_DebugOutput_Printf(bzFileHandle *stream, const char *format, ...)
{
    va_list ap;
    va_start(ap, format);
    WriteFormatted(stream, format, ap, false);
    va_end(ap);
}

void bz_DebugOutput_NewLine(bzFileHandle *stream)
{
    WriteText("\n", stream);
}

void bz_DebugOutput_PutLine(bzFileHandle *stream, const char *text)
{
    WriteText(text, stream);
    WriteText("\n", stream);
}

void bz_DebugFilePrintf(bzFileHandle *stream, const char *format, ...)
{
    va_list ap;
    va_start(ap, format);
    WriteFormatted(stream, format, ap, true);
    va_end(ap);
}

void bz_DebugRenderStateRecord()
{
    bz_DebugPrint("RECORD OF RENDERSTATE_CHANGES DURING A SINGLE RENDERED FRAME:\n");
    bz_DebugPrint("Not supported in non-debug build\n");
}

void bz_SetDebugOrigin(const char *file, int32_t line)
{
    const char *name = file ? file : "";
    for (const char *p = name; *p; ++p)
    {
        if (*p == '\\' || *p == '/')
            name = p + 1;
    }
    std::snprintf(gOriginFile, sizeof gOriginFile, "%s", name);
    gOriginLine = line;
}

void bz_DebugMessage(const char *format, ...)
{
    char text[1024];
    va_list ap;
    va_start(ap, format);
    std::vsnprintf(text, sizeof text, format, ap);
    va_end(ap);
    bz_DebugPrint("! %s (%d): %s", gOriginFile, static_cast<int>(gOriginLine), text);
    PDDebugOutput(gOriginFile, gOriginLine, "%s", text);
}

namespace
{
void DebugTextToStream(const char *line)
{
    bz_DebugPrint("%s", line);
}
} // namespace

void bz_DebugOutput_Attach()
{
    bz_Debug_SetTextSink(DebugTextToStream);
}
