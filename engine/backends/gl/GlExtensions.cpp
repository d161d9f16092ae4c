#include "backends/gl/GlExtensions.h"

#include "backends/gl/GlWindowSystem.h"
#include "console/Console.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <cstring>

uint32_t bzgOGLCaps;

namespace
{
void NoBlendEquation(uint32_t) {}

// The extension entry points, bound on first use.
enum EntryPoint
{
    kActiveTexture,
    kClientActiveTexture,
    kBlendEquation,
    kCompressedTexImage2D,
    kEntryPoints
};

struct LazyEntry
{
    const char *name;
    const char *extension;
    void *function;
    bool tried;
};

LazyEntry gEntries[kEntryPoints] = {
    {"glActiveTextureARB", "GL_ARB_multitexture", nullptr, false},
    {"glClientActiveTextureARB", "GL_ARB_multitexture", nullptr, false},
    {"glBlendEquation", "GL_EXT_blend_subtract", nullptr, false},
    {"glCompressedTexImage2DARB", "GL_ARB_texture_compression", nullptr, false},
};

void *Bind(EntryPoint which)
{
    LazyEntry &e = gEntries[which];
    if (!e.tried)
    {
        e.tried = true;
        e.function =
            bz_OGL_HasExtension(e.extension) ? bzgOGLWindowSystem.getProcAddress(e.name) : nullptr;
    }
    return e.function;
}

void RealBlendEquation(uint32_t mode)
{
    if (auto fn = reinterpret_cast<PFNGLBLENDEQUATIONPROC>(Bind(kBlendEquation)))
        fn(mode);
}

// Whether the blank-separated list holds this whole name.
bool ListHolds(const char *list, const char *name)
{
    if (!list || !name || !*name)
        return false;
    const size_t length = std::strlen(name);
    for (const char *p = list; (p = std::strstr(p, name)) != nullptr; p += length)
    {
        const bool startsWord = p == list || p[-1] == ' ';
        const bool endsWord = p[length] == ' ' || p[length] == '\0';
        if (startsWord && endsWord)
            return true;
    }
    return false;
}

bool CommandRegistered()
{
    const bzConsoleState *state = bz_Console_GetState();
    for (int32_t i = 0; i < state->commandCount; ++i)
        if (state->commands[i].handler == OGL_ListExtensions)
            return true;
    return false;
}
} // namespace

void (*bzgOGLBlendEquation)(uint32_t mode) = NoBlendEquation;

bool bz_OGL_HasExtension(const char *name)
{
    return ListHolds(bzgOGLWindowSystem.extensions(), name);
}

void bz_OGL_UnbindEntryPoints()
{
    for (LazyEntry &e : gEntries)
    {
        e.function = nullptr;
        e.tried = false;
    }
}

void OGL_ActiveTexture(uint32_t unit)
{
    if (auto fn = reinterpret_cast<PFNGLACTIVETEXTUREARBPROC>(Bind(kActiveTexture)))
        fn(unit);
}

void OGL_ClientActiveTexture(uint32_t unit)
{
    if (auto fn = reinterpret_cast<PFNGLCLIENTACTIVETEXTUREARBPROC>(Bind(kClientActiveTexture)))
        fn(unit);
}

void OGL_CompressedTexImage2D(uint32_t target, int32_t level, uint32_t internalFormat,
                              int32_t width, int32_t height, int32_t border, int32_t size,
                              const void *data)
{
    if (auto fn = reinterpret_cast<PFNGLCOMPRESSEDTEXIMAGE2DARBPROC>(Bind(kCompressedTexImage2D)))
        fn(target, level, internalFormat, width, height, border, size, data);
}

void bz_OGLExtentions()
{
    bz_OGL_UnbindEntryPoints();
    if (bz_OGL_HasExtension("GL_EXT_separate_specular_color"))
    {
        bzgOGLCaps |= BZ_OGL_CAP_SEPARATE_SPECULAR;
        glLightModeli(GL_LIGHT_MODEL_COLOR_CONTROL, GL_SEPARATE_SPECULAR_COLOR);
    }
    if (bz_OGL_HasExtension("GL_ARB_texture_env_combine"))
    {
        bzgOGLCaps |= BZ_OGL_CAP_COMBINE | BZ_OGL_CAP_COMBINE_STAGES;
        OGL_ActiveTexture(GL_TEXTURE1_ARB);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_COMBINE_ARB);
        OGL_ActiveTexture(GL_TEXTURE0_ARB);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_COMBINE_ARB);
    }
    if (bz_OGL_HasExtension("GL_EXT_blend_subtract"))
    {
        bzgOGLCaps |= BZ_OGL_CAP_BLEND_SUBTRACT;
        bzgOGLBlendEquation = RealBlendEquation;
        bzgOGLBlendEquation(GL_FUNC_ADD);
    }
    else
        bzgOGLBlendEquation = NoBlendEquation;
    if (bz_OGL_HasExtension("GL_ARB_multitexture"))
        bzgOGLCaps |= BZ_OGL_CAP_MULTITEXTURE;
    if (bz_OGL_HasExtension("GL_ARB_texture_compression") &&
        bz_OGL_HasExtension("GL_EXT_texture_compression_s3tc"))
        bzgOGLCaps |= BZ_OGL_CAP_COMPRESSION;
    if (bz_OGL_HasExtension("GL_EXT_bgra"))
        bzgOGLCaps |= BZ_OGL_CAP_BGRA;
    if (bz_OGL_HasExtension("GL_ARB_matrix_palette"))
        bzgOGLCaps |= BZ_OGL_CAP_MATRIX_PALETTE;
    if (bz_OGL_HasExtension("GL_ARB_texture_env_crossbar"))
        bzgOGLCaps |= BZ_OGL_CAP_CROSSBAR;
    if (bz_OGL_HasExtension("GL_EXT_texture_lod_bias"))
    {
        bzgOGLCaps |= BZ_OGL_CAP_LOD_BIAS;
        if (bzgOGLCaps & BZ_OGL_CAP_MULTITEXTURE)
        {
            OGL_ActiveTexture(GL_TEXTURE1_ARB);
            glTexEnvf(GL_TEXTURE_FILTER_CONTROL_EXT, GL_TEXTURE_LOD_BIAS_EXT, -2.0f);
            OGL_ActiveTexture(GL_TEXTURE0_ARB);
        }
        glTexEnvf(GL_TEXTURE_FILTER_CONTROL_EXT, GL_TEXTURE_LOD_BIAS_EXT, -2.0f);
    }
    glEnable(GL_DEPTH_TEST);
    glLightModeli(GL_LIGHT_MODEL_LOCAL_VIEWER, 1);
    glEnable(GL_COLOR_MATERIAL);
    glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
    if (!CommandRegistered())
        bz_Console_RegisterCommand("bz_OGLExtentions", "List opengl extensions\n", 0,
                                   OGL_ListExtensions);
}

int32_t OGL_ListExtensions(int32_t, char **)
{
    constexpr size_t kMaxCopied = 4000;
    char copy[kMaxCopied + 1];
    const char *names = bzgOGLWindowSystem.extensions();
    const size_t length = names ? strnlen(names, kMaxCopied) : 0;
    if (length)
        std::memcpy(copy, names, length);
    copy[length] = '\0';
    // Each blank ends a name.
    for (size_t i = 0; i < length; ++i)
        if (copy[i] == ' ')
            copy[i] = '\0';
    for (size_t i = 0; i < length; i += std::strlen(copy + i) + 1)
        if (copy[i])
            bz_Console_Printf("%s\n", copy + i);
    return 0;
}
