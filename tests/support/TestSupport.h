// Shared helpers of the test programs.
#pragma once

#include <string>

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

// Keep-alive mode for the error report: reports are recorded instead of ending the process.
class KeepAlive
{
public:
    KeepAlive();
    ~KeepAlive();

private:
    int saved_;
};

// Reads a whole file; empty when it cannot be read.
std::string ReadWholeFile(const std::string &path);
void WriteWholeFile(const std::string &path, const std::string &bytes);
