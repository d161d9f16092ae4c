#include "scene/Lump.h"

#include "maths/Matrix.h"
#include "maths/Vector.h"

#include "support/FakeScene.h"

#include <gtest/gtest.h>

namespace
{
constexpr float kTolerance = 1e-5f;

void ExpectMatrixNear(const bzM34 &m, const float (&expected)[12])
{
    for (int i = 0; i < 4; i++)
        for (int j = 0; j < 3; j++)
            EXPECT_NEAR(m.row[i].v[j], expected[i * 3 + j], kTolerance)
                << "row " << i << " col " << j;
}

void ExpectV3Near(const bzV3 &v, float x, float y, float z)
{
    EXPECT_NEAR(v.x, x, kTolerance);
    EXPECT_NEAR(v.y, y, kTolerance);
    EXPECT_NEAR(v.z, z, kTolerance);
}

// world: translated (10, 0, 0); parent below it: turned 90 degrees about z, then moved by
// (1, 2, 3); child below the parent: moved by (1, 0, 0).
struct Chain
{
    bzLump *world = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "World");
    bzLump *parent = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "parent");
    bzLump *child = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "child");
    Chain()
    {
        bz_M34_Translation(&world->matrix, 10, 0, 0);
        bz_M34_RotationZ(&parent->matrix, 90.0f);
        bz_M34_SetTranslation(&parent->matrix, 1, 2, 3);
        bz_M34_Translation(&child->matrix, 1, 0, 0);
        bz_Lump_Attach(world, parent);
        bz_Lump_Attach(parent, child);
    }
    ~Chain() { bz_Lump_DestroyTree(world); }
};

TEST(LumpMatrix, RelativeMatrixToItselfIsIdentity)
{
    Chain c;
    for (bzLump *lump : {c.world, c.parent, c.child})
    {
        bzM34 m;
        bz_Lump_GetRelativeMatrix(&m, lump, lump);
        ExpectMatrixNear(m, {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0});
    }
    bzM34 m;
    bz_Lump_GetRelativeMatrix(&m, nullptr, nullptr);
    ExpectMatrixNear(m, {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0});
}

TEST(LumpMatrix, ChainsIntoTheWorldAndBetweenLumps)
{
    Chain c;
    bzM34 m;
    // The child's origin: (1, 0, 0) turned to (0, 1, 0), plus (1, 2, 3), plus (10, 0, 0).
    bz_Lump_GetRelativeMatrix(&m, c.child, nullptr);
    ExpectMatrixNear(m, {0, 1, 0, -1, 0, 0, 0, 0, 1, 11, 3, 3});
    bzV3 p;
    const bzV3 local = {{{0, 0, 1}}};
    bz_Lump_PointToWorld(c.child, &local, &p);
    ExpectV3Near(p, 11, 3, 4);
    const bzV3 x = {{{1, 0, 0}}};
    bz_Lump_DirectionToWorld(c.child, &x, &p);
    ExpectV3Near(p, 0, 1, 0);

    // From the world into the child and between the child and the world lump.
    bz_Lump_GetRelativeMatrix(&m, nullptr, c.child);
    const bzV3 worldPoint = {{{11, 3, 3}}};
    bz_M34_TransformPointInto(&m, &p, &worldPoint);
    ExpectV3Near(p, 0, 0, 0);
    bz_Lump_GetRelativeMatrix(&m, c.child, c.world);
    ExpectMatrixNear(m, {0, 1, 0, -1, 0, 0, 0, 0, 1, 1, 3, 3});
    bz_Lump_GetRelativeMatrix(&m, c.world, c.child);
    const bzV3 parentOrigin = {{{1, 2, 3}}};
    bz_M34_TransformPointInto(&m, &p, &parentOrigin);
    ExpectV3Near(p, -1, 0, 0);

    // Between two branches: a sibling of the parent at (0, 5, 0) below the world lump.
    bzLump *other = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "other");
    bz_M34_Translation(&other->matrix, 0, 5, 0);
    bz_Lump_Attach(c.world, other);
    bz_Lump_GetRelativeMatrix(&m, c.child, other);
    ExpectMatrixNear(m, {0, 1, 0, -1, 0, 0, 0, 0, 1, 1, -2, 3});
}

TEST(LumpMatrix, WorldRelativeLumpEndsTheChain)
{
    Chain c;
    bz_M34_Translation(&c.child->matrix, 7, 8, 9);
    c.child->flags |= BZ_LUMP_WORLD;
    bzM34 m;
    bz_Lump_GetRelativeMatrix(&m, c.child, nullptr);
    ExpectMatrixNear(m, {1, 0, 0, 0, 1, 0, 0, 0, 1, 7, 8, 9});
    // A lump below it starts from its world transform.
    bzLump *below = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "below");
    bz_M34_Translation(&below->matrix, 0, 0, 1);
    bz_Lump_Attach(c.child, below);
    bz_Lump_GetRelativeMatrix(&m, below, nullptr);
    ExpectMatrixNear(m, {1, 0, 0, 0, 1, 0, 0, 0, 1, 7, 8, 10});
    // Into the parent's space: world (7, 8, 9) less (10, 0, 0), less (1, 2, 3), turned back.
    bz_Lump_GetRelativeMatrix(&m, c.child, c.parent);
    ExpectMatrixNear(m, {0, -1, 0, 1, 0, 0, 0, 0, 1, 6, 4, 6});
}

TEST(LumpMatrix, SwitchingModesKeepsTheWorldPlaceAndIsRecorded)
{
    FakeDynamics dynamics;
    Chain c;
    EXPECT_EQ(bz_Lump_MakeMatrixWorld(c.child), 0);
    EXPECT_EQ(c.child->flags & 0x40000000, 0x40000000u);
    ExpectMatrixNear(c.child->matrix, {0, 1, 0, -1, 0, 0, 0, 0, 1, 11, 3, 3});
    // Moving the parents now leaves the child where it is.
    bz_M34_Translation(&c.world->matrix, 100, 0, 0);
    bzM34 m;
    bz_Lump_GetRelativeMatrix(&m, c.child, nullptr);
    ExpectMatrixNear(m, {0, 1, 0, -1, 0, 0, 0, 0, 1, 11, 3, 3});
    EXPECT_EQ(bz_Lump_MakeMatrixWorld(c.child), 0); // already world-relative: no change

    EXPECT_EQ(bz_Lump_MakeMatrixRelative(c.child), 0);
    EXPECT_EQ(c.child->flags & 0x40000000, 0u);
    // (11, 3, 3) less (100, 0, 0), less (1, 2, 3), turned back by 90 degrees.
    ExpectMatrixNear(c.child->matrix, {1, 0, 0, 0, 1, 0, 0, 0, 1, 1, 90, 0});
    bz_Lump_GetRelativeMatrix(&m, c.child, nullptr);
    ExpectMatrixNear(m, {0, 1, 0, -1, 0, 0, 0, 0, 1, 11, 3, 3});
    EXPECT_EQ(bz_Lump_MakeMatrixRelative(c.child), 0);

    ASSERT_EQ(dynamics.sessions.size(), 1u);
    EXPECT_EQ(dynamics.sessions[0].name, "MAKE_MATRIX_GLOBAL");
    ASSERT_EQ(dynamics.events.size(), 2u);
    EXPECT_EQ(dynamics.events[0].data.lump, c.child);
    EXPECT_EQ(dynamics.events[0].data.world, 1);
    EXPECT_EQ(dynamics.events[1].data.world, 0);
}

TEST(LumpMatrix, BoundLumpReadsTheControllerAttribute)
{
    FakeDynamics dynamics;
    bzLump *lump = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "body");
    FakeElement element = {};
    bz_M34_Translation(&element.attribute, 3, 3, 3);
    element.currentClass = 1;
    FakeBody body = {};
    lump->dynamicsElement = &element;
    lump->dynamicsObject = &body;
    EXPECT_EQ(bz_Lump_GetMatrix(lump), &element.attribute);
    EXPECT_EQ(element.announced, 1);
    body.overrideWord = 1;
    EXPECT_EQ(bz_Lump_GetMatrix(lump), &lump->matrix);
    body.overrideWord = 0;
    element.currentClass = 0;
    EXPECT_EQ(bz_Lump_GetMatrix(lump), &lump->matrix);
    element.currentClass = 1;
    bzV3 p;
    const bzV3 origin = {{{0, 0, 0}}};
    bz_Lump_PointToWorld(lump, &origin, &p);
    ExpectV3Near(p, 3, 3, 3);

    bz_Lump_Destroy(lump);
    EXPECT_EQ(dynamics.calls, (std::vector<std::string>{"links", "mechanics", "element"}));
}

TEST(LumpMatrix, MirrorFlagFollowsTheDeterminant)
{
    bzLump *lump = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "m");
    struct Case
    {
        uint32_t axes;
        uint32_t mirrored;
    };
    // Applied one after another to the same matrix.
    const Case cases[] = {{1, 2}, {2, 0}, {4, 2}, {7, 0}, {0, 0}};
    for (const Case &c : cases)
    {
        EXPECT_EQ(bz_Lump_SetMirror(lump, c.axes), 0);
        EXPECT_EQ(lump->flags & 2, c.mirrored) << c.axes;
    }
    ExpectMatrixNear(lump->matrix, {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0});
    bz_Lump_Destroy(lump);
}

TEST(LumpMatrix, WalkHandsEachLumpItsTransformIntoTheRoot)
{
    Chain c;
    bzLump *free = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "free");
    bz_M34_Translation(&free->matrix, 20, 0, 0);
    free->flags |= BZ_LUMP_WORLD;
    bz_Lump_Attach(c.parent, free);
    struct Seen
    {
        std::vector<std::string> names;
        std::vector<bzV3> origins;
    } seen;
    bz_Lump_WalkFromRoot(
        c.world,
        [](bzLump *lump, const bzM34 *m, void *user) -> intptr_t
        {
            Seen *s = (Seen *)user;
            s->names.push_back(lump->name);
            s->origins.push_back(m->row[3]);
            return 0;
        },
        &seen);
    ASSERT_EQ(seen.names, (std::vector<std::string>{"World", "parent", "free", "child"}));
    ExpectV3Near(seen.origins[0], 0, 0, 0);
    ExpectV3Near(seen.origins[1], 1, 2, 3);
    ExpectV3Near(seen.origins[2], 10, 0, 0); // world (20, 0, 0) in the root's space
    ExpectV3Near(seen.origins[3], 1, 3, 3);

    const bzV3 offset = {{{1, 1, 1}}};
    bz_Lump_OffsetTree(c.parent, &offset);
    ExpectV3Near(c.parent->matrix.row[3], 2, 3, 4);
    ExpectV3Near(c.child->matrix.row[3], 2, 1, 1);
    ExpectV3Near(c.world->matrix.row[3], 10, 0, 0);
}
} // namespace
