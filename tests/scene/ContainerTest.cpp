// Lump containers: records built byte by byte and read, flag bytes and tags, chunks, damaged
// and lying files (cut at every length, counts past the end, deep nesting), save and load of a
// mixed tree with an octree, and a bounded fuzz of the reader over mutated containers.
#include "ContainerBytes.h"
#include "FakeScene.h"
#include "TestSupport.h"

#include "core/Bytes.h"
#include "core/Error.h"
#include "maths/Matrix.h"
#include "scene/Bounds.h"
#include "files/File.h"
#include "scene/Container.h"
#include "scene/Light.h"
#include "scene/Lump.h"
#include "scene/LumpRay.h"
#include "scene/Spline.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace
{
bzLump *Read(const Bytes &bytes, const char *folder = "lev/")
{
    return bz_Lump_ReadContainer(bytes.b.data(), (uint32_t)bytes.b.size(), folder);
}

class ContainerTest : public ::testing::Test
{
protected:
    FakeModels models;
    int32_t lumpsBefore = bz_Lump_GetTotalCount();
    void TearDown() override { EXPECT_EQ(bz_Lump_GetTotalCount(), lumpsBefore); }
};

TEST_F(ContainerTest, RecordWithoutFlagBytesReadsEveryField)
{
    Bytes b;
    b.Header()
        .Start("Exactly16CharsXY", {}, 0xA1B2C3D4u, {1, 0, 0, 0, 1, 0, 0, 0, 1, 2.5f, -3, 4})
        .Tag("NULL")
        .U32(0)
        .U32(0);
    // The name, one 0 byte for the empty flag list, the user word, the matrix, the tag.
    ASSERT_EQ(b.b.size(), 4u + 16 + 1 + 4 + 48 + 4 + 4 + 4);
    EXPECT_EQ(b.b[4 + 16], 0);
    bzLump *root = Read(b);
    ASSERT_NE(root, nullptr);
    EXPECT_STREQ(root->name, "Exactly16CharsXY");
    EXPECT_EQ(root->type, BZ_LUMP_TYPE_NULL);
    EXPECT_EQ(root->userWord, 0xA1B2C3D4u);
    EXPECT_EQ(root->flags, 0x1u);
    EXPECT_FLOAT_EQ(root->matrix.row[3].v[0], 2.5f);
    EXPECT_FLOAT_EQ(root->matrix.row[3].v[1], -3.0f);
    EXPECT_FLOAT_EQ(root->matrix.row[3].v[2], 4.0f);
    EXPECT_EQ(root->firstChild, nullptr);
    bz_Lump_DestroyTree(root);
}

TEST_F(ContainerTest, FlagBytesSetTheirBits)
{
    const struct
    {
        uint8_t byte;
        uint32_t bit;
    } cases[] = {{1, 0x800},     {2, 0x800000}, {3, 0x1000000}, {4, 0x2000000}, {5, 0x4000000},
                 {6, 0x8000000}, {8, 0x10},     {9, 0x10},      {10, 0x10},     {11, 0x10}};
    for (const auto &c : cases)
    {
        Bytes b;
        b.Header().Start("f", {c.byte}).Tag("NULL").U32(0).U32(0);
        bzLump *root = Read(b);
        ASSERT_NE(root, nullptr) << (int)c.byte;
        EXPECT_EQ(root->flags, 0x1u | c.bit) << (int)c.byte;
        bz_Lump_DestroyTree(root);
    }
}

TEST_F(ContainerTest, MirrorFlagKeptOnlyForNegativeDeterminant)
{
    const struct
    {
        float x;
        uint32_t expected;
    } cases[] = {{1.0f, 0x1}, {-1.0f, 0x3}};
    for (const auto &c : cases)
    {
        Bytes b;
        b.Header().Start("m", {7}, 0, {c.x, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0}).Tag("NULL");
        b.U32(0).U32(0);
        bzLump *root = Read(b);
        ASSERT_NE(root, nullptr);
        EXPECT_EQ(root->flags, c.expected) << c.x;
        bz_Lump_DestroyTree(root);
    }
}

TEST_F(ContainerTest, UnlistedFlagByteAndTagAreReportedThenRead)
{
    KeepAlive keep;
    bzgFatalErrorHappened = 0;
    Bytes b;
    b.Header().Start("odd", {12, 1}).Tag("XXXX").U32(0).U32(0);
    bzLump *root = Read(b);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(bzgFatalErrorHappened, 1);
    EXPECT_EQ(root->flags, 0x801u);
    EXPECT_EQ(root->type, BZ_LUMP_TYPE_NULL);
    bz_Lump_DestroyTree(root);
}

TEST_F(ContainerTest, ChildrenKeepStoredOrderAndChunksAreSkipped)
{
    Bytes b;
    b.Header().Start("parent").Tag("NULL").U32(3);
    b.Leaf("first").Leaf("second").Leaf("third");
    // An extension chunk of 8 bytes whose contents look like chunk codes, a lone word, the end.
    b.U32(0xFFFFFFFFu).U32(8).U32(1).U32(0).U32(77).U32(0);
    bzLump *root = Read(b);
    ASSERT_NE(root, nullptr);
    ASSERT_EQ(bz_Lump_CountChildren(root), 3);
    EXPECT_STREQ(bz_Lump_GetChild(root, 0)->name, "first");
    EXPECT_STREQ(bz_Lump_GetChild(root, 1)->name, "second");
    EXPECT_STREQ(bz_Lump_GetChild(root, 2)->name, "third");
    EXPECT_EQ(root->octree, nullptr);
    bz_Lump_DestroyTree(root);
}

TEST_F(ContainerTest, ModelLoadsFromTheContainerFolderAndLightReadsItsPayload)
{
    Bytes b;
    b.Header().Start("root").Tag("NULL").U32(2);
    b.Start("car").Tag("MODL").Text("abcdefghijklmnopqrstuvwxyz012345", 32).U32(0).U32(0);
    b.Start("lamp").Tag("LITp").U32(7).U32(9).F32(10.0f).F32(30.0f).U32(0).U32(0);
    b.U32(0);
    bzLump *root = Read(b, "L/");
    ASSERT_NE(root, nullptr);
    bzLump *car = bz_Lump_GetChild(root, 0);
    ASSERT_EQ(car->type, BZ_LUMP_TYPE_MODEL);
    bzModel *model = bz_Lump_GetModel(car);
    ASSERT_NE(model, nullptr);
    // The fake keeps the first 31 characters of the path it was asked for.
    EXPECT_STREQ(model->name, "L/abcdefghijklmnopqrstuvwxyz012");
    EXPECT_EQ(model->refCount, 1);
    bzLump *lamp = bz_Lump_GetChild(root, 1);
    ASSERT_EQ(lamp->type, BZ_LUMP_TYPE_POINTLIGHT);
    const bzLight *light = (const bzLight *)lamp->object;
    ASSERT_NE(light, nullptr);
    EXPECT_EQ(light->parameter1, 7u);
    EXPECT_EQ(light->parameter2, 9u);
    EXPECT_FLOAT_EQ(light->innerAngle, 10.0f);
    EXPECT_FLOAT_EQ(light->outerAngle, 30.0f);
    bz_Lump_DestroyTree(root);
    EXPECT_EQ(model->refCount, 0);
}

TEST_F(ContainerTest, CameraIsReadAsRootAndRefusedAsChild)
{
    KeepAlive keep;
    bzgFatalErrorHappened = 0;
    Bytes b;
    b.Header().Start("cam").Tag("CAML").U32(2);
    b.Start("inner").Tag("CAML").U32(1).Leaf("below").U32(0);
    b.Leaf("kept").U32(0);
    bzLump *root = Read(b);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->type, BZ_LUMP_TYPE_CAMERA);
    EXPECT_EQ(bzgFatalErrorHappened, 1);
    ASSERT_EQ(bz_Lump_CountTree(root), 2);
    EXPECT_STREQ(bz_Lump_GetChild(root, 0)->name, "kept");
    bz_Lump_DestroyTree(root);
}

TEST_F(ContainerTest, MissingModelIsReportedAndTheLumpKeptWithoutObject)
{
    KeepAlive keep;
    bzgFatalErrorHappened = 0;
    Bytes b;
    b.Header().Start("car").Tag("MODL").Text("MISSING", 32).U32(0).U32(0);
    bzLump *root = Read(b);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(bzgFatalErrorHappened, 1);
    EXPECT_EQ(root->type, BZ_LUMP_TYPE_MODEL);
    EXPECT_EQ(root->object, nullptr);
    bz_Lump_DestroyTree(root);
}

TEST_F(ContainerTest, ModelPathTooLongIsNotLoadedCut)
{
    KeepAlive keep;
    bzgFatalErrorHappened = 0;
    const std::string folder(250, 'd');
    Bytes b;
    b.Header().Start("car").Tag("MODL").Text("abcdefghijklmnopqrstuvwxyz012345", 32).U32(0).U32(0);
    bzLump *root = Read(b, (folder + "/").c_str());
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(bzgFatalErrorHappened, 1);
    EXPECT_EQ(root->object, nullptr);
    EXPECT_TRUE(models.models.empty());
    bz_Lump_DestroyTree(root);
}

TEST_F(ContainerTest, LoadIntoAttachesTheRootAsFirstChild)
{
    ScopedTempDir dir;
    bzLump *saved = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "prop");
    ASSERT_EQ(bz_Lump_SaveCNT("prop", saved, 0), 0);
    bz_Lump_DestroyTree(saved);
    bzLump *parent = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "parent");
    bz_Lump_AppendChild(parent, bz_Lump_Create(BZ_LUMP_TYPE_NULL, "older"));
    bzLump *into = bz_Lump_LoadCNTInto(parent, "prop");
    ASSERT_NE(into, nullptr);
    bzLump *under = bz_Lump_LoadCNTUnder(parent, "prop");
    ASSERT_NE(under, nullptr);
    EXPECT_EQ(bz_Lump_GetChild(parent, 0), under);
    EXPECT_EQ(bz_Lump_GetChild(parent, 1), into);
    EXPECT_STREQ(bz_Lump_GetChild(parent, 2)->name, "older");
    bzLump *alone = bz_Lump_LoadCNTInto(nullptr, "prop");
    ASSERT_NE(alone, nullptr);
    EXPECT_EQ(alone->parent, nullptr);
    bz_Lump_DestroyTree(alone);
    bz_Lump_DestroyTree(parent);
}

TEST_F(ContainerTest, BadHeadersAreRefused)
{
    const struct
    {
        uint16_t magic, version;
        bzErrorCode code;
    } cases[] = {{0x2346, 0x300, 59}, {0x4523, 0x300, 59}, {0x2345, 0x201, 58}, {0x2345, 0, 58}};
    for (const auto &c : cases)
    {
        Bytes b;
        b.U16(c.magic).U16(c.version).Leaf("x");
        bzgLastError = 0;
        EXPECT_EQ(Read(b), nullptr);
        EXPECT_EQ(bzgLastError, c.code) << std::hex << c.magic << " " << c.version;
    }
    bzgLastError = 0;
    EXPECT_EQ(bz_Lump_ReadContainer(nullptr, 0, ""), nullptr);
    EXPECT_EQ(bzgLastError, 59);
}

// A container of every kind of record this reader reads, with nesting and chunks.
Bytes MixedContainer()
{
    Bytes b;
    b.Header().Start("root", {6}, 5).Tag("NULL").U32(4);
    b.Start("car", {1, 2}).Tag("MODL").Text("car.mod", 32).U32(1);
    b.Start("wheel", {}, 3, {-1, 0, 0, 0, 1, 0, 0, 0, 1, 1, 2, 3}).Tag("NULL").U32(0).U32(0);
    b.U32(0);
    b.Start("lamp").Tag("LITs").U32(1).U32(2).F32(22.5f).F32(45.0f).U32(0).U32(0);
    b.Start("path").Tag("SPLN").Tag("BLPS").U32(2);
    for (int k = 0; k < 2; k++)
        for (int i = 0; i < 9; i++)
            b.F32((float)(k * 9 + i));
    b.U32(0).Tag("ELPS").U32(0).U32(0);
    b.Start("snd").Tag("NOIZ").U32(0).U32(0xFFFFFFFFu).U32(4).U32(0xDEADBEEF).U32(0);
    b.U32(0);
    return b;
}

TEST_F(ContainerTest, MixedContainerReads)
{
    bzLump *root = Read(MixedContainer());
    ASSERT_NE(root, nullptr) << bzgLastError;
    EXPECT_EQ(bz_Lump_CountTree(root), 6);
    EXPECT_EQ(root->userWord, 5u);
    EXPECT_EQ(root->flags, 0x8000001u);
    EXPECT_EQ(bz_Lump_GetChild(root, 0)->flags, 0x800801u);
    EXPECT_EQ(bz_Lump_GetChild(root, 2)->type, BZ_LUMP_TYPE_SPLINE);
    ASSERT_NE(bz_Lump_GetChild(root, 2)->object, nullptr);
    EXPECT_EQ(((const bzSpline *)bz_Lump_GetChild(root, 2)->object)->knotCount, 2);
    EXPECT_EQ(bz_Lump_GetChild(root, 3)->type, BZ_LUMP_TYPE_SOUND);
    bz_Lump_DestroyTree(root);
}

TEST_F(ContainerTest, EveryTruncationFailsCleanly)
{
    const Bytes whole = MixedContainer();
    for (size_t n = 0; n < whole.b.size(); n++)
    {
        // A block of exactly n bytes, so that ASan sees any read past its end.
        std::vector<uint8_t> cut(whole.b.begin(), whole.b.begin() + (long)n);
        bzgLastError = 0;
        bzLump *root = bz_Lump_ReadContainer(cut.data(), (uint32_t)n, "lev/");
        EXPECT_EQ(root, nullptr) << n;
        EXPECT_EQ(bzgLastError, 59) << n;
        ASSERT_EQ(bz_Lump_GetTotalCount(), lumpsBefore) << n;
    }
}

TEST_F(ContainerTest, LyingCountsAndSizesAreRefused)
{
    Bytes children;
    children.Header().Start("r").Tag("NULL").U32(0x7FFFFFFF).Leaf("only").U32(0);
    Bytes extension;
    extension.Header().Start("r").Tag("NULL").U32(0).U32(0xFFFFFFFFu).U32(0xFFFFFFF0u).U32(0);
    Bytes spline;
    spline.Header().Start("r").Tag("SPLN").Tag("BLPS").U32(1000000).U32(0).U32(0);
    Bytes octree;
    octree.Header().Start("r").Tag("NULL").U32(0).U32(1).U32(5).U32(0xFFFFFF).U32(0);
    for (const Bytes *b : {&children, &extension, &spline, &octree})
    {
        bzgLastError = 0;
        EXPECT_EQ(Read(*b), nullptr);
        EXPECT_EQ(bzgLastError, 59);
    }
}

TEST_F(ContainerTest, NestingDeeperThanTheLimitIsRefused)
{
    for (int depth : {257, 5000})
    {
        Bytes b;
        b.Header();
        for (int i = 0; i < depth; i++)
            b.Start("d").Tag("NULL").U32(1);
        b.Leaf("leaf");
        for (int i = 0; i < depth; i++)
            b.U32(0);
        bzgLastError = 0;
        EXPECT_EQ(Read(b), nullptr) << depth;
        EXPECT_EQ(bzgLastError, 59) << depth;
    }
    // The deepest nesting taken: the root at depth 0 and 256 levels below it.
    Bytes b;
    b.Header();
    for (int i = 0; i < 256; i++)
        b.Start("d").Tag("NULL").U32(1);
    b.Leaf("leaf");
    for (int i = 0; i < 256; i++)
        b.U32(0);
    bzLump *root = Read(b);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(bz_Lump_CountTree(root), 257);
    bz_Lump_DestroyTree(root);
}

// A "SKIN" record names its model like "MODL"; the lump holds a skin instance of it.
TEST_F(ContainerTest, SkinRecordsHoldAnInstanceOfTheirModel)
{
    Bytes b;
    b.Header().Start("r").Tag("NULL").U32(1);
    b.Start("walker").Tag("SKIN").Text("walker.mod", 32).U32(0).U32(0);
    b.U32(0);
    bzLump *root = Read(b, "L/");
    ASSERT_NE(root, nullptr) << bzgLastError;
    bzLump *walker = bz_Lump_GetChild(root, 0);
    ASSERT_EQ(walker->type, BZ_LUMP_TYPE_SKINNED_MODEL);
    bzModel *model = bz_Lump_GetModel(walker);
    ASSERT_NE(model, nullptr);
    EXPECT_STREQ(model->name, "L/walker.mod");
    EXPECT_EQ(model->refCount, 1); // the instance's use alone
    EXPECT_EQ(bz_Lump_GetSkinModel(static_cast<const bzSkinInstance *>(walker->object)), model);
    EXPECT_EQ(models.skinInstances, 1);

    // Written back, the record names the model by the name it has.
    ScopedTempDir dir;
    ASSERT_EQ(bz_Lump_SaveCNT("skin", root, 0), 0);
    Bytes e;
    e.Header().Start("r").Tag("NULL").U32(1);
    e.Start("walker").Tag("SKIN").Text("L/walker.mod", 32).U32(0).U32(0);
    e.U32(0);
    EXPECT_EQ(ReadWholeFile("skin.CNT"), std::string(e.b.begin(), e.b.end()));
    bz_Lump_DestroyTree(root);
    EXPECT_EQ(model->refCount, 0);

    // A payload cut short fails the load.
    Bytes cut;
    cut.Header().Start("r").Tag("SKIN").Text("walker.mod", 20);
    bzgLastError = 0;
    EXPECT_EQ(Read(cut), nullptr);
    EXPECT_EQ(bzgLastError, 59);
}

// ---------------------------------------------------------------------------------------
// Saving

bzM34 Translation(float x, float y, float z)
{
    bzM34 m;
    bz_M34_SetIdentity(&m);
    m.row[3] = {{{x, y, z}}};
    return m;
}

TEST_F(ContainerTest, SaveThenLoadGivesTheSameTree)
{
    ScopedTempDir dir;
    bzLump *root = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "level");
    root->flags |= BZ_LUMP_LEVEL;
    root->userWord = 42;
    bzModel *floor = models.NewModel("abcdefghijklmnopqrstuvwxyz01234");
    std::strcpy(floor->name, "floor.mod");
    bzLump *model = bz_Lump_CreateModel(floor);
    bz_Scene_ReleaseModel(floor);
    std::strcpy(model->name, "floor");
    model->matrix = Translation(5, 0, 0);
    model->flags |= BZ_LUMP_CONTAINER_3 | BZ_LUMP_FACE_CAMERA;
    bz_Lump_AppendChild(root, model);
    const bzLightParameters params = {3, 4, nullptr};
    bzLump *light = bz_Lump_CreateLight(BZ_LUMP_TYPE_DIRLIGHT, nullptr, &params);
    bz_Lump_AppendChild(root, light);
    bzLump *spline = bz_Lump_Create(BZ_LUMP_TYPE_SPLINE, "track");
    bz_Lump_SetObject(spline, bz_Spline_CreateCircle(2.0f, 4, 0));
    bz_Lump_AppendChild(root, spline);
    bz_Lump_AppendChild(root, bz_Lump_Create(BZ_LUMP_TYPE_SOUND, "noise"));
    bz_Lump_AppendChild(root, bz_Lump_Create(BZ_LUMP_TYPE_BOUNDS, "bnds"));
    bz_Lump_AppendChild(root, bz_Lump_Create(BZ_LUMP_TYPE_POLYLINE, "line"));
    bzLump *transient = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "temp");
    transient->flags |= BZ_LUMP_TRANSIENT;
    bz_Lump_AppendChild(root, transient);
    bz_Lump_AppendChild(transient, bz_Lump_Create(BZ_LUMP_TYPE_NULL, "under"));
    bzLump *mirrored = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "mirror");
    mirrored->matrix.row[0].v[0] = -1;
    mirrored->flags |= BZ_LUMP_MIRRORED | BZ_LUMP_HIDDEN;
    bz_Lump_AppendChild(model, mirrored);
    ASSERT_NE(bz_Lump_BuildOctree(root), nullptr);

    ASSERT_EQ(bz_Lump_SaveCNT("out/../level", root, 0), 0);
    bzLump *loaded = bz_Lump_LoadCNT("level");
    ASSERT_NE(loaded, nullptr) << bzgLastError;

    EXPECT_EQ(bz_Lump_CountTree(loaded), 8);
    EXPECT_STREQ(loaded->name, "level");
    EXPECT_EQ(loaded->userWord, 42u);
    EXPECT_EQ(loaded->flags, 0x8000001u | 0x400000u);
    EXPECT_NE(loaded->octree, nullptr);
    const char *names[] = {"floor", "DirLight", "track", "noise", "bnds", "line"};
    const uint8_t types[] = {BZ_LUMP_TYPE_MODEL, BZ_LUMP_TYPE_DIRLIGHT, BZ_LUMP_TYPE_SPLINE,
                             BZ_LUMP_TYPE_SOUND, BZ_LUMP_TYPE_NULL,     BZ_LUMP_TYPE_NULL};
    ASSERT_EQ(bz_Lump_CountChildren(loaded), 6);
    for (int i = 0; i < 6; i++)
    {
        EXPECT_STREQ(bz_Lump_GetChild(loaded, i)->name, names[i]);
        EXPECT_EQ(bz_Lump_GetChild(loaded, i)->type, types[i]) << i;
    }
    bzLump *floorLump = bz_Lump_GetChild(loaded, 0);
    EXPECT_EQ(floorLump->flags, 0x1000011u);
    EXPECT_FLOAT_EQ(floorLump->matrix.row[3].v[0], 5.0f);
    EXPECT_STREQ(bz_Lump_GetModel(floorLump)->name, "floor.mod");
    EXPECT_EQ(bz_Lump_GetChild(floorLump, 0)->flags, 0x803u);
    const bzLight *l = (const bzLight *)bz_Lump_GetChild(loaded, 1)->object;
    ASSERT_NE(l, nullptr);
    EXPECT_EQ(l->parameter1, 3u);
    EXPECT_EQ(l->parameter2, 4u);
    EXPECT_FLOAT_EQ(l->innerAngle, 22.5f);
    EXPECT_FLOAT_EQ(l->outerAngle, 45.0f);
    EXPECT_EQ(((const bzSpline *)bz_Lump_GetChild(loaded, 2)->object)->knotCount, 4);

    // The loaded level answers a ray query through its octree: up onto the front of the quad
    // at x 5..6, y 0..1, z 0.
    bzRay ray = {{{{5.5f, 0.5f, -1.0f}}}, {{{0, 0, 2.0f}}}, 0};
    float t = -1;
    bzLump *hitLump = nullptr;
    uint32_t face = 99;
    bzV3 point;
    const int32_t hit = bz_Lump_RayIntersect(loaded, &ray, nullptr, &t, &hitLump, &face, &point,
                                             nullptr, nullptr, nullptr);
    EXPECT_EQ(hit, 1);
    EXPECT_EQ(hitLump, floorLump);
    EXPECT_NEAR(point.v[2], 0.0f, 1e-5f);
    EXPECT_NEAR(point.v[0], 5.5f, 1e-5f);

    bz_Lump_DestroyTree(loaded);
    bz_Lump_DestroyTree(root);
    EXPECT_EQ(floor->refCount, 0);

    // A camera is saved and read back as a root with its children.
    bzLump *camera = bz_Lump_CreateCamera(nullptr, 60.0f);
    bz_Lump_AppendChild(camera, bz_Lump_Create(BZ_LUMP_TYPE_NULL, "eye"));
    ASSERT_EQ(bz_Lump_SaveCNT("cam", camera, 0), 0);
    bzLump *cameraBack = bz_Lump_LoadCNT("cam");
    ASSERT_NE(cameraBack, nullptr);
    EXPECT_EQ(cameraBack->type, BZ_LUMP_TYPE_CAMERA);
    EXPECT_STREQ(cameraBack->name, "camera");
    EXPECT_STREQ(bz_Lump_GetChild(cameraBack, 0)->name, "eye");
    bz_Lump_DestroyTree(cameraBack);
    bz_Lump_DestroyTree(camera);
}

std::vector<uint8_t> FileBytes(const char *name)
{
    std::vector<uint8_t> out;
    if (FILE *f = std::fopen(name, "rb"))
    {
        int c;
        while ((c = std::fgetc(f)) != EOF)
            out.push_back((uint8_t)c);
        std::fclose(f);
    }
    return out;
}

TEST_F(ContainerTest, WriterLaysOutRecordsByteForByte)
{
    ScopedTempDir dir;
    bzLump *root = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "root");
    // Every saved flag bit, written in the order 1 to 7 then 11.
    root->flags |= 0x10 | 0x800 | 0x800000 | 0x1000000 | 0x2000000 | 0x4000000 | 0x8000000;
    root->matrix.row[3] = {{{1, 2, 3}}};
    root->userWord = 0x01020304;
    bzModel *m = models.NewModel("abcdefghijklmnopqrstuvwxyz01234");
    bzLump *model = bz_Lump_CreateModel(m);
    bz_Scene_ReleaseModel(m);
    std::strcpy(model->name, "SixteenCharName!");
    model->matrix.row[0].v[0] = -1;
    model->flags |= BZ_LUMP_MIRRORED;
    bz_Lump_AppendChild(root, model);
    bzLump *skipped = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "skip");
    skipped->flags |= BZ_LUMP_TRANSIENT;
    bz_Lump_AppendChild(root, skipped);
    // A world-relative lump is stored relative to its parent (at 1, 2, 3).
    bzLump *world = bz_Lump_Create(BZ_LUMP_TYPE_BOUNDS, "w");
    bz_Lump_AppendChild(root, world);
    world->matrix.row[3] = {{{4, 2, 3}}};
    world->flags |= BZ_LUMP_WORLD;
    ASSERT_EQ(bz_Lump_SaveCNT("t", root, 0), 0);

    Bytes e;
    e.Header()
        .Start("root", {1, 2, 3, 4, 5, 6, 11}, 0x01020304, {1, 0, 0, 0, 1, 0, 0, 0, 1, 1, 2, 3})
        .Tag("NULL")
        .U32(2);
    e.Start("SixteenCharName!", {7}, 0, {-1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0})
        .Tag("MODL")
        .Text("abcdefghijklmnopqrstuvwxyz01234", 32)
        .U32(0)
        .U32(0);
    e.Start("w", {}, 0, {1, 0, 0, 0, 1, 0, 0, 0, 1, 3, 0, 0}).Tag("NULL").U32(0).U32(0);
    e.U32(0);
    const std::vector<uint8_t> got = FileBytes("t.CNT");
    EXPECT_EQ(got.size(), e.b.size());
    EXPECT_EQ(std::mismatch(got.begin(), got.end(), e.b.begin(), e.b.end()).first - got.begin(),
              (long)std::min(got.size(), e.b.size()));
    bz_Lump_DestroyTree(root);
}

TEST_F(ContainerTest, SavedLevelWithOctreeFailsCleanlyAtEveryCut)
{
    ScopedTempDir dir;
    bzLump *root = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "level");
    for (int i = 0; i < 3; i++)
    {
        bzModel *m = models.NewModel("m");
        bzLump *l = bz_Lump_CreateModel(m);
        bz_Scene_ReleaseModel(m);
        l->matrix.row[3] = {{{(float)i * 3, 0, 0}}};
        bz_Lump_AppendChild(root, l);
    }
    ASSERT_NE(bz_Lump_BuildOctree(root), nullptr);
    ASSERT_EQ(bz_Lump_SaveCNT("lev", root, 0), 0);
    bz_Lump_DestroyTree(root);
    const std::vector<uint8_t> whole = FileBytes("lev.CNT");
    bzLump *back = bz_Lump_ReadContainer(whole.data(), (uint32_t)whole.size(), "");
    ASSERT_NE(back, nullptr);
    EXPECT_NE(back->octree, nullptr);
    bz_Lump_DestroyTree(back);
    for (size_t n = 0; n < whole.size(); n++)
    {
        std::vector<uint8_t> cut(whole.begin(), whole.begin() + (long)n);
        bzgLastError = 0;
        EXPECT_EQ(bz_Lump_ReadContainer(cut.data(), (uint32_t)n, ""), nullptr) << n;
        EXPECT_EQ(bzgLastError, 59) << n;
        ASSERT_EQ(bz_Lump_GetTotalCount(), lumpsBefore) << n;
    }
}

TEST_F(ContainerTest, SaveRefusesWhatItCannotWrite)
{
    ScopedTempDir dir;
    bzLump *root = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "r");
    EXPECT_EQ(bz_Lump_SaveCNT(nullptr, root, 0), 29);
    EXPECT_EQ(bz_Lump_SaveCNT("x", nullptr, 0), 29);
    EXPECT_EQ(bz_Lump_SaveCNT("no-such-dir/x", root, 0), 19);
    bzLump *at = root;
    for (int i = 0; i < 257; i++)
    {
        bzLump *child = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "d");
        bz_Lump_AppendChild(at, child);
        at = child;
    }
    EXPECT_EQ(bz_Lump_SaveCNT("deep", root, 0), 20);
    bz_Lump_DestroyTree(root);
    bzgLastError = 0;
    EXPECT_EQ(bz_Lump_LoadCNT("deep"), nullptr);
    EXPECT_EQ(bzgLastError, 19);
}

// Mutated containers either load, and then hold no more lumps than the bytes allow and free
// every lump they made, or fail with a named code; nothing is read outside the block.
TEST_F(ContainerTest, FuzzedContainersFailCleanlyOrLoad)
{
    KeepAlive keep;
    const Bytes base = MixedContainer();
    std::mt19937 rng(1234);
    const auto start = std::chrono::steady_clock::now();
    int loads = 0, runs = 0;
    while (std::chrono::steady_clock::now() - start < std::chrono::milliseconds(1500))
    {
        std::vector<uint8_t> data = base.b;
        const int edits = 1 + (int)(rng() % 4);
        for (int e = 0; e < edits; e++)
        {
            const size_t at = rng() % data.size();
            switch (rng() % 3)
            {
            case 0: data[at] = (uint8_t)rng(); break;
            case 1: data[at] ^= (uint8_t)(1u << (rng() % 8)); break;
            default: data.resize(at); break;
            }
            if (data.empty())
                break;
        }
        bzgLastError = 0;
        // The hook reads every byte it is handed, so a chunk reaching past the block shows.
        uint32_t sum = 0;
        bzLump *root = bz_Lump_ReadContainerWithExtensions(
            data.data(), (uint32_t)data.size(), "f/",
            [](bzLump *, const uint8_t *bytes, uint32_t size, void *user)
            {
                for (uint32_t i = 0; i < size; i++)
                    *static_cast<uint32_t *>(user) += bytes[i];
            },
            &sum);
        runs++;
        if (root)
        {
            loads++;
            EXPECT_LE(bz_Lump_CountTree(root), (int)(data.size() / 81));
            bz_Lump_DestroyTree(root);
        }
        else
        {
            const bzErrorCode code = bzgLastError;
            EXPECT_TRUE(code == 59 || code == 58 || code == 68) << code;
        }
        ASSERT_EQ(bz_Lump_GetTotalCount(), lumpsBefore);
    }
    EXPECT_GT(runs, 100);
    EXPECT_GT(loads, 0);
}
} // namespace

namespace
{
TEST_F(ContainerTest, TheModelLoadHookIsAskedFirst)
{
    static FakeModels *fake;
    static std::vector<std::string> asked;
    fake = &models;
    asked.clear();
    auto previous = bz_Lump_SetModelLoadHook(
        [](bzLump *lump, const char *path, const char *name) -> bzModel *
        {
            asked.push_back(std::string(lump->name) + "|" + path + "|" + name);
            return std::strcmp(name, "hooked") == 0 ? fake->NewModel("from the hook") : nullptr;
        });
    Bytes b;
    b.Header().Start("root").Tag("NULL").U32(2);
    b.Start("a").Tag("MODL").Text("hooked", 32).U32(0).U32(0);
    b.Start("b").Tag("MODL").Text("plain", 32).U32(0).U32(0);
    b.U32(0);
    bzLump *root = Read(b, "f/");
    bz_Lump_SetModelLoadHook(previous);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(asked, (std::vector<std::string>{"a|f/hooked|hooked", "b|f/plain|plain"}));
    EXPECT_STREQ(bz_Lump_GetModel(bz_Lump_GetChild(root, 0))->name, "from the hook");
    EXPECT_STREQ(bz_Lump_GetModel(bz_Lump_GetChild(root, 1))->name, "f/plain");
    bz_Lump_DestroyTree(root);
}
} // namespace

namespace
{
struct SeenChunk
{
    std::string lump;
    std::vector<uint8_t> bytes;
    int32_t children; // of the lump when its chunk was handed over
};

void CollectChunk(bzLump *lump, const uint8_t *data, uint32_t size, void *user)
{
    static_cast<std::vector<SeenChunk> *>(user)->push_back(
        {lump->name, std::vector<uint8_t>(data, data + size), bz_Lump_CountChildren(lump)});
}

// Extension chunks go to the hook of the load they were given to, each with the lump that holds
// it (its children already read), and are skipped whole; the plain loads hand them to nobody.
TEST_F(ContainerTest, ExtensionChunksGoToTheLoadsHookAndAreSkippedWhole)
{
    Bytes b;
    b.Header().Start("parent").Tag("NULL").U32(2);
    b.Start("kid").Tag("NULL").U32(0).U32(0xFFFFFFFFu).U32(3).U8(7).U8(8).U8(9).U32(0);
    b.Leaf("other");
    // The first chunk's bytes look like an octree code and the end; an empty one; a lone word.
    b.U32(0xFFFFFFFFu).U32(8).U32(1).U32(0).U32(0xFFFFFFFFu).U32(0).U32(77).U32(0);

    std::vector<SeenChunk> seen;
    bzLump *root = bz_Lump_ReadContainerWithExtensions(b.b.data(), (uint32_t)b.b.size(), "",
                                                       CollectChunk, &seen);
    ASSERT_NE(root, nullptr) << bzgLastError;
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].lump, "kid");
    EXPECT_EQ(seen[0].bytes, (std::vector<uint8_t>{7, 8, 9}));
    EXPECT_EQ(seen[0].children, 0);
    EXPECT_EQ(seen[1].lump, "parent");
    EXPECT_EQ(seen[1].bytes, (std::vector<uint8_t>{1, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(seen[1].children, 2);
    EXPECT_EQ(seen[2].lump, "parent");
    EXPECT_TRUE(seen[2].bytes.empty());
    EXPECT_EQ(bz_Lump_CountChildren(root), 2);
    EXPECT_EQ(root->octree, nullptr);
    bz_Lump_DestroyTree(root);

    // From a file: the hook of that load only; the next plain load skips them silently.
    ScopedTempDir dir;
    {
        FILE *f = std::fopen("ext.CNT", "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(b.b.data(), 1, b.b.size(), f);
        std::fclose(f);
    }
    seen.clear();
    root = bz_Lump_LoadCNTWithExtensions("ext", CollectChunk, &seen);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(seen.size(), 3u);
    bz_Lump_DestroyTree(root);
    seen.clear();
    root = bz_Lump_LoadCNT("ext");
    ASSERT_NE(root, nullptr);
    EXPECT_TRUE(seen.empty());
    bz_Lump_DestroyTree(root);

    // A chunk whose size runs past the end fails the load before the hook sees it.
    for (uint32_t lie : {4u, 1000u, 0xFFFFFFFFu})
    {
        Bytes cut;
        cut.Header().Start("p").Tag("NULL").U32(0).U32(0xFFFFFFFFu).U32(lie).U8(1).U8(2).U8(3);
        seen.clear();
        bzgLastError = 0;
        EXPECT_EQ(bz_Lump_ReadContainerWithExtensions(cut.b.data(), (uint32_t)cut.b.size(), "",
                                                      CollectChunk, &seen),
                  nullptr)
            << lie;
        EXPECT_EQ(bzgLastError, 59) << lie;
        EXPECT_TRUE(seen.empty()) << lie;
    }
}

// Save flags other than 0 write the container, then hand its folder and the tree to the
// models to save what the tree uses; without models the container is still written and the
// save says it could not do the rest.
TEST_F(ContainerTest, SaveFlagsAlsoSaveTheTreesResourcesBesideTheContainer)
{
    ScopedTempDir dir;
    bz_MakeDirectory("lev");
    bzLump *root = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "r");
    bz_Lump_AppendChild(root, bz_Lump_CreateModel(models.NewModel("crate")));
    bz_Scene_ReleaseModel(bz_Lump_GetModel(bz_Lump_GetChild(root, 0)));

    ASSERT_EQ(bz_Lump_SaveCNT("lev/level", root, 0), 0);
    const std::string plain = ReadWholeFile("lev/level.CNT");
    EXPECT_TRUE(models.resourceSaves.empty());

    ASSERT_EQ(bz_Lump_SaveCNT("lev/level", root, 1), 0);
    EXPECT_EQ(ReadWholeFile("lev/level.CNT"), plain);
    ASSERT_EQ(models.resourceSaves.size(), 1u);
    EXPECT_EQ(models.resourceSaves[0].folder, "lev/");
    EXPECT_EQ(models.resourceSaves[0].root, root);

    models.resourceSaveResult = BZ_ERROR_FILE_NOT_FOUND;
    EXPECT_EQ(bz_Lump_SaveCNT("here", root, 3), BZ_ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(models.resourceSaves.size(), 2u);
    EXPECT_EQ(models.resourceSaves[1].folder, "");

    // A container that cannot be written saves nothing beside it.
    EXPECT_EQ(bz_Lump_SaveCNT("no-such-dir/x", root, 1), BZ_ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(models.resourceSaves.size(), 2u);

    bz_Scene_SetModelServices(nullptr);
    EXPECT_EQ(bz_Lump_SaveCNT("bare", root, 1), BZ_ERROR_UNSUPPORTED);
    EXPECT_FALSE(ReadWholeFile("bare.CNT").empty());
    bz_Lump_DestroyTree(root);
}
} // namespace
