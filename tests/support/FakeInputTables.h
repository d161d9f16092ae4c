// The input layer's tables for tests, until the input devices are built: four pad records
// (pad 0 the keyboard, pad 1 the mouse), the player-to-pad table with no pads, the current
// player, the player count, the button-remap table and a control-binding table, installed
// for the life of the record.
#pragma once

#include "render/InputTables.h"

#include <cstring>
#include <vector>

struct FakeInputTables
{
    bzPadState pads[BZ_PAD_COUNT] = {};
    int32_t playerPads[BZ_PLAYER_COUNT][BZ_PLAYER_PAD_SLOTS];
    int32_t currentPlayer = 0;
    int32_t playerCount = 0;
    int32_t remap[BZ_REMAP_ROWS][BZ_REMAP_BUTTONS] = {};
    std::vector<bzControlRow> rows;
    std::vector<bzKeyName> keyNames;
    int32_t bindingPairs = 0;

    FakeInputTables()
    {
        for (auto &player : playerPads)
            for (int32_t &pad : player)
                pad = -1;
        Install();
    }
    ~FakeInputTables() { bz_Input_SetTables(nullptr); }
    FakeInputTables(const FakeInputTables &) = delete;
    FakeInputTables &operator=(const FakeInputTables &) = delete;

    // Installs the tables again after rows or key names changed.
    void Install()
    {
        bzInputTables t = {};
        t.pads = pads;
        t.playerPads = playerPads;
        t.currentPlayer = &currentPlayer;
        t.playerCount = &playerCount;
        t.buttonRemap = remap;
        t.controlRows = rows.empty() ? nullptr : rows.data();
        t.controlRowCount = static_cast<int32_t>(rows.size());
        t.bindingPairs = bindingPairs;
        t.keyNames = keyNames.empty() ? nullptr : keyNames.data();
        t.keyNameCount = static_cast<int32_t>(keyNames.size());
        t.keyboardPad = 0;
        t.mousePad = 1;
        bz_Input_SetTables(&t);
    }

    bzPadState &Keyboard() { return pads[0]; }
    bzPadState &Mouse() { return pads[1]; }
    void Press(int32_t key, bool down) { Keyboard().keys[key] = down ? BZ_KEY_PRESSED : 0; }
};
