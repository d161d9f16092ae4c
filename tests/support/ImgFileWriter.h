// A writer of ".img" image files and ".tdx" texture-file headers for the tests (and for the
// content tool): little-endian byte building, the run-length encoders and the file layout.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Little-endian byte building.
struct ByteWriter
{
    std::string bytes;

    ByteWriter &U8(uint32_t v)
    {
        bytes += static_cast<char>(v & 0xFF);
        return *this;
    }
    ByteWriter &U16(uint32_t v) { return U8(v).U8(v >> 8); }
    ByteWriter &U32(uint32_t v) { return U16(v).U16(v >> 16); }
    ByteWriter &F32(float f)
    {
        uint32_t v;
        static_assert(sizeof v == sizeof f);
        __builtin_memcpy(&v, &f, sizeof v);
        return U32(v);
    }
    ByteWriter &Raw(const std::string &s)
    {
        bytes += s;
        return *this;
    }
    // A zero-padded field of n bytes (text cut to n).
    ByteWriter &Name(const std::string &s, size_t n)
    {
        std::string field = s.substr(0, n);
        field.resize(n, '\0');
        bytes += field;
        return *this;
    }
};

// Run-length units: a repeat unit (control n, one value) for a run of four or more equal
// values, literal units (control 0x80 | n, n values) otherwise, at most 127 values a unit.
// equal(a, b) compares values a and b; put(out, i) appends value i to the output.
template <class Equal, class Put> std::string RunLengthEncode(size_t count, Equal equal, Put put)
{
    std::string out;
    size_t i = 0;
    while (i < count)
    {
        size_t run = 1;
        while (i + run < count && run < 127 && equal(i, i + run))
            ++run;
        if (run >= 4)
        {
            out += static_cast<char>(run);
            put(out, i);
            i += run;
            continue;
        }
        // Literal values up to the next run of four (or 127 values).
        size_t n = 0;
        while (i + n < count && n < 127)
        {
            size_t ahead = 1;
            while (i + n + ahead < count && ahead < 4 && equal(i + n, i + n + ahead))
                ++ahead;
            if (ahead >= 4)
                break;
            ++n;
        }
        out += static_cast<char>(0x80 | n);
        for (size_t k = 0; k < n; ++k)
            put(out, i + k);
        i += n;
    }
    return out;
}

// Pixels as 0xAARRGGBB; each value alpha, red, green, blue. A file's run-length data may not
// be longer than 4 bytes a pixel (a picture without runs is written raw instead).
inline std::string EncodeRunsARGB(const std::vector<uint32_t> &pixels)
{
    return RunLengthEncode(
        pixels.size(), [&](size_t a, size_t b) { return pixels[a] == pixels[b]; },
        [&](std::string &out, size_t i)
        {
            for (int shift : {24, 16, 8, 0})
                out += static_cast<char>(pixels[i] >> shift & 0xFF);
        });
}

// One byte a value (alpha-only and 8-bit palette kinds, or packed 4-bit pairs).
inline std::string EncodeRuns8(const std::vector<uint8_t> &values)
{
    return RunLengthEncode(
        values.size(), [&](size_t a, size_t b) { return values[a] == values[b]; },
        [&](std::string &out, size_t i) { out += static_cast<char>(values[i]); });
}

// 4-bit indices packed two a byte, high nibble first (an odd count leaves the last low nibble 0).
inline std::vector<uint8_t> PackNibbles(const std::vector<uint8_t> &indices)
{
    std::vector<uint8_t> packed((indices.size() + 1) / 2, 0);
    for (size_t i = 0; i < indices.size(); ++i)
        packed[i / 2] |= static_cast<uint8_t>((indices[i] & 0x0F) << (i % 2 ? 0 : 4));
    return packed;
}

inline std::string RawARGB(const std::vector<uint32_t> &pixels)
{
    ByteWriter w;
    for (uint32_t p : pixels)
        w.U8(p >> 24).U8(p >> 16).U8(p >> 8).U8(p);
    return w.bytes;
}

inline std::string RawBytes(const std::vector<uint8_t> &values)
{
    return std::string(values.begin(), values.end());
}

struct ImgFileLayout
{
    uint16_t version = 0x0100;
    uint16_t flags = 0; // 0x0002 run-length, 0x0010 extra block, ...
    uint8_t kind = 0;
    uint32_t width = 1;
    uint32_t height = 1;
    std::vector<uint32_t> palette; // 0x00RRGGBB; 16 or 256 entries for kinds 3 and 4
    std::string data;              // raw or run-length pixel data
    std::string extra;             // written with flag 0x0010
    int64_t dataSize = -1;         // the header's data size; -1: the run-length data's length
    std::string magic = "IMAGEMAP";
};

inline std::string BuildImgFile(const ImgFileLayout &s)
{
    ByteWriter w;
    w.Name(s.magic, 8).U16(s.version).U16(s.flags).U8(s.kind).U8(0).U16(0);
    const uint32_t dataSize = s.dataSize >= 0      ? static_cast<uint32_t>(s.dataSize)
                              : (s.flags & 0x0002) ? static_cast<uint32_t>(s.data.size())
                                                   : 0;
    w.U32(dataSize).U16(s.width).U16(s.height);
    if (s.kind == 3 || s.kind == 4)
    {
        const size_t n = s.kind == 3 ? 16 : 256;
        for (int shift : {16, 8, 0})
            for (size_t i = 0; i < n; ++i)
                w.U8(i < s.palette.size() ? s.palette[i] >> shift : 0);
    }
    w.Raw(s.data);
    if (s.flags & 0x0010)
        w.U32(static_cast<uint32_t>(s.extra.size())).Raw(s.extra);
    return w.bytes;
}

// A ".tdx" file: the 16-byte header (levels in bytes 6-7, the device format in bytes 12-15),
// an extra block with flags B 0x02, then payload bytes.
inline std::string BuildTdxFile(uint16_t version, uint16_t width, uint16_t height, uint8_t flagsA,
                                uint8_t flagsB, uint32_t deviceFormat,
                                const std::string &extra = {}, const std::string &payload = {})
{
    ByteWriter w;
    w.U16(version).U16(width).U16(height).U16(1).U8(flagsA).U8(flagsB).U16(0).U32(deviceFormat);
    if (flagsB & 0x02)
        w.U32(static_cast<uint32_t>(extra.size())).Raw(extra);
    w.Raw(payload);
    return w.bytes;
}
