#pragma once

#include <cstdint>

namespace headroom {

// One snapshot of the kernel's page counters (what each is read from: see
// core/VmStatParse.cpp). Counts are pages, never bytes: turning pages into
// bytes is the display's business. A value-initialised record holds 0 in
// every counter.
struct VMStatSchema {
    std::uint64_t pagesFree = 0;
    std::uint64_t pagesActive = 0;
    std::uint64_t pagesInactive = 0;
    std::uint64_t pagesWiredDown = 0;
    // Cumulative counts since boot, shown by headroom-cli memory only.
    std::uint64_t translationFaults = 0;
    std::uint64_t pagesReactivated = 0;
    std::uint64_t pageins = 0;
    std::uint64_t pageouts = 0;

    // Free + wired + active + inactive pages, summed in 64 bits. The
    // cumulative counters take no part: this is the sum of the four
    // categories the display shows, not the machine's physical memory.
    std::uint64_t getTotalMemory() const { return pagesFree + pagesWiredDown + pagesActive + pagesInactive; }
};

} // namespace headroom
