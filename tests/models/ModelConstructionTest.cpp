#include "models/ModelConstruction.h"

#include "ModelsTestSupport.h"
#include "maths/Matrix.h"
#include "models/DisplayModels.h"
#include "models/ModelCleanup.h"

namespace
{
using ModelConstructionTest = ModelRecordsTest;

bzM34 Shift(float x, float y, float z)
{
    bzM34 m;
    bz_M34_SetIdentity(&m);
    m.row[3] = {x, y, z};
    return m;
}

// A unit square of two triangles in the x-y plane, facing +z.
bzModel *Square()
{
    bzModel *m = bz_CreateModel(2, 4);
    const float c[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    for (int32_t i = 0; i < 4; ++i)
    {
        m->vertexData->vertices[i].x = c[i][0];
        m->vertexData->vertices[i].y = c[i][1];
    }
    const uint32_t f[2][3] = {{0, 1, 2}, {0, 2, 3}};
    for (int32_t i = 0; i < 2; ++i)
        for (int32_t k = 0; k < 3; ++k)
            m->vertexData->polygons[i].v[k] = f[i][k];
    return m;
}

TEST_F(ModelConstructionTest, ExtrudingSelectedPolygonsClosesTheirBorder)
{
    bzModel *m = Square();
    m->vertexData->polygons[0].flags |= BZ_POLYGON_SEARCHED;
    m->vertexData->polygons[1].flags |= BZ_POLYGON_SEARCHED;
    const bzM34 up = Shift(0, 0, 2);
    ASSERT_EQ(bz_ExtrudeFlaggedPolygons(m, &up, 1), 0);
    const bzModelVertexData *d = m->vertexData;
    EXPECT_EQ(d->vertexCount, 8);
    EXPECT_EQ(d->polygonCount, 2 + 4 * 2); // the shared diagonal is no border
    for (int32_t i = 0; i < 2; ++i)
    {
        for (uint32_t v : d->polygons[i].v)
            EXPECT_FLOAT_EQ(d->vertices[v].z, 2.0f);
        EXPECT_EQ(d->polygons[i].flags & BZ_POLYGON_BORDER_EDGES, i == 0 ? 0x0C : 0x18);
    }
    float walls = 0;
    for (int32_t i = 2; i < d->polygonCount; ++i)
    {
        walls += bz_PolygonArea2(&d->polygons[i], d->vertices);
        EXPECT_EQ(d->polygons[i].colours[0], 0xFFFFFFFFu);
        // Walls face out of the square.
        const bzModelPolygon &p = d->polygons[i];
        const float cx = (d->vertices[p.v[0]].x + d->vertices[p.v[1]].x) * 0.5f - 0.5f;
        const float cy = (d->vertices[p.v[0]].y + d->vertices[p.v[1]].y) * 0.5f - 0.5f;
        EXPECT_GT(p.faceNormal.x * cx + p.faceNormal.y * cy, 0.0f) << i;
    }
    EXPECT_FLOAT_EQ(walls, 4 * 2 * 2.0f); // four 1 x 2 walls, doubled areas
    EXPECT_EQ(bz_ExtrudeFlaggedPolygons(nullptr, &up, 0), 71);
    bz_ReleaseModel(m);
}

TEST_F(ModelConstructionTest, CopyingSelectedPolygonsReusesCloseVertices)
{
    bzModel *m = bz_CreateCubeModel("c", nullptr, 1.0f);
    const bzM34 none = Shift(0, 0, 0), away = Shift(10, 0, 0);
    EXPECT_EQ(bz_CopyFlaggedPolygons(m, &away, 1, 0), 0); // nothing selected
    EXPECT_EQ(m->vertexData->polygonCount, 12);
    m->vertexData->polygons[0].flags |= BZ_POLYGON_COPY;
    m->vertexData->polygons[5].flags |= BZ_POLYGON_COPY;
    ASSERT_EQ(bz_CopyFlaggedPolygons(m, &none, 0, 1), 0);
    EXPECT_EQ(m->vertexData->vertexCount, 8);
    ASSERT_EQ(m->vertexData->polygonCount, 14);
    // The last selected is copied first, flipped.
    EXPECT_EQ(m->vertexData->polygons[12].v[0], m->vertexData->polygons[5].v[1]);
    EXPECT_EQ(m->vertexData->polygons[12].v[1], m->vertexData->polygons[5].v[0]);
    ASSERT_EQ(bz_CopyFlaggedPolygons(m, &away, 1, 0), 0);
    EXPECT_EQ(m->vertexData->polygonCount, 18);   // the two copies were selected too
    EXPECT_EQ(m->vertexData->vertexCount, 8 + 6); // six distinct corners, each moved once
    bz_ReleaseModel(m);
}

TEST_F(ModelConstructionTest, EdgesAndSmoothingReset)
{
    bzModel *m = Square();
    const uint32_t edges[4] = {0, 1, 1, 2};
    const bzM34 up = Shift(0, 0, 1);
    ASSERT_EQ(bz_ExtrudeModelEdges(m, edges, 2, &up, 1), 0);
    EXPECT_EQ(m->vertexData->vertexCount, 4 + 3); // vertex 1 copied once
    EXPECT_EQ(m->vertexData->polygonCount, 2 + 4);
    EXPECT_EQ(m->vertexData->polygons[5].smoothing, 1);
    const uint32_t bad[2] = {0, 9};
    EXPECT_EQ(bz_ExtrudeModelEdges(m, bad, 1, &up, 0), 29);
    ASSERT_EQ(bz_ResetPolygonFlags(m), 0);
    for (int32_t i = 0; i < m->vertexData->polygonCount; ++i)
        EXPECT_EQ(m->vertexData->polygons[i].smoothing, 0);
    EXPECT_EQ(bz_ResetPolygonFlags(nullptr), 71);
    bz_ReleaseModel(m);
}
} // namespace
