// The physics error reporter and its hook.
#include "core/Error.h"
#include "physics/PhysMemory.h"

namespace
{
bzPhysErrorHook gHook;
} // namespace

void bz_Phys_SetErrorHook(bzPhysErrorHook hook)
{
    gHook = hook;
}

void bz_Phys_ReportError(int32_t code, const char *text)
{
    if (gHook)
        gHook(code, text);
    BZ_SET_ORIGIN();
    if (text)
        bz_ReportError("Physics Error", "%d) %s", static_cast<int>(code), text);
    else
        bz_ReportError("Physics Error", "Error = %d", static_cast<int>(code));
}
