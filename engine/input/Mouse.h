// The mouse device as the window messages feed it: buttons and wheel.
#pragma once

#include <cstdint>

// Bits of the mouse device's flags and of its button word.
enum : uint32_t
{
    BZ_MOUSE_PRESENT = 0x100,
    BZ_MOUSE_BUTTON_LEFT = 0x1000000,
    BZ_MOUSE_BUTTON_RIGHT = 0x2000000,
    BZ_MOUSE_BUTTON_MIDDLE = 0x4000000,
};

struct bzMouseDevice
{
    uint32_t flags;
    uint32_t buttons;
    int32_t wheel; // wheel notches added up
};

// Null until the mouse device is made.
extern bzMouseDevice *bzgMouseDevice;

// Makes the mouse device (present, no button down, wheel 0) and returns it.
bzMouseDevice *bz_Mouse_Create();
void bz_Mouse_Destroy();

// When the mouse is present: sets (down 1) or clears the button bit and puts bit 0 of the
// keyboard's key entry to down.
void PDSetMouseButton(int32_t down, uint32_t buttonBit, int32_t keyEntry);
// When the mouse is present: adds the notches to its wheel count.
void PDAddMouseWheel(int32_t notches);
