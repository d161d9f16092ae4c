// A stand-in for the model-fitting code's form builders: each builder records its call and
// returns an empty form owned by the given owner. Installed for its lifetime.
#pragma once

#include "collision/Form.h"

#include <string>

struct FakeFormBuilders
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
    ~FakeFormBuilders() { bz_Form_SetModelBuilders(nullptr); }
};
