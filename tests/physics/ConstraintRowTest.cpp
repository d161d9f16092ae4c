// Constraint row sets: merging with the duplicate test and the 60-row cap, gathering joint rows
// up to 128, pinning rows against immovable bodies, welded rows moved and restored (and left
// alone when no copy can be had), and the small row accessors.
#include "collision/Shape.h"
#include "core/Memory.h"
#include "maths/Vector.h"
#include "physics/Body.h"
#include "physics/ConstraintRow.h"
#include "physics/PhysSettings.h"
#include "physics/TreeStep.h"
#include "RawAllocFailure.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace
{
bzV3 V(float x, float y, float z)
{
    return bzV3{{{x, y, z}}};
}

bzV3 AtDegrees(float deg)
{
    const float r = deg * 3.14159265f / 180.0f;
    return V(std::cos(r), std::sin(r), 0.0f);
}

bzPhysRow Row(BZDObject *a, BZDObject *b, uint32_t type, bzV3 nA)
{
    bzPhysRow r = {};
    r.bodyA = a;
    r.bodyB = b;
    r.type = type;
    r.nA = nA;
    return r;
}

TEST(ConstraintRow, RecordIsWholeWords)
{
    EXPECT_EQ(sizeof(bzPhysRow) % 4, 0u);
    EXPECT_EQ(bz_JointRowCount(0x0303), 6);
    EXPECT_EQ(bz_JointRowCount(0x0402), 2); // coupled: angular part adds no row
    EXPECT_EQ(bz_JointRowCount(0x0203), 5);
    EXPECT_EQ(bz_JointRowCount(0x0001), 1);
    EXPECT_EQ(bz_JointRowCount(0x0100), 1);
}

TEST(ConstraintRow, MergeDropsOpposedDuplicatesOnly)
{
    BZDObject a = {}, b = {}, c = {};
    struct Case
    {
        const char *name;
        bzPhysRow existing;
        bzPhysRow candidate;
        int32_t count; // after the merge
    };
    const Case cases[] = {
        {"179 degrees", Row(&a, &b, 32, AtDegrees(0)), Row(&a, &b, 32, AtDegrees(179)), 1},
        {"170 degrees", Row(&a, &b, 32, AtDegrees(0)), Row(&a, &b, 32, AtDegrees(170)), 2},
        {"angular 179", Row(&a, &b, 96, AtDegrees(0)), Row(&a, &b, 96, AtDegrees(179)), 1},
        {"same direction", Row(&a, &b, 32, AtDegrees(0)), Row(&a, &b, 32, AtDegrees(0)), 2},
        {"other type", Row(&a, &b, 96, AtDegrees(0)), Row(&a, &b, 32, AtDegrees(180)), 2},
        {"other bodyB", Row(&a, &c, 32, AtDegrees(0)), Row(&a, &b, 32, AtDegrees(180)), 2},
        {"contact kind", Row(&a, &b, 1, AtDegrees(0)), Row(&a, &b, 1, AtDegrees(180)), 2},
        {"switched off", Row(&a, &b, 1, AtDegrees(0)), Row(&a, &b, 1 | BZ_ROW_OFF, V(0, 1, 0)), 1},
    };
    for (const Case &k : cases)
    {
        bzPhysRow rows[2] = {k.existing};
        EXPECT_EQ(bz_Phys_MergeContactRows(rows, 1, &k.candidate, 1), k.count) << k.name;
        if (k.count == 2)
        {
            EXPECT_EQ(std::memcmp(&rows[1], &k.candidate, sizeof(bzPhysRow)), 0) << k.name;
        }
    }
}

TEST(ConstraintRow, MergeSkipsSpentFrictionRows)
{
    BZDObject a = {}, b = {};
    struct Case
    {
        bool withBodyB;
        float budget;
        int32_t count;
    };
    const Case cases[] = {
        {true, 1e-7f, 0},  {true, 1.1920929e-7f, 0},  {true, 2e-7f, 1},
        {false, 1e-7f, 0}, {false, 1.1920929e-7f, 0}, {false, 2e-7f, 1},
    };
    for (const Case &c : cases)
    {
        bzPhysRow candidate = Row(&a, c.withBodyB ? &b : nullptr, BZ_ROW_FRICTION, V(1, 0, 0));
        if (c.withBodyB)
            candidate.link.budget = c.budget;
        else
            candidate.rB.x = c.budget;
        bzPhysRow rows[1];
        EXPECT_EQ(bz_Phys_MergeContactRows(rows, 0, &candidate, 1), c.count)
            << c.withBodyB << " " << c.budget;
    }
}

TEST(ConstraintRow, MergeStopsAtSixtyRows)
{
    BZDObject a = {};
    std::vector<bzPhysRow> rows(60), candidates(10);
    for (int k = 0; k < 10; ++k)
        candidates[k] = Row(&a, nullptr, 1, V(1, 0, 0));
    EXPECT_EQ(bz_Phys_MergeContactRows(rows.data(), 60, candidates.data(), 10), 60);
    EXPECT_EQ(bz_Phys_MergeContactRows(rows.data(), 55, candidates.data(), 10), 60);
    EXPECT_EQ(bz_Phys_MergeWorldContactRows(rows.data(), 60, candidates.data(), 10), 60);
}

TEST(ConstraintRow, WorldMergeTakesAngularWorldRows)
{
    BZDObject a = {}, b = {};
    const bzPhysRow existing = Row(&a, nullptr, 96, AtDegrees(0));
    struct Case
    {
        const char *name;
        bzPhysRow candidate;
        int32_t count;
    };
    const Case cases[] = {
        {"91 degrees", Row(&a, nullptr, 96, AtDegrees(91)), 1},
        {"89 degrees", Row(&a, nullptr, 96, AtDegrees(89)), 2},
        {"with bodyB", Row(&a, &b, 96, AtDegrees(0)), 1},
        {"linear", Row(&a, nullptr, 32, AtDegrees(0)), 1},
        {"contact", Row(&a, nullptr, 1, AtDegrees(0)), 1},
        // No switched-off test in this variant.
        {"angular flag only", Row(&a, nullptr, 96, AtDegrees(45)), 2},
    };
    for (const Case &c : cases)
    {
        bzPhysRow rows[2] = {existing};
        EXPECT_EQ(bz_Phys_MergeWorldContactRows(rows, 1, &c.candidate, 1), c.count) << c.name;
    }
}

TEST(ConstraintRow, GatherStopsBeforePassingOneHundredAndTwentyEightRows)
{
    // A ring of four bodies with 60, 0 (no tree record), 60 and 10 joint rows: the third body
    // brings the total to 120, the fourth would bring it to 130 and is left out.
    BZDObject bodies[4] = {};
    bzPhysTreeStep records[4] = {};
    std::vector<bzPhysRow> rows[4];
    const int counts[4] = {60, 5, 60, 10};
    for (int k = 0; k < 4; ++k)
    {
        rows[k].resize(counts[k]);
        bodies[k].jointRows = rows[k].data();
        bodies[k].jointRowCount = static_cast<uint8_t>(counts[k]);
        bodies[k].treeStep = k == 1 ? nullptr : &records[k];
        bodies[k].ring = &bodies[(k + 1) % 4];
    }
    bzPhysTreeStep *gathered[4] = {};
    int32_t recordCount = -1;
    std::vector<bzPhysRow *> pointers(128);
    EXPECT_EQ(bz_Phys_GatherJointRows(&bodies[0], gathered, &recordCount, pointers.data()), 120);
    EXPECT_EQ(recordCount, 2);
    EXPECT_EQ(gathered[0], &records[0]);
    EXPECT_EQ(gathered[1], &records[2]);
    EXPECT_EQ(pointers[0], &rows[0][0]);
    EXPECT_EQ(pointers[59], &rows[0][59]);
    EXPECT_EQ(pointers[60], &rows[2][0]);
    EXPECT_EQ(pointers[119], &rows[2][59]);
    // Starting further round the ring: 10 + 60 + 60 = 130 stops after 70.
    EXPECT_EQ(bz_Phys_GatherJointRows(&bodies[3], gathered, &recordCount, pointers.data()), 70);
    EXPECT_EQ(recordCount, 2);
    // A lone body whose ring link is itself.
    BZDObject lone = {};
    bzPhysTreeStep record = {};
    bzPhysRow loneRows[3];
    lone.ring = &lone;
    lone.treeStep = &record;
    lone.jointRows = loneRows;
    lone.jointRowCount = 3;
    EXPECT_EQ(bz_Phys_GatherJointRows(&lone, gathered, &recordCount, pointers.data()), 3);
    EXPECT_EQ(recordCount, 1);
}

TEST(ConstraintRow, PinningLeavesOneSidedRowsOnTheMovableBody)
{
    BZDObject light = {}, heavy = {};
    heavy.physicsFlags = BZ_PHYS_HEAVY;
    bzPhysRow rows[3] = {};
    // bodyB immovable: the row keeps its sides and drops bodyB's direction and response.
    rows[0] = Row(&light, &heavy, 1, V(1, 0, 0));
    rows[0].rA = V(1, 2, 3);
    rows[0].rB = V(4, 5, 6);
    rows[0].nB = V(0, 1, 0);
    rows[0].wB = V(7, 7, 7);
    // bodyA immovable: the sides change places with their directions negated.
    rows[1] = rows[0];
    rows[1].bodyA = &heavy;
    rows[1].bodyB = &light;
    // Neither, and a world row: untouched.
    rows[2] = Row(&light, nullptr, 32, V(0, 0, 1));
    const bzPhysRow before2 = rows[2];
    bz_Phys_PinHeavyBodies(rows, 3);
    EXPECT_EQ(rows[0].type, 12u);
    EXPECT_EQ(rows[0].bodyA, &light);
    EXPECT_EQ(rows[0].nA.x, 1.0f);
    EXPECT_EQ(rows[0].nB.y, 0.0f);
    EXPECT_EQ(rows[0].wB.x, 0.0f);
    EXPECT_EQ(rows[1].type, 12u);
    EXPECT_EQ(rows[1].bodyA, &light);
    EXPECT_EQ(rows[1].bodyB, &heavy);
    EXPECT_EQ(rows[1].nA.y, -1.0f); // -nB
    EXPECT_EQ(rows[1].nA.x, 0.0f);
    EXPECT_EQ(rows[1].rA.x, 4.0f);
    EXPECT_EQ(rows[1].rB.x, 1.0f);
    EXPECT_EQ(rows[1].nB.x, 0.0f);
    EXPECT_EQ(rows[1].wB.x, 0.0f);
    EXPECT_EQ(std::memcmp(&rows[2], &before2, sizeof(bzPhysRow)), 0);
}

class WeldedRowsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        stackLeft_ = bz_TempStack_SpaceLeft(1, 0);
        // The representative sits at (10, 0, 0) turned 90 degrees about z; the welded body
        // sits at the origin unturned.
        bz_M34_SetIdentity(&rep_.startTransform);
        rep_.startTransform.row[0] = V(0, 1, 0);
        rep_.startTransform.row[1] = V(-1, 0, 0);
        rep_.startTransform.row[3] = V(10, 0, 0);
        rep_.centreOfMass = V(0, 0, 1);
        bz_M34_SetIdentity(&welded_.startTransform);
        welded_.centreOfMass = V(0, 0, 0);
        welded_.physicsFlags = BZ_PHYS_WELDED;
        welded_.top = &rep_;
        rows_[0] = Row(&welded_, nullptr, 1, V(1, 0, 0));
        rows_[0].rA = V(12, 1, 0);
        rows_[1] = Row(&other_, &welded_, 32, V(0, 0, 1));
        rows_[1].rB = V(10, 0, 1);
        rows_[1].nB = V(0, 1, 0);
        pointers_[0] = &rows_[0];
        pointers_[1] = &rows_[1];
        bz_Phys_SetWeldedRows(1);
    }
    void TearDown() override
    {
        bz_Phys_SetWeldedRows(0);
        EXPECT_EQ(bz_TempStack_SpaceLeft(1, 0), stackLeft_);
    }

    BZDObject rep_ = {}, welded_ = {}, other_ = {};
    bzPhysRow rows_[2] = {};
    bzPhysRow *pointers_[2] = {};
    uint32_t stackLeft_ = 0;
};

TEST_F(WeldedRowsTest, RowsMoveToTheRepresentativeAndBack)
{
    const bzPhysRow saved0 = rows_[0], saved1 = rows_[1];
    bz_Phys_MoveWeldedRows(2, pointers_);
    // World point (12, 1, 0) in the representative's frame: (1, -2, 0), less its centre of
    // mass (0, 0, 1). The world direction x is the representative's -y.
    EXPECT_EQ(rows_[0].bodyA, &rep_);
    EXPECT_NEAR(rows_[0].rA.x, 1.0f, 1e-6);
    EXPECT_NEAR(rows_[0].rA.y, -2.0f, 1e-6);
    EXPECT_NEAR(rows_[0].rA.z, -1.0f, 1e-6);
    EXPECT_NEAR(rows_[0].nA.y, -1.0f, 1e-6);
    EXPECT_EQ(rows_[1].bodyA, &other_);
    EXPECT_EQ(rows_[1].bodyB, &rep_);
    EXPECT_NEAR(rows_[1].rB.x, 0.0f, 1e-6);
    EXPECT_NEAR(rows_[1].rB.z, 0.0f, 1e-6);
    EXPECT_NEAR(rows_[1].nB.x, 1.0f, 1e-6);
    // A row switched off during the solve keeps what the solve left.
    rows_[1].type |= BZ_ROW_OFF;
    rows_[0].wA = V(5, 5, 5); // responses are not restored
    bz_Phys_RestoreWeldedRows(2, pointers_);
    EXPECT_EQ(rows_[0].bodyA, &welded_);
    EXPECT_EQ(rows_[0].rA.x, saved0.rA.x);
    EXPECT_EQ(rows_[0].nA.x, saved0.nA.x);
    EXPECT_EQ(rows_[0].wA.x, 5.0f);
    EXPECT_EQ(rows_[1].bodyB, &rep_);
    EXPECT_NE(rows_[1].nB.x, saved1.nB.x);
}

TEST_F(WeldedRowsTest, NothingMovesWithoutTheSwitch)
{
    bz_Phys_SetWeldedRows(0);
    const bzPhysRow saved = rows_[0];
    bz_Phys_MoveWeldedRows(2, pointers_);
    EXPECT_EQ(std::memcmp(&rows_[0], &saved, sizeof(bzPhysRow)), 0);
    bz_Phys_RestoreWeldedRows(2, pointers_);
    EXPECT_EQ(std::memcmp(&rows_[0], &saved, sizeof(bzPhysRow)), 0);
}

TEST_F(WeldedRowsTest, WithoutRoomForTheCopyTheRowsStayAsTheyAre)
{
    // Fill temporary stack 1 and refuse raw blocks, so the copy cannot be had anywhere.
    const uint32_t left = bz_TempStack_SpaceLeft(1, 0);
    void *filler = left > 64 ? bz_TempStack_Alloc(1, left - 64, 0) : nullptr;
    RawAllocFailure failing;
    const bzPhysRow before0 = rows_[0], before1 = rows_[1];
    bz_Phys_MoveWeldedRows(2, pointers_);
    EXPECT_EQ(std::memcmp(&rows_[0], &before0, sizeof(bzPhysRow)), 0);
    EXPECT_EQ(std::memcmp(&rows_[1], &before1, sizeof(bzPhysRow)), 0);
    rows_[0].weight = 3.0f; // what the solve leaves stays
    bz_Phys_RestoreWeldedRows(2, pointers_);
    EXPECT_EQ(rows_[0].weight, 3.0f);
    failing.Restore();
    if (filler)
        bz_TempStack_Free(1, filler);
    // With room again, the pair works.
    bz_Phys_MoveWeldedRows(2, pointers_);
    EXPECT_EQ(rows_[0].bodyA, &rep_);
    bz_Phys_RestoreWeldedRows(2, pointers_);
    EXPECT_EQ(rows_[0].bodyA, &welded_);
}

TEST(ConstraintRow, Accessors)
{
    BZDObject a = {}, parent = {}, other = {};
    BZDJoint *world = reinterpret_cast<BZDJoint *>(0x10);
    BZDJoint *toParent = reinterpret_cast<BZDJoint *>(0x20);
    BZDJoint *second = reinterpret_cast<BZDJoint *>(0x30);
    a.worldJoint = world;
    a.parentJoint = toParent;
    a.secondJoint = second;
    a.top = &parent;
    a.substance = 7;
    bzPhysRow row = Row(&a, nullptr, 33, V(1, 0, 0));
    EXPECT_EQ(bz_Row_JointRecord(&row), world);
    row.bodyB = &parent;
    EXPECT_EQ(bz_Row_JointRecord(&row), toParent);
    row.bodyB = &other;
    EXPECT_EQ(bz_Row_JointRecord(&row), second);

    bzShape shape = {};
    EXPECT_EQ(bz_Phys_ShapeSubstance(nullptr, &a), 7);
    EXPECT_EQ(bz_Phys_ShapeSubstance(&shape, &a), 7);
    shape.userWord = 12;
    EXPECT_EQ(bz_Phys_ShapeSubstance(&shape, &a), 12);
}
} // namespace
