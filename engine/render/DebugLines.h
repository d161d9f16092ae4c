// The on-screen debug lines drawn in the default font down the screen's left edge.
#pragma once

// Draws the lines that hold text; once a frame.
void bz_DrawDebugMessages();
