#pragma once

#include <cstdint>
#include <optional>
#include <string>

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

// Both figures at once, absent ones read as 0, of the file system that
// holds `folder`: "/" (the overview's), or a granted folder, reached as the
// junk job reaches it.
DiskFigures measureVolume(const std::string& folder = "/");

// The figures of the file system that holds the granted `folder` when that
// is another one than "/"'s (a home on its own partition or disk); nothing
// when it is the same (a bind mount of it included: the figures would be
// the same), or when either cannot be opened.
std::optional<DiskFigures> otherVolumeFigures(const std::string& folder);

} // namespace headroom
