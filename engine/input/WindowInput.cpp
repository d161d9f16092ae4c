#include "input/WindowInput.h"

#include "core/Error.h"
#include "input/Keyboard.h"
#include "input/Mouse.h"
#include "pc/PcWindow.h"

namespace
{
void MouseButton(int32_t down, int32_t button)
{
    switch (button)
    {
    case PD_MOUSE_LEFT: PDSetMouseButton(down, BZ_MOUSE_BUTTON_LEFT, BZ_KEY_MOUSE_LEFT); break;
    case PD_MOUSE_RIGHT: PDSetMouseButton(down, BZ_MOUSE_BUTTON_RIGHT, BZ_KEY_MOUSE_RIGHT); break;
    case PD_MOUSE_MIDDLE:
        PDSetMouseButton(down, BZ_MOUSE_BUTTON_MIDDLE, BZ_KEY_MOUSE_MIDDLE);
        break;
    default: break;
    }
}

// The full-screen right-button release clears the state whether or not the mouse is present.
void ReleaseRightButton()
{
    if (bzgMouseDevice)
        bzgMouseDevice->buttons &= ~BZ_MOUSE_BUTTON_RIGHT;
    if (bzgKeyboardDevice)
        bzgKeyboardDevice->keyState[BZ_KEY_MOUSE_RIGHT] &= ~BZ_KEY_STATE_DOWN;
}

void ReleaseKeys()
{
    if (bzgKeyboardDevice)
        PDClearKeyState();
}
} // namespace

void bz_Input_AttachWindow()
{
    PDWindowInput input = {};
    input.key = PDKeyboardMessage;
    input.mouseButton = MouseButton;
    input.releaseRightButton = ReleaseRightButton;
    input.wheel = PDAddMouseWheel;
    PDSetWindowInput(&input);
    bz_Error_SetReleaseInput(ReleaseKeys);
}
