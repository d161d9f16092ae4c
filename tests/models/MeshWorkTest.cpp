#include "models/MeshWork.h"

#include "models/DisplayModels.h"
#include "models/Model.h"

#include "ModelsTestSupport.h"

#include <cstring>
#include <random>
#include <string>
#include <tuple>
#include <vector>

namespace
{
class MeshWorkTest : public ModelRecordsTest
{
protected:
    // A part of separate vertices at the given positions with the given faces.
    static bzModel *Mesh(const std::vector<bzV3> &positions,
                         std::initializer_list<std::array<uint32_t, 3>> faces)
    {
        bzModel *m = bz_CreateModel(0, 0);
        bzModelPart *part = bz_CreateModelPart(m);
        part->vertexCount = static_cast<int32_t>(positions.size());
        part->positions[0] = static_cast<bzV3 *>(
            bz_MemAlloc(static_cast<uint32_t>(positions.size() * sizeof(bzV3)), BZ_MEM_CLEAR));
        std::memcpy(part->positions[0], positions.data(), positions.size() * sizeof(bzV3));
        SetFaces(part, faces);
        return m;
    }

    // A cube with its mesh work data, written to the file, whose bytes go to out.
    static bzModel *WrittenCube(float edge, const char *path, std::string *out)
    {
        bzModel *cube = bz_CreateCubeModel("Box", nullptr, edge);
        EXPECT_EQ(bz_BuildMeshWorkData(cube), 0);
        EXPECT_EQ(bz_WriteMeshWorkData(path, cube->meshWork), 0);
        *out = ReadWholeFile(path);
        return cube;
    }
};

void ExpectSame(const bzMeshWorkData &a, const bzMeshWorkData &b)
{
    ASSERT_EQ(a.pointCount, b.pointCount);
    ASSERT_EQ(a.edgeCount, b.edgeCount);
    ASSERT_EQ(a.faceCount, b.faceCount);
    EXPECT_EQ(a.byteSize, b.byteSize);
    for (int32_t e = 0; e < a.edgeCount; ++e)
    {
        EXPECT_EQ(b.edges[e].index, 0u);
        EXPECT_EQ(a.edges[e].a, b.edges[e].a);
        EXPECT_EQ(a.edges[e].b, b.edges[e].b);
        EXPECT_EQ(a.edges[e].firstFace, b.edges[e].firstFace);
        EXPECT_EQ(a.edges[e].secondFace, b.edges[e].secondFace);
        EXPECT_EQ(a.edges[e].useCount, b.edges[e].useCount);
    }
    for (int32_t p = 0; p < a.pointCount; ++p)
    {
        EXPECT_EQ(std::memcmp(&a.points[p], &b.points[p], sizeof(bzV3)), 0);
        ASSERT_EQ(a.pointEdges[p].count, b.pointEdges[p].count);
        EXPECT_EQ(
            std::memcmp(a.pointEdges[p].edges, b.pointEdges[p].edges, a.pointEdges[p].count * 4),
            0);
    }
    for (int32_t f = 0; f < a.faceCount; ++f)
    {
        EXPECT_EQ(std::memcmp(a.faces[f].points, b.faces[f].points, 12), 0);
        EXPECT_EQ(std::memcmp(a.faces[f].edges, b.faces[f].edges, 12), 0);
        EXPECT_EQ(a.faces[f].flags, b.faces[f].flags);
    }
}

TEST_F(MeshWorkTest, AClosedCubeHasEightPointsAndEighteenEdgesUsedTwice)
{
    bzModel *cube = bz_CreateCubeModel("Box", nullptr, 1.0f);
    ASSERT_NE(cube, nullptr);
    ASSERT_EQ(bz_BuildMeshWorkData(cube), 0);
    const bzMeshWorkData *w = cube->meshWork;
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->pointCount, 8);
    EXPECT_EQ(w->edgeCount, 18);
    EXPECT_EQ(w->faceCount, 12);
    uint32_t listed = 0;
    for (int32_t e = 0; e < w->edgeCount; ++e)
        EXPECT_EQ(w->edges[e].useCount, 2) << e;
    for (int32_t p = 0; p < w->pointCount; ++p)
        listed += w->pointEdges[p].count;
    EXPECT_EQ(listed, 36u);
    // 32 + 28 x 12 faces + 12 x 8 points + 24 x 18 edges + 4 x 36 list entries.
    EXPECT_EQ(w->byteSize, 32u + 336u + 96u + 432u + 144u);
    for (int32_t f = 0; f < w->faceCount; ++f)
        EXPECT_EQ(w->faces[f].flags, 7);
    EXPECT_EQ(cube->part->flags & 0xC000u, 0u);

    // A point is found by position within the tolerance; elsewhere nothing with 56.
    const bzV3 corner{0.50005f, 0.5f, 0.5f};
    bzMeshPointEdges *at = bz_FindMeshPoint(cube->meshWork, &corner);
    ASSERT_NE(at, nullptr);
    EXPECT_GE(at->count, 3u);
    const bzV3 centre{0.0f, 0.0f, 0.0f};
    EXPECT_EQ(bz_FindMeshPoint(cube->meshWork, &centre), nullptr);
    EXPECT_EQ(bzgLastError, BZ_ERROR_NOT_FOUND);

    // Built again, the record is replaced.
    ASSERT_EQ(bz_BuildMeshWorkData(cube), 0);
    bz_ReleaseModel(cube);
}

TEST_F(MeshWorkTest, OpenEdgesAndTheTolerance)
{
    // One triangle: three edges used once with no second face.
    bzModel *one = Mesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
    ASSERT_EQ(bz_BuildMeshWorkData(one), 0);
    EXPECT_EQ(one->meshWork->pointCount, 3);
    ASSERT_EQ(one->meshWork->edgeCount, 3);
    for (int32_t e = 0; e < 3; ++e)
    {
        EXPECT_EQ(one->meshWork->edges[e].useCount, 1);
        EXPECT_EQ(one->meshWork->edges[e].secondFace, 0u);
        EXPECT_EQ(one->meshWork->edges[e].index, static_cast<uint32_t>(e));
    }
    EXPECT_EQ(one->meshWork->faces[0].flags, 0);
    bz_ReleaseModel(one);

    // Two triangles across the diagonal, the second's copy of a corner 0.00005 away: one
    // shared edge. 0.0002 away they share nothing.
    for (const auto &[offset, points, shared] : {std::tuple{0.00005f, 4, 1}, {0.0002f, 5, 0}})
    {
        bzModel *m = Mesh({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {offset, 0, 0}, {1, 1, 0}, {0, 1, 0}},
                          {{0, 1, 2}, {3, 4, 5}});
        ASSERT_EQ(bz_BuildMeshWorkData(m), 0);
        EXPECT_EQ(m->meshWork->pointCount, points) << offset;
        int32_t twice = 0;
        for (int32_t e = 0; e < m->meshWork->edgeCount; ++e)
            twice += m->meshWork->edges[e].useCount == 2;
        EXPECT_EQ(twice, shared) << offset;
        EXPECT_EQ(m->meshWork->edgeCount, 6 - shared);
        bz_ReleaseModel(m);
    }

    // The same winding twice is not a shared edge: a third use opens a new edge.
    bzModel *twice = Mesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}, {0, 1, 2}});
    ASSERT_EQ(bz_BuildMeshWorkData(twice), 0);
    EXPECT_EQ(twice->meshWork->edgeCount, 6);
    bz_ReleaseModel(twice);
}

TEST_F(MeshWorkTest, BadModelsBuildNothing)
{
    EXPECT_EQ(bz_BuildMeshWorkData(nullptr), BZ_ERROR_NO_MODEL);
    bzModel *bare = bz_CreateModel(0, 0);
    EXPECT_EQ(bz_BuildMeshWorkData(bare), BZ_ERROR_NO_MODEL_PART);
    bz_ReleaseModel(bare);
    bzModel *lying = Mesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 3}});
    EXPECT_EQ(bz_BuildMeshWorkData(lying), BZ_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(lying->meshWork, nullptr);
    bz_ReleaseModel(lying);
    // No faces: points only.
    bzModel *empty = Mesh({{0, 0, 0}}, {});
    ASSERT_EQ(bz_BuildMeshWorkData(empty), 0);
    EXPECT_EQ(empty->meshWork->pointCount, 1);
    EXPECT_EQ(empty->meshWork->edgeCount, 0);
    bz_ReleaseModel(empty);
}

TEST_F(MeshWorkTest, FilesRoundTripAndBadOnesAreRefused)
{
    std::string bytes;
    bzModel *cube = WrittenCube(2.0f, "cube.mwd", &bytes);
    ASSERT_NE(cube->meshWork, nullptr);
    // 20 header bytes, 18 edges of 20, 8 lists of 4 + 36 entries of 4, 12 faces of 25, 8 points.
    ASSERT_EQ(bytes.size(), 20u + 360u + 32u + 144u + 300u + 96u);
    EXPECT_EQ(bytes.substr(0, 4), std::string("\x00\x01\x00\x00", 4));
    bzMeshWorkData *back = bz_ReadMeshWorkData("cube.mwd");
    ASSERT_NE(back, nullptr);
    ExpectSame(*cube->meshWork, *back);
    FreeMeshWorkData(back);

    // Every truncation, and counts, lengths and indices the file does not hold.
    std::vector<std::pair<std::string, std::string>> cases;
    for (size_t n = 0; n < bytes.size(); ++n)
        cases.push_back({"truncated", bytes.substr(0, n)});
    auto patched = [&bytes](size_t at, uint32_t v)
    {
        std::string s = bytes;
        std::memcpy(&s[at], &v, 4);
        return s;
    };
    cases.push_back({"edge count", patched(4, 0xFFFFFFFF)});
    cases.push_back({"face count", patched(8, 1000)});
    cases.push_back({"point count", patched(12, 9)});
    cases.push_back({"use count 3", patched(20, 3)});
    cases.push_back({"edge point 8", patched(24, 8)});
    cases.push_back({"first face 12", patched(32, 12)});
    cases.push_back({"list length", patched(380, 0x40000000)});
    cases.push_back({"list entry 18", patched(384, 18)});
    cases.push_back({"face point 8", patched(556 + 1, 8)});
    cases.push_back({"face edge 18", patched(556 + 13, 18)});
    for (const auto &[what, file] : cases)
    {
        Put("bad.mwd", file);
        bzgLastError = 0;
        EXPECT_EQ(bz_ReadMeshWorkData("bad.mwd"), nullptr) << what << " " << file.size();
        EXPECT_EQ(bzgLastError, BZ_ERROR_BAD_DATA_FORMAT) << what;
    }
    EXPECT_EQ(bz_ReadMeshWorkData("missing.mwd"), nullptr);
    EXPECT_EQ(bzgLastError, BZ_ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(bz_WriteMeshWorkData("no_such_folder/x.mwd", cube->meshWork),
              BZ_ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(bz_WriteMeshWorkData("x.mwd", nullptr), BZ_ERROR_INVALID_PARAMETER);
    bz_ReleaseModel(cube);
}

TEST_F(MeshWorkTest, MutatedFilesAreRefusedOrReadBackWhole)
{
    // Bytes of a written file changed at random: a file that is read is written back to the
    // same bytes (but for the version word, which is not kept); the rest are refused.
    std::string base;
    bzModel *cube = WrittenCube(1.0f, "base.mwd", &base);
    ASSERT_NE(cube->meshWork, nullptr);
    std::mt19937 rng(12345u);
    int32_t read = 0;
    for (int32_t round = 0; round < 400; ++round)
    {
        std::string bytes = base;
        const int32_t changes = 1 + round % 4;
        for (int32_t c = 0; c < changes; ++c)
            bytes[rng() % bytes.size()] = static_cast<char>(rng() % 4 ? rng() % 40 : rng());
        Put("mutated.mwd", bytes);
        bzMeshWorkData *w = bz_ReadMeshWorkData("mutated.mwd");
        if (!w)
        {
            EXPECT_NE(bzgLastError, 0);
            continue;
        }
        ++read;
        ASSERT_EQ(bz_WriteMeshWorkData("again.mwd", w), 0);
        EXPECT_EQ(ReadWholeFile("again.mwd").substr(4), bytes.substr(4)) << round;
        FreeMeshWorkData(w);
    }
    EXPECT_GT(read, 0);
    bz_ReleaseModel(cube);
}
} // namespace
