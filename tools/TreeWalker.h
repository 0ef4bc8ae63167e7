#pragma once

#include <cstdint>
#include <string>

namespace headroom {

struct WalkOptions {
    unsigned threads = 0;          // 0: pick from the machine (at least 2)
};

struct WalkResult {
    std::uint64_t bytes = 0;   // sum of st_size of every entry below the root
    std::uint64_t entries = 0; // entries counted
    std::uint64_t errors = 0;  // entries or folders that could not be read
};

// Measures the tree below `path`: every entry at every depth, folders' own
// entries included, the root itself not counted. The final component of
// `path` is not followed when it is a link (a link measures 0); links inside
// are counted with their own size and never followed; hard links count each
// time; another mount (a bind mount of the same file system included) is not
// entered. Iterative, relative to open directory descriptors, with a bounded
// number of descriptors held whatever the depth, and no list of the tree kept.
WalkResult measureTree(const std::string& path, const WalkOptions& options = {});

// The same for the entry `name` inside the open folder `dirfd`.
WalkResult measureTreeAt(int dirfd, const std::string& name, const WalkOptions& options = {});

} // namespace headroom
