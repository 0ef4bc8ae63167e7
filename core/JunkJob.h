#pragma once

// The junk scan and the junk clean of a granted folder, for any front end:
// the tray application runs them on a worker thread and headroom-cli in its
// own. Standard library and POSIX only.

#include "core/DiskText.h"
#include "core/JunkLocations.h"
#include "core/Location.h"
#include "core/TreeRemover.h"
#include "core/TreeWalker.h"
#include "core/VolumeFigures.h"
#include "core/WorkProgress.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace headroom {

// What a clean did with one row.
struct RowClean {
    bool asked = false; // the row was chosen and the clean reached it
    // A row that is a link or another mount, or lies below one, is left as
    // it stands (see locationPlace).
    Place place = Place::Own;
    std::string linkTarget;
    std::uint64_t failed = 0; // entries that could not be removed
    int error = 0;            // errno of the first of them (see RemoveResult)

    // Asked for, and not removed whole.
    bool leftOver() const { return asked && (place != Place::Own || failed != 0); }
};

// What a clean did: the overview's figures after it (those of "/"), and
// the space report's inputs (what the removed locations measured, and the
// free space before the first removal and after the clean of the volume
// that holds them: the granted folder's, which need not be "/"'s).
struct CleanOutcome {
    DiskFigures volumeAfter;
    CleanSpace space;
    // Not 0 when a removal, or the walk before it, stopped short for want
    // of descriptors or memory (EMFILE, ENFILE, ENOMEM): less was removed
    // than asked, and space.removedBytes may be low.
    int incomplete = 0;
    // Row by row, what became of each.
    std::array<RowClean, kJunkRowCount> rows;
};

// What a row measured.
struct RowSize {
    std::uint64_t bytes = 0;
    // False when the walk could not reach the whole folder for want of
    // descriptors or memory: `bytes` is then too low, and `error` says why
    // (EMFILE, ENFILE, ENOMEM).
    bool complete = true;
    int error = 0;
    // A link is not measured through (it measures 0); another mount is
    // measured. Either is left alone by a clean.
    Place place = Place::Own;
    std::string linkTarget;
    // The blocks the row's entries take, in bytes: what removing it gives
    // back to the disk, which for many small files is far more than `bytes`.
    std::uint64_t allocated = 0;
    // With JunkJob::items: the entries directly inside the row's folder
    // (the Trash: inside its files/), largest first, each with its own
    // sizes and everything below it.
    WalkItems items;
    // The Trash row: for each item, in the same order, what its
    // info/NAME.trashinfo says (empty where it says nothing).
    struct TrashInfo {
        std::string originalPath; // Path=, percent-decoded
        std::string deletionDate; // DeletionDate=, as written
    };
    std::vector<TrashInfo> trashInfo;
};

// An item the clean leaves where it is: the entry a scan saw in the row's
// folder, by name and identity.
struct KeptItem {
    std::string name;
    std::uint64_t dev = 0;
    std::uint64_t ino = 0;
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
    // Whether a scan also measures each row's items (see RowSize::items).
    bool items = false;
    // Per row, the items a clean leaves. A row with none is removed whole;
    // with some, the row's folder stays with them in it and every other
    // entry is removed. An entry is left when it bears a kept item's name
    // or is a kept item (device and inode) under another name, so neither
    // an item swapped for something else nor one renamed during the clean
    // is lost. In the Trash, an item is files/NAME with info/NAME.trashinfo,
    // and both stay.
    std::array<std::vector<KeptItem>, kJunkRowCount> keep;
    // Test seam: passed to each removal of a clean that keeps items.
    RemoveProbe removeProbe;

    // The folder inside a row's folder whose entries are its items: "files"
    // for the Trash, else none (the row's own entries).
    static std::string_view itemsFolder(std::size_t row);

    // The item `name` of the row as it is now, for a front end that keeps
    // items it did not scan; nothing when the row's items' folder holds no
    // such entry on its own mount (reached without following a link).
    std::optional<KeptItem> findItem(std::size_t row, const std::string& name) const;
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
    RowSize measure(std::size_t row, bool withItems) const;
    std::uint64_t removeMeasured(std::size_t row, int& incomplete, RowClean& clean) const;
    RemoveResult removeKeeping(std::size_t row) const;
    void begin(std::size_t row, WorkProgress::Phase phase) const;
};

// The lines of a clean's report for the rows it did not remove whole, one
// each in table order (see cleanRowLine), joined by "\n"; empty when none.
std::string cleanRowsReport(const KeyLookup& tr, const CleanOutcome& outcome);

} // namespace headroom
