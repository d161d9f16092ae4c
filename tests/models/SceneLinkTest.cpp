// The scene graph working on real models and materials: counted lumps, meshes and boxes for
// the ray queries, and the octree's checksum of the real geometry.
#include "models/SceneLink.h"

#include "ModelsTestSupport.h"
#include "models/Animation.h"
#include "models/ModelAccess.h"
#include "models/ModelFile.h"
#include "models/SkinInstance.h"
#include "scene/Container.h"
#include "scene/Lump.h"
#include "scene/LumpRay.h"
#include "scene/ModelGeometry.h"
#include "scene/Octree.h"
#include "scene/SceneServices.h"

#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <vector>

namespace
{
class SceneLinkTest : public ModelsTest
{
protected:
    void SetUp() override
    {
        ModelsTest::SetUp();
        bz_Models_InstallSceneServices();
    }
    void TearDown() override
    {
        bz_Models_RemoveSceneServices();
        ModelsTest::TearDown();
    }
};

// A unit cube from (0, 0, 0) to (1, 1, 1): 8 corners, 12 faces.
constexpr std::array<bzV3, 8> kCorners = {
    {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}}};
// Each face is wound clockwise seen from outside, the engine's front side.
constexpr uint32_t kCubeFaces[12][3] = {{0, 1, 2}, {0, 2, 3}, {4, 6, 5}, {4, 7, 6},
                                        {0, 5, 1}, {0, 4, 5}, {2, 7, 3}, {2, 6, 7},
                                        {1, 6, 2}, {1, 5, 6}, {0, 7, 4}, {0, 3, 7}};

bzModel *Cube(const char *name, bzMaterial *material)
{
    std::array<bzModelFace, 12> faces{};
    for (int32_t f = 0; f < 12; ++f)
        for (int32_t k = 0; k < 3; ++k)
            faces[f].v[k] = kCubeFaces[f][k];
    return bz_Scene_CreateModel(name, kCorners.data(), 8, faces.data(), 12, material);
}

uint32_t Rotl1(uint32_t h)
{
    return (h << 1) | (h >> 31);
}

// The geometry checksum worked out from the part's arrays: the xor of each position's three
// float patterns, then the face count and each face's indices packed a | b << 8 | c << 16,
// rotated left one bit after every element.
uint32_t ExpectedChecksum(const bzModel *model)
{
    const bzModelPart *part = model->part;
    uint32_t h = 0;
    for (int32_t i = 0; i < part->vertexCount; ++i)
    {
        const bzV3 &p = part->positions[0][i];
        h ^= std::bit_cast<uint32_t>(p.x) ^ std::bit_cast<uint32_t>(p.y) ^
             std::bit_cast<uint32_t>(p.z);
        h = Rotl1(h);
    }
    h ^= static_cast<uint32_t>(part->faceCount);
    for (int32_t i = 0; i < part->faceCount; ++i)
    {
        const bzModelFace &f = part->faces[i];
        h ^= (f.v[2] << 16) ^ (f.v[1] << 8) ^ f.v[0];
        h = Rotl1(h);
    }
    return h;
}

TEST_F(SceneLinkTest, ModelsMadeForTheSceneAreRealModelsWithTheirMaterial)
{
    bzMaterial *material = bz_CreateMaterial("stone", 1);
    bzModel *model = Cube("a name longer than thirty-one characters", material);
    ASSERT_NE(model, nullptr);
    EXPECT_STREQ(model->name, "a name longer than thirty-one c");
    EXPECT_STREQ(bz_Scene_GetModelName(model), model->name);

    bzModelMesh mesh{};
    ASSERT_EQ(bz_Scene_GetModelMesh(model, &mesh), 1);
    EXPECT_EQ(mesh.faceCount, 12u);
    EXPECT_GE(mesh.vertexCount, 8u);
    ASSERT_GE(mesh.materialEntryCount, 1u);
    for (uint32_t f = 0; f < mesh.faceCount; ++f)
        EXPECT_EQ(bz_Scene_GetFaceMaterial(&mesh, f), material) << "face " << f;

    bzBox box{};
    bzV3 centre{};
    float radius = 0;
    ASSERT_EQ(bz_Scene_GetModelBounds(model, &box, &centre, &radius), 1);
    // The model's box is padded by a millimetre.
    EXPECT_NEAR(box.min.x, 0.0f, 0.0011f);
    EXPECT_NEAR(box.max.z, 1.0f, 0.0011f);
    EXPECT_NEAR(centre.y, 0.5f, 0.0011f);
    EXPECT_GT(radius, 0.86f);

    // A face index past the vertices refuses the model.
    bzModelFace bad{{0, 1, 9}, 0, 0};
    EXPECT_EQ(bz_Scene_CreateModel("bad", kCorners.data(), 8, &bad, 1, material), nullptr);

    bz_ReleaseModel(model);
    bz_ReleaseMaterial(material);
}

TEST_F(SceneLinkTest, LumpsCountTheirModelsAndRaysHitTheRealFaces)
{
    bzMaterial *material = bz_CreateMaterial("glass", 1);
    material->materialWord = 0x30;
    bzModel *model = Cube("cube", material);
    ASSERT_NE(model, nullptr);
    bzLump *root = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "root");
    bzLump *lump = bz_Lump_CreateModel(model);
    ASSERT_NE(lump, nullptr);
    EXPECT_EQ(model->refCount, 2);
    ASSERT_EQ(bz_Lump_Attach(root, lump), BZ_ERROR_NONE);

    // Down onto the cube's top face (z = 1) from z = 5.
    bzRay ray{{0.25f, 0.5f, 5.0f}, {0.0f, 0.0f, -10.0f}, 0};
    float t = 0;
    bzLumpRayHit hit{};
    ASSERT_EQ(bz_Lump_RayIntersectFirst(&t, &hit, &ray, root, nullptr), 1);
    EXPECT_NEAR(t, 0.4f, 1e-6f);
    EXPECT_EQ(hit.lump, lump);
    EXPECT_EQ(hit.material, material);

    // The ray-class word filters the material.
    bzRayOptions options{};
    options.flags = 0x02;
    options.materialMask = 0xF0;
    options.materialValue = 0x20;
    EXPECT_EQ(bz_Lump_RayIntersectFirst(&t, &hit, &ray, root, &options), 0);
    options.materialValue = 0x30;
    EXPECT_EQ(bz_Lump_RayIntersectFirst(&t, &hit, &ray, root, &options), 1);

    // Flag 0x4000 of the material: never hit.
    material->flags |= 0x4000;
    EXPECT_EQ(bz_Lump_RayIntersectFirst(&t, &hit, &ray, root, nullptr), 0);
    material->flags &= ~0x4000u;

    EXPECT_EQ(bz_Lump_DestroyTree(root), BZ_ERROR_NONE);
    EXPECT_EQ(model->refCount, 1);
    bz_ReleaseModel(model);
    bz_ReleaseMaterial(material);
}

TEST_F(SceneLinkTest, RaysMeetSkinnedLumpsInTheirCurrentPose)
{
    bzModel *model = Cube("body", nullptr);
    ASSERT_NE(model, nullptr);
    // A lump of a model without skeleton holds an instance with no bones, which nothing poses.
    bzLump *rigid = bz_Lump_CreateSkinnedModel(model);
    ASSERT_NE(rigid, nullptr);
    EXPECT_EQ(model->refCount, 2);
    EXPECT_EQ(static_cast<const bzSkinInstance *>(rigid->object)->poses, nullptr);
    EXPECT_EQ(bz_Skeleton_IsPosable(rigid), 0);
    bz_Lump_Destroy(rigid);
    EXPECT_EQ(model->refCount, 1);
    // One bone at the origin drives every vertex fully.
    const int32_t n = model->part->vertexCount;
    bzSkeletonBone bone{-1, -1, -1, -1, {}};
    bzBox box{{-0.5f, -0.5f, -0.5f}, {1.5f, 1.5f, 1.5f}};
    bzBonePose bind{{{0.0f, 0.0f, 0.0f, 1.0f}}, {0.0f, 0.0f, 0.0f}, 0};
    bzV3 offset{};
    std::vector<bzV3> positions(model->part->positions[0], model->part->positions[0] + n);
    std::vector<int16_t> bones(static_cast<size_t>(n), 0);
    std::vector<float> weights(static_cast<size_t>(n), 1.0f);
    std::vector<bzSkinInfluences> influences(static_cast<size_t>(n));
    for (int32_t v = 0; v < n; ++v)
        influences[static_cast<size_t>(v)] = {1, {}, v};
    bzSkeleton skeleton{};
    skeleton.boneCount = 1;
    skeleton.nameTable = -1;
    skeleton.bones = &bone;
    skeleton.boneBoxes = &box;
    skeleton.bindPose = &bind;
    skeleton.boneOffsets = &offset;
    skeleton.skinnedPositionsDefault = positions.data();
    skeleton.influenceBones = bones.data();
    skeleton.influenceWeights = weights.data();
    skeleton.vertexInfluences = influences.data();
    skeleton.influenceCount = static_cast<uint32_t>(n);
    model->part->skeleton = &skeleton;
    bzLump *root = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "root");
    bzLump *lump = bz_Lump_CreateSkinnedModel(model);
    ASSERT_NE(lump, nullptr);
    EXPECT_EQ(model->refCount, 2);
    auto *instance = static_cast<bzSkinInstance *>(lump->object);
    EXPECT_EQ(bz_Lump_GetSkinModel(instance), model);
    ASSERT_NE(instance->poses, nullptr);
    EXPECT_FLOAT_EQ(instance->poses[0].rotation.w, 1.0f); // the bind pose
    ASSERT_EQ(bz_Lump_Attach(root, lump), BZ_ERROR_NONE);
    EXPECT_EQ(bz_Scene_IsPosed(lump), 1);

    // The parameter of the first hit of a ray down from z = 10, which must be on the lump.
    auto downAt = [root, lump]
    {
        bzRay ray{{0.25f, 0.5f, 10.0f}, {0.0f, 0.0f, -20.0f}, 0};
        float t = -1.0f;
        bzLumpRayHit hit{};
        EXPECT_EQ(bz_Lump_RayIntersectFirst(&t, &hit, &ray, root, nullptr), 1);
        EXPECT_EQ(hit.lump, lump);
        return t;
    };
    // In the bind pose the top face (z = 1) is met 9 of 20 units down; posed 3 higher, 6.
    EXPECT_NEAR(downAt(), 0.45f, 1e-5f);
    bzAnimation *lift = bz_CreateAnimation(0, 1, 1);
    lift->rootPositions[0] = {0.0f, 0.0f, 3.0f};
    instance->anim = lift;
    instance->frame = 0;
    instance->flags |= BZ_SKIN_NEEDS_UPDATE;
    EXPECT_NEAR(downAt(), 0.3f, 1e-5f);
    bzBox bounds{};
    ASSERT_EQ(bz_Scene_CalcSkinnedBounds(lump, &bounds), 0);
    EXPECT_NEAR(bounds.max.z, 4.5f, 1e-5f);
    // Face normals of a skinned lump use the deformed corners.
    bzPlane plane{};
    bz_CalcModelFaceNormal(model, 2, &plane, lump);
    EXPECT_NEAR(std::fabs(plane.d), 4.0f, 1e-5f);

    EXPECT_EQ(bz_Lump_DestroyTree(root), BZ_ERROR_NONE);
    EXPECT_EQ(model->refCount, 1);
    bz_ReleaseAnimation(lift, 0);
    model->part->skeleton = nullptr;
    bz_ReleaseModel(model);
}

TEST_F(SceneLinkTest, TheOctreeChecksumIsTheRealGeometryChecksum)
{
    bzMaterial *material = bz_CreateMaterial("brick", 1);
    bzModel *a = Cube("a", material);
    bzModel *b = Cube("b", material);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    b->fileWord2 = 0x12345678; // read from its file
    bzLump *root = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "root");
    bzLump *la = bz_Lump_CreateModel(a);
    bzLump *lb = bz_Lump_CreateModel(b);
    ASSERT_EQ(bz_Lump_Attach(root, la), BZ_ERROR_NONE);
    ASSERT_EQ(bz_Lump_Attach(root, lb), BZ_ERROR_NONE);
    bzOctree *octree = bzOctree_Build(root);
    ASSERT_NE(octree, nullptr);

    const uint32_t expected = ExpectedChecksum(a) ^ 0x12345678u;
    EXPECT_EQ(bzOctree_Checksum(octree, 5), expected);
    EXPECT_EQ(bz_ModelChecksum(a, 1, 1, 1), ExpectedChecksum(a));

    // A model read from an ".mdx" file without a stored word has no checksum, and neither has
    // the octree.
    a->flags |= BZ_MODEL_FROM_MDX;
    EXPECT_EQ(bzOctree_Checksum(octree, 5), 0u);

    bzOctree_Free(octree);
    EXPECT_EQ(bz_Lump_DestroyTree(root), BZ_ERROR_NONE);
    bz_ReleaseModel(a);
    bz_ReleaseModel(b);
    bz_ReleaseMaterial(material);
}

TEST_F(SceneLinkTest, ALevelFileLoadsItsModelsFromModelFiles)
{
    ScopedTempDir dir;
    bzMaterial *material = bz_CreateMaterial("stone", 1);
    bzModel *cube = Cube("block", material);
    ASSERT_NE(cube, nullptr);
    ASSERT_EQ(bz_SaveModelToFile("block.MDL", cube, 1, 1), 0);
    bzLump *root = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "level");
    bzLump *lump = bz_Lump_CreateModel(cube);
    ASSERT_EQ(bz_Lump_Attach(root, lump), BZ_ERROR_NONE);
    ASSERT_EQ(bz_Lump_SaveCNT("level", root, 0), BZ_ERROR_NONE);
    bz_Lump_DestroyTree(root);
    bz_ReleaseModel(cube);

    // Read back from the files alone: the container names the model, the loader reads it.
    bzLump *loaded = bz_Lump_LoadCNT("level");
    ASSERT_NE(loaded, nullptr) << bzgLastError;
    bzModel *model = bz_Lump_GetModel(bz_Lump_GetChild(loaded, 0));
    ASSERT_NE(model, nullptr);
    bzModelMesh mesh{};
    ASSERT_EQ(bz_Scene_GetModelMesh(model, &mesh), 1);
    EXPECT_EQ(mesh.faceCount, 12u);
    bzRay ray{{0.25f, 0.5f, 5.0f}, {0.0f, 0.0f, -10.0f}, 0};
    float t = 0;
    bzLumpRayHit hit{};
    ASSERT_EQ(bz_Lump_RayIntersectFirst(&t, &hit, &ray, loaded, nullptr), 1);
    EXPECT_NEAR(t, 0.4f, 1e-6f);
    EXPECT_EQ(bz_Lump_DestroyTree(loaded), BZ_ERROR_NONE);
    bz_ReleaseMaterial(material);
}
} // namespace
