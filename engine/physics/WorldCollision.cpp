// The world collision of one body: face selection, shape preparation and dispatch by kind.
#include "physics/WorldCollision.h"

#include "collision/CollisionTolerance.h"
#include "collision/FaceList.h"
#include "collision/FaceRays.h"
#include "collision/FloatLanes.h"
#include "collision/Form.h"
#include "collision/PairMaths.h"
#include "collision/Shape.h"
#include "core/Memory.h"
#include "physics/Body.h"
#include "physics/PhysMemory.h"
#include "physics/ShapePoints.h"
#include "physics/WorldHandlers.h"

#include <cmath>
#include <cstddef>
#include <cstring>

using namespace bzPairMaths;

// The gathered faces of a collision cache are the collision faces, field for field.
static_assert(sizeof(bzDynFaceHit) == sizeof(bzCollisionFace), "face records differ in size");
static_assert(offsetof(bzDynFaceHit, flags) == offsetof(bzCollisionFace, flags), "flags");
static_assert(offsetof(bzDynFaceHit, plane) == offsetof(bzCollisionFace, normal), "plane");
static_assert(offsetof(bzDynFaceHit, plane) + sizeof(bzV3) == offsetof(bzCollisionFace, distance),
              "distance");
static_assert(offsetof(bzDynFaceHit, vertices) == offsetof(bzCollisionFace, corners), "corners");

namespace
{
bzWorldCollisionState gState;
float gLevel;
int32_t gEveryFaceBelow;
int32_t gPushOut;

constexpr int32_t kWorkStack = 1;
constexpr float kAgreeKey = 0.1f;
constexpr float kAgreeNormal = 0.95f;
constexpr float kNoHit = 2.0f;
constexpr uint32_t kCandidateMask = BZ_FACE_NEVER_COLLIDE;
constexpr uint32_t kBelowLevelMask = BZ_FACE_NEVER_COLLIDE | BZ_FACE_BELOW_LEVEL;
constexpr uint32_t kVertexBytes = 2 * sizeof(bzV3) + sizeof(uint32_t);

typedef void (*Handler)();
const Handler kCollide[BZ_SHAPE_KIND_COUNT] = {
    bz_PhysWorld_NullForm,
    bz_PhysWorld_CollidePolyhedron,
    bz_PhysWorld_CollidePolyhedron,
    bz_PhysWorld_CollidePolyhedron,
    bz_PhysWorld_CollidePolyhedron,
    bz_PhysWorld_CollideSphere,
    bz_PhysWorld_CollideTicTac,
    bz_PhysWorld_UnsupportedCollision,
    bz_PhysWorld_UnsupportedCollision,
    bz_PhysWorld_UnsupportedCollision,
    bz_PhysWorld_CollideRoundedPolyhedron,
    bz_PhysWorld_CollidePolyhedron,
};
const Handler kIntersect[BZ_SHAPE_KIND_COUNT] = {
    bz_PhysWorld_NullForm,
    bz_PhysWorld_IntersectPolyhedron,
    bz_PhysWorld_IntersectPolyhedron,
    bz_PhysWorld_IntersectPolyhedron,
    bz_PhysWorld_IntersectPolyhedron,
    bz_PhysWorld_IntersectSphere,
    bz_PhysWorld_IntersectTicTac,
    bz_PhysWorld_UnsupportedIntersection,
    bz_PhysWorld_UnsupportedIntersection,
    bz_PhysWorld_UnsupportedIntersection,
    bz_PhysWorld_IntersectRoundedPolyhedron,
    bz_PhysWorld_IntersectPolyhedron,
};

// Lane j of a sum of products below forms the same products and sums, in the same order, as
// the scalar formula for coordinate j (FloatLanes.h), so the lanes give its floats bit for bit.
typedef bzLanes Lanes;
typedef bzLaneMask LaneMask;

Lanes Load(const bzV3 &v)
{
    return bz_Lanes(v);
}

Lanes Splat(float x)
{
    return bz_Splat(x);
}

bzV3 Store(Lanes l)
{
    return bz_LanesV3(l);
}

int32_t Held(LaneMask m)
{
    return bz_LanesHeld(m);
}

LaneMask FiniteLanes(Lanes x)
{
    return bz_FiniteLanes(x);
}

// The four rows of a placement.
struct Rows
{
    Lanes r[4];
};

// From the twelve floats side by side; the fourth lanes hold the next row's first float.
Rows RowsOf(const bzM34 &m)
{
    static_assert(sizeof(bzM34) == 3 * sizeof(Lanes), "a placement is twelve floats");
    Lanes v[3];
    std::memcpy(v, &m, sizeof m);
    typedef int32_t Pick __attribute__((vector_size(16)));
    return Rows{{v[0], __builtin_shuffle(v[0], v[1], Pick{3, 4, 5, 6}),
                 __builtin_shuffle(v[1], v[2], Pick{2, 3, 4, 5}),
                 __builtin_shuffle(v[2], Pick{1, 2, 3, 3})}};
}

// p M with the translation row: ((x m0 + y m1) + z m2) + m3, as Point.
Lanes PointLanes(const Rows &m, const bzV3 &p)
{
    return Splat(p.x) * m.r[0] + Splat(p.y) * m.r[1] + Splat(p.z) * m.r[2] + m.r[3];
}

// v by the rotation rows only, as Direction.
Lanes DirectionLanes(const Rows &m, const bzV3 &v)
{
    return Splat(v.x) * m.r[0] + Splat(v.y) * m.r[1] + Splat(v.z) * m.r[2];
}

// The rotation's columns: lane k of column j is row k's coordinate j, so that
// x c0 + y c1 + z c2 gives in lane k the dot product of (x, y, z) with row k.
struct Columns
{
    Lanes c[3];
};

Columns ColumnsOf(const bzM34 &m)
{
    Columns out;
    for (int32_t j = 0; j < 3; j++)
        out.c[j] = Lanes{m.row[0].v[j], m.row[1].v[j], m.row[2].v[j], 0.0f};
    return out;
}

// Dot(a, row k) in lane k, the products summed as Dot sums them.
Lanes DotRows(const Columns &m, const bzV3 &a)
{
    return Splat(a.x) * m.c[0] + Splat(a.y) * m.c[1] + Splat(a.z) * m.c[2];
}

bool Finite(const bzM34 &m)
{
    Lanes v[3];
    std::memcpy(v, &m, sizeof m);
    return bz_AllLanesHeld(FiniteLanes(v[0]) & FiniteLanes(v[1]) & FiniteLanes(v[2]));
}

// The inverse of a rigid placement: the rotation transposed, the translation taken back
// (-Dot(t, row j) in coordinate j).
bzM34 InverseRigid(const bzM34 &m)
{
    const Columns c = ColumnsOf(m);
    bzM34 out;
    for (int32_t i = 0; i < 3; i++)
        out.row[i] = Store(c.c[i]);
    out.row[3] = Store(-DotRows(c, m.row[3]));
    return out;
}

// a followed by b.
bzM34 Then(const bzM34 &a, const bzM34 &b)
{
    const Rows rb = RowsOf(b);
    bzM34 out;
    for (int32_t i = 0; i < 3; i++)
        out.row[i] = Store(DirectionLanes(rb, a.row[i]));
    out.row[3] = Store(PointLanes(rb, a.row[3]));
    return out;
}

// The vertices a shape has to place (8 for the box kinds).
int32_t VertexNeed(const bzShape *shape)
{
    const bzHull *hull = nullptr;
    return bz_PhysShapePoints(shape, &hull);
}

// std::fmin and std::fmax, answered in place unless a value is not a number (the library then
// answers, as it does for any such pair): of two equal values (+0 and -0 too) the second.
inline float Least(float a, float b)
{
    return (a != a || b != b) ? std::fmin(a, b) : (a < b ? a : b);
}

inline float Most(float a, float b)
{
    return (a != a || b != b) ? std::fmax(a, b) : (a > b ? a : b);
}

bzBox EncloseCorners(const bzBox &box, const bzM34 &m)
{
    bzBox out;
    for (int32_t i = 0; i < 8; i++)
    {
        const bzV3 corner = V(i & 1 ? box.max.x : box.min.x, i & 2 ? box.max.y : box.min.y,
                              i & 4 ? box.max.z : box.min.z);
        const bzV3 p = Point(&m, corner);
        if (i == 0)
            out.min = out.max = p;
        for (int32_t k = 0; k < 3; k++)
        {
            out.min.v[k] = Least(out.min.v[k], p.v[k]);
            out.max.v[k] = Most(out.max.v[k], p.v[k]);
        }
    }
    return out;
}

// The box of the eight corners of box under m, as EncloseCorners gives it, from the least and
// most terms of each row. A corner's coordinate is the sum ((x m0 + y m1) + z m2) + t; rounded
// sums and products never go down as a term goes up, so the least (most) of the eight sums is
// the sum of the least (most) terms, the same sum one of the corners gives. Terms that are not
// all finite take the corners one by one (a not-a-number sum is passed over there). The three
// coordinates side by side.
bzBox Enclose(const bzBox &box, const bzM34 &m)
{
    const Rows r = RowsOf(m);
    Lanes lo[3], hi[3];
    LaneMask finite = FiniteLanes(r.r[3]);
    for (int32_t i = 0; i < 3; i++)
    {
        const Lanes a = Splat(box.min.v[i]) * r.r[i], b = Splat(box.max.v[i]) * r.r[i];
        finite &= FiniteLanes(a) & FiniteLanes(b);
        lo[i] = a < b ? a : b;
        hi[i] = a < b ? b : a;
    }
    if (Held(finite) != 7)
        return EncloseCorners(box, m);
    return bzBox{Store(lo[0] + lo[1] + lo[2] + r.r[3]), Store(hi[0] + hi[1] + hi[2] + r.r[3])};
}
} // namespace

bzWorldCollisionState &bz_PhysWorld_State()
{
    return gState;
}

bzCollisionFace *bz_PhysWorld_FaceSet(const BZDObject *body, int32_t *countOut)
{
    if (countOut)
        *countOut = 0;
    if (!body || !body->collisionCache)
        return nullptr;
    const bzDynFaceList *list = body->collisionCache->gatherList;
    if (!list || list->compact || !list->entries || list->count <= 0)
        return nullptr;
    if (countOut)
        *countOut = list->count;
    return static_cast<bzCollisionFace *>(list->entries);
}

void bz_PhysWorld_SetLevel(float level, int32_t everyFaceBelow)
{
    gLevel = level;
    gEveryFaceBelow = everyFaceBelow;
}

float bz_PhysWorld_Level()
{
    return gLevel;
}

int32_t bz_PhysWorld_EveryFaceBelow()
{
    return gEveryFaceBelow;
}

void bz_PhysWorld_SetPushOutMode(int32_t on)
{
    gPushOut = on;
}

int32_t bz_PhysWorld_ConsistentCount(const bzCollisionContact *rows, int32_t count)
{
    if (!rows || count <= 0)
        return 0;
    int32_t k = 1;
    while (k < count)
    {
        const bzCollisionContact &r = rows[k];
        const bool sameFeature = r.type == rows[0].type || !(r.key - kAgreeKey > rows[0].key);
        if (!(sameFeature && Dot(r.normal, rows[0].normal) > kAgreeNormal))
            break;
        k++;
    }
    return k;
}

int32_t bz_PhysWorld_SelectFaces(const bzShape *shape, bzShapeWork *work, const bzM34 *relative,
                                 BZDObject *body)
{
    bzWorldCollisionState &st = gState;
    const bool aboveLevel =
        gLevel != 0.0f && body && body->bodyBox.min.y > gLevel && gEveryFaceBelow;
    const uint32_t mask = aboveLevel ? kBelowLevelMask : kCandidateMask;
    const bzBox *bounds = bz_Shape_Bounds(shape);
    const float tol = bzCollisionTolerance;
    bzBox swept{};
    if (bounds)
    {
        swept = Enclose(*bounds, *relative);
        const Lanes a = Load(swept.min), b = Load(bounds->min);
        const Lanes c = Load(swept.max), d = Load(bounds->max);
        // Least and Most lane by lane while every value is a number.
        if (Held((a == a) & (b == b) & (c == c) & (d == d)) == 7)
        {
            swept.min = Store((a < b ? a : b) - tol);
            swept.max = Store((c > d ? c : d) + tol);
        }
        else
            for (int32_t k = 0; k < 3; k++)
            {
                swept.min.v[k] = Least(swept.min.v[k], bounds->min.v[k]) - tol;
                swept.max.v[k] = Most(swept.max.v[k], bounds->max.v[k]) + tol;
            }
    }
    if (work)
        work->sweptBox = swept;
    const bzM34 &lump = st.previousPlacement;
    const Lanes low = Load(swept.min), high = Load(swept.max);
    const bzV3 centre = Store(PointLanes(RowsOf(lump), Store((low + high) * 0.5f)));
    const Lanes half = (high - low) * 0.5f;
    const Columns axes = ColumnsOf(lump);
    const LaneMask magnitude = {0x7fffffff, 0x7fffffff, 0x7fffffff, 0x7fffffff};
    int32_t candidates = 0;
    for (int32_t i = 0; i < st.faceCount; i++)
    {
        bzCollisionFace &face = st.faces[i];
        face.flags |= BZ_FACE_CANDIDATE;
        if (face.flags & mask)
            continue;
        if (bounds)
        {
            // The box on the face's normal: wholly on one side of the plane?
            const float mid = Dot(face.normal, centre) - face.distance;
            const Lanes along =
                std::bit_cast<Lanes>(std::bit_cast<LaneMask>(DotRows(axes, face.normal)) &
                                     magnitude) *
                half;
            const float reach = 0.0f + along[0] + along[1] + along[2];
            if (mid - reach > 0.0f || mid + reach < 0.0f)
                continue;
            // The face on each of the box's axes: wholly beyond it?
            LaneMask below = {-1, -1, -1, -1}, above = below;
            for (const bzV3 &corner : face.corners)
            {
                const Lanes x = DotRows(axes, Sub(corner, lump.row[3]));
                below &= x < low;
                above &= x > high;
            }
            if (Held(below | above))
                continue;
        }
        face.flags &= ~BZ_FACE_CANDIDATE;
        candidates++;
    }
    return candidates;
}

void bz_PhysWorld_PrepareShape(const bzShape *shape, bzShapeWork *work, BZDObject *body)
{
    bzWorldCollisionState &st = gState;
    work->vertexCount = 0;
    work->edgeCount = 0;
    work->cleared = 0;
    work->edges = nullptr;
    bzV3 box[8];
    const bzV3 *local = nullptr;
    int32_t n = 0;
    switch (shape->kind)
    {
    case BZ_SHAPE_ALIGNED_CUBOID:
    case BZ_SHAPE_CRUSHABLE_CUBOID:
    {
        // A crushable cuboid collides as the box of its bounds.
        const bzBox &b = *bz_Shape_Bounds(shape);
        for (int32_t i = 0; i < 8; i++)
            box[i] =
                V(i & 1 ? b.max.x : b.min.x, i & 2 ? b.max.y : b.min.y, i & 4 ? b.max.z : b.min.z);
        local = box;
        n = 8;
        work->edges = bzgCuboidEdges;
        work->edgeCount = BZ_CUBOID_EDGE_COUNT;
        break;
    }
    case BZ_SHAPE_POLYHEDRON:
    case BZ_SHAPE_WIRE_FRAME:
    case BZ_SHAPE_POLYGON:
    case BZ_SHAPE_ROUNDED_POLYHEDRON:
    {
        const bzHull *hull = bz_Shape_Hull(shape);
        n = hull->vertexCount > 0 ? hull->vertexCount : 0;
        local = hull->vertices;
        work->edges = hull->edges;
        work->edgeCount = uint16_t(hull->edgeCount > 0 && hull->edges ? hull->edgeCount : 0);
        break;
    }
    case BZ_SHAPE_SPHERE:
        local = &static_cast<const bzSphereShape *>(shape)->centre;
        n = 1;
        break;
    case BZ_SHAPE_TIC_TAC:
        box[0] = static_cast<const bzTicTacShape *>(shape)->segmentStart;
        box[1] = static_cast<const bzTicTacShape *>(shape)->segmentEnd;
        local = box;
        n = 2;
        break;
    default: bz_Phys_ReportError(BZ_WORLD_ERROR_UNPREPARED_KIND, nullptr); return;
    }
    if (!local || n > int32_t(work->vertexRoom))
    {
        work->edgeCount = 0;
        return;
    }
    const Rows placed = RowsOf(st.newPlacement);
    const Rows previous = gPushOut ? placed : RowsOf(st.previousPlacement);
    const bzV3 centre = body ? Store(PointLanes(placed, body->centreOfMass)) : V(0, 0, 0);
    for (int32_t i = 0; i < n; i++)
    {
        work->newPositions[i] = gPushOut ? centre : Store(PointLanes(placed, local[i]));
        work->previousPositions[i] = Store(PointLanes(previous, local[i]));
        work->marks[i] = 0;
    }
    work->vertexCount = uint16_t(n);
}

const bzCollisionFace *bz_PhysWorld_NearestFaceHitAt(const bzCollisionFace *faces, int32_t count,
                                                     const bzV3 *origin, const bzV3 *delta,
                                                     float *fractionOut, bzV3 *pointOut,
                                                     bzV3 *normalOut)
{
    const bzCollisionFace *best = nullptr;
    float bestFraction = kNoHit;
    // A segment that is not finite hits no face.
    if (Held(FiniteLanes(Load(*origin)) & FiniteLanes(Load(*delta))) != 7)
        count = 0;
    for (int32_t i = 0; faces && i < count; i++)
    {
        const bzCollisionFace &face = faces[i];
        if (face.flags & BZ_FACE_CANDIDATE)
            continue;
        bzV3 hit, normal;
        float fraction = kNoHit;
        bz_SegmentIntersectFaceFinite(delta, &face, origin, &hit, &normal, &fraction);
        if (fraction < bestFraction)
        {
            bestFraction = fraction;
            best = &face;
            if (pointOut)
                *pointOut = hit;
            if (normalOut)
                *normalOut = normal;
        }
    }
    if (fractionOut)
        *fractionOut = bestFraction;
    return best;
}

const bzCollisionFace *bz_PhysWorld_NearestFaceHit(const bzV3 *origin, const bzV3 *delta,
                                                   float *fractionOut, bzV3 *pointOut,
                                                   bzV3 *normalOut)
{
    return bz_PhysWorld_NearestFaceHitAt(gState.faces, gState.faceCount, origin, delta, fractionOut,
                                         pointOut, normalOut);
}

bzV3 bz_PhysWorld_BodyPointAt(float t, const bzV3 *world)
{
    const bzWorldCollisionState &st = gState;
    t = t > 0.0f ? (t < 1.0f ? t : 1.0f) : 0.0f;
    bzV3 r[4];
    for (int32_t i = 0; i < 4; i++)
        r[i] = AddScaled(Scale(st.newPlacement.row[i], 1.0f - t), st.previousPlacement.row[i], t);
    const bzV3 y = Sub(*world, r[3]);
    const bzV3 c0 = Cross(r[1], r[2]), c1 = Cross(r[2], r[0]), c2 = Cross(r[0], r[1]);
    const float det = Dot(r[0], c0);
    if (!(std::fabs(det) > 1e-6f))
        return Point(&st.worldToBody, *world);
    return Scale(V(Dot(y, c0), Dot(y, c1), Dot(y, c2)), 1.0f / det);
}

void bz_PhysWorld_ContactToBody(bzCollisionContact *contact)
{
    const bzWorldCollisionState &st = gState;
    contact->point = bz_PhysWorld_BodyPointAt(contact->key, &contact->point);
    contact->otherPoint = bz_PhysWorld_BodyPointAt(contact->key, &contact->otherPoint);
    contact->normal = Direction(&st.worldToBody, contact->normal);
}

int32_t bz_PhysWorld_AddContact(float key, const bzV3 *point, const bzV3 *normal,
                                uint32_t featureCode, const bzCollisionFace *face,
                                const bzV3 *secondPoint)
{
    bzWorldCollisionState &st = gState;
    if (!st.out || !st.body)
        return st.count;
    bz_PhysContacts_SetFeature(st.shape, st.corner);
    st.count = bz_PhysContacts_Insert(st.out, key, point, normal, st.count, st.body, featureCode,
                                      face, secondPoint);
    return st.count;
}

int32_t bz_PhysWorld_InsertRecord(const bzCollisionContact *record, uint32_t featureCode)
{
    if (!record)
        return gState.count;
    return bz_PhysWorld_AddContact(record->key, &record->point, &record->normal, featureCode,
                                   gState.face, nullptr);
}

int32_t bz_PhysWorld_CollideObject(int32_t startIndex, BZDObject *body,
                                   bzCollisionContact *contactArray)
{
    if (!body || !body->collisionCache || !contactArray)
        return 0;
    int32_t faceCount = 0;
    bzCollisionFace *faces = bz_PhysWorld_FaceSet(body, &faceCount);
    if (!faces || faceCount <= 0)
        return 0;
    if (gLevel != 0.0f && body->bodyBox.min.y > gLevel && gEveryFaceBelow)
        return 0;
    if (startIndex < 0 || startIndex > BZ_WORLD_START_INDEX_LIMIT)
        return 0;
    const bzForm *form = body->form;
    if (!form || !form->firstShape)
        return 0;

    bzWorldCollisionState &st = gState;
    st = bzWorldCollisionState{};
    st.newPlacement = body->startTransform;
    st.previousPlacement = body->transform ? *body->transform : body->startTransform;
    if (!Finite(st.newPlacement) || !Finite(st.previousPlacement))
    {
        bz_Phys_ReportError(BZ_WORLD_ERROR_NAN, BZ_CONTACT_ERROR_NAN_TEXT);
        return 0;
    }
    st.inverseLump = InverseRigid(st.previousPlacement);
    st.relative = Then(st.newPlacement, st.inverseLump);
    st.worldToBody = InverseRigid(st.newPlacement);
    st.body = body;
    st.out = contactArray + startIndex;
    st.faces = faces;
    st.faceCount = faceCount;
    st.pushOut = gPushOut;

    // The work record: the header and the vertex data of the largest shape.
    uint32_t room = form->workSize / kVertexBytes;
    for (const bzShape *s = form->firstShape; s; s = s->next)
    {
        const uint32_t need = uint32_t(VertexNeed(s));
        if (need > room)
            room = need;
    }
    const uint32_t bytes = uint32_t(sizeof(bzShapeWork)) + room * kVertexBytes;
    auto *work = static_cast<bzShapeWork *>(bz_TempStack_Alloc(kWorkStack, bytes, 0));
    if (!work)
        return 0;
    *work = bzShapeWork{};
    auto *data = reinterpret_cast<bzV3 *>(work + 1);
    work->newPositions = data;
    work->previousPositions = data + room;
    work->marks = reinterpret_cast<uint32_t *>(data + 2 * room);
    work->vertexRoom = room;
    st.work = work;

    int32_t intersected = 0;
    for (const bzShape *s = form->firstShape; s; s = s->next)
    {
        st.shape = s;
        st.corner = 0;
        st.face = nullptr;
        if (bz_PhysWorld_SelectFaces(s, work, &st.relative, body) == 0)
            continue;
        bz_PhysWorld_PrepareShape(s, work, body);
        const uint32_t kind = s->kind < BZ_SHAPE_KIND_COUNT ? s->kind : BZ_SHAPE_CUBOID;
        if (body->worldIntersecting)
        {
            st.intersectionFound = 0;
            kIntersect[kind]();
            if (st.intersectionFound)
            {
                intersected = 1;
                continue;
            }
        }
        kCollide[kind]();
    }
    body->worldIntersecting = uint8_t(intersected);
    bz_TempStack_Free(kWorkStack, work);
    st.work = nullptr;

    const int32_t count = st.count;
    if (count <= 0)
        return 0;
    const int32_t used = bz_PhysWorld_ConsistentCount(st.out, count);
    body->angularVelocity = body->savedAngularVelocity;
    return used;
}
