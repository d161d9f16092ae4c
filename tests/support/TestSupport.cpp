#include "TestSupport.h"

#include "console/Console.h"
#include "startup/Engine.h"
#include "core/Error.h"
#include "files/File.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

ScopedTempDir::ScopedTempDir()
{
    char cwd[4096];
    if (getcwd(cwd, sizeof cwd))
        previous_ = cwd;
    std::string tmpl = (std::filesystem::temp_directory_path() / "tolvane-XXXXXX").string();
    if (!mkdtemp(tmpl.data()))
        std::abort();
    // The test works one level down, so that ".." is a directory of its own and not the shared
    // temporary directory, where other programs' files could answer a case-blind look-up.
    root_ = tmpl;
    path_ = root_ + "/work";
    if (mkdir(path_.c_str(), 0700) != 0 || chdir(path_.c_str()) != 0)
        std::abort();
}

ScopedTempDir::~ScopedTempDir()
{
    if (!previous_.empty() && chdir(previous_.c_str()) != 0)
        std::abort();
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
}

ScopedEnvironment::ScopedEnvironment(std::initializer_list<const char *> names)
{
    for (const char *name : names)
    {
        const char *value = std::getenv(name);
        saved_.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
    }
}

ScopedEnvironment::~ScopedEnvironment()
{
    Restore();
}

void ScopedEnvironment::Restore()
{
    for (const auto &[name, value] : saved_)
    {
        if (value)
            setenv(name.c_str(), value->c_str(), 1);
        else
            unsetenv(name.c_str());
    }
}

KeepAlive::KeepAlive() : saved_(bzgNoFatalExit)
{
    bzgNoFatalExit = 1;
    bzgErrorFile = nullptr;
    bzgErrorLine = 0;
}

KeepAlive::~KeepAlive()
{
    bzgNoFatalExit = saved_;
    bzgErrorFile = nullptr;
    bzgErrorLine = 0;
    // A recorded report went through the fatal exit, which marks that a fatal error happened:
    // nothing ended, so nothing happened.
    bzgFatalErrorHappened = 0;
}

void RunAndExit(const std::function<void()> &body)
{
    body();
    std::fflush(nullptr);
    std::_Exit(::testing::Test::HasFailure() ? 1 : 0);
}

uint32_t OpenFileHandles()
{
    uint32_t bits = 0;
    for (int32_t i = 0; i < 32; ++i)
    {
        const bzFileHandle *f = bz_FileHandle_Get(i);
        if (f && f->inUse)
            bits |= 1u << i;
    }
    return bits;
}

int CloseFileHandlesExcept(uint32_t keep)
{
    int closed = 0;
    for (int32_t i = 0; i < 32; ++i)
    {
        bzFileHandle *f = bz_FileHandle_Get(i);
        if (f && f->inUse && !(keep & (1u << i)))
        {
            bz_FileClose(f);
            ++closed;
        }
    }
    return closed;
}

void ResetConsole()
{
    bz_Console_Close();
    bz_Console_FreeText();
    bz_RegisterEngineConsoleCommands();
}

std::string ReadWholeFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void WriteWholeFile(const std::string &path, const std::string &bytes)
{
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}
