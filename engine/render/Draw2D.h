// The full-screen 2-D bracket: overlays that draw over the whole screen (the console, the
// frame-statistics panel, the debug lines) switch the 2-D target to the screen and back.
#pragma once

#include <cstdint>

struct bzViewport;

// Makes the whole screen the 2-D target and returns the target it replaced.
bzViewport *bz_Begin2DFullScreen();
// Puts the target returned by bz_Begin2DFullScreen back.
void bz_End2DFullScreen(bzViewport *saved);

// The 2-D drawing origin of a front-end window: while active, text is placed relative to it.
struct bz2DOrigin
{
    int32_t active;
    int32_t x;
    int32_t y;
};
extern bz2DOrigin bzg2DOrigin;
