#include "input/Mouse.h"

#include "input/Keyboard.h"

#include <cstring>

bzMouseDevice *bzgMouseDevice;

namespace
{
bzMouseDevice gMouse;

bool MousePresent()
{
    return bzgMouseDevice && (bzgMouseDevice->flags & BZ_MOUSE_PRESENT);
}
} // namespace

bzMouseDevice *bz_Mouse_Create()
{
    std::memset(&gMouse, 0, sizeof gMouse);
    gMouse.flags = BZ_MOUSE_PRESENT;
    bzgMouseDevice = &gMouse;
    return bzgMouseDevice;
}

void bz_Mouse_Destroy()
{
    bzgMouseDevice = nullptr;
}

void PDSetMouseButton(int32_t down, uint32_t buttonBit, int32_t keyEntry)
{
    if (!MousePresent())
        return;
    if (down)
        bzgMouseDevice->buttons |= buttonBit;
    else
        bzgMouseDevice->buttons &= ~buttonBit;
    if (bzgKeyboardDevice && keyEntry >= 0 && keyEntry < BZ_KEY_COUNT)
    {
        uint32_t &entry = bzgKeyboardDevice->keyState[keyEntry];
        entry = (entry & ~BZ_KEY_STATE_DOWN) | (down ? uint32_t{BZ_KEY_STATE_DOWN} : 0u);
    }
}

void PDAddMouseWheel(int32_t notches)
{
    if (!MousePresent())
        return;
    // Wraps instead of overflowing after an absurd number of notches.
    uint32_t sum = static_cast<uint32_t>(bzgMouseDevice->wheel) + static_cast<uint32_t>(notches);
    bzgMouseDevice->wheel = static_cast<int32_t>(sum);
}
