#include "render/InputTables.h"

namespace
{
bzInputTables gTables;
} // namespace

void bz_Input_SetTables(const bzInputTables *tables)
{
    gTables = tables ? *tables : bzInputTables{};
}

const bzInputTables *bz_Input_GetTables()
{
    return &gTables;
}

namespace
{
bzPadState *PadAt(int32_t index)
{
    if (!gTables.pads || index < 0 || index >= BZ_PAD_COUNT)
        return nullptr;
    return &gTables.pads[index];
}
} // namespace

bzPadState *bz_Input_MousePad()
{
    return PadAt(gTables.mousePad);
}

bzPadState *bz_Input_KeyboardPad()
{
    return PadAt(gTables.keyboardPad);
}
