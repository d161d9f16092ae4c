// Skid-mark trails: the object of a SKIDMARKS lump and the per-frame update that lays marks
// behind the wheels of a vehicle. One record serves the whole engine: the trail update here,
// the ring of the models subsystem that keeps and adds the points, and the renderer's ribbon
// drawing all read the set, trail and point below.
//
// A point is eight words: one strip edge (x, y, z), the marker word (0x8000 starts a strip,
// 0x7FFF continues one and is drawn), the other strip edge (x, y, z) and a packed colour. The
// ring drawing reads it as {left, validity, right, colour}; the ring code's "direction" is the
// second edge. A trail's points are a ring: tail is the oldest point, head the slot the next
// point is written to; a ring of capacity n holds at most n - 1 points.
//
// The set is counted: every lump that holds it holds one use (a lump copy shares the set), and
// the last release frees it.
#pragma once

#include "core/Error.h"
#include "maths/Types.h"

#include <cstdint>

struct bzLump;
struct bz_IMGMAP;

constexpr int32_t BZ_SKID_START = 0x8000;
constexpr int32_t BZ_SKID_CONTINUE = 0x7FFF;

struct bzSkidPoint
{
    bzV3 edgeA;
    int32_t marker;
    bzV3 edgeB;
    uint32_t colour;
};
static_assert(sizeof(bzSkidPoint) == 32);

// Trail flags.
enum : uint8_t
{
    BZ_SKID_ACTIVE = 0x1,   // a strip is open
    BZ_SKID_FORCED = 0x2,   // marks regardless of skidding
    BZ_SKID_SKIDDING = 0x4, // the wheel skids
};

struct bzSkidTrail
{
    bzSkidPoint *points; // owned ring
    int32_t capacity;
    int32_t tail;
    int32_t head;
    int32_t runLength;      // points of the current strip
    bzSkidPoint *openPoint; // the point last written or moved, or null
    uint32_t colour;
    uint8_t flags;
    bzV3 lastPosition;
    float intensity; // 0 to 1
};

struct bzSkidMarkSet
{
    int32_t trailCount;
    float range;         // squared distance within which the ring moves an open point
    float spacing;       // point spacing factor of the trail update
    float skidThreshold; // sideways-skid value above which a wheel skids
    uint32_t flags;      // bit 0: some trail is active
    bz_IMGMAP *image;    // one reference held
    bzSkidTrail *trails;
    bzLump *lump;     // the SKIDMARKS lump that took it last
    int32_t refCount; // lumps holding it
};

// What the update reads of one wheel of a vehicle.
struct bzSkidWheel
{
    bzV3 contact;        // contact position in the vehicle frame
    float load;          // positive while the wheel presses on the ground
    float groundOffset;  // lowers the mark's height
    float sidewaysSkid;  // compared with the skid threshold
    int32_t groundMoves; // the touched ground object is itself movable
    bzV3 axis;           // the wheel's axis vector of the skid measure
};

struct bzSkidVehicle
{
    bzLump *lump; // places the wheels in the world
    const bzSkidWheel *wheels;
    int32_t wheelCount;
    bzV3 reference; // the vehicle's vector of the skid measure
    float wheelWidth;
};

// A set of trails of the given ring capacity (at least 2) with the image map (one reference
// taken); no use yet. Null with 29 for counts out of range, 14 without memory.
bzSkidMarkSet *bz_SkidMarks_CreateSet(int32_t trailCount, int32_t capacity, bz_IMGMAP *image);
void bz_SkidMarks_FreeSet(bzSkidMarkSet *set);
// Adds a point to a trail's ring: a strip start when the trail is not active (the trail then
// is), else a continuation. Returns the point.
bzSkidPoint *bz_SkidTrail_AddPoint(bzSkidTrail *trail, const bzV3 *edgeA, const bzV3 *edgeB,
                                   float intensity);
// Number of points the ring holds.
int32_t bz_SkidTrail_Count(const bzSkidTrail *trail);

void bz_SkidMarks_Enable(int32_t on);
// Lays the marks of one frame for the vehicle's wheels (trail i for wheel i).
void SkidMarks_UpdateTrails(bzSkidMarkSet *set, const bzSkidVehicle *vehicle);
