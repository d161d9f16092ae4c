// Section searches by name keep the results of a search from the start of the data: the first
// header of the name that the search reaches, none past a closing bracket or inside a block or
// comment, the same position when nothing is found, and the right answer after every edit, in
// plain and enciphered readers alike.
#include "TextTestSupport.h"

#include "core/Error.h"
#include "core/Memory.h"
#include "text/TextValues.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace
{
std::string Line(const char *line)
{
    return line ? line : "<null>";
}

std::string Stored(const bzTextReader *r)
{
    return std::string(reinterpret_cast<const char *>(r->data), static_cast<size_t>(r->size));
}

// A section search from the start, and the same search as a continued one from position 0,
// which scans byte by byte: they must agree in result, position and section start.
struct Search
{
    int32_t found;
    int32_t position;
    int32_t sectionStart;
    bool operator==(const Search &) const = default;
};

Search FromStart(bzTextReader *r, const char *name)
{
    r->sectionStart = -7;
    int32_t found = bz_Text_FindSection(r, name, 0);
    return {found, r->position, r->sectionStart};
}

Search Continued(bzTextReader *r, const char *name)
{
    r->sectionStart = -7;
    bz_Text_SeekStart(r);
    int32_t found = bz_Text_FindSection(r, name, 1);
    return {found, r->position, r->sectionStart};
}

class TextSectionIndex : public ::testing::Test
{
protected:
    ScopedTempDir dir_;
    KeepAlive keepAlive_;
    std::vector<bzTextReader *> readers_;

    bzTextReader *Load(const std::string &text, bool enciphered = false)
    {
        bzTextReader *r = ReaderOver(text, enciphered, enciphered ? "E.TXT" : "P.TXT");
        EXPECT_NE(nullptr, r);
        readers_.push_back(r);
        return r;
    }
    void TearDown() override
    {
        for (bzTextReader *r : readers_)
            bz_Text_Close(r);
        bz_Text_FreeLineBuffer();
    }
};
} // namespace

TEST_F(TextSectionIndex, FirstReachableHeaderOfTheNameWins)
{
    const std::string text = "// [HIDDEN] in a comment\n" // 0
                             "{ [INBLOCK]\n<K>\nb\n}\n"   // a block is stepped over
                             "[A]\n<K>\nfirst\n"          //
                             "value [MID] in a line\n"    // a token anywhere in a line
                             "[A]\n<K>\nsecond\n"         // a second [A] is never found
                             "[a]\n<K>\nlower\n"          // names compare byte for byte
                             "[B]\n<K>\nbee\n"            //
                             "}\n"                        // the search stops here
                             "[AFTER]\n<K>\nnever\n";
    for (bool enciphered : {false, true})
    {
        bzTextReader *r = Load(text, enciphered);
        struct Case
        {
            const char *name;
            const char *value; // of its key K; null: not found
        } cases[] = {
            {"A", "first"},      {"a", "lower"},       {"B", "bee"},       {"MID", "in a line"},
            {"HIDDEN", nullptr}, {"INBLOCK", nullptr}, {"AFTER", nullptr}, {"", nullptr},
            {"A]", nullptr},     {"Z", nullptr},
        };
        for (const Case &c : cases)
        {
            const int32_t found = bz_Text_FindSection(r, c.name, 0);
            EXPECT_EQ(c.value != nullptr, found != 0) << c.name << " enciphered " << enciphered;
            if (found && std::string(c.name) == "MID")
                EXPECT_EQ("in a line", Line(bz_Text_ReadLine(r)));
            else if (found)
            {
                ASSERT_TRUE(bz_Text_FindKey(r, "K")) << c.name;
                EXPECT_EQ(c.value, Line(bz_Text_ReadLine(r))) << c.name;
            }
        }
        // A search that finds nothing stops on the closing bracket that ends it.
        EXPECT_FALSE(bz_Text_FindSection(r, "AFTER", 0));
        EXPECT_EQ(static_cast<int32_t>(text.find("}\n[AFTER]")), bz_Text_GetPos(r));
    }
}

TEST_F(TextSectionIndex, NamesHoldingBracketsAndTheLongestName)
{
    const std::string longName(509, 'N');
    const std::string tooLong(510, 'L');
    const std::string text = "[A]B]\n<K>\nab\n[" + longName + "]\n<K>\nlong\n[" + tooLong +
                             "]\n<K>\ntoo long\n[]\n<K>\nempty\n";
    bzTextReader *r = Load(text);
    ASSERT_TRUE(bz_Text_FindSection(r, "A]B", 0)) << "a name holding ] is searched for whole";
    ASSERT_TRUE(bz_Text_FindKey(r, "K"));
    EXPECT_EQ("ab", Line(bz_Text_ReadLine(r)));
    ASSERT_TRUE(bz_Text_FindSection(r, "A", 0)) << "[A]B] begins with the token [A]";
    ASSERT_TRUE(bz_Text_FindKey(r, "K"));
    EXPECT_EQ("ab", Line(bz_Text_ReadLine(r)));
    ASSERT_TRUE(bz_Text_FindSection(r, longName.c_str(), 0)) << "509 characters fit the token";
    ASSERT_TRUE(bz_Text_FindKey(r, "K"));
    EXPECT_EQ("long", Line(bz_Text_ReadLine(r)));
    EXPECT_FALSE(bz_Text_FindSection(r, tooLong.c_str(), 0)) << "510 characters do not";
    ASSERT_TRUE(bz_Text_FindSection(r, "", 0)) << "the empty name";
    ASSERT_TRUE(bz_Text_FindKey(r, "K"));
    EXPECT_EQ("empty", Line(bz_Text_ReadLine(r)));
}

TEST_F(TextSectionIndex, FailedSearchesStopWhereTheScanStops)
{
    struct Case
    {
        std::string text;
        const char *name;
        int32_t position; // after the failed search
    } cases[] = {
        {"[A]\n1\n", "ZZ", 3},             // runs past size - 4: stops at 3 (the line feed passed)
        {"[A]\n1\n", "LONGER_THAN_IT", 0}, // a token longer than the data: not moved
        {"[A]\n}\n[B]\n", "B", 4},         // on the "}"
        {"[A]\n{\n[B]\n", "B", 10},        // an unclosed block: at the end
        {"[A]\n// [B] and more text\n", "B", 24}, // a comment skipped to its line end
        {"x\n" + std::string(9000, ' ') + "[A]\n", "ABSENT", 8999}, // far from any header
    };
    for (bool enciphered : {false, true})
        for (const Case &c : cases)
        {
            bzTextReader *r = Load(c.text, enciphered);
            EXPECT_FALSE(bz_Text_FindSection(r, c.name, 0)) << c.name;
            EXPECT_EQ(c.position, bz_Text_GetPos(r)) << c.name << " in " << c.text.substr(0, 30);
            EXPECT_EQ(Continued(r, c.name), FromStart(r, c.name)) << c.name;
        }
}

TEST_F(TextSectionIndex, SectionsAddedOrDeletedAfterLoadAreFoundOrNot)
{
    const std::string text = "[A]\n<K>\n1\n\n[B]\n<K>\n2\n\n[C]\n<K>\n3\n";
    for (bool enciphered : {false, true})
    {
        bzTextReader *r = Load(text, enciphered);
        ASSERT_TRUE(bz_Text_FindSection(r, "C", 0)); // the index is in use from here on
        EXPECT_FALSE(bz_Text_FindSection(r, "D", 0));

        bz_Text_AppendLine(r, "[D]");
        bz_Text_AppendLine(r, "<K>");
        bz_Text_AppendLine(r, "4");
        ASSERT_TRUE(bz_Text_FindSection(r, "D", 0)) << "appended";
        ASSERT_TRUE(bz_Text_FindKey(r, "K"));
        EXPECT_EQ("4", Line(bz_Text_ReadLine(r)));

        ASSERT_EQ(1, bz_Text_DeleteSection(r, "B"));
        EXPECT_FALSE(bz_Text_FindSection(r, "B", 0)) << "deleted";
        ASSERT_TRUE(bz_Text_FindSection(r, "C", 0)) << "moved down by the deletion";
        ASSERT_TRUE(bz_Text_FindKey(r, "K"));
        EXPECT_EQ("3", Line(bz_Text_ReadLine(r)));

        // A line holding a header, put into section A, makes a new section in front of C.
        bz_Text_InsertLine(r, "A", "[NEW]");
        bz_Text_InsertLine(r, "NEW", "<K>");
        bz_Text_InsertLine(r, "NEW", "new");
        ASSERT_TRUE(bz_Text_FindSection(r, "NEW", 0)) << "inserted";
        ASSERT_TRUE(bz_Text_FindKey(r, "K"));
        EXPECT_EQ("new", Line(bz_Text_ReadLine(r)));
        ASSERT_TRUE(bz_Text_FindSection(r, "D", 0)) << "moved up by the insertion";
        ASSERT_TRUE(bz_Text_FindKey(r, "K"));
        EXPECT_EQ("4", Line(bz_Text_ReadLine(r)));

        ASSERT_EQ(1, bz_Text_DeleteKey(r, "A", "K"));
        ASSERT_TRUE(bz_Text_FindSection(r, "A", 0));
        EXPECT_FALSE(bz_Text_FindKey(r, "K")) << "its key deleted";
        ASSERT_TRUE(bz_Text_FindSection(r, "C", 0));
        ASSERT_TRUE(bz_Text_FindKey(r, "K"));
        EXPECT_EQ("3", Line(bz_Text_ReadLine(r)));

        // A closing bracket appended after C ends the search there: nothing after it is found.
        bz_Text_AppendLine(r, "}");
        bz_Text_AppendLine(r, "[E]");
        EXPECT_FALSE(bz_Text_FindSection(r, "E", 0));

        const std::string expected = "[A]\n\n[NEW]\n<K>\nnew\n\n[C]\n<K>\n3\n\n[D]\n<K>\n4\n}\n[E]";
        if (enciphered)
            EXPECT_EQ(Encipher(expected), Stored(r)) << "stored enciphered at every position";
        else
            EXPECT_EQ(expected, Stored(r));
    }
}

TEST_F(TextSectionIndex, EncipheredLookupsMatchPlainOnes)
{
    std::string text = "// many sections\n";
    for (int i = 0; i < 300; ++i)
        text += "\n[S" + std::to_string(i) + "]\n<V>\n" + std::to_string(i * 7) + "\n";
    bzTextReader *plain = Load(text, false);
    bzTextReader *enciphered = Load(text, true);
    EXPECT_NE(Stored(plain), Stored(enciphered)) << "kept as stored";
    for (int i = 299; i >= 0; i -= 13)
    {
        const std::string name = "S" + std::to_string(i);
        for (bzTextReader *r : {plain, enciphered})
        {
            ASSERT_TRUE(bz_Text_FindSection(r, name.c_str(), 0)) << name;
            ASSERT_TRUE(bz_Text_FindKey(r, "V"));
            EXPECT_EQ(std::to_string(i * 7), Line(bz_Text_ReadLine(r)));
        }
        EXPECT_EQ(plain->position, enciphered->position);
    }
    EXPECT_FALSE(bz_Text_FindSection(enciphered, "S300", 0));
    EXPECT_EQ(plain->size - 6 + 1, enciphered->position) << "past the last place it could start";
}

// Random texts built from the bytes that matter to the search, searched and edited at random:
// every search from the start agrees with the byte-by-byte search, and an enciphered twin
// gives the same answers and keeps its stored bytes enciphered.
TEST_F(TextSectionIndex, RandomTextsAndEditsAgreeWithTheScan)
{
    const char *const pieces[] = {"[A]",  "[B]", "[AB]", "[", "]",   "{", "}", "//", "/",  "\n",
                                  "\r\n", " ",   "\t",   "x", "<K>", "@", ")", "[A", "B]", "\n\n"};
    const char *const names[] = {"A", "B", "AB", "", "K", "A]", "X", "[A"};
    const size_t pieceCount = sizeof pieces / sizeof pieces[0];
    const size_t nameCount = sizeof names / sizeof names[0];
    uint32_t state = 0x2468ace1u;
    auto next = [&state](uint32_t n)
    {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state % n;
    };
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
    int rounds = 0;
    for (; rounds < 3000 && std::chrono::steady_clock::now() < until; ++rounds)
    {
        std::string text;
        for (uint32_t k = 0, n = 1 + next(40); k < n; ++k)
            text += pieces[next(pieceCount)];
        bzTextReader *plain = ReaderOver(text, false, "P.TXT");
        bzTextReader *enciphered = ReaderOver(text, true, "E.TXT");
        ASSERT_NE(nullptr, plain);
        ASSERT_NE(nullptr, enciphered);
        for (int step = 0; step < 12; ++step)
        {
            const char *name = names[next(nameCount)];
            const char *piece = pieces[next(pieceCount)];
            const uint32_t edit = next(6);
            for (bzTextReader *r : {plain, enciphered})
                switch (edit)
                {
                case 0: bz_Text_AppendLine(r, piece); break;
                case 1: bz_Text_InsertLine(r, name, piece); break;
                case 2: bz_Text_DeleteSection(r, name); break;
                case 3: bz_Text_DeleteKey(r, name, "K"); break;
                default: break; // searches only
                }
            const std::string now = Stored(plain);
            ASSERT_EQ(Encipher(now), Stored(enciphered)) << now;
            for (const char *searched : names)
            {
                const Search scan = Continued(plain, searched);
                ASSERT_EQ(scan, FromStart(plain, searched))
                    << "name '" << searched << "' in '" << now << "'";
                ASSERT_EQ(scan, FromStart(enciphered, searched))
                    << "name '" << searched << "' in '" << now << "'";
            }
        }
        bz_Text_Close(plain);
        bz_Text_Close(enciphered);
    }
    EXPECT_GT(rounds, 50);
}

TEST_F(TextSectionIndex, FilesOfTwoKeysAndFilesBeyondTheKeptKeyStream)
{
    // A file enciphered with another key, read between two uses of the first key, and an edit of
    // the first reader after it: every reader keeps deciphering and enciphering with its own key.
    const std::string first = "[A]\n<K>\nfirst key\n";
    bzTextReader *one = Load(first, true);
    const uint8_t otherKey[] = {9, 8, 7, 6, 5};
    const std::string second = "[A]\n<K>\nsecond key\n";
    std::string stored(second.size(), '\0');
    bz_CipherBytes(reinterpret_cast<uint8_t *>(stored.data()), 0, otherKey, 5,
                   reinterpret_cast<const uint8_t *>(second.data()),
                   static_cast<int32_t>(second.size()), nullptr);
    WriteWholeFile("OTHER.TXT", stored);
    ASSERT_EQ(1, bz_WAD_SetKey(otherKey, 5));
    bzFileHandle *file = bz_FileOpen("OTHER.TXT", "rb");
    ASSERT_NE(nullptr, file);
    file->enciphered = 1;
    bzTextReader *two = bz_Text_FromFile(file);
    bz_FileClose(file);
    ASSERT_NE(nullptr, two);
    readers_.push_back(two);
    for (auto [r, value] : {std::pair{one, "first key"}, std::pair{two, "second key"}})
    {
        ASSERT_TRUE(bz_Text_FindSection(r, "A", 0));
        ASSERT_TRUE(bz_Text_FindKey(r, "K"));
        EXPECT_EQ(value, Line(bz_Text_ReadLine(r)));
    }
    bz_Text_InsertLine(one, "A", "added");
    EXPECT_EQ(Encipher(first + "added\n"), Stored(one)) << "enciphered with its own key";
    bzTextReader *three = Load(first + "[B]\n", true); // the first key again
    ASSERT_TRUE(bz_Text_FindSection(three, "A", 0));
    ASSERT_TRUE(bz_Text_FindKey(three, "K"));
    EXPECT_EQ("first key", Line(bz_Text_ReadLine(three)));

    // A file longer than the key stream the reader keeps (4 MB) reads right to its end, and an
    // edit near its end is enciphered right.
    std::string big = "[START]\n";
    while (big.size() < (4u << 20) + 5000)
        big += "<LINE>\n0123456789 abcdefghij ABCDEFGHIJ\n";
    big += "[END]\n<K>\nthe end\n";
    bzTextReader *large = Load(big, true);
    ASSERT_TRUE(bz_Text_FindSection(large, "END", 0));
    ASSERT_TRUE(bz_Text_FindKey(large, "K"));
    EXPECT_EQ("the end", Line(bz_Text_ReadLine(large)));
    bz_Text_AppendLine(large, "appended");
    EXPECT_TRUE(Encipher(big + "\nappended") == Stored(large));
}
