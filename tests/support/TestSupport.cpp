#include "TestSupport.h"

#include "core/Error.h"

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

KeepAlive::KeepAlive() : saved_(bzgNoFatalExit)
{
    bzgNoFatalExit = 1;
}

KeepAlive::~KeepAlive()
{
    bzgNoFatalExit = saved_;
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
