// The memory manager's primitive table (raw allocation and the copy, fill, move and compare
// loops, replaceable as a whole) and the checked copies that go through it, with the
// zero-length diagnostics.
#include "core/Memory.h"

#include "core/Debug.h"
#include "core/Error.h"
#include "core/MemoryInternal.h"
#include "pc/PcDebug.h"
#include "pc/PcMemory.h"

#include <cstdio>

namespace bzMem
{
bzMemPrimitiveTable gPrim = {PDMemAlloc, PDMemFree, PDMemCopyWords, PDMemCopy,
                             PDMemFill,  PDMemMove, PDMemCompare};
}

using namespace bzMem;

namespace
{
// The call site the diagnostics name; nothing fills the line.
const char *gDiagFile = "Memory.cpp";
int32_t gDiagLine;

void MemDiagnostic(const char *text)
{
    char line[1024];
    std::snprintf(line, sizeof line, "%s Ln%d: %s", gDiagFile, static_cast<int>(gDiagLine), text);
    bz_Debug_Text(line);
    PDDebugOutput(gDiagFile, gDiagLine, "%s", line);
    PDDebugBreakMessage(line);
    bz_ReportError("Memory Manager Diagnostics", "%s", text);
}
} // namespace

void bz_Mem_SetPrimitives(const bzMemPrimitiveTable *table)
{
    if (!table)
        return;
    if (table->allocRaw)
        gPrim.allocRaw = table->allocRaw;
    if (table->freeRaw)
        gPrim.freeRaw = table->freeRaw;
    if (table->copyWords)
        gPrim.copyWords = table->copyWords;
    if (table->copy)
        gPrim.copy = table->copy;
    if (table->fill)
        gPrim.fill = table->fill;
    if (table->move)
        gPrim.move = table->move;
    if (table->compare)
        gPrim.compare = table->compare;
}

void bz_Mem_GetPrimitives(bzMemPrimitiveTable *out)
{
    if (out)
        *out = gPrim;
}

// --- checked copies ------------------------------------------------------------------------

void *MemCopy(size_t length, void *dest, const void *src)
{
    if (length == 0)
    {
        if (bzgMemDebugFlags & 0x10)
            MemDiagnostic("MemCopy called with zero length");
        return nullptr;
    }
    return gPrim.copy(dest, src, length);
}

void *MemMove(size_t length, void *dest, const void *src)
{
    if (length == 0)
    {
        if (bzgMemDebugFlags & 0x10)
            MemDiagnostic("MemMove called with zero length");
        return nullptr;
    }
    return gPrim.move(dest, src, length);
}

void *MemFill(void *dest, int value, size_t length)
{
    if (length == 0)
    {
        if (bzgMemDebugFlags & 0x10)
            MemDiagnostic("MemFill called with zero length");
        return nullptr;
    }
    return gPrim.fill(dest, value, length);
}

int bz_MemCompare(const void *a, const void *b, size_t length)
{
    return gPrim.compare(a, b, length);
}

void *bz_MemMoveRaw(void *dest, const void *src, size_t length)
{
    return gPrim.move(dest, src, length);
}

void bz_MemWriteAdvance(uint8_t **cursor, const void *src, size_t length)
{
    MemCopy(length, *cursor, src);
    *cursor += length;
}

void bz_MemReadAdvance(const uint8_t **cursor, void *dest, size_t length)
{
    MemCopy(length, dest, *cursor);
    *cursor += length;
}
