#pragma once

// Pure composition of the memory figures: no widgets, no Qt.

#include "core/KeyLookup.h"
#include "core/VMStatSchema.h"

#include <array>
#include <cstdint>
#include <string>

namespace headroom {

struct MemoryCategory {
    const char* key; // "Free", "Wired", "Active", "Inactive"
    std::uint64_t pages = 0;
    std::uint64_t bytes = 0; // pages * the kernel's page size, at most 2^64 - 1
    int percent = 0;         // pages * 100 / total, truncated; 0 when the total is 0
};

struct MemoryFigures {
    std::uint64_t totalPages = 0;
    // In display order: free, wired, active, inactive.
    std::array<MemoryCategory, 4> categories{};
};

// All figures of one refresh, from one sample, in pages of
// platform::pageSize(). Integer arithmetic only.
MemoryFigures memoryFigures(const VMStatSchema& sample);

// Box title: label's text followed directly by the size text.
std::string memoryBoxTitle(const KeyLookup& tr, const MemoryCategory& category);

// Menu lines: "Free1.00 GB  Wired512.0 MB" and "Active..  Inactive..".
std::string memoryStatusLine1(const KeyLookup& tr, const MemoryFigures& figures);
std::string memoryStatusLine2(const KeyLookup& tr, const MemoryFigures& figures);

// Bytes the release gave back: how much the free pages grew from the sample
// before the purge tool to the one after it; 0 when they did not grow.
std::uint64_t memoryGivenBack(const MemoryFigures& before, const MemoryFigures& after);

// The report after a release. `toolStatus` is the purge tool's exit status
// (-1: it could not be started); any status but 0 means no memory was
// released, and the report says why where the status tells it
// (core/PurgeStatus.h): no helper, no pkexec, the password dialog dismissed,
// authorization refused, or else the helper failed. A failed sample (no
// pages at all) on either side leaves the amount unknown.
std::string releaseReport(const KeyLookup& tr, int toolStatus, const MemoryFigures& before, const MemoryFigures& after);

} // namespace headroom
