// The physics frame blocks on temporary stack 1 and the work area's bump allocator.
#include "physics/PhysMemory.h"

#include "core/Error.h"
#include "core/Memory.h"

namespace
{
constexpr int32_t kStack = 1;

struct FrameBlocks
{
    void *worldRows;
    void *solver1;
    void *solver2;
    uint8_t *workBase; // the work area's block; null while none is held
    uint8_t *workTop;
    uint32_t workCapacity;
};

FrameBlocks gBlocks;

void FreeIfHeld(void *&block)
{
    if (block)
        bz_TempStack_Free(kStack, block);
    block = nullptr;
}

// True when bytes more fit above the top; reports error 6 otherwise.
bool Fits(uint32_t bytes)
{
    uint32_t used = static_cast<uint32_t>(gBlocks.workTop - gBlocks.workBase);
    if (gBlocks.workBase && bytes <= gBlocks.workCapacity - used)
        return true;
    bz_Phys_ReportError(BZ_PHYS_ERROR_WORK_AREA, nullptr);
    return false;
}
} // namespace

int32_t bz_PhysMem_Reserve()
{
    if (gBlocks.workBase)
        return BZ_ERROR_NONE;
    gBlocks.worldRows = bz_TempStack_Alloc(kStack, BZ_PHYS_WORLD_ROWS_BYTES, 0);
    gBlocks.solver1 =
        gBlocks.worldRows ? bz_TempStack_Alloc(kStack, BZ_PHYS_SOLVER_BLOCK_BYTES, 0) : nullptr;
    gBlocks.solver2 =
        gBlocks.solver1 ? bz_TempStack_Alloc(kStack, BZ_PHYS_SOLVER_BLOCK_BYTES, 0) : nullptr;
    uint32_t room = gBlocks.solver2 ? bz_TempStack_SpaceLeft(kStack, 0) : 0;
    void *work = nullptr;
    if (room > BZ_PHYS_STACK_RESERVE_BYTES)
        work = bz_TempStack_Alloc(kStack, room - BZ_PHYS_STACK_RESERVE_BYTES, 0);
    if (!work)
    {
        void *blocks[3] = {gBlocks.solver2, gBlocks.solver1, gBlocks.worldRows};
        for (void *&b : blocks)
            FreeIfHeld(b);
        gBlocks = {};
        return bzgLastError = BZ_ERROR_NO_MEMORY;
    }
    gBlocks.workBase = gBlocks.workTop = static_cast<uint8_t *>(work);
    gBlocks.workCapacity = room - BZ_PHYS_STACK_RESERVE_BYTES;
    return BZ_ERROR_NONE;
}

void bz_PhysMem_Release()
{
    if (!gBlocks.workBase)
        return;
    void *work = gBlocks.workBase;
    FreeIfHeld(work);
    FreeIfHeld(gBlocks.solver2);
    FreeIfHeld(gBlocks.solver1);
    FreeIfHeld(gBlocks.worldRows);
    gBlocks = {};
}

void *bz_PhysMem_Peek(uint32_t bytes)
{
    return Fits(bytes) ? gBlocks.workTop : nullptr;
}

void *bz_PhysMem_Advance(uint32_t bytes)
{
    if (!Fits(bytes))
        return nullptr;
    uint8_t *block = gBlocks.workTop;
    uint32_t used = static_cast<uint32_t>(block - gBlocks.workBase);
    uint32_t step = bz_Mem_RoundToDefaultAlignment(bytes);
    // The rounding may pass the end only when the bytes themselves end there.
    if (step < bytes || step > gBlocks.workCapacity - used)
        step = gBlocks.workCapacity - used;
    gBlocks.workTop = block + step;
    return block;
}

bzPhysRecord *bz_Phys_AllocRecord(int32_t count, uint32_t elementBytes)
{
    if (count < 0)
        return nullptr;
    // The top may lie off the record's alignment after smaller pieces: the record starts at
    // the next aligned address.
    const uintptr_t top = reinterpret_cast<uintptr_t>(gBlocks.workTop);
    const uint32_t pad = static_cast<uint32_t>(
        (alignof(bzPhysRecord) - top % alignof(bzPhysRecord)) % alignof(bzPhysRecord));
    const uint64_t bytes = pad + sizeof(bzPhysRecord) + uint64_t(count) * elementBytes;
    if (bytes > UINT32_MAX)
    {
        bz_Phys_ReportError(BZ_PHYS_ERROR_WORK_AREA, nullptr);
        return nullptr;
    }
    auto *block = static_cast<uint8_t *>(bz_PhysMem_Advance(static_cast<uint32_t>(bytes)));
    if (!block)
        return nullptr;
    auto *record = reinterpret_cast<bzPhysRecord *>(block + pad);
    record->count = count;
    record->data = record + 1;
    return record;
}

void bz_PhysMem_ResetWorkArea()
{
    gBlocks.workTop = gBlocks.workBase;
}

int32_t bz_PhysMem_HasWorkArea()
{
    return gBlocks.workBase ? 1 : 0;
}

void *bz_PhysMem_WorkAreaBase()
{
    return gBlocks.workBase;
}

void *bz_PhysMem_WorkAreaTop()
{
    return gBlocks.workTop;
}

uint32_t bz_PhysMem_WorkAreaCapacity()
{
    return gBlocks.workCapacity;
}

void *bz_PhysMem_WorldRows()
{
    return gBlocks.worldRows;
}

void *bz_PhysMem_SolverBlock1()
{
    return gBlocks.solver1;
}

void *bz_PhysMem_SolverBlock2()
{
    return gBlocks.solver2;
}
