#include "backends/gl/GlMesh.h"

#include "backends/gl/GlExtensions.h"
#include "backends/gl/GlMaterial.h"
#include "backends/gl/GlStageState.h"
#include "core/Error.h"
#include "core/Memory.h"
#include "device/MaterialRecord.h"
#include "maths/Types.h"
#include "models/Model.h"
#include "models/Skeleton.h"
#include "models/SkinInstance.h"
#include "scene/Lump.h"

#include <GL/gl.h>

#include <algorithm>
#include <cstring>

namespace
{
constexpr int32_t kPasses = 8;
constexpr uint32_t kRecorded = BZ_PART_BUFFERS_BUILT; // the part's lists are recorded
constexpr uint32_t kKeepLists = BZ_PART_CHANGED;      // leave the lists as they are
constexpr uint32_t kDepthAlwaysMask = 0xC40;          // two-sided, no depth writes, always
const bzM44 kIdentity = {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};

bool gCompiling;
// Whether the second texture unit's coordinate array was last turned on.
bool gSecondUnitArray;

void CallIndexed(void *argument, int32_t pass)
{
    OGL_DrawMeshIndexed(static_cast<bzMaterialEntry *>(argument), pass);
}

// The texture coordinates of one unit from its source, at first vertex f.
void SetTexCoords(const bzModelPart *part, int32_t f, int32_t unit)
{
    const int32_t source = bzgOGLTexCoordSource[unit];
    if (source == 1 || source == 2)
    {
        const float *uv = part->uvs[source - 1];
        if (!uv)
        {
            // No coordinates of that set: an array left on from an earlier mesh would be read
            // through a pointer that may no longer be valid.
            glDisableClientState(GL_TEXTURE_COORD_ARRAY);
            return;
        }
        glTexCoordPointer(2, GL_FLOAT, 8, uv + 2 * f);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    }
    else if (source == 3 && part->positions[0])
    {
        glTexCoordPointer(3, GL_FLOAT, 12, part->positions[0] + f);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    }
    else
    {
        if (source != 0)
            bz_ReportError("Unknown tex coords", "%s", "Unknown tex coords");
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    }
}

void SetArrays(const bzModelPart *part, int32_t f, int32_t pass)
{
    glVertexPointer(3, GL_FLOAT, 12, part->positions[0] + f);
    glEnableClientState(GL_VERTEX_ARRAY);
    if (part->normals[0])
    {
        glNormalPointer(GL_FLOAT, 12, part->normals[0] + f);
        glEnableClientState(GL_NORMAL_ARRAY);
    }
    else
        glDisableClientState(GL_NORMAL_ARRAY);
    const uint32_t *colours = pass >= 0 && pass < kPasses ? part->layerColours[pass] : nullptr;
    if (colours)
    {
        glColorPointer(4, GL_UNSIGNED_BYTE, 4, colours + f);
        glEnableClientState(GL_COLOR_ARRAY);
    }
    else
        glDisableClientState(GL_COLOR_ARRAY);
    SetTexCoords(part, f, 0);
    // The second unit's array is turned off once its source is: left on, it would be read
    // through the pointer of a mesh drawn earlier.
    if (bzgOGLTexCoordSource[1] != 0 || gSecondUnitArray)
    {
        OGL_ClientActiveTexture(GL_TEXTURE1);
        SetTexCoords(part, f, 1);
        gSecondUnitArray = glIsEnabled(GL_TEXTURE_COORD_ARRAY) == GL_TRUE;
        OGL_ClientActiveTexture(GL_TEXTURE0);
    }
}

void DeleteLists(bzModelPart *part)
{
    for (int32_t g = 0; g < part->entryCount && part->entries; ++g)
        for (uint32_t &list : part->entries[g].displayLists)
        {
            if (list)
                glDeleteLists(list, 1);
            list = 0;
        }
}

// Skins the lump's model into a block of the temporary stack installed as the part's
// positions while the owner draws; released by ~SkinnedDraw. Nothing for a lump that is not
// posable or a part without a skeleton.
class SkinnedDraw
{
public:
    SkinnedDraw(bzLump *lump, const bzModelPart *part)
    {
        if (!lump || lump->type != BZ_LUMP_TYPE_SKINNED_MODEL || !part || !part->skeleton ||
            !bz_Skeleton_IsPosable(lump))
            return;
        // The instance poses its own model: a part drawn in its place is left as it is.
        const auto *instance = static_cast<const bzSkinInstance *>(lump->object);
        if (!instance->model || instance->model->part != part)
            return;
        const bzSkeleton *skeleton = part->skeleton;
        // Skinning in place would lose the bind positions the next frame starts from.
        if (part->positions[0] && part->positions[0] == skeleton->vertexPositions)
            return;
        lump_ = lump;
        skinned_ = bz_Skeleton_ComputeSkinnedPositions(lump) == 0;
    }
    ~SkinnedDraw()
    {
        if (skinned_)
            bz_Skeleton_ReleaseSkinnedPositions(lump_);
    }
    SkinnedDraw(const SkinnedDraw &) = delete;
    SkinnedDraw &operator=(const SkinnedDraw &) = delete;

private:
    bzLump *lump_ = nullptr;
    bool skinned_ = false;
};

// Bakes each layer's vertex colours of a group from the base colours.
void BakeColours(bzModelPart *part, const bzMaterialEntry &group)
{
    const bzMaterial *m = group.material;
    if (!m || !(m->flags & BZ_MATERIAL_VERTEX_COLOURS) || !part->colours[0] || !m->layers)
        return;
    uint32_t lo = UINT32_MAX;
    uint32_t hi = 0;
    if (group.listIndexCount)
    {
        lo = std::min(lo, group.listBaseVertex);
        hi = std::max(hi, group.listBaseVertex + group.listVertexSpan);
    }
    if (group.stripIndexCount)
    {
        lo = std::min(lo, group.baseVertex);
        hi = std::max(hi, group.baseVertex + group.verticesUsed);
    }
    hi = std::min(hi, static_cast<uint32_t>(part->vertexCount));
    const int32_t layers = std::min<int32_t>(m->layerCount, kPasses);
    for (int32_t l = 0; l < layers; ++l)
    {
        if (!part->layerColours[l])
        {
            part->layerColours[l] = static_cast<uint32_t *>(
                bz_MemAlloc(static_cast<uint32_t>(part->vertexCount) * 4u, 0));
            if (!part->layerColours[l])
                return;
        }
        float tint[3] = {1.0f, 1.0f, 1.0f};
        if (m->flags & BZ_MATERIAL_TINT_BAKED)
        {
            tint[0] = m->red;
            tint[1] = m->green;
            tint[2] = m->blue;
        }
        if (!(bzgOGLCaps & BZ_OGL_CAP_COMBINE) || !m->layers[l].image)
            for (float &t : tint)
                t *= 2.0f;
        const auto alpha = static_cast<uint8_t>(m->layers[l].alpha * 255.0f);
        auto *out = reinterpret_cast<uint8_t *>(part->layerColours[l]);
        for (uint32_t v = lo; v < hi; ++v)
        {
            const uint32_t c = part->colours[0][v];
            const uint8_t base[3] = {static_cast<uint8_t>(c >> 16), static_cast<uint8_t>(c >> 8),
                                     static_cast<uint8_t>(c)};
            for (int k = 0; k < 3; ++k)
                out[4 * v + k] =
                    static_cast<uint8_t>(std::min(1.0f, base[k] / 255.0f * tint[k]) * 255.0f);
            out[4 * v + 3] = alpha;
        }
    }
}
} // namespace

void OGL_DrawMeshSlot(bzMaterial *material, const bzM34 *,
                      void (*pass)(void *argument, int32_t pass), void *argument)
{
    // The engine's front faces are clockwise, whatever winding the last group drawn had.
    glFrontFace(GL_CW);
    OGL_DrawMesh(material, 0, pass, argument);
}

void OGL_DrawMeshIndexed(bzMaterialEntry *group, int32_t pass)
{
    if (!group || !group->part || !group->part->positions[0] || pass < 0 || pass >= kPasses)
        return;
    if (gCompiling)
    {
        group->displayLists[pass] = glGenLists(1);
        glNewList(group->displayLists[pass], GL_COMPILE);
    }
    else if (group->displayLists[pass])
    {
        glCallList(group->displayLists[pass]);
        return;
    }
    const bzModelPart *part = group->part;
    if (group->listIndexCount && group->listIndices)
    {
        SetArrays(part, static_cast<int32_t>(group->listBaseVertex), pass);
        glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(group->listIndexCount), GL_UNSIGNED_SHORT,
                       group->listIndices);
    }
    if (group->stripIndexCount && group->stripIndices)
    {
        SetArrays(part, static_cast<int32_t>(group->baseVertex), pass);
        glDrawElements(GL_TRIANGLE_STRIP, static_cast<GLsizei>(group->stripIndexCount),
                       GL_UNSIGNED_SHORT, group->stripIndices);
    }
    if (gCompiling)
        glEndList();
}

void OGL_DrawMeshSimple(bzMaterialEntry *group)
{
    OGL_DrawMeshIndexed(group, 0);
}

void OGL_DrawMaterialGroup(bzMaterialEntry *group, bzMaterial *material, const bzM34 *,
                           bzLump *owner, int32_t)
{
    glFrontFace(owner && (owner->flags & 0x2) ? GL_CCW : GL_CW);
    const SkinnedDraw skinned(owner, group ? group->part : nullptr);
    OGL_DrawMesh(material, 0, CallIndexed, group);
}

void OGL_DrawModelInstance(bzModel *model, const bzM34 *matrix, bzViewport *, bzLump *lump)
{
    if (!model || !model->part || !matrix)
        return;
    const float m[16] = {matrix->row[0].x, matrix->row[0].y, matrix->row[0].z, 0.0f,
                         matrix->row[1].x, matrix->row[1].y, matrix->row[1].z, 0.0f,
                         matrix->row[2].x, matrix->row[2].y, matrix->row[2].z, 0.0f,
                         matrix->row[3].x, matrix->row[3].y, matrix->row[3].z, 1.0f};
    glMatrixMode(GL_MODELVIEW);
    glLoadMatrixf(m);
    bzModelPart *part = model->part;
    const SkinnedDraw skinned(lump, part);
    for (int32_t g = 0; g < part->entryCount && part->entries; ++g)
    {
        bzMaterialEntry &group = part->entries[g];
        bzMaterial *material = group.material;
        if (!material)
            continue;
        const uint32_t flags = material->flags;
        material->flags |= kDepthAlwaysMask;
        OGL_DrawMesh(material, 0, CallIndexed, &group);
        material->flags = flags;
    }
}

int32_t OGL_BuildModelBuffers(bzModel *model)
{
    if (model && model->part && (model->part->flags & kRecorded))
    {
        DeleteLists(model->part);
        model->part->flags &= ~kRecorded;
    }
    return 0;
}

void OGL_FreeModelBuffers(bzModel *model)
{
    if (!model || !model->part)
        return;
    model->part->flags &= ~kRecorded;
    DeleteLists(model->part);
    // The baked layer colours are this back end's; they go with the model.
    for (uint32_t *&colours : model->part->layerColours)
    {
        bz_MemFree(colours);
        colours = nullptr;
    }
}

void OGL_UpdateModelVertices(bzModel *model)
{
    if (!model || !model->part)
        return;
    bzModelPart *part = model->part;
    // One hardware copy a model, made once and refreshed in place.
    if (part->positions[0] && part->vertexCount > 0)
    {
        const uint32_t bytes = static_cast<uint32_t>(part->vertexCount) * sizeof(bzV3);
        if (!part->positions[1])
            part->positions[1] = static_cast<bzV3 *>(bz_MemAlloc(bytes, 0));
        if (part->positions[1])
            std::memcpy(part->positions[1], part->positions[0], bytes);
    }
    part->flags &= ~kRecorded;
    DeleteLists(part);
}

void OGL_RebuildModelLists(bzModel *model)
{
    if (!model || !model->part)
        return;
    for (int32_t g = 0; g < model->part->entryCount && model->part->entries; ++g)
        BakeColours(model->part, model->part->entries[g]);
}

int32_t OGL_RebuildModelIndices(bzModel *model)
{
    if (!model || !model->part)
        return 0;
    bzModelPart *part = model->part;
    if ((part->flags & kKeepLists) || (model->flags & BZ_MODEL_SKINNED))
    {
        OGL_RebuildModelLists(model);
        return 0;
    }
    part->flags |= kRecorded;
    gCompiling = true;
    const bzM44 *camera = bzgOGLEffectCamera;
    bzgOGLEffectCamera = &kIdentity;
    for (int32_t g = 0; g < part->entryCount && part->entries; ++g)
    {
        bzMaterialEntry &group = part->entries[g];
        if (!group.material)
            continue;
        BakeColours(part, group);
        OGL_DrawMesh(group.material, 0, CallIndexed, &group);
    }
    gCompiling = false;
    bzgOGLEffectCamera = camera;
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    OGL_SetStageState(BZ_OGL_STAGE_LIGHTING, 0);
    glDisable(GL_DEPTH_TEST);
    glDepthMask(GL_FALSE);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
    glDisable(GL_FOG);
    glDisable(GL_ALPHA_TEST);
    return 0;
}

void OGL_SetDepthTest(bzMaterial *material)
{
    glDepthFunc(material && (material->flags & BZ_MATERIAL_DEPTH_ALWAYS) ? GL_ALWAYS : GL_LEQUAL);
}
