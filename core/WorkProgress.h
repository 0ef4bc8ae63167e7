#pragma once

// How far a scan or a clean has come, for a front end to show while it
// runs: the row at hand, whether it is being measured or removed, and the
// entries (and, measuring, the bytes) counted in it so far. The work adds
// to it once per batch of entries, never per entry, with relaxed atomics;
// a reader on another thread samples it now and then. Each figure is
// current on its own: a sample may pair a new row with the counts of the
// one before for an instant.

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace headroom {

struct WorkProgress {
    enum Phase : int { Idle, Measuring, Removing };

    std::atomic<int> row{-1}; // the junk row at hand, -1 before the first
    std::atomic<int> phase{Idle};
    std::atomic<std::uint64_t> entries{0}; // measured or removed so far in this row
    std::atomic<std::uint64_t> bytes{0};   // measured so far in this row (removing: 0)

    // Back to nothing at hand, before a run.
    void reset() noexcept { begin(-1, Idle); }

    // A new row or phase: its counts start at 0.
    void begin(int at, Phase now) noexcept
    {
        entries.store(0, std::memory_order_relaxed);
        bytes.store(0, std::memory_order_relaxed);
        phase.store(now, std::memory_order_relaxed);
        row.store(at, std::memory_order_relaxed);
    }

    void add(std::uint64_t moreEntries, std::uint64_t moreBytes) noexcept
    {
        if (moreEntries != 0)
            entries.fetch_add(moreEntries, std::memory_order_relaxed);
        if (moreBytes != 0)
            bytes.fetch_add(moreBytes, std::memory_order_relaxed);
    }
};

} // namespace headroom
