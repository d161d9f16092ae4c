#include "backends/gl/GlDisplay.h"

#include "backends/gl/GlExtensions.h"
#include "backends/gl/GlStageState.h"
#include "backends/gl/GlWindowSystem.h"
#include "console/ConsoleServices.h"
#include "core/Clock.h"
#include "core/Error.h"
#include "device/RenderTable.h"
#include "device/ViewportRecord.h"
#include "maths/Matrix.h"
#include "pc/PcHooks.h"
#include "pc/PcWindow.h"
#include "render/ConsoleView.h"
#include "scene/Lump.h"

#include <GL/gl.h>

#include <cmath>
#include <cstring>

bzOGLDisplayState bzgOGLDisplay;

namespace
{
constexpr int32_t kNoFormat = 2; // no pixel format, context or binding
constexpr float kDegreesToRadians = 0.017453292f;

void Normalise(bzV3 *v, float x, float y, float z)
{
    const float length = std::sqrt(x * x + y * y + z * z);
    v->x = x / length;
    v->y = y / length;
    v->z = z / length;
}

// The camera of a viewport, or null.
const bzCamera *CameraOf(const bzViewport *viewport)
{
    if (!viewport->camera || viewport->camera->type != BZ_LUMP_TYPE_CAMERA)
        return nullptr;
    return static_cast<const bzCamera *>(viewport->camera->object);
}

// Makes the context the first time, or takes the window over again for a later set-up.
int32_t BindContext(int32_t width, int32_t height, const PDGLPixelFormat &request)
{
    if (!bzgOGLDisplay.context)
    {
        if (!bzgOGLWindowSystem.choosePixelFormat(&request))
            return kNoFormat;
        if (int32_t code = PDCreateWindow(width, height))
            return code;
        bzgOGLDisplay.context = bzgOGLWindowSystem.createContext();
        if (!bzgOGLDisplay.context)
            return kNoFormat;
        OGL_ResetStageState();
    }
    else if (int32_t code = PDReshapeWindow(width, height))
        return code;
    if (bzgOGLWindowSystem.makeCurrent(bzgOGLDisplay.context) != 0)
        return kNoFormat;
    return 0;
}
} // namespace

int32_t OGL_InitWindow(const bzInitRecord *)
{
    // Engine errors end the program from here on.
    bzgNoFatalExit = 0;
    PDInitTimer();
    return 0;
}

int32_t OGL_SetDisplayMode(int32_t, int32_t width, int32_t height, int32_t, int32_t, float,
                           uint32_t flags, int32_t refreshRate)
{
    // A size the window cannot take is the window's error, before anything changes.
    if (width <= 0 || height <= 0)
        return PD_ERROR_NO_WINDOWS_INTERFACE;
    const bool deep = (flags & BZ_DISPLAY_32BIT) != 0;
    PDGLPixelFormat request = {};
    request.colourBits = deep ? 24 : 16;
    request.depthBits = deep ? 24 : 16;
    request.stencilBits = deep ? 8 : 0;
    request.doubleBuffer = 1;
    request.supportOpenGL = 1;

    // Full screen: the desktop's mode is kept, and a refused change goes on in a window.
    int32_t windowed = (flags & BZ_DISPLAY_FULLSCREEN) ? 0 : 1;
    if (!windowed)
    {
        if (bzgOGLWindowSystem.getDesktopMode(&bzgOGLDisplay.desktop) == 0)
            bzgOGLDisplay.desktopSaved = 1;
        PDDisplayMode mode = {width, height, deep ? 32 : 16, refreshRate};
        if (refreshRate == 0 || refreshRate == 1)
            mode.refreshRate = bzgOGLDisplay.desktopSaved ? bzgOGLDisplay.desktop.refreshRate : 0;
        if (bzgOGLWindowSystem.changeDisplayMode(&mode) != 0)
            windowed = 1;
    }
    bzgWindowed = windowed;
    bzgOGLDisplay.fullScreen = !windowed;

    if (int32_t code = BindContext(width, height, request))
        return code;
    PDGLPixelFormat given = {};
    if (bzgOGLWindowSystem.describePixelFormat(&given) != 0 || !given.supportOpenGL)
        return kNoFormat;
    if (given.stencilBits != 0)
        bzgOGLCaps |= BZ_OGL_CAP_STENCIL;
    else
        bzgOGLCaps &= ~BZ_OGL_CAP_STENCIL;

    // Presentation does not wait for the vertical retrace.
    const char *windowSystem = bzgOGLWindowSystem.windowSystemExtensions();
    if (windowSystem && std::strstr(windowSystem, PD_GL_SWAP_CONTROL_EXTENSION))
        bzgOGLWindowSystem.setSwapInterval(0);

    bz_OGLExtentions();

    bzgOGLDisplay.renderWidth = bzgOGLDisplay.screenWidth = width;
    bzgOGLDisplay.renderHeight = bzgOGLDisplay.screenHeight = height;
    bzgOGLDisplay.halfWidth = width / 2;
    bzgOGLDisplay.halfHeight = height / 2;
    bzgOGLDisplay.scale = 1.0f;
    bzgOGLDisplay.ready = 1;
    bzgScreenSize.width = width;
    bzgScreenSize.height = height;
    bzgScreenSize.halfWidth = width / 2;
    PDProcessMessages();
    if (bzgRenderTable.PDClearScreen)
        bzgRenderTable.PDClearScreen(1, 3);
    else
        OGL_ClearScreen(1, 3);
    bz_Console_Layout();
    return 0;
}

void OGL_ClearScreen(int32_t present, int32_t)
{
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    if (!present)
        return;
    bz_Timer_FrameUpdate();
    if (bzgRenderTable.PDShowFrame)
        bzgRenderTable.PDShowFrame();
    else
        OGL_ShowFrame();
    // The other buffer.
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

void OGL_ShowFrame()
{
    bzgOGLWindowSystem.swapBuffers();
    while (PDProcessMessages())
    {
    }
}

int32_t OGL_SetViewport(bzViewport *viewport)
{
    if (!viewport)
        return 0;
    glViewport(viewport->x, bzgOGLDisplay.screenHeight - viewport->y - viewport->height,
               viewport->width, viewport->height);
    return 0;
}

int32_t OGL_ClearViewport(bzViewport *viewport)
{
    if (!viewport)
        return 0;
    const float red = viewport->background[0] / 255.0f;
    const float green = viewport->background[1] / 255.0f;
    const float blue = viewport->background[2] / 255.0f;
    if (viewport->x == 0 && viewport->y == 0 && viewport->width == bzgOGLDisplay.screenWidth &&
        viewport->height == bzgOGLDisplay.screenHeight)
    {
        GLbitfield mask = 0;
        if (viewport->flags & BZ_VIEWPORT_CLEAR_COLOUR)
        {
            glClearColor(red, green, blue, 1.0f);
            mask |= GL_COLOR_BUFFER_BIT;
        }
        if (viewport->flags & BZ_VIEWPORT_CLEAR_DEPTH)
        {
            mask |= GL_DEPTH_BUFFER_BIT;
            if (bzgOGLCaps & BZ_OGL_CAP_STENCIL)
                mask |= GL_STENCIL_BUFFER_BIT;
        }
        if (mask)
            glClear(mask);
        return 0;
    }
    // A part of the screen: filled with its background colour at the far depth, whatever
    // its flags.
    OGL_SetViewport(viewport);
    OGL_SetStageState(BZ_OGL_STAGE_LIGHTING, 0);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glColor4f(red, green, blue, 1.0f);
    glDepthFunc(GL_ALWAYS);
    glBegin(GL_QUADS);
    glVertex3f(1.0f, -1.0f, 1.0f);
    glVertex3f(-1.0f, -1.0f, 1.0f);
    glVertex3f(-1.0f, 1.0f, 1.0f);
    glVertex3f(1.0f, 1.0f, 1.0f);
    glEnd();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glDepthFunc(GL_LESS);
    return 0;
}

void OGL_PerspectiveMatrix(float m[16], float fieldOfView, float aspect, float nearClip,
                           float farClip)
{
    for (int i = 0; i < 16; ++i)
        m[i] = 0.0f;
    const float c = 1.0f / std::tan(fieldOfView * kDegreesToRadians);
    m[0] = c;
    m[5] = aspect * c;
    m[10] = (nearClip + farClip) / (farClip - nearClip);
    m[11] = 1.0f;
    m[14] = -2.0f * nearClip * farClip / (farClip - nearClip);
}

void OGL_OrthographicMatrix(float m[16], float width, float height, float nearClip, float farClip)
{
    for (int i = 0; i < 16; ++i)
        m[i] = 0.0f;
    m[0] = 2.0f / width;
    m[5] = 2.0f / height;
    m[10] = 2.0f / (farClip - nearClip);
    // Near maps to -1 and far to +1, as in the perspective matrix.
    m[14] = -(farClip + nearClip) / (farClip - nearClip);
    m[15] = 1.0f;
}

void OGL_SetProjection(bzViewport *viewport)
{
    if (!viewport)
        return;
    float m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    const float aspect =
        viewport->height != 0 ? static_cast<float>(viewport->width) / viewport->height : 1.0f;
    const bzCamera *camera = CameraOf(viewport);
    // A viewport without a camera gets the identity projection.
    if (camera && camera->perspective)
    {
        const float fov = camera->fieldOfView;
        if (fov != viewport->cachedFieldOfView || aspect != viewport->cachedAspect)
        {
            const float t = std::tan(fov * kDegreesToRadians);
            viewport->tangent = t;
            viewport->cotangent = 1.0f / t;
            Normalise(&viewport->sideX, t, 0.0f, 1.0f);
            Normalise(&viewport->sideY, 0.0f, t / aspect, 1.0f);
            viewport->cachedFieldOfView = fov;
            viewport->cachedAspect = aspect;
        }
        OGL_PerspectiveMatrix(m, fov, aspect, viewport->nearClip, viewport->farClip);
    }
    else if (camera)
        OGL_OrthographicMatrix(m, camera->orthoWidth, camera->orthoHeight, viewport->nearClip,
                               viewport->farClip);
    for (int row = 0; row < 4; ++row)
    {
        viewport->projection.row[row].x = m[row * 4 + 0];
        viewport->projection.row[row].y = m[row * 4 + 1];
        viewport->projection.row[row].z = m[row * 4 + 2];
        viewport->projection.row[row].w = m[row * 4 + 3];
    }
    glMatrixMode(GL_PROJECTION);
    glLoadMatrixf(m);
    glMatrixMode(GL_MODELVIEW);
    glDepthMask(GL_TRUE);
    glEnable(GL_DEPTH_TEST);
}

void OGL_SetWorldMatrix(const bzM34 *matrix, bzViewport *)
{
    if (!matrix)
        return;
    bzM44 m;
    bz_M34ToM44(&m, matrix);
    // Row vectors times a row-major matrix are column vectors times the same memory read
    // column-major: the matrix loads as it stands.
    glLoadMatrixf(&m.row[0].x);
}

void OGL_SetAmbientLight(uint32_t colour)
{
    const float ambient[4] = {((colour >> 16) & 0xFF) / 255.0f, ((colour >> 8) & 0xFF) / 255.0f,
                              (colour & 0xFF) / 255.0f, 0.0f};
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, ambient);
}

const char *OGL_GetDriverName()
{
    return "OpenGL";
}

void OGL_ShutdownDisplay()
{
    if (bzgOGLDisplay.context)
    {
        bzgOGLWindowSystem.makeCurrent(nullptr);
        bzgOGLWindowSystem.deleteContext(bzgOGLDisplay.context);
        bzgOGLDisplay.context = nullptr;
    }
    bz_OGL_UnbindEntryPoints();
    PDDestroyWindow();
    // The desktop's own mode was never changed: the saved copy is only forgotten.
    bzgOGLDisplay.desktopSaved = 0;
    bzgOGLDisplay.fullScreen = 0;
    bzgOGLDisplay.ready = 0;
}

void OGL_SwapColourBytes(uint32_t *colour)
{
    if (!colour)
        return;
    const uint32_t c = *colour;
    *colour = (c & 0xFF00FF00u) | ((c & 0xFF) << 16) | ((c >> 16) & 0xFF);
}
