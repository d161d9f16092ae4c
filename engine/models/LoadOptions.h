// The asset loaders' option words, read by the model, material and image loaders.
#pragma once

#include <cstdint>

// Loading flags, replaced whole by the debug display's setter: bit 0 loads a fresh model even
// when one of that name is loaded, bit 1 does the same for materials.
enum : uint32_t
{
    BZ_LOADFLAG_FRESH_MODELS = 0x1,
    BZ_LOADFLAG_FRESH_MATERIALS = 0x2,
};
extern uint32_t bzgLoadFlags;

// Model-loading options: bit 1 blocks the rewriting of material files of older versions.
enum : uint32_t
{
    BZ_MODELOPT_NO_MATERIAL_CONVERSION = 0x2,
};
extern uint32_t bzgModelLoadOptions;
