// Animation files built byte by byte for the animation tests, a collector of the channels a
// load hands over, and a tree of named lumps.
#pragma once

#include "core/Bytes.h"
#include "scene/Anim.h"
#include "scene/Lump.h"

#include <cstdint>
#include <cstring>
#include <vector>

// Channels the loader hands over, in order; freed with the collector.
struct Collected
{
    std::vector<bzAnimChannel *> channels;
    static void Take(bzAnimChannel *channel, void *user)
    {
        static_cast<Collected *>(user)->channels.push_back(channel);
    }
    ~Collected()
    {
        for (bzAnimChannel *c : channels)
            bz_AnimChannel_Free(c);
    }
};

// Little-endian fields appended one by one.
struct AnimBytes
{
    std::vector<uint8_t> b;

    AnimBytes &U16(uint32_t v)
    {
        uint8_t x[2];
        bz_PutU16LE(x, v);
        b.insert(b.end(), x, x + 2);
        return *this;
    }
    AnimBytes &U32(uint32_t v)
    {
        uint8_t x[4];
        bz_PutU32LE(x, v);
        b.insert(b.end(), x, x + 4);
        return *this;
    }
    AnimBytes &F32(float f)
    {
        uint8_t x[4];
        bz_PutF32LE(x, f);
        b.insert(b.end(), x, x + 4);
        return *this;
    }
    AnimBytes &Floats(std::initializer_list<float> fs)
    {
        for (float f : fs)
            F32(f);
        return *this;
    }
    // The header: version, the ignored word, length and track count.
    AnimBytes &Header(float length, uint32_t tracks, uint32_t version = 0x0300)
    {
        return U16(version).U16(0x1234).F32(length).U32(tracks);
    }
    // A channel's kind, row and key count.
    AnimBytes &Channel(uint32_t kind, uint32_t format, uint32_t count)
    {
        return U16(kind).U16(format).U16(count);
    }
    AnimBytes &EndTrack() { return U16(0); }
    // A 16-character name and the 16 bytes after it, which are skipped.
    AnimBytes &Name(const char *name)
    {
        char field[16] = {};
        std::memcpy(field, name, strnlen(name, sizeof field));
        b.insert(b.end(), field, field + 16);
        b.insert(b.end(), 16, 0xCD);
        return *this;
    }
    // A position key (row 2): time, value, in-tangent, out-tangent.
    AnimBytes &KeyV3(float t, bzV3 value, bzV3 in, bzV3 out)
    {
        F32(t);
        for (const bzV3 *v : {&value, &in, &out})
            Floats({v->x, v->y, v->z});
        return *this;
    }
    // A rotation key (row 3): time, the further word first, then q, outgoing, incoming, ease-in
    // and ease-out.
    AnimBytes &KeyRotation(float t, bzQuat q, bzQuat outgoing, bzQuat incoming, float easeIn,
                           float easeOut, uint32_t further = 0xDEADBEEF)
    {
        F32(t).U32(further);
        for (const bzQuat *r : {&q, &outgoing, &incoming})
            Floats({r->x, r->y, r->z, r->w});
        return Floats({easeIn, easeOut});
    }
    // A parent-link key (row 4): time, the parent's track, the offset rows.
    AnimBytes &KeyLink(float t, uint32_t track, bzV3 translation)
    {
        F32(t).U32(track);
        Floats({1, 0, 0, 0, 1, 0, 0, 0, 1});
        return Floats({translation.x, translation.y, translation.z});
    }
};

inline bzV3 AV3(float x, float y, float z)
{
    bzV3 v;
    v.x = x;
    v.y = y;
    v.z = z;
    return v;
}

// A root "Root" with the children "Body" and "Wheel".
struct AnimTree
{
    bzLump *root = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "Root");
    bzLump *body = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "Body");
    bzLump *wheel = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "Wheel");
    AnimTree()
    {
        bz_Lump_AppendChild(root, body);
        bz_Lump_AppendChild(root, wheel);
    }
    ~AnimTree() { bz_Lump_DestroyTree(root); }
};
