// Paths: the object of a POLYLINE lump. A reference-counted singly linked list of points with
// a per-point word (the point's colour when the path draws per-point colours), a cached
// distance to the next point and a second word; drawn as a polyline, measured, sampled by
// percentage, searched for the nearest point, used as a ring of recent positions, and written
// to and read from sections of text data files.
#pragma once

#include "core/Error.h"
#include "maths/Types.h"

#include <cstdint>

struct bzFileHandle;
struct bzTextReader;

// Flag bits of a path; the drawing bits are read by the renderer.
enum : uint32_t
{
    BZ_PATH_PAIRS = 0x1,     // points are drawn as separate pairs
    BZ_PATH_CLOSED = 0x2,    // the last point joins the first
    BZ_PATH_COLOURS = 0x4,   // the point words are per-point colours
    BZ_PATH_DIAMONDS = 0x8,  // a diamond marker of the marker size at every point
    BZ_PATH_ARROWS = 0x10,   // an arrow on every segment
    BZ_PATH_HIGHLIGHT = 0x20 // the start and the end are highlighted
};

struct bzPathPoint
{
    bzPathPoint *next; // null at the last point
    uint32_t word;     // point word or colour; 0xFFFFFFFF when created without one
    float distance;    // cached distance to the next point (the last point: back to the first)
    bzV3 position;
    uint32_t second; // second word
};

struct bzPath
{
    int32_t refCount;
    int32_t count; // number of linked points
    float scale;   // marker size; 1.0 when created
    bzPathPoint *first;
    bzPathPoint *last; // the point whose next is null; null for an empty path
    uint32_t flags;    // BZ_PATH_*
};

bzPath *bz_Path_Create();
void bz_Path_AddRef(bzPath *path);
// Drops one reference; below 1 every point and the record are freed.
void bz_Path_Release(bzPath *path);
// A new path with the source's flags and each point's position and word, in order.
bzPath *bz_Path_Clone(const bzPath *path);

bzPathPoint *bz_Path_AppendPoint(bzPath *path, float x, float y, float z);
bzPathPoint *bz_Path_AppendPointWord(bzPath *path, float x, float y, float z, uint32_t word);
bzPathPoint *bz_Path_PrependPoint(bzPath *path, const bzV3 *position);
// The first point takes the position and moves to the end. An empty path gets nothing and
// gives 29.
bzErrorCode bz_Path_RecycleFirst(bzPath *path, float x, float y, float z);
bzPathPoint *bz_Path_GetPoint(const bzPath *path, int32_t n, bzV3 *out);
void bz_Path_RemovePoint(bzPath *path, int32_t n);
void bz_Path_Truncate(bzPath *path, int32_t n);
void bz_Path_Clear(bzPath *path);
void bz_Path_UpdateDistances(bzPath *path);
float bz_Path_GetLength(const bzPath *path);

// The position at a percentage of the path, segments weighted by their squared lengths:
// 0, 20 (no path) or 29 (fewer than two points), nothing written on failure.
bzErrorCode bz_Path_SampleAtPercent(const bzPath *path, float percent, bzV3 *outPosition,
                                    bzV3 *outDirection, bzPathPoint **outPoint);
// The nearest point on the path: returns the start of the nearest segment (the first point,
// with nothing written, when the path has fewer than two points; null when it has none).
bzPathPoint *bz_Path_NearestPoint(const bzPath *path, const bzV3 *p, bzV3 *outClosest,
                                  float *outDistanceAlong);

// The text form: an optional "[name]" heading, the three column flags, the count and one line
// per point. Reading replaces the path's points from the named section (nothing happens when
// the section is missing); returns 0, 29 for a missing argument, 56 for a missing section or
// 59 for a malformed section (the points read so far are kept).
bzErrorCode bz_Path_WriteText(bzFileHandle *file, bzPath *path, const char *name, int32_t words,
                              int32_t distances, int32_t seconds);
bzErrorCode bz_Path_ReadText(bzTextReader *reader, const char *section, bzPath *path);
