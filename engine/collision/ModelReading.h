// Reading a model's vertices for the shapes built from it: the part is marked as being read for
// as long as a reader lives, a vertex mask (one byte per part vertex, non-zero selects; none
// selects every vertex) chooses the vertices, and a form of one shape wraps the result.
#pragma once

#include "collision/Form.h"
#include "collision/ShapeGeometry.h"
#include "models/ModelAccess.h"

#include <cmath>

#include <cstdint>

namespace bzModelReading
{
// Marks the part as being read; clears the marks (also a pending change mark) when it goes.
class PartReading
{
public:
    explicit PartReading(bzModel *model) : model_(model)
    {
        ok_ = bz_BeginModelAccess(BZ_ACCESS_READ, model) == 0;
    }
    ~PartReading()
    {
        if (ok_)
            bz_EndModelAccess(model_, 0);
    }
    PartReading(const PartReading &) = delete;
    PartReading &operator=(const PartReading &) = delete;
    bool ok() const { return ok_; }

private:
    bzModel *model_;
    bool ok_;
};

inline bool Selected(const uint8_t *mask, int32_t i)
{
    return !mask || mask[i] != 0;
}

inline bzV3 Position(const bzModel *model, int32_t i)
{
    bzV3 p{};
    bz_GetModelVertexPosition(model, i, &p);
    return p;
}
// The box of the selected vertices, from +3.4028235e38 and -3.4028235e38 (inverted when none
// is selected). The caller holds the part's reading mark.
inline bzBox SelectedBox(const bzModel *model, const uint8_t *mask)
{
    constexpr float big = 3.4028235e38f;
    bzBox box = {{{{big, big, big}}}, {{{-big, -big, -big}}}};
    const int32_t n = bz_GetModelVertexCount(model);
    for (int32_t i = 0; i < n; i++)
        if (Selected(mask, i))
        {
            const bzV3 p = Position(model, i);
            for (int32_t k = 0; k < 3; k++)
            {
                box.min.v[k] = std::fmin(box.min.v[k], p.v[k]);
                box.max.v[k] = std::fmax(box.max.v[k], p.v[k]);
            }
        }
    return box;
}

// A new form of the owner holding the one shape that make(form) creates with the form as its
// owner; null (and no form) when make gives none.
template <typename Make> bzForm *FormOfOneShape(void *owner, Make make)
{
    bzForm *form = bz_Form_Alloc(owner, BZ_SHAPE_NULL);
    if (!form)
        return nullptr;
    bzShape *shape = make(form);
    if (!shape)
    {
        bz_Form_Free(form);
        return nullptr;
    }
    FormAppendShape(form, shape);
    return form;
}
} // namespace bzModelReading
