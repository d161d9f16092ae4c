#include "pc/PcGL.h"

#include "pc/PcWindow.h"

#include <SDL.h>
#include <SDL_syswm.h>

namespace
{
SDL_Window *EngineWindow()
{
    return static_cast<SDL_Window *>(bzgWindow);
}

int32_t Attribute(SDL_GLattr attr)
{
    int value = 0;
    if (SDL_GL_GetAttribute(attr, &value) != 0)
        return 0;
    return value;
}
} // namespace

int32_t PDGLChoosePixelFormat(const PDGLPixelFormat *request)
{
    if (!request || !request->supportOpenGL || !PDStartWindowSystem())
        return 0;
    PDSetWindowOpenGL(1);
    SDL_GL_ResetAttributes();
    const bool deep = request->colourBits > 16;
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, deep ? 8 : 5);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, deep ? 8 : 6);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, deep ? 8 : 5);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, request->depthBits);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, request->stencilBits);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, request->doubleBuffer ? 1 : 0);
    // Display lists, immediate mode and the fixed-function lights need the compatibility
    // profile.
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
    return 1;
}

int32_t PDGLDescribePixelFormat(PDGLPixelFormat *out)
{
    if (!out || !SDL_GL_GetCurrentContext())
        return 1;
    out->colourBits =
        Attribute(SDL_GL_RED_SIZE) + Attribute(SDL_GL_GREEN_SIZE) + Attribute(SDL_GL_BLUE_SIZE);
    out->depthBits = Attribute(SDL_GL_DEPTH_SIZE);
    out->stencilBits = Attribute(SDL_GL_STENCIL_SIZE);
    out->doubleBuffer = Attribute(SDL_GL_DOUBLEBUFFER);
    out->supportOpenGL = 1;
    return 0;
}

void *PDGLCreateContext()
{
    if (!EngineWindow())
        return nullptr;
    return SDL_GL_CreateContext(EngineWindow());
}

int32_t PDGLMakeCurrent(void *context)
{
    if (!context)
        return SDL_GL_MakeCurrent(EngineWindow(), nullptr) == 0 ? 0 : 1;
    if (!EngineWindow())
        return 1;
    return SDL_GL_MakeCurrent(EngineWindow(), static_cast<SDL_GLContext>(context)) == 0 ? 0 : 1;
}

void PDGLDeleteContext(void *context)
{
    if (context)
        SDL_GL_DeleteContext(static_cast<SDL_GLContext>(context));
}

int32_t PDGLSetSwapInterval(int32_t interval)
{
    return SDL_GL_SetSwapInterval(interval) == 0 ? 0 : 1;
}

void PDGLSwapBuffers()
{
    if (EngineWindow())
        SDL_GL_SwapWindow(EngineWindow());
}

const char *PDGLGetWindowSystemExtensions()
{
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!EngineWindow() || !SDL_GetWindowWMInfo(EngineWindow(), &info) ||
        info.subsystem != SDL_SYSWM_X11)
        return "";
    typedef const char *(*QueryFn)(Display *, int);
    auto query = reinterpret_cast<QueryFn>(SDL_GL_GetProcAddress("glXQueryExtensionsString"));
    if (!query)
        return "";
    const char *names = query(info.info.x11.display, 0);
    return names ? names : "";
}

void *PDGLGetProcAddress(const char *name)
{
    if (!name)
        return nullptr;
    return SDL_GL_GetProcAddress(name);
}

int32_t PDGetDesktopMode(PDDisplayMode *out)
{
    SDL_DisplayMode mode;
    if (!out || !PDStartWindowSystem() || SDL_GetDesktopDisplayMode(0, &mode) != 0)
        return 1;
    out->width = mode.w;
    out->height = mode.h;
    out->bitsPerPixel = static_cast<int32_t>(SDL_BITSPERPIXEL(mode.format));
    out->refreshRate = mode.refresh_rate;
    return 0;
}

int32_t PDChangeDisplayMode(const PDDisplayMode *mode)
{
    PDDisplayMode desktop;
    if (!mode || PDGetDesktopMode(&desktop) != 0)
        return 1;
    if (mode->width != desktop.width || mode->height != desktop.height)
        return 1;
    if (desktop.refreshRate != 0 && mode->refreshRate != desktop.refreshRate)
        return 1;
    return 0;
}
