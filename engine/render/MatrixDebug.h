// Matrices for a developer: their rows as on-screen debug lines, or as source text on the
// clipboard.
#pragma once

#include "maths/Types.h"

#include <cstdint>

// Rows as on-screen debug lines firstLine, firstLine + 1, ...; returns the next free line.
int32_t bz_M34_ShowDebug(const bzM34 *m, int32_t firstLine);
int32_t bz_M33_ShowDebug(const bzM33 *m, int32_t firstLine);
// Twelve lines "matrix.row[%d].v[%d] = %ff;" on the clipboard; 0 when there is no clipboard.
int32_t bz_M34_CopyToClipboard(const bzM34 *m);
