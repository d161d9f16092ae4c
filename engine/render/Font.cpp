#include "render/Font.h"

#include "core/Bytes.h"
#include "core/Error.h"
#include "core/Memory.h"
#include "device/RenderTable.h"
#include "models/ImgMap.h"
#include "render/DefaultFontBits.h"
#include "render/Draw2D.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

bzFont *bzFontTable[BZ_FONT_SLOTS];
float bzTextScaleX = 1.0f;
float bzTextScaleY = 1.0f;
bzTextColourRow bzgTextColours[BZ_TEXT_COLOURS];

namespace
{
constexpr int32_t kTempStack = 1;
constexpr int32_t kDefaultGlyphs = 128;
constexpr int32_t kDefaultLineHeight = 15;
constexpr int32_t kDefaultWidth = 256;
constexpr int32_t kDefaultHeight = 64;

bzGlyph gDefaultGlyphs[kDefaultGlyphs];
bzFont gDefaultFont;
bool gDefaultMade = false;
bool gRenderStateDone = false;

// Measuring extents, taken over every vertex of the measured runs.
int32_t gMinX, gMinY, gMaxX, gMaxY;

// A layout coordinate as a whole number; metrics of damaged font data may give any float, so
// the value is clamped and a non-number is 0.
int32_t ToInt(float v)
{
    if (!(v == v))
        return 0;
    if (v > 1.0e9f)
        return 1000000000;
    if (v < -1.0e9f)
        return -1000000000;
    return static_cast<int32_t>(v);
}

bzFont *OrDefault(bzFont *font)
{
    return font ? font : bz_Font_GetDefault();
}

// The font of "@F(c)": the slot's font, or the default font for an empty or unknown slot.
bzFont *SlotFont(char c)
{
    const int32_t slot = c - '0';
    if (slot < 0 || slot >= BZ_FONT_SLOTS || !bzFontTable[slot])
        return bz_Font_GetDefault();
    return bzFontTable[slot];
}

const bzGlyph *GlyphOf(const bzFont *font, uint8_t c)
{
    if (!font->glyphs || c >= font->glyphCount)
        return nullptr;
    const bzGlyph *g = &font->glyphs[c];
    return g->advance > 0.0f ? g : nullptr;
}

bool IsDigit(uint8_t c)
{
    return c >= '0' && c <= '9';
}

// The advance of one character in layout pixels.
float GlyphAdvance(const bzFont *font, uint8_t c, uint32_t flags)
{
    float a;
    if ((flags & BZ_TEXT_FIXED_DIGITS) && IsDigit(c))
        a = font->spacing + font->digitWidth;
    else if (flags & BZ_TEXT_FIXED_WIDTH)
        a = font->spacing + font->fixedWidth;
    else
    {
        const bzGlyph *g = GlyphOf(font, c);
        a = (g ? g->advance : 0.0f) + font->spacing;
    }
    return a * font->scaleX * bzTextScaleX;
}

float TabWidth(const bzFont *font, uint32_t flags)
{
    const bzGlyph *space = GlyphOf(font, ' ');
    const float w = (flags & BZ_TEXT_FIXED_WIDTH) ? font->fixedWidth : (space ? space->advance : 0);
    return 4.0f * (w + font->spacing) * font->scaleX * bzTextScaleX;
}

float NewlineAdvance(const bzFont *font)
{
    return font->lineHeight * font->scaleY * bzTextScaleY;
}

float WrapAdvance(const bzFont *font)
{
    return (font->lineGap + font->lineHeight) * font->scaleY * bzTextScaleY;
}

// The ')' that closes an escape whose '(' is at open, or null when the text ends first.
const char *CloseOf(const char *open)
{
    return std::strchr(open, ')');
}

// A decimal integer of an escape's argument, read as "%d" would (0 when there is none),
// held within +-1,000,000,000.
int32_t EscapeNumber(const char *p)
{
    const long n = std::strtol(p, nullptr, 10);
    if (n > 1000000000L)
        return 1000000000;
    if (n < -1000000000L)
        return -1000000000;
    return static_cast<int32_t>(n);
}

// Width of the word from p: characters up to the next one at or below ' '; "@@" counts one
// '@', "@F(c)" switches the measuring font, any other escape ends the word.
float WordWidth(const bzFont *font, const char *p, uint32_t flags)
{
    float w = 0.0f;
    while (static_cast<uint8_t>(*p) > ' ')
    {
        if (*p == '@')
        {
            if (p[1] == 0)
                break;
            if (p[2] != '(')
            {
                ++p;
                if (static_cast<uint8_t>(*p) <= ' ')
                    break;
            }
            else if (p[1] == 'F')
            {
                const char *close = CloseOf(p + 2);
                if (!close)
                    break;
                font = SlotFont(p[3]);
                p = close + 1;
                continue;
            }
            else
                break;
        }
        w += GlyphAdvance(font, static_cast<uint8_t>(*p), flags);
        ++p;
    }
    return w;
}

// Moves the quads of the line that ends with a line width by the room the box leaves.
void AlignLine(const bzTextLayout *L, bzTextVertex *v, int32_t from, int32_t to, float lineWidth)
{
    if (!v || L->boxWidth <= 0.0f || !(L->flags & (BZ_TEXT_RIGHT | BZ_TEXT_CENTRE)))
        return;
    float room = L->boxWidth - lineWidth;
    if (L->flags & BZ_TEXT_CENTRE)
        room = std::round(room * 0.5f);
    for (int32_t i = from; i < to; ++i)
        v[i].x += room;
}

// A line ends with the given width (pen x less the margin) in run r.
void LineEnded(bzTextLayout *L, float width)
{
    const float end = L->left + width;
    if (end > L->widest)
        L->widest = end;
    if (L->dry)
    {
        for (int32_t j = L->firstUnresolved; j < L->runIndex; ++j)
            L->runLineWidth[j] = width;
        L->firstUnresolved = L->runIndex;
    }
}

void WriteQuad(bzTextVertex *v, const bzFont *font, const bzGlyph *g, uint8_t c, float penX,
               float penY, uint32_t flags, int32_t colour)
{
    const float sx = font->scaleX * bzTextScaleX;
    float x0;
    if ((flags & BZ_TEXT_FIXED_DIGITS) && IsDigit(c))
        x0 = penX + (font->digitWidth - g->width) * sx * 0.5f - 0.5f;
    else if (flags & BZ_TEXT_FIXED_WIDTH)
        x0 = penX + (font->fixedWidth - g->width) * sx * 0.5f - 0.5f;
    else
        x0 = penX + g->offsetX - 0.5f;
    const float x1 = x0 + g->width * sx;
    const float y0 = penY - 0.5f;
    const float y1 = penY + font->lineHeight * font->scaleY * bzTextScaleY - 0.5f;
    const uint32_t *k = bzgTextColours[colour & (BZ_TEXT_COLOURS - 1)].corners;
    const bzTextVertex tl = {x0, y0, 0, 1, k[0], g->uLeft, g->vTop};
    const bzTextVertex tr = {x1, y0, 0, 1, k[1], g->uRight, g->vTop};
    const bzTextVertex bl = {x0, y1, 0, 1, k[2], g->uLeft, g->vBottom};
    const bzTextVertex br = {x1, y1, 0, 1, k[3], g->uRight, g->vBottom};
    v[0] = tl;
    v[1] = tr;
    v[2] = bl;
    v[3] = tr;
    v[4] = br;
    v[5] = bl;
}

// Splits the text into runs at "@F(c)" escapes; answers the run count (at least 1).
int32_t SplitRuns(bzFont *font, const char *text, uint32_t flags, bzTextRun *runs)
{
    int32_t n = 0;
    runs[0] = {};
    runs[0].start = text;
    runs[0].font = font;
    const char *p = text;
    while (*p)
    {
        if (*p == '@' && p[1] && p[2] == '(')
        {
            const char *close = CloseOf(p + 2);
            if (!close)
                break; // the rest is one unterminated escape
            if (p[1] == 'F' && n + 1 < BZ_TEXT_MAX_RUNS)
            {
                runs[n].end = p;
                ++n;
                runs[n] = {};
                runs[n].start = close + 1;
                runs[n].font = SlotFont(p[3]);
            }
            p = close + 1;
            continue;
        }
        if (*p == '@' && p[1])
            ++p; // the escaped character is an ordinary one
        if (GlyphOf(runs[n].font, static_cast<uint8_t>(*p)))
            runs[n].vertexCount += 6;
        ++p;
    }
    runs[n].end = p + std::strlen(p);
    for (int32_t i = 0; i <= n; ++i)
    {
        runs[i].flags = flags;
        runs[i].fill = bz_Font_DrawWrappedText;
    }
    runs[n].last = 1;
    return n + 1;
}

void MeasureVertices(const bzTextVertex *v, int32_t count)
{
    for (int32_t i = 0; i < count; ++i)
    {
        const int32_t x = ToInt(std::floor(v[i].x + 0.5f));
        const int32_t y = ToInt(std::floor(v[i].y + 0.5f));
        if (x < gMinX)
            gMinX = x;
        if (x > gMaxX)
            gMaxX = x;
        if (y < gMinY)
            gMinY = y;
        if (y > gMaxY)
            gMaxY = y;
    }
}

// Where the vertices of a layout go instead of the renderer: a caller's sink.
struct QuadSink
{
    bzTextQuadSink sink;
    void *user;
};

// Hands one run to the renderer, or to the measuring routine or a caller's sink, or lays it out
// for its pen movement alone when there is nothing to draw.
void EmitRun(bzTextRun *run, const QuadSink *sink)
{
    if ((run->flags & BZ_TEXT_MEASURE) || sink)
    {
        if (run->vertexCount > 0)
        {
            auto *v = static_cast<bzTextVertex *>(bz_TempStack_Alloc(
                kTempStack, static_cast<uint32_t>(run->vertexCount) * sizeof(bzTextVertex), 0));
            if (v)
            {
                const int32_t written = bz_Font_DrawWrappedText(run, v);
                if (sink)
                    sink->sink(run->font, v, written, sink->user);
                else
                    MeasureVertices(v, written);
                bz_TempStack_Free(kTempStack, v);
                return;
            }
            bzgLastError = BZ_ERROR_NO_MEMORY;
            if (sink)
                sink->sink(run->font, nullptr, 0, sink->user); // the run's quads are lost
        }
        bz_Font_DrawWrappedText(run, nullptr);
        return;
    }
    if (run->vertexCount > 0 && bzgRenderTable.PDAdd2DVertexList)
        bzgRenderTable.PDAdd2DVertexList(run);
    else
        bz_Font_DrawWrappedText(run, nullptr);
}

// One pass of the drawing path; answers the y below the text.
float DrawPass(bzFont *font, const char *text, uint32_t flags, float x, float y, float width,
               int32_t shadow, const QuadSink *sink = nullptr)
{
    bzTextRun runs[BZ_TEXT_MAX_RUNS];
    bzTextLayout L = {};
    const int32_t count = SplitRuns(font, text, flags, runs);
    if (flags & (BZ_TEXT_BOTTOM | BZ_TEXT_VCENTRE))
    {
        const float h = static_cast<float>(count) * NewlineAdvance(font);
        y -= (flags & BZ_TEXT_BOTTOM) ? h : std::round(h * 0.5f);
    }
    L.left = x;
    L.boxWidth = width > 0.0f ? width : 0.0f;
    L.flags = flags;
    L.shadow = shadow;
    for (int32_t i = 0; i < count; ++i)
        runs[i].layout = &L;

    // With a box and several runs, the widths of lines that run on into the next run are
    // worked out first, so that their alignment matches a text in one font.
    if (L.boxWidth > 0.0f && count > 1)
    {
        L.dry = 1;
        L.penX = x;
        L.penY = y;
        for (int32_t i = 0; i < count; ++i)
        {
            L.runIndex = i;
            runs[i].carriedWidth = L.penX - L.left;
            bz_Font_DrawWrappedText(&runs[i], nullptr);
            if (i + 1 < count)
            {
                runs[i].carriedBreak = WordWidth(runs[i + 1].font, runs[i + 1].start, flags);
                L.penY -= NewlineAdvance(runs[i + 1].font) - NewlineAdvance(runs[i].font);
            }
        }
        L.dry = 0;
    }

    L.penX = x;
    L.penY = y;
    L.widest = 0.0f;
    for (int32_t i = 0; i < count; ++i)
    {
        L.runIndex = i;
        runs[i].carriedWidth = L.penX - L.left;
        EmitRun(&runs[i], sink);
        if (i + 1 < count)
            L.penY -= NewlineAdvance(runs[i + 1].font) - NewlineAdvance(runs[i].font);
    }
    const bzFont *lastFont = runs[count - 1].font;
    font->lastLineEnd = std::round(L.penX);
    font->widestLine = std::round(L.widest);
    return L.penY + NewlineAdvance(lastFont);
}

// Computed glyph records from {x, y, width} pixel positions (formats 0 and 1 and the default
// font).
void ComputeGlyphs(bzFont *font, const int32_t (*pos)[3], int32_t imageW, int32_t imageH)
{
    const float W = imageW > 0 ? static_cast<float>(imageW) : 1.0f;
    const float H = imageH > 0 ? static_cast<float>(imageH) : 1.0f;
    float widest = 0.0f, widestDigit = 0.0f;
    for (int32_t c = 0; c < 128; ++c)
    {
        bzGlyph &g = font->glyphs[c];
        const float x = static_cast<float>(pos[c][0]);
        const float y = static_cast<float>(pos[c][1]);
        const float w = static_cast<float>(pos[c][2]);
        g.uLeft = x / W;
        g.uRight = (x + w) / W;
        g.vTop = y / H;
        g.vBottom = (y + font->lineHeight) / H;
        g.advance = g.width = w > 0.0f ? w : 0.0f;
        g.offsetX = 0.0f;
        if (g.width > widest)
            widest = g.width;
        if (IsDigit(static_cast<uint8_t>(c)) && g.width > widestDigit)
            widestDigit = g.width;
    }
    font->digitWidth = widestDigit;
    font->fixedWidth = widest;
}

void InitFontFields(bzFont *font)
{
    *font = {};
    font->shadowColourIndex = 4;
    font->scaleX = 1.0f;
    font->scaleY = 1.0f;
    font->slot = -1;
    font->shadowOffsetX = 6;
    font->shadowOffsetY = 6;
}

void MakeDefaultFont()
{
    InitFontFields(&gDefaultFont);
    gDefaultFont.shadowColourIndex = 31;
    gDefaultFont.shadowOffsetX = 2;
    gDefaultFont.shadowOffsetY = 2;
    gDefaultFont.lineHeight = static_cast<float>(kDefaultLineHeight);
    gDefaultFont.glyphs = gDefaultGlyphs;
    gDefaultFont.glyphCount = kDefaultGlyphs;
    int32_t pos[kDefaultGlyphs][3] = {};
    for (int32_t c = BZ_DEFAULT_FONT_FIRST; c <= BZ_DEFAULT_FONT_LAST; ++c)
    {
        const int32_t i = c - BZ_DEFAULT_FONT_FIRST;
        pos[c][0] = (i % BZ_DEFAULT_FONT_PER_ROW) * BZ_DEFAULT_FONT_PITCH;
        pos[c][1] = (i / BZ_DEFAULT_FONT_PER_ROW) * kDefaultLineHeight;
        pos[c][2] = BZ_DEFAULT_FONT_GLYPH_WIDTH;
    }
    ComputeGlyphs(&gDefaultFont, pos, kDefaultWidth, kDefaultHeight);

    bz_IMGMAP *image = bz_CreateImgMap("DefaultFont", BZ_IMAGE_1555, kDefaultWidth, kDefaultHeight,
                                       BZ_IMGMAP_MAKE_TEXTURE | BZ_IMGMAP_OPT_NO_COMPRESS);
    if (!image)
        return; // the texture could not be made: the font has no image
    gDefaultFont.image = image;
    if (!bzgRenderTable.PDLockImgMap || bzgRenderTable.PDLockImgMap(image, BZ_LOCK_WRITE) != 0)
        return;
    if (bzgRenderTable.PDPutImgMapPixel)
    {
        for (int32_t y = 0; y < kDefaultHeight; ++y)
            for (int32_t x = 0; x < kDefaultWidth; ++x)
            {
                const int32_t on = bz_DefaultFont_Pixel(x, y) ? 255 : 0;
                bzgRenderTable.PDPutImgMapPixel(image, x, y, on, on, on, on);
            }
    }
    if (bzgRenderTable.PDUnlockImgMap)
        bzgRenderTable.PDUnlockImgMap(image);
}

// Reads a font data block into font; answers false for a short block or an unknown format.
bool ReadFontData(bzFont *font, const uint8_t *data, uint32_t size, int32_t imageW, int32_t imageH)
{
    if (!data || size < 4)
        return false;
    const uint32_t first = bz_GetU32LE(data);
    const uint32_t format = first >> 16;
    const uint8_t *p = data + 4;
    const uint32_t left = size - 4;
    if (format > 5)
        return false;
    font->glyphCount = format == 5 ? 256 : 128;
    if (format <= 1)
    {
        if (left < 128u * 12u)
            return false;
        font->lineHeight = static_cast<float>(first & 0xFFFF);
        int32_t pos[128][3];
        for (int32_t c = 0; c < 128; ++c)
            for (int32_t k = 0; k < 3; ++k)
                pos[c][k] = static_cast<int32_t>(bz_GetU32LE(p + (c * 3 + k) * 4));
        ComputeGlyphs(font, pos, imageW, imageH);
        return true;
    }
    const uint32_t recordSize = format == 2 ? 24u : 28u;
    const uint32_t trailer = format >= 4 ? 5u * 4u : 3u * 4u;
    if (left < static_cast<uint32_t>(font->glyphCount) * recordSize + trailer)
        return false;
    for (int32_t c = 0; c < font->glyphCount; ++c)
    {
        bzGlyph &g = font->glyphs[c];
        const uint8_t *r = p + c * recordSize;
        g.uLeft = bz_GetF32LE(r);
        g.uRight = bz_GetF32LE(r + 4);
        g.vTop = bz_GetF32LE(r + 8);
        g.vBottom = bz_GetF32LE(r + 12);
        g.advance = bz_GetF32LE(r + 16);
        g.width = bz_GetF32LE(r + 20);
        g.offsetX = recordSize == 28 ? bz_GetF32LE(r + 24) : 0.0f;
        if (!std::isfinite(g.advance))
            g.advance = 0.0f; // a glyph whose advance is no number is no glyph
    }
    const uint8_t *t = p + font->glyphCount * recordSize;
    font->lineHeight = bz_GetF32LE(t);
    font->digitWidth = bz_GetF32LE(t + 4);
    font->fixedWidth = bz_GetF32LE(t + 8);
    if (format >= 4)
    {
        font->spacing = bz_GetF32LE(t + 12);
        font->formatWord = bz_GetU32LE(t + 16);
    }
    return true;
}
} // namespace

void bz_RenderState_InitDefaults()
{
    if (gRenderStateDone)
        return;
    gRenderStateDone = true;
    std::memset(bzFontTable, 0, sizeof bzFontTable);
    std::memset(bzgTextColours, 0, sizeof bzgTextColours);
    auto row = [](int32_t r, uint32_t c)
    {
        for (uint32_t &k : bzgTextColours[r].corners)
            k = c;
    };
    for (int32_t r : {0, 5, 6, 7, 8, 9})
        row(r, 0xFFFFFFFF);
    row(1, 0xFFFF0000);
    row(2, 0xFF00FFFF);
    row(3, 0xFF000000);
    row(31, 0xFF000000);
    row(4, 0xC8000000);
    if (bzgRenderTable.PDCreate2DBuffers)
        bzgRenderTable.PDCreate2DBuffers();
}

void bz_RenderState_ResetDefaults()
{
    gRenderStateDone = false;
}

bzFont *bz_Font_GetDefault()
{
    if (!gDefaultMade)
    {
        gDefaultMade = true;
        MakeDefaultFont();
    }
    return &gDefaultFont;
}

void bz_Font_ReleaseDefault()
{
    if (!gDefaultMade)
        return;
    if (gDefaultFont.image)
        bz_ReleaseImgMap(gDefaultFont.image);
    gDefaultFont.image = nullptr;
    gDefaultMade = false;
}

bzFont *bz_Font_Create(const char *imageName, int32_t slot)
{
    bz_IMGMAP *image = bz_GetImgMap(imageName);
    if (!image)
        return nullptr;
    if (!image->extraData || image->extraSize < 4)
    {
        bz_ReleaseImgMap(image);
        bzgLastError = BZ_ERROR_BAD_DATA_FORMAT;
        return nullptr;
    }
    const int32_t glyphs = (bz_GetU32LE(image->extraData) >> 16) == 5 ? 256 : 128;
    auto *font = static_cast<bzFont *>(bz_MemAlloc(sizeof(bzFont), 1));
    auto *table = static_cast<bzGlyph *>(bz_MemAlloc(sizeof(bzGlyph) * glyphs, 1));
    if (!font || !table)
    {
        bz_MemFree(font);
        bz_MemFree(table);
        bz_ReleaseImgMap(image);
        bzgLastError = BZ_ERROR_NO_MEMORY;
        return nullptr;
    }
    InitFontFields(font);
    font->glyphs = table;
    font->image = image;
    if (!ReadFontData(font, image->extraData, image->extraSize, image->width, image->height))
    {
        bz_MemFree(table);
        bz_MemFree(font);
        bz_ReleaseImgMap(image);
        bzgLastError = BZ_ERROR_BAD_DATA_FORMAT;
        return nullptr;
    }
    if (slot >= 0 && slot < BZ_FONT_SLOTS)
    {
        font->slot = slot;
        bzFontTable[slot] = font;
    }
    return font;
}

void bz_Font_Release(bzFont *font)
{
    if (!font || font == &gDefaultFont)
        return;
    if (font->slot >= 0 && font->slot < BZ_FONT_SLOTS && bzFontTable[font->slot] == font)
        bzFontTable[font->slot] = nullptr;
    bz_MemFree(font->glyphs);
    if (font->image)
        bz_ReleaseImgMap(font->image);
    bz_MemFree(font);
}

int32_t bz_Font_DrawWrappedText(bzTextRun *run, bzTextVertex *vertices)
{
    bzTextLayout *L = run->layout;
    const bzFont *font = run->font;
    const uint32_t flags = run->flags;
    const float Wb = L->boxWidth;
    int32_t written = 0, lineStart = 0;
    L->colour = L->shadow ? font->shadowColourIndex : font->colourIndex;
    const char *p = run->start;
    while (p < run->end && *p)
    {
        uint8_t c = static_cast<uint8_t>(*p);
        if (c == '\t')
        {
            const float T = TabWidth(font, flags);
            if (T > 0.0f)
                L->penX = (std::round(L->penX / T) + 1.0f) * T;
            ++p;
            continue;
        }
        if (c == '\n')
        {
            AlignLine(L, vertices, lineStart, written, L->penX - L->left);
            LineEnded(L, L->penX - L->left);
            lineStart = written;
            L->penX = L->left;
            L->penY += NewlineAdvance(font);
            ++p;
            continue;
        }
        if (c == ' ')
        {
            const float adv = GlyphAdvance(font, c, flags);
            if (Wb > 0.0f && (L->penX - L->left) + WordWidth(font, p + 1, flags) > Wb - adv)
            {
                AlignLine(L, vertices, lineStart, written, L->penX - L->left);
                LineEnded(L, L->penX - L->left);
                lineStart = written;
                L->penX = L->left;
                L->penY += WrapAdvance(font);
            }
            else
                L->penX += adv;
            ++p;
            continue;
        }
        if (c == '@')
        {
            if (p[1] == 0)
                break;
            if (p[2] != '(')
                c = static_cast<uint8_t>(*++p); // "@@" and "@x": the character itself
            else
            {
                const char *close = CloseOf(p + 2);
                if (!close)
                    break; // an unterminated escape: the rest is not shown
                const char kind = p[1];
                if (kind == 'C' && close == p + 4)
                {
                    if (IsDigit(static_cast<uint8_t>(p[3])) && !L->shadow)
                        L->colour = p[3] - '0';
                }
                else if (kind == 'J' || kind == 'Y')
                {
                    const int32_t n = EscapeNumber(p + 3);
                    if (kind == 'J')
                        L->penX = L->left + static_cast<float>(n);
                    else
                        L->penY += static_cast<float>(n);
                    if (Wb > 0.0f && (L->penX - L->left) + WordWidth(font, close + 1, flags) > Wb)
                    {
                        AlignLine(L, vertices, lineStart, written, L->penX - L->left);
                        LineEnded(L, L->penX - L->left);
                        lineStart = written;
                        L->penX = L->left;
                        L->penY += NewlineAdvance(font);
                    }
                }
                p = close + 1;
                continue;
            }
        }
        const bzGlyph *g = GlyphOf(font, c);
        if (!g)
        {
            ++p;
            continue;
        }
        if (vertices && !L->dry && written + 6 <= run->vertexCount)
        {
            WriteQuad(vertices + written, font, g, c, L->penX, L->penY, flags, L->colour);
            written += 6;
        }
        const float adv = GlyphAdvance(font, c, flags);
        const float rel = L->penX - L->left;
        // The line breaks after this glyph when the rest of its word does not fit behind it
        // and the next glyph would not fit on the line either: a word longer than the box is
        // broken where the line is full.
        bool wrap = false;
        if (Wb > 0.0f && rel + WordWidth(font, p + 1, flags) > Wb - adv)
        {
            const uint8_t next = static_cast<uint8_t>(p[1]);
            const float nextAdv = next > ' ' ? GlyphAdvance(font, next, flags) : 0.0f;
            wrap = rel + adv + nextAdv > Wb;
        }
        L->penX += adv;
        if (wrap)
        {
            AlignLine(L, vertices, lineStart, written, L->penX - L->left);
            LineEnded(L, L->penX - L->left);
            lineStart = written;
            L->penX = L->left;
            L->penY += WrapAdvance(font);
        }
        ++p;
    }
    if (run->last)
    {
        AlignLine(L, vertices, lineStart, written, L->penX - L->left);
        LineEnded(L, L->penX - L->left);
    }
    else if (!L->dry)
        AlignLine(L, vertices, lineStart, written, L->runLineWidth[L->runIndex]);
    return written;
}

int32_t bz_Font_PrintString(bzFont *font, const char *text, uint32_t flags, float x, float y,
                            float width)
{
    if (!text)
        return ToInt(y);
    font = OrDefault(font);
    x *= bzTextScaleX;
    width *= bzTextScaleX;
    y *= bzTextScaleY;
    font->widestLine = 0.0f;
    font->lastLineEnd = 0.0f;
    if ((flags & BZ_TEXT_RIGHT) && width > 0.0f)
        x -= width;
    float ox = 0.0f, oy = 0.0f;
    if (bzg2DOrigin.active)
    {
        ox = static_cast<float>(bzg2DOrigin.x);
        oy = static_cast<float>(bzg2DOrigin.y);
    }
    x += ox;
    y += oy;
    if (width <= 0.0f && (flags & (BZ_TEXT_RIGHT | BZ_TEXT_CENTRE)))
    {
        const float w = bz_Font_GetStringWidth(font, text, flags) * bzTextScaleX;
        x -= (flags & BZ_TEXT_RIGHT) ? w : std::round(w * 0.5f);
    }
    if (flags & BZ_TEXT_SHADOW)
    {
        flags &= ~BZ_TEXT_SHADOW;
        DrawPass(font, text, flags, x + static_cast<float>(font->shadowOffsetX),
                 y + static_cast<float>(font->shadowOffsetY), width, 1);
    }
    const float end = DrawPass(font, text, flags, x, y, width, 0);
    font->widestLine -= ox;
    font->lastLineEnd -= ox;
    return ToInt(std::round(end - oy));
}

float bz_Font_LayoutText(bzFont *font, const char *text, uint32_t flags, float width,
                         bzTextQuadSink sink, void *user)
{
    font = OrDefault(font);
    font->widestLine = 0.0f;
    font->lastLineEnd = 0.0f;
    if (!text || !sink)
        return 0.0f;
    flags &= ~(BZ_TEXT_SHADOW | BZ_TEXT_MEASURE);
    width *= bzTextScaleX;
    float x = 0.0f;
    if ((flags & BZ_TEXT_RIGHT) && width > 0.0f)
        x -= width;
    if (width <= 0.0f && (flags & (BZ_TEXT_RIGHT | BZ_TEXT_CENTRE)))
    {
        const float w = bz_Font_GetStringWidth(font, text, flags) * bzTextScaleX;
        x -= (flags & BZ_TEXT_RIGHT) ? w : std::round(w * 0.5f);
    }
    const QuadSink to = {sink, user};
    return DrawPass(font, text, flags, x, 0.0f, width, 0, &to);
}

int32_t bz_Font_Printf(bzFont *font, uint32_t flags, float x, float y, float width,
                       const char *format, ...)
{
    char buffer[BZ_TEXT_FORMAT_SIZE];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    return bz_Font_PrintString(font, buffer, flags, x, y, width);
}

void bz_Font_MeasureText(bzFont *font, const char *text, uint32_t flags, float width, int32_t *rect)
{
    bzViewport *savedTarget = bzg2DDrawMode;
    const bz2DOrigin savedOrigin = bzg2DOrigin;
    bzg2DOrigin.active = 0;
    if (bzgRenderTable.PDNote2DViewport)
        bzgRenderTable.PDNote2DViewport(nullptr);
    gMinX = gMinY = 100000;
    gMaxX = gMaxY = -100000;
    bz_Font_PrintString(font, text, flags | BZ_TEXT_MEASURE, 0.0f, 0.0f, width);
    bzg2DOrigin = savedOrigin;
    if (bzgRenderTable.PDNote2DViewport)
        bzgRenderTable.PDNote2DViewport(savedTarget);
    if (gMaxX < gMinX)
    {
        // Nothing was laid out: an empty rectangle at the origin.
        rect[0] = rect[1] = 0;
        rect[2] = rect[3] = 0;
        return;
    }
    rect[0] = gMinX;
    rect[1] = gMinY;
    rect[2] = gMaxX - gMinX + 1;
    rect[3] = gMaxY - gMinY + 1;
}

void bz_Font_MeasureTextf(bzFont *font, uint32_t flags, float width, int32_t *rect,
                          const char *format, ...)
{
    char buffer[BZ_TEXT_FORMAT_SIZE];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    bz_Font_MeasureText(font, buffer, flags, width, rect);
}

float bz_Font_GetStringWidth(bzFont *font, const char *text, uint32_t flags)
{
    if (!text)
        return 0.0f;
    font = OrDefault(font);
    float w = 0.0f;
    const char *p = text;
    while (*p)
    {
        if (*p == '@')
        {
            if (p[1] == 0)
                break;
            if (p[2] != '(')
                ++p; // the next character counts
            else
            {
                const char *close = CloseOf(p + 2);
                if (!close)
                    break;
                if (p[1] == 'F' && close == p + 4)
                    font = SlotFont(p[3]);
                else if (p[1] == 'J')
                    w = static_cast<float>(EscapeNumber(p + 3));
                p = close + 1;
                continue;
            }
        }
        w += GlyphAdvance(font, static_cast<uint8_t>(*p), flags);
        ++p;
    }
    return w / bzTextScaleX;
}

float bz_Font_GetCharWidth(bzFont *font, uint8_t c)
{
    font = OrDefault(font);
    const bzGlyph *g = GlyphOf(font, c);
    return ((g ? g->advance : 0.0f) + font->spacing) * font->scaleX;
}

void bz_Font_GetCharUVs(bzFont *font, uint8_t c, float *uv12)
{
    font = OrDefault(font);
    const bzGlyph *g = GlyphOf(font, c);
    if (!g)
    {
        std::memset(uv12, 0, 12 * sizeof(float));
        return;
    }
    const float uv[12] = {g->uLeft,  g->vTop, g->uRight, g->vTop,    g->uLeft, g->vBottom,
                          g->uRight, g->vTop, g->uRight, g->vBottom, g->uLeft, g->vBottom};
    std::memcpy(uv12, uv, sizeof uv);
}

bz_IMGMAP *bz_Font_GetImage(bzFont *font)
{
    return OrDefault(font)->image;
}

int32_t bz_Font_GetFixedWidth(bzFont *font)
{
    return ToInt(std::round(OrDefault(font)->fixedWidth));
}

float bz_Font_GetLineHeight(bzFont *font)
{
    font = OrDefault(font);
    return font->lineHeight * font->scaleY;
}

float bz_Font_GetMaxLineHeight(bzFont *font, const char *text)
{
    float h = bz_Font_GetLineHeight(font);
    for (const char *p = text; p && (p = std::strstr(p, "@F(")) != nullptr; p += 3)
    {
        if (p[3] == 0)
            break;
        const float fh = bz_Font_GetLineHeight(SlotFont(p[3]));
        if (fh > h)
            h = fh;
    }
    return h;
}
