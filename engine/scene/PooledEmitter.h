// Pooled emitters and quad-block arrays. The engine keeps a fixed pool of 32 short-lived
// effect emitters, each bound for its whole life to a lump of type 21 named "PPEMIT": the game
// takes one, fills it, attaches its lump where the effect plays, and the frame driver ages it
// and detaches its lump when its time is up. The pool is a static table: taking, ageing and
// giving back an emitter allocate nothing. The same module holds the object of a
// QUADBLOCKARRAY lump (a counted array of 32-byte quads with an image map) and turns four
// control points into cubic coefficients.
#pragma once

#include "core/Error.h"
#include "maths/Types.h"

#include <cstdint>

struct bzLump;
struct bz_IMGMAP;

constexpr int32_t BZ_POOLED_EMITTERS = 32;

// Kinds of pooled emitter with a meaning here.
enum : int32_t
{
    BZ_POOLED_KIND_TIMED = 1, // keeps its time copy, fraction and frame number
    BZ_POOLED_KIND_STILL = 3, // never aged
};

// A pooled emitter. The game fills the words after the fields below; the renderer reads them.
struct bzParticleEmitter
{
    uint32_t firstWord;
    int32_t randomValue; // a 15-bit draw at creation
    float frameNumber;   // time x 60 (kind 1)
    uint32_t words1[3];
    float fraction; // time / duration (kind 1)
    uint32_t words2[2];
    float timeCopy; // time (kind 1)
    uint32_t word3;
    uint8_t refCount;
    uint8_t inUse;
    float visibilityRadius; // 10.0 at creation
    float parameter2;       // 0.001 at creation
    uint32_t word4;
    int32_t kind;
    uint32_t flags;
    bzLump *lump;   // the record's "PPEMIT" lump, for the pool's lifetime
    float duration; // seconds; 2.0 at creation
    float time;     // seconds since the start
    uint32_t lastWord;
    uint32_t gameWords[24]; // the game's and the renderer's
};

// Creates the 32 records' lumps and calls the renderer's emitter set-up; 0, or 14 (nothing is
// left half made). A second call does nothing.
bzErrorCode bz_ParticleEmitter_InitPool();
// The record of pool slot 0-31, or null.
bzParticleEmitter *bz_ParticleEmitter_GetSlot(int32_t index);
bzParticleEmitter *bz_ParticleEmitter_Take();
bzParticleEmitter *bz_ParticleEmitter_Create();
// A new record with a copy of the source's fields (its own lump, use and count).
bzParticleEmitter *bz_ParticleEmitter_Clone(const bzParticleEmitter *source);
void bz_ParticleEmitter_AddRef(bzParticleEmitter *emitter);
void bz_ParticleEmitter_Release(bzParticleEmitter *emitter);
void bz_ParticleEmitter_ClearInUse(bzParticleEmitter *emitter);
// Ages every record in use by the frame time (the replay's fixed step while it applies).
void bz_ParticleEmitter_UpdateAll();
void bz_ParticleEmitter_UpdateAllBy(float dt);
void bz_ParticleEmitter_DetachAll();
// Calls the renderer's emitter release, then destroys the 32 lumps with their children.
void bz_ParticleEmitter_FreeAll();

// One quad of a quad-block array: a camera-facing rectangle of width x height around its
// centre, drawn in its colour (0xAARRGGBB) with the array's image and blend kind. A quad is
// drawn only while bit 0 of its flags is set; frame picks the cell of the image atlas.
struct bzQuad
{
    bzV3 centre;
    uint32_t flags; // BZ_QUAD_VISIBLE
    float width;
    float height;
    uint32_t colour;
    uint32_t frame; // 0-255, cells counted along the rows of the atlas
};
constexpr uint32_t BZ_QUAD_BYTES = 32;
static_assert(sizeof(bzQuad) == BZ_QUAD_BYTES);
constexpr uint32_t BZ_QUAD_VISIBLE = 0x1;

// A quad-block array: `count` quads, an image map with one reference held. The game fills the
// quads and the drawing fields; the render walk tests the array's sphere (the lump's position
// and radius) before it queues the lump.
struct bzQuadBlockArray
{
    bzQuad *quads;
    uint32_t count;
    bz_IMGMAP *image;
    uint32_t user1;
    uint32_t user2;
    int32_t refCount; // 1 at creation
    float radius;     // 1.0 at creation
    float columns;    // cells of the image atlas across (1 at creation: the whole image)
    float rows;       // and down
    float lift;       // each quad is raised by lift x its height along the camera's up axis
    int32_t blend;    // blend kind: 1 additive, 3 subtractive, any other alpha blending
};

// Null with last-error 14 without memory, 20 for a count whose bytes no block can hold.
bzQuadBlockArray *bz_QuadBlockArray_Create(uint32_t count, uint32_t user1, uint32_t user2,
                                           bz_IMGMAP *image);
void bz_QuadBlockArray_AddRef(bzQuadBlockArray *array);
void bz_QuadBlockArray_Release(bzQuadBlockArray *array);
bzQuadBlockArray *bz_QuadBlockArray_Clone(const bzQuadBlockArray *array);

// Four control points (x and z used) and the cubic coefficients of x and of z, c3 first.
struct bzCubicControl
{
    bzV3 points[4];
    float x[4];
    float z[4];
};
// With t0 = 3 (P2 - P0) and t1 = 3 (P1 - P3): c3 = 2 P0 - 2 P1 + t0 + t1,
// c2 = 3 P1 - 3 P0 - 2 t0 - t1, c1 = t0, c0 = P0; p(0) = P0, p(1) = P1.
void bz_CubicFromControlPoints(bzCubicControl *record);
