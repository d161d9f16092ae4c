// The shape pair table and its dispatchers, point containment, the sphere, capsule and box
// pair tests against a double-precision distance oracle, and the half-space pair tests.
#include "PairTestShapes.h"
#include "collision/PairTests.h"
#include "collision/ShapeGeometry.h"
#include "collision/ShapePair.h"

#include <gtest/gtest.h>

#include <chrono>
#include <limits>
#include <string>

using namespace pairtest;

namespace
{
const bzShape *First(const FormPtr &f)
{
    return f->firstShape;
}

int32_t Hit(const FormPtr &a, const bzM34 *pa, const FormPtr &b, const bzM34 *pb)
{
    return bz_Form_IntersectForm(a.get(), pa, b.get(), pb);
}

TEST(ShapePairTable, SupportedPairsAreTheLowerTriangleLessTheUnsupportedOnes)
{
    // Row 10 has no test against WireFrame, Cuboid or the half-spaces; rows 0 and 11 and
    // column 0 are empty.
    auto supported = [](int row, int column)
    {
        if (row < 1 || row > 10 || column < 1 || column > row)
            return false;
        return !(row == 10 && (column == 3 || column == 7 || column == 8 || column == 9));
    };
    for (int row = 0; row < 12; row++)
        for (int column = 0; column < 12; column++)
            EXPECT_EQ(bzShapePairTable[12 * row + column] != nullptr, supported(row, column))
                << row << " " << column;
    // One algorithm under several names.
    EXPECT_EQ(bzShapePairTable[12 * 2 + 1], &IntersectPolyhedronAlignedCuboid);
    EXPECT_EQ(bzShapePairTable[12 * 4 + 3], &IntersectPolyhedra);
    EXPECT_EQ(bzShapePairTable[12 * 7 + 3], &IntersectCuboidPolyhedron);
    EXPECT_EQ(bzShapePairTable[12 * 8 + 7], &IntersectAlignedHalfSpaceCuboid);
    EXPECT_EQ(bzShapePairTable[12 * 9 + 8], &IntersectHalfSpaceAlignedHalfSpace);
    EXPECT_EQ(bzShapePairTable[12 * 10 + 4], &IntersectRoundedPolyhedronPolyhedron);
}

TEST(ShapePairDispatch, HigherKindTakesTheRowAndEqualKindsPutFormBThere)
{
    FormPtr sphere = Sphere(V(0, 0, 0), 1.0f);
    FormPtr box = AlignedCuboid(V(0, 0, 0), V(1, 1, 1));
    const bzM34 shift = Translation(0.5f, 0, 0);
    ASSERT_EQ(Hit(box, nullptr, sphere, &shift), 1);
    EXPECT_EQ(bzgPairHigher, First(sphere));
    EXPECT_EQ(bzgPairLower, First(box));
    ASSERT_EQ(Hit(sphere, &shift, box, nullptr), 1);
    EXPECT_EQ(bzgPairHigher, First(sphere));

    FormPtr other = Sphere(V(0, 0, 0), 1.0f);
    ASSERT_EQ(Hit(sphere, nullptr, other, &shift), 1);
    EXPECT_EQ(bzgPairHigher, First(other));
    ASSERT_EQ(Hit(other, nullptr, sphere, &shift), 1);
    EXPECT_EQ(bzgPairHigher, First(sphere));

    // IntersectShapePair: the first is the higher when the second's kind is not above it.
    const bzM34 back = Translation(-0.5f, 0, 0);
    EXPECT_EQ(IntersectShapePair(First(sphere), First(other), &back, &shift), 1);
    EXPECT_EQ(bzgPairHigher, First(sphere));
    EXPECT_EQ(bzgPairHigherToLower, &back);
    EXPECT_EQ(IntersectShapePair(First(box), First(sphere), &shift, &back), 1);
    EXPECT_EQ(bzgPairHigher, First(sphere));
    EXPECT_EQ(bzgPairHigherToLower, &back);
    EXPECT_EQ(bzgPairLowerToHigher, &shift);
}

TEST(ShapePairDispatch, BoundsPreTestTouchingFacesAndUnboundedForms)
{
    FormPtr a = AlignedCuboid(V(0, 0, 0), V(1, 1, 1));
    FormPtr b = AlignedCuboid(V(1, 0, 0), V(2, 1, 1)); // shares the face x = 1
    EXPECT_EQ(Hit(a, nullptr, b, nullptr), 1);
    const bzM34 apart = Translation(0.001f, 0, 0);
    EXPECT_EQ(Hit(a, nullptr, b, &apart), 0);

    // A half-space form has no bounds of its own; the pre-test is skipped for it.
    FormPtr ground = HalfSpace(V(0, 1, 0), 0.0f);
    EXPECT_TRUE(ground->flags & BZ_FORM_UNBOUNDED);
    FormPtr far = Sphere(V(1000, -50, 1000), 1.0f);
    EXPECT_EQ(Hit(ground, nullptr, far, nullptr), 1);
    EXPECT_EQ(Hit(far, nullptr, ground, nullptr), 1);
    FormPtr above = Sphere(V(1000, 50, 1000), 1.0f);
    EXPECT_EQ(Hit(ground, nullptr, above, nullptr), 0);

    // Empty and null forms.
    FormPtr empty(bz_Form_Alloc(nullptr, BZ_SHAPE_NULL));
    bz_Form_CalcBounds(empty.get(), 1);
    EXPECT_EQ(Hit(empty, nullptr, a, nullptr), 0);
    EXPECT_EQ(bz_Form_IntersectForm(nullptr, nullptr, a.get(), nullptr), 0);
}

TEST(ShapePairDispatch, FormChainsStopAtTheFirstHit)
{
    FormPtr form(bz_Form_Alloc(nullptr, BZ_SHAPE_NULL));
    bzShape *s1 = bz_Shape_Create(form.get(), BZ_SHAPE_SPHERE, 0, 0, 0);
    bz_Shape_AsSphere(s1)->centre = V(-10, 0, 0);
    bz_Shape_AsSphere(s1)->radius = 1.0f;
    bzShape *s2 = bz_Shape_Create(form.get(), BZ_SHAPE_SPHERE, 0, 0, 0);
    bz_Shape_AsSphere(s2)->centre = V(10, 0, 0);
    bz_Shape_AsSphere(s2)->radius = 1.0f;
    FormAppendShape(form.get(), s1);
    FormAppendShape(form.get(), s2);
    bz_Form_CalcBounds(form.get(), 1);
    FormPtr probe = AlignedCuboid(V(9.5f, -0.5f, -0.5f), V(10.5f, 0.5f, 0.5f));
    EXPECT_EQ(Hit(form, nullptr, probe, nullptr), 1);
    EXPECT_EQ(bzgPairHigher, s2);
    const bzM34 middle = Translation(-10, 0, 0);
    EXPECT_EQ(Hit(form, nullptr, probe, &middle), 0);
}

// The boundary cases: each pair placed exactly at contact or just beyond.
TEST(ShapePairBoundaries, ExactContactTable)
{
    struct Case
    {
        const char *name;
        FormPtr a, b;
        int32_t expected;
    };
    const bzM34 tilt = []
    {
        bzM34 m = Identity();
        const float c = std::cos(0.01f), s = std::sin(0.01f);
        m.row[1] = V(-s, c, 0);
        m.row[0] = V(c, s, 0);
        return m;
    }();
    FormPtr tilted =
        MakeForm(BZ_SHAPE_HALF_SPACE,
                 [&](bzShape *s)
                 {
                     bz_Shape_AsHalfSpace(s)->plane = {tilt.row[1], -1.0f};
                     bz_Shape_AsHalfSpace(s)->plane.n.x = -bz_Shape_AsHalfSpace(s)->plane.n.x;
                     bz_Shape_AsHalfSpace(s)->plane.n.y = -bz_Shape_AsHalfSpace(s)->plane.n.y;
                 });
    Case cases[] = {
        {"spheres exactly touching", Sphere(V(0, 0, 0), 1.0f), Sphere(V(2, 0, 0), 1.0f), 0},
        {"spheres overlapping", Sphere(V(0, 0, 0), 1.0f), Sphere(V(1.99f, 0, 0), 1.0f), 1},
        {"capsule end spheres touching in line", TicTac(V(-2, 0, 0), V(0, 0, 0), 0.5f),
         TicTac(V(1, 0, 0), V(3, 0, 0), 0.5f), 1},
        {"capsule end spheres touching across", TicTac(V(0, -2, 0), V(0, 0, 0), 0.5f),
         TicTac(V(1, 0, 0), V(3, 0, 0), 0.5f), 1},
        {"capsule and sphere end touching", TicTac(V(-2, 0, 0), V(0, 0, 0), 0.5f),
         Sphere(V(1, 0, 0), 0.5f), 1},
        {"parallel capsules side by side", TicTac(V(0, 0, 0), V(4, 0, 0), 0.5f),
         TicTac(V(1, 0.9f, 0), V(3, 0.9f, 0), 0.5f), 1},
        {"parallel capsules apart", TicTac(V(0, 0, 0), V(4, 0, 0), 0.5f),
         TicTac(V(1, 1.1f, 0), V(3, 1.1f, 0), 0.5f), 0},
        {"point sphere on a box face", AlignedCuboid(V(0, 0, 0), V(1, 1, 1)),
         Sphere(V(1, 0.5f, 0.5f), 0.0f), 0},
        {"sphere just into a box face", AlignedCuboid(V(0, 0, 0), V(1, 1, 1)),
         Sphere(V(1.5f, 0.5f, 0.5f), 0.5001f), 1},
        {"capsule inside a box", AlignedCuboid(V(0, 0, 0), V(4, 4, 4)),
         TicTac(V(1, 1, 1), V(2, 2, 2), 0.1f), 1},
        {"capsule past a box corner", AlignedCuboid(V(0, 0, 0), V(1, 1, 1)),
         TicTac(V(1.3f, 0.5f, 1.3f), V(0.5f, 1.3f, 1.3f), 0.3f), 1},
        {"capsule clear of a box corner", AlignedCuboid(V(0, 0, 0), V(1, 1, 1)),
         TicTac(V(1.3f, 0.5f, 1.3f), V(0.5f, 1.3f, 1.3f), 0.1f), 0},
        {"opposite half-spaces with a gap", HalfSpace(V(0, 1, 0), 0.0f),
         HalfSpace(V(0, -1, 0), -1.0f), 0},
        {"opposite half-spaces on one plane", HalfSpace(V(0, 1, 0), 0.0f),
         HalfSpace(V(0, -1, 0), 0.0f), 1},
        {"half-spaces tilted across the gap", HalfSpace(V(0, 1, 0), 0.0f), std::move(tilted), 1},
        {"opposite aligned half-spaces with a gap", AlignedHalfSpace(BZ_DIRECTION_Y_PLUS, 0.0f),
         AlignedHalfSpace(BZ_DIRECTION_Y_MINUS, -1.0f), 0},
        {"opposite aligned half-spaces meeting", AlignedHalfSpace(BZ_DIRECTION_Y_PLUS, 0.0f),
         AlignedHalfSpace(BZ_DIRECTION_Y_MINUS, 0.0f), 1},
        {"aligned and plain half-space apart", AlignedHalfSpace(BZ_DIRECTION_Z_MINUS, -2.0f),
         HalfSpace(V(0, 0, 1), 1.0f), 0},
        {"same-facing half-spaces", AlignedHalfSpace(BZ_DIRECTION_Y_PLUS, -100.0f),
         HalfSpace(V(0, 1, 0), 100.0f), 1},
        {"sphere on a half-space plane", HalfSpace(V(0, 1, 0), 0.0f), Sphere(V(3, 1, 0), 1.0f), 1},
        {"sphere above a half-space", HalfSpace(V(0, 1, 0), 0.0f), Sphere(V(3, 1.01f, 0), 1.0f), 0},
        {"capsule end sphere below an aligned half-space",
         AlignedHalfSpace(BZ_DIRECTION_Y_PLUS, 0.0f), TicTac(V(0, 0.4f, 0), V(5, 3, 0), 0.5f), 1},
        {"capsule above an aligned half-space", AlignedHalfSpace(BZ_DIRECTION_Y_PLUS, 0.0f),
         TicTac(V(0, 0.6f, 0), V(5, 3, 0), 0.5f), 0},
        {"XMinus against a straddling box", AlignedHalfSpace(BZ_DIRECTION_X_MINUS, 2.0f),
         AlignedCuboid(V(-3, 0, 0), V(-1, 1, 1)), 1},
        {"XMinus against a box beyond it", AlignedHalfSpace(BZ_DIRECTION_X_MINUS, 2.0f),
         AlignedCuboid(V(-5, 0, 0), V(-3, 1, 1)), 0},
        {"polyhedron vertex on a half-space plane", HalfSpace(V(0, 1, 0), 0.0f),
         Hull(BZ_SHAPE_POLYHEDRON, {V(0, 0, 0), V(1, 1, 0), V(-1, 1, 0), V(0, 1, 1)}), 1},
        {"polyhedron above a half-space", HalfSpace(V(0, 1, 0), -0.001f),
         Hull(BZ_SHAPE_POLYHEDRON, {V(0, 0, 0), V(1, 1, 0), V(-1, 1, 0), V(0, 1, 1)}), 0},
        {"crushable against a sphere", CrushableCuboid(V(0, 0, 0), V(1, 1, 1)),
         Sphere(V(0.5f, 0.5f, 0.5f), 1.0f), 0},
        {"crushable against a box", CrushableCuboid(V(0, 0, 0), V(1, 1, 1)),
         AlignedCuboid(V(0, 0, 0), V(1, 1, 1)), 0},
        {"crushable against a half-space", CrushableCuboid(V(0, 0, 0), V(1, 1, 1)),
         HalfSpace(V(0, 1, 0), 5.0f), 0},
        {"crushable against a crushable", CrushableCuboid(V(0, 0, 0), V(1, 1, 1)),
         CrushableCuboid(V(0, 0, 0), V(1, 1, 1)), 0},
        {"rounded polyhedron against a cuboid",
         Hull(BZ_SHAPE_ROUNDED_POLYHEDRON, BoxPoints(V(0, 0, 0), V(1, 1, 1))),
         Cuboid(V(0, 0, 0), V(1, 1, 1), Identity()), 0},
        {"cuboid against a polyhedron", Cuboid(V(0, 0, 0), V(1, 1, 1), Identity()),
         Hull(BZ_SHAPE_POLYHEDRON, BoxPoints(V(0.5f, 0.5f, 0.5f), V(2, 2, 2))), 1},
    };
    for (Case &c : cases)
    {
        ASSERT_TRUE(c.a && c.b) << c.name;
        EXPECT_EQ(Hit(c.a, nullptr, c.b, nullptr), c.expected) << c.name;
        EXPECT_EQ(Hit(c.b, nullptr, c.a, nullptr), c.expected) << c.name << " (swapped)";
    }
}

// Moving both forms by one placement changes nothing.
TEST(ShapePairBoundaries, CommonPlacementKeepsTheAnswer)
{
    std::mt19937 rng(17);
    FormPtr a = TicTac(V(-2, 0, 0), V(0, 0, 0), 0.5f);
    FormPtr b = Cuboid(V(0, -1, -1), V(2, 1, 1), Translation(0.4f, 0, 0));
    for (int i = 0; i < 20; i++)
    {
        const bzM34 m = RandomPlacement(rng, 5.0f);
        EXPECT_EQ(Hit(a, &m, b, &m), 1);
        const bzM34 moved = [&]
        {
            bzM34 r = m;
            r.row[3].x += 10.0f;
            return r;
        }();
        EXPECT_EQ(Hit(a, &m, b, &moved), 0);
    }
}

// About a thousand random placements per pair of the simple kinds against the oracle, outside
// a band of 1e-4 round contact.
TEST(ShapePairOracle, SimpleKindPairsAgreeWithDistanceOracle)
{
    std::mt19937 rng(2024);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f), size(0.05f, 1.0f);
    auto randomForm = [&](bzShapeKind kind) -> FormPtr
    {
        switch (kind)
        {
        case BZ_SHAPE_ALIGNED_CUBOID:
        {
            const bzV3 lo = V(0.5f * u(rng) - 0.5f, 0.5f * u(rng) - 0.5f, 0.5f * u(rng) - 0.5f);
            return AlignedCuboid(lo, V(lo.x + size(rng), lo.y + size(rng), lo.z + size(rng)));
        }
        case BZ_SHAPE_SPHERE: return Sphere(V(u(rng), u(rng), u(rng)), size(rng));
        case BZ_SHAPE_TIC_TAC:
            // Every tenth capsule has no length.
            {
                const bzV3 a = V(u(rng), u(rng), u(rng));
                const bzV3 b = rng() % 10 == 0 ? a : V(u(rng), u(rng), u(rng));
                return TicTac(a, b, size(rng) * 0.5f);
            }
        default:
        {
            const bzV3 lo = V(0.5f * u(rng) - 0.5f, 0.5f * u(rng) - 0.5f, 0.5f * u(rng) - 0.5f);
            return Cuboid(lo, V(lo.x + size(rng), lo.y + size(rng), lo.z + size(rng)),
                          RandomPlacement(rng, 0.3f));
        }
        }
    };
    const bzShapeKind kinds[] = {BZ_SHAPE_ALIGNED_CUBOID, BZ_SHAPE_SPHERE, BZ_SHAPE_TIC_TAC,
                                 BZ_SHAPE_CUBOID};
    for (bzShapeKind ka : kinds)
        for (bzShapeKind kb : kinds)
        {
            if (kb > ka)
                continue;
            int hits = 0, misses = 0, disagreements = 0;
            for (int i = 0; i < 1000; i++)
            {
                FormPtr a = randomForm(ka), b = randomForm(kb);
                const bzM34 pa = RandomPlacement(rng, 0.8f), pb = RandomPlacement(rng, 0.8f);
                const double clearance = Clearance(Oracle(First(a), pa), Oracle(First(b), pb));
                const int32_t got = bz_Shape_IntersectShape(First(a), &pa, First(b), &pb);
                EXPECT_EQ(got, bz_Shape_IntersectShape(First(b), &pb, First(a), &pa));
                if (std::fabs(clearance) < 1e-4)
                    continue;
                const int32_t expected = clearance < 0.0 ? 1 : 0;
                (expected ? hits : misses)++;
                if (got != expected && ++disagreements <= 3)
                    ADD_FAILURE() << "kinds " << ka << " " << kb << " case " << i << " clearance "
                                  << clearance << " got " << got;
            }
            EXPECT_EQ(disagreements, 0) << "kinds " << ka << " " << kb;
            // Both outcomes must be well represented for the check to mean something.
            EXPECT_GT(hits, 50) << ka << " " << kb;
            EXPECT_GT(misses, 50) << ka << " " << kb;
        }
}

TEST(ShapePairBadInput, NotFinitePlacementsAndBadHalfSpacesGiveNoContact)
{
    FormPtr a = Sphere(V(0, 0, 0), 1.0f);
    FormPtr b = Sphere(V(0.5f, 0, 0), 1.0f);
    bzM34 nan = Identity();
    nan.row[3].x = std::numeric_limits<float>::quiet_NaN();
    bzM34 inf = Identity();
    inf.row[0].y = std::numeric_limits<float>::infinity();
    EXPECT_EQ(Hit(a, nullptr, b, nullptr), 1);
    EXPECT_EQ(Hit(a, &nan, b, nullptr), 0);
    EXPECT_EQ(Hit(a, nullptr, b, &inf), 0);
    EXPECT_EQ(bz_Shape_IntersectShape(First(a), &nan, First(b), nullptr), 0);
    EXPECT_EQ(IntersectShapePair(First(a), First(b), &nan, &nan), 0);

    // A direction outside 0 to 5 (written after creation) never touches anything.
    FormPtr bad = AlignedHalfSpace(BZ_DIRECTION_Y_PLUS, 0.0f);
    bz_Shape_AsHalfSpace(bad->firstShape)->direction = 6;
    FormPtr below = Sphere(V(0, -5, 0), 1.0f);
    FormPtr box = AlignedCuboid(V(-1, -1, -1), V(1, 1, 1));
    FormPtr ground = HalfSpace(V(0, 1, 0), 0.0f);
    EXPECT_EQ(Hit(bad, nullptr, below, nullptr), 0);
    EXPECT_EQ(Hit(bad, nullptr, box, nullptr), 0);
    EXPECT_EQ(Hit(bad, nullptr, ground, nullptr), 0);
    EXPECT_EQ(Hit(bad, nullptr, bad, nullptr), 0);

    // A plane normal that is not unit length acts as its unit plane; one of no length as
    // nothing.
    FormPtr scaled = HalfSpace(V(0, 2, 0), 2.0f); // y <= 1
    EXPECT_EQ(Hit(scaled, nullptr, Sphere(V(0, 1.9f, 0), 1.0f), nullptr), 1);
    EXPECT_EQ(Hit(scaled, nullptr, Sphere(V(0, 2.1f, 0), 1.0f), nullptr), 0);
    EXPECT_EQ(Hit(scaled, nullptr, HalfSpace(V(0, -1, 0), -1.5f), nullptr), 0);
    FormPtr flat = HalfSpace(V(0, 0, 0), 1.0f);
    EXPECT_EQ(Hit(flat, nullptr, box, nullptr), 0);
}

// ---------------------------------------------------------------------------------------------
// Containment

struct PointCase
{
    bzV3 p;
    int32_t inside;
};

void ExpectContains(const FormPtr &form, std::initializer_list<PointCase> cases, const char *name)
{
    ASSERT_TRUE(form) << name;
    for (const PointCase &c : cases)
    {
        EXPECT_EQ(bz_Shape_ContainsPoint(First(form), &c.p), c.inside)
            << name << " (" << c.p.x << ", " << c.p.y << ", " << c.p.z << ")";
        EXPECT_EQ(bz_Form_ContainsPoint(form.get(), &c.p), c.inside) << name;
    }
}

TEST(ShapeContainment, PerKindTables)
{
    ExpectContains(AlignedCuboid(V(0, 0, 0), V(1, 2, 3)),
                   {{V(0.5f, 1, 1), 1},
                    {V(1, 2, 3), 1},
                    {V(0, 1, 1), 1},
                    {V(1.001f, 1, 1), 0},
                    {V(0.5f, -0.001f, 1), 0}},
                   "AlignedCuboid");
    ExpectContains(Hull(BZ_SHAPE_POLYHEDRON, BoxPoints(V(0, 0, 0), V(1, 1, 1))),
                   {{V(0.5f, 0.5f, 0.5f), 1}, {V(1, 0.5f, 0.5f), 1}, {V(1.01f, 0.5f, 0.5f), 0}},
                   "Polyhedron");
    ExpectContains(Hull(BZ_SHAPE_WIRE_FRAME, BoxPoints(V(0, 0, 0), V(1, 1, 1))),
                   {{V(0.5f, 0.5f, 0.5f), 0}}, "WireFrame");
    ExpectContains(Hull(BZ_SHAPE_POLYGON, {V(0, 0, 0), V(1, 0, 0), V(0, 1, 0)}),
                   {{V(0.2f, 0.2f, 0), 0}}, "Polygon");
    ExpectContains(Sphere(V(1, 1, 1), 2.0f),
                   {{V(1, 1, 1), 1}, {V(3, 1, 1), 1}, {V(3.01f, 1, 1), 0}}, "Sphere");
    ExpectContains(TicTac(V(0, 0, 0), V(4, 0, 0), 1.0f),
                   {{V(2, 1, 0), 1},
                    {V(5, 0, 0), 1},
                    {V(-0.6f, 0.8f, 0), 1},
                    {V(2, 1.01f, 0), 0},
                    {V(5.01f, 0, 0), 0}},
                   "TicTac");
    bzM34 turned = Identity(); // a quarter turn about z, then moved by (10, 0, 0)
    turned.row[0] = V(0, 1, 0);
    turned.row[1] = V(-1, 0, 0);
    turned.row[3] = V(10, 0, 0);
    ExpectContains(Cuboid(V(0, 0, 0), V(2, 1, 1), turned),
                   {{V(9.5f, 1, 0.5f), 1},
                    {V(10, 2, 1), 1},
                    {V(9, 0, 0), 1},
                    {V(11, 1, 0.5f), 0},
                    {V(9.5f, 2.01f, 0.5f), 0}},
                   "Cuboid");
    ExpectContains(AlignedHalfSpace(BZ_DIRECTION_X_MINUS, 2.0f),
                   {{V(-1.9f, 0, 0), 1}, {V(-2, 0, 0), 0}, {V(-2.1f, 0, 0), 0}, {V(5, 0, 0), 1}},
                   "AlignedHalfSpace XMinus");
    ExpectContains(AlignedHalfSpace(BZ_DIRECTION_Z_PLUS, 1.0f),
                   {{V(0, 0, 0.9f), 1}, {V(0, 0, 1), 0}, {V(0, 0, -7), 1}},
                   "AlignedHalfSpace ZPlus");
    ExpectContains(HalfSpace(V(0, 1, 0), 1.0f),
                   {{V(0, 0.99f, 0), 1}, {V(5, 1, 5), 0}, {V(0, 1.01f, 0), 0}}, "HalfSpace");
    ExpectContains(Hull(BZ_SHAPE_ROUNDED_POLYHEDRON, BoxPoints(V(0, 0, 0), V(1, 1, 1)), 0.5f),
                   {{V(0.5f, 0.5f, 0.5f), 1},
                    {V(1.49f, 0.5f, 0.5f), 1},
                    {V(1.51f, 0.5f, 0.5f), 0},
                    {V(1.3f, 1.3f, 0.5f), 1},
                    {V(1.4f, 1.4f, 0.5f), 0}},
                   "RoundedPolyhedron");
    ExpectContains(CrushableCuboid(V(0, 0, 0), V(1, 1, 1)), {{V(0.5f, 0.5f, 0.5f), 0}},
                   "CrushableCuboid");
    FormPtr bad = AlignedHalfSpace(BZ_DIRECTION_X_PLUS, 0.0f);
    bz_Shape_AsHalfSpace(bad->firstShape)->direction = 9;
    ExpectContains(bad, {{V(-5, 0, 0), 0}}, "bad direction");
}

TEST(ShapeContainment, FormChainAnswersForAnyShape)
{
    FormPtr form(bz_Form_Alloc(nullptr, BZ_SHAPE_NULL));
    bzV3 p = V(0, 0, 0);
    EXPECT_EQ(bz_Form_ContainsPoint(form.get(), &p), 0);
    bzShape *s1 = bz_Shape_Create(form.get(), BZ_SHAPE_SPHERE, 0, 0, 0);
    bz_Shape_AsSphere(s1)->radius = 1.0f;
    bzShape *s2 = bz_Shape_Create(form.get(), BZ_SHAPE_ALIGNED_CUBOID, 0, 0, 0);
    *bz_Shape_Bounds(s2) = {V(5, 5, 5), V(6, 6, 6)};
    FormAppendShape(form.get(), s1);
    FormAppendShape(form.get(), s2);
    bz_Form_CalcBounds(form.get(), 1);
    bzV3 inSecond = V(5.5f, 5.5f, 5.5f), nowhere = V(3, 3, 3);
    EXPECT_EQ(bz_Form_ContainsPoint(form.get(), &p), 1);
    EXPECT_EQ(bz_Form_ContainsPoint(form.get(), &inSecond), 1);
    EXPECT_EQ(bz_Form_ContainsPoint(form.get(), &nowhere), 0);
    EXPECT_EQ(bz_Form_ContainsPoint(nullptr, &p), 0);
}
} // namespace

namespace
{
// The world plane of a half-space shape placed by m, in double, unit normal.
void WorldPlane(const bzShape *s, const bzM34 &m, D3 *n, double *d)
{
    bzPlane local;
    ASSERT_TRUE(HalfSpaceUnitPlane(s, &local));
    D3 wn = Turn(m, ToD(local.n));
    const D3 onPlane = Place(m, ToD(local.n) * local.d);
    wn = wn * (1.0 / Length(wn));
    *n = wn;
    *d = Dot(wn, onPlane);
}

// Half-spaces of both kinds against boxes, spheres, tic-tacs and polyhedra at random
// placements: the deepest point of the other shape decides.
TEST(ShapePairOracle, HalfSpacesAgreeWithDeepestPointOracle)
{
    std::mt19937 rng(77);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f), size(0.1f, 1.0f);
    int disagreements = 0, hits = 0, misses = 0;
    for (int i = 0; i < 2000; i++)
    {
        const bool aligned = i % 2 == 0;
        FormPtr h = aligned ? AlignedHalfSpace((uint32_t)(rng() % 6), 0.5f * u(rng))
                            : HalfSpace(V(u(rng), u(rng), u(rng) + 0.01f), 0.5f * u(rng));
        FormPtr other;
        const bzV3 c = V(0.5f * u(rng), 0.5f * u(rng), 0.5f * u(rng));
        switch (i / 2 % 5)
        {
        case 0:
            other = AlignedCuboid(c, V(c.x + size(rng), c.y + size(rng), c.z + size(rng)));
            break;
        case 1: other = Sphere(c, 0.5f * size(rng)); break;
        case 2: other = TicTac(c, V(u(rng), u(rng), u(rng)), 0.3f * size(rng)); break;
        case 3:
            other = Cuboid(c, V(c.x + size(rng), c.y + size(rng), c.z + size(rng)),
                           RandomPlacement(rng, 0.3f));
            break;
        default:
            other =
                Hull(BZ_SHAPE_POLYHEDRON, {c, V(u(rng), u(rng), u(rng)), V(u(rng), u(rng), u(rng)),
                                           V(u(rng), u(rng), u(rng)), V(u(rng), u(rng), u(rng))});
            break;
        }
        if (!other || !other->firstShape || other->firstShape->kind == BZ_SHAPE_POLYGON)
            continue;
        const bzM34 ph = RandomPlacement(rng, 0.8f), po = RandomPlacement(rng, 0.8f);
        D3 n = {};
        double d = 0.0;
        WorldPlane(h->firstShape, ph, &n, &d);
        const bzShape *s = other->firstShape;
        double deepest;
        if (s->kind == BZ_SHAPE_SPHERE || s->kind == BZ_SHAPE_TIC_TAC)
        {
            const OShape o = Oracle(s, po);
            deepest = std::min(Dot(n, o.a), Dot(n, o.b)) - d - o.r;
        }
        else if (s->kind == BZ_SHAPE_POLYHEDRON)
        {
            deepest = 1e300;
            const bzHull *hull = bz_Shape_Hull(s);
            for (int k = 0; k < hull->vertexCount; k++)
                deepest = std::min(deepest, Dot(n, Place(po, ToD(hull->vertices[k]))) - d);
        }
        else
        {
            const OShape o = Oracle(s, po);
            deepest = Dot(n, o.centre) - d - o.half.x * std::fabs(Dot(n, o.axis[0])) -
                      o.half.y * std::fabs(Dot(n, o.axis[1])) -
                      o.half.z * std::fabs(Dot(n, o.axis[2]));
        }
        const int32_t got = bz_Form_IntersectForm(h.get(), &ph, other.get(), &po);
        EXPECT_EQ(got, bz_Form_IntersectForm(other.get(), &po, h.get(), &ph));
        if (std::fabs(deepest) < 1e-4)
            continue;
        const int32_t expected = deepest < 0.0 ? 1 : 0;
        (expected ? hits : misses)++;
        if (got != expected && ++disagreements <= 3)
            ADD_FAILURE() << "case " << i << " kind " << s->kind << " deepest " << deepest;
    }
    EXPECT_EQ(disagreements, 0);
    EXPECT_GT(hits, 300);
    EXPECT_GT(misses, 300);
}
} // namespace

namespace
{
TEST(ShapePlaneQueries, TouchAndStraddleTablesPerKind)
{
    const bzPlane ground = {V(0, 1, 0), 0.0f}; // the solid y <= 0
    struct Case
    {
        const char *name;
        FormPtr form;
        int32_t touches, straddles;
    };
    Case cases[] = {
        {"box across", AlignedCuboid(V(0, -1, 0), V(1, 1, 1)), 1, 1},
        {"box resting on the plane", AlignedCuboid(V(0, 0, 0), V(1, 1, 1)), 1, 1},
        {"box above", AlignedCuboid(V(0, 0.5f, 0), V(1, 1, 1)), 0, 0},
        {"box below", AlignedCuboid(V(0, -3, 0), V(1, -2, 1)), 1, 0},
        {"polyhedron above", Hull(BZ_SHAPE_POLYHEDRON, BoxPoints(V(0, 1, 0), V(1, 2, 1))), 0, 0},
        {"polyhedron across", Hull(BZ_SHAPE_POLYHEDRON, BoxPoints(V(0, -1, 0), V(1, 2, 1))), 1, 1},
        {"cuboid below", Cuboid(V(0, 0, 0), V(1, 1, 1), Translation(0, -5, 0)), 1, 0},
        {"sphere touching from above", Sphere(V(0, 1, 0), 1.0f), 1, 1},
        {"sphere above", Sphere(V(0, 1.5f, 0), 1.0f), 0, 0},
        {"sphere deep below", Sphere(V(0, -5, 0), 1.0f), 1, 0},
        {"tic-tac end dipping", TicTac(V(0, 0.5f, 0), V(0, 5, 0), 0.6f), 1, 1},
        {"tic-tac above", TicTac(V(0, 0.7f, 0), V(0, 5, 0), 0.6f), 0, 0},
        {"opposite half-space apart", HalfSpace(V(0, -1, 0), -1.0f), 0, 0},
        {"tilted half-space", HalfSpace(V(0.6f, -0.8f, 0), -1.0f), 1, 1},
        {"aligned half-space apart", AlignedHalfSpace(BZ_DIRECTION_Y_MINUS, -1.0f), 0, 0},
        {"aligned half-space across", AlignedHalfSpace(BZ_DIRECTION_X_PLUS, 0.0f), 1, 1},
        {"rounded polyhedron",
         Hull(BZ_SHAPE_ROUNDED_POLYHEDRON, BoxPoints(V(0, -1, 0), V(1, 1, 1))), 0, 0},
    };
    for (Case &c : cases)
    {
        ASSERT_TRUE(c.form) << c.name;
        EXPECT_EQ(ShapeTouchesHalfSpace(c.form->firstShape, &ground), c.touches) << c.name;
        EXPECT_EQ(ShapeStraddlesPlane(c.form->firstShape, &ground), c.straddles) << c.name;
        EXPECT_EQ(bz_Form_TouchesHalfSpace(c.form.get(), &ground), c.touches) << c.name;
        EXPECT_EQ(bz_Form_StraddlesPlane(c.form.get(), &ground), c.straddles) << c.name;
    }
}

} // namespace
