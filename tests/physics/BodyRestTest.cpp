// The box-corner speed test and the rest counter.
#include "collision/PairTestShapes.h"
#include "physics/Body.h"
#include "physics/BodyRest.h"
#include "physics/PhysSettings.h"

#include <gtest/gtest.h>

namespace
{
using pairtest::V;

TEST(BodyRestTest, CornerSpeedAgainstTheLimit)
{
    auto form = pairtest::AlignedCuboid(V(-1, -1, -1), V(1, 1, 1));
    struct Case
    {
        bzV3 centre, linear, angular;
        uint32_t flags;
        float limit;
        int32_t slow;
    };
    const Case cases[] = {
        // Spin 1 about z: the fastest corners move at sqrt 2.
        {V(0, 0, 0), V(0, 0, 0), V(0, 0, 1), 0, 2.0f, 1},
        {V(0, 0, 0), V(0, 0, 0), V(0, 0, 1), 0, 1.99f, 0},
        // Centre of mass at x = 1: the far corners are 2 away in x and 1 in y: speed^2 5.
        {V(1, 0, 0), V(0, 0, 0), V(0, 0, 1), 0, 5.0f, 1},
        {V(1, 0, 0), V(0, 0, 0), V(0, 0, 1), 0, 4.9f, 0},
        // Pure sliding at speed 3.
        {V(0, 0, 0), V(0, 0, 3), V(0, 0, 0), 0, 9.0f, 1},
        {V(0, 0, 0), V(0, 0, 3), V(0, 0, 0), 0, 8.9f, 0},
        // Sliding against spin: corner (1, -1, z) moves at (3, 0, 0) + (1, 1, 0) = (4, 1, 0).
        {V(0, 0, 0), V(3, 0, 0), V(0, 0, 1), 0, 17.0f, 1},
        {V(0, 0, 0), V(3, 0, 0), V(0, 0, 1), 0, 16.9f, 0},
        // Without the corner test every body is slow.
        {V(0, 0, 0), V(0, 0, 30), V(0, 0, 9), BZ_PHYS_NO_CORNER_TEST, 0.0f, 1},
    };
    for (const Case &c : cases)
    {
        BZDObject body = {};
        body.form = form.get();
        body.centreOfMass = c.centre;
        body.localLinearVelocity = c.linear;
        body.angularVelocity = c.angular;
        body.physicsFlags = c.flags;
        EXPECT_EQ(bz_Phys_BoxCornersSlow(&body, c.limit), c.slow) << c.limit;
    }
    // Without a form only the centre of mass counts.
    BZDObject loose = {};
    loose.localLinearVelocity = V(0, 2, 0);
    loose.angularVelocity = V(0, 0, 100);
    EXPECT_EQ(bz_Phys_BoxCornersSlow(&loose, 4.0f), 1);
    EXPECT_EQ(bz_Phys_BoxCornersSlow(&loose, 3.9f), 0);
}

TEST(BodyRestTest, RestCounterStartsAtFiveAndRestartsAtFour)
{
    BZDObject body = {};
    body.contactKind = BZ_PHYS_CONTACT_WORLD;
    EXPECT_EQ(bz_Phys_StartRestCount(&body), 1);
    EXPECT_EQ(body.restCounter, 5);
    EXPECT_EQ(body.savedContactKind, BZ_PHYS_CONTACT_WORLD);
    EXPECT_EQ(bz_Phys_StartRestCount(&body), 1); // at the start value: restarts
    EXPECT_EQ(body.restCounter, 4);
    EXPECT_EQ(bz_Phys_StartRestCount(&body), 0); // counted: may become quiet
    EXPECT_EQ(body.restCounter, 4);
    // New contact bits restart the count.
    body.contactKind = BZ_PHYS_CONTACT_WORLD | BZ_PHYS_CONTACT_BODY;
    EXPECT_EQ(bz_Phys_StartRestCount(&body), 1);
    EXPECT_EQ(body.restCounter, 4);
    EXPECT_EQ(body.savedContactKind, BZ_PHYS_CONTACT_WORLD | BZ_PHYS_CONTACT_BODY);

    // No world contact, or a body that may not count: no count starts.
    struct Case
    {
        uint8_t kind;
        uint32_t second;
    };
    const Case none[] = {
        {BZ_PHYS_CONTACT_BODY, 0}, {0, 0}, {BZ_PHYS_CONTACT_WORLD, BZ_PHYS_SECOND_NO_REST_COUNT}};
    for (const Case &c : none)
    {
        BZDObject b = {};
        b.contactKind = c.kind;
        b.secondFlags = c.second;
        EXPECT_EQ(bz_Phys_StartRestCount(&b), 0);
        EXPECT_EQ(b.restCounter, 0);
    }
}

TEST(BodyRestTest, MovingBodyCountsDown)
{
    BZDObject body = {};
    body.restCounter = 3;
    body.contactKind = body.savedContactKind = BZ_PHYS_CONTACT_WORLD;
    bz_Phys_DropRestCount(&body);
    EXPECT_EQ(body.restCounter, 2);
    body.contactKind = 0; // bits changed: the count is dropped
    bz_Phys_DropRestCount(&body);
    EXPECT_EQ(body.restCounter, 0);
    bz_Phys_DropRestCount(&body);
    EXPECT_EQ(body.restCounter, 0);
}
} // namespace
