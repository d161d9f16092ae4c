// The navigation mesh builder on small generated worlds: regions, face groups, edge references
// and joins worked out by hand; the built mesh through "NAVMAP.BZN"; and what a move reports
// when an obstacle or a dynamic object is in its way.
#include "scene/NavMesh.h"

#include "NavMeshTestSupport.h"
#include "NavMoveState.h"
#include "TestSupport.h"

#include "core/Error.h"
#include "files/File.h"
#include "scene/Lump.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace
{
struct Edges
{
    uint16_t face;
    uint16_t e0, e1, e2;
};

struct JoinWanted
{
    uint8_t kind, group;
    uint16_t face, region;
};

class NavMeshBuild : public ::testing::Test, protected NavTestWorld
{
protected:
    ScopedTempDir dir;
    bzNavMesh *mesh = nullptr;

    void TearDown() override { bz_NavMesh_Free(mesh); }

    // A strip from x0 to x1 (heights y0 to y1) and z from 0 to depth, as face A = (x0,y0,0),
    // (x1,y1,0), (x0,y0,depth) and face B = (x1,y1,0), (x1,y1,depth), (x0,y0,depth). A's edges:
    // the z = 0 side, the diagonal, the x0 side; B's: the x1 side, the z = depth side, the
    // diagonal.
    bzLump *Strip(const char *name, float x0, float x1, float y0, float y1, float depth = 1.0f,
                  bzMaterial *material = nullptr)
    {
        bzLump *l = bz_Lump_CreateModel(models.NewMesh(name,
                                                       {{{{x0, y0, 0}}},
                                                        {{{x1, y1, 0}}},
                                                        {{{x0, y0, depth}}},
                                                        {{{x1, y1, 0}}},
                                                        {{{x1, y1, depth}}},
                                                        {{{x0, y0, depth}}}},
                                                       material));
        std::strcpy(l->name, name);
        bz_Lump_AppendChild(world, l);
        return l;
    }
    bzLump *Triangles(const char *name, const std::vector<bzV3> &corners)
    {
        bzLump *l = bz_Lump_CreateModel(models.NewMesh(name, corners));
        std::strcpy(l->name, name);
        bz_Lump_AppendChild(world, l);
        return l;
    }

    // Two triangles side by side below z = 0, (0,0,0), (1,0,-1), (1,0,0) and (1,0,0), (2,0,-1),
    // (2,0,0): their z = 0 edges lie along the line from x 0 to 2.
    bzLump *PairBelow()
    {
        return Triangles("pair", {{{{0, 0, 0}}},
                                  {{{1, 0, -1}}},
                                  {{{1, 0, 0}}},
                                  {{{1, 0, 0}}},
                                  {{{2, 0, -1}}},
                                  {{{2, 0, 0}}}});
    }

    void Build()
    {
        mesh = bz_NavMesh_BuildMesh(&setup, nullptr, nullptr);
        ASSERT_NE(mesh, nullptr) << bzgLastError;
    }

    // A move by `move` from `from`, located afresh on the built mesh: it must end in `result`;
    // the place it reaches goes to `reached`.
    void LocateAndMove(const bzV3 &from, const bzV3 &move, int32_t result, bzNavPlace *reached)
    {
        HeldNavState state;
        ASSERT_EQ(bz_NavMesh_Locate(mesh, &state, &from, nullptr), 0);
        EXPECT_EQ(bz_NavMesh_MoveOnFace(mesh, &state, &from, &move, nullptr, 0, reached, nullptr),
                  result);
    }

    void ExpectGroup(int region, int group, uint16_t entry, const std::vector<Edges> &faces)
    {
        ASSERT_LT(region, mesh->regionCount);
        ASSERT_LT(group, mesh->regions[region].groupCount);
        const bzNavFaceGroup &g = mesh->regions[region].groups[group];
        EXPECT_EQ(g.entry, entry) << region << "/" << group;
        ASSERT_EQ(g.faceCount, faces.size()) << region << "/" << group;
        for (size_t f = 0; f < faces.size(); f++)
        {
            const uint16_t wanted[3] = {faces[f].e0, faces[f].e1, faces[f].e2};
            EXPECT_EQ(g.faces[f].face, faces[f].face) << region << "/" << group << "/" << f;
            for (int e = 0; e < 3; e++)
                EXPECT_EQ(g.faces[f].edges[e], wanted[e])
                    << "region " << region << " group " << group << " face " << f << " edge " << e;
        }
    }
    void ExpectJoins(int region, const std::vector<JoinWanted> &joins)
    {
        const bzNavRegion &r = mesh->regions[region];
        ASSERT_EQ(r.joinCount, joins.size()) << region;
        for (size_t j = 0; j < joins.size(); j++)
        {
            EXPECT_EQ(r.joins[j].kind, joins[j].kind) << region << "/" << j;
            EXPECT_EQ(r.joins[j].group, joins[j].group) << region << "/" << j;
            EXPECT_EQ(r.joins[j].face, joins[j].face) << region << "/" << j;
            EXPECT_EQ(r.joins[j].region, joins[j].region) << region << "/" << j;
            EXPECT_EQ(r.joins[j].spare[0], 0) << region << "/" << j;
        }
    }
};

// One floor alone: a region of one group; the diagonal joins its two faces, every outer edge
// drops into nothing.
TEST_F(NavMeshBuild, AFlatFloorIsOneRegionWithPrecipicesAllRound)
{
    Strip("floor", 0, 2, 0, 0, 2);
    Build();
    EXPECT_EQ(mesh->worldMeasure, 2u);
    ASSERT_EQ(mesh->regionCount, 1);
    EXPECT_EQ(mesh->regions[0].word, 0u);
    ASSERT_EQ(mesh->regions[0].groupCount, 1);
    ExpectGroup(0, 0, 0, {{0, 0x4001, 1, 0x4001}, {1, 0x4001, 0x4001, 0}});
    ExpectJoins(0, {});
    EXPECT_EQ(mesh->regions[0].multiJoinCount, 0);
    EXPECT_EQ(mesh->buildWork, nullptr);
}

// A low floor, a ramp rising 1 over 2 and a high floor, each its own lump: one region of three
// groups joined edge to edge; a walk runs from the low floor up onto the high one.
TEST_F(NavMeshBuild, TwoFloorsJoinedByARampAreOneRegion)
{
    Strip("low", 0, 2, 0, 0);
    Strip("ramp", 2, 4, 0, 1);
    Strip("high", 4, 6, 1, 1);
    Build();
    ASSERT_EQ(mesh->regionCount, 1);
    ASSERT_EQ(mesh->regions[0].groupCount, 3);
    ExpectGroup(0, 0, 0, {{0, 0x4001, 1, 0x4001}, {1, 0x8000, 0x4001, 0}});
    ExpectGroup(0, 1, 1, {{0, 0x4001, 1, 0x8001}, {1, 0x8002, 0x4001, 0}});
    ExpectGroup(0, 2, 2, {{0, 0x4001, 1, 0x8003}, {1, 0x4001, 0x4001, 0}});
    ExpectJoins(0, {{0, 1, 0, 0}, {0, 0, 1, 0}, {0, 2, 0, 0}, {0, 1, 1, 0}});

    const bzV3 from = {{{0.5f, 0, 0.5f}}}, move = {{{5, 0, 0}}};
    bzNavPlace reached{};
    ASSERT_NO_FATAL_FAILURE(LocateAndMove(from, move, BZ_NAV_LA_NEW_FACE, &reached));
    EXPECT_EQ(reached.region, 0);
    EXPECT_EQ(reached.group, 2);
    EXPECT_EQ(reached.face, 1); // (5.5, 0.5) lies past the high floor's diagonal
    EXPECT_EQ(reached.lump, bz_Lump_GetChild(world, 2));
    const bzV3 onRamp = {{{3, 0, 0.5f}}};
    EXPECT_FLOAT_EQ(bz_NavMesh_HeightOnFace(mesh, 0, 1, 1, &onRamp, nullptr), 0.5f);
}

// A low floor (x 0 to 2) beside a high one (x 2 to 4) that lies `rise` higher: the low floor's
// x = 2 edge (low face 1, edge 0) and the high floor's x = 2 edge (high face 0, edge 2), with
// step limits 0.5, bar height 1.5 and precipice depth 1.0.
TEST_F(NavMeshBuild, TheRiseBetweenTwoFloorsGivesTheLinkKind)
{
    const struct
    {
        const char *what;
        float rise;
        float stepDown;
        int regions;
        uint16_t lowEdge, highEdge;   // the references
        JoinWanted lowJoin, highJoin; // the first join of each floor's region, when it has one
    } cases[] = {
        // One region: both edges join the other floor's group there.
        {"a step", 0.3f, 0.5f, 1, 0x8000, 0x8001, {0, 1, 0, 0}, {0, 0, 1, 0}},
        // Above the step limits: each floor is a region, joined to the other.
        {"a step too high", 0.8f, 0.5f, 2, 0x8000, 0x8000, {1, 0, 0, 1}, {1, 0, 1, 0}},
        // Within the step-up limit but below the step-down limit: level one way only, so
        // two regions.
        {"a step down too deep", 0.3f, 0.2f, 2, 0x8000, 0x8000, {1, 0, 0, 1}, {1, 0, 1, 0}},
        // Up a step within the bar height onto a ledge whose drop is a precipice.
        {"a ledge", 1.2f, 0.5f, 2, 0x8000, 0x8000, {1, 0, 0, 1}, {2, 0, 1, 0}},
        // Above the bar height: barred going up, a precipice onto the low face coming down.
        {"a bar", 1.8f, 0.5f, 2, 0x7FFF, 0x8000, {}, {2, 0, 1, 0}},
        // Too far apart to be neighbours: the low edge's probe meets the high floor above it (a
        // bar); the high edge's probe falls 3 onto the low floor's face 1 (a precipice onto it).
        {"a precipice edge", 3.0f, 0.5f, 2, 0x7FFF, 0x8000, {}, {2, 0, 1, 0}},
    };
    for (const auto &c : cases)
    {
        SCOPED_TRACE(c.what);
        bz_NavMesh_Free(mesh);
        mesh = nullptr;
        while (bzLump *child = bz_Lump_GetChild(world, 0))
            bz_Lump_DestroyTree(child);
        Strip("low", 0, 2, 0, 0);
        Strip("high", 2, 4, c.rise, c.rise);
        bz_NavMesh_SetParameter(setup.parameters, BZ_NAV_PARAM_STEP_DOWN, c.stepDown);
        Build();
        ASSERT_EQ(mesh->regionCount, c.regions);
        const int highRegion = c.regions - 1, highGroup = c.regions == 1 ? 1 : 0;
        EXPECT_EQ(mesh->regions[0].groups[0].faces[1].edges[0], c.lowEdge);
        EXPECT_EQ(mesh->regions[highRegion].groups[highGroup].faces[0].edges[2], c.highEdge);
        // The outer edges are untouched by the rise.
        EXPECT_EQ(mesh->regions[0].groups[0].faces[0].edges[2], 0x4001);
        EXPECT_EQ(mesh->regions[highRegion].groups[highGroup].faces[1].edges[0], 0x4001);
        if (c.regions == 1)
            ExpectJoins(0, {c.lowJoin, c.highJoin});
        else
        {
            ExpectJoins(0, c.lowEdge == 0x7FFF ? std::vector<JoinWanted>{}
                                               : std::vector<JoinWanted>{c.lowJoin});
            ExpectJoins(1, {c.highJoin});
        }
    }
}

// Two floors level with each other: their surfaces (the materials' ray classes) under the mask
// decide whether they are one region.
TEST_F(NavMeshBuild, SurfaceBitsUnderTheMaskSplitRegions)
{
    const struct
    {
        uint32_t low, high;
        int regions;
        uint32_t highWord;
    } cases[] = {
        {0x105, 0x205, 1, 0x05}, // differ above the mask only
        {0x103, 0x105, 2, 0x05},
    };
    for (const auto &c : cases)
    {
        bz_NavMesh_Free(mesh);
        mesh = nullptr;
        while (bzLump *child = bz_Lump_GetChild(world, 0))
            bz_Lump_DestroyTree(child);
        bzMaterial *low = models.NewMaterial("low", 0), *high = models.NewMaterial("high", 0);
        low->rayClass = c.low;
        high->rayClass = c.high;
        Strip("low", 0, 2, 0, 0, 1, low);
        Strip("high", 2, 4, 0, 0, 1, high);
        Build();
        ASSERT_EQ(mesh->regionCount, c.regions) << c.low;
        EXPECT_EQ(mesh->regions[c.regions - 1].word, c.highWord) << c.low;
        EXPECT_EQ(mesh->regions[0].word, c.low & 0xFF) << c.low;
        // Across the seam: a join of the same region (0) or of the other (1).
        EXPECT_EQ(mesh->regions[0].joins[0].kind, c.regions == 1 ? 0 : 1) << c.low;
    }
}

// One edge against the edges of two faces of another lump: a multi-join of both; each of those
// faces joins back through a join of its own.
TEST_F(NavMeshBuild, AnEdgeWithTwoNeighboursGetsAMultiJoin)
{
    Triangles("floor", {{{{0, 0, 0}}}, {{{2, 0, 0}}}, {{{0, 0, 2}}}});
    PairBelow();
    Build();
    ASSERT_EQ(mesh->regionCount, 1);
    ExpectGroup(0, 0, 0, {{0, 0xC000, 0x4001, 0x4001}});
    ExpectGroup(0, 1, 1, {{0, 0x4001, 0x4001, 0x8002}, {1, 0x4001, 0x4001, 0x8003}});
    ExpectJoins(0, {{0, 1, 0, 0}, {0, 1, 1, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}});
    ASSERT_EQ(mesh->regions[0].multiJoinCount, 1);
    ASSERT_EQ(mesh->regions[0].multiJoins[0].count, 2);
    EXPECT_EQ(mesh->regions[0].multiJoins[0].joins[0], 0);
    EXPECT_EQ(mesh->regions[0].multiJoins[0].joins[1], 1);

    // A move across the shared edge goes to the face of the multi-join that holds it.
    const bzV3 from = {{{1.5f, 0, 0.2f}}}, move = {{{0, 0, -0.5f}}};
    bzNavPlace reached{};
    ASSERT_NO_FATAL_FAILURE(LocateAndMove(from, move, BZ_NAV_LA_NEW_FACE, &reached));
    EXPECT_EQ(reached.group, 1);
    EXPECT_EQ(reached.face, 1);
}

// Faces too steep to walk on, and models switched off, are not part of the mesh; a world with no
// walkable face has no region.
TEST_F(NavMeshBuild, OnlyWalkableFacesOfEnabledModelsCount)
{
    const float nan = std::nanf("");
    Triangles("wall", {{{{0, 0, 0}}},
                       {{{2, 0, 0}}},
                       {{{0, 2, 0.5f}}}, // 76 degrees
                       {{{0, 0, 0}}},
                       {{{nan, 0, 0}}},
                       {{{0, 0, 1}}}});
    Build();
    EXPECT_EQ(mesh->regionCount, 0);
    EXPECT_EQ(mesh->worldMeasure, 2u);
    bz_NavMesh_Free(mesh);
    mesh = nullptr;
    bzLump *off = Strip("off", 0, 2, 0, 0);
    off->flags &= ~BZ_LUMP_ACTIVE;
    Strip("slope", 4, 6, 0, 1.9f); // 43.5 degrees: walkable
    Build();
    ASSERT_EQ(mesh->entryCount, 2); // the wall and the slope
    ASSERT_EQ(mesh->regionCount, 1);
    EXPECT_EQ(mesh->regions[0].groups[0].entry, 1);
    EXPECT_EQ(mesh->regions[0].groups[0].faceCount, 2);

    EXPECT_EQ(bz_NavMesh_BuildMesh(nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(bzgLastError, BZ_ERROR_INVALID_PARAMETER);
}

// Joins name model entries past 255 while building (the group field holds a byte): 280 floors
// apart, then two side by side, join across entries 280 and 281. A region of more than 256 face
// groups cannot be numbered by a join's byte: the build is refused.
TEST_F(NavMeshBuild, EntriesPast255JoinAndTooManyGroupsAreRefused)
{
    for (int i = 0; i < 280; i++)
        Strip("apart", 3.0f * (float)i, 3.0f * (float)i + 1, 0, 0);
    Strip("left", -10, -9, 0, 0);
    Strip("right", -9, -8, 0, 0);
    Build();
    ASSERT_EQ(mesh->regionCount, 281);
    const bzNavRegion &pair = mesh->regions[280]; // started last: the left floor is entry 280
    ASSERT_EQ(pair.groupCount, 2);
    EXPECT_EQ(pair.groups[1].entry, 281);
    EXPECT_EQ(pair.groups[0].faces[1].edges[0], 0x8000);
    ExpectJoins(280, {{0, 1, 0, 0}, {0, 0, 1, 0}});
    bz_NavMesh_Free(mesh);
    mesh = nullptr;

    while (bzLump *child = bz_Lump_GetChild(world, 0))
        bz_Lump_DestroyTree(child);
    for (int i = 0; i < 257; i++)
        Strip("row", (float)i, (float)i + 1, 0, 0);
    EXPECT_EQ(bz_NavMesh_BuildMesh(&setup, nullptr, nullptr), nullptr);
    EXPECT_EQ(bzgLastError, BZ_ERROR_PARAMETER_OUT_OF_RANGE);
    bz_Lump_Destroy(bz_Lump_GetChild(world, 256));
    mesh = bz_NavMesh_BuildMesh(&setup, nullptr, nullptr);
    ASSERT_NE(mesh, nullptr);
    EXPECT_EQ(mesh->regions[0].groupCount, 256);
}

// A drop deeper than the neighbours' reach onto a floor of a lump outside the world (the probe
// lump) or onto an obstacle: the probes meet those too, but only a face of the world is a target.
TEST_F(NavMeshBuild, DropProbesMeetTheObstacleAndProbeLumps)
{
    Strip("ledge", 0, 2, 5, 5);
    bzLump *below = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "below");
    bzLump *ground = bz_Lump_CreateModel(
        models.NewMesh("ground", {{{{-5, 4.5f, -5}}}, {{{10, 4.5f, -5}}}, {{{-5, 4.5f, 10}}}}));
    bz_Lump_AppendChild(below, ground);
    // Ground 0.5 below every edge: no precipice but a bar.
    mesh = bz_NavMesh_BuildMesh(&setup, nullptr, below);
    ASSERT_NE(mesh, nullptr);
    ExpectGroup(0, 0, 0, {{0, 0x7FFF, 1, 0x7FFF}, {1, 0x7FFF, 0x7FFF, 0}});
    bz_NavMesh_Free(mesh);
    // Through the obstacle lump the same.
    mesh = bz_NavMesh_BuildMesh(&setup, below, nullptr);
    ASSERT_NE(mesh, nullptr);
    EXPECT_EQ(mesh->regions[0].groups[0].faces[0].edges[0], 0x7FFF);
    bz_NavMesh_Free(mesh);
    // Ground 4.5 below: precipices into nothing of the mesh.
    ground->matrix.row[3] = {{{0, -4, 0}}};
    mesh = bz_NavMesh_BuildMesh(&setup, nullptr, below);
    ASSERT_NE(mesh, nullptr);
    ExpectGroup(0, 0, 0, {{0, 0x4001, 1, 0x4001}, {1, 0x4001, 0x4001, 0}});
    bz_Lump_DestroyTree(below);
}

// The build writes "NAVMAP.BZN" in the folder; the next build loads it (the world unchanged) and
// gives the same mesh; the file read back writes the same bytes.
TEST_F(NavMeshBuild, ABuiltMeshSavesAndLoadsBackByteExact)
{
    Strip("low", 0, 2, 0, 0);
    Strip("ramp", 2, 4, 0, 1);
    Strip("step", 4, 6, 1.8f, 1.8f);
    PairBelow();
    bzLump *things = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "things");
    bzLump *crate = bz_Lump_CreateModel(
        models.NewMesh("crate", {{{{1.5f, 0, 0.5f}}}, {{{2.5f, 1, 1.5f}}}, {{{1.5f, 1, 0.5f}}}}));
    bz_Lump_AppendChild(things, crate);

    // The obstacle filter runs inside the build: it sees the build flag set.
    static int32_t sawBuilding;
    sawBuilding = -1;
    setup.filter = [](bzLump *) -> int32_t
    {
        sawBuilding = bz_NavMesh_IsBuilding();
        return 1;
    };
    EXPECT_EQ(bz_NavMesh_IsBuilding(), 0);
    mesh = bz_NavMesh_Build(".", &setup, things, nullptr, nullptr, 0);
    EXPECT_EQ(sawBuilding, 1);
    ASSERT_NE(mesh, nullptr) << bzgLastError;
    EXPECT_EQ(bz_NavMesh_IsBuilding(), 0);
    ASSERT_TRUE(bz_FileExists("NAVMAP.BZN"));
    const std::string built = ReadWholeFile("NAVMAP.BZN");
    ASSERT_EQ(mesh->regionCount, 2);
    EXPECT_EQ(mesh->regions[0].groups[0].obstacleCount, 1);
    EXPECT_EQ(mesh->regions[0].groups[0].obstacles->object, crate);

    bz_NavMesh_Free(mesh);
    // The next build finds the file current and loads it: the stored box comes back without an
    // object (no obstacle maker), where a new build would have found the crate.
    mesh = bz_NavMesh_Build(".", &setup, things, nullptr, nullptr, 0);
    ASSERT_NE(mesh, nullptr);
    EXPECT_EQ(ReadWholeFile("NAVMAP.BZN"), built);
    ASSERT_EQ(mesh->regionCount, 2);
    ASSERT_EQ(mesh->regions[0].groups[0].obstacleCount, 1);
    EXPECT_EQ(mesh->regions[0].groups[0].obstacles->object, nullptr);
    EXPECT_FLOAT_EQ(mesh->regions[0].groups[0].obstacles->max.x, 2.5f);
    ASSERT_EQ(bz_NavMesh_Write(mesh, "again.bzn"), 0);
    EXPECT_EQ(ReadWholeFile("again.bzn"), built);

    // A folder that cannot be written to still gives the built mesh.
    bz_NavMesh_Free(mesh);
    mesh = bz_NavMesh_Build("missing", &setup, things, nullptr, nullptr, 0);
    ASSERT_NE(mesh, nullptr);
    EXPECT_EQ(bzgLastError, BZ_ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(mesh->regionCount, 2);
    bz_Lump_DestroyTree(things);
}
} // namespace

namespace
{
// A floor from (0, 0) to (4, 4): face 0 = (0,0,0), (4,0,0), (0,0,4), face 1 the other half
// across x + z = 4. A crate stands across the diagonal (x 2.5 to 3, z 0.5 to 1.5); a second
// box across face 1's x = 4 edge (x 3.8 to 4.2, z 2 to 2.5) meets face 1 only.
class NavMeshMoveResults : public NavMeshBuild
{
protected:
    bzLump *things = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "things");
    bzLump *crate = nullptr, *post = nullptr;
    HeldNavState state;

    void SetUp() override
    {
        NavMeshBuild::SetUp();
        Strip("floor", 0, 4, 0, 0, 4);
        crate = Box("crate", {{{2.5f, 0, 0.5f}}}, {{{3, 1, 1.5f}}});
        post = Box("post", {{{3.8f, 0, 2}}}, {{{4.2f, 1, 2.5f}}});
        Build();
        ASSERT_EQ(bz_NavMesh_AddObstacles(mesh, things), 2);
    }
    void TearDown() override
    {
        bz_Lump_DestroyTree(things);
        NavMeshBuild::TearDown();
    }
    bzLump *Box(const char *name, bzV3 min, bzV3 max)
    {
        bzLump *l =
            bz_Lump_CreateModel(models.NewMesh(name, {min, max, {{{min.x, max.y, min.z}}}}));
        bz_Lump_AppendChild(things, l);
        return l;
    }
    int32_t Move(bzV3 from, bzV3 move, const std::vector<bzNavDynObject> &objects = {},
                 bzNavBlockage *blockage = nullptr, bzNavPlace *reached = nullptr)
    {
        bz_NavMesh_ReleaseState(&state);
        EXPECT_EQ(bz_NavMesh_Locate(mesh, &state, &from, nullptr), 0);
        return bz_NavMesh_MoveOnFace(mesh, &state, &from, &move, objects.data(),
                                     (int32_t)objects.size(), reached, blockage);
    }
};

TEST_F(NavMeshMoveResults, AnObstacleOnTheWayStopsTheMove)
{
    const struct
    {
        const char *what;
        bzV3 from, move;
        int32_t result;
        bool crateBlocks; // else the post, when 4
    } cases[] = {
        {"into the crate", {{{0.5f, 0, 1}}}, {{{3, 0, 0}}}, BZ_NAV_LA_OBSTACLE, true},
        {"short of the crate", {{{0.5f, 0, 1}}}, {{{1.9f, 0, 0}}}, BZ_NAV_LA_SAME_FACE, true},
        {"beside the crate", {{{0.5f, 0, 0.2f}}}, {{{3, 0, 0}}}, BZ_NAV_LA_SAME_FACE, true},
        {"out of the crate", {{{2.7f, 0, 1}}}, {{{1, 0, 0}}}, BZ_NAV_LA_NEW_FACE, true},
        {"into the post on the next face",
         {{{3.1f, 0, 0.4f}}},
         {{{0.8f, 0, 1.8f}}},
         BZ_NAV_LA_OBSTACLE,
         false},
        {"past the post", {{{3.1f, 0, 0.4f}}}, {{{0.6f, 0, 1.8f}}}, BZ_NAV_LA_NEW_FACE, false},
    };
    for (const auto &c : cases)
    {
        bzNavBlockage blockage = {nullptr, {{{9, 9, 9}}}, {{{9, 9, 9}}}};
        bzNavPlace reached{};
        EXPECT_EQ(Move(c.from, c.move, {}, &blockage, &reached), c.result) << c.what;
        if (c.result != BZ_NAV_LA_OBSTACLE)
            continue;
        EXPECT_EQ(blockage.object, c.crateBlocks ? crate : post) << c.what;
        EXPECT_EQ(blockage.velocity.x, 0.0f) << c.what;
        EXPECT_EQ(blockage.velocity.z, 0.0f) << c.what;
        if (c.crateBlocks)
        {
            // Straight ahead along x: the crate's centre (2.75, 1) lies on the line z = 1.
            EXPECT_FLOAT_EQ(blockage.direction.x, 1.0f) << c.what;
            EXPECT_FLOAT_EQ(blockage.direction.z, 0.0f) << c.what;
        }
        else
        {
            // The post's centre (4, 2.25) from (3.1, 0.4): (0.9, 1.85) / 2.0573.
            EXPECT_NEAR(blockage.direction.x, 0.43746f, 1e-4f) << c.what;
            EXPECT_NEAR(blockage.direction.z, 0.89923f, 1e-4f) << c.what;
            EXPECT_EQ(reached.face, 1) << c.what; // stopped on the face it reached
        }
    }
    // Removed, the post no longer stops the move.
    EXPECT_EQ(bz_NavMesh_RemoveObstacle(mesh, post), 1);
    EXPECT_EQ(Move({{{3.1f, 0, 0.4f}}}, {{{0.8f, 0, 1.8f}}}), BZ_NAV_LA_NEW_FACE);
}

TEST_F(NavMeshMoveResults, ADynamicObjectInTheWayStopsTheMove)
{
    const bzV3 from = {{{0.5f, 0, 1}}}, ahead = {{{1, 0, 0}}};
    const bzNavDynObject far = {nullptr, {{{20, 0, 1}}}, {}};
    const bzNavDynObject behind = {nullptr, {{{-3, 0, 1}}}, {}};
    const bzNavDynObject edgeIn = {crate, {{{1, 0, 10.9f}}}, {{{0, 0, -1}}}}; // 9.9 from the line
    const bzNavDynObject edgeOut = {post, {{{1, 0, 11.1f}}}, {{{0, 0, -1}}}}; // 10.1 from it
    const bzNavDynObject ahead5 = {post, {{{6, 0, 1}}}, {{{0, 0, 2}}}};       // 4.5 past the end
    const struct
    {
        const char *what;
        std::vector<bzNavDynObject> objects;
        int32_t result;
        const bzNavDynObject *blocker;
    } cases[] = {
        {"none", {}, BZ_NAV_LA_SAME_FACE, nullptr},
        {"far and behind", {far, behind}, BZ_NAV_LA_SAME_FACE, nullptr},
        {"just outside the reach", {edgeOut}, BZ_NAV_LA_SAME_FACE, nullptr},
        {"just inside the reach", {edgeOut, edgeIn}, BZ_NAV_LA_DYN_OBJECT, &edgeIn},
        {"the nearer of two", {edgeIn, ahead5}, BZ_NAV_LA_DYN_OBJECT, &ahead5},
    };
    for (const auto &c : cases)
    {
        bzNavBlockage blockage = {nullptr, {}, {}};
        EXPECT_EQ(Move(from, ahead, c.objects, &blockage), c.result) << c.what;
        if (!c.blocker)
            continue;
        EXPECT_EQ(blockage.object, c.blocker->lump) << c.what;
        EXPECT_EQ(blockage.velocity.z, c.blocker->velocity.z) << c.what;
    }
    bzNavBlockage blockage = {};
    ASSERT_EQ(Move(from, ahead, {edgeIn}, &blockage), BZ_NAV_LA_DYN_OBJECT);
    // (0.5, 9.9) / |(0.5, 9.9)|
    EXPECT_NEAR(blockage.direction.x, 0.050443f, 1e-5f);
    EXPECT_NEAR(blockage.direction.z, 0.998727f, 1e-5f);

    // Standing still, an object within reach is in the way; an obstacle that stops the move
    // wins over an object; a precipice does not.
    EXPECT_EQ(Move(from, {{{0, 0, 0}}}, {ahead5}), BZ_NAV_LA_DYN_OBJECT);
    EXPECT_EQ(Move(from, {{{3, 0, 0}}}, {ahead5}, &blockage), BZ_NAV_LA_OBSTACLE);
    EXPECT_EQ(blockage.object, crate);
    EXPECT_EQ(Move({{{3.5f, 0, 3}}}, {{{2, 0, 0}}}), BZ_NAV_LA_PRECIPICE);
    EXPECT_EQ(Move({{{3.5f, 0, 3}}}, {{{2, 0, 0}}}, {ahead5}), BZ_NAV_LA_DYN_OBJECT);
    // An edge whose multi-join holds no join leads nowhere: barred.
    bzNavRegion &region = mesh->regions[0];
    region.multiJoins = (bzNavMultiJoin *)bz_NavMesh_Alloc(mesh, sizeof(bzNavMultiJoin));
    region.multiJoinCount = 1;
    region.groups[0].faces[1].edges[0] = 0xC000;
    EXPECT_EQ(Move({{{3.5f, 0, 3}}}, {{{2, 0, 0}}}), BZ_NAV_LA_BARRED);
    // Without a located face the call only locates.
    HeldNavState fresh;
    const bzNavDynObject objects[] = {ahead5};
    EXPECT_EQ(bz_NavMesh_MoveOnFace(mesh, &fresh, &from, &ahead, objects, 1, nullptr, nullptr),
              BZ_NAV_LA_SAME_FACE);
}
} // namespace

namespace
{
// Random grids of unit cells, each cell its own lump at one of five heights, checked against
// the rules restated over the grid: the regions are the groups of cells joined through
// neighbours within 0.5 of each other, and every edge between two cells leads where the rise
// says, which a move from one cell into the next reports.
class NavMeshGrid : public NavMeshBuild
{
protected:
    static constexpr int kSize = 7;
    float height[kSize][kSize];
    int component[kSize][kSize];

    void Label(int x, int z, int label)
    {
        if (component[x][z] >= 0)
            return;
        component[x][z] = label;
        const int dx[4] = {1, -1, 0, 0}, dz[4] = {0, 0, 1, -1};
        for (int k = 0; k < 4; k++)
        {
            const int nx = x + dx[k], nz = z + dz[k];
            if (nx >= 0 && nx < kSize && nz >= 0 && nz < kSize &&
                std::fabs(height[nx][nz] - height[x][z]) <= 0.5f)
                Label(nx, nz, label);
        }
    }

    // The region and group of a cell's lump (entry x * kSize + z).
    void Find(int x, int z, int *region, int *group)
    {
        *region = *group = -1;
        for (int r = 0; r < mesh->regionCount; r++)
            for (int g = 0; g < mesh->regions[r].groupCount; g++)
                if (mesh->regions[r].groups[g].entry == x * kSize + z)
                    *region = r, *group = g;
    }
};

TEST_F(NavMeshGrid, RegionsAndEdgesFollowTheRises)
{
    const float levels[5] = {0.0f, 0.25f, 0.75f, 1.75f, 3.0f};
    std::mt19937 random(20261211); // a fixed random start
    for (int round = 0; round < 4; round++)
    {
        SCOPED_TRACE(round);
        bz_NavMesh_Free(mesh);
        mesh = nullptr;
        while (bzLump *child = bz_Lump_GetChild(world, 0))
            bz_Lump_DestroyTree(child);
        for (int x = 0; x < kSize; x++)
            for (int z = 0; z < kSize; z++)
            {
                height[x][z] = levels[random() % 5];
                component[x][z] = -1;
                const float h = height[x][z], x0 = (float)x, z0 = (float)z;
                Triangles("cell", {{{{x0, h, z0}}},
                                   {{{x0 + 1, h, z0}}},
                                   {{{x0, h, z0 + 1}}},
                                   {{{x0 + 1, h, z0}}},
                                   {{{x0 + 1, h, z0 + 1}}},
                                   {{{x0, h, z0 + 1}}}});
            }
        int components = 0;
        for (int x = 0; x < kSize; x++)
            for (int z = 0; z < kSize; z++)
                if (component[x][z] < 0)
                    Label(x, z, components++);
        Build();
        ASSERT_EQ(mesh->regionCount, components);
        int regionOf[kSize][kSize], groupOf[kSize][kSize];
        for (int x = 0; x < kSize; x++)
            for (int z = 0; z < kSize; z++)
            {
                Find(x, z, &regionOf[x][z], &groupOf[x][z]);
                ASSERT_GE(regionOf[x][z], 0);
            }
        for (int x = 0; x < kSize; x++)
            for (int z = 0; z < kSize; z++)
                for (int x2 = 0; x2 < kSize; x2++)
                    for (int z2 = 0; z2 < kSize; z2++)
                        ASSERT_EQ(component[x][z] == component[x2][z2],
                                  regionOf[x][z] == regionOf[x2][z2]);

        // Face 1 (B) of each cell: edge 0 faces +x, edge 1 faces +z.
        for (int x = 0; x < kSize; x++)
            for (int z = 0; z < kSize; z++)
                for (int side = 0; side < 2; side++)
                {
                    const int nx = x + (side == 0), nz = z + (side == 1);
                    const bzNavRegion &r = mesh->regions[regionOf[x][z]];
                    const uint16_t edge = r.groups[groupOf[x][z]].faces[1].edges[side];
                    SCOPED_TRACE(testing::Message() << x << "," << z << " side " << side);
                    if (nx == kSize || nz == kSize)
                    {
                        EXPECT_EQ(edge, 0x4001); // off the grid: nothing below
                        continue;
                    }
                    const float rise = height[nx][nz] - height[x][z];
                    const bool same = regionOf[x][z] == regionOf[nx][nz];
                    int wantedKind; // join kind, or 3 for a bar reference
                    if (rise > 1.5f)
                        wantedKind = 3; // above the bar height, or a wall the probe meets
                    else if (-rise > 1.0f)
                        wantedKind = 2; // a precipice onto the lower cell
                    else
                        wantedKind = same ? 0 : 1;
                    const int result = wantedKind == 0   ? BZ_NAV_LA_NEW_FACE
                                       : wantedKind == 1 ? BZ_NAV_LA_NEW_REGION
                                       : wantedKind == 2 ? BZ_NAV_LA_PRECIPICE
                                                         : BZ_NAV_LA_BARRED;
                    if (wantedKind == 3)
                        EXPECT_EQ(edge, 0x7FFF);
                    else
                    {
                        ASSERT_EQ(edge & 0xC000, 0x8000);
                        const bzNavJoin &j = r.joins[edge & 0x3FFF];
                        EXPECT_EQ(j.kind, wantedKind);
                        EXPECT_EQ(j.group, groupOf[nx][nz]);
                        EXPECT_EQ(j.face, 0); // the neighbour's face A
                        if (wantedKind != 0)
                        {
                            EXPECT_EQ(j.region, regionOf[nx][nz]);
                        }
                    }
                    const bzV3 from = {{{x + (side == 0 ? 0.7f : 0.5f), height[x][z],
                                         z + (side == 1 ? 0.7f : 0.5f)}}};
                    const bzV3 move = {{{side == 0 ? 0.6f : 0.0f, 0, side == 1 ? 0.6f : 0.0f}}};
                    bzNavPlace reached{};
                    ASSERT_NO_FATAL_FAILURE(LocateAndMove(from, move, result, &reached));
                    if (result <= BZ_NAV_LA_NEW_REGION)
                    {
                        EXPECT_EQ(reached.region, regionOf[nx][nz]);
                        EXPECT_EQ(reached.group, groupOf[nx][nz]);
                        EXPECT_EQ(reached.face, 0);
                    }
                }
    }
}
} // namespace
