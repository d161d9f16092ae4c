#include "models/SkeletonDebug.h"

#include "core/Error.h"
#include "maths/Quat.h"
#include "models/SkinInstance.h"
#include "scene/Lump.h"

#include "ModelsTestSupport.h"
#include "SkinTestSupport.h"

#include <cmath>
#include <vector>

namespace
{
using SkeletonDebugTest = ModelRecordsTest;

// What the fake maker was asked for.
struct ShapeCall
{
    int32_t kind;
    std::vector<bzV3> points;
    float radius;
};
std::vector<ShapeCall> gCalls;
bool gRefuse;

const bzSkeletonShapeServices kShapes = {
    [](int32_t kind, const bzV3 *points, int32_t count, float radius) -> bzLump *
    {
        gCalls.push_back({kind, std::vector<bzV3>(points, points + count), radius});
        return gRefuse ? nullptr : bz_Lump_Create(BZ_LUMP_TYPE_NULL, "shape");
    },
};

void ExpectPoint(const bzV3 &v, float x, float y, float z)
{
    EXPECT_FLOAT_EQ(v.x, x);
    EXPECT_FLOAT_EQ(v.y, y);
    EXPECT_FLOAT_EQ(v.z, z);
}

// Bone 0 the root with three children 1, 2 and 4; bone 1 with one child, 3. Bone 1 is turned a
// quarter about z in the bind pose.
struct Rig
{
    bzSkeletonBone bones[5] = {{-1, 1, -1, -1, {}},
                               {0, 3, 2, -1, {}},
                               {0, -1, 4, -1, {}},
                               {1, -1, -1, -1, {}},
                               {0, -1, -1, -1, {}}};
    bzBonePose bind[5] = {};
    bzV3 offsets[5] = {{0, 0, 0}, {0, 1, 0}, {1, 0, 0}, {2, 0, 0}, {-1, 0, 0}};
    bzSkeleton skeleton{};
    bzModel *model;
    bzSkinInstance *instance;
    bzLump *skin;

    Rig()
    {
        const float h = std::sqrt(0.5f);
        for (auto &pose : bind)
            pose.rotation = bzQuat{{0, 0, 0, 1}};
        bind[1] = {{{0, 0, h, h}}, {0, 1, 0}, 0};
        model = MakeSkinnedModel(skeleton, 5, -1, bones, bind, offsets);
        instance = bz_CreateSkinInstance(model);
        skin = bz_Lump_Create(BZ_LUMP_TYPE_SKINNED_MODEL, "body");
        skin->object = instance;
    }
    ~Rig()
    {
        skin->object = nullptr;
        bz_Lump_Destroy(skin);
        bz_FreeSkinInstance(instance);
        model->part->skeleton = nullptr;
        bz_ReleaseModel(model);
    }
};

class SkeletonDebug : public SkeletonDebugTest
{
protected:
    void SetUp() override
    {
        SkeletonDebugTest::SetUp();
        // Start-up installs the engine's own maker: the fake stands in for it here, and the
        // one found is put back after.
        bz_Skeleton_GetShapeServices(&found_);
        gCalls.clear();
        gRefuse = false;
        bz_Skeleton_SetShapeServices(&kShapes);
    }
    void TearDown() override
    {
        bz_Skeleton_SetShapeServices(&found_);
        SkeletonDebugTest::TearDown();
    }

private:
    bzSkeletonShapeServices found_{};
};

TEST_F(SkeletonDebug, EachBoneWithTwoPointsOrMoreGetsAShapeAtItsBindPose)
{
    Rig rig;
    ASSERT_NE(rig.instance, nullptr);
    bzLump *top = bz_Skeleton_BuildDebugLump(rig.skin);
    ASSERT_NE(top, nullptr);
    EXPECT_STREQ(top->name, "Skeleton");
    EXPECT_EQ(top->type, BZ_LUMP_TYPE_NULL);
    // The root: its three children's offsets, no origin (it has no parent): a rounded hull.
    // Bone 1: its child's offset and the origin: a TicTac. Bones 2, 3, 4: the origin alone.
    ASSERT_EQ(gCalls.size(), 2u);
    EXPECT_EQ(gCalls[0].kind, 10);
    ASSERT_EQ(gCalls[0].points.size(), 3u);
    ExpectPoint(gCalls[0].points[0], 0, 1, 0);
    ExpectPoint(gCalls[0].points[1], 1, 0, 0);
    ExpectPoint(gCalls[0].points[2], -1, 0, 0);
    EXPECT_EQ(gCalls[1].kind, 6);
    ASSERT_EQ(gCalls[1].points.size(), 2u);
    ExpectPoint(gCalls[1].points[0], 2, 0, 0);
    ExpectPoint(gCalls[1].points[1], 0, 0, 0);
    for (const ShapeCall &call : gCalls)
        EXPECT_FLOAT_EQ(call.radius, 0.1f);
    // Two shape lumps under it (each attached at the head of the list, so the last made comes
    // first): bone 1's at (0, 1, 0) turned a quarter about z (its x axis along +y), then the
    // root's at the origin unturned.
    bzLump *bone1 = top->firstChild;
    ASSERT_NE(bone1, nullptr);
    bzLump *root = bone1->next;
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->next, nullptr);
    EXPECT_NEAR(bone1->matrix.row[0].x, 0.0f, 1e-6f);
    EXPECT_NEAR(bone1->matrix.row[0].y, 1.0f, 1e-6f);
    ExpectPoint(bone1->matrix.row[3], 0, 1, 0);
    EXPECT_NEAR(root->matrix.row[0].x, 1.0f, 1e-6f);
    ExpectPoint(root->matrix.row[3], 0, 0, 0);
    bz_Lump_DestroyTree(top);
}

TEST_F(SkeletonDebug, ShapesThatCannotBeMadeAreLeftOut)
{
    Rig rig;
    gRefuse = true;
    bzLump *top = bz_Skeleton_BuildDebugLump(rig.skin);
    ASSERT_NE(top, nullptr);
    EXPECT_EQ(gCalls.size(), 2u);
    EXPECT_EQ(top->firstChild, nullptr);
    bz_Lump_DestroyTree(top);
    // Without a maker: the lump alone.
    bz_Skeleton_SetShapeServices(nullptr);
    top = bz_Skeleton_BuildDebugLump(rig.skin);
    ASSERT_NE(top, nullptr);
    EXPECT_EQ(top->firstChild, nullptr);
    bz_Lump_DestroyTree(top);
    // Not a skinned lump with a skeleton: nothing.
    bzLump *plain = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "plain");
    bzgLastError = 0;
    EXPECT_EQ(bz_Skeleton_BuildDebugLump(plain), nullptr);
    EXPECT_EQ(bzgLastError, BZ_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(bz_Skeleton_BuildDebugLump(nullptr), nullptr);
    bz_Lump_Destroy(plain);
}
} // namespace
