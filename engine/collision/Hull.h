// Convex hulls of point sets: the vertices, edges and outward face planes that every polyhedral
// shape keeps as its geometry.
//
// bz_Hull_Build turns the unordered points of a hull record into their convex hull in place,
// adding one point at a time with a fixed tolerance. A face is a plane; coplanar points share
// one face, so the faces of a hull are convex polygons, each bounded by the edges that name it.
// Point sets without volume give a flat polygon, a segment or a single point instead.
//
// The counts never exceed the rooms of their arrays; the builder fails rather than write past
// them. Scratch comes from temporary memory stack 1 and is released before it returns.
#pragma once

#include "maths/Types.h"

#include <cstdint>

// An edge: the indices of its two end vertices.
struct bzHullEdge
{
    uint16_t a, b;
};

// The hull part of a polyhedral shape. The rooms are the lengths of the three arrays.
struct bzHull
{
    int16_t vertexCount; // on entry to bz_Hull_Build the number of input points
    int16_t edgeCount;
    int16_t faceCount;
    int16_t vertexRoom;
    int16_t edgeRoom;
    int16_t faceRoom;
    bzV3 *vertices;
    bzHullEdge *edges;
    bzPlane *planes; // unit outward normal; inside where n.p - d <= 0
};

// One face's list of the edges that bound it.
struct bzHullFaceEdges
{
    int32_t count;
    uint32_t *edges;
};

// Per-face edge lists: faceRoom entries, each with room for slotRoom edge indices.
struct bzHullFaceEdgeLists
{
    int32_t faceRoom;
    int32_t slotRoom;
    bzHullFaceEdges *faces;
};

// Results of bz_Hull_Build.
enum : int32_t
{
    BZ_HULL_SOLID = 0,   // vertices, edges and faces of a solid
    BZ_HULL_POINT = 1,   // all points coincide: one vertex
    BZ_HULL_SEGMENT = 2, // all points on a line: the two extreme points and one edge
    BZ_HULL_FLAT = 3,    // all points in a plane: a convex polygon with its two faces and sides
    BZ_HULL_FAILED = 8,  // no hull: the three counts are 0
};

// Distance within which a point counts as lying on a plane.
constexpr float BZ_HULL_PLANE_TOLERANCE = 1e-5f;
// Most input points: 3n - 6 edges must fit a signed 16-bit count.
constexpr int32_t BZ_HULL_MAX_POINTS = 10924;
// Face index of an edge side that has no face yet.
constexpr uint16_t BZ_HULL_NO_FACE = 65535;

// Room for the hull of n points: 3n - 6 edges (at most 32767, none below 3 points) and 2n - 4
// faces (n + 2 for n <= 5).
int32_t MaxEdgesForVertices(int32_t n);
int32_t MaxFacesForVertices(int32_t n);

// Replaces the hull's points by the vertices of their convex hull and writes its edges and
// planes. The work array, when given, holds one 32-bit entry per edge of the edge room (the two
// face indices of an edge); otherwise it is taken from temporary stack 1. Face edge lists, when
// given, receive the edges of each face. Returns a BZ_HULL_* result. More than
// BZ_HULL_MAX_POINTS points, a point that is not finite, a count outside the rooms or any
// insertion that finds the geometry inconsistent give BZ_HULL_FAILED.
int32_t bz_Hull_Build(bzHull *hull, uint32_t *work, bzHullFaceEdgeLists *faceEdges);

// Rebuilds the edge-to-face pairs from the geometry: the faces within the tolerance of both
// ends of an edge. Writes the pairs to edgeFaces (edgeCount entries) and the face edge lists
// when given. 0, or 1 when an edge lies on fewer than two faces, a face gets fewer than three
// edges or a list or the scratch runs out of room.
int32_t bz_Hull_FindEdgeFaces(const bzHull *hull, uint32_t *edgeFaces,
                              bzHullFaceEdgeLists *faceEdges);

// One block holding the record and the arrays for the hull of n points, counts 0; null when
// n is outside 1 to BZ_HULL_MAX_POINTS or no memory is left. Released with bz_MemFree.
bzHull *bz_Hull_Alloc(int32_t n);
// Face edge lists for the hull of n points: 2n - 4 faces with room for (3n - 6) / 2 edges
// each, in one block released with bz_MemFree; null when no memory is left.
bzHullFaceEdgeLists *bz_Hull_AllocFaceEdgeLists(int32_t n);

// The face pair of a work entry.
inline uint16_t bz_HullWork_First(uint32_t entry)
{
    return (uint16_t)(entry & 0xFFFF);
}
inline uint16_t bz_HullWork_Second(uint32_t entry)
{
    return (uint16_t)(entry >> 16);
}

// ---------------------------------------------------------------------------------------------
// Thinning: fewer hull vertices at the least loss of volume.

// The volume between an apex at the origin and the near side of the hull of the given points
// (offsets from the apex): the volume a convex hull loses when the apex is removed from it,
// its neighbours along the hull's edges being the points. It is measured as the volume of the
// hull of the points and the apex less that of the points alone. 0 for fewer than 3 points,
// and for points that make no solid with the apex. Scratch comes from temporary stack 1; when
// it runs out the volume is 0.
float ConeVolume(const bzV3 *points, int32_t count);
// Removes the hull vertex whose cone (the offsets to its neighbours along the edges) has the
// least volume, the lower index on ties: the last vertex takes its place and the hull is
// rebuilt in place. 1, or 0 when no vertex could be removed or the rebuild failed (the counts
// are then 0). A rebuild to a flat polygon or fewer is no failure.
int32_t RemoveLeastVolumeVertex(bzHull *hull);

// ---------------------------------------------------------------------------------------------
// Hulls of chosen points.

// A source point: its position and two further words of its own.
struct bzHullSourcePoint
{
    bzV3 position;
    uint32_t extra[2];
};
struct bzHullPointSource
{
    int32_t count;
    const bzHullSourcePoint *points;
};

// Results of bz_Hull_ChoosePoints besides 0.
enum : int32_t
{
    BZ_HULL_NOTHING_TO_CHOOSE = 4, // the source has no more points than wanted
    BZ_HULL_NO_DISTANCE_TABLE = 5, // no memory for the table of squared distances
};
// Most source points bz_Hull_ChoosePoints considers; the rest are left out.
constexpr int32_t BZ_HULL_CHOOSE_MAX_POINTS = 512;

// Chooses wanted points of the source spread as far apart as it can: the two farthest apart
// first, then each time the point farthest from those already chosen (the lower index on
// ties). Writes their indices to indices (wanted entries) in the order chosen. 0;
// BZ_HULL_NOTHING_TO_CHOOSE when the considered points are no more than wanted (or wanted is
// below 1); BZ_HULL_NO_DISTANCE_TABLE when the table of pairwise squared distances cannot be
// taken from temporary stack 1.
int32_t bz_Hull_ChoosePoints(const bzHullPointSource *source, int32_t wanted, uint16_t *indices);
// Copies the source points into the hull and builds their hull; when the source has more
// points than wanted it first chooses wanted of them (bz_Hull_ChoosePoints into indices) and
// returns the choice's result when it is not 0. Otherwise the result of bz_Hull_Build;
// BZ_HULL_FAILED when the points do not fit the hull's vertex room.
int32_t bz_Hull_BuildFromSubset(bzHull *hull, const bzHullPointSource *source, uint16_t *indices,
                                int32_t wanted);
