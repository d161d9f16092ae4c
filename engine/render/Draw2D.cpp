#include "render/Draw2D.h"

#include "device/RenderTable.h"

bz2DOrigin bzg2DOrigin;

bzViewport *bz_Begin2DFullScreen()
{
    bzViewport *saved = bzg2DDrawMode;
    bzg2DDrawMode = nullptr;
    if (bzgRenderTable.PDNote2DViewport)
        bzgRenderTable.PDNote2DViewport(nullptr);
    return saved;
}

void bz_End2DFullScreen(bzViewport *saved)
{
    bzg2DDrawMode = saved;
    if (bzgRenderTable.PDNote2DViewport)
        bzgRenderTable.PDNote2DViewport(saved);
}
