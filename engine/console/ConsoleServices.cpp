#include "console/ConsoleServices.h"

#include <cstring>

bzKeyQueue bzgKeyQueue;
bzScreenSize bzgScreenSize;

void PDQueueChar(uint32_t time, uint32_t code, uint8_t character)
{
    bzKeyQueueEntry &e = bzgKeyQueue.entries[bzgKeyQueue.writeIndex];
    e.time = time;
    e.code = code;
    e.character = character;
    bzgKeyQueue.writeIndex = (bzgKeyQueue.writeIndex + 1) % BZ_KEY_QUEUE_SIZE;
}

int32_t bz_GUI_EditLine(char *line, int32_t maxLength, int32_t cursor, int32_t character)
{
    if (!line || cursor < 0)
        return 0;
    int32_t length = static_cast<int32_t>(std::strlen(line));
    if (cursor > length)
        return 0;
    switch (character)
    {
    case 8:
        if (cursor == 0)
            return 0;
        std::memmove(line + cursor - 1, line + cursor, static_cast<size_t>(length - cursor + 1));
        return -1;
    case 127:
        if (cursor < length)
            std::memmove(line + cursor, line + cursor + 1, static_cast<size_t>(length - cursor));
        return 0;
    case 29: return cursor > 0 ? -1 : 0;
    case 28: return cursor < length ? 1 : 0;
    case 11: return -cursor;
    case 12: return length - cursor;
    default: break;
    }
    if (character < 32 || character > 255 || character == 127 || length >= maxLength - 1)
        return 0;
    std::memmove(line + cursor + 1, line + cursor, static_cast<size_t>(length - cursor + 1));
    line[cursor] = static_cast<char>(character);
    return 1;
}
