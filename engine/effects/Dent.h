// Dents: permanent deformation of a model's mesh by a collision shape. Every vertex near the
// shape is pushed along the dent direction by an amount that falls off smoothly with its
// lateral distance, so that a car body shows where it was struck. A dent may be recorded in the
// action replay under the session "DENT" as one byte per vertex, so that playback re-applies it
// (forward) or takes it back (backward).
//
// The shape is given in the model's frame. The model's vertex positions, its part flags and the
// replay come through the table below (installed by the models subsystem and the replay); the
// render buffers are rebuilt through the renderer table.
#pragma once

#include "maths/Types.h"

#include <cstdint>

struct bzModel;
struct bzShape;
struct bzForm;

// Model part flags the dents set and clear.
enum : uint32_t
{
    BZ_PART_REBUILD = 0x4000, // the render buffers must be rebuilt
    BZ_PART_EDITING = 0x8000, // the vertices are being edited
};

struct bzDentRequest
{
    const bzShape *shape;
    const bzV3 *direction; // unit length
    float depth;
    float spread;
    float radius;
    float backLimit;
    uint32_t record;       // non-zero: recorded in the replay
    float randomness;      // a fraction of the depth
    float largest;         // result: largest displacement applied
    uint32_t largestIndex; // result: the vertex that moved most
    uint32_t missed;       // result: 1 when the shape's reach does not touch the model
};

// The record of a dent event: this header and one byte per vertex of the model part.
struct bzDentRecord
{
    bzModel *model;
    float direction[3];
    float step; // (depth + randomness) / 255
};

typedef uint32_t (*bzDentSizeFunction)(void *session, const void *record);
typedef void (*bzDentApplyFunction)(void *session, const void *record, uint32_t key, void *spare,
                                    float factor);

struct bzDentServices
{
    // The writable vertex positions of the model's part and their count, and the address of the
    // part's flag word; 0 when the model has no part.
    int32_t (*getPart)(bzModel *model, bzV3 **positions, uint32_t *count, uint32_t **partFlags);
    // The replay: a session of the name (element size 0: sizes come from the size function),
    // and one recorded event of a session (non-zero when not recording).
    void *(*createSession)(const char *name, uint32_t elementSize, bzDentSizeFunction size,
                           bzDentApplyFunction apply, uint32_t flags, uint32_t mode);
    int32_t (*recordEvent)(void *session, const void *record);
};
void bz_Dent_SetServices(const bzDentServices *services);

// Dents the model; with no model, the single point is dented as one vertex (no rebuild, no
// record). 1 when anything moved, else 0.
int32_t bz_Dent_Apply(bzModel *model, bzDentRequest *request, bzV3 *point);
// The same for a model only; 0 at once without a model or a model part.
int32_t bz_Dent_ApplyToModel(bzModel *model, bzDentRequest *request);
// 1 when the dent cannot reach the model (bounds of the model against the shape grown by the
// reach, the radius and the back limit; half-spaces against their plane).
int32_t bz_Dent_Overlaps(const bzDentRequest *request, const bzModel *model);
// Limits the request's depth to the first contact of its shape with the target form (both in
// one frame): 0 when the shape already intersects the form, the depth times the time of impact
// when the shape moved along direction x reach meets it, unchanged otherwise. 0; 29 for a null
// or incomplete request or form; 14 when the shape cannot be copied into a form of its own.
int32_t bz_Dent_LimitDepth(const bzForm *target, bzDentRequest *request);
// The point of the shape's solid nearest to p (p itself inside); 0 for kinds without one (Null,
// CrushableCuboid).
int32_t bz_Dent_ClosestPoint(const bzShape *shape, const bzV3 *p, bzV3 *out);
// Over a chain of shapes, the closest point of the shape nearest to p; 0 when none has one.
int32_t bz_Dent_NearestPoint(const bzShape *shapes, const bzV3 *p, bzV3 *out);

// The replay session "DENT" and its callbacks.
void *Dent_RegisterSession();
uint32_t Dent_RecordSize(void *session, const void *record);
void Dent_Playback(void *session, const void *record, uint32_t key, void *spare, float factor);
