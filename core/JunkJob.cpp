#include "core/JunkJob.h"

#include "core/Location.h"
#include "core/Saturating.h"
#include "core/TreeRemover.h"
#include "core/TreeWalker.h"
#include "core/UniqueFd.h"
#include "core/VolumeFigures.h"

#include <cerrno>
#include <new>
#include <utility>

namespace headroom {

bool JunkJob::takes(std::size_t row) const
{
    return !cancelled() && (!chosen || chosen(row));
}

// The same object that the clean removes: base/relative reached without
// following a link below the base. A location that cannot be reached
// measures 0, and so does a walk stopped by a cancel; one that could not be
// walked whole for want of descriptors or memory is marked incomplete.
RowSize JunkJob::measure(std::size_t row) const
{
    begin(row, WorkProgress::Measuring);
    const std::string_view relative = folders.relativePaths[row];
    RowSize size;
    int error = 0;
    try {
        OpenedLocation location = openLocationParent(folders.base, relative);
        error = location.error;
        if (location.parent) {
            WalkOptions options;
            options.cancel = cancel;
            options.progress = progress;
            const WalkResult result = measureTreeAt(std::move(location.parent), location.leaf, options);
            size.bytes = result.cancelled ? 0 : result.bytes;
            error = result.incomplete;
        }
    } catch (const std::bad_alloc&) {
        error = ENOMEM;
    }
    if (error == EMFILE || error == ENFILE || error == ENOMEM) {
        size.complete = false;
        size.error = error;
    }
    return size;
}

// Removes base/relative and returns what went: its size just before, less
// whatever a removal that failed in part left behind. The walk before the
// removal also brings the folders into the cache that the removal reads.
// `incomplete` keeps the first errno of a walk or removal that stopped
// short.
std::uint64_t JunkJob::removeMeasured(std::size_t row, int& incomplete) const
{
    const std::string_view relative = folders.relativePaths[row];
    const auto note = [&incomplete](int error) {
        if (incomplete == 0)
            incomplete = error;
    };
    const RowSize before = measureRemoved ? measure(row) : RowSize{};
    note(before.error);
    begin(row, WorkProgress::Removing);
    const RemoveResult result = removeLocation(folders.base, std::string(relative), cancel, 0, progress);
    note(result.incomplete);
    if (!measureRemoved || result.locationGone || result.cancelled)
        return before.bytes;
    const RowSize left = measure(row);
    note(left.error);
    return before.bytes > left.bytes ? before.bytes - left.bytes : 0;
}

void JunkJob::begin(std::size_t row, WorkProgress::Phase phase) const
{
    if (progress)
        progress->begin(static_cast<int>(row), phase);
}

bool JunkJob::scan(const RowDone& done) const
{
    return scanRows(done, false);
}

bool JunkJob::scanRows(const RowDone& done, bool everyRow) const
{
    for (std::size_t row = 0; row < kJunkRowCount; ++row) {
        if (!takes(row) && !(everyRow && !cancelled())) {
            if (cancelled())
                return false;
            continue;
        }
        const RowSize size = measure(row);
        if (cancelled())
            return false; // the walk was cut short: its figure is not reported
        done(row, size);
    }
    return !cancelled();
}

std::optional<CleanOutcome> JunkJob::clean(const RowDone& done, Rescan rescan) const
{
    // For the report: the volume's free space before anything goes.
    const DiskFigures before = measureVolume();
    std::uint64_t removedBytes = 0;
    int incomplete = 0;
    for (std::size_t row = 0; row < kJunkRowCount; ++row) {
        if (!takes(row)) {
            if (cancelled())
                return std::nullopt;
            continue;
        }
        // Whether it went or not, the scan below shows what is left.
        removedBytes = saturatingAdd(removedBytes, removeMeasured(row, incomplete));
    }
    if (cancelled() || !scanRows(done, rescan == Rescan::Every))
        return std::nullopt;
    CleanOutcome outcome;
    outcome.volumeAfter = measureVolume();
    if (before.freeRead)
        outcome.space.freeBefore = before.free;
    if (outcome.volumeAfter.freeRead)
        outcome.space.freeAfter = outcome.volumeAfter.free;
    outcome.space.removedBytes = removedBytes;
    outcome.incomplete = incomplete;
    return outcome;
}

} // namespace headroom
