// Key-frame animation of lumps. An animation file holds named tracks, each a set of channels of
// timed keys (position, rotation, a re-parenting link, and extra channels such as a field of
// view); an animation instance binds the tracks by name to the lumps of a tree and writes the
// evaluated values into their matrices, at a time the caller gives or advanced every frame at
// the instance's speed. A camera set-up plays an animation through the tracks "Camera" and
// "CameraTarget" into a viewport.
//
// Every channel has a kind (what it drives) and a row of the format table (how its keys are
// stored and blended). A file is checked whole when it loads: a channel whose keys would not
// fit the row its kind blends with, key times that are not finite or go backwards, non-finite
// key values, parent links to tracks that do not exist, a name count other than the track count
// and a length that is not above 0 refuse the file. The per-frame update allocates nothing.
#pragma once

#include "core/Error.h"
#include "maths/Types.h"

#include <cstdint>

struct bzLump;
struct bzViewport;

// Channel kinds.
enum : uint8_t
{
    BZ_ANIM_KIND_POSITION = 1,
    BZ_ANIM_KIND_ROTATION = 2,
    BZ_ANIM_KIND_PARENT = 3,
    BZ_ANIM_KIND_FLOAT = 4, // a camera's field of view
    BZ_ANIM_KIND_LINEAR = 5,
    BZ_ANIM_KIND_EVENTS = 6,
    BZ_ANIM_KIND_OTHER = 7,
};

// Modes of the format rows.
enum : uint16_t
{
    BZ_ANIM_MODE_NONE = 0,
    BZ_ANIM_MODE_INTERPOLATED = 1,
    BZ_ANIM_MODE_STEP = 2,
};

// Key values as the rows keep them in memory.
struct bzAnimKeyFloat // row 1
{
    float value;
    float in;
    float out;
};
struct bzAnimKeyV3 // row 2
{
    bzV3 value;
    bzV3 in;
    bzV3 out;
};
struct bzAnimKeyRotation // row 3
{
    bzQuat q;
    bzQuat outgoing;
    bzQuat incoming;
    float easeIn;
    float easeOut;
    uint32_t extra; // the word the file stores first; never evaluated
};
struct bzAnimKeyLink // row 4
{
    uint32_t track; // the new parent's track
    bzM34 offset;
};
static_assert(sizeof(bzAnimKeyFloat) == 12 && sizeof(bzAnimKeyV3) == 36);
static_assert(sizeof(bzAnimKeyRotation) == 60 && sizeof(bzAnimKeyLink) == 52);

// A row of the format table: value size in bytes and mode.
struct bzAnimChannelKind
{
    uint16_t size;
    uint16_t mode;
};
constexpr int32_t BZ_ANIM_FORMAT_ROWS = 8;
extern const bzAnimChannelKind bzAnimChannelKinds[BZ_ANIM_FORMAT_ROWS];
// The row a kind (0 to 7) blends with.
int32_t bz_Anim_RowOfKind(uint8_t kind);

struct bzAnimChannel
{
    uint8_t kind;
    uint8_t format; // the row its keys were stored with
    uint16_t count;
    float *times;    // ascending seconds
    uint8_t *values; // count values of the row's size, one after the other
};

struct bzAnimTrack
{
    bzAnimChannel *position; // kind 1
    bzAnimChannel *rotation; // kind 2
    bzAnimChannel *parent;   // kind 3
};

constexpr int32_t BZ_ANIM_NAME_SIZE = 16;

struct bzKeyAnim
{
    float length; // seconds, above 0
    uint32_t trackCount;
    bzAnimTrack *tracks;
    uint32_t nameCount;               // equals the track count
    char (*names)[BZ_ANIM_NAME_SIZE]; // one per track, not terminated when 16 long
};

// Instance flags.
enum : uint32_t
{
    BZ_ANIM_STOPPED = 0x1,    // stopped or paused: skipped by the per-frame update
    BZ_ANIM_ONLY_DRAWN = 0x2, // only lumps drawn in the previous frame are updated
    BZ_ANIM_PLAY_ONCE = 0x4,  // stop at either end instead of wrapping around
};

struct bzAnimInstance
{
    bzKeyAnim *anim;
    bzLump **targets; // one per name; null where no lump has the name
    uint32_t flags;
    float time;
    float speed; // 0 on creation: the per-frame update leaves the instance still
    bzAnimInstance *next;
};

struct bzAnimCamera
{
    bzKeyAnim *anim;
    bzAnimInstance *instance;
    bzLump *camera; // made for the track "Camera", or null
    bzLump *target; // made for the track "CameraTarget", or null
    bzViewport *viewport;
    bzLump *previousCamera;
    uint32_t word1;
    bzAnimChannel *fieldOfView; // the kind-4 channel the loader handed over
    uint32_t word2;
    uint32_t word3;
    uint32_t active;
    uint32_t paused;
    uint32_t word4; // cleared on stop
};

// What the animation reads of its neighbours: the render walk's frame counter (for instances
// that update only drawn lumps) and the camera lump of a viewport. With none installed the
// frame counter reads 0 and viewports are left alone.
struct bzAnimServices
{
    uint32_t (*getRenderFrame)();
    bzLump *(*getViewportCamera)(bzViewport *viewport);
    void (*setViewportCamera)(bzViewport *viewport, bzLump *camera);
};
// Installs the table (copied); null removes it.
void bz_Anim_SetServices(const bzAnimServices *services);
// The render walk's frame counter through the table; 0 without one.
uint32_t bz_Anim_RenderFrame();
// A viewport's camera lump (null without the table), and a new one for it.
bzLump *bz_Anim_GetViewportCamera(bzViewport *viewport);
void bz_Anim_SetViewportCamera(bzViewport *viewport, bzLump *camera);

// A loaded channel that is not position, rotation or parent link goes to this callback, which
// owns it from then on.
typedef void (*bzAnimChannelFunction)(bzAnimChannel *channel, void *user);
// A key of a step channel between two times: its value, the channel's kind, 1 when playing
// backwards.
struct bzAnimEventSink
{
    void (*report)(const void *value, uint8_t kind, int32_t backwards, void *user);
    void *user;
};

// Loads an animation file (the name is used whole). Null with last-error 19 (no file), 14 (no
// memory), 58 (a version other than 0x0300) or 59 (a damaged or inconsistent file), with
// nothing left allocated but the channels already handed to the callback.
bzKeyAnim *bz_Anim_Load(const char *fileName, bzAnimChannelFunction callback, void *user);
// The same from the file's bytes in memory, never reading at or past data + size.
bzKeyAnim *bz_Anim_LoadMemory(const uint8_t *data, uint32_t size, bzAnimChannelFunction callback,
                              void *user);
// Destroys every instance of the animation, then the animation. Null is ignored.
void bz_Anim_Destroy(bzKeyAnim *anim);

// A zeroed channel of count keys of the kind's row; null for kind 0 or above 7, or no memory.
bzAnimChannel *bz_AnimChannel_Create(uint16_t count, uint8_t kind);
void bz_AnimChannel_Free(bzAnimChannel *channel);
// Interpolated channels write the blended value to out (a float, a bzV3, a bzM33 of rotation
// rows, or the lump of a parent link); step channels report to the bzAnimEventSink at out every
// key with time in [min(t, t2), max(t, t2)). A channel without keys does nothing.
void bz_AnimChannel_Evaluate(const bzAnimChannel *channel, float t, void *out, float t2);
// Rotation, position and parent link of the track into the lump at time t; a null lump is
// skipped.
void bz_AnimTrack_Apply(bzLump *lump, const bzAnimTrack *track, float t);
// Every track into its target at time t; with onlyDrawn, only targets drawn in the previous
// frame.
void bz_Anim_ApplyAll(const bzKeyAnim *anim, bzLump *const *targets, float t, int32_t onlyDrawn);

// An instance of the animation on the tree below root, at the front of the list of instances.
// Null for a null animation or no memory.
bzAnimInstance *bz_AnimInstance_Create(bzKeyAnim *anim, bzLump *root);
void bz_AnimInstance_Destroy(bzAnimInstance *instance);
// Frees targets and record without unlinking.
void bz_AnimInstance_FreeRecord(bzAnimInstance *instance);
// Wraps (or clamps, for play-once) the time, applies the animation and keeps the time. Null and
// non-finite times are ignored.
void bz_AnimInstance_SetTime(bzAnimInstance *instance, float t);
void bz_AnimInstance_Advance(bzAnimInstance *instance, float dt);
void bz_AnimInstance_SetSpeed(bzAnimInstance *instance, float speed);
void bz_AnimInstance_Reset(bzAnimInstance *instance);
void bz_AnimInstance_Pause(bzAnimInstance *instance);
void bz_AnimInstance_Resume(bzAnimInstance *instance);
// The first instance of the list (the newest).
bzAnimInstance *bz_Anim_FirstInstance();
// Advances every running instance by the frame time times its speed; once a frame.
void bz_Anim_UpdateAll();

// The camera set-up.
bzAnimCamera *bz_AnimCamera_Load(const char *fileName, bzLump *root);
void bz_AnimCamera_Start(bzAnimCamera *record, bzViewport *viewport);
void bz_AnimCamera_Stop(bzAnimCamera *record);
void bz_AnimCamera_Pause(bzAnimCamera *record);
void bz_AnimCamera_Resume(bzAnimCamera *record);
// Stops the record when it runs, destroys instance and animation, then the made lumps with
// every lump below them.
void bz_AnimCamera_Destroy(bzAnimCamera *record);
// The loader callback of the set-up: keeps a kind-4 channel in the record, frees the others.
void bz_AnimCamera_KeepFovChannel(bzAnimChannel *channel, void *record);
// The running record, or null.
bzAnimCamera *bz_AnimCamera_GetActive();
