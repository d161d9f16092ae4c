// The portal description text: the portal polygons of a level, the first step of loading a
// portal world from text (the rooms come from the room calculation that follows it).
#include "scene/Portals.h"

#include "core/Memory.h"
#include "files/File.h"
#include "maths/Vector.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace
{
constexpr int32_t kMaxPortals = 0x7FFF;
constexpr int32_t kLineSize = 256;

// The text being read, line by line.
struct Lines
{
    const char *p;
    const char *end;
};

// The next line that holds anything, with commas and tabs turned into spaces, in the caller's
// buffer (a longer line is cut); false at the end.
bool NextLine(Lines *reader, char *line, int32_t size)
{
    while (reader->p < reader->end)
    {
        int32_t n = 0;
        bool any = false;
        while (reader->p < reader->end && *reader->p != '\n')
        {
            char c = *reader->p++;
            if (c == ',' || c == '\t' || c == '\r')
                c = ' ';
            any = any || c != ' ';
            if (n < size - 1)
                line[n++] = c;
        }
        if (reader->p < reader->end)
            reader->p++;
        line[n] = 0;
        if (any)
            return true;
    }
    return false;
}

bool ReadPortal(Lines *reader, bzPortalWorld *w, bzPortal &p)
{
    char line[kLineSize];
    float plane[4];
    if (!NextLine(reader, line, sizeof line) ||
        std::sscanf(line, "%f %f %f %f", &plane[0], &plane[1], &plane[2], &plane[3]) != 4 ||
        !NextLine(reader, line, sizeof line))
        return false;
    p.roomA = p.roomB = BZ_PORTAL_NO_ROOM;
    p.plane = {{{plane[0], plane[1], plane[2]}}, plane[3]};
    char word[16] = {};
    if (std::sscanf(line, "%15s", word) == 1 && std::strcmp(word, "Opaque") == 0)
    {
        p.flags |= BZ_PORTAL_OPAQUE;
        if (!NextLine(reader, line, sizeof line))
            return false;
    }
    int32_t count;
    if (std::sscanf(line, "%d", &count) != 1 || count < 3 || count > BZ_PORTAL_MAX_VERTICES)
        return false;
    p.vertexCount = static_cast<int16_t>(count);
    p.vertices = static_cast<bzV3 *>(
        bz_MemAlloc(static_cast<uint32_t>(count) * sizeof(bzV3), BZ_MEM_CLEAR | BZ_MEM_PARENT, w));
    if (!p.vertices)
        return false;
    bzV3 sum = {{{0, 0, 0}}};
    for (int32_t v = 0; v < count; v++)
    {
        bzV3 &q = p.vertices[v];
        if (!NextLine(reader, line, sizeof line) ||
            std::sscanf(line, "%f %f %f", &q.x, &q.y, &q.z) != 3)
            return false;
        sum = {{{sum.x + q.x, sum.y + q.y, sum.z + q.z}}};
    }
    p.centre = {{{sum.x / count, sum.y / count, sum.z / count}}};
    float radius = 0.0f;
    for (int32_t v = 0; v < count; v++)
    {
        const bzV3 d = {{{p.vertices[v].x - p.centre.x, p.vertices[v].y - p.centre.y,
                          p.vertices[v].z - p.centre.z}}};
        radius = std::fmax(radius, std::sqrt(bz_V3_Dot(&d, &d)));
    }
    p.radius = radius;
    // The normal follows the winding of the first three vertices.
    const bzV3 &a = p.vertices[0], &b = p.vertices[1], &c = p.vertices[2];
    const bzV3 ab = {{{a.x - b.x, a.y - b.y, a.z - b.z}}};
    const bzV3 cb = {{{c.x - b.x, c.y - b.y, c.z - b.z}}};
    bzV3 winding;
    bz_V3_CrossInto(&ab, &cb, &winding);
    if (bz_V3_Dot(&p.plane.n, &winding) < 0.0f)
        p.plane = {{{-p.plane.n.x, -p.plane.n.y, -p.plane.n.z}}, -p.plane.d};
    return true;
}
} // namespace

bzErrorCode bz_Portals_ReadDescription(const char *fileName, bzLump *root,
                                       const uint32_t *parameters)
{
    if (!fileName)
        return bzgLastError = BZ_ERROR_INVALID_PARAMETER;
    bzFileHandle *file = bz_FileOpen(fileName, "rb");
    if (!file)
        return -1;
    const int32_t length = bz_FileLength(file);
    char *text =
        static_cast<char *>(bz_MemAlloc(length > 0 ? static_cast<uint32_t>(length) : 1, 0));
    const size_t got =
        text && length > 0 ? bz_FileRead(file, text, static_cast<size_t>(length)) : 0;
    bz_FileClose(file);
    if (!text)
        return bzgLastError = BZ_ERROR_NO_MEMORY;
    Lines lines = {text, text + got};
    Lines *reader = &lines;
    char line[kLineSize];
    bool ok = NextLine(reader, line, sizeof line);
    // A heading line in angle brackets comes before the count.
    while (ok && line[0] == '<')
        ok = NextLine(reader, line, sizeof line);
    int32_t count = 0;
    ok = ok && std::sscanf(line, "%i", &count) == 1 && count >= 0 && count <= kMaxPortals;
    auto *w = ok ? static_cast<bzPortalWorld *>(bz_MemAlloc(sizeof(bzPortalWorld), BZ_MEM_CLEAR))
                 : nullptr;
    if (w)
    {
        w->portals = static_cast<bzPortal *>(
            bz_MemAlloc(static_cast<uint32_t>(count ? count : 1) * sizeof(bzPortal),
                        BZ_MEM_CLEAR | BZ_MEM_PARENT, w));
        w->portalCount = count;
        ok = w->portals != nullptr;
        for (int32_t i = 0; ok && i < count; i++)
            ok = ReadPortal(reader, w, w->portals[i]);
    }
    bz_MemFree(text);
    if (!w || !ok)
    {
        bz_MemFree(w);
        return bzgLastError = BZ_ERROR_BAD_DATA_FORMAT;
    }
    for (int32_t i = 0; i < BZ_PORTAL_PARAMETER_WORDS; i++)
        w->parameters[i] = parameters ? parameters[i] : 0;
    w->parameters[0] |= 12;
    w->rootLump = root;
    bz_Portals_SetWorld(w);
    return BZ_ERROR_NONE;
}
