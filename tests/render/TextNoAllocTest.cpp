// Drawing and measuring text every frame takes nothing from the system heap: neither through
// the engine's memory manager nor by the C++ allocator.
#include "core/Memory.h"
#include "device/RenderTable.h"
#include "render/Font.h"

#include "CountingNew.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace
{
std::atomic<long> gRawCalls{0};
bzMemPrimitiveTable gSaved;

void *CountingAllocRaw(uint32_t kind, size_t size)
{
    gRawCalls++;
    return gSaved.allocRaw(kind, size);
}
} // namespace

namespace
{
bzTextVertex gBuffer[6 * 256];

// A back end's text slot with a vertex buffer of its own.
void FillFromOwnBuffer(bzTextRun *run)
{
    if (run->vertexCount <= 6 * 256)
        run->fill(run, gBuffer);
}

TEST(TextNoAlloc, PrintingAndMeasuringTakeNoMemory)
{
    const PDRenderFunctionTable savedTable = bzgRenderTable;
    bzgRenderTable = {};
    bzgRenderTable.PDAdd2DVertexList = FillFromOwnBuffer;
    bz_Font_GetDefault(); // made once, outside the frame
    bzGlyph glyphs[128] = {};
    for (auto &g : glyphs)
        g = {0, 1, 0, 1, 9, 9, 0};
    bzFont other = *bz_Font_GetDefault();
    other.glyphs = glyphs;
    other.lineHeight = 20;
    bzFontTable[4] = &other;

    // The counters see allocations of this program.
    const long probe = gNewCalls.load();
    int *volatile box = new int(1);
    delete box;
    ASSERT_EQ(gNewCalls.load(), probe + 1);
    bz_Mem_GetPrimitives(&gSaved);
    bzMemPrimitiveTable counting = gSaved;
    counting.allocRaw = CountingAllocRaw;
    bz_Mem_SetPrimitives(&counting);
    void *block = bz_MemAlloc(64, 0);
    bz_MemFree(block);
    const long rawProbe = gRawCalls.load();
    ASSERT_GT(rawProbe, 0);

    const long before = gNewCalls.load();
    for (int frame = 0; frame < 50; ++frame)
    {
        bz_Font_PrintString(nullptr, "FPS @C(2)60.0\t@F(4)wrapped text in a box", 0x46, 10, 10,
                            120);
        bz_Font_Printf(nullptr, 0x80, 0, 0, 0, "%d %s", frame, "frames");
        int32_t rect[4];
        bz_Font_MeasureText(nullptr, "Measured @J(30)line\nand another", 0x40, 0, rect);
        bz_Font_GetStringWidth(nullptr, "width", 0);
    }
    EXPECT_EQ(gNewCalls.load(), before);
    EXPECT_EQ(gRawCalls.load(), rawProbe);

    bz_Mem_SetPrimitives(&gSaved);
    bzFontTable[4] = nullptr;
    bz_Font_ReleaseDefault();
    bzgRenderTable = savedTable;
}
} // namespace
