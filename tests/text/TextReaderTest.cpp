#include "TextTestSupport.h"
#include "WadTestWriter.h"

#include "core/Error.h"
#include "core/Memory.h"
#include "text/TextValues.h"

#include <gtest/gtest.h>

#include <ctime>

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

namespace
{
const char kSevenLines[] = "[A]\n<K>\n1\n2\n[B]\n<K>\n3\n";

std::string Line(const char *line)
{
    return line ? line : "<null>";
}

class TextReader : public ::testing::Test
{
protected:
    ScopedTempDir dir_;
    KeepAlive keepAlive_;
    bzTextReader *reader_ = nullptr;

    bzTextReader *Load(const std::string &text, bool enciphered = false)
    {
        if (reader_)
            bz_Text_Close(reader_);
        reader_ = ReaderOver(text, enciphered);
        EXPECT_NE(nullptr, reader_);
        return reader_;
    }
    void TearDown() override
    {
        bz_Text_Close(reader_);
        bz_Text_SetCommaMode();
        bz_Text_FreeLineBuffer();
    }
};
} // namespace

TEST_F(TextReader, SectionsKeysAndValueLines)
{
    for (bool enciphered : {false, true})
    {
        bzTextReader *r = Load(kSevenLines, enciphered);
        ASSERT_TRUE(bz_Text_FindSection(r, "B", 0));
        ASSERT_TRUE(bz_Text_FindKey(r, "K"));
        EXPECT_EQ("3", Line(bz_Text_ReadLine(r)));

        ASSERT_TRUE(bz_Text_FindSection(r, "A", 0));
        ASSERT_TRUE(bz_Text_FindKey(r, "K"));
        EXPECT_EQ("1", Line(bz_Script_ReadValueLine(r)));
        EXPECT_EQ("2", Line(bz_Script_ReadValueLine(r)));
        EXPECT_EQ("<null>", Line(bz_Script_ReadValueLine(r)));
        // The header line was given back.
        EXPECT_EQ("[B]", Line(bz_Text_ReadLine(r)));

        EXPECT_FALSE(bz_Text_FindSection(r, "C", 0));
        ASSERT_TRUE(bz_Text_FindSection(r, "A", 0));
        EXPECT_FALSE(bz_Text_FindKey(r, "X"));
        // A key search stops at the next header.
        ASSERT_TRUE(bz_Text_FindSection(r, "A", 0));
        bz_Text_SetPos(r, r->sectionStart);
        EXPECT_TRUE(bz_Text_FindKeyFrom(r, "K", 0));
        EXPECT_FALSE(bz_Text_FindKeyFrom(r, "K", 0)) << "the second <K> lies in section B";
        EXPECT_TRUE(bz_Text_FindKeyFrom(r, "K", 2));
    }
}

TEST_F(TextReader, BlocksAndCommentsHideSectionsAndKeys)
{
    bzTextReader *r = Load("[A]\n{\n<K>\n1\n}\n<L>\n2\n// [C]\n[D]\n");
    ASSERT_TRUE(bz_Text_FindSection(r, "A", 0));
    EXPECT_FALSE(bz_Text_FindKey(r, "K"));
    bz_Text_SetPos(r, r->sectionStart);
    char name[BZ_TEXT_LINE_SIZE];
    ASSERT_TRUE(bz_Script_NextKeyName(r, name));
    EXPECT_STREQ("<L>", name);
    EXPECT_EQ("2", Line(bz_Text_ReadLine(r)));
    EXPECT_FALSE(bz_Script_NextKey(r));
    EXPECT_FALSE(bz_Text_FindSection(r, "C", 0));
    bz_Text_SeekStart(r);
    ASSERT_TRUE(bz_Text_NextSectionName(r, name));
    EXPECT_STREQ("[A]", name);
    ASSERT_TRUE(bz_Text_NextSectionName(r, name));
    EXPECT_STREQ("[D]", name) << "neither the block nor the comment holds a header";
    EXPECT_FALSE(bz_Text_NextSection(r));

    // An at-sign stretch up to ")" hides a header; "@@" starts none.
    r = Load("x @C([Q]) y\n@@ [R]\n");
    ASSERT_TRUE(bz_Text_NextSectionName(r, name));
    EXPECT_STREQ("[R]", name);
}

TEST_F(TextReader, LineRules)
{
    struct Case
    {
        std::string text;
        std::string line;
    } cases[] = {
        {"1.5 //c\n", "1.5 "},
        {"  \t lead\n", "lead"},
        {"a\tb\n", "a"}, // a tab ends a line
        {"last", "last"},
        {"", "<null>"},
        {"// only a comment\n", "<null>"},
        {std::string(254, 'x') + "\n", std::string(254, 'x')},
    };
    for (const Case &c : cases)
    {
        bzTextReader *r = Load(c.text);
        EXPECT_EQ(c.line, Line(bz_Text_ReadLine(r))) << c.text;
    }
    bzTextReader *r = Load(std::string(255, 'y') + "\nz\n");
    bzgLastError = 0;
    EXPECT_EQ(nullptr, bz_Text_ReadLine(r));
    EXPECT_EQ(BZ_ERROR_NO_MEMORY, bzgLastError);
    EXPECT_EQ(255, bz_Text_LineLength(r));
}

// "//" starts a comment anywhere; once white space has been skipped, a single "/" does too.
// Inside a word or a line a single "/" is an ordinary character.
TEST_F(TextReader, SingleSlashAfterWhiteSpaceStartsAComment)
{
    struct Case
    {
        std::string text;
        std::vector<std::string> words; // bz_Text_ReadWord until it gives null
        std::vector<std::string> lines; // bz_Text_ReadLine over the whole text
    };
    const Case cases[] = {
        {"a / b\nc", {"a", "c"}, {"a / b", "c"}},     {"a /b\nc", {"a", "c"}, {"a /b", "c"}},
        {"a/ b\nc", {"a/", "b", "c"}, {"a/ b", "c"}}, {"x\n/ note\ny", {"x", "y"}, {"x", "y"}},
        {"1\n  / 2\n3", {"1", "3"}, {"1", "3"}},      {"p\t/q r\ns", {"p", "s"}, {"p", "s"}},
        {"/x\ny", {"/x", "y"}, {"/x", "y"}}, // no white space before it: a word
        {"u // v\nw", {"u", "w"}, {"u ", "w"}},       {"e /\nf", {"e", "f"}, {"e /", "f"}},
    };
    for (bool enciphered : {false, true})
    {
        for (const Case &c : cases)
        {
            bzTextReader *r = Load(c.text, enciphered);
            ASSERT_NE(r, nullptr);
            std::vector<std::string> words;
            while (const char *word = bz_Text_ReadWord(r))
            {
                words.push_back(word);
                if (words.size() > 10)
                    break;
            }
            EXPECT_EQ(words, c.words) << c.text << (enciphered ? " (enciphered)" : "");
            bz_Text_SeekStart(r);
            EXPECT_EQ(AllLines(r), c.lines) << c.text << (enciphered ? " (enciphered)" : "");
        }
    }
}

TEST_F(TextReader, LineEndsOfEveryKind)
{
    const std::string lf = "[S]\n<K>\n1 2\n\nlast\n[T]\n";
    std::string crlf, cr;
    for (char c : lf)
    {
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
        cr += c == '\n' ? '\r' : c;
    }
    const std::vector<std::string> expected = {"[S]", "<K>", "1 2", "last", "[T]"};
    for (const std::string &text : {lf, crlf, cr, lf.substr(0, lf.size() - 1)})
    {
        for (bool enciphered : {false, true})
        {
            bzTextReader *r = Load(text, enciphered);
            EXPECT_EQ(expected, AllLines(r));
            ASSERT_TRUE(bz_Text_FindSection(r, "S", 0));
            ASSERT_TRUE(bz_Text_FindKey(r, "K"));
            EXPECT_EQ("1 2", Line(bz_Text_ReadLine(r)));
            EXPECT_TRUE(bz_Text_FindSection(r, "T", 0));
        }
    }
}

TEST_F(TextReader, EmptyFileAndMissingFiles)
{
    bzTextReader *r = Load("");
    EXPECT_EQ(0, r->size);
    EXPECT_EQ(nullptr, bz_Text_ReadLine(r));
    EXPECT_FALSE(bz_Text_FindSection(r, "A", 0));
    EXPECT_FALSE(bz_Text_NextSection(r));
    EXPECT_FALSE(bz_Script_NextKey(r));
    EXPECT_TRUE(bz_Script_AtBlockEnd(r));

    for (const char *name : {(const char *)nullptr, "", "MISSING.TXT"})
    {
        bzgLastError = 0;
        EXPECT_EQ(nullptr, bz_Script_Load(name));
        EXPECT_EQ(BZ_ERROR_FILE_NOT_FOUND, bzgLastError);
    }
    bzgLastError = 0;
    EXPECT_EQ(nullptr, bz_Text_FromFile(nullptr));
    EXPECT_EQ(BZ_ERROR_FILE_NOT_FOUND, bzgLastError);
}

TEST_F(TextReader, OpenAddsTheExtension)
{
    WriteWholeFile("SETTINGS.TXT", "[A]\n");
    WriteWholeFile("OTHER.DAT", "[B]\n");
    struct Case
    {
        bzTextReader *(*open)(const char *);
        const char *name;
        const char *stored;
    } cases[] = {
        {bz_Script_Open, "SETTINGS", "SETTINGS.TXT"},
        {bz_Script_Open, "OTHER.DAT", "OTHER.DAT"},
        {bz_Script_OpenFile, "SETTINGS", "SETTINGS.TXT"},
        {bz_Script_Load, "SETTINGS.TXT", "SETTINGS.TXT"},
    };
    for (const Case &c : cases)
    {
        bzTextReader *r = c.open(c.name);
        ASSERT_NE(nullptr, r) << c.name;
        EXPECT_STREQ(c.stored, r->name);
        EXPECT_EQ(0, r->flags);
        bz_Text_Close(r);
    }
    EXPECT_EQ(nullptr, bz_Script_OpenFile("OTHER"));
}

TEST_F(TextReader, TabMode)
{
    EXPECT_EQ(0, bz_Text_SetTabMode());
    EXPECT_EQ(1, bz_Text_SetTabMode());
    bzTextReader *r = Load("a\t\tb\n");
    EXPECT_EQ("a", Line(bz_Text_ReadLine(r)));
    EXPECT_EQ("<null>", Line(bz_Text_ReadLine(r)));
    EXPECT_EQ("b", Line(bz_Text_ReadLine(r)));
    bz_Text_SetCommaMode();
    EXPECT_EQ(0, bz_Text_GetTabMode());
    r = Load("a\t\tb\n");
    EXPECT_EQ("a", Line(bz_Text_ReadLine(r)));
    EXPECT_EQ("b", Line(bz_Text_ReadLine(r)));
}

TEST_F(TextReader, UnclosedBlocksAreReported)
{
    bzTextReader *r = Load("[A]\n{\n<K>\n1\n");
    ASSERT_TRUE(bz_Text_FindSection(r, "A", 0));
    uint32_t reports = bz_Error_ReportCount();
    bz_Script_SkipBlock(r);
    EXPECT_EQ(reports + 1, bz_Error_ReportCount());
    EXPECT_STREQ("Scripting", bz_Error_LastReportCaption());
    EXPECT_NE(nullptr, strstr(bz_Error_LastReportText(), "Unmatched curly brackets in T.TXT"));
    EXPECT_EQ(r->size, bz_Text_GetPos(r));

    ASSERT_TRUE(bz_Text_FindSection(r, "A", 0));
    bz_Script_SkipNestedBlock(r);
    EXPECT_EQ(reports + 2, bz_Error_ReportCount());
    EXPECT_EQ(r->size - 1, bz_Text_GetPos(r));

    // A key search meets the open block, reports it and ends.
    ASSERT_TRUE(bz_Text_FindSection(r, "A", 0));
    EXPECT_FALSE(bz_Script_NextKey(r));
    EXPECT_EQ(reports + 3, bz_Error_ReportCount());
    // A token search runs out of data inside the block: not found, no report.
    ASSERT_TRUE(bz_Text_FindSection(r, "A", 0));
    EXPECT_FALSE(bz_Text_FindKey(r, "K"));
    EXPECT_EQ(reports + 3, bz_Error_ReportCount());

    r = Load("{ { } x } after\n");
    bz_Script_SkipNestedBlock(r);
    EXPECT_EQ("after", Line(bz_Text_ReadLine(r)));
    r = Load("{ { } x } after\n");
    bz_Script_SkipBlock(r);
    EXPECT_EQ("x } after", Line(bz_Text_ReadLine(r)));
    EXPECT_EQ(reports + 3, bz_Error_ReportCount());
}

TEST_F(TextReader, WordsCharactersAndPositions)
{
    bzTextReader *r = Load("alpha beta//c\n  gamma\r\ndelta epsilon\n[S]\nx\n");
    EXPECT_EQ("alpha", Line(bz_Text_ReadWord(r)));
    EXPECT_EQ("beta", Line(bz_Text_ReadWord(r)));
    EXPECT_EQ("gamma", Line(bz_Text_ReadWord(r)));
    bz_Text_NextLine(r, 1);
    char chars[8] = {};
    EXPECT_EQ(5, bz_Text_ReadChars(r, chars, 5));
    EXPECT_STREQ("delta", chars);
    char rest[8];
    EXPECT_TRUE(bz_Text_ReadRestOfLine(r, rest, sizeof rest));
    EXPECT_STREQ(" epsilo", rest) << "cut to the buffer";
    EXPECT_EQ(0, bz_Text_CountLines(r)) << "at the header";
    EXPECT_EQ('[', bz_Text_GetChar(r, 0));
    EXPECT_EQ(0, bz_Text_GetChar(r, 1000));
    EXPECT_EQ(0, bz_Text_GetChar(r, -1000));

    bz_Text_SeekStart(r);
    EXPECT_EQ(3, bz_Text_CountLines(r)) << "line feeds before the header";
    EXPECT_EQ("alpha beta", Line(bz_Text_ReadLine(r)));
    EXPECT_EQ(0, bz_Text_UnreadLine(r));
    EXPECT_EQ(0, bz_Text_GetPos(r));
    EXPECT_EQ(1, bz_Text_UnreadLine(r));
    bz_Text_NextLine(r, 0);
    EXPECT_EQ("gamma", Line(bz_Text_ReadLine(r)));

    bz_Text_SetPos(r, 1 << 30);
    EXPECT_EQ(r->size, bz_Text_GetPos(r));
    EXPECT_FALSE(bz_Text_ReadRestOfLine(r, rest, sizeof rest));
    bz_Text_Rewind(r);
    EXPECT_EQ(0, bz_Text_GetPos(r));
    EXPECT_EQ("alpha beta", Line(bz_Text_ReadLine(r)));
}

TEST_F(TextReader, BlockEndsAndLookups)
{
    bzTextReader *r = Load("[ONE]\n<SIZE>\n3\n<Colour>\n1\n[two]\n}\n");
    const bzTextLookup sections[] = {{"one", 1}, {"[TWO]", 2}, {nullptr, 0}};
    const bzTextLookup keys[] = {{"size", 10}, {"<COLOUR>", 20}, {nullptr, 0}};
    int32_t value = 0;
    bz_Text_LookupSection(r, sections, &value);
    EXPECT_EQ(1, value);
    bz_Script_LookupKey(r, keys, &value);
    EXPECT_EQ(10, value);
    EXPECT_FALSE(bz_Script_AtBlockEnd(r));
    EXPECT_EQ("3", Line(bz_Text_ReadLine(r)));
    EXPECT_TRUE(bz_Script_AtBlockEnd(r));
    bz_Script_LookupKey(r, keys, &value);
    EXPECT_EQ(20, value);
    bz_Script_LookupKey(r, keys, &value);
    EXPECT_EQ(-1, value) << "no key is left in the section";
    bz_Text_LookupSection(r, sections, &value);
    EXPECT_EQ(2, value);
    EXPECT_TRUE(bz_Script_AtBlockEnd(r)) << "at the closing bracket";
    bz_Text_LookupSection(r, sections, &value);
    EXPECT_EQ(-1, value);
}

TEST_F(TextReader, EncipheredFileReadsLikeItsPlainTwin)
{
    const std::string text = "// settings\n[GENERAL]\n<NAME>\nNew York, USA\n<SIZE>\n1.5 2.5 "
                             "3.5\n{\n<HIDDEN>\n}\n[OTHER]\n<K>\r\nv\n";
    bzTextReader *plain = ReaderOver(text, false, "PLAIN.TXT");
    bzTextReader *enciphered = ReaderOver(text, true, "ENC.TXT");
    ASSERT_NE(nullptr, plain);
    ASSERT_NE(nullptr, enciphered);
    EXPECT_EQ(BZ_TEXT_ENCIPHERED, enciphered->flags);
    EXPECT_NE(0, memcmp(plain->data, enciphered->data, plain->size)) << "stored as read";
    EXPECT_EQ(AllLines(plain), AllLines(enciphered));
    for (bzTextReader *r : {plain, enciphered})
    {
        ASSERT_TRUE(bz_Text_FindSection(r, "GENERAL", 0));
        ASSERT_TRUE(bz_Text_FindKey(r, "SIZE"));
        EXPECT_EQ("1.5 2.5 3.5", Line(bz_Text_ReadLine(r)));
        EXPECT_FALSE(bz_Text_FindKey(r, "HIDDEN"));
        char name[BZ_TEXT_LINE_SIZE];
        bz_Text_SeekStart(r);
        ASSERT_TRUE(bz_Text_NextSectionName(r, name));
        EXPECT_STREQ("[GENERAL]", name);
        ASSERT_TRUE(bz_Script_NextKeyName(r, name));
        EXPECT_STREQ("<NAME>", name);
        ASSERT_TRUE(bz_Text_NextSectionName(r, name));
        EXPECT_STREQ("[OTHER]", name);
    }
    bz_Text_Close(plain);
    bz_Text_Close(enciphered);

    // Without a key an enciphered file cannot be read.
    bz_WAD_SetKey(nullptr, 0);
    WriteWholeFile("NOKEY.TXT", Encipher(text));
    bzFileHandle *file = bz_FileOpen("NOKEY.TXT", "rb");
    ASSERT_NE(nullptr, file);
    file->enciphered = 1;
    bzgLastError = 0;
    EXPECT_EQ(nullptr, bz_Text_FromFile(file));
    EXPECT_EQ(BZ_CIPHER_NO_KEY, bzgLastError);
    bz_FileClose(file);
}

namespace
{
// The whole data of a reader, deciphered.
std::string Deciphered(bzTextReader *reader)
{
    bz_Text_SeekStart(reader);
    std::string text;
    for (int32_t k = 0; k < reader->size; k++)
        text += static_cast<char>(bz_Text_GetChar(reader, k));
    return text;
}
} // namespace

// Editing an enciphered text gives the same text as the same edit of its plain twin, still
// enciphered at every byte's own position, and a save writes it enciphered.
TEST_F(TextReader, EditingAnEncipheredTextKeepsItReadable)
{
    const std::string text = "\n[A]\n\n<K>\n1\n\n<L>\n2\n\n[B]\n\n<K>\n3\n\n[C]\n<M>\n4\n";
    const struct
    {
        const char *what;
        void (*edit)(bzTextReader *);
    } edits[] = {
        {"insert", [](bzTextReader *r) { bz_Text_InsertLine(r, "A", "<NEW>"); }},
        {"delete key", [](bzTextReader *r) { bz_Text_DeleteKey(r, "A", "K"); }},
        {"append", [](bzTextReader *r) { bz_Text_AppendLine(r, "[D]"); }},
        {"delete section", [](bzTextReader *r) { bz_Text_DeleteSection(r, "B"); }},
        {"delete every section",
         [](bzTextReader *r)
         {
             for (const char *name : {"A", "B", "C"})
                 bz_Text_DeleteSection(r, name);
         }},
        {"several",
         [](bzTextReader *r)
         {
             bz_Text_InsertLine(r, "B", "<X>");
             bz_Text_DeleteKey(r, "A", "L");
             bz_Text_AppendLine(r, "tail");
             bz_Text_InsertLine(r, "A", "<Y>");
         }},
    };
    for (const auto &e : edits)
    {
        bzTextReader *plain = ReaderOver(text, false, "PLAIN.TXT");
        bzTextReader *enciphered = ReaderOver(text, true, "ENC.TXT");
        ASSERT_NE(nullptr, plain);
        ASSERT_NE(nullptr, enciphered);
        e.edit(plain);
        e.edit(enciphered);
        const std::string expected((const char *)plain->data, (size_t)plain->size);
        EXPECT_EQ(expected, Deciphered(enciphered)) << e.what;
        EXPECT_EQ(0, enciphered->data[enciphered->size]) << e.what;
        bz_Text_SeekStart(plain);
        bz_Text_SeekStart(enciphered);
        EXPECT_EQ(AllLines(plain), AllLines(enciphered)) << e.what;
        for (const char *section : {"A", "B", "C", "D"})
            EXPECT_EQ(bz_Text_FindSection(plain, section, 0),
                      bz_Text_FindSection(enciphered, section, 0))
                << e.what << " " << section;
        bz_Text_Save(enciphered, "SAVED.TXT");
        EXPECT_EQ(Encipher(expected), ReadWholeFile("SAVED.TXT")) << e.what;
        bz_Text_Close(plain);
        bz_Text_Close(enciphered);
    }

    // The case that was seen: a line inserted into the first section, the next one read on.
    bzTextReader *r = Load(text, true);
    bz_Text_InsertLine(r, "A", "<NEW>");
    ASSERT_TRUE(bz_Text_FindSection(r, "A", 0));
    EXPECT_TRUE(bz_Text_FindKey(r, "NEW"));
    ASSERT_TRUE(bz_Text_FindSection(r, "B", 0));
    ASSERT_TRUE(bz_Text_FindKey(r, "K"));
    EXPECT_EQ("3", Line(bz_Text_ReadLine(r)));
}

// Reading an enciphered file takes time linear in its size: four times the data takes about
// four times as long (a key stream restarted for every byte would take sixteen times).
TEST_F(TextReader, EncipheredReadingIsLinear)
{
    auto makeText = [](size_t bytes)
    {
        std::string text;
        text.reserve(bytes + 64);
        for (int k = 0; text.size() < bytes; k++)
        {
            if (k % 50 == 0)
                text += "[SECTION" + std::to_string(k) + "]\n<KEY>\n";
            text += "value " + std::to_string(k) + ", 1.5 2.5 // note\n";
        }
        return text;
    };
    // Processor time of this thread, so that a busy machine does not skew the ratio.
    auto cpuSeconds = []
    {
        timespec ts;
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
        return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
    };
    auto timeRead = [this, &cpuSeconds](const std::string &text, size_t *lineCount)
    {
        bzTextReader *r = Load(text, true);
        double start = cpuSeconds();
        size_t lines = 0;
        while (bz_Text_GetPos(r) < r->size)
            lines += bz_Text_ReadLine(r) != nullptr;
        // A second pass over the sections exercises the jumps back.
        bz_Text_SeekStart(r);
        while (bz_Text_NextSection(r))
            bz_Text_NextLine(r, 0);
        double end = cpuSeconds();
        *lineCount = lines;
        return end - start;
    };
    // Eight times the text: a linear reader takes about eight times as long (a little more
    // when the small text still sits in the caches), a quadratic one sixty-four times.
    const std::string small = makeText(1 << 19), large = makeText(4 << 20);
    size_t smallLines = 0, largeLines = 0;
    double smallTime = timeRead(small, &smallLines);
    smallTime = std::min(smallTime, timeRead(small, &smallLines));
    double largeTime = timeRead(large, &largeLines);
    largeTime = std::min(largeTime, timeRead(large, &largeLines));
    EXPECT_GT(largeLines, 7 * smallLines);
    RecordProperty("ratio", std::to_string(largeTime / smallTime));
    EXPECT_LT(largeTime / smallTime, 24.0)
        << smallTime << " s for 0.5 MB, " << largeTime << " s for 4 MB";
}

// The whole road: an enciphered archive, mounted, its key set, its file read by name.
TEST_F(TextReader, EncipheredArchiveFileReadsThroughTheKey)
{
    const std::string text = "[LEVEL]\n<NAME>\nSquare\n<START>\n1 2 3\n";
    WadTree tree = {"DATA", {}, {{"LEVEL.TXT", Encipher(text)}, {"PLAIN.TXT", text}}};
    WriteWholeFile("GAME.WAD", BuildWad(tree, 0x0101, 1));
    bz_WAD_Init("GAME", 0, 0, 0, nullptr);
    ASSERT_EQ(1, bz_WAD_SetKey(TestKey().data(), (uint32_t)TestKey().size()));
    bzTextReader *r = bz_Script_Open("DATA\\LEVEL");
    ASSERT_NE(nullptr, r);
    EXPECT_EQ(BZ_TEXT_ENCIPHERED, r->flags);
    ASSERT_TRUE(bz_Text_FindSection(r, "LEVEL", 0));
    ASSERT_TRUE(bz_Text_FindKey(r, "NAME"));
    EXPECT_EQ("Square", Line(bz_Text_ReadLine(r)));
    ASSERT_TRUE(bz_Text_FindKey(r, "START"));
    EXPECT_EQ("1 2 3", Line(bz_Text_ReadLine(r)));
    bz_Text_Close(r);

    // The same archive without its key: the file cannot be read.
    ASSERT_EQ(1, bz_WAD_SetKey(nullptr, 0));
    bzgLastError = 0;
    EXPECT_EQ(nullptr, bz_Script_Load("DATA\\LEVEL.TXT"));
    EXPECT_EQ(BZ_CIPHER_NO_KEY, bzgLastError);
    bz_WAD_Close();
}
