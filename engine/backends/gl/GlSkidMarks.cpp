#include "backends/gl/GlSkidMarks.h"

#include "backends/gl/GlDraw2D.h"
#include "backends/gl/GlExtensions.h"
#include "backends/gl/GlStageState.h"
#include "device/ImageRecord.h"
#include "render/SkidRibbon.h"

#include <GL/gl.h>

namespace
{
void RibbonState(const bz_IMGMAP *image)
{
    OGL_BeginDepthTestedOverlay(BZ_OGL_BLEND_ADD);
    if (!OGL_BindOverlayImage(image))
        return;
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    // The texel's colour always; its alpha where the image has one.
    OGL_CombineOverlayImage(true,
                            (image->flags & (BZ_IMGMAP_ONE_BIT_ALPHA | BZ_IMGMAP_HAS_ALPHA)) != 0);
}
} // namespace

void OGL_DrawSkidRibbon(const bzRibbonVertex *vertices, int32_t count, bz_IMGMAP *image, uint32_t)
{
    if (!vertices || count < 3)
        return;
    RibbonState(image);
    const int32_t whole = count - count % 3;
    glBegin(GL_TRIANGLES);
    for (int32_t i = 0; i < whole; ++i)
    {
        const bzRibbonVertex &v = vertices[i];
        glColor4ub(static_cast<GLubyte>(v.colour >> 16), static_cast<GLubyte>(v.colour >> 8),
                   static_cast<GLubyte>(v.colour), static_cast<GLubyte>(v.colour >> 24));
        glTexCoord2f(((v.second >> 16) & 0xFF) == 0xFF ? 1.0f : 0.0f,
                     ((v.second >> 8) & 0xFF) == 0xFF ? 1.0f : 0.0f);
        glVertex3f(v.position.x, v.position.y, v.position.z);
    }
    glEnd();
}
