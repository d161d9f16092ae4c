#include "backends/gl/GlLights.h"

#include "maths/Types.h"
#include "scene/Light.h"
#include "scene/Lump.h"

#include <GL/gl.h>

namespace
{
const bzLump *gLights[BZ_OGL_LIGHT_TABLE];
int32_t gCount;

int32_t MostLights()
{
    GLint most = 8;
    glGetIntegerv(GL_MAX_LIGHTS, &most);
    return most < BZ_OGL_LIGHT_TABLE ? most : BZ_OGL_LIGHT_TABLE;
}

bool IsLightType(uint32_t type)
{
    return type >= BZ_LUMP_TYPE_DIRLIGHT && type <= BZ_LUMP_TYPE_AMBIENTLIGHT;
}
} // namespace

int32_t OGL_SetLight(int32_t, const void *light, const void *matrix)
{
    const auto *lump = static_cast<const bzLump *>(light);
    if (!lump || !lump->object || !IsLightType(lump->type) || gCount >= MostLights())
        return -1;
    const auto *record = static_cast<const bzLight *>(lump->object);
    const auto *m = static_cast<const bzM34 *>(matrix);
    const int32_t n = gCount;
    const GLenum id = GL_LIGHT0 + static_cast<GLenum>(n);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glEnable(id);
    gLights[n] = lump;
    if (m && lump->type == BZ_LUMP_TYPE_DIRLIGHT)
    {
        const float position[4] = {-m->row[2].x, -m->row[2].y, -m->row[2].z, 0.0f};
        glLightfv(id, GL_POSITION, position);
    }
    else if (m && lump->type == BZ_LUMP_TYPE_POINTLIGHT)
    {
        const float position[4] = {m->row[3].x, m->row[3].y, m->row[3].z, 1.0f};
        glLightfv(id, GL_POSITION, position);
    }
    const uint32_t c = record->parameter1;
    const float ambient[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    const float diffuse[4] = {static_cast<float>((c >> 16) & 0xFF) / 255.0f,
                              static_cast<float>((c >> 8) & 0xFF) / 255.0f,
                              static_cast<float>(c & 0xFF) / 255.0f, 1.0f};
    const float specular[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    glLightfv(id, GL_AMBIENT, ambient);
    glLightfv(id, GL_DIFFUSE, diffuse);
    glLightfv(id, GL_SPECULAR, specular);
    ++gCount;
    return n;
}

void OGL_DisableLights()
{
    for (int32_t i = 0; i < gCount; ++i)
    {
        glDisable(GL_LIGHT0 + static_cast<GLenum>(i));
        gLights[i] = nullptr;
    }
    gCount = 0;
}

int32_t OGL_LightCount()
{
    return gCount;
}

const bzLump *OGL_LightLump(int32_t n)
{
    return n >= 0 && n < gCount ? gLights[n] : nullptr;
}
