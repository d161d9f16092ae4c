#include "core/Callback.h"

#include "core/Error.h"
#include "core/Memory.h"
#include "core/Strings.h"

#include <cstring>

namespace
{
bzNamedCallback *gChain;
int32_t gPool;
bool gStarted;
} // namespace

int32_t bz_RegisterNamedCallback(bzCallbackFunction function, const char *name)
{
    if (!name)
        return BZ_ERROR_INVALID_PARAMETER;
    if (!gStarted)
    {
        gPool = bz_Pool_Create(sizeof(bzNamedCallback), 32, 1, 0);
        if (!gPool)
            return BZ_ERROR_NO_MEMORY;
        gStarted = true;
    }
    bzNamedCallback *record = static_cast<bzNamedCallback *>(bz_Pool_Alloc(gPool, 0));
    if (!record)
        return BZ_ERROR_NO_MEMORY;
    record->name = bz_StrDup(name);
    if (!record->name)
    {
        bz_Pool_FreeElement(gPool, record);
        return BZ_ERROR_NO_MEMORY;
    }
    record->function = function;
    record->next = gChain;
    gChain = record;
    return 0;
}

bzCallbackFunction bz_FindNamedCallback(const char *name)
{
    if (!name || !*name)
        return nullptr;
    for (bzNamedCallback *r = gChain; r; r = r->next)
        if (std::strcmp(r->name, name) == 0)
            return r->function;
    return nullptr;
}

const char *bz_FindCallbackName(bzCallbackFunction function)
{
    for (bzNamedCallback *r = gChain; r; r = r->next)
        if (r->function == function)
            return r->name;
    return nullptr;
}

void bz_FreeNamedCallbacks()
{
    for (bzNamedCallback *r = gChain; r; r = r->next)
        bz_MemFree(r->name);
    gChain = nullptr;
    if (gStarted)
        bz_Pool_Destroy(gPool);
    gPool = 0;
    gStarted = false;
}
