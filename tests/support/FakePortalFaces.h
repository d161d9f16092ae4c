// A collision layer for the portal room calculation: face lists gathered from the model lumps
// of a lump tree, each face placed by its lumps' transforms and kept when its triangle meets the
// query box (an exact separating-axis test, touching counts), narrowed the same way. Levels
// for it are built from a few solid boxes, each a model of twelve faces.
#pragma once

#include "FakeScene.h"
#include "scene/Lump.h"
#include "scene/PortalFaceServices.h"

#include <array>
#include <cmath>
#include <string>
#include <vector>

struct FakeFaceList
{
    int32_t capacity;
    std::vector<std::array<bzV3, 3>> faces;
};

// Whether the triangle meets the box, faces and edges included (separating axes: the box's three
// axes, the triangle's normal and the nine edge cross products).
inline bool FakeTriangleMeetsBox(const std::array<bzV3, 3> &t, const bzBox &box)
{
    double c[3], h[3], v[3][3];
    for (int k = 0; k < 3; k++)
    {
        c[k] = (box.min.v[k] + (double)box.max.v[k]) * 0.5;
        h[k] = (box.max.v[k] - (double)box.min.v[k]) * 0.5;
        for (int i = 0; i < 3; i++)
            v[i][k] = t[i].v[k] - c[k];
    }
    auto separates = [&](const double a[3])
    {
        double lo = 1e300, hi = -1e300, r = 0;
        for (int i = 0; i < 3; i++)
        {
            const double s = v[i][0] * a[0] + v[i][1] * a[1] + v[i][2] * a[2];
            lo = s < lo ? s : lo;
            hi = s > hi ? s : hi;
        }
        for (int k = 0; k < 3; k++)
            r += h[k] * std::fabs(a[k]);
        return lo > r || hi < -r;
    };
    for (int k = 0; k < 3; k++)
    {
        const double axis[3] = {k == 0 ? 1.0 : 0.0, k == 1 ? 1.0 : 0.0, k == 2 ? 1.0 : 0.0};
        if (separates(axis))
            return false;
    }
    double e[3][3];
    for (int i = 0; i < 3; i++)
        for (int k = 0; k < 3; k++)
            e[i][k] = v[(i + 1) % 3][k] - v[i][k];
    const double n[3] = {e[0][1] * e[1][2] - e[0][2] * e[1][1],
                         e[0][2] * e[1][0] - e[0][0] * e[1][2],
                         e[0][0] * e[1][1] - e[0][1] * e[1][0]};
    if (separates(n))
        return false;
    for (int i = 0; i < 3; i++)
        for (int k = 0; k < 3; k++)
        {
            const double u[3] = {k == 0 ? 1.0 : 0.0, k == 1 ? 1.0 : 0.0, k == 2 ? 1.0 : 0.0};
            const double a[3] = {e[i][1] * u[2] - e[i][2] * u[1], e[i][2] * u[0] - e[i][0] * u[2],
                                 e[i][0] * u[1] - e[i][1] * u[0]};
            if ((a[0] != 0 || a[1] != 0 || a[2] != 0) && separates(a))
                return false;
        }
    return true;
}

class FakePortalFaces
{
public:
    static inline FakePortalFaces *current;

    FakePortalFaces()
    {
        current = this;
        const bzPortalFaceServices services = {
            [](int32_t capacity) -> void *
            {
                current->listsMade++;
                return new FakeFaceList{capacity, {}};
            },
            [](void *list)
            {
                current->listsFreed++;
                delete static_cast<FakeFaceList *>(list);
            },
            [](void *list, const bzBox *box, bzLump *root, uint32_t mask, uint32_t value) -> int32_t
            {
                current->gathers++;
                auto *l = static_cast<FakeFaceList *>(list);
                l->faces.clear();
                struct Walk
                {
                    FakeFaceList *list;
                    const bzBox *box;
                    uint32_t mask, value;
                    bool full;
                };
                Walk walk = {l, box, mask, value, false};
                bz_Lump_WalkFromRoot(
                    root,
                    [](bzLump *lump, const bzM34 *matrix, void *user) -> intptr_t
                    {
                        Walk *w = (Walk *)user;
                        const bzModel *m = bz_Lump_GetModel(lump);
                        if (!m || lump->type != BZ_LUMP_TYPE_MODEL ||
                            (lump->queryFlags & w->mask) != w->value)
                            return 0;
                        for (const bzModelFace &f : m->faces)
                        {
                            std::array<bzV3, 3> t;
                            for (int i = 0; i < 3; i++)
                                bz_M34_TransformPointInto(matrix, &t[i], &m->vertices[f.v[i]]);
                            if (!FakeTriangleMeetsBox(t, *w->box))
                                continue;
                            if ((int32_t)w->list->faces.size() >= w->list->capacity)
                                w->full = true;
                            else
                                w->list->faces.push_back(t);
                        }
                        return 0;
                    },
                    &walk);
                return walk.full ? -1 : (int32_t)l->faces.size();
            },
            [](void *destination, const void *source, const bzBox *box) -> int32_t
            {
                auto *d = static_cast<FakeFaceList *>(destination);
                const auto *s = static_cast<const FakeFaceList *>(source);
                d->faces.clear();
                bool full = false;
                for (const auto &t : s->faces)
                    if (FakeTriangleMeetsBox(t, *box))
                    {
                        if ((int32_t)d->faces.size() >= d->capacity)
                            full = true;
                        else
                            d->faces.push_back(t);
                    }
                // A list with room for no face is short as soon as one meets the box.
                if (current->narrowRefused && !d->faces.empty())
                {
                    d->faces.clear();
                    return -1;
                }
                return full ? -1 : (int32_t)d->faces.size();
            },
        };
        bz_Portals_SetFaceServices(&services);
    }
    ~FakePortalFaces()
    {
        bz_Portals_SetFaceServices(nullptr);
        current = nullptr;
    }

    // Every narrowing that finds a face reports its list short, as a list with room for none
    // would.
    bool narrowRefused = false;
    int gathers = 0;
    int listsMade = 0;
    int listsFreed = 0;
};

// The twelve faces of a solid box as triangle corners, each wound so that its plane, as the
// engine makes it from the corners ((a - b) x (c - b)), faces out of the box.
inline std::vector<bzV3> FakeBoxCorners(const bzBox &b)
{
    const float lo[3] = {b.min.x, b.min.y, b.min.z}, hi[3] = {b.max.x, b.max.y, b.max.z};
    bzV3 c[8];
    for (int i = 0; i < 8; i++)
        c[i] = {{{(i & 1) ? hi[0] : lo[0], (i & 2) ? hi[1] : lo[1], (i & 4) ? hi[2] : lo[2]}}};
    // Corners numbered like octants: bit 0 x, bit 1 y, bit 2 z.
    static const int faces[12][3] = {{0, 3, 2}, {0, 1, 3}, {4, 7, 5}, {4, 6, 7},
                                     {0, 5, 1}, {0, 4, 5}, {2, 7, 6}, {2, 3, 7},
                                     {0, 6, 4}, {0, 2, 6}, {1, 7, 3}, {1, 5, 7}};
    std::vector<bzV3> out;
    for (const auto &f : faces)
        for (int k : f)
            out.push_back(c[k]);
    return out;
}

// A MODEL lump of the solid box below the parent.
inline bzLump *AddFakeBox(FakeModels &models, bzLump *parent, const bzBox &box,
                          const std::string &name)
{
    bzLump *lump = bz_Lump_CreateModel(models.NewMesh(name, FakeBoxCorners(box)));
    bz_Lump_AppendChild(parent, lump);
    return lump;
}
