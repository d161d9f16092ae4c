// The contact record of the collision code and the physics row are one record under two names:
// the collision provider of the step writes the one where the solver reads the other. The
// physics side checks its row against the same offsets where it hands its rows over.
#include "collision/CollisionContact.h"

#include <gtest/gtest.h>

#include <cstddef>

namespace
{
TEST(ContactLayoutTest, TheCollisionContactHasTheRowLayoutOfThePhysics)
{
    if (sizeof(void *) != 8)
        GTEST_SKIP() << "offsets written for 64-bit pointers";
    EXPECT_EQ(sizeof(bzCollisionContact), 160u);
    EXPECT_EQ(offsetof(bzCollisionContact, body), 8u);
    EXPECT_EQ(offsetof(bzCollisionContact, otherBody), 16u);
    EXPECT_EQ(offsetof(bzCollisionContact, face), 24u);
    EXPECT_EQ(offsetof(bzCollisionContact, type), 32u);
    EXPECT_EQ(offsetof(bzCollisionContact, value), 36u);
    EXPECT_EQ(offsetof(bzCollisionContact, shape), 40u);
    EXPECT_EQ(offsetof(bzCollisionContact, otherShape), 48u);
    EXPECT_EQ(offsetof(bzCollisionContact, point), 56u);
    EXPECT_EQ(offsetof(bzCollisionContact, normal), 68u);
    EXPECT_EQ(offsetof(bzCollisionContact, response), 80u);
    EXPECT_EQ(offsetof(bzCollisionContact, otherPoint), 92u);
    EXPECT_EQ(offsetof(bzCollisionContact, otherNormal), 104u);
    EXPECT_EQ(offsetof(bzCollisionContact, otherResponse), 116u);
    EXPECT_EQ(offsetof(bzCollisionContact, coupling), 128u);
    EXPECT_EQ(offsetof(bzCollisionContact, otherCoupling), 144u);
}
} // namespace
