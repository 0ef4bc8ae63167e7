#pragma once

// The junk scan and the junk clean of a granted folder, for any front end:
// the tray application runs them on a worker thread and headroom-cli in its
// own. Standard library and POSIX only.

#include "core/DiskText.h"
#include "core/JunkLocations.h"
#include "core/VolumeFigures.h"
#include "core/WorkProgress.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

namespace headroom {

// What a clean did: the volume's figures after it, and the space report's
// inputs (free space before the first removal and after the clean, and what
// the removed locations measured).
struct CleanOutcome {
    DiskFigures volumeAfter;
    CleanSpace space;
    // Not 0 when a removal, or the walk before it, stopped short for want
    // of descriptors or memory (EMFILE, ENFILE, ENOMEM): less was removed
    // than asked, and space.removedBytes may be low.
    int incomplete = 0;
};

// What a row measured.
struct RowSize {
    std::uint64_t bytes = 0;
    // False when the walk could not reach the whole folder for want of
    // descriptors or memory: `bytes` is then too low, and `error` says why
    // (EMFILE, ENFILE, ENOMEM).
    bool complete = true;
    int error = 0;
};

// One scan or clean of the junk rows' folders below the granted one, row
// by row in table order.
struct JunkJob {
    using RowDone = std::function<void(std::size_t row, const RowSize& size)>;

    // Where the rows are, as resolved when the folder was granted. Each is
    // opened again at use without following a link below the granted
    // folder, so a link put in a folder's way since is not followed either.
    JunkFolders folders;
    // Whether a row takes part, asked when the job reaches it (a check box
    // as it is then, not as it was when the job started). Empty: every row.
    std::function<bool(std::size_t row)> chosen;
    // When given and set, the job stops before its next row and a walk or a
    // removal under way stops before its next entry.
    const std::atomic<bool>* cancel = nullptr;
    // Whether a clean measures each row before removing it (for the space
    // report). A front end that shows no report leaves that walk out.
    bool measureRemoved = true;
    // When given: the row at hand, measured or removed, and its counts so
    // far, for a front end to show while the job runs.
    WorkProgress* progress = nullptr;

    // Measures each chosen row and reports it through `done`. A row that
    // cannot be reached measures 0. False when cancelled: a row whose walk
    // was cut short is not reported.
    bool scan(const RowDone& done) const;

    // Which rows the scan after a clean measures: the chosen ones (what the
    // window shows) or every row (what headroom-cli prints).
    enum class Rescan { Chosen, Every };

    // Removes each chosen row as a whole, then scans as above. Nothing when
    // cancelled; what was not yet removed stays.
    std::optional<CleanOutcome> clean(const RowDone& done, Rescan rescan = Rescan::Chosen) const;

private:
    bool cancelled() const { return cancel && cancel->load(std::memory_order_acquire); }
    bool takes(std::size_t row) const;
    bool scanRows(const RowDone& done, bool everyRow) const;
    RowSize measure(std::size_t row) const;
    std::uint64_t removeMeasured(std::size_t row, int& incomplete) const;
    void begin(std::size_t row, WorkProgress::Phase phase) const;
};

} // namespace headroom
