// Bitmap fonts and on-screen text.
//
// The text renderer proper is not built yet. Until it is, text goes through a small driver
// record that the renderer (or a test) installs; without one, text draws nothing and the
// default font answers with its metrics only.
#pragma once

#include <cstdint>

struct bz_IMGMAP;

struct bzFont
{
    float lineHeight;
    float digitWidth;
    float fixedWidth;
    uint32_t unused[2];
    bz_IMGMAP *image;
    int32_t colourIndex;
    int32_t shadowColourIndex;
    float spacing;
    float scaleX;
    float lineGap;
    float scaleY;
    uint32_t formatWord;
    const void *glyphs;
    int32_t slot;
    int32_t shadowOffsetX;
    int32_t shadowOffsetY;
    float widestLine;
    float lastLineEnd;
};

struct bzFontDriver
{
    bzFont *(*getDefault)();
    int32_t (*printString)(bzFont *font, const char *text, uint32_t flags, float x, float y,
                           float width);
    float (*getStringWidth)(bzFont *font, const char *text, uint32_t flags);
};

// Installs the text renderer (null removes it).
void bz_Font_SetDriver(const bzFontDriver *driver);

// The built-in font "DefaultFont".
bzFont *bz_Font_GetDefault();
// Draws the text at (x, y); returns the y below the last line (y for a null text).
int32_t bz_Font_PrintString(bzFont *font, const char *text, uint32_t flags, float x, float y,
                            float width);
// Width of the text on one line in unscaled pixels, escapes skipped.
float bz_Font_GetStringWidth(bzFont *font, const char *text, uint32_t flags);
