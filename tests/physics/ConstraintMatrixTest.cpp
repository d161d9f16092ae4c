// The constraint system matrix: hand-worked entries, one-sided and world rows, partial builds,
// and random row sets against J W J^T computed in double over the bodies' velocities, with and
// without a coupled joint between two of the bodies; large row sets over many bodies against
// their rows built column by column.
#include "maths/Vector.h"
#include "physics/Body.h"
#include "physics/ConstraintMatrix.h"
#include "physics/ConstraintRow.h"
#include "physics/Coupling.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace
{
int Tri(int r)
{
    return r * (r + 1) / 2;
}

bzV3 V(float x, float y, float z)
{
    return bzV3{{{x, y, z}}};
}

BZDObject Body(float inverseMass, bzV3 inverseMoments)
{
    BZDObject b = {};
    b.inverseMass = inverseMass;
    b.inversePrincipalMoments = inverseMoments;
    return b;
}

bzPhysRow Row(BZDObject *a, BZDObject *b, uint32_t type, bzV3 rA, bzV3 nA, bzV3 rB = {},
              bzV3 nB = {})
{
    bzPhysRow r = {};
    r.bodyA = a;
    r.bodyB = b;
    r.type = type;
    r.rA = rA;
    r.nA = nA;
    r.rB = rB;
    r.nB = nB;
    return r;
}

std::vector<float> Build(std::vector<bzPhysRow> &rows)
{
    std::vector<bzPhysRow *> pointers;
    for (auto &r : rows)
        pointers.push_back(&r);
    std::vector<float> m(Tri(static_cast<int>(rows.size())), -7.0f);
    bz_Phys_BuildWholeMatrix(m.data(), pointers.data(), static_cast<int32_t>(rows.size()));
    return m;
}

TEST(ConstraintMatrix, HandWorkedEntries)
{
    BZDObject a = Body(0.5f, V(1, 2, 3));
    BZDObject b = Body(0.25f, V(1, 1, 1));
    struct Case
    {
        const char *name;
        std::vector<bzPhysRow> rows;
        std::vector<float> expected; // packed
    };
    std::vector<Case> cases = {
        // Perpendicular rows through the centre of mass: 1/m on the diagonal, 0 between.
        {"perpendicular",
         {Row(&a, nullptr, 1, V(0, 0, 0), V(1, 0, 0)), Row(&a, nullptr, 1, V(0, 0, 0), V(0, 1, 0))},
         {0.5f, 0.0f, 0.5f}},
        // A lever arm: r = (0,1,0), n = (1,0,0): 1/m + (r x n)^2 / I_z = 0.5 + 3.
        {"lever", {Row(&a, nullptr, 1, V(0, 1, 0), V(1, 0, 0))}, {3.5f}},
        // An angular row about z: I_z^-1 = 3. A push along x at (0,1,0) turns the body about
        // -z at 3 per unit impulse, which the angular row sees as -3.
        {"angular",
         {Row(&a, nullptr, BZ_ROW_ANGULAR_JOINT, V(0, 0, 0), V(0, 0, 1)),
          Row(&a, nullptr, 1, V(0, 1, 0), V(1, 0, 0))},
         {3.0f, -3.0f, 3.5f}},
        // Two bodies: the row's own effective mass is the sum; a row on bodyB alone sees -1/mB.
        {"two bodies",
         {Row(&a, &b, 1, V(0, 0, 0), V(1, 0, 0), V(0, 0, 0), V(1, 0, 0)),
          Row(&b, nullptr, 1, V(0, 0, 0), V(1, 0, 0))},
         {0.75f, -0.25f, 0.25f}},
        // The same as a one-sided row: bodyB counts neither in its row nor in its column.
        {"one sided",
         {Row(&a, &b, BZ_ROW_ONE_SIDED, V(0, 0, 0), V(1, 0, 0), V(0, 0, 0), V(1, 0, 0)),
          Row(&b, nullptr, 1, V(0, 0, 0), V(1, 0, 0))},
         {0.5f, 0.0f, 0.25f}},
        // A world row shares bodyA with a two-body row.
        {"world",
         {Row(&a, nullptr, 1, V(0, 0, 0), V(0, 1, 0)),
          Row(&b, &a, 1, V(0, 0, 0), V(0, 1, 0), V(0, 0, 0), V(0, 1, 0))},
         {0.5f, -0.5f, 0.75f}},
        // A row whose two sides are the same body: each side of row i finds that body as bodyA
        // of row j first, so the column entry counts it once, as bodyA.
        {"same body both sides",
         {Row(&a, &a, 1, V(0, 0, 0), V(1, 0, 0), V(0, 0, 0), V(1, 0, 0)),
          Row(&a, nullptr, 1, V(0, 0, 0), V(1, 0, 0))},
         {0.0f, 0.5f, 0.5f}},
    };
    for (Case &c : cases)
    {
        const std::vector<float> m = Build(c.rows);
        ASSERT_EQ(m.size(), c.expected.size()) << c.name;
        for (size_t k = 0; k < m.size(); ++k)
            EXPECT_NEAR(m[k], c.expected[k], 1e-6) << c.name << " entry " << k;
    }
    // The stored angular responses: wA = I^-1 (rA x nA); wB the same for bodyB.
    std::vector<bzPhysRow> rows = {Row(&a, &b, 1, V(0, 1, 0), V(1, 0, 0), V(0, 0, 2), V(0, 1, 0))};
    Build(rows);
    EXPECT_FLOAT_EQ(rows[0].wA.z, -3.0f);
    EXPECT_FLOAT_EQ(rows[0].wB.x, -2.0f);
    const bzV3 m = bz_Row_BodyBResponse(&rows[0]);
    EXPECT_FLOAT_EQ(m.y, 0.25f);
    EXPECT_FLOAT_EQ(rows[0].couplingA[3], 0.0f);
}

TEST(ConstraintMatrix, AngularRowsAndResponses)
{
    BZDObject a = Body(0.5f, V(1, 2, 3));
    BZDObject b = Body(1.0f, V(4, 5, 6));
    std::vector<bzPhysRow> rows = {
        Row(&a, &b, 1, V(0, 1, 0), V(1, 0, 0), V(1, 0, 0), V(0, 1, 0)),
        Row(&a, &b, BZ_ROW_ANGULAR_JOINT, V(0, 0, 0), V(0, 0, 1), V(0, 0, 0), V(0, 0, 1))};
    const std::vector<float> whole = Build(rows);
    std::vector<bzPhysRow *> pointers = {&rows[0], &rows[1]};
    float row1[2] = {-7, -7};
    bz_Phys_AngularMatrixRow(pointers.data(), 1, row1);
    EXPECT_FLOAT_EQ(row1[0], whole[1]);
    EXPECT_FLOAT_EQ(row1[1], whole[2]);
    // About z on both bodies: 3 + 6. Against the linear row: its push along x at a's (0,1,0)
    // turns a by -3 about z, and its push along -y at b's (1,0,0) turns b by -6, which the
    // angular row (a less b) sees as +6: 3.
    EXPECT_FLOAT_EQ(whole[2], 9.0f);
    EXPECT_FLOAT_EQ(whole[1], 3.0f);
    bzV3 w;
    const bzV3 axis = V(1, 1, 1);
    bz_Phys_AngularResponse(&axis, &b, &w);
    EXPECT_FLOAT_EQ(w.x, 4.0f);
    EXPECT_FLOAT_EQ(w.y, 5.0f);
    EXPECT_FLOAT_EQ(w.z, 6.0f);
}

TEST(ConstraintMatrix, BuildingFromALaterRowLeavesEarlierRowsAlone)
{
    BZDObject a = Body(1.0f, V(1, 1, 1));
    std::vector<bzPhysRow> rows = {Row(&a, nullptr, 1, V(0, 0, 0), V(1, 0, 0)),
                                   Row(&a, nullptr, 1, V(0, 0, 0), V(0, 1, 0)),
                                   Row(&a, nullptr, 1, V(0, 0, 0), V(1, 0, 0))};
    std::vector<bzPhysRow *> pointers = {&rows[0], &rows[1], &rows[2]};
    float m[6] = {-7, -7, -7, -7, -7, -7};
    bz_Phys_BuildContactMatrix(2, m, pointers.data(), 3);
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ(m[k], -7.0f);
    EXPECT_FLOAT_EQ(m[3], 1.0f);
    EXPECT_FLOAT_EQ(m[4], 0.0f);
    EXPECT_FLOAT_EQ(m[5], 1.0f);
    // The earlier rows' stored responses are not touched either.
    EXPECT_EQ(rows[0].wA.x, 0.0f);
    rows[0].wA = V(9, 9, 9);
    bz_Phys_BuildContactMatrix(1, m, pointers.data(), 3);
    EXPECT_EQ(rows[0].wA.x, 9.0f);
}

// --- random rows against the velocity-space reference ----------------------------------------

constexpr int kBodies = 3;

// A row's Jacobian over the bodies' velocities (per body: body-frame linear, then angular).
std::vector<double> Jacobian(const bzPhysRow &r, const BZDObject *bodies)
{
    std::vector<double> g(6 * kBodies, 0.0);
    const bool angular = (r.type & BZ_ROW_ANGULAR) != 0;
    auto side = [&](const BZDObject *body, const bzV3 &p, const bzV3 &n, double sign)
    {
        const int k = static_cast<int>(body - bodies);
        bzV3 arm;
        bz_V3_CrossInto(&p, &n, &arm);
        for (int d = 0; d < 3; ++d)
        {
            if (!angular)
                g[6 * k + d] += sign * n.v[d];
            g[6 * k + 3 + d] += sign * (angular ? n.v[d] : arm.v[d]);
        }
    };
    side(r.bodyA, r.rA, r.nA, 1.0);
    if (r.bodyB && r.type != BZ_ROW_ONE_SIDED)
        side(r.bodyB, r.rB, r.nB, -1.0);
    return g;
}

std::vector<double> InverseMass(const BZDObject *bodies)
{
    std::vector<double> m(6 * kBodies);
    for (int k = 0; k < kBodies; ++k)
        for (int d = 0; d < 3; ++d)
        {
            m[6 * k + d] = bodies[k].inverseMass;
            m[6 * k + 3 + d] = bodies[k].inversePrincipalMoments.v[d];
        }
    return m;
}

bzV3 RandomUnit(std::mt19937 &rng)
{
    std::normal_distribution<float> normal(0.0f, 1.0f);
    bzV3 v = V(normal(rng), normal(rng), normal(rng));
    bz_V3_Normalise(&v);
    return v;
}

bzV3 RandomPoint(std::mt19937 &rng)
{
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    return V(u(rng), u(rng), u(rng));
}

// Random rows between the three bodies (and the world), linear and angular.
std::vector<bzPhysRow> RandomRows(std::mt19937 &rng, BZDObject *bodies, int count, bool oneSided)
{
    std::vector<bzPhysRow> rows;
    for (int i = 0; i < count; ++i)
    {
        const int a = static_cast<int>(rng() % kBodies);
        int b = static_cast<int>(rng() % (kBodies + 1)) - 1; // -1: the world
        if (b == a)
            b = -1;
        uint32_t type = (rng() % 3 == 0) ? BZ_ROW_ANGULAR_JOINT : BZ_ROW_CONTACT_PULLED;
        if (oneSided && b >= 0 && rng() % 3 == 0)
            type = BZ_ROW_ONE_SIDED;
        rows.push_back(Row(&bodies[a], b >= 0 ? &bodies[b] : nullptr, type, RandomPoint(rng),
                           RandomUnit(rng), RandomPoint(rng), RandomUnit(rng)));
    }
    return rows;
}

void RandomBodies(std::mt19937 &rng, BZDObject *bodies)
{
    std::uniform_real_distribution<float> u(0.2f, 2.0f);
    for (int k = 0; k < kBodies; ++k)
        bodies[k] = Body(u(rng), V(u(rng), u(rng), u(rng)));
}

TEST(ConstraintMatrix, RandomRowsGiveJacobianTimesInverseMassTimesJacobian)
{
    std::mt19937 rng(11);
    for (int trial = 0; trial < 200; ++trial)
    {
        BZDObject bodies[kBodies];
        RandomBodies(rng, bodies);
        std::vector<bzPhysRow> rows = RandomRows(rng, bodies, 1 + trial % 12, true);
        const std::vector<float> m = Build(rows);
        const std::vector<double> minv = InverseMass(bodies);
        const int n = static_cast<int>(rows.size());
        for (int i = 0; i < n; ++i)
        {
            const std::vector<double> gi = Jacobian(rows[i], bodies);
            for (int j = 0; j <= i; ++j)
            {
                const std::vector<double> gj = Jacobian(rows[j], bodies);
                double e = 0.0;
                for (int k = 0; k < 6 * kBodies; ++k)
                    e += gi[k] * minv[k] * gj[k];
                EXPECT_NEAR(m[Tri(i) + j], e, 2e-5 * (1.0 + std::fabs(e)))
                    << "trial " << trial << " (" << i << ", " << j << ")";
            }
        }
    }
}

// One entry worked out plainly in float, in the order of the rule: each body that a unit impulse
// on row i moves (bodyA, then its coupling partner, then bodyB and its partner unless row i is
// one-sided) adds its velocity change along row j's side where it is row j's bodyA, else takes
// it where it is row j's bodyB (row i's own bodies not for a one-sided row j).
struct PlainMover
{
    const BZDObject *body;
    float sign;
    bool own;
    bzV3 m, w;
};

std::vector<PlainMover> PlainMovers(const bzPhysRow &row)
{
    const bool angular = (row.type & BZ_ROW_ANGULAR) != 0;
    std::vector<PlainMover> movers;
    auto side = [&](const BZDObject *body, float sign, const bzV3 &r, const bzV3 &n)
    {
        const bzV3 &inv = body->inversePrincipalMoments;
        bzV3 arm = n;
        if (!angular)
            arm = V(r.y * n.z - r.z * n.y, r.z * n.x - r.x * n.z, r.x * n.y - r.y * n.x);
        PlainMover own{body, sign, true, V(0, 0, 0),
                       V(inv.x * arm.x, inv.y * arm.y, inv.z * arm.z)};
        if (!angular)
            own.m = V(n.x * body->inverseMass, n.y * body->inverseMass, n.z * body->inverseMass);
        PlainMover partner{nullptr, sign, false, {}, {}};
        float impulses[3];
        if (body->coupling)
            partner.body =
                bz_Phys_CouplingResponse(body, &own.m, &own.w, &partner.m, &partner.w, impulses);
        movers.push_back(own);
        if (partner.body)
            movers.push_back(partner);
    };
    side(row.bodyA, 1.0f, row.rA, row.nA);
    if (row.bodyB && row.type != BZ_ROW_ONE_SIDED)
        side(row.bodyB, -1.0f, row.rB, row.nB);
    return movers;
}

float PlainEntry(const std::vector<PlainMover> &movers, const bzPhysRow &rj)
{
    const bool angular = (rj.type & BZ_ROW_ANGULAR) != 0;
    auto term = [&](const PlainMover &x, const bzV3 &r, const bzV3 &n)
    {
        const bzV3 &w = x.w;
        const bzV3 v = angular ? w
                               : V((w.y * r.z - w.z * r.y) + x.m.x, (w.z * r.x - w.x * r.z) + x.m.y,
                                   (w.x * r.y - w.y * r.x) + x.m.z);
        return x.sign * (v.x * n.x + v.y * n.y + v.z * n.z);
    };
    float entry = 0.0f;
    for (const PlainMover &x : movers)
    {
        if (x.body == rj.bodyA)
            entry += term(x, rj.rA, rj.nA);
        else if (x.body == rj.bodyB && !(x.own && rj.type == BZ_ROW_ONE_SIDED))
            entry -= term(x, rj.rB, rj.nB);
    }
    return entry;
}

// Row sets either side of the sizes the build lays out side by side (16 to 256 rows),
// over a few bodies and over hundreds: every packed entry, worked out four and eight columns at
// a time, must equal bit for bit the entry worked out plainly above, and the row built alone
// entry by entry.
TEST(ConstraintMatrix, RowSetsEqualTheirEntriesWorkedOutOneByOne)
{
    struct Case
    {
        int n;
        int bodies;
    };
    const Case cases[] = {{1, 5},   {2, 5},    {3, 5},    {5, 6},    {8, 6},     {9, 6},
                          {15, 12}, {16, 12},  {17, 12},  {40, 12},  {60, 8},    {64, 12},
                          {65, 12}, {130, 12}, {256, 12}, {257, 12}, {200, 300}, {256, 512}};
    const bool wide = bz_Phys_MatrixUseWideLanes(true);
    std::mt19937 rng(23);
    int zeros = 0, compared = 0;
    for (const Case &c : cases)
    {
        const int n = c.n, many = c.bodies;
        SCOPED_TRACE(testing::Message() << n << " rows, " << many << " bodies");
        // The bodies lie at scattered places of a larger pool, as bodies of a world do: not one
        // after the other in memory.
        std::vector<BZDObject> pool(4 * many);
        std::vector<int> places(pool.size());
        for (size_t k = 0; k < places.size(); ++k)
            places[k] = static_cast<int>(k);
        std::shuffle(places.begin(), places.end(), rng);
        std::vector<BZDObject *> at(many);
        for (int k = 0; k < many; ++k)
            at[k] = &pool[places[k]];
        auto bodyAt = [&](int k) -> BZDObject & { return *at[k]; };
        std::uniform_real_distribution<float> u(0.2f, 2.0f);
        for (BZDObject *b : at)
            *b = Body(u(rng), V(u(rng), u(rng), u(rng)));
        // Bodies 0 and 1 are coupled to each other, and so are the last two; no row names the
        // last body.
        bzPhysCoupling records[4] = {};
        const int coupled[4] = {0, 1, many - 2, many - 1};
        const int partner[4] = {1, 0, many - 1, many - 2};
        for (int k = 0; k < 4; ++k)
        {
            records[k].state = 1;
            records[k].partner = &bodyAt(partner[k]);
            records[k].sign = k % 2 == 1 ? 1.0f : -1.0f;
            records[k].lever = RandomPoint(rng);
            records[k].direction = RandomUnit(rng);
            records[k].axis[0] = RandomUnit(rng);
            records[k].axis[1] = RandomUnit(rng);
            for (float &v : records[k].inverse)
                v = u(rng);
            bodyAt(coupled[k]).coupling = &records[k];
        }
        std::vector<bzPhysRow> rows;
        for (int i = 0; i < n; ++i)
        {
            // Neighbouring bodies, as in a pile: a with a + 1 or a + 2, or with the world. With
            // two bodies for every row, row i takes bodies 2i and 2i + 1 (the last row, 2i alone).
            int a = static_cast<int>(rng() % (many - 1));
            int b = a + 1 + static_cast<int>(rng() % 2);
            if (b >= many - 1 || rng() % 4 == 0)
                b = -1;
            if (many == 2 * n)
            {
                a = 2 * i;
                b = i == n - 1 ? -1 : 2 * i + 1;
            }
            uint32_t type = (rng() % 4 == 0) ? BZ_ROW_ANGULAR_JOINT : BZ_ROW_CONTACT_PULLED;
            if (b >= 0 && rng() % 4 == 0)
                type = BZ_ROW_ONE_SIDED;
            rows.push_back(Row(&bodyAt(a), b >= 0 ? &bodyAt(b) : nullptr, type, RandomPoint(rng),
                               RandomUnit(rng), RandomPoint(rng), RandomUnit(rng)));
        }
        // A row naming one body on both sides counts it once.
        rows[n / 2].bodyB = rows[n / 2].bodyA;
        std::vector<bzPhysRow *> pointers;
        for (auto &r : rows)
            pointers.push_back(&r);
        std::vector<float> alone(n);
        for (const bool eight : {false, true})
        {
            if (eight && !wide)
                continue;
            bz_Phys_MatrixUseWideLanes(eight);
            const std::vector<float> m = Build(rows);
            for (int i = 0; i < n; ++i)
            {
                const std::vector<PlainMover> movers = PlainMovers(rows[i]);
                bz_Phys_AngularMatrixRow(pointers.data(), i, alone.data());
                for (int j = 0; j <= i; ++j)
                {
                    const float plain = PlainEntry(movers, rows[j]);
                    ASSERT_EQ(std::bit_cast<uint32_t>(m[Tri(i) + j]),
                              std::bit_cast<uint32_t>(plain))
                        << (eight ? "eight" : "four") << " lanes (" << i << ", " << j << ") "
                        << m[Tri(i) + j] << " " << plain;
                    ASSERT_EQ(std::bit_cast<uint32_t>(alone[j]), std::bit_cast<uint32_t>(plain))
                        << "alone (" << i << ", " << j << ")";
                    zeros += plain == 0.0f;
                    compared++;
                }
            }
        }
    }
    bz_Phys_MatrixUseWideLanes(true);
    // Most entries are between rows that share no body, and the rest are worked out.
    EXPECT_GT(zeros, 40000);
    EXPECT_GT(compared - zeros, 20000);
}

// Inverts a 3x3 matrix in double.
void Invert3(const double k[9], double out[9])
{
    const double det = k[0] * (k[4] * k[8] - k[5] * k[7]) - k[1] * (k[3] * k[8] - k[5] * k[6]) +
                       k[2] * (k[3] * k[7] - k[4] * k[6]);
    out[0] = (k[4] * k[8] - k[5] * k[7]) / det;
    out[1] = (k[2] * k[7] - k[1] * k[8]) / det;
    out[2] = (k[1] * k[5] - k[2] * k[4]) / det;
    out[3] = (k[5] * k[6] - k[3] * k[8]) / det;
    out[4] = (k[0] * k[8] - k[2] * k[6]) / det;
    out[5] = (k[2] * k[3] - k[0] * k[5]) / det;
    out[6] = (k[3] * k[7] - k[4] * k[6]) / det;
    out[7] = (k[1] * k[6] - k[0] * k[7]) / det;
    out[8] = (k[0] * k[4] - k[1] * k[3]) / det;
}

TEST(ConstraintMatrix, CoupledBodiesFollowTheCoupledJoint)
{
    // Bodies 0 (M) and 1 (P) are held by a coupled joint; body 2 is free. Every row's response
    // must leave the coupled joint's error unchanged: the matrix is J W J^T with
    // W = M^-1 - M^-1 C^T (C M^-1 C^T)^-1 C M^-1, C the coupled joint's Jacobian.
    std::mt19937 rng(17);
    for (int trial = 0; trial < 100; ++trial)
    {
        BZDObject bodies[kBodies];
        RandomBodies(rng, bodies);
        bzPhysCoupling records[2] = {};
        for (int k = 0; k < 2; ++k)
        {
            records[k].state = 1;
            records[k].partner = &bodies[1 - k];
            records[k].sign = k == 0 ? -1.0f : 1.0f;
            records[k].lever = RandomPoint(rng);
            records[k].direction = RandomUnit(rng);
            records[k].axis[0] = RandomUnit(rng);
            records[k].axis[1] = RandomUnit(rng);
            bodies[k].coupling = &records[k];
        }
        // C: three rows over the 18 velocities.
        std::vector<std::vector<double>> C(3, std::vector<double>(6 * kBodies, 0.0));
        for (int k = 0; k < 2; ++k)
        {
            const bzPhysCoupling &c = records[k];
            bzV3 arm;
            bz_V3_CrossInto(&c.lever, &c.direction, &arm);
            for (int d = 0; d < 3; ++d)
            {
                C[0][6 * k + d] = c.sign * c.direction.v[d];
                C[0][6 * k + 3 + d] = c.sign * arm.v[d];
                C[1][6 * k + 3 + d] = c.sign * c.axis[0].v[d];
                C[2][6 * k + 3 + d] = c.sign * c.axis[1].v[d];
            }
        }
        const std::vector<double> minv = InverseMass(bodies);
        double K[9], Kinv[9];
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
            {
                K[3 * r + c] = 0.0;
                for (int k = 0; k < 6 * kBodies; ++k)
                    K[3 * r + c] += C[r][k] * minv[k] * C[c][k];
            }
        Invert3(K, Kinv);
        for (int k = 0; k < 9; ++k)
            records[0].inverse[k] = static_cast<float>(Kinv[k]);

        std::vector<bzPhysRow> rows = RandomRows(rng, bodies, 1 + trial % 10, false);
        const std::vector<float> m = Build(rows);
        const int n = static_cast<int>(rows.size());
        // W g for each row.
        std::vector<std::vector<double>> responses;
        for (int i = 0; i < n; ++i)
        {
            const std::vector<double> g = Jacobian(rows[i], bodies);
            std::vector<double> v(6 * kBodies);
            for (int k = 0; k < 6 * kBodies; ++k)
                v[k] = minv[k] * g[k];
            double e[3] = {0, 0, 0}, x[3] = {0, 0, 0};
            for (int r = 0; r < 3; ++r)
                for (int k = 0; k < 6 * kBodies; ++k)
                    e[r] += C[r][k] * v[k];
            for (int r = 0; r < 3; ++r)
                for (int c = 0; c < 3; ++c)
                    x[r] += Kinv[3 * r + c] * e[c];
            for (int k = 0; k < 6 * kBodies; ++k)
                for (int r = 0; r < 3; ++r)
                    v[k] -= minv[k] * C[r][k] * x[r];
            responses.push_back(v);
        }
        double scale = 1.0;
        for (int i = 0; i < n; ++i)
            for (int j = 0; j <= i; ++j)
            {
                const std::vector<double> gj = Jacobian(rows[j], bodies);
                double e = 0.0;
                for (int k = 0; k < 6 * kBodies; ++k)
                    e += gj[k] * responses[i][k];
                scale = std::max(scale, std::fabs(e));
                EXPECT_NEAR(m[Tri(i) + j], e, 2e-4 * scale)
                    << "trial " << trial << " (" << i << ", " << j << ")";
            }
        // A row on a coupled body records its coupling sign; wA stays the uncorrected response.
        for (const bzPhysRow &r : rows)
        {
            const float expectedSign =
                r.bodyA == &bodies[0] ? -1.0f : (r.bodyA == &bodies[1] ? 1.0f : 0.0f);
            EXPECT_EQ(r.couplingA[3], expectedSign);
            if ((r.type & BZ_ROW_ANGULAR) != 0)
            {
                EXPECT_FLOAT_EQ(r.wA.x, r.bodyA->inversePrincipalMoments.x * r.nA.x);
            }
        }
    }
}
} // namespace
