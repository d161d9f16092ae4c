#include "render/TextModel.h"

#include "core/Error.h"
#include "files/DebugOutput.h"
#include "models/DisplayModelsInternal.h"
#include "models/ImgMap.h"
#include "models/Material.h"
#include "render/Font.h"
#include "scene/SceneServices.h"

#include <cmath>
#include <cstring>

namespace
{
using namespace bz_display_detail;

constexpr int32_t kMaxPages = BZ_TEXT_MAX_RUNS + 1;
constexpr uint32_t kTranslucent = 0x8;
constexpr uint32_t kVertexColours = 0x4;
constexpr int32_t kMaxQuads = 0x7FFFFFFF / 4;

// The distinct font pages (image maps) of a text and the material of each.
struct Pages
{
    bz_IMGMAP *images[kMaxPages];
    bzMaterial *materials[kMaxPages];
    int32_t count;
};

// What the two layout passes keep: the first counts quads and pages, the second writes them.
struct Build
{
    Pages pages;
    int32_t quads;
    bool overflow;
    bool lost;               // a run's quads could not be laid out
    bzModelVertexData *data; // null in the counting pass
    float scaleX;
    float scaleY;
};

int32_t PageOf(Pages &pages, bz_IMGMAP *image)
{
    for (int32_t i = 0; i < pages.count; ++i)
        if (pages.images[i] == image)
            return i;
    if (pages.count == kMaxPages)
        return pages.count - 1; // a layout has no more runs than this
    pages.images[pages.count] = image;
    return pages.count++;
}

// Corners of a laid-out quad as model vertices: top left, top right, bottom right, bottom left.
constexpr int32_t kCorner[4] = {0, 1, 4, 2};

void TakeQuads(const bzFont *font, const bzTextVertex *v, int32_t count, void *user)
{
    auto *b = static_cast<Build *>(user);
    if (!v)
    {
        b->lost = true;
        return;
    }
    const int32_t page = PageOf(b->pages, font->image);
    for (int32_t q = 0; q + 6 <= count; q += 6)
    {
        if (b->quads == kMaxQuads)
        {
            b->overflow = true;
            return;
        }
        const int32_t n = b->quads++;
        if (!b->data)
            continue;
        // The layout puts pixel centres half a pixel up and left; the model's corners sit on
        // the glyph cell itself.
        const auto first = static_cast<uint32_t>(4 * n);
        for (int32_t k = 0; k < 4; ++k)
        {
            const bzTextVertex &t = v[q + kCorner[k]];
            SetVertex(b->data->vertices[first + k], (t.x + 0.5f) * b->scaleX,
                      -(t.y + 0.5f) * b->scaleY, 0.0f);
        }
        static const int32_t kPolygons[2][3] = {{0, 1, 2}, {0, 2, 3}};
        for (int32_t i = 0; i < 2; ++i)
        {
            bzModelPolygon &p = b->data->polygons[2 * n + i];
            SetPolygon(p, first + kPolygons[i][0], first + kPolygons[i][1],
                       first + kPolygons[i][2]);
            p.material = b->pages.materials[page];
            p.smoothing = 1;
            for (int32_t k = 0; k < 3; ++k)
            {
                const bzTextVertex &t = v[q + kCorner[kPolygons[i][k]]];
                p.uv[k][0] = t.u;
                p.uv[k][1] = t.v;
                p.colours[k] = t.colour;
            }
        }
    }
}

// A page's material: colour 1.0, the page image in its first layer, vertex colours.
bzMaterial *PageMaterial(bz_IMGMAP *image)
{
    bzMaterial *m = bz_CreateMaterial(nullptr, 0);
    if (!m)
    {
        bz_DebugPrintMasked(0x20, "%s", "bz_CreateMaterialFromTextureHandle::BZ_ERROR_NO_MEMORY");
        bzgLastError = BZ_ERROR_NO_MEMORY;
        return nullptr;
    }
    m->red = m->green = m->blue = 1.0f;
    if (m->layerCount > 0)
    {
        bz_SetMaterialLayerTexture(m, 0, image);
        m->layers[0].blendKind = 0;
    }
    m->flags = (m->flags & ~kTranslucent) | kVertexColours;
    bz_UpdateMaterial(m, BZ_MATUPDATE_ALL);
    return m;
}

void ReleasePages(Pages &pages)
{
    for (int32_t i = 0; i < pages.count; ++i)
    {
        bz_ReleaseMaterial(pages.materials[i]);
        pages.materials[i] = nullptr;
    }
}

bzModel *Fail(bzErrorCode code)
{
    bzgLastError = code;
    return nullptr;
}

bool UsableFont(const bzFont *font)
{
    const float line = font->lineHeight * font->scaleY * bzTextScaleY;
    return font->glyphs && (font->glyphCount == 128 || font->glyphCount == 256) && line > 0.0f &&
           std::isfinite(line) && std::isfinite(font->scaleX * bzTextScaleX);
}

bzModel *BuildTextModel(const char *name, bzFont *font, const char *text, uint32_t flags,
                        float width, float height, float wrapWidth)
{
    if (!font)
        font = bz_Font_GetDefault();
    if (!font || !text || !*text || !UsableFont(font) || !(height > 0.0f) ||
        !std::isfinite(height) || !(width >= 0.0f) || !std::isfinite(width) ||
        !(wrapWidth >= 0.0f) || !std::isfinite(wrapWidth))
        return Fail(BZ_ERROR_INVALID_PARAMETER);

    // First pass: the quads and pages, and the widest line.
    Build b = {};
    bz_Font_LayoutText(font, text, flags, wrapWidth, TakeQuads, &b);
    if (b.lost)
        return Fail(BZ_ERROR_NO_MEMORY);
    if (b.overflow)
        return Fail(BZ_ERROR_PARAMETER_OUT_OF_RANGE);
    if (b.quads == 0)
        return Fail(BZ_ERROR_INVALID_PARAMETER);
    const float widest = font->widestLine;
    b.scaleY = height / (font->lineHeight * font->scaleY * bzTextScaleY);
    b.scaleX = width > 0.0f && widest > 0.0f ? width / widest : b.scaleY;
    if (!std::isfinite(b.scaleX) || !std::isfinite(b.scaleY))
        return Fail(BZ_ERROR_INVALID_PARAMETER);

    for (int32_t i = 0; i < b.pages.count; ++i)
        if (!(b.pages.materials[i] = PageMaterial(b.pages.images[i])))
        {
            ReleasePages(b.pages);
            return nullptr;
        }
    const int32_t quads = b.quads;
    bzModel *model = bz_CreateModel(2 * quads, 4 * quads);
    if (!model)
    {
        ReleasePages(b.pages);
        return Fail(BZ_ERROR_NO_MEMORY);
    }

    // Second pass: the same layout written into the model.
    b.data = model->vertexData;
    b.quads = 0;
    bz_Font_LayoutText(font, text, flags, wrapWidth, TakeQuads, &b);
    if (b.lost || b.quads != quads)
    {
        // Temporary memory ran out in one of the passes.
        bz_ReleaseModel(model);
        ReleasePages(b.pages);
        return Fail(BZ_ERROR_NO_MEMORY);
    }
    // The glyphs keep their own colours: the material colouring of the other builders is not
    // run. The part's entries hold the page materials; the builder's references go.
    CopyName(model, name);
    const int32_t result = bz_PrepareModelGeometry(model, kPrepareAll);
    ReleasePages(b.pages);
    if (result)
    {
        bz_ReleaseModel(model);
        return Fail(result);
    }
    return model;
}
} // namespace

bzModel *bz_CreateTextModel(bzFont *font, const char *text, uint32_t flags, float width,
                            float height, float wrapWidth)
{
    return BuildTextModel(nullptr, font, text, flags, width, height, wrapWidth);
}

bzLump *bz_CreateTextLump(const char *name, bzFont *font, const char *text, uint32_t flags,
                          float width, float height, float wrapWidth)
{
    bzModel *model = BuildTextModel(name, font, text, flags, width, height, wrapWidth);
    if (!model)
        return nullptr;
    bzLump *lump = bz_Lump_Create(BZ_LUMP_TYPE_MODEL, name);
    if (!lump)
    {
        bz_ReleaseModel(model);
        return nullptr;
    }
    bz_Lump_SetObject(lump, model);
    // The lump took its own use through the scene's services; the builder's goes. Without
    // services both are nothing and the lump keeps the builder's reference.
    bz_Scene_ReleaseModel(model);
    return lump;
}
