#include "scene/EffectServices.h"

namespace
{
bzSceneImageServices gImages;
} // namespace

void bz_Scene_SetImageServices(const bzSceneImageServices *services)
{
    gImages = services ? *services : bzSceneImageServices{};
}

bz_IMGMAP *bz_Scene_GetImgMap(const char *path)
{
    return path && gImages.getImgMap ? gImages.getImgMap(path) : nullptr;
}

void bz_Scene_AddImgMapRef(bz_IMGMAP *image)
{
    if (image && gImages.addImgMapRef)
        gImages.addImgMapRef(image);
}

void bz_Scene_ReleaseImgMap(bz_IMGMAP *image)
{
    if (image && gImages.releaseImgMap)
        gImages.releaseImgMap(image);
}

bz_IMGMAP *bz_Scene_AllocImgMap()
{
    return gImages.allocImgMap ? gImages.allocImgMap() : nullptr;
}

int32_t bz_Scene_FillImgMapRamp(bz_IMGMAP *image, const bzColour *stops, int32_t count)
{
    return image && gImages.fillImgMapRamp ? gImages.fillImgMapRamp(image, stops, count) : -1;
}

void bz_Scene_SetMaterialAlpha(bzMaterial *material, float alpha)
{
    if (material && gImages.setMaterialAlpha)
        gImages.setMaterialAlpha(material, alpha);
}
