// The physics' parts joined at start-up: the overlap search meets bodies through the real pair
// collision once the services are installed, and through nothing once they are removed.
#include "physics/BroadPhase.h"
#include "physics/OverlappingBody.h"
#include "physics/PhysInstall.h"
#include "physics/PhysServices.h"

#include "PairTestBodies.h"

#include <gtest/gtest.h>

namespace
{
TEST(PhysInstallTest, TheOverlapSearchUsesTheRealPairCollisionOnlyWhileInstalled)
{
    using pairtest::V;
    // A unit box swept from x = -3 to x = 0 into a resting box at x = 1.5.
    pairbody::PairBody a(pairtest::AlignedCuboid(V(-1, -1, -1), V(1, 1, 1)), 1.0f);
    pairbody::PairBody b(pairtest::AlignedCuboid(V(-1, -1, -1), V(1, 1, 1)), 1.0f);
    auto place = [&](float bx)
    {
        a.Move(V(-3.0f, 0, 0), V(0, 0, 0));
        b.Move(V(bx, 0, 0), V(bx, 0, 0));
        bz_Phys_ComputeBoxes(b.get(), b.get(), nullptr);
    };
    a.get()->nextSibling = b.get();

    bz_Phys_InstallServices();
    ASSERT_NE(bzgPhysStepServices.collidePair, nullptr);
    place(1.5f);
    EXPECT_EQ(bz_Phys_FindOverlappingBody(a.get(), a.get()), 1);
    // Far apart: nothing.
    place(5.0f);
    EXPECT_EQ(bz_Phys_FindOverlappingBody(a.get(), a.get()), 0);

    bz_Phys_RemoveServices();
    EXPECT_EQ(bzgPhysStepServices.collidePair, nullptr);
    place(1.5f);
    EXPECT_EQ(bz_Phys_FindOverlappingBody(a.get(), a.get()), 0);
}
} // namespace
