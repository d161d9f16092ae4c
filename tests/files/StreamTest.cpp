#include "core/Error.h"
#include "files/File.h"
#include "files/Stream.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace
{
// Vectors and matrices are rows of three floats.
const bzV3 *V(const float *f)
{
    return reinterpret_cast<const bzV3 *>(f);
}
bzV3 *V(float *f)
{
    return reinterpret_cast<bzV3 *>(f);
}

std::string Hex(const std::string &bytes)
{
    std::string out;
    char b[4];
    for (unsigned char c : bytes)
    {
        std::snprintf(b, sizeof b, "%02X ", c);
        out += b;
    }
    if (!out.empty())
        out.pop_back();
    return out;
}

// Writes through a fresh file and gives back its bytes.
template <typename Fn> std::string Written(Fn write)
{
    bzFileHandle *f = bz_FileOpen("out.bin", "wb");
    EXPECT_NE(f, nullptr);
    write(f);
    bz_FileClose(f);
    return ReadWholeFile("out.bin");
}

class StreamTest : public ::testing::Test
{
protected:
    ScopedTempDir dir_;
    KeepAlive keepAlive_;
};

TEST_F(StreamTest, VariableLengthEncoding)
{
    const struct
    {
        uint32_t value;
        const char *bytes;
    } cases[] = {
        {0, "00"},
        {127, "7F"},
        {128, "81 00"},
        {0x3FFF, "FF 7F"},
        {0x4000, "81 80 00"},
        {0x1FFFFF, "FF FF 7F"},
        {0x200000, "81 80 80 00"},
        {0xFFFFFFF, "FF FF FF 7F"},
        {0x10000000, "81 80 80 80 00"},
        {0xFFFFFFFF, "8F FF FF FF 7F"},
    };
    for (const auto &c : cases)
    {
        int32_t count = 0;
        std::string bytes = Written(
            [&](bzFileHandle *f)
            {
                count = bz_Stream_WriteVarUInt(f, c.value);
                EXPECT_EQ(bz_FileTell(f), count);
            });
        EXPECT_EQ(Hex(bytes), c.bytes) << c.value;
        EXPECT_EQ(count, static_cast<int32_t>(bytes.size()));
        // Read back from a block of exactly that size.
        std::vector<uint8_t> block(bytes.begin(), bytes.end());
        const uint8_t *cursor = block.data();
        EXPECT_EQ(bz_Mem_ReadVarUInt(&cursor), c.value);
        EXPECT_EQ(cursor, block.data() + block.size());
        cursor = block.data();
        uint32_t value = 0;
        EXPECT_EQ(bz_Mem_ReadVarUIntN(&cursor, block.data() + block.size(), &value), count);
        EXPECT_EQ(value, c.value);
    }
}

TEST_F(StreamTest, BadVariableLengthRunsAreRejected)
{
    const std::vector<std::vector<uint8_t>> bad = {
        {0x80, 0x80, 0x80, 0x80, 0x80, 0x00}, // six bytes
        {0xFF, 0xFF, 0xFF, 0xFF, 0xFF},       // never ends within five
        {0x90, 0x80, 0x80, 0x80, 0x00},       // more than 32 bits
    };
    for (const auto &run : bad)
    {
        std::vector<uint8_t> block = run;
        const uint8_t *cursor = block.data();
        bzgLastError = 0;
        EXPECT_EQ(bz_Mem_ReadVarUInt(&cursor), 0u);
        EXPECT_EQ(bzgLastError, BZ_ERROR_BAD_DATA_FORMAT);
        EXPECT_EQ(cursor, block.data());
        uint32_t value = 7;
        EXPECT_EQ(bz_Mem_ReadVarUIntN(&cursor, block.data() + block.size(), &value), 0);
        EXPECT_EQ(cursor, block.data());
        EXPECT_EQ(value, 7u);
    }
    // Cut short by the end of the buffer: never read past it.
    std::vector<uint8_t> cut = {0x81, 0x80};
    const uint8_t *cursor = cut.data();
    bzgLastError = 0;
    EXPECT_EQ(bz_Mem_ReadVarUIntN(&cursor, cut.data() + cut.size(), nullptr), 0);
    EXPECT_EQ(bzgLastError, BZ_ERROR_BAD_DATA_FORMAT);
    EXPECT_EQ(bz_Mem_ReadVarUIntN(&cursor, cut.data(), nullptr), 0); // empty
    EXPECT_EQ(cursor, cut.data());
}

TEST_F(StreamTest, FilePrimitivesRoundTripLittleEndian)
{
    const float vec[3] = {1.0f, -2.5f, 3.25f};
    float m33[9], m34[12];
    for (int i = 0; i < 12; ++i)
    {
        m34[i] = 0.5f * i - 1.0f;
        if (i < 9)
            m33[i] = 100.0f + i;
    }
    const float two[2] = {-0.0f, std::numeric_limits<float>::infinity()};
    const uint32_t u32[3] = {0x01020304u, 0xFFFFFFFFu, 0};
    const uint16_t u16[2] = {0xBEEF, 1};

    std::string bytes = Written(
        [&](bzFileHandle *f)
        {
            EXPECT_EQ(bz_Stream_WriteByte(f, 0xAB), 1);
            EXPECT_EQ(bz_Stream_WriteShort(f, -2), 2);
            EXPECT_EQ(bz_Stream_WriteUShort(f, 0x1234), 2);
            EXPECT_EQ(bz_Stream_WriteInt(f, -5), 4);
            EXPECT_EQ(bz_Stream_WriteUInt(f, 0xDEADBEEFu), 4);
            EXPECT_EQ(bz_Stream_WriteFloat2(f, two), 8);
            EXPECT_EQ(bz_Stream_WriteVector(f, V(vec)), 12);
            EXPECT_EQ(bz_Stream_WriteMatrix33(f, reinterpret_cast<const bzM33 *>(m33)), 36);
            EXPECT_EQ(bz_Stream_WriteMatrix34(f, reinterpret_cast<const bzM34 *>(m34)), 48);
            EXPECT_EQ(bz_Stream_WriteCString(f, "hi"), 3);
            EXPECT_EQ(bz_Stream_WriteCString(f, ""), 1);
            EXPECT_EQ(bz_Stream_WriteU32Array(f, u32, 3), 12);
            EXPECT_EQ(bz_Stream_WriteU16Array(f, u16, 2), 4);
            EXPECT_EQ(bz_Stream_WriteItems("xyz", 1, 3, f), 3u);
            EXPECT_EQ(bz_Stream_WriteVarUInt(f, 300), 2);
            EXPECT_EQ(bz_FileTell(f),
                      1 + 2 + 2 + 4 + 4 + 8 + 12 + 36 + 48 + 3 + 1 + 12 + 4 + 3 + 2);
        });
    ASSERT_EQ(bytes.size(), 142u);
    // Byte order on disk, field by field.
    EXPECT_EQ(Hex(bytes.substr(0, 13)), "AB FE FF 34 12 FB FF FF FF EF BE AD DE");
    EXPECT_EQ(Hex(bytes.substr(13, 8)), "00 00 00 80 00 00 80 7F"); // -0.0 and infinity
    EXPECT_EQ(Hex(bytes.substr(21, 4)), "00 00 80 3F");             // 1.0
    EXPECT_EQ(Hex(bytes.substr(117, 4)), "68 69 00 00");            // "hi", ""
    EXPECT_EQ(Hex(bytes.substr(121, 4)), "04 03 02 01");
    EXPECT_EQ(Hex(bytes.substr(133, 4)), "EF BE 01 00");
    EXPECT_EQ(Hex(bytes.substr(137, 4)), "78 79 7A 82"); // "xyz", then 300's first byte

    bzFileHandle *f = bz_FileOpen("out.bin", "rb");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(bz_File_ReadByte(f), 0xAB);
    EXPECT_EQ(bz_File_ReadShort(f), -2);
    EXPECT_EQ(bz_File_ReadUShort(f), 0x1234);
    EXPECT_EQ(bz_File_ReadInt(f), -5);
    EXPECT_EQ(bz_File_ReadUInt(f), 0xDEADBEEFu);
    float t0 = bz_File_ReadFloat(f);
    EXPECT_TRUE(t0 == 0.0f && std::signbit(t0));
    EXPECT_EQ(bz_File_ReadFloat(f), std::numeric_limits<float>::infinity());
    float v[3];
    EXPECT_EQ(bz_File_ReadVector(f, V(v)), 12);
    EXPECT_EQ(std::memcmp(v, vec, sizeof v), 0);
    float r33[9], r34[12];
    EXPECT_EQ(bz_File_ReadMatrix33(f, reinterpret_cast<bzM33 *>(r33)), 36);
    EXPECT_EQ(bz_File_ReadMatrix34(f, reinterpret_cast<bzM34 *>(r34)), 48);
    EXPECT_EQ(std::memcmp(r33, m33, sizeof r33), 0);
    EXPECT_EQ(std::memcmp(r34, m34, sizeof r34), 0);
    char text[8];
    EXPECT_EQ(bz_File_ReadCString(f, text, sizeof text), 3);
    EXPECT_STREQ(text, "hi");
    EXPECT_EQ(bz_File_ReadCString(f, text, sizeof text), 1);
    EXPECT_STREQ(text, "");
    uint32_t ru32[3];
    uint16_t ru16[2];
    EXPECT_EQ(bz_File_ReadU32Array(f, ru32, 3), 12);
    EXPECT_EQ(bz_File_ReadU16Array(f, ru16, 2), 4);
    EXPECT_EQ(std::memcmp(ru32, u32, sizeof ru32), 0);
    EXPECT_EQ(std::memcmp(ru16, u16, sizeof ru16), 0);
    char xyz[3];
    EXPECT_EQ(bz_Stream_ReadItems(xyz, 1, 3, f), 3u);
    EXPECT_EQ(std::string(xyz, 3), "xyz");
    EXPECT_EQ(bz_File_ReadSByte(f), static_cast<int8_t>(0x82));
    EXPECT_EQ(bz_File_ReadByte(f), 0x2C);
    bz_FileClose(f);
}

TEST_F(StreamTest, SmallWritesAndTell)
{
    std::string bytes =
        Written([](bzFileHandle *f) { EXPECT_EQ(bz_Stream_WriteCString(f, ""), 1); });
    EXPECT_EQ(Hex(bytes), "00");
    const float m[12] = {};
    Written(
        [&](bzFileHandle *f)
        {
            bz_Stream_WriteMatrix34(f, reinterpret_cast<const bzM34 *>(m));
            EXPECT_EQ(bz_FileTell(f), 48);
        });
    EXPECT_EQ(Hex(Written([](bzFileHandle *f) { bz_Stream_WriteCString(f, nullptr); })), "00");
}

TEST_F(StreamTest, CStringKeepsSizeLessOneAndATerminator)
{
    WriteWholeFile("s.bin", std::string("ABCDEF\0GH\0", 10));
    bzFileHandle *f = bz_FileOpen("s.bin", "rb");
    ASSERT_NE(f, nullptr);
    char buffer[4];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(bz_File_ReadCString(f, buffer, 4), 7); // the whole string is consumed
    EXPECT_STREQ(buffer, "ABC");
    EXPECT_EQ(bz_File_ReadCString(f, nullptr, 0), 3); // nothing kept, still consumed
    bz_FileClose(f);

    f = bz_FileOpen("s.bin", "rb");
    char one[1] = {'x'};
    EXPECT_EQ(bz_File_ReadCString(f, one, 1), 7);
    EXPECT_EQ(one[0], '\0');
    char untouched[2] = {'x', 'y'};
    EXPECT_EQ(bz_File_ReadCString(f, untouched, 0), 3);
    EXPECT_EQ(untouched[0], 'x'); // size 0: the buffer is not written
    bz_FileClose(f);

    // A negative size keeps nothing and writes nothing, however large it is.
    for (int32_t size : {-1, INT32_MIN})
    {
        f = bz_FileOpen("s.bin", "rb");
        EXPECT_EQ(bz_File_ReadCString(f, untouched, size), 7);
        EXPECT_EQ(untouched[0], 'x');
        bz_FileClose(f);
        const uint8_t *at = reinterpret_cast<const uint8_t *>("AB\0");
        EXPECT_EQ(bz_Mem_ReadString(&at, untouched, size), 3);
        EXPECT_EQ(untouched[0], 'x');
    }

    // The same rules at a memory cursor.
    const std::string raw("ABCDEF\0GH\0", 10);
    std::vector<uint8_t> block(raw.begin(), raw.end());
    const uint8_t *cursor = block.data();
    EXPECT_EQ(bz_Mem_ReadString(&cursor, buffer, 4), 7);
    EXPECT_STREQ(buffer, "ABC");
    EXPECT_EQ(bz_Mem_ReadStringN(&cursor, block.data() + block.size(), buffer, 4), 3);
    EXPECT_STREQ(buffer, "GH");
    EXPECT_EQ(cursor, block.data() + block.size());
}

TEST_F(StreamTest, TruncatedFileInputIsReportedAndNotOverRead)
{
    WriteWholeFile("t.bin", std::string("\x01\x02\x03", 3));
    bzFileHandle *f = bz_FileOpen("t.bin", "rb");
    ASSERT_NE(f, nullptr);
    bzgLastError = 0;
    EXPECT_EQ(bz_File_ReadUShort(f), 0x0201);
    EXPECT_EQ(bzgLastError, 0);
    bz_File_ReadUInt(f); // one byte left
    EXPECT_EQ(bzgLastError, BZ_ERROR_BAD_DATA_FORMAT);
    bz_FileClose(f);

    // A vector whose last floats are missing keeps them as they were.
    WriteWholeFile("v.bin", std::string("\x00\x00\x80\x3F\x00\x00", 6));
    f = bz_FileOpen("v.bin", "rb");
    float v[3] = {9.0f, 9.0f, 9.0f};
    EXPECT_EQ(bz_File_ReadVector(f, V(v)), 4);
    EXPECT_EQ(v[0], 1.0f);
    EXPECT_EQ(v[2], 9.0f);
    bz_FileClose(f);

    // An unterminated string keeps what came and says so.
    WriteWholeFile("u.bin", "ABCDE");
    f = bz_FileOpen("u.bin", "rb");
    char text[16];
    bzgLastError = 0;
    EXPECT_EQ(bz_File_ReadCString(f, text, sizeof text), 5);
    EXPECT_STREQ(text, "ABCDE");
    EXPECT_EQ(bzgLastError, BZ_ERROR_BAD_DATA_FORMAT);
    uint32_t items[4] = {1, 2, 3, 4};
    EXPECT_EQ(bz_File_ReadU32Array(f, items, 4), 0);
    bz_FileClose(f);

    // No file at all.
    bzgLastError = 0;
    EXPECT_EQ(bz_File_ReadInt(nullptr), 0);
    EXPECT_EQ(bzgLastError, BZ_ERROR_BAD_DATA_FORMAT);
    EXPECT_EQ(bz_Stream_WriteInt(nullptr, 5), 0);
}

TEST_F(StreamTest, NegativeCountsAreRefused)
{
    const uint32_t items[2] = {1, 2};
    Written(
        [&](bzFileHandle *f)
        {
            bzgLastError = 0;
            EXPECT_EQ(bz_Stream_WriteU32Array(f, items, -1), 0);
            EXPECT_EQ(bzgLastError, BZ_ERROR_PARAMETER_OUT_OF_RANGE);
            EXPECT_EQ(bz_Stream_WriteU16Array(f, nullptr, -3), 0);
            EXPECT_EQ(bz_Stream_WriteU32Array(f, items, 0), 0);
            EXPECT_EQ(bz_FileTell(f), 0);
        });
    bzFileHandle *f = bz_FileOpen("out.bin", "rb");
    uint32_t out[2] = {7, 7};
    EXPECT_EQ(bz_File_ReadU32Array(f, out, INT32_MIN), 0);
    EXPECT_EQ(out[0], 7u);
    bz_FileClose(f);

    uint8_t block[8] = {};
    uint8_t *w = block;
    bz_Mem_WriteU32Array(&w, items, -1);
    EXPECT_EQ(w, block);
    const uint8_t *r = block;
    bz_Mem_ReadU16Array(&r, nullptr, -1);
    EXPECT_EQ(r, block);
}

TEST_F(StreamTest, MemoryCursorRoundTrip)
{
    float m34[12];
    for (int i = 0; i < 12; ++i)
        m34[i] = 1.5f * i;
    const uint32_t u32[2] = {0xCAFEBABEu, 7};
    const uint16_t u16[3] = {1, 0xFFFF, 0x8001};
    std::vector<uint8_t> block(1 + 2 + 4 + 8 + 6 + 48);
    uint8_t *w = block.data();
    bz_Mem_WriteU8(&w, 0x9C);
    bz_Mem_WriteU16(&w, 0xA1B2);
    bz_Mem_WriteU32(&w, 0x01020304u);
    bz_Mem_WriteU32Array(&w, u32, 2);
    bz_Mem_WriteU16Array(&w, u16, 3);
    bz_Stream_WriteMatrix34Mem(&w, reinterpret_cast<const bzM34 *>(m34));
    ASSERT_EQ(w, block.data() + block.size());
    EXPECT_EQ(block[1], 0xB2); // little-endian
    EXPECT_EQ(block[3], 0x04);
    EXPECT_EQ(block[6], 0x01);

    const uint8_t *r = block.data();
    EXPECT_EQ(bz_Mem_ReadU8(&r), 0x9C);
    EXPECT_EQ(bz_Stream_ReadUShort(&r), 0xA1B2);
    EXPECT_EQ(bz_Stream_ReadUInt(&r), 0x01020304u);
    uint32_t r32[2];
    bz_Mem_ReadU32Array(&r, r32, 2);
    EXPECT_EQ(std::memcmp(r32, u32, sizeof r32), 0);
    uint16_t r16[3];
    bz_Mem_ReadU16Array(&r, r16, 3);
    EXPECT_EQ(std::memcmp(r16, u16, sizeof r16), 0);
    float back[12];
    bz_Stream_ReadMatrix34(&r, reinterpret_cast<bzM34 *>(back));
    EXPECT_EQ(std::memcmp(back, m34, sizeof back), 0);
    EXPECT_EQ(r, block.data() + block.size());

    // The signed and float readers over the same bytes.
    r = block.data() + 1;
    EXPECT_EQ(bz_Stream_ReadShort(&r), static_cast<int16_t>(0xA1B2));
    r = block.data() + 7;
    EXPECT_EQ(bz_Stream_ReadInt(&r), static_cast<int32_t>(0xCAFEBABEu));
    r = block.data() + 21;
    EXPECT_EQ(bz_Stream_ReadFloat(&r), 0.0f);
    EXPECT_EQ(bz_Stream_ReadFloat(&r), 1.5f);
    r = block.data() + 25;
    float two[2];
    bz_Mem_ReadFloat2(&r, two);
    EXPECT_EQ(two[0], 1.5f);
    EXPECT_EQ(two[1], 3.0f);
    float v[3];
    bz_Mem_ReadVector(&r, V(v));
    EXPECT_EQ(v[0], 4.5f);
    EXPECT_EQ(v[2], 7.5f);
    EXPECT_EQ(r, block.data() + 25 + 8 + 12);
}

TEST_F(StreamTest, BoundedStringsNeverReadPastTheEnd)
{
    std::vector<uint8_t> block = {'A', 'B', 'C'};
    const uint8_t *cursor = block.data();
    char buffer[8] = "zzzz";
    bzgLastError = 0;
    EXPECT_EQ(bz_Mem_ReadStringN(&cursor, block.data() + block.size(), buffer, sizeof buffer), -1);
    EXPECT_EQ(bzgLastError, BZ_ERROR_BAD_DATA_FORMAT);
    EXPECT_EQ(cursor, block.data());
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(bz_Mem_ReadStringN(&cursor, block.data(), buffer, sizeof buffer), -1);
}

// Random blocks of exact size, decoded to their end with the bounded readers: no read past the
// end (the sanitizers watch), and every call either consumes bytes or reports an error.
TEST_F(StreamTest, BoundedReadersFuzz)
{
    std::mt19937 gen(99);
    for (int round = 0; round < 3000; ++round)
    {
        std::vector<uint8_t> block(gen() % 24);
        for (auto &b : block)
            b = static_cast<uint8_t>(gen() % 4 == 0 ? 0 : gen());
        const uint8_t *end = block.data() + block.size();
        const uint8_t *cursor = block.data();
        while (cursor < end)
        {
            const uint8_t *before = cursor;
            char text[6] = "xxxxx";
            bool isString = gen() & 1;
            int32_t used = isString ? bz_Mem_ReadStringN(&cursor, end, text, sizeof text)
                                    : bz_Mem_ReadVarUIntN(&cursor, end, nullptr);
            if (isString)
            {
                ASSERT_LT(std::strlen(text), sizeof text); // always terminated
            }
            if (used <= 0)
            {
                ASSERT_EQ(cursor, before);
                ASSERT_EQ(bzgLastError, BZ_ERROR_BAD_DATA_FORMAT);
                ++cursor; // skip the bad byte and go on
            }
            else
            {
                ASSERT_EQ(cursor, before + used);
                ASSERT_LE(cursor, end);
            }
        }
    }
}
} // namespace
