// A generated level for the octree and ray query tests and the benchmark: a NULL root with
// model lumps, each a cluster of small triangles, rotated and translated; and the plain loop
// over every face of it in world space (double precision) that the octree path must agree
// with.
#pragma once

#include "../support/FakeScene.h"
#include "maths/Matrix.h"
#include "maths/Vector.h"
#include "scene/Lump.h"

#include <cmath>
#include <random>
#include <vector>

struct TestLevel
{
    bzLump *root = nullptr;
    std::vector<bzLump *> lumps;
    // Every face in world space with its lump.
    struct Face
    {
        double p[3][3];
        bzLump *lump;
    };
    std::vector<Face> faces;
    float size = 0;
};

// lumpCount lumps of facesPerLump triangles (edges up to edge metres) within a cluster of
// clusterSize metres, spread over a level of size metres on x and z and size / 4 on y.
inline TestLevel MakeTestLevel(FakeModels &models, uint32_t generator, int lumpCount,
                               int facesPerLump, float size, float clusterSize, float edge)
{
    std::mt19937 rng(generator);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    TestLevel level;
    level.size = size;
    level.root = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "level");
    for (int k = 0; k < lumpCount; k++)
    {
        std::vector<bzV3> corners;
        for (int f = 0; f < facesPerLump; f++)
        {
            bzV3 a = {{{(unit(rng) - 0.5f) * clusterSize, (unit(rng) - 0.5f) * clusterSize,
                        (unit(rng) - 0.5f) * clusterSize}}};
            corners.push_back(a);
            for (int i = 0; i < 2; i++)
                corners.push_back(
                    {{{a.x + (unit(rng) - 0.5f) * edge, a.y + (unit(rng) - 0.5f) * edge,
                       a.z + (unit(rng) - 0.5f) * edge}}});
        }
        bzModel *model = models.NewMesh("rock" + std::to_string(k), corners);
        bzLump *lump = bz_Lump_CreateModel(model);
        bz_M34_FromEulerXYZ(&lump->matrix, unit(rng) * 360.0f, unit(rng) * 360.0f,
                            unit(rng) * 360.0f);
        // Every third lump only translated, so unrotated placements are covered as well.
        if (k % 3 == 0)
            bz_M34_SetIdentity(&lump->matrix);
        bz_M34_SetTranslation(&lump->matrix, (unit(rng) - 0.5f) * size,
                              (unit(rng) - 0.5f) * size * 0.25f, (unit(rng) - 0.5f) * size);
        bz_Lump_AppendChild(level.root, lump);
        level.lumps.push_back(lump);
        for (const bzModelFace &f : model->faces)
        {
            TestLevel::Face face;
            face.lump = lump;
            for (int i = 0; i < 3; i++)
            {
                bzV3 w;
                bz_M34_TransformPointInto(&lump->matrix, &w, &model->vertices[f.v[i]]);
                for (int j = 0; j < 3; j++)
                    face.p[i][j] = w.v[j];
            }
            level.faces.push_back(face);
        }
    }
    return level;
}

// The nearest one-sided hit of the segment over every face, in double precision: t (or -1)
// and the lump; nearBoundary says the hit lies within a hair of a face's edge, where float
// and double may disagree.
struct PlainHit
{
    double t = -1;
    bzLump *lump = nullptr;
    bool nearBoundary = false;
};

inline PlainHit PlainNearestHit(const TestLevel &level, const bzRay &ray)
{
    PlainHit best;
    const double o[3] = {ray.origin.x, ray.origin.y, ray.origin.z};
    const double d[3] = {ray.delta.x, ray.delta.y, ray.delta.z};
    for (const TestLevel::Face &f : level.faces)
    {
        // The normal the engine uses: (p0 - p1) x (p2 - p1).
        double a[3], b[3], n[3];
        for (int j = 0; j < 3; j++)
        {
            a[j] = f.p[0][j] - f.p[1][j];
            b[j] = f.p[2][j] - f.p[1][j];
        }
        n[0] = a[1] * b[2] - a[2] * b[1];
        n[1] = a[2] * b[0] - a[0] * b[2];
        n[2] = a[0] * b[1] - a[1] * b[0];
        const double len = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
        if (len < 1e-9)
            continue;
        for (double &c : n)
            c /= len;
        const double denom = n[0] * d[0] + n[1] * d[1] + n[2] * d[2];
        if (!(denom < -1.1920929e-7))
            continue;
        const double t =
            (n[0] * (f.p[0][0] - o[0]) + n[1] * (f.p[0][1] - o[1]) + n[2] * (f.p[0][2] - o[2])) /
            denom;
        if (t < 0 || t > 1.00001 || (best.t >= 0 && t >= best.t))
            continue;
        // Barycentric weights of the hit point.
        double q[3], e1[3], e2[3];
        for (int j = 0; j < 3; j++)
        {
            q[j] = o[j] + t * d[j] - f.p[0][j];
            e1[j] = f.p[1][j] - f.p[0][j];
            e2[j] = f.p[2][j] - f.p[0][j];
        }
        const double d11 = e1[0] * e1[0] + e1[1] * e1[1] + e1[2] * e1[2];
        const double d12 = e1[0] * e2[0] + e1[1] * e2[1] + e1[2] * e2[2];
        const double d22 = e2[0] * e2[0] + e2[1] * e2[1] + e2[2] * e2[2];
        const double q1 = q[0] * e1[0] + q[1] * e1[1] + q[2] * e1[2];
        const double q2 = q[0] * e2[0] + q[1] * e2[1] + q[2] * e2[2];
        const double det = d11 * d22 - d12 * d12;
        if (det <= 0)
            continue;
        const double w1 = (q1 * d22 - q2 * d12) / det;
        const double w2 = (q2 * d11 - q1 * d12) / det;
        const double margin = 2e-3;
        const bool near =
            std::fabs(w1) < margin || std::fabs(w2) < margin || std::fabs(1 - w1 - w2) < margin;
        if (w1 < -0.0001 || w2 < -0.0001 || w1 + w2 > 1.0001)
        {
            if (w1 > -margin && w2 > -margin && w1 + w2 < 1 + margin)
                best.nearBoundary = true;
            continue;
        }
        best.t = t;
        best.lump = f.lump;
        best.nearBoundary = best.nearBoundary || near;
    }
    return best;
}
