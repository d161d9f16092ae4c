// The viewport record: a camera lump, a scene root and a rectangle of the display, with the
// derived camera terms that the render walk reads. The renderer front end owns and fills it;
// the back ends read its rectangle, clip distances, clear flags and background colour, and
// refresh the cached frustum terms and the projection when they set the projection up.
#pragma once

#include "maths/Types.h"

#include <cstdint>

struct bzLump;
struct bz_IMGMAP;

// Viewport flags.
enum : uint32_t
{
    BZ_VIEWPORT_CLEAR_COLOUR = 0x1, // clear to the background colour
    BZ_VIEWPORT_CLEAR_DEPTH = 0x2,
    BZ_VIEWPORT_FOG = 0x10,
};

struct bzViewport
{
    int32_t id;
    uint32_t enabled;
    bzM34 viewMatrix;
    bzLump *camera; // a CAMERA lump, or null
    bzLump *sceneRoot;
    bzLump *foreground;
    uint32_t flags; // BZ_VIEWPORT_*
    int32_t x;      // pixels, y measured from the top
    int32_t y;
    int32_t width;
    int32_t height;
    float nearClip;
    float farClip;
    int32_t subX;
    int32_t subY;
    int32_t subWidth;
    int32_t subHeight;
    float midDistance;
    uint32_t userWord1;
    uint32_t tag;
    bzColour ambient;
    uint8_t background[3]; // red, green, blue
    float aspect;
    // The frustum terms the projection set-up last computed, and the values they came from.
    float cachedFieldOfView;
    float cachedAspect;
    float cotangent;
    float tangent;
    bzV3 sideX;
    bzV3 sideY;
    bzV3 guardX;
    bzV3 guardY;
    float depthScale;
    float depthOffsetScale;
    uint32_t userWord2;
    bz_IMGMAP *renderTarget; // null = the display
    int32_t (*beforeRender)(bzViewport *viewport, int32_t phase);
    int32_t (*afterRender)(bzViewport *viewport, int32_t phase);
    void (*preRender)(bzViewport *viewport);
    bzM44 projection; // written by the back end's projection set-up
    bzViewport *next;
};
