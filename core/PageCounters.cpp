#include "core/PageCounters.h"

#include "core/Platform.h"
#include "core/VmStatParse.h"

#include <cerrno>
#include <cstdio>
#include <optional>
#include <string>

#include <fcntl.h>
#include <unistd.h>

namespace headroom {

namespace {

// The whole text of a small pseudo-file such as /proc/vmstat, whose size
// stat() reports as 0, so it is read until end of file. Reading stops at
// 1 MiB: the real file is a few KiB, and a path that never ends (a device)
// must not hang or exhaust the caller.
std::optional<std::string> readSmallFile(const std::string& path)
{
    constexpr std::size_t kLimit = std::size_t{1} << 20;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return std::nullopt;
    std::string text;
    char buffer[8192];
    bool ok = true;
    while (text.size() < kLimit) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            ok = false;
            break;
        }
        if (n == 0)
            break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    if (!ok)
        return std::nullopt;
    return text;
}

} // namespace

VMStatSchema vm_stat()
{
    if (const auto text = readSmallFile(platform::vmstatPath())) {
        if (auto record = parseProcVmstat(*text))
            return *record;
    }
    // The only diagnostic the program writes: no line end, nothing else.
    std::fputs("Failed to get VM statistics.", stderr);
    std::fflush(stderr);
    return {};
}

} // namespace headroom
