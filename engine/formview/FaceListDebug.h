// Debug drawing of what a form query gathered: the faces of a face list and the points of a
// vertex list drawn over a viewport through the renderer table's line slots, each face as its
// closed outline and each point as a small triangle. The picture uses the viewport's own
// projection and rectangle (slots 45 and 47), so it lines up with the scene drawn there, and the
// camera's view; afterwards the line colour is white again and the back end's rectangle is the
// whole display. A developer facility: nothing in the engine calls it. Allocates nothing.
#pragma once

#include "collision/FaceList.h"
#include "device/ViewportRecord.h"

#include <cstdint>

// The viewport's projection and rectangle made current (slots 45 and 47). 0; 29 for no viewport.
int32_t bz_DynDebug_SetProjection(bzViewport *viewport);
// Every face of the list (through its address for a compact list) as the outline of its three
// corners in the colour (0xAARRGGBB), seen from the viewport's camera. 0 (an empty or null list
// draws nothing but still restores); 29 for no viewport, with nothing drawn.
int32_t bz_DynDebug_DrawFaceList(bzColour colour, bzViewport *viewport, const bzDynFaceList *list);
// Every element of the list as a white triangle with one corner at its position and the other
// two the size away along x and along y. 0; 29 for no viewport, with nothing drawn.
int32_t bz_DynDebug_DrawVertexList(bzViewport *viewport, const bzDynVertexList *list, float size);
