#include "display/DisplayLumps.h"

#include "ModelsTestSupport.h"
#include "core/Bytes.h"
#include "display/ModelExport.h"
#include "maths/Matrix.h"
#include "models/ImgMap.h"
#include "models/SceneLink.h"
#include "models/DisplayModels.h"
#include "models/MaterialFile.h"
#include "models/ModelFile.h"
#include "models/ModelPrepare.h"
#include "scene/SceneServices.h"

#include <cstring>
#include <filesystem>
#include <string>

namespace
{
using DisplayLumpsTest = ModelSceneTest;

TEST_F(DisplayLumpsTest, BuildersNameTheLumpAndModelAndCountTheOverride)
{
    bzMaterial *mat = bz_CreateMaterial("paint", 1);
    bzLump *cube = bz_CreateCubeLump("crate", 2.0f, mat);
    ASSERT_NE(cube, nullptr);
    EXPECT_EQ(cube->type, BZ_LUMP_TYPE_MODEL);
    EXPECT_STREQ(cube->name, "crate");
    bzModel *model = bz_Lump_GetModel(cube);
    ASSERT_NE(model, nullptr);
    EXPECT_STREQ(model->name, "crate");
    EXPECT_EQ(model->refCount, 1); // the lump's
    EXPECT_EQ(cube->material, mat);
    EXPECT_EQ(cube->flags & BZ_LUMP_UNCOUNTED, 0u);
    EXPECT_EQ(mat->refCount, 2 + 1); // ours, the model's entry, the lump's override
    const float box[6] = {0, 0, 0, 1, 2, 3};
    bzLump *cuboid = bz_CreateCuboidLump("box", box, 1, nullptr);
    ASSERT_NE(cuboid, nullptr);
    EXPECT_EQ(bz_Lump_GetModel(cuboid)->vertexData->polygonCount, 48);
    bzLump *sphere = bz_CreateSphereLump("ball", 1, 1.0f, nullptr);
    ASSERT_NE(sphere, nullptr);
    EXPECT_EQ(bz_Lump_GetModel(sphere)->vertexData->polygonCount, 32);
    bzLump *diamond = bz_CreateDiamondLump("gem", 1, 1, 1, nullptr);
    ASSERT_NE(diamond, nullptr);

    bzLump *capsule = bz_CreateTicTacLump("limb", 0.5f, 0.0f, 2.0f, 8);
    ASSERT_NE(capsule, nullptr);
    EXPECT_STREQ(capsule->name, "Tic Tac");
    EXPECT_STREQ(bz_Lump_GetModel(capsule)->name, "limb");
    EXPECT_EQ(capsule->material, nullptr);
    EXPECT_EQ(bz_RebuildTicTacLump(capsule, 1.0f, 0.0f, 4.0f), 0);
    EXPECT_FLOAT_EQ(bz_Lump_GetModel(capsule)->vertexData->vertices[0].x, 5.0f);
    bzLump *empty = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "none");
    EXPECT_EQ(bz_RebuildTicTacLump(empty, 1, 0, 1), 71);
    EXPECT_EQ(bz_CreateTicTacLump("bad", 1, 0, 1, 0), nullptr);

    for (bzLump *l : {cube, cuboid, sphere, diamond, capsule, empty})
        bz_Lump_DestroyTree(l);
    EXPECT_EQ(mat->refCount, 1);
    bz_ReleaseMaterial(mat);
}

TEST_F(DisplayLumpsTest, LodChildrenAreExportedIntoFoldersOfTheirOwn)
{
    std::filesystem::create_directories("Out");
    bzLump *lod = bz_Lump_Create(BZ_LUMP_TYPE_LOD, "lod");
    for (const char *name : {"near", "mid", "far"})
        ASSERT_EQ(bz_Lump_Attach(lod, bz_CreateCubeLump(name, 1.0f, nullptr)), 0);
    EXPECT_EQ(bz_SaveLumpModels("Out\\ignored", lod, 0, 1), 0);
    EXPECT_STREQ(bzgModel_exportFolder, "Out\\LOD2\\");
    // Children attach at the front: the last attached is child 0.
    EXPECT_TRUE(std::filesystem::exists("Out/LOD0/far.MDL"));
    EXPECT_TRUE(std::filesystem::exists("Out/LOD1/mid.MDL"));
    EXPECT_TRUE(std::filesystem::exists("Out/LOD2/near.MDL"));
    EXPECT_FALSE(std::filesystem::exists("Out/ignored"));
    bzModel *back = bz_ReadModelFile("Out\\LOD1\\mid", 0);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->part->faceCount, 12);
    bz_ReleaseModel(back);
    bz_Lump_DestroyTree(lod);

    // A tree without models writes nothing.
    std::filesystem::create_directories("Empty");
    bzLump *root = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "root");
    bz_Lump_Attach(root, bz_Lump_Create(BZ_LUMP_TYPE_NULL, "child"));
    EXPECT_EQ(bz_SaveLumpModels("Empty\\", root, 1, 1), 0);
    EXPECT_TRUE(std::filesystem::is_empty("Empty"));
    bz_Lump_DestroyTree(root);
}

TEST_F(DisplayLumpsTest, TheOverrideStandsInForMissingMaterialsDuringTheWrite)
{
    std::filesystem::create_directories("Paint");
    bzMaterial *paint = bz_CreateMaterial("paint", 1);
    ASSERT_EQ(bz_SaveMaterial("Paint\\paint.MTL", paint), 0);
    bzLump *cube = bz_CreateCubeLump("painted", 1.0f, nullptr);
    bz_Lump_SetMaterial(cube, paint);
    bzModel *model = bz_Lump_GetModel(cube);
    model->vertexData->polygons[0].material = paint; // one polygon has its own
    ASSERT_EQ(bz_PrepareModelGeometry(model, 0xFFBF), 0);
    EXPECT_EQ(bz_SaveLumpModels("Paint", cube, 1, 1), 0);
    for (int32_t i = 0; i < 12; ++i)
        EXPECT_EQ(model->vertexData->polygons[i].material, i == 0 ? paint : nullptr) << i;
    bz_Lump_DestroyTree(cube);
    bz_ReleaseMaterial(paint);
    ASSERT_EQ(bz_FindMaterial("paint"), nullptr);

    // Read back, every polygon has the material: the others had it while they were written.
    bzgModelLoadOptions = 1;
    bzModel *back = bz_ReadModelFile("Paint\\painted", 0);
    ASSERT_NE(back, nullptr);
    ASSERT_NE(back->vertexData, nullptr);
    ASSERT_EQ(back->vertexData->polygonCount, 12);
    for (int32_t i = 0; i < 12; ++i)
    {
        ASSERT_NE(back->vertexData->polygons[i].material, nullptr) << i;
        EXPECT_STREQ(back->vertexData->polygons[i].material->shortName, "paint");
    }
    bz_ReleaseModel(back);
}

TEST_F(DisplayLumpsTest, TheSceneLoadsModelsThroughTheBridge)
{
    bzModel *cube = bz_CreateCubeModel("cube", nullptr, 1.0f);
    ASSERT_EQ(bz_SaveModelToFile("cube.MDL", cube, 0, 1), 0);
    bz_ReleaseModel(cube);
    bzModel *loaded = bz_Scene_LoadModel("cube");
    ASSERT_NE(loaded, nullptr);
    EXPECT_STREQ(bz_Scene_GetModelName(loaded), "cube");
    EXPECT_EQ(bz_Scene_LoadModel("cube"), loaded);
    EXPECT_EQ(loaded->refCount, 2);
    bz_Scene_ReleaseModel(loaded);
    bz_Scene_ReleaseModel(loaded);
    EXPECT_EQ(bz_Scene_LoadModel("absent"), nullptr);
}

TEST_F(DisplayLumpsTest, ArrowOfShaftAndHeadAlongZ)
{
    bzLump *arrow = bz_CreateArrowLump("arrow", 0xFF00FF00, 4.0f, 0.1f, 0.3f);
    ASSERT_NE(arrow, nullptr);
    EXPECT_EQ(arrow->type, BZ_LUMP_TYPE_NULL);
    ASSERT_EQ(bz_Lump_CountChildren(arrow), 2);
    bzLump *head = bz_Lump_GetChild(arrow, 0);
    bzLump *shaft = bz_Lump_GetChild(arrow, 1);
    EXPECT_FLOAT_EQ(shaft->matrix.row[3].z, 1.5f);
    EXPECT_FLOAT_EQ(head->matrix.row[3].z, 3.0f);
    // The cone's apex (0, 1, 0) in its own frame lies at the arrow's tip.
    bzV3 apex = {0, 1.0f, 0};
    bzV3 tip;
    bz_M34_TransformPointInto(&head->matrix, &tip, &apex);
    EXPECT_NEAR(tip.z, 4.0f, 1e-5f);
    EXPECT_NEAR(tip.y, 0.0f, 1e-5f);
    bzMaterial *mat = shaft->material;
    ASSERT_NE(mat, nullptr);
    EXPECT_STREQ(mat->shortName, "ArrowMat");
    EXPECT_EQ(head->material, mat);
    EXPECT_EQ(bz_Lump_GetModel(shaft)->vertexData->polygonCount, 28);
    EXPECT_EQ(bz_Lump_GetModel(head)->vertexData->polygonCount, 14);
    bz_Lump_DestroyTree(arrow);
    EXPECT_EQ(bz_FindMaterial("ArrowMat"), nullptr);

    const float uvs[8] = {0, 0, 1, 0, 1, 1, 0, 1};
    bzLump *lumps[] = {
        bz_CreatePlaneLump("plane", 1, 1, nullptr, uvs),
        bz_CreateHalfSpaceLump("half", 5, 5, nullptr),
        bz_CreateGridLump("grid", 2, 1, 1, 1, nullptr),
        bz_CreateDiscLump("disc", 6, 1, nullptr),
        bz_CreateAnnulusLump("ring", 6, 1, 2, nullptr),
        bz_CreateTorusLump("torus", 2, 1, 4, 4, nullptr),
        bz_CreatePointerLump("pointer", 1, nullptr),
        bz_CreateMarkerLump("marker", nullptr),
    };
    for (bzLump *l : lumps)
    {
        ASSERT_NE(l, nullptr);
        EXPECT_STREQ(bz_Lump_GetModel(l)->name, l->name);
        bz_Lump_DestroyTree(l);
    }
}

TEST_F(DisplayLumpsTest, SkyBoxAndBrokenBox)
{
    const char names[6][32] = {"n0", "n1", "n2", "n3", "n4", "n5"};
    bzMaterial *materials[6] = {};
    bzLump *sky = bz_CreateSkyBoxLump(names, materials);
    ASSERT_NE(sky, nullptr);
    EXPECT_STREQ(sky->name, "SB");
    bzModel *box = bz_Lump_GetModel(sky);
    EXPECT_STREQ(box->name, "skybox");
    ASSERT_EQ(box->vertexData->polygonCount, 12);
    EXPECT_FLOAT_EQ(box->vertexData->vertices[6].x, 50.0f);
    for (int32_t i = 0; i < 6; ++i)
    {
        ASSERT_NE(materials[i], nullptr);
        EXPECT_EQ(materials[i]->shortName, "skybox" + std::to_string(i));
        EXPECT_EQ(box->vertexData->polygons[2 * i + 1].material, materials[i]);
        EXPECT_EQ(materials[i]->layers[0].image, nullptr); // no such images
        bz_ReleaseMaterial(materials[i]);
    }
    EXPECT_EQ(box->vertexData->polygons[0].colours[0], 0xFF7F7F7Fu);
    // Seen from inside: every face's normal points at the centre.
    for (int32_t i = 0; i < 12; ++i)
    {
        const bzModelPolygon &p = box->vertexData->polygons[i];
        const bzModelDataVertex &v = box->vertexData->vertices[p.v[0]];
        EXPECT_LT(p.faceNormal.x * v.x + p.faceNormal.y * v.y + p.faceNormal.z * v.z, 0.0f) << i;
    }
    bz_Lump_DestroyTree(sky);
    EXPECT_EQ(bz_FindMaterial("skybox0"), nullptr);

    bz_IMGMAP *image = bz_CreateImgMap("sky", BZ_IMAGE_8888, 64, 64, 0);
    bzModel *fromImage = bz_CreateSkyBoxModelFromImage(image, nullptr);
    ASSERT_NE(fromImage, nullptr);
    EXPECT_EQ(fromImage->vertexData->polygons[4].material->layers[0].image, image);
    EXPECT_FLOAT_EQ(fromImage->vertexData->polygons[0].uv[2][0], 0.5f / 64.0f);
    bz_ReleaseModel(fromImage);
    bz_ReleaseImgMap(image);

    bzLump *broken = bz_CreateBrokenBoxLump();
    ASSERT_NE(broken, nullptr);
    EXPECT_STREQ(broken->name, "BrokenBox");
    ASSERT_NE(broken->material, nullptr);
    EXPECT_STREQ(broken->material->shortName, "BrokenBoxMaterial");
    bz_IMGMAP *checker = broken->material->layers[0].image;
    ASSERT_NE(checker, nullptr);
    EXPECT_EQ(checker->width, 256);
    EXPECT_EQ(Pixel(checker, 0, 0) & 0x00FFFFFF, 0x0000FFu);
    EXPECT_EQ(Pixel(checker, 64, 0) & 0x00FFFFFF, 0xFF0000u);
    EXPECT_STREQ(bz_Lump_GetModel(broken)->name, "Broken Box");
    bz_Lump_DestroyTree(broken);
}
} // namespace
