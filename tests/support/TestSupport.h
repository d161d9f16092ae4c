// Shared helpers of the test programs.
#pragma once

#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// Creates a fresh temporary directory, makes it current, and removes it afterwards. Its parent
// is fresh too, so paths that climb one level above it stay inside the test's own tree.
class ScopedTempDir
{
public:
    ScopedTempDir();
    ~ScopedTempDir();
    const std::string &path() const { return path_; }

private:
    std::string root_;
    std::string path_;
    std::string previous_;
};

// Saves the named environment variables and puts them back as they were (set or unset) by
// Restore or when it goes.
class ScopedEnvironment
{
public:
    explicit ScopedEnvironment(std::initializer_list<const char *> names);
    ~ScopedEnvironment();
    void Restore();

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

// Keep-alive mode for the error report: reports are recorded instead of ending the process.
// The report's origin is cleared on the way in and out, so that a report shows only the origin
// its own caller set, and the fatal-error mark that recorded reports leave is cleared on the way
// out.
class KeepAlive
{
public:
    KeepAlive();
    ~KeepAlive();

private:
    int saved_;
};

// For behaviour that only the first use in a run shows: runs body and ends the process, with
// exit code 1 when body failed an expectation, else 0. Use it as the statement of
// EXPECT_EXIT(RunAndExit(...), ::testing::ExitedWithCode(0), "") with the "threadsafe" death
// test style, so that the body runs in a child that starts the program afresh.
[[noreturn]] void RunAndExit(const std::function<void()> &body);

// The entries of the engine's file handle table that are in use, as a bit set (entry i is bit
// i), and closing every entry in use that is not in a given set. The test main uses them to
// find tests that leave files open.
uint32_t OpenFileHandles();
int CloseFileHandlesExcept(uint32_t keep);

// The console as the engine start leaves it: closed, no text, the built-in commands only, no
// debug commands, an empty input line.
void ResetConsole();

// Reads a whole file; empty when it cannot be read.
std::string ReadWholeFile(const std::string &path);
void WriteWholeFile(const std::string &path, const std::string &bytes);
