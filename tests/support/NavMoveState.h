// A navigation move state that gives its pooled edge links and obstacle list back when it goes
// out of scope.
#pragma once

#include "scene/NavMesh.h"

struct HeldNavState : bzNavMoveState
{
    HeldNavState() : bzNavMoveState{} {}
    HeldNavState(const HeldNavState &) = delete;
    HeldNavState &operator=(const HeldNavState &) = delete;
    ~HeldNavState() { bz_NavMesh_ReleaseState(this); }
};
