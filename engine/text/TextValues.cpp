#include "text/TextValues.h"

#include "core/Error.h"
#include "files/File.h"
#include "core/Memory.h"
#include "core/Strings.h"
#include "pc/PcDebug.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace
{
const char kNumberSeparators[] = ", \t";

bzTextAssetLoaders gLoaders;

enum Refuse : uint32_t
{
    kRefuseNone = 0,
    kRefuseKey = 1,     // a line beginning with "<"
    kRefuseSection = 2, // a line beginning with "["
};

enum class Conversion
{
    Float, // "%f"
    Int,   // "%i": decimal, 0x hexadecimal, leading-zero octal
    UInt,  // "%u"
    Hex,   // "0x%x"
    Short, // "%d" into 16 bits
    Byte,  // "%d" into 8 bits
};

const char *StringSeparators()
{
    return bz_Text_GetTabMode() ? "\t" : ",\t";
}

// Reads the next value line, refusing it as asked; the line is consumed either way.
char *ValueLine(bzTextReader *reader, uint32_t refuse)
{
    char *line = bz_Text_ReadLine(reader);
    if (!line)
        return nullptr;
    if (((refuse & kRefuseKey) && line[0] == '<') || ((refuse & kRefuseSection) && line[0] == '['))
        return nullptr;
    return line;
}

// Converts a token as its format would; a token that does not convert leaves out unchanged.
void Convert(const char *token, Conversion conversion, void *out)
{
    char *end = nullptr;
    switch (conversion)
    {
    case Conversion::Float:
    {
        float value = strtof(token, &end);
        if (end != token)
            *static_cast<float *>(out) = value;
        return;
    }
    case Conversion::Int:
    {
        long long value = strtoll(token, &end, 0);
        if (end != token)
            *static_cast<int32_t *>(out) =
                static_cast<int32_t>(static_cast<uint32_t>(static_cast<unsigned long long>(value)));
        return;
    }
    case Conversion::UInt:
    {
        unsigned long long value = strtoull(token, &end, 10);
        if (end != token)
            *static_cast<uint32_t *>(out) = static_cast<uint32_t>(value);
        return;
    }
    case Conversion::Hex:
    {
        if (token[0] != '0' || token[1] != 'x')
            return;
        unsigned long long value = strtoull(token + 2, &end, 16);
        if (end != token + 2)
            *static_cast<uint32_t *>(out) = static_cast<uint32_t>(value);
        return;
    }
    case Conversion::Short:
    case Conversion::Byte:
    {
        long value = strtol(token, &end, 10);
        if (end == token)
            return;
        if (conversion == Conversion::Short)
            *static_cast<int16_t *>(out) =
                static_cast<int16_t>(static_cast<uint16_t>(static_cast<unsigned long>(value)));
        else
            *static_cast<int8_t *>(out) =
                static_cast<int8_t>(static_cast<uint8_t>(static_cast<unsigned long>(value)));
        return;
    }
    }
}

// One value line, count tokens converted into the outputs in turn.
int32_t ReadValues(bzTextReader *reader, uint32_t refuse, Conversion conversion, int32_t count,
                   void *const *outs)
{
    char *line = ValueLine(reader, refuse);
    if (!line)
        return 0;
    char *rest = nullptr;
    char *token = strtok_r(line, kNumberSeparators, &rest);
    for (int32_t k = 0; k < count; k++)
    {
        if (!token)
            return 0;
        Convert(token, conversion, outs[k]);
        token = strtok_r(nullptr, kNumberSeparators, &rest);
    }
    return 1;
}

// Takes the first count string tokens of the next line into the tokens array.
bool StringTokens(bzTextReader *reader, int32_t count, char **tokens)
{
    char *line = bz_Text_ReadLine(reader);
    if (!line)
        return false;
    const char *separators = StringSeparators();
    char *rest = nullptr;
    for (int32_t k = 0; k < count; k++)
    {
        tokens[k] = strtok_r(k ? nullptr : line, separators, &rest);
        if (!tokens[k])
            return false;
    }
    return true;
}

// Copies a token into a buffer of size bytes; false (and an empty buffer) when it does not fit.
bool CopyName(char *buffer, int32_t size, const char *token)
{
    size_t length = strlen(token);
    if (length >= static_cast<size_t>(size))
    {
        buffer[0] = 0;
        bzgLastError = BZ_ERROR_PARAMETER_OUT_OF_RANGE;
        return false;
    }
    memcpy(buffer, token, length + 1);
    return true;
}

char *DupToken(const char *token, bool upper)
{
    char *copy = upper ? bz_StrDupUpper(token) : bz_StrDup(token);
    if (!copy)
        bzgLastError = BZ_ERROR_NO_MEMORY;
    return copy;
}

// Reads an asset name for a loader; false when there is none to load. A name that does not
// fit a name buffer is reported on the debug output.
bool ReadAssetName(bzTextReader *reader, char *name, const char *kind)
{
    char *token = nullptr;
    if (!StringTokens(reader, 1, &token))
        return false;
    if (CopyName(name, BZ_TEXT_NAME_SIZE, token))
        return true;
    PDDebugOutput(__FILE__, __LINE__, "%s name too long (%d characters) in %s: %.40s...", kind,
                  static_cast<int>(strlen(token)), reader->name ? reader->name : "", token);
    bzgLastError = BZ_ERROR_PARAMETER_OUT_OF_RANGE;
    return false;
}

bool LoaderMissing(const void *loader, const char *kind)
{
    if (loader)
        return false;
    PDDebugOutput(__FILE__, __LINE__, "No %s loader installed", kind);
    bzgLastError = BZ_ERROR_UNSUPPORTED;
    return true;
}

bool IsLineEnd(uint8_t c)
{
    return c == '\r' || c == '\n';
}

// Replaces the bytes [from, to) of the reader's data with count plain bytes of text and keeps
// the position words inside the data. False (and nothing changed) when memory runs out.
bool Splice(bzTextReader *reader, int32_t from, int32_t to, const char *text, int32_t count)
{
    if (!bz_Text_Replace(reader, from, to, text, count))
        return false;
    const int32_t newSize = reader->size;
    if (reader->position > newSize)
        reader->position = newSize;
    if (reader->sectionStart > newSize)
        reader->sectionStart = newSize;
    if (reader->lineStart > newSize)
        reader->lineStart = newSize;
    reader->changed = 1;
    return true;
}

// Moves line by line from the position (white space and comments skipped) to the first line
// that begins with one of the stop bytes; gives its index, or the size when none follows.
int32_t FindLineStartingWith(bzTextReader *reader, const char *stops)
{
    for (;;)
    {
        bz_Text_SkipSpace(reader, 1);
        if (reader->position >= reader->size)
            return reader->size;
        uint8_t c = bz_Text_GetChar(reader, 0);
        if (c && strchr(stops, c))
            return reader->position;
        bz_Text_NextLine(reader, 0);
    }
}

int32_t ByteAt(const bzTextReader *reader, int32_t index)
{
    return bz_Text_GetChar(reader, index - reader->position);
}

// The "[" of the header of a section that starts at start. Between the header and the section
// start stand only white space and comments, so the lines are walked back from the start and
// the first "[" of a line that stands before any comment is the header's; a "[" inside a
// comment is none. -1 when there is no header.
int32_t HeaderBefore(const bzTextReader *reader, int32_t start)
{
    if (start > 0 && ByteAt(reader, start - 1) == '[')
        return start - 1; // reached by bz_Text_NextSection
    int32_t lineEnd = start;
    while (lineEnd > 0)
    {
        int32_t lineStart = lineEnd;
        while (lineStart > 0 && !IsLineEnd(static_cast<uint8_t>(ByteAt(reader, lineStart - 1))))
            lineStart--;
        bool leading = true; // only white space so far on this line
        for (int32_t p = lineStart; p < lineEnd; p++)
        {
            int32_t c = ByteAt(reader, p);
            if (c == '/' && (leading || ByteAt(reader, p + 1) == '/'))
                break;
            if (c == '[')
                return p;
            if (c > 0x20)
                leading = false;
        }
        lineEnd = lineStart;
        while (lineEnd > 0 && IsLineEnd(static_cast<uint8_t>(ByteAt(reader, lineEnd - 1))))
            lineEnd--;
    }
    return -1;
}

int32_t FilePrintf(bzFileHandle *file, const char *format, ...)
    __attribute__((format(printf, 2, 3)));
int32_t FilePrintf(bzFileHandle *file, const char *format, ...)
{
    if (!file)
        return 0;
    va_list args;
    va_start(args, format);
    int32_t result = bz_FileVPrintf(file, format, args);
    va_end(args);
    return result;
}
} // namespace

// ---- Number readers ----

int32_t bz_Text_ReadFloat8(bzTextReader *reader, float *a, float *b, float *c, float *d, float *e,
                           float *f, float *g, float *h)
{
    void *const outs[] = {a, b, c, d, e, f, g, h};
    return ReadValues(reader, kRefuseKey, Conversion::Float, 8, outs);
}

int32_t bz_Text_ReadFloat7(bzTextReader *reader, float *a, float *b, float *c, float *d, float *e,
                           float *f, float *g)
{
    void *const outs[] = {a, b, c, d, e, f, g};
    return ReadValues(reader, kRefuseKey, Conversion::Float, 7, outs);
}

int32_t bz_Text_ReadFloat6(bzTextReader *reader, float *a, float *b, float *c, float *d, float *e,
                           float *f)
{
    void *const outs[] = {a, b, c, d, e, f};
    return ReadValues(reader, kRefuseKey, Conversion::Float, 6, outs);
}

int32_t bz_Text_ReadFloat5(bzTextReader *reader, float *a, float *b, float *c, float *d, float *e)
{
    void *const outs[] = {a, b, c, d, e};
    return ReadValues(reader, kRefuseKey, Conversion::Float, 5, outs);
}

int32_t bz_Text_ReadFloat4(bzTextReader *reader, float *a, float *b, float *c, float *d)
{
    void *const outs[] = {a, b, c, d};
    return ReadValues(reader, kRefuseKey, Conversion::Float, 4, outs);
}

int32_t bz_Text_ReadFloat3(bzTextReader *reader, float *a, float *b, float *c)
{
    void *const outs[] = {a, b, c};
    return ReadValues(reader, kRefuseKey, Conversion::Float, 3, outs);
}

int32_t bz_Text_ReadFloat2(bzTextReader *reader, float *a, float *b)
{
    void *const outs[] = {a, b};
    return ReadValues(reader, kRefuseKey, Conversion::Float, 2, outs);
}

int32_t bz_Text_ReadFloat(bzTextReader *reader, float *a)
{
    void *const outs[] = {a};
    return ReadValues(reader, kRefuseKey | kRefuseSection, Conversion::Float, 1, outs);
}

int32_t bz_Text_ReadInt8(bzTextReader *reader, int32_t *a, int32_t *b, int32_t *c, int32_t *d,
                         int32_t *e, int32_t *f, int32_t *g, int32_t *h)
{
    void *const outs[] = {a, b, c, d, e, f, g, h};
    return ReadValues(reader, kRefuseKey, Conversion::Int, 8, outs);
}

int32_t bz_Text_ReadInt7(bzTextReader *reader, int32_t *a, int32_t *b, int32_t *c, int32_t *d,
                         int32_t *e, int32_t *f, int32_t *g)
{
    void *const outs[] = {a, b, c, d, e, f, g};
    return ReadValues(reader, kRefuseKey, Conversion::Int, 7, outs);
}

int32_t bz_Text_ReadInt6(bzTextReader *reader, int32_t *a, int32_t *b, int32_t *c, int32_t *d,
                         int32_t *e, int32_t *f)
{
    void *const outs[] = {a, b, c, d, e, f};
    return ReadValues(reader, kRefuseKey, Conversion::Int, 6, outs);
}

int32_t bz_Text_ReadInt5(bzTextReader *reader, int32_t *a, int32_t *b, int32_t *c, int32_t *d,
                         int32_t *e)
{
    void *const outs[] = {a, b, c, d, e};
    return ReadValues(reader, kRefuseKey, Conversion::Int, 5, outs);
}

int32_t bz_Text_ReadInt4(bzTextReader *reader, int32_t *a, int32_t *b, int32_t *c, int32_t *d)
{
    void *const outs[] = {a, b, c, d};
    return ReadValues(reader, kRefuseKey, Conversion::Int, 4, outs);
}

int32_t bz_Text_ReadInt3(bzTextReader *reader, int32_t *a, int32_t *b, int32_t *c)
{
    void *const outs[] = {a, b, c};
    return ReadValues(reader, kRefuseKey, Conversion::Int, 3, outs);
}

int32_t bz_Text_ReadInt2(bzTextReader *reader, int32_t *a, int32_t *b)
{
    void *const outs[] = {a, b};
    return ReadValues(reader, kRefuseKey, Conversion::Int, 2, outs);
}

int32_t bz_Text_ReadInt(bzTextReader *reader, int32_t *a)
{
    void *const outs[] = {a};
    return ReadValues(reader, kRefuseKey, Conversion::Int, 1, outs);
}

int32_t bz_Text_ReadBool(bzTextReader *reader, int32_t *a)
{
    int32_t value = 0;
    void *const outs[] = {&value};
    if (!ReadValues(reader, kRefuseKey, Conversion::Int, 1, outs))
        return 0;
    *a = value != 0;
    return 1;
}

float bz_Text_GetFloat(bzTextReader *reader)
{
    float value = 0.0f;
    bz_Text_ReadFloat(reader, &value);
    return value;
}

int32_t bz_Text_GetInt(bzTextReader *reader)
{
    int32_t value = BZ_TEXT_NO_INT;
    bz_Text_ReadInt(reader, &value);
    return value;
}

int32_t bz_Text_ReadUInt(bzTextReader *reader, uint32_t *a)
{
    void *const outs[] = {a};
    return ReadValues(reader, kRefuseNone, Conversion::UInt, 1, outs);
}

int32_t bz_Text_ReadHex(bzTextReader *reader, uint32_t *a)
{
    void *const outs[] = {a};
    return ReadValues(reader, kRefuseNone, Conversion::Hex, 1, outs);
}

int32_t bz_Text_ReadShort(bzTextReader *reader, int16_t *a)
{
    void *const outs[] = {a};
    return ReadValues(reader, kRefuseNone, Conversion::Short, 1, outs);
}

int32_t bz_Text_ReadByte2(bzTextReader *reader, int8_t *a, int8_t *b)
{
    void *const outs[] = {a, b};
    return ReadValues(reader, kRefuseNone, Conversion::Byte, 2, outs);
}

int32_t bz_Text_ReadByte4(bzTextReader *reader, int8_t *a, int8_t *b, int8_t *c, int8_t *d)
{
    void *const outs[] = {a, b, c, d};
    return ReadValues(reader, kRefuseNone, Conversion::Byte, 4, outs);
}

// ---- Composite readers ----

int32_t bz_Text_ReadVector(bzTextReader *reader, float *vector)
{
    return bz_Text_ReadFloat3(reader, &vector[0], &vector[1], &vector[2]);
}

int32_t bz_Text_ReadFloat2Rec(bzTextReader *reader, float *record)
{
    return bz_Text_ReadFloat2(reader, &record[0], &record[1]);
}

int32_t bz_Text_ReadFloat4Rec(bzTextReader *reader, float *record)
{
    return bz_Text_ReadFloat4(reader, &record[0], &record[1], &record[2], &record[3]);
}

int32_t bz_Text_ReadVectorPair(bzTextReader *reader, float *record)
{
    if (!bz_Text_ReadFloat3(reader, &record[0], &record[1], &record[2]))
        return 0;
    return bz_Text_ReadFloat3(reader, &record[3], &record[4], &record[5]);
}

int32_t bz_Text_ReadMatrix(bzTextReader *reader, float *matrix)
{
    for (int32_t row = 0; row < 4; row++)
    {
        float *r = matrix + 3 * row;
        if (!bz_Text_ReadFloat3(reader, &r[0], &r[1], &r[2]))
            return 0;
    }
    return 1;
}

int32_t bz_Text_ReadColour(bzTextReader *reader, uint32_t *out)
{
    int32_t red = 0, green = 0, blue = 0;
    if (!bz_Text_ReadInt3(reader, &red, &green, &blue))
        return 0;
    *out = 0xFF000000u | static_cast<uint32_t>(red) << 16 | static_cast<uint32_t>(green) << 8 |
           static_cast<uint32_t>(blue);
    return 1;
}

int32_t bz_Text_ReadColourRGBA(bzTextReader *reader, uint32_t *out)
{
    int32_t red = 0, green = 0, blue = 0, alpha = 0;
    if (!bz_Text_ReadInt4(reader, &red, &green, &blue, &alpha))
        return 0;
    *out = static_cast<uint32_t>(alpha) << 24 | static_cast<uint32_t>(red) << 16 |
           static_cast<uint32_t>(green) << 8 | static_cast<uint32_t>(blue);
    return 1;
}

// ---- String readers ----

int32_t bz_Text_ReadName(bzTextReader *reader, char *buffer)
{
    char *token = nullptr;
    if (!StringTokens(reader, 1, &token))
        return 0;
    return CopyName(buffer, BZ_TEXT_NAME_SIZE, token);
}

int32_t bz_Text_ReadNameInto(bzTextReader *reader, char *buffer, int32_t size)
{
    char *token = nullptr;
    if (!StringTokens(reader, 1, &token))
        return 0;
    if (size <= 0)
        size = BZ_TEXT_LINE_SIZE; // any token fits
    size_t length = strlen(token);
    if (length > static_cast<size_t>(size) - 1)
        length = static_cast<size_t>(size) - 1;
    memcpy(buffer, token, length);
    buffer[length] = 0;
    return 1;
}

int32_t bz_Text_ReadNames2(bzTextReader *reader, char *a, char *b)
{
    char *tokens[2];
    if (!StringTokens(reader, 2, tokens))
        return 0;
    return CopyName(a, BZ_TEXT_NAME_SIZE, tokens[0]) && CopyName(b, BZ_TEXT_NAME_SIZE, tokens[1]);
}

int32_t bz_Text_ReadNames3(bzTextReader *reader, char *a, char *b, char *c)
{
    char *tokens[3];
    if (!StringTokens(reader, 3, tokens))
        return 0;
    return CopyName(a, BZ_TEXT_NAME_SIZE, tokens[0]) && CopyName(b, BZ_TEXT_NAME_SIZE, tokens[1]) &&
           CopyName(c, BZ_TEXT_NAME_SIZE, tokens[2]);
}

int32_t bz_Text_ReadNameDup(bzTextReader *reader, char **out)
{
    char *token = nullptr;
    if (!StringTokens(reader, 1, &token))
        return 0;
    char *copy = DupToken(token, false);
    if (!copy)
        return 0;
    *out = copy;
    return 1;
}

int32_t bz_Text_ReadNameUpper(bzTextReader *reader, char **out)
{
    char *token = nullptr;
    if (!StringTokens(reader, 1, &token))
        return 0;
    char *copy = DupToken(token, true);
    if (!copy)
        return 0;
    *out = copy;
    return 1;
}

int32_t bz_Text_ReadQuoted(bzTextReader *reader, char *buffer, int32_t size)
{
    int32_t k = 0;
    bool open = false;
    while (reader->position + 1 < reader->size)
    {
        bool pair = bz_Text_GetChar(reader, 0) == '"' && bz_Text_GetChar(reader, 1) == '"';
        if (pair)
        {
            reader->position += 2;
            if (open)
            {
                if (buffer && size > 0)
                    buffer[k] = 0;
                return 1;
            }
            open = true;
            continue;
        }
        if (open && buffer && k < size - 1)
            buffer[k++] = static_cast<char>(bz_Text_GetChar(reader, 0));
        reader->position++;
    }
    reader->position = reader->size;
    if (buffer && size > 0)
        buffer[k] = 0;
    return 0;
}

int32_t bz_Text_LineOpensBlock(bzTextReader *reader)
{
    const char *line = bz_Text_ReadLine(reader);
    if (!line)
        return 0;
    int32_t balance = 0;
    for (; *line; line++)
    {
        if (*line == '{')
            balance++;
        else if (*line == '}')
            balance--;
    }
    return balance == 1;
}

int32_t bz_Text_ReadUntilTag(bzTextReader *reader, char *buffer, int32_t size)
{
    int32_t start = reader->position;
    int32_t end = reader->size;
    int32_t p = start;
    while (p < reader->size)
    {
        int32_t c = ByteAt(reader, p);
        if (c == '[' || c == '}' || c == '<')
        {
            end = p;
            break;
        }
        if (c == '/' && ByteAt(reader, p + 1) == '/')
        {
            while (p < reader->size && !IsLineEnd(static_cast<uint8_t>(ByteAt(reader, p))))
                p++;
            continue;
        }
        if (c == '{')
        {
            int32_t depth = 0;
            while (p < reader->size)
            {
                int32_t b = ByteAt(reader, p++);
                if (b == '{')
                    depth++;
                else if (b == '}' && --depth == 0)
                    break;
            }
            continue;
        }
        p++;
    }
    int32_t count = end - start;
    if (!buffer || size <= 0)
        count = 0;
    else if (count > size - 1)
        count = size - 1;
    for (int32_t k = 0; k < count; k++)
        buffer[k] = static_cast<char>(ByteAt(reader, start + k));
    if (buffer && size > 0)
        buffer[count] = 0;
    reader->position = end;
    return count;
}

void bz_StrTrimRight(char *text)
{
    if (!text)
        return;
    size_t length = strlen(text);
    while (length > 0 && static_cast<unsigned char>(text[length - 1]) < '!')
        text[--length] = 0;
}

// ---- Asset readers ----

void bz_Text_SetAssetLoaders(const bzTextAssetLoaders *loaders)
{
    if (!loaders)
        return;
    if (loaders->loadMaterial)
        gLoaders.loadMaterial = loaders->loadMaterial;
    if (loaders->loadModel)
        gLoaders.loadModel = loaders->loadModel;
    if (loaders->getImgMap)
        gLoaders.getImgMap = loaders->getImgMap;
    if (loaders->loadImgFile)
        gLoaders.loadImgFile = loaders->loadImgFile;
    if (loaders->loadLumpFile)
        gLoaders.loadLumpFile = loaders->loadLumpFile;
}

bzMaterial *bz_Text_ReadMaterial(bzTextReader *reader)
{
    char name[BZ_TEXT_NAME_SIZE];
    if (!ReadAssetName(reader, name, "Material") ||
        LoaderMissing(reinterpret_cast<const void *>(gLoaders.loadMaterial), "material"))
        return nullptr;
    return gLoaders.loadMaterial(name);
}

bzModel *bz_Text_ReadModel(bzTextReader *reader)
{
    char name[BZ_TEXT_NAME_SIZE];
    if (!ReadAssetName(reader, name, "Model") ||
        LoaderMissing(reinterpret_cast<const void *>(gLoaders.loadModel), "model"))
        return nullptr;
    return gLoaders.loadModel(name);
}

bz_IMGMAP *bz_Text_ReadImgMap(bzTextReader *reader, int32_t option)
{
    char name[BZ_TEXT_NAME_SIZE];
    if (!ReadAssetName(reader, name, "Image"))
        return nullptr;
    if (option)
    {
        if (LoaderMissing(reinterpret_cast<const void *>(gLoaders.getImgMap), "image map"))
            return nullptr;
        return gLoaders.getImgMap(option, name);
    }
    if (LoaderMissing(reinterpret_cast<const void *>(gLoaders.loadImgFile), "image file"))
        return nullptr;
    return gLoaders.loadImgFile(name);
}

bzLump *bz_Text_ReadLumpFile(bzTextReader *reader)
{
    char name[BZ_TEXT_NAME_SIZE];
    if (!ReadAssetName(reader, name, "Lump file") ||
        LoaderMissing(reinterpret_cast<const void *>(gLoaders.loadLumpFile), "lump file"))
        return nullptr;
    return gLoaders.loadLumpFile(name);
}

// ---- Writers ----

bzFileHandle *bz_Text_CreateFile(const char *name)
{
    if (!name)
        return nullptr;
    return bz_FileOpen(name, "wb");
}

void bz_Text_CloseFile(bzFileHandle *file)
{
    if (file)
        bz_FileClose(file);
}

void bz_Text_WriteSection(bzFileHandle *file, const char *name)
{
    FilePrintf(file, "\n[%s]\n", name ? name : "");
}

void bz_Text_WriteKey(bzFileHandle *file, const char *name)
{
    FilePrintf(file, "\n<%s>\n", name ? name : "");
}

void bz_Text_WriteInt(bzFileHandle *file, int32_t a)
{
    FilePrintf(file, "%d\n", a);
}

void bz_Text_WriteInt2(bzFileHandle *file, int32_t a, int32_t b)
{
    FilePrintf(file, "%d %d\n", a, b);
}

void bz_Text_WriteInt3(bzFileHandle *file, int32_t a, int32_t b, int32_t c)
{
    FilePrintf(file, "%d %d %d\n", a, b, c);
}

void bz_Text_WriteUInt(bzFileHandle *file, uint32_t a)
{
    FilePrintf(file, "%u\n", a);
}

void bz_Text_WriteShort(bzFileHandle *file, int16_t a)
{
    FilePrintf(file, "%d\n", static_cast<int>(a));
}

void bz_Text_WriteBytePair(bzFileHandle *file, int8_t a, int8_t b)
{
    FilePrintf(file, "%d,%d\n", static_cast<int>(a), static_cast<int>(b));
}

void bz_Text_WriteString(bzFileHandle *file, const char *text)
{
    FilePrintf(file, "%s\n", text ? text : "");
}

void bz_Text_WriteFloat2(bzFileHandle *file, float a, float b)
{
    FilePrintf(file, "%f,%f\n", static_cast<double>(a), static_cast<double>(b));
}

void bz_Text_WriteFloat4(bzFileHandle *file, float a, float b, float c, float d)
{
    FilePrintf(file, "%f,%f,%f,%f\n", static_cast<double>(a), static_cast<double>(b),
               static_cast<double>(c), static_cast<double>(d));
}

void bz_Text_WriteFloat5(bzFileHandle *file, float a, float b, float c, float d, float e)
{
    FilePrintf(file, "%f,%f,%f,%f,%f\n", static_cast<double>(a), static_cast<double>(b),
               static_cast<double>(c), static_cast<double>(d), static_cast<double>(e));
}

// ---- Saving ----

int32_t bz_Text_WriteAll(bzTextReader *reader, const char *name)
{
    if (!reader || !name)
        return 0;
    bzFileHandle *file = bz_FileOpen(name, "wb");
    if (!file)
        return 0;
    size_t written =
        reader->size > 0 ? bz_FileWrite(file, reader->data, static_cast<size_t>(reader->size)) : 0;
    bz_FileClose(file);
    return written == static_cast<size_t>(reader->size) ? 1 : 0;
}

void bz_Text_Save(bzTextReader *reader, const char *name)
{
    if (!reader || !reader->changed)
        return;
    if (!name)
    {
        bz_Text_WriteAll(reader, reader->name);
        return;
    }
    if (strchr(name, '.'))
    {
        bz_Text_WriteAll(reader, name);
        return;
    }
    char path[512];
    if (snprintf(path, sizeof path, "%s.TXT", name) < static_cast<int>(sizeof path))
        bz_Text_WriteAll(reader, path);
}

// ---- Editing ----

void bz_Text_InsertLine(bzTextReader *reader, const char *section, const char *text)
{
    if (!reader || !text || !bz_Text_FindSection(reader, section, 0))
        return;
    int32_t at = FindLineStartingWith(reader, "[");
    size_t length = strlen(text);
    if (length > static_cast<size_t>(BZ_MEM_MAX_BLOCK / 2))
        return;
    // The line goes in front of the blank line before the next header, or in front of the
    // header line itself when no blank line stands there; at the end, a last line without a
    // line end gets one first so the new line stays a line of its own.
    bool lead = false;
    if (at < reader->size)
    {
        int32_t lineStart = at;
        while (lineStart > 0 && !IsLineEnd(static_cast<uint8_t>(ByteAt(reader, lineStart - 1))))
            lineStart--;
        at = lineStart;
        int32_t end = at - 1; // the line feed that ends the line before
        if (end >= 0 && ByteAt(reader, end) == '\n')
        {
            int32_t pairStart = end >= 1 && ByteAt(reader, end - 1) == '\r' ? end - 1 : end;
            if (pairStart >= 1 && ByteAt(reader, pairStart - 1) == '\n')
                at = pairStart;
        }
    }
    else
        lead =
            reader->size > 0 && !IsLineEnd(static_cast<uint8_t>(ByteAt(reader, reader->size - 1)));
    int32_t count = static_cast<int32_t>(length) + 1 + (lead ? 1 : 0);
    char *line = static_cast<char *>(bz_MemAlloc(static_cast<uint32_t>(count), 0));
    if (!line)
    {
        bzgLastError = BZ_ERROR_NO_MEMORY;
        return;
    }
    if (lead)
        line[0] = '\n';
    memcpy(line + (lead ? 1 : 0), text, length);
    line[count - 1] = '\n';
    Splice(reader, at, at, line, count);
    bz_MemFree(line);
}

int32_t bz_Text_DeleteKey(bzTextReader *reader, const char *section, const char *key)
{
    if (!reader || !key || !bz_Text_FindSection(reader, section, 0))
        return 0;
    char token[512];
    if (snprintf(token, sizeof token, "<%s>", key) >= static_cast<int>(sizeof token))
        return 0;
    reader->position = reader->sectionStart;
    if (!bz_Text_FindToken(reader, token, "[}"))
        return 0;
    int32_t from = reader->position - static_cast<int32_t>(strlen(token));
    bz_Text_NextLine(reader, 0);
    int32_t next = FindLineStartingWith(reader, "[<");
    int32_t to = next;
    if (next < reader->size)
    {
        // Up to the byte before that line; its preceding line feed stays.
        int32_t lineStart = next;
        while (lineStart > from && ByteAt(reader, lineStart - 1) != '\n')
            lineStart--;
        to = lineStart > from ? lineStart - 1 : next;
    }
    if (!Splice(reader, from, to, nullptr, 0))
        return 0;
    reader->position = from;
    return 1;
}

void bz_Text_AppendLine(bzTextReader *reader, const char *text)
{
    if (!reader || !text)
        return;
    size_t length = strlen(text);
    if (length > static_cast<size_t>(BZ_MEM_MAX_BLOCK / 2))
        return;
    char *line = static_cast<char *>(bz_MemAlloc(static_cast<uint32_t>(length) + 1, 0));
    if (!line)
    {
        bzgLastError = BZ_ERROR_NO_MEMORY;
        return;
    }
    line[0] = '\n';
    memcpy(line + 1, text, length);
    Splice(reader, reader->size, reader->size, line, static_cast<int32_t>(length) + 1);
    bz_MemFree(line);
}

int32_t bz_Text_DeleteCurrentSection(bzTextReader *reader)
{
    if (!reader)
        return 0;
    int32_t start = reader->sectionStart < reader->size ? reader->sectionStart : reader->size;
    int32_t open = HeaderBefore(reader, start);
    if (open < 0)
        open = start; // no header before the section start: remove from there
    reader->position = start;
    int32_t to = FindLineStartingWith(reader, "[}");
    if (to < open)
        to = open;
    if (!Splice(reader, open, to, nullptr, 0))
        return 0;
    if (reader->size == 0)
        Splice(reader, 0, 0, "", 1); // nothing left: the data becomes one 0 byte
    reader->position = open < reader->size ? open : reader->size;
    reader->sectionStart = reader->position;
    return 1;
}

int32_t bz_Text_DeleteSection(bzTextReader *reader, const char *section)
{
    if (!reader || !bz_Text_FindSection(reader, section, 0))
        return 0;
    return bz_Text_DeleteCurrentSection(reader);
}
