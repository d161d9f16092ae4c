// Containers assembled field by field, little-endian, for the container tests.
#pragma once

#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

// A container assembled field by field, little-endian.
struct Bytes
{
    std::vector<uint8_t> b;

    Bytes &U8(uint8_t v)
    {
        b.push_back(v);
        return *this;
    }
    Bytes &U16(uint16_t v) { return U8((uint8_t)v).U8((uint8_t)(v >> 8)); }
    Bytes &U32(uint32_t v) { return U16((uint16_t)v).U16((uint16_t)(v >> 16)); }
    Bytes &F32(float f)
    {
        uint32_t v;
        std::memcpy(&v, &f, 4);
        return U32(v);
    }
    Bytes &Text(const char *s, size_t width)
    {
        for (size_t i = 0; i < width; i++)
            U8(i < std::strlen(s) ? (uint8_t)s[i] : 0);
        return *this;
    }
    Bytes &Tag(const char *t) { return Text(t, 4); }
    // A name led by its u32 length, without terminator.
    Bytes &Name(const char *s) { return U32((uint32_t)std::strlen(s)).Text(s, std::strlen(s)); }
    Bytes &Header() { return U16(0x2345).U16(0x300); }
    // Name, flag bytes and the closing 0, user word and matrix (the given 12 floats).
    Bytes &Start(const char *name, std::vector<uint8_t> flags, uint32_t user, const float (&m)[12])
    {
        Text(name, 16);
        for (uint8_t f : flags)
            U8(f);
        U8(0).U32(user);
        for (float f : m)
            F32(f);
        return *this;
    }
    Bytes &Start(const char *name, std::vector<uint8_t> flags = {}, uint32_t user = 0)
    {
        return Start(name, std::move(flags), user, {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0});
    }
    // A childless NULL record without chunks.
    Bytes &Leaf(const char *name) { return Start(name).Tag("NULL").U32(0).U32(0); }
};
