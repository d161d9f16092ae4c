// Debug lines of the OpenGL back end: the line state, the poly-lines of the spline drawing, and
// the line vertices of the path drawing (reserved from the temporary stack, drawn as a line
// strip under the current model-view matrix, freed), all drawn at once.
#pragma once

#include <cstdint>

struct bzLineDraw;

// Slot 84: texturing, blending and the vertex array off, depth function less, identity
// model-view, lighting off, and the colour (0xAARRGGBB) of the lines that follow.
void OGL_SetupLineDrawing(uint32_t colour);
// Slot 83: one line strip over n records of BZ_LINE_VERTEX_SIZE bytes (position first): every
// second record from the first, then the last record. Nothing for n below 1. Returns 0.
int32_t OGL_DrawPolyline(const void *points, int32_t n);

// Bytes of room each reserved line vertex gets, whatever its kind.
constexpr uint32_t BZ_OGL_LINE_VERTEX_ROOM = 16;

// Slot 60: room for n vertices of the kind (the engine's vertex-format word: three position
// floats, followed by a colour word when its colour count, bits 10-11, is not 0) from temporary
// stack 1, held until slot 58 frees it. A block still held is given back first. Null for n
// below 1 or when the stack has no room.
void *OGL_LockLineVertices(uint32_t kind, int32_t n);
// Slot 58: gives the held block back to the stack; nothing when none is held.
void OGL_FreeLineVertices();
// Slot 61: the held vertices as one line strip of the record's primitive count + 1 vertices
// (never more than were reserved), coloured per vertex for a kind with colours, else in the
// current colour. Nothing without a held block or for fewer than one primitive.
void OGL_DrawLineStrip(const bzLineDraw *draw);
// Vertices held by the reserved block (0 when none is held).
int32_t OGL_LineVerticesHeld();
