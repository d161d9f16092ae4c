#include "backends/gl/GlFlares.h"

#include "backends/gl/GlDisplay.h"
#include "backends/gl/GlExtensions.h"
#include "backends/gl/GlStageState.h"
#include "device/ImageRecord.h"

#include <GL/gl.h>

void OGL_DrawFlares(bz_IMGMAP *image)
{
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    const float w =
        bzgOGLDisplay.screenWidth > 0 ? static_cast<float>(bzgOGLDisplay.screenWidth) : 1.0f;
    const float h =
        bzgOGLDisplay.screenHeight > 0 ? static_cast<float>(bzgOGLDisplay.screenHeight) : 1.0f;
    float m[16] = {};
    m[0] = 2.0f / w;
    m[5] = -2.0f / h;
    m[10] = 1.0f;
    m[12] = -1.0f;
    m[13] = 1.0f;
    m[15] = 1.0f;
    glLoadMatrixf(m);
    glDepthFunc(GL_ALWAYS);
    glDepthMask(GL_FALSE);
    // Screen pixels run down the screen, which turns every shape's winding over; a one-sided
    // model drawn before would otherwise leave culling on and the flare unseen.
    glDisable(GL_CULL_FACE);
    OGL_SetStageState(BZ_OGL_STAGE_LIGHTING, 0);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE_MINUS_SRC_ALPHA, GL_ONE);
    glDisable(GL_ALPHA_TEST);
    OGL_SetStageState(BZ_OGL_STAGE_TEXGEN0, 0);
    OGL_SetStageState(BZ_OGL_STAGE_TEXGEN0 + 1, 0);
    if (image)
    {
        glEnable(GL_TEXTURE_2D);
        if (bzgOGLCaps & BZ_OGL_CAP_MULTITEXTURE)
        {
            OGL_ActiveTexture(GL_TEXTURE0);
            OGL_ClientActiveTexture(GL_TEXTURE0);
        }
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glBindTexture(GL_TEXTURE_2D, image->textureName);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP);
    }
    else
    {
        glDisable(GL_TEXTURE_2D);
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    }
}

void OGL_SetFlareArrays(int32_t, const bzFlareVertex *vertices, int32_t vertexCount, int32_t stride,
                        const uint16_t *indices, int32_t indexCount)
{
    if (!vertices || !indices || vertexCount <= 0 || indexCount <= 0 || stride < 28)
        return;
    const auto *bytes = reinterpret_cast<const uint8_t *>(vertices);
    glVertexPointer(3, GL_FLOAT, stride, bytes);
    glEnableClientState(GL_VERTEX_ARRAY);
    glColorPointer(4, GL_UNSIGNED_BYTE, stride, bytes + 16);
    glEnableClientState(GL_COLOR_ARRAY);
    glTexCoordPointer(2, GL_FLOAT, stride, bytes + 20);
    glDisableClientState(GL_NORMAL_ARRAY);
    glDrawElements(GL_TRIANGLES, indexCount, GL_UNSIGNED_SHORT, indices);
    glDisableClientState(GL_COLOR_ARRAY);
}
