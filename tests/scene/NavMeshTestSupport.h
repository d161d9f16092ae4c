// The world the navigation mesh tests and benchmarks build on: an empty world lump, the fake
// models its lumps show, and the build limits they all share (steps of 0.5 down and up, bars
// above 1.5, precipices deeper than 1.0, edge tolerance 0.01, side probes of 0.1, surface bits
// 0xFF). The world and every lump put under it go with the holder.
#pragma once

#include "FakeScene.h"

#include "scene/Lump.h"
#include "scene/NavMesh.h"

struct NavTestWorld
{
    FakeModels models;
    bzLump *world = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "world");
    bzNavSetup setup{};

    NavTestWorld()
    {
        setup.world = world;
        bz_NavMesh_SetParameter(setup.parameters, BZ_NAV_PARAM_STEP_DOWN, 0.5f);
        bz_NavMesh_SetParameter(setup.parameters, BZ_NAV_PARAM_STEP_UP, 0.5f);
        bz_NavMesh_SetParameter(setup.parameters, BZ_NAV_PARAM_BAR_HEIGHT, 1.5f);
        bz_NavMesh_SetParameter(setup.parameters, BZ_NAV_PARAM_PRECIPICE_DEPTH, 1.0f);
        bz_NavMesh_SetParameter(setup.parameters, BZ_NAV_PARAM_EDGE_TOLERANCE, 0.01f);
        bz_NavMesh_SetParameter(setup.parameters, BZ_NAV_PARAM_SIDE_PROBE, 0.1f);
        setup.parameters[BZ_NAV_PARAM_SURFACE_MASK] = 0xFF;
    }
    NavTestWorld(const NavTestWorld &) = delete;
    NavTestWorld &operator=(const NavTestWorld &) = delete;
    ~NavTestWorld() { bz_Lump_DestroyTree(world); }
};
