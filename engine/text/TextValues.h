// Values, writers and editing of text data files. The value readers turn the next value line
// of a key into numbers, names, colours, vectors, matrices or loaded assets; the writers
// produce the same format through the file hooks; the editing operations change a loaded
// reader's buffer in memory and save it back.
#pragma once

#include "text/Text.h"

#include <cstdint>

struct bzFileHandle;
struct bzMaterial;
struct bzModel;
struct bz_IMGMAP;
struct bzLump;

// bz_Text_GetInt's answer when there is no value.
constexpr int32_t BZ_TEXT_NO_INT = (int32_t)0xFECCFECC;
// Size of the name buffers of bz_Text_ReadName, bz_Text_ReadNames2/3 and the asset readers.
constexpr int32_t BZ_TEXT_NAME_SIZE = 64;

// Number readers: one value line each; 0 when the line is missing or begins with "<" (and for
// bz_Text_ReadFloat also "["), or a value is missing; else every value is stored and 1 given.
// A token that does not convert leaves its output unchanged.
int32_t bz_Text_ReadFloat8(bzTextReader *reader, float *a, float *b, float *c, float *d, float *e,
                           float *f, float *g, float *h);
int32_t bz_Text_ReadFloat7(bzTextReader *reader, float *a, float *b, float *c, float *d, float *e,
                           float *f, float *g);
int32_t bz_Text_ReadFloat6(bzTextReader *reader, float *a, float *b, float *c, float *d, float *e,
                           float *f);
int32_t bz_Text_ReadFloat5(bzTextReader *reader, float *a, float *b, float *c, float *d, float *e);
int32_t bz_Text_ReadFloat4(bzTextReader *reader, float *a, float *b, float *c, float *d);
int32_t bz_Text_ReadFloat3(bzTextReader *reader, float *a, float *b, float *c);
int32_t bz_Text_ReadFloat2(bzTextReader *reader, float *a, float *b);
int32_t bz_Text_ReadFloat(bzTextReader *reader, float *a);
int32_t bz_Text_ReadInt8(bzTextReader *reader, int32_t *a, int32_t *b, int32_t *c, int32_t *d,
                         int32_t *e, int32_t *f, int32_t *g, int32_t *h);
int32_t bz_Text_ReadInt7(bzTextReader *reader, int32_t *a, int32_t *b, int32_t *c, int32_t *d,
                         int32_t *e, int32_t *f, int32_t *g);
int32_t bz_Text_ReadInt6(bzTextReader *reader, int32_t *a, int32_t *b, int32_t *c, int32_t *d,
                         int32_t *e, int32_t *f);
int32_t bz_Text_ReadInt5(bzTextReader *reader, int32_t *a, int32_t *b, int32_t *c, int32_t *d,
                         int32_t *e);
int32_t bz_Text_ReadInt4(bzTextReader *reader, int32_t *a, int32_t *b, int32_t *c, int32_t *d);
int32_t bz_Text_ReadInt3(bzTextReader *reader, int32_t *a, int32_t *b, int32_t *c);
int32_t bz_Text_ReadInt2(bzTextReader *reader, int32_t *a, int32_t *b);
int32_t bz_Text_ReadInt(bzTextReader *reader, int32_t *a);
int32_t bz_Text_ReadBool(bzTextReader *reader, int32_t *a);
float bz_Text_GetFloat(bzTextReader *reader);
int32_t bz_Text_GetInt(bzTextReader *reader);

// Readers without the key-line test.
int32_t bz_Text_ReadUInt(bzTextReader *reader, uint32_t *a);
int32_t bz_Text_ReadHex(bzTextReader *reader, uint32_t *a);
int32_t bz_Text_ReadShort(bzTextReader *reader, int16_t *a);
int32_t bz_Text_ReadByte2(bzTextReader *reader, int8_t *a, int8_t *b);
int32_t bz_Text_ReadByte4(bzTextReader *reader, int8_t *a, int8_t *b, int8_t *c, int8_t *d);

// Composite readers over consecutive floats of a record: a vector (3), two or four floats, a
// vector pair on two lines (6) and a 3x4 matrix on four lines (12, rows x, y, z, translation).
int32_t bz_Text_ReadVector(bzTextReader *reader, float *vector);
int32_t bz_Text_ReadFloat2Rec(bzTextReader *reader, float *record);
int32_t bz_Text_ReadFloat4Rec(bzTextReader *reader, float *record);
int32_t bz_Text_ReadVectorPair(bzTextReader *reader, float *record);
int32_t bz_Text_ReadMatrix(bzTextReader *reader, float *matrix);
// 0xFF000000 | red << 16 | green << 8 | blue, and alpha << 24 | red << 16 | green << 8 | blue.
int32_t bz_Text_ReadColour(bzTextReader *reader, uint32_t *out);
int32_t bz_Text_ReadColourRGBA(bzTextReader *reader, uint32_t *out);

// String readers: tokens end at "," or tab (at tab alone in tab mode). A name buffer holds
// BZ_TEXT_NAME_SIZE bytes; a token that does not fit gives 0, an empty buffer and last-error 20.
int32_t bz_Text_ReadName(bzTextReader *reader, char *buffer);
// Copies at most size - 1 bytes and a terminator; with size 0 the buffer must hold
// BZ_TEXT_LINE_SIZE bytes, which any token fits.
int32_t bz_Text_ReadNameInto(bzTextReader *reader, char *buffer, int32_t size);
int32_t bz_Text_ReadNames2(bzTextReader *reader, char *a, char *b);
int32_t bz_Text_ReadNames3(bzTextReader *reader, char *a, char *b, char *c);
// A copy of the token in a new block (freed by the caller with bz_MemFree).
int32_t bz_Text_ReadNameDup(bzTextReader *reader, char **out);
int32_t bz_Text_ReadNameUpper(bzTextReader *reader, char **out);
int32_t bz_Text_ReadQuoted(bzTextReader *reader, char *buffer, int32_t size);
int32_t bz_Text_LineOpensBlock(bzTextReader *reader);
// Copies the text from the position up to the next "[", "}" or "<" outside comments and blocks
// (at most size - 1 bytes and a terminator), moves the position there and gives the number of
// bytes copied.
int32_t bz_Text_ReadUntilTag(bzTextReader *reader, char *buffer, int32_t size);
void bz_StrTrimRight(char *text);

// Asset readers: read a name and load the asset of that name through the loaders the owning
// subsystems install. A name too long for a name buffer, or a missing loader, fails the load
// (null, with last-error 20 or 68 and a line on the debug output).
struct bzTextAssetLoaders
{
    bzMaterial *(*loadMaterial)(const char *name);
    bzModel *(*loadModel)(const char *path);
    bz_IMGMAP *(*getImgMap)(int32_t option, const char *name);
    bz_IMGMAP *(*loadImgFile)(const char *name);
    bzLump *(*loadLumpFile)(const char *name);
};
// Installs every non-null loader of the record.
void bz_Text_SetAssetLoaders(const bzTextAssetLoaders *loaders);
bzMaterial *bz_Text_ReadMaterial(bzTextReader *reader);
bzModel *bz_Text_ReadModel(bzTextReader *reader);
bz_IMGMAP *bz_Text_ReadImgMap(bzTextReader *reader, int32_t option);
bzLump *bz_Text_ReadLumpFile(bzTextReader *reader);

// Writers to a file opened for writing.
bzFileHandle *bz_Text_CreateFile(const char *name);
void bz_Text_CloseFile(bzFileHandle *file);
void bz_Text_WriteSection(bzFileHandle *file, const char *name);
void bz_Text_WriteKey(bzFileHandle *file, const char *name);
void bz_Text_WriteInt(bzFileHandle *file, int32_t a);
void bz_Text_WriteInt2(bzFileHandle *file, int32_t a, int32_t b);
void bz_Text_WriteInt3(bzFileHandle *file, int32_t a, int32_t b, int32_t c);
void bz_Text_WriteUInt(bzFileHandle *file, uint32_t a);
void bz_Text_WriteShort(bzFileHandle *file, int16_t a);
void bz_Text_WriteBytePair(bzFileHandle *file, int8_t a, int8_t b);
void bz_Text_WriteString(bzFileHandle *file, const char *text);
void bz_Text_WriteFloat2(bzFileHandle *file, float a, float b);
void bz_Text_WriteFloat4(bzFileHandle *file, float a, float b, float c, float d);
void bz_Text_WriteFloat5(bzFileHandle *file, float a, float b, float c, float d, float e);

// Saving a reader's buffer.
int32_t bz_Text_WriteAll(bzTextReader *reader, const char *name);
void bz_Text_Save(bzTextReader *reader, const char *name);

// Editing a reader's buffer in memory. The text given is plain; in an enciphered reader it
// and every byte the edit moves are enciphered at their positions, so the reader stays
// readable and a save writes the data enciphered, as it was read.
void bz_Text_InsertLine(bzTextReader *reader, const char *section, const char *text);
int32_t bz_Text_DeleteKey(bzTextReader *reader, const char *section, const char *key);
void bz_Text_AppendLine(bzTextReader *reader, const char *text);
int32_t bz_Text_DeleteCurrentSection(bzTextReader *reader);
int32_t bz_Text_DeleteSection(bzTextReader *reader, const char *section);
