// Particle systems: the object of a PARTICLE_EMITTER lump. A system spawns particles from a
// shape placed in its lump's frame (a point, a rectangle, a ring, a cloud of points or a
// polyline), moves them under acceleration, drag, an attractor and a collision form, ages them
// through two layers, and hands them to the renderer as sprites. Every live system sits on one
// active list that the frame driver steps once a frame; particles come from one shared pool
// with a free list, so the step takes nothing from the system heap once the pool has grown.
//
// Finishing systems whose lump subtree must go are destroyed after the walk of the active list
// ends, and a system taken off the list or destroyed from a callback during the walk never
// leaves the walk holding a freed successor.
//
// The record below is laid out for the engine's 64-bit build: a particle is sizeof(bzParticle)
// bytes (the pointer fields make it larger than the 52 bytes of a 32-bit build).
#pragma once

#include "core/Error.h"
#include "maths/Types.h"

#include <cstdint>

struct bzLump;
struct bzModel;
struct bzMaterial;
struct bzForm;
struct bz_IMGMAP;
struct bzParticleSystem;

// Shape kinds.
enum : uint32_t
{
    BZ_PARTICLE_SHAPE_POINT = 0,
    BZ_PARTICLE_SHAPE_RECTANGLE = 1,
    BZ_PARTICLE_SHAPE_RING = 2,
    BZ_PARTICLE_SHAPE_CLOUD = 3,
    BZ_PARTICLE_SHAPE_POLYLINE = 4,
    BZ_PARTICLE_SHAPE_POINT2 = 5,
};

// Draw kinds.
enum : uint32_t
{
    BZ_PARTICLE_DRAW_SPRITES = 0,
    BZ_PARTICLE_DRAW_MODELS = 1,
    BZ_PARTICLE_DRAW_PREPARED = 2,
};

// Flags of a particle system.
enum : uint32_t
{
    BZ_PS_LIVE = 0x1,
    BZ_PS_ACCELERATE = 0x2,
    BZ_PS_LIFE_COUNTS = 0x4,
    BZ_PS_CONE = 0x8,
    BZ_PS_ATTRACTOR = 0x10,
    BZ_PS_MAX_SPEED = 0x20,
    BZ_PS_DRAG = 0x80,
    BZ_PS_COLLIDE = 0x100,
    BZ_PS_WORLD_DIRECTION = 0x200,
    BZ_PS_CLOSED = 0x400,
    BZ_PS_KILLED = 0x800,
    BZ_PS_PERSISTENT = 0x1000,
    BZ_PS_STATIC = 0x2000,
    BZ_PS_DISABLE_AT_END = 0x4000,
    BZ_PS_ANIMATE = 0x8000,
    BZ_PS_RANDOM_PHASE = 0x10000,
    BZ_PS_BURST = 0x20000,
    BZ_PS_LEAVE_LIST = 0x8000000,
    BZ_PS_LISTED = 0x10000000,
    BZ_PS_CACHE_VALID = 0x20000000,
    BZ_PS_STOPPING = 0x40000000,
    BZ_PS_STEPPED = 0x80000000u,
};

// One particle of the shared pool.
struct bzParticle
{
    bzV3 position; // world
    bzParticle *next;
    bzV3 velocity; // world, per second
    float age;     // 0 at birth (plus the initial age); dies above 1
    union
    {
        int16_t deltaRG[2]; // sprites: end minus start of red and green
        float spinPhase;    // models
    };
    union
    {
        int16_t deltaBA[2]; // sprites: end minus start of blue and alpha
        bzModel *model;     // models
    };
    union
    {
        bzColour startColour; // sprites
        float spinX;          // models
    };
    union
    {
        float framePhase; // sprites
        float spinY;      // models
    };
    float spinZ; // models
};

struct bzParticleLayer
{
    bzMaterial *material; // one reference held
    uint32_t mode;
    float ageLimit; // layer 0: age past which a particle moves to layer 1; layer 1: unused
    bzParticle *head;
    int32_t count;
};

typedef int32_t (*bzParticleGateFunction)(bzParticleSystem *system);
typedef void (*bzParticleSystemFunction)(bzParticleSystem *system);

struct bzParticleSystem
{
    uint32_t shapeKind;
    union
    {
        float width; // rectangle width, ring inner radius
        uint32_t pointCount;
    } shape1;
    union
    {
        float height; // rectangle height, ring outer radius
        bzV3 *points; // owned; kinds 3 and 4
    } shape2;
    uint32_t drawKind;
    uint32_t flags; // BZ_PS_*
    bzParticleLayer layers[2];
    float particleLife;
    bz_IMGMAP *texture; // one reference held
    bzModel *model;     // one reference held
    bzV3 direction;
    float speed;
    float speedVariance;
    float coneMin;
    float coneMax;
    float scaleWord;
    float initialAge;
    float startSize;
    float endSize;
    bzColour startColour;
    bzColour endColour;
    float launchOffset;
    float renderFactors[3];
    float frameRate;
    float frameFactors[2];
    const bzV3 *inheritedVelocity;
    float emissionRate;
    float emitterLife;
    bzV3 acceleration;
    bzLump *attractor;
    void *auxiliary; // owned block, freed with the system
    float attractorMinDistance;
    float attractorRange;
    float attractorStrength;
    bzForm *collisionForm;
    float drag;
    float maxSpeed;
    bzParticleGateFunction frameGate;
    bzParticleSystemFunction lifeEnd;
    bzParticleSystemFunction finished;
    float accumulator;
    float boundingRadius;
    bzM34 cachedWorld;
    bzLump *lump;
    bzParticleSystem *next;        // active list
    bzParticleSystem *pendingNext; // list of systems whose subtree goes after the walk
    uint32_t pending;
};

// What the particle systems ask of the collision layer for flag 0x100; installed by it.
struct bzParticleFormServices
{
    // Non-zero when a shape of the form holds the point (in the form's frame).
    int32_t (*containsPoint)(bzForm *form, const bzV3 *point);
    // The nearest hit of the segment from `from` to `to` (form frame): non-zero with the
    // fraction along the segment and the surface normal.
    int32_t (*rayIntersect)(bzForm *form, const bzV3 *from, const bzV3 *to, float *outT,
                            bzV3 *outNormal);
};
void bz_ParticleSystem_SetFormServices(const bzParticleFormServices *services);

// ---------------------------------------------------------------------------------------
// Pool and module

// Creates the particle pool (512 a block); 0, or 14 when it cannot.
bzErrorCode bz_ParticleSystem_InitPool();
// Gives every particle back and makes the pool anew.
bzErrorCode bz_ParticleSystem_Reset();
// Destroys the pool (particles of listed systems are dropped first).
void bz_ParticleSystem_FreePool();

// ---------------------------------------------------------------------------------------
// Systems

bzParticleSystem *bz_ParticleSystem_New();
void bz_ParticleSystem_SetDefaults(bzParticleSystem *system);
bzParticleSystem *bz_ParticleSystem_CreateForLump(bzLump *lump);
bzParticleSystem *bz_ParticleSystem_Clone(const bzParticleSystem *source);
// The lump's system released with its references; the lump's object cleared.
void bz_ParticleSystem_Destroy(bzLump *lump);
// Releases a system that belongs to no lump.
void bz_ParticleSystem_Free(bzParticleSystem *system);

void bz_ParticleSystem_SetPointShape(bzParticleSystem *system);
void bz_ParticleSystem_SetRectangleShape(bzParticleSystem *system, float width, float height);
void bz_ParticleSystem_SetRingShape(bzParticleSystem *system, float inner, float outer);
// Copies the points; 29 for a count of 0 or no points (the shape stays), 14 without memory.
bzErrorCode bz_ParticleSystem_SetPointCloudShape(bzParticleSystem *system, uint32_t count,
                                                 const bzV3 *points);
// A polyline needs at least 2 points (29 otherwise; the shape stays).
bzErrorCode bz_ParticleSystem_SetPolylineShape(bzParticleSystem *system, uint32_t count,
                                               const bzV3 *points);
void bz_ParticleSystem_SetColour(bzParticleSystem *system, bzColour colour);
void bz_ParticleSystem_SetLaunch(bzParticleSystem *system, float speed, float variance, float cone);
// Takes a reference of the image map (and drops that of the old one).
void bz_ParticleSystem_SetTexture(bzParticleSystem *system, bz_IMGMAP *texture);

void bz_ParticleSystem_Resume(bzParticleSystem *system, float rate);
void bz_ParticleSystem_Halt(bzParticleSystem *system);
void bz_ParticleSystem_Unlist(bzParticleSystem *system);
void bz_ParticleSystem_List(bzParticleSystem *system);
void bz_ParticleSystem_StopAndRelease(bzParticleSystem *system);
void bz_ParticleSystem_Show(bzParticleSystem *system);
void bz_ParticleSystem_Hide(bzParticleSystem *system);

// Walks over a subtree, acting on PARTICLE_EMITTER lumps.
void bz_ParticleSystem_StopTree(bzLump *root);
void bz_ParticleSystem_StartTree(const bzV3 *velocity, bzLump *root);
intptr_t bz_ParticleEmitter_StopCallback(bzLump *lump, void *user);
intptr_t bz_ParticleEmitter_StartCallback(bzLump *lump, void *velocity);
intptr_t bz_ParticleEmitter_KillCallback(bzLump *lump, void *user);
void bz_Lump_DisableTree(bzLump *root);
void bz_Lump_EnableTree(bzLump *root);

void bz_ParticleSystem_GetWorldMatrix(bzLump *lump, bzM34 *out);

// Emitter lumps with a new system (named as in their comments); attached as the parent's first
// child when a parent is given. Null with last-error 14 without memory.
// "ring_emitter"
bzLump *bz_ParticleSystem_CreateRing(bzLump *parent, float life, float speed, float cone,
                                     float rate, float inner, float outer, const char *texture,
                                     bzColour colour);
// "plane_emitter"
bzLump *bz_ParticleSystem_CreateRectangle(bzLump *parent, float life, float speed, float cone,
                                          float rate, float width, float height,
                                          const char *texture, bzColour colour);
// "point_emitter"
bzLump *bz_ParticleSystem_CreatePoint(bzLump *parent, float life, float speed, float cone,
                                      float rate, const char *texture, bzColour colour);
// "polyline_emitter"; null with 29 for fewer than 2 points.
bzLump *bz_ParticleSystem_CreatePolyline(bzLump *parent, float life, const bzV3 *launch, float cone,
                                         float rate, bzColour colour, const char *texture,
                                         uint32_t count, const bzV3 *points, int32_t closed);
// "polyhedron_emitter"; null with 29 for no points.
bzLump *bz_ParticleSystem_CreatePointCloud(bzLump *parent, float life, const bzV3 *launch,
                                           float cone, float rate, bzColour colour,
                                           const char *texture, uint32_t count, const bzV3 *points);

// A deep copy of the source lump's subtree (each emitter with a system of its own), attached as
// the parent's first child when a parent is given; null as bz_Lump_Clone.
bzLump *bz_ParticleSystem_Instance(bzLump *parent, const bzLump *source);

// ---------------------------------------------------------------------------------------
// Frame

// Steps every listed system by the frame time (nothing while particles are off).
void bz_ParticleSystem_Update();
// Steps every listed system by dt seconds.
void bz_ParticleSystem_UpdateBy(float dt);
// The frame time of the per-frame effects: the replay's fixed step while it applies, else the
// clock's frame milliseconds x 0.001.
float bz_ParticleSystem_FrameTime();
// Draws a listed system that was stepped this frame through the renderer by its draw kind:
// sprites (0) and prepared sprites (2). Model instances (1) need the viewport and are drawn by
// the renderer front end's draw queue.
void bz_ParticleSystem_Draw(bzLump *lump);
// Later callers' name of the sprite drawing.
void bz_ParticleSystem_Render(bzLump *lump);

struct bzParticleStats
{
    int32_t systems;
    int32_t activeParticles;
    int32_t particlesDrawn;
    int32_t emittersDrawn;
};
void bz_ParticleSystem_GetStats(bzParticleStats *out);
// The renderer's sprite drawing adds what it drew.
void bz_ParticleSystem_AddDrawn(int32_t particles, int32_t emitters);
int32_t bz_ParticleSystem_PrintStats(int32_t line);

void bz_ParticleSystem_Disable();
void bz_ParticleSystem_Enable();
void bz_ParticleSystem_Freeze(int32_t on);
int32_t bz_ParticleSystem_IsFrozen();
