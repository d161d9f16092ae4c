// The tree step record of a jointed body tree: its joint rows' count and the packed Cholesky
// factor of their matrix, which the constraint solver reuses as one factored block of joint
// rows, and the state that asks for the rows to be rebuilt.
#pragma once

#include <cstdint>

struct bzPhysTreeStep
{
    int32_t rowCount;
    float *factor; // packed lower triangle, rowCount (rowCount + 1) / 2 floats
    int32_t state; // negative: the rows must be rebuilt
    float *secondMatrix;
};
