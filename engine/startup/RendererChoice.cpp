#include "startup/RendererChoice.h"

#include "backends/gl/GlRenderer.h"
#include "core/Error.h"
#include "device/RenderTable.h"

namespace
{
int32_t NoDevice()
{
    return 0;
}

int32_t SystemVersion(uint32_t *version)
{
    *version = 0;
    return 0;
}

// No DirectX on this system.
int32_t DirectXVersion(uint32_t *version)
{
    *version = 0;
    return 0;
}
} // namespace

const bzRendererProbes bzgRendererProbes = {NoDevice, SystemVersion, DirectXVersion, nullptr,
                                            PDInstallGLRenderer};

void bz_ChooseRenderer(PDRenderFunctionTable *table, int32_t setting, int32_t *direct3D,
                       const bzRendererProbes *probes)
{
    bool filled = false;
    if (setting == BZ_RENDERER_OPENGL)
    {
        *direct3D = 0;
        probes->installOpenGL(table);
        filled = true;
    }
    else if (*direct3D)
    {
        if (probes->installDirect3D)
        {
            probes->installDirect3D(table);
            filled = true;
        }
    }
    else
    {
        probes->installOpenGL(table);
        filled = true;
    }

    if (!probes->deviceExists())
    {
        uint32_t system = 0;
        uint32_t directX = 0;
        if (probes->systemVersion(&system) != 0)
            bz_ReportError("Windows version error, unable to detect your windows version.", "%s",
                           "Windows version error, unable to detect your windows version.");
        if (probes->directXVersion(&directX) != 0)
            bz_ReportError("DirectX version error, unable to detect direct version.", "%s",
                           "DirectX version error, unable to detect direct version.");
        else if (directX < BZ_DIRECTX_MINIMUM && *direct3D)
        {
            if (setting == 0)
            {
                probes->installOpenGL(table);
                *direct3D = 0;
                filled = true;
            }
            else
                bz_ReportError("DirectX version error.",
                               "Your version of DX is %d.%d, this is not high enough.\n"
                               "Please install at least DX8.1 or select the OpenGL option",
                               static_cast<int>(directX >> 8), static_cast<int>(directX & 0xFF));
        }
    }
    if (!filled)
        probes->installOpenGL(table);
}
