// Triangle strips: turning the triangle list of each material entry of a model part into one
// joined strip (with repeated indices between its strips) plus the triangles no strip takes,
// and turning strips back into a plain list.
#pragma once

#include "models/Model.h"

#include <cstdint>

// The strip lengths one entry can hold.
constexpr int32_t BZ_TRISTRIP_MAX_STRIPS = 2048;

// Builds strips over count triangles (three vertex numbers each). Writes the strips one after
// the other to stripOut (room for 3 x count numbers), their number to stripCount and their
// lengths to lengths (room for BZ_TRISTRIP_MAX_STRIPS; once it is full the other triangles
// stay unstripped). Returns the number of leftover triangles, moved in their order to the
// front of triangles.
int32_t BuildTriStrips(uint32_t *triangles, int32_t count, uint32_t *stripOut, int32_t *stripCount,
                       int32_t *lengths);
// Strips every material entry of the model's part; 0, or 14 when work memory runs out (the
// entries then keep what they had).
int32_t BuildModelTriStrips(bzModel *model);
// Merges every entry's strip back into its list; 0, or 14 when memory runs out.
int32_t UndoModelTriStrips(bzModel *model);
int32_t ModelHasTriStrips(const bzModel *model);
