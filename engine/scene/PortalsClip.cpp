// The geometry of the portal render pass: planes through the eye, the box test against them and
// the clipping of portal polygons to them. Every plane passes through the eye; a point p lies in
// front of the plane of normal n when n . (p - eye) > 0.
#include "scene/Portals.h"

#include "maths/Vector.h"

#include <cmath>

namespace
{
float Side(const bzV3 &n, const bzV3 &p, const bzV3 &eye)
{
    return n.x * (p.x - eye.x) + n.y * (p.y - eye.y) + n.z * (p.z - eye.z);
}

bzV3 Unit(const bzV3 &v)
{
    const float length = std::sqrt(bz_V3_Dot(&v, &v));
    return length > 0.0f ? bzV3{{{v.x / length, v.y / length, v.z / length}}} : v;
}
} // namespace

int32_t PortalBoxInFrustum(const bzBox *box, const bzV3 *normals, int32_t count, const bzV3 *eye)
{
    for (int32_t i = 0; i < count; i++)
    {
        const bzV3 &n = normals[i];
        // The corner farthest along the normal.
        const bzV3 far = {
            {{n.x >= 0.0f ? box->max.x : box->min.x, n.y >= 0.0f ? box->max.y : box->min.y,
              n.z >= 0.0f ? box->max.z : box->min.z}}};
        if (!(Side(n, far, *eye) > 0.0f))
            return 0;
    }
    return 1;
}

int32_t PortalClipPolygon(const bzV3 *in, int32_t count, bzV3 *out, const bzV3 *normal,
                          const bzV3 *eye)
{
    int32_t n = 0;
    for (int32_t i = 0; i < count; i++)
    {
        const bzV3 &a = in[i];
        const bzV3 &b = in[(i + 1) % count];
        const float sa = Side(*normal, a, *eye), sb = Side(*normal, b, *eye);
        const bool aIn = sa >= 0.0f, bIn = sb >= 0.0f;
        if (aIn)
            out[n++] = a;
        if (aIn != bIn)
        {
            const float t = sa / (sa - sb);
            out[n++] = {{{a.x + t * (b.x - a.x), a.y + t * (b.y - a.y), a.z + t * (b.z - a.z)}}};
        }
    }
    return n >= 3 ? n : 0;
}

int32_t PortalClipToFrustum(const bzV3 *in, int32_t count, const bzV3 *normals, int32_t planeCount,
                            const bzV3 *eye, bzV3 *out)
{
    if (count < 3 || count > BZ_PORTAL_MAX_VERTICES || planeCount > BZ_PORTAL_MAX_PLANES)
        return 0;
    // Each plane adds one vertex at most.
    bzV3 work[2][BZ_PORTAL_MAX_CLIP];
    const bzV3 *from = in;
    int32_t n = count;
    for (int32_t i = 0; i < planeCount && n; i++)
    {
        bzV3 *to = work[i & 1];
        n = PortalClipPolygon(from, n, to, &normals[i], eye);
        from = to;
    }
    for (int32_t i = 0; i < n; i++)
        out[i] = from[i];
    return n;
}

int32_t PortalEdgePlanes(const bzV3 *polygon, int32_t count, const bzV3 *eye, bzV3 *normals)
{
    if (count < 3 || count > BZ_PORTAL_MAX_CLIP)
        return 0;
    bzV3 d[BZ_PORTAL_MAX_CLIP];
    for (int32_t i = 0; i < count; i++)
        d[i] = Unit({{{polygon[i].x - eye->x, polygon[i].y - eye->y, polygon[i].z - eye->z}}});
    const int32_t winding = PortalWinding(d, count);
    int32_t planes = 0;
    for (int32_t i = 0; i < count && planes < BZ_PORTAL_MAX_PLANES; i++)
    {
        bzV3 n;
        // The plane of the edge ending at vertex i faces out; the walk keeps what lies in front.
        if (PortalCrossNormal(&d[i == 0 ? count - 1 : i - 1], &d[i], winding, &n))
            normals[planes++] = {{{-n.x, -n.y, -n.z}}};
    }
    return planes;
}
