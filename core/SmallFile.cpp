#include "core/SmallFile.h"

#include <cerrno>

#include <unistd.h>

namespace headroom {

std::optional<std::string> readSmallFile(int fd, std::size_t limit)
{
    std::string text;
    char buffer[8192];
    while (text.size() <= limit) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return std::nullopt;
        if (n == 0)
            return text;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    return std::nullopt;
}

} // namespace headroom
