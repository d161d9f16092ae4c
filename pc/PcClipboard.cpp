#include "pc/PcClipboard.h"

#include "pc/PcWindow.h"

#include <SDL.h>

int32_t PDSetClipboardText(const char *text)
{
    // The clipboard belongs to the window system: without it there is none to reach.
    if (!text || !PDWindowLayerUp())
        return 0;
    return SDL_SetClipboardText(text) == 0 ? 1 : 0;
}
