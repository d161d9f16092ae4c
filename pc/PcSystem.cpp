#include "pc/PcSystem.h"

#include "pc/PcRegistry.h"

#include "pc/PcHooks.h"
#include "pc/PcFile.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <pwd.h>
#include <spawn.h>
#include <string>
#include <strings.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace
{
char gStartDirectory[512];
constexpr uint32_t kHostPathSize = 4096;

// Copies length characters of text into out (size bytes), cut to fit; out may be null.
void CopyPart(char *out, uint32_t size, const char *text, size_t length)
{
    if (!out)
        return;
    if (length > size - 1)
        length = size - 1;
    std::memcpy(out, text, length);
    out[length] = 0;
}
char gProgramDirectory[512];
PDMessageBoxFunction gMessageBoxFunction;

constexpr uint32_t kStringSlots = 16;
char *gStringSlots[kStringSlots];
char gUserName[64] = "Player";
char gBrowserCommand[256];

// Started programs not yet seen to end; each launch collects the ones that have ended, so
// none lingers as a zombie.
std::vector<pid_t> gChildren;

struct PendingStart
{
    std::string path;
    std::vector<std::string> arguments;
};

// One directory walk at a time.
struct Walk
{
    bool idle = true;
    char directory[260] = {};
    std::vector<std::pair<std::string, bool>> entries; // name, is a directory
    size_t next = 0;
    bool hasPrepared = false;
    char prepared[261] = {};
    char result[261] = {};
};
Walk gWalk;
} // namespace

void PDInitSystem()
{
    for (uint32_t i = 0; i < kStringSlots; ++i)
        PDSetStringSlot(i, nullptr);
    PDSetStringSlot(0, ".\\");
    gStartDirectory[0] = 0;
    gProgramDirectory[0] = 0;
    PDGetCurrentDirectory(gStartDirectory, sizeof gStartDirectory);
    PDFindProgramDirectory();
}

int32_t PDFindProgramDirectory()
{
    char path[512];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n < 0)
        n = 0;
    path[n] = 0;
    char *slash = std::strrchr(path, '/');
    if (slash)
        *slash = 0;
    else
        path[0] = 0;
    std::snprintf(gProgramDirectory, sizeof gProgramDirectory, "%s", path);
    return static_cast<int32_t>(std::strlen(gProgramDirectory));
}

const char *PDGetProgramDirectory()
{
    return gProgramDirectory;
}

const char *PDGetStartDirectory()
{
    return gStartDirectory;
}

void PDRestoreProgramDirectory()
{
    if (gProgramDirectory[0])
        PDSetCurrentDirectory(gProgramDirectory);
}

void PDRestoreStartDirectory()
{
    if (gStartDirectory[0])
        PDSetCurrentDirectory(gStartDirectory);
}

int32_t PDGetCurrentDirectory(char *buffer, uint32_t size)
{
    if (!buffer || size == 0)
        return 0;
    if (!getcwd(buffer, size))
    {
        buffer[0] = 0;
        return 0;
    }
    return 1;
}

int32_t PDSetCurrentDirectory(const char *path)
{
    return path && chdir(path) == 0 ? 1 : 0;
}

void PDSetMessageBoxFunction(PDMessageBoxFunction fn)
{
    gMessageBoxFunction = fn;
}

void PDMessageBox(const char *caption, const char *text)
{
    if (gMessageBoxFunction)
    {
        gMessageBoxFunction(caption, text);
        return;
    }
    std::fprintf(stderr, "%s\n%s\n", caption ? caption : "", text ? text : "");
    std::fflush(stderr);
}

void PDExitProcess(int32_t code)
{
    std::fflush(nullptr);
    std::exit(code);
}

uint64_t PDGetFileTime(const char *name)
{
    char path[kHostPathSize];
    if (!PDMapPath(name, path, sizeof path))
        return 0;
    int fd = open(path, O_RDONLY);
    if (fd < 0)
        return 0;
    struct stat st;
    int result = fstat(fd, &st);
    close(fd);
    if (result != 0)
        return 0;
    return static_cast<uint64_t>(st.st_mtim.tv_sec) * 1000000000ull +
           static_cast<uint64_t>(st.st_mtim.tv_nsec);
}

int32_t PDCompareFileTimes(uint64_t a, uint64_t b)
{
    return a < b ? -1 : (a > b ? 1 : 0);
}

int32_t PDSetFileReadOnly(const char *name, int32_t readOnly)
{
    char path[kHostPathSize];
    struct stat st;
    if (!PDMapPath(name, path, sizeof path) || stat(path, &st) != 0)
        return -1;
    mode_t mode = st.st_mode & 07777;
    mode = readOnly ? (mode & ~static_cast<mode_t>(0222)) : (mode | S_IWUSR);
    return chmod(path, mode) == 0 ? 0 : -1;
}

int32_t PDMakeDirectory(const char *name)
{
    char path[kHostPathSize];
    if (!PDMapPath(name, path, sizeof path) || !name[0])
        return -1;
    return mkdir(path, 0777) == 0 ? 0 : -1;
}

int32_t PDChangeDirectory(const char *path)
{
    char host[kHostPathSize];
    if (!PDMapPath(path, host, sizeof host) || !path[0])
        return -1;
    return chdir(host) == 0 ? 0 : -1;
}

void PDSplitPath(const char *path, char *drive, char *directory, char *name, char *extension)
{
    if (!path)
        path = "";
    const char *rest = path;
    if (path[0] && path[1] == ':')
    {
        CopyPart(drive, PD_MAX_DRIVE, path, 2);
        rest = path + 2;
    }
    else
    {
        CopyPart(drive, PD_MAX_DRIVE, "", 0);
    }
    const char *base = rest;
    for (const char *p = rest; *p; ++p)
        if (*p == '\\' || *p == '/')
            base = p + 1;
    CopyPart(directory, PD_MAX_PATH_PART, rest, static_cast<size_t>(base - rest));
    const char *dot = std::strrchr(base, '.');
    if (!dot)
        dot = base + std::strlen(base);
    CopyPart(name, PD_MAX_PATH_PART, base, static_cast<size_t>(dot - base));
    CopyPart(extension, PD_MAX_PATH_PART, dot, std::strlen(dot));
}

// --- string slots, user name, system family --------------------------------------------------

void PDSetStringSlot(uint32_t index, const char *text)
{
    if (index >= kStringSlots)
        return;
    std::free(gStringSlots[index]);
    gStringSlots[index] = text ? strdup(text) : nullptr;
}

const char *PDGetStringSlot(uint32_t index)
{
    return index < kStringSlots ? gStringSlots[index] : nullptr;
}

const char *PDGetUserName()
{
    passwd entry;
    passwd *found = nullptr;
    char scratch[1024];
    if (getpwuid_r(getuid(), &entry, scratch, sizeof scratch, &found) == 0 && found &&
        found->pw_name && found->pw_name[0])
        CopyPart(gUserName, sizeof gUserName, found->pw_name, std::strlen(found->pw_name));
    return gUserName;
}

bool PDIsWindowsNT()
{
    return true;
}

// --- starting programs -----------------------------------------------------------------------

namespace
{
void CollectEndedChildren()
{
    gChildren.erase(std::remove_if(gChildren.begin(), gChildren.end(),
                                   [](pid_t pid)
                                   {
                                       int status;
                                       return waitpid(pid, &status, WNOHANG) != 0;
                                   }),
                    gChildren.end());
}

// The program's file name as its first argument: the part after the last separator, up to a
// quote or the first character that is not printable.
std::string ProgramName(const char *path)
{
    const char *base = path;
    for (const char *p = path; *p; ++p)
        if (*p == '\\' || *p == '/')
            base = p + 1;
    std::string name;
    for (const char *p = base; *p && *p != '"' && *p >= 0x20 && *p < 0x7f; ++p)
        name += *p;
    return name;
}

// Splits a command line's arguments: blanks separate, "..." groups, \" is a quote.
void SplitArguments(const char *text, std::vector<std::string> &out)
{
    if (!text)
        return;
    const char *p = text;
    while (*p)
    {
        while (*p == ' ' || *p == '\t')
            ++p;
        if (!*p)
            break;
        std::string word;
        bool quoted = false;
        for (; *p && (quoted || (*p != ' ' && *p != '\t')); ++p)
        {
            if (p[0] == '\\' && p[1] == '"')
                word += *++p;
            else if (*p == '"')
                quoted = !quoted;
            else
                word += *p;
        }
        out.push_back(word);
    }
}

int32_t Spawn(const PendingStart &start, pid_t *pid)
{
    std::vector<char *> argv;
    for (const std::string &argument : start.arguments)
        argv.push_back(const_cast<char *>(argument.c_str()));
    argv.push_back(nullptr);
    CollectEndedChildren();
    if (posix_spawn(pid, start.path.c_str(), nullptr, nullptr, argv.data(), environ) != 0)
        return -1;
    gChildren.push_back(*pid);
    return 0;
}

int32_t Launch(const char *path, std::vector<std::string> arguments, int32_t suspended,
               bzProcess *process)
{
    if (suspended && !process)
    {
        PDReportError("Error", "You shouldnt ask to suspend a process without providing a "
                               "bzProcess structure");
        return -1;
    }
    char host[kHostPathSize];
    if (!path || !path[0] || !PDMapPath(path, host, sizeof host))
        return -1;
    auto *start = new PendingStart{host, {ProgramName(path)}};
    for (std::string &argument : arguments)
        start->arguments.push_back(std::move(argument));
    if (suspended)
    {
        // Held back until resumed; a program that cannot run fails now, as it would at once.
        if (access(start->path.c_str(), X_OK) != 0)
        {
            delete start;
            return -1;
        }
        process->process = 0;
        process->pendingStart = start;
        return 0;
    }
    pid_t pid = 0;
    int32_t result = Spawn(*start, &pid);
    delete start;
    if (result == 0 && process)
    {
        process->process = pid;
        process->pendingStart = nullptr;
    }
    return result;
}
} // namespace

int32_t PDLaunchProcess(const char *path, const char *arguments, int32_t, int32_t suspended,
                        bzProcess *process)
{
    std::vector<std::string> words;
    SplitArguments(arguments, words);
    return Launch(path, std::move(words), suspended, process);
}

int32_t PDResumeProcess(bzProcess *process)
{
    if (!process || !process->pendingStart)
        return -1;
    auto *start = static_cast<PendingStart *>(process->pendingStart);
    process->pendingStart = nullptr;
    pid_t pid = 0;
    int32_t result = Spawn(*start, &pid);
    delete start;
    if (result == 0)
        process->process = pid;
    return result;
}

// The desktop's opener of URLs, found on the search path.
namespace
{
// Reads the default value of a classes-root key as text into gBrowserCommand.
bool ReadClassesDefault(const char *path)
{
    uint32_t type = 0;
    uint32_t size = sizeof gBrowserCommand - 1;
    if (PDReg_QueryValue(PD_REG_ROOT_CLASSES, path, nullptr, &type, gBrowserCommand, &size) !=
            PD_REG_OK ||
        type != PD_REG_STRING)
        return false;
    gBrowserCommand[size] = 0;
    return gBrowserCommand[0] != 0;
}

// The program part of a stored open command: up to the closing quote when it starts with one,
// else up to the first blank.
bool BrowserFromRegistry()
{
    bool found = ReadClassesDefault("http\\shell\\open\\command");
    if (!found && ReadClassesDefault(".htm"))
    {
        char key[sizeof gBrowserCommand + 32];
        std::snprintf(key, sizeof key, "%s\\shell\\open\\command", gBrowserCommand);
        found = ReadClassesDefault(key);
    }
    if (!found)
        return false;
    if (gBrowserCommand[0] == '"')
    {
        const char *close = std::strchr(gBrowserCommand + 1, '"');
        size_t n = close ? static_cast<size_t>(close - gBrowserCommand - 1)
                         : std::strlen(gBrowserCommand + 1);
        std::memmove(gBrowserCommand, gBrowserCommand + 1, n);
        gBrowserCommand[n] = 0;
    }
    else
    {
        gBrowserCommand[std::strcspn(gBrowserCommand, " \t")] = 0;
    }
    return gBrowserCommand[0] != 0;
}
} // namespace

const char *PDGetBrowserCommand()
{
    if (BrowserFromRegistry())
        return gBrowserCommand;
    // Nothing stored: the desktop's own opener.
    const char *searchPath = std::getenv("PATH");
    if (!searchPath)
        return nullptr;
    std::string paths = searchPath;
    size_t start = 0;
    while (start <= paths.size())
    {
        size_t end = paths.find(':', start);
        if (end == std::string::npos)
            end = paths.size();
        std::string directory = paths.substr(start, end - start);
        start = end + 1;
        if (directory.empty())
            continue;
        std::string candidate = directory + "/xdg-open";
        struct stat st;
        if (candidate.size() < sizeof gBrowserCommand && stat(candidate.c_str(), &st) == 0 &&
            S_ISREG(st.st_mode) && access(candidate.c_str(), X_OK) == 0)
        {
            std::memcpy(gBrowserCommand, candidate.c_str(), candidate.size() + 1);
            return gBrowserCommand;
        }
    }
    return nullptr;
}

int32_t PDOpenURL(const char *url)
{
    const char *browser = PDGetBrowserCommand();
    if (!browser || !url)
        return -1;
    // The URL goes over whole as one argument.
    return Launch(browser, {url}, 0, nullptr);
}

bool PDInRange(uint32_t value, uint32_t limit)
{
    return value > 0 && value <= limit;
}

void PDClearWord(int32_t *pointer)
{
    *pointer = 0;
}

void PDSetWord(int32_t *pointer, int32_t value)
{
    *pointer = value;
}

// --- directory walk --------------------------------------------------------------------------

namespace
{
// Makes the next acceptable entry the prepared name.
void PrepareNext(int32_t files, int32_t directories)
{
    gWalk.hasPrepared = false;
    while (gWalk.next < gWalk.entries.size())
    {
        const auto &[name, isDirectory] = gWalk.entries[gWalk.next++];
        if (name.empty() || name[0] == '.')
            continue;
        if (isDirectory ? !directories : !files)
            continue;
        CopyPart(gWalk.prepared, sizeof gWalk.prepared, name.c_str(), name.size());
        gWalk.hasPrepared = true;
        return;
    }
}
} // namespace

int32_t PDFindFirstFile(const char *directory, const char *pattern)
{
    if (!gWalk.idle || !directory || std::strlen(directory) > 259)
        return 0;
    char host[kHostPathSize];
    if (!PDMapPath(directory[0] ? directory : ".", host, sizeof host))
        return 0;
    DIR *dir = opendir(host);
    if (!dir)
        return 0;
    if (!pattern || !pattern[0])
        pattern = "*";
    gWalk.entries.clear();
    // A pattern ending in ".*" also takes names without an extension ("*.*" takes all).
    const size_t patternLength = std::strlen(pattern);
    std::string withoutExtension;
    if (patternLength >= 2 && std::strcmp(pattern + patternLength - 2, ".*") == 0)
        withoutExtension.assign(pattern, patternLength - 2);
    while (dirent *entry = readdir(dir))
    {
        if (fnmatch(pattern, entry->d_name, FNM_CASEFOLD) != 0 &&
            (withoutExtension.empty() || std::strchr(entry->d_name, '.') ||
             fnmatch(withoutExtension.c_str(), entry->d_name, FNM_CASEFOLD) != 0))
            continue;
        struct stat st;
        bool isDirectory = fstatat(dirfd(dir), entry->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode);
        gWalk.entries.emplace_back(entry->d_name, isDirectory);
    }
    closedir(dir);
    // Names in a stable order, letter case ignored first.
    std::sort(gWalk.entries.begin(), gWalk.entries.end(),
              [](const auto &a, const auto &b)
              {
                  int c = strcasecmp(a.first.c_str(), b.first.c_str());
                  return c != 0 ? c < 0 : a.first < b.first;
              });
    CopyPart(gWalk.directory, sizeof gWalk.directory, directory, std::strlen(directory));
    gWalk.next = 0;
    gWalk.idle = false;
    PrepareNext(1, 0);
    return 1;
}

const char *PDFindNextFile(int32_t files, int32_t directories)
{
    if (gWalk.idle)
    {
        PDSetLastError(PD_ERROR_NOT_SEARCHING);
        return nullptr;
    }
    if (!gWalk.hasPrepared)
        return nullptr;
    std::memcpy(gWalk.result, gWalk.prepared, sizeof gWalk.result);
    PrepareNext(files, directories);
    return gWalk.result;
}

int32_t PDFindClose(const char *directory)
{
    if (!directory)
        return PD_ERROR_FILE_NOT_FOUND;
    if (gWalk.idle || std::strcmp(directory, gWalk.directory) != 0)
        return PD_ERROR_SEARCH_IN_PROGRESS;
    gWalk.idle = true;
    gWalk.entries.clear();
    gWalk.entries.shrink_to_fit();
    gWalk.hasPrepared = false;
    return 0;
}
