#pragma once

// Pure composition of the memory figures: no widgets, no Qt.

#include "disk/DiskText.h"
#include "tools/VMStatSchema.h"

#include <array>
#include <cstdint>
#include <string>

namespace headroom {

inline constexpr std::uint64_t kPageSize = 4096; // fixed; not asked of the system

struct MemoryCategory {
    const char* key;       // "Free", "Wired", "Active", "Inactive"
    std::uint64_t pages = 0;
    std::uint64_t bytes = 0;  // pages * 4096
    int percent = 0;          // pages * 100 / total, truncated; 0 when the total is 0
};

struct MemoryFigures {
    std::uint64_t totalPages = 0;
    std::uint64_t totalBytes = 0;
    // In display order: free, wired, active, inactive.
    std::array<MemoryCategory, 4> categories{};
};

// All figures of one refresh, from one sample. Integer arithmetic only.
MemoryFigures memoryFigures(const VMStatSchema& sample);

// Box title: label's text followed directly by the size text.
std::string memoryBoxTitle(const KeyLookup& tr, const MemoryCategory& category);

// Menu lines: "Free1.00 GB  Wired512.0 MB" and "Active..  Inactive..".
std::string memoryStatusLine1(const KeyLookup& tr, const MemoryFigures& figures);
std::string memoryStatusLine2(const KeyLookup& tr, const MemoryFigures& figures);

} // namespace headroom
