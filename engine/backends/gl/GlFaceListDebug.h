// Debug drawing of what a form query gathered, straight to OpenGL while the OpenGL back end owns
// the display: the faces of a face list as blended triangles in one colour and the points of a
// vertex list as small white triangles, over a viewport and seen from its camera, with the same
// projection and rectangle the scene drawn there gets, so the overlay lands on the scene.
// Afterwards the colour is white, the model-view matrix the identity and the rectangle the whole
// display; depth testing and blending stay on. A developer facility: nothing in the engine calls
// it. Without a current OpenGL context the calls have no effect. Allocates nothing.
#pragma once

#include "collision/FaceList.h"
#include "device/ViewportRecord.h"

#include <cstdint>

// Loads the perspective projection of a camera (field of view in degrees, the half-angle across
// as the scene's cameras give it) into the projection stack and selects the model-view stack.
void bz_DynDebug_SetProjection(float fieldOfView, float aspect, float nearClip, float farClip);
// Every face of the list (through its address for a compact list) as a triangle in the colour
// (0xAARRGGBB, blended by its alpha), depth-tested against the scene. 0 (an empty or null list
// draws nothing but still restores); 29 for no viewport, with nothing drawn.
int32_t bz_DynDebug_DrawFaceList(bzColour colour, bzViewport *viewport, const bzDynFaceList *list);
// Every element of the list as a triangle in the current colour with one corner at its position
// and the other two the size away along x and along y. 0; 29 for no viewport, with nothing drawn.
int32_t bz_DynDebug_DrawVertexList(bzViewport *viewport, const bzDynVertexList *list, float size);
