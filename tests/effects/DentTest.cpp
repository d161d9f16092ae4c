#include "effects/Dent.h"

#include "collision/Form.h"
#include "collision/Shape.h"
#include "device/RenderTable.h"
#include "maths/Vector.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

struct bzModel
{
    std::vector<bzV3> vertices;
    uint32_t partFlags = 0;
};

namespace
{
bzV3 V(float x, float y, float z)
{
    return bzV3{{{x, y, z}}};
}

// The model part and a replay that keeps every recorded event's bytes.
struct FakeWorld
{
    static inline FakeWorld *current;
    struct Session
    {
        std::string name;
        uint32_t elementSize, flags, mode;
        bzDentSizeFunction size;
        bzDentApplyFunction apply;
    };
    std::vector<Session> sessions;
    std::vector<std::vector<uint8_t>> events;
    std::vector<bzModel *> rebuilt;
    PDRenderFunctionTable saved = bzgRenderTable;
    static inline int32_t buildResult;

    FakeWorld()
    {
        current = this;
        buildResult = 0;
        const bzDentServices services = {
            [](bzModel *m, bzV3 **positions, uint32_t *count, uint32_t **flags) -> int32_t
            {
                if (!m)
                    return 0;
                *positions = m->vertices.data();
                *count = (uint32_t)m->vertices.size();
                *flags = &m->partFlags;
                return 1;
            },
            [](const char *name, uint32_t size, bzDentSizeFunction sf, bzDentApplyFunction af,
               uint32_t flags, uint32_t mode) -> void *
            {
                current->sessions.push_back({name, size, flags, mode, sf, af});
                return (void *)(intptr_t)current->sessions.size();
            },
            [](void *session, const void *record) -> int32_t
            {
                const uint32_t n =
                    current->sessions.at((size_t)(intptr_t)session - 1).size(session, record);
                const uint8_t *p = (const uint8_t *)record;
                current->events.emplace_back(p, p + n);
                return 0;
            },
        };
        bz_Dent_SetServices(&services);
        bzgRenderTable.PDBuildModelBuffers = [](bzModel *m) -> int32_t
        {
            current->rebuilt.push_back(m);
            return buildResult;
        };
    }
    ~FakeWorld()
    {
        bz_Dent_SetServices(nullptr);
        bzgRenderTable = saved;
        current = nullptr;
    }
};

// A box above the origin: x and y in [-0.5, 0.5], z in [1, 2].
bzPolyShape Box()
{
    bzPolyShape s{};
    s.kind = BZ_SHAPE_ALIGNED_CUBOID;
    s.bounds = {V(-0.5f, -0.5f, 1), V(0.5f, 0.5f, 2)};
    return s;
}

const bzV3 kDown = V(0, 0, -1);

// Depth 1.5 and spread 2 reach 3; radius 1.
bzDentRequest Request(const bzShape *shape, float randomness = 0.0f, uint32_t record = 0)
{
    bzDentRequest r{};
    r.shape = shape;
    r.direction = &kDown;
    r.depth = 1.5f;
    r.spread = 2.0f;
    r.radius = 1.0f;
    r.backLimit = 0.5f;
    r.record = record;
    r.randomness = randomness;
    return r;
}

// On the axis the full amount (reach - a) / spread = (3 - 1) / 2; half the radius out, half of
// it; at the radius nothing; beyond it nothing.
TEST(Dent, FallOffFromTheAxisToTheRadius)
{
    FakeWorld world;
    bzPolyShape box = Box();
    bzModel m;
    m.vertices = {V(0, 0, 0), V(1.0f, 0, 0), V(1.5f, 0, 0), V(3, 0, 0)};
    bzDentRequest r = Request(&box);
    EXPECT_EQ(bz_Dent_Apply(&m, &r, nullptr), 1);
    EXPECT_FLOAT_EQ(m.vertices[0].z, -1.0f);
    EXPECT_FLOAT_EQ(m.vertices[1].z, -0.5f);
    EXPECT_EQ(m.vertices[2].z, 0.0f);
    EXPECT_EQ(m.vertices[3].z, 0.0f);
    EXPECT_FLOAT_EQ(r.largest, 1.0f);
    EXPECT_EQ(r.largestIndex, 0u);
    EXPECT_EQ(r.missed, 0u);
    EXPECT_EQ(m.partFlags, 0u);
    EXPECT_EQ(world.rebuilt.size(), 1u);
    EXPECT_TRUE(world.events.empty());
}

// A failed rebuild leaves the rebuild flag for later.
TEST(Dent, FailedRebuildKeepsTheFlag)
{
    FakeWorld world;
    FakeWorld::buildResult = 14;
    bzPolyShape box = Box();
    bzModel m;
    m.vertices = {V(0, 0, 0)};
    bzDentRequest r = Request(&box);
    EXPECT_EQ(bz_Dent_Apply(&m, &r, nullptr), 1);
    EXPECT_EQ(m.partFlags, (uint32_t)BZ_PART_REBUILD);
}

// Randomness 2.0 with depth 1.5 is more than the whole depth: it counts as 1.0. At the origin
// the hash of the position is 7271263, so the axis amount 1.0 becomes 7271263 x 1.1920929e-7.
TEST(Dent, RandomnessClampsToTheDepth)
{
    FakeWorld world;
    bzPolyShape box = Box();
    for (float randomness : {2.0f, 1.5f})
    {
        bzModel m;
        m.vertices = {V(0, 0, 0)};
        bzDentRequest r = Request(&box, randomness);
        bz_Dent_Apply(&m, &r, nullptr);
        EXPECT_NEAR(m.vertices[0].z, -0.866797f, 1e-5f) << randomness;
    }
    bzModel m;
    m.vertices = {V(0, 0, 0)};
    bzDentRequest r = Request(&box, 0.75f); // s = 0.5
    bz_Dent_Apply(&m, &r, nullptr);
    EXPECT_NEAR(m.vertices[0].z, -(1.0f + 0.5f * (0.866797f - 1.0f)), 1e-5f);
}

TEST(Dent, RecordedDentPlaysForwardAndBack)
{
    FakeWorld world;
    bzPolyShape box = Box();
    bzModel m;
    for (int i = 0; i < 20; i++)
        m.vertices.push_back(V(0.1f * i - 1.0f, 0.05f * i - 0.5f, 0.01f * i));
    const std::vector<bzV3> before = m.vertices;
    bzDentRequest r = Request(&box, 0.3f, 1);
    ASSERT_EQ(bz_Dent_Apply(&m, &r, nullptr), 1);
    ASSERT_EQ(world.sessions.size(), 1u);
    EXPECT_EQ(world.sessions[0].name, "DENT");
    EXPECT_EQ(world.sessions[0].elementSize, 0u);
    EXPECT_EQ(world.sessions[0].flags, 2u);
    EXPECT_EQ(world.sessions[0].mode, 1u);
    ASSERT_EQ(world.events.size(), 1u);
    const std::vector<uint8_t> &event = world.events[0];
    ASSERT_EQ(event.size(), sizeof(bzDentRecord) + 20);
    bzDentRecord header;
    std::memcpy(&header, event.data(), sizeof header);
    EXPECT_EQ(header.model, &m);
    EXPECT_FLOAT_EQ(header.step, (1.5f + 0.3f) / 255.0f);
    const std::vector<bzV3> dented = m.vertices;
    // Every displacement is a whole number of steps.
    for (size_t i = 0; i < before.size(); i++)
        EXPECT_NEAR(before[i].z - dented[i].z, event[sizeof header + i] * header.step, 1e-5f);
    Dent_Playback(nullptr, event.data(), 0, nullptr, -1.0f);
    for (size_t i = 0; i < before.size(); i++)
        EXPECT_NEAR(m.vertices[i].z, before[i].z, 1e-5f) << i;
    Dent_Playback(nullptr, event.data(), 0, nullptr, 1.0f);
    for (size_t i = 0; i < before.size(); i++)
        EXPECT_NEAR(m.vertices[i].z, dented[i].z, 1e-5f) << i;
}

TEST(Dent, DentThatMovesNothingIsNotRecorded)
{
    FakeWorld world;
    bzPolyShape box = Box();
    bzModel m;
    m.vertices = {V(1.5f, 0, 0), V(0, 1.5f, 0)}; // both at the radius
    bzDentRequest r = Request(&box, 0.0f, 1);
    EXPECT_EQ(bz_Dent_Apply(&m, &r, nullptr), 0);
    EXPECT_TRUE(world.events.empty());
    EXPECT_EQ(r.missed, 0u);
}

// Requests that cannot act leave the model alone: too little reach, out of reach of the model,
// a kind without a closest point.
TEST(Dent, RequestsThatCannotAct)
{
    FakeWorld world;
    bzPolyShape box = Box();
    bzModel m;
    m.vertices = {V(0, 0, 0)};
    bzDentRequest small = Request(&box);
    small.depth = 0.02f; // reach 0.04
    EXPECT_EQ(bz_Dent_Apply(&m, &small, nullptr), 0);
    bzModel far;
    far.vertices = {V(50, 0, 0)};
    bzDentRequest r = Request(&box);
    EXPECT_EQ(bz_Dent_Apply(&far, &r, nullptr), 0);
    EXPECT_EQ(r.missed, 1u);
    bzShape null{};
    bzDentRequest n = Request(&null);
    EXPECT_EQ(bz_Dent_Apply(&m, &n, nullptr), 0);
    EXPECT_EQ(bz_Dent_ApplyToModel(nullptr, &r), 0);
    EXPECT_EQ(m.vertices[0].z, 0.0f);
    EXPECT_EQ(m.partFlags, 0u);
    EXPECT_TRUE(world.rebuilt.empty());
}

TEST(Dent, SinglePointWithoutModel)
{
    FakeWorld world;
    bzPolyShape box = Box();
    bzV3 p = V(0, 0, 0);
    bzDentRequest r = Request(&box, 0.0f, 1);
    EXPECT_EQ(bz_Dent_Apply(nullptr, &r, &p), 1);
    EXPECT_FLOAT_EQ(p.z, -1.0f);
    EXPECT_TRUE(world.events.empty());
    EXPECT_TRUE(world.rebuilt.empty());
}

// The closest point of each kind's solid.
TEST(Dent, ClosestPoints)
{
    bzSphereShape sphere{};
    sphere.kind = BZ_SHAPE_SPHERE;
    sphere.radius = 1.0f;
    sphere.centre = V(0, 0, 5);
    bzTicTacShape capsule{};
    capsule.kind = BZ_SHAPE_TIC_TAC;
    capsule.radius = 1.0f;
    capsule.segmentStart = V(0, 0, 0);
    capsule.segmentEnd = V(4, 0, 0);
    bzHalfSpaceShape half{};
    half.kind = BZ_SHAPE_HALF_SPACE;
    half.plane = {V(0, 0, 1), 2.0f}; // z <= 2
    bzHalfSpaceShape aligned{};
    aligned.kind = BZ_SHAPE_ALIGNED_HALF_SPACE;
    aligned.direction = 1; // -x <= 3: x >= -3
    aligned.distance = 3.0f;
    bzCuboidShape cuboid{};
    cuboid.kind = BZ_SHAPE_CUBOID;
    cuboid.localMin = V(-1, -1, -1);
    cuboid.localMax = V(1, 1, 1);
    bz_M34_SetIdentity(&cuboid.placement);
    cuboid.placement.row[3] = V(10, 0, 0);
    bzPolyShape box = Box();
    bzShape crushable{};
    crushable.kind = BZ_SHAPE_CRUSHABLE_CUBOID;
    const struct
    {
        const bzShape *shape;
        bzV3 p, expected;
        int32_t has;
    } cases[] = {
        {&sphere, V(0, 0, 8), V(0, 0, 6), 1},        {&sphere, V(0, 0.5f, 5), V(0, 0.5f, 5), 1},
        {&capsule, V(2, 3, 0), V(2, 1, 0), 1},       {&capsule, V(-3, 0, 0), V(-1, 0, 0), 1},
        {&capsule, V(2, 0.5f, 0), V(2, 0.5f, 0), 1}, {&half, V(1, 1, 7), V(1, 1, 2), 1},
        {&half, V(1, 1, -7), V(1, 1, -7), 1},        {&aligned, V(-5, 1, 1), V(-3, 1, 1), 1},
        {&aligned, V(5, 1, 1), V(5, 1, 1), 1},       {&cuboid, V(13, 0.5f, 4), V(11, 0.5f, 1), 1},
        {&box, V(3, 0, 0), V(0.5f, 0, 1), 1},        {&crushable, V(0, 0, 0), V(0, 0, 0), 0},
    };
    for (const auto &c : cases)
    {
        bzV3 out = V(99, 99, 99);
        ASSERT_EQ(bz_Dent_ClosestPoint(c.shape, &c.p, &out), c.has) << c.shape->kind;
        if (!c.has)
            continue;
        for (int k = 0; k < 3; k++)
            EXPECT_NEAR(out.v[k], c.expected.v[k], 1e-5f) << c.shape->kind << " " << k;
    }
    // Over a chain, the nearest shape's point.
    sphere.next = &capsule;
    const bzV3 p = V(2, 0, 2); // 2.6 from the sphere, 1 from the capsule
    bzV3 out;
    ASSERT_EQ(bz_Dent_NearestPoint(&sphere, &p, &out), 1);
    EXPECT_NEAR(out.z, 1.0f, 1e-5f);
}
} // namespace

namespace
{
// A polyhedral shape of the points, its hull built by the collision layer.
bzShape *Hull(bzShapeKind kind, const std::vector<bzV3> &points)
{
    bzShape *s = bz_Shape_Create(nullptr, kind, (uint32_t)points.size(), 0, 0);
    if (!s)
        return nullptr;
    bzHull *h = bz_Shape_Hull(s);
    for (size_t i = 0; i < points.size(); i++)
        h->vertices[i] = points[i];
    h->vertexCount = (int16_t)points.size();
    if (bz_Shape_Prepare(s) != 0)
    {
        bz_Shape_Free(s);
        return nullptr;
    }
    return s;
}

TEST(Dent, ClosestPointsOfPolyhedralShapes)
{
    std::vector<bzV3> cube;
    for (int i = 0; i < 8; i++)
        cube.push_back(V(i & 1 ? 1.0f : -1.0f, i & 2 ? 1.0f : -1.0f, i & 4 ? 1.0f : -1.0f));
    bzShape *poly = Hull(BZ_SHAPE_POLYHEDRON, cube);
    ASSERT_NE(poly, nullptr);
    ASSERT_EQ(poly->kind, BZ_SHAPE_POLYHEDRON);
    bzShape *rounded = Hull(BZ_SHAPE_ROUNDED_POLYHEDRON, cube);
    ASSERT_NE(rounded, nullptr);
    const float round = static_cast<bzPolyhedronShape *>(rounded)->roundingRadius;
    bzShape *square =
        Hull(BZ_SHAPE_POLYHEDRON, {V(-1, -1, 0), V(1, -1, 0), V(1, 1, 0), V(-1, 1, 0)});
    ASSERT_NE(square, nullptr);
    ASSERT_EQ(square->kind, BZ_SHAPE_POLYGON);
    const struct
    {
        const bzShape *shape;
        bzV3 p, expected;
    } cases[] = {
        {poly, V(3, 0, 0), V(1, 0, 0)},       // a face
        {poly, V(3, 3, 0), V(1, 1, 0)},       // an edge
        {poly, V(3, 3, 3), V(1, 1, 1)},       // a corner
        {poly, V(0.5f, 0, 0), V(0.5f, 0, 0)}, // inside
        {rounded, V(3, 0, 0), V(1 + round, 0, 0)},
        {square, V(0.5f, 0.5f, 4), V(0.5f, 0.5f, 0)},
        {square, V(3, 0.5f, -2), V(1, 0.5f, 0)},
    };
    for (const auto &c : cases)
    {
        bzV3 out;
        ASSERT_EQ(bz_Dent_ClosestPoint(c.shape, &c.p, &out), 1);
        for (int k = 0; k < 3; k++)
            EXPECT_NEAR(out.v[k], c.expected.v[k], 1e-4f)
                << c.shape->kind << " " << c.p.x << "," << c.p.y << "," << c.p.z << " " << k;
    }
    bz_Shape_Free(poly);
    bz_Shape_Free(rounded);
    bz_Shape_Free(square);
}
} // namespace

namespace
{
// A sphere of radius 0.5 dented along +x with a reach of 4 towards a box whose face is at x = 2:
// the sphere first touches it after 1.5 of the 4, so the depth keeps 1.5 / 4 of itself.
TEST(Dent, DepthIsLimitedToTheFirstContactWithAForm)
{
    bzForm *wall = bz_Form_Alloc(nullptr, BZ_SHAPE_ALIGNED_CUBOID);
    ASSERT_NE(wall, nullptr);
    static_cast<bzPolyShape *>(wall->firstShape)->bounds = {V(2, -1, -1), V(3, 1, 1)};
    ASSERT_EQ(bz_Form_CalcBounds(wall, 1), 0);
    bzShape *shape = bz_Shape_Create(nullptr, BZ_SHAPE_SPHERE, 0, 0, 0);
    ASSERT_NE(shape, nullptr);
    auto *sphere = static_cast<bzSphereShape *>(shape);
    sphere->radius = 0.5f;

    const bzV3 towards = V(1, 0, 0), along = V(0, 1, 0);
    const struct
    {
        bzV3 centre;
        const bzV3 *direction;
        float depth;
    } cases[] = {
        {V(0, 0, 0), &towards, 2.0f * 1.5f / 4.0f}, // touches after 1.5 of the reach
        {V(2.5f, 0, 0), &towards, 0.0f},            // already inside the wall
        {V(0, 0, 0), &along, 2.0f},                 // moves past it
        {V(-5, 0, 0), &towards, 2.0f},              // the reach ends short of it
    };
    for (const auto &c : cases)
    {
        sphere->centre = c.centre;
        ASSERT_EQ(bz_Shape_Prepare(shape), 0);
        bzDentRequest r = {};
        r.shape = shape;
        r.direction = c.direction;
        r.depth = 2.0f;
        r.spread = 2.0f; // reach 4
        EXPECT_EQ(bz_Dent_LimitDepth(wall, &r), 0);
        EXPECT_NEAR(r.depth, c.depth, 1e-3f) << c.centre.x << " " << c.direction->y;
        EXPECT_EQ(shape->next, nullptr); // the request's shape is left as it was
    }

    bzDentRequest r = {};
    r.shape = shape;
    r.depth = 2.0f;
    EXPECT_EQ(bz_Dent_LimitDepth(wall, &r), 29); // no direction
    r.direction = &towards;
    EXPECT_EQ(bz_Dent_LimitDepth(nullptr, &r), 29);
    EXPECT_EQ(bz_Dent_LimitDepth(wall, nullptr), 29);
    EXPECT_EQ(r.depth, 2.0f);
    bz_Shape_Free(shape);
    bz_Form_Free(wall);
}
} // namespace
