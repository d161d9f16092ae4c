// The system clipboard.
#pragma once

#include <cstdint>

// Puts plain text on the clipboard. Returns 1 on success, 0 when there is no clipboard to
// reach (no window system).
int32_t PDSetClipboardText(const char *text);
