// The engine window and its pump under the window system's "dummy" driver, driven by events
// pushed into the window system's queue.
#include "core/Error.h"
#include "input/Keyboard.h"
#include "input/Mouse.h"
#include "pc/PcClipboard.h"
#include "pc/PcWindow.h"
#include "support/TestSupport.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace
{
// Without a session bus the window system tries to start one for its desktop services, and
// that attempt leaves buffers behind that the leak checker reports: give it none to find.
void NoSessionBusLaunch()
{
    setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/tolvane-test-bus", 0);
}

class WindowTest : public ::testing::TestWithParam<int32_t>
{
protected:
    ScopedEnvironment environment_{"SDL_VIDEODRIVER"};

    void SetUp() override
    {
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        NoSessionBusLaunch();
        bzgWindowed = GetParam();
        std::snprintf(bzgWindowTitle, sizeof bzgWindowTitle, "%s", "Tolvane test");
        bz_Keyboard_Create();
        bz_Mouse_Create();
        bzgLostTime = 0;
        bzgFatalErrorHappened = 0; // the windowed procedure reads it
        // A broken test must not wait forever for an event that never comes.
        PDSetMessageWaitLimit(5000);
    }

    void TearDown() override
    {
        PDShutdownWindow();
        PDSetApplicationHook(nullptr);
        PDSetKeepActive(0);
        bz_Keyboard_Destroy();
        bz_Mouse_Destroy();
    }

    // Makes the window and runs the first pump, which shows it.
    void Open()
    {
        ASSERT_EQ(PDCreateWindow(640, 480), 0) << SDL_GetError();
        EXPECT_EQ(PDProcessMessages(), 0);
        ASSERT_TRUE(PDIsWindowActive());
    }

    static uint32_t WindowId() { return SDL_GetWindowID(static_cast<SDL_Window *>(bzgWindow)); }

    static void Push(SDL_Event &e) { ASSERT_EQ(SDL_PushEvent(&e), 1) << SDL_GetError(); }

    static void PushKey(SDL_Scancode code, bool down, uint16_t mod = KMOD_NONE)
    {
        SDL_Event e{};
        e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
        e.key.windowID = WindowId();
        e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
        e.key.keysym.scancode = code;
        e.key.keysym.sym = SDL_GetKeyFromScancode(code);
        e.key.keysym.mod = mod;
        Push(e);
    }

    static void PushWindowEvent(uint8_t kind)
    {
        SDL_Event e{};
        e.type = SDL_WINDOWEVENT;
        e.window.windowID = WindowId();
        e.window.event = kind;
        Push(e);
    }

    static void PushButton(uint8_t button, bool down)
    {
        SDL_Event e{};
        e.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
        e.button.windowID = WindowId();
        e.button.button = button;
        e.button.state = down ? SDL_PRESSED : SDL_RELEASED;
        e.button.clicks = 1;
        Push(e);
    }

    static void PushWheel(int32_t y, bool flipped = false)
    {
        SDL_Event e{};
        e.type = SDL_MOUSEWHEEL;
        e.wheel.windowID = WindowId();
        e.wheel.y = y;
        e.wheel.direction = flipped ? SDL_MOUSEWHEEL_FLIPPED : SDL_MOUSEWHEEL_NORMAL;
        Push(e);
    }

    static bool KeyDown(int32_t code)
    {
        return (bzgKeyboardDevice->keyState[code] & BZ_KEY_STATE_DOWN) != 0;
    }
};

INSTANTIATE_TEST_SUITE_P(Procedures, WindowTest, ::testing::Values(0, 1),
                         [](const ::testing::TestParamInfo<int32_t> &info)
                         { return info.param ? "Windowed" : "FullScreen"; });

TEST_P(WindowTest, WindowIsMadeHiddenAndShownByTheFirstPump)
{
    ASSERT_EQ(PDCreateWindow(640, 480), 0) << SDL_GetError();
    auto *window = static_cast<SDL_Window *>(bzgWindow);
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(PDWindowExists());
    EXPECT_FALSE(SDL_GetWindowFlags(window) & SDL_WINDOW_SHOWN);
    int w = 0;
    int h = 0;
    SDL_GetWindowSize(window, &w, &h);
    EXPECT_EQ(w, 640);
    EXPECT_EQ(h, 480);
    EXPECT_STREQ(SDL_GetWindowTitle(window), "Tolvane test");
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);

    // Being shown makes the window active, but the first pump reports no reactivation.
    EXPECT_EQ(PDProcessMessages(), 0);
    EXPECT_TRUE(SDL_GetWindowFlags(window) & SDL_WINDOW_SHOWN);
    EXPECT_TRUE(PDIsWindowActive());
    if (bzgWindowed)
    {
        EXPECT_FALSE(SDL_GetWindowFlags(window) & SDL_WINDOW_BORDERLESS);
    }
    else
    {
        EXPECT_TRUE(SDL_GetWindowFlags(window) & SDL_WINDOW_BORDERLESS);
    }
}

TEST_P(WindowTest, RefusedWindowGivesCodeSeven)
{
    const int32_t sizes[][2] = {{0, 480}, {640, 0}, {-1, 480}, {640, 100000}};
    for (const auto &size : sizes)
    {
        bzgLastError = 0;
        EXPECT_EQ(PDCreateWindow(size[0], size[1]), 7) << size[0] << " x " << size[1];
        EXPECT_EQ(bzgLastError, 7);
        EXPECT_FALSE(PDWindowExists());
    }
    // A window system that cannot start.
    setenv("SDL_VIDEODRIVER", "no-such-driver", 1);
    EXPECT_EQ(PDCreateWindow(640, 480), 7);
    EXPECT_FALSE(PDWindowExists());
    EXPECT_FALSE(PDWindowLayerUp());
    EXPECT_EQ(PDProcessMessages(), 0);
}

TEST_P(WindowTest, FocusRegainedIsReportedOnce)
{
    Open();
    PushWindowEvent(SDL_WINDOWEVENT_FOCUS_LOST);
    PushWindowEvent(SDL_WINDOWEVENT_FOCUS_GAINED);
    EXPECT_EQ(PDProcessMessages(), 1);
    EXPECT_TRUE(PDIsWindowActive());
    EXPECT_EQ(PDProcessMessages(), 0);
}

TEST_P(WindowTest, KeysReachTheKeyStateTableWithTheirCodes)
{
    Open();
    struct Case
    {
        SDL_Scancode scancode;
        int32_t code;
    };
    const Case cases[] = {
        {SDL_SCANCODE_A, 30},          {SDL_SCANCODE_Z, 44},          {SDL_SCANCODE_1, 2},
        {SDL_SCANCODE_0, 11},          {SDL_SCANCODE_ESCAPE, 1},      {SDL_SCANCODE_RETURN, 28},
        {SDL_SCANCODE_KP_ENTER, 156},  {SDL_SCANCODE_LCTRL, 29},      {SDL_SCANCODE_RCTRL, 157},
        {SDL_SCANCODE_LSHIFT, 42},     {SDL_SCANCODE_RSHIFT, 54},     {SDL_SCANCODE_SPACE, 57},
        {SDL_SCANCODE_F1, 59},         {SDL_SCANCODE_F11, 87},        {SDL_SCANCODE_F12, 88},
        {SDL_SCANCODE_UP, 200},        {SDL_SCANCODE_LEFT, 203},      {SDL_SCANCODE_DELETE, 211},
        {SDL_SCANCODE_PAGEDOWN, 209},  {SDL_SCANCODE_KP_0, 82},       {SDL_SCANCODE_KP_PERIOD, 83},
        {SDL_SCANCODE_KP_DIVIDE, 181}, {SDL_SCANCODE_APOSTROPHE, 40}, {SDL_SCANCODE_GRAVE, 41},
        {SDL_SCANCODE_BACKSLASH, 43},  {SDL_SCANCODE_SEMICOLON, 39},  {SDL_SCANCODE_CAPSLOCK, 58},
    };
    for (const Case &c : cases)
    {
        PushKey(c.scancode, true);
        PDProcessMessages();
        EXPECT_TRUE(KeyDown(c.code)) << SDL_GetScancodeName(c.scancode);
        for (int32_t k = 0; k < BZ_KEY_COUNT; ++k)
        {
            if (k != c.code)
            {
                EXPECT_FALSE(KeyDown(k)) << SDL_GetScancodeName(c.scancode) << " held " << k;
            }
        }
        PushKey(c.scancode, false);
        PDProcessMessages();
        EXPECT_FALSE(KeyDown(c.code)) << SDL_GetScancodeName(c.scancode);
    }

    // Either Alt holds both Alt entries.
    PushKey(SDL_SCANCODE_RALT, true, KMOD_RALT);
    PDProcessMessages();
    EXPECT_TRUE(KeyDown(BZ_KEY_LEFT_ALT));
    EXPECT_TRUE(KeyDown(BZ_KEY_RIGHT_ALT));
    PushKey(SDL_SCANCODE_RALT, false);
    PDProcessMessages();
    EXPECT_FALSE(KeyDown(BZ_KEY_LEFT_ALT));
    EXPECT_FALSE(KeyDown(BZ_KEY_RIGHT_ALT));
}

TEST_P(WindowTest, LoneF10StaysWithTheSystemAndAltF4IsAKey)
{
    Open();
    PushKey(SDL_SCANCODE_F10, true);
    PDProcessMessages();
    EXPECT_FALSE(KeyDown(BZ_KEY_F10));

    // Alt+F10 is a key of the game.
    PushKey(SDL_SCANCODE_LALT, true, KMOD_LALT);
    PushKey(SDL_SCANCODE_F10, true, KMOD_LALT);
    PDProcessMessages();
    EXPECT_TRUE(KeyDown(BZ_KEY_F10));
    PushKey(SDL_SCANCODE_F10, false, KMOD_LALT);

    // Alt+F4 reaches the keyboard and does not close the window.
    PushKey(SDL_SCANCODE_F4, true, KMOD_LALT);
    PDProcessMessages();
    EXPECT_TRUE(KeyDown(BZ_KEY_LEFT_ALT));
    EXPECT_TRUE(KeyDown(BZ_KEY_F4));
    EXPECT_TRUE(PDWindowExists());
    EXPECT_FALSE(PDWasQuitPosted());
    PushKey(SDL_SCANCODE_F4, false, KMOD_LALT);
    PushKey(SDL_SCANCODE_LALT, false);
    PDProcessMessages();
    EXPECT_FALSE(KeyDown(BZ_KEY_F4));
    EXPECT_FALSE(KeyDown(BZ_KEY_LEFT_ALT));
    EXPECT_TRUE(PDWindowExists());

    // An Alt+F10 whose Alt is let go first: the release of F10 still reaches the keyboard,
    // so the key does not stay held.
    PushKey(SDL_SCANCODE_LALT, true, KMOD_LALT);
    PushKey(SDL_SCANCODE_F10, true, KMOD_LALT);
    PushKey(SDL_SCANCODE_LALT, false);
    PDProcessMessages();
    EXPECT_TRUE(KeyDown(BZ_KEY_F10));
    PushKey(SDL_SCANCODE_F10, false);
    PDProcessMessages();
    EXPECT_FALSE(KeyDown(BZ_KEY_F10));
    // And a lone F10 after it is the system's again.
    PushKey(SDL_SCANCODE_F10, true);
    PDProcessMessages();
    EXPECT_FALSE(KeyDown(BZ_KEY_F10));
    PushKey(SDL_SCANCODE_F10, false);
    PDProcessMessages();

    // Left to the system, Alt+F4 would have closed it.
    PDDefaultWndProc(PD_MSG_SYS_KEY_DOWN, BZ_VKEY_F4, BZ_KEYMSG_ALT | 1);
    EXPECT_FALSE(PDWindowExists());
    EXPECT_TRUE(PDWasQuitPosted());
}

TEST_P(WindowTest, MouseButtonsSetTheirBitsAndKeyEntries)
{
    Open();
    struct Case
    {
        uint8_t button;
        uint32_t bit;
        int32_t key;
    };
    const Case cases[] = {
        {SDL_BUTTON_LEFT, BZ_MOUSE_BUTTON_LEFT, BZ_KEY_MOUSE_LEFT},
        {SDL_BUTTON_RIGHT, BZ_MOUSE_BUTTON_RIGHT, BZ_KEY_MOUSE_RIGHT},
        {SDL_BUTTON_MIDDLE, BZ_MOUSE_BUTTON_MIDDLE, BZ_KEY_MOUSE_MIDDLE},
    };
    for (const Case &c : cases)
    {
        PushButton(c.button, true);
        PDProcessMessages();
        EXPECT_EQ(bzgMouseDevice->buttons, c.bit) << int(c.button);
        EXPECT_TRUE(KeyDown(c.key)) << int(c.button);
        PushButton(c.button, false);
        PDProcessMessages();
        EXPECT_EQ(bzgMouseDevice->buttons, 0u) << int(c.button);
        EXPECT_FALSE(KeyDown(c.key)) << int(c.button);
    }

    // Without a mouse the buttons are not taken.
    bzgMouseDevice->flags &= ~BZ_MOUSE_PRESENT;
    PushButton(SDL_BUTTON_LEFT, true);
    PDProcessMessages();
    EXPECT_EQ(bzgMouseDevice->buttons, 0u);
    EXPECT_FALSE(KeyDown(BZ_KEY_MOUSE_LEFT));

    // The full-screen window lets go of the right button directly, mouse or not; the windowed
    // one only through the mouse.
    bzgMouseDevice->buttons = BZ_MOUSE_BUTTON_RIGHT;
    bzgKeyboardDevice->keyState[BZ_KEY_MOUSE_RIGHT] = BZ_KEY_STATE_DOWN;
    PushButton(SDL_BUTTON_RIGHT, false);
    PDProcessMessages();
    EXPECT_EQ(bzgMouseDevice->buttons, bzgWindowed ? uint32_t{BZ_MOUSE_BUTTON_RIGHT} : 0u);
    EXPECT_EQ(KeyDown(BZ_KEY_MOUSE_RIGHT), bzgWindowed != 0);
}

TEST_P(WindowTest, WheelNotchesAddUp)
{
    Open();
    PushWheel(1);
    PushWheel(1);
    PushWheel(3);
    PDProcessMessages();
    EXPECT_EQ(bzgMouseDevice->wheel, 5);
    PushWheel(-2);
    PushWheel(1, true);
    PDProcessMessages();
    EXPECT_EQ(bzgMouseDevice->wheel, 2);
    // A delta of 60 is half a notch: nothing.
    bz_SendWindowMessage(0, PD_MSG_WHEEL, static_cast<uintptr_t>(60) << 16);
    EXPECT_EQ(bzgMouseDevice->wheel, 2);
}

// Runs one pump while the window is in the background for about the given time.
uint32_t PumpInBackgroundFor(uint32_t milliseconds, int32_t *reactivated)
{
    SDL_Event lost{};
    lost.type = SDL_WINDOWEVENT;
    lost.window.event = SDL_WINDOWEVENT_FOCUS_LOST;
    SDL_PushEvent(&lost);
    std::thread comeBack(
        [milliseconds]
        {
            std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
            SDL_Event gained{};
            gained.type = SDL_WINDOWEVENT;
            gained.window.event = SDL_WINDOWEVENT_FOCUS_GAINED;
            SDL_PushEvent(&gained);
        });
    auto start = std::chrono::steady_clock::now();
    *reactivated = PDProcessMessages();
    auto took = std::chrono::steady_clock::now() - start;
    comeBack.join();
    return static_cast<uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(took).count());
}

TEST_P(WindowTest, TwoSecondsInTheBackgroundAreLostTime)
{
    Open();
    int32_t reactivated = 0;
    uint32_t took = PumpInBackgroundFor(2000, &reactivated);
    // The pump waited for the window to come back.
    EXPECT_GE(took, 1900u);
    EXPECT_EQ(reactivated, 1);
    EXPECT_GE(bzgLostTime, 1900u);
    EXPECT_LE(bzgLostTime, took + 50);
}

TEST_P(WindowTest, ShortWaitIsNotLostTime)
{
    Open();
    int32_t reactivated = 0;
    uint32_t took = PumpInBackgroundFor(400, &reactivated);
    EXPECT_GE(took, 350u);
    EXPECT_EQ(reactivated, 1);
    EXPECT_EQ(bzgLostTime, 0u);
}

TEST_P(WindowTest, InactivePumpReturnsWhenItsWaitEnds)
{
    Open();
    PDSetMessageWaitLimit(100);
    PushWindowEvent(SDL_WINDOWEVENT_FOCUS_LOST);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(PDProcessMessages(), 0);
    auto took = std::chrono::steady_clock::now() - start;
    EXPECT_FALSE(PDIsWindowActive());
    EXPECT_GE(took, std::chrono::milliseconds(90));
    EXPECT_LT(took, std::chrono::milliseconds(2000));
}

TEST_P(WindowTest, CloseDestroysTheWindowAndThePumpNoLongerWaits)
{
    Open();
    PushWindowEvent(SDL_WINDOWEVENT_FOCUS_LOST);
    PushWindowEvent(SDL_WINDOWEVENT_CLOSE);
    auto start = std::chrono::steady_clock::now();
    PDProcessMessages();
    EXPECT_FALSE(PDWindowExists());
    EXPECT_EQ(bzgWindow, nullptr);
    EXPECT_TRUE(PDWasQuitPosted());
    // Inactive and without a window: nothing to wait for.
    PDProcessMessages();
    auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, std::chrono::milliseconds(1000));
    EXPECT_EQ(bz_SendWindowMessage(0, PD_MSG_KEY_DOWN, 0x41), 0);
    EXPECT_FALSE(KeyDown(BZ_KEY_A));
}

TEST_P(WindowTest, SentMessagesReachTheProcedure)
{
    Open();
    bz_SendWindowMessage(1, PD_MSG_KEY_DOWN, 0x41);
    EXPECT_TRUE(KeyDown(BZ_KEY_A));
    bz_SendWindowMessage(1, PD_MSG_KEY_UP, 0x41);
    EXPECT_FALSE(KeyDown(BZ_KEY_A));
    // An extended Return is the keypad's Enter.
    bz_SendWindowMessage(static_cast<intptr_t>(BZ_KEYMSG_EXTENDED), PD_MSG_KEY_DOWN,
                         BZ_VKEY_RETURN);
    EXPECT_TRUE(KeyDown(BZ_KEY_NUMPAD_ENTER));
    EXPECT_FALSE(KeyDown(BZ_KEY_RETURN));
    // A key the keyboard does not know changes nothing.
    bz_SendWindowMessage(1, PD_MSG_KEY_DOWN, 0xFF);
    int32_t held = 0;
    for (int32_t k = 0; k < BZ_KEY_COUNT; ++k)
        held += KeyDown(k);
    EXPECT_EQ(held, 1);
    // Without a keyboard device key messages go nowhere.
    bz_Keyboard_Destroy();
    bz_SendWindowMessage(1, PD_MSG_KEY_DOWN, 0x41);
    EXPECT_EQ(bzgKeyboardDevice, nullptr);
}

TEST_P(WindowTest, ClipboardIsTheWindowSystems)
{
    EXPECT_EQ(PDSetClipboardText("before"), 0);
    Open();
    EXPECT_EQ(PDSetClipboardText(nullptr), 0);
    EXPECT_EQ(PDSetClipboardText("M34 1 0 0"), 1);
    char *text = SDL_GetClipboardText();
    EXPECT_STREQ(text, "M34 1 0 0");
    SDL_free(text);
    PDShutdownWindow();
    EXPECT_EQ(PDSetClipboardText("after"), 0);
}

using WindowedTest = WindowTest;
INSTANTIATE_TEST_SUITE_P(Windowed, WindowedTest, ::testing::Values(1));

TEST_P(WindowedTest, KeepActiveHoldsTheWindowActive)
{
    Open();
    PDSetKeepActive(1);
    PDSetMessageWaitLimit(3000);
    PushWindowEvent(SDL_WINDOWEVENT_FOCUS_LOST);
    auto start = std::chrono::steady_clock::now();
    PDProcessMessages();
    EXPECT_TRUE(PDIsWindowActive());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1000));
}

int32_t gHookCalls;
uint32_t gHookLastMessage;

intptr_t ClosingHook(uint32_t message, uintptr_t wParam, intptr_t)
{
    ++gHookCalls;
    gHookLastMessage = message;
    // Asks for the system's handling of Alt+F4 as well.
    return message == PD_MSG_SYS_KEY_DOWN && wParam == BZ_VKEY_F4;
}

TEST_P(WindowedTest, ApplicationHookSeesEveryMessageAndCanAskForTheSystemsHandling)
{
    Open();
    PDSetApplicationHook(ClosingHook);
    gHookCalls = 0;
    PushKey(SDL_SCANCODE_A, true);
    PDProcessMessages();
    EXPECT_EQ(gHookCalls, 1);
    EXPECT_EQ(gHookLastMessage, uint32_t{PD_MSG_KEY_DOWN});
    EXPECT_TRUE(KeyDown(BZ_KEY_A));
    EXPECT_TRUE(PDWindowExists());

    PushKey(SDL_SCANCODE_F4, true, KMOD_LALT);
    PDProcessMessages();
    // The key is taken, and the system's handling closes the window.
    EXPECT_TRUE(KeyDown(BZ_KEY_F4));
    EXPECT_FALSE(PDWindowExists());
    EXPECT_TRUE(PDWasQuitPosted());
}

TEST_P(WindowedTest, AfterAFatalErrorOnlyTheDestroyIsHandled)
{
    Open();
    bzgFatalErrorHappened = 1;
    PushKey(SDL_SCANCODE_A, true);
    PushButton(SDL_BUTTON_LEFT, true);
    PDProcessMessages();
    EXPECT_FALSE(KeyDown(BZ_KEY_A));
    EXPECT_EQ(bzgMouseDevice->buttons, 0u);
    PDDestroyWindow();
    EXPECT_TRUE(PDWasQuitPosted());
    bzgFatalErrorHappened = 0;
}

TEST(WindowPlacement, CentresOnTheDesktop)
{
    ScopedEnvironment environment{"SDL_VIDEODRIVER"};
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    NoSessionBusLaunch();
    int32_t left = -1;
    int32_t top = -1;
    // No display mode to read yet.
    PDCentreOnDesktop(640, 480, &left, &top);
    EXPECT_EQ(left, 10);
    EXPECT_EQ(top, 10);

    bzgWindowed = 1;
    ASSERT_EQ(PDCreateWindow(320, 200), 0) << SDL_GetError();
    SDL_DisplayMode mode;
    ASSERT_EQ(SDL_GetCurrentDisplayMode(0, &mode), 0);
    PDCentreOnDesktop(640, 480, &left, &top);
    EXPECT_EQ(left, (mode.w - 640) / 2);
    EXPECT_EQ(top, (mode.h - 480) / 2);
    // Larger than the desktop: its corner stays on the screen.
    PDCentreOnDesktop(mode.w + 100, 100, &left, &top);
    EXPECT_EQ(left, 0);
    EXPECT_EQ(top, (mode.h - 100) / 2);

    PDSetWindowPos(400, 300);
    int w = 0;
    int h = 0;
    SDL_GetWindowSize(static_cast<SDL_Window *>(bzgWindow), &w, &h);
    EXPECT_EQ(w, 400);
    EXPECT_EQ(h, 300);
    EXPECT_TRUE(SDL_GetWindowFlags(static_cast<SDL_Window *>(bzgWindow)) & SDL_WINDOW_SHOWN);
    PDShutdownWindow();
}

constexpr int32_t kTabKey = 15; // the key code of Tab

// Starts the hook thread and waits (bounded) until it runs.
std::thread StartHook()
{
    std::thread hook(PDAltTabHookThread, nullptr);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!PDAltTabHookRunning() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return hook;
}

TEST(WindowAltTabHook, ProcedureSwallowsOnlyAltTabGoingDown)
{
    const struct
    {
        int32_t code;
        uint32_t kind, key, flags;
        intptr_t result;
    } cases[] = {
        {0, PD_MSG_SYS_KEY_DOWN, 9, 0x20, 1},
        {0, PD_MSG_SYS_KEY_DOWN, 9, 0x21, 1},    // other flags beside Alt
        {0, PD_MSG_SYS_KEY_DOWN, 9, 0x00, 0},    // no Alt
        {0, PD_MSG_SYS_KEY_UP, 9, 0x20, 0},      // Tab going up
        {0, PD_MSG_KEY_DOWN, 9, 0x20, 0},        // not a system key
        {0, PD_MSG_SYS_KEY_DOWN, 0x73, 0x20, 0}, // Alt+F4
        {0, PD_MSG_SYS_KEY_DOWN, 0x12, 0x20, 0}, // Alt itself
        {1, PD_MSG_SYS_KEY_DOWN, 9, 0x20, 0},    // not the action code
        {-1, PD_MSG_SYS_KEY_DOWN, 9, 0x20, 0},
    };
    for (const auto &c : cases)
        EXPECT_EQ(PDAltTabHookProc(c.code, c.kind, c.key, c.flags), c.result)
            << c.code << " " << c.kind << " " << c.key << " " << c.flags;
}

TEST(WindowAltTabHook, OneThreadHoldsTheHookUntilItsStop)
{
    EXPECT_FALSE(PDAltTabHookRunning());
    std::thread hook = StartHook();
    EXPECT_TRUE(PDAltTabHookRunning());
    // A second hook cannot be installed: its thread stops at once, the first keeps running.
    EXPECT_EQ(PDAltTabHookThread(nullptr), 1u);
    EXPECT_TRUE(PDAltTabHookRunning());
    PDAltTabHookStop();
    hook.join();
    EXPECT_FALSE(PDAltTabHookRunning());
    // Once removed, the hook can be installed again.
    std::thread again = StartHook();
    EXPECT_TRUE(PDAltTabHookRunning());
    PDAltTabHookStop();
    again.join();
    EXPECT_FALSE(PDAltTabHookRunning());
}

// While the hook runs, Alt+Tab going down reaches neither the procedure nor the keyboard; other
// keys, and Alt+Tab once the hook is stopped, go on as ever.
TEST_P(WindowTest, InstalledHookKeepsAltTabFromTheProgram)
{
    Open();
    std::thread hook = StartHook();
    ASSERT_TRUE(PDAltTabHookRunning());
    PushKey(SDL_SCANCODE_LALT, true, KMOD_LALT);
    PushKey(SDL_SCANCODE_TAB, true, KMOD_LALT);
    PDProcessMessages();
    EXPECT_TRUE(KeyDown(BZ_KEY_LEFT_ALT));
    EXPECT_FALSE(KeyDown(kTabKey));
    PushKey(SDL_SCANCODE_TAB, false, KMOD_LALT);
    PushKey(SDL_SCANCODE_LALT, false);
    PDProcessMessages();
    EXPECT_FALSE(KeyDown(BZ_KEY_LEFT_ALT));
    // Tab alone, and other Alt combinations, still reach the keyboard.
    PushKey(SDL_SCANCODE_TAB, true);
    PDProcessMessages();
    EXPECT_TRUE(KeyDown(kTabKey));
    PushKey(SDL_SCANCODE_TAB, false);
    PushKey(SDL_SCANCODE_F4, true, KMOD_LALT);
    PDProcessMessages();
    EXPECT_FALSE(KeyDown(kTabKey));
    EXPECT_TRUE(KeyDown(BZ_KEY_F4));
    PushKey(SDL_SCANCODE_F4, false, KMOD_LALT);
    PDProcessMessages();

    PDAltTabHookStop();
    hook.join();
    PushKey(SDL_SCANCODE_LALT, true, KMOD_LALT);
    PushKey(SDL_SCANCODE_TAB, true, KMOD_LALT);
    PDProcessMessages();
    EXPECT_TRUE(KeyDown(kTabKey));
    PushKey(SDL_SCANCODE_TAB, false, KMOD_LALT);
    PushKey(SDL_SCANCODE_LALT, false);
    PDProcessMessages();
    EXPECT_FALSE(KeyDown(kTabKey));
}

void CheckedShutdown()
{
    int32_t held = 0;
    for (int32_t k = 0; k < BZ_KEY_COUNT; ++k)
        held += (bzgKeyboardDevice->keyState[k] & BZ_KEY_STATE_DOWN) != 0;
    std::fprintf(stderr, "shutdown: window %d quit %d keys held %d cursor %d\n", PDWindowExists(),
                 PDWasQuitPosted(), held, SDL_ShowCursor(SDL_QUERY) == SDL_ENABLE);
}

TEST(WindowFatalExit, WindowGoesAndKeysAreReleasedBeforeTheMessage)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    NoSessionBusLaunch();
    auto run = []
    {
        bz_Keyboard_Create();
        bz_Mouse_Create();
        bzgWindowed = 1;
        if (PDCreateWindow(320, 200) != 0)
            std::exit(5);
        PDProcessMessages();
        bz_SendWindowMessage(1, PD_MSG_KEY_DOWN, 0x41);
        bz_SetShutdownFunction(CheckedShutdown);
        bzgNoFatalExit = 0;
        bzgErrorFile = nullptr;
        bz_ReportError("Fatal caption", "Fatal text %d", 5);
    };
    EXPECT_EXIT(run(), ::testing::ExitedWithCode(1),
                "Fatal caption\nFatal text 5\n.*shutdown: window 0 quit 1 keys held 0 cursor 1");
}
} // namespace
