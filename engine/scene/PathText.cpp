// The text form of a path: written through the file hooks, read through the text data reader.
#include "scene/Path.h"

#include "files/File.h"
#include "text/Text.h"
#include "text/TextValues.h"

#include <cmath>
#include <cstdio>
#include <cstring>

bzErrorCode bz_Path_WriteText(bzFileHandle *file, bzPath *path, const char *name, int32_t words,
                              int32_t distances, int32_t seconds)
{
    if (!file || !path)
        return BZ_ERROR_INVALID_PARAMETER;
    words = words ? 1 : 0;
    distances = distances ? 1 : 0;
    seconds = seconds ? 1 : 0;
    if (distances)
        bz_Path_UpdateDistances(path);
    if (name)
        bz_FilePrintf(file, "\n[%s]\n", name);
    bz_FilePrintf(file, "%d %d %d\n", static_cast<int>(words), static_cast<int>(distances),
                  static_cast<int>(seconds));
    bz_FilePrintf(file, "%d\n", static_cast<int>(path->count));
    for (const bzPathPoint *p = path->first; p; p = p->next)
    {
        bz_FilePrintf(file, "%f,%f,%f", static_cast<double>(p->position.x),
                      static_cast<double>(p->position.y), static_cast<double>(p->position.z));
        if (words)
            bz_FilePrintf(file, ",0x%x", static_cast<unsigned>(p->word));
        if (distances)
            bz_FilePrintf(file, ",%f", static_cast<double>(p->distance * p->distance));
        if (seconds)
            bz_FilePrintf(file, ",0x%x", static_cast<unsigned>(p->second));
        bz_FilePrintf(file, "\n");
    }
    return BZ_ERROR_NONE;
}

bzErrorCode bz_Path_ReadText(bzTextReader *reader, const char *section, bzPath *path)
{
    if (!reader || !path)
        return BZ_ERROR_INVALID_PARAMETER;
    if (section && !bz_Text_FindSection(reader, section, 0))
        return BZ_ERROR_NOT_FOUND;
    bz_Path_Clear(path);

    int32_t words = 0, distances = 0, seconds = 0;
    if (!bz_Text_ReadInt3(reader, &words, &distances, &seconds))
        return BZ_ERROR_BAD_DATA_FORMAT;
    const char *line = bz_Text_ReadLine(reader);
    if (!line || line[0] == '<')
        return BZ_ERROR_BAD_DATA_FORMAT;
    char token[32];
    const size_t length = std::strcspn(line, ", \t");
    if (length == 0 || length >= sizeof token)
        return BZ_ERROR_BAD_DATA_FORMAT;
    std::memcpy(token, line, length);
    token[length] = 0;
    int count = 0;
    if (std::sscanf(token, "%i", &count) != 1 || count < 0)
        return BZ_ERROR_BAD_DATA_FORMAT;

    char format[64] = "%f,%f,%f";
    if (words)
        std::strcat(format, ",0x%x");
    if (distances)
        std::strcat(format, ",%f");
    if (seconds)
        std::strcat(format, ",0x%x");
    const int wanted = 3 + (words ? 1 : 0) + (distances ? 1 : 0) + (seconds ? 1 : 0);

    for (int n = 0; n < count; n++)
    {
        line = bz_Text_ReadLine(reader);
        if (!line)
            return BZ_ERROR_BAD_DATA_FORMAT;
        float x = 0, y = 0, z = 0, squared = 0;
        unsigned word = 0xFFFFFFFFu, second = 0;
        // The conversions after the position follow the column flags in order.
        void *extra[3] = {};
        int k = 0;
        if (words)
            extra[k++] = &word;
        if (distances)
            extra[k++] = &squared;
        if (seconds)
            extra[k++] = &second;
        const int got = std::sscanf(line, format, &x, &y, &z, extra[0], extra[1], extra[2]);
        if (got != wanted)
            return BZ_ERROR_BAD_DATA_FORMAT;
        bzPathPoint *point = bz_Path_AppendPointWord(path, x, y, z, word);
        if (!point)
            return BZ_ERROR_NO_MEMORY;
        point->distance = squared > 0.0f ? std::sqrt(squared) : 0.0f;
        point->second = second;
    }
    return BZ_ERROR_NONE;
}
