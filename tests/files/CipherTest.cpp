#include "files/Cipher.h"
#include "core/Error.h"
#include "core/Memory.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace
{
std::vector<uint8_t> Bytes(const std::string &text)
{
    return std::vector<uint8_t>(text.begin(), text.end());
}

std::vector<uint8_t> Hex(const char *hex)
{
    std::vector<uint8_t> out;
    for (size_t k = 0; hex[k] && hex[k + 1]; k += 2)
        out.push_back((uint8_t)std::stoi(std::string(hex + k, 2), nullptr, 16));
    return out;
}

// Key-stream bytes: the transform of zeros.
std::vector<uint8_t> KeyStream(const std::vector<uint8_t> &key, int32_t offset, int32_t count)
{
    std::vector<uint8_t> zeros(offset + count, 0), out(count, 0xAA);
    EXPECT_EQ(0, bz_CipherBytes(out.data(), offset, key.data(), (int32_t)key.size(), zeros.data(),
                                count, nullptr));
    return out;
}
} // namespace

TEST(Cipher, MatchesPublishedVectors)
{
    struct Case
    {
        const char *key, *plain, *cipher;
    };
    const Case cases[] = {
        {"Key", "Plaintext", "bbf316e8d940af0ad3"},
        {"Wiki", "pedia", "1021bf0420"},
        {"Secret", "Attack at dawn", "45a01f645fc35b383552544b9bf5"},
    };
    for (const Case &c : cases)
    {
        std::vector<uint8_t> key = Bytes(c.key), plain = Bytes(c.plain);
        std::vector<uint8_t> out(plain.size());
        int32_t count = -1;
        ASSERT_EQ(0, bz_CipherBytes(out.data(), 0, key.data(), (int32_t)key.size(), plain.data(),
                                    (int32_t)plain.size(), &count));
        EXPECT_EQ((int32_t)plain.size(), count);
        EXPECT_EQ(Hex(c.cipher), out) << c.key;
    }
    // Key-stream lines of the 40-bit key 0102030405 at several offsets.
    const std::vector<uint8_t> key = {1, 2, 3, 4, 5};
    EXPECT_EQ(Hex("b2396305f03dc027ccc3524a0a1118a8"), KeyStream(key, 0, 16));
    EXPECT_EQ(Hex("6982944f18fc82d589c403a47a0d0919"), KeyStream(key, 16, 16));
    EXPECT_EQ(Hex("28cb1132c96ce286421dcaadb8b69eae"), KeyStream(key, 240, 16));
    EXPECT_EQ(Hex("ff25b58995996707e51fbdf08b34d875"), KeyStream(key, 4096, 16));
}

TEST(Cipher, OffsetReadEqualsWholeBufferAndInverts)
{
    const std::vector<uint8_t> key = Bytes("tolvane key");
    std::vector<uint8_t> data(20);
    for (int k = 0; k < 20; k++)
        data[k] = (uint8_t)(k * 37 + 1);
    uint8_t *whole = nullptr;
    int32_t count = 0;
    ASSERT_EQ(0, bz_CipherBuffer(&whole, key.data(), (int32_t)key.size(), data.data(), 20, &count));
    ASSERT_EQ(20, count);
    uint8_t part[10];
    ASSERT_EQ(0,
              bz_CipherBytes(part, 10, key.data(), (int32_t)key.size(), data.data(), 10, nullptr));
    EXPECT_EQ(0, memcmp(part, whole + 10, 10));
    // Single bytes read backwards, then forwards again, agree with the whole transform.
    for (int k = 19; k >= 0; k--)
    {
        uint8_t one = 0;
        ASSERT_EQ(0, bz_CipherByte(&one, k, key.data(), (int32_t)key.size(), data.data()));
        EXPECT_EQ(whole[k], one) << k;
    }
    uint8_t back[20];
    ASSERT_EQ(0, bz_CipherBytes(back, 0, key.data(), (int32_t)key.size(), whole, 20, nullptr));
    EXPECT_EQ(0, memcmp(back, data.data(), 20));
    bz_MemFree(whole);
}

TEST(Cipher, StreamAgreesAtAnyOrderAcrossSnapshots)
{
    const std::vector<uint8_t> key = Bytes("stream");
    const int32_t size = 200000; // several snapshot intervals
    std::vector<uint8_t> zeros(size, 0), ks(size);
    ASSERT_EQ(0, bz_CipherBytes(ks.data(), 0, key.data(), (int32_t)key.size(), zeros.data(), size,
                                nullptr));
    bzCipherStream stream;
    ASSERT_EQ(0, bz_CipherStream_Init(&stream, key.data(), (int32_t)key.size()));
    const int32_t probes[] = {0,     1,     4095,  4096,   4095, 150000,
                              70000, 65535, 65536, 199999, 5,    131072};
    for (int32_t p : probes)
        EXPECT_EQ(ks[p], bz_CipherStream_ByteAt(&stream, p)) << p;
    uint32_t state = 12345;
    for (int k = 0; k < 300; k++)
    {
        state = state * 1103515245u + 12345u;
        int32_t p = (int32_t)((state >> 8) % size);
        ASSERT_EQ(ks[p], bz_CipherStream_ByteAt(&stream, p)) << p;
    }
    bz_CipherStream_Release(&stream);
}

namespace
{
// The key stream by the textbook loop, for comparison.
std::vector<uint8_t> PlainKeyStream(const std::vector<uint8_t> &key, int32_t count)
{
    uint8_t s[256];
    for (int i = 0; i < 256; i++)
        s[i] = (uint8_t)i;
    uint8_t j = 0;
    for (int i = 0; i < 256; i++)
    {
        j = (uint8_t)(j + s[i] + key[i % key.size()]);
        std::swap(s[i], s[j]);
    }
    std::vector<uint8_t> out(count);
    uint8_t i = 0;
    j = 0;
    for (int32_t k = 0; k < count; k++)
    {
        i = (uint8_t)(i + 1);
        j = (uint8_t)(j + s[i]);
        std::swap(s[i], s[j]);
        out[k] = s[(uint8_t)(s[i] + s[j])];
    }
    return out;
}
} // namespace

// Spans at random positions and of random lengths (across window and snapshot boundaries, read
// forwards, backwards and in place) transform exactly as the byte-by-byte reading and the
// textbook key stream do.
TEST(Cipher, BlockTransformEqualsByteByByteAtAnyPositionAndLength)
{
    const std::vector<uint8_t> key = Bytes("block key");
    const int32_t size = 300000; // several snapshot intervals
    const std::vector<uint8_t> ks = PlainKeyStream(key, size);
    std::vector<uint8_t> data(size);
    uint32_t state = 99;
    for (auto &b : data)
    {
        state = state * 1103515245u + 12345u;
        b = (uint8_t)(state >> 16);
    }
    bzCipherStream blocks, bytes;
    ASSERT_EQ(0, bz_CipherStream_Init(&blocks, key.data(), (int32_t)key.size()));
    ASSERT_EQ(0, bz_CipherStream_Init(&bytes, key.data(), (int32_t)key.size()));
    std::vector<uint8_t> out(size), inPlace(size), viaBytes(size);
    for (int round = 0; round < 200; round++)
    {
        state = state * 1103515245u + 12345u;
        const int32_t count = (int32_t)((state >> 8) % 9000) + (round < 10 ? 0 : 1);
        state = state * 1103515245u + 12345u;
        const int32_t position = (int32_t)((state >> 8) % (uint32_t)(size - count + 1));
        const uint8_t *src = data.data() + position;
        ASSERT_EQ(0, bz_CipherStream_Transform(&blocks, out.data(), position, src, count));
        memcpy(inPlace.data(), src, (size_t)count);
        ASSERT_EQ(
            0, bz_CipherStream_Transform(&blocks, inPlace.data(), position, inPlace.data(), count));
        for (int32_t k = 0; k < count; k++)
        {
            const uint8_t expected = (uint8_t)(src[k] ^ ks[position + k]);
            viaBytes[k] = (uint8_t)(src[k] ^ bz_CipherStream_ByteAt(&bytes, position + k));
            ASSERT_EQ(expected, out[k]) << position << "+" << k;
            ASSERT_EQ(expected, viaBytes[k]) << position << "+" << k;
            ASSERT_EQ(expected, inPlace[k]) << position << "+" << k;
        }
        // The whole-call form gives the same bytes.
        ASSERT_EQ(0, bz_CipherBytes(viaBytes.data(), position, key.data(), (int32_t)key.size(),
                                    data.data(), count, nullptr));
        ASSERT_EQ(0, memcmp(viaBytes.data(), out.data(), (size_t)count)) << position;
    }
    bz_CipherStream_Release(&blocks);
    bz_CipherStream_Release(&bytes);
}

TEST(Cipher, BlockTransformRefusesBadRangesAndMissingBuffers)
{
    const uint8_t key[] = {1, 2, 3};
    bzCipherStream stream;
    ASSERT_EQ(0, bz_CipherStream_Init(&stream, key, 3));
    uint8_t data[8] = {}, out[8] = {};
    EXPECT_EQ(BZ_CIPHER_BAD_RANGE, bz_CipherStream_Transform(&stream, out, -1, data, 8));
    EXPECT_EQ(BZ_CIPHER_BAD_RANGE, bz_CipherStream_Transform(&stream, out, 0, data, -8));
    EXPECT_EQ(BZ_CIPHER_BAD_RANGE, bz_CipherStream_Transform(&stream, out, INT32_MAX - 4, data, 8));
    EXPECT_EQ(BZ_ERROR_INVALID_PARAMETER, bz_CipherStream_Transform(nullptr, out, 0, data, 8));
    EXPECT_EQ(BZ_ERROR_INVALID_PARAMETER, bz_CipherStream_Transform(&stream, nullptr, 0, data, 8));
    EXPECT_EQ(BZ_ERROR_INVALID_PARAMETER, bz_CipherStream_Transform(&stream, out, 0, nullptr, 8));
    EXPECT_EQ(0, bz_CipherStream_Transform(&stream, nullptr, 5, nullptr, 0));
    // Nothing was written by the refused calls.
    EXPECT_EQ(std::vector<uint8_t>(8, 0), std::vector<uint8_t>(out, out + 8));
    bz_CipherStream_Release(&stream);
}

TEST(Cipher, MissingKeyOrBadRangeIsAnErrorNotACrash)
{
    uint8_t data[4] = {1, 2, 3, 4}, out[4] = {};
    const uint8_t key[] = {7};
    EXPECT_EQ(BZ_CIPHER_NO_KEY, bz_CipherBytes(out, 0, nullptr, 0, data, 4, nullptr));
    EXPECT_EQ(BZ_CIPHER_NO_KEY, bz_CipherBytes(out, 0, key, 0, data, 4, nullptr));
    EXPECT_EQ(BZ_CIPHER_BAD_RANGE, bz_CipherBytes(out, -1, key, 1, data, 4, nullptr));
    EXPECT_EQ(BZ_CIPHER_BAD_RANGE, bz_CipherBytes(out, 0, key, 1, data, -4, nullptr));
    uint8_t *block = nullptr;
    EXPECT_EQ(BZ_CIPHER_NO_KEY, bz_CipherBuffer(&block, nullptr, 0, data, 4, nullptr));
    EXPECT_EQ(nullptr, block);
    bzCipherStream stream;
    EXPECT_EQ(BZ_CIPHER_NO_KEY, bz_CipherStream_Init(&stream, nullptr, 0));
    // A key longer than 256 bytes uses its first 256.
    std::vector<uint8_t> longKey(300, 9), cut(256, 9);
    uint8_t a[4], b[4];
    ASSERT_EQ(0, bz_CipherBytes(a, 0, longKey.data(), 300, data, 4, nullptr));
    ASSERT_EQ(0, bz_CipherBytes(b, 0, cut.data(), 256, data, 4, nullptr));
    EXPECT_EQ(0, memcmp(a, b, 4));
}

TEST(RotorCodec, GeneratorSequence)
{
    bz_CodecSeed(0);
    EXPECT_EQ(38, bz_CodecRandom()); // (0 x 214013 + 2531011) >> 16
    bz_CodecSeed(1);
    uint32_t state = 1 * 214013u + 2531011u;
    EXPECT_EQ((int32_t)((state >> 16) & 0x7FFF), bz_CodecRandom());
    for (int k = 0; k < 1000; k++)
    {
        int32_t v = bz_CodecRandomRange(9);
        ASSERT_GE(v, 0);
        ASSERT_LE(v, 9);
    }
}

TEST(RotorCodec, EncodesIntoTheAlphabetAndDecodesBack)
{
    const uint8_t key[] = "rotor key";
    uint8_t *out = nullptr;
    int32_t length = 0;
    EXPECT_EQ(5, bz_EncodeBlock(key, 9, 3, 6, nullptr, (const uint8_t *)"hello", 5, &out, &length));
    EXPECT_EQ(5, bz_EncodeBlock(key, 9, 3, 5, nullptr, (const uint8_t *)"hello", 5, &out, &length));
    EXPECT_EQ(nullptr, out);

    struct Case
    {
        int32_t kind;
        const char *alphabet;
        std::string input;
        const char *allowed;
    };
    const Case cases[] = {
        {1, nullptr, "hello", "abcdefghijklmnopqrstuvwxyz"},
        {2, nullptr, "HELLOWORLDZZZZZZZZZZZZZZZZZZZZZZ", "ABCDEFGHIJKLMNOPQRSTUVWXYZ"},
        {3, nullptr, "00ff10a9bc", "0123456789abcdef"},
        {4, nullptr, "DEADBEEF0123", "0123456789ABCDEF"},
        {5, "xyz!", "xxyyzz!!", "xyz!"},
        {0, nullptr, std::string("\0\1\xff bytes", 9), nullptr},
    };
    for (const Case &c : cases)
    {
        ASSERT_EQ(0, bz_EncodeBlock(key, 9, 3, c.kind, c.alphabet, (const uint8_t *)c.input.data(),
                                    (int32_t)c.input.size(), &out, &length));
        ASSERT_EQ((int32_t)c.input.size(), length);
        std::string encoded((const char *)out, length);
        bz_MemFree(out);
        if (c.allowed)
        {
            EXPECT_EQ(std::string::npos, encoded.find_first_not_of(c.allowed)) << encoded;
        }
        if (c.input.size() > 4)
        {
            EXPECT_NE(c.input, encoded);
        }
        ASSERT_EQ(0, bz_DecodeBlock(key, 9, 3, c.kind, c.alphabet, (const uint8_t *)encoded.data(),
                                    length, &out, &length));
        EXPECT_EQ(c.input, std::string((const char *)out, length)) << c.kind;
        bz_MemFree(out);
    }
    // Repeated symbols encode differently as the rotors step.
    ASSERT_EQ(0,
              bz_EncodeBlock(key, 9, 2, 1, nullptr,
                             (const uint8_t *)"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", 30, &out, &length));
    std::string repeated((const char *)out, length);
    bz_MemFree(out);
    EXPECT_NE(std::string(30, repeated[0]), repeated);
    // A symbol outside the alphabet passes unchanged.
    ASSERT_EQ(0, bz_EncodeBlock(key, 9, 2, 1, nullptr, (const uint8_t *)"a-b", 3, &out, &length));
    EXPECT_EQ('-', out[1]);
    bz_MemFree(out);
}
