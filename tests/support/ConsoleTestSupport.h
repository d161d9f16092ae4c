// The console test fixture: a console of 408 x 300 pixels at (50, 20) with the engine's
// commands, a recording renderer table whose text slot records every printed line, a console
// font of eight pixels a character on 16-pixel lines, and helpers to type, enter and read back what
// was printed.
#pragma once

#include "console/Console.h"
#include "console/ConsoleServices.h"
#include "render/Font.h"
#include "device/RenderTable.h"
#include "startup/Engine.h"
#include "TestSupport.h"
#include "TextRecorder.h"

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace
{
// What the console asked the renderer and the font printer to draw.
struct Call
{
    std::string what; // "rect", "line", "text", "target"
    float x0, y0, x1, y1;
    uint32_t colour;
    int32_t layer;
    std::string text;
    const void *target;
};

std::vector<Call> gCalls;
UniformFont gConsoleFont(8.0f, 16.0f);

int32_t RecordRect(float x, float y, float w, float h, uint32_t colour, int32_t layer, bz_IMGMAP *,
                   uint32_t)
{
    gCalls.push_back({"rect", x, y, w, h, colour, layer, "", nullptr});
    return 0;
}

int32_t RecordLine(float x0, float y0, float x1, float y1, uint32_t colour, int32_t layer)
{
    gCalls.push_back({"line", x0, y0, x1, y1, colour, layer, "", nullptr});
    return 0;
}

void RecordTarget(bzViewport *viewport)
{
    gCalls.push_back({"target", 0, 0, 0, 0, 0, 0, "", viewport});
}

// One printed line: where it starts, its box width and flags, and its text.
void RecordText(bzTextRun *run)
{
    const bzTextLayout *L = run->layout;
    gCalls.push_back({"text", L->left, L->penY, L->boxWidth, 0, run->flags, 0,
                      std::string(run->start, run->end), nullptr});
    std::vector<bzTextVertex> vertices(static_cast<size_t>(run->vertexCount));
    run->fill(run, vertices.data());
}

class ConsoleTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ResetConsole();
        gCalls.clear();
        bzgRenderTable = {};
        bzgRenderTable.PDDraw2DRect = RecordRect;
        bzgRenderTable.PDDraw2DLine = RecordLine;
        bzgRenderTable.PDNote2DViewport = RecordTarget;
        bzgRenderTable.PDAdd2DVertexList = RecordText;
        bzgKeyQueue = {};
        bz_Console_GetState()->keyScan = 0;
        // A console of 408 x 300 pixels at (50, 20): three HELP columns of 136 pixels.
        bzConsoleConfig cfg = {};
        cfg.x = 50;
        cfg.y = 20;
        cfg.width = 408;
        cfg.height = 300;
        cfg.background = 0x96000080;
        cfg.layer = 7;
        cfg.lineHeight = 16;
        cfg.visibleLines = 17;
        cfg.messageColour = 1;
        cfg.listingColour = 2;
        cfg.font = &gConsoleFont.font;
        bz_Console_Configure(&cfg);
    }
    void TearDown() override
    {
        ResetConsole();
        bzgRenderTable = {};
        bz_Font_ReleaseDefault();
    }

    static std::string Text()
    {
        bzConsoleState *c = bz_Console_GetState();
        return c->text ? std::string(c->text, c->length) : std::string();
    }
    // The text printed by the action.
    template <typename F> static std::string Printed(F action)
    {
        size_t before = Text().size();
        action();
        return Text().substr(before);
    }
    static void Type(const std::string &text)
    {
        for (char ch : text)
            bz_Console_KeyChar(static_cast<unsigned char>(ch));
    }
    static std::string Enter(const std::string &line)
    {
        return Printed([&] { Type(line + "\n"); });
    }
    static std::string Input() { return bz_Console_GetState()->history[0]; }
    static void Key(uint32_t code, uint8_t character = 0) { PDQueueChar(0, code, character); }
    static void OpenConsole()
    {
        Key(BZ_CONSOLE_DEFAULT_TOGGLE_KEY);
        bz_Console_Update();
        ASSERT_EQ(bz_Console_IsOpen(), 1);
    }
};
} // namespace
