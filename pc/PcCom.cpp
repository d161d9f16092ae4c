#include "pc/PcCom.h"

int32_t PDComRefCount(PDComObject *object)
{
    if (!object)
        return -1;
    uint32_t count = object->methods->addRef(object);
    object->methods->release(object);
    return static_cast<int32_t>(count) - 1;
}
