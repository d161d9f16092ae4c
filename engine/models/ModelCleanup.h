// Clean-up of a model's editable geometry (its data vertices and polygons): merging coincident
// vertices, dropping vertices no polygon uses and dropping degenerate polygons. The caller runs
// the geometry preparation afterwards to rebuild the part.
#pragma once

#include "models/Model.h"

#include <cstdint>

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
