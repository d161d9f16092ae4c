// Splines in files: the knot lines of text data sections and the payload of lump containers.
#include "scene/Spline.h"

#include "core/Bytes.h"
#include "files/Stream.h"
#include "maths/Vector.h"
#include "text/Text.h"

#include <cmath>
#include <cstdio>

namespace
{
constexpr uint32_t kKnotBytes = 36;

// The file's z is the engine's y and the other way round.
bzV3 Swapped(float x, float y, float z)
{
    bzV3 v;
    bz_V3_Set(&v, x, z, y);
    return v;
}

bool AllFinite(const float *values, int count)
{
    for (int i = 0; i < count; i++)
        if (!std::isfinite(values[i]))
            return false;
    return true;
}

int32_t WriteMarker(bzFileHandle *file, const char *marker)
{
    int32_t written = 0;
    for (int i = 0; i < 4; i++)
        written += bz_Stream_WriteByte(file, static_cast<uint8_t>(marker[i]));
    return written;
}

bzV3 ReadV3(const uint8_t *p)
{
    bzV3 v;
    bz_V3_Set(&v, bz_GetF32LE(p), bz_GetF32LE(p + 4), bz_GetF32LE(p + 8));
    return v;
}

bzSpline *Refuse(bzErrorCode code)
{
    bzgLastError = code;
    return nullptr;
}
} // namespace

bzSpline *bz_Spline_LoadText(bzTextReader *reader, const char *section)
{
    if (!reader || !section || !bz_Text_FindSection(reader, section, 0))
        return nullptr;
    bzSpline *spline = bz_Spline_Create();
    if (!spline)
        return nullptr;
    bz_Text_ReadLine(reader); // the line after the heading
    for (;;)
    {
        const char *line = bz_Text_ReadLine(reader);
        if (!line || line[0] == '[')
            break;
        float n[9];
        if (std::sscanf(line, "Knot %*d: %f %f %f In: %f %f %f Out: %f %f %f", &n[0], &n[1], &n[2],
                        &n[3], &n[4], &n[5], &n[6], &n[7], &n[8]) != 9 ||
            !AllFinite(n, 9))
            break;
        const bzV3 p = Swapped(n[0], n[1], n[2]);
        const bzV3 handleIn = Swapped(n[3], n[4], n[5]);
        const bzV3 handleOut = Swapped(n[6], n[7], n[8]);
        bzV3 in, out;
        bz_V3_SubInto(&p, &handleIn, &in);
        bz_V3_Scale(&in, 3.0f);
        bz_V3_SubInto(&handleOut, &p, &out);
        bz_V3_Scale(&out, 3.0f);
        if (bz_Spline_InsertKnot(&p, -1, spline, &in, &out) != BZ_ERROR_NONE)
            break;
    }
    return spline;
}

int32_t bz_Spline_Write(bzFileHandle *file, const bzSpline *spline)
{
    if (!file || !spline)
        return 0;
    int32_t written = WriteMarker(file, "BLPS");
    written += bz_Stream_WriteUInt(file, static_cast<uint32_t>(spline->knotCount));
    const bzKnot *k = spline->first;
    for (int32_t i = 0; i < spline->knotCount; i++, k = k->next)
    {
        written += bz_Stream_WriteVector(file, &k->position);
        written += bz_Stream_WriteVector(file, &k->in);
        written += bz_Stream_WriteVector(file, &k->out);
    }
    if (spline->knotCount > 0)
        written += bz_Stream_WriteUInt(file, spline->closed);
    written += WriteMarker(file, "ELPS");
    return written;
}

bzSpline *bz_Spline_Read(const uint8_t **cursor, const uint8_t *end)
{
    if (!cursor || !*cursor || !end || end < *cursor)
        return Refuse(BZ_ERROR_INVALID_PARAMETER);
    const uint8_t *p = *cursor;
    const uint64_t available = static_cast<uint64_t>(end - p);
    // Marker and count, then the end marker.
    if (available < 12)
        return Refuse(BZ_ERROR_BAD_DATA_FORMAT);
    const uint32_t count = bz_GetU32LE(p + 4);
    const uint64_t needed = 12 + (count ? static_cast<uint64_t>(count) * kKnotBytes + 4 : 0);
    if (needed > available)
        return Refuse(BZ_ERROR_BAD_DATA_FORMAT);
    const uint8_t *knots = p + 8;
    for (uint64_t i = 0; i < static_cast<uint64_t>(count) * 9; i++)
        if (!std::isfinite(bz_GetF32LE(knots + i * 4)))
            return Refuse(BZ_ERROR_BAD_DATA_FORMAT);
    bzSpline *spline = bz_Spline_Create();
    if (!spline)
        return Refuse(BZ_ERROR_NO_MEMORY);
    for (uint32_t i = 0; i < count; i++)
    {
        const uint8_t *k = knots + static_cast<uint64_t>(i) * kKnotBytes;
        const bzV3 position = ReadV3(k), in = ReadV3(k + 12), out = ReadV3(k + 24);
        if (bz_Spline_InsertKnot(&position, -1, spline, &in, &out) != BZ_ERROR_NONE)
        {
            bz_Spline_Destroy(spline);
            return Refuse(BZ_ERROR_NO_MEMORY);
        }
    }
    if (count && bz_GetU32LE(knots + static_cast<uint64_t>(count) * kKnotBytes))
        bz_Spline_Close(spline);
    *cursor = p + needed;
    return spline;
}
