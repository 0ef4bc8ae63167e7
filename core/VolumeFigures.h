#pragma once

#include <cstdint>
#include <optional>

namespace headroom {

// Size and free space (space open to unprivileged users) of the file system
// that holds "/", in bytes; absent when it cannot be read. Callers read an
// absent figure as 0. Any thread may call them.
std::optional<std::int64_t> getDiskTotalSize();
std::optional<std::int64_t> getDiskAvailableSize();

// The volume's figures of one refresh.
struct DiskFigures {
    std::int64_t total = 0; // 0 when the volume cannot be read
    std::int64_t free = 0;
    bool freeRead = false; // whether `free` was read (0 may be a full disk)
};

// Both figures of "/" at once, absent ones read as 0.
DiskFigures measureVolume();

} // namespace headroom
