#include "effects/Dent.h"

#include "collision/Form.h"
#include "collision/Shape.h"
#include "collision/ShapePair.h"
#include "collision/SweptCollision.h"
#include "core/Error.h"
#include "core/Memory.h"
#include "device/RenderTable.h"
#include "maths/Matrix.h"
#include "maths/Vector.h"

#include <cfloat>
#include <cmath>
#include <cstring>

namespace
{
bzDentServices gServices;
void *gSession;

float Clamp(float v, float lo, float hi)
{
    return v < lo ? lo : (v > hi ? hi : v);
}

void SegmentNearest(const bzV3 &a, const bzV3 &b, const bzV3 &p, bzV3 *out)
{
    bzV3 ab, ap;
    bz_V3_SubInto(&b, &a, &ab);
    bz_V3_SubInto(&p, &a, &ap);
    const float len2 = bz_V3_LengthSq(&ab);
    const float t = len2 > 0.0f ? Clamp(bz_V3_Dot(&ap, &ab) / len2, 0.0f, 1.0f) : 0.0f;
    bz_V3_AddScaledInto(&a, &ab, t, out);
}

// The nearest point of a convex hull: p inside; else the nearest of the face projections that
// lie within their face and the nearest points of the edges.
bool HullNearest(const bzHull *hull, const bzV3 &p, bzV3 *out)
{
    if (!hull || !hull->vertexCount || !hull->vertices)
        return false;
    bool inside = hull->faceCount > 0 && hull->planes;
    for (int32_t f = 0; inside && f < hull->faceCount; f++)
        if (bz_V3_Dot(&hull->planes[f].n, &p) - hull->planes[f].d > 0.0f)
            inside = false;
    if (inside)
    {
        *out = p;
        return true;
    }
    float best = FLT_MAX;
    bzV3 bestPoint = hull->vertices[0];
    auto consider = [&](const bzV3 &c)
    {
        const float d = bz_V3_DistanceSq(&c, &p);
        if (d < best)
        {
            best = d;
            bestPoint = c;
        }
    };
    for (int32_t f = 0; hull->planes && f < hull->faceCount; f++)
    {
        const bzPlane &pl = hull->planes[f];
        const float dist = bz_V3_Dot(&pl.n, &p) - pl.d;
        if (dist <= 0.0f)
            continue;
        bzV3 c;
        bz_V3_AddScaledInto(&p, &pl.n, -dist, &c);
        bool within = true;
        for (int32_t g = 0; within && g < hull->faceCount; g++)
            if (g != f && bz_V3_Dot(&hull->planes[g].n, &c) - hull->planes[g].d > 1e-5f)
                within = false;
        if (within)
            consider(c);
    }
    for (int32_t e = 0; hull->edges && e < hull->edgeCount; e++)
    {
        const bzHullEdge &edge = hull->edges[e];
        if (edge.a >= hull->vertexCount || edge.b >= hull->vertexCount)
            continue;
        bzV3 c;
        SegmentNearest(hull->vertices[edge.a], hull->vertices[edge.b], p, &c);
        consider(c);
    }
    for (int32_t v = 0; v < hull->vertexCount; v++)
        consider(hull->vertices[v]);
    *out = bestPoint;
    return true;
}

void HalfSpaceNearest(const bzPlane &plane, const bzV3 &p, bzV3 *out)
{
    const float d = bz_V3_Dot(&plane.n, &p) - plane.d;
    if (d > 0.0f)
        bz_V3_AddScaledInto(&p, &plane.n, -d, out);
    else
        *out = p;
}

void Rebuild(bzModel *model, uint32_t *partFlags)
{
    *partFlags &= ~BZ_PART_EDITING;
    if ((*partFlags & BZ_PART_REBUILD) && bzgRenderTable.PDBuildModelBuffers &&
        bzgRenderTable.PDBuildModelBuffers(model) == 0)
        *partFlags &= ~BZ_PART_REBUILD;
}

// The per-vertex hash of the randomness: the same for the same position.
uint32_t PositionHash(const bzV3 &p)
{
    uint32_t x, y, z;
    std::memcpy(&x, &p.x, 4);
    std::memcpy(&y, &p.y, 4);
    std::memcpy(&z, &p.z, 4);
    return ((x ^ y ^ z) * 1664525u + 7271263u) & 0xFFFFFFu;
}

// Dents the positions; fills the bytes of a record when one is given. Returns the largest
// displacement.
void DentPositions(bzDentRequest *r, bzV3 *positions, uint32_t count, bzDentRecord *record)
{
    const float reach = r->depth * r->spread;
    float s = r->depth != 0.0f ? r->randomness / r->depth : 0.0f;
    if (!(s <= 1.0f))
        s = s > 1.0f ? 1.0f : 0.0f;
    r->largest = 0.0f;
    r->largestIndex = 0;
    const bzV3 &dir = *r->direction;
    uint8_t *bytes = record ? reinterpret_cast<uint8_t *>(record + 1) : nullptr;
    for (uint32_t i = 0; i < count; i++)
    {
        if (bytes)
            bytes[i] = 0;
        bzV3 &p = positions[i];
        bzV3 c;
        if (!bz_Dent_ClosestPoint(r->shape, &p, &c))
            return;
        bzV3 o;
        bz_V3_SubInto(&p, &c, &o);
        float a = bz_V3_Dot(&o, &dir);
        if (a > reach)
            continue;
        const float o2 = bz_V3_LengthSq(&o);
        const float rr = a * a >= o2 ? 0.0f : std::sqrt(o2 - a * a);
        if (rr > r->radius)
            continue;
        if (a < 0.0f)
        {
            if (a < -r->backLimit)
                continue;
            a = 0.0f;
        }
        float f = (1.0f - bz_SinDeg((rr / r->radius - 0.5f) * 180.0f)) * 0.5f;
        if (!(f > 0.0f))
            f = 0.0f;
        float m = ((reach - a) / r->spread) * f;
        if (s != 0.0f)
            m += s * m * (static_cast<float>(PositionHash(p)) * 1.1920929e-7f - 1.0f);
        if (record)
        {
            const float v = m / record->step + 0.5f;
            const uint32_t b = v <= 0.0f ? 0u : (v >= 255.0f ? 255u : static_cast<uint32_t>(v));
            bytes[i] = static_cast<uint8_t>(b);
            m = static_cast<float>(b) * record->step;
        }
        if (m > r->largest)
        {
            r->largest = m;
            r->largestIndex = i;
        }
        bz_V3_AddScaled(&p, &dir, m);
    }
}
} // namespace

void bz_Dent_SetServices(const bzDentServices *services)
{
    gServices = services ? *services : bzDentServices{};
    gSession = nullptr;
}

int32_t bz_Dent_ClosestPoint(const bzShape *shape, const bzV3 *pp, bzV3 *out)
{
    if (!shape || !pp || !out)
        return 0;
    const bzV3 &p = *pp;
    switch (shape->kind)
    {
    case BZ_SHAPE_ALIGNED_CUBOID:
    {
        const bzBox &b = *bz_Shape_Bounds(shape);
        for (int k = 0; k < 3; k++)
            out->v[k] = Clamp(p.v[k], b.min.v[k], b.max.v[k]);
        return 1;
    }
    case BZ_SHAPE_POLYHEDRON: return HullNearest(bz_Shape_Hull(shape), p, out) ? 1 : 0;
    case BZ_SHAPE_WIRE_FRAME:
    {
        const bzHull *h = bz_Shape_Hull(shape);
        if (!h || !h->vertices || h->vertexCount < 1)
            return 0;
        if (h->vertexCount == 2)
            SegmentNearest(h->vertices[0], h->vertices[1], p, out);
        else
            *out = h->vertices[0];
        return 1;
    }
    case BZ_SHAPE_POLYGON:
    {
        const bzHull *h = bz_Shape_Hull(shape);
        if (!h || !h->planes || h->faceCount < 1)
            return 0;
        // Onto the polygon's plane, then back inside the edge plane that sticks out most.
        bzV3 c;
        const float d = bz_V3_Dot(&h->planes[0].n, &p) - h->planes[0].d;
        bz_V3_AddScaledInto(&p, &h->planes[0].n, -d, &c);
        int32_t worst = -1;
        float most = 0.0f;
        for (int32_t f = 1; f < h->faceCount; f++)
        {
            // The polygon's other face is its plane turned round, not an edge.
            if (bz_V3_Dot(&h->planes[f].n, &h->planes[0].n) < -0.999f)
                continue;
            const float e = bz_V3_Dot(&h->planes[f].n, &c) - h->planes[f].d;
            if (e > most)
            {
                most = e;
                worst = f;
            }
        }
        if (worst >= 0)
            bz_V3_AddScaled(&c, &h->planes[worst].n, -most);
        *out = c;
        return 1;
    }
    case BZ_SHAPE_SPHERE:
    {
        const bzSphereShape *s = static_cast<const bzSphereShape *>(shape);
        bzV3 d;
        bz_V3_SubInto(&p, &s->centre, &d);
        const float len = bz_V3_Length(&d);
        if (len <= s->radius || len <= 0.0f)
            *out = p;
        else
            bz_V3_AddScaledInto(&s->centre, &d, s->radius / len, out);
        return 1;
    }
    case BZ_SHAPE_TIC_TAC:
    {
        const bzTicTacShape *t = static_cast<const bzTicTacShape *>(shape);
        bzV3 axisPoint;
        SegmentNearest(t->segmentStart, t->segmentEnd, p, &axisPoint);
        bzV3 d;
        bz_V3_SubInto(&p, &axisPoint, &d);
        const float len = bz_V3_Length(&d);
        if (len <= t->radius || len <= 0.0f)
            *out = p;
        else
            bz_V3_AddScaledInto(&axisPoint, &d, 1.0f - (len - t->radius) / len, out);
        return 1;
    }
    case BZ_SHAPE_CUBOID:
    {
        const bzCuboidShape *c = static_cast<const bzCuboidShape *>(shape);
        bzM34 inverse;
        bz_InverseM34Into(&c->placement, &inverse);
        bzV3 local;
        bz_M34_TransformPointInto(&inverse, &local, &p);
        for (int k = 0; k < 3; k++)
            local.v[k] = Clamp(local.v[k], c->localMin.v[k], c->localMax.v[k]);
        bz_M34_TransformPointInto(&c->placement, out, &local);
        return 1;
    }
    case BZ_SHAPE_ALIGNED_HALF_SPACE:
    {
        bzPlane plane;
        if (!bz_AlignedHalfSpace_Plane(static_cast<const bzHalfSpaceShape *>(shape), &plane))
            return 0;
        HalfSpaceNearest(plane, p, out);
        return 1;
    }
    case BZ_SHAPE_HALF_SPACE:
        HalfSpaceNearest(static_cast<const bzHalfSpaceShape *>(shape)->plane, p, out);
        return 1;
    case BZ_SHAPE_ROUNDED_POLYHEDRON:
    {
        const bzPolyhedronShape *r = static_cast<const bzPolyhedronShape *>(shape);
        bzV3 c;
        if (!HullNearest(&r->hull, p, &c))
            return 0;
        bzV3 d;
        bz_V3_SubInto(&p, &c, &d);
        const float len = bz_V3_Length(&d);
        if (len >= r->roundingRadius && len > 0.0f)
            bz_V3_AddScaledInto(&c, &d, r->roundingRadius / len, out);
        else
            *out = p;
        return 1;
    }
    default: return 0;
    }
}

int32_t bz_Dent_NearestPoint(const bzShape *shapes, const bzV3 *p, bzV3 *out)
{
    if (!p || !out)
        return 0;
    float best = FLT_MAX;
    int32_t found = 0;
    for (const bzShape *s = shapes; s; s = s->next)
    {
        bzV3 c;
        if (!bz_Dent_ClosestPoint(s, p, &c))
            continue;
        const float d = bz_V3_DistanceSq(&c, p);
        if (d < best)
        {
            best = d;
            *out = c;
            found = 1;
        }
    }
    return found;
}

int32_t bz_Dent_LimitDepth(const bzForm *target, bzDentRequest *r)
{
    if (!target || !r || !r->shape || !r->direction)
    {
        bzgLastError = BZ_ERROR_INVALID_PARAMETER;
        return BZ_ERROR_INVALID_PARAMETER;
    }
    // A form of its own holding a copy of the request's shape.
    bzForm *form = bz_Form_Alloc(nullptr, BZ_SHAPE_NULL);
    if (!form)
        return bzgLastError = BZ_ERROR_NO_MEMORY;
    form->firstShape = bz_Shape_Clone(form, r->shape);
    if (!form->firstShape)
    {
        bz_Form_Free(form);
        return bzgLastError = BZ_ERROR_NO_MEMORY;
    }
    form->firstShape->next = nullptr;
    bz_Form_CalcBounds(form, 1);
    if (bz_Form_IntersectForm(target, nullptr, form, nullptr))
        r->depth = 0.0f;
    else
    {
        const float reach = r->depth * r->spread;
        const bzV3 motion = {
            {{r->direction->v[0] * reach, r->direction->v[1] * reach, r->direction->v[2] * reach}}};
        float time = BZ_SWEPT_NO_HIT;
        if (bz_Form_SweptCollision(target, form, &motion, &time) && time >= 0.0f && time <= 1.0f)
            r->depth *= time;
    }
    bz_Form_Free(form);
    return BZ_ERROR_NONE;
}

int32_t bz_Dent_Overlaps(const bzDentRequest *r, const bzModel *model)
{
    bzV3 *positions = nullptr;
    uint32_t count = 0;
    uint32_t *flags = nullptr;
    if (!r || !r->shape || !gServices.getPart ||
        !gServices.getPart(const_cast<bzModel *>(model), &positions, &count, &flags) || !count)
        return 1;
    const float grow = r->depth * r->spread + r->radius + (r->backLimit > 0 ? r->backLimit : 0);
    bzBox box = {positions[0], positions[0]};
    for (uint32_t i = 1; i < count; i++)
        for (int k = 0; k < 3; k++)
        {
            box.min.v[k] = std::fmin(box.min.v[k], positions[i].v[k]);
            box.max.v[k] = std::fmax(box.max.v[k], positions[i].v[k]);
        }
    bzPlane plane;
    bool half = false;
    if (r->shape->kind == BZ_SHAPE_HALF_SPACE)
    {
        plane = static_cast<const bzHalfSpaceShape *>(r->shape)->plane;
        half = true;
    }
    else if (r->shape->kind == BZ_SHAPE_ALIGNED_HALF_SPACE)
        half = bz_AlignedHalfSpace_Plane(static_cast<const bzHalfSpaceShape *>(r->shape), &plane);
    if (half)
    {
        // The box corner deepest towards the solid.
        float least = 0.0f;
        for (int k = 0; k < 3; k++)
            least += plane.n.v[k] * (plane.n.v[k] > 0 ? box.min.v[k] : box.max.v[k]);
        return least - plane.d > grow ? 1 : 0;
    }
    const bzBox *bounds = bz_Shape_Bounds(r->shape);
    if (!bounds)
        return 1;
    for (int k = 0; k < 3; k++)
        if (box.min.v[k] > bounds->max.v[k] + grow || box.max.v[k] < bounds->min.v[k] - grow)
            return 1;
    return 0;
}

int32_t bz_Dent_Apply(bzModel *model, bzDentRequest *r, bzV3 *point)
{
    if (!r || !r->shape || !r->direction)
        return 0;
    const float reach = r->depth * r->spread;
    if (!(reach >= 0.05f) || !(r->radius > 0.0f) || !(r->spread != 0.0f))
        return 0;
    bzV3 probe = {};
    if (!bz_Dent_ClosestPoint(r->shape, &probe, &probe))
        return 0;
    if (!model)
    {
        if (!point)
            return 0;
        DentPositions(r, point, 1, nullptr);
        return r->largest > 0.0f ? 1 : 0;
    }
    bzV3 *positions = nullptr;
    uint32_t count = 0;
    uint32_t *partFlags = nullptr;
    if (!gServices.getPart || !gServices.getPart(model, &positions, &count, &partFlags) ||
        !partFlags)
        return 0;
    if (bz_Dent_Overlaps(r, model))
    {
        r->missed = 1;
        return 0;
    }
    r->missed = 0;
    *partFlags |= BZ_PART_REBUILD | BZ_PART_EDITING;
    bzDentRecord *record = nullptr;
    if (r->record)
    {
        record = static_cast<bzDentRecord *>(
            bz_TempStack_Alloc(1, static_cast<uint32_t>(sizeof(bzDentRecord) + count + 1), 0));
        if (record)
        {
            record->model = model;
            for (int k = 0; k < 3; k++)
                record->direction[k] = r->direction->v[k];
            record->step = (r->depth + r->randomness) / 255.0f;
            if (!(record->step > 0.0f))
            {
                bz_TempStack_Free(1, record);
                record = nullptr;
            }
        }
    }
    DentPositions(r, positions, count, record);
    if (record)
    {
        if (r->largest > 0.0f)
        {
            if (!gSession)
                gSession = Dent_RegisterSession();
            if (gSession && gServices.recordEvent)
                gServices.recordEvent(gSession, record);
        }
        bz_TempStack_Free(1, record);
    }
    Rebuild(model, partFlags);
    return r->largest > 0.0f ? 1 : 0;
}

int32_t bz_Dent_ApplyToModel(bzModel *model, bzDentRequest *r)
{
    bzV3 *positions = nullptr;
    uint32_t count = 0;
    uint32_t *flags = nullptr;
    if (!model || !gServices.getPart || !gServices.getPart(model, &positions, &count, &flags))
        return 0;
    return bz_Dent_Apply(model, r, nullptr);
}

void *Dent_RegisterSession()
{
    if (!gServices.createSession)
        return nullptr;
    return gServices.createSession("DENT", 0, Dent_RecordSize, Dent_Playback, 2, 1);
}

uint32_t Dent_RecordSize(void *, const void *record)
{
    const bzDentRecord *r = static_cast<const bzDentRecord *>(record);
    bzV3 *positions = nullptr;
    uint32_t count = 0;
    uint32_t *flags = nullptr;
    if (!r || !gServices.getPart || !gServices.getPart(r->model, &positions, &count, &flags))
        return static_cast<uint32_t>(sizeof(bzDentRecord));
    return static_cast<uint32_t>(sizeof(bzDentRecord)) + count;
}

void Dent_Playback(void *, const void *data, uint32_t, void *, float factor)
{
    const bzDentRecord *r = static_cast<const bzDentRecord *>(data);
    bzV3 *positions = nullptr;
    uint32_t count = 0;
    uint32_t *partFlags = nullptr;
    if (!r || !gServices.getPart || !gServices.getPart(r->model, &positions, &count, &partFlags) ||
        !partFlags)
        return;
    *partFlags |= BZ_PART_REBUILD | BZ_PART_EDITING;
    const float step = r->step * factor;
    const uint8_t *bytes = reinterpret_cast<const uint8_t *>(r + 1);
    const bzV3 dir = {{{r->direction[0], r->direction[1], r->direction[2]}}};
    for (uint32_t i = 0; i < count; i++)
        bz_V3_AddScaled(&positions[i], &dir, static_cast<float>(bytes[i]) * step);
    Rebuild(r->model, partFlags);
}
