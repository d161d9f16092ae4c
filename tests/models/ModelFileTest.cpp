#include "models/ModelFile.h"

#include "ModelFileFixtures.h"
#include "ModelsTestSupport.h"
#include "core/Bytes.h"
#include "core/NameHash.h"
#include "models/ModelPrepare.h"
#include "models/DisplayModels.h"
#include "models/MaterialFile.h"
#include "models/ModelFileOld.h"
#include "models/ModelLoad.h"
#include "models/Skeleton.h"
#include "models/SkinInstance.h"
#include "maths/Matrix.h"
#include "scene/Lump.h"

#include <chrono>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace
{
using ModelFileTest = ModelRecordsTest;

enum class Got
{
    Model,
    Box,
    Null
};

Got Kind(const bzModel *m)
{
    if (!m)
        return Got::Null;
    return std::strcmp(m->name, "Box") == 0 && m->vertexData && m->vertexData->vertexCount == 8 &&
                   m->vertexData->polygonCount == 12
               ? Got::Box
               : Got::Model;
}

bzModel *Load(const std::string &bytes, const char *path = "tri")
{
    std::string name = std::string(path) + ".MDL";
    for (char &c : name)
        if (c == '\\')
            c = '/';
    const std::filesystem::path p(name);
    if (p.has_parent_path())
        std::filesystem::create_directories(p.parent_path());
    WriteWholeFile(name, bytes);
    bzgLastError = 0;
    return bz_ReadModelFile(path, bz_HashString(path));
}

TEST_F(ModelFileTest, HeaderAndSwitchesDecideModelBoxOrNothing)
{
    const std::string prepOnly = TrianglePayload({});
    TriangleFields both;
    both.app = true;
    TriangleFields appOnly;
    appOnly.app = true;
    appOnly.prep = false;
    TriangleFields neither;
    neither.prep = false;
    struct Row
    {
        const char *what;
        std::string bytes;
        uint32_t options;
        Got got;
        int32_t error;
    };
    const Row rows[] = {
        {"short container of 2 models", Container(0x1234, 0x509, 0, prepOnly, -1, 2), 0, Got::Null,
         52},
        {"short container of 1 model", Container(0x1234, 0x509, 0, prepOnly), 0, Got::Model, 0},
        {"bad magic", Container(0x3456, 0x509, 0, prepOnly), 0, Got::Null, 29},
        {"payload size 0", Container(0x2345, 0x509, 0, prepOnly, 0), 0, Got::Null, 29},
        {"version 0x510", Container(0x2345, 0x510, 0, prepOnly), 0, Got::Box, 58},
        {"version 0x401", Container(0x2345, 0x401, 0, prepOnly), 0, Got::Box, 58},
        {"prep data", Container(0x2345, 0x509, 0, prepOnly), 0, Got::Model, 0},
        {"neither prep nor app_data", TriangleFile(neither), 1, Got::Box, 0},
        {"app_data without option bit 0", TriangleFile(both), 0, Got::Model, 0},
        {"app_data with option bit 0", TriangleFile(both), 1, Got::Model, 0},
        {"app_data only, option clear", TriangleFile(appOnly), 0, Got::Box, 0},
        {"app_data only, option set", TriangleFile(appOnly), 1, Got::Model, 0},
        {"payload size past the end", Container(0x2345, 0x509, 0, prepOnly, 5000), 0, Got::Box, 29},
        {"flag bit 0 ignores the size", Container(0x2345, 0x509, 1, TrianglePayload(both), 3), 1,
         Got::Model, 0},
    };
    for (const Row &row : rows)
    {
        SCOPED_TRACE(row.what);
        bzgModelLoadOptions = row.options;
        bzModel *m = Load(row.bytes);
        EXPECT_EQ(Kind(m), row.got);
        EXPECT_EQ(bzgLastError, row.error);
        if (m && row.got == Got::Model)
        {
            EXPECT_STREQ(m->name, "tri");
            EXPECT_EQ(m->nameHash, bz_HashString("tri"));
            EXPECT_EQ(m->refCount, 1);
        }
        if (m && std::string(row.what) == "app_data without option bit 0")
        {
            EXPECT_EQ(m->vertexData, nullptr);
        }
        if (m && std::string(row.what) == "app_data with option bit 0")
        {
            ASSERT_NE(m->vertexData, nullptr);
            EXPECT_EQ(m->vertexData->polygonCount, 1);
        }
        if (m && row.got == Got::Box)
        {
            EXPECT_NE(m->nameHash, bz_HashString("tri"));
            EXPECT_FLOAT_EQ(m->vertexData->vertices[6].x - m->vertexData->vertices[0].x, 1.0f);
        }
        bz_ReleaseModel(m);
    }
    EXPECT_EQ(bz_ReadModelFile("missing", 0), nullptr);
}

TEST_F(ModelFileTest, PrepDataFillsPartAndChecksumGoesToTheModel)
{
    bzModel *m = Load(TriangleFile({}));
    ASSERT_EQ(Kind(m), Got::Model);
    EXPECT_EQ(m->fileWord2, 0x600DF00Du);
    bzModelPart *part = m->part;
    ASSERT_NE(part, nullptr);
    ASSERT_EQ(part->faceCount, 1);
    EXPECT_EQ(part->faces[0].v[2], 2u);
    EXPECT_EQ(part->faces[0].flags, 0x20);
    ASSERT_EQ(part->vertexCount, 3);
    EXPECT_FLOAT_EQ(part->positions[0][1].x, 1.0f);
    EXPECT_FLOAT_EQ(part->uvs[1][2 * 2 + 1], 2.0f);
    ASSERT_EQ(part->entryCount, 1);
    EXPECT_EQ(part->entries[0].material, nullptr);
    EXPECT_EQ(part->entries[0].listIndexCount, 3u);
    EXPECT_FLOAT_EQ(part->entries[0].radius, 0.75f);
    EXPECT_FLOAT_EQ(m->radius, 0.75f);
    // The stored centre (9, 9, 9) gives way to the middle of the box.
    EXPECT_FLOAT_EQ(m->centre.x, 0.5f);
    EXPECT_FLOAT_EQ(m->centre.z, 0.0f);
    bz_ReleaseModel(m);
}

TEST_F(ModelFileTest, InvertedBoundsAreSwappedWithAMessage)
{
    TriangleFields s;
    s.minX = 2.0f;
    s.maxX = 1.0f;
    testing::internal::CaptureStdout();
    bzModel *m = Load(TriangleFile(s));
    const std::string out = testing::internal::GetCapturedStdout();
    ASSERT_EQ(Kind(m), Got::Model);
    EXPECT_FLOAT_EQ(m->boxMin.x, 1.0f);
    EXPECT_FLOAT_EQ(m->boxMax.x, 2.0f);
    EXPECT_FLOAT_EQ(m->centre.x, 1.5f);
    EXPECT_EQ(out, "model has invalid X bounding box, auto fixing! tri\n");
    bz_ReleaseModel(m);
}

TEST_F(ModelFileTest, MaterialNamesDefaultAndFolders)
{
    std::filesystem::create_directories("models");
    bzMaterial *stone = bz_CreateMaterial("stone", 1);
    ASSERT_EQ(bz_SaveMaterial("models\\stone.MTL", stone), 0);
    bz_ReleaseMaterial(stone);
    for (const char *name : {"DEFAULT", "default", "DeFaUlT"})
    {
        TriangleFields s;
        s.materials = {name};
        bzModel *m = Load(TriangleFile(s), "models\\tri");
        ASSERT_EQ(Kind(m), Got::Model) << name;
        EXPECT_EQ(m->part->entries[0].material, nullptr) << name;
        bz_ReleaseModel(m);
    }
    static int32_t hooked;
    hooked = 0;
    bzgModel_materialHook = [](bzMaterial *) { ++hooked; };
    TriangleFields s;
    s.materials = {"textures\\stone"};
    bzModel *m = Load(TriangleFile(s), "models\\tri");
    bzgModel_materialHook = nullptr;
    ASSERT_EQ(Kind(m), Got::Model);
    bzMaterial *got = m->part->entries[0].material;
    ASSERT_NE(got, nullptr);
    EXPECT_STREQ(got->shortName, "stone");
    EXPECT_EQ(hooked, 1);
    // The entry holds the one reference left.
    EXPECT_EQ(got->refCount, 1);
    bz_ReleaseModel(m);
}

TEST_F(ModelFileTest, MaterialSlotsNoEntryTakesAreReleased)
{
    bzMaterial *a = bz_CreateMaterial("a", 1);
    bzMaterial *b = bz_CreateMaterial("b", 1);
    ASSERT_EQ(bz_SaveMaterial("a.MTL", a), 0);
    ASSERT_EQ(bz_SaveMaterial("b.MTL", b), 0);
    bz_ReleaseMaterial(a);
    bz_ReleaseMaterial(b);
    TriangleFields s;
    s.materials = {"a", "b"}; // one entry: b is taken by none
    bzModel *m = Load(TriangleFile(s));
    ASSERT_EQ(Kind(m), Got::Model);
    EXPECT_EQ(bz_FindMaterial("b"), nullptr);
    ASSERT_NE(bz_FindMaterial("a"), nullptr);
    EXPECT_EQ(bz_FindMaterial("a")->refCount, 1);
    bz_ReleaseModel(m);
}

TEST_F(ModelFileTest, ColoursAreHalvedBelowVersion0x507)
{
    bzgModelLoadOptions = 1;
    for (uint16_t version : {0x505, 0x506, 0x507, 0x508, 0x509})
    {
        SCOPED_TRACE(version);
        TriangleFields s;
        s.version = version;
        s.app = true;
        s.polygonColour = 0xFFFFFFFF;
        s.vertexColour = 0x00000000;
        bzModel *m = Load(TriangleFile(s));
        ASSERT_EQ(Kind(m), Got::Model);
        const uint32_t expected = version < 0x507 ? 0xFF7F7F7F : 0xFFFFFFFF;
        EXPECT_EQ(m->vertexData->polygons[0].colours[2], expected);
        // The old mesh block halves vertex colours as it reads them.
        EXPECT_EQ(m->part->colours[0][0], version <= 0x506 ? 0xFF000000u : 0u);
        bz_ReleaseModel(m);
    }
}

TEST_F(ModelFileTest, OlderVersionsReadTheirLayouts)
{
    bzgModelLoadOptions = 1;
    struct Row
    {
        uint16_t version;
        bool part;
        uint16_t faceFlags;
        int32_t entries;
        uint16_t edgeFlags;
    };
    const Row rows[] = {
        {0x500, false, 0, 0, 0},      {0x501, false, 0, 0, 0},      {0x502, true, 0, 0, 0},
        {0x503, true, 0, 1, 0},       {0x504, true, 0x20, 1, 0},    {0x505, true, 0x20, 1, 0xA0},
        {0x506, true, 0x20, 1, 0xA0}, {0x507, true, 0x20, 1, 0xA0}, {0x508, true, 0x20, 1, 0xA0},
    };
    for (const Row &row : rows)
    {
        SCOPED_TRACE(row.version);
        TriangleFields s;
        s.version = row.version;
        s.app = true;
        s.faceTail = std::string(16, 'x'); // never read
        bzModel *m = Load(TriangleFile(s));
        ASSERT_EQ(Kind(m), Got::Model);
        EXPECT_EQ(bzgLastError, 0);
        ASSERT_NE(m->vertexData, nullptr);
        EXPECT_EQ(m->vertexData->polygonCount, 1);
        EXPECT_EQ(m->vertexData->polygons[0].flags, row.edgeFlags);
        EXPECT_EQ(m->vertexData->polygons[0].smoothing, 1);
        EXPECT_FLOAT_EQ(m->vertexData->vertices[1].x, 1.0f);
        EXPECT_EQ(m->part != nullptr, row.part);
        if (m->part)
        {
            ASSERT_EQ(m->part->faceCount, 1);
            EXPECT_EQ(m->part->faces[0].v[1], 1u);
            EXPECT_EQ(m->part->faces[0].flags, row.faceFlags);
            EXPECT_EQ(m->part->entryCount, row.entries);
        }
        if (row.entries > 0)
        {
            // Entry bounds come from the vertices the indices name.
            EXPECT_FLOAT_EQ(m->part->entries[0].boxMax.y, 1.0f);
            EXPECT_FLOAT_EQ(m->part->entries[0].centre.x, 0.5f);
            EXPECT_FLOAT_EQ(m->part->entries[0].radius, std::sqrt(0.5f));
        }
        bz_ReleaseModel(m);
    }
}

TEST_F(ModelFileTest, Version0x503FaceEntryBeyond4095BecomesZero)
{
    TriangleFields s;
    s.version = 0x503;
    s.faceEntry = 5000;
    bzModel *m = Load(TriangleFile(s));
    ASSERT_EQ(Kind(m), Got::Model);
    EXPECT_EQ(m->part->faces[0].entry, 0);
    EXPECT_EQ(m->part->faces[0].flags, 0);
    bz_ReleaseModel(m);
}

TEST_F(ModelFileTest, Version0x500WithoutAppDataHasBoundsAndNameOnly)
{
    TriangleFields s;
    s.version = 0x500;
    s.app = true;
    bzModel *m = Load(TriangleFile(s)); // option bit 0 clear
    ASSERT_EQ(Kind(m), Got::Model);
    EXPECT_EQ(m->part, nullptr);
    EXPECT_EQ(m->vertexData, nullptr);
    EXPECT_FLOAT_EQ(m->boxMax.x, 1.0f);
    EXPECT_STREQ(m->name, "tri");
    bz_ReleaseModel(m);
}

// A 0x402 or 0x403 payload of two triangles sharing an edge, the first 4 bytes unused.
std::string OldPayload(bool v403, uint16_t materialIndex = 0, uint16_t materials = 1)
{
    ByteWriter w;
    w.U32(0xDEADBEEF);
    w.U16(4).U16(2).U16(materials).U32(0).U32(0);
    const float pos[4][2] = {{0, 0}, {1, 0}, {0, 1}, {1, 1}};
    for (const auto &p : pos)
    {
        w.F32(p[0]).F32(p[1]).F32(0).Raw(std::string(12, '\x7f'));
        w.F32(p[0]).F32(p[1]);
        if (v403)
            w.F32(7).F32(7);
        w.U32(0);
    }
    w.U16(0).U16(1).U16(2).Raw(std::string(8, '\0')).U16(materialIndex);
    w.U16(2).U16(1).U16(3).Raw(std::string(8, '\0')).U16(0);
    for (uint16_t i = 0; i < materials; ++i)
        w.Name("DEFAULT", 17);
    return w.bytes;
}

TEST_F(ModelFileTest, Versions0x402And0x403GiveTheSameModel)
{
    bzModel *a = Load(Container(0x2345, 0x402, 0, OldPayload(false)), "old2");
    bzModel *b = Load(Container(0x2345, 0x403, 0, OldPayload(true)), "old3");
    ASSERT_EQ(Kind(a), Got::Model);
    ASSERT_EQ(Kind(b), Got::Model);
    ASSERT_EQ(a->vertexData->vertexCount, 4);
    ASSERT_EQ(b->vertexData->vertexCount, 4);
    ASSERT_EQ(a->vertexData->polygonCount, 2);
    ASSERT_EQ(b->vertexData->polygonCount, 2);
    for (int32_t i = 0; i < 2; ++i)
    {
        EXPECT_EQ(std::memcmp(a->vertexData->polygons[i].uv, b->vertexData->polygons[i].uv,
                              sizeof a->vertexData->polygons[i].uv),
                  0);
        EXPECT_FLOAT_EQ(b->vertexData->polygons[i].uv[0][2], 0.0f); // set 1 is not taken
    }
    EXPECT_EQ(a->part->faceCount, 2);
    EXPECT_EQ(bz_ModelChecksum(a, 1, 1, 0), bz_ModelChecksum(b, 1, 1, 0));
    bz_ReleaseModel(a);
    bz_ReleaseModel(b);

    // A face naming a material past the list, or more than 1,024 materials, is refused.
    bzModel *c = Load(Container(0x2345, 0x402, 0, OldPayload(false, 3)), "old4");
    EXPECT_EQ(Kind(c), Got::Box);
    EXPECT_EQ(bzgLastError, 29);
    bz_ReleaseModel(c);
    bzModel *d = Load(Container(0x2345, 0x402, 0, OldPayload(false, 0, 1025)), "old5");
    EXPECT_EQ(Kind(d), Got::Box);
    EXPECT_EQ(bzgLastError, 29);
    bz_ReleaseModel(d);
}

TEST_F(ModelFileTest, LyingFieldsGiveTheBoxAndError29)
{
    bzgModelLoadOptions = 1;
    struct Row
    {
        const char *what;
        TriangleFields fields;
    };
    std::vector<Row> rows;
    auto add = [&](const char *what, auto change)
    {
        TriangleFields s;
        s.app = true;
        change(s);
        rows.push_back({what, s});
    };
    add("face vertex past the mesh", [](TriangleFields &s) { s.faceVertex2 = 3; });
    add("face entry past the entries", [](TriangleFields &s) { s.faceEntry = 1; });
    add("more entries than materials", [](TriangleFields &s) { s.entryCount = 2; });
    add("list index past the mesh", [](TriangleFields &s) { s.listIndex2 = 3; });
    add("strip index past the mesh",
        [](TriangleFields &s)
        {
            s.strips = true;
            s.listIndex2 = 70000;
        });
    add("polygon material past the list", [](TriangleFields &s) { s.polygonMaterial = 2; });
    add("polygon vertex past the data", [](TriangleFields &s) { s.polygonVertex2 = 3; });
    add("face polygon past the polygons", [](TriangleFields &s) { s.faceToPolygon = 1; });
    for (const Row &row : rows)
    {
        SCOPED_TRACE(row.what);
        bzModel *m = Load(TriangleFile(row.fields));
        EXPECT_EQ(Kind(m), Got::Box);
        EXPECT_EQ(bzgLastError, 29);
        bz_ReleaseModel(m);
    }
}

// A skinned model: the triangle with a three-bone skeleton written by the writer.
bzModel *SkinnedTriangle()
{
    bzModel *m = Load(TriangleFile({}));
    bzModelPart *part = m->part;
    auto *s = static_cast<bzSkeleton *>(bz_MemAlloc(sizeof(bzSkeleton), BZ_MEM_CLEAR | 0x80, part));
    part->skeleton = s;
    s->boneCount = 3;
    s->influenceSlots = 1;
    s->rootBone = 0;
    s->bones = static_cast<bzSkeletonBone *>(bz_MemAlloc(3 * 36, BZ_MEM_CLEAR | 0x80, s));
    const int8_t links[3][3] = {{-1, 1, -1}, {0, -1, 2}, {0, -1, -1}};
    const char *names[3] = {"root", "arm", "a_bone_name_of_thirty-two_chars!"};
    for (int32_t b = 0; b < 3; ++b)
    {
        s->bones[b].parent = links[b][0];
        s->bones[b].firstChild = links[b][1];
        s->bones[b].nextSibling = links[b][2];
        std::memcpy(s->bones[b].name, names[b], std::strlen(names[b]));
    }
    s->vertexInfluences =
        static_cast<bzSkinInfluences *>(bz_MemAlloc(3 * 8, BZ_MEM_CLEAR | 0x80, part));
    for (int32_t v = 0; v < 3; ++v)
        s->vertexInfluences[v] = {1, {0, 0}, v};
    s->influenceCount = 3;
    s->influenceBones = static_cast<int16_t *>(bz_MemAlloc(6, 0x80, part));
    s->influenceWeights = static_cast<float *>(bz_MemAlloc(12, 0x80, part));
    for (int32_t i = 0; i < 3; ++i)
    {
        s->influenceBones[i] = static_cast<int16_t>(i);
        s->influenceWeights[i] = 1.0f;
    }
    m->flags |= BZ_MODEL_SKINNED;
    return m;
}

TEST_F(ModelFileTest, SkeletonBlockRoundTripsAndBadTreesAreRefused)
{
    bzModel *m = SkinnedTriangle();
    ASSERT_EQ(bz_SaveModelToFile("skin.MDL", m, 0, 1), 0);
    bz_ReleaseModel(m);
    const std::string bytes = ReadWholeFile("skin.MDL");
    EXPECT_EQ(bz_GetU32LE(reinterpret_cast<const uint8_t *>(bytes.data()) + 8) & 0x3F, 0x28u);
    bzModel *back = bz_ReadModelFile("skin", 0);
    ASSERT_EQ(Kind(back), Got::Model);
    const bzSkeleton *s = back->part->skeleton;
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->boneCount, 3);
    EXPECT_EQ(s->bones[1].nextSibling, 2);
    EXPECT_EQ(s->bones[2].lumpSlot, -1);
    EXPECT_EQ(std::string(s->bones[2].name, 32), "a_bone_name_of_thirty-two_chars!");
    EXPECT_EQ(s->vertexInfluences[2].first, 2);
    EXPECT_EQ(s->influenceBones[2], 2);
    EXPECT_NE(back->flags & BZ_MODEL_SKINNED, 0);
    // A skeleton read from a file can be posed: its instance starts in the bind pose.
    bzSkinInstance *instance = bz_CreateSkinInstance(back);
    ASSERT_NE(instance, nullptr);
    EXPECT_EQ(bz_Skeleton_FindBone(back, nullptr, 0, "THIRTY-TWO"), 2);
    bzLump skin{};
    skin.type = BZ_LUMP_TYPE_SKINNED_MODEL;
    skin.object = instance;
    bzM34 transform{};
    ASSERT_EQ(bz_Skeleton_GetSkinMatrix(&skin, back, 2, &transform), 0);
    EXPECT_EQ(std::memcmp(&transform, bz_M34_Identity(), sizeof transform), 0);
    bz_FreeSkinInstance(instance);
    bz_ReleaseModel(back);

    // The hierarchy bytes follow the names; flip links to make bad trees.
    const size_t names = bytes.find("a_bone_name") + 33;
    const size_t links = names + 36; // bone 0's links after its boxes and offset
    struct Row
    {
        const char *what;
        size_t at;
        int8_t value;
    };
    const Row rows[] = {
        {"root with a parent", links, 2},
        {"parent out of range", links + 39, 7},
        {"cycle of siblings", links + 39 + 2, 1},
        {"child that names another parent", links + 2 * 39, 1},
        {"name without terminator", names - 1, 'x'},
    };
    for (const Row &row : rows)
    {
        SCOPED_TRACE(row.what);
        std::string bad = bytes;
        bad[row.at] = static_cast<char>(row.value);
        bzModel *b = Load(bad, "skin");
        EXPECT_EQ(Kind(b), Got::Box);
        EXPECT_EQ(bzgLastError, 29);
        bz_ReleaseModel(b);
    }
}

TEST_F(ModelFileTest, TheWriterReproducesAFileByteForByte)
{
    // Written with strips and the name "Default", as the writer writes them; the checksum is
    // the writer's own.
    TriangleFields s;
    s.materials = {"Default"};
    s.strips = true;
    s.trueCentre = true;
    const std::string fixture = TriangleFile(s);
    bzModel *m = Load(fixture);
    ASSERT_EQ(Kind(m), Got::Model);
    ASSERT_EQ(bz_SaveModelToFile("again.MDL", m, 0, 1), 0);
    const std::string written = ReadWholeFile("again.MDL");
    ASSERT_EQ(written.size(), fixture.size());
    EXPECT_EQ(written.substr(0, 4), fixture.substr(0, 4));
    EXPECT_EQ(written.substr(8), fixture.substr(8));
    EXPECT_EQ(bz_GetU32LE(reinterpret_cast<const uint8_t *>(written.data()) + 4), m->fileWord2);
    EXPECT_EQ(bz_GetU32LE(reinterpret_cast<const uint8_t *>(written.data()) + 12),
              written.size() - 16);
    bz_ReleaseModel(m);
}

TEST_F(ModelFileTest, TheWriterReproducesAFileWithAppDataByteForByte)
{
    bzgModelLoadOptions = 1;
    TriangleFields s;
    s.materials = {"Default"};
    s.strips = true;
    s.trueCentre = true;
    s.app = true;
    s.polygonFlagWord = 1;
    const std::string fixture = TriangleFile(s);
    bzModel *m = Load(fixture);
    ASSERT_EQ(Kind(m), Got::Model);
    ASSERT_NE(m->vertexData, nullptr);
    ASSERT_EQ(bz_SaveModelToFile("again.MDL", m, 1, 1), 0);
    const std::string written = ReadWholeFile("again.MDL");
    ASSERT_EQ(written.size(), fixture.size());
    EXPECT_EQ(written.substr(0, 4), fixture.substr(0, 4));
    EXPECT_EQ(written.substr(8), fixture.substr(8));
    bz_ReleaseModel(m);
}

TEST_F(ModelFileTest, WrittenModelsReadBackTheSame)
{
    bzMaterial *red = bz_CreateMaterial("red", 1);
    ASSERT_EQ(bz_SaveMaterial("red.MTL", red), 0);
    bzModel *cube = bz_CreateCubeModel("cube", red, 2.0f);
    cube->vertexData->polygons[3].material = nullptr;
    ASSERT_EQ(bz_PrepareModelGeometry(cube, 0xFFBF), 0);
    bz_ReleaseMaterial(red);
    char path[] = "cube.xyz";
    ASSERT_EQ(bz_SaveModel(path, cube, 1, 1), 0);
    EXPECT_STREQ(path, "cube");
    const std::string bytes = ReadWholeFile("cube.MDL");
    EXPECT_EQ(bz_GetU32LE(reinterpret_cast<const uint8_t *>(bytes.data()) + 12), bytes.size() - 16);
    bzgModelLoadOptions = 1;
    bzModel *back = bz_ReadModelFile("cube", 7);
    ASSERT_EQ(Kind(back), Got::Model);
    const bzModelPart *a = cube->part, *b = back->part;
    ASSERT_EQ(a->faceCount, b->faceCount);
    EXPECT_EQ(std::memcmp(a->faces, b->faces, sizeof(bzModelFace) * a->faceCount), 0);
    ASSERT_EQ(a->vertexCount, b->vertexCount);
    for (int32_t v = 0; v < a->vertexCount; ++v)
    {
        bzVertexRecord x{}, y{};
        bz_GetModelVertex(cube, v, &x);
        bz_GetModelVertex(back, v, &y);
        EXPECT_EQ(std::memcmp(&x.position, &y.position, sizeof x.position), 0) << v;
        EXPECT_EQ(std::memcmp(&x.normal, &y.normal, sizeof x.normal), 0) << v;
        EXPECT_EQ(x.colour, y.colour) << v;
        EXPECT_EQ(x.u0, y.u0) << v;
        EXPECT_EQ(x.v1, y.v1) << v;
    }
    ASSERT_EQ(a->entryCount, b->entryCount);
    bool sawNone = false;
    for (int32_t e = 0; e < a->entryCount; ++e)
    {
        // The grey default material is written as "Default" and read back as none.
        const bzMaterial *ma =
            a->entries[e].material == bzgMaterial_default ? nullptr : a->entries[e].material;
        EXPECT_EQ(ma ? std::string(ma->shortName) : "",
                  b->entries[e].material ? std::string(b->entries[e].material->shortName) : "");
        sawNone = sawNone || !b->entries[e].material;
        EXPECT_EQ(a->entries[e].stripIndexCount, b->entries[e].stripIndexCount);
        EXPECT_EQ(a->entries[e].listIndexCount, b->entries[e].listIndexCount);
        EXPECT_EQ(std::memcmp(&a->entries[e].centre, &b->entries[e].centre, 40), 0);
    }
    EXPECT_TRUE(sawNone);
    EXPECT_EQ(bytes.find("Default"), bytes.find("Default")); // present once at least
    EXPECT_NE(bytes.find("Default"), std::string::npos);
    EXPECT_EQ(std::memcmp(&cube->radius, &back->radius, 40), 0);
    ASSERT_EQ(back->vertexData->polygonCount, 12);
    for (int32_t i = 0; i < 12; ++i)
        EXPECT_EQ(back->vertexData->polygons[i].material == nullptr, i == 3) << i;
    // The copy list and each data vertex's run of it.
    const bzModelVertexData *da = cube->vertexData, *db = back->vertexData;
    ASSERT_NE(da->table3, nullptr);
    ASSERT_NE(db->table3, nullptr);
    EXPECT_EQ(std::memcmp(da->table3, db->table3, 4u * static_cast<uint32_t>(a->vertexCount)), 0);
    ASSERT_EQ(da->vertexCount, db->vertexCount);
    for (int32_t v = 0; v < db->vertexCount; ++v)
    {
        EXPECT_EQ(db->vertices[v].runCount, da->vertices[v].runCount) << v;
        EXPECT_EQ(db->vertices[v].run - db->table3, da->vertices[v].run - da->table3) << v;
    }
    ASSERT_NE(db->faceToPolygon, nullptr);
    EXPECT_EQ(
        std::memcmp(da->faceToPolygon, db->faceToPolygon, 4u * static_cast<uint32_t>(a->faceCount)),
        0);
    bz_ReleaseModel(back);
    bz_ReleaseModel(cube);
}

TEST_F(ModelFileTest, WriteFailuresAndCountsThatDoNotFitAreReported)
{
    bzModel *m = bz_CreateCubeModel("c", nullptr, 1.0f);
    bzFileIOHandlers saved;
    bz_FileIO_GetHandlers(&saved);
    bzFileIOHandlers failing = saved;
    failing.write = [](const void *, size_t, size_t, bzFileHandle *) -> size_t { return 0; };
    bz_FileIO_SetHandlers(&failing);
    const int32_t result = bz_SaveModelToFile("fail.MDL", m, 1, 1);
    bz_FileIO_SetHandlers(&saved);
    EXPECT_EQ(result, 19);
    EXPECT_EQ(bz_SaveModelToFile("no_such_folder\\x.MDL", m, 1, 1), 19);
    EXPECT_EQ(bz_SaveModelToFile("nopart.MDL", m, 0, 1), 0);
    ASSERT_EQ(bz_GrowModelVertices(m, 70000), 8);
    EXPECT_EQ(bz_SaveModelToFile("big.MDL", m, 1, 0), 20);
    bz_ReleaseModel(m);
}

TEST_F(ModelFileTest, SharingAndFreshLoads)
{
    Put("tri.MDL", TriangleFile({}));
    bzModel *a = bz_LoadModel("tri");
    bzModel *b = bz_LoadModel("tri");
    ASSERT_EQ(Kind(a), Got::Model);
    EXPECT_EQ(a, b);
    EXPECT_EQ(a->refCount, 2);
    bz_SetLoadFlags(1);
    bzModel *c = bz_LoadModel("tri");
    bz_SetLoadFlags(0);
    EXPECT_NE(c, a);
    a->flags |= BZ_MODEL_NEVER_SHARED;
    bzModel *d = bz_LoadModel("tri");
    EXPECT_NE(d, a); // the never-shared one is passed over and a new one loaded
    EXPECT_NE(d, c);
    Put("sub/tri.MDL", TriangleFile({}));
    bzModel *e = bz_LoadModel("sub\\tri");
    EXPECT_NE(e, c);
    EXPECT_NE(e, a);
    // A device reader comes first unless the options skip it; the hook comes last.
    static bzModel *stand;
    stand = bz_CreateCubeModel("mdx", nullptr, 1.0f);
    bzgModel_mdxLoader = [](const char *, uint32_t) { return stand; };
    bz_SetLoadFlags(1);
    EXPECT_EQ(bz_LoadModel("tri"), stand);
    bzgModelLoadOptions = BZ_MODELOPT_NO_MDX;
    bzModel *f = bz_LoadModel("tri");
    EXPECT_NE(f, stand);
    bzgModel_missingHook = [](const char *) { return stand; };
    EXPECT_EQ(bz_LoadModel("nothing_here"), stand);
    bzgModel_missingHook = nullptr;
    bzgModel_mdxLoader = nullptr;
    bz_SetLoadFlags(0);
    for (bzModel *m : {a, a, c, d, e, f, stand})
        bz_ReleaseModel(m);
}

TEST_F(ModelFileTest, TestModelFileRewritesAsTheCurrentVersion)
{
    TriangleFields s;
    s.version = 0x505;
    Put("old.MDL", TriangleFile(s));
    char path[] = "old";
    EXPECT_EQ(bz_TestModelFile(path), 1);
    const std::string bytes = ReadWholeFile("old.MDL");
    EXPECT_EQ(bz_GetU16LE(reinterpret_cast<const uint8_t *>(bytes.data()) + 2), 0x509);
    bzModel *m = bz_ReadModelFile("old", 0);
    ASSERT_EQ(Kind(m), Got::Model);
    EXPECT_EQ(m->fileWord2, bz_GetU32LE(reinterpret_cast<const uint8_t *>(bytes.data()) + 4));
    EXPECT_EQ(m->part->faceCount, 1);
    bz_ReleaseModel(m);
    // A file that gives only the stand-in cube is left as it was.
    Put("bad.MDL", Container(0x2345, 0x600, 0, "xxxx"));
    char bad[] = "bad";
    EXPECT_EQ(bz_TestModelFile(bad), 0);
    EXPECT_EQ(ReadWholeFile("bad.MDL"), Container(0x2345, 0x600, 0, "xxxx"));
    char missing[] = "missing";
    EXPECT_EQ(bz_TestModelFile(missing), 0);
}

TEST_F(ModelFileTest, EveryTruncationGivesAClearError)
{
    bzgModelLoadOptions = 1;
    bzModel *skinned = SkinnedTriangle();
    ASSERT_EQ(bz_CreateModelVertexData(skinned, 3, 1), 0);
    ASSERT_EQ(bz_SaveModelToFile("whole.MDL", skinned, 1, 1), 0);
    bz_ReleaseModel(skinned);
    const std::string whole = ReadWholeFile("whole.MDL");
    for (const std::string &file :
         {whole, TriangleFile({0x505, true, true}), Container(0x2345, 0x403, 0, OldPayload(true))})
        for (size_t n = 0; n < file.size(); ++n)
        {
            SCOPED_TRACE(n);
            // The payload runs to the end of the cut file when its size says more.
            std::string cut = file.substr(0, n);
            bzModel *m = Load(cut);
            EXPECT_NE(Kind(m), Got::Model);
            EXPECT_NE(bzgLastError, 0);
            bz_ReleaseModel(m);
            // In memory the same.
            m = bz_ReadModelImage(reinterpret_cast<const uint8_t *>(cut.data()),
                                  static_cast<uint32_t>(cut.size()), "tri", 0);
            EXPECT_NE(Kind(m), Got::Model);
            bz_ReleaseModel(m);
        }
}

TEST_F(ModelFileTest, MutatedFilesReadBackConsistently)
{
    bzgModelLoadOptions = 1;
    bzModel *cube = bz_CreateCubeModel("cube", nullptr, 1.0f);
    ASSERT_EQ(bz_SaveModelToFile("mutable.MDL", cube, 1, 1), 0);
    bz_ReleaseModel(cube);
    const std::string base = ReadWholeFile("mutable.MDL");
    std::mt19937 random(12345);
    const auto stop = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
    int32_t models = 0, rounds = 0;
    while (std::chrono::steady_clock::now() < stop)
    {
        std::string bytes = base;
        const int32_t flips = 1 + static_cast<int32_t>(random() % 4);
        for (int32_t k = 0; k < flips; ++k)
            bytes[random() % bytes.size()] = static_cast<char>(random());
        bzModel *m = bz_ReadModelImage(reinterpret_cast<const uint8_t *>(bytes.data()),
                                       static_cast<uint32_t>(bytes.size()), "m", 0);
        ++rounds;
        if (Kind(m) == Got::Model)
        {
            // Whatever was accepted is a model the writer writes and the reader reads again to
            // the same counts.
            ++models;
            const int32_t app = m->vertexData ? 1 : 0;
            const int32_t written = bz_SaveModelToFile("again.MDL", m, app, 1);
            if (written == 0)
            {
                bzModel *again = bz_ReadModelFile("again", 0);
                ASSERT_EQ(Kind(again), Got::Model);
                EXPECT_EQ(again->part->faceCount, m->part->faceCount);
                EXPECT_EQ(again->part->vertexCount, m->part->vertexCount);
                EXPECT_EQ(again->part->entryCount, m->part->entryCount);
                EXPECT_EQ(again->vertexData != nullptr, app == 1);
                bz_ReleaseModel(again);
            }
        }
        bz_ReleaseModel(m);
    }
    EXPECT_GT(rounds, 50);
    EXPECT_GT(models, 0);
}
} // namespace

namespace
{
// The triangle with app_data and a source bone block of two bones and three skin vertices.
bzModel *BonedTriangle()
{
    TriangleFields s;
    s.app = true;
    bzModel *m = Load(TriangleFile(s));
    bzModelVertexData *d = m->vertexData;
    d->userWord |= BZ_VDATA_BONES;
    auto *bones =
        static_cast<bzModelBoneData *>(bz_MemAlloc(sizeof(bzModelBoneData), BZ_MEM_CLEAR));
    d->boneData = bones;
    bones->boneCount = 2;
    auto *records =
        static_cast<bzModelDataBone *>(bz_MemAlloc(2 * sizeof(bzModelDataBone), BZ_MEM_CLEAR));
    bones->bones = records;
    std::strcpy(records[0].name, "hip");
    records[0].parent = -1;
    std::strcpy(records[1].name, "knee");
    records[1].parent = 0;
    records[1].position = {0, -1, 0};
    bones->weightCount = 3;
    auto *skins =
        static_cast<bzModelSkinVertex *>(bz_MemAlloc(3 * sizeof(bzModelSkinVertex), BZ_MEM_CLEAR));
    bones->weights = skins;
    skins[1].count = 2;
    skins[1].bones[1] = 1;
    skins[1].weights[0] = 0.25f;
    skins[1].weights[1] = 0.75f;
    skins[1].offsets[1] = {1, 2, 3};
    return m;
}
} // namespace

TEST_F(ModelFileTest, SourceBonesRoundTripAndOverfullSkinRecordsAreRefused)
{
    bzgModelLoadOptions = 1;
    bzModel *m = BonedTriangle();
    ASSERT_EQ(bz_SaveModelToFile("boned.MDL", m, 1, 1), 0);
    bz_ReleaseModel(m);
    const std::string bytes = ReadWholeFile("boned.MDL");
    bzModel *back = bz_ReadModelFile("boned", 0);
    ASSERT_EQ(Kind(back), Got::Model);
    EXPECT_NE(back->flags & BZ_MODEL_SKINNED, 0);
    const bzModelBoneData *bones = back->vertexData->boneData;
    ASSERT_NE(bones, nullptr);
    ASSERT_EQ(bones->boneCount, 2);
    const auto *records = static_cast<const bzModelDataBone *>(bones->bones);
    EXPECT_STREQ(records[1].name, "knee");
    EXPECT_EQ(records[0].parent, -1);
    EXPECT_FLOAT_EQ(records[1].position.y, -1.0f);
    ASSERT_EQ(bones->weightCount, 3u);
    const auto *skins = static_cast<const bzModelSkinVertex *>(bones->weights);
    EXPECT_EQ(skins[0].count, 0);
    EXPECT_EQ(skins[1].count, 2);
    EXPECT_EQ(skins[1].bones[1], 1);
    EXPECT_FLOAT_EQ(skins[1].weights[1], 0.75f);
    EXPECT_FLOAT_EQ(skins[1].offsets[1].z, 3.0f);
    bz_ReleaseModel(back);

    // The skin records are the file's last bytes: 2, then 2 + 2 x 18, then 2 bytes; before
    // them the skin count and the two 82-byte bones.
    const size_t second = bytes.size() - 2 - (2 + 2 * 18);
    const size_t knee = second - 2 - 4 - 82;
    struct Row
    {
        const char *what;
        size_t at;
        uint16_t value;
    };
    const Row rows[] = {
        {"21 influences", second, 21},
        {"influence of a bone past the list", second + 2 + 18, 2},
        {"parent past the bones", knee + 32, 5},
    };
    for (const Row &row : rows)
    {
        SCOPED_TRACE(row.what);
        std::string bad = bytes;
        bad[row.at] = static_cast<char>(row.value & 0xFF);
        bad[row.at + 1] = static_cast<char>(row.value >> 8);
        bzModel *b = Load(bad, "boned");
        EXPECT_EQ(Kind(b), Got::Box);
        EXPECT_EQ(bzgLastError, 29);
        bz_ReleaseModel(b);
    }
}

TEST_F(ModelFileTest, OptionBit5SkipsTheFacesAndTheirPolygonTable)
{
    TriangleFields s;
    s.app = true;
    bzgModelLoadOptions = 1 | 0x20;
    bzModel *m = Load(TriangleFile(s));
    ASSERT_EQ(Kind(m), Got::Model);
    EXPECT_EQ(m->part->faceCount, 0);
    EXPECT_EQ(m->part->vertexCount, 3);
    EXPECT_EQ(m->vertexData->faceToPolygon, nullptr);
    EXPECT_EQ(m->vertexData->polygonCount, 1);
    bz_ReleaseModel(m);
}
