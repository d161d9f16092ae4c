#include "models/Model.h"
#include "models/ModelPrepare.h"

#include "ModelsTestSupport.h"

#include <cstring>
#include <string>
#include <vector>

namespace
{
using ModelTest = ModelRecordsTest;

// The head's prev is the last model and the last model's next is null; the walk from the
// head meets exactly the expected models in order.
void ExpectList(const std::vector<bzModel *> &expected)
{
    if (expected.empty())
    {
        EXPECT_EQ(bzgModelList, nullptr);
        return;
    }
    ASSERT_EQ(bzgModelList, expected.front());
    EXPECT_EQ(bzgModelList->prev, expected.back());
    EXPECT_EQ(expected.back()->next, nullptr);
    std::vector<bzModel *> walked;
    for (bzModel *m = bzgModelList; m && walked.size() < 10; m = m->next)
        walked.push_back(m);
    EXPECT_EQ(walked, expected);
}

TEST_F(ModelTest, ANewModelHasItsDefaultsAndIsLast)
{
    bzModel *a = bz_CreateModel(0, 0);
    bzModel *b = bz_CreateModel(3, 4);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->refCount, 1);
    EXPECT_EQ(b->index, -1);
    EXPECT_EQ(b->maxBatchExtent, 30.0f);
    EXPECT_EQ(b->minBatchFaces, 0);
    EXPECT_EQ(b->flags, 0);
    EXPECT_EQ(a->vertexData, nullptr);
    ASSERT_NE(b->vertexData, nullptr);
    EXPECT_EQ(b->vertexData->polygonCount, 3);
    EXPECT_EQ(b->vertexData->vertexCount, 4);
    EXPECT_EQ(b->vertexData->model, b);
    EXPECT_EQ(bzgModelCount, 2);
    ExpectList({a, b});

    bz_SetModelLoadOptions(0x08);
    EXPECT_EQ(bz_GetModelLoadOptions(), 0x08u);
    bzModel *debug = bz_CreateModel(0, 0);
    EXPECT_EQ(debug->flags & 1, 1);
    bz_ReleaseModel(debug);
    bz_ReleaseModel(a);
    bz_ReleaseModel(b);
}

TEST_F(ModelTest, RemovingFromTheListKeepsTheHeadsPrevOnTheLast)
{
    bzModel *a = bz_CreateModel(0, 0);
    bzModel *b = bz_CreateModel(0, 0);
    bzModel *c = bz_CreateModel(0, 0);
    ExpectList({a, b, c});
    bz_UnlinkModel(b);
    EXPECT_EQ(b->prev, nullptr);
    EXPECT_EQ(b->next, nullptr);
    ExpectList({a, c});
    bz_UnlinkModel(a);
    ExpectList({c});
    bz_UnlinkModel(c);
    ExpectList({});
    bz_UnlinkModel(nullptr);
    EXPECT_EQ(bz_LinkModel(nullptr), nullptr);

    // Appending again after the list ran empty.
    bz_LinkModel(c);
    bz_LinkModel(a);
    ExpectList({c, a});
    bz_UnlinkModel(a); // the last
    ExpectList({c});
    bz_LinkModel(a);
    bz_LinkModel(b);
    ExpectList({c, a, b});
    for (bzModel *m : {a, b, c})
        bz_ReleaseModel(m);
    ExpectList({});
}

TEST_F(ModelTest, ReleaseFreesAtTheLastReference)
{
    bzModel *a = bz_CreateModel(0, 0);
    bzModel *b = bz_CreateModel(2, 2);
    bz_AddModelReference(b);
    bz_ReleaseModel(b);
    EXPECT_EQ(b->refCount, 1);
    EXPECT_EQ(bzgModelCount, 2);
    ExpectList({a, b});
    bz_ReleaseModel(b);
    EXPECT_EQ(bzgModelCount, 1);
    ExpectList({a});
    bz_ReleaseModel(nullptr);
    bz_ReleaseModel(a);
    EXPECT_EQ(bzgModelCount, 0);
}

TEST_F(ModelTest, FindIgnoresLetterCaseAndAHashOfZero)
{
    bzModel *a = bz_CreateModel(0, 0);
    bzModel *b = bz_CreateModel(0, 0);
    std::strcpy(a->name, "Chair");
    a->nameHash = 0x1234;
    std::strcpy(b->name, "chair");
    b->nameHash = 0x5678;
    EXPECT_EQ(bz_FindModel("CHAIR", 0x1234), a);
    EXPECT_EQ(bz_FindModel("CHAIR", 0x5678), b);
    EXPECT_EQ(bz_FindModel("chAIR", 0), a);
    EXPECT_EQ(bz_FindModel("chair", 0x9999), nullptr);
    EXPECT_EQ(bz_FindModel("table", 0), nullptr);
    bz_ReleaseModel(a);
    bz_ReleaseModel(b);
}

TEST_F(ModelTest, TheListCheckFindsACircle)
{
    bzModel *a = bz_CreateModel(0, 0);
    bzModel *b = bz_CreateModel(0, 0);
    EXPECT_EQ(bz_CheckModelList(), nullptr);
    b->next = a; // circular
    EXPECT_NE(bz_CheckModelList(), nullptr);
    b->next = nullptr;
    bz_ReleaseModel(a);
    bz_ReleaseModel(b);
}

TEST_F(ModelTest, ChecksumOfFacesAndVertices)
{
    bzModel *empty = bz_CreateModel(0, 0);
    EXPECT_EQ(bz_ModelChecksum(empty, 1, 1, 1), 0u);
    bz_CreateModelPart(empty);
    EXPECT_EQ(bz_ModelChecksum(empty, 1, 1, 1), 0u);

    bzModel *m = bz_CreateModel(0, 0);
    bzModelPart *part = MakePart(m, 7);
    SetFaces(part, {{1, 2, 3}, {4, 5, 6}});
    // 2 ^ 0x030201 ^ 0x060504
    EXPECT_EQ(bz_ModelChecksum(m, 0, 1, 0), 0x00050707u);
    // Rotated: ((2 ^ 0x030201) rotl 1 ^ 0x060504) rotl 1
    EXPECT_EQ(bz_ModelChecksum(m, 0, 1, 1), 0x00000204u);

    bzModel *swapped = bz_CreateModel(0, 0);
    SetFaces(MakePart(swapped, 7), {{4, 5, 6}, {1, 2, 3}});
    EXPECT_EQ(bz_ModelChecksum(swapped, 0, 1, 0), bz_ModelChecksum(m, 0, 1, 0));
    EXPECT_NE(bz_ModelChecksum(swapped, 0, 1, 1), bz_ModelChecksum(m, 0, 1, 1));

    // Vertices: x, y and z bit patterns; 1.0 is 0x3F800000, 2.0 is 0x40000000.
    part->positions[0][0] = {1.0f, 0.0f, 0.0f};
    part->positions[0][1] = {0.0f, 2.0f, 0.0f};
    EXPECT_EQ(bz_ModelChecksum(m, 1, 0, 0), 0x7F800000u);
    EXPECT_EQ(bz_ModelChecksum(m, 1, 0, 1), 0xC000000Fu);

    // The checksum reads under the access mark and drops a pending change.
    part->flags |= BZ_PART_CHANGED;
    bz_ModelChecksum(m, 1, 1, 1);
    EXPECT_EQ(part->flags & (BZ_PART_CHANGED | BZ_PART_ACCESSING), 0u);
    EXPECT_EQ(bz_ModelChecksum(nullptr, 1, 1, 1), 0u);
    for (bzModel *x : {empty, m, swapped})
        bz_ReleaseModel(x);
}

TEST_F(ModelTest, EntriesAreChainedLastModelFirst)
{
    bzModel *a = bz_CreateModel(0, 0);
    bzModel *none = bz_CreateModel(0, 0);
    bzModel *b = bz_CreateModel(0, 0);
    bzMaterialEntry *ea = bz_AllocModelMaterialEntries(bz_CreateModelPart(a), 2, nullptr);
    bzMaterialEntry *eb = bz_AllocModelMaterialEntries(bz_CreateModelPart(b), 3, nullptr);
    ASSERT_NE(ea, nullptr);
    ASSERT_NE(eb, nullptr);
    EXPECT_EQ(bzgMaterialEntryCount, 5);
    EXPECT_EQ(ea[1].part, a->part);
    int32_t counter = -1;
    bzMaterialEntry *chain = bz_ChainModelMaterialEntries(a, 1, &counter);
    EXPECT_EQ(counter, 5);
    const bzMaterialEntry *expected[] = {&eb[0], &eb[1], &eb[2], &ea[0], &ea[1]};
    for (const bzMaterialEntry *e : expected)
    {
        EXPECT_EQ(chain, e);
        chain = chain ? chain->nextEntry : nullptr;
    }
    EXPECT_EQ(chain, nullptr);

    EXPECT_EQ(bz_ChainModelMaterialEntries(a, 0, &counter), &ea[0]);
    EXPECT_EQ(counter, 2);
    EXPECT_EQ(ea[1].nextEntry, nullptr);
    EXPECT_EQ(bz_ChainModelMaterialEntries(none, 0, &counter), nullptr);
    EXPECT_EQ(counter, 0);
    EXPECT_EQ(bz_ChainModelMaterialEntries(nullptr, 1, nullptr), nullptr);
    for (bzModel *x : {a, none, b})
        bz_ReleaseModel(x);
}

TEST_F(ModelTest, ReplacingAMaterialMovesItsReferences)
{
    bzMaterial *oldM = bz_CreateMaterial("old", 1);
    bzMaterial *newM = bz_CreateMaterial("new", 1);
    bzMaterial *other = bz_CreateMaterial("other", 1);
    bzModel *m = bz_CreateModel(3, 0);
    bzMaterialEntry *e = bz_AllocModelMaterialEntries(bz_CreateModelPart(m), 3, nullptr);
    e[0].material = bz_AddRefMaterial(oldM);
    e[1].material = bz_AddRefMaterial(other);
    e[2].material = bz_AddRefMaterial(oldM);
    m->vertexData->polygons[0].material = oldM;
    m->vertexData->polygons[2].material = other;
    EXPECT_EQ(oldM->refCount, 3);

    EXPECT_EQ(bz_ModelUsesMaterial(m, oldM), 1);
    EXPECT_EQ(bz_ModelUsesMaterial(m, newM), 0);
    EXPECT_EQ(bz_ModelUsesMaterial(nullptr, oldM), 0);
    EXPECT_EQ(bz_ReplaceModelMaterial(m, newM, oldM), 1);
    EXPECT_EQ(oldM->refCount, 1);
    EXPECT_EQ(newM->refCount, 3);
    EXPECT_EQ(other->refCount, 2);
    EXPECT_EQ(e[0].material, newM);
    EXPECT_EQ(e[1].material, other);
    EXPECT_EQ(e[2].material, newM);
    EXPECT_EQ(m->vertexData->polygons[0].material, newM);
    EXPECT_EQ(m->vertexData->polygons[2].material, other);
    EXPECT_EQ(bz_ModelUsesMaterial(m, oldM), 0);
    EXPECT_EQ(bz_ReplaceModelMaterial(m, newM, oldM), 0);
    EXPECT_EQ(bz_ReplaceModelMaterial(nullptr, newM, oldM), 0);

    bz_ReleaseModelMaterials(m);
    EXPECT_EQ(e[0].material, nullptr);
    EXPECT_EQ(newM->refCount, 1);
    EXPECT_EQ(other->refCount, 1);
    bz_ReleaseModel(m);
    for (bzMaterial *x : {oldM, newM, other})
        bz_ReleaseMaterial(x);
}

TEST_F(ModelTest, FreeingAPartReleasesEachEntrysMaterial)
{
    bzMaterial *mat = bz_CreateMaterial("mat", 1);
    bzModel *m = bz_CreateModel(0, 0);
    bzModelPart *part = bz_CreateModelPart(m);
    EXPECT_EQ(part->memSize, sizeof(bzModelPart));
    bzMaterialEntry *e = bz_AllocModelMaterialEntries(part, 2, nullptr);
    EXPECT_EQ(part->memSize, sizeof(bzModelPart) + 2 * sizeof(bzMaterialEntry));
    EXPECT_EQ(bz_GetModelMemory(), part->memSize);
    e[0].material = bz_AddRefMaterial(mat);
    e[1].material = bz_AddRefMaterial(mat);
    e[0].listIndices = static_cast<uint16_t *>(bz_MemAlloc(8, 0));
    EXPECT_EQ(mat->refCount, 3);
    const uint32_t freeCalls = bz_MemDevice_CallCount(100);
    FreeModelPart(m);
    EXPECT_EQ(m->part, nullptr);
    EXPECT_EQ(mat->refCount, 1);
    EXPECT_EQ(bzgMaterialEntryCount, 0);
    EXPECT_EQ(bz_MemDevice_CallCount(100), freeCalls + 1);
    bz_ReleaseModel(m);
    bz_ReleaseMaterial(mat);
}

TEST_F(ModelTest, ATriangleListBatchTakesItsIndicesAndBounds)
{
    bzMaterial *mat = bz_CreateMaterial("mat", 1);
    bzModel *m = bz_CreateModel(0, 0);
    bzMaterialEntry *e = bz_AllocModelMaterialEntries(bz_CreateModelPart(m), 1, nullptr);
    e->boxMin = {0.0f, 0.0f, 0.0f};
    e->boxMax = {2.0f, 0.0f, 0.0f};
    e->stripIndexCount = 9;
    bzVertexRecord vertices[6] = {};
    vertices[3].position = {0.0f, 0.0f, 0.0f};
    vertices[4].position = {2.0f, 0.0f, 0.0f};
    vertices[5].position = {1.0f, 3.0f, 0.0f};
    const uint32_t indices[3] = {0x10000, 1, 2}; // the first is cut to 16 bits: 0
    const uint32_t bytes = bzgModelIndexBytes;
    const uint32_t cut[3] = {0, 1, 2};
    InitGeometryBatch(e, mat, 3, 6, 3, cut, vertices);
    EXPECT_EQ(mat->refCount, 2);
    EXPECT_EQ(e->listBaseVertex, 3u);
    EXPECT_EQ(e->listVertexSpan, 3u);
    EXPECT_EQ(e->listIndexCount, 3u);
    EXPECT_EQ(e->stripIndexCount, 0u);
    EXPECT_EQ(bzgModelIndexBytes, bytes + 6);
    EXPECT_EQ(e->centre.x, 1.0f);
    EXPECT_FLOAT_EQ(e->radius, 3.0f);
    ASSERT_NE(e->listIndices, nullptr);
    FreeModelPart(m);

    e = bz_AllocModelMaterialEntries(bz_CreateModelPart(m), 1, nullptr);
    InitGeometryBatch(e, nullptr, 0, 3, 3, indices, vertices);
    EXPECT_EQ(e->listIndices[0], 0);
    EXPECT_EQ(e->listIndices[2], 2);
    InitGeometryBatch(e, nullptr, 0, 0, 0, nullptr, vertices);
    EXPECT_EQ(e->radius, 0.0f);
    bz_ReleaseModel(m);
    EXPECT_EQ(mat->refCount, 1);
    bz_ReleaseMaterial(mat);
}

TEST_F(ModelTest, MaterialsMoveToTheListEndInEntryOrder)
{
    bzMaterial *a = bz_CreateMaterial("a", 1);
    bzMaterial *b = bz_CreateMaterial("b", 1);
    bzMaterial *c = bz_CreateMaterial("c", 1);
    bzModel *m1 = bz_CreateModel(0, 0);
    bzModel *m2 = bz_CreateModel(0, 0);
    bzMaterialEntry *e1 = bz_AllocModelMaterialEntries(bz_CreateModelPart(m1), 2, nullptr);
    bzMaterialEntry *e2 = bz_AllocModelMaterialEntries(bz_CreateModelPart(m2), 2, nullptr);
    e1[0].material = bz_AddRefMaterial(b);
    e1[1].material = bz_AddRefMaterial(a);
    e2[0].material = bz_AddRefMaterial(b);
    e2[1].material = nullptr;

    int32_t counter = -1;
    EXPECT_EQ(bz_MoveAllModelMaterialsToListEnd(m1, 1, &counter), b);
    EXPECT_EQ(counter, 2);
    // The list is now Default, c, b, a.
    std::vector<std::string> names;
    for (bzMaterial *x = bzgMaterial_list; x; x = x->next)
        names.emplace_back(x->fullName);
    EXPECT_EQ(names, (std::vector<std::string>{"Default", "c", "b", "a"}));
    EXPECT_EQ(bz_MoveAllModelMaterialsToListEnd(nullptr, 1, &counter), nullptr);

    int32_t seen = 0;
    EXPECT_EQ(bz_ForEachModelMaterial(
                  m2,
                  [](bzMaterial *material, void *user)
                  {
                      ++*static_cast<int32_t *>(user);
                      return std::strcmp(material->fullName, "b") == 0 ? 7 : 0;
                  },
                  &seen),
              7);
    EXPECT_EQ(seen, 1);
    EXPECT_EQ(bz_MoveModelImagesToListEnd(m2, 0, &counter), nullptr); // no layer images
    bz_ReleaseModel(m1);
    bz_ReleaseModel(m2);
    for (bzMaterial *x : {a, b, c})
        bz_ReleaseMaterial(x);
}

TEST_F(ModelTest, GrowingKeepsTheOldRecords)
{
    bzModel *m = bz_CreateModel(2, 1);
    m->vertexData->polygons[1].v[0] = 42;
    m->vertexData->vertices[0].x = 5.0f;
    EXPECT_EQ(bz_GrowModelPolygons(m, 3), 2);
    EXPECT_EQ(m->vertexData->polygonCount, 5);
    EXPECT_EQ(m->vertexData->polygons[1].v[0], 42u);
    EXPECT_EQ(m->vertexData->polygons[4].v[0], 0u);
    EXPECT_EQ(bz_GrowModelVertices(m, 2), 1);
    EXPECT_EQ(m->vertexData->vertexCount, 3);
    EXPECT_EQ(m->vertexData->vertices[0].x, 5.0f);
    bz_FreeModelVertexData(m);
    EXPECT_EQ(m->vertexData, nullptr);
    bz_ReleaseModel(m);
}

TEST_F(ModelTest, DuplicateCopiesNameBoundsAndArrays)
{
    bzMaterial *mat = bz_CreateMaterial("mat", 1);
    bzModel *src = bz_CreateModel(1, 3);
    std::strcpy(src->name, "crate");
    src->tag = 0xABCD;
    src->octree = bz_MemAlloc(16, BZ_MEM_CLEAR);
    const float pos[3][3] = {{0, 0, 0}, {2, 0, 0}, {0, 4, 0}};
    for (int32_t i = 0; i < 3; ++i)
    {
        src->vertexData->vertices[i].x = pos[i][0];
        src->vertexData->vertices[i].y = pos[i][1];
        src->vertexData->vertices[i].z = pos[i][2];
    }
    bzModelPolygon &poly = src->vertexData->polygons[0];
    poly.v[0] = 0;
    poly.v[1] = 1;
    poly.v[2] = 2;
    poly.material = mat;
    poly.smoothing = 1;
    src->vertexData->userWord = 1;
    ASSERT_EQ(bz_PrepareModelGeometry(src, 0xFFFFFBF), 0);
    EXPECT_EQ(mat->refCount, 2);

    bzModel *dup = bz_DuplicateModel(src);
    ASSERT_NE(dup, nullptr);
    EXPECT_STREQ(dup->name, "crate");
    EXPECT_EQ(dup->boxMin.x, src->boxMin.x);
    EXPECT_EQ(dup->boxMax.y, src->boxMax.y);
    EXPECT_EQ(dup->radius, src->radius);
    EXPECT_EQ(dup->tag, 0xABCDu);
    EXPECT_EQ(dup->refCount, 1);
    EXPECT_EQ(dup->octree, nullptr);
    EXPECT_EQ(dup->meshWork, nullptr);
    EXPECT_EQ(bzgModelCount, 2);
    ASSERT_NE(dup->vertexData, nullptr);
    EXPECT_NE(dup->vertexData->polygons, src->vertexData->polygons);
    EXPECT_NE(dup->vertexData->vertices, src->vertexData->vertices);
    EXPECT_EQ(dup->vertexData->polygons[0].v[2], 2u);
    EXPECT_EQ(dup->vertexData->vertices[2].y, 4.0f);
    EXPECT_EQ(dup->vertexData->userWord, 1u);
    EXPECT_EQ(dup->vertexData->model, dup);
    // Its own part, built from its own copy of the source geometry.
    ASSERT_NE(dup->part, nullptr);
    EXPECT_NE(dup->part, src->part);
    EXPECT_EQ(dup->part->model, dup);
    EXPECT_EQ(dup->part->vertexCount, 3);
    EXPECT_EQ(bz_ModelChecksum(dup, 1, 1, 1), bz_ModelChecksum(src, 1, 1, 1));
    EXPECT_EQ(mat->refCount, 3);
    ExpectList({src, dup});
    bz_ReleaseModel(src);
    EXPECT_EQ(mat->refCount, 2);
    bz_ReleaseModel(dup);
    EXPECT_EQ(mat->refCount, 1);
    bz_ReleaseMaterial(mat);
}

// Without source geometry the part itself is copied; each copied entry holds its own
// reference on its material, so freeing both parts releases it once each.
TEST_F(ModelTest, DuplicateWithoutSourceGeometryCopiesThePart)
{
    bzMaterial *mat = bz_CreateMaterial("mat", 1);
    bzModel *src = bz_CreateModel(0, 0);
    bzModelPart *part = MakePart(src, 3);
    SetFaces(part, {{0, 1, 2}});
    bzMaterialEntry *e = bz_AllocModelMaterialEntries(part, 1, nullptr);
    e->material = bz_AddRefMaterial(mat);
    e->listIndexCount = 3;
    e->listIndices = static_cast<uint16_t *>(bz_MemAlloc(6, BZ_MEM_CLEAR));
    e->listIndices[2] = 2;
    part->positions[0][1] = {1.0f, 1.0f, 1.0f};

    bzModel *dup = bz_DuplicateModel(src);
    ASSERT_NE(dup, nullptr);
    EXPECT_EQ(dup->vertexData, nullptr);
    ASSERT_NE(dup->part, nullptr);
    EXPECT_EQ(dup->part->model, dup);
    EXPECT_NE(dup->part->positions[0], part->positions[0]);
    EXPECT_EQ(dup->part->positions[0][1].z, 1.0f);
    EXPECT_NE(dup->part->entries[0].listIndices, e->listIndices);
    EXPECT_EQ(dup->part->entries[0].listIndices[2], 2);
    EXPECT_EQ(bz_ModelChecksum(dup, 1, 1, 1), bz_ModelChecksum(src, 1, 1, 1));
    EXPECT_EQ(mat->refCount, 3);
    bz_ReleaseModel(src);
    EXPECT_EQ(mat->refCount, 2);
    bz_ReleaseModel(dup);
    EXPECT_EQ(mat->refCount, 1);
    bz_ReleaseMaterial(mat);
}

TEST_F(ModelTest, ReleasingFreesTheOctreeAndWorkDataThroughTheirOwners)
{
    static int32_t octrees, works;
    octrees = works = 0;
    bzModelServices services = {};
    services.freeMeshWork = [](bzMeshWorkData *w)
    {
        ++works;
        bz_MemFree(w);
    };
    services.freeOctreeChildren = [](void *) { ++octrees; };
    bz_SetModelServices(&services);
    bzModel *m = bz_CreateModel(0, 0);
    m->octree = bz_MemAlloc(32, BZ_MEM_CLEAR);
    m->meshWork = static_cast<bzMeshWorkData *>(bz_MemAlloc(32, BZ_MEM_CLEAR));
    bz_FreeModelOctree(nullptr);
    bz_ReleaseModel(m);
    EXPECT_EQ(octrees, 1);
    EXPECT_EQ(works, 1);
}

TEST_F(ModelTest, ASkinInstanceReleasesItsModel)
{
    bzModel *m = bz_CreateModel(0, 0);
    bz_AddModelReference(m);
    auto **instance = static_cast<bzModel **>(bz_MemAlloc(64, BZ_MEM_CLEAR));
    *instance = m;
    bz_FreeSkinInstance(instance);
    EXPECT_EQ(m->refCount, 1);
    bz_ReleaseModel(m);
}

TEST_F(ModelTest, DumpPrintsTheModel)
{
    bzModel *bare = bz_CreateModel(0, 0);
    std::strcpy(bare->name, "bare");
    testing::internal::CaptureStdout();
    bz_DumpModel(bare);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "No app_data data for model: bare\n");

    bzModel *m = bz_CreateModel(0, 2);
    std::strcpy(m->name, "box");
    m->radius = 1.5f;
    m->boxMin = {-1.0f, -2.0f, -3.0f};
    m->boxMax = {1.0f, 2.0f, 3.25f};
    testing::internal::CaptureStdout();
    bz_DumpModel(m);
    const std::string out = testing::internal::GetCapturedStdout();
    char head[64];
    std::snprintf(head, sizeof head, "MODEL:0x%08x \"box\"\n",
                  static_cast<uint32_t>(reinterpret_cast<uintptr_t>(m)));
    char vertices[64];
    std::snprintf(vertices, sizeof vertices, "vertices Ptr:    0x%08x\n",
                  static_cast<uint32_t>(reinterpret_cast<uintptr_t>(m->vertexData->vertices)));
    EXPECT_EQ(out, std::string(head) +
                       "Total vertices:  2\n"
                       "Total faces:     0\n"
                       "bounds Rad:      1.500\n"
                       "bounds min:      X:-1.000 Y:-2.000 Z:-3.000\n"
                       "bounds max:      X:1.000 Y:2.000 Z:3.250\n"
                       "faces Ptr:       NULL\n" +
                       vertices);
    bz_ReleaseModel(bare);
    bz_ReleaseModel(m);
}

TEST_F(ModelTest, EntryCentresAndTheCentroid)
{
    EXPECT_EQ(bz_RecalcModelEntryCentres(nullptr), 71);
    bzModel *m = bz_CreateModel(0, 0);
    EXPECT_EQ(bz_RecalcModelEntryCentres(m), 76);
    bzModelPart *part = MakePart(m, 4);
    part->positions[0][0] = {0.0f, 0.0f, 0.0f};
    part->positions[0][1] = {4.0f, 0.0f, 0.0f};
    part->positions[0][2] = {0.0f, 2.0f, 0.0f};
    part->positions[0][3] = {0.0f, 0.0f, 8.0f};
    bzMaterialEntry *e = bz_AllocModelMaterialEntries(part, 2, nullptr);
    e[0].listBaseVertex = 1;
    e[0].listIndexCount = 2;
    e[0].listIndices = static_cast<uint16_t *>(bz_MemAlloc(4, 0));
    e[0].listIndices[0] = 0; // vertex 1
    e[0].listIndices[1] = 1; // vertex 2
    e[1].centre = {5.0f, 5.0f, 5.0f};
    EXPECT_EQ(bz_RecalcModelEntryCentres(m), 0);
    EXPECT_EQ(e[0].centre.x, 2.0f);
    EXPECT_EQ(e[0].centre.y, 1.0f);
    EXPECT_EQ(e[1].centre.x, 0.0f); // no indices

    bzV3 c{};
    EXPECT_EQ(bz_ModelCentroid(m, &c), 0);
    EXPECT_EQ(c.x, 1.0f);
    EXPECT_EQ(c.y, 0.5f);
    EXPECT_EQ(c.z, 2.0f);
    bz_ReleaseModel(m);
}
} // namespace
