#include "core/Error.h"

#include "pc/PcHooks.h"
#include "pc/PcSystem.h"
#include "pc/PcWindow.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

bzErrorCode bzgLastError;
const char *bzgErrorFile;
int32_t bzgErrorLine;
int32_t bzgNoFatalExit;
int32_t bzgFatalErrorHappened;

namespace
{
int32_t gReportInProgress;
bzShutdownFunction gShutdown;
// Releases the input devices' keys; installed by the input devices.
void (*gReleaseInput)();
char gLastCaption[256];
char gLastText[1024];
uint32_t gReportCount;

// Indexed by code + 1.
const char *const kErrorText[] = {
    /*   -1 */ "No indirect errors",
    /*    0 */ "No error reported",
    /*    1 */ "Invalid error code",
    /*    2 */ "Could not start DirectDraw",
    /*    3 */ "No DirectDraw interface",
    /*    4 */ "Could not set EXCLUSIVE screen access",
    /*    5 */ "No D3D interface",
    /*    6 */ "Problem with sound buffer",
    /*    7 */ "Could not start Windows Interface",
    /*    8 */ "Video mode greater than those listed",
    /*    9 */ "Unsupported Video mode",
    /*   10 */ "Sorry - unknown error",
    /*   11 */ "Could not create texture",
    /*   12 */ "Could not get pixel-address of BZ_IMGMAP",
    /*   13 */ "bz_IMGMAP * is already locked",
    /*   14 */ "Out of memory for operation",
    /*   15 */ "bz_IMGMAP incorrect pixel format",
    /*   16 */ "Could not perform blit operation",
    /*   17 */ "No Clipper interface",
    /*   18 */ "Unable to start Timer system",
    /*   19 */ "file not found",
    /*   20 */ "Parameter out of range",
    /*   21 */ "bz_IMGMAPS must be different",
    /*   22 */ "bz_IMGMAP cannot be clipped",
    /*   23 */ "bz_IMGMAP is void",
    /*   24 */ "No DINPUT Interface",
    /*   25 */ "No DINPUT2 Interface",
    /*   26 */ "Invalid control character",
    /*   27 */ "Cannot be used for windowed mode",
    /*   28 */ "Cannot initialise 3D mode",
    /*   29 */ "Invalid parameter/object",
    /*   30 */ "Could not create Z-Buffer",
    /*   31 */ "Incompatible WAVE format",
    /*   32 */ "Sound not initialised",
    /*   33 */ "Invalid handle",
    /*   34 */ "Invalid material",
    /*   35 */ "Problem with scene",
    /*   36 */ "Not enough room for Object",
    /*   37 */ "Only allowed to call that once",
    /*   38 */ "Image must be a sprite",
    /*   39 */ "Image must be a texture",
    /*   40 */ "Wrong size",
    /*   41 */ "Not a model",
    /*   42 */ "Not a light",
    /*   43 */ "Not a camera",
    /*   44 */ "Not a material",
    /*   45 */ "Only works in Windowed mode",
    /*   46 */ "Previous search still operating",
    /*   47 */ "Not currently doing a search",
    /*   48 */ "Unsupported picture format",
    /*   49 */ "Bad memory alignment",
    /*   50 */ "No parent",
    /*   51 */ "Invalid viewport",
    /*   52 */ "Too many models",
    /*   53 */ "Not a lump",
    /*   54 */ "model is already split",
    /*   55 */ "Physics system inactive",
    /*   56 */ "Requested object not found",
    /*   57 */ "Localisation not initialised",
    /*   58 */ "Outdated version",
    /*   59 */ "Bad data format",
    /*   60 */ "Bad Pool-Memory",
    /*   61 */ "Network: Generic failure",
    /*   62 */ "Network: Not initialised",
    /*   63 */ "Network: No active service provider",
    /*   64 */ "Network: Invalid message size",
    /*   65 */ "SoundEvents: Invalid event specified",
    /*   66 */ "No model-hull for shadow",
    /*   67 */ "DirectInput error",
    /*   68 */ "Function is unsupported on this platform",
    /*   69 */ "De-compression of a texture failed",
    /*   70 */ "Compression of a texture failed",
    /*   71 */ "No model.",
    /*   72 */ "Object is already a texture.",
    /*   73 */ "Palette not found",
    /*   74 */ "Passed model has no model hull",
    /*   75 */ "Invalid error code",
    /*   76 */ "Invalid error code",
    /*   77 */ "Invalid error code",
    /*   78 */ "Invalid error code",
    /*   79 */ "Invalid error code",
    /*   80 */ "Invalid error code",
    /*   81 */ "Invalid error code",
    /*   82 */ "Invalid error code",
    /*   83 */ "Invalid error code",
    /*   84 */ "Invalid error code",
    /*   85 */ "Invalid error code",
    /*   86 */ "Invalid error code",
    /*   87 */ "Invalid error code",
    /*   88 */ "Invalid error code",
    /*   89 */ "Invalid error code",
    /*   90 */ "Invalid error code",
    /*   91 */ "Invalid error code",
    /*   92 */ "Invalid error code",
    /*   93 */ "Invalid error code",
    /*   94 */ "Invalid error code",
    /*   95 */ "Invalid error code",
    /*   96 */ "Invalid error code",
    /*   97 */ "Invalid error code",
    /*   98 */ "Invalid error code",
    /*   99 */ "Invalid error code",
    /*  100 */ "Invalid error code",
    /*  101 */ "Invalid error code",
    /*  102 */ "Memory: Pad pointer",
    /*  103 */ "Bone contains corrupt data",
    /*  104 */ "Contact list is corrupt",
    /*  105 */ "No animation",
    /*  106 */ "Skeleton data does not match",
    /*  107 */ "Attempting to go backwards in time",
    /*  108 */ "Animation queue is corrupt",
    /*  109 */ "No more objects of this type may be allocated",
    /*  110 */ "Character has not been initialised: call SetState()",
    /*  111 */ "Animation blend data is corrupt",
    /*  112 */ "Invalid error code",
    /*  113 */ "Reflections not allowed",
    /*  114 */ "model has been optimised",
    /*  115 */ "Quark has no emitter data",
    /*  116 */ "Quark has an invalid emission data",
    /*  117 */ "Invalid error code",
    /*  118 */ "Bad control ID or similar",
    /*  119 */ "NAL: Generic error",
    /*  120 */ "Invalid error code",
    /*  121 */ "Invalid error code",
    /*  122 */ "NAL: Invalid service",
    /*  123 */ "NAL: Invalid state",
    /*  124 */ "NAL: Invalid address",
    /*  125 */ "NAL: Out of clusters",
    /*  126 */ "DD: Generic failure",
    /*  127 */ "DD: Invalid run-level",
    /*  128 */ "DD: Invalid message class",
    /*  129 */ "DD: Invalid session descriptor",
    /*  130 */ "DD: Session is full",
    /*  131 */ "DD: Session is closed",
    /*  132 */ "DD: Out of bundles",
    /*  133 */ "DD: Invalid player",
    /*  134 */ "DD: Invalid member",
    /*  135 */ "dynamics: Form not in list",
    /*  136 */ "dynamics: Attempt to resize rolling cache",
    /*  137 */ "dynamics: Copy faces too big",
    /*  138 */ "dynamics: Copy vertices too big",
    /*  139 */ "dynamics: No models in lump hierarchy",
    /*  140 */ "dynamics: Face list full",
    /*  141 */ "Invalid error code",
    /*  142 */ "dynamics: Invalid convex hull",
    /*  143 */ "dynamics: Object has no cache",
    /*  144 */ "dynamics: Unknown spring or damper",
    /*  145 */ "dynamics: Bad read/write data",
};

constexpr int32_t kErrorCount = sizeof kErrorText / sizeof kErrorText[0];
static_assert(kErrorCount == BZ_ERROR_LAST + 2);
} // namespace

const char *bz_GetErrorText(bzErrorCode code)
{
    if (code < -1 || code > BZ_ERROR_LAST)
        return "Invalid error code";
    return kErrorText[code + 1];
}

bzErrorCode bz_GetLastError()
{
    return bzgLastError;
}

const char *bz_GetLastErrorText()
{
    return bz_GetErrorText(bzgLastError);
}

int32_t bz_SetErrorOrigin(const char *file, int32_t, int32_t line)
{
    bzgErrorFile = file;
    bzgErrorLine = line;
    return 0;
}

void bz_SetShutdownFunction(bzShutdownFunction fn)
{
    gShutdown = fn;
}

void bz_ReportError(const char *caption, const char *format, ...)
{
    if (gReportInProgress)
        return;
    gReportInProgress = 1;

    char text[1024];
    va_list ap;
    va_start(ap, format);
    std::vsnprintf(text, sizeof text, format ? format : "", ap);
    va_end(ap);
    if (bzgErrorFile)
    {
        size_t used = std::strlen(text);
        std::snprintf(text + used, sizeof text - used, "\n%s %d", bzgErrorFile,
                      static_cast<int>(bzgErrorLine));
    }
    bz_FatalErrorExit(caption, text);
    gReportInProgress = 0;
}

void bz_FatalErrorExit(const char *caption, const char *text)
{
    bzgFatalErrorHappened = 1;
    std::snprintf(gLastCaption, sizeof gLastCaption, "%s", caption ? caption : "");
    std::snprintf(gLastText, sizeof gLastText, "%s", text ? text : "");
    ++gReportCount;
    if (bzgNoFatalExit)
        return;

    PDRestoreArrowCursor();
    PDReleaseMouseCapture();
    PDRestoreProgramDirectory();
    // No key may stay held while the program goes down.
    if (gReleaseInput)
        gReleaseInput();
    if (PDWindowExists())
    {
        PDDestroyWindow();
        PDPumpUntilQuit();
    }
    PDShowCursor();
    PDMessageBox(caption, text);
    if (gShutdown)
        gShutdown();
    // The run failed: the process must not end with a success code.
    PDExitProcess(1);
}

void bz_Error_SetReleaseInput(void (*release)())
{
    gReleaseInput = release;
}

namespace
{
void SetLastErrorWord(int32_t code)
{
    bzgLastError = code;
}

void ReportForPlatform(const char *caption, const char *text)
{
    bz_ReportError(caption, "%s", text);
}

int32_t FatalExitUnderWay()
{
    return bzgFatalErrorHappened;
}
} // namespace

void bz_Error_AttachPlatform(uint32_t (*microseconds)())
{
    PDEngineHooks hooks = {};
    hooks.setLastError = SetLastErrorWord;
    hooks.reportError = ReportForPlatform;
    hooks.fatalExitUnderWay = FatalExitUnderWay;
    hooks.microseconds = microseconds;
    PDSetEngineHooks(&hooks);
}

const char *bz_Error_LastReportCaption()
{
    return gLastCaption;
}

const char *bz_Error_LastReportText()
{
    return gLastText;
}

uint32_t bz_Error_ReportCount()
{
    return gReportCount;
}
