// The full-screen 2-D bracket: overlays that draw over the whole screen (the console, the
// frame-statistics panel, the debug lines) switch the 2-D target to the screen and back.
#pragma once

struct bzViewport;

// Makes the whole screen the 2-D target and returns the target it replaced.
bzViewport *bz_Begin2DFullScreen();
// Puts the target returned by bz_Begin2DFullScreen back.
void bz_End2DFullScreen(bzViewport *saved);
