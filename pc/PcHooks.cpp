#include "pc/PcHooks.h"

namespace
{
PDEngineHooks gHooks;
} // namespace

void PDSetEngineHooks(const PDEngineHooks *hooks)
{
    gHooks = hooks ? *hooks : PDEngineHooks{};
}

void PDSetLastError(int32_t code)
{
    if (gHooks.setLastError)
        gHooks.setLastError(code);
}

void PDReportError(const char *caption, const char *text)
{
    if (gHooks.reportError)
        gHooks.reportError(caption, text);
}

int32_t PDFatalExitUnderWay()
{
    return gHooks.fatalExitUnderWay ? gHooks.fatalExitUnderWay() : 0;
}

uint32_t PDEngineMicroseconds()
{
    return gHooks.microseconds ? gHooks.microseconds() : 0;
}
