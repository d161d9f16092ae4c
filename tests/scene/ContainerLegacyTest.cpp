// The older container layout: records built byte by byte and read into a tree by their depth
// words, level-of-detail sets, lights, damaged and lying files, and the version 0x208 writer
// read back by the reader.
#include "ContainerBytes.h"
#include "FakeScene.h"
#include "TestSupport.h"

#include "core/Error.h"
#include "core/Progress.h"
#include "scene/Bounds.h"
#include "scene/Container.h"
#include "scene/Light.h"
#include "scene/Lump.h"
#include "scene/ModelGeometry.h"
#include "scene/ParticleSystem.h"
#include "scene/Spline.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace
{
constexpr float kIdentity[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};

struct Record
{
    const char *lump;
    const char *object;
    uint16_t kind;
    int16_t depth;
    uint16_t flagBits = 0;
    uint16_t options = 0;
    uint32_t user = 0;
};

// One record head of the older layout: lump name, object name (32 bytes each), kind, options,
// matrix, flag bits, depth, an ignored word and, from version 0x207 on, the user word.
Bytes &Head(Bytes &b, const Record &r, uint16_t version = 0x208, const float (&m)[12] = kIdentity)
{
    b.Text(r.lump, 32).Text(r.object, 32).U16(r.kind).U16(r.options);
    for (float f : m)
        b.F32(f);
    b.U16(r.flagBits).U16(static_cast<uint16_t>(r.depth)).U32(0xCCCCCCCC);
    if (version >= 0x207)
        b.U32(r.user);
    return b;
}

Bytes Start(uint16_t version, uint16_t count)
{
    Bytes b;
    b.U16(0x2345).U16(version).F32(12.5f).U16(count);
    return b;
}

bzLump *Read(const Bytes &bytes, const char *folder = "old/")
{
    return bz_Lump_ReadContainer(bytes.b.data(), static_cast<uint32_t>(bytes.b.size()), folder);
}

class ContainerLegacyTest : public ::testing::Test
{
protected:
    FakeModels models;
    int32_t lumpsBefore = bz_Lump_GetTotalCount();
    void TearDown() override { EXPECT_EQ(bz_Lump_GetTotalCount(), lumpsBefore); }
};

// root
//   car (model, faces the camera)
//     wheel
//   lamp (point light)
//   (kind 50: no lump)
//     orphan -> attached to root
Bytes SmallTree(uint16_t version)
{
    Bytes b = Start(version, 6);
    Head(b, {"root", "", 0, -1, 0x21, 0, 5}, version);
    const float moved[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 7, 8, 9};
    Head(b, {"car", "car.mod", 1, 0, 0x02, 3, 6}, version, moved);
    Head(b, {"wheel", "", 0, 1}, version);
    Head(b, {"lamp", "", 17, 0}, version).U32(0xAAAAAAAA).U32(7).U32(9).F32(10).F32(30);
    Head(b, {"nothing", "", 50, 0}, version);
    Head(b, {"orphan", "", 0, 1, 0x10}, version);
    if (version > 0x202)
        b.U16(0);
    return b;
}

TEST_F(ContainerLegacyTest, RecordsFormTheTreeByTheirDepths)
{
    for (uint16_t version : {0x202, 0x206, 0x207, 0x2FF})
    {
        bzLump *root = Read(SmallTree(version));
        ASSERT_NE(root, nullptr) << std::hex << version << " " << bzgLastError;
        const bool userWords = version >= 0x207;
        EXPECT_STREQ(root->name, "root");
        EXPECT_EQ(root->flags & (BZ_LUMP_HIDDEN | BZ_LUMP_LEVEL), BZ_LUMP_HIDDEN | BZ_LUMP_LEVEL);
        EXPECT_EQ(root->userWord, userWords ? 5u : 0u);
        ASSERT_EQ(bz_Lump_CountChildren(root), 3);

        bzLump *car = bz_Lump_GetChild(root, 0);
        EXPECT_STREQ(car->name, "car");
        ASSERT_EQ(car->type, BZ_LUMP_TYPE_MODEL);
        EXPECT_STREQ(bz_Lump_GetModel(car)->name, "old/car.mod");
        EXPECT_EQ(car->flags & (BZ_LUMP_FACE_CAMERA | BZ_LUMP_CONTAINER_2),
                  BZ_LUMP_FACE_CAMERA | BZ_LUMP_CONTAINER_2);
        EXPECT_FLOAT_EQ(car->matrix.row[3].v[2], 9.0f);
        EXPECT_EQ(car->userWord, userWords ? 6u : 0u);
        ASSERT_EQ(bz_Lump_CountChildren(car), 1);
        EXPECT_STREQ(bz_Lump_GetChild(car, 0)->name, "wheel");

        bzLump *lamp = bz_Lump_GetChild(root, 1);
        ASSERT_EQ(lamp->type, BZ_LUMP_TYPE_POINTLIGHT);
        const auto *light = static_cast<const bzLight *>(lamp->object);
        EXPECT_EQ(light->parameter1, 7u);
        EXPECT_FLOAT_EQ(light->outerAngle, 30.0f);

        bzLump *orphan = bz_Lump_GetChild(root, 2);
        EXPECT_STREQ(orphan->name, "orphan");
        EXPECT_TRUE(orphan->flags & BZ_LUMP_CONTAINER_5);
        bz_Lump_DestroyTree(root);
    }
}

TEST_F(ContainerLegacyTest, BadVersionsDepthsAndKindsAreRefused)
{
    struct Case
    {
        const char *what;
        uint16_t version;
        std::vector<Record> records;
        bzErrorCode code;
    };
    const Case cases[] = {
        {"0x201", 0x201, {{"r", "", 0, -1}}, 58},
        {"0x100", 0x100, {{"r", "", 0, -1}}, 58},
        {"root not first", 0x208, {{"r", "", 0, 0}}, 59},
        {"second root", 0x208, {{"r", "", 0, -1}, {"s", "", 0, -1}}, 59},
        {"skips a level", 0x208, {{"r", "", 0, -1}, {"s", "", 0, 1}}, 59},
        {"depth below -1", 0x208, {{"r", "", 0, -1}, {"s", "", 0, -5}}, 59},
        {"kind past 93", 0x208, {{"r", "", 0, -1}, {"s", "", 94, 0}}, 59},
        {"missing model", 0x208, {{"r", "", 0, -1}, {"s", "MISSING", 1, 0}}, 19},
        {"LOD of six levels", 0x208, {{"r", "", 0, -1}, {"s", "", 8, 0}}, 59},
    };
    for (const Case &c : cases)
    {
        Bytes b = Start(c.version, static_cast<uint16_t>(c.records.size()));
        for (const Record &r : c.records)
        {
            Head(b, r, c.version);
            if (r.kind == 8)
                b.U16(6);
        }
        b.U16(0);
        bzgLastError = 0;
        EXPECT_EQ(Read(b), nullptr) << c.what;
        EXPECT_EQ(bzgLastError, c.code) << c.what;
    }

    // No records: nothing is loaded, which is not an error.
    bzgLastError = 99;
    EXPECT_EQ(Read(Start(0x208, 0)), nullptr);
    EXPECT_EQ(bzgLastError, 0);
}

// Kind 3 loads its model as kind 1 does, and the lump holds a skin instance of it.
TEST_F(ContainerLegacyTest, SkinnedModelRecordsHoldAnInstanceOfTheirModel)
{
    Bytes b = Start(0x208, 2);
    Head(b, {"r", "", 0, -1});
    Head(b, {"walker", "walker.mod", 3, 0});
    b.U16(0);
    bzLump *root = Read(b);
    ASSERT_NE(root, nullptr) << bzgLastError;
    bzLump *walker = bz_Lump_GetChild(root, 0);
    ASSERT_NE(walker, nullptr);
    EXPECT_EQ(walker->type, BZ_LUMP_TYPE_SKINNED_MODEL);
    EXPECT_STREQ(walker->name, "walker");
    bzModel *model = bz_Lump_GetModel(walker);
    ASSERT_NE(model, nullptr);
    EXPECT_EQ(model->refCount, 1);
    EXPECT_EQ(bz_Lump_GetSkinModel(static_cast<const bzSkinInstance *>(walker->object)), model);
    bz_Lump_DestroyTree(root);
    EXPECT_EQ(model->refCount, 0);

    // A model that cannot be loaded ends the load as for kind 1.
    KeepAlive keep;
    Bytes missing = Start(0x208, 2);
    Head(missing, {"r", "", 0, -1});
    Head(missing, {"walker", "MISSING", 3, 0});
    missing.U16(0);
    bzgLastError = 0;
    EXPECT_EQ(Read(missing), nullptr);
    EXPECT_EQ(bzgLastError, 19);
}

// Kind 91 carries a particle system in the emitter payload; saved and read back it is the same
// system, and a file cut anywhere is refused.
TEST_F(ContainerLegacyTest, EmitterRecordsCarryTheirParticleSystem)
{
    ScopedTempDir dir;
    bzLump *root = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "r");
    bzParticleSystem *system = nullptr;
    bzLump *smoke = bz_Lump_CreateEmitter("smoke", &system);
    ASSERT_NE(system, nullptr);
    bz_ParticleSystem_SetRectangleShape(system, 2.5f, 4.0f);
    bz_Lump_AppendChild(root, smoke);
    const uint32_t shapeKind = system->shapeKind;
    ASSERT_EQ(bz_Lump_SaveLegacyCNT(root, "fx"), BZ_ERROR_NONE);
    bz_Lump_DestroyTree(root);

    const std::string bytes = ReadWholeFile("fx.CNT");
    Bytes whole;
    whole.b.assign(bytes.begin(), bytes.end());
    bzLump *loaded = Read(whole);
    ASSERT_NE(loaded, nullptr) << bzgLastError;
    bzLump *back = bz_Lump_GetChild(loaded, 0);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->type, BZ_LUMP_TYPE_PARTICLE_EMITTER);
    EXPECT_STREQ(back->name, "smoke");
    const auto *read = static_cast<const bzParticleSystem *>(back->object);
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->shapeKind, shapeKind);
    EXPECT_FLOAT_EQ(read->shape1.width, 2.5f);
    EXPECT_FLOAT_EQ(read->shape2.height, 4.0f);
    bz_Lump_DestroyTree(loaded);

    for (size_t cut = 4; cut < whole.b.size(); cut++)
    {
        Bytes part;
        part.b.assign(whole.b.begin(), whole.b.begin() + static_cast<long>(cut));
        bzgLastError = 0;
        EXPECT_EQ(Read(part), nullptr) << cut;
        EXPECT_NE(bzgLastError, 0) << cut;
    }
}

TEST_F(ContainerLegacyTest, LevelOfDetailSetsLoadFromTheirLevelFolders)
{
    Bytes b = Start(0x208, 5);
    Head(b, {"root", "", 0, -1});
    Head(b, {"tree", "", 8, 0}).U16(2);
    Head(b, {"tree", "near.mod", 1, 1});
    Head(b, {"tree", "far.mod", 1, 1});
    Head(b, {"leaf", "", 0, 1}); // the LOD lump's own child
    b.U16(0);
    bzLump *root = Read(b);
    ASSERT_NE(root, nullptr) << bzgLastError;
    ASSERT_EQ(bz_Lump_CountChildren(root), 1);
    bzLump *lod = bz_Lump_GetChild(root, 0);
    ASSERT_EQ(lod->type, BZ_LUMP_TYPE_LOD);
    EXPECT_STREQ(bz_Lump_GetLodModel(lod, 0)->name, "old/LOD0\\near.mod");
    EXPECT_STREQ(bz_Lump_GetLodModel(lod, 1)->name, "old/LOD1\\far.mod");
    EXPECT_EQ(bz_Lump_GetLodModel(lod, 2), nullptr);
    ASSERT_EQ(bz_Lump_CountChildren(lod), 1);
    EXPECT_STREQ(bz_Lump_GetChild(lod, 0)->name, "leaf");
    bzModel *near = bz_Lump_GetLodModel(lod, 0);
    EXPECT_EQ(near->refCount, 1);
    bz_Lump_DestroyTree(root);
    EXPECT_EQ(near->refCount, 0);
}

TEST_F(ContainerLegacyTest, EveryTruncationFailsCleanlyAndProgressCountsRecords)
{
    static int32_t steps;
    static float last;
    steps = 0;
    auto previous = bz_Progress_SetUpdateCallback([](float f) { ++steps, last = f; });
    static std::string shown;
    shown.clear();
    auto display = bz_Lump_SetLoadingDisplay([](const char *text) { shown = text; });
    const Bytes full = SmallTree(0x208);
    bzLump *root = Read(full);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(steps, 6);
    EXPECT_FLOAT_EQ(last, 1.0f);
    EXPECT_EQ(shown, "Loading objects...");
    bz_Lump_DestroyTree(root);
    bz_Lump_SetLoadingDisplay(display);
    bz_Progress_SetUpdateCallback(previous);

    for (size_t n = 4; n < full.b.size(); n++)
    {
        bzgLastError = 0;
        EXPECT_EQ(bz_Lump_ReadContainer(full.b.data(), static_cast<uint32_t>(n), "old/"), nullptr)
            << n;
        EXPECT_EQ(bzgLastError, 59) << n;
    }
}

TEST_F(ContainerLegacyTest, SavedTreesReadBackWithEveryKind)
{
    ScopedTempDir dir;
    bzLump *root = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "level");
    root->flags |= BZ_LUMP_LEVEL | BZ_LUMP_HIDDEN;
    root->userWord = 42;
    bzModel *floor = models.NewModel("floor.mod");
    bzLump *model = bz_Lump_CreateModel(floor);
    bz_Scene_ReleaseModel(floor);
    std::strcpy(model->name, "floor");
    model->flags |= BZ_LUMP_FACE_CAMERA | BZ_LUMP_CONTAINER_4;
    model->matrix.row[3] = {{{5, 6, 7}}};
    bz_Lump_AppendChild(root, model);
    // A spot light (type 8) must not come back as a level-of-detail set (kind 8).
    const bzLightParameters params = {3, 4, nullptr};
    bz_Lump_AppendChild(root, bz_Lump_CreateLight(BZ_LUMP_TYPE_SPOTLIGHT, nullptr, &params));
    bz_Lump_AppendChild(root, bz_Lump_CreateLight(BZ_LUMP_TYPE_AMBIENTLIGHT, nullptr, &params));
    bzLump *spline = bz_Lump_Create(BZ_LUMP_TYPE_SPLINE, "track");
    bz_Lump_SetObject(spline, bz_Spline_CreateCircle(2.0f, 4, 0));
    bz_Lump_AppendChild(root, spline);
    bzModel *levels[2] = {models.NewModel("near.mod"), models.NewModel("far.mod")};
    bzLump *lod = bz_Lump_CreateLod("tree", levels, 2);
    bz_Lump_AppendChild(root, lod);
    bz_Lump_AppendChild(lod, bz_Lump_Create(BZ_LUMP_TYPE_NULL, "leaf"));
    bzLump *transient = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "temp");
    transient->flags |= BZ_LUMP_TRANSIENT;
    bz_Lump_AppendChild(root, transient);
    ASSERT_EQ(bz_Lump_SaveLegacyCNT(root, "level"), BZ_ERROR_NONE);

    // The header: magic, version 0x208, the largest extent, then root, 5 lumps, 2 level records
    // and the leaf: 9 records.
    const std::string bytes = ReadWholeFile("level.CNT");
    ASSERT_GE(bytes.size(), 10u);
    EXPECT_EQ(static_cast<uint8_t>(bytes[2]), 0x08);
    EXPECT_EQ(static_cast<uint8_t>(bytes[3]), 0x02);
    EXPECT_EQ(static_cast<uint8_t>(bytes[8]) | static_cast<uint8_t>(bytes[9]) << 8, 9);

    bzLump *loaded = bz_Lump_LoadCNT("level");
    ASSERT_NE(loaded, nullptr) << bzgLastError;
    EXPECT_EQ(loaded->userWord, 42u);
    EXPECT_EQ(loaded->flags & (BZ_LUMP_LEVEL | BZ_LUMP_HIDDEN), BZ_LUMP_LEVEL | BZ_LUMP_HIDDEN);
    const uint8_t types[] = {BZ_LUMP_TYPE_MODEL, BZ_LUMP_TYPE_SPOTLIGHT, BZ_LUMP_TYPE_AMBIENTLIGHT,
                             BZ_LUMP_TYPE_SPLINE, BZ_LUMP_TYPE_LOD};
    ASSERT_EQ(bz_Lump_CountChildren(loaded), 5);
    for (int32_t i = 0; i < 5; i++)
        EXPECT_EQ(bz_Lump_GetChild(loaded, i)->type, types[i]) << i;
    bzLump *floorLump = bz_Lump_GetChild(loaded, 0);
    EXPECT_STREQ(bz_Lump_GetModel(floorLump)->name, "floor.mod");
    EXPECT_EQ(floorLump->flags & (BZ_LUMP_FACE_CAMERA | BZ_LUMP_CONTAINER_4),
              BZ_LUMP_FACE_CAMERA | BZ_LUMP_CONTAINER_4);
    EXPECT_FLOAT_EQ(floorLump->matrix.row[3].v[1], 6.0f);
    const auto *spot = static_cast<const bzLight *>(bz_Lump_GetChild(loaded, 1)->object);
    EXPECT_EQ(spot->parameter1, 3u);
    bzLump *lodBack = bz_Lump_GetChild(loaded, 4);
    EXPECT_STREQ(bz_Lump_GetLodModel(lodBack, 1)->name, "LOD1\\far.mod");
    ASSERT_EQ(bz_Lump_CountChildren(lodBack), 1);
    EXPECT_STREQ(bz_Lump_GetChild(lodBack, 0)->name, "leaf");
    bz_Lump_DestroyTree(loaded);
    bz_Lump_DestroyTree(root);
}

TEST_F(ContainerLegacyTest, WriterRefusesWhatTheLayoutCannotHold)
{
    ScopedTempDir dir;
    bzLump *root = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "big");
    for (int32_t i = 0; i < 4096; i++)
        bz_Lump_AppendChild(root, bz_Lump_Create(BZ_LUMP_TYPE_NULL, "x"));
    EXPECT_EQ(bz_Lump_SaveLegacyCNT(root, "big"), BZ_ERROR_PARAMETER_OUT_OF_RANGE);
    EXPECT_EQ(ReadWholeFile("big.CNT"), "");
    // One fewer fits.
    bz_Lump_Destroy(bz_Lump_GetChild(root, 0));
    EXPECT_EQ(bz_Lump_SaveLegacyCNT(root, "big"), BZ_ERROR_NONE);
    bz_Lump_DestroyTree(root);
    EXPECT_EQ(bz_Lump_SaveLegacyCNT(nullptr, "x"), BZ_ERROR_INVALID_PARAMETER);
}

TEST_F(ContainerLegacyTest, TheRootOctreeIsKept)
{
    ScopedTempDir dir;
    bzLump *root = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "level");
    bzModel *floor = models.NewModel("floor.mod");
    bz_Lump_AppendChild(root, bz_Lump_CreateModel(floor));
    bz_Scene_ReleaseModel(floor);
    ASSERT_NE(bz_Lump_BuildOctree(root), nullptr);
    ASSERT_EQ(bz_Lump_SaveLegacyCNT(root, "level"), BZ_ERROR_NONE);
    bzLump *loaded = bz_Lump_LoadCNT("level");
    ASSERT_NE(loaded, nullptr) << bzgLastError;
    EXPECT_TRUE(loaded->flags & BZ_LUMP_OCTREE);
    EXPECT_NE(loaded->octree, nullptr);
    bz_Lump_DestroyTree(loaded);
    bz_Lump_DestroyTree(root);
}
} // namespace

namespace
{
// A level record of kind 3 holds its model as the level's model, as kind 1 does; a level model
// that is skinned is written back as kind 3, so the set reads back and writes out the same bytes.
TEST_F(ContainerLegacyTest, SkinnedLevelsOfDetailReadAndWriteBackAsStored)
{
    ScopedTempDir dir;
    const float moved[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 2, 3, 4};
    Bytes expected = Start(0x208, 4);
    Head(expected, {"root", "", 0, -1});
    Head(expected, {"guard", "", 8, 0, 0x01, 0, 9}, 0x208, moved).U16(2);
    Head(expected, {"guard", "walk.mod", 3, 1});
    Head(expected, {"guard", "stand.mod", 1, 1});
    expected.U16(0);
    // The writer stores 0 in the ignored word of every record and the models' extent in the
    // header.
    const size_t recordBytes = 32 + 32 + 2 + 2 + 48 + 2 + 2 + 4 + 4;
    for (size_t r = 0; r < 4; r++)
        for (size_t k = 0; k < 4; k++)
            expected.b[10 + r * recordBytes + (r >= 2 ? 2 : 0) + 120 + k] = 0;
    const float extent = 1.0f;
    std::memcpy(&expected.b[4], &extent, 4);

    bzLump *root = Read(expected, "");
    ASSERT_NE(root, nullptr) << bzgLastError;
    ASSERT_EQ(bz_Lump_CountChildren(root), 1);
    bzLump *lod = bz_Lump_GetChild(root, 0);
    ASSERT_EQ(lod->type, BZ_LUMP_TYPE_LOD);
    EXPECT_EQ(lod->userWord, 9u);
    EXPECT_EQ(bz_Lump_CountChildren(lod), 0);
    bzModel *walk = bz_Lump_GetLodModel(lod, 0);
    bzModel *stand = bz_Lump_GetLodModel(lod, 1);
    ASSERT_NE(walk, nullptr);
    ASSERT_NE(stand, nullptr);
    EXPECT_STREQ(walk->name, "LOD0\\walk.mod");
    EXPECT_STREQ(stand->name, "LOD1\\stand.mod");
    EXPECT_EQ(walk->refCount, 1);
    EXPECT_EQ(models.skinInstances, 0); // the level holds the model, no instance

    // The real models are named by their file alone and mark a skinned file's model skinned.
    std::strcpy(walk->name, "walk.mod");
    std::strcpy(stand->name, "stand.mod");
    walk->modelFlags |= BZ_MODEL_FLAG_SKINNED;
    ASSERT_EQ(bz_Lump_SaveLegacyCNT(root, "again"), BZ_ERROR_NONE);
    const std::string written = ReadWholeFile("again.CNT");
    EXPECT_EQ(written, std::string(expected.b.begin(), expected.b.end()));
    bz_Lump_DestroyTree(root);
    EXPECT_EQ(walk->refCount, 0);

    // A skinned level that cannot be loaded fails the load as a plain one does.
    KeepAlive keep;
    Bytes missing = Start(0x208, 3);
    Head(missing, {"root", "", 0, -1});
    Head(missing, {"guard", "", 8, 0}).U16(1);
    Head(missing, {"guard", "MISSING", 3, 1});
    missing.U16(0);
    bzgLastError = 0;
    EXPECT_EQ(Read(missing), nullptr);
    EXPECT_EQ(bzgLastError, 19);
}
} // namespace
