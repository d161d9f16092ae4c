#include "scene/ParticleSystem.h"

#include "core/Clock.h"
#include "core/Debug.h"
#include "core/Memory.h"
#include "core/Random.h"
#include "device/RenderTable.h"
#include "maths/Matrix.h"
#include "maths/RandomVector.h"
#include "maths/Vector.h"
#include "scene/EffectServices.h"
#include "scene/Lump.h"
#include "scene/LumpClone.h"
#include "scene/SceneServices.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace
{
constexpr uint32_t kPerBlock = 512;

bzParticleSystem *gActive;    // the active list
bzParticleSystem *gPending;   // systems whose lump subtree goes after the walk
bzParticleSystem **gWalkNext; // the walk's next system while the update runs, else null
bzParticleSystem *gWalkNextValue;
bzParticle *gFree;
int32_t gPool;
int32_t gSystemCount;
int32_t gActiveParticles;
int32_t gParticlesDrawn;
int32_t gEmittersDrawn;
int32_t gOn = 1;
int32_t gFrozen;
bzParticleFormServices gForms;

void ReleaseHook(bzLump *, void *object)
{
    bz_ParticleSystem_Free(static_cast<bzParticleSystem *>(object));
}
void TakeHook(bzLump *lump, void *object)
{
    static_cast<bzParticleSystem *>(object)->lump = lump;
}
void UnlinkHook(bzLump *, void *object)
{
    static_cast<bzParticleSystem *>(object)->lump = nullptr;
}
bzModel *GetModelHook(const void *object)
{
    return static_cast<const bzParticleSystem *>(object)->model;
}

// Installed again by every creation, so that a system never lives without its release.
void InstallHooks()
{
    const bzLumpObjectHooks hooks = {TakeHook, ReleaseHook, UnlinkHook, GetModelHook, nullptr};
    bz_Lump_SetObjectHooks(BZ_LUMP_TYPE_PARTICLE_EMITTER, &hooks);
}

void PushActive(bzParticleSystem *s)
{
    s->next = gActive;
    gActive = s;
    s->flags |= BZ_PS_LISTED;
}

// Takes the system off the active list; a walk in progress steps past it.
void RemoveActive(bzParticleSystem *s)
{
    if (gWalkNext && gWalkNextValue == s)
        gWalkNextValue = s->next;
    for (bzParticleSystem **p = &gActive; *p; p = &(*p)->next)
        if (*p == s)
        {
            *p = s->next;
            break;
        }
    s->next = nullptr;
    s->flags &= ~BZ_PS_LISTED;
}

void RemovePending(bzParticleSystem *s)
{
    if (!s->pending)
        return;
    for (bzParticleSystem **p = &gPending; *p; p = &(*p)->pendingNext)
        if (*p == s)
        {
            *p = s->pendingNext;
            break;
        }
    s->pendingNext = nullptr;
    s->pending = 0;
}

void GiveBackParticles(bzParticleSystem *s)
{
    for (bzParticleLayer &layer : s->layers)
    {
        while (layer.head)
        {
            bzParticle *p = layer.head;
            layer.head = p->next;
            p->next = gFree;
            gFree = p;
        }
        layer.count = 0;
    }
}

void FreeShapePoints(bzParticleSystem *s)
{
    if ((s->shapeKind == BZ_PARTICLE_SHAPE_CLOUD || s->shapeKind == BZ_PARTICLE_SHAPE_POLYLINE) &&
        s->shape2.points)
        bz_MemFree(s->shape2.points);
    s->shape1.pointCount = 0;
    s->shape2.points = nullptr;
}

void ReleaseReferences(bzParticleSystem *s)
{
    bz_Scene_ReleaseImgMap(s->texture);
    s->texture = nullptr;
    for (bzParticleLayer &layer : s->layers)
    {
        bz_Scene_ReleaseMaterial(layer.material);
        layer.material = nullptr;
    }
    bz_Scene_ReleaseModel(s->model);
    s->model = nullptr;
    if (s->auxiliary)
        bz_MemFree(s->auxiliary);
    s->auxiliary = nullptr;
    FreeShapePoints(s);
}

// A random float in [a, b] from one 15-bit draw.
float Between(float a, float b)
{
    return a + (b - a) * bz_RandomUnit();
}

// The exponential approximation of the drag factor.
float DragFactor(float x)
{
    const float k = 0.044273783f;
    return 1.0f +
           k * x * (16.0f + k * (16.0f * x - 1.0f) * (8.0f + 0.11806342f * (16.0f * x - 2.0f)));
}

// A random blend of all points: each weighted by a random number in [0, 1].
void Blend(const bzV3 *points, uint32_t count, bzV3 *out)
{
    bzV3 sum = {};
    float weights = 0.0f;
    for (uint32_t i = 0; i < count; i++)
    {
        const float w = bz_RandomUnit();
        bz_V3_AddScaled(&sum, &points[i], w);
        weights += w;
    }
    if (weights > 0.0f)
        bz_V3_Scale(&sum, 1.0f / weights);
    else
        sum = points[0];
    *out = sum;
}

void ShapePosition(const bzParticleSystem *s, const bzM34 *world, bzV3 *out)
{
    bzV3 local = {};
    switch (s->shapeKind)
    {
    case BZ_PARTICLE_SHAPE_RECTANGLE:
        local.x = Between(-s->shape1.width * 0.5f, s->shape1.width * 0.5f);
        local.y = Between(-s->shape2.height * 0.5f, s->shape2.height * 0.5f);
        break;
    case BZ_PARTICLE_SHAPE_RING:
    {
        const float angle = Between(0.0f, 360.0f);
        const float radius = Between(s->shape1.width, s->shape2.height);
        local.x = -bz_SinDeg(angle) * radius;
        local.y = bz_CosDeg(angle) * radius;
        break;
    }
    case BZ_PARTICLE_SHAPE_CLOUD:
    {
        const uint32_t n = s->shape1.pointCount;
        if (!n || !s->shape2.points)
        {
            *out = world->row[3];
            return;
        }
        Blend(s->shape2.points, n, &local);
        if (n == 8)
        {
            bzV3 second;
            Blend(s->shape2.points, n, &second);
            bz_V3_Lerp(&second, &local, &local, bz_RandomUnit());
        }
        break;
    }
    case BZ_PARTICLE_SHAPE_POLYLINE:
    {
        const uint32_t n = s->shape1.pointCount;
        if (n < 2 || !s->shape2.points)
        {
            *out = world->row[3];
            return;
        }
        const int32_t last = static_cast<int32_t>(s->flags & BZ_PS_CLOSED ? n - 1 : n - 2);
        const uint32_t i = static_cast<uint32_t>(bz_RandomInt(0, last));
        const float t = bz_RandomUnit();
        const bzV3 &a = s->shape2.points[(i + 1) % n];
        const bzV3 &b = s->shape2.points[i];
        for (int k = 0; k < 3; k++)
            local.v[k] = (1.0f - t) * a.v[k] + t * b.v[k];
        break;
    }
    default: *out = world->row[3]; return;
    }
    bz_M34_TransformPointInto(world, out, &local);
}

int16_t Delta(bzColour end, bzColour start, int shift)
{
    return static_cast<int16_t>(static_cast<int32_t>((end >> shift) & 0xFF) -
                                static_cast<int32_t>((start >> shift) & 0xFF));
}

// Emits one particle; false when none can be had.
bool Emit(bzParticleSystem *s, const bzM34 *world, float cycle)
{
    bzParticle *p = gFree;
    if (p)
        gFree = p->next;
    else
    {
        if (!gPool && bz_ParticleSystem_InitPool() != BZ_ERROR_NONE)
            return false;
        p = static_cast<bzParticle *>(bz_Pool_Alloc(gPool, 0));
        if (!p)
        {
            bzgLastError = BZ_ERROR_NO_MEMORY;
            return false;
        }
    }
    std::memset(static_cast<void *>(p), 0, sizeof *p);
    p->next = s->layers[0].head;
    s->layers[0].head = p;

    const float phase = s->flags & BZ_PS_RANDOM_PHASE ? Between(0.0f, cycle - 1.0f) : 0.0f;
    ShapePosition(s, world, &p->position);

    bzV3 direction = s->direction;
    if (s->flags & BZ_PS_CONE)
        bz_RandomVectorInCone(&s->direction, &direction, s->coneMin, s->coneMax);
    if (!(s->flags & BZ_PS_WORLD_DIRECTION))
        bz_RotateV3Into(world, &direction, &direction);
    if (s->launchOffset != 0.0f)
        bz_V3_AddScaled(&p->position, &direction, s->launchOffset);
    const float speed = s->speed * Between(1.0f - s->speedVariance, 1.0f + s->speedVariance);
    bz_V3_ScaleInto(&direction, &p->velocity, speed);
    if (s->inheritedVelocity)
        bz_V3_Add(&p->velocity, s->inheritedVelocity);
    p->age = s->initialAge;
    if (!s->model)
    {
        p->framePhase = phase;
        p->startColour = s->startColour;
        p->deltaRG[0] = Delta(s->endColour, s->startColour, 16);
        p->deltaRG[1] = Delta(s->endColour, s->startColour, 8);
        p->deltaBA[0] = Delta(s->endColour, s->startColour, 0);
        p->deltaBA[1] = Delta(s->endColour, s->startColour, 24);
    }
    else
    {
        p->model = s->model;
        bzV3 axis;
        bz_RandomUnitVector(&axis);
        const float length = std::sqrt(Between(5.0f, 15.0f));
        bz_V3_Scale(&axis, length);
        p->spinX = axis.x;
        p->spinY = axis.y;
        p->spinZ = axis.z;
        p->spinPhase = Between(0.0f, length);
    }
    s->layers[0].count++;
    return true;
}

void Collide(bzParticleSystem *s, bzParticle *p, const bzV3 *old, const bzM34 *world)
{
    if (!s->collisionForm || !gForms.containsPoint || !gForms.rayIntersect)
        return;
    bzM34 inverse;
    bz_InverseM34Into(world, &inverse);
    bzV3 local;
    bz_M34_TransformPointInto(&inverse, &local, &p->position);
    if (gForms.containsPoint(s->collisionForm, &local))
        return;
    bzM34 previous;
    bz_InverseM34Into(&s->cachedWorld, &previous);
    bzV3 oldLocal;
    bz_M34_TransformPointInto(&previous, &oldLocal, old);
    float t = 0.0f;
    bzV3 normal = {};
    if (!gForms.rayIntersect(s->collisionForm, &local, &oldLocal, &t, &normal))
    {
        p->position = *old;
        return;
    }
    bz_RotateV3Into(world, &normal, &normal);
    bzV3 back;
    bz_V3_SubInto(old, &p->position, &back);
    bz_V3_AddScaled(&p->position, &back, t);
    bz_V3_AddScaled(&p->position, &normal, -0.01f);
    bz_V3_AddScaled(&p->velocity, &normal, -0.5f * bz_V3_Dot(&p->velocity, &normal));
}

void Step(bzParticleSystem *s, float dt)
{
    bzM34 world;
    if (!(s->flags & BZ_PS_STATIC))
    {
        bz_Lump_GetRelativeMatrix(&world, s->lump, nullptr);
        s->flags &= ~BZ_PS_CACHE_VALID;
    }
    else
    {
        if (!(s->flags & BZ_PS_CACHE_VALID))
            bz_Lump_GetRelativeMatrix(&s->cachedWorld, s->lump, nullptr);
        s->flags |= BZ_PS_CACHE_VALID;
        world = s->cachedWorld;
    }
    bzV3 attractor = {};
    const bool attract = (s->flags & BZ_PS_ATTRACTOR) && s->attractor;
    if (attract)
    {
        bzM34 m;
        bz_Lump_GetRelativeMatrix(&m, s->attractor, nullptr);
        attractor = m.row[3];
    }
    const float ageStep = s->particleLife > 0.0f ? dt / s->particleLife : 0.0f;
    float radiusSq = 1.0f;
    const float maxSpeedSq = s->maxSpeed * s->maxSpeed;
    const float minDistSq = s->attractorMinDistance * s->attractorMinDistance;
    const float rangeSq = s->attractorRange * s->attractorRange;
    float drag = 1.0f;
    if (s->flags & BZ_PS_DRAG)
    {
        drag = DragFactor(-dt * s->drag);
        if (!(drag > 0.0f))
            drag = 0.0f;
    }
    const float cycle = s->frameFactors[0] * s->frameFactors[1];

    for (int32_t l = 0; l < 2; l++)
    {
        bzParticleLayer &layer = s->layers[l];
        layer.count = 0;
        bzParticle **link = &layer.head;
        while (*link)
        {
            bzParticle *p = *link;
            p->age += ageStep;
            if (p->age > 1.0f || p->age < 0.0f || std::isnan(p->age))
            {
                *link = p->next;
                p->next = gFree;
                gFree = p;
                continue;
            }
            if (l == 0 && p->age > s->layers[0].ageLimit)
            {
                *link = p->next;
                p->next = s->layers[1].head;
                s->layers[1].head = p;
                continue;
            }
            if (s->flags & BZ_PS_ACCELERATE)
                bz_V3_AddScaled(&p->velocity, &s->acceleration, dt);
            if (attract)
            {
                bzV3 towards;
                bz_V3_SubInto(&attractor, &p->position, &towards);
                const float d2 = bz_V3_LengthSq(&towards);
                if (d2 < rangeSq && d2 > 0.0f)
                    bz_V3_AddScaled(&p->velocity, &towards,
                                    dt * s->attractorStrength / std::sqrt(d2));
            }
            if (s->flags & BZ_PS_MAX_SPEED)
            {
                const float v2 = bz_V3_LengthSq(&p->velocity);
                if (v2 > maxSpeedSq && v2 > 0.0f)
                    bz_V3_Scale(&p->velocity, s->maxSpeed / std::sqrt(v2));
            }
            if (s->flags & BZ_PS_DRAG)
                bz_V3_Scale(&p->velocity, drag);
            const bzV3 old = p->position;
            bz_V3_AddScaled(&p->position, &p->velocity, dt);
            if (attract)
            {
                bzV3 away;
                bz_V3_SubInto(&p->position, &attractor, &away);
                const float d2 = bz_V3_LengthSq(&away);
                if (d2 < minDistSq && d2 > 0.0f)
                    bz_V3_AddScaledInto(&attractor, &away, s->attractorMinDistance / std::sqrt(d2),
                                        &p->position);
            }
            if (s->flags & BZ_PS_COLLIDE)
                Collide(s, p, &old, &world);
            if ((s->flags & BZ_PS_ANIMATE) && !s->model)
            {
                p->framePhase += dt * s->frameRate;
                if (cycle > 0.0f)
                    while (p->framePhase > cycle)
                        p->framePhase -= cycle;
            }
            const float d2 = bz_V3_DistanceSq(&p->position, &world.row[3]);
            if (d2 > radiusSq)
                radiusSq = d2;
            layer.count++;
            link = &p->next;
        }
    }
    if (s->flags & BZ_PS_COLLIDE)
        s->cachedWorld = world;
    s->boundingRadius = s->endSize * 0.5f + std::sqrt(radiusSq);

    if (!(s->emitterLife < 0.0f) && !(s->flags & BZ_PS_STOPPING) && s->emissionRate > 0.0f &&
        dt > 0.0f)
    {
        if (s->flags & BZ_PS_BURST)
        {
            s->accumulator = s->emissionRate;
            s->flags |= BZ_PS_STOPPING;
        }
        else
            s->accumulator += dt * s->emissionRate;
        while (s->accumulator >= 1.0f)
        {
            s->accumulator -= 1.0f;
            if (!Emit(s, &world, cycle))
                break;
        }
    }
    gActiveParticles += s->layers[0].count + s->layers[1].count;
}

// The frame gate: false when the system is not stepped this frame.
bool Gate(bzParticleSystem *s, float dt)
{
    if (s->frameGate && !s->frameGate(s))
        return false;
    if (s->flags & BZ_PS_LIFE_COUNTS)
    {
        if (s->emitterLife < 0.0f)
        {
            if (s->lifeEnd)
                s->lifeEnd(s);
            else if (!(s->flags & BZ_PS_PERSISTENT))
                s->flags |= BZ_PS_STOPPING;
        }
        s->emitterLife -= dt;
    }
    return true;
}

void Finish(bzParticleSystem *s)
{
    s->flags &= ~BZ_PS_STEPPED;
    if (s->finished)
        s->finished(s);
    else if (s->flags & BZ_PS_DISABLE_AT_END)
    {
        s->lump->flags &= ~BZ_LUMP_ACTIVE;
        s->flags &= ~BZ_PS_STOPPING;
    }
    else if (!(s->flags & BZ_PS_PERSISTENT))
    {
        // The subtree may hold other systems of this walk: it goes when the walk ends.
        if (!s->pending)
        {
            s->pending = 1;
            s->pendingNext = gPending;
            gPending = s;
        }
    }
    else if (s->flags & BZ_PS_LEAVE_LIST)
        RemoveActive(s);
}

bzLump *MakeEmitterLump(const char *name, bzLump *parent, float life, float cone, float rate,
                        const char *texture, bzColour colour)
{
    bzParticleSystem *s = nullptr;
    bzLump *lump = bz_Lump_CreateEmitter(name, &s);
    if (!lump)
        return nullptr;
    if (texture && *texture)
        s->texture = bz_Scene_GetImgMap(texture);
    s->particleLife = life;
    s->coneMax = cone;
    s->emissionRate = rate;
    s->flags |= BZ_PS_CONE;
    s->coneMin = 0.0f;
    s->speedVariance = 0.1f;
    s->scaleWord = 1.0f;
    bz_ParticleSystem_SetColour(s, colour);
    if (parent)
        bz_Lump_Attach(parent, lump);
    return lump;
}

void SetAxisLaunch(bzParticleSystem *s, bzLump *lump, float speed)
{
    bz_V3_Set(&s->direction, 0.0f, 0.0f, speed);
    s->speed = bz_V3_Length(&s->direction);
    if (s->speed > 0.0f)
        bz_V3_Scale(&s->direction, 1.0f / s->speed);
    // The launch axis (0,0,1) turns onto the parent's +y axis.
    bzM34 turn;
    bz_M34_RotationX(&turn, -90.0f);
    turn.row[3] = lump->matrix.row[3];
    lump->matrix = turn;
}

void SetVectorLaunch(bzParticleSystem *s, const bzV3 *launch)
{
    s->direction = launch ? *launch : bzV3{};
    s->speed = bz_V3_Length(&s->direction);
    if (s->speed > 0.0f)
        bz_V3_Scale(&s->direction, 1.0f / s->speed);
}

bzErrorCode CopyPoints(bzParticleSystem *s, uint32_t kind, uint32_t count, const bzV3 *points)
{
    if (!count || !points || count > BZ_MEM_MAX_BLOCK / sizeof(bzV3))
    {
        bzgLastError = BZ_ERROR_INVALID_PARAMETER;
        return BZ_ERROR_INVALID_PARAMETER;
    }
    bzV3 *copy = static_cast<bzV3 *>(bz_MemAlloc(static_cast<uint32_t>(count * sizeof(bzV3)), 0));
    if (!copy)
    {
        bzgLastError = BZ_ERROR_NO_MEMORY;
        return BZ_ERROR_NO_MEMORY;
    }
    std::memcpy(copy, points, count * sizeof(bzV3));
    FreeShapePoints(s);
    s->shapeKind = kind;
    s->shape1.pointCount = count;
    s->shape2.points = copy;
    return BZ_ERROR_NONE;
}
} // namespace

void bz_ParticleSystem_SetFormServices(const bzParticleFormServices *services)
{
    gForms = services ? *services : bzParticleFormServices{};
}

bzErrorCode bz_ParticleSystem_InitPool()
{
    InstallHooks();
    if (gPool)
        return BZ_ERROR_NONE;
    gPool = bz_Pool_Create(sizeof(bzParticle), kPerBlock, 1, 0);
    if (!gPool)
    {
        bzgLastError = BZ_ERROR_NO_MEMORY;
        return BZ_ERROR_NO_MEMORY;
    }
    return BZ_ERROR_NONE;
}

void bz_ParticleSystem_FreePool()
{
    for (bzParticleSystem *s = gActive; s; s = s->next)
        for (bzParticleLayer &layer : s->layers)
        {
            layer.head = nullptr;
            layer.count = 0;
        }
    gFree = nullptr;
    if (gPool)
        bz_Pool_Destroy(gPool);
    gPool = 0;
}

bzErrorCode bz_ParticleSystem_Reset()
{
    bz_ParticleSystem_FreePool();
    return bz_ParticleSystem_InitPool();
}

bzParticleSystem *bz_ParticleSystem_New()
{
    InstallHooks();
    bzParticleSystem *s =
        static_cast<bzParticleSystem *>(bz_MemAlloc(sizeof(bzParticleSystem), BZ_MEM_CLEAR));
    if (!s)
    {
        bzgLastError = BZ_ERROR_NO_MEMORY;
        return nullptr;
    }
    bz_ParticleSystem_SetDefaults(s);
    s->lump = nullptr;
    PushActive(s);
    gSystemCount++;
    return s;
}

void bz_ParticleSystem_SetDefaults(bzParticleSystem *s)
{
    if (!s)
        return;
    bzLump *lump = s->lump;
    bzParticleSystem *next = s->next;
    const uint32_t listed = s->flags & BZ_PS_LISTED;
    std::memset(static_cast<void *>(s), 0, sizeof *s);
    s->lump = lump;
    // The active-list link stays with the list.
    s->next = next;
    s->flags = BZ_PS_LIVE | listed;
    s->layers[0].mode = 1;
    s->layers[0].ageLimit = 1.0f;
    s->particleLife = 0.0f;
    s->scaleWord = 1.0f;
    s->startSize = 0.1f;
    s->endSize = 0.2f;
    s->renderFactors[0] = 1.0f;
    s->renderFactors[1] = 0.2f;
    s->renderFactors[2] = 1.0f;
    s->accumulator = 1.0f;
    s->boundingRadius = 1.0f;
}

bzParticleSystem *bz_ParticleSystem_CreateForLump(bzLump *lump)
{
    InstallHooks();
    bzParticleSystem *s =
        static_cast<bzParticleSystem *>(bz_MemAlloc(sizeof(bzParticleSystem), BZ_MEM_CLEAR));
    if (!s)
    {
        bzgLastError = BZ_ERROR_NO_MEMORY;
        return nullptr;
    }
    if (lump)
    {
        lump->object = s;
        s->lump = lump;
    }
    s->flags = BZ_PS_LIVE;
    s->accumulator = 1.0f;
    s->boundingRadius = 1.0f;
    s->startSize = 0.1f;
    s->endSize = 0.2f;
    s->speed = 1.0f;
    s->layers[0].mode = 1;
    s->layers[1].mode = 0;
    s->layers[0].ageLimit = 1.0f;
    PushActive(s);
    gSystemCount++;
    return s;
}

bzParticleSystem *bz_ParticleSystem_Clone(const bzParticleSystem *source)
{
    if (!source)
        return nullptr;
    bzParticleSystem *s = bz_ParticleSystem_New();
    if (!s)
        return nullptr;
    bzV3 *points = nullptr;
    if ((source->shapeKind == BZ_PARTICLE_SHAPE_CLOUD ||
         source->shapeKind == BZ_PARTICLE_SHAPE_POLYLINE) &&
        source->shape2.points && source->shape1.pointCount)
    {
        const uint32_t bytes = static_cast<uint32_t>(source->shape1.pointCount * sizeof(bzV3));
        points = static_cast<bzV3 *>(bz_MemAlloc(bytes, 0));
        if (!points)
        {
            bz_ParticleSystem_Free(s);
            bzgLastError = BZ_ERROR_NO_MEMORY;
            return nullptr;
        }
        std::memcpy(points, source->shape2.points, bytes);
    }
    bzParticleSystem *next = s->next;
    const uint32_t listed = s->flags & BZ_PS_LISTED;
    *s = *source;
    s->next = next;
    s->flags = (s->flags & ~BZ_PS_LISTED) | listed;
    s->lump = nullptr;
    s->pending = 0;
    s->pendingNext = nullptr;
    s->auxiliary = nullptr;
    if (points)
        s->shape2.points = points;
    for (bzParticleLayer &layer : s->layers)
    {
        layer.head = nullptr;
        layer.count = 0;
        bz_Scene_AddMaterialRef(layer.material);
    }
    bz_Scene_AddImgMapRef(s->texture);
    bz_Scene_AddModelRef(s->model);
    return s;
}

void bz_ParticleSystem_Free(bzParticleSystem *s)
{
    if (!s)
        return;
    s->flags &= ~BZ_PS_LIVE;
    if (s->flags & BZ_PS_LISTED)
        RemoveActive(s);
    else if (gWalkNext && gWalkNextValue == s)
        gWalkNextValue = s->next;
    RemovePending(s);
    gSystemCount--;
    GiveBackParticles(s);
    ReleaseReferences(s);
    bz_MemFree(s);
}

void bz_ParticleSystem_Destroy(bzLump *lump)
{
    if (!lump || lump->type != BZ_LUMP_TYPE_PARTICLE_EMITTER || !lump->object)
        return;
    bzParticleSystem *s = static_cast<bzParticleSystem *>(lump->object);
    lump->object = nullptr;
    bz_ParticleSystem_Free(s);
}

void bz_ParticleSystem_SetPointShape(bzParticleSystem *s)
{
    if (!s)
        return;
    FreeShapePoints(s);
    s->shapeKind = BZ_PARTICLE_SHAPE_POINT2;
}

void bz_ParticleSystem_SetRectangleShape(bzParticleSystem *s, float width, float height)
{
    if (!s)
        return;
    FreeShapePoints(s);
    s->shapeKind = BZ_PARTICLE_SHAPE_RECTANGLE;
    s->shape1.width = width;
    s->shape2.height = height;
}

void bz_ParticleSystem_SetRingShape(bzParticleSystem *s, float inner, float outer)
{
    if (!s)
        return;
    FreeShapePoints(s);
    s->shapeKind = BZ_PARTICLE_SHAPE_RING;
    s->shape1.width = inner;
    s->shape2.height = outer;
}

bzErrorCode bz_ParticleSystem_SetPointCloudShape(bzParticleSystem *s, uint32_t count,
                                                 const bzV3 *points)
{
    if (!s)
        return BZ_ERROR_INVALID_PARAMETER;
    return CopyPoints(s, BZ_PARTICLE_SHAPE_CLOUD, count, points);
}

bzErrorCode bz_ParticleSystem_SetPolylineShape(bzParticleSystem *s, uint32_t count,
                                               const bzV3 *points)
{
    if (!s)
        return BZ_ERROR_INVALID_PARAMETER;
    if (count < 2)
    {
        bzgLastError = BZ_ERROR_INVALID_PARAMETER;
        return BZ_ERROR_INVALID_PARAMETER;
    }
    return CopyPoints(s, BZ_PARTICLE_SHAPE_POLYLINE, count, points);
}

void bz_ParticleSystem_SetColour(bzParticleSystem *s, bzColour colour)
{
    if (!s)
        return;
    s->startColour = colour;
    s->endColour = colour & 0x00FFFFFFu;
}

void bz_ParticleSystem_SetLaunch(bzParticleSystem *s, float speed, float variance, float cone)
{
    if (!s)
        return;
    bz_V3_Set(&s->direction, 0.0f, 0.0f, 1.0f);
    s->coneMin = 0.0f;
    s->coneMax = cone;
    s->speed = speed;
    s->speedVariance = variance;
    s->flags |= BZ_PS_CONE;
}

void bz_ParticleSystem_SetTexture(bzParticleSystem *s, bz_IMGMAP *texture)
{
    if (!s || s->texture == texture)
        return;
    bz_Scene_AddImgMapRef(texture);
    bz_Scene_ReleaseImgMap(s->texture);
    s->texture = texture;
}

void bz_ParticleSystem_Resume(bzParticleSystem *s, float rate)
{
    if (!s)
        return;
    s->flags &= ~(BZ_PS_STOPPING | BZ_PS_LEAVE_LIST);
    s->emissionRate = rate;
    if (!(s->flags & BZ_PS_LISTED))
        PushActive(s);
}

void bz_ParticleSystem_Halt(bzParticleSystem *s)
{
    if (!s)
        return;
    s->emissionRate = 0.0f;
    bz_ParticleSystem_Unlist(s);
}

void bz_ParticleSystem_Unlist(bzParticleSystem *s)
{
    if (s && (s->flags & BZ_PS_LISTED))
        RemoveActive(s);
}

void bz_ParticleSystem_List(bzParticleSystem *s)
{
    if (s && !(s->flags & BZ_PS_LISTED))
        PushActive(s);
}

void bz_ParticleSystem_StopAndRelease(bzParticleSystem *s)
{
    if (!s)
        return;
    s->flags |= BZ_PS_STOPPING | BZ_PS_LEAVE_LIST | BZ_PS_PERSISTENT;
    s->emissionRate = 0.0f;
}

void bz_ParticleSystem_Show(bzParticleSystem *s)
{
    if (s)
        s->flags |= BZ_PS_STEPPED;
}

void bz_ParticleSystem_Hide(bzParticleSystem *s)
{
    if (s)
        s->flags &= ~BZ_PS_STEPPED;
}

intptr_t bz_ParticleEmitter_StopCallback(bzLump *lump, void *)
{
    if (lump->type == BZ_LUMP_TYPE_PARTICLE_EMITTER && lump->object)
    {
        bzParticleSystem *s = static_cast<bzParticleSystem *>(lump->object);
        s->flags |= BZ_PS_STOPPING;
        s->accumulator = 1.0f;
    }
    return 0;
}

intptr_t bz_ParticleEmitter_StartCallback(bzLump *lump, void *velocity)
{
    if (lump->type == BZ_LUMP_TYPE_PARTICLE_EMITTER && lump->object)
    {
        bzParticleSystem *s = static_cast<bzParticleSystem *>(lump->object);
        s->flags |= BZ_PS_BURST;
        s->flags &= ~BZ_PS_STOPPING;
        lump->flags |= BZ_LUMP_ACTIVE;
        s->inheritedVelocity = static_cast<const bzV3 *>(velocity);
    }
    return 0;
}

intptr_t bz_ParticleEmitter_KillCallback(bzLump *lump, void *)
{
    if (lump->type == BZ_LUMP_TYPE_PARTICLE_EMITTER && lump->object)
        static_cast<bzParticleSystem *>(lump->object)->flags |=
            BZ_PS_PERSISTENT | BZ_PS_DISABLE_AT_END | BZ_PS_KILLED | BZ_PS_STOPPING;
    return 0;
}

void bz_ParticleSystem_StopTree(bzLump *root)
{
    if (root)
        bz_Lump_Walk(root, bz_ParticleEmitter_StopCallback, nullptr);
}

void bz_ParticleSystem_StartTree(const bzV3 *velocity, bzLump *root)
{
    if (root)
        bz_Lump_Walk(root, bz_ParticleEmitter_StartCallback, const_cast<bzV3 *>(velocity));
}

void bz_Lump_DisableTree(bzLump *root)
{
    for (bzLump *l = root; l; l = bz_Lump_NextPreOrder(l, root))
        l->flags &= ~BZ_LUMP_ACTIVE;
}

void bz_Lump_EnableTree(bzLump *root)
{
    for (bzLump *l = root; l; l = bz_Lump_NextPreOrder(l, root))
        l->flags |= BZ_LUMP_ACTIVE;
}

void bz_ParticleSystem_GetWorldMatrix(bzLump *lump, bzM34 *out)
{
    if (out)
        bz_Lump_GetRelativeMatrix(out, lump, nullptr);
}

bzLump *bz_ParticleSystem_CreateRing(bzLump *parent, float life, float speed, float cone,
                                     float rate, float inner, float outer, const char *texture,
                                     bzColour colour)
{
    bzLump *lump = MakeEmitterLump("ring_emitter", parent, life, cone, rate, texture, colour);
    if (!lump)
        return nullptr;
    bzParticleSystem *s = static_cast<bzParticleSystem *>(lump->object);
    bz_ParticleSystem_SetRingShape(s, inner, outer);
    SetAxisLaunch(s, lump, speed);
    return lump;
}

bzLump *bz_ParticleSystem_CreateRectangle(bzLump *parent, float life, float speed, float cone,
                                          float rate, float width, float height,
                                          const char *texture, bzColour colour)
{
    bzLump *lump = MakeEmitterLump("plane_emitter", parent, life, cone, rate, texture, colour);
    if (!lump)
        return nullptr;
    bzParticleSystem *s = static_cast<bzParticleSystem *>(lump->object);
    bz_ParticleSystem_SetRectangleShape(s, width, height);
    SetAxisLaunch(s, lump, speed);
    return lump;
}

bzLump *bz_ParticleSystem_CreatePoint(bzLump *parent, float life, float speed, float cone,
                                      float rate, const char *texture, bzColour colour)
{
    bzLump *lump = MakeEmitterLump("point_emitter", parent, life, cone, rate, texture, colour);
    if (!lump)
        return nullptr;
    bzParticleSystem *s = static_cast<bzParticleSystem *>(lump->object);
    s->shapeKind = BZ_PARTICLE_SHAPE_POINT;
    SetAxisLaunch(s, lump, speed);
    return lump;
}

bzLump *bz_ParticleSystem_CreatePolyline(bzLump *parent, float life, const bzV3 *launch, float cone,
                                         float rate, bzColour colour, const char *texture,
                                         uint32_t count, const bzV3 *points, int32_t closed)
{
    if (count < 2 || !points)
    {
        bzgLastError = BZ_ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    bzLump *lump = MakeEmitterLump("polyline_emitter", nullptr, life, cone, rate, texture, colour);
    if (!lump)
        return nullptr;
    bzParticleSystem *s = static_cast<bzParticleSystem *>(lump->object);
    if (bz_ParticleSystem_SetPolylineShape(s, count, points) != BZ_ERROR_NONE)
    {
        bz_Lump_Destroy(lump);
        return nullptr;
    }
    SetVectorLaunch(s, launch);
    if (closed)
        s->flags |= BZ_PS_CLOSED;
    if (parent)
        bz_Lump_Attach(parent, lump);
    return lump;
}

bzLump *bz_ParticleSystem_CreatePointCloud(bzLump *parent, float life, const bzV3 *launch,
                                           float cone, float rate, bzColour colour,
                                           const char *texture, uint32_t count, const bzV3 *points)
{
    if (!count || !points)
    {
        bzgLastError = BZ_ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    bzLump *lump =
        MakeEmitterLump("polyhedron_emitter", nullptr, life, cone, rate, texture, colour);
    if (!lump)
        return nullptr;
    bzParticleSystem *s = static_cast<bzParticleSystem *>(lump->object);
    if (bz_ParticleSystem_SetPointCloudShape(s, count, points) != BZ_ERROR_NONE)
    {
        bz_Lump_Destroy(lump);
        return nullptr;
    }
    SetVectorLaunch(s, launch);
    if (parent)
        bz_Lump_Attach(parent, lump);
    return lump;
}

bzLump *bz_ParticleSystem_Instance(bzLump *parent, const bzLump *source)
{
    bzLump *copy = bz_Lump_Clone(source);
    if (copy && parent)
        bz_Lump_Attach(parent, copy);
    return copy;
}

float bz_ParticleSystem_FrameTime()
{
    float dt = 0.0f;
    if (!bz_Clock_GetFixedFrameTime(&dt))
        dt = static_cast<float>(bz_GetFrameMs()) * 0.001f;
    return dt;
}

void bz_ParticleSystem_Update()
{
    bz_ParticleSystem_UpdateBy(bz_ParticleSystem_FrameTime());
}

void bz_ParticleSystem_UpdateBy(float dt)
{
    if (!gOn)
        return;
    if (!(dt >= 0.0f) || std::isinf(dt))
        dt = 0.0f;
    gActiveParticles = 0;
    gParticlesDrawn = 0;
    gEmittersDrawn = 0;
    gWalkNext = &gWalkNextValue;
    for (bzParticleSystem *s = gActive; s; s = gWalkNextValue)
    {
        // Taken before the system is handled; whatever removes it from the list moves it on.
        gWalkNextValue = s->next;
        if (!s->lump || !(s->lump->flags & BZ_LUMP_ACTIVE) || s->pending)
            continue;
        if (!(s->flags & BZ_PS_STOPPING))
        {
            if (Gate(s, dt))
            {
                s->flags |= BZ_PS_STEPPED;
                Step(s, dt);
            }
            else
                s->flags &= ~BZ_PS_STEPPED;
        }
        else if (s->layers[0].head || s->layers[1].head)
        {
            s->flags |= BZ_PS_STEPPED;
            Step(s, dt);
        }
        else
            Finish(s);
    }
    gWalkNext = nullptr;
    gWalkNextValue = nullptr;
    while (gPending)
    {
        bzParticleSystem *s = gPending;
        gPending = s->pendingNext;
        s->pendingNext = nullptr;
        s->pending = 0;
        // Destroying the subtree releases this system and takes any other pending one in it
        // off the pending list.
        bz_Lump_DestroyTree(s->lump);
    }
}

void bz_ParticleSystem_Draw(bzLump *lump)
{
    if (!lump || lump->type != BZ_LUMP_TYPE_PARTICLE_EMITTER || !lump->object)
        return;
    bzParticleSystem *s = static_cast<bzParticleSystem *>(lump->object);
    if (!(s->flags & BZ_PS_LISTED) || !(s->flags & BZ_PS_STEPPED))
        return;
    switch (s->drawKind)
    {
    case BZ_PARTICLE_DRAW_SPRITES:
        if (bzgRenderTable.PDDrawSprites)
            bzgRenderTable.PDDrawSprites(s);
        break;
    case BZ_PARTICLE_DRAW_PREPARED:
        if (bzgRenderTable.PDPrepareSprites)
            bzgRenderTable.PDPrepareSprites(s);
        break;
    default: break;
    }
}

void bz_ParticleSystem_Render(bzLump *lump)
{
    bz_ParticleSystem_Draw(lump);
}

void bz_ParticleSystem_GetStats(bzParticleStats *out)
{
    if (!out)
        return;
    out->systems = gSystemCount;
    out->activeParticles = gActiveParticles;
    out->particlesDrawn = gParticlesDrawn;
    out->emittersDrawn = gEmittersDrawn;
}

void bz_ParticleSystem_AddDrawn(int32_t particles, int32_t emitters)
{
    gParticlesDrawn += particles;
    gEmittersDrawn += emitters;
}

int32_t bz_ParticleSystem_PrintStats(int32_t line)
{
    bz_ShowDebugMessage(line, "Number of emitters %d", gSystemCount);
    bz_ShowDebugMessage(line + 1, "Number of active particles %d", gActiveParticles);
    bz_ShowDebugMessage(line + 2, "Number of particles drawn %d", gParticlesDrawn);
    bz_ShowDebugMessage(line + 3, "Number of particle emitters drawn %d", gEmittersDrawn);
    return line + 4;
}

void bz_ParticleSystem_Disable()
{
    gOn = 0;
}

void bz_ParticleSystem_Enable()
{
    gOn = 1;
}

void bz_ParticleSystem_Freeze(int32_t on)
{
    gFrozen = on;
}

int32_t bz_ParticleSystem_IsFrozen()
{
    return gFrozen;
}
