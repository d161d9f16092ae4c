// Moving a position across the faces of a navigation mesh.
#include "scene/NavMesh.h"

#include "maths/Vector.h"

#include <cmath>
#include <initializer_list>

namespace
{
constexpr int32_t kMaxPasses = 20;

// Prepares the state's face: corners, upward unit normal and centroid height.
void PrepareFace(const bzNavMesh *mesh, bzNavMoveState *state)
{
    const bzNavPlace &p = state->place;
    bz_NavMesh_GetFaceCorners(mesh, p.region, p.group, p.face, state->corners);
    const bzV3 at = state->corners[0];
    bz_NavMesh_HeightOnFace(mesh, p.region, p.group, p.face, &at, &state->normal);
    state->centroidHeight =
        (state->corners[0].y + state->corners[1].y + state->corners[2].y) / 3.0f;
}

float Cross2(float ax, float az, float bx, float bz)
{
    return ax * bz - az * bx;
}

// The fraction along the movement at which it crosses edge i of the face, or a negative value.
float Crossing(const bzV3 *c, int32_t i, const bzV3 &from, const bzV3 &move)
{
    const bzV3 &a = c[i];
    const bzV3 &b = c[(i + 1) % 3];
    const float ex = b.x - a.x, ez = b.z - a.z;
    const float denominator = Cross2(move.x, move.z, ex, ez);
    if (denominator == 0.0f)
        return -1.0f;
    const float wx = a.x - from.x, wz = a.z - from.z;
    const float t = Cross2(wx, wz, ex, ez) / denominator;
    const float u = Cross2(wx, wz, move.x, move.z) / denominator;
    if (t < 0.0f || t > 1.0f || u < 0.0f || u > 1.0f)
        return -1.0f;
    return t;
}

// Where an edge leads: a face of some region and group, or a stop.
struct Link
{
    int32_t result; // BZ_NAV_LA_NEW_FACE, _NEW_REGION, _PRECIPICE or _BARRED
    int32_t region, group, face;
};

bool JoinLink(const bzNavMesh *mesh, int32_t region, uint32_t index, Link *out)
{
    const bzNavRegion &r = mesh->regions[region];
    if (index >= r.joinCount)
        return false;
    const bzNavJoin &j = r.joins[index];
    switch (j.kind)
    {
    case BZ_NAV_JOIN_GROUP: *out = {BZ_NAV_LA_NEW_FACE, region, j.group, j.face}; return true;
    case BZ_NAV_JOIN_REGION: *out = {BZ_NAV_LA_NEW_REGION, j.region, j.group, j.face}; return true;
    case BZ_NAV_JOIN_PRECIPICE: *out = {BZ_NAV_LA_PRECIPICE, -1, -1, -1}; return true;
    default: *out = {BZ_NAV_LA_BARRED, -1, -1, -1}; return true;
    }
}

// The link of an edge reference whose face holds the point (for a multi-join, the first of its
// joins that does; else its first).
bool EdgeLink(const bzNavMesh *mesh, const bzNavPlace &p, uint16_t reference, const bzV3 &point,
              Link *out)
{
    int32_t number;
    switch (bz_NavMesh_DecodeEdge(reference, &number))
    {
    case BZ_NAV_EDGE_FACE: *out = {BZ_NAV_LA_NEW_FACE, p.region, p.group, number}; return true;
    case BZ_NAV_EDGE_BAR_KIND: *out = {BZ_NAV_LA_BARRED, -1, -1, -1}; return true;
    case BZ_NAV_EDGE_PRECIPICE: *out = {BZ_NAV_LA_PRECIPICE, -1, -1, -1}; return true;
    case BZ_NAV_EDGE_JOIN: return JoinLink(mesh, p.region, static_cast<uint32_t>(number), out);
    default:
    {
        const bzNavRegion &r = mesh->regions[p.region];
        if (number >= r.multiJoinCount)
            return false;
        const bzNavMultiJoin &m = r.multiJoins[number];
        bool found = false;
        for (uint16_t k = 0; k < m.count; k++)
        {
            Link link;
            if (!JoinLink(mesh, p.region, m.joins[k], &link))
                continue;
            bzV3 c[3];
            const bool holds =
                link.region >= 0 &&
                bz_NavMesh_GetFaceCorners(mesh, link.region, link.group, link.face, c) &&
                bz_NavMesh_OverFace(c, point.x, point.z);
            if (!found || holds)
            {
                *out = link;
                found = true;
            }
            if (holds)
                break;
        }
        return found;
    }
    }
}
} // namespace

int32_t bz_NavMesh_Locate(const bzNavMesh *mesh, bzNavMoveState *state, const bzV3 *position,
                          const bzV3 *offset)
{
    if (!mesh || !state || !position)
        return -1;
    bzV3 p = *position;
    if (offset)
        p = {{{p.x + offset->x, p.y + offset->y, p.z + offset->z}}};
    bzNavPlace place = state->valid ? state->place : bzNavPlace{-1, -1, -1, nullptr};
    if (bz_NavMesh_FindRegion(mesh, &p, &place) == 3)
        return -1;
    state->place = place;
    state->valid = 1;
    PrepareFace(mesh, state);
    return 0;
}

float bz_NavMesh_StateHeight(const bzNavMesh *mesh, const bzNavMoveState *state,
                             const bzV3 *position)
{
    if (!state || !state->valid || state->place.region < 0)
        return 0.0f;
    const bzNavPlace &p = state->place;
    return bz_NavMesh_HeightOnFace(mesh, p.region, p.group, p.face, position, nullptr);
}

int32_t bz_NavMesh_MoveOnFace(const bzNavMesh *mesh, bzNavMoveState *state, const bzV3 *from,
                              const bzV3 *movement, bzNavPlace *out)
{
    if (!mesh || !state || !from || !movement)
        return BZ_NAV_LA_ERROR;
    if (!state->valid)
        return bz_NavMesh_Locate(mesh, state, from, nullptr) == 0 ? BZ_NAV_LA_SAME_FACE
                                                                  : BZ_NAV_LA_ERROR;
    int32_t result = BZ_NAV_LA_SAME_FACE;
    if (movement->x == 0.0f && movement->z == 0.0f)
    {
        if (out)
            *out = state->place;
        return result;
    }
    bzV3 at = *from, move = *movement;
    int32_t back = -1; // the edge just crossed back into
    for (int32_t pass = 0; pass < kMaxPasses; pass++)
    {
        if (bz_NavMesh_OverFace(state->corners, at.x + move.x, at.z + move.z))
        {
            if (out)
                *out = state->place;
            return result;
        }
        const bzNavFaceGroup &g = mesh->regions[state->place.region].groups[state->place.group];
        const bzNavFace &face = g.faces[state->place.face];
        int32_t edge = -1;
        float best = 2.0f;
        for (int32_t i = 0; i < 3; i++)
        {
            const float t = i == back ? -1.0f : Crossing(state->corners, i, at, move);
            if (t >= 0.0f && t < best)
            {
                best = t;
                edge = i;
            }
        }
        if (edge < 0)
            return BZ_NAV_LA_ERROR;
        const bzV3 crossing = {{{at.x + best * move.x, at.y, at.z + best * move.z}}};
        Link link;
        if (!EdgeLink(mesh, state->place, face.edges[edge], crossing, &link))
            return BZ_NAV_LA_ERROR;
        if (link.result == BZ_NAV_LA_PRECIPICE || link.result == BZ_NAV_LA_BARRED)
        {
            if (out)
                *out = state->place;
            return link.result;
        }
        if (link.region < 0 || link.region >= mesh->regionCount ||
            link.group >= mesh->regions[link.region].groupCount ||
            link.face >= mesh->regions[link.region].groups[link.group].faceCount)
            return BZ_NAV_LA_ERROR;
        const bzV3 *oldCorners = state->corners;
        const bzV3 a = oldCorners[edge], b = oldCorners[(edge + 1) % 3];
        state->place = {link.region, link.group, link.face,
                        mesh->entries[mesh->regions[link.region].groups[link.group].entry].lump};
        PrepareFace(mesh, state);
        result = link.result;
        // The edge of the new face that is the one just crossed is not crossed again.
        back = -1;
        for (int32_t i = 0; i < 3; i++)
        {
            const bzV3 &p = state->corners[i], &q = state->corners[(i + 1) % 3];
            if ((p.x == b.x && p.z == b.z && q.x == a.x && q.z == a.z) ||
                (p.x == a.x && p.z == a.z && q.x == b.x && q.z == b.z))
                back = i;
        }
        const float used = best * 1.0001f;
        at = crossing;
        move = {{{move.x * (1.0f - used), move.y, move.z * (1.0f - used)}}};
    }
    return BZ_NAV_LA_ERROR;
}

int32_t bz_NavMesh_ProbeWidth(const bzNavMesh *mesh, const bzNavMoveState *state, const bzV3 *from,
                              const bzV3 *movement, float halfWidth)
{
    if (!mesh || !state || !from || !movement)
        return BZ_NAV_LA_ERROR;
    // The side: the movement crossed with (0, 1, 0), in the horizontal plane.
    const float length = std::sqrt(movement->x * movement->x + movement->z * movement->z);
    if (length == 0.0f)
        return BZ_NAV_LA_SAME_FACE;
    const bzV3 side = {
        {{-movement->z / length * halfWidth, 0.0f, movement->x / length * halfWidth}}};
    int32_t worst = BZ_NAV_LA_SAME_FACE;
    for (const float sign : {1.0f, -1.0f})
    {
        bzNavMoveState probe = *state;
        const bzV3 start = {{{from->x + sign * side.x, from->y, from->z + sign * side.z}}};
        if (bz_NavMesh_Locate(mesh, &probe, &start, nullptr) != 0)
            return BZ_NAV_LA_ERROR;
        const int32_t result = bz_NavMesh_MoveOnFace(mesh, &probe, &start, movement, nullptr);
        if (result == BZ_NAV_LA_ERROR)
            return BZ_NAV_LA_ERROR;
        worst = result > worst ? result : worst;
    }
    return worst;
}
