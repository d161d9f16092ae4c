// A level's octree carried in its container: saved, loaded and saved again byte for byte, the
// loaded octree answering every query as the one it was saved from; a load whose models do not
// fit the stored octree names the damage; transient lumps left out of the lump paths, and an
// octree over lumps a container cannot hold refused; and a bounded fuzz of the octree reader
// over mutated chunks.
#include "OctreeTestSupport.h"
#include "TestLevel.h"
#include "TestSupport.h"

#include "core/Error.h"
#include "files/File.h"
#include "scene/Bounds.h"
#include "scene/Container.h"
#include "scene/Lump.h"
#include "scene/LumpRay.h"
#include "scene/OctreeQuery.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <map>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace
{
// The loaded lumps take the models they were saved with, found by name.
std::map<std::string, bzModel *> gByName;

bzModel *ModelByName(bzLump *, const char *, const char *name)
{
    auto it = gByName.find(name);
    if (it == gByName.end())
        return nullptr;
    it->second->refCount++;
    return it->second;
}

struct Hook
{
    bzContainerModelHook previous;
    explicit Hook(const std::vector<bzLump *> &lumps)
    {
        gByName.clear();
        for (bzLump *l : lumps)
            gByName[bz_Lump_GetModel(l)->name] = bz_Lump_GetModel(l);
        previous = bz_Lump_SetModelLoadHook(ModelByName);
    }
    ~Hook()
    {
        bz_Lump_SetModelLoadHook(previous);
        gByName.clear();
    }
};

std::vector<uint8_t> WriteBytes(const bzOctree *o)
{
    bzFileHandle *file = bz_FileOpen("chunk.bin", "wb");
    EXPECT_NE(file, nullptr);
    EXPECT_GT(bzOctree_Write(o, file), 0);
    bz_FileClose(file);
    const std::string s = ReadWholeFile("chunk.bin");
    return std::vector<uint8_t>(s.begin(), s.end());
}

std::string Bytes(const char *name)
{
    return ReadWholeFile(name);
}

bzRay Segment(std::mt19937 &rng, float size)
{
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    bzRay ray;
    ray.origin = {
        {{(unit(rng) - 0.5f) * size, (unit(rng) - 0.5f) * size * 0.3f, (unit(rng) - 0.5f) * size}}};
    bzV3 dir = {{{unit(rng) - 0.5f, unit(rng) - 0.5f, unit(rng) - 0.5f}}};
    bz_V3_Normalise(&dir);
    bz_V3_ScaleInto(&dir, &ray.delta, size * (0.1f + unit(rng)));
    ray.flag = 0;
    return ray;
}

// (lump name, face) of every face a box query reports.
using FaceSet = std::set<std::pair<std::string, uint32_t>>;

intptr_t CollectFace(bzOctreeEntry *entry, uint32_t face, void *user)
{
    static_cast<FaceSet *>(user)->insert({entry->lump->name, face});
    return 0;
}

// A level of rotated and translated rocks, one of them two levels down below a group (placed
// where it stood), so that the octree's lump paths take more than one step.
TestLevel NestedLevel(FakeModels &models)
{
    TestLevel level = MakeTestLevel(models, 11u, 7, 40, 60.0f, 5.0f, 2.0f);
    bzLump *group = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "group");
    bz_Lump_AppendChild(level.root, group);
    bzLump *last = level.lumps.back();
    bz_Lump_Detach(last);
    bz_Lump_AppendChild(group, last);
    for (size_t i = 0; i < level.lumps.size(); i++)
        snprintf(level.lumps[i]->name, sizeof level.lumps[i]->name, "lump%d", (int)(i % 100));
    return level;
}

TEST(OctreeContainer, ALevelWithItsOctreeRoundTripsAndAnswersTheSameQueries)
{
    ScopedTempDir dir;
    FakeModels models;
    TestLevel level = NestedLevel(models);
    bzOctree *built = bz_Lump_BuildOctree(level.root);
    ASSERT_NE(built, nullptr);
    ASSERT_EQ(bz_Lump_SaveCNT("level", level.root, 0), 0);

    Hook hook(level.lumps);
    bzgLastError = 0;
    bzLump *loaded = bz_Lump_LoadCNT("level");
    ASSERT_NE(loaded, nullptr) << bzgLastError;
    ASSERT_TRUE(loaded->flags & BZ_LUMP_OCTREE);
    const bzOctree *read = reinterpret_cast<const bzOctree *>(loaded->octree);
    ASSERT_NE(read, nullptr);
    ASSERT_EQ(read->entryCount, built->entryCount);
    // Each entry names the lump of the same name at the same place in the loaded tree.
    for (int i = 0; i < built->entryCount; i++)
    {
        EXPECT_STREQ(read->entries[i].lump->name, built->entries[i].lump->name) << i;
        EXPECT_EQ(read->entries[i].model, built->entries[i].model) << i;
        EXPECT_EQ(read->entries[i].matrix == nullptr, built->entries[i].matrix == nullptr) << i;
    }
    EXPECT_EQ(std::string(bz_Lump_FindByName(loaded, "group")->firstChild->name), "lump6");
    EXPECT_EQ(std::memcmp(&read->bounds, &built->bounds, sizeof(bzBox)), 0);
    ExpectSameNode(read->root, built->root);

    // Saved again, the file is the same byte for byte.
    ASSERT_EQ(bz_Lump_SaveCNT("again", loaded, 0), 0);
    const std::string first = Bytes("level.CNT"), second = Bytes("again.CNT");
    ASSERT_GT(first.size(), 100u);
    EXPECT_EQ(first.size(), second.size());
    EXPECT_TRUE(first == second);

    // Segments: the same nearest hit (distance, lump, face) through either octree, and that of
    // the plain loop over every face.
    std::mt19937 rng(5u);
    int hits = 0;
    for (int k = 0; k < 400; k++)
    {
        bzRay ray = Segment(rng, level.size);
        // Every other one through the middle of a face.
        if (k % 2 == 0)
        {
            const TestLevel::Face &f = level.faces[(size_t)k * 7 % level.faces.size()];
            for (int j = 0; j < 3; j++)
                ray.origin.v[j] =
                    (float)((f.p[0][j] + f.p[1][j] + f.p[2][j]) / 3.0) - ray.delta.v[j] * 0.5f;
        }
        float t0 = 0, t1 = 0;
        bzLump *l0 = nullptr, *l1 = nullptr;
        uint32_t f0 = 0, f1 = 0;
        bzV3 p0, p1;
        const int32_t h0 = bz_Lump_RayIntersect(level.root, &ray, nullptr, &t0, &l0, &f0, &p0,
                                                nullptr, nullptr, nullptr);
        const int32_t h1 = bz_Lump_RayIntersect(loaded, &ray, nullptr, &t1, &l1, &f1, &p1, nullptr,
                                                nullptr, nullptr);
        ASSERT_EQ(h0, h1) << k;
        const PlainHit plain = PlainNearestHit(level, ray);
        if (!plain.nearBoundary)
        {
            EXPECT_EQ(h1, plain.t >= 0 ? 1 : 0) << k;
        }
        if (!h0)
            continue;
        hits++;
        EXPECT_EQ(t0, t1) << k;
        EXPECT_STREQ(l0->name, l1->name) << k;
        EXPECT_EQ(f0, f1) << k;
        if (!plain.nearBoundary && plain.lump)
        {
            EXPECT_STREQ(l1->name, plain.lump->name) << k;
        }
    }
    EXPECT_GT(hits, 20);

    // Boxes: the same faces, each once.
    std::uniform_real_distribution<float> unit(-0.5f, 0.5f);
    int reported = 0;
    for (int k = 0; k < 60; k++)
    {
        const bzV3 c = {
            {{unit(rng) * level.size, unit(rng) * level.size * 0.3f, unit(rng) * level.size}}};
        const float h = 2.0f + (unit(rng) + 0.5f) * 8.0f;
        const bzBox box = {{{{c.x - h, c.y - h, c.z - h}}}, {{{c.x + h, c.y + h, c.z + h}}}};
        FaceSet a, b;
        bzOctree_Query(CollectFace, built, &box, nullptr, nullptr, nullptr, nullptr, &a, 0, 0);
        bzOctree_Query(CollectFace, reinterpret_cast<bzOctree *>(loaded->octree), &box, nullptr,
                       nullptr, nullptr, nullptr, &b, 0, 0);
        EXPECT_EQ(a, b) << k;
        reported += (int)b.size();
    }
    EXPECT_GT(reported, 0);

    bz_Lump_DestroyTree(loaded);
    bz_Lump_DestroyTree(level.root);
}

// A stored octree whose faces or checksum are not those of the models loaded is passed over:
// the level loads without it, whole, and the next records are read.
TEST(OctreeContainer, AnOctreeThatDoesNotFitTheLoadedModelsIsLeftOut)
{
    ScopedTempDir dir;
    FakeModels models;
    TestLevel level = NestedLevel(models);
    ASSERT_NE(bz_Lump_BuildOctree(level.root), nullptr);
    // The octree chunk closes the level's record: a record after it shows that reading goes on
    // past the chunk.
    bzLump *top = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "top");
    bz_Lump_AppendChild(top, level.root);
    bz_Lump_AppendChild(top, bz_Lump_Create(BZ_LUMP_TYPE_NULL, "after"));
    ASSERT_EQ(bz_Lump_SaveCNT("level", top, 0), 0);
    const int32_t lumps = bz_Lump_GetTotalCount();
    // Without the hook every model loads as a two-face quad: the stored face streams name
    // faces those models lack.
    bzgLastError = 0;
    bzLump *loaded = bz_Lump_LoadCNT("level");
    ASSERT_NE(loaded, nullptr) << bzgLastError;
    bzLump *levelBack = bz_Lump_GetChild(loaded, 0);
    EXPECT_STREQ(levelBack->name, "level");
    EXPECT_EQ(levelBack->octree, nullptr);
    EXPECT_FALSE(levelBack->flags & BZ_LUMP_OCTREE);
    EXPECT_EQ(bz_Lump_CountTree(levelBack), bz_Lump_CountTree(level.root));
    ASSERT_EQ(bz_Lump_CountChildren(loaded), 2);
    EXPECT_STREQ(bz_Lump_GetChild(loaded, 1)->name, "after");
    bz_Lump_DestroyTree(loaded);
    EXPECT_EQ(bz_Lump_GetTotalCount(), lumps);
    // A file that is not there says so, whatever the release of its buffer leaves behind.
    bzgLastError = 0;
    EXPECT_EQ(bz_Lump_LoadCNT("missing"), nullptr);
    EXPECT_EQ(bzgLastError, BZ_ERROR_FILE_NOT_FOUND);
    bz_Lump_DestroyTree(top);
}

// Lumps a container leaves out (transient ones) are not counted in the octree's lump paths, so
// that the paths name the same lumps in the tree read back; an octree over a lump the container
// cannot hold refuses the save before anything is written.
TEST(OctreeContainer, TransientLumpsAreLeftOutOfTheLumpPaths)
{
    ScopedTempDir dir;
    FakeModels models;
    TestLevel level = MakeTestLevel(models, 3u, 3, 10, 20.0f, 3.0f, 1.0f);
    ASSERT_NE(bz_Lump_BuildOctree(level.root), nullptr);
    // A transient lump added first, once the octree is built: every entry's saved index is
    // one below its index in the live tree.
    bzLump *temp = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "temp");
    temp->flags |= BZ_LUMP_TRANSIENT;
    bz_Lump_Attach(level.root, temp);
    ASSERT_EQ(level.root->firstChild, temp);
    ASSERT_EQ(bz_Lump_SaveCNT("level", level.root, 0), 0);
    const std::string bytes = Bytes("level.CNT");
    {
        Hook hook(level.lumps);
        bzLump *loaded = bz_Lump_LoadCNT("level");
        ASSERT_NE(loaded, nullptr) << bzgLastError;
        const bzOctree *read = reinterpret_cast<const bzOctree *>(loaded->octree);
        ASSERT_NE(read, nullptr);
        ASSERT_EQ(read->entryCount, 3);
        for (int i = 0; i < 3; i++)
        {
            EXPECT_EQ(read->entries[i].lump, bz_Lump_GetChild(loaded, i)) << i;
            EXPECT_EQ(read->entries[i].model, bz_Lump_GetModel(level.lumps[(size_t)i])) << i;
        }
        // Saved from the loaded tree, which holds no transient lump, it is the same file.
        ASSERT_EQ(bz_Lump_SaveCNT("again", loaded, 0), 0);
        EXPECT_TRUE(Bytes("again.CNT") == bytes);
        bz_Lump_DestroyTree(loaded);
    }
    // A model lump inside the transient subtree, or outside the tree, cannot be named.
    bzLump *inside = level.lumps[1];
    bz_Lump_Detach(inside);
    bz_Lump_AppendChild(temp, inside);
    bzgLastError = 0;
    EXPECT_EQ(bz_Lump_SaveCNT("inside", level.root, 0), BZ_ERROR_PARAMETER_OUT_OF_RANGE);
    EXPECT_EQ(bzgLastError, BZ_ERROR_PARAMETER_OUT_OF_RANGE);
    EXPECT_EQ(bz_Lump_SaveLegacyCNT(level.root, "old"), BZ_ERROR_PARAMETER_OUT_OF_RANGE);
    bz_Lump_Detach(inside);
    EXPECT_EQ(bz_Lump_SaveCNT("outside", level.root, 0), BZ_ERROR_PARAMETER_OUT_OF_RANGE);
    bzFileHandle *none = bz_FileOpen("inside.CNT", "rb");
    EXPECT_EQ(none, nullptr);
    if (none)
        bz_FileClose(none);
    bz_Lump_AppendChild(level.root, inside);
    EXPECT_EQ(bz_Lump_SaveCNT("level", level.root, 0), 0);
    bz_Lump_DestroyTree(level.root);
}

// Mutated chunks either give no octree with 59, or an octree whose streams name only faces
// its entries have and that writes and reads back to itself; nothing is read past the chunk
// (each is read from an exactly sized copy).
TEST(OctreeContainer, FuzzedChunksAreRefusedOrReadSoundly)
{
    ScopedTempDir dir;
    FakeModels models;
    TestLevel level = MakeTestLevel(models, 9u, 4, 50, 30.0f, 4.0f, 2.0f);
    // No stored checksums and the no-checksum flag: a chunk changed in its face words can still
    // be accepted, and is then checked.
    for (bzLump *l : level.lumps)
    {
        bzModel *m = bz_Lump_GetModel(l);
        m->checksum = 0;
        m->modelFlags = BZ_MODEL_NO_CHECKSUM;
    }
    bzOctree *built = bzOctree_Build(level.root);
    ASSERT_NE(built, nullptr);
    const std::vector<uint8_t> base = WriteBytes(built);
    ASSERT_GT(base.size(), 100u);
    bzOctree_Free(built);
    std::mt19937 rng(77u);
    const auto start = std::chrono::steady_clock::now();
    int runs = 0, accepted = 0;
    while (std::chrono::steady_clock::now() - start < std::chrono::milliseconds(1500))
    {
        std::vector<uint8_t> data = base;
        const int edits = 1 + (int)(rng() % 3);
        for (int e = 0; e < edits && !data.empty(); e++)
        {
            const size_t at = rng() % data.size();
            switch (rng() % 4)
            {
            case 0: data[at] = (uint8_t)rng(); break;
            case 1: data[at] ^= (uint8_t)(1u << (rng() % 8)); break;
            case 2: data[at] = (uint8_t)(rng() % 2 ? 0xFF : 0x00); break;
            default: data.resize(at); break;
            }
        }
        runs++;
        bzgLastError = 0;
        size_t consumed = 0;
        bzOctree *o = ReadChunk(data, level.root, -1, &consumed);
        if (!o)
        {
            ASSERT_EQ(bzgLastError, BZ_ERROR_BAD_DATA_FORMAT) << runs;
            continue;
        }
        accepted++;
        ASSERT_LE(consumed, data.size());
        // Every face a stream names is a face of its entry.
        std::vector<LeafAt> leaves;
        if (o->root)
            CollectLeaves(o->root, 0, leaves);
        for (const LeafAt &l : leaves)
            for (const auto &[entry, face] : StreamFaces(l.leaf->faces))
            {
                ASSERT_LT(entry, (uint32_t)o->entryCount);
                ASSERT_LT(face, o->entries[entry].faceCount);
            }
        // Written, read and written again, it gives the same bytes and the same tree.
        const std::vector<uint8_t> once = WriteBytes(o);
        bzOctree *again = ReadChunk(once, level.root);
        ASSERT_NE(again, nullptr) << runs;
        ExpectSameNode(again->root, o->root);
        EXPECT_EQ(WriteBytes(again), once) << runs;
        bzOctree_Free(again);
        bzOctree_Free(o);
    }
    EXPECT_GT(runs, 100);
    EXPECT_GT(accepted, 0);
    bz_Lump_DestroyTree(level.root);
}
} // namespace
