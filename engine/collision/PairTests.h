// The boolean pair tests of bzShapePairTable and the distance and separation operations they
// share.
//
// Each pair test reads the pair globals of ShapePair.h: H = bzgPairHigher, L = bzgPairLower;
// a thing brought into L goes through bzgPairHigherToLower, one brought into H through
// bzgPairLowerToHigher (points with translation, directions without). Each returns 1 when the
// shapes intersect or touch, else 0, and works on the stack only.
//
// Polyhedral shapes beyond BZ_SHAPE_MAX_VERTICES vertices, BZ_SHAPE_MAX_FACES faces or
// BZ_SHAPE_MAX_EDGES edges are refused at creation; the tests check again and give 0 for them.
// Edges naming a vertex past the vertex count are skipped.
#pragma once

#include "collision/Shape.h"

#include <cstdint>

// ---------------------------------------------------------------------------------------------
// Spheres, tic-tacs (capsules) and boxes

int32_t IntersectAlignedCuboids();
int32_t IntersectCuboidAlignedCuboid();
int32_t IntersectCuboids();
int32_t IntersectSphereAlignedCuboid();
int32_t IntersectCuboidSphere();
int32_t IntersectSpheres();
int32_t IntersectTicTacSphere();
int32_t IntersectTicTacs();
int32_t IntersectTicTacAlignedCuboid();
int32_t IntersectCuboidTicTac();

// 1 when |a - c|^2 <= (r1 + r2)^2.
int32_t SpheresTouch(const bzV3 *a, const bzV3 *c, float r1, float r2);
// 1 when p lies within r1 + r2 of the segment a + t dir, t in [0, 1] (a zero dir is the point a).
int32_t SphereSegmentTouch(const bzV3 *a, const bzV3 *dir, const bzV3 *p, float r1, float r2);
// 1 when the segments a1 + s d1 and a2 + t d2 come within r1 + r2 of each other.
int32_t CapsulesTouch(const bzV3 *a1, const bzV3 *d1, float r1, const bzV3 *a2, const bzV3 *d2,
                      float r2);
// 1 when the segment s + t dir passes within r of the edge of the shape's hull whose carrying
// line is nearest, at a point of the segment; 0 for a segment of no length.
int32_t SegmentNearEdges(const bzV3 *s, const bzV3 *dir, const bzShape *shape, float r);
// 1 when the sphere overlaps the box: the squared distance from the centre to the box is
// strictly below the squared radius.
int32_t SphereAlignedBoxOverlap(const bzBox *box, const bzV3 *centre, float radius);

// ---------------------------------------------------------------------------------------------
// Half-spaces

int32_t IntersectAlignedHalfSpaceAlignedCuboid();
int32_t IntersectAlignedHalfSpacePolyhedron();
int32_t IntersectAlignedHalfSpaceCuboid();
int32_t IntersectAlignedHalfSpaceSphere();
int32_t IntersectAlignedHalfSpaceTicTac();
int32_t IntersectAlignedHalfSpaces();
int32_t IntersectHalfSpaceAlignedCuboid();
int32_t IntersectHalfSpacePolyhedron();
int32_t IntersectHalfSpaceCuboid();
int32_t IntersectHalfSpaceSphere();
int32_t IntersectHalfSpaceTicTac();
int32_t IntersectHalfSpaceAlignedHalfSpace();
int32_t IntersectHalfSpaces();

// The plane of an aligned half-space carried by M, with a unit normal; 0 for a direction
// outside 0 to 5.
int32_t AlignedHalfSpacePlaneInto(const bzShape *alignedHalfSpace, const bzM34 *m, bzPlane *out);
// A plane carried by M (its normal by the rotation rows), with a unit normal; 0 when the
// normal loses its length.
int32_t PlaneInto(const bzPlane *plane, const bzM34 *m, bzPlane *out);
// 1 when some vertex v of the shape's hull has n.v - d <= 0.
int32_t PolyhedronTouchesHalfSpace(const bzShape *shape, const bzPlane *plane);
// 1 when the shape (in the plane's frame) reaches the half-space n.p <= d; 0 for kinds without
// a rule (RoundedPolyhedron, CrushableCuboid).
int32_t ShapeTouchesHalfSpace(const bzShape *shape, const bzPlane *plane);
// 1 when the shape has points on both sides of the plane (or on it); a half-space straddles
// every plane not parallel to its own.
int32_t ShapeStraddlesPlane(const bzShape *shape, const bzPlane *plane);
// 1 as soon as a shape of the chain gives 1.
int32_t bz_Form_TouchesHalfSpace(const bzForm *form, const bzPlane *plane);
int32_t bz_Form_StraddlesPlane(const bzForm *form, const bzPlane *plane);

// ---------------------------------------------------------------------------------------------
// Polyhedra and rounded polyhedra

int32_t IntersectPolyhedronAlignedCuboid();
int32_t IntersectPolyhedra();
int32_t IntersectCuboidPolyhedron();
int32_t IntersectSpherePolyhedron();
int32_t IntersectTicTacPolyhedron();
int32_t IntersectRoundedPolyhedronTicTac();
int32_t IntersectRoundedPolyhedronSphere();
int32_t IntersectRoundedPolyhedronAlignedCuboid();
int32_t IntersectRoundedPolyhedronPolyhedron();
int32_t IntersectRoundedPolyhedra();

// 1 when an edge of the edge shape, carried by m into the target's frame, hits the target or
// starts inside it.
int32_t PolyhedronEdgesPierce(const bzShape *edgeShape, const bzM34 *m, const bzShape *target);
// 1 when p lies within r1 + r2 of the convex hull of the shape; the nearest surface point is
// written when nearestOut is given and the answer is 1.
int32_t SphereRoundedPolyhedronTouch(const bzV3 *p, float r1, float r2, const bzShape *shape,
                                     bzV3 *nearestOut);
// SphereRoundedPolyhedronTouch with r1 = 0.
int32_t SphereRoundedPolyhedronPoint(const bzV3 *p, float radius, const bzShape *shape,
                                     bzV3 *nearestOut);
// Separating test of the convex shapes of the pair grown by r1 + r2. lowerInHigher holds L's
// vertices in H's frame and higherInLower H's vertices in L's frame, vertex i at entry
// i * stride.
int32_t ConvexPolyhedraTest(float r1, float r2, const bzV3 *lowerInHigher,
                            const bzV3 *higherInLower, int32_t stride);
// ConvexPolyhedraTest with the vertices carried by the pair matrices, stride 1.
int32_t ConvexPolyhedraPlaced(float r1, float r2);
// Sets the pair shapes, then ConvexPolyhedraTest with stride 2.
int32_t ConvexPolyhedraEntry(const bzShape *lower, const bzShape *higher, const bzV3 *lowerInHigher,
                             float r1, float r2, const bzV3 *higherInLower);
// Separating test of the rounded polyhedron H against the box L (its corners and bounds);
// vertex i of each array at entry i << strideShift.
int32_t RoundedPolyhedronBoxTest(const bzV3 *lowerInHigher, const bzV3 *higherInLower,
                                 int32_t strideShift);
// Sets the pair shapes, then RoundedPolyhedronBoxTest with stride shift 1.
int32_t RoundedPolyhedronBoxEntry(const bzShape *lower, const bzShape *higher,
                                  const bzV3 *lowerInHigher, const bzV3 *higherInLower);
// Every hull vertex of the shape carried by m into out (room for its vertex count).
void TransformShapeVertices(const bzShape *shape, const bzM34 *m, bzV3 *out);
// The 8 corners of the box carried by m, in corner order.
void BoxCornersPlaced(const bzBox *box, const bzM34 *m, bzV3 *out);
// 1 when the hull's counts are within the pair tests' limits.
int32_t HullWithinLimits(const bzHull *hull);
