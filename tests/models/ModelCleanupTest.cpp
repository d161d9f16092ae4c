#include "models/ModelCleanup.h"

#include "maths/Matrix.h"
#include "models/DisplayModels.h"
#include "models/Model.h"
#include "models/ModelPrepare.h"
#include "scene/Lump.h"
#include "scene/Path.h"

#include "ModelsTestSupport.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace
{
using ModelCleanupTest = ModelRecordsTest;

// A model of editable geometry only: the vertices and polygons given, no part.
bzModel *Editable(const std::vector<bzV3> &vertices,
                  const std::vector<std::array<uint32_t, 3>> &polygons)
{
    bzModel *m = bz_CreateModel(0, 0);
    EXPECT_EQ(bz_CreateModelVertexData(m, static_cast<int32_t>(vertices.size()),
                                       static_cast<int32_t>(polygons.size())),
              0);
    for (size_t i = 0; i < vertices.size(); ++i)
    {
        m->vertexData->vertices[i].x = vertices[i].x;
        m->vertexData->vertices[i].y = vertices[i].y;
        m->vertexData->vertices[i].z = vertices[i].z;
    }
    for (size_t i = 0; i < polygons.size(); ++i)
        for (int32_t k = 0; k < 3; ++k)
        {
            m->vertexData->polygons[i].v[k] = polygons[i][k];
            m->vertexData->polygons[i].colours[k] = 0xFF000000u | polygons[i][k];
        }
    return m;
}

TEST_F(ModelCleanupTest, CleaningMergesDropsAndRenumbers)
{
    struct Case
    {
        const char *what;
        std::vector<bzV3> vertices;
        std::vector<std::array<uint32_t, 3>> polygons;
        int32_t removed, welded, degenerate, duplicates;
        std::vector<std::array<uint32_t, 3>> after; // empty: untouched
    };
    const float e = 0.00005f;
    const std::vector<Case> cases = {
        {"nothing to do",
         {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}},
         {{0, 1, 2}, {0, 2, 3}},
         0,
         0,
         0,
         0,
         {}},
        {"a polygon welded to one point",
         {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {5, 5, 5}, {5 + e, 5, 5}, {5, 5 + e, 5}},
         {{0, 1, 2}, {3, 4, 5}},
         3,
         2,
         1,
         0,
         // Corners numbered in order of use, last corner first.
         {{2, 1, 0}}},
        {"(a, b, c) and (b, c, a)",
         {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}},
         {{0, 1, 2}, {1, 2, 0}},
         0,
         0,
         0,
         1,
         {{2, 1, 0}}},
        {"a corner welded into a neighbour's",
         {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1 + e, 0, 0}, {1, 1, 0}},
         {{0, 1, 2}, {3, 4, 2}},
         1,
         1,
         0,
         0,
         {{2, 1, 0}, {1, 3, 0}}},
    };
    for (const Case &c : cases)
    {
        bzModel *m = Editable(c.vertices, c.polygons);
        std::vector<bzModelPolygon> before(m->vertexData->polygons,
                                           m->vertexData->polygons + c.polygons.size());
        int32_t removed = -1, welded = -1, degenerate = -1, duplicates = -1;
        ASSERT_EQ(bz_CleanModelGeometry(m, &removed, &welded, &degenerate, &duplicates), 0)
            << c.what;
        EXPECT_EQ(removed, c.removed) << c.what;
        EXPECT_EQ(welded, c.welded) << c.what;
        EXPECT_EQ(degenerate, c.degenerate) << c.what;
        EXPECT_EQ(duplicates, c.duplicates) << c.what;
        const bzModelVertexData *d = m->vertexData;
        if (c.after.empty())
        {
            EXPECT_EQ(m->part, nullptr) << c.what << ": rebuilt";
            EXPECT_EQ(
                std::memcmp(before.data(), d->polygons, before.size() * sizeof(bzModelPolygon)), 0)
                << c.what;
        }
        else
        {
            EXPECT_NE(m->part, nullptr) << c.what << ": not rebuilt";
            ASSERT_EQ(d->polygonCount, static_cast<int32_t>(c.after.size())) << c.what;
            for (size_t i = 0; i < c.after.size(); ++i)
                for (int32_t k = 0; k < 3; ++k)
                    EXPECT_EQ(d->polygons[i].v[k], c.after[i][k]) << c.what << " " << i;
            EXPECT_EQ(d->vertexCount, static_cast<int32_t>(c.vertices.size()) - c.removed);
        }
        bz_ReleaseModel(m);
    }
    // The corner's colour turns with its index: (1, 2, 0), given twice so that there is work
    // to do, starts again at vertex 0's corner.
    bzModel *turned = Editable({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{1, 2, 0}, {1, 2, 0}});
    ASSERT_EQ(bz_CleanModelGeometry(turned, nullptr, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(turned->vertexData->polygons[0].colours[0], 0xFF000000u);
    EXPECT_EQ(turned->vertexData->polygons[0].colours[1], 0xFF000001u);
    bz_ReleaseModel(turned);
}

TEST_F(ModelCleanupTest, AnalysisCountsWithoutChanging)
{
    const float e = 0.00005f;
    bzModel *m = Editable(
        {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {5, 5, 5}, {5 + e, 5, 5}, {5, 5 + e, 5}, {7, 7, 7}},
        {{0, 1, 2}, {3, 4, 5}, {1, 2, 0}});
    int32_t unreferenced = -1, duplicates = -1, degenerate = -1, same = -1;
    ASSERT_EQ(bz_AnalyseModelGeometry(m, &unreferenced, &duplicates, &degenerate, &same), 0);
    EXPECT_EQ(unreferenced, 1);
    EXPECT_EQ(duplicates, 2);
    EXPECT_EQ(degenerate, 1);
    EXPECT_EQ(same, 1);
    EXPECT_EQ(m->vertexData->vertexCount, 7);
    EXPECT_EQ(m->vertexData->polygonCount, 3);
    // A reversed winding is not the same polygon.
    m->vertexData->polygons[2].v[0] = 2;
    m->vertexData->polygons[2].v[1] = 1;
    m->vertexData->polygons[2].v[2] = 0;
    ASSERT_EQ(bz_AnalyseModelGeometry(m, nullptr, nullptr, nullptr, &same), 0);
    EXPECT_EQ(same, 0);
    bz_ReleaseModel(m);

    // No model, no vertex data, corners past the vertices: every counter 0.
    EXPECT_EQ(bz_AnalyseModelGeometry(nullptr, &unreferenced, nullptr, nullptr, nullptr),
              BZ_ERROR_NO_MODEL);
    EXPECT_EQ(unreferenced, 0);
    bzModel *bare = bz_CreateModel(0, 0);
    EXPECT_EQ(bz_CleanModelGeometry(bare, &unreferenced, nullptr, nullptr, nullptr),
              BZ_ERROR_NO_VERTEX_DATA);
    bz_ReleaseModel(bare);
    bzModel *lying = Editable({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 3}});
    EXPECT_EQ(bz_CleanModelGeometry(lying, nullptr, nullptr, nullptr, nullptr),
              BZ_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(bz_AnalyseModelGeometry(lying, nullptr, nullptr, nullptr, nullptr),
              BZ_ERROR_INVALID_PARAMETER);
    bz_ReleaseModel(lying);

    // Welding no polygons changes nothing.
    bzModel *loose = Editable({{0, 0, 0}, {0, 0, 0}}, {});
    EXPECT_EQ(bz_WeldModelVertices(loose), 0);
    EXPECT_EQ(loose->vertexData->vertexCount, 2);
    bz_ReleaseModel(loose);
}

TEST_F(ModelCleanupTest, TheToleranceOrder)
{
    struct Case
    {
        bzV3 a, b;
        int32_t order;
    };
    for (const Case &c :
         {Case{{0, 0, 0}, {0.0001f, 0, 0}, 0}, Case{{0, 0, 0}, {0.00011f, 0, 0}, -1},
          Case{{0, 0.5f, 0}, {0, 0, 9}, 1}, Case{{0, 0, -0.0002f}, {0, 0, 0}, -1},
          Case{{1, 2, 3}, {1.00009f, 1.99991f, 3.00009f}, 0}})
    {
        EXPECT_EQ(CompareVerticesWithTolerance(&c.a, &c.b), c.order);
        EXPECT_EQ(CompareVerticesWithTolerance(&c.b, &c.a), -c.order);
        EXPECT_EQ(bz_VerticesEqual(&c.a, &c.b), c.order == 0 ? 1 : 0);
    }
}

TEST_F(ModelCleanupTest, TransformingAndCentring)
{
    bzModel *m = Editable({{0, 0, 0}, {2, 0, 0}, {0, 2, 0}, {2, 2, 0}}, {{0, 1, 2}, {1, 3, 2}});
    bzM34 move = *bz_M34_Identity();
    move.row[3] = {1.0f, 2.0f, 3.0f};
    ASSERT_EQ(bz_TransformModel(m, &move), 0);
    EXPECT_EQ(m->vertexData->vertices[3].x, 3.0f);
    EXPECT_EQ(m->vertexData->vertices[3].z, 3.0f);
    ASSERT_NE(m->part, nullptr);
    const bzV3 centre = m->centre;
    EXPECT_NEAR(centre.x, 2.0f, 1e-3f);
    bzV3 old{};
    ASSERT_EQ(bz_CentreModel(m, &old), 0);
    EXPECT_EQ(old.y, centre.y);
    EXPECT_NEAR(m->vertexData->vertices[0].x, 1.0f - centre.x, 1e-5f);
    EXPECT_NEAR(m->vertexData->vertices[0].z, 3.0f - centre.z, 1e-5f);

    // Without editable geometry the part's positions move and the bounds follow.
    bz_FreeModelVertexData(m);
    move.row[3] = {0.0f, 0.0f, 10.0f};
    ASSERT_EQ(bz_TransformModel(m, &move), 0);
    EXPECT_NEAR(m->boxMin.z, 10.0f, 1e-5f);
    EXPECT_NEAR(m->boxMax.z, 10.0f, 1e-5f);
    EXPECT_EQ(bz_TransformModel(nullptr, &move), BZ_ERROR_NO_MODEL);
    EXPECT_EQ(bz_TransformModel(m, nullptr), BZ_ERROR_INVALID_PARAMETER);
    bz_ReleaseModel(m);
}

TEST_F(ModelCleanupTest, StripsBecomeWordsWithJoinsMarked)
{
    uint16_t strip[] = {0, 1, 2, 2, 3, 4};
    bzMaterialEntry entry{};
    entry.stripIndices = strip;
    entry.stripIndexCount = 6;
    uint32_t out[6] = {};
    StripToIndexList(&entry, out);
    const uint32_t expected[6] = {0, 1, 2, 0x80000002u, 0x80000003u, 4};
    for (int32_t i = 0; i < 6; ++i)
        EXPECT_EQ(out[i], expected[i]) << i;
}
// Edges still drawn as lines over all polygons.
int32_t DrawnEdges(const bzModel *m)
{
    int32_t drawn = 0;
    for (int32_t i = 0; i < m->vertexData->polygonCount; ++i)
        for (uint16_t bit : {0x20, 0x40, 0x80})
            drawn += !(m->vertexData->polygons[i].flags & bit);
    return drawn;
}

TEST_F(ModelCleanupTest, FlatJoinsHideTheirEdgesAndRidgesKeepThem)
{
    // A flat square of two polygons: four border lines, no diagonal.
    bzModel *square =
        Editable({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{0, 1, 2}, {0, 2, 3}});
    ASSERT_EQ(bz_PrepareModelGeometry(square, 0xFFFFFBF), 0);
    ASSERT_EQ(bz_MarkModelEdges(square), 0);
    EXPECT_EQ(DrawnEdges(square), 4);
    // The diagonal is edge 2 (corner 2 to 0) of the first and edge 0 of the second.
    EXPECT_TRUE(square->vertexData->polygons[0].flags & 0x80);
    EXPECT_TRUE(square->vertexData->polygons[1].flags & 0x20);
    // The part's faces carry the bits.
    ASSERT_NE(square->part, nullptr);
    int32_t hidden = 0;
    for (int32_t f = 0; f < square->part->faceCount; ++f)
        hidden += __builtin_popcount(square->part->faces[f].flags & 0xE0);
    EXPECT_EQ(hidden, 2);
    bz_ReleaseModel(square);

    // A cube: its twelve ridges stay, the six face diagonals go.
    bzModel *cube = bz_CreateCubeModel("Box", nullptr, 1.0f);
    ASSERT_EQ(bz_MarkModelEdges(cube), 0);
    EXPECT_EQ(DrawnEdges(cube), 12);
    bz_ReleaseModel(cube);

    // Polygons of a material that keeps its lines are not visited: all six edges stay.
    bzMaterial *lines = bz_CreateMaterial("lines", 1);
    lines->flags |= 0x4000;
    bzModel *kept = Editable({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{0, 1, 2}, {0, 2, 3}});
    ASSERT_EQ(bz_PrepareModelGeometry(kept, 0xFFFFFBF), 0);
    kept->vertexData->polygons[0].material = lines;
    kept->vertexData->polygons[1].material = lines;
    ASSERT_EQ(bz_MarkModelEdges(kept), 0);
    EXPECT_EQ(DrawnEdges(kept), 6);
    bz_ReleaseModel(kept);
    bz_ReleaseMaterial(lines);
    EXPECT_EQ(bz_MarkModelEdges(nullptr), BZ_ERROR_NO_MODEL);
}
TEST_F(ModelCleanupTest, VertexRecordsAndTextureGradients)
{
    bzVertexRecord a{}, b{};
    a.colour = 1;
    b.colour = 2;
    b.v1 = 0.0001f;
    EXPECT_EQ(CompareVertexRecords(&a, &b), 0); // colour ignored, within the tolerance
    b.v1 = 0.0002f;
    EXPECT_EQ(CompareVertexRecords(&a, &b), -1);
    b.normal.z = -1.0f;
    EXPECT_EQ(CompareVertexRecords(&a, &b), 1); // the normal before the texture
    b.position.x = 1.0f;
    EXPECT_EQ(CompareVertexRecords(&a, &b), -1);

    // u grows with x, v with y: s = (1, 0, 0), t = (0, 1, 0).
    bzVertexRecord p0{}, p1{}, p2{};
    p1.position = {2.0f, 0.0f, 0.0f};
    p1.u0 = 2.0f;
    p2.position = {0.0f, 4.0f, 0.0f};
    p2.v0 = 4.0f;
    bzV3 s{9.0f, 9.0f, 9.0f}, t{9.0f, 9.0f, 9.0f};
    bz_TriangleTextureGradients(&p0, &p1, &p2, &s, &t);
    EXPECT_FLOAT_EQ(s.x, 1.0f);
    EXPECT_FLOAT_EQ(t.x, 0.0f);
    EXPECT_FLOAT_EQ(s.y, 0.0f);
    EXPECT_FLOAT_EQ(t.y, 1.0f);
    EXPECT_EQ(s.z, 0.0f);
    EXPECT_EQ(t.z, 0.0f);
    // Texture coordinates along one line give no gradient: nothing is written.
    p2.u0 = 4.0f;
    p2.v0 = 0.0f;
    s = t = {9.0f, 9.0f, 9.0f};
    bz_TriangleTextureGradients(&p0, &p1, &p2, &s, &t);
    EXPECT_EQ(s.x, 9.0f);
    EXPECT_EQ(t.z, 9.0f);

    bzM34 move = *bz_M34_Identity();
    EXPECT_EQ(bz_TransformLumpModel(nullptr, &move), BZ_ERROR_INVALID_PARAMETER);
}
TEST_F(ModelCleanupTest, LineLumpsThroughTheVisibleEdges)
{
    bzModel *square =
        Editable({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{0, 1, 2}, {0, 2, 3}});
    ASSERT_EQ(bz_PrepareModelGeometry(square, 0xFFFFFBF), 0);
    ASSERT_EQ(bz_MarkModelEdges(square), 0);
    bzModel *cube = bz_CreateCubeModel("Box", nullptr, 1.0f);
    ASSERT_EQ(bz_MarkModelEdges(cube), 0);
    bzLump *root = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "root");
    bzLump *flat = bz_Lump_CreateModel(square);
    bzLump *box = bz_Lump_CreateModel(cube);
    bzLump *pooled = bz_Lump_CreateModel(cube);
    pooled->poolSlot = 3;
    bz_Lump_Attach(root, pooled);
    bz_Lump_Attach(root, box);
    bz_Lump_Attach(box, flat);
    bz_AddModelLineLumps(root);
    // Four border edges of the square, twelve ridges of the cube, two points each.
    for (const auto &[lump, points] : {std::pair{flat, 8}, std::pair{box, 24}})
    {
        bzLump *line = lump->firstChild;
        ASSERT_NE(line, nullptr);
        EXPECT_STREQ(line->name, "line");
        EXPECT_EQ(line->type, BZ_LUMP_TYPE_POLYLINE);
        const auto *path = static_cast<const bzPath *>(line->object);
        EXPECT_EQ(path->count, points);
        EXPECT_EQ(path->flags & 1u, 1u);
    }
    EXPECT_EQ(box->firstChild->next, flat);
    EXPECT_EQ(pooled->firstChild, nullptr);
    // Every edge hidden: no line lump.
    for (int32_t f = 0; f < square->part->faceCount; ++f)
        square->part->faces[f].flags |= 0xE0;
    bzLump *hidden = bz_Lump_CreateModel(square);
    bz_AddModelLineLumps(hidden);
    EXPECT_EQ(hidden->firstChild, nullptr);
    bz_Lump_DestroyTree(hidden);
    bz_Lump_DestroyTree(root);
    bz_ReleaseModel(square);
    bz_ReleaseModel(cube);
}
TEST_F(ModelCleanupTest, MergingATreeWeldsItsModelsInTheRootsSpace)
{
    bzModel *square =
        Editable({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{0, 1, 2}, {0, 2, 3}});
    bzLump *root = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "floor");
    bzLump *left = bz_Lump_CreateModel(square);
    bzLump *right = bz_Lump_CreateModel(square);
    right->matrix.row[3] = {1.0f, 0.0f, 0.0f};
    bz_Lump_Attach(root, left);
    bz_Lump_Attach(left, right); // below the first: placed in the root's space by both
    left->matrix.row[3] = {0.0f, 0.0f, 2.0f};
    bzLump *merged = bz_MergeLumpModels(root, "both");
    ASSERT_NE(merged, nullptr);
    EXPECT_STREQ(merged->name, "floor");
    bzModel *m = bz_Lump_GetModel(merged);
    ASSERT_EQ(m, bzgMergeModel);
    EXPECT_STREQ(m->name, "both");
    // Two squares side by side share an edge: 6 vertices, 4 polygons, all at z = 2.
    EXPECT_EQ(m->vertexData->vertexCount, 6);
    EXPECT_EQ(m->vertexData->polygonCount, 4);
    float maxX = 0.0f;
    for (int32_t v = 0; v < 6; ++v)
    {
        EXPECT_EQ(m->vertexData->vertices[v].z, 2.0f);
        maxX = std::max(maxX, m->vertexData->vertices[v].x);
    }
    EXPECT_EQ(maxX, 2.0f);
    EXPECT_NE(m->part, nullptr);
    merged->object = nullptr;
    bz_Lump_Destroy(merged);
    bz_ReleaseModel(m);

    // A tree without models merges to nothing.
    bzLump *empty = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "empty");
    EXPECT_EQ(bz_MergeLumpModels(empty, "none"), nullptr);
    EXPECT_EQ(bz_MergeLumpModels(nullptr, "none"), nullptr);
    bz_Lump_Destroy(empty);
    bz_Lump_DestroyTree(root);
    bz_ReleaseModel(square);
}
TEST_F(ModelCleanupTest, AutomaticSmoothingIsReportedAsNotDone)
{
    bzModel *m = Editable({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
    bzgFatalErrorHappened = 0;
    EXPECT_EQ(bz_AutoSmoothModelAngle(m, 45.0f), 0);
    EXPECT_EQ(bzgSmoothAngle, 45.0f);
    EXPECT_EQ(bzgFatalErrorHappened, 1);
    bzgFatalErrorHappened = 0;
    EXPECT_EQ(bz_AutoSmoothModel(m), 0);
    EXPECT_EQ(bzgFatalErrorHappened, 1);
    bzgFatalErrorHappened = 0;
    bzModel *bare = bz_CreateModel(0, 0);
    EXPECT_EQ(bz_AutoSmoothModel(bare), BZ_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(bz_AutoSmoothModelAngle(bare, 10.0f), BZ_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(bzgFatalErrorHappened, 0);
    bzLump *root = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "root");
    EXPECT_EQ(bz_SetSmoothAngleAll(1, root, 30), 0);
    EXPECT_EQ(bzgSmoothAngle, 30.0f);
    bz_Lump_Destroy(root);
    bz_ReleaseModel(bare);
    bz_ReleaseModel(m);
}
} // namespace
