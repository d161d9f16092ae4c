#include "pc/PcWindow.h"

#include "pc/PcHooks.h"
#include "pc/PcSystem.h"
#include "pc/PcTimer.h"

#include <SDL.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>

char bzgWindowTitle[BZ_WINDOW_TITLE_SIZE];
uint32_t bzgLostTime;
int32_t bzgWindowed;
void *bzgWindow;

namespace
{
constexpr int32_t kMaxWindowSide = 16384;
// A pump that took longer than this was in the background: its time is lost time.
constexpr uint32_t kLostTimeThreshold = 500;
// The fatal exit never runs more than this many remaining events.
constexpr int32_t kMaxDrainEvents = 4096;

SDL_Window *gWindow;
// Where key, button and wheel messages go: the engine's input devices.
PDWindowInput gInput;
bool gVideoUp;
// Windows made from now on can hold an OpenGL context.
bool gOpenGL;
PDWindowProcedure gProcedure;
PDWindowProcedure gHook;
int32_t gLeft;
int32_t gTop;
int32_t gShowPending;
int32_t gActive;
int32_t gKeepActive;
int32_t gReactivated;
int32_t gQuitPosted;
uint32_t gWaitLimit;
// F10 went down as Alt+F10 and reached the keyboard; its release goes there too.
bool gF10DownWithAlt;

// Scan code to virtual-key code; bit 8 marks the keys of the extended block.
constexpr uint16_t kExtended = 0x100;

struct ScancodeTable
{
    uint16_t entry[SDL_NUM_SCANCODES];
};

constexpr ScancodeTable BuildScancodeTable()
{
    ScancodeTable t{};
    for (int i = 0; i < 26; ++i)
        t.entry[SDL_SCANCODE_A + i] = static_cast<uint16_t>(0x41 + i);
    for (int i = 0; i < 9; ++i)
        t.entry[SDL_SCANCODE_1 + i] = static_cast<uint16_t>(0x31 + i);
    t.entry[SDL_SCANCODE_0] = 0x30;
    t.entry[SDL_SCANCODE_RETURN] = 0x0D;
    t.entry[SDL_SCANCODE_ESCAPE] = 0x1B;
    t.entry[SDL_SCANCODE_BACKSPACE] = 0x08;
    t.entry[SDL_SCANCODE_TAB] = 0x09;
    t.entry[SDL_SCANCODE_SPACE] = 0x20;
    // The punctuation keys by their place on a UK keyboard.
    t.entry[SDL_SCANCODE_MINUS] = 0xBD;
    t.entry[SDL_SCANCODE_EQUALS] = 0xBB;
    t.entry[SDL_SCANCODE_LEFTBRACKET] = 0xDB;
    t.entry[SDL_SCANCODE_RIGHTBRACKET] = 0xDD;
    t.entry[SDL_SCANCODE_BACKSLASH] = 0xDC;
    t.entry[SDL_SCANCODE_NONUSHASH] = 0xDC;
    t.entry[SDL_SCANCODE_SEMICOLON] = 0xBA;
    t.entry[SDL_SCANCODE_APOSTROPHE] = 0xC0;
    t.entry[SDL_SCANCODE_GRAVE] = 0xDF;
    t.entry[SDL_SCANCODE_COMMA] = 0xBC;
    t.entry[SDL_SCANCODE_PERIOD] = 0xBE;
    t.entry[SDL_SCANCODE_SLASH] = 0xBF;
    t.entry[SDL_SCANCODE_NONUSBACKSLASH] = 0xE2;
    t.entry[SDL_SCANCODE_CAPSLOCK] = 0x14;
    for (int i = 0; i < 12; ++i)
        t.entry[SDL_SCANCODE_F1 + i] = static_cast<uint16_t>(0x70 + i);
    for (int i = 0; i < 12; ++i)
        t.entry[SDL_SCANCODE_F13 + i] = static_cast<uint16_t>(0x7C + i);
    t.entry[SDL_SCANCODE_PRINTSCREEN] = 0x2C | kExtended;
    t.entry[SDL_SCANCODE_SCROLLLOCK] = 0x91;
    t.entry[SDL_SCANCODE_PAUSE] = 0x13;
    t.entry[SDL_SCANCODE_INSERT] = 0x2D | kExtended;
    t.entry[SDL_SCANCODE_HOME] = 0x24 | kExtended;
    t.entry[SDL_SCANCODE_PAGEUP] = 0x21 | kExtended;
    t.entry[SDL_SCANCODE_DELETE] = 0x2E | kExtended;
    t.entry[SDL_SCANCODE_END] = 0x23 | kExtended;
    t.entry[SDL_SCANCODE_PAGEDOWN] = 0x22 | kExtended;
    t.entry[SDL_SCANCODE_RIGHT] = 0x27 | kExtended;
    t.entry[SDL_SCANCODE_LEFT] = 0x25 | kExtended;
    t.entry[SDL_SCANCODE_DOWN] = 0x28 | kExtended;
    t.entry[SDL_SCANCODE_UP] = 0x26 | kExtended;
    t.entry[SDL_SCANCODE_NUMLOCKCLEAR] = 0x90 | kExtended;
    t.entry[SDL_SCANCODE_KP_DIVIDE] = 0x6F | kExtended;
    t.entry[SDL_SCANCODE_KP_MULTIPLY] = 0x6A;
    t.entry[SDL_SCANCODE_KP_MINUS] = 0x6D;
    t.entry[SDL_SCANCODE_KP_PLUS] = 0x6B;
    t.entry[SDL_SCANCODE_KP_ENTER] = 0x0D | kExtended;
    for (int i = 0; i < 9; ++i)
        t.entry[SDL_SCANCODE_KP_1 + i] = static_cast<uint16_t>(0x61 + i);
    t.entry[SDL_SCANCODE_KP_0] = 0x60;
    t.entry[SDL_SCANCODE_KP_PERIOD] = 0x6E;
    t.entry[SDL_SCANCODE_APPLICATION] = 0x5D | kExtended;
    t.entry[SDL_SCANCODE_LCTRL] = 0x11;
    t.entry[SDL_SCANCODE_LSHIFT] = 0x10;
    t.entry[SDL_SCANCODE_LALT] = 0x12;
    t.entry[SDL_SCANCODE_LGUI] = 0x5B | kExtended;
    t.entry[SDL_SCANCODE_RCTRL] = 0x11 | kExtended;
    // The right Shift has a virtual key of its own, so it stays apart from the left one.
    t.entry[SDL_SCANCODE_RSHIFT] = 0xA1;
    t.entry[SDL_SCANCODE_RALT] = 0x12 | kExtended;
    t.entry[SDL_SCANCODE_RGUI] = 0x5C | kExtended;
    return t;
}

constexpr ScancodeTable kScancodes = BuildScancodeTable();

// Alt+Tab hook thread state. The pump reads gHookInstalled; the rest is guarded by the mutex.
std::mutex gHookMutex;
std::condition_variable gHookWake;
bool gHookStop;
std::atomic<int32_t> gHookRunning;
std::atomic<bool> gHookInstalled;
// The window holds the keyboard for the hook (pump thread only).
bool gKeyboardGrabbed;

void PostQuit()
{
    gQuitPosted = 1;
}

intptr_t CallWindowProcedure(uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    return gProcedure ? gProcedure(message, wParam, lParam) : 0;
}

void SetActive(uintptr_t wParam, bool fullScreen)
{
    if (wParam & 0xFFFF)
    {
        gActive = 1;
        gReactivated = 1;
        if (fullScreen && gWindow)
        {
            SDL_ShowWindow(gWindow);
            SDL_RestoreWindow(gWindow);
        }
    }
    else if (fullScreen)
    {
        gActive = 0;
        if (gWindow)
            SDL_MinimizeWindow(gWindow);
    }
    else if (!gKeepActive)
    {
        gActive = 0;
    }
}

// Milliseconds of the high-resolution counter (wrapping), for measuring a pump's length.
uint32_t CounterMs()
{
    uint64_t frequency = PDQueryFrequency();
    uint64_t count = 0;
    if (frequency == 0 || !PDQueryCounter(&count))
        return 0;
    return static_cast<uint32_t>(count / (frequency / 1000 ? frequency / 1000 : 1));
}

void KeyMessageToInput(int32_t down, uint32_t virtualKey, uint32_t flags)
{
    if (gInput.key)
        gInput.key(down, virtualKey, flags);
}

void ButtonToInput(int32_t down, int32_t button)
{
    if (gInput.mouseButton)
        gInput.mouseButton(down, button);
}

void ReleaseRightButtonDirectly()
{
    if (gInput.releaseRightButton)
        gInput.releaseRightButton();
}

int32_t WheelNotches(uintptr_t wParam)
{
    auto delta = static_cast<int16_t>(static_cast<uint16_t>(wParam >> 16));
    return delta / PD_WHEEL_DELTA;
}

// The messages both procedures handle alike. Returns false for a message they do not handle.
bool HandleCommon(uint32_t message, uintptr_t wParam, intptr_t lParam, bool fullScreen)
{
    auto flags = static_cast<uint32_t>(lParam);
    switch (message)
    {
    case PD_MSG_DESTROY: PostQuit(); return true;
    case PD_MSG_ACTIVATE:
    case PD_MSG_NC_ACTIVATE: SetActive(wParam, fullScreen); return true;
    case PD_MSG_CLOSE: PDDestroyWindow(); return true;
    case PD_MSG_DISPLAY_CHANGE: return true;
    case PD_MSG_KEY_DOWN:
    case PD_MSG_KEY_UP:
        KeyMessageToInput(message == PD_MSG_KEY_DOWN, static_cast<uint32_t>(wParam), flags);
        return true;
    case PD_MSG_SYS_KEY_DOWN:
    case PD_MSG_SYS_KEY_UP:
        // Only Alt combinations are keys of the game; a lone F10 is the system's.
        if (!(flags & BZ_KEYMSG_ALT))
            return false;
        KeyMessageToInput(message == PD_MSG_SYS_KEY_DOWN, static_cast<uint32_t>(wParam), flags);
        return true;
    case PD_MSG_SYS_CHAR: return true;
    case PD_MSG_LBUTTON_DOWN:
    case PD_MSG_LBUTTON_UP:
        ButtonToInput(message == PD_MSG_LBUTTON_DOWN, PD_MOUSE_LEFT);
        return true;
    case PD_MSG_RBUTTON_DOWN: ButtonToInput(1, PD_MOUSE_RIGHT); return true;
    case PD_MSG_RBUTTON_UP:
        if (fullScreen)
            ReleaseRightButtonDirectly();
        else
            ButtonToInput(0, PD_MOUSE_RIGHT);
        return true;
    case PD_MSG_MBUTTON_DOWN:
    case PD_MSG_MBUTTON_UP:
        ButtonToInput(message == PD_MSG_MBUTTON_DOWN, PD_MOUSE_MIDDLE);
        return true;
    case PD_MSG_WHEEL:
        if (gInput.wheel)
            gInput.wheel(WheelNotches(wParam));
        return true;
    default: return false;
    }
}

struct Message
{
    uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;
};

Message KeyMessage(const SDL_KeyboardEvent &key)
{
    Message m{};
    uint32_t flags = 0;
    uint32_t virtualKey = PDScancodeToVirtualKey(key.keysym.scancode, &flags);
    if (virtualKey == 0)
        return m;
    bool down = key.type == SDL_KEYDOWN;
    bool altKey = virtualKey == BZ_VKEY_ALT;
    bool alt = altKey || (key.keysym.mod & KMOD_ALT);
    flags |= 1; // repeat count
    if (key.repeat)
        flags |= BZ_KEYMSG_WAS_DOWN;
    if (!down)
        flags |= BZ_KEYMSG_RELEASE | BZ_KEYMSG_WAS_DOWN;
    if (virtualKey == BZ_VKEY_F10)
    {
        // A lone F10 is the system's, but the release of an Alt+F10 belongs to the combination
        // even when Alt was let go first: otherwise F10 would stay held.
        if (down)
        {
            gF10DownWithAlt = alt || (key.repeat && gF10DownWithAlt);
        }
        else
        {
            alt = alt || gF10DownWithAlt;
            gF10DownWithAlt = false;
        }
    }
    if (alt)
        flags |= BZ_KEYMSG_ALT;
    bool system = alt || virtualKey == BZ_VKEY_F10;
    if (system)
        m.message = down ? PD_MSG_SYS_KEY_DOWN : PD_MSG_SYS_KEY_UP;
    else
        m.message = down ? PD_MSG_KEY_DOWN : PD_MSG_KEY_UP;
    m.wParam = virtualKey;
    m.lParam = static_cast<intptr_t>(flags);
    return m;
}

// The window message of a window-system event; PD_MSG_NONE for events the window ignores.
Message TranslateEvent(const SDL_Event &e)
{
    Message m{};
    switch (e.type)
    {
    case SDL_WINDOWEVENT:
        if (e.window.event == SDL_WINDOWEVENT_FOCUS_GAINED)
            m = {PD_MSG_ACTIVATE, 1, 0};
        else if (e.window.event == SDL_WINDOWEVENT_FOCUS_LOST)
            m = {PD_MSG_ACTIVATE, 0, 0};
        else if (e.window.event == SDL_WINDOWEVENT_CLOSE)
            m = {PD_MSG_CLOSE, 0, 0};
        break;
    case SDL_QUIT: m = {PD_MSG_CLOSE, 0, 0}; break;
    case SDL_DISPLAYEVENT: m = {PD_MSG_DISPLAY_CHANGE, 0, 0}; break;
    case SDL_KEYDOWN:
    case SDL_KEYUP: m = KeyMessage(e.key); break;
    case SDL_MOUSEMOTION: m = {PD_MSG_MOUSE_MOVE, 0, 0}; break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
    {
        bool down = e.type == SDL_MOUSEBUTTONDOWN;
        if (e.button.button == SDL_BUTTON_LEFT)
            m.message = down ? PD_MSG_LBUTTON_DOWN : PD_MSG_LBUTTON_UP;
        else if (e.button.button == SDL_BUTTON_RIGHT)
            m.message = down ? PD_MSG_RBUTTON_DOWN : PD_MSG_RBUTTON_UP;
        else if (e.button.button == SDL_BUTTON_MIDDLE)
            m.message = down ? PD_MSG_MBUTTON_DOWN : PD_MSG_MBUTTON_UP;
        break;
    }
    case SDL_MOUSEWHEEL:
    {
        int64_t notches = e.wheel.y;
        if (e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED)
            notches = -notches;
        int64_t delta = notches * PD_WHEEL_DELTA;
        // The message carries the delta in 16 bits.
        if (delta > 32767)
            delta = 32767 / PD_WHEEL_DELTA * PD_WHEEL_DELTA;
        if (delta < -32768)
            delta = -32768 / PD_WHEEL_DELTA * PD_WHEEL_DELTA;
        auto word = static_cast<uint16_t>(static_cast<int16_t>(delta));
        m = {PD_MSG_WHEEL, static_cast<uintptr_t>(word) << 16, 0};
        break;
    }
    default: break;
    }
    return m;
}

// Whether the installed Alt+Tab hook swallows the key message.
bool HookSwallows(const Message &m)
{
    if (!gHookInstalled)
        return false;
    if (m.message != PD_MSG_KEY_DOWN && m.message != PD_MSG_KEY_UP &&
        m.message != PD_MSG_SYS_KEY_DOWN && m.message != PD_MSG_SYS_KEY_UP)
        return false;
    const uint32_t flags = (static_cast<uint32_t>(m.lParam) & BZ_KEYMSG_ALT) ? PD_HOOK_FLAG_ALT : 0;
    return PDAltTabHookProc(PD_HOOK_ACTION, m.message, static_cast<uint32_t>(m.wParam), flags) != 0;
}

void DispatchEvent(const SDL_Event &e)
{
    // Messages of a window that is gone go nowhere.
    if (!gWindow)
        return;
    Message m = TranslateEvent(e);
    if (m.message != PD_MSG_NONE && !HookSwallows(m))
        CallWindowProcedure(m.message, m.wParam, m.lParam);
}

// The window holds the keyboard exactly while the hook is installed, so that the desktop does
// not take Alt+Tab first (also not in full screen, where the window system would otherwise
// let Alt+Tab through).
void UpdateKeyboardGrab()
{
    const bool want = gHookInstalled && gWindow;
    if (want == gKeyboardGrabbed)
        return;
    if (want)
        SDL_SetHint(SDL_HINT_ALLOW_ALT_TAB_WHILE_GRABBED, "0");
    if (gWindow)
        SDL_SetWindowKeyboardGrab(gWindow, want ? SDL_TRUE : SDL_FALSE);
    gKeyboardGrabbed = want;
}

bool WaitForEvent(SDL_Event *e)
{
    if (gWaitLimit == 0)
        return SDL_WaitEvent(e) == 1;
    return SDL_WaitEventTimeout(e, static_cast<int>(gWaitLimit)) == 1;
}

void WindowMessageBox(const char *caption, const char *text)
{
    if (SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, caption ? caption : "", text ? text : "",
                                 nullptr) == 0)
        return;
    std::fprintf(stderr, "%s\n%s\n", caption ? caption : "", text ? text : "");
    std::fflush(stderr);
}

// A driver that shows nothing cannot show a message box either.
bool DriverHasDisplay()
{
    const char *driver = SDL_GetCurrentVideoDriver();
    return driver && std::strcmp(driver, "dummy") != 0 && std::strcmp(driver, "offscreen") != 0;
}

bool StartVideo()
{
    if (gVideoUp)
        return true;
    // Interrupt signals keep their usual meaning: they end the program.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0)
        return false;
    gVideoUp = true;
    return true;
}
// The window procedure of the current mode, and for a window its place centred on the desktop.
void PlaceForMode(int32_t width, int32_t height, int32_t *left, int32_t *top)
{
    if (bzgWindowed)
    {
        gProcedure = PDWindowedWndProc;
        PDCentreOnDesktop(width, height, left, top);
    }
    else
        gProcedure = PDFullScreenWndProc;
}
} // namespace

uint32_t PDScancodeToVirtualKey(int32_t scancode, uint32_t *flags)
{
    if (scancode < 0 || scancode >= SDL_NUM_SCANCODES)
        return 0;
    uint16_t entry = kScancodes.entry[scancode];
    if (flags && (entry & kExtended))
        *flags |= BZ_KEYMSG_EXTENDED;
    return entry & 0xFF;
}

int32_t PDStartWindowSystem()
{
    return StartVideo() ? 1 : 0;
}

void PDSetWindowOpenGL(int32_t on)
{
    gOpenGL = on != 0;
}

int32_t PDCreateWindow(int32_t width, int32_t height)
{
    if (width <= 0 || height <= 0 || width > kMaxWindowSide || height > kMaxWindowSide ||
        !StartVideo())
    {
        PDSetLastError(PD_ERROR_NO_WINDOWS_INTERFACE);
        return PD_ERROR_NO_WINDOWS_INTERFACE;
    }
    if (gWindow)
    {
        // The engine has one window: a new one replaces the old.
        SDL_DestroyWindow(gWindow);
        gWindow = nullptr;
        bzgWindow = nullptr;
    }

    char title[BZ_WINDOW_TITLE_SIZE];
    std::memcpy(title, bzgWindowTitle, sizeof title);
    title[sizeof title - 1] = 0;

    uint32_t flags = SDL_WINDOW_HIDDEN;
    if (gOpenGL)
        flags |= SDL_WINDOW_OPENGL;
    int32_t left = 0;
    int32_t top = 0;
    PlaceForMode(width, height, &left, &top);
    if (!bzgWindowed)
        flags |= SDL_WINDOW_BORDERLESS | SDL_WINDOW_ALWAYS_ON_TOP;
    gWindow = SDL_CreateWindow(title, left, top, width, height, flags);
    if (!gWindow)
    {
        gProcedure = nullptr;
        PDSetLastError(PD_ERROR_NO_WINDOWS_INTERFACE);
        return PD_ERROR_NO_WINDOWS_INTERFACE;
    }
    bzgWindow = gWindow;
    gLeft = left;
    gTop = top;
    gActive = 0;
    gReactivated = 0;
    gQuitPosted = 0;
    gF10DownWithAlt = false;
    gShowPending = 1;
    SDL_ShowCursor(SDL_DISABLE);
    if (DriverHasDisplay())
        PDSetMessageBoxFunction(WindowMessageBox);
    return 0;
}

int32_t PDProcessMessages()
{
    uint32_t start = CounterMs();
    if (gShowPending && gWindow)
    {
        SDL_ShowWindow(gWindow);
        gShowPending = 0;
        // A window that is shown becomes the active one.
        CallWindowProcedure(PD_MSG_ACTIVATE, 1, 0);
    }
    gReactivated = 0;
    UpdateKeyboardGrab();

    if (gVideoUp)
    {
        SDL_Event e;
        for (;;)
        {
            if (gActive)
            {
                if (!SDL_PollEvent(&e))
                    break;
            }
            else
            {
                // In the background the program waits for the window to come back; with no
                // window nothing can come back.
                if (!gWindow || !WaitForEvent(&e))
                    break;
            }
            DispatchEvent(e);
        }
    }

    uint32_t took = CounterMs() - start;
    if (took > kLostTimeThreshold)
        bzgLostTime += took;
    return gReactivated;
}

void PDCentreOnDesktop(int32_t width, int32_t height, int32_t *left, int32_t *top)
{
    int32_t x = 10;
    int32_t y = 10;
    SDL_DisplayMode mode;
    if (gVideoUp && SDL_GetCurrentDisplayMode(0, &mode) == 0)
    {
        x = mode.w > width ? (mode.w - width) / 2 : 0;
        y = mode.h > height ? (mode.h - height) / 2 : 0;
    }
    if (left)
        *left = x;
    if (top)
        *top = y;
}

void PDSetWindowPos(int32_t width, int32_t height)
{
    PDCentreOnDesktop(width, height, &gLeft, &gTop);
    if (!gWindow || width <= 0 || height <= 0 || width > kMaxWindowSide || height > kMaxWindowSide)
        return;
    SDL_SetWindowSize(gWindow, width, height);
    SDL_SetWindowPosition(gWindow, gLeft, gTop);
    SDL_ShowWindow(gWindow);
}

int32_t PDReshapeWindow(int32_t width, int32_t height)
{
    if (!gWindow || width <= 0 || height <= 0 || width > kMaxWindowSide || height > kMaxWindowSide)
        return PD_ERROR_NO_WINDOWS_INTERFACE;
    int32_t left = 0;
    int32_t top = 0;
    PlaceForMode(width, height, &left, &top);
    SDL_SetWindowBordered(gWindow, bzgWindowed ? SDL_TRUE : SDL_FALSE);
    SDL_SetWindowAlwaysOnTop(gWindow, bzgWindowed ? SDL_FALSE : SDL_TRUE);
    SDL_SetWindowSize(gWindow, width, height);
    SDL_SetWindowPosition(gWindow, left, top);
    gLeft = left;
    gTop = top;
    SDL_ShowWindow(gWindow);
    return 0;
}

intptr_t bz_SendWindowMessage(intptr_t lParam, uint32_t message, uintptr_t wParam)
{
    if (!gWindow)
        return 0;
    return CallWindowProcedure(message, wParam, lParam);
}

intptr_t PDFullScreenWndProc(uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    if (HandleCommon(message, wParam, lParam, true))
        return 0;
    return PDDefaultWndProc(message, wParam, lParam);
}

intptr_t PDWindowedWndProc(uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    if (PDFatalExitUnderWay())
    {
        // While the program goes down only the window's end matters.
        if (message == PD_MSG_DESTROY)
        {
            PostQuit();
            return 0;
        }
        return PDDefaultWndProc(message, wParam, lParam);
    }
    intptr_t hookResult = gHook ? gHook(message, wParam, lParam) : 0;
    bool handled = message == PD_MSG_MOUSE_MOVE || HandleCommon(message, wParam, lParam, false);
    if (!handled || hookResult != 0)
        PDDefaultWndProc(message, wParam, lParam);
    return 0;
}

intptr_t PDDefaultWndProc(uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    switch (message)
    {
    case PD_MSG_CLOSE: PDDestroyWindow(); break;
    case PD_MSG_SYS_KEY_DOWN:
        if ((static_cast<uint32_t>(lParam) & BZ_KEYMSG_ALT) && wParam == BZ_VKEY_F4)
            CallWindowProcedure(PD_MSG_CLOSE, 0, 0);
        break;
    default: break;
    }
    return 0;
}

void PDSetApplicationHook(PDWindowProcedure hook)
{
    gHook = hook;
}

void PDSetKeepActive(int32_t keep)
{
    gKeepActive = keep;
}

int32_t PDGetKeepActive()
{
    return gKeepActive;
}

int32_t PDIsWindowActive()
{
    return gActive;
}

int32_t PDWindowExists()
{
    return gWindow != nullptr;
}

int32_t PDWindowLayerUp()
{
    return gVideoUp;
}

void PDDestroyWindow()
{
    if (!gWindow)
        return;
    SDL_DestroyWindow(gWindow);
    gWindow = nullptr;
    bzgWindow = nullptr;
    gActive = 0;
    gShowPending = 0;
    gKeyboardGrabbed = false; // the grab went with the window
    CallWindowProcedure(PD_MSG_DESTROY, 0, 0);
}

void PDPumpUntilQuit()
{
    if (!gVideoUp)
        return;
    SDL_Event e;
    for (int32_t n = 0; n < kMaxDrainEvents && SDL_PollEvent(&e); ++n)
        DispatchEvent(e);
}

int32_t PDWasQuitPosted()
{
    return gQuitPosted;
}

void PDShutdownWindow()
{
    PDDestroyWindow();
    gProcedure = nullptr;
    if (gVideoUp)
    {
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        gVideoUp = false;
        // With nothing else of the window system in use, let it release everything it holds.
        if (SDL_WasInit(SDL_INIT_EVERYTHING) == 0)
            SDL_Quit();
    }
}

void PDRestoreArrowCursor()
{
    if (gVideoUp)
        SDL_SetCursor(SDL_GetDefaultCursor());
}

void PDReleaseMouseCapture()
{
    if (!gVideoUp)
        return;
    SDL_CaptureMouse(SDL_FALSE);
    SDL_SetRelativeMouseMode(SDL_FALSE);
    if (gWindow)
        SDL_SetWindowGrab(gWindow, SDL_FALSE);
}

void PDShowCursor()
{
    if (gVideoUp)
        SDL_ShowCursor(SDL_ENABLE);
}

void PDSetMessageWaitLimit(uint32_t milliseconds)
{
    gWaitLimit = milliseconds;
}

uint32_t PDGetMicroseconds()
{
    return PDEngineMicroseconds();
}

void PDSetWindowInput(const PDWindowInput *input)
{
    gInput = input ? *input : PDWindowInput{};
}

intptr_t PDAltTabHookProc(int32_t code, uint32_t messageKind, uint32_t virtualKey,
                          uint32_t keyFlags)
{
    if (code == PD_HOOK_ACTION && messageKind == PD_MSG_SYS_KEY_DOWN && virtualKey == BZ_VKEY_TAB &&
        (keyFlags & PD_HOOK_FLAG_ALT))
        return 1;
    // On to the next hook: there is none below this one.
    return 0;
}

uint32_t PDAltTabHookThread(void *)
{
    std::unique_lock<std::mutex> lock(gHookMutex);
    if (gHookInstalled)
        return 1; // another thread holds the hook: stopped at once
    gHookInstalled = true;
    gHookRunning = 1;
    gHookWake.wait(lock, [] { return gHookStop; });
    gHookStop = false;
    gHookInstalled = false;
    gHookRunning = 0;
    return 0;
}

void PDAltTabHookStop()
{
    {
        std::lock_guard<std::mutex> lock(gHookMutex);
        gHookStop = true;
    }
    gHookWake.notify_all();
}

int32_t PDAltTabHookRunning()
{
    return gHookRunning;
}
