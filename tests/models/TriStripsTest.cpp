#include "models/TriStrips.h"

#include "ModelsTestSupport.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <random>
#include <vector>

namespace
{
using TriStripsTest = ModelRecordsTest;
using Tri = std::array<uint32_t, 3>;

// The triangle with its smallest vertex first, winding kept.
Tri Canonical(Tri t)
{
    while (t[0] > t[1] || t[0] > t[2])
        t = {t[1], t[2], t[0]};
    return t;
}

// What the back end draws for an entry: the strip's triangles (odd ones reversed, those with
// two equal vertices skipped) and the list's, as part vertex numbers, sorted.
std::vector<Tri> Drawn(const bzMaterialEntry &e)
{
    std::vector<Tri> out;
    for (uint32_t k = 2; k < e.stripIndexCount; ++k)
    {
        const uint32_t a = e.baseVertex + e.stripIndices[k - 2];
        const uint32_t b = e.baseVertex + e.stripIndices[k - 1];
        const uint32_t c = e.baseVertex + e.stripIndices[k];
        if (a == b || b == c || a == c)
            continue;
        out.push_back(Canonical(k % 2 == 0 ? Tri{a, b, c} : Tri{a, c, b}));
    }
    for (uint32_t k = 0; k + 2 < e.listIndexCount; k += 3)
        out.push_back(
            Canonical({e.listBaseVertex + e.listIndices[k], e.listBaseVertex + e.listIndices[k + 1],
                       e.listBaseVertex + e.listIndices[k + 2]}));
    std::sort(out.begin(), out.end());
    return out;
}

std::vector<Tri> Sorted(std::vector<Tri> tris)
{
    for (Tri &t : tris)
        t = Canonical(t);
    std::sort(tris.begin(), tris.end());
    return tris;
}

// A model whose part has one material entry holding the triangles as its list.
bzModel *ModelWith(const std::vector<Tri> &tris)
{
    bzModel *m = bz_CreateModel(0, 0);
    bzMaterialEntry *e = bz_AllocModelMaterialEntries(bz_CreateModelPart(m), 1, nullptr);
    e->listIndexCount = static_cast<uint32_t>(3 * tris.size());
    e->listIndices =
        static_cast<uint16_t *>(bz_MemAlloc(static_cast<uint32_t>(6 * tris.size() + 2), 0));
    for (size_t i = 0; i < tris.size(); ++i)
        for (size_t k = 0; k < 3; ++k)
            e->listIndices[3 * i + k] = static_cast<uint16_t>(tris[i][k]);
    return m;
}

int32_t Strip(std::vector<Tri> tris, std::vector<uint32_t> *strips, std::vector<int32_t> *lengths)
{
    strips->assign(3 * tris.size() + 3, 0);
    lengths->assign(BZ_TRISTRIP_MAX_STRIPS, 0);
    int32_t count = 0;
    const int32_t left =
        BuildTriStrips(tris.empty() ? nullptr : tris[0].data(), static_cast<int32_t>(tris.size()),
                       strips->data(), &count, lengths->data());
    lengths->resize(static_cast<size_t>(count));
    return left;
}

TEST_F(TriStripsTest, SmallCases)
{
    std::vector<uint32_t> strips;
    std::vector<int32_t> lengths;
    // Two triangles wound alike make one strip of four.
    EXPECT_EQ(Strip({{0, 1, 2}, {2, 1, 3}}, &strips, &lengths), 0);
    ASSERT_EQ(lengths, std::vector<int32_t>{4});
    EXPECT_EQ(std::vector<uint32_t>(strips.begin(), strips.begin() + 4),
              (std::vector<uint32_t>{0, 1, 2, 3}));
    // Opposite winding (the shared edge runs the same way in both): no strip.
    EXPECT_EQ(Strip({{0, 1, 2}, {1, 2, 3}}, &strips, &lengths), 2);
    EXPECT_TRUE(lengths.empty());
    // One triangle stays a triangle.
    EXPECT_EQ(Strip({{0, 1, 2}}, &strips, &lengths), 1);
    EXPECT_TRUE(lengths.empty());
    EXPECT_EQ(Strip({}, &strips, &lengths), 0);
    // The leftovers move to the front in their order.
    std::vector<Tri> tris = {{7, 8, 9}, {0, 1, 2}, {4, 5, 6}, {2, 1, 3}};
    int32_t count = 0;
    std::vector<int32_t> table(BZ_TRISTRIP_MAX_STRIPS);
    strips.assign(16, 0);
    EXPECT_EQ(BuildTriStrips(tris[0].data(), 4, strips.data(), &count, table.data()), 2);
    EXPECT_EQ(tris[0], (Tri{7, 8, 9}));
    EXPECT_EQ(tris[1], (Tri{4, 5, 6}));
}

TEST_F(TriStripsTest, StripsOfFourAndFiveJoinIntoElevenIndices)
{
    const std::vector<Tri> tris = {
        {20, 21, 22}, {22, 21, 23},               // a quad: strip 20 21 22 23
        {30, 31, 32}, {32, 31, 33}, {32, 33, 34}, // a run: strip 30 31 32 33 34
        {50, 51, 52},                             // alone
    };
    bzModel *m = ModelWith(tris);
    EXPECT_EQ(BuildModelTriStrips(m), 0);
    const bzMaterialEntry &e = m->part->entries[0];
    ASSERT_EQ(e.stripIndexCount, 11u);
    EXPECT_EQ(e.baseVertex, 20u);
    EXPECT_EQ(e.verticesUsed, 15u);
    const uint16_t expected[] = {0, 1, 2, 3, 3, 10, 10, 11, 12, 13, 14};
    EXPECT_TRUE(std::equal(expected, expected + 11, e.stripIndices));
    ASSERT_EQ(e.listIndexCount, 3u);
    EXPECT_EQ(e.listBaseVertex, 50u);
    EXPECT_EQ(e.listVertexSpan, 3u);
    EXPECT_EQ(e.listIndices[2], 2);
    EXPECT_EQ(ModelHasTriStrips(m), 1);
    EXPECT_EQ(Drawn(e), Sorted(tris));

    const uint32_t rebuilds = bz_MemDevice_CallCount(101);
    EXPECT_EQ(UndoModelTriStrips(m), 0);
    EXPECT_EQ(bz_MemDevice_CallCount(101), rebuilds + 1);
    EXPECT_EQ(ModelHasTriStrips(m), 0);
    EXPECT_EQ(e.stripIndices, nullptr);
    EXPECT_EQ(e.listIndexCount, 18u);
    EXPECT_EQ(Drawn(e), Sorted(tris));
    bz_ReleaseModel(m);
}

TEST_F(TriStripsTest, AnOddStripRepeatsItsLastVertexTwice)
{
    const std::vector<Tri> tris = {
        {30, 31, 32}, {32, 31, 33}, {32, 33, 34}, // strip 30 31 32 33 34
        {20, 21, 22}, {22, 21, 23},               // strip 20 21 22 23
    };
    bzModel *m = ModelWith(tris);
    BuildModelTriStrips(m);
    const bzMaterialEntry &e = m->part->entries[0];
    const uint16_t expected[] = {10, 11, 12, 13, 14, 14, 14, 0, 0, 1, 2, 3};
    ASSERT_EQ(e.stripIndexCount, 12u);
    EXPECT_EQ(e.baseVertex, 20u);
    EXPECT_TRUE(std::equal(expected, expected + 12, e.stripIndices));
    EXPECT_EQ(e.listIndexCount, 0u);
    EXPECT_EQ(e.listIndices, nullptr);
    EXPECT_EQ(Drawn(e), Sorted(tris));
    bz_ReleaseModel(m);
}

TEST_F(TriStripsTest, TheStripLengthTableDoesNotOverflow)
{
    // 2,100 separate quads: 2,048 become strips, the other 52 stay in the list.
    std::vector<Tri> tris;
    for (uint32_t q = 0; q < 2100; ++q)
    {
        const uint32_t v = 4 * q;
        tris.push_back({v, v + 1, v + 2});
        tris.push_back({v + 2, v + 1, v + 3});
    }
    bzModel *m = ModelWith(tris);
    EXPECT_EQ(BuildModelTriStrips(m), 0);
    const bzMaterialEntry &e = m->part->entries[0];
    // 2 + (4 - 2) a strip + 4 a join.
    EXPECT_EQ(e.stripIndexCount, 2u + 2048u * 2 + 2047u * 4);
    EXPECT_EQ(e.listIndexCount, 52u * 2 * 3);
    EXPECT_EQ(Drawn(e), Sorted(tris));
    bz_ReleaseModel(m);
}

// Random meshes: a grid of quads, each split along a random diagonal, some triangles dropped,
// some turned round, vertices shuffled; the strips and the list draw exactly the input, and
// undoing the strips gives it back.
TEST_F(TriStripsTest, StripsDrawExactlyTheInputTriangles)
{
    std::mt19937 rng(21);
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
    int32_t rounds = 0;
    while (rounds < 40 || (std::chrono::steady_clock::now() < until && rounds < 400))
    {
        ++rounds;
        const uint32_t w = 2 + rng() % 8, h = 2 + rng() % 8;
        std::vector<uint32_t> label((w + 1) * (h + 1));
        for (uint32_t i = 0; i < label.size(); ++i)
            label[i] = i;
        std::shuffle(label.begin(), label.end(), rng);
        auto at = [&](uint32_t x, uint32_t y) { return label[y * (w + 1) + x]; };
        std::vector<Tri> tris;
        for (uint32_t y = 0; y < h; ++y)
            for (uint32_t x = 0; x < w; ++x)
            {
                const uint32_t a = at(x, y), b = at(x + 1, y), c = at(x + 1, y + 1),
                               d = at(x, y + 1);
                const bool diagonal = rng() % 2;
                Tri t1 = diagonal ? Tri{a, b, c} : Tri{a, b, d};
                Tri t2 = diagonal ? Tri{a, c, d} : Tri{b, c, d};
                for (Tri *t : {&t1, &t2})
                {
                    if (rng() % 10 == 0)
                        continue;
                    if (rng() % 8 == 0)
                        std::swap((*t)[1], (*t)[2]);
                    tris.push_back(*t);
                }
            }
        std::shuffle(tris.begin(), tris.end(), rng);
        bzModel *m = ModelWith(tris);
        ASSERT_EQ(BuildModelTriStrips(m), 0);
        const bzMaterialEntry &e = m->part->entries[0];
        ASSERT_EQ(Drawn(e), Sorted(tris)) << "round " << rounds;
        ASSERT_EQ(UndoModelTriStrips(m), 0);
        ASSERT_EQ(e.stripIndexCount, 0u);
        ASSERT_EQ(Drawn(e), Sorted(tris)) << "round " << rounds;
        bz_ReleaseModel(m);
    }
}
} // namespace
