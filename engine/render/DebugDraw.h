// Debug drawing of POLYLINE lumps: a path's points drawn as a line strip (closed or open) or
// as separate segments, with per-point colours when the path asks for them, through the
// renderer's line-vertex slots. Long paths are drawn in chunks that share their seam point,
// so a strip has no gap between chunks.
#pragma once

#include <cstdint>

struct bzLump;
struct bzViewport;
struct bzPath;
struct bzMaterial;
struct bzM34;

// Vertex kinds of the line-vertex slots: three floats, or three floats and a colour word.
constexpr uint32_t BZ_LINE_KIND_PLAIN = 4;
constexpr uint32_t BZ_LINE_KIND_COLOURED = 0x404;
// Points drawn by one chunk at the most.
constexpr int32_t BZ_POLYLINE_CHUNK = 2000;

// What PDDrawMesh (slot 80) hands the line-drawing slot (61 strip or 62 list).
struct bzLineDraw
{
    const bzPath *path;
    uint32_t kind;
    int32_t primitiveCount;
};

// Slot signatures fixed by this caller.
typedef void *(*PDLockLineVerticesFn)(uint32_t kind, int32_t count); // 60
typedef void (*PDUnlockLineVerticesFn)(uint32_t kind);               // 59
typedef void (*PDFreeLineVerticesFn)();                              // 58
typedef void (*PDDrawLinesFn)(const bzLineDraw *draw);               // 61, 62
typedef void (*PDDrawMeshFn)(bzMaterial *material, const bzM34 *matrix, PDDrawLinesFn draw,
                             const bzLineDraw *record);     // 80
typedef void (*PDSetObjectLightingFn)(const bzM34 *matrix); // 75

// Draws one poly-line lump with its view matrix (nothing for fewer than two points), then,
// with the path's diamond flag, a diamond (the marker "PolyLineDiamond", made on first use) of
// the marker size at every point, the points taken as world positions.
void bz_DrawPolyLine(bzLump *lump, bzViewport *v);
// Frees the marker made on first use (engine shut-down).
void bz_DebugDraw_Release();
