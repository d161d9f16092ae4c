#include "TextTestSupport.h"

#include "console/Console.h"
#include "core/Memory.h"
#include "text/Salad.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace
{
std::string gPrinted;

void Capture(const char *text)
{
    gPrinted += text;
}

class Salad : public ::testing::Test
{
protected:
    ScopedTempDir dir_;
    bzSaladPrinter previous_ = nullptr;

    void SetUp() override
    {
        gPrinted.clear();
        previous_ = bz_Salad_SetPrinter(Capture);
    }
    void TearDown() override
    {
        for (int32_t slot = 0; slot < 16; slot++)
            if (bzSalad *root = bz_Salad_RootOfSlot(slot))
                bz_Salad_Free(root);
        bz_Salad_SetPrinter(previous_);
    }
    static std::string Text(bzSalad *salad)
    {
        char buffer[4096];
        int32_t length = bz_Salad_PrintToBuffer(salad, buffer, sizeof buffer);
        EXPECT_EQ((int32_t)strlen(buffer), length);
        return buffer;
    }
};

// Height of a named-item tree, or -1 when a node's balance word is wrong or the tree is out of
// balance or out of order.
int Height(const bzSaladItem *node)
{
    if (!node)
        return 0;
    int left = Height(node->left), right = Height(node->right);
    if (left < 0 || right < 0 || right - left != node->balance || std::abs(right - left) > 1)
        return -1;
    if ((node->left && strcmp(node->left->name, node->name) >= 0) ||
        (node->right && strcmp(node->right->name, node->name) <= 0))
        return -1;
    return 1 + std::max(left, right);
}
} // namespace

TEST_F(Salad, ParsesAndPrintsASmallTree)
{
    bzSalad *salad = bz_Salad_ParseRoot("s", "a = 1, b = { 2, 3 }, c = \"x y\"");
    ASSERT_NE(nullptr, salad) << bz_Salad_GetError();
    float number = 0;
    EXPECT_TRUE(bz_Salad_GetFloat(salad, "a", &number));
    EXPECT_EQ(1.0f, number);
    float list[4];
    EXPECT_EQ(2, bz_Salad_GetFloats(salad, "b", list, 4));
    EXPECT_EQ(3.0f, list[1]);
    const char *text = nullptr;
    EXPECT_TRUE(bz_Salad_GetString(salad, "c", &text));
    EXPECT_STREQ("x y", text);
    const char *printed = "{\n  a = 1\n  b = { 2, 3 }\n  c = \"x y\"\n}";
    EXPECT_EQ(printed, Text(salad));
    bz_Salad_Print(salad);
    EXPECT_EQ(std::string(printed) + "\n", gPrinted);

    ASSERT_TRUE(bz_Salad_Save(salad, "OUT.SAL"));
    EXPECT_EQ("{\n\ta = 1\n\tb = { 2, 3 }\n\tc = \"x y\"\n}\n", ReadWholeFile("OUT.SAL"));
    // What was saved loads back as the same tree.
    bzSalad *loaded = bz_Salad_LoadFile("OUT.SAL");
    ASSERT_NE(nullptr, loaded) << bz_Salad_GetError();
    ASSERT_EQ(1, loaded->unnamedCount);
    EXPECT_EQ(printed, Text(loaded->unnamed->value.salad));
}

TEST_F(Salad, ParseFailuresNameTheirCause)
{
    struct Case
    {
        const char *text;
        const char *error;
        int32_t line, column;
    } cases[] = {
        {"a = 1 // comment\nb = 2", "Expecting separator", 2, 1},
        {"= 1", "Unexpected '='", 1, 1},
        {"a = 1, $", "Unrecognised token", 1, 8},
        {"a b", "Expecting separator or '='", 1, 3},
        {"a =", "Expecting string, number, or salad", 1, 4},
        {"x,\n\ta = $", "Unrecognized token", 2, 9},
        {"{ 1 2 }", "Expecting separator", 1, 5},
    };
    for (const Case &c : cases)
    {
        EXPECT_EQ(nullptr, bz_Salad_ParseRoot("bad", c.text)) << c.text;
        EXPECT_STREQ(c.error, bz_Salad_GetError()) << c.text;
        int32_t line = 0, column = 0;
        bz_Salad_GetErrorPlace(&line, &column);
        EXPECT_EQ(c.line, line) << c.text;
        EXPECT_EQ(c.column, column) << c.text;
        EXPECT_EQ(nullptr, bz_Salad_FindRoot("bad")) << "a failed parse frees its root";
    }
    // A comment ends with its line feed; a separator before it keeps the next line apart.
    bzSalad *salad = bz_Salad_ParseRoot("ok", "a = 1, // comment\nb = 2");
    ASSERT_NE(nullptr, salad) << bz_Salad_GetError();
    EXPECT_STREQ("", bz_Salad_GetError());
}

// Salads nest 200 deep in a text: braces 200 deep parse, 201 deep fail with their message and
// leave no root behind.
TEST_F(Salad, BracesNestTwoHundredDeep)
{
    for (int depth : {199, 200, 201})
    {
        const bool fits = depth <= 200;
        // Unnamed: { { ... { 7 } ... } }
        const std::string unnamed = std::string(depth, '{') + "7" + std::string(depth, '}');
        bzSalad *salad = bz_Salad_ParseRoot("deep", unnamed.c_str());
        if (!fits)
        {
            EXPECT_EQ(nullptr, salad) << depth;
            EXPECT_STREQ("Salads nested too deeply", bz_Salad_GetError()) << depth;
            EXPECT_EQ(nullptr, bz_Salad_FindRoot("deep")) << depth;
        }
        else
        {
            ASSERT_NE(nullptr, salad) << depth << ": " << bz_Salad_GetError();
            bzSalad *s = salad;
            int levels = 0;
            while (s->unnamedCount == 1 && s->unnamed->kind == BZ_SALAD_SALAD)
            {
                s = s->unnamed->value.salad;
                ++levels;
            }
            EXPECT_EQ(levels, depth);
            ASSERT_EQ(s->unnamedCount, 1);
            EXPECT_EQ(s->unnamed->value.number, 7.0f);
            EXPECT_TRUE(bz_Salad_Free(salad));
        }

        // Named: a = { a = { ... a = 7 ... } }
        std::string named;
        for (int i = 0; i < depth; ++i)
            named += "a = {";
        named += "a = 7";
        named += std::string(depth, '}');
        salad = bz_Salad_ParseRoot("named", named.c_str());
        if (!fits)
        {
            EXPECT_EQ(nullptr, salad) << depth;
            EXPECT_STREQ("Salads nested too deeply", bz_Salad_GetError()) << depth;
            EXPECT_EQ(nullptr, bz_Salad_FindRoot("named")) << depth;
            continue;
        }
        ASSERT_NE(nullptr, salad) << depth << ": " << bz_Salad_GetError();
        std::string path = "a";
        for (int i = 0; i < depth; ++i)
            path += ".a";
        float number = 0;
        EXPECT_TRUE(bz_Salad_GetFloat(salad, path.c_str(), &number)) << depth;
        EXPECT_EQ(7.0f, number);
        EXPECT_TRUE(bz_Salad_Free(salad));
    }
}

TEST_F(Salad, StringTokensAreBounded)
{
    const std::string fits(511, 's'); // the longest string token
    bzSalad *salad = bz_Salad_ParseRoot("s", ("a = \"" + fits + "\", b = " + fits).c_str());
    ASSERT_NE(nullptr, salad) << bz_Salad_GetError();
    const char *text = nullptr;
    ASSERT_TRUE(bz_Salad_GetString(salad, "a", &text));
    EXPECT_EQ(fits, text);
    for (const std::string &bad : {"a = \"" + fits + "x\"", "a = " + fits + "x", fits + "x = 1"})
    {
        EXPECT_EQ(nullptr, bz_Salad_ParseRoot("t", bad.c_str()));
        EXPECT_NE(nullptr, strstr(bz_Salad_GetError(), "too long")) << bz_Salad_GetError();
    }
    // Unterminated quotes end at the end of the text.
    salad = bz_Salad_ParseRoot("u", "a = \"open");
    ASSERT_NE(nullptr, salad);
    ASSERT_TRUE(bz_Salad_GetString(salad, "a", &text));
    EXPECT_STREQ("open", text);
}

TEST_F(Salad, SixteenRootsAtMost)
{
    for (int k = 0; k < 16; k++)
        ASSERT_GE(bz_Salad_CreateRoot(("r" + std::to_string(k)).c_str(), 0), 0) << k;
    EXPECT_EQ(-1, bz_Salad_CreateRoot("seventeenth", 0));
    EXPECT_STREQ("Out of salads or memory (or something)", bz_Salad_GetError());
    EXPECT_EQ(nullptr, bz_Salad_ParseRoot("p", "a = 1"));
    EXPECT_STREQ("Out of salads or memory (or something)", bz_Salad_GetError());
    bzSalad *r3 = bz_Salad_FindRoot("r3");
    ASSERT_NE(nullptr, r3);
    EXPECT_TRUE(bz_Salad_Free(r3));
    EXPECT_EQ(nullptr, bz_Salad_FindRoot("r3"));
    EXPECT_NE(nullptr, bz_Salad_ParseRoot("p", "a = 1"));
}

TEST_F(Salad, PathsLookupObtainAndBinding)
{
    bzSalad *salad = bz_Salad_ParseRoot("s", "a = 1, x.y.z = 2");
    ASSERT_NE(nullptr, salad);
    EXPECT_EQ(nullptr, bz_Salad_Lookup(salad, "a.b"));
    bzSaladItem *b = bz_Salad_Obtain(salad, "a.b");
    ASSERT_NE(nullptr, b);
    EXPECT_EQ(BZ_SALAD_EMPTY, b->kind);
    bzSalad *a = nullptr;
    EXPECT_TRUE(bz_Salad_GetSalad(salad, "a", &a)) << "a became a sub-salad";
    EXPECT_EQ(b, bz_Salad_Lookup(a, "b"));
    int32_t value = 0;
    EXPECT_TRUE(bz_Salad_GetInt(salad, "x.y.z", &value));
    EXPECT_EQ(2, value);
    EXPECT_FALSE(bz_Salad_GetString(salad, "x.y.z", nullptr)) << "another kind";
    EXPECT_FALSE(bz_Salad_Exists(salad, "x.q"));

    int32_t bound = 0;
    ASSERT_TRUE(bz_Salad_BindInt(salad, "x.y.z", &bound));
    EXPECT_EQ(2, bound) << "the number already there";
    ASSERT_TRUE(bz_Salad_SetFloat(salad, "x.y.z", 7.9f));
    EXPECT_EQ(7, bound) << "a set writes through";
    float f = 0;
    ASSERT_TRUE(bz_Salad_SetFloat(salad, "f", 0.5f));
    ASSERT_TRUE(bz_Salad_BindFloat(salad, "f", &f));
    EXPECT_EQ(0.5f, f);
    ASSERT_TRUE(bz_Salad_SetInt(salad, "i", 3));
    int32_t word = 0;
    ASSERT_TRUE(bz_Salad_BindIntWord(salad, "i", &word));
    EXPECT_EQ(3, word);
    ASSERT_TRUE(bz_Salad_SetString(salad, "name", "two words"));
    EXPECT_EQ("{\n  a = {\n    b = \"\"\n  }\n  f = 0.5\n  i = 3\n  name = \"two words\"\n"
              "  x = {\n    y = {\n      z = 7\n    }\n  }\n}",
              Text(salad));

    // The console command assigns through the binding and prints the item.
    char arg0[] = "s.x.y.z", eq[] = "=", five[] = "5";
    char *argv[] = {arg0, eq, five};
    bz_Salad_ConsoleCommand(3, argv);
    EXPECT_EQ(5, bound);
    EXPECT_EQ("x.y.z = 5\n", gPrinted);
    gPrinted.clear();
    bz_Salad_ConsoleCommand(0, nullptr);
    EXPECT_EQ("s\n", gPrinted);
    gPrinted.clear();
    char root[] = "s";
    char *whole[] = {root};
    bz_Salad_ConsoleCommand(1, whole);
    EXPECT_EQ(Text(salad) + "\n", gPrinted);
    gPrinted.clear();
    char missing[] = "nothing.a";
    char *none[] = {missing};
    bz_Salad_ConsoleCommand(1, none);
    EXPECT_NE(std::string::npos, gPrinted.find("nothing")) << gPrinted;

    EXPECT_FALSE(bz_Salad_Free(a));
    EXPECT_STREQ("Not root salad", bz_Salad_GetError());
}

TEST_F(Salad, UnnamedItemsListsAndWalks)
{
    bzSalad *salad =
        bz_Salad_ParseRoot("s", "1, 2, 3.5, word, { k = 1 }, { 2 }\nv = { 1, 2, 3, x }");
    ASSERT_NE(nullptr, salad) << bz_Salad_GetError();
    EXPECT_EQ(6, salad->unnamedCount);
    int32_t ints[8];
    EXPECT_EQ(3, bz_Salad_GetInts(salad, nullptr, ints, 8)) << "stops at the word";
    EXPECT_EQ(3, ints[2]);
    EXPECT_EQ(2, bz_Salad_GetInts(salad, nullptr, ints, 2));
    float vector[3];
    EXPECT_TRUE(bz_Salad_GetVector(salad, "v", vector));
    EXPECT_EQ(3.0f, vector[2]);
    EXPECT_FALSE(bz_Salad_GetVector(salad, "nothing", vector));
    const char *strings[2];
    EXPECT_EQ(0, bz_Salad_GetStrings(salad, nullptr, strings, 2));

    bz_Salad_Reset(salad);
    EXPECT_EQ(1.0f, bz_Salad_Lookup(salad, nullptr)->value.number);
    EXPECT_EQ(2.0f, bz_Salad_Lookup(salad, nullptr)->value.number);
    int visits = 0;
    EXPECT_EQ(0, bz_Salad_Visit(
                     salad, [](bzSalad *, void *count) -> int32_t { return ++*(int *)count, 0; },
                     &visits));
    EXPECT_EQ(2, visits);
    EXPECT_EQ(7, bz_Salad_Visit(
                     salad, [](bzSalad *, void *) -> int32_t { return 7; }, nullptr));

    // Obtain with no path walks the list, then appends.
    bz_Salad_Reset(salad);
    for (int k = 0; k < 6; k++)
        ASSERT_NE(nullptr, bz_Salad_Obtain(salad, nullptr));
    bzSaladItem *added = bz_Salad_Obtain(salad, nullptr);
    ASSERT_NE(nullptr, added);
    EXPECT_EQ(7, salad->unnamedCount);
    EXPECT_TRUE(bz_Salad_AssignValue(salad, added, "{ q = 9 }"));
    EXPECT_EQ("{\n  1\n  2\n  3.5\n  word\n  {\n    k = 1\n  }\n  { 2 }\n  {\n    q = 9\n  }\n"
              "  v = { 1, 2, 3, x }\n}",
              Text(salad));
    EXPECT_FALSE(bz_Salad_AssignValue(salad, added, "="));
    EXPECT_EQ(BZ_SALAD_SALAD, added->kind);
}

TEST_F(Salad, NamedItemsStayBalancedAndOrdered)
{
    bzSalad *salad = bz_Salad_ParseRoot("s", "");
    ASSERT_NE(nullptr, salad);
    uint32_t state = 99;
    std::vector<std::string> names;
    for (int k = 0; k < 300; k++)
    {
        state = state * 1664525u + 1013904223u;
        std::string name = "n" + std::to_string(state % 1000);
        names.push_back(name);
        ASSERT_TRUE(bz_Salad_SetInt(salad, name.c_str(), k));
        ASSERT_GT(Height(salad->named), 0) << "after " << name;
    }
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    std::string text = Text(salad), expected = "{";
    for (const std::string &name : names)
    {
        float value = 0;
        ASSERT_TRUE(bz_Salad_GetFloat(salad, name.c_str(), &value));
        char number[32];
        snprintf(number, sizeof number, "%g", value);
        expected += "\n  " + name + " = " + number;
    }
    EXPECT_EQ(expected + "\n}", text) << "each name once, in byte order";
    EXPECT_LE(Height(salad->named), 12);
}

TEST_F(Salad, HeadingsFilesAndTemporaryStacks)
{
    const std::string text = "[PLAIN]\nspeed = 3, gear = { 1, 2 }\n<KEY>\nignored = 1\n[NEXT]\n";
    for (bool enciphered : {false, true})
    {
        bzTextReader *reader = ReaderOver(text, enciphered);
        ASSERT_NE(nullptr, reader);
        bzSalad *salad = bz_Salad_FromHeading(reader, "PLAIN");
        ASSERT_NE(nullptr, salad) << bz_Salad_GetError();
        EXPECT_EQ("{\n  gear = { 1, 2 }\n  speed = 3\n}", Text(salad));
        EXPECT_EQ(salad, bz_Salad_FindRoot("PLAIN"));
        bz_Salad_Free(salad);
        EXPECT_EQ(nullptr, bz_Salad_FromHeading(reader, "MISSING"));
        EXPECT_STREQ("heading not found in script", bz_Salad_GetError());
        salad = bz_Salad_FromHeadingOrCreate(reader, "MISSING");
        ASSERT_NE(nullptr, salad);
        EXPECT_EQ("{  }", Text(salad));
        bz_Salad_Free(salad);
        bz_Text_Close(reader);
    }
    EXPECT_EQ(nullptr, bz_Salad_LoadFile("NOFILE.SAL"));
    EXPECT_STREQ("file not found", bz_Salad_GetError());
    EXPECT_NE(std::string::npos, gPrinted.find("file not found"));
    bzSalad *created = bz_Salad_LoadOrCreate("NOFILE.SAL");
    ASSERT_NE(nullptr, created);
    EXPECT_EQ(created, bz_Salad_FindRoot("NOFILE.SAL"));
    EXPECT_FALSE(bz_Salad_Save(created, "no/such/dir/x.sal"));
    EXPECT_STREQ("Couldn't open file for writing", bz_Salad_GetError());

    int32_t stack = bz_TempStack_Create(64 * 1024, 0);
    ASSERT_GT(stack, 0);
    int32_t slot = bz_Salad_CreateRoot("temp", stack);
    ASSERT_GE(slot, 0);
    bzSalad *temp = bz_Salad_RootOfSlot(slot);
    ASSERT_TRUE(bz_Salad_SetString(temp, "a.b", "text"));
    EXPECT_EQ("{\n  a = {\n    b = text\n  }\n}", Text(temp));
    uint32_t before = bz_TempStack_SpaceLeft(stack, 0);
    EXPECT_TRUE(bz_Salad_Free(temp));
    EXPECT_GT(bz_TempStack_SpaceLeft(stack, 0), before) << "the stack went back to its mark";
    bz_TempStack_Destroy(stack);
}

namespace
{
// The salad command types into the console: it starts from a console as the engine start left
// it and leaves it so.
class SaladConsole : public ::testing::Test
{
protected:
    void SetUp() override { ResetConsole(); }
    void TearDown() override { ResetConsole(); }
};
} // namespace

TEST_F(SaladConsole, TheSaladCommandAnswersThroughTheConsole)
{
    ASSERT_NE(bz_Salad_ParseRoot("cfg", "speed = 3"), nullptr);
    // Typed from an empty input line, whatever an earlier test left in it.
    bz_Console_ClearInput();
    bzConsoleState *console = bz_Console_GetState();
    uint32_t before = console->length;
    for (const char *c = "salad cfg.speed = 7\r"; *c; ++c)
        bz_Console_KeyChar(*c);
    std::string printed(console->text + before, console->length - before);
    EXPECT_NE(printed.find('7'), std::string::npos) << printed;
    float value = 0;
    EXPECT_EQ(bz_Salad_GetFloat(bz_Salad_FindRoot("cfg"), "speed", &value), 1);
    EXPECT_EQ(value, 7.0f);
    bz_Salad_Free(bz_Salad_FindRoot("cfg"));
}

namespace
{
// A dotted name of parts "a" parts long: a.a.a...
std::string Dotted(int parts)
{
    std::string name = "a";
    for (int k = 1; k < parts; k++)
        name += ".a";
    return name;
}
} // namespace

// A salad lies at most 200 levels below its root, however it is nested: by braces, by dotted
// names or by both.
TEST_F(Salad, DottedNamesCountTowardTheNestingLimit)
{
    const std::string open100(100, '{'), close100(100, '}');
    struct Case
    {
        std::string text;
        bool loads;
    } cases[] = {
        {Dotted(201) + " = 1", true}, // the item stands in the salad 200 levels down
        {Dotted(202) + " = 1", false},
        {Dotted(200) + " = { 1 }", true},
        {Dotted(201) + " = { }", false},
        {open100 + Dotted(101) + " = 1" + close100, true},
        {open100 + Dotted(102) + " = 1" + close100, false},
        {open100 + Dotted(100) + " = { x }" + close100, true},
        {open100 + Dotted(100) + " = { { } }" + close100, false},
    };
    for (const Case &c : cases)
    {
        bzSalad *salad = bz_Salad_ParseRoot("deep", c.text.c_str());
        EXPECT_EQ(c.loads, salad != nullptr) << c.text.size() << ": " << bz_Salad_GetError();
        if (!c.loads)
        {
            EXPECT_STREQ("Salads nested too deeply", bz_Salad_GetError());
        }
        if (salad)
            bz_Salad_Free(salad);
    }

    // Forty levels of a 250-part name, each holding the next, and many items at the bottom:
    // refused at the first level instead of printing past the caller's buffer.
    std::string text;
    for (int level = 0; level < 40; level++)
        text += Dotted(250) + " = {\n";
    for (int k = 0; k < 1000; k++)
        text += "1\n";
    text += std::string(40, '}');
    EXPECT_EQ(nullptr, bz_Salad_ParseRoot("deep", text.c_str()));
    EXPECT_STREQ("Salads nested too deeply", bz_Salad_GetError());

    // The same limit holds for paths given to the setters and for values assigned.
    bzSalad *salad = bz_Salad_ParseRoot("api", "");
    ASSERT_NE(nullptr, salad);
    EXPECT_EQ(1, bz_Salad_SetInt(salad, Dotted(201).c_str(), 7));
    int32_t value = 0;
    EXPECT_EQ(1, bz_Salad_GetInt(salad, Dotted(201).c_str(), &value));
    EXPECT_EQ(7, value);
    EXPECT_EQ(0, bz_Salad_SetInt(salad, ("b." + Dotted(201)).c_str(), 7));
    EXPECT_STREQ("Salads nested too deeply", bz_Salad_GetError());
    EXPECT_EQ(0, bz_Salad_Exists(salad, "b")) << "a refused path creates nothing";
    bzSaladItem *bottom = bz_Salad_Lookup(salad, Dotted(201).c_str());
    ASSERT_NE(nullptr, bottom);
    EXPECT_EQ(0, bz_Salad_AssignValue(salad, bottom, "{ 1 }"));
    EXPECT_STREQ("Salads nested too deeply", bz_Salad_GetError());
    bzSaladItem *above = bz_Salad_Obtain(salad, Dotted(200).c_str());
    ASSERT_NE(nullptr, above);
    EXPECT_EQ(1, bz_Salad_AssignValue(salad, above, "{ 1 }"));
    bzSalad *sub = nullptr;
    ASSERT_EQ(1, bz_Salad_GetSalad(salad, Dotted(199).c_str(), &sub));
    // A sub-salad counts from the root, not from itself.
    EXPECT_EQ(0, bz_Salad_SetInt(sub, "a.b.c", 1));
    EXPECT_EQ(1, bz_Salad_SetInt(sub, "a.b", 1));
}

// Paths far longer than the limit are refused without running out of stack, and what was
// built still prints.
TEST_F(Salad, VeryLongPathsAreRefusedWholesale)
{
    // A name token holds at most 511 characters: 25,000 parts come as 100 names of 250.
    std::string text;
    for (int level = 0; level < 100; level++)
        text += Dotted(250) + " = {\n";
    text += "1" + std::string(100, '}');
    EXPECT_EQ(nullptr, bz_Salad_ParseRoot("long", text.c_str()));
    EXPECT_STREQ("Salads nested too deeply", bz_Salad_GetError());

    bzSalad *salad = bz_Salad_ParseRoot("long", "x = 1");
    ASSERT_NE(nullptr, salad);
    EXPECT_EQ(0, bz_Salad_SetInt(salad, Dotted(100000).c_str(), 1));
    EXPECT_EQ(0, bz_Salad_SetString(salad, Dotted(100000).c_str(), "s"));
    int32_t bound = 0;
    EXPECT_EQ(0, bz_Salad_BindInt(salad, Dotted(100000).c_str(), &bound));
    EXPECT_EQ(nullptr, bz_Salad_Obtain(salad, Dotted(100000).c_str()));
    EXPECT_EQ("{\n  x = 1\n}", Text(salad));
}

// The printer counts in 64 bits: a text longer than an int32 can count is refused, and the
// buffer is never written outside its size.
TEST_F(Salad, PrintsTooLongToCountFail)
{
    bzSalad *salad = bz_Salad_ParseRoot("big", "");
    ASSERT_NE(nullptr, salad);
    // Bound string items print the program's own text: 33,000 times 65,536 characters is more
    // than 2^31.
    static std::string big(65536, 'x');
    static const char *bigText = big.c_str();
    for (int k = 0; k < 33000; k++)
    {
        bzSaladItem *item = bz_Salad_Obtain(salad, nullptr);
        ASSERT_NE(nullptr, item);
        item->kind = BZ_SALAD_STRING_VAR;
        item->value.stringVariable = &bigText;
    }
    std::vector<char> buffer(64 + 16, '#');
    EXPECT_EQ(-1, bz_Salad_PrintToBuffer(salad, buffer.data(), 64));
    EXPECT_EQ(std::string("{ \"") + std::string(60, 'x'), std::string(buffer.data()));
    EXPECT_EQ(std::string(16, '#'), std::string(buffer.data() + 64, 16)) << "nothing past size";
    EXPECT_EQ(0, bz_Salad_Save(salad, "BIG.SAL"));
    EXPECT_EQ(-1, access("BIG.SAL", F_OK)) << "refused before the file is made";
}

// What bz_Salad_Save writes loads back as the same salad (the loaded root's one unnamed item),
// or the save is refused when the text cannot hold it.
TEST_F(Salad, SavedSaladsLoadBackTheSame)
{
    bzSalad *salad = bz_Salad_ParseRoot("s", "");
    ASSERT_NE(nullptr, salad);
    const char *names[] = {"two words", "a=b", "9lives", "", "{", "x,y", "//c", "-1", "\n", "_ok"};
    for (const char *name : names)
        ASSERT_EQ(1, bz_Salad_SetString(salad, name, name)) << name;
    ASSERT_EQ(1, bz_Salad_SetString(salad, "empty", ""));
    ASSERT_EQ(1, bz_Salad_SetString(salad, "dotted", "a.b"));
    const float numbers[] = {16777215.0f,   0.1f,           -0.0f,       1e-45f,
                             3.4028235e38f, -3.4028235e38f, 123456.789f, 1.17549435e-38f};
    for (size_t k = 0; k < sizeof numbers / sizeof numbers[0]; k++)
    {
        ASSERT_EQ(1, bz_Salad_SetFloat(salad, ("n" + std::to_string(k)).c_str(), numbers[k]));
    }
    ASSERT_EQ(1, bz_Salad_SetInt(salad, (Dotted(199) + ".deep").c_str(), 5));

    ASSERT_EQ(1, bz_Salad_Save(salad, "S.SAL")) << bz_Salad_GetError();
    bzSalad *loaded = bz_Salad_LoadFile("S.SAL");
    ASSERT_NE(nullptr, loaded) << bz_Salad_GetError();
    ASSERT_EQ(1, loaded->unnamedCount);
    ASSERT_EQ(BZ_SALAD_SALAD, loaded->unnamed->kind);
    bzSalad *back = loaded->unnamed->value.salad;
    for (const char *name : names)
    {
        const char *text = nullptr;
        ASSERT_EQ(1, bz_Salad_GetString(back, name, &text)) << "[" << name << "]";
        EXPECT_STREQ(name, text);
    }
    const char *text = nullptr;
    ASSERT_EQ(1, bz_Salad_GetString(back, "empty", &text));
    EXPECT_STREQ("", text);
    ASSERT_EQ(1, bz_Salad_GetString(back, "dotted", &text));
    EXPECT_STREQ("a.b", text);
    for (size_t k = 0; k < sizeof numbers / sizeof numbers[0]; k++)
    {
        float number = 1;
        ASSERT_EQ(1, bz_Salad_GetFloat(back, ("n" + std::to_string(k)).c_str(), &number)) << k;
        EXPECT_EQ(0, memcmp(&numbers[k], &number, sizeof number))
            << k << ": " << numbers[k] << " came back as " << number;
    }
    int32_t deep = 0;
    EXPECT_EQ(1, bz_Salad_GetInt(back, (Dotted(199) + ".deep").c_str(), &deep));
    EXPECT_EQ(5, deep);
    auto whole = [](bzSalad *s)
    {
        std::vector<char> buffer(1 << 20);
        int32_t length = bz_Salad_PrintToBuffer(s, buffer.data(), (int32_t)buffer.size());
        EXPECT_EQ((int32_t)strlen(buffer.data()), length);
        return std::string(buffer.data());
    };
    EXPECT_EQ(whole(salad), whole(back));
}

TEST_F(Salad, SavesThatTheTextCannotHoldAreRefused)
{
    struct Case
    {
        const char *what;
        void (*build)(bzSalad *);
    } cases[] = {
        {"a string holding a double quote",
         [](bzSalad *s) { bz_Salad_SetString(s, "a", "say \"hi\""); }},
        {"a name holding a double quote", [](bzSalad *s) { bz_Salad_SetInt(s, "\"", 1); }},
        {"a string longer than a token",
         [](bzSalad *s) { bz_Salad_SetString(s, "a", std::string(512, 's').c_str()); }},
        {"infinity", [](bzSalad *s) { bz_Salad_SetFloat(s, "a.b", INFINITY); }},
        {"minus infinity read from text",
         [](bzSalad *s) { bz_Salad_AssignValue(s, bz_Salad_Obtain(s, "a"), "-1e39"); }},
        {"infinity read from text",
         [](bzSalad *s) { bz_Salad_AssignValue(s, bz_Salad_Obtain(s, nullptr), "1e39"); }},
        {"not a number", [](bzSalad *s) { bz_Salad_SetFloat(s, "a", NAN); }},
        {"a salad nested as deep as the limit",
         [](bzSalad *s) { bz_Salad_SetInt(s, Dotted(201).c_str(), 1); }},
    };
    for (const Case &c : cases)
    {
        bzSalad *salad = bz_Salad_ParseRoot("r", "ok = 1");
        ASSERT_NE(nullptr, salad);
        c.build(salad);
        WriteWholeFile("R.SAL", "old");
        EXPECT_EQ(0, bz_Salad_Save(salad, "R.SAL")) << c.what;
        EXPECT_STRNE("", bz_Salad_GetError()) << c.what;
        EXPECT_EQ("old", ReadWholeFile("R.SAL")) << c.what << ": the file is left alone";
        bz_Salad_Free(salad);
    }
}
