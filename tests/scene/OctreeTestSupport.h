// Helpers of the octree tests: triangles, the leaves of a built tree with their depths, the
// faces a stream names, a structural comparison of two trees, and a writer of chunk bytes.
#pragma once

#include "../support/FakeScene.h"
#include "core/Bytes.h"
#include "scene/Octree.h"

#include <gtest/gtest.h>

#include <cstring>
#include <utility>
#include <vector>

// Three corners of a triangle.
inline std::vector<bzV3> Tri(bzV3 a, bzV3 b, bzV3 c)
{
    return {a, b, c};
}

inline std::vector<bzV3> Join(std::initializer_list<std::vector<bzV3>> parts)
{
    std::vector<bzV3> all;
    for (const auto &p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

struct LeafAt
{
    const bzOctreeLeaf *leaf;
    int depth; // the root node is depth 0, its children depth 1
};

inline void CollectLeaves(const bzOctreeNode *node, int depth, std::vector<LeafAt> &out)
{
    for (int i = 0; i < 8; i++)
    {
        if (!node->child[i])
            continue;
        if (node->leafMask & (1u << i))
            out.push_back({(const bzOctreeLeaf *)node->child[i], depth + 1});
        else
            CollectLeaves((const bzOctreeNode *)node->child[i], depth + 1, out);
    }
}

inline std::vector<uint16_t> StreamWords(const bzOctreeLeaf *leaf)
{
    const uint32_t n = OctreeLeafWordCount(leaf);
    return std::vector<uint16_t>(leaf->faces, leaf->faces + n);
}

// (entry, face) pairs of a stream.
inline std::vector<std::pair<uint32_t, uint32_t>> StreamFaces(const uint16_t *words)
{
    std::vector<std::pair<uint32_t, uint32_t>> faces;
    OctreeWalkStream(
        words, [](uint32_t) { return true; },
        [&](uint32_t e, uint32_t f) -> intptr_t
        {
            faces.push_back({e, f});
            return 0;
        });
    return faces;
}

inline void ExpectSameNode(const bzOctreeNode *a, const bzOctreeNode *b)
{
    ASSERT_EQ(a->splitMask, b->splitMask);
    ASSERT_EQ(a->leafMask, b->leafMask);
    for (int i = 0; i < 8; i++)
    {
        ASSERT_EQ(a->child[i] == nullptr, b->child[i] == nullptr) << "octant " << i;
        if (!a->child[i])
            continue;
        if (a->leafMask & (1u << i))
        {
            const bzOctreeLeaf *la = (const bzOctreeLeaf *)a->child[i];
            const bzOctreeLeaf *lb = (const bzOctreeLeaf *)b->child[i];
            ASSERT_EQ(la->faces == nullptr, lb->faces == nullptr);
            if (la->faces)
            {
                EXPECT_EQ(StreamWords(la), StreamWords(lb));
            }
        }
        else
            ExpectSameNode((const bzOctreeNode *)a->child[i], (const bzOctreeNode *)b->child[i]);
    }
}

// Little-endian chunk bytes, field by field.
struct ChunkBytes
{
    std::vector<uint8_t> bytes;
    ChunkBytes &U8(uint32_t v)
    {
        bytes.push_back((uint8_t)v);
        return *this;
    }
    ChunkBytes &U16(uint32_t v)
    {
        uint8_t b[2];
        bz_PutU16LE(b, v);
        bytes.insert(bytes.end(), b, b + 2);
        return *this;
    }
    ChunkBytes &U32(uint32_t v)
    {
        uint8_t b[4];
        bz_PutU32LE(b, v);
        bytes.insert(bytes.end(), b, b + 4);
        return *this;
    }
    ChunkBytes &F32(float v)
    {
        uint8_t b[4];
        bz_PutF32LE(b, v);
        bytes.insert(bytes.end(), b, b + 4);
        return *this;
    }
    ChunkBytes &Box(float lo, float hi)
    {
        for (int i = 0; i < 3; i++)
            F32(lo);
        for (int i = 0; i < 3; i++)
            F32(hi);
        return *this;
    }
};

// Reads the bytes from an exactly sized copy, so that a read past the end is caught.
inline bzOctree *ReadChunk(const std::vector<uint8_t> &bytes, bzLump *root, int32_t version = -1,
                           size_t *consumed = nullptr)
{
    std::unique_ptr<uint8_t[]> copy(new uint8_t[bytes.size()]);
    if (!bytes.empty())
        std::memcpy(copy.get(), bytes.data(), bytes.size());
    const uint8_t *cursor = copy.get();
    bzOctree *o = bzOctree_Read(&cursor, copy.get() + bytes.size(), version, root);
    if (consumed)
        *consumed = (size_t)(cursor - copy.get());
    return o;
}
