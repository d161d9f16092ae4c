// A bounded read cursor over a model file's payload, shared by the readers of its versions:
// every read that would pass the end marks the cursor bad and gives 0, so a reader checks once
// after a section instead of before every field.
#pragma once

#include "core/Bytes.h"
#include "maths/Types.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

struct bzModelCursor
{
    const uint8_t *p;
    const uint8_t *end;
    bool bad = false;

    size_t Left() const { return bad ? 0 : static_cast<size_t>(end - p); }
    // True when n more bytes are there; otherwise marks the cursor bad.
    bool Need(uint64_t n)
    {
        if (bad || n > static_cast<uint64_t>(end - p))
            bad = true;
        return !bad;
    }
    // True when count records of size bytes each are there.
    bool NeedRecords(uint64_t count, uint64_t size) { return Need(count * size); }
    const uint8_t *Take(size_t n)
    {
        if (!Need(n))
            return nullptr;
        const uint8_t *at = p;
        p += n;
        return at;
    }
    void Skip(uint64_t n)
    {
        if (Need(n))
            p += n;
    }
    uint8_t U8()
    {
        const uint8_t *at = Take(1);
        return at ? *at : 0;
    }
    uint16_t U16()
    {
        const uint8_t *at = Take(2);
        return at ? bz_GetU16LE(at) : 0;
    }
    uint32_t U32()
    {
        const uint8_t *at = Take(4);
        return at ? bz_GetU32LE(at) : 0;
    }
    float F32()
    {
        const uint8_t *at = Take(4);
        return at ? bz_GetF32LE(at) : 0.0f;
    }
    bzV3 V3()
    {
        bzV3 v;
        v.x = F32();
        v.y = F32();
        v.z = F32();
        return v;
    }
};
