#include "backends/gl/GlSprites.h"

#include "backends/gl/GlDraw2D.h"
#include "backends/gl/GlExtensions.h"
#include "backends/gl/GlStageState.h"
#include "device/ImageRecord.h"
#include "scene/ParticleSystem.h"

#include <GL/gl.h>

#include <algorithm>

namespace
{
uint8_t Channel(uint32_t base, int16_t change, int32_t f)
{
    return static_cast<uint8_t>(base + static_cast<uint32_t>((int32_t{change} * f) >> 16));
}

void SpriteState(const bz_IMGMAP *image)
{
    glDisable(GL_CULL_FACE);
    glDisable(GL_ALPHA_TEST);
    OGL_SetStageState(BZ_OGL_STAGE_LIGHTING, 0);
    if (bzgOGLCaps & BZ_OGL_CAP_COMBINE)
        glTexEnvf(GL_TEXTURE_ENV, GL_RGB_SCALE, 1.0f);
    glDepthMask(GL_FALSE);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    if (!image)
    {
        glDisable(GL_TEXTURE_2D);
        return;
    }
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, image->textureName);
    OGL_SetStageState(BZ_OGL_STAGE_TEXGEN0, 0);
    OGL_SetStageState(BZ_OGL_STAGE_MATRIX0, 0);
    if (bzgOGLCaps & BZ_OGL_CAP_COMBINE_STAGES)
    {
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_COMBINE);
        const bool alphaOnly = image->format == BZ_IMAGE_ALPHA;
        glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_RGB, alphaOnly ? GL_REPLACE : GL_MODULATE);
        glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE0_RGB, alphaOnly ? GL_PRIMARY_COLOR : GL_TEXTURE);
    }
}
} // namespace

uint32_t OGL_ParticleColour(const bzParticle &p, uint32_t flags)
{
    const float age = p.age;
    float r = 0.0f;
    if (flags & BZ_OGL_SPRITE_LINEAR)
        r = age;
    else
    {
        r = std::max(0.0f, (age - 0.75f) * 4.0f);
        if ((flags & BZ_OGL_SPRITE_FADE_IN) && age < 0.25f)
            r = 1.0f - std::min(1.0f, age * 4.0f);
    }
    const auto f = static_cast<int32_t>(r * 65536.0f);
    const uint32_t c = p.startColour;
    const uint8_t red = Channel((c >> 16) & 0xFF, p.deltaRG[0], f);
    const uint8_t green = Channel((c >> 8) & 0xFF, p.deltaRG[1], f);
    const uint8_t blue = Channel(c & 0xFF, p.deltaBA[0], f);
    const uint8_t alpha = Channel(c >> 24, p.deltaBA[1], f);
    return uint32_t{alpha} << 24 | uint32_t{red} << 16 | uint32_t{green} << 8 | blue;
}

void OGL_DrawSprites(bzParticleSystem *system)
{
    if (!system)
        return;
    SpriteState(system->texture);
    // The camera's right and up axes in the particles' frame, from the model-view rotation.
    float v[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, v);
    const float right[3] = {v[0], v[4], v[8]};
    const float up[3] = {v[1], v[5], v[9]};
    for (const bzParticleLayer &layer : system->layers)
    {
        if (!layer.head)
            continue;
        OGL_SetBlendKind(static_cast<int32_t>(layer.mode));
        glBegin(GL_QUADS);
        for (const bzParticle *p = layer.head; p; p = p->next)
        {
            if (p->age > 1.0f)
                continue;
            const uint32_t c = OGL_ParticleColour(*p, system->flags);
            glColor4ub(static_cast<GLubyte>(c >> 16), static_cast<GLubyte>(c >> 8),
                       static_cast<GLubyte>(c), static_cast<GLubyte>(c >> 24));
            const float half =
                (system->startSize + (system->endSize - system->startSize) * p->age) * 0.5f;
            const float corners[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
            const float uv[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
            for (int k = 0; k < 4; ++k)
            {
                const float a = corners[k][0] * half;
                const float b = corners[k][1] * half;
                glTexCoord2f(uv[k][0], uv[k][1]);
                glVertex3f(p->position.x + a * right[0] + b * up[0],
                           p->position.y + a * right[1] + b * up[1],
                           p->position.z + a * right[2] + b * up[2]);
            }
        }
        glEnd();
    }
}
