#include "models/ModelAccess.h"

#include "ModelsTestSupport.h"

#include <cstring>
#include <string>
#include <vector>

namespace
{
using ModelAccessTest = ModelRecordsTest;

bzVertexRecord Record(float base)
{
    bzVertexRecord r{};
    r.position = {base, base + 1, base + 2};
    r.normal = {0.0f, 0.0f, 1.0f};
    r.colour = 0xFF102030u + static_cast<uint32_t>(base);
    r.u0 = base * 0.5f;
    r.v0 = base * 0.25f;
    r.u1 = -base;
    r.v1 = base + 10;
    return r;
}

void ExpectSame(const bzVertexRecord &a, const bzVertexRecord &b)
{
    EXPECT_EQ(0, std::memcmp(&a, &b, sizeof a));
}

TEST_F(ModelAccessTest, VerticesReadBackAsWritten)
{
    bzModel *m = bz_CreateModel(0, 0);
    bzModelPart *part = MakePart(m, 4);
    EXPECT_EQ(part->vertexFormat, 0x2484u);
    EXPECT_EQ(part->vertexStride, 44u);
    for (int32_t i = 0; i < 4; ++i)
    {
        const bzVertexRecord r = Record(static_cast<float>(i));
        bz_SetModelVertex(m, i, &r);
    }
    bzVertexRecord one{};
    bz_GetModelVertex(m, 2, &one);
    ExpectSame(one, Record(2.0f));
    EXPECT_EQ(part->uvs[1][2 * 2], -2.0f);

    bzVertexRecord all[4] = {};
    bz_GetModelVertices(m, 0, all, -1);
    for (int32_t i = 0; i < 4; ++i)
        ExpectSame(all[i], Record(static_cast<float>(i)));
    bzVertexRecord none[1] = {};
    none[0].colour = 77;
    bz_GetModelVertices(m, 2, none, 2);
    EXPECT_EQ(none[0].colour, 77u);

    bzV3 p{}, n{};
    bz_GetModelVertexPosition(m, 3, &p);
    EXPECT_EQ(p.z, 5.0f);
    const bzV3 up = {0.0f, 1.0f, 0.0f};
    bz_SetModelVertexNormal(m, 3, &up);
    bz_GetModelVertexNormal(m, 3, &n);
    EXPECT_EQ(n.y, 1.0f);
    bz_SetModelVertexUVs(m, 1, 0.1f, 0.2f, 0.3f, 0.4f);
    bz_GetModelVertex(m, 1, &one);
    EXPECT_EQ(one.u0, 0.1f);
    EXPECT_EQ(one.v1, 0.4f);
    bz_SetModelVertexColour(m, 0, 0x80FF0000u);
    EXPECT_EQ(bz_GetModelVertexColour(m, 0), 0x80FF0000u);
    EXPECT_EQ(bz_GetModelVertexCount(m), 4);
    bz_ReleaseModel(m);
}

TEST_F(ModelAccessTest, MissingArraysLeaveTheRecordAlone)
{
    bzModel *m = bz_CreateModel(0, 0);
    MakePart(m, 2);
    // Positions only.
    EXPECT_EQ(bz_SetModelVertexFormat(m, 1, 0, 0, 0, 0), 1);
    EXPECT_EQ(m->part->normals[0], nullptr);
    EXPECT_EQ(m->part->uvs[0], nullptr);
    EXPECT_EQ(m->part->vertexStride, 12u);
    const bzVertexRecord written = Record(3.0f);
    bz_SetModelVertex(m, 1, &written);
    bzVertexRecord read = Record(9.0f);
    bz_GetModelVertex(m, 1, &read);
    EXPECT_EQ(read.position.x, 3.0f);
    EXPECT_EQ(read.normal.z, 1.0f);
    EXPECT_EQ(read.colour, 0xFF102030u + 9);
    EXPECT_EQ(read.u1, -9.0f);
    EXPECT_EQ(bz_GetModelVertexColour(m, 1), 0xFFFFFFFFu);
    bzV3 n = {7.0f, 7.0f, 7.0f};
    bz_GetModelVertexNormal(m, 1, &n);
    EXPECT_EQ(n.x, 7.0f);
    bz_ReleaseModel(m);
}

TEST_F(ModelAccessTest, InfluencesReadTheBoneAndWeightBytes)
{
    bzModel *m = bz_CreateModel(0, 0);
    bzModelPart *part = MakePart(m, 3);
    EXPECT_EQ(bz_SetModelVertexFormat(m, -1, 2, -1, -1, -1), 1);
    EXPECT_EQ(part->vertexFormat, 0x24A4u);
    ASSERT_NE(part->boneIndices[1], nullptr);
    EXPECT_EQ(part->boneIndices[2], nullptr);
    part->boneIndices[1][2] = 9;
    part->boneWeights[1][2] = 51;
    float weight = 0.0f;
    EXPECT_EQ(bz_GetModelVertexInfluence(m, 1, 2, &weight), 9);
    EXPECT_FLOAT_EQ(weight, 0.2f);
    bz_ReleaseModel(m);
}

TEST_F(ModelAccessTest, FacesAndTheirCorners)
{
    bzMaterial *entryMat = bz_CreateMaterial("entry", 1);
    bzMaterial *polyMat = bz_CreateMaterial("poly", 1);
    bzModel *m = bz_CreateModel(0, 0);
    bzModelPart *part = MakePart(m, 4);
    SetFaces(part, {{0, 1, 2}, {1, 3, 2}});
    part->faces[1].entry = 1;
    part->faces[1].flags = 0x22;
    bzMaterialEntry *e = bz_AllocModelMaterialEntries(part, 2, nullptr);
    e[1].material = bz_AddRefMaterial(entryMat);
    for (int32_t i = 0; i < 4; ++i)
    {
        const bzVertexRecord r = Record(static_cast<float>(i));
        bz_SetModelVertex(m, i, &r);
    }
    bzModelFace face{};
    bz_GetModelFace(m, 1, &face);
    EXPECT_EQ(face.v[1], 3u);
    EXPECT_EQ(face.entry, 1);
    bzModelFace *faces = nullptr;
    EXPECT_EQ(bz_GetModelFaces(m, &faces), part->faces);
    EXPECT_EQ(faces, part->faces);
    EXPECT_EQ(bz_GetModelFaceFlags(m, 1), 0x22);
    bz_SetModelFaceFlags(m, 0, 0x5);
    EXPECT_EQ(part->faces[0].flags, 0x5);
    EXPECT_EQ(bz_GetModelFaceCount(m), 2);

    bzV3 a{}, b{}, c{};
    bz_GetModelFaceVertices(m, 1, &a, &b, &c);
    EXPECT_EQ(a.x, 1.0f);
    EXPECT_EQ(b.x, 3.0f);
    EXPECT_EQ(c.x, 2.0f);
    bz_GetModelFaceNormals(m, 1, &a, &b, &c);
    EXPECT_EQ(c.z, 1.0f);

    // From the entry, until the vertex data maps faces to polygons.
    EXPECT_EQ(bz_GetModelFaceMaterial(m, 1), entryMat);
    EXPECT_EQ(bz_GetModelFaceMaterial(m, 0), nullptr);
    bz_CreateModelVertexData(m, 0, 3);
    m->vertexData->polygons[2].material = polyMat;
    m->vertexData->faceToPolygon = static_cast<uint32_t *>(bz_MemAlloc(8, BZ_MEM_CLEAR));
    m->vertexData->faceToPolygon[1] = 2;
    EXPECT_EQ(bz_GetModelFaceMaterial(m, 1), polyMat);
    bz_ReleaseModel(m);
    bz_ReleaseMaterial(entryMat);
    bz_ReleaseMaterial(polyMat);
}

TEST_F(ModelAccessTest, FacePlanesUseTheDeformedCornersOfASkinnedLump)
{
    bzModel *m = bz_CreateModel(0, 0);
    bzModelPart *part = MakePart(m, 3);
    SetFaces(part, {{0, 1, 2}});
    part->positions[0][0] = {0.0f, 0.0f, 0.0f};
    part->positions[0][1] = {1.0f, 0.0f, 0.0f};
    part->positions[0][2] = {0.0f, 1.0f, 0.0f};
    // n = (a - b) x (c - b) normalised, d = n.b
    bzPlane plane{};
    bz_CalcModelFaceNormal(m, 0, &plane, nullptr);
    EXPECT_EQ(plane.n.x, 0.0f);
    EXPECT_EQ(plane.n.y, 0.0f);
    EXPECT_EQ(plane.n.z, -1.0f);
    EXPECT_EQ(plane.d, 0.0f);

    // The skinning lifts each corner's y into z and moves it 2 along y.
    bz_SetModelSkinVertex(
        [](const void *, const bzModel *model, uint32_t vertex, bzV3 *out)
        {
            const bzV3 p = model->part->positions[0][vertex];
            *out = {p.x, 2.0f, p.y};
        });
    int32_t lump = 0;
    bz_CalcModelFaceNormal(m, 0, &plane, &lump); // no skeleton: the stored positions
    EXPECT_EQ(plane.n.z, -1.0f);
    int32_t skeleton = 0;
    part->skeleton = reinterpret_cast<bzSkeleton *>(&skeleton);
    bz_CalcModelFaceNormal(m, 0, &plane, &lump);
    EXPECT_EQ(plane.n.x, 0.0f);
    EXPECT_EQ(plane.n.y, 1.0f);
    EXPECT_EQ(plane.n.z, 0.0f);
    EXPECT_EQ(plane.d, 2.0f);
    bz_CalcModelFaceNormal(m, 0, &plane, nullptr); // no lump: the stored positions
    EXPECT_EQ(plane.n.z, -1.0f);

    bz_SetModelInfluenceSlotsQuery([](const bzSkeleton *) -> int16_t { return 3; });
    EXPECT_EQ(bz_GetModelInfluenceSlots(m), 3);
    part->skeleton = nullptr;
    bz_ReleaseModel(m);
}

TEST_F(ModelAccessTest, BoundsMoveTheEntryCentres)
{
    bzModel *m = bz_CreateModel(0, 0);
    bzMaterialEntry *e = bz_AllocModelMaterialEntries(bz_CreateModelPart(m), 2, nullptr);
    e[0].centre = {1.0f, 1.0f, 1.0f};
    e[1].centre = {-1.0f, 0.0f, 2.0f};
    m->radius = 5.0f;
    m->centre = {0.0f, 0.0f, 0.0f};
    const float box[6] = {0.0f, -1.0f, -1.0f, 2.0f, 1.0f, 1.0f};
    bz_SetModelBounds(m, box, 0.0f);
    EXPECT_EQ(m->radius, 5.0f);
    EXPECT_EQ(m->centre.x, 1.0f);
    EXPECT_EQ(e[0].centre.x, 2.0f);
    EXPECT_EQ(e[1].centre.x, 0.0f);
    EXPECT_EQ(e[1].centre.z, 2.0f);
    bz_SetModelBounds(m, nullptr, 3.0f);
    EXPECT_EQ(m->radius, 3.0f);
    EXPECT_EQ(e[0].centre.x, 2.0f);

    float out[6] = {};
    float radius = 0.0f;
    bz_GetModelBounds(m, out, &radius);
    EXPECT_EQ(0, std::memcmp(out, box, sizeof box));
    EXPECT_EQ(radius, 3.0f);
    bzV3 *boxPtr = nullptr;
    EXPECT_EQ(bz_GetModelBox(m, &boxPtr), &m->boxMin);
    EXPECT_EQ(boxPtr[1].x, 2.0f);
    bzV3 centre{};
    bz_GetModelCentre(m, &centre);
    EXPECT_EQ(centre.x, 1.0f);
    bz_ReleaseModel(m);
}

TEST_F(ModelAccessTest, AccessMarksAndTheBufferRebuild)
{
    bzModel *m = bz_CreateModel(0, 0);
    EXPECT_EQ(bz_BeginModelAccess(0, m), 76);
    bzModelPart *part = bz_CreateModelPart(m);
    struct Case
    {
        int32_t mode;
        uint32_t bits;
    } cases[] = {{0, 0xC000}, {1, 0x8000}, {2, 0x4000}, {3, 0}, {-1, 0}};
    for (const Case &c : cases)
    {
        part->flags = 0;
        EXPECT_EQ(bz_BeginModelAccess(c.mode, m), 0);
        EXPECT_EQ(part->flags, c.bits) << "mode " << c.mode;
    }

    // A read ends without touching the change mark.
    part->flags = 0;
    bz_BeginModelAccess(1, m);
    const uint32_t builds = bz_MemDevice_CallCount(99);
    EXPECT_EQ(bz_EndModelAccess(m, 0), 0);
    EXPECT_EQ(part->flags, 0u);
    // An edit ended without option bit 0 drops the change without a rebuild.
    bz_BeginModelAccess(0, m);
    EXPECT_EQ(bz_EndModelAccess(m, 0), 0);
    EXPECT_EQ(part->flags, 0u);
    EXPECT_EQ(bz_MemDevice_CallCount(99), builds);
    // A failing rebuild keeps the change mark for a later try.
    bz_BeginModelAccess(0, m);
    bz_MemDevice_SetSlotResult(99, 14);
    EXPECT_EQ(bz_EndModelAccess(m, 1), 14);
    EXPECT_EQ(part->flags, 0x4000u);
    bz_MemDevice_SetSlotResult(99, 0);
    EXPECT_EQ(bz_EndModelAccess(m, 1), 0);
    EXPECT_EQ(part->flags, 0u);
    EXPECT_EQ(bz_MemDevice_CallCount(99), builds + 2);
    EXPECT_EQ(bz_MemDevice_LastCall(99)->args[0], reinterpret_cast<uintptr_t>(m));
    bz_ReleaseModel(m);
}

TEST_F(ModelAccessTest, TheVertexFormatFollowsTheMaterials)
{
    EXPECT_EQ(bz_SetModelVertexFormat(nullptr, 1, 1, 1, 1, 1), 0);
    bzModel *m = bz_CreateModel(0, 0);
    EXPECT_EQ(bz_SetModelVertexFormat(m, 1, 1, 1, 1, 1), 0);
    bzModelPart *part = MakePart(m, 2);
    bzMaterial *mat = bz_CreateMaterial("mat", 1);
    bzMaterialEntry *e = bz_AllocModelMaterialEntries(part, 2, nullptr);
    e[0].material = bz_AddRefMaterial(mat);
    e[0].backEnd[3] = 99;
    // What the materials require: one position and one normal array (0x284), no colours and
    // no texture sets.
    mat->vertexFormat = 0x284;
    EXPECT_EQ(bz_SetModelVertexFormat(m, -1, -1, -1, -1, -1), 1);
    EXPECT_EQ(part->vertexFormat, 0x84u);
    EXPECT_EQ(part->vertexStride, 24u);
    EXPECT_EQ(part->colours[0], nullptr);
    EXPECT_EQ(part->uvs[0], nullptr);
    EXPECT_NE(part->positions[0], nullptr);
    for (int32_t i = 0; i < 2; ++i)
    {
        EXPECT_EQ(e[i].vertexFormat, 0x84u);
        EXPECT_EQ(e[i].vertexStride, 24u);
    }
    EXPECT_EQ(e[0].backEnd[3], 0u);
    EXPECT_EQ(bz_SetModelVertexFormat(m, -1, -1, -1, -1, -1), 0);
    // The default format of a textured material.
    mat->vertexFormat = 0x2484;
    EXPECT_EQ(bz_SetModelVertexFormat(m, -1, -1, -1, -1, -1), 1);
    EXPECT_EQ(part->vertexFormat, 0x2484u);
    EXPECT_EQ(part->vertexStride, 44u);
    EXPECT_NE(part->uvs[1], nullptr);
    EXPECT_EQ(part->uvs[2], nullptr);
    // Fields past what a part can keep are held at three arrays (four influences).
    EXPECT_EQ(bz_SetModelVertexFormat(m, 7, 7, -1, -1, 7), 1);
    EXPECT_EQ(part->vertexFormat, 0x34CCu);
    EXPECT_NE(part->positions[2], nullptr);
    EXPECT_NE(part->boneWeights[3], nullptr);
    bz_ReleaseModel(m);
    bz_ReleaseMaterial(mat);
}

TEST(VertexFormatSize, CountsEachArray)
{
    struct Case
    {
        uint32_t format, bytes;
    } cases[] = {
        {0x2484, 44},                             // position, normal, colour, two texture sets
        {0x0004, 12}, {0x0084, 24}, {0x0284, 16}, // bit 9: one word a normal
        {0xA484, 36},                             // bit 15: 4-byte texture sets
        {0x0014, 16}, {0x0034, 20}, {0x0044, 20}, {0x0001, 16}, {0x10004, 14},
    };
    for (const Case &c : cases)
        EXPECT_EQ(VertexFormatSize(c.format), c.bytes) << std::hex << c.format;
}

// Names in records of a given stride, as the file and application bone records hold them.
std::vector<char> Names(const std::vector<std::string> &names, size_t stride)
{
    std::vector<char> bytes(names.size() * stride + 1, '\0');
    for (size_t i = 0; i < names.size(); ++i)
        std::memcpy(&bytes[i * stride], names[i].c_str(), names[i].size());
    return bytes;
}

TEST_F(ModelAccessTest, BoneTablesShareNamesAndTables)
{
    const auto a = Names({"Pelvis", "Spine", "Head"}, 36);
    const auto b = Names({"PELVIS", "spine", "head"}, 84);
    const int32_t ta = bz_GetBoneNameTable(a.data(), 3, 36, nullptr);
    EXPECT_EQ(ta, 0);
    EXPECT_EQ(bz_GetBoneNameTable(b.data(), 3, 84, nullptr), ta);
    EXPECT_STREQ(bz_GetBoneNameFromTable(ta, 1), "Spine");
    EXPECT_EQ(bz_GetBoneNameFromTable(ta, 3), nullptr);
    EXPECT_EQ(bz_GetBoneNameFromTable(ta, -1), nullptr);
    EXPECT_EQ(bz_GetBoneNameFromTable(5, 0), nullptr);
    EXPECT_STREQ(bz_GetBoneName(2), "Head");
    EXPECT_EQ(bz_GetBoneName(255), nullptr);

    const auto reordered = Names({"Spine", "Pelvis", "Head"}, 32);
    EXPECT_EQ(bz_GetBoneNameTable(reordered.data(), 3, 32, nullptr), 1);
    const auto empty = Names({"Pelvis", ""}, 32);
    EXPECT_EQ(bz_GetBoneNameTable(empty.data(), 2, 32, nullptr), -1);
}

TEST_F(ModelAccessTest, FullCachesGiveNoNameAndNoTable)
{
    std::vector<std::string> fifty;
    for (int32_t i = 0; i < 50; ++i)
        fifty.push_back("bone" + std::to_string(i));
    const auto all = Names(fifty, 32);
    EXPECT_EQ(bz_GetBoneNameTable(all.data(), 50, 32, nullptr), 0);
    EXPECT_STREQ(bz_GetBoneName(49), "bone49");
    // A fifty-first name has no id; its table names it 255 and yields no name for it.
    const auto extra = Names({"bone0", "tail"}, 32);
    const int32_t t = bz_GetBoneNameTable(extra.data(), 2, 32, nullptr);
    ASSERT_EQ(t, 1);
    EXPECT_STREQ(bz_GetBoneNameFromTable(t, 0), "bone0");
    EXPECT_EQ(bz_GetBoneNameFromTable(t, 1), nullptr);
    // More names than a table can hold.
    const auto tooMany = Names(std::vector<std::string>(51, "bone1"), 32);
    EXPECT_EQ(bz_GetBoneNameTable(tooMany.data(), 51, 32, nullptr), -1);

    // Twenty tables fill the slots; a new list then has none.
    for (int32_t n = 2; n <= 19; ++n)
        EXPECT_EQ(bz_GetBoneNameTable(all.data(), n, 32, nullptr), n) << n;
    EXPECT_EQ(bz_GetBoneNameTable(all.data(), 20, 32, nullptr), -1);
    EXPECT_EQ(bz_GetBoneNameTable(all.data(), 5, 32, nullptr), 5); // found, not made
}

TEST_F(ModelAccessTest, TheRemapFallsBackToTheNearestAncestor)
{
    // Source skeleton: Root, Spine, Arm.
    const auto s = Names({"Root", "Spine", "Arm"}, 36);
    const uint8_t sParents[] = {255, 0, 1};
    const int32_t from = bz_GetBoneNameTable(s.data(), 3, 36, sParents);
    // Target: Root, Spine, Chest (missing; parent Spine), Hand (missing; parent Chest),
    // Arm, Tail (missing; no ancestor in the source).
    const auto t = Names({"Root", "Spine", "Chest", "Hand", "Arm", "Tail"}, 84);
    const uint8_t tParents[] = {255, 0, 1, 2, 1, 255};
    const int32_t to = bz_GetBoneNameTable(t.data(), 6, 84, tParents);
    ASSERT_GE(from, 0);
    ASSERT_GE(to, 0);
    const uint8_t *remap = bz_GetBoneRemap(from, to);
    ASSERT_NE(remap, nullptr);
    const uint8_t expected[] = {0, 1, 1, 1, 2, 0};
    EXPECT_EQ(0, std::memcmp(remap, expected, sizeof expected));
    EXPECT_EQ(bz_GetBoneRemap(from, to), remap); // made once

    // Without parents a missing bone maps to 0.
    const auto plain = Names({"Arm", "Chest"}, 32);
    const int32_t noParents = bz_GetBoneNameTable(plain.data(), 2, 32, nullptr);
    const uint8_t *flat = bz_GetBoneRemap(from, noParents);
    EXPECT_EQ(flat[0], 2);
    EXPECT_EQ(flat[1], 0);
    // And the other way: source bones found in the target.
    const uint8_t *back = bz_GetBoneRemap(to, from);
    EXPECT_EQ(back[2], 4);
}

TEST_F(ModelAccessTest, AParentLoopEndsTheAncestorWalk)
{
    const auto s = Names({"A"}, 32);
    const int32_t from = bz_GetBoneNameTable(s.data(), 1, 32, nullptr);
    const auto t = Names({"X", "Y"}, 32);
    const uint8_t loop[] = {1, 0};
    const int32_t to = bz_GetBoneNameTable(t.data(), 2, 32, loop);
    const uint8_t *remap = bz_GetBoneRemap(from, to);
    EXPECT_EQ(remap[0], 0);
    EXPECT_EQ(remap[1], 0);
}
} // namespace
