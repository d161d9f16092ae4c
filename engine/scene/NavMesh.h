// The navigation mesh: where a walker may stand and move in a level. The walkable faces of the
// world's models are gathered into regions of face groups (one group per model lump); each face
// edge refers to the neighbouring face, to a join (another group or region, a precipice or a
// bar) or to a multi-join. This module holds the records, the builder that makes them from a
// level's lump tree, the file "NAVMAP.BZN" that keeps a built mesh in the level's folder, the
// decoding of edge references, the queries and moves of walkers on the mesh, the module's
// element pools and its profiling timers.
//
// "NAVMAP.BZN", little-endian, field by field: u32 magic 0x213; u32 world measure (the sum of
// the face counts of the world's MODEL lumps); u32 entry count; per entry the lump's name in 64
// zero-padded bytes, then the world box minimum and maximum (3 f32 each); u32 region count; per
// region u32 region word, u16 face-group count, u16 join count, u16 multi-join count, the face
// groups (u16 entry index, u16 face count, the faces as four u16: face index and three edge
// references, u16 obstacle count, the obstacle boxes as six f32), the joins (u8 kind, u8 face
// group, two spare bytes, u16 face, u16 region) and the multi-joins (u16 count, that many u16
// join indices); u32 end marker 0xBEEFB00B.
//
// The reader trusts no count: an entry count other than the number of model entries collected
// from the world now (at most 1024), an entry index past the entries, a count the remaining
// bytes cannot hold or a missing end marker refuse the file, which is deleted (as are a wrong
// magic, a world measure that differs, and a file older than one of its sources) so that the
// next build writes a new one.
#pragma once

#include "core/Error.h"
#include "maths/Types.h"

#include <cstdint>

struct bzLump;

constexpr uint32_t BZ_NAV_MAGIC = 0x213;
constexpr uint32_t BZ_NAV_END_MARKER = 0xBEEFB00Bu;
constexpr int32_t BZ_NAV_MAX_ENTRIES = 1024;
constexpr int32_t BZ_NAV_PARAMETER_WORDS = 12;

// Edge references: the top two bits select the kind, the low 14 bits carry a number.
constexpr uint16_t BZ_NAV_EDGE_BAR = 0x7FFF;
enum bzNavEdgeKind : int32_t
{
    BZ_NAV_EDGE_FACE = 0,      // a face of the same group (number: the face)
    BZ_NAV_EDGE_BAR_KIND = 1,  // may not be crossed
    BZ_NAV_EDGE_PRECIPICE = 2, // a drop (number: the stored value)
    BZ_NAV_EDGE_JOIN = 3,      // one join of the region (number: the join)
    BZ_NAV_EDGE_MULTI = 4,     // each join of a multi-join (number: the multi-join)
};
// The kind of an edge reference, with its number.
bzNavEdgeKind bz_NavMesh_DecodeEdge(uint16_t reference, int32_t *number);

// Join kinds.
enum : uint8_t
{
    BZ_NAV_JOIN_GROUP = 0,     // a face of another group of the same region
    BZ_NAV_JOIN_REGION = 1,    // a face of another region
    BZ_NAV_JOIN_PRECIPICE = 2, //
    BZ_NAV_JOIN_BAR = 3,       // also a join whose target was not found
};

struct bzNavModelEntry
{
    bzLump *lump; // an enabled MODEL lump with a model
    bzV3 min;     // its model's box in world space
    bzV3 max;
};

struct bzNavObstacle
{
    bzNavObstacle *next;
    void *object; // what the obstacle maker made of the box, or null
    bzV3 min;
    bzV3 max;
};

struct bzNavFace
{
    uint16_t face;     // the face's number in its model
    uint16_t edges[3]; // edge i runs from vertex i to vertex (i + 1) mod 3
};

struct bzNavFaceGroup
{
    uint16_t entry; // the model entry whose faces these are
    uint16_t faceCount;
    bzNavFace *faces;
    uint16_t obstacleCount;
    bzNavObstacle *obstacles;
};

struct bzNavJoin
{
    uint8_t kind;
    uint8_t group;
    uint8_t spare[2];
    uint16_t face;
    uint16_t region;
};

struct bzNavMultiJoin
{
    uint16_t count;
    uint16_t *joins;
};

struct bzNavRegion
{
    uint32_t word;
    uint16_t groupCount;
    bzNavFaceGroup *groups;
    uint16_t multiJoinCount;
    uint16_t joinCount;
    bzNavMultiJoin *multiJoins;
    bzNavJoin *joins;
};

typedef int32_t (*bzNavObstacleFilter)(bzLump *lump);
typedef void *(*bzNavObstacleMaker)(const bzV3 *min, const bzV3 *max);

// The build parameter words: f32 unless said otherwise. Words 6 and 7 and the name (9) and
// its length (10) are kept as they are and not read by the builder.
enum : int32_t
{
    BZ_NAV_PARAM_STEP_DOWN = 0,       // the deepest step down within a region
    BZ_NAV_PARAM_STEP_UP = 1,         // the highest step up within a region
    BZ_NAV_PARAM_BAR_HEIGHT = 2,      // a rise above this may not be crossed
    BZ_NAV_PARAM_PRECIPICE_DEPTH = 3, // a drop below this is a precipice
    BZ_NAV_PARAM_EDGE_TOLERANCE = 4,  // edges within a tenth of this lie on one line
    BZ_NAV_PARAM_SIDE_PROBE = 5,      // how far outside an open edge its drop probe runs
    BZ_NAV_PARAM_END_TOLERANCE = 8,
    BZ_NAV_PARAM_SURFACE_MASK = 11, // u32: the surface bits that tell regions apart
};
float bz_NavMesh_GetParameter(const uint32_t *parameters, int32_t word);
void bz_NavMesh_SetParameter(uint32_t *parameters, int32_t word, float value);

// What a mesh is built or loaded for.
struct bzNavSetup
{
    bzLump *world;
    uint32_t parameters[BZ_NAV_PARAMETER_WORDS];
    bzNavObstacleFilter filter;
    bzNavObstacleMaker maker;
    uint32_t userWord;
};

struct bzNavMesh
{
    uint32_t worldMeasure;
    int32_t entryCount;
    bzNavModelEntry *entries; // BZ_NAV_MAX_ENTRIES
    int32_t regionCount;
    bzNavRegion *regions;
    void *buildWork;
    uint32_t parameters[BZ_NAV_PARAMETER_WORDS];
    bzLump *world;
    bzNavObstacleFilter filter;
    bzNavObstacleMaker maker;
    uint32_t userWord;
};

// The box of the lump's model through its world transform: 1, or 0 without a model box.
int32_t bz_NavMesh_LumpWorldBox(bzLump *lump, bzV3 *min, bzV3 *max);
// The sum of the face counts of the MODEL lumps of the world that have a model.
uint32_t bz_NavMesh_WorldMeasure(bzLump *world);
// A new empty mesh with the model entries of the setup's world (enabled MODEL lumps with a
// model, in walk order, at most 1024) and the setup copied; null with 14 without memory.
bzNavMesh *bz_NavMesh_Create(const bzNavSetup *setup);
// Allocates the mesh's regions (cleared), its groups, faces, joins and multi-joins: blocks freed
// with the mesh. Null with 14 without memory.
bzNavRegion *bz_NavMesh_AllocRegions(bzNavMesh *mesh, int32_t count);
void *bz_NavMesh_Alloc(bzNavMesh *mesh, uint32_t bytes);
// Frees the mesh's blocks and the root, and gives its obstacle entries back to their pool. When
// no element of the module's pools is left in use (no other mesh or move state holds one), the
// three pools are destroyed and made again, so that their blocks shrink back to the first ones.
void bz_NavMesh_Free(bzNavMesh *mesh);

// The module's element pools, taken from the memory manager's pools. Sizes with 4-byte pointers:
// an obstacle entry 32 bytes, an edge link 52, an obstacle list entry 8.
enum : int32_t
{
    BZ_NAV_POOL_OBSTACLES = 0,     // the obstacle entries of face groups: 16 a block, 16 blocks
    BZ_NAV_POOL_EDGE_LINKS = 1,    // the edge links of a move state's face: 16 a block, 4 blocks
    BZ_NAV_POOL_OBSTACLE_LIST = 2, // a move state's obstacle list: 32 a block, 8 blocks
    BZ_NAV_POOL_COUNT = 3,
};
// Creates the three pools (a pool that exists is kept): 0, or 14 when one cannot be made. The
// pools are also made on first use.
bzErrorCode bz_NavMesh_InitPools();
// The memory manager's id of the pool; 0 when it does not exist.
int32_t bz_NavMesh_PoolId(int32_t pool);
// A cleared element of the pool (made first when it does not exist); null with 14 without
// memory.
void *bz_NavMesh_PoolTake(int32_t pool);
// Gives an element back to its pool; null is ignored.
void bz_NavMesh_PoolGive(int32_t pool, void *element);
// The elements of the three pools in use.
uint32_t bz_NavMesh_PoolsInUse();
// Destroys the three pools and makes them again, when no element of theirs is in use: 1 when it
// did, 0 when elements are still held (the pools are left as they are) or they cannot be made.
int32_t bz_NavMesh_RenewPools();

// Writes the mesh: 0; 29 for a null argument; 19 when the file cannot be written; 20 when a
// count does not fit its field.
bzErrorCode bz_NavMesh_Write(const bzNavMesh *mesh, const char *path);
// Loads the file written for the setup's world. The sources (up to two, nulls skipped) make a
// navigation file older than one of them stale: it is deleted first. Null (last-error 19 for no
// file, 59 for a damaged or foreign one, 14 without memory) when nothing was loaded.
bzNavMesh *bz_NavMesh_Load(const char *path, const bzNavSetup *setup, const char *const *sources,
                           int32_t sourceCount);

// 1 when (x, z) lies in the x-z shadow of the triangle of three corners, edges included.
int32_t bz_NavMesh_OverFace(const bzV3 *corners, float x, float z);
// Face queries on (region, face group, face index in the group). The face's corners in world
// space (its model's face vertices through its entry lump's world transform): 1, or 0 for a face
// that does not exist.
int32_t bz_NavMesh_GetFaceCorners(const bzNavMesh *mesh, int32_t region, int32_t group,
                                  int32_t face, bzV3 *out);
// The height of the point's x, z on the face's plane, with the plane's unit normal (upward)
// when asked; 0 for a face that does not exist.
float bz_NavMesh_HeightOnFace(const bzNavMesh *mesh, int32_t region, int32_t group, int32_t face,
                              const bzV3 *point, bzV3 *outNormal);
// The highest corner's height.
float bz_NavMesh_FaceTop(const bzNavMesh *mesh, int32_t region, int32_t group, int32_t face);
// |height of the position - height of the face's centroid|, and whether the position lies over
// the face in the x-z plane.
float bz_NavMesh_FaceOffset(const bzNavMesh *mesh, int32_t region, int32_t group, int32_t face,
                            const bzV3 *position, int32_t *outOver);

// A place on the mesh: region, face group and face (-1 when unknown), and the face's lump.
struct bzNavPlace
{
    int32_t region;
    int32_t group;
    int32_t face;
    bzLump *lump;
};
// Finds the face under the position (x-z plane), starting from the place last known: 0 the same
// face, 1 another face of its group or region, 2 a face of another region (the last region in
// order that holds it), 3 none (the place unchanged). The place found is stored.
int32_t bz_NavMesh_FindRegion(const bzNavMesh *mesh, const bzV3 *position, bzNavPlace *place);

// After building: joins of another region (and precipices of region 0) are found in the regions
// in order and take that region, group and face index; joins within the region take the group
// and face index there; edge references to a face of the group take its index. A join whose
// target is missing becomes a bar, with a debug line; an edge reference whose face is missing
// stays, with a debug line.
void bz_NavMesh_Resolve(bzNavMesh *mesh);

// Builds the mesh of the setup's world in memory (the rules are set out in NavMeshBuild.cpp):
// walkable faces gathered into regions and face groups, every edge linked, resolved, the
// obstacles of the obstacle lump (may be null) added and the world measure stored. The drop
// probes of open edges hit the world, the obstacle lump and the probe lump (may be null). Null
// with the last error set: 29 for no setup or world, 14 without memory, 20 when the world is
// larger than the mesh's fields can number.
bzNavMesh *bz_NavMesh_BuildMesh(const bzNavSetup *setup, bzLump *obstacles, bzLump *probe);
// The mesh of the level in the folder: "NAVMAP.BZN" there is loaded when it is newer than the
// sources (up to two, may be null) and matches the world; else the mesh is built and written
// there. Null with the last error set when neither gives a mesh (a file that cannot be written
// still leaves the built mesh, with the last error 19).
bzNavMesh *bz_NavMesh_Build(const char *folder, const bzNavSetup *setup, bzLump *obstacles,
                            bzLump *probe, const char *const *sources, int32_t sourceCount);
// 1 while bz_NavMesh_Build is making the navigation map, else 0.
int32_t bz_NavMesh_IsBuilding();

// Obstacles: every lump of the subtree that the mesh's filter accepts (all with none) and whose
// model box in world space has some extent on every axis is offered to each region; there the
// first face of a group over whose entry box it stands (in x and z) whose centroid height h has
// box bottom - h <= 2.5 and h - box top <= 0.5, and whose triangle meets the box in the x-z plane
// (a corner inside it or an edge crossing it), takes it into its group's list, referring to the
// lump. The number of groups that took one.
int32_t bz_NavMesh_AddObstacles(bzNavMesh *mesh, bzLump *root);
// 1 when the triangle of three corners meets the box in the x-z plane: a corner inside the box's
// rectangle or an edge crossing it (a rectangle wholly inside the triangle does not meet it).
int32_t bz_NavMesh_BoxMeetsFace(const bzV3 *corners, const bzV3 *min, const bzV3 *max);
// Removes from every face group the first obstacle that refers to the lump, when the filter
// accepts it (or there is none). The number removed.
int32_t bz_NavMesh_RemoveObstacle(bzNavMesh *mesh, bzLump *object);

// Profiling timers of the module, by slot (0 to BZ_NAV_TIMER_SLOTS - 1; other slots are
// ignored and read 0). Start stores the current time, stop adds the time since the start to the
// slot's total, read gives the total in seconds and reset sets it to 0. Times are the clock's
// milliseconds x 0.001; while the replay plays back with fixed frame times, each stop adds the
// fixed step.
constexpr int32_t BZ_NAV_TIMER_SLOTS = 16;
void bz_NavMesh_TimerStart(int32_t slot);
void bz_NavMesh_TimerStop(int32_t slot);
float bz_NavMesh_TimerRead(int32_t slot);
void bz_NavMesh_TimerReset(int32_t slot);

// Look-ahead results of a move.
enum BZ_NAV_LA : int32_t
{
    BZ_NAV_LA_ERROR = -1,
    BZ_NAV_LA_SAME_FACE = 0,
    BZ_NAV_LA_NEW_FACE = 1,
    BZ_NAV_LA_NEW_REGION = 2,
    BZ_NAV_LA_PRECIPICE = 3,
    BZ_NAV_LA_OBSTACLE = 4,
    BZ_NAV_LA_DYN_OBJECT = 5,
    BZ_NAV_LA_BARRED = 6,
};

// Where an edge of a prepared face leads: a face of some region and group, or a stop. An edge
// of a multi-join has one link per join.
struct bzNavEdgeLink
{
    bzNavEdgeLink *next;
    int32_t edge;   // the face's edge: 0 to 2
    int32_t result; // BZ_NAV_LA_NEW_FACE, _NEW_REGION, _PRECIPICE, _BARRED, or _ERROR for a
                    // reference that names no join
    int32_t region, group, face;
    bzLump *lump; // the lump of the face's model entry, or null for a stop
    bzV3 from;    // the edge's corners in world space
    bzV3 to;
};

// An entry of a move state's obstacle list.
struct bzNavObstacleEntry
{
    bzNavObstacleEntry *next;
    const bzNavObstacle *obstacle;
};

// A walker's place on the mesh with its current face prepared. A state starts cleared; the
// links and the obstacle list come from the module's pools and go back with
// bz_NavMesh_ReleaseState.
struct bzNavMoveState
{
    int32_t valid;
    bzNavPlace place;
    bzV3 corners[3];               // world space
    bzV3 normal;                   // upward unit normal
    float centroidHeight;          //
    bzNavEdgeLink *links;          // the face's edges decoded, in edge order
    bzNavObstacleEntry *obstacles; // the obstacles of its group whose boxes meet the face
};
// Gives the state's links and obstacle list back to their pools and clears the state.
void bz_NavMesh_ReleaseState(bzNavMoveState *state);

// A dynamic object a move is tested against: its lump, where it is and how fast it goes.
struct bzNavDynObject
{
    bzLump *lump;
    bzV3 position;
    bzV3 velocity;
};
// A dynamic object lies in the way of a move when its squared distance from the movement's line
// (from the start to the end of the whole movement) is below this and it is not behind the
// start.
constexpr float BZ_NAV_DYN_OBJECT_REACH_SQ = 100.0f;

// What stopped a move (obstacle 4 or dynamic object 5): the obstacle's object (the lump it was
// made of, or what the obstacle maker made of a stored box) or the dynamic object's lump; the
// horizontal unit direction from the start to it (the movement's when it lies straight above
// or below); its velocity (0 for an obstacle).
struct bzNavBlockage
{
    void *object;
    bzV3 direction;
    bzV3 velocity;
};

// Finds the face under position + offset (offset may be null) starting from the state's place;
// stores it, prepared (its edge links and obstacle list taken from the pools, the state's old
// ones given back), and marks the state valid: 0, or -1 when no face holds it or the pools have
// no room (the state is then left invalid, holding nothing).
int32_t bz_NavMesh_Locate(const bzNavMesh *mesh, bzNavMoveState *state, const bzV3 *position,
                          const bzV3 *offset);
// The height of the position on the state's face plane; 0 without a current face.
float bz_NavMesh_StateHeight(const bzNavMesh *mesh, const bzNavMoveState *state,
                             const bzV3 *position);
// Moves from the position by the movement across the faces (x-z plane). Without a current face
// the position is located (0, or -1 when it cannot be) and nothing moves. Otherwise, at most 20
// times: the stretch of the movement over the current face is tested against the state's
// obstacle list, gathered afresh at the start of each move and at each face crossed: the
// obstacles of the face's group whose boxes meet it (one it enters stops the move: 4; a move that
// starts inside a box may leave it); when the end leaves the face, the edge crossed leads on (a
// face of the group or of a join: 1, another region: 2) or stops the move (a precipice 3, a bar or
// an edge that leads nowhere 6); more than 20 crossings give -1. A movement without x and z gives
// 0. Then, unless an obstacle stopped it or it failed, the dynamic objects given (objects may be
// null) are tested: the nearest to the start that lies in the way gives 5. The place reached goes
// to out and what stopped the move to blockage, each when given.
int32_t bz_NavMesh_MoveOnFace(const bzNavMesh *mesh, bzNavMoveState *state, const bzV3 *from,
                              const bzV3 *movement, const bzNavDynObject *objects,
                              int32_t objectCount, bzNavPlace *out, bzNavBlockage *blockage);
// Probes a walker's width: the move run along the two lines offset by the half width to either
// side of the movement (horizontal, the movement crossed with (0, 1, 0)), each from its own copy
// of the state located at its start, with no dynamic objects. -1 when either gives -1 (or a
// start lies on no face), else the larger of the two results; the state is left as it was.
int32_t bz_NavMesh_ProbeWidth(const bzNavMesh *mesh, const bzNavMoveState *state, const bzV3 *from,
                              const bzV3 *movement, float halfWidth);
