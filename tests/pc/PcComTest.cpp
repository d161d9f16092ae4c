#include "pc/PcCom.h"

#include <gtest/gtest.h>

namespace
{
struct CountedObject
{
    PDComObject base;
    uint32_t references;
};

uint32_t AddRef(PDComObject *object)
{
    return ++reinterpret_cast<CountedObject *>(object)->references;
}

uint32_t Release(PDComObject *object)
{
    return --reinterpret_cast<CountedObject *>(object)->references;
}

const PDComMethods kMethods = {AddRef, Release};
} // namespace

TEST(PcCom, RefCountReadsWithoutChangingIt)
{
    CountedObject object = {{&kMethods}, 3};
    EXPECT_EQ(PDComRefCount(&object.base), 3);
    EXPECT_EQ(object.references, 3u);
    object.references = 0;
    EXPECT_EQ(PDComRefCount(&object.base), 0);
    EXPECT_EQ(PDComRefCount(nullptr), -1);
}
