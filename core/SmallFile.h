#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace headroom {

// The whole text of the open file `fd` from its current position, read
// until end of file (a pseudo-file's size reads as 0, so the size is not
// trusted). Nothing on a read error or when the file holds more than
// `limit` bytes: a file that never ends (a device) neither hangs nor
// exhausts the caller. The caller closes `fd`.
std::optional<std::string> readSmallFile(int fd, std::size_t limit);

} // namespace headroom
