// Light records: the object of the light lumps DIRLIGHT, POINTLIGHT, SPOTLIGHT, FLARELIGHT and
// AMBIENTLIGHT. Creation with defaults and an optional lens flare, copies for lump clones, the
// 16-byte container payload, the release of the flare and the spotlight cone test.
//
// One record serves the scene graph and the render back ends. The two light parameters are
// carried as the 32-bit words the containers store; the back ends read the first as the
// colour (0xAARRGGBB) and the second as the range (a float). The three words after the flare
// pointer's spare word are the constant, linear and quadratic attenuations (0, 0.4 and 0 when
// created); a directional light's direction follows them.
#pragma once

#include "maths/Types.h"

#include <cstdint>

struct bzLump;

// One element of a lens flare.
struct bzFlareElement
{
    bzColour colour;
    int32_t shape;  // 0 to 7
    float distance; // distance factor along the line through the viewport's centre
};

// A lens flare: the six words taken from the template (the starting word first), a word cleared
// when made, and its ten elements.
struct bzFlare
{
    uint32_t words[6];
    uint32_t cleared;
    bzFlareElement elements[10];
};

struct bzLight
{
    uint32_t type; // the lump type, 6 to 10
    union
    {
        uint32_t parameter1;
        bzColour colour;
    };
    union
    {
        uint32_t parameter2;
        float range;
    };
    float innerAngle; // degrees; 22.5 when created
    float outerAngle; // degrees; 45.0 when created
    bzFlare *flare;   // null unless a flare was asked for
    uint32_t spare;   // carried for the renderer; 0 when created
    float constantAttenuation;
    float linearAttenuation;
    float quadraticAttenuation;
    bzV3 direction; // a directional light's direction; 0 when created
};

// Bytes of a light's container payload.
constexpr int32_t BZ_LIGHT_PAYLOAD_SIZE = 16;

// The lens-flare set-up that seeds and draws a new flare's elements; installed by the flare
// module (none: the elements stay cleared).
void bz_Light_SetFlareInit(void (*init)(bzFlare *flare));

// A cleared record with the type, the parameters and the defaults; with a flare template (six
// words) a flare is made from it. Null when memory runs out (last-error 14).
bzLight *bz_Light_Create(uint32_t type, uint32_t parameter1, uint32_t parameter2,
                         const uint32_t *flareTemplate);
// A copy with a flare of its own.
bzLight *bz_Light_Clone(const bzLight *light);
// A record of the type from the payload at the cursor; the cursor moves on by 16.
bzLight *bz_Light_Read(uint32_t type, const uint8_t **cursor);
// The payload at the cursor (moved on by 16); returns the bytes written.
int32_t bz_Light_Write(const bzLight *light, uint8_t **cursor);
// Frees the flare of a light and clears its pointer; the light lump's own form frees that of
// the lump's light.
void bz_Light_FreeFlareOf(bzLight *light);
void bz_Light_FreeFlare(bzLump *lump);
// Frees the record and its flare.
void bz_Light_Free(bzLight *light);
// 1 when the point lies inside the cone of the range and half-angle (degrees) whose apex is the
// matrix's translation and whose axis is its z row; else 0.
int32_t bz_Light_PointInCone(const bzV3 *point, const bzM34 *matrix, float range, float angle);
