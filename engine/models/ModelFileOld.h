// The readers of the oldest model file versions, 0x402 and 0x403: a plain list of vertices and
// 16-bit triangles with 17-byte material names, turned into a model through a legacy face list.
// Used by the model file reader (models/ModelFile.h).
#pragma once

#include "device/MaterialRecord.h"
#include "models/Model.h"

#include <cstdint>

// One vertex of the legacy face list: position, then u and v of set 0 and of set 1.
struct bzLegacyVertex
{
    float x, y, z;
    float u0, v0, u1, v1;
};

// One face: three vertex indices, its material (no reference), and its flag word.
struct bzLegacyFace
{
    uint32_t v[3];
    bzMaterial *material;
    uint16_t flags;
};

struct bzLegacyFaceList
{
    int32_t vertexCount;
    int32_t faceCount;
    bzLegacyVertex *vertices;
    bzLegacyFace *faces;
    char name[32];
    uint32_t dataFlags;
};

// Makes the model's editable geometry from the list (set 0 only), welds it, drops degenerate
// polygons (unless that drops them all) and unused vertices. Null (last error set) when memory
// runs out or the list names a vertex it does not have (29).
bzModel *BuildModelFromFaceList(const bzLegacyFaceList *list);
// Reads a 0x402 (or, with withSecondSet, 0x403) payload less its first 4 bytes and prepares the
// model. Null with the last error set (29 for a payload its counts or indices do not fit, 14).
bzModel *ReadModelV402(const uint8_t *payload, uint32_t size, const char *path, bool withSecondSet);
// Polygons whose material no entry of the part holds lose it: the reader's references to its
// material list go when the read ends.
void DropUnheldPolygonMaterials(bzModel *model);
