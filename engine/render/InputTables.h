// The input layer's tables as the GUI and the pad and control-table queries read them: the
// four pad records, the player-to-pad table, the current player and player count, the
// button-remap table and the control-binding table. The input layer owns them and installs
// a record of pointers to them here; until it does, the readers see no pads, no players and
// no bindings.
#pragma once

#include <cstdint>

constexpr int32_t BZ_PAD_COUNT = 4;
constexpr int32_t BZ_PLAYER_COUNT = 8;
constexpr int32_t BZ_PLAYER_PAD_SLOTS = 3;
constexpr int32_t BZ_REMAP_ROWS = 9; // players 0-7 and "no player"
constexpr int32_t BZ_REMAP_BUTTONS = 30;
constexpr int32_t BZ_CONTROL_ROW_WORDS = 32;
constexpr int32_t BZ_CONTROL_FIRST_LIST_WORD = 24; // words 24-31: binding lists of players 0-7
constexpr int32_t BZ_PAD_KEYS = 256;

// Pad flag bits.
enum : uint32_t
{
    BZ_PAD_CONNECTED = 0x01,
    BZ_PAD_READY = 0x02,
    BZ_PAD_CHANGED = 0x04, // changed since last taken
};

// Key-state bit of the keyboard pad.
constexpr uint8_t BZ_KEY_PRESSED = 0x02;

// Mouse-button bits of a pad's click word.
enum : uint32_t
{
    BZ_MOUSE_LEFT = 0x01,
    BZ_MOUSE_RIGHT = 0x02,
};

struct bzPadState
{
    int32_t deviceType; // 0: not connected
    uint32_t flags;     // BZ_PAD_*
    int32_t mouseX;     // mouse pad: screen position
    int32_t mouseY;
    int32_t moveX; // mouse pad: raw movement
    int32_t moveY;
    uint32_t click;            // mouse pad: BZ_MOUSE_* buttons held
    uint8_t keys[BZ_PAD_KEYS]; // keyboard pad: key states (BZ_KEY_PRESSED)
    int32_t inputBlock;        // keyboard pad: while non-zero, keys read as not pressed
    int32_t typedKey;          // keyboard pad: key code typed this frame, 0 for none
    int32_t typedChar;         // keyboard pad: its character, 0 for none
};

// A key record of a binding list (44 bytes): the index of its row in the key-name table first.
struct bzKeyRecord
{
    int32_t keyName;
    uint32_t words[10];
};
static_assert(sizeof(bzKeyRecord) == 44);

// One pair of a binding list: a count and its key records.
struct bzBindingPair
{
    int32_t count;
    bzKeyRecord *records;
};

// A row of the control-binding table: words, of which 24-31 point to the binding lists
// (arrays of pairs) of players 0-7.
struct bzControlRow
{
    intptr_t words[BZ_CONTROL_ROW_WORDS];
};

// A row of the key-name table: the key code first.
struct bzKeyName
{
    int32_t keyCode;
    int32_t words[2];
};

struct bzInputTables
{
    bzPadState *pads;                           // BZ_PAD_COUNT records
    int32_t (*playerPads)[BZ_PLAYER_PAD_SLOTS]; // BZ_PLAYER_COUNT rows, negative: no pad
    int32_t *currentPlayer;                     // the player of control index -2
    int32_t *playerCount;
    int32_t (*buttonRemap)[BZ_REMAP_BUTTONS]; // BZ_REMAP_ROWS rows
    bzControlRow *controlRows;                // null while no table is allocated
    int32_t controlRowCount;
    int32_t bindingPairs; // pairs in every binding list
    const bzKeyName *keyNames;
    int32_t keyNameCount;
    int32_t mousePad;    // index of the mouse's pad record
    int32_t keyboardPad; // index of the keyboard's pad record
};

// Installs the input layer's tables (null: none).
void bz_Input_SetTables(const bzInputTables *tables);
// The installed tables, or a record of nulls.
const bzInputTables *bz_Input_GetTables();
// The mouse's and the keyboard's pad records, or null.
bzPadState *bz_Input_MousePad();
bzPadState *bz_Input_KeyboardPad();
