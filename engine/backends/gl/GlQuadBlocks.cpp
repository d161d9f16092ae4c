#include "backends/gl/GlQuadBlocks.h"

#include "backends/gl/GlDraw2D.h"
#include "backends/gl/GlExtensions.h"
#include "backends/gl/GlStageState.h"
#include "device/ImageRecord.h"
#include "maths/Matrix.h"
#include "scene/Lump.h"
#include "scene/PooledEmitter.h"

#include <GL/gl.h>

#include <cmath>

namespace
{
// A column of the view matrix's rotation (the camera axis it maps to, seen in the lump's
// frame), made unit length; a zero column stays zero.
bzV3 CameraAxis(const bzM34 &m, int axis)
{
    bzV3 a{};
    a.x = m.row[0].v[axis];
    a.y = m.row[1].v[axis];
    a.z = m.row[2].v[axis];
    const float length = std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z);
    if (length > 0.0f)
    {
        a.x /= length;
        a.y /= length;
        a.z /= length;
    }
    return a;
}

void QuadState(const bzQuadBlockArray &array)
{
    // Quads add, subtract or mix by alpha: every other kind mixes.
    const int32_t blend = array.blend;
    OGL_BeginDepthTestedOverlay(
        blend == BZ_OGL_BLEND_ADD || blend == BZ_OGL_BLEND_SUBTRACT ? blend : BZ_OGL_BLEND_ALPHA);
    const bz_IMGMAP *image = array.image;
    if (!OGL_BindOverlayImage(image))
        return;
    // A texture without its smaller levels would be incomplete under a mip-map filter.
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER,
                    image->mipLevels > 1 ? GL_LINEAR_MIPMAP_LINEAR : GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    // An alpha-only image gives the quad's colour its alpha; any other modulates both.
    OGL_CombineOverlayImage(image->format != BZ_IMAGE_ALPHA, true);
}
} // namespace

void OGL_DrawQuadBlockArray(bzViewport *, bzLump *lump)
{
    if (!lump || lump->type != BZ_LUMP_TYPE_QUADBLOCKARRAY || !lump->object)
        return;
    const auto &array = *static_cast<const bzQuadBlockArray *>(lump->object);
    if (!array.quads || array.count == 0)
        return;
    bzM44 m;
    bz_M34ToM44(&m, &lump->worldMatrix);
    glMatrixMode(GL_MODELVIEW);
    glLoadMatrixf(&m.row[0].x);
    QuadState(array);
    const bzV3 right = CameraAxis(lump->worldMatrix, 0);
    const bzV3 up = CameraAxis(lump->worldMatrix, 1);
    // The atlas: cells counted along its rows; one cell is the whole image.
    const float columns = array.columns >= 1.0f ? std::floor(array.columns) : 1.0f;
    const float rows = array.rows >= 1.0f ? std::floor(array.rows) : 1.0f;
    const auto across = static_cast<uint32_t>(columns);
    // Corners top-left, top-right, bottom-right, bottom-left: signs along right and up, and
    // texture corners.
    const float side[4] = {-1.0f, 1.0f, 1.0f, -1.0f};
    const float rise[4] = {1.0f, 1.0f, -1.0f, -1.0f};
    const float cornerU[4] = {0.0f, 1.0f, 1.0f, 0.0f};
    const float cornerV[4] = {0.0f, 0.0f, 1.0f, 1.0f};
    glBegin(GL_QUADS);
    for (uint32_t i = 0; i < array.count; ++i)
    {
        const bzQuad &q = array.quads[i];
        if (!(q.flags & BZ_QUAD_VISIBLE))
            continue;
        const float a = q.width * 0.5f;
        const float b = q.height * 0.5f;
        const float c = array.lift * q.height;
        const float cellU = static_cast<float>(q.frame % across);
        const float cellV = static_cast<float>(q.frame / across);
        glColor4ub(static_cast<GLubyte>(q.colour >> 16), static_cast<GLubyte>(q.colour >> 8),
                   static_cast<GLubyte>(q.colour), static_cast<GLubyte>(q.colour >> 24));
        for (int k = 0; k < 4; ++k)
        {
            const float s = side[k] * a;
            const float t = c + rise[k] * b;
            glTexCoord2f((cellU + cornerU[k]) / columns, (cellV + cornerV[k]) / rows);
            glVertex3f(q.centre.x + s * right.x + t * up.x, q.centre.y + s * right.y + t * up.y,
                       q.centre.z + s * right.z + t * up.z);
        }
    }
    glEnd();
}
