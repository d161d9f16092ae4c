// Rays, segments and spheres against a collision face.
#include "collision/FaceRays.h"

#include "collision/CollisionTolerance.h"
#include "collision/FacePrimitives.h"
#include "collision/PairMaths.h"

#include <cmath>

using namespace bzPairMaths;

namespace
{
constexpr float kParallel = BZ_SEGMENT_FACE_PARALLEL;

bool Finite(const bzV3 &v)
{
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}
} // namespace

int32_t bz_RaysIntersectFace(const bzV3 *direction, const bzCollisionFace *face, int32_t count,
                             const bzV3 *starts, bzV3 *normalOut, float *fractionsOut)
{
    const bzV3 &n = face->normal;
    const float k = Dot(*direction, n);
    if (count < 1 || !Finite(*direction))
        return 0;
    if (k > 0.0f && !(face->flags & BZ_FACE_DOUBLE_SIDED))
        return 0;
    if (face->flags & BZ_FACE_NEVER_COLLIDE)
        return 0;
    if (!(std::fabs(k) >= kParallel))
        return 0;
    // The guard ends the call before any fraction is written.
    for (int32_t i = 0; i < count; i++)
        if (!Finite(starts[i]) ||
            bz_DivideWouldOverflow(Dot(Sub(starts[i], face->corners[0]), n), k))
            return 0;
    int32_t result = 0;
    for (int32_t i = 0; i < count; i++)
    {
        const float dist = Dot(Sub(starts[i], face->corners[0]), n);
        const bool onPlane =
            k <= 0.0f ? (dist >= 0.0f && dist <= -k) : (-dist >= 0.0f && -dist <= k);
        fractionsOut[i] = BZ_FRACTION_MISS;
        if (!onPlane)
            continue;
        const float t = -dist / k;
        const bzV3 hit = AddScaled(starts[i], *direction, t);
        if (!bz_Face_PointInside(face, &hit, BZ_FACE_INSIDE_HIGH))
            continue;
        fractionsOut[i] = t;
        *normalOut = k > 0.0f ? Scale(n, -1.0f) : n;
        result = 1;
    }
    return result;
}

void bz_SegmentIntersectFace(const bzV3 *displacement, const bzCollisionFace *face,
                             const bzV3 *start, bzV3 *hitOut, bzV3 *normalOut, float *fractionOut)
{
    *fractionOut = BZ_FRACTION_MISS;
    if (!Finite(*displacement) || !Finite(*start))
        return;
    bz_SegmentIntersectFaceFinite(displacement, face, start, hitOut, normalOut, fractionOut);
}

int32_t bz_SweptSphereIntersectFace(const bzCollisionFace *face, const bzV3 *a, const bzV3 *b,
                                    float r, float *fractionOut)
{
    const float da = Dot(*a, face->normal) - face->distance;
    const float db = Dot(*b, face->normal) - face->distance;
    const float m = bzCollisionTolerance + r;
    if (da > m && db > m)
    {
        *fractionOut = BZ_FRACTION_MISS;
        return 1;
    }
    if (-da > m && -db > m)
    {
        *fractionOut = BZ_FRACTION_MISS;
        return -1;
    }
    bz_SweptSphereAgainstFace(face, r, a, b, da, db, fractionOut, nullptr);
    return 0;
}
