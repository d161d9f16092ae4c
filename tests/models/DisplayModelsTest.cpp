#include "models/DisplayModels.h"

#include "ModelsTestSupport.h"
#include "models/ModelCleanup.h"

#include <cmath>
#include <cstring>
#include <vector>

namespace
{
using DisplayModelsTest = ModelRecordsTest;

TEST_F(DisplayModelsTest, CubeHasTheBoxCornersAndPolygonsInOrder)
{
    bzModel *m = bz_CreateCubeModel("Box", nullptr, 1.0f);
    ASSERT_NE(m, nullptr);
    EXPECT_STREQ(m->name, "Box");
    EXPECT_EQ(m->refCount, 1);
    EXPECT_EQ(m->index, -1);
    const bzModelVertexData *d = m->vertexData;
    ASSERT_EQ(d->vertexCount, 8);
    ASSERT_EQ(d->polygonCount, 12);
    const float corners[8][3] = {{-.5f, -.5f, -.5f}, {.5f, -.5f, -.5f}, {.5f, .5f, -.5f},
                                 {-.5f, .5f, -.5f},  {-.5f, -.5f, .5f}, {.5f, -.5f, .5f},
                                 {.5f, .5f, .5f},    {-.5f, .5f, .5f}};
    for (int32_t i = 0; i < 8; ++i)
    {
        EXPECT_FLOAT_EQ(d->vertices[i].x, corners[i][0]) << i;
        EXPECT_FLOAT_EQ(d->vertices[i].y, corners[i][1]) << i;
        EXPECT_FLOAT_EQ(d->vertices[i].z, corners[i][2]) << i;
    }
    const uint32_t faces[12][3] = {{0, 2, 1}, {0, 3, 2}, {5, 7, 4}, {5, 6, 7},
                                   {4, 3, 0}, {4, 7, 3}, {1, 6, 5}, {1, 2, 6},
                                   {4, 1, 5}, {4, 0, 1}, {3, 6, 2}, {3, 7, 6}};
    for (int32_t i = 0; i < 12; ++i)
    {
        const bzModelPolygon &p = d->polygons[i];
        EXPECT_EQ(p.v[0], faces[i][0]);
        EXPECT_EQ(p.v[1], faces[i][1]);
        EXPECT_EQ(p.v[2], faces[i][2]);
        EXPECT_EQ(p.colours[0], 0u); // no material: the colours stay 0
        EXPECT_FLOAT_EQ(p.uv[1][0], i % 2 == 0 ? 1.0f : 1.0f);
        EXPECT_FLOAT_EQ(p.uv[1][1], i % 2 == 0 ? 1.0f : 0.0f);
        EXPECT_FLOAT_EQ(p.uv[2][2], i % 2 == 0 ? 0.0f : 5.0f);
        EXPECT_FLOAT_EQ(p.uv[2][3], 5.0f);
    }
    ASSERT_NE(m->part, nullptr);
    EXPECT_EQ(m->part->faceCount, 12);
    bz_ReleaseModel(m);
}

TEST_F(DisplayModelsTest, MaterialColourIsPackedTruncated)
{
    bzMaterial *mat = bz_CreateMaterial("orange", 1);
    mat->red = 1.0f;
    mat->green = 0.5f;
    mat->blue = 0.0f;
    bzModel *m = bz_CreateCubeModel("c", mat, 2.0f);
    ASSERT_NE(m, nullptr);
    for (int32_t i = 0; i < m->vertexData->polygonCount; ++i)
        for (uint32_t c : m->vertexData->polygons[i].colours)
            EXPECT_EQ(c, 0xFFFF7F00u);
    EXPECT_FLOAT_EQ(bz_HalfTexel(mat), 1.0f / 512.0f);
    EXPECT_FLOAT_EQ(bz_HalfTexel(nullptr), 0.001953125f);
    bz_ReleaseModel(m);
    bz_ReleaseMaterial(mat);
}

TEST_F(DisplayModelsTest, SubdivisionCountsAndLevelZero)
{
    const float box[6] = {0, 0, 0, 1, 1, 1};
    bzModel *m = bz_CreateBoxModel("b", box, 0, nullptr);
    EXPECT_EQ(bz_SubdivideModelPolygons(m, 0), 0);
    EXPECT_EQ(m->vertexData->polygonCount, 12);
    // One triangle alone: level 1 gives 4 over 6 vertices.
    bzModel *t = bz_CreateModel(1, 3);
    t->vertexData->vertices[1].x = 2;
    t->vertexData->vertices[2].y = 2;
    t->vertexData->polygons[0].v[1] = 1;
    t->vertexData->polygons[0].v[2] = 2;
    t->vertexData->polygons[0].uv[2][1] = 1.0f;
    ASSERT_EQ(bz_SubdivideModelPolygons(t, 1), 0);
    EXPECT_EQ(t->vertexData->polygonCount, 4);
    EXPECT_EQ(t->vertexData->vertexCount, 6);
    float area = 0;
    for (int32_t i = 0; i < 4; ++i)
    {
        area += bz_PolygonArea2(&t->vertexData->polygons[i], t->vertexData->vertices);
        // Every corner's v is half its position's y, as at the source corners.
        for (int32_t k = 0; k < 3; ++k)
            EXPECT_FLOAT_EQ(t->vertexData->polygons[i].uv[k][1],
                            t->vertexData->vertices[t->vertexData->polygons[i].v[k]].y * 0.5f);
    }
    EXPECT_FLOAT_EQ(area, 4.0f);
    EXPECT_EQ(bz_SubdivideModelPolygons(nullptr, 1), 71);
    EXPECT_EQ(bz_SubdivideModelPolygons(t, -1), 20);
    bz_ReleaseModel(t);
    bz_ReleaseModel(m);
}

TEST_F(DisplayModelsTest, SphereOfLevelFourLiesOnItsRadius)
{
    bzModel *m = bz_CreateSphereModel("ball", nullptr, 4, 3.0f);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->vertexData->polygonCount, 200);
    for (int32_t i = 0; i < m->vertexData->vertexCount; ++i)
    {
        const bzModelDataVertex &v = m->vertexData->vertices[i];
        EXPECT_NEAR(std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z), 3.0f, 1e-4f);
    }
    // Away from the poles (where u has no meaning) the corners of one polygon never lie more
    // than half a turn apart in u.
    for (int32_t i = 0; i < m->vertexData->polygonCount; ++i)
    {
        const bzModelPolygon &p = m->vertexData->polygons[i];
        EXPECT_EQ(p.smoothing, 1);
        bool pole = false;
        for (uint32_t v : p.v)
            pole = pole || std::fabs(m->vertexData->vertices[v].y) > 2.999f;
        if (pole)
            continue;
        for (int32_t a = 0; a < 3; ++a)
            for (int32_t b = 0; b < 3; ++b)
                EXPECT_LE(std::fabs(p.uv[a][0] - p.uv[b][0]), 0.5f + 1e-5f);
    }
    bz_ReleaseModel(m);
}

TEST_F(DisplayModelsTest, DiamondCorners)
{
    bzModel *m = bz_CreateDiamondModel("d", 2.0f, 4.0f, 6.0f, nullptr);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->vertexData->polygonCount, 8);
    float maxY = 0, maxZ = 0;
    for (int32_t i = 0; i < m->vertexData->vertexCount; ++i)
    {
        maxY = std::fmax(maxY, m->vertexData->vertices[i].y);
        maxZ = std::fmax(maxZ, m->vertexData->vertices[i].z);
    }
    EXPECT_FLOAT_EQ(maxY, 2.0f);
    EXPECT_FLOAT_EQ(maxZ, 3.0f);
    bz_ReleaseModel(m);
}

TEST_F(DisplayModelsTest, CapsuleCountsEndsAndBadSegments)
{
    bzModel *m = bz_CreateTicTacModel(0.5f, 2.0f, -1.0f, 16, nullptr);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->vertexData->vertexCount, 306);
    EXPECT_EQ(m->vertexData->polygonCount, 288);
    int32_t written = 0;
    for (int32_t i = 0; i < 288; ++i)
    {
        const bzModelPolygon &p = m->vertexData->polygons[i];
        if (p.v[0] || p.v[1] || p.v[2])
            ++written;
    }
    EXPECT_EQ(written, 256);
    // The ends are sorted: cap 1's pole is at the larger end plus the radius.
    EXPECT_FLOAT_EQ(m->vertexData->vertices[0].x, 2.5f);
    EXPECT_FLOAT_EQ(m->vertexData->vertices[153].x, -1.5f);
    // Refilling keeps the counts and moves the vertices.
    ASSERT_EQ(bz_CreateTicTacModel(1.0f, 0.0f, 1.0f, -1, m), m);
    EXPECT_EQ(m->vertexData->vertexCount, 306);
    EXPECT_FLOAT_EQ(m->vertexData->vertices[0].x, 2.0f);
    bz_ReleaseModel(m);
    EXPECT_EQ(bz_CreateTicTacModel(0.5f, 0, 1, 0, nullptr), nullptr);
    EXPECT_EQ(bzgLastError, 20);
}

TEST_F(DisplayModelsTest, TriangulationOfOutlines)
{
    // Points: a square, a concave "L" and a pentagon, counter-clockwise.
    const float square[] = {0, 0, 1, 0, 1, 1, 0, 1};
    const float ell[] = {0, 0, 2, 0, 2, 1, 1, 1, 1, 2, 0, 2};
    const float pentagon[] = {0, 0, 2, 0, 3, 1, 1, 2, -1, 1};
    struct Row
    {
        const char *what;
        const float *points;
        int32_t count;
        int32_t winding;
        int32_t triangles;
    };
    const Row rows[] = {
        {"square", square, 4, 0, 2},
        {"square, other winding: all reflex", square, 4, 1, 0},
        // The first ear has the inner corner on its long side: three triangles cover it.
        {"L shape", ell, 6, 0, 3},
        {"pentagon", pentagon, 5, 0, 3},
        {"pentagon, all reflex", pentagon, 5, 1, 0},
        {"two points", square, 2, 0, 0},
    };
    for (const Row &row : rows)
    {
        SCOPED_TRACE(row.what);
        std::vector<uint16_t> indices;
        for (int32_t i = 0; i < row.count; ++i)
            indices.push_back(static_cast<uint16_t>(i));
        int32_t count = -1;
        uint16_t *out = bz_TriangulatePolygon2D(row.winding, row.count, indices.data(), row.points,
                                                row.count, &count);
        EXPECT_EQ(count, 3 * row.triangles);
        EXPECT_EQ(out != nullptr, row.triangles > 0);
        // The triangles cover the outline: their areas add up to its area.
        float area = 0, outline = 0;
        for (int32_t t = 0; t < count; t += 3)
        {
            const float *a = row.points + 2 * out[t], *b = row.points + 2 * out[t + 1],
                        *c = row.points + 2 * out[t + 2];
            area += 0.5f * ((b[0] - a[0]) * (c[1] - a[1]) - (b[1] - a[1]) * (c[0] - a[0]));
        }
        for (int32_t i = 0; i < row.count && row.triangles; ++i)
        {
            const float *a = row.points + 2 * i, *b = row.points + 2 * ((i + 1) % row.count);
            outline += 0.5f * (a[0] * b[1] - b[0] * a[1]);
        }
        EXPECT_FLOAT_EQ(area, outline);
        bz_MemFree(out);
    }
}

TEST_F(DisplayModelsTest, WeldingACubeOf36CornersLeaves8)
{
    bzModel *m = bz_CreateModel(12, 36);
    const float c[8][3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0},
                           {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};
    const uint32_t f[12][3] = {{0, 2, 1}, {0, 3, 2}, {5, 7, 4}, {5, 6, 7}, {4, 3, 0}, {4, 7, 3},
                               {1, 6, 5}, {1, 2, 6}, {4, 1, 5}, {4, 0, 1}, {3, 6, 2}, {3, 7, 6}};
    for (int32_t i = 0; i < 12; ++i)
        for (int32_t k = 0; k < 3; ++k)
        {
            bzModelDataVertex &v = m->vertexData->vertices[3 * i + k];
            v.x = c[f[i][k]][0] + (k == 1 ? 0.00005f : 0.0f);
            v.y = c[f[i][k]][1];
            v.z = c[f[i][k]][2];
            m->vertexData->polygons[i].v[k] = static_cast<uint32_t>(3 * i + k);
        }
    ASSERT_EQ(bz_WeldModelVertices(m), 0);
    EXPECT_EQ(m->vertexData->vertexCount, 8);
    for (int32_t i = 0; i < 12; ++i)
        EXPECT_GT(bz_PolygonArea2(&m->vertexData->polygons[i], m->vertexData->vertices), 0.5f);
    EXPECT_EQ(bz_WeldModelVertices(nullptr), 71);
    m->vertexData->polygons[3].v[2] = 8;
    EXPECT_EQ(bz_WeldModelVertices(m), 29);
    bz_ReleaseModel(m);
}

TEST_F(DisplayModelsTest, ShapeCountsAndTheirConstants)
{
    struct Row
    {
        const char *what;
        bzModel *model;
        int32_t vertices;
        int32_t polygons;
    };
    const float uvs[8] = {0, 0, 1, 0, 1, 1, 0, 1};
    const Row rows[] = {
        {"plane", bz_CreatePlaneModel("p", 2, 4, nullptr, uvs), 4, 2},
        {"half space", bz_CreateHalfSpaceModel("h", 5, 5, nullptr), 4, 2},
        {"grid level 1", bz_CreateGridModel("g", 1, 4.0f, 2, 2, nullptr), 9, 8},
        {"disc", bz_CreateDiscModel("d", 8, 2.0f, nullptr), 10, 8},
        {"annulus", bz_CreateAnnulusModel("a", 8, 1.0f, 2.0f, nullptr), 18, 16},
        {"cone", bz_CreateConeModel("c", 8, 1, 2, nullptr, 0, 0, 0), 10, 8},
        {"cone with base", bz_CreateConeModel("c", 8, 1, 2, nullptr, 1, 1, 1), 19, 16},
        {"cylinder", bz_CreateCylinderModel("y", 8, 1, 2, nullptr, 0, 0), 18, 16},
        {"cylinder with caps", bz_CreateCylinderModel("y", 8, 1, 2, nullptr, 1, 1), 20, 32},
        {"torus", bz_CreateTorusModel("t", 3, 1, 6, 4, nullptr), 24, 48},
        {"pointer", bz_CreatePointerModel("ptr", 1, nullptr), 7, 4},
        {"marker", bz_CreateMarkerModel("m", nullptr), 5, 6},
        {"broken box", bz_CreateBrokenBoxModel(nullptr), 13, 18},
    };
    for (const Row &row : rows)
    {
        SCOPED_TRACE(row.what);
        ASSERT_NE(row.model, nullptr);
        EXPECT_EQ(row.model->vertexData->vertexCount, row.vertices);
        EXPECT_EQ(row.model->vertexData->polygonCount, row.polygons);
        EXPECT_NE(row.model->part, nullptr);
    }
    const bzModelVertexData *plane = rows[0].model->vertexData;
    EXPECT_FLOAT_EQ(plane->vertices[0].x, -1.0f);
    EXPECT_FLOAT_EQ(plane->vertices[0].y, 2.0f);
    EXPECT_FLOAT_EQ(plane->polygons[1].uv[1][2], 5.0f); // set 1 of the second: (0,0) (5,5) (0,5)
    EXPECT_FLOAT_EQ(plane->polygons[1].uv[2][2], 0.0f);
    EXPECT_FLOAT_EQ(plane->polygons[1].uv[2][3], 5.0f);
    EXPECT_EQ(plane->polygons[0].colours[1], 0xFFFFFFFFu);
    EXPECT_FLOAT_EQ(rows[1].model->vertexData->polygons[0].uv[1][0], 1.0f); // vertex 1: (1, 0)
    const bzModelVertexData *grid = rows[2].model->vertexData;
    float lowest = 10, highest = -10;
    for (int32_t i = 0; i < grid->polygonCount; ++i)
        for (int32_t k = 0; k < 3; ++k)
        {
            lowest = std::fmin(lowest, grid->polygons[i].uv[k][0]);
            highest = std::fmax(highest, grid->polygons[i].uv[k][2]);
        }
    EXPECT_FLOAT_EQ(lowest, 1.0f / 512.0f);
    EXPECT_FLOAT_EQ(highest, 2.0f * (4.0f - 1.0f / 512.0f));
    const bzModelVertexData *disc = rows[3].model->vertexData;
    EXPECT_FLOAT_EQ(disc->vertices[1].z, 2.0f); // angle 360
    EXPECT_EQ(disc->polygons[3].v[1], 5u);
    EXPECT_EQ(disc->polygons[3].v[2], 4u);
    EXPECT_FLOAT_EQ(disc->polygons[0].uv[0][1], 0.984375f);
    EXPECT_FLOAT_EQ(disc->polygons[0].uv[2][0], 0.984375f);
    const bzModelVertexData *cone = rows[5].model->vertexData;
    EXPECT_FLOAT_EQ(cone->vertices[0].y, 2.0f);
    EXPECT_FLOAT_EQ(cone->vertices[1].y, 0.0f);
    const bzModelVertexData *based = rows[6].model->vertexData;
    EXPECT_FLOAT_EQ(based->vertices[0].y, 0.0f);   // apex at the origin
    EXPECT_FLOAT_EQ(based->vertices[18].y, -2.0f); // the base centre, last
    EXPECT_EQ(based->polygons[8].smoothing, 2);
    EXPECT_FLOAT_EQ(based->polygons[0].uv[0][0], 0.5f);
    EXPECT_FLOAT_EQ(based->polygons[0].uv[0][1], 0.5f);
    const bzModelVertexData *tube = rows[7].model->vertexData;
    EXPECT_FLOAT_EQ(tube->vertices[0].y, 1.0f);
    EXPECT_FLOAT_EQ(tube->vertices[1].y, -1.0f);
    EXPECT_FLOAT_EQ(tube->polygons[0].uv[0][0], 2.0f); // (360 - 0) / 180
    EXPECT_FLOAT_EQ(tube->polygons[0].uv[0][2], 0.5f); // (360 - 0) / 720
    const bzModelVertexData *capped = rows[8].model->vertexData;
    EXPECT_EQ(capped->polygons[16].smoothing, 2);
    EXPECT_EQ(capped->polygons[17].smoothing, 4);
    // Inside out: the first side polygon is (1, 0, 2).
    EXPECT_EQ(capped->polygons[0].v[0], 1u);
    EXPECT_EQ(capped->polygons[0].v[1], 0u);
    const bzModelVertexData *torus = rows[9].model->vertexData;
    EXPECT_FLOAT_EQ(torus->vertices[0].y, 4.0f); // (R + r) cos 0
    EXPECT_STREQ(rows[12].model->name, "Broken Box");
    for (const Row &row : rows)
        bz_ReleaseModel(row.model);
    for (int32_t bad : {0, -3})
    {
        EXPECT_EQ(bz_CreateDiscModel("d", bad, 1, nullptr), nullptr);
        EXPECT_EQ(bz_CreateConeModel("c", bad, 1, 1, nullptr, 1, 0, 0), nullptr);
        EXPECT_EQ(bz_CreateCylinderModel("y", bad, 1, 1, nullptr, 1, 0), nullptr);
        EXPECT_EQ(bzgLastError, 20);
    }
}

TEST_F(DisplayModelsTest, GroundFromAHeightFile)
{
    Put("hills.raw", std::string("\x00\x7f\xff\x00\x00\x00\xff\x00\x00", 9));
    bzModel *m = bz_CreateGroundModel("hills.raw", nullptr, 3.0f, 2.0f, nullptr);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->vertexData->vertexCount, 9);
    EXPECT_EQ(m->vertexData->polygonCount, 8);
    EXPECT_FLOAT_EQ(m->vertexData->vertices[2].y, 2.0f);
    EXPECT_FLOAT_EQ(m->vertexData->vertices[0].x, -1.0f); // spacing 1, centred
    EXPECT_FLOAT_EQ(m->vertexData->vertices[8].z, 1.0f);
    EXPECT_EQ(m->vertexData->polygons[0].v[1], 4u); // (v, v + n + 1, v + 1)
    bz_ReleaseModel(m);
    Put("empty.raw", "");
    Put("five.raw", "12345");
    struct Row
    {
        const char *file;
        int32_t error;
    };
    for (const Row &row : {Row{"empty.raw", 0}, Row{"five.raw", 29}, Row{"absent.raw", 19}})
    {
        bzgLastError = 0;
        EXPECT_EQ(bz_CreateGroundModel(row.file, nullptr, 1, 1, nullptr), nullptr) << row.file;
        if (row.error)
            EXPECT_EQ(bzgLastError, row.error) << row.file;
        else
            EXPECT_NE(bzgLastError, 0) << row.file;
    }
}

TEST_F(DisplayModelsTest, VertexAndPolygonHelpers)
{
    bzModelDataVertex v[3] = {};
    int32_t count = 1;
    const bzV3 near = {0.00005f, 0, 0}, far = {1, 0, 0};
    EXPECT_EQ(bz_AddUniqueVertex(v, &count, &near), 0);
    EXPECT_EQ(bz_AddUniqueVertex(v, &count, &far), 1);
    EXPECT_EQ(count, 2);
    bzModel *m = bz_CreateCubeModel("c", nullptr, 1);
    EXPECT_EQ(bz_FindFlaggedPolygon(m, 0, 12), -1);
    m->vertexData->polygons[7].flags |= BZ_POLYGON_SEARCHED;
    EXPECT_EQ(bz_FindFlaggedPolygon(m, 0, 12), 7);
    EXPECT_EQ(bz_FindFlaggedPolygon(m, 8, 12), -1);
    bz_ReleaseModel(m);
    const float a[4] = {0, 1, 2, 3}, b[4] = {4, 5, 6, 7};
    float out[4] = {};
    bz_LerpV4(a, out, b, 0.25f);
    EXPECT_FLOAT_EQ(out[3], 4.0f);
    bz_LerpV3(a, out, b, 0.5f);
    EXPECT_FLOAT_EQ(out[0], 2.0f);
}
} // namespace
