// A stand-in for the model-fitting code's form builders: each builder records its call and
// returns an empty form owned by the given owner. Installed for its lifetime; the builders
// installed before (the engine's start-up installs the real ones) come back afterwards.
#pragma once

#include "collision/Form.h"

#include <string>

// Keeps the installed builders and puts them back at the end of its lifetime.
struct SavedFormBuilders
{
    bzFormModelBuilders saved{};
    SavedFormBuilders() { bz_Form_GetModelBuilders(&saved); }
    ~SavedFormBuilders() { bz_Form_SetModelBuilders(&saved); }
    SavedFormBuilders(const SavedFormBuilders &) = delete;
    SavedFormBuilders &operator=(const SavedFormBuilders &) = delete;
};

struct FakeFormBuilders : SavedFormBuilders
{
    static inline std::string lastBuilder;
    static inline float lastPercentage;
    static inline const bzModel *lastModel;

    static bzForm *Record(const char *name, void *owner, const bzModel *model, float percent)
    {
        lastBuilder = name;
        lastModel = model;
        lastPercentage = percent;
        return bz_Form_Alloc(owner, BZ_SHAPE_NULL);
    }
    static bzForm *AlignedCuboid(void *owner, const bzModel *model)
    {
        return Record("alignedCuboid", owner, model, 0.0f);
    }
    static bzForm *Polyhedra(void *owner, const bzModel *model, float percentage)
    {
        return Record("polyhedra", owner, model, percentage);
    }
    static bzForm *Sphere(void *owner, const bzModel *model)
    {
        return Record("sphere", owner, model, 0.0f);
    }
    static bzForm *TicTac(void *owner, const bzModel *model)
    {
        return Record("ticTac", owner, model, 0.0f);
    }

    FakeFormBuilders()
    {
        lastBuilder.clear();
        lastPercentage = -1.0f;
        lastModel = nullptr;
        const bzFormModelBuilders builders = {AlignedCuboid, Polyhedra, Sphere, TicTac};
        bz_Form_SetModelBuilders(&builders);
    }
};
