// The on-screen debug lines (their texts; the renderer draws them) and the assertion report.
// None of it changes what the program computes.
#pragma once

#include <cstdint>

// Lines 0-15 of on-screen debug text, each kept to 255 characters.
constexpr int32_t BZ_DEBUG_MESSAGE_LINES = 16;

// Sets line index (0-15) to the formatted text; other indexes are ignored.
void bz_ShowDebugMessage(int32_t index, const char *format, ...)
    __attribute__((format(printf, 2, 3)));
void bz_ClearDebugMessage(int32_t index);
void bz_ClearDebugMessages();
// The text of an on-screen line, or null when the slot is empty.
const char *bz_GetDebugMessage(int32_t index);
// 1 while any on-screen line holds text.
int32_t bz_DebugMessagesShown();

// Developer text from the engine's lowest modules (memory diagnostics). It goes to the sink
// installed by the debug text stream, one line a call; with none installed it is dropped.
typedef void (*bzDebugTextSink)(const char *line);
// Installs the sink and returns the one it replaces.
bzDebugTextSink bz_Debug_SetTextSink(bzDebugTextSink sink);
void bz_Debug_Text(const char *line);

// Assertions.
void bz_AssertFailed(const char *expression, const char *file, int32_t line);
#define BZ_ASSERT(e) ((e) ? (void)0 : bz_AssertFailed(#e, __FILE__, __LINE__))
