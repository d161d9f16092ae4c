#include "text/Text.h"

#include "files/Cipher.h"
#include "core/Error.h"
#include "files/File.h"
#include "core/Memory.h"
#include "core/Array.h"
#include "core/Strings.h"
#include "files/Wad.h"

#include <cstdio>
#include <cstring>

namespace
{
char *gLineBuffer;
int32_t gTabMode;

constexpr int32_t kLongestLine = BZ_TEXT_LINE_SIZE - 2; // 254 bytes and the terminator fit

// The byte at an absolute index, deciphered as needed; 0 outside the data.
inline uint8_t At(const bzTextReader *reader, int32_t index)
{
    if (index < 0 || index >= reader->size)
        return 0;
    return reader->text[index];
}

// The key stream depends on the key alone, and every enciphered file is enciphered from its
// first byte on, so the key-stream bytes produced for one file serve every later file with the
// same key: they are kept, up to a bound, and a file within the bound is deciphered by
// combining it with them. The kept bytes go with the line buffer (bz_Text_FreeLineBuffer).
struct KeyStreamCache
{
    bzCipherState start; // the generator state right after the key schedule: the key
    uint8_t *bytes;      // key-stream bytes 0 to count - 1
    int32_t count;
    int32_t capacity;
};
KeyStreamCache gKeyStream;
constexpr int32_t kKeyStreamLimit = 4 << 20;

void FreeKeyStream()
{
    if (gKeyStream.bytes)
        bz_MemFree(gKeyStream.bytes);
    gKeyStream = {};
}

// Keeps the key stream of stream up to byte number end (at most the bound) and gives the
// number of bytes kept for its key.
int32_t KeepKeyStream(bzCipherStream *stream, int32_t end)
{
    if (!gKeyStream.bytes || memcmp(&gKeyStream.start, &stream->start, sizeof stream->start))
    {
        FreeKeyStream();
        gKeyStream.start = stream->start;
    }
    if (end > kKeyStreamLimit)
        end = kKeyStreamLimit;
    if (end <= gKeyStream.count)
        return gKeyStream.count;
    if (end > gKeyStream.capacity)
    {
        int32_t capacity = gKeyStream.capacity > end / 2 ? 2 * gKeyStream.capacity : end;
        if (capacity > kKeyStreamLimit)
            capacity = kKeyStreamLimit;
        auto *grown = static_cast<uint8_t *>(
            bz_MemRealloc(gKeyStream.bytes, static_cast<uint32_t>(capacity), 0));
        if (!grown)
            return gKeyStream.count; // the rest comes from the stream itself
        gKeyStream.bytes = grown;
        gKeyStream.capacity = capacity;
    }
    // The key stream itself: the bytes combined with zeros.
    uint8_t *fresh = gKeyStream.bytes + gKeyStream.count;
    memset(fresh, 0, static_cast<size_t>(end - gKeyStream.count));
    bz_CipherStream_Transform(stream, fresh, gKeyStream.count, fresh, end - gKeyStream.count);
    gKeyStream.count = end;
    return end;
}

// Combines the count bytes at in, which stand at byte number position of the data, with the
// key stream into out; the operation is its own inverse, so it enciphers and deciphers. Every
// use of the cipher by the reader goes through here.
void CipherSpan(bzCipherStream *stream, uint8_t *out, int32_t position, const uint8_t *in,
                int32_t count)
{
    const int32_t kept = KeepKeyStream(stream, position + count);
    int32_t k = 0;
    if (position < kept)
    {
        const uint8_t *key = gKeyStream.bytes + position;
        const int32_t n = kept - position < count ? kept - position : count;
        for (; k < n; k++)
            out[k] = static_cast<uint8_t>(in[k] ^ key[k]);
    }
    if (k < count)
        bz_CipherStream_Transform(stream, out + k, position + k, in + k, count - k);
}

inline bool IsLineEnd(uint8_t c)
{
    return c == '\r' || c == '\n';
}

bool EnsureLineBuffer()
{
    if (!gLineBuffer)
        gLineBuffer = static_cast<char *>(bz_MemAlloc(BZ_TEXT_LINE_SIZE, BZ_MEM_CLEAR));
    if (!gLineBuffer)
    {
        bzgLastError = BZ_ERROR_NO_MEMORY;
        return false;
    }
    return true;
}

// The index of the first carriage return or line feed at or after from, or the size.
int32_t LineEndFrom(const uint8_t *text, int32_t from, int32_t size)
{
    while (from < size && !IsLineEnd(text[from]))
        from++;
    return from;
}

void SkipToLineEnd(bzTextReader *reader)
{
    reader->position = LineEndFrom(reader->text, reader->position, reader->size);
}

// Length of the line at the position, counted only up to limit + 1.
int32_t LineLengthUpTo(const bzTextReader *reader, int32_t limit)
{
    int32_t n = 0;
    for (int32_t p = reader->position; p < reader->size && n <= limit; p++, n++)
    {
        uint8_t c = At(reader, p);
        if (c < 0x20 || (c == '/' && At(reader, p + 1) == '/'))
            break;
    }
    return n;
}

void ReportUnmatched(const bzTextReader *reader)
{
    BZ_SET_ORIGIN();
    bz_ReportError("Scripting", "Unmatched curly brackets in %s", reader->name ? reader->name : "");
}

// The index just after the closing bracket of the block that the byte at from opens (or that
// from is in, when it is no "{"), counting nested brackets; -1 when the data ends first.
int32_t NestedEnd(const uint8_t *text, int32_t from, int32_t size)
{
    int32_t depth = 0;
    while (from < size)
    {
        uint8_t c = text[from++];
        if (c == '{')
            depth++;
        else if (c == '}' && --depth <= 0)
            return from;
    }
    return -1;
}

// Skips a block, counting nested brackets, to just after the closing bracket of the block the
// position is in (or opens, when it stands on a "{"). False (the position at the end) when the
// data ends first.
bool SkipNested(bzTextReader *reader)
{
    int32_t end = NestedEnd(reader->text, reader->position, reader->size);
    reader->position = end < 0 ? reader->size : end;
    return end >= 0;
}

// End of a bracketed name that opens at index open: the index of the closing byte when only
// bytes of 0x20 and above stand before it, else the index of the control byte (or the end) that
// stopped the search, negated minus one.
int32_t FindClose(const bzTextReader *reader, int32_t open, uint8_t close)
{
    int32_t k = open + 1;
    while (k < reader->size)
    {
        uint8_t c = At(reader, k);
        if (c == close)
            return k;
        if (c < 0x20)
            break;
        k++;
    }
    return -k - 1;
}

// Copies the bracketed name from the position up to before the closing byte, then appends the
// closing byte; the buffer holds BZ_TEXT_LINE_SIZE bytes.
void CopyBracketed(bzTextReader *reader, char *buffer, uint8_t close)
{
    int32_t k = 0;
    for (int32_t p = reader->position; p < reader->size && k < BZ_TEXT_LINE_SIZE - 2; p++)
    {
        uint8_t c = At(reader, p);
        if (c == close || c < 0x20)
            break;
        buffer[k++] = static_cast<char>(c);
    }
    buffer[k++] = static_cast<char>(close);
    buffer[k] = 0;
}

// Compares a read header or key ("[NAME]" or "<NAME>") with a table name: a table name written
// with its brackets is compared whole, otherwise the name between the brackets.
bool NameMatches(const char *bracketed, const char *tableName)
{
    if (tableName[0] == bracketed[0])
        return bz_StrCompareNoCase(bracketed, tableName) == 0;
    size_t length = strlen(bracketed);
    if (length < 2)
        return false;
    return strlen(tableName) == length - 2 &&
           bz_StrCompareNoCase(bracketed + 1, tableName, static_cast<int32_t>(length - 2)) == 0;
}

void Lookup(const char *bracketed, const bzTextLookup *table, int32_t *value)
{
    for (; table && table->name; table++)
        if (NameMatches(bracketed, table->name))
        {
            *value = table->value;
            return;
        }
}

// The search for a token from the position: white space is passed, "//" comments and whole
// blocks are stepped over, a stop byte ends the search, and the token is tried at every other
// byte. The position is left after the token, or where the search stopped.
int32_t ScanForToken(bzTextReader *reader, const char *token, int32_t n, const char *stops)
{
    bool stop[256] = {};
    for (const char *s = stops; s && *s; s++)
        stop[static_cast<uint8_t>(*s)] = true;
    const uint8_t *text = reader->text;
    const int32_t size = reader->size;
    const int32_t last = size - n;
    const uint8_t first = static_cast<uint8_t>(token[0]);
    int32_t pos = reader->position;
    while (pos <= last)
    {
        uint8_t c = text[pos];
        if (c < 0x21)
        {
            pos++;
            continue;
        }
        if (c == '/' && text[pos + 1] == '/')
        {
            pos = LineEndFrom(text, pos, size);
            continue;
        }
        if (c == '{')
        {
            pos = NestedEnd(text, pos, size);
            if (pos < 0)
            {
                reader->position = size;
                return 0;
            }
            continue;
        }
        if (stop[c])
        {
            reader->position = pos;
            return 0;
        }
        // (The empty token is found at the first byte examined.)
        if (n == 0 || (c == first && memcmp(text + pos, token, static_cast<size_t>(n)) == 0))
        {
            reader->position = pos + n;
            return 1;
        }
        pos++;
    }
    reader->position = pos;
    return 0;
}
} // namespace

// The headers a section search from the start of the data can reach: every "[" it examines,
// in order, up to the "}" or the unclosed block that ends it. Each is named by the bytes up to
// the first "]" after it, since the token "[NAME]" of a name without "]" matches exactly there.
// A hash table gives the first header of each name.
struct bzTextSectionIndex
{
    struct Header
    {
        int32_t at;     // index of the "["
        int32_t length; // of the name; -1 when no "]" follows near enough to make one
        uint32_t hash;
    };
    bzArray<Header> headers;
    // Positions the search passes at the top of its loop, one in every 4 KB, so that the place
    // where a failed search stops can be found without searching from the start.
    bzArray<int32_t> marks;
    uint32_t *slots; // header index + 1 of the first header of a name; 0 empty
    uint32_t mask;
    int32_t endKind; // how the search from the start ends (kRanOut, kStopped, kUnclosed)
    int32_t endAt;   // the "}" or "{" that ends it
};

namespace
{
enum : int32_t
{
    kRanOut = 0,
    kStopped = 1,
    kUnclosed = 2,
};

constexpr int32_t kMarkEvery = 4096;
// Longest name whose token "[NAME]" fits the search's token buffer.
constexpr int32_t kLongestSectionName = 509;

uint32_t HashName(const uint8_t *name, int32_t length)
{
    uint32_t h = 2166136261u;
    for (int32_t k = 0; k < length; k++)
        h = (h ^ name[k]) * 16777619u;
    return h;
}

void FreeSectionIndex(bzTextSectionIndex *index)
{
    if (!index)
        return;
    index->headers.Free();
    index->marks.Free();
    if (index->slots)
        bz_MemFree(index->slots);
    bz_MemFree(index);
}

// The index of the header named by the length bytes at name, or -1.
int32_t FindHeader(const bzTextSectionIndex *index, const uint8_t *text, const uint8_t *name,
                   int32_t length, uint32_t hash)
{
    for (uint32_t slot = hash & index->mask;; slot = (slot + 1) & index->mask)
    {
        uint32_t entry = index->slots[slot];
        if (!entry)
            return -1;
        const bzTextSectionIndex::Header &h = index->headers[entry - 1];
        if (h.hash == hash && h.length == length &&
            memcmp(text + h.at + 1, name, static_cast<size_t>(length)) == 0)
            return static_cast<int32_t>(entry - 1);
    }
}

bool FillSlots(bzTextSectionIndex *index, const uint8_t *text)
{
    uint32_t capacity = 16;
    while (capacity < 2 * index->headers.count)
        capacity *= 2;
    if (static_cast<uint64_t>(capacity) * sizeof(uint32_t) > BZ_MEM_MAX_BLOCK)
        return false;
    index->slots = static_cast<uint32_t *>(
        bz_MemAlloc(capacity * static_cast<uint32_t>(sizeof(uint32_t)), BZ_MEM_CLEAR));
    if (!index->slots)
        return false;
    index->mask = capacity - 1;
    for (uint32_t k = 0; k < index->headers.count; k++)
    {
        const bzTextSectionIndex::Header &h = index->headers[k];
        if (h.length < 0)
            continue;
        uint32_t slot = h.hash & index->mask;
        bool known = false;
        for (; index->slots[slot]; slot = (slot + 1) & index->mask)
        {
            const bzTextSectionIndex::Header &other = index->headers[index->slots[slot] - 1];
            if (other.hash == h.hash && other.length == h.length &&
                memcmp(text + other.at + 1, text + h.at + 1, static_cast<size_t>(h.length)) == 0)
            {
                known = true; // an earlier header of the name is found first
                break;
            }
        }
        if (!known)
            index->slots[slot] = k + 1;
    }
    return true;
}

// Walks the data as a section search from the start does and records what it reaches; null
// when memory runs out (the searches then scan).
bzTextSectionIndex *BuildSectionIndex(const bzTextReader *reader)
{
    auto *index =
        static_cast<bzTextSectionIndex *>(bz_MemAlloc(sizeof(bzTextSectionIndex), BZ_MEM_CLEAR));
    if (!index)
        return nullptr;
    const uint8_t *text = reader->text;
    const int32_t size = reader->size;
    int32_t pos = 0;
    int32_t nextMark = kMarkEvery;
    index->endKind = kRanOut;
    index->endAt = size;
    bool good = true;
    while (pos < size && good)
    {
        if (pos >= nextMark)
        {
            good = index->marks.Push(pos);
            nextMark = pos - pos % kMarkEvery + kMarkEvery;
        }
        uint8_t c = text[pos];
        if (c < 0x21)
        {
            pos++;
            continue;
        }
        if (c == '/' && text[pos + 1] == '/')
        {
            pos = LineEndFrom(text, pos, size);
            continue;
        }
        if (c == '{')
        {
            int32_t end = NestedEnd(text, pos, size);
            if (end < 0)
            {
                index->endKind = kUnclosed;
                index->endAt = pos;
                break;
            }
            pos = end;
            continue;
        }
        if (c == '}')
        {
            index->endKind = kStopped;
            index->endAt = pos;
            break;
        }
        if (c == '[')
        {
            int32_t reach = size - pos - 1;
            if (reach > kLongestSectionName + 1)
                reach = kLongestSectionName + 1;
            const void *close = memchr(text + pos + 1, ']', static_cast<size_t>(reach));
            bzTextSectionIndex::Header h{pos, -1, 0};
            if (close)
            {
                h.length =
                    static_cast<int32_t>(static_cast<const uint8_t *>(close) - (text + pos + 1));
                h.hash = HashName(text + pos + 1, h.length);
            }
            good = index->headers.Push(h);
        }
        pos++;
    }
    if (!good || !FillSlots(index, text))
    {
        FreeSectionIndex(index);
        return nullptr;
    }
    return index;
}

// The largest value of sorted values that is at most limit, or -1.
template <class T, class Key> int32_t LastAtMost(const bzArray<T> &values, int32_t limit, Key key)
{
    uint32_t lo = 0, hi = values.count; // the answer is below hi
    while (lo < hi)
    {
        uint32_t mid = lo + (hi - lo) / 2;
        if (key(values[mid]) <= limit)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo ? key(values[lo - 1]) : -1;
}

// The section search from the start for the token "[NAME]" of a name without "]", through the
// index; the same result and the same final position as the scan. -1 when the index cannot be
// built.
int32_t FindSectionIndexed(bzTextReader *reader, const char *name, const char *token, int32_t n)
{
    if (!reader->sections)
        reader->sections = BuildSectionIndex(reader);
    const bzTextSectionIndex *index = reader->sections;
    if (!index)
        return -1;
    if (n > reader->size)
        return 0;
    const int32_t length = n - 2;
    int32_t found = FindHeader(index, reader->text, reinterpret_cast<const uint8_t *>(name), length,
                               HashName(reinterpret_cast<const uint8_t *>(name), length));
    if (found >= 0)
    {
        reader->position = index->headers[static_cast<uint32_t>(found)].at + n;
        return 1;
    }
    // Not there: find where the scan would have stopped. It reaches the end of the search from
    // the start unless it runs past the last place the token could start first.
    const int32_t last = reader->size - n;
    if (index->endKind != kRanOut && index->endAt <= last)
    {
        reader->position = index->endKind == kStopped ? index->endAt : reader->size;
        return 0;
    }
    int32_t resume =
        LastAtMost(index->headers, last, [](const bzTextSectionIndex::Header &h) { return h.at; });
    int32_t mark = LastAtMost(index->marks, last, [](int32_t at) { return at; });
    if (mark > resume)
        resume = mark;
    reader->position = resume < 0 ? 0 : resume;
    return ScanForToken(reader, token, n, "}");
}
} // namespace

bzTextReader *bz_Text_FromFile(bzFileHandle *file)
{
    bzTextReader *reader =
        static_cast<bzTextReader *>(bz_MemAlloc(sizeof(bzTextReader), BZ_MEM_CLEAR));
    if (!reader)
    {
        bzgLastError = BZ_ERROR_NO_MEMORY;
        return nullptr;
    }
    if (!file || file->length < 0)
    {
        bz_MemFree(reader);
        bzgLastError = BZ_ERROR_FILE_NOT_FOUND;
        return nullptr;
    }
    reader->size = file->length;
    // One byte more than the file, always 0, so the data can be handed on as a string.
    reader->data = static_cast<uint8_t *>(bz_MemAlloc(static_cast<uint32_t>(reader->size) + 1, 0));
    if (!reader->data)
    {
        bz_MemFree(reader);
        bzgLastError = BZ_ERROR_NO_MEMORY;
        return nullptr;
    }
    reader->data[reader->size] = 0;
    if (reader->size > 0 && bz_FileRead(file, reader->data, static_cast<size_t>(reader->size)) !=
                                static_cast<size_t>(reader->size))
    {
        // A short read would leave part of the buffer undefined.
        bz_Text_Close(reader);
        bzgLastError = BZ_ERROR_FILE_NOT_FOUND;
        return nullptr;
    }
    if (file->enciphered)
    {
        reader->flags = BZ_TEXT_ENCIPHERED;
        const uint8_t *key = nullptr;
        uint32_t keyLength = 0;
        bz_WAD_GetKey(&key, &keyLength);
        reader->cipher = static_cast<bzCipherStream *>(bz_MemAlloc(sizeof(bzCipherStream), 0));
        if (!reader->cipher)
        {
            bz_Text_Close(reader);
            bzgLastError = BZ_ERROR_NO_MEMORY;
            return nullptr;
        }
        if (bz_CipherStream_Init(reader->cipher, key, static_cast<int32_t>(keyLength)) !=
            BZ_CIPHER_OK)
        {
            // Without a key an enciphered file cannot be read.
            bz_Text_Close(reader);
            bzgLastError = BZ_CIPHER_NO_KEY;
            return nullptr;
        }
        reader->text =
            static_cast<uint8_t *>(bz_MemAlloc(static_cast<uint32_t>(reader->size) + 1, 0));
        if (!reader->text)
        {
            bz_Text_Close(reader);
            bzgLastError = BZ_ERROR_NO_MEMORY;
            return nullptr;
        }
        CipherSpan(reader->cipher, reader->text, 0, reader->data, reader->size);
        reader->text[reader->size] = 0;
    }
    else
        reader->text = reader->data;
    return reader;
}

bzTextReader *bz_Script_Load(const char *name)
{
    if (!name || !name[0])
    {
        bzgLastError = BZ_ERROR_FILE_NOT_FOUND;
        return nullptr;
    }
    bzFileHandle *file = bz_FileOpen(name, "rb");
    if (!file)
    {
        bzgLastError = BZ_ERROR_FILE_NOT_FOUND;
        return nullptr;
    }
    bzTextReader *reader = bz_Text_FromFile(file);
    bz_FileClose(file);
    if (!reader)
        return nullptr;
    reader->name = bz_StrDup(name);
    if (!reader->name)
    {
        bz_Text_Close(reader);
        bzgLastError = BZ_ERROR_NO_MEMORY;
        return nullptr;
    }
    return reader;
}

bzTextReader *bz_Script_Open(const char *name)
{
    if (!name || !name[0] || strchr(name, '.'))
        return bz_Script_Load(name);
    return bz_Script_OpenFile(name);
}

bzTextReader *bz_Script_OpenFile(const char *name)
{
    if (!name || !name[0])
        return bz_Script_Load(name);
    char path[512];
    if (snprintf(path, sizeof path, "%s.TXT", name) >= static_cast<int>(sizeof path))
    {
        bzgLastError = BZ_ERROR_FILE_NOT_FOUND;
        return nullptr;
    }
    return bz_Script_Load(path);
}

void bz_Text_Close(bzTextReader *reader)
{
    if (!reader)
        return;
    if (reader->text && reader->text != reader->data)
        bz_MemFree(reader->text);
    if (reader->data)
        bz_MemFree(reader->data);
    FreeSectionIndex(reader->sections);
    if (reader->name)
        bz_MemFree(reader->name);
    if (reader->cipher)
    {
        bz_CipherStream_Release(reader->cipher);
        bz_MemFree(reader->cipher);
    }
    bz_MemFree(reader);
}

void bz_Text_FreeLineBuffer()
{
    if (gLineBuffer)
        bz_MemFree(gLineBuffer);
    gLineBuffer = nullptr;
    FreeKeyStream();
}

void bz_Text_Rewind(bzTextReader *reader)
{
    bz_Text_FreeLineBuffer();
    if (!reader)
        return;
    reader->position = 0;
    reader->lineStart = 0;
    reader->sectionStart = 0;
}

int32_t bz_Text_SetTabMode()
{
    int32_t previous = gTabMode;
    gTabMode = 1;
    return previous;
}

void bz_Text_SetCommaMode()
{
    gTabMode = 0;
}

int32_t bz_Text_GetTabMode()
{
    return gTabMode;
}

int32_t bz_Text_GetPos(const bzTextReader *reader)
{
    return reader->position;
}

void bz_Text_SetPos(bzTextReader *reader, int32_t position)
{
    if (position < 0)
        position = 0;
    if (position > reader->size)
        position = reader->size;
    reader->position = position;
}

void bz_Text_SeekStart(bzTextReader *reader)
{
    reader->position = 0;
}

void bz_Text_MarkSection(bzTextReader *reader)
{
    reader->sectionStart = reader->position;
}

int32_t bz_Text_UnreadLine(bzTextReader *reader)
{
    if (reader->lineStart < reader->position)
    {
        reader->position = reader->lineStart;
        return 0;
    }
    return 1;
}

uint8_t bz_Text_GetChar(const bzTextReader *reader, int32_t index)
{
    return At(reader, reader->position + index);
}

void bz_Text_SkipSpace(bzTextReader *reader, int32_t stopAtTab)
{
    while (reader->position < reader->size)
    {
        uint8_t c = At(reader, reader->position);
        if (gTabMode && c == '\t' && stopAtTab)
            return;
        if (c > 0x20)
        {
            if (c != '/' || At(reader, reader->position + 1) != '/')
                return;
        }
        else
        {
            while (reader->position < reader->size && (c = At(reader, reader->position)) <= 0x20)
            {
                if (gTabMode && c == '\t')
                {
                    if (stopAtTab)
                        return;
                    stopAtTab = 1; // one tab separates; a second one marks an empty column
                }
                reader->position++;
            }
        }
        // After white space a single "/" starts a comment too.
        if (reader->position < reader->size && At(reader, reader->position) == '/')
            SkipToLineEnd(reader);
    }
}

int32_t bz_Text_LineLength(const bzTextReader *reader)
{
    return LineLengthUpTo(reader, INT32_MAX - 1);
}

char *bz_Text_ReadLine(bzTextReader *reader)
{
    if (!EnsureLineBuffer())
        return nullptr;
    reader->lineStart = reader->position;
    bz_Text_SkipSpace(reader, 1);
    int32_t n = LineLengthUpTo(reader, kLongestLine);
    if (n > kLongestLine)
    {
        bzgLastError = BZ_ERROR_NO_MEMORY;
        return nullptr;
    }
    for (int32_t k = 0; k < n; k++)
        gLineBuffer[k] = static_cast<char>(At(reader, reader->position + k));
    gLineBuffer[n] = 0;
    reader->position += n;
    bz_Text_SkipSpace(reader, 0);
    return n ? gLineBuffer : nullptr;
}

char *bz_Text_ReadWord(bzTextReader *reader)
{
    if (!EnsureLineBuffer())
        return nullptr;
    bz_Text_SkipSpace(reader, 0);
    int32_t n = 0;
    for (int32_t p = reader->position; p < reader->size; p++, n++)
    {
        uint8_t c = At(reader, p);
        if (c <= 0x20 || (c == '/' && At(reader, p + 1) == '/'))
            break;
        if (n > kLongestLine)
        {
            bzgLastError = BZ_ERROR_NO_MEMORY;
            return nullptr;
        }
        gLineBuffer[n] = static_cast<char>(c);
    }
    gLineBuffer[n] = 0;
    reader->position += n;
    return n ? gLineBuffer : nullptr;
}

int32_t bz_Text_ReadChars(bzTextReader *reader, char *buffer, int32_t n)
{
    int32_t left = reader->size - reader->position;
    int32_t count = n < left ? n : left;
    if (count <= 0 || !buffer)
        return 0;
    for (int32_t k = 0; k < count; k++)
        buffer[k] = static_cast<char>(At(reader, reader->position + k));
    reader->position += count;
    return count;
}

int32_t bz_Text_ReadRestOfLine(bzTextReader *reader, char *buffer, int32_t size)
{
    int32_t k = 0;
    int32_t result = 0;
    while (reader->position < reader->size)
    {
        uint8_t c = At(reader, reader->position++);
        if (c == '\n')
        {
            result = 1;
            break;
        }
        if (c >= 0x20 && buffer && k < size - 1)
            buffer[k++] = static_cast<char>(c);
    }
    if (buffer && size > 0)
        buffer[k] = 0;
    return result;
}

void bz_Text_NextLine(bzTextReader *reader, int32_t atLineEnd)
{
    bool onEnd = reader->position > 0 && reader->position < reader->size &&
                 IsLineEnd(At(reader, reader->position));
    if (!(atLineEnd && onEnd))
        SkipToLineEnd(reader);
    while (reader->position < reader->size && IsLineEnd(At(reader, reader->position)))
        reader->position++;
}

int32_t bz_Text_CountLines(const bzTextReader *reader)
{
    int32_t count = 0;
    for (int32_t p = reader->position; p < reader->size; p++)
    {
        uint8_t c = At(reader, p);
        if (c == '[')
            break;
        if (c == '\n')
            count++;
    }
    return count;
}

bool bz_Text_Replace(bzTextReader *reader, int32_t from, int32_t to, const char *bytes,
                     int32_t count)
{
    const bool enciphered = reader->cipher != nullptr;
    const int32_t oldSize = reader->size;
    const int32_t newSize = oldSize - (to - from) + count;
    if (newSize > oldSize)
    {
        auto *grown = static_cast<uint8_t *>(
            bz_MemRealloc(reader->data, static_cast<uint32_t>(newSize) + 1, 0));
        if (!grown)
        {
            bzgLastError = BZ_ERROR_NO_MEMORY;
            return false;
        }
        if (!enciphered)
            reader->text = grown;
        reader->data = grown;
        if (enciphered)
        {
            // The stored bytes may stay in their larger block whether or not this succeeds.
            grown = static_cast<uint8_t *>(
                bz_MemRealloc(reader->text, static_cast<uint32_t>(newSize) + 1, 0));
            if (!grown)
            {
                bzgLastError = BZ_ERROR_NO_MEMORY;
                return false;
            }
            reader->text = grown;
        }
    }
    uint8_t *text = reader->text;
    memmove(text + from + count, text + to, static_cast<size_t>(oldSize - to));
    if (count)
        memcpy(text + from, bytes, static_cast<size_t>(count));
    text[newSize] = 0;
    if (enciphered)
    {
        // Every byte is enciphered at its own position: what moved is enciphered anew.
        const int32_t end = to - from != count ? newSize : from + count;
        CipherSpan(reader->cipher, reader->data + from, from, text + from, end - from);
        reader->data[newSize] = 0;
    }
    reader->size = newSize;
    if (newSize < oldSize)
    {
        // Give memory back when the manager can; the old blocks stay valid otherwise.
        if (void *smaller = bz_MemRealloc(reader->data, static_cast<uint32_t>(newSize) + 1, 0))
            reader->data = static_cast<uint8_t *>(smaller);
        if (!enciphered)
            reader->text = reader->data;
        else if (void *smaller = bz_MemRealloc(reader->text, static_cast<uint32_t>(newSize) + 1, 0))
            reader->text = static_cast<uint8_t *>(smaller);
    }
    // The headers the section search reaches are found again on the next search by name.
    FreeSectionIndex(reader->sections);
    reader->sections = nullptr;
    return true;
}

int32_t bz_Text_FindToken(bzTextReader *reader, const char *token, const char *stops)
{
    if (!token)
        return 0;
    size_t length = strlen(token);
    if (length > static_cast<size_t>(reader->size))
        return 0;
    return ScanForToken(reader, token, static_cast<int32_t>(length), stops);
}

int32_t bz_Text_FindSection(bzTextReader *reader, const char *name, int32_t resume)
{
    if (!name)
        return 0;
    if (!resume)
        reader->position = 0;
    char token[512];
    int32_t n = snprintf(token, sizeof token, "[%s]", name);
    if (n < 0 || n >= static_cast<int>(sizeof token))
        return 0;
    int32_t found = -1;
    if (!resume && !strchr(name, ']'))
        found = FindSectionIndexed(reader, name, token, n);
    if (found < 0)
        found = bz_Text_FindToken(reader, token, "}");
    if (!found)
        return 0;
    bz_Text_SkipSpace(reader, 1);
    reader->sectionStart = reader->position;
    return 1;
}

int32_t bz_Text_FindKeyFrom(bzTextReader *reader, const char *name, int32_t mode)
{
    if (!name)
        return 0;
    if (mode == 2)
        reader->position = reader->sectionStart;
    char token[512];
    if (snprintf(token, sizeof token, "<%s>", name) >= static_cast<int>(sizeof token))
        return 0;
    if (!bz_Text_FindToken(reader, token, "[}"))
        return 0;
    bz_Text_SkipSpace(reader, 1);
    return 1;
}

int32_t bz_Text_FindKey(bzTextReader *reader, const char *name)
{
    return bz_Text_FindKeyFrom(reader, name, 2);
}

int32_t bz_Text_NextSection(bzTextReader *reader)
{
    bz_Text_SkipSpace(reader, 1);
    // Every "[" before this index is known to have no "]" before a control byte.
    int32_t noHeaderBefore = 0;
    while (reader->position < reader->size)
    {
        uint8_t c = At(reader, reader->position);
        if (c == '@')
        {
            if (At(reader, reader->position + 1) == '@')
            {
                reader->position += 2; // "@@" is an at sign of the text itself
                continue;
            }
            while (reader->position < reader->size && At(reader, reader->position) != ')')
                reader->position++;
            if (reader->position < reader->size)
                reader->position++;
            continue;
        }
        if (c == '[' && reader->position >= noHeaderBefore)
        {
            int32_t close = FindClose(reader, reader->position, ']');
            if (close >= 0)
            {
                reader->sectionStart = reader->position + 1;
                return 1;
            }
            noHeaderBefore = -close - 1;
        }
        else if (c == '/' && At(reader, reader->position + 1) == '/')
        {
            bz_Text_SkipSpace(reader, 1);
            continue;
        }
        reader->position++;
    }
    return 0;
}

int32_t bz_Text_NextSectionName(bzTextReader *reader, char *buffer)
{
    if (!bz_Text_NextSection(reader))
        return 0;
    if (buffer)
        CopyBracketed(reader, buffer, ']');
    bz_Text_NextLine(reader, 0);
    bz_Text_SkipSpace(reader, 1);
    return 1;
}

void bz_Text_LookupSection(bzTextReader *reader, const bzTextLookup *table, int32_t *value)
{
    *value = -1;
    char name[BZ_TEXT_LINE_SIZE];
    if (bz_Text_NextSectionName(reader, name))
        Lookup(name, table, value);
}

int32_t bz_Script_NextKey(bzTextReader *reader)
{
    bz_Text_SkipSpace(reader, 1);
    int32_t noKeyBefore = 0;
    while (reader->position < reader->size)
    {
        uint8_t c = At(reader, reader->position);
        if (c == '[' || c == '}')
            return 0;
        if (c == '{')
        {
            if (!SkipNested(reader))
            {
                ReportUnmatched(reader);
                reader->position = reader->size;
                return 0;
            }
            bz_Text_SkipSpace(reader, 1);
            continue;
        }
        if (c == '/' && At(reader, reader->position + 1) == '/')
        {
            SkipToLineEnd(reader);
            continue;
        }
        if (c == '<' && reader->position >= noKeyBefore)
        {
            int32_t close = FindClose(reader, reader->position, '>');
            if (close >= 0)
                return 1;
            noKeyBefore = -close - 1;
        }
        reader->position++;
    }
    return 0;
}

int32_t bz_Script_NextKeyName(bzTextReader *reader, char *buffer)
{
    if (!bz_Script_NextKey(reader))
        return 0;
    if (buffer)
        CopyBracketed(reader, buffer, '>');
    bz_Text_NextLine(reader, 0);
    bz_Text_SkipSpace(reader, 1);
    return 1;
}

void bz_Script_LookupKey(bzTextReader *reader, const bzTextLookup *table, int32_t *value)
{
    *value = -1;
    char name[BZ_TEXT_LINE_SIZE];
    if (bz_Script_NextKeyName(reader, name))
        Lookup(name, table, value);
}

char *bz_Script_ReadValueLine(bzTextReader *reader)
{
    char *line = bz_Text_ReadLine(reader);
    if (line && (line[0] == '<' || line[0] == '[' || line[0] == '}'))
    {
        reader->position = reader->lineStart;
        return nullptr;
    }
    return line;
}

int32_t bz_Script_AtBlockEnd(bzTextReader *reader)
{
    bz_Text_SkipSpace(reader, 1);
    if (reader->position >= reader->size)
        return 1;
    uint8_t c = At(reader, reader->position);
    return c == '<' || c == '}' || c == '[';
}

void bz_Script_SkipBlock(bzTextReader *reader)
{
    while (reader->position < reader->size)
    {
        if (At(reader, reader->position++) == '}')
        {
            while (reader->position < reader->size && At(reader, reader->position) <= 0x20)
                reader->position++;
            return;
        }
    }
    ReportUnmatched(reader);
}

void bz_Script_SkipNestedBlock(bzTextReader *reader)
{
    if (SkipNested(reader))
    {
        bz_Text_SkipSpace(reader, 1);
        return;
    }
    ReportUnmatched(reader);
    reader->position = reader->size > 0 ? reader->size - 1 : 0;
}
