// Bounce records: made only for restitutive pairs and at most ten partners a body, applied once
// they pass their threshold, aged away when quiet, and forgotten with a destroyed body.
#include "collision/CollisionFace.h"
#include "collision/PairTestShapes.h"
#include "maths/Matrix.h"
#include "physics/Body.h"
#include "physics/Bounce.h"
#include "physics/ConstraintRow.h"
#include "physics/Impulses.h"
#include "physics/PhysSettings.h"
#include "physics/Substance.h"
#include "SubstanceTestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace
{
using pairtest::V;

// The owner record of a body: its second pointer-sized word names the body.
struct Owner
{
    void *first = nullptr;
    BZDObject *body = nullptr;
};

struct Scope
{
    uint32_t bouncy = 0, dead = 0;
    struct Surface
    {
        uint32_t word0;
        uint32_t slot;
    } floor = {};                   // the floor's material: its second word is the substance slot
    bzCollisionFace floorFace = {}; // the world surface record the floor's rows name
    std::vector<std::unique_ptr<BZDObject>> bodies;
    std::vector<std::unique_ptr<Owner>> owners;
    Scope()
    {
        ResetSubstancesToStartUp();
        const BZDSubstance b = MakeSubstance(0.5f, 0.5f, 0.5f), d = MakeSubstance(0.5f, 0.5f, 0.0f);
        bouncy = bz_Substance_Register(&b);
        dead = bz_Substance_Register(&d);
        floor.slot = bouncy;
        floorFace.material = &floor;
    }
    ~Scope()
    {
        for (auto &b : bodies)
            bz_Phys_ForgetBounceRecords(b.get(), nullptr);
        ResetSubstancesToStartUp();
    }
    BZDObject *Body(float mass, uint32_t substance)
    {
        bodies.push_back(std::make_unique<BZDObject>());
        owners.push_back(std::make_unique<Owner>());
        BZDObject *b = bodies.back().get();
        *b = BZDObject{};
        bz_M34_SetIdentity(&b->startTransform);
        b->mass = mass;
        b->inverseMass = 1.0f / mass;
        b->substance = int32_t(substance);
        b->owner = owners.back().get();
        owners.back()->body = b;
        return b;
    }
    bzPhysRow Row(BZDObject *a, BZDObject *b)
    {
        bzPhysRow r = {};
        r.bodyA = a;
        r.bodyB = b;
        r.nA = V(0, 1, 0);
        r.link.surface = b ? nullptr : &floorFace;
        return r;
    }
};

TEST(BounceTest, OnlyRestitutivePairsAreRecorded)
{
    Scope s;
    BZDObject *ball = s.Body(1.0f, s.bouncy), *clay = s.Body(1.0f, s.dead);
    s.floor.slot = s.dead;
    bzPhysRow row = s.Row(clay, nullptr);
    // Restitutions 0 and 0 combine to 0: nothing.
    EXPECT_EQ(bz_Phys_RecordBounce(clay, nullptr, &row, 1.0f), 0);
    EXPECT_EQ(clay->bounceCount, 0);
    s.floor.slot = s.bouncy;
    row = s.Row(ball, nullptr);
    EXPECT_EQ(bz_Phys_RecordBounce(ball, nullptr, &row, 1.0f), 1);
    EXPECT_EQ(ball->bounceCount, 1);
    // The same pair adds to its record.
    EXPECT_EQ(bz_Phys_RecordBounce(ball, nullptr, &row, 2.0f), 1);
    ASSERT_EQ(ball->bounceCount, 1);
    const bzPhysBounce *r = static_cast<const bzPhysBounce *>(ball->bounces);
    EXPECT_FLOAT_EQ(r->sum.y, 3.0f);
    EXPECT_FLOAT_EQ(r->restitution, 0.5f);
}

TEST(BounceTest, AnEleventhPartnerMakesNoRecordAndTheLighterBodyKeepsThem)
{
    Scope s;
    BZDObject *ball = s.Body(1.0f, s.bouncy);
    std::vector<BZDObject *> heavy;
    for (int i = 0; i < 11; ++i)
    {
        heavy.push_back(s.Body(10.0f, s.bouncy));
        bzPhysRow row = s.Row(ball, heavy.back());
        EXPECT_EQ(bz_Phys_RecordBounce(ball, heavy.back(), &row, 1.0f), 1);
    }
    EXPECT_EQ(ball->bounceCount, BZ_BOUNCE_RECORDS_PER_BODY);
    for (BZDObject *h : heavy)
        EXPECT_EQ(h->bounceCount, 0);
    // The row's bodyB keeps the record when it is the lighter one.
    bzPhysRow row = s.Row(heavy[0], ball);
    bz_Phys_RecordBounce(heavy[0], ball, &row, 1.0f);
    EXPECT_EQ(heavy[0]->bounceCount, 0);
    EXPECT_EQ(ball->bounceCount, BZ_BOUNCE_RECORDS_PER_BODY); // full: the new pair is dropped
}

TEST(BounceTest, RecordsBounceOnceTheyPassTheirThresholdAndAgeAway)
{
    Scope s;
    BZDObject *ball = s.Body(1.0f, s.bouncy);
    ball->frameStartLinearVelocity = V(0, -2, 0); // threshold 2 x 1 x 1.5 = 3
    bzPhysRow row = s.Row(ball, nullptr);
    bz_Phys_RecordBounce(ball, nullptr, &row, 5.0f);
    ASSERT_EQ(ball->bounceCount, 1);
    EXPECT_FLOAT_EQ(static_cast<bzPhysBounce *>(ball->bounces)->threshold, 3.0f);
    // First pass: the sum becomes pending; nothing applied yet.
    bz_Phys_ApplyBounceRecordsInList(ball);
    EXPECT_EQ(ball->linearVelocity.y, 0.0f);
    EXPECT_EQ(ball->bounceCount, 1);
    EXPECT_EQ(bz_Phys_BounceRecordsExist(), 1);
    // Second pass: pending 5 passes 3: f = 0.4, J = 2, times restitution 0.5.
    ball->asleep = 1;
    bz_Phys_ApplyBounceRecordsInList(ball);
    EXPECT_FLOAT_EQ(ball->linearVelocity.y, 1.0f);
    EXPECT_FLOAT_EQ(ball->localLinearVelocity.y, 1.0f);
    EXPECT_EQ(ball->asleep, 0);
    // Third pass: nothing pending, nothing summed: the record goes.
    bz_Phys_ApplyBounceRecordsInList(ball);
    EXPECT_EQ(ball->bounceCount, 0);
    EXPECT_EQ(bz_Phys_BounceRecordsExist(), 0);
    // A quiet record (within its threshold) goes on the next pass.
    bz_Phys_RecordBounce(ball, nullptr, &row, 1.0f);
    bz_Phys_ApplyBounceRecordsInList(ball);
    EXPECT_EQ(ball->bounceCount, 0);
    EXPECT_FLOAT_EQ(ball->linearVelocity.y, 1.0f);
}

TEST(BounceTest, ADestroyedPartnerLeavesNoRecordBehind)
{
    Scope s;
    BZDObject *ball = s.Body(1.0f, s.bouncy), *wall = s.Body(10.0f, s.bouncy),
              *crate = s.Body(10.0f, s.bouncy);
    ball->nextSibling = wall;
    wall->nextSibling = crate;
    bzPhysRow row = s.Row(ball, wall);
    bz_Phys_RecordBounce(ball, wall, &row, 1.0f);
    row = s.Row(ball, crate);
    bz_Phys_RecordBounce(ball, crate, &row, 1.0f);
    ASSERT_EQ(ball->bounceCount, 2);
    // The wall is destroyed: the ball's record naming it goes, the crate's stays.
    bz_Phys_ForgetBounceRecords(wall, ball);
    ASSERT_EQ(ball->bounceCount, 1);
    EXPECT_EQ(static_cast<bzPhysBounce *>(ball->bounces)->ownerB, crate->owner);
    // A partner whose owner no longer names a body is dropped when the records are applied.
    static_cast<Owner *>(crate->owner)->body = nullptr;
    bz_Body_ApplyBounceRecords(ball);
    EXPECT_EQ(ball->bounceCount, 0);
    // Forgetting a body frees its own records.
    bz_Phys_ForgetBounceRecords(ball, nullptr);
    EXPECT_EQ(ball->bounces, nullptr);
}

TEST(BounceTest, AppliedContactRowsRecordTheirPairs)
{
    Scope s;
    BZDObject *ball = s.Body(1.0f, s.bouncy), *clay = s.Body(1.0f, s.dead);
    s.floor.slot = s.dead;
    // Two rows of the ball on the floor, one of the clay: only the ball's pair is restitutive.
    bzPhysRow rows[3] = {s.Row(ball, nullptr), s.Row(ball, nullptr), s.Row(clay, nullptr)};
    s.floor.slot = s.bouncy;
    for (bzPhysRow &r : rows)
        r.type = 2;
    const BZDSubstance deadFloor = MakeSubstance(0.5f, 0.5f, 0.0f);
    Scope::Surface dull = {0, bz_Substance_Register(&deadFloor)};
    bzCollisionFace dullFace = {};
    dullFace.material = &dull;
    rows[2].link.surface = &dullFace;
    bzPhysRow *pointers[3] = {&rows[0], &rows[1], &rows[2]};
    const float x[3] = {1.0f, 2.0f, 4.0f};
    bz_Phys_ClearWorldContacts();
    bz_Phys_ApplyContactImpulses(pointers, x, 3);
    bz_Phys_ClearWorldContacts();
    ASSERT_EQ(ball->bounceCount, 1);
    EXPECT_FLOAT_EQ(static_cast<bzPhysBounce *>(ball->bounces)->sum.y, 3.0f);
    EXPECT_EQ(clay->bounceCount, 0);
}

TEST(BounceTest, WeldedChildrenTakeTheChangeRigidly)
{
    Scope s;
    BZDObject *root = s.Body(1.0f, s.bouncy), *child = s.Body(1.0f, s.bouncy);
    root->firstChild = child;
    child->parent = root;
    child->physicsFlags = BZ_PHYS_WELDED;
    child->startTransform.row[3] = V(2, 0, 0);
    const bzV3 dv = V(1, 0, 0), dw = V(0, 0, 1);
    bz_Body_PropagateVelocityChange(root, root, &dv, &dw);
    // The child's centre at (2, 0, 0) turning about z at 1: (0, 2, 0) more.
    EXPECT_FLOAT_EQ(child->linearVelocity.x, 1.0f);
    EXPECT_FLOAT_EQ(child->linearVelocity.y, 2.0f);
    EXPECT_FLOAT_EQ(child->angularVelocity.z, 1.0f);
    EXPECT_FLOAT_EQ(child->localLinearVelocity.y, 2.0f);
}
} // namespace
