// Model files for the tests, written byte by byte from the file layout: the container header
// and a one-triangle payload of any version, with the switches the tests turn.
#pragma once

#include "ImgFileWriter.h"

#include <cstdint>
#include <string>
#include <vector>

struct TriangleFields
{
    uint16_t version = 0x509;
    bool prep = true;
    bool app = false;
    std::vector<std::string> materials{"DEFAULT"};
    float minX = 0.0f, maxX = 1.0f;
    bool trueCentre = false; // the stored centre is the box's middle, else (9, 9, 9)
    uint32_t vertexColour = 0xFFFFFFFF;
    uint32_t polygonColour = 0xFFFFFFFF;
    uint32_t polygonMaterial = 0;
    uint16_t faceEntry = 0;
    uint32_t faceVertex2 = 2;    // the third corner of the face
    uint16_t entryCount = 1;     // material entries of the mesh block
    bool strips = false;         // the entry's indices as a strip instead of a list
    uint32_t listIndex2 = 2;     // the third list (or strip) index
    uint32_t faceToPolygon = 0;  // the face's polygon
    uint32_t polygonVertex2 = 2; // the third corner of the polygon
    std::string faceTail = std::string(16, '\0'); // the unread bytes of 30- and 32-byte faces
    uint32_t polygonFlagWord = 0x10001;           // of which the low 16 bits are kept
};

inline void Vertex44(ByteWriter &w, float x, float y, uint32_t colour)
{
    w.F32(x).F32(y).F32(0);  // position
    w.F32(0).F32(0).F32(1);  // normal
    w.F32(x).F32(y);         // set 0
    w.F32(2 * x).F32(2 * y); // set 1
    w.U32(colour);
}

// The payload of a one-triangle model at (0,0,0), (1,0,0), (0,1,0) of the version's layout.
inline std::string TrianglePayload(const TriangleFields &s)
{
    const uint16_t v = s.version;
    ByteWriter w;
    w.U32(s.app ? 1 : 0).U32(s.app ? 3 : 0); // polygonCount, dataVertexCount
    if (v >= 0x506)
        w.U32(s.prep ? 1 : 0);
    const bool bounds = v >= 0x506 ? s.prep : true;
    const bool prep = v >= 0x506 ? s.prep : v >= 0x502;
    if (bounds)
    {
        w.F32(0.75f).F32(s.minX).F32(0).F32(0).F32(s.maxX).F32(1).F32(0);
        if (s.trueCentre)
            w.F32((s.minX + s.maxX) / 2).F32(0.5f).F32(0);
        else
            w.F32(9).F32(9).F32(9);
    }
    if (v >= 0x502)
    {
        w.U16(static_cast<uint32_t>(s.materials.size()));
        for (const std::string &m : s.materials)
            w.Name(m, 32);
    }
    if (prep)
    {
        w.U32(1);
        if (v >= 0x507)
            w.U16(s.faceEntry).U16(0x0020).U32(0).U32(1).U32(s.faceVertex2);
        else if (v >= 0x504)
            w.U16(s.faceEntry).U16(0x0020).U32(0).U32(1).U32(s.faceVertex2).Raw(s.faceTail);
        else
            w.U16(s.faceEntry).U32(0).U32(1).U32(s.faceVertex2).Raw(s.faceTail);
        if (v >= 0x503)
        {
            w.U32(3);
            Vertex44(w, 0, 0, s.vertexColour);
            Vertex44(w, 1, 0, s.vertexColour);
            Vertex44(w, 0, 1, s.vertexColour);
            w.U16(s.entryCount);
            for (uint16_t e = 0; e < s.entryCount; ++e)
            {
                if (v == 0x509)
                    w.F32(0.5f).F32(0.5f).F32(0).F32(0.75f).F32(0).F32(0).F32(0).F32(1).F32(1).F32(
                        0);
                else
                    w.F32(0.5f).F32(0.5f).F32(0);
                w.U32(0).U32(3);
                if (s.strips)
                    w.U32(3).U32(0).U32(1).U32(s.listIndex2).U32(0).U32(0).U32(0);
                else
                    w.U32(0).U32(0).U32(3).U32(3).U32(0).U32(1).U32(s.listIndex2);
            }
        }
    }
    if (s.app)
    {
        w.U32(0); // data flags
        if (v <= 0x508)
            w.U32(3);
        const float pos[3][2] = {{0, 0}, {1, 0}, {0, 1}};
        for (const auto &p : pos)
        {
            w.F32(p[0]).F32(p[1]).F32(0);
            if (v >= 0x503)
                w.U32(0);
        }
        w.F32(0).F32(0).F32(0).F32(1);  // plane d and normal
        for (int32_t k = 0; k < 9; ++k) // corner normals
            w.F32(k % 3 == 2 ? 1.0f : 0.0f);
        w.U32(s.polygonMaterial).U32(s.polygonFlagWord); // material, flag word
        w.U32(0).U32(1).U32(s.polygonVertex2);           // corners
        w.U32(s.polygonColour).U32(s.polygonColour).U32(s.polygonColour);
        for (const auto &p : pos)
            w.F32(p[0]).F32(p[1]).F32(3 * p[0]).F32(3 * p[1]);
        if (v >= 0x505)
            w.U8(0x05); // edges 0 and 2 hidden
        if (v >= 0x508)
            w.U32(0xABCD);
        if (prep)
        {
            w.U32(s.faceToPolygon);
            if (v >= 0x503)
                w.U32(0); // no copy list
        }
    }
    return w.bytes;
}

// The container: magic, version, the checksum from 0x507 on, then flag word and payload size
// (magic 0x2345) or model count and a spare word (magic 0x1234).
inline std::string Container(uint16_t magic, uint16_t version, uint32_t flagWord,
                             const std::string &payload, int64_t payloadSize = -1,
                             uint16_t models = 1)
{
    ByteWriter w;
    w.U16(magic).U16(version);
    if (version > 0x506)
        w.U32(0x600DF00D);
    if (magic == 0x1234)
        w.U16(models).U16(0);
    else
        w.U32(flagWord).U32(payloadSize < 0 ? static_cast<uint32_t>(payload.size())
                                            : static_cast<uint32_t>(payloadSize));
    return w.Raw(payload).bytes;
}

inline std::string TriangleFile(const TriangleFields &s, uint32_t flagWord = 0)
{
    return Container(0x2345, s.version, s.app && flagWord == 0 ? 1 : flagWord, TrianglePayload(s));
}
