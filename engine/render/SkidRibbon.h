// The ribbon of one skid-mark trail: the ring of point pairs (scene/SkidMarks.h) turned into
// a triangle list, two triangles joining each drawn pair to the pair before it, and the
// drawing of a SKIDMARKS lump's ribbons through the renderer's ribbon slot. The drawing of the
// list itself (texture, blend and render states) belongs to the back end.
#pragma once

#include "maths/Types.h"

#include <cstdint>

struct bzSkidTrail;
struct bzSkidMarkSet;
struct bzViewport;

struct bzRibbonVertex
{
    bzV3 position;
    uint32_t colour; // the colour word of the pair the vertex comes from
    // 0, 0xFFFF00, 0x00FF00, 0, 0xFF0000, 0xFFFF00 for the six of a quad: the vertex's
    // texture corner, u = 1 where the red byte is 0xFF (the right edge), v = 1 where the green
    // byte is 0xFF (the previous pair).
    uint32_t second;
};

// Room a trail's ribbon needs: six vertices for every slot of its ring.
int32_t bz_SkidRibbon_MaxVertices(const bzSkidTrail *trail);
// Writes the ribbon into out (room for bz_SkidRibbon_MaxVertices) and answers the vertices
// written: nothing when the ring is empty (oldest and end both 0). The ring is walked from the
// oldest pair to the end, wrapping; each pair marked as drawn (0x7FFF) gets the triangles
// (this left, previous right, previous left) and (this left, this right, previous right). The
// previous pair is the one handled before, drawn or not (slot 0 before the walk); the previous
// colour is the last drawn pair's (the oldest pair's at the start).
int32_t bz_SkidRibbon_Fill(const bzSkidTrail *trail, bzRibbonVertex *out);

// Draws every ribbon of a set under the viewport's view matrix (ribbon points are world
// positions), from the last trail to the first, each filled into a block of the temporary
// stack and handed to the ribbon slot with the set's image and flags. A ribbon with no
// triangles, or no room for its block, is not drawn.
void bz_DrawSkidMarks(const bzSkidMarkSet *set, bzViewport *v);
