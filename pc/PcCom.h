// Reference-counted platform objects (devices, buffers, textures): each starts with a pointer
// to its methods, of which every object has at least these two.
#pragma once

#include <cstdint>

struct PDComObject;

struct PDComMethods
{
    // Each returns the object's reference count after the call.
    uint32_t (*addRef)(PDComObject *object);
    uint32_t (*release)(PDComObject *object);
};

struct PDComObject
{
    const PDComMethods *methods;
};

// The object's current reference count, read by adding a reference and releasing it again;
// -1 for null.
int32_t PDComRefCount(PDComObject *object);
