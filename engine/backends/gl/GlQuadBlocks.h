// Quad blocks of the OpenGL back end: the quads of a QUADBLOCKARRAY lump drawn as rectangles
// that face the camera, each in its colour, with the array's image (a cell of it when the
// image is an atlas) and blend kind.
#pragma once

struct bzViewport;
struct bzLump;

// Slot 2: loads the lump's view matrix and draws its array's visible quads. Each quad's corners
// lie half its width along the camera's right axis and half its height along the camera's up
// axis (both taken in the lump's frame from the view matrix) around its centre raised by the
// array's lift x its height; texture corners (0, 0) top-left to (1, 1) bottom-right, inside
// the quad's frame cell when the atlas has more than one cell. Culling, lighting and alpha test
// off, depth test on without depth writes, blending by the array's kind (1 added, 3
// subtracted, any other mixed by alpha). Nothing for a lump of another type or an empty array.
void OGL_DrawQuadBlockArray(bzViewport *viewport, bzLump *lump);
