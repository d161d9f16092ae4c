// The window system's side of OpenGL: the pixel format of the engine window, the rendering
// context (create, make current, delete), the swap interval, buffer swaps, the window
// system's extension list, entry-point look-up, and the desktop's display mode with the
// full-screen change. The OpenGL back end reaches the window system only through these.
//
// The pixel format is asked for before the window is made (PDGLChoosePixelFormat, then
// PDCreateWindow): the window system fixes a window's format when it makes it.
#pragma once

#include <cstdint>

// A pixel format: asked for, or as the window system gave it.
struct PDGLPixelFormat
{
    int32_t colourBits; // red + green + blue
    int32_t depthBits;
    int32_t stencilBits;
    int32_t doubleBuffer;  // 1 = two buffers
    int32_t supportOpenGL; // 1 = an OpenGL context can draw into it
};

// The window system's extension that lets a program set the swap interval.
constexpr const char *PD_GL_SWAP_CONTROL_EXTENSION = "GLX_EXT_swap_control";

// Starts the window system and asks for a compatibility-profile OpenGL context of this
// format on the windows made from now on. 1 (a format was chosen), or 0.
int32_t PDGLChoosePixelFormat(const PDGLPixelFormat *request);
// The format of the current context's window; 0, or 1 when there is no current context.
int32_t PDGLDescribePixelFormat(PDGLPixelFormat *out);
// A new context on the engine window, or null.
void *PDGLCreateContext();
// Makes context current on the engine window (null: no context current). 0, or 1 on failure.
int32_t PDGLMakeCurrent(void *context);
void PDGLDeleteContext(void *context);
// 0, or 1 when the interval cannot be set.
int32_t PDGLSetSwapInterval(int32_t interval);
// Shows the back buffer of the engine window.
void PDGLSwapBuffers();
// The window system's extension names, blank-separated ("" when they cannot be had).
const char *PDGLGetWindowSystemExtensions();
// An OpenGL entry point by name, or null.
void *PDGLGetProcAddress(const char *name);

// A display mode of the desktop.
struct PDDisplayMode
{
    int32_t width;
    int32_t height;
    int32_t bitsPerPixel;
    int32_t refreshRate; // Hz; 0 when the window system does not say
};

// The desktop's current mode: 0, or 1 when it cannot be read.
int32_t PDGetDesktopMode(PDDisplayMode *out);
// The full-screen change. The engine's full screen is a borderless window over the whole
// desktop, which keeps its own mode: a request for the desktop's size (and its rate, when the
// desktop names one) succeeds (0); any other is refused (1) and the caller stays windowed.
int32_t PDChangeDisplayMode(const PDDisplayMode *mode);
