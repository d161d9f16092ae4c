// A laid-out text run as the renderer's 2-D vertex-list slot (38) receives it: the stretch of
// a string in one font, the pen and box it shares with the other runs of one drawing call,
// and the font layer's routine that lays it out into the back end's own vertex buffer of
// 28-byte vertices, six a glyph.
#pragma once

#include <cstdint>

struct bzFont;

// At most this many runs make one drawing call (30 font changes).
constexpr int32_t BZ_TEXT_MAX_RUNS = 31;

// One vertex of a laid-out glyph quad (28 bytes).
struct bzTextVertex
{
    float x, y, z, w;
    uint32_t colour;
    float u, v;
};
static_assert(sizeof(bzTextVertex) == 28);

// The pen and box shared by the runs of one drawing call.
struct bzTextLayout
{
    float left;     // left margin
    float boxWidth; // 0: no wrapping and no box alignment
    float penX;
    float penY;
    uint32_t flags;
    int32_t shadow; // the shadow pass: shadow colour, colour escapes ignored
    int32_t colour;
    int32_t runIndex;
    int32_t dry;                          // working out line widths only
    int32_t firstUnresolved;              // first run whose last line has not ended yet (dry pass)
    float runLineWidth[BZ_TEXT_MAX_RUNS]; // final width of the line each run ends on
    float widest;
};

// One stretch of a string in one font, as handed to the renderer's 2-D vertex-list slot.
struct bzTextRun
{
    const char *start;
    bzFont *font;
    int32_t vertexCount; // room the layout may need: 6 for every character with a glyph
    const char *end;
    uint32_t flags;
    int32_t last;         // 1 for the last run of the call
    float carriedWidth;   // width of the line this run starts on
    float carriedBreak;   // width up to the first possible break of the next run
    bzTextLayout *layout; // the pen and box, shared by the runs of one call
    // Lays the run out into vertices (room for vertexCount) and answers how many it wrote.
    int32_t (*fill)(bzTextRun *run, bzTextVertex *vertices);
};
