// The engine console: one growing text buffer that every module prints into, a one-line input
// with history and TAB completion, and a registry of named commands. A line that names no
// command is evaluated as an expression and its value printed. Colour and column changes in
// the text are the font printer's escapes "@C(%i)" (colour index 0-9) and "@J(%03i)" (pixel
// column).
#pragma once

#include "files/File.h"

#include <cstdarg>
#include <cstdint>

struct bzFont;

constexpr int32_t BZ_CONSOLE_MAX_COMMANDS = 511;
constexpr int32_t BZ_CONSOLE_LINE_SIZE = 96; // 95 characters and a terminator
constexpr int32_t BZ_CONSOLE_LINE_LIMIT = 95;
constexpr int32_t BZ_CONSOLE_HISTORY = 32; // slot 0 is the input line itself
constexpr int32_t BZ_CONSOLE_MAX_ARGS = 16;
constexpr int32_t BZ_CONSOLE_ARG_TEXT = 1024; // argument text, terminator included
constexpr int32_t BZ_CONSOLE_FORMAT_SIZE = 1024;
constexpr int32_t BZ_CONSOLE_NAME_SIZE = 256;
constexpr int32_t BZ_CONSOLE_KEYWORD_SETS = 3;
constexpr int32_t BZ_CONSOLE_KEYWORDS = 32;
constexpr int32_t BZ_CONSOLE_KEYWORD_SIZE = 16;
constexpr int32_t BZ_CONSOLE_RESPONSE_SIZE = 64;
constexpr int32_t BZ_CONSOLE_REPLY_SIZE = 256;
constexpr int32_t BZ_CONSOLE_TEXT_STEP = 4096;
constexpr int32_t BZ_CONSOLE_DEFAULT_TOGGLE_KEY = 59; // F1
// How deeply EXEC files may run further EXEC files.
constexpr int32_t BZ_CONSOLE_MAX_EXEC_DEPTH = 8;

// Command kinds.
enum : int32_t
{
    BZ_CONSOLE_KIND_PLAIN = 0,     // as kind 2
    BZ_CONSOLE_KIND_DEBUG = 1,     // listed only after DEBUG, always runs
    BZ_CONSOLE_KIND_COMMAND = 2,   // listed and completed
    BZ_CONSOLE_KIND_DEBUG_RUN = 3, // listed and run only after DEBUG
    BZ_CONSOLE_KIND_HIDDEN = 4,    // never listed, always runs
};

// Handlers take the argument count and strings; their result is not used.
// Argument modes: 0 splits every argument, 1 keeps the whole text as one, n >= 2 splits the
// first n - 1 and keeps the rest as one more.
typedef int32_t (*bzConsoleHandler)(int32_t argc, char **argv);
typedef void (*bzConsolePrintHook)(const char *format, va_list args);

struct bzConsoleCommand
{
    const char *name;
    const char *help; // first line the usage in capitals, then the description
    int32_t kind;
    bzConsoleHandler handler;
    int32_t argMode;
};

// The configuration record, exchanged whole.
struct bzConsoleConfig
{
    bzFont *font; // null for the default font
    int32_t x, y;
    int32_t width, height;
    uint32_t background; // 0xAARRGGBB
    int32_t layer;       // depth argument of every 2-D call
    int32_t x2, y2, width2, height2;
    int32_t visibleLines;
    int32_t lineHeight;
    int32_t colour0;
    int32_t messageColour; // errors and usage messages
    int32_t listingColour; // the echo of entered lines and the HELP listing
};

struct bzConsoleState
{
    bzConsoleConfig config;
    int32_t open;
    int32_t debug;
    char *text; // not terminated
    uint32_t capacity;
    uint32_t length;
    uint32_t scrollStart;
    char history[BZ_CONSOLE_HISTORY][BZ_CONSOLE_LINE_SIZE]; // [0] is the input line
    int32_t cursor;
    int32_t browse;
    char completion[BZ_CONSOLE_NAME_SIZE];
    int32_t cycle;
    int32_t typedSinceTab;
    bzFileHandle *capture;
    char captureName[BZ_CONSOLE_NAME_SIZE];
    int32_t toggleKey;
    bzConsolePrintHook printHook;
    char keywords[BZ_CONSOLE_KEYWORD_SETS][BZ_CONSOLE_KEYWORDS][BZ_CONSOLE_KEYWORD_SIZE];
    int32_t substitute[BZ_CONSOLE_KEYWORD_SETS][BZ_CONSOLE_KEYWORDS];
    char responses[BZ_CONSOLE_KEYWORD_SETS][BZ_CONSOLE_KEYWORDS][BZ_CONSOLE_RESPONSE_SIZE];
    int32_t keywordCount[BZ_CONSOLE_KEYWORD_SETS];
    int32_t responseCount[BZ_CONSOLE_KEYWORD_SETS];
    int32_t commandCount;
    bzConsoleCommand commands[BZ_CONSOLE_MAX_COMMANDS];
    int32_t keyScan;   // where the closed console last looked for the toggle key
    int32_t execDepth; // EXEC files running inside each other
};

// The console's state block, for the built-in commands.
bzConsoleState *bz_Console_GetState();

// Clears the whole state and registers the built-in commands. Called once at engine start.
void bz_Console_RegisterBuiltIns();
// Appends a row: 0, or 14 when the table is full.
int32_t bz_Console_RegisterCommand(const char *name, const char *help, int32_t kind,
                                   bzConsoleHandler handler);
// Sets the argument mode of the first row with this handler.
void bz_Console_SetArgMode(bzConsoleHandler handler, int32_t mode);

void bz_Console_Printf(const char *format, ...) __attribute__((format(printf, 1, 2)));
void bz_Console_VPrintf(const char *format, va_list args);
void bz_Console_PutChar(char character);

// How the console is drawn and measured. The renderer installs it (see ConsoleView.h); without
// one the console keeps its text but draws nothing.
struct bzConsoleView
{
    // Draws the open console; called by bz_Console_Update while the console is open.
    void (*draw)();
    // The console font's character advance in whole pixels.
    int32_t (*charAdvance)();
};
void bz_Console_SetView(const bzConsoleView *view);
// The installed view's character advance; 0 without a view.
int32_t bz_Console_CharAdvance();
int32_t bz_Console_Configure(const bzConsoleConfig *config);
int32_t bz_Console_GetConfig(bzConsoleConfig *config);

// Once a frame: the toggle key opens and closes; while open the typed keys are handled and the
// window is drawn.
void bz_Console_Update();
// Handles one typed character as the input line's editor.
void bz_Console_KeyChar(int32_t character);
// Runs one line: 1 when a command ran or a value was printed, else 0.
int32_t bz_Console_ExecLine(const char *line);
void bz_Console_Close();
int32_t bz_Console_IsOpen();
void bz_Console_FreeText();
void bz_Console_SetToggleKey(int32_t scanCode);
void bz_Console_SetPrintHook(bzConsolePrintHook hook);
// Keyword replies: the set is 0 to 2; each set holds 32 keywords and 32 responses.
void bz_Console_AddKeyword(int32_t set, const char *keyword, int32_t substitute);
void bz_Console_AddResponse(int32_t set, const char *response);

// The names that HELP lists and TAB completes (kinds 1 and 3 only after DEBUG, never kind 4),
// sorted without regard to case; returns how many were written (at most max).
int32_t bz_Console_ListedNames(const char **names, int32_t max);
// Prints the error line of an expression error code.
void bz_Console_PrintExprError(int32_t code);
// Makes the ".CFG" file name of PIPE and EXEC: cut at the first ".", ".CFG" added, upper case.
void bz_Console_MakeCfgName(const char *argument, char *out, int32_t outSize);
// Closes the PIPE capture file when one is open; 1 when one was.
int32_t bz_Console_CloseCapture();
// Clears the input line and its edit state.
void bz_Console_ClearInput();
