// The choice of renderer at start-up: which back end fills the renderer table, from the
// renderer setting, the Direct3D flag and the installed DirectX version, before the engine's
// initialisation calls its first slot.
#pragma once

#include <cstdint>

struct PDRenderFunctionTable;

// The renderer setting that asks for OpenGL whatever else holds.
constexpr int32_t BZ_RENDERER_OPENGL = 2;
// The lowest DirectX version (major in the high byte, minor in the low) the Direct3D back
// end runs on.
constexpr uint32_t BZ_DIRECTX_MINIMUM = 0x801;

// What the chooser asks of the system and what it installs with.
struct bzRendererProbes
{
    // 1 while a Direct3D device exists.
    int32_t (*deviceExists)();
    // 0 with the version written, or non-zero when it cannot be read.
    int32_t (*systemVersion)(uint32_t *version);
    int32_t (*directXVersion)(uint32_t *version);
    // Null when this build has no Direct3D back end.
    void (*installDirect3D)(PDRenderFunctionTable *table);
    void (*installOpenGL)(PDRenderFunctionTable *table);
};

// This build's probes: no Direct3D device and no Direct3D back end, DirectX version 0, and the
// OpenGL back end.
extern const bzRendererProbes bzgRendererProbes;

// Fills the table with one back end: OpenGL when setting is 2 (the Direct3D flag is then
// cleared), else Direct3D while *direct3D is set, else OpenGL. Without a Direct3D device it
// reads the system's and DirectX's versions (reporting "Windows version error, unable to
// detect your windows version." or "DirectX version error, unable to detect direct
// version." when they cannot be read); below DirectX 8.1 with the flag set, setting 0 falls
// back to OpenGL silently and clears the flag, any other setting is reported under "DirectX
// version error.". A table that no back end filled (a kept-alive report in a build without
// Direct3D) gets the OpenGL back end, so that no caller meets an empty table.
void bz_ChooseRenderer(PDRenderFunctionTable *table, int32_t setting, int32_t *direct3D,
                       const bzRendererProbes *probes);
