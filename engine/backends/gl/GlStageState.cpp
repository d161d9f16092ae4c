#include "backends/gl/GlStageState.h"

#include "backends/gl/GlExtensions.h"

#include <GL/gl.h>

int32_t bzgOGLStageState[BZ_OGL_STAGE_ENTRIES];
int32_t bzgOGLTexCoordSource[4];

void OGL_SetStageState(int32_t entry, int32_t mode)
{
    if (entry < 0 || entry >= BZ_OGL_STAGE_ENTRIES || bzgOGLStageState[entry] == mode)
        return;
    bzgOGLStageState[entry] = mode;
    if (entry == BZ_OGL_STAGE_LIGHTING)
    {
        if (mode)
            glEnable(GL_LIGHTING);
        else
            glDisable(GL_LIGHTING);
        return;
    }
    const bool texgen = entry < BZ_OGL_STAGE_LIGHTING;
    const uint32_t unit = static_cast<uint32_t>(texgen ? entry : entry - BZ_OGL_STAGE_MATRIX0);
    if (unit > 0)
        OGL_ActiveTexture(GL_TEXTURE0 + unit);
    if (texgen)
    {
        if (mode == 0)
        {
            glDisable(GL_TEXTURE_GEN_S);
            glDisable(GL_TEXTURE_GEN_T);
        }
        else
        {
            glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
            glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
            glEnable(GL_TEXTURE_GEN_S);
            glEnable(GL_TEXTURE_GEN_T);
        }
    }
    else if (mode == 0 || mode == 1)
    {
        glMatrixMode(GL_TEXTURE);
        glLoadIdentity();
        if (mode == 1)
            glScalef(1.0f, -1.0f, 1.0f);
        glMatrixMode(GL_MODELVIEW);
    }
    if (unit > 0)
        OGL_ActiveTexture(GL_TEXTURE0);
}

void OGL_ResetStageState()
{
    for (int32_t &entry : bzgOGLStageState)
        entry = 0;
    for (int32_t &source : bzgOGLTexCoordSource)
        source = 0;
}
