// The OpenGL back end's renderer table: PDInstallGLRenderer fills every slot of the table
// with the OpenGL functions, empty functions or functions that return 0, and leaves slots 16,
// 81 and 93 as they were (NULL at start).
//
// The drawing slots (2-D layer, materials, meshes, lights, lines, flares, shadows, sprites)
// hold functions that draw nothing until the OpenGL drawing is built.
#pragma once

struct PDRenderFunctionTable;

void PDInstallGLRenderer(PDRenderFunctionTable *table);
