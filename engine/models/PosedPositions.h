// The posed positions of skinned lumps kept for the frame. A bullet query poses every skinned
// lump whose bounds it meets, and a frame has several queries: each lump keeps the deformed
// positions of its model with its skin instance and gives them again, unchanged, while its
// pose stays the one they were made from within the same frame. Only the first query of a lump
// takes memory (one block, kept with the instance); later frames reuse it.
#pragma once

#include "maths/Types.h"

#include <cstdint>

struct bzLump;

// Starts a new frame: every kept set of positions is made again at its next use. The frame
// driver calls it at the end of each frame.
void bz_Skeleton_NewFrame();
// The current frame's stamp (never 0).
uint32_t bz_Skeleton_GetFrameStamp();

// The deformed position of every vertex of the skinned lump's model in its current pose (the
// pose is brought up to date first). Null for a lump that cannot be posed, a model without
// vertices or bind positions, and with 14 without memory. The positions belong to the instance
// and stay valid until it is freed; they are remade when the pose has changed or the frame has
// moved on since they were made.
const bzV3 *bz_Skeleton_GetPosedPositions(bzLump *lump);
