// The world collision's placements, face selection, vertex placing and nearest face hit work
// three coordinates side by side. Each is checked here on random input against the plain
// formulas, one coordinate at a time, written out in this file: the floats must be equal bit
// for bit (any two not-a-number values count as equal: which operand's payload an operation
// passes on is the processor's choice).
#include "collision/CollisionTolerance.h"
#include "collision/FacePrimitives.h"
#include "collision/FaceRays.h"
#include "physics/PhysMemory.h"
#include "physics/WorldCollision.h"

#include "TestSupport.h"
#include "WorldCollisionFixture.h"
#include "TestRandom.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

using namespace worldfixture;

namespace
{
const float kInf = std::numeric_limits<float>::infinity();
const float kNaN = std::numeric_limits<float>::quiet_NaN();

bool SameBits(float a, float b)
{
    return std::bit_cast<uint32_t>(a) == std::bit_cast<uint32_t>(b) || (a != a && b != b);
}

bool SameBits(const bzV3 &a, const bzV3 &b)
{
    return SameBits(a.x, b.x) && SameBits(a.y, b.y) && SameBits(a.z, b.z);
}

bool SameBits(const bzM34 &a, const bzM34 &b)
{
    for (int i = 0; i < 4; i++)
        if (!SameBits(a.row[i], b.row[i]))
            return false;
    return true;
}

// ---- The plain formulas, one coordinate at a time. ----

float Dot(const bzV3 &a, const bzV3 &b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

bzV3 Sub(const bzV3 &a, const bzV3 &b)
{
    return V(a.x - b.x, a.y - b.y, a.z - b.z);
}

bzV3 Point(const bzM34 &m, const bzV3 &p)
{
    bzV3 r;
    for (int j = 0; j < 3; j++)
        r.v[j] = p.x * m.row[0].v[j] + p.y * m.row[1].v[j] + p.z * m.row[2].v[j] + m.row[3].v[j];
    return r;
}

bzV3 Direction(const bzM34 &m, const bzV3 &v)
{
    bzV3 r;
    for (int j = 0; j < 3; j++)
        r.v[j] = v.x * m.row[0].v[j] + v.y * m.row[1].v[j] + v.z * m.row[2].v[j];
    return r;
}

bzM34 PlainInverse(const bzM34 &m)
{
    bzM34 out;
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++)
            out.row[i].v[j] = m.row[j].v[i];
    for (int j = 0; j < 3; j++)
        out.row[3].v[j] = -Dot(m.row[3], m.row[j]);
    return out;
}

bzM34 PlainThen(const bzM34 &a, const bzM34 &b)
{
    bzM34 out;
    for (int i = 0; i < 3; i++)
        out.row[i] = Direction(b, a.row[i]);
    out.row[3] = Point(b, a.row[3]);
    return out;
}

bool PlainFinite(const bzM34 &m)
{
    for (const bzV3 &r : m.row)
        for (float x : r.v)
            if (!std::isfinite(x))
                return false;
    return true;
}

float Least(float a, float b)
{
    return (a != a || b != b) ? std::fmin(a, b) : (a < b ? a : b);
}

float Most(float a, float b)
{
    return (a != a || b != b) ? std::fmax(a, b) : (a > b ? a : b);
}

// The box of the eight transformed corners, corner by corner.
bzBox PlainEnclose(const bzBox &box, const bzM34 &m)
{
    bzBox out{};
    for (int i = 0; i < 8; i++)
    {
        const bzV3 p = Point(m, V(i & 1 ? box.max.x : box.min.x, i & 2 ? box.max.y : box.min.y,
                                  i & 4 ? box.max.z : box.min.z));
        if (i == 0)
            out.min = out.max = p;
        for (int k = 0; k < 3; k++)
        {
            out.min.v[k] = Least(out.min.v[k], p.v[k]);
            out.max.v[k] = Most(out.max.v[k], p.v[k]);
        }
    }
    return out;
}

// The shape's box swept from its placement under relative to where it stands, grown by the
// tolerance.
bzBox PlainSwept(const bzBox &bounds, const bzM34 &relative)
{
    bzBox swept = PlainEnclose(bounds, relative);
    for (int k = 0; k < 3; k++)
    {
        swept.min.v[k] = Least(swept.min.v[k], bounds.min.v[k]) - bzCollisionTolerance;
        swept.max.v[k] = Most(swept.max.v[k], bounds.max.v[k]) + bzCollisionTolerance;
    }
    return swept;
}

// The swept box's middle in the world and its half size.
void MiddleAndHalf(const bzBox &swept, const bzM34 &lump, bzV3 *centre, bzV3 *half)
{
    bzV3 mid;
    for (int k = 0; k < 3; k++)
    {
        mid.v[k] = (swept.min.v[k] + swept.max.v[k]) * 0.5f;
        half->v[k] = (swept.max.v[k] - swept.min.v[k]) * 0.5f;
    }
    *centre = Point(lump, mid);
}

// How far the swept box reaches along n from its middle.
float Reach(const bzV3 &n, const bzM34 &lump, const bzV3 &half)
{
    float reach = 0.0f;
    for (int k = 0; k < 3; k++)
        reach += std::fabs(Dot(n, lump.row[k])) * half.v[k];
    return reach;
}

// The face selection: per face a test on the face's normal and one on each of the box's axes.
// Returns the count of candidates.
int32_t PlainSelect(const bzBox &swept, const bzM34 &lump, std::vector<bzCollisionFace> &faces,
                    uint32_t mask)
{
    bzV3 centre, half;
    MiddleAndHalf(swept, lump, &centre, &half);
    int32_t candidates = 0;
    for (bzCollisionFace &face : faces)
    {
        face.flags |= BZ_FACE_CANDIDATE;
        if (face.flags & mask)
            continue;
        const float mid = Dot(face.normal, centre) - face.distance;
        const float reach = Reach(face.normal, lump, half);
        if (mid - reach > 0.0f || mid + reach < 0.0f)
            continue;
        bool apart = false;
        for (int k = 0; k < 3; k++)
        {
            int below = 0, above = 0;
            for (const bzV3 &corner : face.corners)
            {
                const float x = Dot(Sub(corner, lump.row[3]), lump.row[k]);
                below += x < swept.min.v[k];
                above += x > swept.max.v[k];
            }
            apart = apart || below == 3 || above == 3;
        }
        if (apart)
            continue;
        face.flags &= ~BZ_FACE_CANDIDATE;
        candidates++;
    }
    return candidates;
}

// A moving point against one face, as the sweep defines it: the end may stop up to the
// tolerance short of the plane; the back side counts only for a double-sided face.
float PlainSegmentFace(const bzV3 &start, const bzV3 &d, const bzCollisionFace &face, bzV3 *hitOut,
                       bzV3 *normalOut)
{
    for (float x : {start.x, start.y, start.z, d.x, d.y, d.z})
        if (!std::isfinite(x))
            return BZ_FRACTION_MISS;
    const bzV3 &n = face.normal;
    const float k = Dot(d, n);
    if (!(std::fabs(k) >= 2.3841858e-7f))
        return BZ_FRACTION_MISS;
    const float dist = Dot(start, n) - face.distance;
    const float tol = bzCollisionTolerance;
    const bool front = k <= 0.0f && dist >= 0.0f && dist <= tol - k;
    const bool back =
        k > 0.0f && (face.flags & BZ_FACE_DOUBLE_SIDED) && -dist >= 0.0f && -dist <= tol + k;
    if (!front && !back)
        return BZ_FRACTION_MISS;
    if (std::fabs(k) < 1.0f && std::fabs(k) * 3.4028235e38f < std::fabs(dist))
        return BZ_FRACTION_MISS;
    const float t = -dist / k > 1.0f ? 1.0f : -dist / k;
    const bzV3 hit = V(start.x + t * d.x, start.y + t * d.y, start.z + t * d.z);
    *hitOut = hit;
    if (!bz_Face_PointInside(&face, &hit, BZ_FACE_INSIDE_HIGH))
        return BZ_FRACTION_MISS;
    *normalOut = k > 0.0f ? V(-n.x, -n.y, -n.z) : n;
    return t;
}

// ---- Random input. ----

struct Random : TestRandom
{
    Random() : TestRandom(20261211) {}
    bzV3 Unit()
    {
        const bzV3 v = Vec(1.0f);
        const float l = std::sqrt(Dot(v, v));
        return l > 1e-3f ? V(v.x / l, v.y / l, v.z / l) : V(0, 1, 0);
    }
    // A turn from a random unit quaternion and a shift: a rigid placement as poses are.
    bzM34 Rigid(float reach)
    {
        float q[4];
        float l = 0.0f;
        for (float &x : q)
        {
            x = Uniform(-1.0f, 1.0f);
            l += x * x;
        }
        l = std::sqrt(l > 1e-6f ? l : 1.0f);
        const float w = q[0] / l, x = q[1] / l, y = q[2] / l, z = q[3] / l;
        bzM34 m;
        m.row[0] = V(1 - 2 * (y * y + z * z), 2 * (x * y + w * z), 2 * (x * z - w * y));
        m.row[1] = V(2 * (x * y - w * z), 1 - 2 * (x * x + z * z), 2 * (y * z + w * x));
        m.row[2] = V(2 * (x * z + w * y), 2 * (y * z - w * x), 1 - 2 * (x * x + y * y));
        m.row[3] = Vec(reach);
        if (Chance(0.1f))
            m.row[Uniform(0.0f, 3.99f) > 2.0f ? 0 : 1].v[1] = 0.0f; // not quite a rotation
        return m;
    }
    // Now and then one element not finite.
    void Spoil(bzM34 *m, float p)
    {
        if (Chance(p))
            m->row[int(Uniform(0.0f, 3.99f))].v[int(Uniform(0.0f, 2.99f))] =
                Chance(0.5f) ? kNaN : (Chance(0.5f) ? kInf : -kInf);
    }
    bzBox Box()
    {
        bzBox b;
        for (int k = 0; k < 3; k++)
        {
            b.min.v[k] = Uniform(-1.0f, 0.2f);
            b.max.v[k] = Chance(0.05f) ? b.min.v[k] : Uniform(b.min.v[k], 1.0f);
        }
        return b;
    }
    // Triangles about the origin, some flat, some on the box, some far off; random flags.
    bzCollisionFace Face(float reach)
    {
        const bzV3 n = Unit();
        const bzV3 c = Vec(reach);
        bzCollisionFace f{};
        f.normal = n;
        f.distance = Dot(n, c) + (Chance(0.3f) ? 0.0f : Uniform(-0.5f, 0.5f));
        for (bzV3 &v : f.corners)
            v = Chance(0.1f) ? c
                             : V(c.x + Uniform(-2, 2), c.y + Uniform(-2, 2), c.z + Uniform(-2, 2));
        f.flags = (Chance(0.1f) ? BZ_FACE_NEVER_COLLIDE : 0u) |
                  (Chance(0.1f) ? BZ_FACE_BELOW_LEVEL : 0u) |
                  (Chance(0.3f) ? BZ_FACE_DOUBLE_SIDED : 0u) |
                  (Chance(0.5f) ? uint32_t(BZ_FACE_CANDIDATE) : 0u);
        return f;
    }
};
} // namespace

// Random poses, lump matrices, relative placements (some not rigid, some not finite), shape
// boxes and faces: the selection gives the plain selection's flags, count and swept box bit for
// bit, with the below-level mask on and off.
TEST(WorldCollisionLanes, FaceSelectionEqualsThePlainTestsBitForBit)
{
    Random rnd;
    FormPtr form = BoxForm(BZ_SHAPE_ALIGNED_CUBOID, 0.5f);
    bzShape *shape = form->firstShape;
    BZDObject body{};
    bzShapeWork work{};
    int32_t seen[2] = {0, 0};
    for (int n = 0; n < 20000; n++)
    {
        const bzBox bounds = rnd.Box();
        *bz_Shape_Bounds(shape) = bounds;
        bzM34 relative = rnd.Rigid(0.5f);
        rnd.Spoil(&relative, 0.02f);
        if (rnd.Chance(0.05f))
            relative.row[1].v[2] = 1e30f; // terms overflow only in their sums
        // Now and then the lump matrix is the identity: a face's corners then lie exactly on
        // the swept box's sides.
        const bool aligned = rnd.Chance(0.15f);
        bzM34 lump = rnd.Rigid(1.5f);
        if (aligned)
            lump = At(0, 0, 0);
        const bzBox swept = PlainSwept(bounds, relative);
        bzV3 centre, half;
        MiddleAndHalf(swept, lump, &centre, &half);
        std::vector<bzCollisionFace> faces, plain;
        const int count = int(rnd.Uniform(1.0f, 6.99f));
        for (int i = 0; i < count; i++)
        {
            bzCollisionFace f = rnd.Face(2.0f);
            if (rnd.Chance(0.3f)) // a plane touching the box, to the last bit or so
                f.distance = Dot(f.normal, centre) +
                             (rnd.Chance(0.5f) ? 1.0f : -1.0f) * Reach(f.normal, lump, half);
            if (aligned && rnd.Chance(0.5f))
            {
                const int k = int(rnd.Uniform(0.0f, 2.99f));
                const float side = rnd.Chance(0.5f) ? swept.min.v[k] : swept.max.v[k];
                for (bzV3 &c : f.corners)
                    c.v[k] = side;
            }
            faces.push_back(f);
        }
        plain = faces;
        const bool level = rnd.Chance(0.2f);
        body.bodyBox = {V(-1, 0.5f, -1), V(1, 1, 1)};
        bz_PhysWorld_SetLevel(level ? 0.25f : 0.0f, level ? 1 : 0);
        bzWorldCollisionState &st = bz_PhysWorld_State();
        st.previousPlacement = lump;
        st.faces = faces.data();
        st.faceCount = count;
        const int32_t got = bz_PhysWorld_SelectFaces(shape, &work, &relative, &body);
        bz_PhysWorld_SetLevel(0.0f, 0);
        const uint32_t mask = BZ_FACE_NEVER_COLLIDE | (level ? BZ_FACE_BELOW_LEVEL : 0u);
        const int32_t want = PlainSelect(swept, lump, plain, mask);
        ASSERT_EQ(got, want) << n;
        ASSERT_TRUE(SameBits(work.sweptBox.min, swept.min) &&
                    SameBits(work.sweptBox.max, swept.max))
            << n;
        for (int i = 0; i < count; i++)
        {
            ASSERT_EQ(faces[i].flags, plain[i].flags) << n << " face " << i;
            seen[(plain[i].flags & BZ_FACE_CANDIDATE) ? 0 : 1]++;
        }
    }
    // Faces were both kept and passed over in numbers.
    EXPECT_GT(seen[0], 10000);
    EXPECT_GT(seen[1], 10000);
}

// The shape's vertices placed at both placements, in and out of push-out mode, for a box and for
// a hull: each is the plain p M of its local point (push-out: every new position the centre of
// mass under the pose) bit for bit.
TEST(WorldCollisionLanes, PlacedVerticesEqualThePlainProductsBitForBit)
{
    Random rnd;
    FormPtr box = BoxForm(BZ_SHAPE_ALIGNED_CUBOID, 0.5f);
    std::vector<bzV3> points;
    for (int i = 0; i < 12; i++)
        points.push_back(rnd.Vec(1.0f));
    FormPtr hull = HullForm(BZ_SHAPE_POLYHEDRON, points);
    ASSERT_TRUE(box && hull);
    bzV3 newer[16], older[16];
    uint32_t marks[16];
    BZDObject body{};
    for (int n = 0; n < 4000; n++)
    {
        const bool onBox = n % 2 == 0;
        const bool pushOut = n % 3 == 0;
        bzShape *shape = onBox ? box->firstShape : hull->firstShape;
        if (onBox)
            *bz_Shape_Bounds(shape) = rnd.Box();
        bzWorldCollisionState &st = bz_PhysWorld_State();
        st.newPlacement = rnd.Rigid(3.0f);
        st.previousPlacement = rnd.Rigid(3.0f);
        rnd.Spoil(&st.newPlacement, 0.05f);
        body.centreOfMass = rnd.Vec(0.3f);
        bzShapeWork work{};
        work.newPositions = newer;
        work.previousPositions = older;
        work.marks = marks;
        work.vertexRoom = 16;
        bz_PhysWorld_SetPushOutMode(pushOut ? 1 : 0);
        bz_PhysWorld_PrepareShape(shape, &work, &body);
        bz_PhysWorld_SetPushOutMode(0);
        std::vector<bzV3> local;
        if (onBox)
        {
            const bzBox &b = *bz_Shape_Bounds(shape);
            for (int i = 0; i < 8; i++)
                local.push_back(V(i & 1 ? b.max.x : b.min.x, i & 2 ? b.max.y : b.min.y,
                                  i & 4 ? b.max.z : b.min.z));
        }
        else
        {
            const bzHull *h = bz_Shape_Hull(shape);
            local.assign(h->vertices, h->vertices + h->vertexCount);
        }
        ASSERT_EQ(work.vertexCount, local.size()) << n;
        const bzM34 &before = pushOut ? st.newPlacement : st.previousPlacement;
        const bzV3 centre = Point(st.newPlacement, body.centreOfMass);
        for (size_t i = 0; i < local.size(); i++)
        {
            ASSERT_TRUE(SameBits(newer[i], pushOut ? centre : Point(st.newPlacement, local[i])))
                << n << " vertex " << i;
            ASSERT_TRUE(SameBits(older[i], Point(before, local[i]))) << n << " vertex " << i;
            ASSERT_EQ(marks[i], 0u);
        }
    }
}

// Random segments against random faces (crossing, ending within the tolerance short of the
// plane, running along it, from behind double-sided faces, not finite): the nearest hit is the
// plain loop's face, with its fraction, point and normal bit for bit, outputs untouched on a
// miss; faces flagged as no candidates are passed over. The test of one face gives the plain
// test's fraction, plane hit and normal too.
TEST(WorldCollisionLanes, NearestFaceHitEqualsThePlainLoopBitForBit)
{
    Random rnd;
    int32_t hits = 0, misses = 0;
    for (int n = 0; n < 20000; n++)
    {
        std::vector<bzCollisionFace> faces;
        const int count = int(rnd.Uniform(1.0f, 4.99f));
        for (int i = 0; i < count; i++)
            faces.push_back(rnd.Face(0.5f));
        bzCollisionFace &aim = faces[n % count];
        aim.flags &= rnd.Chance(0.9f) ? ~uint32_t(BZ_FACE_CANDIDATE) : ~0u;
        // Mostly starts just in front of (or behind) a face about a point of its triangle,
        // moving towards it.
        const float a = rnd.Uniform(-0.1f, 0.8f), b = rnd.Uniform(-0.1f, 1.0f - a);
        bzV3 start;
        for (int k = 0; k < 3; k++)
            start.v[k] = aim.corners[0].v[k] + a * (aim.corners[1].v[k] - aim.corners[0].v[k]) +
                         b * (aim.corners[2].v[k] - aim.corners[0].v[k]);
        const float side = rnd.Chance(0.8f) ? 1.0f : -1.0f;
        const float gap = rnd.Chance(0.1f) ? 0.0f : rnd.Uniform(0.0f, 0.3f);
        const float off = side * gap - (Dot(start, aim.normal) - aim.distance);
        start = V(start.x + off * aim.normal.x, start.y + off * aim.normal.y,
                  start.z + off * aim.normal.z);
        const float depth = gap + rnd.Uniform(-0.02f, 0.3f);
        bzV3 d = V(-side * depth * aim.normal.x + rnd.Uniform(-0.1f, 0.1f),
                   -side * depth * aim.normal.y + rnd.Uniform(-0.1f, 0.1f),
                   -side * depth * aim.normal.z + rnd.Uniform(-0.1f, 0.1f));
        if (rnd.Chance(0.05f))
            d = V(0, 0, 0);
        if (rnd.Chance(0.02f))
            (rnd.Chance(0.5f) ? start : d).v[n % 3] = rnd.Chance(0.5f) ? kNaN : kInf;
        bzV3 point = V(7, 7, 7), normal = V(7, 7, 7);
        float fraction = 9.0f;
        const bzCollisionFace *got = bz_PhysWorld_NearestFaceHitAt(faces.data(), count, &start, &d,
                                                                   &fraction, &point, &normal);
        int want = -1;
        float best = 2.0f;
        bzV3 wantPoint = V(7, 7, 7), wantNormal = V(7, 7, 7);
        for (int i = 0; i < count; i++)
        {
            if (faces[i].flags & BZ_FACE_CANDIDATE)
                continue;
            bzV3 hit = V(7, 7, 7), nrm = V(7, 7, 7), alone = hit, aloneNormal = nrm;
            const float t = PlainSegmentFace(start, d, faces[i], &hit, &nrm);
            // The single face test agrees too, its plane hit outside the triangle included.
            float aloneT = 9.0f;
            bz_SegmentIntersectFace(&d, &faces[i], &start, &alone, &aloneNormal, &aloneT);
            ASSERT_TRUE(SameBits(aloneT, t) && SameBits(alone, hit) && SameBits(aloneNormal, nrm))
                << n << " face " << i;
            if (t < best)
            {
                best = t;
                want = i;
                wantPoint = hit;
                wantNormal = nrm;
            }
        }
        ASSERT_EQ(got, want < 0 ? nullptr : &faces[size_t(want)]) << n;
        ASSERT_TRUE(SameBits(fraction, best)) << n;
        ASSERT_TRUE(SameBits(point, wantPoint) && SameBits(normal, wantNormal)) << n;
        (want < 0 ? misses : hits)++;
    }
    EXPECT_GT(hits, 3000);
    EXPECT_GT(misses, 3000);
}

// A body's collision with random poses and lump matrices, now and then not finite: the call's
// placements are the plain inverses and products bit for bit, and a pose that is not finite
// raises physics error 10 and gives nothing, as the plain check says.
TEST(WorldCollisionLanes, TheCallsPlacementsEqualThePlainProductsBitForBit)
{
    static std::vector<int32_t> codes;
    KeepAlive alive;
    bz_Phys_SetErrorHook([](int32_t code, const char *) { codes.push_back(code); });
    Random rnd;
    World w;
    int32_t spoiled = 0;
    for (int n = 0; n < 3000; n++)
    {
        bzM34 pose = rnd.Rigid(2.0f), lump = rnd.Rigid(2.0f);
        rnd.Spoil(n % 2 ? &pose : &lump, 0.1f);
        w.Place(BoxForm(BZ_SHAPE_ALIGNED_CUBOID, 0.5f), pose, lump);
        codes.clear();
        w.Collide();
        const bool finite = PlainFinite(pose) && PlainFinite(lump);
        ASSERT_EQ(codes.size(), finite ? 0u : 1u) << n;
        if (!finite)
        {
            ASSERT_EQ(codes[0], BZ_WORLD_ERROR_NAN);
            spoiled++;
            continue;
        }
        const bzWorldCollisionState &st = bz_PhysWorld_State();
        const bzM34 inverseLump = PlainInverse(lump);
        ASSERT_TRUE(SameBits(st.inverseLump, inverseLump)) << n;
        ASSERT_TRUE(SameBits(st.relative, PlainThen(pose, inverseLump))) << n;
        ASSERT_TRUE(SameBits(st.worldToBody, PlainInverse(pose))) << n;
    }
    bz_Phys_SetErrorHook(nullptr);
    EXPECT_GT(spoiled, 100);
}
