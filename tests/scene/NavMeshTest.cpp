// The navigation mesh file: written, read back over the same world, refused when stale, foreign
// or damaged; and the edge references.
#include "scene/NavMesh.h"

#include "FakeScene.h"
#include "NavMoveState.h"
#include "TestSupport.h"

#include "core/Bytes.h"
#include "core/Debug.h"
#include "core/Error.h"
#include "files/File.h"
#include "scene/Lump.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <initializer_list>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace
{
TEST(NavMeshEdges, ReferencesDecodeByTheirTopBits)
{
    const struct
    {
        uint16_t reference;
        bzNavEdgeKind kind;
        int32_t number;
    } cases[] = {
        {0x0005, BZ_NAV_EDGE_FACE, 5},      {0x7FFF, BZ_NAV_EDGE_BAR_KIND, 0x3FFF},
        {0x4001, BZ_NAV_EDGE_PRECIPICE, 1}, {0x4000, BZ_NAV_EDGE_PRECIPICE, 0},
        {0x8000, BZ_NAV_EDGE_JOIN, 0},      {0x8003, BZ_NAV_EDGE_JOIN, 3},
        {0xC000, BZ_NAV_EDGE_MULTI, 0},     {0xFFFF, BZ_NAV_EDGE_MULTI, 0x3FFF},
    };
    for (const auto &c : cases)
    {
        int32_t number = -1;
        EXPECT_EQ(bz_NavMesh_DecodeEdge(c.reference, &number), c.kind) << c.reference;
        EXPECT_EQ(number, c.number) << c.reference;
    }
}

int gMade = 0;
void *Maker(const bzV3 *, const bzV3 *)
{
    return &++gMade;
}

class NavMeshFile : public ::testing::Test
{
protected:
    ScopedTempDir dir;
    FakeModels models;
    bzLump *world = nullptr;
    bzLump *floor = nullptr;
    bzNavSetup setup{};

    void SetUp() override
    {
        world = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "world");
        floor = bz_Lump_CreateModel(models.NewMesh("floor", {{{{0, 0, 0}}},
                                                             {{{4, 0, 0}}},
                                                             {{{0, 0, 4}}},
                                                             {{{4, 0, 0}}},
                                                             {{{4, 0, 4}}},
                                                             {{{0, 0, 4}}}}));
        std::strcpy(floor->name, "floor");
        floor->matrix.row[3] = {{{10, 0, 0}}};
        bz_Lump_AppendChild(world, floor);
        bzLump *step = bz_Lump_CreateModel(
            models.NewMesh("step", {{{{0, 1, 0}}}, {{{1, 1, 0}}}, {{{0, 1, 1}}}}));
        std::strcpy(step->name, "step");
        bz_Lump_AppendChild(world, step);
        setup.world = world;
        setup.parameters[0] = 42;
        setup.maker = Maker;
        setup.userWord = 9;
    }
    void TearDown() override { bz_Lump_DestroyTree(world); }

    // Two regions: the floor's two faces with every kind of edge, one obstacle, two joins and a
    // multi-join of both; the step alone.
    bzNavMesh *Built()
    {
        bzNavMesh *mesh = bz_NavMesh_Create(&setup);
        mesh->worldMeasure = bz_NavMesh_WorldMeasure(world);
        bzNavRegion *regions = bz_NavMesh_AllocRegions(mesh, 2);
        bzNavRegion &a = regions[0];
        a.word = 0x11;
        a.groupCount = 1;
        a.groups = (bzNavFaceGroup *)bz_NavMesh_Alloc(mesh, sizeof(bzNavFaceGroup));
        a.groups[0].entry = 0;
        a.groups[0].faceCount = 2;
        a.groups[0].faces = (bzNavFace *)bz_NavMesh_Alloc(mesh, 2 * sizeof(bzNavFace));
        a.groups[0].faces[0] = {0, {1, 0x7FFF, 0x8000}};
        a.groups[0].faces[1] = {1, {0x4001, 0xC000, 0}};
        auto *ob = (bzNavObstacle *)bz_NavMesh_Alloc(mesh, sizeof(bzNavObstacle));
        ob->min = {{{11, 0, 1}}};
        ob->max = {{{12, 2, 2}}};
        a.groups[0].obstacles = ob;
        a.groups[0].obstacleCount = 1;
        a.joinCount = 2;
        a.joins = (bzNavJoin *)bz_NavMesh_Alloc(mesh, 2 * sizeof(bzNavJoin));
        a.joins[0] = {BZ_NAV_JOIN_REGION, 0, {0, 0}, 0, 1};
        a.joins[1] = {BZ_NAV_JOIN_BAR, 0, {0, 0}, 7, 0};
        a.multiJoinCount = 1;
        a.multiJoins = (bzNavMultiJoin *)bz_NavMesh_Alloc(mesh, sizeof(bzNavMultiJoin));
        a.multiJoins[0].count = 2;
        a.multiJoins[0].joins = (uint16_t *)bz_NavMesh_Alloc(mesh, 4);
        a.multiJoins[0].joins[0] = 0;
        a.multiJoins[0].joins[1] = 1;
        bzNavRegion &b = regions[1];
        b.word = 0x22;
        b.groupCount = 1;
        b.groups = (bzNavFaceGroup *)bz_NavMesh_Alloc(mesh, sizeof(bzNavFaceGroup));
        b.groups[0].entry = 1;
        b.groups[0].faceCount = 1;
        b.groups[0].faces = (bzNavFace *)bz_NavMesh_Alloc(mesh, sizeof(bzNavFace));
        b.groups[0].faces[0] = {0, {0x4000, 0x4000, 0x4000}};
        return mesh;
    }

    std::string Saved()
    {
        bzNavMesh *mesh = Built();
        EXPECT_EQ(bz_NavMesh_Write(mesh, "NAVMAP.BZN"), 0);
        bz_NavMesh_Free(mesh);
        return ReadWholeFile("NAVMAP.BZN");
    }

    bzNavMesh *Load(const char *const *sources = nullptr, int32_t count = 0)
    {
        return bz_NavMesh_Load("NAVMAP.BZN", &setup, sources, count);
    }
};

TEST_F(NavMeshFile, WrittenFieldByFieldAndReadBackTheSame)
{
    const std::string bytes = Saved();
    const auto *b = reinterpret_cast<const uint8_t *>(bytes.data());
    ASSERT_GT(bytes.size(), 12u + 2 * 88);
    EXPECT_EQ(bz_GetU32LE(b), 0x213u);
    EXPECT_EQ(bz_GetU32LE(b + 4), 3u); // two floor faces and the step's one
    EXPECT_EQ(bz_GetU32LE(b + 8), 2u);
    EXPECT_EQ(std::string(bytes.data() + 12, 6), std::string("floor\0", 6));
    EXPECT_FLOAT_EQ(bz_GetF32LE(b + 12 + 64), 10.0f); // world box minimum x, moved by 10
    EXPECT_FLOAT_EQ(bz_GetF32LE(b + 12 + 76), 14.0f); // maximum x
    EXPECT_EQ(bz_GetU32LE(b + bytes.size() - 4), 0xBEEFB00Bu);

    gMade = 0;
    bzNavMesh *mesh = Load();
    ASSERT_NE(mesh, nullptr) << bzgLastError;
    EXPECT_EQ(mesh->worldMeasure, 3u);
    ASSERT_EQ(mesh->entryCount, 2);
    EXPECT_EQ(mesh->entries[0].lump, floor);
    EXPECT_EQ(mesh->parameters[0], 42u);
    EXPECT_EQ(mesh->userWord, 9u);
    ASSERT_EQ(mesh->regionCount, 2);
    const bzNavRegion &a = mesh->regions[0];
    EXPECT_EQ(a.word, 0x11u);
    ASSERT_EQ(a.groupCount, 1);
    EXPECT_EQ(a.groups[0].faces[1].edges[1], 0xC000);
    ASSERT_EQ(a.groups[0].obstacleCount, 1);
    EXPECT_FLOAT_EQ(a.groups[0].obstacles->max.y, 2.0f);
    EXPECT_EQ(gMade, 1); // the stored box went to the obstacle maker
    EXPECT_NE(a.groups[0].obstacles->object, nullptr);
    ASSERT_EQ(a.joinCount, 2);
    EXPECT_EQ(a.joins[1].face, 7);
    ASSERT_EQ(a.multiJoinCount, 1);
    EXPECT_EQ(a.multiJoins[0].joins[1], 1);
    EXPECT_EQ(mesh->regions[1].groups[0].entry, 1);

    // Written again, the file is the same bytes.
    ASSERT_EQ(bz_NavMesh_Write(mesh, "again.bzn"), 0);
    EXPECT_EQ(ReadWholeFile("again.bzn"), bytes);
    bz_NavMesh_Free(mesh);
}

TEST_F(NavMeshFile, AFileOlderThanASourceIsDeleted)
{
    Saved();
    WriteWholeFile("level.txt", "source");
    const timespec times[2] = {{1000000, 0}, {1000000, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, "NAVMAP.BZN", times, 0), 0);
    const char *sources[] = {nullptr, "level.txt"};
    EXPECT_EQ(Load(sources, 2), nullptr);
    EXPECT_FALSE(bz_FileExists("NAVMAP.BZN"));

    // A newer file is kept and loads.
    Saved();
    const timespec old[2] = {{1000000, 0}, {1000000, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, "level.txt", old, 0), 0);
    bzNavMesh *mesh = Load(sources, 2);
    EXPECT_NE(mesh, nullptr);
    bz_NavMesh_Free(mesh);
}

TEST_F(NavMeshFile, ForeignOrDamagedFilesAreRefusedAndDeleted)
{
    // The world's face count changed: another model lump.
    Saved();
    bz_Lump_AppendChild(world, bz_Lump_CreateModel(models.NewMesh(
                                   "extra", {{{{0, 0, 0}}}, {{{1, 0, 0}}}, {{{0, 0, 1}}}})));
    bzgLastError = 0;
    EXPECT_EQ(Load(), nullptr);
    EXPECT_EQ(bzgLastError, 59);
    EXPECT_FALSE(bz_FileExists("NAVMAP.BZN"));
    bz_Lump_Destroy(bz_Lump_GetChild(world, 2));

    // The same faces, but a model lump switched off: one entry fewer than stored.
    Saved();
    floor->flags &= ~BZ_LUMP_ACTIVE;
    EXPECT_EQ(Load(), nullptr);
    EXPECT_EQ(bzgLastError, 59);
    floor->flags |= BZ_LUMP_ACTIVE;

    const std::string good = Saved();
    const struct
    {
        const char *what;
        size_t at;
        uint8_t value;
    } lies[] = {
        {"magic", 0, 0x14},
        {"entry index past the entries", 12 + 2 * 88 + 4 + 4 + 6, 5},
        {"face count past the file", 12 + 2 * 88 + 4 + 4 + 6 + 3, 0x7F},
        {"end marker", good.size() - 1, 0},
    };
    for (const auto &l : lies)
    {
        std::string bad = good;
        bad[l.at] = static_cast<char>(l.value);
        WriteWholeFile("NAVMAP.BZN", bad);
        bzgLastError = 0;
        EXPECT_EQ(Load(), nullptr) << l.what;
        EXPECT_EQ(bzgLastError, 59) << l.what;
        EXPECT_FALSE(bz_FileExists("NAVMAP.BZN")) << l.what;
    }
    for (size_t cut = 0; cut < good.size(); cut++)
    {
        WriteWholeFile("NAVMAP.BZN", good.substr(0, cut));
        EXPECT_EQ(Load(), nullptr) << cut;
    }
    EXPECT_EQ(bz_NavMesh_Load("missing.bzn", &setup, nullptr, 0), nullptr);
    EXPECT_EQ(bzgLastError, 19);
    EXPECT_EQ(bz_NavMesh_Write(nullptr, "x"), 29);
}
} // namespace

namespace
{
TEST_F(NavMeshFile, FaceQueriesReadTheModelsThroughTheirLumps)
{
    bzNavMesh *mesh = Built();
    bzV3 c[3];
    ASSERT_EQ(bz_NavMesh_GetFaceCorners(mesh, 0, 0, 1, c), 1);
    const float expected[3][3] = {{14, 0, 0}, {14, 0, 4}, {10, 0, 4}}; // moved by the lump's 10
    for (int i = 0; i < 3; i++)
        for (int k = 0; k < 3; k++)
            EXPECT_FLOAT_EQ(c[i].v[k], expected[i][k]) << i << k;
    EXPECT_EQ(bz_NavMesh_GetFaceCorners(mesh, 0, 0, 2, c), 0); // no third face
    EXPECT_EQ(bz_NavMesh_GetFaceCorners(mesh, 2, 0, 0, c), 0); // no third region
    EXPECT_EQ(bz_NavMesh_GetFaceCorners(mesh, 0, 1, 0, c), 0); // no second group

    const bzV3 above = {{{0.2f, 5.0f, 0.2f}}};
    bzV3 normal;
    EXPECT_FLOAT_EQ(bz_NavMesh_HeightOnFace(mesh, 1, 0, 0, &above, &normal), 1.0f);
    EXPECT_FLOAT_EQ(normal.y, 1.0f);
    EXPECT_FLOAT_EQ(bz_NavMesh_FaceTop(mesh, 1, 0, 0), 1.0f);
    int32_t over = -1;
    const bzV3 onFloor = {{{11, 2, 1}}}, beside = {{{13.9f, 0, 3.9f}}};
    EXPECT_FLOAT_EQ(bz_NavMesh_FaceOffset(mesh, 0, 0, 0, &onFloor, &over), 2.0f);
    EXPECT_EQ(over, 1);
    bz_NavMesh_FaceOffset(mesh, 0, 0, 0, &beside, &over);
    EXPECT_EQ(over, 0);
    bz_NavMesh_Free(mesh);
}

TEST_F(NavMeshFile, FindRegionSearchesTheFaceTheGroupTheRegionThenTheRest)
{
    bzNavMesh *mesh = Built();
    const struct
    {
        const char *what;
        bzNavPlace from;
        bzV3 at;
        int32_t result;
        int32_t region, group, face;
    } cases[] = {
        {"the same face", {0, 0, 0, nullptr}, {{{11, 0, 1}}}, 0, 0, 0, 0},
        {"another face of the group", {0, 0, 0, nullptr}, {{{13.5f, 0, 3.5f}}}, 1, 0, 0, 1},
        {"on the shared edge", {0, 0, 1, nullptr}, {{{12, 0, 2}}}, 0, 0, 0, 1},
        {"another region", {0, 0, 0, nullptr}, {{{0.2f, 1, 0.2f}}}, 2, 1, 0, 0},
        {"nothing known", {-1, -1, -1, nullptr}, {{{11, 0, 1}}}, 2, 0, 0, 0},
        {"nowhere", {0, 0, 1, nullptr}, {{{50, 0, 50}}}, 3, 0, 0, 1},
    };
    for (const auto &c : cases)
    {
        bzNavPlace place = c.from;
        EXPECT_EQ(bz_NavMesh_FindRegion(mesh, &c.at, &place), c.result) << c.what;
        EXPECT_EQ(place.region, c.region) << c.what;
        EXPECT_EQ(place.group, c.group) << c.what;
        EXPECT_EQ(place.face, c.face) << c.what;
        if (c.result != 3)
        {
            EXPECT_EQ(place.lump, mesh->entries[c.region].lump) << c.what;
        }
    }
    bz_NavMesh_Free(mesh);
}
} // namespace

namespace
{
std::vector<std::string> gDebugLines;

template <typename T> T *Array(bzNavMesh *mesh, std::initializer_list<T> items)
{
    T *out = (T *)bz_NavMesh_Alloc(mesh, (uint32_t)(items.size() * sizeof(T)));
    size_t i = 0;
    for (const T &item : items)
        out[i++] = item;
    return out;
}

// Joins and edges name model entries and model face numbers until the resolution pass turns them
// into group and face indices.
TEST_F(NavMeshFile, ResolutionTurnsNumbersIntoIndices)
{
    bzNavMesh *mesh = bz_NavMesh_Create(&setup);
    bzNavRegion *regions = bz_NavMesh_AllocRegions(mesh, 2);
    bzNavRegion &a = regions[0];
    a.groupCount = 2;
    a.groups =
        Array<bzNavFaceGroup>(mesh, {{1, 2, nullptr, 0, nullptr}, {0, 1, nullptr, 0, nullptr}});
    a.groups[0].faces = Array<bzNavFace>(mesh, {{7, {3, 9, 0x7FFF}}, {3, {7, 0x8001, 0}}});
    a.groups[1].faces = Array<bzNavFace>(mesh, {{5, {0xC000, 0x4001, 5}}});
    a.joinCount = 6;
    a.joins =
        Array<bzNavJoin>(mesh, {
                                   {BZ_NAV_JOIN_GROUP, 0, {0, 0}, 5, 0},     // entry 0's face 5
                                   {BZ_NAV_JOIN_GROUP, 2, {0, 0}, 5, 0},     // no entry 2 here
                                   {BZ_NAV_JOIN_REGION, 3, {0, 0}, 4, 0},    // in region 1
                                   {BZ_NAV_JOIN_REGION, 9, {0, 0}, 4, 0},    // nowhere
                                   {BZ_NAV_JOIN_PRECIPICE, 3, {0, 0}, 8, 0}, // region 0: found
                                   {BZ_NAV_JOIN_PRECIPICE, 3, {0, 0}, 8, 5}, // left alone
                               });
    bzNavRegion &b = regions[1];
    b.groupCount = 1;
    b.groups = Array<bzNavFaceGroup>(mesh, {{3, 2, nullptr, 0, nullptr}});
    b.groups[0].faces = Array<bzNavFace>(mesh, {{8, {4, 0, 0}}, {4, {8, 1, 1}}});

    gDebugLines.clear();
    const bzDebugTextSink previous =
        bz_Debug_SetTextSink([](const char *line) { gDebugLines.push_back(line); });
    bz_NavMesh_Resolve(mesh);
    bz_Debug_SetTextSink(previous);

    const struct
    {
        uint8_t kind, group;
        uint16_t face, region;
    } joins[] = {{0, 1, 0, 0}, {3, 2, 5, 0}, {1, 0, 1, 1},
                 {3, 9, 4, 0}, {2, 0, 0, 1}, {2, 3, 8, 5}};
    for (int j = 0; j < 6; j++)
    {
        EXPECT_EQ(a.joins[j].kind, joins[j].kind) << j;
        EXPECT_EQ(a.joins[j].group, joins[j].group) << j;
        EXPECT_EQ(a.joins[j].face, joins[j].face) << j;
        EXPECT_EQ(a.joins[j].region, joins[j].region) << j;
    }
    // Face numbers 3 and 7 are the group's faces 1 and 0; 9 is not in the group and stays; the
    // other kinds are left alone.
    const uint16_t edges0[3] = {1, 9, 0x7FFF}, edges1[3] = {0, 0x8001, 0};
    for (int e = 0; e < 3; e++)
    {
        EXPECT_EQ(a.groups[0].faces[0].edges[e], edges0[e]) << e;
        EXPECT_EQ(a.groups[0].faces[1].edges[e], edges1[e]) << e;
    }
    EXPECT_EQ(a.groups[1].faces[0].edges[0], 0xC000);
    EXPECT_EQ(a.groups[1].faces[0].edges[2], 0); // face number 5 is the group's face 0
    EXPECT_EQ(b.groups[0].faces[1].edges[0], 0);
    const std::vector<std::string> expected = {
        "New region face reference didn't appear in any other regions",
        "Same region face reference didn't appear inside region",
        "Compact face reference (9) of face (0) didn't appear inside face-group (0) of region (0)",
        "Compact face reference (0) of face (1) didn't appear inside face-group (0) of region (0)",
    };
    ASSERT_GE(gDebugLines.size(), expected.size());
    for (size_t i = 0; i < expected.size(); i++)
        EXPECT_EQ(gDebugLines[i], expected[i]) << i;
    bz_NavMesh_Free(mesh);
}
} // namespace

namespace
{
TEST_F(NavMeshFile, ObstaclesStandOnTheFirstFaceTheyMeet)
{
    bzNavMesh *mesh = Built(); // region 0's group holds one stored obstacle already
    bzLump *things = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "things");
    const std::vector<bzV3> cube = {{{{0, 0, 0}}}, {{{1, 1, 1}}}, {{{0, 1, 0}}}};
    const struct
    {
        const char *name;
        bzV3 at;
        bool flat;
    } placed[] = {
        {"crate", {{{11.5f, 0, 1.5f}}}, false},  // across the floor's middle edge: taken
        {"high", {{{11.5f, 3, 1.5f}}}, false},   // its bottom 3 above the floor
        {"flat", {{{11.5f, 0, 1.5f}}}, true},    // no height at all
        {"inside", {{{10.2f, 0, 0.2f}}}, false}, // meets neither a corner nor an edge
        {"away", {{{50, 0, 50}}}, false},
    };
    bzLump *crate = nullptr;
    for (const auto &p : placed)
    {
        bzLump *l = bz_Lump_CreateModel(models.NewMesh(
            p.name,
            p.flat ? std::vector<bzV3>{{{{0, 0, 0}}}, {{{1, 0, 1}}}, {{{0, 0, 1}}}} : cube));
        std::strcpy(l->name, p.name);
        l->matrix.row[3] = p.at;
        bz_Lump_AppendChild(things, l);
        if (!crate)
            crate = l;
    }
    EXPECT_EQ(bz_NavMesh_AddObstacles(mesh, things), 1);
    const bzNavFaceGroup &floorGroup = mesh->regions[0].groups[0];
    ASSERT_EQ(floorGroup.obstacleCount, 2);
    EXPECT_EQ(floorGroup.obstacles->object, crate);
    EXPECT_FLOAT_EQ(floorGroup.obstacles->min.x, 11.5f);
    EXPECT_FLOAT_EQ(floorGroup.obstacles->max.z, 2.5f);
    EXPECT_EQ(mesh->regions[1].groups[0].obstacleCount, 0);

    EXPECT_EQ(bz_NavMesh_RemoveObstacle(mesh, crate), 1);
    EXPECT_EQ(floorGroup.obstacleCount, 1);
    EXPECT_EQ(floorGroup.obstacles->object, nullptr); // the stored one stays
    EXPECT_EQ(bz_NavMesh_RemoveObstacle(mesh, crate), 0);

    // A filter that refuses the crate keeps it out and keeps it from being removed.
    mesh->filter = [](bzLump *l) -> int32_t { return std::strcmp(l->name, "crate") != 0; };
    EXPECT_EQ(bz_NavMesh_AddObstacles(mesh, things), 0);
    EXPECT_EQ(bz_NavMesh_RemoveObstacle(mesh, crate), 0);
    bz_Lump_DestroyTree(things);
    bz_NavMesh_Free(mesh);
}
} // namespace

namespace
{
// A strip of squares along x, each cut into A = (i,0), (i+1,0), (i,1) and B = (i+1,0), (i+1,1),
// (i,1) (faces 2i and 2i + 1), its bottom and top edges bars, its far end a precipice; left of
// square 0 a join into a second region: a triangle (-1,0), (0,0), (0,1).
class NavMeshMove : public ::testing::Test
{
protected:
    static constexpr int kSquares = 12;
    FakeModels models;
    bzLump *world = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "world");
    bzNavMesh *mesh = nullptr;

    void SetUp() override
    {
        std::vector<bzV3> strip;
        for (int i = 0; i < kSquares; i++)
        {
            const float x = (float)i;
            for (bzV3 v : {bzV3{{{x, 0, 0}}}, bzV3{{{x + 1, 0, 0}}}, bzV3{{{x, 0, 1}}},
                           bzV3{{{x + 1, 0, 0}}}, bzV3{{{x + 1, 0, 1}}}, bzV3{{{x, 0, 1}}}})
                strip.push_back(v);
        }
        bz_Lump_AppendChild(world, bz_Lump_CreateModel(models.NewMesh("strip", strip)));
        bz_Lump_AppendChild(world, bz_Lump_CreateModel(models.NewMesh(
                                       "pad", {{{{-1, 0, 0}}}, {{{0, 0, 0}}}, {{{0, 0, 1}}}})));
        bzNavSetup setup{};
        setup.world = world;
        mesh = bz_NavMesh_Create(&setup);
        bzNavRegion *regions = bz_NavMesh_AllocRegions(mesh, 2);
        bzNavRegion &a = regions[0];
        a.groupCount = 1;
        a.groups = (bzNavFaceGroup *)bz_NavMesh_Alloc(mesh, sizeof(bzNavFaceGroup));
        a.groups[0].entry = 0;
        a.groups[0].faceCount = 2 * kSquares;
        a.groups[0].faces = (bzNavFace *)bz_NavMesh_Alloc(mesh, 2 * kSquares * sizeof(bzNavFace));
        for (int i = 0; i < kSquares; i++)
        {
            const uint16_t A = (uint16_t)(2 * i), B = (uint16_t)(2 * i + 1);
            a.groups[0].faces[A] = {A, {0x7FFF, B, (uint16_t)(i > 0 ? A - 1 : 0x8000)}};
            a.groups[0].faces[B] = {B, {(uint16_t)(i < kSquares - 1 ? B + 1 : 0x4001), 0x7FFF, A}};
        }
        a.joinCount = 1;
        a.joins = (bzNavJoin *)bz_NavMesh_Alloc(mesh, sizeof(bzNavJoin));
        a.joins[0] = {BZ_NAV_JOIN_REGION, 0, {0, 0}, 0, 1};
        bzNavRegion &b = regions[1];
        b.groupCount = 1;
        b.groups = (bzNavFaceGroup *)bz_NavMesh_Alloc(mesh, sizeof(bzNavFaceGroup));
        b.groups[0].entry = 1;
        b.groups[0].faceCount = 1;
        b.groups[0].faces = (bzNavFace *)bz_NavMesh_Alloc(mesh, sizeof(bzNavFace));
        b.groups[0].faces[0] = {0, {0x7FFF, 0x7FFF, 0x7FFF}};
    }
    void TearDown() override
    {
        bz_NavMesh_Free(mesh);
        bz_Lump_DestroyTree(world);
    }
};

TEST_F(NavMeshMove, MovesCrossFacesUntilTheyStopOrRunOut)
{
    const struct
    {
        const char *what;
        bzV3 from, move;
        int32_t result;
        int32_t region, face;
    } cases[] = {
        {"within the face", {{{0.2f, 0, 0.3f}}}, {{{0.1f, 0, 0.1f}}}, 0, 0, 0},
        {"no horizontal movement", {{{0.2f, 0, 0.3f}}}, {{{0, 5, 0}}}, 0, 0, 0},
        {"across the diagonal", {{{0.5f, 0, 0.3f}}}, {{{0.4f, 0, 0}}}, 1, 0, 1},
        {"eighteen crossings", {{{0.5f, 0, 0.3f}}}, {{{9, 0, 0}}}, 1, 0, 18},
        {"a move over 20 faces", {{{0.5f, 0, 0.3f}}}, {{{9.3f, 0, 0}}}, 1, 0, 19},
        {"a move over 21 faces", {{{0.5f, 0, 0.3f}}}, {{{10, 0, 0}}}, -1, -1, -1},
        {"into the bottom bar", {{{0.5f, 0, 0.3f}}}, {{{0, 0, -1}}}, 6, 0, 0},
        {"off the far end", {{{11.6f, 0, 0.6f}}}, {{{1, 0, 0}}}, 3, 0, 23},
        {"into the other region", {{{0.2f, 0, 0.5f}}}, {{{-0.5f, 0, 0}}}, 2, 1, 0},
    };
    for (const auto &c : cases)
    {
        HeldNavState state;
        // The first call only locates.
        ASSERT_EQ(
            bz_NavMesh_MoveOnFace(mesh, &state, &c.from, &c.move, nullptr, 0, nullptr, nullptr), 0)
            << c.what;
        ASSERT_EQ(state.valid, 1) << c.what;
        bzNavPlace reached{-1, -1, -1, nullptr};
        EXPECT_EQ(
            bz_NavMesh_MoveOnFace(mesh, &state, &c.from, &c.move, nullptr, 0, &reached, nullptr),
            c.result)
            << c.what;
        if (c.result >= 0)
        {
            EXPECT_EQ(reached.region, c.region) << c.what;
            EXPECT_EQ(reached.face, c.face) << c.what;
            EXPECT_EQ(reached.lump, bz_Lump_GetChild(world, c.region)) << c.what;
        }
    }
    HeldNavState lost;
    const bzV3 nowhere = {{{50, 0, 50}}}, step = {{{1, 0, 0}}};
    EXPECT_EQ(bz_NavMesh_MoveOnFace(mesh, &lost, &nowhere, &step, nullptr, 0, nullptr, nullptr),
              -1);
    EXPECT_EQ(lost.valid, 0);
    EXPECT_EQ(bz_NavMesh_StateHeight(mesh, &lost, &nowhere), 0.0f);
    const bzV3 offset = {{{0.5f, 0, 0.5f}}}, origin = {{{0, 0, 0}}};
    EXPECT_EQ(bz_NavMesh_Locate(mesh, &lost, &origin, &offset), 0);
    EXPECT_EQ(lost.place.face, 0);
    EXPECT_FLOAT_EQ(lost.normal.y, 1.0f);
}
} // namespace

namespace
{
// Along the strip at z = 0.5 the two sides of a walker 0.6 wide run at z = 0.2 and 0.8; one wider
// than the strip has a side off it.
TEST_F(NavMeshMove, ProbesRunBothSidesOfTheMovement)
{
    HeldNavState state;
    const bzV3 from = {{{0.5f, 0, 0.5f}}}, ahead = {{{2, 0, 0}}}, down = {{{0, 0, -1}}};
    ASSERT_EQ(bz_NavMesh_Locate(mesh, &state, &from, nullptr), 0);
    const bzNavMoveState before = state;
    EXPECT_EQ(bz_NavMesh_ProbeWidth(mesh, &state, &from, &ahead, 0.3f), 1);
    EXPECT_EQ(state.place.face, before.place.face); // left as it was
    EXPECT_EQ(bz_NavMesh_ProbeWidth(mesh, &state, &from, &ahead, 0.7f), -1);
    // Sideways towards the bottom bar: the sides run along x, both within the face, then barred.
    EXPECT_EQ(bz_NavMesh_ProbeWidth(mesh, &state, &from, &down, 0.1f), 6);
    const bzV3 none = {{{0, 1, 0}}};
    EXPECT_EQ(bz_NavMesh_ProbeWidth(mesh, &state, &from, &none, 0.3f), 0);
}
} // namespace
