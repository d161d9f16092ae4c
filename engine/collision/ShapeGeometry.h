// Small geometric operations on shapes that the form code uses when it prepares, measures, fits
// and transforms them: boxes of point sets, polyhedron volume, the vertex loop of a face, the
// oriented box of a polyhedron, a minimum-volume box search, the in-place transform of a shape
// and the editing of a form's chain of shapes.
#pragma once

#include "collision/Shape.h"

#include <cstdint>

// Minimum and maximum per axis over count >= 1 points.
void PointsBox(const bzV3 *points, int32_t count, bzBox *out);
// PointsBox grown by the margin on every side when the margin is not 0.
void PointsBoxGrown(const bzV3 *points, int32_t count, float margin, bzBox *out);
// Product of the three extents.
float BoxVolume(const bzBox *box);
// |n.p - d|
float PlaneDistanceAbs(const bzV3 *point, const bzPlane *plane);

// Appends the shape at the end of the form's chain (its next link cleared); 0.
int32_t FormAppendShape(bzForm *form, bzShape *shape);
// Makes the shape the first of the chain; 0.
int32_t FormInsertShapeFirst(bzForm *form, bzShape *shape);
// Removes the shape from the chain and clears its next link: 0, or BZ_ERROR_FORM_NOT_IN_LIST
// when the shape is not in the chain.
int32_t FormUnlinkShape(bzForm *form, bzShape *shape);

// The vertices of a face of a polyhedral shape in boundary order, written to out (room for
// capacity indices). Returns their number, or -1 when the face number is out of range, the
// boundary does not close within the shape's vertex count or the loop outgrows out.
int32_t FaceVertexLoop(int32_t face, const bzShape *shape, uint16_t *out, int32_t capacity);
// The number of vertices of a face, -1 as for FaceVertexLoop.
int32_t FaceVertexCount(const bzShape *shape, int32_t face);
// Among the edges at vertex a, the other end x != excluded with the smallest value; -1 when
// none qualifies (excluded -1 excludes nothing).
int32_t PolyhedronFaceNeighbour(const bzHull *hull, int32_t a, int32_t excluded,
                                const float *values);
// Volume of a prepared polyhedral shape: pyramids from its first vertex over every face.
// A shape of more than BZ_SHAPE_MAX_VERTICES vertices is reported and gives 0.
float PolyhedronVolume(const bzShape *shape);

// The box of the points turned by the rotation rows (no translation) and its volume.
float RotatedPointsBoxVolume(const bzM34 *rotation, const bzV3 *points, int32_t count, bzBox *out);
// Writes the oriented frame and box of a Polyhedron, Polygon or RoundedPolyhedron: the first
// axis along the longest edge, the second along the largest part of an edge across it; the box
// grown by the margin.
void PolyhedronOrientedBox(bzShape *shape, float margin);
// Searches the rotation whose box of the points has the least volume, from the identity. Writes
// the rotation (zero translation) and that box; returns its volume.
float FitMinimumVolumeBox(const bzV3 *points, int32_t count, bzM34 *rotation, bzBox *box);

// Moves a shape by the matrix in place. With ortho set the matrix is taken as orthonormal when
// planes are carried; otherwise planes go through its inverse transpose and are renormalised.
// An AlignedHalfSpace becomes a HalfSpace. Returns 0, or BZ_ERROR_PARAMETER_OUT_OF_RANGE
// (shape unchanged) for an AlignedHalfSpace whose direction is not 0 to 5.
int32_t bz_Shape_Transform(bzShape *shape, const bzM34 *m, int32_t ortho);
