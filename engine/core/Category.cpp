#include "core/Category.h"

namespace
{
uint32_t gCategoryCounts[256];
} // namespace

void InlineSetCategory(uint8_t *categoryByte, uint8_t category)
{
    if (!categoryByte)
        return;
    if (gCategoryCounts[*categoryByte] > 0)
        --gCategoryCounts[*categoryByte];
    ++gCategoryCounts[category];
    *categoryByte = category;
}

uint32_t bz_GetCategoryCount(uint8_t category)
{
    return gCategoryCounts[category];
}
