#include "pc/PcClipboard.h"

int32_t PDSetClipboardText(const char *)
{
    return 0;
}
