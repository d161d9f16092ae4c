// The octree build (run encodings, leaf and split rules), the chunk writer and reader, and the
// reader against damaged and lying chunks.
#include "OctreeTestSupport.h"
#include "TestLevel.h"
#include "TestSupport.h"

#include "core/Error.h"
#include "files/File.h"
#include "maths/Matrix.h"
#include "scene/Bounds.h"
#include "scene/LumpRay.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include <cfloat>

namespace
{
// A thin triangle from x0 to x1 that spans y and z from -1 to 1.
std::vector<bzV3> Sliver(float x0, float x1)
{
    return Tri({{{x0, -1, -1}}}, {{{x1, 1, 1}}}, {{{x0, 1, -1}}});
}

bzLump *ModelChild(bzLump *root, bzModel *model)
{
    bzLump *lump = bz_Lump_CreateModel(model);
    bz_Lump_AppendChild(root, lump);
    return lump;
}

TEST(OctreeRuns, RunWordsFollowTheLengths)
{
    struct Case
    {
        uint32_t n;
        std::vector<uint16_t> words;
    };
    const Case cases[] = {
        {0, {}},
        {1, {0xFF01}},
        {253, {0xFFFD}},
        {254, {0xFFFD, 0xFF01}},
        {507, {0xFFFD, 0xFFFD, 0xFF01}},
    };
    for (const Case &c : cases)
    {
        uint16_t out[8] = {};
        const int32_t n = OctreeWriteRun(out, c.n);
        EXPECT_EQ(std::vector<uint16_t>(out, out + n), c.words) << c.n;
    }
}

TEST(OctreeBuild, LongRunsOfOneLeafAreEncodedInWholeRuns)
{
    // Faces spanning the whole cell split no axis: every face lands in the one leaf of depth 1.
    for (const auto &[count, expected] : std::vector<std::pair<int, std::vector<uint16_t>>>{
             {254, {0x0000, 0x0000, 0xFFFD, 0xFFFF}},
             {255, {0x0000, 0x0000, 0xFFFD, 0xFF01, 0xFFFF}}})
    {
        FakeModels models;
        std::vector<bzV3> corners;
        for (int k = 0; k < count; k++)
            for (const bzV3 &v : Sliver(-10, 10))
                corners.push_back(v);
        bzLump *root = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "root");
        ModelChild(root, models.NewMesh("big", corners));
        bzOctree *o = bzOctree_Build(root);
        ASSERT_NE(o, nullptr);
        EXPECT_EQ(o->root->splitMask, 0);
        std::vector<LeafAt> leaves;
        CollectLeaves(o->root, 0, leaves);
        ASSERT_EQ(leaves.size(), 1u);
        EXPECT_EQ(StreamWords(leaves[0].leaf), expected) << count;
        bzOctree_Free(o);
        bz_Lump_DestroyTree(root);
    }
}

TEST(OctreeBuild, SingleFaceOfAnEntryIsItsIndexItsNumberAndTheEnd)
{
    FakeModels models;
    bzLump *root = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "root");
    for (int k = 0; k < 3; k++)
        ModelChild(root, models.NewMesh("near", Sliver(-10.0f + k, -9.9f + k)));
    bzLump *third =
        ModelChild(root, models.NewMesh("both", Join({Sliver(-6.0f, -5.9f), Sliver(9.0f, 9.1f)})));
    bzOctree *o = bzOctree_Build(root);
    ASSERT_NE(o, nullptr);
    ASSERT_EQ(o->entryCount, 4);
    EXPECT_EQ(o->entries[3].lump, third);
    std::vector<LeafAt> leaves;
    CollectLeaves(o->root, 0, leaves);
    bool found = false;
    for (const LeafAt &l : leaves)
        if (l.leaf->faces && StreamWords(l.leaf) == std::vector<uint16_t>{0x0003, 0x0001, 0xFFFF})
            found = true;
    EXPECT_TRUE(found);
    bzOctree_Free(o);
    bz_Lump_DestroyTree(root);
}

TEST(OctreeBuild, CellsStopAtDepthFive)
{
    FakeModels models;
    std::vector<bzV3> corners;
    for (int k = 0; k < 40; k++)
        for (const bzV3 &v :
             Tri({{{0.01f, 0.01f, 0.01f}}}, {{{0.02f, 0.01f, 0.01f}}}, {{{0.01f, 0.02f, 0.01f}}}))
            corners.push_back(v);
    for (const bzV3 &v : Tri({{{99, 99, 99}}}, {{{100, 99, 99}}}, {{{99, 100, 100}}}))
        corners.push_back(v);
    bzLump *root = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "root");
    ModelChild(root, models.NewMesh("cluster", corners));
    bzOctree *o = bzOctree_Build(root);
    ASSERT_NE(o, nullptr);
    std::vector<LeafAt> leaves;
    CollectLeaves(o->root, 0, leaves);
    int deepest = 0;
    size_t facesAtFive = 0;
    for (const LeafAt &l : leaves)
    {
        deepest = std::max(deepest, l.depth);
        if (l.depth == 5)
            facesAtFive = std::max(facesAtFive, StreamFaces(l.leaf->faces).size());
    }
    EXPECT_EQ(deepest, 5);
    EXPECT_EQ(facesAtFive, 40u);
    bzOctree_Free(o);
    bz_Lump_DestroyTree(root);
}

TEST(OctreeBuild, ThirtyOneFacesMakeALeafAndThirtyTwoMaySplit)
{
    for (int count : {31, 32})
    {
        FakeModels models;
        std::vector<bzV3> corners;
        const float step = 8.0f / (float)count;
        for (int i = 0; i < count; i++)
            for (const bzV3 &v : Sliver(-9.49f + i * step, -9.39f + i * step))
                corners.push_back(v);
        for (const bzV3 &v : Sliver(9.9f, 10.0f))
            corners.push_back(v);
        bzLump *root = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "root");
        ModelChild(root, models.NewMesh("row", corners));
        bzOctree *o = bzOctree_Build(root);
        ASSERT_NE(o, nullptr);
        EXPECT_EQ(o->root->splitMask, 1);
        const bool leaf = (o->root->leafMask & 1) != 0;
        EXPECT_EQ(leaf, count == 31) << count;
        if (!leaf)
        {
            EXPECT_NE(((const bzOctreeNode *)o->root->child[0])->splitMask, 0);
        }
        bzOctree_Free(o);
        bz_Lump_DestroyTree(root);
    }
}

TEST(OctreeBuild, AnAxisWithExactlyHalfTheFacesOnOneSideIsNotSplit)
{
    struct Case
    {
        std::vector<bzV3> corners;
        int split;
    };
    const Case cases[] = {
        // Two of four wholly below the centre: 2 = 4 x 0.5, not more.
        {Join({Sliver(-10, -9), Sliver(-8, -7), Sliver(-1, 10), Sliver(-2, 10)}), 0},
        // Three of four wholly on one side or the other.
        {Join({Sliver(-10, -9), Sliver(-8, -7), Sliver(8, 10), Sliver(-2, 10)}), 1},
    };
    for (const Case &c : cases)
    {
        FakeModels models;
        bzLump *root = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "root");
        ModelChild(root, models.NewMesh("four", c.corners));
        bzOctree *o = bzOctree_Build(root);
        ASSERT_NE(o, nullptr);
        // The root is a node even when it splits nothing.
        EXPECT_EQ(o->root->splitMask, c.split);
        bzOctree_Free(o);
        bz_Lump_DestroyTree(root);
    }
}

TEST(OctreeBuild, TheRootIsANodeWithoutAnyFace)
{
    FakeModels models;
    bzLump *root = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "root");
    bz_Lump_AppendChild(root, bz_Lump_Create(BZ_LUMP_TYPE_NULL, "empty"));
    bzOctree *o = bzOctree_Build(root);
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(o->entryCount, 0);
    ASSERT_NE(o->root, nullptr);
    EXPECT_EQ(o->root->splitMask, 0);
    EXPECT_EQ(o->root->leafMask, 1);
    ASSERT_NE(o->root->child[0], nullptr);
    EXPECT_EQ(((const bzOctreeLeaf *)o->root->child[0])->faces, nullptr);
    EXPECT_EQ(o->bounds.min.x, FLT_MAX);
    EXPECT_EQ(o->bounds.max.x, -FLT_MAX);
    bzOctree_Free(o);
    bz_Lump_DestroyTree(root);
}

TEST(OctreeBuild, BoundsAreTheModelBoxesGrownByAMillimetre)
{
    FakeModels models;
    bzLump *root = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "root");
    bzLump *a =
        ModelChild(root, models.NewMesh("a", Tri({{{0, 0, 0}}}, {{{1, 0, 0}}}, {{{0, 1, 1}}})));
    bz_M34_SetTranslation(&a->matrix, 2, 0, 0);
    bzOctree *o = bzOctree_Build(root);
    ASSERT_NE(o, nullptr);
    EXPECT_FLOAT_EQ(o->bounds.min.x, 1.999f);
    EXPECT_FLOAT_EQ(o->bounds.max.x, 3.001f);
    EXPECT_FLOAT_EQ(o->bounds.min.y, -0.001f);
    EXPECT_FLOAT_EQ(o->bounds.max.z, 1.001f);
    bzOctree_Free(o);
    bz_Lump_DestroyTree(root);
}

// The faces of a translated lump whose rotation is the identity keep their placement.
TEST(OctreeBuild, TranslatedUnrotatedLumpsKeepTheirTranslation)
{
    FakeModels models;
    bzLump *root = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "root");
    bzLump *moved = ModelChild(
        root, models.NewMesh("wall", Tri({{{0, -1, -1}}}, {{{0, 1, -1}}}, {{{0, 0, 1}}})));
    bz_M34_SetTranslation(&moved->matrix, 50, 0, 0);
    bzLump *still = ModelChild(
        root, models.NewMesh("far", Tri({{{-50, -1, -1}}}, {{{-50, 1, -1}}}, {{{-50, 0, 1}}})));
    ASSERT_NE(bz_Lump_BuildOctree(root), nullptr);
    const bzOctree *o = (const bzOctree *)root->octree;
    ASSERT_EQ(o->entryCount, 2);
    ASSERT_NE(o->entries[0].matrix, nullptr);
    EXPECT_EQ(o->entries[0].matrix->row[3].x, 50.0f);
    EXPECT_EQ(o->entries[1].matrix, nullptr);

    // Both sides, so the winding does not matter here.
    const bzRayOptions twoSided = {BZ_RAY_SIDES_OVERRIDE | BZ_RAY_TWO_SIDED, 0, 0, 0, 0, 0, 0};
    struct Case
    {
        float x0, x1;
        bzLump *lump;
        float t;
    };
    const Case cases[] = {
        {40, 60, moved, 0.5f}, {-10, 10, nullptr, 1.00001f}, {-60, -40, still, 0.5f}};
    for (const Case &c : cases)
    {
        const bzRay ray = {{{{c.x0, 0, 0}}}, {{{c.x1 - c.x0, 0, 0}}}, 0};
        float t;
        bzLump *lump;
        bz_Lump_RayIntersect(root, &ray, &twoSided, &t, &lump, nullptr, nullptr, nullptr, nullptr,
                             nullptr);
        EXPECT_EQ(lump, c.lump) << c.x0;
        EXPECT_FLOAT_EQ(t, c.t) << c.x0;
    }
    bz_Lump_DestroyTree(root);
}

// ---------------------------------------------------------------------------------------
// Chunks

struct Written
{
    std::vector<uint8_t> bytes;
    int32_t result;
};

Written WriteChunk(const bzOctree *o)
{
    ScopedTempDir dir;
    bzFileHandle *file = bz_FileOpen("octree.bin", "wb");
    EXPECT_NE(file, nullptr);
    Written w;
    w.result = bzOctree_Write(o, file);
    bz_FileClose(file);
    const std::string s = ReadWholeFile("octree.bin");
    w.bytes.assign(s.begin(), s.end());
    return w;
}

TEST(OctreeChunk, WriteThenReadGivesAnEqualTree)
{
    FakeModels models;
    TestLevel level = MakeTestLevel(models, 3u, 8, 60, 60.0f, 5.0f, 2.0f);
    bzOctree *built = bzOctree_Build(level.root);
    ASSERT_NE(built, nullptr);
    const Written first = WriteChunk(built);
    EXPECT_EQ(first.result, 4); // the checksum's four bytes
    ASSERT_GT(first.bytes.size(), 8u);
    EXPECT_EQ(bz_GetU32LE(first.bytes.data()), 5u);
    EXPECT_EQ(bz_GetU32LE(first.bytes.data() + 4), 8u);

    size_t consumed = 0;
    bzOctree *read = ReadChunk(first.bytes, level.root, -1, &consumed);
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(consumed, first.bytes.size());
    ASSERT_EQ(read->entryCount, built->entryCount);
    for (int i = 0; i < built->entryCount; i++)
    {
        EXPECT_EQ(read->entries[i].lump, built->entries[i].lump);
        EXPECT_EQ(read->entries[i].faceCount, built->entries[i].faceCount);
        ASSERT_EQ(read->entries[i].matrix == nullptr, built->entries[i].matrix == nullptr);
        if (built->entries[i].matrix)
        {
            EXPECT_EQ(std::memcmp(read->entries[i].matrix, built->entries[i].matrix, 48), 0);
        }
    }
    EXPECT_EQ(std::memcmp(&read->bounds, &built->bounds, sizeof(bzBox)), 0);
    ExpectSameNode(read->root, built->root);
    EXPECT_EQ(WriteChunk(read).bytes, first.bytes);
    bzOctree_Free(read);
    bzOctree_Free(built);
    bz_Lump_DestroyTree(level.root);
}

// A root with one model of two faces and a stored checksum, and the chunk of its octree: the
// stream names face 0 and a run of one.
struct SmallChunk
{
    FakeModels models;
    bzLump *root;
    bzModel *model;
    SmallChunk()
    {
        root = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "root");
        model = models.NewModel("quad");
        ModelChild(root, model);
    }
    ~SmallChunk() { bz_Lump_DestroyTree(root); }

    struct Fields
    {
        uint32_t version = 5;
        uint32_t entries = 1;
        std::vector<uint8_t> path = {0x01, 0x00};
        uint8_t hasMatrix = 0;
        std::vector<uint16_t> words = {0x0000, 0x0000, 0xFF01, 0xFFFF};
        int64_t wordTotal = -1; // -1: the words' count
        std::vector<uint8_t> node = {0x01, 0x01, 0x00};
        std::vector<uint32_t> leafCounts = {4};
        int64_t checksum = -1; // -1: the model's
        std::vector<uint8_t> tail;
    };

    std::vector<uint8_t> Bytes(const Fields &f) const
    {
        ChunkBytes c;
        c.U32(f.version).U32(f.entries);
        c.bytes.insert(c.bytes.end(), f.path.begin(), f.path.end());
        c.U8(f.hasMatrix);
        c.Box(0, 1);
        c.U32(f.wordTotal < 0 ? (uint32_t)f.words.size() : (uint32_t)f.wordTotal);
        for (uint16_t w : f.words)
            c.U16(w);
        c.bytes.insert(c.bytes.end(), f.node.begin(), f.node.end());
        for (uint32_t n : f.leafCounts)
            c.U32(n);
        c.bytes.insert(c.bytes.end(), f.tail.begin(), f.tail.end());
        c.U32(f.checksum < 0 ? model->checksum : (uint32_t)f.checksum);
        return c.bytes;
    }
};

TEST(OctreeChunk, AHandWrittenChunkReads)
{
    SmallChunk s;
    bzOctree *o = ReadChunk(s.Bytes({}), s.root);
    ASSERT_NE(o, nullptr);
    ASSERT_EQ(o->entryCount, 1);
    EXPECT_EQ(o->entries[0].lump, s.root->firstChild);
    EXPECT_EQ(o->entries[0].matrix, nullptr);
    const bzOctreeLeaf *leaf = (const bzOctreeLeaf *)o->root->child[0];
    ASSERT_NE(leaf, nullptr);
    const std::vector<std::pair<uint32_t, uint32_t>> faces = {{0, 0}, {0, 1}};
    EXPECT_EQ(StreamFaces(leaf->faces), faces);
    bzOctree_Free(o);
}

TEST(OctreeChunk, EveryAllowedOctantHasAChildAfterReading)
{
    SmallChunk s;
    SmallChunk::Fields f;
    f.node = {0x01, 0x01, 0x03}; // x and y split, only octant 0 written
    bzOctree *o = ReadChunk(s.Bytes(f), s.root);
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(o->root->leafMask, 0x0F);
    for (int i = 0; i < 8; i++)
        EXPECT_EQ(o->root->child[i] != nullptr, i < 4) << i;
    for (int i = 1; i < 4; i++)
    {
        const bzOctreeLeaf *leaf = (const bzOctreeLeaf *)o->root->child[i];
        EXPECT_EQ(leaf->faces, nullptr);
        EXPECT_EQ(leaf->objects, nullptr);
    }
    bzOctree_Free(o);
}

TEST(OctreeChunk, AZeroComputedChecksumAcceptsAnyStoredOne)
{
    SmallChunk s;
    s.model->checksum = 0;
    s.model->modelFlags = BZ_MODEL_NO_CHECKSUM;
    SmallChunk::Fields f;
    f.checksum = 0x12345678;
    bzOctree *o = ReadChunk(s.Bytes(f), s.root);
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(bzOctree_Checksum(o, 5), 0u);
    bzOctree_Free(o);
}

TEST(OctreeChunk, AModelWithoutAStoredWordHasItsChecksumComputed)
{
    SmallChunk s;
    s.model->checksum = 0;
    SmallChunk::Fields f;
    f.checksum = FakeModelChecksumOf(s.model, 1, 1, 1);
    bzOctree *o = ReadChunk(s.Bytes(f), s.root);
    ASSERT_NE(o, nullptr);
    EXPECT_GT(s.models.checksumsComputed, 0);
    // Version 4 asks for the face words alone.
    EXPECT_EQ(bzOctree_Checksum(o, 4), FakeModelChecksumOf(s.model, 1, 0, 0));
    bzOctree_Free(o);
}

TEST(OctreeChunk, AVersionThreePayloadIsReadPastAndRebuilt)
{
    SmallChunk s;
    ChunkBytes c;
    c.U32(3).U32(1);
    c.U8(3).U8('a').U8('b').U8('c').U8(1);
    for (int i = 0; i < 12; i++)
        c.F32(0);
    c.Box(0, 1);
    c.U32(2).U8(1).U8(2).U8(3).U8(4).U8(5).U8(6); // two old 3-byte records
    c.U8(0x01).U8(0x01).U8(0x00).U32(7);          // a node with one leaf of 7 words
    c.U32(0xDEADBEEF);                            // stored checksum, not checked
    size_t consumed = 0;
    bzOctree *o = ReadChunk(c.bytes, s.root, -1, &consumed);
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(consumed, c.bytes.size());
    bzOctree *built = bzOctree_Build(s.root);
    ASSERT_EQ(o->entryCount, 1);
    ExpectSameNode(o->root, built->root);
    bzOctree_Free(built);
    bzOctree_Free(o);
}

TEST(OctreeChunk, TruncatedChunksGiveNoOctreeAndBadDataAtEveryLength)
{
    SmallChunk s;
    const std::vector<uint8_t> whole = s.Bytes({});
    for (size_t n = 0; n < whole.size(); n++)
    {
        bzgLastError = 0;
        const std::vector<uint8_t> cut(whole.begin(), whole.begin() + (long)n);
        EXPECT_EQ(ReadChunk(cut, s.root), nullptr) << n;
        EXPECT_EQ(bzgLastError, BZ_ERROR_BAD_DATA_FORMAT) << n;
    }
    // And a larger written chunk, cut at every length.
    FakeModels models;
    TestLevel level = MakeTestLevel(models, 5u, 3, 40, 30.0f, 4.0f, 2.0f);
    bzOctree *built = bzOctree_Build(level.root);
    const std::vector<uint8_t> big = WriteChunk(built).bytes;
    for (size_t n = 0; n < big.size(); n++)
    {
        const std::vector<uint8_t> cut(big.begin(), big.begin() + (long)n);
        EXPECT_EQ(ReadChunk(cut, level.root), nullptr) << n;
    }
    bzOctree_Free(built);
    bz_Lump_DestroyTree(level.root);
}

TEST(OctreeChunk, LyingCountsAndIndicesGiveNoOctree)
{
    SmallChunk s;
    // A whole chunk that does not fit the lumps moves the cursor past it; a damaged one leaves
    // it where it was. (A missing entry is read from the bytes that follow, which may then parse
    // as a shorter chunk: only its refusal is checked.)
    struct Case
    {
        const char *what;
        SmallChunk::Fields fields;
        bool whole;
    };
    std::vector<Case> cases;
    const std::set<std::string> whole = {
        "path past the children", "face number past the faces", "run past the faces",
        "run after an entry change past the faces", "checksum that differs"};
    auto add = [&](const char *what, auto change)
    {
        SmallChunk::Fields f;
        change(f);
        cases.push_back({what, f, whole.count(what) > 0});
    };
    add("version above 5", [](auto &f) { f.version = 6; });
    add("entry count past the bytes", [](auto &f) { f.entries = 0x7FFFFFFF; });
    add("second entry missing", [](auto &f) { f.entries = 2; });
    add("path past the children", [](auto &f) { f.path = {0x01, 0x05}; });
    add("has-matrix not 0 or 1", [](auto &f) { f.hasMatrix = 2; });
    add("word total past the bytes", [](auto &f) { f.wordTotal = 0x40000000; });
    add("leaf count past the word total", [](auto &f) { f.leafCounts = {5}; });
    add("leaf count past the words left",
        [](auto &f)
        {
            f.node = {0x03, 0x03, 0x01};
            f.leafCounts = {4, 4};
        });
    add("face number past the faces",
        [](auto &f)
        {
            f.words = {0x0000, 0x0002, 0xFFFF};
            f.leafCounts = {3};
        });
    add("run past the faces", [](auto &f) { f.words = {0x0000, 0x0001, 0xFF01, 0xFFFF}; });
    add("entry index past the entries", [](auto &f) { f.words = {0x0001, 0x0000, 0xFFFF}; });
    // The face counter goes on across an entry change: the run names face 2 of 2.
    add("run after an entry change past the faces",
        [](auto &f)
        {
            f.words = {0x0000, 0x0001, 0xFFFE, 0x0000, 0xFF01, 0xFFFF};
            f.leafCounts = {6};
        });
    add("second entry index past the entries",
        [](auto &f) { f.words = {0x0000, 0x0000, 0xFFFE, 0x0009, 0x0000, 0xFFFF}; });
    add("stream without its end word", [](auto &f) { f.words = {0x0000, 0x0000, 0x0001}; });
    add("end word before the leaf's last word",
        [](auto &f) {
            f.words = {0x0000, 0x0000, 0xFFFF, 0x0001};
        });
    add("child outside the split axes", [](auto &f) { f.node = {0x02, 0x02, 0x00}; });
    add("leaf bit without a child", [](auto &f) { f.node = {0x01, 0x03, 0x01}; });
    add("split mask above the axes", [](auto &f) { f.node = {0x01, 0x01, 0x08}; });
    add("nodes nested past the deepest cell",
        [](auto &f)
        {
            f.node.clear();
            for (int d = 0; d < 6; d++)
                f.node.insert(f.node.end(), {0x01, 0x00, 0x00});
            f.node.insert(f.node.end(), {0x01, 0x01, 0x00});
        });
    add("checksum that differs", [](auto &f) { f.checksum = 0x1234; });
    for (const Case &c : cases)
    {
        bzgLastError = 0;
        const std::vector<uint8_t> bytes = s.Bytes(c.fields);
        size_t consumed = 99;
        EXPECT_EQ(ReadChunk(bytes, s.root, -1, &consumed), nullptr) << c.what;
        EXPECT_EQ(bzgLastError, BZ_ERROR_BAD_DATA_FORMAT) << c.what;
        if (std::string(c.what) != "second entry missing")
        {
            EXPECT_EQ(consumed, c.whole ? bytes.size() : 0u) << c.what;
        }
    }
}
} // namespace
