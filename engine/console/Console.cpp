#include "console/Console.h"

#include "core/Ascii.h"
#include "console/ConsoleCommands.h"
#include "core/Clock.h"
#include "console/ConsoleServices.h"
#include "core/Error.h"
#include "console/Expr.h"
#include "core/Memory.h"
#include "core/Random.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace
{
bzConsoleState gConsole;
// How the console is drawn and measured; installed by the renderer.
bzConsoleView gView;

constexpr uint32_t kTextReserve = 1024; // grow when less than this is left

bool IsPrintable(char c)
{
    unsigned char u = static_cast<unsigned char>(c);
    return u >= 32 && u != 127;
}

// Bounded copy that always terminates.
void CopyText(char *out, size_t size, const char *text)
{
    std::snprintf(out, size, "%s", text);
}

int32_t NextKey(int32_t index)
{
    return (index + 1) % BZ_KEY_QUEUE_SIZE;
}

bool IsListed(const bzConsoleCommand &row)
{
    switch (row.kind)
    {
    case BZ_CONSOLE_KIND_HIDDEN: return false;
    case BZ_CONSOLE_KIND_DEBUG:
    case BZ_CONSOLE_KIND_DEBUG_RUN: return gConsole.debug != 0;
    default: return true;
    }
}

void MakeRoom()
{
    bzConsoleState &c = gConsole;
    if (c.capacity != 0 && c.length < c.capacity - kTextReserve)
        return;
    uint32_t bigger = c.capacity + BZ_CONSOLE_TEXT_STEP;
    auto *block = static_cast<char *>(bz_MemAlloc(bigger, BZ_MEM_CLEAR));
    if (!block)
        return;
    if (c.text)
    {
        std::memcpy(block, c.text, c.length);
        bz_MemFree(c.text);
    }
    c.text = block;
    c.capacity = bigger;
}

void AppendChar(char character)
{
    MakeRoom();
    if (gConsole.length < gConsole.capacity)
        gConsole.text[gConsole.length++] = character;
}

// Shows the newest lines: the scroll start goes after the line feed that leaves the
// visible-line count of lines below it.
void Reanchor()
{
    bzConsoleState &c = gConsole;
    // With no visible lines the count is never reached and the start is 0; no need to scan.
    if (c.config.visibleLines <= 0)
    {
        c.scrollStart = 0;
        return;
    }
    int32_t count = 0;
    for (uint32_t i = c.length; i-- > 1;)
    {
        if (c.text[i] != '\n')
            continue;
        c.scrollStart = i + 1;
        if (++count == c.config.visibleLines)
            return;
    }
    c.scrollStart = 0;
}

void ScrollUp()
{
    bzConsoleState &c = gConsole;
    uint32_t i = c.scrollStart < 2 ? 0 : c.scrollStart - 2;
    while (i > 0 && c.text[i] != '\n')
        --i;
    c.scrollStart = (c.scrollStart >= 2 && c.text[i] == '\n') ? i + 1 : 0;
}

void ScrollDown()
{
    bzConsoleState &c = gConsole;
    uint32_t i = c.scrollStart;
    while (i < c.length && c.text[i] != '\n')
        ++i;
    c.scrollStart = i < c.length ? i + 1 : c.length;
}

void HistoryOlder()
{
    bzConsoleState &c = gConsole;
    char *input = c.history[0];
    if (c.browse < BZ_CONSOLE_HISTORY - 1 && c.history[c.browse + 1][0])
    {
        ++c.browse;
        CopyText(input, BZ_CONSOLE_LINE_SIZE, c.history[c.browse]);
    }
    else
        input[0] = 0;
    c.cursor = static_cast<int32_t>(std::strlen(input));
}

void HistoryNewer()
{
    bzConsoleState &c = gConsole;
    char *input = c.history[0];
    if (c.browse > 0 && c.history[c.browse - 1][0])
    {
        --c.browse;
        if (c.browse > 0)
            CopyText(input, BZ_CONSOLE_LINE_SIZE, c.history[c.browse]);
    }
    else
        input[0] = 0;
    c.cursor = static_cast<int32_t>(std::strlen(input));
}

void Complete()
{
    bzConsoleState &c = gConsole;
    if (c.typedSinceTab)
        c.cycle = 0;
    else
        ++c.cycle;
    c.typedSinceTab = 0;

    const char *prefix = c.completion;
    size_t len = std::strlen(prefix);
    size_t headLen = 0;
    for (size_t i = len; i-- > 1;)
        if (prefix[i] == ' ')
        {
            headLen = i + 1;
            break;
        }
    const char *word = prefix + headLen;

    const char *names[BZ_CONSOLE_MAX_COMMANDS];
    int32_t count = bz_Console_ListedNames(names, BZ_CONSOLE_MAX_COMMANDS);
    const char *matches[BZ_CONSOLE_MAX_COMMANDS];
    int32_t found = 0;
    for (int32_t i = 0; i < count; ++i)
        if (bz_AsciiStartsWithNoCase(names[i], word))
            matches[found++] = names[i];
    if (found == 0)
        return;
    if (c.cycle >= found)
        c.cycle = 0;
    char line[BZ_CONSOLE_LINE_SIZE];
    std::snprintf(line, sizeof line, "%.*s%s", static_cast<int>(headLen), prefix, matches[c.cycle]);
    CopyText(c.history[0], BZ_CONSOLE_LINE_SIZE, line);
    c.cursor = static_cast<int32_t>(std::strlen(c.history[0]));
}

// Splits the argument text by the row's mode into at most 16 arguments inside buffer.
int32_t SplitArguments(char *buffer, int32_t mode, char **argv)
{
    auto isDelimiter = [](char ch) { return ch == ',' || ch == ' ' || ch == '\t'; };
    if (mode == 1)
    {
        if (!*buffer)
            return 0;
        argv[0] = buffer;
        return 1;
    }
    int32_t split = mode == 0 ? BZ_CONSOLE_MAX_ARGS : mode - 1;
    if (split > BZ_CONSOLE_MAX_ARGS)
        split = BZ_CONSOLE_MAX_ARGS;
    int32_t argc = 0;
    char *p = buffer;
    while (argc < split)
    {
        while (*p && isDelimiter(*p))
            ++p;
        if (!*p)
            return argc;
        argv[argc++] = p;
        while (*p && !isDelimiter(*p))
            ++p;
        if (!*p)
            return argc;
        *p++ = 0;
    }
    // Modes of 2 or more keep what follows the last split argument as one more.
    if (mode >= 2 && *p && argc < BZ_CONSOLE_MAX_ARGS)
        argv[argc++] = p;
    return argc;
}

// A keyword of the reply tables answers in place of a command.
bool Respond(const char *name)
{
    bzConsoleState &c = gConsole;
    for (int32_t set = 0; set < BZ_CONSOLE_KEYWORD_SETS; ++set)
    {
        for (int32_t k = 0; k < c.keywordCount[set]; ++k)
        {
            if (bz_AsciiCompareLower(name, c.keywords[set][k]) != 0)
                continue;
            if (c.responseCount[set] == 0)
                return false;
            const char *response = c.responses[set][bz_RandomInt(0, c.responseCount[set] - 1)];
            int32_t flagged[BZ_CONSOLE_KEYWORDS];
            int32_t flaggedCount = 0;
            for (int32_t j = 0; j < c.keywordCount[set]; ++j)
                if (c.substitute[set][j])
                    flagged[flaggedCount++] = j;
            char reply[BZ_CONSOLE_REPLY_SIZE];
            size_t n = 0;
            auto put = [&](const char *s)
            {
                for (; *s && n + 1 < sizeof reply; ++s)
                    reply[n++] = *s;
            };
            for (const char *r = response; *r; ++r)
            {
                char one[2] = {*r, 0};
                if (*r == '$')
                    put(name);
                else if (*r == '*')
                {
                    // With no keyword flagged for substitution there is nothing to put in.
                    if (flaggedCount > 0)
                        put(c.keywords[set][flagged[bz_RandomInt(0, flaggedCount - 1)]]);
                }
                else
                    put(one);
            }
            reply[n] = 0;
            bz_Console_Printf("%s\n", reply);
            return true;
        }
    }
    return false;
}

// Runs the command of the name; true when one ran (or the reply tables answered).
bool RunCommand(const char *name, const char *argText)
{
    bzConsoleState &c = gConsole;
    if (!*name || c.commandCount == 0)
        return false;
    auto matches = [&](int32_t i)
    {
        const bzConsoleCommand &cmd = c.commands[i];
        if (cmd.kind == BZ_CONSOLE_KIND_DEBUG_RUN && !c.debug)
            return false;
        return bz_AsciiCompareLower(cmd.name, name) == 0;
    };
    // The first row goes before the reply tables, every other row after them.
    int32_t row = -1;
    if (matches(0))
        row = 0;
    else
    {
        if (Respond(name))
            return true;
        for (int32_t i = 1; i < c.commandCount && row < 0; ++i)
            if (matches(i))
                row = i;
    }
    if (row < 0)
        return false;
    char buffer[BZ_CONSOLE_ARG_TEXT];
    CopyText(buffer, sizeof buffer, argText);
    char *argv[BZ_CONSOLE_MAX_ARGS + 1] = {};
    int32_t argc = SplitArguments(buffer, c.commands[row].argMode, argv);
    if (c.commands[row].handler)
        c.commands[row].handler(argc, argv);
    return true;
}

// Handles the typed keys from the read position up to the writer's.
void ReadKeys()
{
    bzConsoleState &c = gConsole;
    bzKeyQueue &q = bzgKeyQueue;
    for (int32_t steps = 0; q.readIndex != q.writeIndex && steps < BZ_KEY_QUEUE_SIZE; ++steps)
    {
        const bzKeyQueueEntry e = q.entries[q.readIndex];
        if (e.code == 0)
            break;
        q.readIndex = NextKey(q.readIndex);
        if (static_cast<int32_t>(e.code) == c.toggleKey)
        {
            if (q.readIndex != q.writeIndex)
                q.readIndex = NextKey(q.readIndex);
            bz_Console_Close();
            continue;
        }
        switch (e.code)
        {
        case 200: HistoryOlder(); break;
        case 208: HistoryNewer(); break;
        case 201: ScrollUp(); break;
        case 209: ScrollDown(); break;
        default:
            if (e.character)
                bz_Console_KeyChar(static_cast<int32_t>(e.character & 0xFF));
            break;
        }
    }
}

void ResetState()
{
    if (gConsole.capture)
        bz_FileClose(gConsole.capture);
    bz_MemFree(gConsole.text);
    std::memset(&gConsole, 0, sizeof gConsole);
    gConsole.toggleKey = BZ_CONSOLE_DEFAULT_TOGGLE_KEY;
    gConsole.config.messageColour = 1;
    gConsole.config.listingColour = 2;
    gConsole.keyScan = bzgKeyQueue.writeIndex;
}

struct BuiltIn
{
    const char *name;
    int32_t kind;
    const char *help;
    bzConsoleHandler handler;
};

const BuiltIn kBuiltIns[] = {
    {"Close", BZ_CONSOLE_KIND_COMMAND, "CLOSE\nRemove this console display", ConsoleCmd_Close},
    {"Help", BZ_CONSOLE_KIND_COMMAND, "HELP\nLists all commands", ConsoleCmd_Help},
    {"Debug", BZ_CONSOLE_KIND_HIDDEN, "DEBUG\nActivates hidden debug commands", ConsoleCmd_Debug},
    {"Pipe", BZ_CONSOLE_KIND_COMMAND,
     "PIPE <filename>\nSubsequent commands saved to filename.CFG\nPIPE <nothing> will close the "
     "file.\n",
     ConsoleCmd_Pipe},
    {"List", BZ_CONSOLE_KIND_COMMAND,
     "LIST <filename>\nDisplay the contents of the given file (in ASCII)\n", ConsoleCmd_List},
    {"Exec", BZ_CONSOLE_KIND_COMMAND, "EXEC <filename>\nInterpret the supplied filename.CFG\n",
     ConsoleCmd_Exec},
    {"Build", BZ_CONSOLE_KIND_COMMAND, "BUILD\nDisplay current build number\n", ConsoleCmd_Build},
    {"bz_Dir", BZ_CONSOLE_KIND_DEBUG_RUN, "bz_DIR [wildcard]\nPerform relative directory listing",
     ConsoleCmd_Dir},
    {"bz_ShowAR", BZ_CONSOLE_KIND_DEBUG_RUN,
     "bz_SHOWAR\nTurns on action replay & timing diagnostics", ConsoleCmd_ShowAR},
    {"bz_HideAR", BZ_CONSOLE_KIND_DEBUG_RUN,
     "bz_HIDEAR\nTurns off action replay & timing diagnostics", ConsoleCmd_HideAR},
    {"bz_MungeFiles", BZ_CONSOLE_KIND_DEBUG_RUN, "bz_MUNGEFILES <Help to come...>\n",
     ConsoleCmd_MungeFiles},
    {"Version", BZ_CONSOLE_KIND_COMMAND, "VERSION \n", ConsoleCmd_Version},
    {"bz_DeactivateWindow", BZ_CONSOLE_KIND_COMMAND,
     "bz_DeactivateWindow <0/1>\nDeactivate app when window is in background\n",
     ConsoleCmd_DeactivateWindow},
};
} // namespace

void bz_Console_SetView(const bzConsoleView *view)
{
    gView = view ? *view : bzConsoleView{};
}

int32_t bz_Console_CharAdvance()
{
    return gView.charAdvance ? gView.charAdvance() : 0;
}

bzConsoleState *bz_Console_GetState()
{
    return &gConsole;
}

void bz_Console_RegisterBuiltIns()
{
    ResetState();
    for (const BuiltIn &b : kBuiltIns)
        bz_Console_RegisterCommand(b.name, b.help, b.kind, b.handler);
}

int32_t bz_Console_RegisterCommand(const char *name, const char *help, int32_t kind,
                                   bzConsoleHandler handler)
{
    if (gConsole.commandCount >= BZ_CONSOLE_MAX_COMMANDS)
        return BZ_ERROR_NO_MEMORY;
    bzConsoleCommand &row = gConsole.commands[gConsole.commandCount++];
    row.name = name ? name : "";
    row.help = help ? help : "";
    row.kind = kind;
    row.handler = handler;
    row.argMode = 0;
    return 0;
}

void bz_Console_SetArgMode(bzConsoleHandler handler, int32_t mode)
{
    for (int32_t i = 0; i < gConsole.commandCount; ++i)
        if (gConsole.commands[i].handler == handler)
        {
            gConsole.commands[i].argMode = mode;
            return;
        }
}

void bz_Console_VPrintf(const char *format, va_list args)
{
    if (!format)
        return;
    if (gConsole.printHook)
    {
        gConsole.printHook(format, args);
        return;
    }
    char buffer[BZ_CONSOLE_FORMAT_SIZE];
    va_list again;
    va_copy(again, args);
    int n = std::vsnprintf(buffer, sizeof buffer, format, args);
    const char *text = buffer;
    char *large = nullptr;
    if (n >= BZ_CONSOLE_FORMAT_SIZE)
    {
        // Longer text is formatted whole into a block of its own; without one it is cut.
        large = static_cast<char *>(bz_MemAlloc(static_cast<uint32_t>(n) + 1, 0));
        if (large)
        {
            std::vsnprintf(large, static_cast<size_t>(n) + 1, format, again);
            text = large;
        }
        else
            n = BZ_CONSOLE_FORMAT_SIZE - 1;
    }
    va_end(again);
    for (int i = 0; i < n; ++i)
        AppendChar(text[i]);
    if (n > 0)
        Reanchor();
    bz_MemFree(large);
}

void bz_Console_Printf(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    bz_Console_VPrintf(format, args);
    va_end(args);
}

void bz_Console_PutChar(char character)
{
    AppendChar(character);
    Reanchor();
}

int32_t bz_Console_Configure(const bzConsoleConfig *config)
{
    if (!config)
        return 0;
    bzConsoleConfig &cfg = gConsole.config;
    cfg = *config;
    cfg.x2 = cfg.x;
    cfg.y2 = cfg.y;
    cfg.width2 = cfg.width;
    cfg.height2 = cfg.height;
    if (cfg.colour0 < 0 || cfg.colour0 > 9)
        cfg.colour0 = 0;
    if (cfg.messageColour < 0 || cfg.messageColour > 9)
        cfg.messageColour = 0;
    if (cfg.listingColour < 0 || cfg.listingColour > 9)
        cfg.listingColour = 0;
    return 0;
}

int32_t bz_Console_GetConfig(bzConsoleConfig *config)
{
    if (config)
        *config = gConsole.config;
    return 0;
}

void bz_Console_Update()
{
    bzConsoleState &c = gConsole;
    bzKeyQueue &q = bzgKeyQueue;
    if (!c.open)
    {
        // Closed: look for the toggle key among the keys typed since the last look, leaving
        // the others to the game.
        int32_t i = c.keyScan;
        if (i < 0 || i >= BZ_KEY_QUEUE_SIZE)
            i = q.readIndex;
        bool found = false;
        for (int32_t steps = 0; i != q.writeIndex && steps < BZ_KEY_QUEUE_SIZE; ++steps)
        {
            if (static_cast<int32_t>(q.entries[i].code) == c.toggleKey)
            {
                found = true;
                break;
            }
            i = NextKey(i);
        }
        if (!found)
        {
            c.keyScan = q.writeIndex;
            return;
        }
        c.open = 1;
        int32_t next = NextKey(i);
        if (next != q.writeIndex)
            next = NextKey(next);
        q.readIndex = next;
    }
    ReadKeys();
    c.keyScan = q.readIndex;
    if (c.open && gView.draw)
        gView.draw();
}

void bz_Console_KeyChar(int32_t character)
{
    bzConsoleState &c = gConsole;
    char *input = c.history[0];
    if (character == '\t')
    {
        Complete();
        return;
    }
    if (character == '\n' || character == '\r')
    {
        char line[BZ_CONSOLE_LINE_SIZE];
        CopyText(line, sizeof line, input);
        bz_Console_Printf("@C(%i)%s\n", c.config.listingColour, line);
        int32_t ran = bz_Console_ExecLine(line);
        if (ran == 1 && c.capture)
        {
            char upper[BZ_CONSOLE_LINE_SIZE];
            for (size_t i = 0; i < sizeof upper; ++i)
                if (!(upper[i] = bz_AsciiUpper(line[i])))
                    break;
            if (!std::strstr(upper, "PIPE"))
                bz_FilePrintf(c.capture, "%s\n", line);
        }
        if (line[0])
        {
            std::memmove(c.history[2], c.history[1],
                         static_cast<size_t>(BZ_CONSOLE_HISTORY - 2) * BZ_CONSOLE_LINE_SIZE);
            CopyText(c.history[1], BZ_CONSOLE_LINE_SIZE, line);
            input[0] = 0;
        }
        c.completion[0] = 0;
        c.cursor = 0;
        c.browse = 0;
    }
    else
    {
        c.cursor += bz_GUI_EditLine(input, BZ_CONSOLE_LINE_LIMIT, c.cursor, character);
        CopyText(c.completion, sizeof c.completion, input);
    }
    c.typedSinceTab = 1;
}

int32_t bz_Console_ExecLine(const char *line)
{
    if (!line || !*line)
        return 0;
    const char *space = std::strchr(line, ' ');
    size_t nameLen = space ? static_cast<size_t>(space - line) : std::strlen(line);
    char argText[BZ_CONSOLE_ARG_TEXT];
    size_t n = 0;
    if (space)
        for (const char *p = space + 1; *p && n + 1 < sizeof argText; ++p)
            if (IsPrintable(*p))
                argText[n++] = *p;
    argText[n] = 0;
    // A name longer than any command can be is no command.
    if (nameLen < BZ_CONSOLE_NAME_SIZE)
    {
        char name[BZ_CONSOLE_NAME_SIZE];
        std::memcpy(name, line, nameLen);
        name[nameLen] = 0;
        if (RunCommand(name, argText))
            return 1;
    }

    int32_t code = 0;
    double value = bz_Expr_EvaluateWithStatus(line, &code);
    if (code != 0)
    {
        bz_Console_PrintExprError(code);
        return 0;
    }
    double rounded = std::round(value);
    if (rounded == value && std::fabs(value) <= 2147483647.0)
        bz_Console_Printf("=%i\n", static_cast<int>(rounded));
    else
        bz_Console_Printf("=%f\n", value);
    return 1;
}

void bz_Console_PrintExprError(int32_t code)
{
    const char *kinds[] = {"@C(%i)Generic", "@C(%i)Bad Syntax", "@C(%i)Unknown function",
                           "@C(%i)Unknown variable/constant"};
    const char *format = (code >= 1 && code <= 3) ? kinds[code] : kinds[0];
    char message[64];
    std::snprintf(message, sizeof message, format, gConsole.config.messageColour);
    bz_Console_Printf("@C(%i)error:%s\n>", gConsole.config.messageColour, message);
}

void bz_Console_Close()
{
    bz_Console_CloseCapture();
    gConsole.open = 0;
}

int32_t bz_Console_IsOpen()
{
    return gConsole.open;
}

void bz_Console_FreeText()
{
    bz_MemFree(gConsole.text);
    gConsole.text = nullptr;
    gConsole.capacity = 0;
    gConsole.length = 0;
    gConsole.scrollStart = 0;
}

void bz_Console_SetToggleKey(int32_t scanCode)
{
    gConsole.toggleKey = scanCode;
}

void bz_Console_SetPrintHook(bzConsolePrintHook hook)
{
    gConsole.printHook = hook;
}

void bz_Console_AddKeyword(int32_t set, const char *keyword, int32_t substitute)
{
    if (set < 0 || set >= BZ_CONSOLE_KEYWORD_SETS || !keyword)
        return;
    int32_t &count = gConsole.keywordCount[set];
    if (count >= BZ_CONSOLE_KEYWORDS)
        return;
    CopyText(gConsole.keywords[set][count], BZ_CONSOLE_KEYWORD_SIZE, keyword);
    gConsole.substitute[set][count] = substitute;
    ++count;
}

void bz_Console_AddResponse(int32_t set, const char *response)
{
    if (set < 0 || set >= BZ_CONSOLE_KEYWORD_SETS || !response)
        return;
    int32_t &count = gConsole.responseCount[set];
    if (count >= BZ_CONSOLE_KEYWORDS)
        return;
    CopyText(gConsole.responses[set][count], BZ_CONSOLE_RESPONSE_SIZE, response);
    ++count;
}

int32_t bz_Console_ListedNames(const char **names, int32_t max)
{
    int32_t count = 0;
    for (int32_t i = 0; i < gConsole.commandCount && count < max; ++i)
    {
        if (!IsListed(gConsole.commands[i]))
            continue;
        // Insertion keeps rows of equal names in registration order.
        const char *name = gConsole.commands[i].name;
        int32_t at = count;
        while (at > 0 && bz_AsciiCompareLower(names[at - 1], name) > 0)
        {
            names[at] = names[at - 1];
            --at;
        }
        names[at] = name;
        ++count;
    }
    return count;
}

void bz_Console_MakeCfgName(const char *argument, char *out, int32_t outSize)
{
    if (!out || outSize <= 0)
        return;
    // Room for ".CFG" and the terminator.
    int32_t keep = outSize - 5;
    int32_t n = 0;
    for (; argument && argument[n] && argument[n] != '.' && n < keep; ++n)
        out[n] = bz_AsciiUpper(argument[n]);
    out[n] = 0;
    if (outSize >= 5)
        std::strcat(out, ".CFG");
}

int32_t bz_Console_CloseCapture()
{
    if (!gConsole.capture)
        return 0;
    bz_FileClose(gConsole.capture);
    gConsole.capture = nullptr;
    return 1;
}

void bz_Console_ClearInput()
{
    std::memset(gConsole.history[0], 0, BZ_CONSOLE_LINE_SIZE);
    gConsole.cursor = 0;
    gConsole.browse = 0;
    gConsole.completion[0] = 0;
}
