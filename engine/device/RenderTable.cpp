#include "device/RenderTable.h"

PDRenderFunctionTable bzgRenderTable;
bzViewport *bzg2DDrawMode;
int32_t bzgTextureStageSwitch;

int32_t bz_SetLight(int32_t index, const void *light, const void *matrix)
{
    if (!bzgRenderTable.PDSetLight)
        return -1;
    return bzgRenderTable.PDSetLight(index, light, matrix);
}

void bz_ClearTextureStageSwitch()
{
    bzgTextureStageSwitch = 0;
}

void bz_SetTextureStageSwitch()
{
    bzgTextureStageSwitch = 1;
}
