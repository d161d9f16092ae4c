// Services of the input layer and the GUI that the console uses: the typed-character queue,
// the screen size and the one-line editor. Kept here, as small as the console needs them,
// until the keyboard layer and the GUI provide their own.
#pragma once

#include <cstdint>

// One typed key: time stamp in milliseconds, key code, character (0 when the key has none).
struct bzKeyQueueEntry
{
    uint32_t time;
    uint32_t code;
    uint32_t character;
};

constexpr int32_t BZ_KEY_QUEUE_SIZE = 1024;

// A ring of typed keys; read index equal to write index means empty. The writer overwrites
// old entries when it laps the reader.
struct bzKeyQueue
{
    bzKeyQueueEntry entries[BZ_KEY_QUEUE_SIZE];
    int32_t readIndex;
    int32_t writeIndex;
};

extern bzKeyQueue bzgKeyQueue;

// Queues one typed key at the write position.
void PDQueueChar(uint32_t time, uint32_t code, uint8_t character);

// The current screen size, set by the display set-up.
struct bzScreenSize
{
    int32_t width;
    int32_t height;
    int32_t halfWidth;
};

extern bzScreenSize bzgScreenSize;

// Edits a line in place for one typed character: a printable character is inserted at the
// cursor while the line is shorter than maxLength - 1; 8 deletes before the cursor, 127 at it;
// 29 moves left, 28 right, 11 to the start, 12 to the end. Returns the cursor movement; a
// cursor beyond the line's end gives 0 and changes nothing.
int32_t bz_GUI_EditLine(char *line, int32_t maxLength, int32_t cursor, int32_t character);
