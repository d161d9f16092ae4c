// The body record's bounding radius.
#include "collision/Shape.h"
#include "physics/Body.h"

#include <gtest/gtest.h>

namespace
{
TEST(BodyTest, BoundingRadiusTakesTheFartherCornerOnEachAxis)
{
    struct Case
    {
        bzBox box;
        float radiusSquared;
    };
    const Case cases[] = {
        {{{{{-1.0f, -2.0f, -3.0f}}}, {{{1.0f, 2.0f, 3.0f}}}}, 14.0f},
        {{{{{-4.0f, 0.5f, 1.0f}}}, {{{1.0f, 2.0f, 2.0f}}}}, 24.0f},
        {{{{{1.0f, 1.0f, 1.0f}}}, {{{3.0f, 2.0f, 2.0f}}}}, 17.0f},
        {{{{{0.0f, 0.0f, 0.0f}}}, {{{0.0f, 0.0f, 0.0f}}}}, 0.0f},
    };
    for (const Case &c : cases)
    {
        bzForm form = {};
        form.bounds = c.box;
        BZDObject body = {};
        body.form = &form;
        bz_Phys_SetBoundingRadius(&body);
        EXPECT_FLOAT_EQ(body.radiusSquared, c.radiusSquared);
        EXPECT_FLOAT_EQ(body.radius * body.radius, c.radiusSquared);
    }
    // Without a form nothing changes.
    BZDObject body = {};
    body.radius = 7.0f;
    body.radiusSquared = 49.0f;
    bz_Phys_SetBoundingRadius(&body);
    EXPECT_EQ(body.radius, 7.0f);
    EXPECT_EQ(body.radiusSquared, 49.0f);
    bz_Phys_SetBoundingRadius(nullptr);
}
} // namespace
