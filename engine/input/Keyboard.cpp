#include "input/Keyboard.h"

#include <cstring>

bzKeyboardDevice *bzgKeyboardDevice;

namespace
{
bzKeyboardDevice gKeyboard;
int32_t gVirtualKeyTable[256];

struct VirtualKeyEntry
{
    uint8_t virtualKey;
    uint8_t code;
};

// Virtual-key code to key code; unlisted keys give 0.
constexpr VirtualKeyEntry kVirtualKeys[] = {
    {0x08, 14},  {0x09, 15},  {0x0D, 28},  {0x10, 42},  {0x11, 29},  {0x12, 56},  {0x14, 58},
    {0x1B, 1},   {0x20, 57},  {0x21, 201}, {0x22, 209}, {0x23, 207}, {0x24, 199}, {0x25, 203},
    {0x26, 200}, {0x27, 205}, {0x28, 208}, {0x2D, 210}, {0x2E, 211}, {0x30, 11},  {0x31, 2},
    {0x32, 3},   {0x33, 4},   {0x34, 5},   {0x35, 6},   {0x36, 7},   {0x37, 8},   {0x38, 9},
    {0x39, 10},  {0x41, 30},  {0x42, 48},  {0x43, 46},  {0x44, 32},  {0x45, 18},  {0x46, 33},
    {0x47, 34},  {0x48, 35},  {0x49, 23},  {0x4A, 36},  {0x4B, 37},  {0x4C, 38},  {0x4D, 50},
    {0x4E, 49},  {0x4F, 24},  {0x50, 25},  {0x51, 16},  {0x52, 19},  {0x53, 31},  {0x54, 20},
    {0x55, 22},  {0x56, 47},  {0x57, 17},  {0x58, 45},  {0x59, 21},  {0x5A, 44},  {0x5B, 219},
    {0x5C, 220}, {0x5D, 221}, {0x60, 82},  {0x61, 79},  {0x62, 80},  {0x63, 81},  {0x64, 75},
    {0x65, 76},  {0x66, 77},  {0x67, 71},  {0x68, 72},  {0x69, 73},  {0x6A, 55},  {0x6B, 78},
    {0x6D, 74},  {0x6E, 83},  {0x6F, 181}, {0x70, 59},  {0x71, 60},  {0x72, 61},  {0x73, 62},
    {0x74, 63},  {0x75, 64},  {0x76, 65},  {0x77, 66},  {0x78, 67},  {0x79, 68},  {0x7A, 87},
    {0x7B, 88},  {0x7C, 100}, {0x7D, 101}, {0x7E, 102}, {0x90, 69},  {0x91, 70},  {0xA1, 54},
    {0xBA, 39},  {0xBB, 13},  {0xBC, 51},  {0xBD, 12},  {0xBE, 52},  {0xBF, 53},  {0xC0, 40},
    {0xDB, 26},  {0xDC, 43},  {0xDD, 27},  {0xDF, 41},
};
} // namespace

void PDInitVirtualKeyTable()
{
    std::memset(gVirtualKeyTable, 0, sizeof gVirtualKeyTable);
    for (const VirtualKeyEntry &e : kVirtualKeys)
        gVirtualKeyTable[e.virtualKey] = e.code;
}

int32_t PDVirtualKeyToCode(uint32_t virtualKey)
{
    return virtualKey < 256 ? gVirtualKeyTable[virtualKey] : 0;
}

bzKeyboardDevice *bz_Keyboard_Create()
{
    std::memset(&gKeyboard, 0, sizeof gKeyboard);
    gKeyboard.flags = BZ_KEYBOARD_SYSTEM_FED;
    PDInitVirtualKeyTable();
    bzgKeyboardDevice = &gKeyboard;
    return bzgKeyboardDevice;
}

void bz_Keyboard_Destroy()
{
    bzgKeyboardDevice = nullptr;
}

void PDKeyboardMessage(int32_t down, uint32_t virtualKey, uint32_t flags)
{
    bzKeyboardDevice *keyboard = bzgKeyboardDevice;
    if (!keyboard || !(keyboard->flags & BZ_KEYBOARD_SYSTEM_FED))
        return;
    int32_t code = PDVirtualKeyToCode(virtualKey);
    if (code == 0)
        return;
    if (flags & BZ_KEYMSG_EXTENDED)
    {
        if (code == BZ_KEY_RETURN)
            code = BZ_KEY_NUMPAD_ENTER;
        else if (code == BZ_KEY_LEFT_CONTROL)
            code = BZ_KEY_RIGHT_CONTROL;
        else if (code == BZ_KEY_LEFT_SHIFT)
            code = BZ_KEY_RIGHT_SHIFT;
    }
    uint32_t bit = down ? uint32_t{BZ_KEY_STATE_DOWN} : 0u;
    keyboard->keyState[code] = (keyboard->keyState[code] & ~BZ_KEY_STATE_DOWN) | bit;
    // Either Alt key holds both Alt entries.
    if (code == BZ_KEY_LEFT_ALT)
        keyboard->keyState[BZ_KEY_RIGHT_ALT] =
            (keyboard->keyState[BZ_KEY_RIGHT_ALT] & ~BZ_KEY_STATE_DOWN) | bit;
}

void PDClearKeyState()
{
    if (bzgKeyboardDevice)
        std::memset(bzgKeyboardDevice->keyState, 0, sizeof bzgKeyboardDevice->keyState);
}
