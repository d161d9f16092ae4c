// The portal room calculation: cells, floods and joins on small box levels built from solid
// boxes, the rooms of triangles, the split of the world by room and the binary round trip of a
// calculated world.
#include "scene/Portals.h"

#include "FakePortalFaces.h"
#include "FakeScene.h"
#include "TestSupport.h"

#include "core/Error.h"
#include "core/Memory.h"
#include "maths/Matrix.h"
#include "files/File.h"
#include "scene/Container.h"
#include "scene/Lump.h"
#include "scene/Octree.h"
#include "scene/PortalFaceServices.h"
#include "scene/PortalsCells.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace
{
bzBox B(float x0, float y0, float z0, float x1, float y1, float z1)
{
    return {{{{x0, y0, z0}}}, {{{x1, y1, z1}}}};
}

bzV3 V(float x, float y, float z)
{
    return {{{x, y, z}}};
}

// Two rooms, x in [0, 9.5] and [10.5, 20], y in [0, 4], z in [0, 10], in a shell one metre thick,
// joined by a doorway through the dividing wall at z in [4, 6], y in [0, 3]; with the second
// opening, also by the wall's gap at z in [7, 10].
void BuildTwoRooms(FakeModels &models, bzLump *level, bool secondOpening = false)
{
    const bzBox walls[] = {
        B(-1, -1, -1, 21, 0, 11),   // floor
        B(-1, 4, -1, 21, 5, 11),    // ceiling
        B(-1, 0, -1, 0, 4, 11),     // west
        B(20, 0, -1, 21, 4, 11),    // east
        B(0, 0, -1, 20, 4, 0),      // south
        B(0, 0, 10, 20, 4, 11),     // north
        B(9.5f, 0, 0, 10.5f, 4, 4), // divider beside the door
        B(9.5f, 0, 6, 10.5f, 4, secondOpening ? 7.0f : 10.0f),
        B(9.5f, 3, 4, 10.5f, 4, 6), // over the door
    };
    int i = 0;
    for (const bzBox &b : walls)
        AddFakeBox(models, level, b, "wall" + std::to_string(i++));
}

// One portal across the doorway at x = x, its normal -x (the winding of its first three
// vertices), so that its front side, room A, is the first room.
std::string DoorPortal(float x, bool opaque)
{
    const std::string at = std::to_string(x);
    return "<PORTALS>\n1\n1 0 0 " + at + "\n" + (opaque ? "Opaque\n" : "") + "4\n" + at + " 0 4\n" +
           at + " 3 4\n" + at + " 3 6\n" + at + " 0 6\n";
}

// Installs a model-load hook that gives the room models made by a split, by name.
struct RoomModels
{
    static inline bzModel **models;
    bzContainerModelHook previous;
    explicit RoomModels(bzModel **made)
    {
        models = made;
        previous = bz_Lump_SetModelLoadHook(
            [](bzLump *, const char *, const char *name) -> bzModel *
            {
                for (int r = 0; r < 2; r++)
                    if (std::strcmp(models[r]->name, name) == 0)
                    {
                        models[r]->refCount++;
                        return models[r];
                    }
                return nullptr;
            });
    }
    ~RoomModels() { bz_Lump_SetModelLoadHook(previous); }
};

class PortalsCalcTest : public ::testing::Test
{
protected:
    ScopedTempDir dir;
    FakeModels models;
    FakePortalFaces faces;
    bzLump *level = nullptr;

    void SetUp() override { level = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "level"); }
    void TearDown() override
    {
        bz_Portals_FreeWorld();
        bz_Lump_DestroyTree(level);
    }

    bzErrorCode Load(const std::string &text, const char *output = nullptr)
    {
        WriteWholeFile("portals.txt", text);
        return bz_Portals_LoadText("portals.txt", level, output, nullptr);
    }

    std::string Written(const char *name)
    {
        bzFileHandle *file = bz_FileOpen(name, "wb");
        EXPECT_NE(file, nullptr);
        EXPECT_EQ(bz_Portals_Write(file), 0);
        bz_FileClose(file);
        return ReadWholeFile(name);
    }
};

// The cells of a calculation made by hand: a pool, the face list and a level to query.
class CellsTest : public PortalsCalcTest
{
protected:
    void SetUp() override
    {
        PortalsCalcTest::SetUp();
        bzPortalWork &work = PortalsWork();
        work.cellPool = bz_Pool_Create(sizeof(bzPortalCell), 64, 1, 0);
        work.faceList = bz_Portals_CreateFaceList(BZ_CELL_FACE_LIST);
        work.threshold = BZ_CELL_FINE;
        work.finest = V(0, 0, 0);
        work.cells = 0;
    }
    void TearDown() override
    {
        bzPortalWork &work = PortalsWork();
        bz_Portals_FreeFaceList(work.faceList);
        work.faceList = nullptr;
        bz_Pool_Destroy(work.cellPool);
        work.cellPool = 0;
        bz_MemFree(work.portalCapacity);
        work.portalCapacity = nullptr;
        work.roomCapacity = 0;
        PortalsCalcTest::TearDown();
    }
};
} // namespace

TEST_F(CellsTest, CellsSplitAbove20AndAreSmallAtOrBelow1Point5)
{
    // A thin plate through the middle of every cell below gives it faces.
    AddFakeBox(models, level, B(-100, 0.2f, -100, 100, 0.3f, 100), "plate");
    const struct
    {
        const char *what;
        bzBox box;
        uint32_t flags; // of the cell; 0 when it is released as solid
        bool released;
    } cases[] = {
        {"20.0 long, empty: not split", B(0, 1, 0, 20, 2, 1), BZ_CELL_EMPTY, false},
        {"just over 20 on x: split on x", B(0, 1, 0, 20.01f, 2, 1), 0x1, false},
        {"over 20 on y and z", B(0, 1, 0, 1, 21.5f, 30), 0x6, false},
        {"1.5 everywhere with faces: solid", B(0, -0.5f, 0, 1.5f, 1, 1.5f), 0, true},
        {"1.5 everywhere, empty: small", B(0, 1, 0, 1.5f, 2.5f, 1.5f), BZ_CELL_SMALL, false},
        {"just over 1.5 with faces: split on all axes", B(0, -0.5f, 0, 1.51f, 1, 1.5f), 0x7, false},
    };
    for (const auto &c : cases)
    {
        bzPortalCell *cell = PortalNewCell(nullptr, &c.box);
        ASSERT_NE(cell, nullptr);
        bzPortalCell *result = PortalSubdivideCell(cell, level);
        if (c.released)
        {
            EXPECT_EQ(result, nullptr) << c.what;
            EXPECT_FLOAT_EQ(PortalsWork().finest.x, 1.5f) << c.what;
            continue;
        }
        ASSERT_EQ(result, cell) << c.what;
        EXPECT_EQ(cell->flags, c.flags) << c.what;
    }
}

TEST_F(CellsTest, APointOnTheMidpointBelongsToTheLowerHalf)
{
    bzBox box = B(0, 0, 0, 40, 10, 10);
    bzPortalCell *cell = PortalNewCell(nullptr, &box);
    ASSERT_EQ(PortalSubdivideCell(cell, level), cell);
    ASSERT_EQ(cell->flags, 0x1u);
    const bzV3 mid = V(20, 5, 5), above = V(20.001f, 5, 5), outside = V(41, 5, 5);
    EXPECT_EQ(PortalCellAtPoint(cell, &mid, nullptr), cell->children[0]);
    EXPECT_FLOAT_EQ(cell->children[0]->box.max.x, 20.0f);
    EXPECT_EQ(PortalCellAtPoint(cell, &above, nullptr), cell->children[1]);
    EXPECT_EQ(PortalCellAtPoint(cell, &outside, nullptr), nullptr);
}

TEST_F(CellsTest, SolidSpaceIsTouchedOnlyWhereFacesWere)
{
    // The lower half of the box is a solid block: its small cells are released.
    AddFakeBox(models, level, B(0, 0, 0, 3, 1, 3), "block");
    bzBox box = B(0, 0, 0, 3, 3, 3);
    bzPortalCell *cell = PortalNewCell(nullptr, &box);
    ASSERT_EQ(PortalSubdivideCell(cell, level), cell);
    ASSERT_EQ(cell->flags, 0x7u);
    const struct
    {
        bzBox probe;
        int32_t touches;
    } cases[] = {
        {B(0.5f, 0.5f, 0.5f, 1, 1, 1), 1}, // in the block
        {B(0.5f, 2.0f, 0.5f, 1, 2.5f, 1), 0},
        {B(-5, -5, -5, -4, -4, -4), 0}, // outside the cells
    };
    for (const auto &c : cases)
        EXPECT_EQ(PortalBoxTouchesSolid(&c.probe, cell), c.touches);
}

TEST_F(PortalsCalcTest, TwoRoomsJoinedByOnePortal)
{
    BuildTwoRooms(models, level);
    ASSERT_EQ(Load(DoorPortal(10, false)), 0);
    const bzPortalWorld *w = bz_Portals_GetWorld();
    ASSERT_NE(w, nullptr);
    ASSERT_EQ(w->roomCount, 2);
    const bzPortal &door = w->portals[0];
    EXPECT_FLOAT_EQ(door.plane.n.x, -1.0f);
    ASSERT_NE(door.roomA, BZ_PORTAL_NO_ROOM);
    ASSERT_NE(door.roomB, BZ_PORTAL_NO_ROOM);
    EXPECT_NE(door.roomA, door.roomB);
    for (int32_t r = 0; r < 2; r++)
    {
        ASSERT_EQ(w->rooms[r].portalCount, 1);
        EXPECT_EQ(w->rooms[r].portals[0], 0);
    }
    // The front of the portal (x < 10) is room A.
    const bzV3 west = V(3, 1, 5), east = V(15, 1, 5), beyond = V(30, 1, 5);
    EXPECT_EQ(bz_Portals_FindRoom(&west), door.roomA);
    EXPECT_EQ(bz_Portals_FindRoom(&east), door.roomB);
    EXPECT_EQ(bz_Portals_FindRoom(&beyond), -1);
    const bzBox &a = w->rooms[door.roomA].box;
    EXPECT_LE(a.min.x, 0.5f);
    EXPECT_GE(a.max.x, 10.0f);
    EXPECT_LT(a.max.x, 12.0f);
    // Each room knows the level's walls that meet its box.
    EXPECT_GT(w->rooms[door.roomA].staticCount, 0);
    // Each room's sample points lie in its own box.
    for (int32_t r = 0; r < 2; r++)
        for (const bzPortalPoint *p = w->rooms[r].points; p; p = p->next)
            EXPECT_TRUE(bz_Box_PointInside(&p->position, &w->rooms[r].box));
    // The face lists were all given back.
    EXPECT_EQ(faces.listsMade, faces.listsFreed);
    // Calculated again, the rooms come out the same and replace the first ones.
    const uint16_t roomA = door.roomA;
    ASSERT_EQ(bz_Portals_Calculate(nullptr, nullptr, level), 0);
    EXPECT_EQ(w->roomCount, 2);
    EXPECT_EQ(w->portals[0].roomA, roomA);
    EXPECT_EQ(bz_Portals_FindRoom(&east), w->portals[0].roomB);
}

TEST_F(PortalsCalcTest, ListsTooShortToNarrowGiveTheSameRooms)
{
    // Each cell then gathers its own faces from the level.
    BuildTwoRooms(models, level);
    ASSERT_EQ(Load(DoorPortal(10, false)), 0);
    const std::string narrowed = Written("narrowed.bin");
    const int gathersNarrowed = faces.gathers;
    faces.narrowRefused = true;
    ASSERT_EQ(Load(DoorPortal(10, false)), 0);
    EXPECT_EQ(Written("gathered.bin"), narrowed);
    EXPECT_GT(faces.gathers - gathersNarrowed, 2 * gathersNarrowed);
}

TEST_F(PortalsCalcTest, ACalculatedWorldWritesReadsAndWritesTheSameBytes)
{
    BuildTwoRooms(models, level);
    ASSERT_EQ(Load(DoorPortal(10, false)), 0);
    const std::string first = Written("first.bin");
    const int32_t roomA = bz_Portals_GetWorld()->portals[0].roomA;
    bz_Portals_FreeWorld();
    bzFileHandle *file = bz_FileOpen("first.bin", "rb");
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(bz_Portals_Read(level, nullptr, file), 0);
    bz_FileClose(file);
    EXPECT_EQ(Written("second.bin"), first);
    const bzV3 west = V(3, 1, 5);
    EXPECT_EQ(bz_Portals_FindRoom(&west), roomA);
}

TEST_F(PortalsCalcTest, AnOpaquePortalIsAWallAndMakesNoRooms)
{
    BuildTwoRooms(models, level);
    ASSERT_EQ(Load(DoorPortal(10, true)), 0);
    const bzPortalWorld *w = bz_Portals_GetWorld();
    ASSERT_EQ(w->portalCount, 1);
    EXPECT_EQ(w->portals[0].flags, BZ_PORTAL_OPAQUE);
    EXPECT_EQ(w->roomCount, 0);
    EXPECT_EQ(w->portals[0].roomA, BZ_PORTAL_NO_ROOM);
    EXPECT_EQ(w->portals[0].roomB, BZ_PORTAL_NO_ROOM);
    // Not written: no portals, no rooms.
    const std::string out = Written("opaque.bin");
    ASSERT_EQ(out.size(), 14u);
    EXPECT_EQ(out.substr(4, 4), std::string("\0\0\0\0", 4));
}

TEST_F(PortalsCalcTest, BothSidesOfAPortalWhoseRoomsMeetGiveOneRoom)
{
    // The flood of the door's front side comes round through the second opening.
    BuildTwoRooms(models, level, true);
    ASSERT_EQ(Load(DoorPortal(10, false)), 0);
    const bzPortalWorld *w = bz_Portals_GetWorld();
    const bzPortal &p = w->portals[0];
    ASSERT_NE(p.roomA, BZ_PORTAL_NO_ROOM);
    EXPECT_EQ(p.roomA, p.roomB);
    for (int32_t r = 0; r < w->roomCount; r++)
    {
        if (r != p.roomA)
        {
            EXPECT_EQ(w->rooms[r].portalCount, -1) << r;
        }
    }
}

TEST_F(PortalsCalcTest, ALevelWithoutBoundsIsRefused)
{
    EXPECT_EQ(Load(DoorPortal(10, false)), BZ_ERROR_NO_BOUNDS);
    const bzPortalWorld *w = bz_Portals_GetWorld();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->roomCount, 0);
    EXPECT_EQ(bz_Portals_LoadText("missing.txt", level, nullptr, nullptr), -1);
}

TEST_F(PortalsCalcTest, RoomsAndRoomPortalListsGrowPastTheirFirstSizes)
{
    // 300 portals with no geometry: joins alone make the rooms.
    std::string text = "300\n";
    for (int i = 0; i < 300; i++)
        text += "1 0 0 0\n3\n0 0 0\n0 1 0\n0 0 1\n";
    WriteWholeFile("many.txt", text);
    ASSERT_EQ(bz_Portals_ReadDescription("many.txt", level, nullptr), 0);
    bzPortalWorld *w = bz_Portals_GetWorld();
    // More than 100 rooms: each portal's two sides make one.
    for (int i = 0; i < 150; i++)
        PortalsJoinSides(i, 0, i, 1);
    ASSERT_EQ(w->roomCount, 150);
    EXPECT_EQ(w->portals[149].roomA, 149);
    EXPECT_EQ(w->portals[149].roomB, 149);
    // More than 80 portals in one room.
    for (int i = 150; i < 300; i++)
        PortalsJoinSides(0, 0, i, 0);
    EXPECT_EQ(w->rooms[0].portalCount, 2 + 150);
    EXPECT_EQ(w->rooms[0].portals[151], 299);
    EXPECT_EQ(w->portals[299].roomA, 0);
    // Merging the room of portal 1 into room 0.
    PortalsJoinSides(1, 0, 0, 0);
    EXPECT_EQ(w->rooms[1].portalCount, -1);
    EXPECT_EQ(w->portals[1].roomA, 0);
    EXPECT_EQ(w->portals[1].roomB, 0);
    EXPECT_EQ(w->rooms[0].portalCount, 154);
    bzPortalWork &work = PortalsWork();
    bz_MemFree(work.portalCapacity);
    work.portalCapacity = nullptr;
    work.roomCapacity = 0;
}

TEST_F(PortalsCalcTest, RoomsStopAtTheFileFormsCountAndSaySo)
{
    std::string text = "2\n";
    for (int i = 0; i < 2; i++)
        text += "1 0 0 0\n3\n0 0 0\n0 1 0\n0 0 1\n";
    WriteWholeFile("two.txt", text);
    ASSERT_EQ(bz_Portals_ReadDescription("two.txt", level, nullptr), 0);
    bzPortalWorld *w = bz_Portals_GetWorld();
    bzPortalWork &work = PortalsWork();
    work.shortage = 0;
    // A world that already holds the most rooms.
    w->roomCount = BZ_PORTAL_MAX_ROOMS;
    PortalsJoinSides(0, 0, 1, 0);
    EXPECT_EQ(w->portals[0].roomA, BZ_PORTAL_NO_ROOM);
    EXPECT_EQ(work.shortage, BZ_ERROR_PARAMETER_OUT_OF_RANGE);
    w->roomCount = 0;
    work.shortage = 0;
}

TEST(PortalsTriangleRooms, TrianglesNearAPortalTakeItsRooms)
{
    // One square portal x = 0, y and z in [0, 2], rooms 3 and 4.
    ScopedTempDir dir;
    WriteWholeFile("one.txt", "1\n1 0 0 0\n4\n0 0 0\n0 2 0\n0 2 2\n0 0 2\n");
    ASSERT_EQ(bz_Portals_ReadDescription("one.txt", nullptr, nullptr), 0);
    bzPortalWorld *w = bz_Portals_GetWorld();
    w->portals[0].roomA = 3;
    w->portals[0].roomB = 4;
    const struct
    {
        const char *what;
        bzV3 p0, p1, p2;
        int32_t entries;
    } cases[] = {
        {"through the polygon", V(-1, 1, 1), V(1, 1, 1), V(1, 1.5f, 1), 2},
        {"across the plane within 0.001", V(-0.0005f, 0.5f, 0.5f), V(0.0005f, 1.5f, 0.5f),
         V(0.0005f, 0.5f, 1.5f), 2},
        {"in front by more than 0.001", V(0.0011f, 0.5f, 0.5f), V(0.0015f, 1.5f, 0.5f),
         V(0.0015f, 0.5f, 1.5f), 0},
        {"beside the polygon", V(-1, 5, 5), V(1, 5, 5), V(1, 5.5f, 5), 0},
        // A triangle across the portal whose own edges pass beside it: the two portal edges that
        // cross it each count.
        {"the portal crosses it", V(-1, 1, -1), V(1, 1, -1), V(0, 1, 3), 4},
    };
    for (const auto &c : cases)
    {
        uint16_t rooms[9];
        std::memset(rooms, 0xAB, sizeof rooms);
        const int32_t n = PortalsTriangleRooms(&c.p0, &c.p1, &c.p2, rooms, 8);
        EXPECT_EQ(n, c.entries) << c.what;
        for (int32_t k = 0; k < n; k++)
            EXPECT_EQ(rooms[k], k % 2 ? 4 : 3) << c.what;
        EXPECT_EQ(rooms[n], BZ_PORTAL_NO_ROOM) << c.what;
    }
    bz_Portals_FreeWorld();
}

TEST(PortalsTriangleRooms, EntriesPastTheListAreCountedNotWritten)
{
    // Five portals through one point: a triangle across them finds ten entries.
    ScopedTempDir dir;
    std::string text = "5\n";
    for (int i = 0; i < 5; i++)
    {
        const std::string x = std::to_string(i * 0.1);
        text +=
            "1 0 0 " + x + "\n4\n" + x + " -1 -1\n" + x + " 1 -1\n" + x + " 1 1\n" + x + " -1 1\n";
    }
    WriteWholeFile("five.txt", text);
    ASSERT_EQ(bz_Portals_ReadDescription("five.txt", nullptr, nullptr), 0);
    bzPortalWorld *w = bz_Portals_GetWorld();
    for (int i = 0; i < 5; i++)
        w->portals[i].roomA = w->portals[i].roomB = static_cast<uint16_t>(i);
    const bzV3 p0 = V(-1, 0, 0), p1 = V(1, 0, 0), p2 = V(1, 0.1f, 0);
    uint16_t rooms[9];
    std::memset(rooms, 0xAB, sizeof rooms);
    EXPECT_EQ(PortalsTriangleRooms(&p0, &p1, &p2, rooms, 8), 10);
    EXPECT_EQ(rooms[7], 3);
    EXPECT_EQ(rooms[8], 0xABAB); // nothing past the list, not even the terminator
    bz_Portals_FreeWorld();
}

TEST_F(PortalsCalcTest, TheSplitWorldHasOneModelPerRoom)
{
    BuildTwoRooms(models, level);
    ASSERT_EQ(mkdir("out", 0755), 0);
    ASSERT_EQ(mkdir("out/split", 0755), 0);
    ASSERT_EQ(Load(DoorPortal(10, false), "out/level.txt"), 0);
    // Saved as a container: its magic, then its version.
    const std::string saved = ReadWholeFile("out/split/split.CNT");
    ASSERT_GT(saved.size(), 16u);
    EXPECT_EQ(saved.substr(0, 4), std::string("\x45\x23\x00\x03", 4));
    EXPECT_NE(saved.find("SplitWorld"), std::string::npos);
    // Split again from the calculated world: both rooms get faces, the doorway's in both.
    bzLump *split = bz_Portals_SplitAndSave(level, "out/level.txt");
    ASSERT_NE(split, nullptr);
    EXPECT_STREQ(split->name, "SplitWorld");
    bzLump *room0 = bz_Lump_FindByName(split, "Room0");
    bzLump *room1 = bz_Lump_FindByName(split, "Room1");
    ASSERT_NE(room0, nullptr);
    ASSERT_NE(room1, nullptr);
    EXPECT_GT(bz_Lump_GetModel(room0)->faces.size(), 0u);
    EXPECT_GT(bz_Lump_GetModel(room1)->faces.size(), 0u);
    EXPECT_TRUE(split->flags & BZ_LUMP_OCTREE);
    // Read back, with the room models it was made with: the same rooms, each with its model,
    // and the octree over their faces.
    {
        bzModel *made[2] = {bz_Lump_GetModel(room0), bz_Lump_GetModel(room1)};
        RoomModels hook(made);
        bzgLastError = 0;
        bzLump *back = bz_Lump_LoadCNT("out/split/split");
        ASSERT_NE(back, nullptr) << bzgLastError;
        EXPECT_STREQ(back->name, "SplitWorld");
        ASSERT_EQ(bz_Lump_CountChildren(back), 2);
        for (int r = 0; r < 2; r++)
        {
            const bzLump *room = bz_Lump_GetChild(back, r);
            EXPECT_STREQ(room->name, r ? "Room1" : "Room0");
            EXPECT_EQ(room->type, BZ_LUMP_TYPE_MODEL);
            EXPECT_EQ(bz_Lump_GetModel(room), made[r]);
        }
        ASSERT_TRUE(back->flags & BZ_LUMP_OCTREE);
        const bzOctree *octree = reinterpret_cast<const bzOctree *>(back->octree);
        ASSERT_NE(octree, nullptr);
        ASSERT_EQ(octree->entryCount, 2);
        EXPECT_EQ(octree->entries[0].lump, bz_Lump_GetChild(back, 0));
        EXPECT_EQ(octree->entries[0].faceCount, made[0]->faces.size());
        EXPECT_EQ(octree->entries[1].faceCount, made[1]->faces.size());
        // Saved again it is the same file.
        ASSERT_EQ(bz_Lump_SaveCNT("out/again", back, 0), 0);
        EXPECT_TRUE(ReadWholeFile("out/again.CNT") == ReadWholeFile("out/split/split.CNT"));
        bz_Lump_DestroyTree(back);
    }
    // Loaded with other models (every path a two-face quad here), the stored octree does not
    // fit them: the rooms load without it.
    {
        bzLump *other = bz_Lump_LoadCNT("out/split/split");
        ASSERT_NE(other, nullptr) << bzgLastError;
        EXPECT_EQ(bz_Lump_CountChildren(other), 2);
        EXPECT_EQ(other->octree, nullptr);
        EXPECT_FALSE(other->flags & BZ_LUMP_OCTREE);
        bz_Lump_DestroyTree(other);
    }
    // A lump with no room lumps below it is not bound.
    bzLump *bare = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "bare");
    EXPECT_EQ(bz_Portals_BindSplitWorld(bare), 0);
    EXPECT_EQ(bare->type, BZ_LUMP_TYPE_NULL);
    bz_Lump_Destroy(bare);
    // Bound to the world, each room lump is in its room.
    ASSERT_EQ(bz_Portals_BindSplitWorld(split), 1);
    EXPECT_EQ(split->type, BZ_LUMP_TYPE_PORTALS_ROOT);
    EXPECT_EQ(bz_Portals_RoomOfLump(room0), 0);
    EXPECT_EQ(bz_Portals_RoomOfLump(room1), 1);
    bz_Portals_FreeWorld();
    bz_Lump_DestroyTree(split);
}

TEST_F(PortalsCalcTest, MovingLumpsFollowThePortalsTheyCross)
{
    BuildTwoRooms(models, level);
    ASSERT_EQ(Load(DoorPortal(10, false)), 0);
    const bzPortal door = bz_Portals_GetWorld()->portals[0];
    bzLump *crate = bz_Lump_CreateModel(
        models.NewMesh("crate", FakeBoxCorners(B(-0.2f, -0.2f, -0.2f, 0.2f, 0.2f, 0.2f))));
    bz_M34_SetIdentity(&crate->matrix);
    bz_M34_SetTranslation(&crate->matrix, 3, 1, 5);
    ASSERT_EQ(bz_Portals_RegisterLump(crate, -1), 1);
    EXPECT_TRUE(crate->flags & BZ_LUMP_IN_PORTALS);
    EXPECT_EQ(crate->parent, level);
    EXPECT_EQ(bz_Portals_RoomOfLump(crate), door.roomA);
    EXPECT_EQ(bz_Portals_CountMovingLumps(), 1);
    bz_Portals_ReplaceMovingLumps(); // takes its position
    // Through the doorway into the other room.
    bz_M34_SetTranslation(&crate->matrix, 15, 1, 5);
    bz_Portals_ReplaceMovingLumps();
    EXPECT_EQ(bz_Portals_RoomOfLump(crate), door.roomB);
    EXPECT_EQ(bz_Portals_IsLumpInRoom(crate, door.roomA), 0);
    // Through the wall it would not change rooms, but a lump off the moving list is not tracked.
    bz_Portals_LumpStaysPut(crate);
    EXPECT_EQ(bz_Portals_CountMovingLumps(), 0);
    bz_M34_SetTranslation(&crate->matrix, 3, 1, 5);
    bz_Portals_ReplaceMovingLumps();
    EXPECT_EQ(bz_Portals_RoomOfLump(crate), door.roomB);
    bz_Portals_LumpMovesAgain(crate);
    EXPECT_EQ(bz_Portals_CountMovingLumps(), 1);
    // Outside every room: in none.
    bz_Portals_PlaceInRoom(crate, -1);
    bz_M34_SetTranslation(&crate->matrix, 40, 1, 5);
    bz_Portals_TrackLump(crate);
    EXPECT_EQ(bz_Portals_RoomOfLump(crate), -1);
    bz_M34_SetTranslation(&crate->matrix, 15, 1, 5);
    bz_Portals_TrackLump(crate);
    EXPECT_EQ(bz_Portals_RoomOfLump(crate), door.roomB);
    // Spanning the doorway, it is in both rooms.
    bz_M34_SetTranslation(&crate->matrix, 10.1f, 1, 5);
    bz_Portals_PlaceInRoom(crate, door.roomB);
    bz_Portals_SetSpansRooms(crate, 1);
    EXPECT_EQ(bz_Portals_IsLumpInRoom(crate, door.roomA), 1);
    EXPECT_EQ(bz_Portals_IsLumpInRoom(crate, door.roomB), 1);
    // Beside a portal that leads nowhere, the spread gives a record in no room.
    bz_Portals_SetSpansRooms(crate, 0);
    bz_Portals_GetWorld()->portals[0].roomA = BZ_PORTAL_NO_ROOM;
    bz_Portals_PlaceInRoom(crate, door.roomB);
    EXPECT_EQ(bz_Portals_CountRoomLumps(-1), 0);
    EXPECT_EQ(PortalsSpreadLump(crate, nullptr, 0.0f, 1, nullptr), 1);
    EXPECT_EQ(bz_Portals_CountRoomLumps(-1), 1);
    EXPECT_EQ(bz_Portals_IsLumpInRoom(crate, -1), 1);
    // Destroyed, it leaves every room and the moving list.
    bz_Lump_Destroy(crate);
    EXPECT_EQ(bz_Portals_CountMovingLumps(), 0);
    EXPECT_EQ(bz_Portals_CountRoomLumps(door.roomA), 0);
    EXPECT_EQ(bz_Portals_CountRoomLumps(door.roomB), 0);
    EXPECT_EQ(bz_Portals_CountRoomLumps(-1), 0);
}

TEST_F(CellsTest, OnlyEmptyCellsBesideSolidSpaceWithAFloorBelowAreInside)
{
    AddFakeBox(models, level, B(0, 0, 0, 10, 0.1f, 10), "floor");
    bzBox box = B(0, 0, 0, 10, 10, 10);
    bzPortalCell *cell = PortalNewCell(nullptr, &box);
    ASSERT_EQ(PortalSubdivideCell(cell, level), cell);
    PortalMarkInsideCells(cell, cell, level, nullptr);
    const struct
    {
        const char *what;
        bzV3 at;
        uint32_t flags;
    } cases[] = {
        // Far above the floor, with only empty space round it: a floor below is not enough.
        {"high up", V(2, 7, 2), BZ_CELL_EMPTY},
        {"just above the floor", V(0.5f, 1.5f, 0.5f), BZ_CELL_SMALL},
    };
    for (const auto &c : cases)
    {
        const bzPortalCell *at = PortalCellAtPoint(cell, &c.at, nullptr);
        ASSERT_NE(at, nullptr) << c.what;
        EXPECT_EQ(at->flags, c.flags) << c.what;
    }
}

TEST_F(CellsTest, ACellCrossedByTwoPortalsIsMarkedForBoth)
{
    // Two portals through one small cell of empty space above a floor.
    AddFakeBox(models, level, B(-1, -1, -1, 2, 0, 2), "floor");
    WriteWholeFile("two.txt", "2\n"
                              "1 0 0 0.5\n4\n0.5 0 0\n0.5 1 0\n0.5 1 1\n0.5 0 1\n"
                              "0 0 1 0.5\n4\n0 0 0.5\n1 0 0.5\n1 1 0.5\n0 1 0.5\n");
    ASSERT_EQ(bz_Portals_ReadDescription("two.txt", level, nullptr), 0);
    bzBox box = B(0, 0.25f, 0, 1, 1.25f, 1);
    bzPortalCell *cell = PortalNewCell(nullptr, &box);
    ASSERT_EQ(PortalSubdivideCell(cell, level), cell);
    ASSERT_EQ(cell->flags, BZ_CELL_SMALL);
    PortalMarkInsideCells(cell, cell, level, nullptr);
    ASSERT_EQ(PortalMarkPortalCells(cell, 0), 1);
    EXPECT_EQ(cell->tag, 0);
    EXPECT_EQ(PortalMarkPortalCells(cell, 1), 0);
    EXPECT_EQ(cell->flags & (BZ_CELL_PORTAL | BZ_CELL_PORTALS),
              (uint32_t)(BZ_CELL_PORTAL | BZ_CELL_PORTALS));
    EXPECT_EQ(cell->tag, 0);
}

TEST_F(PortalsCalcTest, DamagedDescriptionsNeverLoadBadWorlds)
{
    // Random damage to a good description: each read either refuses it with 59 or gives a world
    // that writes, reads and writes the same bytes again.
    BuildTwoRooms(models, level);
    const std::string good = DoorPortal(10, false);
    uint32_t state = 12345;
    auto next = [&]() { return state = state * 1103515245u + 12345u, state >> 8; };
    const char alphabet[] = "0123456789 ,.-\nOpaque<>x";
    for (int round = 0; round < 60; round++)
    {
        std::string text = good;
        const int edits = 1 + next() % 4;
        for (int e = 0; e < edits && !text.empty(); e++)
        {
            const size_t at = next() % text.size();
            switch (next() % 3)
            {
            case 0: text[at] = alphabet[next() % (sizeof alphabet - 1)]; break;
            case 1: text.erase(at, 1 + next() % 3); break;
            default: text.insert(at, 1, alphabet[next() % (sizeof alphabet - 1)]); break;
            }
        }
        WriteWholeFile("fuzz.txt", text);
        const bzErrorCode code = bz_Portals_LoadText("fuzz.txt", level, nullptr, nullptr);
        if (code == BZ_ERROR_BAD_DATA_FORMAT)
            continue;
        ASSERT_NE(bz_Portals_GetWorld(), nullptr) << text;
        const std::string first = Written("fuzz1.bin");
        bzFileHandle *file = bz_FileOpen("fuzz1.bin", "rb");
        ASSERT_NE(file, nullptr);
        ASSERT_EQ(bz_Portals_Read(level, nullptr, file), 0) << text;
        bz_FileClose(file);
        EXPECT_EQ(Written("fuzz2.bin"), first) << text;
    }
}

TEST(PortalsReduce, TheConeThroughTwoSquaresIsTheirOverlap)
{
    // Squares at z = -1 seen from the origin by a camera whose z axis is (0, 0, 1); vertices in
    // the order that makes each plane's normal face out of its square.
    auto square = [](float x0, float y0, float x1, float y1) {
        return std::vector<bzV3>{V(x0, y0, -1), V(x1, y0, -1), V(x1, y1, -1), V(x0, y1, -1)};
    };
    const struct
    {
        const char *what;
        std::vector<bzV3> portal;
        std::vector<bzV3> corners; // of the cone left, in any order
    } cases[] = {
        {"overlapping a quarter",
         square(0, 0, 2, 2),
         {V(0, 0, -1), V(1, 0, -1), V(1, 1, -1), V(0, 1, -1)}},
        {"wholly inside",
         square(-0.5f, -0.5f, 0.5f, 0.5f),
         {V(-0.5f, -0.5f, -1), V(0.5f, -0.5f, -1), V(0.5f, 0.5f, -1), V(-0.5f, 0.5f, -1)}},
        {"beside it", square(3, 3, 4, 4), {}},
    };
    const bzV3 cameraZ = V(0, 0, 1);
    for (const auto &c : cases)
    {
        std::vector<bzV3> directions = square(-1, -1, 1, 1);
        directions.insert(directions.end(), c.portal.begin(), c.portal.end());
        directions.resize(directions.size() + BZ_PORTAL_CONE_EDGES);
        int32_t count = 0;
        bzPortalConeEdge chain[BZ_PORTAL_CONE_EDGES];
        const int32_t n =
            PortalReduceEdgePlanes(directions.data(), &count, 4, 0, 4, 0, &cameraZ, chain);
        ASSERT_EQ(n, (int32_t)c.corners.size()) << c.what;
        for (const bzV3 &corner : c.corners)
        {
            bool found = false;
            for (int32_t i = 0; i < n; i++)
            {
                const bzV3 &d = directions[chain[i].vertex];
                // The same direction from the eye: the vertex scaled to z = -1.
                const float s = -1.0f / d.z;
                found = found || (std::fabs(d.x * s - corner.x) < 1e-4f &&
                                  std::fabs(d.y * s - corner.y) < 1e-4f);
            }
            EXPECT_TRUE(found) << c.what << " " << corner.x << "," << corner.y;
        }
    }
}

TEST_F(CellsTest, APortalCellFloodsUnlessItSeesThePortalThroughTheBackOfAFace)
{
    // A portal cell beside the plane x = 0 and an inside cell beyond it; the segment from the
    // portal cell's centre (-0.75, 1.5, 1.5) to the portal's centre (0, 5, 5) crosses y = 3.25.
    const struct
    {
        const char *what;
        int face; // 0 none, 1 its normal along the segment (+y), -1 against it
        int32_t rooms;
    } cases[] = {
        {"nothing in the way", 0, 1}, {"the back of a face", 1, 0}, {"a face's front", -1, 1}};
    for (const auto &c : cases)
    {
        bzLump *world = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "world");
        if (c.face)
        {
            const bzV3 a = V(-3, 3.25f, -3), b = V(3, 3.25f, -3), d = V(0, 3.25f, 10);
            bzLump *face = bz_Lump_CreateModel(models.NewMesh(
                "face", c.face > 0 ? std::vector<bzV3>{a, b, d} : std::vector<bzV3>{a, d, b}));
            bz_Lump_AppendChild(world, face);
        }
        WriteWholeFile("big.txt", "1\n1 0 0 0\n4\n0 0 0\n0 0 10\n0 10 10\n0 10 0\n");
        ASSERT_EQ(bz_Portals_ReadDescription("big.txt", world, nullptr), 0);
        bzPortalWorld *w = bz_Portals_GetWorld();
        ASSERT_FLOAT_EQ(w->portals[0].plane.n.x, 1.0f) << c.what;
        bzBox box = B(-1.5f, 1, 1, 1.5f, 2, 2);
        bzPortalCell *root = PortalNewCell(nullptr, &box);
        root->flags = 0x1;
        bzBox halves[2] = {B(-1.5f, 1, 1, 0, 2, 2), B(0, 1, 1, 1.5f, 2, 2)};
        root->children[0] = PortalNewCell(root, &halves[0]);
        root->children[1] = PortalNewCell(root, &halves[1]);
        root->children[0]->flags = BZ_CELL_INSIDE | BZ_CELL_PORTAL;
        root->children[0]->tag = 0;
        root->children[1]->flags = BZ_CELL_SMALL;
        PortalSeedRooms(root, 0, root);
        EXPECT_EQ(w->roomCount, c.rooms) << c.what;
        if (c.rooms)
        {
            EXPECT_EQ(w->portals[0].roomA, 0) << c.what; // the cell beyond lies in front
            EXPECT_EQ(root->children[1]->tag, 0) << c.what;
        }
        bz_Portals_FreeWorld();
        bz_Lump_DestroyTree(world);
        bzPortalWork &work = PortalsWork();
        bz_MemFree(work.portalCapacity);
        work.portalCapacity = nullptr;
        work.roomCapacity = 0;
    }
}
