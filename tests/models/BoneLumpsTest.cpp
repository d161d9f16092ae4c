#include "models/BoneLumps.h"

#include "maths/Matrix.h"
#include "maths/Quat.h"
#include "models/Animation.h"
#include "models/ModelAccess.h"
#include "models/SkinInstance.h"
#include "scene/Lump.h"

#include "ModelsTestSupport.h"
#include "SkinTestSupport.h"

#include <cmath>
#include <vector>

namespace
{
using BoneLumpsTest = ModelRecordsTest;

// What the fake replay saw: each event with its key.
struct Recorded
{
    bzBoneLumpEvent event;
    bzLump *key;
};
std::vector<Recorded> gEvents;
int gSessions;
void (*gApply)(const void *, bzLump *, int32_t);

const bzSkeletonReplayServices kReplay = {
    [](const char *name, uint32_t size, void (*apply)(const void *, bzLump *, int32_t)) -> void *
    {
        EXPECT_STREQ(name, "POOL_(UN)BIND_OBJECT");
        EXPECT_EQ(size, sizeof(bzBoneLumpEvent));
        ++gSessions;
        gApply = apply;
        return &gSessions;
    },
    [] { return 1; },
    [](void *session) -> void * { return session; },
    [](void *, const void *event, bzLump *key) {
        gEvents.push_back({*static_cast<const bzBoneLumpEvent *>(event), key});
    },
    [](void *) {},
};

// A chain Pelvis - Spine - Arm along +x under a skinned lump with two limb lumps (ids 3, 4).
struct Character
{
    bzSkeletonBone bones[3] = {{-1, 1, -1, -1, {}}, {0, 2, -1, -1, {}}, {1, -1, -1, -1, {}}};
    bzBonePose bind[3] = {{{{0, 0, 0, 1}}, {0, 0, 0}, 0},
                          {{{0, 0, 0, 1}}, {1, 0, 0}, 0},
                          {{{0, 0, 0, 1}}, {2, 0, 0}, 0}};
    bzV3 offsets[3] = {{0, 0, 0}, {1, 0, 0}, {1, 0, 0}};
    bzSkeleton skeleton{};
    bzModel *model;
    bzSkinInstance *instance;
    bzLump *skin, *arm, *chest;

    Character()
    {
        char names[3][32] = {"Pelvis", "Spine", "Arm"};
        model = MakeSkinnedModel(
            skeleton, 3, static_cast<int16_t>(bz_GetBoneNameTable(names[0], 3, 32, nullptr)), bones,
            bind, offsets);
        instance = bz_CreateSkinInstance(model);
        skin = bz_Lump_Create(BZ_LUMP_TYPE_SKINNED_MODEL, "body");
        skin->object = instance;
        bzLump *holder = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "limbs");
        arm = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "arm");
        chest = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "chest");
        arm->idWord = 0x103;
        chest->idWord = 4;
        bz_Lump_Attach(skin, holder);
        bz_Lump_Attach(holder, chest);
        bz_Lump_Attach(skin, arm);
    }
    ~Character()
    {
        skin->object = nullptr;
        bz_Lump_DestroyTree(skin);
        bz_FreeSkinInstance(instance);
        model->part->skeleton = nullptr;
        bz_ReleaseModel(model);
    }
    // The arm bone's model-space pose after an update to frame 0 of the animation.
    bzM34 ArmPosedBy(bzAnimation *animation)
    {
        instance->anim = animation;
        instance->frame = 0;
        instance->flags |= BZ_SKIN_NEEDS_UPDATE;
        bz_Skeleton_Update(skin, model);
        bzM34 m{};
        EXPECT_EQ(bz_Skeleton_GetBoneMatrix(skin, model, 2, &m), 0);
        return m;
    }
    const bzBoneLumpTable *Table() const
    {
        return static_cast<const bzBoneLumpTable *>(skeleton.boneLumps);
    }
};

class BoneLumps : public BoneLumpsTest
{
protected:
    void SetUp() override
    {
        BoneLumpsTest::SetUp();
        gEvents.clear();
        gSessions = 0;
        bz_Skeleton_SetReplayServices(&kReplay);
    }
    void TearDown() override
    {
        bz_Skeleton_SetReplayServices(nullptr);
        BoneLumpsTest::TearDown();
    }
};

TEST_F(BoneLumps, EntriesAreAddedOncePerBone)
{
    Character c;
    ASSERT_EQ(bz_Skeleton_AddBoneLump(c.skin, "arm", 3), 0);
    EXPECT_EQ(gSessions, 1);
    ASSERT_NE(c.Table(), nullptr);
    EXPECT_EQ(c.Table()->count, 1);
    EXPECT_EQ(c.bones[2].lumpSlot, 0);
    EXPECT_EQ(c.Table()->orientation[0]->z, -0.7071065f);
    ASSERT_EQ(bz_Skeleton_AddBoneLump(c.skin, "ARM", 9), 0);
    EXPECT_EQ(c.Table()->count, 1);
    EXPECT_EQ(c.Table()->lumpId[0], 3);
    ASSERT_EQ(bz_Skeleton_AddBoneLump(c.skin, "spine", 4), 0);
    EXPECT_EQ(c.bones[1].lumpSlot, 1);
    EXPECT_EQ(c.Table()->orientation[1]->x, 0.7071065f);
    EXPECT_EQ(bz_Skeleton_AddBoneLump(c.skin, "tail", 5), BZ_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(gSessions, 1);
    bzLump plain{};
    EXPECT_EQ(bz_Skeleton_AddBoneLump(&plain, "arm", 3), BZ_ERROR_INVALID_PARAMETER);
}

TEST_F(BoneLumps, LinkingIsRecordedAndPlayedBothWays)
{
    Character c;
    bz_Skeleton_AddBoneLump(c.skin, "arm", 3);
    bz_Skeleton_AddBoneLump(c.skin, "spine", 4);
    bz_Skeleton_LinkBoneLumps(c.skin);
    EXPECT_EQ(c.instance->flags & BZ_SKIN_LUMPS_LINKED, BZ_SKIN_LUMPS_LINKED);
    EXPECT_EQ(c.instance->boneLumps[0], c.arm);
    EXPECT_EQ(c.instance->boneLumps[1], c.chest); // found below another child
    ASSERT_EQ(gEvents.size(), 1u);
    EXPECT_EQ(gEvents[0].key, c.skin);
    EXPECT_EQ(gEvents[0].event.slots[0], reinterpret_cast<uintptr_t>(c.arm));
    bz_Skeleton_LinkBoneLumps(c.skin); // already linked
    EXPECT_EQ(gEvents.size(), 1u);
    bz_Skeleton_RecordReplay(c.skin);
    ASSERT_EQ(gEvents.size(), 2u);
    EXPECT_EQ(gEvents[1].event.slots[0], reinterpret_cast<uintptr_t>(c.arm) | 1u);
    EXPECT_EQ(c.instance->flags & BZ_SKIN_LUMPS_LINKED, 0);

    struct Case
    {
        int event; // 0 link, 1 unlink
        int32_t direction;
        bool linked;
    };
    for (const Case &k :
         {Case{0, 1, true}, Case{0, -1, false}, Case{1, 1, false}, Case{1, -1, true}})
    {
        c.instance->flags = k.linked ? 0 : BZ_SKIN_LUMPS_LINKED;
        gApply(&gEvents[static_cast<size_t>(k.event)].event, c.skin, k.direction);
        EXPECT_EQ((c.instance->flags & BZ_SKIN_LUMPS_LINKED) != 0, k.linked)
            << k.event << " " << k.direction;
        EXPECT_EQ(c.instance->boneLumps[0], k.linked ? c.arm : nullptr);
        EXPECT_EQ(c.instance->boneLumps[1], k.linked ? c.chest : nullptr);
    }

    // Without the replay nothing is recorded, and linking still works.
    bz_Skeleton_SetReplayServices(nullptr);
    c.instance->flags = 0;
    bz_Skeleton_LinkBoneLumps(c.skin);
    EXPECT_EQ(gEvents.size(), 2u);
    EXPECT_EQ(c.instance->boneLumps[0], c.arm);
}

TEST_F(BoneLumps, ALinkedBoneLumpDictatesItsBone)
{
    Character c;
    bz_Skeleton_AddBoneLump(c.skin, "arm", 3);
    bzAnimation *stand = bz_CreateAnimation(0, 1, 3);
    auto pose = [&c, stand] { return c.ArmPosedBy(stand); };
    // The arm lump turned a quarter about x.
    const float h = std::sqrt(0.5f);
    const bzQuat turn{{h, 0.0f, 0.0f, h}};
    bzQuatPos placed{turn, {5.0f, 0.0f, 0.0f}};
    bz_QuatPos_ToM34(&placed, &c.arm->matrix);
    // Not linked: the animation's rotation.
    bzM34 m = pose();
    EXPECT_NEAR(m.row[0].x, 1.0f, 1e-5f);
    bz_Skeleton_LinkBoneLumps(c.skin);
    m = pose();
    bzQuat expected;
    bz_MulQuatInto(&turn, &expected, c.Table()->orientation[0]);
    bzM34 want{};
    bz_Quat_ToM34(&expected, 1, &want);
    for (int32_t r = 0; r < 3; ++r)
        for (int32_t k = 0; k < 3; ++k)
            EXPECT_NEAR(m.row[r].v[k], want.row[r].v[k], 1e-5f) << r << k;
    // The bone keeps its place on the chain.
    EXPECT_NEAR(m.row[3].x, 2.0f, 1e-5f);
    // An inactive bone lump leaves the bone animated.
    c.arm->flags &= ~BZ_LUMP_ACTIVE;
    m = pose();
    EXPECT_NEAR(m.row[0].x, 1.0f, 1e-5f);
    bz_ReleaseAnimation(stand, 0);
}
TEST_F(BoneLumps, AttachedLumpsFollowTheirBonesAndDriveThemBack)
{
    Character c;
    bz_Skeleton_AddBoneLump(c.skin, "arm", 3);
    // The character stands turned a quarter about y, 5 along z.
    const float h = std::sqrt(0.5f);
    bzQuatPos placed{{{0.0f, h, 0.0f, h}}, {0.0f, 0.0f, 5.0f}};
    bz_QuatPos_ToM34(&placed, &c.skin->matrix);
    bzAnimation *bend = bz_CreateAnimation(0, 1, 3);
    bend->rotations[2] = bzQuat{{0.0f, 0.0f, h, h}};
    auto pose = [&c, bend] { return c.ArmPosedBy(bend); };
    const bzM34 animated = pose();
    bz_Skeleton_UpdateAttachedLumps(c.skin);
    EXPECT_TRUE(c.arm->flags & BZ_LUMP_WORLD);
    EXPECT_FALSE(c.chest->flags & BZ_LUMP_WORLD); // no entry of its id
    // Bone 2 sits at (2, 0, 0) of the model: in the world, turned about y and moved, (0, 0, 3).
    EXPECT_NEAR(c.arm->matrix.row[3].x, 0.0f, 1e-5f);
    EXPECT_NEAR(c.arm->matrix.row[3].z, 3.0f, 1e-5f);
    // Linked, the placed lump gives the bone the rotation it had.
    bz_Skeleton_LinkBoneLumps(c.skin);
    bend->rotations[2] = bzQuat{{0.0f, 0.0f, 0.0f, 1.0f}};
    const bzM34 driven = pose();
    for (int32_t r = 0; r < 4; ++r)
        for (int32_t k = 0; k < 3; ++k)
            EXPECT_NEAR(driven.row[r].v[k], animated.row[r].v[k], 1e-5f) << r << k;
    bz_ReleaseAnimation(bend, 0);
}
TEST_F(BoneLumps, ABoneLumpCarriesTheChainBelowItsBone)
{
    Character c;
    bz_Skeleton_AddBoneLump(c.skin, "spine", 4); // played by the chest lump
    bzAnimation *stand = bz_CreateAnimation(0, 1, 3);
    // The arm turned a quarter about z in the frame, the spine not.
    const float h = std::sqrt(0.5f);
    stand->rotations[2] = bzQuat{{0.0f, 0.0f, h, h}};
    // The chest lump placed so that the spine gets a quarter turn about y: its rotation is that
    // turn with the entry's orientation taken back out.
    const bzQuat quarterY{{0.0f, h, 0.0f, h}};
    bzQuat back;
    bz_Quat_ConjugateInto(c.Table()->orientation[0], &back);
    bzQuatPos placed{};
    bz_MulQuatInto(&quarterY, &placed.q, &back);
    bz_QuatPos_ToM34(&placed, &c.chest->matrix);
    bz_Skeleton_LinkBoneLumps(c.skin);
    ASSERT_EQ(c.instance->boneLumps[0], c.chest);

    const bzM34 arm = c.ArmPosedBy(stand);
    bzM34 spine{};
    ASSERT_EQ(bz_Skeleton_GetBoneMatrix(c.skin, c.model, 1, &spine), 0);
    // The spine at (1, 0, 0) turned a quarter about y: its x axis points along -z.
    EXPECT_NEAR(spine.row[0].z, -1.0f, 1e-5f);
    EXPECT_NEAR(spine.row[3].x, 1.0f, 1e-5f);
    // The arm one unit along the spine's x: (1, 0, -1), and it keeps its quarter turn about z
    // relative to the spine: its x axis (y before the spine's turn) is still +y, its y axis
    // (-x before the turn) is now +z.
    EXPECT_NEAR(arm.row[3].x, 1.0f, 1e-5f);
    EXPECT_NEAR(arm.row[3].y, 0.0f, 1e-5f);
    EXPECT_NEAR(arm.row[3].z, -1.0f, 1e-5f);
    EXPECT_NEAR(arm.row[0].y, 1.0f, 1e-5f);
    EXPECT_NEAR(arm.row[1].z, 1.0f, 1e-5f);

    // The arm with a linked bone lump of its own follows it, placed on the turned spine.
    bz_Skeleton_AddBoneLump(c.skin, "arm", 3);
    c.instance->flags &= static_cast<uint8_t>(~BZ_SKIN_LUMPS_LINKED);
    bz_Skeleton_LinkBoneLumps(c.skin);
    ASSERT_EQ(c.instance->boneLumps[1], c.arm);
    // The arm lump gives the arm no turn at all.
    bzQuatPos armPlaced{};
    bz_Quat_ConjugateInto(c.Table()->orientation[1], &armPlaced.q);
    bz_QuatPos_ToM34(&armPlaced, &c.arm->matrix);
    const bzM34 own = c.ArmPosedBy(stand);
    EXPECT_NEAR(own.row[0].x, 1.0f, 1e-5f);
    EXPECT_NEAR(own.row[1].y, 1.0f, 1e-5f);
    EXPECT_NEAR(own.row[3].x, 1.0f, 1e-5f);
    EXPECT_NEAR(own.row[3].z, -1.0f, 1e-5f);
    bz_ReleaseAnimation(stand, 0);
}

// A rigid body as the dynamics layer would show it through the view.
struct FakeBody
{
    bzM34 pose;
    bzV3 centre;
    bzV3 offset;
};
const bzSkeletonBodyServices kBodies = {
    [](void *object) { return &static_cast<FakeBody *>(object)->pose; },
    [](void *object) { return &static_cast<FakeBody *>(object)->centre; },
    [](void *object) -> const bzV3 * { return &static_cast<FakeBody *>(object)->offset; },
};

TEST_F(BoneLumps, AttachedLumpsTakeTheirRigidBodiesWithThem)
{
    Character c;
    bz_Skeleton_AddBoneLump(c.skin, "arm", 3);
    // The character stands turned a quarter about y, 5 along z, in the bind pose.
    const float h = std::sqrt(0.5f);
    bzQuatPos placed{{{0.0f, h, 0.0f, h}}, {0.0f, 0.0f, 5.0f}};
    bz_QuatPos_ToM34(&placed, &c.skin->matrix);
    FakeBody body{};
    body.pose = *bz_M34_Identity();
    body.offset = {1.0f, 0.0f, 0.0f};
    c.arm->dynamicsObject = &body;

    // Without the view the body stays where it is.
    bz_Skeleton_UpdateAttachedLumps(c.skin);
    EXPECT_EQ(body.pose.row[3].z, 0.0f);
    EXPECT_EQ(body.centre.x, 0.0f);

    bz_Skeleton_SetBodyServices(&kBodies);
    bz_Skeleton_UpdateAttachedLumps(c.skin);
    for (int32_t r = 0; r < 4; ++r)
        for (int32_t k = 0; k < 3; ++k)
            EXPECT_EQ(body.pose.row[r].v[k], c.arm->matrix.row[r].v[k]) << r << k;
    // The arm bone at (2, 0, 0) of the model is at (0, 0, 3) in the world. The lump is the bone
    // with the entry's orientation (a quarter about -z) taken out: a quarter about +z, then the
    // character's quarter about y. The body's x offset turns to +y: the centre is at (0, 1, 3).
    EXPECT_NEAR(body.pose.row[3].z, 3.0f, 1e-5f);
    EXPECT_NEAR(body.centre.x, 0.0f, 1e-5f);
    EXPECT_NEAR(body.centre.y, 1.0f, 1e-5f);
    EXPECT_NEAR(body.centre.z, 3.0f, 1e-5f);

    // A lump bound to no body, and a view that does not know the object, leave it alone.
    body.centre = {};
    c.arm->dynamicsObject = nullptr;
    bz_Skeleton_UpdateAttachedLumps(c.skin);
    EXPECT_EQ(body.centre.y, 0.0f);
    const bzSkeletonBodyServices unknown = {[](void *) -> bzM34 * { return nullptr; },
                                            kBodies.centre, kBodies.centreOffset};
    bz_Skeleton_SetBodyServices(&unknown);
    c.arm->dynamicsObject = &body;
    bz_Skeleton_UpdateAttachedLumps(c.skin);
    EXPECT_EQ(body.centre.y, 0.0f);
    c.arm->dynamicsObject = nullptr;
    bz_Skeleton_SetBodyServices(nullptr);
}

TEST_F(BoneLumps, TheTableHoldsEightEntries)
{
    // A chain of ten bones named B0 to B9.
    std::vector<bzSkeletonBone> bones(10);
    std::vector<bzBonePose> bind(10, bzBonePose{{{0, 0, 0, 1}}, {0, 0, 0}, 0});
    std::vector<bzV3> offsets(10, bzV3{1.0f, 0.0f, 0.0f});
    char names[10][32] = {};
    for (int32_t b = 0; b < 10; ++b)
    {
        bones[b] = {
            static_cast<int8_t>(b - 1), static_cast<int8_t>(b < 9 ? b + 1 : -1), -1, -1, {}};
        names[b][0] = 'B';
        names[b][1] = static_cast<char>('0' + b);
    }
    bzSkeleton skeleton{};
    bzModel *model = MakeSkinnedModel(
        skeleton, 10, static_cast<int16_t>(bz_GetBoneNameTable(names[0], 10, 32, nullptr)),
        bones.data(), bind.data(), offsets.data());
    bzSkinInstance *instance = bz_CreateSkinInstance(model);
    ASSERT_NE(instance, nullptr);
    bzLump skin{};
    skin.type = BZ_LUMP_TYPE_SKINNED_MODEL;
    skin.object = instance;
    for (int32_t b = 0; b < 8; ++b)
        ASSERT_EQ(bz_Skeleton_AddBoneLump(&skin, names[b], static_cast<uint8_t>(10 + b)), 0) << b;
    EXPECT_EQ(bz_Skeleton_AddBoneLump(&skin, "B8", 18), BZ_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(bones[8].lumpSlot, -1);
    EXPECT_EQ(static_cast<const bzBoneLumpTable *>(skeleton.boneLumps)->count, 8);
    bz_FreeSkinInstance(instance);
    model->part->skeleton = nullptr;
    bz_ReleaseModel(model);
}
} // namespace
