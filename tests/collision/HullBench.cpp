// Cost of the convex hull builder over point counts, for two kinds of cloud: points filling a
// ball (most end inside the hull) and points on a sphere (every point is a hull vertex, the
// worst case), timed beside a brute-force peer that keeps every triple of points whose plane
// has all the points on one side. Built as bench_collision; not run by the tests.
#include "collision/Hull.h"
#include "core/Memory.h"
#include "maths/Vector.h"

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

namespace
{
std::vector<bzV3> Cloud(int32_t n, bool onSphere)
{
    std::mt19937 engine(11u);
    std::normal_distribution<float> g(0.0f, 1.0f);
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    std::vector<bzV3> points((size_t)n);
    for (bzV3 &p : points)
    {
        p = {{{g(engine), g(engine), g(engine)}}};
        bz_V3_Normalise(&p);
        bz_V3_Scale(&p, onSphere ? 5.0f : 5.0f * std::cbrt(u(engine)));
    }
    return points;
}

void HullOf(benchmark::State &state, bool onSphere)
{
    static const bool ready = []
    {
        bz_Mem_Init(nullptr);
        return true;
    }();
    (void)ready;
    const int32_t n = (int32_t)state.range(0);
    const std::vector<bzV3> cloud = Cloud(n, onSphere);
    std::vector<bzV3> points((size_t)n);
    std::vector<bzHullEdge> edges((size_t)MaxEdgesForVertices(n));
    std::vector<bzPlane> planes((size_t)MaxFacesForVertices(n));
    int32_t vertices = 0;
    for (auto _ : state)
    {
        points = cloud;
        bzHull hull = {};
        hull.vertexCount = hull.vertexRoom = (int16_t)n;
        hull.edgeRoom = (int16_t)edges.size();
        hull.faceRoom = (int16_t)planes.size();
        hull.vertices = points.data();
        hull.edges = edges.data();
        hull.planes = planes.data();
        const int32_t result = bz_Hull_Build(&hull, nullptr, nullptr);
        if (result != BZ_HULL_SOLID)
        {
            state.SkipWithError("no solid hull");
            break;
        }
        vertices = hull.vertexCount;
        benchmark::DoNotOptimize(planes.data());
    }
    state.counters["hullVertices"] = vertices;
    state.SetComplexityN(n);
}

void BM_HullOfBall(benchmark::State &state)
{
    HullOf(state, false);
}
void BM_HullOfSphere(benchmark::State &state)
{
    HullOf(state, true);
}
// The brute-force peer: the triples of points that span a supporting plane.
int32_t SupportingTriples(const std::vector<bzV3> &points)
{
    const size_t n = points.size();
    int32_t found = 0;
    for (size_t i = 0; i < n; i++)
        for (size_t j = i + 1; j < n; j++)
            for (size_t k = j + 1; k < n; k++)
            {
                bzV3 e1 = points[j], e2 = points[k];
                bz_V3_Sub(&e1, &points[i]);
                bz_V3_Sub(&e2, &points[i]);
                bzV3 normal;
                bz_V3_CrossInto(&e1, &e2, &normal);
                const float d = bz_V3_Dot(&normal, &points[i]);
                const float slack = 1e-5f * bz_V3_Length(&normal);
                bool above = false, below = false;
                for (size_t m = 0; m < n && !(above && below); m++)
                {
                    const float s = bz_V3_Dot(&normal, &points[m]) - d;
                    above = above || s > slack;
                    below = below || s < -slack;
                }
                found += above != below;
            }
    return found;
}

void BruteForceOf(benchmark::State &state, bool onSphere)
{
    const std::vector<bzV3> cloud = Cloud((int32_t)state.range(0), onSphere);
    int32_t triples = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(triples = SupportingTriples(cloud));
    state.counters["supportingTriples"] = triples;
    state.SetComplexityN(state.range(0));
}

void BM_BruteForceHullOfBall(benchmark::State &state)
{
    BruteForceOf(state, false);
}
void BM_BruteForceHullOfSphere(benchmark::State &state)
{
    BruteForceOf(state, true);
}

BENCHMARK(BM_HullOfBall)->Arg(50)->Arg(200)->Arg(1000)->Complexity();
BENCHMARK(BM_HullOfSphere)->Arg(50)->Arg(200)->Arg(1000)->Complexity();
// The peer is quartic: 1,000 points would take minutes a run.
BENCHMARK(BM_BruteForceHullOfBall)->Arg(50)->Arg(200);
BENCHMARK(BM_BruteForceHullOfSphere)->Arg(50)->Arg(200);
} // namespace
