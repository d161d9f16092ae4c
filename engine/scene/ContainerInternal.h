// What the scene's file readers and writers share (containers of both layouts, the portal world,
// the navigation mesh): a bounded byte cursor, a field writer, the opening of a container file by
// its path without extension and the writing of emitter payloads.
#pragma once

#include "core/Bytes.h"
#include "core/Error.h"
#include "maths/Types.h"

#include <cstddef>

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
    bool U16(uint16_t *out)
    {
        const uint8_t *at;
        if (!Take(2, &at))
            return false;
        *out = bz_GetU16LE(at);
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

// Little-endian fields written one by one through the file hooks; ok turns false at the first
// short write and later fields are not written.
struct bzFieldWriter
{
    bzFileHandle *file;
    bool ok = true;

    void Bytes(const void *p, size_t n);
    void U16(uint32_t v)
    {
        uint8_t b[2];
        bz_PutU16LE(b, v);
        Bytes(b, 2);
    }
    void U32(uint32_t v)
    {
        uint8_t b[4];
        bz_PutU32LE(b, v);
        Bytes(b, 4);
    }
    void F32(float v)
    {
        uint8_t b[4];
        bz_PutF32LE(b, v);
        Bytes(b, 4);
    }
    void V3(const bzV3 &v)
    {
        for (float f : v.v)
            F32(f);
    }
};

// Opens path + ".CNT" with the mode: 0, 20 when the name does not fit, 19 when the file cannot be
// opened (last-error set).
bzErrorCode bz_Container_Open(const char *path, const char *mode, bzFileHandle **out);

// The drive and directory of a path (everything up to its last separator) into out; empty when
// there is none or it does not fit.
void bz_Container_FolderOf(const char *path, char *out, size_t size);

// Writes an emitter lump's particle system in the emitter payload (a lump without one writes the
// defaults of a new system): the bytes written, or -1 on a short write.
int32_t bz_Container_WriteEmitter(const bzLump *lump, bzFileHandle *file);
