// The registry store file: where it lives, whole-or-nothing writes, damaged files.
#include "pc/PcRegistry.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace
{
constexpr uint32_t LM = PD_REG_ROOT_LOCAL_MACHINE;
const char *const kGame = "Software\\Tolvane";

class RegistryStoreTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        file_ = dir_.path() + "/registry.dat";
        setenv("TOLVANE_REGISTRY_FILE", file_.c_str(), 1);
        PDReg_Reload();
        reportsBefore_ = PDReg_DamageReports();
    }

    void TearDown() override
    {
        PDReg_SetStoreSizeLimit(0);
        environment_.Restore();
        PDReg_Reload();
    }

    // Damaged stores reported since the test began.
    uint32_t DamageReports() const { return PDReg_DamageReports() - reportsBefore_; }

    static int32_t SetDword(const char *name, uint32_t value)
    {
        return PDReg_SetValue(LM, kGame, name, PD_REG_DWORD, &value, 4);
    }

    static bool GetDword(const char *name, uint32_t *value)
    {
        uint32_t size = 4;
        return PDReg_QueryValue(LM, kGame, name, nullptr, value, &size) == PD_REG_OK;
    }

    // The names in the store's directory other than the store itself.
    std::vector<std::string> OtherFiles() const
    {
        std::vector<std::string> names;
        for (const auto &entry : std::filesystem::directory_iterator(dir_.path()))
        {
            if (entry.path().filename() != "registry.dat")
                names.push_back(entry.path().filename().string());
        }
        return names;
    }

    ScopedEnvironment environment_{"TOLVANE_REGISTRY_FILE", "XDG_CONFIG_HOME", "HOME"};
    ScopedTempDir dir_;
    std::string file_;
    uint32_t reportsBefore_ = 0;
};

uint32_t Crc32(const std::string &bytes, size_t size)
{
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < size; ++i)
    {
        crc ^= static_cast<uint8_t>(bytes[i]);
        for (int k = 0; k < 8; ++k)
            crc = (crc & 1) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
    }
    return ~crc;
}

void FixCrc(std::string &bytes)
{
    if (bytes.size() < 4)
        return;
    uint32_t crc = Crc32(bytes, bytes.size() - 4);
    for (int i = 0; i < 4; ++i)
        bytes[bytes.size() - 4 + i] = static_cast<char>(crc >> (8 * i));
}

TEST_F(RegistryStoreTest, EveryWriteReplacesTheFileWhole)
{
    EXPECT_STREQ(PDReg_StorePath(), file_.c_str());
    EXPECT_FALSE(std::filesystem::exists(file_));
    ASSERT_EQ(SetDword("WIDTH", 800), PD_REG_OK);
    std::string first = ReadWholeFile(file_);
    EXPECT_EQ(first.substr(0, 4), "TVRG");
    ASSERT_EQ(SetDword("HEIGHT", 600), PD_REG_OK);
    EXPECT_NE(ReadWholeFile(file_), first);
    EXPECT_TRUE(OtherFiles().empty());
    EXPECT_EQ((std::filesystem::status(file_).permissions() & std::filesystem::perms::others_read),
              std::filesystem::perms::none);
}

TEST_F(RegistryStoreTest, FailedWriteKeepsWhatWasCommitted)
{
    ASSERT_EQ(SetDword("WIDTH", 800), PD_REG_OK);
    std::string committed = ReadWholeFile(file_);

    // The new file stops half way (a full disk): the write fails and nothing changes.
    PDReg_InterruptNextWrite(static_cast<uint32_t>(committed.size() / 2), 0);
    EXPECT_EQ(SetDword("WIDTH", 1024), PD_REG_WRITE_FAILED);
    uint32_t value = 0;
    EXPECT_TRUE(GetDword("WIDTH", &value));
    EXPECT_EQ(value, 800u);
    EXPECT_EQ(ReadWholeFile(file_), committed);
    EXPECT_TRUE(OtherFiles().empty());

    // The next write goes through.
    EXPECT_EQ(SetDword("WIDTH", 1280), PD_REG_OK);
    PDReg_Reload();
    EXPECT_TRUE(GetDword("WIDTH", &value));
    EXPECT_EQ(value, 1280u);
}

TEST_F(RegistryStoreTest, ProcessEndingMidWriteLosesNothingCommitted)
{
    ASSERT_EQ(SetDword("WIDTH", 800), PD_REG_OK);
    ASSERT_EQ(SetDword("HEIGHT", 600), PD_REG_OK);
    std::string committed = ReadWholeFile(file_);

    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0)
    {
        // Ends the process with the new file cut in half.
        PDReg_InterruptNextWrite(static_cast<uint32_t>(committed.size() / 2), 1);
        SetDword("WIDTH", 1024);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 86);

    // The half-written file is left beside the store, which is as it was.
    EXPECT_EQ(OtherFiles().size(), 1u);
    EXPECT_EQ(ReadWholeFile(file_), committed);
    PDReg_Reload();
    uint32_t value = 0;
    EXPECT_TRUE(GetDword("WIDTH", &value));
    EXPECT_EQ(value, 800u);
    EXPECT_TRUE(GetDword("HEIGHT", &value));
    EXPECT_EQ(value, 600u);
    EXPECT_EQ(DamageReports(), 0u);
}

TEST_F(RegistryStoreTest, DamagedStoreIsReportedOnceAndKeptAside)
{
    ASSERT_EQ(SetDword("WIDTH", 800), PD_REG_OK);
    std::string whole = ReadWholeFile(file_);
    std::string half = whole.substr(0, whole.size() / 2);
    WriteWholeFile(file_, half);
    PDReg_Reload();

    uint32_t value = 0;
    EXPECT_FALSE(GetDword("WIDTH", &value));
    EXPECT_EQ(DamageReports(), 1u);
    EXPECT_FALSE(std::filesystem::exists(file_));
    EXPECT_EQ(ReadWholeFile(file_ + ".damaged"), half);
    EXPECT_EQ(PDReg_KeyExists(LM, kGame), PD_REG_NOT_FOUND);
    EXPECT_EQ(DamageReports(), 1u);

    // A fresh store starts; the damaged file stays as it was.
    ASSERT_EQ(SetDword("HEIGHT", 600), PD_REG_OK);
    PDReg_Reload();
    EXPECT_TRUE(GetDword("HEIGHT", &value));
    EXPECT_EQ(DamageReports(), 1u);
    EXPECT_EQ(ReadWholeFile(file_ + ".damaged"), half);

    // A second damaged store does not take the first one's place.
    WriteWholeFile(file_, "not a store");
    PDReg_Reload();
    EXPECT_FALSE(GetDword("HEIGHT", &value));
    EXPECT_EQ(DamageReports(), 2u);
    EXPECT_EQ(ReadWholeFile(file_ + ".damaged"), half);
    EXPECT_EQ(ReadWholeFile(file_ + ".damaged.1"), "not a store");
}

TEST_F(RegistryStoreTest, DamagedStoreThatCannotBeKeptAsideIsNeverOverwritten)
{
    WriteWholeFile(file_, "garbage");
    WriteWholeFile(file_ + ".damaged", "");
    for (int i = 1; i < 10; ++i)
        WriteWholeFile(file_ + ".damaged." + std::to_string(i), "");
    PDReg_Reload();
    EXPECT_EQ(PDReg_KeyExists(LM, kGame), PD_REG_NOT_FOUND);
    EXPECT_EQ(DamageReports(), 1u);
    EXPECT_EQ(SetDword("WIDTH", 800), PD_REG_READ_ONLY);
    EXPECT_EQ(ReadWholeFile(file_), "garbage");
    EXPECT_EQ(DamageReports(), 1u);
}

TEST_F(RegistryStoreTest, UnwritableStoreFailsItsWritesAndKeepsNothing)
{
    // The store's folder cannot be made: its parent is a file.
    WriteWholeFile(dir_.path() + "/blocker", "");
    setenv("TOLVANE_REGISTRY_FILE", (dir_.path() + "/blocker/registry.dat").c_str(), 1);
    PDReg_Reload();
    EXPECT_EQ(SetDword("WIDTH", 800), PD_REG_WRITE_FAILED);
    uint32_t value = 0;
    EXPECT_FALSE(GetDword("WIDTH", &value));
    EXPECT_EQ(PDReg_KeyExists(LM, kGame), PD_REG_NOT_FOUND);

    // A store path that is a folder cannot be read, and is not written either.
    std::filesystem::create_directory(dir_.path() + "/folder");
    setenv("TOLVANE_REGISTRY_FILE", (dir_.path() + "/folder").c_str(), 1);
    PDReg_Reload();
    EXPECT_EQ(SetDword("WIDTH", 800), PD_REG_READ_ONLY);
    EXPECT_TRUE(std::filesystem::is_directory(dir_.path() + "/folder"));
}

TEST_F(RegistryStoreTest, StoreLivesInTheUsersConfigurationFolder)
{
    unsetenv("TOLVANE_REGISTRY_FILE");
    setenv("XDG_CONFIG_HOME", (dir_.path() + "/config").c_str(), 1);
    PDReg_Reload();
    std::string expected = dir_.path() + "/config/tolvane/registry.dat";
    EXPECT_EQ(std::string(PDReg_StorePath()), expected);
    ASSERT_EQ(SetDword("WIDTH", 800), PD_REG_OK);
    EXPECT_TRUE(std::filesystem::exists(expected));

    unsetenv("XDG_CONFIG_HOME");
    setenv("HOME", (dir_.path() + "/home").c_str(), 1);
    PDReg_Reload();
    EXPECT_EQ(std::string(PDReg_StorePath()), dir_.path() + "/home/.config/tolvane/registry.dat");
}

TEST_F(RegistryStoreTest, ValuesLargerThanTheBufferAreNotCopied)
{
    std::vector<uint8_t> data(PD_REG_MAX_DATA);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>(i * 31 + 7);
    ASSERT_EQ(PDReg_SetValue(LM, kGame, "BIG", PD_REG_BINARY, data.data(),
                             static_cast<uint32_t>(data.size())),
              PD_REG_OK);
    std::vector<uint8_t> small(16, 0xAB);
    uint32_t size = static_cast<uint32_t>(small.size());
    uint32_t type = 0;
    EXPECT_EQ(PDReg_QueryValue(LM, kGame, "BIG", &type, small.data(), &size), PD_REG_MORE_DATA);
    EXPECT_EQ(size, PD_REG_MAX_DATA);
    EXPECT_EQ(small, std::vector<uint8_t>(16, 0xAB));

    PDReg_Reload();
    std::vector<uint8_t> back(PD_REG_MAX_DATA);
    size = static_cast<uint32_t>(back.size());
    EXPECT_EQ(PDReg_QueryValue(LM, kGame, "BIG", &type, back.data(), &size), PD_REG_OK);
    EXPECT_EQ(type, uint32_t{PD_REG_BINARY});
    EXPECT_EQ(back, data);

    char name[4];
    EXPECT_EQ(PDReg_EnumSubKey(LM, "Software", 0, name, sizeof name), PD_REG_MORE_DATA);
    char longer[8];
    EXPECT_EQ(PDReg_EnumSubKey(LM, "Software", 0, longer, sizeof longer), PD_REG_OK);
    EXPECT_STREQ(longer, "Tolvane");
    EXPECT_EQ(PDReg_EnumSubKey(LM, "Software", 1, longer, sizeof longer), PD_REG_NOT_FOUND);
}

TEST_F(RegistryStoreTest, MutatedStoreFilesLoadOrAreSetAside)
{
    ASSERT_EQ(SetDword("WIDTH", 800), PD_REG_OK);
    ASSERT_EQ(PDReg_SetValue(LM, "Software\\Tolvane\\Video", "API", PD_REG_STRING, "OpenGL", 6),
              PD_REG_OK);
    ASSERT_EQ(PDReg_SetValue(PD_REG_ROOT_CLASSES, ".htm", nullptr, PD_REG_STRING, "htmlfile", 8),
              PD_REG_OK);
    const std::string good = ReadWholeFile(file_);

    std::mt19937 random(12345);
    uint32_t damaged = 0;
    for (int round = 0; round < 400; ++round)
    {
        std::string bytes = good;
        int edits = 1 + static_cast<int>(random() % 4);
        for (int e = 0; e < edits && !bytes.empty(); ++e)
        {
            size_t at = random() % bytes.size();
            switch (random() % 4)
            {
            case 0: bytes[at] = static_cast<char>(random()); break;
            case 1: bytes.resize(at); break;
            case 2: bytes.insert(at, 1 + random() % 8, static_cast<char>(random())); break;
            default:
                // Large counts and lengths.
                bytes[at] = static_cast<char>(0xFF);
                break;
            }
        }
        // Most rounds carry a valid checksum, so the reader's own checks are what stands.
        if (round % 4 != 0)
            FixCrc(bytes);
        WriteWholeFile(file_, bytes);
        PDReg_Reload();
        PDRegKeyInfo info;
        int32_t result = PDReg_QueryKeyInfo(LM, "", &info);
        ASSERT_EQ(result, PD_REG_OK);
        if (std::filesystem::exists(file_ + ".damaged"))
        {
            ++damaged;
            EXPECT_EQ(ReadWholeFile(file_ + ".damaged"), bytes);
            std::filesystem::remove(file_ + ".damaged");
        }
    }
    EXPECT_EQ(DamageReports(), damaged);
    EXPECT_GT(damaged, 300u);
}
TEST_F(RegistryStoreTest, StoreNeverGrowsBeyondWhatItCanReadBack)
{
    PDReg_SetStoreSizeLimit(4096);
    std::vector<uint8_t> data(3000, 0x5A);
    ASSERT_EQ(PDReg_SetValue(LM, kGame, "FIRST", PD_REG_BINARY, data.data(), 3000), PD_REG_OK);
    std::string committed = ReadWholeFile(file_);
    // A second value would make a file the store refuses to read: the write is refused.
    EXPECT_EQ(PDReg_SetValue(LM, kGame, "SECOND", PD_REG_BINARY, data.data(), 3000),
              PD_REG_WRITE_FAILED);
    EXPECT_EQ(ReadWholeFile(file_), committed);
    uint32_t size = 0;
    EXPECT_EQ(PDReg_QueryValue(LM, kGame, "SECOND", nullptr, nullptr, &size), PD_REG_NOT_FOUND);
    // Smaller values still fit, and all of it reads back.
    EXPECT_EQ(SetDword("WIDTH", 800), PD_REG_OK);
    PDReg_Reload();
    EXPECT_EQ(DamageReports(), 0u);
    size = 0;
    EXPECT_EQ(PDReg_QueryValue(LM, kGame, "FIRST", nullptr, nullptr, &size), PD_REG_OK);
    EXPECT_EQ(size, 3000u);
    uint32_t value = 0;
    EXPECT_TRUE(GetDword("WIDTH", &value));
    EXPECT_EQ(value, 800u);
}

TEST_F(RegistryStoreTest, StoreThatIsNoFileIsNeitherWaitedOnNorWritten)
{
    // A named pipe in the store's place: opening it to read must not wait for a writer.
    ASSERT_EQ(mkfifo(file_.c_str(), 0600), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0)
    {
        // A load that waits is ended by the alarm.
        alarm(5);
        PDReg_Reload();
        bool empty = PDReg_KeyExists(LM, kGame) == PD_REG_NOT_FOUND;
        bool refused = SetDword("WIDTH", 800) == PD_REG_READ_ONLY;
        _exit(empty && refused ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "the load waited on the pipe";
    EXPECT_EQ(WEXITSTATUS(status), 0);
    struct stat st;
    ASSERT_EQ(lstat(file_.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
}
} // namespace
