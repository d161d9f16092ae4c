// The portal world: its binary form, the ray test against the portals and the room lookup.
#include "scene/Portals.h"

#include "ContainerBytes.h"
#include "FakeScene.h"
#include "TestSupport.h"

#include "console/Console.h"
#include "core/Debug.h"
#include "core/Error.h"
#include "files/File.h"
#include "scene/Lump.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace
{
struct Square
{
    float x;         // the plane x = x
    uint16_t a, b;   // rooms
    bool facingPlus; // normal +x (else -x)
};

// A portal: the square y, z in [0, 10] in the plane x = s.x.
void PortalBytes(Bytes &out, const Square &s)
{
    const float n = s.facingPlus ? 1.0f : -1.0f;
    out.F32(n).F32(0).F32(0).F32(n * s.x);
    out.F32(s.x).F32(5).F32(5).F32(7.0710678f);
    out.U16(4);
    const float corners[4][2] = {{0, 0}, {10, 0}, {10, 10}, {0, 10}};
    for (int i = 0; i < 4; i++)
    {
        const int k = s.facingPlus ? i : 3 - i;
        out.F32(s.x).F32(corners[k][0]).F32(corners[k][1]);
    }
    out.U16(s.a).U16(s.b);
}

struct Room
{
    std::vector<uint16_t> portals; // empty with dead for a dead room
    bool dead;
    std::vector<bzV3> points;
    bzBox box;
};

// A world of the portals and rooms, with totals worked out unless given.
Bytes World(const std::vector<Square> &portals, const std::vector<Room> &rooms)
{
    Bytes b;
    b.U32(0).U16((uint16_t)portals.size()).U16((uint16_t)(portals.size() * 4));
    for (const Square &s : portals)
        PortalBytes(b, s);
    int references = 0, points = 0;
    for (const Room &r : rooms)
        if (!r.dead)
        {
            references += (int)r.portals.size();
            points += (int)r.points.size();
        }
    b.U16((uint16_t)rooms.size()).U16((uint16_t)references).U16((uint16_t)points);
    for (const Room &r : rooms)
    {
        b.U16(r.dead ? 0xFFFF : (uint16_t)r.portals.size());
        for (uint16_t p : r.portals)
            b.U16(p);
        b.U16((uint16_t)r.points.size());
        for (const bzV3 &p : r.points)
            b.F32(p.x).F32(p.y).F32(p.z);
        for (float f : r.box.min.v)
            b.F32(f);
        for (float f : r.box.max.v)
            b.F32(f);
    }
    return b;
}

bzBox Box(float x0, float x1)
{
    return {{{{x0, 0, 0}}}, {{{x1, 10, 10}}}};
}

// Two rooms side by side whose boxes overlap in x in [8, 10); room 0 opens at x = 2, room 1 at
// x = 18; a dead third room.
Bytes TwoRooms()
{
    return World({{2, 0, 0xFFFF, false}, {18, 1, 0xFFFF, true}},
                 {{{0}, false, {{{{5, 5, 5}}}}, Box(0, 10)},
                  {{1}, false, {{{{15, 5, 5}}}, {{{12, 2, 2}}}}, Box(8, 20)},
                  {{}, true, {}, Box(0, 0)}});
}

class PortalsTest : public ::testing::Test
{
protected:
    ScopedTempDir dir;
    FakeModels models;

    void TearDown() override { bz_Portals_FreeWorld(); }

    bzErrorCode Load(const Bytes &b, bzLump *root = nullptr, const uint32_t *parameters = nullptr)
    {
        WriteWholeFile("world.bin", std::string(b.b.begin(), b.b.end()));
        bzFileHandle *file = bz_FileOpen("world.bin", "rb");
        EXPECT_NE(file, nullptr);
        if (!file)
            return -1;
        const bzErrorCode code = bz_Portals_Read(root, parameters, file);
        bz_FileClose(file);
        return code;
    }

    std::string Written()
    {
        bzFileHandle *file = bz_FileOpen("out.bin", "wb");
        EXPECT_NE(file, nullptr);
        EXPECT_EQ(bz_Portals_Write(file), 0);
        bz_FileClose(file);
        return ReadWholeFile("out.bin");
    }
};

TEST_F(PortalsTest, ReadThenWriteGivesTheSameBytes)
{
    const Bytes b = TwoRooms();
    const uint32_t parameters[7] = {1, 2, 3, 0xF0, 0x30, 6, 7};
    ASSERT_EQ(Load(b, nullptr, parameters), 0);
    const bzPortalWorld *w = bz_Portals_GetWorld();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->parameters[0], 13u); // bits 2 and 3 always set
    EXPECT_EQ(w->parameters[3], 0xF0u);
    ASSERT_EQ(w->portalCount, 2);
    EXPECT_EQ(w->portals[1].vertexCount, 4);
    EXPECT_FLOAT_EQ(w->portals[1].vertices[2].y, 10.0f);
    EXPECT_EQ(w->portals[0].roomB, BZ_PORTAL_NO_ROOM);
    ASSERT_EQ(w->roomCount, 3);
    EXPECT_EQ(w->rooms[2].portalCount, -1);
    ASSERT_NE(w->rooms[1].points, nullptr);
    EXPECT_FLOAT_EQ(w->rooms[1].points->next->position.x, 12.0f);
    EXPECT_FLOAT_EQ(w->rooms[1].box.max.x, 20.0f);
    EXPECT_EQ(Written(), std::string(b.b.begin(), b.b.end()));
}

// Each room lists its portals by the room on the other side, portals leading nowhere last.
TEST_F(PortalsTest, RoomPortalListsAreSortedByTheOtherRoom)
{
    const Bytes b = World({{1, 0, 0xFFFF, true}, {2, 0, 2, true}, {3, 1, 0, true}, {4, 0, 1, true}},
                          {{{0, 1, 0xFFFF, 2, 3}, false, {}, Box(0, 10)},
                           {{2, 3}, false, {}, Box(0, 10)},
                           {{1}, false, {}, Box(0, 10)}});
    ASSERT_EQ(Load(b), 0);
    const bzPortalRoom &room = bz_Portals_GetWorld()->rooms[0];
    ASSERT_EQ(room.portalCount, 5);
    const uint16_t expected[] = {2, 3, 1, 0, 0xFFFF};
    for (int32_t i = 0; i < 5; i++)
        EXPECT_EQ(room.portals[i], expected[i]) << i;
}

// An opaque portal is left out: the counts cover the others, later indices move down and an
// index naming it becomes 0xFFFF.
TEST_F(PortalsTest, OpaquePortalsAreNotWritten)
{
    ASSERT_EQ(Load(TwoRooms()), 0);
    bz_Portals_GetWorld()->portals[0].flags |= BZ_PORTAL_OPAQUE;
    const std::string out = Written();
    const Bytes expected =
        World({{18, 1, 0xFFFF, true}}, {{{0xFFFF}, false, {{{{5, 5, 5}}}}, Box(0, 10)},
                                        {{0}, false, {{{{15, 5, 5}}}, {{{12, 2, 2}}}}, Box(8, 20)},
                                        {{}, true, {}, Box(0, 0)}});
    EXPECT_EQ(out, std::string(expected.b.begin(), expected.b.end()));
}

TEST_F(PortalsTest, RaysCrossTheNearestPortalFromEitherSide)
{
    ASSERT_EQ(Load(TwoRooms()), 0);
    struct Case
    {
        const char *what;
        bzRay ray;
        int32_t excluded;
        int32_t result, portal;
        float t;
    } cases[] = {
        {"against the -x normal", {{{0, 5, 5}}, {{{1, 0, 0}}}, 1}, -1, 1, 0, 2},
        {"against the +x normal", {{{30, 5, 5}}, {{{-1, 0, 0}}}, 1}, -1, 1, 1, 12},
        {"the nearer one excluded", {{{0, 5, 5}}, {{{1, 0, 0}}}, 1}, 0, -1, 1, 18},
        {"outside the polygons", {{{0, 15, 5}}, {{{1, 0, 0}}}, 1}, -1, 0, -1, 0},
        {"parallel to the planes", {{{5, 5, 5}}, {{{0, 1, 0}}}, 1}, -1, 0, -1, 0},
        {"a segment ending short", {{{0, 5, 5}}, {{{1, 0, 0}}}, 0}, -1, 0, -1, 0},
        {"a segment reaching it", {{{0, 5, 5}}, {{{4, 0, 0}}}, 0}, -1, 1, 0, 0.5f},
    };
    for (const Case &c : cases)
    {
        float t = -7.0f;
        int32_t portal = -1;
        EXPECT_EQ(bz_Portals_RayCross(&c.ray, &t, c.excluded, &portal), c.result) << c.what;
        EXPECT_EQ(portal, c.portal) << c.what;
        if (c.result)
            EXPECT_NEAR(t, c.t, 1e-5f) << c.what;
        else
            EXPECT_EQ(t, -7.0f) << c.what;
    }
}

TEST_F(PortalsTest, SegmentsLeaveRoomsThroughTheirPortals)
{
    ASSERT_EQ(Load(TwoRooms()), 0);
    const struct
    {
        const char *what;
        int32_t room;
        bzV3 from, to;
        int32_t portal;
        float t;
    } cases[] = {
        {"out of room 0", 0, {{{5, 5, 5}}}, {{{0, 5, 5}}}, 0, 0.6f},
        {"short of the portal", 0, {{{5, 5, 5}}}, {{{3, 5, 5}}}, -1, 0},
        {"beside the polygon", 0, {{{5, 15, 5}}}, {{{0, 15, 5}}}, -1, 0},
        {"out of room 1", 1, {{{15, 5, 5}}}, {{{20, 5, 5}}}, 1, 0.6f},
        {"room 0 does not hold room 1's portal", 0, {{{15, 5, 5}}}, {{{20, 5, 5}}}, -1, 0},
        {"a dead room", 2, {{{5, 5, 5}}}, {{{0, 5, 5}}}, -1, 0},
    };
    for (const auto &c : cases)
    {
        float t = -1.0f;
        EXPECT_EQ(PortalsSegmentExit(c.room, &c.from, &c.to, &t), c.portal) << c.what;
        if (c.portal >= 0)
        {
            EXPECT_NEAR(t, c.t, 1e-5f) << c.what;
        }
    }
    const bzV3 inside = {{{5, 5, 5}}}, above = {{{2, 30, 5}}};
    EXPECT_NEAR(PortalsNearestPortalDistance(0, &inside), 3.0f, 1e-5f);
    EXPECT_NEAR(PortalsNearestPortalDistance(0, &above), 25.0f - 7.0710678f, 1e-4f);
    EXPECT_EQ(PortalsNearestPortalDistance(2, &inside), FLT_MAX);
}

// An eye at the origin looks through a square window at x = 10, y and z in [-1, 1].
TEST(PortalsClip, PlanesThroughAWindowCullBoxesAndClipPolygons)
{
    const bzV3 eye = {{{0, 0, 0}}};
    const bzV3 window[4] = {{{{10, -1, -1}}}, {{{10, 1, -1}}}, {{{10, 1, 1}}}, {{{10, -1, 1}}}};
    bzV3 planes[BZ_PORTAL_MAX_PLANES];
    ASSERT_EQ(PortalEdgePlanes(window, 4, &eye, planes), 4);

    const struct
    {
        const char *what;
        bzBox box;
        int32_t seen;
    } boxes[] = {
        {"straight through", {{{{19, -1, -1}}}, {{{21, 1, 1}}}}, 1},
        {"across the edge of the view", {{{{19, 1.9f, -1}}}, {{{21, 3, 1}}}}, 1},
        {"beside it", {{{{19, 5, -1}}}, {{{21, 6, 1}}}}, 0},
        {"behind the eye", {{{{-21, -1, -1}}}, {{{-19, 1, 1}}}}, 0},
    };
    for (const auto &b : boxes)
        EXPECT_EQ(PortalBoxInFrustum(&b.box, planes, 4, &eye), b.seen) << b.what;

    // A larger square behind the window is cut down to what the window shows: at x = 20 the
    // square y, z in [-2, 2].
    const bzV3 wall[4] = {{{{20, -5, -5}}}, {{{20, 5, -5}}}, {{{20, 5, 5}}}, {{{20, -5, 5}}}};
    bzV3 clipped[BZ_PORTAL_MAX_CLIP];
    const int32_t n = PortalClipToFrustum(wall, 4, planes, 4, &eye, clipped);
    ASSERT_EQ(n, 4);
    for (int32_t i = 0; i < n; i++)
    {
        EXPECT_NEAR(clipped[i].x, 20.0f, 1e-4f) << i;
        EXPECT_NEAR(std::fabs(clipped[i].y), 2.0f, 1e-4f) << i;
        EXPECT_NEAR(std::fabs(clipped[i].z), 2.0f, 1e-4f) << i;
    }
    // One plane cuts a triangle into a quadrilateral; a polygon wholly behind leaves nothing.
    const bzV3 right = {{{0, 1, 0}}};
    const bzV3 triangle[3] = {{{{5, -1, 0}}}, {{{5, 1, 1}}}, {{{5, 1, -1}}}};
    bzV3 out[4];
    EXPECT_EQ(PortalClipPolygon(triangle, 3, out, &right, &eye), 4);
    const bzV3 behind[3] = {{{{-5, -1, 0}}}, {{{-5, -1, 1}}}, {{{-5, -2, 0}}}};
    EXPECT_EQ(PortalClipPolygon(behind, 3, out, &right, &eye), 0);
    EXPECT_EQ(PortalClipToFrustum(wall, 2, planes, 4, &eye, clipped), 0);
    // A window seen edge-on gives no planes for its edges through the eye.
    const bzV3 edgeOn[3] = {{{{10, 0, 0}}}, {{{20, 0, 0}}}, {{{10, 1, 0}}}};
    EXPECT_EQ(PortalEdgePlanes(edgeOn, 3, &eye, planes), 2);
}

// A wall at x = 9 divides the overlap of the two boxes: a point there belongs to the room whose
// opening it reaches without crossing the wall.
TEST_F(PortalsTest, FindRoomResolvesOverlapsByWhatLiesBetween)
{
    bzLump *level = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "level");
    bzModel *wall = models.NewMesh("wall", {{{{9, -10, -10}}},
                                            {{{9, 5, 40}}},
                                            {{{9, 40, -10}}},
                                            {{{9, -10, -10}}},
                                            {{{9, 40, -10}}},
                                            {{{9, 5, 40}}}});
    bz_Lump_Attach(level, bz_Lump_CreateModel(wall));
    ASSERT_EQ(Load(TwoRooms(), level), 0);
    const struct
    {
        bzV3 point;
        int32_t room;
    } cases[] = {
        {{{{5, 5, 5}}}, 0},    {{{{15, 5, 5}}}, 1},  {{{{9.5f, 5, 5}}}, 1},
        {{{{8.5f, 5, 5}}}, 0}, {{{{8, 0, 0}}}, 0},   // the minimum is inside
        {{{{20, 5, 5}}}, -1},  {{{{30, 5, 5}}}, -1}, // the maximum is not
        {{{{5, -1, 5}}}, -1},
    };
    for (const auto &c : cases)
        EXPECT_EQ(bz_Portals_FindRoom(&c.point), c.room) << c.point.x << "," << c.point.y;
    bz_Portals_FreeWorld();
    EXPECT_EQ(bz_Portals_FindRoom(&cases[0].point), -1);
    EXPECT_EQ(bz_Portals_GetWorld(), nullptr);
    bz_Lump_DestroyTree(level);
}

// Children are listed in the room of their box centre; a destroyed lump leaves its room's list,
// and freeing the world clears the links of the lumps still listed.
TEST_F(PortalsTest, ChildrenAreListedInTheRoomOfTheirCentre)
{
    bzLump *parent = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "parent");
    EXPECT_EQ(bz_Portals_RegisterChildren(parent), 0); // no world yet
    ASSERT_EQ(Load(TwoRooms()), 0);
    const struct
    {
        const char *name;
        bzV3 at;
        int32_t room;
    } cases[] = {
        {"in 0", {{{5, 5, 5}}}, 0},
        {"in 1", {{{15, 5, 5}}}, 1},
        {"nowhere", {{{50, 5, 5}}}, -1},
        {"box in 1", {{{14, 4, 4}}}, 1}, // its model's box is centred on (1, 1, 1)
    };
    std::vector<bzLump *> children;
    for (const auto &c : cases)
    {
        bzLump *child = std::string(c.name) == "box in 1"
                            ? bz_Lump_CreateModel(models.NewMesh(
                                  "box", {{{{0, 0, 0}}}, {{{2, 2, 2}}}, {{{0, 2, 0}}}}))
                            : bz_Lump_Create(BZ_LUMP_TYPE_NULL, c.name);
        child->matrix.row[3] = c.at;
        bz_Lump_AppendChild(parent, child);
        children.push_back(child);
    }
    EXPECT_EQ(bz_Portals_RoomOfLump(children[0]), -2);
    ASSERT_EQ(bz_Portals_RegisterChildren(parent), 4);
    EXPECT_EQ(bz_Portals_RegisterChildren(parent), 0); // each once
    for (size_t i = 0; i < children.size(); i++)
    {
        EXPECT_EQ(bz_Portals_RoomOfLump(children[i]), cases[i].room) << cases[i].name;
        EXPECT_EQ(bz_Portals_IsLumpInRoom(children[i], cases[i].room), 1) << cases[i].name;
        EXPECT_EQ(bz_Portals_IsLumpInRoom(children[i], 2), 0) << cases[i].name;
    }
    EXPECT_EQ(bz_Portals_RoomOfLump(parent), -2);
    EXPECT_EQ(bz_Portals_CountRoomLumps(0), 1);
    EXPECT_EQ(bz_Portals_CountRoomLumps(1), 2);
    EXPECT_EQ(bz_Portals_CountRoomLumps(-1), 1);

    bz_Lump_Destroy(children[1]);
    EXPECT_EQ(bz_Portals_CountRoomLumps(1), 1);
    bz_Lump_Destroy(children[3]);
    EXPECT_EQ(bz_Portals_CountRoomLumps(1), 0);
    bz_Portals_FreeWorld();
    EXPECT_EQ(children[0]->roomLink, nullptr);
    EXPECT_EQ(children[2]->roomLink, nullptr);
    bz_Lump_DestroyTree(parent);
}

// Two portals, the second opaque; the first plane is given against its winding and is turned.
const char kDescription[] = "<PORTALS>\n"
                            "2\n"
                            "1, 0, 0, 2\n"
                            "4\n"
                            "2 0 0\n"
                            "2,10,0\n"
                            "2\t10\t10\n"
                            "2 0 10\n"
                            "-1 0 0 -18\n"
                            "Opaque\n"
                            "3\n"
                            "18 0 0\n"
                            "18 0 10\n"
                            "18 10 0\n";

TEST_F(PortalsTest, TheDescriptionTextGivesThePortals)
{
    WriteWholeFile("portals.txt", kDescription);
    bzLump *level = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "level");
    ASSERT_EQ(bz_Portals_ReadDescription("portals.txt", level, nullptr), 0);
    const bzPortalWorld *w = bz_Portals_GetWorld();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->rootLump, level);
    EXPECT_EQ(w->parameters[0], 12u);
    EXPECT_EQ(w->roomCount, 0);
    ASSERT_EQ(w->portalCount, 2);
    const bzPortal &first = w->portals[0];
    EXPECT_EQ(first.flags, 0);
    EXPECT_EQ(first.roomA, BZ_PORTAL_NO_ROOM);
    EXPECT_EQ(first.vertexCount, 4);
    EXPECT_FLOAT_EQ(first.vertices[2].z, 10.0f);
    EXPECT_FLOAT_EQ(first.plane.n.x, -1.0f); // turned to the winding
    EXPECT_FLOAT_EQ(first.plane.d, -2.0f);
    EXPECT_FLOAT_EQ(first.centre.y, 5.0f);
    EXPECT_NEAR(first.radius, 7.0710678f, 1e-5f);
    const bzPortal &second = w->portals[1];
    EXPECT_EQ(second.flags, BZ_PORTAL_OPAQUE);
    EXPECT_EQ(second.vertexCount, 3);
    EXPECT_FLOAT_EQ(second.plane.n.x, 1.0f);
    EXPECT_FLOAT_EQ(second.plane.d, 18.0f);
    // The opaque portal is not written.
    const std::string out = Written();
    ASSERT_GE(out.size(), 8u);
    EXPECT_EQ(out[4], 1);
    EXPECT_EQ(out[6], 4);
    bz_Lump_Destroy(level);
}

TEST_F(PortalsTest, MalformedDescriptionsAreRefused)
{
    const struct
    {
        const char *what;
        const char *text;
    } cases[] = {
        {"no count", "x\n"},
        {"empty", ""},
        {"a short plane", "1\n1 0 0\n3\n0 0 0\n1 0 0\n0 1 0\n"},
        {"two vertices", "1\n1 0 0 0\n2\n0 0 0\n1 0 0\n"},
        {"too many vertices", "1\n1 0 0 0\n65\n"},
        {"a missing vertex", "1\n1 0 0 0\n3\n0 0 0\n1 0 0\n"},
        {"opaque without a count", "1\n1 0 0 0\nOpaque\n"},
        {"fewer portals than counted", "2\n1 0 0 0\n3\n0 0 0\n1 0 0\n0 1 0\n"},
    };
    for (const auto &c : cases)
    {
        WriteWholeFile("bad.txt", c.text);
        bzgLastError = 0;
        EXPECT_EQ(bz_Portals_ReadDescription("bad.txt", nullptr, nullptr), 59) << c.what;
        EXPECT_EQ(bz_Portals_GetWorld(), nullptr) << c.what;
    }
    EXPECT_EQ(bz_Portals_ReadDescription("missing.txt", nullptr, nullptr), -1);
}

TEST_F(PortalsTest, DamagedFilesAreRefusedAndKeepTheLoadedWorld)
{
    ASSERT_EQ(Load(TwoRooms()), 0);
    const bzPortalWorld *loaded = bz_Portals_GetWorld();
    const Bytes good = TwoRooms();
    for (size_t cut = 0; cut < good.b.size(); cut++)
    {
        Bytes b;
        b.b.assign(good.b.begin(), good.b.begin() + (long)cut);
        bzgLastError = 0;
        EXPECT_EQ(Load(b), 59) << cut;
        EXPECT_EQ(bzgLastError, 59) << cut;
    }
    const Room one = {{0}, false, {}, Box(0, 10)};
    const struct
    {
        const char *what;
        Bytes bytes;
    } lies[] = {
        {"a room of a portal past the rooms", World({{2, 0, 1, true}}, {one})},
        {"a portal index past the portals",
         World({{2, 0, 0xFFFF, true}}, {{{1}, false, {}, Box(0, 1)}})},
        {"a negative portal count", Bytes().U32(0).U16(0xFFFF).U16(0)},
        {"a room count past the bytes", Bytes().U32(0).U16(0).U16(0).U16(0x7FFF).U16(0).U16(0)},
    };
    for (const auto &l : lies)
        EXPECT_EQ(Load(l.bytes), 59) << l.what;
    // A portal of two vertices, and totals that disagree with the records.
    Bytes two = World({{2, 0, 0xFFFF, true}}, {one});
    two.b[4 + 2 + 2 + 32] = 2;
    EXPECT_EQ(Load(two), 59);
    Bytes totals = World({{2, 0, 0xFFFF, true}}, {one});
    totals.b[8 + 32 + 2 + 48 + 4 + 2] = 5; // the total of portal references
    EXPECT_EQ(Load(totals), 59);
    EXPECT_EQ(bz_Portals_GetWorld(), loaded);

    bzFileHandle *file = nullptr;
    EXPECT_EQ(bz_Portals_Read(nullptr, nullptr, file), 29);
    EXPECT_EQ(bz_Portals_Write(nullptr), 29);
    bz_Portals_FreeWorld();
    file = bz_FileOpen("none.bin", "wb");
    EXPECT_EQ(bz_Portals_Write(file), 29);
    bz_FileClose(file);
}
std::string gPrinted;

void Capture(const char *format, va_list args)
{
    char text[256];
    std::vsnprintf(text, sizeof text, format, args);
    gPrinted += text;
}

std::string Exec(const char *line)
{
    gPrinted.clear();
    EXPECT_EQ(bz_Console_ExecLine(line), 1) << line;
    return gPrinted;
}

TEST(PortalsCommands, SwitchesPrintSetOrRefuse)
{
    bz_Console_RegisterBuiltIns();
    bz_Portals_RegisterCommands();
    bz_Portals_RegisterCommands(); // once only
    int32_t rows = 0;
    const bzConsoleState *state = bz_Console_GetState();
    for (int32_t i = 0; i < state->commandCount; i++)
        rows += std::strcmp(state->commands[i].name, "bz_Portals") == 0;
    EXPECT_EQ(rows, 1);
    bz_Console_SetPrintHook(Capture);
    bz_Console_ExecLine("debug");

    EXPECT_EQ(Exec("bz_Portals"), "bz_Portals 1\n");
    EXPECT_EQ(Exec("bz_Portals 2"), "Incorrect Parameters");
    EXPECT_EQ(bz_Portals_IsOn(), 1);
    EXPECT_EQ(Exec("bz_Portals 0 1"), "Incorrect Parameters");
    EXPECT_EQ(Exec("bz_Portals 0"), "");
    EXPECT_EQ(bz_Portals_IsOn(), 0);
    EXPECT_EQ(Exec("bz_portals"), "bz_Portals 0\n");
    EXPECT_EQ(Exec("bz_Portals 1"), "");
    EXPECT_EQ(bz_Portals_IsOn(), 1);

    EXPECT_EQ(Exec("bz_ListPortalRooms"), "bz_ListPortalRooms 0\n");
    EXPECT_EQ(Exec("bz_ListPortalRooms 1"), "");
    EXPECT_EQ(bz_Portals_ListingRooms(), 1);
    bz_ShowDebugMessage(BZ_PORTAL_LIST_SLOT, "%d,%d,", 0, 1);
    EXPECT_EQ(Exec("bz_ListPortalRooms yes"), "Incorrect Parameters");
    EXPECT_NE(bz_GetDebugMessage(BZ_PORTAL_LIST_SLOT), nullptr);
    EXPECT_EQ(Exec("bz_ListPortalRooms 0"), "");
    EXPECT_EQ(bz_Portals_ListingRooms(), 0);
    EXPECT_EQ(bz_GetDebugMessage(BZ_PORTAL_LIST_SLOT), nullptr);
    bz_Console_SetPrintHook(nullptr);
    bz_Console_RegisterBuiltIns();
}
} // namespace
