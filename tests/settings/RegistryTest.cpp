// The engine's registry functions over a store file in a temporary directory.
#include "core/Error.h"
#include "core/Memory.h"
#include "settings/Registry.h"
#include "pc/PcRegistry.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace
{
constexpr bzRegRoot LM = BZ_REGISTRY_LOCAL_MACHINE;
const char *const kGame = "Software\\Tolvane";

class RegistryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        setenv("TOLVANE_REGISTRY_FILE", (dir_.path() + "/registry.dat").c_str(), 1);
        PDReg_Reload();
    }
    void TearDown() override
    {
        environment_.Restore();
        PDReg_Reload();
    }

    ScopedEnvironment environment_{"TOLVANE_REGISTRY_FILE"};
    ScopedTempDir dir_;
};

TEST_F(RegistryTest, StringUnderAMissingPathMakesKeyAndValue)
{
    ASSERT_EQ(PDReg_KeyExists(PD_REG_ROOT_LOCAL_MACHINE, kGame), PD_REG_NOT_FOUND);
    EXPECT_EQ(bz_Registry_WriteString("Software\\Tolvane\\Video", LM, "API", "OpenGL"), 1);
    char text[32] = {};
    EXPECT_EQ(bz_Registry_ReadString("Software\\Tolvane\\Video", LM, "API", text, sizeof text), 1);
    EXPECT_STREQ(text, "OpenGL");

    bzRegKey *game = bz_Registry_OpenKey(1, LM, kGame);
    ASSERT_NE(game, nullptr);
    EXPECT_EQ(game->subKeyCount, 1u);
    EXPECT_EQ(game->maxSubKeyLength, 5u);
    EXPECT_EQ(game->valueCount, 0u);
    bz_Registry_CloseKey(game);

    // The roots are apart.
    EXPECT_EQ(bz_Registry_ReadString("Software\\Tolvane\\Video", BZ_REGISTRY_CLASSES_ROOT, "API",
                                     text, sizeof text),
              0);
    EXPECT_EQ(bz_Registry_WriteString(kGame, 99, "API", "x"), 0);
}

TEST_F(RegistryTest, FailedReadsLeaveTheCallersBufferAsItWas)
{
    ASSERT_EQ(bz_Registry_WriteString(kGame, LM, "NAME", "hello"), 1);
    char text[16];
    auto readInto = [&](const char *path, const char *name, uint32_t size)
    {
        std::memset(text, '#', sizeof text);
        return bz_Registry_ReadString(path, LM, name, text, size);
    };
    auto untouched = [&]
    {
        for (char c : text)
        {
            if (c != '#')
                return false;
        }
        return true;
    };
    EXPECT_EQ(readInto(kGame, "MISSING", sizeof text), 0);
    EXPECT_TRUE(untouched());
    EXPECT_EQ(readInto("Software\\Nobody", "NAME", sizeof text), 0);
    EXPECT_TRUE(untouched());
    // Five characters need six bytes with the terminator.
    EXPECT_EQ(readInto(kGame, "NAME", 5), 0);
    EXPECT_TRUE(untouched());
    EXPECT_EQ(readInto(kGame, "NAME", 6), 1);
    EXPECT_STREQ(text, "hello");
    EXPECT_EQ(text[6], '#');

    uint32_t value = 0xDEADBEEF;
    EXPECT_EQ(bz_Registry_ReadDword(kGame, LM, "MISSING", &value), 0);
    EXPECT_EQ(bz_Registry_ReadDword(kGame, LM, "NAME", &value), 0);
    EXPECT_EQ(value, 0xDEADBEEF);
}

TEST_F(RegistryTest, FourByteAndBinaryValuesRoundTrip)
{
    EXPECT_EQ(bz_Registry_WriteDword(kGame, LM, "WIDTH", 1024), 1);
    EXPECT_EQ(bz_Registry_WriteValue(kGame, LM, "HEIGHT", 0xFFFFFFFFu), 1);
    uint32_t width = 0;
    uint32_t height = 0;
    EXPECT_EQ(bz_Registry_ReadValue(kGame, LM, "WIDTH", &width), 1);
    EXPECT_EQ(bz_Registry_ReadDword(kGame, LM, "HEIGHT", &height), 1);
    EXPECT_EQ(width, 1024u);
    EXPECT_EQ(height, 0xFFFFFFFFu);
    EXPECT_EQ(bz_Registry_ValueExists(kGame, LM, "WIDTH"), 1);
    EXPECT_EQ(bz_Registry_ValueExists(kGame, LM, "DEPTH"), 0);

    uint8_t blob[300];
    for (size_t i = 0; i < sizeof blob; ++i)
        blob[i] = static_cast<uint8_t>(i * 7);
    EXPECT_EQ(bz_Registry_WriteBinary(kGame, LM, "BLOB", blob, sizeof blob), 1);
    uint8_t back[400] = {};
    uint32_t type = 0;
    uint32_t size = sizeof back;
    ASSERT_EQ(PDReg_QueryValue(PD_REG_ROOT_LOCAL_MACHINE, kGame, "BLOB", &type, back, &size),
              PD_REG_OK);
    EXPECT_EQ(type, uint32_t{PD_REG_BINARY});
    ASSERT_EQ(size, sizeof blob);
    EXPECT_EQ(std::memcmp(back, blob, sizeof blob), 0);
    // A string is no 4-byte value, a 4-byte binary value is.
    EXPECT_EQ(bz_Registry_WriteString(kGame, LM, "TEXT", "1234"), 1);
    EXPECT_EQ(bz_Registry_ValueExists(kGame, LM, "TEXT"), 0);
    EXPECT_EQ(bz_Registry_WriteBinary(kGame, LM, "FOUR", "\x01\x02\x03\x04", 4), 1);
    EXPECT_EQ(bz_Registry_ReadDword(kGame, LM, "FOUR", &width), 1);
    EXPECT_EQ(width, 0x04030201u);
    // An empty binary value and an empty string are values too.
    EXPECT_EQ(bz_Registry_WriteBinary(kGame, LM, "EMPTY", nullptr, 0), 1);
    EXPECT_EQ(bz_Registry_WriteString(kGame, LM, "BLANK", ""), 1);
    char text[4] = "xyz";
    EXPECT_EQ(bz_Registry_ReadString(kGame, LM, "BLANK", text, sizeof text), 1);
    EXPECT_STREQ(text, "");
}

TEST_F(RegistryTest, NamesIgnoreLetterCase)
{
    ASSERT_EQ(bz_Registry_WriteDword(kGame, LM, "WIDTH", 800), 1);
    ASSERT_EQ(bz_Registry_WriteDword("SOFTWARE\\tolvane", LM, "Width", 1280), 1);
    uint32_t width = 0;
    EXPECT_EQ(bz_Registry_ReadDword("software\\TOLVANE", LM, "width", &width), 1);
    EXPECT_EQ(width, 1280u);
    bzRegKey *key = bz_Registry_OpenKey(1, LM, "SoftWare");
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(key->subKeyCount, 1u);
    bz_Registry_CloseKey(key);
    key = bz_Registry_OpenKey(1, LM, kGame);
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(key->valueCount, 1u);
    EXPECT_EQ(key->maxValueNameLength, 5u);
    bz_Registry_CloseKey(key);
}

TEST_F(RegistryTest, SubkeysEnumerateInNameOrderWithTheirCounts)
{
    ASSERT_EQ(bz_Registry_WriteDword("Software\\Tolvane\\Beta", LM, "A", 1), 1);
    ASSERT_EQ(bz_Registry_WriteDword("Software\\Tolvane\\Beta", LM, "B", 2), 1);
    ASSERT_EQ(bz_Registry_WriteDword("Software\\Tolvane\\alpha", LM, "A", 1), 1);
    ASSERT_EQ(bz_Registry_WriteDword("Software\\Tolvane\\alpha\\Inner", LM, "A", 1), 1);
    ASSERT_EQ(bz_Registry_WriteString("Software\\Tolvane\\Gamma", LM, nullptr, "default"), 1);

    bzRegKey *game = bz_Registry_OpenKey(0, LM, kGame);
    ASSERT_NE(game, nullptr);
    EXPECT_EQ(game->subKeyCount, 3u);
    EXPECT_EQ(game->maxSubKeyLength, 5u);

    struct Expect
    {
        const char *path;
        uint32_t subKeys;
        uint32_t values;
    };
    const Expect expect[] = {
        {"Software\\Tolvane\\alpha", 1, 1},
        {"Software\\Tolvane\\Beta", 0, 2},
        {"Software\\Tolvane\\Gamma", 0, 1},
    };
    bzRegKey *subs[3] = {};
    for (uint32_t i = 0; i < 3; ++i)
    {
        subs[i] = bz_Registry_OpenSubKey(game, i);
        ASSERT_NE(subs[i], nullptr) << i;
        EXPECT_STREQ(subs[i]->path, expect[i].path);
        EXPECT_EQ(subs[i]->subKeyCount, expect[i].subKeys);
        EXPECT_EQ(subs[i]->valueCount, expect[i].values);
        EXPECT_EQ(subs[i]->readOnly, 0);
    }
    EXPECT_EQ(bz_Registry_OpenSubKey(game, 3), nullptr);
    bzRegKey *inner = bz_Registry_OpenSubKey(subs[0], 0);
    ASSERT_NE(inner, nullptr);
    EXPECT_STREQ(inner->path, "Software\\Tolvane\\alpha\\Inner");

    char text[16] = {};
    EXPECT_EQ(bz_Registry_ReadString(subs[2]->path, LM, "", text, sizeof text), 1);
    EXPECT_STREQ(text, "default");

    // A walk from the root itself.
    bzRegKey *top = bz_Registry_OpenKey(1, LM, "");
    ASSERT_NE(top, nullptr);
    bzRegKey *software = bz_Registry_OpenSubKey(top, 0);
    ASSERT_NE(software, nullptr);
    EXPECT_STREQ(software->path, "Software");
    EXPECT_EQ(software->readOnly, 1);

    // Records close in any order; a record closed twice is left alone the second time.
    bz_Registry_CloseKey(subs[1]);
    bz_Registry_CloseKey(game);
    bz_Registry_CloseKey(inner);
    bz_Registry_CloseKey(subs[1]);
    bz_Registry_CloseKey(software);
    bz_Registry_CloseKey(subs[0]);
    bz_Registry_CloseKey(top);
    bz_Registry_CloseKey(subs[2]);
    bz_Registry_CloseKey(nullptr);
    EXPECT_EQ(bz_Registry_OpenKey(1, LM, "Software\\Nobody"), nullptr);
}

TEST_F(RegistryTest, DeletingValuesAndKeys)
{
    ASSERT_EQ(bz_Registry_WriteDword("Software\\Tolvane\\Old", LM, "A", 1), 1);
    ASSERT_EQ(bz_Registry_WriteDword("Software\\Tolvane\\Old\\Inner", LM, "A", 1), 1);
    EXPECT_EQ(bz_Registry_DeleteValue("Software\\Tolvane\\Old", LM, "a"), 1);
    EXPECT_EQ(bz_Registry_ValueExists("Software\\Tolvane\\Old", LM, "A"), 0);
    EXPECT_EQ(bz_Registry_DeleteValue("Software\\Tolvane\\Old", LM, "A"), 0);
    // A key with subkeys stays.
    EXPECT_EQ(bz_Registry_DeleteKey(kGame, LM, "Old"), 0);
    EXPECT_EQ(bz_Registry_ValueExists("Software\\Tolvane\\Old\\Inner", LM, "A"), 1);
    EXPECT_EQ(bz_Registry_DeleteKey(kGame, LM, "Old\\Inner"), 1);
    EXPECT_EQ(bz_Registry_DeleteKey(kGame, LM, "OLD"), 1);
    EXPECT_EQ(bz_Registry_OpenKey(1, LM, "Software\\Tolvane\\Old"), nullptr);
    EXPECT_EQ(bz_Registry_DeleteKey(kGame, LM, "Old"), 0);
    EXPECT_EQ(bz_Registry_DeleteKey(kGame, LM, ""), 0);
    EXPECT_EQ(bz_Registry_DeleteKey(kGame, LM, nullptr), 0);
}

TEST_F(RegistryTest, StoreSurvivesAReload)
{
    ASSERT_EQ(bz_Registry_WriteString(kGame, LM, "API", "OpenGL"), 1);
    ASSERT_EQ(bz_Registry_WriteDword(kGame, LM, "WIDTH", 1024), 1);
    ASSERT_EQ(bz_Registry_WriteBinary(kGame, LM, "BLOB", "\x00\xFF\x10", 3), 1);
    ASSERT_EQ(bz_Registry_WriteDword("Software\\Tolvane\\Empty", LM, "X", 1), 1);
    ASSERT_EQ(bz_Registry_DeleteValue("Software\\Tolvane\\Empty", LM, "X"), 1);
    ASSERT_EQ(bz_Registry_WriteString("http\\shell\\open\\command", BZ_REGISTRY_CLASSES_ROOT,
                                      nullptr, "\"/usr/bin/browser\" %1"),
              1);

    PDReg_Reload();
    char text[64] = {};
    EXPECT_EQ(bz_Registry_ReadString(kGame, LM, "API", text, sizeof text), 1);
    EXPECT_STREQ(text, "OpenGL");
    uint32_t width = 0;
    EXPECT_EQ(bz_Registry_ReadDword(kGame, LM, "WIDTH", &width), 1);
    EXPECT_EQ(width, 1024u);
    uint8_t blob[8] = {};
    uint32_t size = sizeof blob;
    uint32_t type = 0;
    EXPECT_EQ(PDReg_QueryValue(LM, kGame, "BLOB", &type, blob, &size), PD_REG_OK);
    EXPECT_EQ(size, 3u);
    EXPECT_EQ(std::memcmp(blob, "\x00\xFF\x10", 3), 0);
    bzRegKey *empty = bz_Registry_OpenKey(1, LM, "Software\\Tolvane\\Empty");
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->valueCount, 0u);
    bz_Registry_CloseKey(empty);
    EXPECT_EQ(bz_Registry_ReadString("http\\shell\\open\\command", BZ_REGISTRY_CLASSES_ROOT,
                                     nullptr, text, sizeof text),
              1);
    EXPECT_STREQ(text, "\"/usr/bin/browser\" %1");
}

TEST_F(RegistryTest, OversizedNamesPathsAndValuesAreRefused)
{
    std::string longKey(PD_REG_MAX_KEY_NAME + 1, 'k');
    std::string longPath;
    while (longPath.size() <= PD_REG_MAX_PATH)
        longPath += "Software\\";
    std::string deepPath;
    for (uint32_t i = 0; i <= PD_REG_MAX_DEPTH; ++i)
        deepPath += "k\\";
    std::string longName(PD_REG_MAX_VALUE_NAME + 1, 'n');
    const char *paths[] = {longKey.c_str(), longPath.c_str(), deepPath.c_str()};
    for (const char *path : paths)
    {
        EXPECT_EQ(bz_Registry_WriteDword(path, LM, "A", 1), 0);
        EXPECT_EQ(bz_Registry_OpenKey(1, LM, path), nullptr);
        uint32_t value = 7;
        EXPECT_EQ(bz_Registry_ReadDword(path, LM, "A", &value), 0);
        EXPECT_EQ(value, 7u);
    }
    EXPECT_EQ(bz_Registry_WriteDword(kGame, LM, longName.c_str(), 1), 0);
    // The longest allowed names are fine.
    std::string key(PD_REG_MAX_KEY_NAME, 'k');
    std::string name(PD_REG_MAX_VALUE_NAME, 'n');
    EXPECT_EQ(bz_Registry_WriteDword(key.c_str(), LM, name.c_str(), 1), 1);
    EXPECT_EQ(bz_Registry_ValueExists(key.c_str(), LM, name.c_str()), 1);

    std::string huge(PD_REG_MAX_DATA + 1, 'x');
    EXPECT_EQ(bz_Registry_WriteString(kGame, LM, "HUGE", huge.c_str()), 0);
    EXPECT_EQ(bz_Registry_WriteBinary(kGame, LM, "HUGE", huge.data(), PD_REG_MAX_DATA + 1), 0);
    EXPECT_EQ(bz_Registry_WriteBinary(kGame, LM, "BAD", nullptr, 4), 0);
    EXPECT_EQ(bz_Registry_WriteString(kGame, LM, "BAD", nullptr), 0);
    EXPECT_EQ(bz_Registry_ReadString(kGame, LM, "HUGE", nullptr, 10), 0);
    EXPECT_EQ(bz_Registry_ReadDword(kGame, LM, "HUGE", nullptr), 0);
    EXPECT_STRNE(bz_Registry_FormatLastError(), "");
}

void *FailingAlloc(uint32_t, size_t)
{
    return nullptr;
}

TEST_F(RegistryTest, SubkeyNameWithoutMemoryIsReported)
{
    KeepAlive keepAlive;
    ASSERT_EQ(bz_Registry_WriteDword("Software\\Tolvane\\Sub", LM, "A", 1), 1);
    bzRegKey *game = bz_Registry_OpenKey(1, LM, kGame);
    ASSERT_NE(game, nullptr);
    bzMemPrimitiveTable saved;
    bz_Mem_GetPrimitives(&saved);
    bzMemPrimitiveTable failing = saved;
    failing.allocRaw = FailingAlloc;
    bz_Mem_SetPrimitives(&failing);
    uint32_t reports = bz_Error_ReportCount();
    bzRegKey *sub = bz_Registry_OpenSubKey(game, 0);
    bz_Mem_SetPrimitives(&saved);
    EXPECT_EQ(sub, nullptr);
    EXPECT_EQ(bz_Error_ReportCount(), reports + 1);
    EXPECT_STREQ(bz_Error_LastReportCaption(), "Error");
    EXPECT_STREQ(bz_Error_LastReportText(), "Out of memory");
    // Without memory for the record itself the open fails quietly.
    bz_Mem_SetPrimitives(&failing);
    bzRegKey *again = bz_Registry_OpenKey(1, LM, kGame);
    bz_Mem_SetPrimitives(&saved);
    EXPECT_EQ(again, nullptr);
    EXPECT_EQ(bz_Error_ReportCount(), reports + 1);
    bz_Registry_CloseKey(game);
}
} // namespace
