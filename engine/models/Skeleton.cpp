#include "models/Skeleton.h"

#include "core/Error.h"

int32_t bz_CheckSkeletonTree(const bzSkeletonBone *bones, int32_t count, int32_t root)
{
    if (!bones || count <= 0 || root < 0 || root >= count || bones[root].parent != -1)
        return BZ_ERROR_INVALID_PARAMETER;
    auto inRange = [count](int32_t link) { return link >= -1 && link < count; };
    int32_t roots = 0;
    for (int32_t b = 0; b < count; ++b)
    {
        if (!inRange(bones[b].parent) || !inRange(bones[b].firstChild) ||
            !inRange(bones[b].nextSibling))
            return BZ_ERROR_INVALID_PARAMETER;
        if (bones[b].parent == -1)
            ++roots;
        // Walking up ends at a root within count steps, or the links hold a cycle.
        int32_t at = b, steps = 0;
        while (bones[at].parent != -1)
        {
            at = bones[at].parent;
            if (++steps > count)
                return BZ_ERROR_INVALID_PARAMETER;
        }
        if (at != root)
            return BZ_ERROR_INVALID_PARAMETER;
    }
    if (roots != 1)
        return BZ_ERROR_INVALID_PARAMETER;
    // Each bone's child list holds exactly the bones that name it as parent.
    int32_t listed = 0;
    for (int32_t b = 0; b < count; ++b)
    {
        int32_t steps = 0;
        for (int32_t c = bones[b].firstChild; c != -1; c = bones[c].nextSibling)
        {
            if (bones[c].parent != b || ++steps > count)
                return BZ_ERROR_INVALID_PARAMETER;
        }
        listed += steps;
    }
    return listed == count - 1 ? 0 : BZ_ERROR_INVALID_PARAMETER;
}
