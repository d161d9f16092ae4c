// The collision layer's face lists in the portal room calculation, as the start-up installs
// them: level queries and narrowed lists over real models, and the rooms of a two-room level.
#include "startup/PortalFaces.h"

#include "models/Model.h"
#include "models/SceneLink.h"
#include "scene/Lump.h"
#include "scene/ModelGeometry.h"
#include "scene/PortalFaceServices.h"
#include "scene/Portals.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
bzBox B(float x0, float y0, float z0, float x1, float y1, float z1)
{
    return {{{{x0, y0, z0}}}, {{{x1, y1, z1}}}};
}

// A MODEL lump of a solid box below the parent, its faces' planes facing out.
void AddBox(bzLump *parent, const bzBox &b)
{
    bzV3 c[8];
    for (int i = 0; i < 8; i++)
        c[i] = {{{(i & 1) ? b.max.x : b.min.x, (i & 2) ? b.max.y : b.min.y,
                  (i & 4) ? b.max.z : b.min.z}}};
    static const int faces[12][3] = {{0, 3, 2}, {0, 1, 3}, {4, 7, 5}, {4, 6, 7},
                                     {0, 5, 1}, {0, 4, 5}, {2, 7, 6}, {2, 3, 7},
                                     {0, 6, 4}, {0, 2, 6}, {1, 7, 3}, {1, 5, 7}};
    std::vector<bzV3> positions;
    std::vector<bzModelFace> list(12);
    for (int f = 0; f < 12; f++)
        for (int k = 0; k < 3; k++)
        {
            positions.push_back(c[faces[f][k]]);
            list[f].v[k] = (uint32_t)(f * 3 + k);
        }
    bzModel *model = bz_Scene_CreateModel("box", positions.data(), 36, list.data(), 12, nullptr);
    ASSERT_NE(model, nullptr);
    bz_Lump_AppendChild(parent, bz_Lump_CreateModel(model));
    bz_ReleaseModel(model);
}

class PortalFaces : public ::testing::Test
{
protected:
    ScopedTempDir dir;
    bzLump *level = nullptr;
    void SetUp() override
    {
        bz_Models_InstallSceneServices();
        bz_Startup_InstallPortalFaces();
        level = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "level");
    }
    void TearDown() override
    {
        bz_Portals_FreeWorld();
        bz_Lump_DestroyTree(level);
        bz_Models_RemoveSceneServices();
    }
};
} // namespace

TEST_F(PortalFaces, LevelQueriesFindTheFacesOfTheBoxTheyMeet)
{
    AddBox(level, B(0, 0, 0, 4, 1, 4));
    void *all = bz_Portals_CreateFaceList(10000);
    void *some = bz_Portals_CreateFaceList(10000);
    ASSERT_NE(all, nullptr);
    ASSERT_NE(some, nullptr);
    const struct
    {
        const char *what;
        bzBox box;
        bool faces;
    } cases[] = {
        {"round the whole box", B(-1, -1, -1, 5, 2, 5), true},
        {"over its top", B(1, 0.5f, 1, 2, 1.5f, 2), true},
        {"in the air above it", B(1, 2, 1, 2, 3, 2), false},
        {"beside it", B(6, 0, 0, 7, 1, 1), false},
    };
    for (const auto &c : cases)
    {
        const int32_t n = bz_Portals_GatherFaces(all, &c.box, level, 0, 0);
        EXPECT_EQ(n > 0, c.faces) << c.what;
    }
    // Every face of the box, then the two of its top narrowed out of them.
    ASSERT_EQ(bz_Portals_GatherFaces(all, &cases[0].box, level, 0, 0), 12);
    const bzBox top = B(0.5f, 0.9f, 0.5f, 3.5f, 1.5f, 3.5f);
    EXPECT_EQ(bz_Portals_NarrowFaces(some, all, &top), 2);
    // A lump filter that the box does not pass finds nothing.
    EXPECT_EQ(bz_Portals_GatherFaces(all, &cases[0].box, level, 1, 1), 0);
    bz_Portals_FreeFaceList(some);
    bz_Portals_FreeFaceList(all);
}

TEST_F(PortalFaces, TheRoomsOfATwoRoomLevel)
{
    const bzBox walls[] = {
        B(-1, -1, -1, 21, 0, 11),   B(-1, 4, -1, 21, 5, 11),     B(-1, 0, -1, 0, 4, 11),
        B(20, 0, -1, 21, 4, 11),    B(0, 0, -1, 20, 4, 0),       B(0, 0, 10, 20, 4, 11),
        B(9.5f, 0, 0, 10.5f, 4, 4), B(9.5f, 0, 6, 10.5f, 4, 10), B(9.5f, 3, 4, 10.5f, 4, 6),
    };
    for (const bzBox &b : walls)
        AddBox(level, b);
    WriteWholeFile("portals.txt", "1\n1 0 0 10\n4\n10 0 4\n10 3 4\n10 3 6\n10 0 6\n");
    ASSERT_EQ(bz_Portals_LoadText("portals.txt", level, nullptr, nullptr), 0);
    const bzPortalWorld *w = bz_Portals_GetWorld();
    ASSERT_NE(w, nullptr);
    ASSERT_EQ(w->roomCount, 2);
    const bzPortal &door = w->portals[0];
    EXPECT_NE(door.roomA, door.roomB);
    const bzV3 west = {{{3, 1, 5}}}, east = {{{15, 1, 5}}};
    EXPECT_EQ(bz_Portals_FindRoom(&west), door.roomA);
    EXPECT_EQ(bz_Portals_FindRoom(&east), door.roomB);
}
