#pragma once

#include "tools/VMStatSchema.h"

#include <cstdint>
#include <optional>
#include <string>

namespace headroom {

// Stateless measuring and system work. Every member may be called from any
// thread; none keeps anything between calls.
class MiscTool {
public:
    MiscTool() = delete;

    // Size and free space (space open to unprivileged users) of the file
    // system that holds "/", in bytes; absent when it cannot be read.
    // Callers read an absent figure as 0.
    static std::optional<std::int64_t> getDiskTotalSize();
    static std::optional<std::int64_t> getDiskAvailableSize();

    // Sum of the sizes of every entry below `path` (the folder itself not
    // counted). Links count with their own size and are never followed;
    // another mount inside is not entered. A missing, non-folder or
    // unlistable path measures 0.
    static std::uint64_t getSize(const std::string& path);

    // The size text: "%.2f GB", "%.1f MB", "%.1f KB" or "%lld Bytes" with
    // divisors of 1024 and "." as decimal separator under every locale.
    static std::string convertBytes(std::uint64_t bytes);

    // One sample of the page counters. Never fails: when the counters cannot
    // be read it writes "Failed to get VM statistics." to standard error and
    // returns a record of zeros.
    static VMStatSchema vm_stat();

    // Runs the purge tool with no arguments and waits, with no time limit,
    // until it has ended. Returns its exit status, or -1 when it could not
    // be started at all (callers of the design ignore the status).
    static int purgeRAM();
};

} // namespace headroom
