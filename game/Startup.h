// Start-up and shut-down of the game.
#pragma once

// Starts the engine core and registers the shut-down with the error report.
int Startup_Init();
// Releases the game and engine resources before the process ends.
void Startup_Shutdown();
