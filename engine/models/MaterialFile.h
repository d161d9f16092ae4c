// Material files (".MTL"): one material a file, little-endian, read field by field.
//
// The current version 0x0407: u16 version, u32 layer count, 62-byte layer records, then u32
// material word, f32 lighting term, u8 material byte, u16 specular term, u32 flags (file
// layout, see ConvertMaterialFileFlags), 3 f32 effect terms, 3 f32 colour, 4 f32 extra terms,
// u32 further word 1, u32 further word 2: 69 + 62 x layers bytes.
//
// A layer record: 32-byte zero-padded texture name, i32 blend kind, f32 alpha, i32
// texture-coordinate kind, f32 effect value 1, f32 scroll u, f32 scroll v, u8 address mode u,
// u8 address mode v, u8 texture-coordinate set, u8 effect value 2, u8 effect value 3, u8 flags
// (file bit 0x01 is layer flag 0x04, 0x02 is 0x08, 0x04 is 0x10, both ways).
//
// Versions 0x0203 to 0x0406 are read and converted; a file of an older version is rewritten
// in the current one when it loads, unless the model-loading options block it.
#pragma once

#include "device/MaterialRecord.h"

#include <cstdint>

struct bzFileHandle;

constexpr uint16_t BZ_MATERIAL_FILE_VERSION = 0x0407;

// The material of that name with one reference for the caller: a loaded one shared (unless
// fresh loads are forced or it is never shared), else read from "<folder>\name.MTL" or
// "name.MTL"; else the missing hook's result; null (last error set) for a file that cannot be
// used.
bzMaterial *bz_LoadMaterial(const char *name);
// Reads an open file into a fresh material and closes it: 0, 58 (an older version, converted
// in memory), 29 (a newer version), 59 (a version no branch reads, a layer count of 0 or above
// 255, or a file shorter than its fields) or 14 (no memory). folder (drive and directory of
// the file) is where its texture names are looked up.
int32_t LoadThisMaterial(bzFileHandle *file, bzMaterial *material, const char *folder);
// Writes the material in version 0x0407: 0, 34 for the default material, 44 for none, 19 when
// the file cannot be created or written.
int32_t bz_SaveMaterial(const char *fileName, const bzMaterial *material);

// The flag word of a file and of a material, each mapped to the other.
uint32_t ConvertMaterialFileFlags(uint32_t fileFlags);
uint32_t MaterialFlagsToFile(uint32_t materialFlags);
// Each old effect value v (0..1) becomes 2(v - 0.5) when at least 0.5, else 0.
void SetMaterialEffectFromOld(bzMaterial *material, float a, float b, float c);

// The material flag bit 0x00010000 of the last material loaded.
extern uint32_t bzgMaterial_lastLoadedFlag;
