#include "files/UniqueName.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace
{
TEST(UniqueName, UniqueFileNames)
{
    ScopedTempDir dir;
    char name[32] = "log%.txt";
    EXPECT_EQ(bz_MakeUniqueFileName(name), 1);
    EXPECT_STREQ(name, "log000.txt");
    WriteWholeFile("log000.txt", "a");
    WriteWholeFile("log001.txt", "b");
    WriteWholeFile("log003.txt", "c");
    std::strcpy(name, "log%.txt");
    EXPECT_EQ(bz_MakeUniqueFileName(name), 1);
    EXPECT_STREQ(name, "log002.txt");
    std::strcpy(name, "%");
    EXPECT_EQ(bz_MakeUniqueFileName(name), 1);
    EXPECT_STREQ(name, "000");
    std::strcpy(name, "plain.txt"); // no marker: kept as it is
    EXPECT_EQ(bz_MakeUniqueFileName(name), 1);
    EXPECT_STREQ(name, "plain.txt");
    std::strcpy(name, "a%b%c"); // only the first marker is replaced
    EXPECT_EQ(bz_MakeUniqueFileName(name), 1);
    EXPECT_STREQ(name, "a000b%c");
    EXPECT_EQ(bz_MakeUniqueFileName(nullptr), 0);
    std::string longName(1100, 'n');
    longName[5] = '%';
    EXPECT_EQ(bz_MakeUniqueFileName(longName.data()), 0);
    EXPECT_EQ(longName[5], '%');
}

TEST(UniqueName, UniqueFileNameWhenAllAreTaken)
{
    ScopedTempDir dir;
    char file[16];
    for (int i = 0; i < 1000; ++i)
    {
        std::snprintf(file, sizeof file, "d%03d", i);
        WriteWholeFile(file, "");
    }
    char name[16] = "d%";
    EXPECT_EQ(bz_MakeUniqueFileName(name), 0);
    EXPECT_STREQ(name, "d%");
    // Every probe was closed again: files still open.
    std::strcpy(name, "e%");
    EXPECT_EQ(bz_MakeUniqueFileName(name), 1);
    EXPECT_STREQ(name, "e000");
}
} // namespace
