// The inside test of a collision face.
#include "collision/CollisionFace.h"

#include <cmath>

int32_t bz_Face_PointInside(const bzCollisionFace *face, const bzV3 *point, float numeratorLimit)
{
    const float ax = std::fabs(face->normal.x);
    const float ay = std::fabs(face->normal.y);
    const float az = std::fabs(face->normal.z);
    int32_t u = 0;
    int32_t v = 1;
    const int32_t larger = ax >= ay ? 0 : 1;
    if ((larger == 0 ? ax : ay) >= az)
    {
        if (larger == 0)
        {
            u = 1;
            v = 2;
        }
        else
        {
            u = 0;
            v = 2;
        }
    }
    const bzV3 &c0 = face->corners[0];
    const float e1u = face->corners[1].v[u] - c0.v[u];
    const float e1v = face->corners[1].v[v] - c0.v[v];
    const float e2u = face->corners[2].v[u] - c0.v[u];
    const float e2v = face->corners[2].v[v] - c0.v[v];
    const float qu = point->v[u] - c0.v[u];
    const float qv = point->v[v] - c0.v[v];
    // s along e2 measured against e1, r along e1 measured against e2.
    const float num = e1u * qv - e1v * qu;
    const float den = e1u * e2v - e1v * e2u;
    if (std::fabs(num) > std::fabs(den) * numeratorLimit || den == 0.0f)
        return 0;
    const float s = num / den;
    if (!(s >= BZ_FACE_INSIDE_LOW))
        return 0;
    const float num2 = e2u * qv - e2v * qu;
    const float den2 = e2u * e1v - e2v * e1u;
    if (std::fabs(num2) > std::fabs(den2) * numeratorLimit || den2 == 0.0f)
        return 0;
    const float r = num2 / den2;
    if (!(r >= BZ_FACE_INSIDE_LOW))
        return 0;
    return s + r <= BZ_FACE_INSIDE_HIGH ? 1 : 0;
}
