#include "core/Callback.h"
#include "core/Memory.h"

#include <gtest/gtest.h>

#include <string>

namespace
{
void First() {}
void Second() {}
void Third() {}

bzCallbackFunction F(void (*fn)())
{
    return fn;
}

TEST(CallbackTest, NewestRegistrationWins)
{
    ASSERT_EQ(bz_RegisterNamedCallback(F(First), "JointWeakness"), 0);
    ASSERT_EQ(bz_RegisterNamedCallback(F(Third), "Other"), 0);
    ASSERT_EQ(bz_RegisterNamedCallback(F(Second), "JointWeakness"), 0);
    EXPECT_EQ(bz_FindNamedCallback("JointWeakness"), F(Second));
    EXPECT_EQ(bz_FindNamedCallback("Other"), F(Third));
    EXPECT_EQ(bz_FindNamedCallback("jointweakness"), nullptr); // case matters
    EXPECT_EQ(bz_FindNamedCallback("JointWeak"), nullptr);
    EXPECT_EQ(bz_FindNamedCallback(""), nullptr);
    EXPECT_EQ(bz_FindNamedCallback(nullptr), nullptr);
    EXPECT_STREQ(bz_FindCallbackName(F(First)), "JointWeakness");
    EXPECT_STREQ(bz_FindCallbackName(F(Third)), "Other");
    EXPECT_EQ(bz_FindCallbackName(nullptr), nullptr);
    bz_FreeNamedCallbacks();
    EXPECT_EQ(bz_FindNamedCallback("Other"), nullptr);
    EXPECT_EQ(bz_FindCallbackName(F(First)), nullptr);
}

TEST(CallbackTest, NamesAreCopiedAndFreed)
{
    bzMemStats before;
    bz_Mem_GetStats(&before);
    {
        std::string name = "Handler";
        ASSERT_EQ(bz_RegisterNamedCallback(F(First), name.c_str()), 0);
        name[0] = 'X';
    }
    EXPECT_EQ(bz_FindNamedCallback("Handler"), F(First));
    for (int i = 0; i < 100; ++i) // beyond one block of the record pool
        ASSERT_EQ(bz_RegisterNamedCallback(F(Second), ("n" + std::to_string(i)).c_str()), 0);
    EXPECT_EQ(bz_FindNamedCallback("n0"), F(Second));
    EXPECT_EQ(bz_FindNamedCallback("Handler"), F(First));
    bz_FreeNamedCallbacks();
    bzMemStats after;
    bz_Mem_GetStats(&after);
    EXPECT_EQ(after.blockCount, before.blockCount);
    EXPECT_EQ(after.bytesInUse, before.bytesInUse);
    // The chain starts again after a free.
    ASSERT_EQ(bz_RegisterNamedCallback(F(Third), "Again"), 0);
    EXPECT_EQ(bz_FindNamedCallback("Again"), F(Third));
    bz_FreeNamedCallbacks();
}

TEST(CallbackTest, FailedRegistrationLeavesNothingBehind)
{
    EXPECT_EQ(bz_RegisterNamedCallback(F(First), nullptr), 29);
    ASSERT_EQ(bz_RegisterNamedCallback(F(First), "Kept"), 0);
    bzMemPrimitiveTable saved;
    bz_Mem_GetPrimitives(&saved);
    bzMemPrimitiveTable failing = saved;
    failing.allocRaw = [](uint32_t, size_t) -> void * { return nullptr; };
    bz_Mem_SetPrimitives(&failing); // no memory for the copy of a name
    bzMemStats before;
    bz_Mem_GetStats(&before);
    EXPECT_EQ(bz_RegisterNamedCallback(F(Second), "NoRoom"), 14);
    bz_Mem_SetPrimitives(&saved);
    bzMemStats after;
    bz_Mem_GetStats(&after);
    EXPECT_EQ(after.bytesInUse, before.bytesInUse);
    EXPECT_EQ(bz_FindNamedCallback("NoRoom"), nullptr);
    EXPECT_EQ(bz_FindNamedCallback("Kept"), F(First));
    bz_FreeNamedCallbacks();
}
} // namespace
