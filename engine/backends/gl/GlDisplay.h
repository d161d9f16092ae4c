// The display side of the OpenGL back end: the window's pixel format and rendering context,
// the full-screen change, the swap interval, presentation of a frame, screen and viewport
// clearing, the viewport rectangle, the projection and world matrices, the ambient light and
// shut-down. One context lives from the first display set-up to shut-down: a later set-up
// (a new size, full screen or windowed) reshapes the same window and keeps the context, so
// that textures and display lists made under it stay valid.
#pragma once

#include "pc/PcGL.h"

#include <cstdint>

struct bzViewport;
struct bzM34;
struct bzInitRecord;

// The display state of the back end, shared with the rest of the renderer.
struct bzOGLDisplayState
{
    int32_t renderWidth; // the render size
    int32_t renderHeight;
    int32_t screenWidth; // the display size
    int32_t screenHeight;
    int32_t halfWidth; // halves rounded toward zero
    int32_t halfHeight;
    float scale;
    int32_t ready; // 1 once a display was set up
    void *context; // the rendering context, or null
    int32_t fullScreen;
    PDDisplayMode desktop; // the desktop's mode taken before a full-screen change
    int32_t desktopSaved;
};

extern bzOGLDisplayState bzgOGLDisplay;

// Slots of the renderer table (see device/RenderTable.h for their contracts).
int32_t OGL_InitWindow(const bzInitRecord *record);
// Returns 0, the window's error, or 2 when no pixel format, context or binding can be had.
int32_t OGL_SetDisplayMode(int32_t adapter, int32_t width, int32_t height, int32_t viewWidth,
                           int32_t viewHeight, float aspect, uint32_t flags, int32_t refreshRate);
void OGL_ClearScreen(int32_t present, int32_t count);
void OGL_ShowFrame();
int32_t OGL_SetViewport(bzViewport *viewport);
int32_t OGL_ClearViewport(bzViewport *viewport);
void OGL_SetProjection(bzViewport *viewport);
void OGL_SetWorldMatrix(const bzM34 *matrix, bzViewport *viewport);
void OGL_SetAmbientLight(uint32_t colour);
const char *OGL_GetDriverName();
void OGL_ShutdownDisplay();
void OGL_SwapColourBytes(uint32_t *colour);

// The column-major projection matrix of a perspective camera (field of view in degrees,
// the half-angle across) and of an orthographic one (width and height in world units).
void OGL_PerspectiveMatrix(float out[16], float fieldOfView, float aspect, float nearClip,
                           float farClip);
void OGL_OrthographicMatrix(float out[16], float width, float height, float nearClip,
                            float farClip);
