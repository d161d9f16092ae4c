#include "backends/gl/GlFaceListDebug.h"

#include "backends/gl/GlDisplay.h"
#include "core/Error.h"
#include "maths/Matrix.h"
#include "scene/Lump.h"

#include <GL/gl.h>

namespace
{
constexpr float kByteToUnit = 0.003921569f; // 1/255

const bzCamera *CameraOf(const bzViewport *viewport)
{
    if (!viewport->camera || viewport->camera->type != BZ_LUMP_TYPE_CAMERA)
        return nullptr;
    return static_cast<const bzCamera *>(viewport->camera->object);
}

// The camera's view and projection and the viewport's rectangle, as the scene drawing sets them
// up: the model-view matrix takes the world into the camera's frame (the identity without a
// camera), and a viewport without a camera gets the identity projection.
void Begin(bzViewport *viewport)
{
    bzM34 view = *bz_M34_Identity();
    if (viewport->camera)
        bz_InverseM34Into(bz_Lump_GetMatrix(viewport->camera), &view);
    bzM44 m;
    bz_M34ToM44(&m, &view);
    // Row vectors times a row-major matrix are column vectors times the same memory read
    // column-major: the matrix loads as it stands.
    glMatrixMode(GL_MODELVIEW);
    glLoadMatrixf(&m.row[0].x);

    const float aspect =
        viewport->height != 0 ? static_cast<float>(viewport->width) / viewport->height : 1.0f;
    const bzCamera *camera = CameraOf(viewport);
    if (camera && camera->perspective)
        bz_DynDebug_SetProjection(camera->fieldOfView, aspect, viewport->nearClip,
                                  viewport->farClip);
    else
    {
        float projection[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
        if (camera)
            OGL_OrthographicMatrix(projection, camera->orthoWidth, camera->orthoHeight,
                                   viewport->nearClip, viewport->farClip);
        glMatrixMode(GL_PROJECTION);
        glLoadMatrixf(projection);
        glMatrixMode(GL_MODELVIEW);
    }
    // The viewport's y is measured from the display's top, OpenGL's from its bottom.
    glViewport(viewport->x, bzgOGLDisplay.screenHeight - viewport->y - viewport->height,
               viewport->width, viewport->height);
}

// White, no model-view transform and the whole display again.
void Restore()
{
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    glLoadIdentity();
    glViewport(0, 0, bzgOGLDisplay.screenWidth, bzgOGLDisplay.screenHeight);
}
} // namespace

void bz_DynDebug_SetProjection(float fieldOfView, float aspect, float nearClip, float farClip)
{
    float projection[16];
    OGL_PerspectiveMatrix(projection, fieldOfView, aspect, nearClip, farClip);
    glMatrixMode(GL_PROJECTION);
    glLoadMatrixf(projection);
    glMatrixMode(GL_MODELVIEW);
}

int32_t bz_DynDebug_DrawFaceList(bzColour colour, bzViewport *viewport, const bzDynFaceList *list)
{
    if (!viewport)
        return bzgLastError = BZ_ERROR_INVALID_PARAMETER;
    glColor4f(static_cast<float>((colour >> 16) & 0xFF) * kByteToUnit,
              static_cast<float>((colour >> 8) & 0xFF) * kByteToUnit,
              static_cast<float>(colour & 0xFF) * kByteToUnit,
              static_cast<float>((colour >> 24) & 0xFF) * kByteToUnit);
    Begin(viewport);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDepthFunc(GL_LEQUAL);
    const int32_t count = list && list->entries ? list->count : 0;
    glBegin(GL_TRIANGLES);
    for (int32_t i = 0; i < count; i++)
        if (const bzDynFaceHit *face = bz_DynFaceList_Entry(list, i))
            for (const bzV3 &corner : face->vertices)
                glVertex3fv(corner.v);
    glEnd();
    Restore();
    return 0;
}

int32_t bz_DynDebug_DrawVertexList(bzViewport *viewport, const bzDynVertexList *list, float size)
{
    if (!viewport)
        return bzgLastError = BZ_ERROR_INVALID_PARAMETER;
    Begin(viewport);
    const int32_t count = list && list->entries ? list->count : 0;
    glBegin(GL_TRIANGLES);
    for (int32_t i = 0; i < count; i++)
    {
        const bzV3 &p = list->entries[i].position;
        glVertex3f(p.x, p.y, p.z);
        glVertex3f(p.x + size, p.y, p.z);
        glVertex3f(p.x, p.y + size, p.z);
    }
    glEnd();
    Restore();
    return 0;
}
