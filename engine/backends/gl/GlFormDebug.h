// Debug line drawings of a collision form (collision/Shape.h) by the OpenGL back end: the hull
// edges of its shapes (the shapes without a hull - spheres, capsules and half-spaces - have no
// edges and draw nothing), plain, coloured, or under a given matrix, and a yellow box round the
// bounds of a form made of an aligned cuboid. Lines only: the caller sets the line state
// (slot 84) first. Developer facilities: nothing in the engine calls them. A null form draws
// nothing. Allocates nothing.
#pragma once

#include <cstdint>

struct bzForm;
struct bzM34;

// Slot 88: every edge of every shape under the current model-view matrix, each shape in a
// colour of its own (red, green, blue, yellow, cyan, magenta in chain order, then again), its
// edges alternately at full and at half intensity; the colour is white afterwards.
void OGL_DebugDrawForm(const bzForm *form);
// Slot 95: every edge of every shape in the current colour.
void OGL_DebugDrawFormWire(const bzForm *form);
// Slot 89: the edges in the current colour with the matrix (form to camera) as the model-view
// matrix; the model-view matrix is as before afterwards.
void OGL_DebugDrawFormAt(const bzForm *form, const bzM34 *matrix);
// Slot 90: when the form's first shape is an aligned cuboid, the twelve edges of the form's
// bounding box in yellow (1, 1, 0); the colour is white afterwards whatever the form.
void OGL_DebugDrawFormMark(const bzForm *form);
