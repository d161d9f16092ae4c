// The navigation mesh builder's fixed work blocks: a world that needs more faces or links than
// a block holds is refused with a debug line naming the block, never written past it.
#include "scene/NavMesh.h"

#include "NavMeshTestSupport.h"
#include "TestSupport.h"

#include "core/Debug.h"
#include "core/Error.h"
#include "scene/Lump.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
std::vector<std::string> gLines;

class NavMeshWorkBlocks : public ::testing::Test, protected NavTestWorld
{
protected:
    bzDebugTextSink previous = nullptr;

    void SetUp() override
    {
        gLines.clear();
        previous = bz_Debug_SetTextSink([](const char *line) { gLines.push_back(line); });
    }
    void TearDown() override { bz_Debug_SetTextSink(previous); }
    void Add(const char *name, const std::vector<bzV3> &corners)
    {
        bz_Lump_AppendChild(world, bz_Lump_CreateModel(models.NewMesh(name, corners)));
    }
    // A level grid of cols x rows unit cells from (0, z0), two faces a cell.
    void Grid(const char *name, int cols, int rows, float z0)
    {
        std::vector<bzV3> c;
        for (int row = 0; row < rows; row++)
            for (int col = 0; col < cols; col++)
            {
                const float x = static_cast<float>(col), z = z0 + static_cast<float>(row);
                c.insert(c.end(), {{{{x, 0, z}}},
                                   {{{x + 1, 0, z}}},
                                   {{{x, 0, z + 1}}},
                                   {{{x + 1, 0, z}}},
                                   {{{x + 1, 0, z + 1}}},
                                   {{{x, 0, z + 1}}}});
            }
        Add(name, c);
    }
    // count unit triangles apart from each other along x from x0, at z = 500.
    void Apart(const char *name, int count, float x0)
    {
        std::vector<bzV3> c;
        for (int i = 0; i < count; i++)
        {
            const float x = x0 + 2.0f * static_cast<float>(i);
            c.insert(c.end(), {{{{x, 0, 500}}}, {{{x + 1, 0, 500}}}, {{{x, 0, 501}}}});
        }
        Add(name, c);
    }
    bool Said(const std::string &line) const
    {
        for (const std::string &l : gLines)
            if (l == line)
                return true;
        return false;
    }
};

const char *const kLinkBlock = "Navigation map: the links across edges do not fit the link block";
const char *const kFaceBlock = "Navigation map: the walkable faces do not fit the face block";

// Three faces with one extra link: a triangle whose edge along x from ox to ox + 2 is shared by
// two triangles below it, one on each half. That edge has two links; every other edge one.
// 3 faces, 10 links.
void Trio(std::vector<bzV3> &c, float ox)
{
    c.insert(c.end(), {{{{ox, 0, 500}}},
                       {{{ox + 2, 0, 500}}},
                       {{{ox + 1, 0, 501}}},
                       {{{ox + 1, 0, 500}}},
                       {{{ox, 0, 500}}},
                       {{{ox + 0.5f, 0, 499}}},
                       {{{ox + 2, 0, 500}}},
                       {{{ox + 1, 0, 500}}},
                       {{{ox + 1.5f, 0, 499}}}});
}

// The link block holds 65,535 links of 12 bytes (786,420 bytes). In these worlds each edge has
// one link (its neighbour across, or the drop probe of an outer edge) but for the shared edge of
// each trio, which has two. A grid of two lumps (two rows of `south` cells, one row of `north`
// cells above them) and lone triangles give 3 links a face:
//   21,834 grid faces + 1 lone + 3 trios: 3 x 21,835 + 30 = 65,535 links, built;
//   21,842 grid faces + 1 trio:          3 x 21,842 + 10 = 65,536 links, refused.
TEST_F(NavMeshWorkBlocks, TheLinkBlockHolds65535Links)
{
    const struct
    {
        int south, north, lone, trios;
        bool fits;
        uint32_t faces;
    } cases[] = {
        {2730, 5457, 1, 3, true, 21844},
        {2730, 5461, 0, 1, false, 0},
    };
    for (const auto &k : cases)
    {
        SCOPED_TRACE(k.north);
        bz_Lump_DestroyTree(world);
        world = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "world");
        setup.world = world;
        Grid("south", k.south, 2, 0);
        Grid("north", k.north, 1, 2);
        if (k.lone)
            Apart("lone", k.lone, 100);
        std::vector<bzV3> trios;
        for (int t = 0; t < k.trios; t++)
            Trio(trios, 200.0f + 10.0f * static_cast<float>(t));
        Add("trios", trios);
        gLines.clear();
        bzgLastError = BZ_ERROR_NONE;
        bzNavMesh *mesh = bz_NavMesh_BuildMesh(&setup, nullptr, nullptr);
        if (k.fits)
        {
            ASSERT_NE(mesh, nullptr) << bzgLastError;
            EXPECT_FALSE(Said(kLinkBlock));
            uint32_t faces = 0, multiJoins = 0;
            for (int32_t r = 0; r < mesh->regionCount; r++)
            {
                multiJoins += mesh->regions[r].multiJoinCount;
                for (int32_t g = 0; g < mesh->regions[r].groupCount; g++)
                    faces += mesh->regions[r].groups[g].faceCount;
            }
            EXPECT_EQ(faces, k.faces);
            EXPECT_EQ(multiJoins, 3u); // the trios' shared edges
            // The grid, the lone triangle and each trio.
            EXPECT_EQ(mesh->regionCount, 5);
        }
        else
        {
            EXPECT_EQ(mesh, nullptr);
            EXPECT_EQ(bzgLastError, BZ_ERROR_PARAMETER_OUT_OF_RANGE);
            EXPECT_TRUE(Said(kLinkBlock));
        }
        bz_NavMesh_Free(mesh);
    }
}

// The face block holds 24,000,000 bytes of 80-byte face records: 300,000 faces. Lone triangles
// strung along x (five lumps of 60,000) fill it exactly: they fit, and the world is refused
// later only for having more regions than a count can number; one more face does not fit.
TEST_F(NavMeshWorkBlocks, TheFaceBlockHolds300000Faces)
{
    const char *names[5] = {"a", "b", "c", "d", "e"};
    for (int i = 0; i < 5; i++)
        Apart(names[i], 60000, 120000.0f * static_cast<float>(i));
    bzNavMesh *mesh = bz_NavMesh_BuildMesh(&setup, nullptr, nullptr);
    EXPECT_EQ(mesh, nullptr);
    EXPECT_EQ(bzgLastError, BZ_ERROR_PARAMETER_OUT_OF_RANGE);
    EXPECT_FALSE(Said(kFaceBlock));
    EXPECT_FALSE(Said(kLinkBlock));

    Apart("f", 1, 600000.0f);
    gLines.clear();
    mesh = bz_NavMesh_BuildMesh(&setup, nullptr, nullptr);
    EXPECT_EQ(mesh, nullptr);
    EXPECT_EQ(bzgLastError, BZ_ERROR_PARAMETER_OUT_OF_RANGE);
    EXPECT_TRUE(Said(kFaceBlock));
}
} // namespace
