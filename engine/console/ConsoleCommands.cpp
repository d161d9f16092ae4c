#include "console/ConsoleCommands.h"

#include "core/Ascii.h"
#include "console/Console.h"
#include "files/File.h"
#include "core/Memory.h"
#include "pc/PcSystem.h"
#include "pc/PcWindow.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace
{
const char kSeparator[] = "============================\n";

// The names of the EXEC files running, outermost first (as many as the console's EXEC depth).
char gExecRunning[BZ_CONSOLE_MAX_EXEC_DEPTH][BZ_CONSOLE_NAME_SIZE];

int32_t MessageColour()
{
    return bz_Console_GetState()->config.messageColour;
}

int32_t ListingColour()
{
    return bz_Console_GetState()->config.listingColour;
}

// Reads a whole file into a new block (length in *length); null when it does not open. An
// empty or unreadable file gives a null block with *opened set.
char *ReadFile(const char *name, int32_t *length, bool *opened)
{
    *length = 0;
    *opened = false;
    bzFileHandle *f = bz_FileOpen(name, "rt");
    if (!f)
        return nullptr;
    *opened = true;
    int32_t len = bz_FileLength(f);
    char *block = nullptr;
    if (len > 0)
    {
        block = static_cast<char *>(bz_MemAlloc(static_cast<uint32_t>(len), 0));
        if (block && bz_FileRead(f, block, static_cast<size_t>(len)) != static_cast<size_t>(len))
        {
            bz_MemFree(block);
            block = nullptr;
        }
    }
    bz_FileClose(f);
    if (block)
        *length = len;
    return block;
}

// Prints raw text in pieces (a 0 byte ends a piece).
void PrintBlock(const char *text, int32_t length)
{
    int32_t i = 0;
    while (i < length)
    {
        int32_t n = 0;
        while (i + n < length && n < 1000 && text[i + n])
            ++n;
        if (n > 0)
            bz_Console_Printf("%.*s", static_cast<int>(n), text + i);
        i += n;
        if (i < length && !text[i])
            ++i;
    }
}

int32_t NotAvailable(const char *name)
{
    bz_Console_Printf("@C(%i)%s is not available in this build.\n", MessageColour(), name);
    return 0;
}
} // namespace

int32_t ConsoleCmd_Close(int32_t, char **)
{
    bz_Console_Close();
    return 0;
}

int32_t ConsoleCmd_Help(int32_t argc, char **argv)
{
    bzConsoleState *c = bz_Console_GetState();
    if (argc == 0)
    {
        const char *names[BZ_CONSOLE_MAX_COMMANDS];
        int32_t count = bz_Console_ListedNames(names, BZ_CONSOLE_MAX_COMMANDS);
        int32_t width = c->config.width;
        int32_t advance = bz_Console_CharAdvance();
        // A console narrower than 17 character advances lists one name a row.
        int32_t columns = advance > 0 ? width / (17 * advance) : 1;
        if (columns < 1)
            columns = 1;
        int32_t columnWidth = width / columns;
        bz_Console_Printf("%s", kSeparator);
        for (int32_t i = 0; i < count; ++i)
        {
            int32_t k = i % columns;
            if (k == 0)
                bz_Console_Printf("@C(%i)%s", ListingColour(), names[i]);
            else
                bz_Console_Printf("@C(%i)@J(%03i)%s", ListingColour(), k * columnWidth, names[i]);
            if (k == columns - 1 || i == count - 1)
                bz_Console_Printf("\n");
        }
        bz_Console_Printf("%s", kSeparator);
        return 0;
    }
    if (argc == 1)
    {
        for (int32_t i = 0; i < c->commandCount; ++i)
        {
            const bzConsoleCommand &row = c->commands[i];
            if (!bz_AsciiEqualNoCase(row.name, argv[0]))
                continue;
            bool hidden =
                row.kind == BZ_CONSOLE_KIND_HIDDEN ||
                ((row.kind == BZ_CONSOLE_KIND_DEBUG || row.kind == BZ_CONSOLE_KIND_DEBUG_RUN) &&
                 !c->debug);
            if (!hidden)
            {
                bz_Console_Printf("%s", kSeparator);
                bz_Console_Printf("@C(%i)%s\n", ListingColour(), row.help);
                bz_Console_Printf("%s", kSeparator);
            }
            return 0;
        }
        return 0;
    }
    bz_Console_Printf("@C(%i)Supply one command as an argument", MessageColour());
    return 0;
}

int32_t ConsoleCmd_Debug(int32_t, char **)
{
    bz_Console_GetState()->debug = 1;
    bz_Console_Printf("%s", kSeparator);
    bz_Console_Printf("DEBUG COMMANDS AVAILABLE\n");
    bz_Console_Printf("%s", kSeparator);
    return 0;
}

int32_t ConsoleCmd_Pipe(int32_t argc, char **argv)
{
    bzConsoleState *c = bz_Console_GetState();
    if (argc > 1)
    {
        bz_Console_Printf("@C(%i)Supply nothing, or one command as a filename.\n", MessageColour());
        return 0;
    }
    if (bz_Console_CloseCapture())
        bz_Console_Printf("Piping to '%s' complete.\n", c->captureName);
    else if (argc == 0)
        bz_Console_Printf("@C(%i)I wasn't piping.\n", MessageColour());
    if (argc == 0)
        return 0;
    bz_Console_MakeCfgName(argv[0], c->captureName, BZ_CONSOLE_NAME_SIZE);
    c->capture = bz_FileOpen(c->captureName, "wt");
    if (!c->capture)
        bz_Console_Printf("@C(%i)Unable to create '%s'.\n", MessageColour(), c->captureName);
    else
        bz_Console_Printf("Subsequent commands piping to '%s'.\n", c->captureName);
    return 0;
}

int32_t ConsoleCmd_List(int32_t argc, char **argv)
{
    if (argc != 1)
    {
        bz_Console_Printf("@C(%i)Supply one filename argument only.\n", MessageColour());
        return 0;
    }
    char name[BZ_CONSOLE_NAME_SIZE];
    std::snprintf(name, sizeof name, "%s", argv[0]);
    for (char *p = name; *p; ++p)
        if (*p >= 'a' && *p <= 'z')
            *p = static_cast<char>(*p - 'a' + 'A');
    int32_t length;
    bool opened;
    char *text = ReadFile(name, &length, &opened);
    if (!opened)
    {
        bz_Console_Printf("@C(%i)file '%s' does not exist.\n", MessageColour(), name);
        return 0;
    }
    bz_Console_Printf("%s", kSeparator);
    PrintBlock(text, length);
    bz_Console_Printf("%s", kSeparator);
    bz_MemFree(text);
    return 0;
}

int32_t ConsoleCmd_Exec(int32_t argc, char **argv)
{
    bzConsoleState *c = bz_Console_GetState();
    if (argc != 1)
    {
        bz_Console_Printf("@C(%i)Supply one filename argument only.\n", MessageColour());
        return 0;
    }
    char name[BZ_CONSOLE_NAME_SIZE];
    bz_Console_MakeCfgName(argv[0], name, sizeof name);
    // A file that runs itself, directly or through others, is refused: the depth cap alone
    // bounds the nesting but not the breadth, and a file of n such lines would run n^8 times.
    for (int32_t k = 0; k < c->execDepth && k < BZ_CONSOLE_MAX_EXEC_DEPTH; ++k)
        if (std::strcmp(gExecRunning[k], name) == 0)
        {
            bz_Console_Printf("@C(%i)'%s' is already being executed.\n", MessageColour(), name);
            return 0;
        }
    int32_t length;
    bool opened;
    char *text = ReadFile(name, &length, &opened);
    if (!opened)
    {
        bz_Console_Printf("@C(%i)file '%s' does not exist.\n", MessageColour(), name);
        return 0;
    }
    if (!text)
        return 0;
    if (c->execDepth < 0 || c->execDepth >= BZ_CONSOLE_MAX_EXEC_DEPTH)
    {
        bz_Console_Printf("@C(%i)Too many nested EXEC files at '%s'.\n", MessageColour(), name);
        bz_MemFree(text);
        return 0;
    }
    bz_Console_Printf("Executing '%s'\n", name);
    bz_Console_ClearInput();
    std::snprintf(gExecRunning[c->execDepth], sizeof gExecRunning[0], "%s", name);
    ++c->execDepth;
    for (int32_t i = 0; i < length; ++i)
    {
        // Read as text: a CR LF pair is one line end.
        if (text[i] == '\r' && i + 1 < length && text[i + 1] == '\n')
            continue;
        bz_Console_KeyChar(static_cast<unsigned char>(text[i]));
    }
    // The last line runs even when the file does not end with a line break.
    if (text[length - 1] != '\n' && text[length - 1] != '\r')
        bz_Console_KeyChar('\n');
    --c->execDepth;
    if (c->execDepth >= 0 && c->execDepth < BZ_CONSOLE_MAX_EXEC_DEPTH)
        gExecRunning[c->execDepth][0] = 0;
    bz_MemFree(text);
    return 0;
}

int32_t ConsoleCmd_Version(int32_t, char **)
{
    bz_Console_Printf("Last full rebuild date %s %s\n", __DATE__, __TIME__);
    bz_Console_Printf("material version %d.%d\n", 4, 7);
    bz_Console_Printf("model version %d.%d\n", 5, 9);
    bz_Console_Printf("lump version %d.%d\n", 3, 0);
    return 0;
}

int32_t ConsoleCmd_Build(int32_t, char **)
{
    return NotAvailable("BUILD");
}

int32_t ConsoleCmd_Dir(int32_t argc, char **argv)
{
    // The pattern of the walk: every name; the argument itself when it names a file or holds a
    // wildcard; otherwise the argument is a directory, and its contents are listed.
    char pattern[2 * BZ_CONSOLE_NAME_SIZE];
    int written;
    if (argc < 1)
        written = std::snprintf(pattern, sizeof pattern, "*.*");
    else if (std::strpbrk(argv[0], "*?") || bz_FileExists(argv[0]))
        written = std::snprintf(pattern, sizeof pattern, "%s", argv[0]);
    else
        written = std::snprintf(pattern, sizeof pattern, "%s\\*.*", argv[0]);
    bz_Console_Printf("%s", kSeparator);
    if (written > 0 && static_cast<size_t>(written) < sizeof pattern)
    {
        // The walk takes the directory and the names in it apart.
        char *slash = std::strrchr(pattern, '\\');
        if (char *other = std::strrchr(pattern, '/'); other && (!slash || other > slash))
            slash = other;
        const char *directory = "";
        const char *names = pattern;
        if (slash == pattern)
        {
            directory = "\\"; // the root
            names = pattern + 1;
        }
        else if (slash)
        {
            *slash = 0;
            directory = pattern;
            names = slash + 1;
        }
        if (PDFindFirstFile(directory, names))
        {
            while (const char *name = bz_FindNext())
                bz_Console_Printf("%s\n", name);
            PDFindClose(directory);
        }
    }
    bz_Console_Printf("%s", kSeparator);
    return 0;
}

int32_t ConsoleCmd_ShowAR(int32_t, char **)
{
    return NotAvailable("bz_ShowAR");
}

int32_t ConsoleCmd_HideAR(int32_t, char **)
{
    return NotAvailable("bz_HideAR");
}

int32_t ConsoleCmd_MungeFiles(int32_t, char **)
{
    return NotAvailable("bz_MungeFiles");
}

int32_t ConsoleCmd_DeactivateWindow(int32_t argc, char **argv)
{
    if (argc == 0)
    {
        // The program deactivates in the background unless it is kept active.
        bz_Console_Printf(PDGetKeepActive() ? "Deactivate Window = 0\n"
                                            : "Deactivate Window = 1\n");
        return 0;
    }
    // One whole number: 0 keeps the program active in the background, any other lets it go.
    char *end = nullptr;
    errno = 0;
    const long value = argc == 1 ? std::strtol(argv[0], &end, 10) : 0;
    if (argc != 1 || end == argv[0] || *end != 0 || errno != 0)
    {
        bz_Console_Printf("@C(%i)Incorrect Parameters", MessageColour());
        return 0;
    }
    PDSetKeepActive(value == 0 ? 1 : 0);
    return 0;
}
