// A renderer back end that works in memory: image pixels kept in RAM (create, lock, put and
// get pixels and palette indices, unlock), material set-up and model buffers that do nothing,
// and a recorder of every slot call with its arguments. Tests and tools that must run without
// a display install it in place of a hardware back end.
//
// Pixels are held per format: 888 as red, green, blue bytes; 8888 as alpha, red, green, blue;
// 565, 4444 and 1555 as little-endian 16-bit words; 332 and alpha-only as one byte; palette
// images as one index byte a pixel with a 256-entry palette. Reading a format without alpha
// gives alpha 255; reading an alpha-only image gives white with that alpha. Bump, normal and
// cube maps and codes outside the table hold 4 bytes a pixel that the pixel slots refuse (68).
// Rows longer than 65,535 bytes are refused (68), as are images larger than one memory block
// (14).
#pragma once

#include <cstdint>

struct PDRenderFunctionTable;

// One recorded slot call: the slot number and its arguments in call order, pointers and
// integers as their values, floats as their bit patterns (bz_MemDevice_ArgFloat), out-pointers
// as their addresses.
struct bzMemDeviceCall
{
    int32_t slot;
    int32_t argCount;
    uint64_t args[8];
};

// The recorder keeps the newest calls in a ring of this many.
constexpr uint32_t BZ_MEMDEVICE_KEPT_CALLS = 4096;

// Writes the memory back end's functions into every slot it serves: 4-12, 14, 15, 17, 18, 20,
// 21, 30, 32, 43, 64, 65 and 97-101. The other slots keep their content.
void bz_MemDevice_Install(PDRenderFunctionTable *table);

// Forgets the recorded calls and every forced result.
void bz_MemDevice_Reset();

// Calls of one slot (0-105) since the last reset, and of all slots.
uint32_t bz_MemDevice_CallCount(int32_t slot);
uint32_t bz_MemDevice_TotalCalls();
// Calls still kept (at most BZ_MEMDEVICE_KEPT_CALLS) and the one at index, 0 the oldest kept;
// null outside.
uint32_t bz_MemDevice_KeptCalls();
const bzMemDeviceCall *bz_MemDevice_GetCall(uint32_t index);
// The newest kept call of a slot, or null.
const bzMemDeviceCall *bz_MemDevice_LastCall(int32_t slot);
float bz_MemDevice_ArgFloat(uint64_t arg);

// From now on the slot does nothing but record and return code (0 restores its work). A slot
// that returns an image returns null for any non-zero code.
void bz_MemDevice_SetSlotResult(int32_t slot, int32_t code);

// Bytes of pixel buffers the back end holds now.
uint32_t bz_MemDevice_PixelBytes();
