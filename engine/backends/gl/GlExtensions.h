// The OpenGL extensions the back end can use: one capability word that every part of the
// back end consults, the extension entry points (bound on first use; an entry point whose
// extension is not listed, or that cannot be found, does nothing), and the console command
// that lists the extensions.
#pragma once

#include <cstdint>

// Bits of bzgOGLCaps.
enum : uint32_t
{
    BZ_OGL_CAP_SEPARATE_SPECULAR = 0x1,
    BZ_OGL_CAP_STENCIL = 0x2, // the window's pixel format has stencil bits
    BZ_OGL_CAP_COMBINE = 0x4,
    BZ_OGL_CAP_COMBINE_STAGES = 0x8,
    BZ_OGL_CAP_BLEND_SUBTRACT = 0x10,
    BZ_OGL_CAP_MULTITEXTURE = 0x20,
    BZ_OGL_CAP_COMPRESSION = 0x40, // S3TC formats for uploads and pre-converted files
    BZ_OGL_CAP_BGRA = 0x80,
    BZ_OGL_CAP_MATRIX_PALETTE = 0x100,
    BZ_OGL_CAP_CROSSBAR = 0x200,
    BZ_OGL_CAP_LOD_BIAS = 0x400,
};

// Zero at start; widened by every detection (the stencil bit is set or cleared by each
// display set-up).
extern uint32_t bzgOGLCaps;

// The blend equation of the blended passes: the extension's entry point once blend subtract
// was detected, else a function that does nothing.
extern void (*bzgOGLBlendEquation)(uint32_t mode);

// Reads the current context's extension list into bzgOGLCaps with the settings each found
// extension asks for, sets the back end's fixed state (depth test, local viewer, colour
// material) and registers the console command "bz_OGLExtentions" (once).
void bz_OGLExtentions();
// The console command: prints each extension name on a line of its own.
int32_t OGL_ListExtensions(int32_t argc, char **argv);

// True when the current context lists this extension (a whole name, not a prefix).
bool bz_OGL_HasExtension(const char *name);
// Forgets every bound entry point: the next call of each looks it up again (a new context).
void bz_OGL_UnbindEntryPoints();

// The extension entry points; each does nothing without its extension.
void OGL_ActiveTexture(uint32_t unit);
void OGL_ClientActiveTexture(uint32_t unit);
void OGL_CompressedTexImage2D(uint32_t target, int32_t level, uint32_t internalFormat,
                              int32_t width, int32_t height, int32_t border, int32_t size,
                              const void *data);
