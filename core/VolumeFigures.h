#pragma once

#include <cstdint>
#include <optional>

namespace headroom {

// Size and free space (space open to unprivileged users) of the file system
// that holds "/", in bytes; absent when it cannot be read. Callers read an
// absent figure as 0. Any thread may call them.
std::optional<std::int64_t> getDiskTotalSize();
std::optional<std::int64_t> getDiskAvailableSize();

} // namespace headroom
