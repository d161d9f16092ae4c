#include "files/Cipher.h"

#include "core/Error.h"
#include "core/Memory.h"

#include <cstring>

namespace
{
constexpr int32_t kMarkInterval = 65536; // key-stream bytes between two snapshots

// The key stream behind bz_CipherBytes: kept between calls and keyed again only when the key
// changes.
bzCipherStream gStream;
uint8_t gStreamKey[BZ_CIPHER_MAX_KEY];
int32_t gStreamKeyLength;
bool gStreamReady;

uint32_t gCodecState;

void KeySchedule(bzCipherState *state, const uint8_t *key, int32_t keyLength)
{
    for (int32_t i = 0; i < 256; i++)
        state->s[i] = static_cast<uint8_t>(i);
    uint8_t j = 0;
    for (int32_t i = 0; i < 256; i++)
    {
        j = static_cast<uint8_t>(j + state->s[i] + key[i % keyLength]);
        uint8_t t = state->s[i];
        state->s[i] = state->s[j];
        state->s[j] = t;
    }
    state->i = 0;
    state->j = 0;
}

// Produces count key-stream bytes into out.
void Generate(bzCipherState *state, uint8_t *out, int32_t count)
{
    uint8_t i = state->i, j = state->j;
    uint8_t *s = state->s;
    for (int32_t k = 0; k < count; k++)
    {
        i = static_cast<uint8_t>(i + 1);
        j = static_cast<uint8_t>(j + s[i]);
        uint8_t t = s[i];
        s[i] = s[j];
        s[j] = t;
        out[k] = s[static_cast<uint8_t>(s[i] + s[j])];
    }
    state->i = i;
    state->j = j;
}

// Advances the state past count key-stream bytes.
void Skip(bzCipherState *state, int32_t count)
{
    uint8_t i = state->i, j = state->j;
    uint8_t *s = state->s;
    for (int32_t k = 0; k < count; k++)
    {
        i = static_cast<uint8_t>(i + 1);
        j = static_cast<uint8_t>(j + s[i]);
        uint8_t t = s[i];
        s[i] = s[j];
        s[j] = t;
    }
    state->i = i;
    state->j = j;
}

// out[k] = data[k] ^ stream[k] for count bytes, eight at a time; out may be data.
void XorBytes(uint8_t *out, const uint8_t *data, const uint8_t *stream, int32_t count)
{
    int32_t k = 0;
    for (; k + 8 <= count; k += 8)
    {
        uint64_t a, b;
        memcpy(&a, data + k, 8);
        memcpy(&b, stream + k, 8);
        a ^= b;
        memcpy(out + k, &a, 8);
    }
    for (; k < count; k++)
        out[k] = static_cast<uint8_t>(data[k] ^ stream[k]);
}

// Records a snapshot when the cursor stands on the next snapshot boundary.
void NoteMark(bzCipherStream *stream)
{
    if (stream->cursorPos % kMarkInterval != 0 ||
        static_cast<uint32_t>(stream->cursorPos / kMarkInterval) != stream->marks.count)
        return;
    // Without more snapshots a jump back starts further back; still correct.
    stream->marks.Push(stream->cursor);
}

// Moves the cursor to key-stream byte number target (a window boundary).
void SeekCursor(bzCipherStream *stream, int32_t target)
{
    if (target < stream->cursorPos)
    {
        int32_t mark = target / kMarkInterval;
        if (mark >= static_cast<int32_t>(stream->marks.count))
            mark = static_cast<int32_t>(stream->marks.count) - 1;
        if (mark >= 0)
        {
            stream->cursor = stream->marks[mark];
            stream->cursorPos = mark * kMarkInterval;
        }
        else
        {
            stream->cursor = stream->start;
            stream->cursorPos = 0;
        }
    }
    while (stream->cursorPos < target)
    {
        NoteMark(stream);
        Skip(&stream->cursor, BZ_CIPHER_WINDOW);
        stream->cursorPos += BZ_CIPHER_WINDOW;
    }
}

// The window of key-stream bytes starting at byte number base (a window boundary): one of the
// two kept windows, or produced into the older slot, so that reading across a window boundary
// and back costs nothing.
const uint8_t *WindowAt(bzCipherStream *stream, int32_t base)
{
    if (stream->windowBase[stream->newest] == base)
        return stream->window[stream->newest];
    if (stream->windowBase[stream->newest ^ 1] == base)
        return stream->window[stream->newest ^ 1];
    SeekCursor(stream, base);
    int32_t slot = stream->newest ^ 1;
    NoteMark(stream);
    Generate(&stream->cursor, stream->window[slot], BZ_CIPHER_WINDOW);
    stream->cursorPos += BZ_CIPHER_WINDOW;
    stream->windowBase[slot] = base;
    stream->newest = slot;
    return stream->window[slot];
}

bool SameStreamKey(const uint8_t *key, int32_t keyLength)
{
    return gStreamReady && gStreamKeyLength == keyLength &&
           memcmp(gStreamKey, key, static_cast<size_t>(keyLength)) == 0;
}

int32_t UsedKeyLength(int32_t keyLength)
{
    return keyLength > BZ_CIPHER_MAX_KEY ? BZ_CIPHER_MAX_KEY : keyLength;
}

const char kLower[] = "abcdefghijklmnopqrstuvwxyz";
const char kUpper[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
const char kHexLower[] = "0123456789abcdef";
const char kHexUpper[] = "0123456789ABCDEF";
} // namespace

int32_t bz_CipherStream_Init(bzCipherStream *stream, const uint8_t *key, int32_t keyLength)
{
    if (!stream)
        return BZ_CIPHER_NO_KEY;
    memset(stream, 0, sizeof *stream);
    stream->windowBase[0] = stream->windowBase[1] = -1;
    if (!key || keyLength <= 0)
        return BZ_CIPHER_NO_KEY;
    KeySchedule(&stream->start, key, UsedKeyLength(keyLength));
    stream->cursor = stream->start;
    return BZ_CIPHER_OK;
}

void bz_CipherStream_Release(bzCipherStream *stream)
{
    if (!stream)
        return;
    stream->marks.Free();
    stream->windowBase[0] = stream->windowBase[1] = -1;
}

uint8_t bz_CipherStream_ByteAt(bzCipherStream *stream, int32_t index)
{
    int32_t base = index - index % BZ_CIPHER_WINDOW;
    return WindowAt(stream, base)[index - base];
}

int32_t bz_CipherStream_Transform(bzCipherStream *stream, uint8_t *out, int32_t position,
                                  const uint8_t *data, int32_t count)
{
    if (position < 0 || count < 0 || position > INT32_MAX - count)
        return BZ_CIPHER_BAD_RANGE;
    if (!stream || (count > 0 && (!out || !data)))
        return BZ_ERROR_INVALID_PARAMETER;
    while (count > 0)
    {
        int32_t from = position % BZ_CIPHER_WINDOW;
        int32_t n = BZ_CIPHER_WINDOW - from < count ? BZ_CIPHER_WINDOW - from : count;
        XorBytes(out, data, WindowAt(stream, position - from) + from, n);
        out += n;
        data += n;
        position += n;
        count -= n;
    }
    return BZ_CIPHER_OK;
}

int32_t bz_CipherBytes(uint8_t *out, int32_t offset, const uint8_t *key, int32_t keyLength,
                       const uint8_t *data, int32_t count, int32_t *outCount)
{
    if (!key || keyLength <= 0)
        return BZ_CIPHER_NO_KEY;
    if (offset < 0 || count < 0 || offset > INT32_MAX - count)
        return BZ_CIPHER_BAD_RANGE;
    if (count > 0 && (!out || !data))
        return BZ_ERROR_INVALID_PARAMETER;
    int32_t used = UsedKeyLength(keyLength);
    if (!SameStreamKey(key, used))
    {
        bz_CipherStream_Release(&gStream);
        bz_CipherStream_Init(&gStream, key, used);
        memcpy(gStreamKey, key, static_cast<size_t>(used));
        gStreamKeyLength = used;
        gStreamReady = true;
    }
    if (count > 0)
        bz_CipherStream_Transform(&gStream, out, offset, data + offset, count);
    if (outCount)
        *outCount = count;
    return BZ_CIPHER_OK;
}

int32_t bz_CipherByte(uint8_t *out, int32_t offset, const uint8_t *key, int32_t keyLength,
                      const uint8_t *data)
{
    return bz_CipherBytes(out, offset, key, keyLength, data, 1, nullptr);
}

int32_t bz_CipherBuffer(uint8_t **out, const uint8_t *key, int32_t keyLength, const uint8_t *data,
                        int32_t count, int32_t *outCount)
{
    if (!out)
        return BZ_ERROR_INVALID_PARAMETER;
    if (!key || keyLength <= 0)
        return BZ_CIPHER_NO_KEY;
    if (count < 0)
        return BZ_CIPHER_BAD_RANGE;
    uint8_t *block =
        static_cast<uint8_t *>(bz_MemAlloc(count > 0 ? static_cast<uint32_t>(count) : 1u, 0));
    if (!block)
        return BZ_CIPHER_NO_MEMORY;
    int32_t result = bz_CipherBytes(block, 0, key, keyLength, data, count, outCount);
    if (result != BZ_CIPHER_OK)
    {
        bz_MemFree(block);
        return result;
    }
    *out = block;
    return BZ_CIPHER_OK;
}

void bz_CodecSeed(uint32_t value)
{
    gCodecState = value;
}

int32_t bz_CodecRandom()
{
    gCodecState = gCodecState * 214013u + 2531011u;
    return static_cast<int32_t>((gCodecState >> 16) & 0x7FFF);
}

int32_t bz_CodecRandomRange(int32_t m)
{
    return static_cast<int32_t>(static_cast<int64_t>(bz_CodecRandom()) *
                                (static_cast<int64_t>(m) + 1) / 32768);
}

int32_t bz_RotorCodec(const uint8_t *key, int32_t keyLength, int32_t rotors, int32_t kind,
                      const char *alphabet, const uint8_t *input, int32_t inputLength,
                      uint8_t *output, int32_t encode)
{
    const char *symbols = nullptr;
    int32_t n = 256;
    switch (kind)
    {
    case BZ_CODEC_BYTES: break;
    case BZ_CODEC_LOWER: symbols = kLower; break;
    case BZ_CODEC_UPPER: symbols = kUpper; break;
    case BZ_CODEC_HEX_LOWER: symbols = kHexLower; break;
    case BZ_CODEC_HEX_UPPER: symbols = kHexUpper; break;
    case BZ_CODEC_ALPHABET: symbols = alphabet; break;
    default: return BZ_CIPHER_BAD_KIND;
    }
    if (kind == BZ_CODEC_ALPHABET && (!alphabet || !alphabet[0]))
        return BZ_CIPHER_BAD_KIND;
    if (symbols)
    {
        size_t length = strlen(symbols);
        n = length > 256 ? 256
                         : static_cast<int32_t>(length); // an alphabet holds each byte at most once
    }
    if (inputLength < 0 || (inputLength > 0 && (!input || !output)))
        return BZ_ERROR_INVALID_PARAMETER;
    if (rotors < 0)
        rotors = 0;
    if (static_cast<int64_t>(rotors) * n * 2 > static_cast<int64_t>(BZ_MEM_MAX_BLOCK))
        return BZ_CIPHER_NO_MEMORY;

    // Index of each byte in the alphabet (-1 for bytes outside it; the first occurrence wins).
    int16_t indexOf[256];
    for (int32_t b = 0; b < 256; b++)
        indexOf[b] = symbols ? -1 : static_cast<int16_t>(b);
    if (symbols)
        for (int32_t k = n - 1; k >= 0; k--)
            indexOf[static_cast<uint8_t>(symbols[k])] = static_cast<int16_t>(k);

    uint8_t *table = nullptr;
    int32_t *positions = nullptr;
    if (rotors > 0)
    {
        table = static_cast<uint8_t *>(bz_MemAlloc(static_cast<uint32_t>(rotors * n * 2), 0));
        positions = static_cast<int32_t *>(
            bz_MemAlloc(static_cast<uint32_t>(rotors * sizeof(int32_t)), BZ_MEM_CLEAR));
        if (!table || !positions)
        {
            if (table)
                bz_MemFree(table);
            if (positions)
                bz_MemFree(positions);
            return BZ_CIPHER_NO_MEMORY;
        }
    }
    // Rotor r's permutation at table + 2 r n, its inverse right behind it.
    uint32_t sum = 0;
    for (int32_t k = 0; key && k < keyLength; k++)
        sum += key[k];
    bz_CodecSeed(sum);
    int32_t swaps = rotors > 0 ? bz_CodecRandomRange(n) + n : 0;
    for (int32_t r = 0; r < rotors; r++)
    {
        uint8_t *perm = table + 2 * r * n;
        for (int32_t k = 0; k < n; k++)
            perm[k] = static_cast<uint8_t>(k);
        for (int32_t s = 0; s < swaps; s++)
        {
            int32_t a = bz_CodecRandom() * n / 32768;
            int32_t b = bz_CodecRandom() * n / 32768;
            uint8_t t = perm[a];
            perm[a] = perm[b];
            perm[b] = t;
        }
        uint8_t *inverse = perm + n;
        for (int32_t k = 0; k < n; k++)
            inverse[perm[k]] = static_cast<uint8_t>(k);
    }

    for (int32_t k = 0; k < inputLength; k++)
    {
        int32_t index = indexOf[input[k]];
        if (index < 0)
        {
            output[k] = input[k];
            continue;
        }
        if (encode)
        {
            for (int32_t r = 0; r < rotors; r++)
                index = table[2 * r * n + (index + positions[r]) % n];
        }
        else
        {
            for (int32_t r = rotors - 1; r >= 0; r--)
                index = (table[2 * r * n + n + index] - positions[r] + n) % n;
        }
        output[k] = symbols ? static_cast<uint8_t>(symbols[index]) : static_cast<uint8_t>(index);
        for (int32_t r = 0; r < rotors; r++)
        {
            if (++positions[r] < n)
                break;
            positions[r] = 0;
        }
    }
    if (table)
        bz_MemFree(table);
    if (positions)
        bz_MemFree(positions);
    return BZ_CIPHER_OK;
}

namespace
{
int32_t RunBlock(const uint8_t *key, int32_t keyLength, int32_t rotors, int32_t kind,
                 const char *alphabet, const uint8_t *input, int32_t inputLength, uint8_t **out,
                 int32_t *outLength, int32_t encode)
{
    if (kind < 0 || kind > BZ_CODEC_ALPHABET || (kind == BZ_CODEC_ALPHABET && !alphabet))
        return BZ_CIPHER_BAD_KIND;
    if (!out || inputLength < 0)
        return BZ_ERROR_INVALID_PARAMETER;
    uint8_t *block = static_cast<uint8_t *>(
        bz_MemAlloc(inputLength > 0 ? static_cast<uint32_t>(inputLength) : 1u, 0));
    if (!block)
        return BZ_CIPHER_NO_MEMORY;
    int32_t result =
        bz_RotorCodec(key, keyLength, rotors, kind, alphabet, input, inputLength, block, encode);
    if (result != BZ_CIPHER_OK)
    {
        bz_MemFree(block);
        return result;
    }
    *out = block;
    if (outLength)
        *outLength = inputLength;
    return BZ_CIPHER_OK;
}
} // namespace

int32_t bz_EncodeBlock(const uint8_t *key, int32_t keyLength, int32_t rotors, int32_t kind,
                       const char *alphabet, const uint8_t *input, int32_t inputLength,
                       uint8_t **out, int32_t *outLength)
{
    return RunBlock(key, keyLength, rotors, kind, alphabet, input, inputLength, out, outLength, 1);
}

int32_t bz_DecodeBlock(const uint8_t *key, int32_t keyLength, int32_t rotors, int32_t kind,
                       const char *alphabet, const uint8_t *input, int32_t inputLength,
                       uint8_t **out, int32_t *outLength)
{
    return RunBlock(key, keyLength, rotors, kind, alphabet, input, inputLength, out, outLength, 0);
}
