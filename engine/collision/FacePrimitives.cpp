// A sphere swept against a collision face.
#include "collision/FacePrimitives.h"

#include "collision/CollisionTolerance.h"
#include "collision/PairMaths.h"

#include <cmath>

using namespace bzPairMaths;

namespace
{
constexpr float kFloatMax = 3.4028235e38f;
// The sweep's barycentric numerators may reach this far past their denominators.
constexpr float kSweepNumeratorLimit = 1.001f;
} // namespace

int32_t bz_DivideWouldOverflow(float a, float b)
{
    const float ab = std::fabs(b);
    if (std::isnan(a) || std::isnan(b))
        return 1;
    return ab < 1.0f && ab * kFloatMax < std::fabs(a) ? 1 : 0;
}

int32_t bz_SweptSphereAgainstFace(const bzCollisionFace *face, float r, const bzV3 *start,
                                  const bzV3 *end, float d0, float d1, float *fractionOut,
                                  bzV3 *normalOut)
{
    *fractionOut = BZ_FRACTION_MISS;
    if (face->flags & BZ_FACE_NEVER_COLLIDE)
        return 0;
    bzV3 normal = face->normal;
    if (d0 >= 0.0f)
    {
        if (d0 < r)
            return 0;
    }
    else
    {
        if (d0 > -r || !(face->flags & BZ_FACE_DOUBLE_SIDED))
            return 0;
        normal = Scale(normal, -1.0f);
        d0 = -d0;
        d1 = -d1;
    }
    if (!(d1 <= r + bzCollisionTolerance))
        return 0;
    float t = d1 != d0 ? (r - d0) / (d1 - d0) : 0.0f;
    t = t < 0.0f ? 0.0f : (t > 1.0f ? 1.0f : t);
    if (!std::isfinite(t))
        return 0;
    const bzV3 p = AddScaled(*start, Sub(*end, *start), t);
    const bzV3 q = AddScaled(p, face->normal, Dot(face->normal, Sub(face->corners[0], p)));
    if (!bz_Face_PointInside(face, &q, kSweepNumeratorLimit))
        return 0;
    *fractionOut = t;
    if (normalOut)
        *normalOut = normal;
    return 1;
}
