#include "render/DebugLines.h"

#include "core/Debug.h"
#include "render/Draw2D.h"
#include "render/Font.h"

void bz_DrawDebugMessages()
{
    bzViewport *saved = bz_Begin2DFullScreen();
    bzFont *font = bz_Font_GetDefault();
    int32_t step = static_cast<int32_t>(font->lineHeight * font->scaleY);
    int32_t y = 0;
    for (int32_t i = 0; i < BZ_DEBUG_MESSAGE_LINES; ++i)
    {
        if (const char *line = bz_GetDebugMessage(i))
            bz_Font_PrintString(font, line, 0x41, 0.0f, static_cast<float>(y), 0.0f);
        y += step;
    }
    bz_End2DFullScreen(saved);
}
