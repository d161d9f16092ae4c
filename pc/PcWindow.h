// The engine window of the PC and its message pump. The window system's events are turned
// into window messages and handed to one of two window procedures, the full-screen one or
// the windowed one, which turn them into engine state: activation, close, keys (to the
// keyboard device), mouse buttons and the wheel (to the mouse device).
#pragma once

#include <cstdint>

constexpr int32_t BZ_WINDOW_TITLE_SIZE = 256;

// The window title, filled by the game before the window is made.
extern char bzgWindowTitle[BZ_WINDOW_TITLE_SIZE];
// Milliseconds lost in pumps that took more than 500 ms; read and reset by the game.
extern uint32_t bzgLostTime;
// Windowed-mode switch, set by the display set-up: chooses the window and its procedure.
extern int32_t bzgWindowed;
// The engine window (a window-system handle for the render back ends), null when there is none.
extern void *bzgWindow;

// Window messages.
enum : uint32_t
{
    PD_MSG_NONE,
    PD_MSG_DESTROY,
    PD_MSG_ACTIVATE,    // first parameter: low word non-zero when activated
    PD_MSG_NC_ACTIVATE, // as PD_MSG_ACTIVATE
    PD_MSG_CLOSE,
    PD_MSG_DISPLAY_CHANGE,
    PD_MSG_KEY_DOWN, // first parameter: virtual-key code; second: key flags (BZ_KEYMSG_*)
    PD_MSG_KEY_UP,
    PD_MSG_SYS_KEY_DOWN, // keys with Alt held, and F10
    PD_MSG_SYS_KEY_UP,
    PD_MSG_SYS_CHAR,
    PD_MSG_MOUSE_MOVE,
    PD_MSG_LBUTTON_DOWN,
    PD_MSG_LBUTTON_UP,
    PD_MSG_RBUTTON_DOWN,
    PD_MSG_RBUTTON_UP,
    PD_MSG_MBUTTON_DOWN,
    PD_MSG_MBUTTON_UP,
    PD_MSG_WHEEL, // first parameter: high word the signed wheel delta, 120 a notch
};

constexpr int32_t PD_WHEEL_DELTA = 120;

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

// The mouse buttons of button messages.
enum : int32_t
{
    PD_MOUSE_LEFT,
    PD_MOUSE_RIGHT,
    PD_MOUSE_MIDDLE,
};

// Where the window procedures send what the user does: the engine's keyboard and mouse devices
// install these. A missing function drops its messages.
struct PDWindowInput
{
    // A key-down (down 1) or key-up message: virtual-key code and flags (BZ_KEYMSG_*).
    void (*key)(int32_t down, uint32_t virtualKey, uint32_t flags);
    // A button went down (1) or up (0).
    void (*mouseButton)(int32_t down, int32_t button);
    // The full-screen release of the right button, which clears its state directly.
    void (*releaseRightButton)();
    // Wheel notches turned (positive away from the user).
    void (*wheel)(int32_t notches);
};

// Installs the input devices' functions (copied); null takes them away.
void PDSetWindowInput(const PDWindowInput *input);

typedef intptr_t (*PDWindowProcedure)(uint32_t message, uintptr_t wParam, intptr_t lParam);

// Starts the window system without making a window (1), or 0 when it cannot be started.
int32_t PDStartWindowSystem();
// While on, windows are made so that they can hold an OpenGL context (pc/PcGL.h).
void PDSetWindowOpenGL(int32_t on);
// Makes the engine window, full screen (a top-most borderless window at (0, 0)) or windowed
// (a captioned window centred on the desktop) by bzgWindowed, with a client area of width
// by height, titled bzgWindowTitle. It is shown by the next pump. Returns 0, or 7 when the
// window cannot be made (also left in bzgLastError).
int32_t PDCreateWindow(int32_t width, int32_t height);
// Runs the window's messages: drains them while the window is active, waits for them while it
// is inactive. Returns 1 when the window was activated again during this pump.
int32_t PDProcessMessages();
// Centres a client area of width by height on the desktop, resizes the window and shows it.
void PDSetWindowPos(int32_t width, int32_t height);
// Where a client area of width by height is centred on the desktop; (10, 10) when the
// display mode cannot be read. A window larger than the desktop is placed at 0.
void PDCentreOnDesktop(int32_t width, int32_t height, int32_t *left, int32_t *top);
// Gives the existing window a client area of width by height and the shape bzgWindowed asks
// for (full screen: borderless and top-most at (0, 0); windowed: captioned and centred),
// keeping the window itself and what is bound to it. 0, or 7 when there is no window or the
// size is out of range.
int32_t PDReshapeWindow(int32_t width, int32_t height);
// Sends a message to the engine window's procedure; 0 when there is no window.
intptr_t bz_SendWindowMessage(intptr_t lParam, uint32_t message, uintptr_t wParam);

intptr_t PDFullScreenWndProc(uint32_t message, uintptr_t wParam, intptr_t lParam);
intptr_t PDWindowedWndProc(uint32_t message, uintptr_t wParam, intptr_t lParam);
// What a message not handled by the engine does: close destroys the window, Alt+F4 closes it.
intptr_t PDDefaultWndProc(uint32_t message, uintptr_t wParam, intptr_t lParam);

// The application's procedure, called first by the windowed procedure for every message.
void PDSetApplicationHook(PDWindowProcedure hook);
// While set, losing the focus does not make the windowed window inactive.
void PDSetKeepActive(int32_t keep);
int32_t PDGetKeepActive();
int32_t PDIsWindowActive();
int32_t PDWindowExists();
// True while the window system is started (a window was made and the layer not shut down).
int32_t PDWindowLayerUp();
// Destroys the engine window; its procedure gets the destroy message and posts quit.
void PDDestroyWindow();
// Runs the remaining messages until the quit message is reached.
void PDPumpUntilQuit();
// True once the window was destroyed (closed by the user or by the program) since it was made.
int32_t PDWasQuitPosted();
// Destroys the window and stops the window system.
void PDShutdownWindow();

void PDRestoreArrowCursor();
void PDReleaseMouseCapture();
void PDShowCursor();

// Longest wait of an inactive pump, in ms; 0 (the default) waits as long as it takes. A pump
// whose wait ends without a message returns.
void PDSetMessageWaitLimit(uint32_t milliseconds);

// The virtual-key code of a window-system scan code, with BZ_KEYMSG_EXTENDED in *flags for
// keys of the extended block; 0 for keys without one.
uint32_t PDScancodeToVirtualKey(int32_t scancode, uint32_t *flags);

// Microseconds since the engine timer started, as the clock gives them.
uint32_t PDGetMicroseconds();

// The Alt+Tab keyboard hook, which keeps Alt+Tab from switching away from the game. While the
// hook is installed (its thread runs), the engine window takes the keyboard from the desktop
// (the window system's keyboard grab, which holds while the window has the focus), so that
// Alt+Tab reaches the program instead of the desktop; and the pump hands every key event to
// PDAltTabHookProc before the window procedure: an event it swallows reaches neither the
// procedure nor the keyboard. The window system gives no keys of other programs' windows, so
// unlike a system-wide hook this one acts only while the engine window has the focus; and it
// runs on the thread of the pump, not on the hook thread.
constexpr int32_t PD_HOOK_ACTION = 0;       // the code of a key event the hook acts on
constexpr uint32_t PD_HOOK_FLAG_ALT = 0x20; // key flags: the Alt key is down
// Swallows (1) a key event of the action code that is a system key down (PD_MSG_SYS_KEY_DOWN)
// of Tab (9) with the Alt flag; every other event goes on (0).
intptr_t PDAltTabHookProc(int32_t code, uint32_t messageKind, uint32_t virtualKey,
                          uint32_t keyFlags);
// The hook thread: installs the hook, marks it running and waits until PDAltTabHookStop, then
// removes the hook. Only one hook can be installed at a time: a thread that finds one installed
// stops at once and returns 1 (0 otherwise).
uint32_t PDAltTabHookThread(void *parameter);
void PDAltTabHookStop();
int32_t PDAltTabHookRunning();
