// A real window on a real X display (the test command provides a virtual one when there is
// none).
#include "pc/PcWindow.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

// The X headers behind the window-system information define macros (None, Bool ...) that
// clash with the test framework's names: they come last.
#include <SDL.h>
#include <SDL_syswm.h>

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

// A shared virtual X server under a full parallel test run can refuse a connection for a
// moment: a few tries, a tenth of a second apart, before the window counts as not made.
int32_t CreateWindowPatiently(int32_t width, int32_t height)
{
    int32_t result = PDCreateWindow(width, height);
    for (int tries = 1; result != 0 && tries < 10; ++tries)
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        result = PDCreateWindow(width, height);
    }
    return result;
}

int gExposed;

int WatchExposure(void *, SDL_Event *e)
{
    if (e->type == SDL_WINDOWEVENT && e->window.event == SDL_WINDOWEVENT_EXPOSED)
        ++gExposed;
    return 0;
}

TEST(WindowSmoke, RealWindowOfTheAskedSizeAppearsAndGoes)
{
    ScopedEnvironment environment{"SDL_VIDEODRIVER"};
    const char *display = std::getenv("DISPLAY");
    if (!display || !*display)
        GTEST_SKIP() << "no X display: DISPLAY is not set (scripts/test.sh runs the tests under "
                        "Xvfb when there is none)";
    // A display was promised: from here on, not reaching it is a failure.
    setenv("SDL_VIDEODRIVER", "x11", 1);
    NoSessionBusLaunch();
    bzgWindowed = 1;
    std::snprintf(bzgWindowTitle, sizeof bzgWindowTitle, "%s", "Tolvane smoke test");
    ASSERT_EQ(CreateWindowPatiently(320, 240), 0)
        << "DISPLAY=" << display << ": " << SDL_GetError();
    auto *window = static_cast<SDL_Window *>(bzgWindow);
    ASSERT_NE(window, nullptr);
    SDL_AddEventWatch(WatchExposure, nullptr);

    // The window appears: the server shows it and asks for its contents.
    PDSetMessageWaitLimit(200);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (gExposed == 0 && std::chrono::steady_clock::now() < deadline)
        PDProcessMessages();
    EXPECT_GT(gExposed, 0);
    EXPECT_TRUE(SDL_GetWindowFlags(window) & SDL_WINDOW_SHOWN);

    int w = 0;
    int h = 0;
    SDL_GetWindowSize(window, &w, &h);
    EXPECT_EQ(w, 320);
    EXPECT_EQ(h, 240);
    EXPECT_STREQ(SDL_GetWindowTitle(window), "Tolvane smoke test");
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    ASSERT_TRUE(SDL_GetWindowWMInfo(window, &info)) << SDL_GetError();
    EXPECT_EQ(info.subsystem, SDL_SYSWM_X11);
    EXPECT_NE(info.info.x11.window, 0u);

    SDL_DelEventWatch(WatchExposure, nullptr);
    PDDestroyWindow();
    EXPECT_FALSE(PDWindowExists());
    EXPECT_TRUE(PDWasQuitPosted());
    PDShutdownWindow();
    EXPECT_FALSE(PDWindowLayerUp());
}

// With the Alt+Tab hook installed the engine window holds the keyboard, so the desktop cannot
// take Alt+Tab first; once the hook is removed the window lets the keyboard go.
TEST(WindowSmoke, AltTabHookHoldsTheKeyboardWhileInstalled)
{
    ScopedEnvironment environment{"SDL_VIDEODRIVER"};
    const char *display = std::getenv("DISPLAY");
    if (!display || !*display)
        GTEST_SKIP() << "no X display: DISPLAY is not set (scripts/test.sh runs the tests under "
                        "Xvfb when there is none)";
    setenv("SDL_VIDEODRIVER", "x11", 1);
    NoSessionBusLaunch();
    bzgWindowed = 0;
    std::snprintf(bzgWindowTitle, sizeof bzgWindowTitle, "%s", "Tolvane hook test");
    ASSERT_EQ(CreateWindowPatiently(320, 240), 0)
        << "DISPLAY=" << display << ": " << SDL_GetError();
    auto *window = static_cast<SDL_Window *>(bzgWindow);
    PDSetMessageWaitLimit(200);
    PDProcessMessages();
    EXPECT_FALSE(SDL_GetWindowKeyboardGrab(window));

    std::thread hook(PDAltTabHookThread, nullptr);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!PDAltTabHookRunning() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_TRUE(PDAltTabHookRunning());
    // The grab is taken by the pump, on the window system's thread.
    deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!SDL_GetWindowKeyboardGrab(window) && std::chrono::steady_clock::now() < deadline)
        PDProcessMessages();
    EXPECT_TRUE(SDL_GetWindowKeyboardGrab(window));
    EXPECT_TRUE(SDL_GetWindowFlags(window) & SDL_WINDOW_KEYBOARD_GRABBED);

    PDAltTabHookStop();
    hook.join();
    PDProcessMessages();
    EXPECT_FALSE(SDL_GetWindowKeyboardGrab(window));
    EXPECT_FALSE(SDL_GetWindowFlags(window) & SDL_WINDOW_KEYBOARD_GRABBED);
    PDShutdownWindow();
    EXPECT_FALSE(PDWindowLayerUp());
}
} // namespace
