#include "core/NameHash.h"

#include <gtest/gtest.h>

namespace
{
TEST(NameHash, FoldsCaseAndFollowsTheGroupRules)
{
    const struct
    {
        const char *text;
        uint32_t hash;
    } cases[] = {
        {"abc", 0x00868482u},      {"ABC", 0x00868482u},
        {"aBc", 0x00868482u},      {"a", 0x00000082u},
        {"a bc", 0x00000082u},     // a space in a group's second place ends the text
        {"ab c", 0x00008482u},     // ... and in its third place
        {" abc", 0x86848200u},     // one in the first place counts as a 0 byte
        {"abc d", 0x010D098Cu},    // and one in the fourth place too, the text goes on
        {"abcdefgh", 0x8183858Fu}, // two full groups
        {"ABCDEFGH", 0x8183858Fu}, {"", 0u},
    };
    for (const auto &c : cases)
        EXPECT_EQ(bz_HashString(c.text), c.hash) << '"' << c.text << '"';
    EXPECT_EQ(bz_HashString(nullptr), 0u);
}
} // namespace
