#include "backends/gl/GlDraw2D.h"

#include "backends/gl/GlDisplay.h"
#include "backends/gl/GlExtensions.h"
#include "backends/gl/GlStageState.h"
#include "core/Error.h"
#include "core/Memory.h"
#include "device/ImageRecord.h"
#include "device/RenderTable.h"
#include "device/TextRun.h"
#include "device/ViewportRecord.h"
#include "maths/Matrix.h"
#include "models/ImgMap.h"
#include "render/Font.h"

#include <GL/gl.h>

float bzgOGL2DScaleX = 1.0f;
float bzgOGL2DScaleY = 1.0f;

namespace
{
enum : int32_t
{
    kQuad = 0,
    kLine = 1,
    kVertexList = 3,
};

struct Record
{
    Record *next;
    int32_t kind;
    bz_IMGMAP *image; // one reference while queued
    int32_t blend;
    bzViewport *viewport;
    float x[4];
    float y[4];
    float u[4];
    float v[4];
    uint32_t colour[4];
    int32_t first; // vertex lists: the first pool vertex and the count
    int32_t count;
};

constexpr int32_t kRefill = 8;

Record *gFree;
Record *gHead;
Record *gTail;
int32_t gQueued;
bzTextVertex gPool[BZ_OGL_2D_POOL_VERTICES];
int32_t gPoolCount;

// A record from the free list, refilled eight at a time; null when memory runs out.
Record *Take()
{
    if (!gFree)
    {
        auto *block = static_cast<Record *>(bz_MemAlloc(kRefill * sizeof(Record), 0));
        if (!block)
            return nullptr;
        for (int32_t i = 0; i < kRefill; ++i)
        {
            block[i].next = gFree;
            gFree = &block[i];
        }
    }
    Record *r = gFree;
    gFree = r->next;
    *r = Record{};
    return r;
}

void Queue(Record *r, bz_IMGMAP *image, int32_t blend)
{
    r->image = image ? bz_AddRefImgMap(image) : nullptr;
    r->blend = blend;
    r->viewport = bzg2DDrawMode;
    if (gTail)
        gTail->next = r;
    else
        gHead = r;
    gTail = r;
    ++gQueued;
}

// A quad record, and the origin of the 2-D target: its corner on the screen, or (0, 0) for
// the whole screen.
Record *TakeQuad(float *x, float *y)
{
    *x = bzg2DDrawMode ? static_cast<float>(bzg2DDrawMode->x) : 0.0f;
    *y = bzg2DDrawMode ? static_cast<float>(bzg2DDrawMode->y) : 0.0f;
    Record *r = Take();
    if (r)
        r->kind = kQuad;
    return r;
}

// The viewport and pixel projection of a record's target.
void SetTarget(const bzViewport *viewport)
{
    float x0 = 0.0f;
    float y0 = 0.0f;
    float w = static_cast<float>(bzgOGLDisplay.screenWidth);
    float h = static_cast<float>(bzgOGLDisplay.screenHeight);
    if (viewport)
    {
        x0 = static_cast<float>(viewport->x);
        y0 = static_cast<float>(viewport->y);
        w = static_cast<float>(viewport->width);
        h = static_cast<float>(viewport->height);
        glViewport(viewport->x, bzgOGLDisplay.screenHeight - viewport->y - viewport->height,
                   viewport->width, viewport->height);
    }
    else
        glViewport(0, 0, bzgOGLDisplay.screenWidth, bzgOGLDisplay.screenHeight);
    if (w <= 0.0f || h <= 0.0f)
        return;
    // Screen pixel (x, y), y down, lands on its pixel centre.
    float m[16] = {};
    m[0] = 2.0f / w;
    m[5] = -2.0f / h;
    m[10] = 1.0f;
    m[12] = 1.0f / w - 1.0f - 2.0f * x0 / w;
    m[13] = 1.0f - 1.0f / h + 2.0f * y0 / h;
    m[15] = 1.0f;
    glMatrixMode(GL_PROJECTION);
    glLoadMatrixf(m);
    glMatrixMode(GL_MODELVIEW);
}

void SetTexture(const bz_IMGMAP *image)
{
    if (!image)
    {
        glDisable(GL_TEXTURE_2D);
        return;
    }
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, image->textureName);
    if (bzgOGLCaps & BZ_OGL_CAP_COMBINE_STAGES)
    {
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_COMBINE);
        if (image->format == BZ_IMAGE_ALPHA)
        {
            glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_RGB, GL_REPLACE);
            glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE0_RGB, GL_PRIMARY_COLOR);
        }
        else
        {
            glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_RGB, GL_MODULATE);
            glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE0_RGB, GL_TEXTURE);
        }
    }
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
}

void Colour4(uint32_t c)
{
    glColor4ub(static_cast<GLubyte>(c >> 16), static_cast<GLubyte>(c >> 8), static_cast<GLubyte>(c),
               static_cast<GLubyte>(c >> 24));
}

void DrawRecord(const Record &r)
{
    switch (r.kind)
    {
    case kQuad:
        glBegin(GL_QUADS);
        for (int i = 0; i < 4; ++i)
        {
            Colour4(r.colour[i]);
            glTexCoord2f(r.u[i], r.v[i]);
            glVertex2f(r.x[i], r.y[i]);
        }
        glEnd();
        break;
    case kLine:
        glBegin(GL_LINES);
        Colour4(r.colour[0]);
        glVertex2f(r.x[0], r.x[2]);
        glVertex2f(r.x[1], r.x[3]);
        glEnd();
        break;
    case kVertexList:
        // Text keeps the vertex colours' red, green and blue; their alpha is not passed.
        glBegin(GL_TRIANGLES);
        for (int32_t i = r.first; i < r.first + r.count; ++i)
        {
            const bzTextVertex &v = gPool[i];
            glTexCoord2f(v.u, v.v);
            glColor3ub(static_cast<GLubyte>(v.colour >> 16), static_cast<GLubyte>(v.colour >> 8),
                       static_cast<GLubyte>(v.colour));
            glVertex3f(v.x, v.y, v.z);
        }
        glEnd();
        break;
    default: break;
    }
}
} // namespace

void OGL_BeginDepthTestedOverlay(int32_t blend)
{
    glDisable(GL_CULL_FACE);
    glDisable(GL_ALPHA_TEST);
    OGL_SetStageState(BZ_OGL_STAGE_LIGHTING, 0);
    glEnable(GL_DEPTH_TEST);
    glDepthMask(GL_FALSE);
    glEnable(GL_BLEND);
    OGL_SetBlendKind(blend);
}

bool OGL_BindOverlayImage(const bz_IMGMAP *image)
{
    if (!image || !image->textureName)
    {
        glDisable(GL_TEXTURE_2D);
        return false;
    }
    if (bzgOGLCaps & BZ_OGL_CAP_MULTITEXTURE)
    {
        OGL_ActiveTexture(GL_TEXTURE0);
        OGL_ClientActiveTexture(GL_TEXTURE0);
    }
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, image->textureName);
    OGL_SetStageState(BZ_OGL_STAGE_TEXGEN0, 0);
    OGL_SetStageState(BZ_OGL_STAGE_MATRIX0, 0);
    return true;
}

void OGL_CombineOverlayImage(bool rgbFromTexture, bool alphaFromTexture)
{
    if (!(bzgOGLCaps & BZ_OGL_CAP_COMBINE_STAGES))
    {
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
        return;
    }
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_COMBINE);
    glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_RGB, rgbFromTexture ? GL_MODULATE : GL_REPLACE);
    glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE0_RGB, rgbFromTexture ? GL_TEXTURE : GL_PRIMARY_COLOR);
    glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE1_RGB, GL_PRIMARY_COLOR);
    glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_ALPHA, alphaFromTexture ? GL_MODULATE : GL_REPLACE);
    glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE0_ALPHA, alphaFromTexture ? GL_TEXTURE : GL_PRIMARY_COLOR);
    glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE1_ALPHA, GL_PRIMARY_COLOR);
    if (bzgOGLCaps & BZ_OGL_CAP_COMBINE)
        glTexEnvf(GL_TEXTURE_ENV, GL_RGB_SCALE, 1.0f);
}

void OGL_SetBlendKind(int32_t blend)
{
    switch (blend)
    {
    case BZ_OGL_BLEND_ADD:
        glBlendFunc(GL_SRC_ALPHA, GL_ONE);
        bzgOGLBlendEquation(GL_FUNC_ADD);
        break;
    case BZ_OGL_BLEND_MULTIPLY:
        glBlendFunc(GL_DST_COLOR, GL_ZERO);
        bzgOGLBlendEquation(GL_FUNC_ADD);
        break;
    case BZ_OGL_BLEND_SUBTRACT:
        glBlendFunc(GL_SRC_ALPHA, GL_ONE);
        bzgOGLBlendEquation(GL_FUNC_REVERSE_SUBTRACT);
        break;
    default:
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        bzgOGLBlendEquation(GL_FUNC_ADD);
        break;
    }
}

int32_t OGL_Draw2DLine(float x0, float y0, float x1, float y1, uint32_t colour, int32_t blend)
{
    Record *r = Take();
    if (!r)
        return BZ_ERROR_NO_MEMORY;
    r->kind = kLine;
    r->x[0] = static_cast<float>(static_cast<int32_t>(x0 * bzgOGL2DScaleX));
    r->x[1] = static_cast<float>(static_cast<int32_t>(x1 * bzgOGL2DScaleX));
    r->x[2] = static_cast<float>(static_cast<int32_t>(y0 * bzgOGL2DScaleY));
    r->x[3] = static_cast<float>(static_cast<int32_t>(y1 * bzgOGL2DScaleY));
    r->colour[0] = colour;
    Queue(r, nullptr, blend);
    return 0;
}

int32_t OGL_Draw2DRectColours(float x, float y, float w, float h, const uint32_t *colours,
                              int32_t blend, bz_IMGMAP *image, uint32_t)
{
    float ox = 0.0f;
    float oy = 0.0f;
    Record *r = TakeQuad(&ox, &oy);
    if (!r)
        return BZ_ERROR_NO_MEMORY;
    const float left = x * bzgOGL2DScaleX + ox;
    const float top = y * bzgOGL2DScaleY + oy;
    const float right = (x + w) * bzgOGL2DScaleX + ox;
    const float bottom = (y + h) * bzgOGL2DScaleY + oy;
    const float xs[4] = {left, right, right, left};
    const float ys[4] = {top, top, bottom, bottom};
    const float us[4] = {0.0f, 1.0f, 1.0f, 0.0f};
    const float vs[4] = {0.0f, 0.0f, 1.0f, 1.0f};
    for (int i = 0; i < 4; ++i)
    {
        r->x[i] = xs[i];
        r->y[i] = ys[i];
        r->u[i] = us[i];
        r->v[i] = vs[i];
        r->colour[i] = colours ? colours[i] : 0xFFFFFFFFu;
    }
    Queue(r, image, blend);
    return 0;
}

int32_t OGL_Draw2DRect(float x, float y, float w, float h, uint32_t colour, int32_t blend,
                       bz_IMGMAP *image, uint32_t flags)
{
    const uint32_t colours[4] = {colour, colour, colour, colour};
    return OGL_Draw2DRectColours(x, y, w, h, colours, blend, image, flags);
}

int32_t OGL_Draw2DImage(float x, float y, float w, float h, int32_t blend, const float *uv,
                        uint32_t, bz_IMGMAP *image, float angle, float)
{
    float ox = 0.0f;
    float oy = 0.0f;
    Record *r = TakeQuad(&ox, &oy);
    if (!r)
        return BZ_ERROR_NO_MEMORY;
    const float u0 = uv ? uv[0] : 0.0f;
    const float v0 = uv ? uv[1] : 0.0f;
    const float u1 = uv ? uv[2] : 1.0f;
    const float v1 = uv ? uv[3] : 1.0f;
    const float us[4] = {u0, u1, u1, u0};
    const float vs[4] = {v0, v0, v1, v1};
    // Corners as offsets from the centre, turned about it when there is an angle.
    const float hw = w * 0.5f;
    const float hh = h * 0.5f;
    const float dx[4] = {-hw, hw, hw, -hw};
    const float dy[4] = {-hh, -hh, hh, hh};
    bzM33 turn;
    bz_M33_RotationZ(&turn, angle);
    for (int i = 0; i < 4; ++i)
    {
        float cx = dx[i];
        float cy = dy[i];
        if (angle != 0.0f)
        {
            cx = dx[i] * turn.row[0].x + dy[i] * turn.row[1].x;
            cy = dx[i] * turn.row[0].y + dy[i] * turn.row[1].y;
        }
        r->x[i] = (x + hw + cx) * bzgOGL2DScaleX + ox;
        r->y[i] = (y + hh + cy) * bzgOGL2DScaleY + oy;
        r->u[i] = us[i];
        r->v[i] = vs[i];
        r->colour[i] = 0xFFFFFFFFu;
    }
    Queue(r, image, blend);
    return 0;
}

int32_t OGL_Draw2DImageRotated(float x, float y, float w, float h, int32_t blend, const float *uv,
                               uint32_t flags, bz_IMGMAP *image, float angle, float scale)
{
    return OGL_Draw2DImage(x, y, w, h, blend, uv, flags, image, angle, scale);
}

void OGL_Add2DVertexList(bzTextRun *run)
{
    if (!run || !run->fill || run->vertexCount <= 0 ||
        run->vertexCount > BZ_OGL_2D_POOL_VERTICES - gPoolCount)
        return;
    Record *r = Take();
    if (!r)
        return;
    int32_t written = run->fill(run, gPool + gPoolCount);
    if (written < 0)
        written = 0;
    if (written > run->vertexCount)
        written = run->vertexCount;
    r->kind = kVertexList;
    r->first = gPoolCount;
    r->count = written;
    gPoolCount += written;
    Queue(r, run->font ? run->font->image : nullptr, BZ_OGL_BLEND_ALPHA);
}

void OGL_Flush2D()
{
    OGL_SetStageState(BZ_OGL_STAGE_LIGHTING, 0);
    glDepthMask(GL_FALSE);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_ALPHA_TEST);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glEnable(GL_BLEND);
    glDisable(GL_CULL_FACE);
    glMatrixMode(GL_TEXTURE);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    if (bzgOGLCaps & BZ_OGL_CAP_COMBINE)
        glTexEnvf(GL_TEXTURE_ENV, GL_RGB_SCALE, 1.0f);
    OGL_SetStageState(BZ_OGL_STAGE_TEXGEN0, 0);
    OGL_SetStageState(BZ_OGL_STAGE_TEXGEN0 + 1, 0);
    OGL_SetStageState(BZ_OGL_STAGE_MATRIX0, 0);
    OGL_SetStageState(BZ_OGL_STAGE_MATRIX0 + 1, 0);

    bool first = true;
    const bzViewport *target = nullptr;
    for (const Record *r = gHead; r; r = r->next)
    {
        if (first || r->viewport != target)
        {
            target = r->viewport;
            SetTarget(target);
            first = false;
        }
        SetTexture(r->image);
        OGL_SetBlendKind(r->blend);
        DrawRecord(*r);
    }

    while (gHead)
    {
        Record *r = gHead;
        gHead = r->next;
        if (r->image)
            bz_ReleaseImgMap(r->image);
        r->next = gFree;
        gFree = r;
    }
    gTail = nullptr;
    gQueued = 0;
    gPoolCount = 0;
    glDisable(GL_BLEND);
}

int32_t OGL_2DPoolCount()
{
    return gPoolCount;
}

int32_t OGL_2DQueuedCount()
{
    return gQueued;
}

void OGL_DrawClipRect()
{
    glBegin(GL_QUADS);
    glVertex2f(-1.0f, -1.0f);
    glVertex2f(1.0f, -1.0f);
    glVertex2f(1.0f, 1.0f);
    glVertex2f(-1.0f, 1.0f);
    glEnd();
}

void OGL_DrawScreenRectGL(int32_t, uint32_t colour, int32_t blend)
{
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDepthFunc(GL_ALWAYS);
    glDepthMask(GL_FALSE);
    OGL_SetStageState(BZ_OGL_STAGE_LIGHTING, 0);
    glDisable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    switch (blend)
    {
    case 0: glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA); break;
    case 1: glBlendFunc(GL_SRC_ALPHA, GL_ONE); break;
    case 3: glBlendFunc(GL_ZERO, GL_ONE_MINUS_SRC_COLOR); break;
    case 4: glBlendFunc(GL_ZERO, GL_SRC_COLOR); break;
    default: glDisable(GL_BLEND); break;
    }
    glColor3ub(static_cast<GLubyte>(colour >> 16), static_cast<GLubyte>(colour >> 8),
               static_cast<GLubyte>(colour));
    OGL_DrawClipRect();
}
