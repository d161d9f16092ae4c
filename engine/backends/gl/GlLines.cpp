#include "backends/gl/GlLines.h"

#include "backends/gl/GlExtensions.h"
#include "backends/gl/GlStageState.h"
#include "core/Memory.h"
#include "device/RenderTable.h"
#include "render/DebugDraw.h"

#include <GL/gl.h>

#include <cstring>

namespace
{
constexpr int32_t kTempStack = 1;
// The colour count of the vertex-format word.
constexpr uint32_t kColourBits = 0xC00;

// The reserved line vertices and how many they are.
uint8_t *gLineBlock = nullptr;
int32_t gLineCount = 0;

// The signatures the path drawing calls these slots with.
[[maybe_unused]] constexpr PDLockLineVerticesFn kLock = OGL_LockLineVertices;
[[maybe_unused]] constexpr PDFreeLineVerticesFn kFree = OGL_FreeLineVertices;
[[maybe_unused]] constexpr PDDrawLinesFn kStrip = OGL_DrawLineStrip;
} // namespace

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

void *OGL_LockLineVertices(uint32_t, int32_t n)
{
    OGL_FreeLineVertices();
    if (n < 1 || static_cast<uint32_t>(n) > BZ_MEM_MAX_BLOCK / BZ_OGL_LINE_VERTEX_ROOM)
        return nullptr;
    gLineBlock = static_cast<uint8_t *>(
        bz_TempStack_Alloc(kTempStack, static_cast<uint32_t>(n) * BZ_OGL_LINE_VERTEX_ROOM, 0));
    gLineCount = gLineBlock ? n : 0;
    return gLineBlock;
}

void OGL_FreeLineVertices()
{
    if (gLineBlock)
        bz_TempStack_Free(kTempStack, gLineBlock);
    gLineBlock = nullptr;
    gLineCount = 0;
}

int32_t OGL_LineVerticesHeld()
{
    return gLineCount;
}

void OGL_DrawLineStrip(const bzLineDraw *draw)
{
    if (!draw || !gLineBlock || draw->primitiveCount < 1)
        return;
    int32_t count = draw->primitiveCount + 1;
    if (count > gLineCount)
        count = gLineCount;
    // Only positions and colours come from the block: arrays left on by a mesh would be read
    // from that mesh's memory.
    glDisableClientState(GL_NORMAL_ARRAY);
    OGL_ClientActiveTexture(GL_TEXTURE1);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    OGL_ClientActiveTexture(GL_TEXTURE0);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glEnableClientState(GL_VERTEX_ARRAY);
    if (draw->kind & kColourBits)
    {
        glVertexPointer(3, GL_FLOAT, 16, gLineBlock);
        glEnableClientState(GL_COLOR_ARRAY);
        glColorPointer(4, GL_UNSIGNED_BYTE, 16, gLineBlock + 12);
    }
    else
    {
        glDisableClientState(GL_COLOR_ARRAY);
        glVertexPointer(3, GL_FLOAT, 12, gLineBlock);
    }
    glDrawArrays(GL_LINE_STRIP, 0, count);
    glDisableClientState(GL_COLOR_ARRAY);
}
