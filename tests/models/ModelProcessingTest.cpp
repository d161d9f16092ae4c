#include "models/ModelProcessing.h"

#include "ModelsTestSupport.h"

#include <cmath>
#include <vector>

namespace
{
using ModelProcessingTest = ModelRecordsTest;

void SetVertex(bzModel *m, int32_t i, float x, float y, float z)
{
    m->vertexData->vertices[i].x = x;
    m->vertexData->vertices[i].y = y;
    m->vertexData->vertices[i].z = z;
}

void SetPolygon(bzModel *m, int32_t f, uint32_t a, uint32_t b, uint32_t c, uint16_t mask = 1)
{
    bzModelPolygon &p = m->vertexData->polygons[f];
    p.v[0] = a;
    p.v[1] = b;
    p.v[2] = c;
    p.smoothing = mask;
}

void ExpectV3(const bzV3 &v, float x, float y, float z)
{
    EXPECT_NEAR(v.x, x, 1e-6f);
    EXPECT_NEAR(v.y, y, 1e-6f);
    EXPECT_NEAR(v.z, z, 1e-6f);
}

TEST_F(ModelProcessingTest, FacePlanesAndDegenerateFaces)
{
    bzModel *m = bz_CreateModel(4, 5);
    SetVertex(m, 0, 0, 0, 0);
    SetVertex(m, 1, 1, 0, 0);
    SetVertex(m, 2, 0, 1, 0);
    SetVertex(m, 3, 2, 0, 0);
    SetVertex(m, 4, 0, 0, 3);
    SetPolygon(m, 0, 0, 1, 2); // (p0 - p1) x (p0 - p2) = (0, 0, 1)
    SetPolygon(m, 1, 0, 1, 3); // collinear
    SetPolygon(m, 2, 4, 4, 4); // one vertex: corner 0's normal
    SetPolygon(m, 3, 2, 0, 0); // corners 1 and 2 alike: corner 0's normal
    m->vertexData->polygons[2].normals[0] = {0, 1, 0};
    m->vertexData->polygons[2].degenerate = 7;
    m->vertexData->polygons[3].normals[0] = {1, 0, 0};
    EXPECT_EQ(ComputeModelFacePlanes(m), 0);
    const bzModelPolygon *p = m->vertexData->polygons;
    ExpectV3(p[0].faceNormal, 0, 0, 1);
    EXPECT_EQ(p[0].degenerate, 0u);
    EXPECT_EQ(p[0].d, 0.0f);
    ExpectV3(p[1].faceNormal, 0, 0, 1);
    EXPECT_EQ(p[1].degenerate, 1u);
    ExpectV3(p[2].faceNormal, 0, 1, 0);
    EXPECT_EQ(p[2].degenerate, 7u); // left as it was
    EXPECT_EQ(p[2].d, 0.0f);        // (0, 1, 0) . (0, 0, 3)
    ExpectV3(p[3].faceNormal, 1, 0, 0);
    bz_ReleaseModel(m);
}

// Three faces with a corner at one point and masks 1, 2, 3: the first sums its own and the
// third's face normals (the second is tested before its mask grows), the others all three.
TEST_F(ModelProcessingTest, SmoothingGroupsSpreadInRunOrder)
{
    bzModel *m = bz_CreateModel(3, 7);
    for (int32_t i = 1; i < 7; ++i)
        SetVertex(m, i, static_cast<float>(i), static_cast<float>(10 * i), 5.0f);
    // Masks given out of order: 3, 1, 2; the corners at vertex 0 sort as 1, 2, 3.
    SetPolygon(m, 0, 0, 1, 2, 3);
    SetPolygon(m, 1, 0, 3, 4, 1);
    SetPolygon(m, 2, 0, 5, 6, 2);
    bzModelPolygon *p = m->vertexData->polygons;
    p[0].faceNormal = {0, 0, 1}; // mask 3
    p[1].faceNormal = {1, 0, 0}; // mask 1
    p[2].faceNormal = {0, 1, 0}; // mask 2
    EXPECT_EQ(SmoothModelCornerNormals(m), 0);
    const float r2 = 1.0f / std::sqrt(2.0f), r3 = 1.0f / std::sqrt(3.0f);
    ExpectV3(p[1].normals[0], r2, 0, r2); // mask 1: itself and mask 3
    ExpectV3(p[2].normals[0], r3, r3, r3);
    ExpectV3(p[0].normals[0], r3, r3, r3);
    // The other corners stand alone.
    ExpectV3(p[0].normals[1], 0, 0, 1);
    ExpectV3(p[1].normals[2], 1, 0, 0);

    // With one group for all, every corner at the point sums all three.
    m->vertexData->userWord = BZ_VDATA_ONE_SMOOTHING_GROUP;
    SmoothModelCornerNormals(m);
    ExpectV3(p[1].normals[0], r3, r3, r3);
    bz_ReleaseModel(m);
}

TEST_F(ModelProcessingTest, TheSmoothingToleranceIsAFewTenThousandths)
{
    struct Case
    {
        bzV3 offset;
        bool together;
    } cases[] = {
        {{0.00009f, 0.00009f, 0.00009f}, true},
        {{0.0002f, 0.0f, 0.0f}, false},
        {{0.0f, 0.0f, 0.0002f}, false},
    };
    for (const Case &c : cases)
    {
        bzModel *m = bz_CreateModel(2, 6);
        SetVertex(m, 1, c.offset.x, c.offset.y, c.offset.z);
        for (int32_t i = 2; i < 6; ++i)
            SetVertex(m, i, static_cast<float>(i), 1.0f, static_cast<float>(-i));
        SetPolygon(m, 0, 0, 2, 3);
        SetPolygon(m, 1, 1, 4, 5);
        bzModelPolygon *p = m->vertexData->polygons;
        p[0].faceNormal = {1, 0, 0};
        p[1].faceNormal = {0, 1, 0};
        SmoothModelCornerNormals(m);
        const float r2 = 1.0f / std::sqrt(2.0f);
        if (c.together)
            ExpectV3(p[0].normals[0], r2, r2, 0);
        else
            ExpectV3(p[0].normals[0], 1, 0, 0);
        bz_ReleaseModel(m);
    }
}

TEST_F(ModelProcessingTest, RadialNormalsPointAwayFromTheOrigin)
{
    bzModel *m = bz_CreateModel(1, 3);
    m->flags |= BZ_MODEL_RADIAL_NORMALS;
    SetVertex(m, 0, 3, 0, 4);
    SetVertex(m, 1, 0, -2, 0);
    SetVertex(m, 2, 0, 0, 0);
    SetPolygon(m, 0, 0, 1, 2);
    m->vertexData->polygons[0].faceNormal = {1, 0, 0};
    SmoothModelCornerNormals(m);
    const bzModelPolygon &p = m->vertexData->polygons[0];
    ExpectV3(p.normals[0], 0.6f, 0, 0.8f);
    ExpectV3(p.normals[1], 0, -1, 0);
    ExpectV3(p.normals[2], 1, 0, 0); // at the origin: the face normal
    bz_ReleaseModel(m);
}

TEST_F(ModelProcessingTest, BoundsOfOneVertexAndOfNone)
{
    bzModel *m = bz_CreateModel(0, 1);
    SetVertex(m, 0, 1, 2, 3);
    ComputeModelBounds(m);
    ExpectV3(m->boxMin, 0.999f, 1.999f, 2.999f);
    ExpectV3(m->boxMax, 1.001f, 2.001f, 3.001f);
    ExpectV3(m->centre, 1, 2, 3);
    EXPECT_NEAR(m->radius, 0.0f, 1e-6f);

    bzModel *box = bz_CreateModel(0, 2);
    SetVertex(box, 0, -1, 0, 0);
    SetVertex(box, 1, 3, 0, 0);
    ComputeModelBounds(box);
    // The box starts 0.001 around the first vertex and grows to the second.
    ExpectV3(box->boxMin, -1.001f, -0.001f, -0.001f);
    ExpectV3(box->boxMax, 3, 0.001f, 0.001f);
    ExpectV3(box->centre, 0.9995f, 0, 0);
    EXPECT_NEAR(box->radius, 2.0005f, 1e-5f);

    // A model without vertices has an empty box at the origin (nothing is read).
    bzModel *empty = bz_CreateModel(0, 0);
    empty->radius = 9.0f;
    empty->boxMax = {5, 5, 5};
    ComputeModelBounds(empty);
    ExpectV3(empty->boxMax, 0, 0, 0);
    EXPECT_EQ(empty->radius, 0.0f);
    for (bzModel *x : {m, box, empty})
        bz_ReleaseModel(x);
}

int32_t gSeamTriangles;
int32_t gShadowFaces;
void RecordShadow(bzModel *model, const bzShadowFace *, int32_t seams)
{
    gSeamTriangles = seams;
    gShadowFaces = model->part->faceCount;
}

// A unit cube of 6 sides, each with its own 4 vertices and 2 faces, wound outwards.
bzModel *Cube(bool shared)
{
    bzModel *m = bz_CreateModel(0, 0);
    bzModelPart *part = bz_CreateModelPart(m);
    static const float corner[8][3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0},
                                       {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};
    static const uint32_t sides[6][4] = {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4},
                                         {2, 3, 7, 6}, {1, 2, 6, 5}, {0, 4, 7, 3}};
    part->vertexCount = shared ? 8 : 24;
    part->positions[0] = static_cast<bzV3 *>(bz_MemAlloc(24 * sizeof(bzV3), BZ_MEM_CLEAR));
    part->faces = static_cast<bzModelFace *>(bz_MemAlloc(12 * sizeof(bzModelFace), BZ_MEM_CLEAR));
    part->faceCount = 12;
    for (int32_t s = 0; s < 6; ++s)
    {
        uint32_t v[4];
        for (int32_t k = 0; k < 4; ++k)
        {
            const uint32_t c = sides[s][k];
            v[k] = shared ? c : static_cast<uint32_t>(4 * s + k);
            part->positions[0][v[k]] = {corner[c][0], corner[c][1], corner[c][2]};
        }
        const uint32_t tris[2][3] = {{v[0], v[1], v[2]}, {v[0], v[2], v[3]}};
        for (int32_t t = 0; t < 2; ++t)
            for (int32_t k = 0; k < 3; ++k)
                part->faces[2 * s + t].v[k] = tris[t][k];
    }
    return m;
}

TEST_F(ModelProcessingTest, ShadowEdgesFindSeamsBetweenDuplicatedVertices)
{
    bzgRenderTable.PDSetShadowVolumeData = RecordShadow;
    // Every cube edge joins two sides with their own vertices: 12 seam quads, 24 triangles.
    // The diagonal inside a side shares its vertices and has no seam.
    bzModel *split = Cube(false);
    gSeamTriangles = -1;
    EXPECT_EQ(bz_BuildModelShadowEdges(split), 0);
    EXPECT_EQ(split->part->flags & BZ_PART_SHADOW_WELDED, BZ_PART_SHADOW_WELDED);
    EXPECT_EQ(gSeamTriangles, 24);
    EXPECT_EQ(gShadowFaces, 12);

    bzModel *shared = Cube(true);
    gSeamTriangles = -1;
    EXPECT_EQ(bz_BuildModelShadowEdges(shared), 0);
    EXPECT_EQ(gSeamTriangles, 0);

    bzModel *none = bz_CreateModel(0, 0);
    EXPECT_EQ(bz_BuildModelShadowEdges(none), 76);
    for (bzModel *x : {split, shared, none})
        bz_ReleaseModel(x);
}

TEST_F(ModelProcessingTest, TwoFacesAcrossOneEdge)
{
    static const bzShadowFace *seen;
    bzgRenderTable.PDSetShadowVolumeData = [](bzModel *, const bzShadowFace *faces, int32_t n)
    {
        gSeamTriangles = n;
        seen = faces;
        // The neighbours and the seam quad, checked while the array lives.
        EXPECT_EQ(faces[0].neighbours[1], &faces[1]);
        EXPECT_EQ(faces[1].neighbours[0], &faces[0]);
        EXPECT_EQ(faces[0].seamFlags[1], 1u);
        // a = i's vertex at the edge's end (corner 2: 2), b at its start (corner 1: 1),
        // c = j's vertex at b's position (4), d at a's position (3).
        const uint32_t quad[6] = {2, 1, 4, 2, 4, 3};
        for (int32_t k = 0; k < 6; ++k)
            EXPECT_EQ(faces[0].seams[1][k], quad[k]);
    };
    bzModel *m = bz_CreateModel(0, 0);
    bzModelPart *part = bz_CreateModelPart(m);
    part->vertexCount = 6;
    part->positions[0] = static_cast<bzV3 *>(bz_MemAlloc(6 * sizeof(bzV3), BZ_MEM_CLEAR));
    const bzV3 pos[6] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 1, 0}, {1, 0.00005f, 0}, {1, 1, 0}};
    for (int32_t i = 0; i < 6; ++i)
        part->positions[0][i] = pos[i];
    SetFaces(part, {{0, 1, 2}, {3, 4, 5}});
    EXPECT_EQ(bz_BuildModelShadowEdges(m), 0);
    EXPECT_EQ(gSeamTriangles, 2);
    EXPECT_NE(seen, nullptr);
    bz_ReleaseModel(m);
}

TEST_F(ModelProcessingTest, PartNormalsAndPositionsFollowTheSource)
{
    bzModel *m = bz_CreateModel(0, 2);
    bzModelPart *part = MakePart(m, 4);
    part->positions[0][0] = {0, 0, 0};
    part->positions[0][1] = {1, 0, 0};
    part->positions[0][2] = {0, 1, 0};
    SetFaces(part, {{0, 1, 2}});
    EXPECT_EQ(RecalcModelPartNormals(m), 12);
    ExpectV3(part->normals[0][1], 0, 0, 1);
    ExpectV3(part->normals[0][3], 0, 0, 0); // used by no face

    // Source vertex 1 made part vertices 1 and 3.
    uint32_t run[2] = {1, 3};
    m->vertexData->vertices[1] = {5, 6, 7, run, 2, 0};
    m->vertexData->vertices[0] = {9, 9, 9, nullptr, 0, 0};
    const uint32_t builds = bz_MemDevice_CallCount(99);
    UpdateModelPartPositions(m);
    ExpectV3(part->positions[0][3], 5, 6, 7);
    ExpectV3(part->positions[0][1], 5, 6, 7);
    ExpectV3(part->positions[0][0], 0, 0, 0);
    EXPECT_EQ(bz_MemDevice_CallCount(99), builds + 1);
    EXPECT_EQ(part->flags & BZ_PART_CHANGED, 0u);
    m->vertexData->vertices[1].run = nullptr;
    bz_ReleaseModel(m);
}
} // namespace
