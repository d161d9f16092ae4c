#include "backends/gl/GlShadow.h"

#include "backends/gl/GlDraw2D.h"
#include "backends/gl/GlExtensions.h"
#include "backends/gl/GlLights.h"
#include "backends/gl/GlMesh.h"
#include "backends/gl/GlStageState.h"
#include "core/Error.h"
#include "core/Memory.h"
#include "models/Model.h"
#include "models/ModelProcessing.h"
#include "models/SkinInstance.h"
#include "scene/Light.h"
#include "scene/Lump.h"

#include <GL/gl.h>

#include <cstring>

namespace
{
// The slot of a part's positions that holds the shadow model's base positions.
constexpr int32_t kBase = 2;

bool HasStencil()
{
    return (bzgOGLCaps & BZ_OGL_CAP_STENCIL) != 0;
}

// World straight down in the caster's frame: minus the matrix's second column.
bzV3 Down(const bzM34 &m)
{
    return {-m.row[0].y, -m.row[1].y, -m.row[2].y};
}

bzV3 LightDirection(const bzM34 &m)
{
    const bzLump *lump = OGL_LightLump(0);
    if (!lump || !lump->object)
        return Down(m);
    if (lump->type != BZ_LUMP_TYPE_DIRLIGHT)
    {
        bz_ReportError("OGL Shadow", "%s", "Light type not done");
        return Down(m);
    }
    // The light's own direction when it has one; a scene's light keeps its direction in its
    // matrix, which the walk has brought into the camera's frame: it shines along its z axis,
    // as the lighting takes it.
    bzV3 d = static_cast<const bzLight *>(lump->object)->direction;
    if (d.x == 0.0f && d.y == 0.0f && d.z == 0.0f)
        d = lump->worldMatrix.row[2];
    // The inverse rotation of an orthonormal matrix is its transpose.
    bzV3 out;
    out.x = d.x * m.row[0].x + d.y * m.row[0].y + d.z * m.row[0].z;
    out.y = d.x * m.row[1].x + d.y * m.row[1].y + d.z * m.row[1].z;
    out.z = d.x * m.row[2].x + d.y * m.row[2].y + d.z * m.row[2].z;
    return out;
}

// Frees the display lists recorded of a shadow model, when it has any.
void ForgetLists(bzModel *model)
{
    const bzModelPart *part = model->part;
    for (int32_t g = 0; part->entries && g < part->entryCount; ++g)
        for (uint32_t list : part->entries[g].displayLists)
            if (list)
            {
                OGL_FreeModelBuffers(model);
                return;
            }
}

// The skinned-model lump that poses a skinned shadow model: the lump the shadow hangs under,
// when it can be posed and its skeleton has every bone the shadow model's is bound to.
bzLump *PosingLump(bzLump *shadowLump, const bzModelPart *part)
{
    bzLump *owner = shadowLump->parent;
    const bzSkeleton *skeleton = part->skeleton;
    if (!owner || !skeleton || !skeleton->vertexInfluences || !bz_Skeleton_IsPosable(owner))
        return nullptr;
    const auto *instance = static_cast<const bzSkinInstance *>(owner->object);
    return instance->model->part->skeleton->boneCount >= skeleton->boneCount ? owner : nullptr;
}

// The positions and normals of the volume before it is extruded: the base positions and the
// normals as they are, or for a skinned shadow model posed as its owner lump is (positions
// skinned as the drawing skins them; each normal as the difference of its skinned tip, base
// plus normal, and its skinned base), into the two halves of a block of temporary stack 1.
// The block's first half then takes the drawn positions: the part's own arrays may be the
// skeleton's bind positions, which must survive the frame.
struct VolumeSource
{
    const bzV3 *positions;
    const bzV3 *normals;
    bzV3 *drawn;
    bzV3 *block; // temporary, freed after the draw; null when the part's arrays are used
};

VolumeSource PoseVolume(bzLump *shadowLump, bzModel *model)
{
    bzModelPart *part = model->part;
    const bzV3 *base = part->positions[kBase];
    const bzV3 *normals = part->normals[0];
    if (!part->skeleton)
        return {base, normals, part->positions[0], nullptr};
    const uint32_t n = static_cast<uint32_t>(part->vertexCount);
    auto *block = static_cast<bzV3 *>(bz_TempStack_Alloc(1, n * 2u * sizeof(bzV3), 0));
    if (!block)
        return {nullptr, nullptr, nullptr, nullptr};
    bzV3 *posed = block;
    bzV3 *tips = block + n;
    bzLump *owner = PosingLump(shadowLump, part);
    if (!owner)
    {
        std::memcpy(posed, base, n * sizeof(bzV3));
        std::memcpy(tips, normals, n * sizeof(bzV3));
        return {posed, tips, posed, block};
    }
    for (uint32_t v = 0; v < n; ++v)
        tips[v] = {base[v].x + normals[v].x, base[v].y + normals[v].y, base[v].z + normals[v].z};
    bz_Skeleton_Update(owner, static_cast<const bzSkinInstance *>(owner->object)->model);
    bz_Skeleton_SkinVertices(model, owner, posed, base);
    bz_Skeleton_SkinVertices(model, owner, tips, tips);
    for (uint32_t v = 0; v < n; ++v)
        tips[v] = {tips[v].x - posed[v].x, tips[v].y - posed[v].y, tips[v].z - posed[v].z};
    return {posed, tips, posed, block};
}

// One counting pass over the volume.
void CountPass(bzMaterialEntry *group, GLenum frontFace, GLenum depthFail)
{
    glFrontFace(frontFace);
    glStencilOp(GL_KEEP, depthFail, GL_KEEP);
    OGL_DrawMeshIndexed(group, 0);
}
} // namespace

void OGL_SetShadowVolumeData(bzModel *model, const bzShadowFace *faces, int32_t seamTriangles)
{
    if (!HasStencil() || !model || !model->part || !model->part->positions[0])
        return;
    bzModelPart *part = model->part;
    const uint32_t bytes = static_cast<uint32_t>(part->vertexCount) * sizeof(bzV3);
    if (bytes == 0)
        return;
    if (!part->positions[kBase])
        part->positions[kBase] = static_cast<bzV3 *>(bz_MemAlloc(bytes, 0));
    if (!part->positions[kBase])
        return;
    std::memcpy(part->positions[kBase], part->positions[0], bytes);
    // The volume is drawn from its arrays, reshaped every time: lists recorded of the model as
    // it was would be replayed in their place.
    ForgetLists(model);
    if (seamTriangles <= 0 || !faces || !part->entries || part->entryCount < 1)
        return;
    bzMaterialEntry &group = part->entries[0];
    const uint32_t count = static_cast<uint32_t>(part->faceCount + seamTriangles) * 3;
    auto *indices = static_cast<uint16_t *>(bz_MemAlloc(count * sizeof(uint16_t), 0));
    if (!indices)
        return;
    uint32_t n = 0;
    for (int32_t f = 0; f < part->faceCount; ++f)
    {
        const bzShadowFace &face = faces[f];
        for (uint32_t corner : face.corners)
            if (n < count)
                indices[n++] = static_cast<uint16_t>(corner);
        for (int32_t e = 0; e < 3; ++e)
            if (face.seamFlags[e])
                for (uint32_t v : face.seams[e])
                    if (n < count)
                        indices[n++] = static_cast<uint16_t>(v);
    }
    bz_MemFree(group.listIndices);
    group.listIndices = indices;
    group.listIndexCount = n;
    group.listBaseVertex = 0;
    group.listVertexSpan = static_cast<uint32_t>(part->vertexCount);
    group.stripIndexCount = 0;
}

void OGL_DrawShadowVolume(bzLump *shadowLump, void *)
{
    if (!HasStencil() || !shadowLump || !shadowLump->object)
        return;
    const auto *shadow = static_cast<const bzLumpShadow *>(shadowLump->object);
    bzModel *model = shadow->model;
    if (!model || !model->part || !model->part->entries || model->part->entryCount < 1)
        return;
    bzModelPart *part = model->part;
    if (!part->positions[kBase] || !part->positions[0] || !part->normals[0])
        return;
    ForgetLists(model);
    const VolumeSource source = PoseVolume(shadowLump, model);
    if (!source.positions)
        return;
    const bzV3 *base = source.positions;
    const bzV3 *normals = source.normals;
    bzV3 *drawn = source.drawn;
    bzV3 d = LightDirection(shadowLump->worldMatrix);
    d.x *= shadow->extrusion;
    d.y *= shadow->extrusion;
    d.z *= shadow->extrusion;
    for (int32_t v = 0; v < part->vertexCount; ++v)
    {
        const bzV3 &n = normals[v];
        const bool away = n.x * d.x + n.y * d.y + n.z * d.z >= 0.0f;
        drawn[v] = base[v];
        if (away)
        {
            drawn[v].x += d.x;
            drawn[v].y += d.y;
            drawn[v].z += d.z;
        }
    }

    glDisable(GL_BLEND);
    glDisable(GL_TEXTURE_2D);
    OGL_SetStageState(BZ_OGL_STAGE_LIGHTING, 0);
    glDisableClientState(GL_COLOR_ARRAY);
    bzgOGLTexCoordSource[0] = 0;
    bzgOGLTexCoordSource[1] = 0;
    glEnable(GL_CULL_FACE);
    glDepthMask(GL_FALSE);
    glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
    glEnable(GL_STENCIL_TEST);
    glStencilFunc(GL_ALWAYS, 0, 0);
    // The faces turned to the light stay where they are: that cap of the volume lies in the
    // caster's own drawn surface. Counted strictly behind it, the cap fails the depth test
    // there as the faces leaving the volume behind it do, and the two cancel, so the caster's
    // lit side stays lit. A test passing on equal depth (the materials' GL_LEQUAL) would drop
    // the cap's count and put the whole lit side in shadow, save for patches where rounding
    // happened to put the cap deeper; the small offset keeps rounding from bringing the cap in
    // front of the surface it lies in.
    GLint depthFunc = GL_LEQUAL;
    glGetIntegerv(GL_DEPTH_FUNC, &depthFunc);
    glDepthFunc(GL_LESS);
    glPolygonOffset(1.0f, 1.0f);
    glEnable(GL_POLYGON_OFFSET_FILL);
    bzMaterialEntry *group = &part->entries[0];
    bzV3 *kept = part->positions[0];
    part->positions[0] = drawn;
    CountPass(group, GL_CCW, GL_INCR);
    CountPass(group, GL_CW, GL_DECR);
    part->positions[0] = kept;
    if (source.block)
        bz_TempStack_Free(1, source.block);
    glDisable(GL_POLYGON_OFFSET_FILL);
    glDepthFunc(static_cast<GLenum>(depthFunc));
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
}

void OGL_DrawShadowOverlay(int32_t, int32_t, int32_t, int32_t)
{
    if (!HasStencil())
        return;
    glDisable(GL_DEPTH_TEST);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glDisable(GL_CULL_FACE);
    glDisable(GL_TEXTURE_2D);
    OGL_SetStageState(BZ_OGL_STAGE_LIGHTING, 0);
    glColor4f(0.0f, 0.0f, 0.0f, 0.5f);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    bzgOGLBlendEquation(GL_FUNC_ADD);
    glStencilFunc(GL_NOTEQUAL, 0, 255);
    OGL_DrawClipRect();
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glDisable(GL_STENCIL_TEST);
    glStencilFunc(GL_ALWAYS, 0, 0);
    glEnable(GL_DEPTH_TEST);
}
