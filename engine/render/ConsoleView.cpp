#include "render/ConsoleView.h"

#include "console/Console.h"
#include "console/ConsoleServices.h"
#include "core/Clock.h"
#include "render/Draw2D.h"
#include "render/Font.h"
#include "device/RenderTable.h"

#include <cmath>
#include <cstdio>

namespace
{
constexpr uint32_t kCursorColour = 0xFFFFFFFF;
constexpr uint32_t kDefaultBackground = 0x96000080;
// Longest line the drawing gathers; the rest of a longer line is not shown.
constexpr int32_t kDrawLineSize = 1024;

bool IsPrintable(char c)
{
    unsigned char u = static_cast<unsigned char>(c);
    return u >= 32 && u != 127;
}

bzFont *ConsoleFont()
{
    bzFont *font = bz_Console_GetState()->config.font;
    return font ? font : bz_Font_GetDefault();
}

// The font's line height in whole pixels; 16 when the font gives less than 1.
int32_t FontLineHeight(const bzFont *font)
{
    int32_t h = font ? static_cast<int32_t>(font->lineHeight * font->scaleY) : 0;
    return h < 1 ? 16 : h;
}

// The character advance of the console font in whole pixels.
int32_t CharAdvance()
{
    const bzFont *font = ConsoleFont();
    if (!font)
        return 0;
    return static_cast<int32_t>((font->fixedWidth + font->spacing) * font->scaleX);
}

void DrawLine(float x0, float y0, float x1, float y1, uint32_t colour)
{
    if (bzgRenderTable.PDDraw2DLine)
        bzgRenderTable.PDDraw2DLine(x0, y0, x1, y1, colour, bz_Console_GetState()->config.layer);
}

void Draw()
{
    const bzConsoleState &c = *bz_Console_GetState();
    const bzConsoleConfig &cfg = c.config;
    bzFont *font = ConsoleFont();
    const int32_t lineHeight = cfg.lineHeight > 0 ? cfg.lineHeight : FontLineHeight(font);
    const float x = static_cast<float>(cfg.x), y = static_cast<float>(cfg.y);
    const float w = static_cast<float>(cfg.width), h = static_cast<float>(cfg.height);

    bzViewport *savedTarget = bz_Begin2DFullScreen();

    if (bzgRenderTable.PDDraw2DRect)
        bzgRenderTable.PDDraw2DRect(x, y, w, h, cfg.background, cfg.layer, nullptr, 0);

    const uint32_t alpha = cfg.background & 0xFF000000u;
    const uint32_t r = ((cfg.background >> 16) & 0xFF) | 0x3F;
    const uint32_t g = ((cfg.background >> 8) & 0xFF) | 0x3F;
    const uint32_t b = (cfg.background & 0xC0) | 0x3F;
    const uint32_t light = alpha | ((((r << 16) | (g << 8) | b) << 1) & 0xFFFFFF);
    const uint32_t dark = alpha | ((r / 2) << 16) | ((g / 2) << 8) | (b / 2);
    const float s = y + h - static_cast<float>(lineHeight) - 2;
    DrawLine(x, y, x + w, y, light);
    DrawLine(x, y, x, y + h, light);
    DrawLine(x, y + h - 1, x + w - 1, y + h - 1, dark);
    DrawLine(x + w - 1, y, x + w - 1, y + h - 1, dark);
    DrawLine(x, s, x + w - 1, s, dark);

    // The text from the scroll start, one line at a time.
    char line[kDrawLineSize];
    int32_t used = 0;
    int32_t lines = 0;
    float cy = y + 1;
    const float textX = x + 1;
    bool pending = false;
    for (uint32_t i = c.scrollStart; i < c.length; ++i)
    {
        if (lines >= cfg.visibleLines || cy >= y + h)
        {
            pending = false;
            break;
        }
        char ch = c.text[i];
        if (ch == '\n')
        {
            line[used] = 0;
            bz_Font_PrintString(font, line, 1, textX, cy, w);
            used = 0;
            ++lines;
            cy += static_cast<float>(lineHeight);
            pending = false;
            continue;
        }
        if ((IsPrintable(ch) || ch == '\t') && used < kDrawLineSize - 1)
        {
            line[used++] = ch;
            pending = true;
        }
    }
    if (pending && lines < cfg.visibleLines && cy < y + h)
    {
        line[used] = 0;
        bz_Font_PrintString(font, line, 1, textX, cy, w);
    }

    // The input line in the strip below the separator, with its blinking cursor.
    const float iy = s + 1;
    bz_Font_PrintString(font, c.history[0], 1, textX, iy, w);
    if ((PDGetMilliseconds() & 0x180) != 0x180)
    {
        char before[BZ_CONSOLE_LINE_SIZE];
        int32_t cursor = c.cursor < 0 ? 0 : c.cursor;
        std::snprintf(before, sizeof before, "%.*s", static_cast<int>(cursor), c.history[0]);
        float width = std::trunc(bz_Font_GetStringWidth(font, before, 0));
        float cx = textX + width - 1;
        DrawLine(cx, iy - 1, cx, iy + static_cast<float>(FontLineHeight(font)) - 1, kCursorColour);
    }

    bz_End2DFullScreen(savedTarget);
}
} // namespace

void bz_Console_Layout()
{
    bzConsoleConfig cfg = {};
    const int32_t width = bzgScreenSize.width;
    const int32_t height = bzgScreenSize.height;
    cfg.x = bzgScreenSize.halfWidth - (width - 100) / 2;
    cfg.y = 20;
    cfg.width = width - 100;
    cfg.height = height - 40;
    cfg.background = kDefaultBackground;
    cfg.layer = 0;
    cfg.font = nullptr;
    cfg.colour0 = 0;
    cfg.messageColour = 1;
    cfg.listingColour = 2;
    // As many lines as fit between the top edge and the separator above the input line.
    cfg.lineHeight = FontLineHeight(bz_Font_GetDefault());
    int32_t room = cfg.height - cfg.lineHeight - 3;
    cfg.visibleLines = room > 0 ? room / cfg.lineHeight : 0;
    bz_Console_Configure(&cfg);
}

void bz_ConsoleView_Attach()
{
    bzConsoleView view = {};
    view.draw = Draw;
    view.charAdvance = CharAdvance;
    bz_Console_SetView(&view);
}
