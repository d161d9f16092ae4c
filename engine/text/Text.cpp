#include "text/Text.h"

#include "files/Cipher.h"
#include "core/Error.h"
#include "files/File.h"
#include "core/Memory.h"
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
    uint8_t byte = reader->data[index];
    if (reader->cipher)
        byte = (uint8_t)(byte ^ bz_CipherStream_ByteAt(reader->cipher, index));
    return byte;
}

inline bool IsLineEnd(uint8_t c)
{
    return c == '\r' || c == '\n';
}

bool EnsureLineBuffer()
{
    if (!gLineBuffer)
        gLineBuffer = (char *)bz_MemAlloc(BZ_TEXT_LINE_SIZE, BZ_MEM_CLEAR);
    if (!gLineBuffer)
    {
        bzgLastError = BZ_ERROR_NO_MEMORY;
        return false;
    }
    return true;
}

void SkipToLineEnd(bzTextReader *reader)
{
    while (reader->position < reader->size && !IsLineEnd(At(reader, reader->position)))
        reader->position++;
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

bool MatchAt(const bzTextReader *reader, int32_t at, const char *token, int32_t n)
{
    for (int32_t k = 0; k < n; k++)
        if (At(reader, at + k) != (uint8_t)token[k])
            return false;
    return true;
}

void ReportUnmatched(const bzTextReader *reader)
{
    BZ_SET_ORIGIN();
    bz_ReportError("Scripting", "Unmatched curly brackets in %s", reader->name ? reader->name : "");
}

// Skips a block, counting nested brackets, to just after the closing bracket of the block the
// position is in (or opens, when it stands on a "{"). False when the data ends first.
bool SkipNested(bzTextReader *reader)
{
    int32_t depth = 0;
    while (reader->position < reader->size)
    {
        uint8_t c = At(reader, reader->position++);
        if (c == '{')
            depth++;
        else if (c == '}' && --depth <= 0)
            return true;
    }
    return false;
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
        buffer[k++] = (char)c;
    }
    buffer[k++] = (char)close;
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
} // namespace

bzTextReader *bz_Text_FromFile(bzFileHandle *file)
{
    bzTextReader *reader = (bzTextReader *)bz_MemAlloc(sizeof(bzTextReader), BZ_MEM_CLEAR);
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
    reader->data = (uint8_t *)bz_MemAlloc((uint32_t)reader->size + 1, 0);
    if (!reader->data)
    {
        bz_MemFree(reader);
        bzgLastError = BZ_ERROR_NO_MEMORY;
        return nullptr;
    }
    reader->data[reader->size] = 0;
    if (reader->size > 0 &&
        bz_FileRead(file, reader->data, (size_t)reader->size) != (size_t)reader->size)
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
        reader->cipher = (bzCipherStream *)bz_MemAlloc(sizeof(bzCipherStream), 0);
        if (!reader->cipher)
        {
            bz_Text_Close(reader);
            bzgLastError = BZ_ERROR_NO_MEMORY;
            return nullptr;
        }
        if (bz_CipherStream_Init(reader->cipher, key, (int32_t)keyLength) != BZ_CIPHER_OK)
        {
            // Without a key an enciphered file cannot be read.
            bz_Text_Close(reader);
            bzgLastError = BZ_CIPHER_NO_KEY;
            return nullptr;
        }
    }
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
    if (snprintf(path, sizeof path, "%s.TXT", name) >= (int)sizeof path)
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
    if (reader->data)
        bz_MemFree(reader->data);
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
        gLineBuffer[k] = (char)At(reader, reader->position + k);
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
        gLineBuffer[n] = (char)c;
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
        buffer[k] = (char)At(reader, reader->position + k);
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
            buffer[k++] = (char)c;
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

int32_t bz_Text_FindToken(bzTextReader *reader, const char *token, const char *stops)
{
    if (!token)
        return 0;
    size_t length = strlen(token);
    if (length > (size_t)reader->size)
        return 0;
    int32_t n = (int32_t)length;
    int32_t last = reader->size - n;
    while (reader->position <= last)
    {
        uint8_t c = At(reader, reader->position);
        if (c < 0x21)
        {
            reader->position++;
            continue;
        }
        if (c == '/' && At(reader, reader->position + 1) == '/')
        {
            SkipToLineEnd(reader);
            continue;
        }
        if (c == '{')
        {
            if (!SkipNested(reader))
                return 0;
            continue;
        }
        if (stops && strchr(stops, c))
            return 0;
        if (MatchAt(reader, reader->position, token, n))
        {
            reader->position += n;
            return 1;
        }
        reader->position++;
    }
    return 0;
}

int32_t bz_Text_FindSection(bzTextReader *reader, const char *name, int32_t resume)
{
    if (!name)
        return 0;
    if (!resume)
        reader->position = 0;
    char token[512];
    if (snprintf(token, sizeof token, "[%s]", name) >= (int)sizeof token)
        return 0;
    if (!bz_Text_FindToken(reader, token, "}"))
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
    if (snprintf(token, sizeof token, "<%s>", name) >= (int)sizeof token)
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
