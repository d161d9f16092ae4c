// Clean-up of a model's editable geometry (its data vertices and polygons): merging coincident
// vertices, dropping vertices no polygon uses and dropping degenerate polygons. The caller runs
// the geometry preparation afterwards to rebuild the part.
#pragma once

#include "models/Model.h"
#include "models/ModelAccess.h"

#include <cstdint>

struct bzLump;

// Twice the area of the polygon: |(corner0 - corner1) x (corner0 - corner2)|.
float bz_PolygonArea2(const bzModelPolygon *polygon, const bzModelDataVertex *vertices);
// Merges corners whose positions differ by at most 0.0001 on every axis; the vertex order
// afterwards is the sorted order. 0, 71 for no model, 75 without vertex data, 29 for a polygon
// naming a vertex it does not have, 14 without memory.
int32_t bz_WeldModelVertices(bzModel *model);
// Drops the vertices no polygon names and renumbers the polygons; the same results.
int32_t bz_RemoveUnreferencedVertices(bzModel *model);
// Drops polygons whose doubled area is not above the float epsilon, unless that would drop
// them all; the same results.
int32_t bz_RemoveDegeneratePolygons(bzModel *model);

// 1, -1 or 0: x, then y, then z compared, a difference within 0.0001 counting as equal.
int32_t CompareVerticesWithTolerance(const bzV3 *a, const bzV3 *b);
// 1 when the positions are equal within 0.0001 on every axis.
int32_t bz_VerticesEqual(const bzV3 *a, const bzV3 *b);
// The full clean-up: coincident vertices merged, polygons whose corners make no area dropped,
// each polygon turned (winding kept) to start at its smallest vertex, equal polygons dropped
// and the vertices renumbered in order of use; the part is then rebuilt. A model with nothing
// to clean is left untouched and not rebuilt. Each counter given receives its number (0 when
// the result is not 0). 0, 71 for no model, 75 without vertex data, 29 for a polygon naming a
// vertex it does not have, 14 without memory.
int32_t bz_CleanModelGeometry(bzModel *model, int32_t *removedVertices, int32_t *weldedVertices,
                              int32_t *degeneratePolygons, int32_t *duplicatePolygons);
// The same faults counted on the unchanged geometry: vertices no polygon names, neighbours in
// tolerance order that are equal, polygons of area below the float epsilon and pairs of the
// same polygon. The same results.
int32_t bz_AnalyseModelGeometry(bzModel *model, int32_t *unreferencedVertices,
                                int32_t *duplicateVertices, int32_t *degeneratePolygons,
                                int32_t *duplicatePolygons);
// 1 when b is a with the same winding, starting at any corner, and the same plane normal.
int32_t bz_SamePolygon(const bzModelPolygon *a, const bzModelPolygon *b,
                       const bzModelDataVertex *vertices);
// Moves the model's geometry by the matrix (p' = p M) and rebuilds the part; a model without
// vertex data has its part's positions moved and its bounds reset. 0, 71 for no model.
int32_t bz_TransformModel(bzModel *model, const bzM34 *matrix);
// Moves the model so that its centre lies at the origin; the old centre into out when given.
int32_t bz_CentreModel(bzModel *model, bzV3 *out);
// The entry's strip as words: the first two indices, then each further index with bit 31 set
// when it repeats one of the two before it (a joining triangle). The strip's index count words.
void StripToIndexList(const bzMaterialEntry *entry, uint32_t *out);
// Marks the polygon edges that are not drawn as lines (flag bits 0x20, 0x40, 0x80 for the
// edges from corner 0, 1 and 2): of two polygons sharing an edge only the first visited keeps
// it, and it loses it too when the two meet flat or fold inwards. Polygons whose material has
// flag 0x4000 keep their edges. The bits then go to the part's faces. Needs the face planes of
// the geometry preparation. 0, 71, 75 or 29 as the clean-up.
int32_t bz_MarkModelEdges(bzModel *model);
// 1, -1 or 0 as CompareVerticesWithTolerance over the position, the normal and the texture
// coordinates of both sets (the colour is not compared).
int32_t CompareVertexRecords(const bzVertexRecord *a, const bzVertexRecord *b);
// Per axis k, the texture gradients of the triangle: with e1 and e2 the differences (axis k, u,
// v) of corners 1 and 2 from corner 0 (texture set 0) and c = e1 x e2, s.k = -c.u / c.k and
// t.k = -c.v / c.k; an axis with c.k = 0 leaves s.k and t.k as they were.
void bz_TriangleTextureGradients(const bzVertexRecord *p0, const bzVertexRecord *p1,
                                 const bzVertexRecord *p2, bzV3 *s, bzV3 *t);
// bz_TransformModel on the lump's model; 29 without a lump or a matrix.
int32_t bz_TransformLumpModel(bzLump *lump, const bzM34 *matrix);
// Gives every model lump of the tree (parent before children; lumps bound to the dynamics or
// to a pooled object skipped) a first child "line": a white poly-line through the visible
// edges of its model's faces, two points an edge (edges whose bit 0x20, 0x40 or 0x80 is set
// left out). A model without visible edges gets none.
void bz_AddModelLineLumps(bzLump *root);
// The model the last merge built.
extern bzModel *bzgMergeModel;
// A new model lump named like the root holding one model made of every model of the tree
// (lumps that are active and whose model has editable geometry), each placed by its transform
// into the root's space, then welded, cleaned and prepared. Null when the tree has no such
// model (the new model is then released) or without memory (14).
bzLump *bz_MergeLumpModels(bzLump *root, const char *name);
// The engine-wide smoothing angle, in degrees.
extern float bzgSmoothAngle;
// Automatic smoothing is not available: for a model with editable geometry the angle is kept
// (the second form) and the engine's error report "NOT DONE YET" / "AutoSmoothModel" raised; 0.
// 29 for a model without editable geometry.
int32_t bz_AutoSmoothModel(bzModel *model);
int32_t bz_AutoSmoothModelAngle(bzModel *model, float angle);
// Keeps the angle as the smoothing angle; the walk of the tree changes nothing. 0.
int32_t bz_SetSmoothAngleAll(int32_t walk, bzLump *root, int32_t angle);
