// Global settings of the rigid-body physics, the step-running switch, the bits of a body's
// physics flags word and the contact-kind bits a solve leaves on a body.
//
// The dynamics layer and the game set the settings before stepping; the step and the parts it
// calls read them from here (the step takes its time step from this record, not from an
// argument).
#pragma once

#include <cstdint>

struct bzPhysSettings
{
    float timeStep;              // seconds; 0.04 until the dynamics layer sets it
    float contactSpeedTolerance; // 0.25; the game sets 0.025
    float contactDistance;       // 0.01; the game sets 0.001
    float restFactor;            // 1.0; the game sets 10.0
    float forceScale;            // 1.0; the step call back may lower it
    int32_t frictionPassLimit;   // 0 = no friction rows; the game sets 3
};

extern bzPhysSettings bzgPhysSettings;

// The same time step under the names the dynamics controller and the scene's world collision
// use; both name bzgPhysSettings.timeStep.
extern float &bzgPhysTimeStep;
extern float &bzPhysStepLength;

// Puts every setting back to its default.
void bz_Phys_ResetSettings();

// 1 while bz_Phys_Step runs, else 0. The step sets and clears it through bz_Phys_SetStepping.
int32_t bz_Phys_IsStepping();
void bz_Phys_SetStepping(int32_t running);
// The switch itself under the name the dynamics controller reads (read only).
extern const int32_t &bzgPhysStepRunning;

// The step's iteration counter, which the gathering stamps of bodies are compared with. The
// step sets it; 0 outside a step.
uint16_t bz_Phys_Iteration();
void bz_Phys_SetIteration(uint16_t iteration);

// The number of the physics step, which the step advances once per step; what counts passes
// within one step (the friction passes) starts over when it changes.
uint32_t bz_Phys_StepNumber();
void bz_Phys_SetStepNumber(uint32_t step);

// Bits of a body's physics flags word. The dynamics description keys "ignore_world", "inf_mi",
// "inf_mass" and "double_omega_limit" set the bits named with them.
enum : uint32_t
{
    BZ_PHYS_IDENTITY_CACHE = 0x1,        // collision cache rebuilt about the identity transform
    BZ_PHYS_SHARED_CACHE = 0x2,          // uses its parent's collision cache
    BZ_PHYS_NO_COLLISION = 0x4,          // collides with nothing
    BZ_PHYS_NO_BODY_CONTACT = 0x8,       // no contacts with other trees gathered
    BZ_PHYS_PAIR_EXCLUSIVE = 0x10,       // two bodies that both carry it never collide
    BZ_PHYS_NO_LIMITS = 0x20,            // the joint limits of the body are not checked
    BZ_PHYS_ASLEEP_ON_RELEASE = 0x40,    // the asleep byte takes this bit when the mode ends
    BZ_PHYS_IGNORE_WORLD = 0x80,         // "ignore_world": a cache-sharing body gathers no world
    BZ_PHYS_MARK_BELOW_LEVEL = 0x100,    // faces below the body's level are marked in its cache
    BZ_PHYS_YIELDED = 0x200,             // left by the stuck-tree fallback
    BZ_PHYS_YIELD_MARK = 0x400,          // left by the stuck-tree fallback; cleared at preparation
    BZ_PHYS_WELDED = 0x800,              // welded to its parent
    BZ_PHYS_WELDED_ROWS = 0x1000,        // copied into the step's welded-rows switch
    BZ_PHYS_INF_MI = 0x2000,             // "inf_mi": inverse moments 0, angular velocity held at 0
    BZ_PHYS_INF_MASS = 0x4000,           // "inf_mass": inverse mass 0, linear velocity held at 0
    BZ_PHYS_PREP_MARK = 0x8000,          // cleared at every preparation
    BZ_PHYS_CALLBACK_NO_WORLD = 0x10000, // with a nonzero mode word, no world contacts
    BZ_PHYS_ALT_TREE_BOX = 0x20000,      // the alternative tree box is used for the broad phase
    BZ_PHYS_HEAVY = 0x40000,             // contacts against it act on the other body alone
    BZ_PHYS_NO_WORLD_CONTACTS = 0x80000, // world contacts not gathered
    BZ_PHYS_FROZEN = 0x100000,           // put to sleep with zero velocities at the step's end
    BZ_PHYS_NO_REST_TEST = 0x200000,     // the end-of-step rest test passes the body by
    BZ_PHYS_EXTRA_SOLVE = 0x400000,      // the tree record is solved again, at most 30 times
    BZ_PHYS_NO_CHILD_AUDIT = 0x800000,   // its children are not audited against each other
    BZ_PHYS_VEHICLE = 0x1000000,         // a vehicle's body, set when the vehicle is loaded
    BZ_PHYS_NO_CORNER_TEST = 0x2000000,  // the box-corner speed test counts the body as slow
    BZ_PHYS_DOUBLE_OMEGA_LIMIT = 0x4000000, // "double_omega_limit": limit row starts at twice
    // Bits the dynamics controller and the game keep in the word; the physics step ignores them.
    BZ_PHYS_POOL_KEEP = 0x8000000,    // the dynamic-object pool sweep passes the body by
    BZ_PHYS_OFFSET_BOX = 0x10000000,  // the pool sweep boxes the body by its octree offsets
    BZ_PHYS_SLOW_TURN = 0x20000000,   // the step's rotation stayed below the turning threshold;
                                      // cleared at every preparation
    BZ_PHYS_GAME_CAR = 0x40000000,    // a car of the game's motorcade, set at the car's set-up
    BZ_PHYS_CLAMP_OMEGA = 0x80000000, // an angular speed over the limit is scaled down
};

// A body with both bits is fixed: never woken, its collision cache never refreshed.
constexpr uint32_t BZ_PHYS_FIXED = BZ_PHYS_INF_MI | BZ_PHYS_INF_MASS;
// Bits cleared at every preparation of a body for the step.
constexpr uint32_t BZ_PHYS_PREP_CLEARED =
    BZ_PHYS_YIELD_MARK | BZ_PHYS_PREP_MARK | BZ_PHYS_SLOW_TURN;

inline bool bz_Phys_IsFixed(uint32_t flags)
{
    return (flags & BZ_PHYS_FIXED) == BZ_PHYS_FIXED;
}

// Values of a body's mode word.
enum : uint32_t
{
    BZ_PHYS_MODE_PLAIN = 0,
    BZ_PHYS_MODE_PAIR_CALLBACK = 2, // the body's pair call back must be consulted
};

// Contact-kind byte: set when a solved row of the kind bears force.
enum : uint8_t
{
    BZ_PHYS_CONTACT_WORLD = 0x1,
    BZ_PHYS_CONTACT_BODY = 0x2,
    BZ_PHYS_CONTACT_PROXIMITY = 0x4,
    BZ_PHYS_CONTACT_ANGULAR_LIMIT = 0x8,
    BZ_PHYS_CONTACT_KIND_32 = 0x20,
    BZ_PHYS_CONTACT_KIND_96 = 0x40,
    BZ_PHYS_CONTACT_KIND_13 = 0x80,
};

// Answers of the call backs the physics makes.
enum : int32_t
{
    BZ_PHYS_CB_NOTHING = 9,  // nothing happened
    BZ_PHYS_CB_DEFAULT = 10, // default handling (pair) or cap at the threshold (limit weakness)
    BZ_PHYS_CB_BROKE = 11,   // the joint broke (weakness) or the pair is dropped (pair)
    BZ_PHYS_CB_IGNORE = 12,  // the partner is ignored or joined without waking (pair)
};
