#include "backends/gl/GlLines.h"

#include "backends/gl/GlStageState.h"
#include "device/RenderTable.h"

#include <GL/gl.h>

#include <cstring>

void OGL_SetupLineDrawing(uint32_t colour)
{
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
    glDisableClientState(GL_VERTEX_ARRAY);
    glDepthFunc(GL_LESS);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    OGL_SetStageState(BZ_OGL_STAGE_LIGHTING, 0);
    glColor4ub(static_cast<GLubyte>(colour >> 16), static_cast<GLubyte>(colour >> 8),
               static_cast<GLubyte>(colour), static_cast<GLubyte>(colour >> 24));
}

int32_t OGL_DrawPolyline(const void *points, int32_t n)
{
    if (!points || n < 1)
        return 0;
    const auto *bytes = static_cast<const uint8_t *>(points);
    auto vertex = [bytes](int32_t i)
    {
        float p[3];
        std::memcpy(p, bytes + static_cast<size_t>(i) * BZ_LINE_VERTEX_SIZE, sizeof p);
        glVertex3f(p[0], p[1], p[2]);
    };
    glBegin(GL_LINE_STRIP);
    for (int32_t i = 0; i < n; i += 2)
        vertex(i);
    // The record before the next even index, which for an odd count would be one past the
    // last point: the last point then (already drawn, so the strip just ends there).
    int32_t last = 2 * ((n + 1) / 2) - 1;
    if (last > n - 1)
        last = n - 1;
    vertex(last);
    glEnd();
    return 0;
}
