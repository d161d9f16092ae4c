#include "backends/gl/GlWindowSystem.h"

#include <GL/gl.h>

namespace
{
const char *CurrentExtensions()
{
    const GLubyte *names = glGetString(GL_EXTENSIONS);
    return names ? reinterpret_cast<const char *>(names) : "";
}

constexpr bzOGLWindowSystem kPlatform = {
    PDGLChoosePixelFormat, PDGLDescribePixelFormat,
    PDGLCreateContext,     PDGLMakeCurrent,
    PDGLDeleteContext,     PDGLSetSwapInterval,
    PDGLSwapBuffers,       PDGLGetWindowSystemExtensions,
    PDGLGetProcAddress,    CurrentExtensions,
    PDGetDesktopMode,      PDChangeDisplayMode,
};
} // namespace

bzOGLWindowSystem bzgOGLWindowSystem = kPlatform;

void bz_OGL_ResetWindowSystem()
{
    bzgOGLWindowSystem = kPlatform;
}
