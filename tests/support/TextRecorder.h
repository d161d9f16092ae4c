// A recording 2-D vertex-list slot for text tests: every text run the font layer hands to the
// renderer is laid out through the run's own fill routine and kept with its text, pen, box and
// vertices. Also a plain test font whose printable characters share one advance.
#pragma once

#include "device/RenderTable.h"
#include "render/Font.h"

#include <string>
#include <vector>

struct RecordedRun
{
    std::string text; // the run's characters, escapes included
    bzFont *font;
    uint32_t flags;
    int32_t last;
    int32_t shadow;
    float left, boxWidth;
    float penX, penY; // where the run starts
    float endX, endY; // where the pen is after it
    int32_t room;     // vertexCount offered
    std::vector<bzTextVertex> vertices;
};

inline std::vector<RecordedRun> &RecordedRuns()
{
    static std::vector<RecordedRun> runs;
    return runs;
}

inline void RecordTextRun(bzTextRun *run)
{
    RecordedRun r;
    r.text.assign(run->start, run->end);
    r.font = run->font;
    r.flags = run->flags;
    r.last = run->last;
    r.shadow = run->layout->shadow;
    r.left = run->layout->left;
    r.boxWidth = run->layout->boxWidth;
    r.penX = run->layout->penX;
    r.penY = run->layout->penY;
    r.room = run->vertexCount;
    r.vertices.resize(static_cast<size_t>(run->vertexCount));
    const int32_t n = run->fill(run, r.vertices.data());
    r.vertices.resize(static_cast<size_t>(n));
    r.endX = run->layout->penX;
    r.endY = run->layout->penY;
    RecordedRuns().push_back(std::move(r));
}

// A font whose characters 32-126 advance by `advance` pixels with ink of the same width, on
// lines of `lineHeight` pixels; no image.
struct UniformFont
{
    bzGlyph glyphs[128] = {};
    bzFont font = {};
    UniformFont(float advance, float lineHeight)
    {
        for (int c = 32; c < 127; ++c)
            glyphs[c] = {0.0f, 1.0f, 0.0f, 1.0f, advance, advance, 0.0f};
        font.lineHeight = lineHeight;
        font.digitWidth = advance;
        font.fixedWidth = advance;
        font.shadowColourIndex = 4;
        font.scaleX = 1.0f;
        font.scaleY = 1.0f;
        font.glyphs = glyphs;
        font.glyphCount = 128;
        font.slot = -1;
        font.shadowOffsetX = 6;
        font.shadowOffsetY = 6;
    }
};
