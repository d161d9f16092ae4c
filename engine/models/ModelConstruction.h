// Tools that build on a model's editable geometry: extruding edges and selected polygons,
// copying selected polygons through a matrix, and clearing the smoothing groups. Polygon flag
// bit 1 marks a polygon selected for extrusion (bits 2-4 mark its border edges while one runs);
// bit 8 (bit 0 of the byte after the flag byte) selects polygons for copying. Each returns 0,
// 71 for no model, 75 without vertex data or 14 when memory runs out.
#pragma once

#include "maths/Types.h"
#include "models/Model.h"

#include <cstdint>

enum : uint16_t
{
    BZ_POLYGON_BORDER_EDGES = 0x001C, // edges 0, 1, 2 of a selected polygon on the border
    BZ_POLYGON_COPY = 0x0100,
};

// Sets every polygon's smoothing mask to 0 and prepares the model again.
int32_t bz_ResetPolygonFlags(bzModel *model);
// For count edges (pairs of vertex indices) appends one copy of each edge vertex moved by the
// matrix and two polygons (smoothing 1) joining each edge to its copy.
int32_t bz_ExtrudeModelEdges(bzModel *model, const uint32_t *edges, int32_t count,
                             const bzM34 *matrix, int32_t prepare);
// Appends, last selected polygon first, a copy of each polygon selected for copying over its
// vertices moved by the matrix (reusing vertices within 0.0001); flip swaps each copy's first
// two corners. Nothing without a selected polygon.
int32_t bz_CopyFlaggedPolygons(bzModel *model, const bzM34 *matrix, int32_t prepare, int32_t flip);
// Moves the selected polygons through the matrix and closes the gap along their border with two
// polygons an edge (colours 0xFFFFFFFF, flags 0).
int32_t bz_ExtrudeFlaggedPolygons(bzModel *model, const bzM34 *matrix, int32_t prepare);
