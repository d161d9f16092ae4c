#include "core/Crc32.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace
{
// Bit-at-a-time reference of the reflected CRC-32, continued from a running value.
uint32_t BitwiseCrc(uint32_t running, const unsigned char *data, size_t length)
{
    uint32_t c = ~running;
    for (size_t i = 0; i < length; ++i)
    {
        c ^= data[i];
        for (int k = 0; k < 8; ++k)
            c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
    }
    return ~c;
}

std::vector<unsigned char> Pattern(size_t length)
{
    std::vector<unsigned char> bytes(length);
    for (size_t i = 0; i < length; ++i)
        bytes[i] = static_cast<unsigned char>(i * 31 + 7);
    return bytes;
}

TEST(Crc32Test, KnownVectors)
{
    struct Case
    {
        std::string data;
        uint32_t crc;
    };
    const Case cases[] = {
        {"", 0x00000000u},
        {"a", 0xE8B7BE43u},
        {"abc", 0x352441C2u},
        {"123456789", 0xCBF43926u},
        {"message digest", 0x20159D7Fu},
        {"abcdefghijklmnopqrstuvwxyz", 0x4C2750BDu},
        {std::string(32, '\0'), 0x190A55ADu},
        {std::string(32, '\xFF'), 0xFF6CAB0Bu},
        {std::string(4096, '\0'), 0xC71C0011u},
    };
    for (const Case &c : cases)
    {
        EXPECT_EQ(bz_Crc32(0, static_cast<uint32_t>(c.data.size()), c.data.data()), c.crc)
            << c.data.size() << " bytes";
    }

    unsigned char ascending[32];
    for (int i = 0; i < 32; ++i)
        ascending[i] = static_cast<unsigned char>(i);
    EXPECT_EQ(bz_Crc32(0, 32, ascending), 0x91267E8Au);

    // Long enough for the multi-run path, from zero and from a running value.
    const std::vector<unsigned char> pattern = Pattern(10000);
    EXPECT_EQ(bz_Crc32(0, 10000, pattern.data()), 0x38E68819u);
    EXPECT_EQ(bz_Crc32(0x12345678u, 10000, pattern.data()), 0x281754C3u);

    // Nothing to sum keeps the running value.
    EXPECT_EQ(bz_Crc32(0xDEADBEEFu, 0, pattern.data()), 0xDEADBEEFu);
    EXPECT_EQ(bz_Crc32(0xDEADBEEFu, 16, nullptr), 0xDEADBEEFu);
    EXPECT_EQ(bz_Crc32String(nullptr, 5), 5u);
    EXPECT_EQ(bz_Crc32String("123456789", 0), 0xCBF43926u);
}

// Random lengths (across the several-bytes-per-step and several-runs thresholds), start
// alignments and running values agree with the bit-at-a-time reference, and a buffer summed in
// two pieces gives the same checksum as summed whole.
TEST(Crc32Test, AgreesWithBitwiseReferenceAtAnyLengthAndAlignment)
{
    std::mt19937 gen(1234);
    std::vector<unsigned char> buffer(12000 + 8);
    for (auto &b : buffer)
        b = static_cast<unsigned char>(gen());

    const size_t edges[] = {1, 7, 8, 9, 1535, 1536, 1537, 3072, 3079};
    for (size_t length : edges)
        for (size_t align = 0; align < 8; ++align)
        {
            ASSERT_EQ(bz_Crc32(0, static_cast<uint32_t>(length), buffer.data() + align),
                      BitwiseCrc(0, buffer.data() + align, length))
                << length << " at " << align;
        }

    for (int round = 0; round < 300; ++round)
    {
        const size_t align = gen() % 8;
        const size_t length = 1 + gen() % 12000;
        const uint32_t running = gen();
        const unsigned char *data = buffer.data() + align;
        const uint32_t whole = bz_Crc32(running, static_cast<uint32_t>(length), data);
        ASSERT_EQ(whole, BitwiseCrc(running, data, length)) << length << " at " << align;

        const size_t split = gen() % (length + 1);
        const uint32_t first = bz_Crc32(running, static_cast<uint32_t>(split), data);
        ASSERT_EQ(bz_Crc32(first, static_cast<uint32_t>(length - split), data + split), whole)
            << length << " split at " << split;
    }
}
} // namespace
