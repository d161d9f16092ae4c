#include "console/Console.h"
#include "console/ConsoleServices.h"
#include "console/Expr.h"
#include "files/File.h"
#include "pc/PcSystem.h"
#include "pc/PcWindow.h"

#include "ClockVirtualCounter.h"
#include "ConsoleTestSupport.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace
{
std::vector<std::string> gArgs;
int32_t RecordArgs(int32_t argc, char **argv)
{
    gArgs.assign(argv, argv + argc);
    return 0;
}

int32_t Nothing(int32_t, char **)
{
    return 0;
}

std::string gHooked;
void Hook(const char *format, va_list args)
{
    char buffer[256];
    std::vsnprintf(buffer, sizeof buffer, format, args);
    gHooked += buffer;
}

const char kSep[] = "============================\n";

TEST_F(ConsoleTest, CommandsRunBeforeTheRepliesExceptTheFirst)
{
    bz_Console_AddKeyword(0, "close", 0);
    bz_Console_AddKeyword(0, "help", 0);
    bz_Console_AddResponse(0, "Who said $?");
    OpenConsole();
    // The first row is compared before the reply tables.
    EXPECT_EQ(Printed([] { EXPECT_EQ(bz_Console_ExecLine("Close"), 1); }), "");
    EXPECT_EQ(bz_Console_IsOpen(), 0);
    // Every other row comes after them.
    EXPECT_EQ(Printed([] { EXPECT_EQ(bz_Console_ExecLine("HeLP"), 1); }), "Who said HeLP?\n");

    // "*" with no keyword flagged for substitution puts in nothing, and does not hang.
    bz_Console_AddKeyword(1, "hello", 0);
    bz_Console_AddResponse(1, "[*] $");
    EXPECT_EQ(Printed([] { bz_Console_ExecLine("hello there"); }), "[] hello\n");
    bz_Console_AddKeyword(2, "hi", 1);
    bz_Console_AddResponse(2, "*!*");
    EXPECT_EQ(Printed([] { bz_Console_ExecLine("HI"); }), "hi!hi\n");
}

TEST_F(ConsoleTest, HelpListsInColumnsAndDebugUnlocks)
{
    std::string expected = std::string(kSep) +
                           "@C(2)Build@C(2)@J(136)bz_DeactivateWindow@C(2)@J(272)Close\n"
                           "@C(2)Exec@C(2)@J(136)Help@C(2)@J(272)List\n"
                           "@C(2)Pipe@C(2)@J(136)salad@C(2)@J(272)Version\n" +
                           kSep;
    EXPECT_EQ(Enter("help"), "@C(2)help\n" + expected);
    EXPECT_EQ(Enter("HELP"), "@C(2)HELP\n" + expected);
    EXPECT_EQ(Printed([] { bz_Console_ExecLine("help close"); }),
              std::string(kSep) + "@C(2)CLOSE\nRemove this console display\n" + kSep);
    EXPECT_EQ(Printed([] { bz_Console_ExecLine("help debug"); }), "");
    EXPECT_EQ(Printed([] { bz_Console_ExecLine("help bz_dir"); }), "");
    EXPECT_EQ(Printed([] { bz_Console_ExecLine("help a b"); }),
              "@C(1)Supply one command as an argument");

    // Before DEBUG bz_dir is no command: it goes to the evaluator as an unknown name.
    EXPECT_EQ(bz_Console_ExecLine("bz_dir"), 0);
    EXPECT_EQ(bz_Expr_VariableExists("bz_dir"), 0);
    EXPECT_EQ(Printed([] { EXPECT_EQ(bz_Console_ExecLine("debug"), 1); }),
              std::string(kSep) + "DEBUG COMMANDS AVAILABLE\n" + kSep);
    EXPECT_EQ(bz_Console_ExecLine("bz_dir"), 1);
    std::string after = Printed([] { bz_Console_ExecLine("help"); });
    EXPECT_NE(after.find("bz_Dir"), std::string::npos);
    EXPECT_NE(after.find("bz_FogColour"), std::string::npos);
    const char *names[511]; // at most 511 rows
    int32_t count = bz_Console_ListedNames(names, 511);
    EXPECT_EQ(count, 30); // every row but Debug, bz_FogColour twice
    for (int32_t i = 0; i < count; ++i)
        EXPECT_STRNE(names[i], "Debug");
    EXPECT_NE(Printed([] { bz_Console_ExecLine("help bz_dir"); }).find("bz_DIR [wildcard]"),
              std::string::npos);
}

TEST_F(ConsoleTest, LinesThatNameNoCommandAreEvaluated)
{
    EXPECT_EQ(Enter("3*4"), "@C(2)3*4\n=12\n");
    EXPECT_EQ(Enter("1/3"), "@C(2)1/3\n=0.333333\n");
    EXPECT_EQ(Printed([] { EXPECT_EQ(bz_Console_ExecLine("foo(1)"), 0); }),
              "@C(1)error:@C(1)Unknown function\n>");
    EXPECT_EQ(Printed([] { EXPECT_EQ(bz_Console_ExecLine("2+"), 0); }),
              "@C(1)error:@C(1)Bad Syntax\n>");
    EXPECT_EQ(Printed([] { EXPECT_EQ(bz_Console_ExecLine("nosuchname"), 0); }),
              "@C(1)error:@C(1)Unknown variable/constant\n>");
    EXPECT_EQ(Printed([] { bz_Console_ExecLine("1e"); }), "@C(1)error:@C(1)Bad Syntax\n>");
    EXPECT_EQ(Printed([] { bz_Console_ExecLine("2@40"); }), "=1099511627776.000000\n");
    EXPECT_EQ(bz_Console_ExecLine(""), 0);
}

TEST_F(ConsoleTest, TabCompletesListedNamesInOrder)
{
    // An empty line cycles through every listed name and wraps.
    Enter("");
    const char *all[] = {
        "Build", "bz_DeactivateWindow", "Close", "Exec", "Help", "List", "Pipe", "salad", "Version",
        "Build"};
    for (const char *name : all)
    {
        bz_Console_KeyChar('\t');
        EXPECT_EQ(Input(), name);
    }
    bz_Console_ExecLine("debug");
    bz_Console_ClearInput();
    Type("bz_s");
    const char *expected[] = {"bz_SetAmbient", "bz_SetFOV",  "bz_SetHither", "bz_SetYON",
                              "bz_ShowAR",     "bz_ShowFPS", "bz_SetAmbient"};
    for (const char *name : expected)
    {
        bz_Console_KeyChar('\t');
        EXPECT_EQ(Input(), name);
        EXPECT_EQ(bz_Console_GetState()->cursor, static_cast<int32_t>(std::strlen(name)));
    }
    // The word after the last space is completed; the head stays.
    bz_Console_ClearInput();
    Type("help pi");
    bz_Console_KeyChar('\t');
    EXPECT_EQ(Input(), "help Pipe");
    // No match changes nothing.
    bz_Console_ClearInput();
    Type("zzz");
    bz_Console_KeyChar('\t');
    EXPECT_EQ(Input(), "zzz");
}

TEST_F(ConsoleTest, HistoryKeepsThirtyOneLines)
{
    bzConsoleState *c = bz_Console_GetState();
    Enter("");
    EXPECT_EQ(c->history[1][0], 0);
    for (int i = 1; i <= 33; ++i)
        Enter("1+" + std::to_string(i));
    EXPECT_STREQ(c->history[1], "1+33");
    EXPECT_STREQ(c->history[31], "1+3");
    EXPECT_EQ(Input(), "");

    OpenConsole();
    Key(200);
    Key(200);
    bz_Console_Update();
    EXPECT_EQ(Input(), "1+32");
    EXPECT_EQ(c->cursor, 4);
    Key(208);
    bz_Console_Update();
    EXPECT_EQ(Input(), "1+33");
    Key(208);
    bz_Console_Update();
    EXPECT_EQ(Input(), "1+33"); // back at the input line, the text stays
    Key(208);
    bz_Console_Update();
    EXPECT_EQ(Input(), "");
    for (int i = 0; i < 40; ++i)
        Key(200);
    bz_Console_Update();
    EXPECT_EQ(Input(), ""); // past the oldest line the input is cleared
}

size_t Count(const std::string &text, const std::string &what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// A file that is already running is not run again from inside itself, directly or through
// another file: with the nesting cap alone a file of n such lines runs about n^8 times.
TEST_F(ConsoleTest, ExecRefusesAFileThatIsAlreadyRunning)
{
    ScopedTempDir dir;
    std::string loop = "1+1\n";
    for (int k = 0; k < 10; ++k)
        loop += "exec loop\n";
    WriteWholeFile("LOOP.CFG", loop);
    auto start = std::chrono::steady_clock::now();
    std::string out = Enter("exec loop");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(Count(out, "Executing 'LOOP.CFG'\n"), 1u) << out.substr(0, 400);
    EXPECT_EQ(Count(out, "@C(1)'LOOP.CFG' is already being executed.\n"), 10u);
    EXPECT_EQ(Count(out, "=2\n"), 1u);
    EXPECT_EQ(bz_Console_GetState()->execDepth, 0);

    WriteWholeFile("PING.CFG", "exec pong\n");
    WriteWholeFile("PONG.CFG", "exec PING.cfg\nexec ping\n");
    out = Enter("exec ping");
    EXPECT_EQ(Count(out, "Executing 'PING.CFG'\n"), 1u) << out;
    EXPECT_EQ(Count(out, "Executing 'PONG.CFG'\n"), 1u) << out;
    EXPECT_EQ(Count(out, "@C(1)'PING.CFG' is already being executed.\n"), 2u) << out;

    // Once it has ended, the same file runs again, and a file may run another twice.
    WriteWholeFile("TWICE.CFG", "exec pong\nexec pong\n");
    out = Enter("exec twice");
    EXPECT_EQ(Count(out, "Executing 'PONG.CFG'\n"), 2u) << out;
    EXPECT_EQ(Count(out, "Executing 'PING.CFG'\n"), 4u) << out;
}

TEST_F(ConsoleTest, PipeCapturesLinesThatExecReplays)
{
    ScopedTempDir dir;
    EXPECT_EQ(Printed([] { bz_Console_ExecLine("pipe"); }), "@C(1)I wasn't piping.\n");
    EXPECT_EQ(Enter("pipe test.txt"),
              "@C(2)pipe test.txt\nSubsequent commands piping to 'TEST.CFG'.\n");
    Enter("3*4");
    Enter("x = 7");
    Enter("help pipe"); // contains "pipe": not captured
    Enter("foo(1)");    // failed: not captured
    Enter("");
    EXPECT_EQ(Enter("PIPE"), "@C(2)PIPE\nPiping to 'TEST.CFG' complete.\n");
    EXPECT_EQ(ReadWholeFile("TEST.CFG"), "3*4\nx = 7\n");
    EXPECT_EQ(Printed([] { bz_Console_ExecLine("pipe a b"); }),
              "@C(1)Supply nothing, or one command as a filename.\n");

    bz_Expr_DeleteVariable("x");
    EXPECT_EQ(Enter("exec test"),
              "@C(2)exec test\nExecuting 'TEST.CFG'\n@C(2)3*4\n=12\n@C(2)x = 7\n=7\n");
    EXPECT_EQ(bz_Expr_GetVariable("x"), 7.0);
    bzConsoleState *c = bz_Console_GetState();
    EXPECT_STREQ(c->history[1], "exec test");
    EXPECT_STREQ(c->history[2], "x = 7");
    EXPECT_STREQ(c->history[3], "3*4");

    // The last line runs without a final line break; lines longer than the input line are cut.
    WriteWholeFile("NONL.CFG", "y = 3\r\nz = 1" + std::string(200, '0'));
    Enter("exec nonl.cfg");
    EXPECT_EQ(bz_Expr_GetVariable("y"), 3.0);
    EXPECT_GT(bz_Expr_GetVariable("z"), 1e80);
    EXPECT_STREQ(c->history[1], "exec nonl.cfg");
    EXPECT_EQ(std::strlen(c->history[2]), static_cast<size_t>(BZ_CONSOLE_LINE_LIMIT - 1));
    EXPECT_STREQ(c->history[3], "y = 3");

    // Line ends written as CR LF are one line end, as text files are read.
    WriteWholeFile("CRLF.CFG", "1+1\r\n2+2\r\n");
    EXPECT_EQ(Printed([] { bz_Console_ExecLine("exec crlf"); }),
              "Executing 'CRLF.CFG'\n@C(2)1+1\n=2\n@C(2)2+2\n=4\n");

    // A chain of files each running the next stops at the nesting cap.
    for (int k = 0; k < 10; ++k)
        WriteWholeFile("CHAIN" + std::to_string(k) + ".CFG",
                       "exec chain" + std::to_string(k + 1) + "\n");
    std::string out = Enter("exec chain0");
    EXPECT_NE(out.find("Too many nested EXEC files"), std::string::npos);
    EXPECT_NE(out.find("Executing 'CHAIN7.CFG'"), std::string::npos);
    EXPECT_EQ(out.find("Executing 'CHAIN8.CFG'"), std::string::npos);
    EXPECT_EQ(c->execDepth, 0);

    EXPECT_EQ(Printed([] { bz_Console_ExecLine("exec missing"); }),
              "@C(1)file 'MISSING.CFG' does not exist.\n");
    EXPECT_EQ(Printed([] { bz_Console_ExecLine("exec"); }),
              "@C(1)Supply one filename argument only.\n");
    WriteWholeFile("EMPTY.CFG", "");
    EXPECT_EQ(Printed([] { bz_Console_ExecLine("exec empty"); }), "");

    EXPECT_EQ(Printed([] { bz_Console_ExecLine("list test.cfg"); }),
              std::string(kSep) + "3*4\nx = 7\n" + kSep);
    EXPECT_EQ(Printed([] { bz_Console_ExecLine("list test"); }),
              "@C(1)file 'TEST' does not exist.\n");

    // Closing the console ends the capture.
    Enter("pipe other");
    EXPECT_NE(c->capture, nullptr);
    bz_Console_ExecLine("close");
    EXPECT_EQ(c->capture, nullptr);
}

// EXEC files nest 8 deep: a chain of 8 files runs whole, the 9th file of a longer chain is
// refused and the files before it finish.
TEST_F(ConsoleTest, ExecNestsEightDeep)
{
    ScopedTempDir dir;
    for (int i = 1; i <= 9; ++i)
    {
        std::string body = "d" + std::to_string(i) + " = 1\n";
        if (i < 9)
            body += "exec l" + std::to_string(i + 1) + "\n";
        body += "e" + std::to_string(i) + " = 1\n"; // after the nested file returned
        WriteWholeFile("L" + std::to_string(i) + ".CFG", body);
    }
    auto ran = [](const char *prefix, int i)
    { return bz_Expr_VariableExists((prefix + std::to_string(i)).c_str()) != 0; };

    // L2 to L9: eight files, each inside the one before.
    std::string out = Printed([] { bz_Console_ExecLine("exec l2"); });
    EXPECT_EQ(out.find("Too many nested EXEC files"), std::string::npos) << out;
    for (int i = 2; i <= 9; ++i)
    {
        EXPECT_TRUE(ran("d", i)) << i;
        EXPECT_TRUE(ran("e", i)) << i;
    }
    EXPECT_EQ(bz_Console_GetState()->execDepth, 0);
    for (int i = 2; i <= 9; ++i)
    {
        bz_Expr_DeleteVariable(("d" + std::to_string(i)).c_str());
        bz_Expr_DeleteVariable(("e" + std::to_string(i)).c_str());
    }

    // L1 to L9: the ninth is one too deep.
    out = Printed([] { bz_Console_ExecLine("exec l1"); });
    EXPECT_NE(out.find("@C(1)Too many nested EXEC files at 'L9.CFG'.\n"), std::string::npos) << out;
    for (int i = 1; i <= 8; ++i)
    {
        EXPECT_TRUE(ran("d", i)) << i;
        EXPECT_TRUE(ran("e", i)) << i;
    }
    EXPECT_FALSE(ran("d", 9));
    EXPECT_FALSE(ran("e", 9));
    EXPECT_EQ(bz_Console_GetState()->execDepth, 0);
    for (int i = 1; i <= 9; ++i)
    {
        bz_Expr_DeleteVariable(("d" + std::to_string(i)).c_str());
        bz_Expr_DeleteVariable(("e" + std::to_string(i)).c_str());
    }
}

// bz_Dir lists the names of the directory walk between separators: the first name of a walk is
// always a file, hidden names never show.
TEST_F(ConsoleTest, DirListsTheCurrentDirectoryAFileAPatternOrADirectory)
{
    ScopedTempDir dir;
    WriteWholeFile("b.txt", "b");
    WriteWholeFile("A.DAT", "a");
    WriteWholeFile("noext", "n");
    WriteWholeFile(".hidden", "h");
    ASSERT_EQ(bz_MakeDirectory("sub"), 0);
    ASSERT_EQ(bz_MakeDirectory("sub\\more"), 0);
    WriteWholeFile("sub/inner.txt", "i");
    bz_Console_ExecLine("debug"); // bz_Dir is a debug command
    const std::string sep = kSep;
    const struct
    {
        const char *line;
        std::string printed;
    } cases[] = {
        {"bz_dir", sep + "A.DAT\nb.txt\nnoext\nsub\n" + sep},
        {"bz_dir *.txt", sep + "b.txt\n" + sep},
        {"bz_dir ?.*", sep + "A.DAT\nb.txt\n" + sep},
        {"bz_dir b.txt", sep + "b.txt\n" + sep}, // a file lists itself
        {"bz_dir sub", sep + "inner.txt\nmore\n" + sep},
        {"bz_dir SUB", sep + "inner.txt\nmore\n" + sep},
        {"bz_dir sub/", sep + "inner.txt\nmore\n" + sep},
        {"bz_dir sub\\*.txt", sep + "inner.txt\n" + sep},
        {"bz_dir missing", sep + sep},
        {"bz_dir *.none", sep + sep},
    };
    for (const auto &c : cases)
        EXPECT_EQ(Printed([&] { EXPECT_EQ(bz_Console_ExecLine(c.line), 1); }), c.printed) << c.line;
    // Each listing closed its walk: a walk can be opened again.
    ASSERT_EQ(PDFindFirstFile(".", "*"), 1);
    EXPECT_EQ(PDFindClose("."), 0);
    // While another walk is open nothing can be listed.
    ASSERT_EQ(PDFindFirstFile("sub", "*"), 1);
    EXPECT_EQ(Printed([] { bz_Console_ExecLine("bz_dir"); }), sep + sep);
    EXPECT_EQ(PDFindClose("sub"), 0);
}

TEST_F(ConsoleTest, DeactivateWindowSetsWhetherTheProgramRunsInTheBackground)
{
    PDSetKeepActive(0);
    const struct
    {
        const char *line;
        const char *printed;
        int32_t keepActive;
    } cases[] = {
        {"bz_DeactivateWindow", "Deactivate Window = 1\n", 0},
        {"bz_DeactivateWindow 0", "", 1},
        {"bz_DeactivateWindow", "Deactivate Window = 0\n", 1},
        {"bz_deactivatewindow 1", "", 0},
        {"bz_DeactivateWindow 0", "", 1},
        {"bz_DeactivateWindow 7", "", 0},
        {"bz_DeactivateWindow 0 1", "@C(1)Incorrect Parameters", 0},
        {"bz_DeactivateWindow off", "@C(1)Incorrect Parameters", 0},
        {"bz_DeactivateWindow 0x", "@C(1)Incorrect Parameters", 0},
        {"bz_DeactivateWindow -0", "", 1},
        {"bz_DeactivateWindow 99999999999999999999", "@C(1)Incorrect Parameters", 1},
    };
    for (const auto &c : cases)
    {
        EXPECT_EQ(Printed([&] { EXPECT_EQ(bz_Console_ExecLine(c.line), 1); }), c.printed) << c.line;
        EXPECT_EQ(PDGetKeepActive(), c.keepActive) << c.line;
    }
    PDSetKeepActive(0);
}

TEST_F(ConsoleTest, RegistryAndArgumentModes)
{
    // The table holds at most 511 rows, 31 of them built in.
    for (int i = 31; i < 511; ++i)
        ASSERT_EQ(bz_Console_RegisterCommand("filler", "FILLER", 4, Nothing), 0);
    EXPECT_EQ(bz_Console_RegisterCommand("args", "ARGS", 2, RecordArgs), 14);
    EXPECT_EQ(bz_Console_GetState()->commandCount, 511);

    bz_RegisterEngineConsoleCommands();
    ASSERT_EQ(bz_Console_RegisterCommand("args", "ARGS", 4, RecordArgs), 0);
    bz_Console_ExecLine("args a,b  c\td");
    EXPECT_EQ(gArgs, (std::vector<std::string>{"a", "b", "cd"}));
    std::string many = "args";
    for (int i = 0; i < 20; ++i)
        many += " " + std::to_string(i);
    bz_Console_ExecLine(many.c_str());
    ASSERT_EQ(gArgs.size(), 16u);
    EXPECT_EQ(gArgs[15], "15");
    bz_Console_ExecLine("args");
    EXPECT_TRUE(gArgs.empty());

    bz_Console_SetArgMode(RecordArgs, 1);
    bz_Console_ExecLine("args x, y z");
    EXPECT_EQ(gArgs, (std::vector<std::string>{"x, y z"}));
    bz_Console_SetArgMode(RecordArgs, 3);
    bz_Console_ExecLine("args a.b = 5");
    EXPECT_EQ(gArgs, (std::vector<std::string>{"a.b", "=", "5"}));
    bz_Console_ExecLine("args a.b = 5, 6");
    EXPECT_EQ(gArgs, (std::vector<std::string>{"a.b", "=", "5, 6"}));
    bz_Console_ExecLine("args a.b");
    EXPECT_EQ(gArgs, (std::vector<std::string>{"a.b"}));
    // The salad row splits the same way.
    EXPECT_EQ(bz_Console_GetState()->commands[30].argMode, 3);

    // Argument text beyond 1,023 characters is cut, not overrun.
    bz_Console_SetArgMode(RecordArgs, 1);
    std::string huge = "args " + std::string(5000, 'q');
    bz_Console_ExecLine(huge.c_str());
    ASSERT_EQ(gArgs.size(), 1u);
    EXPECT_EQ(gArgs[0].size(), static_cast<size_t>(BZ_CONSOLE_ARG_TEXT - 1));
}

TEST_F(ConsoleTest, PrintingKeepsEverythingUnlessHooked)
{
    std::string long1(5000, 'x');
    bz_Console_Printf("%s|%d\n", long1.c_str(), 42);
    EXPECT_EQ(Text(), long1 + "|42\n");
    bz_Console_PutChar('!');
    EXPECT_EQ(Text().back(), '!');
    bzConsoleState *c = bz_Console_GetState();
    EXPECT_EQ(c->capacity % BZ_CONSOLE_TEXT_STEP, 0u);
    EXPECT_GE(c->capacity - c->length, 1024u - 1);

    bz_Console_SetPrintHook(Hook);
    size_t before = Text().size();
    bz_Console_Printf("hooked %d\n", 5);
    Enter("3*4");
    EXPECT_EQ(Text().size(), before);
    EXPECT_EQ(gHooked, "hooked 5\n@C(2)3*4\n=12\n");
    bz_Console_SetPrintHook(nullptr);
}

TEST_F(ConsoleTest, KeyQueueOpensTypesAndCloses)
{
    bzKeyQueue &q = bzgKeyQueue;
    // Closed: typed keys are left to the game.
    Key(30, 'a');
    bz_Console_Update();
    EXPECT_EQ(Input(), "");
    EXPECT_EQ(q.readIndex, 0);
    q.readIndex = q.writeIndex; // the game read them

    Key(BZ_CONSOLE_DEFAULT_TOGGLE_KEY);
    Key(0x3B, 0); // the entry after the toggle key is stepped over
    Key(48, '3');
    Key(55, '*');
    Key(5, '4');
    Key(28, '\n');
    std::string out = Printed([] { bz_Console_Update(); });
    EXPECT_EQ(bz_Console_IsOpen(), 1);
    EXPECT_EQ(out, "@C(2)3*4\n=12\n");
    EXPECT_EQ(q.readIndex, q.writeIndex);

    // An entry with code 0 stops the reading and stays unread.
    Key(2, '1');
    Key(0, 'x');
    Key(3, '2');
    bz_Console_Update();
    EXPECT_EQ(Input(), "1");
    EXPECT_EQ(q.entries[q.readIndex].code, 0u);
    q.readIndex = q.writeIndex;

    // The toggle key closes and ends a capture; the rest of the frame is still read.
    ScopedTempDir dir;
    bz_Console_ExecLine("pipe cap");
    bz_Console_SetToggleKey(87);
    Key(87);
    Key(2, '9');
    Key(3, '8');
    bz_Console_Update();
    EXPECT_EQ(bz_Console_IsOpen(), 0);
    EXPECT_EQ(bz_Console_GetState()->capture, nullptr);
    EXPECT_EQ(Input(), "18");
    // A wrapped queue still opens.
    q.readIndex = q.writeIndex = BZ_KEY_QUEUE_SIZE - 1;
    bz_Console_GetState()->keyScan = q.readIndex;
    Key(87);
    Key(1, 0);
    bz_Console_Update();
    EXPECT_EQ(bz_Console_IsOpen(), 1);
    EXPECT_EQ(q.readIndex, 1);
}

TEST_F(ConsoleTest, LineEditor)
{
    char line[BZ_CONSOLE_LINE_SIZE] = "abc";
    EXPECT_EQ(bz_GUI_EditLine(line, 95, 1, 'X'), 1);
    EXPECT_STREQ(line, "aXbc");
    EXPECT_EQ(bz_GUI_EditLine(line, 95, 2, 8), -1);
    EXPECT_STREQ(line, "abc");
    EXPECT_EQ(bz_GUI_EditLine(line, 95, 0, 127), 0);
    EXPECT_STREQ(line, "bc");
    EXPECT_EQ(bz_GUI_EditLine(line, 95, 0, 8), 0);
    EXPECT_EQ(bz_GUI_EditLine(line, 95, 1, 11), -1);
    EXPECT_EQ(bz_GUI_EditLine(line, 95, 0, 12), 2);
    EXPECT_EQ(bz_GUI_EditLine(line, 95, 0, 29), 0);
    EXPECT_EQ(bz_GUI_EditLine(line, 95, 1, 28), 1);
    EXPECT_EQ(bz_GUI_EditLine(line, 95, 7, 'x'), 0);
    EXPECT_STREQ(line, "bc");
    EXPECT_EQ(bz_GUI_EditLine(line, 3, 2, 'x'), 0);
    EXPECT_STREQ(line, "bc");

    // Typed lines stop at 94 characters.
    Type(std::string(200, 'k'));
    EXPECT_EQ(Input().size(), static_cast<size_t>(BZ_CONSOLE_LINE_LIMIT - 1));
}
} // namespace
