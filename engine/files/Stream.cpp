#include "files/Stream.h"

#include "core/Bytes.h"
#include "core/Error.h"
#include "files/File.h"

#include <bit>
#include <cstring>

namespace
{
// ---------------------------------------------------------------------------------------
// Float bits

uint32_t FloatBits(float f)
{
    return std::bit_cast<uint32_t>(f);
}
float BitsFloat(uint32_t v)
{
    return std::bit_cast<float>(v);
}

constexpr bool kLittleHost = std::endian::native == std::endian::little;

// The vector and matrix records are rows of three floats.
constexpr size_t kVectorFloats = 3;
static_assert(sizeof(bzV3) == kVectorFloats * sizeof(float));
constexpr size_t kMatrix33Floats = 9;
constexpr size_t kMatrix34Floats = 12;
static_assert(sizeof(bzM33) == kMatrix33Floats * sizeof(float));
static_assert(sizeof(bzM34) == kMatrix34Floats * sizeof(float));

void Load(const void *record, float *out, size_t n)
{
    std::memcpy(out, record, n * sizeof(float));
}
void Store(void *record, const float *in, size_t n)
{
    std::memcpy(record, in, n * sizeof(float));
}

// Writes bytes through the write slot after advancing the position.
int32_t Write(bzFileHandle *file, const void *bytes, size_t size)
{
    return static_cast<int32_t>(bz_FileWrite(file, bytes, size));
}

int32_t WriteFloats(bzFileHandle *file, const float *values, size_t n)
{
    int32_t written = 0;
    for (size_t i = 0; i < n; ++i)
    {
        uint8_t b[4];
        bz_PutU32LE(b, FloatBits(values[i]));
        written += Write(file, b, 4);
    }
    return written;
}

// Reads size bytes; a short read is bad data.
bool Read(bzFileHandle *file, void *bytes, size_t size)
{
    if (bz_FileRead(file, bytes, size) == size)
        return true;
    bzgLastError = BZ_ERROR_BAD_DATA_FORMAT;
    return false;
}

// Reads n floats, one 4-byte read each; a float that cannot be read is left as it was.
int32_t ReadFloats(bzFileHandle *file, float *values, size_t n)
{
    int32_t read = 0;
    for (size_t i = 0; i < n; ++i)
    {
        uint8_t b[4];
        if (Read(file, b, 4))
        {
            values[i] = BitsFloat(bz_GetU32LE(b));
            read += 4;
        }
    }
    return read;
}

bool CountIsValid(int32_t count)
{
    if (count >= 0)
        return true;
    bzgLastError = BZ_ERROR_PARAMETER_OUT_OF_RANGE;
    return false;
}

// Writes count items of 2 or 4 bytes in one write; on a big-endian host in pieces.
template <typename T> int32_t WriteArray(bzFileHandle *file, const T *items, int32_t count)
{
    if (!CountIsValid(count) || count == 0 || !items)
        return 0;
    if constexpr (kLittleHost)
    {
        size_t bytes = bz_FileWriteItems(items, sizeof(T), count, file) * sizeof(T);
        return bytes > INT32_MAX ? INT32_MAX : static_cast<int32_t>(bytes);
    }
    int32_t written = 0;
    uint8_t chunk[256];
    for (int32_t i = 0; i < count;)
    {
        int32_t n = 0;
        for (; i < count && n + sizeof(T) <= sizeof chunk; ++i, n += sizeof(T))
        {
            if constexpr (sizeof(T) == 4)
                bz_PutU32LE(chunk + n, items[i]);
            else
                bz_PutU16LE(chunk + n, items[i]);
        }
        written += Write(file, chunk, n);
    }
    return written;
}

template <typename T> void SwapArrayFromLittle(T *items, int32_t count)
{
    if constexpr (!kLittleHost)
    {
        for (int32_t i = 0; i < count; ++i)
        {
            const uint8_t *p = reinterpret_cast<const uint8_t *>(&items[i]);
            if constexpr (sizeof(T) == 4)
                items[i] = bz_GetU32LE(p);
            else
                items[i] = bz_GetU16LE(p);
        }
    }
    else
    {
        (void)items;
        (void)count;
    }
}

template <typename T> int32_t ReadArray(bzFileHandle *file, T *out, int32_t count)
{
    if (!CountIsValid(count) || count == 0 || !out)
        return 0;
    size_t bytes = static_cast<size_t>(count) * sizeof(T);
    if (!Read(file, out, bytes))
        return 0;
    SwapArrayFromLittle(out, count);
    return bytes > INT32_MAX ? INT32_MAX : static_cast<int32_t>(bytes);
}

// Keeps a string's byte in the buffer while there is room before the terminator.
void Keep(char *buffer, int32_t size, int32_t &kept, char c)
{
    if (buffer && kept + 1 < size)
        buffer[kept++] = c;
}
void Terminate(char *buffer, int32_t size, int32_t kept)
{
    if (buffer && size > 0)
        buffer[kept] = '\0';
}

// Decodes a variable-length unsigned integer from at most max bytes at p; returns the bytes it
// took, or 0 when the run is not ended within max bytes or the value does not fit 32 bits.
int32_t DecodeVarUInt(const uint8_t *p, size_t max, uint32_t *value)
{
    uint64_t result = 0;
    for (size_t i = 0; i < max && i < static_cast<size_t>(BZ_VARUINT_MAX_BYTES); ++i)
    {
        result = (result << 7) | (p[i] & 0x7F);
        if (!(p[i] & 0x80))
        {
            if (result > UINT32_MAX)
                return 0;
            *value = static_cast<uint32_t>(result);
            return static_cast<int32_t>(i + 1);
        }
    }
    return 0;
}
} // namespace

// ---------------------------------------------------------------------------------------

int32_t bz_Stream_WriteByte(bzFileHandle *file, uint8_t value)
{
    return Write(file, &value, 1);
}

int32_t bz_Stream_WriteShort(bzFileHandle *file, int16_t value)
{
    return bz_Stream_WriteUShort(file, static_cast<uint16_t>(value));
}

int32_t bz_Stream_WriteUShort(bzFileHandle *file, uint16_t value)
{
    uint8_t b[2];
    bz_PutU16LE(b, value);
    return Write(file, b, 2);
}

int32_t bz_Stream_WriteInt(bzFileHandle *file, int32_t value)
{
    return bz_Stream_WriteUInt(file, static_cast<uint32_t>(value));
}

int32_t bz_Stream_WriteUInt(bzFileHandle *file, uint32_t value)
{
    uint8_t b[4];
    bz_PutU32LE(b, value);
    return Write(file, b, 4);
}

int32_t bz_Stream_WriteFloat2(bzFileHandle *file, const float values[2])
{
    uint8_t b[8];
    bz_PutU32LE(b, FloatBits(values[0]));
    bz_PutU32LE(b + 4, FloatBits(values[1]));
    return Write(file, b, 8);
}

namespace
{
// A vector or matrix record is written and read as its floats in order.
template <typename Record> int32_t WriteRecord(bzFileHandle *file, const Record *record)
{
    constexpr size_t n = sizeof(Record) / sizeof(float);
    float f[n];
    Load(record, f, n);
    return WriteFloats(file, f, n);
}

// Floats that were not read keep the record's earlier values.
template <typename Record> int32_t ReadRecord(bzFileHandle *file, Record *record)
{
    constexpr size_t n = sizeof(Record) / sizeof(float);
    float f[n];
    Load(record, f, n);
    int32_t read = ReadFloats(file, f, n);
    Store(record, f, n);
    return read;
}
} // namespace

int32_t bz_Stream_WriteVector(bzFileHandle *file, const bzV3 *v)
{
    return WriteRecord(file, v);
}

int32_t bz_Stream_WriteMatrix33(bzFileHandle *file, const bzM33 *m)
{
    return WriteRecord(file, m);
}

int32_t bz_Stream_WriteMatrix34(bzFileHandle *file, const bzM34 *m)
{
    return WriteRecord(file, m);
}

int32_t bz_Stream_WriteCString(bzFileHandle *file, const char *text)
{
    if (!text)
        text = "";
    return Write(file, text, std::strlen(text) + 1);
}

int32_t bz_Stream_WriteVarUInt(bzFileHandle *file, uint32_t value)
{
    int32_t k = value < 0x80u         ? 1
                : value < 0x4000u     ? 2
                : value < 0x200000u   ? 3
                : value < 0x10000000u ? 4
                                      : 5;
    int32_t written = 0;
    for (int32_t part = k - 1; part >= 0; --part)
    {
        uint8_t b = static_cast<uint8_t>((value >> (7 * part)) & 0x7F);
        if (part > 0)
            b |= 0x80;
        written += Write(file, &b, 1);
    }
    return written;
}

int32_t bz_Stream_WriteU32Array(bzFileHandle *file, const uint32_t *items, int32_t count)
{
    return WriteArray(file, items, count);
}

int32_t bz_Stream_WriteU16Array(bzFileHandle *file, const uint16_t *items, int32_t count)
{
    return WriteArray(file, items, count);
}

size_t bz_Stream_WriteItems(const void *buffer, size_t size, size_t count, bzFileHandle *file)
{
    return bz_FileWriteItems(buffer, size, count, file);
}

// ---------------------------------------------------------------------------------------

int8_t bz_File_ReadSByte(bzFileHandle *file)
{
    return static_cast<int8_t>(bz_File_ReadByte(file));
}

uint8_t bz_File_ReadByte(bzFileHandle *file)
{
    uint8_t b = 0;
    Read(file, &b, 1);
    return b;
}

int16_t bz_File_ReadShort(bzFileHandle *file)
{
    return static_cast<int16_t>(bz_File_ReadUShort(file));
}

uint16_t bz_File_ReadUShort(bzFileHandle *file)
{
    uint8_t b[2] = {};
    Read(file, b, 2);
    return bz_GetU16LE(b);
}

int32_t bz_File_ReadInt(bzFileHandle *file)
{
    return static_cast<int32_t>(bz_File_ReadUInt(file));
}

uint32_t bz_File_ReadUInt(bzFileHandle *file)
{
    uint8_t b[4] = {};
    Read(file, b, 4);
    return bz_GetU32LE(b);
}

float bz_File_ReadFloat(bzFileHandle *file)
{
    return BitsFloat(bz_File_ReadUInt(file));
}

int32_t bz_File_ReadVector(bzFileHandle *file, bzV3 *out)
{
    return ReadRecord(file, out);
}

int32_t bz_File_ReadMatrix33(bzFileHandle *file, bzM33 *out)
{
    return ReadRecord(file, out);
}

int32_t bz_File_ReadMatrix34(bzFileHandle *file, bzM34 *out)
{
    return ReadRecord(file, out);
}

int32_t bz_File_ReadU32Array(bzFileHandle *file, uint32_t *out, int32_t count)
{
    return ReadArray(file, out, count);
}

int32_t bz_File_ReadU16Array(bzFileHandle *file, uint16_t *out, int32_t count)
{
    return ReadArray(file, out, count);
}

int32_t bz_File_ReadCString(bzFileHandle *file, char *buffer, int32_t size)
{
    int32_t consumed = 0;
    int32_t kept = 0;
    for (;;)
    {
        uint8_t b;
        if (!Read(file, &b, 1))
            break;
        ++consumed;
        if (b == 0)
            break;
        Keep(buffer, size, kept, static_cast<char>(b));
    }
    Terminate(buffer, size, kept);
    return consumed;
}

size_t bz_Stream_ReadItems(void *buffer, size_t size, size_t count, bzFileHandle *file)
{
    return bz_FileReadItems(buffer, size, count, file);
}

// ---------------------------------------------------------------------------------------

void bz_Mem_WriteU8(uint8_t **cursor, uint8_t value)
{
    *(*cursor)++ = value;
}

void bz_Mem_WriteU16(uint8_t **cursor, uint16_t value)
{
    bz_PutU16LE(*cursor, value);
    *cursor += 2;
}

void bz_Mem_WriteU32(uint8_t **cursor, uint32_t value)
{
    bz_PutU32LE(*cursor, value);
    *cursor += 4;
}

void bz_Mem_WriteU32Array(uint8_t **cursor, const uint32_t *items, int32_t count)
{
    if (!CountIsValid(count))
        return;
    for (int32_t i = 0; i < count; ++i)
        bz_Mem_WriteU32(cursor, items[i]);
}

void bz_Mem_WriteU16Array(uint8_t **cursor, const uint16_t *items, int32_t count)
{
    if (!CountIsValid(count))
        return;
    for (int32_t i = 0; i < count; ++i)
        bz_Mem_WriteU16(cursor, items[i]);
}

void bz_Stream_WriteMatrix34Mem(uint8_t **cursor, const bzM34 *m)
{
    float f[kMatrix34Floats];
    Load(m, f, kMatrix34Floats);
    for (float v : f)
        bz_Mem_WriteU32(cursor, FloatBits(v));
}

uint8_t bz_Mem_ReadU8(const uint8_t **cursor)
{
    return *(*cursor)++;
}

int16_t bz_Stream_ReadShort(const uint8_t **cursor)
{
    return static_cast<int16_t>(bz_Stream_ReadUShort(cursor));
}

uint16_t bz_Stream_ReadUShort(const uint8_t **cursor)
{
    uint16_t v = bz_GetU16LE(*cursor);
    *cursor += 2;
    return v;
}

int32_t bz_Stream_ReadInt(const uint8_t **cursor)
{
    return static_cast<int32_t>(bz_Stream_ReadUInt(cursor));
}

uint32_t bz_Stream_ReadUInt(const uint8_t **cursor)
{
    uint32_t v = bz_GetU32LE(*cursor);
    *cursor += 4;
    return v;
}

float bz_Stream_ReadFloat(const uint8_t **cursor)
{
    return BitsFloat(bz_Stream_ReadUInt(cursor));
}

void bz_Mem_ReadFloat2(const uint8_t **cursor, float out[2])
{
    out[0] = bz_Stream_ReadFloat(cursor);
    out[1] = bz_Stream_ReadFloat(cursor);
}

void bz_Mem_ReadVector(const uint8_t **cursor, bzV3 *out)
{
    float f[kVectorFloats];
    for (float &v : f)
        v = bz_Stream_ReadFloat(cursor);
    Store(out, f, kVectorFloats);
}

void bz_Stream_ReadMatrix34(const uint8_t **cursor, bzM34 *out)
{
    float f[kMatrix34Floats];
    for (float &v : f)
        v = bz_Stream_ReadFloat(cursor);
    Store(out, f, kMatrix34Floats);
}

void bz_Mem_ReadU32Array(const uint8_t **cursor, uint32_t *out, int32_t count)
{
    if (!CountIsValid(count))
        return;
    for (int32_t i = 0; i < count; ++i)
        out[i] = bz_Stream_ReadUInt(cursor);
}

void bz_Mem_ReadU16Array(const uint8_t **cursor, uint16_t *out, int32_t count)
{
    if (!CountIsValid(count))
        return;
    for (int32_t i = 0; i < count; ++i)
        out[i] = bz_Stream_ReadUShort(cursor);
}

uint32_t bz_Mem_ReadVarUInt(const uint8_t **cursor)
{
    uint32_t value = 0;
    int32_t used = DecodeVarUInt(*cursor, BZ_VARUINT_MAX_BYTES, &value);
    if (!used)
    {
        bzgLastError = BZ_ERROR_BAD_DATA_FORMAT;
        return 0;
    }
    *cursor += used;
    return value;
}

int32_t bz_Mem_ReadVarUIntN(const uint8_t **cursor, const uint8_t *end, uint32_t *value)
{
    uint32_t v = 0;
    int32_t used =
        *cursor < end ? DecodeVarUInt(*cursor, static_cast<size_t>(end - *cursor), &v) : 0;
    if (!used)
    {
        bzgLastError = BZ_ERROR_BAD_DATA_FORMAT;
        return 0;
    }
    *cursor += used;
    if (value)
        *value = v;
    return used;
}

int32_t bz_Mem_ReadString(const uint8_t **cursor, char *buffer, int32_t size)
{
    int32_t consumed = 0;
    int32_t kept = 0;
    for (;;)
    {
        uint8_t b = *(*cursor)++;
        ++consumed;
        if (b == 0)
            break;
        Keep(buffer, size, kept, static_cast<char>(b));
    }
    Terminate(buffer, size, kept);
    return consumed;
}

int32_t bz_Mem_ReadStringN(const uint8_t **cursor, const uint8_t *end, char *buffer, int32_t size)
{
    const uint8_t *start = *cursor;
    const void *zero =
        start < end ? std::memchr(start, 0, static_cast<size_t>(end - start)) : nullptr;
    if (!zero)
    {
        bzgLastError = BZ_ERROR_BAD_DATA_FORMAT;
        Terminate(buffer, size, 0);
        return -1;
    }
    return bz_Mem_ReadString(cursor, buffer, size);
}
