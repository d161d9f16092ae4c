#include "models/ModelPrepare.h"

#include "ModelsTestSupport.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace
{
using ModelPrepareTest = ModelRecordsTest;

TEST_F(ModelPrepareTest, BatchesAreCutAt16383Indices)
{
    bz_SetModelLoadOptions(BZ_MODELOPT_NO_STRIPS);
    bzMaterial *mat = bz_CreateMaterial("mat", 1);
    bzModel *m = MakeTriangles(5462, mat);
    EXPECT_EQ(bz_PrepareModelGeometry(m, BZ_PREPARE_REBUILD), 0);
    bzModelPart *part = m->part;
    ASSERT_NE(part, nullptr);
    ASSERT_EQ(part->entryCount, 2);
    EXPECT_EQ(part->entries[0].listIndexCount, 16383u);
    EXPECT_EQ(part->entries[1].listIndexCount, 3u);
    EXPECT_EQ(part->entries[1].listBaseVertex, 16383u);
    EXPECT_EQ(part->entries[1].listVertexSpan, 3u);
    EXPECT_EQ(part->entries[0].material, mat);
    EXPECT_EQ(mat->refCount, 3);
    EXPECT_EQ(part->faceCount, 5462);
    EXPECT_EQ(part->vertexCount, 3 * 5462);
    EXPECT_EQ(part->faces[5461].entry, 1);
    // What the plain material asks for: one position array and one packed normal array.
    EXPECT_EQ(part->vertexFormat, 0x284u);
    EXPECT_EQ(part->vertexStride, 16u);
    EXPECT_EQ(m->vertexData->faceToPolygon[5461], 5461u);
    // Each source vertex made one part vertex.
    EXPECT_EQ(m->vertexData->vertices[7].runCount, 1);
    EXPECT_EQ(m->vertexData->vertices[7].run[0], 7u);
    bz_ReleaseModel(m);
    bz_ReleaseMaterial(mat);
}

// Two faces share source vertex 0 with different texture coordinates.
TEST_F(ModelPrepareTest, CornersAreSharedByTheMaterialsMask)
{
    struct Case
    {
        uint32_t derived;
        int32_t vertices;
    } cases[] = {{0, 3}, {BZ_MATDERIVED_SET0, 4}, {BZ_MATDERIVED_SET1, 3}};
    for (const Case &c : cases)
    {
        bzMaterial *mat = bz_CreateMaterial("mat", 1);
        mat->derivedFlags = c.derived;
        bzModel *m = bz_CreateModel(2, 3);
        m->vertexData->vertices[1].x = 1;
        m->vertexData->vertices[2].y = 1;
        bzModelPolygon *p = m->vertexData->polygons;
        const uint32_t corners[2][3] = {{0, 1, 2}, {0, 2, 1}};
        for (int32_t f = 0; f < 2; ++f)
        {
            std::memcpy(p[f].v, corners[f], sizeof corners[f]);
            p[f].material = mat;
        }
        p[1].uv[0][0] = 0.5f; // corner 0 of the second face: another u of set 0
        EXPECT_EQ(bz_PrepareModelGeometry(m, BZ_PREPARE_REBUILD), 0);
        EXPECT_EQ(m->part->vertexCount, c.vertices) << "mask " << c.derived;
        EXPECT_EQ(m->vertexData->vertices[0].runCount, c.vertices - 2);
        bz_ReleaseModel(m);
        bz_ReleaseMaterial(mat);
    }
}

TEST_F(ModelPrepareTest, WideBatchesAreSplitAlongX)
{
    bz_SetModelLoadOptions(BZ_MODELOPT_NO_STRIPS);
    bzMaterial *mat = bz_CreateMaterial("mat", 1);
    bzModel *m = MakeTriangles(100, mat); // 0 to 101 along x
    m->flags |= BZ_MODEL_SPLIT_BATCHES;
    EXPECT_EQ(bz_PrepareModelGeometry(m, BZ_PREPARE_REBUILD), 0);
    EXPECT_EQ(m->flags & BZ_MODEL_BATCHES_SPLIT, BZ_MODEL_BATCHES_SPLIT);
    const bzModelPart *part = m->part;
    ASSERT_GT(part->entryCount, 1);
    std::vector<std::array<float, 3>> drawn;
    uint32_t faces = 0;
    for (int32_t i = 0; i < part->entryCount; ++i)
    {
        const bzMaterialEntry &e = part->entries[i];
        EXPECT_LE(e.boxMax.x - e.boxMin.x, 30.0f) << "batch " << i;
        EXPECT_EQ(e.material, mat);
        faces += e.listIndexCount / 3;
        for (uint32_t k = 0; k < e.listIndexCount; ++k)
        {
            const uint32_t v = e.listBaseVertex + e.listIndices[k];
            ASSERT_LT(v, static_cast<uint32_t>(part->vertexCount));
            ASSERT_LT(e.listIndices[k], e.listVertexSpan);
            const bzV3 &p = part->positions[0][v];
            drawn.push_back({p.x, p.y, p.z});
        }
    }
    EXPECT_EQ(faces, 100u);
    // Every triangle is drawn once: the corners (t, 0), (t + 1, 0), (t, 1) of every t.
    std::vector<std::array<float, 3>> expected;
    for (int32_t t = 0; t < 100; ++t)
        for (const auto &c : {std::array<float, 3>{static_cast<float>(t), 0, 0},
                              std::array<float, 3>{static_cast<float>(t + 1), 0, 0},
                              std::array<float, 3>{static_cast<float>(t), 1, 0}})
            expected.push_back(c);
    std::sort(drawn.begin(), drawn.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(drawn, expected);
    // The faces name their batch and its vertices.
    for (int32_t f = 0; f < part->faceCount; ++f)
    {
        const bzMaterialEntry &e = part->entries[part->faces[f].entry];
        for (uint32_t v : part->faces[f].v)
        {
            EXPECT_GE(v, e.listBaseVertex);
            EXPECT_LT(v, e.listBaseVertex + e.listVertexSpan);
        }
    }
    bz_ReleaseModel(m);
    bz_ReleaseMaterial(mat);
}

// Splitting stops when the 4,096 batch records are taken; every face is still drawn.
TEST_F(ModelPrepareTest, SplittingStopsAtTheBatchLimit)
{
    bz_SetModelLoadOptions(BZ_MODELOPT_NO_STRIPS);
    bzModel *m = MakeTriangles(5000, nullptr);
    m->flags |= BZ_MODEL_SPLIT_BATCHES;
    m->maxBatchExtent = 0.25f;
    EXPECT_EQ(bz_PrepareModelGeometry(m, BZ_PREPARE_REBUILD), 0);
    const bzModelPart *part = m->part;
    EXPECT_EQ(part->entryCount, 4096);
    uint32_t indices = 0;
    for (int32_t i = 0; i < part->entryCount; ++i)
    {
        indices += part->entries[i].listIndexCount;
        EXPECT_GT(part->entries[i].listIndexCount, 0u);
    }
    EXPECT_EQ(indices, 15000u);
    EXPECT_EQ(part->faceCount, 5000);
    bz_ReleaseModel(m);
}

TEST_F(ModelPrepareTest, PackedVertices)
{
    bzModel *m = bz_CreateModel(0, 0);
    bzModelPart *part = MakePart(m, 1);
    part->vertexFormat = 0x2484 | 0x200 | 0x8000;
    part->positions[0][0] = {1.5f, 0, 0};
    part->normals[0][0] = {0, 0, 1};
    part->colours[0][0] = 0x11223344u;
    part->uvs[0][0] = 1.0f;
    part->uvs[0][1] = -0.5f;
    part->uvs[1][0] = 0.25f;
    uint8_t bytes[32];
    std::memset(bytes, 0xEE, sizeof bytes);
    PackModelVertex(part, 0, bytes);
    const uint8_t expected[28] = {
        0x00, 0x00, 0xC0, 0x3F, 0, 0, 0, 0, 0, 0, 0, 0, // position
        254,  127,  127,  0,                            // normal z, y, x, 0
        0x44, 0x33, 0x22, 0x11,                         // colour
        0xFF, 0x07, 0x01, 0xFC,                         // 2047, -1023
        0xFF, 0x01, 0x00, 0x00,                         // 511, 0
    };
    EXPECT_EQ(0, std::memcmp(bytes, expected, sizeof expected));
    EXPECT_EQ(bytes[28], 0xEE);
    EXPECT_EQ(VertexFormatSize(part->vertexFormat), 28u);

    // Two influences: weights 0 and 1, then indices 0 and 1; floats for the normal.
    part->vertexFormat = 0x0004 | 0x0020 | 0x0080;
    EXPECT_EQ(AllocModelPartArrays(part, 1, 2, 1, 0, 0), 0);
    part->boneWeights[0][0] = 200;
    part->boneWeights[1][0] = 55;
    part->boneIndices[0][0] = 3;
    part->boneIndices[1][0] = 9;
    PackModelVertex(part, 0, bytes);
    const uint8_t bones[4] = {200, 55, 3, 9};
    EXPECT_EQ(0, std::memcmp(bytes + 12, bones, 4));
    float nz = 0;
    std::memcpy(&nz, bytes + 24, 4);
    EXPECT_EQ(nz, 1.0f);
    bz_ReleaseModel(m);
}

int32_t gSkeletons;

TEST_F(ModelPrepareTest, SkeletonDataAloneDoesNotRebuild)
{
    bzModel *m = MakeTriangles(2, nullptr);
    m->vertexData->userWord = BZ_VDATA_BONES;
    EXPECT_EQ(bz_PrepareModelGeometry(m, 0xFFFFFBF & ~0x800u), 0);
    // A face without material is drawn with the default one.
    EXPECT_EQ(m->part->entries[0].material, bz_GetDefaultMaterial());
    const bzModelPart *part = m->part;
    gSkeletons = 0;
    bz_SetModelSkeletonBuilder([](bzModel *) { ++gSkeletons; });
    const uint32_t rebuilds = bz_MemDevice_CallCount(101);
    const uint32_t updates = bz_MemDevice_CallCount(98);
    EXPECT_EQ(bz_PrepareModelGeometry(m, BZ_PREPARE_SKELETON), 0);
    EXPECT_EQ(m->part, part);
    EXPECT_EQ(bz_MemDevice_CallCount(101), rebuilds);
    EXPECT_EQ(bz_MemDevice_CallCount(98), updates + 1);
    EXPECT_EQ(gSkeletons, 1);
    // Not skinned: nothing.
    m->vertexData->userWord = 0;
    EXPECT_EQ(bz_PrepareModelGeometry(m, BZ_PREPARE_SKELETON), 0);
    EXPECT_EQ(gSkeletons, 1);
    bz_SetModelSkeletonBuilder(nullptr);
    bz_ReleaseModel(m);
}

TEST_F(ModelPrepareTest, BadAndEmptyInput)
{
    bzModel *bare = bz_CreateModel(0, 0);
    EXPECT_EQ(bz_PrepareModelGeometry(bare, BZ_PREPARE_REBUILD), 29);
    EXPECT_EQ(bare->part, nullptr);
    EXPECT_EQ(bz_PrepareModelGeometry(nullptr, BZ_PREPARE_REBUILD), 29);

    // Every face left out: one empty entry and no faces.
    bzModel *out = MakeTriangles(3, nullptr);
    for (int32_t f = 0; f < 3; ++f)
        out->vertexData->polygons[f].flags = BZ_POLYGON_LEFT_OUT;
    EXPECT_EQ(bz_PrepareModelGeometry(out, 0xFFFFFBF), 0);
    ASSERT_NE(out->part, nullptr);
    EXPECT_EQ(out->part->entryCount, 1);
    EXPECT_EQ(out->part->entries[0].listIndexCount, 0u);
    EXPECT_EQ(out->part->faceCount, 0);
    EXPECT_EQ(out->part->vertexCount, 0);

    // Degenerate faces are left out; planes mark them.
    bzModel *flat = MakeTriangles(2, nullptr);
    flat->vertexData->vertices[5].x = 2;
    flat->vertexData->vertices[5].y = 0; // triangle 1 collinear
    EXPECT_EQ(bz_PrepareModelGeometry(flat, 0xFFFFFBF), 0);
    EXPECT_EQ(flat->part->faceCount, 1);

    // Faces only, no vertices: an empty part and an empty box.
    bzModel *noVertices = bz_CreateModel(2, 0);
    EXPECT_EQ(bz_PrepareModelGeometry(noVertices, 0xFFFFFBF), 0);
    EXPECT_EQ(noVertices->part->faceCount, 0);
    EXPECT_EQ(noVertices->radius, 0.0f);

    // Rebuilding frees the old part; releasing leaves nothing behind.
    EXPECT_EQ(bz_PrepareModelGeometry(flat, BZ_PREPARE_REBUILD), 0);
    for (bzModel *x : {bare, out, flat, noVertices})
        bz_ReleaseModel(x);
}
} // namespace
