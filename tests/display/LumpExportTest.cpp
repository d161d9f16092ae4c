// Exporting lump trees: the container, the models, and the materials and image maps of the
// models, each by its flag, into the folder of the path; a LOD root per level folder.
#include "display/LumpExport.h"

#include "ModelsTestSupport.h"
#include "models/ImgFile.h"
#include "models/ImgFill.h"
#include "models/ModelPrepare.h"
#include "models/SceneLink.h"
#include "scene/Lump.h"

#include <cstdio>
#include <filesystem>
#include <initializer_list>
#include <string>

namespace
{
using LumpExportTest = ModelSceneTest;

bool Exists(const char *path)
{
    return std::filesystem::exists(path);
}

// The materials: "red" drawing the image "wood", "blue" without image, "paint" only a lump's
// override (not a material of the tree's models).
struct Materials
{
    bz_IMGMAP *wood = bz_MakeColourImgMap("textures\\wood", BZ_IMAGE_8888, 4, 0xFF804020);
    bzMaterial *red = bz_CreateMaterialFromTextureHandle(wood);
    bzMaterial *blue = bz_CreateMaterial("data\\blue", 1);
    bzMaterial *paint = bz_CreateMaterial("paint", 1);
    Materials() { bz_RenameMaterial(red, "red"); }
    ~Materials()
    {
        for (bzMaterial *m : {red, blue, paint})
            bz_ReleaseMaterial(m);
        bz_ReleaseImgMap(wood);
    }
};

TEST_F(LumpExportTest, EachFlagWritesItsPartIntoThePathsFolder)
{
    Materials m;
    bzLump *root = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "level");
    bzModel *crate = MakeMaterialTriangles("crate", {m.red, m.blue});
    bzLump *lump = bz_Lump_CreateModel(crate);
    bz_ReleaseModel(crate);
    bz_Lump_AppendChild(root, lump);
    ASSERT_EQ(bz_Lump_SetMaterial(lump, m.paint), BZ_ERROR_NONE);

    struct Case
    {
        uint32_t flags;
        bool container, model, materials, image;
    };
    const Case cases[] = {
        {BZ_EXPORT_CONTAINER, true, false, false, false},
        {BZ_EXPORT_MODELS, false, true, false, false},
        {BZ_EXPORT_MATERIALS, false, false, true, false},
        {BZ_EXPORT_IMAGES, false, false, false, true},
        {0, false, false, false, false},
        {0xF, true, true, true, true},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.flags);
        std::filesystem::remove_all("Out");
        std::filesystem::create_directories("Out");
        ASSERT_EQ(bz_Lump_Export(root, "Out\\level", c.flags), 0) << bzgLastError;
        EXPECT_EQ(Exists("Out/level.CNT"), c.container);
        EXPECT_EQ(Exists("Out/crate.MDL"), c.model);
        EXPECT_EQ(Exists("Out/red.MTL"), c.materials);
        EXPECT_EQ(Exists("Out/blue.MTL"), c.materials);
        EXPECT_FALSE(Exists("Out/paint.MTL")); // an override, not a material of the models
        EXPECT_EQ(Exists("Out/wood.img"), c.image);
    }
    // The image file is the image written as the image writer writes it.
    ASSERT_EQ(bz_Image_Save("direct.img", m.wood), 0);
    EXPECT_EQ(ReadWholeFile("Out/wood.img"), ReadWholeFile("direct.img"));
    EXPECT_FALSE(ReadWholeFile("Out/wood.img").empty());

    // Everything asked for is tried; the first error is the result.
    EXPECT_EQ(bz_Lump_Export(root, "no_such_folder\\level", 0xF), BZ_ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(bz_Lump_Export(nullptr, "Out\\level", 1), BZ_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(bz_Lump_Export(root, nullptr, 1), BZ_ERROR_INVALID_PARAMETER);
    bz_Lump_DestroyTree(root);
}

// A LOD root's materials and image maps are gathered per level model and written into the
// level's folder.
TEST_F(LumpExportTest, LevelOfDetailRootsWritePerLevelFolders)
{
    Materials m;
    bzModel *levels[2] = {MakeMaterialTriangles("near", {m.red}),
                          MakeMaterialTriangles("far", {m.blue})};
    bzLump *lod = bz_Lump_CreateLod("tree", levels, 2);
    std::filesystem::create_directories("Lod");
    ASSERT_EQ(bz_Lump_Export(lod, "Lod\\tree", BZ_EXPORT_MATERIALS | BZ_EXPORT_IMAGES), 0)
        << bzgLastError;
    EXPECT_TRUE(Exists("Lod/LOD0/red.MTL"));
    EXPECT_TRUE(Exists("Lod/LOD0/wood.img"));
    EXPECT_FALSE(Exists("Lod/LOD0/blue.MTL"));
    EXPECT_TRUE(Exists("Lod/LOD1/blue.MTL"));
    EXPECT_FALSE(Exists("Lod/LOD1/red.MTL"));
    EXPECT_FALSE(Exists("Lod/LOD1/wood.img"));
    EXPECT_FALSE(Exists("Lod/LOD2"));
    EXPECT_FALSE(Exists("Lod/red.MTL"));
    bz_Lump_DestroyTree(lod);
}
} // namespace
