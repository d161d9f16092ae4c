// Growable buffers of the memory manager: eight slots, each a heap block that grows by a fixed
// step when a writer's cursor comes within the reserve of its end, moving the cursor along.
#include "core/Memory.h"

#include "core/MemoryInternal.h"

using namespace bzMem;

namespace
{
struct MemBuffer
{
    uint8_t *base;
    uint32_t growth;
    uint32_t reserve;
    uint32_t size;
};

MemBuffer gBuffers[BZ_MEM_MAX_BUFFERS];
} // namespace

int32_t bz_MemBuffer_Create(uint32_t initialSize, uint32_t growthStep, uint32_t reserve)
{
    for (int32_t i = 0; i < BZ_MEM_MAX_BUFFERS; ++i)
    {
        MemBuffer &mb = gBuffers[i];
        if (mb.base)
            continue;
        mb.base = static_cast<uint8_t *>(bz_MemAlloc(initialSize, 0));
        if (!mb.base)
            return 0;
        mb.growth = growthStep;
        mb.reserve = reserve;
        mb.size = initialSize;
        return i + 1;
    }
    return 0;
}

void bz_MemBuffer_Ensure(int32_t id, uint8_t **cursor)
{
    if (id < 1 || id > BZ_MEM_MAX_BUFFERS || !cursor)
        return;
    MemBuffer &mb = gBuffers[id - 1];
    if (!mb.base || mb.growth == 0)
        return;
    int64_t offset = *cursor ? *cursor - mb.base : 0;
    while (offset > static_cast<int64_t>(mb.size) - static_cast<int64_t>(mb.reserve))
    {
        uint64_t size = static_cast<uint64_t>(mb.size) + mb.growth;
        if (size > BZ_MEM_MAX_BLOCK)
            break;
        auto *base = static_cast<uint8_t *>(bz_MemRealloc(mb.base, static_cast<uint32_t>(size), 0));
        if (!base)
            break; // the buffer stays as it was
        mb.base = base;
        mb.size = static_cast<uint32_t>(size);
    }
    *cursor = mb.base + offset;
}

uint8_t *bz_MemBuffer_Base(int32_t id)
{
    if (id < 1 || id > BZ_MEM_MAX_BUFFERS)
        return nullptr;
    return gBuffers[id - 1].base;
}

uint32_t bz_MemBuffer_Offset(const uint8_t *pointer, int32_t id)
{
    uint8_t *base = bz_MemBuffer_Base(id);
    return base && pointer ? static_cast<uint32_t>(pointer - base) : 0;
}

void bz_MemBuffer_Free(int32_t id)
{
    if (id < 1 || id > BZ_MEM_MAX_BUFFERS)
        return;
    bz_MemFree(gBuffers[id - 1].base);
    gBuffers[id - 1] = {};
}

void bz_MemBuffer_ClearAll()
{
    for (int32_t id = 1; id <= BZ_MEM_MAX_BUFFERS; ++id)
        bz_MemBuffer_Free(id);
}
