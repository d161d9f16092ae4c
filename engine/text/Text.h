// The text data file reader: a whole file in memory navigated by position. Sections are headed
// "[NAME]", keys written "<NAME>", value lines follow a key, "//" starts a comment and curly
// brackets enclose blocks. Files read from an enciphered archive keep their stored bytes in
// memory (a save writes them enciphered, as they were read) and are deciphered once, at load,
// into a working copy that every reading operation examines.
//
// Section searches by name from the start of the data go through an index of the headers the
// search can reach, built on the first such search and rebuilt after an edit, so a loader that
// visits every section by name takes time linear in the size of the file.
#pragma once

#include <cstdint>

struct bzFileHandle;
struct bzCipherStream;
struct bzTextSectionIndex;

struct bzTextReader
{
    char *name;             // the file name the reader was loaded from (owned)
    uint8_t *data;          // the whole file as stored (owned)
    int32_t size;           // bytes in data (and in text)
    int32_t position;       // next byte to examine
    int32_t lineStart;      // where the last line read began
    int32_t sectionStart;   // where key searches begin
    int32_t changed;        // set by the editing operations
    int32_t flags;          // BZ_TEXT_ENCIPHERED
    int32_t savedPosition;  // a spare position word for the loaders' own use
    bzCipherStream *cipher; // key stream of an enciphered reader (owned), else null
    // The plain bytes every reading operation examines: data itself for a plain reader, a
    // deciphered copy (owned) for an enciphered one. Both keep one 0 byte behind their end.
    uint8_t *text;
    bzTextSectionIndex *sections; // headers by name (owned); null until needed or after an edit
};

enum : int32_t
{
    BZ_TEXT_ENCIPHERED = 0x1,
};

// Size of the shared line buffer; every line and word read is returned in it. Name buffers
// handed to the reader (section and key names) must hold this many bytes as well.
constexpr int32_t BZ_TEXT_LINE_SIZE = 256;

// A {name, value} pair of a lookup table, ended by a null name.
struct bzTextLookup
{
    const char *name;
    int32_t value;
};

// Loading and closing.
bzTextReader *bz_Script_Load(const char *name);
// "%s.TXT" when the name holds no ".", else the name unchanged.
bzTextReader *bz_Script_Open(const char *name);
// "%s.TXT" of a base name.
bzTextReader *bz_Script_OpenFile(const char *name);
bzTextReader *bz_Text_FromFile(bzFileHandle *file);
void bz_Text_Close(bzTextReader *reader);
// Frees the shared line buffer and puts the reader back at the start of its data.
void bz_Text_Rewind(bzTextReader *reader);
// Frees the shared line buffer and the key-stream bytes kept for enciphered files.
void bz_Text_FreeLineBuffer();

// Tab mode: a tab is a column separator. SetTabMode turns it on and gives the previous state.
int32_t bz_Text_SetTabMode();
void bz_Text_SetCommaMode();
int32_t bz_Text_GetTabMode();

// Position.
int32_t bz_Text_GetPos(const bzTextReader *reader);
void bz_Text_SetPos(bzTextReader *reader, int32_t position);
void bz_Text_SeekStart(bzTextReader *reader);
void bz_Text_MarkSection(bzTextReader *reader);
int32_t bz_Text_UnreadLine(bzTextReader *reader);

// The byte at position + index, deciphered when the reader is enciphered; 0 outside the data.
uint8_t bz_Text_GetChar(const bzTextReader *reader, int32_t index);

// Lines and words.
void bz_Text_SkipSpace(bzTextReader *reader, int32_t stopAtTab);
int32_t bz_Text_LineLength(const bzTextReader *reader);
char *bz_Text_ReadLine(bzTextReader *reader);
char *bz_Text_ReadWord(bzTextReader *reader);
int32_t bz_Text_ReadChars(bzTextReader *reader, char *buffer, int32_t n);
// Copies the printable bytes up to the next line feed into buffer (at most size - 1 of them
// and a terminating 0) and moves past the line feed: 1; 0 when the data ends first.
int32_t bz_Text_ReadRestOfLine(bzTextReader *reader, char *buffer, int32_t size);
void bz_Text_NextLine(bzTextReader *reader, int32_t atLineEnd);
int32_t bz_Text_CountLines(const bzTextReader *reader);

// Replaces the bytes [from, to) of the reader's data with count plain bytes (0 <= from <= to
// <= size). An enciphered reader enciphers them, and every byte the edit moves, at their new
// places; the section index follows the change. Position words are left to the caller. False
// (nothing changed, last-error 14) when memory runs out.
bool bz_Text_Replace(bzTextReader *reader, int32_t from, int32_t to, const char *bytes,
                     int32_t count);

// Navigation.
int32_t bz_Text_FindToken(bzTextReader *reader, const char *token, const char *stops);
int32_t bz_Text_FindSection(bzTextReader *reader, const char *name, int32_t resume);
int32_t bz_Text_FindKey(bzTextReader *reader, const char *name);
int32_t bz_Text_FindKeyFrom(bzTextReader *reader, const char *name, int32_t mode);
int32_t bz_Text_NextSection(bzTextReader *reader);
int32_t bz_Text_NextSectionName(bzTextReader *reader, char *buffer);
void bz_Text_LookupSection(bzTextReader *reader, const bzTextLookup *table, int32_t *value);
int32_t bz_Script_NextKey(bzTextReader *reader);
int32_t bz_Script_NextKeyName(bzTextReader *reader, char *buffer);
void bz_Script_LookupKey(bzTextReader *reader, const bzTextLookup *table, int32_t *value);
char *bz_Script_ReadValueLine(bzTextReader *reader);
int32_t bz_Script_AtBlockEnd(bzTextReader *reader);
void bz_Script_SkipBlock(bzTextReader *reader);
void bz_Script_SkipNestedBlock(bzTextReader *reader);
