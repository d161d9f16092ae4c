// Binary streams: typed primitives that write and read the engine's binary formats, either
// through a file handle or at a memory cursor (a pointer to a byte pointer that each primitive
// advances). Every value is little-endian without padding, written and read byte by byte, so
// the files are the same on every host.
//
// Variable-length unsigned integers take 1 to 5 bytes, the most significant 7-bit part first;
// every byte but the last has bit 7 set.
//
// File readers that meet the end of the file leave the rest of the value as it was (0 for the
// value-returning forms) and set the last-error to 59 "Bad data format". The memory-cursor
// forms trust the caller's buffer size, except the variable-length ones: their bounded forms
// (ending in N) take the end of the buffer and never read past it.
#pragma once

#include "maths/Types.h"

#include <cstddef>
#include <cstdint>

struct bzFileHandle;

// The most bytes of a variable-length unsigned integer.
constexpr int32_t BZ_VARUINT_MAX_BYTES = 5;

// ---------------------------------------------------------------------------------------
// File writers: each advances the handle's position, then writes through the write slot.
// Each returns the bytes written (what the format takes, or less when the write failed).

int32_t bz_Stream_WriteByte(bzFileHandle *file, uint8_t value);
int32_t bz_Stream_WriteShort(bzFileHandle *file, int16_t value);
int32_t bz_Stream_WriteUShort(bzFileHandle *file, uint16_t value);
int32_t bz_Stream_WriteInt(bzFileHandle *file, int32_t value);
int32_t bz_Stream_WriteUInt(bzFileHandle *file, uint32_t value);
int32_t bz_Stream_WriteFloat2(bzFileHandle *file, const float values[2]);
// Three 4-byte writes.
int32_t bz_Stream_WriteVector(bzFileHandle *file, const bzV3 *v);
int32_t bz_Stream_WriteMatrix33(bzFileHandle *file, const bzM33 *m);
int32_t bz_Stream_WriteMatrix34(bzFileHandle *file, const bzM34 *m);
// The string and its 0 byte in one write (a null text writes the 0 byte alone).
int32_t bz_Stream_WriteCString(bzFileHandle *file, const char *text);
// One byte a write.
int32_t bz_Stream_WriteVarUInt(bzFileHandle *file, uint32_t value);
// count items in one write; a negative count writes nothing (last-error 20).
int32_t bz_Stream_WriteU32Array(bzFileHandle *file, const uint32_t *items, int32_t count);
int32_t bz_Stream_WriteU16Array(bzFileHandle *file, const uint16_t *items, int32_t count);
// count items of size bytes in one write, as they are; returns the items written.
size_t bz_Stream_WriteItems(const void *buffer, size_t size, size_t count, bzFileHandle *file);

// ---------------------------------------------------------------------------------------
// File readers

int8_t bz_File_ReadSByte(bzFileHandle *file);
uint8_t bz_File_ReadByte(bzFileHandle *file);
int16_t bz_File_ReadShort(bzFileHandle *file);
uint16_t bz_File_ReadUShort(bzFileHandle *file);
int32_t bz_File_ReadInt(bzFileHandle *file);
uint32_t bz_File_ReadUInt(bzFileHandle *file);
float bz_File_ReadFloat(bzFileHandle *file);
// One 4-byte read a float; each returns the bytes read.
int32_t bz_File_ReadVector(bzFileHandle *file, bzV3 *out);
int32_t bz_File_ReadMatrix33(bzFileHandle *file, bzM33 *out);
int32_t bz_File_ReadMatrix34(bzFileHandle *file, bzM34 *out);
// count items in one read; returns the bytes read (0 on a short read).
int32_t bz_File_ReadU32Array(bzFileHandle *file, uint32_t *out, int32_t count);
int32_t bz_File_ReadU16Array(bzFileHandle *file, uint16_t *out, int32_t count);
// Reads up to and including the 0 byte, keeping at most size - 1 bytes and a terminator in the
// buffer; returns the bytes consumed. A file that ends first keeps what came (last-error 59).
int32_t bz_File_ReadCString(bzFileHandle *file, char *buffer, int32_t size);
// Reads through the read slot directly; returns the items read.
size_t bz_Stream_ReadItems(void *buffer, size_t size, size_t count, bzFileHandle *file);

// ---------------------------------------------------------------------------------------
// Memory-cursor primitives

void bz_Mem_WriteU8(uint8_t **cursor, uint8_t value);
void bz_Mem_WriteU16(uint8_t **cursor, uint16_t value);
void bz_Mem_WriteU32(uint8_t **cursor, uint32_t value);
void bz_Mem_WriteU32Array(uint8_t **cursor, const uint32_t *items, int32_t count);
void bz_Mem_WriteU16Array(uint8_t **cursor, const uint16_t *items, int32_t count);
void bz_Stream_WriteMatrix34Mem(uint8_t **cursor, const bzM34 *m);

uint8_t bz_Mem_ReadU8(const uint8_t **cursor);
int16_t bz_Stream_ReadShort(const uint8_t **cursor);
uint16_t bz_Stream_ReadUShort(const uint8_t **cursor);
int32_t bz_Stream_ReadInt(const uint8_t **cursor);
uint32_t bz_Stream_ReadUInt(const uint8_t **cursor);
float bz_Stream_ReadFloat(const uint8_t **cursor);
void bz_Mem_ReadFloat2(const uint8_t **cursor, float out[2]);
void bz_Mem_ReadVector(const uint8_t **cursor, bzV3 *out);
void bz_Stream_ReadMatrix34(const uint8_t **cursor, bzM34 *out);
void bz_Mem_ReadU32Array(const uint8_t **cursor, uint32_t *out, int32_t count);
void bz_Mem_ReadU16Array(const uint8_t **cursor, uint16_t *out, int32_t count);

// Reads a variable-length unsigned integer of at most 5 bytes. A longer run, or one whose value
// does not fit 32 bits, gives 0 with last-error 59 and leaves the cursor where it was.
uint32_t bz_Mem_ReadVarUInt(const uint8_t **cursor);
// The same, never reading at or past end: returns the bytes consumed (1-5), or 0 with
// last-error 59 and the cursor unchanged when the run is cut short, too long or too large.
int32_t bz_Mem_ReadVarUIntN(const uint8_t **cursor, const uint8_t *end, uint32_t *value);
// Reads up to and including the 0 byte, keeping at most size - 1 bytes and a terminator;
// returns the bytes consumed.
int32_t bz_Mem_ReadString(const uint8_t **cursor, char *buffer, int32_t size);
// The same, never reading at or past end: without a 0 byte before end it returns -1 with
// last-error 59, an empty buffer and the cursor unchanged.
int32_t bz_Mem_ReadStringN(const uint8_t **cursor, const uint8_t *end, char *buffer, int32_t size);
