// The portal render pass with a recording step in place of the render walk's: which rooms are
// walked through which portals, lumps seen by two ways drawn once, lumps in no room always
// drawn, subtrees of queued lumps, a camera in no room, and the view planes and boxes it tests.
#include "scene/Portals.h"

#include "support/PortalTestWorld.h"

#include "console/Console.h"
#include "core/Debug.h"
#include "device/ViewportRecord.h"
#include "maths/Matrix.h"
#include "maths/Vector.h"
#include "scene/Lump.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <string>
#include <vector>

namespace
{
std::vector<bzLump *> gStepped;
std::map<bzLump *, bzV3> gViewAt; // the view-space position each lump was stepped with
bzLump *gRefuse = nullptr;        // the step leaves this lump's children out

bzLump *Step(bzLump *lump, bzViewport *)
{
    gStepped.push_back(lump);
    gViewAt[lump] = lump->worldMatrix.row[3];
    return lump == gRefuse ? nullptr : lump->firstChild;
}

bzBox RoomBox(float x0, float x1, float z0, float z1)
{
    return {{{{x0, -20, z0}}}, {{{x1, 20, z1}}}};
}

// The camera sits at the origin looking along +z with a field of view of 45 degrees, so the
// view holds |x| <= z and |y| <= z. Room 0 holds the camera; room 1 lies behind it through two
// portals in the plane z = 10 (x in [-4, 1] and in [-1, 4]); room 2 behind room 1 through a
// small portal at z = 30; room 3 beside room 0 through a portal at x = 20 that the view does
// not reach; room 4 is dead.
class PortalsWalkTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        gStepped.clear();
        gViewAt.clear();
        gRefuse = nullptr;
        portalRoot_ = bz_Lump_Create(BZ_LUMP_TYPE_PORTALS_ROOT, "rooms");
        camera_ = bz_Lump_CreateCamera(nullptr, 45.0f);
        fixed_ = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "fixed");
        bz_M34_SetTranslation(&fixed_->matrix, 0, 0, 25);
        view_.camera = camera_;
        view_.sceneRoot = portalRoot_;
        view_.aspect = 1.0f;
        bz_M34_SetIdentity(&view_.viewMatrix);
    }
    void TearDown() override
    {
        bz_Portals_FreeWorld();
        bz_Lump_DestroyTree(portalRoot_);
        bz_Lump_DestroyTree(camera_);
        bz_Lump_DestroyTree(fixed_);
    }
    void MakeWorld()
    {
        const std::vector<bzV3> side = {
            {{{20, -2, 0}}}, {{{20, -2, 8}}}, {{{20, 2, 8}}}, {{{20, 2, 0}}}};
        MakePortalWorld({{SquareAtZ(-4, 1, -2, 2, 10), 0, 1},
                         {SquareAtZ(-1, 4, -2, 2, 10), 0, 1},
                         {SquareAtZ(-1, 1, -1, 1, 30), 1, 2},
                         {side, 0, 3}},
                        {{RoomBox(-20, 20, -1, 10), {0, 1, 3}, {}},
                         {RoomBox(-20, 20, 10, 30), {0, 1, 2}, {fixed_}},
                         {RoomBox(-20, 20, 30, 50), {2}, {fixed_}},
                         {RoomBox(20, 60, -1, 50), {3}, {}},
                         {RoomBox(0, 0, 0, 0), {}, {}, true}});
    }
    bzLump *Child(const char *name, float x, float y, float z)
    {
        bzLump *l = bz_Lump_Create(BZ_LUMP_TYPE_NULL, name);
        bz_M34_SetTranslation(&l->matrix, x, y, z);
        bz_Lump_AppendChild(portalRoot_, l);
        return l;
    }
    int Times(bzLump *l) const
    {
        return static_cast<int>(std::count(gStepped.begin(), gStepped.end(), l));
    }
    bzLump *portalRoot_ = nullptr;
    bzLump *camera_ = nullptr;
    bzLump *fixed_ = nullptr;
    bzViewport view_{};
};

TEST_F(PortalsWalkTest, RoomsSeenThroughTwoPortalsDrawTheirLumpsOnce)
{
    MakeWorld();
    bzLump *inRoom0 = Child("d", 0, 0, 5);
    bzLump *seen = Child("a", 0, 0, 20);     // room 1, seen through both portals
    bzLump *aside = Child("b", 15, 0, 20);   // room 1, outside both ways in
    bzLump *farther = Child("c", 0, 0, 40);  // room 2, through either portal and the third
    bzLump *hidden = Child("e", 45, 0, 20);  // room 3, never walked
    bzLump *nowhere = Child("f", 100, 0, 0); // in no room, and outside the view as well
    ASSERT_EQ(bz_Portals_RegisterChildren(portalRoot_), 6);
    ASSERT_EQ(bz_Portals_RoomOfLump(seen), 1);
    ASSERT_EQ(bz_Portals_RoomOfLump(nowhere), -1);
    // Attached after registering: drawn with its parent.
    bzLump *part = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "part");
    bz_M34_SetTranslation(&part->matrix, 1, 0, 0);
    bz_Lump_AppendChild(seen, part);

    bz_Portals_RenderRooms(&view_, Step);
    // Room 0 once, room 1 by each of its two portals, room 2 behind each of those.
    EXPECT_EQ(bz_Portals_LastPassRooms(), 5);
    const struct
    {
        bzLump *lump;
        int times;
    } cases[] = {{inRoom0, 1}, {seen, 1},   {part, 1},    {aside, 0},
                 {farther, 1}, {hidden, 0}, {nowhere, 1}, {fixed_, 1}};
    for (const auto &c : cases)
        EXPECT_EQ(Times(c.lump), c.times) << bz_Lump_GetName(c.lump);
    EXPECT_EQ(gStepped.size(), 6u);
    EXPECT_EQ(bz_Portals_LastPassLumps(), 5); // the part came with its parent
    // View matrices: from the world for a queued lump, from its parent's below it.
    EXPECT_FLOAT_EQ(gViewAt[seen].z, 20.0f);
    EXPECT_FLOAT_EQ(gViewAt[part].x, 1.0f);
    EXPECT_FLOAT_EQ(gViewAt[part].z, 20.0f);
    // No mark is left behind.
    for (const auto &c : cases)
        EXPECT_EQ(c.lump->flags & BZ_LUMP_PORTAL_QUEUED, 0u);
    // A second pass gives the same.
    gStepped.clear();
    bz_Portals_RenderRooms(&view_, Step);
    EXPECT_EQ(gStepped.size(), 6u);
}

TEST_F(PortalsWalkTest, RegisteredChildrenAreDrawnOnlyThroughTheirOwnRooms)
{
    MakeWorld();
    bzLump *seen = Child("a", 0, 0, 20);
    ASSERT_EQ(bz_Portals_RegisterChildren(portalRoot_), 1);
    // A registered child of a queued lump: in room 3, which the view never reaches.
    bzLump *inRoom3 = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "r3");
    bz_M34_SetTranslation(&inRoom3->matrix, 45, 0, 0);
    bz_Lump_AppendChild(seen, inRoom3);
    // And one in room 2, seen on its own.
    // (Registering places a child by its own matrix: at z = 40, in room 2.)
    bzLump *inRoom2 = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "r2");
    bz_M34_SetTranslation(&inRoom2->matrix, 0, 0, 40);
    bz_Lump_AppendChild(seen, inRoom2);
    // And an unregistered one whose children the step refuses.
    bzLump *group = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "group");
    bzLump *below = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "below");
    bz_Lump_AppendChild(group, below);
    ASSERT_EQ(bz_Portals_RegisterChildren(seen), 2);
    bz_Lump_AppendChild(seen, group);
    ASSERT_EQ(bz_Portals_RoomOfLump(inRoom3), 3);
    ASSERT_EQ(bz_Portals_RoomOfLump(inRoom2), 2);
    gRefuse = group;
    bz_Portals_RenderRooms(&view_, Step);
    EXPECT_EQ(Times(seen), 1);
    EXPECT_EQ(Times(inRoom3), 0);
    EXPECT_EQ(Times(inRoom2), 1);
    EXPECT_EQ(Times(group), 1);
    EXPECT_EQ(Times(below), 0);
    // Inactive lumps are not stepped and their children not entered.
    gRefuse = nullptr;
    group->flags &= ~BZ_LUMP_ACTIVE;
    gStepped.clear();
    bz_Portals_RenderRooms(&view_, Step);
    EXPECT_EQ(Times(group), 0);
    EXPECT_EQ(Times(below), 0);
    EXPECT_EQ(Times(seen), 1);
}

TEST_F(PortalsWalkTest, NothingWithoutWorldCameraRoomOrStep)
{
    bzLump *lump = Child("a", 0, 0, 20);
    bz_Portals_RenderRooms(&view_, Step); // no world
    EXPECT_TRUE(gStepped.empty());
    EXPECT_EQ(bz_Portals_CameraRoom(camera_), -1);
    MakeWorld();
    ASSERT_EQ(bz_Portals_RegisterChildren(portalRoot_), 1);
    Child("nowhere", 100, 0, 0); // would be drawn if the pass ran
    bz_Portals_RegisterChildren(portalRoot_);

    // The camera in no room: nothing, not even the lumps in no room, and no mark left.
    bz_M34_SetTranslation(&camera_->matrix, 0, 0, -50);
    EXPECT_EQ(bz_Portals_CameraRoom(camera_), -1);
    bz_Portals_RenderRooms(&view_, Step);
    EXPECT_TRUE(gStepped.empty());
    EXPECT_EQ(bz_Portals_LastPassRooms(), 0);
    for (bzLump *l = portalRoot_; l; l = bz_Lump_NextPreOrder(l, portalRoot_))
        EXPECT_EQ(l->flags & BZ_LUMP_PORTAL_QUEUED, 0u);

    // A camera matrix that is not a number lies in no room either.
    bz_M34_SetTranslation(&camera_->matrix, std::numeric_limits<float>::quiet_NaN(), 0, 0);
    EXPECT_EQ(bz_Portals_CameraRoom(camera_), -1);
    bz_Portals_RenderRooms(&view_, Step);
    EXPECT_TRUE(gStepped.empty());

    bz_M34_SetTranslation(&camera_->matrix, 0, 0, 0);
    EXPECT_EQ(bz_Portals_CameraRoom(camera_), 0);
    bz_Portals_RenderRooms(&view_, nullptr);
    bz_Portals_RenderRooms(nullptr, Step);
    view_.camera = nullptr;
    bz_Portals_RenderRooms(&view_, Step);
    EXPECT_TRUE(gStepped.empty());
    view_.camera = camera_;
    // Back in room 0 the pass runs: the lump in room 1, the fixed one and the one in no room.
    bz_Portals_RenderRooms(&view_, Step);
    EXPECT_EQ(gStepped.size(), 3u);
    EXPECT_EQ(Times(lump), 1);
    EXPECT_EQ(Times(fixed_), 1);
}

TEST_F(PortalsWalkTest, ViewPlanesAndBoxes)
{
    bzV3 normals[4], eye;
    ASSERT_EQ(PortalsViewPlanes(&view_, normals, &eye), 4);
    EXPECT_EQ(eye.z, 0.0f);
    // The view holds |x| <= z and |y| <= z: points just inside and just outside each side.
    const struct
    {
        bzV3 point;
        int32_t inside;
    } cases[] = {
        {{{0, 0, 10}}, 1},    {{{9.9f, 0, 10}}, 1},   {{{10.1f, 0, 10}}, 0}, {{{-10.1f, 0, 10}}, 0},
        {{{0, 9.9f, 10}}, 1}, {{{0, -10.1f, 10}}, 0}, {{{0, 0, -1}}, 0},
    };
    for (const auto &c : cases)
    {
        const bzBox box = {c.point, c.point};
        EXPECT_EQ(PortalBoxInFrustum(&box, normals, 4, &eye), c.inside)
            << c.point.x << "," << c.point.y << "," << c.point.z;
    }
    // Turned half round about y and moved, the camera looks along -z from z = 5.
    bz_M34_RotationY(&camera_->matrix, 180.0f);
    bz_M34_SetTranslation(&camera_->matrix, 0, 0, 5);
    ASSERT_EQ(PortalsViewPlanes(&view_, normals, &eye), 4);
    EXPECT_FLOAT_EQ(eye.z, 5.0f);
    const bzBox ahead = {{{{0, 0, -5}}}, {{{0, 0, -5}}}};
    const bzBox behind = {{{{0, 0, 15}}}, {{{0, 0, 15}}}};
    EXPECT_EQ(PortalBoxInFrustum(&ahead, normals, 4, &eye), 1);
    EXPECT_EQ(PortalBoxInFrustum(&behind, normals, 4, &eye), 0);
    // A wide viewport sees less height: at aspect 2, |y| <= z / 2.
    bz_M34_SetIdentity(&camera_->matrix);
    view_.aspect = 2.0f;
    PortalsViewPlanes(&view_, normals, &eye);
    const bzBox high = {{{{0, 6, 10}}}, {{{0, 6, 10}}}};
    const bzBox wideX = {{{{9, 0, 10}}}, {{{9, 0, 10}}}};
    EXPECT_EQ(PortalBoxInFrustum(&high, normals, 4, &eye), 0);
    EXPECT_EQ(PortalBoxInFrustum(&wideX, normals, 4, &eye), 1);
    // A lump without a model is the point of its world position.
    bzLump *l = Child("p", 1, 2, 3);
    bzBox box;
    PortalsLumpWorldBox(l, &box);
    EXPECT_EQ(box.min.x, 1.0f);
    EXPECT_EQ(box.max.y, 2.0f);
    EXPECT_EQ(box.max.z, 3.0f);
    EXPECT_EQ(PortalsViewPlanes(nullptr, normals, &eye), 0);
}

TEST_F(PortalsWalkTest, RoomListingShowsTheRoomsWalked)
{
    MakeWorld();
    const int32_t debug = bz_Console_GetState()->debug;
    bz_Console_GetState()->debug = 1;
    bz_Console_ExecLine("bz_ListPortalRooms 1");
    ASSERT_EQ(bz_Portals_ListingRooms(), 1);
    bz_Portals_RenderRooms(&view_, Step);
    // Room 0, then room 1 and room 2 by the first portal, then again by the second.
    EXPECT_EQ(std::string(bz_Portals_RoomListText()), "0,1,2,1,2,");
    ASSERT_NE(bz_GetDebugMessage(BZ_PORTAL_LIST_SLOT), nullptr);
    EXPECT_EQ(std::string(bz_GetDebugMessage(BZ_PORTAL_LIST_SLOT)), "0,1,2,1,2,");
    bz_Console_ExecLine("bz_ListPortalRooms 0");
    bz_Console_GetState()->debug = debug;
    ASSERT_EQ(bz_Portals_ListingRooms(), 0);
    bz_Portals_RenderRooms(&view_, Step);
    EXPECT_EQ(std::string(bz_Portals_RoomListText()), "");
    EXPECT_EQ(bz_Portals_LastPassRooms(), 5);
}

TEST_F(PortalsWalkTest, AQueuedLumpBelowAnotherIsDrawnOnceInEitherOrder)
{
    MakeWorld();
    // The parent lies in room 0; its child is one of room 1's fixed lumps and is queued too.
    bzLump *parent = Child("parent", 0, 0, 5);
    ASSERT_EQ(bz_Portals_RegisterChildren(portalRoot_), 1);
    bz_Lump_AppendChild(parent, fixed_);
    bz_M34_SetTranslation(&fixed_->matrix, 0, 0, 20); // at z = 25 in the world
    bz_Portals_RenderRooms(&view_, Step);
    EXPECT_EQ(Times(parent), 1);
    EXPECT_EQ(Times(fixed_), 1);
    EXPECT_FLOAT_EQ(gViewAt[fixed_].z, 25.0f);
    // The other way round: the parent queued after its child (room 1 holds it, room 0 the child).
    gStepped.clear();
    bz_Lump_Detach(fixed_);
    bz_M34_SetTranslation(&fixed_->matrix, 0, 0, 0);
    bz_Portals_FreeWorld();
    MakePortalWorld(
        {{SquareAtZ(-4, 4, -2, 2, 10), 0, 1}},
        {{RoomBox(-20, 20, -1, 10), {0}, {fixed_}}, {RoomBox(-20, 20, 10, 30), {0}, {}}});
    bz_M34_SetTranslation(&parent->matrix, 0, 0, 20);
    ASSERT_EQ(bz_Portals_RegisterChildren(portalRoot_), 1);
    bz_Lump_AppendChild(parent, fixed_);
    bz_M34_SetTranslation(&fixed_->matrix, 0, 0, -15); // at z = 5 in the world
    bz_Portals_RenderRooms(&view_, Step);
    EXPECT_EQ(Times(parent), 1);
    EXPECT_EQ(Times(fixed_), 1);
    EXPECT_FLOAT_EQ(gViewAt[fixed_].z, 5.0f);
    bz_Lump_Detach(fixed_);
}
TEST_F(PortalsWalkTest, RegisteredLumpsAreTakenFromTheRoomListsWhereverTheyHang)
{
    MakeWorld();
    // Registered in rooms by their records alone, under no portal root.
    bzLump *loose = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "loose");
    bz_M34_SetTranslation(&loose->matrix, 0, 0, 40);
    bzLump *unplaced = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "unplaced");
    bzLump *walledIn = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "walled in");
    bz_M34_SetTranslation(&walledIn->matrix, 45, 0, 20);
    ASSERT_NE(bz_Portals_AddLumpRecord(loose, 2), nullptr);
    ASSERT_NE(bz_Portals_AddLumpRecord(unplaced, -1), nullptr);
    ASSERT_NE(bz_Portals_AddLumpRecord(walledIn, 3), nullptr);
    // A second record of the loose lump in room 1: still drawn once.
    ASSERT_NE(bz_Portals_AddLumpRecord(loose, 1), nullptr);
    // The lists as the pass reads them.
    std::vector<bzLump *> room2;
    for (const bzRoomLink *r = bz_Portals_FirstRoomRecord(2); r; r = bz_Portals_NextRoomRecord(r))
        room2.push_back(bz_Portals_RecordLump(r));
    EXPECT_EQ(room2, std::vector<bzLump *>{loose});
    EXPECT_EQ(bz_Portals_RecordLump(bz_Portals_FirstRoomRecord(-1)), unplaced);
    EXPECT_EQ(bz_Portals_FirstRoomRecord(0), nullptr);  // empty
    EXPECT_EQ(bz_Portals_FirstRoomRecord(5), nullptr);  // beyond the rooms
    EXPECT_EQ(bz_Portals_FirstRoomRecord(-2), nullptr); // below -1
    EXPECT_EQ(bz_Portals_NextRoomRecord(nullptr), nullptr);
    EXPECT_EQ(bz_Portals_RecordLump(nullptr), nullptr);

    bz_Portals_RenderRooms(&view_, Step);
    EXPECT_EQ(Times(loose), 1);
    EXPECT_EQ(Times(unplaced), 1);
    EXPECT_EQ(Times(walledIn), 0);
    EXPECT_EQ(Times(fixed_), 1);
    EXPECT_FLOAT_EQ(gViewAt[loose].z, 40.0f);
    bz_Portals_FreeWorld();
    EXPECT_EQ(bz_Portals_FirstRoomRecord(-1), nullptr); // no world
    for (bzLump *l : {loose, unplaced, walledIn})
        bz_Lump_DestroyTree(l);
}

TEST_F(PortalsWalkTest, ACameraListedInNoRoomKeepsTheRoomItIsFoundIn)
{
    MakeWorld();
    ASSERT_NE(bz_Portals_AddLumpRecord(camera_, -1), nullptr);
    ASSERT_EQ(bz_Portals_RoomOfLump(camera_), -1);
    // Outside every room: nothing found, nothing stored.
    bz_M34_SetTranslation(&camera_->matrix, 0, 0, -50);
    bz_Portals_RenderRooms(&view_, Step);
    EXPECT_EQ(bz_Portals_RoomOfLump(camera_), -1);
    EXPECT_EQ(bz_Portals_LastPassRooms(), 0);
    // In room 1 (z = 15): found, stored in its record and listed in the room.
    bz_M34_SetTranslation(&camera_->matrix, 0, 0, 15);
    bz_Portals_RenderRooms(&view_, Step);
    EXPECT_EQ(bz_Portals_RoomOfLump(camera_), 1);
    EXPECT_EQ(bz_Portals_CountRoomLumps(1), 1);
    EXPECT_EQ(bz_Portals_CountRoomLumps(-1), 0);
    EXPECT_EQ(bz_Portals_LastPassRooms(), 2); // room 1, then room 2 ahead
    // The stored room holds from then on, wherever the camera goes.
    bz_M34_SetTranslation(&camera_->matrix, 0, 0, 5);
    EXPECT_EQ(bz_Portals_CameraRoom(camera_), 1);
    // Storing changes only a record without a room, and only to a room that exists.
    EXPECT_EQ(bz_Portals_StoreLumpRoom(camera_, 0), 0);
    EXPECT_EQ(bz_Portals_StoreLumpRoom(fixed_, 0), 0); // no record
    bzLump *other = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "other");
    ASSERT_NE(bz_Portals_AddLumpRecord(other, -1), nullptr);
    EXPECT_EQ(bz_Portals_StoreLumpRoom(other, 5), 0);
    EXPECT_EQ(bz_Portals_StoreLumpRoom(other, -1), 0);
    EXPECT_EQ(bz_Portals_RoomOfLump(other), -1);
    bz_Portals_FreeWorld();
    bz_Lump_DestroyTree(other);
}

TEST_F(PortalsWalkTest, ARoomListThatWouldOverflowTurnsTheListingToState2)
{
    // 130 narrow portals from room 0 into room 1, all in view: "0," and 130 times "1," would
    // take 262 characters.
    std::vector<TestPortal> portals;
    std::vector<uint16_t> links;
    for (int i = 0; i < 130; i++)
    {
        const float x = -6.5f + 0.1f * static_cast<float>(i);
        portals.push_back({SquareAtZ(x + 0.01f, x + 0.09f, -1, 1, 10), 0, 1});
        links.push_back(static_cast<uint16_t>(i));
    }
    MakePortalWorld(portals,
                    {{RoomBox(-20, 20, -1, 10), links, {}}, {RoomBox(-20, 20, 10, 30), links, {}}});
    const int32_t debug = bz_Console_GetState()->debug;
    bz_Console_GetState()->debug = 1;
    bz_Console_ExecLine("bz_ListPortalRooms 1");
    bz_Portals_RenderRooms(&view_, Step);
    EXPECT_EQ(bz_Portals_LastPassRooms(), 131);
    EXPECT_EQ(bz_Portals_ListingRooms(), 2);
    // The list keeps the 126 rooms that fit in 252 characters.
    std::string expected = "0,";
    for (int i = 0; i < 125; i++)
        expected += "1,";
    EXPECT_EQ(std::string(bz_Portals_RoomListText()), expected);
    ASSERT_NE(bz_GetDebugMessage(BZ_PORTAL_LIST_SLOT), nullptr);
    EXPECT_EQ(std::string(bz_GetDebugMessage(BZ_PORTAL_LIST_SLOT)), expected);
    // Still listing in state 2; setting it again starts over from 1, and a list that fits
    // leaves it there.
    bz_Portals_RenderRooms(&view_, Step);
    EXPECT_EQ(std::string(bz_Portals_RoomListText()), expected);
    bz_Console_ExecLine("bz_ListPortalRooms 1");
    EXPECT_EQ(bz_Portals_ListingRooms(), 1);
    bz_M34_SetTranslation(&camera_->matrix, 0, 0, 15); // in room 1, looking away from the portals
    bz_Portals_RenderRooms(&view_, Step);
    EXPECT_EQ(std::string(bz_Portals_RoomListText()), "1,");
    EXPECT_EQ(bz_Portals_ListingRooms(), 1);
    bz_Console_ExecLine("bz_ListPortalRooms 0");
    EXPECT_EQ(bz_Portals_ListingRooms(), 0);
    bz_Console_GetState()->debug = debug;
}

TEST_F(PortalsWalkTest, ARoomSeenThroughTwoPortalsInTurnIsCutByBoth)
{
    // Room 0 sees room 1 through x in [-4, 1] at z = 10, i.e. x / z in [-0.4, 0.1]; room 1 sees
    // room 2 through x in [0, 10] at z = 30, of which only x / z in [0, 0.1] lies in the first
    // cone.
    MakePortalWorld({{SquareAtZ(-4, 1, -2, 2, 10), 0, 1}, {SquareAtZ(0, 10, -4, 4, 30), 1, 2}},
                    {{RoomBox(-20, 20, -1, 10), {0}, {}},
                     {RoomBox(-20, 20, 10, 30), {0, 1}, {}},
                     {RoomBox(-40, 40, 30, 60), {1}, {}}});
    const struct
    {
        const char *name;
        float x, z;
        int times;
    } cases[] = {
        {"through both", 2, 40, 1},          // x / z = 0.05
        {"beyond the first cone", 6, 40, 0}, // 0.15: inside the second portal's own cone
        {"left of the second", -1, 40, 0},   // -0.025: inside the first cone only
        {"in room 1, left", -8, 25, 1},      // -0.32: inside the first cone
        {"in room 1, right", 5, 25, 0},      // 0.2
    };
    std::vector<bzLump *> lumps;
    for (const auto &c : cases)
        lumps.push_back(Child(c.name, c.x, 0, c.z));
    ASSERT_EQ(bz_Portals_RegisterChildren(portalRoot_), 5);
    bz_Portals_RenderRooms(&view_, Step);
    EXPECT_EQ(bz_Portals_LastPassRooms(), 3);
    for (size_t i = 0; i < lumps.size(); i++)
        EXPECT_EQ(Times(lumps[i]), cases[i].times) << cases[i].name;
    // Turned so the second portal is seen beside the first: the camera moved to x = 3 sees
    // x / z in [-0.7, -0.2] through the first portal, which misses the second one.
    gStepped.clear();
    bz_M34_SetTranslation(&camera_->matrix, 3, 0, 0);
    bz_Portals_RenderRooms(&view_, Step);
    EXPECT_EQ(bz_Portals_LastPassRooms(), 2);
    EXPECT_EQ(Times(lumps[0]), 0);
}
} // namespace
