// The object pair collision: body order, the relative transforms, the prepared points, the
// overlap and contact passes and what they leave of the contacts.
#include "physics/PairCollision.h"

#include "collision/CollisionTolerance.h"
#include "collision/FloatLanes.h"
#include "collision/PairMaths.h"
#include "core/Error.h"
#include "core/Memory.h"
#include "maths/Geometry.h"
#include "maths/Matrix.h"
#include "maths/Vector.h"
#include "physics/Body.h"
#include "physics/Joint.h"
#include "physics/PairHandlers.h"
#include "physics/PhysMemory.h"
#include "physics/PhysSettings.h"
#include "physics/ShapePoints.h"

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

#if defined(__SSE__)
#include <xmmintrin.h>
#endif

using namespace bzPairMaths;

namespace
{
constexpr int32_t kStack = 1;
constexpr float kFreeTime = 2.0f;
constexpr float kAgreement = 0.95f;
constexpr float kTinyDirectionSq = 1.4210855e-14f;

bzPhysCollPair gPair;

void ReportForm(const char *text)
{
    bzgErrorFile = "bz_PhysObjectColl";
    bzgErrorLine = 0;
    bz_ReportError("Physics", "%s", text);
}

// Three coordinates side by side; the fourth lane is left over.
using Lanes = bzLanes;
using LaneMask = bzLaneMask;

constexpr int32_t kBoxCorners = 8;

// The eight corners of the box (x fastest, as bz_Box_Corner numbers them) under m, each equal
// to Point(m, corner): the products of a row with the box's two sides are shared by the four
// corners that use them, and each coordinate is still summed x, y, z, then the translation.
void BoxCorners(const bzBox &box, const bzM34 *m, Lanes out[kBoxCorners])
{
    const Lanes r0 = bz_Lanes(m->row[0]), r1 = bz_Lanes(m->row[1]), r2 = bz_Lanes(m->row[2]);
    const Lanes r3 = bz_Lanes(m->row[3]);
    const Lanes x[2] = {bz_Splat(box.min.x) * r0, bz_Splat(box.max.x) * r0};
    const Lanes y[2] = {bz_Splat(box.min.y) * r1, bz_Splat(box.max.y) * r1};
    const Lanes z[2] = {bz_Splat(box.min.z) * r2, bz_Splat(box.max.z) * r2};
    const Lanes xy[4] = {x[0] + y[0], x[1] + y[0], x[0] + y[1], x[1] + y[1]};
    for (int32_t i = 0; i < kBoxCorners; i++)
        out[i] = (xy[i & 3] + z[i >> 2]) + r3;
}

// Writes the eight corners' start and end positions as prepared points, as FromLanes would. Each
// sixteen-byte store carries its spare lane into the next coordinate, which the next store
// writes over; the last end goes as three floats, so nothing past the eighth point changes.
void StoreCorners(bzPhysShapePoint *out, const Lanes start[kBoxCorners],
                  const Lanes end[kBoxCorners])
{
    static_assert(sizeof(bzPhysShapePoint) == 6 * sizeof(float) && sizeof(Lanes) == 16);
    unsigned char *bytes = reinterpret_cast<unsigned char *>(out);
    for (int32_t i = 0; i < kBoxCorners; i++)
    {
        std::memcpy(bytes + i * sizeof(bzPhysShapePoint), &start[i], sizeof(Lanes));
        if (i + 1 < kBoxCorners)
            std::memcpy(bytes + i * sizeof(bzPhysShapePoint) + sizeof(bzV3), &end[i],
                        sizeof(Lanes));
    }
    out[kBoxCorners - 1].end = bz_LanesV3(end[kBoxCorners - 1]);
}

// Points the preparation gives a shape; -1 for a shape past the vertex limit.
int32_t PointCount(const bzShape *shape)
{
    const bzHull *hull = nullptr;
    const int32_t n = bz_PhysShapePoints(shape, &hull);
    if (!hull)
        return n;
    if (n < 1 || !hull->vertices)
        return 0;
    return n > BZ_PHYS_PAIR_SHAPE_POINTS ? -1 : n;
}

// The prepare entries: the shape's points under the end and start transforms.
int32_t Prepare(const bzShape *shape, bzPhysShapePoint *out, const bzM34 *endM, const bzM34 *startM)
{
    if (shape->kind == BZ_SHAPE_NULL)
    {
        ReportForm("Null form");
        return 0;
    }
    if (shape->kind >= BZ_SHAPE_CUBOID && shape->kind <= BZ_SHAPE_HALF_SPACE)
    {
        ReportForm("Unsupported form");
        return 0;
    }
    if (shape->kind >= BZ_SHAPE_KIND_COUNT)
    {
        ReportForm("Unsupported form");
        return 0;
    }
    const int32_t n = PointCount(shape);
    if (shape->kind == BZ_SHAPE_ALIGNED_CUBOID || shape->kind == BZ_SHAPE_CRUSHABLE_CUBOID)
    {
        // The corners, as bz_PhysColl_OwnPoint gives them, without asking for the bounds again.
        Lanes start[kBoxCorners], end[kBoxCorners];
        BoxCorners(*bz_Shape_Bounds(shape), startM, start);
        BoxCorners(*bz_Shape_Bounds(shape), endM, end);
        StoreCorners(out, start, end);
        return kBoxCorners;
    }
    for (int32_t i = 0; i < n; i++)
    {
        const bzV3 own = bz_PhysColl_OwnPoint(shape, i);
        out[i].start = Point(startM, own);
        out[i].end = Point(endM, own);
    }
    return n < 0 ? 0 : n;
}

int32_t ShapeCount(const bzForm *form)
{
    int32_t n = 0;
    for (const bzShape *s = form->firstShape; s; s = s->next)
        n++;
    return n;
}

// Points of a form, or -1 when a shape is past the limit.
int32_t FormPoints(const bzForm *form)
{
    int32_t n = 0;
    for (const bzShape *s = form->firstShape; s; s = s->next)
    {
        if (s->kind >= BZ_SHAPE_KIND_COUNT)
            continue;
        const int32_t k = PointCount(s);
        if (k < 0)
            return -1;
        n += k;
    }
    return n;
}

bool FixedInTranslation(const BZDObject *b)
{
    return (b->physicsFlags & BZ_PHYS_INF_MASS) ||
           (b->worldJoint && (b->worldJoint->kind & 3) == 3);
}

bool FixedInRotation(const BZDObject *b)
{
    return (b->physicsFlags & BZ_PHYS_INF_MI) ||
           (b->worldJoint && ((b->worldJoint->kind >> 8) & 3) == 3);
}

bool FullyFixed(const BZDObject *b)
{
    return FixedInTranslation(b) && FixedInRotation(b);
}

bool JointLocked(const BZDObject *b)
{
    return b->parentJoint && (b->parentJoint->kind & 3) == 3;
}

struct Prepared
{
    bzPhysShapePoint *points[2];
    uint16_t *counts[2];
};

// Runs the table over every shape pair, first body outer.
void RunTable(const Prepared &p, bool overlapPass)
{
    bzPhysCollPair &s = gPair;
    int32_t i = 0, offset1 = 0;
    for (const bzShape *a = s.body[0]->form->firstShape; a; a = a->next, i++)
    {
        const int32_t n1 = p.counts[0][i];
        int32_t j = 0, offset2 = 0;
        for (const bzShape *b = s.body[1]->form->firstShape; b; b = b->next, j++)
        {
            const int32_t n2 = p.counts[1][j];
            s.shape[0] = a;
            s.shape[1] = b;
            s.resting = 0;
            const uint32_t row = a->kind < BZ_SHAPE_KIND_COUNT ? a->kind : BZ_SHAPE_CUBOID;
            const uint32_t column = b->kind < BZ_SHAPE_KIND_COUNT ? b->kind : BZ_SHAPE_CUBOID;
            bzPhysPairHandler h = overlapPass ? bz_PhysColl_OverlapHandler(row, column)
                                              : bz_PhysColl_ContactHandler(row, column);
            h(p.points[0] + offset1, p.points[1] + offset2, n1, n2);
            offset2 += n2;
        }
        offset1 += n1;
    }
}

void CentreDirections()
{
    bzPhysCollPair &s = gPair;
    const bzBox &box1 = s.body[0]->form->bounds;
    const bzBox &box2 = s.body[1]->form->bounds;
    const bzV3 mid1 = Scale(Add(box1.min, box1.max), 0.5f);
    const bzV3 mid2 = Point(&s.toFirst[0], Scale(Add(box2.min, box2.max), 0.5f));
    bzV3 d = Sub(mid1, mid2);
    const float l2 = LengthSq(d);
    if (!(l2 >= kTinyDirectionSq))
        d = V(1.0f, 0.0f, 0.0f);
    else
        d = Scale(d, 1.0f / std::sqrt(l2));
    s.centreDirection[0] = d;
    s.centreDirection[1] = Scale(Direction(&s.toSecond[0], d), -1.0f);
}

int32_t OverlapResult()
{
    bzPhysCollPair &s = gPair;
    for (BZDObject *b : s.body)
    {
        if (b->collisionState & BZ_BODY_INTERPENETRATING)
            b->collisionState |= BZ_BODY_OVERLAPPING;
        else
            b->collisionState &= ~BZ_BODY_OVERLAPPING;
    }
    BZDObject *a = s.body[0], *b = s.body[1];
    if (s.count == 0)
        return 0;
    if (a->parent && a->parent == b->parent)
        return 0;
    if (FullyFixed(a) && FullyFixed(b))
        return 0;
    if (a->parent && b->parent && JointLocked(a) && JointLocked(b))
        return 0;
    return s.count;
}

int32_t ContactResult()
{
    bzPhysCollPair &s = gPair;
    BZDObject *a = s.body[0], *b = s.body[1];
    if (s.count == 0 || (FullyFixed(a) && FullyFixed(b)))
        return 0;
    const bzCollisionContact &first = s.out[0];
    int32_t kept = 1;
    for (; kept < s.count; kept++)
    {
        const bzCollisionContact &c = s.out[kept];
        const bzV3 ref = c.body == first.body ? first.normal : Scale(first.otherNormal, -1.0f);
        if (!(Dot(c.normal, ref) >= kAgreement))
            break;
    }
    int32_t count = kept;
    if (a->linkPartner == b && a->parent && a->parent->linkPartner == b)
        count = bz_PhysObject_FilterJointContacts(a, s.out, count);
    if (b->linkPartner == a && b->parent && b->parent->linkPartner == a)
        count = bz_PhysObject_FilterJointContacts(b, s.out, count);
    return count;
}
} // namespace

bzPhysCollPair &bz_PhysColl_Pair()
{
    return gPair;
}

void bz_Shape_GetCorner(const bzShape *shape, int32_t index, bzV3 *out)
{
    switch (shape->kind)
    {
    case BZ_SHAPE_ALIGNED_CUBOID:
        if (index >= 0 && index < 8)
            bz_Box_Corner(bz_Shape_Bounds(shape), index, out);
        return;
    case BZ_SHAPE_POLYHEDRON:
    case BZ_SHAPE_WIRE_FRAME:
    case BZ_SHAPE_POLYGON:
    {
        const bzHull *hull = bz_Shape_Hull(shape);
        if (index >= 0 && index < hull->vertexCount && hull->vertices)
            *out = hull->vertices[index];
        return;
    }
    default: return;
    }
}

bzV3 bz_PhysColl_OwnPoint(const bzShape *shape, int32_t index)
{
    bzV3 p = V(0.0f, 0.0f, 0.0f);
    switch (shape->kind)
    {
    case BZ_SHAPE_ALIGNED_CUBOID:
    case BZ_SHAPE_CRUSHABLE_CUBOID:
    {
        // The corner of the bounds, x fastest, as bz_Box_Corner gives it.
        const bzBox &box = static_cast<const bzBoundedShape *>(shape)->bounds;
        const int32_t k = index & 7;
        p = V((k & 1) ? box.max.x : box.min.x, (k & 2) ? box.max.y : box.min.y,
              (k & 4) ? box.max.z : box.min.z);
        break;
    }
    case BZ_SHAPE_POLYHEDRON:
    case BZ_SHAPE_WIRE_FRAME:
    case BZ_SHAPE_POLYGON:
    case BZ_SHAPE_ROUNDED_POLYHEDRON:
    {
        const bzHull *hull = bz_Shape_Hull(shape);
        if (index >= 0 && index < hull->vertexCount && hull->vertices)
            p = hull->vertices[index];
        break;
    }
    case BZ_SHAPE_SPHERE: p = static_cast<const bzSphereShape *>(shape)->centre; break;
    case BZ_SHAPE_TIC_TAC:
    {
        const auto *t = static_cast<const bzTicTacShape *>(shape);
        p = index ? t->segmentEnd : t->segmentStart;
        break;
    }
    default: break;
    }
    return p;
}

const bzHullEdge *bz_PhysColl_Edges(const bzShape *shape, int32_t *count)
{
    switch (shape->kind)
    {
    case BZ_SHAPE_ALIGNED_CUBOID:
    case BZ_SHAPE_CRUSHABLE_CUBOID: *count = BZ_CUBOID_EDGE_COUNT; return bzgCuboidEdges;
    case BZ_SHAPE_POLYHEDRON:
    case BZ_SHAPE_WIRE_FRAME:
    case BZ_SHAPE_POLYGON:
    case BZ_SHAPE_ROUNDED_POLYHEDRON:
    {
        const bzHull *hull = bz_Shape_Hull(shape);
        *count = hull->edges ? hull->edgeCount : 0;
        return hull->edges;
    }
    default: *count = 0; return nullptr;
    }
}

float bz_PhysColl_Rounding(const bzShape *shape)
{
    if (shape->kind != BZ_SHAPE_ROUNDED_POLYHEDRON)
        return 0.0f;
    return static_cast<const bzPolyhedronShape *>(shape)->roundingRadius;
}

bzV3 bz_PhysColl_NormalToWorld(int32_t body, const bzV3 &normal, float t)
{
    const float u = t < 0.0f ? 0.0f : (t > 1.0f ? 1.0f : t);
    const bzV3 a = Direction(&gPair.start[body], normal);
    const bzV3 b = Direction(&gPair.end[body], normal);
    bzV3 w = AddScaled(Scale(a, 1.0f - u), b, u);
    const float l2 = LengthSq(w);
    return l2 > 0.0f ? Scale(w, 1.0f / std::sqrt(l2)) : a;
}

bzV3 bz_PhysColl_NormalFromWorld(int32_t body, const bzV3 &world, float t)
{
    const float u = t < 0.0f ? 0.0f : (t > 1.0f ? 1.0f : t);
    bzV3 a, b;
    bz_M34_InverseRotateV3Into(&gPair.start[body], &a, &world);
    bz_M34_InverseRotateV3Into(&gPair.end[body], &b, &world);
    bzV3 w = AddScaled(Scale(a, 1.0f - u), b, u);
    const float l2 = LengthSq(w);
    return l2 > 0.0f ? Scale(w, 1.0f / std::sqrt(l2)) : a;
}

void bz_PhysColl_Add(int32_t body1, const bzV3 &worldNormal, float time, const bzV3 &point1,
                     const bzV3 &point2, uint32_t tag)
{
    bzPhysCollPair &s = gPair;
    s.count = bz_PhysColl_AddContact(s.out, &worldNormal, time, &point1, &point2, s.count,
                                     s.body[body1], s.body[1 - body1], tag);
}

namespace
{
// Where a contact between two round features lies: n the normal in body 1's frame (from body 2
// towards body 1, made unit here), c the centre on body 1, matched the centre on body 2 (its
// frame). Writes the world normal (n by body 1's rotations blended at t), point 1 = c - r1 n and
// point 2 = matched + r2 x (the world normal in body 2's frame). False for a normal of no direction
// or a radius that is negative or not a number.
bool RadiusPoints(int32_t body1, const bzV3 &normal, const bzV3 &c, const bzV3 &matched, float t,
                  float r1, float r2, bzV3 *world, bzV3 *point1, bzV3 *point2)
{
    const float nn = LengthSq(normal);
    if (!(nn > 0.0f) || !std::isfinite(nn) || !(r1 >= 0.0f) || !(r2 >= 0.0f) ||
        !std::isfinite(r1) || !std::isfinite(r2))
        return false;
    const bzV3 n = Scale(normal, 1.0f / std::sqrt(nn));
    *world = bz_PhysColl_NormalToWorld(body1, n, t);
    const bzV3 other = bz_PhysColl_NormalFromWorld(1 - body1, *world, t);
    *point1 = AddScaled(c, n, -r1);
    *point2 = AddScaled(matched, other, r2);
    return true;
}
} // namespace

int32_t bz_PhysColl_AddRadiusContact(int32_t body1, const bzV3 &normal, const bzV3 &centre,
                                     const bzV3 &matched, float time, float r1, float r2)
{
    bzPhysCollPair &s = gPair;
    bzV3 world, p1, p2;
    if ((body1 == 0 || body1 == 1) &&
        RadiusPoints(body1, normal, centre, matched, time, r1, r2, &world, &p1, &p2))
        bz_PhysColl_Add(body1, world, time, p1, p2, BZ_PHYS_CONTACT_SPHERE);
    return s.count;
}

void bz_PhysColl_AddTouch(int32_t fixed, const bzPairTouch &touch, const bzV3 &fixedPoint,
                          float fixedRadius, const bzV3 &movingOwnPoint, float movingRadius,
                          uint32_t tag)
{
    // The same points as a radius contact of the fixed body, added with the moving body as the
    // row body.
    bzV3 world, onFixed, onMoving;
    if (RadiusPoints(fixed, Scale(touch.normal, -1.0f), fixedPoint, movingOwnPoint, touch.time,
                     fixedRadius, movingRadius, &world, &onFixed, &onMoving))
        bz_PhysColl_Add(1 - fixed, Scale(world, -1.0f), touch.time, onMoving, onFixed, tag);
}

int32_t bz_PhysColl_AddSphereFaceContact(int32_t faceBody, const bzV3 &normal, float time,
                                         const bzV3 &hit, const bzV3 &centre, float radius)
{
    bzPhysCollPair &s = gPair;
    if (faceBody != 0 && faceBody != 1)
        return s.count;
    bzPairTouch touch;
    touch.time = time;
    touch.fixedParam = 0.0f;
    touch.movingParam = 0.0f;
    touch.normal = normal;
    bz_PhysColl_AddTouch(faceBody, touch, hit, 0.0f, centre, radius,
                         BZ_PHYS_CONTACT_SPHERE_POLYHEDRON);
    return s.count;
}

int32_t bz_PhysColl_ReAddContact(const bzCollisionContact *stored)
{
    bzPhysCollPair &s = gPair;
    const int32_t body1 = stored->body == s.body[1] ? 1 : 0;
    const BZDObject *b1 = s.body[body1], *b2 = s.body[1 - body1];
    const bzV3 world = Direction(&b1->startTransform, stored->normal);
    bz_PhysColl_Add(body1, world, stored->key, Add(stored->point, b1->centreOfMass),
                    Add(stored->otherPoint, b2->centreOfMass), BZ_PHYS_CONTACT_VERTEX_FACE);
    return s.count;
}

void bz_PhysColl_MarkInside(int32_t own)
{
    bzPhysCollPair &s = gPair;
    const float m0 = s.body[own]->mass, m1 = s.body[1 - own]->mass;
    BZDObject *b = m1 < m0 ? s.body[1 - own] : s.body[own];
    b->collisionState |= BZ_BODY_INTERPENETRATING | BZ_BODY_OVERLAPPING;
}

int32_t bz_PhysColl_AddContact(bzCollisionContact *list, const bzV3 *worldNormal, float time,
                               const bzV3 *point1, const bzV3 *point2, int32_t count,
                               BZDObject *body1, BZDObject *body2, uint32_t tag)
{
    if (count < 0 || count > BZ_CONTACTS_PER_BODY)
        return count;
    const int32_t before = count;
    if (count < BZ_CONTACTS_PER_BODY)
    {
        list[count].key = kFreeTime;
        count++;
    }
    int32_t j = -1;
    for (int32_t i = 0; i < count; i++)
        if (list[i].key > time)
        {
            j = i;
            break;
        }
    if (j < 0)
    {
        if (list[count - 1].key == kFreeTime && before < count)
        {
            // The free mark holds no contact: it leaves the count again.
            bz_Phys_ReportError(BZ_PHYS_ERROR_NAN, BZ_CONTACT_ERROR_NAN_TEXT);
            return before;
        }
        return count;
    }
    for (int32_t i = count - 1; i > j; i--)
        list[i] = list[i - 1];
    bzCollisionContact &c = list[j];
    c = bzCollisionContact{};
    c.key = time;
    c.body = body1;
    c.otherBody = body2;
    c.feature = nullptr;
    c.type = tag;
    const bool firstIsBody1 = body1 == gPair.body[0];
    c.shape = gPair.shape[firstIsBody1 ? 0 : 1];
    c.otherShape = gPair.shape[firstIsBody1 ? 1 : 0];
    c.point = Sub(*point1, body1->centreOfMass);
    c.otherPoint = Sub(*point2, body2->centreOfMass);
    bz_M34_InverseRotateV3Into(&body1->startTransform, &c.normal, worldNormal);
    bz_M34_InverseRotateV3Into(&body2->startTransform, &c.otherNormal, worldNormal);
    return count;
}

namespace
{
// How far beyond the other shape's box a point may lie and still take part in the pair's tests.
float ClipMargin()
{
    return 1.5f * bzCollisionTolerance;
}

// The outcodes the early clip of the current pair call made, and what they were made of: the
// handlers' own clip of the same points against the same shapes with the same radii and margin
// takes them from here in place of working them out again. Valid only during the call that
// made them.
struct KeptClip
{
    bool valid;
    const bzPhysShapePoint *points[2];
    int32_t counts[2];
    const bzShape *shapes[2];
    float radius[2];
    float margin;
    uint8_t codes[2][BZ_PHYS_PAIR_SHAPE_POINTS];
};

KeptClip gKeptClip;

// Copies count outcodes; a box's eight in one move.
void CopyCodes(uint8_t *to, const uint8_t *from, int32_t count)
{
    if (count == kBoxCorners)
        std::memcpy(to, from, kBoxCorners);
    else
        std::memcpy(to, from, static_cast<size_t>(count));
}

// True when the kept outcodes are those the clip of these points would make; writes them.
bool TakeKeptClip(const bzPhysShapePoint *const points[2], const int32_t counts[2],
                  uint8_t *const codes[2], const float radii[2], float margin)
{
    const KeptClip &k = gKeptClip;
    if (!k.valid || k.margin != margin)
        return false;
    for (int32_t i = 0; i < 2; i++)
        if (k.points[i] != points[i] || k.counts[i] != counts[i] || k.shapes[i] != gPair.shape[i] ||
            k.radius[i] != radii[i])
            return false;
    for (int32_t i = 0; i < 2; i++)
        CopyCodes(codes[i], k.codes[i], k.counts[i]);
    return true;
}

// A box grown by g on every side, for outcodes: bits 0-2 both ends of a point's path below the
// low side of x, y, z, bits 3-5 both above the high side.
struct ClipBox
{
    Lanes lo, hi;

    ClipBox(const bzBox &box, float g)
    {
        // The fourth lane never lies outside.
        const float far = std::numeric_limits<float>::infinity();
        lo = Lanes{box.min.x - g, box.min.y - g, box.min.z - g, -far};
        hi = Lanes{box.max.x + g, box.max.y + g, box.max.z + g, far};
    }

    // The outcode of the path from a to b, without branches.
    uint32_t Code(const Lanes &a, const Lanes &b) const
    {
        const LaneMask below = (a < lo) & (b < lo), above = (a > hi) & (b > hi);
#if defined(__SSE__)
        // The lanes' sign bits are the codes' bits (the fourth lane's is never set).
        return static_cast<uint32_t>(_mm_movemask_ps(std::bit_cast<__m128>(below))) |
               (static_cast<uint32_t>(_mm_movemask_ps(std::bit_cast<__m128>(above))) << 3);
#else
        const LaneMask belowBits = {1, 2, 4, 0}, aboveBits = {8, 16, 32, 0};
        const LaneMask m = (below & belowBits) | (above & aboveBits);
        return static_cast<uint32_t>(m[0] | m[1] | m[2]);
#endif
    }
};

// The outcodes of the points (start and end) against the box grown by g on every side. Returns
// the bits that every point has.
uint32_t ClipCodes(const bzPhysShapePoint *points, int32_t count, uint8_t *codes, const bzBox &box,
                   float g)
{
    const ClipBox clip(box, g);
    uint32_t all = 0x3F;
    for (int32_t i = 0; i < count; i++)
    {
        const uint32_t code = clip.Code(bz_Lanes(points[i].start), bz_Lanes(points[i].end));
        codes[i] = static_cast<uint8_t>(code);
        all &= code;
    }
    return all;
}
} // namespace

int32_t bz_PhysColl_ClipPoints(const bzPhysShapePoint *points1, int32_t count1,
                               const bzPhysShapePoint *points2, int32_t count2, uint8_t *codes1,
                               uint8_t *codes2, float radius1, float radius2)
{
    const float margin = ClipMargin();
    const bzPhysShapePoint *const points[2] = {points1, points2};
    const int32_t counts[2] = {count1, count2};
    uint8_t *const codes[2] = {codes1, codes2};
    const float radii[2] = {radius1, radius2};
    // The early clip passed these very points: both halves gave the codes kept, and neither
    // showed the pair apart.
    if (TakeKeptClip(points, counts, codes, radii, margin))
        return 1;
    for (int32_t k = 0; k < 2; k++)
    {
        const bzBox *box = bz_Shape_Bounds(gPair.shape[1 - k]);
        if (!box)
            return 0;
        const uint32_t all = ClipCodes(points[k], counts[k], codes[k], *box, margin + radii[k]);
        if (counts[k] > 0 && all)
            return 0;
    }
    return 1;
}

int32_t bz_PhysObject_FilterJointContacts(const BZDObject *body, bzCollisionContact *contacts,
                                          int32_t count)
{
    if (!body->parentJoint)
        return count;
    const bzV3 d = Sub(body->centreOfMass, body->parentJoint->childAnchor);
    int32_t kept = 0;
    for (int32_t i = 0; i < count; i++)
    {
        const bzCollisionContact &c = contacts[i];
        const bool keep = (c.body == body && Dot(d, c.normal) <= 0.0f) ||
                          (c.otherBody == body && c.body != body && Dot(d, c.otherNormal) >= 0.0f);
        if (keep)
        {
            if (kept != i)
                contacts[kept] = contacts[i];
            kept++;
        }
    }
    return kept;
}

namespace
{
// True when the handlers of the shape pair (the overlap pass's too, when it runs) begin by
// clipping the points and add nothing when the clip fails: the first shape's points, clipped
// against the second's grown box as bz_PhysColl_ClipPoints does first, can then show that the
// pair has no contact before the second shape's points are prepared, and the second shape's
// points after them before any handler runs. Writes the two shapes' clip radii.
bool ClipsFirst(const bzShape *a, const bzShape *b, bool overlapPass, float *radius)
{
    const uint32_t row = a->kind < BZ_SHAPE_KIND_COUNT ? a->kind : BZ_SHAPE_CUBOID;
    const uint32_t column = b->kind < BZ_SHAPE_KIND_COUNT ? b->kind : BZ_SHAPE_CUBOID;
    const bzPhysPairHandler contact = bz_PhysColl_ContactHandler(row, column);
    const bzPhysPairHandler overlap = bz_PhysColl_OverlapHandler(row, column);
    if (contact == bz_PhysColl_PolyhedronPair)
    {
        radius[0] = radius[1] = 0.0f;
        return !overlapPass || overlap == bz_PhysColl_OverlapPolyhedronPair ||
               overlap == bz_PhysColl_OverlapNone;
    }
    if (contact == bz_PhysColl_SphereSphere && a->kind == BZ_SHAPE_SPHERE &&
        b->kind == BZ_SHAPE_SPHERE)
    {
        radius[0] = static_cast<const bzSphereShape *>(a)->radius;
        radius[1] = static_cast<const bzSphereShape *>(b)->radius;
        return !overlapPass || overlap == bz_PhysColl_OverlapNone;
    }
    return false;
}

bool IsBox(const bzShape *shape)
{
    return shape->kind == BZ_SHAPE_ALIGNED_CUBOID || shape->kind == BZ_SHAPE_CRUSHABLE_CUBOID;
}

// b in the frame of the orthonormal m: the product of m's inverse (bz_InverseOrthoM34Into) and b
// (bz_MulM34Into), summed in their order. Entry j of row i is b's row i dotted with m's row j; the
// translation then less m's translation dotted with m's row j.
[[gnu::always_inline]] inline void InFrameOf(const bzM34 *m, const bzM34 *b, bzM34 *out)
{
    const bzV3 *r = m->row;
    const Lanes cx = {r[0].x, r[1].x, r[2].x, 0.0f};
    const Lanes cy = {r[0].y, r[1].y, r[2].y, 0.0f};
    const Lanes cz = {r[0].z, r[1].z, r[2].z, 0.0f};
    auto rotated = [&](const bzV3 &v)
    { return (bz_Splat(v.x) * cx + bz_Splat(v.y) * cy) + bz_Splat(v.z) * cz; };
    const Lanes back = -rotated(r[3]);
    bzM34 o;
    for (int32_t i = 0; i < 3; i++)
        o.row[i] = bz_LanesV3(rotated(b->row[i]));
    o.row[3] = bz_LanesV3(rotated(b->row[3]) + back);
    *out = o;
}

// The pair under test: both bodies, their start and end poses and the room left in the contact
// list from startIndex on.
bzPhysCollPair &BeginPair(int32_t startIndex, BZDObject *bodyA, BZDObject *bodyB,
                          bzCollisionContact *contacts)
{
    bzPhysCollPair &s = gPair;
    s.body[0] = bodyA;
    s.body[1] = bodyB;
    s.start[0] = bodyA->startTransform;
    s.start[1] = bodyB->startTransform;
    s.end[0] = bodyA->transform ? *bodyA->transform : bodyA->startTransform;
    s.end[1] = bodyB->transform ? *bodyB->transform : bodyB->startTransform;
    s.out = contacts + startIndex;
    s.room = BZ_PHYS_STEP_CONTACTS - startIndex;
    s.count = 0;
    return s;
}

// The first body's frame into the second's at the start and end of the step.
void FramesIntoSecond()
{
    bzPhysCollPair &s = gPair;
    InFrameOf(&s.start[1], &s.start[0], &s.toSecond[0]);
    InFrameOf(&s.end[1], &s.end[0], &s.toSecond[1]);
}

// The second body's frame into the first's at the start and end of the step.
void FramesIntoFirst()
{
    bzPhysCollPair &s = gPair;
    InFrameOf(&s.start[0], &s.start[1], &s.toFirst[0]);
    InFrameOf(&s.end[0], &s.end[1], &s.toFirst[1]);
}

// The prepare entries of every shape of pair body `body`, under the end and start frames.
void PrepareForm(int32_t body, const Prepared &p, const bzM34 *endM, const bzM34 *startM)
{
    bzPhysCollPair &s = gPair;
    int32_t i = 0, offset = 0;
    for (const bzShape *shape = s.body[body]->form->firstShape; shape; shape = shape->next, i++)
    {
        s.shape[body] = shape;
        const int32_t n = Prepare(shape, p.points[body] + offset, endM, startM);
        p.counts[body][i] = static_cast<uint16_t>(n);
        offset += n;
    }
}

// PrepareForm of pair body `body`, whose form has one shape, then, with a box to clip against and
// points, the outcodes of its points against the box grown by g (ClipCodes). True when they
// show the pair apart: every point lies beyond one side. A box shape's corners get their codes
// as they are made.
bool PrepareOneAndClip(int32_t body, const Prepared &p, const bzM34 *endM, const bzM34 *startM,
                       const bzBox *box, float g)
{
    bzPhysCollPair &s = gPair;
    const bzShape *shape = s.body[body]->form->firstShape;
    if (!box || !IsBox(shape))
    {
        PrepareForm(body, p, endM, startM);
        const int32_t n = p.counts[body][0];
        return box && n > 0 && ClipCodes(p.points[body], n, s.codes[body], *box, g);
    }
    s.shape[body] = shape;
    Lanes start[kBoxCorners], end[kBoxCorners];
    BoxCorners(*bz_Shape_Bounds(shape), startM, start);
    BoxCorners(*bz_Shape_Bounds(shape), endM, end);
    const ClipBox clip(*box, g);
    StoreCorners(p.points[body], start, end);
    uint32_t all = 0x3F;
    for (int32_t i = 0; i < kBoxCorners; i++)
    {
        const uint32_t code = clip.Code(start[i], end[i]);
        s.codes[body][i] = static_cast<uint8_t>(code);
        all &= code;
    }
    p.counts[body][0] = kBoxCorners;
    return all != 0;
}

// True when the pair is two lone spheres that the table gives the sphere handler (and nothing to
// do in the overlap pass): CollideSpheres then does their whole test.
bool LoneSpheres(const bzShape *a, const bzShape *b, bool overlapPass)
{
    if (!a || !b || a->kind != BZ_SHAPE_SPHERE || b->kind != BZ_SHAPE_SPHERE)
        return false;
    return bz_PhysColl_ContactHandler(BZ_SHAPE_SPHERE, BZ_SHAPE_SPHERE) ==
               bz_PhysColl_SphereSphere &&
           (!overlapPass || bz_PhysColl_OverlapHandler(BZ_SHAPE_SPHERE, BZ_SHAPE_SPHERE) ==
                                bz_PhysColl_OverlapNone);
}

// The pair of two lone spheres, the bodies in order: what the whole path does for them, with the
// same arithmetic and the same pair state left behind, less the work whose results nothing reads
// (the work block, the table runs, the handler's second clip of the same centres).
int32_t CollideSpheres(int32_t startIndex, BZDObject *bodyA, BZDObject *bodyB,
                       bzCollisionContact *contacts, bool overlapPass)
{
    // The room the whole path's work block would take: a stack too full for it refuses the pair
    // as there.
    constexpr uint32_t bytes = 2 * sizeof(bzPhysShapePoint) + 2 * sizeof(uint16_t) + 16;
    if (bytes > bz_TempStack_SpaceLeft(kStack, 0))
    {
        bz_Phys_ReportError(BZ_PHYS_PAIR_ERROR_TOO_LARGE, BZ_PHYS_PAIR_ERROR_TOO_LARGE_TEXT);
        return 0;
    }
    const auto *a = static_cast<const bzSphereShape *>(bodyA->form->firstShape);
    const auto *b = static_cast<const bzSphereShape *>(bodyB->form->firstShape);
    bzPhysCollPair &s = BeginPair(startIndex, bodyA, bodyB, contacts);

    // The first centre through the second body's frame, clipped against its box grown by the
    // first radius; then the second centre through the first body's frame.
    bzPhysShapePoint centre[2];
    FramesIntoSecond();
    s.shape[0] = a;
    centre[0].start = Point(&s.toSecond[0], a->centre);
    centre[0].end = Point(&s.toSecond[1], a->centre);
    s.codes[0][0] =
        static_cast<uint8_t>(ClipBox(b->bounds, ClipMargin() + a->radius)
                                 .Code(bz_Lanes(centre[0].start), bz_Lanes(centre[0].end)));
    s.shape[1] = b;
    if (s.codes[0][0])
        return 0;
    FramesIntoFirst();
    centre[1].start = Point(&s.toFirst[0], b->centre);
    centre[1].end = Point(&s.toFirst[1], b->centre);
    s.codes[1][0] =
        static_cast<uint8_t>(ClipBox(a->bounds, ClipMargin() + b->radius)
                                 .Code(bz_Lanes(centre[1].start), bz_Lanes(centre[1].end)));
    if (s.codes[1][0])
        return 0;

    if (overlapPass)
    {
        // The overlap pass has nothing to do for two spheres but leaves its directions.
        s.overlap = 0;
        CentreDirections();
    }
    s.resting = 0;
    bz_PhysColl_SphereSphereTouch(centre[1], a->centre, b->centre, a->radius, b->radius);
    return ContactResult();
}
} // namespace

int32_t bz_PhysObject_CollidePair(int32_t startIndex, BZDObject *bodyA, BZDObject *bodyB,
                                  bzCollisionContact *contacts)
{
    gKeptClip.valid = false;
    if (!bodyA || !bodyB || !contacts)
        return 0;
    if (bodyA->inverseMass < bodyB->inverseMass)
    {
        BZDObject *t = bodyA;
        bodyA = bodyB;
        bodyB = t;
    }
    if (startIndex > BZ_PHYS_PAIR_LAST_START || startIndex < 0)
        return 0;
    if (!bodyA->form || !bodyB->form || !bodyA->form->firstShape || !bodyB->form->firstShape)
        return 0;

    const bool overlapPass =
        ((bodyA->collisionState | bodyB->collisionState) & BZ_BODY_INTERPENETRATING) != 0;
    const bzShape *onlyA = bodyA->form->firstShape->next ? nullptr : bodyA->form->firstShape;
    const bzShape *onlyB = bodyB->form->firstShape->next ? nullptr : bodyB->form->firstShape;
    if (LoneSpheres(onlyA, onlyB, overlapPass))
        return CollideSpheres(startIndex, bodyA, bodyB, contacts, overlapPass);

    // The work block, sized from the two forms.
    const int32_t shapes[2] = {ShapeCount(bodyA->form), ShapeCount(bodyB->form)};
    const int32_t pointsA = FormPoints(bodyA->form), pointsB = FormPoints(bodyB->form);
    if (pointsA < 0 || pointsB < 0)
    {
        bz_Phys_ReportError(BZ_PHYS_PAIR_ERROR_TOO_LARGE, BZ_PHYS_PAIR_ERROR_TOO_LARGE_TEXT);
        return 0;
    }
    const uint64_t bytes = (static_cast<uint64_t>(pointsA) + pointsB) * sizeof(bzPhysShapePoint) +
                           (static_cast<uint64_t>(shapes[0]) + shapes[1]) * sizeof(uint16_t) + 16;
    void *block = bytes < 0x7FFFFFFF && bytes <= bz_TempStack_SpaceLeft(kStack, 0)
                      ? bz_TempStack_Alloc(kStack, static_cast<uint32_t>(bytes), 0)
                      : nullptr;
    if (!block)
    {
        bz_Phys_ReportError(BZ_PHYS_PAIR_ERROR_TOO_LARGE, BZ_PHYS_PAIR_ERROR_TOO_LARGE_TEXT);
        return 0;
    }
    Prepared p;
    p.points[0] = static_cast<bzPhysShapePoint *>(block);
    p.points[1] = p.points[0] + pointsA;
    p.counts[0] = reinterpret_cast<uint16_t *>(p.points[1] + pointsB);
    p.counts[1] = p.counts[0] + shapes[0];

    bzPhysCollPair &s = BeginPair(startIndex, bodyA, bodyB, contacts);
    float radius[2] = {0.0f, 0.0f};
    if (onlyA && onlyB && ClipsFirst(onlyA, onlyB, overlapPass, radius))
    {
        // Most pairs the broad phase hands over lie apart: the points show it as the handlers'
        // clip would, the first body's before the second body's are prepared.
        FramesIntoSecond();
        const bzBox *boxB = bz_Shape_Bounds(onlyB);
        const bool apartA =
            PrepareOneAndClip(0, p, &s.toSecond[1], &s.toSecond[0], boxB, ClipMargin() + radius[0]);
        s.shape[1] = onlyB;
        const int32_t nA = p.counts[0][0];
        if (apartA)
        {
            bz_TempStack_Free(kStack, block);
            return 0;
        }
        FramesIntoFirst();
        const bzBox *boxA = bz_Shape_Bounds(onlyA);
        const bool apartB = PrepareOneAndClip(1, p, &s.toFirst[1], &s.toFirst[0],
                                              boxB ? boxA : nullptr, ClipMargin() + radius[1]);
        const int32_t nB = p.counts[1][0];
        if (apartB)
        {
            bz_TempStack_Free(kStack, block);
            return 0;
        }
        if (boxA && boxB && nA > 0 && nB > 0)
        {
            // Both halves ran to the end over the points the handlers get.
            KeptClip &k = gKeptClip;
            k.valid = true;
            k.margin = ClipMargin();
            for (int32_t i = 0; i < 2; i++)
            {
                k.points[i] = p.points[i];
                k.counts[i] = p.counts[i][0];
                k.radius[i] = radius[i];
                CopyCodes(k.codes[i], s.codes[i], k.counts[i]);
            }
            k.shapes[0] = onlyA;
            k.shapes[1] = onlyB;
        }
    }
    else
    {
        // The second body's shapes into the first's frame, then the first's into the second's.
        FramesIntoFirst();
        FramesIntoSecond();
        PrepareForm(1, p, &s.toFirst[1], &s.toFirst[0]);
        PrepareForm(0, p, &s.toSecond[1], &s.toSecond[0]);
    }

    int32_t result = -1;
    if (overlapPass)
    {
        s.count = 0;
        s.overlap = 0;
        CentreDirections();
        RunTable(p, true);
        if (s.overlap)
            result = OverlapResult();
    }
    if (result < 0)
    {
        s.count = 0;
        RunTable(p, false);
        result = ContactResult();
    }
    gKeptClip.valid = false;
    bz_TempStack_Free(kStack, block);
    return result;
}
