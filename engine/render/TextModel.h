// Text labels as models: a text laid out with a font, turned into glyph quads in the x-y plane
// (four vertices and two polygons a glyph, texture coordinates and colours of the glyph), scaled
// to a line height and a width, with one material for each font page the text uses. The lump
// builder hangs such a model in a MODEL lump, for labels shown in the scene.
#pragma once

#include "models/Model.h"
#include "scene/Lump.h"

#include <cstdint>

struct bzFont;

// Lays the text out with the font (null: the default font) and the layout flags (alignment,
// fixed digits and width; the drop shadow and measure-only bits are ignored), wrapped inside
// wrapWidth pixels when it is above 0. The model's top left lies at the origin, y grows upwards
// and z is 0; every line is height high, and the widest line width wide (width 0: the same
// scale across as up). Glyph colours come from the escapes and the font's colour table; each
// font page gets an unnamed material of colour 1.0 holding the page image (vertex colours,
// not translucent). The model comes back unnamed, with one reference.
// Null with the last error set: 29 for a null or empty text, one without a glyph, a height that
// is not above 0, a width or wrap width that is negative or not a number, or a font without
// glyphs or whose line height is not above 0; 14 without memory (with the debug message
// "bz_CreateMaterialFromTextureHandle::BZ_ERROR_NO_MEMORY" when a page material cannot be
// made); the preparation's code when the model cannot be prepared.
bzModel *bz_CreateTextModel(bzFont *font, const char *text, uint32_t flags, float width,
                            float height, float wrapWidth);
// The text model in a new MODEL lump; the lump and the model take the name. No material
// override. Null with the last error as bz_CreateTextModel.
bzLump *bz_CreateTextLump(const char *name, bzFont *font, const char *text, uint32_t flags,
                          float width, float height, float wrapWidth);
