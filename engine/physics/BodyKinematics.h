// Velocities of points of a body and vectors carried between body frames, as the row passes
// (targets, impulses, friction) read them.
#pragma once

#include "maths/Matrix.h"
#include "maths/Vector.h"
#include "physics/Body.h"

// Velocity of the point r (relative to the centre of mass, body frame) in the body frame:
// w x r + the body-frame linear velocity.
inline bzV3 bz_Body_PointVelocity(const BZDObject *body, const bzV3 &r)
{
    bzV3 v;
    bz_V3_CrossInto(&body->angularVelocity, &r, &v);
    bz_V3_AddInto(&v, &body->localLinearVelocity, &v);
    return v;
}

// A direction in the frame of one transform, expressed in the frame of another (through the
// world).
inline bzV3 bz_Body_CarryDirection(const bzM34 *from, const bzM34 *to, const bzV3 &v)
{
    bzV3 world, out;
    bz_M33_RotateV3Into(from, &world, &v);
    bz_M34_InverseRotateV3Into(to, &out, &world);
    return out;
}
