// The keyboard device as the window messages feed it: the key-state table of 256 key codes
// and the translation of virtual-key codes into key codes.
#pragma once

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

// Virtual-key codes the window layer itself tests.
enum : uint32_t
{
    BZ_VKEY_TAB = 0x09,
    BZ_VKEY_RETURN = 0x0D,
    BZ_VKEY_SHIFT = 0x10,
    BZ_VKEY_CONTROL = 0x11,
    BZ_VKEY_ALT = 0x12,
    BZ_VKEY_F4 = 0x73,
    BZ_VKEY_F10 = 0x79,
};

// Bits of a key message's flags word.
enum : uint32_t
{
    BZ_KEYMSG_REPEAT_COUNT = 0xFFFF,
    BZ_KEYMSG_EXTENDED = 1u << 24, // a key of the extended block (right Ctrl, keypad Enter ...)
    BZ_KEYMSG_ALT = 1u << 29,      // Alt was held
    BZ_KEYMSG_WAS_DOWN = 1u << 30, // an auto-repeat
    BZ_KEYMSG_RELEASE = 1u << 31,
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
