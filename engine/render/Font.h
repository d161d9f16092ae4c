// Bitmap fonts and on-screen text.
//
// A font is an image map of glyphs and a table of glyph records (texture coordinates and
// advances). Text is laid out left to right into quads of six vertices, optionally wrapped
// inside a box width and aligned, coloured from the text colour table and switched between
// the fonts of the font table by '@' escapes:
//   "@@"      a literal '@' (any '@' not followed by a character and '(' draws the character)
//   "@C(d)"   colour number d (0-9) for the rest of the run
//   "@F(c)"   the font of slot c - '0' for the rest of the text (an empty slot: the default)
//   "@J(n)"   pen x to the left margin + n pixels
//   "@Y(n)"   pen y down by n pixels
// Each stretch of text in one font is a run (at most BZ_TEXT_MAX_RUNS a call; later font
// switches are ignored) handed to the renderer's 2-D vertex-list slot, which has the run's
// layout routine fill its own vertex buffer. "DefaultFont" is built in and made on first use.
#pragma once

#include <cstdarg>
#include <cstdint>

#include "device/TextRun.h"

struct bz_IMGMAP;

// Text flags of the drawing and measuring calls.
enum : uint32_t
{
    BZ_TEXT_RIGHT = 0x02,
    BZ_TEXT_CENTRE = 0x04,
    BZ_TEXT_BOTTOM = 0x10,
    BZ_TEXT_VCENTRE = 0x20,
    BZ_TEXT_SHADOW = 0x40,
    BZ_TEXT_FIXED_DIGITS = 0x80,
    BZ_TEXT_FIXED_WIDTH = 0x100,
    BZ_TEXT_MEASURE = 0x200,
};

constexpr int32_t BZ_FONT_SLOTS = 32;
constexpr int32_t BZ_TEXT_FORMAT_SIZE = 1024; // buffer of the printf-style calls
constexpr int32_t BZ_TEXT_COLOURS = 32;

// One glyph, indexed by the character code as an unsigned byte. advance 0: no glyph.
struct bzGlyph
{
    float uLeft;
    float uRight;
    float vTop;
    float vBottom;
    float advance; // pixels
    float width;   // ink width in pixels
    float offsetX; // added to the glyph's x when placed
};
static_assert(sizeof(bzGlyph) == 28);

struct bzFont
{
    float lineHeight;
    float digitWidth; // advance of '0'-'9' with BZ_TEXT_FIXED_DIGITS
    float fixedWidth; // advance of every character with BZ_TEXT_FIXED_WIDTH
    uint32_t unused[2];
    bz_IMGMAP *image;
    int32_t colourIndex;       // colour number at the start of a string
    int32_t shadowColourIndex; // colour number of the drop shadow
    float spacing;             // extra advance after every character
    float scaleX;
    float lineGap; // extra space between lines broken by wrapping
    float scaleY;
    uint32_t formatWord; // read from the newer formats, not used by the layout
    bzGlyph *glyphs;     // 128 or 256 records
    int32_t slot;        // index in the font table, -1 for none
    int32_t shadowOffsetX;
    int32_t shadowOffsetY;
    float widestLine;   // largest line-end x of the last layout
    float lastLineEnd;  // last line-end x of the last layout
    int32_t glyphCount; // 128 or 256
};

// One row of the text colour table: the corner colours top-left, top-right, bottom-left,
// bottom-right, and a flag word.
struct bzTextColourRow
{
    uint32_t corners[4];
    uint32_t flags;
};

// The font table, indexed by slot.
extern bzFont *bzFontTable[BZ_FONT_SLOTS];
// Global text scales, 1.0 at start.
extern float bzTextScaleX;
extern float bzTextScaleY;
// The text colour table.
extern bzTextColourRow bzgTextColours[BZ_TEXT_COLOURS];

// The front end's one-time render-state defaults for text: clears the font table, sets the
// colour table (rows 0 and 5-9 white, 1 red, 2 cyan, 3 and 31 black, 4 translucent black,
// the rest 0), creates the 2-D buffers (slot 37). Later calls do nothing.
void bz_RenderState_InitDefaults();
// Forgets the first call so that the next one sets the defaults again (engine restart).
void bz_RenderState_ResetDefaults();

// The built-in font "DefaultFont", created on first call.
bzFont *bz_Font_GetDefault();
// A font from the named image map's font data block, registered in slot (0-31; other values
// register nothing). Null for a missing image map, a missing or short data block, or a
// format above 5 (last error 59), with the image map released.
bzFont *bz_Font_Create(const char *imageName, int32_t slot);
// Gives back the default font's image map (engine shut-down); the next use makes it anew.
void bz_Font_ReleaseDefault();
// Frees the glyph table and the image map and clears the font's slot.
void bz_Font_Release(bzFont *font);

// Draws the text at (x, y), wrapped inside width when it is above 0; returns the y below the
// last line, rounded (y itself for a null text). A null font is the default font.
int32_t bz_Font_PrintString(bzFont *font, const char *text, uint32_t flags, float x, float y,
                            float width);
// What a layout hands a caller that keeps the quads instead of drawing them: one run's font and
// its vertices (six a glyph: top left, top right, bottom left, top right, bottom right, bottom
// left), count of them.
typedef void (*bzTextQuadSink)(const bzFont *font, const bzTextVertex *vertices, int32_t count,
                               void *user);
// Lays the text out at (0, 0) as bz_Font_PrintString would draw it (wrapped inside width when it
// is above 0, aligned by the flags, fonts and colours switched by the escapes; no drop shadow and
// no 2-D origin) and hands every run's vertices to the sink. The font's widestLine and
// lastLineEnd are those of this layout. Answers the y below the last line; 0 for a null text or
// sink. A run whose vertices cannot be had from temporary stack 1 is handed on as no vertices
// (null, 0) with the last error 14.
float bz_Font_LayoutText(bzFont *font, const char *text, uint32_t flags, float width,
                         bzTextQuadSink sink, void *user);
int32_t bz_Font_Printf(bzFont *font, uint32_t flags, float x, float y, float width,
                       const char *format, ...) __attribute__((format(printf, 6, 7)));
// The rectangle {x, y, width, height} the text would cover drawn at (0, 0).
void bz_Font_MeasureText(bzFont *font, const char *text, uint32_t flags, float width,
                         int32_t *rect);
void bz_Font_MeasureTextf(bzFont *font, uint32_t flags, float width, int32_t *rect,
                          const char *format, ...) __attribute__((format(printf, 5, 6)));
// Width of the text on one line in unscaled pixels, escapes skipped.
float bz_Font_GetStringWidth(bzFont *font, const char *text, uint32_t flags);
// (advance + spacing) x scaleX of one character.
float bz_Font_GetCharWidth(bzFont *font, uint8_t c);
// Texture coordinates (u, v) of the six vertices of the character's quad.
void bz_Font_GetCharUVs(bzFont *font, uint8_t c, float *uv12);
bz_IMGMAP *bz_Font_GetImage(bzFont *font);
int32_t bz_Font_GetFixedWidth(bzFont *font);
float bz_Font_GetLineHeight(bzFont *font);
// The largest line height among the font and every font the text selects.
float bz_Font_GetMaxLineHeight(bzFont *font, const char *text);

// Lays out one run into vertices (room for run->vertexCount); the routine a run's fill
// points to. Answers the vertices written.
int32_t bz_Font_DrawWrappedText(bzTextRun *run, bzTextVertex *vertices);
