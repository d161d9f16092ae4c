// The collision geometry records: a form (bzForm) is a chain of shapes (bzShape) of twelve
// kinds, all in the form's own frame, with one bounding box over its bounded shapes.
//
// Every shape starts with the same head (kind, user word, next shape). The bounded kinds then
// hold their box, the polyhedral kinds a hull (vertices, edges, outward face planes), and each
// kind its defining fields. A record is allocated zero-filled as a child block of its form, and
// its arrays as child blocks of the shape, so releasing a form releases everything in it.
//
// The kind names and the aligned half-space direction names are the words the dynamics text
// files use.
#pragma once

#include "collision/Hull.h"
#include "maths/Types.h"

#include <cstdint>

typedef uint32_t bzShapeKind;
enum : bzShapeKind
{
    BZ_SHAPE_NULL = 0,
    BZ_SHAPE_ALIGNED_CUBOID = 1,
    BZ_SHAPE_POLYHEDRON = 2,
    BZ_SHAPE_WIRE_FRAME = 3,
    BZ_SHAPE_POLYGON = 4,
    BZ_SHAPE_SPHERE = 5,
    BZ_SHAPE_TIC_TAC = 6,
    BZ_SHAPE_CUBOID = 7,
    BZ_SHAPE_ALIGNED_HALF_SPACE = 8,
    BZ_SHAPE_HALF_SPACE = 9,
    BZ_SHAPE_ROUNDED_POLYHEDRON = 10,
    BZ_SHAPE_CRUSHABLE_CUBOID = 11,
    BZ_SHAPE_KIND_COUNT = 12,
};

// Directions of an aligned half-space: the solid s x p[axis] <= distance with axis =
// direction / 2 and s = -1 for the Minus directions.
enum : uint32_t
{
    BZ_DIRECTION_X_PLUS = 0,
    BZ_DIRECTION_X_MINUS = 1,
    BZ_DIRECTION_Y_PLUS = 2,
    BZ_DIRECTION_Y_MINUS = 3,
    BZ_DIRECTION_Z_PLUS = 4,
    BZ_DIRECTION_Z_MINUS = 5,
    BZ_DIRECTION_COUNT = 6,
};

// Form flags, recomputed by bz_Form_CalcBounds.
enum : uint32_t
{
    BZ_FORM_UNBOUNDED = 0x1, // holds a half-space, which its bounds leave out
    BZ_FORM_CRUSHABLE = 0x2, // holds a CrushableCuboid
};

// The most a shape may hold: the pair tests work in arrays of these sizes.
constexpr int32_t BZ_SHAPE_MAX_VERTICES = 192;
constexpr int32_t BZ_SHAPE_MAX_FACES = 380;
constexpr int32_t BZ_SHAPE_MAX_EDGES = 256;
// Edge room that the hull of BZ_SHAPE_MAX_VERTICES points may need while it is built.
constexpr int32_t BZ_SHAPE_MAX_EDGE_ROOM = 3 * BZ_SHAPE_MAX_VERTICES - 6;

// The head of every shape.
struct bzShape
{
    bzShapeKind kind;
    uint32_t userWord; // the owner's; copied with the shape, never read here
    bzShape *next;     // the next shape of the same form, null at the end
};

// Every kind but the half-spaces.
struct bzBoundedShape : bzShape
{
    bzBox bounds; // in the form's frame
};

// AlignedCuboid, WireFrame and the head of every polyhedral kind.
struct bzPolyShape : bzBoundedShape
{
    bzHull hull;
};

// Polyhedron, Polygon and RoundedPolyhedron (preparation turns one into the other).
struct bzPolyhedronShape : bzPolyShape
{
    uint32_t *hullWork;   // RoundedPolyhedron: the hull builder's work, one entry per edge
    float roundingRadius; // RoundedPolyhedron: 0.1 when created
    bzM34 orientedFrame;  // axes of the oriented box, no translation
    bzBox orientedBox;    // the vertices in orientedFrame, grown by the rounding radius
};

struct bzSphereShape : bzBoundedShape
{
    float radius;
    bzV3 centre;
    float radiusSquared; // derived
};

// A capsule: every point within radius of the segment.
struct bzTicTacShape : bzBoundedShape
{
    float radius;
    bzV3 segmentStart;
    bzV3 segmentEnd;
};

// An oriented box: 8 corners in the form's frame and the shared edges, no planes.
struct bzCuboidShape : bzPolyShape
{
    bzV3 localMin;
    bzV3 localMax;
    bzM34 placement; // from the cuboid's own frame into the form's frame
};

// Both half-space kinds share the record, so that an AlignedHalfSpace can become a HalfSpace
// in place when it is transformed.
struct bzHalfSpaceShape : bzShape
{
    uint32_t direction; // AlignedHalfSpace
    float distance;     // AlignedHalfSpace
    bzPlane plane;      // HalfSpace: the solid n.p <= d
};

struct bzCrushableCuboidShape : bzPolyShape
{
    uint8_t crushState[112]; // its users' state, which nothing here reads or writes
};

struct bzForm
{
    uint32_t flags;
    bzShape *firstShape;
    uint16_t substance; // the dynamics layer's substance label id
    uint16_t workSize;  // scratch bytes its largest shape needs when transformed
    bzBox bounds;       // union of the bounded shapes' bounds
};

// The 12 edges shared by every box kind. Corner i takes the maximum on x when bit 0 of i is
// set, on y for bit 1, on z for bit 2, the minimum otherwise.
extern const bzHullEdge bzgCuboidEdges[12];
constexpr int32_t BZ_CUBOID_EDGE_COUNT = 12;

// The text name of a kind ("AlignedCuboid" ...), null outside 0 to 11.
const char *bz_ShapeKind_Name(bzShapeKind kind);
// The kind of a name (case-blind), BZ_SHAPE_NULL for an unknown name.
bzShapeKind bz_ShapeKind_FromName(const char *name);
// "XPlus" ... "ZMinus", null outside 0 to 5.
const char *bz_ShapeDirection_Name(uint32_t direction);
// The direction of a name (case-blind), -1 for an unknown name.
int32_t bz_ShapeDirection_FromName(const char *name);

// 1 for kinds with a bounding box, polyhedral head or both.
inline int32_t bz_ShapeKind_IsBounded(bzShapeKind kind)
{
    return kind >= BZ_SHAPE_ALIGNED_CUBOID && kind < BZ_SHAPE_KIND_COUNT &&
           kind != BZ_SHAPE_ALIGNED_HALF_SPACE && kind != BZ_SHAPE_HALF_SPACE;
}
int32_t bz_ShapeKind_IsPolyhedral(bzShapeKind kind);

// The box or hull of a shape, null for kinds without one. The box is asked for in the
// collision's innermost loops, so it is answered in place.
inline bzBox *bz_Shape_Bounds(bzShape *shape)
{
    if (!shape || !bz_ShapeKind_IsBounded(shape->kind))
        return nullptr;
    return &static_cast<bzBoundedShape *>(shape)->bounds;
}
inline const bzBox *bz_Shape_Bounds(const bzShape *shape)
{
    return bz_Shape_Bounds(const_cast<bzShape *>(shape));
}
bzHull *bz_Shape_Hull(bzShape *shape);
const bzHull *bz_Shape_Hull(const bzShape *shape);

// The half-space of an AlignedHalfSpace as a plane; 0 (plane untouched) for a direction
// outside 0 to 5.
int32_t bz_AlignedHalfSpace_Plane(const bzHalfSpaceShape *shape, bzPlane *out);

// Kind casts, checked by assertion.
bzPolyhedronShape *bz_Shape_AsPolyhedron(bzShape *shape);
bzSphereShape *bz_Shape_AsSphere(bzShape *shape);
bzTicTacShape *bz_Shape_AsTicTac(bzShape *shape);
bzCuboidShape *bz_Shape_AsCuboid(bzShape *shape);
bzHalfSpaceShape *bz_Shape_AsHalfSpace(bzShape *shape);
