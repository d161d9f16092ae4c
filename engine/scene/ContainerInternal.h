// What the container reader, the writer and the older layout share: a bounded byte cursor, the
// opening of a container file by its path without extension and the writing of emitter payloads.
#pragma once

#include "core/Bytes.h"
#include "core/Error.h"

#include <cstdint>

struct bzFileHandle;
struct bzLump;

// A cursor that never reads at or past its end.
struct bzContainerCursor
{
    const uint8_t *p;
    const uint8_t *end;

    uint32_t Left() const { return static_cast<uint32_t>(end - p); }
    bool Take(uint32_t n, const uint8_t **out)
    {
        if (Left() < n)
            return false;
        *out = p;
        p += n;
        return true;
    }
    bool U8(uint8_t *out)
    {
        const uint8_t *at;
        if (!Take(1, &at))
            return false;
        *out = at[0];
        return true;
    }
    bool U32(uint32_t *out)
    {
        const uint8_t *at;
        if (!Take(4, &at))
            return false;
        *out = bz_GetU32LE(at);
        return true;
    }
};

// Opens path + ".CNT" with the mode: 0, 20 when the name does not fit, 19 when the file cannot be
// opened (last-error set).
bzErrorCode bz_Container_Open(const char *path, const char *mode, bzFileHandle **out);

// Writes an emitter lump's particle system in the emitter payload (a lump without one writes the
// defaults of a new system): the bytes written, or -1 on a short write.
int32_t bz_Container_WriteEmitter(const bzLump *lump, bzFileHandle *file);
