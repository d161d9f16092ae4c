#include "files/UniqueName.h"

#include "core/Error.h"
#include "files/File.h"

#include <cstdio>
#include <cstring>

namespace
{
// The longest name taken, terminator included.
constexpr size_t kUniqueNameSize = 1024;
} // namespace

int32_t bz_MakeUniqueFileName(char *name)
{
    if (!name)
        return 0;
    char *marker = std::strchr(name, '%');
    if (!marker)
        return 1;
    size_t length = std::strlen(name);
    if (length + 3 > kUniqueNameSize)
    {
        bzgLastError = BZ_ERROR_PARAMETER_OUT_OF_RANGE;
        return 0;
    }
    const int prefix = static_cast<int>(marker - name);
    char candidate[kUniqueNameSize];
    for (int32_t n = 0; n < 1000; ++n)
    {
        std::snprintf(candidate, sizeof candidate, "%.*s%03d%s", prefix, name, static_cast<int>(n),
                      marker + 1);
        bzFileHandle *file = bz_FileOpen(candidate, "rb");
        if (!file)
        {
            std::memcpy(name, candidate, length + 3);
            return 1;
        }
        bz_FileClose(file);
    }
    return 0;
}
