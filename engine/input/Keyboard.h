// The keyboard device as the window messages feed it: the key-state table of 256 key codes
// and the translation of virtual-key codes into key codes.
#pragma once

#include "pc/PcWindow.h"

#include <cstdint>

constexpr int32_t BZ_KEY_COUNT = 256;

// Bits of a key-state entry.
enum : uint32_t
{
    BZ_KEY_STATE_DOWN = 0x1,
};

// Key codes used by the window layer and the fatal exit.
enum : int32_t
{
    BZ_KEY_ESCAPE = 1,
    BZ_KEY_RETURN = 28,
    BZ_KEY_LEFT_CONTROL = 29,
    BZ_KEY_A = 30,
    BZ_KEY_LEFT_SHIFT = 42,
    BZ_KEY_RIGHT_SHIFT = 54,
    BZ_KEY_LEFT_ALT = 56,
    BZ_KEY_F4 = 62,
    BZ_KEY_F10 = 68,
    BZ_KEY_NUMPAD_ENTER = 156,
    BZ_KEY_RIGHT_CONTROL = 157,
    BZ_KEY_RIGHT_ALT = 184,
    // The mouse buttons share the table.
    BZ_KEY_MOUSE_LEFT = 0xF0,
    BZ_KEY_MOUSE_RIGHT = 0xF1,
    BZ_KEY_MOUSE_MIDDLE = 0xF2,
};

// Bits of the keyboard device's flags.
enum : uint32_t
{
    BZ_KEYBOARD_SYSTEM_FED = 0x8, // fed by the window's key messages
};

struct bzKeyboardDevice
{
    uint32_t flags;
    uint32_t keyState[BZ_KEY_COUNT];
};

// Null until the keyboard device is made.
extern bzKeyboardDevice *bzgKeyboardDevice;

// Makes the keyboard device (fed by window messages, every key up) and fills the virtual-key
// table; returns it. Making it again clears it.
bzKeyboardDevice *bz_Keyboard_Create();
void bz_Keyboard_Destroy();

void PDInitVirtualKeyTable();
// The key code of a virtual-key code; 0 for keys the keyboard does not know.
int32_t PDVirtualKeyToCode(uint32_t virtualKey);
// Applies a key-down (down 1) or key-up (down 0) window message to the key-state table.
void PDKeyboardMessage(int32_t down, uint32_t virtualKey, uint32_t flags);
// Releases every key of the table.
void PDClearKeyState();
