// Model processing: the steps that work on a model's source geometry before the part is built
// (face planes, corner normals smoothed by smoothing groups, bounds), and the operations on a
// finished part: the stencil-shadow edge data with welded positions, recomputed vertex normals
// and refreshed render-ready positions. Copying a part and the entry centres are in
// models/Model.h.
#pragma once

#include "models/Model.h"

#include <cstdint>

// One face of the shadow edge data handed to the back end.
struct bzShadowFace
{
    bzShadowFace *neighbours[3]; // across edge 0 (corner 0 to 1), 1 (1 to 2), 2 (2 to 0)
    uint32_t welded[3];          // welded vertex index of each corner
    uint32_t corners[3];         // the face's own vertex indices
    uint32_t seams[3][6];        // per edge two triangles closing the seam
    uint32_t seamFlags[3];       // 1 when the edge's seam quad is filled
};

// Positions closer than this on every axis are one point.
constexpr float BZ_MODEL_POSITION_TOLERANCE = 0.0001f;

int32_t ComputeModelFacePlanes(bzModel *model);
int32_t SmoothModelCornerNormals(bzModel *model);
// An empty model gets an empty box at the origin and radius 0.
int32_t ComputeModelBounds(bzModel *model);
// 0, 76 without a part, or 14 when work memory runs out.
int32_t bz_BuildModelShadowEdges(bzModel *model);
// Orders two part vertices by position with the welding tolerance: 1, -1 or 0.
int32_t CompareWeldPositions(const bzModelPart *part, uint32_t a, uint32_t b);
void UpdateModelPartPositions(bzModel *model);
int32_t RecalcModelPartNormals(bzModel *model);
