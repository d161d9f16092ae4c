#include "render/ParticleModelDraw.h"

#include "device/RenderTable.h"
#include "device/ViewportRecord.h"
#include "maths/Matrix.h"
#include "maths/Vector.h"
#include "models/Material.h"
#include "models/Model.h"
#include "render/RenderSlots.h"
#include "scene/Lump.h"
#include "scene/ParticleSystem.h"

#include <cmath>

namespace
{
constexpr float kDegrees = 57.29578f;

// The point lies inside the camera's side planes (on a plane counts as inside).
bool InsideSidePlanes(const bzV3 &p, const bzViewport *v)
{
    const float sx = v->sideX.x, sz = v->sideX.z, ty = v->sideY.y, tz = v->sideY.z;
    return sz * p.x - sx * p.z <= 0.0f && sz * p.x + sx * p.z >= 0.0f &&
           tz * p.y - ty * p.z <= 0.0f && tz * p.y + ty * p.z >= 0.0f;
}

// The model's mesh under the matrix: each shown material entry through slot 80 with the indexed
// drawing of slot 94 as its pass function.
void DrawModelMesh(const bzModel *model, const bzM34 *matrix, bzMaterial *layerMaterial)
{
    if (!bzgRenderTable.PDDrawMesh)
        return;
    const auto draw = bzSlot::As<PDDrawMeshPassFn>(bzgRenderTable.PDDrawMesh);
    const auto pass = reinterpret_cast<PDMeshPassFn>(bzgRenderTable.PDDrawMeshIndexed);
    bzModelPart *part = model->part;
    for (int32_t i = 0; i < part->entryCount; ++i)
    {
        bzMaterialEntry *entry = &part->entries[i];
        if (entry->entryFlags & 1)
            continue; // hidden
        bzMaterial *material = entry->material ? entry->material : layerMaterial;
        if (!material)
            material = bz_GetDefaultMaterial();
        draw(material, matrix, pass, entry);
    }
}

void DrawLayer(const bzParticleSystem *s, const bzParticleLayer &layer, bzViewport *v)
{
    bzSlot::SetDepthTest(layer.material);
    for (const bzParticle *p = layer.head; p; p = p->next)
    {
        const bzModel *model = p->model ? p->model : s->model;
        if (!model || !model->part || model->part->entryCount < 1)
            continue;
        const float r = bz_V3_Length(&model->centre) + model->radius;
        bzV3 at;
        bz_M34_TransformPointInto(&v->viewMatrix, &at, &p->position);
        // Written so that a position or radius that is not a number is passed over.
        if (!(at.z >= v->nearClip + r && at.z <= v->farClip - r) || !InsideSidePlanes(at, v))
            continue;
        const bzV3 axis = {p->spinX, p->spinY, p->spinZ};
        const float turn = (p->spinPhase + p->age) * bz_V3_Dot(&axis, &axis) * kDegrees;
        bzM34 spin;
        bz_M34_FromAxisAngle(&spin, &axis, turn);
        spin.row[3] = p->position;
        bzM34 view;
        bz_MulM34Into(&v->viewMatrix, &view, &spin);
        if (bzgRenderTable.PDSetWorldMatrix)
            bzgRenderTable.PDSetWorldMatrix(&view, v);
        DrawModelMesh(model, &view, layer.material);
    }
}
} // namespace

void bz_ParticleEmitter_Render(bzLump *lump, bzViewport *v)
{
    if (!lump || !v || lump->type != BZ_LUMP_TYPE_PARTICLE_EMITTER || !lump->object)
        return;
    const auto *s = static_cast<const bzParticleSystem *>(lump->object);
    for (const bzParticleLayer &layer : s->layers)
        if (layer.count > 0)
            DrawLayer(s, layer, v);
}
