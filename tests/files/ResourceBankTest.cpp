#include "files/File.h"
#include "core/Memory.h"
#include "files/ResourceBank.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace
{
constexpr uint32_t kText = BZ_BANK_CODE('T', 'E', 'X', 'T');
constexpr uint32_t kData = BZ_BANK_CODE('D', 'A', 'T', 'A');
constexpr uint32_t kBank = BZ_BANK_CODE('B', 'A', 'N', 'K');
constexpr uint32_t kZulu = BZ_BANK_CODE('Z', 'U', 'L', 'U');

uint32_t Word(const uint8_t *p)
{
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

uint16_t Half(const uint8_t *p)
{
    return (uint16_t)(p[0] | p[1] << 8);
}

std::string Bytes(const void *data, size_t size)
{
    return std::string((const char *)data, size);
}

class ResourceBank : public ::testing::Test
{
protected:
    ScopedTempDir dir_;

    // A new editable bank saving into name, holding two text resources and one data resource;
    // null (with a failure) when it cannot be made, which every caller asserts against.
    bzBank MakeBank(const char *name)
    {
        bzFileHandle *file = bz_FileOpen(name, "wb");
        if (!file)
        {
            ADD_FAILURE() << name << " cannot be created";
            return nullptr;
        }
        bzBank bank = nullptr;
        const int32_t created = bz_Bank_Create(&bank, file, 1);
        if (created != 0 || !bank)
        {
            ADD_FAILURE() << "bz_Bank_Create gave " << created;
            bz_FileClose(file);
            return nullptr;
        }
        EXPECT_EQ(0, bz_Bank_InsertResource(bank, kText, 2));
        EXPECT_EQ(0, bz_Bank_InsertResource(bank, kData, 9));
        EXPECT_EQ(0, bz_Bank_InsertResource(bank, kText, 1));
        EXPECT_EQ(0, bz_Bank_SetDataById(bank, kText, 1, "first\ttext\n", 11));
        EXPECT_EQ(0, bz_Bank_SetDataById(bank, kText, 2, "second", 6));
        const uint8_t binary[] = {0, 1, 2, 255};
        EXPECT_EQ(0, bz_Bank_SetDataById(bank, kData, 9, binary, 4));
        return bank;
    }

    // The bank saved in name; null (with a failure) when it does not load.
    bzBank LoadBank(const char *name, int32_t whole, int32_t readOnly)
    {
        bzFileHandle *file = bz_FileOpen(name, "rb");
        if (!file)
        {
            ADD_FAILURE() << name << " does not open";
            return nullptr;
        }
        bzBank bank = nullptr;
        const int32_t loaded = bz_Bank_Load(&bank, file, whole, readOnly);
        EXPECT_EQ(0, loaded) << name;
        if (loaded != 0)
            bank = nullptr;
        return bank;
    }
};
} // namespace

TEST_F(ResourceBank, NewBankHeader)
{
    bzBank bank = nullptr;
    ASSERT_EQ(0, bz_Bank_Create(&bank, nullptr, 1));
    const uint8_t *block = bz_Bank_Block(bank);
    EXPECT_EQ(BZ_BANK_VERSION, Half(block));
    EXPECT_EQ(257, Half(block));
    EXPECT_EQ(0, Half(block + 2));
    EXPECT_EQ(12u, Word(block + 4) & BZ_BANK_SIZE_MASK);
    EXPECT_EQ(0, bz_Bank_TypeCount(bank));
    EXPECT_EQ(1u, bz_Bank_NextFreeId(bank, kText));
    EXPECT_EQ(BZ_ERROR_FILE_NOT_FOUND, bz_Bank_Save(bank)) << "no file to save into";
    bz_Bank_Free(bank);

    ASSERT_EQ(0, bz_Bank_Create(&bank, nullptr, 0));
    EXPECT_TRUE(Word(bz_Bank_Block(bank) + 4) & BZ_BANK_IS_READ_ONLY);
    EXPECT_EQ(BZ_BANK_READ_ONLY, bz_Bank_InsertResource(bank, kText, 1));
    bz_Bank_Free(bank);

    char name[32];
    bz_Bank_FixName(name, sizeof name, "SOUNDS");
    EXPECT_STREQ("SOUNDS.BZR", name);
    bz_Bank_FixName(name, sizeof name, "SOUNDS.DAT");
    EXPECT_STREQ("SOUNDS.DAT", name);
}

TEST_F(ResourceBank, InsertsKeepTypesAndIdsSorted)
{
    bzBank bank = nullptr;
    ASSERT_EQ(0, bz_Bank_Create(&bank, nullptr, 1));
    for (uint32_t type : {kZulu, kText, kData})
        ASSERT_EQ(0, bz_Bank_InsertType(bank, type));
    for (uint32_t id : {5u, 1u, 3u, 0xFFFFFFF0u})
        ASSERT_EQ(0, bz_Bank_InsertResource(bank, kText, id));
    ASSERT_EQ(0, bz_Bank_InsertResource(bank, kData, 7));
    ASSERT_EQ(0, bz_Bank_InsertResource(bank, kText, 3)) << "an id already there is kept";
    EXPECT_EQ(3, bz_Bank_TypeCount(bank));
    EXPECT_EQ(kData, bz_Bank_TypeCode(bank, 0));
    EXPECT_EQ(kText, bz_Bank_TypeCode(bank, 1));
    EXPECT_EQ(kZulu, bz_Bank_TypeCode(bank, 2));
    EXPECT_EQ(0u, bz_Bank_TypeCode(bank, 3));
    EXPECT_EQ(4, bz_Bank_Count(bank, kText));
    EXPECT_EQ(0, bz_Bank_Count(bank, kBank));
    EXPECT_EQ(2u, bz_Bank_NextFreeId(bank, kText));

    // The directory in its file layout.
    const uint8_t *block = bz_Bank_Block(bank);
    EXPECT_EQ(12u + 3 * 8 + 5 * 16, Word(block + 4) & BZ_BANK_SIZE_MASK);
    EXPECT_EQ(36, Half(block + 12 + 6)) << "DATA's table right after the type table";
    EXPECT_EQ(52, Half(block + 20 + 6)) << "TEXT's table after DATA's one entry";
    EXPECT_EQ(116, Half(block + 28 + 6)) << "ZULU's empty table at the end";
    const uint32_t ids[] = {1, 3, 5, 0xFFFFFFF0u};
    for (int k = 0; k < 4; k++)
    {
        uint32_t id = 0;
        ASSERT_EQ(0, bz_Bank_InfoByIndex(bank, kText, k, &id, nullptr, nullptr));
        EXPECT_EQ(ids[k], id);
        EXPECT_EQ(ids[k], Word(block + 52 + 16 * k));
        bzBankResourceEntry entry;
        bzBankTypeEntry type;
        ASSERT_EQ(0, bz_Bank_EntryById(bank, kText, ids[k], &type, &entry));
        EXPECT_EQ(ids[k], entry.id);
        EXPECT_EQ(kText, type.code);
        EXPECT_EQ(4, type.count);
    }
    EXPECT_EQ(BZ_BANK_NOT_FOUND, bz_Bank_InfoByIndex(bank, kText, 4, nullptr, nullptr, nullptr));
    EXPECT_EQ(BZ_BANK_NOT_FOUND, bz_Bank_InfoById(bank, kText, 2, nullptr, nullptr));
    EXPECT_EQ(BZ_BANK_NOT_FOUND, bz_Bank_EntryByIndex(bank, kBank, 0, nullptr, nullptr));

    // Removing entries moves the tables back; an emptied type goes.
    ASSERT_EQ(0, bz_Bank_RemoveResource(bank, kData, 7));
    EXPECT_EQ(2, bz_Bank_TypeCount(bank));
    EXPECT_EQ(BZ_BANK_NOT_FOUND, bz_Bank_RemoveResource(bank, kData, 7));
    ASSERT_EQ(0, bz_Bank_RemoveResource(bank, kText, 3));
    block = bz_Bank_Block(bank);
    EXPECT_EQ(12u + 2 * 8 + 3 * 16, Word(block + 4) & BZ_BANK_SIZE_MASK);
    EXPECT_EQ(28, Half(block + 12 + 6));
    EXPECT_EQ(76, Half(block + 20 + 6));
    EXPECT_EQ(5u, Word(block + 28 + 16));
    bz_Bank_Free(bank);
}

TEST_F(ResourceBank, SaveThenLoadGivesTheSameBank)
{
    bzBank bank = MakeBank("A.BZR");
    ASSERT_NE(nullptr, bank);
    ASSERT_EQ(0, bz_Bank_Close(bank)) << "a modified bank is saved on close";
    const std::string saved = ReadWholeFile("A.BZR");
    ASSERT_EQ(12u + 2 * 8 + 3 * 16 + 11 + 6 + 4, saved.size());
    const uint8_t *image = (const uint8_t *)saved.data();
    EXPECT_EQ(saved.size(), Word(image + 4));
    // DATA 9 first (types by code), then TEXT 1 and TEXT 2.
    EXPECT_EQ(76u, Word(image + 28 + 8));
    EXPECT_EQ("first\ttext\nsecond", saved.substr(80, 17));

    for (int32_t whole : {1, 0})
    {
        bank = LoadBank("A.BZR", whole, 0);
        ASSERT_NE(nullptr, bank);
        uint32_t size = 0;
        uint8_t flags = 0;
        ASSERT_EQ(0, bz_Bank_InfoById(bank, kText, 1, &size, &flags));
        EXPECT_EQ(11u, size);
        EXPECT_EQ(whole ? 1 : 0, flags & 1) << "bit 24: data inside the bank";
        const char *text = (const char *)bz_Bank_FetchById(bank, kText, 1);
        ASSERT_NE(nullptr, text);
        EXPECT_EQ("first\ttext\n", Bytes(text, 11));
        EXPECT_EQ("second", Bytes(bz_Bank_FetchByIndex(bank, kText, 1), 6));
        const uint8_t *binary = (const uint8_t *)bz_Bank_FetchById(bank, kData, 9);
        ASSERT_NE(nullptr, binary);
        EXPECT_EQ(255, binary[3]);
        // Saving the loaded bank again writes the same bytes.
        ASSERT_EQ(0, bz_Bank_MarkModified(bank));
        bz_Bank_Free(bank);
        ASSERT_EQ(0, bz_Bank_OpenForUpdate(&bank, "A", whole));
        ASSERT_EQ(0, bz_Bank_MarkModified(bank));
        ASSERT_EQ(0, bz_Bank_Close(bank));
        EXPECT_EQ(saved, ReadWholeFile("A.BZR"));
    }

    ASSERT_EQ(0, bz_Bank_CreateFile("EMPTY"));
    EXPECT_EQ(12u, ReadWholeFile("EMPTY.BZR").size());
    EXPECT_EQ(BZ_ERROR_FILE_NOT_FOUND, bz_Bank_OpenForUpdate(&bank, "MISSING", 1));
}

TEST_F(ResourceBank, ReleaseForgetAndFetchCodes)
{
    bzBank bank = MakeBank("R.BZR");
    ASSERT_NE(nullptr, bank);
    ASSERT_EQ(0, bz_Bank_Save(bank));
    // Separately held data: released once, then there is none.
    EXPECT_EQ(0, bz_Bank_ReleaseById(bank, kText, 1));
    EXPECT_EQ(BZ_BANK_NOT_LOADED, bz_Bank_ReleaseById(bank, kText, 1));
    EXPECT_EQ(BZ_BANK_NOT_FOUND, bz_Bank_ReleaseById(bank, kText, 77));
    void *second = bz_Bank_FetchById(bank, kText, 2);
    ASSERT_NE(nullptr, second);
    EXPECT_EQ(0, bz_Bank_ForgetByIndex(bank, kText, 1)) << "forgotten, not freed";
    EXPECT_EQ(BZ_BANK_NOT_LOADED, bz_Bank_ForgetById(bank, kText, 2));
    bz_MemFree(second);
    bz_Bank_Free(bank);

    bank = LoadBank("R.BZR", 1, 0);
    ASSERT_NE(nullptr, bank);
    EXPECT_EQ(BZ_BANK_IN_BANK, bz_Bank_ReleaseById(bank, kText, 1));
    EXPECT_EQ(BZ_BANK_IN_BANK, bz_Bank_ReleaseById(bank, kText, 1));
    EXPECT_EQ(BZ_BANK_IN_BANK, bz_Bank_ForgetById(bank, kText, 1));
    bz_Bank_Free(bank);

    // Directory only: the data is read when it is first asked for.
    bank = LoadBank("R.BZR", 0, 1);
    ASSERT_NE(nullptr, bank);
    EXPECT_EQ(BZ_BANK_NOT_LOADED, bz_Bank_ReleaseById(bank, kText, 2));
    bz_Bank_SetFetch(0);
    EXPECT_EQ(0, bz_Bank_GetFetch());
    EXPECT_EQ(nullptr, bz_Bank_FetchById(bank, kText, 2));
    bz_Bank_SetFetch(1);
    const void *data = bz_Bank_FetchById(bank, kText, 2);
    ASSERT_NE(nullptr, data);
    EXPECT_EQ("second", Bytes(data, 6));
    EXPECT_EQ(data, bz_Bank_FetchById(bank, kText, 2)) << "present data is given again";
    EXPECT_EQ(0, bz_Bank_ReleaseById(bank, kText, 2));
    EXPECT_EQ(BZ_BANK_NOT_LOADED, bz_Bank_ReleaseById(bank, kText, 2));
    bz_Bank_Free(bank);
}

TEST_F(ResourceBank, ReadOnlyBanksRefuseEdits)
{
    bzBank made = MakeBank("RO.BZR");
    ASSERT_NE(nullptr, made);
    bz_Bank_Close(made);
    bzBank bank = LoadBank("RO.BZR", 1, 1);
    ASSERT_NE(nullptr, bank);
    EXPECT_TRUE(Word(bz_Bank_Block(bank) + 4) & BZ_BANK_IS_READ_ONLY);
    EXPECT_EQ(BZ_BANK_READ_ONLY, bz_Bank_InsertResource(bank, kText, 3));
    EXPECT_EQ(BZ_BANK_READ_ONLY, bz_Bank_InsertType(bank, kBank));
    EXPECT_EQ(BZ_BANK_READ_ONLY, bz_Bank_RemoveResource(bank, kText, 1));
    EXPECT_EQ(BZ_BANK_READ_ONLY, bz_Bank_SetDataById(bank, kText, 1, "x", 1));
    EXPECT_EQ(BZ_BANK_READ_ONLY, bz_Bank_MarkModified(bank));
    EXPECT_EQ(BZ_BANK_READ_ONLY, bz_Bank_Save(bank));
    EXPECT_EQ(2, bz_Bank_Count(bank, kText));
    bz_Bank_Free(bank);
}

TEST_F(ResourceBank, ChildBanksAndTheDump)
{
    bzBank bank = MakeBank("C.BZR");
    ASSERT_NE(nullptr, bank);
    bzBank child = nullptr;
    ASSERT_EQ(0, bz_Bank_Create(&child, nullptr, 1));
    ASSERT_EQ(0, bz_Bank_InsertResource(child, kText, 4));
    ASSERT_EQ(0, bz_Bank_SetDataById(child, kText, 4, "inner\x01text", 10));
    ASSERT_EQ(0, bz_Bank_AddChild(bank, kBank, 1, child));
    uint32_t type = 0, id = 0;
    EXPECT_EQ(bank, bz_Bank_GetParent(child, &type, &id));
    EXPECT_EQ(kBank, type);
    EXPECT_EQ(BZ_BANK_READ_ONLY, bz_Bank_SetDataById(bank, kBank, 1, "x", 1))
        << "a child bank is no plain data";
    ASSERT_EQ(0, bz_Bank_Close(bank));

    for (int32_t whole : {1, 0})
    {
        ASSERT_EQ(0, bz_Bank_OpenForUpdate(&bank, "C.BZR", whole));
        bzBank reached = bz_Bank_ReachChild(bank, kBank, 1);
        ASSERT_NE(nullptr, reached);
        EXPECT_EQ(bank, bz_Bank_GetParent(reached, &type, &id));
        EXPECT_EQ(1u, id);
        EXPECT_EQ(reached, bz_Bank_ReachChild(bank, kBank, 1));
        EXPECT_EQ("inner\x01text", Bytes(bz_Bank_FetchById(reached, kText, 4), 10));
        EXPECT_EQ(nullptr, bz_Bank_ReachChild(bank, kText, 1)) << "no child bank";
        // The child can change; the parent's save writes its new image.
        ASSERT_EQ(0, bz_Bank_InsertResource(reached, kText, 5));
        ASSERT_EQ(0, bz_Bank_SetDataById(reached, kText, 5, "more", 4));
        ASSERT_EQ(0, bz_Bank_Close(bank));
    }

    bank = LoadBank("C.BZR", 1, 0);
    ASSERT_NE(nullptr, bank);
    ASSERT_EQ(0, bz_Bank_Dump(bank, "DUMP.TXT", "Test bank", BZ_BANK_ALL, BZ_BANK_ALL));
    const std::string dump = ReadWholeFile("DUMP.TXT");
    const std::string expected = "**** RESOURCE DUMP ****\n\nTest bank\n"
                                 "Total bank size = " +
                                 std::to_string(ReadWholeFile("C.BZR").size()) +
                                 " bytes\n3 type(s)\n"
                                 "\n    type 'BANK'\n    1 resource(s)\n"
                                 "\n        Resource ID 1 is 66 byte(s) long\n"
                                 ">>>>> Recursing into child bank...\n"
                                 "**** RESOURCE DUMP ****\n\nChild Bank\n"
                                 "Total bank size = 66 bytes\n1 type(s)\n"
                                 "\n    type 'TEXT'\n    2 resource(s)\n"
                                 "\n        Resource ID 4 is 10 byte(s) long\n"
                                 "            inner_text\n"
                                 "\n        Resource ID 5 is 4 byte(s) long\n"
                                 "            more\n"
                                 "<<<< Exiting child bank...\n"
                                 "\n    type 'DATA'\n    1 resource(s)\n"
                                 "\n        Resource ID 9 is 4 byte(s) long\n"
                                 "            \n"
                                 "\n    type 'TEXT'\n    2 resource(s)\n"
                                 "\n        Resource ID 1 is 11 byte(s) long\n"
                                 "            first_text_\n"
                                 "\n        Resource ID 2 is 6 byte(s) long\n"
                                 "            second\n";
    EXPECT_EQ(expected, dump);
    ASSERT_EQ(0, bz_Bank_Dump(bank, "ONE.TXT", "One", kText, 2));
    const std::string one = ReadWholeFile("ONE.TXT");
    EXPECT_NE(std::string::npos, one.find("Resource ID 2 is 6"));
    EXPECT_EQ(std::string::npos, one.find("Resource ID 1 "));
    EXPECT_EQ(std::string::npos, one.find("'DATA'"));
    bz_Bank_Free(bank);
}

TEST_F(ResourceBank, DirectoryPastSixtyFourKilobytesIsRefused)
{
    bzBank bank = nullptr;
    ASSERT_EQ(0, bz_Bank_Create(&bank, nullptr, 1));
    int32_t result = 0;
    uint32_t id = 0;
    while (result == 0 && id < 10000)
        result = bz_Bank_InsertResource(bank, kData, ++id);
    EXPECT_EQ(BZ_BANK_FULL, result);
    EXPECT_EQ((65535u - 12 - 8) / 16, (uint32_t)bz_Bank_Count(bank, kData));
    EXPECT_EQ(0, bz_Bank_InsertType(bank, kText)) << "8 bytes still fit";
    EXPECT_EQ(BZ_BANK_FULL, bz_Bank_InsertResource(bank, kText, 1));
    // The last table entry still has a 16-bit offset that is right.
    bzBankResourceEntry entry;
    ASSERT_EQ(0,
              bz_Bank_EntryByIndex(bank, kData, bz_Bank_Count(bank, kData) - 1, nullptr, &entry));
    EXPECT_EQ(id - 1, entry.id);
    bz_Bank_Free(bank);
}

TEST_F(ResourceBank, DamagedFilesAreRefusedWithoutReadingOutOfBounds)
{
    bzBank made = MakeBank("GOOD.BZR");
    ASSERT_NE(nullptr, made);
    bz_Bank_Close(made);
    const std::string good = ReadWholeFile("GOOD.BZR");
    auto tryLoad = [](const std::string &bytes, int32_t whole)
    {
        WriteWholeFile("BAD.BZR", bytes);
        bzFileHandle *file = bz_FileOpen("BAD.BZR", "rb");
        bzBank bank = nullptr;
        int32_t result = bz_Bank_Load(&bank, file, whole, 1);
        if (result != 0)
        {
            bz_FileClose(file);
            return result;
        }
        // Whatever loads can be walked, fetched and dumped.
        for (int32_t k = 0; k < bz_Bank_TypeCount(bank); k++)
        {
            uint32_t type = bz_Bank_TypeCode(bank, k);
            for (int32_t r = 0; r < bz_Bank_Count(bank, type); r++)
                bz_Bank_FetchByIndex(bank, type, r);
        }
        bz_Bank_Dump(bank, "FUZZ.TXT", "fuzz", BZ_BANK_ALL, BZ_BANK_ALL);
        bz_Bank_Free(bank);
        return result;
    };
    // Every truncation is refused.
    for (size_t length = 0; length < good.size(); length++)
    {
        EXPECT_NE(0, tryLoad(good.substr(0, length), 1)) << length;
        EXPECT_NE(0, tryLoad(good.substr(0, length), 0)) << length;
    }
    // Counts beyond the file.
    std::string bad = good;
    bad[2] = (char)0xFF;
    EXPECT_EQ(BZ_ERROR_BAD_DATA_FORMAT, tryLoad(bad, 1));
    EXPECT_EQ(BZ_ERROR_BAD_DATA_FORMAT, tryLoad(bad, 0));
    bad = good;
    bad[12 + 4] = 100; // DATA claims 100 resources
    EXPECT_EQ(BZ_ERROR_BAD_DATA_FORMAT, tryLoad(bad, 0));
    bad = good;
    bad[28 + 4] = (char)0xF0; // a size past the end
    EXPECT_EQ(BZ_ERROR_BAD_DATA_FORMAT, tryLoad(bad, 1));
    EXPECT_EQ(BZ_ERROR_BAD_DATA_FORMAT, tryLoad(bad, 0));
    // Mutated images: refused or read safely.
    uint32_t state = 7;
    for (int round = 0; round < 400; round++)
    {
        bad = good;
        for (int k = 0; k < 1 + round % 4; k++)
        {
            state = state * 1103515245u + 12345u;
            bad[(state >> 8) % bad.size()] = (char)(state >> 20);
        }
        tryLoad(bad, round & 1);
    }
    EXPECT_EQ(0, tryLoad(good, 1));
}

namespace
{
void PutWord(std::string &out, uint32_t value, int bytes)
{
    for (int k = 0; k < bytes; k++)
        out += (char)(value >> (8 * k));
}

// A bank image holding one child bank, which holds one child bank, and so on levels deep.
std::string NestedImage(int levels)
{
    std::string image;
    PutWord(image, 257, 2);
    PutWord(image, 0, 2);
    PutWord(image, 12, 4);
    PutWord(image, 0, 4);
    for (int level = 0; level < levels; level++)
    {
        std::string outer;
        PutWord(outer, 257, 2);
        PutWord(outer, 1, 2);
        PutWord(outer, 36 + (uint32_t)image.size(), 4);
        PutWord(outer, 0, 4);
        PutWord(outer, kBank, 4);
        PutWord(outer, 1, 2);
        PutWord(outer, 20, 2);
        PutWord(outer, 1, 4);
        PutWord(outer, (uint32_t)image.size() | BZ_BANK_RES_CHILD, 4);
        PutWord(outer, 36, 4);
        PutWord(outer, 36, 4);
        image = outer + image;
    }
    return image;
}
} // namespace

// Child banks nest only so deep: a damaged file cannot drive the recursive walks (dump, save,
// free) as deep as its size allows.
TEST_F(ResourceBank, ChildBanksNestOnlySoDeep)
{
    WriteWholeFile("NEST.BZR", NestedImage(40));
    for (int32_t whole : {1, 0})
    {
        bzBank top = LoadBank("NEST.BZR", whole, 1);
        ASSERT_NE(nullptr, top);
        int levels = 0;
        for (bzBank bank = top; (bank = bz_Bank_ReachChild(bank, kBank, 1)) != nullptr;)
            levels++;
        EXPECT_EQ(31, levels) << "whole " << whole;
        ASSERT_EQ(0, bz_Bank_Dump(top, "NEST.TXT", "nest", BZ_BANK_ALL, BZ_BANK_ALL));
        const std::string dump = ReadWholeFile("NEST.TXT");
        size_t entered = 0;
        for (size_t at = 0; (at = dump.find(">>>>> Recursing", at)) != std::string::npos; at++)
            entered++;
        EXPECT_EQ(31u, entered);
        bz_Bank_Free(top);
    }
    // Thousands of levels: dumped and freed quickly, without running out of stack.
    WriteWholeFile("DEEP.BZR", NestedImage(5000));
    bzBank deep = LoadBank("DEEP.BZR", 1, 1);
    ASSERT_NE(nullptr, deep);
    EXPECT_EQ(0, bz_Bank_Dump(deep, "DEEP.TXT", "deep", BZ_BANK_ALL, BZ_BANK_ALL));
    bz_Bank_Free(deep);
}

// A directory that claims more resources than the file holds is damage: refused as such
// before any memory is asked for it.
TEST_F(ResourceBank, DirectoryLargerThanTheFileIsBadData)
{
    std::string image;
    PutWord(image, 257, 2);
    PutWord(image, 200, 2);
    PutWord(image, 12, 4);
    PutWord(image, 0, 4);
    for (uint32_t k = 0; k < 200; k++)
    {
        PutWord(image, k + 1, 4);
        PutWord(image, 0xFFFF, 2);
        PutWord(image, 12 + 8 * 200 + 16 * 0xFFFF * k, 2);
    }
    WriteWholeFile("HUGE.BZR", image);
    bzFileHandle *file = bz_FileOpen("HUGE.BZR", "rb");
    ASSERT_NE(nullptr, file);
    bzBank bank = nullptr;
    EXPECT_EQ(BZ_ERROR_BAD_DATA_FORMAT, bz_Bank_Load(&bank, file, 0, 1));
    EXPECT_EQ(nullptr, bank);
    bz_FileClose(file);
}
