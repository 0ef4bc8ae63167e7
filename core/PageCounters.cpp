#include "core/PageCounters.h"

#include "core/Platform.h"
#include "core/SmallFile.h"
#include "core/UniqueFd.h"
#include "core/VmStatParse.h"

#include <cstdio>
#include <optional>
#include <string>

#include <fcntl.h>
#include <unistd.h>

namespace headroom {

namespace {

// /proc/vmstat is a few KiB; a path that names a device must not hang.
std::optional<std::string> readCounterFile(const std::string& path)
{
    constexpr std::size_t kLimit = std::size_t{1} << 20;
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
    if (!fd)
        return std::nullopt;
    return readSmallFile(fd.get(), kLimit);
}

} // namespace

VMStatSchema vm_stat()
{
    if (const auto text = readCounterFile(platform::vmstatPath())) {
        if (auto record = parseProcVmstat(*text))
            return *record;
    }
    // The only diagnostic the program writes: no line end, nothing else.
    std::fputs("Failed to get VM statistics.", stderr);
    std::fflush(stderr);
    return {};
}

} // namespace headroom
