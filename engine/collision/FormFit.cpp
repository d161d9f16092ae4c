// Enclosing shapes fitted to a model's vertices.
#include "collision/FormFit.h"

#include "collision/Form.h"
#include "collision/ModelReading.h"
#include "collision/ShapeGeometry.h"
#include "core/Memory.h"
#include "maths/Matrix.h"
#include "maths/Vector.h"
#include "models/ModelAccess.h"

#include <cmath>

using namespace bzModelReading;

namespace
{
constexpr int32_t kScratchStack = 1;
constexpr float kBig = 3.4028235e38f;

bzBox ModelBox(const bzModel *model)
{
    return {model->boxMin, model->boxMax};
}

// The model's box without a mask; the box of the selected vertices with one (inverted when none
// is selected).
bzBox SelectionBox(const bzModel *model, const uint8_t *mask)
{
    return mask ? SelectedBox(model, mask) : ModelBox(model);
}

bzV3 Centre(const bzBox &box)
{
    bzV3 c;
    for (int32_t k = 0; k < 3; k++)
        c.v[k] = (box.min.v[k] + box.max.v[k]) * 0.5f;
    return c;
}

// One growth step: the sphere (centre, radius) moves towards p and grows just enough to hold
// it, over the axes in use.
void GrowTowards(bzV3 *centre, float *radius, const bzV3 &offset, float distanceSq)
{
    if (!(distanceSq > *radius * *radius))
        return;
    const float d = std::sqrt(distanceSq);
    const float move = 0.5f - *radius / (2.0f * d);
    for (int32_t k = 0; k < 3; k++)
        centre->v[k] += offset.v[k] * move;
    *radius = (*radius + d) * 0.5f;
}

} // namespace

bzShape *bz_Shape_FitSphere(void *owner, bzModel *model, const uint8_t *mask)
{
    PartReading reading(model);
    if (!reading.ok())
        return nullptr;
    const bzBox box = SelectionBox(model, mask);
    bzV3 centre = Centre(box);
    float radius = 0.0f;
    for (int32_t k = 0; k < 3; k++)
        radius = std::fmax(radius, (box.max.v[k] - box.min.v[k]) * 0.5f);
    const int32_t n = bz_GetModelVertexCount(model);
    for (int32_t i = 0; i < n; i++)
    {
        if (!Selected(mask, i))
            continue;
        const bzV3 p = Position(model, i);
        bzV3 offset;
        bz_V3_SubInto(&p, &centre, &offset);
        GrowTowards(&centre, &radius, offset, bz_V3_Dot(&offset, &offset));
    }
    bzShape *shape = bz_Shape_Create(owner, BZ_SHAPE_SPHERE, 0, 0, 0);
    if (shape)
    {
        bz_Shape_AsSphere(shape)->centre = centre;
        bz_Shape_AsSphere(shape)->radius = radius;
    }
    return shape;
}

bzShape *bz_Shape_FitTicTac(void *owner, bzModel *model, const uint8_t *mask)
{
    PartReading reading(model);
    if (!reading.ok())
        return nullptr;
    const bzBox box = SelectionBox(model, mask);
    const int32_t n = bz_GetModelVertexCount(model);
    bzV3 centre = Centre(box);
    int32_t bestAxis = 0;
    float bestRadius = 0.0f;
    bzV3 bestCentre = centre;
    for (int32_t a = 0; a < 3; a++)
    {
        const int32_t i = (a + 1) % 3, j = (i + 1) % 3;
        float radius = std::fmax(box.max.v[i] - box.min.v[i], box.max.v[j] - box.min.v[j]) * 0.5f;
        for (int32_t v = 0; v < n; v++)
        {
            if (!Selected(mask, v))
                continue;
            const bzV3 p = Position(model, v);
            bzV3 offset;
            bz_V3_SubInto(&p, &centre, &offset);
            offset.v[a] = 0.0f; // across the axis only
            GrowTowards(&centre, &radius, offset, bz_V3_Dot(&offset, &offset));
        }
        if (a == 0 || radius < bestRadius)
        {
            bestAxis = a;
            bestRadius = radius;
            bestCentre = centre;
        }
    }
    // Stretch the segment along the axis until its end spheres hold every vertex.
    const int32_t a = bestAxis;
    bzV3 start = bestCentre, end = bestCentre;
    for (int32_t v = 0; v < n; v++)
    {
        if (!Selected(mask, v))
            continue;
        const bzV3 p = Position(model, v);
        const bool below = p.v[a] < start.v[a];
        if (!below && !(p.v[a] > end.v[a]))
            continue;
        bzV3 *q = below ? &start : &end;
        bzV3 offset;
        bz_V3_SubInto(&p, q, &offset);
        const float along = offset.v[a];
        const float s = std::fmax(
            bestRadius * bestRadius - (bz_V3_Dot(&offset, &offset) - along * along), 0.0f);
        if (s < along * along)
            q->v[a] = below ? p.v[a] + std::sqrt(s) : p.v[a] - std::sqrt(s);
    }
    bzShape *shape = bz_Shape_Create(owner, BZ_SHAPE_TIC_TAC, 0, 0, 0);
    if (shape)
    {
        bzTicTacShape *t = bz_Shape_AsTicTac(shape);
        t->radius = bestRadius;
        t->segmentStart = start;
        t->segmentEnd = end;
    }
    return shape;
}

bzShape *bz_Shape_FitCuboid(void *owner, bzModel *model, const uint8_t *mask)
{
    PartReading reading(model);
    if (!reading.ok())
        return nullptr;
    const int32_t n = bz_GetModelVertexCount(model);
    int32_t count = 0;
    for (int32_t i = 0; i < n; i++)
        count += Selected(mask, i) ? 1 : 0;
    if (count == 0)
        return nullptr;
    const uint64_t bytes = static_cast<uint64_t>(count) * sizeof(bzV3);
    if (bytes > BZ_MEM_MAX_BLOCK)
        return nullptr;
    auto *points =
        static_cast<bzV3 *>(bz_TempStack_Alloc(kScratchStack, static_cast<uint32_t>(bytes), 0));
    if (!points)
        return nullptr;
    count = 0;
    for (int32_t i = 0; i < n; i++)
        if (Selected(mask, i))
            points[count++] = Position(model, i);
    bzM34 rotation;
    bzBox local;
    const float volume = FitMinimumVolumeBox(points, count, &rotation, &local);
    bz_TempStack_Free(kScratchStack, points);
    bzShape *shape = bz_Shape_Create(owner, BZ_SHAPE_CUBOID, 0, 0, 0);
    if (!shape)
        return nullptr;
    bzCuboidShape *cuboid = bz_Shape_AsCuboid(shape);
    const bzBox modelBox = ModelBox(model);
    if (volume < BoxVolume(&modelBox))
    {
        // The fit turns points into its own frame (p R); the placement goes back (R^T).
        cuboid->localMin = local.min;
        cuboid->localMax = local.max;
        bz_M34_SetIdentity(&cuboid->placement);
        for (int32_t r = 0; r < 3; r++)
            for (int32_t c = 0; c < 3; c++)
                cuboid->placement.row[r].v[c] = rotation.row[c].v[r];
    }
    else
    {
        cuboid->localMin = modelBox.min;
        cuboid->localMax = modelBox.max;
        bz_M34_SetIdentity(&cuboid->placement);
    }
    return shape;
}

bzShape *bz_Shape_FitRoundedBox(void *owner, bzModel *model, float factor, const uint8_t *mask)
{
    bzBox box;
    {
        PartReading reading(model);
        if (!reading.ok())
            return nullptr;
        box = SelectionBox(model, mask);
    }
    float largest = 0.0f, smallest = kBig;
    for (int32_t k = 0; k < 3; k++)
    {
        const float extent = box.max.v[k] - box.min.v[k];
        largest = std::fmax(largest, extent);
        smallest = std::fmin(smallest, extent);
    }
    const float r = std::fmin(largest * factor * 0.5f, smallest * 0.5f);
    bzShape *shape = bz_Shape_Create(owner, BZ_SHAPE_ROUNDED_POLYHEDRON, 8, 0, 0);
    if (!shape)
        return nullptr;
    bzPolyhedronShape *poly = bz_Shape_AsPolyhedron(shape);
    // x outermost, then y, then z; the minimum side first.
    int32_t corner = 0;
    for (int32_t x = 0; x < 2; x++)
        for (int32_t y = 0; y < 2; y++)
            for (int32_t z = 0; z < 2; z++)
            {
                const int32_t side[3] = {x, y, z};
                bzV3 &v = poly->hull.vertices[corner++];
                for (int32_t k = 0; k < 3; k++)
                    v.v[k] = side[k] ? box.max.v[k] - r : box.min.v[k] + r;
            }
    poly->roundingRadius = r;
    bz_Shape_Prepare(shape);
    return shape;
}

bzForm *bz_Form_CreateAlignedCuboidFromModel(void *owner, bzModel *model)
{
    if (!model)
        return nullptr;
    return FormOfOneShape(owner,
                          [model](bzForm *form)
                          {
                              bzShape *shape =
                                  bz_Shape_Create(form, BZ_SHAPE_ALIGNED_CUBOID, 0, 0, 0);
                              if (shape)
                                  *bz_Shape_Bounds(shape) = ModelBox(model);
                              return shape;
                          });
}

bzForm *bz_Form_CreateSphereFromModel(void *owner, bzModel *model)
{
    return FormOfOneShape(owner, [model](bzForm *form)
                          { return bz_Shape_FitSphere(form, model, nullptr); });
}

bzForm *bz_Form_CreateTicTacFromModel(void *owner, bzModel *model)
{
    return FormOfOneShape(owner, [model](bzForm *form)
                          { return bz_Shape_FitTicTac(form, model, nullptr); });
}

bzForm *bz_Form_CreateCuboidFromModel(void *owner, bzModel *model)
{
    return FormOfOneShape(owner, [model](bzForm *form)
                          { return bz_Shape_FitCuboid(form, model, nullptr); });
}

bzForm *bz_Form_CreateRoundedBoxFromModel(void *owner, bzModel *model, float factor)
{
    return FormOfOneShape(owner, [model, factor](bzForm *form)
                          { return bz_Shape_FitRoundedBox(form, model, factor, nullptr); });
}

bzForm *bz_Form_CreateFromModelFaces(bzModel *model, float factor)
{
    return bz_Form_CreateRoundedBoxFromModel(nullptr, model, factor);
}
