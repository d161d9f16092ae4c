// The handlers of the world collision (physics/WorldCollision.h), by shape kind, and the steps
// they share. The collision handlers sweep the current shape's vertices, edges and round
// surfaces between the previous and the new placement against the candidate faces; the
// intersection handlers look for overlap at the new placement while the body is known to
// intersect the world and set the intersection-found flag when they find one. None takes
// arguments: they work on the state of the call that runs (bz_PhysWorld_State) and its work
// record, and insert what they find through bz_PhysWorld_AddContact.
//
// Feature codes of their contacts: 0 an edge against a face edge, 1 a point in or on a face,
// 2 a face corner pushed out of the shape (keys 10.0 to 11.2), 3 a round end swept against a
// face, 4 a round shape or axis swept against a face edge or corner.
#pragma once

#include "collision/CollisionFace.h"
#include "maths/Types.h"

#include <cstdint>

struct bzWorldCollisionState;

// True when both points lie beyond the same side of the shape's swept box on one of the lump's
// axes. The box holds the shape at both placements and the collision tolerance around it, so
// nothing swept between them comes within its reach, or within the tolerance of a touch, of an
// edge between the two points.
bool bz_PhysWorld_OutsideSweptBox(const bzWorldCollisionState &st, const bzV3 &a, const bzV3 &b);

// The dispatch tables' entries.
void bz_PhysWorld_NullForm();
void bz_PhysWorld_CollidePolyhedron();
void bz_PhysWorld_IntersectPolyhedron();
void bz_PhysWorld_CollideSphere();
void bz_PhysWorld_IntersectSphere();
void bz_PhysWorld_CollideTicTac();
void bz_PhysWorld_IntersectTicTac();
void bz_PhysWorld_UnsupportedCollision();
void bz_PhysWorld_UnsupportedIntersection();
void bz_PhysWorld_CollideRoundedPolyhedron();
void bz_PhysWorld_IntersectRoundedPolyhedron();

// The steps.
// Every unmarked vertex from its new towards its previous position against the candidate
// faces; returns the count.
int32_t bz_PhysWorld_SweepVertices();
// Calls edge(a, b) for every unmasked edge of every candidate face, with the state's face and
// corner set to that face and the edge's first corner.
void bz_PhysWorld_ForEachOpenFaceEdge(void (*edge)(const bzV3 *a, const bzV3 *b));
// Every unmasked edge of every candidate face against the shape's edges.
void bz_PhysWorld_SweepEdges();
// The face edge a-b of the face under test against every shape edge.
void bz_PhysWorld_EdgeAgainstFaceEdges(const bzV3 *a, const bzV3 *b);
// A face corner found inside the shape (radius 0 for sharp shapes, else the rounding radius).
void bz_PhysWorld_PushOutPoint(const bzV3 *corner, float radius);
// The sphere's centre swept against every face; returns the count.
int32_t bz_PhysWorld_SweepSphere();
// The sphere against the unmasked edges of every candidate face.
void bz_PhysWorld_SphereAgainstFaceEdges();
void bz_PhysWorld_SphereAgainstFaceEdge(const bzV3 *a, const bzV3 *b);
void bz_PhysWorld_SweepTicTac();
// The segment of the moving axis s0-s1 (new) / p0-p1 (previous) with the radius against the
// face edge a-b of the face under test; settled receives the corners that need no corner test.
void bz_PhysWorld_TicTacAgainstEdge(const bzV3 *s0, const bzV3 *s1, const bzV3 *p0, const bzV3 *p1,
                                    float radius, const bzV3 *a, const bzV3 *b, uint8_t *settledA,
                                    uint8_t *settledB);
void bz_PhysWorld_RoundedEdgesAgainstFace(const bzV3 *a, const bzV3 *b, const uint8_t *sides);
// Every edge of the work record cast both ways through the candidate faces.
void bz_PhysWorld_EdgesThroughFaces();
// The sphere (centre in the world at the new placement, radius) against one face.
void bz_PhysWorld_SphereInFace(const bzV3 *centre, float radius, const bzCollisionFace *face);
void bz_PhysWorld_SphereAtFaceBoundary(const bzV3 *point, const bzV3 *centre);
