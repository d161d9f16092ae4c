#include "backends/gl/GlMaterial.h"

#include "backends/gl/GlDraw2D.h"
#include "backends/gl/GlExtensions.h"
#include "backends/gl/GlStageState.h"
#include "core/Clock.h"
#include "core/Error.h"
#include "device/ImageRecord.h"
#include "device/MaterialRecord.h"
#include "maths/Types.h"

#include <GL/gl.h>

int32_t bzgOGLMaterialPasses = 3;

namespace
{
const bzM44 kIdentity = {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};
// The slot of the material's renderer block that holds its pass routine.
constexpr int32_t kPassSlot = 0;

float ClockSeconds()
{
    return static_cast<float>(bz_GetMilliseconds()) * 0.001f;
}

bool Transparent(const bz_IMGMAP *image)
{
    return (image->flags & (BZ_IMGMAP_ONE_BIT_ALPHA | BZ_IMGMAP_HAS_ALPHA)) != 0;
}

int32_t LayerCount(const bzMaterial *m)
{
    if (!m->layers)
        return 0;
    return m->layerCount < BZ_MATERIAL_MAX_FILE_LAYERS ? m->layerCount
                                                       : BZ_MATERIAL_MAX_FILE_LAYERS;
}

int32_t EffectOf(const bzMaterialLayer &layer)
{
    return static_cast<int8_t>(static_cast<int32_t>(layer.effect[0]));
}

bool KnownEffect(int32_t code)
{
    return code == -1 || code == 0 || code == 1 || code == 2 || code == 4 || code == 5 ||
           code == 7 || code == 9;
}

// The active texture unit, put back after a change made on another unit.
GLint ActiveUnit()
{
    GLint unit = GL_TEXTURE0;
    if (bzgOGLCaps & BZ_OGL_CAP_MULTITEXTURE)
        glGetIntegerv(GL_ACTIVE_TEXTURE, &unit);
    return unit;
}

void SetPassColour(const bzMaterial *m, int32_t layer)
{
    const bzMaterialLayer &l = m->layers[layer];
    const float alpha = EffectOf(l) == 9 ? 1.0f : l.alpha;
    if (layer == 0)
        glColor4f(m->red, m->green, m->blue, alpha);
    else
        glColor4f(1.0f, 1.0f, 1.0f, alpha);
    const float emission[4] = {m->effectTerms[0], m->effectTerms[1], m->effectTerms[2], 0.0f};
    glMaterialfv(GL_FRONT_AND_BACK, GL_EMISSION, emission);
    if (m->flags & BZ_MATERIAL_SPECULAR)
    {
        const float specular[4] = {m->extraTerms[0], m->extraTerms[1], m->extraTerms[2], 0.0f};
        glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, specular);
        glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, m->extraTerms[3]);
    }
    else
    {
        const float none[4] = {0.0f, 0.0f, 0.0f, 0.0f};
        glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, none);
    }
}

// Loads a matrix into the texture matrix of the active unit; the entry is then "set by a pass".
void LoadTextureMatrix(int32_t unit, const float *m)
{
    glMatrixMode(GL_TEXTURE);
    glLoadMatrixf(m);
    glMatrixMode(GL_MODELVIEW);
    bzgOGLStageState[BZ_OGL_STAGE_MATRIX0 + unit] = 2;
}

void SetColourScale(uint32_t flags)
{
    if (!(bzgOGLCaps & BZ_OGL_CAP_COMBINE))
        return;
    const bool doubled = (flags & BZ_MATERIAL_VERTEX_COLOURS) && !(flags & BZ_MATERIAL_LIGHTING);
    glTexEnvf(GL_TEXTURE_ENV, GL_RGB_SCALE, doubled ? 2.0f : 1.0f);
}

void SetColourArray(uint32_t flags)
{
    if (flags & BZ_MATERIAL_VERTEX_COLOURS)
        glEnableClientState(GL_COLOR_ARRAY);
    else
        glDisableClientState(GL_COLOR_ARRAY);
}

void Combine(GLenum rgb, GLenum source0)
{
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_COMBINE);
    glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_RGB, rgb);
    glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE0_RGB, source0);
}

void SetLighting(bool on)
{
    OGL_SetStageState(BZ_OGL_STAGE_LIGHTING, on ? 1 : 0);
}

// The common state of the combined passes: lighting by the first layer, no alpha test or
// blend, depth test on, texturing on.
void CombinedPassState(const bzMaterial *m)
{
    SetLighting((m->layers[0].flags & BZ_LAYER_LIT) != 0);
    glDisable(GL_ALPHA_TEST);
    glDisable(GL_BLEND);
    glEnable(GL_DEPTH_TEST);
    SetColourArray(m->flags);
    glEnable(GL_TEXTURE_2D);
}

void BaseLayer(bzMaterial *m)
{
    CombinedPassState(m);
    PDSetupTextureStage(0, 0, m);
    SetColourScale(m->flags);
    const bz_IMGMAP *a = m->layers[0].image;
    glBindTexture(GL_TEXTURE_2D, a->textureName);
    OGL_SetTextureFilters(m->flags, a->mipLevels);
    Combine(GL_MODULATE, GL_TEXTURE);
}

// Layer 1 on unit 1 over the base layer on unit 0, then the drawing.
int32_t Pair(bzMaterial *m, bzOGLPassCallback callback, void *argument, bool decal)
{
    BaseLayer(m);
    const bz_IMGMAP *b = m->layers[1].image;
    OGL_ActiveTexture(GL_TEXTURE1);
    OGL_ClientActiveTexture(GL_TEXTURE1);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, b->textureName);
    if (!decal)
        OGL_SetTextureFilters(m->flags, b->mipLevels);
    PDSetupTextureStage(1, 1, m);
    if (decal)
    {
        Combine(GL_INTERPOLATE, GL_TEXTURE);
        glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE1_RGB, GL_PREVIOUS);
        glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE2_RGB, GL_TEXTURE);
        glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND2_RGB, GL_SRC_ALPHA);
    }
    else
    {
        Combine(m->layers[1].blendKind == BZ_OGL_BLEND_SUBTRACT ? GL_SUBTRACT : GL_ADD,
                GL_PREVIOUS);
        glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE1_RGB, GL_TEXTURE);
        glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND2_RGB, GL_SRC_COLOR);
    }
    OGL_ClientActiveTexture(GL_TEXTURE0);
    callback(argument, 0);
    OGL_ActiveTexture(GL_TEXTURE1);
    glDisable(GL_TEXTURE_2D);
    OGL_ClientActiveTexture(GL_TEXTURE1);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    OGL_ClientActiveTexture(GL_TEXTURE0);
    OGL_ActiveTexture(GL_TEXTURE0);
    return 2;
}

int32_t Layer1Combine(bzMaterial *m, bzOGLPassCallback callback, void *argument)
{
    CombinedPassState(m);
    PDSetupTextureStage(1, 0, m);
    SetColourScale(m->flags);
    glBindTexture(GL_TEXTURE_2D, m->layers[1].image->textureName);
    Combine(m->layers[1].blendKind == BZ_OGL_BLEND_SUBTRACT ? GL_SUBTRACT : GL_ADD, GL_TEXTURE);
    callback(argument, 0);
    return 2;
}

// The blend of one layer drawn on its own.
void SetLayerBlend(const bzMaterial *m, int32_t layer, bool colourKey)
{
    const bool first = layer == 0;
    if (first && !(m->flags & BZ_MATERIAL_BLENDED) && !colourKey)
    {
        glDisable(GL_BLEND);
        return;
    }
    switch (m->layers[layer].blendKind)
    {
    case BZ_OGL_BLEND_ALPHA:
    case BZ_OGL_BLEND_ADD:
    case BZ_OGL_BLEND_SUBTRACT:
        glEnable(GL_BLEND);
        OGL_SetBlendKind(m->layers[layer].blendKind);
        break;
    default: glDisable(GL_BLEND); break;
    }
}
} // namespace

const bzM44 *bzgOGLEffectCamera = &kIdentity;
float (*bzgOGLSeconds)() = ClockSeconds;

void OGL_SetTextureFilters(uint32_t materialFlags, int32_t mipLevels)
{
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER,
                    (materialFlags & BZ_MATERIAL_LINEAR_MAGNIFY) ? GL_LINEAR : GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER,
                    mipLevels >= 2 ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST);
}

int32_t PDSetupTextureStage(int32_t layer, int32_t unit, bzMaterial *material)
{
    if (!material || layer < 0 || layer >= LayerCount(material) || unit < 0 || unit > 3)
        return 1;
    const bzMaterialLayer &l = material->layers[layer];
    if (unit == 0)
        SetPassColour(material, layer);
    if (!l.image)
    {
        bzgOGLTexCoordSource[unit] = 0;
        glDisable(GL_TEXTURE_2D);
        return 1;
    }
    const GLint active = ActiveUnit();
    const int32_t code = EffectOf(l);
    switch (code)
    {
    case -1:
    case 0:
    case 7:
    case 9:
        bzgOGLTexCoordSource[unit] = l.texCoordSet + 1;
        OGL_SetStageState(BZ_OGL_STAGE_TEXGEN0 + unit, 0);
        OGL_SetStageState(BZ_OGL_STAGE_MATRIX0 + unit, 0);
        break;
    case 1:
    case 2:
    {
        bzgOGLTexCoordSource[unit] = 3;
        OGL_SetStageState(BZ_OGL_STAGE_TEXGEN0 + unit, 0);
        if (bzgOGLCaps & BZ_OGL_CAP_MULTITEXTURE)
            OGL_ActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(unit));
        bzM44 m = *bzgOGLEffectCamera;
        if (code == 2)
        {
            m.row[3] = {0.5f, 0.5f, 0.0f, 1.0f};
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP);
        }
        LoadTextureMatrix(unit, &m.row[0].x);
        break;
    }
    case 4:
    case 5:
        bzgOGLTexCoordSource[unit] = 0;
        OGL_SetStageState(BZ_OGL_STAGE_TEXGEN0 + unit, 1);
        OGL_SetStageState(BZ_OGL_STAGE_MATRIX0 + unit, 1);
        break;
    default: bz_ReportError("PDSetupTextureStage", "%s", "Unknown special effect"); break;
    }
    if (l.flags & BZ_LAYER_SCROLLING)
    {
        if (bzgOGLCaps & BZ_OGL_CAP_MULTITEXTURE)
            OGL_ActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(unit));
        const float t = bzgOGLSeconds();
        bzgOGLStageState[BZ_OGL_STAGE_MATRIX0 + unit] = 2;
        glMatrixMode(GL_TEXTURE);
        glTranslatef(t * l.scrollU * 0.15f, t * l.scrollV, 0.0f);
        glMatrixMode(GL_MODELVIEW);
    }
    if (bzgOGLCaps & BZ_OGL_CAP_MULTITEXTURE)
        OGL_ActiveTexture(static_cast<GLenum>(active));
    return 1;
}

void OGL_ChooseMaterialPass(bzMaterial *m)
{
    m->renderer[kPassSlot] = BZ_OGL_PASS_LAYERS;
    if (LayerCount(m) < 2 || (m->flags & BZ_MATERIAL_VERTEX_COLOURS))
        return;
    const bzMaterialLayer &a = m->layers[0];
    const bzMaterialLayer &b = m->layers[1];
    if ((a.flags & BZ_LAYER_OFF) || (b.flags & BZ_LAYER_OFF))
        return;
    // A layer whose effect cannot be set up is left to the layer loop, which reports it.
    if (!KnownEffect(EffectOf(a)) || !KnownEffect(EffectOf(b)))
        return;
    const bool opaque = a.alpha == 1.0f && b.alpha == 1.0f && a.blendKind == 0;
    if (opaque && a.image && b.image && !Transparent(a.image))
    {
        if (!Transparent(b.image) &&
            (b.blendKind == BZ_OGL_BLEND_ADD || b.blendKind == BZ_OGL_BLEND_SUBTRACT))
            m->renderer[kPassSlot] = BZ_OGL_PASS_ADD_PAIR;
        else if (Transparent(b.image) && b.blendKind == BZ_OGL_BLEND_ALPHA)
            m->renderer[kPassSlot] = BZ_OGL_PASS_DECAL_PAIR;
    }
    if (opaque && !a.image && b.image && !Transparent(b.image))
        m->renderer[kPassSlot] = BZ_OGL_PASS_LAYER1_COMBINE;
}

uint32_t OGL_MaterialPass(const bzMaterial *material)
{
    return material->renderer[kPassSlot];
}

int32_t OGL_SetupMaterial(bzMaterial *material, int32_t)
{
    if (!material)
        return 0;
    material->renderer[kPassSlot] = BZ_OGL_PASS_LAYERS;
    const uint32_t both = BZ_OGL_CAP_MULTITEXTURE | BZ_OGL_CAP_COMBINE_STAGES;
    if (bzgOGLMaterialPasses != 0 && (bzgOGLCaps & both) == both)
        OGL_ChooseMaterialPass(material);
    return 0;
}

void OGL_DrawMesh(bzMaterial *m, int32_t, bzOGLPassCallback callback, void *argument)
{
    if (!m || !callback)
        return;
    const int32_t layers = LayerCount(m);
    if (m->flags & BZ_MATERIAL_TWO_SIDED)
        glDisable(GL_CULL_FACE);
    else
        glEnable(GL_CULL_FACE);
    const bool writes = !(m->flags & (BZ_MATERIAL_BLENDED | BZ_MATERIAL_NO_DEPTH_WRITE));
    glDepthMask(writes ? GL_TRUE : GL_FALSE);
    int32_t drawn = 0;
    switch (layers >= 2 ? m->renderer[kPassSlot] : BZ_OGL_PASS_LAYERS)
    {
    case BZ_OGL_PASS_ADD_PAIR: drawn = Pair(m, callback, argument, false); break;
    case BZ_OGL_PASS_DECAL_PAIR: drawn = Pair(m, callback, argument, true); break;
    case BZ_OGL_PASS_LAYER1_COMBINE: drawn = Layer1Combine(m, callback, argument); break;
    default: break;
    }
    if (drawn > 0 && drawn < layers)
        glDepthMask(GL_FALSE);
    for (int32_t i = drawn; i < layers; ++i)
    {
        const bzMaterialLayer &l = m->layers[i];
        if (l.flags & BZ_LAYER_OFF)
            continue;
        SetLighting((m->flags & BZ_MATERIAL_LIGHTING) && (l.flags & BZ_LAYER_LIT));
        PDSetupTextureStage(i, 0, m);
        // A textured layer with an effect that could not be set up (reported) draws nothing.
        if (l.image && !KnownEffect(EffectOf(l)))
            continue;
        const bool colourKey = l.image && (l.image->flags & BZ_IMGMAP_ONE_BIT_ALPHA);
        if (colourKey)
        {
            glEnable(GL_ALPHA_TEST);
            glAlphaFunc(GL_GREATER, 0.996f);
        }
        else
            glDisable(GL_ALPHA_TEST);
        SetLayerBlend(m, i, colourKey);
        glEnable(GL_DEPTH_TEST);
        SetColourArray(m->flags);
        if (l.image)
        {
            glEnable(GL_TEXTURE_2D);
            if (bzgOGLCaps & BZ_OGL_CAP_MULTITEXTURE)
            {
                OGL_ActiveTexture(GL_TEXTURE0);
                OGL_ClientActiveTexture(GL_TEXTURE0);
            }
            SetColourScale(m->flags);
            glBindTexture(GL_TEXTURE_2D, l.image->textureName);
            OGL_SetTextureFilters(m->flags, l.image->mipLevels);
            if (bzgOGLCaps & BZ_OGL_CAP_COMBINE_STAGES)
            {
                if (l.image->format == BZ_IMAGE_ALPHA)
                    Combine(GL_REPLACE, GL_PRIMARY_COLOR);
                else
                    Combine(GL_MODULATE, GL_TEXTURE);
            }
        }
        else
        {
            glDisable(GL_TEXTURE_2D);
            bzgOGLTexCoordSource[0] = 1;
            bzgOGLTexCoordSource[1] = 0;
        }
        callback(argument, i);
        if (i < layers - 1)
            glDepthMask(GL_FALSE);
    }
}
