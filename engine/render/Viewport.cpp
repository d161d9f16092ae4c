#include "render/Viewport.h"

#include "core/Error.h"
#include "core/Memory.h"
#include "device/MaterialRecord.h"
#include "device/RenderTable.h"
#include "maths/Matrix.h"
#include "maths/Vector.h"
#include "models/LumpResources.h"
#include "models/Material.h"
#include "scene/Lump.h"
#include "scene/LumpRay.h"

#include <cmath>
#include <cstring>

float bzgPixelAspect = 1.0f;

namespace
{
constexpr float kDegToRad = 0.017453292f;
constexpr float kGuardBand = 4.85f;

bzViewport *gHead = nullptr;

bzCamera *CameraOf(const bzViewport *v)
{
    if (!v || !v->camera || v->camera->type != BZ_LUMP_TYPE_CAMERA)
        return nullptr;
    return static_cast<bzCamera *>(v->camera->object);
}

void SetNormalised(bzV3 *out, float x, float y, float z)
{
    bz_V3_Set(out, x, y, z);
    bz_V3_Normalise(out);
}

// The camera terms from field of view f and aspect a, recomputed only when either changed;
// with guard also the guard-band planes, which are refreshed every time: the terms may have
// been cached by the form without them, and the walk's sphere test reads both pairs.
void UpdateTerms(bzViewport *v, float f, bool guard)
{
    const float a = v->aspect;
    if (f != v->cachedFieldOfView)
    {
        const float t = std::tan(f * kDegToRad);
        v->tangent = t;
        v->cotangent = 1.0f / t;
        v->cachedFieldOfView = f;
        SetNormalised(&v->sideX, t, 0.0f, 1.0f);
        SetNormalised(&v->sideY, 0.0f, 1.0f / (a * v->cotangent), 1.0f);
        v->cachedAspect = a;
    }
    else if (a != v->cachedAspect)
    {
        SetNormalised(&v->sideY, 0.0f, 1.0f / (a * v->cotangent), 1.0f);
        v->cachedAspect = a;
    }
    if (guard)
    {
        SetNormalised(&v->guardX, kGuardBand * v->tangent, 0.0f, 1.0f);
        SetNormalised(&v->guardY, 0.0f, kGuardBand / (v->cotangent * a), 1.0f);
    }
}

// The projection as four rows of four.
void ProjectionRows(const bzViewport *v, const bzCamera *camera, float rows[4][4])
{
    std::memset(rows, 0, sizeof(float) * 16);
    const float n = v->nearClip, f = v->farClip;
    if (!camera || camera->perspective)
    {
        rows[0][0] = v->cotangent;
        rows[1][1] = v->aspect * v->cotangent;
        rows[2][2] = f / (f - n);
        rows[2][3] = 1.0f;
        rows[3][2] = -n * f / (f - n);
    }
    else
    {
        rows[0][0] = 2.0f / camera->orthoWidth;
        rows[1][1] = 2.0f / camera->orthoHeight;
        rows[2][2] = 1.0f / (f - n);
        rows[3][2] = -n / (f - n);
        rows[3][3] = 1.0f;
    }
}

float FieldOfViewFor(const bzViewport *v)
{
    const bzCamera *camera = CameraOf(v);
    return camera ? camera->fieldOfView : BZ_VIEWPORT_NO_CAMERA_FOV;
}

intptr_t ForceFlags(bzMaterial *material, void *)
{
    material->flags |= 0xC00;
    bz_UpdateMaterial(material, 128);
    return 0;
}
} // namespace

// ---------------------------------------------------------------------------------------
// Creation and the list

bzViewport *bz_Viewport_Alloc()
{
    return static_cast<bzViewport *>(bz_MemAlloc(sizeof(bzViewport), BZ_MEM_CLEAR));
}

void bz_Viewport_Free(bzViewport *v)
{
    bz_MemFree(v);
}

void bz_Viewport_Destroy(bzViewport *v)
{
    if (!v)
        return;
    bz_Viewport_Unlink(v);
    bz_Viewport_Free(v);
}

bzViewport *bz_Viewport_Create(int32_t id, bzLump *camera, bzLump *sceneRoot, int32_t x, int32_t y,
                               int32_t width, int32_t height)
{
    bzViewport *v = bz_Viewport_Alloc();
    if (!v)
        return nullptr;
    v->sceneRoot = sceneRoot;
    v->camera = camera;
    v->x = x;
    v->y = y;
    v->width = width;
    v->height = height;
    v->subWidth = width;
    v->subHeight = height;
    bz_Viewport_UpdateAspect(v);
    bz_Viewport_SetClipPlanes(v, BZ_VIEWPORT_DEFAULT_NEAR, BZ_VIEWPORT_DEFAULT_FAR);
    v->ambient = BZ_VIEWPORT_DEFAULT_AMBIENT;
    v->enabled = 1;
    v->id = id;
    bz_M34_Copy(bz_M34_Identity(), &v->viewMatrix);
    bz_Viewport_Insert(v);
    if (bzgRenderTable.PDViewportCreated)
        reinterpret_cast<void (*)(bzViewport *)>(bzgRenderTable.PDViewportCreated)(v);
    return v;
}

void bz_Viewport_Insert(bzViewport *v)
{
    if (!v)
        return;
    bzViewport **link = &gHead;
    while (*link && (*link)->id < v->id)
        link = &(*link)->next;
    v->next = *link;
    *link = v;
}

void bz_Viewport_Unlink(bzViewport *v)
{
    if (!v)
        return;
    for (bzViewport **link = &gHead; *link; link = &(*link)->next)
        if (*link == v)
        {
            *link = v->next;
            break;
        }
    v->next = nullptr;
}

void bz_Viewport_SetId(bzViewport *v, int32_t id)
{
    if (!v)
        return;
    bz_Viewport_Unlink(v);
    v->id = id;
    bz_Viewport_Insert(v);
}

void bz_Viewport_ClearList()
{
    gHead = nullptr;
}

bzViewport *bz_Viewport_GetFirst()
{
    return gHead;
}

bzViewport *bz_Viewport_GetByIndex(int32_t index)
{
    if (index < 0)
        return nullptr;
    bzViewport *v = gHead;
    while (v && index-- > 0)
        v = v->next;
    return v;
}

void bz_Viewport_Copy(bzViewport *destination, const bzViewport *source)
{
    if (destination && source && destination != source)
        std::memcpy(destination, source, sizeof(bzViewport));
}

void bz_Viewport_Enable(bzViewport *v)
{
    if (v)
        v->enabled = 1;
}

void bz_Viewport_Disable(bzViewport *v)
{
    if (v)
        v->enabled = 0;
}

void bz_Viewport_EnableAll()
{
    for (bzViewport *v = gHead; v; v = v->next)
        v->enabled = 1;
}

void bz_Viewport_DisableAll()
{
    for (bzViewport *v = gHead; v; v = v->next)
        v->enabled = 0;
}

int32_t bz_Viewport_IsEnabled(const bzViewport *v)
{
    return v && v->enabled ? 1 : 0;
}

int32_t bz_Viewport_IsSupported()
{
    return 1;
}

// ---------------------------------------------------------------------------------------
// Setters and getters

void bz_Viewport_SetAmbientColour(bzViewport *v, bzColour colour)
{
    if (v)
        v->ambient = colour;
}

void bz_Viewport_SetFlags(bzViewport *v, uint32_t flags)
{
    if (v)
        v->flags = flags;
}

void bz_Viewport_SetSubRect(bzViewport *v, int32_t x, int32_t y, int32_t width, int32_t height)
{
    if (!v)
        return;
    v->subX = x;
    v->subY = y;
    v->subWidth = width;
    v->subHeight = height;
}

void bz_Viewport_SetMidDistance(bzViewport *v, float distance)
{
    if (v)
        v->midDistance = distance;
}

void bz_Viewport_SetUserWord1(bzViewport *v, uint32_t word)
{
    if (v)
        v->userWord1 = word;
}

void bz_Viewport_SetUserWord2(bzViewport *v, uint32_t word)
{
    if (v)
        v->userWord2 = word;
}

void bz_Viewport_SetTag(bzViewport *v, uint32_t word)
{
    if (v)
        v->tag = word;
}

void bz_Viewport_SetRenderTarget(bzViewport *v, bz_IMGMAP *image)
{
    if (v)
        v->renderTarget = image;
}

void bz_Viewport_SetBeforeRenderCallback(bzViewport *v, int32_t (*fn)(bzViewport *, int32_t))
{
    if (v)
        v->beforeRender = fn;
}

void bz_Viewport_SetPreRenderCallback(bzViewport *v, void (*fn)(bzViewport *))
{
    if (v)
        v->preRender = fn;
}

bzLump *bz_Viewport_GetCamera(const bzViewport *v)
{
    return v ? v->camera : nullptr;
}

const bzM34 *bz_Viewport_GetCameraMatrix(const bzViewport *v, bzM34 *out)
{
    if (!v || !v->camera)
        return nullptr;
    const bzM34 *m = bz_Lump_GetMatrix(v->camera);
    if (out && m)
        *out = *m;
    return m;
}

void bz_Viewport_GetClipPlanes(const bzViewport *v, float *outFar, float *outNear)
{
    if (!v)
        return;
    if (outFar)
        *outFar = v->farClip;
    if (outNear)
        *outNear = v->nearClip;
}

void bz_Viewport_SetForeground(bzViewport *v, bzLump *lump)
{
    if (!v)
        return;
    v->foreground = lump;
    if (lump)
        bz_Lump_ForEachMaterial(lump, ForceFlags, nullptr);
}

void bz_Viewport_HideForeground(bzViewport *v)
{
    if (v && v->foreground)
        v->foreground->flags &= ~BZ_LUMP_ACTIVE;
}

void bz_Viewport_ShowForeground(bzViewport *v)
{
    if (v && v->foreground)
        v->foreground->flags |= BZ_LUMP_ACTIVE;
}

void bz_Viewport_SetRect(bzViewport *v, int32_t x, int32_t y, int32_t width, int32_t height)
{
    if (!v)
        return;
    v->x = x;
    v->y = y;
    v->width = width;
    v->height = height;
    v->subX = 0;
    v->subY = 0;
    v->subWidth = width;
    v->subHeight = height;
    bz_Viewport_UpdateAspect(v);
}

void bz_Viewport_UpdateAspect(bzViewport *v)
{
    if (!v)
        return;
    float a = 1.0f;
    if (v->height > 0)
        a = static_cast<float>(v->width) / static_cast<float>(v->height) * bzgPixelAspect;
    // A degenerate rectangle or pixel aspect must not make the projection infinite.
    if (!(a > 0.0f) || !std::isfinite(a))
        a = 1.0f;
    v->aspect = a;
}

void bz_Viewport_UpdateAllAspects()
{
    for (bzViewport *v = gHead; v; v = v->next)
        bz_Viewport_UpdateAspect(v);
}

// ---------------------------------------------------------------------------------------
// Camera and clip planes

float bz_Viewport_GetFieldOfView(const bzViewport *v)
{
    const bzCamera *camera = CameraOf(v);
    return camera ? camera->fieldOfView : 0.0f;
}

void bz_Viewport_SetFieldOfView(bzViewport *v, float degrees)
{
    bzCamera *camera = CameraOf(v);
    if (!camera)
        return;
    if (!(degrees >= BZ_VIEWPORT_MIN_FOV))
        degrees = BZ_VIEWPORT_MIN_FOV;
    else if (degrees > BZ_VIEWPORT_MAX_FOV)
        degrees = BZ_VIEWPORT_MAX_FOV;
    camera->fieldOfView = degrees;
}

void bz_Viewport_SetPerspective(bzViewport *v, uint32_t flag)
{
    if (bzCamera *camera = CameraOf(v))
        camera->perspective = flag;
}

void bz_Viewport_SetClipPlanes(bzViewport *v, float nearClip, float farClip)
{
    if (!v || !(nearClip < farClip))
        return;
    if (nearClip < BZ_VIEWPORT_MIN_NEAR)
        nearClip = BZ_VIEWPORT_MIN_NEAR;
    // A far distance at or below the smallest near one leaves no depth range.
    if (!(nearClip < farClip) || !std::isfinite(farClip))
        return;
    v->nearClip = nearClip;
    v->farClip = farClip;
    v->depthScale = 1.0f / (farClip - nearClip);
    v->depthOffsetScale = farClip * v->depthScale;
    if (v->midDistance < nearClip)
        v->midDistance = nearClip + (farClip - nearClip) * 0.5f;
}

void bz_Viewport_GetViewSizeAtDepth(const bzViewport *v, float *outWidth, float *outHeight,
                                    float depth)
{
    if (!v)
        return;
    if (depth == 0.0f)
        depth = v->nearClip;
    const float w = 2.0f * depth * std::tan(FieldOfViewFor(v) * kDegToRad);
    if (outWidth)
        *outWidth = w;
    if (outHeight)
        *outHeight = w / v->aspect;
}

float bz_Viewport_DistanceToCamera(const bzViewport *v, const bzV3 *point)
{
    const bzM34 *m = bz_Viewport_GetCameraMatrix(v, nullptr);
    if (!m || !point)
        return 1.0f;
    return bz_V3_Distance(&m->row[3], point);
}

float bz_Viewport_GetDepthFraction(const bzViewport *v, const bzV3 *point)
{
    if (!v || !v->camera || !point)
        return 1.0f;
    return (bz_Viewport_DistanceToCamera(v, point) - v->nearClip) / v->farClip;
}

void bz_Viewport_SetupProjection(bzViewport *v, bzM44 *out)
{
    if (!v)
        return;
    UpdateTerms(v, FieldOfViewFor(v), false);
    float rows[4][4];
    ProjectionRows(v, CameraOf(v), rows);
    if (out)
        for (int r = 0; r < 4; ++r)
        {
            out->row[r].x = rows[r][0];
            out->row[r].y = rows[r][1];
            out->row[r].z = rows[r][2];
            out->row[r].w = rows[r][3];
        }
}

void bz_Viewport_SetupProjectionM34(bzViewport *v, bzM34 *out)
{
    if (!v)
        return;
    UpdateTerms(v, FieldOfViewFor(v), true);
    float rows[4][4];
    ProjectionRows(v, CameraOf(v), rows);
    if (out)
        for (int r = 0; r < 4; ++r)
            bz_V3_Set(&out->row[r], rows[r][0], rows[r][1], rows[r][2]);
}

// ---------------------------------------------------------------------------------------
// Screen and world

void bz_Viewport_ScreenToWorld(bzV3 *out, const bzV3 *screen, const bzViewport *v)
{
    if (!out || !screen || !v || v->width == 0 || v->height == 0)
        return;
    const float u = screen->x / static_cast<float>(v->width) - 0.5f;
    const float w = 0.5f - screen->y / static_cast<float>(v->height);
    const float z = v->nearClip + screen->z;
    bzV3 p;
    const bzCamera *camera = CameraOf(v);
    if (!camera || camera->perspective)
    {
        float vw = 0.0f, vh = 0.0f;
        bz_Viewport_GetViewSizeAtDepth(v, &vw, &vh, z);
        bz_V3_Set(&p, vw * u, vh * w, z);
    }
    else
        bz_V3_Set(&p, u * camera->orthoWidth, w * camera->orthoHeight, z);
    if (const bzM34 *m = bz_Viewport_GetCameraMatrix(v, nullptr))
        bz_M34_TransformPoint(m, &p);
    *out = p;
}

void bz_Viewport_WorldToScreen(const bzViewport *v, float *out4, const bzV3 *point,
                               const bzM34 *extra)
{
    if (!v || !out4 || !point)
        return;
    bzM34 view;
    if (const bzM34 *m = bz_Viewport_GetCameraMatrix(v, nullptr))
        bz_InverseOrthoM34Into(m, &view);
    else
        bz_M34_Copy(bz_M34_Identity(), &view);
    if (extra)
        bz_MulM34Into(&view, &view, extra);
    // The projection's terms are refreshed on a copy, so that a const viewport stays as it is.
    bzViewport terms = *v;
    bz_Viewport_SetupProjectionM34(&terms, nullptr);
    float rows[4][4];
    ProjectionRows(&terms, CameraOf(v), rows);
    bzV3 p;
    bz_M34_TransformPointInto(&view, &p, point);
    float h[4];
    for (int c = 0; c < 4; ++c)
        h[c] = p.x * rows[0][c] + p.y * rows[1][c] + p.z * rows[2][c] + rows[3][c];
    out4[0] = (h[0] / h[3] + 1.0f) * static_cast<float>(v->width) * 0.5f;
    out4[1] = (1.0f - h[1] / h[3]) * static_cast<float>(v->height) * 0.5f;
    out4[2] = h[2] / h[3];
    out4[3] = h[3];
}

int32_t bz_Viewport_GetPixelRay(const bzViewport *v, float px, float py, bzRay *out)
{
    const bzM34 *m = bz_Viewport_GetCameraMatrix(v, nullptr);
    const bzCamera *camera = CameraOf(v);
    if (!m || !camera || !out || v->width <= 0 || v->height <= 0)
        return 0;
    const float w = static_cast<float>(v->width), h = static_cast<float>(v->height);
    out->flag = 1;
    if (camera->perspective)
    {
        const float t = std::tan(camera->fieldOfView * kDegToRad);
        out->origin = m->row[3];
        out->delta = m->row[2];
        bz_V3_AddScaled(&out->delta, &m->row[0], (2.0f * px - w) * t / w);
        bz_V3_SubScaled(&out->delta, &m->row[1], (2.0f * py - h) * t / w);
    }
    else
    {
        const float halfW = static_cast<float>(v->width / 2);
        const float halfH = static_cast<float>(v->height / 2);
        out->delta = m->row[2];
        out->origin = m->row[3];
        bz_V3_AddScaled(&out->origin, &m->row[0], (px - halfW) / w * camera->orthoWidth);
        bz_V3_SubScaled(&out->origin, &m->row[1], (py - halfH) / h * camera->orthoHeight);
    }
    return 1;
}

int32_t bz_Viewport_CastRay(const bzViewport *v, float px, float py, bzLump *root,
                            const bzRayOptions *options, float *outDistance, bzLump **outLump,
                            uint32_t *outFace, bzV3 *outPoint)
{
    bzRay ray;
    if (!bz_Viewport_GetPixelRay(v, px, py, &ray))
        return 0;
    if (!root)
        root = v->sceneRoot;
    if (!root)
        return 0;
    const int32_t hit = bz_Lump_RayIntersect(root, &ray, options, outDistance, outLump, outFace,
                                             outPoint, nullptr, nullptr, nullptr);
    if (hit && outDistance)
        *outDistance *= bz_V3_Length(&ray.delta);
    return hit;
}

int32_t bz_Viewport_CastRaySimple(const bzViewport *v, float px, float py, float *outDistance,
                                  bzLump **outLump)
{
    return bz_Viewport_CastRay(v, px, py, nullptr, nullptr, outDistance, outLump, nullptr, nullptr);
}

int32_t bz_Viewport_PickRay(const bzViewport *v, float px, float py, bzLump *root,
                            const bzRayOptions *options, bzViewportPick *out)
{
    if (out)
        *out = bzViewportPick{};
    bzRay ray;
    if (!bz_Viewport_GetPixelRay(v, px, py, &ray))
        return 0;
    if (!root)
        root = v->sceneRoot;
    if (!root)
        return 0;
    float t = 0.0f;
    bzLumpRayHit hit;
    if (!bz_Lump_RayIntersectFirst(&t, &hit, &ray, root, options))
        return 0;
    if (out)
    {
        out->lump = hit.lump;
        out->face = hit.face;
        out->material = hit.material;
        for (int i = 0; i < 3; ++i)
            out->corners[i] = hit.vertices[i];
        out->plane = hit.plane;
    }
    return 1;
}
