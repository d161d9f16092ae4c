#include "render/Font.h"

namespace
{
bzFontDriver gDriver;
bzFont gDefaultMetrics = {16.0f, 8.0f, 8.0f, {0, 0},  nullptr, 0, 31, 0.0f, 1.0f,
                          0.0f,  1.0f, 0,    nullptr, 0,       2, 2,  0.0f, 0.0f};
} // namespace

void bz_Font_SetDriver(const bzFontDriver *driver)
{
    gDriver = driver ? *driver : bzFontDriver{};
}

bzFont *bz_Font_GetDefault()
{
    return gDriver.getDefault ? gDriver.getDefault() : &gDefaultMetrics;
}

int32_t bz_Font_PrintString(bzFont *font, const char *text, uint32_t flags, float x, float y,
                            float width)
{
    if (!text || !gDriver.printString)
        return static_cast<int32_t>(y);
    return gDriver.printString(font, text, flags, x, y, width);
}

float bz_Font_GetStringWidth(bzFont *font, const char *text, uint32_t flags)
{
    if (!text || !gDriver.getStringWidth)
        return 0.0f;
    return gDriver.getStringWidth(font, text, flags);
}
