// Micro-benchmarks of the vector and matrix kernels, for comparing later changes; the 3x3
// inverse is timed against glm's when glm is installed. Built as bench_maths; not run by the
// tests.
#include "maths/Approx.h"
#include "maths/Geometry.h"
#include "maths/Matrix.h"
#include "maths/Quat.h"
#include "maths/Vector.h"

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#if TOLVANE_BENCH_GLM
#include <glm/glm.hpp>
#endif

namespace
{
constexpr int kCount = 1024;

struct Data
{
    std::vector<bzM34> matrices;
    std::vector<bzV3> points;
    std::vector<bzQuat> quats;
    std::vector<bzBox> boxes;
    std::vector<bzM33> general; // well-conditioned 3x3 matrices that are not rotations

    Data()
    {
        std::mt19937 engine(7);
        std::uniform_real_distribution<float> u(-1.0f, 1.0f);
        for (int i = 0; i < kCount; i++)
        {
            bzM34 m;
            const bzV3 axis = {u(engine), u(engine), u(engine) + 2.0f};
            bz_M34_FromAxisAngle(&m, &axis, 180.0f * u(engine));
            bz_M34_SetTranslation(&m, 10 * u(engine), 10 * u(engine), 10 * u(engine));
            matrices.push_back(m);
            points.push_back(bzV3{5 * u(engine), 5 * u(engine), 5 * u(engine)});
            bzQuat q;
            bz_Quat_FromM33(&m, &q);
            quats.push_back(q);
            const bzV3 lo = {u(engine) - 1, u(engine) - 1, u(engine) - 1};
            boxes.push_back(bzBox{lo, {lo.x + 1, lo.y + 1, lo.z + 1}});
            bzM33 g;
            for (int r = 0; r < 3; r++)
                g.row[r] = bzV3{u(engine), u(engine), u(engine)};
            g.row[0].x += 3.0f;
            g.row[1].y += 3.0f;
            g.row[2].z += 3.0f;
            general.push_back(g);
        }
    }
};

const Data &Inputs()
{
    static const Data data;
    return data;
}

void BM_MulM34Into(benchmark::State &state)
{
    const Data &d = Inputs();
    bzM34 out;
    int i = 0;
    for (auto _ : state)
    {
        bz_MulM34Into(&d.matrices[i], &out, &d.matrices[(i + 1) & (kCount - 1)]);
        benchmark::DoNotOptimize(out);
        i = (i + 1) & (kCount - 1);
    }
}
BENCHMARK(BM_MulM34Into);

void BM_MulM33Into(benchmark::State &state)
{
    const Data &d = Inputs();
    bzM33 out;
    int i = 0;
    for (auto _ : state)
    {
        bz_MulM33Into(&d.matrices[i], &out, &d.matrices[(i + 1) & (kCount - 1)]);
        benchmark::DoNotOptimize(out);
        i = (i + 1) & (kCount - 1);
    }
}
BENCHMARK(BM_MulM33Into);

void BM_MulM44Into(benchmark::State &state)
{
    const Data &d = Inputs();
    bzM44 a, b, out;
    bz_M34ToM44(&a, &d.matrices[0]);
    bz_M34ToM44(&b, &d.matrices[1]);
    for (auto _ : state)
    {
        bz_MulM44Into(&a, &out, &b);
        benchmark::DoNotOptimize(out);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_MulM44Into);

void BM_TransformPoints(benchmark::State &state)
{
    const Data &d = Inputs();
    const bzM34 &m = d.matrices[3];
    for (auto _ : state)
    {
        for (const bzV3 &p : d.points)
        {
            bzV3 out;
            bz_M34_TransformPointInto(&m, &out, &p);
            benchmark::DoNotOptimize(out);
        }
    }
    state.SetItemsProcessed(state.iterations() * kCount);
}
BENCHMARK(BM_TransformPoints);

void BM_InverseTransformPoints(benchmark::State &state)
{
    const Data &d = Inputs();
    const bzM34 &m = d.matrices[5];
    for (auto _ : state)
    {
        for (const bzV3 &p : d.points)
        {
            bzV3 out;
            bz_M34_InverseTransformPointInto(&m, &out, &p);
            benchmark::DoNotOptimize(out);
        }
    }
    state.SetItemsProcessed(state.iterations() * kCount);
}
BENCHMARK(BM_InverseTransformPoints);

void BM_NormaliseV3(benchmark::State &state)
{
    const Data &d = Inputs();
    for (auto _ : state)
    {
        for (const bzV3 &p : d.points)
        {
            bzV3 v = p;
            bz_V3_Normalise(&v);
            benchmark::DoNotOptimize(v);
        }
    }
    state.SetItemsProcessed(state.iterations() * kCount);
}
BENCHMARK(BM_NormaliseV3);

void BM_CrossAndDot(benchmark::State &state)
{
    const Data &d = Inputs();
    for (auto _ : state)
    {
        float sum = 0.0f;
        for (int i = 0; i + 1 < kCount; i++)
        {
            bzV3 c;
            bz_V3_CrossInto(&d.points[i], &d.points[i + 1], &c);
            sum += bz_V3_Dot(&c, &d.points[i]);
        }
        benchmark::DoNotOptimize(sum);
    }
}
BENCHMARK(BM_CrossAndDot);

void BM_InverseOrthoM34(benchmark::State &state)
{
    const Data &d = Inputs();
    bzM34 out;
    int i = 0;
    for (auto _ : state)
    {
        bz_InverseOrthoM34Into(&d.matrices[i], &out);
        benchmark::DoNotOptimize(out);
        i = (i + 1) & (kCount - 1);
    }
}
BENCHMARK(BM_InverseOrthoM34);

void BM_InverseM34(benchmark::State &state)
{
    const Data &d = Inputs();
    bzM34 out;
    int i = 0;
    for (auto _ : state)
    {
        bz_InverseM34Into(&d.matrices[i], &out);
        benchmark::DoNotOptimize(out);
        i = (i + 1) & (kCount - 1);
    }
}
BENCHMARK(BM_InverseM34);

// The 3x3 inverse over 1,024 matrices per round: the checked and unchecked forms, and glm's.
void BM_InverseM33_Checked(benchmark::State &state)
{
    const Data &d = Inputs();
    std::vector<bzM33> out(kCount);
    for (auto _ : state)
    {
        for (int i = 0; i < kCount; i++)
            bz_InverseM33Into(&d.general[i], &out[i]);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kCount);
}
BENCHMARK(BM_InverseM33_Checked);

void BM_InverseM33_Unchecked(benchmark::State &state)
{
    const Data &d = Inputs();
    std::vector<bzM33> out(kCount);
    for (auto _ : state)
    {
        for (int i = 0; i < kCount; i++)
            bz_InverseM33IntoSigned(&d.general[i], &out[i]);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kCount);
}
BENCHMARK(BM_InverseM33_Unchecked);

#if TOLVANE_BENCH_GLM
void BM_InverseM33_Glm(benchmark::State &state)
{
    const Data &d = Inputs();
    std::vector<glm::mat3> in(kCount), out(kCount);
    for (int i = 0; i < kCount; i++)
        for (int r = 0; r < 3; r++)
            in[i][r] =
                glm::vec3(d.general[i].row[r].x, d.general[i].row[r].y, d.general[i].row[r].z);
    for (auto _ : state)
    {
        for (int i = 0; i < kCount; i++)
            out[i] = glm::inverse(in[i]);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kCount);
}
BENCHMARK(BM_InverseM33_Glm);
#endif

void BM_QuatRotateV3(benchmark::State &state)
{
    const Data &d = Inputs();
    for (auto _ : state)
    {
        for (int i = 0; i < kCount; i++)
        {
            bzV3 out;
            bz_Quat_RotateV3Into(&d.quats[i], &out, &d.points[i]);
            benchmark::DoNotOptimize(out);
        }
    }
    state.SetItemsProcessed(state.iterations() * kCount);
}
BENCHMARK(BM_QuatRotateV3);

void BM_QuatMatrixRoundTrip(benchmark::State &state)
{
    const Data &d = Inputs();
    int i = 0;
    for (auto _ : state)
    {
        bzQuat q;
        bz_Quat_FromM33(&d.matrices[i], &q);
        bzM33 m;
        bz_Quat_ToM33(&q, &m);
        benchmark::DoNotOptimize(m);
        i = (i + 1) & (kCount - 1);
    }
}
BENCHMARK(BM_QuatMatrixRoundTrip);

void BM_RayBox(benchmark::State &state)
{
    const Data &d = Inputs();
    for (auto _ : state)
    {
        int hits = 0;
        for (int i = 0; i < kCount; i++)
        {
            const bzRay ray = {d.points[i], {-d.points[i].x, -d.points[i].y, -d.points[i].z}, 0};
            hits += bz_Ray_BoxIntersect(&ray, &d.boxes[i], nullptr, nullptr, nullptr) != 0;
        }
        benchmark::DoNotOptimize(hits);
    }
    state.SetItemsProcessed(state.iterations() * kCount);
}
BENCHMARK(BM_RayBox);

void BM_BoxTransform(benchmark::State &state)
{
    const Data &d = Inputs();
    for (auto _ : state)
    {
        for (int i = 0; i < kCount; i++)
        {
            bzBox out;
            bz_Box_TransformInto(&d.boxes[i], &d.matrices[i], &out);
            benchmark::DoNotOptimize(out);
        }
    }
    state.SetItemsProcessed(state.iterations() * kCount);
}
BENCHMARK(BM_BoxTransform);

void BM_ATan2(benchmark::State &state)
{
    const Data &d = Inputs();
    for (auto _ : state)
    {
        float sum = 0.0f;
        for (const bzV3 &p : d.points)
            sum += bz_ATan2(p.y, p.x);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * kCount);
}
BENCHMARK(BM_ATan2);
} // namespace

