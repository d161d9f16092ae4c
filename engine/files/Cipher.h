// The engine's two keyed transforms: the position-keyed byte-stream cipher (RC4, where byte
// number p of a buffer is combined with key-stream byte number p) and the rotor codec, a
// substitution over a chosen alphabet whose rotors step like an odometer.
#pragma once

#include "core/Array.h"

#include <cstdint>

// Result codes of the block operations.
enum : int32_t
{
    BZ_CIPHER_OK = 0,
    BZ_CIPHER_NO_MEMORY = 3,
    BZ_CIPHER_BAD_KIND = 5,
    // A cipher call without a key (null block or length 0): nothing is transformed.
    BZ_CIPHER_NO_KEY = 29,
    // A negative offset or count.
    BZ_CIPHER_BAD_RANGE = 20,
};

constexpr int32_t BZ_CIPHER_MAX_KEY = 256;

// Transforms count bytes at data + offset into out, using the key stream from byte number
// offset on (the operation is its own inverse). Stores count into *outCount when given.
// Sequential calls with the same key continue the cached key stream, so reading a buffer
// piece by piece costs time linear in its size; the output is the same as a fresh start.
int32_t bz_CipherBytes(uint8_t *out, int32_t offset, const uint8_t *key, int32_t keyLength,
                       const uint8_t *data, int32_t count, int32_t *outCount);
// The same for the one byte at data + offset.
int32_t bz_CipherByte(uint8_t *out, int32_t offset, const uint8_t *key, int32_t keyLength,
                      const uint8_t *data);
// Allocates count bytes, stores the block into *out and transforms the whole buffer from
// offset 0 into it; the caller frees the block with bz_MemFree.
int32_t bz_CipherBuffer(uint8_t **out, const uint8_t *key, int32_t keyLength, const uint8_t *data,
                        int32_t count, int32_t *outCount);

// A key stream over one buffer that can be read at any byte number. It keeps the generator
// state, a window of recently produced key-stream bytes and a snapshot of the state every
// 64 KB, so forward reading is linear and a jump back costs at most one snapshot interval.
struct bzCipherState
{
    uint8_t s[256];
    uint8_t i;
    uint8_t j;
};

constexpr int32_t BZ_CIPHER_WINDOW = 4096;

struct bzCipherStream
{
    bzCipherState start;  // state right after the key schedule
    bzCipherState cursor; // state after producing cursorPos key-stream bytes
    int32_t cursorPos;
    int32_t windowBase[2]; // key-stream byte number of each window, -1 when empty
    int32_t newest;        // index of the window produced last
    uint8_t window[2][BZ_CIPHER_WINDOW];
    bzArray<bzCipherState> marks; // snapshot k is the state after k x 64 KB bytes
};

// Keys the stream; BZ_CIPHER_NO_KEY without a key, else 0.
int32_t bz_CipherStream_Init(bzCipherStream *stream, const uint8_t *key, int32_t keyLength);
// Frees the snapshots; the stream must be initialised again before further use.
void bz_CipherStream_Release(bzCipherStream *stream);
// Key-stream byte number index (index >= 0).
uint8_t bz_CipherStream_ByteAt(bzCipherStream *stream, int32_t index);
// Transforms the count bytes at data, which stand at byte number position of the buffer, into
// out: out[k] = data[k] XOR key-stream byte number position + k. Works a window at a time, so
// a span costs about what producing its key stream costs; use it rather than a ByteAt call
// per byte. out may be data itself (in place) but must not otherwise overlap it. Gives 0,
// BZ_CIPHER_BAD_RANGE for a negative position or count or a span past byte number INT32_MAX,
// or BZ_ERROR_INVALID_PARAMETER for a null stream, or null buffers with a count above 0.
int32_t bz_CipherStream_Transform(bzCipherStream *stream, uint8_t *out, int32_t position,
                                  const uint8_t *data, int32_t count);

// Rotor codec. Alphabet kinds.
enum : int32_t
{
    BZ_CODEC_BYTES = 0,     // the 256 byte values
    BZ_CODEC_LOWER = 1,     // a to z
    BZ_CODEC_UPPER = 2,     // A to Z
    BZ_CODEC_HEX_LOWER = 3, // 0 to 9, a to f
    BZ_CODEC_HEX_UPPER = 4, // 0 to 9, A to F
    BZ_CODEC_ALPHABET = 5,  // a caller-given zero-terminated alphabet
};

// Encodes (encode nonzero) or decodes input into output (both inputLength bytes) with the given
// number of rotors over the kind's alphabet; bytes that are not in the alphabet are copied
// unchanged and do not step the rotors. Gives 0, 3 (out of memory) or 5 (bad kind).
int32_t bz_RotorCodec(const uint8_t *key, int32_t keyLength, int32_t rotors, int32_t kind,
                      const char *alphabet, const uint8_t *input, int32_t inputLength,
                      uint8_t *output, int32_t encode);
// Allocate the output (*out, *outLength bytes; freed with bz_MemFree) and run the codec.
int32_t bz_EncodeBlock(const uint8_t *key, int32_t keyLength, int32_t rotors, int32_t kind,
                       const char *alphabet, const uint8_t *input, int32_t inputLength,
                       uint8_t **out, int32_t *outLength);
int32_t bz_DecodeBlock(const uint8_t *key, int32_t keyLength, int32_t rotors, int32_t kind,
                       const char *alphabet, const uint8_t *input, int32_t inputLength,
                       uint8_t **out, int32_t *outLength);

// The codec's own generator.
void bz_CodecSeed(uint32_t value);
int32_t bz_CodecRandom();
int32_t bz_CodecRandomRange(int32_t m);
