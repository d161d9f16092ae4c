// Moving a position across the faces of a navigation mesh.
#include "scene/NavMesh.h"

#include "maths/Vector.h"

#include <cmath>
#include <initializer_list>

namespace
{
constexpr int32_t kMaxPasses = 20;

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

void ReleaseLinks(bzNavMoveState *state)
{
    while (bzNavEdgeLink *link = state->links)
    {
        state->links = link->next;
        bz_NavMesh_PoolGive(BZ_NAV_POOL_EDGE_LINKS, link);
    }
}

void ReleaseObstacles(bzNavMoveState *state)
{
    while (bzNavObstacleEntry *entry = state->obstacles)
    {
        state->obstacles = entry->next;
        bz_NavMesh_PoolGive(BZ_NAV_POOL_OBSTACLE_LIST, entry);
    }
}

// Appends a link of edge i of the state's face at *tail: false without memory.
bool AddLink(bzNavMoveState *state, bzNavEdgeLink **&tail, int32_t i, int32_t result,
             int32_t region, int32_t group, int32_t face)
{
    auto *link = static_cast<bzNavEdgeLink *>(bz_NavMesh_PoolTake(BZ_NAV_POOL_EDGE_LINKS));
    if (!link)
        return false;
    link->edge = i;
    link->result = result;
    link->region = region;
    link->group = group;
    link->face = face;
    link->from = state->corners[i];
    link->to = state->corners[(i + 1) % 3];
    *tail = link;
    tail = &link->next;
    return true;
}

// The link of a join of the region: false when the index names no join.
bool JoinTarget(const bzNavMesh *mesh, int32_t region, uint32_t index, int32_t *target)
{
    const bzNavRegion &r = mesh->regions[region];
    if (index >= r.joinCount)
        return false;
    const bzNavJoin &j = r.joins[index];
    switch (j.kind)
    {
    case BZ_NAV_JOIN_GROUP: target[0] = BZ_NAV_LA_NEW_FACE, target[1] = region; break;
    case BZ_NAV_JOIN_REGION: target[0] = BZ_NAV_LA_NEW_REGION, target[1] = j.region; break;
    case BZ_NAV_JOIN_PRECIPICE: target[0] = BZ_NAV_LA_PRECIPICE, target[1] = -1; break;
    default: target[0] = BZ_NAV_LA_BARRED, target[1] = -1; break;
    }
    target[2] = target[1] < 0 ? -1 : j.group;
    target[3] = target[1] < 0 ? -1 : j.face;
    return true;
}

// The links of edge i of the state's face: one per join of a multi-join, else one; a reference
// that names no join gives a link of -1, a multi-join without joins a bar.
bool DecodeEdgeLinks(const bzNavMesh *mesh, bzNavMoveState *state, bzNavEdgeLink **&tail, int32_t i,
                     uint16_t reference)
{
    const bzNavPlace &p = state->place;
    const bzNavRegion &r = mesh->regions[p.region];
    int32_t number;
    int32_t t[4];
    switch (bz_NavMesh_DecodeEdge(reference, &number))
    {
    case BZ_NAV_EDGE_FACE:
        return AddLink(state, tail, i, BZ_NAV_LA_NEW_FACE, p.region, p.group, number);
    case BZ_NAV_EDGE_BAR_KIND: return AddLink(state, tail, i, BZ_NAV_LA_BARRED, -1, -1, -1);
    case BZ_NAV_EDGE_PRECIPICE: return AddLink(state, tail, i, BZ_NAV_LA_PRECIPICE, -1, -1, -1);
    case BZ_NAV_EDGE_JOIN:
        if (!JoinTarget(mesh, p.region, static_cast<uint32_t>(number), t))
            return AddLink(state, tail, i, BZ_NAV_LA_ERROR, -1, -1, -1);
        return AddLink(state, tail, i, t[0], t[1], t[2], t[3]);
    default:
    {
        if (number >= r.multiJoinCount)
            return AddLink(state, tail, i, BZ_NAV_LA_ERROR, -1, -1, -1);
        const bzNavMultiJoin &m = r.multiJoins[number];
        // An edge that leads nowhere may not be crossed.
        if (m.count == 0)
            return AddLink(state, tail, i, BZ_NAV_LA_BARRED, -1, -1, -1);
        bool any = false;
        for (uint16_t k = 0; k < m.count; k++)
        {
            if (!JoinTarget(mesh, p.region, m.joins[k], t))
                continue;
            if (!AddLink(state, tail, i, t[0], t[1], t[2], t[3]))
                return false;
            any = true;
        }
        return any || AddLink(state, tail, i, BZ_NAV_LA_ERROR, -1, -1, -1);
    }
    }
}

// Gathers the obstacles of the state's face group whose boxes meet its face into its list
// (afresh: obstacles may have been added or removed since): false without memory.
bool GatherObstacles(const bzNavMesh *mesh, bzNavMoveState *state)
{
    ReleaseObstacles(state);
    const bzNavFaceGroup &g = mesh->regions[state->place.region].groups[state->place.group];
    bzNavObstacleEntry **tail = &state->obstacles;
    for (const bzNavObstacle *o = g.obstacles; o; o = o->next)
    {
        if (!bz_NavMesh_BoxMeetsFace(state->corners, &o->min, &o->max))
            continue;
        auto *entry =
            static_cast<bzNavObstacleEntry *>(bz_NavMesh_PoolTake(BZ_NAV_POOL_OBSTACLE_LIST));
        if (!entry)
            return false;
        entry->obstacle = o;
        *tail = entry;
        tail = &entry->next;
    }
    return true;
}

// Prepares the state's face: corners, upward unit normal, centroid height, its edges decoded
// into links and its obstacle list. False (the lists given back) when the face does not exist
// or without memory.
bool PrepareFace(const bzNavMesh *mesh, bzNavMoveState *state)
{
    ReleaseLinks(state);
    ReleaseObstacles(state);
    const bzNavPlace &p = state->place;
    if (!bz_NavMesh_GetFaceCorners(mesh, p.region, p.group, p.face, state->corners))
        return false;
    const bzV3 at = state->corners[0];
    bz_NavMesh_HeightOnFace(mesh, p.region, p.group, p.face, &at, &state->normal);
    state->centroidHeight =
        (state->corners[0].y + state->corners[1].y + state->corners[2].y) / 3.0f;
    const bzNavFace &face = mesh->regions[p.region].groups[p.group].faces[p.face];
    bzNavEdgeLink **tail = &state->links;
    for (int32_t i = 0; i < 3; i++)
        if (!DecodeEdgeLinks(mesh, state, tail, i, face.edges[i]))
        {
            ReleaseLinks(state);
            return false;
        }
    if (!GatherObstacles(mesh, state))
    {
        ReleaseLinks(state);
        ReleaseObstacles(state);
        return false;
    }
    return true;
}

// The link of edge i that the crossing point leads onto: of several (a multi-join) the first
// whose face holds the point, else the first; null when the edge has none.
const bzNavEdgeLink *CrossedLink(const bzNavMesh *mesh, const bzNavMoveState *state, int32_t i,
                                 const bzV3 &point)
{
    const bzNavEdgeLink *chosen = nullptr;
    for (const bzNavEdgeLink *link = state->links; link; link = link->next)
    {
        if (link->edge != i)
            continue;
        bzV3 c[3];
        const bool holds =
            link->region >= 0 &&
            bz_NavMesh_GetFaceCorners(mesh, link->region, link->group, link->face, c) &&
            bz_NavMesh_OverFace(c, point.x, point.z);
        if (!chosen || holds)
            chosen = link;
        if (holds)
            break;
    }
    return chosen;
}

// The fraction along p -> p + d (x-z plane) at which the segment enters the box's rectangle, or
// a negative value when it does not: it starts inside, misses, or only touches the rectangle at
// a point (as a walker leaving it from its border does).
float EntersBox(const bzV3 &p, const bzV3 &d, const bzV3 &min, const bzV3 &max)
{
    if (p.x > min.x && p.x < max.x && p.z > min.z && p.z < max.z)
        return -1.0f;
    float t0 = 0.0f, t1 = 1.0f;
    const float at[2] = {p.x, p.z}, step[2] = {d.x, d.z};
    const float lo[2] = {min.x, min.z}, hi[2] = {max.x, max.z};
    for (int32_t k = 0; k < 2; k++)
    {
        if (step[k] == 0.0f)
        {
            if (at[k] < lo[k] || at[k] > hi[k])
                return -1.0f;
            continue;
        }
        float ta = (lo[k] - at[k]) / step[k], tb = (hi[k] - at[k]) / step[k];
        if (ta > tb)
        {
            const float swap = ta;
            ta = tb;
            tb = swap;
        }
        t0 = ta > t0 ? ta : t0;
        t1 = tb < t1 ? tb : t1;
        if (t0 >= t1)
            return -1.0f;
    }
    return t0;
}

// The horizontal unit direction from a to b; the movement's when b lies straight above or
// below a.
bzV3 DirectionTo(const bzV3 &a, const bzV3 &b, const bzV3 &movement)
{
    float x = b.x - a.x, z = b.z - a.z;
    float length = std::sqrt(x * x + z * z);
    if (length == 0.0f)
    {
        x = movement.x, z = movement.z;
        length = std::sqrt(x * x + z * z);
    }
    if (length == 0.0f)
        return {{{0.0f, 0.0f, 0.0f}}};
    return {{{x / length, 0.0f, z / length}}};
}

// The obstacle of the state's obstacle list that the stretch at -> at + d enters first, or
// null.
const bzNavObstacle *ObstacleOnStretch(const bzNavMoveState *state, const bzV3 &at, const bzV3 &d)
{
    const bzNavObstacle *first = nullptr;
    float nearest = 2.0f;
    for (const bzNavObstacleEntry *entry = state->obstacles; entry; entry = entry->next)
    {
        const bzNavObstacle *o = entry->obstacle;
        const float t = EntersBox(at, d, o->min, o->max);
        if (t >= 0.0f && t < nearest)
        {
            nearest = t;
            first = o;
        }
    }
    return first;
}

// The dynamic object nearest the start that lies in the way of the whole movement, or null.
const bzNavDynObject *ObjectInTheWay(const bzV3 &from, const bzV3 &move,
                                     const bzNavDynObject *objects, int32_t count)
{
    const bzNavDynObject *nearest = nullptr;
    float nearestSq = 0.0f;
    const float lengthSq = move.x * move.x + move.y * move.y + move.z * move.z;
    for (int32_t i = 0; objects && i < count; i++)
    {
        const bzV3 w = {{{objects[i].position.x - from.x, objects[i].position.y - from.y,
                          objects[i].position.z - from.z}}};
        if (w.x * move.x + w.z * move.z < 0.0f)
            continue; // behind the start
        float t = lengthSq > 0.0f ? (w.x * move.x + w.y * move.y + w.z * move.z) / lengthSq : 0.0f;
        t = t < 0.0f ? 0.0f : (t > 1.0f ? 1.0f : t);
        const float dx = w.x - t * move.x, dy = w.y - t * move.y, dz = w.z - t * move.z;
        if (!(dx * dx + dy * dy + dz * dz < BZ_NAV_DYN_OBJECT_REACH_SQ))
            continue;
        const float startSq = w.x * w.x + w.y * w.y + w.z * w.z;
        if (!nearest || startSq < nearestSq)
        {
            nearest = &objects[i];
            nearestSq = startSq;
        }
    }
    return nearest;
}

// The walk across the faces of a move from a located state: the look-ahead result; an obstacle
// that stops it is described in blockage when given.
int32_t Walk(const bzNavMesh *mesh, bzNavMoveState *state, const bzV3 *from, const bzV3 *movement,
             bzNavBlockage *blockage)
{
    int32_t result = BZ_NAV_LA_SAME_FACE;
    if (movement->x == 0.0f && movement->z == 0.0f)
        return result;
    bzV3 at = *from, move = *movement;
    int32_t back = -1; // the edge just crossed back into
    for (int32_t pass = 0; pass < kMaxPasses; pass++)
    {
        const bool stays = bz_NavMesh_OverFace(state->corners, at.x + move.x, at.z + move.z);
        int32_t edge = -1;
        float best = 2.0f;
        for (int32_t i = 0; i < 3 && !stays; i++)
        {
            const float t = i == back ? -1.0f : Crossing(state->corners, i, at, move);
            if (t >= 0.0f && t < best)
            {
                best = t;
                edge = i;
            }
        }
        if (!stays && edge < 0)
            return BZ_NAV_LA_ERROR;
        const float stretch = stays ? 1.0f : best;
        const bzV3 over = {{{move.x * stretch, 0.0f, move.z * stretch}}};
        if (const bzNavObstacle *o = ObstacleOnStretch(state, at, over))
        {
            if (blockage)
            {
                const bzV3 centre = {{{(o->min.x + o->max.x) * 0.5f, (o->min.y + o->max.y) * 0.5f,
                                       (o->min.z + o->max.z) * 0.5f}}};
                blockage->object = o->object;
                blockage->direction = DirectionTo(*from, centre, *movement);
                blockage->velocity = {{{0.0f, 0.0f, 0.0f}}};
            }
            return BZ_NAV_LA_OBSTACLE;
        }
        if (stays)
            return result;
        const bzV3 crossing = {{{at.x + best * move.x, at.y, at.z + best * move.z}}};
        const bzNavEdgeLink *crossed = CrossedLink(mesh, state, edge, crossing);
        if (!crossed || crossed->result == BZ_NAV_LA_ERROR)
            return BZ_NAV_LA_ERROR;
        if (crossed->result == BZ_NAV_LA_PRECIPICE || crossed->result == BZ_NAV_LA_BARRED)
            return crossed->result;
        // The link goes back to its pool when the new face is prepared.
        const bzNavEdgeLink link = *crossed;
        if (link.region < 0 || link.region >= mesh->regionCount || link.group < 0 ||
            link.group >= mesh->regions[link.region].groupCount || link.face < 0 ||
            link.face >= mesh->regions[link.region].groups[link.group].faceCount ||
            mesh->regions[link.region].groups[link.group].entry >= mesh->entryCount)
            return BZ_NAV_LA_ERROR;
        const bzV3 a = link.from, b = link.to;
        state->place = {link.region, link.group, link.face,
                        mesh->entries[mesh->regions[link.region].groups[link.group].entry].lump};
        if (!PrepareFace(mesh, state))
            return BZ_NAV_LA_ERROR;
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
    if (!PrepareFace(mesh, state))
    {
        state->valid = 0;
        return -1;
    }
    return 0;
}

void bz_NavMesh_ReleaseState(bzNavMoveState *state)
{
    if (!state)
        return;
    ReleaseLinks(state);
    ReleaseObstacles(state);
    *state = bzNavMoveState{};
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
                              const bzV3 *movement, const bzNavDynObject *objects,
                              int32_t objectCount, bzNavPlace *out, bzNavBlockage *blockage)
{
    if (!mesh || !state || !from || !movement)
        return BZ_NAV_LA_ERROR;
    if (!state->valid)
        return bz_NavMesh_Locate(mesh, state, from, nullptr) == 0 ? BZ_NAV_LA_SAME_FACE
                                                                  : BZ_NAV_LA_ERROR;
    // The obstacle list is gathered afresh: obstacles may have come or gone since the last move.
    if (state->place.region < 0 || state->place.region >= mesh->regionCount ||
        state->place.group < 0 ||
        state->place.group >= mesh->regions[state->place.region].groupCount ||
        !GatherObstacles(mesh, state))
        return BZ_NAV_LA_ERROR;
    const int32_t result = Walk(mesh, state, from, movement, blockage);
    if (out)
        *out = state->place;
    if (result == BZ_NAV_LA_ERROR || result == BZ_NAV_LA_OBSTACLE)
        return result;
    const bzNavDynObject *object = ObjectInTheWay(*from, *movement, objects, objectCount);
    if (!object)
        return result;
    if (blockage)
    {
        blockage->object = object->lump;
        blockage->direction = DirectionTo(*from, object->position, *movement);
        blockage->velocity = object->velocity;
    }
    return BZ_NAV_LA_DYN_OBJECT;
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
        // A state of its own, starting from the walker's place: its lists are its own.
        bzNavMoveState probe{};
        probe.valid = state->valid;
        probe.place = state->place;
        const bzV3 start = {{{from->x + sign * side.x, from->y, from->z + sign * side.z}}};
        if (bz_NavMesh_Locate(mesh, &probe, &start, nullptr) != 0)
        {
            bz_NavMesh_ReleaseState(&probe);
            return BZ_NAV_LA_ERROR;
        }
        const int32_t result =
            bz_NavMesh_MoveOnFace(mesh, &probe, &start, movement, nullptr, 0, nullptr, nullptr);
        bz_NavMesh_ReleaseState(&probe);
        if (result == BZ_NAV_LA_ERROR)
            return BZ_NAV_LA_ERROR;
        worst = result > worst ? result : worst;
    }
    return worst;
}
