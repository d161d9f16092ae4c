// The memory manager's start and end, its settings (alignment, heap limit, temporary-stack
// size), the status words and the running statistics with the heap-limit report.
#include "core/Memory.h"

#include "core/Error.h"
#include "core/MemoryInternal.h"

int32_t bzgMemStatus;
uint32_t bzgMemDebugFlags;

namespace bzMem
{
uint32_t gBlockCount;
uint32_t gBytesInUse;
uint32_t gBytesAllocated;
uint32_t gHeapLimit;
uint32_t gDefaultAlign = 4;
uint32_t gRawAlign;
uint32_t gTempStackSize = 262144;

void HeapLimitExceeded()
{
    BZ_SET_ORIGIN();
    bz_ReportError("BANG!!!", "The application has just exploded (Heap limit exceeded)");
}
} // namespace bzMem

using namespace bzMem;

namespace
{
bool gInitialised;

void ReportFatal(const char *text, int line)
{
    bzgErrorFile = __FILE__;
    bzgErrorLine = line;
    bz_ReportError("Memory Manager Error", "%s", text);
}
} // namespace

// --- settings and statistics ---------------------------------------------------------------

int32_t bz_Mem_GetStatus()
{
    return bzgMemStatus;
}

void bz_Mem_GetStats(bzMemStats *out)
{
    if (out)
        *out = {gBlockCount, 0, gBytesInUse, gBytesAllocated};
}

uint32_t bz_Mem_HeaderSize()
{
    return kHeaderSize;
}

uint32_t bz_Mem_GetDefaultAlignment()
{
    return gDefaultAlign;
}

int32_t bz_Mem_SetDefaultAlignment(uint32_t alignment)
{
    bzgLastError = BZ_ERROR_NO_MEMORY;
    if (alignment == 0)
        alignment = 4;
    if (alignment % 4 || alignment > kMaxBlockAlign)
        return bzgMemStatus = BZ_MEM_BAD_ALIGNMENT;
    gDefaultAlign = alignment;
    return bzgMemStatus = BZ_MEM_OK;
}

uint32_t bz_Mem_AlignmentForFlags(uint32_t flags)
{
    return AlignmentForFlags(flags);
}

uint32_t bz_Mem_RoundUp(uint32_t value, uint32_t alignment)
{
    if (alignment == 0)
        return value;
    return (value + alignment - 1) / alignment * alignment;
}

uint32_t bz_Mem_RoundToDefaultAlignment(uint32_t size)
{
    return bz_Mem_RoundUp(size, gDefaultAlign);
}

void bz_Mem_SetRawAlignment(uint32_t alignment)
{
    gRawAlign = alignment;
}

uint32_t bz_Mem_MinAlignment()
{
    return 4;
}

uint32_t bz_Mem_GetHeapLimit()
{
    return gHeapLimit;
}

void bz_Mem_SetHeapLimit(uint32_t limit)
{
    gHeapLimit = limit;
}

// --- start and end -------------------------------------------------------------------------

void bz_Mem_Init(const bzMemSettings *settings)
{
    if (gInitialised)
        bz_MemPools_DestroyAll();
    gBlockCount = gBytesInUse = gBytesAllocated = 0;
    bzgMemStatus = BZ_MEM_OK;
    bzgLastError = BZ_ERROR_NO_MEMORY;
    gDefaultAlign = 4;
    gHeapLimit = 0;
    gTempStackSize = 262144;
    if (settings)
    {
        if (uint32_t a = settings->defaultAlignment)
        {
            if (a < 4 || (a & (a - 1)) || a > kMaxBlockAlign)
            {
                bzgMemStatus = BZ_MEM_BAD_ALIGNMENT;
                return;
            }
            gDefaultAlign = a;
        }
        if (settings->heapLimit)
            gHeapLimit = settings->heapLimit;
        if (settings->tempStackSize)
            gTempStackSize = settings->tempStackSize;
    }
    gInitialised = true;
    if (bz_TempStack_Create(gTempStackSize, 1) != 1)
        ReportFatal("Cannot allocate temporary memory stack", __LINE__);
    CreateBasePools();
    if (!CreateChildPool())
        ReportFatal("Cannot allocate child memory pool", __LINE__);
    bz_MemBuffer_ClearAll();
    InitSizeTable();
    bzgMemStatus = BZ_MEM_OK;
}

void bz_MemPools_DestroyAll()
{
    DestroySharedPools();
    // Destroying stack 1 also forgets the inline scratch block it held.
    if (bz_TempStack_GetId() && bz_TempStack_Destroy(1) != BZ_MEM_OK)
        ReportFatal("Cannot destroy temporary memory stack", __LINE__);
    if (gChildPool && bz_Pool_Destroy(gChildPool) != BZ_MEM_OK)
        ReportFatal("Cannot destroy child memory pool", __LINE__);
    ReleaseLinkIndex();
    gInitialised = false;
}
