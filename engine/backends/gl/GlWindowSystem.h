// The window-system calls of the OpenGL back end, as one table of functions. It starts filled
// with the platform layer's (pc/PcGL.h); a program that must stand in for a window system
// (a test that fakes the format it was given or the extension list) replaces single entries
// and puts them back with bz_OGL_ResetWindowSystem.
#pragma once

#include "pc/PcGL.h"

#include <cstdint>

struct bzOGLWindowSystem
{
    int32_t (*choosePixelFormat)(const PDGLPixelFormat *request);
    int32_t (*describePixelFormat)(PDGLPixelFormat *out);
    void *(*createContext)();
    int32_t (*makeCurrent)(void *context);
    void (*deleteContext)(void *context);
    int32_t (*setSwapInterval)(int32_t interval);
    void (*swapBuffers)();
    const char *(*windowSystemExtensions)();
    void *(*getProcAddress)(const char *name);
    // The OpenGL extension names of the current context, blank-separated.
    const char *(*extensions)();
    int32_t (*getDesktopMode)(PDDisplayMode *out);
    int32_t (*changeDisplayMode)(const PDDisplayMode *mode);
};

extern bzOGLWindowSystem bzgOGLWindowSystem;

// Puts the platform layer's functions back into every entry.
void bz_OGL_ResetWindowSystem();
