// Mesh work data: the edge connectivity of a model's render-ready part. Its distinct vertex
// positions (points), its edges with the one or two faces on each, every face's points and
// edges, and per point the edges that touch it. Built only on request into the model's
// meshWork, written to a file of its own and read back; nothing keeps it current when the
// part changes. The model frees it with the model.
#pragma once

#include "maths/Types.h"

#include <cstdint>

struct bzModel;

struct bzMeshEdge
{
    uint32_t index;
    uint32_t a, b; // end points, in the direction of the first face
    uint32_t firstFace;
    uint32_t secondFace;
    uint8_t useCount; // 1 or 2
};

struct bzMeshFace
{
    uint32_t points[3];
    uint32_t edges[3]; // a-b, b-c, c-a
    uint8_t flags;     // bit k: edge k is shared by a second face
};

struct bzMeshPointEdges
{
    uint32_t *edges;
    uint32_t count;
};

struct bzMeshWorkData
{
    bzV3 *points;
    int32_t pointCount;
    int32_t edgeCount;
    int32_t faceCount;
    bzMeshEdge *edges;
    bzMeshFace *faces;
    bzMeshPointEdges *pointEdges; // pointCount lists
    // 32 + 28 faceCount + 12 pointCount + 24 edgeCount + 4 per listed edge.
    uint32_t byteSize;
};

// Builds the record into the model's meshWork (replacing one there). Vertices within 0.0001 on
// every axis share a point; an edge met in the opposite direction of an edge used once becomes
// that edge's second use. 0, 71 for no model, 76 without a part, 29 for a part without
// positions or a face naming a vertex it does not have, 14 without memory (meshWork is then
// null).
int32_t bz_BuildMeshWorkData(bzModel *model);
// The edge list of the last point at the position within 0.0001 on every axis; null with 56.
bzMeshPointEdges *bz_FindMeshPoint(bzMeshWorkData *work, const bzV3 *position);
// Writes the file: version 256, the counts and byteSize, the edges (use count, a, b, faces),
// the edge lists, the faces (flags byte, points, edges) and the points, all little-endian.
// 0, 29 for no record, 19 when the file cannot be made or written.
int32_t bz_WriteMeshWorkData(const char *path, const bzMeshWorkData *work);
// Reads such a file into a new record (edge index fields 0). Null with 19 for a missing file,
// 59 for counts, lengths or indices the file does not hold, 14 without memory.
bzMeshWorkData *bz_ReadMeshWorkData(const char *path);
void FreeMeshWorkData(bzMeshWorkData *work);
