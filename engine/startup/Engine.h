// Engine start-up.
#pragma once

#include "core/Memory.h"
#include "pc/PcWindow.h"

#include <cstdint>

// The engine's start-up record. The memory manager reads the 2nd, 5th and 6th words.
struct bzInitRecord
{
    bzMemSettings memory;
    int32_t frameCapMode; // 1 = none, 2 = cap (0 = none)
    float frameRate;      // frames per second of the cap
    // The application's own window procedure, given each window message first (null = none).
    PDWindowProcedure applicationHook;
};

// Empties the console and registers every area's console commands: the console's own, the
// renderer's and the salad command, in that order.
void bz_RegisterEngineConsoleCommands();

// Starts the engine core: memory manager and clock, the platform hooks, input, the console and
// its view, the models' tables in the scene graph, the builders of forms from models, the face
// lists of the portal room calculation; clears the keep-alive switch.
int32_t bz_InitEngine(const bzInitRecord *record);
