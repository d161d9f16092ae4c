#include "render/RenderTable.h"

PDRenderFunctionTable bzgRenderTable;
bzViewport *bzg2DDrawMode;
