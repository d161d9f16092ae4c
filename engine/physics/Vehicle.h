// Vehicle dynamics: the list of the game's vehicles, their handling values and how they are
// applied, the driver's controls (steering, pedals, hand brake), the engine, clutch and
// gearbox, the stability control, the rest test that lets a parked car sleep, and the loader
// of a vehicle's "[DYNAMICS]" section.
//
// Every vehicle computation uses the fixed frame time 0.04 s. bz_DynVehicle_Update is meant to
// run once per physics step (40 ms), from the step's call back, so that the car's impulses and
// the step that integrates them keep pace.
#pragma once

#include "physics/DynVehicle.h"

#include <cstdint>

struct BZDObject;
struct bzForm;
struct bzTextReader;

// The fixed frame time of the vehicle computations.
constexpr float BZ_VEHICLE_DT = 0.04f;

// What the vehicles need from the layers above the physics. Empty slots give the neutral
// answer told with them.
struct bzVehicleServices
{
    // Gives the lump its dynamics body with the form; null when it cannot. Empty: the lump's
    // body when it already has one.
    BZDObject *(*createBody)(bzLump *lump, bzForm *form, const char *name);
    // Reads a shape reference at the reader's position; null for none. Empty: none.
    bzForm *(*readShape)(bzLump *lump, bzTextReader *reader);
    // The checksum of the models of the car lump's subtree. Empty: bz_DynVehicle_ShapeCheckSum.
    int32_t (*modelCheckSum)(bzLump *lump);
    // The box of the models of the car lump's body lumps, in the car's frame; 0 when there are
    // none. Empty: the model boxes of the subtree placed by the lumps' matrices, without the lumps
    // bz_DynVehicle_IsBodyLump refuses (and their subtrees).
    int32_t (*bodyBox)(bzLump *lump, bzBox *out);
    // Writes the dynamics text of a shape into out (at most size bytes, no terminator needed)
    // and gives its length, or -1 when it does not fit. Empty: no text is composed for a
    // generated shape.
    int32_t (*shapeText)(const bzForm *form, char *out, int32_t size);
    // Attaches a new vehicle body to the world joint with the attribute mask; its result is
    // bz_DynVehicle_Create's. Empty: attached (0).
    int32_t (*attachToWorld)(BZDObject *body, uint32_t attributeMask);
    // Binds a loaded vehicle's body to the dynamics' default volume. Empty: nothing.
    void (*linkDefaultVolume)(BZDObject *body);
    // Sets the loaded vehicle body's three collision settings: the first to `first`, the second
    // to `second` and the third to the value of the dynamics' default collision record. Empty:
    // nothing.
    void (*setCollisionFields)(BZDObject *body, int32_t first, int32_t second);
    // Detaches the body from its joint; 0, or the mechanics' error. Empty: detached (0).
    int32_t (*detachFromJoint)(BZDObject *body);
};
// The two collision settings a loaded vehicle body is given.
constexpr int32_t BZ_VEHICLE_COLLISION_FIRST = 3;
constexpr int32_t BZ_VEHICLE_COLLISION_SECOND = 1;
// The attribute mask a vehicle body is attached to the world with.
constexpr uint32_t BZ_VEHICLE_ATTACH_MASK = 0x55807;
extern bzVehicleServices bzgVehicleServices;
void bz_DynVehicle_ResetServices();

// Handles of the mechanics element class's controlled attributes that a vehicle writes through
// the dynamics controller (bzgPhysDynamics.setAttribute, physics/PhysServices.h).
constexpr int32_t BZ_MECH_ATTRIBUTE_GLOBAL_VELOCITY = 2; // bzV3, world
constexpr int32_t BZ_MECH_ATTRIBUTE_LOCAL_OMEGA = 3;     // bzV3, body frame
constexpr int32_t BZ_MECH_ATTRIBUTE_MASS = 4;            // float
constexpr int32_t BZ_MECH_ATTRIBUTE_MOMENTS = 6;         // bzV3, principal moments
// The attribute-mask bits set on a vehicle body that the rest test puts to sleep: the dynamics
// matrix, the velocity and the angular velocity (mechanics attributes 1, 2 and 3) changed.
constexpr uint32_t BZ_VEHICLE_SLEEP_ATTRIBUTES = 0xE;
// Result of an operation on a record without a body (the lump is no mechanics element).
constexpr int32_t BZ_VEHICLE_NO_BODY = 160;
// Writes one controlled attribute of the vehicle's body (the value of the size the attribute
// has) through the dynamics controller, so that dependants and the replay see it, and brings
// the body's inverse mass and moments up to date. Without a controller element for the body's
// lump (or without a controller) the body's own field is written. 0, the controller's error
// (nothing written), BZ_VEHICLE_NO_BODY, or BZ_ERROR_INVALID_PARAMETER for an attribute that a
// vehicle does not write.
int32_t bz_DynVehicle_SetBodyAttribute(bzDynVehicle *car, int32_t attribute, const void *value);

// The longest text composed for a generated shape.
constexpr int32_t BZ_VEHICLE_SHAPE_TEXT_MAX = 10000;
// Composes a generated shape into the reader's "[DYNAMICS]" section: its "<ShapeCheckSum>" and
// "<Shape>" keys (any letter case) are removed with their value lines, then "<Shape>\n", the
// shape's text, "\n<ShapeCheckSum>\n%d\n" and a line feed are put at the section's end. 1 when
// composed; 0 (the text unchanged) without the section, when the whole would exceed
// BZ_VEHICLE_SHAPE_TEXT_MAX characters or when memory runs out.
int32_t bz_DynVehicle_ComposeShapeText(bzTextReader *reader, const char *shapeText, int32_t length,
                                       int32_t checkSum);

// Handling values: the console's names, the defaults, lookup by name (case-blind; -1 for an
// unknown name) and the switches.
const char *bz_DynVehicle_HandlingName(int32_t index);
int32_t bz_DynVehicle_HandlingIndex(const char *name);
void bz_DynVehicle_DefaultHandling(bzDynVehicleHandling *out);
// 1 when the switch slot's text is s.
int32_t bz_DynVehicle_SwitchIs(const bzHandlingValue *value, const char *s);
void bz_DynVehicle_SetSwitch(bzHandlingValue *value, const char *s);

// The vehicle list.
bzDynVehicle *bz_DynVehicle_First();
bzDynVehicle *bz_DynVehicle_Find(const bzLump *carLump);
void bz_DynVehicle_InvalidateAll();
// Removes the record from the list and frees it; "Dynamics Vehicle Missing Car" is reported
// for a record that is not in the list.
void bz_DynVehicle_Destroy(bzDynVehicle *car);

// A zero-filled record with its handling values (the defaults, changed) and drive state, at
// the head of the list; wheel radius 0.3, ride height 0.2, drive defaults. Null without memory.
bzDynVehicle *bz_DynVehicle_Alloc(bzLump *carLump);
// Gives the car lump its body with the form and mass: moments and centre from the form's box,
// no contacts with other bodies. 0, or an error code (no body could be had).
int32_t bz_DynVehicle_Create(bzForm *form, bzDynVehicle *car, float mass);

void bz_DynVehicle_ApplyHandling(bzDynVehicle *car);
// Empties the list without freeing its records.
void bz_DynVehicle_ForgetAll();
// Sets the wheels' x and z (y stays at the ride height) and the second wheel size; the handling
// is applied again at the next update.
void bz_DynVehicle_SetWheelPositions(bzDynVehicle *car, const bzV3 positions[4], float wheelSize2);
// The engine's present power over its peak power (times PowerMultiplier), at most 1.
float bz_DynVehicle_PowerFraction(const bzDynVehicle *car);
void bz_DynVehicle_Reset(bzDynVehicle *car);
void bz_DynVehicle_SetMass(bzDynVehicle *car, float mass);
// Detaches the vehicle's body from its joint: 0, the mechanics' error, or BZ_VEHICLE_NO_BODY.
int32_t bz_DynVehicle_Detach(bzDynVehicle *car);
// The body refresh of the update on its own: when the collision cache of the body of the
// lump's vehicle (of the lump's own body when no vehicle has the lump) is not valid, the lump's
// matrix is brought up to date and the cache refreshed. A valid cache is left as it is.
void bz_DynVehicle_RefreshBody(bzLump *lump);
void bz_DynVehicle_Update(bzDynVehicle *car);
void bz_DynVehicle_StabilityControl(bzDynVehicle *car);
void bz_DynVehicle_RestTest(bzDynVehicle *car);

// Drive and controls.
void bz_DynVehicle_SetDriveDefaults(bzDynVehicle *car);
void bz_DynVehicle_PeakPower(bzDynVehicleDrive *drive);
float bz_DynVehicle_ForwardSpeed(const bzDynVehicle *car);
void bz_DynVehicle_Controls(bzDynVehicle *car);
void bz_DynVehicle_Steering(bzDynVehicle *car);
float bz_DynVehicle_SteerTarget(bzDynVehicle *car);
float bz_DynVehicle_CastorFactor(const bzDynVehicle *car);
// The side force of a tyre as the steering feels it: its grip force times its lateral slip over
// the peak slip (at most 1 in size), against the slip.
float bz_DynVehicle_SideForce(const bzDynVehicle *car, int32_t wheel);
void bz_DynVehicle_Brakes(bzDynVehicle *car, float input);
void bz_DynVehicle_EngineTorque(bzDynVehicle *car, float throttle, float dt);
float bz_DynVehicle_DriveForceInGear(const bzDynVehicle *car, int32_t gear, float throttle,
                                     int32_t limit);
void bz_DynVehicle_EngineSpeed(bzDynVehicle *car, float dt);
void bz_DynVehicle_AutoGearbox(bzDynVehicle *car);
void bz_DynVehicle_ShiftTo(bzDynVehicle *car, int32_t gear);
void bz_DynVehicle_EngageClutch(bzDynVehicle *car);
// Engine torque from the curve at rpm (linear between the 1000 rpm points), times
// PowerMultiplier.
float bz_DynVehicle_CurveTorque(const bzDynVehicle *car, float rpm);

// The vehicle-handling console's lines that follow the reader's position: each names a
// handling value and sets it ("Name value"; a switch takes its text) on the vehicle, until a
// key, section or block end. Unknown names are skipped. Gives the number of values set.
int32_t CarConsole_ParseArgs(bzTextReader *reader, bzDynVehicle *car);

// Loads the vehicle of the car lump from the "[DYNAMICS]" section of its file (and the handling
// file's, when given). Null, with a report, when no body could be had. A generated shape is a
// block of its own, kept by the body (its form) and released by whoever releases the body.
bzDynVehicle *bz_DynVehicle_Load(bzLump *carLump, bzTextReader *file, bzTextReader *handling);
// 0 when the lump's name begins with "LIT" or "spoiler" (its models are not the body's), else 1.
int32_t bz_DynVehicle_IsBodyLump(const bzLump *lump);
// The sum (32-bit, wrapping) of the bit patterns of the six box floats of every model in the car
// lump's subtree, walked depth first.
int32_t bz_DynVehicle_ShapeCheckSum(bzLump *carLump);
// A box form from the wheel layout and ride height (the shape of a vehicle whose models give no
// box), or from the given box; null without memory.
bzForm *bz_DynVehicle_BoxShape(const bzBox *box);
