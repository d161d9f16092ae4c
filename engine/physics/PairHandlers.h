// The shape-pair handlers of the object pair collision and the working state they share.
//
// Two tables by shape kind (row the first body's shape, column the second's) pick a handler
// for the contact pass and one for the overlap pass. A handler gets the prepared points of the
// two current shapes (the first body's in the second body's frame, the second's in the
// first's) and works on the pair state: it adds contacts through the helpers below, marks
// bodies found inside each other, and (overlap pass) sets the overlap flag.
//
// Internal to the physics' pair collision (PairCollision.h); the state is valid only during
// bz_PhysObject_CollidePair.
#pragma once

#include "collision/PairSweptTests.h"
#include "physics/PairCollision.h"

#include <cstdint>

typedef void (*bzPhysPairHandler)(const bzPhysShapePoint *points1, const bzPhysShapePoint *points2,
                                  int32_t count1, int32_t count2);

// The working state of one pair call. Index 0 is the first body, 1 the second.
struct bzPhysCollPair
{
    BZDObject *body[2];
    const bzShape *shape[2]; // the current shape of each body
    bzCollisionContact *out; // the pair's first row
    int32_t count;           // rows written
    int32_t room;            // 60 less the start index
    int32_t overlap;         // set by the overlap pass's handlers
    int32_t resting;         // the current shapes rest on each other (bz_PhysColl_RestingFaces)
    bzV3 centreDirection[2]; // from the other body's centre towards its own, own frame
    bzM34 start[2];          // body to world at the start of the step
    bzM34 end[2];            // and at its end
    bzM34 toFirst[2];        // the second body's frame into the first's, start and end
    bzM34 toSecond[2];       // the first body's frame into the second's, start and end
    uint8_t codes[2][BZ_PHYS_PAIR_SHAPE_POINTS]; // outcodes of the current shapes' points
};

bzPhysCollPair &bz_PhysColl_Pair();

// The handler cells (12 x 12, row-major by kind). The table is fixed; the setter replaces one
// cell and returns the previous handler, for tests that stand a handler in for the real one.
bzPhysPairHandler bz_PhysColl_ContactHandler(uint32_t row, uint32_t column);
bzPhysPairHandler bz_PhysColl_OverlapHandler(uint32_t row, uint32_t column);
bzPhysPairHandler bz_PhysColl_SetContactHandler(uint32_t row, uint32_t column,
                                                bzPhysPairHandler handler);
bzPhysPairHandler bz_PhysColl_SetOverlapHandler(uint32_t row, uint32_t column,
                                                bzPhysPairHandler handler);

// ---------------------------------------------------------------------------------------------
// Helpers of the handlers.

// A normal of the body's frame at step fraction t (clamped to [0, 1]) in the world: the blend of
// its start and end rotations, made unit.
bzV3 bz_PhysColl_NormalToWorld(int32_t body, const bzV3 &normal, float t);
// A world normal into the body's frame by the same blend, made unit.
bzV3 bz_PhysColl_NormalFromWorld(int32_t body, const bzV3 &world, float t);
// Adds a contact whose row body is pair body `body1` (the other pair body is body 2): the
// world normal pushes body 1 away from body 2; each point in its own body's frame.
void bz_PhysColl_Add(int32_t body1, const bzV3 &worldNormal, float time, const bzV3 &point1,
                     const bzV3 &point2, uint32_t tag);
// Adds a swept touch found in the frame of body `fixed`: the fixed feature's surface point
// (fixed body's frame) and the moving feature's centre point in the moving body's own frame,
// with the radii that carry each feature to its surface. The points are those of
// bz_PhysColl_AddRadiusContact of the fixed body; the row body is the moving one.
void bz_PhysColl_AddTouch(int32_t fixed, const bzPairTouch &touch, const bzV3 &fixedPoint,
                          float fixedRadius, const bzV3 &movingOwnPoint, float movingRadius,
                          uint32_t tag);
// Adds the contact of two round features (tag 7) with pair body `body1` as the row body: normal
// in body 1's frame, from body 2 towards body 1 (made unit); centre the feature's centre on body
// 1, matched the other's centre on body 2, each in its own frame; r1 and r2 their radii (0 for a
// point). Point 1 = centre - r1 normal; the world normal is the normal under the blend of body
// 1's start and end rotations at the time, made unit; point 2 = matched + r2 x that normal in
// body 2's frame (the same blend of body 2's rotations). A normal of no direction, a negative
// radius or one that is not a number adds nothing. Returns the pair's contact count.
int32_t bz_PhysColl_AddRadiusContact(int32_t body1, const bzV3 &normal, const bzV3 &centre,
                                     const bzV3 &matched, float time, float r1, float r2);
// Adds a ball's touch on a face of pair body `faceBody` (tag 8), the ball's body as the row
// body: normal the face's outward normal in the face body's frame, hit the touched point of the
// face (same frame), centre and radius the ball's in its own body's frame. The world normal is
// the face normal under the blend of the face body's rotations at the time, made unit; the
// ball's point is its centre less the radius along that normal in the ball body's frame (the
// same blend). Returns the pair's contact count.
int32_t bz_PhysColl_AddSphereFaceContact(int32_t faceBody, const bzV3 &normal, float time,
                                         const bzV3 &hit, const bzV3 &centre, float radius);
// Marks one body of the pair interpenetrating and overlapping: the one of smaller mass, body
// `own` on a tie.
void bz_PhysColl_MarkInside(int32_t own);

// A shape's own point of index i as the preparation numbers them (box corners, vertices,
// sphere centre, tic-tac ends).
bzV3 bz_PhysColl_OwnPoint(const bzShape *shape, int32_t index);
// The edge list of a polyhedral shape (the fixed box list for the box kinds); null for others.
const bzHullEdge *bz_PhysColl_Edges(const bzShape *shape, int32_t *count);
// The rounding radius of a RoundedPolyhedron (0 for other kinds).
float bz_PhysColl_Rounding(const bzShape *shape);

// Adds a copy of a stored contact of the pair's bodies (its time, points and normal) as a
// vertex-face contact; returns the new count.
int32_t bz_PhysColl_ReAddContact(const bzCollisionContact *stored);
// 1 when the capsule between the end centres (in the other shape's frame) with the radius
// touches the other shape: for an AlignedCuboid or a Polyhedron first each end centre as a
// sphere of the radius, then, for any shape, each edge of the list (the vertices' indices)
// that is not nearly parallel to the axis and passes within the radius of it at an edge
// parameter in [0, 1]. Else 0.
int32_t bz_PhysColl_TicTacTouchesEdges(const bzV3 *endA, const bzV3 *endB, float radius,
                                       const bzShape *other, const bzHullEdge *edges,
                                       int32_t edgeCount, const bzV3 *vertices,
                                       int32_t vertexCount);

// ---------------------------------------------------------------------------------------------
// The handlers.

void bz_PhysColl_PairNull(const bzPhysShapePoint *, const bzPhysShapePoint *, int32_t, int32_t);
void bz_PhysColl_PairUnsupported(const bzPhysShapePoint *, const bzPhysShapePoint *, int32_t,
                                 int32_t);
void bz_PhysColl_OverlapUnsupported(const bzPhysShapePoint *, const bzPhysShapePoint *, int32_t,
                                    int32_t);
void bz_PhysColl_OverlapNone(const bzPhysShapePoint *, const bzPhysShapePoint *, int32_t, int32_t);

// Shapes with faces (the box kinds, Polyhedron, Polygon, RoundedPolyhedron; a WireFrame only
// meets the other's faces) resting on each other at the start of the step: when the face of
// either shape that the other overlaps least has it within bzCollisionTolerance of its plane
// (above it or sunk in), the patch where they touch gives up to four resting contacts (key
// BZ_PHYS_PAIR_TIME_RESTING, points at the start of the step) on that face, with its normal, the
// other body as the row body. r1 and r2 are the rounding radii. Sets the pair's resting mark and
// returns the contacts added; 0 when the shapes are apart or deeper in each other. faceDepth,
// when given, receives bz_PhysColl_LeastFaceDepth of the shapes.
int32_t bz_PhysColl_RestingFaces(const bzPhysShapePoint *p1, const bzPhysShapePoint *p2, int32_t n1,
                                 int32_t n2, float r1, float r2, float *faceDepth = nullptr);

// How deep the two current shapes lie in each other along the face normal of either shape that
// they overlap least along (negative: apart by that much; no more than -bzCollisionTolerance
// when well apart). r1 and r2 are the rounding radii. Faces' directions only: shapes deeper than
// this along each of them may still lie apart across a pair of edges.
float bz_PhysColl_LeastFaceDepth(const bzPhysShapePoint *p1, const bzPhysShapePoint *p2, int32_t n1,
                                 int32_t n2, float r1, float r2);
// Whether the two current polyhedral shapes lie in each other at the start of the step by more
// than bzCollisionTolerance along every face direction of both (faceDepth, as
// bz_PhysColl_LeastFaceDepth gives it), with an edge of one passing through the other: inside
// each other across their edges, as boxes crossed edge over edge lie with no corner of either
// inside the other. Outcodes as bz_PhysColl_ClipPoints left them.
bool bz_PhysColl_EdgesInside(const bzPhysShapePoint *p1, const bzPhysShapePoint *p2, int32_t n1,
                             int32_t n2, float faceDepth);

// Polyhedral kinds (PP).
void bz_PhysColl_PolyhedronPair(const bzPhysShapePoint *p1, const bzPhysShapePoint *p2, int32_t n1,
                                int32_t n2);
// The vertices of body `own`'s current shape (points in the other body's frame) against the
// other body's current shape. A vertex that starts inside marks a body inside, unless the
// shapes rest on each other (then its touch is among the resting contacts).
void bz_PhysColl_VerticesOnFaces(int32_t own, const bzPhysShapePoint *points, int32_t count);
// The edges of body `collected`'s shape held fixed, the other body's edges moving against them.
void bz_PhysColl_EdgesOnEdges(int32_t collected, const bzPhysShapePoint *p1,
                              const bzPhysShapePoint *p2);

// The edges of body `collected`'s shape held in its frame against the moving edges of the other
// body's shape (movingPoints, in the collected body's frame), with the radii r1 (collected) and
// r2 (moving), for edges whose end outcodes share no bit and are not both 0xFF. Each moving edge
// meets each collected edge (a touch adds a contact, tag 6). When their lines come within reach
// only beyond an end, the ends decide and the earliest of their touches adds the one contact:
// the moving edge's end balls against the collected edge and the collected edge's end balls
// against the moving edge (tag 6), or an end of each edge that is the other's nearest end in
// turn, ball to ball (tag 7). A moving vertex's ball is tried against the collected edges with
// the first moving edge it belongs to, a collected vertex's ball once against each moving edge,
// whatever the vertex's number.
void bz_PhysColl_RoundedRounded(int32_t collected, const bzPhysShapePoint *movingPoints, float r1,
                                float r2);
// The same with the tic-tac of pair body 0 as the moving side, its axis the one edge (its end
// centres moving through body 1's frame), against body 1's shape rounded by `rounding`. Radius
// the tic-tac's.
void bz_PhysColl_RoundedTicTac(const bzPhysShapePoint *ends, float radius, float rounding);
// A sphere of `radius` whose centre (own, in its body's frame) moves from c0 to c1 through the
// frame of body `rounded`, against every edge of that body's shape whose end outcodes share no
// bit, as a cylinder of the shape's rounding radius: a touch along the edge adds the contact
// (tag 6); a touch beyond an end tries the ball at that end vertex and adds a radius contact.
void bz_PhysColl_SphereRoundedEdges(int32_t rounded, const bzV3 &c0, const bzV3 &c1, float radius,
                                    const bzV3 &own);
// The points of body `own`'s shape with outcode 0 (prepared, in the other body's frame), each a
// ball of ownRadius, against the faces of the other body's shape grown by otherRadius: a touch
// within the step or at its end adds a contact (tag 5) with the face normal; a point that starts
// inside is left out of the later tests (outcode 0xFF) and marks a body inside, unless the
// shapes rest on each other.
void bz_PhysColl_RoundedPointsOnFaces(int32_t own, const bzPhysShapePoint *points, int32_t count,
                                      float ownRadius, float otherRadius);
// The same against the other body's aligned box (AlignedCuboid or CrushableCuboid); nothing when
// the other shape is not a box.
void bz_PhysColl_RoundedPointsOnBox(int32_t own, const bzPhysShapePoint *points, int32_t count,
                                    float radius);

// Spheres and tic-tacs (SS, TS, ST, SP, SP', TP, TP', TT).
void bz_PhysColl_SphereSphere(const bzPhysShapePoint *p1, const bzPhysShapePoint *p2, int32_t n1,
                              int32_t n2);
// The sphere pair's contacts once the clip has passed: p2 the second centre's path in the first
// body's frame, c1 and c2 the centres in their own bodies' frames, r1 and r2 the radii.
void bz_PhysColl_SphereSphereTouch(const bzPhysShapePoint &p2, const bzV3 &c1, const bzV3 &c2,
                                   float r1, float r2);
void bz_PhysColl_TicTacSphere(const bzPhysShapePoint *p1, const bzPhysShapePoint *p2, int32_t n1,
                              int32_t n2);
void bz_PhysColl_SphereTicTac(const bzPhysShapePoint *p1, const bzPhysShapePoint *p2, int32_t n1,
                              int32_t n2);
void bz_PhysColl_SpherePolyhedron(const bzPhysShapePoint *p1, const bzPhysShapePoint *p2,
                                  int32_t n1, int32_t n2);
void bz_PhysColl_PolyhedronSphere(const bzPhysShapePoint *p1, const bzPhysShapePoint *p2,
                                  int32_t n1, int32_t n2);
void bz_PhysColl_TicTacPolyhedron(const bzPhysShapePoint *p1, const bzPhysShapePoint *p2,
                                  int32_t n1, int32_t n2);
void bz_PhysColl_PolyhedronTicTac(const bzPhysShapePoint *p1, const bzPhysShapePoint *p2,
                                  int32_t n1, int32_t n2);
void bz_PhysColl_TicTacTicTac(const bzPhysShapePoint *p1, const bzPhysShapePoint *p2, int32_t n1,
                              int32_t n2);

// Rounded polyhedra (RPa, RP'a, RPb, RP'b, RR, RS, SR, RT, TR).
void bz_PhysColl_RoundedPolyhedron(const bzPhysShapePoint *p1, const bzPhysShapePoint *p2,
                                   int32_t n1, int32_t n2);
void bz_PhysColl_RoundedBox(const bzPhysShapePoint *p1, const bzPhysShapePoint *p2, int32_t n1,
                            int32_t n2);
void bz_PhysColl_RoundedSphere(const bzPhysShapePoint *p1, const bzPhysShapePoint *p2, int32_t n1,
                               int32_t n2);
void bz_PhysColl_TicTacRounded(const bzPhysShapePoint *p1, const bzPhysShapePoint *p2, int32_t n1,
                               int32_t n2);

// The overlap pass (OPP, ORR, OS, OV).
void bz_PhysColl_OverlapPolyhedronPair(const bzPhysShapePoint *p1, const bzPhysShapePoint *p2,
                                       int32_t n1, int32_t n2);
// The edges of body `owner`'s shape (start positions in the other body's frame) whose end
// outcodes share no bit and that cross into the other shape with exactly one end inside: sets
// the overlap flag for any edge entering the other shape, links the two bodies' trees, and adds
// a contact at time 0 (tag 6) pushing them apart when the crossing's face looks away from the
// other centre (-0.2) and the bodies approach there.
void bz_PhysColl_OverlapCrossings(int32_t owner, const bzPhysShapePoint *points, int32_t count);
void bz_PhysColl_RoundedPair(const bzPhysShapePoint *p1, const bzPhysShapePoint *p2, int32_t n1,
                             int32_t n2);
void bz_PhysColl_OverlapShapes(const bzPhysShapePoint *p1, const bzPhysShapePoint *p2, int32_t n1,
                               int32_t n2);
void bz_PhysColl_OverlapPolyhedra(const bzPhysShapePoint *p1, const bzPhysShapePoint *p2,
                                  int32_t n1, int32_t n2);
