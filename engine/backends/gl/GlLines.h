// Debug lines of the OpenGL back end: the line state and the poly-lines of the spline drawing,
// drawn at once as line strips in world positions under the current projection.
#pragma once

#include <cstdint>

// Slot 84: texturing, blending and the vertex array off, depth function less, identity
// model-view, lighting off, and the colour (0xAARRGGBB) of the lines that follow.
void OGL_SetupLineDrawing(uint32_t colour);
// Slot 83: one line strip over n records of BZ_LINE_VERTEX_SIZE bytes (position first): every
// second record from the first, then the last record. Nothing for n below 1. Returns 0.
int32_t OGL_DrawPolyline(const void *points, int32_t n);
