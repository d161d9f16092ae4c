// The pair tests, containment and ray queries take nothing from the engine's memory manager or
// the system heap while they run.
#include "PairTestShapes.h"
#include "collision/ShapeRay.h"
#include "core/Memory.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace
{
std::atomic<long> gNewCalls{0};
} // namespace

void *operator new(std::size_t size)
{
    gNewCalls++;
    if (void *p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete(void *p) noexcept
{
    std::free(p);
}
void operator delete(void *p, std::size_t) noexcept
{
    std::free(p);
}

using namespace pairtest;

namespace
{
TEST(PairNoAlloc, QueriesTakeNoMemory)
{
    std::vector<FormPtr> forms;
    forms.push_back(AlignedCuboid(V(0, 0, 0), V(1, 1, 1)));
    forms.push_back(Hull(BZ_SHAPE_POLYHEDRON, BoxPoints(V(0, 0, 0), V(1, 1, 1))));
    forms.push_back(Sphere(V(0.5f, 0.5f, 0.5f), 0.6f));
    forms.push_back(TicTac(V(0, 0, 0), V(1, 1, 1), 0.3f));
    forms.push_back(Cuboid(V(0, 0, 0), V(1, 1, 1), Translation(0.2f, 0, 0)));
    forms.push_back(AlignedHalfSpace(BZ_DIRECTION_Y_PLUS, 0.5f));
    forms.push_back(HalfSpace(V(0, 1, 0), 0.5f));
    forms.push_back(Hull(BZ_SHAPE_ROUNDED_POLYHEDRON, BoxPoints(V(0, 0, 0), V(1, 1, 1)), 0.2f));
    std::vector<bzM34> placements;
    std::mt19937 rng(3);
    for (int i = 0; i < 8; i++)
        placements.push_back(RandomPlacement(rng, 0.8f));
    // The counter sees an allocation of this program.
    const long probe = gNewCalls.load();
    int *volatile box = new int(1);
    delete box;
    ASSERT_EQ(gNewCalls.load(), probe + 1);

    bzMemStats before, after;
    bz_Mem_GetStats(&before);
    const long newBefore = gNewCalls.load();
    int hits = 0;
    for (size_t a = 0; a < forms.size(); a++)
        for (size_t b = 0; b < forms.size(); b++)
        {
            hits += bz_Form_IntersectForm(forms[a].get(), &placements[a], forms[b].get(),
                                          &placements[b]);
            const bzV3 p = V(0.5f, 0.4f, 0.3f);
            hits += bz_Form_ContainsPoint(forms[a].get(), &p);
            const bzRay ray = {V(-2, 0.5f, 0.5f), V(4, 0.1f, 0.2f), 0};
            hits += bz_Form_RayIntersect(forms[a].get(), &ray, nullptr, nullptr, nullptr, nullptr);
        }
    const long newAfter = gNewCalls.load();
    bz_Mem_GetStats(&after);
    EXPECT_GT(hits, 0);
    EXPECT_EQ(newAfter, newBefore);
    EXPECT_EQ(after.blockCount, before.blockCount);
    EXPECT_EQ(after.bytesInUse, before.bytesInUse);
}
} // namespace
