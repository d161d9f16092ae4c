// The skeleton's display lump after start-up: the engine installs the maker of the bones'
// shapes, so a small rig's "Skeleton" lump holds a capsule and a rounded hull. The test
// program's main starts the engine with bz_InitEngine, and nothing in this program installs or
// removes the maker itself.
#include "models/Model.h"
#include "models/SceneLink.h"
#include "models/Skeleton.h"
#include "models/SkeletonDebug.h"
#include "models/SkinInstance.h"
#include "scene/Lump.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace
{
TEST(SkeletonLump, StartUpInstallsTheMakerOfTheBonesShapes)
{
    bz_Models_InstallSceneServices();
    // Bone 0 the root with one child, 1; bone 1 with three, 2, 3 and 4, whose offsets and its
    // own origin are the corners of a tetrahedron; bone 2 with one child, 5. Bone 0 has one
    // point (no parent, so no origin) and the leaves only their origin: no shape. Bone 1 gets a
    // rounded hull and bone 2 a capsule.
    bzSkeletonBone bones[6] = {{-1, 1, -1, -1, {}}, {0, 2, -1, -1, {}},  {1, 5, 3, -1, {}},
                               {1, -1, 4, -1, {}},  {1, -1, -1, -1, {}}, {2, -1, -1, -1, {}}};
    bzBonePose bind[6] = {};
    for (bzBonePose &pose : bind)
        pose.rotation = bzQuat{{0, 0, 0, 1}};
    bzV3 offsets[6] = {{0, 0, 0}, {0, 1, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {0, 0.5f, 0}};
    bzSkeleton skeleton{};
    skeleton.boneCount = 6;
    skeleton.nameTable = -1;
    skeleton.bones = bones;
    skeleton.bindPose = bind;
    skeleton.boneOffsets = offsets;
    bzModel *model = bz_CreateModel(0, 0);
    ASSERT_NE(model, nullptr);
    bz_CreateModelPart(model)->skeleton = &skeleton;
    bzSkinInstance *instance = bz_CreateSkinInstance(model);
    ASSERT_NE(instance, nullptr);
    bzLump *skin = bz_Lump_Create(BZ_LUMP_TYPE_SKINNED_MODEL, "body");
    skin->object = instance;

    bzLump *top = bz_Skeleton_BuildDebugLump(skin);
    ASSERT_NE(top, nullptr);
    EXPECT_STREQ(top->name, "Skeleton");
    std::multiset<std::string> names;
    for (bzLump *child = top->firstChild; child; child = child->next)
    {
        EXPECT_EQ(child->type, BZ_LUMP_TYPE_MODEL);
        EXPECT_NE(bz_Lump_GetModel(child), nullptr);
        names.insert(child->name);
    }
    EXPECT_EQ(names, (std::multiset<std::string>{"Polyhedron", "Tic Tac"}));
    bz_Lump_DestroyTree(top);

    skin->object = nullptr;
    bz_Lump_Destroy(skin);
    bz_FreeSkinInstance(instance);
    model->part->skeleton = nullptr;
    bz_ReleaseModel(model);
    bz_Models_RemoveSceneServices();
}
} // namespace
