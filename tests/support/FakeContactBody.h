// A stand-in for the physics body in the collision tests: the fields the contact insertion
// reads, served through the body view that the physics installs in the engine.
#pragma once

#include "collision/CollisionContact.h"

namespace fakebody
{
struct FakeBody
{
    bzContactBodyView view;
};

inline void FakeView(const BZDObject *body, bzContactBodyView *out)
{
    *out = reinterpret_cast<const FakeBody *>(body)->view;
}

inline BZDObject *AsBody(FakeBody *body)
{
    return reinterpret_cast<BZDObject *>(body);
}

// A body with no joint, its centre of mass at the origin and an identity matrix.
inline FakeBody PlainBody()
{
    FakeBody b{};
    b.view.joint.kind = -1;
    b.view.partnerJoint.kind = -1;
    for (int i = 0; i < 3; i++)
        b.view.matrix.row[i].v[i] = 1.0f;
    b.view.formBounds = {{{{-1, -1, -1}}}, {{{1, 1, 1}}}};
    return b;
}

// Installs the fake body view for a test's lifetime.
struct ScopedFakeBodies
{
    ScopedFakeBodies() { bz_PhysContacts_SetBodyView(FakeView); }
    ~ScopedFakeBodies() { bz_PhysContacts_SetBodyView(nullptr); }
};
} // namespace fakebody
